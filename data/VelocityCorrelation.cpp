#include "data/VelocityCorrelation.h"

#include "data/GroupComparison.h"

#include <boost/math/distributions/students_t.hpp>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

namespace bmp = boost::math::policies;
// Errors come back as NaN or infinity, never as exceptions: the arguments are checked before, and a
// figure that still fails is reported as not available rather than tearing down the caller.
using Policy = bmp::policy<bmp::domain_error<bmp::ignore_error>, bmp::pole_error<bmp::ignore_error>,
                           bmp::overflow_error<bmp::ignore_error>, bmp::evaluation_error<bmp::ignore_error>>;
using TDistribution = boost::math::students_t_distribution<double, Policy>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Sums {
    double meanX = 0.0;
    double meanY = 0.0;
    double xx = 0.0; // sum of squared deviations of x
    double yy = 0.0;
    double xy = 0.0;
};

// Two passes, the deviations taken from the means: velocities near 2800 with a spread of a few tens would
// lose most of their digits in sums of squares of the raw values.
Sums sums(const QList<double>& x, const QList<double>& y) {
    Sums s;
    const double n = double(x.size());
    s.meanX = std::accumulate(x.cbegin(), x.cend(), 0.0) / n;
    s.meanY = std::accumulate(y.cbegin(), y.cend(), 0.0) / n;
    for (qsizetype i = 0; i < x.size(); ++i) {
        const double dx = x.at(i) - s.meanX;
        const double dy = y.at(i) - s.meanY;
        s.xx += dx * dx;
        s.yy += dy * dy;
        s.xy += dx * dy;
    }
    return s;
}

// Pearson's r of values with spread on both sides, within [-1, 1]. An r that falls short of ±1 only by the
// rounding of the sums (a few units in the last place per value) is ±1: the points lie on a line, and
// the few ulps left would turn into a t of about 1e8 and a p that depends on how the decimals happened to
// round instead of the limit 0.
double correlation(const Sums& s, int count) {
    const double r = std::clamp(s.xy / std::sqrt(s.xx * s.yy), -1.0, 1.0);
    const double rounding = 4.0 * count * std::numeric_limits<double>::epsilon();
    if (1.0 - std::abs(r) <= rounding)
        return r > 0.0 ? 1.0 : -1.0;
    return r;
}

// The two-sided p of a correlation r of count pairs: t = r sqrt(df / (1 - r²)) on df = count - 2; 0 on a
// perfect line, where t is infinite.
double correlationP(double r, int count) {
    if (std::isnan(r) || count < VelocityCorrelation::kMinimumCount)
        return kNaN;
    if (std::abs(r) == 1.0)
        return 0.0;
    const double df = count - 2.0;
    const double t = r * std::sqrt(df / ((1.0 - r) * (1.0 + r)));
    const TDistribution distribution(df);
    return std::min(1.0, 2.0 * boost::math::cdf(boost::math::complement(distribution, std::abs(t))));
}

// The 1-based ranks of the values, tied values all given the mean of the ranks they span.
QList<double> ranks(const QList<double>& values) {
    QList<qsizetype> order(values.size());
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::sort(order.begin(), order.end(),
              [&values](qsizetype a, qsizetype b) { return values[a] < values[b]; });
    QList<double> result(values.size());
    qsizetype first = 0;
    while (first < order.size()) {
        qsizetype last = first + 1;
        while (last < order.size() && values[order[last]] == values[order[first]])
            ++last;
        // Positions first .. last - 1 hold rank first + 1 .. last; their mean:
        const double rank = (double(first) + double(last) + 1.0) / 2.0;
        for (qsizetype i = first; i < last; ++i)
            result[order[i]] = rank;
        first = last;
    }
    return result;
}

bool hasSpread(const QList<double>& values) {
    const auto [lowest, highest] = std::minmax_element(values.cbegin(), values.cend());
    return lowest != values.cend() && *lowest != *highest;
}

// A slope with two significant digits and its sign: "+3.4", "-0.012", "+120".
QString signedSlope(double slope) {
    const int decimals = slope != 0.0 ? std::max(0, 1 - int(std::floor(std::log10(std::abs(slope))))) : 0;
    const QString text = QString::number(slope, 'f', decimals);
    return slope > 0.0 ? QLatin1Char('+') + text : text;
}

// "40 %"; "less than 1 %" rather than a 0 % that a relation shown cannot have.
QString percent(double fraction) {
    const double rounded = std::round(fraction * 100.0);
    return rounded < 1.0 ? QStringLiteral("less than 1 %") : QStringLiteral("%1 %").arg(rounded);
}

} // namespace

VelocityCorrelation::VelocityCorrelation(const QList<QPointF>& pairs) {
    QList<double> x;
    QList<double> y;
    x.reserve(pairs.size());
    y.reserve(pairs.size());
    for (const QPointF& pair : pairs) {
        if (std::isfinite(pair.x()) && std::isfinite(pair.y())) {
            x.append(pair.x());
            y.append(pair.y());
        }
    }
    m_count = int(x.size());
    m_xSpread = hasSpread(x);
    m_ySpread = hasSpread(y);
    if (!m_xSpread)
        return;

    const Sums s = sums(x, y);
    const int n = m_count;
    if (m_ySpread) {
        m_slope = s.xy / s.xx;
        m_intercept = s.meanY - m_slope * s.meanX;
        m_r = correlation(s, n);
        m_p = correlationP(m_r, n);
        const QList<double> xRanks = ranks(x);
        const QList<double> yRanks = ranks(y);
        m_rho = correlation(sums(xRanks, yRanks), n);
        m_rhoP = correlationP(m_rho, n);
    } else {
        // The mean of equal values need not be that value in floating point; the flat line is exact.
        m_slope = 0.0;
        m_intercept = y.first();
    }
    if (n < kMinimumCount)
        return;

    // The residual sum of squares is (1 - r²) syy; from r rather than from the residuals, so that a line
    // that r calls perfect has no standard error either.
    const double df = n - 2.0;
    const double residual = m_ySpread ? (1.0 - m_r) * (1.0 + m_r) * s.yy : 0.0;
    m_slopeStandardError = std::sqrt(residual / df / s.xx);
    const TDistribution distribution(df);
    const double quantile =
        boost::math::quantile(boost::math::complement(distribution, (1.0 - kConfidence) / 2.0));
    m_slopeLow = m_slope - quantile * m_slopeStandardError;
    m_slopeHigh = m_slope + quantile * m_slopeStandardError;
}

QString VelocityCorrelation::sentence(const QString& measurement, const QString& forceUnit,
                                      const QString& velocityUnit) const {
    if (m_count < kMinimumCount)
        return QStringLiteral("Too few rounds with a velocity to say (n = %1).").arg(m_count);
    if (!m_xSpread) {
        return QStringLiteral("No relation shown: every round has the same %1 (n = %2).")
            .arg(measurement)
            .arg(m_count);
    }
    if (!m_ySpread)
        return QStringLiteral("No relation shown: every round has the same velocity (n = %1).").arg(m_count);
    if (!(m_p < GroupComparison::kSignificance))
        return QStringLiteral("No relation shown (%1, n = %2).")
            .arg(GroupComparison::pStatement(m_p))
            .arg(m_count);
    QString subject = measurement;
    if (!subject.isEmpty())
        subject[0] = subject.at(0).toUpper();
    return QStringLiteral("%1 explains %2 of the velocity variance: %3 %4 per %5, %6, n = %7.")
        .arg(subject, percent(rSquared()), signedSlope(m_slope), velocityUnit, forceUnit,
             GroupComparison::pStatement(m_p))
        .arg(m_count);
}
