#include "data/ControlChart.h"

#include "data/SeatingStatistics.h"

#include <cmath>

ControlChart::ControlChart(const QList<double>& values) {
    for (int i = 0; i < values.size(); ++i) {
        if (std::isfinite(values.at(i))) {
            m_points.append(values.at(i));
            m_inputIndices.append(i);
        }
    }
    if (m_points.isEmpty())
        return;
    m_centre = SeatingStatistics::summarize(m_points).mean;
    if (m_points.size() >= 2) {
        // A running mean of the moving ranges, as the centre is one: no sum that could overflow.
        double movingRange = 0.0;
        for (qsizetype i = 1; i < m_points.size(); ++i)
            movingRange += (std::abs(m_points.at(i) - m_points.at(i - 1)) - movingRange) / double(i);
        m_averageMovingRange = movingRange;
        m_upperLimit = m_centre + kLimitFactor * movingRange;
        m_lowerLimit = m_centre - kLimitFactor * movingRange;
    }

    int run = 0;
    int side = 0; // +1 above the centre, -1 below, 0 on it
    for (qsizetype i = 0; i < m_points.size(); ++i) {
        const double value = m_points.at(i);
        const int pointSide = value > m_centre ? 1 : (value < m_centre ? -1 : 0);
        run = (pointSide != 0 && pointSide == side) ? run + 1 : (pointSide != 0 ? 1 : 0);
        side = pointSide;
        unsigned rules = 0;
        // With NaN limits (one point) neither comparison holds.
        if (value > m_upperLimit || value < m_lowerLimit)
            rules |= BeyondLimit;
        if (run >= kRunLength)
            rules |= RunOnOneSide;
        if (rules != 0)
            m_violations.append({m_inputIndices.at(i), rules});
    }
}
