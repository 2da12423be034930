// Renders the velocity import's preview and the Velocity tab, headless, from made-up strokes and the
// sample Garmin Xero C1 file (shot 6 missing, so trace 6 is left out in the preview). Not a test; run by
// hand from the project root to refresh the pictures:
//   QT_QPA_PLATFORM=offscreen build-test/tests/app/velocity_screenshots docs/screenshots
// writes velocity-import.png and velocity-scatter.png there.
#include "support/FakeMessageBoxes.h"

#include "app/StatisticsPanel.h"
#include "app/VelocityImport.h"
#include "app/ZelPress.h"
#include "data/GraphContainer.h"
#include "dialogs/ImportVelocitiesDlg.h"
#include "link/AutoConnection.h"

#include <QAction>
#include <QApplication>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTabWidget>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

// A seating stroke that peaks at that force (lbs).
QList<QPointF> stroke(double peak) {
    QList<QPointF> points;
    for (int i = 0; i <= 80; ++i) {
        const double t = i / 80.0;
        const double rise = std::sin(t * 3.14159265 * 0.5);
        points.append(QPointF(0.3 * (1.0 - t), peak * rise * rise));
    }
    return points;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: velocity_screenshots <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QStandardPaths::setTestModeEnabled(true);
    ZelPress window(ZelPress::Seams{std::make_shared<FakeMessageBoxes>(), nullptr, nullptr});
    window.autoConnection()->setPortLister([] { return QList<PortCandidate>{}; });
    window.resize(1366, 768);
    window.show();
    window.findChild<QAction*>(QStringLiteral("imperialUnitsAction"))->trigger();
    for (double peak : {42.3, 41.6, 42.7, 40.5, 41.9, 42.0, 44.1, 42.1, 42.2, 43.0})
        window.activeContainer()->addGraphFromPress(stroke(peak), true);

    bool ok = true;
    window.velocityImport()->setPreviewDialog([&](ImportVelocitiesDlg& dialog) {
        // The device lost shot 6: its trace is left out, the later ones move up.
        dialog.traceTable()->item(5, 0)->setCheckState(Qt::Unchecked);
        dialog.resize(640, 480);
        dialog.show();
        QTest::qWait(100);
        ok &= dialog.grab().save(folder + QStringLiteral("/velocity-import.png"), "PNG");
        return true;
    });
    ok &= window.velocityImport()->importFile(QStringLiteral("docs/samples/xero-c1.csv"));

    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("sidePanelTabs"));
    StatisticsPanel* panel = window.statisticsPanel();
    tabs->setCurrentWidget(panel);
    panel->lowerTabs()->setCurrentIndex(2);
    QTest::qWait(300);
    ok &= panel->grab().save(folder + QStringLiteral("/velocity-scatter.png"), "PNG");
    return ok ? 0 : 1;
}
