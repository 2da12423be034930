#pragma once

#include "link/IBleGattClient.h"

#include <QPointer>

class BlePort;
class QBluetoothDeviceInfo;
class QLowEnergyController;
class QLowEnergyService;

// IBleGattClient on Qt Bluetooth: a central controller for the device and, once created, the press's
// service, both children of the port, with their signals connected to the port's slots.
class BleGattClient : public IBleGattClient {
public:
    BleGattClient(const QBluetoothDeviceInfo& device, BlePort* port);
    ~BleGattClient() override;

    void connectToDevice() override;
    void disconnectFromDevice() override;
    void discoverServices() override;
    bool createService(const QBluetoothUuid& service) override;
    void discoverServiceDetails() override;
    bool hasCharacteristic(const QBluetoothUuid& characteristic) const override;
    bool hasClientConfiguration(const QBluetoothUuid& characteristic) const override;
    void writeClientConfiguration(const QBluetoothUuid& characteristic, const QByteArray& value) override;
    void writeCharacteristic(const QBluetoothUuid& characteristic, const QByteArray& value) override;

private:
    BlePort* m_port;
    QPointer<QLowEnergyController> m_controller;
    QPointer<QLowEnergyService> m_service;
};
