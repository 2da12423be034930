#pragma once

#include "app/Settings.h"

#include <QMainWindow>

class AutoConnection;
class Protocol;
class QLabel;

// The application's main window. It owns the settings record (loaded at construction, saved at
// destruction), the press protocol and the serial port search.
class ZelPress : public QMainWindow {
    Q_OBJECT
public:
    explicit ZelPress(QWidget* parent = nullptr);
    ~ZelPress() override;

    Settings* settings() { return &m_settings; }
    Protocol* protocol() const { return m_protocol; }
    AutoConnection* autoConnection() const { return m_autoConnection; }
    // The connection status text shown in the status bar.
    QString statusMessage() const;

public slots:
    // Logs the text and shows it as the connection status.
    void setStatusMessage(const QString& text);

private:
    void onConnectionEstablished(const QString& portName);
    void onProtocolClosed();

    Settings m_settings;
    QString m_settingsDirectory;
    Protocol* m_protocol = nullptr;
    AutoConnection* m_autoConnection = nullptr;
    QLabel* m_connectionStatusLabel = nullptr;
    bool m_connected = false;
};
