#include "support/FakeMessageBoxes.h"
#include "support/FakePort.h"
#include "support/GatedFileSystem.h"
#include "support/MemoryFileSystem.h"
#include "WindowBench.h"

#include "app/ConnectionWorkflow.h"
#include "app/TraceCommands.h"
#include "app/ZelPress.h"
#include "chart/GraphChart.h"
#include "chart/GraphModel.h"
#include "chart/GraphView.h"
#include "chart/SessionModel.h"
#include "core/FileSystem.h"
#include "core/IFileDialog.h"
#include "core/Logging.h"
#include "data/AutosaveWriter.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/UndoHistory.h"
#include "dialogs/AdvancedDlg.h"
#include "dialogs/DialogBootload.h"
#include "dialogs/ProgressDialog.h"
#include "link/AutoConnection.h"
#include "link/BleDiscoveryAgent.h"
#include "link/EmulatedPort.h"
#include "link/Protocol.h"
#include "session/Autorun.h"
#include "session/Session.h"
#include "session/Timer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

class tst_ZelPressConnection : public QObject {
    Q_OBJECT

private:
    QString settingsPath() const { return Logging::logDirectory() + QStringLiteral("/Settings.json"); }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QFile::remove(settingsPath());
    }

    void pullingTheCableDuringAStrokeLosesNothing();
    void linkDropWhileTheZeroingQuestionIsOpenStartsNothing();
    void bluetoothConnectEndsTheSerialSessionFirst();
    void bluetoothDiscoveryOutcomes_data();
    void bluetoothDiscoveryOutcomes();
    void findsTheEmulatedPressAndShowsIt();
    void firmwareUpgradeEndsWithThePressFoundAndZeroedAgain();
};

void tst_ZelPressConnection::pullingTheCableDuringAStrokeLosesNothing() {
    Bench bench;
    QVERIFY(bench.readyForStrokes());
    GraphContainer* active = bench.window->activeContainer();
    action(*bench.window, "goAction")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(active->graphs().size(), 1, kStrokeMs);
    QTRY_VERIFY_WITH_TIMEOUT(action(*bench.window, "goAction")->isEnabled(), kStrokeMs);
    const auto* firmware = bench.window->findChild<QLabel*>(QStringLiteral("firmwareLabel"));
    QVERIFY(!firmware->text().isEmpty());

    action(*bench.window, "goAction")->trigger();
    QVERIFY(bench.window->findChild<ProgressDialog*>());
    bench.window->protocol()->closePort();
    QCOMPARE(bench.window->statusMessage(), kSearching);
    QVERIFY(firmware->text().isEmpty());
    QTRY_VERIFY(!bench.window->findChild<ProgressDialog*>());
    QCOMPARE(active->graphs().size(), 1);
    QVERIFY(!action(*bench.window, "goAction")->isEnabled());
    QVERIFY(!action(*bench.window, "zeroPressAction")->isEnabled());

    // Found again, and asked to zero again.
    QTRY_COMPARE_WITH_TIMEOUT(bench.asked(kZeroQuestion), 2, kStrokeMs);
    QCOMPARE(active->graphs().size(), 1);
}

void tst_ZelPressConnection::linkDropWhileTheZeroingQuestionIsOpenStartsNothing() {
    Bench bench;
    bool dropped = false;
    // The user presses Ok only after the link has gone; the box still answers Ok.
    bench.boxes->whileOpen = [&] {
        if (!dropped && bench.boxes->boxes.last().text == kZeroQuestion) {
            dropped = true;
            bench.window->protocol()->closePort();
        }
    };
    QTRY_VERIFY_WITH_TIMEOUT(dropped, kStrokeMs);
    QCOMPARE(bench.window->statusMessage(), kSearching);
    QVERIFY(!bench.window->findChild<ProgressDialog*>());
    QVERIFY(bench.boxes->sessionQuestionsEnded > 0);
    // The next connection asks again and zeroes on its Ok.
    QTRY_VERIFY_WITH_TIMEOUT(bench.session() && bench.session()->isZeroWeightCalibrated(), kStrokeMs);
    QCOMPARE(bench.asked(kZeroQuestion), 2);
}

void tst_ZelPressConnection::bluetoothConnectEndsTheSerialSessionFirst() {
    Bench bench;
    const auto* firmware = bench.window->findChild<QLabel*>(QStringLiteral("firmwareLabel"));
    QTRY_VERIFY_WITH_TIMEOUT(bench.session() && !firmware->text().isEmpty(), kStrokeMs);
    QSignalSpy status(bench.window->connection(), &ConnectionWorkflow::statusMessage);
    action(*bench.window, "bleConnectAction")->trigger();
    QVERIFY(!bench.window->autoConnection()->isActive());
    QVERIFY(status.count() >= 2);
    QCOMPARE(status.at(0).at(0).toString(), QStringLiteral("Waiting for Bluetooth connection request ..."));
    // Then the scan, or at once its failure on a machine without an adapter.
    const QString next = status.at(1).at(0).toString();
    const QStringList outcomes{
        QStringLiteral("Scanning for Bluetooth device ..."), QStringLiteral("Bluetooth adapter not found"),
        QStringLiteral("Bluetooth is off"), QStringLiteral("Bluetooth error occurred")};
    QVERIFY2(outcomes.contains(next), qPrintable(next));
    QCOMPARE(action(*bench.window, "bleConnectAction")->isEnabled(), next != outcomes.first());
    // In Bluetooth mode the firmware label keeps the last press's version.
    QVERIFY(!firmware->text().isEmpty());
}

void tst_ZelPressConnection::bluetoothDiscoveryOutcomes_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("status");
    QTest::newRow("no press found") << QString() << QStringLiteral("Bluetooth device not found");
    QTest::newRow("closes before its first sample")
        << QStringLiteral("dead") << QStringLiteral("Bluetooth connection failed");
    QTest::newRow("press heard") << QStringLiteral("emulated")
                                 << QStringLiteral(
                                        "Bluetooth connection established to address \"11:22:33:44:55:66\"");
    QTest::newRow("bootloader heard")
        << QStringLiteral("bootloader")
        << QStringLiteral("Bluetooth connection established to address \"11:22:33:44:55:66\"");
}

void tst_ZelPressConnection::bluetoothDiscoveryOutcomes() {
    QFETCH(QString, port);
    QFETCH(QString, status);
    Bench bench;
    ConnectionWorkflow* connection = bench.window->connection();
    connection->connectBluetooth(); // Bluetooth for the rest of the run; the scan itself is played below
    connection->bleDiscoveryAgent()->stop();
    connection->setBlePortFactory([port](const QBluetoothDeviceInfo&, QObject* parent) -> IPort* {
        if (port == QStringLiteral("emulated"))
            return new EmulatedPort(QStringLiteral("ComEmulation"), parent);
        if (port == QStringLiteral("bootloader")) {
            auto* bootloader = new FakePort(parent);
            QTimer::singleShot(0, bootloader, [bootloader] { bootloader->feed("$Bootloader\n"); });
            return bootloader;
        }
        auto* dead = new FakePort(parent);
        QTimer::singleShot(0, dead, &FakePort::closeFromDevice);
        return dead;
    });
    QAction* bleConnect = action(*bench.window, "bleConnectAction");
    bleConnect->setEnabled(false); // as while a discovery runs
    if (!port.isEmpty()) {
        QBluetoothDeviceInfo press(QBluetoothAddress(QStringLiteral("11:22:33:44:55:66")),
                                   QStringLiteral("ZEL PRESS"), 0);
        press.setCoreConfigurations(QBluetoothDeviceInfo::LowEnergyCoreConfiguration);
        connection->bleDiscoveryAgent()->onDeviceDiscovered(press);
    }
    emit connection->bleDiscoveryAgent()->discoveryFinished();
    QTRY_COMPARE_WITH_TIMEOUT(bench.window->statusMessage(), status, kStrokeMs);
    if (port == QStringLiteral("bootloader")) {
        // Heard, as over a serial port: a session that waits for the application, showing the bootloader.
        QVERIFY(bench.session());
        QCOMPARE(bench.session()->firmwareVersion(), QStringLiteral("BOOTLOADER"));
        QVERIFY(!bench.session()->isInitialized());
        QVERIFY(!bleConnect->isEnabled());
        return;
    }
    if (port != QStringLiteral("emulated")) {
        QVERIFY(bleConnect->isEnabled());
        QVERIFY(!bench.session());
        return;
    }
    // Connected over Bluetooth: a session asks to zero; losing it waits for the user, not the serial search.
    QVERIFY(bench.session());
    QTRY_COMPARE_WITH_TIMEOUT(bench.asked(kZeroQuestion), 1, kStrokeMs);
    QVERIFY(!bleConnect->isEnabled());
    bench.window->protocol()->closePort();
    QCOMPARE(bench.window->statusMessage(), QStringLiteral("Waiting for Bluetooth connection request ..."));
    QVERIFY(bleConnect->isEnabled());
    QVERIFY(!bench.window->autoConnection()->isActive());
}

void tst_ZelPressConnection::findsTheEmulatedPressAndShowsIt() {
    Bench bench;
    QTRY_VERIFY_WITH_TIMEOUT(bench.window->statusMessage() ==
                                 QStringLiteral("Connection established on port \"ComEmulation\""),
                             5000);
    // Losing the press starts the search again.
    bench.window->protocol()->closePort();
    QCOMPARE(bench.window->statusMessage(), kSearching);
    QTRY_COMPARE_WITH_TIMEOUT(bench.window->statusMessage(),
                              QStringLiteral("Connection established on port \"ComEmulation\""), 5000);
}

// The user starts the upgrade from Advanced and closes its window while it still waits for the
// bootloader (the emulated press has none). The press was told to restart, so it is not the session's
// any more: the link is closed once the upgrade's window has gone, and the search finds the press and
// asks to zero it as a new connection.
void tst_ZelPressConnection::firmwareUpgradeEndsWithThePressFoundAndZeroedAgain() {
    Bench bench;
    QVERIFY(bench.readyForStrokes());
    QPointer<Session> before = bench.session();
    const QString connected = QStringLiteral("Connection established on port \"ComEmulation\"");
    QCOMPARE(bench.window->statusMessage(), connected);
    QCOMPARE(bench.asked(kZeroQuestion), 1);

    bool upgradeOpened = false;
    QString statusWhileUpgrading;
    QString statusAfterUpgrade;
    // Runs inside the Advanced dialog's modal loop, then inside the upgrade's.
    QTimer::singleShot(0, this, [&] {
        auto* advanced = qobject_cast<AdvancedDlg*>(QApplication::activeModalWidget());
        if (!advanced)
            return;
        QTimer::singleShot(0, this, [&] {
            auto* upgrade = qobject_cast<DialogBootload*>(QApplication::activeModalWidget());
            if (!upgrade)
                return;
            upgradeOpened = true;
            statusWhileUpgrading = bench.window->statusMessage();
            upgrade->reject(); // still waiting for the bootloader: closes without a question
        });
        advanced->findChild<QPushButton*>(QStringLiteral("firmwareUpgradeBtn"))->click();
        statusAfterUpgrade = bench.window->statusMessage();
        advanced->reject();
    });
    // Should a dialog not be found, the test must still end.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, this, [] {
        if (auto* modal = QApplication::activeModalWidget())
            modal->close();
    });
    guard.start(10000);
    bench.window->openAdvancedDlg(AdvancedDlg::FirmwareUpgradeTab);

    QVERIFY(upgradeOpened);
    QCOMPARE(statusWhileUpgrading, connected);
    QCOMPARE(statusAfterUpgrade, kSearching);
    QVERIFY(!before || !before->isInitialized());
    QTRY_COMPARE_WITH_TIMEOUT(bench.window->statusMessage(), connected, kStrokeMs);
    QTRY_COMPARE_WITH_TIMEOUT(bench.asked(kZeroQuestion), 2, kStrokeMs);
    QVERIFY(bench.session() && bench.session() != before);
    QTRY_VERIFY_WITH_TIMEOUT(bench.session()->isZeroWeightCalibrated(), kStrokeMs);
    QVERIFY(!bench.session()->isXZeroFound());
}

QTEST_MAIN(tst_ZelPressConnection)
#include "tst_zelpressconnection.moc"
