#include "app/ZelPress.h"

#include "app/AutorunControl.h"
#include "app/CommandAvailability.h"
#include "app/ConnectionWorkflow.h"
#include "app/ExportCommands.h"
#include "app/SessionFileActions.h"
#include "app/StatisticsPanel.h"
#include "app/ToleranceCommands.h"
#include "app/TraceCommands.h"
#include "app/VelocityImport.h"
#include "app/VelocityPanel.h"
#include "app/ViewOptions.h"
#include "chart/GraphLegend.h"
#include "chart/GraphModel.h"
#include "chart/GraphView.h"
#include "chart/GraphVisualization.h"
#include "chart/LegendTreeView.h"
#include "chart/LiveStroke.h"
#include "chart/SessionModel.h"
#include "core/FileDialog.h"
#include "core/FileSystem.h"
#include "core/Logging.h"
#include "core/MessageBoxes.h"
#include "core/SettingsStore.h"
#include "data/AutosaveWriter.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/UndoHistory.h"
#include "dialogs/AutorunWizard.h"
#include "dialogs/DialogBootload.h"
#include "dialogs/ProgressDialog.h"
#include "link/AutoConnection.h"
#include "link/Protocol.h"
#include "session/Autorun.h"
#include "session/Session.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDebug>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <QHeaderView>
#include <QScrollBar>

namespace {

// What the legend's panel adds around its tree: the layout's right margin and the panel's frame.
constexpr int kLegendFrameAllowance = 9 + 2 * 6;

QList<QColor> comparePalette() {
    return {QColor(245, 130, 49, 200), QColor(188, 246, 12, 200), QColor(60, 180, 75, 200),
            QColor(70, 240, 240, 200), QColor(145, 30, 180, 200), QColor(240, 50, 230, 200),
            QColor(128, 128, 0, 200)};
}

} // namespace

ZelPress::ZelPress(QWidget* parent)
    : ZelPress(Seams{}, parent) {}

ZelPress::ZelPress(Seams seams, QWidget* parent)
    : QMainWindow(parent)
    , m_seams(std::move(seams)) {
    if (!m_seams.messageBoxes)
        m_seams.messageBoxes = std::make_shared<MessageBoxes>(this);
    if (!m_seams.fileDialog)
        m_seams.fileDialog = std::make_shared<FileDialog>(this);
    if (!m_seams.fileSystem)
        m_seams.fileSystem = std::make_shared<FileSystem>();

    m_settings.setDefaults();
    m_selectionModel = new QItemSelectionModel(nullptr, this);
    m_connection = new ConnectionWorkflow(&m_settings, m_seams.messageBoxes.get(), this);

    m_ui.setupUi(this);
    qInfo() << "App version:" << version();

    m_settingsDirectory = Logging::logDirectory();
    if (!m_settingsDirectory.isEmpty())
        SettingsStore(m_seams.fileSystem, m_settingsDirectory).load(m_settings);

    connect(m_connection, &ConnectionWorkflow::statusMessage, this, &ZelPress::setStatusMessage);
    connect(m_connection, &ConnectionWorkflow::sessionCreated, this, &ZelPress::onSessionCreated);
    connect(m_connection, &ConnectionWorkflow::sessionClosed, this, &ZelPress::onSessionEnded);
    m_connection->start();

    buildModelAndViews();
    applyUnits(m_settings.units);
    wireActions();
    m_viewOptions = new ViewOptions(m_ui, m_settings, m_graphView, m_legend, m_activeContainer, this);

    m_ui.graphAreaSplitter->setStretchFactor(0, 5);
    m_ui.graphAreaSplitter->setStretchFactor(1, 1);
    // The stretch factors share out later resizes; the first layout would otherwise follow the legend's
    // wide size hint and give the chart only half the window. The legend gets a third, or up to 42 % where
    // its columns need it (a laptop-sized window), so the chart keeps well over half.
    QTreeView* legendTree = m_legend->treeView();
    const int legendNeeds = legendTree->header()->length() + 2 * legendTree->frameWidth() +
                            legendTree->verticalScrollBar()->sizeHint().width() + kLegendFrameAllowance;
    const int side = std::clamp(legendNeeds, width() / 3, width() * 42 / 100);
    m_ui.graphAreaSplitter->setSizes({width() - side, side});
    m_baseTitle = tr("ZEL Press Version %1").arg(version());
    updateTitle();
}

ZelPress::~ZelPress() {
    if (!m_settingsDirectory.isEmpty())
        SettingsStore(m_seams.fileSystem, m_settingsDirectory).save(m_settings);
    // The link goes first, detached from the window, so no closed signal reaches a half-destroyed window.
    if (Session* current = m_connection->session())
        current->disconnect(this);
    delete m_connection;
    m_connection = nullptr;
    // Lines leave the chart before the chart goes.
    delete m_liveStroke;
    m_liveStroke = nullptr;
    delete m_visualization;
    m_visualization = nullptr;
}

QString ZelPress::version() {
    return QStringLiteral(ZELPRESS_VERSION);
}

Protocol* ZelPress::protocol() const {
    return m_connection->protocol();
}

AutoConnection* ZelPress::autoConnection() const {
    return m_connection->autoConnection();
}

ConnectionWorkflow* ZelPress::connection() const {
    return m_connection;
}

Session* ZelPress::session() const {
    return m_connection ? m_connection->session() : nullptr;
}

QString ZelPress::statusMessage() const {
    return m_ui.connectionStatusLabel->text();
}

void ZelPress::buildModelAndViews() {
    m_graphModel = new GraphModel(this);
    m_activeContainer = new GraphContainer(m_seams.fileSystem, true, m_graphModel);
    m_graphModel->setActiveSessionContainer(m_activeContainer);
    m_graphModel->setCompareColors(comparePalette());
    connect(m_activeContainer, &GraphContainer::graphAddedFromPress, this, &ZelPress::onSessionChanged);
    connect(m_activeContainer, &GraphContainer::bulkGraphAddFinished, this, &ZelPress::onSessionChanged);
    connect(m_activeContainer, &GraphContainer::graphRemoved, this, &ZelPress::onSessionChanged);
    connect(m_activeContainer, &GraphContainer::unsavedStatusChanged, this, &ZelPress::updateTitle);
    m_undoHistory = new UndoHistory(m_activeContainer, this);
    m_undoHistory->reset();
    m_autosave = new AutosaveWriter(m_activeContainer, this);
    connect(m_autosave, &AutosaveWriter::finished, this, &ZelPress::onAutosaveFinished);

    m_selectionModel->setModel(m_graphModel->sessionModel());
    connect(m_selectionModel, &QItemSelectionModel::currentRowChanged, this,
            &ZelPress::updateSelectionEnabling);

    auto* graphLayout = new QVBoxLayout(m_ui.graphArea);
    graphLayout->setContentsMargins(0, 0, 0, 0);
    m_graphView = new GraphView(m_ui.graphArea);
    m_graphView->setObjectName(QStringLiteral("graphView"));
    graphLayout->addWidget(m_graphView);
    m_visualization = new GraphVisualization(m_graphModel, m_graphView);
    m_visualization->setSelectionModel(m_selectionModel);
    m_graphView->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto separator = [this]() {
        auto* action = new QAction(this);
        action->setSeparator(true);
        return action;
    };
    m_graphView->addActions({m_ui.editPlotAction, m_ui.removePlotAction, separator(), m_ui.exportToCsvAction,
                             m_ui.exportToCsvAllAction, m_ui.exportToImageAction, m_ui.exportToPdfAction,
                             separator(), m_ui.darkModeAction});
    connect(m_graphView, &GraphView::cursorValueChanged, this, &ZelPress::onCursorValueChanged);
    m_liveStroke = new LiveStroke(m_graphView, this);

    auto* legendLayout = new QVBoxLayout(m_ui.graphLegendArea);
    legendLayout->setContentsMargins(0, 9, 9, 9);
    m_legend = new GraphLegend(m_ui.graphLegendArea);
    m_legend->setObjectName(QStringLiteral("graphLegend"));
    m_legend->setStyleSheet(QStringLiteral(
        "#container { border: 6px solid white; border-radius: 6px; } QTreeWidget { border: none; }"));
    legendLayout->addWidget(m_legend);
    m_legend->setModel(m_graphModel->sessionModel());
    m_legend->setSelectionModel(m_selectionModel);
    m_legend->renumberTracesButton()->setDefaultAction(m_ui.renumberTracesAction);
    m_legend->editGraphButton()->setDefaultAction(m_ui.editPlotAction);
    m_legend->removeGraphButton()->setDefaultAction(m_ui.removePlotAction);
    QTreeView* tree = m_legend->treeView();
    tree->setContextMenuPolicy(Qt::ActionsContextMenu);
    tree->addActions({m_ui.editPlotAction, m_ui.removePlotAction, m_ui.renumberTracesAction, separator(),
                      m_ui.exportToCsvAction, m_ui.exportToCsvAllAction, m_ui.exportToPdfAction});
    connect(m_legend, &GraphLegend::itemDoubleClicked, m_ui.editPlotAction, &QAction::trigger);

    m_traceCommands = new TraceCommands(m_graphModel, m_selectionModel, m_undoHistory, this, this);

    m_statisticsPanel = new StatisticsPanel(m_graphModel, m_ui.sidePanelTabs);
    m_statisticsPanel->setObjectName(QStringLiteral("statisticsPanel"));
    showStatistics(m_settings.showStatistics);
    connect(m_ui.statisticsAction, &QAction::toggled, this, [this](bool shown) {
        m_settings.showStatistics = shown;
        showStatistics(shown);
        // Asked for: brought to the front.
        if (shown)
            m_ui.sidePanelTabs->setCurrentWidget(m_statisticsPanel);
    });
    connect(m_statisticsPanel, &StatisticsPanel::graphClicked, m_visualization,
            &GraphVisualization::setSelectedGraph);
    m_toleranceCommands = new ToleranceCommands(m_activeContainer, m_undoHistory, m_ui.toleranceLimitsAction,
                                                m_ui.verdictLabel, this, this);
    connect(m_statisticsPanel, &StatisticsPanel::limitsRequested, m_ui.toleranceLimitsAction,
            &QAction::trigger);
    m_velocityImport = new VelocityImport(m_activeContainer, m_undoHistory, m_ui.importVelocitiesAction,
                                          m_seams.fileDialog.get(), m_seams.messageBoxes.get(),
                                          m_seams.fileSystem, &m_settings.userDirectory, this, this);
    connect(m_velocityImport, &VelocityImport::velocitiesImported, m_statisticsPanel->velocityPanel(),
            &VelocityPanel::setVelocityUnit);
}

void ZelPress::showStatistics(bool shown) {
    m_ui.statisticsAction->setChecked(shown);
    const int tab = m_ui.sidePanelTabs->indexOf(m_statisticsPanel);
    if (shown && tab < 0)
        m_ui.sidePanelTabs->addTab(m_statisticsPanel, tr("Statistics"));
    else if (!shown && tab >= 0)
        m_ui.sidePanelTabs->removeTab(tab);
}

void ZelPress::wireActions() {
    const ZelPressUi& ui = m_ui;
    connect(ui.metricUnitsAction, &QAction::triggered, this, [this]() { applyUnits(Metric); });
    connect(ui.imperialUnitsAction, &QAction::triggered, this, [this]() { applyUnits(Imperial); });

    connect(ui.newSessionAction, &QAction::triggered, this, &ZelPress::newSession);
    connect(ui.openSessionAction, &QAction::triggered, this, &ZelPress::loadSession);
    connect(ui.saveSessionAction, &QAction::triggered, this, &ZelPress::saveSession);
    connect(ui.saveSessionAsAction, &QAction::triggered, this, &ZelPress::saveSessionAs);
    connect(ui.loadCompareAction, &QAction::triggered, this, &ZelPress::loadCompare);
    connect(ui.exportToCsvAction, &QAction::triggered, this, &ZelPress::onExportToCsvActionTriggered);
    connect(ui.exportToCsvAllAction, &QAction::triggered, this, &ZelPress::onExportToCsvAllActionTriggered);
    connect(ui.exportToImageAction, &QAction::triggered, this, &ZelPress::onExportToImageActionTriggered);
    connect(ui.exportToPdfAction, &QAction::triggered, this, &ZelPress::onExportToPdfActionTriggered);
    connect(ui.showLogDirectoryAction, &QAction::triggered, this,
            &ZelPress::onShowLogDirectoryActionTriggered);
    connect(ui.exitAction, &QAction::triggered, this, &QWidget::close);

    connect(ui.undoAction, &QAction::triggered, m_undoHistory, &UndoHistory::undo);
    connect(m_undoHistory, &UndoHistory::stateChanged, this,
            [this]() { m_ui.undoAction->setEnabled(m_undoHistory->canUndo()); });
    connect(ui.editPlotAction, &QAction::triggered, m_traceCommands, &TraceCommands::editPlot);
    connect(ui.removePlotAction, &QAction::triggered, m_traceCommands, &TraceCommands::removePlot);
    connect(ui.renumberTracesAction, &QAction::triggered, m_traceCommands, &TraceCommands::renumberPlots);
    connect(ui.clearLastPlotAction, &QAction::triggered, m_traceCommands, &TraceCommands::clearLastPlot);
    connect(ui.clearAllPlotsAction, &QAction::triggered, this, &ZelPress::clearAllPlots);

    connect(ui.advancedAction, &QAction::triggered, this,
            [this]() { openAdvancedDlg(AdvancedDlg::SettingsTab); });
    connect(ui.upgradeButton, &QPushButton::released, this,
            [this]() { openAdvancedDlg(AdvancedDlg::FirmwareUpgradeTab); });
    connect(ui.autoscaleAction, &QAction::triggered, m_visualization, &GraphVisualization::updateAxies);

    connect(ui.bleConnectAction, &QAction::triggered, m_connection, &ConnectionWorkflow::connectBluetooth);
    connect(m_connection, &ConnectionWorkflow::bluetoothConnectEnabled, ui.bleConnectAction,
            &QAction::setEnabled);
    connect(ui.zeroPressAction, &QAction::triggered, this, &ZelPress::onSessionZeroPress);
    connect(ui.findXZeroAction, &QAction::triggered, this, &ZelPress::onSessionFindXZero);
    connect(ui.dieSetupAction, &QAction::triggered, this, &ZelPress::onSessionDieSetup);
    connect(ui.goAction, &QAction::triggered, this, &ZelPress::onSessionGo);
    m_autorunControl = new AutorunControl(
        ui.autoRunCheckBox, &m_settings, [this]() { return session(); },
        [this](Autorun* autorun, Session* current) {
            AutorunWizard wizard(autorun, this);
            connect(current, &Session::closed, &wizard, &QDialog::reject);
            return wizard.exec() == QDialog::Accepted;
        },
        this);
    connect(m_autorunControl, &AutorunControl::statusMessage, this, &ZelPress::setAutorunStatusMessage);
    connect(m_autorunControl, &AutorunControl::changed, this, &ZelPress::updateSessionEnabling);
    connect(m_autorunControl, &AutorunControl::setUpStarted, this, [this]() {
        m_ui.goAction->setEnabled(false);
        setFocus();
    });

    SessionModel* legendModel = m_graphModel->sessionModel();
    connect(legendModel, &SessionModel::modelChanged, this, &ZelPress::updateModelEnabling);
    connect(legendModel, &SessionModel::activeSessionInlineEdit, m_traceCommands,
            &TraceCommands::recordActiveSessionEdit);
}

void ZelPress::applyUnits(Units units) {
    m_settings.units = units;
    m_visualization->setUnits(units);
    m_graphModel->sessionModel()->setUnits(units);
    m_liveStroke->setUnits(units);
    m_statisticsPanel->setUnits(units);
    m_toleranceCommands->setUnits(units);
    m_ui.metricUnitsAction->setChecked(units == Metric);
    m_ui.imperialUnitsAction->setChecked(units == Imperial);
}

void ZelPress::setStatusMessage(const QString& message) {
    qDebug() << message;
    m_ui.connectionStatusLabel->setText(message);
}

void ZelPress::setAutorunStatusMessage(const QString& message) {
    m_ui.autorunLabel->setText(message);
}

void ZelPress::onCursorValueChanged(const QPointF& value) {
    if (std::isnan(value.x()) || std::isnan(value.y())) {
        m_ui.cursorLabel->clear();
        return;
    }
    m_ui.cursorLabel->setText(tr("Pos: %1, Force: %2").arg(value.x(), 0, 'f', 3).arg(value.y(), 0, 'f', 1));
}

void ZelPress::updateTitle() {
    setWindowTitle(m_activeContainer->unsaved() ? QStringLiteral("*") + m_baseTitle : m_baseTitle);
}

bool ZelPress::allowDiscardingChanges() {
    if (!m_activeContainer->unsaved())
        return true;
    return m_seams.messageBoxes->question(
               tr("There are unsaved changes."), tr("Are you sure you want to continue?"),
               QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) == QMessageBox::Ok;
}

void ZelPress::closeEvent(QCloseEvent* event) {
    if (allowDiscardingChanges())
        event->accept();
    else
        event->ignore();
}

// ---- enabling rules

void ZelPress::onSessionChanged() {
    const bool hasTraces = !m_activeContainer->isEmpty();
    for (QAction* action :
         {m_ui.newSessionAction, m_ui.clearLastPlotAction, m_ui.saveSessionAction, m_ui.saveSessionAsAction})
        action->setEnabled(hasTraces);
}

void ZelPress::updateModelEnabling() {
    const bool anything = !m_graphModel->isEmpty();
    for (QAction* action : {m_ui.exportToCsvAllAction, m_ui.exportToImageAction, m_ui.exportToPdfAction,
                            m_ui.clearAllPlotsAction})
        action->setEnabled(anything);
    m_ui.renumberTracesAction->setEnabled(!m_activeContainer->isEmpty());
}

void ZelPress::updateSelectionEnabling() {
    const bool onTrace = m_traceCommands->currentGraph() != nullptr;
    for (QAction* action : {m_ui.exportToCsvAction, m_ui.editPlotAction, m_ui.removePlotAction})
        action->setEnabled(onTrace);
}

void ZelPress::updateSessionEnabling() {
    const CommandAvailability available = CommandAvailability::of(session());
    m_ui.zeroPressAction->setEnabled(available.zeroPress);
    m_ui.findXZeroAction->setEnabled(available.findXZero);
    m_ui.dieSetupAction->setEnabled(available.dieSetup);
    m_ui.autoRunCheckBox->setEnabled(available.autorun);
    m_ui.goAction->setEnabled(available.go);
    // Unchecking detaches autorun through AutorunControl, which has these rules applied again.
    if (!available.autorunAttached && m_ui.autoRunCheckBox->isChecked())
        m_ui.autoRunCheckBox->setChecked(false);
}

bool ZelPress::isCurrentStartedSession(const Session* asking) const {
    return asking && asking == session() && asking->isInitialized();
}

// ---- session

void ZelPress::processDiscoveredBleDevices() {
    m_connection->processDiscoveredBleDevices();
}

void ZelPress::initHardwareSession() {
    m_connection->initHardwareSession();
}

void ZelPress::onSessionCreated(Session* created) {
    connect(created, &Session::initialized, this, [this, created]() {
        updateSessionEnabling();
        // Posted: the question must not open inside the link's own signal chain.
        QPointer<Session> asking = created;
        QMetaObject::invokeMethod(
            this,
            [this, asking]() {
                if (isCurrentStartedSession(asking))
                    onSessionZeroPress();
            },
            Qt::QueuedConnection);
    });
    connect(created, &Session::procedureFinished, this, &ZelPress::updateSessionEnabling);
    connect(created, &Session::procedureCanceled, this, &ZelPress::updateSessionEnabling);
    connect(created, &Session::resultReported, this, &ZelPress::updateSessionEnabling);
    connect(created, &Session::measurementDone, this, &ZelPress::onMeasurementDone);
    // The stroke's line is drawn while it runs and goes when it ends, after its trace (if any) has come.
    connect(created, &Session::strokePointRecorded, m_liveStroke, &LiveStroke::addPoint);
    connect(created, &Session::procedureFinished, m_liveStroke, &LiveStroke::clear);
    connect(created, &Session::procedureCanceled, m_liveStroke, &LiveStroke::clear);
    connect(created, &Session::closed, m_liveStroke, &LiveStroke::clear);
    connect(created, &Session::firmwareVersionReceived, this, &ZelPress::onFirmwareVersionReceived);
}

void ZelPress::onSessionEnded(Session*) {
    // Questions asked by that session end without an answer.
    m_seams.messageBoxes->endSessionQuestions();
    updateSessionEnabling();
    if (!m_connection->bluetoothMode()) {
        m_ui.firmwareLabel->clear();
        m_ui.firmwareLabel->setStyleSheet(QString());
        m_ui.upgradeButton->hide();
    } else {
        m_ui.bleConnectAction->setEnabled(true);
    }
}

void ZelPress::onSessionClosed() {
    // The workflow runs the closing from the session's own closed signal; nothing is left to do here.
}

void ZelPress::onMeasurementDone(const QList<QPointF>& points) {
    m_activeContainer->addGraphFromPress(points, true);
    autoSaveSession();
    m_undoHistory->reset();
}

void ZelPress::onFirmwareVersionReceived(const QString& firmwareVersion) {
    m_activeContainer->setFirmwareVersion(firmwareVersion);
    m_ui.firmwareLabel->setText(tr("Firmware version: %1").arg(firmwareVersion));
    // The press is up to date when it runs the firmware the application carries.
    if (firmwareVersion == AdvancedDlg::availableFirmwareVersion()) {
        m_ui.firmwareLabel->setStyleSheet(QString());
        m_ui.upgradeButton->hide();
    } else {
        m_ui.firmwareLabel->setStyleSheet(
            QStringLiteral("QLabel { background-color: rgb(255, 75, 75); padding: 2px; }"));
        m_ui.upgradeButton->show();
    }
}

void ZelPress::runSessionCommand(bool (Session::*command)(), const QString& title) {
    Session* current = session();
    if (!current)
        return;
    ProgressDialog::runSessionCommand(current, command, title, this);
    updateSessionEnabling();
}

void ZelPress::askBeforeStroke(const QString& question, bool (Session::*command)(), const QString& title) {
    QPointer<Session> asking = session();
    if (!asking)
        return;
    const QMessageBox::StandardButton answer = m_seams.messageBoxes->askOk(question);
    // Only a real Ok, and only for the session that asked while it is still the running one.
    if (answer != QMessageBox::Ok || !isCurrentStartedSession(asking))
        return;
    runSessionCommand(command, title);
}

void ZelPress::onSessionGo() {
    runSessionCommand(&Session::go, tr("Press In Progress ..."));
}

void ZelPress::onSessionZeroPress() {
    askBeforeStroke(tr("Please make sure the press is clear for zeroing"), &Session::calibrateZeroWeight,
                    tr("Zeroing Press ..."));
}

void ZelPress::onSessionFindXZero() {
    askBeforeStroke(tr("Adjust height of Ram to suit loaded Die"), &Session::findXZero,
                    tr("Search X Zero ..."));
}

void ZelPress::onSessionDieSetup() {
    runSessionCommand(&Session::dieSetup, tr("Die Setup ..."));
}

void ZelPress::openAdvancedDlg(AdvancedDlg::Tab startingTab) {
    AdvancedDlg dialog(&m_settings, session(), m_connection->bluetoothMode(), startingTab, this,
                       m_seams.messageBoxes.get());
    dialog.setFirmwareUpgrade(&DialogBootload::runUpgrade);
    dialog.exec();
}

ExportCommands ZelPress::exportCommands() {
    return ExportCommands(m_settings, *m_seams.fileDialog, *m_seams.messageBoxes, m_seams.fileSystem);
}

void ZelPress::onExportToCsvActionTriggered() {
    exportCommands().exportTraceToCsv(m_traceCommands->currentGraph());
}

void ZelPress::onExportToCsvAllActionTriggered() {
    exportCommands().exportAllTracesToCsv(*m_graphModel);
}

void ZelPress::onExportToImageActionTriggered() {
    exportCommands().exportToImage(*m_graphModel, m_graphView);
}

void ZelPress::onExportToPdfActionTriggered() {
    exportCommands().exportToPdf(*m_graphModel, m_graphView, m_legend->sortColumn(), m_legend->sortOrder());
}

void ZelPress::onShowLogDirectoryActionTriggered() {
    Logging::openLogDirectory();
}

// ---- session files

void ZelPress::newSession() {
    if (!allowDiscardingChanges())
        return;
    m_activeContainer->clear();
    m_undoHistory->reset();
}

void ZelPress::loadSession() {
    if (!allowDiscardingChanges())
        return;
    const QList<Graph*> before = m_activeContainer->graphs();
    const QString fileBefore = m_activeContainer->fileName();
    SessionFileActions(m_settings.userDirectory, *m_seams.fileDialog, *m_seams.messageBoxes,
                       m_seams.fileSystem)
        .openSession(m_activeContainer);
    if (m_activeContainer->graphs() != before || m_activeContainer->fileName() != fileBefore)
        m_undoHistory->reset();
    const auto actions = m_ui.colorActionGroup->actions();
    for (QAction* action : actions)
        action->setChecked(false);
}

void ZelPress::saveSession() {
    SessionFileActions(m_settings.userDirectory, *m_seams.fileDialog, *m_seams.messageBoxes,
                       m_seams.fileSystem)
        .save(m_activeContainer);
}

void ZelPress::saveSessionAs() {
    SessionFileActions(m_settings.userDirectory, *m_seams.fileDialog, *m_seams.messageBoxes,
                       m_seams.fileSystem)
        .saveAs(m_activeContainer);
}

void ZelPress::autoSaveSession() {
    Session* current = session();
    if (!current)
        return;
    // Written in the background from the state as it is now, so the stroke's end does not wait for the
    // disk and nothing later (New Session, Open) changes what is written. Closing waits for it.
    m_autosave->save(current->startTime());
}

void ZelPress::onAutosaveFinished(const QString& path, bool written) {
    if (written) {
        m_ui.autosaveLabel->hide();
        return;
    }
    m_ui.autosaveLabel->setText(tr("Autosave failed: %1").arg(path));
    m_ui.autosaveLabel->show();
}

void ZelPress::loadCompare() {
    SessionFileActions(m_settings.userDirectory, *m_seams.fileDialog, *m_seams.messageBoxes,
                       m_seams.fileSystem)
        .loadCompare(m_graphModel, this);
}

void ZelPress::clearAllPlots() {
    if (!allowDiscardingChanges())
        return;
    const bool wasEmpty = m_activeContainer->isEmpty();
    m_graphModel->clear();
    if (!wasEmpty)
        m_undoHistory->recordSnapshot();
}
