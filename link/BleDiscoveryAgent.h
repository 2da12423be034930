#pragma once

#include <memory>
#include <QBluetoothDeviceDiscoveryAgent>
#include <QBluetoothDeviceInfo>
#include <QList>
#include <QObject>

class QBluetoothAddress;

// Scans for the press: a Bluetooth LE device advertising the name "ZEL PRESS". A scan ends by
// itself after kDiscoveryTimeoutMs (discoveryFinished), on stop() (discoveryCanceled) or with
// discoveryError; devices() keeps its matches until the next start().
class BleDiscoveryAgent : public QObject {
    Q_OBJECT
public:
    static constexpr int kDiscoveryTimeoutMs = 10000;

    explicit BleDiscoveryAgent(QObject* parent = nullptr);
    // Scans with the local adapter of this address instead of the default one.
    BleDiscoveryAgent(const QBluetoothAddress& adapter, QObject* parent);
    ~BleDiscoveryAgent() override;

    // Starts a scan unless one is running; discoveryStarted() once the scan runs.
    void start();
    // Stops the scan; discoveryCanceled() follows.
    void stop();
    bool isActive() const;
    // The presses found by the current or last scan, in the order found.
    QList<QBluetoothDeviceInfo> devices() const { return m_devices; }
    // Whether the device is the press: low-energy, and named exactly "ZEL PRESS".
    static bool isPress(const QBluetoothDeviceInfo& info);
    // The scanning agent, for tests that play its signals.
    QBluetoothDeviceDiscoveryAgent* discoveryAgent() const { return m_discoveryAgent.get(); }

signals:
    void deviceDiscovered(QBluetoothDeviceInfo deviceInfo);
    void discoveryError(QBluetoothDeviceDiscoveryAgent::Error error);
    void discoveryCanceled();
    void discoveryFinished();
    void discoveryStarted();

public slots:
    void onDeviceDiscovered(const QBluetoothDeviceInfo& info);
    void onDeviceUpdated(const QBluetoothDeviceInfo& info, QBluetoothDeviceInfo::Fields updatedFields);

private:
    void connectAgent();

    std::unique_ptr<QBluetoothDeviceDiscoveryAgent> m_discoveryAgent;
    QList<QBluetoothDeviceInfo> m_devices;
};
