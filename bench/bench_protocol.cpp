// Receive path of the press line protocol: sample lines per second decoded by a Protocol fed from a
// port in chunks of fixed size cut anywhere inside a line, as the emulated press and a serial driver
// deliver them. Prints one line per chunk size; see docs/performance.md.
#include "link/Crc16.h"
#include "link/IPort.h"
#include "link/Protocol.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

constexpr int kLines = 200000;
constexpr int kRuns = 7;
// The serial link at 115200 baud carries about 580 sample lines a second.
constexpr double kLinkLinesPerSecond = 580.0;
constexpr double kTargetLinesPerSecond = 500000.0;

// Hands each chunk to the protocol the way a real port does: queue it, then signal readyRead.
class BenchPort : public IPort {
public:
    using IPort::IPort;
    qint64 write(const QByteArray& data) override { return data.size(); }
    QByteArray read() override { return std::exchange(m_input, QByteArray()); }
    bool isOpen() const override { return true; }
    void close() override { emit closed(); }

    void feed(const QByteArray& bytes) {
        m_input = bytes;
        emit readyRead();
    }

private:
    QByteArray m_input;
};

// A stroke's worth of sample lines: position falling, force rising with noise, checksummed as the
// press writes them.
QByteArray makeStream(int lines, qint64& sum) {
    QRandomGenerator random(7);
    QByteArray stream;
    stream.reserve(lines * 24);
    sum = 0;
    for (int i = 0; i < lines; ++i) {
        const int position = 60000 - (i % 60000);
        const int value = (i % 60000) * 15 + static_cast<int>(random.bounded(800));
        const QByteArray body = "R," + QByteArray::number(position) + ',' + QByteArray::number(value);
        stream += checksummedLine('$' + body);
        sum += position + value;
    }
    return stream;
}

QList<QByteArray> cut(const QByteArray& stream, int chunkSize) {
    QList<QByteArray> chunks;
    for (qsizetype i = 0; i < stream.size(); i += chunkSize)
        chunks.append(stream.mid(i, chunkSize));
    return chunks;
}

struct Result {
    double seconds;
    int lines;
    qint64 sum; // of every decoded position, value and current
};

Result runOnce(const QList<QByteArray>& chunks) {
    Protocol protocol;
    auto* port = new BenchPort;
    protocol.setPort(port);
    int lines = 0;
    qint64 sum = 0;
    QObject::connect(&protocol, &Protocol::pointReceived, &protocol,
                     [&](int position, int value, int current) {
                         ++lines;
                         sum += qint64(position) + value + current;
                     });
    QElapsedTimer timer;
    timer.start();
    for (const QByteArray& chunk : chunks)
        port->feed(chunk);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    return {seconds, lines, sum};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    qint64 expectedSum = 0;
    const QByteArray stream = makeStream(kLines, expectedSum);
    const double megabytes = static_cast<double>(stream.size()) / 1e6;
    std::printf("protocol receive: %d sample lines, %.2f MB, %.1f bytes a line, median of %d runs\n", kLines,
                megabytes, static_cast<double>(stream.size()) / kLines, kRuns);

    bool met = true;
    for (const int chunkSize : {100, 500}) {
        const QList<QByteArray> chunks = cut(stream, chunkSize);
        std::vector<double> times;
        for (int run = 0; run < kRuns; ++run) {
            const Result result = runOnce(chunks);
            if (result.lines != kLines || result.sum != expectedSum) {
                std::printf("chunks of %d bytes: decoded %d lines, expected %d, or wrong values\n", chunkSize,
                            result.lines, kLines);
                return 2;
            }
            times.push_back(result.seconds);
        }
        std::sort(times.begin(), times.end());
        const double seconds = times.at(times.size() / 2);
        const double linesPerSecond = kLines / seconds;
        std::printf("chunks of %3d bytes: %.0f lines/s, %.1f MB/s, %.0f ns/line, %.5f of a core at the "
                    "link's %g lines/s\n",
                    chunkSize, linesPerSecond, megabytes / seconds, seconds / kLines * 1e9,
                    kLinkLinesPerSecond / linesPerSecond, kLinkLinesPerSecond);
        met = met && linesPerSecond >= kTargetLinesPerSecond;
    }
    std::printf("target %.0f lines/s: %s\n", kTargetLinesPerSecond, met ? "met" : "NOT met");
    return met ? 0 : 1;
}
