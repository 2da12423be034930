#include "WindowCommands.h"

#include "app/WindowBench.h"
#include "support/FakeMessageBoxes.h"
#include "support/MemoryFileSystem.h"

#include "app/ToleranceCommands.h"
#include "app/TraceCommands.h"
#include "app/ZelPress.h"
#include "chart/GraphChart.h"
#include "chart/GraphContainerItemMenu.h"
#include "chart/GraphLegend.h"
#include "chart/GraphModel.h"
#include "chart/GraphSeries.h"
#include "chart/GraphView.h"
#include "chart/SessionModel.h"
#include "core/IFileDialog.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/UndoHistory.h"
#include "dialogs/TraceSetupDlg.h"
#include "link/AutoConnection.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

const QString kFolder = QStringLiteral("/traces");
constexpr qsizetype kMaxTraces = 6;
constexpr qsizetype kMaxComparisons = 2;
const QStringList kSessionFiles{QStringLiteral("/traces/three.SDT"), QStringLiteral("/traces/one.SDT"),
                                QStringLiteral("/traces/empty.SDT"), QStringLiteral("/traces/broken.SDT")};

// A seating stroke in inches and pounds as the press records it: from the starting position down to
// zero, flat until the bullet meets the die, then rising to the peak. Its size follows the argument.
QList<QPointF> stroke(std::uint8_t argument) {
    const double start = 0.15 + 0.01 * (argument % 16);
    const double contact = start * 0.6;
    const double peak = 10.0 + 0.5 * argument;
    const int count = 30 + argument % 40;
    QList<QPointF> points;
    points.reserve(count + 1);
    for (int i = 0; i <= count; ++i) {
        const double x = start - i * start / count;
        const double y = x > contact ? 0.0 : peak * (contact - x) / contact;
        points.append({x, y});
    }
    return points;
}

void writeSessionFile(const std::shared_ptr<MemoryFileSystem>& files, const QString& path, int traces,
                      const ToleranceLimits& limits = ToleranceLimits()) {
    GraphContainer container(files, true, nullptr);
    for (int i = 0; i < traces; ++i)
        container.addGraphFromPress(stroke(static_cast<std::uint8_t>(40 * i + 7)), true);
    container.setLimits(limits);
    container.writeToFile(path);
}

// The limits a SetLimits argument spells: the measurement from bits 3-4, a band (bit 2) or low and high
// with either side open (bits 0-1), around values the strokes reach.
ToleranceLimits limitsOf(std::uint8_t argument) {
    if (argument % 8 == 0)
        return ToleranceLimits();
    static const Measurement measurements[] = {PeakForce, TerminalForce, WorkDone};
    const Measurement measurement = measurements[(argument >> 3) % 3];
    const double scale = measurement == WorkDone ? 0.2 : 10.0;
    const double centre = scale * (1.0 + (argument >> 5));
    const Units units = (argument & 0x10) ? Metric : Imperial;
    if (argument & 4)
        return ToleranceLimits::withBand(measurement, centre, scale * 0.5, units).value_or(ToleranceLimits());
    const std::optional<double> low = (argument & 1) ? std::optional<double>(centre - scale) : std::nullopt;
    const std::optional<double> high = (argument & 2) ? std::optional<double>(centre + scale) : std::nullopt;
    return ToleranceLimits::withLimits(measurement, low, high, units).value_or(ToleranceLimits());
}

} // namespace

// Open dialogs pick one of the prepared files, save dialogs a name in the folder of memory files.
class WindowCommands::Dialog : public windowbench::ScriptedFileDialog {};

WindowCommands::WindowCommands()
    : m_boxes(std::make_shared<FakeMessageBoxes>())
    , m_files(std::make_shared<MemoryFileSystem>())
    , m_dialog(std::make_shared<Dialog>()) {
    m_files->addDirectory(kFolder);
    writeSessionFile(m_files, kSessionFiles.at(0), 3,
                     *ToleranceLimits::withLimits(PeakForce, 20.0, 40.0, Imperial));
    writeSessionFile(m_files, kSessionFiles.at(1), 1);
    writeSessionFile(m_files, kSessionFiles.at(2), 0);
    m_files->writeFile(kSessionFiles.at(3), QByteArrayLiteral("{\"Graphs\":[{\"X Values\":[1,"));
    m_window = std::make_unique<ZelPress>(ZelPress::Seams{m_boxes, m_dialog, m_files});
    // No press: the port search finds nothing, so every trace comes from a command here.
    m_window->autoConnection()->setPortLister([] { return QList<PortCandidate>{}; });
    m_window->settings()->userDirectory = kFolder;
    m_window->traceCommands()->setEditDialog([this](Graph* graph, QWidget* parent) {
        TraceSetupDlg dialog(graph, parent);
        if (!(m_editAnswer & 1))
            return false;
        if (auto* name = dialog.findChild<QLineEdit*>())
            name->setText(QStringLiteral("Edited %1").arg(m_editAnswer));
        dialog.accept();
        return true;
    });
    m_window->toleranceCommands()->setLimitsDialog([this](const ToleranceLimits&, Units, double, QWidget*) {
        return std::optional(limitsOf(m_limitsAnswer));
    });
    m_window->resize(700, 450);
    m_window->show();
    settle();
}

WindowCommands::~WindowCommands() {
    // The window's own guard asks about unsaved changes only on a close, not on destruction.
    m_window.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QByteArray WindowCommands::encode(const QList<std::pair<Command, std::uint8_t>>& commands) {
    QByteArray bytes;
    for (const auto& [command, argument] : commands) {
        bytes.append(static_cast<char>(command));
        bytes.append(static_cast<char>(argument));
    }
    return bytes;
}

const char* WindowCommands::name(Command command) {
    static const char* const names[] = {
        "SelectRow",   "SelectNone",   "Go",           "RemovePlot",  "ClearLastPlot",    "ClearAllPlots",
        "Renumber",    "Undo",         "EditVelocity", "ToggleFlyer", "ToggleVisibility", "EditPlot",
        "LoadCompare", "CloseCompare", "NewSession",   "OpenSession", "SwitchUnits",      "DarkMode",
        "Autoscale",   "WheelZoom",    "Pan",          "ClickChart",  "Resize",           "Export",
        "SaveAs",      "ColorBy",      "ContextMenu",  "SetLimits"};
    static_assert(sizeof(names) / sizeof(names[0]) == CommandCount, "a name for every command");
    return command < CommandCount ? names[command] : "?";
}

QString WindowCommands::run(const QByteArray& bytes) {
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const auto command = static_cast<Command>(static_cast<std::uint8_t>(bytes.at(i)) % CommandCount);
        const QString broken = step(command, static_cast<std::uint8_t>(bytes.at(i + 1)));
        if (!broken.isEmpty())
            return QStringLiteral("after command %1 (%2 %3): %4")
                .arg(i / 2)
                .arg(QString::fromLatin1(name(command)))
                .arg(static_cast<std::uint8_t>(bytes.at(i + 1)))
                .arg(broken);
    }
    // The paint of what the last command's deletions changed.
    QCoreApplication::processEvents();
    return QString();
}

int WindowCommands::legendRowCount() const {
    const SessionModel* model = m_window->graphModel()->sessionModel();
    int rows = model->rowCount();
    for (int row = 0; row < model->rowCount(); ++row)
        rows += model->rowCount(model->index(row, 0));
    return rows;
}

// The legend's rows in display order, containers before their traces; the nth of them, wrapping.
static QModelIndex legendRow(const SessionModel* model, int n) {
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex container = model->index(row, 0);
        if (n == 0)
            return container;
        --n;
        const int children = model->rowCount(container);
        if (n < children)
            return model->index(n, 0, container);
        n -= children;
    }
    return QModelIndex();
}

QString WindowCommands::step(Command command, std::uint8_t argument) {
    ++m_steps;
    runInEventLoop([&] { perform(command, argument); });
    settle();
    return brokenRule();
}

void WindowCommands::perform(Command command, std::uint8_t argument) {
    ZelPress& window = *m_window;
    SessionModel* model = window.graphModel()->sessionModel();
    const int rows = legendRowCount();
    const QModelIndex row = rows > 0 ? legendRow(model, argument % rows) : QModelIndex();
    GraphView* view = window.graphView();
    QWidget* viewport = view->viewport();
    const QPoint at(viewport->width() * (argument & 15) / 15, viewport->height() * (argument >> 4) / 15);
    m_boxes->questionAnswer = (argument & 1) ? QMessageBox::Ok : QMessageBox::Cancel;

    switch (command) {
    case SelectRow:
        window.selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows |
                                                          QItemSelectionModel::Current);
        break;
    case SelectNone:
        window.selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
        break;
    case Go:
        // What the window does with a finished stroke: the trace joins the active session, from which
        // no earlier edit can be undone any more. Sessions stay small, so a long run covers many orders
        // of commands rather than many traces.
        if (window.activeContainer()->graphs().size() >= kMaxTraces)
            break;
        window.activeContainer()->addGraphFromPress(stroke(argument), true);
        window.undoHistory()->reset();
        break;
    case RemovePlot:
        action(window, "removePlotAction")->trigger();
        break;
    case ClearLastPlot:
        action(window, "clearLastPlotAction")->trigger();
        break;
    case ClearAllPlots:
        action(window, "clearAllPlotsAction")->trigger();
        break;
    case Renumber:
        action(window, "renumberTracesAction")->trigger();
        break;
    case Undo:
        action(window, "undoAction")->trigger();
        break;
    case EditVelocity:
        if (row.isValid())
            model->setData(row.siblingAtColumn(SessionModel::Velocity), 2500 + argument, Qt::EditRole);
        break;
    case ToggleFlyer:
        if (row.isValid()) {
            const QModelIndex flyer = row.siblingAtColumn(SessionModel::Flyer);
            const bool checked = flyer.data(Qt::CheckStateRole).toInt() == Qt::Checked;
            model->setData(flyer, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
        }
        break;
    case ToggleVisibility:
        if (Graph* graph = model->graphAt(row))
            model->setData(row.siblingAtColumn(SessionModel::Visibility), !graph->visible(), Qt::EditRole);
        break;
    case EditPlot:
        m_editAnswer = argument;
        action(window, "editPlotAction")->trigger();
        break;
    case LoadCompare:
        if (window.graphModel()->compareContainers().size() >= kMaxComparisons)
            break;
        m_dialog->openPath = kSessionFiles.at(argument % kSessionFiles.size());
        action(window, "loadCompareAction")->trigger();
        break;
    case CloseCompare: {
        const auto bars = window.legend()->findChildren<GraphContainerItemMenu*>();
        if (!bars.isEmpty()) {
            const auto buttons = bars.at(argument % bars.size())->findChildren<QToolButton*>();
            // The bar's second button is the cross.
            if (buttons.size() > 1)
                buttons.at(1)->click();
        }
        break;
    }
    case NewSession:
        action(window, "newSessionAction")->trigger();
        break;
    case OpenSession:
        m_dialog->openPath = kSessionFiles.at(argument % kSessionFiles.size());
        action(window, "openSessionAction")->trigger();
        break;
    case SwitchUnits:
        action(window, (argument & 1) ? "metricUnitsAction" : "imperialUnitsAction")->trigger();
        break;
    case DarkMode:
        action(window, "darkModeAction")->trigger();
        break;
    case Autoscale:
        action(window, "autoscaleAction")->trigger();
        break;
    case WheelZoom: {
        QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, (argument & 1) ? 120 : -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &wheel);
        break;
    }
    case Pan: {
        const QPoint to(viewport->width() - at.x(), viewport->height() - at.y());
        QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, at);
        QMouseEvent move(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, to);
        break;
    }
    case ClickChart:
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, at);
        break;
    case Resize:
        window.resize(560 + 4 * argument, 380 + 2 * argument);
        break;
    case Export: {
        static const char* const actions[] = {"exportToCsvAction", "exportToCsvAllAction",
                                              "exportToImageAction", "exportToPdfAction"};
        static const char* const names[] = {"trace.csv", "all.csv", "chart.png", "report.pdf"};
        const int which = argument % 4;
        m_dialog->savePath = kFolder + QLatin1Char('/') + QLatin1String(names[which]);
        action(window, actions[which])->trigger();
        break;
    }
    case SaveAs:
        m_dialog->savePath =
            kFolder + ((argument & 1) ? QStringLiteral("/saved.SDT") : QStringLiteral("/saved"));
        action(window, "saveSessionAsAction")->trigger();
        break;
    case ColorBy: {
        static const char* const actions[] = {"workDoneColorAction",      "peakForceColorAction",
                                              "terminalForceColorAction", "startingPositionColorAction",
                                              "velocityColorAction",      "highlightFlyersAction"};
        action(window, actions[argument % 6])->trigger();
        break;
    }
    case ContextMenu: {
        // The right press selects the row; the menu then runs a loop of its own, in which the
        // deletions the selection asked for are not yet done when its command runs.
        const QModelIndex pressed = rows > 0 ? legendRow(model, (argument >> 2) % rows) : QModelIndex();
        window.selectionModel()->setCurrentIndex(pressed, QItemSelectionModel::ClearAndSelect |
                                                              QItemSelectionModel::Rows |
                                                              QItemSelectionModel::Current);
        static const char* const actions[] = {"removePlotAction", "editPlotAction", "renumberTracesAction",
                                              "exportToCsvAction"};
        m_dialog->savePath = kFolder + QStringLiteral("/trace.csv");
        m_editAnswer = argument;
        QEventLoop menuLoop;
        QTimer::singleShot(0, &menuLoop, [&] {
            action(window, actions[argument % 4])->trigger();
            // The menu closes: the chart under it is painted while the menu's loop still runs.
            viewport->repaint();
            menuLoop.quit();
        });
        menuLoop.exec();
        break;
    }
    case SetLimits:
        m_limitsAnswer = argument;
        action(window, "toleranceLimitsAction")->trigger();
        break;
    case CommandCount:
        break;
    }
}

void WindowCommands::runInEventLoop(const std::function<void()>& command) {
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        command();
        loop.quit();
    });
    loop.exec();
}

void WindowCommands::settle() {
    // As the event loop does: posted events, among them the paint of what changed, before the deferred
    // deletions run (a drawing item left behind by a deleted line is read there), then the deletions.
    // What they change is painted at the start of the next command's settling.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QString WindowCommands::brokenRule() const {
    const ZelPress& window = *m_window;
    const GraphModel* graphModel = window.graphModel();
    QList<GraphContainer*> containers{graphModel->activeContainer()};
    containers += graphModel->compareContainers();
    QSet<const Graph*> traces;
    for (const GraphContainer* container : std::as_const(containers)) {
        for (const Graph* graph : container->graphs())
            traces.insert(graph);
    }

    // One line on the chart for every trace, and none for anything else.
    QSet<const Graph*> drawn;
    const QList<GraphSeries*> lines = window.graphView()->chart()->graphSeries();
    for (const GraphSeries* line : lines) {
        if (!line->graph())
            return QStringLiteral("a line of a deleted trace is on the chart");
        if (!traces.contains(line->graph()))
            return QStringLiteral("a line on the chart shows no trace of the model");
        if (drawn.contains(line->graph()))
            return QStringLiteral("a trace has two lines on the chart");
        drawn.insert(line->graph());
    }
    if (drawn.size() != traces.size())
        return QStringLiteral("%1 traces but %2 lines on the chart").arg(traces.size()).arg(drawn.size());

    // One legend row for every container and, under it, one for each of its traces in order.
    const SessionModel* model = graphModel->sessionModel();
    if (model->rowCount() != containers.size())
        return QStringLiteral("%1 containers but %2 legend rows")
            .arg(containers.size())
            .arg(model->rowCount());
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex containerRow = model->index(row, 0);
        GraphContainer* container = model->containerAt(containerRow);
        if (!containers.contains(container))
            return QStringLiteral("legend row %1 names no loaded container").arg(row);
        if (model->rowCount(containerRow) != container->graphs().size())
            return QStringLiteral("legend row %1 has %2 trace rows for %3 traces")
                .arg(row)
                .arg(model->rowCount(containerRow))
                .arg(container->graphs().size());
        QSet<const Graph*> listed;
        for (int child = 0; child < model->rowCount(containerRow); ++child) {
            const Graph* graph = model->graphAt(model->index(child, 0, containerRow));
            if (!graph || graph->container() != container)
                return QStringLiteral("a trace row of legend row %1 names no trace of it").arg(row);
            listed.insert(graph);
        }
        if (listed.size() != container->graphs().size())
            return QStringLiteral("legend row %1 lists a trace twice").arg(row);
    }

    // The selection names a live trace (or container) or nothing; the chart's selected line likewise.
    const QModelIndex current = window.selectionModel()->currentIndex();
    if (current.isValid()) {
        if (current.model() != model)
            return QStringLiteral("the current row belongs to another model");
        const Graph* graph = model->graphAt(current);
        if (!graph && !model->containerAt(current))
            return QStringLiteral("the current row names neither a trace nor a container");
        if (graph && !traces.contains(graph))
            return QStringLiteral("the current row names a trace that is gone");
    }
    if (const GraphSeries* selected = window.graphView()->chart()->selectedSeries()) {
        if (!traces.contains(selected->graph()))
            return QStringLiteral("the selected line shows no live trace");
    }
    if (window.traceCommands()->currentGraph() && !traces.contains(window.traceCommands()->currentGraph()))
        return QStringLiteral("the Edit commands would act on a trace that is gone");

    // Every trace is judged by its own container's limits, in the judged measurement's cell alone, and the
    // status line speaks of the active session's latest stroke.
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex containerRow = model->index(row, 0);
        const GraphContainer* container = model->containerAt(containerRow);
        const int judged = SessionModel::columnOf(container->limits().measurement());
        for (int child = 0; child < model->rowCount(containerRow); ++child) {
            const QModelIndex traceRow = model->index(child, 0, containerRow);
            const Graph* graph = model->graphAt(traceRow);
            for (int column : {int(SessionModel::WorkDone), int(SessionModel::PeakForce),
                               int(SessionModel::TerminalForce)}) {
                const QVariant shown = traceRow.siblingAtColumn(column).data(SessionModel::kVerdictRole);
                const ToleranceLimits::Verdict verdict =
                    column == judged ? container->verdictFor(graph) : ToleranceLimits::NotJudged;
                const bool right = verdict == ToleranceLimits::NotJudged ? !shown.isValid()
                                                                         : shown == QVariant(int(verdict));
                if (!right)
                    return QStringLiteral("trace %1 of legend row %2 shows a verdict its limits do not give")
                        .arg(child)
                        .arg(row);
            }
        }
    }
    const auto* verdictLabel = window.findChild<QLabel*>(QStringLiteral("verdictLabel"));
    const QString line =
        ToleranceCommands::verdictLine(graphModel->activeContainer(), m_window->settings()->units);
    if (!verdictLabel || verdictLabel->text() != line || verdictLabel->isHidden() != line.isEmpty())
        return QStringLiteral("the status bar's verdict is not that of the latest stroke");

    // Undo is offered exactly when the history can take a step back.
    const bool undoOffered = action(const_cast<ZelPress&>(window), "undoAction")->isEnabled();
    if (undoOffered != window.undoHistory()->canUndo())
        return QStringLiteral("Undo is %1 but the history %2")
            .arg(undoOffered ? QStringLiteral("offered") : QStringLiteral("not offered"))
            .arg(window.undoHistory()->canUndo() ? QStringLiteral("can undo") : QStringLiteral("cannot"));
    return QString();
}
