#include "core/MessageBoxes.h"
#include "core/OkMsgBox.h"

#include <QAbstractButton>
#include <QTimer>
#include <QtTest>

class tst_OkMsgBox : public QObject {
    Q_OBJECT

private slots:
    void showsTextWithSingleOkButton();
    void execEndsWithOk();
    void askOkIsOkOnlyWhenOkIsPressed_data();
    void askOkIsOkOnlyWhenOkIsPressed();
};

void tst_OkMsgBox::showsTextWithSingleOkButton() {
    OkMsgBox box(QStringLiteral("X zero found"));
    QCOMPARE(box.text(), QStringLiteral("X zero found"));
    QCOMPARE(box.informativeText(), QStringLiteral("Press Ok to continue"));
    QCOMPARE(box.standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.buttons().size(), 1);
    QCOMPARE(box.parent(), nullptr);
}

void tst_OkMsgBox::execEndsWithOk() {
    OkMsgBox box(QStringLiteral("Please make sure the press is clear for zeroing"));
    QTimer::singleShot(0, &box, [&box] { box.button(QMessageBox::Ok)->click(); });
    QCOMPARE(box.exec(), int(QMessageBox::Ok));
}

void tst_OkMsgBox::askOkIsOkOnlyWhenOkIsPressed_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("answer");
    QTest::newRow("Ok pressed") << QStringLiteral("ok") << int(QMessageBox::Ok);
    QTest::newRow("Esc") << QStringLiteral("escape") << int(QMessageBox::Cancel);
    QTest::newRow("window closed") << QStringLiteral("close") << int(QMessageBox::Cancel);
    QTest::newRow("session gone") << QStringLiteral("end") << int(QMessageBox::Cancel);
}

// A question that starts the ram must not read a closed box as consent.
void tst_OkMsgBox::askOkIsOkOnlyWhenOkIsPressed() {
    QFETCH(QString, how);
    QFETCH(int, answer);
    MessageBoxes boxes;
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        seen = true;
        QCOMPARE(box->text(), QStringLiteral("Adjust height of Ram to suit loaded Die"));
        // Only Ok is visible to the user.
        int visible = 0;
        for (QAbstractButton* button : box->buttons())
            visible += button->isVisibleTo(box) ? 1 : 0;
        QCOMPARE(visible, 1);
        if (how == QStringLiteral("ok"))
            box->button(QMessageBox::Ok)->click();
        else if (how == QStringLiteral("escape"))
            QTest::keyClick(box, Qt::Key_Escape);
        else if (how == QStringLiteral("close"))
            box->close();
        else
            boxes.endSessionQuestions();
    });
    QCOMPARE(int(boxes.askOk(QStringLiteral("Adjust height of Ram to suit loaded Die"))), answer);
    QVERIFY(seen);
}

QTEST_MAIN(tst_OkMsgBox)
#include "tst_okmsgbox.moc"
