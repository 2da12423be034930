#include "session/Autorun.h"

#include "core/Settings.h"
#include "session/ISession.h"
#include "session/ITimer.h"
#include "session/LoadcellCalibrationProcedure.h"

#include <cmath>
#include <QDebug>

namespace {

int checkedFilterLength(const Settings* settings) {
    const int length = settings->autorunFilterLength;
    if (length >= 1)
        return length;
    qWarning() << "Autorun filter length" << length << "is below 1; using 1";
    return 1;
}

} // namespace

Autorun::Autorun(ISession* session, ITimer* timer, Settings* settings, QObject* parent)
    : QObject(parent)
    , m_session(session)
    , m_timer(timer)
    , m_settings(settings)
    , m_filter(checkedFilterLength(settings)) {}

Autorun::Autorun(ISession* session, std::unique_ptr<ITimer> timer, Settings* settings, QObject* parent)
    : Autorun(session, timer.get(), settings, parent) {
    m_ownedTimer = std::move(timer);
}

Autorun::~Autorun() = default;

void Autorun::enable() {
    setState(Init);
}

BaseProcedure* Autorun::measureNoDieWeight() {
    return measureWeight(&m_noDieWeight);
}

BaseProcedure* Autorun::measureWithDieWeight() {
    return measureWeight(&m_withDieWeight);
}

BaseProcedure* Autorun::measureWeight(double* weight) {
    if (!m_session || !m_session->isInitialized())
        return nullptr;
    auto* procedure = new LoadcellCalibrationProcedure(m_session->protocol(), this);
    connect(procedure, &BaseProcedure::finished, this,
            [procedure, weight] { *weight = procedure->average(); });
    procedure->start();
    return procedure;
}

bool Autorun::isWeightDifferenceSufficient() const {
    return m_settings->autorunMinDiffAdc <= m_withDieWeight - m_noDieWeight;
}

double Autorun::lowThreshold() const {
    const double d = m_withDieWeight - m_noDieWeight;
    return m_noDieWeight + m_settings->autorunThresholdRatio * d;
}

double Autorun::highThreshold() const {
    const double d = m_withDieWeight - m_noDieWeight;
    return m_noDieWeight + (1.0 - m_settings->autorunThresholdRatio) * d;
}

void Autorun::onPointReceived(int position, int value, int current) {
    Q_UNUSED(position)
    Q_UNUSED(current)
    m_filter.add(value);
    if (m_filter.isFull())
        step(std::trunc(m_filter.mean()));
}

void Autorun::step(double v) {
    const qint64 dwellMs = m_settings->autorunTimeoutMs;
    switch (m_state) {
    case Init:
        if (v < lowThreshold()) {
            setState(NoDieWaiting);
            m_timer->start();
        }
        break;
    case NoDieWaiting:
        if (v >= lowThreshold())
            setState(Init);
        else if (m_timer->hasExpired(dwellMs))
            setState(NoDie);
        break;
    case NoDie:
        if (v > highThreshold()) {
            setState(WithDieWaiting);
            m_timer->start();
        }
        break;
    case WithDieWaiting:
        if (v <= highThreshold()) {
            setState(NoDie);
        } else if (m_timer->hasExpired(dwellMs)) {
            startGo();
        }
        break;
    case Disabled:
    case WaitingForGoToFinish:
        break;
    }
}

void Autorun::startGo() {
    if (!m_session)
        return;
    setState(WaitingForGoToFinish);
    connect(m_session, &ISession::procedureFinished, this, &Autorun::onGoFinished);
    connect(m_session, &ISession::procedureCanceled, this, &Autorun::onGoFinished);
    if (m_session->go())
        return;
    // The session is busy with another procedure (or not started): no stroke now. Back to
    // waiting for the die, so a die still on the press starts one after a new dwell time.
    qInfo() << "Autorun: the session did not start a stroke";
    disconnect(m_session, &ISession::procedureFinished, this, &Autorun::onGoFinished);
    disconnect(m_session, &ISession::procedureCanceled, this, &Autorun::onGoFinished);
    setState(NoDie);
}

void Autorun::onGoFinished() {
    setState(Init);
    if (!m_session)
        return;
    disconnect(m_session, &ISession::procedureFinished, this, &Autorun::onGoFinished);
    disconnect(m_session, &ISession::procedureCanceled, this, &Autorun::onGoFinished);
}

void Autorun::setState(State newState) {
    const State oldState = m_state;
    m_state = newState;
    qDebug() << "Autorun state change:" << oldState << "->" << newState;
    switch (newState) {
    case Init:
        emit statusUpdate(tr("Autorun: Take die off"));
        break;
    case NoDie:
        emit statusUpdate(tr("Autorun: Place die on"));
        break;
    case WaitingForGoToFinish:
        emit statusUpdate(tr("Autorun: Waiting for press"));
        break;
    default:
        break;
    }
}
