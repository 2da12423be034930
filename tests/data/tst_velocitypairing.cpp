#include "data/VelocityPairing.h"

#include <QTest>

#include <limits>

using Pairs = QList<VelocityPairing::Pair>;
Q_DECLARE_METATYPE(Pairs)
using Indices = QSet<int>;
Q_DECLARE_METATYPE(Indices)

class tst_VelocityPairing : public QObject {
    Q_OBJECT
private slots:
    void pair_data();
    void pair();
};

void tst_VelocityPairing::pair_data() {
    QTest::addColumn<int>("traces");
    QTest::addColumn<int>("shots");
    QTest::addColumn<int>("offset");
    QTest::addColumn<Indices>("leftOutTraces");
    QTest::addColumn<Indices>("leftOutShots");
    QTest::addColumn<Pairs>("expected");

    QTest::newRow("in turn") << 3 << 3 << 0 << Indices{} << Indices{} << Pairs{{0, 0}, {1, 1}, {2, 2}};
    QTest::newRow("more shots than traces") << 2 << 4 << 0 << Indices{} << Indices{} << Pairs{{0, 0}, {1, 1}};
    QTest::newRow("more traces than shots") << 4 << 2 << 0 << Indices{} << Indices{} << Pairs{{0, 0}, {1, 1}};
    QTest::newRow("a fouler fired first")
        << 3 << 4 << 1 << Indices{} << Indices{} << Pairs{{0, 1}, {1, 2}, {2, 3}};
    QTest::newRow("the first round missed")
        << 3 << 2 << -1 << Indices{} << Indices{} << Pairs{{1, 0}, {2, 1}};
    // The chronograph missed the third round: its trace left out, the later ones move up.
    QTest::newRow("a round missed in the string")
        << 5 << 4 << 0 << Indices{2} << Indices{} << Pairs{{0, 0}, {1, 1}, {3, 2}, {4, 3}};
    QTest::newRow("a shot left out") << 3 << 4 << 0 << Indices{} << Indices{1}
                                     << Pairs{{0, 0}, {1, 2}, {2, 3}};
    QTest::newRow("both, with an offset")
        << 4 << 5 << 1 << Indices{0} << Indices{3} << Pairs{{1, 1}, {2, 2}, {3, 4}};
    QTest::newRow("left out beyond the lists")
        << 2 << 2 << 0 << Indices{-1, 7} << Indices{9} << Pairs{{0, 0}, {1, 1}};
    QTest::newRow("no shots") << 3 << 0 << 0 << Indices{} << Indices{} << Pairs{};
    QTest::newRow("largest offset") << 3 << 3 << std::numeric_limits<int>::max() << Indices{} << Indices{}
                                    << Pairs{};
    QTest::newRow("smallest offset") << 3 << 3 << std::numeric_limits<int>::min() << Indices{} << Indices{}
                                     << Pairs{};
}

void tst_VelocityPairing::pair() {
    QFETCH(int, traces);
    QFETCH(int, shots);
    QFETCH(int, offset);
    QFETCH(Indices, leftOutTraces);
    QFETCH(Indices, leftOutShots);
    QFETCH(Pairs, expected);
    const Pairs pairs = VelocityPairing::pair(traces, shots, offset, leftOutTraces, leftOutShots);
    QCOMPARE(pairs.size(), expected.size());
    for (qsizetype i = 0; i < pairs.size(); ++i) {
        QCOMPARE(pairs.at(i).trace, expected.at(i).trace);
        QCOMPARE(pairs.at(i).shot, expected.at(i).shot);
    }
}

QTEST_MAIN(tst_VelocityPairing)
#include "tst_velocitypairing.moc"
