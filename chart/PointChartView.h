#pragma once

#include <QChartView>
#include <QList>
#include <QPointF>

class QAbstractSeries;

// A chart view for charts whose points name traces (the run chart, the velocity scatter). Qt's own press
// handling reads the item under the pointer without checking that there is one; where the scene has none,
// only the plain graphics view handling runs.
class PointChartView : public QChartView {
public:
    using QChartView::QChartView;

    // The index of the point nearest on the screen to a clicked value (the clicked marker's own value is
    // not always what a series reports), mapped through series; -1 without points.
    qsizetype nearestPoint(const QList<QPointF>& points, QAbstractSeries* series,
                           const QPointF& clicked) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
};
