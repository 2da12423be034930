#pragma once

#include <QObject>

#include <functional>

class Autorun;
class QCheckBox;
class Session;
struct Settings;

// The life of autorun in the window: ticking the Autorun box makes an autorun for the running session
// and runs its set-up; an accepted set-up hands it to the session (which owns it from then on, and ends
// it with itself), anything else deletes it and unticks the box; unticking takes it off the session.
// The window wires it and re-applies its enabling rules on changed().
class AutorunControl : public QObject {
    Q_OBJECT
public:
    // The running session, or none.
    using SessionSource = std::function<Session*()>;
    // Runs the set-up of the autorun for the session (the wizard, modal); true when it was accepted.
    using SetUp = std::function<bool(Autorun* autorun, Session* session)>;

    // Nothing is owned; the box and settings must outlive this object.
    AutorunControl(QCheckBox* checkBox, Settings* settings, SessionSource currentSession, SetUp setUp,
                   QObject* parent = nullptr);

signals:
    // The autorun's own status lines, and "Autorun: Disabled" when it is taken off.
    void statusMessage(const QString& message);
    // A set-up begins: nothing else may start a stroke while it runs.
    void setUpStarted();
    // Autorun was attached or detached: the window's enabling rules apply again.
    void changed();

private:
    void onToggled();
    bool isRunning(const Session* session) const;

    QCheckBox* m_checkBox;
    Settings* m_settings;
    SessionSource m_currentSession;
    SetUp m_setUp;
};
