#include "app/VelocityPanel.h"

#include "chart/GraphModel.h"
#include "chart/SessionModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/GroupComparison.h"
#include "data/ToleranceLimits.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr Measurement kMeasurements[] = {PeakForce, TerminalForce, WorkDone};
constexpr int kChartMinimumHeight = 150;

QString figure(double value, int decimals) {
    return std::isfinite(value) ? QString::number(value, 'f', decimals) : QString();
}

} // namespace

VelocityPanel::VelocityPanel(GraphModel* graphModel, QWidget* parent)
    : QWidget(parent)
    , m_graphModel(graphModel) {
    setObjectName(QStringLiteral("velocityPanel"));
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(0);
    connect(&m_refreshTimer, &QTimer::timeout, this, &VelocityPanel::refresh);

    m_measurementCombo = new QComboBox(this);
    m_measurementCombo->setObjectName(QStringLiteral("velocityMeasurementCombo"));
    for (Measurement measurement : kMeasurements)
        m_measurementCombo->addItem(ToleranceLimits::measurementTitle(measurement), int(measurement));
    connect(m_measurementCombo, &QComboBox::currentIndexChanged, this,
            [this]() { setMeasurement(Measurement(m_measurementCombo->currentData().toInt())); });

    m_chart = new QChart;
    m_chart->legend()->hide();
    m_chart->setMargins(QMargins(2, 2, 2, 2));
    m_chart->setBackgroundRoundness(0);
    m_x = new QValueAxis;
    m_y = new QValueAxis;
    m_chart->addAxis(m_x, Qt::AlignBottom);
    m_chart->addAxis(m_y, Qt::AlignLeft);
    m_line = new QLineSeries;
    m_line->setName(tr("Least-squares line"));
    m_line->setPen(QPen(QColor(200, 40, 40), 1.5));
    m_points = new QScatterSeries;
    m_points->setName(tr("Rounds"));
    m_points->setMarkerSize(8.0);
    m_points->setColor(QColor(31, 90, 160));
    m_points->setBorderColor(QColor(31, 90, 160));
    for (QAbstractSeries* series :
         {static_cast<QAbstractSeries*>(m_line), static_cast<QAbstractSeries*>(m_points)}) {
        m_chart->addSeries(series);
        series->attachAxis(m_x);
        series->attachAxis(m_y);
    }
    connect(m_points, &QXYSeries::clicked, this, &VelocityPanel::onPointClicked);
    m_view = new PointChartView(m_chart, this);
    m_view->setObjectName(QStringLiteral("velocityChartView"));
    m_view->setRenderHint(QPainter::Antialiasing, true);
    m_view->setMinimumHeight(kChartMinimumHeight);

    m_figures = new QLabel(this);
    m_figures->setObjectName(QStringLiteral("velocityFigures"));
    m_figures->setWordWrap(true);
    m_figures->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_sentence = new QLabel(this);
    m_sentence->setObjectName(QStringLiteral("velocitySentence"));
    m_sentence->setWordWrap(true);
    m_sentence->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = m_sentence->font();
    bold.setBold(true);
    m_sentence->setFont(bold);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* form = new QFormLayout;
    form->addRow(tr("Velocity against"), m_measurementCombo);
    layout->addLayout(form);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_figures);
    layout->addWidget(m_sentence);

    m_copyAction = new QAction(tr("Copy"), this);
    m_copyAction->setObjectName(QStringLiteral("copyVelocityAction"));
    m_copyAction->setShortcut(QKeySequence::Copy);
    m_copyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(m_copyAction, &QAction::triggered, this, &VelocityPanel::copyToClipboard);
    addAction(m_copyAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    if (graphModel) {
        connect(graphModel->sessionModel(), &SessionModel::contentsChanged, this,
                &VelocityPanel::scheduleRefresh);
    }
    refresh();
}

void VelocityPanel::setUnits(Units units) {
    if (units == m_units)
        return;
    m_units = units;
    scheduleRefresh();
}

void VelocityPanel::setVelocityUnit(const QString& unit) {
    if (unit == m_velocityUnit || unit.isEmpty())
        return;
    m_velocityUnit = unit;
    scheduleRefresh();
}

void VelocityPanel::setMeasurement(Measurement measurement) {
    const int index = m_measurementCombo->findData(int(measurement));
    if (index < 0)
        return;
    m_measurement = measurement;
    if (m_measurementCombo->currentIndex() != index)
        m_measurementCombo->setCurrentIndex(index);
    refresh();
}

void VelocityPanel::scheduleRefresh() {
    if (!m_refreshTimer.isActive())
        m_refreshTimer.start();
}

void VelocityPanel::refresh() {
    m_refreshTimer.stop();
    m_pointValues.clear();
    m_pointGraphs.clear();
    if (GraphContainer* active = m_graphModel ? m_graphModel->activeContainer() : nullptr) {
        const auto graphs = active->graphs();
        for (Graph* graph : graphs) {
            // A velocity of 0 is the one nobody entered.
            const double velocity = graph->velocity();
            const double value = graph->data(m_units).measurement(m_measurement);
            if (!graph->visible() || graph->flyer() || velocity == 0.0 || !std::isfinite(velocity) ||
                !std::isfinite(value))
                continue;
            m_pointValues.append(QPointF(value, velocity));
            m_pointGraphs.append(graph);
        }
    }
    m_correlation = VelocityCorrelation(m_pointValues);
    m_points->replace(m_pointValues);

    double left = 0.0;
    double right = 1.0;
    double bottom = 0.0;
    double top = 1.0;
    for (qsizetype i = 0; i < m_pointValues.size(); ++i) {
        const QPointF& point = m_pointValues.at(i);
        left = i == 0 ? point.x() : std::min(left, point.x());
        right = i == 0 ? point.x() : std::max(right, point.x());
        bottom = i == 0 ? point.y() : std::min(bottom, point.y());
        top = i == 0 ? point.y() : std::max(top, point.y());
    }
    if (std::isfinite(m_correlation.slope()) && m_pointValues.size() >= 2) {
        m_line->replace({QPointF(left, m_correlation.intercept() + m_correlation.slope() * left),
                         QPointF(right, m_correlation.intercept() + m_correlation.slope() * right)});
    } else {
        m_line->clear();
    }
    const double xMargin = right > left ? 0.05 * (right - left) : std::max(0.5, 0.05 * std::abs(right));
    const double yMargin = top > bottom ? 0.1 * (top - bottom) : std::max(1.0, 0.05 * std::abs(top));
    m_x->setRange(left - xMargin, right + xMargin);
    m_x->applyNiceNumbers();
    m_y->setRange(bottom - yMargin, top + yMargin);
    m_y->applyNiceNumbers();
    const QString unit = ToleranceLimits::unitLabel(m_measurement, m_units);
    m_x->setTitleText(QStringLiteral("%1 (%2)").arg(ToleranceLimits::measurementTitle(m_measurement), unit));
    m_y->setTitleText(tr("Velocity (%1)").arg(m_velocityUnit));

    const VelocityCorrelation& c = m_correlation;
    QString figures = tr("n = %1").arg(c.count());
    if (std::isfinite(c.slope())) {
        figures += tr(";  slope %1 %2 per %3").arg(figure(c.slope(), 2), m_velocityUnit, unit);
        if (std::isfinite(c.slopeLow()))
            figures += tr(" (95 %: %1 to %2)").arg(figure(c.slopeLow(), 2), figure(c.slopeHigh(), 2));
    }
    if (std::isfinite(c.r()))
        figures += tr(";  Pearson r = %1").arg(figure(c.r(), 2));
    if (std::isfinite(c.p()))
        figures += tr(" (%1)").arg(GroupComparison::pStatement(c.p()));
    if (std::isfinite(c.rho()))
        figures += tr(";  Spearman %1 = %2").arg(QChar(0x03C1), figure(c.rho(), 2));
    if (std::isfinite(c.rhoP()))
        figures += tr(" (%1)").arg(GroupComparison::pStatement(c.rhoP()));
    m_figures->setText(figures);
    m_sentence->setText(sentence());
}

QString VelocityPanel::sentence() const {
    // The sentence speaks of seating force for the forces, of work for work done.
    const QString what = m_measurement == WorkDone ? tr("work done") : tr("seating force");
    return m_correlation.sentence(what, ToleranceLimits::unitLabel(m_measurement, m_units), m_velocityUnit);
}

QString VelocityPanel::text() const {
    const VelocityCorrelation& c = m_correlation;
    const QString unit = ToleranceLimits::unitLabel(m_measurement, m_units);
    const auto number = [](double value) {
        return std::isfinite(value) ? QString::number(value, 'g', 10) : QString();
    };
    QStringList lines;
    lines << tr("Velocity against\t%1 (%2)").arg(ToleranceLimits::measurementTitle(m_measurement), unit);
    lines << tr("n\t%1").arg(c.count());
    lines << tr("Slope (%1 per %2)\t%3").arg(m_velocityUnit, unit, number(c.slope()));
    lines << tr("Slope 95 % low\t%1").arg(number(c.slopeLow()));
    lines << tr("Slope 95 % high\t%1").arg(number(c.slopeHigh()));
    lines << tr("Intercept (%1)\t%2").arg(m_velocityUnit, number(c.intercept()));
    lines << tr("Pearson r\t%1").arg(number(c.r()));
    lines << tr("Pearson p\t%1").arg(number(c.p()));
    lines << tr("Spearman rho\t%1").arg(number(c.rho()));
    lines << tr("Spearman p\t%1").arg(number(c.rhoP()));
    lines << sentence();
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void VelocityPanel::copyToClipboard() {
    if (m_refreshTimer.isActive())
        refresh();
    QGuiApplication::clipboard()->setText(text());
}

void VelocityPanel::onPointClicked(const QPointF& point) {
    const qsizetype nearest = m_view->nearestPoint(m_pointValues, m_points, point);
    if (nearest >= 0 && m_pointGraphs.at(nearest))
        emit graphClicked(m_pointGraphs.at(nearest));
}
