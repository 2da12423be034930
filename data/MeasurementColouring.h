#pragma once

#include "data/Measurement.h"

#include <QColor>
#include <QList>

#include <array>

class Graph;

// Colours traces by where one of their measurements lies among the visible traces of their container:
// dark green for the lowest, through green, yellow and red at the 10th, 50th and 90th percentiles, to dark
// red for the highest. Only traces without an own colour are tinted.
class MeasurementColouring {
public:
    MeasurementColouring();

    // Tints every trace without an own colour by its measurement; hidden traces become white, and a trace
    // whose measurement is not finite keeps its default colour. Non-finite values take no part in the
    // scale; with no finite value at all the previous scale stands.
    void apply(const QList<Graph*>& graphs, Measurement measurement);
    // Takes every trace's tint away.
    static void clear(const QList<Graph*>& graphs);

    // The colour of a value on the current scale (the ends beyond the lowest and highest values).
    QColor colorAt(double value) const;

private:
    std::array<double, 5> m_stopValues{};
    std::array<QColor, 5> m_stopColors;
};
