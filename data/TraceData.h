#pragma once

#include "core/Units.h"
#include "data/Measurement.h"

#include <QList>
#include <QPointF>

// One unit system's copy of a trace: the points and the measurements derived from them.
// The measurements are computed once per change of the points and are 0 for an empty list.
class TraceData {
public:
    explicit TraceData(Units units = Metric);

    // Stores the points (recording order, x = position, y = force) and recomputes every measurement.
    void setPoints(const QList<QPointF>& points);

    const QList<QPointF>& points() const { return m_points; }
    // Largest force.
    double peakForce() const { return m_peakForce; }
    // Area under the curve by the trapezoid rule over the absolute position steps (force unit x position
    // unit).
    double workDone() const { return m_workDone; }
    // Force of the last point.
    double terminalForce() const { return m_terminalForce; }
    // Position from which the force rises steadily, on a 0.01 mm or 0.0005 inch grid.
    double startingPosition() const { return m_startingPosition; }
    Units units() const { return m_units; }

    // The selected measurement; Velocity and unknown selectors log "Unsupported measurement" and give NaN.
    double measurement(Measurement measurement) const;

private:
    QList<QPointF> m_points;
    double m_peakForce = 0.0;
    double m_workDone = 0.0;
    double m_terminalForce = 0.0;
    double m_startingPosition = 0.0;
    Units m_units = Metric;
};
