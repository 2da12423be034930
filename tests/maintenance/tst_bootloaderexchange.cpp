#include "support/MemoryFirmwareReader.h"
#include "support/SimulatedBootloader.h"
#include "support/UpgradeTestData.h"

#include "maintenance/BootloaderExchange.h"
#include "maintenance/FirmwareReaderFile.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <QtTest>

using namespace UpgradeTestData;

// The exchange on its own, wired straight to a simulated press: its commands are written to the
// press, the press's lines are handed to receive(), and the test owns the clock.
class tst_BootloaderExchange : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

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
    void overlongRepliesAreCut_data();
    void overlongRepliesAreCut();
    void endedFromOutside_data();
    void endedFromOutside();

private:
    // An exchange on the simulated press (or on `reader` when given), which is then asked to enter
    // its bootloader, as the exchange's owner does.
    void start(IFirmwareReader* reader = nullptr);
    // Delivers the press's replies as they come and ticks whenever none is waiting, until `until`
    // holds; false when it still does not after maxTicks ticks in all.
    bool run(const std::function<bool()>& until, int maxTicks = 4000);
    bool runToEnd() {
        return run([this] {
            return m_exchange->stage() == BootloaderExchange::Finished ||
                   m_exchange->stage() == BootloaderExchange::Failed;
        });
    }
    bool runUntilCommand(const QByteArray& prefix, int occurrence = 1);
    int countCommands(const QByteArray& prefix) const;
    // The commands of an upgrade on a press that answers everything, run once for all tests.
    const QList<SimulatedBootloader::Command>& plainUpgrade();

    std::unique_ptr<SimulatedBootloader> m_press;
    std::unique_ptr<MemoryFirmwareReader> m_reader;
    std::unique_ptr<BootloaderExchange> m_exchange;
    QStringList m_log;
    QList<BootloaderExchange::Stage> m_stages;
    QList<int> m_programValues;
    QList<int> m_verifyValues;
    int m_ticks = 0;
    int m_sent = 0; // commands the exchange has sent
};

void tst_BootloaderExchange::initTestCase() {
    qInstallMessageHandler(quietMessages);
}

void tst_BootloaderExchange::init() {
    m_reader = std::make_unique<MemoryFirmwareReader>(testImage());
    m_press = std::make_unique<SimulatedBootloader>(oldFirmware(m_reader->image()));
    m_log.clear();
    m_stages.clear();
    m_programValues.clear();
    m_verifyValues.clear();
    m_ticks = 0;
    m_sent = 0;
}

void tst_BootloaderExchange::cleanup() {
    m_exchange.reset();
    m_press.reset();
}

void tst_BootloaderExchange::start(IFirmwareReader* reader) {
    m_exchange = std::make_unique<BootloaderExchange>(reader ? reader : m_reader.get());
    BootloaderExchange* exchange = m_exchange.get();
    SimulatedBootloader* press = m_press.get();
    // Counted here as well: a closed press takes no more commands.
    connect(exchange, &BootloaderExchange::commandReady, press, [this, press](const QByteArray& command) {
        ++m_sent;
        press->write(command);
    });
    connect(press, &IPort::readyRead, exchange, [press, exchange] {
        for (const QByteArray& line : press->read().split('\n')) {
            if (!line.isEmpty())
                exchange->receive(QString::fromUtf8(line));
        }
    });
    connect(press, &IPort::closed, exchange, &BootloaderExchange::linkClosed);
    connect(exchange, &BootloaderExchange::logged, this, [this](const QString& text) { m_log.append(text); });
    connect(exchange, &BootloaderExchange::errorLogged, this,
            [this](const QString& text) { m_log.append(text); });
    connect(exchange, &BootloaderExchange::stageChanged, this,
            [this](BootloaderExchange::Stage stage) { m_stages.append(stage); });
    connect(exchange, &BootloaderExchange::programProgressChanged, this,
            [this](int value) { m_programValues.append(value); });
    connect(exchange, &BootloaderExchange::verifyProgressChanged, this,
            [this](int value) { m_verifyValues.append(value); });
    if (m_exchange->start(true))
        m_press->write("$x\n");
}

bool tst_BootloaderExchange::run(const std::function<bool()>& until, int maxTicks) {
    while (!until()) {
        if (m_press->deliver())
            continue;
        if (m_ticks >= maxTicks)
            return false;
        ++m_ticks;
        m_press->tick = m_ticks;
        m_exchange->tick();
    }
    return true;
}

bool tst_BootloaderExchange::runUntilCommand(const QByteArray& prefix, int occurrence) {
    int seen = 0;
    qsizetype scanned = 0;
    return run([&] {
        for (; scanned < m_press->commands.size(); ++scanned)
            seen += m_press->commands.at(scanned).line.startsWith(prefix) ? 1 : 0;
        return seen >= occurrence;
    });
}

int tst_BootloaderExchange::countCommands(const QByteArray& prefix) const {
    int count = 0;
    for (const auto& command : m_press->commands)
        count += command.line.startsWith(prefix) ? 1 : 0;
    return count;
}

const QList<SimulatedBootloader::Command>& tst_BootloaderExchange::plainUpgrade() {
    static QList<SimulatedBootloader::Command> commands;
    if (commands.isEmpty()) {
        start();
        if (runToEnd() && m_exchange->stage() == BootloaderExchange::Finished && m_press->malformed.isEmpty())
            commands = m_press->commands;
    }
    return commands;
}

void tst_BootloaderExchange::progressValue_data() {
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

void tst_BootloaderExchange::progressValue() {
    QFETCH(int, address);
    QFETCH(int, value);
    QCOMPARE(BootloaderExchange::progressValue(address), value);
}

void tst_BootloaderExchange::wholeUpgrade_data() {
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

void tst_BootloaderExchange::wholeUpgrade() {
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
        QCOMPARE(m_exchange->stage(), BootloaderExchange::WaitingForBootloader);
        m_press->queue("$GACK");
        expectedLog.replace(0, QStringLiteral("Captured bootloader"));
        expectedLog.removeAt(1);
    }
    QVERIFY(runToEnd());

    QCOMPARE(m_exchange->stage(), BootloaderExchange::Finished);
    QCOMPARE(m_stages, (QList<BootloaderExchange::Stage>{
                           BootloaderExchange::ProgrammingApplication,
                           BootloaderExchange::ProgrammingParameters, BootloaderExchange::Verifying,
                           BootloaderExchange::StartingApplication, BootloaderExchange::Finished}));
    QCOMPARE(m_log, expectedLog);
    QCOMPARE(m_press->malformed, QList<QByteArray>());
    QVERIFY(m_press->flash().mid(0x26000, 0x3D000) == image.mid(0x26000, 0x3D000));
    QVERIFY(m_press->flash().mid(0x7E000, 0x1000) == image.mid(0x7E000, 0x1000));
    // The CRC is asked for only once the whole application region is programmed.
    QVERIFY(m_press->flashAtCrc == image.mid(0x26000, 0x3D000));
    QCOMPARE(m_programValues, everyChunk());
    QCOMPARE(m_verifyValues, everyChunk());
    QCOMPARE(m_exchange->programProgress(), BootloaderExchange::kProgressMaximum);
    QCOMPARE(m_exchange->verifyProgress(), BootloaderExchange::kProgressMaximum);
    QCOMPARE(countCommands("$V,"), kApplicationChunks + kParameterChunks + (lostReplies.isEmpty() ? 0 : 2));
    // The upgrade ends with five exit commands; nothing follows them.
    const auto& commands = m_press->commands;
    QCOMPARE(countCommands("$X"), 5);
    for (int i = 1; i <= 5; ++i)
        QCOMPARE(commands.at(commands.size() - i).line, QByteArray("$X\n"));
    QVERIFY(!m_press->inBootloader());
    const int written = commands.size();
    QVERIFY(!run([] { return false; }, m_ticks + 40));
    QCOMPARE(m_press->commands.size(), written);
    QVERIFY(m_exchange->failureReason().isEmpty());
}

void tst_BootloaderExchange::commandLines_data() {
    QTest::addColumn<QByteArray>("after"); // the command (prefix) the expected one follows
    QTest::addColumn<bool>("lastOccurrence");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("prefixOnly");
    QByteArray firstChunk = "$D,0,A,FF,0,10";
    for (int k = 4; k < 64; ++k)
        firstChunk += ",1";
    firstChunk += '\n';
    // Nothing is sent before the owner asks the press to enter its bootloader.
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

void tst_BootloaderExchange::commandLines() {
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

void tst_BootloaderExchange::pacingAndRepetitions_data() {
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
    QTest::newRow("page command at once after the page's last chunk")
        << none << 0 << true << QByteArray("$D,FC0,") << QByteArray("$P,26000,") << 0 << 1;
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
}

void tst_BootloaderExchange::pacingAndRepetitions() {
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
        QCOMPARE(m_exchange->stage(), BootloaderExchange::Finished);
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
        QCOMPARE(m_log.count(QStringLiteral("Calculating CRC...")), 2);
}

void tst_BootloaderExchange::verifyMismatchRetriedAndBounded_data() {
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

void tst_BootloaderExchange::verifyMismatchRetriedAndBounded() {
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

    QCOMPARE(m_log.count(QStringLiteral("Verify failed")), verifyFailed);
    if (wrongAddressChunk >= 0) {
        // Ignored, and asked for again: once and twice more.
        const QByteArray request = "$V," + QByteArray::number(wrongAddressChunk, 16).toUpper() + '\n';
        QCOMPARE(countCommands(request), 3);
    }
    if (succeeds) {
        QCOMPARE(m_exchange->stage(), BootloaderExchange::Finished);
        QCOMPARE(countCommands("$X"), 5);
        return;
    }
    QCOMPARE(m_exchange->stage(), BootloaderExchange::Failed);
    QCOMPARE(m_log.last(), QStringLiteral("Firmware upgrade failed."));
    // The chunk was asked for once and retried three times; then nothing more is sent, and never the
    // exit command that would start a damaged application.
    const int failedChunk = stuckAddress >= 0 ? stuckAddress & ~63 : badReadBacks.at(0);
    const QByteArray request = "$V," + QByteArray::number(failedChunk, 16).toUpper() + '\n';
    QCOMPARE(countCommands(request), 4);
    QCOMPARE(m_press->commands.last().line, request);
    QCOMPARE(m_exchange->failureReason(),
             QStringLiteral("The press's memory does not match the firmware image at %1.")
                 .arg(QString::number(failedChunk, 16).toUpper()));
    const int written = m_press->commands.size();
    QVERIFY(!run([] { return false; }, m_ticks + 50));
    QCOMPARE(m_press->commands.size(), written);
    QCOMPARE(countCommands("$X"), 0);
}

void tst_BootloaderExchange::overlongRepliesAreCut_data() {
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

void tst_BootloaderExchange::overlongRepliesAreCut() {
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

    QCOMPARE(m_log.count(QStringLiteral("Verify failed")), verifyFailed);
    QCOMPARE(m_exchange->stage(), BootloaderExchange::Verifying);
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

void tst_BootloaderExchange::endedFromOutside_data() {
    QTest::addColumn<QByteArray>("until"); // run until this command has been written
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<bool>("byUser"); // else the link closes
    QTest::addColumn<QString>("reason");
    const QString lost = QStringLiteral("Connection to the press lost.");
    const QString aborted = QStringLiteral("Firmware upgrade aborted.");
    QTest::newRow("link, waiting for the bootloader") << QByteArray("$x") << 1 << false << lost;
    QTest::newRow("user, waiting for the bootloader") << QByteArray("$x") << 1 << true << aborted;
    QTest::newRow("link, programming") << QByteArray("$D,40,") << 1 << false << lost;
    QTest::newRow("user, programming the parameters") << QByteArray("$C,") << 1 << true << aborted;
    QTest::newRow("link, verifying") << QByteArray("$V,30000") << 1 << false << lost;
    QTest::newRow("user, starting the application") << QByteArray("$X") << 4 << true << aborted;
    QTest::newRow("link, finished") << QByteArray("$X") << 5 << false << QString();
    QTest::newRow("user, finished") << QByteArray("$X") << 5 << true << QString();
}

void tst_BootloaderExchange::endedFromOutside() {
    QFETCH(QByteArray, until);
    QFETCH(int, occurrence);
    QFETCH(bool, byUser);
    QFETCH(QString, reason);
    start();
    QVERIFY(runUntilCommand(until, occurrence));
    const BootloaderExchange::Stage before = m_exchange->stage();
    const qsizetype logged = m_log.size();
    if (byUser)
        m_exchange->abandon();
    else
        m_press->close();
    const int sent = m_sent;

    if (reason.isEmpty()) {
        // Everything was sent: the upgrade stays completed.
        QCOMPARE(before, BootloaderExchange::Finished);
        QCOMPARE(m_exchange->stage(), BootloaderExchange::Finished);
        QCOMPARE(m_log.size(), logged);
    } else {
        QCOMPARE(m_exchange->stage(), BootloaderExchange::Failed);
        QCOMPARE(m_stages.last(), BootloaderExchange::Failed);
        QCOMPARE(m_exchange->failureReason(), reason);
        QCOMPARE(m_log.mid(logged), (QStringList{reason, "Firmware upgrade failed."}));
    }
    // Over either way: the other ending changes nothing, and whatever arrives sends nothing more.
    if (byUser)
        m_exchange->linkClosed();
    else
        m_exchange->abandon();
    for (const char* line : {"$Bootloader", "$GACK", "$EACK", "$DACK", "$PACK", "$CACK", "$VACK,30000"})
        m_exchange->receive(QString::fromLatin1(line));
    for (int i = 0; i < 60; ++i)
        m_exchange->tick();
    QCOMPARE(m_sent, sent);
    QCOMPARE(m_exchange->failureReason(), reason);
    QCOMPARE(m_log.size(), logged + (reason.isEmpty() ? 0 : 2));
}

QTEST_MAIN(tst_BootloaderExchange)
#include "tst_bootloaderexchange.moc"
