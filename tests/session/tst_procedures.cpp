#include "support/FakeMessageBoxes.h"
#include "support/FakePort.h"
#include "support/LogCapture.h"

#include "link/Protocol.h"
#include "session/DieSetupProcedure.h"
#include "session/LoadcellCalibrationProcedure.h"
#include "session/PressProcedure.h"
#include "session/ReportMessage.h"
#include "session/ReportOutcome.h"
#include "session/XPositionZeroSearchProcedure.h"

#include <algorithm>
#include <memory>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {

QByteArray sample(int position, int value) {
    return "$R," + QByteArray::number(position) + ',' + QByteArray::number(value) + '\n';
}

QByteArray report(int code) {
    return "$D," + QByteArray::number(code) + '\n';
}

void flushDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class tst_Procedures : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pressProcedureConvertsSamplesBeforeXZero();
    void pointLimit_data();
    void pointLimit();
    void loadcellCalibrationAveragesFiftySamples();
    void xZeroSearch_data();
    void xZeroSearch();
    void startTwiceSendsCommandOnce_data();
    void startTwiceSendsCommandOnce();
    void linkClosingCancelsAndDeletes();
    void cancelBeforeStartPreventsStart();
    void endsOnlyOnce();
    void watchdogCancelsSilentProcedure();
    void samplesKeepWatchdogFromFiring();

    void outcomeTable_data();
    void outcomeTable();
    void reportMessages_data();
    void reportMessages();

private:
    enum Kind { Press, DieSetup, XZero, Loadcell };
    BaseProcedure* create(Kind kind);

    std::unique_ptr<Protocol> m_protocol;
    FakePort* m_port = nullptr;
};

BaseProcedure* tst_Procedures::create(Kind kind) {
    switch (kind) {
    case Press:
        return new PressProcedure(m_protocol.get(), 0, 1000000, 1.0, 1.0, m_protocol.get());
    case DieSetup:
        return new DieSetupProcedure(m_protocol.get(), m_protocol.get());
    case XZero:
        return new XPositionZeroSearchProcedure(m_protocol.get(), 100, m_protocol.get());
    case Loadcell:
        return new LoadcellCalibrationProcedure(m_protocol.get(), m_protocol.get());
    }
    return nullptr;
}

void tst_Procedures::init() {
    m_protocol = std::make_unique<Protocol>();
    m_port = new FakePort;
    m_protocol->setPort(m_port);
}

void tst_Procedures::cleanup() {
    m_protocol.reset();
    flushDeferredDeletes();
}

void tst_Procedures::pressProcedureConvertsSamplesBeforeXZero() {
    auto* procedure = new PressProcedure(m_protocol.get(), 1000, 500, 0.5, 0.25, m_protocol.get());
    QSignalSpy finished(procedure, &BaseProcedure::finished);
    procedure->start();
    QCOMPARE(m_port->written(), QByteArray("$G,100,1\n"));

    m_port->feed(sample(400, 3000) + sample(500, 5000) + sample(600, 7000) + sample(-2147483647, 999) +
                 sample(499, -2147483647));
    QCOMPARE(finished.count(), 0);
    const QList<QPointF> expected{
        {100 * 0.25, 2000 * 0.5},
        {(500.0 + 2147483647.0) * 0.25, -1 * 0.5},
        {1 * 0.25, (-2147483647.0 - 1000.0) * 0.5},
    };
    QCOMPARE(procedure->points(), expected);

    m_port->feed(report(MotorReport::DetectedMotorAngleJamCompress));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(procedure->lastReport(), MotorReport::DetectedMotorAngleJamCompress);
    QCOMPARE(procedure->points(), expected);
}

void tst_Procedures::pointLimit_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("limit");
    QTest::newRow("press") << int(Press) << 1000;
    QTest::newRow("die setup") << int(DieSetup) << 1000;
    QTest::newRow("x zero search") << int(XZero) << 4000;
}

void tst_Procedures::pointLimit() {
    QFETCH(int, kind);
    QFETCH(int, limit);

    // Exactly the limit, then a report: the report ends the procedure.
    {
        QPointer<BaseProcedure> procedure = create(Kind(kind));
        QSignalSpy finished(procedure.data(), &BaseProcedure::finished);
        procedure->start();
        QByteArray samples;
        for (int i = 0; i < limit; ++i)
            samples += sample(i, 5);
        m_port->feed(samples);
        QCOMPARE(finished.count(), 0);
        m_port->feed(report(MotorReport::ReachedAngleStartPosition));
        QCOMPARE(finished.count(), 1);
        if (kind == Press) {
            auto* press = static_cast<PressProcedure*>(procedure.data());
            QCOMPARE(press->lastReport(), MotorReport::ReachedAngleStartPosition);
            QCOMPARE(press->points().size(), limit);
        }
        if (kind == XZero)
            QVERIFY(static_cast<XPositionZeroSearchProcedure*>(procedure.data())->dieDetected());
        flushDeferredDeletes();
        QVERIFY(!procedure);
    }

    // One sample more than the limit and no report: the extra sample ends it.
    {
        QPointer<BaseProcedure> procedure = create(Kind(kind));
        QSignalSpy finished(procedure.data(), &BaseProcedure::finished);
        procedure->start();
        QByteArray samples;
        for (int i = 0; i < limit; ++i)
            samples += sample(i, 5);
        m_port->feed(samples);
        QCOMPARE(finished.count(), 0);
        LogCapture log;
        m_port->feed(sample(limit, 5) + sample(limit + 1, 5) + report(0));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(log.count(QtWarningMsg, QStringLiteral("")), 1);
        const auto isTimeOut = [](const LogCapture::Line& line) {
            return line.type == QtWarningMsg &&
                   line.text.endsWith(
                       QStringLiteral("procedure timed out (received more points than expected)."));
        };
        QVERIFY(std::any_of(log.lines.cbegin(), log.lines.cend(), isTimeOut));
        if (kind == Press) {
            auto* press = static_cast<PressProcedure*>(procedure.data());
            QCOMPARE(press->lastReport(), MotorReport::None);
            QCOMPARE(press->points().size(), limit + 1);
        }
        if (kind == XZero)
            QVERIFY(!static_cast<XPositionZeroSearchProcedure*>(procedure.data())->dieDetected());
    }
}

void tst_Procedures::loadcellCalibrationAveragesFiftySamples() {
    auto* procedure = new LoadcellCalibrationProcedure(m_protocol.get(), m_protocol.get());
    QSignalSpy finished(procedure, &BaseProcedure::finished);
    QSignalSpy progress(procedure, &BaseProcedure::progressChanged);
    procedure->start();
    QVERIFY(m_port->written().isEmpty());

    QByteArray samples;
    for (int i = 0; i < 49; ++i)
        samples += sample(165, 1000 + (i % 2 == 0 ? 7 : -7));
    m_port->feed(samples);
    QCOMPARE(finished.count(), 0);
    m_port->feed(sample(165, 1000));
    QCOMPARE(finished.count(), 1);
    // 25 readings of 1007, 24 of 993 and one of 1000.
    QCOMPARE(procedure->average(), (25 * 1007 + 24 * 993 + 1000) / 50.0);

    QList<int> values;
    for (const QList<QVariant>& arguments : progress)
        values.append(arguments.at(0).toInt());
    QList<int> expected;
    for (int p = 2; p <= 98; p += 2)
        expected.append(p);
    expected.append(100);
    QCOMPARE(values, expected);

    // Samples after the end no longer count.
    m_port->feed(sample(165, 50000));
    QCOMPARE(finished.count(), 1);
}

void tst_Procedures::xZeroSearch_data() {
    QTest::addColumn<QByteArray>("samples");
    QTest::addColumn<int>("report");
    QTest::addColumn<int>("xZero");
    QTest::addColumn<bool>("dieDetected");

    const QByteArray touching = sample(100, 10) + sample(300, 5000) + sample(200, 4999) + sample(250, 5000);
    QTest::newRow("weight limit: die detected, furthest position below threshold")
        << touching << int(MotorReport::ReachedWeightLimit) << 200 << true;
    QTest::newRow("first angle limit: no die")
        << touching << int(MotorReport::ReachedFirstAngleLimit) << 200 << false;
    QTest::newRow("jam report counts as detected")
        << touching << int(MotorReport::DetectedMotorAngleJamCompress) << 200 << true;
    QTest::newRow("never below threshold keeps zero")
        << sample(100, 5000) + sample(200, 9000) << int(MotorReport::ReachedWeightLimit) << 0 << true;
}

void tst_Procedures::xZeroSearch() {
    QFETCH(QByteArray, samples);
    QFETCH(int, report);
    QFETCH(int, xZero);
    QFETCH(bool, dieDetected);

    auto* procedure = new XPositionZeroSearchProcedure(m_protocol.get(), 5000, m_protocol.get());
    QSignalSpy finished(procedure, &BaseProcedure::finished);
    procedure->start();
    QCOMPARE(m_port->written(), QByteArray("$G,100,0\n"));
    m_port->feed(samples);
    QCOMPARE(finished.count(), 0);
    m_port->feed(::report(report));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(procedure->xZero(), xZero);
    QCOMPARE(procedure->dieDetected(), dieDetected);
}

void tst_Procedures::startTwiceSendsCommandOnce_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("press") << int(Press) << QByteArray("$G,100,1\n");
    QTest::newRow("die setup") << int(DieSetup) << QByteArray("$G,100,0\n");
    QTest::newRow("x zero search") << int(XZero) << QByteArray("$G,100,0\n");
}

void tst_Procedures::startTwiceSendsCommandOnce() {
    QFETCH(int, kind);
    QFETCH(QByteArray, command);
    BaseProcedure* procedure = create(Kind(kind));
    QSignalSpy finished(procedure, &BaseProcedure::finished);
    procedure->start();
    procedure->start();
    QCOMPARE(m_port->writes(), QList<QByteArray>{command});
    // One report ends it once, not once per start.
    m_port->feed(report(0));
    QCOMPARE(finished.count(), 1);
}

void tst_Procedures::linkClosingCancelsAndDeletes() {
    QPointer<BaseProcedure> procedure = create(Press);
    QSignalSpy finished(procedure.data(), &BaseProcedure::finished);
    QSignalSpy canceled(procedure.data(), &BaseProcedure::canceled);
    procedure->start();
    m_port->feed(sample(1, 2));
    LogCapture log;
    m_port->closeFromDevice();
    QCOMPARE(canceled.count(), 1);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(log.count(QtWarningMsg, QStringLiteral("Procedure cancelled.")), 1);
    QVERIFY(procedure);
    flushDeferredDeletes();
    QVERIFY(!procedure);
}

void tst_Procedures::cancelBeforeStartPreventsStart() {
    QPointer<BaseProcedure> procedure = create(DieSetup);
    QSignalSpy canceled(procedure.data(), &BaseProcedure::canceled);
    procedure->setAutoDelete(false);
    procedure->cancel();
    QCOMPARE(canceled.count(), 1);
    procedure->start();
    QVERIFY(m_port->written().isEmpty());
    QVERIFY(!procedure->isRunning());
    flushDeferredDeletes();
    QVERIFY(procedure); // not auto-deleting
    delete procedure.data();
}

void tst_Procedures::endsOnlyOnce() {
    BaseProcedure* procedure = create(Press);
    QSignalSpy finished(procedure, &BaseProcedure::finished);
    QSignalSpy canceled(procedure, &BaseProcedure::canceled);
    procedure->start();
    m_port->feed(report(0));
    procedure->cancel();
    m_port->closeFromDevice();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(canceled.count(), 0);
}

void tst_Procedures::watchdogCancelsSilentProcedure() {
    QPointer<BaseProcedure> procedure = create(Press);
    QCOMPARE(procedure->timeoutMs(), 10000);
    procedure->setTimeoutMs(200);
    QSignalSpy finished(procedure.data(), &BaseProcedure::finished);
    QSignalSpy canceled(procedure.data(), &BaseProcedure::canceled);
    procedure->start();
    m_port->feed(sample(1, 2));
    QTRY_COMPARE_WITH_TIMEOUT(canceled.count(), 1, 5000);
    QCOMPARE(finished.count(), 0);
    // Cancelled like any other way: it deletes itself.
    QTRY_VERIFY(!procedure);
}

void tst_Procedures::samplesKeepWatchdogFromFiring() {
    BaseProcedure* procedure = create(Loadcell);
    procedure->setTimeoutMs(1000);
    QSignalSpy canceled(procedure, &BaseProcedure::canceled);
    QSignalSpy finished(procedure, &BaseProcedure::finished);
    procedure->start();
    auto* watchdog = procedure->findChild<QTimer*>();
    QVERIFY(watchdog);
    QVERIFY(watchdog->isActive());
    // Every sample sets the inactivity watchdog going again at its full interval: once part of the
    // interval has run, the next sample winds it back up.
    for (int fed = 0; fed < 49; ++fed) {
        if (fed < 3)
            QTRY_VERIFY_WITH_TIMEOUT(watchdog->remainingTime() < 800, 5000);
        m_port->feed(sample(1, 2));
        QVERIFY(watchdog->isActive());
        QVERIFY(watchdog->remainingTime() > 900);
    }
    QCOMPARE(canceled.count(), 0);
    m_port->feed(sample(1, 2));
    QCOMPARE(finished.count(), 1);
}

void tst_Procedures::outcomeTable_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("outcome"); // -1: not in the table
    QTest::addColumn<bool>("keeps");
    QTest::addColumn<bool>("logged");

    const int normal = int(ReportOutcome::NormalEnd);
    const int keep = int(ReportOutcome::ErrorKeepTrace);
    const int discard = int(ReportOutcome::ErrorDiscardTrace);
    for (int code : {0, 1, 2, 3})
        QTest::addRow("%d", code) << code << normal << true << false;
    for (int code : {4, 5, 6, 7, 8, 9, 10, 12, 100})
        QTest::addRow("%d", code) << code << keep << true << true;
    QTest::newRow("11") << 11 << discard << false << true;
    QTest::newRow("None") << int(MotorReport::None) << discard << false << true;
    QTest::newRow("unknown 13") << 13 << -1 << true << true;
}

void tst_Procedures::outcomeTable() {
    QFETCH(int, code);
    QFETCH(int, outcome);
    QFETCH(bool, keeps);
    QFETCH(bool, logged);
    const auto report = MotorReport::Report(code);
    const std::optional<ReportOutcome> found = reportOutcome(report);
    QCOMPARE(found.has_value(), outcome >= 0);
    if (found)
        QCOMPARE(int(*found), outcome);
    QCOMPARE(keepsTrace(report), keeps);

    LogCapture log;
    logFailedPoints(report, {{1.5, 2.0}, {3.0, 4.25}});
    QCOMPARE(log.lines.size(), logged ? 1 : 0);
    if (logged)
        QCOMPARE(log.lines.at(0).text, QStringLiteral("Failed procedure measurement points (imperial): "
                                                      "QList(QPointF(1.5,2), QPointF(3,4.25))"));
}

void tst_Procedures::reportMessages_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("detail");

    QTest::newRow("0") << 0 << QString() << QString();
    QTest::newRow("2") << 2 << "Reached the second angle limit."
                       << "This is obsolete in the latest firmware. Please update your app and firmware.";
    QTest::newRow("5") << 5 << "Detected over-current during retraction." << QString();
    QTest::newRow("10")
        << 10 << "Reached bottom position."
        << "Invalid angle detected. Double check the sensor connections  and the sensor cable "
           "is kept away from the motor cable.";
    QTest::newRow("11") << 11 << "Failed to detect die in timeout."
                        << "Please make sure the loadcell is connected, the die is in place, and the ram is "
                           "adjusted correctly to sit closely to the loaded die.";
    QTest::newRow("None") << int(MotorReport::None) << "No report received."
                          << "The procedure took too long without receiving any report.";
    QTest::newRow("unknown 13") << 13 << QString() << QString();
}

void tst_Procedures::reportMessages() {
    QFETCH(int, code);
    QFETCH(QString, title);
    QFETCH(QString, detail);
    const ReportMessage message = ReportMessage::forReport(MotorReport::Report(code));
    QCOMPARE(message.title, title);
    QCOMPARE(message.detail, detail);

    FakeMessageBoxes boxes;
    showReportMessage(boxes, MotorReport::Report(code));
    if (title.isEmpty()) {
        QVERIFY(boxes.boxes.isEmpty());
    } else {
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes.at(0).kind, FakeMessageBoxes::Box::Warning);
        QCOMPARE(boxes.boxes.at(0).text, title);
        QCOMPARE(boxes.boxes.at(0).informativeText, detail);
    }
}

QTEST_GUILESS_MAIN(tst_Procedures)
#include "tst_procedures.moc"
