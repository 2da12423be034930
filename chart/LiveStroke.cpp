#include "chart/LiveStroke.h"

#include "chart/GraphAxis.h"
#include "chart/GraphChart.h"
#include "chart/GraphSeries.h"
#include "chart/GraphView.h"
#include "chart/GraphVisualization.h"

#include <QEvent>
#include <QGraphicsScene>
#include <QPainter>
#include <QPen>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

std::pair<double, double> rangeOf(const GraphAxis* axis) {
    return {axis->min(), axis->max()};
}

} // namespace

// The layer over the chart's viewport. Opaque (it paints all of itself), so the chart below is not
// repainted while it is shown; mouse events pass through to the chart.
class LiveStrokeLayer : public QWidget {
public:
    LiveStrokeLayer(LiveStroke* owner, QWidget* viewport)
        : QWidget(viewport)
        , m_owner(owner) {
        setObjectName(QStringLiteral("liveStrokeLayer"));
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (m_owner)
            m_owner->paintLayer(this);
    }

private:
    QPointer<LiveStroke> m_owner;
};

LiveStroke::LiveStroke(GraphView* view, QObject* parent)
    : QObject(parent)
    , m_view(view)
    , m_frameTimer(this) {
    m_frameTimer.setSingleShot(true);
    m_frameTimer.setInterval(kFrameIntervalMs);
    connect(&m_frameTimer, &QTimer::timeout, this, &LiveStroke::redraw);
    if (!view)
        return;
    m_viewport = view->viewport();
    m_layer = new LiveStrokeLayer(this, m_viewport);
    m_viewport->installEventFilter(this);
}

LiveStroke::~LiveStroke() {
    delete m_layer.data();
}

QWidget* LiveStroke::layer() const {
    return m_layer;
}

QColor LiveStroke::color() const {
    return GraphVisualization::pressTraceColor();
}

double LiveStroke::width() const {
    return GraphVisualization::pressTraceWidth();
}

QList<QPointF> LiveStroke::drawnPoints() const {
    return m_drawing ? m_shown.mid(0, m_drawnCount) : QList<QPointF>();
}

void LiveStroke::setUnits(Units units) {
    if (units == m_units)
        return;
    m_units = units;
    m_shown.clear();
    for (const QPointF& point : std::as_const(m_points))
        m_shown.append(shown(point));
    if (m_drawing && m_layer)
        m_layer->update();
}

QPointF LiveStroke::shown(const QPointF& recorded) const {
    if (m_units == Imperial)
        return recorded;
    // As a trace derives its metric copy.
    return QPointF(recorded.x() / kInchPerMm, recorded.y() / kLbsPerKg);
}

void LiveStroke::addPoint(const QPointF& point) {
    if (!m_view || !m_layer)
        return;
    if (!m_drawing) {
        m_drawing = true;
        m_pictureStale = true;
        // Whatever changes the chart from now on (a zoom, a theme, a recoloured trace) needs a new picture.
        if (QGraphicsScene* scene = m_view->scene())
            connect(scene, &QGraphicsScene::changed, this, &LiveStroke::onChartChanged, Qt::UniqueConnection);
    }
    m_points.append(point);
    m_shown.append(shown(point));
    if (!m_frameTimer.isActive())
        m_frameTimer.start();
}

void LiveStroke::onChartChanged() {
    if (m_takingPicture || !m_drawing)
        return;
    m_pictureStale = true;
    if (!m_frameTimer.isActive())
        m_frameTimer.start();
}

bool LiveStroke::eventFilter(QObject* watched, QEvent* event) {
    if (m_viewport && watched == m_viewport && event->type() == QEvent::Resize && m_drawing) {
        m_pictureStale = true;
        if (m_layer)
            m_layer->setGeometry(m_viewport->rect());
        if (!m_frameTimer.isActive())
            m_frameTimer.start();
    }
    return QObject::eventFilter(watched, event);
}

void LiveStroke::redraw() {
    if (!m_drawing || !m_view || !m_layer)
        return;
    fitAxesToLine();
    if (m_pictureStale)
        takePicture();
    m_drawnCount = m_shown.size();
    ++m_frames;
    if (m_layer->isHidden()) {
        m_layer->setGeometry(m_view->viewport()->rect());
        m_layer->raise();
        m_layer->show();
    }
    m_layer->update();
}

void LiveStroke::takePicture() {
    QWidget* viewport = m_view->viewport();
    const qreal ratio = viewport->devicePixelRatioF();
    m_picture = QPixmap(viewport->size() * ratio);
    m_picture.setDevicePixelRatio(ratio);
    m_picture.fill(Qt::transparent);
    // The chart alone, without the layer (a child of the viewport) on it.
    m_takingPicture = true;
    viewport->render(&m_picture, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    m_takingPicture = false;
    m_pictureStale = false;
    ++m_pictures;
}

void LiveStroke::paintLayer(QWidget* layer) {
    QPainter painter(layer);
    painter.drawPixmap(0, 0, m_picture);
    if (!m_view || m_drawnCount == 0)
        return;
    GraphChart* chart = m_view->chart();
    const GraphAxis* xAxis = chart->xAxis();
    const GraphAxis* yAxis = chart->yAxis();
    const double xSpan = xAxis->max() - xAxis->min();
    const double ySpan = yAxis->max() - yAxis->min();
    if (!(xSpan > 0.0) || !(ySpan > 0.0))
        return;
    // The plot area in the layer's (the viewport's) coordinates.
    const QRectF plot = m_view->mapFromScene(chart->mapToScene(chart->plotArea())).boundingRect();
    QPolygonF line;
    line.reserve(m_drawnCount);
    for (qsizetype i = 0; i < m_drawnCount; ++i) {
        const QPointF& value = m_shown.at(i);
        const double across = (value.x() - xAxis->min()) / xSpan;
        const double x =
            xAxis->isReverse() ? plot.right() - across * plot.width() : plot.left() + across * plot.width();
        const double y = plot.bottom() - (value.y() - yAxis->min()) / ySpan * plot.height();
        line.append(QPointF(x, y));
    }
    painter.setClipRect(plot);
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPen pen(color());
    pen.setWidthF(width());
    painter.setPen(pen);
    painter.drawPolyline(line);
}

void LiveStroke::fitAxesToLine() {
    // Only the first stroke of an empty chart: the axes still show their start-up range, which would
    // hide the stroke. With traces on the chart the axes stay as the user and the autoscale left them.
    GraphChart* chart = m_view->chart();
    if (!chart->graphSeries().isEmpty())
        return;
    double largestX = 0.0;
    double largestY = 0.0;
    for (const QPointF& point : std::as_const(m_shown)) {
        largestX = std::max(largestX, point.x());
        largestY = std::max(largestY, point.y());
    }
    // The autoscale rule, with the largest position in place of the starting position not known yet.
    const double right = largestX > 0.0 ? largestX : 1.0;
    const double top = std::max(10.0, 1.1 * largestY);
    if (rangeOf(chart->xAxis()) == std::make_pair(-0.01 * right, 1.1 * right) &&
        rangeOf(chart->yAxis()) == std::make_pair(-0.01 * top, top))
        return;
    chart->setXRange(-0.01 * right, 1.1 * right);
    chart->setYRange(-0.01 * top, top);
    m_pictureStale = true;
}

void LiveStroke::clear() {
    m_frameTimer.stop();
    m_points.clear();
    m_shown.clear();
    m_drawnCount = 0;
    if (!m_drawing)
        return;
    m_drawing = false;
    m_picture = QPixmap();
    if (m_view && m_view->scene())
        disconnect(m_view->scene(), &QGraphicsScene::changed, this, &LiveStroke::onChartChanged);
    if (m_layer)
        m_layer->hide();
}
