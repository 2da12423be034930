#pragma once

#include "core/IFileDialog.h"

#include <QPointer>
#include <QWidget>

// IFileDialog with the platform's native modal file dialogs.
class FileDialog : public IFileDialog {
public:
    // Dialogs are modal to the parent while it exists.
    explicit FileDialog(QWidget* parent = nullptr);

    QString getSaveFileName(const QString& caption, const QString& startPath, const QString& filter,
                            QString* selectedFilter = nullptr) override;
    QString getOpenFileName(const QString& caption, const QString& startDirectory,
                            const QString& filter) override;

private:
    QPointer<QWidget> m_parent;
};
