#pragma once

#include "maintenance/IFirmwareReader.h"

#include <QByteArray>
#include <utility>

// A firmware image held in memory.
class MemoryFirmwareReader : public IFirmwareReader {
public:
    explicit MemoryFirmwareReader(QByteArray image)
        : m_image(std::move(image)) {}

    QByteArray read(int address, int size) override {
        if (address < 0 || size <= 0 || address >= m_image.size())
            return QByteArray();
        return m_image.mid(address, size);
    }
    const QByteArray& image() const { return m_image; }

private:
    QByteArray m_image;
};
