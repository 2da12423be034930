#include "chart/GraphChart.h"

#include "chart/GraphAxis.h"
#include "chart/GraphSeries.h"

#include <QGraphicsObject>
#include <QGraphicsSceneMouseEvent>
#include <QLegend>
#include <QSet>

#include <array>
#include <cmath>

namespace {

struct StepEntry {
    double step;
    int decimals;
};

constexpr std::array<StepEntry, 28> kSteps{{
    {0.001, 3}, {0.002, 3}, {0.0025, 4}, {0.005, 3}, {0.01, 2}, {0.02, 2}, {0.025, 3},
    {0.05, 2},  {0.1, 1},   {0.2, 1},    {0.25, 2},  {0.5, 1},  {1, 0},    {2, 0},
    {2.5, 1},   {5, 0},     {10, 0},     {20, 0},    {25, 0},   {50, 0},   {100, 0},
    {200, 0},   {250, 0},   {500, 0},    {1000, 0},  {2000, 0}, {2500, 0}, {5000, 0},
}};
constexpr int kTicksPerSpan = 7;

// Entry i of the step table extended by decades: past the end the last four steps repeat ×10.
StepEntry stepAt(std::size_t i) {
    if (i < kSteps.size())
        return kSteps[i];
    const std::size_t beyond = i - kSteps.size();
    const StepEntry base = kSteps[kSteps.size() - 4 + beyond % 4];
    return {base.step * std::pow(10.0, static_cast<double>(beyond / 4 + 1)), 0};
}

} // namespace

GraphChart::GraphChart(QGraphicsItem* parent)
    : QChart(parent)
    , m_xAxis(new GraphAxis(this))
    , m_yAxis(new GraphAxis(this)) {
    legend()->hide();

    m_xAxis->setReverse(true);
    m_xAxis->setTickType(QValueAxis::TicksDynamic);
    m_xAxis->setRange(m_xReferenceMin, m_xReferenceMax);
    m_xAxis->setTickInterval(0.05);
    m_xAxis->setTickAnchor(0);
    m_xAxis->setMinorTickCount(4);
    m_xAxis->setLabelFormat(QStringLiteral("%.2f"));
    addAxis(m_xAxis, Qt::AlignBottom);

    m_yAxis->setTickType(QValueAxis::TicksDynamic);
    m_yAxis->setRange(m_yReferenceMin, m_yReferenceMax);
    m_yAxis->setTickInterval(1);
    m_yAxis->setTickAnchor(0);
    m_yAxis->setMinorTickCount(4);
    m_yAxis->setLabelFormat(QStringLiteral("%.1f"));
    addAxis(m_yAxis, Qt::AlignLeft);

    // Every change of a visible range (autoscale, zoom, pan) picks a new tick interval.
    connect(m_xAxis, &QValueAxis::rangeChanged, this,
            [this](qreal min, qreal max) { applyTickStep(m_xAxis, min, max); });
    connect(m_yAxis, &QValueAxis::rangeChanged, this,
            [this](qreal min, qreal max) { applyTickStep(m_yAxis, min, max); });
}

GraphChart::TickStep GraphChart::tickStepFor(double span) {
    span = std::abs(span);
    if (!std::isfinite(span))
        return {kSteps.back().step, kSteps.back().decimals};
    StepEntry prev = kSteps.front();
    for (std::size_t i = 0;; ++i) {
        const StepEntry s = stepAt(i);
        if (kTicksPerSpan * s.step > span) {
            if (std::abs(span - kTicksPerSpan * prev.step) > std::abs(span - kTicksPerSpan * s.step))
                return {s.step, s.decimals};
            return {prev.step, prev.decimals};
        }
        prev = s;
    }
}

QString GraphChart::labelFormat(int decimals) {
    return QStringLiteral("%.%1f").arg(decimals);
}

void GraphChart::applyTickStep(GraphAxis* axis, double min, double max) {
    const TickStep tick = tickStepFor(max - min);
    axis->setTickInterval(tick.step);
    axis->setLabelFormat(labelFormat(tick.decimals));
}

void GraphChart::setXRange(double min, double max) {
    applyTickStep(m_xAxis, min, max);
    m_xAxis->setRange(min, max);
    m_xReferenceMin = min;
    m_xReferenceMax = max;
}

void GraphChart::setYRange(double min, double max) {
    applyTickStep(m_yAxis, min, max);
    m_yAxis->setRange(min, max);
    m_yReferenceMin = min;
    m_yReferenceMax = max;
}

double GraphChart::xReferenceSpan() const {
    return std::abs(m_xReferenceMax - m_xReferenceMin);
}

double GraphChart::yReferenceSpan() const {
    return std::abs(m_yReferenceMax - m_yReferenceMin);
}

void GraphChart::addGraphSeries(GraphSeries* series) {
    const auto children = childItems();
    const QSet<QGraphicsItem*> before(children.begin(), children.end());
    addSeries(series);
    series->attachAxis(m_xAxis);
    series->attachAxis(m_yAxis);
    // The chart makes the line's drawing item, as a child of its own, while the series is added: the one
    // new selectable object among its children.
    QGraphicsObject* drawing = nullptr;
    const auto now = childItems();
    for (QGraphicsItem* item : now) {
        if (!before.contains(item) && (item->flags() & QGraphicsItem::ItemIsSelectable) &&
            (drawing = item->toGraphicsObject()))
            break;
    }
    series->setDrawingItem(drawing);
}

GraphSeries* GraphChart::selectedSeries() const {
    const auto all = series();
    for (QAbstractSeries* s : all) {
        auto* graphSeries = qobject_cast<GraphSeries*>(s);
        if (graphSeries && graphSeries->isSelected())
            return graphSeries;
    }
    return nullptr;
}

void GraphChart::setLatestSeries(GraphSeries* series) {
    const auto all = this->series();
    for (QAbstractSeries* s : all) {
        if (auto* graphSeries = qobject_cast<GraphSeries*>(s))
            graphSeries->setLatest(graphSeries == series);
    }
}

void GraphChart::setSelectedSeries(GraphSeries* series) {
    const auto all = this->series();
    for (QAbstractSeries* s : all) {
        if (auto* graphSeries = qobject_cast<GraphSeries*>(s))
            graphSeries->setSelected(graphSeries == series);
    }
}

void GraphChart::mousePressEvent(QGraphicsSceneMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit clicked(event->pos());
    QChart::mousePressEvent(event);
}
