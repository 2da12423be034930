#pragma once

#include <QList>
#include <QSet>

// Which chronograph shot each trace of a session gets. The traces come in trace-number order and the shots
// in the file's order; the ones the user leaves out take no part, and the rest pair up in turn, the shots
// moved by an offset: +1 skips the first shot (a fouling shot fired first), -1 leaves the first trace without
// one (the chronograph missed the first round). A round the chronograph missed later in the string is mended
// by leaving its trace out, after which every later trace moves up one shot.
class VelocityPairing {
public:
    struct Pair {
        int trace = 0; // index into the traces
        int shot = 0;  // index into the shots
        bool operator==(const Pair& other) const { return trace == other.trace && shot == other.shot; }
    };

    // The pairs for traceCount traces and shotCount shots, in trace order; indices out of range in the
    // left-out sets are ignored.
    static QList<Pair> pair(int traceCount, int shotCount, int offset, const QSet<int>& leftOutTraces = {},
                            const QSet<int>& leftOutShots = {});
};
