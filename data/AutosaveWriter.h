#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <future>
#include <memory>

class GraphContainer;
class IFileSystem;

// Writes the automatic copy of the container (GraphContainer::autosavePath) in the background, so the end
// of a stroke never waits for the disk. The state is taken when asked, as pieces that share the traces'
// cached texts; a worker turns them into the indented session text (the same bytes as a session file of
// that state) and replaces the file atomically through the container's file system, so the file always
// holds one complete state. One write at a time: a state asked for while a write is under way is written
// after it, and of several such for the same file only the latest.
class AutosaveWriter : public QObject {
    Q_OBJECT
public:
    explicit AutosaveWriter(GraphContainer* container, QObject* parent = nullptr);
    // Finishes every write asked for (without emitting finished), so nothing asked for is lost.
    ~AutosaveWriter() override;

    // Takes the container's state now and writes it for the press session started at that time.
    void save(const QDateTime& sessionStartTime);
    // Returns once every state asked for has been written or has failed, their finished emitted.
    void waitForPendingWrites();
    bool isWriting() const { return m_writing.valid(); }

signals:
    // On the owner's thread after each write: the file and whether it now holds the state asked for
    // (a failure is logged too).
    void finished(const QString& path, bool written);

private:
    struct Job {
        QString path;
        QList<QByteArray> pieces;
        std::shared_ptr<IFileSystem> fileSystem;
        bool folderMissing = false;
    };

    void start(Job job);
    // Runs on the worker: returns why the file was not written, or an empty text.
    static QString write(AutosaveWriter* writer, quint64 ticket, Job job);
    // On the owner's thread when the worker is done with the write of that ticket.
    void onWritten(quint64 ticket);
    // Takes the finished write's outcome, starts the next waiting one and reports.
    void complete();

    QPointer<GraphContainer> m_container;
    std::future<QString> m_writing;
    QString m_writingPath;
    bool m_writingFolderMissing = false;
    quint64 m_ticket = 0;
    // At most one a file, in the order first asked for.
    QList<Job> m_waiting;
};
