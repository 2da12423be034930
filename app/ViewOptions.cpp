#include "app/ViewOptions.h"

#include "app/ZelPressUi.h"
#include "chart/GraphLegend.h"
#include "chart/GraphView.h"
#include "chart/SessionModel.h"
#include "core/Settings.h"
#include "data/GraphContainer.h"

#include <QAction>
#include <QActionGroup>

ViewOptions::ViewOptions(const ZelPressUi& ui, Settings& settings, GraphView* view, GraphLegend* legend,
                         GraphContainer* activeContainer, QObject* parent)
    : QObject(parent)
    , m_ui(ui)
    , m_settings(settings)
    , m_graphView(view)
    , m_legend(legend)
    , m_activeContainer(activeContainer) {
    ui.darkModeAction->setChecked(m_settings.darkMode);
    m_graphView->setDarkMode(m_settings.darkMode);
    connect(ui.darkModeAction, &QAction::toggled, this, [this](bool checked) {
        m_settings.darkMode = checked;
        m_graphView->setDarkMode(checked);
    });

    const struct {
        QAction* action;
        int column;
        bool Settings::*field;
    } columns[] = {
        {ui.titleColumnAction, SessionModel::Title, &Settings::legendColumnVisibleTitle},
        {ui.workDoneColumnAction, SessionModel::WorkDone, &Settings::legendColumnVisibleWorkDone},
        {ui.peakForceColumnAction, SessionModel::PeakForce, &Settings::legendColumnVisiblePeakForce},
        {ui.terminalForceColumnAction, SessionModel::TerminalForce,
         &Settings::legendColumnVisibleTerminalForce},
        {ui.startingPositionColumnAction, SessionModel::StartingPosition,
         &Settings::legendColumnVisibleStartingPosition},
        {ui.velocityColumnAction, SessionModel::Velocity, &Settings::legendColumnVisibleVelocity},
        {ui.flyerColumnAction, SessionModel::Flyer, &Settings::legendColumnVisibleFlyer},
    };
    for (const auto& column : columns) {
        column.action->setChecked(m_settings.*column.field);
        m_legend->setColumnVisible(column.column, m_settings.*column.field);
        connect(column.action, &QAction::toggled, this,
                [this, column = column.column, field = column.field](bool checked) {
                    applyColumn(column, checked, field);
                });
    }

    ui.highlightFlyersAction->setChecked(m_settings.highlightFlyers);
    m_activeContainer->setHighlightFlyers(m_settings.highlightFlyers);
    connect(ui.highlightFlyersAction, &QAction::toggled, this, [this](bool checked) {
        m_settings.highlightFlyers = checked;
        m_activeContainer->setHighlightFlyers(checked);
    });
    connect(ui.colorActionGroup, &QActionGroup::triggered, this, &ViewOptions::onColorActionTriggered);
}

void ViewOptions::applyColumn(int column, bool visible, bool Settings::*field) {
    m_settings.*field = visible;
    m_legend->setColumnVisible(column, visible);
}

void ViewOptions::onColorActionTriggered(QAction* action) {
    if (!m_ui.colorActionGroup->checkedAction()) {
        m_activeContainer->clearMeasurementColors();
        return;
    }
    Measurement measurement = PeakForce;
    if (action == m_ui.workDoneColorAction)
        measurement = WorkDone;
    else if (action == m_ui.terminalForceColorAction)
        measurement = TerminalForce;
    else if (action == m_ui.startingPositionColorAction)
        measurement = StartingPosition;
    else if (action == m_ui.velocityColorAction)
        measurement = Velocity;
    m_activeContainer->applyMeasurementColors(measurement);
}
