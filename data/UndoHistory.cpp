#include "data/UndoHistory.h"

#include "data/GraphContainer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QtDebug>

#include <algorithm>
#include <chrono>

UndoHistory::UndoHistory(GraphContainer* container, QObject* parent)
    : QObject(parent)
    , m_container(container)
    , m_tempDir(QDir::tempPath() + QStringLiteral("/zel_press_undo_XXXXXX")) {
    if (!m_tempDir.isValid())
        qWarning() << "Failed to create undo temp directory.";
}

namespace {

// Runs on a worker thread: touches nothing but its own arguments and the file. The pieces come by
// value, moved along from std::async's stored copy, so they are released when the write ends rather
// than kept alive by the snapshot's future (which would hold removed traces' texts in memory).
QString writeSnapshotFile(QString path, QList<QByteArray> pieces) {
    // Snapshots live in a private temporary folder and die with the process, so they are written
    // plainly: syncing each one to disk (as an atomic save does) would cost more than building it.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return file.errorString();
    bool complete = true;
    for (const QByteArray& piece : pieces)
        complete = complete && file.write(piece) == piece.size();
    // The last bytes may still sit in the file's buffer: a full disk shows only when they go out.
    complete = complete && file.flush();
    if (!complete) {
        const QString error = file.errorString();
        file.close();
        QFile::remove(path);
        return error.isEmpty() ? QStringLiteral("short write") : error;
    }
    file.close();
    return QString();
}

} // namespace

UndoHistory::~UndoHistory() {
    for (const Snapshot& snapshot : std::as_const(m_snapshots))
        discardSnapshot(snapshot, "Deleted undo snapshot while clearing history:");
    m_snapshots.clear();
    waitForRemovals();
    // Their log lines are queued to this object: deliver them before it goes.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    // QTemporaryDir removes the directory with anything left in it.
}

QStringList UndoHistory::snapshotPaths() const {
    QStringList paths;
    for (const Snapshot& snapshot : m_snapshots)
        paths.append(snapshot.path);
    return paths;
}

void UndoHistory::waitForPendingWrites() const {
    for (const Snapshot& snapshot : m_snapshots) {
        if (snapshot.written.valid())
            snapshot.written.wait();
    }
    waitForRemovals();
}

void UndoHistory::waitForRemovals() const {
    for (const std::future<void>& removal : m_removals)
        removal.wait();
    m_removals.clear();
}

bool UndoHistory::settle(Snapshot& snapshot) {
    if (!snapshot.settled) {
        snapshot.settled = true;
        const QString error =
            snapshot.written.valid() ? snapshot.written.get() : QStringLiteral("not written");
        if (!error.isEmpty())
            qWarning() << "Failed to write undo snapshot:" << snapshot.path << error;
        else if (snapshot.recordedText)
            qDebug() << snapshot.recordedText << snapshot.path;
    }
    return snapshot.written.valid() && snapshot.written.get().isEmpty();
}

void UndoHistory::discardSnapshot(Snapshot snapshot, const char* logText) {
    // Removals already done are pruned, so the list stays as short as the work under way.
    m_removals.erase(std::remove_if(m_removals.begin(), m_removals.end(),
                                    [](const std::future<void>& removal) {
                                        return removal.wait_for(std::chrono::seconds(0)) ==
                                               std::future_status::ready;
                                    }),
                     m_removals.end());
    m_removals.push_back(std::async(std::launch::async, [this, snapshot, logText]() {
        // Never race the background write of the same file.
        if (snapshot.written.valid())
            snapshot.written.wait();
        const bool removed = !snapshot.path.isEmpty() && QFile::remove(snapshot.path);
        // The log belongs to the history's thread; the history waits for this removal before it goes.
        QMetaObject::invokeMethod(
            this,
            [snapshot, logText, removed]() mutable {
                // The write's outcome is logged before the removal.
                settle(snapshot);
                if (removed)
                    qDebug() << logText << snapshot.path;
            },
            Qt::QueuedConnection);
    }));
}

bool UndoHistory::dropFailedSnapshots() {
    bool dropped = false;
    for (qsizetype i = m_snapshots.size() - 1; i >= 0; --i) {
        if (settle(m_snapshots[i]))
            continue;
        // The worker has already removed whatever it wrote of the file.
        if (i == m_snapshots.size() - 1)
            m_currentUnrecorded = true;
        m_snapshots.removeAt(i);
        dropped = true;
    }
    return dropped;
}

void UndoHistory::onSnapshotWritten(const QString& path) {
    const auto found = std::find_if(m_snapshots.begin(), m_snapshots.end(),
                                    [&path](const Snapshot& snapshot) { return snapshot.path == path; });
    // Gone or already settled: whoever removed or waited for it has dealt with the outcome.
    if (found == m_snapshots.end() || found->settled)
        return;
    if (settle(*found))
        return;
    if (found == m_snapshots.end() - 1)
        m_currentUnrecorded = true;
    m_snapshots.erase(found);
    emit stateChanged();
}

QString UndoHistory::writeInBackground(UndoHistory* history, QString path, QList<QByteArray> pieces) {
    const QString error = writeSnapshotFile(path, std::move(pieces));
    // The history outlives this call: nothing removes an entry, and the history is not destroyed, before
    // waiting for the entry's write.
    QMetaObject::invokeMethod(
        history, [history, path]() { history->onSnapshotWritten(path); }, Qt::QueuedConnection);
    return error;
}

bool UndoHistory::writeSnapshot(const QList<QByteArray>& pieces, const QByteArray& digest,
                                const char* recordedText) {
    if (!m_tempDir.isValid())
        return false;
    const QString path = m_tempDir.filePath(QStringLiteral("snapshot_%1.json").arg(m_snapshotCounter));
    ++m_snapshotCounter;
    // The pieces share the traces' cached texts: the worker holds its own references until the write ends,
    // so the caller never copies the whole session (fresh memory for it costs more than the text).
    std::shared_future<QString> written =
        std::async(std::launch::async, &UndoHistory::writeInBackground, this, path, pieces).share();
    m_snapshots.append({path, digest, written, recordedText});
    return true;
}

void UndoHistory::reset() {
    for (const Snapshot& snapshot : std::as_const(m_snapshots))
        discardSnapshot(snapshot, "Deleted undo snapshot while clearing history:");
    m_snapshots.clear();
    m_currentUnrecorded = false;
    if (m_container) {
        const QList<QByteArray> pieces = m_container->toJsonPieces();
        const QByteArray digest = m_container->stateDigest();
        writeSnapshot(pieces, digest, "Recorded undo baseline snapshot after reset:");
    }
    emit stateChanged();
}

void UndoHistory::recordSnapshot() {
    if (m_snapshots.isEmpty())
        reset();
    if (!m_container || m_snapshots.isEmpty())
        return;
    const QList<QByteArray> pieces = m_container->toJsonPieces();
    const QByteArray digest = m_container->stateDigest();
    if (digest == m_snapshots.last().digest) {
        qDebug() << "Skipped undo snapshot: current state matches the latest recorded snapshot.";
        // Back at the latest recorded state after its successor failed: that state is the current one.
        if (m_currentUnrecorded) {
            m_currentUnrecorded = false;
            emit stateChanged();
        }
        return;
    }
    if (writeSnapshot(pieces, digest, "Recorded undo snapshot after edit:"))
        m_currentUnrecorded = false;
    while (m_snapshots.size() > kMaxSnapshots)
        discardSnapshot(m_snapshots.takeFirst(),
                        "Discarded oldest undo snapshot because the undo queue reached its limit:");
    emit stateChanged();
}

void UndoHistory::undo() {
    if (!m_container)
        return;
    // Outcomes not reported yet are taken now, so the step taken is one whose file is complete.
    const bool dropped = dropFailedSnapshots();
    if (!canUndo()) {
        if (dropped)
            emit stateChanged();
        return;
    }
    if (!m_currentUnrecorded)
        discardSnapshot(m_snapshots.takeLast(), "Discarded current undo snapshot while undoing:");
    m_currentUnrecorded = false;
    const QString path = m_snapshots.last().path;
    qDebug() << "Applying undo snapshot:" << path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "Failed to open undo snapshot while undoing, resetting history:" << path;
        reset();
        return;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError) {
        qWarning().nospace() << "Failed to parse undo snapshot while undoing, resetting history: " << path
                             << " (" << error.errorString() << ")";
        reset();
        return;
    }
    if (!document.isObject()) {
        qWarning() << "Undo snapshot is not a JSON object while undoing, resetting history:" << path;
        reset();
        return;
    }
    m_container->restoreFromJson(document.object());
    emit stateChanged();
}
