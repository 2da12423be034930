#pragma once

#include <QString>

// The seam for file dialogs, so the file commands run in tests with scripted answers.
class IFileDialog {
public:
    virtual ~IFileDialog() = default;
    // The path chosen for saving, or empty when the user cancelled.
    virtual QString getSaveFileName(const QString& caption, const QString& startPath, const QString& filter,
                                    QString* selectedFilter = nullptr) = 0;
    // The existing file chosen for opening, or empty when the user cancelled.
    virtual QString getOpenFileName(const QString& caption, const QString& startDirectory,
                                    const QString& filter) = 0;
};
