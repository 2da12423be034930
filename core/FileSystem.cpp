#include "core/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>

bool FileSystem::writeFile(const QString& path, const QByteArray& bytes) {
    setLastError(QString());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        setLastError(file.errorString());
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        setLastError(file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        setLastError(file.errorString());
        return false;
    }
    return true;
}

QString FileSystem::lastWriteError() const {
    const QMutexLocker locker(&m_mutex);
    return m_lastErrors.value(QThread::currentThreadId());
}

void FileSystem::setLastError(const QString& error) {
    const QMutexLocker locker(&m_mutex);
    if (error.isEmpty())
        m_lastErrors.remove(QThread::currentThreadId());
    else
        m_lastErrors.insert(QThread::currentThreadId(), error);
}

bool FileSystem::fileExists(const QString& path) const {
    return QFileInfo::exists(path);
}

bool FileSystem::dirExists(const QString& path) const {
    return QFileInfo(path).isDir();
}

QByteArray FileSystem::readFile(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString FileSystem::absoluteDirPath(const QString& filePath) const {
    return QFileInfo(filePath).absolutePath();
}
