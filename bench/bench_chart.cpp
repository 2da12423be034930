// Chart frame costs: a 1,100 x 560 view rendered into an image with 50 traces of 1,000 points (the
// selected one on top, antialiasing on), one wheel-zoom step and one pan step on it, and a session of
// 500 such traces added and drawn. Prints one line per figure (medians); see docs/performance.md.
#include "bench/BenchSupport.h"
#include "chart/GraphChart.h"
#include "chart/GraphModel.h"
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
#include <QRandomGenerator>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>
#include <functional>
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

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qSetMessagePattern(QStringLiteral("%{if-warning}%{message}%{endif}"));
    QApplication app(argc, argv);
    const int runs = 9;

    {
        Chart chart;
        chart.active.restoreFromJson(sessionOf(50));
        chart.visualization->setSelectedGraph(chart.active.graphs().at(10));
        chart.render();
        std::printf("render, 50 x 1000 points, nothing changed: %.1f ms\n",
                    medianMs(runs, [&] { chart.render(); }));
        std::printf("wheel zoom step + render: %.1f ms\n", medianMs(runs, [&] {
                        static int i = 0;
                        chart.wheel(i++ % 2 ? -120 : 120);
                        chart.render();
                    }));
        std::printf("pan step + render: %.1f ms\n", medianMs(runs, [&] {
                        static int i = 0;
                        chart.pan(i++ % 2 ? -30 : 30);
                        chart.render();
                    }));
        std::printf("select another trace + render: %.1f ms\n", medianMs(runs, [&] {
                        static int i = 0;
                        chart.visualization->setSelectedGraph(chart.active.graphs().at(i++ % 50));
                        chart.render();
                    }));
        std::printf("units switch + render: %.1f ms\n", medianMs(runs, [&] {
                        static int i = 0;
                        chart.visualization->setUnits(i++ % 2 ? Imperial : Metric);
                        chart.render();
                    }));
    }
    {
        const QJsonObject big = sessionOf(500);
        std::printf("open 500 x 1000 and draw once: %.0f ms\n", medianMs(3, [&] {
                        Chart chart;
                        chart.active.restoreFromJson(big);
                        chart.render();
                    }));
        Chart chart;
        chart.active.restoreFromJson(big);
        chart.render();
        std::printf("500 traces: render: %.0f ms\n", medianMs(5, [&] { chart.render(); }));
        std::printf("500 traces: wheel zoom step + render: %.0f ms\n", medianMs(5, [&] {
                        static int i = 0;
                        chart.wheel(i++ % 2 ? -120 : 120);
                        chart.render();
                    }));

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
    return 0;
}
