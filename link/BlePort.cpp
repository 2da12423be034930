#include "link/BlePort.h"

#include "link/BleGattClient.h"
#include "link/Protocol.h"

#include <QBluetoothDeviceInfo>
#include <QDebug>
#include <utility>

BlePort::BlePort(const QBluetoothDeviceInfo& device, QObject* parent)
    : BlePort(std::unique_ptr<IBleGattClient>(), parent) {
    // The client needs the finished port to route the controller's signals; connecting starts from
    // the event loop, after this.
    m_client = std::make_unique<BleGattClient>(device, this);
}

BlePort::BlePort(std::unique_ptr<IBleGattClient> client, QObject* parent)
    : IPort(parent)
    , m_client(std::move(client))
    , m_serviceUuid(QStringLiteral("6e400001-b5a3-f393-e0a9-e50e24dcca9e"))
    , m_rxUuid(QStringLiteral("6e400002-b5a3-f393-e0a9-e50e24dcca9e"))
    , m_txUuid(QStringLiteral("6e400003-b5a3-f393-e0a9-e50e24dcca9e"))
    , m_cccdValue(QByteArray::fromHex("0100")) {
    qDebug() << "> Creating" << this;
    m_linkUpTimer.setSingleShot(true);
    m_linkUpTimer.setInterval(kLinkUpLimitMs);
    connect(&m_linkUpTimer, &QTimer::timeout, this, &BlePort::onLinkUpLimitReached);
    qInfo() << "Connecting to BLE device...";
    m_linkUpTimer.start();
    // A connection attempt can fail at once (no adapter); started from here its closed() would reach
    // nobody, because the port is handed to the protocol only after construction.
    QMetaObject::invokeMethod(this, &BlePort::startConnecting, Qt::QueuedConnection);
}

BlePort::~BlePort() {
    qDebug() << "> Deleting" << this;
}

void BlePort::startConnecting() {
    if (!m_closeRequested)
        m_client->connectToDevice();
}

qint64 BlePort::write(const QByteArray& data) {
    if (!m_ready) {
        qWarning() << "Failed to write to BLE port";
        return 0;
    }
    // One value, never split: every command reaches the press in a single write.
    m_client->writeCharacteristic(m_rxUuid, data);
    return data.size();
}

QByteArray BlePort::read() {
    if (!m_ready)
        return {};
    // Drained, so a second read never hands the same notification on again.
    return std::exchange(m_received, QByteArray());
}

void BlePort::onLinkUp() {
    m_linkUp = true;
    m_linkUpTimer.stop();
}

void BlePort::endLinkUpLimitWhenHeard(const Protocol* protocol) {
    connect(protocol, &Protocol::communicatingWithApplication, this, &BlePort::onLinkUp);
    // The bootloader sends no samples; its announcement is the press answering all the same.
    connect(protocol, &Protocol::communicatingWithBootloader, this, &BlePort::onLinkUp);
}

void BlePort::close() {
    m_closeRequested = true;
    if (m_controllerConnected) {
        m_client->disconnectFromDevice();
        return;
    }
    // Also abandons a connection attempt under way, so the device is not left connected to a port
    // that has already closed.
    m_client->disconnectFromDevice();
    emitClosed();
}

void BlePort::emitClosed() {
    m_linkUpTimer.stop();
    if (m_closed)
        return;
    m_closed = true;
    emit closed();
}

void BlePort::onLinkUpLimitReached() {
    if (m_linkUp || m_closed)
        return;
    qWarning() << "No valid sample from the BLE device within" << kLinkUpLimitMs / 1000 << "s. Closing.";
    m_closeRequested = true;
    if (m_controllerConnected)
        m_client->disconnectFromDevice();
    // Closed now, not when the disconnection is reported: a link that is stuck may never report it.
    emitClosed();
}

void BlePort::onServiceDiscoveryError(QLowEnergyController::Error error) {
    qCritical() << "Service discovery error:" << error;
    close();
}

void BlePort::onServiceDiscovered(const QBluetoothUuid& gatt) {
    qDebug() << "Service discovered:" << gatt;
    if (gatt == m_serviceUuid) {
        qInfo() << "Found target service:" << gatt;
        m_serviceFound = true;
    }
}

void BlePort::onServiceDiscoveryFinished() {
    if (m_closeRequested)
        return;
    qInfo() << "Service discovery finished.";
    if (!m_serviceFound) {
        qWarning() << "Couldn't find service:" << m_serviceUuid;
        close();
        return;
    }
    qInfo() << "Creating service handler...";
    if (!m_client->createService(m_serviceUuid)) {
        qInfo() << "Service matching" << m_serviceUuid
                << "cannot be found on the remote device, or the controller is disconnected.";
        close();
        return;
    }
    qInfo() << "Discovering service details...";
    m_client->discoverServiceDetails();
}

void BlePort::onControllerConnected() {
    m_controllerConnected = true;
    if (m_closeRequested) {
        // Closed while connecting: the link came up too late to be used.
        m_client->disconnectFromDevice();
        return;
    }
    qInfo() << "BLE controller connected. Discovering services...";
    m_client->discoverServices();
}

void BlePort::onControllerDisconnected() {
    m_controllerConnected = false;
    qInfo() << "BLE controller disconnected.";
    emitClosed();
}

void BlePort::onServiceStateChanged(QLowEnergyService::ServiceState serviceState) {
    if (m_closeRequested)
        return;
    switch (serviceState) {
    case QLowEnergyService::RemoteServiceDiscovering:
        qInfo() << "Discovering service...";
        break;
    case QLowEnergyService::RemoteServiceDiscovered:
        qInfo() << "Service discovered.";
        if (!setUpCharacteristics())
            close();
        break;
    case QLowEnergyService::InvalidService:
        qWarning() << "Invalid service state reached.";
        close();
        break;
    default:
        qDebug() << "Unhandled state reached:" << serviceState;
        close();
        break;
    }
}

bool BlePort::setUpCharacteristics() {
    if (!m_client->hasCharacteristic(m_rxUuid)) {
        qWarning() << "Didn't find RX characteristic" << m_rxUuid;
        return false;
    }
    qInfo() << "Found characteristic" << m_rxUuid;
    if (!m_client->hasCharacteristic(m_txUuid)) {
        qWarning() << "Didn't find TX characteristic" << m_txUuid;
        return false;
    }
    qInfo() << "Found characteristic" << m_txUuid;
    if (!m_client->hasClientConfiguration(m_txUuid)) {
        qWarning()
            << "Couldn't find the ClientCharacteristicConfigure descriptor from the TX characteristic.";
        return false;
    }
    qInfo() << "Writing to CCCD from the TX characteristic to enable notifications...";
    m_client->writeClientConfiguration(m_txUuid, m_cccdValue);
    m_ready = true;
    return true;
}

void BlePort::onCharacteristicChanged(const QLowEnergyCharacteristic& info, const QByteArray& value) {
    onNotification(info.uuid(), value);
}

void BlePort::onNotification(const QBluetoothUuid& characteristic, const QByteArray& value) {
    if (characteristic != m_txUuid) {
        qWarning() << "Unknown characteristic changed:" << characteristic.toString();
        close();
        return;
    }
    // A notification is a piece of the byte stream, not a line: it is kept until read, and read once.
    m_lastValue = value;
    m_received.append(value);
    emit readyRead();
}

void BlePort::onServiceError(QLowEnergyService::ServiceError error) {
    qCritical() << "BLE server error:" << error;
    close();
}

void BlePort::onDescriptorWritten(const QLowEnergyDescriptor& info, const QByteArray& value) {
    qInfo() << "Descriptor written:" << info.uuid() << "value:" << value;
}
