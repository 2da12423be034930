#pragma once

#include <QString>

// A serial port the search may try, as the system listed it.
struct PortCandidate {
    QString portName;
    QString description;
    QString manufacturer;
};
