#pragma once

#include <QChart>
#include <QList>
#include <QPointF>
#include <QString>

#include <functional>

class GraphAxis;
class GraphSeries;
class TraceLayer;
class QLineSeries;

// The force-against-position chart: position on a reversed X axis at the bottom, force on the Y axis
// at the left, each with about seven tick intervals whatever the visible range, fewer when the labels of
// that many would not fit the axis' length: a label is never cut short.
class GraphChart : public QChart {
    Q_OBJECT
public:
    // The tick interval for a visible span and the decimals its labels need.
    struct TickStep {
        double step;
        int decimals;
    };

    explicit GraphChart(QGraphicsItem* parent = nullptr);

    GraphAxis* xAxis() const { return m_xAxis; }
    GraphAxis* yAxis() const { return m_yAxis; }

    // Sets the visible range and remembers it as the reference that wheel zoom is measured against.
    void setXRange(double min, double max);
    void setYRange(double min, double max);
    double xReferenceSpan() const;
    double yReferenceSpan() const;

    // Adds the line; the trace layer draws it. The lines are kept by the chart itself, not among Qt
    // Charts' series: a series there costs some 30 KiB (its drawing item, its legend marker) even empty.
    void addGraphSeries(GraphSeries* series);
    // Takes the line off (nothing if it is not on this chart); it is not deleted.
    void removeGraphSeries(GraphSeries* series);
    // The lines in the order they were added.
    const QList<GraphSeries*>& graphSeries() const { return m_lines; }
    // The item that draws every trace line, over the plot area.
    TraceLayer* traceLayer() const { return m_traceLayer; }

    // The first series marked selected, or none.
    GraphSeries* selectedSeries() const;
    // Marks that series latest (selected) and clears the mark on every other one; none clears all.
    void setLatestSeries(GraphSeries* series);
    void setSelectedSeries(GraphSeries* series);

    // The step with 7 × step closest to the span, ties going to the smaller step. Beyond the table the
    // steps go on by decades (10000, 20000, 25000, 50000, 100000, ...), so any finite span gets a
    // handful of ticks; a non-finite span gets the largest table step.
    static TickStep tickStepFor(double span);
    // The step above, or the next larger ones along the table (then by decades) until fits(step) holds.
    static TickStep tickStepFor(double span, const std::function<bool(const TickStep&)>& fits);
    // "%.<decimals>f"
    static QString labelFormat(int decimals);

signals:
    void clicked(QPointF point);

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;

private:
    // Sets the axis' step and label format for its visible range and its length on screen.
    void applyTickStep(GraphAxis* axis, double min, double max);
    // True when every label of that step fits the axis' pixel length with room between labels, as the
    // chart divides the length among them; true while the chart has no plot area yet.
    bool labelsFit(const GraphAxis* axis, double min, double max, const TickStep& tick) const;
    void onPlotAreaChanged();

    GraphAxis* m_xAxis;
    GraphAxis* m_yAxis;
    TraceLayer* m_traceLayer;
    // An empty line on both axes: Qt Charts maps values and positions through a series' domain.
    QLineSeries* m_anchor;
    QList<GraphSeries*> m_lines;
    double m_xReferenceMin = -0.1;
    double m_xReferenceMax = 0.2;
    double m_yReferenceMin = -0.1;
    double m_yReferenceMax = 10.0;
    // The plot area the current steps were chosen for.
    QRectF m_fittedPlotArea;
};
