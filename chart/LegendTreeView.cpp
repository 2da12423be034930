#include "chart/LegendTreeView.h"

#include "chart/GraphContainerItemMenu.h"
#include "chart/SessionModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"

#include <QHeaderView>
#include <QMetaEnum>
#include <QtDebug>

namespace {

constexpr int kMinimumSectionSize = 22;
constexpr int kIconColumnWidth = 22;

// Columns whose values have no useful order: a click on their header keeps the previous sorting.
bool isUnsortable(int section) {
    return section == SessionModel::Reference || section == SessionModel::Color ||
           section == SessionModel::Flyer || section == SessionModel::Visibility;
}

} // namespace

LegendTreeView::LegendTreeView(QWidget* parent)
    : QTreeView(parent) {
    connect(this, &QAbstractItemView::clicked, this, &LegendTreeView::onItemClicked);
}

void LegendTreeView::setModel(QAbstractItemModel* model) {
    QTreeView::setModel(model);
    if (!model)
        return;
    setUpHeader();
    for (int row = 0; row < model->rowCount(); ++row)
        setUpContainerRow(row);
}

void LegendTreeView::rowsInserted(const QModelIndex& parent, int first, int last) {
    QTreeView::rowsInserted(parent, first, last);
    if (parent.isValid())
        return;
    for (int row = first; row <= last; ++row)
        setUpContainerRow(row);
}

void LegendTreeView::onItemClicked(const QModelIndex& index) {
    if (!index.isValid() || index.column() != SessionModel::Visibility || !model())
        return;
    const auto* graph =
        index.siblingAtColumn(SessionModel::Reference).data(SessionModel::kObjectRole).value<Graph*>();
    if (!graph)
        return;
    model()->setData(index, !graph->visible(), Qt::EditRole);
}

void LegendTreeView::setUpHeader() {
    QHeaderView* sections = header();
    sections->setMinimumSectionSize(kMinimumSectionSize);
    sections->setStretchLastSection(false);
    sections->setSectionResizeMode(SessionModel::Reference, QHeaderView::ResizeToContents);
    sections->setSectionResizeMode(SessionModel::Color, QHeaderView::Fixed);
    sections->setSectionResizeMode(SessionModel::TraceNumber, QHeaderView::Stretch);
    for (int column = SessionModel::Title; column <= SessionModel::Flyer; ++column)
        sections->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    sections->setSectionResizeMode(SessionModel::Visibility, QHeaderView::Fixed);
    sections->resizeSection(SessionModel::Color, kIconColumnWidth);
    sections->resizeSection(SessionModel::Visibility, kIconColumnWidth);

    m_sortColumn = SessionModel::Title;
    m_sortOrder = Qt::AscendingOrder;
    sections->setSortIndicator(m_sortColumn, m_sortOrder);
    connect(sections, &QHeaderView::sortIndicatorChanged, this, &LegendTreeView::onSortIndicatorChanged,
            Qt::UniqueConnection);
}

void LegendTreeView::onSortIndicatorChanged(int section, Qt::SortOrder order) {
    qDebug() << "Sort indicator changed:" << section
             << QMetaEnum::fromType<Qt::SortOrder>().valueToKey(order);
    if (isUnsortable(section)) {
        // Putting the indicator back makes the view sort by the stored column again.
        header()->setSortIndicator(m_sortColumn, m_sortOrder);
        return;
    }
    m_sortColumn = section;
    m_sortOrder = order;
}

void LegendTreeView::setUpContainerRow(int row) {
    const QModelIndex index = model()->index(row, SessionModel::Reference);
    expand(index);
    setFirstColumnSpanned(row, QModelIndex(), true);

    auto* container = index.data(SessionModel::kObjectRole).value<GraphContainer*>();
    if (!container || container->isActiveSession())
        return;
    auto* menu = new GraphContainerItemMenu;
    setIndexWidget(index, menu); // the view owns it from here and drops it with the row
    // The container's own deferred deletion takes its row, its traces' rows and its lines with it.
    connect(menu, &GraphContainerItemMenu::closeClicked, container, &QObject::deleteLater);
    const QPersistentModelIndex containerRow(index);
    connect(menu, &GraphContainerItemMenu::visibilityChanged, this,
            [this, containerRow](bool visible) { setContainerVisible(containerRow, visible); });
}

void LegendTreeView::setContainerVisible(const QPersistentModelIndex& containerRow, bool visible) {
    if (!containerRow.isValid() || containerRow.model() != model())
        return;
    const QModelIndex parent(containerRow);
    for (int row = 0; row < model()->rowCount(parent); ++row) {
        const QModelIndex child = model()->index(row, SessionModel::Reference, parent);
        if (auto* graph = child.data(SessionModel::kObjectRole).value<Graph*>())
            graph->setVisible(visible);
    }
}
