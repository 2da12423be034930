#pragma once

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
};
