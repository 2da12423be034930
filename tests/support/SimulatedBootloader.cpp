#include "support/SimulatedBootloader.h"

SimulatedBootloader::SimulatedBootloader(QByteArray flash, QObject* parent)
    : IPort(parent)
    , m_flash(std::move(flash))
    , m_page(kPageSize, char(0xFF)) {
    m_flash.resize(kFlashSize, char(0xFF));
}

qint64 SimulatedBootloader::write(const QByteArray& data) {
    if (!m_open)
        return 0;
    // One command per line; a write without its line end is a fault of the sender.
    if (!data.endsWith('\n'))
        malformed.append(data);
    for (const QByteArray& line : data.split('\n')) {
        if (line.isEmpty())
            continue;
        commands.append({tick, line + '\n'});
        handle(line);
        if (afterCommand)
            afterCommand(line + '\n');
        if (!m_open)
            break;
    }
    return data.size();
}

QByteArray SimulatedBootloader::read() {
    QByteArray bytes;
    bytes.swap(m_input);
    return bytes;
}

void SimulatedBootloader::close() {
    m_open = false;
    m_pending.clear();
    emit closed();
}

bool SimulatedBootloader::deliver() {
    if (!m_open || m_pending.isEmpty())
        return false;
    for (const QByteArray& line : std::as_const(m_pending))
        m_input += line + '\n';
    m_pending.clear();
    emit readyRead();
    return true;
}

void SimulatedBootloader::reply(const QByteArray& line, const QByteArray& command) {
    for (auto it = loseRepliesTo.begin(); it != loseRepliesTo.end(); ++it) {
        if (it.value() > 0 && command.startsWith(it.key())) {
            --it.value();
            return;
        }
    }
    m_pending.append(line);
}

void SimulatedBootloader::streamSamples() {
    for (int i = 0; !sampleAfterExit.isEmpty() && i < samplesPerExit; ++i)
        m_pending.append(sampleAfterExit);
}

bool SimulatedBootloader::number(QByteArrayView field, const QByteArray& line, quint32& value) {
    // Upper-case hexadecimal digits, no leading zero, no more than eight.
    bool canonical = !field.isEmpty() && field.size() <= 8 && (field.size() == 1 || field.front() != '0');
    value = 0;
    for (const char c : field) {
        if (c >= '0' && c <= '9')
            value = value * 16 + quint32(c - '0');
        else if (c >= 'A' && c <= 'F')
            value = value * 16 + quint32(c - 'A' + 10);
        else
            canonical = false;
    }
    if (!canonical)
        malformed.append(line);
    return canonical;
}

void SimulatedBootloader::handle(const QByteArray& line) {
    // Fields as views into the line: a full upgrade is some eight thousand commands.
    QVarLengthArray<QByteArrayView, 72> fields;
    qsizetype begin = 0;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line.at(i) == ',') {
            fields.append(QByteArrayView(line.constData() + begin, i - begin));
            begin = i + 1;
        }
    }
    if (!m_inBootloader) {
        if (line == "$x") {
            m_inBootloader = true;
            if (announce)
                reply("$Bootloader", line);
        } else if (line == "$V") {
            reply("$VER,2.24", line);
        } else if (line == "$X") {
            // Already running the application: nothing to leave.
            streamSamples();
        } else {
            malformed.append(line);
        }
        return;
    }
    handleBootloader(fields, line);
}

void SimulatedBootloader::handleBootloader(const QVarLengthArray<QByteArrayView, 72>& fields,
                                           const QByteArray& line) {
    const QByteArrayView keyword = fields.front();
    if (line == "$x") {
        // Restarting into the bootloader from the bootloader.
        m_page.fill(char(0xFF));
        if (announce)
            reply("$Bootloader", line);
    } else if (line == "$G") {
        m_page.fill(char(0xFF));
        reply("$GACK", line);
        if (announceErase)
            reply("$EACK", line);
    } else if (keyword == "$D") {
        quint32 offset = 0;
        if (fields.size() != 2 + kChunkSize || !number(fields.at(1), line, offset) ||
            offset % kChunkSize != 0 || offset >= quint32(kPageSize)) {
            malformed.append(line);
            return;
        }
        for (int k = 0; k < kChunkSize; ++k) {
            quint32 byte = 0;
            if (!number(fields.at(2 + k), line, byte) || byte > 0xFF)
                return;
            m_page[offset + k] = char(byte);
        }
        reply("$DACK", line);
    } else if (keyword == "$P") {
        quint32 address = 0;
        quint32 size = 0;
        if (fields.size() != 3 || !number(fields.at(1), line, address) || !number(fields.at(2), line, size) ||
            size != quint32(kPageSize) || address % kPageSize != 0 || address >= quint32(kFlashSize)) {
            malformed.append(line);
            return;
        }
        for (int i = 0; i < kPageSize; ++i) {
            const int at = int(address) + i;
            m_flash[at] = stuckBytes.contains(at) ? char(stuckBytes.value(at)) : m_page.at(i);
        }
        // The page buffer keeps its data: a page command repeated after a lost "$PACK" writes the
        // same page again.
        reply("$PACK", line);
        if (announceErase)
            reply("$EACK", line);
    } else if (keyword == "$C") {
        quint32 start = 0;
        quint32 end = 0;
        if (fields.size() != 3 || !number(fields.at(1), line, start) || !number(fields.at(2), line, end) ||
            start >= end || end > quint32(kFlashSize)) {
            malformed.append(line);
            return;
        }
        flashAtCrc = m_flash.mid(int(start), int(end - start));
        reply("$CACK", line);
    } else if (keyword == "$V") {
        quint32 address = 0;
        if (fields.size() != 2 || !number(fields.at(1), line, address) || address % kChunkSize != 0 ||
            address >= quint32(kFlashSize)) {
            malformed.append(line);
            return;
        }
        QByteArray chunk = m_flash.mid(int(address), kChunkSize);
        quint32 named = address;
        if (badReadBacks.value(int(address)) > 0) {
            --badReadBacks[int(address)];
            chunk[5] = char(~chunk.at(5));
        } else if (wrongAddressReadBacks.value(int(address)) > 0) {
            --wrongAddressReadBacks[int(address)];
            named += kChunkSize;
        }
        static constexpr char kDigits[] = "0123456789ABCDEF";
        QByteArray text;
        text.reserve(16 + kChunkSize * 3);
        text += "$VACK," + QByteArray::number(named, 16).toUpper();
        for (const char byte : std::as_const(chunk)) {
            const auto value = quint8(byte);
            text += ',';
            if (value >= 16)
                text += kDigits[value >> 4];
            text += kDigits[value & 15];
        }
        reply(text, line);
    } else if (line == "$X") {
        m_inBootloader = false;
        streamSamples();
    } else {
        malformed.append(line);
    }
}
