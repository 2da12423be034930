#include "app/MessageBoxes.h"

#include "maintenance/OkMsgBox.h"

#include <QMessageBox>

MessageBoxes::MessageBoxes(QWidget* parent)
    : m_parent(parent) {}

void MessageBoxes::showWarning(const QString& text, const QString& informativeText) {
    QMessageBox box(QMessageBox::Warning, QString(), text, QMessageBox::Ok, m_parent);
    box.setInformativeText(informativeText);
    box.exec();
}

void MessageBoxes::showMessage(const QString& text, const QString& informativeText) {
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, m_parent);
    box.setInformativeText(informativeText);
    box.exec();
}

void MessageBoxes::showOk(const QString& text) {
    OkMsgBox box(text);
    box.exec();
}
