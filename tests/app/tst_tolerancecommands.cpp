#include "app/ToleranceCommands.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/UndoHistory.h"

#include <QLabel>
#include <QStandardPaths>
#include <QTest>

Q_DECLARE_METATYPE(ToleranceLimits)

namespace {

// A stroke whose peak force is `peak` pounds.
QList<QPointF> stroke(double peak) {
    return {{0.3, 0.0}, {0.2, peak / 2}, {0.1, peak}, {0.0, 1.0}};
}

} // namespace

class tst_ToleranceCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void verdictLine_data();
    void verdictLine();
    void eachStrokeFromThePressIsJudgedAndEditsAreUndoable();
};

void tst_ToleranceCommands::verdictLine_data() {
    QTest::addColumn<ToleranceLimits>("limits");
    QTest::addColumn<double>("peak");
    QTest::addColumn<int>("units");
    QTest::addColumn<QString>("expected");

    const ToleranceLimits window = *ToleranceLimits::withLimits(PeakForce, 40.0, 44.0, Imperial);
    QTest::newRow("no limits") << ToleranceLimits() << 42.0 << int(Imperial) << QString();
    QTest::newRow("in") << window << 42.0 << int(Imperial)
                        << QStringLiteral("Trace 1: In tolerance, Peak Force 42.00 lbs");
    QTest::newRow("on the limit is in")
        << window << 44.0 << int(Imperial) << QStringLiteral("Trace 1: In tolerance, Peak Force 44.00 lbs");
    QTest::newRow("high") << window << 45.2 << int(Imperial)
                          << QStringLiteral("Trace 1: HIGH, Peak Force 45.20 lbs");
    // 39 / 2.20462 = 17.69; the limits 18.14 and 19.96 kg.
    QTest::newRow("low, shown in kg")
        << window << 39.0 << int(Metric) << QStringLiteral("Trace 1: LOW, Peak Force 17.69 kg");
    QTest::newRow("terminal force judged")
        << *ToleranceLimits::withBand(TerminalForce, 0.5, 0.25, Imperial) << 42.0 << int(Imperial)
        << QString::fromUtf8("Trace 1: HIGH, Terminal Force 1.00 lbs");
}

void tst_ToleranceCommands::verdictLine() {
    QFETCH(ToleranceLimits, limits);
    QFETCH(double, peak);
    QFETCH(int, units);
    QFETCH(QString, expected);
    GraphContainer container(true, nullptr);
    container.addGraphFromPress(stroke(peak), true);
    container.setLimits(limits);
    QCOMPARE(ToleranceCommands::verdictLine(&container, Units(units)), expected);
}

void tst_ToleranceCommands::eachStrokeFromThePressIsJudgedAndEditsAreUndoable() {
    // Go and autorun both add their strokes through addGraphFromPress.
    GraphContainer container(true, nullptr);
    UndoHistory undo(&container);
    undo.reset();
    QLabel label;
    ToleranceCommands commands(&container, &undo, nullptr, &label, nullptr);
    QList<ToleranceLimits> asked;
    std::optional<ToleranceLimits> answer = *ToleranceLimits::withLimits(PeakForce, 40.0, 44.0, Imperial);
    commands.setLimitsDialog([&](const ToleranceLimits& current, Units, double, QWidget*) {
        asked.append(current);
        return answer;
    });
    container.addGraphFromPress(stroke(42.0), true);
    QVERIFY(label.isHidden());

    commands.editLimits();
    QCOMPARE(container.limits(), *answer);
    QVERIFY(label.text().startsWith(QStringLiteral("Trace 1: In tolerance")));
    container.addGraphFromPress(stroke(46.0), true);
    QVERIFY(label.text().startsWith(QStringLiteral("Trace 2: HIGH")));
    QVERIFY(label.styleSheet().contains(QStringLiteral("#c62828")));
    QCOMPARE(label.toolTip(), QStringLiteral("Tolerance: Peak Force 40.00 to 44.00 lbs"));

    // Cancelled, or the same limits again: nothing recorded.
    answer = std::nullopt;
    commands.editLimits();
    answer = container.limits();
    commands.editLimits();
    QCOMPARE(asked.size(), 3);
    QCOMPARE(asked.last(), container.limits());

    // Removing them is an edit like any other; Undo returns to the state recorded with the limits (the
    // second stroke came after that record, as the window records strokes itself).
    answer = ToleranceLimits();
    commands.editLimits();
    QVERIFY(!container.limits().hasLimits());
    QVERIFY(label.isHidden());
    undo.undo();
    QCOMPARE(container.limits(), *ToleranceLimits::withLimits(PeakForce, 40.0, 44.0, Imperial));
    QCOMPARE(container.graphs().size(), 1);
    QVERIFY(!label.isHidden());
    QVERIFY(label.text().startsWith(QStringLiteral("Trace 1: In tolerance")));
}

QTEST_MAIN(tst_ToleranceCommands)
#include "tst_tolerancecommands.moc"
