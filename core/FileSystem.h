#pragma once

#include "core/IFileSystem.h"

#include <QHash>
#include <QMutex>

// IFileSystem on the real disk. Writes go through a save file (temporary file, then rename). Each thread
// has its own last write error, so a background write never overwrites the UI thread's.
class FileSystem : public IFileSystem {
public:
    bool writeFile(const QString& path, const QByteArray& bytes) override;
    bool fileExists(const QString& path) const override;
    bool dirExists(const QString& path) const override;
    QByteArray readFile(const QString& path) const override;
    QString absoluteDirPath(const QString& filePath) const override;
    QString lastWriteError() const override;

private:
    void setLastError(const QString& error);

    mutable QMutex m_mutex;
    // By thread; only failures are kept.
    QHash<Qt::HANDLE, QString> m_lastErrors;
};
