#include "chart/SessionModel.h"

#include "data/Graph.h"
#include "data/GraphContainer.h"

#include <QFileInfo>

#include <cmath>

namespace {

constexpr Qt::ItemFlags kCellFlags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;

// A measurement as the cell shows it: the plain double, or nothing when it is not finite, so that no NaN
// or infinity reaches the view's sorting (which needs a strict ordering).
QVariant measurementCell(double value) {
    return std::isfinite(value) ? QVariant(value) : QVariant();
}

// The velocity as a whole number with the fraction dropped. A value that has no whole-number form in an
// int (NaN, infinite, or beyond the int range) shows as an empty cell instead of an undefined conversion.
QVariant velocityCell(double velocity) {
    constexpr double kBelowIntMin = -2147483649.0;
    constexpr double kAboveIntMax = 2147483648.0;
    if (!std::isfinite(velocity) || velocity <= kBelowIntMin || velocity >= kAboveIntMax)
        return QVariant();
    return QVariant(static_cast<int>(velocity));
}

QStandardItem* newCell(Qt::ItemFlags flags = kCellFlags) {
    auto* item = new QStandardItem;
    item->setFlags(flags);
    return item;
}

} // namespace

SessionModel::SessionModel(QObject* parent)
    : QStandardItemModel(0, Count, parent)
    , m_visibleIcon(QStringLiteral(":/icons/visible.png"))
    , m_invisibleIcon(QStringLiteral(":/icons/invisible.png")) {
    setHorizontalHeaderLabels({QString(), QString(), tr("Trace #"), tr("Title"), tr("Work Done"),
                               tr("Peak Force"), tr("Terminal Force"), tr("Starting Pos"), tr("Velocity"),
                               tr("Flyer"), QString()});
    connect(this, &QAbstractItemModel::rowsInserted, this, &SessionModel::modelChanged);
    connect(this, &QAbstractItemModel::rowsRemoved, this, &SessionModel::modelChanged);
    connect(this, &QAbstractItemModel::rowsInserted, this, &SessionModel::contentsChanged);
    connect(this, &QAbstractItemModel::rowsRemoved, this, &SessionModel::contentsChanged);
    connect(this, &QAbstractItemModel::rowsMoved, this, &SessionModel::contentsChanged);
    connect(this, &QAbstractItemModel::dataChanged, this, &SessionModel::contentsChanged);
    connect(this, &QAbstractItemModel::layoutChanged, this, &SessionModel::contentsChanged);
    connect(this, &QAbstractItemModel::modelReset, this, &SessionModel::contentsChanged);
}

void SessionModel::addContainer(GraphContainer* container) {
    if (!container)
        return;
    auto* containerItem = newCell();
    containerItem->setData(QVariant::fromValue(container), kObjectRole);
    const QList<Graph*> graphs = container->graphs();
    for (Graph* graph : graphs)
        containerItem->appendRow(makeGraphRow(graph));
    // The row goes in complete, so the view sees one insertion however many traces the container has.
    appendRow(containerItem);

    const QPersistentModelIndex row(containerItem->index());
    fillContainerText(row, container);
    connect(container, &GraphContainer::fileNameChanged, this,
            [this, row, container]() { fillContainerText(row, container); });
    // The row goes first; the container's traces are destroyed after it, and their own handlers then find
    // their rows gone.
    connect(container, &QObject::destroyed, this, [this, row]() {
        if (row.isValid())
            removeRow(row.row());
    });
    connect(container, &GraphContainer::graphAddedFromPress, this,
            [this, row](Graph* graph) { addGraphRow(row, graph); });
    // New limits judge every trace again: the three measurement cells of each row change their look.
    connect(container, &GraphContainer::limitsChanged, this, [this, row]() {
        for (int i = 0; row.isValid() && i < rowCount(row); ++i) {
            const QPersistentModelIndex traceRow(index(i, Reference, row));
            if (const Graph* graph = graphAt(traceRow))
                fillVerdict([this, traceRow](int column) { return cell(traceRow, column); }, graph);
        }
    });
    connect(container, &GraphContainer::graphAddedFromFile, this,
            [this, row](Graph* graph) { addGraphRow(row, graph); });
    for (int i = 0; i < containerItem->rowCount(); ++i)
        followGraph(QPersistentModelIndex(containerItem->child(i)->index()), graphs.at(i));
}

void SessionModel::setUnits(Units units) {
    m_units = units;
    for (int top = 0; top < rowCount(); ++top) {
        const QModelIndex containerIndex = index(top, Reference);
        for (int i = 0; i < rowCount(containerIndex); ++i) {
            const QModelIndex traceIndex = index(i, Reference, containerIndex);
            if (const Graph* graph = graphAt(traceIndex))
                fillMeasurements(QPersistentModelIndex(traceIndex), graph);
        }
    }
}

Graph* SessionModel::graphAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this || !index.parent().isValid())
        return nullptr;
    const QStandardItem* item = itemFromIndex(index.siblingAtColumn(Reference));
    return item ? item->data(kObjectRole).value<Graph*>() : nullptr;
}

GraphContainer* SessionModel::containerAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this || index.parent().isValid())
        return nullptr;
    const QStandardItem* item = itemFromIndex(index.siblingAtColumn(Reference));
    return item ? item->data(kObjectRole).value<GraphContainer*>() : nullptr;
}

int SessionModel::columnOf(Measurement measurement) {
    // The column names shadow the measurement names here.
    switch (measurement) {
    case ::PeakForce:
        return PeakForce;
    case ::TerminalForce:
        return TerminalForce;
    case ::WorkDone:
        return WorkDone;
    default:
        return -1;
    }
}

QVariant SessionModel::data(const QModelIndex& index, int role) const {
    if (index.isValid() && index.column() == Reference && index.parent().isValid()) {
        if (role == Qt::DisplayRole)
            return index.row() + 1;
        if (role == Qt::ForegroundRole)
            return QColor(Qt::gray);
    }
    return QStandardItemModel::data(index, role);
}

void SessionModel::fillVerdict(const std::function<QStandardItem*(int)>& itemAt, const Graph* graph) const {
    const GraphContainer* container = graph->container();
    const int judged = container ? columnOf(container->limits().measurement()) : -1;
    const ToleranceLimits::Verdict verdict =
        judged >= 0 ? container->verdictFor(graph) : ToleranceLimits::NotJudged;
    for (int column : {int(WorkDone), int(PeakForce), int(TerminalForce)}) {
        QStandardItem* item = itemAt(column);
        if (!item)
            continue;
        if (column != judged || verdict == ToleranceLimits::NotJudged) {
            if (item->data(kVerdictRole).isValid()) {
                item->setData(QVariant(), kVerdictRole);
                item->setData(QVariant(), Qt::BackgroundRole);
                item->setData(QVariant(), Qt::ToolTipRole);
            }
            continue;
        }
        // The limits in the units the cell shows.
        const QString limits = container->limits().inUnits(m_units).text();
        item->setData(int(verdict), kVerdictRole);
        item->setData(verdict == ToleranceLimits::InTolerance
                          ? tr("In tolerance: %1").arg(limits)
                          : tr("%1: outside %2").arg(ToleranceLimits::verdictText(verdict), limits),
                      Qt::ToolTipRole);
        // Translucent, so the selection and either theme show through.
        item->setData(verdict == ToleranceLimits::InTolerance ? QColor(46, 160, 67, 60)
                                                              : QColor(220, 40, 40, 110),
                      Qt::BackgroundRole);
    }
}

bool SessionModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    Graph* graph = graphAt(index);
    if (!graph)
        return QStandardItemModel::setData(index, value, role);
    const GraphContainer* container = graph->container();
    if (index.column() == Velocity && role == Qt::EditRole) {
        graph->setVelocity(value.toDouble());
    } else if (index.column() == Flyer && role == Qt::CheckStateRole) {
        const auto state = static_cast<Qt::CheckState>(value.toInt());
        graph->setFlyer(state != Qt::Unchecked);
    } else if (index.column() == Visibility && role == Qt::EditRole) {
        graph->setVisible(value.toBool());
    } else {
        return QStandardItemModel::setData(index, value, role);
    }
    // The cell is not written here: the trace's change signal rewrites it from the trace.
    if (container && container->isActiveSession())
        emit activeSessionInlineEdit();
    return true;
}

QList<QStandardItem*> SessionModel::makeGraphRow(Graph* graph) const {
    QList<QStandardItem*> items;
    items.reserve(Count);
    for (int column = 0; column < Count; ++column)
        items.append(newCell());
    items.at(Velocity)->setFlags(kCellFlags | Qt::ItemIsEditable);
    items.at(Flyer)->setFlags(kCellFlags | Qt::ItemIsUserCheckable);
    items.at(Reference)->setData(QVariant::fromValue(graph), kObjectRole);

    const TraceData& data = graph->data(m_units);
    items.at(WorkDone)->setData(measurementCell(data.workDone()), Qt::DisplayRole);
    items.at(PeakForce)->setData(measurementCell(data.peakForce()), Qt::DisplayRole);
    items.at(TerminalForce)->setData(measurementCell(data.terminalForce()), Qt::DisplayRole);
    items.at(StartingPosition)->setData(measurementCell(data.startingPosition()), Qt::DisplayRole);
    items.at(Title)->setData(graph->name(), Qt::DisplayRole);
    items.at(TraceNumber)->setData(graph->traceNumber(), Qt::DisplayRole);
    items.at(Color)->setData(graph->effectiveColor(), Qt::DecorationRole);
    items.at(Velocity)->setData(velocityCell(graph->velocity()), Qt::DisplayRole);
    items.at(Flyer)->setCheckState(graph->flyer() ? Qt::Checked : Qt::Unchecked);
    items.at(Visibility)->setIcon(graph->visible() ? m_visibleIcon : m_invisibleIcon);
    fillVerdict([&items](int column) { return items.at(column); }, graph);
    return items;
}

void SessionModel::addGraphRow(const QPersistentModelIndex& containerRow, Graph* graph) {
    if (!graph || !containerRow.isValid())
        return;
    QStandardItem* containerItem = itemFromIndex(containerRow);
    containerItem->appendRow(makeGraphRow(graph));
    followGraph(QPersistentModelIndex(containerItem->child(containerItem->rowCount() - 1)->index()), graph);
}

void SessionModel::followGraph(const QPersistentModelIndex& row, Graph* graph) {
    // Every handler finds the row afresh through the persistent index: it follows the row when rows above
    // it go or the view sorts, and it is invalid once the row is gone (for instance with its container's
    // row, before the traces themselves are deleted).
    connect(graph, &Graph::nameChanged, this, [this, row](const QString& name) {
        if (QStandardItem* item = cell(row, Title))
            item->setData(name, Qt::DisplayRole);
    });
    connect(graph, &Graph::traceNumberChanged, this, [this, row, graph]() {
        if (QStandardItem* item = cell(row, TraceNumber))
            item->setData(graph->traceNumber(), Qt::DisplayRole);
    });
    connect(graph, &Graph::colorChanged, this, [this, row, graph]() {
        if (QStandardItem* item = cell(row, Color))
            item->setData(graph->effectiveColor(), Qt::DecorationRole);
    });
    connect(graph, &Graph::colorChangedNoUnsavedFlag, this, [this, row, graph]() {
        if (QStandardItem* item = cell(row, Color))
            item->setData(graph->effectiveColor(), Qt::DecorationRole);
    });
    connect(graph, &Graph::velocityChanged, this, [this, row, graph]() {
        if (QStandardItem* item = cell(row, Velocity))
            item->setData(velocityCell(graph->velocity()), Qt::DisplayRole);
    });
    connect(graph, &Graph::flyerChanged, this, [this, row, graph]() {
        if (QStandardItem* item = cell(row, Flyer))
            item->setCheckState(graph->flyer() ? Qt::Checked : Qt::Unchecked);
    });
    connect(graph, &Graph::visibilityChanged, this, [this, row](bool isVisible) {
        if (QStandardItem* item = cell(row, Visibility))
            item->setIcon(isVisible ? m_visibleIcon : m_invisibleIcon);
    });
    connect(graph, &QObject::destroyed, this, [this, row]() {
        if (!row.isValid())
            return;
        if (QStandardItem* containerItem = itemFromIndex(row.parent()))
            containerItem->removeRow(row.row());
    });
}

QStandardItem* SessionModel::cell(const QPersistentModelIndex& row, int column) const {
    if (!row.isValid())
        return nullptr;
    return itemFromIndex(index(row.row(), column, row.parent()));
}

void SessionModel::fillMeasurements(const QPersistentModelIndex& row, const Graph* graph) {
    const TraceData& data = graph->data(m_units);
    const std::pair<int, double> values[] = {{WorkDone, data.workDone()},
                                             {PeakForce, data.peakForce()},
                                             {TerminalForce, data.terminalForce()},
                                             {StartingPosition, data.startingPosition()}};
    for (const auto& [column, value] : values) {
        if (QStandardItem* item = cell(row, column))
            item->setData(measurementCell(value), Qt::DisplayRole);
    }
    // The tooltips give the limits in the units shown.
    fillVerdict([this, row](int column) { return cell(row, column); }, graph);
}

void SessionModel::fillContainerText(const QPersistentModelIndex& row, const GraphContainer* container) {
    QStandardItem* item = cell(row, Reference);
    if (!item)
        return;
    const QString fileName = QFileInfo(container->fileName()).fileName();
    QString text = fileName.isEmpty() ? tr("[Untitled]") : fileName;
    if (container->isActiveSession())
        text += tr(" - Active Session");
    item->setText(text);
}
