#pragma once

#include "chart/PointChartView.h"
#include "core/Units.h"
#include "data/Measurement.h"
#include "data/VelocityCorrelation.h"

#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class Graph;
class GraphModel;
class QAction;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

// Whether seating force moves velocity: a scatter of the active session's velocities against a measurement
// (peak force by default) for the visible traces that have a velocity and are not flyers, the least-squares
// line, the figures of VelocityCorrelation and one sentence. A click on a point names its trace. It follows
// the legend model as the statistics panel does.
class VelocityPanel : public QWidget {
    Q_OBJECT
public:
    // The model is not owned.
    explicit VelocityPanel(GraphModel* graphModel, QWidget* parent = nullptr);

    void setUnits(Units units);
    // The unit the velocities were entered in ("ft/s" unless told otherwise); only for the labels.
    void setVelocityUnit(const QString& unit);
    QString velocityUnit() const { return m_velocityUnit; }
    Measurement measurement() const { return m_measurement; }
    void setMeasurement(Measurement measurement);

    const VelocityCorrelation& correlation() const { return m_correlation; }
    QScatterSeries* pointSeries() const { return m_points; }
    QLineSeries* lineSeries() const { return m_line; }
    QChartView* chartView() const { return m_view; }
    QAction* copyAction() const { return m_copyAction; }
    // The figures and the sentence as tab-separated lines; what Copy puts on the clipboard.
    QString text() const;
    QString sentence() const;

public slots:
    void refresh();
    void copyToClipboard();

signals:
    void graphClicked(Graph* graph);

private:
    void scheduleRefresh();
    void onPointClicked(const QPointF& point);

    QPointer<GraphModel> m_graphModel;
    Units m_units = Imperial;
    QString m_velocityUnit = QStringLiteral("ft/s");
    Measurement m_measurement = PeakForce;
    QTimer m_refreshTimer;
    VelocityCorrelation m_correlation;
    QList<QPointF> m_pointValues;
    QList<QPointer<Graph>> m_pointGraphs;

    QComboBox* m_measurementCombo = nullptr;
    PointChartView* m_view = nullptr;
    QChart* m_chart = nullptr;
    QValueAxis* m_x = nullptr;
    QValueAxis* m_y = nullptr;
    QScatterSeries* m_points = nullptr;
    QLineSeries* m_line = nullptr;
    QLabel* m_figures = nullptr;
    QLabel* m_sentence = nullptr;
    QAction* m_copyAction = nullptr;
};
