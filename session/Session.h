#pragma once

#include "session/ISession.h"

#include <QDateTime>
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

    // Neither the protocol, the settings nor the message boxes are owned; all must outlive the session.
    Session(Protocol* protocol, Settings* settings, IMessageBoxes* messageBoxes, QObject* parent = nullptr);
    ~Session() override;

    bool isInitialized() const override { return m_initialized; }
    Protocol* protocol() const override { return m_protocol; }
    void applyPressSettings() override;

    // Sends the force limit as a raw load-cell reading above the current zero; ignored unless started.
    void setMaxWeight(double kilograms);
    // Sends the jam detection time; ignored unless started.
    void setJamDetectionTime(int milliseconds);

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
    // The inactivity watchdog given to every procedure created from now on; 0 switches it off.
    void setProcedureTimeoutMs(int milliseconds) { m_procedureTimeoutMs = milliseconds; }

signals:
    void procedureProgressChanged(int progress);
    // A Go stroke produced a trace: (distance below the X zero in inches, force in pounds).
    void measurementDone(QList<QPointF> points);
    void initialized();
    void closed();
    void firmwareVersionReceived(QString firmwareVersion);

public slots:
    // Starts the conversation; waits for the application firmware when only the bootloader talks.
    void init();
    void go() override;
    void calibrateZeroWeight();
    void findXZero();
    void dieSetup();
    QString firmwareVersion() const override { return m_firmwareVersionText; }

private slots:
    void onProtocolClosed();
    void onPointReceived(int position, int value, int current);

private:
    void startSession();
    void onVersionReceived(const QString& version);
    void runProcedure(BaseProcedure* procedure);
    void runProcedureDelayed(BaseProcedure* procedure);
    void onXZeroSearchFinished(XPositionZeroSearchProcedure* procedure);
    void onStrokeFinished(PressProcedure* procedure);
    void restoreMaxWeight();

    Protocol* m_protocol;
    Settings* m_settings;
    IMessageBoxes* m_messageBoxes;
    QPointer<Autorun> m_autorun;
    bool m_initialized = false;
    bool m_closed = false;
    bool m_zeroWeightCalibrated = false;
    bool m_xZeroFound = false;
    int m_zeroWeightAdc = 0;
    int m_xZeroPosition = 0;
    int m_procedureTimeoutMs;
    QString m_firmwareVersionText;
    QDateTime m_startTime;
};
