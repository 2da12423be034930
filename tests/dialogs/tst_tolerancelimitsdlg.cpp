#include "dialogs/ToleranceLimitsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <functional>

Q_DECLARE_METATYPE(ToleranceLimits)

namespace {

using Fill = std::function<void(ToleranceLimitsDlg&)>;

ToleranceLimits range(Measurement measurement, std::optional<double> low, std::optional<double> high,
                      Units units = Imperial) {
    return ToleranceLimits::withLimits(measurement, low, high, units).value();
}

} // namespace

Q_DECLARE_METATYPE(Fill)

class tst_ToleranceLimitsDlg : public QObject {
    Q_OBJECT
private slots:
    void formGivesLimits_data();
    void formGivesLimits();
    void currentLimitsAreShownAndKeptWhenUntouched();
};

void tst_ToleranceLimitsDlg::formGivesLimits_data() {
    QTest::addColumn<Fill>("fill");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<ToleranceLimits>("expected");

    QTest::newRow("band") << Fill([](ToleranceLimitsDlg& d) {
        d.bandButton()->setChecked(true);
        d.nominalSpin()->setValue(42.0);
        d.bandSpin()->setValue(1.5);
    }) << true << *ToleranceLimits::withBand(PeakForce, 42.0, 1.5, Imperial);
    QTest::newRow("zero band refused") << Fill([](ToleranceLimitsDlg& d) {
        d.bandButton()->setChecked(true);
        d.bandSpin()->setValue(0.0);
    }) << false << ToleranceLimits();
    QTest::newRow("both limits on work done, three decimals") << Fill([](ToleranceLimitsDlg& d) {
        d.measurementCombo()->setCurrentIndex(d.measurementCombo()->findData(int(WorkDone)));
        d.rangeButton()->setChecked(true);
        d.lowCheck()->setChecked(true);
        d.highCheck()->setChecked(true);
        d.lowSpin()->setValue(2.125);
        d.highSpin()->setValue(2.375);
    }) << true << range(WorkDone, 2.125, 2.375);
    QTest::newRow("high side open") << Fill([](ToleranceLimitsDlg& d) {
        d.measurementCombo()->setCurrentIndex(d.measurementCombo()->findData(int(TerminalForce)));
        d.rangeButton()->setChecked(true);
        d.lowCheck()->setChecked(true);
        d.highCheck()->setChecked(false);
        d.lowSpin()->setValue(-3.0);
    }) << true << range(TerminalForce, -3.0, std::nullopt);
    QTest::newRow("both sides open refused") << Fill([](ToleranceLimitsDlg& d) {
        d.rangeButton()->setChecked(true);
        d.lowCheck()->setChecked(false);
        d.highCheck()->setChecked(false);
    }) << false << ToleranceLimits();
    QTest::newRow("low above high refused") << Fill([](ToleranceLimitsDlg& d) {
        d.rangeButton()->setChecked(true);
        d.lowCheck()->setChecked(true);
        d.highCheck()->setChecked(true);
        d.lowSpin()->setValue(50.0);
        d.highSpin()->setValue(40.0);
    }) << false << ToleranceLimits();
    QTest::newRow("equal low and high") << Fill([](ToleranceLimitsDlg& d) {
        d.rangeButton()->setChecked(true);
        d.lowCheck()->setChecked(true);
        d.highCheck()->setChecked(true);
        d.lowSpin()->setValue(40.0);
        d.highSpin()->setValue(40.0);
    }) << true << range(PeakForce, 40.0, 40.0);
}

void tst_ToleranceLimitsDlg::formGivesLimits() {
    QFETCH(Fill, fill);
    QFETCH(bool, valid);
    QFETCH(ToleranceLimits, expected);

    ToleranceLimitsDlg dialog(ToleranceLimits(), Imperial, 44.0);
    fill(dialog);
    QCOMPARE(dialog.isValid(), valid);
    QCOMPARE(dialog.okButton()->isEnabled(), valid);
    auto* problem = dialog.findChild<QLabel*>(QStringLiteral("limitsProblemLabel"));
    QCOMPARE(problem->text().isEmpty(), valid);
    QCOMPARE(dialog.limits(), expected);
    // Nothing to remove on a session without limits.
    QVERIFY(!dialog.removeButton()->isEnabled());
}

void tst_ToleranceLimitsDlg::currentLimitsAreShownAndKeptWhenUntouched() {
    // Imperial limits shown in a metric window: converted and rounded to the form's decimals.
    const ToleranceLimits current = range(PeakForce, 40.0, 44.0);
    {
        ToleranceLimitsDlg dialog(current, Metric);
        QVERIFY(dialog.rangeButton()->isChecked());
        QCOMPARE(dialog.lowSpin()->value(), 18.14); // 40 / 2.20462 = 18.1437
        QCOMPARE(dialog.highSpin()->value(), 19.96);
        // Ok on the untouched form keeps the limits exactly, not their rounded metric form.
        QCOMPARE(dialog.limits(), current);
        // Touched, the form's values count, in the units shown.
        dialog.highSpin()->setValue(20.0);
        QCOMPARE(dialog.limits(), range(PeakForce, 18.14, 20.0, Metric));
    }
    {
        // A band comes back as a band; Remove Limits gives none.
        ToleranceLimitsDlg dialog(*ToleranceLimits::withBand(PeakForce, 42.0, 1.5, Imperial), Imperial);
        QVERIFY(dialog.bandButton()->isChecked());
        QCOMPARE(dialog.nominalSpin()->value(), 42.0);
        QCOMPARE(dialog.bandSpin()->value(), 1.5);
        QSignalSpy accepted(&dialog, &QDialog::accepted);
        dialog.removeButton()->click();
        QCOMPARE(accepted.size(), 1);
        QVERIFY(!dialog.limits().hasLimits());
    }
    {
        // A one-sided limit: the open side unticked, ready at the other side's value.
        ToleranceLimitsDlg dialog(range(WorkDone, std::nullopt, 3.5), Imperial);
        QCOMPARE(dialog.measurementCombo()->currentData().toInt(), int(WorkDone));
        QVERIFY(!dialog.lowCheck()->isChecked());
        QVERIFY(dialog.highCheck()->isChecked());
        QCOMPARE(dialog.lowSpin()->value(), 3.5);
        QCOMPARE(dialog.lowSpin()->decimals(), 3);
    }
}

QTEST_MAIN(tst_ToleranceLimitsDlg)
#include "tst_tolerancelimitsdlg.moc"
