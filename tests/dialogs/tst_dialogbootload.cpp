#include "support/FakeMessageBoxes.h"
#include "support/FakePort.h"
#include "support/LogCapture.h"
#include "support/MemoryFirmwareReader.h"
#include "support/SimulatedBootloader.h"

#include "dialogs/DialogBootload.h"
#include "link/Protocol.h"
#include "maintenance/FirmwareReaderFile.h"

#include <algorithm>
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

namespace {

constexpr int kApplicationChunks = (0x63000 - 0x26000) / 64;
constexpr int kParameterChunks = 0x1000 / 64;

// The image the tests write: every byte value occurs; the first chunk is spelled out in a test.
QByteArray testImage() {
    QByteArray image(0x80000, char(0xFF));
    for (int a = 0; a < image.size(); ++a)
        image[a] = char((a * 131 + (a >> 9)) & 0xFF);
    const char first[] = {0x0A, char(0xFF), 0x00, 0x10};
    for (int k = 0; k < 4; ++k)
        image[0x26000 + k] = first[k];
    for (int a = 0x26004; a < 0x26040; ++a)
        image[a] = 0x01;
    return image;
}

// What the press's flash holds before the upgrade: different from the image everywhere.
QByteArray oldFirmware(const QByteArray& image) {
    QByteArray flash = image;
    for (char& byte : flash)
        byte = char(byte ^ 0x5A);
    return flash;
}

const QStringList kUpgradeLog{"Bootloader found",
                              "Programming firmware...",
                              "Finished programming firmware",
                              "Programming MBR parameters...",
                              "Calculating CRC...",
                              "CRC calculated",
                              "Finished programming MBR parameters",
                              "Verifying application...",
                              "Verify successful",
                              "Software update complete",
                              "Starting application...",
                              "Requesting version..."};

// The bars step by one chunk from the first acknowledged chunk to full, never back.
QList<int> everyChunk() {
    QList<int> values;
    for (int value = 64; value <= 0x3E000; value += 64)
        values.append(value);
    return values;
}

void quiet(QtMsgType type, const QMessageLogContext&, const QString& text) {
    // The protocol logs every bootloader line and command; only real trouble is shown.
    if (type == QtCriticalMsg || type == QtFatalMsg)
        fprintf(stderr, "%s\n", qPrintable(text));
}

enum class Answer { None, Yes, No };

} // namespace

Q_DECLARE_METATYPE(Answer)

class tst_DialogBootload : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void interfaceAndTexts();
    void progressValue_data();
    void progressValue();
    void wholeUpgrade_data();
    void wholeUpgrade();
    void commandLines_data();
    void commandLines();
    void pacingAndRepetitions_data();
    void pacingAndRepetitions();
    void verifyMismatchRetriedAndBounded_data();
    void verifyMismatchRetriedAndBounded();
    void linkDroppedEndsTheUpgrade_data();
    void linkDroppedEndsTheUpgrade();
    void closingAsksWhileUnderWay_data();
    void closingAsksWhileUnderWay();
    void somethingHappensWhileAsking_data();
    void somethingHappensWhileAsking();
    void overlongRepliesAreCut_data();
    void overlongRepliesAreCut();
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
    int countCommands(const QByteArray& prefix) const;
    // The commands of an upgrade on a press that answers everything, run once for all tests.
    const QList<SimulatedBootloader::Command>& plainUpgrade();
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
    qInstallMessageHandler(quiet);
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

int tst_DialogBootload::countCommands(const QByteArray& prefix) const {
    int count = 0;
    if (m_press) {
        for (const auto& command : m_press->commands)
            count += command.line.startsWith(prefix) ? 1 : 0;
    }
    return count;
}

const QList<SimulatedBootloader::Command>& tst_DialogBootload::plainUpgrade() {
    static QList<SimulatedBootloader::Command> commands;
    if (commands.isEmpty()) {
        start();
        if (runToEnd() && m_dialog->stage() == DialogBootload::Finished && m_press->malformed.isEmpty())
            commands = m_press->commands;
    }
    return commands;
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

void tst_DialogBootload::progressValue_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("value");
    QTest::newRow("below the application") << 0x25FC0 << 0;
    QTest::newRow("application start") << 0x26000 << 0;
    QTest::newRow("first chunk done") << 0x26040 << 0x40;
    QTest::newRow("first page done") << 0x27000 << 0x1000;
    QTest::newRow("application end") << 0x63000 << 0x3D000;
    QTest::newRow("between the regions") << 0x70000 << 0x3D000;
    QTest::newRow("just below the parameter page") << 0x7DFFF << 0x3D000;
    QTest::newRow("parameter page start") << 0x7E000 << 0x3D000;
    QTest::newRow("first parameter chunk done") << 0x7E040 << 0x3D040;
    QTest::newRow("last parameter byte") << 0x7EFFF << 0x3DFFF;
    QTest::newRow("parameter page done") << 0x7F000 << 0x3E000;
    QTest::newRow("beyond") << 0x7F040 << 0x3D000;
}

void tst_DialogBootload::progressValue() {
    QFETCH(int, address);
    QFETCH(int, value);
    QCOMPARE(DialogBootload::progressValue(address), value);
}

void tst_DialogBootload::wholeUpgrade_data() {
    QTest::addColumn<bool>("announce");
    QTest::addColumn<bool>("announceErase");
    QTest::addColumn<QList<QByteArray>>("lostReplies"); // one reply to each of these is lost
    QTest::addColumn<bool>("carriedImage");
    QTest::newRow("announced") << true << true << QList<QByteArray>() << false;
    QTest::newRow("captured by its acknowledgement") << false << true << QList<QByteArray>() << false;
    QTest::newRow("erases never acknowledged") << true << false << QList<QByteArray>() << false;
    QTest::newRow("acknowledgements lost")
        << true << true
        << QList<QByteArray>{"$G", "$D,0,", "$D,FC0,", "$P,26000,", "$P,7E000,", "$V,26000", "$V,7EFC0"}
        << false;
    QTest::newRow("the carried image") << true << true << QList<QByteArray>() << true;
}

void tst_DialogBootload::wholeUpgrade() {
    QFETCH(bool, announce);
    QFETCH(bool, announceErase);
    QFETCH(QList<QByteArray>, lostReplies);
    QFETCH(bool, carriedImage);
    m_press->announce = announce;
    m_press->announceErase = announceErase;
    for (const QByteArray& command : lostReplies)
        m_press->loseRepliesTo.insert(command, 1);
    FirmwareReaderFile carried(QStringLiteral(":/update.bin"));
    IFirmwareReader* reader = carriedImage ? static_cast<IFirmwareReader*>(&carried) : m_reader.get();
    const QByteArray image = reader->read(0, 0x80000);
    QCOMPARE(image.size(), 0x80000);
    start(reader);

    QStringList expectedLog = kUpgradeLog;
    if (!announce) {
        // A bootloader that was already running answers its start command without announcing itself.
        QVERIFY(run([this] { return m_ticks >= 3; }));
        QCOMPARE(m_dialog->stage(), DialogBootload::WaitingForBootloader);
        m_press->queue("$GACK");
        expectedLog.replace(0, QStringLiteral("Captured bootloader"));
        expectedLog.removeAt(1);
    }
    QVERIFY(runToEnd());

    QCOMPARE(m_finished, QList<int>{QDialog::Accepted});
    QCOMPARE(m_dialog->stage(), DialogBootload::Finished);
    QCOMPARE(logLines(), expectedLog);
    QCOMPARE(m_press->malformed, QList<QByteArray>());
    QVERIFY(m_press->flash().mid(0x26000, 0x3D000) == image.mid(0x26000, 0x3D000));
    QVERIFY(m_press->flash().mid(0x7E000, 0x1000) == image.mid(0x7E000, 0x1000));
    // The CRC is asked for only once the whole application region is programmed.
    QVERIFY(m_press->flashAtCrc == image.mid(0x26000, 0x3D000));
    QCOMPARE(m_programValues, everyChunk());
    QCOMPARE(m_verifyValues, everyChunk());
    QCOMPARE(countCommands("$V,"), kApplicationChunks + kParameterChunks + (lostReplies.isEmpty() ? 0 : 2));
    // Five exit commands, then the version request of the restarted application, then nothing.
    const auto& commands = m_press->commands;
    QCOMPARE(countCommands("$X"), 5);
    QCOMPARE(commands.last().line, QByteArray("$V\n"));
    for (int i = 2; i <= 6; ++i)
        QCOMPARE(commands.at(commands.size() - i).line, QByteArray("$X\n"));
    QVERIFY(!m_press->inBootloader());
    // It closed itself twenty ticks after the version request.
    QCOMPARE(m_ticks - commands.last().tick, 20);
}

void tst_DialogBootload::commandLines_data() {
    QTest::addColumn<QByteArray>("after"); // the command (prefix) the expected one follows
    QTest::addColumn<bool>("lastOccurrence");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("prefixOnly");
    QByteArray firstChunk = "$D,0,A,FF,0,10";
    for (int k = 4; k < 64; ++k)
        firstChunk += ",1";
    firstChunk += '\n';
    QTest::newRow("enter the bootloader") << QByteArray() << false << QByteArray("$x\n") << false;
    QTest::newRow("start programming") << QByteArray("$x\n") << false << QByteArray("$G\n") << false;
    QTest::newRow("first data chunk") << QByteArray("$G\n") << false << firstChunk << false;
    QTest::newRow("offset of 0x26040") << QByteArray("$D,0,A,") << false << QByteArray("$D,40,") << true;
    QTest::newRow("page command after the page's last chunk")
        << QByteArray("$D,FC0,") << false << QByteArray("$P,26000,1000\n") << false;
    QTest::newRow("offset of 0x27000")
        << QByteArray("$P,26000,1000\n") << false << QByteArray("$D,0,") << true;
    QTest::newRow("last application page")
        << QByteArray("$P,61000,1000\n") << false << QByteArray("$D,0,") << true;
    QTest::newRow("parameter page after the application")
        << QByteArray("$P,62000,1000\n") << false << QByteArray("$D,0,") << true;
    QTest::newRow("CRC after the parameter page's last chunk")
        << QByteArray("$D,FC0,") << true << QByteArray("$C,26000,63000\n") << false;
    QTest::newRow("parameter page command after the CRC")
        << QByteArray("$C,26000,63000\n") << false << QByteArray("$P,7E000,1000\n") << false;
    QTest::newRow("verify from the application start")
        << QByteArray("$P,7E000,1000\n") << false << QByteArray("$V,26000\n") << false;
    QTest::newRow("verify the next chunk")
        << QByteArray("$V,26000\n") << false << QByteArray("$V,26040\n") << false;
    QTest::newRow("verify jumps to the parameter page")
        << QByteArray("$V,62FC0\n") << false << QByteArray("$V,7E000\n") << false;
    QTest::newRow("verify ends with the parameter page")
        << QByteArray("$V,7EFC0\n") << false << QByteArray("$X\n") << false;
}

void tst_DialogBootload::commandLines() {
    QFETCH(QByteArray, after);
    QFETCH(bool, lastOccurrence);
    QFETCH(QByteArray, expected);
    QFETCH(bool, prefixOnly);
    const auto& commands = plainUpgrade();
    QVERIFY(!commands.isEmpty());
    int index = -1;
    if (!after.isEmpty()) {
        for (int i = 0; i < commands.size(); ++i) {
            if (commands.at(i).line.startsWith(after)) {
                index = i;
                if (!lastOccurrence)
                    break;
            }
        }
        QVERIFY2(index >= 0, after.constData());
    }
    QVERIFY(index + 1 < commands.size());
    const QByteArray next = commands.at(index + 1).line;
    if (prefixOnly)
        QVERIFY2(next.startsWith(expected), next.constData());
    else
        QCOMPARE(next, expected);
    // Every page is written once, from its 64 chunks: the application region and the parameter page.
    const auto count = [&commands](const char* prefix) {
        return std::count_if(commands.begin(), commands.end(),
                             [prefix](const auto& command) { return command.line.startsWith(prefix); });
    };
    QCOMPARE(count("$P,"), 62);
    QCOMPARE(count("$D,"), kApplicationChunks + kParameterChunks);
}

void tst_DialogBootload::pacingAndRepetitions_data() {
    QTest::addColumn<QByteArray>("loseReplyTo"); // replies to this command are lost ...
    QTest::addColumn<int>("lost");               // ... this many times
    QTest::addColumn<bool>("announceErase");
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to"); // the first command after `from` that starts with this
    QTest::addColumn<int>("ticks");     // ticks between the two
    QTest::addColumn<int>("sent");      // how often `to` is sent in the whole upgrade

    const QByteArray none;
    QTest::newRow("data after an acknowledged erase")
        << none << 0 << true << QByteArray("$G\n") << QByteArray("$D,0,") << 1 << 62;
    QTest::newRow("data after an erase never acknowledged")
        << none << 0 << false << QByteArray("$G\n") << QByteArray("$D,0,") << 5 << 62;
    QTest::newRow("next page four ticks after the page command")
        << none << 0 << true << QByteArray("$P,26000,1000\n") << QByteArray("$D,0,") << 4 << 62;
    QTest::newRow("data chunk repeated once")
        << QByteArray("$D,40,") << 1 << true << QByteArray("$D,40,") << QByteArray("$D,40,") << 4 << 62 + 1;
    QTest::newRow("data chunk repeated twice")
        << QByteArray("$D,40,") << 2 << true << QByteArray("$D,40,") << QByteArray("$D,40,") << 4 << 62 + 2;
    QTest::newRow("page command repeated")
        << QByteArray("$P,30000,") << 1 << true << QByteArray("$P,30000,1000\n")
        << QByteArray("$P,30000,1000\n") << 18 << 2;
    QTest::newRow("CRC command repeated") << QByteArray("$C,") << 1 << true << QByteArray("$C,26000,63000\n")
                                          << QByteArray("$C,26000,63000\n") << 18 << 2;
    QTest::newRow("parameter page command repeated")
        << QByteArray("$P,7E000,") << 1 << true << QByteArray("$P,7E000,1000\n")
        << QByteArray("$P,7E000,1000\n") << 18 << 2;
    QTest::newRow("read-back repeated") << QByteArray("$V,30000") << 3 << true << QByteArray("$V,30000\n")
                                        << QByteArray("$V,30000\n") << 4 << 4;
    QTest::newRow("exit commands four ticks apart")
        << none << 0 << true << QByteArray("$X\n") << QByteArray("$X\n") << 4 << 5;
    QTest::newRow("version request with the fifth exit command")
        << none << 0 << true << QByteArray("$V,7EFC0\n") << QByteArray("$V\n") << 16 << 1;
}

void tst_DialogBootload::pacingAndRepetitions() {
    QFETCH(QByteArray, loseReplyTo);
    QFETCH(int, lost);
    QFETCH(bool, announceErase);
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(int, ticks);
    QFETCH(int, sent);
    QList<SimulatedBootloader::Command> commands;
    if (lost == 0 && announceErase) {
        commands = plainUpgrade();
    } else {
        if (lost > 0)
            m_press->loseRepliesTo.insert(loseReplyTo, lost);
        m_press->announceErase = announceErase;
        start();
        QVERIFY(runToEnd());
        QCOMPARE(m_dialog->stage(), DialogBootload::Finished);
        commands = m_press->commands;
    }
    QVERIFY(!commands.isEmpty());
    const auto count = [&commands](const QByteArray& prefix) {
        return int(std::count_if(commands.begin(), commands.end(),
                                 [&prefix](const auto& command) { return command.line.startsWith(prefix); }));
    };
    int first = -1;
    for (int i = 0; i < commands.size() && first < 0; ++i)
        first = commands.at(i).line.startsWith(from) ? i : -1;
    QVERIFY2(first >= 0, from.constData());
    int next = -1;
    for (int i = first + 1; i < commands.size() && next < 0; ++i)
        next = commands.at(i).line.startsWith(to) ? i : -1;
    QVERIFY2(next >= 0, to.constData());
    QCOMPARE(commands.at(next).tick - commands.at(first).tick, ticks);
    QCOMPARE(count(to), sent);
    if (from == to) {
        // A repetition is the same command, word for word.
        QCOMPARE(commands.at(next).line, commands.at(first).line);
    }
    if (loseReplyTo == "$C,")
        QCOMPARE(logLines().count(QStringLiteral("Calculating CRC...")), 2);
}

void tst_DialogBootload::verifyMismatchRetriedAndBounded_data() {
    QTest::addColumn<QList<int>>("badReadBacks"); // pairs: chunk address, wrong read-backs of it
    QTest::addColumn<int>("stuckAddress");        // a flash byte that keeps its old value, or -1
    QTest::addColumn<int>("wrongAddressChunk");   // read-backs of it name the next chunk, or -1
    QTest::addColumn<int>("verifyFailed");        // "Verify failed" lines
    QTest::addColumn<bool>("succeeds");

    QTest::newRow("one wrong read-back") << QList<int>{0x26040, 1} << -1 << -1 << 1 << true;
    QTest::newRow("three wrong read-backs") << QList<int>{0x26040, 3} << -1 << -1 << 3 << true;
    QTest::newRow("four wrong read-backs") << QList<int>{0x26040, 4} << -1 << -1 << 4 << false;
    QTest::newRow("three in each of two chunks")
        << QList<int>{0x26040, 3, 0x7E000, 3} << -1 << -1 << 6 << true;
    QTest::newRow("flash byte that does not take the image") << QList<int>() << 0x40005 << -1 << 4 << false;
    QTest::newRow("last chunk before the uncompared bytes")
        << QList<int>{0x7EF80, 4} << -1 << -1 << 4 << false;
    QTest::newRow("uncompared last chunk of the parameter page")
        << QList<int>{0x7EFC0, 4} << -1 << -1 << 0 << true;
    QTest::newRow("address of another chunk is no mismatch") << QList<int>() << -1 << 0x26040 << 0 << true;
}

void tst_DialogBootload::verifyMismatchRetriedAndBounded() {
    QFETCH(QList<int>, badReadBacks);
    QFETCH(int, stuckAddress);
    QFETCH(int, wrongAddressChunk);
    QFETCH(int, verifyFailed);
    QFETCH(bool, succeeds);
    for (int i = 0; i + 1 < badReadBacks.size(); i += 2)
        m_press->badReadBacks.insert(badReadBacks.at(i), badReadBacks.at(i + 1));
    if (stuckAddress >= 0)
        m_press->stuckBytes.insert(stuckAddress, quint8(m_reader->image().at(stuckAddress) ^ 0x10));
    if (wrongAddressChunk >= 0)
        m_press->wrongAddressReadBacks.insert(wrongAddressChunk, 2);
    start();
    QVERIFY(runToEnd());

    QCOMPARE(logLines().count(QStringLiteral("Verify failed")), verifyFailed);
    if (wrongAddressChunk >= 0) {
        // Ignored, and asked for again: once and twice more.
        const QByteArray request = "$V," + QByteArray::number(wrongAddressChunk, 16).toUpper() + '\n';
        QCOMPARE(countCommands(request), 3);
    }
    if (succeeds) {
        QCOMPARE(m_dialog->stage(), DialogBootload::Finished);
        QCOMPARE(m_finished, QList<int>{QDialog::Accepted});
        QCOMPARE(countCommands("$X"), 5);
        return;
    }
    QCOMPARE(m_dialog->stage(), DialogBootload::Failed);
    QCOMPARE(logLines().last(), QStringLiteral("Firmware upgrade failed."));
    // The chunk was asked for once and retried three times; then nothing more is sent, and never the
    // exit command that would start a damaged application.
    const int failedChunk = stuckAddress >= 0 ? stuckAddress & ~63 : badReadBacks.at(0);
    const QByteArray request = "$V," + QByteArray::number(failedChunk, 16).toUpper() + '\n';
    QCOMPARE(countCommands(request), 4);
    QCOMPARE(m_press->commands.last().line, request);
    const int written = m_press->commands.size();
    QVERIFY(!run([] { return false; }, m_ticks + 50));
    QCOMPARE(m_press->commands.size(), written);
    QCOMPARE(countCommands("$X"), 0);
    QVERIFY(m_finished.isEmpty());
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

void tst_DialogBootload::overlongRepliesAreCut_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("next"); // the command sent at once in answer, empty for none
    QTest::addColumn<int>("verifyFailed");

    const QByteArray image = testImage();
    QByteArray fields;
    QByteArray wrong;
    QByteArray padded; // each byte written in 15 digits: the reply runs past the line buffer
    for (int k = 0; k < 64; ++k) {
        const auto byte = quint8(image.at(0x30000 + k));
        fields += ',' + QByteArray::number(byte, 16).toUpper();
        wrong += ',' + QByteArray::number(quint8(byte ^ 1), 16).toUpper();
        padded += ',' + QByteArray::number(byte, 16).toUpper().rightJustified(15, '0');
    }
    QTest::newRow("matching reply") << "$VACK,30000" + fields << QByteArray("$V,30040\n") << 0;
    QTest::newRow("matching reply with a long tail")
        << "$VACK,30000" + fields + ',' + QByteArray(3000, '7') << QByteArray("$V,30040\n") << 0;
    QTest::newRow("mismatching reply with a long tail")
        << "$VACK,30000" + wrong + ',' + QByteArray(3000, '7') << QByteArray("$V,30000\n") << 1;
    QTest::newRow("bytes beyond the line buffer") << "$VACK,30000" + padded << QByteArray() << 0;
    QTest::newRow("address beyond the line buffer")
        << "$VACK," + QByteArray(1000, '0') + "30000" + fields << QByteArray() << 0;
    QTest::newRow("overlong token") << "$VACK" + QByteArray(3000, 'K') + fields << QByteArray() << 0;
    QTest::newRow("long line without fields") << QByteArray(3000, 'V').prepend('$') << QByteArray() << 0;
    QTest::newRow("commas only") << "$VACK" + QByteArray(3000, ',') << QByteArray() << 0;
}

void tst_DialogBootload::overlongRepliesAreCut() {
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, next);
    QFETCH(int, verifyFailed);
    // The press goes quiet at the read-back of 0x30000; the test answers in its place.
    m_press->loseRepliesTo.insert("$V,30000", 1000);
    start();
    QVERIFY(runUntilCommand("$V,30000"));
    const int written = m_press->commands.size();
    m_press->queue(reply);
    QVERIFY(m_press->deliver());

    QCOMPARE(logLines().count(QStringLiteral("Verify failed")), verifyFailed);
    QCOMPARE(m_dialog->stage(), DialogBootload::Verifying);
    if (!next.isEmpty()) {
        QCOMPARE(m_press->commands.size(), written + 1);
        QCOMPARE(m_press->commands.last().line, next);
        return;
    }
    // Ignored: the same read-back is asked for again four ticks later.
    QCOMPARE(m_press->commands.size(), written);
    const int ticks = m_ticks;
    QVERIFY(runUntilCommand("$V,30000", 2));
    QCOMPARE(m_ticks - ticks, 4);
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
