#include "data/VelocityCorrelation.h"

#include <QTest>

#include <cmath>
#include <limits>

// Reference values from SciPy 1.10.1 with NumPy 1.24.2 on Debian 12 (python3-scipy), always on the pairs
// of each row whose coordinates are both finite:
//   line:     r = scipy.stats.linregress(x, y): r.slope, r.intercept, r.stderr; the interval
//             r.slope -/+ scipy.stats.t.ppf(0.975, n - 2) * r.stderr
//   Pearson:  scipy.stats.pearsonr(x, y): statistic, pvalue (the same as linregress's rvalue and pvalue)
//   Spearman: scipy.stats.spearmanr(x, y): correlation, pvalue
// The interval is checked to 1e-8 only: SciPy 1.10.1's t.ppf(0.975, 6) is 2.4469118487916806, where
// its own t.sf gives 0.02500000008; Boost's 2.4469118511449799 gives 0.02499999999999965.
// Where the rows expect something else, SciPy gives:
//   n = 2:             linregress p 0 and stderr 0, pearsonr p 1; the rows expect NaN (nothing to test).
//   identical x:       linregress raises ValueError; pearsonr and spearmanr NaN, as the row.
//   identical y:       linregress r 0 and p 1, pearsonr and spearmanr NaN; the row expects NaN.
//   perfect line:      pearsonr p 0 as the row, linregress p 1.2e-30 and spearmanr p 1.4e-24 (rounding).
//   through decimals:  r 0.9999999999999998, p 4.0e-24, stderr 4.9e-8, rho p 1.4e-24, all rounding; the
//                      row expects the perfect line's r 1, p 0, stderr 0.

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Line {
    double slope;
    double intercept;
    double standardError;
    double low; // of the 95 % interval of the slope
    double high;
};

struct Correlation {
    double r; // Pearson's r or Spearman's rho
    double p;
};

QList<QPointF> pairs(const QList<double>& x, const QList<double>& y) {
    QList<QPointF> result;
    for (qsizetype i = 0; i < x.size(); ++i)
        result.append(QPointF(x.at(i), y.at(i)));
    return result;
}

bool same(double actual, double expected, double tolerance) {
    if (std::isnan(expected))
        return std::isnan(actual);
    return std::abs(actual - expected) <= tolerance * std::abs(expected);
}

QByteArray show(double value) {
    return QByteArray::number(value, 'g', 17);
}

const QList<double> kClearForces{42.1, 35.3, 47.4, 36.6, 36.9, 36.1, 33.1, 38.8, 44.3, 43.4,
                                 35.1, 34.2, 37.1, 44.3, 39.8, 46.8, 42.5, 41.9, 44.3, 44.0};
const QList<double> kClearVelocities{2768, 2783, 2789, 2768, 2779, 2722, 2775, 2800, 2812, 2801,
                                     2769, 2748, 2780, 2801, 2802, 2791, 2817, 2812, 2813, 2803};
const QList<double> kNoneForces{41.2, 38.7, 43.5, 40.1, 39.4, 42.8, 37.9, 40.6};
const QList<double> kNoneVelocities{2795, 2810, 2788, 2779, 2802, 2806, 2791, 2784};

} // namespace

Q_DECLARE_METATYPE(Line)
Q_DECLARE_METATYPE(Correlation)

class tst_VelocityCorrelation : public QObject {
    Q_OBJECT
private slots:
    void figuresMatchScipy_data();
    void figuresMatchScipy();
    void sentences_data();
    void sentences();
};

void tst_VelocityCorrelation::figuresMatchScipy_data() {
    QTest::addColumn<QList<QPointF>>("input");
    QTest::addColumn<int>("count");
    QTest::addColumn<Line>("line");
    QTest::addColumn<Correlation>("pearson");
    QTest::addColumn<Correlation>("spearman");

    QTest::newRow("clear relation, n = 20, ties in x")
        << pairs(kClearForces, kClearVelocities) << 20
        << Line{3.4428217288208662, 2648.2485665014015, 0.9903350121891227, 1.3622050744904386,
                5.523438383151294}
        << Correlation{0.6338022094014804, 0.0026941088564130366}
        << Correlation{0.6566151993025144, 0.001662309924618592};
    QTest::newRow("none, n = 8") << pairs(kNoneForces, kNoneVelocities) << 8
                                 << Line{-0.5572548269929282, 2816.9577518638885, 2.2938873983969716,
                                         -6.1701950819244, 5.055685427938545}
                                 << Correlation{-0.09869172147540685, 0.816151089804326}
                                 << Correlation{-0.1666666666666667, 0.693238811728395};
    QTest::newRow("ties in x and in y") << pairs({40.5, 40.5, 41.0, 41.0, 41.0, 42.5, 43.0, 43.0, 44.0},
                                                 {2780, 2790, 2785, 2790, 2801, 2790, 2806, 2812, 2809})
                                        << 9
                                        << Line{6.950617283950617, 2505.1213991769546, 2.0123673189994324,
                                                2.1921247195039806, 11.709109848397254}
                                        << Correlation{0.7938590464049491, 0.010634276851022036}
                                        << Correlation{0.8087262284127342, 0.008311545040633408};
    QTest::newRow("n = 3") << pairs({38.2, 41.6, 45.0}, {2791, 2788, 2815}) << 3
                           << Line{3.529411764705884, 2651.176470588235, 2.5471335405424673,
                                   -28.834988492459864, 35.89381202187163}
                           << Correlation{0.8108848540793833, 0.39797250716048393}
                           << Correlation{0.5, 0.6666666666666667};
    QTest::newRow("n = 2, too few to test") << pairs({38.2, 41.6}, {2791, 2788}) << 2
                                            << Line{-0.882352941176471, 2824.705882352941, kNaN, kNaN, kNaN}
                                            << Correlation{-1.0, kNaN} << Correlation{-1.0, kNaN};
    QTest::newRow("identical x") << pairs({40.0, 40.0, 40.0, 40.0, 40.0}, {2780, 2795, 2788, 2801, 2776}) << 5
                                 << Line{kNaN, kNaN, kNaN, kNaN, kNaN} << Correlation{kNaN, kNaN}
                                 << Correlation{kNaN, kNaN};
    QTest::newRow("identical y") << pairs({38.4, 41.2, 39.9, 43.1, 40.7},
                                          {2795.3, 2795.3, 2795.3, 2795.3, 2795.3})
                                 << 5 << Line{0.0, 2795.3, 0.0, 0.0, 0.0} << Correlation{kNaN, kNaN}
                                 << Correlation{kNaN, kNaN};
    QTest::newRow("non-finite pairs left out")
        << pairs({41.2, kNaN, 38.7, 43.5, 40.1, 39.4, 42.0, kInf, 42.8, 37.9, -kInf, 40.6},
                 {2795, 2801, 2810, 2788, 2779, 2802, kNaN, 2790, 2806, 2791, 2799, 2784})
        << 8
        << Line{-0.5572548269929282, 2816.9577518638885, 2.2938873983969716, -6.1701950819244,
                5.055685427938545}
        << Correlation{-0.09869172147540685, 0.816151089804326}
        << Correlation{-0.1666666666666667, 0.693238811728395};
    QTest::newRow("perfect line") << pairs({36.0, 38.0, 40.0, 42.0, 44.0}, {2760, 2768, 2776, 2784, 2792})
                                  << 5 << Line{4.0, 2616.0, 0.0, 4.0, 4.0} << Correlation{1.0, 0.0}
                                  << Correlation{1.0, 0.0};
    QTest::newRow("perfect line through decimals")
        << pairs({36.0, 38.5, 40.0, 42.5, 45.0}, {2760, 2770, 2776, 2786, 2796}) << 5
        << Line{3.999999999999999, 2616.0, 0.0, 3.999999999999999, 3.999999999999999} << Correlation{1.0, 0.0}
        << Correlation{1.0, 0.0};
}

void tst_VelocityCorrelation::figuresMatchScipy() {
    QFETCH(QList<QPointF>, input);
    QFETCH(int, count);
    QFETCH(Line, line);
    QFETCH(Correlation, pearson);
    QFETCH(Correlation, spearman);

    const VelocityCorrelation correlation(input);
    QCOMPARE(correlation.count(), count);
    constexpr double kStatistic = 1e-9;
    constexpr double kInterval = 1e-8;
    constexpr double kP = 1e-6;
    const auto check = [](const char* what, double actual, double expected, double tolerance) {
        QVERIFY2(same(actual, expected, tolerance),
                 QByteArray(what) + ": " + show(actual) + ", expected " + show(expected));
    };
    check("slope", correlation.slope(), line.slope, kStatistic);
    check("intercept", correlation.intercept(), line.intercept, kStatistic);
    check("standard error", correlation.slopeStandardError(), line.standardError, kStatistic);
    check("slope low", correlation.slopeLow(), line.low, kInterval);
    check("slope high", correlation.slopeHigh(), line.high, kInterval);
    check("r", correlation.r(), pearson.r, kStatistic);
    check("r²", correlation.rSquared(), pearson.r * pearson.r, kStatistic);
    check("p", correlation.p(), pearson.p, kP);
    check("rho", correlation.rho(), spearman.r, kStatistic);
    check("rho p", correlation.rhoP(), spearman.p, kP);
}

void tst_VelocityCorrelation::sentences_data() {
    QTest::addColumn<QList<QPointF>>("input");
    QTest::addColumn<QString>("sentence");

    QList<double> fallingVelocities;
    for (double velocity : kClearVelocities)
        fallingVelocities.append(5600.0 - velocity);
    // n = 1000 with a slight trend in a repeating scatter: SciPy's linregress gives r² 0.0047, p 0.030,
    // slope 0.347.
    QList<QPointF> weak;
    for (int i = 0; i < 1000; ++i) {
        const int tenths = 300 + i * 37 % 200;
        weak.append(QPointF(tenths / 10.0, 2800.0 + i * 7919 % 101 - 50 + 0.04 * (tenths - 400)));
    }

    QTest::newRow("clear relation") << pairs(kClearForces, kClearVelocities)
                                    << QStringLiteral("Seating force explains 40 % of the velocity variance: "
                                                      "+3.4 ft/s per lbs, p = 0.0027, n = 20.");
    QTest::newRow("falling velocity") << pairs(kClearForces, fallingVelocities)
                                      << QStringLiteral("Seating force explains 40 % of the velocity "
                                                        "variance: -3.4 ft/s per lbs, p = 0.0027, n = 20.");
    QTest::newRow("weak but shown")
        << weak
        << QStringLiteral(
               "Seating force explains less than 1 % of the velocity variance: +0.35 ft/s per lbs, "
               "p = 0.03, n = 1000.");
    QTest::newRow("perfect line")
        << pairs({36.0, 38.0, 40.0, 42.0, 44.0}, {2760, 2768, 2776, 2784, 2792})
        << QStringLiteral(
               "Seating force explains 100 % of the velocity variance: +4.0 ft/s per lbs, p < 0.001, n = 5.");
    QTest::newRow("none") << pairs(kNoneForces, kNoneVelocities)
                          << QStringLiteral("No relation shown (p = 0.82, n = 8).");
    QTest::newRow("n = 2") << pairs({38.2, 41.6, kNaN}, {2791, 2788, 2790})
                           << QStringLiteral("Too few rounds with a velocity to say (n = 2).");
    QTest::newRow("identical x") << pairs({40.0, 40.0, 40.0}, {2780, 2795, 2788})
                                 << QStringLiteral(
                                        "No relation shown: every round has the same seating force (n = 3).");
    QTest::newRow("identical y") << pairs({38.4, 41.2, 39.9}, {2795.3, 2795.3, 2795.3})
                                 << QStringLiteral(
                                        "No relation shown: every round has the same velocity (n = 3).");
}

void tst_VelocityCorrelation::sentences() {
    QFETCH(QList<QPointF>, input);
    QFETCH(QString, sentence);
    const VelocityCorrelation correlation(input);
    QCOMPARE(
        correlation.sentence(QStringLiteral("seating force"), QStringLiteral("lbs"), QStringLiteral("ft/s")),
        sentence);
}

QTEST_GUILESS_MAIN(tst_VelocityCorrelation)
#include "tst_velocitycorrelation.moc"
