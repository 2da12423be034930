#include "WindowBench.h"

#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "dialogs/ProgressDialog.h"
#include "link/EmulatedPort.h"
#include "link/Protocol.h"
#include "session/BaseProcedure.h"

#include <QSignalSpy>

#include <QStandardPaths>

#include <algorithm>

namespace {

// The emulated press with faults a test switches on: silence (nothing more arrives, the port stays
// open) or one burst of rubbish spliced into the stream.
class FaultyPress : public EmulatedPort {
    Q_OBJECT
public:
    using EmulatedPort::EmulatedPort;

    QByteArray read() override {
        QByteArray bytes = EmulatedPort::read();
        // Heard or not, the press ends each stroke it plays with this status line.
        strokeEnds += int(bytes.count("$D,0"));
        if (silent)
            return QByteArray();
        if (!burst.isEmpty() && !bytes.isEmpty()) {
            bytes.insert(bytes.size() / 2, burst);
            burst.clear();
        }
        return bytes;
    }

    bool silent = false;
    QByteArray burst;
    int strokeEnds = 0;
};

struct FaultyBench : Bench {
    QPointer<FaultyPress> press;

    FaultyBench()
        : Bench(std::make_shared<FileSystem>(), [this](const QString& name, QObject* parent) -> IPort* {
            press = new FaultyPress(name, parent);
            return press.data();
        }) {}

    ProgressDialog* progress() const { return window->findChild<ProgressDialog*>(); }
    int traces() const { return int(window->activeContainer()->graphs().size()); }

    // A procedure of the session runs and has heard a few samples since: a fault from now on lands in
    // the middle of it, not in the delay before it starts.
    bool procedureUnderWay() const {
        const auto running = [this] {
            const auto procedures =
                session() ? session()->findChildren<BaseProcedure*>() : QList<BaseProcedure*>();
            return std::any_of(procedures.begin(), procedures.end(),
                               [](const BaseProcedure* procedure) { return procedure->isRunning(); });
        };
        if (!QTest::qWaitFor(running, kStrokeMs))
            return false;
        return samplesHeard(5);
    }
    bool samplesHeard(int count) const {
        QSignalSpy samples(window->protocol(), &Protocol::pointReceived);
        return QTest::qWaitFor([&] { return samples.count() >= count; }, kStrokeMs);
    }
};

QByteArray overLongLine() {
    return QByteArray("$R,") + QByteArray(6000, '7') + "\r\n";
}

} // namespace

// Faults on the link while the user works: each is survived, the user sees the window usable again,
// and no stroke already recorded is lost.
class tst_LinkFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void pressGoingSilentCancelsTheStrokeAndTheWindowRecovers();
    void rubbishOnTheLinkMidStroke_data();
    void rubbishOnTheLinkMidStroke();
    void linkDropping_data();
    void linkDropping();
};

void tst_LinkFaults::pressGoingSilentCancelsTheStrokeAndTheWindowRecovers() {
    FaultyBench bench;
    QVERIFY(bench.readyForStrokes());
    bench.session()->setProcedureTimeoutMs(1500); // the press's 10 s, shortened for the test
    const int strokesEnded = bench.press->strokeEnds;
    action(*bench.window, "goAction")->trigger();
    QVERIFY(bench.progress());
    QVERIFY(bench.procedureUnderWay());
    bench.press->silent = true;
    // The stroke is cancelled for want of samples: the dialog goes, no trace, Go is back.
    QTRY_VERIFY_WITH_TIMEOUT(!bench.progress(), 10000);
    QCOMPARE(bench.traces(), 0);
    QVERIFY(action(*bench.window, "goAction")->isEnabled());
    // The press talks again (once it has finished the stroke it went on with while unheard), and the
    // next stroke is recorded whole.
    QTRY_COMPARE_WITH_TIMEOUT(bench.press->strokeEnds, strokesEnded + 1, kStrokeMs);
    bench.press->silent = false;
    QVERIFY(bench.samplesHeard(5));
    action(*bench.window, "goAction")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(bench.traces(), 1, kStrokeMs);
    QVERIFY(bench.window->activeContainer()->graphs().first()->data(Imperial).points().size() > 100);
}

void tst_LinkFaults::rubbishOnTheLinkMidStroke_data() {
    QTest::addColumn<QByteArray>("burst");
    static const char garbage[] = "\x01\xff\x80 garbage \x00\x7f noise\r\n";
    QTest::newRow("garbage bytes") << QByteArray(garbage, sizeof(garbage) - 1);
    QTest::newRow("bad checksums") << QByteArray("$R,1000,5000*0000\r\n$D,0*FFFF\r\n$R,9,9*ZZZZ\r\n");
    QTest::newRow("over-long line") << overLongLine();
}

void tst_LinkFaults::rubbishOnTheLinkMidStroke() {
    QFETCH(QByteArray, burst);
    FaultyBench bench;
    QVERIFY(bench.readyForStrokes());
    action(*bench.window, "goAction")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(bench.traces(), 1, kStrokeMs);
    const int cleanPoints =
        int(bench.window->activeContainer()->graphs().first()->data(Imperial).points().size());

    QTRY_VERIFY_WITH_TIMEOUT(action(*bench.window, "goAction")->isEnabled(), kStrokeMs);
    action(*bench.window, "goAction")->trigger();
    QVERIFY(bench.procedureUnderWay());
    bench.press->burst = burst;
    QTRY_COMPARE_WITH_TIMEOUT(bench.traces(), 2, kStrokeMs);
    // The stroke ends as usual; at most the lines the rubbish landed in are missing from it.
    const int points = int(bench.window->activeContainer()->graphs().at(1)->data(Imperial).points().size());
    QVERIFY2(points >= cleanPoints - 30 && points <= cleanPoints + 5,
             qPrintable(QStringLiteral("%1 against %2").arg(points).arg(cleanPoints)));
    QCOMPARE(bench.window->activeContainer()->graphs().first()->data(Imperial).points().size(), cleanPoints);
    QTRY_VERIFY_WITH_TIMEOUT(!bench.progress(), 5000);
    QVERIFY(bench.session()->isInitialized());
}

void tst_LinkFaults::linkDropping_data() {
    QTest::addColumn<QString>("when");
    QTest::newRow("during the zeroing") << QStringLiteral("zeroing");
    QTest::newRow("during the X zero search") << QStringLiteral("xzero");
    QTest::newRow("during a stroke") << QStringLiteral("stroke");
    QTest::newRow("while the ram-height question is open") << kRamQuestion;
    QTest::newRow("while the X zero result is shown") << QStringLiteral("X zero found");
}

void tst_LinkFaults::linkDropping() {
    QFETCH(QString, when);
    FaultyBench bench;
    GraphContainer* active = bench.window->activeContainer();
    active->addGraphFromPress({{0.3, 0.0}, {0.2, 5.0}, {0.1, 9.0}}, true); // a stroke recorded earlier
    bool dropped = false;
    const auto drop = [&] {
        dropped = true;
        bench.window->protocol()->closePort();
    };
    bench.boxes->whileOpen = [&] {
        if (!dropped && bench.boxes->boxes.last().text == when)
            drop();
    };
    if (when == QStringLiteral("zeroing")) {
        QTRY_VERIFY_WITH_TIMEOUT(bench.progress(), kStrokeMs);
        drop();
    } else if (when == kRamQuestion) {
        QTRY_VERIFY_WITH_TIMEOUT(action(*bench.window, "findXZeroAction")->isEnabled(), kStrokeMs);
        action(*bench.window, "findXZeroAction")->trigger();
        // The user's Ok came after the link had gone: no search may start on a closed or new session.
        QVERIFY(!bench.progress());
    } else if (when == QStringLiteral("X zero found")) {
        // Go comes back only once that box is answered, so the search is started by hand here.
        QTRY_VERIFY_WITH_TIMEOUT(action(*bench.window, "findXZeroAction")->isEnabled(), kStrokeMs);
        action(*bench.window, "findXZeroAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(dropped, kStrokeMs);
    } else {
        QVERIFY(bench.readyForStrokes());
        action(*bench.window, when == QStringLiteral("xzero") ? "findXZeroAction" : "goAction")->trigger();
        QVERIFY(bench.progress());
        QVERIFY(bench.procedureUnderWay());
        drop();
    }
    QVERIFY(dropped);
    // Back to searching, nothing left running, the earlier stroke kept, no stray trace.
    QTRY_VERIFY_WITH_TIMEOUT(!bench.progress(), 5000);
    QVERIFY(!action(*bench.window, "zeroPressAction")->isEnabled());
    QVERIFY(!action(*bench.window, "goAction")->isEnabled());
    QCOMPARE(active->graphs().size(), 1);
    // The press is found again and asks to zero again.
    const int asked = bench.asked(kZeroQuestion);
    QTRY_VERIFY_WITH_TIMEOUT(bench.asked(kZeroQuestion) > asked ||
                                 (bench.session() && bench.session()->isZeroWeightCalibrated()),
                             kStrokeMs);
    QCOMPARE(active->graphs().size(), 1);
    active->setUnsaved(false);
}

QTEST_MAIN(tst_LinkFaults)
#include "tst_linkfaults.moc"
