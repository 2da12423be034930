#include "link/UsbPort.h"

#include <QDebug>

UsbPort::UsbPort(const QString& portName, QObject* parent)
    : IPort(parent) {
    qDebug() << "> Creating" << this;
    qDebug() << "Opening ZEL USB port: portName =" << portName;
    m_serialPort.setPortName(portName);
    m_serialPort.setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    m_serialPort.setDataBits(QSerialPort::Data8);
    m_serialPort.setFlowControl(QSerialPort::NoFlowControl);
    m_serialPort.setParity(QSerialPort::NoParity);
    m_serialPort.setStopBits(QSerialPort::OneStop);

    if (!m_serialPort.open(QIODevice::ReadWrite)) {
        qWarning() << "Failed to open ZEL USB port:"
                   << "portName =" << portName << "err =" << errorText(m_serialPort.error());
        return;
    }
    connect(&m_serialPort, &QSerialPort::readyRead, this, &IPort::readyRead);
    connect(&m_serialPort, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        // NoError is reported when an error is cleared; only a real error ends the link.
        if (error != QSerialPort::NoError)
            close();
    });
    qDebug() << "Successfully opened ZEL USB port: portName =" << portName;
    // Wakes the press's line reader.
    write(QByteArrayLiteral("\n"));
}

UsbPort::~UsbPort() {
    qDebug() << "> Deleting" << this;
    if (m_serialPort.isOpen())
        m_serialPort.close();
}

qint64 UsbPort::write(const QByteArray& data) {
    if (!m_serialPort.isOpen()) {
        qWarning() << "Failed to write to RS-232 port";
        return 0;
    }
    // QSerialPort reports a failed write as -1; the port interface promises 0.
    const qint64 written = m_serialPort.write(data);
    if (written < 0) {
        qWarning() << "Failed to write to RS-232 port";
        return 0;
    }
    return written;
}

QByteArray UsbPort::read() {
    if (!m_serialPort.isOpen()) {
        qWarning() << "Failed to read from RS-232 port";
        return {};
    }
    return m_serialPort.readAll();
}

bool UsbPort::isOpen() const {
    return m_serialPort.isOpen();
}

void UsbPort::close() {
    m_serialPort.disconnect(this);
    m_serialPort.close();
    emit closed();
}

QString UsbPort::errorText(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("An error occurred while attempting to open an non - existing device.");
    case QSerialPort::PermissionError:
        return QStringLiteral(
            "An error occurred while attempting to open an already opened device by another "
            "process or a user not having enough permission and credentials to open.");
    case QSerialPort::WriteError:
        return QStringLiteral("An I/O error occurred while writing the data.");
    case QSerialPort::ReadError:
        return QStringLiteral("An I/O error occurred while reading the data.");
    case QSerialPort::ResourceError:
        return QStringLiteral(
            "An I/O error occurred when a resource becomes unavailable, e.g. when the device "
            "is unexpectedly removed from the system.");
    case QSerialPort::UnsupportedOperationError:
        return QStringLiteral(
            "The requested device operation is not supported or prohibited by the running operating system.");
    case QSerialPort::UnknownError:
        return QStringLiteral("An unidentified serial port error occurred.");
    case QSerialPort::TimeoutError:
        return QStringLiteral("A timeout error occurred.");
    default:
        qWarning() << "Unsupported error code.";
        return QString();
    }
}
