#pragma once

#include <QByteArray>

// The firmware image to write into the press: a raw flash image in which the byte at offset A belongs
// at flash address A.
class IFirmwareReader {
public:
    virtual ~IFirmwareReader() = default;
    // The `size` bytes of the image that belong at flash address `address`; fewer (or none) where the
    // image ends before address + size or cannot be read.
    virtual QByteArray read(int address, int size) = 0;
};
