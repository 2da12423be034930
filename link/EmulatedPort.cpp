#include "link/EmulatedPort.h"

#include "link/Crc16.h"

#include <QDebug>
#include <QFile>
#include <QRandomGenerator>
#include <QTextStream>

namespace {

const QString kIdleRecording = QStringLiteral(":/ZelPress/idle_emulation.txt");
const QString kStrokeRecording = QStringLiteral(":/ZelPress/go_emulation.txt");

// One generator for the whole process with a fixed seed, so every run plays the same noise.
QRandomGenerator& noiseGenerator() {
    static QRandomGenerator generator(quint32(1));
    return generator;
}

} // namespace

EmulatedPort::EmulatedPort(const QString& portName, QObject* parent, int tickMs)
    : IPort(parent) {
    qDebug() << "Opening RS-232 emulation port:"
             << "portName =" << portName;
    qDebug() << "Successfully opened ZEL USB emulation port: portName =" << portName;
    connect(&m_emitTimer, &QTimer::timeout, this, &EmulatedPort::onDataEmitTimer);
    m_emitTimer.start(tickMs > 0 ? tickMs : kTickMs);
    m_open = true;
}

qint64 EmulatedPort::write(const QByteArray& data) {
    const QList<QByteArray> parts = data.split('\n');
    for (const QByteArray& part : parts) {
        const QByteArray line = part + '\n';
        if (line == "$V\n") {
            m_script +=
                QStringLiteral("%1,%2\n").arg(QStringLiteral("$VER"), QStringLiteral("9.99")).toLatin1();
        } else if (line == "$G,100,0\n" || line == "$G,100,1\n") {
            m_script += playback(kStrokeRecording);
            // The first status line ends the stroke with a code, as the press does.
            m_script += checksummedLine(QByteArrayLiteral("$D,0"));
            for (int i = 1; i < kStatusLinesAfterStroke; ++i)
                m_script += QByteArrayLiteral("$D*BA7\n");
            m_chunkSize = kStrokeChunkSize;
        }
    }
    return data.size();
}

QByteArray EmulatedPort::read() {
    QByteArray bytes;
    bytes.swap(m_output);
    return bytes;
}

void EmulatedPort::close() {
    m_emitTimer.stop();
    m_open = false;
    emit closed();
}

void EmulatedPort::onDataEmitTimer() {
    if (static_cast<quint32>(m_script.size()) < m_chunkSize) {
        m_script += playback(kIdleRecording);
        m_chunkSize = kIdleChunkSize;
    }
    const qsizetype count = qMin<qsizetype>(m_chunkSize, m_script.size());
    m_output += m_script.left(count);
    m_script.remove(0, count);
    emit readyRead();
}

QByteArray EmulatedPort::playback(const QString& resourcePath) {
    QFile file(resourcePath);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "Failed to open emulation recording" << resourcePath;
        return {};
    }
    QTextStream stream(&file);
    QByteArray lines;
    while (!stream.atEnd()) {
        int position = 0;
        int value = 0;
        stream >> position >> value;
        if (stream.status() != QTextStream::Ok)
            break;
        const int q = value / 100;
        // Noise in [-q, q); nothing is drawn for values below 100.
        const int noise = q > 0 ? noiseGenerator().bounded(-q, q) : 0;
        lines +=
            checksummedLine("$R," + QByteArray::number(position) + ',' + QByteArray::number(value + noise));
    }
    return lines;
}
