#include "app/CsvExporter.h"
#include "core/FileSystem.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/ToleranceLimits.h"
#include "support/MemoryFileSystem.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

using Points = QList<QPointF>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct TraceRow {
    QString name;
    Points points;
    bool flyer = false;
    double velocity = 0.0;
};

// Traces that live as long as the test row; points are given in the row's unit system.
class Traces {
public:
    Traces(const QList<TraceRow>& rows, Units units) {
        for (const TraceRow& row : rows) {
            auto graph = std::make_unique<Graph>();
            graph->setName(row.name);
            graph->setPoints(row.points, units == Imperial);
            graph->setFlyer(row.flyer);
            graph->setVelocity(row.velocity);
            list.append(graph.get());
            m_owned.push_back(std::move(graph));
        }
    }
    QList<Graph*> list;

private:
    std::vector<std::unique_ptr<Graph>> m_owned;
};

// The file as Python's csv module reads it: one list of cells per record.
QList<QStringList> readWithPython(const QString& path) {
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv, json, sys\n"
                                 "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                 "    json.dump(list(csv.reader(f, strict=True)), sys.stdout)\n"),
                  path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning() << "python3 failed:" << python.readAllStandardError();
        return {};
    }
    QList<QStringList> records;
    const QJsonArray rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    for (const QJsonValue& row : rows) {
        QStringList cells;
        for (const QJsonValue& cell : row.toArray())
            cells.append(cell.toString());
        records.append(cells);
    }
    return records;
}

QString fixed3(double value) {
    return QString::number(value, 'f', 3);
}

// A stroke in inches and pounds that rises from `first` to `peak` and eases off by two pounds.
Points stroke(double first, double peak) {
    return {{0.5, first}, {0.45, peak / 2.0}, {0.4, peak}, {0.3, peak - 2.0}};
}

QStringList textLines(const QByteArray& text) {
    return QString::fromUtf8(text).split(QLatin1Char('\n'));
}

} // namespace

Q_DECLARE_METATYPE(TraceRow)
Q_DECLARE_METATYPE(ToleranceLimits)

class tst_CsvExporter : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void exactText_data();
    void exactText();
    void verdictAndLimitsRows_data();
    void verdictAndLimitsRows();
    void gridReadBackCellByCell_data();
    void gridReadBackCellByCell();
    void gridLineLimit_data();
    void gridLineLimit();
    void failedWriteKeepsOldFile();

private:
    QTemporaryDir m_dir;
};

void tst_CsvExporter::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

void tst_CsvExporter::exactText_data() {
    QTest::addColumn<bool>("all");
    QTest::addColumn<int>("units");
    QTest::addColumn<QList<TraceRow>>("traces");
    QTest::addColumn<QString>("expected");

    const TraceRow imperialPair{QStringLiteral("Trace 1"), {{0.5, 10.0}, {0.4, 20.0}}};
    QTest::newRow("one trace, imperial, two points")
        << false << int(Imperial) << QList<TraceRow>{imperialPair}
        << QStringLiteral(",\"Trace 1\"\n"
                          "Flyer,false\n"
                          "Peak Force,20.000\n"
                          "Starting Pos,0.500\n"
                          "Terminal Force,20.000\n"
                          "Velocity,0.000\n"
                          "Work Done,1.500\n"
                          "\n"
                          "Position (inch),Force (lbs)\n"
                          "0.500,10.000\n"
                          "0.400,20.000\n");
    QTest::newRow("one trace, metric, flyer, quote in the name")
        << false << int(Metric)
        << QList<TraceRow>{{QStringLiteral("12\" barrel, \"hot\""), {{12.7, 4.5}, {10.16, 9.0}}, true, 12.7}}
        << QStringLiteral(",\"12\"\" barrel, \"\"hot\"\"\"\n"
                          "Flyer,true\n"
                          "Peak Force,9.000\n"
                          "Starting Pos,12.700\n"
                          "Terminal Force,9.000\n"
                          "Velocity,12.700\n"
                          "Work Done,17.145\n"
                          "\n"
                          "Position (mm),Force (kg)\n"
                          "12.700,4.500\n"
                          "10.160,9.000\n");
    QTest::newRow("one trace without points")
        << false << int(Imperial) << QList<TraceRow>{{QStringLiteral("empty"), {}}}
        << QStringLiteral(",\"empty\"\nFlyer,false\nPeak Force,0.000\nStarting Pos,0.000\n"
                          "Terminal Force,0.000\nVelocity,0.000\nWork Done,0.000\n\n"
                          "Position (inch),Force (lbs)\n");
    // Metric grid of 0.025 mm from the highest start (0.1) down to within one step below the lowest
    // end (-0.02): A is interpolated and then empty once past its end, B is extrapolated above its first
    // point and interpolated below; every line keeps a comma for every trace.
    QTest::newRow("all traces, metric grid")
        << true << int(Metric)
        << QList<TraceRow>{{QStringLiteral("A"), {{0.1, 1.0}, {0.06, 3.0}, {0.01, 8.0}}},
                           {QStringLiteral("B"), {{0.08, 10.0}, {0.04, 20.0}, {-0.02, 50.0}}, true, 3.0}}
        << QStringLiteral(",\"A\",\"B\"\n"
                          "Flyer,false,true\n"
                          "Peak Force,8.000,50.000\n"
                          "Starting Pos,0.100,0.080\n"
                          "Terminal Force,8.000,50.000\n"
                          "Velocity,0.000,3.000\n"
                          "Work Done,0.355,2.700\n"
                          "\n"
                          "Position (mm),Force (kg),Force (kg)\n"
                          "0.100,1.000,5.000\n"
                          "0.075,2.250,11.250\n"
                          "0.050,4.000,17.500\n"
                          "0.025,6.500,27.500\n"
                          "0.000,,40.000\n"
                          "-0.025,,\n");
    // A single point gives no segment, and equal positions give no finite slope: empty cells, never
    // "nan" or "inf", and never a missing comma.
    QTest::newRow("all traces, cells without a value stay empty")
        << true << int(Imperial)
        << QList<TraceRow>{{QStringLiteral("flat"), {{0.004, 1.0}, {0.004, 2.0}, {0.0, 3.0}}},
                           {QStringLiteral("dot"), {{0.002, 5.0}}},
                           {QStringLiteral("none"), {}}}
        << QStringLiteral(",\"flat\",\"dot\",\"none\"\n"
                          "Flyer,false,false,false\n"
                          "Peak Force,3.000,5.000,0.000\n"
                          "Starting Pos,0.004,0.002,0.000\n"
                          "Terminal Force,3.000,5.000,0.000\n"
                          "Velocity,0.000,0.000,0.000\n"
                          "Work Done,0.010,0.000,0.000\n"
                          "\n"
                          "Position (inch),Force (lbs),Force (lbs),Force (lbs)\n"
                          "0.004,,,\n"
                          "0.003,2.250,,\n"
                          "0.002,2.500,,\n"
                          "0.001,2.750,,\n"
                          "0.000,3.000,,\n");
    QTest::newRow("all traces, none")
        << true << int(Metric) << QList<TraceRow>{}
        << QStringLiteral("\nFlyer\nPeak Force\nStarting Pos\nTerminal Force\nVelocity\nWork Done\n\n"
                          "Position (mm)\n");
    // Rising positions: the lowest end lies above the highest start, so there is no grid at all.
    QTest::newRow("all traces, rising positions")
        << true << int(Metric) << QList<TraceRow>{{QStringLiteral("up"), {{0.0, 1.0}, {1.0, 2.0}}}}
        << QStringLiteral(",\"up\"\nFlyer,false\nPeak Force,2.000\nStarting Pos,0.000\nTerminal Force,2.000\n"
                          "Velocity,0.000\nWork Done,1.500\n\nPosition (mm),Force (kg)\n");
}

void tst_CsvExporter::exactText() {
    QFETCH(bool, all);
    QFETCH(int, units);
    QFETCH(QList<TraceRow>, traces);
    QFETCH(QString, expected);

    const Traces graphs(traces, Units(units));
    const QString path = m_dir.filePath(QStringLiteral("exact.csv"));
    const CsvExporter exporter(path, Units(units));
    FileSystem fileSystem;
    QString error;
    const bool written = all ? exporter.exportAll(graphs.list, fileSystem, &error)
                             : exporter.exportTrace(*graphs.list.first(), fileSystem, &error);
    QVERIFY2(written, qPrintable(error));
    QCOMPARE(QString::fromUtf8(fileSystem.readFile(path)), expected);

    // A real CSV reader sees the same cells, the quoted names whole and unescaped.
    const QList<QStringList> records = readWithPython(path);
    QCOMPARE(records.size(), expected.count(QLatin1Char('\n'))); // an empty line is an empty record
    QCOMPARE(records.first().mid(1), [&] {
        QStringList names;
        for (const TraceRow& row : traces)
            names.append(row.name);
        return all ? names : names.mid(0, 1);
    }());
    for (const QStringList& record : records.mid(1)) {
        if (!record.isEmpty())
            QCOMPARE(record.size(), all ? traces.size() + 1 : 2);
    }
}

void tst_CsvExporter::verdictAndLimitsRows_data() {
    QTest::addColumn<ToleranceLimits>("limits");
    QTest::addColumn<int>("units");
    // The cells of the Verdict row and of the Limits row; none at all without limits.
    QTest::addColumn<QString>("verdictRow");
    QTest::addColumn<QString>("limitsCell");

    // The traces, in this order, peak at 42, 39, 45 (a flyer) and 42 lbs with a NaN first force, which
    // makes the peak NaN; the last one, also at 42, has no container.
    const ToleranceLimits band = *ToleranceLimits::withBand(PeakForce, 42.0, 1.5, Imperial);
    QTest::newRow("no limits") << ToleranceLimits() << int(Imperial) << QString() << QString();
    QTest::newRow("nominal and band") << band << int(Imperial) << QStringLiteral("In tolerance,LOW,HIGH,,")
                                      << QStringLiteral("\"Peak Force 42.000 \u00B1 1.500 lbs\"");
    QTest::newRow("low limit only") << *ToleranceLimits::withLimits(PeakForce, 40.0, std::nullopt, Imperial)
                                    << int(Imperial) << QStringLiteral("In tolerance,LOW,In tolerance,,")
                                    << QStringLiteral("\"Peak Force at least 40.000 lbs\"");
    // Judged in pounds as the session is; stated in the file's kilograms.
    QTest::newRow("imperial limits, metric file")
        << band << int(Metric) << QStringLiteral("In tolerance,LOW,HIGH,,")
        << QStringLiteral("\"Peak Force 19.051 \u00B1 0.680 kg\"");
}

// The two rows come right after "Work Done" and every other line is the one of a file without limits;
// a trace exported alone has its own verdict, one without a container none.
void tst_CsvExporter::verdictAndLimitsRows() {
    QFETCH(ToleranceLimits, limits);
    QFETCH(int, units);
    QFETCH(QString, verdictRow);
    QFETCH(QString, limitsCell);

    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    const struct {
        const char* name;
        double first;
        double peak;
    } strokes[] = {{"In", 1.0, 42.0}, {"Low", 1.0, 39.0}, {"High", 1.0, 45.0}, {"No peak", kNaN, 42.0}};
    for (const auto& row : strokes)
        container.addGraphFromPress(stroke(row.first, row.peak), true)
            ->setName(QString::fromLatin1(row.name));
    container.graphs().at(2)->setFlyer(true);
    Graph loose;
    loose.setName(QStringLiteral("Loose"));
    loose.setPoints(stroke(1.0, 42.0), true);
    QList<Graph*> traces = container.graphs();
    traces.append(&loose);

    const CsvExporter exporter(QStringLiteral("/exports/judged.csv"), Units(units));
    QStringList expectedAll = textLines(*exporter.allText(traces));
    QList<QStringList> expectedOne;
    for (const Graph* trace : std::as_const(traces))
        expectedOne.append(textLines(exporter.traceText(*trace)));
    QCOMPARE(expectedAll.at(6).section(QLatin1Char(','), 0, 0), QStringLiteral("Work Done"));
    if (!verdictRow.isEmpty()) {
        expectedAll.insert(7, QStringLiteral("Verdict,") + verdictRow);
        expectedAll.insert(8, QStringLiteral("Limits,") + limitsCell +
                                  QString(traces.size() - 1, QLatin1Char(',')));
        const QStringList verdicts = verdictRow.split(QLatin1Char(','));
        for (int i = 0; i < container.graphs().size(); ++i) {
            expectedOne[i].insert(7, QStringLiteral("Verdict,") + verdicts.at(i));
            expectedOne[i].insert(8, QStringLiteral("Limits,") + limitsCell);
        }
    }

    container.setLimits(limits);
    QCOMPARE(textLines(*exporter.allText(traces)), expectedAll);
    for (int i = 0; i < traces.size(); ++i)
        QCOMPARE(textLines(exporter.traceText(*traces.at(i))), expectedOne.at(i));
}

void tst_CsvExporter::gridReadBackCellByCell_data() {
    QTest::addColumn<int>("units");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("lines");

    // Trace A falls from 1.0 to 0.5 and trace B from 0.9 to 0.4, both straight lines: the grid runs from
    // 1.0 to the last value above 0.4 - step, B extrapolated above 0.9, A empty below 0.5.
    QTest::newRow("imperial, 0.001 inch") << int(Imperial) << 0.001 << 601;
    QTest::newRow("metric, 0.025 mm") << int(Metric) << 0.025 << 25;
}

void tst_CsvExporter::gridReadBackCellByCell() {
    QFETCH(int, units);
    QFETCH(double, step);
    QFETCH(int, lines);

    const auto forceA = [](double x) {
        return (1.0 - x) * 100.0;
    };
    const auto forceB = [](double x) {
        return (0.9 - x) * 200.0;
    };
    Points a, b;
    for (int i = 0; i <= 10; ++i) {
        const double x = 1.0 - 0.05 * i;
        a.append({x, forceA(x)});
        b.append({x - 0.1, forceB(x - 0.1)});
    }
    const QString name = QStringLiteral("B \"long\", seated");
    const Traces graphs({{QStringLiteral("A"), a}, {name, b}}, Units(units));
    const QString path = m_dir.filePath(QStringLiteral("grid.csv"));
    FileSystem fileSystem;
    QVERIFY(CsvExporter(path, Units(units)).exportAll(graphs.list, fileSystem));

    const QList<QStringList> records = readWithPython(path);
    QCOMPARE(records.size(), 9 + lines);
    QCOMPARE(records.at(0), (QStringList{QString(), QStringLiteral("A"), name}));
    QCOMPARE(records.at(7), QStringList());
    const QString position = units == Imperial ? QStringLiteral("inch") : QStringLiteral("mm");
    const QString force = units == Imperial ? QStringLiteral("lbs") : QStringLiteral("kg");
    QCOMPARE(records.at(8),
             (QStringList{QStringLiteral("Position (%1)").arg(position),
                          QStringLiteral("Force (%1)").arg(force), QStringLiteral("Force (%1)").arg(force)}));
    // A trace has a value down to its last point and none below it.
    const double endA = a.last().x();
    const double endB = b.last().x();
    for (int row = 0; row < lines; ++row) {
        const QStringList& cells = records.at(9 + row);
        const double x = 1.0 - row * step;
        const QString where = QStringLiteral("row %1: %2").arg(row).arg(cells.join(QLatin1Char(',')));
        QCOMPARE(cells.size(), 3);
        QCOMPARE(cells.at(0), fixed3(x));
        QCOMPARE(cells.at(1), x >= endA ? fixed3(forceA(x)) : QString());
        if (x >= endB) {
            // Within rounding of the third decimal: the grid value and the straight line meet there.
            QVERIFY2(std::abs(cells.at(2).toDouble() - forceB(x)) <= 0.0005 + 1e-9, qPrintable(where));
        } else {
            QVERIFY2(cells.at(2).isEmpty(), qPrintable(where));
        }
    }
    QCOMPARE(records.at(9).at(2), fixed3(-20.0)); // 1.0 lies above B's first point: extrapolated
    QVERIFY(1.0 - (lines - 1) * step > 0.4 - step);
    QVERIFY(1.0 - lines * step <= 0.4 - step + 1e-9);
}

void tst_CsvExporter::gridLineLimit_data() {
    QTest::addColumn<Points>("points");
    QTest::addColumn<bool>("written");
    QTest::addColumn<qint64>("minLines");
    QTest::addColumn<qint64>("maxLines");

    // Half a step away from the boundary, so rounding cannot move a line across it.
    QTest::newRow("exactly the limit")
        << Points{{999.9985, 1.0}, {0.0, 2.0}} << true << qint64(1000000) << qint64(1000000);
    QTest::newRow("one line more") << Points{{999.9995, 1.0}, {0.0, 2.0}} << false << qint64(0) << qint64(0);
    QTest::newRow("endless fall") << Points{{1.0, 1.0}, {-kInf, 2.0}} << false << qint64(0) << qint64(0);
    QTest::newRow("endless start") << Points{{kInf, 1.0}, {0.0, 2.0}} << false << qint64(0) << qint64(0);
    QTest::newRow("NaN positions") << Points{{kNaN, 1.0}, {kNaN, 2.0}} << true << qint64(0) << qint64(0);
    // Far from zero a step is below the resolution of a double: subtracting it again and again would
    // never get anywhere; counted rows still reach the end.
    QTest::newRow("far from zero") << Points{{1e13, 1.0}, {1e13 - 1.0, 2.0}} << true << qint64(990)
                                   << qint64(1010);
}

void tst_CsvExporter::gridLineLimit() {
    QFETCH(Points, points);
    QFETCH(bool, written);
    QFETCH(qint64, minLines);
    QFETCH(qint64, maxLines);

    const Traces graphs({{QStringLiteral("T"), points}}, Imperial);
    MemoryFileSystem fileSystem;
    const QString path = QStringLiteral("/exports/limit.csv");
    const CsvExporter exporter(path, Imperial);
    QString error;
    QCOMPARE(exporter.exportAll(graphs.list, fileSystem, &error), written);
    if (!written) {
        QCOMPARE(fileSystem.writeCount, 0);
        QVERIFY(error.contains(QStringLiteral("1000000")));
        return;
    }
    const QByteArray text = fileSystem.files.value(path);
    const qint64 dataLines = text.count('\n') - 9;
    QVERIFY2(dataLines >= minLines && dataLines <= maxLines, qPrintable(QString::number(dataLines)));
}

void tst_CsvExporter::failedWriteKeepsOldFile() {
    MemoryFileSystem fileSystem;
    const QString path = QStringLiteral("/exports/old.csv");
    fileSystem.files.insert(path, "old content");
    fileSystem.failWritesTo(path, QStringLiteral("Disk full"));
    const Traces graphs({{QStringLiteral("T"), {{0.5, 1.0}, {0.4, 2.0}}}}, Imperial);
    const CsvExporter exporter(path, Imperial);
    for (bool all : {false, true}) {
        QString error;
        QTest::ignoreMessage(
            QtWarningMsg, "Failed to open CSV file for writing - filename: \"/exports/old.csv\" - error: [ "
                          "\"Disk full\" ]");
        QVERIFY(!(all ? exporter.exportAll(graphs.list, fileSystem, &error)
                      : exporter.exportTrace(*graphs.list.first(), fileSystem, &error)));
        QCOMPARE(error, QStringLiteral("Disk full"));
        QCOMPARE(fileSystem.files.value(path), QByteArray("old content"));
    }
}

QTEST_GUILESS_MAIN(tst_CsvExporter)
#include "tst_csvexporter.moc"
