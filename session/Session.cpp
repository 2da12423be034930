#include "session/Session.h"

#include "app/IMessageBoxes.h"
#include "app/Settings.h"
#include "data/Units.h"
#include "link/Protocol.h"
#include "session/Autorun.h"
#include "session/DieSetupProcedure.h"
#include "session/LoadcellCalibrationProcedure.h"
#include "session/PressProcedure.h"
#include "session/ReportMessage.h"
#include "session/ReportOutcome.h"
#include "session/XPositionZeroSearchProcedure.h"

#include <cmath>
#include <limits>
#include <QDebug>
#include <QTimer>

namespace {

// The integer part of a count computed in double precision, kept within the int range so that
// no value (however the settings or the press readings came about) converts out of range.
int toCounts(double value) {
    constexpr double kMin = std::numeric_limits<int>::min();
    constexpr double kMax = std::numeric_limits<int>::max();
    return static_cast<int>(std::trunc(qBound(kMin, value, kMax)));
}

} // namespace

Session::Session(Protocol* protocol, Settings* settings, IMessageBoxes* messageBoxes, QObject* parent)
    : ISession(parent)
    , m_protocol(protocol)
    , m_settings(settings)
    , m_messageBoxes(messageBoxes)
    , m_procedureTimeoutMs(BaseProcedure::kDefaultTimeoutMs) {
    qInfo() << "> Creating" << this;
    connect(m_protocol, &Protocol::closed, this, &Session::onProtocolClosed);
}

Session::~Session() {
    qInfo() << "> Deleting" << this;
    // The attached autorun was handed over to the session; it must not outlive it on the sample stream.
    clearAutorun();
}

void Session::init() {
    // A closed session stays closed: its protocol may already carry another press's port.
    if (m_initialized || m_closed)
        return;
    // A second init() while waiting for the application firmware must not double the connections.
    connect(m_protocol, &Protocol::pointReceived, this, &Session::onPointReceived, Qt::UniqueConnection);
    connect(m_protocol, &Protocol::versionReceived, this, &Session::onVersionReceived, Qt::UniqueConnection);
    if (m_protocol->isCommunicatingWithBootloader()) {
        qInfo() << "Only communicating with bootloader. Usage will be limited.";
        m_firmwareVersionText = QStringLiteral("BOOTLOADER");
        emit firmwareVersionReceived(m_firmwareVersionText);
        return;
    }
    startSession();
}

void Session::startSession() {
    m_startTime = QDateTime::currentDateTime();
    qDebug() << "Session started at" << m_startTime.toString(Qt::ISODate);
    m_initialized = true;
    m_protocol->requestVersion();
    emit initialized();
}

void Session::onVersionReceived(const QString& version) {
    qInfo() << "Firmware version:" << version;
    m_firmwareVersionText = version;
    emit firmwareVersionReceived(version);
}

void Session::onPointReceived(int position, int value, int current) {
    emit pointReceived(position, value, current);
    if (!m_initialized)
        startSession();
}

void Session::onProtocolClosed() {
    m_initialized = false;
    m_closed = true;
    disconnect(m_protocol, nullptr, this, nullptr);
    emit closed();
}

void Session::applyPressSettings() {
    setMaxWeight(m_settings->maxPressure());
    setJamDetectionTime(m_settings->jamDetectionTime());
}

void Session::setMaxWeight(double kilograms) {
    if (!m_initialized)
        return;
    if (!std::isfinite(kilograms)) {
        qWarning() << "Not setting a max weight that is not a number:" << kilograms;
        return;
    }
    qInfo() << "Setting max weight to" << kilograms << "kg /" << kilograms * kLbsPerKg << "lbs";
    m_protocol->sendMaxWeight(toCounts(m_zeroWeightAdc + kilograms / kKilogramsPerCount));
}

void Session::setJamDetectionTime(int milliseconds) {
    if (!m_initialized)
        return;
    qInfo() << "Setting jam detection time to" << milliseconds << "ms";
    m_protocol->sendJamDetectionTime(milliseconds);
}

void Session::restoreMaxWeight() {
    setMaxWeight(m_settings->maxPressure());
}

void Session::runProcedure(BaseProcedure* procedure) {
    connect(procedure, &BaseProcedure::finished, this, &ISession::procedureFinished);
    connect(procedure, &BaseProcedure::canceled, this, &ISession::procedureCanceled);
    connect(procedure, &BaseProcedure::progressChanged, this, &Session::procedureProgressChanged);
    procedure->start();
}

void Session::runProcedureDelayed(BaseProcedure* procedure) {
    qDebug() << "Delaying" << kProcedureStartDelayMs << "ms...";
    // The procedure is the timer's context: if it is deleted meanwhile the start never fires, and
    // one cancelled (the link closed) but not yet deleted is not touched either.
    QTimer::singleShot(kProcedureStartDelayMs, procedure, [this, procedure] {
        if (procedure->hasEnded())
            return;
        qDebug() << "Timer up, running procedure";
        runProcedure(procedure);
    });
}

void Session::calibrateZeroWeight() {
    auto* procedure = new LoadcellCalibrationProcedure(m_protocol, this);
    procedure->setTimeoutMs(m_procedureTimeoutMs);
    connect(procedure, &BaseProcedure::finished, this, [this, procedure] {
        m_zeroWeightAdc = toCounts(procedure->average());
        m_zeroWeightCalibrated = true;
        // The press's force limit is relative to the zero: re-express it against the new one.
        setMaxWeight(m_settings->maxPressure());
    });
    runProcedure(procedure);
}

void Session::findXZero() {
    if (!m_initialized)
        return;
    setJamDetectionTime(m_settings->jamDetectionTime());
    setMaxWeight(kXZeroSearchMaxWeightKg);
    qInfo() << "Finding X zero";
    auto* procedure = new XPositionZeroSearchProcedure(
        m_protocol, toCounts(m_zeroWeightAdc + kXZeroContactThresholdCounts), this);
    procedure->setTimeoutMs(m_procedureTimeoutMs);
    connect(procedure, &BaseProcedure::finished, this,
            [this, procedure] { onXZeroSearchFinished(procedure); });
    runProcedureDelayed(procedure);
    connect(procedure, &BaseProcedure::finished, this, &Session::restoreMaxWeight);
    connect(procedure, &BaseProcedure::canceled, this, &Session::restoreMaxWeight);
}

void Session::onXZeroSearchFinished(XPositionZeroSearchProcedure* procedure) {
    // Results are taken before any box opens: its event loop may delete the procedure.
    if (procedure->dieDetected()) {
        m_xZeroPosition = procedure->xZero();
        m_xZeroFound = true;
        m_messageBoxes->showOk(tr("X zero found"));
    } else {
        m_messageBoxes->showWarning(tr("Find X Zero failed."), tr("Die not detected."));
    }
}

void Session::dieSetup() {
    if (!m_initialized)
        return;
    qInfo() << "Die setup";
    applyPressSettings();
    auto* procedure = new DieSetupProcedure(m_protocol, this);
    procedure->setTimeoutMs(m_procedureTimeoutMs);
    runProcedureDelayed(procedure);
}

void Session::go() {
    if (!m_initialized)
        return;
    qInfo() << "Go";
    applyPressSettings();
    auto* procedure =
        new PressProcedure(m_protocol, m_zeroWeightAdc, m_xZeroPosition, kForceFactor, kPositionFactor, this);
    procedure->setTimeoutMs(m_procedureTimeoutMs);
    connect(
        procedure, &BaseProcedure::finished, this, [this, procedure] { onStrokeFinished(procedure); },
        Qt::SingleShotConnection);
    runProcedureDelayed(procedure);
}

void Session::onStrokeFinished(PressProcedure* procedure) {
    // Copies, not references: the report's box runs an event loop that may delete the procedure,
    // and even this session (the link closing meanwhile).
    const MotorReport::Report report = procedure->lastReport();
    const QList<QPointF> points = procedure->points();
    const QPointer<Session> self(this);
    if (keepsTrace(report)) {
        qDebug() << "Points received:" << points.size();
        emit measurementDone(points);
        if (!self)
            return;
    }
    showReportMessage(*m_messageBoxes, report);
    logFailedPoints(report, points);
    if (!self)
        return;
    m_protocol->requestBleInfo();
}

void Session::setAutorun(Autorun* autorun) {
    if (autorun && autorun == m_autorun) {
        autorun->enable();
        return;
    }
    clearAutorun();
    if (!autorun)
        return;
    m_autorun = autorun;
    autorun->enable();
    connect(m_protocol, &Protocol::pointReceived, autorun, &Autorun::onPointReceived);
}

void Session::clearAutorun() {
    if (!m_autorun)
        return;
    disconnect(m_protocol, &Protocol::pointReceived, m_autorun, &Autorun::onPointReceived);
    m_autorun->deleteLater();
    m_autorun = nullptr;
}
