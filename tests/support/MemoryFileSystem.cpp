#include "support/MemoryFileSystem.h"

bool MemoryFileSystem::writeFile(const QString& path, const QByteArray& bytes) {
    ++writeCount;
    const auto failing = m_failingPaths.constFind(m_failingPaths.contains(path) ? path : QString());
    if (failing != m_failingPaths.constEnd()) {
        m_lastError = failing.value();
        return false;
    }
    m_lastError.clear();
    files.insert(path, bytes);
    return true;
}

bool MemoryFileSystem::fileExists(const QString& path) const {
    return files.contains(path) || dirExists(path);
}

bool MemoryFileSystem::dirExists(const QString& path) const {
    if (m_directories.contains(path))
        return true;
    const QString prefix = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        if (it.key().startsWith(prefix))
            return true;
    }
    return false;
}

QByteArray MemoryFileSystem::readFile(const QString& path) const {
    return files.value(path);
}

QString MemoryFileSystem::absoluteDirPath(const QString& filePath) const {
    const int slash = filePath.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0)
        return QStringLiteral("/");
    return filePath.left(slash);
}

void MemoryFileSystem::failWritesTo(const QString& path, const QString& reason) {
    m_failingPaths.insert(path, reason);
}
