#pragma once

#include <QObject>
#include <QString>

class Protocol;

// What the autorun, its wizard and the dialogs need of the hardware session.
class ISession : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    // A procedure run by the session ended with a result.
    void procedureFinished();
    // A procedure run by the session was cancelled.
    void procedureCanceled();
    // One raw sample from the press: encoder counts, load-cell counts, motor current.
    void pointReceived(int position, int value, int current);

public slots:
    // True while the session has started.
    virtual bool isInitialized() const = 0;
    // The protocol the session talks through; not owned by the caller.
    virtual Protocol* protocol() const = 0;
    // Runs a press stroke. False, starting nothing, unless the session has started and no other
    // procedure of the session is pending or running.
    virtual bool go() = 0;
    // Sends the maximum force, then the jam detection time, from the settings. True when the press
    // was sent both; false when the session has not started or a command did not reach the port.
    virtual bool applyPressSettings() = 0;
    // The press's firmware version, "BOOTLOADER" when only the bootloader answered, empty before.
    virtual QString firmwareVersion() const = 0;
};
