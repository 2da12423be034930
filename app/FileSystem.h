#pragma once

#include "app/IFileSystem.h"

// IFileSystem on the real disk. Writes go through a save file (temporary file, then rename).
class FileSystem : public IFileSystem {
public:
    bool writeFile(const QString& path, const QByteArray& bytes) override;
    bool fileExists(const QString& path) const override;
    bool dirExists(const QString& path) const override;
    QByteArray readFile(const QString& path) const override;
    QString absoluteDirPath(const QString& filePath) const override;
    QString lastWriteError() const override { return m_lastError; }

private:
    QString m_lastError;
};
