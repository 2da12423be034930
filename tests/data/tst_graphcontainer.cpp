#include "chart/GraphModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/ToleranceLimits.h"
#include "support/MemoryFileSystem.h"

#include <QSignalSpy>
#include <QTest>

#include <limits>

namespace {

void flushDeletions() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QList<int> traceNumbers(const GraphContainer& container) {
    QList<int> numbers;
    for (const Graph* graph : container.graphs())
        numbers.append(graph->traceNumber());
    return numbers;
}

// One trace per value, carried as velocity so the colouring reads it unchanged.
void addTracesWithVelocities(GraphContainer& container, const QList<double>& velocities) {
    for (double velocity : velocities)
        container.addGraphFromPress({{1.0, 1.0}}, true)->setVelocity(velocity);
}

QColor mix(const QColor& upper, const QColor& lower, double t) {
    return QColor::fromRgbF(static_cast<float>(upper.redF() * t + lower.redF() * (1 - t)),
                            static_cast<float>(upper.greenF() * t + lower.greenF() * (1 - t)),
                            static_cast<float>(upper.blueF() * t + lower.blueF() * (1 - t)));
}

} // namespace

Q_DECLARE_METATYPE(ToleranceLimits)

class tst_GraphContainer : public QObject {
    Q_OBJECT
private slots:
    void firstStrokeIsTraceOne();
    void numberFollowsLargestNotCount();
    void removalIsDeferredAndAnnounced();
    void removeUnknownOrFromEmptyDoesNothing();
    void renumberMarksUnsaved();
    void userEditsMarkUnsavedDecorationsDoNot_data();
    void userEditsMarkUnsavedDecorationsDoNot();
    void clearForgetsTracesAndFileName();
    void highlightFlyersAppliesToExistingAndNewTraces();
    void colouringQuantilesAndEnds();
    void colouringSingleTraceIsDarkGreen();
    void colouringInterpolatesBetweenStops();
    void colouringSkipsHiddenAndOwnColours();
    void colouringLeavesNonFiniteValuesOut();
    void colouringReadsImperialMeasurement();
    void clearMeasurementColorsRestoresDefault();
    void modelPaletteWrapsAndRestartsAfterClear();
    void modelForgetsDestroyedCompareContainers();
    void modelIsEmpty();
    void verdictsJudgeTheLimitsMeasurementInTheirUnits_data();
    void verdictsJudgeTheLimitsMeasurementInTheirUnits();
};

void tst_GraphContainer::firstStrokeIsTraceOne() {
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    QSignalSpy added(&container, &GraphContainer::graphAddedFromPress);
    QSignalSpy unsaved(&container, &GraphContainer::unsavedStatusChanged);
    Graph* graph = container.addGraphFromPress({{0.5, 10.0}, {0.4, 12.0}}, true);
    QCOMPARE(graph->traceNumber(), 1);
    QCOMPARE(graph->name(), QStringLiteral("Trace 1"));
    QCOMPARE(graph->parent(), &container);
    QCOMPARE(graph->data(Imperial).points().size(), 2);
    QCOMPARE(added.count(), 1);
    QCOMPARE(added.first().first().value<Graph*>(), graph);
    QVERIFY(container.unsaved());
    QCOMPARE(unsaved.count(), 1);
}

void tst_GraphContainer::numberFollowsLargestNotCount() {
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    for (int i = 0; i < 3; ++i)
        container.addGraphFromPress({}, true);
    container.removeGraph(container.graphs().at(2));
    QCOMPARE(container.addGraphFromPress({}, true)->traceNumber(), 3);

    container.removeGraph(container.graphs().at(1));
    Graph* next = container.addGraphFromPress({}, true);
    QCOMPARE(next->traceNumber(), 4);
    QCOMPARE(next->name(), QStringLiteral("Trace 4"));
    QCOMPARE(traceNumbers(container), (QList<int>{1, 3, 4}));
}

void tst_GraphContainer::removalIsDeferredAndAnnounced() {
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    container.addGraphFromPress({}, true);
    Graph* last = container.addGraphFromPress({}, true);
    container.setUnsaved(false);
    QSignalSpy removed(&container, &GraphContainer::graphRemoved);
    QPointer<Graph> guard(last);

    container.removeLastGraph();
    QVERIFY(container.unsaved());
    QCOMPARE(container.graphs().size(), 1);
    QVERIFY(guard); // still valid until the event loop runs
    QCOMPARE(removed.count(), 0);
    flushDeletions();
    QVERIFY(!guard);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.first().first().value<Graph*>(), last);

    // A trace deleted behind the container's back leaves its list too.
    delete container.graphs().first();
    QVERIFY(container.isEmpty());
    QCOMPARE(removed.count(), 2);
}

void tst_GraphContainer::removeUnknownOrFromEmptyDoesNothing() {
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    QSignalSpy unsaved(&container, &GraphContainer::unsavedStatusChanged);
    container.removeLastGraph();
    Graph stranger;
    container.removeGraph(&stranger);
    container.removeGraph(nullptr);
    QCOMPARE(unsaved.count(), 0);
    QVERIFY(!container.unsaved());
}

void tst_GraphContainer::renumberMarksUnsaved() {
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    for (int number : {4, 7, 9})
        container.addGraphFromPress({}, true)->setTraceNumber(number);
    container.setUnsaved(false);
    container.renumber();
    QCOMPARE(traceNumbers(container), (QList<int>{1, 2, 3}));
    QVERIFY(container.unsaved());
}

using Edit = std::function<void(Graph&)>;
Q_DECLARE_METATYPE(Edit)

void tst_GraphContainer::userEditsMarkUnsavedDecorationsDoNot_data() {
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<bool>("marksUnsaved");
    QTest::newRow("hide") << Edit([](Graph& g) { g.setVisible(false); }) << true;
    QTest::newRow("rename") << Edit([](Graph& g) { g.setName(QStringLiteral("x")); }) << true;
    QTest::newRow("own colour") << Edit([](Graph& g) { g.setColor(Qt::red); }) << true;
    QTest::newRow("velocity") << Edit([](Graph& g) { g.setVelocity(2.0); }) << true;
    QTest::newRow("flyer") << Edit([](Graph& g) { g.setFlyer(true); }) << true;
    QTest::newRow("comment") << Edit([](Graph& g) { g.setComment(QStringLiteral("c")); }) << true;
    QTest::newRow("number") << Edit([](Graph& g) { g.setTraceNumber(8); }) << true;
    QTest::newRow("gradient colour") << Edit([](Graph& g) { g.setGradientColor(Qt::green); }) << false;
    QTest::newRow("highlight") << Edit([](Graph& g) { g.setHighlighted(true); }) << false;
    QTest::newRow("unchanged name") << Edit([](Graph& g) { g.setName(g.name()); }) << false;
}

void tst_GraphContainer::userEditsMarkUnsavedDecorationsDoNot() {
    QFETCH(Edit, edit);
    QFETCH(bool, marksUnsaved);
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    Graph* graph = container.addGraphFromPress({{1, 1}}, true);
    container.setUnsaved(false);
    QSignalSpy unsaved(&container, &GraphContainer::unsavedStatusChanged);
    edit(*graph);
    QCOMPARE(container.unsaved(), marksUnsaved);
    QCOMPARE(unsaved.count(), marksUnsaved ? 1 : 0);
}

void tst_GraphContainer::clearForgetsTracesAndFileName() {
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    container.addGraphFromPress({}, true);
    container.addGraphFromPress({}, true);
    container.setFileName(QStringLiteral("/s/a.SDT"));
    QSignalSpy fileName(&container, &GraphContainer::fileNameChanged);
    QSignalSpy removed(&container, &GraphContainer::graphRemoved);
    container.clear();
    QVERIFY(container.isEmpty());
    QVERIFY(container.fileName().isEmpty());
    QVERIFY(!container.unsaved());
    QCOMPARE(fileName.count(), 1);
    flushDeletions();
    QCOMPARE(removed.count(), 2);
    QCOMPARE(container.addGraphFromPress({}, true)->traceNumber(), 1);
}

void tst_GraphContainer::highlightFlyersAppliesToExistingAndNewTraces() {
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    Graph* flyer = container.addGraphFromPress({}, true);
    flyer->setFlyer(true);
    Graph* ownColour = container.addGraphFromPress({}, true);
    ownColour->setFlyer(true);
    ownColour->setColor(Qt::red);
    container.setUnsaved(false);

    container.setHighlightFlyers(true);
    QCOMPARE(flyer->effectiveColor(), QColor(Qt::black));
    QCOMPARE(ownColour->effectiveColor(), QColor(Qt::red));
    QVERIFY(!container.unsaved());
    Graph* later = container.addGraphFromPress({}, true);
    QCOMPARE(later->highlightColor(), QColor(Qt::black));
    QCOMPARE(later->effectiveColor(), container.defaultGraphColor()); // not a flyer

    container.setHighlightFlyers(false);
    QCOMPARE(flyer->effectiveColor(), container.defaultGraphColor());
}

void tst_GraphContainer::colouringQuantilesAndEnds() {
    // Stops 1, 1.5, 2.5, 6.5, 10.
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    addTracesWithVelocities(container, {10, 2, 1, 3});
    container.setUnsaved(false);
    container.applyMeasurementColors(Velocity);
    const QList<Graph*> graphs = container.graphs();
    QCOMPARE(graphs.at(0)->effectiveColor(), QColor(Qt::darkRed));
    QCOMPARE(graphs.at(2)->effectiveColor(), QColor(Qt::darkGreen));
    QCOMPARE(graphs.at(1)->effectiveColor(), mix(Qt::yellow, Qt::green, 0.5)); // 2 halfway 1.5 .. 2.5
    QCOMPARE(graphs.at(3)->effectiveColor(), mix(Qt::red, Qt::yellow, 0.125)); // 3 within 2.5 .. 6.5
    QVERIFY(!container.unsaved());
}

void tst_GraphContainer::colouringSingleTraceIsDarkGreen() {
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    addTracesWithVelocities(container, {7.5});
    container.applyMeasurementColors(Velocity);
    QCOMPARE(container.graphs().first()->gradientColor(), QColor(Qt::darkGreen));
}

void tst_GraphContainer::colouringInterpolatesBetweenStops() {
    // Eleven values give stops 1, 2, 2, 3, 4 exactly.
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    addTracesWithVelocities(container, {1, 2, 2, 2, 2, 2, 2, 2, 2.5, 3, 4});
    container.applyMeasurementColors(Velocity);
    const QList<Graph*> graphs = container.graphs();
    QCOMPARE(graphs.at(1)->gradientColor(), QColor(Qt::green));
    QCOMPARE(graphs.at(8)->gradientColor(), QColor::fromRgbF(1.0f, 0.5f, 0.0f));
    QCOMPARE(graphs.at(9)->gradientColor(), QColor(Qt::red));
    QCOMPARE(graphs.at(10)->gradientColor(), QColor(Qt::darkRed));
}

void tst_GraphContainer::colouringSkipsHiddenAndOwnColours() {
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    addTracesWithVelocities(container, {1, 2, 100, 50});
    const QList<Graph*> graphs = container.graphs();
    graphs.at(2)->setVisible(false);     // 100 must not stretch the range
    graphs.at(3)->setColor(Qt::magenta); // own colour, still counted
    container.applyMeasurementColors(Velocity);
    QCOMPARE(graphs.at(2)->gradientColor(), QColor(Qt::white));
    QVERIFY(!graphs.at(3)->gradientColor().isValid());
    QCOMPARE(graphs.at(3)->effectiveColor(), QColor(Qt::magenta));
    QCOMPARE(graphs.at(0)->gradientColor(), QColor(Qt::darkGreen));
    // Stops 1, 1.5, 2, 26, 50: the value 2 sits exactly on stop 2.
    QCOMPARE(graphs.at(1)->gradientColor(), QColor(Qt::yellow));
}

void tst_GraphContainer::colouringLeavesNonFiniteValuesOut() {
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    addTracesWithVelocities(container, {1, 3});
    Graph* odd = container.addGraphFromPress({{1, 1}}, true);
    odd->setGradientColor(Qt::cyan);
    for (double value : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        odd->setVelocity(value);
        container.applyMeasurementColors(Velocity);
        QVERIFY(!odd->gradientColor().isValid());
        QCOMPARE(odd->effectiveColor(), container.defaultGraphColor());
        QCOMPARE(container.graphs().at(0)->gradientColor(), QColor(Qt::darkGreen));
        QCOMPARE(container.graphs().at(1)->gradientColor(), QColor(Qt::darkRed));
    }
}

void tst_GraphContainer::colouringReadsImperialMeasurement() {
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    container.addGraphFromPress({{1, 5}}, true);
    container.addGraphFromPress({{1, 9}}, true);
    container.applyMeasurementColors(PeakForce);
    QCOMPARE(container.graphs().at(0)->gradientColor(), QColor(Qt::darkGreen));
    QCOMPARE(container.graphs().at(1)->gradientColor(), QColor(Qt::darkRed));
}

void tst_GraphContainer::clearMeasurementColorsRestoresDefault() {
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    addTracesWithVelocities(container, {1, 2});
    container.applyMeasurementColors(Velocity);
    container.clearMeasurementColors();
    for (const Graph* graph : container.graphs())
        QCOMPARE(graph->effectiveColor(), container.defaultGraphColor());
}

void tst_GraphContainer::modelPaletteWrapsAndRestartsAfterClear() {
    QObject owner;
    GraphModel model;
    auto* active = new GraphContainer(std::make_shared<MemoryFileSystem>(), true, &model);
    model.setActiveSessionContainer(active);
    const QList<QColor> palette{QColor(245, 130, 49, 200), QColor(188, 246, 12, 200),
                                QColor(60, 180, 75, 200),  QColor(70, 240, 240, 200),
                                QColor(145, 30, 180, 200), QColor(240, 50, 230, 200),
                                QColor(128, 128, 0, 200)};
    model.setCompareColors(palette);
    QSignalSpy announced(&model, &IGraphModel::compareContainerAdded);

    QList<GraphContainer*> containers;
    for (int i = 0; i < 8; ++i) {
        containers.append(new GraphContainer(std::make_shared<MemoryFileSystem>(), &owner));
        model.addCompareContainer(containers.last());
    }
    QCOMPARE(announced.count(), 8);
    QCOMPARE(announced.at(7).first().value<GraphContainer*>(), containers.at(7));
    for (int i = 0; i < 7; ++i)
        QCOMPARE(containers.at(i)->defaultGraphColor(), palette.at(i));
    QCOMPARE(containers.at(7)->defaultGraphColor(), palette.at(0));

    active->addGraphFromPress({}, true);
    QPointer<GraphContainer> compare(containers.first());
    model.clear();
    QVERIFY(active->isEmpty());
    QVERIFY(model.compareContainers().isEmpty());
    flushDeletions();
    QVERIFY(!compare);
    auto* after = new GraphContainer(std::make_shared<MemoryFileSystem>(), &owner);
    model.addCompareContainer(after);
    QCOMPARE(after->defaultGraphColor(), palette.at(0));
}

void tst_GraphContainer::modelForgetsDestroyedCompareContainers() {
    GraphModel model;
    auto* compare = new GraphContainer(std::make_shared<MemoryFileSystem>(), nullptr);
    model.addCompareContainer(compare);
    QCOMPARE(model.compareContainers().size(), 1);
    QCOMPARE(compare->defaultGraphColor(), QColor(0, 0, 255)); // default one-entry palette
    delete compare;
    QVERIFY(model.compareContainers().isEmpty());
    model.setCompareColors({});
    auto* another = new GraphContainer(std::make_shared<MemoryFileSystem>(), &model);
    model.addCompareContainer(another); // an empty palette must not divide by zero
    QCOMPARE(another->defaultGraphColor(), QColor(0, 0, 255));
}

void tst_GraphContainer::modelIsEmpty() {
    GraphModel model;
    QVERIFY(model.isEmpty());
    auto* active = new GraphContainer(std::make_shared<MemoryFileSystem>(), true, &model);
    model.setActiveSessionContainer(active);
    QCOMPARE(model.activeContainer(), active);
    QVERIFY(model.isEmpty());
    active->addGraphFromPress({}, true);
    QVERIFY(!model.isEmpty());
    active->clear();
    auto* compare = new GraphContainer(std::make_shared<MemoryFileSystem>(), &model);
    model.addCompareContainer(compare);
    QVERIFY(!model.isEmpty());
}

void tst_GraphContainer::verdictsJudgeTheLimitsMeasurementInTheirUnits_data() {
    QTest::addColumn<ToleranceLimits>("limits");
    QTest::addColumn<int>("verdict");
    // The trace: recorded in inches and pounds, peak force 44 lbs (19.958 kg), terminal force 40 lbs.
    QTest::newRow("no limits") << ToleranceLimits() << int(ToleranceLimits::NotJudged);
    QTest::newRow("peak on the band's upper limit")
        << *ToleranceLimits::withBand(PeakForce, 42.5, 1.5, Imperial) << int(ToleranceLimits::InTolerance);
    QTest::newRow("peak above") << *ToleranceLimits::withBand(PeakForce, 42.0, 1.5, Imperial)
                                << int(ToleranceLimits::High);
    QTest::newRow("peak below a low limit in kg")
        << *ToleranceLimits::withLimits(PeakForce, 20.0, std::nullopt, Metric) << int(ToleranceLimits::Low);
    QTest::newRow("peak within limits in kg")
        << *ToleranceLimits::withLimits(PeakForce, 19.9, 20.0, Metric) << int(ToleranceLimits::InTolerance);
    QTest::newRow("terminal force judged, not peak")
        << *ToleranceLimits::withLimits(TerminalForce, std::nullopt, 41.0, Imperial)
        << int(ToleranceLimits::InTolerance);
}

// Each trace is judged on the measurement the limits name, in the unit system they were given in.
void tst_GraphContainer::verdictsJudgeTheLimitsMeasurementInTheirUnits() {
    QFETCH(ToleranceLimits, limits);
    QFETCH(int, verdict);
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    Graph* graph = container.addGraphFromPress({{0.3, 0.0}, {0.2, 30.0}, {0.15, 44.0}, {0.1, 40.0}}, true);
    graph->setFlyer(true); // judged all the same
    QCOMPARE(graph->data(Imperial).measurement(PeakForce), 44.0);
    QCOMPARE(graph->data(Imperial).measurement(TerminalForce), 40.0);
    container.setLimits(limits);
    QCOMPARE(int(container.verdictFor(graph)), verdict);
    QCOMPARE(int(container.verdictFor(nullptr)), int(ToleranceLimits::NotJudged));
}

QTEST_MAIN(tst_GraphContainer)
#include "tst_graphcontainer.moc"
