// Renders the main window headless on the emulated press: zeroed, X zero found, five Go strokes, a
// comparison file of three earlier strokes loaded, every question answered Ok. Not a test; run by hand to
// refresh the pictures:
//   QT_QPA_PLATFORM=offscreen build-test/tests/app/window_screenshot <file.png> [width height] [dark]
//       [statistics]
// "dark" turns dark mode on; "statistics" brings the statistics' tab to the front.
#include "WindowBench.h"

#include "data/Graph.h"
#include "data/GraphContainer.h"

#include <QAction>
#include <QApplication>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

namespace {

constexpr int kStrokes = 5;

// A comparison session of three strokes a little harder than the emulated press's, as an earlier batch.
bool writeComparisonFile(const QString& path) {
    GraphContainer earlier(std::make_shared<FileSystem>(), true, nullptr);
    QRandomGenerator random(11);
    for (int stroke = 0; stroke < 3; ++stroke) {
        QList<QPointF> points;
        for (int i = 0; i <= 200; ++i) {
            const double position = 0.1 * (200 - i) / 200.0;
            const double force = 1.4 + 95.0 * (0.1 - position) + 0.3 * random.generateDouble();
            points.append({position, force});
        }
        earlier.addGraphFromPress(points, true)->setName(QStringLiteral("Annealed %1").arg(stroke + 1));
    }
    return earlier.writeToFile(path);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_screenshot <file.png> [width height] [dark] [statistics]\n");
        return 2;
    }
    QStandardPaths::setTestModeEnabled(true);
    QSize size(947, 698); // the window's own starting size
    bool dark = false;
    bool statistics = false;
    for (int i = 2; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == QStringLiteral("dark"))
            dark = true;
        else if (argument == QStringLiteral("statistics"))
            statistics = true;
        else if (i + 1 < argc)
            size = QSize(argument.toInt(), QString::fromLocal8Bit(argv[++i]).toInt());
    }
    QTemporaryDir folder;
    const QString comparison = folder.filePath(QStringLiteral("annealed.SDT"));
    if (!writeComparisonFile(comparison))
        return 1;

    Bench bench;
    ZelPress& window = *bench.window;
    window.resize(size);
    window.show();
    if (!bench.readyForStrokes())
        return 1;
    for (int stroke = 1; stroke <= kStrokes; ++stroke) {
        action(window, "goAction")->trigger();
        if (!QTest::qWaitFor([&] { return window.activeContainer()->graphs().size() == stroke; },
                             kStrokeMs) ||
            !QTest::qWaitFor([&] { return action(window, "goAction")->isEnabled(); }, kStrokeMs))
            return 1;
    }
    bench.dialog->openPath = comparison;
    action(window, "loadCompareAction")->trigger();
    // Either way: the settings of an earlier run may hold the other.
    action(window, "darkModeAction")->setChecked(dark);
    if (statistics) {
        auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("sidePanelTabs"));
        tabs->setCurrentWidget(window.findChild<QWidget*>(QStringLiteral("statisticsPanel")));
    }
    QTest::qWait(300); // the statistics gather their updates
    return window.grab().toImage().save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
