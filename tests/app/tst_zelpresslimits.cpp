// Tolerance limits in the main window on the emulated press: set, judged live, saved and undone.
#include "WindowBench.h"

#include "app/ComparisonPanel.h"
#include "app/StatisticsPanel.h"
#include "app/ToleranceCommands.h"
#include "app/ZelPress.h"
#include "chart/GraphModel.h"
#include "chart/SessionModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/UndoHistory.h"
#include "dialogs/ToleranceLimitsDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

namespace {

struct LimitsBench : Bench {
    LimitsBench() { action(*window, "imperialUnitsAction")->trigger(); }
    GraphContainer* active() const { return window->activeContainer(); }
    QLabel* verdictLabel() const { return window->findChild<QLabel*>(QStringLiteral("verdictLabel")); }
    // What the legend says of a trace: the judged cell's verdict and tooltip.
    QModelIndex judgedCell(const Graph* graph) const {
        SessionModel* legend = window->graphModel()->sessionModel();
        const QModelIndex top = legend->index(0, 0);
        for (int row = 0; row < legend->rowCount(top); ++row) {
            if (legend->graphAt(legend->index(row, 0, top)) == graph)
                return legend->index(row, SessionModel::PeakForce, top);
        }
        return {};
    }
    bool stroke() {
        const int before = int(active()->graphs().size());
        action(*window, "goAction")->trigger();
        return QTest::qWaitFor([&] { return active()->graphs().size() == before + 1; }, kStrokeMs) &&
               QTest::qWaitFor([&] { return action(*window, "goAction")->isEnabled(); }, kStrokeMs);
    }
};

ToleranceLimits::Verdict expected(const Graph* graph, double low, double high) {
    const double peak = graph->data(Imperial).peakForce();
    return peak < low    ? ToleranceLimits::Low
           : peak > high ? ToleranceLimits::High
                         : ToleranceLimits::InTolerance;
}

} // namespace

class tst_ZelPressLimits : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void fiveStrokesAreJudgedLiveSavedAndUndone();
    void twoLoadedSessionsGetAVerdict();
};

void tst_ZelPressLimits::fiveStrokesAreJudgedLiveSavedAndUndone() {
    LimitsBench bench;
    bench.window->show();
    QVERIFY(bench.readyForStrokes());
    QVERIFY(bench.stroke());
    const double first = bench.active()->graphs().first()->data(Imperial).peakForce();
    QVERIFY(std::isfinite(first));
    QVERIFY(bench.verdictLabel()->isHidden());

    // The dialog from the Setup menu, answered as a user would: low and high limits with the first stroke
    // just above the high one, so it is judged HIGH at once.
    const double low = first - 40.0;
    const double high = first - 0.01;
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<ToleranceLimitsDlg*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        // It starts from the session's mean peak force.
        QCOMPARE(dialog->nominalSpin()->value(), QString::number(first, 'f', 2).toDouble());
        dialog->rangeButton()->setChecked(true);
        dialog->lowSpin()->setValue(low);
        dialog->highSpin()->setValue(high);
        dialog->okButton()->click();
    });
    action(*bench.window, "toleranceLimitsAction")->trigger();
    const ToleranceLimits set = bench.active()->limits();
    QVERIFY(set.hasLow() && set.hasHigh());
    // The form rounds to its two decimals.
    const double setLow = set.low();
    const double setHigh = set.high();
    QCOMPARE(setHigh, QString::number(high, 'f', 2).toDouble());
    QVERIFY(bench.active()->unsaved());
    QVERIFY(bench.verdictLabel()->isVisible());
    QVERIFY2(bench.verdictLabel()->text().startsWith(QStringLiteral("Trace 1: HIGH, Peak Force ")),
             qPrintable(bench.verdictLabel()->text()));

    // Four more strokes: each judged the moment it is added, in the status bar and in its legend row.
    for (int i = 2; i <= 5; ++i) {
        QVERIFY(bench.stroke());
        const Graph* latest = bench.active()->graphs().constLast();
        const ToleranceLimits::Verdict verdict = expected(latest, setLow, setHigh);
        QCOMPARE(bench.active()->verdictFor(latest), verdict);
        QVERIFY2(bench.verdictLabel()->text().startsWith(QStringLiteral("Trace %1: %2,")
                                                             .arg(latest->traceNumber())
                                                             .arg(ToleranceLimits::verdictText(verdict))),
                 qPrintable(bench.verdictLabel()->text()));
        const QModelIndex cell = bench.judgedCell(latest);
        QCOMPARE(cell.data(SessionModel::kVerdictRole).toInt(), int(verdict));
        QVERIFY(cell.data(Qt::ToolTipRole).toString().contains(set.text()));
        QVERIFY(cell.data(Qt::BackgroundRole).canConvert<QColor>());
        // The neighbouring measurement cells are not judged.
        QVERIFY(
            !cell.siblingAtColumn(SessionModel::TerminalForce).data(SessionModel::kVerdictRole).isValid());
    }
    QList<int> verdicts;
    for (const Graph* graph : bench.active()->graphs())
        verdicts.append(int(bench.active()->verdictFor(graph)));
    QCOMPARE(verdicts.first(), int(ToleranceLimits::High));

    // Saved and opened again: the same limits and so the same verdicts.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("limits.SDT"));
    bench.dialog->savePath = path;
    action(*bench.window, "saveSessionAction")->trigger();
    QVERIFY(!bench.active()->unsaved());
    GraphContainer reopened(false, nullptr);
    QVERIFY(reopened.loadFromFile(path));
    QCOMPARE(reopened.limits(), set);
    QList<int> reopenedVerdicts;
    for (const Graph* graph : reopened.graphs())
        reopenedVerdicts.append(int(reopened.verdictFor(graph)));
    QCOMPARE(reopenedVerdicts, verdicts);

    // New limits from the statistics panel's button, then Undo: the old limits and verdicts are back.
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<ToleranceLimitsDlg*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->bandButton()->setChecked(true);
        dialog->nominalSpin()->setValue(first);
        dialog->bandSpin()->setValue(100.0);
        dialog->okButton()->click();
    });
    bench.window->statisticsPanel()->limitsButton()->click();
    QVERIFY(bench.active()->limits().hasBand());
    QVERIFY2(bench.verdictLabel()->text().startsWith(QStringLiteral("Trace 5: In tolerance,")),
             qPrintable(bench.verdictLabel()->text()));
    action(*bench.window, "undoAction")->trigger();
    QTRY_COMPARE(bench.active()->limits(), set);
    QCOMPARE(int(bench.active()->verdictFor(bench.active()->graphs().first())), int(ToleranceLimits::High));
    QCOMPARE(bench.active()->graphs().size(), 5);
    QVERIFY(bench.verdictLabel()->text().startsWith(
        QStringLiteral("Trace 5: %1,")
            .arg(ToleranceLimits::verdictText(ToleranceLimits::Verdict(verdicts.last())))));

    // Removing the limits hides the line and leaves the legend unjudged.
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<ToleranceLimitsDlg*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->removeButton()->click();
    });
    action(*bench.window, "toleranceLimitsAction")->trigger();
    QVERIFY(!bench.active()->limits().hasLimits());
    QVERIFY(bench.verdictLabel()->isHidden());
    QVERIFY(!bench.judgedCell(bench.active()->graphs().first()).data(SessionModel::kVerdictRole).isValid());
}

void tst_ZelPressLimits::twoLoadedSessionsGetAVerdict() {
    // Two sessions saved earlier with these peak forces; reference values from SciPy 1.10.1 (Debian 12):
    // scipy.stats.levene(a, b, center='median') gives F = 9.458489364412253, p = 0.008855211834259795;
    // scipy.stats.ttest_ind(a, b, equal_var=False) gives p = 0.6275762180366591.
    const QList<double> a{41.2, 42.5, 40.8, 43.1, 41.9, 42.2, 40.5, 42.8};
    const QList<double> b{41.6, 41.9, 41.4, 41.8, 41.7, 42.0, 41.5};
    QTemporaryDir folder;
    const auto save = [&](const QString& name, const QList<double>& peaks) {
        GraphContainer session(true, nullptr);
        for (double peak : peaks)
            session.addGraphFromPress({{0.3, 0.0}, {0.2, peak / 2}, {0.1, peak}, {0.0, 1.0}}, true);
        const QString path = folder.filePath(name);
        return session.writeToFile(path) ? path : QString();
    };
    const QString dieA = save(QStringLiteral("Die A.SDT"), a);
    const QString dieB = save(QStringLiteral("Die B.SDT"), b);
    QVERIFY(!dieA.isEmpty() && !dieB.isEmpty());

    LimitsBench bench;
    bench.window->show();
    for (const QString& path : {dieA, dieB}) {
        bench.dialog->openPath = path;
        action(*bench.window, "loadCompareAction")->trigger();
    }
    QCOMPARE(bench.window->graphModel()->compareContainers().size(), 2);

    // The user picks the two files in the Compare tab, the active session being empty.
    StatisticsPanel* statistics = bench.window->statisticsPanel();
    statistics->lowerTabs()->setCurrentIndex(1);
    ComparisonPanel* panel = statistics->comparisonPanel();
    panel->refresh();
    auto* first = panel->findChild<QComboBox*>(QStringLiteral("firstContainerCombo"));
    auto* second = panel->findChild<QComboBox*>(QStringLiteral("secondContainerCombo"));
    first->setCurrentIndex(first->findText(QStringLiteral("Die A.SDT")));
    second->setCurrentIndex(second->findText(QStringLiteral("Die B.SDT")));
    QTRY_COMPARE(panel->secondContainer(), bench.window->graphModel()->compareContainers().at(1));
    QCOMPARE(panel->firstContainer(), bench.window->graphModel()->compareContainers().at(0));

    const GroupComparison& shown = panel->comparison();
    QVERIFY(std::abs(shown.brownForsythe().statistic - 9.458489364412253) < 1e-9);
    QVERIFY(std::abs(shown.brownForsythe().p - 0.008855211834259795) < 1e-6);
    QVERIFY(std::abs(shown.welch().p - 0.6275762180366591) < 1e-6);
    auto* verdict = panel->findChild<QLabel*>(QStringLiteral("comparisonVerdict"));
    QVERIFY2(verdict->text().startsWith(
                 QStringLiteral("Die B's peak-force spread is lower (SD 0.216 vs 0.953 lbs, "
                                "Brown–Forsythe p = 0.0089, n = 7 and 8).")),
             qPrintable(verdict->text()));
}

QTEST_MAIN(tst_ZelPressLimits)
#include "tst_zelpresslimits.moc"
