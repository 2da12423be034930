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

class tst_SessionStroke : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void goSendsSettingsThenStrokeAfterDelay();
    void strokeOutcome_data();
    void strokeOutcome();
    void dieSetupRunsAuxiliaryStroke();
    void closingDuringStrokeCancels();
    void closingDuringStartDelayNeverStartsProcedure();
    void silentPressCancelsStroke();
    void resultBoxSurvivesDeletions();
    void strokeStartsOnlyOnIdlePress_data();
    void strokeStartsOnlyOnIdlePress();

private:
    QList<QByteArray> writesSince(int index) const { return m_press->port->writes().mid(index); }

    std::unique_ptr<PressFixture> m_press;
};

void tst_SessionStroke::init() {
    m_press = std::make_unique<PressFixture>();
}

void tst_SessionStroke::cleanup() {
    m_press.reset();
}

void tst_SessionStroke::goSendsSettingsThenStrokeAfterDelay() {
    m_press->settings.setMaxPressure(80.0);
    m_press->settings.setJamDetectionTime(150);
    m_press->startAndZero(1000);
    m_press->findXZeroAt(2000);

    QStringList events;
    connect(m_press->session.get(), &Session::measurementDone, this, [&events] { events << "measurement"; });
    connect(m_press->session.get(), &ISession::procedureFinished, this, [&events, this] {
        events << "finished"
               << "last write " + QString::fromLatin1(m_press->port->writes().constLast());
    });
    QSignalSpy measurement(m_press->session.get(), &Session::measurementDone);

    const int before = int(m_press->port->writes().size());
    m_press->session->go();
    QCOMPARE(writesSince(before), (QList<QByteArray>{"$s,848520\n", "$j,150\n"}));
    QTRY_COMPARE(writesSince(before).size(), 3);
    QCOMPARE(writesSince(before).at(2), QByteArray("$G,100,1\n"));

    m_press->port->feed(sample(1000, 11000) + sample(1999, 1000) + sample(2000, 5000) + sample(2500, 9000) +
                        report(MotorReport::ReachedAngleStartPosition));
    QCOMPARE(measurement.count(), 1);
    const auto points = measurement.at(0).at(0).value<QList<QPointF>>();
    const QList<QPointF> expected{{1000 * Session::kPositionFactor, 10000 * Session::kForceFactor},
                                  {1 * Session::kPositionFactor, 0.0}};
    QCOMPARE(points, expected);
    QCOMPARE(events, (QStringList{"measurement", "finished", "last write $b\n"}));
    QVERIFY(m_press->boxes.boxes.isEmpty());
}

void tst_SessionStroke::strokeOutcome_data() {
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

void tst_SessionStroke::strokeOutcome() {
    QFETCH(QByteArray, stroke);
    QFETCH(int, measurements);
    QFETCH(QString, boxText);

    m_press->startAndZero(0);
    m_press->findXZeroAt(100);
    QSignalSpy measurement(m_press->session.get(), &Session::measurementDone);
    QSignalSpy finished(m_press->session.get(), &ISession::procedureFinished);
    m_press->session->go();
    QTRY_VERIFY(m_press->port->written().endsWith("$G,100,1\n"));
    m_press->port->feed(stroke);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(measurement.count(), measurements);
    QVERIFY(m_press->boxes.boxes.isEmpty()); // posted, not opened inside the receive path
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QCOMPARE(m_press->boxes.boxes.size(), boxText.isEmpty() ? 0 : 1);
    if (!boxText.isEmpty())
        QCOMPARE(m_press->boxes.boxes.at(0).text, boxText);
    QVERIFY(m_press->port->written().endsWith("$b\n"));
}

void tst_SessionStroke::dieSetupRunsAuxiliaryStroke() {
    m_press->settings.setJamDetectionTime(80);
    m_press->startAndZero(0);
    QSignalSpy finished(m_press->session.get(), &ISession::procedureFinished);
    const int before = int(m_press->port->writes().size());
    m_press->session->dieSetup();
    QCOMPARE(writesSince(before), (QList<QByteArray>{"$s,847520\n", "$j,80\n"}));
    QTRY_COMPARE(writesSince(before).size(), 3);
    QCOMPARE(writesSince(before).at(2), QByteArray("$G,100,0\n"));
    m_press->port->feed(samples(20, 300, 90000) + report(MotorReport::ReachedAngleBottomPosition));
    QCOMPARE(finished.count(), 1);
    // The session takes no result from it and shows nothing.
    QVERIFY(m_press->boxes.boxes.isEmpty());
    QVERIFY(!m_press->session->isXZeroFound());
}

void tst_SessionStroke::closingDuringStrokeCancels() {
    m_press->startAndZero(0);
    m_press->findXZeroAt(100);
    QStringList events;
    connect(m_press->session.get(), &Session::closed, this, [&events] { events << "closed"; });
    connect(m_press->session.get(), &ISession::procedureCanceled, this, [&events] { events << "canceled"; });
    connect(m_press->session.get(), &ISession::procedureFinished, this, [&events] { events << "finished"; });
    connect(m_press->session.get(), &Session::measurementDone, this, [&events] { events << "measurement"; });
    m_press->session->go();
    QTRY_VERIFY(m_press->port->written().endsWith("$G,100,1\n"));
    m_press->port->feed(samples(10, 10, 500));
    QPointer<BaseProcedure> procedure = m_press->session->findChild<BaseProcedure*>();
    QVERIFY(procedure);
    m_press->port->closeFromDevice();
    QCOMPARE(events, (QStringList{"closed", "canceled"}));
    QVERIFY(!m_press->session->isInitialized());
    flushDeferredDeletes();
    QVERIFY(!procedure);
}

void tst_SessionStroke::closingDuringStartDelayNeverStartsProcedure() {
    m_press->startAndZero(0);
    m_press->findXZeroAt(100);
    QSignalSpy canceled(m_press->session.get(), &ISession::procedureCanceled);
    QSignalSpy finished(m_press->session.get(), &ISession::procedureFinished);
    m_press->session->go();
    QPointer<BaseProcedure> procedure = m_press->session->findChild<BaseProcedure*>();
    QVERIFY(procedure);
    // The link closes and another press is attached while the start delay runs.
    m_press->port->closeFromDevice();
    auto* next = new FakePort;
    m_press->protocol->setPort(next);
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

void tst_SessionStroke::silentPressCancelsStroke() {
    m_press->session->setProcedureTimeoutMs(300);
    m_press->startAndZero(0);
    m_press->findXZeroAt(100);
    QSignalSpy canceled(m_press->session.get(), &ISession::procedureCanceled);
    QSignalSpy finished(m_press->session.get(), &ISession::procedureFinished);
    QSignalSpy measurement(m_press->session.get(), &Session::measurementDone);
    m_press->session->go();
    QTRY_VERIFY(m_press->port->written().endsWith("$G,100,1\n"));
    m_press->port->feed(samples(5, 10, 500));
    // The press goes silent without closing its port.
    QTRY_COMPARE_WITH_TIMEOUT(canceled.count(), 1, 10000);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(measurement.count(), 0);
    QVERIFY(m_press->port->isOpen());
    QVERIFY(m_press->session->isInitialized());
}

void tst_SessionStroke::resultBoxSurvivesDeletions() {
    m_press->startAndZero(0);
    m_press->findXZeroAt(100);
    QSignalSpy measurement(m_press->session.get(), &Session::measurementDone);
    m_press->session->go();
    QTRY_VERIFY(m_press->port->written().endsWith("$G,100,1\n"));

    // While the report's box is open the link closes and the session itself is discarded,
    // as the connection workflow does; the finished procedure goes with it.
    QPointer<Session> session = m_press->session.get();
    QPointer<BaseProcedure> procedure = m_press->session->findChild<BaseProcedure*>();
    m_press->boxes.whileOpen = [&] {
        m_press->port->closeFromDevice();
        m_press->session.release()->deleteLater();
        flushDeferredDeletes();
        QVERIFY(!session);
        QVERIFY(!procedure);
    };
    m_press->port->feed(sample(10, 500) + report(MotorReport::DetectedMotorAngleJamRetract));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QCOMPARE(m_press->boxes.boxes.size(), 1);
    QCOMPARE(measurement.count(), 1);
    QVERIFY(!session);
}

void tst_SessionStroke::strokeStartsOnlyOnIdlePress_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("stroke");
    for (const char* command : {"go", "findXZero", "dieSetup"}) {
        const QByteArray stroke = QByteArray(command) == "go" ? "$G,100,1\n" : "$G,100,0\n";
        QTest::addRow("%s, press idle", command) << command << stroke;
        QTest::addRow("%s, status lines until a sample", command) << command << stroke;
        QTest::addRow("%s, status lines until the time-out", command) << command << stroke;
    }
}

void tst_SessionStroke::strokeStartsOnlyOnIdlePress() {
    QFETCH(QString, command);
    QFETCH(QByteArray, stroke);
    const QString scenario = QString::fromLatin1(QTest::currentDataTag()).section(QStringLiteral(", "), 1);
    m_press->session->setProcedureTimeoutMs(400);
    m_press->startAndZero(1000);
    m_press->findXZeroAt(100);
    QSignalSpy finished(m_press->session.get(), &ISession::procedureFinished);
    QSignalSpy canceled(m_press->session.get(), &ISession::procedureCanceled);
    QSignalSpy measurement(m_press->session.get(), &Session::measurementDone);
    LogCapture log;
    const qsizetype strokesBefore = m_press->port->written().count(stroke);
    const auto strokeSent = [&] {
        return m_press->port->written().count(stroke) > strokesBefore;
    };

    // The previous stroke's last status line has just arrived.
    if (scenario != "press idle")
        m_press->port->feed(report(MotorReport::ReachedWeightLimit));
    const bool accepted = command == "go"          ? m_press->session->go()
                          : command == "findXZero" ? m_press->session->findXZero()
                                                   : m_press->session->dieSetup();
    QVERIFY(accepted);
    if (scenario == "press idle") {
        QTRY_VERIFY(strokeSent());
        QCOMPARE(log.count(QtDebugMsg, QStringLiteral("Waiting for the press to become idle")), 0);
        return;
    }
    // The delay is over, but the burst of status lines goes on: nothing starts.
    QTRY_COMPARE(log.count(QtDebugMsg, QStringLiteral("Waiting for the press to become idle")), 1);
    m_press->port->feed(report(MotorReport::None) + report(MotorReport::None));
    QVERIFY(!strokeSent());
    QVERIFY(m_press->session->isProcedureActive());
    if (scenario == "status lines until a sample") {
        m_press->port->feed(sample(10, 1000));
        QVERIFY(strokeSent());
        // That idle sample is not part of the stroke; the stroke ends on its own report.
        m_press->port->feed(sample(50, 2000) + report(MotorReport::ReachedWeightLimit));
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
        QVERIFY(!m_press->session->isProcedureActive());
        m_press->port->feed(sample(165, 1000));
        QVERIFY(!strokeSent());
    }
}

QTEST_GUILESS_MAIN(tst_SessionStroke)
#include "tst_sessionstroke.moc"
