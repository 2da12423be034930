#include "link/BleDiscoveryAgent.h"

#include <QBluetoothAddress>
#include <QDebug>

namespace {

const QString kPressName = QStringLiteral("ZEL PRESS");

bool isLowEnergy(const QBluetoothDeviceInfo& info) {
    return info.coreConfigurations().testFlag(QBluetoothDeviceInfo::LowEnergyCoreConfiguration);
}

} // namespace

BleDiscoveryAgent::BleDiscoveryAgent(QObject* parent)
    : QObject(parent)
    , m_discoveryAgent(std::make_unique<QBluetoothDeviceDiscoveryAgent>()) {
    connectAgent();
}

BleDiscoveryAgent::BleDiscoveryAgent(const QBluetoothAddress& adapter, QObject* parent)
    : QObject(parent)
    , m_discoveryAgent(std::make_unique<QBluetoothDeviceDiscoveryAgent>(adapter)) {
    connectAgent();
}

BleDiscoveryAgent::~BleDiscoveryAgent() {
    // Deleting a running agent stops it; that must not report a canceled scan from a dying object.
    m_discoveryAgent->disconnect(this);
}

void BleDiscoveryAgent::connectAgent() {
    QBluetoothDeviceDiscoveryAgent* agent = m_discoveryAgent.get();
    connect(agent, &QBluetoothDeviceDiscoveryAgent::deviceDiscovered, this,
            &BleDiscoveryAgent::onDeviceDiscovered);
    connect(agent, &QBluetoothDeviceDiscoveryAgent::deviceUpdated, this, &BleDiscoveryAgent::onDeviceUpdated);
    connect(agent, &QBluetoothDeviceDiscoveryAgent::errorOccurred, this, &BleDiscoveryAgent::discoveryError);
    connect(agent, &QBluetoothDeviceDiscoveryAgent::canceled, this, &BleDiscoveryAgent::discoveryCanceled);
    connect(agent, &QBluetoothDeviceDiscoveryAgent::finished, this, &BleDiscoveryAgent::discoveryFinished);
    agent->setLowEnergyDiscoveryTimeout(kDiscoveryTimeoutMs);
}

void BleDiscoveryAgent::start() {
    if (m_discoveryAgent->isActive())
        return;
    m_devices.clear();
    m_discoveryAgent->start(QBluetoothDeviceDiscoveryAgent::LowEnergyMethod);
    if (m_discoveryAgent->isActive())
        emit discoveryStarted();
}

void BleDiscoveryAgent::stop() {
    m_discoveryAgent->stop();
}

bool BleDiscoveryAgent::isActive() const {
    return m_discoveryAgent->isActive();
}

bool BleDiscoveryAgent::isPress(const QBluetoothDeviceInfo& info) {
    return isLowEnergy(info) && info.name() == kPressName;
}

void BleDiscoveryAgent::onDeviceDiscovered(const QBluetoothDeviceInfo& info) {
    if (!isLowEnergy(info)) {
        qWarning() << "Device" << info.name() << "[" << info.address().toString() << "]"
                   << "does not have the low energy configuration. Skipping.";
        return;
    }
    qDebug() << "BLE device discovered:" << info.name() << "[" << info.address().toString() << "]";
    if (!isPress(info))
        return;
    m_devices.append(info);
    emit deviceDiscovered(info);
}

void BleDiscoveryAgent::onDeviceUpdated(const QBluetoothDeviceInfo& info,
                                        QBluetoothDeviceInfo::Fields updatedFields) {
    qDebug() << "Device info updated:" << info.name() << "[" << info.address().toString() << "]"
             << " - updated fields:" << updatedFields;
}
