#include "data/Graph.h"
#include "data/SeatingStatistics.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// One stroke as the test sets it up: a curve rising to its peak and falling back to its terminal force.
struct Stroke {
    double peak;
    double terminal;
    bool visible = true;
    bool flyer = false;
};

Stroke hidden(double peak, double terminal) {
    return {peak, terminal, false, false};
}

Stroke flyer(double peak, double terminal) {
    return {peak, terminal, true, true};
}

// The three measurements of a stroke worked out by hand from its three points (0.2, 0), (0.1, peak),
// (0, terminal) in inches and pounds, and converted as the units say.
std::array<double, 3> expectedMeasurements(const Stroke& stroke, Units units) {
    const double work = 0.1 * (0.0 + stroke.peak) / 2 + 0.1 * (stroke.peak + stroke.terminal) / 2;
    if (units == Imperial)
        return {stroke.peak, stroke.terminal, work};
    return {stroke.peak / 2.20462, stroke.terminal / 2.20462, work / (2.20462 * 0.0393701)};
}

// A plain reference for the figures: the textbook formulas over the finite values.
SeatingStatistics::Summary reference(std::vector<double> values) {
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return !std::isfinite(v); }),
                 values.end());
    SeatingStatistics::Summary summary;
    summary.count = int(values.size());
    if (values.empty())
        return summary;
    double sum = 0.0;
    for (double v : values)
        sum += v;
    summary.mean = sum / double(values.size());
    summary.minimum = *std::min_element(values.begin(), values.end());
    summary.maximum = *std::max_element(values.begin(), values.end());
    summary.extremeSpread = summary.maximum - summary.minimum;
    if (values.size() > 1) {
        double squares = 0.0;
        for (double v : values)
            squares += (v - summary.mean) * (v - summary.mean);
        summary.standardDeviation = std::sqrt(squares / double(values.size() - 1));
    }
    return summary;
}

bool same(double actual, double expected) {
    if (std::isnan(expected))
        return std::isnan(actual);
    return std::abs(actual - expected) <= 1e-9 * std::max(1.0, std::abs(expected));
}

} // namespace

Q_DECLARE_METATYPE(QList<Stroke>)

class tst_SeatingStatistics : public QObject {
    Q_OBJECT
private slots:
    void figuresMatchAReference_data();
    void figuresMatchAReference();
    void twoStrokesByHand();
    void plainValuesLeaveNonFiniteOnesOut();
};

void tst_SeatingStatistics::figuresMatchAReference_data() {
    QTest::addColumn<QList<Stroke>>("strokes");
    QTest::addColumn<int>("units");
    QTest::addColumn<int>("visible");
    QTest::addColumn<int>("flyers");

    const QList<Stroke> batch = {{101.5, 99.0},  {103.25, 100.5}, {99.75, 97.0},
                                 {102.0, 101.0}, {100.5, 98.25},  {104.0, 99.5}};
    QTest::newRow("none") << QList<Stroke>{} << int(Imperial) << 0 << 0;
    QTest::newRow("n = 1") << QList<Stroke>{{55.0, 50.0}} << int(Imperial) << 1 << 0;
    QTest::newRow("n = 2") << QList<Stroke>{{55.0, 50.0}, {58.0, 51.5}} << int(Imperial) << 2 << 0;
    QTest::newRow("six strokes, imperial") << batch << int(Imperial) << 6 << 0;
    QTest::newRow("six strokes, metric") << batch << int(Metric) << 6 << 0;
    QTest::newRow("a flyer is left out and counted")
        << QList<Stroke>{{100.0, 95.0}, flyer(160.0, 20.0), {102.0, 96.0}, {101.0, 97.0}} << int(Imperial)
        << 4 << 1;
    QTest::newRow("all flyers") << QList<Stroke>{flyer(100.0, 95.0), flyer(120.0, 90.0)} << int(Metric) << 2
                                << 2;
    QTest::newRow("hidden traces take no part, flyers or not")
        << QList<Stroke>{{100.0, 95.0}, hidden(300.0, 1.0), {104.0, 99.0}, Stroke{10.0, 5.0, false, true}}
        << int(Imperial) << 2 << 0;
    QTest::newRow("only hidden traces") << QList<Stroke>{hidden(100.0, 95.0)} << int(Imperial) << 0 << 0;
    QTest::newRow("an infinite peak leaves only that stroke's peak and work out")
        << QList<Stroke>{{100.0, 95.0}, {kInf, 96.0}, {102.0, 97.0}} << int(Metric) << 3 << 0;
    QTest::newRow("large forces with a small spread")
        << QList<Stroke>{{1e9 + 1.0, 1e9}, {1e9 + 2.0, 1e9}, {1e9 + 3.0, 1e9}} << int(Imperial) << 3 << 0;
}

void tst_SeatingStatistics::figuresMatchAReference() {
    QFETCH(QList<Stroke>, strokes);
    QFETCH(int, units);
    QFETCH(int, visible);
    QFETCH(int, flyers);

    std::vector<std::unique_ptr<Graph>> owned;
    QList<Graph*> graphs;
    std::array<std::vector<double>, 3> values;
    for (const Stroke& stroke : std::as_const(strokes)) {
        auto graph = std::make_unique<Graph>();
        graph->setPoints({{0.2, 0.0}, {0.1, stroke.peak}, {0.0, stroke.terminal}}, true);
        graph->setVisible(stroke.visible);
        graph->setFlyer(stroke.flyer);
        graphs.append(graph.get());
        owned.push_back(std::move(graph));
        if (stroke.visible && !stroke.flyer) {
            const auto measured = expectedMeasurements(stroke, Units(units));
            for (std::size_t i = 0; i < 3; ++i)
                values[i].push_back(measured[i]);
        }
    }

    const SeatingStatistics statistics(graphs, Units(units));
    QCOMPARE(statistics.strokes(), visible);
    QCOMPARE(statistics.flyersExcluded(), flyers);
    QCOMPARE(statistics.units(), Units(units));
    const Measurement order[] = {PeakForce, TerminalForce, WorkDone};
    for (std::size_t i = 0; i < 3; ++i) {
        const SeatingStatistics::Summary expected = reference(values[i]);
        const SeatingStatistics::Summary& actual = statistics.summary(order[i]);
        const QByteArray where = QByteArray("measurement ") + QByteArray::number(int(order[i]));
        QVERIFY2(actual.count == expected.count, where);
        QVERIFY2(same(actual.mean, expected.mean),
                 where + " mean " + QByteArray::number(actual.mean, 'g', 17));
        QVERIFY2(same(actual.standardDeviation, expected.standardDeviation),
                 where + " SD " + QByteArray::number(actual.standardDeviation, 'g', 17));
        QVERIFY2(same(actual.extremeSpread, expected.extremeSpread), where + " ES");
        QVERIFY2(same(actual.minimum, expected.minimum), where + " min");
        QVERIFY2(same(actual.maximum, expected.maximum), where + " max");
        QCOMPARE(statistics.isIndicative(order[i]), expected.count < 5);
    }
    // Starting position is not one of the summarised measurements.
    QCOMPARE(statistics.summary(StartingPosition).count, 0);
}

void tst_SeatingStatistics::twoStrokesByHand() {
    Graph first;
    Graph second;
    first.setPoints({{0.2, 0.0}, {0.1, 10.0}, {0.0, 10.0}}, true);
    second.setPoints({{0.2, 0.0}, {0.1, 12.0}, {0.0, 12.0}}, true);
    const SeatingStatistics statistics({&first, &second}, Imperial);
    const SeatingStatistics::Summary& peak = statistics.summary(PeakForce);
    QCOMPARE(peak.count, 2);
    QCOMPARE(peak.mean, 11.0);
    QCOMPARE(peak.standardDeviation, std::sqrt(2.0));
    QCOMPARE(peak.extremeSpread, 2.0);
    QCOMPARE(peak.minimum, 10.0);
    QCOMPARE(peak.maximum, 12.0);
    // 0.1 x 10 / 2 + 0.1 x 20 / 2 = 1.5, and 1.8 for the second.
    QVERIFY(same(statistics.summary(WorkDone).mean, 1.65));
}

void tst_SeatingStatistics::plainValuesLeaveNonFiniteOnesOut() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const SeatingStatistics::Summary one = SeatingStatistics::summarize({nan, 4.0, kInf, -kInf});
    QCOMPARE(one.count, 1);
    QCOMPARE(one.mean, 4.0);
    QCOMPARE(one.extremeSpread, 0.0);
    QVERIFY(std::isnan(one.standardDeviation));
    const SeatingStatistics::Summary none = SeatingStatistics::summarize({nan});
    QCOMPARE(none.count, 0);
    QVERIFY(std::isnan(none.mean) && std::isnan(none.minimum) && std::isnan(none.extremeSpread));
}

QTEST_GUILESS_MAIN(tst_SeatingStatistics)
#include "tst_seatingstatistics.moc"
