#include "data/TraceData.h"

#include <QtDebug>

#include <cmath>
#include <limits>

namespace {

constexpr int kRisesForStart = 5;
constexpr double kMetricStartGrid = 0.01;
constexpr double kImperialStartGrid = 0.0005;

double roundToGrid(double value, double step) {
    return std::round(value / step) * step;
}

} // namespace

TraceData::TraceData(Units units)
    : m_units(units) {}

void TraceData::setPoints(const QList<QPointF>& points) {
    m_points = points;
    m_peakForce = 0.0;
    m_workDone = 0.0;
    m_terminalForce = 0.0;
    m_startingPosition = 0.0;
    const qsizetype count = m_points.size();
    if (count == 0)
        return;

    m_peakForce = m_points.first().y();
    for (const QPointF& point : m_points)
        m_peakForce = std::max(m_peakForce, point.y());

    for (qsizetype i = 1; i < count; ++i) {
        const QPointF& previous = m_points.at(i - 1);
        const QPointF& current = m_points.at(i);
        m_workDone += std::abs(previous.x() - current.x()) * (current.y() + previous.y()) * 0.5;
    }

    m_terminalForce = m_points.last().y();

    // The start is where five strict rises in a row begin; a comparison with NaN counts as no rise.
    double start = m_points.first().x();
    int rises = 0;
    for (qsizetype j = 1; j < count; ++j) {
        if (m_points.at(j).y() - m_points.at(j - 1).y() > 0.0)
            ++rises;
        else
            rises = 0;
        if (rises == kRisesForStart) {
            const double found = m_points.at(j - kRisesForStart).x();
            if (found != 0.0)
                start = found;
            break;
        }
    }
    m_startingPosition = roundToGrid(start, m_units == Metric ? kMetricStartGrid : kImperialStartGrid);
}

double TraceData::measurement(Measurement measurement) const {
    switch (measurement) {
    case PeakForce:
        return m_peakForce;
    case WorkDone:
        return m_workDone;
    case TerminalForce:
        return m_terminalForce;
    case StartingPosition:
        return m_startingPosition;
    case Velocity:
        break;
    }
    qWarning() << "Unsupported measurement";
    return std::numeric_limits<double>::quiet_NaN();
}
