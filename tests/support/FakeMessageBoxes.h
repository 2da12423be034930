#pragma once

#include "core/IMessageBoxes.h"

#include <functional>
#include <QList>

// Records every box instead of showing it; a test may run code "while the box is open".
class FakeMessageBoxes : public IMessageBoxes {
public:
    struct Box {
        enum Kind { Warning, Ok, Message, Question, AskOk } kind;
        QString text;
        QString informativeText;
    };

    void showWarning(const QString& text, const QString& informativeText) override {
        boxes.append({Box::Warning, text, informativeText});
        if (whileOpen)
            whileOpen();
    }
    void showMessage(const QString& text, const QString& informativeText) override {
        boxes.append({Box::Message, text, informativeText});
        if (whileOpen)
            whileOpen();
    }
    void showOk(const QString& text) override {
        boxes.append({Box::Ok, text, QString()});
        if (whileOpen)
            whileOpen();
    }

    QMessageBox::StandardButton question(const QString& text, const QString& informativeText,
                                         QMessageBox::StandardButtons, QMessageBox::StandardButton) override {
        boxes.append({Box::Question, text, informativeText});
        if (whileOpen)
            whileOpen();
        return questionAnswer;
    }
    QMessageBox::StandardButton askOk(const QString& text) override {
        boxes.append({Box::AskOk, text, QString()});
        if (whileOpen)
            whileOpen();
        return askOkAnswer;
    }
    void endSessionQuestions() override { ++sessionQuestionsEnded; }

    QList<Box> boxes;
    // What question() and askOk() answer.
    QMessageBox::StandardButton questionAnswer = QMessageBox::Ok;
    QMessageBox::StandardButton askOkAnswer = QMessageBox::Ok;
    int sessionQuestionsEnded = 0;
    // Runs inside each box, as the nested event loop of a real modal box would.
    std::function<void()> whileOpen;
};
