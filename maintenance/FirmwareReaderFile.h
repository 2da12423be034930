#pragma once

#include "maintenance/IFirmwareReader.h"

#include <QFile>
#include <QObject>
#include <QString>

// IFirmwareReader on a file (":/update.bin" for the image the application carries), opened read-only
// at construction.
class FirmwareReaderFile : public QObject, public IFirmwareReader {
    Q_OBJECT
public:
    // A file that cannot be opened is logged; read() then returns nothing.
    explicit FirmwareReaderFile(const QString& path, QObject* parent = nullptr);

    QByteArray read(int address, int size) override;
    bool isOpen() const { return m_file.isOpen(); }

private:
    QFile m_file;
};
