#include "support/FakeMessageBoxes.h"
#include "support/FakePort.h"
#include "support/MemoryFirmwareReader.h"
#include "support/SimulatedBootloader.h"

#include "core/Settings.h"
#include "dialogs/AdvancedDlg.h"
#include "dialogs/DialogBootload.h"
#include "link/Protocol.h"
#include "session/Autorun.h"
#include "session/ITimer.h"
#include "session/Session.h"

#include <cmath>
#include <memory>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

namespace {

enum class Press { None, Started, Bootloader, Closed, Deleted };

// A dwell time that is always over: autorun acts on its next filtered sample.
class ElapsedTimer : public ITimer {
public:
    void start() override {}
    bool hasExpired(qint64) const override { return true; }
};

// What a press command looks like: anything the session or autorun may send, and none of the
// bootloader's commands ("$G" alone starts the bootloader's programming).
bool isPressCommand(const QByteArray& line) {
    for (const char* prefix : {"$s,", "$j,", "$G,", "$b\n", "$V\n"}) {
        if (line.startsWith(prefix))
            return true;
    }
    return false;
}

} // namespace

Q_DECLARE_METATYPE(Press)

class tst_AdvancedDlg : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layoutAndTexts();
    void startingTab_data();
    void startingTab();
    void jamDetectionTimeSupport_data();
    void jamDetectionTimeSupport();
    void firmwareTab_data();
    void firmwareTab();
    void firmwareDetailsFollowThePress();
    void applyStoresClampedValuesAndSendsThem_data();
    void applyStoresClampedValuesAndSendsThem();
    void applyWithoutStartedPressChangesNothing_data();
    void applyWithoutStartedPressChangesNothing();
    void applyThatReachesNoPressSaysSo_data();
    void applyThatReachesNoPressSaysSo();
    void restoreDefaultsThenCloseLeavesSettings();
    void diagnosticsShowRawSamples();
    void linkClosingWhileOpen();
    void upgradeButtonRunsTheUpgrade();
    void upgradeOwnsThePressUntilItsDialogEnds_data();
    void upgradeOwnsThePressUntilItsDialogEnds();
    void refusesTheUpgradeWhileAProcedureRuns();

private:
    // A session on the fake press in the given state (null for None); firmware version `version`.
    Session* makeSession(Press press, const QByteArray& version = "2.24");
    std::unique_ptr<AdvancedDlg> makeDialog(Session* session, bool bluetooth = false,
                                            AdvancedDlg::Tab tab = AdvancedDlg::SettingsTab);
    template <typename T> T* child(QWidget* dialog, const char* name) {
        auto* found = dialog->findChild<T*>(QLatin1String(name));
        if (!found)
            qWarning() << "No child" << name;
        return found;
    }
    QPushButton* settingsButton(QWidget* dialog, QDialogButtonBox::StandardButton which) {
        return child<QDialogButtonBox>(dialog, "settingsBtns")->button(which);
    }

    std::unique_ptr<Protocol> m_protocol;
    FakePort* m_port = nullptr;
    Settings m_settings;
    FakeMessageBoxes m_boxes;
    std::unique_ptr<Session> m_session;
};

void tst_AdvancedDlg::init() {
    m_protocol = std::make_unique<Protocol>();
    m_port = new FakePort;
    m_protocol->setPort(m_port);
    m_settings = Settings();
    m_boxes = FakeMessageBoxes();
}

void tst_AdvancedDlg::cleanup() {
    m_session.reset();
    m_protocol.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

Session* tst_AdvancedDlg::makeSession(Press press, const QByteArray& version) {
    if (press == Press::None)
        return nullptr;
    if (press == Press::Bootloader)
        m_port->feed("$Bootloader\n");
    m_session = std::make_unique<Session>(m_protocol.get(), &m_settings, &m_boxes);
    m_session->init();
    if (press != Press::Bootloader && !version.isNull())
        m_port->feed("$VER," + version + '\n');
    m_port->clearWritten();
    return m_session.get();
}

std::unique_ptr<AdvancedDlg> tst_AdvancedDlg::makeDialog(Session* session, bool bluetooth,
                                                         AdvancedDlg::Tab tab) {
    return std::make_unique<AdvancedDlg>(&m_settings, session, bluetooth, tab, nullptr, &m_boxes);
}

void tst_AdvancedDlg::layoutAndTexts() {
    auto dialog = makeDialog(makeSession(Press::Started));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Advanced"));
    // 320 x 267, wider where the tab titles need it (tst_textfit measures them on screen).
    QVERIFY(dialog->width() >= 320);
    QCOMPARE(dialog->height(), 267);
    auto* tabs = child<QTabWidget>(dialog.get(), "advancedTabs");
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 3);
    const QStringList names{"settingsTab", "diagnosticsTab", "firmwareUpgradeTab"};
    const QStringList texts{"Settings", "Diagnostics", "Firmware Upgrade"};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(tabs->widget(i)->objectName(), names.at(i));
        QCOMPARE(tabs->tabText(i), texts.at(i));
    }
    auto* close = child<QDialogButtonBox>(dialog.get(), "advancedBtns");
    QCOMPARE(close->standardButtons(), QDialogButtonBox::StandardButtons(QDialogButtonBox::Close));
    QCOMPARE(child<QDialogButtonBox>(dialog.get(), "settingsBtns")->standardButtons(),
             QDialogButtonBox::RestoreDefaults | QDialogButtonBox::Apply);

    const QList<QPair<const char*, QString>> labels{
        {"maxForceLabel", "Max Force"},
        {"jamDetectionTimeLabel", "Jam Detection Time"},
        {"positionRawLabel", "Position"},
        {"loadcellRawLabel", "Loadcell"},
        {"currentRawLabel", "Current"},
        {"currentFirmwareVersionLabel", "Current firmware version"},
        {"availableFirmwareVersionLabel", "Available firmware version"},
        {"expectedTimeLabel", "Firmware upgrades can take up to 10 minutes."},
        {"firmwareUpgradeNote", ""}};
    for (const auto& [name, text] : labels) {
        auto* label = child<QLabel>(dialog.get(), name);
        QVERIFY2(label, name);
        QCOMPARE(label->text(), text);
    }
    QCOMPARE(child<QGroupBox>(dialog.get(), "rawSensorDataGroupBox")->title(),
             QStringLiteral("Raw Sensor Data"));
    QCOMPARE(child<QGroupBox>(dialog.get(), "firmwareDetailsGroupBox")->title(),
             QStringLiteral("Firmware Details"));
    for (const char* name : {"positionRawEdit", "loadcellRawEdit", "currentRawEdit"})
        QVERIFY(child<QLineEdit>(dialog.get(), name)->isReadOnly());
    QCOMPARE(child<QPushButton>(dialog.get(), "firmwareUpgradeBtn")->text(),
             QStringLiteral("Firmware Upgrade"));

    auto* force = child<QDoubleSpinBox>(dialog.get(), "maxWeightSpinBox");
    QCOMPARE(force->decimals(), 1);
    QCOMPARE(force->suffix(), QStringLiteral("kg"));
    QCOMPARE(force->minimum(), 25.0);
    QCOMPARE(force->maximum(), 200.0);
    QCOMPARE(force->value(), 80.0);
    auto* jam = child<QDoubleSpinBox>(dialog.get(), "jamDetectionTimeSpinBox");
    QCOMPARE(jam->decimals(), 0);
    QCOMPARE(jam->suffix(), QStringLiteral("ms"));
    QCOMPARE(jam->minimum(), 10.0);
    QCOMPARE(jam->maximum(), 500.0);
    QCOMPARE(jam->value(), 200.0);

    // Close rejects the dialog.
    dialog->show();
    close->button(QDialogButtonBox::Close)->click();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
}

void tst_AdvancedDlg::startingTab_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("shown");
    QTest::newRow("settings") << int(AdvancedDlg::SettingsTab) << "settingsTab";
    QTest::newRow("diagnostics") << int(AdvancedDlg::DiagnosticsTab) << "diagnosticsTab";
    QTest::newRow("firmware upgrade") << int(AdvancedDlg::FirmwareUpgradeTab) << "firmwareUpgradeTab";
    QTest::newRow("out of range") << 3 << "settingsTab";
    QTest::newRow("negative") << -1 << "settingsTab";
}

void tst_AdvancedDlg::startingTab() {
    QFETCH(int, tab);
    QFETCH(QString, shown);
    auto dialog = makeDialog(nullptr, false, AdvancedDlg::Tab(tab));
    QCOMPARE(child<QTabWidget>(dialog.get(), "advancedTabs")->currentWidget()->objectName(), shown);
}

void tst_AdvancedDlg::jamDetectionTimeSupport_data() {
    QTest::addColumn<Press>("press");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<bool>("editable");
    QTest::newRow("2.23") << Press::Started << QByteArray("2.23") << true;
    QTest::newRow("2.22") << Press::Started << QByteArray("2.22") << false;
    QTest::newRow("1.40") << Press::Started << QByteArray("1.40") << false;
    QTest::newRow("2.23.1") << Press::Started << QByteArray("2.23.1") << false;
    QTest::newRow("3.0") << Press::Started << QByteArray("3.0") << true;
    QTest::newRow("2.x") << Press::Started << QByteArray("2.x") << false;
    QTest::newRow("BOOTLOADER") << Press::Bootloader << QByteArray() << false;
    QTest::newRow("no version yet") << Press::Started << QByteArray() << false;
    QTest::newRow("no press") << Press::None << QByteArray() << true;
}

void tst_AdvancedDlg::jamDetectionTimeSupport() {
    QFETCH(Press, press);
    QFETCH(QByteArray, version);
    QFETCH(bool, editable);
    Session* session = makeSession(press, version);
    if (session && press == Press::Bootloader)
        QCOMPARE(session->firmwareVersion(), QStringLiteral("BOOTLOADER"));
    auto dialog = makeDialog(session);
    auto* jam = child<QDoubleSpinBox>(dialog.get(), "jamDetectionTimeSpinBox");
    auto* label = child<QLabel>(dialog.get(), "jamDetectionTimeLabel");
    QCOMPARE(jam->isEnabled(), editable);
    const QString tip = editable
                            ? QString()
                            : QStringLiteral("Configuring the jam detection timeout is not supported for "
                                             "firmware versions less than 2.23.");
    QCOMPARE(jam->toolTip(), tip);
    QCOMPARE(label->toolTip(), tip);
    QCOMPARE(label->styleSheet(),
             editable ? QString() : QStringLiteral("QLabel { background-color: rgb(255, 75, 75); }"));
    QCOMPARE(child<QDoubleSpinBox>(dialog.get(), "maxWeightSpinBox")->isEnabled(), true);
}

void tst_AdvancedDlg::firmwareTab_data() {
    QTest::addColumn<Press>("press");
    QTest::addColumn<bool>("bluetooth");
    QTest::addColumn<bool>("upgradeEnabled");
    QTest::addColumn<QString>("current");
    QTest::newRow("usb press") << Press::Started << false << true << "2.24";
    QTest::newRow("press in its bootloader") << Press::Bootloader << false << true << "BOOTLOADER";
    QTest::newRow("bluetooth press") << Press::Started << true << false << "2.24";
    QTest::newRow("no press") << Press::None << false << false << "";
    QTest::newRow("no press, bluetooth") << Press::None << true << false << "";
}

void tst_AdvancedDlg::firmwareTab() {
    QFETCH(Press, press);
    QFETCH(bool, bluetooth);
    QFETCH(bool, upgradeEnabled);
    QFETCH(QString, current);
    auto dialog = makeDialog(makeSession(press), bluetooth, AdvancedDlg::FirmwareUpgradeTab);
    QCOMPARE(child<QPushButton>(dialog.get(), "firmwareUpgradeBtn")->isEnabled(), upgradeEnabled);
    QCOMPARE(child<QLabel>(dialog.get(), "availableFirmwareVersionDisplay")->text(), QStringLiteral("2.24"));
    QCOMPARE(child<QLabel>(dialog.get(), "currentFirmwareVersionDisplay")->text(), current);
    QCOMPARE(child<QLabel>(dialog.get(), "currentFirmwareVersionDisplay")->alignment(),
             Qt::AlignRight | Qt::AlignVCenter);
    QCOMPARE(child<QLabel>(dialog.get(), "firmwareUpgradeNote")->text(),
             bluetooth ? QStringLiteral("A firmware upgrade cannot be performed when using Bluetooth. Please "
                                        "restart the app to reconnect using USB.")
                       : QString());
}

// The press reports another firmware while the dialog is open, as the restarted press does at the
// end of an upgrade: the dialog shows it, and the jam detection time follows what it supports.
void tst_AdvancedDlg::firmwareDetailsFollowThePress() {
    auto dialog = makeDialog(makeSession(Press::Bootloader), false, AdvancedDlg::FirmwareUpgradeTab);
    auto* current = child<QLabel>(dialog.get(), "currentFirmwareVersionDisplay");
    auto* jam = child<QDoubleSpinBox>(dialog.get(), "jamDetectionTimeSpinBox");
    auto* label = child<QLabel>(dialog.get(), "jamDetectionTimeLabel");
    QCOMPARE(current->text(), QStringLiteral("BOOTLOADER"));
    QVERIFY(!jam->isEnabled());

    m_port->feed("$VER,2.24\n");
    QCOMPARE(current->text(), QStringLiteral("2.24"));
    QVERIFY(jam->isEnabled());
    QCOMPARE(jam->toolTip(), QString());
    QCOMPARE(label->toolTip(), QString());
    QCOMPARE(label->styleSheet(), QString());

    m_port->feed("$VER,2.22\n");
    QCOMPARE(current->text(), QStringLiteral("2.22"));
    QVERIFY(!jam->isEnabled());
    QCOMPARE(label->styleSheet(), QStringLiteral("QLabel { background-color: rgb(255, 75, 75); }"));
}

void tst_AdvancedDlg::applyStoresClampedValuesAndSendsThem_data() {
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<double>("force");
    QTest::addColumn<double>("jam");
    QTest::addColumn<double>("storedForce");
    QTest::addColumn<int>("storedJam");
    QTest::newRow("within range") << QByteArray("2.24") << 120.0 << 150.0 << 120.0 << 150;
    QTest::newRow("above range") << QByteArray("2.24") << 250.0 << 900.0 << 200.0 << 500;
    QTest::newRow("below range") << QByteArray("2.24") << 3.0 << 1.0 << 25.0 << 10;
    QTest::newRow("rounded to the boxes' decimals") << QByteArray("2.24") << 80.26 << 37.4 << 80.3 << 37;
    // An old press keeps its jam time box disabled, and still gets the stored time.
    QTest::newRow("old firmware") << QByteArray("2.22") << 90.0 << 300.0 << 90.0 << 300;
}

void tst_AdvancedDlg::applyStoresClampedValuesAndSendsThem() {
    QFETCH(QByteArray, version);
    QFETCH(double, force);
    QFETCH(double, jam);
    QFETCH(double, storedForce);
    QFETCH(int, storedJam);
    m_settings.setJamDetectionTime(300);
    auto dialog = makeDialog(makeSession(Press::Started, version));
    child<QDoubleSpinBox>(dialog.get(), "maxWeightSpinBox")->setValue(force);
    child<QDoubleSpinBox>(dialog.get(), "jamDetectionTimeSpinBox")->setValue(jam);
    settingsButton(dialog.get(), QDialogButtonBox::Apply)->click();

    QCOMPARE(m_settings.maxPressure(), storedForce);
    QCOMPARE(m_settings.jamDetectionTime(), storedJam);
    // The session's zero is 0: the limit is the force in load-cell counts.
    const int limit = int(std::trunc(storedForce / Session::kKilogramsPerCount));
    QCOMPARE(m_port->writes(), (QList<QByteArray>{"$s," + QByteArray::number(limit) + '\n',
                                                  "$j," + QByteArray::number(storedJam) + '\n'}));
    QCOMPARE(m_boxes.boxes.size(), 1);
    QCOMPARE(m_boxes.boxes.at(0).kind, FakeMessageBoxes::Box::Message);
    QCOMPARE(m_boxes.boxes.at(0).text, QStringLiteral("Settings applied."));
    QCOMPARE(m_boxes.boxes.at(0).informativeText, QStringLiteral("Press OK to continue."));
}

void tst_AdvancedDlg::applyWithoutStartedPressChangesNothing_data() {
    QTest::addColumn<Press>("press");
    QTest::newRow("no press") << Press::None;
    QTest::newRow("press in its bootloader") << Press::Bootloader;
    QTest::newRow("link closed") << Press::Closed;
    QTest::newRow("session deleted") << Press::Deleted;
}

void tst_AdvancedDlg::applyWithoutStartedPressChangesNothing() {
    QFETCH(Press, press);
    m_settings.setMaxPressure(100.0);
    m_settings.setJamDetectionTime(50);
    auto dialog = makeDialog(makeSession(press == Press::None         ? Press::None
                                         : press == Press::Bootloader ? Press::Bootloader
                                                                      : Press::Started));
    child<QDoubleSpinBox>(dialog.get(), "maxWeightSpinBox")->setValue(150.0);
    child<QDoubleSpinBox>(dialog.get(), "jamDetectionTimeSpinBox")->setValue(250.0);
    if (press == Press::Closed || press == Press::Deleted)
        m_port->closeFromDevice();
    if (press == Press::Deleted)
        m_session.reset();
    settingsButton(dialog.get(), QDialogButtonBox::Apply)->click();

    QCOMPARE(m_settings.maxPressure(), 100.0);
    QCOMPARE(m_settings.jamDetectionTime(), 50);
    QVERIFY(m_port->written().isEmpty());
    QCOMPARE(m_boxes.boxes.size(), 1);
    QCOMPARE(m_boxes.boxes.at(0).kind, FakeMessageBoxes::Box::Warning);
    QCOMPARE(m_boxes.boxes.at(0).text, QStringLiteral("Press not connected."));
    QCOMPARE(m_boxes.boxes.at(0).informativeText, QStringLiteral("Press OK to continue."));
}

void tst_AdvancedDlg::applyThatReachesNoPressSaysSo_data() {
    QTest::addColumn<bool>("reportsClosed"); // else the port stays open and its writes fail
    QTest::newRow("port gone, its closing not noticed yet") << true;
    QTest::newRow("writes fail") << false;
}

// A started session whose port takes nothing: the press has not got the settings, and the record
// keeps what the press last had.
void tst_AdvancedDlg::applyThatReachesNoPressSaysSo() {
    QFETCH(bool, reportsClosed);
    m_settings.setMaxPressure(100.0);
    m_settings.setJamDetectionTime(50);
    auto dialog = makeDialog(makeSession(Press::Started));
    child<QDoubleSpinBox>(dialog.get(), "maxWeightSpinBox")->setValue(150.0);
    child<QDoubleSpinBox>(dialog.get(), "jamDetectionTimeSpinBox")->setValue(250.0);
    if (reportsClosed)
        m_port->setReportsClosed();
    else
        m_port->setFailWrites(true);
    settingsButton(dialog.get(), QDialogButtonBox::Apply)->click();

    QVERIFY(m_session->isInitialized());
    QCOMPARE(m_settings.maxPressure(), 100.0);
    QCOMPARE(m_settings.jamDetectionTime(), 50);
    QCOMPARE(m_boxes.boxes.size(), 1);
    QCOMPARE(m_boxes.boxes.at(0).kind, FakeMessageBoxes::Box::Warning);
    QCOMPARE(m_boxes.boxes.at(0).text, QStringLiteral("Settings not applied: the press is not connected."));
    QCOMPARE(m_boxes.boxes.at(0).informativeText, QStringLiteral("Press OK to continue."));
}

void tst_AdvancedDlg::restoreDefaultsThenCloseLeavesSettings() {
    m_settings.setMaxPressure(120.0);
    m_settings.setJamDetectionTime(50);
    auto dialog = makeDialog(makeSession(Press::Started));
    auto* force = child<QDoubleSpinBox>(dialog.get(), "maxWeightSpinBox");
    auto* jam = child<QDoubleSpinBox>(dialog.get(), "jamDetectionTimeSpinBox");
    QCOMPARE(force->value(), 120.0);
    QCOMPARE(jam->value(), 50.0);
    settingsButton(dialog.get(), QDialogButtonBox::RestoreDefaults)->click();
    QCOMPARE(force->value(), 80.0);
    QCOMPARE(jam->value(), 200.0);
    child<QDialogButtonBox>(dialog.get(), "advancedBtns")->button(QDialogButtonBox::Close)->click();
    QCOMPARE(m_settings.maxPressure(), 120.0);
    QCOMPARE(m_settings.jamDetectionTime(), 50);
    QVERIFY(m_port->written().isEmpty());
    QVERIFY(m_boxes.boxes.isEmpty());
}

void tst_AdvancedDlg::diagnosticsShowRawSamples() {
    auto dialog = makeDialog(makeSession(Press::Started), false, AdvancedDlg::DiagnosticsTab);
    m_port->feed("$R,165,33000\n$R,-7,-2147483648,12\n");
    QCOMPARE(child<QLineEdit>(dialog.get(), "positionRawEdit")->text(), QStringLiteral("-7"));
    QCOMPARE(child<QLineEdit>(dialog.get(), "loadcellRawEdit")->text(), QStringLiteral("-2147483648"));
    QCOMPARE(child<QLineEdit>(dialog.get(), "currentRawEdit")->text(), QStringLiteral("12"));
}

void tst_AdvancedDlg::linkClosingWhileOpen() {
    auto dialog = makeDialog(makeSession(Press::Started), false, AdvancedDlg::FirmwareUpgradeTab);
    int upgrades = 0;
    dialog->setFirmwareUpgrade([&upgrades](Protocol*, QWidget*) { ++upgrades; });
    auto* upgrade = child<QPushButton>(dialog.get(), "firmwareUpgradeBtn");
    QVERIFY(upgrade->isEnabled());

    m_port->closeFromDevice();
    QVERIFY(!upgrade->isEnabled());
    // The connection workflow discards the session; the dialog stays open.
    m_session.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    settingsButton(dialog.get(), QDialogButtonBox::Apply)->click();
    QCOMPARE(m_boxes.boxes.size(), 1);
    QCOMPARE(m_boxes.boxes.at(0).text, QStringLiteral("Press not connected."));
    QMetaObject::invokeMethod(dialog.get(), "onFirmwareUpgrade");
    QCOMPARE(upgrades, 0);
    // Another press attached to the protocol reaches nothing of the dialog.
    auto* next = new FakePort;
    m_protocol->setPort(next);
    next->feed("$R,1,2,3\n");
    QCOMPARE(child<QLineEdit>(dialog.get(), "positionRawEdit")->text(), QString());
}

void tst_AdvancedDlg::upgradeButtonRunsTheUpgrade() {
    Session* session = makeSession(Press::Started);
    auto dialog = makeDialog(session);
    QList<QPair<Protocol*, QWidget*>> calls;
    dialog->setFirmwareUpgrade([&calls](Protocol* protocol, QWidget* parent) {
        calls.append({protocol, parent});
    });
    QTest::ignoreMessage(QtDebugMsg, "Firmware upgrade button clicked");
    child<QPushButton>(dialog.get(), "firmwareUpgradeBtn")->click();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.at(0).first, m_protocol.get());
    QCOMPARE(calls.at(0).second, dialog.get());
}

void tst_AdvancedDlg::upgradeOwnsThePressUntilItsDialogEnds_data() {
    QTest::addColumn<bool>("beganInBootloader"); // else a started session with autorun attached
    QTest::newRow("autorun attached, die placed during the upgrade") << false;
    QTest::newRow("session began in the bootloader") << true;
}

// A whole upgrade on the simulated press, whose restarted application streams samples with a die on
// the press after each exit command while the upgrade dialog is still open. Nothing but the upgrade
// may command the press until its dialog ends; then the link is closed, so the press is found and
// zeroed again as a new connection.
void tst_AdvancedDlg::upgradeOwnsThePressUntilItsDialogEnds() {
    QFETCH(bool, beganInBootloader);
    constexpr int kDie = 20000;
    QByteArray image(0x80000, char(0xFF));
    for (int a = 0; a < image.size(); ++a)
        image[a] = char((a * 7 + (a >> 8)) & 0xFF);
    MemoryFirmwareReader reader(image);
    QPointer<SimulatedBootloader> press = new SimulatedBootloader(QByteArray(0x80000, '\0'));
    m_protocol->setPort(press); // drops the fake port
    const auto deliver = [&press](const QByteArray& line, int times) {
        for (int i = 0; i < times; ++i)
            press->queue(line);
        press->deliver();
    };
    if (beganInBootloader) {
        press->write("$x\n");
        press->deliver();
    }
    m_session = std::make_unique<Session>(m_protocol.get(), &m_settings, &m_boxes);
    m_session->init();
    QPointer<Autorun> autorun;
    if (!beganInBootloader) {
        press->deliver(); // the version
        m_settings.autorunFilterLength = 1;
        autorun =
            new Autorun(m_session.get(), std::make_unique<ElapsedTimer>(), &m_settings, m_session.get());
        QVERIFY(autorun->measureNoDieWeight());
        deliver("$R,165,0", 50);
        QVERIFY(autorun->measureWithDieWeight());
        deliver("$R,165," + QByteArray::number(kDie), 50);
        m_session->setAutorun(autorun);
        deliver("$R,165,0", 2);
        QCOMPARE(autorun->state(), Autorun::NoDie); // waiting for a die to be placed
    }
    QCOMPARE(m_session->isInitialized(), !beganInBootloader);
    press->sampleAfterExit = "$R,165," + QByteArray::number(kDie);
    press->commands.clear();
    QSignalSpy initialized(m_session.get(), &Session::initialized);
    QSignalSpy samples(m_session.get(), &ISession::pointReceived);
    QSignalSpy closed(m_session.get(), &Session::closed);

    auto dialog = makeDialog(m_session.get(), false, AdvancedDlg::FirmwareUpgradeTab);
    int upgrades = 0;
    QList<QByteArray> whileOpen;
    dialog->setFirmwareUpgrade([&](Protocol* protocol, QWidget* parent) {
        ++upgrades;
        DialogBootload upgrade(&reader, protocol, parent, &m_boxes, DialogBootload::Ticks::Manual);
        QSignalSpy finished(&upgrade, &QDialog::finished);
        for (int ticks = 0;
             finished.isEmpty() && upgrade.stage() != DialogBootload::Failed && ticks < 4000;) {
            if (press && press->deliver())
                continue;
            upgrade.tick();
            ++ticks;
        }
        QCOMPARE(upgrade.stage(), DialogBootload::Finished);
        for (const SimulatedBootloader::Command& command : std::as_const(press->commands))
            whileOpen.append(command.line);
        // The link stays until the upgrade's dialog has ended.
        QVERIFY(m_protocol->port());
        QCOMPARE(closed.count(), 0);
    });
    child<QPushButton>(dialog.get(), "firmwareUpgradeBtn")->click();

    QCOMPARE(upgrades, 1);
    QCOMPARE(whileOpen.mid(whileOpen.lastIndexOf("$X\n") + 1), QList<QByteArray>{"$V\n"});
    QList<QByteArray> pressCommands;
    for (const QByteArray& line : std::as_const(whileOpen)) {
        if (isPressCommand(line))
            pressCommands.append(line);
    }
    // Only the upgrade's own version request, after its last exit command.
    QCOMPARE(pressCommands, QList<QByteArray>{"$V\n"});
    QCOMPARE(initialized.count(), 0);
    QVERIFY(samples.count() >= DialogBootload::kExitCommands); // the restarted press was streaming
    QVERIFY(!m_session->hasAutorun());
    // The dialog has ended: the link is closed and the session with it.
    QCOMPARE(m_protocol->port(), nullptr);
    QVERIFY(press.isNull() || !press->isOpen());
    QCOMPARE(closed.count(), 1);
    QVERIFY(!m_session->isInitialized());
    QVERIFY(!child<QPushButton>(dialog.get(), "firmwareUpgradeBtn")->isEnabled());
    QVERIFY(m_boxes.boxes.isEmpty());
}

// While a procedure runs (here the zeroing), the press is not the upgrade's to take: Advanced says
// so and starts nothing; once the procedure has ended, the upgrade starts.
void tst_AdvancedDlg::refusesTheUpgradeWhileAProcedureRuns() {
    Session* session = makeSession(Press::Started);
    auto dialog = makeDialog(session, false, AdvancedDlg::FirmwareUpgradeTab);
    int upgrades = 0;
    dialog->setFirmwareUpgrade([&upgrades](Protocol*, QWidget*) { ++upgrades; });
    QVERIFY(session->calibrateZeroWeight());
    auto* upgrade = child<QPushButton>(dialog.get(), "firmwareUpgradeBtn");
    upgrade->click();

    QCOMPARE(upgrades, 0);
    QCOMPARE(m_boxes.boxes.size(), 1);
    QCOMPARE(m_boxes.boxes.at(0).kind, FakeMessageBoxes::Box::Warning);
    QCOMPARE(m_boxes.boxes.at(0).text,
             QStringLiteral("The firmware cannot be upgraded while the press is running a procedure."));
    QCOMPARE(m_boxes.boxes.at(0).informativeText,
             QStringLiteral("Wait until it has finished, then try again."));
    QVERIFY(session->isInitialized());
    QVERIFY(m_protocol->port());
    QVERIFY(upgrade->isEnabled());

    QSignalSpy finished(session, &ISession::procedureFinished);
    m_port->feed(QByteArray("$R,165,1000\n").repeated(50));
    QCOMPARE(finished.count(), 1);
    upgrade->click();
    QCOMPARE(upgrades, 1);
}

QTEST_MAIN(tst_AdvancedDlg)
#include "tst_advanceddlg.moc"
