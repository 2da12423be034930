#include "dialogs/ImportVelocitiesDlg.h"

#include "data/Graph.h"
#include "data/VelocityPairing.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMetresPerFoot = 0.3048;
const QString kFeet = QStringLiteral("ft/s");
const QString kMetres = QStringLiteral("m/s");

enum Column { UseColumn, TraceColumn, TitleColumn, NowColumn, ShotColumn, NewColumn, ColumnCount };

double converted(double velocity, const QString& from, const QString& to) {
    if (from == to)
        return velocity;
    return to == kMetres ? velocity * kMetresPerFoot : velocity / kMetresPerFoot;
}

QString velocityText(double velocity) {
    return std::isfinite(velocity) && velocity != 0.0 ? QString::number(velocity, 'f', 1) : QString();
}

bool isNumber(const QString& text) {
    bool ok = false;
    QString(text).replace(QLatin1Char(','), QLatin1Char('.')).trimmed().toDouble(&ok);
    return ok;
}

QTableWidgetItem* cell(const QString& text, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    item->setTextAlignment(alignment);
    return item;
}

} // namespace

ImportVelocitiesDlg::ImportVelocitiesDlg(const QString& fileName, const QList<Graph*>& traces,
                                         QWidget* parent)
    : QDialog(parent)
    , m_fileName(fileName) {
    setObjectName(QStringLiteral("importVelocitiesDlg"));
    setWindowTitle(tr("Import Velocities"));
    // Trace-number order, whatever order the session keeps them in.
    QList<Graph*> sorted = traces;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Graph* a, const Graph* b) { return a->traceNumber() < b->traceNumber(); });
    for (Graph* graph : std::as_const(sorted))
        m_traceList.append(graph);

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("importSummary"));
    m_summary->setWordWrap(true);

    m_offset = new QSpinBox(this);
    m_offset->setObjectName(QStringLiteral("importOffsetSpin"));
    m_offset->setToolTip(
        tr("1 skips the first shot (a fouling shot); -1 leaves the first trace without one"));
    m_targetUnit = new QComboBox(this);
    m_targetUnit->setObjectName(QStringLiteral("importTargetUnitCombo"));
    m_targetUnit->addItems({kFeet, kMetres});

    m_traces = new QTableWidget(0, ColumnCount, this);
    m_traces->setObjectName(QStringLiteral("importTraceTable"));
    m_traces->setHorizontalHeaderLabels(
        {tr("Use"), tr("Trace #"), tr("Title"), tr("Velocity now"), tr("Shot"), tr("New velocity")});
    m_traces->verticalHeader()->hide();
    m_traces->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_traces->setSelectionMode(QAbstractItemView::NoSelection);
    m_traces->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_traces->horizontalHeader()->setSectionResizeMode(TitleColumn, QHeaderView::Stretch);
    m_shots = new QListWidget(this);
    m_shots->setObjectName(QStringLiteral("importShotList"));
    m_shots->setToolTip(tr("Untick a shot to leave it out; the later shots move up"));

    m_problemLabel = new QLabel(this);
    m_problemLabel->setObjectName(QStringLiteral("importProblemLabel"));
    m_problemLabel->setStyleSheet(QStringLiteral("color: #b00020;"));
    m_problemLabel->setWordWrap(true);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Apply | QDialogButtonBox::Cancel, this);
    connect(applyButton(), &QPushButton::clicked, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    connect(m_offset, &QSpinBox::valueChanged, this, &ImportVelocitiesDlg::updatePreview);
    connect(m_targetUnit, &QComboBox::currentIndexChanged, this, &ImportVelocitiesDlg::updatePreview);
    connect(m_traces, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (m_filling || item->column() != UseColumn)
            return;
        setTraceUsed(item->row(), item->checkState() == Qt::Checked);
    });
    connect(m_shots, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (!m_filling)
            setShotUsed(m_shots->row(item), item->checkState() == Qt::Checked);
    });
    resize(640, 480);
}

ImportVelocitiesDlg::ImportVelocitiesDlg(const QString& fileName, const QString& layoutName,
                                         const ChronographSeries& series, const QList<Graph*>& traces,
                                         QWidget* parent)
    : ImportVelocitiesDlg(fileName, traces, parent) {
    m_layoutName = layoutName;
    m_series = series;
    layOut(new QFormLayout);
    fillShots();
    updatePreview();
}

ImportVelocitiesDlg::ImportVelocitiesDlg(const QString& fileName, const QList<QStringList>& rows,
                                         const QList<Graph*>& traces, QWidget* parent)
    : ImportVelocitiesDlg(fileName, traces, parent) {
    m_layoutName = tr("CSV file");
    m_rows = rows;
    buildColumnPickers();
    auto* columns = new QFormLayout;
    columns->addRow(tr("Velocity column"), m_velocityColumn);
    columns->addRow(tr("Shot number column"), m_numberColumn);
    columns->addRow(QString(), m_header);
    columns->addRow(tr("Velocities in the file are in"), m_fileUnit);
    layOut(columns);
    readColumns();
}

void ImportVelocitiesDlg::layOut(QFormLayout* form) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    form->addRow(tr("Shift shots by"), m_offset);
    form->addRow(tr("Write velocities in"), m_targetUnit);
    layout->addLayout(form);
    auto* lists = new QHBoxLayout;
    lists->addWidget(m_traces, 3);
    lists->addWidget(m_shots, 1);
    layout->addLayout(lists, 1);
    layout->addWidget(m_problemLabel);
    layout->addWidget(m_buttons);
}

void ImportVelocitiesDlg::buildColumnPickers() {
    int columnCount = 0;
    for (const QStringList& row : std::as_const(m_rows))
        columnCount = std::max(columnCount, int(row.size()));
    const QStringList first = m_rows.value(0);
    m_velocityColumn = new QComboBox(this);
    m_velocityColumn->setObjectName(QStringLiteral("importVelocityColumnCombo"));
    m_numberColumn = new QComboBox(this);
    m_numberColumn->setObjectName(QStringLiteral("importNumberColumnCombo"));
    m_numberColumn->addItem(tr("None (shots in row order)"), -1);
    m_header = new QCheckBox(tr("The first row is a header"), this);
    m_header->setObjectName(QStringLiteral("importHeaderCheck"));
    m_fileUnit = new QComboBox(this);
    m_fileUnit->setObjectName(QStringLiteral("importFileUnitCombo"));
    m_fileUnit->addItems({kFeet, kMetres});

    // The columns by their headings where the first row has them; the likely ones picked.
    int velocity = -1;
    int number = -1;
    for (int column = 0; column < columnCount; ++column) {
        const QString heading = first.value(column).trimmed();
        const QString name = heading.isEmpty() || isNumber(heading)
                                 ? tr("Column %1").arg(column + 1)
                                 : tr("Column %1: %2").arg(column + 1).arg(heading);
        m_velocityColumn->addItem(name, column);
        m_numberColumn->addItem(name, column);
        const QString lower = heading.toLower();
        if (velocity < 0 &&
            (lower.contains(QStringLiteral("vel")) || lower.contains(QStringLiteral("speed"))))
            velocity = column;
        if (number < 0 && (lower.contains(QStringLiteral("shot")) || lower == QStringLiteral("#") ||
                           lower == QStringLiteral("no") || lower == QStringLiteral("no.")))
            number = column;
        if (lower.contains(QStringLiteral("m/s")) || lower.contains(QStringLiteral("mps")))
            m_fileUnit->setCurrentText(kMetres);
    }
    if (velocity < 0)
        velocity = columnCount > 1 ? 1 : 0;
    m_velocityColumn->setCurrentIndex(std::max(0, m_velocityColumn->findData(velocity)));
    m_numberColumn->setCurrentIndex(std::max(0, m_numberColumn->findData(number)));
    m_header->setChecked(!first.isEmpty() && !isNumber(first.value(velocity)));

    for (QComboBox* combo : {m_velocityColumn, m_numberColumn, m_fileUnit})
        connect(combo, &QComboBox::currentIndexChanged, this, &ImportVelocitiesDlg::readColumns);
    connect(m_header, &QCheckBox::toggled, this, &ImportVelocitiesDlg::readColumns);
}

void ImportVelocitiesDlg::readColumns() {
    QString why;
    const std::optional<ChronographSeries> series = ChronographFile::readColumns(
        m_rows, m_velocityColumn->currentData().toInt(), m_numberColumn->currentData().toInt(),
        m_header->isChecked(), m_fileUnit->currentText(), &why);
    m_problem = series ? QString() : why;
    m_series = series.value_or(ChronographSeries{});
    if (series)
        m_series.name.clear();
    m_leftOutShots.clear();
    fillShots();
    updatePreview();
}

void ImportVelocitiesDlg::fillShots() {
    m_filling = true;
    m_shots->clear();
    for (qsizetype i = 0; i < m_series.shots.size(); ++i) {
        const ChronographShot& shot = m_series.shots.at(i);
        auto* item = new QListWidgetItem(
            tr("Shot %1: %2 %3").arg(shot.number).arg(velocityText(shot.velocity), m_series.unit), m_shots);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(m_leftOutShots.contains(int(i)) ? Qt::Unchecked : Qt::Checked);
    }
    m_offset->setRange(-int(std::max<qsizetype>(m_traceList.size(), 1)),
                       int(std::max<qsizetype>(m_series.shots.size(), 1)));
    m_filling = false;
}

void ImportVelocitiesDlg::setTraceUsed(int trace, bool used) {
    if (used)
        m_leftOutTraces.remove(trace);
    else
        m_leftOutTraces.insert(trace);
    updatePreview();
}

void ImportVelocitiesDlg::setShotUsed(int shot, bool used) {
    if (used)
        m_leftOutShots.remove(shot);
    else
        m_leftOutShots.insert(shot);
    if (QListWidgetItem* item = m_shots->item(shot)) {
        m_filling = true;
        item->setCheckState(used ? Qt::Checked : Qt::Unchecked);
        m_filling = false;
    }
    updatePreview();
}

QString ImportVelocitiesDlg::targetUnit() const {
    return m_targetUnit->currentText();
}

QPushButton* ImportVelocitiesDlg::applyButton() const {
    return m_buttons->button(QDialogButtonBox::Apply);
}

QList<std::pair<Graph*, double>> ImportVelocitiesDlg::assignments() const {
    QList<std::pair<Graph*, double>> result;
    if (!m_problem.isEmpty())
        return result;
    const auto pairs = VelocityPairing::pair(int(m_traceList.size()), int(m_series.shots.size()),
                                             m_offset->value(), m_leftOutTraces, m_leftOutShots);
    for (const VelocityPairing::Pair& pair : pairs) {
        if (Graph* graph = m_traceList.at(pair.trace))
            result.append(
                {graph, converted(m_series.shots.at(pair.shot).velocity, m_series.unit, targetUnit())});
    }
    return result;
}

void ImportVelocitiesDlg::updatePreview() {
    const auto pairs = VelocityPairing::pair(int(m_traceList.size()), int(m_series.shots.size()),
                                             m_offset->value(), m_leftOutTraces, m_leftOutShots);
    QList<int> shotOf(m_traceList.size(), -1);
    for (const VelocityPairing::Pair& pair : pairs)
        shotOf[pair.trace] = pair.shot;

    m_filling = true;
    m_traces->setRowCount(int(m_traceList.size()));
    int previousNumber = 0;
    int leftOutSincePrevious = 0;
    for (int row = 0; row < m_traceList.size(); ++row) {
        const Graph* graph = m_traceList.at(row);
        auto* use = cell(QString());
        use->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        use->setCheckState(m_leftOutTraces.contains(row) ? Qt::Unchecked : Qt::Checked);
        m_traces->setItem(row, UseColumn, use);
        m_traces->setItem(row, TraceColumn,
                          cell(graph ? QString::number(graph->traceNumber()) : QString(),
                               Qt::AlignRight | Qt::AlignVCenter));
        m_traces->setItem(row, TitleColumn, cell(graph ? graph->name() : QString()));
        m_traces->setItem(
            row, NowColumn,
            cell(graph ? velocityText(graph->velocity()) : QString(), Qt::AlignRight | Qt::AlignVCenter));
        const int shot = shotOf.at(row);
        auto* shotCell = cell(shot >= 0 ? QString::number(m_series.shots.at(shot).number) : QString(),
                              Qt::AlignRight | Qt::AlignVCenter);
        auto* newCell = cell(
            shot >= 0 ? velocityText(converted(m_series.shots.at(shot).velocity, m_series.unit, targetUnit()))
                      : QString(),
            Qt::AlignRight | Qt::AlignVCenter);
        if (shot < 0 && m_leftOutTraces.contains(row))
            ++leftOutSincePrevious;
        if (shot >= 0) {
            // A jump in the shot numbers that no trace left out accounts for: the device lost or dropped a
            // shot, and the traces after it would get the wrong rounds' velocities.
            const int number = m_series.shots.at(shot).number;
            if (previousNumber > 0 && number - previousNumber - 1 > leftOutSincePrevious) {
                shotCell->setBackground(QColor(255, 205, 120));
                shotCell->setToolTip(
                    tr("The shot numbers jump from %1 to %2 here: if a round went unrecorded, "
                       "leave its trace out")
                        .arg(previousNumber)
                        .arg(number));
            }
            previousNumber = number;
            leftOutSincePrevious = 0;
        }
        m_traces->setItem(row, ShotColumn, shotCell);
        m_traces->setItem(row, NewColumn, newCell);
    }
    m_filling = false;

    const QString file = QFileInfo(m_fileName).fileName();
    QString series = m_layoutName;
    if (!m_series.name.isEmpty())
        series += QStringLiteral(" \"%1\"").arg(m_series.name);
    if (m_series.date.isValid())
        series += QStringLiteral(", ") + m_series.date.toString(Qt::ISODate);
    m_summary->setText(tr("%1: %2, %3 shots in %4. %5 of %6 traces get a velocity in %7.")
                           .arg(file, series)
                           .arg(m_series.shots.size())
                           .arg(m_series.unit.isEmpty() ? tr("no unit") : m_series.unit)
                           .arg(pairs.size())
                           .arg(m_traceList.size())
                           .arg(targetUnit()));
    m_problemLabel->setText(m_problem);
    applyButton()->setEnabled(m_problem.isEmpty() && !pairs.isEmpty());
}
