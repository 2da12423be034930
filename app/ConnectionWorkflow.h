#pragma once

#include <QBluetoothDeviceDiscoveryAgent>
#include <QBluetoothDeviceInfo>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class AutoConnection;
class BleDiscoveryAgent;
class IPort;
class IMessageBoxes;
class Protocol;
class Session;
struct Settings;

// The press connection of the main window: the one protocol of the run with its serial port search and
// its Bluetooth discovery, and the hardware session that exists while a press is heard. It creates the
// session when the press is heard and discards it when the protocol closes; then, in serial mode, it
// searches again, and in Bluetooth mode it waits for the user's next connect request.
class ConnectionWorkflow : public QObject {
    Q_OBJECT
public:
    // The settings and boxes are not owned and must outlive the workflow; the protocol is created as a
    // child of parent (the window) and the search as a child of the protocol.
    ConnectionWorkflow(Settings* settings, IMessageBoxes* messageBoxes, QObject* parent);
    // Stops the search and detaches the session and the protocol before deleting the protocol, so no
    // closed signal of a destructor reaches the window.
    ~ConnectionWorkflow() override;

    // Opens the port for a discovered press; the real Bluetooth port unless a test replaces it.
    using BlePortFactory = std::function<IPort*(const QBluetoothDeviceInfo& device, QObject* parent)>;

    Protocol* protocol() const { return m_protocol; }
    AutoConnection* autoConnection() const { return m_autoConnection; }
    BleDiscoveryAgent* bleDiscoveryAgent() const { return m_bleDiscoveryAgent; }
    void setBlePortFactory(BlePortFactory factory) { m_blePortFactory = std::move(factory); }
    // The current session, or none.
    Session* session() const { return m_session; }
    bool bluetoothMode() const { return m_bluetoothMode; }

    // Starts the serial search and announces "Searching for available port connection ...".
    void start();
    // Creates, wires (through sessionCreated) and starts a session on the protocol.
    void initHardwareSession();
    // The Bluetooth connect request: Bluetooth for the rest of the run; the serial search stops (closing a
    // running serial session at once) and a discovery starts unless one is running.
    void connectBluetooth();
    // The end of a discovery: connects to the first press found, or reports that there was none.
    void processDiscoveredBleDevices();

signals:
    void statusMessage(const QString& text);
    // A new session exists; connect to it before it starts talking.
    void sessionCreated(Session* session);
    // The session closed and is scheduled for deletion; in serial mode the search has restarted.
    void sessionClosed(Session* session);
    // Whether the user may ask for a Bluetooth connection now.
    void bluetoothConnectEnabled(bool enabled);

private:
    void onConnectionEstablished(const QString& portName);
    void onSessionClosed(Session* session);
    void onDiscoveryError(QBluetoothDeviceDiscoveryAgent::Error error);
    void connectToPress(const QBluetoothDeviceInfo& device);

    Settings* m_settings;
    IMessageBoxes* m_messageBoxes;
    Protocol* m_protocol;
    AutoConnection* m_autoConnection;
    BleDiscoveryAgent* m_bleDiscoveryAgent;
    BlePortFactory m_blePortFactory;
    QPointer<Session> m_session;
    bool m_bluetoothMode = false;
};
