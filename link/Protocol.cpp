#include "link/Protocol.h"

#include "link/Crc16.h"
#include "link/IPort.h"

#include <cstring>
#include <QDebug>
#include <QVarLengthArray>

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

void trim(const char*& begin, const char*& end) {
    while (begin < end && isSpace(*begin))
        ++begin;
    while (end > begin && isSpace(end[-1]))
        --end;
}

// A decimal 32-bit integer with optional surrounding white space and sign, as the press writes them.
bool parseInt(const char* begin, const char* end, int& result) {
    trim(begin, end);
    bool negative = false;
    if (begin < end && (*begin == '+' || *begin == '-')) {
        negative = *begin == '-';
        ++begin;
    }
    if (begin == end)
        return false;
    qint64 value = 0;
    for (; begin < end; ++begin) {
        if (*begin < '0' || *begin > '9')
            return false;
        value = value * 10 + (*begin - '0');
        if (value > qint64(INT_MAX) + 1)
            return false;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX || value < INT_MIN)
        return false;
    result = static_cast<int>(value);
    return true;
}

// A hexadecimal checksum, either case, leading zeros allowed.
bool parseHex(const char* begin, const char* end, quint32& result) {
    trim(begin, end);
    if (begin == end)
        return false;
    quint64 value = 0;
    for (; begin < end; ++begin) {
        const char c = *begin;
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = value * 16 + digit;
        if (value > 0xFFFFFFFFull)
            return false;
    }
    result = static_cast<quint32>(value);
    return true;
}

QString text(const char* begin, const char* end) {
    return QString::fromUtf8(begin, end - begin);
}

struct Field {
    const char* begin;
    const char* end;
};

} // namespace

Protocol::Protocol(QObject* parent)
    : QObject(parent) {
    qDebug() << "> Creating" << this;
}

Protocol::~Protocol() {
    qDebug() << "> Deleting" << this;
    closePort();
}

void Protocol::setPort(IPort* port) {
    closePort();
    if (!port)
        return;
    m_port = port;
    port->setParent(this);
    connect(port, &IPort::readyRead, this, &Protocol::onReadyRead);
    connect(port, &IPort::closed, this, &Protocol::closePort);
}

void Protocol::closePort() {
    if (!m_port)
        return;
    IPort* port = m_port;
    m_port = nullptr;
    port->disconnect(this);
    port->close();
    port->deleteLater();
    m_linkMode = Unknown;
    emit closed();
}

bool Protocol::requestVersion() {
    qDebug() << "Requesting version...";
    return send(QByteArrayLiteral("$V\n"));
}

bool Protocol::requestBleInfo() {
    qDebug() << "Requesting BLE information...";
    return send(QByteArrayLiteral("$b\n"));
}

bool Protocol::enterBootloader() {
    qDebug() << "Entering bootloader...";
    return send(QByteArrayLiteral("$x\n"));
}

bool Protocol::go(bool auxiliaryStroke) {
    return send(QByteArrayLiteral("$G,100,") + (auxiliaryStroke ? "0" : "1") + '\n');
}

bool Protocol::sendMaxWeight(int n) {
    return send(QByteArrayLiteral("$s,") + QByteArray::number(n) + '\n');
}

bool Protocol::sendJamDetectionTime(int ms) {
    return send(QByteArrayLiteral("$j,") + QByteArray::number(ms) + '\n');
}

bool Protocol::sendRaw(const QByteArray& bytes) {
    if (m_rawExchangeLogged)
        qDebug() << "Requesting unknown command" << bytes;
    return send(bytes);
}

bool Protocol::send(const QByteArray& line) {
    return m_port && m_port->isOpen() && m_port->write(line) == line.size();
}

void Protocol::onReadyRead() {
    if (m_port)
        receive(m_port->read());
}

void Protocol::receive(const QByteArray& bytes) {
    m_received.append(bytes);
    // A slot connected to one of the signals may run a nested event loop and so re-enter here.
    // The read position is therefore a member: an inner call goes on with the lines after the
    // one being handled, and the outer call finds them consumed, so lines keep their order.
    while (true) {
        const qsizetype newline = m_received.indexOf('\n', m_readPosition);
        if (newline < 0)
            break;
        const QByteArray line = m_received.mid(m_readPosition, newline + 1 - m_readPosition);
        m_readPosition = newline + 1;
        processLine(line.constData(), line.constData() + line.size());
    }
    m_received.remove(0, m_readPosition);
    m_readPosition = 0;
    if (m_received.size() > kMaxPendingChars) {
        qWarning() << "ZelProtocol discarded" << m_received.size()
                   << "characters received without a line end";
        m_received.clear();
    }
}

void Protocol::processLine(const char* begin, const char* end) {
    const char* dollar = nullptr;
    for (const char* p = end; p > begin; --p) {
        if (p[-1] == '$') {
            dollar = p - 1;
            break;
        }
    }
    if (!dollar) {
        qDebug() << "Discarded:" << text(begin, end);
        return;
    }
    if (dollar != begin)
        qDebug() << "Discarded:" << text(begin, dollar);
    const char* frameEnd = end;
    trim(dollar, frameEnd);
    processFrame(dollar, frameEnd);
}

void Protocol::processFrame(const char* begin, const char* end) {
    const char* star = static_cast<const char*>(std::memchr(begin, '*', end - begin));
    if (!star) {
        handleBody(begin, end);
        return;
    }
    const char* checksumEnd = static_cast<const char*>(std::memchr(star + 1, '*', end - star - 1));
    if (!checksumEnd)
        checksumEnd = end;
    quint32 checksum = 0;
    // The checksum covers the body after its leading "$".
    if (!parseHex(star + 1, checksumEnd, checksum) || checksum != crc16(begin + 1, star - begin - 1)) {
        qWarning() << "ZelProtocol failed to validate CRC: " << text(begin, end);
        return;
    }
    handleBody(begin, star);
}

void Protocol::handleBody(const char* begin, const char* end) {
    QVarLengthArray<Field, 8> fields;
    const char* fieldBegin = begin;
    for (const char* p = begin; p < end; ++p) {
        if (*p == ',') {
            fields.append({fieldBegin, p});
            fieldBegin = p + 1;
        }
    }
    fields.append({fieldBegin, end});

    const Field& keyword = fields[0];
    const auto is = [&keyword](const char* name) {
        const auto length = static_cast<qsizetype>(std::strlen(name));
        return keyword.end - keyword.begin == length && std::memcmp(keyword.begin, name, length) == 0;
    };

    bool handled = false;
    if (is("$R")) {
        int position = 0;
        int value = 0;
        int current = 0;
        if (fields.size() >= 3 && parseInt(fields[1].begin, fields[1].end, position) &&
            parseInt(fields[2].begin, fields[2].end, value) &&
            (fields.size() < 4 || parseInt(fields[3].begin, fields[3].end, current))) {
            if (m_linkMode != Application) {
                m_linkMode = Application;
                emit communicatingWithApplication();
            }
            emit pointReceived(position, value, current);
            handled = true;
        }
    } else if (is("$D")) {
        int code = 0;
        if (fields.size() >= 2 && parseInt(fields[1].begin, fields[1].end, code)) {
            const auto report = static_cast<MotorReport::Report>(static_cast<quint16>(code));
            if (report != m_lastMotorReport) {
                m_lastMotorReport = report;
                qInfo() << "New motor status:" << report;
            }
        }
        emit reportReceived(m_lastMotorReport);
        handled = true;
    } else if (is("$VER")) {
        if (fields.size() >= 2) {
            emit versionReceived(text(fields[1].begin, fields[1].end));
            handled = true;
        }
    } else if (is("$BLE")) {
        if (fields.size() >= 4) {
            int dropped = 0;
            int resourceErrors = 0;
            int txErrors = 0;
            if (parseInt(fields[1].begin, fields[1].end, dropped) &&
                parseInt(fields[2].begin, fields[2].end, resourceErrors) &&
                parseInt(fields[3].begin, fields[3].end, txErrors)) {
                qDebug() << "BLE dropped packets:" << dropped << "resource errors:" << resourceErrors
                         << "tx errors:" << txErrors;
            }
            handled = true;
        }
    } else if (is("$Bootloader")) {
        // Read before the lines are passed on: their receiver may switch the logging.
        handled = !m_rawExchangeLogged;
        if (m_linkMode != Bootloader) {
            m_linkMode = Bootloader;
            emit communicatingWithBootloader();
        }
        emit unknownCommandReceived(text(begin, end));
    } else {
        // Lines of a raw exchange are what its owner waits for, not failures.
        handled = !m_rawExchangeLogged;
        if (m_rawExchangeLogged)
            qDebug() << "Received unknown command" << text(begin, end);
        emit unknownCommandReceived(text(begin, end));
    }
    if (!handled)
        qWarning() << "ZelProtocol failed to process a command: " << text(begin, end);
}
