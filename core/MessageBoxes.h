#pragma once

#include "core/IMessageBoxes.h"

#include <QList>
#include <QPointer>
#include <QWidget>

// IMessageBoxes with real, modal Qt message boxes run with exec().
class MessageBoxes : public IMessageBoxes {
public:
    // Boxes are centred on the parent while it exists.
    explicit MessageBoxes(QWidget* parent = nullptr);

    void showWarning(const QString& text, const QString& informativeText) override;
    void showMessage(const QString& text, const QString& informativeText) override;
    void showOk(const QString& text) override;
    QMessageBox::StandardButton question(const QString& text, const QString& informativeText,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton defaultButton) override;
    QMessageBox::StandardButton askOk(const QString& text) override;
    void endSessionQuestions() override;

private:
    QPointer<QWidget> m_parent;
    QList<QPointer<QMessageBox>> m_sessionQuestions;
};
