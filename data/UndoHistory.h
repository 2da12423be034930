#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>

class GraphContainer;

// Whole-session undo for the active container: every recorded state is the container's compact session
// text in a numbered file of a private temporary directory. At most six states are kept. A state is
// told from the latest one by the container's state digest, so an edit costs one trace's serialisation.
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

signals:
    void stateChanged();

private:
    struct Snapshot {
        QString path;
        QByteArray digest;
    };

    QString writeSnapshot(const QByteArray& text, const QByteArray& digest);
    static void removeSnapshotFile(const Snapshot& snapshot, const char* logText);

    QPointer<GraphContainer> m_container;
    QTemporaryDir m_tempDir;
    quint32 m_snapshotCounter = 0;
    QList<Snapshot> m_snapshots;
};
