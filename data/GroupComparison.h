#pragma once

#include <QList>
#include <QString>

#include <limits>

// Two groups of values of one measurement (two dies, two powder lots) compared: the count, mean and
// sample standard deviation of each; Welch's t-test of the means; the F-test of the variance ratio; and
// the Brown–Forsythe test of the spreads (Levene's test on the absolute deviations from the group
// medians), which unlike the F-test keeps its size when the values are not normal. Non-finite values are
// left out. Both groups in one unit; statistics are unitless.
//
// A test needs at least kMinimumCount values in each group; without them all its figures are NaN.
// Where the values leave a statistic's denominator at zero (no spread in the groups), the statistic is
// the limit it tends to (+inf, or 0 for the F ratio when only the first group is without spread) or NaN
// when the numerator is zero too, and the p-value is NaN: such values break the premise of a continuous
// measurement, and a p of 0 would claim a certainty that the test does not give.
class GroupComparison {
public:
    static constexpr int kMinimumCount = 2;
    // The level below which a p-value counts as a difference shown.
    static constexpr double kSignificance = 0.05;
    // What the sample-size advice aims at: detecting a standard deviation this fraction of the other with
    // this probability in the two-sided F-test at kSignificance.
    static constexpr double kDetectableSdRatio = 0.8;
    static constexpr double kPower = 0.8;

    struct Group {
        int count = 0;
        double mean = std::numeric_limits<double>::quiet_NaN();
        double standardDeviation = std::numeric_limits<double>::quiet_NaN(); // with n - 1
    };

    // A test statistic, its degrees of freedom and its p-value (two-sided where that has a meaning).
    struct Test {
        double statistic = std::numeric_limits<double>::quiet_NaN();
        double df1 = std::numeric_limits<double>::quiet_NaN();
        double df2 = std::numeric_limits<double>::quiet_NaN(); // NaN for the t-test
        double p = std::numeric_limits<double>::quiet_NaN();
    };

    GroupComparison() = default;
    GroupComparison(const QList<double>& first, const QList<double>& second);

    const Group& first() const { return m_first; }
    const Group& second() const { return m_second; }
    // Both groups have kMinimumCount values.
    bool isComparable() const;

    // t = (mean1 - mean2) / sqrt(s1²/n1 + s2²/n2), df1 by Welch–Satterthwaite, two-sided p.
    const Test& welch() const { return m_welch; }
    // F = s1² / s2² on n1 - 1 and n2 - 1 degrees of freedom, p = 2 min(cdf, 1 - cdf).
    const Test& varianceRatio() const { return m_varianceRatio; }
    // The one-way ANOVA F of the absolute deviations from the group medians, on 1 and n1 + n2 - 2 degrees
    // of freedom, upper-tail p.
    const Test& brownForsythe() const { return m_brownForsythe; }

    // The smallest equal count per group at which the two-sided F-test at kSignificance detects a ratio
    // of standard deviations sdRatio with probability kPower; 0 when sdRatio is not a positive finite
    // number other than 1, or when no count up to a million reaches it.
    static int countToDetect(double sdRatio);

    // A p-value as the sentences print it: "< 0.001", else two significant digits ("0.034", "0.6"), more
    // where two would round a p below kSignificance up to it; empty for NaN.
    static QString pValueText(double p);
    // The same as a statement: "p = 0.034", "p < 0.001"; empty for NaN.
    static QString pStatement(double p);

    // One sentence in plain English on the spreads, led by the Brown–Forsythe test, e.g. "Die B's
    // peak-force spread is lower (SD 0.42 vs 0.71 lbs, Brown–Forsythe p = 0.03, n = 15 and 15)." or, when
    // no difference is shown, how many strokes each would show one. measurement is lower case ("peak
    // force"), unit the label of the values ("lbs").
    QString spreadSentence(const QString& firstName, const QString& secondName, const QString& measurement,
                           const QString& unit) const;
    // The same for the means, led by Welch's test: "Die A's peak force is higher (mean 43.1 vs 40.2 lbs,
    // Welch p = 0.004, n = 15 and 15)."
    QString meanSentence(const QString& firstName, const QString& secondName, const QString& measurement,
                         const QString& unit) const;

private:
    QString tooFewSentence(const QString& firstName, const QString& secondName, const QString& what) const;

    Group m_first;
    Group m_second;
    Test m_welch;
    Test m_varianceRatio;
    Test m_brownForsythe;
};
