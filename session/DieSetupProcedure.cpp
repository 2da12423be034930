#include "session/DieSetupProcedure.h"

#include "link/Protocol.h"

#include <QDebug>

DieSetupProcedure::DieSetupProcedure(Protocol* protocol, QObject* parent)
    : BaseProcedure(protocol, kDefaultTimeoutMs, parent) {}

void DieSetupProcedure::start() {
    if (!canStart())
        return;
    connect(protocol(), &Protocol::pointReceived, this, &DieSetupProcedure::onPointReceived);
    connect(protocol(), &Protocol::reportReceived, this, &DieSetupProcedure::onReportReceived);
    protocol()->go(true);
    m_pointCount = 0;
    BaseProcedure::start();
}

void DieSetupProcedure::onPointReceived(int position, int value, int current) {
    Q_UNUSED(position)
    Q_UNUSED(value)
    Q_UNUSED(current)
    if (m_pointCount++ >= kPointLimit) {
        qWarning() << "Die setup procedure timed out (received more points than expected).";
        finish();
    }
}

void DieSetupProcedure::onReportReceived(MotorReport::Report motorReport) {
    Q_UNUSED(motorReport)
    finish();
}

void DieSetupProcedure::finish() {
    if (hasEnded())
        return;
    qInfo() << "Die setup procedure finished. Points received:" << m_pointCount;
    BaseProcedure::finish();
}
