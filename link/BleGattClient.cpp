#include "link/BleGattClient.h"

#include "link/BlePort.h"

#include <QBluetoothDeviceInfo>
#include <QLowEnergyController>
#include <QLowEnergyService>

BleGattClient::BleGattClient(const QBluetoothDeviceInfo& device, BlePort* port)
    : m_port(port)
    , m_controller(QLowEnergyController::createCentral(device, port)) {
    QObject::connect(m_controller, &QLowEnergyController::serviceDiscovered, port,
                     &BlePort::onServiceDiscovered);
    // Queued: the service object is created after the controller's signal has returned.
    QObject::connect(m_controller, &QLowEnergyController::discoveryFinished, port,
                     &BlePort::onServiceDiscoveryFinished, Qt::QueuedConnection);
    QObject::connect(m_controller, &QLowEnergyController::errorOccurred, port,
                     &BlePort::onServiceDiscoveryError);
    QObject::connect(m_controller, &QLowEnergyController::connected, port, &BlePort::onControllerConnected);
    QObject::connect(m_controller, &QLowEnergyController::disconnected, port,
                     &BlePort::onControllerDisconnected);
}

BleGattClient::~BleGattClient() {
    // The controller and the service are children of the port and outlive this object by a moment:
    // nothing they emit while going away may reach the port's handlers.
    if (m_service)
        m_service->disconnect(m_port);
    if (m_controller)
        m_controller->disconnect(m_port);
}

void BleGattClient::connectToDevice() {
    m_controller->connectToDevice();
}

void BleGattClient::disconnectFromDevice() {
    m_controller->disconnectFromDevice();
}

void BleGattClient::discoverServices() {
    m_controller->discoverServices();
}

bool BleGattClient::createService(const QBluetoothUuid& service) {
    if (m_service)
        m_service->deleteLater();
    m_service = m_controller->createServiceObject(service, m_port);
    if (!m_service)
        return false;
    QObject::connect(m_service, &QLowEnergyService::stateChanged, m_port, &BlePort::onServiceStateChanged);
    QObject::connect(m_service, &QLowEnergyService::characteristicChanged, m_port,
                     &BlePort::onCharacteristicChanged);
    QObject::connect(m_service, &QLowEnergyService::errorOccurred, m_port, &BlePort::onServiceError);
    QObject::connect(m_service, &QLowEnergyService::descriptorWritten, m_port, &BlePort::onDescriptorWritten);
    return true;
}

void BleGattClient::discoverServiceDetails() {
    if (m_service)
        m_service->discoverDetails(QLowEnergyService::FullDiscovery);
}

bool BleGattClient::hasCharacteristic(const QBluetoothUuid& characteristic) const {
    return m_service && m_service->characteristic(characteristic).isValid();
}

bool BleGattClient::hasClientConfiguration(const QBluetoothUuid& characteristic) const {
    return m_service && m_service->characteristic(characteristic)
                            .descriptor(QBluetoothUuid::DescriptorType::ClientCharacteristicConfiguration)
                            .isValid();
}

void BleGattClient::writeClientConfiguration(const QBluetoothUuid& characteristic, const QByteArray& value) {
    if (!m_service)
        return;
    const QLowEnergyDescriptor descriptor =
        m_service->characteristic(characteristic)
            .descriptor(QBluetoothUuid::DescriptorType::ClientCharacteristicConfiguration);
    m_service->writeDescriptor(descriptor, value);
}

void BleGattClient::writeCharacteristic(const QBluetoothUuid& characteristic, const QByteArray& value) {
    if (!m_service)
        return;
    m_service->writeCharacteristic(m_service->characteristic(characteristic), value,
                                   QLowEnergyService::WriteWithResponse);
}
