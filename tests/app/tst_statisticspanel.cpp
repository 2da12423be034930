#include "app/ComparisonPanel.h"
#include "app/StatisticsPanel.h"
#include "chart/GraphModel.h"
#include "chart/SessionModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/UndoHistory.h"

#include <QAction>
#include <QChartView>
#include <QClipboard>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineSeries>
#include <QScatterSeries>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>

#include <cmath>

namespace {

// A stroke with the given peak force (pounds) that ends at `terminal`.
QList<QPointF> stroke(double peak, double terminal) {
    return {{0.3, 0.0}, {0.2, peak / 2}, {0.1, peak}, {0.0, terminal}};
}

struct Rig {
    GraphModel model;
    GraphContainer* active = new GraphContainer(true, &model);
    StatisticsPanel panel{&model};

    Rig() {
        model.setActiveSessionContainer(active);
        panel.refresh();
    }
    Graph* add(double peak, double terminal = 0.0) {
        return active->addGraphFromPress(stroke(peak, terminal), true);
    }
    QModelIndex cell(Graph* graph, int column) const {
        SessionModel* legend = model.sessionModel();
        for (int top = 0; top < legend->rowCount(); ++top) {
            const QModelIndex parent = legend->index(top, 0);
            for (int row = 0; row < legend->rowCount(parent); ++row) {
                if (legend->graphAt(legend->index(row, 0, parent)) == graph)
                    return legend->index(row, column, parent);
            }
        }
        return {};
    }
    // The figures of the first column, as the panel shows them.
    SeatingStatistics shown() const { return panel.statistics().value(0); }
    // The cells of the table line whose first field is `title` (the n-th such line).
    QStringList line(const QString& title, int occurrence = 0) const {
        const QStringList lines = panel.tableText().split(QLatin1Char('\n'));
        for (const QString& text : lines) {
            const QStringList cells = text.split(QLatin1Char('\t'));
            if (cells.first() == title && occurrence-- == 0)
                return cells.mid(1);
        }
        return {};
    }
};

QString fixed(double value) {
    return QString::number(value, 'f', 2);
}

} // namespace

class tst_StatisticsPanel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void followsStrokesEditsUndoUnitsAndComparisons();
    void gathersABurstOfChangesIntoOneUpdate();
    void tableMarksIndicativeSpreadsAndCopiesAsTabSeparatedText();
    void runChartShowsPeaksMeanAndControlLimitsAndAClickNamesTheTrace();
    void limitsGiveCapabilityTheirLinesAndTheRulesBroken();
    void copyTakesWhatHasTheFocus();
};

void tst_StatisticsPanel::followsStrokesEditsUndoUnitsAndComparisons() {
    Rig rig;
    QCOMPARE(rig.panel.statistics().size(), 1);
    QCOMPARE(rig.shown().strokes(), 0);

    rig.add(100.0, 90.0);
    Graph* second = rig.add(110.0, 95.0);
    Graph* third = rig.add(105.0, 80.0);
    QTRY_COMPARE(rig.shown().strokes(), 3);
    QCOMPARE(rig.shown().summary(PeakForce).mean, 105.0);
    QCOMPARE(rig.shown().summary(TerminalForce).minimum, 80.0);

    UndoHistory undo(rig.active);
    undo.reset();
    // A flyer marked in the legend is left out and counted.
    QVERIFY(rig.model.sessionModel()->setData(rig.cell(second, SessionModel::Flyer), Qt::Checked,
                                              Qt::CheckStateRole));
    undo.recordSnapshot();
    QTRY_COMPARE(rig.shown().flyersExcluded(), 1);
    QCOMPARE(rig.shown().summary(PeakForce).mean, 102.5);

    // Hidden traces take no part.
    QVERIFY(rig.model.sessionModel()->setData(rig.cell(third, SessionModel::Visibility), false));
    QTRY_COMPARE(rig.shown().strokes(), 2);
    QCOMPARE(rig.shown().summary(PeakForce).count, 1);
    QCOMPARE(rig.shown().summary(PeakForce).mean, 100.0);

    // Undo goes back past the flyer edit to the state before it: three visible strokes, no flyer.
    undo.undo();
    QTRY_COMPARE(rig.shown().strokes(), 3);
    QCOMPARE(rig.shown().flyersExcluded(), 0);
    QCOMPARE(rig.shown().summary(PeakForce).mean, 105.0);

    // Metric: the figures of the metric copies and the headings in kilograms.
    rig.panel.setUnits(Metric);
    QTRY_COMPARE(rig.shown().units(), Metric);
    QCOMPARE(rig.shown().summary(PeakForce).mean,
             SeatingStatistics(rig.active->graphs(), Metric).summary(PeakForce).mean);
    QVERIFY(std::abs(rig.shown().summary(PeakForce).mean - 105.0 / 2.20462) < 1e-9);
    QVERIFY(!rig.line(QStringLiteral("Peak Force (kg)")).isEmpty());
    QVERIFY(!rig.line(QStringLiteral("Work Done (kg·mm)")).isEmpty());
    QVERIFY(rig.line(QStringLiteral("Peak Force (lbs)")).isEmpty());

    // A comparison file gets its own column, named after the file, and loses it when closed.
    auto* compare = new GraphContainer(nullptr);
    QJsonObject file;
    // (Undo replaced the traces: the first one is a new object now.)
    const QJsonObject trace = rig.active->graphs().first()->toJson();
    file.insert(QStringLiteral("Graphs"), QJsonArray{trace, trace});
    compare->restoreFromJson(file);
    compare->setFileName(QStringLiteral("/data/batch 7.SDT"));
    rig.model.addCompareContainer(compare);
    QTRY_COMPARE(rig.panel.statistics().size(), 2);
    QCOMPARE(rig.panel.containers(), (QList<GraphContainer*>{rig.active, compare}));
    QCOMPARE(rig.panel.statistics().at(1).strokes(), 2);
    QCOMPARE(rig.panel.table()->horizontalHeaderItem(1)->text(), QStringLiteral("batch 7.SDT"));
    QCOMPARE(rig.panel.table()->horizontalHeaderItem(0)->text(), QStringLiteral("Active Session"));
    delete compare;
    QTRY_COMPARE(rig.panel.statistics().size(), 1);

    // A new session empties the column.
    rig.active->clear();
    QTRY_COMPARE(rig.shown().strokes(), 0);
    QCOMPARE(rig.line(QStringLiteral("Mean")), QStringList{QString()});
}

void tst_StatisticsPanel::gathersABurstOfChangesIntoOneUpdate() {
    Rig rig;
    QSignalSpy rows(rig.model.sessionModel(), &QAbstractItemModel::rowsInserted);
    QJsonArray graphs;
    for (int i = 0; i < 200; ++i) {
        Graph graph;
        graph.setPoints(stroke(100.0 + i, 90.0), true);
        graphs.append(graph.toJson());
    }
    QJsonObject file;
    file.insert(QStringLiteral("Graphs"), graphs);
    rig.active->restoreFromJson(file);
    QVERIFY(rows.size() >= 200);
    // Nothing recomputed inside the burst; once, after it.
    QCOMPARE(rig.shown().strokes(), 0);
    QTRY_COMPARE(rig.shown().strokes(), 200);
    QCOMPARE(rig.shown().summary(PeakForce).mean, 199.5);
}

void tst_StatisticsPanel::tableMarksIndicativeSpreadsAndCopiesAsTabSeparatedText() {
    Rig rig;
    for (double peak : {100.0, 104.0, 102.0, 98.0})
        rig.add(peak, peak - 5.0);
    rig.panel.refresh();
    QCOMPARE(rig.line(QString()).value(0), QStringLiteral("Active Session"));
    QCOMPARE(rig.line(QStringLiteral("Strokes")), QStringList{QStringLiteral("4")});
    QCOMPARE(rig.line(QStringLiteral("Flyers excluded")), QStringList{QStringLiteral("0")});
    // Peak force: mean 101, SD sqrt(20 / 3), ES 6, min 98, max 104.
    QCOMPARE(rig.line(QStringLiteral("n")), QStringList{QStringLiteral("4")});
    QCOMPARE(rig.line(QStringLiteral("Mean")), QStringList{fixed(101.0)});
    QCOMPARE(rig.line(QStringLiteral("SD")), QStringList{fixed(std::sqrt(20.0 / 3.0))});
    QCOMPARE(rig.line(QStringLiteral("ES")), QStringList{fixed(6.0)});
    QCOMPARE(rig.line(QStringLiteral("Min")), QStringList{fixed(98.0)});
    QCOMPARE(rig.line(QStringLiteral("Max")), QStringList{fixed(104.0)});
    // Terminal force comes second.
    QCOMPARE(rig.line(QStringLiteral("Mean"), 1), QStringList{fixed(96.0)});

    // Four strokes: the spreads are indicative, in italics, and a note says so.
    QTableWidget* table = rig.panel.table();
    const auto italicCells = [&] {
        int count = 0;
        for (int row = 0; row < table->rowCount(); ++row)
            count += table->item(row, 0) && table->item(row, 0)->font().italic() ? 1 : 0;
        return count;
    };
    QCOMPARE(italicCells(), 6); // SD and ES of three measurements
    auto* note = rig.panel.findChild<QLabel*>(QStringLiteral("indicativeNote"));
    QVERIFY(note && !note->isHidden());
    rig.add(101.0, 96.0);
    rig.panel.refresh();
    QCOMPARE(italicCells(), 0);
    QVERIFY(note->isHidden());

    // Ctrl+C in the table, and the table's context menu entry, copy the whole table.
    rig.panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.panel));
    QGuiApplication::clipboard()->clear();
    table->setFocus();
    QTest::keySequence(table, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), rig.panel.tableText());
    QCOMPARE(table->contextMenuPolicy(), Qt::ActionsContextMenu);
    QVERIFY(table->actions().contains(rig.panel.copyAction()));
    QGuiApplication::clipboard()->clear();
    rig.panel.copyAction()->trigger();
    const QStringList lines =
        QGuiApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + table->rowCount());
    for (const QString& text : lines)
        QCOMPARE(text.count(QLatin1Char('\t')), table->columnCount());
}

void tst_StatisticsPanel::runChartShowsPeaksMeanAndControlLimitsAndAClickNamesTheTrace() {
    Rig rig;
    Graph* one = rig.add(100.0);
    Graph* two = rig.add(106.0);
    Graph* three = rig.add(103.0);
    Graph* flyer = rig.add(140.0);
    Graph* hidden = rig.add(50.0);
    flyer->setFlyer(true);
    hidden->setVisible(false);
    rig.panel.refresh();

    // Peaks against trace numbers; the flyer apart; the hidden trace nowhere.
    QCOMPARE(rig.panel.peakSeries()->points(), (QList<QPointF>{{1, 100.0}, {2, 106.0}, {3, 103.0}}));
    QCOMPARE(rig.panel.flyerSeries()->points(), (QList<QPointF>{{4, 140.0}}));
    // An individuals chart of the counted strokes: moving ranges 6 and 3, so the limits stand
    // 2.66 x 4.5 = 11.97 from the mean of 103.
    const double mean = 103.0;
    QCOMPARE(rig.panel.meanSeries()->points(), (QList<QPointF>{{1, mean}, {4, mean}}));
    QCOMPARE(rig.panel.upperControlSeries()->points(),
             (QList<QPointF>{{1, mean + 11.97}, {4, mean + 11.97}}));
    QCOMPARE(rig.panel.lowerControlSeries()->points(),
             (QList<QPointF>{{1, mean - 11.97}, {4, mean - 11.97}}));
    QVERIFY(rig.panel.violationSeries()->points().isEmpty());
    QVERIFY(rig.panel.lowToleranceSeries()->points().isEmpty());
    auto* caption = rig.panel.findChild<QLabel*>(QStringLiteral("runChartCaption"));
    QCOMPARE(caption->text(), QStringLiteral("Active session, peak force: 4 strokes, 1 flyer excluded"));

    // A click on a point names its trace.
    rig.panel.resize(360, 700);
    rig.panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.panel));
    QSignalSpy clicked(&rig.panel, &StatisticsPanel::graphClicked);
    QChartView* view = rig.panel.runChartView();
    for (const auto& [graph, series, point] :
         {std::tuple<Graph*, QScatterSeries*, QPointF>{two, rig.panel.peakSeries(), QPointF(2, 106.0)},
          std::tuple<Graph*, QScatterSeries*, QPointF>{flyer, rig.panel.flyerSeries(), QPointF(4, 140.0)}}) {
        const QPointF inChart = view->chart()->mapToPosition(point, series);
        const QPoint at = view->mapFromScene(view->chart()->mapToScene(inChart));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(clicked.takeFirst().at(0).value<Graph*>(), graph);
    }

    // One stroke: no moving range, so no control limits.
    one->setVisible(false);
    three->setVisible(false);
    flyer->setVisible(false);
    rig.panel.refresh();
    QVERIFY(rig.panel.upperControlSeries()->points().isEmpty());
    QVERIFY(rig.panel.lowerControlSeries()->points().isEmpty());
    QCOMPARE(rig.panel.meanSeries()->points(), (QList<QPointF>{{2, 106.0}, {2, 106.0}}));
}

void tst_StatisticsPanel::limitsGiveCapabilityTheirLinesAndTheRulesBroken() {
    Rig rig;
    // Nine strokes below the mean, then one far above it. Reference values (NumPy 1.24, Debian 12): mean
    // 102.3, sample SD 6.290204, so Cp = 10 / (6 s) = 0.264962 and Cpk = (105 - 102.3) / (3 s) = 0.143080;
    // average moving range 30 / 9, control limits 93.4333 and 111.1667.
    const QList<double> peaks = {100, 101, 99, 100, 102, 101, 100, 99, 101, 120};
    for (double peak : peaks)
        rig.add(peak);
    Graph* flyer = rig.add(200.0);
    flyer->setFlyer(true);
    rig.active->setLimits(*ToleranceLimits::withLimits(PeakForce, 95.0, 105.0, Imperial));
    rig.panel.refresh();

    QCOMPARE(rig.line(QStringLiteral("Tolerance")), QStringList{QStringLiteral("Peak Force")});
    QCOMPARE(rig.line(QStringLiteral("Limits")), QStringList{QString::fromUtf8("95.00\u2013105.00")});
    // The flyer is judged in the legend, but like every figure here the counts leave it out.
    QCOMPARE(rig.line(QStringLiteral("In tolerance")), QStringList{QStringLiteral("9 of 10")});
    QCOMPARE(rig.line(QStringLiteral("Cp")), QStringList{QStringLiteral("0.26")});
    QCOMPARE(rig.line(QStringLiteral("Cpk")), QStringList{QStringLiteral("0.14")});

    const ControlChart& chart = rig.panel.controlChart();
    QCOMPARE(chart.count(), 10);
    QVERIFY(std::abs(chart.upperLimit() - 111.16666666666666) < 1e-9);
    QVERIFY(std::abs(chart.lowerLimit() - 93.43333333333334) < 1e-9);
    // Trace 9 is the ninth in a row below the mean, trace 10 beyond the upper control limit.
    QCOMPARE(rig.panel.violationSeries()->points(), (QList<QPointF>{{9, 101.0}, {10, 120.0}}));
    QCOMPARE(rig.panel.highToleranceSeries()->points(), (QList<QPointF>{{1, 105.0}, {11, 105.0}}));
    QCOMPARE(rig.panel.lowToleranceSeries()->points(), (QList<QPointF>{{1, 95.0}, {11, 95.0}}));
    QVERIFY2(rig.panel.ruleText().contains(QStringLiteral("Trace 10 is beyond a control limit.")),
             qPrintable(rig.panel.ruleText()));
    QVERIFY2(rig.panel.ruleText().contains(QStringLiteral("Trace 9 is the 9th or later in a row")),
             qPrintable(rig.panel.ruleText()));
    QCOMPARE(rig.panel.ruleSummary(),
             QStringLiteral("Rule broken: trace 9 (9th in a row on one side), trace 10 "
                            "(beyond a control limit)."));
    // The same chart's figures in the table, for Copy.
    QCOMPARE(rig.line(QStringLiteral("Control chart")), QStringList{QStringLiteral("Peak Force")});
    QCOMPARE(rig.line(QStringLiteral("Centre")), QStringList{QStringLiteral("102.30")});
    QCOMPARE(rig.line(QStringLiteral("Control limits")), QStringList{QString::fromUtf8("93.43\u2013111.17")});
    QCOMPARE(rig.line(QStringLiteral("Rule breaks")), QStringList{QStringLiteral("2")});

    // In metric units the limits and lines convert; the unitless indices and the counts stay.
    rig.panel.setUnits(Metric);
    rig.panel.refresh();
    QCOMPARE(rig.line(QStringLiteral("Limits")),
             QStringList{QStringLiteral("%1%2%3").arg(fixed(95.0 / kLbsPerKg), QChar(0x2013),
                                                      fixed(105.0 / kLbsPerKg))});
    QCOMPARE(rig.line(QStringLiteral("Cpk")), QStringList{QStringLiteral("0.14")});
    QVERIFY(std::abs(rig.panel.highToleranceSeries()->points().value(0).y() - 105.0 / kLbsPerKg) < 1e-9);

    // Limits on another measurement move the chart to it; without limits the rows are empty.
    rig.active->setLimits(*ToleranceLimits::withBand(TerminalForce, 0.0, 1.0, Imperial));
    rig.panel.refresh();
    QCOMPARE(rig.panel.runMeasurement(), TerminalForce);
    QCOMPARE(rig.line(QStringLiteral("In tolerance")), QStringList{QStringLiteral("10 of 10")});
    QCOMPARE(rig.line(QStringLiteral("Cp")), QStringList{QString(QChar(0x221E))});
    rig.active->setLimits(ToleranceLimits());
    rig.panel.refresh();
    QCOMPARE(rig.panel.runMeasurement(), PeakForce);
    QCOMPARE(rig.line(QStringLiteral("In tolerance")), QStringList{QString()});
    QVERIFY(rig.panel.highToleranceSeries()->points().isEmpty());
}

void tst_StatisticsPanel::copyTakesWhatHasTheFocus() {
    Rig rig;
    rig.add(100.0);
    rig.add(104.0);
    auto* compare = new GraphContainer(false, &rig.model);
    compare->addGraphFromPress(stroke(101.0, 0.0), true);
    compare->addGraphFromPress(stroke(103.0, 0.0), true);
    rig.model.addCompareContainer(compare);
    rig.panel.resize(400, 800);
    rig.panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.panel));
    rig.panel.refresh();
    ComparisonPanel* comparison = rig.panel.comparisonPanel();
    comparison->refresh();
    QCOMPARE(comparison->secondContainer(), compare);

    // Both copy actions live in the panel; each answers only for its own part, never both at once.
    rig.panel.lowerTabs()->setCurrentIndex(1);
    QVERIFY(comparison->isVisible());
    auto* comparisonTable = comparison->findChild<QTableWidget*>(QStringLiteral("comparisonTable"));
    comparisonTable->setFocus();
    QGuiApplication::clipboard()->clear();
    QTest::keySequence(comparisonTable, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), comparison->text());
    rig.panel.table()->setFocus();
    QTest::keySequence(rig.panel.table(), QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), rig.panel.tableText());
}

QTEST_MAIN(tst_StatisticsPanel)
#include "tst_statisticspanel.moc"
