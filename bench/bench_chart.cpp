// Chart frame costs: a 1,100 x 560 view rendered into an image with 50 traces of 1,000 points (the
// selected one on top, antialiasing on), one wheel-zoom step and one pan step on it, and a session of
// 500 such traces added and drawn, beside plain QPainter drawing the same lines with the same pens.
// Prints one line per figure (medians), with its ratio to the painter and its goal; exits 1 when a goal
// is missed. See docs/performance.md.
#include "bench/BenchSupport.h"
#include "chart/GraphAxis.h"
#include "chart/GraphChart.h"
#include "chart/GraphModel.h"
#include "chart/GraphSeries.h"
#include "chart/GraphView.h"
#include "chart/GraphVisualization.h"
#include "chart/SessionModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/UndoHistory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QPainter>
#include <QPen>
#include <QRandomGenerator>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <vector>

namespace {

using bench::makeStroke;

double medianMs(int runs, const std::function<void()>& work) {
    return bench::medianSeconds(runs, work) * 1e3;
}

QJsonObject sessionOf(int traces) {
    QRandomGenerator random(7);
    GraphContainer source(true, nullptr);
    for (int i = 0; i < traces; ++i)
        source.addGraphFromPress(makeStroke(random), true);
    return source.toJson();
}

// The same lines drawn with plain QPainter into an image of the chart's size: the traces' points mapped
// to pixels with the chart's current ranges, each line with its own pen, antialiased; the faster of one
// polyline per trace and one batch of segments per trace, so the reference is the painter at its best.
double painterMs(int runs, const QList<QList<QPointF>>& lines, const QList<QPen>& pens, const QRectF& plot,
                 const QRectF& values) {
    QImage image(1100, 560, QImage::Format_ARGB32_Premultiplied);
    const double xScale = -plot.width() / values.width();
    const double yScale = -plot.height() / values.height();
    const auto map = [&](const QPointF& p) {
        return QPointF(plot.right() + (p.x() - values.left()) * xScale,
                       plot.bottom() + (p.y() - values.top()) * yScale);
    };
    double best = std::numeric_limits<double>::infinity();
    for (const bool segments : {false, true}) {
        best = std::min(best, medianMs(runs, [&] {
                            image.fill(Qt::white);
                            QPainter painter(&image);
                            painter.setRenderHint(QPainter::Antialiasing);
                            painter.setClipRect(plot);
                            QPolygonF pixels;
                            QList<QLineF> pieces;
                            for (qsizetype l = 0; l < lines.size(); ++l) {
                                painter.setPen(pens.at(l));
                                const QList<QPointF>& points = lines.at(l);
                                pixels.resize(points.size());
                                for (qsizetype i = 0; i < points.size(); ++i)
                                    pixels[i] = map(points[i]);
                                if (!segments) {
                                    painter.drawPolyline(pixels);
                                    continue;
                                }
                                pieces.resize(0);
                                for (qsizetype i = 1; i < pixels.size(); ++i)
                                    pieces.append(QLineF(pixels[i - 1], pixels[i]));
                                painter.drawLines(pieces);
                            }
                        }));
    }
    return best;
}

struct Chart {
    GraphModel model;
    GraphContainer active{true, nullptr};
    GraphView view;
    GraphVisualization* visualization = nullptr;
    QImage image{1100, 560, QImage::Format_ARGB32_Premultiplied};

    Chart() {
        model.setActiveSessionContainer(&active);
        view.resize(1100, 560);
        view.show();
        visualization = new GraphVisualization(&model, &view, &view);
    }
    void render() {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        view.render(&painter);
    }
    void wheel(int delta) {
        const QPointF at = view.chart()->plotArea().center() + QPointF(40, 20);
        QWheelEvent event(at, view.mapToGlobal(at.toPoint()), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &event);
    }
    void pan(int dx) {
        const QPoint start = view.chart()->plotArea().center().toPoint();
        QMouseEvent press(QEvent::MouseButtonPress, start, view.mapToGlobal(start), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &press);
        const QPoint end = start + QPoint(dx, 0);
        QMouseEvent move(QEvent::MouseMove, end, view.mapToGlobal(end), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &move);
        QMouseEvent release(QEvent::MouseButtonRelease, end, view.mapToGlobal(end), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &release);
    }
};

// The traces' points as the chart shows them, and their pens, for the painter's reference drawing.
void linesOf(const Chart& chart, QList<QList<QPointF>>& lines, QList<QPen>& pens) {
    lines.clear();
    pens.clear();
    const QList<GraphSeries*> all = chart.view.chart()->graphSeries();
    for (const GraphSeries* series : all) {
        lines.append(series->linePoints());
        pens.append(series->pen());
    }
}

QRectF valuesOf(const Chart& chart) {
    const GraphChart* c = chart.view.chart();
    return QRectF(QPointF(c->xAxis()->min(), c->yAxis()->min()),
                  QPointF(c->xAxis()->max(), c->yAxis()->max()));
}

struct Figure {
    const char* what;
    double ms;
    double painter; // the plain painter's time for the same lines, or 0
    double goal;    // a ratio to the painter when painter > 0, else milliseconds
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qSetMessagePattern(QStringLiteral("%{if-warning}%{message}%{endif}"));
    QApplication app(argc, argv);
    const int runs = 9;
    QList<Figure> figures;
    QList<QList<QPointF>> lines;
    QList<QPen> pens;

    {
        Chart chart;
        chart.active.restoreFromJson(sessionOf(50));
        chart.visualization->setSelectedGraph(chart.active.graphs().at(10));
        chart.render();
        linesOf(chart, lines, pens);
        const double painter = painterMs(runs, lines, pens, chart.view.chart()->plotArea(), valuesOf(chart));
        figures.append(
            {"50 traces: render, nothing changed", medianMs(runs, [&] { chart.render(); }), painter, 2.0});
        // A step in and the step back out, halved: both directions count alike.
        figures.append({"50 traces: wheel zoom step + render",
                        medianMs(runs,
                                 [&] {
                                     chart.wheel(120);
                                     chart.render();
                                     chart.wheel(-120);
                                     chart.render();
                                 }) /
                            2,
                        painter, 3.0});
        figures.append({"50 traces: pan step + render",
                        medianMs(runs,
                                 [&] {
                                     chart.pan(30);
                                     chart.render();
                                     chart.pan(-30);
                                     chart.render();
                                 }) /
                            2,
                        painter, 3.0});
        figures.append({"50 traces: select another trace + render",
                        medianMs(runs,
                                 [&] {
                                     static int i = 0;
                                     chart.visualization->setSelectedGraph(
                                         chart.active.graphs().at(i++ % 50));
                                     chart.render();
                                 }),
                        painter, 0.0});
        figures.append({"50 traces: units switch + render",
                        medianMs(runs,
                                 [&] {
                                     static int i = 0;
                                     chart.visualization->setUnits(i++ % 2 ? Imperial : Metric);
                                     chart.render();
                                 }),
                        0.0, 30.0});
        std::printf("plain QPainter, the same 50 lines: %.1f ms\n", painter);
    }
    {
        const QJsonObject big = sessionOf(500);
        figures.append({"500 traces: open and draw once",
                        medianMs(3,
                                 [&] {
                                     Chart chart;
                                     chart.active.restoreFromJson(big);
                                     chart.render();
                                 }),
                        0.0, 500.0});
        Chart chart;
        chart.active.restoreFromJson(big);
        chart.render();
        linesOf(chart, lines, pens);
        const double painter = painterMs(5, lines, pens, chart.view.chart()->plotArea(), valuesOf(chart));
        std::printf("plain QPainter, the same 500 lines: %.1f ms\n", painter);
        figures.append({"500 traces: render", medianMs(5, [&] { chart.render(); }), painter, 0.0});
        figures.append({"500 traces: wheel zoom step + render",
                        medianMs(5,
                                 [&] {
                                     chart.wheel(120);
                                     chart.render();
                                     chart.wheel(-120);
                                     chart.render();
                                 }) /
                            2,
                        0.0, 100.0});

        // An edit in the legend, as the main window wires it: the model hands the value to the trace,
        // the row follows, and an undo snapshot of the whole session is recorded.
        UndoHistory history(&chart.active);
        history.reset();
        SessionModel* legend = chart.model.sessionModel();
        QObject::connect(legend, &SessionModel::activeSessionInlineEdit, &history,
                         &UndoHistory::recordSnapshot);
        const QModelIndex velocity = legend->item(0)->child(250, SessionModel::Velocity)->index();
        std::printf("500 traces: legend velocity edit with undo snapshot, control back: %.2f ms\n",
                    medianMs(9, [&] {
                        static int v = 2700;
                        legend->setData(velocity, ++v, Qt::EditRole);
                    }));
        std::printf("500 traces: same, until the snapshot file is on disk: %.2f ms\n", medianMs(9, [&] {
                        static int v = 3700;
                        legend->setData(velocity, ++v, Qt::EditRole);
                        history.waitForPendingWrites();
                    }));
    }

    // One line per figure: the time, its ratio to the painter where there is one, and the goal.
    int missed = 0;
    for (const Figure& figure : std::as_const(figures)) {
        const bool ratio = figure.painter > 0.0;
        const double value = ratio ? figure.ms / figure.painter : figure.ms;
        const bool met = figure.goal <= 0.0 || value <= figure.goal;
        missed += met ? 0 : 1;
        std::printf("%-44s %8.1f ms", figure.what, figure.ms);
        if (ratio)
            std::printf("  %5.2f x the painter", value);
        if (figure.goal > 0.0)
            std::printf("  goal %s %.0f%s: %s", "<=", figure.goal, ratio ? " x" : " ms",
                        met ? "met" : "MISSED");
        std::printf("\n");
    }
    return missed == 0 ? 0 : 1;
}
