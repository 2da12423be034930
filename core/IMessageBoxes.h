#pragma once

#include <QMessageBox>
#include <QString>

// The seam through which logic shows its modal message boxes, so a test can answer them.
class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    // A modal box with the warning icon, the text, the informative text and a single Ok button.
    // Returns when the user has closed it.
    virtual void showWarning(const QString& text, const QString& informativeText) = 0;
    // A modal box without an icon: the text, the informative text and a single Ok button.
    // Returns when the user has closed it.
    virtual void showMessage(const QString& text, const QString& informativeText) = 0;
    // The OkMsgBox: the text, "Press Ok to continue" and a single Ok button. Returns when closed.
    virtual void showOk(const QString& text) = 0;
    // A modal box with the warning icon, the text, the informative text and the buttons; returns the
    // button pressed (closing the box counts as its escape button).
    virtual QMessageBox::StandardButton question(const QString& text, const QString& informativeText,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton) = 0;
    // The OkMsgBox as a question asked on behalf of the press session. Returns Ok only when the user
    // pressed Ok; Esc, closing the window or endSessionQuestions() give Cancel.
    virtual QMessageBox::StandardButton askOk(const QString& text) = 0;
    // Ends every open askOk box without an answer (the session that asked has gone).
    virtual void endSessionQuestions() = 0;
};
