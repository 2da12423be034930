#include "chart/GraphView.h"

#include "chart/GraphAxis.h"
#include "chart/GraphChart.h"
#include "chart/GraphSeries.h"

#include <QCoreApplication>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>
#include <limits>

namespace {

bool sameValue(const QPointF& a, const QPointF& b) {
    const bool aNone = std::isnan(a.x()) || std::isnan(a.y());
    const bool bNone = std::isnan(b.x()) || std::isnan(b.y());
    if (aNone || bNone)
        return aNone == bNone;
    return a == b;
}

} // namespace

GraphView::GraphView(QWidget* parent)
    : QChartView(new GraphChart, parent)
    , m_chart(static_cast<GraphChart*>(QChartView::chart()))
    , m_cursorValue(std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()) {
    setRenderHint(QPainter::Antialiasing, true);
    setMouseTracking(true);
}

void GraphView::setDarkMode(bool dark) {
    m_chart->setTheme(dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
    const QList<GraphSeries*> lines = m_chart->graphSeries();
    for (GraphSeries* series : lines) {
        series->updateWidth();
        series->updateColor(Default);
    }
}

namespace {

// The chart's geometry follows a resize only once its layout has run, and the axes may ask for another
// round after choosing their ticks for the new size: run both now rather than from the event loop.
void layOut(QChart* chart, const QSizeF& size) {
    chart->resize(size);
    for (int round = 0; round < 3; ++round) {
        if (QGraphicsLayout* layout = chart->layout())
            layout->activate();
        QCoreApplication::sendPostedEvents(chart, QEvent::LayoutRequest);
    }
}

} // namespace

void GraphView::renderLaidOut(QPainter* painter, const QRectF& target, qreal layoutWidth) {
    if (!painter || target.isEmpty() || layoutWidth <= 0.0)
        return;
    const QSizeF onScreen = m_chart->size();
    layOut(m_chart, QSizeF(layoutWidth, layoutWidth * target.height() / target.width()));
    scene()->render(painter, target, m_chart->sceneBoundingRect(), Qt::KeepAspectRatio);
    layOut(m_chart, onScreen);
}

void GraphView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_lastMousePosition = event->position();
        event->accept();
    }
    // The chart view's own press handling reads the item under the pointer without checking that
    // there is one, which crashes on a press where the scene has no item. Skip to the plain graphics
    // view handling there: without a rubber band that is all the chart view would do.
    if (itemAt(event->position().toPoint()))
        QChartView::mousePressEvent(event);
    else
        QGraphicsView::mousePressEvent(event);
}

void GraphView::mouseMoveEvent(QMouseEvent* event) {
    const QPointF position = event->position();
    const QPointF chartPosition = m_chart->mapFromScene(mapToScene(position.toPoint()));
    QPointF value(std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN());
    if (m_chart->plotArea().contains(chartPosition)) {
        viewport()->setCursor(Qt::CrossCursor);
        if (!m_chart->graphSeries().isEmpty())
            value = m_chart->mapToValue(chartPosition);
    } else {
        viewport()->unsetCursor();
    }
    setCursorValue(value);

    if (event->buttons() & Qt::LeftButton) {
        m_chart->scroll(-(position.x() - m_lastMousePosition.x()), position.y() - m_lastMousePosition.y());
        m_lastMousePosition = position;
        event->accept();
    }
}

void GraphView::leaveEvent(QEvent* event) {
    viewport()->unsetCursor();
    setCursorValue(
        QPointF(std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()));
    QChartView::leaveEvent(event);
}

void GraphView::setCursorValue(const QPointF& value) {
    if (sameValue(value, m_cursorValue))
        return;
    m_cursorValue = value;
    emit cursorValueChanged(value);
}

void GraphView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta != 0) {
        const double factor = delta > 0 ? 0.5 : 2.0;
        const double xSpan = std::abs(m_chart->xAxis()->max() - m_chart->xAxis()->min());
        const double ySpan = std::abs(m_chart->yAxis()->max() - m_chart->yAxis()->min());
        const double rx = factor * xSpan / m_chart->xReferenceSpan();
        const double ry = factor * ySpan / m_chart->yReferenceSpan();
        const auto outside = [](double r) {
            return !(r <= kMaxZoomOutRatio && r >= kMaxZoomInRatio);
        };
        if (!outside(rx) && !outside(ry)) {
            const QRectF plot = m_chart->plotArea();
            const QPointF mouse = m_chart->mapFromScene(mapToScene(event->position().toPoint()));
            // Zooming into a rectangle centred on the pointer and then scrolling the pointer's value back
            // under it is one zoom into the rectangle that keeps the pointer where it is; done in one
            // step, every line rebuilds its geometry once instead of twice.
            const QRectF zoomed(mouse - factor * (mouse - plot.topLeft()), plot.size() * factor);
            m_chart->zoomIn(zoomed);
        }
    }
    QGraphicsView::wheelEvent(event);
}
