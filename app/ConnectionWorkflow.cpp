#include "app/ConnectionWorkflow.h"

#include "link/AutoConnection.h"
#include "link/BleDiscoveryAgent.h"
#include "link/BlePort.h"
#include "link/Protocol.h"
#include "session/Session.h"

#include <QDebug>

ConnectionWorkflow::ConnectionWorkflow(Settings* settings, IMessageBoxes* messageBoxes, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_messageBoxes(messageBoxes)
    , m_protocol(new Protocol(parent))
    , m_autoConnection(new AutoConnection(m_protocol, m_protocol))
    , m_bleDiscoveryAgent(new BleDiscoveryAgent(parent))
    , m_blePortFactory([](const QBluetoothDeviceInfo& device, QObject* owner) -> IPort* {
        return new BlePort(device, owner);
    }) {
    connect(m_autoConnection, &AutoConnection::connectionEstablished, this,
            &ConnectionWorkflow::onConnectionEstablished);
    connect(m_bleDiscoveryAgent, &BleDiscoveryAgent::discoveryCanceled, this,
            &ConnectionWorkflow::processDiscoveredBleDevices);
    connect(m_bleDiscoveryAgent, &BleDiscoveryAgent::discoveryFinished, this,
            &ConnectionWorkflow::processDiscoveredBleDevices);
    connect(m_bleDiscoveryAgent, &BleDiscoveryAgent::discoveryStarted, this, [this]() {
        qDebug() << "BLE discovery started...";
        emit statusMessage(tr("Scanning for Bluetooth device ..."));
        emit bluetoothConnectEnabled(false);
    });
    connect(m_bleDiscoveryAgent, &BleDiscoveryAgent::deviceDiscovered, this,
            [this](const QBluetoothDeviceInfo& info) {
                qDebug() << "Target BLE device discovered:" << info.name() << "[" << info.address().toString()
                         << "]";
                m_bleDiscoveryAgent->stop();
            });
    connect(m_bleDiscoveryAgent, &BleDiscoveryAgent::discoveryError, this,
            &ConnectionWorkflow::onDiscoveryError);
}

ConnectionWorkflow::~ConnectionWorkflow() {
    // Detached first: stopping the search closes the port, and a session's closed signal that still
    // reached this workflow would start the search again on the next port while the window goes.
    if (m_session) {
        m_session->disconnect(this);
        m_session->disconnect(parent());
    }
    m_protocol->disconnect(this);
    m_protocol->disconnect(parent());
    m_autoConnection->disconnect(this);
    m_bleDiscoveryAgent->disconnect(this);
    m_autoConnection->stop();
    delete m_protocol;
}

void ConnectionWorkflow::start() {
    m_autoConnection->start();
    emit statusMessage(tr("Searching for available port connection ..."));
}

void ConnectionWorkflow::onConnectionEstablished(const QString& portName) {
    emit statusMessage(tr("Connection established on port \"%1\"").arg(portName));
    initHardwareSession();
}

void ConnectionWorkflow::initHardwareSession() {
    qDebug() << "Initializing hardware session";
    auto* session = new Session(m_protocol, m_settings, m_messageBoxes, parent());
    // The search restarts from this session's own end, never from a flag of the window.
    connect(session, &Session::closed, this, [this, session]() { onSessionClosed(session); });
    emit sessionCreated(session);
    m_session = session;
    session->init();
}

void ConnectionWorkflow::onSessionClosed(Session* session) {
    session->deleteLater();
    emit sessionClosed(session);
    if (m_bluetoothMode) {
        emit statusMessage(tr("Waiting for Bluetooth connection request ..."));
        return;
    }
    emit statusMessage(tr("Searching for available port connection ..."));
    m_autoConnection->restart();
}

void ConnectionWorkflow::connectBluetooth() {
    m_bluetoothMode = true;
    m_autoConnection->stop();
    m_bleDiscoveryAgent->start();
}

void ConnectionWorkflow::onDiscoveryError(QBluetoothDeviceDiscoveryAgent::Error error) {
    qDebug() << "BLE discovery error:" << error;
    if (error == QBluetoothDeviceDiscoveryAgent::PoweredOffError)
        emit statusMessage(tr("Bluetooth is off"));
    else if (error == QBluetoothDeviceDiscoveryAgent::InvalidBluetoothAdapterError)
        emit statusMessage(tr("Bluetooth adapter not found"));
    else
        emit statusMessage(tr("Bluetooth error occurred"));
    emit bluetoothConnectEnabled(true);
}

void ConnectionWorkflow::processDiscoveredBleDevices() {
    const QList<QBluetoothDeviceInfo> devices = m_bleDiscoveryAgent->devices();
    qDebug() << "BLE discovery finished," << devices.size() << "device(s) found";
    if (devices.isEmpty()) {
        emit statusMessage(tr("Bluetooth device not found"));
        emit bluetoothConnectEnabled(true);
        return;
    }
    connectToPress(devices.first());
}

void ConnectionWorkflow::connectToPress(const QBluetoothDeviceInfo& device) {
    IPort* port = m_blePortFactory(device, m_protocol);
    m_protocol->setPort(port);
    if (auto* blePort = qobject_cast<BlePort*>(port))
        blePort->endLinkUpLimitWhenHeard(m_protocol);
    // Link-up and failure each happen at most once per port: whichever comes first ends both. The
    // press is heard from its application (a valid sample) or, as over a serial port, its bootloader.
    auto connections = std::make_shared<QList<QMetaObject::Connection>>();
    const auto endBoth = [connections]() {
        for (const QMetaObject::Connection& connection : std::as_const(*connections))
            disconnect(connection);
    };
    const QString address = device.address().toString();
    const auto linkUp = [this, endBoth, address]() {
        endBoth();
        emit statusMessage(tr("Bluetooth connection established to address \"%1\"").arg(address));
        initHardwareSession();
    };
    connections->append(connect(m_protocol, &Protocol::communicatingWithApplication, this, linkUp));
    connections->append(connect(m_protocol, &Protocol::communicatingWithBootloader, this, linkUp));
    // A port that closes before the press is heard (no service, a lost link, nothing within the time
    // limit) has no session to report it: say so here and let the user try again.
    connections->append(connect(m_protocol, &Protocol::closed, this, [this, endBoth]() {
        endBoth();
        emit statusMessage(tr("Bluetooth connection failed"));
        emit bluetoothConnectEnabled(true);
    }));
}
