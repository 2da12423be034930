#include "maintenance/FirmwareReaderFile.h"

#include <QDebug>

FirmwareReaderFile::FirmwareReaderFile(const QString& path, QObject* parent)
    : QObject(parent)
    , m_file(path) {
    if (!m_file.open(QIODevice::ReadOnly))
        qWarning() << "Cannot open the firmware image" << path << m_file.errorString();
}

QByteArray FirmwareReaderFile::read(int address, int size) {
    if (!m_file.isOpen() || address < 0 || size <= 0 || !m_file.seek(address))
        return QByteArray();
    return m_file.read(size);
}
