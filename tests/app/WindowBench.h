#pragma once

// The real main window on the emulated press, with scripted boxes and file dialogs: what the window's
// scenario tests drive.

#include "support/FakeMessageBoxes.h"

#include "app/ZelPress.h"
#include "core/FileSystem.h"
#include "core/IFileDialog.h"
#include "link/AutoConnection.h"
#include "session/Session.h"

#include <QAction>
#include <QTest>

#include <memory>

namespace windowbench {

constexpr int kStrokeMs = 60000;

class ScriptedFileDialog : public IFileDialog {
public:
    QString getSaveFileName(const QString&, const QString&, const QString&, QString*) override {
        return savePath;
    }
    QString getOpenFileName(const QString&, const QString&, const QString&) override { return openPath; }
    QString savePath;
    QString openPath;
};

inline void useEmulatedPress(ZelPress& window) {
    window.autoConnection()->setPortLister([] {
        return QList<PortCandidate>{{"ComEmulation", "Emulated press", "FTDI"}};
    });
}

inline QAction* action(ZelPress& window, const char* name) {
    return window.findChild<QAction*>(QString::fromLatin1(name));
}

const QString kZeroQuestion = QStringLiteral("Please make sure the press is clear for zeroing");
const QString kRamQuestion = QStringLiteral("Adjust height of Ram to suit loaded Die");
const QString kSearching = QStringLiteral("Searching for available port connection ...");

// The window on the emulated press with scripted boxes and file dialogs.
struct Bench {
    std::shared_ptr<FakeMessageBoxes> boxes = std::make_shared<FakeMessageBoxes>();
    std::shared_ptr<ScriptedFileDialog> dialog = std::make_shared<ScriptedFileDialog>();
    std::shared_ptr<IFileSystem> fileSystem;
    std::unique_ptr<ZelPress> window;

    // The port factory, when given, opens the press instead of the program's own emulated press.
    explicit Bench(std::shared_ptr<IFileSystem> files = std::make_shared<FileSystem>(),
                   AutoConnection::PortFactory portFactory = nullptr)
        : fileSystem(std::move(files)) {
        window = std::make_unique<ZelPress>(ZelPress::Seams{boxes, dialog, fileSystem});
        useEmulatedPress(*window);
        if (portFactory)
            window->autoConnection()->setPortFactory(std::move(portFactory));
    }
    int asked(const QString& text) const {
        int count = 0;
        for (const FakeMessageBoxes::Box& box : boxes->boxes)
            count += box.text == text ? 1 : 0;
        return count;
    }
    Session* session() const { return window->session(); }
    // Connected, zeroed (Ok to the question that comes by itself) and the X zero found.
    bool readyForStrokes() {
        if (!QTest::qWaitFor([&] { return session() && session()->isZeroWeightCalibrated(); }, kStrokeMs))
            return false;
        if (!QTest::qWaitFor([&] { return action(*window, "findXZeroAction")->isEnabled(); }, kStrokeMs))
            return false;
        action(*window, "findXZeroAction")->trigger();
        return QTest::qWaitFor([&] { return action(*window, "goAction")->isEnabled(); }, kStrokeMs);
    }
};

} // namespace windowbench

using namespace windowbench;
