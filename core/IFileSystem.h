#pragma once

#include <QByteArray>
#include <QString>

// The one seam for file access, so logic that reads and writes files runs in tests without a disk.
// writeFile and lastWriteError are also called on a worker thread (the autosave) while the UI thread
// uses the same object, so an implementation keeps them safe for that.
class IFileSystem {
public:
    virtual ~IFileSystem() = default;
    // Replaces the file's content atomically; false (and the old file untouched) when anything fails.
    virtual bool writeFile(const QString& path, const QByteArray& bytes) = 0;
    // True when a file or a directory exists at the path.
    virtual bool fileExists(const QString& path) const = 0;
    // True when the path names an existing directory.
    virtual bool dirExists(const QString& path) const = 0;
    // The whole file, or empty bytes when it cannot be opened.
    virtual QByteArray readFile(const QString& path) const = 0;
    // Absolute path of the directory holding the file; the file need not exist.
    virtual QString absoluteDirPath(const QString& filePath) const = 0;
    // Why the calling thread's last writeFile failed, for the user; empty after a success.
    virtual QString lastWriteError() const = 0;
};
