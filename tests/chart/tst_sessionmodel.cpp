#include "chart/GraphModel.h"
#include "chart/SessionModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "support/MemoryFileSystem.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <limits>
#include <memory>

namespace {

// Five rises in a row: imperial peak 5, work 12.5, terminal 5, starting position 10.
const QList<QPointF> kRisingStroke{{10, 0}, {9, 1}, {8, 2}, {7, 3}, {6, 4}, {5, 5}};
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

void flushDeletions() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

GraphContainer* newContainer(bool active, QObject* parent, const QString& fileName = QString()) {
    auto* container = new GraphContainer(std::make_shared<MemoryFileSystem>(), active, parent);
    container->setFileName(fileName);
    return container;
}

QModelIndex containerIndex(const QAbstractItemModel& model, const GraphContainer* container) {
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, SessionModel::Reference);
        if (index.data(SessionModel::kObjectRole).value<GraphContainer*>() == container)
            return index;
    }
    return {};
}

// The index of a column in the trace's row, found by scanning the model.
QModelIndex traceIndex(const QAbstractItemModel& model, const Graph* graph, int column) {
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex parent = model.index(row, 0);
        for (int child = 0; child < model.rowCount(parent); ++child) {
            const QModelIndex index = model.index(child, SessionModel::Reference, parent);
            if (index.data(SessionModel::kObjectRole).value<Graph*>() == graph)
                return index.siblingAtColumn(column);
        }
    }
    return {};
}

QVariant cell(const QAbstractItemModel& model, const Graph* graph, int column, int role = Qt::DisplayRole) {
    return traceIndex(model, graph, column).data(role);
}

QImage iconImage(const QVariant& icon) {
    return icon.value<QIcon>().pixmap(16, 16).toImage();
}

QImage iconImage(const QString& path) {
    return QIcon(path).pixmap(16, 16).toImage();
}

QStringList titlesUnder(const QAbstractItemModel& model, const QModelIndex& parent) {
    QStringList titles;
    for (int row = 0; row < model.rowCount(parent); ++row)
        titles.append(model.index(row, SessionModel::Title, parent).data().toString());
    return titles;
}

} // namespace

class tst_SessionModel : public QObject {
    Q_OBJECT
private slots:
    void columnsHeadersAndFlags_data();
    void columnsHeadersAndFlags();
    void traceRowShowsTheTrace();
    void traceCellsFollowTheTrace();
    void containerRowText_data();
    void containerRowText();
    void referenceRenumbersTraceNumberStays();
    void editsReachTheTrace_data();
    void editsReachTheTrace();
    void inlineEditSignalOnlyForActiveSession_data();
    void inlineEditSignalOnlyForActiveSession();
    void unitsRewriteMeasurementsOfEveryRow();
    void valuesWithoutWholeOrFiniteFormShowEmpty_data();
    void valuesWithoutWholeOrFiniteFormShowEmpty();
    void modelChangedOnInsertsAndRemovals();
    void closingComparisonContainerLeavesOtherRowsAlone();
    void graphModelHandsContainersOver();
};

void tst_SessionModel::columnsHeadersAndFlags_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("header");
    QTest::addColumn<Qt::ItemFlags>("flags");
    const Qt::ItemFlags plain = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    QTest::newRow("Reference") << int(SessionModel::Reference) << QString() << plain;
    QTest::newRow("Color") << int(SessionModel::Color) << QString() << plain;
    QTest::newRow("TraceNumber") << int(SessionModel::TraceNumber) << "Trace #" << plain;
    QTest::newRow("Title") << int(SessionModel::Title) << "Title" << plain;
    QTest::newRow("WorkDone") << int(SessionModel::WorkDone) << "Work Done" << plain;
    QTest::newRow("PeakForce") << int(SessionModel::PeakForce) << "Peak Force" << plain;
    QTest::newRow("TerminalForce") << int(SessionModel::TerminalForce) << "Terminal Force" << plain;
    QTest::newRow("StartingPosition") << int(SessionModel::StartingPosition) << "Starting Pos" << plain;
    QTest::newRow("Velocity") << int(SessionModel::Velocity) << "Velocity" << (plain | Qt::ItemIsEditable);
    QTest::newRow("Flyer") << int(SessionModel::Flyer) << "Flyer" << (plain | Qt::ItemIsUserCheckable);
    QTest::newRow("Visibility") << int(SessionModel::Visibility) << QString() << plain;
}

void tst_SessionModel::columnsHeadersAndFlags() {
    QFETCH(int, column);
    QFETCH(QString, header);
    QFETCH(Qt::ItemFlags, flags);
    SessionModel model;
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), int(SessionModel::Count));
    QCOMPARE(int(SessionModel::Count), 11);
    QCOMPARE(model.headerData(column, Qt::Horizontal).toString(), header);

    QObject owner;
    GraphContainer* container = newContainer(true, &owner);
    container->addGraphFromPress(kRisingStroke, true);
    model.addContainer(container);
    const QModelIndex containerRow = model.index(0, SessionModel::Reference);
    QCOMPARE(model.flags(containerRow), Qt::ItemFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
    QCOMPARE(model.flags(model.index(0, column, containerRow)), flags);
}

void tst_SessionModel::traceRowShowsTheTrace() {
    QObject owner;
    GraphContainer* container = newContainer(true, &owner);
    container->addGraphFromPress({}, true);
    Graph* graph = container->addGraphFromPress(kRisingStroke, true);
    graph->setName(QStringLiteral("Seated 0.300"));
    graph->setTraceNumber(7);
    graph->setVelocity(12.7);
    graph->setFlyer(true);
    graph->setVisible(false);
    graph->setColor(QColor(Qt::red));

    SessionModel model;
    model.addContainer(container);
    QCOMPARE(model.rowCount(model.index(0, 0)), 2);
    const QModelIndex reference = traceIndex(model, graph, SessionModel::Reference);
    QCOMPARE(reference.data(), QVariant(2)); // its position, not its number
    QCOMPARE(reference.data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::gray));
    QCOMPARE(reference.data(SessionModel::kObjectRole).value<Graph*>(), graph);
    QCOMPARE(model.graphAt(reference.siblingAtColumn(SessionModel::Title)), graph);
    QCOMPARE(model.containerAt(reference), nullptr);
    QCOMPARE(model.containerAt(model.index(0, 0)), container);
    QCOMPARE(cell(model, graph, SessionModel::TraceNumber), QVariant(7));
    QCOMPARE(cell(model, graph, SessionModel::Title).toString(), QStringLiteral("Seated 0.300"));
    QCOMPARE(cell(model, graph, SessionModel::Color, Qt::DecorationRole).value<QColor>(), QColor(Qt::red));
    QCOMPARE(cell(model, graph, SessionModel::WorkDone), QVariant(12.5));
    QCOMPARE(cell(model, graph, SessionModel::PeakForce), QVariant(5.0));
    QCOMPARE(cell(model, graph, SessionModel::TerminalForce), QVariant(5.0));
    QCOMPARE(cell(model, graph, SessionModel::StartingPosition), QVariant(10.0));
    QCOMPARE(cell(model, graph, SessionModel::Velocity), QVariant(12)); // fraction dropped
    QCOMPARE(cell(model, graph, SessionModel::Flyer, Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(iconImage(cell(model, graph, SessionModel::Visibility, Qt::DecorationRole)),
             iconImage(QStringLiteral(":/icons/invisible.png")));
}

void tst_SessionModel::traceCellsFollowTheTrace() {
    QObject owner;
    GraphContainer* container = newContainer(true, &owner);
    SessionModel model;
    model.addContainer(container);
    Graph* graph = container->addGraphFromPress(kRisingStroke, true);
    QCOMPARE(cell(model, graph, SessionModel::Title).toString(), QStringLiteral("Trace 1"));
    QCOMPARE(cell(model, graph, SessionModel::Color, Qt::DecorationRole).value<QColor>(), QColor(0, 0, 255));

    graph->setName(QStringLiteral("renamed"));
    graph->setTraceNumber(4);
    graph->setVelocity(-3.9);
    graph->setFlyer(true);
    graph->setVisible(false);
    QCOMPARE(cell(model, graph, SessionModel::Title).toString(), QStringLiteral("renamed"));
    QCOMPARE(cell(model, graph, SessionModel::TraceNumber), QVariant(4));
    QCOMPARE(cell(model, graph, SessionModel::Velocity), QVariant(-3));
    QCOMPARE(cell(model, graph, SessionModel::Flyer, Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(iconImage(cell(model, graph, SessionModel::Visibility, Qt::DecorationRole)),
             iconImage(QStringLiteral(":/icons/invisible.png")));
    graph->setVisible(true);
    QCOMPARE(iconImage(cell(model, graph, SessionModel::Visibility, Qt::DecorationRole)),
             iconImage(QStringLiteral(":/icons/visible.png")));

    // Both colour signals repaint the swatch with the colour the chart draws.
    container->setHighlightFlyers(true);
    QCOMPARE(cell(model, graph, SessionModel::Color, Qt::DecorationRole).value<QColor>(), QColor(Qt::black));
    graph->setFlyer(false);
    graph->setGradientColor(QColor(Qt::yellow));
    QCOMPARE(cell(model, graph, SessionModel::Color, Qt::DecorationRole).value<QColor>(), QColor(Qt::yellow));
    graph->setColor(QColor(Qt::magenta));
    QCOMPARE(cell(model, graph, SessionModel::Color, Qt::DecorationRole).value<QColor>(),
             QColor(Qt::magenta));
}

void tst_SessionModel::containerRowText_data() {
    QTest::addColumn<bool>("active");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("text");
    QTest::newRow("new active session") << true << QString() << "[Untitled] - Active Session";
    QTest::newRow("saved active session") << true << "/home/op/loads/308 win.SDT"
                                          << "308 win.SDT - Active Session";
    QTest::newRow("comparison file") << false << "/home/op/loads/old.SDT"
                                     << "old.SDT";
    QTest::newRow("comparison without name") << false << QString() << "[Untitled]";
}

void tst_SessionModel::containerRowText() {
    QFETCH(bool, active);
    QFETCH(QString, fileName);
    QFETCH(QString, text);
    QObject owner;
    GraphContainer* container = newContainer(active, &owner);
    SessionModel model;
    model.addContainer(container);
    const QModelIndex row = model.index(0, SessionModel::Reference);
    QCOMPARE(row.data().toString(),
             active ? QStringLiteral("[Untitled] - Active Session") : QStringLiteral("[Untitled]"));
    // The text follows the container's file name.
    container->setFileName(fileName);
    QCOMPARE(row.data().toString(), text);
}

void tst_SessionModel::referenceRenumbersTraceNumberStays() {
    QObject owner;
    GraphContainer* container = newContainer(true, &owner);
    SessionModel model;
    model.addContainer(container);
    Graph* first = container->addGraphFromPress({}, true);
    Graph* second = container->addGraphFromPress({}, true);
    Graph* third = container->addGraphFromPress({}, true);
    container->removeGraph(second);
    QCOMPARE(model.rowCount(model.index(0, 0)), 3); // the row goes with the trace, which is deferred
    flushDeletions();

    const QModelIndex parent = model.index(0, 0);
    QCOMPARE(model.rowCount(parent), 2);
    QCOMPARE(model.index(0, SessionModel::Reference, parent).data(), QVariant(1));
    QCOMPARE(model.index(1, SessionModel::Reference, parent).data(), QVariant(2));
    QCOMPARE(cell(model, first, SessionModel::TraceNumber), QVariant(1));
    QCOMPARE(cell(model, third, SessionModel::TraceNumber), QVariant(3));
    // The row below the removed one still follows its own trace.
    third->setName(QStringLiteral("last"));
    QCOMPARE(titlesUnder(model, parent), (QStringList{QStringLiteral("Trace 1"), QStringLiteral("last")}));
}

void tst_SessionModel::editsReachTheTrace_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<double>("velocity");
    QTest::addColumn<bool>("flyer");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QVariant>("shown");
    const int edit = Qt::EditRole;
    const int check = Qt::CheckStateRole;
    const int velocity = SessionModel::Velocity;
    const int flyer = SessionModel::Flyer;
    const int visibility = SessionModel::Visibility;
    // The trace starts with velocity 1, not a flyer, visible. "shown" is the edited cell afterwards.
    QTest::newRow("velocity whole") << velocity << edit << QVariant(40) << 40.0 << false << true
                                    << QVariant(40);
    QTest::newRow("velocity as real")
        << velocity << edit << QVariant(12.7) << 12.7 << false << true << QVariant(12);
    QTest::newRow("velocity as text")
        << velocity << edit << QVariant(QStringLiteral("33.5")) << 33.5 << false << true << QVariant(33);
    QTest::newRow("velocity unreadable text is 0")
        << velocity << edit << QVariant(QStringLiteral("fast")) << 0.0 << false << true << QVariant(0);
    QTest::newRow("flyer checked") << flyer << check << QVariant(int(Qt::Checked)) << 1.0 << true << true
                                   << QVariant(int(Qt::Checked));
    QTest::newRow("flyer partially is set") << flyer << check << QVariant(int(Qt::PartiallyChecked)) << 1.0
                                            << true << true << QVariant(int(Qt::Checked));
    QTest::newRow("flyer from bool") << flyer << check << QVariant(true) << 1.0 << true << true
                                     << QVariant(int(Qt::Checked));
    QTest::newRow("flyer unchecked") << flyer << check << QVariant(int(Qt::Unchecked)) << 1.0 << false << true
                                     << QVariant(int(Qt::Unchecked));
    QTest::newRow("visibility off") << visibility << edit << QVariant(false) << 1.0 << false << false
                                    << QVariant();
}

void tst_SessionModel::editsReachTheTrace() {
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, value);
    QFETCH(double, velocity);
    QFETCH(bool, flyer);
    QFETCH(bool, visible);
    QFETCH(QVariant, shown);
    QObject owner;
    GraphContainer* container = newContainer(true, &owner);
    Graph* graph = container->addGraphFromPress(kRisingStroke, true);
    graph->setVelocity(1.0);
    SessionModel model;
    model.addContainer(container);

    QVERIFY(model.setData(traceIndex(model, graph, column), value, role));
    QCOMPARE(graph->velocity(), velocity);
    QCOMPARE(graph->flyer(), flyer);
    QCOMPARE(graph->visible(), visible);
    if (column == SessionModel::Visibility) {
        QCOMPARE(iconImage(cell(model, graph, column, Qt::DecorationRole)),
                 iconImage(QStringLiteral(":/icons/invisible.png")));
    } else {
        QCOMPARE(cell(model, graph, column, role == Qt::CheckStateRole ? role : Qt::DisplayRole), shown);
    }
}

void tst_SessionModel::inlineEditSignalOnlyForActiveSession_data() {
    QTest::addColumn<bool>("active");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("announced");
    QTest::newRow("active velocity") << true << int(SessionModel::Velocity) << int(Qt::EditRole)
                                     << QVariant(5) << 1;
    QTest::newRow("active flyer") << true << int(SessionModel::Flyer) << int(Qt::CheckStateRole)
                                  << QVariant(int(Qt::Checked)) << 1;
    QTest::newRow("active visibility")
        << true << int(SessionModel::Visibility) << int(Qt::EditRole) << QVariant(false) << 1;
    QTest::newRow("active title goes to the plain model")
        << true << int(SessionModel::Title) << int(Qt::EditRole) << QVariant(QStringLiteral("x")) << 0;
    QTest::newRow("active velocity other role")
        << true << int(SessionModel::Velocity) << int(Qt::ToolTipRole) << QVariant(QStringLiteral("x")) << 0;
    QTest::newRow("comparison velocity")
        << false << int(SessionModel::Velocity) << int(Qt::EditRole) << QVariant(5) << 0;
    QTest::newRow("comparison flyer")
        << false << int(SessionModel::Flyer) << int(Qt::CheckStateRole) << QVariant(int(Qt::Checked)) << 0;
    QTest::newRow("comparison visibility")
        << false << int(SessionModel::Visibility) << int(Qt::EditRole) << QVariant(false) << 0;
}

void tst_SessionModel::inlineEditSignalOnlyForActiveSession() {
    QFETCH(bool, active);
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, value);
    QFETCH(int, announced);
    QObject owner;
    GraphContainer* container = newContainer(active, &owner);
    Graph* graph = container->addGraphFromPress(kRisingStroke, true);
    SessionModel model;
    model.addContainer(container);
    const QString name = graph->name();
    QSignalSpy edited(&model, &SessionModel::activeSessionInlineEdit);
    QVERIFY(model.setData(traceIndex(model, graph, column), value, role));
    QCOMPARE(edited.count(), announced);
    QCOMPARE(graph->name(), name); // a Title edit never renames the trace
}

void tst_SessionModel::unitsRewriteMeasurementsOfEveryRow() {
    QObject owner;
    GraphContainer* active = newContainer(true, &owner);
    GraphContainer* compare = newContainer(false, &owner, QStringLiteral("/a/old.SDT"));
    QList<Graph*> graphs{active->addGraphFromPress(kRisingStroke, true),
                         active->addGraphFromPress({{2, 1}, {1, 3}}, true),
                         compare->addGraphFromPress({{0.5, 8}, {0.4, 9}, {0.3, 20}}, true)};
    for (Graph* graph : graphs)
        graph->setVelocity(21.6);
    SessionModel model;
    QCOMPARE(model.units(), Imperial);
    model.addContainer(active);
    model.addContainer(compare);

    for (Units units : {Metric, Imperial, Metric}) {
        model.setUnits(units);
        QCOMPARE(model.units(), units);
        for (const Graph* graph : graphs) {
            const TraceData& data = graph->data(units);
            QCOMPARE(cell(model, graph, SessionModel::WorkDone).toDouble(), data.workDone());
            QCOMPARE(cell(model, graph, SessionModel::PeakForce).toDouble(), data.peakForce());
            QCOMPARE(cell(model, graph, SessionModel::TerminalForce).toDouble(), data.terminalForce());
            QCOMPARE(cell(model, graph, SessionModel::StartingPosition).toDouble(), data.startingPosition());
            QCOMPARE(cell(model, graph, SessionModel::Velocity), QVariant(21));
        }
    }
    // A row added later is filled in the model's current units.
    Graph* late = compare->addGraphFromPress(kRisingStroke, true);
    QCOMPARE(cell(model, late, SessionModel::WorkDone).toDouble(), late->data(Metric).workDone());
    QVERIFY(late->data(Metric).workDone() != late->data(Imperial).workDone());
}

void tst_SessionModel::valuesWithoutWholeOrFiniteFormShowEmpty_data() {
    QTest::addColumn<double>("velocity");
    QTest::addColumn<QVariant>("shown");
    QTest::newRow("NaN") << kNaN << QVariant();
    QTest::newRow("+inf") << kInf << QVariant();
    QTest::newRow("-inf") << -kInf << QVariant();
    QTest::newRow("beyond int") << 3.0e9 << QVariant();
    QTest::newRow("below int") << -3.0e9 << QVariant();
    QTest::newRow("largest int with fraction") << 2147483647.9 << QVariant(2147483647);
    QTest::newRow("smallest int with fraction") << -2147483648.9 << QVariant(int(-2147483647 - 1));
    QTest::newRow("negative fraction towards zero") << -0.9 << QVariant(0);
}

void tst_SessionModel::valuesWithoutWholeOrFiniteFormShowEmpty() {
    QFETCH(double, velocity);
    QFETCH(QVariant, shown);
    QObject owner;
    GraphContainer* container = newContainer(true, &owner);
    // A NaN force (a damaged file) makes every measurement but the starting position NaN.
    Graph* graph = container->addGraphFromPress({{3, 1}, {2, kNaN}}, true);
    Graph* fine = container->addGraphFromPress(kRisingStroke, true);
    fine->setVelocity(8);
    SessionModel model;
    model.addContainer(container);
    QCOMPARE(cell(model, graph, SessionModel::WorkDone), QVariant());
    QCOMPARE(cell(model, graph, SessionModel::TerminalForce), QVariant());

    graph->setVelocity(velocity); // filled by the change
    QCOMPARE(cell(model, graph, SessionModel::Velocity), shown);
    SessionModel fresh; // and filled when the row is built
    fresh.addContainer(container);
    QCOMPARE(cell(fresh, graph, SessionModel::Velocity), shown);

    // Sorting sees only comparable values; the empty cells go last.
    fresh.sort(SessionModel::Velocity, Qt::AscendingOrder);
    if (!shown.isValid()) {
        QCOMPARE(fresh.graphAt(fresh.index(0, 0, fresh.index(0, 0))), fine);
        QCOMPARE(fresh.graphAt(fresh.index(1, 0, fresh.index(0, 0))), graph);
    }
    fresh.sort(SessionModel::WorkDone, Qt::AscendingOrder);
    QCOMPARE(fresh.graphAt(fresh.index(1, 0, fresh.index(0, 0))), graph);
}

void tst_SessionModel::modelChangedOnInsertsAndRemovals() {
    QObject owner;
    SessionModel model;
    QSignalSpy changed(&model, &SessionModel::modelChanged);
    GraphContainer* active = newContainer(true, &owner);
    active->addGraphFromPress({}, true);
    model.addContainer(active); // container row with its trace row: one insertion
    QCOMPARE(changed.count(), 1);
    Graph* second = active->addGraphFromPress({}, true);
    QCOMPARE(changed.count(), 2);
    active->removeGraph(second);
    flushDeletions();
    QCOMPARE(changed.count(), 3);

    auto* compare = newContainer(false, &owner, QStringLiteral("/x/y.SDT"));
    compare->addGraphFromPress({}, true);
    model.addContainer(compare);
    QCOMPARE(changed.count(), 4);
    delete compare; // its row and, with it, its trace's row: one removal
    QCOMPARE(changed.count(), 5);
    QCOMPARE(model.rowCount(), 1);
    active->clear();
    flushDeletions();
    QCOMPARE(changed.count(), 6);
    QCOMPARE(model.rowCount(model.index(0, 0)), 0);
}

void tst_SessionModel::closingComparisonContainerLeavesOtherRowsAlone() {
    // The container's row goes before its traces are deleted; the traces' own handlers must then find
    // nothing to do, rather than reading freed items or removing rows of another container.
    QObject owner;
    GraphContainer* active = newContainer(true, &owner);
    GraphContainer* first = newContainer(false, &owner, QStringLiteral("/f/first.SDT"));
    GraphContainer* second = newContainer(false, &owner, QStringLiteral("/f/second.SDT"));
    for (GraphContainer* container : {active, first, second}) {
        for (int i = 0; i < 3; ++i)
            container->addGraphFromPress(kRisingStroke, true);
    }
    SessionModel model;
    model.addContainer(active);
    model.addContainer(first);
    model.addContainer(second);
    QPointer<Graph> trace(first->graphs().first());

    first->deleteLater();
    flushDeletions();
    QVERIFY(!trace);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(containerIndex(model, active).row(), 0);
    QCOMPARE(model.rowCount(containerIndex(model, active)), 3);
    const QModelIndex secondRow = containerIndex(model, second);
    QCOMPARE(secondRow.data().toString(), QStringLiteral("second.SDT"));
    QCOMPARE(model.rowCount(secondRow), 3);
    second->graphs().last()->setName(QStringLiteral("still followed"));
    QCOMPARE(titlesUnder(model, secondRow).last(), QStringLiteral("still followed"));
}

void tst_SessionModel::graphModelHandsContainersOver() {
    QObject owner;
    GraphModel graphModel;
    SessionModel* model = graphModel.sessionModel();
    QVERIFY(model);
    QCOMPARE(model->parent(), &graphModel);
    auto* active = new GraphContainer(std::make_shared<MemoryFileSystem>(), true, &graphModel);
    active->addGraphFromPress({}, true);
    graphModel.setActiveSessionContainer(active);
    graphModel.setActiveSessionContainer(active); // once only
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->rowCount(model->index(0, 0)), 1);

    GraphContainer* compare = newContainer(false, &owner, QStringLiteral("/c/old.SDT"));
    compare->addGraphFromPress({}, true);
    int rowsWhenAnnounced = -1;
    connect(&graphModel, &IGraphModel::compareContainerAdded, this,
            [&](GraphContainer*) { rowsWhenAnnounced = model->rowCount(); });
    graphModel.addCompareContainer(compare);
    QCOMPARE(rowsWhenAnnounced, 2);
    QCOMPARE(model->containerAt(model->index(1, 0)), compare);
    // The row's colour swatch already shows the palette colour the model gave the container.
    QCOMPARE(cell(*model, compare->graphs().first(), SessionModel::Color, Qt::DecorationRole).value<QColor>(),
             compare->defaultGraphColor());

    graphModel.clear();
    flushDeletions();
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->rowCount(model->index(0, 0)), 0);
}

QTEST_MAIN(tst_SessionModel)
#include "tst_sessionmodel.moc"
