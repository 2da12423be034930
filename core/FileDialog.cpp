#include "core/FileDialog.h"

#include <QFileDialog>

FileDialog::FileDialog(QWidget* parent)
    : m_parent(parent) {}

QString FileDialog::getSaveFileName(const QString& caption, const QString& startPath, const QString& filter,
                                    QString* selectedFilter) {
    return QFileDialog::getSaveFileName(m_parent, caption, startPath, filter, selectedFilter);
}

QString FileDialog::getOpenFileName(const QString& caption, const QString& startDirectory,
                                    const QString& filter) {
    return QFileDialog::getOpenFileName(m_parent, caption, startDirectory, filter);
}
