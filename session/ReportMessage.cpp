#include "session/ReportMessage.h"

#include "core/IMessageBoxes.h"

#include <QCoreApplication>

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("ReportMessage", text);
}

} // namespace

ReportMessage ReportMessage::forReport(MotorReport::Report report) {
    ReportMessage message;
    switch (report) {
    case MotorReport::ReachedSecondAngleLimitUnused:
        message.title = tr("Reached the second angle limit.");
        message.detail =
            tr("This is obsolete in the latest firmware.") + tr(" Please update your app and firmware.");
        break;
    case MotorReport::DetectedMotorOverCurrentCompress:
        message.title = tr("Detected over-current during compression.");
        message.detail = tr("Please make sure you are using the latest app version.");
        break;
    case MotorReport::DetectedMotorOverCurrentRetract:
        message.title = tr("Detected over-current during retraction.");
        break;
    case MotorReport::DetectedMotorAngleJamCompress:
        message.title = tr("Detected jam during compressing.");
        message.detail = tr("Check that the loadcell and motor cables are connected properly") +
                         tr(" and the die is placed on the loadcell correctly.");
        break;
    case MotorReport::DetectedMotorAngleJamRetract:
        message.title = tr("Detected jam during retracting.");
        message.detail = tr("Check motor cable is connected properly and power cycle the press to recover.");
        break;
    case MotorReport::LoadcellI2cError:
        message.title = tr("Loadcell I2C error.");
        message.detail = tr("Invalid loadcell internal comms detected on the PCB.") +
                         tr(" Potentially your PCB has a fault, try resetting board and try again.") +
                         tr(" If problem persists contact ZEL.");
        break;
    case MotorReport::EncoderI2cNackError:
        message.title = tr("Encoder I2C NACK error.");
        message.detail = tr("Check that the encoder cable is connected properly.");
        break;
    case MotorReport::ReachedAngleBottomPosition:
        message.title = tr("Reached bottom position.");
        message.detail = tr("Invalid angle detected. Double check the sensor connections ") +
                         tr(" and the sensor cable is kept away from the motor cable.");
        break;
    case MotorReport::DetectedLoadcellNoDataChanging:
        message.title = tr("Failed to detect die in timeout.");
        message.detail = tr("Please make sure the loadcell is connected, the die is in place,") +
                         tr(" and the ram is adjusted correctly to sit closely to the loaded die.");
        break;
    case MotorReport::EncoderI2cTimeoutError:
        message.title = tr("Encoder I2C timed out.");
        message.detail = tr("Check that the encoder cable is connected properly") +
                         tr(" and that the bearing isn't shorting the encoder out") +
                         tr(" (press should have a plastic insert to prevent this)");
        break;
    case MotorReport::ReachedAngleStartPositionUnreachableCode:
        message.title = tr("Reached start position.");
        message.detail = tr("Detected unexpected error, please report this to ZEL with your log files.");
        break;
    case MotorReport::None:
        message.title = tr("No report received.");
        message.detail = tr("The procedure took too long without receiving any report.");
        break;
    default:
        break;
    }
    return message;
}

void showReportMessage(IMessageBoxes& boxes, MotorReport::Report report) {
    const ReportMessage message = ReportMessage::forReport(report);
    if (!message.title.isEmpty())
        boxes.showWarning(message.title, message.detail);
}
