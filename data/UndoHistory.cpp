#include "data/UndoHistory.h"

#include "data/GraphContainer.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QtDebug>

UndoHistory::UndoHistory(GraphContainer* container, QObject* parent)
    : QObject(parent)
    , m_container(container)
    , m_tempDir(QDir::tempPath() + QStringLiteral("/zel_press_undo_XXXXXX")) {
    if (!m_tempDir.isValid())
        qWarning() << "Failed to create undo temp directory.";
}

namespace {

// Runs on a worker thread: touches nothing but its own arguments and the file. The pieces come by
// value: std::async moves its stored copy into them, so they are released when the write ends rather
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
        removeSnapshotFile(snapshot, "Deleted undo snapshot while clearing history:");
    m_snapshots.clear();
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
}

bool UndoHistory::waitForWrite(const Snapshot& snapshot) {
    if (!snapshot.written.valid())
        return false;
    const QString error = snapshot.written.get();
    if (error.isEmpty())
        return true;
    qWarning() << "Failed to write undo snapshot:" << snapshot.path << error;
    return false;
}

void UndoHistory::removeSnapshotFile(const Snapshot& snapshot, const char* logText) {
    // Never race the background write of the same file.
    if (snapshot.written.valid())
        snapshot.written.wait();
    if (!snapshot.path.isEmpty() && QFile::remove(snapshot.path))
        qDebug() << logText << snapshot.path;
}

QString UndoHistory::writeSnapshot(const QList<QByteArray>& pieces, const QByteArray& digest) {
    if (!m_tempDir.isValid())
        return QString();
    const QString path = m_tempDir.filePath(QStringLiteral("snapshot_%1.json").arg(m_snapshotCounter));
    ++m_snapshotCounter;
    // The pieces share the traces' cached texts: the worker holds its own references until the write ends,
    // so the caller never copies the whole session (fresh memory for it costs more than the text).
    std::shared_future<QString> written =
        std::async(std::launch::async, writeSnapshotFile, path, pieces).share();
    m_snapshots.append({path, digest, written});
    return path;
}

void UndoHistory::reset() {
    for (const Snapshot& snapshot : std::as_const(m_snapshots))
        removeSnapshotFile(snapshot, "Deleted undo snapshot while clearing history:");
    m_snapshots.clear();
    if (m_container) {
        const QList<QByteArray> pieces = m_container->toJsonPieces();
        const QByteArray digest = m_container->stateDigest();
        const QString path = writeSnapshot(pieces, digest);
        if (!path.isEmpty())
            qDebug() << "Recorded undo baseline snapshot after reset:" << path;
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
        return;
    }
    const QString path = writeSnapshot(pieces, digest);
    if (!path.isEmpty())
        qDebug() << "Recorded undo snapshot after edit:" << path;
    while (m_snapshots.size() > kMaxSnapshots)
        removeSnapshotFile(m_snapshots.takeFirst(),
                           "Discarded oldest undo snapshot because the undo queue reached its limit:");
    emit stateChanged();
}

void UndoHistory::undo() {
    if (m_snapshots.size() <= 1 || !m_container)
        return;
    removeSnapshotFile(m_snapshots.takeLast(), "Discarded current undo snapshot while undoing:");
    const QString path = m_snapshots.last().path;
    qDebug() << "Applying undo snapshot:" << path;
    const bool complete = waitForWrite(m_snapshots.last());
    QFile file(path);
    if (!complete || !file.open(QIODevice::ReadOnly)) {
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
