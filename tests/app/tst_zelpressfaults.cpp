// The main window on the emulated press in the situations a user met and should not have: a port opened
// while the window closed, a result box over a live progress dialog with the commands already back, the
// cursor read-out hiding the connection state, Go left off after the autorun wizard.
#include "support/FakeMessageBoxes.h"
#include "WindowBench.h"

#include "app/ZelPress.h"
#include "chart/GraphChart.h"
#include "chart/GraphView.h"
#include "data/GraphContainer.h"
#include "link/EmulatedPort.h"
#include "maintenance/ProgressDialog.h"
#include "session/Session.h"

#include <QApplication>
#include <QLabel>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>

#include <memory>

class tst_ZelPressFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void closingTheWindowOpensNoOtherPort();
    void resultBoxOpensAfterTheProgressDialogAndBeforeTheCommands();
    void cursorReadOutKeepsTheStatusItems();
};

void tst_ZelPressFaults::closingTheWindowOpensNoOtherPort() {
    // Two FTDI ports: the press answers on the first; a search started by the closing would open the
    // second and write to it.
    auto opened = std::make_shared<QStringList>();
    auto closing = std::make_shared<bool>(false);
    auto openedWhileClosing = std::make_shared<int>(0);
    Bench bench(std::make_shared<FileSystem>(), [=](const QString& name, QObject* parent) -> IPort* {
        opened->append(name);
        if (*closing)
            ++*openedWhileClosing;
        return new EmulatedPort(name, parent, 10);
    });
    bench.window->autoConnection()->setPortLister([] {
        return QList<PortCandidate>{{"ttyUSB0", "FT232R USB UART", "FTDI"},
                                    {"ttyUSB1", "FT232R USB UART", "FTDI"}};
    });
    QTRY_VERIFY_WITH_TIMEOUT(bench.session() && bench.session()->isInitialized(), kStrokeMs);
    QCOMPARE(*opened, QStringList{QStringLiteral("ttyUSB0")});

    *closing = true;
    bench.window.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCOMPARE(*openedWhileClosing, 0);
}

void tst_ZelPressFaults::resultBoxOpensAfterTheProgressDialogAndBeforeTheCommands() {
    Bench bench;
    QAction* go = action(*bench.window, "goAction");
    bool progressShownUnderBox = false;
    bool goEnabledUnderBox = false;
    int resultBoxes = 0;
    bench.boxes->whileOpen = [&] {
        if (bench.boxes->boxes.last().text != QStringLiteral("X zero found"))
            return;
        ++resultBoxes;
        const auto dialogs = bench.window->findChildren<ProgressDialog*>();
        for (const ProgressDialog* dialog : dialogs)
            progressShownUnderBox = progressShownUnderBox || dialog->isVisible();
        goEnabledUnderBox = go->isEnabled();
    };
    QVERIFY(bench.readyForStrokes());
    QTRY_COMPARE(resultBoxes, 1);
    QVERIFY2(!progressShownUnderBox, "the progress dialog was still on screen under the result box");
    QVERIFY2(!goEnabledUnderBox, "Go came back before the result box was answered");
    QVERIFY(go->isEnabled());
}

void tst_ZelPressFaults::cursorReadOutKeepsTheStatusItems() {
    // No press: nothing modal (zeroing) stands between the pointer and the chart.
    Bench bench;
    bench.window->autoConnection()->setPortLister([] { return QList<PortCandidate>{}; });
    bench.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(bench.window.get()));
    auto* connection = bench.window->findChild<QLabel*>(QStringLiteral("connectionStatusLabel"));
    auto* readOut = bench.window->findChild<QLabel*>(QStringLiteral("cursorValueLabel"));
    QVERIFY(connection && readOut);
    QVERIFY(connection->isVisible());

    bench.window->activeContainer()->addGraphFromPress({{0.3, 0.0}, {0.2, 5.0}, {0.1, 20.0}}, true);
    GraphView* view = bench.window->graphView();
    QTRY_VERIFY(view->chart()->plotArea().width() > 50);
    const QPoint plotCentre =
        view->mapFromScene(view->chart()->mapToScene(view->chart()->plotArea().center()));
    QTest::mouseMove(view->viewport(), plotCentre + QPoint(1, 1));
    QTRY_VERIFY2(readOut->text().startsWith(QStringLiteral("Pos: ")), qPrintable(readOut->text()));
    QVERIFY2(connection->isVisible(), "the read-out hid the connection state");
    QCOMPARE(bench.window->statusBar()->currentMessage(), QString());

    // The pointer leaves the chart from inside the plot (quickly, onto the button beside it): the
    // read-out goes with it.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view, &leave);
    QCOMPARE(readOut->text(), QString());
}

QTEST_MAIN(tst_ZelPressFaults)
#include "tst_zelpressfaults.moc"
