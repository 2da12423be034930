#pragma once

#include "link/IPort.h"

#include <QSerialPort>

// The press on a USB serial port (115200 8N1, no flow control), opened at construction.
class UsbPort : public IPort {
    Q_OBJECT
public:
    UsbPort(const QString& portName, QObject* parent = nullptr);
    ~UsbPort() override;

    qint64 write(const QByteArray& data) override;
    QByteArray read() override;
    bool isOpen() const override;
    void close() override;

    // The text logged for a serial port error when opening fails.
    static QString errorText(QSerialPort::SerialPortError error);

private:
    QSerialPort m_serialPort;
};
