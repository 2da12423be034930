#include "link/UsbPort.h"

#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

// UsbPort against a real pseudo-terminal: the test holds the master side, the port opens the slave.
class tst_UsbPort : public QObject {
    Q_OBJECT

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slaveName;

    QByteArray readMaster(int expected) {
        QByteArray bytes;
        QElapsedTimer timer;
        timer.start();
        while (bytes.size() < expected && timer.elapsed() < 5000) {
            char buffer[256];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0)
                bytes.append(buffer, n);
            else
                QTest::qWait(10);
        }
        return bytes;
    }

private slots:
    void init() {
        char name[128] = {};
        QCOMPARE(::openpty(&m_master, &m_slave, name, nullptr, nullptr), 0);
        m_slaveName = QString::fromLocal8Bit(name);
        // Raw mode on the slave, so the line discipline neither echoes nor translates.
        termios settings{};
        ::tcgetattr(m_slave, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(m_slave, TCSANOW, &settings);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    void cleanup() {
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_master >= 0)
            ::close(m_master);
        m_slave = m_master = -1;
    }

    void wakesThePressWhenOpened() {
        UsbPort port(m_slaveName);
        QVERIFY(port.isOpen());
        QCOMPARE(readMaster(1), QByteArray("\n"));
    }

    void readsWhatThePressSends() {
        UsbPort port(m_slaveName);
        QSignalSpy ready(&port, &IPort::readyRead);
        readMaster(1);
        const QByteArray line = "$R,165,33000*1234\n";
        QCOMPARE(::write(m_master, line.constData(), line.size()), ssize_t(line.size()));
        QByteArray received;
        QTRY_VERIFY_WITH_TIMEOUT((received += port.read()).size() >= line.size(), 5000);
        QCOMPARE(received, line);
        QVERIFY(ready.size() >= 1);
    }

    void writesToThePress() {
        UsbPort port(m_slaveName);
        readMaster(1);
        QCOMPARE(port.write("$G,100,1\n"), qint64(9));
        QCOMPARE(readMaster(9), QByteArray("$G,100,1\n"));
    }

    void closesOnRequest() {
        UsbPort port(m_slaveName);
        QSignalSpy closed(&port, &IPort::closed);
        port.close();
        QCOMPARE(closed.size(), 1);
        QVERIFY(!port.isOpen());
        QTest::ignoreMessage(QtWarningMsg, "Failed to write to RS-232 port");
        QCOMPARE(port.write("x"), qint64(0));
        QTest::ignoreMessage(QtWarningMsg, "Failed to read from RS-232 port");
        QVERIFY(port.read().isEmpty());
        // Closing again still reports it.
        port.close();
        QCOMPARE(closed.size(), 2);
    }

    void closesWhenTheDeviceGoesAway() {
        UsbPort port(m_slaveName);
        QSignalSpy closed(&port, &IPort::closed);
        readMaster(1);
        ::close(m_master);
        m_master = -1;
        QTRY_COMPARE_WITH_TIMEOUT(closed.size(), 1, 5000);
        QVERIFY(!port.isOpen());
    }

    void failsToOpenAMissingDevice() {
        QTest::ignoreMessage(
            QtWarningMsg,
            QRegularExpression("Failed to open ZEL USB port: portName = \"/dev/zelpress-none\" err = "
                               "\"An error occurred while attempting to open an non - existing "
                               "device.\""));
        UsbPort port(QStringLiteral("/dev/zelpress-none"));
        QVERIFY(!port.isOpen());
    }

    void errorTexts_data() {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("text");
        QTest::newRow("timeout") << int(QSerialPort::TimeoutError)
                                 << QStringLiteral("A timeout error occurred.");
        QTest::newRow("write") << int(QSerialPort::WriteError)
                               << QStringLiteral("An I/O error occurred while writing the data.");
        QTest::newRow("unknown") << int(QSerialPort::UnknownError)
                                 << QStringLiteral("An unidentified serial port error occurred.");
        QTest::newRow("not an open error") << int(QSerialPort::NotOpenError) << QString();
    }
    void errorTexts() {
        QFETCH(int, error);
        QFETCH(QString, text);
        if (text.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, "Unsupported error code.");
        QCOMPARE(UsbPort::errorText(QSerialPort::SerialPortError(error)), text);
    }
};

QTEST_GUILESS_MAIN(tst_UsbPort)
#include "tst_usbport.moc"
