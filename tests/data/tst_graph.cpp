#include "data/Graph.h"
#include "data/GraphContainer.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <functional>
#include <limits>

using Points = QList<QPointF>;

class tst_Graph : public QObject {
    Q_OBJECT
private slots:
    void newTraceHasDefaults();
    void measurements_data();
    void measurements();
    void startingPositionIsRoundedPerUnitSystem_data();
    void startingPositionIsRoundedPerUnitSystem();
    void setPointsDerivesTheOtherUnitSystem();
    void unsupportedMeasurementGivesNaN_data();
    void unsupportedMeasurementGivesNaN();
    void settersEmitOnlyOnRealChange();
    void nanVelocityCountsAsChangeEveryTime();
    void flyerChangeRepaintsOnlyWhenHighlighted();
    void colourDecorationsEmitNoUnsavedSignal();
    void effectiveColorRules();
    void savedFieldSettersRefreshCachedText_data();
    void savedFieldSettersRefreshCachedText();
};

void tst_Graph::newTraceHasDefaults() {
    Graph graph;
    QCOMPARE(graph.color(), QColor(0, 0, 255));
    QVERIFY(graph.hasDefaultColor());
    QVERIFY(graph.visible());
    QVERIFY(!graph.flyer());
    QCOMPARE(graph.velocity(), 0.0);
    QCOMPARE(graph.traceNumber(), 0);
    QCOMPARE(graph.container(), nullptr);
    for (Units units : {Metric, Imperial}) {
        QCOMPARE(graph.data(units).units(), units);
        QVERIFY(graph.data(units).points().isEmpty());
        for (Measurement m : {PeakForce, WorkDone, TerminalForce, StartingPosition})
            QCOMPARE(graph.data(units).measurement(m), 0.0);
    }
}

void tst_Graph::measurements_data() {
    QTest::addColumn<Points>("points");
    QTest::addColumn<double>("peak");
    QTest::addColumn<double>("work");
    QTest::addColumn<double>("terminal");
    QTest::addColumn<double>("start");

    QTest::newRow("five rises from the first point")
        << Points{{10, 0}, {9, 1}, {8, 2}, {7, 3}, {6, 4}, {5, 5}} << 5.0 << 12.5 << 5.0 << 10.0;
    QTest::newRow("run starts later")
        << Points{{9, 3}, {8, 1}, {7, 2}, {6, 3}, {5, 4}, {4, 5}, {3, 6}, {2, 4}} << 6.0
        << (2.0 + 1.5 + 2.5 + 3.5 + 4.5 + 5.5 + 5.0) << 4.0 << 8.0;
    QTest::newRow("only four rises in a row")
        << Points{{6, 0}, {5, 1}, {4, 2}, {3, 3}, {2, 4}, {1, 4}, {0.5, 5}} << 5.0
        << (0.5 + 1.5 + 2.5 + 3.5 + 4.0 + 0.5 * 4.5) << 5.0 << 6.0;
    QTest::newRow("equal forces break the run")
        << Points{{7, 0}, {6, 1}, {5, 2}, {4, 2}, {3, 3}, {2, 4}, {1, 5}, {0.5, 6}} << 6.0
        << (0.5 + 1.5 + 2.0 + 2.5 + 3.5 + 4.5 + 0.5 * 5.5) << 6.0 << 7.0;
    QTest::newRow("run starting at x exactly 0 gives the first x")
        << Points{{3, 9}, {0, 0}, {-1, 1}, {-2, 2}, {-3, 3}, {-4, 4}, {-5, 5}} << 9.0
        << (3 * 4.5 + 0.5 + 1.5 + 2.5 + 3.5 + 4.5) << 5.0 << 3.0;
    QTest::newRow("negative forces reduce the work")
        << Points{{0, -2}, {1, -2}, {3, 1}} << 1.0 << -3.0 << 1.0 << 0.0;
    QTest::newRow("peak below zero") << Points{{1, -5}, {2, -3}, {3, -4}} << -3.0 << -7.5 << -4.0 << 1.0;
    QTest::newRow("single point") << Points{{2.5, 7}} << 7.0 << 0.0 << 7.0 << 2.5;
    QTest::newRow("empty") << Points{} << 0.0 << 0.0 << 0.0 << 0.0;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("NaN force resets the run")
        << Points{{8, 0}, {7, 1}, {6, 2}, {5, nan}, {4, 3}, {3, 4}, {2, 5}, {1, 6}, {0.5, 7}, {0.25, 8}}
        << 8.0 << nan << 8.0 << 4.0;
}

void tst_Graph::measurements() {
    QFETCH(Points, points);
    QFETCH(double, peak);
    QFETCH(double, work);
    QFETCH(double, terminal);
    QFETCH(double, start);

    Graph graph;
    graph.setPoints(points, true);
    const TraceData& data = graph.data(Imperial);
    QCOMPARE(data.points().size(), points.size());
    QCOMPARE(data.peakForce(), peak);
    QCOMPARE(data.workDone(), work);
    QCOMPARE(data.terminalForce(), terminal);
    QCOMPARE(data.startingPosition(), start);
    QCOMPARE(data.measurement(PeakForce), peak);
    QCOMPARE(data.measurement(TerminalForce), terminal);
    QCOMPARE(data.measurement(StartingPosition), start);
}

void tst_Graph::startingPositionIsRoundedPerUnitSystem_data() {
    QTest::addColumn<double>("x");
    QTest::addColumn<bool>("imperial");
    QTest::addColumn<double>("metricStart");
    QTest::addColumn<double>("imperialStart");

    // 12.345 mm = 0.48602... inch; 0.48612 inch = 12.3475... mm.
    QTest::newRow("metric 12.345 mm") << 12.345 << false << 12.35 << 0.486;
    QTest::newRow("imperial 0.48612 inch") << 0.48612 << true << 12.35 << 0.486;
    QTest::newRow("imperial half step rounds away from zero") << 0.00025 << true << 0.01 << 0.0005;
    QTest::newRow("negative rounds away from zero") << -0.00025 << true << -0.01 << -0.0005;
}

void tst_Graph::startingPositionIsRoundedPerUnitSystem() {
    QFETCH(double, x);
    QFETCH(bool, imperial);
    QFETCH(double, metricStart);
    QFETCH(double, imperialStart);

    Graph graph;
    graph.setPoints({{x, 1.0}}, imperial);
    QCOMPARE(graph.data(Metric).startingPosition(), metricStart);
    QCOMPARE(graph.data(Imperial).startingPosition(), imperialStart);
}

void tst_Graph::setPointsDerivesTheOtherUnitSystem() {
    Graph graph;
    graph.setPoints({{1.0, 10.0}, {0.5, 20.0}}, true);
    QCOMPARE(graph.data(Metric).points(),
             (Points{{1.0 / 0.0393701, 10.0 / 2.20462}, {0.5 / 0.0393701, 20.0 / 2.20462}}));
    QCOMPARE(graph.data(Metric).points().first().x(), 25.399986284007408);
    QCOMPARE(graph.data(Metric).peakForce(), 20.0 / 2.20462);
    QCOMPARE(graph.data(Imperial).workDone(), 0.5 * 15.0);

    graph.setPoints({{25.4, 10.0}}, false);
    QCOMPARE(graph.data(Metric).points(), (Points{{25.4, 10.0}}));
    QCOMPARE(graph.data(Imperial).points(), (Points{{25.4 * 0.0393701, 10.0 * 2.20462}}));
    QCOMPARE(graph.data(Imperial).peakForce(), 10.0 * 2.20462);
}

void tst_Graph::unsupportedMeasurementGivesNaN_data() {
    QTest::addColumn<int>("selector");
    QTest::newRow("velocity") << 5;
    QTest::newRow("unused value 1") << 1;
    QTest::newRow("out of range") << 99;
}

void tst_Graph::unsupportedMeasurementGivesNaN() {
    QFETCH(int, selector);
    Graph graph;
    graph.setPoints({{1, 1}}, true);
    QTest::ignoreMessage(QtWarningMsg, "Unsupported measurement");
    QVERIFY(std::isnan(graph.data(Imperial).measurement(static_cast<Measurement>(selector))));
}

void tst_Graph::settersEmitOnlyOnRealChange() {
    Graph graph;
    QSignalSpy name(&graph, &Graph::nameChanged);
    QSignalSpy comment(&graph, &Graph::commentChanged);
    QSignalSpy color(&graph, &Graph::colorChanged);
    QSignalSpy number(&graph, &Graph::traceNumberChanged);
    QSignalSpy velocity(&graph, &Graph::velocityChanged);
    QSignalSpy flyer(&graph, &Graph::flyerChanged);
    QSignalSpy visibility(&graph, &Graph::visibilityChanged);

    for (int i = 0; i < 2; ++i) {
        graph.setName(QStringLiteral("A"));
        graph.setComment(QStringLiteral("c"));
        graph.setColor(Qt::red);
        graph.setTraceNumber(4);
        graph.setVelocity(12.7);
        graph.setFlyer(true);
        graph.setVisible(false);
    }
    QCOMPARE(name.count(), 1);
    QCOMPARE(name.first().first().toString(), QStringLiteral("A"));
    QCOMPARE(comment.count(), 1);
    QCOMPARE(color.count(), 1);
    QCOMPARE(color.first().first().value<ColorChangeSettings>(), Default);
    QCOMPARE(number.count(), 1);
    QCOMPARE(velocity.count(), 1);
    QCOMPARE(flyer.count(), 1);
    QCOMPARE(visibility.count(), 1);
    QCOMPARE(visibility.first().first().toBool(), false);

    graph.setColor(Graph::defaultColor());
    QCOMPARE(color.count(), 2);
    QVERIFY(graph.hasDefaultColor());
}

void tst_Graph::nanVelocityCountsAsChangeEveryTime() {
    Graph graph;
    QSignalSpy velocity(&graph, &Graph::velocityChanged);
    graph.setVelocity(std::numeric_limits<double>::quiet_NaN());
    graph.setVelocity(std::numeric_limits<double>::quiet_NaN());
    QCOMPARE(velocity.count(), 2);
}

void tst_Graph::flyerChangeRepaintsOnlyWhenHighlighted() {
    Graph graph;
    QSignalSpy repaint(&graph, &Graph::colorChangedNoUnsavedFlag);
    graph.setFlyer(true);
    QCOMPARE(repaint.count(), 0);

    graph.setHighlighted(true);
    QCOMPARE(repaint.count(), 1);
    QCOMPARE(graph.highlightColor(), QColor(Qt::black));
    graph.setFlyer(false);
    QCOMPARE(repaint.count(), 2);
    QCOMPARE(repaint.last().first().value<ColorChangeSettings>(), Default);

    graph.setHighlighted(false);
    QVERIFY(!graph.highlightColor().isValid());
    QCOMPARE(repaint.count(), 3);
}

void tst_Graph::colourDecorationsEmitNoUnsavedSignal() {
    Graph graph;
    QSignalSpy color(&graph, &Graph::colorChanged);
    QSignalSpy repaint(&graph, &Graph::colorChangedNoUnsavedFlag);
    const QByteArray before = graph.toJsonBytes();

    graph.setGradientColor(Qt::green);
    graph.setGradientColor(Qt::green);
    QCOMPARE(repaint.count(), 1);
    QCOMPARE(repaint.last().first().value<ColorChangeSettings>(), Gradient);
    graph.clearGradientColor();
    graph.clearGradientColor();
    QCOMPARE(repaint.count(), 2);
    QCOMPARE(repaint.last().first().value<ColorChangeSettings>(), Default);
    QVERIFY(!graph.gradientColor().isValid());
    QCOMPARE(color.count(), 0);
    QCOMPARE(graph.toJsonBytes(), before);
}

void tst_Graph::effectiveColorRules() {
    Graph orphan;
    orphan.setGradientColor(Qt::green);
    QCOMPARE(orphan.effectiveColor(), QColor(0, 0, 255));

    GraphContainer container;
    container.setDefaultGraphColor(QColor(245, 130, 49, 200));
    Graph graph(&container);
    QCOMPARE(graph.container(), &container);
    QCOMPARE(graph.effectiveColor(), QColor(245, 130, 49, 200));
    graph.setGradientColor(Qt::green);
    QCOMPARE(graph.effectiveColor(), QColor(Qt::green));
    graph.setHighlighted(true);
    QCOMPARE(graph.effectiveColor(), QColor(Qt::green)); // not a flyer
    graph.setFlyer(true);
    QCOMPARE(graph.effectiveColor(), QColor(Qt::black));
    graph.setColor(Qt::red);
    QCOMPARE(graph.effectiveColor(), QColor(Qt::red));
}

using Edit = std::function<void(Graph&)>;
Q_DECLARE_METATYPE(Edit)

void tst_Graph::savedFieldSettersRefreshCachedText_data() {
    QTest::addColumn<Edit>("edit");
    QTest::newRow("name") << Edit([](Graph& g) { g.setName(QStringLiteral("B")); });
    QTest::newRow("comment") << Edit([](Graph& g) { g.setComment(QStringLiteral("note")); });
    QTest::newRow("color") << Edit([](Graph& g) { g.setColor(Qt::red); });
    QTest::newRow("trace number") << Edit([](Graph& g) { g.setTraceNumber(9); });
    QTest::newRow("velocity") << Edit([](Graph& g) { g.setVelocity(3.5); });
    QTest::newRow("flyer") << Edit([](Graph& g) { g.setFlyer(true); });
    QTest::newRow("visible") << Edit([](Graph& g) { g.setVisible(false); });
    QTest::newRow("points") << Edit([](Graph& g) { g.setPoints({{0.5, 2.0}}, true); });
    QTest::newRow("fromJson") << Edit([](Graph& g) {
        g.fromJson(QJsonObject{{QStringLiteral("Name"), QStringLiteral("Z")}}, 2);
    });
}

void tst_Graph::savedFieldSettersRefreshCachedText() {
    QFETCH(Edit, edit);
    Graph graph;
    graph.setName(QStringLiteral("A"));
    graph.setPoints({{1.0, 1.0}, {0.9, 2.0}}, true);
    const QByteArray cached = graph.toJsonBytes();
    QCOMPARE(cached, QJsonDocument(graph.toJson()).toJson(QJsonDocument::Compact));

    edit(graph);
    const QByteArray fresh = QJsonDocument(graph.toJson()).toJson(QJsonDocument::Compact);
    QVERIFY(fresh != cached);
    QCOMPARE(graph.toJsonBytes(), fresh);
}

QTEST_GUILESS_MAIN(tst_Graph)
#include "tst_graph.moc"
