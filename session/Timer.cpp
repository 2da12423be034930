#include "session/Timer.h"

void Timer::start() {
    m_timer.start();
}

bool Timer::hasExpired(qint64 milliseconds) const {
    return m_timer.isValid() && m_timer.elapsed() > milliseconds;
}
