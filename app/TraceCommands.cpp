#include "app/TraceCommands.h"

#include "chart/GraphModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/UndoHistory.h"
#include "dialogs/TraceSetupDlg.h"

#include <QItemSelectionModel>
#include <QPointer>
#include <QStandardItemModel>

TraceCommands::TraceCommands(GraphModel* model, QItemSelectionModel* selection, UndoHistory* undo,
                             QWidget* dialogParent, QObject* parent)
    : QObject(parent)
    , m_model(model)
    , m_selection(selection)
    , m_undo(undo)
    , m_dialogParent(dialogParent)
    , m_editDialog([](Graph* graph, QWidget* parentWidget) {
        TraceSetupDlg dialog(graph, parentWidget);
        return dialog.exec() == QDialog::Accepted;
    }) {}

Graph* TraceCommands::currentGraph() const {
    const QModelIndex index = m_selection->currentIndex().siblingAtColumn(0);
    if (!index.isValid())
        return nullptr;
    return qobject_cast<Graph*>(index.data(Qt::UserRole + 1).value<QObject*>());
}

bool TraceCommands::isActive(const GraphContainer* container) const {
    return container && container == m_model->activeContainer();
}

void TraceCommands::editPlot() {
    QPointer<Graph> graph = currentGraph();
    if (!graph)
        return;
    const bool accepted = m_editDialog(graph, m_dialogParent);
    // The trace may have gone while the dialog was open (its file closed, an undo).
    if (accepted && graph && isActive(graph->container()))
        m_undo->recordSnapshot();
}

void TraceCommands::removePlot() {
    Graph* graph = currentGraph();
    if (!graph || !graph->container())
        return;
    GraphContainer* container = graph->container();
    container->removeGraph(graph);
    if (isActive(container))
        m_undo->recordSnapshot();
}

void TraceCommands::renumberPlots() {
    GraphContainer* active = m_model->activeContainer();
    if (!active)
        return;
    active->renumber();
    m_undo->recordSnapshot();
}

void TraceCommands::clearLastPlot() {
    GraphContainer* active = m_model->activeContainer();
    if (!active || active->isEmpty())
        return;
    active->removeLastGraph();
    m_undo->recordSnapshot();
}

void TraceCommands::recordActiveSessionEdit() {
    m_undo->recordSnapshot();
}
