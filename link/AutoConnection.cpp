#include "link/AutoConnection.h"

#include "core/CommandLine.h"
#include "link/EmulatedPort.h"
#include "link/Protocol.h"
#include "link/UsbPort.h"

#include <QCoreApplication>
#include <QSerialPortInfo>

namespace {
const QString kEmulatedPortName = QStringLiteral("ComEmulation");
}

AutoConnection::AutoConnection(Protocol* protocol, QObject* parent)
    : QObject(parent)
    , m_protocol(protocol) {
    m_rescanTimer.setSingleShot(true);
    m_rescanTimer.setInterval(kRescanDelayMs);
    connect(&m_rescanTimer, &QTimer::timeout, this, [this] {
        if (!m_active)
            return;
        refreshPorts();
        connectNextAvaliablePort();
    });
}

AutoConnection::~AutoConnection() {
    // The protocol is usually our parent and already half destroyed here; the guarded
    // pointer is null then and nothing is called on it.
    if (m_active) {
        m_active = false;
        dropPort();
    }
}

void AutoConnection::start() {
    if (m_active)
        return;
    m_active = true;
    connectNextAvaliablePort();
}

void AutoConnection::restart() {
    if (m_active) {
        m_active = false;
        dropPort();
        // Dropping the port may have run a handler that started the search again.
        if (m_active)
            return;
    }
    m_active = true;
    connectNextAvaliablePort();
}

void AutoConnection::stop() {
    if (!m_active)
        return;
    m_active = false;
    dropPort();
}

void AutoConnection::dropPort() {
    if (m_protocol)
        m_protocol->closePort();
}

QList<PortCandidate> AutoConnection::systemPorts() {
    if (QCoreApplication::instance() && CommandLine::emulatedPressRequested(QCoreApplication::arguments()))
        return {PortCandidate{kEmulatedPortName, QStringLiteral("Emulated press"), QStringLiteral("FTDI")}};
    QList<PortCandidate> ports;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : infos)
        ports.append(PortCandidate{info.portName(), info.description(), info.manufacturer()});
    return ports;
}

IPort* AutoConnection::openPort(const QString& portName, QObject* parent) {
    if (portName == kEmulatedPortName)
        return new EmulatedPort(portName, parent);
    return new UsbPort(portName, parent);
}

void AutoConnection::refreshPorts() {
    QList<PortCandidate> candidates;
    const QList<PortCandidate> ports = m_portLister();
    for (const PortCandidate& port : ports) {
        if (port.manufacturer.contains(QLatin1String("FTDI"), Qt::CaseSensitive))
            candidates.append(port);
    }
    m_candidates = candidates;
    m_nextIndex = 0;
}

void AutoConnection::connectNextAvaliablePort() {
    if (!m_active || m_attemptPending || !m_protocol)
        return;
    if (m_nextIndex >= static_cast<quint32>(m_candidates.size())) {
        m_rescanTimer.start();
        return;
    }
    const QString portName = m_candidates.at(static_cast<qsizetype>(m_nextIndex)).portName;
    Protocol* protocol = m_protocol;
    // A port still attached would report its closing to this attempt; drop it first.
    protocol->closePort();

    // Everything belonging to this attempt hangs off one context object and goes with it.
    auto* context = new QObject(this);
    auto* timer = new QTimer(context);
    timer->start(kAttemptTimeoutMs);

    IPort* port = m_portFactory(portName, protocol);

    connect(timer, &QTimer::timeout, context, [this] { dropPort(); });
    // The handlers delete their own context; they copy what they need out of their captures first.
    const auto succeeded = [this, context, portName] {
        AutoConnection* self = this;
        const QString name = portName;
        delete context;
        self->m_attemptPending = false;
        emit self->connectionEstablished(name);
    };
    connect(protocol, &Protocol::communicatingWithApplication, context, succeeded);
    connect(protocol, &Protocol::communicatingWithBootloader, context, succeeded);
    connect(protocol, &Protocol::closed, context, [this, context] {
        AutoConnection* self = this;
        delete context;
        self->m_attemptPending = false;
        QTimer::singleShot(kRetryDelayMs, self, &AutoConnection::connectNextAvaliablePort);
    });

    protocol->setPort(port);
    m_attemptPending = true;
    ++m_nextIndex;
}
