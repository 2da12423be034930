#pragma once

#include <QMetaType>
#include <QObject>

// The press's status and stop codes, as carried by its "$D" lines.
class MotorReport {
    Q_GADGET
public:
    enum Report : quint16 {
        ReachedWeightLimit = 0,
        ReachedFirstAngleLimit = 1,
        ReachedSecondAngleLimitUnused = 2,
        ReachedAngleStartPosition = 3,
        DetectedMotorOverCurrentCompress = 4,
        DetectedMotorOverCurrentRetract = 5,
        DetectedMotorAngleJamCompress = 6,
        DetectedMotorAngleJamRetract = 7,
        LoadcellI2cError = 8,
        EncoderI2cNackError = 9,
        ReachedAngleBottomPosition = 10,
        DetectedLoadcellNoDataChanging = 11,
        EncoderI2cTimeoutError = 12,
        ReachedAngleStartPositionUnreachableCode = 100,
        None = 65535,
    };
    Q_ENUM(Report)
};

Q_DECLARE_METATYPE(MotorReport::Report)
