#include "data/Capability.h"

#include "data/SeatingStatistics.h"

#include <cmath>

namespace {

// distance / (sigmas x sd) for sd >= 0; at sd = 0 the limit of the quotient as sd shrinks to 0, which
// keeps the sign of the distance and is 0 for a distance of 0.
double capabilityIndex(double distance, double sigmas, double sd) {
    if (distance == 0.0)
        return 0.0;
    if (sd > 0.0)
        return distance / (sigmas * sd);
    return distance > 0.0 ? std::numeric_limits<double>::infinity()
                          : -std::numeric_limits<double>::infinity();
}

} // namespace

Capability::Capability(const QList<double>& values, const ToleranceLimits& limits) {
    const SeatingStatistics::Summary summary = SeatingStatistics::summarize(values);
    m_count = summary.count;
    m_mean = summary.mean;
    m_standardDeviation = summary.standardDeviation;
    for (double value : values) {
        switch (limits.verdictFor(value)) {
        case ToleranceLimits::InTolerance:
            ++m_inTolerance;
            break;
        case ToleranceLimits::Low:
            ++m_low;
            break;
        case ToleranceLimits::High:
            ++m_high;
            break;
        case ToleranceLimits::NotJudged:
            break;
        }
    }
    if (m_count < 2)
        return;
    if (limits.hasLow() && limits.hasHigh())
        m_cp = capabilityIndex(limits.high() - limits.low(), 6.0, m_standardDeviation);
    const double upper =
        limits.hasHigh() ? capabilityIndex(limits.high() - m_mean, 3.0, m_standardDeviation) : kNaN;
    const double lower =
        limits.hasLow() ? capabilityIndex(m_mean - limits.low(), 3.0, m_standardDeviation) : kNaN;
    // The open side is NaN, and std::fmin then takes the other one.
    m_cpk = std::fmin(upper, lower);
}
