#pragma once

#include "chart/PointChartView.h"
#include "core/Units.h"
#include "data/ControlChart.h"
#include "data/SeatingStatistics.h"

#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class ComparisonPanel;
class VelocityPanel;
class Graph;
class GraphContainer;
class GraphModel;
class QAction;
class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QPushButton;
class QScatterSeries;
class QSplitter;
class QTabWidget;
class QTableWidget;
class QValueAxis;

// The seating statistics beside the legend: a table with one column per container (the active session
// first, then the comparison files in the legend's order) of the figures of SeatingStatistics and, for a
// container with tolerance limits, how many strokes are in tolerance and its Cp and Cpk; below it, an
// individuals control chart of the active session's judged measurement (peak force without limits)
// against the trace numbers: the centre line at the mean, the control limits, the tolerance limits and
// the points that break a rule marked. It follows the legend model, so it is up to date after every
// stroke, edit, undo, visibility change, change of limits and open; changes that come in a burst are
// gathered into one update.
class StatisticsPanel : public QWidget {
    Q_OBJECT
public:
    // The model is not owned.
    explicit StatisticsPanel(GraphModel* graphModel, QWidget* parent = nullptr);

    QSize sizeHint() const override;

    Units units() const { return m_units; }
    void setUnits(Units units);

    // The containers of the table's columns and their figures, as last computed.
    QList<GraphContainer*> containers() const;
    QList<SeatingStatistics> statistics() const { return m_statistics; }
    // The table as tab-separated lines (header line first), the numbers as shown; what Copy puts on
    // the clipboard.
    QString tableText() const;

    QTableWidget* table() const { return m_table; }
    QAction* copyAction() const { return m_copyAction; }
    QChartView* runChartView() const { return m_runChartView; }
    // The tabs below the table: the control chart, the comparison of two sessions, and velocity against
    // seating force.
    QTabWidget* lowerTabs() const { return m_lowerTabs; }
    ComparisonPanel* comparisonPanel() const { return m_comparisonPanel; }
    VelocityPanel* velocityPanel() const { return m_velocityPanel; }
    QPushButton* limitsButton() const { return m_limitsButton; }
    // The run chart's points (flyers apart, left out of the figures), its centre line, its control limits,
    // the tolerance limits and the points that break a rule.
    QScatterSeries* peakSeries() const { return m_peaks; }
    QScatterSeries* flyerSeries() const { return m_flyers; }
    QLineSeries* meanSeries() const { return m_mean; }
    QLineSeries* upperControlSeries() const { return m_upperControl; }
    QLineSeries* lowerControlSeries() const { return m_lowerControl; }
    QLineSeries* lowToleranceSeries() const { return m_lowTolerance; }
    QLineSeries* highToleranceSeries() const { return m_highTolerance; }
    QScatterSeries* violationSeries() const { return m_violations; }
    // The control chart of the active session as last computed, and the measurement it shows.
    const ControlChart& controlChart() const { return m_controlChart; }
    Measurement runMeasurement() const { return m_runMeasurement; }
    // The control limits and the points that break a rule, in whole sentences (the chart's tooltip), and
    // the short line under the chart.
    QString ruleText() const;
    QString ruleSummary() const;
    // "12 strokes, 1 flyer excluded"
    static QString strokesText(const SeatingStatistics& statistics);

public slots:
    // Computes and shows everything now (otherwise done once control is back in the event loop).
    void refresh();
    // Puts tableText() on the clipboard.
    void copyToClipboard();

signals:
    // A point of the run chart was clicked: the trace it stands for.
    void graphClicked(Graph* graph);
    // The user asked to set the active session's tolerance limits.
    void limitsRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scheduleRefresh();
    void shareHeight();
    void fitWrappedLabels();
    void buildTable();
    void buildRunChart();
    void fillRowTitles();
    void fillTable();
    void setCell(int row, int column, const QString& text, bool indicative = false);
    void fillToleranceRows(int column, const GraphContainer* container);
    void fillControlRows(int column, const GraphContainer* container);
    void fillRunChart();
    void onRunChartClicked(const QPointF& point);

    QPointer<GraphModel> m_graphModel;
    Units m_units = Imperial;
    Units m_rowTitleUnits = Imperial;
    QTimer m_refreshTimer;
    QList<QPointer<GraphContainer>> m_containers;
    QList<SeatingStatistics> m_statistics;
    QList<QPointer<Graph>> m_runGraphs; // the trace of each run chart point: peaks, then flyers
    QList<QPointF> m_runPoints;
    ControlChart m_controlChart;
    Measurement m_runMeasurement = PeakForce;
    QList<int> m_violationTraces;

    QLabel* m_limitsLabel = nullptr;
    QPushButton* m_limitsButton = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_indicativeNote = nullptr;
    QSplitter* m_splitter = nullptr;
    bool m_splitMovedByUser = false;
    QTabWidget* m_lowerTabs = nullptr;
    QWidget* m_comparisonScroll = nullptr;
    ComparisonPanel* m_comparisonPanel = nullptr;
    VelocityPanel* m_velocityPanel = nullptr;
    QLabel* m_ruleNote = nullptr;
    QAction* m_copyAction = nullptr;
    QLabel* m_runCaption = nullptr;
    PointChartView* m_runChartView = nullptr;
    QChart* m_runChart = nullptr;
    QValueAxis* m_runX = nullptr;
    QValueAxis* m_runY = nullptr;
    QScatterSeries* m_peaks = nullptr;
    QScatterSeries* m_flyers = nullptr;
    QLineSeries* m_mean = nullptr;
    QLineSeries* m_upperControl = nullptr;
    QLineSeries* m_lowerControl = nullptr;
    QLineSeries* m_lowTolerance = nullptr;
    QLineSeries* m_highTolerance = nullptr;
    QScatterSeries* m_violations = nullptr;
};
