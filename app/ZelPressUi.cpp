#include "app/ZelPressUi.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpacerItem>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QAction* makeAction(QMainWindow* window, const char* objectName, const QString& text, bool enabled,
                    bool checkable = false, const QKeySequence& shortcut = QKeySequence()) {
    auto* action = new QAction(text, window);
    action->setObjectName(QString::fromLatin1(objectName));
    action->setEnabled(enabled);
    action->setCheckable(checkable);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

QToolButton* makeToolButton(QWidget* parent, const char* objectName, const QString& text, int width,
                            int height) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setText(text);
    button->setFixedSize(width, height);
    return button;
}

} // namespace

void ZelPressUi::setupUi(QMainWindow* window) {
    window->setObjectName(QStringLiteral("ZelPressClass"));
    window->resize(947, 698);
    setupActions(window);
    setupCentralWidget(window);
    setupMenus(window);
    setupStatusBar(window);
}

void ZelPressUi::setupActions(QMainWindow* w) {
    newSessionAction = makeAction(w, "newSessionAction", tr("&New Session"), false, false, QKeySequence::New);
    openSessionAction =
        makeAction(w, "openSessionAction", tr("&Open Session ..."), true, false, QKeySequence::Open);
    saveSessionAction =
        makeAction(w, "saveSessionAction", tr("&Save Session"), false, false, QKeySequence::Save);
    saveSessionAsAction =
        makeAction(w, "saveSessionAsAction", tr("Save Session &As ..."), false, false, QKeySequence::SaveAs);
    loadCompareAction = makeAction(w, "loadCompareAction", tr("Load &Compare ..."), true, false,
                                   QKeySequence(QStringLiteral("Ctrl+Shift+O")));
    exportToCsvAction = makeAction(w, "exportToCsvAction", tr("Export Trace to CSV"), false);
    exportToCsvAllAction = makeAction(w, "exportToCsvAllAction", tr("Export All Traces to CSV"), false);
    exportToImageAction = makeAction(w, "exportToImageAction", tr("Export to Image"), false);
    exportToPdfAction = makeAction(w, "exportToPdfAction", tr("Export to PDF"), false);
    showLogDirectoryAction = makeAction(w, "showLogDirectoryAction", tr("Show Log Directory"), true);
    exitAction = makeAction(w, "exitAction", tr("E&xit"), true, false, QKeySequence::Quit);

    undoAction = makeAction(w, "undoAction", tr("&Undo"), false, false, QKeySequence::Undo);
    editPlotAction = makeAction(w, "editPlotAction", tr("&Edit Plot"), false);
    removePlotAction =
        makeAction(w, "removePlotAction", tr("&Remove Plot"), false, false, QKeySequence::Delete);
    renumberTracesAction = makeAction(w, "renumberTracesAction", tr("Renumber Plots"), false);
    clearLastPlotAction = makeAction(w, "clearLastPlotAction", tr("Clear &Last Plot"), false, false,
                                     QKeySequence(QStringLiteral("Shift+Del")));
    clearAllPlotsAction = makeAction(w, "clearAllPlotsAction", tr("Clear &All Plots"), false);

    metricUnitsAction = makeAction(w, "metricUnitsAction", tr("Metric"), true, true);
    imperialUnitsAction = makeAction(w, "imperialUnitsAction", tr("Imperial"), true, true);
    advancedAction = makeAction(w, "advancedAction", tr("&Advanced ..."), true);

    autoscaleAction = makeAction(w, "autoscaleAction", tr("&Autoscale"), true, false, QKeySequence::Refresh);
    darkModeAction = makeAction(w, "darkModeAction", tr("Dark Mode"), true, true);
    titleColumnAction = makeAction(w, "titleColumnAction", tr("Title"), true, true);
    workDoneColumnAction = makeAction(w, "workDoneColumnAction", tr("Work Done"), true, true);
    peakForceColumnAction = makeAction(w, "peakForceColumnAction", tr("Peak Force"), true, true);
    terminalForceColumnAction = makeAction(w, "terminalForceColumnAction", tr("Terminal Force"), true, true);
    startingPositionColumnAction =
        makeAction(w, "startingPositionColumnAction", tr("Starting Position"), true, true);
    velocityColumnAction = makeAction(w, "velocityColumnAction", tr("Velocity"), true, true);
    flyerColumnAction = makeAction(w, "flyerColumnAction", tr("Flyer"), true, true);
    workDoneColorAction = makeAction(w, "workDoneColorAction", tr("Work Done"), true, true);
    peakForceColorAction = makeAction(w, "peakForceColorAction", tr("Peak Force"), true, true);
    terminalForceColorAction = makeAction(w, "terminalForceColorAction", tr("Terminal Force"), true, true);
    startingPositionColorAction =
        makeAction(w, "startingPositionColorAction", tr("Starting Pos"), true, true);
    velocityColorAction = makeAction(w, "velocityColorAction", tr("Velocity"), true, true);
    highlightFlyersAction = makeAction(w, "highlightFlyersAction", tr("Highlight flyers"), true, true);
    statisticsAction = makeAction(w, "statisticsAction", tr("Statistics"), true, true);
    toleranceLimitsAction = makeAction(w, "toleranceLimitsAction", tr("Tolerance &Limits ..."), true);
    importVelocitiesAction = makeAction(w, "importVelocitiesAction", tr("Import &Velocities ..."), false);

    bleConnectAction = makeAction(w, "bleConnectAction", tr("Bluetooth &connect"), true);
    zeroPressAction = makeAction(w, "zeroPressAction", tr("&Zero press"), false);
    findXZeroAction = makeAction(w, "findXZeroAction", tr("Find &X Zero"), false);
    dieSetupAction = makeAction(w, "dieSetupAction", tr("&Die Setup"), false);
    goAction = makeAction(w, "goAction", tr("&Go"), false, false, QKeySequence(Qt::Key_Space));

    // At most one colouring at a time, and the checked one can be unchecked again.
    colorActionGroup = new QActionGroup(w);
    colorActionGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (QAction* action : {workDoneColorAction, peakForceColorAction, terminalForceColorAction,
                            startingPositionColorAction, velocityColorAction})
        colorActionGroup->addAction(action);
}

void ZelPressUi::setupMenus(QMainWindow* w) {
    QMenuBar* bar = w->menuBar();
    fileMenu = bar->addMenu(tr("&File"));
    fileMenu->addActions({newSessionAction, openSessionAction, saveSessionAction, saveSessionAsAction});
    fileMenu->addSeparator();
    fileMenu->addActions({loadCompareAction, importVelocitiesAction});
    fileMenu->addSeparator();
    fileMenu->addActions({exportToCsvAction, exportToCsvAllAction, exportToImageAction, exportToPdfAction});
    fileMenu->addSeparator();
    fileMenu->addAction(showLogDirectoryAction);
    fileMenu->addSeparator();
    fileMenu->addAction(exitAction);

    editMenu = bar->addMenu(tr("&Edit"));
    editMenu->addAction(undoAction);
    editMenu->addSeparator();
    editMenu->addActions({editPlotAction, removePlotAction, renumberTracesAction});
    editMenu->addSeparator();
    editMenu->addActions({clearLastPlotAction, clearAllPlotsAction});

    setupMenu = bar->addMenu(tr("&Setup"));
    QMenu* units = setupMenu->addMenu(tr("Units"));
    units->addActions({metricUnitsAction, imperialUnitsAction});
    setupMenu->addAction(toleranceLimitsAction);
    setupMenu->addSeparator();
    setupMenu->addAction(advancedAction);

    viewMenu = bar->addMenu(tr("&View"));
    viewMenu->addActions({autoscaleAction, darkModeAction});
    viewMenu->addSeparator();
    QMenu* columns = viewMenu->addMenu(tr("Legend Columns"));
    columns->addActions({titleColumnAction, workDoneColumnAction, peakForceColumnAction,
                         terminalForceColumnAction, startingPositionColumnAction, velocityColumnAction,
                         flyerColumnAction});
    QMenu* gradient = viewMenu->addMenu(tr("Color Gradient"));
    gradient->addActions(colorActionGroup->actions());
    viewMenu->addAction(highlightFlyersAction);
    viewMenu->addSeparator();
    viewMenu->addAction(statisticsAction);

    commandsMenu = bar->addMenu(tr("&Commands"));
    commandsMenu->addAction(bleConnectAction);
    commandsMenu->addSeparator();
    commandsMenu->addActions({zeroPressAction, findXZeroAction, dieSetupAction, goAction});
}

void ZelPressUi::setupCentralWidget(QMainWindow* w) {
    centralWidget = new QWidget(w);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));
    auto* layout = new QVBoxLayout(centralWidget);

    headerFrame = new QFrame(centralWidget);
    headerFrame->setObjectName(QStringLiteral("headerFrame"));
    headerFrame->setMinimumHeight(50);
    headerFrame->setMaximumHeight(80);
    auto* header = new QGridLayout(headerFrame);
    header->setContentsMargins(0, 0, 0, 0);

    auto* left = new QFrame(headerFrame);
    left->setObjectName(QStringLiteral("leftFrame"));
    auto* leftLayout = new QHBoxLayout(left);
    leftLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));

    auto* centre = new QFrame(headerFrame);
    centre->setObjectName(QStringLiteral("centerFrame"));
    auto* centreLayout = new QHBoxLayout(centre);
    centreLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    goBtn = makeToolButton(centre, "goBtn", tr("Go"), 85, 45);
    centreLayout->addWidget(goBtn);

    auto* right = new QFrame(headerFrame);
    right->setObjectName(QStringLiteral("rightFrame"));
    auto* rightLayout = new QGridLayout(right);
    // Two rows of 30 px buttons within the header's 80 px: the default margins would squeeze them into
    // each other.
    rightLayout->setContentsMargins(9, 3, 9, 3);
    findXZeroBtn = makeToolButton(right, "findXZeroBtn", tr("Find X Zero"), 85, 30);
    dieSetupBtn = makeToolButton(right, "dieSetupBtn", tr("Die Setup"), 85, 30);
    autoscaleBtn = makeToolButton(right, "autoscaleBtn", tr("Autoscale"), 85, 30);
    autoRunCheckBox = new QCheckBox(tr("Autorun"), right);
    autoRunCheckBox->setObjectName(QStringLiteral("autoRunCheckBox"));
    autoRunCheckBox->setEnabled(false);
    rightLayout->addWidget(findXZeroBtn, 0, 0);
    rightLayout->addWidget(autoRunCheckBox, 0, 1);
    rightLayout->addWidget(dieSetupBtn, 1, 0);
    rightLayout->addWidget(autoscaleBtn, 1, 1);

    header->addWidget(left, 0, 0);
    header->addWidget(centre, 0, 1);
    header->addWidget(right, 0, 2);
    layout->addWidget(headerFrame);

    graphAreaSplitter = new QSplitter(Qt::Horizontal, centralWidget);
    graphAreaSplitter->setObjectName(QStringLiteral("graphAreaSplitter"));
    graphArea = new QWidget(graphAreaSplitter);
    graphArea->setObjectName(QStringLiteral("graphArea"));
    // The statistics share the legend's place rather than taking a column of their own: beside a third
    // column the chart of a laptop-sized window was too narrow to read.
    sidePanelTabs = new QTabWidget(graphAreaSplitter);
    sidePanelTabs->setObjectName(QStringLiteral("sidePanelTabs"));
    sidePanelTabs->setDocumentMode(true);
    sidePanelTabs->setTabBarAutoHide(true);
    graphLegendArea = new QWidget(sidePanelTabs);
    graphLegendArea->setObjectName(QStringLiteral("graphLegendArea"));
    sidePanelTabs->addTab(graphLegendArea, tr("Legend"));
    graphAreaSplitter->addWidget(graphArea);
    graphAreaSplitter->addWidget(sidePanelTabs);
    layout->addWidget(graphAreaSplitter);
    w->setCentralWidget(centralWidget);

    goBtn->setDefaultAction(goAction);
    findXZeroBtn->setDefaultAction(findXZeroAction);
    dieSetupBtn->setDefaultAction(dieSetupAction);
    autoscaleBtn->setDefaultAction(autoscaleAction);
}

void ZelPressUi::setupStatusBar(QMainWindow* w) {
    auto* holder = new QWidget(w);
    holder->setObjectName(QStringLiteral("statusBarWidget"));
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    connectionStatusLabel = new QLabel(holder);
    connectionStatusLabel->setObjectName(QStringLiteral("connectionStatusLabel"));
    connectionStatusLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    firmwareLabel = new QLabel(holder);
    firmwareLabel->setObjectName(QStringLiteral("firmwareLabel"));
    firmwareLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    upgradeButton = new QPushButton(tr("Upgrade"), holder);
    upgradeButton->setObjectName(QStringLiteral("upgradeButton"));
    upgradeButton->hide();
    autorunLabel = new QLabel(tr("Autorun: Disabled"), holder);
    autorunLabel->setObjectName(QStringLiteral("autorunLabel"));
    autorunLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The latest stroke's tolerance verdict, shown while the session has limits.
    verdictLabel = new QLabel(holder);
    verdictLabel->setObjectName(QStringLiteral("verdictLabel"));
    verdictLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    verdictLabel->hide();
    layout->addWidget(connectionStatusLabel);
    layout->addSpacing(12);
    layout->addWidget(verdictLabel);
    layout->addStretch();
    layout->addWidget(firmwareLabel);
    layout->addWidget(upgradeButton);
    layout->addSpacing(20);
    layout->addWidget(autorunLabel);
    w->statusBar()->addWidget(holder, 1);

    autosaveLabel = new QLabel(w);
    autosaveLabel->setObjectName(QStringLiteral("autosaveStatusLabel"));
    autosaveLabel->setStyleSheet(QStringLiteral("QLabel { color: rgb(200, 0, 0); }"));
    autosaveLabel->hide();
    // Permanent, so the cursor read-out never hides it.
    w->statusBar()->addPermanentWidget(autosaveLabel);
    // The cursor read-out has an item of its own: a status-bar message would hide the connection,
    // firmware and autorun items while the pointer is over the chart.
    cursorLabel = new QLabel(w);
    cursorLabel->setObjectName(QStringLiteral("cursorValueLabel"));
    w->statusBar()->addPermanentWidget(cursorLabel);
}
