#pragma once

#include <QObject>

class GraphContainer;
class GraphLegend;
class GraphView;
class QAction;
struct Settings;
struct ZelPressUi;

// The View menu's options of the main window: dark mode, the legend's columns and flyer highlighting,
// each kept in the settings record, and the measurement colouring, which is not. Applies the stored
// states at construction.
class ViewOptions : public QObject {
    Q_OBJECT
public:
    // Nothing is owned; all must outlive this object.
    ViewOptions(const ZelPressUi& ui, Settings& settings, GraphView* view, GraphLegend* legend,
                GraphContainer* activeContainer, QObject* parent);

private:
    void applyColumn(int column, bool visible, bool Settings::*field);
    // Colours the active session by the checked measurement, or clears the colouring when the checked
    // action was clicked again.
    void onColorActionTriggered(QAction* action);

    const ZelPressUi& m_ui;
    Settings& m_settings;
    GraphView* m_graphView;
    GraphLegend* m_legend;
    GraphContainer* m_activeContainer;
};
