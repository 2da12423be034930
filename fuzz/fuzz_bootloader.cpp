// Feeds arbitrary bootloader reply lines to the firmware upgrade: each line is read by
// BootloaderReply (the exchange's reply parsing) and checked against a plain reference of it; when
// bit 6 of byte 0 is set, the lines also go to a BootloaderExchange that a well-behaved press has
// brought to one of eight points of an upgrade, from waiting for the bootloader to the read-back and
// the exit commands, with ticks in between, optionally that press answering on, and the link closing
// or the user giving up where the input says. The exchange is checked at every command, progress
// value and stage it reports: what it sends and when, that its stage only moves forward (Finished and
// Failed being final), and that its progress values only grow within [0, kProgressMaximum].
//
// Input layout: byte 0 picks the starting point (bits 0-1, plus 4 when bit 5 is set), the ticks after
// each line (bits 2-3), whether the well-behaved press answers the exchange's commands between the
// lines (bit 4) and whether the exchange runs at all (bit 6); the rest is the received text, fed line
// by line, where a line of the single byte 0x04 closes the link and one of 0x18 abandons the upgrade.
#include "maintenance/BootloaderExchange.h"
#include "maintenance/BootloaderReply.h"
#include "maintenance/IFirmwareReader.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QVarLengthArray>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace {

// Aborts with the line of the failed check, so a finding says which rule it broke.
void checkAt(bool condition, int line) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_bootloader.cpp:%d: check failed\n", line);
        std::abort();
    }
}
#define check(condition) checkAt((condition), __LINE__)

constexpr int kImageSize = 0x80000;
constexpr char kLinkClosed[] = "\x04";
constexpr char kAbandoned[] = "\x18";

// Every byte of the image is 0 but one per chunk, which is the chunk's number: a matching read-back
// is easy to write by hand and still differs from chunk to chunk.
class FuzzReader : public IFirmwareReader {
public:
    QByteArray read(int address, int size) override {
        static const QByteArray image = [] {
            QByteArray bytes(kImageSize, '\0');
            for (int at = 7; at < kImageSize; at += 64)
                bytes[at] = char((at / 64) & 0xFF);
            return bytes;
        }();
        if (address < 0 || size <= 0 || address >= kImageSize)
            return QByteArray();
        // A view of the static image: the exchange reads 250 KiB at once to check the image.
        return QByteArray::fromRawData(image.constData() + address, std::min(size, kImageSize - address));
    }
};

bool isHex(QByteArrayView field) {
    if (field.isEmpty() || field.size() > 8 || (field.size() > 1 && field.front() == '0'))
        return false;
    for (const char c : field) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

quint32 hexValue(QByteArrayView field) {
    return field.toByteArray().toUInt(nullptr, 16);
}

// Every line the exchange may send: the bootloader commands with canonical hexadecimal fields. Read
// through views: a fast-forward to the read-back checks some eight thousand commands.
void checkCommand(const QByteArray& command) {
    check(command.endsWith('\n'));
    const QByteArrayView line = QByteArrayView(command).chopped(1);
    check(!line.contains('\n'));
    if (line == "$G" || line == "$X")
        return;
    QVarLengthArray<QByteArrayView, 72> fields;
    for (qsizetype begin = 0, comma = 0; comma >= 0; begin = comma + 1) {
        comma = line.indexOf(',', begin);
        fields.append(line.sliced(begin, (comma < 0 ? line.size() : comma) - begin));
    }
    const QByteArrayView keyword = fields.front();
    for (qsizetype i = 1; i < fields.size(); ++i)
        check(isHex(fields.at(i)));
    if (keyword == "$D") {
        check(fields.size() == 66 && hexValue(fields.at(1)) % 64 == 0 && hexValue(fields.at(1)) < 0x1000);
        for (qsizetype i = 2; i < fields.size(); ++i)
            check(fields.at(i).size() <= 2); // canonical, so at most 0xFF
    } else if (keyword == "$P") {
        check(fields.size() == 3 && fields.at(2) == "1000" && hexValue(fields.at(1)) % 0x1000 == 0);
    } else if (keyword == "$C") {
        check(line == "$C,26000,63000");
    } else if (keyword == "$V") {
        check(fields.size() == 2 && hexValue(fields.at(1)) % 64 == 0);
        const quint32 address = hexValue(fields.at(1));
        check((address >= 0x26000 && address < 0x63000) || (address >= 0x7E000 && address < 0x7F000));
    } else {
        check(false);
    }
}

// The reference reading of a reply line, written for clarity with Qt's containers.
quint32 lenientHex(const QByteArray& field) {
    quint32 value = 0;
    for (const char c : field) {
        quint32 digit = 0;
        if (c >= '0' && c <= '9')
            digit = quint32(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = quint32(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            digit = quint32(c - 'a' + 10);
        value = value * 16 + digit;
    }
    return value;
}

void checkReply(const QString& text) {
    const BootloaderReply reply(text);
    const QByteArray line = text.toUtf8().left(1000);
    check(reply.line() == line);
    qsizetype tokenEnd = 0;
    while (tokenEnd < line.size() && tokenEnd < 63 && !QByteArray(",*\r\n").contains(line.at(tokenEnd)))
        ++tokenEnd;
    check(reply.token() == line.left(tokenEnd));
    QByteArray body = line;
    const qsizetype lineEnd = std::min(body.indexOf('\n') < 0 ? body.size() : body.indexOf('\n'),
                                       body.indexOf('\r') < 0 ? body.size() : body.indexOf('\r'));
    body.truncate(lineEnd);
    const bool readBack = reply.token() == "$VACK" && body.count(',') > 64;
    check(reply.isReadBack() == readBack);
    if (!readBack)
        return;
    const QList<QByteArray> fields = body.replace('*', ',').split(',');
    check(reply.address() == lenientHex(fields.at(1)));
    for (int k = 0; k < 64; ++k)
        check(reply.bytes()[std::size_t(k)] == lenientHex(fields.at(k + 2)));
}

// What a well-behaved bootloader answers to one command; a read-back of the image matches it.
void wellBehavedReplies(const QByteArray& command, QList<QByteArray>& replies) {
    if (command == "$x\n") {
        replies.append("$Bootloader");
    } else if (command == "$G\n") {
        replies.append("$GACK");
        replies.append("$EACK");
    } else if (command.startsWith("$D,")) {
        replies.append("$DACK");
    } else if (command.startsWith("$P,")) {
        replies.append("$PACK");
        replies.append("$EACK");
    } else if (command.startsWith("$C,")) {
        replies.append("$CACK");
    } else if (command.startsWith("$V,")) {
        // Every byte 0 but the eighth, the chunk's number (FuzzReader's image).
        static const QByteArray kLastZeros = QByteArray(",0").repeated(56);
        const QByteArrayView address = QByteArrayView(command).sliced(3).chopped(1);
        QByteArray reply;
        reply.reserve(16 + 64 * 2 + 2);
        reply.append("$VACK,").append(address).append(",0,0,0,0,0,0,0,");
        reply.append(QByteArray::number((hexValue(address) / 64) & 0xFF, 16).toUpper()).append(kLastZeros);
        replies.append(reply);
    }
}

// The command that marks each starting point: the press stops answering right after it was sent.
struct StartingPoint {
    const char* command;
    BootloaderExchange::Stage stage;
};
constexpr StartingPoint kStartingPoints[] = {
    {"$x\n", BootloaderExchange::WaitingForBootloader},
    {"$G\n", BootloaderExchange::ProgrammingApplication}, // waiting for the first erase
    {"$D,80,", BootloaderExchange::ProgrammingApplication},
    {"$P,26000,1000\n", BootloaderExchange::ProgrammingApplication}, // first page full
    {"$C,", BootloaderExchange::ProgrammingParameters},              // the CRC requested
    {"$V,26000\n", BootloaderExchange::Verifying},                   // the first read-back
    {"$V,62FC0\n", BootloaderExchange::Verifying},                   // the application region's last
    {"$X\n", BootloaderExchange::StartingApplication},               // the first exit command
};

// An exchange with everything it reports checked as it happens.
struct Run {
    FuzzReader reader;
    BootloaderExchange exchange{&reader};
    // Sent and not answered by the well-behaved press yet; "$x" first, as the exchange's owner asks
    // the press to enter its bootloader.
    QList<QByteArray> unanswered{"$x\n"};
    const char* awaited = nullptr; // the command a fast-forward runs to
    bool seen = false;             // whether it has been sent
    // Whether each command's text is checked; a fast-forward sends the same commands every time.
    bool checkingText = true;
    int exitCommands = 0;
    bool over = false; // finished, failed, or told that the link closed or the user gave up
    BootloaderExchange::Stage stage = BootloaderExchange::WaitingForBootloader;
    int programValue = 0;
    int verifyValue = 0;

    Run() {
        QObject::connect(&exchange, &BootloaderExchange::commandReady, &exchange,
                         [this](const QByteArray& command) { onCommand(command); });
        QObject::connect(&exchange, &BootloaderExchange::stageChanged, &exchange,
                         [this](BootloaderExchange::Stage now) { onStage(now); });
        QObject::connect(&exchange, &BootloaderExchange::programProgressChanged, &exchange,
                         [this](int value) { onProgress(programValue, value, exchange.programProgress()); });
        QObject::connect(&exchange, &BootloaderExchange::verifyProgressChanged, &exchange,
                         [this](int value) { onProgress(verifyValue, value, exchange.verifyProgress()); });
        check(exchange.start(true));
    }

    void onCommand(const QByteArray& command) {
        check(!over);
        if (checkingText)
            checkCommand(command);
        // The CRC covers a fully programmed application; the press is restarted only once every
        // compared chunk has read back right, and five times at most.
        if (command.startsWith("$C,"))
            check(exchange.stage() == BootloaderExchange::ProgrammingParameters &&
                  exchange.programProgress() == BootloaderExchange::kProgressMaximum);
        if (command == "$X\n") {
            check(exchange.stage() == BootloaderExchange::StartingApplication &&
                  exchange.verifyProgress() == BootloaderExchange::kProgressMaximum);
            check(++exitCommands <= BootloaderExchange::kExitCommands);
        }
        seen = seen || (awaited && command.startsWith(awaited));
        unanswered.append(command);
    }

    void onStage(BootloaderExchange::Stage now) {
        check(now > stage && now == exchange.stage());
        check(stage != BootloaderExchange::Finished);
        check(exchange.failureReason().isEmpty() == (now != BootloaderExchange::Failed));
        stage = now;
        over = over || now == BootloaderExchange::Finished || now == BootloaderExchange::Failed;
    }

    static void onProgress(int& last, int value, int reported) {
        check(value > last && value <= BootloaderExchange::kProgressMaximum && value == reported);
        last = value;
    }

    void receive(const QByteArray& line) {
        exchange.receive(QString::fromUtf8(line));
        check(exchange.stage() == stage);
    }

    // Answers the commands not answered yet, as a well-behaved press would.
    bool answer() {
        QList<QByteArray> replies;
        for (const QByteArray& command : std::as_const(unanswered))
            wellBehavedReplies(command, replies);
        unanswered.clear();
        for (const QByteArray& reply : replies)
            receive(reply);
        return !replies.isEmpty();
    }

    // The press answers until the point's command has been sent, and no more. The commands on the
    // way are the same for every input: their text is checked the first time only.
    void fastForward(const StartingPoint& point, bool firstTime) {
        checkingText = firstTime;
        awaited = point.command;
        seen = unanswered.first().startsWith(awaited);
        for (int ticks = 0; !seen && ticks < 20000;) {
            if (!answer()) {
                exchange.tick();
                ++ticks;
            }
        }
        check(seen && exchange.stage() == point.stage);
        unanswered.clear();
        checkingText = true;
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t control = data[0];
    const QList<QByteArray> lines =
        QByteArray(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1)).split('\n');
    for (const QByteArray& line : lines)
        checkReply(QString::fromUtf8(line));
    if ((control & 0x40) == 0)
        return 0;

    const int pointIndex = (control & 3) | ((control & 0x20) ? 4 : 0);
    static bool reachedBefore[std::size(kStartingPoints)] = {};
    const int ticksPerLine = (control >> 2) & 3;
    const bool pressAnswers = (control & 0x10) != 0;
    Run run;
    run.fastForward(kStartingPoints[pointIndex], !reachedBefore[pointIndex]);
    reachedBefore[pointIndex] = true;
    for (const QByteArray& line : lines) {
        if (line == kLinkClosed || line == kAbandoned) {
            const bool finished = run.stage == BootloaderExchange::Finished;
            if (line == kLinkClosed)
                run.exchange.linkClosed();
            else
                run.exchange.abandon();
            run.over = true;
            // An upgrade that had completed stays so; any other ends as failed.
            check(run.stage == (finished ? BootloaderExchange::Finished : BootloaderExchange::Failed));
        } else {
            run.receive(line);
        }
        for (int i = 0; i < ticksPerLine; ++i) {
            run.exchange.tick();
            check(run.exchange.stage() == run.stage);
        }
        if (pressAnswers)
            run.answer();
    }
    if (run.over) {
        // Nothing more is sent once it is over, whatever arrives.
        for (const char* reply : {"$Bootloader", "$GACK", "$EACK", "$DACK", "$PACK", "$CACK"})
            run.receive(reply);
        for (int i = 0; i < 20; ++i)
            run.exchange.tick();
    }
    return 0;
}
