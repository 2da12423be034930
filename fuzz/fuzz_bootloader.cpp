// Feeds arbitrary bootloader reply lines to the firmware upgrade: each line is read by
// BootloaderReply (the dialog's reply parsing) and checked against a plain reference of it; when
// bit 6 of byte 0 is set, the lines also go through the line protocol to a live upgrade dialog,
// from one of the early points of an upgrade, with ticks in between and optionally a press that
// keeps answering, and the dialog's exchange is checked: what it writes, its stage and its bars.
// (The read-back stage lies some eight thousand exchanges into an upgrade, far too many to replay
// for every input; there the dialog acts on exactly what BootloaderReply reads, and the tests drive
// it with a simulated bootloader.)
//
// Input layout: byte 0 picks the starting point (bits 0-1), the ticks after each line (bits 2-3),
// whether a well-behaved press answers the dialog's commands between the lines (bit 4) and whether
// the dialog runs at all (bit 6); the rest is the received text, fed line by line.
#include "dialogs/DialogBootload.h"
#include "link/IPort.h"
#include "link/Protocol.h"
#include "maintenance/BootloaderReply.h"
#include "maintenance/IFirmwareReader.h"

#include <QApplication>
#include <QByteArray>
#include <QList>
#include <QProgressBar>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

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
        // A view of the static image: the dialog reads 250 KiB at once to check the image.
        return QByteArray::fromRawData(image.constData() + address, std::min(size, kImageSize - address));
    }
};

// Records what the dialog writes; replies are queued by the harness.
class FuzzPort : public IPort {
public:
    using IPort::IPort;
    qint64 write(const QByteArray& data) override {
        written.append(data);
        return data.size();
    }
    QByteArray read() override { return std::exchange(m_input, QByteArray()); }
    bool isOpen() const override { return true; }
    void close() override { emit closed(); }
    void feed(const QByteArray& bytes) {
        m_input += bytes;
        emit readyRead();
    }
    QList<QByteArray> written;

private:
    QByteArray m_input;
};

bool isHex(const QByteArray& field) {
    if (field.isEmpty() || field.size() > 8 || (field.size() > 1 && field.front() == '0'))
        return false;
    for (const char c : field) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

quint32 hexValue(const QByteArray& field) {
    return field.toUInt(nullptr, 16);
}

// Every line the dialog may write: the bootloader commands with canonical hexadecimal fields, and
// the two application commands of the protocol.
void checkCommand(const QByteArray& command) {
    check(command.endsWith('\n'));
    const QByteArray line = command.chopped(1);
    check(!line.contains('\n'));
    if (line == "$x" || line == "$G" || line == "$X" || line == "$V")
        return;
    const QList<QByteArray> fields = line.split(',');
    const QByteArray& keyword = fields.front();
    for (qsizetype i = 1; i < fields.size(); ++i)
        check(isHex(fields.at(i)));
    if (keyword == "$D") {
        check(fields.size() == 66 && hexValue(fields.at(1)) % 64 == 0 && hexValue(fields.at(1)) < 0x1000);
        for (qsizetype i = 2; i < fields.size(); ++i)
            check(hexValue(fields.at(i)) <= 0xFF);
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

// The press a well-behaved bootloader would be: answers what the dialog wrote since the last call.
QList<QByteArray> answers(const QList<QByteArray>& commands, FuzzReader& reader) {
    QList<QByteArray> replies;
    for (const QByteArray& command : commands) {
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
            const quint32 address = hexValue(command.mid(3).chopped(1));
            QByteArray reply = "$VACK," + QByteArray::number(address, 16).toUpper();
            for (const char byte : reader.read(int(address), 64))
                reply += ',' + QByteArray::number(quint8(byte), 16).toUpper();
            replies.append(reply);
        }
    }
    return replies;
}

// The command that marks each starting point: the run is stopped right after it was written.
struct StartingPoint {
    const char* command;
    int occurrence;
};
constexpr StartingPoint kStartingPoints[] = {
    {"$x\n", 1},            // waiting for the bootloader
    {"$G\n", 1},            // programming, waiting for the first erase
    {"$D,80,", 1},          // programming the first page
    {"$P,26000,1000\n", 1}, // first page full
};

struct Run {
    Protocol protocol;
    FuzzPort* port = new FuzzPort;
    FuzzReader reader;
    std::unique_ptr<DialogBootload> dialog;
    qsizetype answered = 0; // commands the well-behaved press has answered

    Run() {
        protocol.setPort(port);
        dialog = std::make_unique<DialogBootload>(&reader, &protocol, nullptr, nullptr,
                                                  DialogBootload::Ticks::Manual);
    }

    int count(const char* prefix) const {
        int n = 0;
        for (const QByteArray& command : port->written)
            n += command.startsWith(prefix) ? 1 : 0;
        return n;
    }

    // Answers the commands not answered yet, as a well-behaved press would.
    bool answer() {
        const QList<QByteArray> commands = port->written.mid(answered);
        answered = port->written.size();
        const QList<QByteArray> replies = answers(commands, reader);
        for (const QByteArray& reply : replies)
            port->feed(reply + '\n');
        return !replies.isEmpty();
    }

    void fastForward(const StartingPoint& point) {
        int seen = 0;
        qsizetype scanned = 0;
        const auto reached = [&] {
            for (; scanned < port->written.size(); ++scanned)
                seen += port->written.at(scanned).startsWith(point.command) ? 1 : 0;
            return seen >= point.occurrence;
        };
        for (int ticks = 0; !reached() && ticks < 2000;) {
            if (!answer()) {
                dialog->tick();
                ++ticks;
            }
        }
        check(reached());
        answered = port->written.size();
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    new QApplication(*argc, *argv);
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

    const StartingPoint& point = kStartingPoints[control & 3];
    const int ticksPerLine = (control >> 2) & 3;
    const bool pressAnswers = (control & 0x10) != 0;
    Run run;
    run.fastForward(point);
    const qsizetype fastForwarded = run.port->written.size();
    auto* load = run.dialog->findChild<QProgressBar*>(QStringLiteral("progressBarLoad"));
    auto* verify = run.dialog->findChild<QProgressBar*>(QStringLiteral("progressBarVerify"));
    int stage = run.dialog->stage();
    int loadValue = load->value();
    int verifyValue = verify->value();
    for (const QByteArray& line : lines) {
        run.port->feed(line + '\n');
        for (int i = 0; i < ticksPerLine; ++i)
            run.dialog->tick();
        if (pressAnswers)
            run.answer();

        // The stage only moves forward, or to Failed, which is final; the bars never step back.
        const int now = run.dialog->stage();
        check(now >= stage);
        check(stage != DialogBootload::Failed || now == DialogBootload::Failed);
        check(load->value() >= loadValue && verify->value() >= verifyValue);
        check(load->value() <= 0x3E000 && verify->value() <= 0x3E000);
        stage = now;
        loadValue = load->value();
        verifyValue = verify->value();
        if (stage == DialogBootload::Failed)
            break;
    }
    for (qsizetype i = fastForwarded; i < run.port->written.size(); ++i)
        checkCommand(run.port->written.at(i));
    check(run.count("$X\n") <= 5);
    if (stage == DialogBootload::Failed) {
        // Nothing more is sent once the upgrade has failed.
        const qsizetype written = run.port->written.size();
        run.port->feed("$Bootloader\n$GACK\n$EACK\n$DACK\n$PACK\n$CACK\n");
        for (int i = 0; i < 20; ++i)
            run.dialog->tick();
        check(run.port->written.size() == written);
    }
    run.dialog.reset();
    run.protocol.closePort();
    // No event loop runs here, so every event posted during the input (the widgets' polish and layout
    // requests, the log box's queued calls, the port's deletion) waits in the thread's posted-event
    // list, and one whose receiver has been deleted still keeps its place there. Only sending every
    // posted event empties the list: sending one type walks all of it and keeps it, which made the
    // target grow with every input and slow down as the list grew.
    QCoreApplication::sendPostedEvents();
    return 0;
}
