#include "session/PressProcedure.h"

#include "link/Protocol.h"

#include <QDebug>

PressProcedure::PressProcedure(Protocol* protocol, int zeroOffset, int xZeroPosition, double forceFactor,
                               double positionFactor, QObject* parent)
    : BaseProcedure(protocol, kDefaultTimeoutMs, parent)
    , m_zeroOffset(zeroOffset)
    , m_xZeroPosition(xZeroPosition)
    , m_forceFactor(forceFactor)
    , m_positionFactor(positionFactor) {}

void PressProcedure::start() {
    if (!canStart())
        return;
    connect(protocol(), &Protocol::pointReceived, this, &PressProcedure::onPointReceived);
    connect(protocol(), &Protocol::reportReceived, this, &PressProcedure::onReportReceived);
    protocol()->go(false);
    m_pointCount = 0;
    m_points.clear();
    BaseProcedure::start();
}

void PressProcedure::onPointReceived(int position, int value, int current) {
    Q_UNUSED(current)
    if (position < m_xZeroPosition) {
        // In double precision from the start: the differences of two counts may not fit an int.
        const double x = (double(m_xZeroPosition) - double(position)) * m_positionFactor;
        const double y = (double(value) - double(m_zeroOffset)) * m_forceFactor;
        m_points.append(QPointF(x, y));
        emit pointRecorded(m_points.constLast());
    }
    if (m_pointCount++ >= kPointLimit) {
        qWarning() << "Press procedure timed out (received more points than expected).";
        finish();
    }
}

void PressProcedure::onReportReceived(MotorReport::Report motorReport) {
    m_lastReport = motorReport;
    finish();
}
