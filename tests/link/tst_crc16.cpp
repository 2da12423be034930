#include "link/Crc16.h"

#include <QTest>

class tst_Crc16 : public QObject {
    Q_OBJECT
private slots:
    void matchesKnownValues_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("expected");
        // The published check value of CRC-16/MCRF4XX.
        QTest::newRow("check value") << QByteArray("123456789") << 0x6F91;
        QTest::newRow("empty is the initial value") << QByteArray() << 0xFFFF;
        QTest::newRow("idle status line") << QByteArray("D") << 0x0BA7;
        QTest::newRow("sample line") << QByteArray("R,1,2") << 0x0F75;
        // Cross-checked with the bit-by-bit form of the reflected polynomial.
        QTest::newRow("high bytes") << QByteArray("\xff\x80\x7f", 3) << 0xF87C;
    }
    void matchesKnownValues() {
        QFETCH(QByteArray, input);
        QFETCH(int, expected);
        QCOMPARE(int(crc16(input)), expected);
    }

    void writesFramesAsThePressDoes() {
        QCOMPARE(checksummedLine("$D"), QByteArray("$D*BA7\n"));
        QCOMPARE(checksummedLine("$R,1,2"), QByteArray("$R,1,2*F75\n"));
        QCOMPARE(checksummedLine("$D,0"), QByteArray("$D,0*E734\n"));
    }
};

QTEST_APPLESS_MAIN(tst_Crc16)
#include "tst_crc16.moc"
