#include "data/SeatingStatistics.h"

#include "data/Graph.h"

#include <algorithm>
#include <cmath>

SeatingStatistics::SeatingStatistics(const QList<Graph*>& graphs, Units units)
    : m_units(units) {
    std::array<QList<double>, kMeasurements.size()> values;
    for (QList<double>& list : values)
        list.reserve(graphs.size());
    for (const Graph* graph : graphs) {
        if (!graph->visible())
            continue;
        ++m_strokes;
        if (graph->flyer()) {
            ++m_flyers;
            continue;
        }
        const TraceData& data = graph->data(units);
        for (std::size_t i = 0; i < kMeasurements.size(); ++i)
            values[i].append(data.measurement(kMeasurements[i]));
    }
    for (std::size_t i = 0; i < kMeasurements.size(); ++i)
        m_summaries[i] = summarize(values[i]);
}

const SeatingStatistics::Summary& SeatingStatistics::summary(Measurement measurement) const {
    static const Summary kNone;
    const auto found = std::find(kMeasurements.begin(), kMeasurements.end(), measurement);
    if (found == kMeasurements.end())
        return kNone;
    return m_summaries[static_cast<std::size_t>(found - kMeasurements.begin())];
}

SeatingStatistics::Summary SeatingStatistics::summarize(const QList<double>& values) {
    Summary result;
    double mean = 0.0;
    for (double value : values) {
        if (!std::isfinite(value))
            continue;
        if (result.count == 0) {
            result.minimum = value;
            result.maximum = value;
        } else {
            result.minimum = std::min(result.minimum, value);
            result.maximum = std::max(result.maximum, value);
        }
        ++result.count;
        // A running mean: a sum of large values could overflow where their mean does not.
        mean += (value - mean) / result.count;
    }
    if (result.count == 0)
        return result;
    result.mean = mean;
    result.extremeSpread = result.maximum - result.minimum;
    if (result.count < 2)
        return result;
    // Two passes: the squares of the deviations, not of the values, so large forces with a small spread
    // lose no digits.
    double squares = 0.0;
    for (double value : values) {
        if (std::isfinite(value))
            squares += (value - result.mean) * (value - result.mean);
    }
    result.standardDeviation = std::sqrt(squares / (result.count - 1));
    return result;
}
