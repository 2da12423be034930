#pragma once

#include "data/ToleranceLimits.h"

#include <QList>

#include <limits>

// How well a batch of values fits its tolerance: how many fall within it, and the process capability
// indices Cp = (high - low) / (6 s) and Cpk = min(high - mean, mean - low) / (3 s), with s the sample
// standard deviation (n - 1). Only the sides that are limited take part in Cpk; Cp needs both.
// The values are of the limits' measurement in the limits' units; non-finite ones are left out.
//
// Every index that the data do not define is NaN: below two values, or without the limits it needs.
// Without spread (s = 0) an index is the limit of its quotient as s shrinks to 0 rather than a division
// by zero: +inf for a positive distance, -inf for a negative one (the mean beyond a limit) and 0 for a
// distance of 0 (the mean on a limit, or Cp of equal limits).
class Capability {
public:
    Capability() = default;
    Capability(const QList<double>& values, const ToleranceLimits& limits);

    // The finite values.
    int count() const { return m_count; }
    // Of those, the ones judged in tolerance, below the low and above the high limit; all 0 without limits.
    int inTolerance() const { return m_inTolerance; }
    int low() const { return m_low; }
    int high() const { return m_high; }

    double mean() const { return m_mean; }
    double standardDeviation() const { return m_standardDeviation; }
    double cp() const { return m_cp; }
    double cpk() const { return m_cpk; }

private:
    static constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

    int m_count = 0;
    int m_inTolerance = 0;
    int m_low = 0;
    int m_high = 0;
    double m_mean = kNaN;
    double m_standardDeviation = kNaN;
    double m_cp = kNaN;
    double m_cpk = kNaN;
};
