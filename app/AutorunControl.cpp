#include "app/AutorunControl.h"

#include "session/Autorun.h"
#include "session/Session.h"
#include "session/Timer.h"

#include <QCheckBox>
#include <QPointer>

#include <memory>

AutorunControl::AutorunControl(QCheckBox* checkBox, Settings* settings, SessionSource currentSession,
                               SetUp setUp, QObject* parent)
    : QObject(parent)
    , m_checkBox(checkBox)
    , m_settings(settings)
    , m_currentSession(std::move(currentSession))
    , m_setUp(std::move(setUp)) {
    connect(m_checkBox, &QCheckBox::stateChanged, this, &AutorunControl::onToggled);
}

bool AutorunControl::isRunning(const Session* session) const {
    return session && session == m_currentSession() && session->isInitialized();
}

void AutorunControl::onToggled() {
    QPointer<Session> current = m_currentSession();
    if (!m_checkBox->isChecked()) {
        // Only a live session has an autorun to detach.
        if (current && current->isInitialized())
            current->clearAutorun();
        emit statusMessage(tr("Autorun: Disabled"));
        emit changed();
        return;
    }
    if (!current) {
        m_checkBox->setChecked(false);
        return;
    }
    emit setUpStarted();
    // The autorun and its timer belong to the session, so they go with it if the link drops meanwhile;
    // a rejected set-up deletes the autorun itself.
    QPointer<Autorun> autorun = new Autorun(current, std::make_unique<Timer>(), m_settings, current);
    const bool accepted = m_setUp(autorun, current);
    if (accepted && autorun && isRunning(current)) {
        connect(autorun, &Autorun::statusUpdate, this, &AutorunControl::statusMessage);
        current->setAutorun(autorun);
        emit changed();
        return;
    }
    if (autorun && current && !current->hasAutorun())
        delete autorun.data();
    // Unticking re-enters onToggled, which detaches and has the enabling rules applied again.
    m_checkBox->setChecked(false);
}
