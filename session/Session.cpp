#include "session/Session.h"

#include "core/IMessageBoxes.h"
#include "core/Settings.h"
#include "core/Units.h"
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

bool Session::isInitialized() const {
    return m_initialized && m_protocol && !m_handedOver;
}

Protocol* Session::protocol() const {
    return m_protocol.data();
}

void Session::init() {
    // A closed session stays closed: its protocol may already carry another press's port.
    if (m_initialized || m_closed || m_handedOver || !m_protocol)
        return;
    // A second init() while waiting for the application firmware must not double the connections.
    connect(m_protocol, &Protocol::pointReceived, this, &Session::onPointReceived, Qt::UniqueConnection);
    connect(m_protocol, &Protocol::reportReceived, this, &Session::onReportReceived, Qt::UniqueConnection);
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
    m_sampleSinceReport = true;
    emit pointReceived(position, value, current);
    // During an upgrade the samples come from the restarted firmware, which is not this session's:
    // the press is found and zeroed again once the upgrade has closed the link.
    if (!m_initialized && !m_handedOver)
        startSession();
}

void Session::onReportReceived() {
    m_sampleSinceReport = false;
}

void Session::onProtocolClosed() {
    m_initialized = false;
    m_closed = true;
    if (m_protocol)
        disconnect(m_protocol, nullptr, this, nullptr);
    emit closed();
}

bool Session::isProcedureActive() const {
    return m_procedure && !m_procedure->hasEnded();
}

bool Session::refuseWhileBusy(const char* command) const {
    if (m_handedOver) {
        qWarning() << "Refusing" << command << "while the press belongs to a firmware upgrade";
        return true;
    }
    if (!isProcedureActive())
        return false;
    qWarning() << "Refusing" << command << "while another procedure is pending or running";
    return true;
}

bool Session::handOverToFirmwareUpgrade() {
    if (refuseWhileBusy("a firmware upgrade"))
        return false;
    qInfo() << "The press belongs to the firmware upgrade until the link closes";
    clearAutorun();
    m_handedOver = true;
    return true;
}

void Session::adoptProcedure(BaseProcedure* procedure) {
    procedure->setTimeoutMs(m_procedureTimeoutMs);
    m_procedure = procedure;
}

bool Session::applyPressSettings() {
    // Both are sent even when the first does not go out; the result only reports it.
    const bool maxWeightSent = setMaxWeight(m_settings->maxPressure());
    const bool jamDetectionTimeSent = setJamDetectionTime(m_settings->jamDetectionTime());
    return maxWeightSent && jamDetectionTimeSent;
}

bool Session::setMaxWeight(double kilograms) {
    if (!isInitialized())
        return false;
    if (!std::isfinite(kilograms)) {
        qWarning() << "Not setting a max weight that is not a number:" << kilograms;
        return false;
    }
    qInfo() << "Setting max weight to" << kilograms << "kg /" << kilograms * kLbsPerKg << "lbs";
    return m_protocol->sendMaxWeight(toCounts(m_zeroWeightAdc + kilograms / kKilogramsPerCount));
}

bool Session::setJamDetectionTime(int milliseconds) {
    if (!isInitialized())
        return false;
    qInfo() << "Setting jam detection time to" << milliseconds << "ms";
    return m_protocol->sendJamDetectionTime(milliseconds);
}

void Session::restoreMaxWeight() {
    setMaxWeight(m_settings->maxPressure());
}

void Session::connectRelays(BaseProcedure* procedure) {
    connect(procedure, &BaseProcedure::finished, this, &ISession::procedureFinished);
    connect(procedure, &BaseProcedure::canceled, this, &ISession::procedureCanceled);
    connect(procedure, &BaseProcedure::progressChanged, this, &Session::procedureProgressChanged);
}

void Session::runProcedure(BaseProcedure* procedure) {
    connectRelays(procedure);
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
        if (m_sampleSinceReport)
            runProcedure(procedure);
        else
            runWhenIdle(procedure);
    });
}

void Session::runWhenIdle(BaseProcedure* procedure) {
    // After a stroke the press sends a burst of status lines before it streams samples again; a
    // stroke started inside that burst would end on the next of them with nothing recorded.
    qDebug() << "Waiting for the press to become idle before running procedure";
    // Listeners learn of a cancellation from now on: the command has been taken on.
    connectRelays(procedure);
    connect(
        m_protocol, &Protocol::pointReceived, procedure,
        [procedure] {
            if (procedure->hasEnded())
                return;
            qDebug() << "Press idle, running procedure";
            procedure->start();
        },
        Qt::SingleShotConnection);
    const int timeoutMs = procedure->timeoutMs();
    if (timeoutMs <= 0)
        return;
    QTimer::singleShot(timeoutMs, procedure, [procedure, timeoutMs] {
        if (procedure->isRunning() || procedure->hasEnded())
            return;
        qWarning() << "The press did not become idle within" << timeoutMs << "ms";
        procedure->cancel();
    });
}

bool Session::calibrateZeroWeight() {
    // Allowed before the session has started (a press that only just left its bootloader), but
    // never on a closed session: its protocol may carry another press by now.
    if (m_closed || !m_protocol || refuseWhileBusy("zeroing"))
        return false;
    auto* procedure = new LoadcellCalibrationProcedure(m_protocol, this);
    adoptProcedure(procedure);
    connect(procedure, &BaseProcedure::finished, this, [this, procedure] {
        m_zeroWeightAdc = toCounts(procedure->average());
        m_zeroWeightCalibrated = true;
        // The press's force limit is relative to the zero: re-express it against the new one.
        setMaxWeight(m_settings->maxPressure());
    });
    runProcedure(procedure);
    return true;
}

bool Session::findXZero() {
    if (!isInitialized() || refuseWhileBusy("X zero search"))
        return false;
    setJamDetectionTime(m_settings->jamDetectionTime());
    setMaxWeight(kXZeroSearchMaxWeightKg);
    qInfo() << "Finding X zero";
    auto* procedure = new XPositionZeroSearchProcedure(
        m_protocol, toCounts(m_zeroWeightAdc + kXZeroContactThresholdCounts), this);
    adoptProcedure(procedure);
    connect(procedure, &BaseProcedure::finished, this,
            [this, procedure] { onXZeroSearchFinished(procedure); });
    runProcedureDelayed(procedure);
    connect(procedure, &BaseProcedure::finished, this, &Session::restoreMaxWeight);
    connect(procedure, &BaseProcedure::canceled, this, &Session::restoreMaxWeight);
    return true;
}

void Session::onXZeroSearchFinished(XPositionZeroSearchProcedure* procedure) {
    // Results are taken before any box opens: its event loop may delete the procedure.
    if (procedure->dieDetected()) {
        m_xZeroPosition = procedure->xZero();
        m_xZeroFound = true;
        postBox([this] { m_messageBoxes->showOk(tr("X zero found")); });
    } else {
        postBox([this] { m_messageBoxes->showWarning(tr("Find X Zero failed."), tr("Die not detected.")); });
    }
}

void Session::postBox(std::function<void()> show) {
    // A box runs a nested event loop; opened here, inside the link's signal chain, it would let later
    // lines be decoded before this handler and those above it had finished with the current one.
    // Until it is answered the session counts as reporting, so the window keeps its commands off.
    ++m_pendingReports;
    QMetaObject::invokeMethod(
        this,
        [this, show = std::move(show)] {
            const QPointer<Session> self(this);
            show();
            if (!self)
                return;
            --m_pendingReports;
            emit resultReported();
        },
        Qt::QueuedConnection);
}

bool Session::dieSetup() {
    if (!isInitialized() || refuseWhileBusy("die setup"))
        return false;
    qInfo() << "Die setup";
    applyPressSettings();
    auto* procedure = new DieSetupProcedure(m_protocol, this);
    adoptProcedure(procedure);
    runProcedureDelayed(procedure);
    return true;
}

bool Session::go() {
    if (!isInitialized() || refuseWhileBusy("Go"))
        return false;
    qInfo() << "Go";
    applyPressSettings();
    auto* procedure =
        new PressProcedure(m_protocol, m_zeroWeightAdc, m_xZeroPosition, kForceFactor, kPositionFactor, this);
    adoptProcedure(procedure);
    connect(procedure, &PressProcedure::pointRecorded, this, &Session::strokePointRecorded);
    connect(
        procedure, &BaseProcedure::finished, this, [this, procedure] { onStrokeFinished(procedure); },
        Qt::SingleShotConnection);
    runProcedureDelayed(procedure);
    return true;
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
    postBox([this, report] { showReportMessage(*m_messageBoxes, report); });
    logFailedPoints(report, points);
    if (!self || !m_protocol || m_handedOver)
        return;
    m_protocol->requestBleInfo();
}

void Session::setAutorun(Autorun* autorun) {
    if (autorun && m_handedOver) {
        qWarning() << "Not attaching autorun while the press belongs to a firmware upgrade";
        autorun->deleteLater();
        return;
    }
    if (autorun && autorun == m_autorun) {
        autorun->enable();
        return;
    }
    clearAutorun();
    if (!autorun)
        return;
    m_autorun = autorun;
    autorun->enable();
    if (m_protocol)
        connect(m_protocol, &Protocol::pointReceived, autorun, &Autorun::onPointReceived);
}

void Session::clearAutorun() {
    if (!m_autorun)
        return;
    if (m_protocol)
        disconnect(m_protocol, &Protocol::pointReceived, m_autorun, &Autorun::onPointReceived);
    m_autorun->deleteLater();
    m_autorun = nullptr;
}
