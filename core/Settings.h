#pragma once

#include "core/Units.h"

#include <QString>

// The user's settings, as kept in "Settings.json". One instance, owned by the main window.
struct Settings {
    static constexpr double kMinMaxPressure = 25.0;
    static constexpr double kMaxMaxPressure = 200.0;
    static constexpr int kMinJamDetectionTime = 10;
    static constexpr int kMaxJamDetectionTime = 500;
    // Autorun's moving-average length in samples and its time-out: an absurd value read from the file
    // must neither allocate without bound nor make autorun wait for days.
    static constexpr int kMinAutorunFilterLength = 1;
    static constexpr int kMaxAutorunFilterLength = 1000;
    static constexpr int kMinAutorunTimeoutMs = 1000;
    static constexpr int kMaxAutorunTimeoutMs = 600000;

    QString userDirectory;
    Units units = Imperial;
    bool darkMode = false;
    bool highlightFlyers = true;
    // The statistics' tab beside the legend.
    bool showStatistics = true;
    double autorunMinDiffAdc = 1500.0;
    double autorunThresholdRatio = 0.3;
    int autorunTimeoutMs = 1000;
    int autorunFilterLength = 35;
    bool legendColumnVisibleTitle = false;
    bool legendColumnVisibleWorkDone = false;
    bool legendColumnVisiblePeakForce = false;
    bool legendColumnVisibleTerminalForce = true;
    bool legendColumnVisibleStartingPosition = true;
    bool legendColumnVisibleVelocity = false;
    bool legendColumnVisibleFlyer = false;

    // Every field to its default; userDirectory becomes the user's documents directory.
    void setDefaults();
    // Kilograms, kept within [25, 200]; a NaN becomes 25.
    void setMaxPressure(double kilograms);
    // Milliseconds, kept within [10, 500].
    void setJamDetectionTime(int milliseconds);

    double maxPressure() const { return m_maxPressure; }
    int jamDetectionTime() const { return m_jamDetectionTime; }

private:
    double m_maxPressure = 80.0;
    int m_jamDetectionTime = 200;
};
