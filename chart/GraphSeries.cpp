#include "chart/GraphSeries.h"

#include "chart/GraphChart.h"
#include "data/Graph.h"

#include <QPen>

#include <cmath>

GraphSeries::GraphSeries(Graph* graph, Units units, QObject* parent)
    : QLineSeries(parent)
    , m_graph(graph)
    , m_units(units) {
    m_line = drawablePoints(graph->data(units).points());
    setColor(graph->color());
    setName(graph->name());
    setVisible(graph->visible());

    connect(graph, &Graph::colorChanged, this, &GraphSeries::updateColor);
    connect(graph, &Graph::colorChangedNoUnsavedFlag, this, &GraphSeries::updateColor);
    connect(graph, &Graph::visibilityChanged, this, &QAbstractSeries::setVisible);
    connect(graph, &QObject::destroyed, this, &GraphSeries::onGraphDestroyed);

    updateWidth();
    updateColor(Default);
}

QList<QPointF> GraphSeries::drawablePoints(const QList<QPointF>& points) {
    for (const QPointF& point : points) {
        if (!std::isfinite(point.x()) || !std::isfinite(point.y())) {
            QList<QPointF> finite;
            finite.reserve(points.size());
            for (const QPointF& p : points) {
                if (std::isfinite(p.x()) && std::isfinite(p.y()))
                    finite.append(p);
            }
            return finite;
        }
    }
    return points;
}

void GraphSeries::setUnits(Units units) {
    if (!m_graph)
        return;
    m_line = drawablePoints(m_graph->data(units).points());
    m_units = units;
    emit lineChanged();
}

void GraphSeries::setSelected(bool selected) {
    if (m_selected == selected)
        return;
    m_selected = selected;
    updateColor(Default);
    updateWidth();
    emit selectionChanged();
}

void GraphSeries::setLatest(bool latest) {
    if (m_latest == latest)
        return;
    m_latest = latest;
    updateColor(Default);
}

void GraphSeries::updateColor(ColorChangeSettings settings) {
    const bool onGraphChart = m_chart != nullptr;
    if (m_selected) {
        if (onGraphChart)
            setColor(selectedColor());
        return;
    }
    if (m_latest && settings != Gradient) {
        if (onGraphChart)
            setColor(latestColor());
        return;
    }
    if (m_graph)
        setColor(m_graph->effectiveColor());
}

void GraphSeries::updateWidth() {
    QPen linePen = pen();
    linePen.setWidthF(m_selected ? kSelectedWidth : kNormalWidth);
    setPen(linePen);
}

void GraphSeries::onGraphDestroyed() {
    m_graph = nullptr;
    m_line.clear();
    emit lineChanged();
    if (m_chart)
        m_chart->removeGraphSeries(this);
    deleteLater();
}
