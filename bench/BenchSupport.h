#pragma once

// What the benchmarks share: a synthetic press stroke and the median of repeated timings.

#include <QElapsedTimer>
#include <QList>
#include <QPointF>
#include <QRandomGenerator>

#include <algorithm>
#include <functional>
#include <vector>

namespace bench {

constexpr int kStrokePoints = 1000;

// A stroke as the press delivers it: position falling from about half an inch, force rising with noise.
inline QList<QPointF> makeStroke(QRandomGenerator& random) {
    QList<QPointF> points;
    points.reserve(kStrokePoints);
    const double step = 0.0004 + random.generateDouble() * 0.0001;
    for (int i = 0; i < kStrokePoints; ++i) {
        const double x = 0.5 - i * step;
        const double y = (i < 300 ? 0.0 : (i - 300) * 0.12) + random.generateDouble() * 0.8;
        points.append(QPointF(x, y));
    }
    return points;
}

// Median of several runs of the work, in seconds.
inline double medianSeconds(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

} // namespace bench
