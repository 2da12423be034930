#include "link/BleDiscoveryAgent.h"
#include "link/BlePort.h"
#include "link/Crc16.h"
#include "link/IBleGattClient.h"
#include "link/Protocol.h"

#include <QBluetoothAddress>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

namespace {

// The press's serial service, as its firmware advertises it.
const QBluetoothUuid kService(QStringLiteral("6e400001-b5a3-f393-e0a9-e50e24dcca9e"));
const QBluetoothUuid kRx(QStringLiteral("6e400002-b5a3-f393-e0a9-e50e24dcca9e"));
const QBluetoothUuid kTx(QStringLiteral("6e400003-b5a3-f393-e0a9-e50e24dcca9e"));
// A standard service every device has (Generic Access).
const QBluetoothUuid kOtherService(QStringLiteral("00001800-0000-1000-8000-00805f9b34fb"));

QString text(const QBluetoothUuid& uuid) {
    return uuid.toString(QUuid::WithoutBraces);
}

// What the remote device offers, and every request the port made of its GATT client.
struct Gatt {
    bool serviceObject = true;
    QList<QBluetoothUuid> characteristics{kRx, kTx};
    bool clientConfiguration = true;
    std::function<void()> onConnect;
    QStringList requests;
    QList<QByteArray> writes;
};

class FakeGattClient : public IBleGattClient {
public:
    explicit FakeGattClient(Gatt* gatt)
        : m_gatt(gatt) {}

    void connectToDevice() override {
        m_gatt->requests << "connect";
        if (m_gatt->onConnect)
            m_gatt->onConnect();
    }
    void disconnectFromDevice() override { m_gatt->requests << "disconnect"; }
    void discoverServices() override { m_gatt->requests << "discover services"; }
    bool createService(const QBluetoothUuid& service) override {
        m_gatt->requests << "create service " + text(service);
        return m_gatt->serviceObject;
    }
    void discoverServiceDetails() override { m_gatt->requests << "discover details"; }
    bool hasCharacteristic(const QBluetoothUuid& characteristic) const override {
        return m_gatt->characteristics.contains(characteristic);
    }
    bool hasClientConfiguration(const QBluetoothUuid& characteristic) const override {
        return m_gatt->clientConfiguration && characteristic == kTx;
    }
    void writeClientConfiguration(const QBluetoothUuid& characteristic, const QByteArray& value) override {
        m_gatt->requests << "configure " + text(characteristic) + " " + QString::fromLatin1(value.toHex(' '));
    }
    void writeCharacteristic(const QBluetoothUuid& characteristic, const QByteArray& value) override {
        m_gatt->requests << "write " + text(characteristic);
        m_gatt->writes << value;
    }

private:
    Gatt* m_gatt;
};

QBluetoothDeviceInfo device(const QString& name, QBluetoothDeviceInfo::CoreConfigurations configurations,
                            const QString& address = QStringLiteral("C4:4F:33:12:34:56")) {
    QBluetoothDeviceInfo info(QBluetoothAddress(address), name, 0);
    info.setCoreConfigurations(configurations);
    return info;
}

void fire(QTimer* timer) {
    QMetaObject::invokeMethod(timer, "timeout");
}

} // namespace

class tst_Ble : public QObject {
    Q_OBJECT

public:
    // How far the link set-up has come.
    enum Stage { Constructed, AttemptStarted, ControllerConnected, ServicesKnown, DetailsDiscovering, Ready };
    Q_ENUM(Stage)
    enum Failure {
        ServiceMissing,
        NoServiceObject,
        NoRxCharacteristic,
        NoTxCharacteristic,
        NoClientConfiguration,
        InvalidServiceState,
        UnhandledServiceState,
        ControllerError,
        ConnectionFailsAtOnce,
        ServiceError,
        UnknownCharacteristic,
        ControllerDisconnected,
        LinkUpLimit
    };
    Q_ENUM(Failure)

private:
    Gatt m_gatt;
    Protocol* m_protocol = nullptr;
    QPointer<BlePort> m_port;
    bool m_detached = false; // m_port is not held by the protocol

    // Drives the port's set-up to the stage as the Bluetooth stack would, the device offering m_gatt.
    void reach(Stage stage) {
        if (stage >= AttemptStarted)
            QCoreApplication::sendPostedEvents(m_port, QEvent::MetaCall);
        if (stage >= ControllerConnected)
            m_port->onControllerConnected();
        if (stage >= ServicesKnown) {
            m_port->onServiceDiscovered(kOtherService);
            m_port->onServiceDiscovered(kService);
            m_port->onServiceDiscoveryFinished();
        }
        if (stage >= DetailsDiscovering)
            m_port->onServiceStateChanged(QLowEnergyService::RemoteServiceDiscovering);
        if (stage >= Ready)
            m_port->onServiceStateChanged(QLowEnergyService::RemoteServiceDiscovered);
    }

    // Replaces the attached port by one the protocol does not hold.
    void useDetachedPort() {
        delete m_protocol;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_port.isNull());
        m_gatt = Gatt();
        m_protocol = new Protocol;
        m_port = new BlePort(std::make_unique<FakeGattClient>(&m_gatt));
        m_detached = true;
    }

    // Attaches the port the way the connection workflow does: hearing the press ends the limit.
    void watchLinkUp() { m_port->endLinkUpLimitWhenHeard(m_protocol); }

private slots:
    void init() {
        m_gatt = Gatt();
        m_protocol = new Protocol;
        m_port = new BlePort(std::make_unique<FakeGattClient>(&m_gatt));
        m_protocol->setPort(m_port);
        m_detached = false;
    }
    void cleanup() {
        delete m_protocol;
        if (m_detached)
            delete m_port;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_port.isNull());
    }

    void setsUpTheLinkAndWritesEachCommandWhole() {
        // The attempt starts from the event loop, once the protocol listens to the port.
        QVERIFY(m_gatt.requests.isEmpty());
        reach(Ready);
        QCOMPARE(m_gatt.requests,
                 QStringList({"connect", "discover services", "create service " + text(kService),
                              "discover details", "configure " + text(kTx) + " 01 00"}));
        QVERIFY(m_port->isOpen());
        m_gatt.requests.clear();
        m_protocol->go(false);
        m_protocol->requestVersion();
        QCOMPARE(m_gatt.requests, QStringList({"write " + text(kRx), "write " + text(kRx)}));
        QCOMPARE(m_gatt.writes, QList<QByteArray>({"$G,100,1\n", "$V\n"}));
    }

    void refusesWritesUntilNotificationsAreRequested_data() {
        QTest::addColumn<Stage>("stage");
        QTest::newRow("constructed") << Constructed;
        QTest::newRow("attempt started") << AttemptStarted;
        QTest::newRow("controller connected") << ControllerConnected;
        QTest::newRow("services known") << ServicesKnown;
        QTest::newRow("details discovering") << DetailsDiscovering;
    }
    void refusesWritesUntilNotificationsAreRequested() {
        QFETCH(Stage, stage);
        reach(stage);
        QVERIFY(!m_port->isOpen());
        QTest::ignoreMessage(QtWarningMsg, "Failed to write to BLE port");
        QCOMPARE(m_port->write("$G,100,1\n"), 0);
        m_protocol->go(false);
        QVERIFY(m_gatt.writes.isEmpty());
        // Nothing notified yet, and nothing to read.
        QVERIFY(m_port->read().isEmpty());
    }

    void handsEachNotificationOnOnce_data() {
        QTest::addColumn<int>("payload");
        QTest::newRow("default payload of 20 bytes") << 20;
        QTest::newRow("one byte each") << 1;
        QTest::newRow("7 bytes each") << 7;
        QTest::newRow("the whole stream at once") << 4096;
    }
    void handsEachNotificationOnOnce() {
        QFETCH(int, payload);
        watchLinkUp();
        reach(Ready);
        const QByteArray stream = checksummedLine("$R,100,823000,12") + "garbage\r\n" +
                                  checksummedLine("$R,-101,824500") + checksummedLine("$D,0") + "$D*BA7\r\n" +
                                  checksummedLine("$R,2147483647,-2147483648,0") + "$VER,2.24\n" +
                                  checksummedLine("$R,5,6");
        QSignalSpy readyRead(m_port.data(), &IPort::readyRead);
        QSignalSpy points(m_protocol, &Protocol::pointReceived);
        QSignalSpy reports(m_protocol, &Protocol::reportReceived);
        QSignalSpy versions(m_protocol, &Protocol::versionReceived);
        QSignalSpy application(m_protocol, &Protocol::communicatingWithApplication);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Discarded:"));
        int notifications = 0;
        for (qsizetype at = 0; at < stream.size(); at += payload, ++notifications)
            m_port->onNotification(kTx, stream.mid(at, payload));

        QCOMPARE(readyRead.size(), notifications);
        QCOMPARE(m_port->lastValue(), stream.mid((notifications - 1) * payload));
        const QList<QList<QVariant>> expected{
            {100, 823000, 12}, {-101, 824500, 0}, {INT_MAX, INT_MIN, 0}, {5, 6, 0}};
        QCOMPARE(points.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(points.at(i), expected.at(i));
        QCOMPARE(reports.size(), 2);
        QCOMPARE(reports.at(0).at(0).value<MotorReport::Report>(), MotorReport::ReachedWeightLimit);
        QCOMPARE(versions.size(), 1);
        QCOMPARE(application.size(), 1);
        // Everything was handed on: a further read finds nothing, however the stream was cut.
        QVERIFY(m_port->read().isEmpty());
        QVERIFY(!m_port->linkUpTimer()->isActive());
    }

    void keepsUnreadNotificationsInOrder() {
        useDetachedPort();
        reach(Ready);
        m_port->onNotification(kTx, "$R,1,");
        m_port->onNotification(kTx, "2*F75\n$D");
        m_port->onNotification(kTx, "*BA7\n");
        QCOMPARE(m_port->read(), QByteArray("$R,1,2*F75\n$D*BA7\n"));
        QVERIFY(m_port->read().isEmpty());
    }

    void closesBeforeItsFirstSampleOnEveryFailure_data() {
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<QtMsgType>("messageType");
        QTest::addColumn<QString>("message");
        // Whether the controller is connected when it fails, so that closing waits for the disconnection.
        QTest::addColumn<bool>("connected");
        QTest::newRow("service missing")
            << ServiceMissing << QtWarningMsg << "^Couldn't find service:" << true;
        QTest::newRow("no service object") << NoServiceObject << QtInfoMsg
                                           << "cannot be found on the remote device, or the controller is "
                                              "disconnected\\.$"
                                           << true;
        QTest::newRow("no RX characteristic")
            << NoRxCharacteristic << QtWarningMsg << "^Didn't find RX characteristic" << true;
        QTest::newRow("no TX characteristic")
            << NoTxCharacteristic << QtWarningMsg << "^Didn't find TX characteristic" << true;
        QTest::newRow("no configuration descriptor")
            << NoClientConfiguration << QtWarningMsg
            << "^Couldn't find the ClientCharacteristicConfigure descriptor from the TX characteristic\\.$"
            << true;
        QTest::newRow("invalid service")
            << InvalidServiceState << QtWarningMsg << "^Invalid service state reached\\.$" << true;
        QTest::newRow("unhandled service state")
            << UnhandledServiceState << QtDebugMsg << "^Unhandled state reached:" << true;
        QTest::newRow("controller error while connected")
            << ControllerError << QtCriticalMsg << "^Service discovery error:" << true;
        QTest::newRow("connection fails at once")
            << ConnectionFailsAtOnce << QtCriticalMsg << "^Service discovery error:" << false;
        QTest::newRow("service error") << ServiceError << QtCriticalMsg << "^BLE server error:" << true;
        QTest::newRow("unknown characteristic notified")
            << UnknownCharacteristic << QtWarningMsg << "^Unknown characteristic changed: .*" + text(kRx)
            << true;
        QTest::newRow("link lost") << ControllerDisconnected << QtInfoMsg
                                   << "^BLE controller disconnected\\.$" << false;
        QTest::newRow("link-up limit")
            << LinkUpLimit << QtWarningMsg << "^No valid sample from the BLE device within 10 s" << false;
    }
    void closesBeforeItsFirstSampleOnEveryFailure() {
        QFETCH(Failure, failure);
        QFETCH(QtMsgType, messageType);
        QFETCH(QString, message);
        QFETCH(bool, connected);
        watchLinkUp();
        QSignalSpy protocolClosed(m_protocol, &Protocol::closed);
        QSignalSpy application(m_protocol, &Protocol::communicatingWithApplication);
        QTest::ignoreMessage(messageType, QRegularExpression(message));

        switch (failure) {
        case ServiceMissing:
            reach(ControllerConnected);
            m_port->onServiceDiscovered(kOtherService);
            m_port->onServiceDiscoveryFinished();
            break;
        case NoServiceObject:
            m_gatt.serviceObject = false;
            reach(ServicesKnown);
            break;
        case NoRxCharacteristic:
            m_gatt.characteristics = {kTx};
            reach(Ready);
            break;
        case NoTxCharacteristic:
            m_gatt.characteristics = {kRx};
            reach(Ready);
            break;
        case NoClientConfiguration:
            m_gatt.clientConfiguration = false;
            reach(Ready);
            break;
        case InvalidServiceState:
            reach(DetailsDiscovering);
            m_port->onServiceStateChanged(QLowEnergyService::InvalidService);
            break;
        case UnhandledServiceState:
            reach(DetailsDiscovering);
            m_port->onServiceStateChanged(QLowEnergyService::RemoteService);
            break;
        case ControllerError:
            reach(ServicesKnown);
            m_port->onServiceDiscoveryError(QLowEnergyController::ConnectionError);
            break;
        case ConnectionFailsAtOnce:
            m_gatt.onConnect = [this] {
                m_port->onServiceDiscoveryError(QLowEnergyController::InvalidBluetoothAdapterError);
            };
            reach(AttemptStarted);
            break;
        case ServiceError:
            reach(Ready);
            m_port->onServiceError(QLowEnergyService::CharacteristicWriteError);
            break;
        case UnknownCharacteristic:
            reach(Ready);
            m_port->onNotification(kRx, "$R,1,2*F75\n");
            break;
        case ControllerDisconnected:
            reach(ServicesKnown);
            m_port->onControllerDisconnected();
            break;
        case LinkUpLimit:
            reach(Ready);
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Discarded:"));
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^ZelProtocol failed to validate CRC:"));
            m_port->onNotification(kTx, "noise\n$R,1,2*F76\n$D*BA7\n");
            QVERIFY(m_port->linkUpTimer()->isActive());
            QCOMPARE(m_port->linkUpTimer()->interval(), 10000);
            fire(m_port->linkUpTimer());
            break;
        }

        if (connected) {
            // Closing a connected port disconnects first; the port closes when the link is down.
            QVERIFY(m_gatt.requests.endsWith("disconnect"));
            QCOMPARE(protocolClosed.size(), 0);
            m_port->onControllerDisconnected();
        }
        QCOMPARE(protocolClosed.size(), 1);
        QCOMPARE(application.size(), 0);
        QVERIFY(m_protocol->port() == nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_port.isNull());
    }

    void linkUpLimitSparesALinkThatDeliversASample() {
        watchLinkUp();
        reach(Ready);
        QSignalSpy protocolClosed(m_protocol, &Protocol::closed);
        // Split over two notifications: the sample counts once its line is complete.
        m_port->onNotification(kTx, "$R,1,");
        QVERIFY(m_port->linkUpTimer()->isActive());
        m_port->onNotification(kTx, "2*F75\n");
        QVERIFY(!m_port->linkUpTimer()->isActive());
        fire(m_port->linkUpTimer());
        QCOMPARE(protocolClosed.size(), 0);
        QVERIFY(!m_gatt.requests.contains("disconnect"));
        QVERIFY(m_port->isOpen());
    }

    // A press that restarted into its bootloader announces itself and then only answers commands:
    // no sample comes, and the link must stay for the upgrade.
    void linkUpLimitSparesALinkAnsweredByTheBootloader() {
        watchLinkUp();
        reach(Ready);
        QSignalSpy protocolClosed(m_protocol, &Protocol::closed);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^ZelProtocol failed to process a command:"));
        m_port->onNotification(kTx, "$Bootloader\n");
        QVERIFY(m_protocol->isCommunicatingWithBootloader());
        QVERIFY(!m_port->linkUpTimer()->isActive());
        fire(m_port->linkUpTimer());
        QCOMPARE(protocolClosed.size(), 0);
        QVERIFY(!m_gatt.requests.contains("disconnect"));
        QVERIFY(m_port->isOpen());
    }

    void closesOnce_data() {
        QTest::addColumn<Stage>("stage");
        QTest::addColumn<bool>("closedAtOnce");
        QTest::addColumn<QStringList>("requests");
        QTest::newRow("before the attempt starts") << Constructed << true << QStringList{"disconnect"};
        QTest::newRow("while connecting") << AttemptStarted << true << QStringList{"connect", "disconnect"};
        QTest::newRow("connected") << ControllerConnected << false
                                   << QStringList{"connect", "discover services", "disconnect"};
        QTest::newRow("open") << Ready << false
                              << QStringList{"connect",
                                             "discover services",
                                             "create service " + text(kService),
                                             "discover details",
                                             "configure " + text(kTx) + " 01 00",
                                             "disconnect"};
    }
    void closesOnce() {
        QFETCH(Stage, stage);
        QFETCH(bool, closedAtOnce);
        QFETCH(QStringList, requests);
        useDetachedPort();
        reach(stage);
        QSignalSpy closed(m_port.data(), &IPort::closed);
        m_port->close();
        QCOMPARE(closed.size(), closedAtOnce ? 1 : 0);
        // Whatever the stack reports afterwards, the set-up does not go on and closed() comes once.
        QCoreApplication::sendPostedEvents(m_port, QEvent::MetaCall);
        if (stage < ControllerConnected)
            m_port->onControllerConnected();
        m_port->onServiceDiscoveryFinished();
        m_port->onControllerDisconnected();
        QCOMPARE(closed.size(), 1);
        if (stage < ControllerConnected)
            requests << "disconnect"; // the late connection is dropped at once
        QCOMPARE(m_gatt.requests, requests);
        fire(m_port->linkUpTimer());
        QCOMPARE(closed.size(), 1);
    }

    // The Qt Bluetooth side, as far as it runs without a device: a port whose service object cannot be
    // created closes through the protocol, and does not try to connect after it has closed.
    void realPortWithoutTheServiceCloses() {
        delete m_protocol;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_protocol = new Protocol;
        m_port = new BlePort(device("ZEL PRESS", QBluetoothDeviceInfo::LowEnergyCoreConfiguration));
        m_protocol->setPort(m_port);
        QSignalSpy protocolClosed(m_protocol, &Protocol::closed);
        m_port->onServiceDiscovered(kService);
        m_port->onServiceDiscoveryFinished();
        QCOMPARE(protocolClosed.size(), 1);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_port.isNull());
        QCOMPARE(protocolClosed.size(), 1);
    }

    // Without a reachable device the real port ends in closed(): at once without an adapter, else by the
    // stack's error or the link-up limit.
    void realPortWithoutADeviceCloses() {
        delete m_protocol;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_protocol = new Protocol;
        m_port = new BlePort(device("ZEL PRESS", QBluetoothDeviceInfo::LowEnergyCoreConfiguration));
        m_protocol->setPort(m_port);
        QSignalSpy protocolClosed(m_protocol, &Protocol::closed);
        QTRY_COMPARE_WITH_TIMEOUT(protocolClosed.size(), 1, 30000);
    }

    void takesOnlyThePress_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QBluetoothDeviceInfo::CoreConfigurations>("configurations");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<bool>("skippedWithWarning");
        const auto le = QBluetoothDeviceInfo::LowEnergyCoreConfiguration;
        QTest::newRow("press") << "ZEL PRESS" << QBluetoothDeviceInfo::CoreConfigurations(le) << true
                               << false;
        QTest::newRow("press, dual mode") << "ZEL PRESS"
                                          << QBluetoothDeviceInfo::CoreConfigurations(
                                                 QBluetoothDeviceInfo::BaseRateAndLowEnergyCoreConfiguration)
                                          << true << false;
        QTest::newRow("trailing space")
            << "ZEL PRESS " << QBluetoothDeviceInfo::CoreConfigurations(le) << false << false;
        QTest::newRow("leading space")
            << " ZEL PRESS" << QBluetoothDeviceInfo::CoreConfigurations(le) << false << false;
        QTest::newRow("lower case") << "zel press" << QBluetoothDeviceInfo::CoreConfigurations(le) << false
                                    << false;
        QTest::newRow("longer name") << "ZEL PRESS 2" << QBluetoothDeviceInfo::CoreConfigurations(le) << false
                                     << false;
        QTest::newRow("no name") << "" << QBluetoothDeviceInfo::CoreConfigurations(le) << false << false;
        QTest::newRow("classic device named like the press")
            << "ZEL PRESS"
            << QBluetoothDeviceInfo::CoreConfigurations(QBluetoothDeviceInfo::BaseRateCoreConfiguration)
            << false << true;
        QTest::newRow("unknown configuration")
            << "ZEL PRESS"
            << QBluetoothDeviceInfo::CoreConfigurations(QBluetoothDeviceInfo::UnknownCoreConfiguration)
            << false << true;
    }
    void takesOnlyThePress() {
        QFETCH(QString, name);
        QFETCH(QBluetoothDeviceInfo::CoreConfigurations, configurations);
        QFETCH(bool, taken);
        QFETCH(bool, skippedWithWarning);
        BleDiscoveryAgent agent(QBluetoothAddress(QStringLiteral("00:00:5E:00:53:01")), nullptr);
        QSignalSpy discovered(&agent, &BleDiscoveryAgent::deviceDiscovered);
        const QBluetoothDeviceInfo info = device(name, configurations);
        const QRegularExpression warning(
            "^Device .* does not have the low energy configuration\\. Skipping\\.$");
        if (skippedWithWarning)
            QTest::ignoreMessage(QtWarningMsg, warning);
        else
            QTest::failOnWarning(warning);
        agent.onDeviceDiscovered(info);
        QCOMPARE(BleDiscoveryAgent::isPress(info), taken);
        QCOMPARE(discovered.size(), taken ? 1 : 0);
        QCOMPARE(agent.devices().size(), taken ? 1 : 0);
        if (taken) {
            QCOMPARE(discovered.at(0).at(0).value<QBluetoothDeviceInfo>().address(), info.address());
            QCOMPARE(agent.devices().at(0).address(), info.address());
        }
    }

    void reportsTheScanAndKeepsMatchesUntilTheNextOne() {
        BleDiscoveryAgent agent(QBluetoothAddress(QStringLiteral("00:00:5E:00:53:01")), nullptr);
        QSignalSpy discovered(&agent, &BleDiscoveryAgent::deviceDiscovered);
        QSignalSpy canceled(&agent, &BleDiscoveryAgent::discoveryCanceled);
        QSignalSpy finished(&agent, &BleDiscoveryAgent::discoveryFinished);
        QSignalSpy error(&agent, &BleDiscoveryAgent::discoveryError);
        QSignalSpy started(&agent, &BleDiscoveryAgent::discoveryStarted);
        QBluetoothDeviceDiscoveryAgent* scanner = agent.discoveryAgent();
        QCOMPARE(scanner->lowEnergyDiscoveryTimeout(), 10000);

        const auto le = QBluetoothDeviceInfo::LowEnergyCoreConfiguration;
        emit scanner->deviceDiscovered(device("ZEL PRESS", le, "C4:4F:33:00:00:01"));
        emit scanner->deviceDiscovered(device("Headset", le, "C4:4F:33:00:00:02"));
        emit scanner->deviceDiscovered(device("ZEL PRESS", le, "C4:4F:33:00:00:03"));
        QCOMPARE(discovered.size(), 2);
        QCOMPARE(agent.devices().size(), 2);
        QCOMPARE(agent.devices().at(0).address().toString(), "C4:4F:33:00:00:01");
        QCOMPARE(agent.devices().at(1).address().toString(), "C4:4F:33:00:00:03");
        emit scanner->canceled();
        emit scanner->finished();
        emit scanner->errorOccurred(QBluetoothDeviceDiscoveryAgent::PoweredOffError);
        QCOMPARE(canceled.size(), 1);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(error.size(), 1);
        QCOMPARE(error.at(0).at(0).value<QBluetoothDeviceDiscoveryAgent::Error>(),
                 QBluetoothDeviceDiscoveryAgent::PoweredOffError);
        QCOMPARE(agent.devices().size(), 2);

        // No such adapter: the new scan fails at once, reports its error and never says it started;
        // the last scan's matches are gone.
        agent.start();
        QCOMPARE(error.size(), 2);
        QCOMPARE(started.size(), 0);
        QVERIFY(!agent.isActive());
        QVERIFY(agent.devices().isEmpty());
    }
};

QTEST_MAIN(tst_Ble)
#include "tst_ble.moc"
