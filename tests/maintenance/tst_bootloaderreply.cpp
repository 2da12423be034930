#include "maintenance/BootloaderReply.h"

#include <QtTest>

namespace {

// "$VACK", the chunk address, then `bytes` byte fields 0, 1, 2, ... in upper-case hexadecimal.
QByteArray readBack(int bytes) {
    QByteArray line = "$VACK,7E000";
    for (int k = 0; k < bytes; ++k)
        line += ',' + QByteArray::number(k, 16).toUpper();
    return line;
}

} // namespace

class tst_BootloaderReply : public QObject {
    Q_OBJECT

private slots:
    void readBackNeedsAllItsFields_data();
    void readBackNeedsAllItsFields();
};

// A read-back names its chunk and then its 64 bytes: the line must hold more than 64 commas before
// its end of line. One byte field short of that, the line is not a read-back, whatever follows it.
void tst_BootloaderReply::readBackNeedsAllItsFields_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("isReadBack");
    QTest::newRow("64 bytes, 65 commas") << readBack(64) << true;
    QTest::newRow("63 bytes, 64 commas") << readBack(63) << false;
    QTest::newRow("65 bytes, 66 commas: the extra field is not read") << readBack(65) << true;
    QTest::newRow("last byte behind a star, 64 commas") << readBack(63) + "*3F" << false;
    QTest::newRow("64th byte after the line end") << readBack(63) + "\r,3F" << false;
    QTest::newRow("64 bytes ending in a carriage return") << readBack(64) + '\r' << true;
    QTest::newRow("another token") << "$VACKS" + readBack(64).mid(5) << false;
}

void tst_BootloaderReply::readBackNeedsAllItsFields() {
    QFETCH(QByteArray, line);
    QFETCH(bool, isReadBack);
    const BootloaderReply reply(QString::fromLatin1(line));
    QCOMPARE(reply.isReadBack(), isReadBack);
    if (!isReadBack)
        return;
    QCOMPARE(reply.address(), 0x7E000u);
    for (int k = 0; k < BootloaderReply::kChunkSize; ++k)
        QCOMPARE(reply.bytes()[std::size_t(k)], quint32(k));
}

QTEST_MAIN(tst_BootloaderReply)
#include "tst_bootloaderreply.moc"
