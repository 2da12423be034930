#pragma once

#include "core/Units.h"
#include "data/Measurement.h"

#include <QList>

#include <array>
#include <limits>

class Graph;

// How consistent a batch of strokes was: for peak force, terminal force and work done, the count, mean,
// sample standard deviation, extreme spread, minimum and maximum over the visible traces that are not
// flyers, in one unit system. Visible flyers are left out and counted; hidden traces take no part at all,
// and a non-finite measurement leaves that one measurement's figures without it.
class SeatingStatistics {
public:
    // Below this many values the spread figures (standard deviation, extreme spread) are only indicative.
    static constexpr int kIndicativeBelow = 5;
    // The measurements summarised, in the order they are shown.
    static constexpr std::array<Measurement, 3> kMeasurements{PeakForce, TerminalForce, WorkDone};

    // The figures of one measurement. Every figure that its count does not define is NaN: all of them
    // without values, the standard deviation with one value.
    struct Summary {
        int count = 0;
        double mean = std::numeric_limits<double>::quiet_NaN();
        double standardDeviation = std::numeric_limits<double>::quiet_NaN(); // with n - 1
        double extremeSpread = std::numeric_limits<double>::quiet_NaN();     // maximum - minimum
        double minimum = std::numeric_limits<double>::quiet_NaN();
        double maximum = std::numeric_limits<double>::quiet_NaN();
    };

    SeatingStatistics() = default;
    // The figures of these traces (none may be null) in that unit system.
    SeatingStatistics(const QList<Graph*>& graphs, Units units);

    // Visible traces, flyers included.
    int strokes() const { return m_strokes; }
    // Visible traces marked as flyers, which the figures leave out.
    int flyersExcluded() const { return m_flyers; }
    Units units() const { return m_units; }
    // The figures of PeakForce, TerminalForce or WorkDone; an empty summary for anything else.
    const Summary& summary(Measurement measurement) const;
    // The spread figures of that measurement rest on fewer than kIndicativeBelow values.
    bool isIndicative(Measurement measurement) const { return summary(measurement).count < kIndicativeBelow; }

    // The figures of plain values; non-finite ones are left out.
    static Summary summarize(const QList<double>& values);

private:
    int m_strokes = 0;
    int m_flyers = 0;
    Units m_units = Imperial;
    std::array<Summary, kMeasurements.size()> m_summaries;
};
