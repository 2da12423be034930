#include "chart/GraphAxis.h"

GraphAxis::GraphAxis(QObject* parent)
    : QValueAxis(parent) {
    connect(this, &QValueAxis::minorGridLinePenChanged, this, &GraphAxis::onMinorGridLinePenChanged);
}

void GraphAxis::onMinorGridLinePenChanged(const QPen& pen) {
    if (pen.color().alpha() == kMinorGridAlpha)
        return;
    QPen faint = pen;
    QColor color = pen.color();
    color.setAlpha(kMinorGridAlpha);
    faint.setColor(color);
    // Re-enters this slot once with the faint pen, which then returns above.
    setMinorGridLinePen(faint);
}
