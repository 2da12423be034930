#include "data/MeasurementColouring.h"

#include "data/Graph.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kLowQuantile = 0.1;
constexpr double kMedianQuantile = 0.5;
constexpr double kHighQuantile = 0.9;

// The mean of the two neighbours of position (n - 1) * q in the sorted values.
double quantile(const QList<double>& sorted, double q) {
    const double position = static_cast<double>(sorted.size() - 1) * q;
    const auto below = static_cast<qsizetype>(std::floor(position));
    const auto above = static_cast<qsizetype>(std::ceil(position));
    return (sorted.at(below) + sorted.at(above)) * 0.5;
}

double colouringValue(const Graph* graph, Measurement measurement) {
    if (measurement == Velocity)
        return graph->velocity();
    return graph->data(Imperial).measurement(measurement);
}

} // namespace

MeasurementColouring::MeasurementColouring()
    : m_stopColors{QColor(Qt::darkGreen), QColor(Qt::green), QColor(Qt::yellow), QColor(Qt::red),
                   QColor(Qt::darkRed)} {}

void MeasurementColouring::apply(const QList<Graph*>& graphs, Measurement measurement) {
    QList<double> values;
    for (const Graph* graph : graphs) {
        if (!graph->visible())
            continue;
        const double value = colouringValue(graph, measurement);
        // Non-finite values have no order; they must not reach the sort.
        if (std::isfinite(value))
            values.append(value);
    }
    if (!values.isEmpty()) {
        std::sort(values.begin(), values.end());
        m_stopValues = {values.first(), quantile(values, kLowQuantile), quantile(values, kMedianQuantile),
                        quantile(values, kHighQuantile), values.last()};
    }

    for (Graph* graph : graphs) {
        if (!graph->hasDefaultColor())
            continue;
        if (!graph->visible()) {
            graph->setGradientColor(QColor(Qt::white));
            continue;
        }
        const double value = colouringValue(graph, measurement);
        if (std::isfinite(value))
            graph->setGradientColor(colorAt(value));
        else
            graph->clearGradientColor();
    }
}

void MeasurementColouring::clear(const QList<Graph*>& graphs) {
    for (Graph* graph : graphs)
        graph->clearGradientColor();
}

QColor MeasurementColouring::colorAt(double value) const {
    const auto stop = std::find_if(m_stopValues.cbegin(), m_stopValues.cend(),
                                   [value](double stopValue) { return stopValue >= value; });
    if (stop == m_stopValues.cbegin())
        return m_stopColors.front();
    if (stop == m_stopValues.cend())
        return m_stopColors.back();
    const auto i = static_cast<std::size_t>(stop - m_stopValues.cbegin());
    const double a = m_stopValues.at(i - 1);
    const double b = m_stopValues.at(i);
    const double t = (value - a) / (b - a);
    const QColor& upper = m_stopColors.at(i);
    const QColor& lower = m_stopColors.at(i - 1);
    return QColor::fromRgbF(static_cast<float>(upper.redF() * t + lower.redF() * (1.0 - t)),
                            static_cast<float>(upper.greenF() * t + lower.greenF() * (1.0 - t)),
                            static_cast<float>(upper.blueF() * t + lower.blueF() * (1.0 - t)), 1.0f);
}
