#include "maintenance/BootloaderReply.h"

namespace {

quint32 lenientHex(const char* begin, const char* end) {
    quint32 value = 0;
    for (; begin < end; ++begin) {
        const char c = *begin;
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

bool endsToken(char c) {
    return c == ',' || c == '*' || c == '\n' || c == '\r';
}

} // namespace

BootloaderReply::BootloaderReply(const QString& line)
    : m_line(line.toUtf8()) {
    // Cut, never read beyond: a full read-back is about 200 characters.
    if (m_line.size() > kLineBufferSize)
        m_line.truncate(kLineBufferSize);
    qsizetype tokenLength = 0;
    while (tokenLength < m_line.size() && tokenLength < kMaxTokenLength && !endsToken(m_line.at(tokenLength)))
        ++tokenLength;
    m_token = m_line.left(tokenLength);
    if (m_token != "$VACK")
        return;

    const char* const begin = m_line.constData();
    const char* const bufferEnd = begin + m_line.size();
    const char* end = begin;
    int commas = 0;
    while (end < bufferEnd && *end != '\n' && *end != '\r') {
        commas += *end == ',' ? 1 : 0;
        ++end;
    }
    if (commas <= kChunkSize)
        return;
    m_readBack = true;
    // Fields 0 (the token), 1 (the address) and 2 to 65 (the bytes): more than 64 commas make sure
    // all of them are there.
    int field = 0;
    const char* fieldBegin = begin;
    for (const char* p = begin; field <= kChunkSize + 1; ++p) {
        if (p == end || *p == ',' || *p == '*') {
            if (field == 1)
                m_address = lenientHex(fieldBegin, p);
            else if (field >= 2)
                m_bytes[std::size_t(field - 2)] = lenientHex(fieldBegin, p);
            ++field;
            fieldBegin = p + 1;
            if (p == end)
                break;
        }
    }
}
