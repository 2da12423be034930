// Renders the comparison panel headless: an untitled active session of 15 strokes beside a comparison
// file "Die B.SDT" of 15 strokes with a clearly lower spread. Not a test; run by hand to refresh the picture:
//   QT_QPA_PLATFORM=offscreen build/tests/app/comparison_screenshot docs/screenshots/comparison-panel.png
// The panel is 360 x 520 unless a width and a height follow the file name.
#include "app/ComparisonPanel.h"
#include "chart/GraphModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>

namespace {

// A seating stroke over 0.30 inch, in pounds, peaking at `peak` and ending just below it.
QList<QPointF> stroke(double peak) {
    QList<QPointF> points;
    for (int step = 0; step <= 30; ++step) {
        const double position = 0.30 - step * 0.01;
        const double force = step <= 24 ? peak * step / 24.0 : peak - 1.5 * (step - 24) / 6.0;
        points.append({position, force});
    }
    return points;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: comparison_screenshot <file.png> [width height]\n");
        return 2;
    }
    QStandardPaths::setTestModeEnabled(true);
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int width = argc == 4 ? std::atoi(argv[2]) : 360;
    const int height = argc == 4 ? std::atoi(argv[3]) : 520;

    GraphModel model;
    auto* active = new GraphContainer(true, &model);
    model.setActiveSessionContainer(active);
    // Peak forces in pounds as a reloader might see them: the session spread over about 2.5 lbs, the
    // other die over about 1 lb and a little lower.
    const double session[] = {43.8, 42.6, 43.1, 44.0, 42.9, 43.5, 42.2, 43.3,
                              44.4, 42.7, 43.0, 43.9, 42.5, 43.6, 42.8};
    const double dieB[] = {42.9, 43.2, 42.8, 43.1, 43.3, 42.9, 43.0, 42.7,
                           43.2, 43.0, 43.4, 42.8, 43.1, 42.9, 43.2};
    for (double peak : session)
        active->addGraphFromPress(stroke(peak), true);
    QJsonArray graphs;
    for (double peak : dieB) {
        Graph graph;
        graph.setPoints(stroke(peak), true);
        graphs.append(graph.toJson());
    }
    QJsonObject file;
    file.insert(QStringLiteral("Graphs"), graphs);
    auto* compare = new GraphContainer(&model);
    compare->restoreFromJson(file);
    compare->setFileName(QStringLiteral("/home/reloader/loads/Die B.SDT"));
    model.addCompareContainer(compare);

    ComparisonPanel panel(&model);
    panel.resize(width, height);
    panel.show();
    panel.refresh();
    QApplication::processEvents();
    return panel.grab().toImage().save(path, "PNG") ? 0 : 1;
}
