// The statistics dock and the live stroke in the main window, on the emulated press.
#include "support/FakeMessageBoxes.h"
#include "WindowBench.h"

#include "app/StatisticsPanel.h"
#include "app/ZelPress.h"
#include "chart/GraphChart.h"
#include "chart/GraphModel.h"
#include "chart/GraphSeries.h"
#include "chart/GraphView.h"
#include "chart/GraphVisualization.h"
#include "chart/LiveStroke.h"
#include "chart/SessionModel.h"
#include "core/FileSystem.h"
#include "core/IFileDialog.h"
#include "core/Logging.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/UndoHistory.h"
#include "dialogs/ProgressDialog.h"
#include "link/AutoConnection.h"
#include "link/Protocol.h"
#include "session/PressProcedure.h"
#include "session/Session.h"

#include <QAction>
#include <QChartView>
#include <QFile>
#include <QItemSelectionModel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QMenuBar>
#include <QScatterSeries>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// The window on the emulated press, reading inches and pounds whatever an earlier run left in the settings.
struct StatisticsBench : Bench {
    StatisticsBench() { action(*window, "imperialUnitsAction")->trigger(); }
    LiveStroke* live() const { return window->liveStroke(); }
    GraphContainer* active() const { return window->activeContainer(); }
    SeatingStatistics shown() const { return window->statisticsPanel()->statistics().value(0); }
    // The trace of a legend row of the active session.
    QModelIndex legendRow(const Graph* graph) const {
        SessionModel* legend = window->graphModel()->sessionModel();
        const QModelIndex top = legend->index(0, 0);
        for (int row = 0; row < legend->rowCount(top); ++row) {
            if (legend->graphAt(legend->index(row, 0, top)) == graph)
                return legend->index(row, 0, top);
        }
        return {};
    }
};

} // namespace

class tst_ZelPressStatistics : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void liveLineGrowsDuringTheStrokeAndGivesWayToExactlyOneTrace();
    void liveLineGoesWithoutATrace_data();
    void liveLineGoesWithoutATrace();
    void panelFollowsTheWindowsEditsUndoUnitsAndFiles();
    void clickingARunChartPointSelectsTheTraceInTheLegendAndTheChart();
    void statisticsTabFollowsTheViewMenuAndIsKept();
    void windowFitsALaptopScreen();
    void addsNothingToMenusSettingsOrSessionFiles();
};

void tst_ZelPressStatistics::liveLineGrowsDuringTheStrokeAndGivesWayToExactlyOneTrace() {
    StatisticsBench bench;
    bench.window->show();
    QVERIFY(bench.readyForStrokes());
    LiveStroke* live = bench.live();
    GraphChart* chart = bench.window->graphView()->chart();

    action(*bench.window, "goAction")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(live->drawnPointCount() > 0, kStrokeMs);
    QVERIFY(live->layer()->isVisible());
    const QList<QPointF> early = live->drawnPoints();
    QTRY_VERIFY_WITH_TIMEOUT(live->drawnPointCount() > early.size(), kStrokeMs);
    QVERIFY(bench.active()->isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(bench.active()->graphs().size(), 1, kStrokeMs);
    // Replaced in the same turn of the event loop: the line is gone, and the chart holds the trace alone.
    QVERIFY(!live->isDrawing());
    QVERIFY(live->layer()->isHidden());
    QCOMPARE(chart->graphSeries().size(), 1);
    const Graph* trace = bench.active()->graphs().first();
    QCOMPARE(chart->graphSeries().first()->graph(), trace);
    QCOMPARE(chart->graphSeries().first()->color(), live->color());
    // What was drawn is the start of the trace, to the last bit: same conversion, same X zero.
    const QList<QPointF> recorded = trace->data(Imperial).points();
    QVERIFY(recorded.size() > early.size());
    QCOMPARE(recorded.mid(0, early.size()), early);
    // Drawn in frames, never once per sample.
    QVERIFY(live->frameCount() >= 2);
    QVERIFY(live->frameCount() * 4 < recorded.size());

    // The panel counts the stroke.
    QTRY_COMPARE(bench.shown().strokes(), 1);
    QCOMPARE(bench.shown().summary(PeakForce).mean, trace->data(Imperial).peakForce());
}

void tst_ZelPressStatistics::liveLineGoesWithoutATrace_data() {
    QTest::addColumn<bool>("pullTheCable");
    QTest::newRow("stroke cancelled") << false;
    QTest::newRow("cable pulled") << true;
}

void tst_ZelPressStatistics::liveLineGoesWithoutATrace() {
    QFETCH(bool, pullTheCable);
    StatisticsBench bench;
    bench.window->show();
    QVERIFY(bench.readyForStrokes());
    LiveStroke* live = bench.live();
    action(*bench.window, "goAction")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(live->drawnPointCount() > 0, kStrokeMs);

    if (pullTheCable) {
        bench.window->protocol()->closePort();
    } else {
        auto* stroke = bench.session()->findChild<PressProcedure*>();
        QVERIFY(stroke);
        stroke->cancel();
    }
    QVERIFY(!live->isDrawing());
    QVERIFY(live->layer()->isHidden());
    QCOMPARE(live->drawnPointCount(), 0);
    QTRY_VERIFY(!bench.window->findChild<ProgressDialog*>());
    QVERIFY(bench.active()->isEmpty());
    QCOMPARE(bench.window->graphView()->chart()->graphSeries().size(), 0);
}

void tst_ZelPressStatistics::panelFollowsTheWindowsEditsUndoUnitsAndFiles() {
    StatisticsBench bench;
    GraphContainer* active = bench.active();
    // Three strokes as the window adds them from the press.
    for (double peak : {100.0, 110.0, 120.0})
        active->addGraphFromPress({{0.3, 0.0}, {0.2, peak / 2}, {0.1, peak}}, true);
    bench.window->undoHistory()->reset();
    QTRY_COMPARE(bench.shown().strokes(), 3);
    QCOMPARE(bench.shown().summary(PeakForce).mean, 110.0);

    // A flyer ticked in the legend, then undone.
    SessionModel* legend = bench.window->graphModel()->sessionModel();
    const QModelIndex flyer = bench.legendRow(active->graphs().at(2)).siblingAtColumn(SessionModel::Flyer);
    QVERIFY(legend->setData(flyer, Qt::Checked, Qt::CheckStateRole));
    QTRY_COMPARE(bench.shown().flyersExcluded(), 1);
    QCOMPARE(bench.shown().summary(PeakForce).mean, 105.0);
    action(*bench.window, "undoAction")->trigger();
    QTRY_COMPARE(bench.shown().flyersExcluded(), 0);
    QCOMPARE(bench.shown().summary(PeakForce).mean, 110.0);

    // Units.
    action(*bench.window, "metricUnitsAction")->trigger();
    QTRY_COMPARE(bench.shown().units(), Metric);
    QVERIFY(std::abs(bench.shown().summary(PeakForce).mean - 110.0 / 2.20462) < 1e-9);
    action(*bench.window, "imperialUnitsAction")->trigger();
    QTRY_COMPARE(bench.shown().units(), Imperial);

    // Clear Last Plot.
    action(*bench.window, "clearLastPlotAction")->trigger();
    QTRY_COMPARE(bench.shown().strokes(), 2);
    QCOMPARE(bench.shown().summary(PeakForce).mean, 105.0);

    // Open a session file, then load it again beside it to compare.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("batch.SDT"));
    active->addGraphFromPress({{0.3, 0.0}, {0.1, 90.0}}, true);
    QVERIFY(active->writeToFile(path));
    active->removeLastGraph();
    active->setUnsaved(false);
    bench.dialog->openPath = path;
    action(*bench.window, "openSessionAction")->trigger();
    QTRY_COMPARE(bench.shown().strokes(), 3);
    QCOMPARE(bench.shown().summary(PeakForce).mean, 100.0);
    action(*bench.window, "loadCompareAction")->trigger();
    QTRY_COMPARE(bench.window->statisticsPanel()->statistics().size(), 2);
    QCOMPARE(bench.window->statisticsPanel()->statistics().at(1).summary(PeakForce).minimum, 90.0);
}

void tst_ZelPressStatistics::clickingARunChartPointSelectsTheTraceInTheLegendAndTheChart() {
    StatisticsBench bench;
    bench.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(bench.window.get()));
    GraphContainer* active = bench.active();
    for (double peak : {100.0, 110.0, 105.0})
        active->addGraphFromPress({{0.3, 0.0}, {0.2, peak / 2}, {0.1, peak}}, true);
    StatisticsPanel* panel = bench.window->statisticsPanel();
    bench.window->findChild<QTabWidget*>(QStringLiteral("sidePanelTabs"))->setCurrentWidget(panel);
    panel->refresh();
    QApplication::processEvents();
    // The newest trace is selected; click the first one's point.
    Graph* first = active->graphs().first();
    QVERIFY(bench.window->graphView()->chart()->selectedSeries()->graph() != first);
    QChartView* view = panel->runChartView();
    const QPointF inChart = view->chart()->mapToPosition(QPointF(1, 100.0), panel->peakSeries());
    const QPoint at = view->mapFromScene(view->chart()->mapToScene(inChart));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);

    QCOMPARE(bench.window->graphView()->chart()->selectedSeries()->graph(), first);
    const QModelIndex current = bench.window->selectionModel()->currentIndex();
    QCOMPARE(bench.window->graphModel()->sessionModel()->graphAt(current), first);
    QVERIFY(bench.window->selectionModel()->isRowSelected(current.row(), current.parent()));
}

// The statistics share the legend's place as a tab, so the chart keeps most of a laptop's window; the
// View menu's last item shows and hides them, and the choice outlives the window.
void tst_ZelPressStatistics::statisticsTabFollowsTheViewMenuAndIsKept() {
    const QString settingsPath = Logging::logDirectory() + QStringLiteral("/Settings.json");
    {
        StatisticsBench bench;
        bench.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(bench.window.get()));
        auto* tabs = bench.window->findChild<QTabWidget*>(QStringLiteral("sidePanelTabs"));
        QVERIFY(tabs);
        StatisticsPanel* panel = bench.window->statisticsPanel();
        QAction* shown = action(*bench.window, "statisticsAction");
        const QList<QAction*> view = bench.window->menuBar()->actions().at(3)->menu()->actions();
        QCOMPARE(view.last(), shown);
        QVERIFY(view.at(view.size() - 2)->isSeparator());
        QVERIFY(shown->isCheckable() && shown->isChecked());
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->tabText(tabs->indexOf(panel)), QStringLiteral("Statistics"));
        QVERIFY(!panel->isVisible()); // the legend's tab comes first
        // The chart keeps more than half of the window's width.
        QVERIFY2(bench.window->graphView()->width() >= 0.55 * bench.window->width(),
                 qPrintable(QString::number(bench.window->graphView()->width())));

        shown->trigger();
        QCOMPARE(tabs->indexOf(panel), -1);
        QVERIFY(!panel->isVisible());
        shown->trigger();
        QCOMPARE(tabs->currentWidget(), panel); // asked for, so brought to the front
        QVERIFY(panel->isVisible());
        shown->trigger();
    }
    {
        QFile settings(settingsPath);
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(settings.readAll()).object().value(QStringLiteral("ShowStatistics")),
                 QJsonValue(false));
    }
    StatisticsBench again;
    QVERIFY(!action(*again.window, "statisticsAction")->isChecked());
    QCOMPARE(again.window->findChild<QTabWidget*>(QStringLiteral("sidePanelTabs"))
                 ->indexOf(again.window->statisticsPanel()),
             -1);
    action(*again.window, "statisticsAction")->trigger(); // as the other tests expect it
}

// A 768-pixel screen leaves about 700 under a panel: the window must go smaller than that, and must not
// grow by itself when strokes arrive or the statistics come to the front.
void tst_ZelPressStatistics::windowFitsALaptopScreen() {
    StatisticsBench bench;
    ZelPress& window = *bench.window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QSize initial = window.size();
    QCOMPARE(initial, QSize(947, 698));
    QVERIFY2(window.minimumSizeHint().height() <= 600,
             qPrintable(QString::number(window.minimumSizeHint().height())));

    // Three strokes bring the note on indicative spreads; then the statistics' tab to the front.
    for (double peak : {100.0, 110.0, 105.0})
        bench.active()->addGraphFromPress({{0.3, 0.0}, {0.2, peak / 2}, {0.1, peak}}, true);
    window.statisticsPanel()->refresh();
    QApplication::processEvents();
    QCOMPARE(window.size(), initial);
    window.findChild<QTabWidget*>(QStringLiteral("sidePanelTabs"))
        ->setCurrentWidget(window.statisticsPanel());
    QApplication::processEvents();
    QCOMPARE(window.size(), initial);
    QVERIFY2(window.minimumSizeHint().height() <= 600,
             qPrintable(QString::number(window.minimumSizeHint().height())));

    window.resize(800, 600);
    QApplication::processEvents();
    QCOMPARE(window.size(), QSize(800, 600));
    QVERIFY2(window.graphView()->height() >= 250, qPrintable(QString::number(window.graphView()->height())));
    QVERIFY(window.graphView()->width() >= 0.55 * window.width());
}

void tst_ZelPressStatistics::addsNothingToMenusSettingsOrSessionFiles() {
    const QString settingsPath = Logging::logDirectory() + QStringLiteral("/Settings.json");
    QTemporaryDir folder;
    const QString sessionPath = folder.filePath(QStringLiteral("saved.SDT"));
    {
        StatisticsBench bench;
        bench.window->show();
        // The menus hold exactly the window's commands.
        const QList<QPair<QString, QStringList>> menus = {
            {QStringLiteral("&File"),
             {"&New Session", "&Open Session ...", "&Save Session", "Save Session &As ...", "",
              "Load &Compare ...", "Import &Velocities ...", "", "Export Trace to CSV",
              "Export All Traces to CSV", "Export to Image", "Export to PDF", "", "Show Log Directory", "",
              "E&xit"}},
            {QStringLiteral("&Edit"),
             {"&Undo", "", "&Edit Plot", "&Remove Plot", "Renumber Plots", "", "Clear &Last Plot",
              "Clear &All Plots"}},
            {QStringLiteral("&Setup"), {"Units", "Tolerance &Limits ...", "", "&Advanced ..."}},
            {QStringLiteral("&View"),
             {"&Autoscale", "Dark Mode", "", "Legend Columns", "Color Gradient", "Highlight flyers", "",
              "Statistics"}},
            {QStringLiteral("&Commands"),
             {"Bluetooth &connect", "", "&Zero press", "Find &X Zero", "&Die Setup", "&Go"}},
        };
        const auto bar = bench.window->menuBar()->actions();
        QCOMPARE(bar.size(), menus.size());
        for (int i = 0; i < menus.size(); ++i) {
            QCOMPARE(bar.at(i)->text(), menus.at(i).first);
            QStringList texts;
            const auto entries = bar.at(i)->menu()->actions();
            for (QAction* entry : entries)
                texts.append(entry->text());
            QCOMPARE(texts, menus.at(i).second);
        }
        // A session saved with the panel in use.
        bench.active()->addGraphFromPress({{0.3, 0.0}, {0.1, 90.0}}, true);
        bench.window->statisticsPanel()->refresh();
        bench.window->statisticsPanel()->copyAction()->trigger();
        bench.dialog->savePath = sessionPath;
        action(*bench.window, "saveSessionAction")->trigger();
    }
    // The eighteen keys of the settings file, no more.
    QFile settings(settingsPath);
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QStringList keys = QJsonDocument::fromJson(settings.readAll()).object().keys();
    keys.sort();
    QStringList expected = {"MaxPressure",
                            "JamDetectionTime",
                            "UserDirectory",
                            "MM",
                            "DarkMode",
                            "HighlightFlyers",
                            "ShowStatistics",
                            "AutorunMinDiffAdc",
                            "AutorunThresholdRatio",
                            "AutorunTimeoutMs",
                            "AutorunFilterLength",
                            "LegendColumnVisibleTitle",
                            "LegendColumnVisibleWorkDone",
                            "LegendColumnVisiblePeakForce",
                            "LegendColumnVisibleTerminalForce",
                            "LegendColumnVisibleStartingPosition",
                            "LegendColumnVisibleVelocity",
                            "LegendColumnVisibleFlyer"};
    expected.sort();
    QCOMPARE(keys, expected);

    // The session file's own keys, and its traces', no more.
    QFile session(sessionPath);
    QVERIFY(session.open(QIODevice::ReadOnly));
    const QJsonObject object = QJsonDocument::fromJson(session.readAll()).object();
    QCOMPARE(object.keys(), (QStringList{"AppVersion", "FirmwareVersion", "Graphs"}));
    QCOMPARE(object.value(QStringLiteral("Graphs")).toArray().first().toObject().keys(),
             (QStringList{"Color", "Comment", "Flyer", "Name", "Show", "TraceNumber", "Units", "Velocity",
                          "X Values", "Y Values"}));
}

QTEST_MAIN(tst_ZelPressStatistics)
#include "tst_zelpressstatistics.moc"
