#include "app/ComparisonPanel.h"

#include "app/ElidingHeaderView.h"
#include "chart/GraphModel.h"
#include "chart/SessionModel.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/SeatingStatistics.h"
#include "data/ToleranceLimits.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QSignalBlocker>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The rows of the groups' table. The tests' table has two rows a test: its name, then its figures.
enum GroupRow { CountRow, MeanRow, SdRow, GroupRowCount };
enum Test { Welch, VarianceRatio, BrownForsythe, TestCount };
enum TestColumn { StatisticColumn, DfColumn, PColumn, TestColumnCount };

int nameRow(int test) {
    return 2 * test;
}
int figureRow(int test) {
    return 2 * test + 1;
}

const QChar kMissing(0x2014); // em dash

// The active session's name in the sentences while it has no file; capitalised where it opens one.
QString untitledActiveName() {
    return ComparisonPanel::tr("the active session");
}

// The column title of a container, as the statistics panel titles its columns.
QString columnTitle(const GraphContainer* container) {
    const QString fileName = QFileInfo(container->fileName()).fileName();
    if (container->isActiveSession())
        return fileName.isEmpty() ? ComparisonPanel::tr("Active Session")
                                  : ComparisonPanel::tr("%1 (active)").arg(fileName);
    return fileName.isEmpty() ? ComparisonPanel::tr("[Untitled]") : fileName;
}

// The name of a container in a sentence: the file's name without its suffix.
QString sentenceName(const GraphContainer* container) {
    const QString name = QFileInfo(container->fileName()).completeBaseName();
    if (!name.isEmpty())
        return name;
    return container->isActiveSession() ? untitledActiveName() : ComparisonPanel::tr("the untitled file");
}

// Enough decimals for three significant digits of the smaller spread, at least two: the means and
// standard deviations of both groups are shown alike, so that they line up and compare.
int groupDecimals(const GroupComparison& comparison) {
    double smallest = std::numeric_limits<double>::infinity();
    for (double sd : {comparison.first().standardDeviation, comparison.second().standardDeviation}) {
        if (std::isfinite(sd) && sd > 0.0)
            smallest = std::min(smallest, sd);
    }
    if (!std::isfinite(smallest))
        return 2;
    return std::clamp(2 - int(std::floor(std::log10(smallest))), 2, 6);
}

QString fixed(double value, int decimals) {
    return std::isfinite(value) ? QString::number(value, 'f', decimals) : QString();
}

// A test statistic with three significant digits and at least two decimals, no exponent; an infinite
// one (a zero denominator) as its sign and ∞.
QString statisticText(double value) {
    if (std::isnan(value))
        return QString();
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("\u221E") : QStringLiteral("-\u221E");
    const int decimals =
        value == 0.0 ? 2 : std::clamp(2 - int(std::floor(std::log10(std::abs(value)))), 2, 4);
    return QString::number(value, 'f', decimals);
}

// "14, 14" for the F-tests' two degrees of freedom.
QString dfPair(const GroupComparison::Test& test) {
    if (std::isnan(test.df1) || std::isnan(test.df2))
        return QString();
    return QStringLiteral("%1, %2").arg(QString::number(test.df1, 'f', 0), QString::number(test.df2, 'f', 0));
}

// A figure of the tests' table with what it is: "t = 1.09", "p < 0.001", "df = —".
QString labelled(const QString& symbol, const QString& figure) {
    if (figure.startsWith(QLatin1Char('<')))
        return QStringLiteral("%1 %2").arg(symbol, figure);
    return QStringLiteral("%1 = %2").arg(symbol, figure.isEmpty() ? QString(kMissing) : figure);
}

} // namespace

ComparisonPanel::ComparisonPanel(GraphModel* graphModel, QWidget* parent)
    : QWidget(parent)
    , m_graphModel(graphModel) {
    setObjectName(QStringLiteral("comparisonPanel"));
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(0);
    connect(&m_refreshTimer, &QTimer::timeout, this, &ComparisonPanel::refresh);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    buildControls(layout);
    buildTables();
    m_verdict = new QLabel(this);
    m_verdict->setObjectName(QStringLiteral("comparisonVerdict"));
    m_verdict->setWordWrap(true);
    m_verdict->setTextFormat(Qt::PlainText);
    m_verdict->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_verdict->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(m_table);
    layout->addWidget(m_testsTable);
    layout->addWidget(m_verdict);
    layout->addStretch(1);

    if (graphModel) {
        // The legend model follows every container and trace already; any change of it may change a figure
        // or a container's name.
        connect(graphModel->sessionModel(), &SessionModel::contentsChanged, this,
                &ComparisonPanel::scheduleRefresh);
    }
    refresh();
}

void ComparisonPanel::buildControls(QVBoxLayout* layout) {
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_firstCombo = new QComboBox(this);
    m_firstCombo->setObjectName(QStringLiteral("firstContainerCombo"));
    m_secondCombo = new QComboBox(this);
    m_secondCombo->setObjectName(QStringLiteral("secondContainerCombo"));
    m_measurementCombo = new QComboBox(this);
    m_measurementCombo->setObjectName(QStringLiteral("measurementCombo"));
    // Long file names must not widen the side panel: the combos take the width they are given.
    for (QComboBox* combo : {m_firstCombo, m_secondCombo}) {
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combo->setMinimumContentsLength(12);
    }
    for (Measurement measurement : SeatingStatistics::kMeasurements)
        m_measurementCombo->addItem(ToleranceLimits::measurementTitle(measurement), int(measurement));
    connect(m_firstCombo, &QComboBox::currentIndexChanged, this,
            [this](int index) { onContainerPicked(true, index); });
    connect(m_secondCombo, &QComboBox::currentIndexChanged, this,
            [this](int index) { onContainerPicked(false, index); });
    connect(m_measurementCombo, &QComboBox::currentIndexChanged, this, &ComparisonPanel::onMeasurementPicked);
    form->addRow(tr("Compare"), m_firstCombo);
    form->addRow(tr("with"), m_secondCombo);
    form->addRow(tr("Measurement"), m_measurementCombo);
    layout->addLayout(form);
}

void ComparisonPanel::buildTables() {
    const auto makeTable = [this](const QString& name, int rows, int columns) {
        auto* table = new QTableWidget(rows, columns, this);
        table->setObjectName(name);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionMode(QAbstractItemView::NoSelection);
        table->setFocusPolicy(Qt::ClickFocus);
        table->setWordWrap(false);
        // The columns share the width; no column is narrower than its widest figure and the table no
        // narrower than its columns (fitTable), so a figure is never cut short; a container's long name
        // elides in the header instead.
        table->setHorizontalHeader(new ElidingHeaderView(Qt::Horizontal, table));
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
        table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        table->setContextMenuPolicy(Qt::ActionsContextMenu);
        return table;
    };
    m_table = makeTable(QStringLiteral("comparisonTable"), GroupRowCount, 2);

    // The tests' figures name themselves ("t = 1.09"), so the table needs no headers and its three
    // columns share the whole width of a narrow side panel.
    m_testsTable = makeTable(QStringLiteral("comparisonTestsTable"), 2 * TestCount, TestColumnCount);
    m_testsTable->horizontalHeader()->hide();
    m_testsTable->verticalHeader()->hide();
    m_testsTable->setShowGrid(false);
    const QStringList names = {tr("Difference of means"), tr("Ratio of variances"), tr("Brown–Forsythe")};
    const QStringList tips = {
        tr("Welch's t-test: t, its degrees of freedom (Welch–Satterthwaite) and the two-sided p-value"),
        tr("F-test of the ratio of the variances, first over second: F, its degrees of freedom and the "
           "two-sided p-value"),
        tr("Brown–Forsythe test of the spreads (deviations from the medians), which keeps its meaning when "
           "the values are not normally distributed: F, its degrees of freedom and the p-value")};
    const QBrush nameBackground = palette().brush(QPalette::AlternateBase);
    for (int test = 0; test < TestCount; ++test) {
        auto* name = new QTableWidgetItem(names.at(test));
        name->setToolTip(tips.at(test));
        QFont font = name->font();
        font.setBold(true);
        name->setFont(font);
        name->setBackground(nameBackground);
        m_testsTable->setItem(nameRow(test), 0, name);
        m_testsTable->setSpan(nameRow(test), 0, 1, TestColumnCount);
    }

    m_copyAction = new QAction(tr("Copy"), this);
    m_copyAction->setObjectName(QStringLiteral("copyComparisonAction"));
    m_copyAction->setShortcut(QKeySequence::Copy);
    m_copyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(m_copyAction, &QAction::triggered, this, &ComparisonPanel::copyToClipboard);
    addAction(m_copyAction);
    m_table->addAction(m_copyAction);
    m_testsTable->addAction(m_copyAction);
}

void ComparisonPanel::setUnits(Units units) {
    if (units == m_units)
        return;
    m_units = units;
    scheduleRefresh();
}

void ComparisonPanel::setMeasurement(Measurement measurement) {
    const auto& known = SeatingStatistics::kMeasurements;
    if (std::find(known.begin(), known.end(), measurement) == known.end())
        return;
    {
        const QSignalBlocker blocker(m_measurementCombo);
        m_measurementCombo->setCurrentIndex(m_measurementCombo->findData(int(measurement)));
    }
    if (measurement == m_measurement)
        return;
    m_measurement = measurement;
    refresh();
}

void ComparisonPanel::setContainers(GraphContainer* first, GraphContainer* second) {
    m_first = first;
    m_second = second;
    refresh();
}

void ComparisonPanel::scheduleRefresh() {
    if (!m_refreshTimer.isActive())
        m_refreshTimer.start();
}

QList<GraphContainer*> ComparisonPanel::listedContainers() const {
    QList<GraphContainer*> listed;
    if (!m_graphModel)
        return listed;
    if (GraphContainer* active = m_graphModel->activeContainer())
        listed.append(active);
    listed += m_graphModel->compareContainers();
    return listed;
}

void ComparisonPanel::resolvePick(const QList<GraphContainer*>& listed) {
    if (listed.size() < 2) {
        m_first = nullptr;
        m_second = nullptr;
        return;
    }
    GraphContainer* first = listed.contains(m_first.data()) ? m_first.data() : nullptr;
    GraphContainer* second =
        listed.contains(m_second.data()) && m_second != first ? m_second.data() : nullptr;
    // A missing first becomes the active session, a missing second the first comparison file; where
    // that one is taken by the other pick, the next one in the list.
    QList<GraphContainer*> secondChoices = listed;
    if (listed.first()->isActiveSession())
        secondChoices.move(0, secondChoices.size() - 1);
    if (!first) {
        const auto found = std::find_if(listed.begin(), listed.end(),
                                        [second](GraphContainer* container) { return container != second; });
        first = *found;
    }
    if (!second) {
        const auto found = std::find_if(secondChoices.begin(), secondChoices.end(),
                                        [first](GraphContainer* container) { return container != first; });
        second = *found;
    }
    m_first = first;
    m_second = second;
}

void ComparisonPanel::fillCombos(const QList<GraphContainer*>& listed) {
    QStringList titles;
    for (const GraphContainer* container : listed)
        titles.append(columnTitle(container));
    QList<GraphContainer*> shown;
    for (const QPointer<GraphContainer>& container : std::as_const(m_listed))
        shown.append(container.data());
    const QSignalBlocker firstBlocker(m_firstCombo);
    const QSignalBlocker secondBlocker(m_secondCombo);
    if (shown != listed || titles != m_listedTitles) {
        m_listed.clear();
        for (GraphContainer* container : listed)
            m_listed.append(container);
        m_listedTitles = titles;
        for (QComboBox* combo : {m_firstCombo, m_secondCombo}) {
            combo->clear();
            for (int i = 0; i < listed.size(); ++i) {
                combo->addItem(titles.at(i));
                const QString path = listed.at(i)->fileName();
                combo->setItemData(i, path.isEmpty() ? titles.at(i) : path, Qt::ToolTipRole);
            }
        }
    }
    const bool enough = listed.size() >= 2;
    m_firstCombo->setEnabled(enough);
    m_secondCombo->setEnabled(enough);
    m_firstCombo->setCurrentIndex(enough ? int(listed.indexOf(m_first.data())) : (listed.isEmpty() ? -1 : 0));
    m_secondCombo->setCurrentIndex(enough ? int(listed.indexOf(m_second.data())) : -1);
}

void ComparisonPanel::onContainerPicked(bool firstCombo, int index) {
    if (index < 0 || index >= m_listed.size() || !m_listed.at(index))
        return;
    GraphContainer* picked = m_listed.at(index);
    GraphContainer* first = m_first;
    GraphContainer* second = m_second;
    // Picking in one combo what the other shows swaps the two.
    if (firstCombo) {
        if (picked == second)
            second = first;
        first = picked;
    } else {
        if (picked == first)
            first = second;
        second = picked;
    }
    setContainers(first, second);
}

void ComparisonPanel::onMeasurementPicked(int index) {
    if (index >= 0)
        setMeasurement(Measurement(m_measurementCombo->itemData(index).toInt()));
}

QList<double> ComparisonPanel::values(const GraphContainer* container) const {
    QList<double> result;
    const auto graphs = container->graphs();
    for (const Graph* graph : graphs) {
        if (graph->visible() && !graph->flyer())
            result.append(graph->data(m_units).measurement(m_measurement));
    }
    return result;
}

void ComparisonPanel::refresh() {
    m_refreshTimer.stop();
    const QList<GraphContainer*> listed = listedContainers();
    resolvePick(listed);
    fillCombos(listed);
    m_comparison =
        m_first && m_second ? GroupComparison(values(m_first), values(m_second)) : GroupComparison();
    fillTables();
    fillVerdict();
}

void ComparisonPanel::setCell(QTableWidget* table, int row, int column, const QString& text,
                              const QString& toolTip) {
    // Cells change in place and only where they differ: every change makes the table measure again.
    QTableWidgetItem* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, column, item);
    }
    if (item->text() != text)
        item->setText(text);
    if (item->toolTip() != toolTip)
        item->setToolTip(toolTip);
}

void ComparisonPanel::fitTable(QTableWidget* table, const QList<int>& figureRows) {
    const QFontMetrics metrics(table->font());
    const int margin = 2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1) +
                       metrics.horizontalAdvance(QLatin1Char(' '));
    int widest = 0;
    for (int row : figureRows) {
        for (int column = 0; column < table->columnCount(); ++column) {
            if (const QTableWidgetItem* item = table->item(row, column))
                widest = std::max(widest, metrics.horizontalAdvance(item->text()));
        }
    }
    table->horizontalHeader()->setMinimumSectionSize(widest + margin);
    table->resizeRowsToContents();
    const QHeaderView* top = table->horizontalHeader();
    const QHeaderView* side = table->verticalHeader();
    const int frame = 2 * table->frameWidth();
    table->setFixedHeight((top->isHidden() ? 0 : top->sizeHint().height()) + side->length() + frame);
    table->setMinimumWidth((side->isHidden() ? 0 : side->sizeHint().width()) +
                           table->columnCount() * top->minimumSectionSize() + frame);
}

void ComparisonPanel::fillTables() {
    const bool comparing = m_first && m_second;
    m_table->setVisible(comparing);
    m_testsTable->setVisible(comparing);
    m_testFigures.clear();
    if (!comparing)
        return;

    const QString unit = ToleranceLimits::unitLabel(m_measurement, m_units);
    const QStringList rowTitles = {tr("n"), tr("Mean (%1)").arg(unit), tr("SD (%1)").arg(unit)};
    const QStringList rowTips = {tr("Strokes counted: the visible traces that are not flyers"), tr("Mean"),
                                 tr("Sample standard deviation")};
    for (int row = 0; row < GroupRowCount; ++row) {
        QTableWidgetItem* header = m_table->verticalHeaderItem(row);
        if (!header) {
            header = new QTableWidgetItem;
            header->setToolTip(rowTips.at(row));
            m_table->setVerticalHeaderItem(row, header);
        }
        if (header->text() != rowTitles.at(row))
            header->setText(rowTitles.at(row));
    }
    const int decimals = groupDecimals(m_comparison);
    const GraphContainer* containers[] = {m_first, m_second};
    const GroupComparison::Group* groups[] = {&m_comparison.first(), &m_comparison.second()};
    const auto orMissing = [](const QString& figure) {
        return figure.isEmpty() ? QString(kMissing) : figure;
    };
    for (int column = 0; column < 2; ++column) {
        QTableWidgetItem* header = m_table->horizontalHeaderItem(column);
        if (!header) {
            header = new QTableWidgetItem;
            m_table->setHorizontalHeaderItem(column, header);
        }
        const QString title = columnTitle(containers[column]);
        if (header->text() != title)
            header->setText(title);
        const QString path = containers[column]->fileName();
        header->setToolTip(path.isEmpty() ? title : path);
        const GroupComparison::Group& group = *groups[column];
        const QString mean = fixed(group.mean, decimals);
        const QString sd = fixed(group.standardDeviation, decimals);
        setCell(m_table, CountRow, column, QString::number(group.count));
        setCell(m_table, MeanRow, column, orMissing(mean),
                mean.isEmpty() ? tr("No strokes counted") : QString());
        setCell(m_table, SdRow, column, orMissing(sd),
                sd.isEmpty() ? tr("One stroke has no spread: it takes %1").arg(GroupComparison::kMinimumCount)
                             : QString());
    }
    fitTable(m_table, {CountRow, MeanRow, SdRow});

    // Why a test has no figure: too few strokes, or values that leave it without a denominator.
    const bool comparable = m_comparison.isComparable();
    const QString tooFew =
        tr("Too few strokes: each side needs at least %1").arg(GroupComparison::kMinimumCount);
    const QString noSpreadEither =
        comparable ? tr("Neither side has any spread: there is nothing to test") : tooFew;
    const QString noSpreadOne =
        comparable ? tr("One side has no spread: the test gives no p-value for such values") : tooFew;
    const QString deviationsAlike =
        comparable ? tr("The deviations from the medians do not vary within either side (as with two strokes "
                        "a side): the test gives no p-value for such values")
                   : tooFew;
    struct Shown {
        QString symbol;
        const GroupComparison::Test& test;
        QString df;
        QString whyNoStatistic;
        QString whyNoDf;
        QString whyNoP;
    };
    const Shown shown[TestCount] = {
        {QStringLiteral("t"), m_comparison.welch(), fixed(m_comparison.welch().df1, 1), noSpreadEither,
         noSpreadEither, noSpreadEither},
        {QStringLiteral("F"), m_comparison.varianceRatio(), dfPair(m_comparison.varianceRatio()),
         noSpreadEither, tooFew, noSpreadOne},
        {QStringLiteral("F"), m_comparison.brownForsythe(), dfPair(m_comparison.brownForsythe()),
         deviationsAlike, tooFew, deviationsAlike},
    };
    QList<int> figureRows;
    for (int test = 0; test < TestCount; ++test) {
        const Shown& figures = shown[test];
        const QStringList plain = {statisticText(figures.test.statistic), figures.df,
                                   GroupComparison::pValueText(figures.test.p)};
        const QStringList symbols = {figures.symbol, tr("df"), tr("p")};
        const QStringList whyNot = {figures.whyNoStatistic, figures.whyNoDf, figures.whyNoP};
        for (int column = 0; column < TestColumnCount; ++column) {
            setCell(m_testsTable, figureRow(test), column, labelled(symbols.at(column), plain.at(column)),
                    plain.at(column).isEmpty() ? whyNot.at(column) : QString());
        }
        m_testFigures.append(plain);
        figureRows.append(figureRow(test));
    }
    fitTable(m_testsTable, figureRows);
}

void ComparisonPanel::fillVerdict() {
    if (!m_first || !m_second) {
        m_verdict->setText(tr("Load a comparison file (File \u203A Load Compare) to compare two sessions."));
        return;
    }
    QString firstName = sentenceName(m_first);
    QString secondName = sentenceName(m_second);
    QStringList lowerCaseNames = {untitledActiveName()};
    if (firstName == secondName) {
        // The same name twice (files of one name from two folders, or one file loaded twice): told apart
        // by their order in the combos.
        firstName = tr("the first %1").arg(firstName);
        secondName = tr("the second %1").arg(secondName);
        lowerCaseNames = QStringList{firstName, secondName};
    }
    const QString measurement = ToleranceLimits::measurementTitle(m_measurement).toLower();
    const QString unit = ToleranceLimits::unitLabel(m_measurement, m_units);
    const auto opening = [&lowerCaseNames](QString sentence) {
        // Only the names made up here are written in lower case; a file's name stays as it is.
        for (const QString& name : std::as_const(lowerCaseNames)) {
            if (sentence.startsWith(name)) {
                sentence[0] = sentence.at(0).toUpper();
                break;
            }
        }
        return sentence;
    };
    m_verdict->setText(opening(m_comparison.spreadSentence(firstName, secondName, measurement, unit)) +
                       QStringLiteral("\n\n") +
                       opening(m_comparison.meanSentence(firstName, secondName, measurement, unit)));
}

QString ComparisonPanel::text() const {
    QStringList lines;
    if (m_first && m_second) {
        QStringList header = {ToleranceLimits::measurementTitle(m_measurement)};
        for (int column = 0; column < m_table->columnCount(); ++column)
            header.append(m_table->horizontalHeaderItem(column)->text());
        lines.append(header.join(QLatin1Char('\t')));
        for (int row = 0; row < m_table->rowCount(); ++row) {
            QStringList fields = {m_table->verticalHeaderItem(row)->text()};
            for (int column = 0; column < m_table->columnCount(); ++column) {
                const QString text = m_table->item(row, column)->text();
                fields.append(text == QString(kMissing) ? QString() : text);
            }
            lines.append(fields.join(QLatin1Char('\t')));
        }
        lines.append(QStringList{tr("Test"), tr("Statistic"), tr("df"), tr("p")}.join(QLatin1Char('\t')));
        for (int test = 0; test < m_testFigures.size(); ++test) {
            lines.append((QStringList{m_testsTable->item(nameRow(test), 0)->text()} + m_testFigures.at(test))
                             .join(QLatin1Char('\t')));
        }
    }
    lines += m_verdict->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void ComparisonPanel::copyToClipboard() {
    if (m_refreshTimer.isActive())
        refresh();
    QGuiApplication::clipboard()->setText(text());
}
