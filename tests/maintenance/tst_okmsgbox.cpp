#include "maintenance/OkMsgBox.h"

#include <QAbstractButton>
#include <QTimer>
#include <QtTest>

class tst_OkMsgBox : public QObject {
    Q_OBJECT

private slots:
    void showsTextWithSingleOkButton();
    void execEndsWithOk();
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

QTEST_MAIN(tst_OkMsgBox)
#include "tst_okmsgbox.moc"
