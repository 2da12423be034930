#pragma once

#include "session/ITimer.h"

#include <QElapsedTimer>

// ITimer on the system's monotonic clock.
class Timer : public ITimer {
public:
    void start() override;
    bool hasExpired(qint64 milliseconds) const override;

private:
    QElapsedTimer m_timer;
};
