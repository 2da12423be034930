// Session file speed: open and save of a large session, an undo snapshot after one edit against a cold
// serialisation, and setPoints with its measurements. Prints one line per figure; see docs/performance.md.
#include "bench/BenchSupport.h"
#include "core/FileSystem.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/UndoHistory.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

using bench::makeStroke;
using bench::medianSeconds;

constexpr int kTraces = 500;
constexpr int kPoints = bench::kStrokePoints;

double pythonLoadSeconds(const QString& path) {
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import json, sys, time\n"
                                 "best = []\n"
                                 "for _ in range(5):\n"
                                 "    t = time.perf_counter(); json.load(open(sys.argv[1])); "
                                 "best.append(time.perf_counter() - t)\n"
                                 "print(sorted(best)[2])"),
                  path});
    if (!python.waitForFinished(120000) || python.exitCode() != 0)
        return -1.0;
    return python.readAllStandardOutput().trimmed().toDouble();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("bench.SDT"));
    auto fileSystem = std::make_shared<FileSystem>();
    QRandomGenerator random(42);

    GraphContainer session(fileSystem, true, nullptr);
    for (int i = 0; i < kTraces; ++i)
        session.addGraphFromPress(makeStroke(random), true);

    const double saveSeconds = medianSeconds(5, [&] { session.writeToFile(path); });
    const double megabytes = static_cast<double>(QFileInfo(path).size()) / 1e6;
    const double openSeconds = medianSeconds(5, [&] {
        GraphContainer opened(fileSystem, true, nullptr);
        opened.loadFromFile(path);
    });
    const double python = pythonLoadSeconds(path);
    std::printf("session file: %d traces x %d points, %.1f MB\n", kTraces, kPoints, megabytes);
    std::printf("save: %.3f s, %.1f MB/s\n", saveSeconds, megabytes / saveSeconds);
    std::printf("open: %.3f s, %.1f MB/s\n", openSeconds, megabytes / openSeconds);
    if (python > 0)
        std::printf("python3 json.load: %.3f s, %.1f MB/s; open takes %.2fx its time\n", python,
                    megabytes / python, openSeconds / python);

    // Cold: every trace serialised afresh, as right after loading; only the serialisation is timed.
    std::vector<double> coldTimes;
    for (int i = 0; i < 5; ++i) {
        GraphContainer opened(fileSystem, true, nullptr);
        opened.loadFromFile(path);
        coldTimes.push_back(medianSeconds(1, [&] { opened.toJsonBytes(); }));
    }
    std::sort(coldTimes.begin(), coldTimes.end());
    const double cold = coldTimes.at(coldTimes.size() / 2);

    UndoHistory history(&session, nullptr);
    history.reset();
    int edit = 0;
    const double snapshotSeconds = medianSeconds(7, [&] {
        session.graphs().at(250)->setName(QStringLiteral("edit %1").arg(++edit));
        history.recordSnapshot();
    });
    history.waitForPendingWrites();
    // Edit to idle: the call returns to the user; the snapshot file reaches the disk afterwards.
    const double settledSeconds = medianSeconds(7, [&] {
        session.graphs().at(250)->setName(QStringLiteral("edit %1").arg(++edit));
        history.recordSnapshot();
        history.waitForPendingWrites();
    });
    std::printf("cold compact serialisation: %.3f s\n", cold);
    std::printf(
        "undo snapshot written in the background: edit returns after %.4f s, file on disk after %.4f s\n",
        snapshotSeconds, settledSeconds);
    std::printf("undo snapshot after one edit: %.4f s = %.3f of cold (limit 0.1)\n", snapshotSeconds,
                snapshotSeconds / cold);

    // Where a snapshot's time goes: assembling the text, hashing it, writing it.
    const double assembleSeconds = medianSeconds(7, [&] {
        session.graphs().at(250)->setName(QStringLiteral("edit %1").arg(++edit));
        session.toJsonBytes();
    });
    const QByteArray snapshotText = session.toJsonBytes();
    const double hashSeconds =
        medianSeconds(7, [&] { QCryptographicHash::hash(snapshotText, QCryptographicHash::Sha256); });
    const double writeSeconds = medianSeconds(
        7, [&] { fileSystem->writeFile(directory.filePath(QStringLiteral("snapshot.json")), snapshotText); });
    std::printf("  of which: text %.4f s (%.1f MB), SHA-256 %.4f s, atomic write %.4f s\n", assembleSeconds,
                static_cast<double>(snapshotText.size()) / 1e6, hashSeconds, writeSeconds);

    const QList<QPointF> stroke = makeStroke(random);
    Graph graph;
    constexpr int kRepetitions = 2000;
    const double setPointsSeconds = medianSeconds(5, [&] {
        for (int i = 0; i < kRepetitions; ++i)
            graph.setPoints(stroke, (i & 1) != 0);
    });
    std::printf("setPoints with measurements, %d points: %.1f us\n", kPoints,
                setPointsSeconds / kRepetitions * 1e6);
    return snapshotSeconds <= cold * 0.1 ? 0 : 1;
}
