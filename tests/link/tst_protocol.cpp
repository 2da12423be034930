#include "link/Crc16.h"
#include "link/Protocol.h"
#include "support/FakePort.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

class tst_Protocol : public QObject {
    Q_OBJECT

private:
    Protocol* m_protocol = nullptr;
    FakePort* m_port = nullptr;

private slots:
    void init() {
        m_protocol = new Protocol;
        m_port = new FakePort;
        m_protocol->setPort(m_port);
    }
    void cleanup() {
        delete m_protocol;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(FakePort::instances(), 0);
    }

    void decodesSampleLines_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QList<int>>("sample");
        QTest::newRow("without current") << QByteArray("$R,1,2*F75\n") << QList<int>{1, 2, 0};
        QTest::newRow("lower-case checksum") << QByteArray("$R,1,2*f75\n") << QList<int>{1, 2, 0};
        QTest::newRow("leading zero in checksum") << QByteArray("$R,1,2*0F75\n") << QList<int>{1, 2, 0};
        QTest::newRow("no checksum") << QByteArray("$R,1,2\n") << QList<int>{1, 2, 0};
        QTest::newRow("carriage return") << QByteArray("$R,1,2*F75\r\n") << QList<int>{1, 2, 0};
        QTest::newRow("with current") << checksummedLine("$R,-5,822000,17") << QList<int>{-5, 822000, 17};
        QTest::newRow("text before the frame") << QByteArray("garbage$R,1,2*F75\r\n") << QList<int>{1, 2, 0};
        QTest::newRow("two frames keep the second")
            << QByteArray("$R,9,9$R,1,2*F75\n") << QList<int>{1, 2, 0};
        QTest::newRow("extremes of int")
            << checksummedLine("$R,2147483647,-2147483648") << QList<int>{INT_MAX, INT_MIN, 0};
    }
    void decodesSampleLines() {
        QFETCH(QByteArray, line);
        QFETCH(QList<int>, sample);
        QSignalSpy points(m_protocol, &Protocol::pointReceived);
        QSignalSpy application(m_protocol, &Protocol::communicatingWithApplication);
        m_port->feed(line);
        QCOMPARE(points.size(), 1);
        QCOMPARE(points.at(0).at(0).toInt(), sample.at(0));
        QCOMPARE(points.at(0).at(1).toInt(), sample.at(1));
        QCOMPARE(points.at(0).at(2).toInt(), sample.at(2));
        QCOMPARE(application.size(), 1);
        QCOMPARE(m_protocol->linkMode(), Protocol::Application);
    }

    void rejectsBadFrames_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("warning");
        const QString crc = QStringLiteral("ZelProtocol failed to validate CRC: ");
        const QString process = QStringLiteral("ZelProtocol failed to process a command: ");
        QTest::newRow("wrong checksum") << QByteArray("$R,1,2*F76\n") << crc;
        QTest::newRow("unparsable checksum") << QByteArray("$R,1,2*XYZ\n") << crc;
        QTest::newRow("empty checksum") << QByteArray("$R,1,2*\n") << crc;
        QTest::newRow("checksum of the wrong text") << QByteArray("$R,1,3*F75\n") << crc;
        QTest::newRow("one field") << checksummedLine("$R,1") << process;
        QTest::newRow("letters in a field") << checksummedLine("$R,1,x2") << process;
        QTest::newRow("empty field") << checksummedLine("$R,,2") << process;
        QTest::newRow("position beyond int") << checksummedLine("$R,2147483648,2") << process;
        QTest::newRow("bad current") << checksummedLine("$R,1,2,c") << process;
        QTest::newRow("keyword case") << checksummedLine("$r,1,2") << process;
    }
    void rejectsBadFrames() {
        QFETCH(QByteArray, line);
        QFETCH(QString, warning);
        QSignalSpy points(m_protocol, &Protocol::pointReceived);
        QSignalSpy application(m_protocol, &Protocol::communicatingWithApplication);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(warning)));
        m_port->feed(line);
        QCOMPARE(points.size(), 0);
        QCOMPARE(application.size(), 0);
        QCOMPARE(m_protocol->linkMode(), Protocol::Unknown);
    }

    void joinsLinesSplitAcrossReads() {
        QSignalSpy points(m_protocol, &Protocol::pointReceived);
        const QByteArray stream = checksummedLine("$R,165,33000") + checksummedLine("$R,166,33100") +
                                  checksummedLine("$R,167,33200");
        // Byte by byte: each sample is decoded exactly once, when its line feed arrives.
        for (int i = 0; i < stream.size(); ++i) {
            m_port->feed(stream.mid(i, 1));
            const int linesDone = stream.left(i + 1).count('\n');
            QCOMPARE(points.size(), linesDone);
        }
        QCOMPARE(points.at(2).at(0).toInt(), 167);
        QCOMPARE(points.at(2).at(1).toInt(), 33200);
    }

    void decodesManyLinesInOneRead() {
        QSignalSpy points(m_protocol, &Protocol::pointReceived);
        QByteArray stream;
        for (int i = 0; i < 500; ++i)
            stream += checksummedLine("$R," + QByteArray::number(i) + ",1");
        m_port->feed(stream + "$R,9");
        QCOMPARE(points.size(), 500);
        QCOMPARE(m_protocol->pendingChars(), 4);
        QCOMPARE(points.last().at(0).toInt(), 499);
        m_port->feed(",9\n");
        QCOMPARE(points.size(), 501);
        QCOMPARE(points.last().at(0).toInt(), 9);
    }

    void reportsStatusAndRepeatsTheLastOne() {
        QSignalSpy reports(m_protocol, &Protocol::reportReceived);
        m_port->feed("$D*BA7\n");
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports.at(0).at(0).value<MotorReport::Report>(), MotorReport::None);

        QTest::ignoreMessage(QtInfoMsg, "New motor status: MotorReport::ReachedAngleStartPosition");
        m_port->feed(checksummedLine("$D,3") + checksummedLine("$D,3"));
        QCOMPARE(reports.size(), 3);
        QCOMPARE(reports.at(1).at(0).value<MotorReport::Report>(), MotorReport::ReachedAngleStartPosition);
        QCOMPARE(reports.at(2).at(0).value<MotorReport::Report>(), MotorReport::ReachedAngleStartPosition);

        // A status without a code repeats the last one.
        m_port->feed("$D*BA7\n");
        QCOMPARE(reports.last().at(0).value<MotorReport::Report>(), MotorReport::ReachedAngleStartPosition);
        // A code that does not parse is still a status report, of the last code.
        m_port->feed("$D,zz\n");
        QCOMPARE(reports.size(), 5);
        QCOMPARE(m_protocol->lastMotorReport(), MotorReport::ReachedAngleStartPosition);
        // Status lines alone do not tell that the press application runs.
        QCOMPARE(m_protocol->linkMode(), Protocol::Unknown);
    }

    void passesVersionAndUnknownLines() {
        QSignalSpy versions(m_protocol, &Protocol::versionReceived);
        QSignalSpy unknown(m_protocol, &Protocol::unknownCommandReceived);
        m_port->feed("$VER,9.99\n");
        QCOMPARE(versions.size(), 1);
        QCOMPARE(versions.at(0).at(0).toString(), QStringLiteral("9.99"));

        QTest::ignoreMessage(QtWarningMsg, "ZelProtocol failed to process a command:  \"$OK,page,3\"");
        m_port->feed("$OK,page,3\n");
        QCOMPARE(unknown.size(), 1);
        QCOMPARE(unknown.at(0).at(0).toString(), QStringLiteral("$OK,page,3"));

        // Statistics are only logged; a short one is a processing failure.
        m_port->feed("$BLE,1,2,3\n");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("failed to process a command: .*BLE,1"));
        m_port->feed("$BLE,1\n");
        QCOMPARE(unknown.size(), 1);
    }

    void tellsApplicationAndBootloaderApart() {
        QSignalSpy application(m_protocol, &Protocol::communicatingWithApplication);
        QSignalSpy bootloader(m_protocol, &Protocol::communicatingWithBootloader);
        QSignalSpy unknown(m_protocol, &Protocol::unknownCommandReceived);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("failed to process a command: .*Bootloader"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("failed to process a command: .*Bootloader"));
        m_port->feed("$Bootloader\n$Bootloader\n");
        QCOMPARE(bootloader.size(), 1);
        QCOMPARE(unknown.size(), 2);
        QVERIFY(m_protocol->isCommunicatingWithBootloader());

        m_port->feed("$R,1,2*F75\n$R,1,2*F75\n");
        QCOMPARE(application.size(), 1);
        QCOMPARE(m_protocol->linkMode(), Protocol::Application);
        QVERIFY(!m_protocol->isCommunicatingWithBootloader());
    }

    void discardsTextWithoutFrames() {
        QSignalSpy unknown(m_protocol, &Protocol::unknownCommandReceived);
        QSignalSpy points(m_protocol, &Protocol::pointReceived);
        QTest::ignoreMessage(QtDebugMsg, "Discarded: \"hello press\\n\"");
        m_port->feed("hello press\n\n");
        QCOMPARE(unknown.size(), 0);
        QCOMPARE(points.size(), 0);
    }

    void boundsTextWithoutLineFeed() {
        QSignalSpy points(m_protocol, &Protocol::pointReceived);
        // Up to the limit the text is kept and completes a line.
        m_port->feed(QByteArray(Protocol::kMaxPendingChars - 20, 'x'));
        QCOMPARE(m_protocol->pendingChars(), Protocol::kMaxPendingChars - 20);
        m_port->feed("$R,1,2*F75\n");
        QCOMPARE(points.size(), 1);
        QCOMPARE(m_protocol->pendingChars(), 0);

        // Beyond it the pending text is dropped with a warning and reception goes on.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("discarded 4097 characters"));
        m_port->feed(QByteArray(Protocol::kMaxPendingChars + 1, '$'));
        QCOMPARE(m_protocol->pendingChars(), 0);
        m_port->feed("$R,3,4*" + QByteArray::number(crc16("R,3,4"), 16) + "\n");
        QCOMPARE(points.size(), 2);
        QCOMPARE(points.last().at(0).toInt(), 3);

        // A long stream of garbage never accumulates.
        for (int i = 0; i < 100; ++i) {
            if (i % 3 == 2)
                QTest::ignoreMessage(QtWarningMsg,
                                     QRegularExpression("characters received without a line end"));
            m_port->feed(QByteArray(1500, 'g'));
        }
        m_port->feed("\n$R,1,2*F75\n");
        QCOMPARE(points.size(), 3);
    }

    void keepsLineOrderWhenASlotReenters() {
        // A modal box opened from a slot runs a nested event loop that delivers more bytes.
        QList<int> positions;
        bool reentered = false;
        connect(m_protocol, &Protocol::pointReceived, this, [&](int position, int, int) {
            positions.append(position);
            if (!reentered) {
                reentered = true;
                m_port->feed(checksummedLine("$R,4,0"));
            }
        });
        m_port->feed(checksummedLine("$R,1,0") + checksummedLine("$R,2,0") + checksummedLine("$R,3,0"));
        QCOMPARE(positions, (QList<int>{1, 2, 3, 4}));
    }

    void writesCommandLines() {
        m_protocol->requestVersion();
        m_protocol->requestBleInfo();
        m_protocol->enterBootloader();
        m_protocol->go(false);
        m_protocol->go(true);
        m_protocol->sendMaxWeight(123456);
        m_protocol->sendJamDetectionTime(200);
        m_protocol->sendRaw("$Q,1\n");
        QCOMPARE(m_port->writes(), (QList<QByteArray>{"$V\n", "$b\n", "$x\n", "$G,100,1\n", "$G,100,0\n",
                                                      "$s,123456\n", "$j,200\n", "$Q,1\n"}));
        // A write the port refuses is dropped, and the link goes on.
        m_port->clearWritten();
        m_port->setFailWrites(true);
        m_protocol->requestVersion();
        QVERIFY(m_port->writes().isEmpty());
        QCOMPARE(m_protocol->port(), static_cast<IPort*>(m_port));
        // Nothing is even tried on a port that reports itself closed.
        const int calls = m_port->writeCalls();
        m_port->setReportsClosed();
        m_protocol->requestVersion();
        m_protocol->go(false);
        QCOMPARE(m_port->writeCalls(), calls);
    }

    void closesEachPortOnce() {
        QSignalSpy closed(m_protocol, &Protocol::closed);
        QPointer<FakePort> first = m_port;
        m_port->feed("$R,1,2*F75\n");

        // A new port replaces the old one, which is closed and deleted.
        auto* second = new FakePort;
        m_protocol->setPort(second);
        QCOMPARE(closed.size(), 1);
        QCOMPARE(m_protocol->linkMode(), Protocol::Unknown);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(first.isNull());
        QCOMPARE(second->parent(), m_protocol);

        // The device closing, then the protocol asked again: one signal.
        second->closeFromDevice();
        QCOMPARE(closed.size(), 2);
        m_protocol->closePort();
        QCOMPARE(closed.size(), 2);
        QCOMPARE(m_protocol->port(), nullptr);
        // The last status is kept across ports.
        m_port = nullptr;
    }

    void destructionDropsThePort() {
        QSignalSpy closed(m_protocol, &Protocol::closed);
        QSignalSpy portClosed(m_port, &IPort::closed);
        delete m_protocol;
        m_protocol = nullptr;
        QCOMPARE(closed.size(), 1);
        QCOMPARE(portClosed.size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_Protocol)
#include "tst_protocol.moc"
