#pragma once

#include <QMessageBox>

// A message box that only informs: the text, "Press Ok to continue" and a single Ok button.
class OkMsgBox : public QMessageBox {
    Q_OBJECT
public:
    explicit OkMsgBox(const QString& text);
};
