#include "support/FakeMessageBoxes.h"
#include "WindowBench.h"

#include "app/ZelPress.h"
#include "core/FileSystem.h"
#include "core/IFileDialog.h"
#include "core/Logging.h"
#include "core/SettingsStore.h"
#include "data/AutosaveWriter.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"

#include "link/EmulatedPort.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

namespace {

// The real disk, filling up: a write larger than the room left fails as QSaveFile fails on a full disk
// (the old file untouched), and uses up nothing.
class FillingFileSystem : public FileSystem {
public:
    bool writeFile(const QString& path, const QByteArray& bytes) override {
        if (bytes.size() > room) {
            m_error = QStringLiteral("No space left on device");
            return false;
        }
        m_error.clear();
        return FileSystem::writeFile(path, bytes);
    }
    QString lastWriteError() const override {
        return m_error.isEmpty() ? FileSystem::lastWriteError() : m_error;
    }

    qsizetype room = 1 << 30;

private:
    QString m_error;
};

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<QPointF> stroke(int i) {
    QList<QPointF> points;
    for (int p = 0; p < 400; ++p)
        points.append({0.4 - p * 0.001, p * 0.1 + i});
    return points;
}

} // namespace

// The disk fills while the user works: every write that fails says so, and nothing already recorded
// (the traces in the window, the files written before) is lost.
class tst_DiskFull : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void saveSaveAsAndSettingsOnAFullDisk();
    void saveAsOntoARealFullFileSystem();
    void autosaveOnAFullDisk();
    void aWriteOnAnotherThreadKeepsItsOwnError();
};

void tst_DiskFull::saveSaveAsAndSettingsOnAFullDisk() {
    QTemporaryDir folder;
    const QString settingsFile = Logging::logDirectory() + QStringLiteral("/Settings.json");
    QFile::remove(settingsFile);
    auto files = std::make_shared<FillingFileSystem>();
    auto boxes = std::make_shared<FakeMessageBoxes>();
    auto dialog = std::make_shared<ScriptedFileDialog>();
    QByteArray savedSettings;
    {
        ZelPress window(ZelPress::Seams{boxes, dialog, files});
        GraphContainer* active = window.activeContainer();
        active->addGraphFromPress(stroke(1), true);
        dialog->savePath = folder.filePath(QStringLiteral("batch.SDT"));
        window.findChild<QAction*>(QStringLiteral("saveSessionAction"))->trigger();
        QVERIFY(!active->unsaved());
        const QByteArray firstSave = contents(dialog->savePath);
        QVERIFY(!firstSave.isEmpty());

        // The disk fills: the next stroke cannot be saved, neither in place nor under a new name.
        files->room = firstSave.size();
        active->addGraphFromPress(stroke(2), true);
        window.findChild<QAction*>(QStringLiteral("saveSessionAction"))->trigger();
        QCOMPARE(boxes->boxes.size(), 1);
        QCOMPARE(boxes->boxes.last().text, QStringLiteral("Could not save the session."));
        QVERIFY(boxes->boxes.last().informativeText.contains(dialog->savePath));
        QVERIFY(boxes->boxes.last().informativeText.contains(QStringLiteral("No space left on device")));
        dialog->savePath = folder.filePath(QStringLiteral("elsewhere.SDT"));
        window.findChild<QAction*>(QStringLiteral("saveSessionAsAction"))->trigger();
        QCOMPARE(boxes->boxes.size(), 2);
        QVERIFY(!QFile::exists(dialog->savePath));
        // Nothing lost: both traces in the window, still marked unsaved, the first file as it was.
        QCOMPARE(active->graphs().size(), 2);
        QVERIFY(active->unsaved());
        QVERIFY(window.windowTitle().startsWith(QLatin1Char('*')));
        QCOMPARE(active->fileName(), folder.filePath(QStringLiteral("batch.SDT")));
        QCOMPARE(contents(folder.filePath(QStringLiteral("batch.SDT"))), firstSave);

        // The settings of the last run stay as they were when the write at exit fails.
        window.settings()->darkMode = true;
        savedSettings = QByteArrayLiteral("{\n    \"DarkMode\": false\n}\n");
        QFile file(settingsFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(savedSettings);
        file.close();
        files->room = 0;
        active->setUnsaved(false);
    }
    QCOMPARE(contents(settingsFile), savedSettings);
    QFile::remove(settingsFile);
}

void tst_DiskFull::saveAsOntoARealFullFileSystem() {
    // A small file system of its own, where the machine lets the test mount one (root with mount rights).
    QTemporaryDir mountPoint;
    QProcess mount;
    mount.start(QStringLiteral("mount"),
                {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                 QStringLiteral("size=64k"), QStringLiteral("tmpfs"), mountPoint.path()});
    if (!mount.waitForFinished(10000) || mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0)
        QSKIP("Cannot mount a tmpfs here (needs root and mount rights); the simulated full disk covers the "
              "rest.");
    const auto unmount =
        qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {mountPoint.path()}); });

    auto boxes = std::make_shared<FakeMessageBoxes>();
    auto dialog = std::make_shared<ScriptedFileDialog>();
    ZelPress window(ZelPress::Seams{boxes, dialog, std::make_shared<FileSystem>()});
    GraphContainer* active = window.activeContainer();
    active->addGraphFromPress(stroke(1), true);
    dialog->savePath = mountPoint.filePath(QStringLiteral("small.SDT"));
    window.findChild<QAction*>(QStringLiteral("saveSessionAsAction"))->trigger();
    QVERIFY(boxes->boxes.isEmpty());
    const QByteArray small = contents(dialog->savePath);
    QVERIFY(!small.isEmpty());

    // Enough strokes that the session no longer fits in the 64 KiB.
    for (int i = 2; i <= 12; ++i)
        active->addGraphFromPress(stroke(i), true);
    window.findChild<QAction*>(QStringLiteral("saveSessionAction"))->trigger();
    QCOMPARE(boxes->boxes.size(), 1);
    QCOMPARE(boxes->boxes.last().text, QStringLiteral("Could not save the session."));
    QCOMPARE(contents(dialog->savePath), small);
    QCOMPARE(active->graphs().size(), 12);
    QVERIFY(active->unsaved());
    // No half-written temporary file is left behind to fill the disk further.
    QCOMPARE(QDir(mountPoint.path()).entryList(QDir::Files), QStringList{QStringLiteral("small.SDT")});
    active->setUnsaved(false);
}

void tst_DiskFull::autosaveOnAFullDisk() {
    auto files = std::make_shared<FillingFileSystem>();
    // The emulated press, ticking fast: three strokes take a few seconds.
    Bench bench(files,
                [](const QString& name, QObject* parent) { return new EmulatedPort(name, parent, 20); });
    QVERIFY(bench.readyForStrokes());
    GraphContainer* active = bench.window->activeContainer();
    // The autosave is written in the background; each stroke's is over once it has reported.
    QSignalSpy autosaved(bench.window->autosaveWriter(), &AutosaveWriter::finished);
    const auto stroke = [&](int count) {
        QTRY_VERIFY_WITH_TIMEOUT(action(*bench.window, "goAction")->isEnabled(), kStrokeMs);
        action(*bench.window, "goAction")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(active->graphs().size(), count, kStrokeMs);
        QTRY_COMPARE_WITH_TIMEOUT(autosaved.count(), count, 10000);
    };
    const QString autosave = GraphContainer::autosavePath(bench.session()->startTime());
    const auto* autosaveLabel = bench.window->findChild<QLabel*>(QStringLiteral("autosaveStatusLabel"));
    stroke(1);
    const QByteArray first = contents(autosave);
    QVERIFY(!first.isEmpty());
    QVERIFY(autosaveLabel->isHidden());

    // The disk fills: the second stroke is recorded but cannot be autosaved, and the user is told.
    files->room = first.size();
    stroke(2);
    QVERIFY(!autosaveLabel->isHidden());
    QCOMPARE(autosaveLabel->text(), QStringLiteral("Autosave failed: %1").arg(autosave));
    QCOMPARE(contents(autosave), first);

    // Room again: the next stroke autosaves all three.
    files->room = 1 << 30;
    stroke(3);
    QVERIFY(autosaveLabel->isHidden());
    GraphContainer saved;
    QVERIFY(saved.loadFromFile(autosave));
    QCOMPARE(saved.graphs().size(), 3);
    active->setUnsaved(false);
}

// The autosave writes on a worker while the window may save: a save that succeeds meanwhile must not wipe
// out why the autosave failed.
void tst_DiskFull::aWriteOnAnotherThreadKeepsItsOwnError() {
    QTemporaryDir folder;
    FileSystem files;
    QSemaphore workerFailed;
    QSemaphore mainWrote;
    QString workerError;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        files.writeFile(folder.filePath(QStringLiteral("missing/autosave.SDT")), "{}");
        workerFailed.release();
        mainWrote.acquire();
        workerError = files.lastWriteError();
    }));
    worker->start();
    workerFailed.acquire();
    QVERIFY(files.writeFile(folder.filePath(QStringLiteral("saved.SDT")), "{}"));
    QVERIFY(files.lastWriteError().isEmpty());
    mainWrote.release();
    QVERIFY(worker->wait(10000));
    QVERIFY(!workerError.isEmpty());
}

QTEST_MAIN(tst_DiskFull)
#include "tst_diskfull.moc"
