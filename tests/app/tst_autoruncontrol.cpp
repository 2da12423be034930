#include "support/FakeMessageBoxes.h"
#include "support/FakePort.h"

#include "app/AutorunControl.h"
#include "core/Settings.h"
#include "link/Protocol.h"
#include "session/Autorun.h"
#include "session/Session.h"

#include <QCheckBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

void flushDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class tst_AutorunControl : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void setUpOutcome_data();
    void setUpOutcome();
    void untickingDetachesTheAutorun();
    void withoutASessionTheBoxUnticksAtOnce();

private:
    std::unique_ptr<Protocol> m_protocol;
    FakePort* m_port = nullptr;
    Settings m_settings;
    FakeMessageBoxes m_boxes;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<QCheckBox> m_box;
};

void tst_AutorunControl::init() {
    m_protocol = std::make_unique<Protocol>();
    m_port = new FakePort;
    m_protocol->setPort(m_port);
    m_settings = Settings();
    m_session = std::make_unique<Session>(m_protocol.get(), &m_settings, &m_boxes);
    m_session->init();
    QVERIFY(m_session->isInitialized());
    m_box = std::make_unique<QCheckBox>();
}

void tst_AutorunControl::cleanup() {
    m_box.reset();
    m_session.reset();
    m_protocol.reset();
    flushDeferredDeletes();
}

void tst_AutorunControl::setUpOutcome_data() {
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("linkDropsDuringSetUp");
    QTest::addColumn<bool>("attached");
    QTest::newRow("accepted") << true << false << true;
    QTest::newRow("rejected") << false << false << false;
    // The wizard ends accepted, but the session it was for has closed meanwhile.
    QTest::newRow("accepted after the link dropped") << true << true << false;
    QTest::newRow("rejected after the link dropped") << false << true << false;
}

// Ticking the box runs the set-up once for the running session: an accepted one leaves the session owning
// the autorun, anything else leaves no autorun behind and the box unticked.
void tst_AutorunControl::setUpOutcome() {
    QFETCH(bool, accepted);
    QFETCH(bool, linkDropsDuringSetUp);
    QFETCH(bool, attached);
    QPointer<Autorun> made;
    int setUps = 0;
    AutorunControl control(
        m_box.get(), &m_settings, [this]() { return m_session.get(); },
        [&](Autorun* autorun, Session* session) {
            ++setUps;
            made = autorun;
            if (session != m_session.get() || autorun->parent() != session)
                return false;
            if (linkDropsDuringSetUp)
                m_protocol->closePort();
            return accepted;
        });
    QSignalSpy started(&control, &AutorunControl::setUpStarted);
    QSignalSpy changed(&control, &AutorunControl::changed);
    QSignalSpy status(&control, &AutorunControl::statusMessage);

    m_box->setChecked(true);
    flushDeferredDeletes();
    QCOMPARE(setUps, 1);
    QCOMPARE(started.count(), 1);
    QCOMPARE(m_session->hasAutorun(), attached);
    QCOMPARE(m_box->isChecked(), attached);
    QCOMPARE(bool(made), attached);
    QVERIFY(changed.count() >= 1);
    if (!attached)
        QCOMPARE(status.last().at(0).toString(), QStringLiteral("Autorun: Disabled"));
}

void tst_AutorunControl::untickingDetachesTheAutorun() {
    AutorunControl control(
        m_box.get(), &m_settings, [this]() { return m_session.get(); },
        [](Autorun*, Session*) { return true; });
    QSignalSpy status(&control, &AutorunControl::statusMessage);
    m_box->setChecked(true);
    QVERIFY(m_session->hasAutorun());
    m_box->setChecked(false);
    flushDeferredDeletes();
    QVERIFY(!m_session->hasAutorun());
    QCOMPARE(status.last().at(0).toString(), QStringLiteral("Autorun: Disabled"));
}

void tst_AutorunControl::withoutASessionTheBoxUnticksAtOnce() {
    int setUps = 0;
    AutorunControl control(
        m_box.get(), &m_settings, []() { return nullptr; }, [&](Autorun*, Session*) { return ++setUps > 0; });
    m_box->setChecked(true);
    QVERIFY(!m_box->isChecked());
    QCOMPARE(setUps, 0);
}

QTEST_MAIN(tst_AutorunControl)
#include "tst_autoruncontrol.moc"
