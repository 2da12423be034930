#pragma once

#include "core/Units.h"
#include "data/ColorChangeSettings.h"
#include "data/Graph.h"

#include <QColor>
#include <QLineSeries>
#include <QList>
#include <QPointer>
#include <QPointF>

class GraphChart;

// The line of one trace. It follows its trace: colour, visibility and, when the trace is destroyed,
// its own removal from the chart and deferred deletion. The chart's trace layer draws it from
// linePoints(); the series itself hands the chart no points, so a range change rebuilds nothing for it.
class GraphSeries : public QLineSeries {
    Q_OBJECT
public:
    static constexpr double kSelectedWidth = 3.0;
    static constexpr double kNormalWidth = 2.0;

    GraphSeries(Graph* graph, Units units, QObject* parent = nullptr);

    // The colours of the selected and of the latest line.
    static QColor selectedColor() { return QColor(Qt::green); }
    static QColor latestColor() { return QColor(Qt::red); }

    // The trace shown; none once it has been destroyed.
    Graph* graph() const { return m_graph; }
    Units units() const { return m_units; }
    bool isSelected() const { return m_selected; }
    bool isLatest() const { return m_latest; }

    // Shows the trace's points in that unit system. Nothing once the trace is gone.
    void setUnits(Units units);
    void setSelected(bool selected);
    void setLatest(bool latest);

    // The chart that shows the line (set by GraphChart), or none.
    GraphChart* graphChart() const { return m_chart; }
    void setGraphChart(GraphChart* chart) { m_chart = chart; }

    // The trace's drawable points in the shown units (see drawablePoints); none once the trace is gone.
    const QList<QPointF>& linePoints() const { return m_line; }

    // The finite points of the list, in order: a NaN or infinite coordinate is not drawable.
    static QList<QPointF> drawablePoints(const QList<QPointF>& points);

public slots:
    // Selected: green; else latest (unless the change is a gradient colouring): red; else the trace's
    // effective colour. Green and red apply only on a GraphChart.
    void updateColor(ColorChangeSettings settings = Default);
    // 3 px when selected, else 2 px.
    void updateWidth();

signals:
    // linePoints() changed, or the line was taken off its chart.
    void lineChanged();
    // Selected or unselected: the line is drawn on top of the others, or back in its place.
    void selectionChanged();

private:
    void onGraphDestroyed();

    QPointer<Graph> m_graph;
    Units m_units;
    bool m_selected = false;
    bool m_latest = false;
    QList<QPointF> m_line;
    QPointer<GraphChart> m_chart;
};
