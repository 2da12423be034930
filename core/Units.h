#pragma once

#include <QString>

// The two unit systems. The values are stored in settings and files; never renumber them.
enum Units : int {
    Metric = 0,   // millimetres and kilograms
    Imperial = 1, // inches and pounds
};

// The only conversion factors of the program: inch = mm * kInchPerMm, lbs = kg * kLbsPerKg.
// Metric values are always obtained by dividing by them, never by multiplying with a reciprocal.
constexpr double kInchPerMm = 0.0393701;
constexpr double kLbsPerKg = 2.20462;

// "mm" or "inch".
inline QString positionUnitLabel(Units units) {
    return units == Metric ? QStringLiteral("mm") : QStringLiteral("inch");
}

// "kg" or "lbs".
inline QString forceUnitLabel(Units units) {
    return units == Metric ? QStringLiteral("kg") : QStringLiteral("lbs");
}
