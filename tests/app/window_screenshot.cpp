// Renders the main window headless after a few strokes on the emulated press: zeroed, X zero found,
// three Go strokes, every question answered Ok. Not a test; run by hand to refresh the picture:
//   QT_QPA_PLATFORM=offscreen build-test/tests/app/window_screenshot docs/screenshots/main-window.png
#include "support/FakeMessageBoxes.h"

#include "app/FileSystem.h"
#include "app/ZelPress.h"
#include "data/FileDialog.h"
#include "data/GraphContainer.h"
#include "link/AutoConnection.h"
#include "session/Session.h"

#include <QAction>
#include <QApplication>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>
#include <memory>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_screenshot <file.png>\n");
        return 2;
    }
    QStandardPaths::setTestModeEnabled(true);
    auto boxes = std::make_shared<FakeMessageBoxes>();
    ZelPress window(ZelPress::Seams{boxes, nullptr, nullptr});
    window.autoConnection()->setPortLister([] {
        return QList<PortCandidate>{{"ComEmulation", "Emulated press", "FTDI"}};
    });
    // A common laptop screen; at the window's own starting size (947 x 698) the statistics dock leaves
    // the chart narrow.
    window.resize(1366, 768);
    window.show();
    const auto action = [&](const char* name) {
        return window.findChild<QAction*>(QString::fromLatin1(name));
    };
    constexpr int kWaitMs = 60000;
    if (!QTest::qWaitFor([&] { return action("findXZeroAction")->isEnabled(); }, kWaitMs))
        return 1;
    action("findXZeroAction")->trigger();
    for (int stroke = 1; stroke <= 3; ++stroke) {
        if (!QTest::qWaitFor([&] { return action("goAction")->isEnabled(); }, kWaitMs))
            return 1;
        action("goAction")->trigger();
        if (!QTest::qWaitFor([&] { return window.activeContainer()->graphs().size() == stroke; }, kWaitMs))
            return 1;
    }
    if (!QTest::qWaitFor([&] { return action("goAction")->isEnabled(); }, kWaitMs))
        return 1;
    QApplication::processEvents();
    return window.grab().toImage().save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
