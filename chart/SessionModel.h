#pragma once

#include "core/Units.h"
#include "data/Measurement.h"

#include <QIcon>
#include <QPersistentModelIndex>
#include <QStandardItemModel>

#include <functional>

class Graph;
class GraphContainer;

// The legend's item model: one top-level row per container and under it one row per trace. Rows follow
// their containers and traces through signals; edits of Velocity, Flyer and Visibility go to the trace,
// whose change signal then rewrites the cell.
class SessionModel : public QStandardItemModel {
    Q_OBJECT
public:
    enum Columns {
        Reference = 0,
        Color = 1,
        TraceNumber = 2,
        Title = 3,
        WorkDone = 4,
        PeakForce = 5,
        TerminalForce = 6,
        StartingPosition = 7,
        Velocity = 8,
        Flyer = 9,
        Visibility = 10,
        Count = 11,
    };
    Q_ENUM(Columns)

    // The role under which a row's column-0 item holds its Graph* or GraphContainer*.
    static constexpr int kObjectRole = Qt::UserRole + 1;

    explicit SessionModel(QObject* parent = nullptr);

    // Appends the container's row with a row for each of its traces and follows it until it is destroyed.
    void addContainer(GraphContainer* container);
    // Rewrites the measurement columns of every trace row in the given units.
    void setUnits(Units units);
    Units units() const { return m_units; }

    // The trace of the row of a trace-row index (any column); none for container rows and invalid indexes.
    Graph* graphAt(const QModelIndex& index) const;
    // The container of a top-level row's index (any column); none for trace rows and invalid indexes.
    GraphContainer* containerAt(const QModelIndex& index) const;

    // The role under which the cell of the measurement a container's limits judge gives the trace's
    // ToleranceLimits::Verdict (an int); invalid for every other cell. That cell is also tinted green in
    // tolerance and red out of it, with a tooltip giving the verdict and the limits.
    static constexpr int kVerdictRole = Qt::UserRole + 2;
    // The column of a measurement judged by limits; -1 for others.
    static int columnOf(Measurement measurement);

    // Trace rows' Reference cells show their 1-based position within the container, in grey.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Velocity (edit role), Flyer (check-state role) and Visibility (edit role) of a trace row change the
    // trace and return true; everything else is the standard model's.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

signals:
    void modelChanged();
    void activeSessionInlineEdit();
    // Anything shown may have changed: rows inserted, removed or moved, cells changed, a new layout or a
    // reset. What derives figures from the containers and traces follows this one signal.
    void contentsChanged();

private:
    // The items of a trace row, filled from the trace in the current units.
    QList<QStandardItem*> makeGraphRow(Graph* graph) const;
    void addGraphRow(const QPersistentModelIndex& containerRow, Graph* graph);
    // Connects the trace's signals to the cells of its row.
    void followGraph(const QPersistentModelIndex& row, Graph* graph);
    // The item of a column in the row of a still existing row reference; none once the row is gone.
    QStandardItem* cell(const QPersistentModelIndex& row, int column) const;
    void fillMeasurements(const QPersistentModelIndex& row, const Graph* graph);
    void fillContainerText(const QPersistentModelIndex& row, const GraphContainer* container);
    // The verdict of the container's limits on the trace in the judged measurement's cell (tint, tooltip
    // and kVerdictRole), and none in the other measurement cells; itemAt gives a column's item.
    void fillVerdict(const std::function<QStandardItem*(int)>& itemAt, const Graph* graph) const;

    Units m_units = Imperial;
    QIcon m_visibleIcon;
    QIcon m_invisibleIcon;
};
