#pragma once

#include <QList>

#include <limits>

// An individuals (X) chart of one measurement over a session's strokes, in stroke order: the centre line
// at the mean, control limits at the mean ± kLimitFactor times the average moving range, and the points
// that break a rule. Non-finite values are left out; every point keeps the index of its value in the input,
// so that a view can mark the right stroke. Values in any one unit; every figure comes out in that unit.
class ControlChart {
public:
    // 3 / d2 for moving ranges of two values (d2 = 1.128): the limits stand three sigma from the centre.
    static constexpr double kLimitFactor = 2.66;
    // This many points in a row strictly on one side of the centre line signal a shift.
    static constexpr int kRunLength = 9;

    enum Rule : unsigned {
        BeyondLimit = 1u << 0,  // strictly above the upper or below the lower control limit
        RunOnOneSide = 1u << 1, // the kRunLength-th or later point of a run on one side of the centre
    };

    // A point that breaks at least one rule.
    struct Violation {
        int index = 0;      // of the value in the input list
        unsigned rules = 0; // Rule flags
    };

    ControlChart() = default;
    explicit ControlChart(const QList<double>& values);

    // The finite values, in input order, and the input index of each.
    const QList<double>& points() const { return m_points; }
    const QList<int>& inputIndices() const { return m_inputIndices; }
    int count() const { return int(m_points.size()); }

    // The mean of the points; NaN without points.
    double centre() const { return m_centre; }
    // The mean absolute difference of consecutive points (MR-bar); NaN below two points.
    double averageMovingRange() const { return m_averageMovingRange; }
    // centre() ± kLimitFactor x averageMovingRange(); NaN below two points.
    double upperLimit() const { return m_upperLimit; }
    double lowerLimit() const { return m_lowerLimit; }

    // The points that break a rule, in input order; a point on the centre line ends a run and starts none.
    const QList<Violation>& violations() const { return m_violations; }

private:
    static constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

    QList<double> m_points;
    QList<int> m_inputIndices;
    double m_centre = kNaN;
    double m_averageMovingRange = kNaN;
    double m_upperLimit = kNaN;
    double m_lowerLimit = kNaN;
    QList<Violation> m_violations;
};
