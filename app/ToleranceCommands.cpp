#include "app/ToleranceCommands.h"

#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/SeatingStatistics.h"
#include "data/UndoHistory.h"
#include "dialogs/ToleranceLimitsDlg.h"

#include <QAction>
#include <QLabel>

namespace {

int decimalsOf(Measurement measurement) {
    return measurement == WorkDone ? 3 : 2;
}

} // namespace

ToleranceCommands::ToleranceCommands(GraphContainer* active, UndoHistory* undo, QAction* limitsAction,
                                     QLabel* verdictLabel, QWidget* dialogParent, QObject* parent)
    : QObject(parent)
    , m_active(active)
    , m_undo(undo)
    , m_label(verdictLabel)
    , m_dialogParent(dialogParent)
    , m_dialog([](const ToleranceLimits& current, Units units, double typicalValue, QWidget* parentWidget) {
        ToleranceLimitsDlg dialog(current, units, typicalValue, parentWidget);
        if (dialog.exec() != QDialog::Accepted)
            return std::optional<ToleranceLimits>();
        return std::optional<ToleranceLimits>(dialog.limits());
    }) {
    if (limitsAction)
        connect(limitsAction, &QAction::triggered, this, &ToleranceCommands::editLimits);
    if (m_active) {
        // The line names the latest trace by its number, which Renumber changes.
        for (auto signal : {&GraphContainer::graphAddedFromPress, &GraphContainer::graphAddedFromFile}) {
            connect(m_active, signal, this, [this](Graph* graph) {
                connect(graph, &Graph::traceNumberChanged, this, &ToleranceCommands::showVerdict);
                showVerdict();
            });
        }
        connect(m_active, &GraphContainer::graphRemoved, this, &ToleranceCommands::showVerdict);
        connect(m_active, &GraphContainer::bulkGraphAddFinished, this, &ToleranceCommands::showVerdict);
        connect(m_active, &GraphContainer::limitsChanged, this, &ToleranceCommands::showVerdict);
    }
    showVerdict();
}

void ToleranceCommands::setUnits(Units units) {
    m_units = units;
    showVerdict();
}

void ToleranceCommands::editLimits() {
    if (!m_active || !m_dialog)
        return;
    const SeatingStatistics statistics(m_active->graphs(), m_units);
    const std::optional<ToleranceLimits> chosen =
        m_dialog(m_active->limits(), m_units, statistics.summary(PeakForce).mean, m_dialogParent);
    if (!chosen || !m_active || *chosen == m_active->limits())
        return;
    m_active->setLimits(*chosen);
    if (m_undo)
        m_undo->recordSnapshot();
}

QString ToleranceCommands::verdictLine(const GraphContainer* container, Units units) {
    if (!container || !container->limits().hasLimits() || container->graphs().isEmpty())
        return QString();
    const Graph* latest = container->graphs().constLast();
    const ToleranceLimits limits = container->limits().inUnits(units);
    const Measurement measurement = limits.measurement();
    const ToleranceLimits::Verdict verdict = container->verdictFor(latest);
    const double value = latest->data(units).measurement(measurement);
    const QString judged =
        verdict == ToleranceLimits::NotJudged ? tr("not judged") : ToleranceLimits::verdictText(verdict);
    const QString shown =
        std::isfinite(value)
            ? QStringLiteral("%1 %2").arg(QString::number(value, 'f', decimalsOf(measurement)),
                                          ToleranceLimits::unitLabel(measurement, units))
            : tr("no value");
    return tr("Trace %1: %2, %3 %4")
        .arg(latest->traceNumber())
        .arg(judged, ToleranceLimits::measurementTitle(measurement), shown);
}

void ToleranceCommands::showVerdict() {
    if (!m_label)
        return;
    const QString line = verdictLine(m_active, m_units);
    m_label->setText(line);
    m_label->setVisible(!line.isEmpty());
    // Short enough to sit beside the connection and firmware; the limits are a hover away.
    m_label->setToolTip(line.isEmpty() ? QString()
                                       : tr("Tolerance: %1")
                                             .arg(m_active->limits().inUnits(m_units).text(
                                                 decimalsOf(m_active->limits().measurement()))));
    ToleranceLimits::Verdict verdict = ToleranceLimits::NotJudged;
    if (m_active && !m_active->graphs().isEmpty())
        verdict = m_active->verdictFor(m_active->graphs().constLast());
    // Out of tolerance stands out; in tolerance is quietly green.
    switch (verdict) {
    case ToleranceLimits::Low:
    case ToleranceLimits::High:
        m_label->setStyleSheet(QStringLiteral(
            "QLabel { color: white; background-color: #c62828; font-weight: bold; padding: 0 4px; }"));
        break;
    case ToleranceLimits::InTolerance:
        m_label->setStyleSheet(
            QStringLiteral("QLabel { color: #1b5e20; font-weight: bold; padding: 0 4px; }"));
        break;
    case ToleranceLimits::NotJudged:
        m_label->setStyleSheet(QString());
        break;
    }
}
