#include "link/Crc16.h"

quint16 crc16(const char* data, qsizetype size) {
    quint16 crc = 0xFFFF;
    for (qsizetype i = 0; i < size; ++i) {
        quint8 b = static_cast<quint8>(data[i]) ^ static_cast<quint8>(crc & 0xFF);
        b = static_cast<quint8>(b ^ (b << 4));
        crc = static_cast<quint16>((static_cast<quint16>(b) << 8 | crc >> 8) ^ (b >> 4) ^
                                   (static_cast<quint16>(b) << 3));
    }
    return crc;
}

QByteArray checksummedLine(const QByteArray& body) {
    const quint16 crc = body.isEmpty() ? crc16(body) : crc16(body.constData() + 1, body.size() - 1);
    return body + '*' + QByteArray::number(crc, 16).toUpper() + '\n';
}
