#pragma once

#include <QGraphicsObject>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QTransform>

#include <array>
#include <vector>

class GraphChart;
class GraphSeries;

// Draws the lines of every trace on a GraphChart, in one item over the plot area. The series stay the
// model of each line (its points in the shown units, pen, visibility, selected and latest marks); this
// item maps their points to pixels with the axes' ranges of the moment it paints, so a zoom or pan step
// costs one drawing of the lines and rebuilds nothing. Lines are drawn in the order they were added to
// the chart, the selected one last (on top). A left click within a few pixels of a shown line is that
// line's click; anywhere else the click goes on to the chart.
class TraceLayer : public QGraphicsObject {
    Q_OBJECT
public:
    // What a click may miss a line by, beyond half the line's width, in pixels.
    static constexpr double kClickTolerance = 3.0;

    // A child of the chart, which keeps it over its plot area.
    explicit TraceLayer(GraphChart* chart);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    // The pixel (in chart coordinates) of a value, with the axes' current ranges.
    QPointF toPosition(const QPointF& value) const;
    // The shown line passing nearest to `position` (chart coordinates) within half its width and
    // kClickTolerance, the selected line first; none when no line passes that near.
    GraphSeries* lineAt(const QPointF& position) const;

    // The plot area or the axes' ranges changed: follow them.
    void geometryChanged();
    // A line changed (points, pen, visibility, stacking), came or went: draw the lines again.
    void contentChanged();

    // One line to draw, taken from its series on the GUI thread: drawing threads read nothing else.
    struct LineJob {
        QList<QPointF> points;
        QPen pen;
    };

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;

private:
    struct Mapping {
        double xScale, xOffset, yScale, yOffset;
        QPointF operator()(const QPointF& value) const {
            return {value.x() * xScale + xOffset, value.y() * yScale + yOffset};
        }
    };
    Mapping mapping() const;
    // The lines in drawing order: shown ones only, the selected one last.
    QList<GraphSeries*> drawingOrder() const;
    std::vector<LineJob> takeJobs() const;
    // Draws every line into m_picture, in device pixels of the target rectangle.
    void drawPicture(const QTransform& device, const QRect& target, QPainter::RenderHints hints);

    GraphChart* m_chart;
    QRectF m_plotArea;
    std::array<double, 4> m_ranges{}; // the axes' ranges last drawn with: x min, x max, y min, y max
    // On pixel surfaces the lines are drawn into a picture, kept until they, the ranges or the surface
    // change: a repaint for anything else (a label, the live stroke's layer) only copies it.
    QImage m_picture;
    QTransform m_pictureDevice;
    QRect m_pictureTarget;
    QPainter::RenderHints m_pictureHints;
    bool m_stale = true;
};
