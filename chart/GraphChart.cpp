#include "chart/GraphChart.h"

#include "chart/GraphAxis.h"
#include "chart/GraphSeries.h"
#include "chart/TraceLayer.h"

#include <QFontMetricsF>
#include <QGraphicsObject>
#include <QGraphicsSceneMouseEvent>
#include <QLegend>
#include <QLineSeries>
#include <QSet>

#include <algorithm>
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
// Qt Charts stacks the grid at 2, the axes at 3, series items at 4 and its legend at 5.
constexpr double kTraceLayerZ = 4.5;
// What the chart keeps free on either side of each label within its share of the axis, and what a
// label's text item adds to the text itself.
constexpr double kLabelPadding = 4.0;
constexpr double kLabelItemMargin = 4.0;

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
    , m_yAxis(new GraphAxis(this))
    , m_traceLayer(new TraceLayer(this))
    , m_anchor(new QLineSeries(this)) {
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
    addSeries(m_anchor);
    m_anchor->attachAxis(m_xAxis);
    m_anchor->attachAxis(m_yAxis);

    // Every change of a visible range (autoscale, zoom, pan) picks a new tick interval.
    connect(m_xAxis, &QValueAxis::rangeChanged, this,
            [this](qreal min, qreal max) { applyTickStep(m_xAxis, min, max); });
    connect(m_yAxis, &QValueAxis::rangeChanged, this,
            [this](qreal min, qreal max) { applyTickStep(m_yAxis, min, max); });
    // A new size (window, export, page) may fit more labels or fewer.
    connect(this, &QChart::plotAreaChanged, this, &GraphChart::onPlotAreaChanged);
    // Over the grid, the axes and the series' own (empty) items, below the legend and anything on top.
    m_traceLayer->setZValue(kTraceLayerZ);
    // The layer draws with the ranges and plot area of the moment: a change only asks for a repaint.
    for (GraphAxis* axis : {m_xAxis, m_yAxis})
        connect(axis, &QValueAxis::rangeChanged, m_traceLayer, &TraceLayer::geometryChanged);
    connect(this, &QChart::plotAreaChanged, m_traceLayer, &TraceLayer::geometryChanged);
}

namespace {

// Where in the extended table the step for the span is; past the table's end for a non-finite span.
std::size_t stepIndexFor(double span) {
    span = std::abs(span);
    if (!std::isfinite(span))
        return kSteps.size() - 1;
    for (std::size_t i = 0;; ++i) {
        if (kTicksPerSpan * stepAt(i).step > span) {
            if (i == 0)
                return 0;
            const double below = std::abs(span - kTicksPerSpan * stepAt(i - 1).step);
            const double above = std::abs(span - kTicksPerSpan * stepAt(i).step);
            return below > above ? i : i - 1;
        }
    }
}

} // namespace

GraphChart::TickStep GraphChart::tickStepFor(double span) {
    const StepEntry s = stepAt(stepIndexFor(span));
    return {s.step, s.decimals};
}

GraphChart::TickStep GraphChart::tickStepFor(double span, const std::function<bool(const TickStep&)>& fits) {
    std::size_t i = stepIndexFor(span);
    // A step larger than the span leaves one label or none: nothing larger can fit better.
    for (; std::isfinite(span) && stepAt(i).step <= std::abs(span); ++i) {
        const StepEntry s = stepAt(i);
        if (fits({s.step, s.decimals}))
            return {s.step, s.decimals};
    }
    const StepEntry s = stepAt(i);
    return {s.step, s.decimals};
}

QString GraphChart::labelFormat(int decimals) {
    return QStringLiteral("%.%1f").arg(decimals);
}

void GraphChart::applyTickStep(GraphAxis* axis, double min, double max) {
    const TickStep tick = tickStepFor(
        max - min, [this, axis, min, max](const TickStep& step) { return labelsFit(axis, min, max, step); });
    axis->setTickInterval(tick.step);
    axis->setLabelFormat(labelFormat(tick.decimals));
}

bool GraphChart::labelsFit(const GraphAxis* axis, double min, double max, const TickStep& tick) const {
    const QRectF plot = plotArea();
    const bool horizontal = axis->orientation() == Qt::Horizontal;
    const double length = horizontal ? plot.width() : plot.height();
    if (length <= 0.0 || !(tick.step > 0.0))
        return true;
    const double low = std::min(min, max);
    const double high = std::max(min, max);
    const double anchor = axis->tickAnchor();
    // The ticks the axis draws: every multiple of the step from the anchor inside the range.
    const double first = anchor + std::ceil((low - anchor) / tick.step - 1e-9) * tick.step;
    const double last = anchor + std::floor((high - anchor) / tick.step + 1e-9) * tick.step;
    const double ticks = std::floor((last - first) / tick.step + 0.5) + 1.0;
    if (!(ticks > 1.0))
        return true;
    // The chart gives each label an equal share of the axis, less padding on both sides.
    const double room = length / ticks - 2.0 * (kLabelPadding + kLabelItemMargin);
    const QFontMetricsF metrics(axis->labelsFont());
    if (!horizontal)
        return metrics.height() * 1.25 <= room;
    // The widest labels are at the ends of the range (the most digits, a sign).
    const QString format = labelFormat(tick.decimals);
    double widest = 0.0;
    for (double value : {first, last}) {
        // No "-0.00" from a value a hair below zero.
        const double shown = std::abs(value) < tick.step * 1e-6 ? 0.0 : value;
        widest = std::max(widest, metrics.horizontalAdvance(QString::asprintf(qPrintable(format), shown)));
    }
    return widest + metrics.horizontalAdvance(QLatin1Char('0')) <= room;
}

void GraphChart::onPlotAreaChanged() {
    const QRectF plot = plotArea();
    if (plot.size() == m_fittedPlotArea.size())
        return;
    m_fittedPlotArea = plot;
    applyTickStep(m_xAxis, m_xAxis->min(), m_xAxis->max());
    applyTickStep(m_yAxis, m_yAxis->min(), m_yAxis->max());
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
    if (!series || m_lines.contains(series))
        return;
    m_lines.append(series);
    series->setGraphChart(this);
    TraceLayer* layer = m_traceLayer;
    connect(series, &GraphSeries::lineChanged, layer, &TraceLayer::contentChanged);
    connect(series, &GraphSeries::selectionChanged, layer, &TraceLayer::contentChanged);
    connect(series, &QXYSeries::penChanged, layer, &TraceLayer::contentChanged);
    connect(series, &QXYSeries::colorChanged, layer, &TraceLayer::contentChanged);
    connect(series, &QAbstractSeries::visibleChanged, layer, &TraceLayer::contentChanged);
    // A line deleted while still on the chart leaves it at once.
    connect(series, &QObject::destroyed, this, [this, series]() {
        m_lines.removeAll(series);
        m_traceLayer->contentChanged();
    });
    layer->contentChanged();
}

void GraphChart::removeGraphSeries(GraphSeries* series) {
    if (!m_lines.removeAll(series))
        return;
    disconnect(series, nullptr, this, nullptr);
    disconnect(series, nullptr, m_traceLayer, nullptr);
    series->setGraphChart(nullptr);
    m_traceLayer->contentChanged();
}

GraphSeries* GraphChart::selectedSeries() const {
    for (GraphSeries* series : m_lines) {
        if (series->isSelected())
            return series;
    }
    return nullptr;
}

void GraphChart::setLatestSeries(GraphSeries* series) {
    const QList<GraphSeries*> lines = m_lines;
    for (GraphSeries* line : lines)
        line->setLatest(line == series);
}

void GraphChart::setSelectedSeries(GraphSeries* series) {
    const QList<GraphSeries*> lines = m_lines;
    for (GraphSeries* line : lines)
        line->setSelected(line == series);
}

void GraphChart::mousePressEvent(QGraphicsSceneMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit clicked(event->pos());
    QChart::mousePressEvent(event);
}
