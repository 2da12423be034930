#pragma once

#include "core/Units.h"
#include "data/Measurement.h"

#include <QJsonObject>
#include <QString>

#include <cmath>
#include <limits>
#include <optional>

// The tolerance of one session: which measurement is judged and between which limits, in one unit
// system. Given either as nominal ± band or as a low and a high limit, either of which may be open.
// A default-constructed object has no limits and judges nothing. Values are immutable once made; the
// factories refuse what would not make sense, so every object that exists is consistent.
class ToleranceLimits {
public:
    enum Verdict {
        NotJudged,   // no limits, or the value is not finite
        InTolerance, // low <= value <= high, the limits themselves included
        Low,         // below the low limit
        High,        // above the high limit
    };

    // Peak force, no limits, imperial units.
    ToleranceLimits() = default;

    // nominal ± band in that unit system. Nothing when the measurement is not PeakForce, TerminalForce or
    // WorkDone, when nominal or band is not finite, or when band is negative.
    static std::optional<ToleranceLimits> withBand(Measurement measurement, double nominal, double band,
                                                   Units units);
    // A low and a high limit in that unit system; std::nullopt leaves that side open. Nothing when the
    // measurement is not one of the three, a given limit is not finite, or low > high.
    static std::optional<ToleranceLimits> withLimits(Measurement measurement, std::optional<double> low,
                                                     std::optional<double> high, Units units);

    Measurement measurement() const { return m_measurement; }
    Units units() const { return m_units; }
    // At least one side is limited.
    bool hasLimits() const { return hasLow() || hasHigh(); }
    bool hasLow() const { return !std::isnan(m_low); }
    bool hasHigh() const { return !std::isnan(m_high); }
    // The limits in units(); NaN on an open side.
    double low() const { return m_low; }
    double high() const { return m_high; }
    // Given as nominal ± band; nominal() and band() are NaN otherwise.
    bool hasBand() const { return !std::isnan(m_nominal); }
    double nominal() const { return m_nominal; }
    double band() const { return m_band; }

    // The same limits in the other unit system, converted as the traces are: forces by kLbsPerKg, work
    // (force x position) by kLbsPerKg and kInchPerMm. A band stays a band.
    ToleranceLimits inUnits(Units units) const;

    // The verdict on a value of measurement() given in units().
    Verdict verdictFor(double value) const;

    // "In tolerance", "LOW" or "HIGH"; empty for NotJudged.
    static QString verdictText(Verdict verdict);
    // "Peak Force", "Terminal Force" or "Work Done".
    static QString measurementTitle(Measurement measurement);
    // The unit label of that measurement's values: "lbs", "kg", "lbs·inch" or "kg·mm".
    static QString unitLabel(Measurement measurement, Units units);
    // The limits as a user reads them, with `decimals` decimals, e.g. "Peak Force 42.00 ± 1.50 lbs",
    // "Peak Force 40.00 to 44.00 lbs", "Work Done at least 3.00 lbs·inch"; empty without limits.
    QString text(int decimals = 2) const;
    // The same without the measurement: "42.00 ± 1.50 lbs", "40.00 to 44.00 lbs", "at least 3.00 lbs·inch".
    QString rangeText(int decimals = 2) const;

    // The member for the session file: "Measurement" ("PeakForce", "TerminalForce" or "WorkDone"),
    // "Units" ("Imperial" or "Metric"), then "Nominal" and "Band", or whichever of "Low" and "High" is
    // limited.
    QJsonObject toJson() const;
    // The limits of such a member. Unknown members are ignored; a missing "Measurement" or "Units" means
    // PeakForce or Imperial, and an object without any limit gives no limits. Nothing (errorText saying
    // why, when given) for a member of the wrong type, an unknown name, a lone "Nominal" or "Band", a band
    // mixed with "Low" or "High", or values the factories refuse.
    static std::optional<ToleranceLimits> fromJson(const QJsonObject& object, QString* errorText = nullptr);

    // The same measurement, units and limits, given the same way.
    bool operator==(const ToleranceLimits& other) const;
    bool operator!=(const ToleranceLimits& other) const { return !(*this == other); }

private:
    static constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

    Measurement m_measurement = PeakForce;
    Units m_units = Imperial;
    double m_low = kNaN;
    double m_high = kNaN;
    double m_nominal = kNaN;
    double m_band = kNaN;
};
