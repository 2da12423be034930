#include "app/ComparisonPanel.h"
#include "chart/GraphModel.h"
#include "chart/SessionModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/GroupComparison.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>

#include <cmath>

namespace {

// A stroke (imperial: inches, pounds) with the given peak force that ends at `terminal`. Its work done
// by the trapezoid rule is 0.15 peak + 0.05 terminal lbs·inch.
QList<QPointF> stroke(double peak, double terminal) {
    return {{0.3, 0.0}, {0.2, peak / 2}, {0.1, peak}, {0.0, terminal}};
}

struct Rig {
    GraphModel model;
    GraphContainer* active = new GraphContainer(true, &model);
    ComparisonPanel panel{&model};

    Rig() {
        model.setActiveSessionContainer(active);
        panel.refresh();
    }
    Graph* add(double peak, double terminal = 0.0) {
        return active->addGraphFromPress(stroke(peak, terminal), true);
    }
    // A comparison file as File › Load Compare gives it: its traces, then its name, then announced.
    GraphContainer* addFile(const QString& path, const QList<double>& peaks, double terminalBelow = 5.0) {
        QJsonArray graphs;
        for (double peak : peaks) {
            Graph graph;
            graph.setPoints(stroke(peak, peak - terminalBelow), true);
            graphs.append(graph.toJson());
        }
        QJsonObject file;
        file.insert(QStringLiteral("Graphs"), graphs);
        auto* container = new GraphContainer(&model);
        container->restoreFromJson(file);
        container->setFileName(path);
        model.addCompareContainer(container);
        return container;
    }
    QModelIndex cell(Graph* graph, int column) const {
        SessionModel* legend = model.sessionModel();
        for (int top = 0; top < legend->rowCount(); ++top) {
            const QModelIndex parent = legend->index(top, 0);
            for (int row = 0; row < legend->rowCount(parent); ++row) {
                if (legend->graphAt(legend->index(row, 0, parent)) == graph)
                    return legend->index(row, column, parent);
            }
        }
        return {};
    }
    template <typename T> T* child(const char* name) const {
        return panel.findChild<T*>(QString::fromLatin1(name));
    }
    QString verdict() const { return child<QLabel>("comparisonVerdict")->text(); }
    // The fields after the title of the copied line that starts with `title`.
    QStringList line(const QString& title) const {
        const QStringList lines = panel.text().split(QLatin1Char('\n'));
        for (const QString& text : lines) {
            const QStringList cells = text.split(QLatin1Char('\t'));
            if (cells.first() == title)
                return cells.mid(1);
        }
        return {};
    }
    QStringList comboItems(const char* name) const {
        QStringList items;
        const QComboBox* combo = child<QComboBox>(name);
        for (int i = 0; i < combo->count(); ++i)
            items.append(combo->itemText(i));
        return items;
    }
};

bool near(double actual, double expected, double relative) {
    return std::abs(actual - expected) <= relative * std::max(std::abs(expected), 1e-300);
}

} // namespace

class tst_ComparisonPanel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void picksTheActiveSessionAndTheFirstFileAndKeepsTheUsersPick();
    void comparesVisibleStrokesThatAreNotFlyersAsScipyDoes();
    void followsMeasurementAndUnits_data();
    void followsMeasurementAndUnits();
    void showsMissingFiguresAndCopiesEveryFigureAndTheSentences();
};

void tst_ComparisonPanel::picksTheActiveSessionAndTheFirstFileAndKeepsTheUsersPick() {
    Rig rig;
    for (double peak : {40.0, 41.0, 42.0})
        rig.add(peak);
    auto* first = rig.child<QComboBox>("firstContainerCombo");
    auto* second = rig.child<QComboBox>("secondContainerCombo");

    // The active session alone: nothing to compare, and the panel says what to do.
    QVERIFY(!first->isEnabled());
    QVERIFY(!second->isEnabled());
    QCOMPARE(rig.panel.firstContainer(), nullptr);
    QVERIFY(rig.verdict().contains(QStringLiteral("Load a comparison file")));
    QVERIFY(rig.child<QTableWidget>("comparisonTable")->isHidden());

    GraphContainer* dieB = rig.addFile(QStringLiteral("/loads/Die B.SDT"), {40.5, 41.5, 42.5});
    GraphContainer* dieC = rig.addFile(QStringLiteral("/loads/Die C.SDT"), {39.0, 40.0});
    QTRY_COMPARE(rig.panel.secondContainer(), dieB);
    QCOMPARE(rig.panel.firstContainer(), rig.active);
    QVERIFY(first->isEnabled() && second->isEnabled());
    const QStringList names = {QStringLiteral("Active Session"), QStringLiteral("Die B.SDT"),
                               QStringLiteral("Die C.SDT")};
    QCOMPARE(rig.comboItems("firstContainerCombo"), names);
    QCOMPARE(rig.comboItems("secondContainerCombo"), names);
    QCOMPARE(second->currentText(), QStringLiteral("Die B.SDT"));

    // Picking in one combo what the other shows swaps the two.
    first->setCurrentIndex(1);
    QCOMPARE(rig.panel.firstContainer(), dieB);
    QCOMPARE(rig.panel.secondContainer(), rig.active);
    QCOMPARE(second->currentText(), QStringLiteral("Active Session"));
    QCOMPARE(rig.panel.comparison().second().count, 3);

    // The pick outlives a new stroke and a renamed session, which rewrites the combos.
    second->setCurrentIndex(2);
    QCOMPARE(rig.panel.secondContainer(), dieC);
    rig.add(43.0);
    rig.active->setFileName(QStringLiteral("/loads/today.SDT"));
    QTRY_COMPARE(first->itemText(0), QStringLiteral("today.SDT (active)"));
    QCOMPARE(rig.panel.firstContainer(), dieB);
    QCOMPARE(rig.panel.secondContainer(), dieC);
    QCOMPARE(first->currentText(), QStringLiteral("Die B.SDT"));
    QCOMPARE(second->currentText(), QStringLiteral("Die C.SDT"));
    QCOMPARE(rig.panel.comparison().second().count, 2);

    // A closed pick falls back: the second to the first file that is not the first pick (before the
    // active session), the first to the active session.
    GraphContainer* dieD = rig.addFile(QStringLiteral("/loads/Die D.SDT"), {41.0, 42.0, 42.5});
    rig.panel.setContainers(dieB, dieC);
    delete dieC;
    QTRY_COMPARE(rig.panel.secondContainer(), dieD);
    QCOMPARE(rig.panel.firstContainer(), dieB);
    QCOMPARE(rig.comboItems("secondContainerCombo").size(), 3);
    QCOMPARE(second->currentText(), QStringLiteral("Die D.SDT"));
    rig.panel.setContainers(dieD, dieB);
    delete dieD;
    QTRY_COMPARE(rig.panel.firstContainer(), rig.active);
    QCOMPARE(rig.panel.secondContainer(), dieB);
    QCOMPARE(rig.panel.comparison().first().count, 4);

    // Back to one container: the combos are off again.
    delete dieB;
    QTRY_VERIFY(!first->isEnabled());
    QCOMPARE(rig.panel.secondContainer(), nullptr);
    QVERIFY(rig.verdict().contains(QStringLiteral("Load a comparison file")));
    QCOMPARE(rig.panel.comparison().first().count, 0);
}

void tst_ComparisonPanel::comparesVisibleStrokesThatAreNotFlyersAsScipyDoes() {
    // Reference values from SciPy 1.10.1 with NumPy 1.24.2 (Debian 12, /usr/bin/python3) on the counted
    // peak forces a = [41.2, 42.5, 40.8, 43.1, 41.9, 42.2, 40.5, 42.8],
    // b = [41.6, 41.9, 41.4, 41.8, 41.7, 42.0, 41.5]:
    //   scipy.stats.ttest_ind(a, b, equal_var=False) and the Welch–Satterthwaite df from numpy.var(ddof=1);
    //   F = var(a, ddof=1) / var(b, ddof=1), p = 2 min(scipy.stats.f.cdf(F, 7, 6), scipy.stats.f.sf(F, 7,
    //   6)); scipy.stats.levene(a, b, center='median').
    const QList<double> a{41.2, 42.5, 40.8, 43.1, 41.9, 42.2, 40.5, 42.8};
    const QList<double> b{41.6, 41.9, 41.4, 41.8, 41.7, 42.0, 41.5};
    Rig rig;
    for (double peak : a)
        rig.add(peak, peak - 5.0);
    rig.add(48.0)->setFlyer(true);
    rig.add(35.0)->setVisible(false);
    QList<double> withFlyer = b;
    withFlyer.insert(3, 45.0);
    GraphContainer* dieB = rig.addFile(QStringLiteral("/loads/Die B.SDT"), withFlyer);
    dieB->graphs().at(3)->setFlyer(true);
    rig.panel.refresh();

    QCOMPARE(rig.line(QStringLiteral("n")), (QStringList{QStringLiteral("8"), QStringLiteral("7")}));
    QCOMPARE(rig.line(QStringLiteral("Mean (lbs)")),
             (QStringList{QStringLiteral("41.875"), QStringLiteral("41.700")}));
    QCOMPARE(rig.line(QStringLiteral("SD (lbs)")),
             (QStringList{QStringLiteral("0.953"), QStringLiteral("0.216")}));
    QCOMPARE(rig.line(QStringLiteral("Difference of means")),
             (QStringList{QStringLiteral("0.505"), QStringLiteral("7.8"), QStringLiteral("0.63")}));
    QCOMPARE(rig.line(QStringLiteral("Ratio of variances")),
             (QStringList{QStringLiteral("19.45"), QStringLiteral("7, 6"), QStringLiteral("0.002")}));
    QCOMPARE(rig.line(QStringLiteral("Brown–Forsythe")),
             (QStringList{QStringLiteral("9.46"), QStringLiteral("1, 13"), QStringLiteral("0.0089")}));
    // On screen each figure says what it is; the test's name is the line above.
    auto* tests = rig.child<QTableWidget>("comparisonTestsTable");
    QCOMPARE(tests->item(2, 0)->text(), QStringLiteral("Ratio of variances"));
    QCOMPARE(tests->item(3, 0)->text(), QStringLiteral("F = 19.45"));
    QCOMPARE(tests->item(3, 1)->text(), QStringLiteral("df = 7, 6"));
    QCOMPARE(tests->item(3, 2)->text(), QStringLiteral("p = 0.002"));
    const GroupComparison& shown = rig.panel.comparison();
    QVERIFY(near(shown.welch().statistic, 0.5048685439972193, 1e-9));
    QVERIFY(near(shown.welch().df1, 7.81514116005602, 1e-9));
    QVERIFY(near(shown.welch().p, 0.6275762180366591, 1e-6));
    QVERIFY(near(shown.varianceRatio().statistic, 19.454081632653104, 1e-9));
    QVERIFY(near(shown.varianceRatio().p, 0.002002681462544133, 1e-6));
    QVERIFY(near(shown.brownForsythe().statistic, 9.458489364412253, 1e-9));
    QVERIFY(near(shown.brownForsythe().p, 0.008855211834259795, 1e-6));
    QVERIFY(rig.verdict().startsWith(QStringLiteral("Die B's peak-force spread is lower (SD 0.216 vs 0.953 "
                                                    "lbs, Brown–Forsythe p = 0.0089, n = 7 and 8).")));

    // A flyer marked and a trace hidden in the legend: counted out after the burst, not within it.
    QVERIFY(rig.model.sessionModel()->setData(rig.cell(rig.active->graphs().at(0), SessionModel::Flyer),
                                              Qt::Checked, Qt::CheckStateRole));
    QVERIFY(
        rig.model.sessionModel()->setData(rig.cell(dieB->graphs().at(0), SessionModel::Visibility), false));
    QCOMPARE(rig.panel.comparison().first().count, 8);
    QTRY_COMPARE(rig.panel.comparison().first().count, 7);
    QCOMPARE(rig.panel.comparison().second().count, 6);
    QCOMPARE(rig.line(QStringLiteral("n")), (QStringList{QStringLiteral("7"), QStringLiteral("6")}));
    const GroupComparison expected(a.mid(1), b.mid(1));
    QCOMPARE(shown.first().mean, expected.first().mean);
    QCOMPARE(shown.second().standardDeviation, expected.second().standardDeviation);
    QCOMPARE(shown.welch().statistic, expected.welch().statistic);
    QCOMPARE(shown.brownForsythe().p, expected.brownForsythe().p);
}

void tst_ComparisonPanel::followsMeasurementAndUnits_data() {
    QTest::addColumn<int>("measurement");
    QTest::addColumn<int>("units");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("spread"); // as the spread sentence names it
    // The measurement of a stroke from its peak and terminal force (lbs).
    QTest::addColumn<double>("perPeak");
    QTest::addColumn<double>("perTerminal");
    QTest::addColumn<double>("divisor"); // imperial to these units

    QTest::newRow("peak force, lbs") << int(PeakForce) << int(Imperial) << "lbs"
                                     << "peak-force spread" << 1.0 << 0.0 << 1.0;
    QTest::newRow("peak force, kg") << int(PeakForce) << int(Metric) << "kg"
                                    << "peak-force spread" << 1.0 << 0.0 << kLbsPerKg;
    QTest::newRow("terminal force, kg") << int(TerminalForce) << int(Metric) << "kg"
                                        << "terminal-force spread" << 0.0 << 1.0 << kLbsPerKg;
    QTest::newRow("work done, lbs·inch") << int(WorkDone) << int(Imperial) << "lbs·inch"
                                         << "work-done spread" << 0.15 << 0.05 << 1.0;
    QTest::newRow("work done, kg·mm") << int(WorkDone) << int(Metric) << "kg·mm"
                                      << "work-done spread" << 0.15 << 0.05 << kLbsPerKg * kInchPerMm;
}

void tst_ComparisonPanel::followsMeasurementAndUnits() {
    QFETCH(int, measurement);
    QFETCH(int, units);
    QFETCH(QString, unit);
    QFETCH(QString, spread);
    QFETCH(double, perPeak);
    QFETCH(double, perTerminal);
    QFETCH(double, divisor);

    // Terminal forces that do not follow the peaks, so that each measurement has figures of its own.
    const QList<double> peaksA{40.0, 42.0, 44.0, 41.0};
    const QList<double> terminalsA{30.0, 29.0, 33.0, 31.5};
    const QList<double> peaksB{43.0, 43.5, 44.5};
    Rig rig;
    QList<double> valuesA;
    QList<double> valuesB;
    for (int i = 0; i < peaksA.size(); ++i) {
        rig.add(peaksA.at(i), terminalsA.at(i));
        valuesA.append((perPeak * peaksA.at(i) + perTerminal * terminalsA.at(i)) / divisor);
    }
    for (double peak : peaksB)
        valuesB.append((perPeak * peak + perTerminal * (peak - 8.0)) / divisor);
    rig.addFile(QStringLiteral("/loads/Die B.SDT"), peaksB, 8.0);

    // The measurement as the user picks it.
    auto* combo = rig.child<QComboBox>("measurementCombo");
    QCOMPARE(combo->currentText(), QStringLiteral("Peak Force"));
    combo->setCurrentIndex(combo->findData(measurement));
    QCOMPARE(rig.panel.measurement(), Measurement(measurement));
    rig.panel.setUnits(Units(units));
    QTRY_COMPARE(rig.line(QStringLiteral("Mean (%1)").arg(unit)).size(), 2);

    const GroupComparison expected(valuesA, valuesB);
    const GroupComparison& shown = rig.panel.comparison();
    QVERIFY2(near(shown.first().mean, expected.first().mean, 1e-6),
             qPrintable(QStringLiteral("%1 vs %2").arg(shown.first().mean).arg(expected.first().mean)));
    QVERIFY(near(shown.second().mean, expected.second().mean, 1e-6));
    QVERIFY(near(shown.first().standardDeviation, expected.first().standardDeviation, 1e-6));
    QVERIFY(near(shown.second().standardDeviation, expected.second().standardDeviation, 1e-6));
    QVERIFY(near(shown.welch().statistic, expected.welch().statistic, 1e-6));
    QVERIFY(near(shown.varianceRatio().statistic, expected.varianceRatio().statistic, 1e-6));
    QVERIFY(near(shown.brownForsythe().p, expected.brownForsythe().p, 1e-6));
    const QStringList means = rig.line(QStringLiteral("Mean (%1)").arg(unit));
    QVERIFY(near(means.at(0).toDouble(), expected.first().mean, 1e-3));
    QVERIFY(near(means.at(1).toDouble(), expected.second().mean, 1e-3));
    QVERIFY2(rig.verdict().contains(spread) && rig.verdict().contains(QStringLiteral(" %1,").arg(unit)),
             qPrintable(rig.verdict()));
}

void tst_ComparisonPanel::showsMissingFiguresAndCopiesEveryFigureAndTheSentences() {
    Rig rig;
    rig.add(41.0);
    rig.addFile(QStringLiteral("/loads/Die B.v2.SDT"), {40.0, 40.2, 39.9});
    rig.panel.refresh();

    // One stroke: no SD and no test, shown as a dash that says why and copied as an empty field.
    auto* tests = rig.child<QTableWidget>("comparisonTestsTable");
    for (int row = 1; row < tests->rowCount(); row += 2) {
        for (int column = 0; column < tests->columnCount(); ++column) {
            QVERIFY(tests->item(row, column)->text().endsWith(QStringLiteral(" = —")));
            QVERIFY(tests->item(row, column)->toolTip().startsWith(QStringLiteral("Too few strokes")));
        }
    }
    auto* table = rig.child<QTableWidget>("comparisonTable");
    QCOMPARE(table->item(2, 0)->text(), QStringLiteral("—"));
    QCOMPARE(rig.line(QStringLiteral("SD (lbs)")), (QStringList{QString(), QStringLiteral("0.153")}));
    QCOMPARE(rig.line(QStringLiteral("Brown–Forsythe")), (QStringList{QString(), QString(), QString()}));

    // Every line of both tables with a field per column, then the two sentences, the untitled session
    // named as such and the file without its suffix.
    const QStringList lines = rig.panel.text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + table->rowCount() + 1 + tests->rowCount() / 2 + 2);
    QCOMPARE(lines.at(0), QStringLiteral("Peak Force\tActive Session\tDie B.v2.SDT"));
    QCOMPARE(lines.at(4), QStringLiteral("Test\tStatistic\tdf\tp"));
    for (int i = 0; i < 8; ++i)
        QCOMPARE(lines.at(i).count(QLatin1Char('\t')), i < 4 ? 2 : 3);
    QCOMPARE(lines.at(8),
             QStringLiteral("Too few strokes to compare the peak-force spread: the active session "
                            "has 1 and Die B.v2 has 3; each needs at least 2."));
    QVERIFY(lines.at(9).startsWith(QStringLiteral("Too few strokes to compare the mean peak force")));

    // A sentence that opens with the untitled session starts with a capital.
    for (double peak : {44.0, 44.5, 43.8, 44.2})
        rig.add(peak);
    rig.panel.refresh();
    QVERIFY2(rig.verdict().contains(QStringLiteral("\n\nThe active session's peak force is higher")),
             qPrintable(rig.verdict()));

    // Ctrl+C in either table, and the tables' context menus, copy it all.
    rig.panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.panel));
    for (QTableWidget* copied : {table, tests}) {
        QGuiApplication::clipboard()->clear();
        copied->setFocus();
        QTest::keySequence(copied, QKeySequence::Copy);
        QCOMPARE(QGuiApplication::clipboard()->text(), rig.panel.text());
        QCOMPARE(copied->contextMenuPolicy(), Qt::ActionsContextMenu);
        QVERIFY(copied->actions().contains(rig.panel.copyAction()));
    }
    QVERIFY(rig.panel.text().endsWith(rig.verdict().split(QLatin1Char('\n')).last() + QLatin1Char('\n')));
}

QTEST_MAIN(tst_ComparisonPanel)
#include "tst_comparisonpanel.moc"
