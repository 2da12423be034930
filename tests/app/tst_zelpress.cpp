#include "support/FakeMessageBoxes.h"
#include "support/FakePort.h"
#include "support/GatedFileSystem.h"
#include "support/MemoryFileSystem.h"
#include "WindowBench.h"

#include "app/ConnectionWorkflow.h"
#include "app/TraceCommands.h"
#include "app/ZelPress.h"
#include "chart/GraphChart.h"
#include "chart/GraphModel.h"
#include "chart/GraphView.h"
#include "chart/SessionModel.h"
#include "core/FileSystem.h"
#include "core/IFileDialog.h"
#include "core/Logging.h"
#include "data/AutosaveWriter.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/UndoHistory.h"
#include "dialogs/AdvancedDlg.h"
#include "dialogs/DialogBootload.h"
#include "dialogs/ProgressDialog.h"
#include "link/AutoConnection.h"
#include "link/BleDiscoveryAgent.h"
#include "link/EmulatedPort.h"
#include "link/Protocol.h"
#include "session/Autorun.h"
#include "session/Session.h"
#include "session/Timer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

class tst_ZelPress : public QObject {
    Q_OBJECT

private:
    QString settingsPath() const { return Logging::logDirectory() + QStringLiteral("/Settings.json"); }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QFile::remove(settingsPath());
    }

    void startsWithEveryActionInItsState_data();
    void startsWithEveryActionInItsState();
    void connectsZeroesFindsXZeroAndRecordsStrokes();
    void goStaysOffWhileAutorunIsAttached();
    void guardAsksOnlyWithUnsavedChanges_data();
    void guardAsksOnlyWithUnsavedChanges();
    void undoFollowsLegendEditsButNotComparisonFiles();
    void exportsWriteWhatTheUserChose();
    void failedSaveAndAutosaveAreReportedAndKeepTheData();
    void strokeEndDoesNotWaitForTheAutosaveAndClosingFinishesIt();
    void viewOptionsReachTheSettingsFile();
    void keepsTheSettingsAcrossRuns();
};

void tst_ZelPress::startsWithEveryActionInItsState_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("checkable");
    for (const char* name :
         {"newSessionAction", "saveSessionAction", "saveSessionAsAction", "exportToCsvAction",
          "exportToCsvAllAction", "exportToImageAction", "exportToPdfAction", "undoAction", "editPlotAction",
          "removePlotAction", "renumberTracesAction", "clearLastPlotAction", "clearAllPlotsAction",
          "zeroPressAction", "findXZeroAction", "dieSetupAction", "goAction"})
        QTest::newRow(name) << QString::fromLatin1(name) << false << false;
    for (const char* name : {"openSessionAction", "loadCompareAction", "showLogDirectoryAction", "exitAction",
                             "advancedAction", "autoscaleAction", "bleConnectAction"})
        QTest::newRow(name) << QString::fromLatin1(name) << true << false;
    for (const char* name :
         {"metricUnitsAction", "imperialUnitsAction", "darkModeAction", "titleColumnAction",
          "flyerColumnAction", "workDoneColorAction", "velocityColorAction", "highlightFlyersAction"})
        QTest::newRow(name) << QString::fromLatin1(name) << true << true;
}

void tst_ZelPress::startsWithEveryActionInItsState() {
    QFETCH(QString, name);
    QFETCH(bool, enabled);
    QFETCH(bool, checkable);
    Bench bench;
    auto* found = bench.window->findChild<QAction*>(name);
    QVERIFY(found);
    QCOMPARE(found->isEnabled(), enabled);
    QCOMPARE(found->isCheckable(), checkable);
    QVERIFY(!bench.window->findChild<QCheckBox*>(QStringLiteral("autoRunCheckBox"))->isEnabled());
    QCOMPARE(bench.window->windowTitle(), QStringLiteral("ZEL Press Version %1").arg(ZelPress::version()));
    QCOMPARE(bench.window->objectName(), QStringLiteral("ZelPressClass"));
}

void tst_ZelPress::connectsZeroesFindsXZeroAndRecordsStrokes() {
    Bench bench;
    // The zeroing question comes by itself after connecting.
    QTRY_COMPARE_WITH_TIMEOUT(bench.asked(kZeroQuestion), 1, kStrokeMs);
    QVERIFY(bench.readyForStrokes());
    QCOMPARE(bench.asked(kRamQuestion), 1);
    QVERIFY(action(*bench.window, "dieSetupAction")->isEnabled());
    QVERIFY(bench.window->findChild<QCheckBox*>(QStringLiteral("autoRunCheckBox"))->isEnabled());

    // Go: a trace in the legend and on the chart, autosaved, and the undo history restarted from it.
    GraphContainer* active = bench.window->activeContainer();
    action(*bench.window, "goAction")->trigger();
    QVERIFY(bench.window->findChild<ProgressDialog*>());
    QTRY_COMPARE_WITH_TIMEOUT(active->graphs().size(), 1, kStrokeMs);
    QVERIFY(!active->graphs().first()->data(Imperial).points().isEmpty());
    QCOMPARE(bench.window->graphModel()->sessionModel()->item(0)->rowCount(), 1);
    QCOMPARE(bench.window->graphView()->chart()->graphSeries().size(), 1);
    const QString autosave = GraphContainer::autosavePath(bench.session()->startTime());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(autosave), 10000);
    QVERIFY(!action(*bench.window, "undoAction")->isEnabled());
    QVERIFY(bench.window->windowTitle().startsWith(QLatin1Char('*')));

    // A second Go right after the first records the next stroke, not the status burst of the last one.
    QTRY_VERIFY_WITH_TIMEOUT(action(*bench.window, "goAction")->isEnabled(), kStrokeMs);
    action(*bench.window, "goAction")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(active->graphs().size(), 2, kStrokeMs);
    QVERIFY(active->graphs().at(1)->data(Imperial).points().size() > 100);
    QTRY_VERIFY_WITH_TIMEOUT(!bench.window->findChild<ProgressDialog*>(), 5000);
    bench.window->autosaveWriter()->waitForPendingWrites();
    const QJsonObject saved = QJsonDocument::fromJson([&] {
                                  QFile file(autosave);
                                  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
                              }())
                                  .object();
    QCOMPARE(saved.value(QStringLiteral("Graphs")).toArray().size(), 2);
    QCOMPARE(saved.value(QStringLiteral("AppVersion")).toString(), ZelPress::version());
}

void tst_ZelPress::goStaysOffWhileAutorunIsAttached() {
    Bench bench;
    QVERIFY(bench.readyForStrokes());
    auto* box = bench.window->findChild<QCheckBox*>(QStringLiteral("autoRunCheckBox"));
    QVERIFY(box->isEnabled());
    // The wizard accepted: the window attaches the autorun and checks the box.
    Session* session = bench.session();
    session->setAutorun(new Autorun(session, std::make_unique<Timer>(), bench.window->settings(), session));
    {
        const QSignalBlocker blocker(box);
        box->setChecked(true);
    }
    emit session->procedureFinished();
    QVERIFY(session->isXZeroFound());
    QVERIFY(!action(*bench.window, "goAction")->isEnabled());
    QVERIFY(box->isChecked());

    // Unchecking applies the rules again: Go comes back because the X zero is still found.
    box->setChecked(false);
    QVERIFY(!session->hasAutorun());
    QVERIFY(action(*bench.window, "goAction")->isEnabled());
    QCOMPARE(bench.window->findChild<QLabel*>(QStringLiteral("autorunLabel"))->text(),
             QStringLiteral("Autorun: Disabled"));

    // A link drop unchecks the box by code and leaves Go off: no press, no Go.
    session->setAutorun(new Autorun(session, std::make_unique<Timer>(), bench.window->settings(), session));
    {
        const QSignalBlocker blocker(box);
        box->setChecked(true);
    }
    bench.window->protocol()->closePort();
    QVERIFY(!box->isChecked());
    QVERIFY(!action(*bench.window, "goAction")->isEnabled());
}

void tst_ZelPress::guardAsksOnlyWithUnsavedChanges_data() {
    QTest::addColumn<QString>("command");
    QTest::newRow("new session") << QStringLiteral("newSessionAction");
    QTest::newRow("open session") << QStringLiteral("openSessionAction");
    QTest::newRow("clear all plots") << QStringLiteral("clearAllPlotsAction");
    QTest::newRow("exit") << QStringLiteral("exitAction");
}

void tst_ZelPress::guardAsksOnlyWithUnsavedChanges() {
    QFETCH(QString, command);
    const QString guard = QStringLiteral("There are unsaved changes.");
    Bench bench;
    bench.window->show();
    GraphContainer* active = bench.window->activeContainer();
    // Clean: no question.
    bench.window->findChild<QAction*>(command)->setEnabled(true);
    bench.window->findChild<QAction*>(command)->trigger();
    QCOMPARE(bench.asked(guard), 0);
    bench.window->show();

    active->addGraphFromPress({{0.3, 0.0}, {0.2, 5.0}, {0.1, 9.0}}, true);
    QVERIFY(active->unsaved());
    bench.boxes->questionAnswer = QMessageBox::Cancel;
    bench.window->findChild<QAction*>(command)->trigger();
    QCOMPARE(bench.asked(guard), 1);
    QCOMPARE(active->graphs().size(), 1);
    QVERIFY(bench.window->isVisible());

    bench.boxes->questionAnswer = QMessageBox::Ok;
    bench.window->findChild<QAction*>(command)->trigger();
    QCOMPARE(bench.asked(guard), 2);
    if (command == QStringLiteral("exitAction"))
        QVERIFY(!bench.window->isVisible());
    else if (command != QStringLiteral("openSessionAction"))
        QTRY_COMPARE(active->graphs().size(), 0);
}

void tst_ZelPress::undoFollowsLegendEditsButNotComparisonFiles() {
    Bench bench;
    GraphContainer* active = bench.window->activeContainer();
    active->addGraphFromPress({{0.3, 0.0}, {0.2, 5.0}, {0.1, 9.0}}, true);
    active->addGraphFromPress({{0.3, 0.0}, {0.2, 6.0}, {0.1, 8.0}}, true);
    bench.window->undoHistory()->reset();
    SessionModel* legend = bench.window->graphModel()->sessionModel();
    QAction* undo = action(*bench.window, "undoAction");

    // A velocity typed into the legend is recorded and undone.
    const QModelIndex velocity = legend->item(0)->child(0, SessionModel::Velocity)->index();
    QVERIFY(legend->setData(velocity, 42, Qt::EditRole));
    QCOMPARE(active->graphs().first()->velocity(), 42.0);
    QVERIFY(undo->isEnabled());
    undo->trigger();
    QCOMPARE(active->graphs().first()->velocity(), 0.0);
    QVERIFY(!undo->isEnabled());

    // Remove Plot on the current trace is recorded too.
    bench.window->selectionModel()->setCurrentIndex(legend->item(0)->child(1)->index(),
                                                    QItemSelectionModel::ClearAndSelect);
    QVERIFY(action(*bench.window, "removePlotAction")->isEnabled());
    action(*bench.window, "removePlotAction")->trigger();
    QCOMPARE(active->graphs().size(), 1);
    QVERIFY(undo->isEnabled());
    undo->trigger();
    QCOMPARE(active->graphs().size(), 2);

    // A comparison file: flyer ticks and removals never enter the history.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("old.SDT"));
    QVERIFY(active->writeToFile(path));
    bench.window->undoHistory()->reset();
    bench.dialog->openPath = path;
    action(*bench.window, "loadCompareAction")->trigger();
    QCOMPARE(bench.window->graphModel()->compareContainers().size(), 1);
    const QModelIndex flyer = legend->item(1)->child(0, SessionModel::Flyer)->index();
    QVERIFY(legend->setData(flyer, Qt::Checked, Qt::CheckStateRole));
    bench.window->selectionModel()->setCurrentIndex(legend->item(1)->child(1)->index(),
                                                    QItemSelectionModel::ClearAndSelect);
    action(*bench.window, "removePlotAction")->trigger();
    QCOMPARE(bench.window->graphModel()->compareContainers().first()->graphs().size(), 1);
    QVERIFY(!undo->isEnabled());
}

void tst_ZelPress::exportsWriteWhatTheUserChose() {
    Bench bench;
    bench.window->resize(900, 600);
    bench.window->show();
    GraphContainer* active = bench.window->activeContainer();
    active->addGraphFromPress({{0.3, 0.0}, {0.2, 5.0}, {0.1, 9.0}}, true);
    active->addGraphFromPress({{0.3, 0.0}, {0.2, 6.0}, {0.1, 8.0}}, true);
    QTemporaryDir folder;
    const struct {
        const char* action;
        const char* file;
        QByteArray start;
    } exports[] = {
        {"exportToCsvAllAction", "all.csv", ",\"Trace 1\",\"Trace 2\""},
        {"exportToImageAction", "chart.png", "\x89PNG"},
        {"exportToPdfAction", "report.pdf", "%PDF"},
        {"exportToCsvAction", "one.csv", ""},
    };
    bench.window->selectionModel()->setCurrentIndex(
        bench.window->graphModel()->sessionModel()->item(0)->child(1)->index(),
        QItemSelectionModel::ClearAndSelect);
    for (const auto& exported : exports) {
        bench.dialog->savePath = folder.filePath(QString::fromLatin1(exported.file));
        QVERIFY(action(*bench.window, exported.action)->isEnabled());
        action(*bench.window, exported.action)->trigger();
        QFile file(bench.dialog->savePath);
        QVERIFY2(file.open(QIODevice::ReadOnly), exported.file);
        QVERIFY2(file.readAll().startsWith(exported.start), exported.file);
    }
    QVERIFY(bench.boxes->boxes.isEmpty());
}

void tst_ZelPress::failedSaveAndAutosaveAreReportedAndKeepTheData() {
    auto files = std::make_shared<FileSystem>();
    Bench bench(files);
    QVERIFY(bench.readyForStrokes());
    // The autosave folder cannot be made: a file stands where it should be.
    const QString folder =
        QFileInfo(GraphContainer::autosavePath(bench.session()->startTime())).absolutePath();
    QDir(folder).removeRecursively();
    QVERIFY(QDir().mkpath(QFileInfo(folder).absolutePath()));
    {
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    GraphContainer* active = bench.window->activeContainer();
    action(*bench.window, "goAction")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(active->graphs().size(), 1, kStrokeMs);
    const auto* autosaveLabel = bench.window->findChild<QLabel*>(QStringLiteral("autosaveStatusLabel"));
    QTRY_VERIFY_WITH_TIMEOUT(!autosaveLabel->isHidden(), 10000);
    QCOMPARE(autosaveLabel->text(), QStringLiteral("Autosave failed: %1")
                                        .arg(GraphContainer::autosavePath(bench.session()->startTime())));
    // The cursor read-out does not wipe it.
    emit bench.window->graphView()->cursorValueChanged(QPointF(0.1, 2.0));
    QVERIFY(!autosaveLabel->isHidden());
    QFile::remove(folder);

    // Save into a folder that does not exist: the warning, the "*" kept, the trace kept.
    bench.dialog->savePath = QStringLiteral("/nonexistent-folder/session.SDT");
    action(*bench.window, "saveSessionAsAction")->trigger();
    QCOMPARE(bench.asked(QStringLiteral("Could not save the session.")), 1);
    QVERIFY(active->unsaved());
    QVERIFY(bench.window->windowTitle().startsWith(QLatin1Char('*')));
    QCOMPARE(active->graphs().size(), 1);

    // The next stroke autosaves again and clears the report.
    QTRY_VERIFY_WITH_TIMEOUT(action(*bench.window, "goAction")->isEnabled(), kStrokeMs);
    action(*bench.window, "goAction")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(active->graphs().size(), 2, kStrokeMs);
    QTRY_VERIFY_WITH_TIMEOUT(autosaveLabel->isHidden(), 10000);
}

// On a large session the autosave takes a while: the stroke's end must not wait for it, autosaves must not
// run over each other, and a New Session and closing the window right after must still leave every stroke
// in the autosave file.
void tst_ZelPress::strokeEndDoesNotWaitForTheAutosaveAndClosingFinishesIt() {
    auto files = std::make_shared<GatedFileSystem>(QStringLiteral("/autosaves/"));
    Bench bench(files);
    QVERIFY(bench.readyForStrokes());
    const QString autosave = GraphContainer::autosavePath(bench.session()->startTime());
    QFile::remove(autosave);
    GraphContainer* active = bench.window->activeContainer();
    for (int stroke = 1; stroke <= 2; ++stroke) {
        action(*bench.window, "goAction")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(active->graphs().size(), stroke, kStrokeMs);
        // The window is ready for the next stroke while the first autosave is still held at the disk.
        QTRY_VERIFY_WITH_TIMEOUT(action(*bench.window, "goAction")->isEnabled(), kStrokeMs);
        QTRY_COMPARE_WITH_TIMEOUT(files->waiting(), 1, 5000);
    }
    QCOMPARE(files->mostAtOnce(), 1);
    QVERIFY(!QFile::exists(autosave));

    action(*bench.window, "newSessionAction")->trigger();
    QVERIFY(active->isEmpty());
    files->allow(2);
    bench.window.reset();
    QCOMPARE(files->ended(), 2);
    QCOMPARE(files->onMainThread(), 0);
    QCOMPARE(files->timedOut(), 0);
    GraphContainer saved;
    QVERIFY(saved.loadFromFile(autosave));
    QCOMPARE(saved.graphs().size(), 2);
}

void tst_ZelPress::viewOptionsReachTheSettingsFile() {
    QFile::remove(settingsPath());
    {
        Bench bench;
        action(*bench.window, "metricUnitsAction")->trigger();
        action(*bench.window, "metricUnitsAction")->trigger(); // clicking the checked one keeps it
        QVERIFY(action(*bench.window, "metricUnitsAction")->isChecked());
        QVERIFY(!action(*bench.window, "imperialUnitsAction")->isChecked());
        action(*bench.window, "darkModeAction")->trigger();
        action(*bench.window, "titleColumnAction")->trigger();
        action(*bench.window, "highlightFlyersAction")->trigger();

        // Colouring is not a setting: clicking the checked measurement again restores own colours.
        GraphContainer* active = bench.window->activeContainer();
        active->addGraphFromPress({{0.3, 0.0}, {0.2, 5.0}, {0.1, 9.0}}, true);
        active->addGraphFromPress({{0.3, 0.0}, {0.2, 6.0}, {0.1, 12.0}}, true);
        action(*bench.window, "peakForceColorAction")->trigger();
        QVERIFY(active->graphs().first()->gradientColor().isValid());
        action(*bench.window, "workDoneColorAction")->trigger();
        QVERIFY(!action(*bench.window, "peakForceColorAction")->isChecked());
        action(*bench.window, "workDoneColorAction")->trigger();
        QVERIFY(!action(*bench.window, "workDoneColorAction")->isChecked());
        QVERIFY(!active->graphs().first()->gradientColor().isValid());
        active->setUnsaved(false);
    }
    const QJsonObject json = QJsonDocument::fromJson([this] {
                                 QFile file(settingsPath());
                                 return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
                             }())
                                 .object();
    QCOMPARE(json.value("MM").toBool(), true);
    QCOMPARE(json.value("DarkMode").toBool(), true);
    QCOMPARE(json.value("LegendColumnVisibleTitle").toBool(), true);
    QCOMPARE(json.value("HighlightFlyers").toBool(), false);
    QFile::remove(settingsPath());
}

void tst_ZelPress::keepsTheSettingsAcrossRuns() {
    {
        Bench bench;
        QCOMPARE(bench.window->settings()->darkMode, false);
        bench.window->settings()->darkMode = true;
        bench.window->settings()->setMaxPressure(150);
    }
    const QJsonObject json = QJsonDocument::fromJson([this] {
                                 QFile file(settingsPath());
                                 return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
                             }())
                                 .object();
    QCOMPARE(json.size(), 18);
    QCOMPARE(json.value("DarkMode").toBool(), true);

    Bench bench;
    QCOMPARE(bench.window->settings()->darkMode, true);
    QCOMPARE(bench.window->settings()->maxPressure(), 150.0);
    QFile::remove(settingsPath());
}

QTEST_MAIN(tst_ZelPress)
#include "tst_zelpress.moc"
