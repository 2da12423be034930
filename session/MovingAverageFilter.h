#pragma once

#include <QVector>

// The mean of the last `length` values added, over a ring that starts filled with zeros.
class MovingAverageFilter {
public:
    // length must be at least 1.
    explicit MovingAverageFilter(int length);

    void add(double value);
    // True once `length` values have been added; stays true.
    bool isFull() const { return m_full; }
    // The sum of all entries divided by the length (zeros count until the ring is full).
    double mean() const;
    int length() const { return int(m_values.size()); }

private:
    QVector<double> m_values;
    int m_writeIndex = 0;
    bool m_full = false;
};
