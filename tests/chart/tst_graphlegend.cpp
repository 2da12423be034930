#include "chart/GraphContainerItemMenu.h"
#include "chart/GraphLegend.h"
#include "chart/GraphModel.h"
#include "chart/LegendTreeView.h"
#include "chart/SessionModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "support/MemoryFileSystem.h"

#include <QHeaderView>
#include <QPointer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <memory>

namespace {

void flushDeletions() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The window's set-up in small: a graph model with an active session of three traces and one comparison
// file handed over before the legend gets the model, and the legend shown.
class LegendFixture {
public:
    LegendFixture() {
        active = new GraphContainer(std::make_shared<MemoryFileSystem>(), true, &graphModel);
        graphModel.setActiveSessionContainer(active);
        // Inserted as b, c, a; velocities 3, 1, 2.
        for (const auto& [name, velocity] : {std::pair{"b", 3.0}, {"c", 1.0}, {"a", 2.0}}) {
            Graph* graph = active->addGraphFromPress({{1, 1}, {0.5, velocity}}, true);
            graph->setName(QString::fromLatin1(name));
            graph->setVelocity(velocity);
        }
        before = addCompare(QStringLiteral("/loads/before.SDT"), 2);
        legend.setModel(graphModel.sessionModel());
        legend.resize(700, 400);
        legend.show();
    }

    GraphContainer* addCompare(const QString& fileName, int traces) {
        auto* container = new GraphContainer(std::make_shared<MemoryFileSystem>(), &window);
        container->setFileName(fileName);
        for (int i = 0; i < traces; ++i)
            container->addGraphFromPress({{1, 1}, {0.5, 2}}, true);
        graphModel.addCompareContainer(container);
        return container;
    }

    SessionModel* model() { return graphModel.sessionModel(); }
    LegendTreeView* tree() { return legend.treeView(); }

    QModelIndex rowOf(const GraphContainer* container) {
        for (int row = 0; row < model()->rowCount(); ++row) {
            if (model()->containerAt(model()->index(row, 0)) == container)
                return model()->index(row, 0);
        }
        return {};
    }

    QModelIndex cellOf(const Graph* graph, int column) {
        const QModelIndex parent = rowOf(graph->container());
        for (int row = 0; row < model()->rowCount(parent); ++row) {
            if (model()->graphAt(model()->index(row, 0, parent)) == graph)
                return model()->index(row, column, parent);
        }
        return {};
    }

    Graph* activeNamed(const QString& name) {
        for (Graph* graph : active->graphs()) {
            if (graph->name() == name)
                return graph;
        }
        return nullptr;
    }

    QStringList activeTitles() {
        QStringList titles;
        const QModelIndex parent = rowOf(active);
        for (int row = 0; row < model()->rowCount(parent); ++row)
            titles.append(model()->index(row, SessionModel::Title, parent).data().toString());
        return titles;
    }

    GraphContainerItemMenu* barOf(const GraphContainer* container) {
        return qobject_cast<GraphContainerItemMenu*>(tree()->indexWidget(rowOf(container)));
    }

    void clickCell(const QModelIndex& index) {
        tree()->scrollTo(index); // the measurement columns may push the last ones out of sight
        const QRect rect = tree()->visualRect(index);
        QVERIFY(tree()->viewport()->rect().contains(rect.center()));
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, rect.center());
    }

    void clickHeader(int section) {
        QHeaderView* header = tree()->header();
        const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    QWidget window;
    GraphModel graphModel{&window};
    GraphContainer* active = nullptr;
    GraphContainer* before = nullptr;
    GraphLegend legend;
};

} // namespace

class tst_GraphLegend : public QObject {
    Q_OBJECT
private slots:
    void panelHasNamedPartsAndSortsByTitle();
    void sortGuardKeepsPreviousSorting_data();
    void sortGuardKeepsPreviousSorting();
    void oneClickTogglesVisibilityAndEditsVelocity();
    void onlyComparisonRowsHaveTheBar();
    void barEyeAppliesOneStateToAllTraces();
    void closingComparisonFileRemovesItsRowOnly();
    void columnVisibilityLeavesModelAlone_data();
    void columnVisibilityLeavesModelAlone();
    void textColumnsKeepToTheirWidestCell();
    void traceNumberColumnTakesTheRestButNeverLessThanItsTitle();
};

void tst_GraphLegend::panelHasNamedPartsAndSortsByTitle() {
    LegendFixture f;
    QCOMPARE(f.legend.findChild<LegendTreeView*>(QStringLiteral("legendTreeView")), f.tree());
    QCOMPARE(f.legend.findChild<QToolButton*>(QStringLiteral("renumberTracesButton"))->text(),
             QStringLiteral("Renumber"));
    QCOMPARE(f.legend.removeGraphButton()->objectName(), QStringLiteral("removeGraphButton"));
    QCOMPARE(f.legend.removeGraphButton()->text(), QStringLiteral("Remove"));
    QCOMPARE(f.legend.editGraphButton()->objectName(), QStringLiteral("editGraphButton"));
    QCOMPARE(f.legend.editGraphButton()->text(), QStringLiteral("Edit"));
    QVERIFY(f.legend.findChild<QFrame*>(QStringLiteral("container")));
    QVERIFY(f.legend.findChild<QFrame*>(QStringLiteral("header")));

    QCOMPARE(f.legend.sortColumn(), int(SessionModel::Title));
    QCOMPARE(f.legend.sortOrder(), Qt::AscendingOrder);
    QCOMPARE(f.activeTitles(), (QStringList{"a", "b", "c"}));
    QCOMPARE(f.tree()->header()->sectionSize(SessionModel::Color), 22);
    QCOMPARE(f.tree()->header()->sectionSize(SessionModel::Visibility), 22);
    QVERIFY(f.tree()->isExpanded(f.rowOf(f.active)));
    QVERIFY(f.tree()->isFirstColumnSpanned(f.rowOf(f.before).row(), QModelIndex()));
}

void tst_GraphLegend::sortGuardKeepsPreviousSorting_data() {
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("ascending"); // the active rows when sorted ascending by that column
    const QStringList byTitle{"a", "b", "c"};
    const QStringList byVelocity{"c", "a", "b"};
    const QStringList byNumber{"b", "c", "a"};
    QTest::newRow("Flyer") << QList<int>{SessionModel::Flyer} << int(SessionModel::Title) << byTitle;
    QTest::newRow("Reference") << QList<int>{SessionModel::Reference} << int(SessionModel::Title) << byTitle;
    QTest::newRow("Color") << QList<int>{SessionModel::Color} << int(SessionModel::Title) << byTitle;
    QTest::newRow("Visibility") << QList<int>{SessionModel::Visibility} << int(SessionModel::Title)
                                << byTitle;
    QTest::newRow("Velocity") << QList<int>{SessionModel::Velocity} << int(SessionModel::Velocity)
                              << byVelocity;
    QTest::newRow("Trace #") << QList<int>{SessionModel::TraceNumber} << int(SessionModel::TraceNumber)
                             << byNumber;
    QTest::newRow("Velocity, then Flyer") << QList<int>{SessionModel::Velocity, SessionModel::Flyer}
                                          << int(SessionModel::Velocity) << byVelocity;
    QTest::newRow("Trace #, then Visibility, then Color")
        << QList<int>{SessionModel::TraceNumber, SessionModel::Visibility, SessionModel::Color}
        << int(SessionModel::TraceNumber) << byNumber;
    QTest::newRow("Title again") << QList<int>{SessionModel::Title} << int(SessionModel::Title) << byTitle;
}

void tst_GraphLegend::sortGuardKeepsPreviousSorting() {
    QFETCH(QList<int>, clicks);
    QFETCH(int, column);
    QFETCH(QStringList, ascending);
    LegendFixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.legend));
    for (int section : clicks)
        f.clickHeader(section);

    QCOMPARE(f.legend.sortColumn(), column);
    QCOMPARE(f.tree()->storedSortColumn(), column);
    QCOMPARE(f.tree()->storedSortOrder(), f.legend.sortOrder());
    QStringList expected = ascending;
    if (f.legend.sortOrder() == Qt::DescendingOrder)
        std::reverse(expected.begin(), expected.end());
    QCOMPARE(f.activeTitles(), expected);
    if (clicks.last() == SessionModel::Title)
        QCOMPARE(f.legend.sortOrder(), Qt::DescendingOrder); // the same section flips
}

void tst_GraphLegend::oneClickTogglesVisibilityAndEditsVelocity() {
    LegendFixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.legend));
    Graph* b = f.activeNamed(QStringLiteral("b"));
    QSignalSpy edited(f.model(), &SessionModel::activeSessionInlineEdit);
    f.clickCell(f.cellOf(b, SessionModel::Visibility));
    QVERIFY(!b->visible());
    for (const Graph* other : f.active->graphs() + f.before->graphs())
        QCOMPARE(other->visible(), other == b ? false : true);
    QCOMPARE(edited.count(), 1);
    // QTest spaces its clicks beyond the double-click interval, so this is a click of its own.
    f.clickCell(f.cellOf(b, SessionModel::Visibility));
    QVERIFY(b->visible());

    // A comparison trace toggles the same way.
    Graph* old = f.before->graphs().last();
    f.clickCell(f.cellOf(old, SessionModel::Visibility));
    QVERIFY(!old->visible());

    // A double click is passed on for Edit Plot.
    QSignalSpy doubleClicked(&f.legend, &GraphLegend::itemDoubleClicked);
    const QModelIndex title = f.cellOf(b, SessionModel::Title);
    f.clickCell(title); // a real double click starts with a press and release
    QTest::mouseDClick(f.tree()->viewport(), Qt::LeftButton, {}, f.tree()->visualRect(title).center());
    QCOMPARE(doubleClicked.count(), 1);
    QCOMPARE(doubleClicked.first().first().toModelIndex(), title);

    // One click on a Velocity cell opens its editor, also right after a double click on its row (the
    // view's own delayed edit then opens it), and nothing complains.
    QTest::failOnWarning("edit: editing failed");
    f.clickCell(f.cellOf(b, SessionModel::Velocity));
    QTRY_VERIFY(f.tree()->indexWidget(f.cellOf(b, SessionModel::Velocity)));
    auto* editor = qobject_cast<QSpinBox*>(f.tree()->indexWidget(f.cellOf(b, SessionModel::Velocity)));
    QVERIFY(editor); // the cell holds a whole number, so its editor takes whole numbers
    QCOMPARE(editor->value(), 3);
    QTest::keyClick(editor, Qt::Key_Escape);
    QTRY_COMPARE(f.tree()->indexWidget(f.cellOf(b, SessionModel::Velocity)), nullptr);
    Graph* a = f.activeNamed(QStringLiteral("a"));
    f.clickCell(f.cellOf(a, SessionModel::Title));
    QCOMPARE(f.tree()->indexWidget(f.cellOf(a, SessionModel::Title)), nullptr);
    f.clickCell(f.cellOf(f.activeNamed(QStringLiteral("c")), SessionModel::Velocity));
    QVERIFY(f.tree()->indexWidget(f.cellOf(f.activeNamed(QStringLiteral("c")), SessionModel::Velocity)));
}

void tst_GraphLegend::onlyComparisonRowsHaveTheBar() {
    LegendFixture f;
    GraphContainer* after =
        f.addCompare(QStringLiteral("/loads/after.SDT"), 1); // arrives through rowsInserted
    QCOMPARE(f.tree()->indexWidget(f.rowOf(f.active)), nullptr);
    QVERIFY(f.barOf(f.before));
    QVERIFY(f.barOf(after));
    QVERIFY(f.barOf(f.before) != f.barOf(after));
    QVERIFY(f.tree()->isExpanded(f.rowOf(after)));
    QVERIFY(f.tree()->isFirstColumnSpanned(f.rowOf(after).row(), QModelIndex()));

    // A legend given the model later sets up the rows already there.
    GraphLegend late;
    late.setModel(f.model());
    QCOMPARE(late.treeView()->indexWidget(f.rowOf(f.active)), nullptr);
    QVERIFY(qobject_cast<GraphContainerItemMenu*>(late.treeView()->indexWidget(f.rowOf(after))));
}

void tst_GraphLegend::barEyeAppliesOneStateToAllTraces() {
    LegendFixture f;
    GraphContainer* after = f.addCompare(QStringLiteral("/loads/after.SDT"), 3);
    after->graphs().at(1)->setVisible(false);
    GraphContainerItemMenu* bar = f.barOf(after);
    auto* eye = bar->findChild<QToolButton*>(QStringLiteral("visibilityBtn"));
    QVERIFY(eye);
    QSignalSpy toggled(bar, &GraphContainerItemMenu::visibilityChanged);

    eye->click();
    QCOMPARE(toggled.count(), 1);
    QCOMPARE(toggled.last().first().toBool(), false);
    for (const Graph* graph : after->graphs())
        QVERIFY(!graph->visible());
    eye->click();
    QCOMPARE(toggled.last().first().toBool(), true);
    for (const Graph* graph : after->graphs())
        QVERIFY(graph->visible());
    // Other containers keep their own states.
    for (const Graph* graph : f.active->graphs() + f.before->graphs())
        QVERIFY(graph->visible());
}

void tst_GraphLegend::closingComparisonFileRemovesItsRowOnly() {
    LegendFixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.legend));
    GraphContainer* after = f.addCompare(QStringLiteral("/loads/after.SDT"), 2);
    QPointer<GraphContainer> closing(f.before);
    QPointer<Graph> closingTrace(f.before->graphs().first());
    f.tree()->selectionModel()->select(f.cellOf(closingTrace, SessionModel::Title),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

    f.barOf(f.before)->findChild<QToolButton*>(QStringLiteral("closeBtn"))->click();
    QVERIFY(closing); // deferred: the click handler returns first
    flushDeletions();
    QVERIFY(!closing);
    QVERIFY(!closingTrace);
    QCOMPARE(f.model()->rowCount(), 2);
    QCOMPARE(f.graphModel.compareContainers(), QList<GraphContainer*>{after});
    QCOMPARE(f.model()->rowCount(f.rowOf(f.active)), 3);
    QCOMPARE(f.model()->rowCount(f.rowOf(after)), 2);
    QCOMPARE(f.rowOf(after).data().toString(), QStringLiteral("after.SDT"));
    QVERIFY(!f.legend.grab().isNull()); // the view lays out and paints the changed tree

    // The remaining file's bar still acts on its own row, now one higher up.
    f.barOf(after)->findChild<QToolButton*>(QStringLiteral("visibilityBtn"))->click();
    for (const Graph* graph : after->graphs())
        QVERIFY(!graph->visible());
    for (const Graph* graph : f.active->graphs())
        QVERIFY(graph->visible());
    f.barOf(after)->findChild<QToolButton*>(QStringLiteral("closeBtn"))->click();
    flushDeletions();
    QCOMPARE(f.model()->rowCount(), 1);
    QVERIFY(f.graphModel.compareContainers().isEmpty());
}

void tst_GraphLegend::columnVisibilityLeavesModelAlone_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("key");
    QTest::newRow("Velocity") << int(SessionModel::Velocity) << "Velocity";
    QTest::newRow("Flyer") << int(SessionModel::Flyer) << "Flyer";
    QTest::newRow("WorkDone") << int(SessionModel::WorkDone) << "WorkDone";
    QTest::newRow("StartingPosition") << int(SessionModel::StartingPosition) << "StartingPosition";
}

void tst_GraphLegend::columnVisibilityLeavesModelAlone() {
    QFETCH(int, column);
    QFETCH(QString, key);
    LegendFixture f;
    Graph* a = f.activeNamed(QStringLiteral("a"));
    QTest::ignoreMessage(QtDebugMsg, qPrintable(key + QStringLiteral(" column disabled.")));
    f.legend.setColumnVisible(column, false);
    QVERIFY(f.tree()->isColumnHidden(column));
    QCOMPARE(f.model()->columnCount(), int(SessionModel::Count));

    // Changes while hidden show when the column comes back.
    a->setVelocity(77.2);
    a->setFlyer(true);
    f.model()->setUnits(Metric);
    QTest::ignoreMessage(QtDebugMsg, qPrintable(key + QStringLiteral(" column enabled.")));
    f.legend.setColumnVisible(column, true);
    QVERIFY(!f.tree()->isColumnHidden(column));
    const QModelIndex cell = f.cellOf(a, column);
    QVERIFY(f.tree()->visualRect(cell).width() > 0);
    if (column == SessionModel::Velocity)
        QCOMPARE(cell.data(), QVariant(77));
    else if (column == SessionModel::Flyer)
        QCOMPARE(cell.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    else if (column == SessionModel::WorkDone)
        QCOMPARE(cell.data().toDouble(), a->data(Metric).workDone());
    else
        QCOMPARE(cell.data().toDouble(), a->data(Metric).startingPosition());
}

// The view measures rows as they come and go instead of the header measuring all of them at each layout;
// after every kind of change each text column must still be exactly as wide as Qt's own measure of all
// its rows (or its header) makes it.
void tst_GraphLegend::textColumnsKeepToTheirWidestCell() {
    LegendFixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.legend));
    QHeaderView* header = f.tree()->header();
    const auto fitsItsCells = [&](const char* step) {
        QCoreApplication::processEvents(); // the view's delayed layout
        for (int column :
             {int(SessionModel::Reference), int(SessionModel::Title), int(SessionModel::WorkDone),
              int(SessionModel::PeakForce), int(SessionModel::TerminalForce),
              int(SessionModel::StartingPosition), int(SessionModel::Velocity), int(SessionModel::Flyer)}) {
            const int expected =
                std::max(static_cast<QAbstractItemView*>(f.tree())->sizeHintForColumn(column),
                         header->sectionSizeHint(column));
            if (header->sectionSize(column) != expected)
                return QStringLiteral("%1: column %2 is %3 px, its widest cell %4 px")
                    .arg(QLatin1String(step))
                    .arg(column)
                    .arg(header->sectionSize(column))
                    .arg(expected);
        }
        return QString();
    };
    QString failed = fitsItsCells("set up");
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    const int titleAtStart = header->sectionSize(SessionModel::Title);

    Graph* longest = f.active->addGraphFromPress({{1, 1}, {0.5, 2}}, true);
    longest->setName(QStringLiteral("a rather long name for a trace"));
    failed = fitsItsCells("a trace renamed longer");
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    QVERIFY(header->sectionSize(SessionModel::Title) > titleAtStart);

    longest->setVelocity(123456.75);
    longest->setFlyer(true);
    failed = fitsItsCells("velocity and flyer edited");
    QVERIFY2(failed.isEmpty(), qPrintable(failed));

    GraphContainer* after = f.addCompare(QStringLiteral("/loads/after.SDT"), 12);
    after->graphs().first()->setName(QStringLiteral("an even longer name for a trace, in a file"));
    failed = fitsItsCells("a comparison file of twelve traces");
    QVERIFY2(failed.isEmpty(), qPrintable(failed));

    f.model()->setUnits(Metric);
    failed = fitsItsCells("units switched");
    QVERIFY2(failed.isEmpty(), qPrintable(failed));

    after->deleteLater();
    flushDeletions();
    f.active->removeGraph(longest);
    flushDeletions();
    failed = fitsItsCells("the long names removed");
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    QCOMPARE(header->sectionSize(SessionModel::Title), titleAtStart);

    QFont larger = f.tree()->font();
    larger.setPointSizeF(larger.pointSizeF() * 1.5);
    f.tree()->setFont(larger);
    failed = fitsItsCells("a larger font");
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
}

// The trace number column fills what the other columns leave of a wide panel; on a narrow one it keeps its
// title whole ("Trace #", not "Trac") and the view scrolls sideways instead.
void tst_GraphLegend::traceNumberColumnTakesTheRestButNeverLessThanItsTitle() {
    LegendFixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.legend));
    QHeaderView* header = f.tree()->header();
    const auto fills = [&](const char* step) {
        QCoreApplication::processEvents(); // the view's delayed layout
        int shown = 0;
        for (int section = 0; section < header->count(); ++section)
            shown += header->isSectionHidden(section) ? 0 : header->sectionSize(section);
        const int own =
            std::max(static_cast<QAbstractItemView*>(f.tree())->sizeHintForColumn(SessionModel::TraceNumber),
                     header->sectionSizeHint(SessionModel::TraceNumber));
        const int number = header->sectionSize(SessionModel::TraceNumber);
        const int room = f.tree()->viewport()->width();
        QString problem;
        if (number < own)
            problem =
                QStringLiteral("the trace numbers have %1 px, their title needs %2").arg(number).arg(own);
        else if (shown < room)
            problem = QStringLiteral("the columns leave %1 px of the view empty").arg(room - shown);
        else if (shown > room && number != own)
            problem = QStringLiteral("the trace numbers take %1 px of a view too narrow for the columns")
                          .arg(number);
        else if (shown > room && !f.tree()->horizontalScrollBar()->isVisible())
            problem = QStringLiteral("the columns run past the view, which cannot scroll");
        return problem.isEmpty() ? problem : QLatin1String(step) + QStringLiteral(": ") + problem;
    };
    f.legend.resize(1000, 400);
    QString failed = fills("wide");
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    for (int column :
         {int(SessionModel::WorkDone), int(SessionModel::PeakForce), int(SessionModel::Velocity)})
        f.legend.setColumnVisible(column, false);
    failed = fills("wide, three columns hidden");
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    f.legend.resize(250, 400);
    failed = fills("narrow");
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    for (int column :
         {int(SessionModel::WorkDone), int(SessionModel::PeakForce), int(SessionModel::Velocity)})
        f.legend.setColumnVisible(column, true);
    failed = fills("narrow, every column");
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    f.legend.resize(1000, 400);
    failed = fills("wide again");
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
}

QTEST_MAIN(tst_GraphLegend)
#include "tst_graphlegend.moc"
