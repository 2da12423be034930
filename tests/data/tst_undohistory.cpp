#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/ToleranceLimits.h"
#include "data/UndoHistory.h"
#include "support/MemoryFileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

class tst_UndoHistory : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void baselineIsTheCompactSessionText();
    void undoRestoresToleranceLimits();
    void unchangedStateRecordsNothing();
    void keepsAtMostSixStates();
    void undoRestoresPreviousState();
    void resetDiscardsOldSnapshots();
    void recordWithoutBaselineTakesOneFirst();
    void brokenSnapshotResetsHistory_data();
    void brokenSnapshotResetsHistory();
    void destructionRemovesTheDirectory();
    void undoRightAfterEditsWaitsForTheirWrites();
    void lostSnapshotFolderKeepsTheCurrentState();
    void failedWriteDropsOnlyItsStep_data();
    void failedWriteDropsOnlyItsStep();

private:
    GraphContainer* m_container = nullptr;
    UndoHistory* m_history = nullptr;
};

void tst_UndoHistory::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

void tst_UndoHistory::init() {
    m_container = new GraphContainer(std::make_shared<MemoryFileSystem>(), true, nullptr);
    m_container->addGraphFromPress({{0.5, 1.0}, {0.4, 2.0}}, true);
    m_history = new UndoHistory(m_container, nullptr);
}

void tst_UndoHistory::cleanup() {
    delete m_history;
    delete m_container;
}

void tst_UndoHistory::baselineIsTheCompactSessionText() {
    QSignalSpy changed(m_history, &UndoHistory::stateChanged);
    m_history->reset();
    QCOMPARE(changed.count(), 1);
    QVERIFY(!m_history->canUndo());
    const QStringList paths = m_history->snapshotPaths();
    QCOMPARE(paths.size(), 1);
    QCOMPARE(QFileInfo(paths.first()).fileName(), QStringLiteral("snapshot_0.json"));
    QVERIFY(QFileInfo(paths.first()).absolutePath().contains(QStringLiteral("zel_press_undo_")));
    m_history->waitForPendingWrites();
    QFile file(paths.first());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), m_container->toJsonBytes());

    // Once written, the snapshot keeps no reference to the traces' texts: a removed trace's text is
    // freed with it rather than held in memory by the history.
    QByteArray text = m_container->graphs().first()->toJsonBytes();
    m_container->clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(text.isDetached());
}

// Limits are an edit like any other: recorded, and undone back to what they were.
void tst_UndoHistory::undoRestoresToleranceLimits() {
    const ToleranceLimits first = *ToleranceLimits::withBand(PeakForce, 40.0, 2.0, Imperial);
    m_container->setLimits(first);
    m_history->reset();
    m_container->setLimits(*ToleranceLimits::withLimits(PeakForce, 35.0, std::nullopt, Imperial));
    m_history->recordSnapshot();
    QVERIFY(m_history->canUndo());
    m_history->undo();
    QCOMPARE(m_container->limits(), first);
    QVERIFY(!m_history->canUndo());
}

void tst_UndoHistory::unchangedStateRecordsNothing() {
    m_history->reset();
    QSignalSpy changed(m_history, &UndoHistory::stateChanged);
    Graph* graph = m_container->graphs().first();
    graph->setName(QStringLiteral("renamed"));
    m_history->recordSnapshot();
    graph->setName(QStringLiteral("renamed"));
    m_history->recordSnapshot();
    // Decorations are not part of the session.
    graph->setGradientColor(Qt::green);
    m_history->recordSnapshot();
    QCOMPARE(m_history->snapshotPaths().size(), 2);
    QCOMPARE(changed.count(), 1);
    QVERIFY(m_history->canUndo());
}

void tst_UndoHistory::keepsAtMostSixStates() {
    m_history->reset();
    Graph* graph = m_container->graphs().first();
    QStringList recorded = m_history->snapshotPaths();
    for (int edit = 1; edit <= 7; ++edit) {
        graph->setVelocity(edit);
        m_history->recordSnapshot();
        recorded.append(m_history->snapshotPaths().last());
    }
    QCOMPARE(m_history->snapshotPaths(), recorded.mid(2));
    m_history->waitForPendingWrites(); // discarded files go in the background
    QVERIFY(!QFile::exists(recorded.at(0)));
    QVERIFY(!QFile::exists(recorded.at(1)));
    QCOMPARE(QFileInfo(recorded.last()).fileName(), QStringLiteral("snapshot_7.json"));

    int undos = 0;
    while (m_history->canUndo()) {
        m_history->undo();
        ++undos;
    }
    QCOMPARE(undos, 5);
    QCOMPARE(m_container->graphs().first()->velocity(), 2.0);
}

void tst_UndoHistory::undoRestoresPreviousState() {
    m_container->setFileName(QStringLiteral("/s/a.SDT"));
    m_history->reset();
    const QByteArray baseline = m_container->toJsonBytes();
    m_container->setUnsaved(false);
    m_container->graphs().first()->setName(QStringLiteral("edited"));
    m_history->recordSnapshot();
    const QString editFile = m_history->snapshotPaths().last();
    QSignalSpy changed(m_history, &UndoHistory::stateChanged);
    QSignalSpy added(m_container, &GraphContainer::graphAddedFromFile);

    m_history->undo();
    QCOMPARE(m_container->toJsonBytes(), baseline);
    QCOMPARE(m_container->graphs().first()->name(), QStringLiteral("Trace 1"));
    QVERIFY(m_container->unsaved());
    QCOMPARE(m_container->fileName(), QStringLiteral("/s/a.SDT"));
    QCOMPARE(added.count(), 1);
    m_history->waitForPendingWrites();
    QVERIFY(!QFile::exists(editFile));
    QVERIFY(!m_history->canUndo());
    QCOMPARE(changed.count(), 1);

    // The restored state matches the latest snapshot, so recording it again is skipped.
    m_history->recordSnapshot();
    QCOMPARE(m_history->snapshotPaths().size(), 1);
    m_history->undo(); // nothing left to undo
    QCOMPARE(changed.count(), 1);
}

void tst_UndoHistory::resetDiscardsOldSnapshots() {
    m_history->reset();
    m_container->graphs().first()->setComment(QStringLiteral("x"));
    m_history->recordSnapshot();
    const QStringList old = m_history->snapshotPaths();
    m_container->addGraphFromPress({{0.3, 4.0}}, true);
    m_history->reset();
    m_history->waitForPendingWrites();
    for (const QString& path : old)
        QVERIFY(!QFile::exists(path));
    QCOMPARE(m_history->snapshotPaths().size(), 1);
    QVERIFY(!m_history->canUndo());
    QFile file(m_history->snapshotPaths().first());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), m_container->toJsonBytes()); // the baseline holds the new trace
}

void tst_UndoHistory::recordWithoutBaselineTakesOneFirst() {
    m_history->recordSnapshot();
    QCOMPARE(m_history->snapshotPaths().size(), 1);
    QVERIFY(!m_history->canUndo());
}

void tst_UndoHistory::brokenSnapshotResetsHistory_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("warning");
    QTest::newRow("deleted") << QByteArray() << QStringLiteral("Failed to open undo snapshot");
    QTest::newRow("corrupt") << QByteArray("{\"Graphs\": [")
                             << QStringLiteral("Failed to parse undo snapshot");
    QTest::newRow("not an object") << QByteArray("[]")
                                   << QStringLiteral("Undo snapshot is not a JSON object");
}

void tst_UndoHistory::brokenSnapshotResetsHistory() {
    QFETCH(QByteArray, content);
    QFETCH(QString, warning);
    m_history->reset();
    const QString previous = m_history->snapshotPaths().first();
    m_container->graphs().first()->setName(QStringLiteral("kept"));
    m_history->recordSnapshot();
    m_history->waitForPendingWrites();
    if (content.isEmpty()) {
        QVERIFY(QFile::remove(previous));
    } else {
        QFile file(previous);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    const QByteArray current = m_container->toJsonBytes();

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(warning)));
    m_history->undo();
    QCOMPARE(m_container->toJsonBytes(), current);
    QCOMPARE(m_container->graphs().first()->name(), QStringLiteral("kept"));
    QVERIFY(!m_history->canUndo());
    QCOMPARE(m_history->snapshotPaths().size(), 1);
}

void tst_UndoHistory::destructionRemovesTheDirectory() {
    m_history->reset();
    const QString directory = QFileInfo(m_history->snapshotPaths().first()).absolutePath();
    QVERIFY(QFileInfo(directory).isDir());
    delete m_history;
    m_history = nullptr;
    QVERIFY(!QFileInfo::exists(directory));
}

// Snapshot files are written in the background: an undo straight after a burst of edits must still read
// each complete state, never a file that is half written or not there yet.
void tst_UndoHistory::undoRightAfterEditsWaitsForTheirWrites() {
    m_history->reset();
    Graph* graph = m_container->graphs().first();
    const QString original = graph->name();
    for (int i = 1; i <= UndoHistory::kMaxSnapshots - 1; ++i) {
        graph->setName(QStringLiteral("edit %1").arg(i));
        m_history->recordSnapshot();
    }
    for (int i = UndoHistory::kMaxSnapshots - 2; i >= 1; --i) {
        m_history->undo();
        QCOMPARE(m_container->graphs().first()->name(), QStringLiteral("edit %1").arg(i));
    }
    m_history->undo();
    QCOMPARE(m_container->graphs().first()->name(), original);
    QVERIFY(!m_history->canUndo());
}

void tst_UndoHistory::lostSnapshotFolderKeepsTheCurrentState() {
    m_history->reset();
    m_history->waitForPendingWrites();
    const QString folder = QFileInfo(m_history->snapshotPaths().first()).absolutePath();
    QVERIFY(QDir(folder).removeRecursively());
    m_container->graphs().first()->setName(QStringLiteral("after the folder went"));
    m_history->recordSnapshot();
    QVERIFY(m_history->canUndo());
    m_history->undo();
    // Nothing to go back to: the session stays as the user left it and the history starts again.
    QCOMPARE(m_container->graphs().first()->name(), QStringLiteral("after the folder went"));
    QVERIFY(!m_history->canUndo());
}

namespace {

// Every log line while it lives, each with whether the snapshot file it names was complete on disk (as
// long as the state it records) at the moment it was logged.
class SnapshotLog {
public:
    explicit SnapshotLog(qsizetype completeSize)
        : m_completeSize(completeSize) {
        s_current = this;
        m_previous = qInstallMessageHandler(&SnapshotLog::handle);
    }
    ~SnapshotLog() {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }

    struct Line {
        QtMsgType type;
        QString text;
        bool fileComplete;
    };
    QList<Line> lines;

    QList<Line> linesNaming(const QString& path) const {
        QList<Line> found;
        for (const Line& line : lines) {
            if (line.text.contains(path))
                found.append(line);
        }
        return found;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext&, const QString& text) {
        const QRegularExpressionMatch named =
            QRegularExpression(QStringLiteral("\"([^\"]+\\.json)\"")).match(text);
        const bool complete =
            named.hasMatch() && QFileInfo(named.captured(1)).size() == s_current->m_completeSize;
        s_current->lines.append({type, text, complete});
    }

    static inline SnapshotLog* s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    qsizetype m_completeSize;
};

} // namespace

void tst_UndoHistory::failedWriteDropsOnlyItsStep_data() {
    QTest::addColumn<int>("failingEdit");
    QTest::addColumn<QStringList>("afterEachUndo");
    // Three edits name the trace "edit 1" to "edit 3"; one of their snapshot files cannot be written.
    QTest::newRow("the latest edit") << 3 << QStringList{"edit 2", "edit 1", "Trace 1"};
    QTest::newRow("an earlier edit") << 2 << QStringList{"edit 1", "Trace 1"};
}

// The disk fails one snapshot (full, or the folder gone): the history drops that step as soon as its
// write ends, says which file, and still offers every step it can take; only written snapshots are
// reported as recorded.
void tst_UndoHistory::failedWriteDropsOnlyItsStep() {
    QFETCH(int, failingEdit);
    QFETCH(QStringList, afterEachUndo);
    Graph* graph = m_container->graphs().first();
    // The names have the same length, so every state's file has the same size.
    const qsizetype stateSize = m_container->toJsonBytes().size();
    SnapshotLog log(stateSize);
    m_history->reset();
    const QString folder = QFileInfo(m_history->snapshotPaths().first()).absolutePath();
    // Snapshot files are numbered in order; a folder standing where one should go makes its write fail
    // (whoever runs the test, unlike a folder without write permission).
    const QString failing = QDir(folder).filePath(QStringLiteral("snapshot_%1.json").arg(failingEdit));
    QVERIFY(QDir().mkpath(failing));
    QSignalSpy changed(m_history, &UndoHistory::stateChanged);
    for (int edit = 1; edit <= 3; ++edit) {
        graph->setName(QStringLiteral("edit %1").arg(edit).leftJustified(7));
        m_history->recordSnapshot();
    }
    QCOMPARE(changed.count(), 3);

    QTRY_COMPARE_WITH_TIMEOUT(m_history->snapshotPaths().size(), 3, 10000);
    QVERIFY(!m_history->snapshotPaths().contains(failing));
    QCOMPARE(changed.count(), 4);
    const QList<SnapshotLog::Line> aboutFailing = log.linesNaming(failing);
    QCOMPARE(aboutFailing.size(), 1);
    QCOMPARE(aboutFailing.first().type, QtWarningMsg);
    // The two good edits are reported as recorded once written (maybe only now), each complete on disk
    // when it was reported.
    const auto recorded = [&log]() {
        QList<SnapshotLog::Line> found;
        for (const SnapshotLog::Line& line : std::as_const(log.lines)) {
            if (line.text.startsWith(QStringLiteral("Recorded undo snapshot after edit:")))
                found.append(line);
        }
        return found;
    };
    QTRY_COMPARE_WITH_TIMEOUT(recorded().size(), 2, 10000);
    for (const SnapshotLog::Line& line : recorded())
        QVERIFY2(line.fileComplete, qPrintable(line.text));

    for (const QString& expected : std::as_const(afterEachUndo)) {
        QVERIFY(m_history->canUndo());
        m_history->undo();
        QCOMPARE(m_container->graphs().first()->name().trimmed(), expected);
    }
    QVERIFY(!m_history->canUndo());
}

QTEST_GUILESS_MAIN(tst_UndoHistory)
#include "tst_undohistory.moc"
