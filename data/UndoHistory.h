#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>

#include <future>
#include <vector>

class GraphContainer;

// Whole-session undo for the active container: every recorded state is the container's compact session
// text in a numbered file of a private temporary directory. At most six states are kept. A state is
// told from the latest one by the container's state digest, so an edit costs one trace's serialisation.
// The text is built on the caller's thread; the file is written in the background, so an edit returns
// before a large session reaches the disk. Whatever reads a file waits for its write first; a discarded
// file is removed in the background once its write has ended (unlinking a large file the disk is still
// writing back costs milliseconds the window does not have at the end of a stroke).
// A state whose file could not be written is dropped as soon as its write ends (with a warning naming the
// file and stateChanged), so the history never offers a step it cannot take.
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
    // True when there is an earlier recorded state to return to (or, when the current state's own
    // snapshot failed, a recorded state at all).
    bool canUndo() const { return m_snapshots.size() > (m_currentUnrecorded ? 0 : 1); }

    // The files of the recorded states, oldest first; a state still being written is included.
    QStringList snapshotPaths() const;
    // Returns once every snapshot file has been written (or has failed to be) and every discarded one
    // removed. A failed one is dropped, and the removals logged, once control is back in the event loop.
    void waitForPendingWrites() const;

signals:
    void stateChanged();

private:
    struct Snapshot {
        QString path;
        QByteArray digest;
        // The background write: empty when the file was written, else why it was not.
        std::shared_future<QString> written;
        // Logged once the file is complete.
        const char* recordedText = nullptr;
        // The write's outcome has been logged (and a failed entry dropped).
        bool settled = false;
    };

    // Starts the background write of a new entry; false when there is no folder to write it to.
    bool writeSnapshot(const QList<QByteArray>& pieces, const QByteArray& digest, const char* recordedText);
    // Runs on the worker: writes the file, then tells the history on its own thread.
    static QString writeInBackground(UndoHistory* history, QString path, QList<QByteArray> pieces);
    // On the UI thread when a background write has ended.
    void onSnapshotWritten(const QString& path);
    // Waits for the snapshot's write and logs its outcome once; true when its file is complete.
    static bool settle(Snapshot& snapshot);
    // Settles every entry and drops those whose file failed; true when any was dropped.
    bool dropFailedSnapshots();
    // Removes the entry's file on a worker once its write has ended; logged on this thread afterwards.
    void discardSnapshot(Snapshot snapshot, const char* logText);
    // Waits for every removal under way.
    void waitForRemovals() const;

    QPointer<GraphContainer> m_container;
    QTemporaryDir m_tempDir;
    quint32 m_snapshotCounter = 0;
    QList<Snapshot> m_snapshots;
    // Removals of discarded files under way (or done and not yet pruned).
    mutable std::vector<std::future<void>> m_removals;
    // The latest entry's write failed and was dropped: the current state has no file of its own, so the
    // last entry is the state before it rather than the current one.
    bool m_currentUnrecorded = false;
};
