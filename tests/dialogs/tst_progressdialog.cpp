#include "support/PressFixture.h"

#include "core/Settings.h"
#include "dialogs/ProgressDialog.h"
#include "link/Protocol.h"
#include "session/BaseProcedure.h"
#include "session/LoadcellCalibrationProcedure.h"
#include "session/Session.h"

#include <memory>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

QByteArray sample(int value) {
    return "$R,165," + QByteArray::number(value) + '\n';
}

QByteArray samples(int count, int value) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += sample(value);
    return bytes;
}

} // namespace

class tst_ProgressDialog : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void showsBusyModalWindowWithoutButtons();
    void sessionZeroingShowsPercentagesThenCloses();
    void closesWithSession_data();
    void closesWithSession();
    void closesWithProcedure_data();
    void closesWithProcedure();
    void userCannotCloseIt();
    void opensOnlyForAcceptedCommands_data();
    void opensOnlyForAcceptedCommands();

private:
    std::unique_ptr<PressFixture> m_press;
};

void tst_ProgressDialog::init() {
    m_press = std::make_unique<PressFixture>();
    m_press->session->init();
}

void tst_ProgressDialog::cleanup() {
    m_press.reset();
}

void tst_ProgressDialog::showsBusyModalWindowWithoutButtons() {
    QPointer<ProgressDialog> dialog = ProgressDialog::runSessionCommand(
        m_press->session.get(), &Session::calibrateZeroWeight, QStringLiteral("Zeroing ..."), nullptr);
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->isModal());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Zeroing ..."));
    QCOMPARE(dialog->minimumWidth(), 500);
    QCOMPARE(dialog->minimum(), 0);
    QCOMPARE(dialog->maximum(), 0);
    QVERIFY(!(dialog->windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(dialog->findChildren<QPushButton*>().isEmpty());
    delete dialog;
}

void tst_ProgressDialog::sessionZeroingShowsPercentagesThenCloses() {
    QPointer<ProgressDialog> dialog = ProgressDialog::runSessionCommand(
        m_press->session.get(), &Session::calibrateZeroWeight, QStringLiteral("Zeroing ..."), nullptr);
    QVERIFY(dialog);
    auto* bar = dialog->findChild<QProgressBar*>();
    QVERIFY(bar);
    QSignalSpy values(bar, &QProgressBar::valueChanged);
    for (int i = 1; i <= 50; ++i) {
        const int before = dialog->value();
        const qsizetype changes = values.size();
        m_press->port->feed(sample(33000));
        // Applied from the event loop, never inside the sample handler that reported it.
        QCOMPARE(dialog->value(), before);
        QCOMPARE(values.size(), changes);
        QCoreApplication::sendPostedEvents(dialog, QEvent::MetaCall);
        QVERIFY(dialog);
        // A busy indicator until the first progress value.
        QCOMPARE(dialog->maximum(), i == 1 ? 0 : 100);
    }
    QList<int> shown;
    for (const QList<QVariant>& arguments : values) {
        if (arguments.at(0).toInt() > 0)
            shown << arguments.at(0).toInt();
    }
    QList<int> expected;
    for (int p = 2; p <= 100; p += 2)
        expected << p;
    QCOMPARE(shown, expected);
    QVERIFY(m_press->session->isZeroWeightCalibrated());
    QCOMPARE(m_press->session->zeroWeightAdc(), 33000);
    PressLines::flushDeferredDeletes();
    QVERIFY(!dialog);
}

void tst_ProgressDialog::closesWithSession_data() {
    QTest::addColumn<QString>("end");
    QTest::newRow("procedure finished") << "finished";
    QTest::newRow("procedure cancelled") << "canceled";
    QTest::newRow("link closed") << "closed";
    QTest::newRow("session destroyed") << "destroyed";
}

void tst_ProgressDialog::closesWithSession() {
    QFETCH(QString, end);
    QPointer<ProgressDialog> dialog = ProgressDialog::runSessionCommand(
        m_press->session.get(), &Session::calibrateZeroWeight, QStringLiteral("Zeroing ..."), nullptr);
    QVERIFY(dialog);
    m_press->port->feed(samples(10, 33000));
    QCoreApplication::processEvents();
    PressLines::flushDeferredDeletes();
    QVERIFY(dialog);
    QTRY_COMPARE(dialog->value(), 18);

    if (end == "finished") {
        m_press->port->feed(samples(40, 33000));
    } else if (end == "canceled") {
        auto* procedure = m_press->session->findChild<BaseProcedure*>();
        QVERIFY(procedure);
        procedure->cancel();
    } else if (end == "closed") {
        m_press->port->closeFromDevice();
    } else {
        m_press->session.reset();
    }
    QTRY_VERIFY(!dialog);
}

void tst_ProgressDialog::closesWithProcedure_data() {
    QTest::addColumn<QString>("end");
    QTest::newRow("finished") << "finished";
    QTest::newRow("cancelled") << "canceled";
    QTest::newRow("link closed") << "closed";
    QTest::newRow("destroyed") << "destroyed";
}

void tst_ProgressDialog::closesWithProcedure() {
    QFETCH(QString, end);
    auto* procedure = new LoadcellCalibrationProcedure(m_press->protocol.get());
    procedure->setAutoDelete(false);
    QPointer<BaseProcedure> guard = procedure;
    auto* dialog = new ProgressDialog(QStringLiteral("Finding no-die weight ..."));
    QPointer<ProgressDialog> watched = dialog;
    dialog->bindToProcedure(procedure);
    procedure->start();
    dialog->show();
    QCOMPARE(dialog->maximum(), 0);
    m_press->port->feed(samples(25, 1000));
    QTRY_COMPARE(dialog->value(), 48);
    QCOMPARE(dialog->maximum(), 100);

    if (end == "finished")
        m_press->port->feed(samples(25, 1000));
    else if (end == "canceled")
        procedure->cancel();
    else if (end == "closed")
        m_press->port->closeFromDevice();
    else
        delete procedure;
    QTRY_VERIFY(!watched);
    delete guard.data();
}

void tst_ProgressDialog::userCannotCloseIt() {
    QPointer<ProgressDialog> dialog = ProgressDialog::runSessionCommand(
        m_press->session.get(), &Session::calibrateZeroWeight, QStringLiteral("Zeroing ..."), nullptr);
    QVERIFY(dialog);
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QTest::keyClick(dialog, Qt::Key_Escape);
    QVERIFY(!dialog->close());
    QCoreApplication::processEvents();
    PressLines::flushDeferredDeletes();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    m_press->port->feed(samples(50, 33000));
    QTRY_VERIFY(!dialog);
}

void tst_ProgressDialog::opensOnlyForAcceptedCommands_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("opens");

    const QStringList commands{"go", "findXZero", "dieSetup", "calibrateZeroWeight"};
    for (const QString& command : commands) {
        // A press still in its bootloader: only the zeroing is taken.
        QTest::addRow("not started, %s", qPrintable(command))
            << "not started" << command << (command == "calibrateZeroWeight");
        QTest::addRow("busy zeroing, %s", qPrintable(command)) << "busy" << command << false;
        QTest::addRow("closed, %s", qPrintable(command)) << "closed" << command << false;
        QTest::addRow("idle, %s", qPrintable(command)) << "idle" << command << true;
    }
}

void tst_ProgressDialog::opensOnlyForAcceptedCommands() {
    QFETCH(QString, state);
    QFETCH(QString, command);
    QFETCH(bool, opens);

    if (state == "not started") {
        m_press->session.reset();
        m_press->startInBootloader();
        QVERIFY(!m_press->session->isInitialized());
    } else if (state == "busy") {
        QVERIFY(m_press->session->calibrateZeroWeight());
    } else if (state == "closed") {
        m_press->port->closeFromDevice();
    }
    const int procedures = int(m_press->session->findChildren<BaseProcedure*>().size());
    m_press->port->clearWritten();

    ProgressDialog::SessionCommand pointer = nullptr;
    if (command == "go")
        pointer = &Session::go;
    else if (command == "findXZero")
        pointer = &Session::findXZero;
    else if (command == "dieSetup")
        pointer = &Session::dieSetup;
    else
        pointer = &Session::calibrateZeroWeight;
    QPointer<ProgressDialog> dialog = ProgressDialog::runSessionCommand(
        m_press->session.get(), pointer, QStringLiteral("Working ..."), nullptr);
    QCOMPARE(bool(dialog), opens);
    QCOMPARE(int(m_press->session->findChildren<BaseProcedure*>().size()), procedures + (opens ? 1 : 0));
    if (!opens) {
        QVERIFY(m_press->port->written().isEmpty());
        return;
    }
    QVERIFY(dialog->isVisible());
    // The link drops: whatever the command, the dialog goes.
    m_press->port->closeFromDevice();
    QTRY_VERIFY(!dialog);
}

QTEST_MAIN(tst_ProgressDialog)
#include "tst_progressdialog.moc"
