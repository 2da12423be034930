#pragma once

#include "chart/GraphAxis.h"
#include "chart/GraphChart.h"
#include "chart/GraphModel.h"
#include "chart/GraphSeries.h"
#include "chart/GraphView.h"
#include "chart/GraphVisualization.h"
#include "chart/TraceLayer.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"

#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QItemSelectionModel>
#include <QJsonArray>
#include <QPainter>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QStandardPaths>

#include <cmath>
#include <limits>
#include <memory>

// The chart tests' shared rig: a model with an active container, the view and the controller.

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double kInf = std::numeric_limits<double>::infinity();

inline void flushDeletions() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A stroke in inches and pounds: flat until `start`, then rising linearly to `peak` at `end`.
inline QList<QPointF> stroke(double start, double end, double peak) {
    QList<QPointF> points;
    for (int i = 0; i <= 40; ++i) {
        const double x = start * 1.5 - i * (start * 1.5 - end) / 40.0;
        const double y = x > start ? 0.0 : peak * (start - x) / (start - end);
        points.append({x, y});
    }
    return points;
}

// The chart, its controller and a model with an active container, as the main window puts them together.
struct Rig {
    GraphModel model;
    GraphContainer active{true, nullptr};
    std::unique_ptr<GraphView> view;
    std::unique_ptr<GraphVisualization> visualization;

    Rig() {
        model.setActiveSessionContainer(&active);
        view = std::make_unique<GraphView>();
        view->resize(800, 500);
        visualization = std::make_unique<GraphVisualization>(&model, view.get());
    }
    ~Rig() {
        visualization.reset();
        view.reset();
    }
    GraphChart* chart() const { return view->chart(); }
    GraphSeries* series(const Graph* graph) const { return visualization->seriesFor(graph); }
    double xMin() const { return chart()->xAxis()->min(); }
    double xMax() const { return chart()->xAxis()->max(); }
    double yMin() const { return chart()->yAxis()->min(); }
    double yMax() const { return chart()->yAxis()->max(); }
};

// A legend model of the shape the legend uses: container rows with trace rows below them.
inline void addLegendRows(QStandardItemModel& legend, GraphContainer* container) {
    auto* containerItem = new QStandardItem(QStringLiteral("container"));
    containerItem->setData(QVariant::fromValue<QObject*>(container), Qt::UserRole + 1);
    for (Graph* graph : container->graphs()) {
        auto* traceItem = new QStandardItem(graph->name());
        traceItem->setData(QVariant::fromValue<QObject*>(graph), Qt::UserRole + 1);
        containerItem->appendRow({traceItem, new QStandardItem(QStringLiteral("x"))});
    }
    legend.appendRow(containerItem);
}
