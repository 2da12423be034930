#include "app/ConnectionWorkflow.h"

#include "link/AutoConnection.h"
#include "link/Protocol.h"
#include "session/Session.h"

#include <QDebug>

ConnectionWorkflow::ConnectionWorkflow(Settings* settings, IMessageBoxes* messageBoxes, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_messageBoxes(messageBoxes)
    , m_protocol(new Protocol(parent))
    , m_autoConnection(new AutoConnection(m_protocol, m_protocol)) {
    connect(m_autoConnection, &AutoConnection::connectionEstablished, this,
            &ConnectionWorkflow::onConnectionEstablished);
}

ConnectionWorkflow::~ConnectionWorkflow() {
    m_autoConnection->stop();
    if (m_session) {
        m_session->disconnect(this);
        m_session->disconnect(parent());
    }
    m_protocol->disconnect(this);
    m_protocol->disconnect(parent());
    m_autoConnection->disconnect(this);
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

void ConnectionWorkflow::enterBluetoothMode() {
    m_bluetoothMode = true;
    m_autoConnection->stop();
}
