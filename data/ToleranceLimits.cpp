#include "data/ToleranceLimits.h"

#include <QJsonValue>

namespace {

const QString kMeasurementKey = QStringLiteral("Measurement");
const QString kUnitsKey = QStringLiteral("Units");
const QString kLowKey = QStringLiteral("Low");
const QString kHighKey = QStringLiteral("High");
const QString kNominalKey = QStringLiteral("Nominal");
const QString kBandKey = QStringLiteral("Band");

struct MeasurementName {
    Measurement measurement;
    const char* name;
};
constexpr MeasurementName kMeasurementNames[] = {
    {PeakForce, "PeakForce"},
    {TerminalForce, "TerminalForce"},
    {WorkDone, "WorkDone"},
};

bool isJudgeable(Measurement measurement) {
    for (const MeasurementName& entry : kMeasurementNames) {
        if (entry.measurement == measurement)
            return true;
    }
    return false;
}

// The factor from metric to imperial values of that measurement: work is a force times a position.
double imperialPerMetric(Measurement measurement) {
    return measurement == WorkDone ? kLbsPerKg * kInchPerMm : kLbsPerKg;
}

// value, given in units from, in units to; NaN stays NaN.
double convert(double value, Measurement measurement, Units from, Units to) {
    if (from == to)
        return value;
    if (to == Imperial)
        return value * imperialPerMetric(measurement);
    // Metric values are obtained by dividing, the way the traces convert.
    return measurement == WorkDone ? value / kLbsPerKg / kInchPerMm : value / kLbsPerKg;
}

bool sameValue(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

void setError(QString* errorText, const QString& text) {
    if (errorText)
        *errorText = text;
}

// A finite number member, std::nullopt when absent; false when present but not a finite number.
bool readNumber(const QJsonObject& object, const QString& key, std::optional<double>* number,
                QString* errorText) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return true;
    if (!value.isDouble() || !std::isfinite(value.toDouble())) {
        setError(errorText, QStringLiteral("\"%1\" is not a number").arg(key));
        return false;
    }
    *number = value.toDouble();
    return true;
}

} // namespace

std::optional<ToleranceLimits> ToleranceLimits::withBand(Measurement measurement, double nominal, double band,
                                                         Units units) {
    if (!isJudgeable(measurement) || !std::isfinite(nominal) || !std::isfinite(band) || band < 0.0)
        return std::nullopt;
    ToleranceLimits limits;
    limits.m_measurement = measurement;
    limits.m_units = units;
    limits.m_nominal = nominal;
    limits.m_band = band;
    limits.m_low = nominal - band;
    limits.m_high = nominal + band;
    return limits;
}

std::optional<ToleranceLimits> ToleranceLimits::withLimits(Measurement measurement, std::optional<double> low,
                                                           std::optional<double> high, Units units) {
    if (!isJudgeable(measurement))
        return std::nullopt;
    if ((low && !std::isfinite(*low)) || (high && !std::isfinite(*high)) || (low && high && *low > *high))
        return std::nullopt;
    ToleranceLimits limits;
    limits.m_measurement = measurement;
    limits.m_units = units;
    limits.m_low = low.value_or(kNaN);
    limits.m_high = high.value_or(kNaN);
    return limits;
}

ToleranceLimits ToleranceLimits::inUnits(Units units) const {
    ToleranceLimits converted = *this;
    converted.m_units = units;
    if (units == m_units)
        return converted;
    converted.m_nominal = convert(m_nominal, m_measurement, m_units, units);
    converted.m_band = convert(m_band, m_measurement, m_units, units);
    if (hasBand()) {
        // From the converted nominal and band, so that the limits stay symmetric about the nominal.
        converted.m_low = converted.m_nominal - converted.m_band;
        converted.m_high = converted.m_nominal + converted.m_band;
    } else {
        converted.m_low = convert(m_low, m_measurement, m_units, units);
        converted.m_high = convert(m_high, m_measurement, m_units, units);
    }
    return converted;
}

ToleranceLimits::Verdict ToleranceLimits::verdictFor(double value) const {
    if (!hasLimits() || !std::isfinite(value))
        return NotJudged;
    if (hasLow() && value < m_low)
        return Low;
    if (hasHigh() && value > m_high)
        return High;
    return InTolerance;
}

QJsonObject ToleranceLimits::toJson() const {
    QJsonObject object;
    for (const MeasurementName& entry : kMeasurementNames) {
        if (entry.measurement == m_measurement)
            object.insert(kMeasurementKey, QLatin1String(entry.name));
    }
    object.insert(kUnitsKey, m_units == Metric ? QStringLiteral("Metric") : QStringLiteral("Imperial"));
    if (hasBand()) {
        object.insert(kNominalKey, m_nominal);
        object.insert(kBandKey, m_band);
        return object;
    }
    if (hasLow())
        object.insert(kLowKey, m_low);
    if (hasHigh())
        object.insert(kHighKey, m_high);
    return object;
}

std::optional<ToleranceLimits> ToleranceLimits::fromJson(const QJsonObject& object, QString* errorText) {
    Measurement measurement = PeakForce;
    const QJsonValue measurementValue = object.value(kMeasurementKey);
    if (!measurementValue.isUndefined()) {
        const QString name = measurementValue.toString();
        bool known = false;
        for (const MeasurementName& entry : kMeasurementNames) {
            if (measurementValue.isString() && name == QLatin1String(entry.name)) {
                measurement = entry.measurement;
                known = true;
            }
        }
        if (!known) {
            setError(errorText, QStringLiteral("unknown \"%1\"").arg(kMeasurementKey));
            return std::nullopt;
        }
    }
    Units units = Imperial;
    const QJsonValue unitsValue = object.value(kUnitsKey);
    if (unitsValue.isString() && unitsValue.toString() == QLatin1String("Metric")) {
        units = Metric;
    } else if (!unitsValue.isUndefined() &&
               !(unitsValue.isString() && unitsValue.toString() == QLatin1String("Imperial"))) {
        setError(errorText, QStringLiteral("unknown \"%1\"").arg(kUnitsKey));
        return std::nullopt;
    }

    std::optional<double> low;
    std::optional<double> high;
    std::optional<double> nominal;
    std::optional<double> band;
    if (!readNumber(object, kLowKey, &low, errorText) || !readNumber(object, kHighKey, &high, errorText) ||
        !readNumber(object, kNominalKey, &nominal, errorText) ||
        !readNumber(object, kBandKey, &band, errorText))
        return std::nullopt;

    std::optional<ToleranceLimits> limits;
    if (nominal || band) {
        if (!nominal || !band || low || high) {
            setError(errorText, QStringLiteral("\"Nominal\" and \"Band\" go together and without limits"));
            return std::nullopt;
        }
        limits = withBand(measurement, *nominal, *band, units);
    } else {
        limits = withLimits(measurement, low, high, units);
    }
    if (!limits)
        setError(errorText, QStringLiteral("the limits are out of order or the band is negative"));
    return limits;
}

bool ToleranceLimits::operator==(const ToleranceLimits& other) const {
    return m_measurement == other.m_measurement && m_units == other.m_units &&
           sameValue(m_low, other.m_low) && sameValue(m_high, other.m_high) &&
           sameValue(m_nominal, other.m_nominal) && sameValue(m_band, other.m_band);
}

QString ToleranceLimits::verdictText(Verdict verdict) {
    switch (verdict) {
    case InTolerance:
        return QStringLiteral("In tolerance");
    case Low:
        return QStringLiteral("LOW");
    case High:
        return QStringLiteral("HIGH");
    case NotJudged:
        break;
    }
    return QString();
}

QString ToleranceLimits::measurementTitle(Measurement measurement) {
    switch (measurement) {
    case TerminalForce:
        return QStringLiteral("Terminal Force");
    case WorkDone:
        return QStringLiteral("Work Done");
    default:
        return QStringLiteral("Peak Force");
    }
}

QString ToleranceLimits::unitLabel(Measurement measurement, Units units) {
    if (measurement == WorkDone)
        return forceUnitLabel(units) + QChar(0x00B7) + positionUnitLabel(units);
    return forceUnitLabel(units);
}

QString ToleranceLimits::text(int decimals) const {
    if (!hasLimits())
        return QString();
    return QStringLiteral("%1 %2").arg(measurementTitle(m_measurement), rangeText(decimals));
}

QString ToleranceLimits::rangeText(int decimals) const {
    if (!hasLimits())
        return QString();
    const auto number = [decimals](double value) {
        return QString::number(value, 'f', decimals);
    };
    QString range;
    if (hasBand())
        range = QStringLiteral("%1 %2 %3").arg(number(m_nominal), QChar(0x00B1), number(m_band));
    else if (hasLow() && hasHigh())
        range = QStringLiteral("%1 to %2").arg(number(m_low), number(m_high));
    else if (hasLow())
        range = QStringLiteral("at least %1").arg(number(m_low));
    else
        range = QStringLiteral("at most %1").arg(number(m_high));
    return QStringLiteral("%1 %2").arg(range, unitLabel(m_measurement, m_units));
}
