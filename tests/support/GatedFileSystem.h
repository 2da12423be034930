#pragma once

#include "core/FileSystem.h"

#include <QMutex>
#include <QWaitCondition>

// The real disk, with the writes to chosen files held at a gate until the test lets them through: shows
// what goes on while such a write is under way, how many run at once and on which thread. A write held
// for ten seconds goes through by itself (and counts as timed out), so a write on the test's own thread
// cannot hang the test.
class GatedFileSystem : public FileSystem {
public:
    // Writes to paths that contain the text are held; all others go straight through.
    explicit GatedFileSystem(QString heldPathPart);

    bool writeFile(const QString& path, const QByteArray& bytes) override;

    // Lets that many held writes through, now or when they come.
    void allow(int writes);
    // Held writes waiting at the gate now.
    int waiting() const;
    // Held writes that have ended (whether or not the disk took them).
    int ended() const;
    // The most held writes under way at the same time.
    int mostAtOnce() const;
    // Held writes made on the application's main thread.
    int onMainThread() const;
    int timedOut() const;

private:
    const QString m_heldPathPart;
    mutable QMutex m_mutex;
    QWaitCondition m_permitted;
    int m_permits = 0;
    int m_waiting = 0;
    int m_underWay = 0;
    int m_ended = 0;
    int m_mostAtOnce = 0;
    int m_onMainThread = 0;
    int m_timedOut = 0;
};
