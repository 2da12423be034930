#include "data/VelocityPairing.h"

QList<VelocityPairing::Pair> VelocityPairing::pair(int traceCount, int shotCount, int offset,
                                                   const QSet<int>& leftOutTraces,
                                                   const QSet<int>& leftOutShots) {
    QList<int> shots;
    for (int shot = 0; shot < shotCount; ++shot) {
        if (!leftOutShots.contains(shot))
            shots.append(shot);
    }
    QList<Pair> pairs;
    int position = 0;
    for (int trace = 0; trace < traceCount; ++trace) {
        if (leftOutTraces.contains(trace))
            continue;
        // 64 bits: an absurd offset from a spin box or a file must not overflow the sum.
        const qint64 shot = qint64(position) + offset;
        ++position;
        if (shot >= 0 && shot < shots.size())
            pairs.append({trace, shots.at(int(shot))});
    }
    return pairs;
}
