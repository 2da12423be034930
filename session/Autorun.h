#pragma once

#include "session/MovingAverageFilter.h"

#include <memory>
#include <QObject>
#include <QPointer>
#include <QString>

class BaseProcedure;
class ISession;
class ITimer;
struct Settings;

// Starts a Go stroke by itself when a loaded die has been placed on the press and has stayed
// there for the dwell time, then waits for the die to be taken off before the next one. Works on a
// moving average of the raw load-cell readings between two thresholds derived from the weights
// measured with and without the die.
class Autorun : public QObject {
    Q_OBJECT
public:
    enum State {
        Disabled = 0,
        Init = 1,
        NoDieWaiting = 2,
        NoDie = 3,
        WithDieWaiting = 4,
        WaitingForGoToFinish = 5
    };
    Q_ENUM(State)

    // None of the arguments is owned; the filter length is read from the settings here, once
    // (a length below 1 is taken as 1). The session may be deleted first: the object then idles.
    Autorun(ISession* session, ITimer* timer, Settings* settings, QObject* parent = nullptr);
    // As above, owning the timer: parented to the session that runs it, the autorun and its timer
    // go with that session.
    Autorun(ISession* session, std::unique_ptr<ITimer> timer, Settings* settings, QObject* parent = nullptr);
    ~Autorun() override;

    // Switches the machine on (Init): the die may still be on the press.
    void enable();
    // Measure the mean reading with the press empty (or with the loaded die on it) and store it
    // when the measurement finishes. Null, doing nothing, while the session has not started;
    // otherwise the running measurement, owned by this object and deleted when it ends.
    BaseProcedure* measureNoDieWeight();
    BaseProcedure* measureWithDieWeight();
    // The measured weights differ by at least the minimum difference of the settings.
    bool isWeightDifferenceSufficient() const;

    State state() const { return m_state; }
    double noDieWeight() const { return m_noDieWeight; }
    double withDieWeight() const { return m_withDieWeight; }
    // Thresholds in raw load-cell counts, from the current weights and ratio.
    double lowThreshold() const;
    double highThreshold() const;

signals:
    void statusUpdate(QString message);

public slots:
    // One raw sample (encoder counts, load-cell counts, motor current).
    void onPointReceived(int position, int value, int current);

private slots:
    void onGoFinished();

private:
    BaseProcedure* measureWeight(double* weight);
    void step(double v);
    void startGo();
    void setState(State newState);

    QPointer<ISession> m_session;
    std::unique_ptr<ITimer> m_ownedTimer;
    ITimer* m_timer;
    Settings* m_settings;
    double m_noDieWeight = 0.0;
    double m_withDieWeight = 0.0;
    State m_state = Disabled;
    MovingAverageFilter m_filter;
};
