#include "chart/GraphAxis.h"
#include "chart/GraphChart.h"
#include "chart/GraphModel.h"
#include "chart/GraphSeries.h"
#include "chart/GraphView.h"
#include "chart/GraphVisualization.h"
#include "chart/LiveStroke.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"

#include <QGraphicsScene>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// A stroke in inches and pounds as the press procedure records it: position falling, force rising.
QList<QPointF> recorded(int count) {
    QList<QPointF> points;
    for (int i = 0; i < count; ++i)
        points.append({0.3 - i * 0.0003, i < count / 3 ? 0.01 * i : 0.2 * i});
    return points;
}

struct Rig {
    GraphModel model;
    GraphContainer active{true, nullptr};
    std::unique_ptr<GraphView> view;
    std::unique_ptr<GraphVisualization> visualization;
    std::unique_ptr<LiveStroke> live;

    Rig() {
        model.setActiveSessionContainer(&active);
        view = std::make_unique<GraphView>();
        view->resize(800, 500);
        visualization = std::make_unique<GraphVisualization>(&model, view.get());
        live = std::make_unique<LiveStroke>(view.get());
    }
    ~Rig() {
        live.reset();
        visualization.reset();
        view.reset();
    }
    GraphChart* chart() const { return view->chart(); }
    bool lineShown() const { return live->layer() && live->layer()->isVisible(); }
    void show() {
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    }
};

} // namespace

class tst_LiveStroke : public QObject {
    Q_OBJECT
private slots:
    void pointsArrivingTogetherAreDrawnInOneFrame_data();
    void pointsArrivingTogetherAreDrawnInOneFrame();
    void drawsWhereTheTraceWillBeInItsColour();
    void clearTakesTheLineOffAndTheNextStrokeStartsAfresh();
    void chartChangesDuringTheStrokeAreShown();
    void framesKeepComingWhilePointsArriveFasterThanTheFrameRate();
    void firstStrokeOfAnEmptyChartFitsTheAxesOtherwiseTheyStay();
    void goesSafelyWhicheverOfItAndTheChartGoesFirst();
};

void tst_LiveStroke::pointsArrivingTogetherAreDrawnInOneFrame_data() {
    QTest::addColumn<int>("units");
    QTest::newRow("imperial") << int(Imperial);
    QTest::newRow("metric") << int(Metric);
}

void tst_LiveStroke::pointsArrivingTogetherAreDrawnInOneFrame() {
    QFETCH(int, units);
    Rig rig;
    rig.show();
    rig.live->setUnits(Units(units));
    const QList<QPointF> points = recorded(500);
    for (const QPointF& point : points)
        rig.live->addPoint(point);
    // Nothing is drawn per point: the frame comes once control is back in the event loop.
    QVERIFY(rig.live->isDrawing());
    QCOMPARE(rig.live->frameCount(), 0);
    QCOMPARE(rig.live->drawnPointCount(), 0);
    QTRY_COMPARE(rig.live->drawnPointCount(), 500);
    QCOMPARE(rig.live->frameCount(), 1);
    QVERIFY(rig.lineShown());
    QCOMPARE(rig.live->points(), points);

    // The line's points are the recorded ones, converted exactly as a trace converts them.
    Graph trace;
    trace.setPoints(points, true);
    QCOMPARE(rig.live->drawnPoints(), trace.data(Units(units)).points());

    // A units switch while drawing shows the same line in the other system.
    const Units other = units == Imperial ? Metric : Imperial;
    rig.live->setUnits(other);
    QCOMPARE(rig.live->drawnPoints(), trace.data(other).points());

    // More points: one more frame.
    rig.live->addPoint({0.1, 99.0});
    rig.live->addPoint({0.09, 100.0});
    QTRY_COMPARE(rig.live->drawnPointCount(), 502);
    QCOMPARE(rig.live->frameCount(), 2);
}

void tst_LiveStroke::drawsWhereTheTraceWillBeInItsColour() {
    Rig rig;
    rig.show();
    // A trace on the chart fixes the axes; the live stroke runs level through the middle of them.
    rig.active.addGraphFromPress({{0.4, 0.0}, {0.2, 10.0}, {0.0, 40.0}}, true);
    rig.visualization->setSelectedGraph(nullptr);
    QList<QPointF> level;
    for (int i = 0; i <= 100; ++i)
        level.append({0.35 - i * 0.003, 25.0});
    for (const QPointF& point : level)
        rig.live->addPoint(point);
    QTRY_COMPARE(rig.live->drawnPointCount(), 101);
    // The frame is painted once the window repaints.
    QTRY_VERIFY(rig.lineShown());

    const QImage image = rig.view->viewport()->grab().toImage();
    for (const QPointF& value : {level.at(10), level.at(50), level.at(90)}) {
        // Where Qt Charts itself puts that value.
        const QPointF inChart = rig.chart()->mapToPosition(value);
        const QPoint at = rig.view->mapFromScene(rig.chart()->mapToScene(inChart));
        QCOMPARE(image.pixelColor(at * image.devicePixelRatio()).rgb(), rig.live->color().rgb());
    }

    // The trace that follows gets that colour and width.
    Graph* graph = rig.active.addGraphFromPress(level, true);
    GraphSeries* traceSeries = rig.visualization->seriesFor(graph);
    QCOMPARE(traceSeries->color(), rig.live->color());
    QCOMPARE(traceSeries->pen().widthF(), rig.live->width());
}

void tst_LiveStroke::clearTakesTheLineOffAndTheNextStrokeStartsAfresh() {
    Rig rig;
    for (const QPointF& point : recorded(50))
        rig.live->addPoint(point);
    QTRY_COMPARE(rig.live->drawnPointCount(), 50);
    QVERIFY(!rig.live->layer()->isHidden());

    // Points pending when the stroke ends are never drawn.
    rig.live->addPoint({0.0, 50.0});
    rig.live->clear();
    QVERIFY(!rig.live->isDrawing());
    QVERIFY(rig.live->layer()->isHidden());
    QVERIFY(rig.live->points().isEmpty());
    QCOMPARE(rig.live->drawnPointCount(), 0);
    rig.live->clear(); // twice is harmless

    // The next stroke's line holds its own points only.
    const int frames = rig.live->frameCount();
    rig.live->addPoint({0.3, 0.5});
    QTRY_COMPARE(rig.live->frameCount(), frames + 1);
    QCOMPARE(rig.live->drawnPoints(), QList<QPointF>{QPointF(0.3, 0.5)});
    QVERIFY(!rig.live->layer()->isHidden());
}

void tst_LiveStroke::chartChangesDuringTheStrokeAreShown() {
    Rig rig;
    rig.show();
    {
        // The chart announces the new trace's line from the event loop; that must not land after the
        // first picture (it would count as a change under the stroke).
        QSignalSpy sceneChanged(rig.view->scene(), &QGraphicsScene::changed);
        rig.active.addGraphFromPress(recorded(200), true);
        QTRY_VERIFY(sceneChanged.count() > 0);
        // The chart settles over a few passes of the event loop (the line, then the axes' labels); on a
        // busy machine they may be far apart.
        for (int seen = -1; seen != sceneChanged.count();) {
            seen = int(sceneChanged.count());
            QTest::qWait(250);
        }
    }
    rig.live->addPoint({0.3, 1.0});
    QTRY_COMPARE(rig.live->frameCount(), 1);
    QCOMPARE(rig.live->pictureCount(), 1);
    // More of the stroke: the picture of the chart is reused.
    rig.live->addPoint({0.29, 2.0});
    QTRY_COMPARE(rig.live->frameCount(), 2);
    QCOMPARE(rig.live->pictureCount(), 1);
    // The chart changes under the line (here its theme): a new picture.
    rig.view->setDarkMode(true);
    QTRY_COMPARE(rig.live->pictureCount(), 2);
    // So does a resize.
    rig.view->resize(700, 400);
    QTRY_COMPARE(rig.live->pictureCount(), 3);
    QCOMPARE(rig.live->layer()->geometry(), rig.view->viewport()->rect());
}

void tst_LiveStroke::framesKeepComingWhilePointsArriveFasterThanTheFrameRate() {
    // The press sends a sample every few milliseconds, far more often than a frame is drawn: each point
    // must not put the next frame off, or nothing is drawn until the stroke ends.
    Rig rig;
    rig.show();
    const QList<QPointF> points = recorded(60);
    int fed = 0;
    int framesWhileFeeding = 0;
    QTimer feeder;
    feeder.setInterval(5);
    connect(&feeder, &QTimer::timeout, this, [&] {
        rig.live->addPoint(points.at(fed++));
        if (fed == points.size()) {
            feeder.stop();
            framesWhileFeeding = rig.live->frameCount();
        }
    });
    feeder.start();
    QTRY_COMPARE_WITH_TIMEOUT(fed, points.size(), 20000);
    QVERIFY2(framesWhileFeeding >= 2, qPrintable(QString::number(framesWhileFeeding)));
}

void tst_LiveStroke::firstStrokeOfAnEmptyChartFitsTheAxesOtherwiseTheyStay() {
    {
        Rig rig;
        rig.live->addPoint({0.25, 0.0});
        rig.live->addPoint({0.05, 40.0});
        QTRY_COMPARE(rig.live->drawnPointCount(), 2);
        // The autoscale rule with the largest position standing in for the starting position.
        QCOMPARE(rig.chart()->xAxis()->max(), 1.1 * 0.25);
        QCOMPARE(rig.chart()->xAxis()->min(), -0.01 * 0.25);
        QCOMPARE(rig.chart()->yAxis()->max(), 1.1 * 40.0);
    }
    {
        Rig rig;
        rig.active.addGraphFromPress({{0.1, 0.0}, {0.05, 5.0}}, true);
        const double xMax = rig.chart()->xAxis()->max();
        const double yMax = rig.chart()->yAxis()->max();
        rig.live->addPoint({0.25, 0.0});
        rig.live->addPoint({0.05, 40.0});
        QTRY_COMPARE(rig.live->drawnPointCount(), 2);
        QCOMPARE(rig.chart()->xAxis()->max(), xMax);
        QCOMPARE(rig.chart()->yAxis()->max(), yMax);
    }
}

void tst_LiveStroke::goesSafelyWhicheverOfItAndTheChartGoesFirst() {
    // Deleted while drawing: its layer goes with it.
    {
        Rig rig;
        rig.live->addPoint({0.2, 1.0});
        // At least one frame: fitting the empty chart's axes to the line may ask for a second.
        QTRY_VERIFY(rig.live->frameCount() >= 1);
        QPointer<QWidget> layer = rig.live->layer();
        rig.live.reset();
        QVERIFY(!layer);
        QVERIFY(rig.view->viewport()->findChildren<QWidget*>().isEmpty());
    }
    // The view goes first, while drawing and with a frame pending, or between strokes.
    for (bool drawing : {true, false}) {
        auto* view = new GraphView;
        LiveStroke live(view);
        live.addPoint({0.2, 1.0});
        if (!drawing)
            live.clear();
        delete view;
        QVERIFY(!live.layer());
        live.addPoint({0.1, 2.0});
        QCOMPARE(live.drawnPointCount(), 0);
        live.clear();
    }
}

QTEST_MAIN(tst_LiveStroke)
#include "tst_livestroke.moc"
