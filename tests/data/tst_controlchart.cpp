#include "data/ControlChart.h"

#include <QTest>

#include <cmath>
#include <limits>

// Reference values worked out in Python 3.11 (Debian 12) straight from the chart's definition, without
// the code under test: the finite values in order, their mean, MR-bar = the mean of |x[i] - x[i-1]|,
// limits = mean ± 2.66 MR-bar; a point breaks the limit rule when strictly beyond a limit and the run rule
// when it is the ninth or later of consecutive points strictly on one side of the mean.

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kLimit = ControlChart::BeyondLimit;
constexpr int kRun = ControlChart::RunOnOneSide;

bool same(double actual, double expected) {
    if (std::isnan(expected))
        return std::isnan(actual);
    return std::abs(actual - expected) <= 1e-9 * std::max(std::abs(expected), 1.0);
}

} // namespace

class tst_ControlChart : public QObject {
    Q_OBJECT
private slots:
    void chartMatchesTheDefinition_data();
    void chartMatchesTheDefinition();
};

void tst_ControlChart::chartMatchesTheDefinition_data() {
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<double>("centre");
    QTest::addColumn<double>("movingRange");
    QTest::addColumn<double>("upper");
    QTest::addColumn<double>("lower");
    QTest::addColumn<QList<int>>("indices"); // input indices of the points that break a rule
    QTest::addColumn<QList<int>>("rules");   // and the rules each breaks

    QTest::newRow("one stroke far above")
        << QList<double>{40.2, 40.5, 39.9, 40.1, 40.4, 40.0, 40.3, 43.5, 40.2, 39.8} << 40.489999999999995
        << 1.0 << 43.14999999999999 << 37.83 << QList<int>{7} << QList<int>{kLimit};
    // Ten below the mean, then ten above: the ninth and tenth of each run; the last one is also too high.
    QTest::newRow("a shift of the mean")
        << QList<double>{39.6, 39.7, 39.8, 39.5, 39.9, 39.6, 39.7, 39.8, 39.6, 39.7,
                         40.5, 40.4, 40.6, 40.3, 40.5, 40.4, 40.6, 40.5, 40.4, 40.8}
        << 40.09499999999999 << 0.22105263157894714 << 40.68299999999999 << 39.50699999999999
        << QList<int>{3, 8, 9, 18, 19} << QList<int>{kLimit, kRun, kRun, kRun, kLimit | kRun};
    QTest::newRow("eight on one side are no run")
        << QList<double>{1, 2, 1, 2, 1, 2, 1, 2, -3, 1, 2, 1, 2, 1, 2, 1, 2, -10} << 0.6111111111111112
        << 2.0588235294117645 << 6.087581699346405 << -4.8653594771241835 << QList<int>{17}
        << QList<int>{kLimit};
    QTest::newRow("nine exactly") << QList<double>{5, 6, 5, 6, 5, 6, 5, 6, 5, -20, 0} << 2.6363636363636362
                                  << 5.3 << 16.734363636363636 << -11.461636363636364 << QList<int>{8, 9}
                                  << QList<int>{kRun, kLimit};
    // The moving ranges join the neighbours that remain; the point keeps its place in the input.
    QTest::newRow("non-finite values left out")
        << QList<double>{40.2, kNaN, 40.5, kInf, 39.9, 40.1, 40.3, 40.0, -kInf, 40.2, 40.4, kNaN, 40.1, 43.0}
        << 40.47 << 0.5777777777777765 << 42.00688888888889 << 38.93311111111111 << QList<int>{13}
        << QList<int>{kLimit};
    QTest::newRow("n = 2") << QList<double>{40.0, 41.0} << 40.5 << 1.0 << 43.16 << 37.84 << QList<int>{}
                           << QList<int>{};
    QTest::newRow("identical values")
        << QList<double>(12, 40.0) << 40.0 << 0.0 << 40.0 << 40.0 << QList<int>{} << QList<int>{};
    QTest::newRow("n = 1 has no limits")
        << QList<double>{kNaN, 40.0} << 40.0 << kNaN << kNaN << kNaN << QList<int>{} << QList<int>{};
    QTest::newRow("nothing finite") << QList<double>{kNaN, kInf} << kNaN << kNaN << kNaN << kNaN
                                    << QList<int>{} << QList<int>{};
}

void tst_ControlChart::chartMatchesTheDefinition() {
    QFETCH(QList<double>, values);
    QFETCH(double, centre);
    QFETCH(double, movingRange);
    QFETCH(double, upper);
    QFETCH(double, lower);
    QFETCH(QList<int>, indices);
    QFETCH(QList<int>, rules);

    const ControlChart chart(values);
    QVERIFY2(same(chart.centre(), centre), QByteArray::number(chart.centre(), 'g', 17));
    QVERIFY2(same(chart.averageMovingRange(), movingRange),
             QByteArray::number(chart.averageMovingRange(), 'g', 17));
    QVERIFY2(same(chart.upperLimit(), upper), QByteArray::number(chart.upperLimit(), 'g', 17));
    QVERIFY2(same(chart.lowerLimit(), lower), QByteArray::number(chart.lowerLimit(), 'g', 17));

    QCOMPARE(chart.points().size(), chart.inputIndices().size());
    for (int i = 0; i < chart.count(); ++i)
        QCOMPARE(chart.points().at(i), values.at(chart.inputIndices().at(i)));
    int finite = 0;
    for (double value : std::as_const(values))
        finite += std::isfinite(value) ? 1 : 0;
    QCOMPARE(chart.count(), finite);

    QList<int> actualIndices;
    QList<int> actualRules;
    for (const ControlChart::Violation& violation : chart.violations()) {
        actualIndices.append(violation.index);
        actualRules.append(int(violation.rules));
    }
    QCOMPARE(actualIndices, indices);
    QCOMPARE(actualRules, rules);
}

QTEST_GUILESS_MAIN(tst_ControlChart)
#include "tst_controlchart.moc"
