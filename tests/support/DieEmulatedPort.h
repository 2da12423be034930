#pragma once

#include "link/Crc16.h"
#include "link/EmulatedPort.h"

#include <QByteArray>
#include <QList>

// The emulated press with a die that a test places on and takes off the load cell: while the die
// is on, every sample line carries kDieWeight more load-cell counts. Counts the Go commands.
class DieEmulatedPort : public EmulatedPort {
    Q_OBJECT
public:
    static constexpr int kDieWeight = 20000;

    using EmulatedPort::EmulatedPort;

    qint64 write(const QByteArray& data) override {
        goCommands += int(data.count("$G,100,"));
        return EmulatedPort::write(data);
    }

    QByteArray read() override {
        m_pending += EmulatedPort::read();
        const qsizetype end = m_pending.lastIndexOf('\n') + 1;
        const QList<QByteArray> lines = m_pending.left(end).split('\n');
        m_pending.remove(0, end);
        QByteArray bytes;
        for (qsizetype i = 0; i + 1 < lines.size(); ++i)
            bytes += withDie(lines.at(i)) + '\n';
        return bytes;
    }

    bool dieOn = false;
    int goCommands = 0;

private:
    QByteArray withDie(const QByteArray& line) const {
        if (!dieOn || !line.startsWith("$R,"))
            return line;
        const QList<QByteArray> fields = line.left(line.indexOf('*')).split(',');
        const QByteArray body =
            "$R," + fields.at(1) + ',' + QByteArray::number(fields.at(2).toInt() + kDieWeight);
        return checksummedLine(body).chopped(1);
    }

    QByteArray m_pending;
};
