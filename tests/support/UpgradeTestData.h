#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstdio>
#include <QList>
#include <QStringList>

// What the firmware upgrade tests write into the simulated press and expect to see.
namespace UpgradeTestData {

constexpr int kApplicationChunks = (0x63000 - 0x26000) / 64;
constexpr int kParameterChunks = 0x1000 / 64;

// The image the tests write: every byte value occurs; the first chunk is spelled out in a test.
inline QByteArray testImage() {
    QByteArray image(0x80000, char(0xFF));
    for (int a = 0; a < image.size(); ++a)
        image[a] = char((a * 131 + (a >> 9)) & 0xFF);
    const char first[] = {0x0A, char(0xFF), 0x00, 0x10};
    for (int k = 0; k < 4; ++k)
        image[0x26000 + k] = first[k];
    for (int a = 0x26004; a < 0x26040; ++a)
        image[a] = 0x01;
    return image;
}

// What the press's flash holds before the upgrade: different from the image everywhere.
inline QByteArray oldFirmware(const QByteArray& image) {
    QByteArray flash = image;
    for (char& byte : flash)
        byte = char(byte ^ 0x5A);
    return flash;
}

// The steps of an upgrade that completes, as the user sees them.
inline const QStringList kUpgradeLog{"Bootloader found",
                                     "Programming firmware...",
                                     "Finished programming firmware",
                                     "Programming MBR parameters...",
                                     "Calculating CRC...",
                                     "CRC calculated",
                                     "Finished programming MBR parameters",
                                     "Verifying application...",
                                     "Verify successful",
                                     "Software update complete",
                                     "Starting application...",
                                     "Requesting version..."};

// Both progress values step by one chunk from the first acknowledged chunk to full, never back.
inline QList<int> everyChunk() {
    QList<int> values;
    for (int value = 64; value <= 0x3E000; value += 64)
        values.append(value);
    return values;
}

// A message handler for the upgrade tests: the upgrade logs every page and bootloader line; only real
// trouble is shown.
inline void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

} // namespace UpgradeTestData
