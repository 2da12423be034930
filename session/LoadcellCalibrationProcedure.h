#pragma once

#include "session/BaseProcedure.h"

// Zeroing and weight measurement: averages the raw load-cell readings of kSampleCount samples
// that the press streams on its own. Sends no command.
class LoadcellCalibrationProcedure : public BaseProcedure {
    Q_OBJECT
public:
    static constexpr unsigned int kSampleCount = 50;

    explicit LoadcellCalibrationProcedure(Protocol* protocol, QObject* parent = nullptr);

    void start() override;

    // The mean raw reading, in load-cell counts; valid once finished() has been emitted.
    double average() const { return m_average; }

protected:
    void finish() override;

private slots:
    void onPointReceived(int position, int value, int current);

private:
    double m_average = 0.0;
    qint64 m_readingSum = 0;
    unsigned int m_pointCount = 0;
};
