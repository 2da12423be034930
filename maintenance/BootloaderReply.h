#pragma once

#include <array>
#include <QByteArray>
#include <QString>

// One line from the press's bootloader as the firmware upgrade reads it: the line as kept in the
// 1000-byte line buffer (the rest of a longer line is cut off), its token, and for a read-back
// ("$VACK") the chunk address and the 64 byte values.
class BootloaderReply {
public:
    static constexpr int kLineBufferSize = 1000;
    static constexpr int kMaxTokenLength = 63;
    static constexpr int kChunkSize = 64;

    explicit BootloaderReply(const QString& line);

    // The line in UTF-8, at most kLineBufferSize bytes.
    const QByteArray& line() const { return m_line; }
    // The characters before the first ',', '*', line feed or carriage return, at most kMaxTokenLength.
    const QByteArray& token() const { return m_token; }
    // A "$VACK" line with more than 64 commas before its end of line; address() and bytes() are read
    // only from such a line (fields separated by ',' or '*').
    bool isReadBack() const { return m_readBack; }
    // Field 1 in hexadecimal; a character that is not a hexadecimal digit counts as 0, and an
    // overlong field wraps around (it then names no chunk).
    quint32 address() const { return m_address; }
    // Fields 2 to 65, read like the address.
    const std::array<quint32, kChunkSize>& bytes() const { return m_bytes; }

private:
    QByteArray m_line;
    QByteArray m_token;
    bool m_readBack = false;
    quint32 m_address = 0;
    std::array<quint32, kChunkSize> m_bytes{};
};
