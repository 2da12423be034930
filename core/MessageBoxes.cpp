#include "core/MessageBoxes.h"

#include "core/OkMsgBox.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

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

QMessageBox::StandardButton MessageBoxes::question(const QString& text, const QString& informativeText,
                                                   QMessageBox::StandardButtons buttons,
                                                   QMessageBox::StandardButton defaultButton) {
    QMessageBox box(QMessageBox::Warning, QString(), text, buttons, m_parent);
    box.setInformativeText(informativeText);
    box.setDefaultButton(defaultButton);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    return clicked ? box.standardButton(clicked) : QMessageBox::Cancel;
}

QMessageBox::StandardButton MessageBoxes::askOk(const QString& text) {
    OkMsgBox box(text);
    // With Ok as its only button, Esc and the window's close button would press Ok. A hidden Cancel
    // takes the escape role, so only a real press of Ok answers Ok.
    QAbstractButton* escape = box.addButton(QMessageBox::Cancel);
    escape->hide();
    box.setEscapeButton(escape);
    m_sessionQuestions.append(&box);
    box.exec();
    m_sessionQuestions.removeAll(&box);
    m_sessionQuestions.removeAll(nullptr);
    return box.clickedButton() == box.button(QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::Cancel;
}

void MessageBoxes::endSessionQuestions() {
    const auto open = m_sessionQuestions;
    for (const QPointer<QMessageBox>& box : open) {
        if (box)
            box->reject();
    }
}
