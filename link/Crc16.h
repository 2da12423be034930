#pragma once

#include <QByteArray>
#include <QtGlobal>

// CRC-16/MCRF4XX (reflected polynomial 0x8408, initial 0xFFFF, no final xor), as the press
// puts behind "*" on its sample and status lines. The check value of "123456789" is 0x6F91.
quint16 crc16(const char* data, qsizetype size);

inline quint16 crc16(const QByteArray& data) {
    return crc16(data.constData(), data.size());
}

// A frame as the press writes it: the body ("$" and fields), "*", the CRC-16 of the body after its
// "$" in upper-case hexadecimal without leading zeros, and "\n".
QByteArray checksummedLine(const QByteArray& body);
