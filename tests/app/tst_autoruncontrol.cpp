#include "support/PressFixture.h"

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
    std::unique_ptr<PressFixture> m_press;
    std::unique_ptr<QCheckBox> m_box;
};

void tst_AutorunControl::init() {
    m_press = std::make_unique<PressFixture>();
    m_press->session->init();
    QVERIFY(m_press->session->isInitialized());
    m_box = std::make_unique<QCheckBox>();
}

void tst_AutorunControl::cleanup() {
    m_box.reset();
    m_press.reset();
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
        m_box.get(), &m_press->settings, [this]() { return m_press->session.get(); },
        [&](Autorun* autorun, Session* session) {
            ++setUps;
            made = autorun;
            if (session != m_press->session.get() || autorun->parent() != session)
                return false;
            if (linkDropsDuringSetUp)
                m_press->protocol->closePort();
            return accepted;
        });
    QSignalSpy started(&control, &AutorunControl::setUpStarted);
    QSignalSpy changed(&control, &AutorunControl::changed);
    QSignalSpy status(&control, &AutorunControl::statusMessage);

    m_box->setChecked(true);
    PressLines::flushDeferredDeletes();
    QCOMPARE(setUps, 1);
    QCOMPARE(started.count(), 1);
    QCOMPARE(m_press->session->hasAutorun(), attached);
    QCOMPARE(m_box->isChecked(), attached);
    QCOMPARE(bool(made), attached);
    QVERIFY(changed.count() >= 1);
    if (!attached)
        QCOMPARE(status.last().at(0).toString(), QStringLiteral("Autorun: Disabled"));
}

void tst_AutorunControl::untickingDetachesTheAutorun() {
    AutorunControl control(
        m_box.get(), &m_press->settings, [this]() { return m_press->session.get(); },
        [](Autorun*, Session*) { return true; });
    QSignalSpy status(&control, &AutorunControl::statusMessage);
    m_box->setChecked(true);
    QVERIFY(m_press->session->hasAutorun());
    m_box->setChecked(false);
    PressLines::flushDeferredDeletes();
    QVERIFY(!m_press->session->hasAutorun());
    QCOMPARE(status.last().at(0).toString(), QStringLiteral("Autorun: Disabled"));
}

void tst_AutorunControl::withoutASessionTheBoxUnticksAtOnce() {
    int setUps = 0;
    AutorunControl control(
        m_box.get(), &m_press->settings, []() { return nullptr; },
        [&](Autorun*, Session*) { return ++setUps > 0; });
    m_box->setChecked(true);
    QVERIFY(!m_box->isChecked());
    QCOMPARE(setUps, 0);
}

QTEST_MAIN(tst_AutorunControl)
#include "tst_autoruncontrol.moc"
