// Renders the legend headless into a PNG: an active session of four traces and one comparison file of
// three, as the main window shows them. Not a test; run by hand to refresh docs/screenshots/legend.png:
//   QT_QPA_PLATFORM=offscreen build-test/tests/chart/legend_screenshot docs/screenshots/legend.png
#include "chart/GraphLegend.h"
#include "chart/GraphModel.h"
#include "chart/LegendTreeView.h"
#include "chart/SessionModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "support/MemoryFileSystem.h"

#include <QApplication>
#include <QImage>
#include <QList>
#include <QPointF>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

// A seating stroke in inches and pounds: the ram travels 0.3 inch down to the X zero while the force
// rises from a few pounds to the peak, with a little ripple so that no two strokes are alike.
QList<QPointF> stroke(double peak, double ripple, double phase) {
    constexpr int kPoints = 120;
    QList<QPointF> points;
    for (int i = 0; i < kPoints; ++i) {
        const double t = static_cast<double>(i) / (kPoints - 1);
        const double force = 1.5 + (peak - 1.5) * t * t + ripple * std::sin(phase + t * 40.0);
        points.append(QPointF(0.3 * (1.0 - t), force));
    }
    return points;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: legend_screenshot <file.png>\n");
        return 2;
    }
    QWidget window;
    GraphModel graphModel(&window);
    graphModel.setCompareColors({QColor(245, 130, 49, 200), QColor(188, 246, 12, 200)});
    auto* active = new GraphContainer(std::make_shared<MemoryFileSystem>(), true, &graphModel);
    graphModel.setActiveSessionContainer(active);
    const double velocities[] = {2710.0, 2724.6, 2698.0, 2731.2};
    for (int i = 0; i < 4; ++i) {
        Graph* graph = active->addGraphFromPress(stroke(38.0 + 2.5 * i, 0.4, i), true);
        graph->setVelocity(velocities[i]);
    }
    active->graphs().at(2)->setFlyer(true);
    active->graphs().at(1)->setColor(QColor(200, 40, 40));
    active->graphs().at(3)->setVisible(false);

    auto* compare = new GraphContainer(std::make_shared<MemoryFileSystem>(), &window);
    for (int i = 0; i < 3; ++i)
        compare->addGraphFromPress(stroke(44.0 + 1.5 * i, 0.3, 2.0 * i), true)->setVelocity(2690 + 7 * i);
    compare->setFileName(QStringLiteral("/home/operator/loads/308 Win 168gr.SDT"));
    graphModel.addCompareContainer(compare);

    GraphLegend legend;
    legend.setModel(graphModel.sessionModel());
    legend.resize(840, 300);
    legend.show();
    QApplication::processEvents();
    legend.treeView()->selectionModel()->select(
        graphModel.sessionModel()->index(0, 0, graphModel.sessionModel()->index(0, 0)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const bool saved = legend.grab().toImage().save(QString::fromLocal8Bit(argv[1]), "PNG");
    return saved ? 0 : 1;
}
