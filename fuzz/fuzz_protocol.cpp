// Feeds arbitrary bytes to the press line protocol in several reads, some through the port and some
// straight into receive(), optionally from inside a slot as a nested event loop would, and checks the
// decoded samples and unknown commands against a plain reference decoder of the same bytes.
//
// Input layout: byte 0 selects the number of cuts (bits 0-2), the stride of a cut (bits 3-5), whether a
// slot re-enters (bit 6) and whether reads go through the port (bit 7); the next bytes, one per cut,
// give the length of each read; the rest is the received text.
#include "link/Crc16.h"
#include "link/IPort.h"
#include "link/Protocol.h"

#include <QList>
#include <QString>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

class FuzzPort : public IPort {
public:
    using IPort::IPort;
    qint64 write(const QByteArray& data) override { return data.size(); }
    QByteArray read() override { return std::exchange(m_input, QByteArray()); }
    bool isOpen() const override { return true; }
    void close() override { emit closed(); }
    void feed(const QByteArray& bytes) {
        m_input += bytes;
        emit readyRead();
    }

private:
    QByteArray m_input;
};

// A decoded sample or an unknown command, as text, in the order the protocol reports them.
QString sample(int position, int value, int current) {
    return QStringLiteral("R %1 %2 %3").arg(position).arg(value).arg(current);
}
QString unknown(const QString& command) {
    return QStringLiteral("U ") + command;
}

// The reference decoder: written for clarity with the standard library, for sample lines and
// unknown commands.
std::string trimmed(const std::string& text) {
    const auto space = [](char c) {
        return std::isspace(static_cast<unsigned char>(c)) != 0;
    };
    const auto first = std::find_if_not(text.begin(), text.end(), space);
    const auto last = std::find_if_not(text.rbegin(), std::string::const_reverse_iterator(first), space);
    return std::string(first, last.base());
}

bool toInt(const std::string& field, int& result) {
    std::string text = trimmed(field);
    if (!text.empty() && text[0] == '+') {
        text.erase(0, 1);
        if (text.empty() || text[0] == '-')
            return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), result);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

bool toChecksum(const std::string& field, std::uint32_t& result) {
    const std::string text = trimmed(field);
    if (text.empty() || text[0] == '+' || text[0] == '-')
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), result, 16);
    return error == std::errc() && end == text.data() + text.size();
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (const char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

void decodeLine(const std::string& line, std::vector<QString>& events) {
    const auto dollar = line.rfind('$');
    if (dollar == std::string::npos)
        return;
    const std::string frame = trimmed(line.substr(dollar));
    std::string body = frame;
    const auto star = frame.find('*');
    if (star != std::string::npos) {
        body = frame.substr(0, star);
        std::uint32_t checksum = 0;
        const std::string checksumText = split(frame.substr(star + 1), '*').front();
        if (!toChecksum(checksumText, checksum) || checksum != crc16(body.data() + 1, body.size() - 1))
            return;
    }
    const std::vector<std::string> fields = split(body, ',');
    const std::string& keyword = fields[0];
    int position = 0;
    int value = 0;
    int current = 0;
    if (keyword == "$R") {
        if (fields.size() >= 3 && toInt(fields[1], position) && toInt(fields[2], value) &&
            (fields.size() < 4 || toInt(fields[3], current)))
            events.push_back(sample(position, value, current));
    } else if (keyword != "$D" && keyword != "$VER" && keyword != "$BLE") {
        events.push_back(unknown(QString::fromUtf8(body.data(), static_cast<qsizetype>(body.size()))));
    }
}

// The events of the reads, with the pending text dropped where it outgrows the bound after a read.
std::vector<QString> referenceEvents(const QList<QByteArray>& reads) {
    std::vector<QString> events;
    std::string pending;
    for (const QByteArray& read : reads) {
        pending.append(read.constData(), static_cast<std::size_t>(read.size()));
        std::size_t start = 0;
        for (auto newline = pending.find('\n'); newline != std::string::npos;
             newline = pending.find('\n', start)) {
            decodeLine(pending.substr(start, newline + 1 - start), events);
            start = newline + 1;
        }
        pending.erase(0, start);
        if (pending.size() > static_cast<std::size_t>(Protocol::kMaxPendingChars))
            pending.clear();
    }
    return events;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t control = data[0];
    const std::size_t cuts = std::min<std::size_t>(control & 7u, size - 1);
    const int stride = 1 + ((control >> 3) & 7);
    const bool reenter = (control & 0x40) != 0;
    const bool throughPort = (control & 0x80) != 0;
    const char* text = reinterpret_cast<const char*>(data + 1 + cuts);
    const auto textSize = static_cast<qsizetype>(size - 1 - cuts);

    QList<QByteArray> reads;
    qsizetype offset = 0;
    for (std::size_t i = 0; i < cuts; ++i) {
        const qsizetype length = std::min<qsizetype>(data[1 + i] * stride, textSize - offset);
        reads.append(QByteArray(text + offset, length));
        offset += length;
    }
    reads.append(QByteArray(text + offset, textSize - offset));
    const qsizetype newlines = std::count(text, text + textSize, '\n');

    Protocol protocol;
    auto* port = new FuzzPort;
    protocol.setPort(port);
    std::vector<QString> events;
    qsizetype frames = 0; // lines that produced a sample, status, version or unknown command
    int nextRead = 0;
    int depth = 0;
    const auto deliver = [&](const QByteArray& bytes) {
        if (throughPort)
            port->feed(bytes);
        else
            protocol.receive(bytes);
    };

    // As a modal box's event loop would: the next read arrives while a frame's signal is handled.
    const auto frameHandled = [&] {
        ++frames;
        if (reenter && depth < 3 && nextRead < reads.size()) {
            ++depth;
            deliver(reads.at(nextRead++));
            --depth;
        }
    };
    QObject::connect(&protocol, &Protocol::pointReceived, [&](int position, int value, int current) {
        check(protocol.linkMode() == Protocol::Application);
        events.push_back(sample(position, value, current));
        frameHandled();
    });
    QObject::connect(&protocol, &Protocol::communicatingWithApplication,
                     [&] { check(protocol.linkMode() == Protocol::Application); });
    QObject::connect(&protocol, &Protocol::communicatingWithBootloader,
                     [&] { check(protocol.isCommunicatingWithBootloader()); });
    QObject::connect(&protocol, &Protocol::reportReceived, [&](MotorReport::Report report) {
        check(report == protocol.lastMotorReport());
        frameHandled();
    });
    QObject::connect(&protocol, &Protocol::versionReceived, [&](const QString&) { frameHandled(); });
    QObject::connect(&protocol, &Protocol::unknownCommandReceived, [&](const QString& command) {
        events.push_back(unknown(command));
        frameHandled();
    });
    int closed = 0;
    QObject::connect(&protocol, &Protocol::closed, [&] { ++closed; });

    while (nextRead < reads.size()) {
        deliver(reads.at(nextRead++));
        check(protocol.pendingChars() <= Protocol::kMaxPendingChars);
    }
    // Each line gives at most one of the frame signals.
    check(frames <= newlines);
    // Nested reads keep the line order; only where the bound dropped text can the cut differ, since a
    // nested read is appended before the outer read's remainder is measured against the bound.
    if (!reenter || textSize <= Protocol::kMaxPendingChars)
        check(events == referenceEvents(reads));

    protocol.closePort();
    check(closed == 1);
    return 0;
}
