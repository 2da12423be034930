// The statistics panel on a session of 500 traces of 1,000 points: the figures alone (SeatingStatistics
// over the traces) and the panel's whole update (figures, table and run chart data) after an edit of one
// trace and after a units switch. Prints medians and exits with 1 above the 5 ms goal; see
// docs/performance.md.
#include "app/StatisticsPanel.h"
#include "chart/GraphModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/SeatingStatistics.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

QList<QPointF> makeStroke(QRandomGenerator& random) {
    QList<QPointF> points;
    points.reserve(1000);
    const double step = 0.0004 + random.generateDouble() * 0.0001;
    for (int i = 0; i < 1000; ++i) {
        const double x = 0.5 - i * step;
        points.append(QPointF(x, (i < 300 ? 0.0 : (i - 300) * 0.12) + random.generateDouble() * 0.8));
    }
    return points;
}

double medianMs(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication app(argc, argv);
    constexpr int kTraces = 500;
    constexpr double kGoalMs = 5.0;

    GraphModel model;
    auto* active = new GraphContainer(true, &model);
    model.setActiveSessionContainer(active);
    QRandomGenerator random(11);
    for (int i = 0; i < kTraces; ++i)
        active->addGraphFromPress(makeStroke(random), true);
    active->graphs().at(7)->setFlyer(true);
    StatisticsPanel panel(&model);
    panel.resize(340, 700);
    panel.show();
    QApplication::processEvents();

    const QList<Graph*> graphs = active->graphs();
    const double figures = medianMs(21, [&] {
        const SeatingStatistics statistics(graphs, Imperial);
        if (statistics.strokes() != kTraces)
            std::abort();
    });
    int flip = 0;
    const double update = medianMs(21, [&] {
        // An edit as the legend reports it, then the one update it leads to.
        graphs.at(3)->setFlyer(++flip % 2 == 1);
        panel.refresh();
    });
    const double unitSwitch = medianMs(21, [&] {
        // Every figure and title changes.
        panel.setUnits(++flip % 2 == 1 ? Metric : Imperial);
        panel.refresh();
    });
    std::printf(
        "%d traces: figures %.2f ms; whole panel update (figures, table, run chart) after an edit %.2f ms, "
        "after a units switch %.2f ms; goal %.0f ms\n",
        kTraces, figures, update, unitSwitch, kGoalMs);
    return std::max(update, unitSwitch) < kGoalMs ? 0 : 1;
}
