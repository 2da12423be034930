#pragma once

// Selects one measurement of a trace. The value 1 is not used; the values are part of the exports.
enum Measurement : int {
    PeakForce = 0,
    WorkDone = 2,
    TerminalForce = 3,
    StartingPosition = 4,
    Velocity = 5, // the trace's velocity; only the measurement colouring accepts it
};
