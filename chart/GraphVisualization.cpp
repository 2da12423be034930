#include "chart/GraphVisualization.h"

#include "chart/GraphAxis.h"
#include "chart/GraphChart.h"
#include "chart/GraphSeries.h"
#include "chart/GraphView.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/IGraphModel.h"

#include <QItemSelectionModel>
#include <QStandardItemModel>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kItemRole = Qt::UserRole + 1;
const double kLargestRange = std::numeric_limits<double>::max() / 4;

// Keeps an autoscale bound finite when a loaded file holds absurd values.
double bounded(double value) {
    return std::clamp(value, -kLargestRange, kLargestRange);
}

} // namespace

GraphVisualization::GraphVisualization(IGraphModel* graphModel, GraphView* view, QObject* parent)
    : QObject(parent)
    , m_graphModel(graphModel)
    , m_view(view) {
    connect(view->chart(), &GraphChart::clicked, this, [this]() { setSelectedGraph(nullptr); });
    view->setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    setUnits(Imperial);
    if (graphModel->activeContainer())
        addGraphContainer(graphModel->activeContainer());
    connect(graphModel, &IGraphModel::compareContainerAdded, this, &GraphVisualization::addGraphContainer);
}

GraphVisualization::~GraphVisualization() {
    // Not through the view: this may go while the view is half destroyed (as its child). Each line knows
    // its chart for as long as the chart lives.
    for (const QPointer<GraphSeries>& series : std::as_const(m_series)) {
        if (!series)
            continue;
        if (GraphChart* chart = series->graphChart())
            chart->removeGraphSeries(series);
        delete series.data();
    }
}

QList<GraphSeries*> GraphVisualization::allSeries() const {
    return m_view ? m_view->chart()->graphSeries() : QList<GraphSeries*>();
}

GraphSeries* GraphVisualization::seriesFor(const Graph* graph) const {
    if (!graph)
        return nullptr;
    const auto all = allSeries();
    for (GraphSeries* series : all) {
        if (series->graph() == graph)
            return series;
    }
    return nullptr;
}

QColor GraphVisualization::pressTraceColor() {
    // addGraph marks a trace from the press latest and selects it; the selected colour wins.
    return GraphSeries::selectedColor();
}

double GraphVisualization::pressTraceWidth() {
    return GraphSeries::kSelectedWidth;
}

void GraphVisualization::setUnits(Units units) {
    const auto all = allSeries();
    for (GraphSeries* series : all)
        series->setUnits(units);
    if (m_view) {
        GraphChart* chart = m_view->chart();
        chart->xAxis()->setTitleText(units == Imperial ? tr("inch") : tr("mm"));
        chart->yAxis()->setTitleText(units == Imperial ? tr("lbs") : tr("kg"));
    }
    m_units = units;
    updateAxies();
}

void GraphVisualization::setSelectionModel(QItemSelectionModel* selectionModel) {
    if (m_selectionModel)
        disconnect(m_selectionModel, nullptr, this, nullptr);
    m_selectionModel = selectionModel;
    if (selectionModel)
        connect(selectionModel, &QItemSelectionModel::currentRowChanged, this,
                [this](const QModelIndex& current) { onCurrentRowChanged(current); });
}

void GraphVisualization::onCurrentRowChanged(const QModelIndex& current) {
    const QModelIndex first = current.siblingAtColumn(0);
    Graph* graph = nullptr;
    if (first.isValid()) {
        if (auto* model = qobject_cast<const QStandardItemModel*>(first.model())) {
            if (QStandardItem* item = model->itemFromIndex(first))
                graph = qobject_cast<Graph*>(item->data(kItemRole).value<QObject*>());
        }
    }
    setSelectedGraph(graph);
}

void GraphVisualization::updateAxies() {
    if (!m_view)
        return;
    const auto all = allSeries();
    if (all.isEmpty())
        return;
    double peak = 0.0;
    double start = 0.0;
    double largestX = -std::numeric_limits<double>::infinity();
    bool anyTrace = false;
    for (GraphSeries* series : all) {
        const Graph* graph = series->graph();
        if (!graph)
            continue;
        const TraceData& data = graph->data(m_units);
        // A non-finite measurement of a damaged file must not make the ranges non-finite.
        if (std::isfinite(data.peakForce()) && (!anyTrace || data.peakForce() > peak))
            peak = data.peakForce();
        if (std::isfinite(data.startingPosition()) && (!anyTrace || data.startingPosition() > start))
            start = data.startingPosition();
        anyTrace = true;
        for (const QPointF& point : data.points()) {
            if (std::isfinite(point.x()) && std::isfinite(point.y()))
                largestX = std::max(largestX, point.x());
        }
    }
    if (!anyTrace) {
        peak = 0.0;
        start = 0.0;
    }
    // A largest starting position of zero or less (possible in loaded files) would give an empty or
    // inverted range: fall back on the data's own extent.
    if (!(start > 0.0))
        start = largestX > 0.0 ? largestX : 1.0;
    start = bounded(start);
    GraphChart* chart = m_view->chart();
    chart->setXRange(-0.01 * start, bounded(1.1 * start));
    const double top = bounded(std::max(10.0, 1.1 * peak));
    chart->setYRange(-0.01 * top, top);
}

void GraphVisualization::addGraph(Graph* graph, GraphSource graphSource) {
    if (!graph || !m_view)
        return;
    GraphChart* chart = m_view->chart();
    auto* series = new GraphSeries(graph, m_units, this);
    chart->addGraphSeries(series);
    // Added to the chart only now, so the selected and latest colours can apply.
    series->updateColor(Default);
    m_series.append(series);
    connect(series, &QObject::destroyed, this, [this]() { m_series.removeAll(nullptr); });
    connect(series, &QXYSeries::clicked, this, [this, graph]() { setSelectedGraph(graph); });

    if (graphSource == FromPress) {
        chart->setLatestSeries(series);
        setSelectedGraph(graph);
        updateAxies();
    }
}

void GraphVisualization::addGraphContainer(GraphContainer* graphContainer) {
    if (!graphContainer)
        return;
    const auto graphs = graphContainer->graphs();
    for (Graph* graph : graphs)
        addGraph(graph, FromFile);
    connect(graphContainer, &GraphContainer::graphAddedFromPress, this,
            [this](Graph* graph) { addGraph(graph, FromPress); });
    connect(graphContainer, &GraphContainer::graphAddedFromFile, this,
            [this](Graph* graph) { addGraph(graph, FromFile); });
    connect(graphContainer, &GraphContainer::bulkGraphAddFinished, this, [this, graphContainer]() {
        updateAxies();
        const auto graphs = graphContainer->graphs();
        setSelectedGraph(graphs.isEmpty() ? nullptr : graphs.last());
    });
    updateAxies();
}

void GraphVisualization::setSelectedGraph(Graph* newSelectedGraph) {
    if (!m_view)
        return;
    GraphChart* chart = m_view->chart();
    GraphSeries* current = chart->selectedSeries();
    if ((current ? current->graph() : nullptr) == newSelectedGraph)
        return;
    GraphSeries* series = seriesFor(newSelectedGraph);
    // Selecting lifts the line's drawing item above the others (see GraphSeries::setSelected).
    chart->setSelectedSeries(series);
    selectInLegend(newSelectedGraph);
}

void GraphVisualization::selectInLegend(Graph* graph) {
    if (!m_selectionModel)
        return;
    auto* model = qobject_cast<QStandardItemModel*>(m_selectionModel->model());
    if (!model)
        return;
    m_selectionModel->clearSelection();
    const auto flags = QItemSelectionModel::Select | QItemSelectionModel::Current | QItemSelectionModel::Rows;
    if (!graph) {
        m_selectionModel->setCurrentIndex(QModelIndex(), flags);
        return;
    }
    GraphContainer* container = graph->container();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStandardItem* containerItem = model->item(row, 0);
        if (!containerItem || containerItem->data(kItemRole).value<QObject*>() != container)
            continue;
        for (int child = 0; child < containerItem->rowCount(); ++child) {
            QStandardItem* traceItem = containerItem->child(child, 0);
            if (traceItem && traceItem->data(kItemRole).value<QObject*>() == graph) {
                m_selectionModel->setCurrentIndex(traceItem->index(), flags);
                return;
            }
        }
        return;
    }
}
