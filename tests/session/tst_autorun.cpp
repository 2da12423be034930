#include "support/FakePort.h"
#include "support/LogCapture.h"

#include "core/Settings.h"
#include "link/Protocol.h"
#include "session/Autorun.h"
#include "session/BaseProcedure.h"
#include "session/ISession.h"
#include "session/ITimer.h"
#include "session/Timer.h"

#include <memory>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

namespace {

// A session that only counts Go commands (and accepts them unless told otherwise); a test emits
// its procedure signals.
class FakeSession : public ISession {
    Q_OBJECT
public:
    explicit FakeSession(Protocol* protocol)
        : m_protocol(protocol) {}

    bool isInitialized() const override { return initialized; }
    Protocol* protocol() const override { return m_protocol; }
    bool go() override {
        ++goCount;
        return acceptsGo;
    }
    bool applyPressSettings() override { return true; }
    QString firmwareVersion() const override { return QString(); }

    bool initialized = true;
    bool acceptsGo = true;
    int goCount = 0;

private:
    Protocol* m_protocol;
};

// A stopwatch on a clock the test moves by hand.
class FakeTimer : public ITimer {
public:
    void start() override {
        m_startedAt = now;
        m_started = true;
        ++starts;
    }
    bool hasExpired(qint64 milliseconds) const override {
        return m_started && now - m_startedAt > milliseconds;
    }

    qint64 now = 0;
    int starts = 0;

private:
    qint64 m_startedAt = 0;
    bool m_started = false;
};

QByteArray sample(int value) {
    return "$R,165," + QByteArray::number(value) + '\n';
}

} // namespace

class tst_Autorun : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void measuresWeights();
    void measurementNeedsStartedSession();
    void weightDifference_data();
    void weightDifference();
    void stateStep_data();
    void stateStep();
    void ignoresSamplesWhileDisabled();
    void filterFillsBeforeFirstStep();
    void filteredValueIsTruncated();
    void filterLengthBelowOneIsOne_data();
    void filterLengthBelowOneIsOne();
    void dieLiftedWithinDwellStartsNoStroke();
    void strokeEndReturnsToInit_data();
    void strokeEndReturnsToInit();
    void timerExpiresOnlyAfterStart();
    void refusedGoWaitsForTheDieAgain();
    void goesWithItsSession();

private:
    std::unique_ptr<Autorun> makeAutorun();
    // Measures the two reference weights through the fake port.
    void setWeights(Autorun& autorun, int noDie, int withDie);
    void feed(int value) { m_port->feed(sample(value)); }
    // Drives an enabled machine (filter length 1, weights 0 and 10000, dwell 1000 ms) into `state`.
    void driveTo(Autorun& autorun, Autorun::State state);

    std::unique_ptr<Protocol> m_protocol;
    FakePort* m_port = nullptr;
    std::unique_ptr<FakeSession> m_session;
    FakeTimer m_timer;
    Settings m_settings;
};

void tst_Autorun::init() {
    m_protocol = std::make_unique<Protocol>();
    m_port = new FakePort;
    m_protocol->setPort(m_port);
    m_session = std::make_unique<FakeSession>(m_protocol.get());
    m_timer = FakeTimer();
    m_settings = Settings();
}

void tst_Autorun::cleanup() {
    m_session.reset();
    m_protocol.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::unique_ptr<Autorun> tst_Autorun::makeAutorun() {
    auto autorun = std::make_unique<Autorun>(m_session.get(), &m_timer, &m_settings);
    // The samples reach the autorun as the session feeds it: straight from the protocol.
    connect(m_protocol.get(), &Protocol::pointReceived, autorun.get(), &Autorun::onPointReceived);
    return autorun;
}

void tst_Autorun::setWeights(Autorun& autorun, int noDie, int withDie) {
    QVERIFY(autorun.measureNoDieWeight());
    for (int i = 0; i < 50; ++i)
        feed(noDie);
    QVERIFY(autorun.measureWithDieWeight());
    for (int i = 0; i < 50; ++i)
        feed(withDie);
    QCOMPARE(autorun.noDieWeight(), double(noDie));
    QCOMPARE(autorun.withDieWeight(), double(withDie));
}

void tst_Autorun::driveTo(Autorun& autorun, Autorun::State state) {
    autorun.enable();
    if (state == Autorun::Init)
        return;
    feed(0);
    QCOMPARE(autorun.state(), Autorun::NoDieWaiting);
    if (state == Autorun::NoDieWaiting)
        return;
    m_timer.now += 1001;
    feed(0);
    QCOMPARE(autorun.state(), Autorun::NoDie);
    if (state == Autorun::NoDie)
        return;
    feed(10000);
    QCOMPARE(autorun.state(), Autorun::WithDieWaiting);
    if (state == Autorun::WithDieWaiting)
        return;
    m_timer.now += 1001;
    feed(10000);
    QCOMPARE(autorun.state(), Autorun::WaitingForGoToFinish);
}

void tst_Autorun::measuresWeights() {
    auto autorun = makeAutorun();
    BaseProcedure* procedure = autorun->measureNoDieWeight();
    QVERIFY(procedure);
    QCOMPARE(procedure->parent(), autorun.get());
    QSignalSpy finished(procedure, &BaseProcedure::finished);
    QVERIFY(m_port->written().isEmpty());
    for (int i = 0; i < 50; ++i)
        feed(i < 25 ? 33000 : 34000);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(autorun->noDieWeight(), 33500.0);
    QCOMPARE(autorun->withDieWeight(), 0.0);
    // A measurement is not a session stroke: no Go, and the machine stays off.
    QCOMPARE(m_session->goCount, 0);
    QCOMPARE(autorun->state(), Autorun::Disabled);
}

void tst_Autorun::measurementNeedsStartedSession() {
    m_session->initialized = false;
    auto autorun = makeAutorun();
    QCOMPARE(autorun->measureNoDieWeight(), nullptr);
    QCOMPARE(autorun->measureWithDieWeight(), nullptr);
    QVERIFY(autorun->findChildren<BaseProcedure*>().isEmpty());
}

void tst_Autorun::weightDifference_data() {
    QTest::addColumn<int>("noDie");
    QTest::addColumn<int>("withDie");
    QTest::addColumn<bool>("sufficient");
    QTest::newRow("exactly the minimum") << 33000 << 34500 << true;
    QTest::newRow("one count short") << 33000 << 34499 << false;
    QTest::newRow("reversed") << 34500 << 33000 << false;
}

void tst_Autorun::weightDifference() {
    QFETCH(int, noDie);
    QFETCH(int, withDie);
    QFETCH(bool, sufficient);
    auto autorun = makeAutorun();
    setWeights(*autorun, noDie, withDie);
    QCOMPARE(autorun->isWeightDifferenceSufficient(), sufficient);
}

void tst_Autorun::stateStep_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("to");
    QTest::addColumn<QStringList>("status");

    const QStringList none;
    QTest::newRow("Init stays at the low threshold")
        << int(Autorun::Init) << qint64(0) << 3000 << int(Autorun::Init) << none;
    QTest::newRow("Init leaves below it")
        << int(Autorun::Init) << qint64(0) << 2999 << int(Autorun::NoDieWaiting) << none;
    QTest::newRow("NoDieWaiting back at the low threshold")
        << int(Autorun::NoDieWaiting) << qint64(5000) << 3000 << int(Autorun::Init)
        << QStringList{"Autorun: Take die off"};
    QTest::newRow("NoDieWaiting within dwell")
        << int(Autorun::NoDieWaiting) << qint64(1000) << 0 << int(Autorun::NoDieWaiting) << none;
    QTest::newRow("NoDieWaiting after dwell") << int(Autorun::NoDieWaiting) << qint64(1001) << 0
                                              << int(Autorun::NoDie) << QStringList{"Autorun: Place die on"};
    QTest::newRow("NoDie stays at the high threshold")
        << int(Autorun::NoDie) << qint64(5000) << 7000 << int(Autorun::NoDie) << none;
    QTest::newRow("NoDie leaves above it")
        << int(Autorun::NoDie) << qint64(0) << 7001 << int(Autorun::WithDieWaiting) << none;
    QTest::newRow("WithDieWaiting back at the high threshold")
        << int(Autorun::WithDieWaiting) << qint64(5000) << 7000 << int(Autorun::NoDie)
        << QStringList{"Autorun: Place die on"};
    QTest::newRow("WithDieWaiting within dwell")
        << int(Autorun::WithDieWaiting) << qint64(1000) << 7001 << int(Autorun::WithDieWaiting) << none;
    QTest::newRow("WithDieWaiting after dwell starts Go")
        << int(Autorun::WithDieWaiting) << qint64(1001) << 7001 << int(Autorun::WaitingForGoToFinish)
        << QStringList{"Autorun: Waiting for press"};
    QTest::newRow("WaitingForGoToFinish ignores samples")
        << int(Autorun::WaitingForGoToFinish) << qint64(5000) << 0 << int(Autorun::WaitingForGoToFinish)
        << none;
}

void tst_Autorun::stateStep() {
    QFETCH(int, from);
    QFETCH(qint64, elapsedMs);
    QFETCH(int, value);
    QFETCH(int, to);
    QFETCH(QStringList, status);

    m_settings.autorunFilterLength = 1;
    auto autorun = makeAutorun();
    setWeights(*autorun, 0, 10000);
    driveTo(*autorun, Autorun::State(from));
    const int goBefore = m_session->goCount;
    const int startsBefore = m_timer.starts;
    QSignalSpy statusSpy(autorun.get(), &Autorun::statusUpdate);

    m_timer.now += elapsedMs;
    feed(value);
    QCOMPARE(int(autorun->state()), to);
    QStringList messages;
    for (const QList<QVariant>& arguments : statusSpy)
        messages << arguments.at(0).toString();
    QCOMPARE(messages, status);
    const bool startsGo = from == Autorun::WithDieWaiting && to == Autorun::WaitingForGoToFinish;
    QCOMPARE(m_session->goCount - goBefore, startsGo ? 1 : 0);
    // The dwell timer is started on entering the two waiting states only.
    const bool entersWaiting = from != to && (to == Autorun::NoDieWaiting || to == Autorun::WithDieWaiting);
    QCOMPARE(m_timer.starts - startsBefore, entersWaiting ? 1 : 0);
}

void tst_Autorun::ignoresSamplesWhileDisabled() {
    m_settings.autorunFilterLength = 1;
    auto autorun = makeAutorun();
    QSignalSpy status(autorun.get(), &Autorun::statusUpdate);
    m_timer.now = 100000;
    for (int value : {-5, 50000, -5})
        feed(value);
    QCOMPARE(autorun->state(), Autorun::Disabled);
    QCOMPARE(status.count(), 0);
    QCOMPARE(m_session->goCount, 0);
}

void tst_Autorun::filterFillsBeforeFirstStep() {
    QCOMPARE(m_settings.autorunFilterLength, 35);
    // Weights measured before the machine is fed, so its filter starts empty.
    Autorun autorun(m_session.get(), &m_timer, &m_settings);
    setWeights(autorun, 0, 10000);
    connect(m_protocol.get(), &Protocol::pointReceived, &autorun, &Autorun::onPointReceived);
    autorun.enable();

    for (int i = 0; i < 34; ++i)
        feed(0);
    QCOMPARE(autorun.state(), Autorun::Init);
    // The 35th sample steps with the mean of all 35, exactly the low threshold: no change.
    feed(35 * 3000);
    QCOMPARE(autorun.state(), Autorun::Init);
    // The 36th replaces the oldest: (35 * 3000 - 1) / 35 truncates to 2999.
    feed(-1);
    QCOMPARE(autorun.state(), Autorun::NoDieWaiting);
}

void tst_Autorun::filteredValueIsTruncated() {
    m_settings.autorunFilterLength = 2;
    auto autorun = makeAutorun();
    setWeights(*autorun, 0, 10000);
    autorun->enable();
    feed(0);
    feed(0);
    QCOMPARE(autorun->state(), Autorun::NoDieWaiting);
    m_timer.now += 1001;
    feed(0);
    QCOMPARE(autorun->state(), Autorun::NoDie);
    feed(14001); // mean 7000.5 counts as 7000: not above the high threshold
    QCOMPARE(autorun->state(), Autorun::NoDie);
    feed(14001);
    QCOMPARE(autorun->state(), Autorun::WithDieWaiting);
}

void tst_Autorun::filterLengthBelowOneIsOne_data() {
    QTest::addColumn<int>("length");
    QTest::newRow("0") << 0;
    QTest::newRow("-5") << -5;
}

void tst_Autorun::filterLengthBelowOneIsOne() {
    QFETCH(int, length);
    m_settings.autorunFilterLength = length;
    std::unique_ptr<Autorun> autorun;
    {
        LogCapture log;
        autorun = makeAutorun();
        QCOMPARE(log.count(QtWarningMsg, QStringLiteral("Autorun filter length")), 1);
    }
    setWeights(*autorun, 0, 10000);
    autorun->enable();
    // Each sample is a filtered value of its own.
    feed(2999);
    QCOMPARE(autorun->state(), Autorun::NoDieWaiting);
    feed(3000);
    QCOMPARE(autorun->state(), Autorun::Init);
}

void tst_Autorun::dieLiftedWithinDwellStartsNoStroke() {
    m_settings.autorunFilterLength = 1;
    auto autorun = makeAutorun();
    setWeights(*autorun, 0, 10000);
    driveTo(*autorun, Autorun::NoDie);
    QSignalSpy status(autorun.get(), &Autorun::statusUpdate);
    const int startsBefore = m_timer.starts;

    feed(9000); // placed
    QCOMPARE(autorun->state(), Autorun::WithDieWaiting);
    m_timer.now += 500;
    feed(100); // lifted again within the dwell time
    QCOMPARE(autorun->state(), Autorun::NoDie);
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(), QStringLiteral("Autorun: Place die on"));
    QCOMPARE(m_timer.starts - startsBefore, 1);

    // Placed again: the dwell time counts from this placing, not from the first.
    m_timer.now += 600;
    feed(9000);
    QCOMPARE(m_timer.starts - startsBefore, 2);
    m_timer.now += 600;
    feed(9000);
    QCOMPARE(autorun->state(), Autorun::WithDieWaiting);
    QCOMPARE(m_session->goCount, 0);
    m_timer.now += 401;
    feed(9000);
    QCOMPARE(autorun->state(), Autorun::WaitingForGoToFinish);
    QCOMPARE(m_session->goCount, 1);
}

void tst_Autorun::strokeEndReturnsToInit_data() {
    QTest::addColumn<bool>("canceled");
    QTest::newRow("finished") << false;
    QTest::newRow("canceled") << true;
}

void tst_Autorun::strokeEndReturnsToInit() {
    QFETCH(bool, canceled);
    m_settings.autorunFilterLength = 1;
    auto autorun = makeAutorun();
    setWeights(*autorun, 0, 10000);
    driveTo(*autorun, Autorun::WaitingForGoToFinish);
    QCOMPARE(m_session->goCount, 1);
    QSignalSpy status(autorun.get(), &Autorun::statusUpdate);

    if (canceled)
        emit m_session->procedureCanceled();
    else
        emit m_session->procedureFinished();
    QCOMPARE(autorun->state(), Autorun::Init);
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(), QStringLiteral("Autorun: Take die off"));

    // Strokes ended elsewhere no longer reach the machine.
    feed(0);
    QCOMPARE(autorun->state(), Autorun::NoDieWaiting);
    emit m_session->procedureFinished();
    emit m_session->procedureCanceled();
    QCOMPARE(autorun->state(), Autorun::NoDieWaiting);
    QCOMPARE(status.count(), 1);
}

void tst_Autorun::timerExpiresOnlyAfterStart() {
    Timer timer;
    QVERIFY(!timer.hasExpired(-1));
    timer.start();
    QVERIFY(timer.hasExpired(-1));
    QVERIFY(!timer.hasExpired(24 * 3600 * 1000));
}

void tst_Autorun::refusedGoWaitsForTheDieAgain() {
    m_settings.autorunFilterLength = 1;
    auto autorun = makeAutorun();
    setWeights(*autorun, 0, 10000);
    driveTo(*autorun, Autorun::WithDieWaiting);
    QSignalSpy status(autorun.get(), &Autorun::statusUpdate);

    // Another procedure of the session runs: no stroke, and back to waiting for the die.
    m_session->acceptsGo = false;
    m_timer.now += 1001;
    feed(10000);
    QCOMPARE(m_session->goCount, 1);
    QCOMPARE(autorun->state(), Autorun::NoDie);
    QCOMPARE(status.constLast().at(0).toString(), QStringLiteral("Autorun: Place die on"));
    // The end of that other procedure is none of the machine's business.
    emit m_session->procedureFinished();
    QCOMPARE(autorun->state(), Autorun::NoDie);

    // The die is still on: once the session is free, the next dwell time starts the stroke.
    m_session->acceptsGo = true;
    feed(10000);
    QCOMPARE(autorun->state(), Autorun::WithDieWaiting);
    m_timer.now += 1001;
    feed(10000);
    QCOMPARE(m_session->goCount, 2);
    QCOMPARE(autorun->state(), Autorun::WaitingForGoToFinish);
    emit m_session->procedureFinished();
    QCOMPARE(autorun->state(), Autorun::Init);
}

void tst_Autorun::goesWithItsSession() {
    m_settings.autorunFilterLength = 1;
    // Owned by the session, with its timer; a second one only watches the session.
    QPointer<Autorun> owned =
        new Autorun(m_session.get(), std::make_unique<FakeTimer>(), &m_settings, m_session.get());
    auto watching = makeAutorun();
    setWeights(*watching, 0, 10000);
    driveTo(*watching, Autorun::WithDieWaiting);

    m_session.reset();
    QVERIFY(!owned);
    // Without its session it measures nothing and starts nothing.
    QCOMPARE(watching->measureNoDieWeight(), nullptr);
    m_timer.now += 1001;
    feed(10000);
    QCOMPARE(watching->state(), Autorun::WithDieWaiting);
}

QTEST_GUILESS_MAIN(tst_Autorun)
#include "tst_autorun.moc"
