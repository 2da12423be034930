#pragma once

#include <QObject>

class Protocol;
class QTimer;

// One press command, from its start until its result (finished) or its end without one (canceled).
// A procedure is used once; unless told otherwise it schedules its own deletion when it ends, so
// its result accessors are read in handlers of finished(). It cancels itself when the link closes,
// and after timeoutMs without a sample from the press once started (0: no such watchdog).
class BaseProcedure : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultTimeoutMs = 10000;

    BaseProcedure(Protocol* protocol, int timeoutMs, QObject* parent = nullptr);

    bool isRunning() const { return m_running; }
    // True once finish() or cancel() has run; such a procedure never starts again.
    bool hasEnded() const { return m_ended; }
    int progress() const { return m_progress; }
    int timeoutMs() const { return m_timeoutMs; }
    // The watchdog interval in milliseconds (0 switches it off); takes effect at start().
    void setTimeoutMs(int milliseconds) { m_timeoutMs = milliseconds; }
    bool autoDelete() const { return m_autoDelete; }
    void setAutoDelete(bool autoDelete) { m_autoDelete = autoDelete; }

    // Begins the procedure; does nothing while running or once ended. Concrete procedures send
    // their command and connect to the protocol, then call this.
    virtual void start();

signals:
    void finished();
    void canceled();
    void progressChanged(int progress);

public slots:
    // Ends without a result: "Procedure cancelled." is logged and canceled() emitted, once.
    virtual void cancel();

protected:
    // Detaches from the press: no more samples, reports or link events reach the procedure.
    virtual void stop();
    // Ends with a result: finished() is emitted, once.
    virtual void finish();

    // A start() is allowed: not running and not ended.
    bool canStart() const { return !m_running && !m_ended; }
    // Stores p (0 to 100) and emits progressChanged(p) when it differs from the last value.
    void setProgress(int p);
    Protocol* protocol() const { return m_protocol; }

private:
    void restartWatchdog();

    Protocol* m_protocol;
    QTimer* m_watchdog = nullptr;
    bool m_running = false;
    bool m_ended = false;
    bool m_autoDelete = true;
    int m_timeoutMs;
    int m_progress = 0;
};
