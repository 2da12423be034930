#pragma once

#include <QList>
#include <QPointF>
#include <QString>

#include <limits>

// Whether a measurement of the strokes (peak force, terminal force, work done) moves the velocity of the
// rounds: the least-squares line of velocity on the measurement with its slope's standard error and 95 %
// confidence interval, Pearson's r with its two-sided p, and Spearman's rank correlation with its two-sided
// p. Each pair is x = the measurement, y = the velocity, in any units; the slope comes out in velocity units
// per measurement unit. Pairs with a non-finite coordinate are left out. A velocity of 0 means that none was
// typed in: the caller leaves those rounds out, since 0 is a value here like any other.
//
// Which figures a set of pairs defines:
// - Below kMinimumCount pairs every p-value, the standard error and the interval are NaN: two points
//   always lie on a line, so there is nothing left to test. The slope, intercept, r and rho are given as
//   two pairs define them (r and rho then are ±1 and describe the points, not a relation).
// - With no spread in the measurement (every x the same) every figure but the count is NaN: the line
//   would be vertical.
// - With no spread in the velocity (every y the same) the line is flat (slope 0, intercept that velocity)
//   and without residuals, so the standard error is 0 and the interval closes on 0; r, rho and their
//   p-values are NaN (0 / 0): such values break the premise of a measured velocity, and neither "no
//   relation" (p = 1) nor a certain one may be claimed.
// - On a perfect line r and rho are ±1 and both p-values 0, the limit as the residuals vanish; the standard
//   error is 0 and the interval closes on the slope. Residuals that are only the rounding of the inputs
//   count as none, so a line through decimal values is perfect too.
class VelocityCorrelation {
public:
    static constexpr int kMinimumCount = 3;
    // The coverage of the slope's confidence interval.
    static constexpr double kConfidence = 0.95;

    VelocityCorrelation() = default;
    // The figures of these (measurement, velocity) pairs.
    explicit VelocityCorrelation(const QList<QPointF>& pairs);

    // The pairs with finite coordinates.
    int count() const { return m_count; }

    // The least-squares line velocity = intercept + slope x measurement.
    double slope() const { return m_slope; }
    double intercept() const { return m_intercept; }
    // The standard error of the slope, with n - 2 degrees of freedom.
    double slopeStandardError() const { return m_slopeStandardError; }
    // The slope ± the Student t quantile of kConfidence on n - 2 degrees of freedom times its standard error.
    double slopeLow() const { return m_slopeLow; }
    double slopeHigh() const { return m_slopeHigh; }

    // Pearson's r, its square (the share of the velocity variance that the line explains) and its two-sided
    // p from t = r sqrt((n - 2) / (1 - r²)) on n - 2 degrees of freedom.
    double r() const { return m_r; }
    double rSquared() const { return m_r * m_r; }
    double p() const { return m_p; }
    // Spearman's rho (Pearson's r of the ranks, ties given their average rank) and its two-sided p by the
    // same t approximation.
    double rho() const { return m_rho; }
    double rhoP() const { return m_rhoP; }

    // One sentence in plain English, led by Pearson's p at GroupComparison::kSignificance, e.g. "Seating
    // force explains 40 % of the velocity variance: +3.4 ft/s per lbs, p = 0.0027, n = 20." or "No relation
    // shown (p = 0.82, n = 8)." measurement is lower case ("seating force"), forceUnit the label of the
    // measurement ("lbs"), velocityUnit that of the velocities ("ft/s").
    QString sentence(const QString& measurement, const QString& forceUnit, const QString& velocityUnit) const;

private:
    static constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

    bool m_xSpread = false;
    bool m_ySpread = false;
    int m_count = 0;
    double m_slope = kNaN;
    double m_intercept = kNaN;
    double m_slopeStandardError = kNaN;
    double m_slopeLow = kNaN;
    double m_slopeHigh = kNaN;
    double m_r = kNaN;
    double m_p = kNaN;
    double m_rho = kNaN;
    double m_rhoP = kNaN;
};
