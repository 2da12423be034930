#pragma once

#include <QMetaType>

// Why a trace's colour changed: Gradient when the measurement colouring assigned a new gradient colour,
// Default for every other change.
enum ColorChangeSettings : int {
    Default = 0,
    Gradient = 1,
};

Q_DECLARE_METATYPE(ColorChangeSettings)
