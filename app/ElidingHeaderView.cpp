#include "app/ElidingHeaderView.h"

#include <QStyleOptionHeader>

#include <algorithm>

ElidingHeaderView::ElidingHeaderView(Qt::Orientation orientation, QWidget* parent)
    : QHeaderView(orientation, parent) {}

void ElidingHeaderView::initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const {
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    // The option's rectangle is not set yet here: the section's own size is what the title has.
    const int margin = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, option, this);
    const int room = sectionSize(logicalIndex) - margin;
    option->text = option->fontMetrics.elidedText(option->text, Qt::ElideRight, std::max(room, 0));
}
