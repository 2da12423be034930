#include "data/Capability.h"
#include "data/ToleranceLimits.h"

#include <QJsonDocument>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

bool same(double actual, double expected) {
    if (std::isnan(expected))
        return std::isnan(actual);
    if (std::isinf(expected))
        return actual == expected;
    return std::abs(actual - expected) <= 1e-9 * std::max(std::abs(expected), 1.0);
}

std::optional<double> side(double value) {
    return std::isnan(value) ? std::nullopt : std::optional<double>(value);
}

ToleranceLimits limits(double low, double high, Units units = Imperial) {
    return ToleranceLimits::withLimits(PeakForce, side(low), side(high), units).value();
}

QJsonObject object(const char* json) {
    return QJsonDocument::fromJson(json).object();
}

} // namespace

Q_DECLARE_METATYPE(ToleranceLimits)

class tst_ToleranceLimits : public QObject {
    Q_OBJECT
private slots:
    void verdicts_data();
    void verdicts();
    void refusedLimits();
    void conversion_data();
    void conversion();
    void json_data();
    void json();
    void jsonRoundTrip();
    void text_data();
    void text();
    void capability_data();
    void capability();
};

void tst_ToleranceLimits::verdicts_data() {
    QTest::addColumn<ToleranceLimits>("limits");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("verdict");

    const ToleranceLimits band = ToleranceLimits::withBand(PeakForce, 43.5, 1.0, Imperial).value();
    QTest::newRow("band, inside") << band << 43.9 << int(ToleranceLimits::InTolerance);
    QTest::newRow("band, on the low limit") << band << 42.5 << int(ToleranceLimits::InTolerance);
    QTest::newRow("band, on the high limit") << band << 44.5 << int(ToleranceLimits::InTolerance);
    QTest::newRow("band, below") << band << 42.49 << int(ToleranceLimits::Low);
    QTest::newRow("band, above") << band << 44.51 << int(ToleranceLimits::High);
    QTest::newRow("band, NaN") << band << kNaN << int(ToleranceLimits::NotJudged);
    QTest::newRow("band, infinite") << band << kInf << int(ToleranceLimits::NotJudged);
    QTest::newRow("low only, far above") << limits(40.0, kNaN) << 1e6 << int(ToleranceLimits::InTolerance);
    QTest::newRow("low only, below") << limits(40.0, kNaN) << 39.0 << int(ToleranceLimits::Low);
    QTest::newRow("high only, far below") << limits(kNaN, 40.0) << -5.0 << int(ToleranceLimits::InTolerance);
    QTest::newRow("high only, above") << limits(kNaN, 40.0) << 40.5 << int(ToleranceLimits::High);
    QTest::newRow("zero band, on it") << ToleranceLimits::withBand(WorkDone, 2.0, 0.0, Metric).value() << 2.0
                                      << int(ToleranceLimits::InTolerance);
    QTest::newRow("no limits") << ToleranceLimits() << 43.0 << int(ToleranceLimits::NotJudged);
}

void tst_ToleranceLimits::verdicts() {
    QFETCH(ToleranceLimits, limits);
    QFETCH(double, value);
    QFETCH(int, verdict);
    QCOMPARE(int(limits.verdictFor(value)), verdict);
}

void tst_ToleranceLimits::refusedLimits() {
    QVERIFY(!ToleranceLimits::withBand(PeakForce, 43.5, -0.1, Imperial));
    QVERIFY(!ToleranceLimits::withBand(PeakForce, kNaN, 1.0, Imperial));
    QVERIFY(!ToleranceLimits::withBand(PeakForce, 43.5, kInf, Imperial));
    QVERIFY(!ToleranceLimits::withBand(StartingPosition, 0.5, 0.1, Imperial));
    QVERIFY(!ToleranceLimits::withLimits(PeakForce, 45.0, 44.0, Imperial));
    QVERIFY(!ToleranceLimits::withLimits(PeakForce, -kInf, 44.0, Imperial));
    QVERIFY(!ToleranceLimits::withLimits(Velocity, 1.0, 2.0, Imperial));
    QVERIFY(ToleranceLimits::withLimits(TerminalForce, 44.0, 44.0, Imperial));
    QVERIFY(!ToleranceLimits::withLimits(TerminalForce, std::nullopt, std::nullopt, Metric)->hasLimits());
}

void tst_ToleranceLimits::conversion_data() {
    QTest::addColumn<ToleranceLimits>("limits");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<double>("nominal");

    // Forces by kLbsPerKg = 2.20462, work by that times kInchPerMm = 0.0393701; the metric figures are
    // lbs / 2.20462 and lbf·in / 2.20462 / 0.0393701 (Python: 10 / 2.20462 = 4.535929094356398).
    QTest::newRow("force to metric") << limits(10.0, kNaN).inUnits(Metric) << 4.535929094356398 << kNaN
                                     << kNaN;
    QTest::newRow("force to imperial")
        << limits(kNaN, 10.0, Metric).inUnits(Imperial) << kNaN << 22.0462 << kNaN;
    QTest::newRow("work to metric")
        << ToleranceLimits::withLimits(WorkDone, 1.5, std::nullopt, Imperial)->inUnits(Metric)
        << 17.281880517282396 << kNaN << kNaN;
    QTest::newRow("work to imperial")
        << ToleranceLimits::withLimits(WorkDone, std::nullopt, 2.0, Metric)->inUnits(Imperial) << kNaN
        << 0.17359221972399996 << kNaN;
    QTest::newRow("a band stays a band")
        << ToleranceLimits::withBand(TerminalForce, 43.5, 1.0, Imperial)->inUnits(Metric)
        << 19.73129156045033 - 0.45359290943563974 << 19.73129156045033 + 0.45359290943563974
        << 19.73129156045033;
    QTest::newRow("same units") << limits(1.0, 2.0).inUnits(Imperial) << 1.0 << 2.0 << kNaN;
}

void tst_ToleranceLimits::conversion() {
    QFETCH(ToleranceLimits, limits);
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(double, nominal);
    QVERIFY2(same(limits.low(), low), QByteArray::number(limits.low(), 'g', 17));
    QVERIFY2(same(limits.high(), high), QByteArray::number(limits.high(), 'g', 17));
    QVERIFY2(same(limits.nominal(), nominal), QByteArray::number(limits.nominal(), 'g', 17));
    QCOMPARE(limits.hasBand(), !std::isnan(nominal));
}

void tst_ToleranceLimits::json_data() {
    QTest::addColumn<QJsonObject>("object");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<ToleranceLimits>("expected");

    const ToleranceLimits none;
    QTest::newRow("empty: no limits") << QJsonObject() << true << none;
    QTest::newRow("band, metric work")
        << object(R"({"Measurement": "WorkDone", "Units": "Metric", "Nominal": 20, "Band": 1.5})") << true
        << ToleranceLimits::withBand(WorkDone, 20.0, 1.5, Metric).value();
    QTest::newRow("low only, defaults, unknown member ignored")
        << object(R"({"Low": 42.5, "Colour": "red"})") << true << limits(42.5, kNaN);
    QTest::newRow("high only")
        << object(R"({"Measurement": "TerminalForce", "High": 44})") << true
        << ToleranceLimits::withLimits(TerminalForce, std::nullopt, 44.0, Imperial).value();
    QTest::newRow("low above high") << object(R"({"Low": 45, "High": 44})") << false << none;
    QTest::newRow("limit as text") << object(R"({"Low": "42.5"})") << false << none;
    QTest::newRow("null limit") << object(R"({"High": null})") << false << none;
    QTest::newRow("negative band") << object(R"({"Nominal": 43, "Band": -1})") << false << none;
    QTest::newRow("nominal alone") << object(R"({"Nominal": 43})") << false << none;
    QTest::newRow("band and limits mixed")
        << object(R"({"Nominal": 43, "Band": 1, "Low": 41})") << false << none;
    QTest::newRow("unknown measurement")
        << object(R"({"Measurement": "Velocity", "Low": 1})") << false << none;
    QTest::newRow("measurement by number") << object(R"({"Measurement": 0, "Low": 1})") << false << none;
    QTest::newRow("unknown units") << object(R"({"Units": "Furlongs", "Low": 1})") << false << none;
}

void tst_ToleranceLimits::json() {
    QFETCH(QJsonObject, object);
    QFETCH(bool, accepted);
    QFETCH(ToleranceLimits, expected);
    QString error;
    const std::optional<ToleranceLimits> read = ToleranceLimits::fromJson(object, &error);
    QCOMPARE(read.has_value(), accepted);
    QCOMPARE(error.isEmpty(), accepted);
    if (read)
        QVERIFY(*read == expected);
}

void tst_ToleranceLimits::jsonRoundTrip() {
    const ToleranceLimits cases[] = {
        ToleranceLimits(),  ToleranceLimits::withBand(WorkDone, 20.0, 1.5, Metric).value(),
        limits(42.5, kNaN), limits(kNaN, 44.0, Metric),
        limits(42.5, 44.0),
    };
    for (const ToleranceLimits& original : cases) {
        const QJsonObject json = original.toJson();
        const std::optional<ToleranceLimits> read = ToleranceLimits::fromJson(json);
        QVERIFY2(read && *read == original, QJsonDocument(json).toJson(QJsonDocument::Compact));
    }
    QVERIFY(limits(42.5, 44.0) != ToleranceLimits::withBand(PeakForce, 43.25, 0.75, Imperial).value());
    QVERIFY(limits(42.5, 44.0) != limits(42.5, 44.0, Metric));
}

void tst_ToleranceLimits::text_data() {
    QTest::addColumn<ToleranceLimits>("limits");
    QTest::addColumn<QString>("expected");

    QTest::newRow("none") << ToleranceLimits() << QString();
    QTest::newRow("band") << *ToleranceLimits::withBand(PeakForce, 42.0, 1.5, Imperial)
                          << QString::fromUtf8("Peak Force 42.00 \u00b1 1.50 lbs");
    QTest::newRow("both sides") << *ToleranceLimits::withLimits(TerminalForce, 18.125, 20.0, Metric)
                                << QStringLiteral("Terminal Force 18.13 to 20.00 kg");
    QTest::newRow("low only") << *ToleranceLimits::withLimits(WorkDone, 3.0, std::nullopt, Imperial)
                              << QString::fromUtf8("Work Done at least 3.00 lbs\u00b7inch");
    QTest::newRow("high only") << *ToleranceLimits::withLimits(WorkDone, std::nullopt, 40.0, Metric)
                               << QString::fromUtf8("Work Done at most 40.00 kg\u00b7mm");
}

void tst_ToleranceLimits::text() {
    QFETCH(ToleranceLimits, limits);
    QFETCH(QString, expected);
    QCOMPARE(limits.text(), expected);
}

void tst_ToleranceLimits::capability_data() {
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<ToleranceLimits>("limits");
    QTest::addColumn<QList<int>>("counts"); // count, in tolerance, low, high
    QTest::addColumn<double>("cp");
    QTest::addColumn<double>("cpk");

    // Cp and Cpk by their formulas from numpy 1.24.2's mean and std(ddof=1) on Debian 12.
    const QList<double> batch{43.8, 42.6, 43.1, 44.0, 42.9, 43.5, 42.2, 43.3, 44.4, 42.7};
    QTest::newRow("two-sided") << batch << limits(42.5, 44.5) << QList<int>{10, 9, 1, 0}
                               << 0.48650425541052084 << 0.3648781915578872;
    QTest::newRow("low only: Cpk of that side")
        << batch << limits(42.5, kNaN) << QList<int>{10, 9, 1, 0} << kNaN << 0.3648781915578872;
    QTest::newRow("high only, on the limit is in")
        << batch << limits(kNaN, 44.0) << QList<int>{10, 9, 0, 1} << kNaN << 0.3648781915578941;
    QTest::newRow("non-finite values left out")
        << QList<double>{43.1, kNaN, 44.0, kInf, 42.9} << limits(42.5, 44.5) << QList<int>{3, 3, 0, 0}
        << 0.568880123988574 << 0.4740667699904797;
    QTest::newRow("n = 2") << QList<double>{40.13, 40.57} << limits(40.0, 41.0) << QList<int>{2, 2, 0, 0}
                           << 0.535686955444357 << 0.3749808688110514;
    QTest::newRow("no spread, inside")
        << QList<double>(3, 43.0) << limits(42.0, 44.0) << QList<int>{3, 3, 0, 0} << kInf << kInf;
    QTest::newRow("no spread, above")
        << QList<double>(2, 45.0) << limits(42.0, 44.0) << QList<int>{2, 0, 0, 2} << kInf << -kInf;
    QTest::newRow("no spread, on the limit")
        << QList<double>(3, 44.0) << limits(42.0, 44.0) << QList<int>{3, 3, 0, 0} << kInf << 0.0;
    QTest::newRow("no spread, equal limits")
        << QList<double>(2, 44.0) << limits(44.0, 44.0) << QList<int>{2, 2, 0, 0} << 0.0 << 0.0;
    QTest::newRow("n = 1") << QList<double>{43.0} << limits(42.0, 44.0) << QList<int>{1, 1, 0, 0} << kNaN
                           << kNaN;
    QTest::newRow("no limits") << batch << ToleranceLimits() << QList<int>{10, 0, 0, 0} << kNaN << kNaN;
}

void tst_ToleranceLimits::capability() {
    QFETCH(QList<double>, values);
    QFETCH(ToleranceLimits, limits);
    QFETCH(QList<int>, counts);
    QFETCH(double, cp);
    QFETCH(double, cpk);
    const Capability capability(values, limits);
    QCOMPARE(QList<int>({capability.count(), capability.inTolerance(), capability.low(), capability.high()}),
             counts);
    QVERIFY2(same(capability.cp(), cp), QByteArray::number(capability.cp(), 'g', 17));
    QVERIFY2(same(capability.cpk(), cpk), QByteArray::number(capability.cpk(), 'g', 17));
}

QTEST_GUILESS_MAIN(tst_ToleranceLimits)
#include "tst_tolerancelimits.moc"
