#pragma once

#include <QChartView>
#include <QPointF>

class GraphChart;

// The chart widget: wheel zoom within limits around the pointer, panning by dragging with the left
// button, and the chart value under the pointer.
class GraphView : public QChartView {
    Q_OBJECT
public:
    // Zoom stops once the visible span would leave this band around the reference span.
    static constexpr double kMaxZoomOutRatio = 10.0;
    static constexpr double kMaxZoomInRatio = 0.01;

    explicit GraphView(QWidget* parent = nullptr);

    GraphChart* chart() const { return m_chart; }
    // (position, force) under the pointer; (NaN, NaN) when there is none.
    QPointF cursorValue() const { return m_cursorValue; }
    // Dark or light chart theme; series colours are re-applied since a theme resets them.
    void setDarkMode(bool dark);

    // Draws the chart into target as if it were layoutWidth pixels wide and of target's shape (axes,
    // labels and lines laid out at that size, then scaled), and puts its on-screen layout back after.
    void renderLaidOut(QPainter* painter, const QRectF& target, qreal layoutWidth);

signals:
    void cursorValueChanged(QPointF value);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    // The pointer left the chart: no value under it any more.
    void leaveEvent(QEvent* event) override;

private:
    void setCursorValue(const QPointF& value);

    GraphChart* m_chart;
    QPointF m_lastMousePosition{0, 0};
    QPointF m_cursorValue;
};
