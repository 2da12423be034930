#pragma once

#include "link/PortCandidate.h"

#include <functional>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class IPort;
class Protocol;

// Finds the press by itself: hands each FTDI serial port in turn to the protocol and keeps the
// first one on which the press is heard within a second; rescans when the list is used up.
class AutoConnection : public QObject {
    Q_OBJECT
public:
    static constexpr int kAttemptTimeoutMs = 1000;
    static constexpr int kRescanDelayMs = 500;
    static constexpr int kRetryDelayMs = 100;

    // Every serial port the system lists, unfiltered.
    using PortLister = std::function<QList<PortCandidate>()>;
    // Opens a port by name; the result is handed to the protocol.
    using PortFactory = std::function<IPort*(const QString& portName, QObject* parent)>;

    AutoConnection(Protocol* protocol, QObject* parent);
    ~AutoConnection() override;

    void start();
    void restart();
    void stop();
    // Replaces the candidates with the FTDI ports the system lists now.
    void refreshPorts();

    bool isActive() const { return m_active; }
    bool isAttemptPending() const { return m_attemptPending; }
    // The port list is used up and will be read again shortly.
    bool isRescanScheduled() const { return m_rescanTimer.isActive(); }
    QList<PortCandidate> candidates() const { return m_candidates; }

    // Seams for tests: where the port list comes from and how a port is opened.
    void setPortLister(PortLister lister) { m_portLister = std::move(lister); }
    void setPortFactory(PortFactory factory) { m_portFactory = std::move(factory); }

    // The system's serial ports, or only the emulated press when the command line asks for it.
    static QList<PortCandidate> systemPorts();
    // A UsbPort, or the emulated press for the port named "ComEmulation".
    static IPort* openPort(const QString& portName, QObject* parent);

signals:
    void connectionEstablished(QString portName);

public slots:
    void connectNextAvaliablePort();

private:
    void dropPort();

    QPointer<Protocol> m_protocol;
    bool m_active = false;
    bool m_attemptPending = false;
    QList<PortCandidate> m_candidates;
    quint32 m_nextIndex = 0;
    QTimer m_rescanTimer;
    PortLister m_portLister = &AutoConnection::systemPorts;
    PortFactory m_portFactory = &AutoConnection::openPort;
};
