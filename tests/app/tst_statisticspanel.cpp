#include "app/StatisticsPanel.h"
#include "chart/GraphModel.h"
#include "chart/SessionModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/UndoHistory.h"

#include <QAction>
#include <QAreaSeries>
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
    void runChartShowsPeaksMeanAndBandAndAClickNamesTheTrace();
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

void tst_StatisticsPanel::runChartShowsPeaksMeanAndBandAndAClickNamesTheTrace() {
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
    const double mean = 103.0;
    const double sd = 3.0;
    QCOMPARE(rig.panel.meanSeries()->points(), (QList<QPointF>{{1, mean}, {4, mean}}));
    QCOMPARE(rig.panel.bandSeries()->upperSeries()->points(),
             (QList<QPointF>{{1, mean + sd}, {4, mean + sd}}));
    QCOMPARE(rig.panel.bandSeries()->lowerSeries()->points(),
             (QList<QPointF>{{1, mean - sd}, {4, mean - sd}}));
    QVERIFY(rig.panel.bandSeries()->isVisible());
    auto* caption = rig.panel.findChild<QLabel*>(QStringLiteral("runChartCaption"));
    QCOMPARE(caption->text(), QStringLiteral("Active session: 4 strokes, 1 flyer excluded"));

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

    // One stroke: no spread, so no band.
    one->setVisible(false);
    three->setVisible(false);
    flyer->setVisible(false);
    rig.panel.refresh();
    QVERIFY(!rig.panel.bandSeries()->isVisible());
    QCOMPARE(rig.panel.meanSeries()->points(), (QList<QPointF>{{2, 106.0}, {2, 106.0}}));
}

QTEST_MAIN(tst_StatisticsPanel)
#include "tst_statisticspanel.moc"
