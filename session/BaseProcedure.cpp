#include "session/BaseProcedure.h"

#include "link/Protocol.h"

#include <QDebug>
#include <QTimer>

BaseProcedure::BaseProcedure(Protocol* protocol, int timeoutMs, QObject* parent)
    : QObject(parent)
    , m_protocol(protocol)
    , m_timeoutMs(timeoutMs) {
    connect(m_protocol, &Protocol::closed, this, &BaseProcedure::cancel);
}

void BaseProcedure::start() {
    if (!canStart())
        return;
    if (m_timeoutMs > 0) {
        // An inactivity watchdog: a press that stops talking without closing its port must not
        // leave a procedure (and the progress window bound to it) waiting for ever.
        m_watchdog = new QTimer(this);
        m_watchdog->setSingleShot(true);
        m_watchdog->setInterval(m_timeoutMs);
        connect(m_watchdog, &QTimer::timeout, this, &BaseProcedure::cancel);
        connect(m_protocol, &Protocol::pointReceived, this, &BaseProcedure::restartWatchdog);
        m_watchdog->start();
    }
    m_running = true;
}

void BaseProcedure::stop() {
    m_running = false;
    if (m_watchdog)
        m_watchdog->stop();
    disconnect(m_protocol, nullptr, this, nullptr);
}

void BaseProcedure::cancel() {
    if (m_ended)
        return;
    m_ended = true;
    qWarning() << "Procedure cancelled.";
    stop();
    if (m_autoDelete)
        deleteLater();
    emit canceled();
}

void BaseProcedure::finish() {
    if (m_ended)
        return;
    m_ended = true;
    stop();
    if (m_autoDelete)
        deleteLater();
    emit finished();
}

void BaseProcedure::setProgress(int p) {
    if (p == m_progress)
        return;
    m_progress = p;
    emit progressChanged(p);
}

void BaseProcedure::restartWatchdog() {
    if (m_watchdog && m_running)
        m_watchdog->start();
}
