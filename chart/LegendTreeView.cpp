#include "chart/LegendTreeView.h"

#include "chart/GraphContainerItemMenu.h"
#include "chart/SessionModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"

#include <QEvent>
#include <QHash>
#include <QHeaderView>
#include <QIcon>
#include <QMetaEnum>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QtDebug>

#include <algorithm>

namespace {

constexpr int kMinimumSectionSize = 22;
constexpr int kIconColumnWidth = 22;

// Columns whose values have no useful order: a click on their header keeps the previous sorting.
bool isUnsortable(int section) {
    return section == SessionModel::Reference || section == SessionModel::Color ||
           section == SessionModel::Flyer || section == SessionModel::Visibility;
}

// Columns at least as wide as their widest cell or header; the others are fixed.
bool isContentSized(int column) {
    return column == SessionModel::Reference || column == SessionModel::TraceNumber ||
           (column >= SessionModel::Title && column <= SessionModel::Flyer);
}

// The roles whose change can change a cell's width.
bool changesWidth(const QList<int>& roles) {
    if (roles.isEmpty())
        return true;
    return std::any_of(roles.begin(), roles.end(), [](int role) {
        return role == Qt::DisplayRole || role == Qt::EditRole || role == Qt::DecorationRole ||
               role == Qt::FontRole || role == Qt::SizeHintRole || role == Qt::CheckStateRole;
    });
}

// Draws a colour cell's swatch from one icon per colour and size. Qt's own delegate makes a new icon for
// a colour on every repaint, and every new icon adds entries of its own to the pixmap cache, which then
// grows with each repaint of the legend up to Qt's 10 MB cap.
class SwatchDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QVariant decoration = index.data(Qt::DecorationRole);
        if (decoration.typeId() != QMetaType::QColor || option->decorationSize.isEmpty())
            return;
        const QColor colour = decoration.value<QColor>();
        const QSize size = option->decorationSize;
        const quint64 key = (quint64(colour.rgba()) << 32) | (quint64(size.width() & 0xFFFF) << 16) |
                            quint64(size.height() & 0xFFFF);
        auto it = m_icons.constFind(key);
        if (it == m_icons.constEnd()) {
            // A measurement colouring gives every trace a shade of its own: keep the cache bounded.
            if (m_icons.size() >= kMaxSwatches)
                m_icons.clear();
            QPixmap pixmap(size);
            pixmap.fill(colour);
            it = m_icons.insert(key, QIcon(pixmap));
        }
        option->icon = *it;
    }

private:
    static constexpr qsizetype kMaxSwatches = 1024;
    mutable QHash<quint64, QIcon> m_icons;
};

} // namespace

LegendTreeView::LegendTreeView(QWidget* parent)
    : QTreeView(parent) {
    setItemDelegate(new SwatchDelegate(this));
    connect(this, &QAbstractItemView::clicked, this, &LegendTreeView::onItemClicked);
    connect(header(), &QHeaderView::sectionResized, this, &LegendTreeView::onSectionResized);
}

void LegendTreeView::setModel(QAbstractItemModel* model) {
    if (model == this->model())
        return;
    if (QAbstractItemModel* previous = this->model())
        disconnect(previous, nullptr, this, nullptr);
    QTreeView::setModel(model);
    m_cellWidths.clear();
    if (!model)
        return;
    setUpHeader();
    for (int row = 0; row < model->rowCount(); ++row)
        setUpContainerRow(row);
    // What can narrow a column is measured once, when the view next lays out its rows.
    connect(model, &QAbstractItemModel::rowsRemoved, this, &LegendTreeView::markWidthsStale);
    connect(model, &QAbstractItemModel::modelReset, this, &LegendTreeView::markWidthsStale);
    connect(model, &QAbstractItemModel::layoutChanged, this, &LegendTreeView::markWidthsStale);
    connect(model, &QAbstractItemModel::headerDataChanged, this, &LegendTreeView::applyWidths);
    measureAllRows();
}

void LegendTreeView::rowsInserted(const QModelIndex& parent, int first, int last) {
    QTreeView::rowsInserted(parent, first, last);
    if (!parent.isValid()) {
        for (int row = first; row <= last; ++row)
            setUpContainerRow(row);
    }
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    measureRows(parent, first, last, option);
    applyWidths();
}

void LegendTreeView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                 const QList<int>& roles) {
    QTreeView::dataChanged(topLeft, bottomRight, roles);
    // A new text may be narrower than the one that set the column's width.
    if (changesWidth(roles))
        markWidthsStale();
}

void LegendTreeView::doItemsLayout() {
    if (m_widthsStale)
        measureAllRows();
    QTreeView::doItemsLayout();
}

void LegendTreeView::updateGeometries() {
    QTreeView::updateGeometries();
    fillWithTraceNumber();
}

void LegendTreeView::changeEvent(QEvent* event) {
    QTreeView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        markWidthsStale();
}

void LegendTreeView::markWidthsStale() {
    if (m_widthsStale)
        return;
    m_widthsStale = true;
    scheduleDelayedItemsLayout();
}

void LegendTreeView::measureAllRows() {
    m_widthsStale = false;
    if (!model())
        return;
    m_cellWidths.fill(0, model()->columnCount());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    measureRows(QModelIndex(), 0, model()->rowCount() - 1, option);
    applyWidths();
}

void LegendTreeView::measureRows(const QModelIndex& parent, int first, int last,
                                 const QStyleOptionViewItem& option) {
    QAbstractItemModel* rows = model();
    if (!rows || first > last)
        return;
    if (m_cellWidths.size() != rows->columnCount())
        m_cellWidths.fill(0, rows->columnCount());
    int depth = 0;
    for (QModelIndex above = parent; above.isValid(); above = above.parent())
        ++depth;
    // As the tree indents its own column: one step per level, and one more for the root's decoration.
    const int indent = (depth + (rootIsDecorated() ? 1 : 0)) * indentation();
    const int treeColumn = header()->logicalIndex(treePosition());
    for (int row = first; row <= last; ++row) {
        const QModelIndex rowStart = rows->index(row, 0, parent);
        // A spanned row (a container's) draws across the columns and gives them no width.
        if (!isFirstColumnSpanned(row, parent)) {
            for (int column = 0; column < m_cellWidths.size(); ++column) {
                if (!isContentSized(column))
                    continue;
                const QModelIndex cell = rowStart.siblingAtColumn(column);
                int width = itemDelegateForIndex(cell)->sizeHint(option, cell).width();
                if (column == treeColumn)
                    width += indent;
                m_cellWidths[column] = std::max(m_cellWidths[column], width);
            }
        }
        if (rows->hasChildren(rowStart))
            measureRows(rowStart, 0, rows->rowCount(rowStart) - 1, option);
    }
}

void LegendTreeView::applyWidths() {
    QHeaderView* sections = header();
    for (int column = 0; column < m_cellWidths.size() && column < sections->count(); ++column) {
        if (!isContentSized(column) || column == SessionModel::TraceNumber)
            continue;
        const int width = std::clamp(std::max(m_cellWidths[column], sections->sectionSizeHint(column)),
                                     sections->minimumSectionSize(), sections->maximumSectionSize());
        if (sections->sectionSize(column) != width)
            sections->resizeSection(column, width);
    }
    fillWithTraceNumber();
}

void LegendTreeView::onSectionResized(int section) {
    // Any other column hidden, shown or resized changes the room left for the trace numbers.
    if (section != SessionModel::TraceNumber)
        fillWithTraceNumber();
}

void LegendTreeView::fillWithTraceNumber() {
    QHeaderView* sections = header();
    constexpr int column = SessionModel::TraceNumber;
    if (m_cellWidths.size() <= column || sections->count() <= column || sections->isSectionHidden(column))
        return;
    int others = 0;
    for (int section = 0; section < sections->count(); ++section) {
        if (section != column && !sections->isSectionHidden(section))
            others += sections->sectionSize(section);
    }
    const int own = std::max(m_cellWidths[column], sections->sectionSizeHint(column));
    const int width = std::clamp(std::max(own, viewport()->width() - others), sections->minimumSectionSize(),
                                 sections->maximumSectionSize());
    if (sections->sectionSize(column) != width)
        sections->resizeSection(column, width);
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
    // The view sizes the content-sized columns itself (applyWidths). The header's own stretching would
    // squeeze the trace number column below its title ("Trac") when the panel is narrow.
    sections->setSectionResizeMode(QHeaderView::Fixed);
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
