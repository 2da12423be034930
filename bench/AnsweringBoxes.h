#pragma once

#include "core/IMessageBoxes.h"

// Message boxes for benchmarks: nothing is shown, every question gets the same answer (a benchmark
// cannot press a button, and the window asks to zero the press as soon as it is connected).
class AnsweringBoxes : public IMessageBoxes {
public:
    explicit AnsweringBoxes(QMessageBox::StandardButton answer)
        : m_answer(answer) {}

    void showWarning(const QString&, const QString&) override {}
    void showMessage(const QString&, const QString&) override {}
    void showOk(const QString&) override {}
    QMessageBox::StandardButton question(const QString&, const QString&, QMessageBox::StandardButtons,
                                         QMessageBox::StandardButton) override {
        return m_answer;
    }
    QMessageBox::StandardButton askOk(const QString&) override { return m_answer; }
    void endSessionQuestions() override {}

private:
    QMessageBox::StandardButton m_answer;
};
