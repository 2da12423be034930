#include "dialogs/ToleranceLimitsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

// Wide enough for any force or work a press can give, in either unit system.
constexpr double kLargestValue = 99999.0;

constexpr Measurement kJudged[] = {PeakForce, TerminalForce, WorkDone};

// Forces to a hundredth as the legend shows them; work is smaller, to a thousandth.
int decimalsOf(Measurement measurement) {
    return measurement == WorkDone ? 3 : 2;
}

QDoubleSpinBox* valueSpin(const char* objectName, QWidget* parent) {
    auto* spin = new QDoubleSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(objectName));
    spin->setRange(-kLargestValue, kLargestValue);
    spin->setDecimals(2);
    spin->setAccelerated(true);
    return spin;
}

} // namespace

ToleranceLimitsDlg::ToleranceLimitsDlg(const ToleranceLimits& current, Units units, double typicalValue,
                                       QWidget* parent)
    : QDialog(parent)
    , m_current(current)
    , m_units(units) {
    setObjectName(QStringLiteral("toleranceLimitsDlg"));
    setWindowTitle(tr("Tolerance Limits"));

    m_measurement = new QComboBox(this);
    m_measurement->setObjectName(QStringLiteral("limitsMeasurementCombo"));
    for (Measurement measurement : kJudged)
        m_measurement->addItem(ToleranceLimits::measurementTitle(measurement), int(measurement));

    m_bandButton = new QRadioButton(tr("Nominal ± band"), this);
    m_bandButton->setObjectName(QStringLiteral("limitsBandButton"));
    m_rangeButton = new QRadioButton(tr("Low and high limits"), this);
    m_rangeButton->setObjectName(QStringLiteral("limitsRangeButton"));
    m_nominal = valueSpin("limitsNominalSpin", this);
    m_band = valueSpin("limitsBandSpin", this);
    m_band->setMinimum(0.0);
    m_lowCheck = new QCheckBox(tr("Low"), this);
    m_lowCheck->setObjectName(QStringLiteral("limitsLowCheck"));
    m_low = valueSpin("limitsLowSpin", this);
    m_highCheck = new QCheckBox(tr("High"), this);
    m_highCheck->setObjectName(QStringLiteral("limitsHighCheck"));
    m_high = valueSpin("limitsHighSpin", this);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Measurement"), this), 0, 0);
    grid->addWidget(m_measurement, 0, 1, 1, 3);
    grid->addWidget(m_bandButton, 1, 0, 1, 4);
    const auto unitLabel = [this]() {
        auto* label = new QLabel(this);
        m_unitLabels.append(label);
        return label;
    };
    grid->addWidget(new QLabel(tr("Nominal"), this), 2, 0, Qt::AlignRight);
    grid->addWidget(m_nominal, 2, 1);
    grid->addWidget(unitLabel(), 2, 2);
    grid->addWidget(new QLabel(tr("Band ±"), this), 3, 0, Qt::AlignRight);
    grid->addWidget(m_band, 3, 1);
    grid->addWidget(unitLabel(), 3, 2);
    grid->addWidget(m_rangeButton, 4, 0, 1, 4);
    grid->addWidget(m_lowCheck, 5, 0, Qt::AlignRight);
    grid->addWidget(m_low, 5, 1);
    grid->addWidget(unitLabel(), 5, 2);
    grid->addWidget(m_highCheck, 6, 0, Qt::AlignRight);
    grid->addWidget(m_high, 6, 1);
    grid->addWidget(unitLabel(), 6, 2);
    grid->setColumnStretch(3, 1);

    auto* note = new QLabel(
        tr("Every stroke of the session is judged against these limits; the values on a limit are in "
           "tolerance. Leave a side open to judge only the other."),
        this);
    note->setWordWrap(true);
    m_problemLabel = new QLabel(this);
    m_problemLabel->setObjectName(QStringLiteral("limitsProblemLabel"));
    m_problemLabel->setStyleSheet(QStringLiteral("color: #b00020;"));
    m_problemLabel->setWordWrap(true);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_removeButton = m_buttons->addButton(tr("Remove Limits"), QDialogButtonBox::ResetRole);
    m_removeButton->setObjectName(QStringLiteral("limitsRemoveButton"));
    m_removeButton->setEnabled(current.hasLimits());
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_removeButton, &QPushButton::clicked, this, [this]() {
        m_removed = true;
        accept();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addWidget(m_problemLabel);
    layout->addStretch(1);
    layout->addWidget(m_buttons);

    // An empty form starts around the typical value, a band of about 5 % either side.
    if (current.hasLimits()) {
        showLimits(current.inUnits(units));
    } else {
        const double typical = std::isfinite(typicalValue) ? typicalValue : 0.0;
        const double band = std::isfinite(typicalValue) ? std::abs(typicalValue) * 0.05 : 0.0;
        m_bandButton->setChecked(true);
        m_nominal->setValue(typical);
        m_band->setValue(band);
        m_low->setValue(typical - band);
        m_high->setValue(typical + band);
        m_lowCheck->setChecked(true);
        m_highCheck->setChecked(true);
        onMeasurementChanged();
    }

    // From here on every change is the user's.
    const auto edited = [this]() {
        m_edited = true;
        updateState();
    };
    connect(m_measurement, &QComboBox::currentIndexChanged, this, [this]() {
        m_edited = true;
        onMeasurementChanged();
    });
    for (QRadioButton* button : {m_bandButton, m_rangeButton})
        connect(button, &QRadioButton::toggled, this, edited);
    for (QCheckBox* check : {m_lowCheck, m_highCheck})
        connect(check, &QCheckBox::toggled, this, edited);
    for (QDoubleSpinBox* spin : {m_nominal, m_band, m_low, m_high})
        connect(spin, &QDoubleSpinBox::valueChanged, this, edited);
    updateState();
}

QPushButton* ToleranceLimitsDlg::okButton() const {
    return m_buttons->button(QDialogButtonBox::Ok);
}

Measurement ToleranceLimitsDlg::currentMeasurement() const {
    return Measurement(m_measurement->currentData().toInt());
}

void ToleranceLimitsDlg::showLimits(const ToleranceLimits& limits) {
    m_measurement->setCurrentIndex(std::max(0, m_measurement->findData(int(limits.measurement()))));
    onMeasurementChanged();
    if (limits.hasBand()) {
        m_bandButton->setChecked(true);
        m_nominal->setValue(limits.nominal());
        m_band->setValue(limits.band());
    } else {
        m_rangeButton->setChecked(true);
        // The other form starts from the same window.
        const double low = limits.hasLow() ? limits.low() : limits.high();
        const double high = limits.hasHigh() ? limits.high() : limits.low();
        m_nominal->setValue((low + high) / 2.0);
        m_band->setValue((high - low) / 2.0);
    }
    // An open side starts at the other side's value, ready to be ticked.
    m_lowCheck->setChecked(limits.hasLow());
    m_highCheck->setChecked(limits.hasHigh());
    m_low->setValue(limits.hasLow() ? limits.low() : limits.high());
    m_high->setValue(limits.hasHigh() ? limits.high() : limits.low());
}

void ToleranceLimitsDlg::onMeasurementChanged() {
    const Measurement measurement = currentMeasurement();
    for (QDoubleSpinBox* spin : {m_nominal, m_band, m_low, m_high})
        spin->setDecimals(decimalsOf(measurement));
    const QString unit = ToleranceLimits::unitLabel(measurement, m_units);
    for (QLabel* label : std::as_const(m_unitLabels))
        label->setText(unit);
    updateState();
}

bool ToleranceLimitsDlg::isValid() const {
    return problem().isEmpty();
}

QString ToleranceLimitsDlg::problem() const {
    if (m_bandButton->isChecked())
        return m_band->value() > 0.0 ? QString() : tr("Give a band greater than 0.");
    if (!m_lowCheck->isChecked() && !m_highCheck->isChecked())
        return tr("Tick the low limit, the high limit or both.");
    if (m_lowCheck->isChecked() && m_highCheck->isChecked() && m_low->value() > m_high->value())
        return tr("The low limit is above the high limit.");
    return QString();
}

ToleranceLimits ToleranceLimitsDlg::limits() const {
    if (m_removed || !isValid())
        return ToleranceLimits();
    // The form shows the limits rounded to its decimals and in the units shown: Ok on an untouched form
    // keeps them exactly as they were.
    if (!m_edited && m_current.hasLimits())
        return m_current;
    const Measurement measurement = currentMeasurement();
    std::optional<ToleranceLimits> limits;
    if (m_bandButton->isChecked()) {
        limits = ToleranceLimits::withBand(measurement, m_nominal->value(), m_band->value(), m_units);
    } else {
        limits = ToleranceLimits::withLimits(
            measurement, m_lowCheck->isChecked() ? std::optional<double>(m_low->value()) : std::nullopt,
            m_highCheck->isChecked() ? std::optional<double>(m_high->value()) : std::nullopt, m_units);
    }
    return limits.value_or(ToleranceLimits());
}

void ToleranceLimitsDlg::updateState() {
    const bool band = m_bandButton->isChecked();
    m_nominal->setEnabled(band);
    m_band->setEnabled(band);
    m_lowCheck->setEnabled(!band);
    m_highCheck->setEnabled(!band);
    m_low->setEnabled(!band && m_lowCheck->isChecked());
    m_high->setEnabled(!band && m_highCheck->isChecked());
    const QString why = problem();
    m_problemLabel->setText(why);
    okButton()->setEnabled(why.isEmpty());
}
