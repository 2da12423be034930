#include "app/CommandAvailability.h"

#include "session/Session.h"

CommandAvailability CommandAvailability::of(const Session* session) {
    CommandAvailability available;
    const bool ready = session && session->isInitialized();
    const bool zeroed = ready && session->isZeroWeightCalibrated();
    const bool located = zeroed && session->isXZeroFound();
    // A closed session keeps its autorun object until it is deleted, but nothing runs on it any more.
    available.autorunAttached = ready && session->hasAutorun();
    // The commands come back once the box reporting the last procedure's result has been answered.
    const bool free = ready && !session->isReportingResult();
    available.zeroPress = free;
    available.findXZero = free && zeroed;
    available.dieSetup = free && zeroed;
    available.autorun = free && located;
    available.go = free && located && !available.autorunAttached;
    return available;
}
