#pragma once

#include "link/IPort.h"

#include <memory>
#include <QBluetoothUuid>
#include <QByteArray>
#include <QLowEnergyCharacteristic>
#include <QLowEnergyController>
#include <QLowEnergyDescriptor>
#include <QLowEnergyService>
#include <QTimer>

class IBleGattClient;
class Protocol;
class QBluetoothDeviceInfo;

// The press over Bluetooth LE: a GATT client of its serial service. Commands are written to the RX
// characteristic, the press's bytes arrive as notifications of the TX characteristic. The port
// connects by itself from construction; it is open once notifications have been requested. Any
// failure on the way, or not hearing the press within kLinkUpLimitMs of starting to connect, closes it.
class BlePort : public IPort {
    Q_OBJECT
public:
    static constexpr int kLinkUpLimitMs = 10000;

    // Connects to the device through Qt Bluetooth (the attempt starts from the event loop, so the
    // owner is listening to closed() before anything can fail).
    BlePort(const QBluetoothDeviceInfo& device, QObject* parent = nullptr);
    // The same on another GATT client; the port owns it.
    BlePort(std::unique_ptr<IBleGattClient> client, QObject* parent = nullptr);
    ~BlePort() override;

    // While open: the bytes as one value to the RX characteristic, returns their count. Before: 0.
    qint64 write(const QByteArray& data) override;
    // Every notified byte not read yet, each exactly once; empty before the port is open.
    QByteArray read() override;
    bool isOpen() const override { return m_ready; }

    // The protocol has heard the press on this port: the link-up limit no longer applies.
    void onLinkUp();
    // Ends the link-up limit when the protocol carrying this port first hears the press: a valid
    // sample of its application or the announcement of its bootloader.
    void endLinkUpLimitWhenHeard(const Protocol* protocol);
    // The value of the latest TX notification.
    QByteArray lastValue() const { return m_lastValue; }
    // The link-up limit, exposed so a test can see it run and fire it.
    QTimer* linkUpTimer() { return &m_linkUpTimer; }
    // A notification of the characteristic with this UUID (what onCharacteristicChanged hands on).
    void onNotification(const QBluetoothUuid& characteristic, const QByteArray& value);

public slots:
    // Disconnects when connected (closed() follows the disconnection); otherwise emits closed() at
    // once. closed() is emitted once per port.
    void close() override;
    void onServiceDiscoveryError(QLowEnergyController::Error error);
    void onServiceDiscovered(const QBluetoothUuid& gatt);
    void onServiceDiscoveryFinished();
    void onControllerConnected();
    void onControllerDisconnected();
    void onServiceStateChanged(QLowEnergyService::ServiceState serviceState);
    void onCharacteristicChanged(const QLowEnergyCharacteristic& info, const QByteArray& value);
    void onServiceError(QLowEnergyService::ServiceError error);
    void onDescriptorWritten(const QLowEnergyDescriptor& info, const QByteArray& value);

private:
    void startConnecting();
    bool setUpCharacteristics();
    void onLinkUpLimitReached();
    void emitClosed();

    std::unique_ptr<IBleGattClient> m_client;
    const QBluetoothUuid m_serviceUuid;
    const QBluetoothUuid m_rxUuid;
    const QBluetoothUuid m_txUuid;
    const QByteArray m_cccdValue;
    bool m_ready = false;
    bool m_serviceFound = false;
    bool m_controllerConnected = false;
    bool m_closeRequested = false;
    bool m_closed = false;
    bool m_linkUp = false;
    QByteArray m_lastValue;
    QByteArray m_received; // notified bytes not read yet
    QTimer m_linkUpTimer;
};
