// Records a few strokes on the emulated press and writes the sample exports under docs/samples: the
// all-traces CSV and the PDF report. Not a test; run by hand from the project root to refresh them:
//   QT_QPA_PLATFORM=offscreen build-test/tests/app/export_samples docs/samples
#include "app/CsvExporter.h"
#include "app/PdfReport.h"
#include "chart/GraphModel.h"
#include "chart/GraphView.h"
#include "chart/GraphVisualization.h"
#include "chart/SessionModel.h"
#include "core/FileSystem.h"
#include "core/Settings.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "link/EmulatedPort.h"
#include "link/Protocol.h"
#include "session/Session.h"
#include "support/FakeMessageBoxes.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>

namespace {

constexpr int kStrokes = 4;
constexpr int kStepTimeoutMs = 60000;

// Runs the event loop until the condition holds; false after the time-out.
bool waitUntil(const std::function<bool()>& condition) {
    QDeadlineTimer deadline(kStepTimeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

int fail(const char* step) {
    std::fprintf(stderr, "export_samples: %s did not finish\n", step);
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: export_samples <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);

    Protocol protocol;
    protocol.setPort(new EmulatedPort(QStringLiteral("ComEmulation")));
    Settings settings;
    FakeMessageBoxes boxes;
    Session session(&protocol, &settings, &boxes);
    QSignalSpy finished(&session, &ISession::procedureFinished);
    QSignalSpy samples(&session, &ISession::pointReceived);

    GraphModel model;
    auto* active = new GraphContainer(std::make_shared<FileSystem>(), true, &model);
    model.setActiveSessionContainer(active);
    // The chart as the window shows it, in the proportions of the report's page.
    GraphView view;
    view.resize(1400, 990);
    GraphVisualization visualization(&model, &view);
    view.show();
    QObject::connect(&session, &Session::measurementDone, active,
                     [active](const QList<QPointF>& points) { active->addGraphFromPress(points, true); });

    session.init();
    session.calibrateZeroWeight();
    if (!waitUntil([&] { return finished.size() == 1; }))
        return fail("zeroing");
    session.findXZero();
    if (!waitUntil([&] { return finished.size() == 2; }))
        return fail("the X zero search");
    for (int stroke = 0; stroke < kStrokes; ++stroke) {
        // The status lines after a stroke come before the next sample; a Go before them ends at once.
        const qsizetype seen = samples.size();
        if (!waitUntil([&] { return samples.size() > seen; }))
            return fail("the pause between strokes");
        session.go();
        if (!waitUntil([&] { return finished.size() == 3 + stroke; }))
            return fail("a stroke");
    }
    if (active->graphs().size() != kStrokes)
        return fail("recording");

    // What an operator would have entered for these strokes.
    const double velocities[kStrokes] = {2801.3, 2795.8, 2809.4, 2790.2};
    for (int i = 0; i < kStrokes; ++i)
        active->graphs().at(i)->setVelocity(velocities[i]);
    active->graphs().at(2)->setFlyer(true);
    active->graphs().at(3)->setName(QStringLiteral("Trace 4 \"new brass\""));
    // Tolerance limits that the hardest stroke just exceeds, so the samples show both verdicts.
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (const Graph* graph : active->graphs()) {
        lowest = std::min(lowest, graph->data(Imperial).peakForce());
        highest = std::max(highest, graph->data(Imperial).peakForce());
    }
    active->setLimits(*ToleranceLimits::withLimits(PeakForce, std::floor(lowest) - 2.0,
                                                   std::round((highest - 0.005) * 100.0) / 100.0, Imperial));

    QApplication::processEvents();

    FileSystem fileSystem;
    QString error;
    const QString csv = folder + QStringLiteral("/strokes.csv");
    const QString pdf = folder + QStringLiteral("/report.pdf");
    if (!CsvExporter(csv, Imperial).exportAll(active->graphs(), fileSystem, &error) ||
        !PdfReport::exportPdf(pdf, &view, active->graphs(), Imperial, SessionModel::PeakForce,
                              Qt::DescendingOrder, fileSystem, &error)) {
        std::fprintf(stderr, "export_samples: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
