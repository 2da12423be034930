#include "ChartRig.h"

#include <QTest>

class tst_GraphChart : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void coloursAndWidths();
    void loadedTraceNeverTurnsRed();
    void gradientShowsLatestInItsGradientColour();
    void darkModeKeepsTraceColours();
    void selectionFollowsLegendAndLegendFollowsChart();
    void selectingTheSelectedTraceLeavesLegendAlone();
    void selectedLineIsDrawnLast();
    void selectingLeavesNoSecondDrawingOfALine();
    void chartClickClearsSelection();
    void clickPicksTheLineDrawnUnderThePointer_data();
    void clickPicksTheLineDrawnUnderThePointer();
    void bulkLoadSelectsLastTrace();
    void seriesFollowsTraceDestructionWithoutAbort();
    void visualizationDestroyedBeforeChart();
    void unitSwitchReplacesPointsAndTitles();
    void nonFiniteAndHugeCoordinatesDrawBounded();

    void pressNeverCrashes_data();
    void pressNeverCrashes();
};

void tst_GraphChart::coloursAndWidths() {
    Rig rig;
    Graph* first = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    first->setColor(QColor(Qt::magenta));
    Graph* second = rig.active.addGraphFromPress(stroke(0.2, 0.0, 40.0), true);
    GraphSeries* a = rig.series(first);
    GraphSeries* b = rig.series(second);

    // The newest stroke is latest and selected: green wins over red, 3 px.
    QVERIFY(b->isLatest() && b->isSelected());
    QCOMPARE(b->color(), QColor(Qt::green));
    QCOMPARE(b->pen().widthF(), 3.0);
    // The older one is neither: its own colour, 2 px.
    QVERIFY(!a->isLatest() && !a->isSelected());
    QCOMPARE(a->color(), QColor(Qt::magenta));
    QCOMPARE(a->pen().widthF(), 2.0);

    // Selecting the older one leaves the latest red and 2 px.
    rig.visualization->setSelectedGraph(first);
    QCOMPARE(a->color(), QColor(Qt::green));
    QCOMPARE(a->pen().widthF(), 3.0);
    QCOMPARE(b->color(), QColor(Qt::red));
    QCOMPARE(b->pen().widthF(), 2.0);

    // Unselected again: back to its own colour, and a colour change of the trace shows at once.
    rig.visualization->setSelectedGraph(nullptr);
    QCOMPARE(a->color(), QColor(Qt::magenta));
    first->setColor(Graph::defaultColor());
    QCOMPARE(a->color(), rig.active.defaultGraphColor());
    first->setVisible(false);
    QVERIFY(!a->isVisible());
}

void tst_GraphChart::loadedTraceNeverTurnsRed() {
    Rig rig;
    GraphContainer compare(false, nullptr);
    compare.restoreFromJson(QJsonObject{}); // empty, then add loaded traces below
    rig.model.addCompareContainer(&compare);
    rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    QJsonObject file;
    file.insert(QStringLiteral("Graphs"), QJsonArray{rig.active.graphs().first()->toJson()});
    compare.restoreFromJson(file);
    QCOMPARE(compare.graphs().size(), 1);
    GraphSeries* loaded = rig.series(compare.graphs().first());
    QVERIFY(loaded);
    QVERIFY(!loaded->isLatest());
    // The bulk load selected it; once unselected it shows its file's colour, not red.
    rig.visualization->setSelectedGraph(nullptr);
    QCOMPARE(loaded->color(), compare.defaultGraphColor());
}

void tst_GraphChart::gradientShowsLatestInItsGradientColour() {
    Rig rig;
    Graph* older = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    Graph* latest = rig.active.addGraphFromPress(stroke(0.2, 0.0, 40.0), true);
    rig.visualization->setSelectedGraph(older);
    GraphSeries* series = rig.series(latest);
    QCOMPARE(series->color(), QColor(Qt::red));
    rig.active.applyMeasurementColors(PeakForce);
    QVERIFY(latest->gradientColor().isValid());
    QCOMPARE(series->color(), latest->effectiveColor());
}

void tst_GraphChart::darkModeKeepsTraceColours() {
    Rig rig;
    Graph* older = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    older->setColor(QColor(Qt::darkCyan));
    Graph* latest = rig.active.addGraphFromPress(stroke(0.2, 0.0, 40.0), true);
    for (bool dark : {true, false}) {
        rig.view->setDarkMode(dark);
        QCOMPARE(rig.chart()->theme(), dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
        QCOMPARE(rig.series(older)->color(), QColor(Qt::darkCyan));
        QCOMPARE(rig.series(older)->pen().widthF(), 2.0);
        QCOMPARE(rig.series(latest)->color(), QColor(Qt::green));
        QCOMPARE(rig.series(latest)->pen().widthF(), 3.0);
    }
}

void tst_GraphChart::selectionFollowsLegendAndLegendFollowsChart() {
    Rig rig;
    Graph* first = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    Graph* second = rig.active.addGraphFromPress(stroke(0.2, 0.0, 40.0), true);
    QStandardItemModel legend;
    addLegendRows(legend, &rig.active);
    QItemSelectionModel selection(&legend);
    rig.visualization->setSelectionModel(&selection);

    // Legend → chart: a row of the trace, in any column.
    const QModelIndex firstRow = legend.item(0)->child(0)->index();
    selection.setCurrentIndex(firstRow.siblingAtColumn(1), QItemSelectionModel::ClearAndSelect);
    QCOMPARE(rig.chart()->selectedSeries(), rig.series(first));
    // A container row clears the chart's selection.
    selection.setCurrentIndex(legend.index(0, 0), QItemSelectionModel::ClearAndSelect);
    QCOMPARE(rig.chart()->selectedSeries(), nullptr);

    // Chart → legend: the trace's row becomes current and selected.
    rig.visualization->setSelectedGraph(second);
    QCOMPARE(selection.currentIndex(), legend.item(0)->child(1)->index());
    QVERIFY(selection.isRowSelected(1, legend.index(0, 0)));
    QVERIFY(!selection.isRowSelected(0, legend.index(0, 0)));
    rig.visualization->setSelectedGraph(nullptr);
    QVERIFY(!selection.currentIndex().isValid());
    QVERIFY(!selection.hasSelection());
}

void tst_GraphChart::selectingTheSelectedTraceLeavesLegendAlone() {
    Rig rig;
    Graph* graph = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    QStandardItemModel legend;
    addLegendRows(legend, &rig.active);
    QItemSelectionModel selection(&legend);
    rig.visualization->setSelectionModel(&selection);
    // The user selected another row by hand without changing the current trace.
    selection.select(legend.index(0, 0), QItemSelectionModel::Select);
    QSignalSpy changed(&selection, &QItemSelectionModel::selectionChanged);
    rig.visualization->setSelectedGraph(graph); // already selected (from the press)
    QCOMPARE(changed.count(), 0);
}

void tst_GraphChart::selectedLineIsDrawnLast() {
    // Two traces on the same points: whichever line is drawn last colours the pixels they share.
    Rig rig;
    Graph* first = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    Graph* second = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    const QList<GraphSeries*> order = rig.chart()->graphSeries();
    rig.view->show();
    const QPointF onLine(0.1, 15.0);
    auto colourOnLine = [&]() {
        QCoreApplication::processEvents();
        const QImage image = rig.view->grab().toImage();
        const QPoint pixel = rig.view->mapFromScene(rig.chart()->mapToPosition(onLine));
        return image.pixelColor(pixel);
    };
    auto isGreen = [](const QColor& c) {
        return c.green() > 150 && c.red() < 100;
    };
    auto isRed = [](const QColor& c) {
        return c.red() > 150 && c.green() < 100;
    };

    rig.visualization->setSelectedGraph(first); // the second stays latest (red), drawn after the first
    QVERIFY2(isGreen(colourOnLine()), qPrintable(colourOnLine().name()));
    rig.visualization->setSelectedGraph(second);
    rig.visualization->setSelectedGraph(nullptr); // red over the first's own colour again
    QVERIFY2(isRed(colourOnLine()), qPrintable(colourOnLine().name()));
    rig.visualization->setSelectedGraph(first);
    QVERIFY2(isGreen(colourOnLine()), qPrintable(colourOnLine().name()));
    // The lines stay on the chart as they were added, on both axes.
    QCOMPARE(rig.chart()->graphSeries(), order);
}

void tst_GraphChart::selectingLeavesNoSecondDrawingOfALine() {
    // Taking a line off the chart and adding it again (to draw it on top) left its old drawing item in
    // the scene until the event loop deleted it, still following its line: a later pen change showed it
    // again, and painted after the line had gone it read freed memory (a crash after Remove Plot, Undo,
    // Clear Last Plot and Undo). The trace layer draws every line now: Qt Charts' own drawing items stay
    // what they were before the first trace (its anchor line's), whatever is selected or removed.
    Rig rig;
    rig.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.view.get()));
    const auto lineItems = [&](bool visibleOnly = false) {
        int count = 0;
        const auto items = rig.view->scene()->items();
        for (const QGraphicsItem* item : items) {
            const bool line = item->toGraphicsObject() && (item->flags() & QGraphicsItem::ItemIsSelectable);
            count += line && (item->isVisible() || !visibleOnly) ? 1 : 0;
        }
        return count;
    };
    const int before = lineItems();
    for (int i = 0; i < 3; ++i)
        rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0 + 10 * i), true);
    flushDeletions();
    QCOMPARE(lineItems(), before);
    // No deferred deletion runs from here on, as within one command.
    Graph* second = rig.active.graphs().at(1);
    rig.visualization->setSelectedGraph(second);
    QCOMPARE(lineItems(), before);
    rig.visualization->setSelectedGraph(rig.active.graphs().at(0));
    QCOMPARE(lineItems(), before);
    rig.active.removeGraph(second);
    flushDeletions();
    rig.view->viewport()->repaint();
    QCOMPARE(lineItems(), before);
    QCOMPARE(rig.chart()->graphSeries().size(), 2);
}

void tst_GraphChart::chartClickClearsSelection() {
    Rig rig;
    rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    QVERIFY(rig.chart()->selectedSeries());
    emit rig.chart()->clicked(QPointF(5, 5));
    QCOMPARE(rig.chart()->selectedSeries(), nullptr);
}

void tst_GraphChart::clickPicksTheLineDrawnUnderThePointer_data() {
    QTest::addColumn<QPointF>("value");
    QTest::addColumn<QPointF>("offset"); // pixels from the value's position
    QTest::addColumn<int>("selectedBefore");
    QTest::addColumn<bool>("zoomed");
    QTest::addColumn<int>("expected"); // 1 or 2: that trace's line; 0: none
    // The first line rises to 30 lbs at 0, the second to 60; both are flat at 0 beyond 0.2 inch.
    for (const bool zoomed : {false, true}) {
        const QByteArray view = zoomed ? " (zoomed and panned)" : "";
        QTest::newRow("on the first" + view) << QPointF(0.1, 15.0) << QPointF() << 0 << zoomed << 1;
        QTest::newRow("on the second" + view) << QPointF(0.1, 30.0) << QPointF() << 1 << zoomed << 2;
        QTest::newRow("beside the second within reach" + view)
            << QPointF(0.1, 30.0) << QPointF(0, 4) << 0 << zoomed << 2;
        QTest::newRow("beside the second out of reach" + view)
            << QPointF(0.1, 30.0) << QPointF(0, 9) << 1 << zoomed << 0;
        // Where the lines overlap, the one drawn on top: the latest, or the selected one over it.
        QTest::newRow("shared part, latest on top" + view)
            << QPointF(0.21, 0.0) << QPointF() << 0 << zoomed << 2;
        QTest::newRow("shared part, selected on top" + view)
            << QPointF(0.21, 0.0) << QPointF() << 1 << zoomed << 1;
    }
}

// A click goes to the line drawn where the pointer is, with the axes' ranges of the moment; anywhere
// else it clears the selection.
void tst_GraphChart::clickPicksTheLineDrawnUnderThePointer() {
    QFETCH(QPointF, value);
    QFETCH(QPointF, offset);
    QFETCH(int, selectedBefore);
    QFETCH(bool, zoomed);
    QFETCH(int, expected);
    Rig rig;
    rig.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.view.get()));
    Graph* first = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    Graph* second = rig.active.addGraphFromPress(stroke(0.2, 0.0, 60.0), true);
    const QList<Graph*> graphs{nullptr, first, second};
    if (zoomed) {
        rig.chart()->zoomIn(rig.chart()->plotArea().adjusted(0, 40, -250, 0));
        rig.chart()->scroll(0, -10);
    }
    rig.visualization->setSelectedGraph(graphs.at(selectedBefore));
    // Where Qt's own mapping of the axes puts the value.
    const QPointF onChart = rig.chart()->mapToPosition(value);
    QVERIFY(rig.chart()->plotArea().contains(onChart));
    const QPointF drawn = rig.chart()->traceLayer()->toPosition(value);
    QVERIFY2(std::abs(drawn.x() - onChart.x()) < 0.01 && std::abs(drawn.y() - onChart.y()) < 0.01,
             qPrintable(QStringLiteral("drawn at %1,%2").arg(drawn.x()).arg(drawn.y())));
    const QPoint pixel = rig.view->mapFromScene(rig.chart()->mapToScene(onChart + offset));
    QTest::mouseClick(rig.view->viewport(), Qt::LeftButton, Qt::NoModifier, pixel);
    GraphSeries* selected = rig.chart()->selectedSeries();
    QCOMPARE(selected ? selected->graph() : nullptr, graphs.at(expected));
}

void tst_GraphChart::bulkLoadSelectsLastTrace() {
    Rig rig;
    GraphContainer source(true, nullptr);
    source.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    source.addGraphFromPress(stroke(0.4, 0.0, 80.0), true);
    rig.active.restoreFromJson(source.toJson());
    QCOMPARE(rig.chart()->graphSeries().size(), 2);
    QCOMPARE(rig.chart()->selectedSeries()->graph(), rig.active.graphs().last());
    QVERIFY(!rig.chart()->selectedSeries()->isLatest());
    QVERIFY(std::abs(rig.yMax() - 88.0) < 1e-9);
}

void tst_GraphChart::seriesFollowsTraceDestructionWithoutAbort() {
    Rig rig;
    Graph* first = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    rig.active.addGraphFromPress(stroke(0.2, 0.0, 40.0), true);
    QPointer<GraphSeries> series = rig.series(first);
    rig.active.removeGraph(first);
    flushDeletions(); // the trace, then the series that followed it
    flushDeletions();
    QVERIFY(series.isNull());
    QCOMPARE(rig.chart()->graphSeries().size(), 1);
    // Clearing everything, as Clear All Plots does, then deleting the rig, as shutdown does.
    rig.model.clear();
    flushDeletions();
    flushDeletions();
    QCOMPARE(rig.chart()->graphSeries().size(), 0);
    rig.active.addGraphFromPress(stroke(0.2, 0.0, 40.0), true);
}

void tst_GraphChart::visualizationDestroyedBeforeChart() {
    GraphModel model;
    GraphContainer active(true, nullptr);
    model.setActiveSessionContainer(&active);
    active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    GraphView view;
    {
        GraphVisualization visualization(&model, &view);
        QCOMPARE(view.chart()->graphSeries().size(), 1);
    }
    QCOMPARE(view.chart()->graphSeries().size(), 0);
    // The trace outlives both: its destruction must not reach a deleted series.
    active.clear();
    flushDeletions();
}

void tst_GraphChart::unitSwitchReplacesPointsAndTitles() {
    Rig rig;
    Graph* graph = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    GraphSeries* series = rig.series(graph);
    QCOMPARE(rig.chart()->xAxis()->titleText(), QStringLiteral("inch"));
    QCOMPARE(rig.chart()->yAxis()->titleText(), QStringLiteral("lbs"));
    rig.visualization->setUnits(Metric);
    QCOMPARE(series->units(), Metric);
    QCOMPARE(series->linePoints(), graph->data(Metric).points());
    QCOMPARE(rig.chart()->xAxis()->titleText(), QStringLiteral("mm"));
    QCOMPARE(rig.chart()->yAxis()->titleText(), QStringLiteral("kg"));
    // Axes fitted again in millimetres and kilograms.
    QVERIFY(std::abs(rig.xMax() - 1.1 * graph->data(Metric).startingPosition()) < 1e-9);
    QVERIFY(std::abs(rig.yMax() - std::max(10.0, 1.1 * graph->data(Metric).peakForce())) < 1e-9);
    // Traces that arrive now come in millimetres too.
    Graph* next = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    QCOMPARE(rig.series(next)->linePoints(), next->data(Metric).points());
}

void tst_GraphChart::nonFiniteAndHugeCoordinatesDrawBounded() {
    // As a damaged or hostile session file might hold them.
    Rig rig;
    rig.view->show();
    QJsonObject trace;
    trace.insert(QStringLiteral("X Values"), QJsonArray{0.5, 1e300, 0.2, 0.0, -1e300});
    trace.insert(QStringLiteral("Y Values"), QJsonArray{0.0, 5.0, 1e12, 3.0, 2.0});
    trace.insert(QStringLiteral("Units"), QStringLiteral("Imperial"));
    trace.insert(QStringLiteral("Show"), true);
    QJsonObject file;
    file.insert(QStringLiteral("Graphs"), QJsonArray{trace});
    rig.active.restoreFromJson(file);
    QVERIFY(std::isfinite(rig.xMax()) && std::isfinite(rig.yMax()) && rig.yMin() < rig.yMax());
    QVERIFY(std::abs(rig.yMax()) / rig.chart()->yAxis()->tickInterval() < 20);
    // NaN and infinite coordinates cannot come through JSON: record them directly.
    Graph* graph = rig.active.addGraphFromPress({{0.3, kNaN}, {kInf, 2.0}, {0.1, 4.0}, {0.0, -kInf}}, true);
    QVERIFY(std::isfinite(rig.xMin()) && std::isfinite(rig.xMax()) && rig.xMin() < rig.xMax());
    QVERIFY(std::isfinite(rig.yMin()) && std::isfinite(rig.yMax()) && rig.yMin() < rig.yMax());
    QCOMPARE(rig.series(graph)->linePoints().size(), 1);
    rig.visualization->setUnits(Metric);
    QCOMPARE(rig.series(graph)->linePoints().size(), 1);
    rig.active.addGraphFromPress({{1e300, 1e300}, {0.0, 0.0}}, true);
    QVERIFY(std::isfinite(rig.xMax()) && std::isfinite(rig.yMax()));
    QVERIFY(std::abs(rig.xMax()) / rig.chart()->xAxis()->tickInterval() < 20);
    QImage image(rig.view->size(), QImage::Format_ARGB32);
    QPainter painter(&image);
    rig.view->render(&painter);
}

void tst_GraphChart::pressNeverCrashes_data() {
    QTest::addColumn<QString>("where");
    QTest::newRow("on a line") << QStringLiteral("line");
    QTest::newRow("empty plot area") << QStringLiteral("plot");
    QTest::newRow("chart margin") << QStringLiteral("margin");
    QTest::newRow("no item under the pointer") << QStringLiteral("outside");
}

void tst_GraphChart::pressNeverCrashes() {
    QFETCH(QString, where);
    Rig rig;
    Graph* graph = rig.active.addGraphFromPress(stroke(0.2, 0.0, 30.0), true);
    rig.view->show();
    rig.visualization->setSelectedGraph(nullptr);
    QPoint position;
    if (where == QStringLiteral("line")) {
        position = rig.chart()->mapToPosition(graph->data(Imperial).points().at(30)).toPoint();
    } else if (where == QStringLiteral("plot")) {
        position = rig.chart()->mapToPosition(QPointF(0.25, 25.0)).toPoint();
    } else if (where == QStringLiteral("margin")) {
        position = QPoint(3, 3);
    } else {
        // Shrink the chart so part of the view has no item at all.
        rig.chart()->resize(200, 150);
        position = QPoint(rig.view->width() - 5, rig.view->height() - 5);
        QVERIFY(!rig.view->itemAt(position));
    }
    QTest::mouseClick(rig.view->viewport(), Qt::LeftButton, Qt::NoModifier, position);
    QTest::mouseClick(rig.view->viewport(), Qt::RightButton, Qt::NoModifier, position);
    if (where == QStringLiteral("line"))
        QCOMPARE(rig.chart()->selectedSeries(), rig.series(graph));
    else
        QCOMPARE(rig.chart()->selectedSeries(), nullptr);
}

QTEST_MAIN(tst_GraphChart)
#include "tst_graphchart.moc"
