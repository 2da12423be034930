#include "support/FakeMessageBoxes.h"
#include "support/FakePort.h"
#include "support/LogCapture.h"
#include "support/MemoryFirmwareReader.h"
#include "support/SimulatedBootloader.h"
#include "support/UpgradeTestData.h"

#include "dialogs/DialogBootload.h"
#include "link/Protocol.h"
#include "maintenance/FirmwareReaderFile.h"

#include <functional>
#include <memory>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>
#include <QVBoxLayout>

using namespace UpgradeTestData;

class tst_DialogBootload : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void interfaceAndTexts();
    void showsTheExchangeAndHandsBack_data();
    void showsTheExchangeAndHandsBack();
    void linkDroppedEndsTheUpgrade_data();
    void linkDroppedEndsTheUpgrade();
    void closingAsksWhileUnderWay_data();
    void closingAsksWhileUnderWay();
    void somethingHappensWhileAsking_data();
    void somethingHappensWhileAsking();
    void failsBeforeTouchingThePress_data();
    void failsBeforeTouchingThePress();
    void runUpgradeOpensTheCarriedImage();
    void logsOneLinePerPageAndEveryError_data();
    void logsOneLinePerPageAndEveryError();

private:
    // A dialog on the simulated press (or on `reader` when given) with ticks driven by the test.
    void start(IFirmwareReader* reader = nullptr);
    // Delivers the press's replies as they come and ticks whenever none is waiting, until `until`
    // holds; false when it still does not after maxTicks ticks in all.
    bool run(const std::function<bool()>& until, int maxTicks = 4000);
    bool runToEnd() {
        return run([this] { return !m_finished.isEmpty() || m_dialog->stage() == DialogBootload::Failed; });
    }
    bool runUntilCommand(const QByteArray& prefix, int occurrence = 1);
    QStringList logLines() const;

    std::unique_ptr<Protocol> m_protocol;
    QPointer<SimulatedBootloader> m_press;
    std::unique_ptr<MemoryFirmwareReader> m_reader;
    FakeMessageBoxes m_boxes;
    std::unique_ptr<DialogBootload> m_dialog;
    QList<int> m_finished;
    QList<int> m_programValues;
    QList<int> m_verifyValues;
    int m_ticks = 0;
};

void tst_DialogBootload::initTestCase() {
    qInstallMessageHandler(quietMessages);
}

void tst_DialogBootload::init() {
    m_protocol = std::make_unique<Protocol>();
    m_reader = std::make_unique<MemoryFirmwareReader>(testImage());
    m_press = new SimulatedBootloader(oldFirmware(m_reader->image()));
    m_protocol->setPort(m_press);
    m_boxes = FakeMessageBoxes();
    m_finished.clear();
    m_programValues.clear();
    m_verifyValues.clear();
    m_ticks = 0;
}

void tst_DialogBootload::cleanup() {
    m_dialog.reset();
    m_protocol.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void tst_DialogBootload::start(IFirmwareReader* reader) {
    m_dialog = std::make_unique<DialogBootload>(reader ? reader : m_reader.get(), m_protocol.get(), nullptr,
                                                &m_boxes, DialogBootload::Ticks::Manual);
    connect(m_dialog.get(), &QDialog::finished, this, [this](int result) { m_finished.append(result); });
    connect(m_dialog->findChild<QProgressBar*>(QStringLiteral("progressBarLoad")),
            &QProgressBar::valueChanged, this, [this](int value) { m_programValues.append(value); });
    connect(m_dialog->findChild<QProgressBar*>(QStringLiteral("progressBarVerify")),
            &QProgressBar::valueChanged, this, [this](int value) { m_verifyValues.append(value); });
}

bool tst_DialogBootload::run(const std::function<bool()>& until, int maxTicks) {
    while (!until()) {
        if (m_press && m_press->deliver())
            continue;
        if (m_ticks >= maxTicks)
            return false;
        ++m_ticks;
        if (m_press)
            m_press->tick = m_ticks;
        m_dialog->tick();
    }
    return true;
}

bool tst_DialogBootload::runUntilCommand(const QByteArray& prefix, int occurrence) {
    int seen = 0;
    qsizetype scanned = 0;
    return run([&] {
        if (!m_press)
            return false;
        for (; scanned < m_press->commands.size(); ++scanned)
            seen += m_press->commands.at(scanned).line.startsWith(prefix) ? 1 : 0;
        return seen >= occurrence;
    });
}

QStringList tst_DialogBootload::logLines() const {
    const QString text =
        m_dialog->findChild<QPlainTextEdit*>(QStringLiteral("bootloadLogEdit"))->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

void tst_DialogBootload::interfaceAndTexts() {
    start();
    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Updating Firmware"));
    QCOMPARE(m_dialog->size(), QSize(424, 374));
    QVERIFY(m_dialog->findChild<QVBoxLayout*>(QStringLiteral("verticalLayout")));
    const QList<QPair<const char*, QString>> labels{
        {"programLabel", "Program"},
        {"verifyLabel", "Verify"},
        {"logLabel", "Log"},
        {"powerWarningLabel", "Do not turn off power or close this window while the firmware upgrade is in "
                              "progress. Firmware upgrading can take up to 10 minutes."}};
    for (const auto& [name, text] : labels) {
        auto* label = m_dialog->findChild<QLabel*>(QLatin1String(name));
        QVERIFY2(label, name);
        QCOMPARE(label->text(), text);
    }
    QVERIFY(m_dialog->findChild<QLabel*>(QStringLiteral("powerWarningLabel"))->wordWrap());
    for (const char* name : {"progressBarLoad", "progressBarVerify"}) {
        auto* bar = m_dialog->findChild<QProgressBar*>(QLatin1String(name));
        QVERIFY2(bar, name);
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 0x3E000);
        QCOMPARE(bar->value(), 0);
    }
    QVERIFY(m_dialog->findChild<QPlainTextEdit*>(QStringLiteral("bootloadLogEdit"))->isReadOnly());
    // The press is asked to enter its bootloader at once.
    QCOMPARE(m_press->commands.size(), 1);
    QCOMPARE(m_press->commands.at(0).line, QByteArray("$x\n"));
    QCOMPARE(m_dialog->stage(), DialogBootload::WaitingForBootloader);
}

void tst_DialogBootload::showsTheExchangeAndHandsBack_data() {
    QTest::addColumn<int>("badChunk");      // read back wrong until the upgrade fails, or -1
    QTest::addColumn<bool>("loggedBefore"); // whether the protocol logged raw lines before
    QTest::newRow("completes") << -1 << true;
    QTest::newRow("completes, raw lines not logged before") << -1 << false;
    QTest::newRow("fails at a read-back") << 0x30000 << true;
}

// The bars, the log box and the protocol follow the exchange to its end, whichever it is.
void tst_DialogBootload::showsTheExchangeAndHandsBack() {
    QFETCH(int, badChunk);
    QFETCH(bool, loggedBefore);
    if (badChunk >= 0)
        m_press->badReadBacks.insert(badChunk, 4);
    m_protocol->setRawExchangeLogged(loggedBefore);
    start();
    QVERIFY(!m_protocol->isRawExchangeLogged());
    QVERIFY(runUntilCommand("$V,26000"));
    QVERIFY(!m_protocol->isRawExchangeLogged());
    QVERIFY(runToEnd());
    QCOMPARE(m_protocol->isRawExchangeLogged(), loggedBefore);
    QCOMPARE(m_programValues, everyChunk());
    const auto& commands = m_press->commands;
    auto* label = m_dialog->findChild<QLabel*>(QStringLiteral("powerWarningLabel"));

    if (badChunk >= 0) {
        const QString reason =
            QStringLiteral("The press's memory does not match the firmware image at 30000.");
        QCOMPARE(m_dialog->stage(), DialogBootload::Failed);
        QCOMPARE(m_verifyValues, everyChunk().mid(0, (badChunk - 0x26000) / 64));
        QCOMPARE(logLines().mid(logLines().size() - 3),
                 (QStringList{"Verify failed", reason, "Firmware upgrade failed."}));
        QCOMPARE(label->text(), QStringLiteral("Firmware upgrade failed: ") + reason);
        // Failed: the window stays open, and nothing more is sent.
        const int written = commands.size();
        QVERIFY(!run([] { return false; }, m_ticks + 60));
        QVERIFY(m_finished.isEmpty());
        QCOMPARE(commands.size(), written);
        return;
    }
    QCOMPARE(m_dialog->stage(), DialogBootload::Finished);
    QCOMPARE(m_verifyValues, everyChunk());
    QCOMPARE(logLines(), kUpgradeLog);
    QVERIFY(label->text().startsWith(QStringLiteral("Do not turn off power")));
    // The version request of the restarted application goes with the fifth exit command, sixteen
    // ticks after the last read-back; nothing follows it.
    QCOMPARE(commands.first().line, QByteArray("$x\n"));
    QCOMPARE(commands.last().line, QByteArray("$V\n"));
    for (int i = 2; i <= 6; ++i)
        QCOMPARE(commands.at(commands.size() - i).line, QByteArray("$X\n"));
    QCOMPARE(commands.last().tick, commands.at(commands.size() - 2).tick);
    QCOMPARE(commands.last().tick - commands.at(commands.size() - 7).tick, 16);
    QCOMPARE(commands.at(commands.size() - 7).line, QByteArray("$V,7EFC0\n"));
    // It closed itself twenty ticks after the version request.
    QCOMPARE(m_finished, QList<int>{QDialog::Accepted});
    QCOMPARE(m_ticks - commands.last().tick, 20);
}

void tst_DialogBootload::linkDroppedEndsTheUpgrade_data() {
    QTest::addColumn<QByteArray>("closeAfter"); // the link drops while this command is written
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<int>("stage"); // the stage the dialog was in
    QTest::addColumn<bool>("fails");

    QTest::newRow("waiting for the bootloader") << QByteArray("$x") << 1 << 0 << true;
    QTest::newRow("starting the bootloader") << QByteArray("$G") << 1 << 0 << true;
    QTest::newRow("sending data") << QByteArray("$D,40,") << 1 << 1 << true;
    QTest::newRow("page full") << QByteArray("$P,26000,") << 1 << 1 << true;
    QTest::newRow("second page") << QByteArray("$D,0,") << 2 << 1 << true;
    QTest::newRow("parameter page") << QByteArray("$D,0,") << 62 << 2 << true;
    QTest::newRow("CRC requested") << QByteArray("$C,") << 1 << 2 << true;
    QTest::newRow("CRC calculated") << QByteArray("$P,7E000,") << 1 << 2 << true;
    QTest::newRow("verifying") << QByteArray("$V,30000") << 1 << 3 << true;
    QTest::newRow("starting the application") << QByteArray("$X") << 2 << 4 << true;
    QTest::newRow("version request") << QByteArray("$V\n") << 1 << 5 << false;
}

void tst_DialogBootload::linkDroppedEndsTheUpgrade() {
    QFETCH(QByteArray, closeAfter);
    QFETCH(int, occurrence);
    QFETCH(int, stage);
    QFETCH(bool, fails);
    SimulatedBootloader* press = m_press;
    int seen = 0;
    int stageAtClose = -1;
    press->afterCommand = [&](const QByteArray& line) {
        if (line.startsWith(closeAfter) && ++seen == occurrence) {
            stageAtClose = m_dialog ? int(m_dialog->stage()) : 0;
            press->close();
        }
    };
    start();
    const int ticksBefore = m_ticks;
    QVERIFY(run([&] { return seen >= occurrence; }));
    QVERIFY(!m_press || !m_press->isOpen());
    QVERIFY(ticksBefore <= m_ticks);
    QCOMPARE(stageAtClose, stage);

    // The port search finds the next device: whatever it says, no bootloader command reaches it.
    auto* next = new FakePort;
    m_protocol->setPort(next);
    next->feed("$Bootloader\n$GACK\n$EACK\n$DACK\n$PACK\n$CACK\n$VACK,26000\n");
    QVERIFY(!run([] { return false; }, m_ticks + 60));
    QCOMPARE(next->written(), QByteArray());

    if (fails) {
        QCOMPARE(m_dialog->stage(), DialogBootload::Failed);
        QCOMPARE(m_dialog->failureReason(), QStringLiteral("Connection to the press lost."));
        QCOMPARE(logLines().mid(logLines().size() - 2),
                 (QStringList{"Connection to the press lost.", "Firmware upgrade failed."}));
        QVERIFY(m_finished.isEmpty());
        // Over: closing asks nothing.
        m_dialog->reject();
        QVERIFY(m_boxes.boxes.isEmpty());
        QCOMPARE(m_finished, QList<int>{QDialog::Rejected});
    } else {
        // Everything was sent: the upgrade completed and the dialog closes itself as usual.
        QCOMPARE(m_dialog->stage(), DialogBootload::Finished);
        QCOMPARE(m_finished, QList<int>{QDialog::Accepted});
        QCOMPARE(logLines(), kUpgradeLog);
    }
}

void tst_DialogBootload::closingAsksWhileUnderWay_data() {
    QTest::addColumn<QByteArray>("until"); // run until this command has been written
    QTest::addColumn<int>("answer");       // QMessageBox::Yes or No
    QTest::addColumn<bool>("asks");
    QTest::addColumn<bool>("closes");

    QTest::newRow("waiting for the bootloader") << QByteArray("$x") << int(QMessageBox::No) << false << true;
    QTest::newRow("programming, yes") << QByteArray("$D,40,") << int(QMessageBox::Yes) << true << true;
    QTest::newRow("programming, no") << QByteArray("$D,40,") << int(QMessageBox::No) << true << false;
    QTest::newRow("parameters, yes") << QByteArray("$C,") << int(QMessageBox::Yes) << true << true;
    QTest::newRow("verifying, yes") << QByteArray("$V,30000") << int(QMessageBox::Yes) << true << true;
    QTest::newRow("verifying, no") << QByteArray("$V,30000") << int(QMessageBox::No) << true << false;
    QTest::newRow("box closed without an answer")
        << QByteArray("$V,30000") << int(QMessageBox::Cancel) << true << false;
    QTest::newRow("starting the application, yes")
        << QByteArray("$X") << int(QMessageBox::Yes) << true << true;
    QTest::newRow("finished") << QByteArray("$V\n") << int(QMessageBox::No) << false << true;
}

void tst_DialogBootload::closingAsksWhileUnderWay() {
    QFETCH(QByteArray, until);
    QFETCH(int, answer);
    QFETCH(bool, asks);
    QFETCH(bool, closes);
    m_boxes.questionAnswer = QMessageBox::StandardButton(answer);
    start();
    QVERIFY(runUntilCommand(until));
    const DialogBootload::Stage before = m_dialog->stage();
    const int written = m_press->commands.size();

    m_dialog->reject();
    if (asks) {
        QCOMPARE(m_boxes.boxes.size(), 1);
        QCOMPARE(m_boxes.boxes.at(0).kind, FakeMessageBoxes::Box::Question);
        QCOMPARE(m_boxes.boxes.at(0).text, QStringLiteral("Abort the firmware upgrade?"));
        QCOMPARE(m_boxes.boxes.at(0).informativeText,
                 QStringLiteral("The press may not start until a firmware upgrade completes."));
    } else {
        QVERIFY(m_boxes.boxes.isEmpty());
    }
    if (!closes) {
        // Not closed: the upgrade goes on to its end.
        QVERIFY(m_finished.isEmpty());
        QCOMPARE(m_dialog->stage(), before);
        QVERIFY(runToEnd());
        QCOMPARE(m_finished, QList<int>{QDialog::Accepted});
        return;
    }
    QCOMPARE(m_finished, QList<int>{QDialog::Rejected});
    if (before == DialogBootload::Finished) {
        QCOMPARE(m_dialog->stage(), DialogBootload::Finished);
        return;
    }
    // Closed before its end: the upgrade is over and sends nothing more, whatever arrives.
    QCOMPARE(m_dialog->stage(), DialogBootload::Failed);
    QCOMPARE(m_dialog->failureReason(), QStringLiteral("Firmware upgrade aborted."));
    m_press->queue("$Bootloader");
    m_press->queue("$DACK");
    m_press->queue("$VACK,30000");
    QVERIFY(!run([] { return false; }, m_ticks + 60));
    QCOMPARE(m_press->commands.size(), written);
}

void tst_DialogBootload::somethingHappensWhileAsking_data() {
    QTest::addColumn<bool>("linkLost"); // else the upgrade completes while the box is open
    QTest::addColumn<int>("answer");
    QTest::newRow("link lost, no") << true << int(QMessageBox::No);
    QTest::newRow("link lost, yes") << true << int(QMessageBox::Yes);
    QTest::newRow("completed, yes") << false << int(QMessageBox::Yes);
    QTest::newRow("completed, no") << false << int(QMessageBox::No);
}

void tst_DialogBootload::somethingHappensWhileAsking() {
    QFETCH(bool, linkLost);
    QFETCH(int, answer);
    m_boxes.questionAnswer = QMessageBox::StandardButton(answer);
    start();
    QVERIFY(runUntilCommand("$V,7E000"));
    // As in the nested event loop of the real box, the exchange goes on.
    m_boxes.whileOpen = [this, linkLost] {
        if (linkLost)
            m_press->close();
        else
            QVERIFY(runToEnd());
    };
    m_dialog->reject();
    QCOMPARE(m_boxes.boxes.size(), 1);
    if (!linkLost) {
        // It closed itself as completed; the late answer changes nothing.
        QCOMPARE(m_finished, QList<int>{QDialog::Accepted});
        QCOMPARE(m_dialog->stage(), DialogBootload::Finished);
        return;
    }
    QCOMPARE(m_dialog->stage(), DialogBootload::Failed);
    QCOMPARE(m_dialog->failureReason(), QStringLiteral("Connection to the press lost."));
    if (answer == QMessageBox::No) {
        QVERIFY(m_finished.isEmpty());
        m_dialog->reject(); // over now: no second question
        QCOMPARE(m_boxes.boxes.size(), 1);
    }
    QCOMPARE(m_finished, QList<int>{QDialog::Rejected});
}

void tst_DialogBootload::failsBeforeTouchingThePress_data() {
    QTest::addColumn<int>("imageSize");
    QTest::addColumn<QString>("port"); // "open", "closed" or "none"
    QTest::addColumn<QString>("reason");
    const QString incomplete = QStringLiteral("The firmware image is incomplete.");
    QTest::newRow("empty image") << 0 << "open" << incomplete;
    QTest::newRow("image ends inside the application") << 0x62FFF << "open" << incomplete;
    QTest::newRow("image ends before the parameter page") << 0x7E000 << "open" << incomplete;
    QTest::newRow("image ends inside the parameter page") << 0x7EFFF << "open" << incomplete;
    QTest::newRow("no press attached") << 0x80000 << "none" << QStringLiteral("Press not connected.");
    QTest::newRow("port closed") << 0x80000 << "closed" << QStringLiteral("Press not connected.");
}

void tst_DialogBootload::failsBeforeTouchingThePress() {
    QFETCH(int, imageSize);
    QFETCH(QString, port);
    QFETCH(QString, reason);
    MemoryFirmwareReader reader(testImage().left(imageSize));
    auto* fake = new FakePort;
    if (port == QLatin1String("none")) {
        m_protocol->closePort();
    } else {
        m_protocol->setPort(fake);
        // A port the protocol still holds but that is no longer open.
        if (port == QLatin1String("closed")) {
            disconnect(fake, &IPort::closed, m_protocol.get(), nullptr);
            fake->close();
        }
    }
    start(&reader);

    QCOMPARE(m_dialog->stage(), DialogBootload::Failed);
    QCOMPARE(m_dialog->failureReason(), reason);
    QCOMPARE(logLines(), (QStringList{reason, "Firmware upgrade failed."}));
    QCOMPARE(m_dialog->findChild<QLabel*>(QStringLiteral("powerWarningLabel"))->text(),
             QStringLiteral("Firmware upgrade failed: ") + reason);
    fake->feed("$Bootloader\n$GACK\n$EACK\n");
    for (int i = 0; i < 30; ++i)
        m_dialog->tick();
    QCOMPARE(fake->written(), QByteArray()); // not even "$x": the press keeps its firmware
    m_dialog->reject();
    QVERIFY(m_boxes.boxes.isEmpty());
    QCOMPARE(m_finished, QList<int>{QDialog::Rejected});
    if (port == QLatin1String("none"))
        delete fake;
}

void tst_DialogBootload::runUpgradeOpensTheCarriedImage() {
    QWidget parent;
    QPointer<DialogBootload> seen;
    QByteArray writtenWhileOpen;
    // Runs inside the dialog's modal loop.
    QTimer::singleShot(0, this, [&] {
        seen = qobject_cast<DialogBootload*>(QApplication::activeModalWidget());
        if (!seen)
            return;
        writtenWhileOpen = m_press->commands.isEmpty() ? QByteArray() : m_press->commands.first().line;
        seen->reject(); // still waiting for the bootloader: closes without a question
    });
    // Should the dialog not be found, the test must still end.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, this, [] {
        if (auto* modal = QApplication::activeModalWidget())
            modal->close();
    });
    guard.start(10000);
    DialogBootload::runUpgrade(m_protocol.get(), &parent);
    QVERIFY(!seen); // deleted on return
    QCOMPARE(writtenWhileOpen, QByteArray("$x\n"));
    QCOMPARE(parent.findChildren<DialogBootload*>().size(), 0);
}

void tst_DialogBootload::logsOneLinePerPageAndEveryError_data() {
    QTest::addColumn<QList<QByteArray>>("lostReplies"); // one reply to each of these is lost
    QTest::addColumn<QList<int>>("badReadBacks");       // pairs: chunk address, wrong read-backs of it
    QTest::addColumn<int>("verifiedPages");
    QTest::addColumn<QStringList>("errors");
    const QString verifyFailed = QStringLiteral("Firmware upgrade: \"Verify failed\"");
    QTest::newRow("plain upgrade") << QList<QByteArray>() << QList<int>() << 62 << QStringList();
    QTest::newRow("lost replies and wrong read-backs")
        << QList<QByteArray>{"$D,40,", "$P,30000,", "$V,7E000"} << QList<int>{0x26040, 2} << 62
        << QStringList{verifyFailed, verifyFailed};
    QTest::newRow("failed upgrade") << QList<QByteArray>() << QList<int>{0x30000, 4} << 10
                                    << QStringList{
                                           verifyFailed,
                                           verifyFailed,
                                           verifyFailed,
                                           verifyFailed,
                                           "Firmware upgrade: \"The press's memory does not match the "
                                           "firmware image at 30000.\"",
                                           "Firmware upgrade: \"Firmware upgrade failed.\""};
}

// Some eight thousand commands and as many replies make an upgrade: the run's log gets a line per page
// programmed and verified and one per error, never one per bootloader line.
void tst_DialogBootload::logsOneLinePerPageAndEveryError() {
    QFETCH(QList<QByteArray>, lostReplies);
    QFETCH(QList<int>, badReadBacks);
    QFETCH(int, verifiedPages);
    QFETCH(QStringList, errors);
    for (const QByteArray& command : lostReplies)
        m_press->loseRepliesTo.insert(command, 1);
    for (int i = 0; i + 1 < badReadBacks.size(); i += 2)
        m_press->badReadBacks.insert(badReadBacks.at(i), badReadBacks.at(i + 1));
    QStringList lines;
    QStringList warnings;
    {
        LogCapture log;
        start();
        QVERIFY(runToEnd());
        m_dialog.reset();
        for (const LogCapture::Line& line : std::as_const(log.lines)) {
            lines.append(line.text);
            if (line.type != QtDebugMsg && line.type != QtInfoMsg)
                warnings.append(line.text);
        }
    }
    // Besides the page lines and the errors, the log box's dozen steps and the commands to enter and
    // leave the bootloader.
    QVERIFY2(lines.size() <= 62 + verifiedPages + errors.size() + 20,
             qPrintable(QStringLiteral("%1 log lines").arg(lines.size())));
    const QRegularExpression programmed(QStringLiteral("^Firmware upgrade: page [0-9A-F]+ programmed$"));
    const QRegularExpression verified(QStringLiteral("^Firmware upgrade: page [0-9A-F]+ verified$"));
    QCOMPARE(lines.filter(programmed).size(), 62);
    QCOMPARE(lines.filter(verified).size(), verifiedPages);
    QCOMPARE(warnings, errors);
    // The protocol is no longer quiet: the next press is logged as usual.
    LogCapture after;
    m_protocol->sendRaw("$x\n");
    QCOMPARE(after.count(QtDebugMsg, QStringLiteral("Requesting unknown command")), 1);
}

QTEST_MAIN(tst_DialogBootload)
#include "tst_dialogbootload.moc"
