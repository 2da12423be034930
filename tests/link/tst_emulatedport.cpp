#include "link/Crc16.h"
#include "link/EmulatedPort.h"
#include "link/Protocol.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

namespace {

struct Row {
    int position;
    int value;
};

QList<Row> recording(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<Row> rows;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.trimmed().split(' ');
        rows.append({fields.value(0).toInt(), fields.value(1).toInt()});
    }
    return rows;
}

// Checks one emitted line against its recorded row; returns the noisy value.
int checkSampleLine(const QByteArray& line, const Row& row) {
    const int star = line.indexOf('*');
    const QByteArray body = line.left(star);
    const QByteArray checksum = line.mid(star + 1).chopped(1);
    // Upper-case hexadecimal without leading zeros.
    if (checksum != QByteArray::number(crc16(body.mid(1)), 16).toUpper() || !line.endsWith('\n'))
        return INT_MIN;
    const QList<QByteArray> fields = body.split(',');
    if (fields.size() != 3 || fields.at(0) != "$R" || fields.at(1).toInt() != row.position)
        return INT_MIN;
    return fields.at(2).toInt();
}

} // namespace

class tst_EmulatedPort : public QObject {
    Q_OBJECT

private slots:
    // Runs first, before anything else draws noise in this process.
    void noiseFollowsTheFixedSeed() {
        const QList<Row> idle = recording(QStringLiteral(":/ZelPress/idle_emulation.txt"));
        QCOMPARE(idle.size(), 11);
        QRandomGenerator reference(quint32(1));
        const QList<QByteArray> lines =
            EmulatedPort::playback(QStringLiteral(":/ZelPress/idle_emulation.txt")).split('\n');
        QCOMPARE(lines.size(), 12); // eleven lines and the empty text after the last line feed
        for (int i = 0; i < idle.size(); ++i) {
            const int q = idle.at(i).value / 100;
            QCOMPARE(checkSampleLine(lines.at(i) + '\n', idle.at(i)),
                     idle.at(i).value + reference.bounded(-q, q));
        }
    }

    void recordingsHaveTheirShape() {
        const QList<Row> idle = recording(QStringLiteral(":/ZelPress/idle_emulation.txt"));
        for (const Row& row : idle) {
            QCOMPARE(row.position, 165);
            QVERIFY(row.value == 33000 || row.value == 34000);
        }
        QCOMPARE(idle.first().value, 33000);

        const QList<Row> stroke = recording(QStringLiteral(":/ZelPress/go_emulation.txt"));
        QCOMPARE(stroke.size(), 421);
        const QList<QList<int>> anchors = {{1, 165, 34000},     {2, 165, 33000},     {15, 201, 33000},
                                           {16, 206, 33000},    {121, 811, 40000},   {161, 1042, 73000},
                                           {201, 1270, 108000}, {241, 1491, 143000}, {281, 1706, 177000},
                                           {321, 1928, 211000}, {361, 2149, 245000}, {401, 2362, 278000},
                                           {417, 2442, 296000}, {418, 2446, 358000}, {419, 2449, 472000},
                                           {420, 2456, 625000}, {421, 2458, 822000}};
        for (const QList<int>& anchor : anchors) {
            QCOMPARE(stroke.at(anchor[0] - 1).position, anchor[1]);
            QCOMPARE(stroke.at(anchor[0] - 1).value, anchor[2]);
        }
        for (int i = 1; i < stroke.size(); ++i)
            QVERIFY(stroke.at(i).position >= stroke.at(i - 1).position);

        QFile file(QStringLiteral(":/ZelPress/go_emulation.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QCOMPARE(text.count("\r\n"), 420);
        QVERIFY(!text.endsWith('\n'));
    }

    void deliversIdleChunksEveryTick() {
        EmulatedPort port(QStringLiteral("ComEmulation"));
        QSignalSpy ready(&port, &IPort::readyRead);
        QVERIFY(port.isOpen());
        QVERIFY(port.read().isEmpty());

        QVERIFY(ready.wait(1000));
        const QByteArray first = port.read();
        QCOMPARE(first.size(), 100);
        QVERIFY(first.startsWith("$R,165,"));
        const int value = first.split(',').at(2).split('*').at(0).toInt();
        QVERIFY(qAbs(value - 33000) <= 330);
        QVERIFY(port.read().isEmpty());

        QVERIFY(ready.wait(1000));
        QCOMPARE(port.read().size(), 100);
    }

    void answersTheVersionRequestInOrder() {
        auto* port = new EmulatedPort(QStringLiteral("ComEmulation"));
        Protocol protocol;
        protocol.setPort(port);
        QSignalSpy versions(&protocol, &Protocol::versionReceived);
        QSignalSpy points(&protocol, &Protocol::pointReceived);
        // Two requests in one write queue two answers behind the samples already queued.
        QCOMPARE(port->write("$V\n$V\n"), 6);
        QTRY_COMPARE_WITH_TIMEOUT(versions.size(), 2, 5000);
        QCOMPARE(versions.at(0).at(0).toString(), QStringLiteral("9.99"));
        QVERIFY(points.size() >= 1);
        // Commands the emulated press does not know are ignored.
        QCOMPARE(port->write("$s,1000\n$j,200\n$b\n"), 18);
    }

    void playsAStrokeOnGo() {
        auto* port = new EmulatedPort(QStringLiteral("ComEmulation"));
        Protocol protocol;
        protocol.setPort(port);
        QList<QByteArray> received;
        QSignalSpy reports(&protocol, &Protocol::reportReceived);
        QSignalSpy points(&protocol, &Protocol::pointReceived);
        QTRY_VERIFY_WITH_TIMEOUT(points.size() > 0, 2000);
        points.clear();

        protocol.go(false);
        QTRY_COMPARE_WITH_TIMEOUT(reports.size(), EmulatedPort::kStatusLinesAfterStroke, 20000);

        // The stroke arrives whole and in order, each value within the recording's noise.
        const QList<Row> stroke = recording(QStringLiteral(":/ZelPress/go_emulation.txt"));
        // Position 206 is only reached by the stroke, on its sixteenth row.
        int start = -1;
        for (int i = 0; i < points.size() && start < 0; ++i) {
            if (points.at(i).at(0).toInt() == 206)
                start = i - 15;
        }
        QVERIFY(start >= 0);
        QVERIFY(points.size() - start >= stroke.size());
        for (int i = 0; i < stroke.size(); ++i) {
            QCOMPARE(points.at(start + i).at(0).toInt(), stroke.at(i).position);
            QVERIFY(qAbs(points.at(start + i).at(1).toInt() - stroke.at(i).value) <=
                    stroke.at(i).value / 100);
        }
        // The first status line carries a code, so a stroke ends normally; the others repeat it.
        QCOMPARE(reports.first().at(0).value<MotorReport::Report>(), MotorReport::ReachedWeightLimit);
        QCOMPARE(reports.last().at(0).value<MotorReport::Report>(), MotorReport::ReachedWeightLimit);
    }

    void strokeIsDeliveredInLargerChunks_data() {
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("seating stroke") << QByteArray("$G,100,1\n");
        QTest::newRow("auxiliary stroke") << QByteArray("$G,100,0\n");
    }
    void strokeIsDeliveredInLargerChunks() {
        QFETCH(QByteArray, command);
        EmulatedPort port(QStringLiteral("ComEmulation"));
        QSignalSpy ready(&port, &IPort::readyRead);
        port.write(command);
        QVERIFY(ready.wait(1000));
        const QByteArray first = port.read();
        QCOMPARE(first.size(), 500);
        QVERIFY(first.startsWith("$R,165,3"));
        QVERIFY(ready.wait(1000));
        QCOMPARE(port.read().size(), 500);
    }

    void closingStopsTheTicks() {
        EmulatedPort port(QStringLiteral("ComEmulation"));
        QSignalSpy closed(&port, &IPort::closed);
        QSignalSpy ready(&port, &IPort::readyRead);
        port.close();
        QCOMPARE(closed.size(), 1);
        QVERIFY(!port.isOpen());
        QVERIFY(!ready.wait(600));
    }
};

QTEST_GUILESS_MAIN(tst_EmulatedPort)
#include "tst_emulatedport.moc"
