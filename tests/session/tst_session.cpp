#include "support/FakeMessageBoxes.h"
#include "support/FakePort.h"
#include "support/LogCapture.h"

#include "core/Settings.h"
#include "link/Protocol.h"
#include "session/Autorun.h"
#include "session/BaseProcedure.h"
#include "session/Session.h"
#include "session/Timer.h"

#include <cmath>
#include <memory>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

namespace {

QByteArray sample(int position, int value) {
    return "$R," + QByteArray::number(position) + ',' + QByteArray::number(value) + '\n';
}

QByteArray samples(int count, int position, int value) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += sample(position, value);
    return bytes;
}

QByteArray report(int code) {
    return "$D," + QByteArray::number(code) + '\n';
}

void flushDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class tst_Session : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void initRequestsVersionOnce();
    void bootloaderSessionStartsOnFirstSample();
    void zeroingSetsForceLimit_data();
    void zeroingSetsForceLimit();
    void commandsIgnoredUntilStartedAndAfterClose();
    void findXZeroSendsLimitsAndRestoresThem_data();
    void findXZeroSendsLimitsAndRestoresThem();
    void goSendsSettingsThenStrokeAfterDelay();
    void strokeOutcome_data();
    void strokeOutcome();
    void dieSetupRunsAuxiliaryStroke();
    void closingDuringStrokeCancels();
    void closingDuringStartDelayNeverStartsProcedure();
    void silentPressCancelsStroke();
    void resultBoxSurvivesDeletions();
    void autorunIsFedAndOwned();
    void refusesCommandsWhileProcedureActive_data();
    void refusesCommandsWhileProcedureActive();
    void strokeStartsOnlyOnIdlePress_data();
    void strokeStartsOnlyOnIdlePress();
    void sessionOutlivesProtocol();
    void handedOverToAnUpgradeItCommandsNothing();

private:
    // A started, zeroed session (zero offset `zero`).
    void startAndZero(int zero);
    // Runs the X zero search to a found X zero at `xZero`.
    void findXZeroAt(int xZero);
    QList<QByteArray> writesSince(int index) const { return m_port->writes().mid(index); }

    std::unique_ptr<Protocol> m_protocol;
    FakePort* m_port = nullptr;
    Settings m_settings;
    FakeMessageBoxes m_boxes;
    std::unique_ptr<Session> m_session;
};

void tst_Session::init() {
    m_protocol = std::make_unique<Protocol>();
    m_port = new FakePort;
    m_protocol->setPort(m_port);
    m_settings = Settings();
    m_boxes = FakeMessageBoxes();
    m_session = std::make_unique<Session>(m_protocol.get(), &m_settings, &m_boxes);
}

void tst_Session::cleanup() {
    m_session.reset();
    m_protocol.reset();
    flushDeferredDeletes();
}

void tst_Session::startAndZero(int zero) {
    m_session->init();
    QVERIFY(m_session->isInitialized());
    m_session->calibrateZeroWeight();
    m_port->feed(samples(50, 165, zero));
    QVERIFY(m_session->isZeroWeightCalibrated());
    QCOMPARE(m_session->zeroWeightAdc(), zero);
}

void tst_Session::findXZeroAt(int xZero) {
    QSignalSpy finished(m_session.get(), &ISession::procedureFinished);
    m_session->findXZero();
    QTRY_VERIFY(m_port->written().contains("$G,100,0\n"));
    // The stroke's end, then the press at rest again.
    m_port->feed(sample(xZero, m_session->zeroWeightAdc()) + report(MotorReport::ReachedWeightLimit) +
                 sample(165, m_session->zeroWeightAdc()));
    QCOMPARE(finished.count(), 1);
    QVERIFY(m_session->isXZeroFound());
    QCOMPARE(m_session->xZeroPosition(), xZero);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    m_boxes.boxes.clear();
}

void tst_Session::initRequestsVersionOnce() {
    QSignalSpy initialized(m_session.get(), &Session::initialized);
    QSignalSpy version(m_session.get(), &Session::firmwareVersionReceived);
    QCOMPARE(m_session->firmwareVersion(), QString());
    m_session->init();
    m_session->init();
    QCOMPARE(initialized.count(), 1);
    QCOMPARE(m_port->writes(), QList<QByteArray>{"$V\n"});

    m_port->feed("$VER,9.99\n");
    QCOMPARE(version.count(), 1);
    QCOMPARE(version.at(0).at(0).toString(), QStringLiteral("9.99"));
    QCOMPARE(m_session->firmwareVersion(), QStringLiteral("9.99"));

    // The sample stream is relayed unchanged.
    QSignalSpy points(m_session.get(), &ISession::pointReceived);
    m_port->feed("$R,7,-8,9\n");
    QCOMPARE(points.count(), 1);
    QCOMPARE(points.at(0), (QList<QVariant>{7, -8, 9}));
    QCOMPARE(initialized.count(), 1);
}

void tst_Session::bootloaderSessionStartsOnFirstSample() {
    m_port->feed("$Bootloader\n");
    QStringList events;
    connect(m_session.get(), &Session::firmwareVersionReceived, this,
            [&events](const QString& v) { events << "version " + v; });
    connect(m_session.get(), &Session::initialized, this, [&events, this] {
        events << "initialized"
               << "written " + QString::fromLatin1(m_port->written());
    });
    connect(m_session.get(), &ISession::pointReceived, this, [&events] { events << "point"; });

    m_session->init();
    QCOMPARE(events, QStringList{"version BOOTLOADER"});
    QCOMPARE(m_session->firmwareVersion(), QStringLiteral("BOOTLOADER"));
    QVERIFY(!m_session->isInitialized());
    QVERIFY(m_port->written().isEmpty());
    // Commands wait for the application firmware.
    m_session->go();
    QVERIFY(m_port->written().isEmpty());
    // A second init() while waiting must not double the sample relay.
    m_session->init();

    m_port->feed(sample(165, 33000));
    QCOMPARE(events, (QStringList{"version BOOTLOADER", "version BOOTLOADER", "point", "initialized",
                                  "written $V\n"}));
    QVERIFY(m_session->isInitialized());
}

void tst_Session::zeroingSetsForceLimit_data() {
    QTest::addColumn<int>("zero");
    QTest::addColumn<double>("kilograms");
    QTest::addColumn<QByteArray>("limit");
    QTest::newRow("80 kg above 1000") << 1000 << 80.0 << QByteArray("$s,848520\n");
    QTest::newRow("25 kg above 0") << 0 << 25.0 << QByteArray("$s,264850\n");
    QTest::newRow("200 kg above 0") << 0 << 200.0 << QByteArray("$s,2118800\n");
    QTest::newRow("80.5 kg above -500") << -500 << 80.5 << QByteArray("$s,852317\n");
}

void tst_Session::zeroingSetsForceLimit() {
    QFETCH(int, zero);
    QFETCH(double, kilograms);
    QFETCH(QByteArray, limit);
    m_settings.setMaxPressure(kilograms);
    QSignalSpy progress(m_session.get(), &Session::procedureProgressChanged);
    QSignalSpy finished(m_session.get(), &ISession::procedureFinished);
    m_session->init();
    m_port->clearWritten();

    m_session->calibrateZeroWeight();
    // Zeroing starts at once and sends nothing before it ends.
    m_port->feed(samples(49, 165, zero));
    QVERIFY(m_port->written().isEmpty());
    QVERIFY(!m_session->isZeroWeightCalibrated());
    m_port->feed(sample(165, zero));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(m_port->writes(), QList<QByteArray>{limit});
    QCOMPARE(progress.count(), 50);
    QCOMPARE(progress.constLast().at(0).toInt(), 100);

    // The settings push: the force limit, then the jam detection time.
    m_port->clearWritten();
    m_settings.setJamDetectionTime(37);
    m_session->applyPressSettings();
    QCOMPARE(m_port->writes(), (QList<QByteArray>{limit, "$j,37\n"}));

    // A limit that is not a number is never sent.
    m_port->clearWritten();
    m_session->setMaxWeight(std::nan(""));
    m_session->setMaxWeight(HUGE_VAL);
    QVERIFY(m_port->written().isEmpty());
}

void tst_Session::commandsIgnoredUntilStartedAndAfterClose() {
    const auto tryEverything = [this] {
        m_session->go();
        m_session->findXZero();
        m_session->dieSetup();
        m_session->setMaxWeight(50.0);
        m_session->setJamDetectionTime(100);
        m_session->applyPressSettings();
    };
    tryEverything();
    QVERIFY(m_port->written().isEmpty());
    QVERIFY(m_session->findChildren<BaseProcedure*>().isEmpty());

    m_session->init();
    QSignalSpy closed(m_session.get(), &Session::closed);
    QSignalSpy initialized(m_session.get(), &Session::initialized);
    m_port->closeFromDevice();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!m_session->isInitialized());

    // The protocol gets a new port (another press); the closed session stays silent on it.
    auto* next = new FakePort;
    m_protocol->setPort(next);
    QSignalSpy points(m_session.get(), &ISession::pointReceived);
    next->feed(sample(165, 33000));
    m_session->init();
    tryEverything();
    QVERIFY(next->written().isEmpty());
    QCOMPARE(points.count(), 0);
    QCOMPARE(initialized.count(), 0);
    QVERIFY(m_session->findChildren<BaseProcedure*>().isEmpty());
}

void tst_Session::findXZeroSendsLimitsAndRestoresThem_data() {
    QTest::addColumn<QString>("end");
    QTest::addColumn<bool>("found");
    QTest::addColumn<int>("boxKind");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<QString>("boxInformative");
    QTest::newRow("die detected") << "report 0" << true << int(FakeMessageBoxes::Box::Ok) << "X zero found"
                                  << QString();
    QTest::newRow("first angle limit")
        << "report 1" << false << int(FakeMessageBoxes::Box::Warning) << "Find X Zero failed."
        << "Die not detected.";
    QTest::newRow("point limit") << "4001 samples" << false << int(FakeMessageBoxes::Box::Warning)
                                 << "Find X Zero failed."
                                 << "Die not detected.";
    QTest::newRow("cancelled") << "cancel" << false << -1 << QString() << QString();
}

void tst_Session::findXZeroSendsLimitsAndRestoresThem() {
    QFETCH(QString, end);
    QFETCH(bool, found);
    QFETCH(int, boxKind);
    QFETCH(QString, boxText);
    QFETCH(QString, boxInformative);

    startAndZero(1000);
    // An earlier search found the X zero at 700; a failed search keeps it.
    findXZeroAt(700);
    QSignalSpy finished(m_session.get(), &ISession::procedureFinished);
    QSignalSpy canceled(m_session.get(), &ISession::procedureCanceled);

    const int before = int(m_port->writes().size());
    m_session->findXZero();
    QCOMPARE(writesSince(before), (QList<QByteArray>{"$j,200\n", "$s,106940\n"}));
    QTRY_COMPARE(writesSince(before).size(), 3);
    QCOMPARE(writesSince(before).at(2), QByteArray("$G,100,0\n"));

    // The threshold is zero + 52970: 53969 is below it, 53970 touches.
    m_port->feed(sample(300, 1000) + sample(450, 53969) + sample(460, 53970));
    int boxesSeen = 0;
    m_boxes.whileOpen = [&] {
        ++boxesSeen;
        // The box waits for the event loop: the search has ended and the user's limit is back before
        // its nested loop can run, never inside the link's own signal chain.
        QCOMPARE(writesSince(before).size(), 4);
        QCOMPARE(finished.count(), 1);
    };
    if (end == "report 0") {
        m_port->feed(report(0));
    } else if (end == "report 1") {
        m_port->feed(report(1));
    } else if (end == "4001 samples") {
        m_port->feed(samples(3998, 400, 1000));
    } else {
        auto* procedure = m_session->findChild<BaseProcedure*>();
        QVERIFY(procedure);
        procedure->cancel();
    }
    QCOMPARE(writesSince(before).size(), 4);
    QCOMPARE(writesSince(before).at(3), QByteArray("$s,848520\n"));
    QCOMPARE(boxesSeen, 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QCOMPARE(finished.count(), end == "cancel" ? 0 : 1);
    QCOMPARE(canceled.count(), end == "cancel" ? 1 : 0);
    QCOMPARE(m_session->xZeroPosition(), found ? 450 : 700);
    QVERIFY(m_session->isXZeroFound());
    if (boxKind < 0) {
        QVERIFY(m_boxes.boxes.isEmpty());
    } else {
        QCOMPARE(m_boxes.boxes.size(), 1);
        QCOMPARE(boxesSeen, 1);
        QCOMPARE(int(m_boxes.boxes.at(0).kind), boxKind);
        QCOMPARE(m_boxes.boxes.at(0).text, boxText);
        QCOMPARE(m_boxes.boxes.at(0).informativeText, boxInformative);
    }
}

void tst_Session::goSendsSettingsThenStrokeAfterDelay() {
    m_settings.setMaxPressure(80.0);
    m_settings.setJamDetectionTime(150);
    startAndZero(1000);
    findXZeroAt(2000);

    QStringList events;
    connect(m_session.get(), &Session::measurementDone, this, [&events] { events << "measurement"; });
    connect(m_session.get(), &ISession::procedureFinished, this, [&events, this] {
        events << "finished"
               << "last write " + QString::fromLatin1(m_port->writes().constLast());
    });
    QSignalSpy measurement(m_session.get(), &Session::measurementDone);

    const int before = int(m_port->writes().size());
    m_session->go();
    QCOMPARE(writesSince(before), (QList<QByteArray>{"$s,848520\n", "$j,150\n"}));
    QTRY_COMPARE(writesSince(before).size(), 3);
    QCOMPARE(writesSince(before).at(2), QByteArray("$G,100,1\n"));

    m_port->feed(sample(1000, 11000) + sample(1999, 1000) + sample(2000, 5000) + sample(2500, 9000) +
                 report(MotorReport::ReachedAngleStartPosition));
    QCOMPARE(measurement.count(), 1);
    const auto points = measurement.at(0).at(0).value<QList<QPointF>>();
    const QList<QPointF> expected{{1000 * Session::kPositionFactor, 10000 * Session::kForceFactor},
                                  {1 * Session::kPositionFactor, 0.0}};
    QCOMPARE(points, expected);
    QCOMPARE(events, (QStringList{"measurement", "finished", "last write $b\n"}));
    QVERIFY(m_boxes.boxes.isEmpty());
}

void tst_Session::strokeOutcome_data() {
    QTest::addColumn<QByteArray>("stroke");
    QTest::addColumn<int>("measurements");
    QTest::addColumn<QString>("boxText");

    QTest::newRow("normal end") << sample(10, 500) + report(0) << 1 << QString();
    QTest::newRow("normal end, empty trace") << sample(2000, 500) + report(0) << 1 << QString();
    QTest::newRow("over-current keeps trace")
        << sample(10, 500) + report(4) << 1 << "Detected over-current during compression.";
    QTest::newRow("no data changing discards trace")
        << sample(10, 500) + report(11) << 0 << "Failed to detect die in timeout.";
    QTest::newRow("no report within 1000 samples") << samples(1001, 10, 500) << 0 << "No report received.";
    QTest::newRow("unknown code keeps trace silently") << sample(10, 500) + report(13) << 1 << QString();
}

void tst_Session::strokeOutcome() {
    QFETCH(QByteArray, stroke);
    QFETCH(int, measurements);
    QFETCH(QString, boxText);

    startAndZero(0);
    findXZeroAt(100);
    QSignalSpy measurement(m_session.get(), &Session::measurementDone);
    QSignalSpy finished(m_session.get(), &ISession::procedureFinished);
    m_session->go();
    QTRY_VERIFY(m_port->written().endsWith("$G,100,1\n"));
    m_port->feed(stroke);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(measurement.count(), measurements);
    QVERIFY(m_boxes.boxes.isEmpty()); // posted, not opened inside the receive path
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QCOMPARE(m_boxes.boxes.size(), boxText.isEmpty() ? 0 : 1);
    if (!boxText.isEmpty())
        QCOMPARE(m_boxes.boxes.at(0).text, boxText);
    QVERIFY(m_port->written().endsWith("$b\n"));
}

void tst_Session::dieSetupRunsAuxiliaryStroke() {
    m_settings.setJamDetectionTime(80);
    startAndZero(0);
    QSignalSpy finished(m_session.get(), &ISession::procedureFinished);
    const int before = int(m_port->writes().size());
    m_session->dieSetup();
    QCOMPARE(writesSince(before), (QList<QByteArray>{"$s,847520\n", "$j,80\n"}));
    QTRY_COMPARE(writesSince(before).size(), 3);
    QCOMPARE(writesSince(before).at(2), QByteArray("$G,100,0\n"));
    m_port->feed(samples(20, 300, 90000) + report(MotorReport::ReachedAngleBottomPosition));
    QCOMPARE(finished.count(), 1);
    // The session takes no result from it and shows nothing.
    QVERIFY(m_boxes.boxes.isEmpty());
    QVERIFY(!m_session->isXZeroFound());
}

void tst_Session::closingDuringStrokeCancels() {
    startAndZero(0);
    findXZeroAt(100);
    QStringList events;
    connect(m_session.get(), &Session::closed, this, [&events] { events << "closed"; });
    connect(m_session.get(), &ISession::procedureCanceled, this, [&events] { events << "canceled"; });
    connect(m_session.get(), &ISession::procedureFinished, this, [&events] { events << "finished"; });
    connect(m_session.get(), &Session::measurementDone, this, [&events] { events << "measurement"; });
    m_session->go();
    QTRY_VERIFY(m_port->written().endsWith("$G,100,1\n"));
    m_port->feed(samples(10, 10, 500));
    QPointer<BaseProcedure> procedure = m_session->findChild<BaseProcedure*>();
    QVERIFY(procedure);
    m_port->closeFromDevice();
    QCOMPARE(events, (QStringList{"closed", "canceled"}));
    QVERIFY(!m_session->isInitialized());
    flushDeferredDeletes();
    QVERIFY(!procedure);
}

void tst_Session::closingDuringStartDelayNeverStartsProcedure() {
    startAndZero(0);
    findXZeroAt(100);
    QSignalSpy canceled(m_session.get(), &ISession::procedureCanceled);
    QSignalSpy finished(m_session.get(), &ISession::procedureFinished);
    m_session->go();
    QPointer<BaseProcedure> procedure = m_session->findChild<BaseProcedure*>();
    QVERIFY(procedure);
    // The link closes and another press is attached while the start delay runs.
    m_port->closeFromDevice();
    auto* next = new FakePort;
    m_protocol->setPort(next);
    // Wait well past the moment the delayed start would have fired.
    bool past = false;
    QTimer::singleShot(3 * Session::kProcedureStartDelayMs, this, [&past] { past = true; });
    QTRY_VERIFY(past);
    QVERIFY(next->written().isEmpty());
    QVERIFY(!procedure);
    QCOMPARE(canceled.count(), 0);
    QCOMPARE(finished.count(), 0);
    next->feed(sample(10, 500) + report(0));
    QCOMPARE(finished.count(), 0);
}

void tst_Session::silentPressCancelsStroke() {
    m_session->setProcedureTimeoutMs(300);
    startAndZero(0);
    findXZeroAt(100);
    QSignalSpy canceled(m_session.get(), &ISession::procedureCanceled);
    QSignalSpy finished(m_session.get(), &ISession::procedureFinished);
    QSignalSpy measurement(m_session.get(), &Session::measurementDone);
    m_session->go();
    QTRY_VERIFY(m_port->written().endsWith("$G,100,1\n"));
    m_port->feed(samples(5, 10, 500));
    // The press goes silent without closing its port.
    QTRY_COMPARE_WITH_TIMEOUT(canceled.count(), 1, 10000);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(measurement.count(), 0);
    QVERIFY(m_port->isOpen());
    QVERIFY(m_session->isInitialized());
}

void tst_Session::resultBoxSurvivesDeletions() {
    startAndZero(0);
    findXZeroAt(100);
    QSignalSpy measurement(m_session.get(), &Session::measurementDone);
    m_session->go();
    QTRY_VERIFY(m_port->written().endsWith("$G,100,1\n"));

    // While the report's box is open the link closes and the session itself is discarded,
    // as the connection workflow does; the finished procedure goes with it.
    QPointer<Session> session = m_session.get();
    QPointer<BaseProcedure> procedure = m_session->findChild<BaseProcedure*>();
    m_boxes.whileOpen = [&] {
        m_port->closeFromDevice();
        m_session.release()->deleteLater();
        flushDeferredDeletes();
        QVERIFY(!session);
        QVERIFY(!procedure);
    };
    m_port->feed(sample(10, 500) + report(MotorReport::DetectedMotorAngleJamRetract));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QCOMPARE(m_boxes.boxes.size(), 1);
    QCOMPARE(measurement.count(), 1);
    QVERIFY(!session);
}

void tst_Session::autorunIsFedAndOwned() {
    m_settings.autorunFilterLength = 1;
    Timer timer;
    startAndZero(0);
    QPointer<Autorun> first = new Autorun(m_session.get(), &timer, &m_settings);
    QSignalSpy status(first.data(), &Autorun::statusUpdate);
    m_session->setAutorun(first);
    QVERIFY(m_session->hasAutorun());
    QCOMPARE(first->state(), Autorun::Init);
    QCOMPARE(status.count(), 1);
    // Both weights are 0: a reading of -1 lies below the low threshold.
    m_port->feed(sample(165, -1));
    QCOMPARE(first->state(), Autorun::NoDieWaiting);

    // Attaching another schedules the first one's deletion and stops feeding it.
    QPointer<Autorun> second = new Autorun(m_session.get(), &timer, &m_settings);
    m_session->setAutorun(second);
    m_port->feed(sample(165, 5));
    QCOMPARE(first->state(), Autorun::NoDieWaiting);
    flushDeferredDeletes();
    QVERIFY(!first);
    QCOMPARE(second->state(), Autorun::Init);
    m_port->feed(sample(165, -1));
    QCOMPARE(second->state(), Autorun::NoDieWaiting);

    m_session->clearAutorun();
    QVERIFY(!m_session->hasAutorun());
    flushDeferredDeletes();
    QVERIFY(!second);

    // A session that is discarded takes its attached autorun with it.
    QPointer<Autorun> third = new Autorun(m_session.get(), &timer, &m_settings);
    m_session->setAutorun(third);
    m_session.reset();
    flushDeferredDeletes();
    QVERIFY(!third);
    m_port->feed(sample(165, -1));
}

void tst_Session::refusesCommandsWhileProcedureActive_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<bool>("started");
    QTest::newRow("zeroing running") << "zeroing" << true;
    QTest::newRow("Go waiting for its start") << "go" << false;
    QTest::newRow("Go running") << "go" << true;
    QTest::newRow("X zero search waiting for its start") << "findXZero" << false;
    QTest::newRow("X zero search running") << "findXZero" << true;
    QTest::newRow("die set-up running") << "dieSetup" << true;
}

void tst_Session::refusesCommandsWhileProcedureActive() {
    QFETCH(QString, first);
    QFETCH(bool, started);
    startAndZero(1000);
    findXZeroAt(100);
    const QHash<QString, std::function<bool()>> commands{{"zeroing",
                                                          [this] {
                                                              return m_session->calibrateZeroWeight();
                                                          }},
                                                         {"go",
                                                          [this] {
                                                              return m_session->go();
                                                          }},
                                                         {"findXZero",
                                                          [this] {
                                                              return m_session->findXZero();
                                                          }},
                                                         {"dieSetup", [this] {
                                                              return m_session->dieSetup();
                                                          }}};
    QSignalSpy finished(m_session.get(), &ISession::procedureFinished);
    flushDeferredDeletes();

    QVERIFY(commands.value(first)());
    QVERIFY(m_session->isProcedureActive());
    if (started && first != "zeroing")
        QTRY_VERIFY(m_port->written().endsWith("$G,100,0\n") || m_port->written().endsWith("$G,100,1\n"));
    const QByteArray written = m_port->written();
    {
        LogCapture log;
        for (const auto& command : commands)
            QVERIFY(!command());
        QCOMPARE(log.count(QtWarningMsg, QStringLiteral("Refusing")), 4);
    }
    QCOMPARE(m_port->written(), written);
    QCOMPARE(m_session->findChildren<BaseProcedure*>().size(), 1);

    // Ended (the press at rest again), the session takes the next command.
    if (!started)
        QTRY_VERIFY(m_port->written().endsWith("$G,100,0\n") || m_port->written().endsWith("$G,100,1\n"));
    m_port->feed(samples(50, 165, 1000) + report(MotorReport::ReachedWeightLimit) + sample(165, 1000));
    QCOMPARE(finished.count(), 1);
    QVERIFY(!m_session->isProcedureActive());
    QVERIFY(m_session->go());
}

void tst_Session::strokeStartsOnlyOnIdlePress_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("stroke");
    for (const char* command : {"go", "findXZero", "dieSetup"}) {
        const QByteArray stroke = QByteArray(command) == "go" ? "$G,100,1\n" : "$G,100,0\n";
        QTest::addRow("%s, press idle", command) << command << stroke;
        QTest::addRow("%s, status lines until a sample", command) << command << stroke;
        QTest::addRow("%s, status lines until the time-out", command) << command << stroke;
    }
}

void tst_Session::strokeStartsOnlyOnIdlePress() {
    QFETCH(QString, command);
    QFETCH(QByteArray, stroke);
    const QString scenario = QString::fromLatin1(QTest::currentDataTag()).section(QStringLiteral(", "), 1);
    m_session->setProcedureTimeoutMs(400);
    startAndZero(1000);
    findXZeroAt(100);
    QSignalSpy finished(m_session.get(), &ISession::procedureFinished);
    QSignalSpy canceled(m_session.get(), &ISession::procedureCanceled);
    QSignalSpy measurement(m_session.get(), &Session::measurementDone);
    LogCapture log;
    const qsizetype strokesBefore = m_port->written().count(stroke);
    const auto strokeSent = [&] {
        return m_port->written().count(stroke) > strokesBefore;
    };

    // The previous stroke's last status line has just arrived.
    if (scenario != "press idle")
        m_port->feed(report(MotorReport::ReachedWeightLimit));
    const bool accepted = command == "go"          ? m_session->go()
                          : command == "findXZero" ? m_session->findXZero()
                                                   : m_session->dieSetup();
    QVERIFY(accepted);
    if (scenario == "press idle") {
        QTRY_VERIFY(strokeSent());
        QCOMPARE(log.count(QtDebugMsg, QStringLiteral("Waiting for the press to become idle")), 0);
        return;
    }
    // The delay is over, but the burst of status lines goes on: nothing starts.
    QTRY_COMPARE(log.count(QtDebugMsg, QStringLiteral("Waiting for the press to become idle")), 1);
    m_port->feed(report(MotorReport::None) + report(MotorReport::None));
    QVERIFY(!strokeSent());
    QVERIFY(m_session->isProcedureActive());
    if (scenario == "status lines until a sample") {
        m_port->feed(sample(10, 1000));
        QVERIFY(strokeSent());
        // That idle sample is not part of the stroke; the stroke ends on its own report.
        m_port->feed(sample(50, 2000) + report(MotorReport::ReachedWeightLimit));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(canceled.count(), 0);
        if (command == "go") {
            QCOMPARE(measurement.count(), 1);
            QCOMPARE(measurement.at(0).at(0).value<QList<QPointF>>().size(), 1);
        }
    } else {
        // A press that never comes back to rest: cancelled after the watchdog's time.
        QTRY_COMPARE_WITH_TIMEOUT(canceled.count(), 1, 10000);
        QCOMPARE(finished.count(), 0);
        QVERIFY(!strokeSent());
        QCOMPARE(log.count(QtWarningMsg, QStringLiteral("The press did not become idle")), 1);
        QVERIFY(!m_session->isProcedureActive());
        m_port->feed(sample(165, 1000));
        QVERIFY(!strokeSent());
    }
}

void tst_Session::sessionOutlivesProtocol() {
    startAndZero(1000);
    QSignalSpy closed(m_session.get(), &Session::closed);
    m_protocol.reset();
    QCOMPARE(closed.count(), 1);
    QCOMPARE(m_session->protocol(), nullptr);
    QVERIFY(!m_session->isInitialized());
    QVERIFY(!m_session->go());
    QVERIFY(!m_session->calibrateZeroWeight());
    m_session->applyPressSettings();
    Timer timer;
    m_session->setAutorun(new Autorun(m_session.get(), &timer, &m_settings));
    m_session->clearAutorun();
    m_session.reset();
}

// Once a firmware upgrade has the press, nothing of the session reaches it: no command, no
// procedure, no autorun, and the samples of the restarted firmware start nothing.
void tst_Session::handedOverToAnUpgradeItCommandsNothing() {
    startAndZero(1000);
    findXZeroAt(100);
    m_session->setAutorun(
        new Autorun(m_session.get(), std::make_unique<Timer>(), &m_settings, m_session.get()));
    QVERIFY(m_session->handOverToFirmwareUpgrade());
    QVERIFY(!m_session->hasAutorun());
    QVERIFY(!m_session->isInitialized());
    flushDeferredDeletes(); // the ended procedures
    m_port->clearWritten();
    QSignalSpy initialized(m_session.get(), &Session::initialized);
    QSignalSpy points(m_session.get(), &ISession::pointReceived);

    QVERIFY(!m_session->go());
    QVERIFY(!m_session->calibrateZeroWeight());
    QVERIFY(!m_session->findXZero());
    QVERIFY(!m_session->dieSetup());
    QVERIFY(!m_session->applyPressSettings());
    m_session->init();
    m_session->setAutorun(
        new Autorun(m_session.get(), std::make_unique<Timer>(), &m_settings, m_session.get()));
    QVERIFY(!m_session->hasAutorun());
    m_port->feed(samples(3, 165, 1000) + "$VER,2.24\n");

    QCOMPARE(m_port->writes(), QList<QByteArray>());
    QVERIFY(m_session->findChildren<BaseProcedure*>().isEmpty());
    QCOMPARE(points.count(), 3);
    QCOMPARE(initialized.count(), 0);
    QCOMPARE(m_session->firmwareVersion(), QStringLiteral("2.24"));
}

QTEST_GUILESS_MAIN(tst_Session)
#include "tst_session.moc"
