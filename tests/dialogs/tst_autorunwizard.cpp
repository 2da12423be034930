#include "support/PressFixture.h"

#include "core/Settings.h"
#include "dialogs/AutorunWizard.h"
#include "dialogs/AutorunWizardConfigureThresholdPage.h"
#include "dialogs/AutorunWizardZeroPage.h"
#include "dialogs/ProgressDialog.h"
#include "link/Protocol.h"
#include "session/Autorun.h"
#include "session/Session.h"
#include "session/Timer.h"

#include <memory>
#include <QAbstractButton>
#include <QFormLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

namespace {

QByteArray samples(int count, int value) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += "$R,165," + QByteArray::number(value) + '\n';
    return bytes;
}

} // namespace

class tst_AutorunWizard : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pagesAndTexts();
    void measuresBothWeightsThroughTheProcedures_data();
    void measuresBothWeightsThroughTheProcedures();
    void failedThenPassingCheck();
    void remeasuredZeroIsCheckedAgain();
    void sessionNotStartedMeasuresNothing();
    void linkClosingWhileOpen_data();
    void linkClosingWhileOpen();

private:
    QPushButton* pageButton(const char* name) {
        return m_wizard->findChild<QPushButton*>(QLatin1String(name));
    }
    QAbstractButton* next() { return m_wizard->button(QWizard::NextButton); }
    // Presses the page's button and lets the measurement read `value` 50 times.
    void measure(const char* button, int value, const QString& title);
    QString resultTitle() const { return m_wizard->page(m_wizard->resultPageId())->title(); }
    QString resultText() const { return m_wizard->findChild<QLabel*>(QStringLiteral("resultLabel"))->text(); }
    ProgressDialog* progressDialog() const { return m_wizard->findChild<ProgressDialog*>(); }

    std::unique_ptr<PressFixture> m_press;
    QPointer<Autorun> m_autorun;
    std::unique_ptr<AutorunWizard> m_wizard;
};

void tst_AutorunWizard::init() {
    m_press = std::make_unique<PressFixture>();
    m_press->session->init();
    // As the main window makes it: owned, with its timer, by the session that will run it.
    m_autorun = new Autorun(m_press->session.get(), std::make_unique<Timer>(), &m_press->settings,
                            m_press->session.get());
    m_wizard = std::make_unique<AutorunWizard>(m_autorun);
    m_wizard->show();
}

void tst_AutorunWizard::cleanup() {
    m_wizard.reset();
    m_press.reset();
    QVERIFY(!m_autorun);
}

void tst_AutorunWizard::measure(const char* button, int value, const QString& title) {
    pageButton(button)->click();
    QPointer<ProgressDialog> dialog = progressDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->isModal());
    QCOMPARE(dialog->windowTitle(), title);
    const int page = m_wizard->currentId();
    m_press->port->feed(samples(49, value));
    // The measurement runs: the wizard waits for it.
    QCOMPARE(m_wizard->currentId(), page);
    QTRY_COMPARE(dialog->value(), 96);
    m_press->port->feed(samples(1, value));
    QCOMPARE(m_wizard->currentId(), page + 1);
    QTRY_VERIFY(!dialog);
}

void tst_AutorunWizard::pagesAndTexts() {
    QCOMPARE(m_wizard->objectName(), QStringLiteral("AutorunWizard"));
    QCOMPARE(m_wizard->windowTitle(), QStringLiteral("Autorun Setup"));
    QCOMPARE(m_wizard->size(), QSize(400, 300));
    QCOMPARE(m_wizard->pageIds(), (QList<int>{m_wizard->zeroPageId(), m_wizard->configureThresholdPageId(),
                                              m_wizard->resultPageId()}));

    struct Expected {
        int id;
        const char* name;
        QString title;
        QString label;
        const char* button;
        QString buttonText;
    };
    const QList<Expected> pages{
        {m_wizard->zeroPageId(), "zeroPage", "Zeroing",
         "Remove any weights from the press to get zero-weight reading.", "zeroPushButton", "Zero"},
        {m_wizard->configureThresholdPageId(), "configureThresholdPage", "Weight Threshold Configuration",
         "Place die on the press to configure the weight threshold.", "configureThresholdButton",
         "Configure Weight"},
        {m_wizard->resultPageId(), "resultPage", "Complete", "Autorun setup complete.", nullptr, QString()}};
    for (const Expected& expected : pages) {
        QWizardPage* page = m_wizard->page(expected.id);
        QCOMPARE(page->objectName(), QLatin1String(expected.name));
        QCOMPARE(page->title(), expected.title);
        QVERIFY(page->findChild<QFormLayout*>(QStringLiteral("formLayout")));
        const char* labelName = expected.button ? "label" : "resultLabel";
        QCOMPARE(page->findChild<QLabel*>(QLatin1String(labelName))->text(), expected.label);
        if (expected.button)
            QCOMPARE(page->findChild<QPushButton*>(QLatin1String(expected.button))->text(),
                     expected.buttonText);
    }
    QVERIFY(qobject_cast<AutorunWizardZeroPage*>(m_wizard->page(m_wizard->zeroPageId())));
    QVERIFY(qobject_cast<AutorunWizardConfigureThresholdPage*>(
        m_wizard->page(m_wizard->configureThresholdPageId())));

    // Next waits for the page's button.
    QCOMPARE(m_wizard->currentId(), m_wizard->zeroPageId());
    QVERIFY(!next()->isEnabled());
    pageButton("zeroPushButton")->click();
    QVERIFY(next()->isEnabled());
}

void tst_AutorunWizard::measuresBothWeightsThroughTheProcedures_data() {
    QTest::addColumn<int>("noDie");
    QTest::addColumn<int>("withDie");
    QTest::addColumn<bool>("passes");
    QTest::newRow("difference exactly the minimum") << 1000 << 2500 << true;
    QTest::newRow("one count short") << 1000 << 2499 << false;
    QTest::newRow("die lighter than nothing") << 30000 << 1000 << false;
    QTest::newRow("a real die") << 33000 << 53000 << true;
}

void tst_AutorunWizard::measuresBothWeightsThroughTheProcedures() {
    QFETCH(int, noDie);
    QFETCH(int, withDie);
    QFETCH(bool, passes);

    measure("zeroPushButton", noDie, QStringLiteral("Finding no-die weight ..."));
    QCOMPARE(m_wizard->currentId(), m_wizard->configureThresholdPageId());
    QVERIFY(!next()->isEnabled());
    measure("configureThresholdButton", withDie, QStringLiteral("Finding threshold weight ..."));
    QCOMPARE(m_wizard->currentId(), m_wizard->resultPageId());
    QCOMPARE(m_autorun->noDieWeight(), double(noDie));
    QCOMPARE(m_autorun->withDieWeight(), double(withDie));
    // Measurements are not strokes: nothing was sent to the press, and the autorun is still off.
    QCOMPARE(m_press->port->writes(), QList<QByteArray>{"$V\n"});
    QCOMPARE(m_autorun->state(), Autorun::Disabled);

    QCOMPARE(resultTitle(), passes ? QStringLiteral("Complete") : QStringLiteral("Failed"));
    QCOMPARE(resultText(), passes ? QStringLiteral("Autorun setup complete.")
                                  : QStringLiteral("The weight difference is not great enough."));
    m_wizard->button(QWizard::FinishButton)->click();
    QCOMPARE(m_wizard->result(), passes ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QVERIFY(!m_wizard->isVisible());
    PressLines::flushDeferredDeletes();
    // Only a completed set-up leaves an autorun to attach.
    QCOMPARE(bool(m_autorun), passes);
}

void tst_AutorunWizard::failedThenPassingCheck() {
    measure("zeroPushButton", 1000, QStringLiteral("Finding no-die weight ..."));
    measure("configureThresholdButton", 1200, QStringLiteral("Finding threshold weight ..."));
    QCOMPARE(resultTitle(), QStringLiteral("Failed"));

    // Back, and a die that is still too light: failed again.
    m_wizard->back();
    measure("configureThresholdButton", 2000, QStringLiteral("Finding threshold weight ..."));
    QCOMPARE(resultTitle(), QStringLiteral("Failed"));
    QCOMPARE(resultText(), QStringLiteral("The weight difference is not great enough."));

    // Back, and the loaded die: the verdict is restored and Finish accepts.
    m_wizard->back();
    measure("configureThresholdButton", 21000, QStringLiteral("Finding threshold weight ..."));
    QCOMPARE(resultTitle(), QStringLiteral("Complete"));
    QCOMPARE(resultText(), QStringLiteral("Autorun setup complete."));
    QSignalSpy accepted(m_wizard.get(), &QDialog::accepted);
    QSignalSpy rejected(m_wizard.get(), &QDialog::rejected);
    m_wizard->button(QWizard::FinishButton)->click();
    QCOMPARE(m_wizard->result(), int(QDialog::Accepted));
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(rejected.count(), 0);
    PressLines::flushDeferredDeletes();
    QVERIFY(m_autorun);
    QCOMPARE(m_autorun->withDieWeight(), 21000.0);
}

void tst_AutorunWizard::remeasuredZeroIsCheckedAgain() {
    measure("zeroPushButton", 1000, QStringLiteral("Finding no-die weight ..."));
    measure("configureThresholdButton", 21000, QStringLiteral("Finding threshold weight ..."));
    QCOMPARE(resultTitle(), QStringLiteral("Complete"));

    // Back to the start, zeroed again with the die still on: the threshold page's Next is still
    // enabled, and the result must not be the earlier one.
    m_wizard->back();
    m_wizard->back();
    measure("zeroPushButton", 20900, QStringLiteral("Finding no-die weight ..."));
    QCOMPARE(m_wizard->currentId(), m_wizard->configureThresholdPageId());
    QVERIFY(next()->isEnabled());
    next()->click();
    QCOMPARE(m_wizard->currentId(), m_wizard->resultPageId());
    QCOMPARE(resultTitle(), QStringLiteral("Failed"));
    m_wizard->button(QWizard::FinishButton)->click();
    QCOMPARE(m_wizard->result(), int(QDialog::Rejected));
}

void tst_AutorunWizard::sessionNotStartedMeasuresNothing() {
    // A session still waiting for the application firmware.
    m_wizard.reset();
    m_press->session.reset();
    PressLines::flushDeferredDeletes();
    m_press->startInBootloader();
    QVERIFY(!m_press->session->isInitialized());
    m_autorun = new Autorun(m_press->session.get(), std::make_unique<Timer>(), &m_press->settings,
                            m_press->session.get());
    m_wizard = std::make_unique<AutorunWizard>(m_autorun);
    m_wizard->show();

    pageButton("zeroPushButton")->click();
    QVERIFY(!progressDialog());
    QCOMPARE(m_wizard->currentId(), m_wizard->zeroPageId());
    QVERIFY(next()->isEnabled());
    next()->click();
    pageButton("configureThresholdButton")->click();
    QVERIFY(!progressDialog());
    next()->click();
    QCOMPARE(m_wizard->currentId(), m_wizard->resultPageId());
    // Nothing measured is no set-up, whatever minimum difference the settings ask for.
    QCOMPARE(resultTitle(), QStringLiteral("Failed"));
    QCOMPARE(resultText(), QStringLiteral("The weights have not been measured."));
    m_wizard->button(QWizard::FinishButton)->click();
    QCOMPARE(m_wizard->result(), int(QDialog::Rejected));
}

void tst_AutorunWizard::linkClosingWhileOpen_data() {
    QTest::addColumn<bool>("sessionDeletedFirst");
    QTest::newRow("wizard rejected, then session discarded") << false;
    QTest::newRow("session discarded inside the wizard") << true;
}

void tst_AutorunWizard::linkClosingWhileOpen() {
    QFETCH(bool, sessionDeletedFirst);
    // As the main window does: losing the link ends the wizard.
    if (!sessionDeletedFirst)
        connect(m_press->session.get(), &Session::closed, m_wizard.get(), &QWizard::reject);

    pageButton("zeroPushButton")->click();
    QPointer<ProgressDialog> dialog = progressDialog();
    QVERIFY(dialog);
    m_press->port->feed(samples(20, 1000));
    m_press->port->closeFromDevice();
    // The measurement is cancelled and its dialog goes.
    QTRY_VERIFY(!dialog);
    if (sessionDeletedFirst) {
        QCOMPARE(m_wizard->currentId(), m_wizard->zeroPageId());
        m_press->session.reset();
        PressLines::flushDeferredDeletes();
        QVERIFY(!m_autorun);
        // The wizard's buttons reach nothing any more.
        pageButton("zeroPushButton")->click();
        QVERIFY(!progressDialog());
        m_wizard->reject();
    } else {
        QVERIFY(!m_wizard->isVisible());
        QCOMPARE(m_wizard->result(), int(QDialog::Rejected));
        PressLines::flushDeferredDeletes();
        QVERIFY(!m_autorun);
        m_press->session.reset();
    }
    PressLines::flushDeferredDeletes();
    QCOMPARE(m_wizard->result(), int(QDialog::Rejected));
}

QTEST_MAIN(tst_AutorunWizard)
#include "tst_autorunwizard.moc"
