#pragma once

#include "core/Units.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QPointer>

class Graph;
class GraphContainer;
class GraphSeries;
class GraphView;
class IGraphModel;
class QItemSelectionModel;
class QModelIndex;

// Keeps the chart in step with the graph model: one line per trace of every container, the axes
// fitted to the data, the latest stroke marked, and the selection shared with the legend.
class GraphVisualization : public QObject {
    Q_OBJECT
public:
    enum GraphSource {
        FromPress = 0, // the trace was just recorded
        FromFile = 1,  // the trace was loaded or restored
    };
    Q_ENUM(GraphSource)

    // Neither the model nor the view is owned. Adds the lines of the model's active container.
    GraphVisualization(IGraphModel* graphModel, GraphView* view, QObject* parent = nullptr);
    // Takes its lines off the chart before deleting them when the chart outlives it.
    ~GraphVisualization() override;

    Units units() const { return m_units; }
    // Shows every line in that unit system, retitles the axes and fits them again.
    void setUnits(Units units);
    // The legend's selection, kept in step with the chart's; none stops following it.
    void setSelectionModel(QItemSelectionModel* selectionModel);
    // The line of that trace, or none.
    GraphSeries* seriesFor(const Graph* graph) const;
    // The colour and width a trace from the press is drawn with when it arrives.
    static QColor pressTraceColor();
    static double pressTraceWidth();

public slots:
    // Fits the axes to the data of every line (hidden ones too); nothing without lines.
    void updateAxies();
    void addGraph(Graph* graph, GraphVisualization::GraphSource graphSource = FromFile);
    void addGraphContainer(GraphContainer* graphContainer);
    // Selects that trace's line (none clears) and its legend row, and draws it above the others.
    void setSelectedGraph(Graph* newSelectedGraph);

private:
    void onCurrentRowChanged(const QModelIndex& current);
    void selectInLegend(Graph* graph);
    QList<GraphSeries*> allSeries() const;

    IGraphModel* m_graphModel;
    QPointer<QItemSelectionModel> m_selectionModel;
    QPointer<GraphView> m_view;
    Units m_units = Imperial;
    QList<QPointer<GraphSeries>> m_series;
};
