#pragma once

#include "app/ZelPressUi.h"
#include "core/Settings.h"
#include "dialogs/AdvancedDlg.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QPointF>

#include <memory>

class AutoConnection;
class AutosaveWriter;
class ConnectionWorkflow;
class ExportCommands;
class GraphContainer;
class GraphLegend;
class GraphModel;
class GraphView;
class GraphVisualization;
class IFileDialog;
class IFileSystem;
class IMessageBoxes;
class LiveStroke;
class Protocol;
class QItemSelectionModel;
class QLabel;
class Session;
class AutorunControl;
class StatisticsPanel;
class ToleranceCommands;
class TraceCommands;
class VelocityImport;
class ViewOptions;
class UndoHistory;

// The application's single window. It owns the settings record (loaded at construction, written at
// destruction), the press connection, the graph model with the active session, the undo history, the
// chart and the legend, and wires the user's commands to them. It holds no logic of its own beyond the
// enabling rules, the title and the guard against losing unsaved changes.
class ZelPress : public QMainWindow {
    Q_OBJECT
public:
    // What the window shows its boxes and dialogs through; tests pass fakes. Null members take the
    // real implementations.
    struct Seams {
        std::shared_ptr<IMessageBoxes> messageBoxes;
        std::shared_ptr<IFileDialog> fileDialog;
        std::shared_ptr<IFileSystem> fileSystem;
    };

    explicit ZelPress(QWidget* parent = nullptr);
    explicit ZelPress(Seams seams, QWidget* parent = nullptr);
    ~ZelPress() override;

    Settings* settings() { return &m_settings; }
    Protocol* protocol() const;
    AutoConnection* autoConnection() const;
    Session* session() const;
    ConnectionWorkflow* connection() const;
    GraphModel* graphModel() const { return m_graphModel; }
    GraphContainer* activeContainer() const { return m_activeContainer; }
    UndoHistory* undoHistory() const { return m_undoHistory; }
    AutosaveWriter* autosaveWriter() const { return m_autosave; }
    GraphView* graphView() const { return m_graphView; }
    GraphVisualization* visualization() const { return m_visualization; }
    GraphLegend* legend() const { return m_legend; }
    QItemSelectionModel* selectionModel() const { return m_selectionModel; }
    TraceCommands* traceCommands() const { return m_traceCommands; }
    ToleranceCommands* toleranceCommands() const { return m_toleranceCommands; }
    VelocityImport* velocityImport() const { return m_velocityImport; }
    StatisticsPanel* statisticsPanel() const { return m_statisticsPanel; }
    LiveStroke* liveStroke() const { return m_liveStroke; }
    const ZelPressUi& ui() const { return m_ui; }
    // The connection status text shown in the status bar.
    QString statusMessage() const;
    // The project's version, as in the title, the log and session files.
    static QString version();

public slots:
    void setStatusMessage(const QString& message);
    void setAutorunStatusMessage(const QString& message);
    void processDiscoveredBleDevices();
    void initHardwareSession();
    void newSession();
    void loadSession();
    void saveSession();
    void saveSessionAs();
    void autoSaveSession();
    void loadCompare();
    void clearAllPlots();
    void onSessionGo();
    void onSessionZeroPress();
    void onSessionFindXZero();
    void onSessionDieSetup();
    void onSessionChanged();
    void onSessionClosed();
    void openAdvancedDlg(AdvancedDlg::Tab startingTab = AdvancedDlg::SettingsTab);
    void onExportToCsvActionTriggered();
    void onExportToCsvAllActionTriggered();
    void onExportToImageActionTriggered();
    void onExportToPdfActionTriggered();
    void onShowLogDirectoryActionTriggered();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildModelAndViews();
    void wireActions();
    void onSessionCreated(Session* session);
    void onSessionEnded(Session* session);
    void onMeasurementDone(const QList<QPointF>& points);
    void onAutosaveFinished(const QString& path, bool written);
    void onFirmwareVersionReceived(const QString& version);
    void askBeforeStroke(const QString& question, bool (Session::*command)(), const QString& title);
    void runSessionCommand(bool (Session::*command)(), const QString& title);
    void applyUnits(Units units);
    void onCursorValueChanged(const QPointF& value);
    void updateTitle();
    void updateSessionEnabling();
    // Adds the statistics' tab beside the legend or takes it away, with the View menu's check.
    void showStatistics(bool shown);
    void updateModelEnabling();
    void updateSelectionEnabling();
    bool allowDiscardingChanges();
    bool isCurrentStartedSession(const Session* session) const;
    ExportCommands exportCommands();

    Seams m_seams;
    Settings m_settings;
    QString m_settingsDirectory;
    ZelPressUi m_ui;
    ConnectionWorkflow* m_connection = nullptr;
    QItemSelectionModel* m_selectionModel = nullptr;
    GraphModel* m_graphModel = nullptr;
    GraphContainer* m_activeContainer = nullptr;
    UndoHistory* m_undoHistory = nullptr;
    AutosaveWriter* m_autosave = nullptr;
    GraphView* m_graphView = nullptr;
    GraphVisualization* m_visualization = nullptr;
    GraphLegend* m_legend = nullptr;
    TraceCommands* m_traceCommands = nullptr;
    ToleranceCommands* m_toleranceCommands = nullptr;
    VelocityImport* m_velocityImport = nullptr;
    ViewOptions* m_viewOptions = nullptr;
    StatisticsPanel* m_statisticsPanel = nullptr;
    AutorunControl* m_autorunControl = nullptr;
    LiveStroke* m_liveStroke = nullptr;
    QString m_baseTitle;
};
