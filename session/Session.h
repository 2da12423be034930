#pragma once

#include "session/ISession.h"

#include <QDateTime>

#include <functional>
#include <QList>
#include <QPointer>
#include <QPointF>

class Autorun;
class BaseProcedure;
class IMessageBoxes;
class PressProcedure;
class Protocol;
class XPositionZeroSearchProcedure;
struct Settings;

// The conversation with one connected press running its application firmware: starts it, keeps
// the load-cell zero and the X zero, runs the press commands through procedures and reports on
// them, pushes the force limit and jam detection time, and feeds an attached autorun.
class Session : public ISession {
    Q_OBJECT
public:
    static constexpr double kKilogramsPerCount = 9.439305267132339e-5;
    static constexpr double kXZeroSearchMaxWeightKg = 10.0;
    static constexpr double kXZeroContactThresholdCounts = 52970.0;
    static constexpr int kProcedureStartDelayMs = 100;
    static constexpr double kForceFactor = 0.00020766471587691147;   // pounds per count
    static constexpr double kPositionFactor = 0.0002577536119298245; // inches per count

    // None of the arguments is owned. The settings and the message boxes must outlive the session;
    // the protocol may go first, after which the session does nothing.
    Session(Protocol* protocol, Settings* settings, IMessageBoxes* messageBoxes, QObject* parent = nullptr);
    ~Session() override;

    bool isInitialized() const override;
    Protocol* protocol() const override;
    bool applyPressSettings() override;

    // Sends the force limit as a raw load-cell reading above the current zero; ignored unless started.
    // True when the command reached the port.
    bool setMaxWeight(double kilograms);
    // Sends the jam detection time; ignored unless started. True when the command reached the port.
    bool setJamDetectionTime(int milliseconds);

    // Takes over the autorun object (deleting any earlier one later), switches it on and feeds it samples.
    void setAutorun(Autorun* autorun);
    // Stops feeding the attached autorun and schedules its deletion.
    void clearAutorun();

    bool isZeroWeightCalibrated() const { return m_zeroWeightCalibrated; }
    bool isXZeroFound() const { return m_xZeroFound; }
    bool hasAutorun() const { return !m_autorun.isNull(); }
    // Load-cell reading with no load, raw counts.
    int zeroWeightAdc() const { return m_zeroWeightAdc; }
    // Encoder position of the X zero, counts.
    int xZeroPosition() const { return m_xZeroPosition; }
    // When the press first answered on this connection (local time); invalid before. Names the autosave.
    QDateTime startTime() const { return m_startTime; }
    // The inactivity watchdog given to every procedure created from now on; 0 switches it off. It
    // also bounds the wait for an idle press before a stroke starts.
    void setProcedureTimeoutMs(int milliseconds) { m_procedureTimeoutMs = milliseconds; }
    // True from a procedure's end until the box reporting its result has been answered.
    bool isReportingResult() const { return m_pendingReports > 0; }
    // A procedure of this session is waiting for its start or running; commands are refused meanwhile.
    bool isProcedureActive() const;
    // Gives the press to a firmware upgrade for the rest of this session: detaches the autorun, and
    // from now on the session sends no command, starts no procedure and does not take the restarted
    // firmware's samples for a start (isInitialized() is false); it still relays samples and
    // versions. The owner closes the link when the upgrade is over. False, changing nothing, while a
    // procedure is pending or running.
    bool handOverToFirmwareUpgrade();

signals:
    void procedureProgressChanged(int progress);
    // A Go stroke produced a trace: (distance below the X zero in inches, force in pounds).
    void measurementDone(QList<QPointF> points);
    void initialized();
    void closed();
    void firmwareVersionReceived(QString firmwareVersion);
    // A Go stroke under way recorded one more point, exactly as it will be among measurementDone's.
    void strokePointRecorded(QPointF point);
    // The box reporting a procedure's result was answered (or had nothing to say).
    void resultReported();

public slots:
    // Starts the conversation; waits for the application firmware when only the bootloader talks.
    void init();
    // The press commands return whether they started a procedure; each is refused (false, nothing
    // sent) while another procedure of the session is pending or running. All but the zeroing
    // also need a started session.
    bool go() override;
    bool calibrateZeroWeight();
    bool findXZero();
    bool dieSetup();
    QString firmwareVersion() const override { return m_firmwareVersionText; }

private slots:
    void onProtocolClosed();
    void onPointReceived(int position, int value, int current);
    void onReportReceived();

private:
    void startSession();
    void onVersionReceived(const QString& version);
    bool refuseWhileBusy(const char* command) const;
    void adoptProcedure(BaseProcedure* procedure);
    void connectRelays(BaseProcedure* procedure);
    void runProcedure(BaseProcedure* procedure);
    void runProcedureDelayed(BaseProcedure* procedure);
    void runWhenIdle(BaseProcedure* procedure);
    void onXZeroSearchFinished(XPositionZeroSearchProcedure* procedure);
    void onStrokeFinished(PressProcedure* procedure);
    void restoreMaxWeight();
    // Shows a box once control is back in the event loop (dropped if the session is deleted first).
    void postBox(std::function<void()> show);

    QPointer<Protocol> m_protocol;
    Settings* m_settings;
    IMessageBoxes* m_messageBoxes;
    QPointer<Autorun> m_autorun;
    QPointer<BaseProcedure> m_procedure; // the one pending or running procedure
    bool m_sampleSinceReport = false;    // a sample has arrived since the last status line
    bool m_initialized = false;
    bool m_closed = false;
    bool m_handedOver = false; // the press belongs to a firmware upgrade
    bool m_zeroWeightCalibrated = false;
    bool m_xZeroFound = false;
    int m_zeroWeightAdc = 0;
    int m_xZeroPosition = 0;
    int m_procedureTimeoutMs;
    int m_pendingReports = 0;
    QString m_firmwareVersionText;
    QDateTime m_startTime;
};
