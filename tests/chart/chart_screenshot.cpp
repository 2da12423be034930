// Renders the chart with the legend beside it headless, in the light and the dark theme, as the main
// window lays them out. Not a test; run by hand to refresh the pictures under docs/screenshots:
//   QT_QPA_PLATFORM=offscreen build-test/tests/chart/chart_screenshot docs/screenshots
#include "chart/GraphChart.h"
#include "chart/GraphLegend.h"
#include "chart/GraphModel.h"
#include "chart/GraphView.h"
#include "chart/GraphVisualization.h"
#include "chart/SessionModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "support/MemoryFileSystem.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QSplitter>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

// A seating stroke in inches and pounds: about 0.1 inch of free travel, then the force rises as the
// bullet goes in, with a little ripple so that no two strokes are alike.
QList<QPointF> stroke(double start, double peak, double phase) {
    constexpr int kPoints = 300;
    QList<QPointF> points;
    for (int i = 0; i < kPoints; ++i) {
        const double x = start + 0.1 - (start + 0.1) * i / (kPoints - 1);
        double force = 0.3 + 0.2 * std::sin(phase + i * 0.7);
        if (x < start) {
            const double t = (start - x) / start;
            force += peak * (1.0 - std::exp(-4.0 * t)) + 1.2 * std::sin(phase + t * 30.0);
        }
        points.append(QPointF(x, force));
    }
    return points;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: chart_screenshot <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);

    QSplitter window(Qt::Horizontal);
    GraphModel graphModel;
    graphModel.setCompareColors({QColor(245, 130, 49, 200), QColor(188, 246, 12, 200)});
    auto* active = new GraphContainer(std::make_shared<MemoryFileSystem>(), true, &graphModel);
    graphModel.setActiveSessionContainer(active);
    auto* compare = new GraphContainer(std::make_shared<MemoryFileSystem>(), &graphModel);
    compare->setFileName(QStringLiteral("/home/operator/loads/308 Win 168gr.SDT"));
    for (int i = 0; i < 3; ++i)
        compare->addGraphFromPress(stroke(0.27 + 0.004 * i, 52.0 + 2.0 * i, 2.0 * i), true);

    auto* view = new GraphView(&window);
    auto* legend = new GraphLegend(&window);
    window.addWidget(view);
    window.addWidget(legend);
    window.setStretchFactor(0, 5);
    window.setStretchFactor(1, 1);
    GraphVisualization visualization(&graphModel, view);
    QItemSelectionModel selection(graphModel.sessionModel());
    visualization.setSelectionModel(&selection);
    legend->setModel(graphModel.sessionModel());
    legend->setSelectionModel(&selection);
    for (int column : {int(SessionModel::Title), int(SessionModel::WorkDone), int(SessionModel::PeakForce),
                       int(SessionModel::Velocity), int(SessionModel::Flyer)})
        legend->setColumnVisible(column, false);
    graphModel.addCompareContainer(compare);

    for (int i = 0; i < 6; ++i)
        active->addGraphFromPress(stroke(0.25 + 0.003 * i, 40.0 + 1.5 * i, i), true);
    active->graphs().at(1)->setColor(QColor(128, 0, 160));
    visualization.setSelectedGraph(active->graphs().at(2));

    window.resize(1280, 620);
    window.setSizes({930, 350});
    window.show();
    bool saved = true;
    for (bool dark : {false, true}) {
        view->setDarkMode(dark);
        QApplication::processEvents();
        const QString name =
            folder + (dark ? QStringLiteral("/chart-dark.png") : QStringLiteral("/chart-light.png"));
        saved = window.grab().toImage().save(name, "PNG") && saved;
    }
    return saved ? 0 : 1;
}
