#include "data/AutosaveWriter.h"

#include "core/IFileSystem.h"
#include "core/Logging.h"
#include "data/GraphContainer.h"
#include "data/JsonIndenter.h"

#include <QFileInfo>
#include <QSignalBlocker>
#include <QtDebug>

#include <algorithm>

AutosaveWriter::AutosaveWriter(GraphContainer* container, QObject* parent)
    : QObject(parent)
    , m_container(container) {}

AutosaveWriter::~AutosaveWriter() {
    // Whoever listens may be half destroyed by now (the window owning this); the writes still complete.
    const QSignalBlocker blocker(this);
    waitForPendingWrites();
}

void AutosaveWriter::save(const QDateTime& sessionStartTime) {
    if (!m_container)
        return;
    Job job;
    job.path = GraphContainer::autosavePath(sessionStartTime);
    // Usually one look at an existing folder; done here so that its log lines come from this thread.
    job.folderMissing = !Logging::ensureDirectory(QFileInfo(job.path).absolutePath());
    if (!job.folderMissing)
        qDebug() << "Autosaving session to:" << job.path;
    job.pieces = m_container->toJsonPieces();
    job.fileSystem = m_container->fileSystem();
    if (!isWriting()) {
        start(std::move(job));
        return;
    }
    // The latest state of a file replaces the one waiting for it: it holds every stroke the older one did.
    const auto same = std::find_if(m_waiting.begin(), m_waiting.end(),
                                   [&job](const Job& waiting) { return waiting.path == job.path; });
    if (same != m_waiting.end())
        *same = std::move(job);
    else
        m_waiting.append(std::move(job));
}

void AutosaveWriter::start(Job job) {
    ++m_ticket;
    m_writingPath = job.path;
    m_writingFolderMissing = job.folderMissing;
    m_writing = std::async(std::launch::async, &AutosaveWriter::write, this, m_ticket, std::move(job));
}

QString AutosaveWriter::write(AutosaveWriter* writer, quint64 ticket, Job job) {
    QString error;
    if (job.folderMissing) {
        error = QStringLiteral("cannot create the folder");
    } else {
        const QByteArray text = JsonIndenter::indent(job.pieces);
        // The traces' texts are not needed any more; removed traces' memory goes back now.
        job.pieces.clear();
        if (!job.fileSystem->writeFile(job.path, text)) {
            error = job.fileSystem->lastWriteError();
            if (error.isEmpty())
                error = QStringLiteral("unknown error");
        }
    }
    // The writer outlives this call: it waits for every write before it goes.
    QMetaObject::invokeMethod(
        writer, [writer, ticket]() { writer->onWritten(ticket); }, Qt::QueuedConnection);
    return error;
}

void AutosaveWriter::onWritten(quint64 ticket) {
    // An outcome already taken by waitForPendingWrites has nothing left to report.
    if (m_writing.valid() && ticket == m_ticket)
        complete();
}

void AutosaveWriter::complete() {
    const QString error = m_writing.get();
    const QString path = m_writingPath;
    const bool folderMissing = m_writingFolderMissing;
    if (!m_waiting.isEmpty())
        start(m_waiting.takeFirst());
    if (folderMissing)
        qWarning() << "Autosave failed: cannot create the folder of" << path;
    else if (!error.isEmpty())
        qWarning() << "Autosave to" << path << "failed:" << error;
    emit finished(path, error.isEmpty());
}

void AutosaveWriter::waitForPendingWrites() {
    while (m_writing.valid()) {
        m_writing.wait();
        complete();
    }
}
