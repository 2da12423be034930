#pragma once

#include "core/IFileSystem.h"

#include <memory>
#include <QString>

struct Settings;

// Loads or saves "Settings.json" in one directory.
class SettingsStore {
public:
    SettingsStore(std::shared_ptr<IFileSystem> fileSystem, const QString& directory);

    QString filePath() const { return m_filePath; }
    // Overwrites the fields whose keys the file holds; a missing or broken file changes nothing.
    void load(Settings& settings) const;
    // Writes every key atomically; false when the file could not be written (the old file stays).
    bool save(const Settings& settings) const;

private:
    std::shared_ptr<IFileSystem> m_fileSystem;
    QString m_filePath;
};
