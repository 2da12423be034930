#pragma once

#include "link/MotorReport.h"
#include "session/BaseProcedure.h"

// The die set-up: an auxiliary stroke with no result; it ends on the first motor report or after
// more than kPointLimit samples.
class DieSetupProcedure : public BaseProcedure {
    Q_OBJECT
public:
    static constexpr unsigned int kPointLimit = 1000;

    explicit DieSetupProcedure(Protocol* protocol, QObject* parent = nullptr);

    void start() override;

protected:
    void finish() override;

private slots:
    void onPointReceived(int position, int value, int current);
    void onReportReceived(MotorReport::Report motorReport);

private:
    unsigned int m_pointCount = 0;
};
