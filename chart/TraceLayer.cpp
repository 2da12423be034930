#include "chart/TraceLayer.h"

#include "chart/GraphAxis.h"
#include "chart/GraphChart.h"
#include "chart/GraphSeries.h"

#include <QGraphicsSceneMouseEvent>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

namespace {

// Points this far outside the plot area (in pixels) are cut at its edge before drawing: the painter's
// rasteriser slows to a crawl, or overflows, on coordinates of a damaged file's size.
constexpr double kDrawMargin = 4096.0;
// Below this many points one thread draws everything; at most this many threads draw.
constexpr qsizetype kPointsPerThread = 20000;
constexpr int kMaxDrawingThreads = 4;
// How far apart the one-pixel strands of a wide line are drawn.
constexpr double kStrandSpacing = 0.5;

// Clips the segment a-b to the rectangle (Liang-Barsky); false when nothing of it is inside.
bool clipSegment(QPointF& a, QPointF& b, const QRectF& rect) {
    const double dx = b.x() - a.x();
    const double dy = b.y() - a.y();
    double t0 = 0.0;
    double t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - rect.left(), rect.right() - a.x(), a.y() - rect.top(),
                         rect.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    const QPointF start = a;
    a = QPointF(start.x() + t0 * dx, start.y() + t0 * dy);
    b = QPointF(start.x() + t1 * dx, start.y() + t1 * dy);
    return std::isfinite(a.x()) && std::isfinite(a.y()) && std::isfinite(b.x()) && std::isfinite(b.y());
}

double distanceToSegment(const QPointF& p, const QPointF& a, const QPointF& b) {
    const QPointF ab = b - a;
    const double length2 = QPointF::dotProduct(ab, ab);
    double t = length2 > 0.0 ? QPointF::dotProduct(p - a, ab) / length2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const QPointF nearest = a + t * ab;
    return std::hypot(p.x() - nearest.x(), p.y() - nearest.y());
}

} // namespace

TraceLayer::TraceLayer(GraphChart* chart)
    : QGraphicsObject(chart)
    , m_chart(chart) {
    setAcceptedMouseButtons(Qt::LeftButton);
    setFlag(QGraphicsItem::ItemHasNoContents, false);
    geometryChanged();
}

QRectF TraceLayer::boundingRect() const {
    return m_plotArea;
}

void TraceLayer::geometryChanged() {
    const QRectF plot = m_chart->plotArea();
    const std::array<double, 4> ranges{m_chart->xAxis()->min(), m_chart->xAxis()->max(),
                                       m_chart->yAxis()->min(), m_chart->yAxis()->max()};
    // The chart repeats its plot area after layouts that moved nothing: no repaint for those.
    if (plot == m_plotArea && ranges == m_ranges)
        return;
    if (plot != m_plotArea) {
        prepareGeometryChange();
        m_plotArea = plot;
    }
    m_ranges = ranges;
    contentChanged();
}

TraceLayer::Mapping TraceLayer::mapping() const {
    const GraphAxis* x = m_chart->xAxis();
    const GraphAxis* y = m_chart->yAxis();
    const QRectF plot = m_plotArea;
    const double xSpan = x->max() - x->min();
    const double ySpan = y->max() - y->min();
    Mapping map{};
    // The position axis runs right to left.
    map.xScale = xSpan != 0.0 ? (x->isReverse() ? -1.0 : 1.0) * plot.width() / xSpan : 0.0;
    map.xOffset = x->isReverse() ? plot.right() - x->min() * map.xScale : plot.left() - x->min() * map.xScale;
    map.yScale = ySpan != 0.0 ? -plot.height() / ySpan : 0.0;
    map.yOffset = plot.bottom() - y->min() * map.yScale;
    return map;
}

QPointF TraceLayer::toPosition(const QPointF& value) const {
    return mapping()(value);
}

QList<GraphSeries*> TraceLayer::drawingOrder() const {
    QList<GraphSeries*> order;
    GraphSeries* selected = nullptr;
    const QList<GraphSeries*>& all = m_chart->graphSeries();
    order.reserve(all.size());
    for (GraphSeries* series : all) {
        if (!series->isVisible() || series->linePoints().isEmpty())
            continue;
        if (series->isSelected() && !selected)
            selected = series;
        else
            order.append(series);
    }
    if (selected)
        order.append(selected);
    return order;
}

namespace {

// Draws the lines onto the painter, mapped with the scale and offsets given, each as its own segments
// (stroking a long polyline as one outline costs several times more). Segments wholly beside the clip
// (`visible`, widened by the pen) are left out; points far outside are cut at the margin first.
void drawJobs(QPainter& painter, const TraceLayer::LineJob* begin, const TraceLayer::LineJob* end,
              double xScale, double xOffset, double yScale, double yOffset, const QRectF& visible,
              bool strands) {
    const QRectF bounds = visible.adjusted(-kDrawMargin, -kDrawMargin, kDrawMargin, kDrawMargin);
    std::vector<QPointF> pixels;
    std::vector<QLineF> segments;
    std::vector<QPointF> normals;
    std::vector<QLineF> shifted;
    for (const TraceLayer::LineJob* job = begin; job != end; ++job) {
        const QList<QPointF>& points = job->points;
        pixels.resize(std::size_t(points.size()));
        bool inBounds = true;
        for (qsizetype i = 0; i < points.size(); ++i) {
            const QPointF pixel(points[i].x() * xScale + xOffset, points[i].y() * yScale + yOffset);
            pixels[std::size_t(i)] = pixel;
            inBounds = inBounds && bounds.contains(pixel);
        }
        const double reach = job->pen.widthF() + 1.0;
        const QRectF near = visible.adjusted(-reach, -reach, reach, reach);
        segments.clear();
        for (std::size_t i = 1; i < pixels.size(); ++i) {
            QPointF a = pixels[i - 1];
            QPointF b = pixels[i];
            if ((a.x() < near.left() && b.x() < near.left()) ||
                (a.x() > near.right() && b.x() > near.right()) ||
                (a.y() < near.top() && b.y() < near.top()) ||
                (a.y() > near.bottom() && b.y() > near.bottom()))
                continue;
            if (!inBounds && !clipSegment(a, b, bounds))
                continue;
            segments.emplace_back(a, b);
        }
        if (segments.empty())
            continue;
        if (!strands) {
            painter.setPen(job->pen);
            painter.drawLines(segments.data(), int(segments.size()));
            continue;
        }
        // On pixels, a wide line is drawn as one-pixel strands side by side across the segment, half a
        // pixel apart: the painter draws thin antialiased lines several times faster than it strokes
        // wide ones, and the strands cover the same pixels.
        QPen thin = job->pen;
        thin.setWidthF(1.0);
        thin.setCosmetic(true);
        painter.setPen(thin);
        const double spread = std::max(0.0, job->pen.widthF() - 1.0);
        const int count = 1 + int(std::lround(spread / kStrandSpacing));
        normals.resize(segments.size());
        for (std::size_t i = 0; i < segments.size(); ++i) {
            const QLineF& s = segments[i];
            const double length = std::hypot(s.dx(), s.dy());
            normals[i] = length > 0.0 ? QPointF(-s.dy() / length, s.dx() / length) : QPointF();
        }
        shifted.resize(segments.size());
        for (int strand = 0; strand < count; ++strand) {
            const double offset = count > 1 ? -spread / 2.0 + spread * strand / (count - 1) : 0.0;
            for (std::size_t i = 0; i < segments.size(); ++i)
                shifted[i] =
                    QLineF(segments[i].p1() + normals[i] * offset, segments[i].p2() + normals[i] * offset);
            painter.drawLines(shifted.data(), int(shifted.size()));
        }
    }
}

} // namespace

void TraceLayer::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    if (m_plotArea.isEmpty())
        return;
    const QTransform device = painter->deviceTransform();
    const bool raster = painter->paintEngine() && painter->paintEngine()->type() == QPaintEngine::Raster &&
                        device.type() <= QTransform::TxScale;
    if (!raster) {
        // Vector output (the PDF) gets the lines themselves.
        const std::vector<LineJob> jobs = takeJobs();
        const Mapping map = mapping();
        painter->save();
        painter->setClipRect(m_plotArea, Qt::IntersectClip);
        drawJobs(*painter, jobs.data(), jobs.data() + jobs.size(), map.xScale, map.xOffset, map.yScale,
                 map.yOffset, m_plotArea, false);
        painter->restore();
        return;
    }
    const QRect target = device.mapRect(m_plotArea).toAlignedRect();
    const bool cached = !m_stale && !m_picture.isNull() && m_pictureDevice == device &&
                        m_pictureTarget == target && m_pictureHints == painter->renderHints();
    if (!cached) {
        drawPicture(device, target, painter->renderHints());
        m_pictureDevice = device;
        m_pictureTarget = target;
        m_pictureHints = painter->renderHints();
        m_stale = false;
    }
    // The picture is in device pixels: this puts it back onto exactly those.
    painter->drawImage(device.inverted().mapRect(QRectF(target)), m_picture);
}

std::vector<TraceLayer::LineJob> TraceLayer::takeJobs() const {
    const auto lines = drawingOrder();
    std::vector<LineJob> jobs;
    jobs.reserve(std::size_t(lines.size()));
    for (const GraphSeries* series : lines)
        jobs.push_back({series->linePoints(), series->pen()});
    return jobs;
}

void TraceLayer::drawPicture(const QTransform& device, const QRect& target, QPainter::RenderHints hints) {
    // Everything in the image's own pixels: values straight to pixels, pens as wide as they come out.
    const QTransform toImage = device * QTransform::fromTranslate(-target.x(), -target.y());
    const double scale = (std::abs(toImage.m11()) + std::abs(toImage.m22())) / 2.0;
    std::vector<LineJob> jobs = takeJobs();
    qsizetype points = 0;
    for (LineJob& job : jobs) {
        points += job.points.size();
        job.pen.setWidthF(job.pen.widthF() * scale);
    }
    const Mapping inItem = mapping();
    Mapping map{};
    map.xScale = inItem.xScale * toImage.m11();
    map.xOffset = inItem.xOffset * toImage.m11() + toImage.dx();
    map.yScale = inItem.yScale * toImage.m22();
    map.yOffset = inItem.yOffset * toImage.m22() + toImage.dy();
    const QRectF plot = toImage.mapRect(m_plotArea);
    // Many lines: each thread draws its share of them, a run of consecutive lines, into an image of its
    // own, and the images are laid over the first in the same order. Blending is associative, so the
    // pixels are those of drawing every line in turn.
    const int workers =
        std::min<int>(kMaxDrawingThreads, int(std::max(1u, std::thread::hardware_concurrency())));
    const int shares = int(std::clamp<qsizetype>(points / kPointsPerThread, 1, workers));
    std::vector<std::size_t> cuts{0};
    qsizetype counted = 0;
    for (std::size_t i = 0; i < jobs.size() && int(cuts.size()) < shares; ++i) {
        counted += jobs[i].points.size();
        if (counted * shares >= points * qsizetype(cuts.size()))
            cuts.push_back(i + 1);
    }
    cuts.push_back(jobs.size());
    std::vector<QImage> images(cuts.size() - 1);
    const auto drawShare = [&](std::size_t share) {
        QImage& image = images[share];
        image = QImage(target.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter onImage(&image);
        onImage.setRenderHints(hints);
        onImage.setClipRect(plot);
        drawJobs(onImage, jobs.data() + cuts[share], jobs.data() + cuts[share + 1], map.xScale, map.xOffset,
                 map.yScale, map.yOffset, plot, true);
    };
    std::vector<std::thread> threads;
    for (std::size_t share = 1; share < images.size(); ++share)
        threads.emplace_back(drawShare, share);
    drawShare(0);
    for (std::thread& thread : threads)
        thread.join();
    if (images.size() > 1) {
        QPainter over(&images[0]);
        for (std::size_t share = 1; share < images.size(); ++share)
            over.drawImage(0, 0, images[share]);
    }
    m_picture = std::move(images[0]);
}

void TraceLayer::contentChanged() {
    m_stale = true;
    update();
}

GraphSeries* TraceLayer::lineAt(const QPointF& position) const {
    if (!m_plotArea.contains(position))
        return nullptr;
    const Mapping map = mapping();
    const auto lines = drawingOrder();
    GraphSeries* nearest = nullptr;
    double nearestDistance = std::numeric_limits<double>::infinity();
    // From the top down: where lines overlap, the one drawn over the others is the one clicked.
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        GraphSeries* series = *it;
        const double reach = series->pen().widthF() / 2.0 + kClickTolerance;
        const QList<QPointF>& points = series->linePoints();
        QPointF previous = map(points.first());
        double best = points.size() == 1
                          ? std::hypot(position.x() - previous.x(), position.y() - previous.y())
                          : std::numeric_limits<double>::infinity();
        for (qsizetype i = 1; i < points.size(); ++i) {
            const QPointF next = map(points[i]);
            // Cheap rejection first: most segments lie nowhere near the click.
            if (!(std::min(previous.x(), next.x()) - reach > position.x() ||
                  std::max(previous.x(), next.x()) + reach < position.x() ||
                  std::min(previous.y(), next.y()) - reach > position.y() ||
                  std::max(previous.y(), next.y()) + reach < position.y()))
                best = std::min(best, distanceToSegment(position, previous, next));
            previous = next;
        }
        if (best <= reach && best < nearestDistance - 0.5) {
            nearest = series;
            nearestDistance = best;
        }
    }
    return nearest;
}

void TraceLayer::mousePressEvent(QGraphicsSceneMouseEvent* event) {
    const QPointF position = mapToParent(event->pos());
    GraphSeries* series = event->button() == Qt::LeftButton ? lineAt(position) : nullptr;
    if (!series) {
        // Not on a line: the chart takes the click (and clears the selection).
        event->ignore();
        return;
    }
    event->accept();
    const Mapping map = mapping();
    const QPointF value(map.xScale != 0.0 ? (position.x() - map.xOffset) / map.xScale : 0.0,
                        map.yScale != 0.0 ? (position.y() - map.yOffset) / map.yScale : 0.0);
    emit series->clicked(value);
}
