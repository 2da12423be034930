#include "data/GroupComparison.h"

#include "data/SeatingStatistics.h"

// Boost's F quantile trips GCC's maybe-uninitialized analysis once inlined into an optimised build.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <boost/math/distributions/fisher_f.hpp>
#include <boost/math/distributions/students_t.hpp>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

namespace bmp = boost::math::policies;
// Errors come back as NaN or infinity, never as exceptions: the arguments are checked before, and a
// figure that still fails is reported as not available rather than tearing down the caller.
using Policy = bmp::policy<bmp::domain_error<bmp::ignore_error>, bmp::pole_error<bmp::ignore_error>,
                           bmp::overflow_error<bmp::ignore_error>, bmp::evaluation_error<bmp::ignore_error>>;
using FDistribution = boost::math::fisher_f_distribution<double, Policy>;
using TDistribution = boost::math::students_t_distribution<double, Policy>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr int kMaximumCount = 1000000;

QList<double> finiteValues(const QList<double>& values) {
    QList<double> finite;
    finite.reserve(values.size());
    for (double value : values) {
        if (std::isfinite(value))
            finite.append(value);
    }
    return finite;
}

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 != 0 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2.0;
}

// numerator / denominator for a denominator >= 0 that may be 0: +inf or NaN then.
double ratioOrLimit(double numerator, double denominator) {
    if (denominator > 0.0)
        return numerator / denominator;
    return numerator > 0.0 ? kInfinity : kNaN;
}

double twoSidedFP(double f, double df1, double df2) {
    const FDistribution distribution(df1, df2);
    const double lower = boost::math::cdf(distribution, f);
    const double upper = boost::math::cdf(boost::math::complement(distribution, f));
    return std::min(1.0, 2.0 * std::min(lower, upper));
}

// The power of the two-sided F-test at kSignificance with count values in each group when the true
// variance ratio is varianceRatio: the observed ratio over the true one follows F(count - 1, count - 1).
double fTestPower(int count, double varianceRatio) {
    const double df = count - 1;
    const FDistribution distribution(df, df);
    const double alpha = GroupComparison::kSignificance / 2.0;
    const double lowerCritical = boost::math::quantile(distribution, alpha);
    const double upperCritical = boost::math::quantile(boost::math::complement(distribution, alpha));
    return boost::math::cdf(distribution, lowerCritical / varianceRatio) +
           boost::math::cdf(boost::math::complement(distribution, upperCritical / varianceRatio));
}

// The two figures with the same number of decimals: three significant digits of the larger, more where
// that would print two different figures alike.
std::pair<QString, QString> formatPair(double a, double b) {
    const double largest = std::max(std::abs(a), std::abs(b));
    int decimals = largest > 0.0 ? std::max(0, 2 - int(std::floor(std::log10(largest)))) : 0;
    QString first = QString::number(a, 'f', decimals);
    QString second = QString::number(b, 'f', decimals);
    while (a != b && first == second && decimals < 12) {
        ++decimals;
        first = QString::number(a, 'f', decimals);
        second = QString::number(b, 'f', decimals);
    }
    return {first, second};
}

// "Welch p = 0.031", "Welch p < 0.001".
QString formatP(const QString& test, double p) {
    return QStringLiteral("%1 %2").arg(test, GroupComparison::pStatement(p));
}

QString counts(int first, int second) {
    return QStringLiteral("n = %1 and %2").arg(first).arg(second);
}

QString percent(double fraction) {
    return QStringLiteral("%1 %").arg(std::round(fraction * 100.0));
}

} // namespace

GroupComparison::GroupComparison(const QList<double>& first, const QList<double>& second) {
    const QList<double> a = finiteValues(first);
    const QList<double> b = finiteValues(second);
    const SeatingStatistics::Summary summaryA = SeatingStatistics::summarize(a);
    const SeatingStatistics::Summary summaryB = SeatingStatistics::summarize(b);
    m_first = {summaryA.count, summaryA.mean, summaryA.standardDeviation};
    m_second = {summaryB.count, summaryB.mean, summaryB.standardDeviation};
    if (!isComparable())
        return;
    const double n1 = m_first.count;
    const double n2 = m_second.count;
    const double v1 = m_first.standardDeviation * m_first.standardDeviation;
    const double v2 = m_second.standardDeviation * m_second.standardDeviation;

    // Welch: the standard error of the difference from each group's own variance.
    const double share1 = v1 / n1;
    const double share2 = v2 / n2;
    const double difference = m_first.mean - m_second.mean;
    if (share1 + share2 > 0.0) {
        m_welch.statistic = difference / std::sqrt(share1 + share2);
        m_welch.df1 = (share1 + share2) * (share1 + share2) /
                      (share1 * share1 / (n1 - 1.0) + share2 * share2 / (n2 - 1.0));
        const TDistribution distribution(m_welch.df1);
        m_welch.p = std::min(
            1.0, 2.0 * boost::math::cdf(boost::math::complement(distribution, std::abs(m_welch.statistic))));
    } else if (difference != 0.0) {
        m_welch.statistic = difference > 0.0 ? kInfinity : -kInfinity;
    }

    m_varianceRatio.df1 = n1 - 1.0;
    m_varianceRatio.df2 = n2 - 1.0;
    m_varianceRatio.statistic = ratioOrLimit(v1, v2);
    if (v1 > 0.0 && v2 > 0.0)
        m_varianceRatio.p = twoSidedFP(m_varianceRatio.statistic, n1 - 1.0, n2 - 1.0);

    // Brown–Forsythe: a one-way ANOVA of the absolute deviations from each group's median.
    QList<double> deviations[2] = {a, b};
    double largestValue = 0.0;
    double deviationMeans[2] = {0.0, 0.0};
    double grandMean = 0.0;
    for (int group = 0; group < 2; ++group) {
        const double groupMedian = median(deviations[group]);
        for (double& value : deviations[group]) {
            largestValue = std::max(largestValue, std::abs(value));
            value = std::abs(value - groupMedian);
        }
        deviationMeans[group] = SeatingStatistics::summarize(deviations[group]).mean;
        grandMean += deviationMeans[group] * double(deviations[group].size());
    }
    grandMean /= n1 + n2;
    double between = 0.0;
    double within = 0.0;
    for (int group = 0; group < 2; ++group) {
        const double offset = deviationMeans[group] - grandMean;
        between += double(deviations[group].size()) * offset * offset;
        for (double deviation : deviations[group])
            within += (deviation - deviationMeans[group]) * (deviation - deviationMeans[group]);
    }
    // Deviations that differ only by the rounding of the values (the two of a pair, measured from their
    // midpoint) are equal: left as they are, they would give an enormous F and a p of about 0.
    const double rounding = 8.0 * std::numeric_limits<double>::epsilon() * largestValue;
    if (within <= (n1 + n2) * rounding * rounding)
        within = 0.0;
    if (between <= (n1 + n2) * rounding * rounding)
        between = 0.0;
    m_brownForsythe.df1 = 1.0;
    m_brownForsythe.df2 = n1 + n2 - 2.0;
    m_brownForsythe.statistic = ratioOrLimit(between * m_brownForsythe.df2, within);
    if (within > 0.0) {
        const FDistribution distribution(m_brownForsythe.df1, m_brownForsythe.df2);
        m_brownForsythe.p =
            boost::math::cdf(boost::math::complement(distribution, m_brownForsythe.statistic));
    }
}

QString GroupComparison::pValueText(double p) {
    if (std::isnan(p))
        return QString();
    if (p < 0.001)
        return QStringLiteral("< 0.001");
    int digits = 2;
    while (p < kSignificance && QString::number(p, 'g', digits).toDouble() >= kSignificance && digits < 6)
        ++digits;
    return QString::number(p, 'g', digits);
}

QString GroupComparison::pStatement(double p) {
    const QString text = pValueText(p);
    if (text.isEmpty())
        return text;
    return text.startsWith(QLatin1Char('<')) ? QStringLiteral("p ") + text : QStringLiteral("p = ") + text;
}

bool GroupComparison::isComparable() const {
    return m_first.count >= kMinimumCount && m_second.count >= kMinimumCount;
}

int GroupComparison::countToDetect(double sdRatio) {
    if (!std::isfinite(sdRatio) || sdRatio <= 0.0 || sdRatio == 1.0)
        return 0;
    const double varianceRatio = sdRatio * sdRatio;
    // The power grows with the count: double until it is reached, then halve the interval.
    int reached = kMinimumCount;
    int missed = kMinimumCount - 1;
    while (fTestPower(reached, varianceRatio) < kPower) {
        if (reached >= kMaximumCount)
            return 0;
        missed = reached;
        reached = std::min(2 * reached, kMaximumCount);
    }
    while (reached - missed > 1) {
        const int middle = missed + (reached - missed) / 2;
        if (fTestPower(middle, varianceRatio) >= kPower)
            reached = middle;
        else
            missed = middle;
    }
    return reached;
}

QString GroupComparison::tooFewSentence(const QString& firstName, const QString& secondName,
                                        const QString& what) const {
    return QStringLiteral(
               "Too few strokes to compare the %1: %2 has %3 and %4 has %5; each needs at least %6.")
        .arg(what, firstName)
        .arg(m_first.count)
        .arg(secondName)
        .arg(m_second.count)
        .arg(kMinimumCount);
}

QString GroupComparison::spreadSentence(const QString& firstName, const QString& secondName,
                                        const QString& measurement, const QString& unit) const {
    QString spread = measurement;
    spread.replace(QLatin1Char(' '), QLatin1Char('-'));
    spread += QStringLiteral(" spread");
    if (!isComparable())
        return tooFewSentence(firstName, secondName, spread);
    const double p = m_brownForsythe.p;
    const bool firstLower = m_first.standardDeviation < m_second.standardDeviation;
    const Group& lower = firstLower ? m_first : m_second;
    const Group& higher = firstLower ? m_second : m_first;
    const auto [lowSd, highSd] = formatPair(lower.standardDeviation, higher.standardDeviation);
    const QString sds = QStringLiteral("SD %1 vs %2 %3").arg(lowSd, highSd, unit);
    const QString ordered = counts(lower.count, higher.count);
    if (std::isnan(p)) {
        if (m_first.standardDeviation == m_second.standardDeviation) {
            return QStringLiteral("%1 and %2 show the same %3 (%4, %5); the Brown–Forsythe test gives no "
                                  "p-value for these values.")
                .arg(firstName, secondName, spread, sds, counts(m_first.count, m_second.count));
        }
        return QStringLiteral("%1's %2 is lower (%3, %4), but the Brown–Forsythe test gives no p-value for "
                              "these values, so the difference is not shown.")
            .arg(firstLower ? firstName : secondName, spread, sds, ordered);
    }
    const QString test = formatP(QStringLiteral("Brown–Forsythe"), p);
    if (p < kSignificance) {
        return QStringLiteral("%1's %2 is lower (%3, %4, %5).")
            .arg(firstLower ? firstName : secondName, spread, sds, test, ordered);
    }
    const auto [firstSd, secondSd] = formatPair(m_first.standardDeviation, m_second.standardDeviation);
    return QStringLiteral(
               "No difference in %1 shown at these sample sizes (SD %2 vs %3 %4, %5, %6): about %7 "
               "strokes each would detect a %8 lower SD with %9 power.")
        .arg(spread, firstSd, secondSd, unit, test, counts(m_first.count, m_second.count))
        .arg(countToDetect(kDetectableSdRatio))
        .arg(percent(1.0 - kDetectableSdRatio), percent(kPower));
}

QString GroupComparison::meanSentence(const QString& firstName, const QString& secondName,
                                      const QString& measurement, const QString& unit) const {
    if (!isComparable())
        return tooFewSentence(firstName, secondName, QStringLiteral("mean ") + measurement);
    const double p = m_welch.p;
    const bool firstHigher = m_first.mean > m_second.mean;
    const Group& higher = firstHigher ? m_first : m_second;
    const Group& lower = firstHigher ? m_second : m_first;
    const auto [highMean, lowMean] = formatPair(higher.mean, lower.mean);
    const QString means = QStringLiteral("mean %1 vs %2 %3").arg(highMean, lowMean, unit);
    const QString ordered = counts(higher.count, lower.count);
    const QString higherName = firstHigher ? firstName : secondName;
    if (std::isnan(p)) {
        if (m_first.mean == m_second.mean) {
            return QStringLiteral("%1 and %2 have the same %3 without any spread (%4, %5); there is nothing "
                                  "to test.")
                .arg(firstName, secondName, measurement, means, ordered);
        }
        return QStringLiteral("%1's %2 is higher (%3, %4), but with no spread in either group Welch's test "
                              "gives no p-value.")
            .arg(higherName, measurement, means, ordered);
    }
    const QString test = formatP(QStringLiteral("Welch"), p);
    if (p < kSignificance)
        return QStringLiteral("%1's %2 is higher (%3, %4, %5).")
            .arg(higherName, measurement, means, test, ordered);
    const auto [firstMean, secondMean] = formatPair(m_first.mean, m_second.mean);
    return QStringLiteral("No difference in mean %1 shown (mean %2 vs %3 %4, %5, %6).")
        .arg(measurement, firstMean, secondMean, unit, test, counts(m_first.count, m_second.count));
}
