#include "app/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

bool FileSystem::writeFile(const QString& path, const QByteArray& bytes) {
    m_lastError.clear();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_lastError = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        m_lastError = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        m_lastError = file.errorString();
        return false;
    }
    return true;
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
