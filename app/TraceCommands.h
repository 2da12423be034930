#pragma once

#include <QObject>

#include <functional>

class Graph;
class GraphContainer;
class GraphModel;
class QItemSelectionModel;
class QWidget;
class UndoHistory;

// The trace commands of the Edit menu, on the trace of the legend's current row. Edits of the active
// session are recorded in the undo history; edits of comparison files never are.
class TraceCommands : public QObject {
    Q_OBJECT
public:
    // Runs the trace dialog on a trace; true when it was accepted. Replaceable so a test can answer it.
    using EditDialog = std::function<bool(Graph* graph, QWidget* parent)>;

    // None of the arguments is owned.
    TraceCommands(GraphModel* model, QItemSelectionModel* selection, UndoHistory* undo, QWidget* dialogParent,
                  QObject* parent = nullptr);

    // The trace of the current legend row (at column 0), or none for a container row or no row.
    Graph* currentGraph() const;
    void setEditDialog(EditDialog dialog) { m_editDialog = std::move(dialog); }

public slots:
    void editPlot();
    void removePlot();
    void renumberPlots();
    void clearLastPlot();
    // Records a snapshot of the active session (an edit made in the legend).
    void recordActiveSessionEdit();

private:
    bool isActive(const GraphContainer* container) const;

    GraphModel* m_model;
    QItemSelectionModel* m_selection;
    UndoHistory* m_undo;
    QWidget* m_dialogParent;
    EditDialog m_editDialog;
};
