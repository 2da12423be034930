#include "core/FileSystem.h"
#include "data/AutosaveWriter.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/JsonIndenter.h"
#include "data/ToleranceLimits.h"
#include "support/MemoryFileSystem.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(ToleranceLimits)

namespace {

const QString kPath = QStringLiteral("/sessions/a.SDT");

QByteArray session(const QByteArray& graphs) {
    return "{\"AppVersion\": \"0.1.0\", \"FirmwareVersion\": \"\", \"Graphs\": " + graphs + "}";
}

void flushDeletions() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class tst_SessionFile : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void writesExactIndentedText();
    void writesEmptyContainer();
    void traceObjectReadDefaults();
    void colourTexts_data();
    void colourTexts();
    void traceNumbers_data();
    void traceNumbers();
    void metricTraceWithUnevenArrays();
    void nonObjectEntriesKeepTheirIndex();
    void compactFormEqualsCompactSerialisation();
    void toleranceLimitsTravelWithTheSession_data();
    void toleranceLimitsTravelWithTheSession();
    void roundTripKeepsImperialPointsAndMeasurements();
    void metricRecordingIsSavedImperial();
    void loadReplacesTracesWithoutAnnouncing();
    void unusableFileChangesNothing_data();
    void unusableFileChangesNothing();
    void restoreFromJsonReplacesAtOnceAndMarksUnsaved();
    void autosaveWritesNamedCopyOnly();
    void failedAutosaveReportsFailure();
    void backgroundAutosaveIsTheSessionFileOfThatState_data();
    void backgroundAutosaveIsTheSessionFileOfThatState();
};

void tst_SessionFile::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

void tst_SessionFile::writesExactIndentedText() {
    auto fileSystem = std::make_shared<MemoryFileSystem>();
    GraphContainer container(fileSystem, true, nullptr);
    container.setFirmwareVersion(QStringLiteral("2.1"));
    Graph* graph = container.addGraphFromPress({{0.5, 12.0}, {0.25, 1.5e-7}}, true);
    graph->setColor(QColor(255, 0, 16, 100));
    graph->setComment(QStringLiteral("seated \"long\""));
    graph->setVelocity(12.7);
    graph->setFlyer(true);
    QVERIFY(container.writeToFile(kPath));

    const QString expected = QStringLiteral(R"({
    "AppVersion": "%1",
    "FirmwareVersion": "2.1",
    "Graphs": [
        {
            "Color": "#ff0010",
            "Comment": "seated \"long\"",
            "Flyer": true,
            "Name": "Trace 1",
            "Show": true,
            "TraceNumber": 1,
            "Units": "Imperial",
            "Velocity": 12.7,
            "X Values": [
                0.5,
                0.25
            ],
            "Y Values": [
                12,
                1.5e-07
            ]
        }
    ]
}
)")
                                 .arg(GraphContainer::appVersion());
    QCOMPARE(QString::fromUtf8(fileSystem->files.value(kPath)), expected);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$"))
                .match(GraphContainer::appVersion())
                .hasMatch());
}

void tst_SessionFile::writesEmptyContainer() {
    auto fileSystem = std::make_shared<MemoryFileSystem>();
    GraphContainer container(fileSystem, true, nullptr);
    QVERIFY(container.writeToFile(kPath));
    const QJsonObject object = QJsonDocument::fromJson(fileSystem->files.value(kPath)).object();
    QCOMPARE(object.keys(), (QStringList{"AppVersion", "FirmwareVersion", "Graphs"}));
    QVERIFY(object.value("Graphs").isArray());
    QVERIFY(object.value("Graphs").toArray().isEmpty());
    QCOMPARE(object.value("FirmwareVersion").toString(), QString());
}

void tst_SessionFile::traceObjectReadDefaults() {
    Graph graph;
    graph.setName(QStringLiteral("old"));
    graph.setPoints({{1, 1}}, true);
    graph.fromJson(QJsonObject(), 5);
    QCOMPARE(graph.name(), QString());
    QCOMPARE(graph.comment(), QString());
    QVERIFY(graph.hasDefaultColor());
    QVERIFY(!graph.flyer());
    QVERIFY(!graph.visible()); // no "Show" loads hidden
    QCOMPARE(graph.traceNumber(), 5);
    QCOMPARE(graph.velocity(), 0.0);
    QVERIFY(graph.data(Imperial).points().isEmpty());
    QCOMPARE(graph.data(Metric).peakForce(), 0.0);
}

void tst_SessionFile::colourTexts_data() {
    QTest::addColumn<QJsonValue>("text");
    QTest::addColumn<QColor>("color");
    QTest::newRow("#rrggbb") << QJsonValue("#ff0000") << QColor(Qt::red);
    QTest::newRow("#rgb") << QJsonValue("#0f0") << QColor(Qt::green);
    QTest::newRow("#aarrggbb") << QJsonValue("#80ff0000") << QColor(255, 0, 0, 128);
    QTest::newRow("named") << QJsonValue("magenta") << QColor(Qt::magenta);
    QTest::newRow("empty") << QJsonValue("") << QColor(0, 0, 255);
    QTest::newRow("unparsable reads as default") << QJsonValue("not a colour") << QColor(0, 0, 255);
    QTest::newRow("wrong type") << QJsonValue(12) << QColor(0, 0, 255);
}

void tst_SessionFile::colourTexts() {
    QFETCH(QJsonValue, text);
    QFETCH(QColor, color);
    Graph graph;
    graph.fromJson(QJsonObject{{"Color", text}}, 1);
    QCOMPARE(graph.color(), color);
    // What is read is written back as a valid colour, never as black.
    QCOMPARE(graph.toJson().value("Color").toString(), color.name());
}

void tst_SessionFile::traceNumbers_data() {
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<int>("number");
    QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << 3;
    QTest::newRow("integer") << QJsonValue(17) << 17;
    QTest::newRow("negative") << QJsonValue(-2) << -2;
    QTest::newRow("fraction") << QJsonValue(2.5) << 0;
    QTest::newRow("beyond 32 bits") << QJsonValue(1e12) << 0;
    QTest::newRow("string") << QJsonValue("4") << 0;
    QTest::newRow("null") << QJsonValue(QJsonValue::Null) << 0;
}

void tst_SessionFile::traceNumbers() {
    QFETCH(QJsonValue, value);
    QFETCH(int, number);
    QJsonObject object;
    if (!value.isUndefined())
        object.insert("TraceNumber", value);
    Graph graph;
    graph.fromJson(object, 3);
    QCOMPARE(graph.traceNumber(), number);
}

void tst_SessionFile::metricTraceWithUnevenArrays() {
    Graph graph;
    graph.fromJson(QJsonDocument::fromJson(R"({"Units": "Metric", "X Values": [25.4, "x"],
                                               "Y Values": [10, 20, 30], "Show": true})")
                       .object(),
                   1);
    QCOMPARE(graph.data(Metric).points(), (QList<QPointF>{{25.4, 10}, {0, 20}}));
    QCOMPARE(graph.data(Imperial).points(),
             (QList<QPointF>{{25.4 * 0.0393701, 10 * 2.20462}, {0, 20 * 2.20462}}));
    QCOMPARE(graph.data(Imperial).peakForce(), 20 * 2.20462);
    QVERIFY(graph.visible());

    Graph lowerCase;
    lowerCase.fromJson(
        QJsonDocument::fromJson(R"({"Units": "metric", "X Values": [1], "Y Values": [2]})").object(), 1);
    QCOMPARE(lowerCase.data(Imperial).points(), (QList<QPointF>{{1, 2}}));
}

void tst_SessionFile::nonObjectEntriesKeepTheirIndex() {
    auto fileSystem = std::make_shared<MemoryFileSystem>();
    fileSystem->files.insert(kPath,
                             session(R"([5, {"Name": "b"}, [], {"Name": "d", "TraceNumber": 9}, {}])"));
    GraphContainer container(fileSystem, true, nullptr);
    QVERIFY(container.loadFromFile(kPath));
    const QList<Graph*> graphs = container.graphs();
    QCOMPARE(graphs.size(), 3);
    QCOMPARE(graphs.at(0)->traceNumber(), 2);
    QCOMPARE(graphs.at(0)->name(), QStringLiteral("b"));
    QCOMPARE(graphs.at(1)->traceNumber(), 9);
    QCOMPARE(graphs.at(2)->traceNumber(), 5);
    QCOMPARE(graphs.at(0)->parent(), &container);
}

void tst_SessionFile::compactFormEqualsCompactSerialisation() {
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    QCOMPARE(container.toJsonBytes(), QJsonDocument(container.toJson()).toJson(QJsonDocument::Compact));
    container.setFirmwareVersion(QStringLiteral("v\"1\""));
    for (int i = 0; i < 3; ++i)
        container.addGraphFromPress({{0.3, 1.0 / 3.0}, {0.2, -1e-300}, {0.1, 1e300}}, true);
    QCOMPARE(container.toJsonBytes(), QJsonDocument(container.toJson()).toJson(QJsonDocument::Compact));
    container.graphs().at(1)->setName(QStringLiteral("é ✓"));
    const QByteArray digest = container.stateDigest();
    container.graphs().at(2)->setVisible(false);
    QCOMPARE(container.toJsonBytes(), QJsonDocument(container.toJson()).toJson(QJsonDocument::Compact));
    QVERIFY(container.stateDigest() != digest);
    container.graphs().at(2)->setVisible(true);
    QCOMPARE(container.stateDigest(), digest);
    GraphContainer copy(std::make_shared<MemoryFileSystem>(), true, nullptr);
    copy.restoreFromJson(container.toJson());
    copy.setFirmwareVersion(container.firmwareVersion()); // not read back from files
    QCOMPARE(copy.toJsonBytes(), container.toJsonBytes());
    QCOMPARE(copy.stateDigest(), digest);
    copy.setFirmwareVersion(QStringLiteral("other"));
    QVERIFY(copy.stateDigest() != digest);
}

void tst_SessionFile::toleranceLimitsTravelWithTheSession_data() {
    QTest::addColumn<ToleranceLimits>("limits");
    QTest::newRow("none") << ToleranceLimits();
    QTest::newRow("nominal and band") << *ToleranceLimits::withBand(PeakForce, 42.5, 1.5, Imperial);
    QTest::newRow("low only, metric work")
        << *ToleranceLimits::withLimits(WorkDone, 0.25, std::nullopt, Metric);
    QTest::newRow("high only") << *ToleranceLimits::withLimits(TerminalForce, std::nullopt, 40.0, Imperial);
}

// The limits are part of the session: in its file (only when set, so other files stay as they were), in
// its compact text and digest, and back from a file, a restore (undo) or not at all from a bad member.
void tst_SessionFile::toleranceLimitsTravelWithTheSession() {
    QFETCH(ToleranceLimits, limits);
    auto files = std::make_shared<MemoryFileSystem>();
    GraphContainer container(files, true, nullptr);
    container.addGraphFromPress({{0.3, 0.0}, {0.2, 30.0}, {0.1, 44.0}}, true);
    const QByteArray withoutLimits = container.toJsonBytes();
    const QByteArray digestWithout = container.stateDigest();
    container.setUnsaved(false);
    QSignalSpy changed(&container, &GraphContainer::limitsChanged);
    container.setLimits(limits);
    QCOMPARE(changed.size(), limits.hasLimits() ? 1 : 0);
    QCOMPARE(container.unsaved(), limits.hasLimits());
    QCOMPARE(container.toJsonBytes(), QJsonDocument(container.toJson()).toJson(QJsonDocument::Compact));
    // The autosave indents the pieces: the same text as Save writes.
    QCOMPARE(JsonIndenter::indent(container.toJsonPieces()),
             QJsonDocument(container.toJson()).toJson(QJsonDocument::Indented));
    QCOMPARE(container.toJson().contains(QStringLiteral("ToleranceLimits")), limits.hasLimits());
    QCOMPARE(container.toJsonBytes() == withoutLimits, !limits.hasLimits());
    QCOMPARE(container.stateDigest() == digestWithout, !limits.hasLimits());

    QVERIFY(container.writeToFile(QStringLiteral("/s/limits.SDT")));
    GraphContainer loaded(files, true, nullptr);
    loaded.setLimits(*ToleranceLimits::withBand(PeakForce, 1.0, 0.5, Metric)); // replaced by the file's
    QVERIFY(loaded.loadFromFile(QStringLiteral("/s/limits.SDT")));
    QCOMPARE(loaded.limits(), limits);
    QVERIFY(!loaded.unsaved());
    GraphContainer restored(files, true, nullptr);
    restored.restoreFromJson(container.toJson());
    QCOMPARE(restored.limits(), limits);
    QCOMPARE(restored.graphs().size(), 1);

    // A member that makes no sense is left out; the traces still open.
    QJsonObject damaged = container.toJson();
    damaged.insert(QStringLiteral("ToleranceLimits"),
                   QJsonObject{{QStringLiteral("Low"), 50.0}, {QStringLiteral("High"), 40.0}});
    restored.restoreFromJson(damaged);
    QCOMPARE(restored.limits(), ToleranceLimits());
    QCOMPARE(restored.graphs().size(), 1);
}

void tst_SessionFile::roundTripKeepsImperialPointsAndMeasurements() {
    auto fileSystem = std::make_shared<MemoryFileSystem>();
    GraphContainer source(fileSystem, true, nullptr);
    QList<QPointF> points;
    for (int i = 0; i < 40; ++i)
        points.append({0.6 - i * 0.0123456789, i * i * 0.137 + 0.1});
    Graph* a = source.addGraphFromPress(points, true);
    a->setVelocity(0.1 + 0.2);
    a->setComment(QStringLiteral("line 1\nline 2"));
    Graph* b = source.addGraphFromPress({{0.5, 3}}, true);
    b->setVisible(false);
    b->setColor(QColor(1, 2, 3));
    QVERIFY(source.writeToFile(kPath));

    GraphContainer loaded(fileSystem, true, nullptr);
    QVERIFY(loaded.loadFromFile(kPath));
    QCOMPARE(loaded.graphs().size(), 2);
    for (int i = 0; i < 2; ++i) {
        const Graph* before = source.graphs().at(i);
        const Graph* after = loaded.graphs().at(i);
        for (Units units : {Imperial, Metric}) {
            QCOMPARE(after->data(units).points(), before->data(units).points());
            for (Measurement m : {PeakForce, WorkDone, TerminalForce, StartingPosition})
                QCOMPARE(after->data(units).measurement(m), before->data(units).measurement(m));
        }
        QCOMPARE(after->name(), before->name());
        QCOMPARE(after->comment(), before->comment());
        QCOMPARE(after->velocity(), before->velocity());
        QCOMPARE(after->visible(), before->visible());
        QCOMPARE(after->color(), before->color());
        QCOMPARE(after->traceNumber(), before->traceNumber());
    }
    QCOMPARE(loaded.toJsonBytes(), source.toJsonBytes());
}

void tst_SessionFile::metricRecordingIsSavedImperial() {
    auto fileSystem = std::make_shared<MemoryFileSystem>();
    GraphContainer source(fileSystem, true, nullptr);
    const QList<QPointF> metric{{12.7, 5.0}, {10.0, 7.5}};
    source.addGraphFromPress(metric, false);
    QVERIFY(source.writeToFile(kPath));
    const QJsonObject trace = QJsonDocument::fromJson(fileSystem->files.value(kPath))
                                  .object()
                                  .value("Graphs")
                                  .toArray()
                                  .first()
                                  .toObject();
    QCOMPARE(trace.value("Units").toString(), QStringLiteral("Imperial"));
    QCOMPARE(trace.value("X Values").toArray().first().toDouble(), 12.7 * 0.0393701);

    GraphContainer loaded(fileSystem, true, nullptr);
    QVERIFY(loaded.loadFromFile(kPath));
    const Graph* graph = loaded.graphs().first();
    QCOMPARE(graph->data(Imperial).points(), source.graphs().first()->data(Imperial).points());
    for (qsizetype i = 0; i < metric.size(); ++i) {
        QVERIFY(qAbs(graph->data(Metric).points().at(i).x() - metric.at(i).x()) < 1e-12);
        QVERIFY(qAbs(graph->data(Metric).points().at(i).y() - metric.at(i).y()) < 1e-12);
    }
}

void tst_SessionFile::loadReplacesTracesWithoutAnnouncing() {
    auto fileSystem = std::make_shared<MemoryFileSystem>();
    fileSystem->files.insert(kPath, session(R"([{"Name": "x", "Show": true}])"));
    GraphContainer container(fileSystem, true, nullptr);
    container.addGraphFromPress({}, true);
    QSignalSpy fromFile(&container, &GraphContainer::graphAddedFromFile);
    QSignalSpy bulk(&container, &GraphContainer::bulkGraphAddFinished);
    QSignalSpy removed(&container, &GraphContainer::graphRemoved);
    QSignalSpy fileName(&container, &GraphContainer::fileNameChanged);

    QVERIFY(container.loadFromFile(kPath));
    QCOMPARE(container.fileName(), kPath);
    QVERIFY(!container.unsaved());
    QCOMPARE(container.graphs().size(), 1);
    QCOMPARE(fromFile.count(), 0);
    QCOMPARE(fileName.last().first().toString(), kPath);
    flushDeletions();
    QCOMPARE(removed.count(), 1);

    container.emitGraphsAddedFromFile();
    QCOMPARE(fromFile.count(), 1);
    QCOMPARE(fromFile.first().first().value<Graph*>(), container.graphs().first());
    QCOMPARE(bulk.count(), 1);

    // A loaded trace is wired like any other.
    container.graphs().first()->setName(QStringLiteral("y"));
    QVERIFY(container.unsaved());
}

void tst_SessionFile::unusableFileChangesNothing_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("exists");
    QTest::newRow("missing") << QByteArray() << false;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("not JSON") << QByteArray("\x00\xff garbage", 10) << true;
    QTest::newRow("truncated") << session("[{\"Name\": \"x\"").left(40) << true;
    QTest::newRow("array") << QByteArray("[{\"Graphs\": []}]") << true;
}

void tst_SessionFile::unusableFileChangesNothing() {
    QFETCH(QByteArray, content);
    QFETCH(bool, exists);
    auto fileSystem = std::make_shared<MemoryFileSystem>();
    if (exists)
        fileSystem->files.insert(QStringLiteral("/broken.SDT"), content);
    GraphContainer container(fileSystem, true, nullptr);
    Graph* graph = container.addGraphFromPress({{1, 1}}, true);
    container.setFileName(kPath);
    QSignalSpy unsaved(&container, &GraphContainer::unsavedStatusChanged);
    QString reason;
    QVERIFY(!container.loadFromFile(QStringLiteral("/broken.SDT"), &reason));
    QVERIFY(!reason.isEmpty());
    flushDeletions();
    QCOMPARE(container.graphs(), QList<Graph*>{graph});
    QCOMPARE(container.fileName(), kPath);
    QVERIFY(container.unsaved());
    QCOMPARE(unsaved.count(), 0);
}

void tst_SessionFile::restoreFromJsonReplacesAtOnceAndMarksUnsaved() {
    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    QPointer<Graph> old = container.addGraphFromPress({}, true);
    container.setFileName(kPath);
    container.setUnsaved(false);
    QSignalSpy removed(&container, &GraphContainer::graphRemoved);
    QSignalSpy fromFile(&container, &GraphContainer::graphAddedFromFile);
    QSignalSpy bulk(&container, &GraphContainer::bulkGraphAddFinished);

    container.restoreFromJson(
        QJsonDocument::fromJson(session(R"([{"Name": "r1", "Show": true}, {"Name": "r2"}])")).object());
    QVERIFY(!old); // deleted at once, not later
    QCOMPARE(removed.count(), 1);
    QCOMPARE(fromFile.count(), 2);
    QCOMPARE(fromFile.at(1).first().value<Graph*>()->name(), QStringLiteral("r2"));
    QCOMPARE(bulk.count(), 1);
    QVERIFY(container.unsaved());
    QCOMPARE(container.fileName(), kPath);
}

void tst_SessionFile::autosaveWritesNamedCopyOnly() {
    const QDateTime start(QDate(2024, 3, 5), QTime(14, 7, 59));
    const QString path = GraphContainer::autosavePath(start);
    QCOMPARE(path, QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
                       QStringLiteral("/autosaves/Autosave_05-Mar-2024 14_07.SDT"));
    QVERIFY(path.contains(QStringLiteral("qttest"))); // never the user's real folder

    auto fileSystem = std::make_shared<MemoryFileSystem>();
    GraphContainer container(fileSystem, true, nullptr);
    container.addGraphFromPress({{1, 2}}, true);
    QSignalSpy fileName(&container, &GraphContainer::fileNameChanged);
    QVERIFY(container.autosave(start));
    QVERIFY(fileSystem->files.contains(path));
    QCOMPARE(QJsonDocument::fromJson(fileSystem->files.value(path)).object(), container.toJson());
    QVERIFY(container.unsaved());
    QVERIFY(container.fileName().isEmpty());
    QCOMPARE(fileName.count(), 0);
}

void tst_SessionFile::failedAutosaveReportsFailure() {
    auto fileSystem = std::make_shared<MemoryFileSystem>();
    fileSystem->failWritesTo(QString(), QStringLiteral("Disk full"));
    GraphContainer container(fileSystem, true, nullptr);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Autosave.*failed.*Disk full")));
    QVERIFY(!container.autosave(QDateTime(QDate(2024, 1, 2), QTime(3, 4))));
}

void tst_SessionFile::backgroundAutosaveIsTheSessionFileOfThatState_data() {
    QTest::addColumn<QByteArray>("graphs");
    QTest::addColumn<QString>("firmwareVersion");
    QTest::newRow("empty session") << QByteArray("[]") << QString();
    QTest::newRow("texts that need escaping")
        << QByteArray(R"([{"Name": "a \"quoted\" name, [x]: {y}", "Show": true,
                           "Comment": "back\\slash\ttab\nline \u0001 \u00e9 \u2713 / \\\"", "X Values": [0.5],
                           "Y Values": [1]}])")
        << QStringLiteral("2.24 \"beta\", {x}");
    QTest::newRow("numbers at their limits") << QByteArray(R"([{"Velocity": 12.7, "TraceNumber": 2147483647,
                           "X Values": [1e300, 5e-324, 0.1, 1.2345678901234568e+20, -1.5e-7, 3],
                           "Y Values": [-1e-300, 2.2250738585072014e-308, 1e21, 99999999999999990000, 0, -7]}])")
                                             << QStringLiteral("2.24");
    QTest::newRow("traces without points")
        << QByteArray(R"([{"Name": "t1"}, {"Name": "t2", "X Values": [], "Y Values": []}, {"Flyer": true}])")
        << QString();
}

// The autosave is written on a worker from the traces' compact texts: its file must be byte for byte what
// Save writes for the same state, so every reader (open, compare) reads it as a session file.
void tst_SessionFile::backgroundAutosaveIsTheSessionFileOfThatState() {
    QFETCH(QByteArray, graphs);
    QFETCH(QString, firmwareVersion);
    auto fileSystem = std::make_shared<FileSystem>();
    GraphContainer container(fileSystem, true, nullptr);
    container.setFirmwareVersion(firmwareVersion);
    container.restoreFromJson(QJsonDocument::fromJson(session(graphs)).object());
    QCOMPARE(container.graphs().size(), QJsonDocument::fromJson(graphs).array().size());
    QTemporaryDir folder;
    const QString saved = folder.filePath(QStringLiteral("saved.SDT"));
    QVERIFY(container.writeToFile(saved));

    const QDateTime start(QDate(2024, 6, 1), QTime(9, 30));
    const QString autosave = GraphContainer::autosavePath(start);
    QFile::remove(autosave);
    AutosaveWriter writer(&container);
    QSignalSpy finished(&writer, &AutosaveWriter::finished);
    writer.save(start);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QCOMPARE(finished.first(), (QVariantList{autosave, true}));
    QCOMPARE(fileSystem->readFile(autosave), fileSystem->readFile(saved));

    // Opened, it is the same session (the firmware version is written for people, never read).
    GraphContainer opened(fileSystem, true, nullptr);
    QVERIFY(opened.loadFromFile(autosave));
    opened.setFirmwareVersion(firmwareVersion);
    QCOMPARE(opened.toJsonBytes(), container.toJsonBytes());
}

QTEST_GUILESS_MAIN(tst_SessionFile)
#include "tst_sessionfile.moc"
