#pragma once

#include "link/MotorReport.h"
#include "session/BaseProcedure.h"

// The X zero search: an auxiliary stroke that records the furthest position reached while the
// load-cell reading stays below the contact threshold. A die counts as detected when the stroke
// ends on any report other than ReachedFirstAngleLimit; more than kPointLimit samples end it
// without one.
class XPositionZeroSearchProcedure : public BaseProcedure {
    Q_OBJECT
public:
    static constexpr unsigned int kPointLimit = 4000;

    // contactThreshold: raw load-cell reading at which the ram counts as touching the die.
    XPositionZeroSearchProcedure(Protocol* protocol, int contactThreshold, QObject* parent = nullptr);

    void start() override;

    // Encoder counts; 0 when no sample came in below the threshold.
    int xZero() const { return m_xZero; }
    bool dieDetected() const { return m_dieDetected; }

protected:
    void finish() override;

private slots:
    void onPointReceived(int position, int value, int current);
    void onReportReceived(MotorReport::Report motorReport);

private:
    int m_xZero = 0;
    int m_contactThreshold;
    unsigned int m_pointCount = 0;
    bool m_dieDetected = false;
};
