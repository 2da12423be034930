#pragma once

#include "core/Units.h"
#include "data/ToleranceLimits.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class Graph;
class GraphContainer;
class QAction;
class QLabel;
class QWidget;
class UndoHistory;

// The active session's tolerance limits as the user meets them: the command that sets them (an undoable
// edit of the session) and the status-bar line that judges the latest stroke the moment it is added, in
// autorun as in Go, and again whenever the limits or the traces change.
class ToleranceCommands : public QObject {
    Q_OBJECT
public:
    // Asks the user for limits, starting from the current ones shown in units; nothing when cancelled, no
    // limits (hasLimits() false) when the user removed them. Replaceable so a test can answer it.
    using LimitsDialog = std::function<std::optional<ToleranceLimits>(
        const ToleranceLimits& current, Units units, double typicalValue, QWidget* parent)>;

    // None of the arguments is owned; the action (when given) runs editLimits, the label is the status
    // bar's verdict field.
    ToleranceCommands(GraphContainer* active, UndoHistory* undo, QAction* limitsAction, QLabel* verdictLabel,
                      QWidget* dialogParent, QObject* parent = nullptr);

    void setLimitsDialog(LimitsDialog dialog) { m_dialog = std::move(dialog); }
    void setUnits(Units units);

    // The status-bar line on the latest trace, e.g. "Trace 5: HIGH, Peak Force 45.21 lbs" (the limits are
    // in the label's tooltip); empty without limits or traces.
    static QString verdictLine(const GraphContainer* container, Units units);

public slots:
    // Asks for new limits and gives them to the active session, recorded for undo when they differ.
    void editLimits();

private:
    void showVerdict();

    QPointer<GraphContainer> m_active;
    UndoHistory* m_undo;
    QPointer<QLabel> m_label;
    QWidget* m_dialogParent;
    Units m_units = Imperial;
    LimitsDialog m_dialog;
};
