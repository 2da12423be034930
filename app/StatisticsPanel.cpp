#include "app/StatisticsPanel.h"

#include "app/ComparisonPanel.h"
#include "app/ElidingHeaderView.h"
#include "app/VelocityPanel.h"
#include "chart/GraphModel.h"
#include "chart/SessionModel.h"
#include "data/Capability.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"

#include <QAction>
#include <QBrush>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTableWidget>
#include <QTabWidget>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The least the panel keeps of its parts when the window is short.
constexpr int kRunChartMinimumHeight = 130;
constexpr int kRunChartPreferredHeight = 300;
constexpr int kRunChartShare = 40; // per cent of the panel's height, at least
constexpr int kRowsAlwaysShown = 4;

// The rows of the table: two counts, the tolerance (shown while a session has limits), then for each
// measurement a heading and its six figures.
enum Figure { Count, Mean, StandardDeviation, ExtremeSpread, Minimum, Maximum, FigureCount };
constexpr int kCountRows = 2;
constexpr int kRowsPerMeasurement = 1 + FigureCount;
constexpr int kDecimals = 2;
// The answer first when there are limits: a heading naming the judged measurement, the limits, in
// tolerance n of N, Cp and Cpk.
enum ToleranceRow { ToleranceHeading, LimitsRow, InToleranceRow, CpRow, CpkRow, ToleranceRowCount };
constexpr int kToleranceRow = kCountRows;
// Then each session's control chart of the judged measurement (peak force without limits): its centre
// line, its control limits and how many points break a rule.
enum ControlRow { ControlHeading, CentreRow, ControlLimitsRow, RuleBreaksRow, ControlRowCount };
constexpr int kControlRow = kToleranceRow + ToleranceRowCount;
constexpr int kFirstMeasurementRow = kControlRow + ControlRowCount;
constexpr int kRowCount =
    kFirstMeasurementRow + int(SeatingStatistics::kMeasurements.size()) * kRowsPerMeasurement;

QString number(double value) {
    return std::isfinite(value) ? QString::number(value, 'f', kDecimals) : QString();
}

int headingRow(std::size_t measurementIndex) {
    return kFirstMeasurementRow + int(measurementIndex) * kRowsPerMeasurement;
}

bool isHeadingRow(int row) {
    if (row == kToleranceRow + ToleranceHeading || row == kControlRow + ControlHeading)
        return true;
    return row >= kFirstMeasurementRow && (row - kFirstMeasurementRow) % kRowsPerMeasurement == 0;
}

int decimalsOf(Measurement measurement) {
    return measurement == WorkDone ? 3 : 2;
}

// The limits as short as a table cell allows; the unit is in the tooltip and the panel's limits line.
QString compactLimits(const ToleranceLimits& limits) {
    const int decimals = decimalsOf(limits.measurement());
    const auto value = [decimals](double number) {
        return QString::number(number, 'f', decimals);
    };
    if (limits.hasBand())
        return QStringLiteral("%1 %2 %3").arg(value(limits.nominal()), QChar(0x00B1), value(limits.band()));
    if (limits.hasLow() && limits.hasHigh())
        return QStringLiteral("%1%2%3").arg(value(limits.low()), QChar(0x2013), value(limits.high()));
    if (limits.hasLow())
        return QStringLiteral("%1 %2").arg(QChar(0x2265), value(limits.low()));
    return QStringLiteral("%1 %2").arg(QChar(0x2264), value(limits.high()));
}

// The values of the counted traces (visible, not flyers) in stroke order, non-finite ones included.
QList<double> countedValues(const QList<Graph*>& graphs, Measurement measurement, Units units) {
    QList<double> values;
    for (const Graph* graph : graphs) {
        if (graph->visible() && !graph->flyer())
            values.append(graph->data(units).measurement(measurement));
    }
    return values;
}

// A capability index as the table shows it: infinite ones (no spread) as the sign and the symbol.
QString indexText(double value) {
    if (std::isinf(value))
        return value > 0 ? QString(QChar(0x221E)) : QStringLiteral("-") + QChar(0x221E);
    return number(value);
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
    // The active session's limits, and the way to set them.
    m_limitsLabel = new QLabel(this);
    m_limitsLabel->setObjectName(QStringLiteral("limitsLabel"));
    m_limitsLabel->setWordWrap(true);
    m_limitsLabel->installEventFilter(this);
    m_limitsButton = new QPushButton(tr("Limits ..."), this);
    m_limitsButton->setObjectName(QStringLiteral("limitsButton"));
    m_limitsButton->setToolTip(tr("Set the active session's tolerance limits"));
    connect(m_limitsButton, &QPushButton::clicked, this, &StatisticsPanel::limitsRequested);
    auto* limitsRow = new QHBoxLayout;
    limitsRow->addWidget(m_limitsLabel, 1);
    limitsRow->addWidget(m_limitsButton);
    layout->addLayout(limitsRow);
    buildTable();
    // The table above, the charts below, the line between them the user's to move.
    auto* tablePane = new QWidget(this);
    auto* tableLayout = new QVBoxLayout(tablePane);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    tableLayout->addWidget(m_table);
    tableLayout->addWidget(m_indicativeNote);
    // Ctrl+C copies what has the focus: this table here, the comparison in its own tab.
    tablePane->addAction(m_copyAction);
    buildRunChart();
    auto* controlPage = new QWidget(this);
    controlPage->setObjectName(QStringLiteral("controlChartPage"));
    auto* controlLayout = new QVBoxLayout(controlPage);
    controlLayout->setContentsMargins(2, 2, 2, 2);
    controlLayout->addWidget(m_runCaption);
    controlLayout->addWidget(m_runChartView, 1);
    controlLayout->addWidget(m_ruleNote);
    m_lowerTabs = new QTabWidget(this);
    m_lowerTabs->setObjectName(QStringLiteral("statisticsLowerTabs"));
    m_lowerTabs->setDocumentMode(true);
    m_lowerTabs->addTab(controlPage, tr("Control Chart"));
    // The comparison scrolls where the window is too short for all of it.
    auto* comparisonScroll = new QScrollArea(m_lowerTabs);
    m_comparisonScroll = comparisonScroll;
    comparisonScroll->setObjectName(QStringLiteral("comparisonScroll"));
    comparisonScroll->setWidgetResizable(true);
    comparisonScroll->setFrameShape(QFrame::NoFrame);
    m_comparisonPanel = new ComparisonPanel(graphModel, comparisonScroll);
    comparisonScroll->setWidget(m_comparisonPanel);
    m_lowerTabs->addTab(comparisonScroll, tr("Compare"));
    m_velocityPanel = new VelocityPanel(graphModel, m_lowerTabs);
    m_lowerTabs->addTab(m_velocityPanel, tr("Velocity"));
    connect(m_velocityPanel, &VelocityPanel::graphClicked, this, &StatisticsPanel::graphClicked);
    connect(m_lowerTabs, &QTabWidget::currentChanged, this, &StatisticsPanel::shareHeight);
    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName(QStringLiteral("statisticsSplitter"));
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(tablePane);
    m_splitter->addWidget(m_lowerTabs);
    // Until the user moves the line, the charts get their share of every height (resizeEvent).
    connect(m_splitter, &QSplitter::splitterMoved, this, [this]() { m_splitMovedByUser = true; });
    layout->addWidget(m_splitter, 1);

    if (graphModel) {
        // The legend model follows every container and trace already; any change of it may change a figure.
        connect(graphModel->sessionModel(), &SessionModel::contentsChanged, this,
                &StatisticsPanel::scheduleRefresh);
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
    m_table->setRowCount(kRowCount);

    m_copyAction = new QAction(tr("Copy"), this);
    m_copyAction->setObjectName(QStringLiteral("copyStatisticsAction"));
    m_copyAction->setShortcut(QKeySequence::Copy);
    m_copyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(m_copyAction, &QAction::triggered, this, &StatisticsPanel::copyToClipboard);
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

    const auto line = [](const QString& name, const QPen& pen) {
        auto* series = new QLineSeries;
        series->setName(name);
        series->setPen(pen);
        return series;
    };
    m_mean = line(tr("Mean"), QPen(QColor(70, 130, 180), 1.5, Qt::DashLine));
    m_upperControl = line(tr("Control limits"), QPen(QColor(200, 40, 40), 1.2, Qt::DashDotLine));
    m_lowerControl = line(tr("Lower control limit"), m_upperControl->pen());
    m_highTolerance = line(tr("Tolerance"), QPen(QColor(230, 140, 0), 2.0));
    m_lowTolerance = line(tr("Low tolerance limit"), m_highTolerance->pen());
    m_flyers = new QScatterSeries;
    m_flyers->setName(tr("Flyers"));
    m_flyers->setMarkerSize(8.0);
    m_flyers->setColor(Qt::white);
    m_flyers->setBorderColor(Qt::black);
    m_peaks = new QScatterSeries;
    m_peaks->setName(tr("Strokes"));
    m_peaks->setMarkerSize(8.0);
    m_peaks->setColor(QColor(31, 90, 160));
    m_peaks->setBorderColor(QColor(31, 90, 160));
    // A red ring around each point that breaks a rule, over the point itself.
    m_violations = new QScatterSeries;
    m_violations->setName(tr("Rule broken"));
    m_violations->setMarkerSize(15.0);
    m_violations->setColor(Qt::transparent);
    QPen ring(QColor(200, 40, 40), 2.0);
    m_violations->setPen(ring);
    for (QAbstractSeries* series :
         {static_cast<QAbstractSeries*>(m_highTolerance), static_cast<QAbstractSeries*>(m_lowTolerance),
          static_cast<QAbstractSeries*>(m_upperControl), static_cast<QAbstractSeries*>(m_lowerControl),
          static_cast<QAbstractSeries*>(m_mean), static_cast<QAbstractSeries*>(m_flyers),
          static_cast<QAbstractSeries*>(m_peaks), static_cast<QAbstractSeries*>(m_violations)}) {
        m_runChart->addSeries(series);
        series->attachAxis(m_runX);
        series->attachAxis(m_runY);
    }
    // One legend entry for each pair of limits, none for the points themselves.
    m_runChart->legend()->setAlignment(Qt::AlignBottom);
    QFont legendFont = m_runChart->legend()->font();
    legendFont.setPointSizeF(legendFont.pointSizeF() * 0.85);
    m_runChart->legend()->setFont(legendFont);
    for (QAbstractSeries* paired :
         {static_cast<QAbstractSeries*>(m_lowerControl), static_cast<QAbstractSeries*>(m_lowTolerance),
          static_cast<QAbstractSeries*>(m_peaks)}) {
        for (QLegendMarker* marker : m_runChart->legend()->markers(paired))
            marker->setVisible(false);
    }
    m_runChart->legend()->show();
    connect(m_peaks, &QXYSeries::clicked, this, &StatisticsPanel::onRunChartClicked);
    connect(m_flyers, &QXYSeries::clicked, this, &StatisticsPanel::onRunChartClicked);
    connect(m_violations, &QXYSeries::clicked, this, &StatisticsPanel::onRunChartClicked);

    m_ruleNote = new QLabel(this);
    m_ruleNote->setObjectName(QStringLiteral("controlRuleNote"));
    m_ruleNote->setWordWrap(true);
    m_ruleNote->installEventFilter(this);

    m_runChartView = new PointChartView(m_runChart, this);
    m_runChartView->setObjectName(QStringLiteral("runChartView"));
    m_runChartView->setRenderHint(QPainter::Antialiasing, true);
    m_runChartView->setMinimumHeight(kRunChartMinimumHeight);
}

void StatisticsPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    shareHeight();
}

bool StatisticsPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && (watched == m_limitsLabel || watched == m_ruleNote))
        fitWrappedLabels();
    return QWidget::eventFilter(watched, event);
}

void StatisticsPanel::fitWrappedLabels() {
    // A wrapped label asks the layout for one line only; squeezed, it would lose the others. Each keeps
    // the height its text needs at its width, and the chart gives way (down to its own minimum).
    for (QLabel* label : {m_limitsLabel, m_ruleNote}) {
        if (!label || label->width() <= 0)
            continue;
        const QMargins margins = label->contentsMargins();
        const int width = label->width() - margins.left() - margins.right() - 2 * label->margin();
        const QRect text = label->fontMetrics().boundingRect(QRect(0, 0, std::max(1, width), QWIDGETSIZE_MAX),
                                                             Qt::TextWordWrap, label->text());
        label->setMinimumHeight(text.height() + margins.top() + margins.bottom() + 2 * label->margin());
    }
}

void StatisticsPanel::shareHeight() {
    if (m_splitMovedByUser)
        return;
    // The control chart reads at about 300 pixels, the comparison at its own height; the table takes the
    // rest, up to all of its rows.
    const int total = m_splitter->height() - m_splitter->handleWidth();
    if (total <= 0)
        return;
    const int wanted =
        m_lowerTabs->currentWidget() != m_comparisonScroll
            ? kRunChartPreferredHeight
            : m_comparisonPanel->sizeHint().height() + m_lowerTabs->tabBar()->sizeHint().height();
    const int chart = std::max(kRunChartShare * total / 100, std::min(total, wanted));
    const int table =
        std::min(total - chart, m_table->maximumHeight() + m_indicativeNote->sizeHint().height());
    m_splitter->setSizes({table, total - table});
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
    m_comparisonPanel->setUnits(units);
    m_velocityPanel->setUnits(units);
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
    const QStringList controlTitles = {tr("Control chart"), tr("Centre"), tr("Control limits"),
                                       tr("Rule breaks")};
    const QStringList controlTips = {
        tr("An individuals control chart of each session's judged measurement (peak force without limits)"),
        tr("The centre line: the mean of the strokes counted"),
        tr("Mean ± 2.66 × the average moving range: where strokes fall while nothing changes"),
        tr("Strokes beyond a control limit, or ninth or later in a row on one side of the centre")};
    QStringList rowTips = {tr("Visible traces"),
                           tr("Visible traces marked as flyers, left out of the figures")};
    rowTitles += {tr("Tolerance"), tr("Limits"), tr("In tolerance"), tr("Cp"), tr("Cpk")};
    rowTips += {tr("The measurement each session's tolerance limits judge"),
                tr("The session's tolerance limits, in the units shown"),
                tr("Strokes within the limits, of the strokes counted (flyers are judged in the legend but "
                   "left out here)"),
                tr("Process capability: the width of the limits over six standard deviations (needs both "
                   "limits)"),
                tr("Process capability with the mean's place: the distance from the mean to the nearer "
                   "limit over three standard deviations. 1.33 or more is the usual mark of a capable "
                   "process; on few strokes it is only a rough estimate")};
    rowTitles += controlTitles;
    rowTips += controlTips;
    for (const QString& title : titles) {
        rowTitles.append(title);
        rowTips.append(QString());
        for (int which = 0; which < FigureCount; ++which) {
            rowTitles.append(figureTitles[which]);
            rowTips.append(figureTips[which]);
        }
    }
    for (int row = 0; row < rowTitles.size(); ++row) {
        const bool heading = isHeadingRow(row);
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
        fillToleranceRows(column, container);
        fillControlRows(column, container);
    }
    m_indicativeNote->setVisible(anyIndicative);
    // The tolerance rows while any session shown has limits; Copy gives them always.
    bool anyLimits = false;
    for (const QPointer<GraphContainer>& container : std::as_const(m_containers))
        anyLimits = anyLimits || (container && container->limits().hasLimits());
    for (int row = kToleranceRow; row < kControlRow; ++row)
        m_table->setRowHidden(row, !anyLimits);
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
    shareHeight();
}

void StatisticsPanel::fillToleranceRows(int column, const GraphContainer* container) {
    const ToleranceLimits limits = container ? container->limits() : ToleranceLimits();
    if (!limits.hasLimits()) {
        for (int row = ToleranceHeading; row < ToleranceRowCount; ++row) {
            setCell(kToleranceRow + row, column, QString());
            m_table->item(kToleranceRow + row, column)->setToolTip(tr("No tolerance limits set"));
        }
        return;
    }
    // The figures in the limits' own units: Cp and Cpk have none, and the counts do not depend on them.
    const Capability capability(countedValues(container->graphs(), limits.measurement(), limits.units()),
                                limits);
    const ToleranceLimits shown = limits.inUnits(m_units);
    setCell(kToleranceRow + ToleranceHeading, column,
            ToleranceLimits::measurementTitle(limits.measurement()));
    setCell(kToleranceRow + LimitsRow, column, compactLimits(shown));
    m_table->item(kToleranceRow + LimitsRow, column)->setToolTip(shown.text(decimalsOf(shown.measurement())));
    setCell(kToleranceRow + InToleranceRow, column,
            tr("%1 of %2").arg(capability.inTolerance()).arg(capability.count()));
    QStringList outside;
    if (capability.low() > 0)
        outside.append(tr("%1 low").arg(capability.low()));
    if (capability.high() > 0)
        outside.append(tr("%1 high").arg(capability.high()));
    m_table->item(kToleranceRow + InToleranceRow, column)
        ->setToolTip(outside.isEmpty() ? tr("None outside the limits") : outside.join(QStringLiteral(", ")));
    // Like the spreads, the indices rest on the standard deviation: indicative on few strokes.
    const bool indicative = capability.count() < SeatingStatistics::kIndicativeBelow;
    const QString cp = indexText(capability.cp());
    const QString cpk = indexText(capability.cpk());
    setCell(kToleranceRow + CpRow, column, cp, indicative && !cp.isEmpty());
    setCell(kToleranceRow + CpkRow, column, cpk, indicative && !cpk.isEmpty());
}

void StatisticsPanel::fillControlRows(int column, const GraphContainer* container) {
    const Measurement measurement =
        container && container->limits().hasLimits() ? container->limits().measurement() : PeakForce;
    const QList<Graph*> graphs = container ? container->graphs() : QList<Graph*>();
    const QList<double> values = countedValues(graphs, measurement, m_units);
    const ControlChart chart(values);
    setCell(kControlRow + ControlHeading, column, ToleranceLimits::measurementTitle(measurement));
    setCell(kControlRow + CentreRow, column, number(chart.centre()));
    const bool limited = std::isfinite(chart.lowerLimit());
    setCell(kControlRow + ControlLimitsRow, column,
            limited ? QStringLiteral("%1%2%3").arg(number(chart.lowerLimit()), QChar(0x2013),
                                                   number(chart.upperLimit()))
                    : QString());
    setCell(kControlRow + RuleBreaksRow, column,
            limited ? QString::number(chart.violations().size()) : QString());
    // The traces that break a rule, by their numbers.
    QStringList traces;
    QList<const Graph*> counted;
    for (const Graph* graph : graphs) {
        if (graph->visible() && !graph->flyer())
            counted.append(graph);
    }
    for (const ControlChart::Violation& violation : chart.violations())
        traces.append(QString::number(counted.at(violation.index)->traceNumber()));
    m_table->item(kControlRow + RuleBreaksRow, column)
        ->setToolTip(traces.isEmpty() ? QString() : tr("Traces %1").arg(traces.join(QStringLiteral(", "))));
}

void StatisticsPanel::fillRunChart() {
    m_runGraphs.clear();
    m_runPoints.clear();
    m_violationTraces.clear();
    GraphContainer* active = m_containers.isEmpty() ? nullptr : m_containers.first().data();
    const SeatingStatistics statistics = m_statistics.isEmpty() ? SeatingStatistics() : m_statistics.first();
    const ToleranceLimits limits =
        active && active->limits().hasLimits() ? active->limits().inUnits(m_units) : ToleranceLimits();
    // The chart shows what the limits judge; peak force while there are none.
    m_runMeasurement = limits.hasLimits() ? limits.measurement() : PeakForce;

    // The counted strokes in stroke order make the chart; flyers are drawn apart and take no part.
    QList<QPointF> points;
    QList<QPointF> flyers;
    QList<QPointer<Graph>> flyerGraphs;
    QList<double> values;
    QList<Graph*> valueGraphs;
    if (active) {
        const auto graphs = active->graphs();
        for (Graph* graph : graphs) {
            if (!graph->visible())
                continue;
            const double value = graph->data(m_units).measurement(m_runMeasurement);
            if (graph->flyer()) {
                if (std::isfinite(value)) {
                    flyers.append(QPointF(graph->traceNumber(), value));
                    flyerGraphs.append(graph);
                }
                continue;
            }
            values.append(value);
            valueGraphs.append(graph);
        }
    }
    m_controlChart = ControlChart(values);
    for (qsizetype i = 0; i < m_controlChart.count(); ++i) {
        Graph* graph = valueGraphs.at(m_controlChart.inputIndices().at(i));
        points.append(QPointF(graph->traceNumber(), m_controlChart.points().at(i)));
        m_runGraphs.append(graph);
    }
    QList<QPointF> violations;
    for (const ControlChart::Violation& violation : m_controlChart.violations()) {
        Graph* graph = valueGraphs.at(violation.index);
        violations.append(QPointF(graph->traceNumber(), values.at(violation.index)));
        m_violationTraces.append(int(graph->traceNumber()));
    }
    m_runPoints = points + flyers;
    m_runGraphs += flyerGraphs;
    m_peaks->replace(points);
    m_flyers->replace(flyers);
    m_violations->replace(violations);
    // The legend names only what is drawn.
    const auto showMarker = [this](QAbstractSeries* series, bool shown) {
        for (QLegendMarker* marker : m_runChart->legend()->markers(series))
            marker->setVisible(shown);
    };
    showMarker(m_flyers, !flyers.isEmpty());
    showMarker(m_violations, !violations.isEmpty());
    showMarker(m_highTolerance, limits.hasLimits());

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
    // A horizontal line across the points, or none; the chart's range takes it in.
    const auto level = [&](QLineSeries* series, double value) {
        if (!std::isfinite(value) || m_runPoints.isEmpty()) {
            series->clear();
            return;
        }
        series->replace({QPointF(left, value), QPointF(right, value)});
        top = std::max(top, value);
        bottom = std::min(bottom, value);
    };
    level(m_mean, m_controlChart.centre());
    level(m_upperControl, m_controlChart.upperLimit());
    level(m_lowerControl, m_controlChart.lowerLimit());
    level(m_highTolerance, limits.high());
    level(m_lowTolerance, limits.low());

    const double margin = top > bottom ? 0.1 * (top - bottom) : std::max(1.0, 0.1 * std::abs(top));
    m_runX->setRange(left - 0.5, right + 0.5);
    m_runX->setTickInterval(std::max(1.0, std::ceil((right - left + 1.0) / 6.0)));
    m_runY->setRange(bottom - margin, top + margin);
    m_runY->applyNiceNumbers();
    const QString shortName = m_runMeasurement == WorkDone        ? tr("Work")
                              : m_runMeasurement == TerminalForce ? tr("Terminal")
                                                                  : tr("Peak");
    m_runY->setTitleText(
        QStringLiteral("%1 (%2)").arg(shortName, ToleranceLimits::unitLabel(m_runMeasurement, m_units)));
    m_runCaption->setText(
        tr("Active session, %1: %2")
            .arg(ToleranceLimits::measurementTitle(m_runMeasurement).toLower(), strokesText(statistics)));
    // One short line under the chart; the whole account in its tooltip and on the chart's.
    m_ruleNote->setText(ruleSummary());
    m_ruleNote->setToolTip(ruleText());
    m_runChartView->setToolTip(ruleText());
    m_limitsLabel->setText(limits.hasLimits()
                               ? tr("Limits: %1").arg(limits.text(decimalsOf(limits.measurement())))
                               : tr("No tolerance limits set"));
    fitWrappedLabels();
}

QString StatisticsPanel::ruleSummary() const {
    const ControlChart& chart = m_controlChart;
    if (chart.count() < 2)
        return tr("Control limits need two strokes or more.");
    if (chart.violations().isEmpty())
        return tr("No point breaks a rule.");
    constexpr int kNamed = 3;
    QStringList named;
    for (qsizetype i = 0; i < chart.violations().size() && i < kNamed; ++i) {
        const bool beyond = chart.violations().at(i).rules & ControlChart::BeyondLimit;
        named.append(beyond ? tr("trace %1 (beyond a control limit)").arg(m_violationTraces.value(i))
                            : tr("trace %1 (%2th in a row on one side)")
                                  .arg(m_violationTraces.value(i))
                                  .arg(ControlChart::kRunLength));
    }
    QString text = tr("Rule broken: %1").arg(named.join(QStringLiteral(", ")));
    if (chart.violations().size() > kNamed)
        text += tr(" and %1 more").arg(chart.violations().size() - kNamed);
    return text + QLatin1Char('.');
}

QString StatisticsPanel::ruleText() const {
    const ControlChart& chart = m_controlChart;
    if (chart.count() < 2)
        return tr("Control limits need two strokes or more.");
    const int decimals = decimalsOf(m_runMeasurement);
    QString text = tr("Control limits %1 to %2 (mean %3 %4 2.66 %5 average moving range %6).")
                       .arg(QString::number(chart.lowerLimit(), 'f', decimals),
                            QString::number(chart.upperLimit(), 'f', decimals),
                            QString::number(chart.centre(), 'f', decimals), QChar(0x00B1), QChar(0x00D7),
                            QString::number(chart.averageMovingRange(), 'f', decimals));
    if (chart.violations().isEmpty())
        return text + QLatin1Char(' ') + tr("No point breaks a rule.");
    QStringList beyond;
    QStringList runs;
    for (qsizetype i = 0; i < chart.violations().size(); ++i) {
        const QString trace = QString::number(m_violationTraces.value(i));
        if (chart.violations().at(i).rules & ControlChart::BeyondLimit)
            beyond.append(trace);
        if (chart.violations().at(i).rules & ControlChart::RunOnOneSide)
            runs.append(trace);
    }
    if (!beyond.isEmpty())
        text += QLatin1Char(' ') + (beyond.size() == 1 ? tr("Trace %1 is beyond a control limit.")
                                                       : tr("Traces %1 are beyond a control limit."))
                                       .arg(beyond.join(QStringLiteral(", ")));
    if (!runs.isEmpty())
        text += QLatin1Char(' ') +
                (runs.size() == 1 ? tr("Trace %1 is the %2th or later in a row on one side of the mean.")
                                  : tr("Traces %1 are the %2th or later in a row on one side of the mean."))
                    .arg(runs.join(QStringLiteral(", ")))
                    .arg(ControlChart::kRunLength);
    return text + QLatin1Char(' ') + tr("Look for a cause before trusting the spread.");
}

void StatisticsPanel::onRunChartClicked(const QPointF& point) {
    const qsizetype nearest = m_runChartView->nearestPoint(m_runPoints, m_peaks, point);
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
