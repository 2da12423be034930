#pragma once

#include <QCoreApplication>

class QAction;
class QActionGroup;
class QCheckBox;
class QFrame;
class QLabel;
class QMainWindow;
class QMenu;
class QPushButton;
class QSplitter;
class QTabWidget;
class QToolButton;
class QWidget;

// The widgets, actions and menus of the main window, built in code like a designer form: every object
// carries its object name, text, shortcut, check state and start state. Nothing here is wired.
struct ZelPressUi {
    Q_DECLARE_TR_FUNCTIONS(ZelPress)
public:
    // Builds everything into the window (which owns it all).
    void setupUi(QMainWindow* window);

    QWidget* centralWidget = nullptr;
    QFrame* headerFrame = nullptr;
    QToolButton* goBtn = nullptr;
    QToolButton* findXZeroBtn = nullptr;
    QToolButton* dieSetupBtn = nullptr;
    QToolButton* autoscaleBtn = nullptr;
    QCheckBox* autoRunCheckBox = nullptr;
    QSplitter* graphAreaSplitter = nullptr;
    QWidget* graphArea = nullptr;
    // Beside the chart: the legend's tab and, while shown, the statistics' tab.
    QTabWidget* sidePanelTabs = nullptr;
    QWidget* graphLegendArea = nullptr;

    QLabel* connectionStatusLabel = nullptr;
    QLabel* firmwareLabel = nullptr;
    QPushButton* upgradeButton = nullptr;
    QLabel* autorunLabel = nullptr;
    QLabel* verdictLabel = nullptr;
    QLabel* autosaveLabel = nullptr;
    QLabel* cursorLabel = nullptr;

    QMenu* fileMenu = nullptr;
    QMenu* editMenu = nullptr;
    QMenu* setupMenu = nullptr;
    QMenu* viewMenu = nullptr;
    QMenu* commandsMenu = nullptr;

    QAction* newSessionAction = nullptr;
    QAction* openSessionAction = nullptr;
    QAction* saveSessionAction = nullptr;
    QAction* saveSessionAsAction = nullptr;
    QAction* loadCompareAction = nullptr;
    QAction* exportToCsvAction = nullptr;
    QAction* exportToCsvAllAction = nullptr;
    QAction* exportToImageAction = nullptr;
    QAction* exportToPdfAction = nullptr;
    QAction* showLogDirectoryAction = nullptr;
    QAction* exitAction = nullptr;
    QAction* undoAction = nullptr;
    QAction* editPlotAction = nullptr;
    QAction* removePlotAction = nullptr;
    QAction* renumberTracesAction = nullptr;
    QAction* clearLastPlotAction = nullptr;
    QAction* clearAllPlotsAction = nullptr;
    QAction* metricUnitsAction = nullptr;
    QAction* imperialUnitsAction = nullptr;
    QAction* advancedAction = nullptr;
    QAction* toleranceLimitsAction = nullptr;
    QAction* importVelocitiesAction = nullptr;
    QAction* autoscaleAction = nullptr;
    QAction* darkModeAction = nullptr;
    QAction* titleColumnAction = nullptr;
    QAction* workDoneColumnAction = nullptr;
    QAction* peakForceColumnAction = nullptr;
    QAction* terminalForceColumnAction = nullptr;
    QAction* startingPositionColumnAction = nullptr;
    QAction* velocityColumnAction = nullptr;
    QAction* flyerColumnAction = nullptr;
    QAction* workDoneColorAction = nullptr;
    QAction* peakForceColorAction = nullptr;
    QAction* terminalForceColorAction = nullptr;
    QAction* startingPositionColorAction = nullptr;
    QAction* velocityColorAction = nullptr;
    QAction* highlightFlyersAction = nullptr;
    QAction* statisticsAction = nullptr;
    QAction* bleConnectAction = nullptr;
    QAction* zeroPressAction = nullptr;
    QAction* findXZeroAction = nullptr;
    QAction* dieSetupAction = nullptr;
    QAction* goAction = nullptr;
    QActionGroup* colorActionGroup = nullptr;

private:
    void setupActions(QMainWindow* window);
    void setupMenus(QMainWindow* window);
    void setupCentralWidget(QMainWindow* window);
    void setupStatusBar(QMainWindow* window);
};
