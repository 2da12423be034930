#include "link/AutoConnection.h"
#include "link/EmulatedPort.h"
#include "link/Protocol.h"
#include "support/FakePort.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class tst_AutoConnection : public QObject {
    Q_OBJECT

private:
    Protocol* m_protocol = nullptr;
    AutoConnection* m_search = nullptr;
    QList<PortCandidate> m_ports;
    QStringList m_opened;
    QList<QPointer<FakePort>> m_openedPorts;
    // The time-out of each attempt, and whether it ran when the attempt opened its port.
    QList<QPointer<QTimer>> m_attemptTimeouts;
    QList<bool> m_attemptTimeoutRan;
    int m_scans = 0;
    // What each named port sends right after it has been opened; absent means silent.
    QMap<QString, QByteArray> m_answers;

    void useFakes() {
        m_search->setPortLister([this] {
            ++m_scans;
            return m_ports;
        });
        m_search->setPortFactory([this](const QString& name, QObject* parent) {
            auto* port = new FakePort(parent);
            m_opened.append(name);
            m_openedPorts.append(port);
            auto* attemptTimeout = m_search->findChild<QTimer*>();
            m_attemptTimeouts.append(attemptTimeout);
            m_attemptTimeoutRan.append(attemptTimeout && attemptTimeout->isActive());
            if (m_answers.contains(name)) {
                const QByteArray answer = m_answers.value(name);
                QTimer::singleShot(20, port, [port, answer] { port->feed(answer); });
            }
            return port;
        });
    }

private slots:
    void init() {
        m_protocol = new Protocol;
        m_search = new AutoConnection(m_protocol, m_protocol);
        m_ports.clear();
        m_opened.clear();
        m_openedPorts.clear();
        m_attemptTimeouts.clear();
        m_attemptTimeoutRan.clear();
        m_answers.clear();
        m_scans = 0;
        useFakes();
    }
    void cleanup() {
        delete m_protocol;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(FakePort::instances(), 0);
    }

    void keepsOnlyFtdiPortsInListOrder() {
        m_ports = {{"ttyUSB0", "a", "FTDI"},
                   {"ttyUSB1", "b", "Future Technology FTDI Ltd"},
                   {"ttyUSB2", "c", "ftdi"},
                   {"ttyS0", "d", "Other"},
                   {"ttyUSB3", "e", "FTDI"}};
        m_search->refreshPorts();
        QStringList names;
        for (const PortCandidate& candidate : m_search->candidates())
            names.append(candidate.portName);
        QCOMPARE(names, (QStringList{"ttyUSB0", "ttyUSB1", "ttyUSB3"}));
    }

    void scansAfterStartAndConnectsToThePress() {
        m_ports = {{"ttyUSB0", "", "FTDI"}};
        m_answers.insert("ttyUSB0", "$R,1,2*F75\n");
        QSignalSpy established(m_search, &AutoConnection::connectionEstablished);
        m_search->start();
        // The first step only schedules the scan.
        QVERIFY(m_search->isActive());
        QVERIFY(!m_search->isAttemptPending());
        QCOMPARE(m_scans, 0);

        QVERIFY(established.wait(3000));
        QCOMPARE(established.at(0).at(0).toString(), QStringLiteral("ttyUSB0"));
        QCOMPARE(m_opened, QStringList{"ttyUSB0"});
        QVERIFY(!m_search->isAttemptPending());
        QCOMPARE(m_protocol->port(), m_openedPorts.first().data());
        // Once connected the search goes quiet: the attempt's time-out, which would drop the port, is
        // gone and nothing is rescanned.
        QCOMPARE(m_attemptTimeoutRan, QList<bool>{true});
        QVERIFY(m_attemptTimeouts.first().isNull());
        QVERIFY(!m_search->isRescanScheduled());
        QCOMPARE(m_openedPorts.first()->closeCount(), 0);
        QCOMPARE(established.size(), 1);
    }

    void dropsASilentPortAndTriesTheNext() {
        m_ports = {{"ttyUSB0", "", "FTDI"}, {"ttyUSB1", "", "FTDI"}};
        m_answers.insert("ttyUSB1", "$R,1,2*F75\n");
        QSignalSpy established(m_search, &AutoConnection::connectionEstablished);
        QSignalSpy closed(m_protocol, &Protocol::closed);
        m_search->start();
        QVERIFY(established.wait(5000));
        QCOMPARE(established.at(0).at(0).toString(), QStringLiteral("ttyUSB1"));
        QCOMPARE(m_opened, (QStringList{"ttyUSB0", "ttyUSB1"}));
        QCOMPARE(closed.size(), 1);
    }

    void takesTheBootloaderAsThePress() {
        m_ports = {{"ttyUSB0", "", "FTDI"}};
        m_answers.insert("ttyUSB0", "$Bootloader\n");
        QSignalSpy established(m_search, &AutoConnection::connectionEstablished);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("failed to process a command"));
        m_search->start();
        QVERIFY(established.wait(3000));
        QVERIFY(m_protocol->isCommunicatingWithBootloader());
    }

    void rescansWhenEveryPortFailed() {
        m_ports = {{"ttyUSB0", "", "FTDI"}};
        m_search->start();
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 2, 5000);
        QCOMPARE(m_opened, (QStringList{"ttyUSB0", "ttyUSB0"}));
        QVERIFY(m_scans >= 2);
    }

    void ignoresAStepWhileAnAttemptIsPending() {
        m_ports = {{"ttyUSB0", "", "FTDI"}, {"ttyUSB1", "", "FTDI"}};
        m_search->start();
        QTRY_VERIFY_WITH_TIMEOUT(m_search->isAttemptPending(), 3000);
        m_search->connectNextAvaliablePort();
        QCOMPARE(m_opened.size(), 1);
    }

    void stopDuringAnAttemptDropsThePortAndStaysIdle() {
        m_ports = {{"ttyUSB0", "", "FTDI"}};
        m_search->start();
        QTRY_VERIFY_WITH_TIMEOUT(m_search->isAttemptPending(), 3000);
        m_search->stop();
        QVERIFY(!m_search->isActive());
        QVERIFY(!m_search->isAttemptPending());
        QCOMPARE(m_protocol->port(), nullptr);
        // The retry scheduled by the closing runs first, finds the search inactive and schedules no rescan.
        QTimer afterRetry;
        afterRetry.setSingleShot(true);
        afterRetry.setTimerType(Qt::PreciseTimer);
        QSignalSpy retried(&afterRetry, &QTimer::timeout);
        afterRetry.start(AutoConnection::kRetryDelayMs + 50);
        QVERIFY(retried.wait(3000));
        QVERIFY(!m_search->isRescanScheduled());
        QCOMPARE(m_opened.size(), 1);
    }

    void restartDropsTheConnectionAndSearchesAgain() {
        m_ports = {{"ttyUSB0", "", "FTDI"}};
        m_answers.insert("ttyUSB0", "$R,1,2*F75\n");
        QSignalSpy established(m_search, &AutoConnection::connectionEstablished);
        m_search->start();
        QVERIFY(established.wait(3000));
        m_search->restart();
        QCOMPARE(m_openedPorts.first()->closeCount(), 1);
        QVERIFY(established.wait(3000));
        QCOMPARE(m_opened.size(), 2);
    }

    void destroyingTheProtocolWhileSearchingIsClean() {
        // The search is the protocol's child and outlives its parent's own destructor.
        m_ports = {{"ttyUSB0", "", "FTDI"}};
        m_search->start();
        QTRY_VERIFY_WITH_TIMEOUT(m_search->isAttemptPending(), 3000);
        QPointer<AutoConnection> search = m_search;
        QSignalSpy portClosed(m_openedPorts.first().data(), &IPort::closed);
        delete m_protocol;
        m_protocol = nullptr;
        QVERIFY(search.isNull());
        QCOMPARE(portClosed.size(), 1);
    }

    void commandLineSelectsTheEmulatedPress() {
        // main() below starts the application with --emulated-press.
        const QList<PortCandidate> ports = AutoConnection::systemPorts();
        QCOMPARE(ports.size(), 1);
        QCOMPARE(ports.at(0).portName, QStringLiteral("ComEmulation"));
        QCOMPARE(ports.at(0).manufacturer, QStringLiteral("FTDI"));

        IPort* port = AutoConnection::openPort(QStringLiteral("ComEmulation"), nullptr);
        QVERIFY(qobject_cast<EmulatedPort*>(port));
        delete port;
    }

    void findsTheEmulatedPressWithTheRealSeams() {
        delete m_protocol;
        m_protocol = new Protocol;
        m_search = new AutoConnection(m_protocol, m_protocol);
        QSignalSpy established(m_search, &AutoConnection::connectionEstablished);
        m_search->start();
        QVERIFY(established.wait(3000));
        QCOMPARE(established.at(0).at(0).toString(), QStringLiteral("ComEmulation"));
    }
};

int main(int argc, char* argv[]) {
    // The application sees --emulated-press; the test runner sees its own arguments only.
    QList<QByteArray> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(argv[i]);
    arguments.append("--emulated-press");
    QList<char*> applicationArgv;
    for (QByteArray& argument : arguments)
        applicationArgv.append(argument.data());
    int applicationArgc = int(applicationArgv.size());
    QCoreApplication application(applicationArgc, applicationArgv.data());
    tst_AutoConnection test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_autoconnection.moc"
