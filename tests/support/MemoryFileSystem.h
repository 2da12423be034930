#pragma once

#include "core/IFileSystem.h"

#include <QMap>
#include <QSet>

// Files and directories held in memory. Paths are used as given (absolute, '/'-separated).
// One thread only (tests read files directly): where the autosave writes in the background, tests use the
// real disk (FileSystem, GatedFileSystem) instead.
class MemoryFileSystem : public IFileSystem {
public:
    bool writeFile(const QString& path, const QByteArray& bytes) override;
    bool fileExists(const QString& path) const override;
    bool dirExists(const QString& path) const override;
    QByteArray readFile(const QString& path) const override;
    QString absoluteDirPath(const QString& filePath) const override;
    QString lastWriteError() const override { return m_lastError; }

    // Makes writes to this path (or every write, with an empty path) fail with this reason.
    void failWritesTo(const QString& path, const QString& reason = QStringLiteral("No space left on device"));
    void addDirectory(const QString& path) { m_directories.insert(path); }

    QMap<QString, QByteArray> files;
    int writeCount = 0;

private:
    QSet<QString> m_directories;
    QMap<QString, QString> m_failingPaths;
    QString m_lastError;
};
