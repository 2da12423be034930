#include "session/LoadcellCalibrationProcedure.h"

#include "link/Protocol.h"

#include <QDebug>

LoadcellCalibrationProcedure::LoadcellCalibrationProcedure(Protocol* protocol, QObject* parent)
    : BaseProcedure(protocol, kDefaultTimeoutMs, parent) {}

void LoadcellCalibrationProcedure::start() {
    if (!canStart())
        return;
    qInfo() << "Load cell calibration procedure started";
    connect(protocol(), &Protocol::pointReceived, this, &LoadcellCalibrationProcedure::onPointReceived);
    m_average = 0.0;
    m_readingSum = 0;
    m_pointCount = 0;
    BaseProcedure::start();
}

void LoadcellCalibrationProcedure::onPointReceived(int position, int value, int current) {
    Q_UNUSED(position)
    Q_UNUSED(current)
    m_readingSum += value;
    // Multiplied before dividing: (29 / 50.0) * 100.0 is 57.99..., which would truncate to 57.
    setProgress(int(m_pointCount * 100.0 / kSampleCount));
    if (++m_pointCount >= kSampleCount)
        finish();
}

void LoadcellCalibrationProcedure::finish() {
    if (hasEnded())
        return;
    m_average = m_pointCount > 0 ? double(m_readingSum) / m_pointCount : 0.0;
    qInfo() << "Load cell calibration procedure finished :" << m_average;
    setProgress(100);
    BaseProcedure::finish();
}
