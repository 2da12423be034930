#include "core/Settings.h"

#include <QStandardPaths>

void Settings::setDefaults() {
    *this = Settings();
    userDirectory = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

void Settings::setMaxPressure(double kilograms) {
    double value = kilograms > kMaxMaxPressure ? kMaxMaxPressure : kilograms;
    // Written as "not greater than" so that a NaN also ends at the lower bound.
    if (!(value > kMinMaxPressure))
        value = kMinMaxPressure;
    m_maxPressure = value;
}

void Settings::setJamDetectionTime(int milliseconds) {
    int value = milliseconds > kMaxJamDetectionTime ? kMaxJamDetectionTime : milliseconds;
    if (!(value > kMinJamDetectionTime))
        value = kMinJamDetectionTime;
    m_jamDetectionTime = value;
}
