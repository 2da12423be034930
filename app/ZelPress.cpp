#include "app/ZelPress.h"

#include "app/FileSystem.h"
#include "app/Logging.h"
#include "app/SettingsStore.h"
#include "link/AutoConnection.h"
#include "link/Protocol.h"

#include <memory>
#include <QDebug>
#include <QLabel>
#include <QStatusBar>

ZelPress::ZelPress(QWidget* parent)
    : QMainWindow(parent) {
    setObjectName(QStringLiteral("ZelPress"));
    setWindowTitle(tr("ZelPress"));
    resize(1100, 700);

    m_settings.setDefaults();
    m_settingsDirectory = Logging::logDirectory();
    if (!m_settingsDirectory.isEmpty())
        SettingsStore(std::make_shared<FileSystem>(), m_settingsDirectory).load(m_settings);

    m_connectionStatusLabel = new QLabel(this);
    m_connectionStatusLabel->setObjectName(QStringLiteral("connectionStatusLabel"));
    statusBar()->addWidget(m_connectionStatusLabel, 1);

    m_protocol = new Protocol(this);
    m_autoConnection = new AutoConnection(m_protocol, m_protocol);
    connect(m_autoConnection, &AutoConnection::connectionEstablished, this,
            &ZelPress::onConnectionEstablished);
    connect(m_protocol, &Protocol::closed, this, &ZelPress::onProtocolClosed);
    m_autoConnection->start();
    setStatusMessage(tr("Searching for available port connection ..."));
}

ZelPress::~ZelPress() {
    if (!m_settingsDirectory.isEmpty())
        SettingsStore(std::make_shared<FileSystem>(), m_settingsDirectory).save(m_settings);
    // The link goes first, while the window can still take its last signals.
    m_protocol->disconnect(this);
    delete m_protocol;
}

QString ZelPress::statusMessage() const {
    return m_connectionStatusLabel->text();
}

void ZelPress::setStatusMessage(const QString& text) {
    qDebug() << text;
    m_connectionStatusLabel->setText(text);
}

void ZelPress::onConnectionEstablished(const QString& portName) {
    m_connected = true;
    setStatusMessage(tr("Connection established on port \"%1\"").arg(portName));
}

void ZelPress::onProtocolClosed() {
    // Closings during the search are the search's own business; a lost connection restarts it.
    if (!m_connected)
        return;
    m_connected = false;
    setStatusMessage(tr("Searching for available port connection ..."));
    m_autoConnection->restart();
}
