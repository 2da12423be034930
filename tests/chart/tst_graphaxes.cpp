#include "ChartRig.h"

#include <QTest>

class tst_GraphAxes : public QObject {
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

    void wheelZoomStopsAtItsLimits();
    void wheelZoomKeepsValueUnderPointer();
    void dragPansTheChart();
    void cursorReadOut();
};

void tst_GraphAxes::tickStepForSpan_data() {
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

void tst_GraphAxes::tickStepForSpan() {
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

void tst_GraphAxes::tickStepGrowsUntilLabelsFit_data() {
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

void tst_GraphAxes::tickStepGrowsUntilLabelsFit() {
    QFETCH(double, span);
    QFETCH(double, smallestFitting);
    QFETCH(double, step);
    QFETCH(int, decimals);
    const GraphChart::TickStep tick = GraphChart::tickStepFor(
        span, [smallestFitting](const GraphChart::TickStep& t) { return t.step >= smallestFitting; });
    QCOMPARE(tick.step, step);
    QCOMPARE(tick.decimals, decimals);
}

void tst_GraphAxes::axisLabelsAreNeverCutShort_data() {
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
void tst_GraphAxes::axisLabelsAreNeverCutShort() {
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

void tst_GraphAxes::rangeChangePicksTickStep() {
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

void tst_GraphAxes::axesStartAsDescribed() {
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

void tst_GraphAxes::minorGridStaysFaintUnderEveryTheme() {
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

void tst_GraphAxes::autoscaleRanges_data() {
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

void tst_GraphAxes::autoscaleRanges() {
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

void tst_GraphAxes::autoscaleWithoutSeriesKeepsAxes() {
    Rig rig;
    rig.chart()->xAxis()->setRange(1.0, 2.0);
    rig.visualization->updateAxies();
    QCOMPARE(rig.xMin(), 1.0);
    QCOMPARE(rig.xMax(), 2.0);
}

void tst_GraphAxes::wheelZoomStopsAtItsLimits() {
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

void tst_GraphAxes::wheelZoomKeepsValueUnderPointer() {
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

void tst_GraphAxes::dragPansTheChart() {
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

void tst_GraphAxes::cursorReadOut() {
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

QTEST_MAIN(tst_GraphAxes)
#include "tst_graphaxes.moc"
