#include "session/MovingAverageFilter.h"

#include <numeric>

MovingAverageFilter::MovingAverageFilter(int length)
    : m_values(qMax(1, length), 0.0) {}

void MovingAverageFilter::add(double value) {
    m_values[m_writeIndex] = value;
    if (++m_writeIndex == m_values.size()) {
        m_writeIndex = 0;
        m_full = true;
    }
}

double MovingAverageFilter::mean() const {
    return std::accumulate(m_values.cbegin(), m_values.cend(), 0.0) / m_values.size();
}
