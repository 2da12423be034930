#pragma once

#include "support/FakeMessageBoxes.h"
#include "support/FakePort.h"

#include "core/Settings.h"
#include "link/Protocol.h"
#include "session/Session.h"

#include <memory>
#include <QByteArray>

// What a fake press sends, and the deferred deletions a test flushes between steps.
namespace PressLines {
// One "$R" sample line at raw position and force, and `count` of them.
QByteArray sample(int position, int value);
QByteArray samples(int count, int position, int value);
// A motor report line ("$D,<code>").
QByteArray report(int code);
void flushDeferredDeletes();
} // namespace PressLines

// A session on a fake press, as the session, procedure, autorun and dialog tests build it: the protocol,
// the fake port it owns, default settings, recorded boxes and the session on them (not started).
// Destroying it deletes the session before the protocol and flushes deferred deletions.
class PressFixture {
public:
    PressFixture();
    ~PressFixture();
    PressFixture(const PressFixture&) = delete;
    PressFixture& operator=(const PressFixture&) = delete;

    // Replaces the session by a new one on the same protocol, settings and boxes (not started).
    void renewSession();
    // Starts the session and zeroes it at raw force `zero` (test failures are recorded, not thrown).
    void startAndZero(int zero);
    // Runs the X zero search on the started session to a found X zero at raw position `xZero`; the
    // boxes recorded so far are forgotten.
    void findXZeroAt(int xZero);
    // The press restarted in its bootloader: announces it, then a new session is started on it.
    void startInBootloader();

    std::unique_ptr<Protocol> protocol;
    FakePort* port = nullptr; // owned by the protocol
    Settings settings;
    FakeMessageBoxes boxes;
    std::unique_ptr<Session> session;
};
