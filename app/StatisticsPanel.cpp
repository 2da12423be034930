#include "app/StatisticsPanel.h"

#include "app/ElidingHeaderView.h"
#include "chart/GraphModel.h"
#include "chart/SessionModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"

#include <QAction>
#include <QAreaSeries>
#include <QBrush>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QMouseEvent>
#include <QScatterSeries>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The least the panel keeps of its parts when the window is short.
constexpr int kRunChartMinimumHeight = 160;
constexpr int kRowsAlwaysShown = 6;

// The rows of the table: two counts, then for each measurement a heading and its six figures.
enum Figure { Count, Mean, StandardDeviation, ExtremeSpread, Minimum, Maximum, FigureCount };
constexpr int kCountRows = 2;
constexpr int kRowsPerMeasurement = 1 + FigureCount;
constexpr int kDecimals = 2;

int headingRow(std::size_t measurementIndex) {
    return kCountRows + int(measurementIndex) * kRowsPerMeasurement;
}

QString number(double value) {
    return std::isfinite(value) ? QString::number(value, 'f', kDecimals) : QString();
}

double figure(const SeatingStatistics::Summary& summary, int which) {
    switch (which) {
    case Mean:
        return summary.mean;
    case StandardDeviation:
        return summary.standardDeviation;
    case ExtremeSpread:
        return summary.extremeSpread;
    case Minimum:
        return summary.minimum;
    case Maximum:
        return summary.maximum;
    default:
        return std::numeric_limits<double>::quiet_NaN();
    }
}

// The chart view's own press handling reads the item under the pointer without checking that there is
// one; where the scene has none, only the plain graphics view handling runs.
class RunChartView : public QChartView {
public:
    using QChartView::QChartView;

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (itemAt(event->position().toPoint()))
            QChartView::mousePressEvent(event);
        else
            QGraphicsView::mousePressEvent(event);
    }
};

} // namespace

StatisticsPanel::StatisticsPanel(GraphModel* graphModel, QWidget* parent)
    : QWidget(parent)
    , m_graphModel(graphModel) {
    setObjectName(QStringLiteral("statisticsPanel"));
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(0);
    connect(&m_refreshTimer, &QTimer::timeout, this, &StatisticsPanel::refresh);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    buildTable();
    layout->addWidget(m_table);
    layout->addWidget(m_indicativeNote);
    buildRunChart();
    layout->addWidget(m_runCaption);
    layout->addWidget(m_runChartView, 1);

    if (graphModel) {
        // The legend model follows every container and trace already; any change of it may change a figure.
        SessionModel* legend = graphModel->sessionModel();
        connect(legend, &QAbstractItemModel::rowsInserted, this, &StatisticsPanel::scheduleRefresh);
        connect(legend, &QAbstractItemModel::rowsRemoved, this, &StatisticsPanel::scheduleRefresh);
        connect(legend, &QAbstractItemModel::rowsMoved, this, &StatisticsPanel::scheduleRefresh);
        connect(legend, &QAbstractItemModel::dataChanged, this, &StatisticsPanel::scheduleRefresh);
        connect(legend, &QAbstractItemModel::layoutChanged, this, &StatisticsPanel::scheduleRefresh);
        connect(legend, &QAbstractItemModel::modelReset, this, &StatisticsPanel::scheduleRefresh);
    }
    refresh();
}

void StatisticsPanel::buildTable() {
    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("statisticsTable"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setFocusPolicy(Qt::ClickFocus);
    m_table->setWordWrap(false);
    // The containers share the width: their names elide in the header, their values never (no column
    // is narrower than the widest value, fillTable), and a scroll bar comes only when even that is too wide.
    m_table->setHorizontalHeader(new ElidingHeaderView(Qt::Horizontal, m_table));
    m_table->horizontalHeader()->setObjectName(QStringLiteral("statisticsTableHeader"));
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // As tall as its rows where there is room, scrolling where there is not (a laptop's screen).
    m_table->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    m_table->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    m_table->setRowCount(kCountRows + int(SeatingStatistics::kMeasurements.size()) * kRowsPerMeasurement);

    m_copyAction = new QAction(tr("Copy"), this);
    m_copyAction->setObjectName(QStringLiteral("copyStatisticsAction"));
    m_copyAction->setShortcut(QKeySequence::Copy);
    m_copyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(m_copyAction, &QAction::triggered, this, &StatisticsPanel::copyToClipboard);
    addAction(m_copyAction);
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_table->addAction(m_copyAction);

    m_indicativeNote = new QLabel(this);
    m_indicativeNote->setObjectName(QStringLiteral("indicativeNote"));
    m_indicativeNote->setWordWrap(true);
    m_indicativeNote->setText(tr("Spreads in italics rest on fewer than %1 strokes: indicative only.")
                                  .arg(SeatingStatistics::kIndicativeBelow));
}

void StatisticsPanel::buildRunChart() {
    m_runCaption = new QLabel(this);
    m_runCaption->setObjectName(QStringLiteral("runChartCaption"));

    m_runChart = new QChart;
    m_runChart->legend()->hide();
    m_runChart->setMargins(QMargins(2, 2, 2, 2));
    m_runChart->setBackgroundRoundness(0);
    m_runX = new QValueAxis;
    m_runX->setTitleText(tr("Trace #"));
    m_runX->setLabelFormat(QStringLiteral("%d"));
    m_runX->setTickType(QValueAxis::TicksDynamic);
    m_runX->setTickAnchor(0.0);
    m_runY = new QValueAxis;
    m_runChart->addAxis(m_runX, Qt::AlignBottom);
    m_runChart->addAxis(m_runY, Qt::AlignLeft);

    // The area series does not own its bounds; they go with it as its children.
    m_band = new QAreaSeries;
    m_band->setUpperSeries(new QLineSeries(m_band));
    m_band->setLowerSeries(new QLineSeries(m_band));
    m_band->setName(tr("Mean ± 1 SD"));
    m_band->setBrush(QColor(70, 130, 180, 60));
    m_band->setPen(Qt::NoPen);
    m_mean = new QLineSeries;
    m_mean->setName(tr("Mean"));
    m_mean->setPen(QPen(QColor(70, 130, 180), 1.5, Qt::DashLine));
    m_flyers = new QScatterSeries;
    m_flyers->setName(tr("Flyers"));
    m_flyers->setMarkerSize(8.0);
    m_flyers->setColor(Qt::white);
    m_flyers->setBorderColor(Qt::black);
    m_peaks = new QScatterSeries;
    m_peaks->setName(tr("Peak Force"));
    m_peaks->setMarkerSize(8.0);
    m_peaks->setColor(QColor(31, 90, 160));
    m_peaks->setBorderColor(QColor(31, 90, 160));
    for (QAbstractSeries* series :
         {static_cast<QAbstractSeries*>(m_band), static_cast<QAbstractSeries*>(m_mean),
          static_cast<QAbstractSeries*>(m_flyers), static_cast<QAbstractSeries*>(m_peaks)}) {
        m_runChart->addSeries(series);
        series->attachAxis(m_runX);
        series->attachAxis(m_runY);
    }
    connect(m_peaks, &QXYSeries::clicked, this, &StatisticsPanel::onRunChartClicked);
    connect(m_flyers, &QXYSeries::clicked, this, &StatisticsPanel::onRunChartClicked);

    m_runChartView = new RunChartView(m_runChart, this);
    m_runChartView->setObjectName(QStringLiteral("runChartView"));
    m_runChartView->setRenderHint(QPainter::Antialiasing, true);
    m_runChartView->setMinimumHeight(kRunChartMinimumHeight);
}

QSize StatisticsPanel::sizeHint() const {
    // Wide enough for the row titles and the first column (the active session), so that the chart keeps
    // as much of the window as it can; the panel scrolls sideways for the comparison files.
    const int tableWidth = m_table->verticalHeader()->sizeHint().width() +
                           (m_table->columnCount() > 0 ? m_table->horizontalHeader()->sectionSize(0) : 0) +
                           2 * m_table->frameWidth() + m_table->verticalScrollBar()->sizeHint().width();
    const QMargins margins = layout() ? layout()->contentsMargins() : QMargins();
    return QSize(std::clamp(tableWidth + margins.left() + margins.right(), 220, 420), 600);
}

void StatisticsPanel::setUnits(Units units) {
    if (units == m_units)
        return;
    m_units = units;
    scheduleRefresh();
}

void StatisticsPanel::scheduleRefresh() {
    if (!m_refreshTimer.isActive())
        m_refreshTimer.start();
}

QList<GraphContainer*> StatisticsPanel::containers() const {
    QList<GraphContainer*> result;
    for (const QPointer<GraphContainer>& container : m_containers)
        result.append(container.data());
    return result;
}

void StatisticsPanel::refresh() {
    m_refreshTimer.stop();
    m_containers.clear();
    m_statistics.clear();
    if (m_graphModel) {
        QList<GraphContainer*> all;
        if (GraphContainer* active = m_graphModel->activeContainer())
            all.append(active);
        all += m_graphModel->compareContainers();
        for (GraphContainer* container : std::as_const(all)) {
            m_containers.append(container);
            m_statistics.append(SeatingStatistics(container->graphs(), m_units));
        }
    }
    fillTable();
    fillRunChart();
}

QString StatisticsPanel::strokesText(const SeatingStatistics& statistics) {
    const int strokes = statistics.strokes();
    QString text = strokes == 1 ? tr("1 stroke") : tr("%1 strokes").arg(strokes);
    const int flyers = statistics.flyersExcluded();
    if (flyers == 1)
        text += tr(", 1 flyer excluded");
    else if (flyers > 1)
        text += tr(", %1 flyers excluded").arg(flyers);
    return text;
}

void StatisticsPanel::fillRowTitles() {
    const QString force = forceUnitLabel(m_units);
    const QString work = force + QChar(0x00B7) + positionUnitLabel(m_units);
    const QString titles[] = {tr("Peak Force (%1)").arg(force), tr("Terminal Force (%1)").arg(force),
                              tr("Work Done (%1)").arg(work)};
    // Short, as chronograph tools print them; the tooltips spell them out.
    const QString figureTitles[] = {tr("n"), tr("Mean"), tr("SD"), tr("ES"), tr("Min"), tr("Max")};
    const QString figureTips[] = {tr("Strokes counted"),
                                  tr("Mean"),
                                  tr("Sample standard deviation"),
                                  tr("Extreme spread (maximum - minimum)"),
                                  tr("Minimum"),
                                  tr("Maximum")};
    QStringList rowTitles = {tr("Strokes"), tr("Flyers excluded")};
    QStringList rowTips = {tr("Visible traces"),
                           tr("Visible traces marked as flyers, left out of the figures")};
    for (const QString& title : titles) {
        rowTitles.append(title);
        rowTips.append(QString());
        for (int which = 0; which < FigureCount; ++which) {
            rowTitles.append(figureTitles[which]);
            rowTips.append(figureTips[which]);
        }
    }
    for (int row = 0; row < rowTitles.size(); ++row) {
        const bool heading = row >= kCountRows && (row - kCountRows) % kRowsPerMeasurement == 0;
        const QString text =
            heading || row < kCountRows ? rowTitles.at(row) : QStringLiteral("  ") + rowTitles.at(row);
        if (QTableWidgetItem* existing = m_table->verticalHeaderItem(row)) {
            if (existing->text() != text)
                existing->setText(text);
            continue;
        }
        auto* header = new QTableWidgetItem(text);
        header->setToolTip(rowTips.at(row));
        if (heading) {
            QFont font = header->font();
            font.setBold(true);
            header->setFont(font);
        }
        m_table->setVerticalHeaderItem(row, header);
    }
    m_rowTitleUnits = m_units;
}

void StatisticsPanel::setCell(int row, int column, const QString& text, bool indicative) {
    // Cells change in place and only where they differ: every change makes the table measure its
    // columns again.
    QTableWidgetItem* item = m_table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_table->setItem(row, column, item);
    }
    if (item->text() != text)
        item->setText(text);
    if (item->font().italic() == indicative)
        return;
    QFont font = item->font();
    font.setItalic(indicative);
    item->setFont(font);
    item->setForeground(indicative ? QBrush(Qt::darkGray) : QBrush());
    item->setToolTip(indicative
                         ? tr("Indicative: fewer than %1 strokes").arg(SeatingStatistics::kIndicativeBelow)
                         : QString());
}

void StatisticsPanel::fillTable() {
    if (m_rowTitleUnits != m_units || !m_table->verticalHeaderItem(0))
        fillRowTitles();
    if (m_table->columnCount() != m_statistics.size())
        m_table->setColumnCount(int(m_statistics.size()));
    bool anyIndicative = false;
    for (int column = 0; column < m_statistics.size(); ++column) {
        const GraphContainer* container = m_containers.at(column);
        const SeatingStatistics& statistics = m_statistics.at(column);
        const QString fileName = container ? QFileInfo(container->fileName()).fileName() : QString();
        QString title = fileName.isEmpty() ? tr("[Untitled]") : fileName;
        if (container && container->isActiveSession())
            title = fileName.isEmpty() ? tr("Active Session") : tr("%1 (active)").arg(fileName);
        QTableWidgetItem* header = m_table->horizontalHeaderItem(column);
        if (!header) {
            header = new QTableWidgetItem;
            m_table->setHorizontalHeaderItem(column, header);
        }
        if (header->text() != title)
            header->setText(title);
        // The whole name, also when the header elides it.
        header->setToolTip(QStringLiteral("%1: %2").arg(title, strokesText(statistics)));

        setCell(0, column, QString::number(statistics.strokes()));
        setCell(1, column, QString::number(statistics.flyersExcluded()));
        for (std::size_t m = 0; m < SeatingStatistics::kMeasurements.size(); ++m) {
            const Measurement measurement = SeatingStatistics::kMeasurements[m];
            const SeatingStatistics::Summary& summary = statistics.summary(measurement);
            setCell(headingRow(m), column, QString());
            setCell(headingRow(m) + 1 + Count, column, QString::number(summary.count));
            for (int which = Mean; which < FigureCount; ++which) {
                const QString text = number(figure(summary, which));
                const bool spread = which == StandardDeviation || which == ExtremeSpread;
                const bool indicative = spread && statistics.isIndicative(measurement) && !text.isEmpty();
                anyIndicative = anyIndicative || indicative;
                setCell(headingRow(m) + 1 + which, column, text, indicative);
            }
        }
    }
    m_indicativeNote->setVisible(anyIndicative);
    // No column narrower than the widest value of any, so a value is never cut short.
    const QFontMetrics metrics(m_table->font());
    QFont italic = m_table->font();
    italic.setItalic(true);
    const QFontMetrics italicMetrics(italic);
    const int margin =
        2 * (m_table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_table) + 1) +
        metrics.horizontalAdvance(QLatin1Char(' '));
    int widest = 0;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        for (int column = 0; column < m_table->columnCount(); ++column) {
            if (const QTableWidgetItem* item = m_table->item(row, column))
                widest = std::max(
                    widest,
                    (item->font().italic() ? italicMetrics : metrics).horizontalAdvance(item->text()));
        }
    }
    m_table->horizontalHeader()->setMinimumSectionSize(widest + margin);
    // Every row in sight where there is room; with less, the table scrolls and keeps a few rows.
    const int height = m_table->horizontalHeader()->sizeHint().height() +
                       m_table->verticalHeader()->length() + 2 * m_table->frameWidth();
    m_table->setMaximumHeight(height + m_table->horizontalScrollBar()->sizeHint().height());
    m_table->setMinimumHeight(
        std::min(height, m_table->horizontalHeader()->sizeHint().height() +
                             kRowsAlwaysShown * m_table->verticalHeader()->defaultSectionSize() +
                             2 * m_table->frameWidth()));
}

void StatisticsPanel::fillRunChart() {
    m_runGraphs.clear();
    m_runPoints.clear();
    QList<QPointF> peaks;
    QList<QPointF> flyers;
    QList<QPointer<Graph>> flyerGraphs;
    GraphContainer* active = m_containers.isEmpty() ? nullptr : m_containers.first().data();
    const SeatingStatistics statistics = m_statistics.isEmpty() ? SeatingStatistics() : m_statistics.first();
    if (active) {
        const auto graphs = active->graphs();
        for (Graph* graph : graphs) {
            const double peak = graph->data(m_units).peakForce();
            if (!graph->visible() || !std::isfinite(peak))
                continue;
            const QPointF point(graph->traceNumber(), peak);
            if (graph->flyer()) {
                flyers.append(point);
                flyerGraphs.append(graph);
            } else {
                peaks.append(point);
                m_runGraphs.append(graph);
            }
        }
    }
    m_runPoints = peaks + flyers;
    m_runGraphs += flyerGraphs;
    m_peaks->replace(peaks);
    m_flyers->replace(flyers);

    double left = 0.0;
    double right = 1.0;
    double bottom = 0.0;
    double top = 0.0;
    for (qsizetype i = 0; i < m_runPoints.size(); ++i) {
        const QPointF& point = m_runPoints.at(i);
        left = i == 0 ? point.x() : std::min(left, point.x());
        right = i == 0 ? point.x() : std::max(right, point.x());
        bottom = i == 0 ? point.y() : std::min(bottom, point.y());
        top = i == 0 ? point.y() : std::max(top, point.y());
    }
    const SeatingStatistics::Summary& summary = statistics.summary(PeakForce);
    const double mean = summary.mean;
    const double deviation = summary.standardDeviation;
    if (std::isfinite(mean) && !m_runPoints.isEmpty()) {
        m_mean->replace({QPointF(left, mean), QPointF(right, mean)});
    } else {
        m_mean->clear();
    }
    if (std::isfinite(mean) && std::isfinite(deviation) && !m_runPoints.isEmpty()) {
        m_band->upperSeries()->replace({QPointF(left, mean + deviation), QPointF(right, mean + deviation)});
        m_band->lowerSeries()->replace({QPointF(left, mean - deviation), QPointF(right, mean - deviation)});
        top = std::max(top, mean + deviation);
        bottom = std::min(bottom, mean - deviation);
        m_band->setVisible(true);
    } else {
        m_band->upperSeries()->clear();
        m_band->lowerSeries()->clear();
        m_band->setVisible(false);
    }
    const double margin = top > bottom ? 0.1 * (top - bottom) : std::max(1.0, 0.1 * std::abs(top));
    m_runX->setRange(left - 0.5, right + 0.5);
    m_runX->setTickInterval(std::max(1.0, std::ceil((right - left + 1.0) / 6.0)));
    m_runY->setRange(bottom - margin, top + margin);
    m_runY->applyNiceNumbers();
    m_runY->setTitleText(tr("Peak (%1)").arg(forceUnitLabel(m_units)));
    m_runCaption->setText(tr("Active session: %1").arg(strokesText(statistics)));
}

void StatisticsPanel::onRunChartClicked(const QPointF& point) {
    // The nearest point on the screen: the clicked marker's own value is not always what arrives.
    const QPointF at = m_runChart->mapToPosition(point, m_peaks);
    qsizetype nearest = -1;
    double best = std::numeric_limits<double>::infinity();
    for (qsizetype i = 0; i < m_runPoints.size(); ++i) {
        const QPointF delta = m_runChart->mapToPosition(m_runPoints.at(i), m_peaks) - at;
        const double distance = QPointF::dotProduct(delta, delta);
        if (distance < best) {
            best = distance;
            nearest = i;
        }
    }
    if (nearest >= 0 && m_runGraphs.at(nearest))
        emit graphClicked(m_runGraphs.at(nearest));
}

QString StatisticsPanel::tableText() const {
    QStringList lines;
    QStringList header = {QString()};
    for (int column = 0; column < m_table->columnCount(); ++column) {
        const QTableWidgetItem* item = m_table->horizontalHeaderItem(column);
        header.append(item ? item->text() : QString());
    }
    lines.append(header.join(QLatin1Char('\t')));
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const QTableWidgetItem* title = m_table->verticalHeaderItem(row);
        QStringList cells = {title ? title->text().trimmed() : QString()};
        for (int column = 0; column < m_table->columnCount(); ++column) {
            const QTableWidgetItem* item = m_table->item(row, column);
            cells.append(item ? item->text() : QString());
        }
        lines.append(cells.join(QLatin1Char('\t')));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void StatisticsPanel::copyToClipboard() {
    if (m_refreshTimer.isActive())
        refresh();
    QGuiApplication::clipboard()->setText(tableText());
}
