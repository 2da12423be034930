#pragma once

class Session;

// Which press commands the window offers for the state of the current session (none when there is no
// session): zeroing once it has started, the X zero search and die setup once it is zeroed, autorun and
// Go once the X zero is found, Go only while no autorun is attached, and nothing while the box
// reporting the last procedure's result is still open.
struct CommandAvailability {
    bool zeroPress = false;
    bool findXZero = false;
    bool dieSetup = false;
    bool autorun = false;
    bool go = false;
    // True when an autorun is attached to the started session.
    bool autorunAttached = false;

    static CommandAvailability of(const Session* session);
};
