// Renders the statistics panel and a stroke half drawn, headless, on the emulated press: zeroed, X zero
// found, six strokes (the fourth marked a flyer) beside a comparison file of the first three, then a
// new session's first stroke caught half way. Not a test; run by hand to refresh the pictures:
//   QT_QPA_PLATFORM=offscreen build-test/tests/app/statistics_screenshots docs/screenshots
// writes statistics-panel.png and live-stroke.png there.
#include "support/FakeMessageBoxes.h"

#include "app/StatisticsPanel.h"
#include "app/ZelPress.h"
#include "chart/GraphModel.h"
#include "chart/LiveStroke.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "link/AutoConnection.h"

#include <QAction>
#include <QApplication>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: statistics_screenshots <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QStandardPaths::setTestModeEnabled(true);
    auto boxes = std::make_shared<FakeMessageBoxes>();
    ZelPress window(ZelPress::Seams{boxes, nullptr, nullptr});
    window.autoConnection()->setPortLister([] {
        return QList<PortCandidate>{{"ComEmulation", "Emulated press", "FTDI"}};
    });
    window.resize(1366, 768);
    window.show();
    const auto action = [&](const char* name) {
        return window.findChild<QAction*>(QString::fromLatin1(name));
    };
    constexpr int kWaitMs = 60000;
    if (!QTest::qWaitFor([&] { return action("findXZeroAction")->isEnabled(); }, kWaitMs))
        return 1;
    action("findXZeroAction")->trigger();
    GraphContainer* active = window.activeContainer();
    QTemporaryDir temporary;
    for (int stroke = 1; stroke <= 6; ++stroke) {
        if (!QTest::qWaitFor([&] { return action("goAction")->isEnabled(); }, kWaitMs))
            return 1;
        action("goAction")->trigger();
        if (!QTest::qWaitFor([&] { return active->graphs().size() == stroke; }, kWaitMs))
            return 1;
        if (stroke == 3) {
            // The first three strokes become the comparison file "previous-batch.SDT".
            const QString path = temporary.filePath(QStringLiteral("previous-batch.SDT"));
            active->writeToFile(path);
            auto* compare = new GraphContainer(active->fileSystem(), &window);
            if (!compare->loadFromFile(path))
                return 1;
            window.graphModel()->addCompareContainer(compare);
        }
    }
    active->graphs().at(3)->setFlyer(true);
    if (!QTest::qWaitFor([&] { return action("goAction")->isEnabled(); }, kWaitMs))
        return 1;
    // The statistics' tab brought to the front beside the chart.
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("sidePanelTabs"));
    if (!tabs)
        return 1;
    tabs->setCurrentWidget(window.statisticsPanel());
    QApplication::processEvents();
    if (!tabs->grab().toImage().save(folder + QStringLiteral("/statistics-panel.png"), "PNG"))
        return 1;
    tabs->setCurrentIndex(0);

    // Half of a stroke's points drawn, on a new session beside the comparison file: the green line.
    const qsizetype strokePoints = active->graphs().last()->data(Imperial).points().size();
    action("newSessionAction")->trigger();
    action("goAction")->trigger();
    LiveStroke* live = window.liveStroke();
    if (!QTest::qWaitFor([&] { return live->drawnPointCount() >= strokePoints / 2; }, kWaitMs))
        return 1;
    return window.grab().toImage().save(folder + QStringLiteral("/live-stroke.png"), "PNG") ? 0 : 1;
}
