// Every text of the main window and of each dialog is whole: the window at its own starting size and on a
// 1366 x 768 laptop screen, each dialog at the size it opens with, at the usual font and at a larger one.
#include "support/FakeMessageBoxes.h"
#include "support/FakePort.h"
#include "support/TextFit.h"
#include "WindowBench.h"

#include "app/StatisticsPanel.h"
#include "chart/GraphModel.h"
#include "core/FileSystem.h"
#include "core/Logging.h"
#include "core/OkMsgBox.h"
#include "core/Settings.h"
#include "data/AutosaveWriter.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "dialogs/AdvancedDlg.h"
#include "dialogs/AutorunWizard.h"
#include "dialogs/DialogBootload.h"
#include "dialogs/ProgressDialog.h"
#include "dialogs/TraceSetupDlg.h"
#include "link/Protocol.h"
#include "maintenance/FirmwareReaderFile.h"
#include "session/Autorun.h"
#include "session/Session.h"
#include "session/Timer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <memory>
#include <utility>

namespace {

// The statistics table's column titles are container names, elided where the columns are narrow (whole in
// their tooltips); its values are held whole by the panel's own tests.
const QStringList kSkipped{QStringLiteral("statisticsTableHeader")};

// Shows the window, lets it lay out and lists its clipped texts, one a line.
QString clippedIn(QWidget* window, const QString& name) {
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return name + QStringLiteral(": never shown");
    QCoreApplication::processEvents();
    return TextFit(kSkipped).clippedTexts(window, name).join(QLatin1Char('\n'));
}

QByteArray samples(int count, int value) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += "$R,165," + QByteArray::number(value) + ",12\n";
    return bytes;
}

// The application's font made larger for the object's life, as on a desktop set to larger text.
class ScaledFont {
public:
    explicit ScaledFont(double scale)
        : m_saved(QApplication::font()) {
        QFont larger = m_saved;
        larger.setPointSizeF(m_saved.pointSizeF() * scale);
        QApplication::setFont(larger);
    }
    ~ScaledFont() { QApplication::setFont(m_saved); }
    ScaledFont(const ScaledFont&) = delete;
    ScaledFont& operator=(const ScaledFont&) = delete;

private:
    QFont m_saved;
};

// Adds the row twice, with the "fontScale" column first: at the usual font and at one half as large again.
template <typename AddValues> void addRowsAtTwoFontSizes(const QString& name, AddValues addValues) {
    for (const auto& [suffix, scale] : {std::pair{"", 1.0}, std::pair{", large font", 1.5}})
        addValues(QTest::newRow(qPrintable(name + QLatin1String(suffix))) << scale);
}

QString rowName() {
    return QString::fromLatin1(QTest::currentDataTag());
}

// A session on a fake press that reported firmware 2.22 (too old for the jam detection time).
struct FakePress {
    FakePress() {
        port = new FakePort;
        protocol.setPort(port);
        session.init();
        port->feed("$VER,2.22\n");
    }
    Protocol protocol;
    FakePort* port = nullptr;
    Settings settings;
    FakeMessageBoxes boxes;
    Session session{&protocol, &settings, &boxes};
};

} // namespace

class tst_TextFit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void findsEachKindOfClippedText_data();
    void findsEachKindOfClippedText();
    void mainWindow_data();
    void mainWindow();
    void advancedDialog_data();
    void advancedDialog();
    void traceSetupDialog_data();
    void traceSetupDialog();
    void progressDialog_data() { fontSizes_data(); }
    void progressDialog();
    void firmwareUpgradeDialog_data() { fontSizes_data(); }
    void firmwareUpgradeDialog();
    void okMessageBox_data();
    void okMessageBox();
    void autorunWizard_data();
    void autorunWizard();

private:
    void fontSizes_data();
};

void tst_TextFit::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

void tst_TextFit::init() {
    // The window starts from the default settings (legend columns, units) in every case.
    QFile::remove(Logging::logDirectory() + QStringLiteral("/Settings.json"));
}

// The check itself: each kind of widget it measures, squeezed, is reported; given room, it is not.
void tst_TextFit::findsEachKindOfClippedText_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("squeezed");
    for (const char* kind :
         {"label", "wrapped label", "label cut off by its parent", "tool button", "push button", "check box",
          "tab", "header section", "header past the view's edge", "elided label"}) {
        QTest::addRow("%s, squeezed", kind) << QString::fromLatin1(kind) << true;
        QTest::addRow("%s, with room", kind) << QString::fromLatin1(kind) << false;
    }
}

void tst_TextFit::findsEachKindOfClippedText() {
    QFETCH(QString, kind);
    QFETCH(bool, squeezed);
    const QString text = QStringLiteral("Terminal Force Renumber Plots");
    QStandardItemModel model(1, 2);
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    QWidget* subject = nullptr;
    if (kind == QLatin1String("label") || kind == QLatin1String("elided label")) {
        auto* label = new QLabel(text, &window);
        if (kind == QLatin1String("elided label"))
            label->setText(squeezed ? QStringLiteral("Terminal Fo\u2026")
                                    : QStringLiteral("Zeroing Press ..."));
        else if (squeezed)
            label->setFixedWidth(label->sizeHint().width() - 8);
        subject = label;
    } else if (kind == QLatin1String("wrapped label")) {
        auto* label = new QLabel(text + QLatin1Char(' ') + text, &window);
        label->setWordWrap(true);
        label->setFixedWidth(label->fontMetrics().horizontalAdvance(text) / 2);
        // One line less than it needs at that width.
        const int needed = label->heightForWidth(label->width());
        label->setFixedHeight(squeezed ? needed - label->fontMetrics().height() : needed);
        subject = label;
    } else if (kind == QLatin1String("label cut off by its parent")) {
        auto* holder = new QWidget(&window);
        auto* label = new QLabel(text, holder);
        label->resize(label->sizeHint());
        holder->setFixedSize(label->sizeHint() - QSize(squeezed ? 10 : 0, 0));
        subject = holder;
    } else if (kind == QLatin1String("tool button")) {
        auto* button = new QToolButton(&window);
        button->setText(text);
        button->setFixedWidth(button->sizeHint().width() - (squeezed ? 12 : 0));
        subject = button;
    } else if (kind == QLatin1String("push button")) {
        auto* button = new QPushButton(text, &window);
        button->setFixedWidth(button->sizeHint().width() - (squeezed ? 12 : 0));
        subject = button;
    } else if (kind == QLatin1String("check box")) {
        auto* box = new QCheckBox(text, &window);
        box->setFixedWidth(box->sizeHint().width() - (squeezed ? 12 : 0));
        subject = box;
    } else if (kind == QLatin1String("tab")) {
        auto* tabs = new QTabWidget(&window);
        for (const char* title : {"Settings", "Diagnostics", "Firmware Upgrade"})
            tabs->addTab(new QWidget, QString::fromLatin1(title));
        tabs->setFixedWidth(squeezed ? 200 : tabs->tabBar()->sizeHint().width() + 20);
        subject = tabs;
    } else {
        auto* tree = new QTreeView(&window);
        model.setHorizontalHeaderLabels({text, QString()});
        tree->setModel(&model);
        tree->header()->setStretchLastSection(false);
        if (kind == QLatin1String("header section")) {
            tree->header()->resizeSection(0, tree->header()->sectionSizeHint(0) - (squeezed ? 10 : 0));
        } else {
            // Wider than the view: whole, but only if the view scrolls to the rest.
            tree->header()->resizeSection(0, 2000);
            tree->setHorizontalScrollBarPolicy(squeezed ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
        }
        subject = tree;
    }
    layout->addWidget(subject);
    layout->addStretch();
    const QString clipped = clippedIn(&window, QStringLiteral("bench"));
    if (squeezed)
        QVERIFY2(clipped.startsWith(QStringLiteral("bench: ")), qPrintable(kind + QStringLiteral(" passed")));
    else
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped));
}

void tst_TextFit::mainWindow_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("everyColumn");
    QTest::addColumn<bool>("statistics");
    for (const QSize size : {QSize(947, 698), QSize(1366, 768)}) {
        QTest::addRow("%d x %d", size.width(), size.height()) << size << false << false;
        QTest::addRow("%d x %d, every legend column", size.width(), size.height()) << size << true << false;
        QTest::addRow("%d x %d, statistics in front", size.width(), size.height()) << size << false << true;
    }
}

// Connected to the emulated press, three traces in the active session and one comparison file.
void tst_TextFit::mainWindow() {
    QFETCH(QSize, size);
    QFETCH(bool, everyColumn);
    QFETCH(bool, statistics);
    Bench bench;
    bench.window->resize(size);
    bench.window->show();
    QTRY_VERIFY_WITH_TIMEOUT(bench.session() && bench.session()->isZeroWeightCalibrated(), kStrokeMs);
    QTRY_VERIFY_WITH_TIMEOUT(!bench.window->findChild<ProgressDialog*>(), kStrokeMs);

    GraphContainer* active = bench.window->activeContainer();
    for (double peak : {101.25, 98.5, 103.75})
        active->addGraphFromPress({{0.3, 0.0}, {0.2, peak / 2}, {0.1, peak}}, true);
    active->graphs().first()->setName(QStringLiteral("Once-fired brass, 0.3 grains more"));
    QTemporaryDir folder;
    const QString compared = folder.filePath(QStringLiteral("Batch of last week.SDT"));
    QVERIFY(active->writeToFile(compared));
    bench.dialog->openPath = compared;
    action(*bench.window, "loadCompareAction")->trigger();
    QCOMPARE(bench.window->graphModel()->compareContainers().size(), 1);
    if (everyColumn) {
        for (const char* column : {"titleColumnAction", "workDoneColumnAction", "peakForceColumnAction",
                                   "terminalForceColumnAction", "startingPositionColumnAction",
                                   "velocityColumnAction", "flyerColumnAction"}) {
            if (!action(*bench.window, column)->isChecked())
                action(*bench.window, column)->trigger();
        }
    }
    if (statistics) {
        bench.window->findChild<QTabWidget*>(QStringLiteral("sidePanelTabs"))
            ->setCurrentWidget(bench.window->statisticsPanel());
    }
    QCOMPARE(bench.window->size(), size);
    const QString clipped = clippedIn(bench.window.get(), QStringLiteral("main window %1 x %2%3%4")
                                                              .arg(size.width())
                                                              .arg(size.height())
                                                              .arg(everyColumn ? ", every column" : "")
                                                              .arg(statistics ? ", statistics" : ""));
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped));
    bench.window->autosaveWriter()->waitForPendingWrites();
}

void tst_TextFit::advancedDialog_data() {
    QTest::addColumn<double>("fontScale");
    QTest::addColumn<int>("tab");
    QTest::addColumn<bool>("bluetooth");
    const struct {
        const char* name;
        AdvancedDlg::Tab tab;
    } tabs[] = {{"Settings", AdvancedDlg::SettingsTab},
                {"Diagnostics", AdvancedDlg::DiagnosticsTab},
                {"Firmware Upgrade", AdvancedDlg::FirmwareUpgradeTab}};
    for (const auto& tab : tabs) {
        for (const bool bluetooth : {false, true}) {
            addRowsAtTwoFontSizes(QLatin1String(tab.name) +
                                      (bluetooth ? QStringLiteral(", Bluetooth") : QStringLiteral(", USB")),
                                  [&](QTestData& row) { row << int(tab.tab) << bluetooth; });
        }
    }
}

void tst_TextFit::advancedDialog() {
    QFETCH(double, fontScale);
    QFETCH(int, tab);
    QFETCH(bool, bluetooth);
    const ScaledFont font(fontScale);
    FakePress press;
    AdvancedDlg dialog(&press.settings, &press.session, bluetooth, AdvancedDlg::Tab(tab), nullptr,
                       &press.boxes);
    press.port->feed(samples(1, 33417));
    const QString clipped = clippedIn(&dialog, QStringLiteral("Advanced, ") + rowName());
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped));
}

void tst_TextFit::traceSetupDialog_data() {
    QTest::addColumn<double>("fontScale");
    QTest::addColumn<QColor>("color");
    addRowsAtTwoFontSizes(QStringLiteral("default colour"),
                          [](QTestData& row) { row << Graph::defaultColor(); });
    addRowsAtTwoFontSizes(QStringLiteral("own colour"), [](QTestData& row) { row << QColor(Qt::darkGreen); });
}

void tst_TextFit::traceSetupDialog() {
    QFETCH(double, fontScale);
    QFETCH(QColor, color);
    const ScaledFont font(fontScale);
    GraphModel model;
    auto* container = new GraphContainer(std::make_shared<FileSystem>(), true, &model);
    Graph* graph = container->addGraphFromPress({{0.3, 0.0}, {0.1, 100.0}}, true);
    graph->setColor(color);
    TraceSetupDlg dialog(graph);
    const QString clipped = clippedIn(&dialog, QStringLiteral("Setup Trace, ") + rowName());
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped));
}

void tst_TextFit::fontSizes_data() {
    QTest::addColumn<double>("fontScale");
    addRowsAtTwoFontSizes(QStringLiteral("usual font"), [](QTestData&) {});
}

void tst_TextFit::progressDialog() {
    QFETCH(double, fontScale);
    const ScaledFont font(fontScale);
    FakePress press;
    ProgressDialog* dialog = ProgressDialog::runSessionCommand(&press.session, &Session::calibrateZeroWeight,
                                                               QStringLiteral("Zeroing Press ..."), nullptr);
    QVERIFY(dialog);
    QString clipped = clippedIn(dialog, QStringLiteral("progress, busy, ") + rowName());
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped));
    press.port->feed(samples(30, 33000));
    QCoreApplication::processEvents();
    clipped = clippedIn(dialog, QStringLiteral("progress, part way, ") + rowName());
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped));
    press.port->feed(samples(20, 33000));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Waiting for the bootloader, then failed (the link lost), which replaces the warning.
void tst_TextFit::firmwareUpgradeDialog() {
    QFETCH(double, fontScale);
    const ScaledFont font(fontScale);
    FakePress press;
    FirmwareReaderFile reader(QStringLiteral(":/update.bin"));
    DialogBootload dialog(&reader, &press.protocol, nullptr, &press.boxes, DialogBootload::Ticks::Manual);
    QCOMPARE(dialog.stage(), DialogBootload::WaitingForBootloader);
    QString clipped = clippedIn(&dialog, QStringLiteral("Updating Firmware, under way, ") + rowName());
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped));
    press.port->closeFromDevice();
    QCOMPARE(dialog.stage(), DialogBootload::Failed);
    clipped = clippedIn(&dialog, QStringLiteral("Updating Firmware, failed, ") + rowName());
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped));
}

void tst_TextFit::okMessageBox_data() {
    QTest::addColumn<double>("fontScale");
    QTest::addColumn<QString>("text");
    for (const QString& text : {kZeroQuestion, kRamQuestion, QStringLiteral("X zero found")})
        addRowsAtTwoFontSizes(text, [&](QTestData& row) { row << text; });
}

void tst_TextFit::okMessageBox() {
    QFETCH(double, fontScale);
    QFETCH(QString, text);
    const ScaledFont font(fontScale);
    OkMsgBox box(text);
    const QString clipped = clippedIn(&box, QStringLiteral("Ok box, ") + rowName());
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped));
}

void tst_TextFit::autorunWizard_data() {
    QTest::addColumn<double>("fontScale");
    QTest::addColumn<bool>("passes");
    addRowsAtTwoFontSizes(QStringLiteral("complete"), [](QTestData& row) { row << true; });
    addRowsAtTwoFontSizes(QStringLiteral("failed"), [](QTestData& row) { row << false; });
}

// Each page on the way to the result, then the result.
void tst_TextFit::autorunWizard() {
    QFETCH(double, fontScale);
    QFETCH(bool, passes);
    const ScaledFont font(fontScale);
    FakePress press;
    auto* autorun = new Autorun(&press.session, std::make_unique<Timer>(), &press.settings, &press.session);
    AutorunWizard wizard(autorun);
    QString clipped = clippedIn(&wizard, QStringLiteral("Autorun Setup, zeroing, ") + rowName());
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped));
    wizard.findChild<QPushButton*>(QStringLiteral("zeroPushButton"))->click();
    press.port->feed(samples(50, 33000));
    QTRY_COMPARE(wizard.currentId(), wizard.configureThresholdPageId());
    clipped = clippedIn(&wizard, QStringLiteral("Autorun Setup, threshold, ") + rowName());
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped));
    wizard.findChild<QPushButton*>(QStringLiteral("configureThresholdButton"))->click();
    press.port->feed(samples(50, passes ? 53000 : 33800));
    QTRY_COMPARE(wizard.currentId(), wizard.resultPageId());
    QCOMPARE(wizard.page(wizard.resultPageId())->title(),
             passes ? QStringLiteral("Complete") : QStringLiteral("Failed"));
    clipped = clippedIn(&wizard, QStringLiteral("Autorun Setup, result, ") + rowName());
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped));
    wizard.reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QTEST_MAIN(tst_TextFit)
#include "tst_textfit.moc"
