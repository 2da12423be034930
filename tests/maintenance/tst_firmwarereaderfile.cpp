#include "dialogs/AdvancedDlg.h"
#include "maintenance/BootloaderExchange.h"
#include "maintenance/FirmwareReaderFile.h"

#include <QFile>
#include <QResource>
#include <QTemporaryDir>
#include <QtTest>

class tst_FirmwareReaderFile : public QObject {
    Q_OBJECT

private slots:
    void carriedImage();
    void reads_data();
    void reads();
    void missingFileReadsNothing();
};

// The image the application carries: 512 KiB, stored uncompressed, of the version the advanced
// dialog offers.
void tst_FirmwareReaderFile::carriedImage() {
    const QResource resource(QStringLiteral(":/update.bin"));
    QVERIFY(resource.isValid());
    QCOMPARE(resource.size(), 0x80000);
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);

    FirmwareReaderFile reader(QStringLiteral(":/update.bin"));
    QVERIFY(reader.isOpen());
    const QByteArray marker = reader.read(BootloaderExchange::kApplicationStart, 32);
    QCOMPARE(QString::fromLatin1(marker.constData()),
             QStringLiteral("ZelPress firmware ") + AdvancedDlg::availableFirmwareVersion());
    // Both regions hold firmware, not erased flash; the last chunk of the parameter page is erased.
    const QByteArray application = reader.read(BootloaderExchange::kApplicationStart, 0x3D000);
    const QByteArray parameters = reader.read(BootloaderExchange::kParameterPageStart, 0x1000);
    QVERIFY(application.count(char(0xFF)) < application.size() / 64);
    QVERIFY(parameters.left(0xFC0).count(char(0xFF)) < 0xFC0 / 64);
    QCOMPARE(parameters.right(64), QByteArray(64, char(0xFF)));
}

void tst_FirmwareReaderFile::reads_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("expected");
    QTest::newRow("first chunk") << 0x26000 << 64 << 64;
    QTest::newRow("start of the image") << 0 << 16 << 16;
    QTest::newRow("last chunk") << 0x7FFC0 << 64 << 64;
    QTest::newRow("over the end") << 0x7FFE0 << 64 << 32;
    QTest::newRow("at the end") << 0x80000 << 64 << 0;
    QTest::newRow("beyond the end") << 0x90000 << 64 << 0;
    QTest::newRow("negative address") << -64 << 64 << 0;
    QTest::newRow("nothing asked") << 0x26000 << 0 << 0;
    QTest::newRow("whole application region") << 0x26000 << 0x3D000 << 0x3D000;
}

void tst_FirmwareReaderFile::reads() {
    QFETCH(int, address);
    QFETCH(int, size);
    QFETCH(int, expected);
    QFile file(QStringLiteral(":/update.bin"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();

    FirmwareReaderFile reader(QStringLiteral(":/update.bin"));
    // Reads in any order: each one seeks first.
    reader.read(0x50000, 100);
    const QByteArray bytes = reader.read(address, size);
    QCOMPARE(bytes.size(), expected);
    if (expected > 0)
        QVERIFY(bytes == whole.mid(address, expected));
}

void tst_FirmwareReaderFile::missingFileReadsNothing() {
    QTemporaryDir directory;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cannot open the firmware image"));
    FirmwareReaderFile reader(directory.filePath(QStringLiteral("update.bin")));
    QVERIFY(!reader.isOpen());
    QCOMPARE(reader.read(0x26000, 64), QByteArray());
}

QTEST_MAIN(tst_FirmwareReaderFile)
#include "tst_firmwarereaderfile.moc"
