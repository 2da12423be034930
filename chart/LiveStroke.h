#pragma once

#include "core/Units.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QPointF>
#include <QPolygonF>
#include <QTimer>

class GraphView;
class QWidget;

// The stroke under way, drawn on the chart as its points arrive: a temporary line in the colour and
// width the finished trace will get, clipped to the plot area. Points are collected as they come and
// the line is redrawn at most once per frame interval, never once per point. Ending the stroke (with or
// without a trace) takes the line off.
//
// Repainting the chart itself costs in proportion to its traces (every line is drawn again), so the line
// is not a chart series: while it is drawn, a layer over the chart shows a picture of the chart, taken
// when the stroke starts and again whenever the chart changes, with the line on top. A frame then costs
// one picture copy and one polyline, however many traces the chart holds.
class LiveStroke : public QObject {
    Q_OBJECT
public:
    // At most about 30 redraws a second.
    static constexpr int kFrameIntervalMs = 33;

    // The view is not owned; the line is drawn over it.
    explicit LiveStroke(GraphView* view, QObject* parent = nullptr);
    // Takes the layer off the view.
    ~LiveStroke() override;

    Units units() const { return m_units; }
    // Shows the line in that unit system (the points themselves stay as recorded).
    void setUnits(Units units);

    // A stroke's line is shown.
    bool isDrawing() const { return m_drawing; }
    // The points of the stroke under way, as recorded (inches, pounds).
    const QList<QPointF>& points() const { return m_points; }
    // The line as last drawn, in the chart's units.
    QList<QPointF> drawnPoints() const;
    int drawnPointCount() const { return m_drawing ? int(m_drawnCount) : 0; }
    // How often the line has been redrawn, and how often the chart's picture was taken, since construction.
    int frameCount() const { return m_frames; }
    int pictureCount() const { return m_pictures; }
    QColor color() const;
    double width() const;
    // The layer over the chart (shown only while drawing); none once the view is gone.
    QWidget* layer() const;

public slots:
    // One more point of the stroke under way (distance below the X zero in inches, force in pounds);
    // the first one shows the line.
    void addPoint(const QPointF& point);
    // The stroke is over: the line goes and the points are forgotten.
    void clear();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class LiveStrokeLayer;

    void redraw();
    void takePicture();
    void onChartChanged();
    QPointF shown(const QPointF& recorded) const;
    void fitAxesToLine();
    void paintLayer(QWidget* layer);

    QPointer<GraphView> m_view;
    QPointer<QWidget> m_viewport; // watched apart: its events arrive while the view is being destroyed
    QPointer<QWidget> m_layer;
    QTimer m_frameTimer; // a child, so a profiler can tell its frames apart
    Units m_units = Imperial;
    QList<QPointF> m_points;
    QList<QPointF> m_shown; // m_points in m_units
    qsizetype m_drawnCount = 0;
    QPixmap m_picture;
    bool m_pictureStale = true;
    bool m_takingPicture = false;
    bool m_drawing = false;
    int m_frames = 0;
    int m_pictures = 0;
};
