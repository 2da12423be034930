#include "session/XPositionZeroSearchProcedure.h"

#include "link/Protocol.h"

#include <QDebug>

XPositionZeroSearchProcedure::XPositionZeroSearchProcedure(Protocol* protocol, int contactThreshold,
                                                           QObject* parent)
    : BaseProcedure(protocol, kDefaultTimeoutMs, parent)
    , m_contactThreshold(contactThreshold) {}

void XPositionZeroSearchProcedure::start() {
    if (!canStart())
        return;
    qInfo() << "X position zero search procedure started";
    connect(protocol(), &Protocol::pointReceived, this, &XPositionZeroSearchProcedure::onPointReceived);
    connect(protocol(), &Protocol::reportReceived, this, &XPositionZeroSearchProcedure::onReportReceived);
    m_xZero = 0;
    m_pointCount = 0;
    protocol()->go(true);
    BaseProcedure::start();
}

void XPositionZeroSearchProcedure::onPointReceived(int position, int value, int current) {
    Q_UNUSED(current)
    if (value < m_contactThreshold)
        m_xZero = qMax(m_xZero, position);
    if (m_pointCount++ >= kPointLimit) {
        qWarning() << "X position zero search procedure timed out (received more points than expected).";
        finish();
    }
}

void XPositionZeroSearchProcedure::onReportReceived(MotorReport::Report motorReport) {
    // A stroke that ran to the first angle limit found nothing to press against.
    m_dieDetected = motorReport != MotorReport::ReachedFirstAngleLimit;
    finish();
}

void XPositionZeroSearchProcedure::finish() {
    if (hasEnded())
        return;
    qInfo() << "X position zero search procedure finished :" << m_xZero;
    BaseProcedure::finish();
}
