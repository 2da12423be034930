#pragma once

#include "link/IPort.h"

#include <QList>

// A port a test feeds bytes into and reads writes from.
class FakePort : public IPort {
    Q_OBJECT
public:
    explicit FakePort(QObject* parent = nullptr);
    ~FakePort() override;

    qint64 write(const QByteArray& data) override;
    QByteArray read() override;
    bool isOpen() const override { return m_open; }
    void close() override;

    // Queues bytes as received from the press and emits readyRead().
    void feed(const QByteArray& bytes);
    // Everything written so far, and each write on its own.
    QByteArray written() const { return m_written.join(); }
    QList<QByteArray> writes() const { return m_written; }
    void clearWritten() { m_written.clear(); }
    // Every call of write(), refused ones included.
    int writeCalls() const { return m_writeCalls; }
    // Reports the port closed without emitting closed(): a device gone before its closing is noticed.
    void setReportsClosed() { m_open = false; }
    // Makes later writes fail (return 0) while the port stays open.
    void setFailWrites(bool fail) { m_failWrites = fail; }
    // Simulates the device going away: closes without anyone asking.
    void closeFromDevice() { close(); }
    int closeCount() const { return m_closeCount; }

    // How many FakePorts exist now (to see that the protocol deletes what it owns).
    static int instances();

private:
    QByteArray m_input;
    QList<QByteArray> m_written;
    bool m_open = true;
    bool m_failWrites = false;
    int m_closeCount = 0;
    int m_writeCalls = 0;
};
