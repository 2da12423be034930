#pragma once

#include "core/Units.h"
#include "data/SeatingStatistics.h"

#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class Graph;
class GraphContainer;
class GraphModel;
class QAction;
class QAreaSeries;
class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QScatterSeries;
class QTableWidget;
class QValueAxis;

// The seating statistics beside the legend: a table with one column per container (the active session
// first, then the comparison files in the legend's order) of the figures of SeatingStatistics, and a run
// chart of the active session's peak forces against their trace numbers with the mean and a band of one
// standard deviation either side. It follows the legend model, so it is up to date after every stroke,
// edit, undo, visibility change and open; changes that come in a burst are gathered into one update.
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
    // The run chart's peaks (flyers apart), its mean line and its band.
    QScatterSeries* peakSeries() const { return m_peaks; }
    QScatterSeries* flyerSeries() const { return m_flyers; }
    QLineSeries* meanSeries() const { return m_mean; }
    QAreaSeries* bandSeries() const { return m_band; }
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

private:
    void scheduleRefresh();
    void buildTable();
    void buildRunChart();
    void fillRowTitles();
    void fillTable();
    void setCell(int row, int column, const QString& text, bool indicative = false);
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

    QTableWidget* m_table = nullptr;
    QLabel* m_indicativeNote = nullptr;
    QAction* m_copyAction = nullptr;
    QLabel* m_runCaption = nullptr;
    QChartView* m_runChartView = nullptr;
    QChart* m_runChart = nullptr;
    QValueAxis* m_runX = nullptr;
    QValueAxis* m_runY = nullptr;
    QScatterSeries* m_peaks = nullptr;
    QScatterSeries* m_flyers = nullptr;
    QLineSeries* m_mean = nullptr;
    QAreaSeries* m_band = nullptr;
};
