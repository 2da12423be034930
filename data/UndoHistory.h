#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>

#include <future>

class GraphContainer;

// Whole-session undo for the active container: every recorded state is the container's compact session
// text in a numbered file of a private temporary directory. At most six states are kept. A state is
// told from the latest one by the container's state digest, so an edit costs one trace's serialisation.
// The text is built on the caller's thread; the file is written in the background, so an edit returns
// before a large session reaches the disk. Whatever reads or removes a file waits for its write first.
class UndoHistory : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxSnapshots = 6;

    UndoHistory(GraphContainer* container, QObject* parent = nullptr);
    ~UndoHistory() override;

    // Forgets every state and records the current one as the baseline.
    void reset();
    // Records the current state after an edit, unless it equals the latest recorded one.
    void recordSnapshot();
    // Returns the container to the previous recorded state; a snapshot that cannot be read or parsed
    // resets the history to the current state instead.
    void undo();
    bool canUndo() const { return m_snapshots.size() > 1; }

    // The files of the recorded states, oldest first.
    QStringList snapshotPaths() const;
    // Returns once every snapshot file has been written (or has failed to be).
    void waitForPendingWrites() const;

signals:
    void stateChanged();

private:
    struct Snapshot {
        QString path;
        QByteArray digest;
        // The background write: empty when the file was written, else why it was not.
        std::shared_future<QString> written;
    };

    QString writeSnapshot(const QList<QByteArray>& pieces, const QByteArray& digest);
    // Waits for the snapshot's write; true when its file is complete (a failure is logged).
    static bool waitForWrite(const Snapshot& snapshot);
    static void removeSnapshotFile(const Snapshot& snapshot, const char* logText);

    QPointer<GraphContainer> m_container;
    QTemporaryDir m_tempDir;
    quint32 m_snapshotCounter = 0;
    QList<Snapshot> m_snapshots;
};
