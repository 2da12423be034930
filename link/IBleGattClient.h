#pragma once

#include <QBluetoothUuid>
#include <QByteArray>

// The GATT client operations the Bluetooth port drives. Events of the link (connected, services and
// details discovered, notifications, errors) come back through the port's slots; a failed request
// shows up there as an error or a disconnection, never as a return value here.
class IBleGattClient {
public:
    virtual ~IBleGattClient() = default;

    virtual void connectToDevice() = 0;
    virtual void disconnectFromDevice() = 0;
    virtual void discoverServices() = 0;
    // Creates the object for a discovered service and routes its events to the port; false when the
    // device has no such service or the link is down.
    virtual bool createService(const QBluetoothUuid& service) = 0;
    // Discovers the created service's characteristics and descriptors, values included.
    virtual void discoverServiceDetails() = 0;
    // Whether the created service has this characteristic.
    virtual bool hasCharacteristic(const QBluetoothUuid& characteristic) const = 0;
    // Whether the characteristic carries a client characteristic configuration descriptor (0x2902).
    virtual bool hasClientConfiguration(const QBluetoothUuid& characteristic) const = 0;
    // Writes the characteristic's client characteristic configuration descriptor.
    virtual void writeClientConfiguration(const QBluetoothUuid& characteristic, const QByteArray& value) = 0;
    // Writes the bytes as one value to the characteristic, with response.
    virtual void writeCharacteristic(const QBluetoothUuid& characteristic, const QByteArray& value) = 0;
};
