#include "support/GatedFileSystem.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>

namespace {

constexpr int kLongestHoldMs = 10000;

} // namespace

GatedFileSystem::GatedFileSystem(QString heldPathPart)
    : m_heldPathPart(std::move(heldPathPart)) {}

bool GatedFileSystem::writeFile(const QString& path, const QByteArray& bytes) {
    if (!path.contains(m_heldPathPart))
        return FileSystem::writeFile(path, bytes);
    {
        QMutexLocker locker(&m_mutex);
        ++m_underWay;
        m_mostAtOnce = std::max(m_mostAtOnce, m_underWay);
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            ++m_onMainThread;
        ++m_waiting;
        const QDeadlineTimer deadline(kLongestHoldMs);
        while (m_permits == 0) {
            if (!m_permitted.wait(&m_mutex, deadline)) {
                ++m_timedOut;
                break;
            }
        }
        m_permits = std::max(m_permits - 1, 0);
        --m_waiting;
    }
    const bool written = FileSystem::writeFile(path, bytes);
    QMutexLocker locker(&m_mutex);
    --m_underWay;
    ++m_ended;
    return written;
}

void GatedFileSystem::allow(int writes) {
    QMutexLocker locker(&m_mutex);
    m_permits += writes;
    m_permitted.wakeAll();
}

int GatedFileSystem::waiting() const {
    QMutexLocker locker(&m_mutex);
    return m_waiting;
}

int GatedFileSystem::ended() const {
    QMutexLocker locker(&m_mutex);
    return m_ended;
}

int GatedFileSystem::mostAtOnce() const {
    QMutexLocker locker(&m_mutex);
    return m_mostAtOnce;
}

int GatedFileSystem::onMainThread() const {
    QMutexLocker locker(&m_mutex);
    return m_onMainThread;
}

int GatedFileSystem::timedOut() const {
    QMutexLocker locker(&m_mutex);
    return m_timedOut;
}
