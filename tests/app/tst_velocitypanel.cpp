#include "app/VelocityPanel.h"
#include "chart/GraphModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"

#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineSeries>
#include <QScatterSeries>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <cmath>

namespace {

bool near(double actual, double expected, double tolerance) {
    return std::abs(actual - expected) <= tolerance * std::max(1.0, std::abs(expected));
}

} // namespace

class tst_VelocityPanel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void scatterOfTheCountedRoundsMatchesScipyAndNamesItsTraces();
};

void tst_VelocityPanel::scatterOfTheCountedRoundsMatchesScipyAndNamesItsTraces() {
    GraphModel model;
    auto* active = new GraphContainer(true, &model);
    model.setActiveSessionContainer(active);
    VelocityPanel panel(&model);
    // Reference values from SciPy 1.10.1 (Debian 12): x = [40.2, 41.0, 41.8, 42.5, 43.1, 44.0],
    // y = [2790, 2796, 2801, 2805, 2804, 2813]; scipy.stats.linregress(x, y) gives slope
    // 5.5578512396694215, intercept 2567.5144628099174, r 0.9766204735022929, p 0.0008135137378834827;
    // scipy.stats.spearmanr(x, y) 0.942857142857143, p 0.004804664723032055; with x / 2.20462 (kg) the
    // slope is 12.252949999999995.
    const QList<QPointF> rounds = {{40.2, 2790}, {41.0, 2796}, {41.8, 2801},
                                   {42.5, 2805}, {43.1, 2804}, {44.0, 2813}};
    QList<Graph*> counted;
    for (const QPointF& round : rounds) {
        Graph* graph =
            active->addGraphFromPress({{0.3, 0.0}, {0.2, round.x() / 2}, {0.1, round.x()}, {0.0, 1.0}}, true);
        graph->setVelocity(round.y());
        counted.append(graph);
    }
    // Left out: a round without a velocity, a flyer, a hidden trace.
    active->addGraphFromPress({{0.3, 0.0}, {0.1, 50.0}}, true);
    Graph* flyer = active->addGraphFromPress({{0.3, 0.0}, {0.1, 60.0}}, true);
    flyer->setVelocity(2900);
    flyer->setFlyer(true);
    Graph* hidden = active->addGraphFromPress({{0.3, 0.0}, {0.1, 30.0}}, true);
    hidden->setVelocity(2700);
    hidden->setVisible(false);
    panel.refresh();

    const VelocityCorrelation& shown = panel.correlation();
    QCOMPARE(shown.count(), 6);
    QCOMPARE(panel.pointSeries()->points(), rounds);
    QVERIFY(near(shown.slope(), 5.5578512396694215, 1e-9));
    QVERIFY(near(shown.intercept(), 2567.5144628099174, 1e-9));
    QVERIFY(near(shown.r(), 0.9766204735022929, 1e-9));
    QVERIFY(near(shown.p(), 0.0008135137378834827, 1e-6));
    QVERIFY(near(shown.rho(), 0.942857142857143, 1e-9));
    QVERIFY(near(shown.rhoP(), 0.004804664723032055, 1e-6));
    // The line spans the points.
    const QList<QPointF> line = panel.lineSeries()->points();
    QCOMPARE(line.size(), 2);
    QVERIFY(near(line.at(0).y(), 2567.5144628099174 + 5.5578512396694215 * 40.2, 1e-9));
    QVERIFY2(
        panel.sentence().startsWith(QStringLiteral("Seating force explains 95 % of the velocity variance: "
                                                   "+5.6 ft/s per lbs, p < 0.001, n = 6")),
        qPrintable(panel.sentence()));
    QVERIFY(panel.text().contains(QStringLiteral("Slope (ft/s per lbs)\t5.55785")));
    const QString figures = panel.findChild<QLabel*>(QStringLiteral("velocityFigures"))->text();
    QVERIFY2(figures.contains(QStringLiteral("Pearson r = 0.98 (p < 0.001)")), qPrintable(figures));
    QVERIFY2(figures.contains(QStringLiteral("= 0.94 (p = 0.0048)")), qPrintable(figures));

    // In kilograms the slope is per kg; velocities keep the unit they were entered in.
    panel.setUnits(Metric);
    panel.setVelocityUnit(QStringLiteral("m/s"));
    panel.refresh();
    QVERIFY(near(panel.correlation().slope(), 12.252949999999995, 1e-9));
    QVERIFY(panel.sentence().contains(QStringLiteral("m/s per kg")));

    // A click on a point names its trace.
    panel.resize(400, 400);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QSignalSpy clicked(&panel, &VelocityPanel::graphClicked);
    QChartView* view = panel.chartView();
    const QPointF value(42.5 / kLbsPerKg, 2805);
    const QPoint at = view->mapFromScene(
        view->chart()->mapToScene(view->chart()->mapToPosition(value, panel.pointSeries())));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked.takeFirst().at(0).value<Graph*>(), counted.at(3));

    // Marked a flyer in the legend's way: out of the figures at the next refresh.
    counted.at(0)->setFlyer(true);
    QTRY_COMPARE(panel.correlation().count(), 5);
}

QTEST_MAIN(tst_VelocityPanel)
#include "tst_velocitypanel.moc"
