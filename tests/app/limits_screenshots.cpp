// Renders tolerance limits and their verdicts, headless, from made-up strokes: a session "Die A" of
// fifteen strokes drifting up at the end (the last above the high limit and beyond the upper control
// limit) beside a comparison file "Die B" of fifteen steadier ones, limits 40 to 44 lbs on peak force.
// Not a test; run by hand to refresh the pictures:
//   QT_QPA_PLATFORM=offscreen build-test/tests/app/limits_screenshots docs/screenshots
// writes limits-window.png (1366 x 768), limits-statistics.png (the table and the control chart) and
// limits-compare.png (the comparison of the two sessions) and limits-window-947x698.png there.
#include "support/FakeMessageBoxes.h"

#include "app/StatisticsPanel.h"
#include "app/ZelPress.h"
#include "chart/GraphModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/ToleranceLimits.h"
#include "link/AutoConnection.h"

#include <QAction>
#include <QApplication>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

// A seating stroke of that peak force (lbs): the force rises as the bullet goes in, with a little ripple,
// and eases off at the end.
QList<QPointF> stroke(double peak, double phase) {
    constexpr int kPoints = 120;
    QList<QPointF> points;
    double highest = 0.0;
    for (int i = 0; i <= kPoints; ++i) {
        const double t = double(i) / kPoints;
        const double rise = std::sin(t * 3.14159265 * 0.5);
        const double force =
            rise * rise * (0.96 + 0.04 * std::sin(18.0 * t + phase)) - (t > 0.9 ? (t - 0.9) : 0.0);
        points.append(QPointF(0.35 * (1.0 - t), force));
        highest = std::max(highest, force);
    }
    for (QPointF& point : points)
        point.setY(point.y() * peak / highest);
    return points;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: limits_screenshots <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QStandardPaths::setTestModeEnabled(true);
    auto boxes = std::make_shared<FakeMessageBoxes>();
    ZelPress window(ZelPress::Seams{boxes, nullptr, nullptr});
    // No press: the strokes are made up, the window only shows them.
    window.autoConnection()->setPortLister([] { return QList<PortCandidate>{}; });
    window.resize(1366, 768);
    window.show();
    window.findChild<QAction*>(QStringLiteral("imperialUnitsAction"))->trigger();

    QTemporaryDir temporary;
    const QList<double> steady = {42.0, 42.4, 41.8, 42.2, 42.6, 41.9, 42.3, 42.1,
                                  41.7, 42.5, 42.0, 42.4, 41.9, 42.2, 42.3};
    GraphContainer* active = window.activeContainer();
    for (qsizetype i = 0; i < steady.size(); ++i)
        active->addGraphFromPress(stroke(steady.at(i), double(i)), true);
    const QString comparePath = temporary.filePath(QStringLiteral("Die B.SDT"));
    if (!active->writeToFile(comparePath))
        return 1;
    window.findChild<QAction*>(QStringLiteral("newSessionAction"))->trigger();
    auto* compare = new GraphContainer(active->fileSystem(), &window);
    if (!compare->loadFromFile(comparePath))
        return 1;
    window.graphModel()->addCompareContainer(compare);

    const QList<double> drifting = {41.6, 42.3, 41.2, 42.8, 41.9, 42.5, 41.4, 42.1,
                                    42.7, 41.8, 42.4, 42.0, 41.7, 43.2, 45.3};
    active->setLimits(*ToleranceLimits::withLimits(PeakForce, 40.0, 44.0, Imperial));
    active->setFileName(temporary.filePath(QStringLiteral("Die A.SDT")));
    for (qsizetype i = 0; i < drifting.size(); ++i) {
        active->addGraphFromPress(stroke(drifting.at(i), double(i) * 0.7), true);
        QApplication::processEvents();
    }

    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("sidePanelTabs"));
    StatisticsPanel* panel = window.statisticsPanel();
    if (!tabs || !panel)
        return 1;
    tabs->setCurrentWidget(panel);
    QTest::qWait(300); // the panel gathers its updates
    bool ok = window.grab().toImage().save(folder + QStringLiteral("/limits-window.png"), "PNG");
    ok &= panel->grab().toImage().save(folder + QStringLiteral("/limits-statistics.png"), "PNG");
    QTabWidget* lower = panel->lowerTabs();
    if (lower->count() > 1) {
        lower->setCurrentIndex(1);
        QTest::qWait(300);
        ok &= panel->grab().toImage().save(folder + QStringLiteral("/limits-compare.png"), "PNG");
    }
    // The window at its starting size: the status bar's verdict beside the connection and the firmware.
    lower->setCurrentIndex(0);
    window.resize(947, 698);
    QTest::qWait(300);
    ok &= window.grab().toImage().save(folder + QStringLiteral("/limits-window-947x698.png"), "PNG");
    return ok ? 0 : 1;
}
