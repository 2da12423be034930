#include "core/OkMsgBox.h"

OkMsgBox::OkMsgBox(const QString& text) {
    setText(text);
    setInformativeText(tr("Press Ok to continue"));
    setStandardButtons(QMessageBox::Ok);
}
