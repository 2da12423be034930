#pragma once

#include "link/MotorReport.h"
#include "session/BaseProcedure.h"

#include <QList>
#include <QPointF>

// A seating stroke (Go): sends the Go command and collects every sample taken before the X zero
// as a point (distance below the X zero, force above the zero offset). Ends on the first motor
// report, or after more than kPointLimit samples with lastReport() still None.
class PressProcedure : public BaseProcedure {
    Q_OBJECT
public:
    static constexpr unsigned int kPointLimit = 1000;

    // forceFactor converts load-cell counts, positionFactor encoder counts into the point units.
    PressProcedure(Protocol* protocol, int zeroOffset, int xZeroPosition, double forceFactor,
                   double positionFactor, QObject* parent = nullptr);

    void start() override;

    const QList<QPointF>& points() const { return m_points; }
    MotorReport::Report lastReport() const { return m_lastReport; }

signals:
    // One more point of points(), as it was appended.
    void pointRecorded(QPointF point);

private slots:
    void onPointReceived(int position, int value, int current);
    void onReportReceived(MotorReport::Report motorReport);

private:
    int m_zeroOffset;
    int m_xZeroPosition;
    double m_forceFactor;
    double m_positionFactor;
    unsigned int m_pointCount = 0;
    MotorReport::Report m_lastReport = MotorReport::None;
    QList<QPointF> m_points;
};
