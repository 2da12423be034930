#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class AutoConnection;
class IMessageBoxes;
class Protocol;
class Session;
struct Settings;

// The press connection of the main window: the one protocol of the run with its serial port search,
// and the hardware session that exists while a press is heard. It creates the session when the search
// finds the press and discards it when the protocol closes, then searches again.
class ConnectionWorkflow : public QObject {
    Q_OBJECT
public:
    // The settings and boxes are not owned and must outlive the workflow; the protocol is created as a
    // child of parent (the window) and the search as a child of the protocol.
    ConnectionWorkflow(Settings* settings, IMessageBoxes* messageBoxes, QObject* parent);
    // Stops the search and detaches the session and the protocol before deleting the protocol, so no
    // closed signal of a destructor reaches the window.
    ~ConnectionWorkflow() override;

    Protocol* protocol() const { return m_protocol; }
    AutoConnection* autoConnection() const { return m_autoConnection; }
    // The current session, or none.
    Session* session() const { return m_session; }
    bool bluetoothMode() const { return m_bluetoothMode; }

    // Starts the serial search and announces "Searching for available port connection ...".
    void start();
    // Creates, wires (through sessionCreated) and starts a session on the protocol.
    void initHardwareSession();
    // Switches to Bluetooth for the rest of the run: the serial search stops (closing a running serial
    // session at once).
    void enterBluetoothMode();

signals:
    void statusMessage(const QString& text);
    // A new session exists; connect to it before it starts talking.
    void sessionCreated(Session* session);
    // The session closed and is scheduled for deletion; in serial mode the search has restarted.
    void sessionClosed(Session* session);

private:
    void onConnectionEstablished(const QString& portName);
    void onSessionClosed(Session* session);

    Settings* m_settings;
    IMessageBoxes* m_messageBoxes;
    Protocol* m_protocol;
    AutoConnection* m_autoConnection;
    QPointer<Session> m_session;
    bool m_bluetoothMode = false;
};
