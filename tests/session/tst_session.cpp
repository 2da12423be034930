#include "support/LogCapture.h"
#include "support/PressFixture.h"

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

using namespace PressLines;

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
    void autorunIsFedAndOwned();
    void refusesCommandsWhileProcedureActive_data();
    void refusesCommandsWhileProcedureActive();
    void sessionOutlivesProtocol();
    void handedOverToAnUpgradeItCommandsNothing();

private:
    QList<QByteArray> writesSince(int index) const { return m_press->port->writes().mid(index); }

    std::unique_ptr<PressFixture> m_press;
};

void tst_Session::init() {
    m_press = std::make_unique<PressFixture>();
}

void tst_Session::cleanup() {
    m_press.reset();
}

void tst_Session::initRequestsVersionOnce() {
    QSignalSpy initialized(m_press->session.get(), &Session::initialized);
    QSignalSpy version(m_press->session.get(), &Session::firmwareVersionReceived);
    QCOMPARE(m_press->session->firmwareVersion(), QString());
    m_press->session->init();
    m_press->session->init();
    QCOMPARE(initialized.count(), 1);
    QCOMPARE(m_press->port->writes(), QList<QByteArray>{"$V\n"});

    m_press->port->feed("$VER,9.99\n");
    QCOMPARE(version.count(), 1);
    QCOMPARE(version.at(0).at(0).toString(), QStringLiteral("9.99"));
    QCOMPARE(m_press->session->firmwareVersion(), QStringLiteral("9.99"));

    // The sample stream is relayed unchanged.
    QSignalSpy points(m_press->session.get(), &ISession::pointReceived);
    m_press->port->feed("$R,7,-8,9\n");
    QCOMPARE(points.count(), 1);
    QCOMPARE(points.at(0), (QList<QVariant>{7, -8, 9}));
    QCOMPARE(initialized.count(), 1);
}

void tst_Session::bootloaderSessionStartsOnFirstSample() {
    m_press->port->feed("$Bootloader\n");
    QStringList events;
    connect(m_press->session.get(), &Session::firmwareVersionReceived, this,
            [&events](const QString& v) { events << "version " + v; });
    connect(m_press->session.get(), &Session::initialized, this, [&events, this] {
        events << "initialized"
               << "written " + QString::fromLatin1(m_press->port->written());
    });
    connect(m_press->session.get(), &ISession::pointReceived, this, [&events] { events << "point"; });

    m_press->session->init();
    QCOMPARE(events, QStringList{"version BOOTLOADER"});
    QCOMPARE(m_press->session->firmwareVersion(), QStringLiteral("BOOTLOADER"));
    QVERIFY(!m_press->session->isInitialized());
    QVERIFY(m_press->port->written().isEmpty());
    // Commands wait for the application firmware.
    m_press->session->go();
    QVERIFY(m_press->port->written().isEmpty());
    // A second init() while waiting must not double the sample relay.
    m_press->session->init();

    m_press->port->feed(sample(165, 33000));
    QCOMPARE(events, (QStringList{"version BOOTLOADER", "version BOOTLOADER", "point", "initialized",
                                  "written $V\n"}));
    QVERIFY(m_press->session->isInitialized());
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
    m_press->settings.setMaxPressure(kilograms);
    QSignalSpy progress(m_press->session.get(), &Session::procedureProgressChanged);
    QSignalSpy finished(m_press->session.get(), &ISession::procedureFinished);
    m_press->session->init();
    m_press->port->clearWritten();

    m_press->session->calibrateZeroWeight();
    // Zeroing starts at once and sends nothing before it ends.
    m_press->port->feed(samples(49, 165, zero));
    QVERIFY(m_press->port->written().isEmpty());
    QVERIFY(!m_press->session->isZeroWeightCalibrated());
    m_press->port->feed(sample(165, zero));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(m_press->port->writes(), QList<QByteArray>{limit});
    QCOMPARE(progress.count(), 50);
    QCOMPARE(progress.constLast().at(0).toInt(), 100);

    // The settings push: the force limit, then the jam detection time.
    m_press->port->clearWritten();
    m_press->settings.setJamDetectionTime(37);
    m_press->session->applyPressSettings();
    QCOMPARE(m_press->port->writes(), (QList<QByteArray>{limit, "$j,37\n"}));

    // A limit that is not a number is never sent.
    m_press->port->clearWritten();
    m_press->session->setMaxWeight(std::nan(""));
    m_press->session->setMaxWeight(HUGE_VAL);
    QVERIFY(m_press->port->written().isEmpty());
}

void tst_Session::commandsIgnoredUntilStartedAndAfterClose() {
    const auto tryEverything = [this] {
        m_press->session->go();
        m_press->session->findXZero();
        m_press->session->dieSetup();
        m_press->session->setMaxWeight(50.0);
        m_press->session->setJamDetectionTime(100);
        m_press->session->applyPressSettings();
    };
    tryEverything();
    QVERIFY(m_press->port->written().isEmpty());
    QVERIFY(m_press->session->findChildren<BaseProcedure*>().isEmpty());

    m_press->session->init();
    QSignalSpy closed(m_press->session.get(), &Session::closed);
    QSignalSpy initialized(m_press->session.get(), &Session::initialized);
    m_press->port->closeFromDevice();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!m_press->session->isInitialized());

    // The protocol gets a new port (another press); the closed session stays silent on it.
    auto* next = new FakePort;
    m_press->protocol->setPort(next);
    QSignalSpy points(m_press->session.get(), &ISession::pointReceived);
    next->feed(sample(165, 33000));
    m_press->session->init();
    tryEverything();
    QVERIFY(next->written().isEmpty());
    QCOMPARE(points.count(), 0);
    QCOMPARE(initialized.count(), 0);
    QVERIFY(m_press->session->findChildren<BaseProcedure*>().isEmpty());
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

    m_press->startAndZero(1000);
    // An earlier search found the X zero at 700; a failed search keeps it.
    m_press->findXZeroAt(700);
    QSignalSpy finished(m_press->session.get(), &ISession::procedureFinished);
    QSignalSpy canceled(m_press->session.get(), &ISession::procedureCanceled);

    const int before = int(m_press->port->writes().size());
    m_press->session->findXZero();
    QCOMPARE(writesSince(before), (QList<QByteArray>{"$j,200\n", "$s,106940\n"}));
    QTRY_COMPARE(writesSince(before).size(), 3);
    QCOMPARE(writesSince(before).at(2), QByteArray("$G,100,0\n"));

    // The threshold is zero + 52970: 53969 is below it, 53970 touches.
    m_press->port->feed(sample(300, 1000) + sample(450, 53969) + sample(460, 53970));
    int boxesSeen = 0;
    m_press->boxes.whileOpen = [&] {
        ++boxesSeen;
        // The box waits for the event loop: the search has ended and the user's limit is back before
        // its nested loop can run, never inside the link's own signal chain.
        QCOMPARE(writesSince(before).size(), 4);
        QCOMPARE(finished.count(), 1);
    };
    if (end == "report 0") {
        m_press->port->feed(report(0));
    } else if (end == "report 1") {
        m_press->port->feed(report(1));
    } else if (end == "4001 samples") {
        m_press->port->feed(samples(3998, 400, 1000));
    } else {
        auto* procedure = m_press->session->findChild<BaseProcedure*>();
        QVERIFY(procedure);
        procedure->cancel();
    }
    QCOMPARE(writesSince(before).size(), 4);
    QCOMPARE(writesSince(before).at(3), QByteArray("$s,848520\n"));
    QCOMPARE(boxesSeen, 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QCOMPARE(finished.count(), end == "cancel" ? 0 : 1);
    QCOMPARE(canceled.count(), end == "cancel" ? 1 : 0);
    QCOMPARE(m_press->session->xZeroPosition(), found ? 450 : 700);
    QVERIFY(m_press->session->isXZeroFound());
    if (boxKind < 0) {
        QVERIFY(m_press->boxes.boxes.isEmpty());
    } else {
        QCOMPARE(m_press->boxes.boxes.size(), 1);
        QCOMPARE(boxesSeen, 1);
        QCOMPARE(int(m_press->boxes.boxes.at(0).kind), boxKind);
        QCOMPARE(m_press->boxes.boxes.at(0).text, boxText);
        QCOMPARE(m_press->boxes.boxes.at(0).informativeText, boxInformative);
    }
}

void tst_Session::autorunIsFedAndOwned() {
    m_press->settings.autorunFilterLength = 1;
    Timer timer;
    m_press->startAndZero(0);
    QPointer<Autorun> first = new Autorun(m_press->session.get(), &timer, &m_press->settings);
    QSignalSpy status(first.data(), &Autorun::statusUpdate);
    m_press->session->setAutorun(first);
    QVERIFY(m_press->session->hasAutorun());
    QCOMPARE(first->state(), Autorun::Init);
    QCOMPARE(status.count(), 1);
    // Both weights are 0: a reading of -1 lies below the low threshold.
    m_press->port->feed(sample(165, -1));
    QCOMPARE(first->state(), Autorun::NoDieWaiting);

    // Attaching another schedules the first one's deletion and stops feeding it.
    QPointer<Autorun> second = new Autorun(m_press->session.get(), &timer, &m_press->settings);
    m_press->session->setAutorun(second);
    m_press->port->feed(sample(165, 5));
    QCOMPARE(first->state(), Autorun::NoDieWaiting);
    flushDeferredDeletes();
    QVERIFY(!first);
    QCOMPARE(second->state(), Autorun::Init);
    m_press->port->feed(sample(165, -1));
    QCOMPARE(second->state(), Autorun::NoDieWaiting);

    m_press->session->clearAutorun();
    QVERIFY(!m_press->session->hasAutorun());
    flushDeferredDeletes();
    QVERIFY(!second);

    // A session that is discarded takes its attached autorun with it.
    QPointer<Autorun> third = new Autorun(m_press->session.get(), &timer, &m_press->settings);
    m_press->session->setAutorun(third);
    m_press->session.reset();
    flushDeferredDeletes();
    QVERIFY(!third);
    m_press->port->feed(sample(165, -1));
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
    m_press->startAndZero(1000);
    m_press->findXZeroAt(100);
    const QHash<QString, std::function<bool()>> commands{{"zeroing",
                                                          [this] {
                                                              return m_press->session->calibrateZeroWeight();
                                                          }},
                                                         {"go",
                                                          [this] {
                                                              return m_press->session->go();
                                                          }},
                                                         {"findXZero",
                                                          [this] {
                                                              return m_press->session->findXZero();
                                                          }},
                                                         {"dieSetup", [this] {
                                                              return m_press->session->dieSetup();
                                                          }}};
    QSignalSpy finished(m_press->session.get(), &ISession::procedureFinished);
    flushDeferredDeletes();

    QVERIFY(commands.value(first)());
    QVERIFY(m_press->session->isProcedureActive());
    if (started && first != "zeroing")
        QTRY_VERIFY(m_press->port->written().endsWith("$G,100,0\n") ||
                    m_press->port->written().endsWith("$G,100,1\n"));
    const QByteArray written = m_press->port->written();
    {
        LogCapture log;
        for (const auto& command : commands)
            QVERIFY(!command());
        QCOMPARE(log.count(QtWarningMsg, QStringLiteral("Refusing")), 4);
    }
    QCOMPARE(m_press->port->written(), written);
    QCOMPARE(m_press->session->findChildren<BaseProcedure*>().size(), 1);

    // Ended (the press at rest again), the session takes the next command.
    if (!started)
        QTRY_VERIFY(m_press->port->written().endsWith("$G,100,0\n") ||
                    m_press->port->written().endsWith("$G,100,1\n"));
    m_press->port->feed(samples(50, 165, 1000) + report(MotorReport::ReachedWeightLimit) + sample(165, 1000));
    QCOMPARE(finished.count(), 1);
    QVERIFY(!m_press->session->isProcedureActive());
    QVERIFY(m_press->session->go());
}

void tst_Session::sessionOutlivesProtocol() {
    m_press->startAndZero(1000);
    QSignalSpy closed(m_press->session.get(), &Session::closed);
    m_press->protocol.reset();
    QCOMPARE(closed.count(), 1);
    QCOMPARE(m_press->session->protocol(), nullptr);
    QVERIFY(!m_press->session->isInitialized());
    QVERIFY(!m_press->session->go());
    QVERIFY(!m_press->session->calibrateZeroWeight());
    m_press->session->applyPressSettings();
    Timer timer;
    m_press->session->setAutorun(new Autorun(m_press->session.get(), &timer, &m_press->settings));
    m_press->session->clearAutorun();
    m_press->session.reset();
}

// Once a firmware upgrade has the press, nothing of the session reaches it: no command, no
// procedure, no autorun, and the samples of the restarted firmware start nothing.
void tst_Session::handedOverToAnUpgradeItCommandsNothing() {
    m_press->startAndZero(1000);
    m_press->findXZeroAt(100);
    m_press->session->setAutorun(new Autorun(m_press->session.get(), std::make_unique<Timer>(),
                                             &m_press->settings, m_press->session.get()));
    QVERIFY(m_press->session->handOverToFirmwareUpgrade());
    QVERIFY(!m_press->session->hasAutorun());
    QVERIFY(!m_press->session->isInitialized());
    flushDeferredDeletes(); // the ended procedures
    m_press->port->clearWritten();
    QSignalSpy initialized(m_press->session.get(), &Session::initialized);
    QSignalSpy points(m_press->session.get(), &ISession::pointReceived);

    QVERIFY(!m_press->session->go());
    QVERIFY(!m_press->session->calibrateZeroWeight());
    QVERIFY(!m_press->session->findXZero());
    QVERIFY(!m_press->session->dieSetup());
    QVERIFY(!m_press->session->applyPressSettings());
    m_press->session->init();
    m_press->session->setAutorun(new Autorun(m_press->session.get(), std::make_unique<Timer>(),
                                             &m_press->settings, m_press->session.get()));
    QVERIFY(!m_press->session->hasAutorun());
    m_press->port->feed(samples(3, 165, 1000) + "$VER,2.24\n");

    QCOMPARE(m_press->port->writes(), QList<QByteArray>());
    QVERIFY(m_press->session->findChildren<BaseProcedure*>().isEmpty());
    QCOMPARE(points.count(), 3);
    QCOMPARE(initialized.count(), 0);
    QCOMPARE(m_press->session->firmwareVersion(), QStringLiteral("2.24"));
}

QTEST_GUILESS_MAIN(tst_Session)
#include "tst_session.moc"
