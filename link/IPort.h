#pragma once

#include <QByteArray>
#include <QObject>

// A byte channel to the press: USB serial, Bluetooth LE or the emulated press.
// Once handed to the protocol, the protocol owns the port.
class IPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Queues the bytes for sending; the count accepted, 0 on failure.
    virtual qint64 write(const QByteArray& data) = 0;
    // Every byte received and not read yet; empty when none.
    virtual QByteArray read() = 0;
    virtual bool isOpen() const = 0;

signals:
    void readyRead();
    void closed();

public slots:
    // Closes the channel and emits closed(), whether or not it was open.
    virtual void close() = 0;
};
