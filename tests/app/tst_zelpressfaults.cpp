// The main window on the emulated press in the situations a user met and should not have: a port opened
// while the window closed, a result box over a live progress dialog with the commands already back, the
// cursor read-out hiding the connection state, Go left off after the autorun wizard.
#include "support/FakeMessageBoxes.h"
#include "WindowBench.h"

#include "app/ZelPress.h"
#include "chart/GraphChart.h"
#include "chart/GraphModel.h"
#include "chart/GraphView.h"
#include "chart/SessionModel.h"
#include "data/GraphContainer.h"
#include "dialogs/AdvancedDlg.h"
#include "dialogs/AutorunWizard.h"
#include "dialogs/DialogBootload.h"
#include "dialogs/ProgressDialog.h"
#include "link/EmulatedPort.h"
#include "session/Session.h"
#include "support/DieEmulatedPort.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

class tst_ZelPressFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void closingTheWindowOpensNoOtherPort();
    void resultBoxOpensAfterTheProgressDialogAndBeforeTheCommands();
    void cursorReadOutKeepsTheStatusItems();
    void goComesBackAfterAFailedAutorunSetUpLateInASession();
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

void tst_ZelPressFaults::goComesBackAfterAFailedAutorunSetUpLateInASession() {
    // The session a user had when Go stayed grey after the autorun wizard: strokes, a comparison file,
    // a velocity typed in, the force limit applied, an upgrade started and closed, one more stroke,
    // then Autorun ticked and its set-up failing (no die placed for Configure Weight).
    QPointer<DieEmulatedPort> press;
    Bench bench(std::make_shared<FileSystem>(), [&press](const QString& name, QObject* parent) -> IPort* {
        press = new DieEmulatedPort(name, parent, 10);
        return press.data();
    });
    QVERIFY(bench.readyForStrokes());
    QAction* go = action(*bench.window, "goAction");
    GraphContainer* active = bench.window->activeContainer();
    for (int stroke = 1; stroke <= 5; ++stroke) {
        QTRY_VERIFY_WITH_TIMEOUT(go->isEnabled(), kStrokeMs);
        go->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(int(active->graphs().size()), stroke, kStrokeMs);
    }
    QTemporaryDir folder;
    const QString compared = folder.filePath(QStringLiteral("earlier.SDT"));
    QVERIFY(active->writeToFile(compared));
    bench.dialog->openPath = compared;
    action(*bench.window, "loadCompareAction")->trigger();
    QCOMPARE(int(bench.window->graphModel()->compareContainers().size()), 1);
    SessionModel* legend = bench.window->graphModel()->sessionModel();
    QVERIFY(
        legend->setData(legend->index(0, SessionModel::Velocity, legend->index(0, 0)), 2710, Qt::EditRole));

    // Advanced: the force limit applied, then an upgrade started and closed again.
    bench.boxes->questionAnswer = QMessageBox::Yes;
    int advancedStep = 0;
    QTimer driver;
    connect(&driver, &QTimer::timeout, this, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* upgrade = qobject_cast<DialogBootload*>(modal)) {
            upgrade->reject();
        } else if (auto* advanced = qobject_cast<AdvancedDlg*>(modal)) {
            if (advancedStep == 0) {
                advanced->findChild<QDoubleSpinBox*>(QStringLiteral("maxWeightSpinBox"))->setValue(90.0);
                const auto boxes = advanced->findChildren<QDialogButtonBox*>();
                for (QDialogButtonBox* box : boxes) {
                    if (QPushButton* apply = box->button(QDialogButtonBox::Apply))
                        apply->click();
                }
                advancedStep = 1;
            } else if (advancedStep == 1) {
                advancedStep = 2;
                // Clicked from the event loop: the upgrade dialog's own loop must not run inside this
                // timer's slot, or the timer could not fire again to close it.
                QTimer::singleShot(0, advanced->findChild<QPushButton*>(QStringLiteral("firmwareUpgradeBtn")),
                                   &QPushButton::click);
            } else {
                advanced->reject();
            }
        }
    });
    driver.start(20);
    action(*bench.window, "advancedAction")->trigger();
    driver.stop();
    QCOMPARE(advancedStep, 2);
    QVERIFY(bench.window->findChildren<DialogBootload*>().isEmpty());

    // One more stroke, as far as the press allows it now.
    QTRY_VERIFY_WITH_TIMEOUT(go->isEnabled() || action(*bench.window, "findXZeroAction")->isEnabled(),
                             kStrokeMs);
    if (!go->isEnabled()) {
        action(*bench.window, "findXZeroAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(go->isEnabled(), kStrokeMs);
    }
    go->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(int(active->graphs().size()), 6, kStrokeMs);
    QTRY_VERIFY_WITH_TIMEOUT(go->isEnabled(), kStrokeMs);

    // Autorun ticked; Zero and Configure Weight with the press empty: the check fails; Finish.
    int wizardStep = 0;
    QTimer wizardDriver;
    connect(&wizardDriver, &QTimer::timeout, this, [&] {
        auto* wizard = bench.window->findChild<AutorunWizard*>();
        if (!wizard || !wizard->isVisible())
            return;
        const auto progress = bench.window->findChildren<ProgressDialog*>();
        for (const ProgressDialog* dialog : progress) {
            if (dialog->isVisible())
                return;
        }
        if (wizardStep == 0 && wizard->currentId() == wizard->zeroPageId()) {
            wizard->findChild<QPushButton*>(QStringLiteral("zeroPushButton"))->click();
            wizardStep = 1;
        } else if (wizardStep == 1 && wizard->currentId() == wizard->configureThresholdPageId()) {
            wizard->findChild<QPushButton*>(QStringLiteral("configureThresholdButton"))->click();
            wizardStep = 2;
        } else if (wizardStep == 2 && wizard->currentId() == wizard->resultPageId()) {
            wizard->button(QWizard::FinishButton)->click();
            wizardStep = 3;
        }
    });
    wizardDriver.start(20);
    auto* autorunBox = bench.window->findChild<QCheckBox*>(QStringLiteral("autoRunCheckBox"));
    autorunBox->setChecked(true);
    wizardDriver.stop();
    QCOMPARE(wizardStep, 3);
    QVERIFY(!autorunBox->isChecked());
    QVERIFY(!bench.session()->hasAutorun());
    QTRY_VERIFY_WITH_TIMEOUT(go->isEnabled(), 5000);
}

QTEST_MAIN(tst_ZelPressFaults)
#include "tst_zelpressfaults.moc"
