#include "data/GroupComparison.h"

#include <QTest>

#include <cmath>
#include <limits>

// Reference values from SciPy 1.10.1 with NumPy 1.24.2 on Debian 12 (python3-scipy):
//   Welch:          scipy.stats.ttest_ind(a, b, equal_var=False); df = (v1/n1 + v2/n2)² /
//                   ((v1/n1)²/(n1-1) + (v2/n2)²/(n2-1)) with numpy.var(ddof=1)
//   F-test:         F = var(a, ddof=1) / var(b, ddof=1), p = 2 min(f.cdf(F), f.sf(F)) on n1-1, n2-1
//   Brown–Forsythe: scipy.stats.levene(a, b, center='median')
// always on the finite values of the inputs listed in each row. Where a group has no spread SciPy gives a
// p of 0 (or, for two pairs, an F of 1.46e28 built from rounding); the rows expect NaN there instead.

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Expected {
    double statistic;
    double df;
    double p;
};

bool same(double actual, double expected, double tolerance) {
    if (std::isnan(expected))
        return std::isnan(actual);
    if (std::isinf(expected))
        return actual == expected;
    return std::abs(actual - expected) <= tolerance * std::max(std::abs(expected), 1e-300);
}

QByteArray show(double value) {
    return QByteArray::number(value, 'g', 17);
}

} // namespace

Q_DECLARE_METATYPE(Expected)

class tst_GroupComparison : public QObject {
    Q_OBJECT
private slots:
    void testsMatchScipy_data();
    void testsMatchScipy();
    void countToDetect_data();
    void countToDetect();
    void sentences_data();
    void sentences();
};

void tst_GroupComparison::testsMatchScipy_data() {
    QTest::addColumn<QList<double>>("a");
    QTest::addColumn<QList<double>>("b");
    QTest::addColumn<double>("meanA");
    QTest::addColumn<double>("meanB");
    QTest::addColumn<double>("sdA");
    QTest::addColumn<double>("sdB");
    QTest::addColumn<Expected>("welch"); // t, Welch–Satterthwaite df, p
    QTest::addColumn<Expected>("f");     // F, -, p
    QTest::addColumn<Expected>("bf");    // F, -, p

    QTest::newRow("two dies, 15 strokes each")
        << QList<double>{43.8, 42.6, 43.1, 44.0, 42.9, 43.5, 42.2, 43.3,
                         44.4, 42.7, 43.0, 43.9, 42.5, 43.6, 42.8}
        << QList<double>{40.1, 40.6, 39.9, 40.3, 40.8, 40.0, 40.4, 39.7,
                         40.2, 40.5, 40.9, 39.8, 40.3, 40.1, 40.6}
        << 43.22 << 40.279999999999994 << 0.6315513778443855 << 0.35697138740881057
        << Expected{15.695753486992315, 22.117049985752413, 1.787980408242716e-13}
        << Expected{3.1300448430493266, kNaN, 0.040867720763088}
        << Expected{4.968134414832005, kNaN, 0.03402158941007873};
    QTest::newRow("6 and 9 alike") << QList<double>{1.212, 1.198, 1.230, 1.205, 1.221, 1.190}
                                   << QList<double>{1.208, 1.215, 1.199, 1.226, 1.203,
                                                    1.211, 1.232, 1.195, 1.219}
                                   << 1.2093333333333334 << 1.212 << 0.014773850773128426
                                   << 0.012298373876248821
                                   << Expected{-0.3656629472553937, 9.42910695716263, 0.7226858801881129}
                                   << Expected{1.443085399449046, kNaN, 0.6131259436830123}
                                   << Expected{0.285003806140578, kNaN, 0.6024496909798054};
    // Both deviations of a pair from its median are equal: the ANOVA has no within-group spread.
    QTest::newRow("n = 2 and 2") << QList<double>{40.13, 40.57} << QList<double>{39.9, 41.2} << 40.35 << 40.55
                                 << 0.3111269837220793 << 0.9192388155425147
                                 << Expected{-0.291451067560796, 1.2261447006480128, 0.8122544774202904}
                                 << Expected{0.11455621301774954, kNaN, 0.41553295120402167}
                                 << Expected{kInf, kNaN, kNaN};
    QTest::newRow("n = 2 and 5") << QList<double>{25.4, 26.1} << QList<double>{25.0, 25.9, 26.3, 25.5, 26.8}
                                 << 25.75 << 25.9 << 0.4949747468305853 << 0.6964194138592062
                                 << Expected{-0.32016510547031446, 2.77559985021746, 0.7714130446374019}
                                 << Expected{0.5051546391752614, kNaN, 0.9670195171985061}
                                 << Expected{0.35106899902817756, kNaN, 0.5792873578206722};
    QTest::newRow("no spread in the first group")
        << QList<double>{30.5, 30.5, 30.5, 30.5} << QList<double>{30.1, 30.9, 30.4, 31.2, 30.6} << 30.5
        << 30.640000000000004 << 0.0 << 0.42778499272414805
        << Expected{-0.7317917228850661, 4.0, 0.504861064164182} << Expected{0.0, kNaN, kNaN}
        << Expected{6.986354775828495, kNaN, 0.033269900677112496};
    QTest::newRow("the same value in both")
        << QList<double>{12.0, 12.0, 12.0} << QList<double>{12.0, 12.0} << 12.0 << 12.0 << 0.0 << 0.0
        << Expected{kNaN, kNaN, kNaN} << Expected{kNaN, kNaN, kNaN} << Expected{kNaN, kNaN, kNaN};
    QTest::newRow("constant groups apart")
        << QList<double>{12.0, 12.0, 12.0} << QList<double>{13.5, 13.5} << 12.0 << 13.5 << 0.0 << 0.0
        << Expected{-kInf, kNaN, kNaN} << Expected{kNaN, kNaN, kNaN} << Expected{kNaN, kNaN, kNaN};
    QTest::newRow("non-finite values left out")
        << QList<double>{43.8, kNaN, 42.6, 43.1, kInf, 44.0, 42.9}
        << QList<double>{40.1, -kInf, 40.6, 39.9, 40.3, kNaN} << 43.28 << 40.224999999999994
        << 0.5974947698515853 << 0.2986078811194826
        << Expected{9.980693806843371, 6.095374478693116, 5.308021142261671e-05}
        << Expected{4.003738317756978, kNaN, 0.2836740299325441}
        << Expected{1.4329533870818334, kNaN, 0.2702447665585925};
    QTest::newRow("one value is no group")
        << QList<double>{43.8} << QList<double>{40.1, 40.6, 39.9} << 43.8 << 40.199999999999996 << kNaN
        << 0.3605551275464001 << Expected{kNaN, kNaN, kNaN} << Expected{kNaN, kNaN, kNaN}
        << Expected{kNaN, kNaN, kNaN};
    QTest::newRow("large offset, small spread")
        << QList<double>{10000.012, 10000.034, 9999.987, 10000.021, 10000.003}
        << QList<double>{10000.101, 9999.902, 10000.055, 9999.948, 10000.077, 9999.996} << 10000.0114
        << 10000.013166666666 << 0.01781291666198624 << 0.07802414156316827
        << Expected{-0.053805609273987164, 5.6175414856204355, 0.9589520220172955}
        << Expected{0.05212092009769241, kNaN, 0.013462474276954454}
        << Expected{9.551156370154567, kNaN, 0.012919153340589028};
}

void tst_GroupComparison::testsMatchScipy() {
    QFETCH(QList<double>, a);
    QFETCH(QList<double>, b);
    QFETCH(double, meanA);
    QFETCH(double, meanB);
    QFETCH(double, sdA);
    QFETCH(double, sdB);
    QFETCH(Expected, welch);
    QFETCH(Expected, f);
    QFETCH(Expected, bf);

    const GroupComparison comparison(a, b);
    int finiteA = 0;
    int finiteB = 0;
    for (double value : std::as_const(a))
        finiteA += std::isfinite(value) ? 1 : 0;
    for (double value : std::as_const(b))
        finiteB += std::isfinite(value) ? 1 : 0;
    QCOMPARE(comparison.first().count, finiteA);
    QCOMPARE(comparison.second().count, finiteB);
    QCOMPARE(comparison.isComparable(), finiteA >= 2 && finiteB >= 2);
    constexpr double kStatistic = 1e-9;
    constexpr double kP = 1e-6;
    const auto check = [](const char* what, double actual, double expected, double tolerance) {
        QVERIFY2(same(actual, expected, tolerance),
                 QByteArray(what) + ": " + show(actual) + ", expected " + show(expected));
    };
    check("mean a", comparison.first().mean, meanA, kStatistic);
    check("mean b", comparison.second().mean, meanB, kStatistic);
    check("SD a", comparison.first().standardDeviation, sdA, kStatistic);
    check("SD b", comparison.second().standardDeviation, sdB, kStatistic);
    check("Welch t", comparison.welch().statistic, welch.statistic, kStatistic);
    check("Welch df", comparison.welch().df1, welch.df, kStatistic);
    check("Welch p", comparison.welch().p, welch.p, kP);
    check("F", comparison.varianceRatio().statistic, f.statistic, kStatistic);
    check("F p", comparison.varianceRatio().p, f.p, kP);
    check("Brown–Forsythe F", comparison.brownForsythe().statistic, bf.statistic, kStatistic);
    check("Brown–Forsythe p", comparison.brownForsythe().p, bf.p, kP);
    if (comparison.isComparable()) {
        QCOMPARE(comparison.varianceRatio().df1, double(finiteA - 1));
        QCOMPARE(comparison.varianceRatio().df2, double(finiteB - 1));
        QCOMPARE(comparison.brownForsythe().df1, 1.0);
        QCOMPARE(comparison.brownForsythe().df2, double(finiteA + finiteB - 2));
    }
}

void tst_GroupComparison::countToDetect_data() {
    QTest::addColumn<double>("sdRatio");
    QTest::addColumn<int>("count");
    // The smallest n with power >= 0.8, found by stepping n = 2, 3, ... with SciPy's f.ppf, f.isf, f.cdf
    // and f.sf: power = cdf(lo / r²) + sf(hi / r²) on n - 1, n - 1 (0.80097 at 160, 0.79848 at 159).
    QTest::newRow("0.8") << 0.8 << 160;
    QTest::newRow("1.25, the same ratio the other way") << 1.25 << 160;
    QTest::newRow("0.5") << 0.5 << 19;
    QTest::newRow("0.9, power 0.79998 at one fewer") << 0.9 << 710;
    QTest::newRow("0.2") << 0.2 << 5;
    QTest::newRow("1 cannot be detected") << 1.0 << 0;
    QTest::newRow("0") << 0.0 << 0;
    QTest::newRow("NaN") << kNaN << 0;
}

void tst_GroupComparison::countToDetect() {
    QFETCH(double, sdRatio);
    QFETCH(int, count);
    QCOMPARE(GroupComparison::countToDetect(sdRatio), count);
}

void tst_GroupComparison::sentences_data() {
    QTest::addColumn<QList<double>>("a");
    QTest::addColumn<QList<double>>("b");
    QTest::addColumn<QString>("spread");
    QTest::addColumn<QString>("mean");

    const QList<double> dieA{43.8, 42.6, 43.1, 44.0, 42.9, 43.5, 42.2, 43.3,
                             44.4, 42.7, 43.0, 43.9, 42.5, 43.6, 42.8};
    const QList<double> dieB{40.1, 40.6, 39.9, 40.3, 40.8, 40.0, 40.4, 39.7,
                             40.2, 40.5, 40.9, 39.8, 40.3, 40.1, 40.6};
    QTest::newRow("both differences shown")
        << dieA << dieB
        << QStringLiteral(
               "Die B's peak-force spread is lower (SD 0.357 vs 0.632 lbs, Brown–Forsythe p = 0.034, "
               "n = 15 and 15).")
        << QStringLiteral(
               "Die A's peak force is higher (mean 43.2 vs 40.3 lbs, Welch p < 0.001, n = 15 and 15).");
    QTest::newRow("nothing shown")
        << QList<double>{1.212, 1.198, 1.230, 1.205, 1.221, 1.190}
        << QList<double>{1.208, 1.215, 1.199, 1.226, 1.203, 1.211, 1.232, 1.195, 1.219}
        << QStringLiteral(
               "No difference in peak-force spread shown at these sample sizes (SD 0.0148 vs 0.0123 "
               "lbs, Brown–Forsythe p = 0.6, n = 6 and 9): about 160 strokes each would detect a "
               "20 % lower SD with 80 % power.")
        << QStringLiteral(
               "No difference in mean peak force shown (mean 1.209 vs 1.212 lbs, Welch p = 0.72, n = "
               "6 and 9).");
    QTest::newRow("a single stroke")
        << QList<double>{43.8, kNaN} << dieB
        << QStringLiteral(
               "Too few strokes to compare the peak-force spread: Die A has 1 and Die B has 15; each "
               "needs at least 2.")
        << QStringLiteral(
               "Too few strokes to compare the mean peak force: Die A has 1 and Die B has 15; each "
               "needs at least 2.");
    QTest::newRow("two pairs")
        << QList<double>{40.13, 40.57} << QList<double>{39.9, 41.2}
        << QStringLiteral(
               "Die A's peak-force spread is lower (SD 0.311 vs 0.919 lbs, n = 2 and 2), but the "
               "Brown–Forsythe test gives no p-value for these values, so the difference is not shown.")
        << QStringLiteral(
               "No difference in mean peak force shown (mean 40.4 vs 40.5 lbs, Welch p = 0.81, n = "
               "2 and 2).");
    QTest::newRow("constant groups apart")
        << QList<double>{12.0, 12.0, 12.0} << QList<double>{13.5, 13.5}
        << QStringLiteral("Die A and Die B show the same peak-force spread (SD 0 vs 0 lbs, n = 3 and 2); the "
                          "Brown–Forsythe test gives no p-value for these values.")
        << QStringLiteral(
               "Die B's peak force is higher (mean 13.5 vs 12.0 lbs, n = 2 and 3), but with no spread "
               "in either group Welch's test gives no p-value.");
}

void tst_GroupComparison::sentences() {
    QFETCH(QList<double>, a);
    QFETCH(QList<double>, b);
    QFETCH(QString, spread);
    QFETCH(QString, mean);
    const GroupComparison comparison(a, b);
    const QString dieA = QStringLiteral("Die A");
    const QString dieB = QStringLiteral("Die B");
    const QString peakForce = QStringLiteral("peak force");
    const QString lbs = QStringLiteral("lbs");
    QCOMPARE(comparison.spreadSentence(dieA, dieB, peakForce, lbs), spread);
    QCOMPARE(comparison.meanSentence(dieA, dieB, peakForce, lbs), mean);
}

QTEST_GUILESS_MAIN(tst_GroupComparison)
#include "tst_groupcomparison.moc"
