#include "session/ReportOutcome.h"

#include <QDebug>
#include <QHash>

namespace {

const QHash<quint16, ReportOutcome>& outcomeTable() {
    static const QHash<quint16, ReportOutcome> table{
        {MotorReport::ReachedWeightLimit, ReportOutcome::NormalEnd},
        {MotorReport::ReachedFirstAngleLimit, ReportOutcome::NormalEnd},
        {MotorReport::ReachedSecondAngleLimitUnused, ReportOutcome::NormalEnd},
        {MotorReport::ReachedAngleStartPosition, ReportOutcome::NormalEnd},
        {MotorReport::DetectedMotorOverCurrentCompress, ReportOutcome::ErrorKeepTrace},
        {MotorReport::DetectedMotorOverCurrentRetract, ReportOutcome::ErrorKeepTrace},
        {MotorReport::DetectedMotorAngleJamCompress, ReportOutcome::ErrorKeepTrace},
        {MotorReport::DetectedMotorAngleJamRetract, ReportOutcome::ErrorKeepTrace},
        {MotorReport::LoadcellI2cError, ReportOutcome::ErrorKeepTrace},
        {MotorReport::EncoderI2cNackError, ReportOutcome::ErrorKeepTrace},
        {MotorReport::ReachedAngleBottomPosition, ReportOutcome::ErrorKeepTrace},
        {MotorReport::DetectedLoadcellNoDataChanging, ReportOutcome::ErrorDiscardTrace},
        {MotorReport::EncoderI2cTimeoutError, ReportOutcome::ErrorKeepTrace},
        {MotorReport::ReachedAngleStartPositionUnreachableCode, ReportOutcome::ErrorKeepTrace},
        {MotorReport::None, ReportOutcome::ErrorDiscardTrace},
    };
    return table;
}

} // namespace

std::optional<ReportOutcome> reportOutcome(MotorReport::Report report) {
    const auto it = outcomeTable().constFind(report);
    if (it == outcomeTable().constEnd())
        return std::nullopt;
    return *it;
}

bool keepsTrace(MotorReport::Report report) {
    return reportOutcome(report) != ReportOutcome::ErrorDiscardTrace;
}

void logFailedPoints(MotorReport::Report report, const QList<QPointF>& points) {
    if (reportOutcome(report) == ReportOutcome::NormalEnd)
        return;
    qDebug() << "Failed procedure measurement points (imperial):" << points;
}
