#pragma once

// The two unit systems. The values are stored in settings and files; never renumber them.
enum Units : int {
    Metric = 0,   // millimetres and kilograms
    Imperial = 1, // inches and pounds
};

// The only conversion factors of the program: inch = mm * kInchPerMm, lbs = kg * kLbsPerKg.
constexpr double kInchPerMm = 0.0393701;
constexpr double kLbsPerKg = 2.20462;
