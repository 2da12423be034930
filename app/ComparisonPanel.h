#pragma once

#include "core/Units.h"
#include "data/GroupComparison.h"
#include "data/Measurement.h"

#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class GraphContainer;
class GraphModel;
class QAction;
class QComboBox;
class QLabel;
class QTableWidget;
class QVBoxLayout;

// Two containers' strokes compared side by side: the active session or a comparison file against
// another, on one measurement. A table gives each container's count, mean and standard deviation, a
// second the Welch test of the means, the F-test of the variance ratio and the Brown–Forsythe test of the
// spreads, and a label says in two plain sentences what they show (spread first). Only visible traces
// that are not flyers count. It follows the legend model as the statistics panel does, so a burst of
// changes makes one update.
class ComparisonPanel : public QWidget {
    Q_OBJECT
public:
    // The model is not owned.
    explicit ComparisonPanel(GraphModel* graphModel, QWidget* parent = nullptr);

    Units units() const { return m_units; }
    void setUnits(Units units);
    // PeakForce (the default), TerminalForce or WorkDone; anything else is ignored.
    Measurement measurement() const { return m_measurement; }
    void setMeasurement(Measurement measurement);

    // The containers compared, as last computed; none while fewer than two exist.
    GraphContainer* firstContainer() const { return m_first; }
    GraphContainer* secondContainer() const { return m_second; }
    // Compares these two from now on and computes at once. One that is not among the containers, or the
    // same one twice, is replaced as a closed one is: the first by the active session, the second by the
    // first comparison file, or else the next container that is not the other.
    void setContainers(GraphContainer* first, GraphContainer* second);
    // The figures of the last computation (an empty comparison while fewer than two containers exist).
    const GroupComparison& comparison() const { return m_comparison; }

    // Every figure as shown (tab-separated, a line per row, a NaN as an empty field) and then the two
    // sentences; what Copy puts on the clipboard.
    QString text() const;

    QAction* copyAction() const { return m_copyAction; }

public slots:
    // Computes and shows everything now (otherwise done once control is back in the event loop).
    void refresh();
    // Puts text() on the clipboard.
    void copyToClipboard();

private:
    void scheduleRefresh();
    void buildControls(QVBoxLayout* layout);
    void buildTables();
    // The containers in the legend's order, the active session first.
    QList<GraphContainer*> listedContainers() const;
    void resolvePick(const QList<GraphContainer*>& listed);
    void fillCombos(const QList<GraphContainer*>& listed);
    void onContainerPicked(bool firstCombo, int index);
    void onMeasurementPicked(int index);
    QList<double> values(const GraphContainer* container) const;
    void fillTables();
    void fillVerdict();
    void setCell(QTableWidget* table, int row, int column, const QString& text,
                 const QString& toolTip = QString());
    // Columns no narrower than the widest figure of those rows; the table as tall as its rows.
    void fitTable(QTableWidget* table, const QList<int>& figureRows);

    QPointer<GraphModel> m_graphModel;
    Units m_units = Imperial;
    Measurement m_measurement = PeakForce;
    QTimer m_refreshTimer;
    // What the user picked; kept while those containers exist.
    QPointer<GraphContainer> m_first;
    QPointer<GraphContainer> m_second;
    // The combos' entries, in their order.
    QList<QPointer<GraphContainer>> m_listed;
    QStringList m_listedTitles;
    GroupComparison m_comparison;
    // Each test's statistic, degrees of freedom and p as copied: plain, empty where there is none.
    QList<QStringList> m_testFigures;

    QComboBox* m_firstCombo = nullptr;
    QComboBox* m_secondCombo = nullptr;
    QComboBox* m_measurementCombo = nullptr;
    QTableWidget* m_table = nullptr;
    QTableWidget* m_testsTable = nullptr;
    QLabel* m_verdict = nullptr;
    QAction* m_copyAction = nullptr;
};
