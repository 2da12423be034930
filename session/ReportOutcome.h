#pragma once

#include "link/MotorReport.h"

#include <optional>
#include <QList>
#include <QPointF>

// What the motor report that ends a stroke means for the stroke's trace.
enum class ReportOutcome { ErrorDiscardTrace = 0, ErrorKeepTrace = 1, NormalEnd = 2 };

// The outcome of a report; none for a code the press may send that this program does not know.
std::optional<ReportOutcome> reportOutcome(MotorReport::Report report);
// False only for a report whose outcome is ErrorDiscardTrace; unknown codes keep the trace.
bool keepsTrace(MotorReport::Report report);
// Logs the points (inches, pounds) as failed unless the report is a normal end; unknown codes are logged.
void logFailedPoints(MotorReport::Report report, const QList<QPointF>& points);
