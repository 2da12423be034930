#include "support/DieEmulatedPort.h"
#include "support/FakeMessageBoxes.h"

#include "core/Settings.h"
#include "link/EmulatedPort.h"
#include "link/Protocol.h"
#include "session/Autorun.h"
#include "session/BaseProcedure.h"
#include "session/Session.h"
#include "session/Timer.h"

#include <QFile>
#include <QSignalSpy>
#include <QTextStream>
#include <QtTest>

namespace {

constexpr int kStrokeTimeoutMs = 30000;

struct RecordedSample {
    int position;
    int value;
};

QList<RecordedSample> strokeRecording() {
    QList<RecordedSample> samples;
    QFile file(QStringLiteral(":/ZelPress/go_emulation.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return samples;
    QTextStream stream(&file);
    while (!stream.atEnd()) {
        RecordedSample sample{0, 0};
        stream >> sample.position >> sample.value;
        if (stream.status() != QTextStream::Ok)
            break;
        samples.append(sample);
    }
    return samples;
}

} // namespace

class tst_EmulatedSession : public QObject {
    Q_OBJECT

private slots:
    void strokeOnEmulatedPress();
    void autorunStartsOneStroke();
    void twoGoInQuickSuccessionRecordTwoStrokes();
};

void tst_EmulatedSession::strokeOnEmulatedPress() {
    const QList<RecordedSample> recording = strokeRecording();
    QCOMPARE(recording.size(), 421);

    Protocol protocol;
    protocol.setPort(new EmulatedPort(QStringLiteral("ComEmulation")));
    Settings settings;
    FakeMessageBoxes boxes;
    Session session(&protocol, &settings, &boxes);
    QSignalSpy version(&session, &Session::firmwareVersionReceived);
    QSignalSpy finished(&session, &ISession::procedureFinished);
    QSignalSpy canceled(&session, &ISession::procedureCanceled);
    QSignalSpy points(&session, &ISession::pointReceived);
    QSignalSpy measurement(&session, &Session::measurementDone);

    session.init();
    QVERIFY(session.isInitialized());
    QTRY_COMPARE(version.count(), 1);
    QCOMPARE(session.firmwareVersion(), QStringLiteral("9.99"));

    // Zeroing: the idle press reads 33000 or 34000 with at most 1 % noise.
    session.calibrateZeroWeight();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kStrokeTimeoutMs);
    const int zero = session.zeroWeightAdc();
    QVERIFY2(zero >= 32670 && zero <= 34340, qPrintable(QString::number(zero)));

    // X zero search: the furthest position whose reading stays below zero + 52970.
    session.findXZero();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, kStrokeTimeoutMs);
    QVERIFY(session.isXZeroFound());
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.at(0).text, QStringLiteral("X zero found"));
    const int xZero = session.xZeroPosition();
    const double threshold = zero + 52970;
    int lowest = 0;  // furthest position that lies below the threshold whatever the noise
    int highest = 0; // furthest position that may lie below it with the noise
    for (const RecordedSample& sample : recording) {
        if (sample.value * 1.01 < threshold)
            lowest = qMax(lowest, sample.position);
        if (sample.value * 0.99 < threshold)
            highest = qMax(highest, sample.position);
    }
    QVERIFY2(xZero >= lowest && xZero <= highest,
             qPrintable(QStringLiteral("%1 not in [%2, %3]").arg(xZero).arg(lowest).arg(highest)));

    // The status lines that follow a stroke come before any further sample; a Go sent before
    // they have passed would end on them at once.
    const qsizetype seen = points.size();
    QTRY_VERIFY_WITH_TIMEOUT(points.size() > seen, kStrokeTimeoutMs);

    session.go();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 3, kStrokeTimeoutMs);
    QCOMPARE(canceled.count(), 0);
    QCOMPARE(measurement.count(), 1);
    QCOMPARE(boxes.boxes.size(), 1); // a normal end shows nothing
    const auto trace = measurement.at(0).at(0).value<QList<QPointF>>();

    // The trace ends with the recorded samples taken before the X zero, in order; before them
    // come the idle samples that were still queued when Go was sent.
    QList<RecordedSample> beforeXZero;
    for (const RecordedSample& sample : recording) {
        if (sample.position < xZero)
            beforeXZero.append(sample);
    }
    QVERIFY(beforeXZero.size() > 100);
    QVERIFY2(trace.size() >= beforeXZero.size() && trace.size() <= beforeXZero.size() + 40,
             qPrintable(QString::number(trace.size())));
    const qsizetype idleCount = trace.size() - beforeXZero.size();
    const auto checkPoint = [&](const QPointF& point, int position, int value) {
        const double x = (xZero - position) * Session::kPositionFactor;
        const double y = (value - zero) * Session::kForceFactor;
        const double noise = (value / 100) * Session::kForceFactor + 1e-9;
        return qFuzzyCompare(point.x(), x) && qAbs(point.y() - y) <= noise;
    };
    for (qsizetype i = 0; i < trace.size(); ++i) {
        const QPointF& point = trace.at(i);
        bool matches;
        if (i < idleCount) {
            matches = checkPoint(point, 165, 33000) || checkPoint(point, 165, 34000);
        } else {
            const RecordedSample& sample = beforeXZero.at(i - idleCount);
            matches = checkPoint(point, sample.position, sample.value);
        }
        QVERIFY2(matches,
                 qPrintable(QStringLiteral("point %1 (%2, %3)").arg(i).arg(point.x()).arg(point.y())));
    }
}

void tst_EmulatedSession::autorunStartsOneStroke() {
    Protocol protocol;
    auto* port = new DieEmulatedPort(QStringLiteral("ComEmulation"));
    protocol.setPort(port);
    Settings settings;
    settings.autorunTimeoutMs = 300;
    settings.autorunFilterLength = 10;
    FakeMessageBoxes boxes;
    Timer timer;
    Session session(&protocol, &settings, &boxes);
    QSignalSpy finished(&session, &ISession::procedureFinished);
    QSignalSpy measurement(&session, &Session::measurementDone);
    QSignalSpy points(&session, &ISession::pointReceived);
    session.init();

    // The set-up: the press empty, then with the die on it.
    auto* autorun = new Autorun(&session, &timer, &settings);
    QSignalSpy status(autorun, &Autorun::statusUpdate);
    BaseProcedure* measuring = autorun->measureNoDieWeight();
    QVERIFY(measuring);
    QSignalSpy noDieMeasured(measuring, &BaseProcedure::finished);
    QTRY_COMPARE_WITH_TIMEOUT(noDieMeasured.count(), 1, kStrokeTimeoutMs);
    port->dieOn = true;
    measuring = autorun->measureWithDieWeight();
    QSignalSpy withDieMeasured(measuring, &BaseProcedure::finished);
    QTRY_COMPARE_WITH_TIMEOUT(withDieMeasured.count(), 1, kStrokeTimeoutMs);
    QVERIFY(autorun->isWeightDifferenceSufficient());
    QVERIFY(autorun->withDieWeight() - autorun->noDieWeight() > DieEmulatedPort::kDieWeight * 0.8);

    // Autorun on with the die on the press: nothing starts until it has been taken off ...
    session.setAutorun(autorun);
    QCOMPARE(autorun->state(), Autorun::Init);
    qsizetype seen = points.size();
    QTRY_VERIFY_WITH_TIMEOUT(points.size() > seen + 30, kStrokeTimeoutMs);
    QCOMPARE(autorun->state(), Autorun::Init);
    port->dieOn = false;
    QTRY_COMPARE_WITH_TIMEOUT(autorun->state(), Autorun::NoDie, kStrokeTimeoutMs);
    QCOMPARE(port->goCommands, 0);

    // ... and placed again: one stroke, after which it waits for the die to come off.
    port->dieOn = true;
    QTRY_COMPARE_WITH_TIMEOUT(port->goCommands, 1, kStrokeTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kStrokeTimeoutMs);
    QCOMPARE(autorun->state(), Autorun::Init);
    QCOMPARE(measurement.count(), 1);
    seen = points.size();
    QTRY_VERIFY_WITH_TIMEOUT(points.size() > seen + 30, kStrokeTimeoutMs);
    QCOMPARE(autorun->state(), Autorun::Init);
    port->dieOn = false;
    QTRY_COMPARE_WITH_TIMEOUT(autorun->state(), Autorun::NoDie, kStrokeTimeoutMs);
    QCOMPARE(port->goCommands, 1);
    QCOMPARE(finished.count(), 1);

    QStringList messages;
    for (const QList<QVariant>& arguments : status)
        messages << arguments.at(0).toString();
    QCOMPARE(messages,
             (QStringList{"Autorun: Take die off", "Autorun: Place die on", "Autorun: Waiting for press",
                          "Autorun: Take die off", "Autorun: Place die on"}));
    session.clearAutorun();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void tst_EmulatedSession::twoGoInQuickSuccessionRecordTwoStrokes() {
    Protocol protocol;
    protocol.setPort(new EmulatedPort(QStringLiteral("ComEmulation")));
    Settings settings;
    FakeMessageBoxes boxes;
    Session session(&protocol, &settings, &boxes);
    QSignalSpy finished(&session, &ISession::procedureFinished);
    QSignalSpy measurement(&session, &Session::measurementDone);
    session.init();
    QVERIFY(session.calibrateZeroWeight());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kStrokeTimeoutMs);
    QVERIFY(session.findXZero());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, kStrokeTimeoutMs);
    QVERIFY(session.isXZeroFound());

    // The second Go is pressed the moment the first stroke has ended, while the press is still
    // sending the status lines that follow it.
    bool secondAccepted = false;
    connect(
        &session, &Session::measurementDone, this, [&] { secondAccepted = session.go(); },
        Qt::SingleShotConnection);
    QVERIFY(session.go());
    QTRY_COMPARE_WITH_TIMEOUT(measurement.count(), 1, kStrokeTimeoutMs);
    QVERIFY(secondAccepted);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 4, kStrokeTimeoutMs);
    QCOMPARE(measurement.count(), 2);
    const auto first = measurement.at(0).at(0).value<QList<QPointF>>();
    const auto second = measurement.at(1).at(0).value<QList<QPointF>>();
    QVERIFY2(first.size() > 100, qPrintable(QString::number(first.size())));
    QVERIFY2(second.size() > 100, qPrintable(QString::number(second.size())));
}

QTEST_GUILESS_MAIN(tst_EmulatedSession)
#include "tst_emulatedsession.moc"
