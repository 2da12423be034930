#include "chart/GraphAxis.h"
#include "chart/GraphChart.h"
#include "chart/GraphModel.h"
#include "chart/GraphSeries.h"
#include "chart/GraphView.h"
#include "chart/GraphVisualization.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"

#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QItemSelectionModel>
#include <QJsonArray>
#include <QPainter>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTest>

#include <cmath>
#include <limits>
#include <memory>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

void flushDeletions() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A stroke in inches and pounds: flat until `start`, then rising linearly to `peak` at `end`.
QList<QPointF> stroke(double start, double end, double peak) {
    QList<QPointF> points;
    for (int i = 0; i <= 40; ++i) {
        const double x = start * 1.5 - i * (start * 1.5 - end) / 40.0;
        const double y = x > start ? 0.0 : peak * (start - x) / (start - end);
        points.append({x, y});
    }
    return points;
}

// The chart, its controller and a model with an active container, as the main window puts them together.
struct Rig {
    GraphModel model;
    GraphContainer active{true, nullptr};
    std::unique_ptr<GraphView> view;
    std::unique_ptr<GraphVisualization> visualization;

    Rig() {
        model.setActiveSessionContainer(&active);
        view = std::make_unique<GraphView>();
        view->resize(800, 500);
        visualization = std::make_unique<GraphVisualization>(&model, view.get());
    }
    ~Rig() {
        visualization.reset();
        view.reset();
    }
    GraphChart* chart() const { return view->chart(); }
    GraphSeries* series(const Graph* graph) const { return visualization->seriesFor(graph); }
    double xMin() const { return chart()->xAxis()->min(); }
    double xMax() const { return chart()->xAxis()->max(); }
    double yMin() const { return chart()->yAxis()->min(); }
    double yMax() const { return chart()->yAxis()->max(); }
};

// A legend model of the shape the legend uses: container rows with trace rows below them.
void addLegendRows(QStandardItemModel& legend, GraphContainer* container) {
    auto* containerItem = new QStandardItem(QStringLiteral("container"));
    containerItem->setData(QVariant::fromValue<QObject*>(container), Qt::UserRole + 1);
    for (Graph* graph : container->graphs()) {
        auto* traceItem = new QStandardItem(graph->name());
        traceItem->setData(QVariant::fromValue<QObject*>(graph), Qt::UserRole + 1);
        containerItem->appendRow({traceItem, new QStandardItem(QStringLiteral("x"))});
    }
    legend.appendRow(containerItem);
}

} // namespace

class tst_GraphChart : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void tickStepForSpan_data();
    void tickStepForSpan();
    void tickStepGrowsUntilLabelsFit_data();
    void tickStepGrowsUntilLabelsFit();
    void axisLabelsAreNeverCutShort_data();
    void axisLabelsAreNeverCutShort();
    void rangeChangePicksTickStep();
    void axesStartAsDescribed();
    void minorGridStaysFaintUnderEveryTheme();

    void autoscaleRanges_data();
    void autoscaleRanges();
    void autoscaleWithoutSeriesKeepsAxes();
    void coloursAndWidths();
    void loadedTraceNeverTurnsRed();
    void gradientShowsLatestInItsGradientColour();
    void darkModeKeepsTraceColours();
    void selectionFollowsLegendAndLegendFollowsChart();
    void selectingTheSelectedTraceLeavesLegendAlone();
    void selectedLineIsDrawnLast();
    void selectingLeavesNoSecondDrawingOfALine();
    void chartClickClearsSelection();
    void bulkLoadSelectsLastTrace();
    void seriesFollowsTraceDestructionWithoutAbort();
    void visualizationDestroyedBeforeChart();
    void unitSwitchReplacesPointsAndTitles();
    void nonFiniteAndHugeCoordinatesDrawBounded();

    void wheelZoomStopsAtItsLimits();
    void wheelZoomKeepsValueUnderPointer();
    void dragPansTheChart();
    void cursorReadOut();
    void pressNeverCrashes_data();
    void pressNeverCrashes();
};

void tst_GraphChart::tickStepForSpan_data() {
    QTest::addColumn<double>("span");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("decimals");
    QTest::newRow("0.6") << 0.6 << 0.1 << 1;
    QTest::newRow("0.35") << 0.35 << 0.05 << 2;
    QTest::newRow("below 0.007") << 0.0065 << 0.001 << 3;
    QTest::newRow("zero") << 0.0 << 0.001 << 3;
    QTest::newRow("negative span counts by size") << -0.6 << 0.1 << 1;
    // 7 × 0.0025 = 0.0175 and 7 × 0.005 = 0.035: 0.02625 lies exactly between, the smaller wins.
    QTest::newRow("tie takes smaller") << 0.02625 << 0.0025 << 4;
    QTest::newRow("just past tie takes larger") << 0.0263 << 0.005 << 3;
    QTest::newRow("1.75 needs 2.5's decimals") << 17.5 << 2.5 << 1;
    QTest::newRow("10 lbs") << 10.1 << 1.0 << 0;
    QTest::newRow("40 thousand") << 40000.0 << 5000.0 << 0;
    // Beyond the table the steps go on by decades, so the count of ticks stays near seven.
    QTest::newRow("70 thousand") << 70000.0 << 10000.0 << 0;
    QTest::newRow("1e12") << 1e12 << 1e11 << 0;
    QTest::newRow("largest double") << std::numeric_limits<double>::max() << 2.5e307 << 0;
    QTest::newRow("infinite") << kInf << 5000.0 << 0;
    QTest::newRow("nan") << kNaN << 5000.0 << 0;
}

void tst_GraphChart::tickStepForSpan() {
    QFETCH(double, span);
    QFETCH(double, step);
    QFETCH(int, decimals);
    const GraphChart::TickStep tick = GraphChart::tickStepFor(span);
    QCOMPARE(tick.step, step);
    QCOMPARE(tick.decimals, decimals);
    if (std::isfinite(span) && span > 0.007) {
        const double ticks = std::abs(span) / tick.step;
        QVERIFY2(ticks >= 3.0 && ticks <= 15.0, qPrintable(QString::number(ticks)));
    }
}

void tst_GraphChart::tickStepGrowsUntilLabelsFit_data() {
    QTest::addColumn<double>("span");
    QTest::addColumn<double>("smallestFitting");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("decimals");
    QTest::newRow("the table's step fits") << 0.3 << 0.0 << 0.05 << 2;
    QTest::newRow("next step") << 0.3 << 0.06 << 0.1 << 1;
    QTest::newRow("two steps on, its own decimals") << 0.3 << 0.21 << 0.25 << 2;
    QTest::newRow("on by decades") << 40000.0 << 20000.0 << 20000.0 << 0;
    // Nothing fits: the first step past the span, which leaves at most one label.
    QTest::newRow("nothing fits") << 0.3 << 1e9 << 0.5 << 1;
    QTest::newRow("infinite span") << kInf << 1e9 << 5000.0 << 0;
}

void tst_GraphChart::tickStepGrowsUntilLabelsFit() {
    QFETCH(double, span);
    QFETCH(double, smallestFitting);
    QFETCH(double, step);
    QFETCH(int, decimals);
    const GraphChart::TickStep tick = GraphChart::tickStepFor(
        span, [smallestFitting](const GraphChart::TickStep& t) { return t.step >= smallestFitting; });
    QCOMPARE(tick.step, step);
    QCOMPARE(tick.decimals, decimals);
}

void tst_GraphChart::axisLabelsAreNeverCutShort_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("yMax");
    // The chart beside a wide statistics panel, a laptop window's chart, a full one, and a squat one.
    QTest::newRow("250 wide") << QSize(250, 560) << 10.0;
    QTest::newRow("250 wide, large forces") << QSize(250, 560) << 12345.0;
    QTest::newRow("520 x 400") << QSize(520, 400) << 85.5;
    QTest::newRow("1100 x 560") << QSize(1100, 560) << 10.0;
    QTest::newRow("1100 x 250") << QSize(1100, 250) << 10.0;
}

// Each label of both axes is shown whole or not at all, none overlaps another, and each axis keeps at
// least two labels.
void tst_GraphChart::axisLabelsAreNeverCutShort() {
    QFETCH(QSize, size);
    QFETCH(double, yMax);
    GraphView view;
    view.chart()->setXRange(-0.1234, 0.3456);
    view.chart()->setYRange(-0.1, yMax);
    view.resize(size);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCoreApplication::processEvents();

    const QRectF plot = view.chart()->plotArea();
    QList<QRectF> below;
    QList<QRectF> left;
    const auto items = view.scene()->items();
    for (QGraphicsItem* item : items) {
        auto* text = dynamic_cast<QGraphicsTextItem*>(item);
        if (!text || !text->isVisible() || text->toPlainText().isEmpty())
            continue;
        QVERIFY2(!text->toPlainText().contains(QStringLiteral("...")) &&
                     !text->toPlainText().contains(QChar(0x2026)),
                 qPrintable(text->toPlainText()));
        const QRectF box = text->sceneBoundingRect();
        for (const QRectF& other : std::as_const(box.top() >= plot.bottom() ? below : left))
            QVERIFY2(!other.intersects(box), qPrintable(text->toPlainText()));
        (box.top() >= plot.bottom() ? below : left).append(box);
    }
    QVERIFY2(below.size() >= 2, qPrintable(QString::number(below.size())));
    QVERIFY2(left.size() >= 2, qPrintable(QString::number(left.size())));
}

void tst_GraphChart::rangeChangePicksTickStep() {
    GraphChart chart;
    chart.xAxis()->setRange(0.0, 0.6);
    QCOMPARE(chart.xAxis()->tickInterval(), 0.1);
    QCOMPARE(chart.xAxis()->labelFormat(), QStringLiteral("%.1f"));
    chart.setYRange(-1.0, 1e12);
    QCOMPARE(chart.yAxis()->tickInterval(), 1e11);
    QCOMPARE(chart.yAxis()->labelFormat(), QStringLiteral("%.0f"));
    QCOMPARE(chart.yReferenceSpan(), 1e12 + 1.0);
    // Zooming changes the visible range, not the reference.
    chart.yAxis()->setRange(0.0, 0.35);
    QCOMPARE(chart.yAxis()->labelFormat(), QStringLiteral("%.2f"));
    QCOMPARE(chart.yReferenceSpan(), 1e12 + 1.0);
}

void tst_GraphChart::axesStartAsDescribed() {
    GraphChart chart;
    GraphAxis* x = chart.xAxis();
    GraphAxis* y = chart.yAxis();
    QVERIFY(x->isReverse());
    QVERIFY(!y->isReverse());
    QCOMPARE(x->alignment(), Qt::AlignBottom);
    QCOMPARE(y->alignment(), Qt::AlignLeft);
    QCOMPARE(x->min(), -0.1);
    QCOMPARE(x->max(), 0.2);
    QCOMPARE(x->tickInterval(), 0.05);
    QCOMPARE(x->labelFormat(), QStringLiteral("%.2f"));
    QCOMPARE(y->min(), -0.1);
    QCOMPARE(y->max(), 10.0);
    QCOMPARE(y->tickInterval(), 1.0);
    QCOMPARE(y->labelFormat(), QStringLiteral("%.1f"));
    QCOMPARE(x->minorTickCount(), 4);
    QCOMPARE(chart.xReferenceSpan(), 0.3);
    QVERIFY(!chart.legend()->isVisible());
}

void tst_GraphChart::minorGridStaysFaintUnderEveryTheme() {
    GraphChart chart;
    for (QChart::ChartTheme theme :
         {QChart::ChartThemeDark, QChart::ChartThemeLight, QChart::ChartThemeBlueIcy}) {
        chart.setTheme(theme);
        QCOMPARE(chart.xAxis()->minorGridLinePen().color().alpha(), GraphAxis::kMinorGridAlpha);
        QCOMPARE(chart.yAxis()->minorGridLinePen().color().alpha(), GraphAxis::kMinorGridAlpha);
    }
    chart.xAxis()->setMinorGridLinePen(QPen(QColor(10, 20, 30)));
    QCOMPARE(chart.xAxis()->minorGridLinePen().color(), QColor(10, 20, 30, GraphAxis::kMinorGridAlpha));
}

void tst_GraphChart::autoscaleRanges_data() {
    QTest::addColumn<QList<QList<QPointF>>>("traces");
    QTest::addColumn<double>("start"); // NaN: the largest starting position of the traces
    QTest::addColumn<double>("yMax");
    QTest::newRow("one stroke") << QList<QList<QPointF>>{stroke(0.2, 0.0, 50.0)} << kNaN << 55.0;
    QTest::newRow("largest of each") << QList<QList<QPointF>>{stroke(0.2, 0.0, 50.0), stroke(0.3, 0.1, 20.0)}
                                     << kNaN << 55.0;
    QTest::newRow("small force keeps 10") << QList<QList<QPointF>>{stroke(0.2, 0.0, 9.0)} << kNaN << 10.0;
    // A largest starting position of zero or less falls back on the largest x of the points.
    QTest::newRow("start at zero uses largest x")
        << QList<QList<QPointF>>{{{0.0, 0.0}, {0.4, 5.0}, {-0.1, 6.0}}} << 0.4 << 10.0;
    QTest::newRow("all positions negative uses 1")
        << QList<QList<QPointF>>{{{-0.4, 0.0}, {-0.5, 5.0}}} << 1.0 << 10.0;
    QTest::newRow("no points uses 1") << QList<QList<QPointF>>{{}} << 1.0 << 10.0;
}

void tst_GraphChart::autoscaleRanges() {
    QFETCH(QList<QList<QPointF>>, traces);
    QFETCH(double, start);
    QFETCH(double, yMax);
    Rig rig;
    double largestStart = 0.0;
    for (const QList<QPointF>& points : traces) {
        Graph* graph = rig.active.addGraphFromPress(points, true);
        largestStart = std::max(largestStart, graph->data(Imperial).startingPosition());
    }
    if (std::isnan(start)) {
        QVERIFY(largestStart > 0.0);
        start = largestStart;
    } else {
        QCOMPARE(largestStart, 0.0);
    }
    QVERIFY(std::abs(rig.xMin() + 0.01 * start) < 1e-9);
    QVERIFY2(std::abs(rig.xMax() - 1.1 * start) < 1e-9, qPrintable(QString::number(rig.xMax())));
    QVERIFY(std::abs(rig.yMax() - yMax) < 1e-9);
    QVERIFY(std::abs(rig.yMin() + 0.01 * yMax) < 1e-9);
    // Hidden traces count too.
    rig.active.graphs().first()->setVisible(false);
    rig.visualization->updateAxies();
    QVERIFY(std::abs(rig.yMax() - yMax) < 1e-9);
}

void tst_GraphChart::autoscaleWithoutSeriesKeepsAxes() {
    Rig rig;
    rig.chart()->xAxis()->setRange(1.0, 2.0);
    rig.visualization->updateAxies();
    QCOMPARE(rig.xMin(), 1.0);
    QCOMPARE(rig.xMax(), 2.0);
}

void tst_GraphChart::coloursAndWidths() {
    Rig rig;
    Graph* first = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    first->setColor(QColor(Qt::magenta));
    Graph* second = rig.active.addGraphFromPress(stroke(0.2, 0.0, 40.0), true);
    GraphSeries* a = rig.series(first);
    GraphSeries* b = rig.series(second);

    // The newest stroke is latest and selected: green wins over red, 3 px.
    QVERIFY(b->isLatest() && b->isSelected());
    QCOMPARE(b->color(), QColor(Qt::green));
    QCOMPARE(b->pen().widthF(), 3.0);
    // The older one is neither: its own colour, 2 px.
    QVERIFY(!a->isLatest() && !a->isSelected());
    QCOMPARE(a->color(), QColor(Qt::magenta));
    QCOMPARE(a->pen().widthF(), 2.0);

    // Selecting the older one leaves the latest red and 2 px.
    rig.visualization->setSelectedGraph(first);
    QCOMPARE(a->color(), QColor(Qt::green));
    QCOMPARE(a->pen().widthF(), 3.0);
    QCOMPARE(b->color(), QColor(Qt::red));
    QCOMPARE(b->pen().widthF(), 2.0);

    // Unselected again: back to its own colour, and a colour change of the trace shows at once.
    rig.visualization->setSelectedGraph(nullptr);
    QCOMPARE(a->color(), QColor(Qt::magenta));
    first->setColor(Graph::defaultColor());
    QCOMPARE(a->color(), rig.active.defaultGraphColor());
    first->setVisible(false);
    QVERIFY(!a->isVisible());
}

void tst_GraphChart::loadedTraceNeverTurnsRed() {
    Rig rig;
    GraphContainer compare(false, nullptr);
    compare.restoreFromJson(QJsonObject{}); // empty, then add loaded traces below
    rig.model.addCompareContainer(&compare);
    rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    QJsonObject file;
    file.insert(QStringLiteral("Graphs"), QJsonArray{rig.active.graphs().first()->toJson()});
    compare.restoreFromJson(file);
    QCOMPARE(compare.graphs().size(), 1);
    GraphSeries* loaded = rig.series(compare.graphs().first());
    QVERIFY(loaded);
    QVERIFY(!loaded->isLatest());
    // The bulk load selected it; once unselected it shows its file's colour, not red.
    rig.visualization->setSelectedGraph(nullptr);
    QCOMPARE(loaded->color(), compare.defaultGraphColor());
}

void tst_GraphChart::gradientShowsLatestInItsGradientColour() {
    Rig rig;
    Graph* older = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    Graph* latest = rig.active.addGraphFromPress(stroke(0.2, 0.0, 40.0), true);
    rig.visualization->setSelectedGraph(older);
    GraphSeries* series = rig.series(latest);
    QCOMPARE(series->color(), QColor(Qt::red));
    rig.active.applyMeasurementColors(PeakForce);
    QVERIFY(latest->gradientColor().isValid());
    QCOMPARE(series->color(), latest->effectiveColor());
}

void tst_GraphChart::darkModeKeepsTraceColours() {
    Rig rig;
    Graph* older = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    older->setColor(QColor(Qt::darkCyan));
    Graph* latest = rig.active.addGraphFromPress(stroke(0.2, 0.0, 40.0), true);
    for (bool dark : {true, false}) {
        rig.view->setDarkMode(dark);
        QCOMPARE(rig.chart()->theme(), dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
        QCOMPARE(rig.series(older)->color(), QColor(Qt::darkCyan));
        QCOMPARE(rig.series(older)->pen().widthF(), 2.0);
        QCOMPARE(rig.series(latest)->color(), QColor(Qt::green));
        QCOMPARE(rig.series(latest)->pen().widthF(), 3.0);
    }
}

void tst_GraphChart::selectionFollowsLegendAndLegendFollowsChart() {
    Rig rig;
    Graph* first = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    Graph* second = rig.active.addGraphFromPress(stroke(0.2, 0.0, 40.0), true);
    QStandardItemModel legend;
    addLegendRows(legend, &rig.active);
    QItemSelectionModel selection(&legend);
    rig.visualization->setSelectionModel(&selection);

    // Legend → chart: a row of the trace, in any column.
    const QModelIndex firstRow = legend.item(0)->child(0)->index();
    selection.setCurrentIndex(firstRow.siblingAtColumn(1), QItemSelectionModel::ClearAndSelect);
    QCOMPARE(rig.chart()->selectedSeries(), rig.series(first));
    // A container row clears the chart's selection.
    selection.setCurrentIndex(legend.index(0, 0), QItemSelectionModel::ClearAndSelect);
    QCOMPARE(rig.chart()->selectedSeries(), nullptr);

    // Chart → legend: the trace's row becomes current and selected.
    rig.visualization->setSelectedGraph(second);
    QCOMPARE(selection.currentIndex(), legend.item(0)->child(1)->index());
    QVERIFY(selection.isRowSelected(1, legend.index(0, 0)));
    QVERIFY(!selection.isRowSelected(0, legend.index(0, 0)));
    rig.visualization->setSelectedGraph(nullptr);
    QVERIFY(!selection.currentIndex().isValid());
    QVERIFY(!selection.hasSelection());
}

void tst_GraphChart::selectingTheSelectedTraceLeavesLegendAlone() {
    Rig rig;
    Graph* graph = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    QStandardItemModel legend;
    addLegendRows(legend, &rig.active);
    QItemSelectionModel selection(&legend);
    rig.visualization->setSelectionModel(&selection);
    // The user selected another row by hand without changing the current trace.
    selection.select(legend.index(0, 0), QItemSelectionModel::Select);
    QSignalSpy changed(&selection, &QItemSelectionModel::selectionChanged);
    rig.visualization->setSelectedGraph(graph); // already selected (from the press)
    QCOMPARE(changed.count(), 0);
}

void tst_GraphChart::selectedLineIsDrawnLast() {
    // Two traces on the same points: whichever line is drawn last colours the pixels they share.
    Rig rig;
    Graph* first = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    Graph* second = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    const QList<QAbstractSeries*> order = rig.chart()->series();
    rig.view->show();
    const QPointF onLine(0.1, 15.0);
    auto colourOnLine = [&]() {
        QCoreApplication::processEvents();
        const QImage image = rig.view->grab().toImage();
        const QPoint pixel = rig.view->mapFromScene(rig.chart()->mapToPosition(onLine, rig.series(first)));
        return image.pixelColor(pixel);
    };
    auto isGreen = [](const QColor& c) {
        return c.green() > 150 && c.red() < 100;
    };
    auto isRed = [](const QColor& c) {
        return c.red() > 150 && c.green() < 100;
    };

    rig.visualization->setSelectedGraph(first); // the second stays latest (red), drawn after the first
    QVERIFY2(isGreen(colourOnLine()), qPrintable(colourOnLine().name()));
    rig.visualization->setSelectedGraph(second);
    rig.visualization->setSelectedGraph(nullptr); // red over the first's own colour again
    QVERIFY2(isRed(colourOnLine()), qPrintable(colourOnLine().name()));
    rig.visualization->setSelectedGraph(first);
    QVERIFY2(isGreen(colourOnLine()), qPrintable(colourOnLine().name()));
    // The lines stay on the chart as they were added, on both axes.
    QCOMPARE(rig.chart()->series(), order);
    QCOMPARE(rig.series(first)->attachedAxes().size(), 2);
}

void tst_GraphChart::selectingLeavesNoSecondDrawingOfALine() {
    // Taking a line off the chart and adding it again (to draw it on top) left its old drawing item in
    // the scene until the event loop deleted it, still following its line: a later pen change showed it
    // again, and painted after the line had gone it read freed memory (a crash after Remove Plot, Undo,
    // Clear Last Plot and Undo). Every drawing item in the scene is a line's own, at every moment.
    Rig rig;
    rig.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.view.get()));
    for (int i = 0; i < 3; ++i)
        rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0 + 10 * i), true);
    flushDeletions();
    const auto lineItems = [&](bool visibleOnly = false) {
        int count = 0;
        const auto items = rig.view->scene()->items();
        for (const QGraphicsItem* item : items) {
            const bool line = item->toGraphicsObject() && (item->flags() & QGraphicsItem::ItemIsSelectable);
            count += line && (item->isVisible() || !visibleOnly) ? 1 : 0;
        }
        return count;
    };
    QCOMPARE(lineItems(), 3);
    // No deferred deletion runs from here on, as within one command.
    Graph* second = rig.active.graphs().at(1);
    rig.visualization->setSelectedGraph(second);
    QCOMPARE(lineItems(), 3);
    rig.visualization->setSelectedGraph(rig.active.graphs().at(0));
    QCOMPARE(lineItems(), 3);
    rig.active.removeGraph(second);
    flushDeletions();
    rig.view->viewport()->repaint();
    QCOMPARE(lineItems(true), 2);
    QCOMPARE(rig.chart()->series().size(), 2);
}

void tst_GraphChart::chartClickClearsSelection() {
    Rig rig;
    rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    QVERIFY(rig.chart()->selectedSeries());
    emit rig.chart()->clicked(QPointF(5, 5));
    QCOMPARE(rig.chart()->selectedSeries(), nullptr);
}

void tst_GraphChart::bulkLoadSelectsLastTrace() {
    Rig rig;
    GraphContainer source(true, nullptr);
    source.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    source.addGraphFromPress(stroke(0.4, 0.0, 80.0), true);
    rig.active.restoreFromJson(source.toJson());
    QCOMPARE(rig.chart()->series().size(), 2);
    QCOMPARE(rig.chart()->selectedSeries()->graph(), rig.active.graphs().last());
    QVERIFY(!rig.chart()->selectedSeries()->isLatest());
    QVERIFY(std::abs(rig.yMax() - 88.0) < 1e-9);
}

void tst_GraphChart::seriesFollowsTraceDestructionWithoutAbort() {
    Rig rig;
    Graph* first = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    rig.active.addGraphFromPress(stroke(0.2, 0.0, 40.0), true);
    QPointer<GraphSeries> series = rig.series(first);
    rig.active.removeGraph(first);
    flushDeletions(); // the trace, then the series that followed it
    flushDeletions();
    QVERIFY(series.isNull());
    QCOMPARE(rig.chart()->series().size(), 1);
    // Clearing everything, as Clear All Plots does, then deleting the rig, as shutdown does.
    rig.model.clear();
    flushDeletions();
    flushDeletions();
    QCOMPARE(rig.chart()->series().size(), 0);
    rig.active.addGraphFromPress(stroke(0.2, 0.0, 40.0), true);
}

void tst_GraphChart::visualizationDestroyedBeforeChart() {
    GraphModel model;
    GraphContainer active(true, nullptr);
    model.setActiveSessionContainer(&active);
    active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    GraphView view;
    {
        GraphVisualization visualization(&model, &view);
        QCOMPARE(view.chart()->series().size(), 1);
    }
    QCOMPARE(view.chart()->series().size(), 0);
    // The trace outlives both: its destruction must not reach a deleted series.
    active.clear();
    flushDeletions();
}

void tst_GraphChart::unitSwitchReplacesPointsAndTitles() {
    Rig rig;
    Graph* graph = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    GraphSeries* series = rig.series(graph);
    QCOMPARE(rig.chart()->xAxis()->titleText(), QStringLiteral("inch"));
    QCOMPARE(rig.chart()->yAxis()->titleText(), QStringLiteral("lbs"));
    rig.visualization->setUnits(Metric);
    QCOMPARE(series->units(), Metric);
    QCOMPARE(series->points(), graph->data(Metric).points());
    QCOMPARE(rig.chart()->xAxis()->titleText(), QStringLiteral("mm"));
    QCOMPARE(rig.chart()->yAxis()->titleText(), QStringLiteral("kg"));
    // Axes fitted again in millimetres and kilograms.
    QVERIFY(std::abs(rig.xMax() - 1.1 * graph->data(Metric).startingPosition()) < 1e-9);
    QVERIFY(std::abs(rig.yMax() - std::max(10.0, 1.1 * graph->data(Metric).peakForce())) < 1e-9);
    // Traces that arrive now come in millimetres too.
    Graph* next = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    QCOMPARE(rig.series(next)->points(), next->data(Metric).points());
}

void tst_GraphChart::nonFiniteAndHugeCoordinatesDrawBounded() {
    // As a damaged or hostile session file might hold them.
    Rig rig;
    rig.view->show();
    QJsonObject trace;
    trace.insert(QStringLiteral("X Values"), QJsonArray{0.5, 1e300, 0.2, 0.0, -1e300});
    trace.insert(QStringLiteral("Y Values"), QJsonArray{0.0, 5.0, 1e12, 3.0, 2.0});
    trace.insert(QStringLiteral("Units"), QStringLiteral("Imperial"));
    trace.insert(QStringLiteral("Show"), true);
    QJsonObject file;
    file.insert(QStringLiteral("Graphs"), QJsonArray{trace});
    rig.active.restoreFromJson(file);
    QVERIFY(std::isfinite(rig.xMax()) && std::isfinite(rig.yMax()) && rig.yMin() < rig.yMax());
    QVERIFY(std::abs(rig.yMax()) / rig.chart()->yAxis()->tickInterval() < 20);
    // NaN and infinite coordinates cannot come through JSON: record them directly.
    Graph* graph = rig.active.addGraphFromPress({{0.3, kNaN}, {kInf, 2.0}, {0.1, 4.0}, {0.0, -kInf}}, true);
    QVERIFY(std::isfinite(rig.xMin()) && std::isfinite(rig.xMax()) && rig.xMin() < rig.xMax());
    QVERIFY(std::isfinite(rig.yMin()) && std::isfinite(rig.yMax()) && rig.yMin() < rig.yMax());
    QCOMPARE(rig.series(graph)->count(), 1);
    rig.visualization->setUnits(Metric);
    QCOMPARE(rig.series(graph)->count(), 1);
    rig.active.addGraphFromPress({{1e300, 1e300}, {0.0, 0.0}}, true);
    QVERIFY(std::isfinite(rig.xMax()) && std::isfinite(rig.yMax()));
    QVERIFY(std::abs(rig.xMax()) / rig.chart()->xAxis()->tickInterval() < 20);
    QImage image(rig.view->size(), QImage::Format_ARGB32);
    QPainter painter(&image);
    rig.view->render(&painter);
}

void tst_GraphChart::wheelZoomStopsAtItsLimits() {
    Rig rig;
    rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    rig.view->show();
    const double reference = rig.chart()->xReferenceSpan();
    const QPointF centre = rig.chart()->plotArea().center();
    const auto wheel = [&](int delta) {
        QWheelEvent event(centre, rig.view->mapToGlobal(centre.toPoint()), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(rig.view->viewport(), &event);
        return std::abs(rig.xMax() - rig.xMin());
    };
    double span = reference;
    int steps = 0;
    for (; steps < 20; ++steps) {
        const double next = wheel(120);
        if (std::abs(next - span) < 1e-12)
            break;
        span = next;
    }
    // 0.5^6 = 0.0156 is the last ratio at or above 1 %.
    QCOMPARE(steps, 6);
    QVERIFY(span >= 0.01 * reference * 0.999);
    for (steps = 0; steps < 20; ++steps) {
        const double next = wheel(-120);
        if (std::abs(next - span) < 1e-12)
            break;
        span = next;
    }
    QVERIFY(span <= 10 * reference * 1.001);
    QVERIFY(span >= 5 * reference);
    // A wheel without vertical motion zooms nothing.
    QCOMPARE(wheel(0), span);
}

void tst_GraphChart::wheelZoomKeepsValueUnderPointer() {
    Rig rig;
    rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    rig.view->show();
    const QRectF plot = rig.chart()->plotArea();
    const QPointF pointer(plot.left() + plot.width() * 0.3, plot.top() + plot.height() * 0.6);
    const QPointF before = rig.chart()->mapToValue(pointer);
    QWheelEvent event(pointer, rig.view->mapToGlobal(pointer.toPoint()), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(rig.view->viewport(), &event);
    const QPointF after = rig.chart()->mapToValue(pointer);
    QVERIFY(std::abs(rig.xMax() - rig.xMin()) < 0.6 * rig.chart()->xReferenceSpan());
    QVERIFY2(std::abs(after.x() - before.x()) < 0.01 * rig.chart()->xReferenceSpan(),
             qPrintable(QStringLiteral("%1 -> %2").arg(before.x()).arg(after.x())));
    QVERIFY(std::abs(after.y() - before.y()) < 0.01 * rig.chart()->yReferenceSpan());
}

void tst_GraphChart::dragPansTheChart() {
    Rig rig;
    rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    rig.view->show();
    const QPoint start = rig.chart()->plotArea().center().toPoint();
    const double referenceSpan = rig.chart()->xReferenceSpan();
    const QPointF valueAtStart = rig.chart()->mapToValue(start);
    QTest::mousePress(rig.view->viewport(), Qt::LeftButton, Qt::NoModifier, start);
    const QPoint end = start + QPoint(60, 40);
    QMouseEvent move(QEvent::MouseMove, end, rig.view->viewport()->mapToGlobal(end), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(rig.view->viewport(), &move);
    QTest::mouseRelease(rig.view->viewport(), Qt::LeftButton, Qt::NoModifier, end);
    // The value that was under the pointer moved with it.
    const QPointF valueAtEnd = rig.chart()->mapToValue(end);
    QVERIFY2(std::abs(valueAtEnd.x() - valueAtStart.x()) < 0.02 * rig.chart()->xReferenceSpan(),
             qPrintable(QStringLiteral("%1 vs %2").arg(valueAtEnd.x()).arg(valueAtStart.x())));
    QVERIFY(std::abs(valueAtEnd.y() - valueAtStart.y()) < 0.02 * rig.chart()->yReferenceSpan());
    // Only the visible range moved.
    QCOMPARE(rig.chart()->xReferenceSpan(), referenceSpan);
    QVERIFY(std::abs(rig.xMax() - rig.xMin() - referenceSpan) < 1e-9);
}

void tst_GraphChart::cursorReadOut() {
    Rig rig;
    rig.view->show();
    QSignalSpy changed(rig.view.get(), &GraphView::cursorValueChanged);
    const QPoint inside = rig.chart()->plotArea().center().toPoint();
    // No series yet: inside the plot the value stays (NaN, NaN), so nothing is announced.
    QTest::mouseMove(rig.view->viewport(), inside);
    QCOMPARE(changed.count(), 0);

    rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    QTest::mouseMove(rig.view->viewport(), inside + QPoint(1, 0));
    QCOMPARE(changed.count(), 1);
    const QPointF value = changed.last().first().toPointF();
    const QPointF expected = rig.chart()->mapToValue(inside + QPoint(1, 0));
    QVERIFY(std::abs(value.x() - expected.x()) < 1e-9);
    QVERIFY(std::abs(value.y() - expected.y()) < 1e-9);
    QCOMPARE(rig.view->viewport()->cursor().shape(), Qt::CrossCursor);

    // Leaving the plot area: one (NaN, NaN), then silence while outside.
    QTest::mouseMove(rig.view->viewport(), QPoint(2, 2));
    QCOMPARE(changed.count(), 2);
    QVERIFY(std::isnan(changed.last().first().toPointF().x()));
    QTest::mouseMove(rig.view->viewport(), QPoint(3, 3));
    QCOMPARE(changed.count(), 2);
    QVERIFY(!rig.view->viewport()->testAttribute(Qt::WA_SetCursor));

    // Leaving the chart straight from inside the plot (a quick move onto a button next to it) clears
    // the value too; no move outside the plot is ever seen then.
    QTest::mouseMove(rig.view->viewport(), inside);
    QCOMPARE(changed.count(), 3);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(rig.view.get(), &leave);
    QCOMPARE(changed.count(), 4);
    QVERIFY(std::isnan(changed.last().first().toPointF().x()));
    QVERIFY(!rig.view->viewport()->testAttribute(Qt::WA_SetCursor));
}

void tst_GraphChart::pressNeverCrashes_data() {
    QTest::addColumn<QString>("where");
    QTest::newRow("on a line") << QStringLiteral("line");
    QTest::newRow("empty plot area") << QStringLiteral("plot");
    QTest::newRow("chart margin") << QStringLiteral("margin");
    QTest::newRow("no item under the pointer") << QStringLiteral("outside");
}

void tst_GraphChart::pressNeverCrashes() {
    QFETCH(QString, where);
    Rig rig;
    Graph* graph = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    rig.view->show();
    rig.visualization->setSelectedGraph(nullptr);
    QPoint position;
    if (where == QStringLiteral("line")) {
        position = rig.chart()->mapToPosition(graph->data(Imperial).points().at(30)).toPoint();
    } else if (where == QStringLiteral("plot")) {
        position = rig.chart()->mapToPosition(QPointF(0.25, 25.0)).toPoint();
    } else if (where == QStringLiteral("margin")) {
        position = QPoint(3, 3);
    } else {
        // Shrink the chart so part of the view has no item at all.
        rig.chart()->resize(200, 150);
        position = QPoint(rig.view->width() - 5, rig.view->height() - 5);
        QVERIFY(!rig.view->itemAt(position));
    }
    QTest::mouseClick(rig.view->viewport(), Qt::LeftButton, Qt::NoModifier, position);
    QTest::mouseClick(rig.view->viewport(), Qt::RightButton, Qt::NoModifier, position);
    if (where == QStringLiteral("line"))
        QCOMPARE(rig.chart()->selectedSeries(), rig.series(graph));
    else
        QCOMPARE(rig.chart()->selectedSeries(), nullptr);
}

QTEST_MAIN(tst_GraphChart)
#include "tst_graphchart.moc"
