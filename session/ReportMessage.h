#pragma once

#include "link/MotorReport.h"

#include <QString>

class IMessageBoxes;

// The user-facing text of a motor report: the box's text and its informative text.
struct ReportMessage {
    QString title;
    QString detail;

    // Empty title and detail for the normal ends and for codes without a message.
    static ReportMessage forReport(MotorReport::Report report);
};

// Shows the report's warning box (single Ok button) if it has a title; returns when it is closed.
void showReportMessage(IMessageBoxes& boxes, MotorReport::Report report);
