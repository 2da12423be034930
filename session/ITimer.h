#pragma once

#include <QtGlobal>

// A monotonic stopwatch, so that logic that waits for a dwell time can run without real time.
class ITimer {
public:
    virtual ~ITimer() = default;
    // Starts the stopwatch, or restarts it from zero.
    virtual void start() = 0;
    // True when more than `milliseconds` have passed since the last start(); false before any start().
    virtual bool hasExpired(qint64 milliseconds) const = 0;
};
