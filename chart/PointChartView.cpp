#include "chart/PointChartView.h"

#include <QChart>
#include <QMouseEvent>

#include <limits>

qsizetype PointChartView::nearestPoint(const QList<QPointF>& points, QAbstractSeries* series,
                                       const QPointF& clicked) const {
    const QPointF at = chart()->mapToPosition(clicked, series);
    qsizetype nearest = -1;
    double best = std::numeric_limits<double>::infinity();
    for (qsizetype i = 0; i < points.size(); ++i) {
        const QPointF delta = chart()->mapToPosition(points.at(i), series) - at;
        const double distance = QPointF::dotProduct(delta, delta);
        if (distance < best) {
            best = distance;
            nearest = i;
        }
    }
    return nearest;
}

void PointChartView::mousePressEvent(QMouseEvent* event) {
    if (itemAt(event->position().toPoint()))
        QChartView::mousePressEvent(event);
    else
        QGraphicsView::mousePressEvent(event);
}
