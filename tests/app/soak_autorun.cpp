// A long autorun batch on the real window, headless, on the emulated press: what a user does who sets
// up autorun, walks away and comes back to a few hundred seated rounds. The die is placed and taken
// off by this program whenever autorun waits for it; the emulated press ticks faster than the real
// one so the batch takes minutes rather than hours.
//
// At the end it checks that every Go command gave exactly one trace, that the autosave file holds
// every trace exactly as the chart draws it, that nothing was logged at warning level or above beyond
// what it expects, and that clearing the traces gives the heap back; it prints the resident memory
// and the live heap every 25 strokes. Under the sanitizers, LeakSanitizer reports any leak when the
// program exits. Exit code 0 when everything held.
//
// Usage: soak_autorun [strokes] [tick ms]   (defaults: 200 strokes, 10 ms)
#include "support/DieEmulatedPort.h"
#include "WindowBench.h"

#include "chart/GraphChart.h"
#include "chart/GraphSeries.h"
#include "chart/GraphView.h"
#include "core/FileSystem.h"
#include "data/AutosaveWriter.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/UndoHistory.h"
#include "dialogs/AutorunWizard.h"
#include "dialogs/ProgressDialog.h"
#include "session/Autorun.h"

#include <QApplication>
#include <QChart>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmapCache>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>
#include <malloc.h>
#include <memory>

namespace {

QStringList g_warnings;
int g_messages = 0;
int g_expectedWarnings = 0;

// Warnings this machine gives whatever the program does: no Bluetooth stack to talk to, and the
// headless platform not resizing windows to their hints.
bool isExpected(const QString& text) {
    return text.startsWith(QLatin1String("Cannot find a compatible running Bluez")) ||
           text.startsWith(QLatin1String("Cannot open Bluetooth Management socket")) ||
           text == QLatin1String("This plugin does not support propagateSizeHints()");
}

void recordMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    ++g_messages;
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    if (isExpected(text)) {
        ++g_expectedWarnings;
        return;
    }
    g_warnings.append(text);
    std::fprintf(stderr, "log: [%s] %s\n", context.category, qPrintable(text));
}

// Bytes handed out by the allocator and not freed yet: AddressSanitizer's count when it runs (its
// quarantine and redzones left out), otherwise glibc's.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));
extern "C" void __sanitizer_print_memory_profile(std::size_t, std::size_t) __attribute__((weak));

long liveHeapKiB() {
    if (__sanitizer_get_current_allocated_bytes)
        return long(__sanitizer_get_current_allocated_bytes() / 1024);
    return long(mallinfo2().uordblks / 1024);
}

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// What a stroke may leave behind once its trace is cleared, as a share of what it holds while shown:
// Qt keeps a little for every legend repaint (the colour swatches are new pixmaps each time, with
// their own entries in its pixmap cache bookkeeping), about 9 KiB a stroke against 150 KiB for a
// shown trace. Keeping the traces' data would be the whole share.
constexpr double kRetainedShare = 0.1;
// Caches that fill once whatever the number of strokes (glyphs, text layouts, axis labels).
constexpr long kOnceKiB = 1024;

int fail(const char* what) {
    std::fprintf(stderr, "soak: FAILED: %s\n", what);
    return 1;
}

// Runs the autorun wizard the way a user does: Zero with the press empty, Configure Weight with a
// loaded die on it, Finish. Driven from a timer because the wizard runs its own event loop.
void driveWizard(ZelPress& window, DieEmulatedPort*& press, int* step) {
    auto* wizard = window.findChild<AutorunWizard*>();
    if (!wizard || !wizard->isVisible() || !press)
        return;
    // A measurement is running.
    for (const ProgressDialog* progress : window.findChildren<ProgressDialog*>()) {
        if (progress->isVisible())
            return;
    }
    if (*step == 0 && wizard->currentId() == wizard->zeroPageId()) {
        press->dieOn = false;
        wizard->findChild<QPushButton*>(QStringLiteral("zeroPushButton"))->click();
        *step = 1;
    } else if (*step == 1 && wizard->currentId() == wizard->configureThresholdPageId()) {
        press->dieOn = true;
        wizard->findChild<QPushButton*>(QStringLiteral("configureThresholdButton"))->click();
        *step = 2;
    } else if (*step == 2 && wizard->currentId() == wizard->resultPageId()) {
        wizard->button(QWizard::FinishButton)->click();
        *step = 3;
    }
}

// The autosave file read back against what the chart draws, trace by trace and point by point.
bool autosaveMatchesChart(ZelPress& window, Units units, QString* difference) {
    GraphContainer saved;
    QString error;
    if (!saved.loadFromFile(GraphContainer::autosavePath(window.session()->startTime()), &error)) {
        *difference = QStringLiteral("autosave unreadable: ") + error;
        return false;
    }
    const QList<GraphSeries*> series = window.graphView()->chart()->graphSeries();
    const QList<Graph*> shown = window.activeContainer()->graphs();
    if (saved.graphs().size() != shown.size() || series.size() != shown.size()) {
        *difference = QStringLiteral("%1 traces saved, %2 in the session, %3 lines on the chart")
                          .arg(saved.graphs().size())
                          .arg(shown.size())
                          .arg(series.size());
        return false;
    }
    for (const GraphSeries* graphSeries : series) {
        const qsizetype index = shown.indexOf(graphSeries->graph());
        if (index < 0) {
            *difference = QStringLiteral("a line on the chart belongs to no trace of the session");
            return false;
        }
        const Graph* fromFile = saved.graphs().at(index);
        if (fromFile->traceNumber() != shown.at(index)->traceNumber() ||
            fromFile->data(units).points() != graphSeries->linePoints()) {
            *difference = QStringLiteral("trace %1 differs between the autosave file and the chart")
                              .arg(shown.at(index)->traceNumber());
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    qInstallMessageHandler(recordMessage);
    const int strokes = argc > 1 ? QByteArray(argv[1]).toInt() : 200;
    const int tickMs = argc > 2 ? QByteArray(argv[2]).toInt() : 10;
    if (strokes < 1 || tickMs < 1)
        return fail("usage: soak_autorun [strokes >= 1] [tick ms >= 1]");

    DieEmulatedPort* press = nullptr;
    Bench bench(std::make_shared<FileSystem>(), [&](const QString& name, QObject* parent) -> IPort* {
        press = new DieEmulatedPort(name, parent, tickMs);
        return press;
    });
    ZelPress& window = *bench.window;
    window.resize(1366, 768);
    window.show();
    QElapsedTimer clock;
    clock.start();
    if (!bench.readyForStrokes())
        return fail("the press was not zeroed and its X zero not found");
    const long startKiB = residentKiB();
    const long startHeapKiB = liveHeapKiB();
    // The X zero search sent one Go command of its own.
    const int goBefore = press->goCommands;
    const auto strokesStarted = [&] {
        return press->goCommands - goBefore;
    };
    std::printf("soak: ready after %.1f s, resident %ld KiB, live heap %ld KiB\n", clock.elapsed() / 1000.0,
                startKiB, startHeapKiB);

    // Autorun attached through the wizard, as the window's check box does it.
    int wizardStep = 0;
    QTimer wizardDriver;
    QObject::connect(&wizardDriver, &QTimer::timeout, [&] { driveWizard(window, press, &wizardStep); });
    wizardDriver.start(20);
    window.findChild<QCheckBox*>(QStringLiteral("autoRunCheckBox"))->setChecked(true);
    wizardDriver.stop();
    Session* session = window.session();
    auto* autorun = session ? session->findChild<Autorun*>() : nullptr;
    if (wizardStep != 3 || !session || !session->hasAutorun() || !autorun)
        return fail("the autorun wizard did not attach an autorun");
    int measurements = 0;
    QObject::connect(session, &Session::measurementDone, [&] { ++measurements; });

    // The batch: the die comes off once a stroke is done and goes on again once autorun has seen the
    // press empty, until the last stroke. A stroke that does not come within a minute stops the run.
    GraphContainer* container = window.activeContainer();
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    int lastCount = 0;
    while (container->graphs().size() < strokes || autorun->state() != Autorun::Init) {
        QTest::qWait(2);
        if (window.session() != session)
            return fail("the link closed during the batch");
        const Autorun::State state = autorun->state();
        if (state == Autorun::Init && press->dieOn)
            press->dieOn = false;
        else if (state == Autorun::NoDie && !press->dieOn && strokesStarted() < strokes)
            press->dieOn = true;
        const int count = int(container->graphs().size());
        if (count != lastCount) {
            lastCount = count;
            sinceProgress.restart();
            if (count % 25 == 0)
                std::printf("soak: %d strokes after %.1f s, resident %ld KiB, live heap %ld KiB\n", count,
                            clock.elapsed() / 1000.0, residentKiB(), liveHeapKiB());
            std::fflush(stdout);
        }
        if (sinceProgress.elapsed() > 60000) {
            std::fprintf(stderr, "soak: autorun state %d, die %s, %d strokes started, %d traces\n",
                         int(state), press->dieOn ? "on" : "off", strokesStarted(), count);
            for (const FakeMessageBoxes::Box& box : bench.boxes->boxes)
                std::fprintf(stderr, "box: %s / %s\n", qPrintable(box.text), qPrintable(box.informativeText));
            return fail("no stroke for a minute");
        }
    }
    // Nothing more may come: the die stays off for a while.
    QTest::qWait(1500);
    std::printf("soak: %d strokes started, %d measurements, %d traces, %d lines on the chart in %.1f s\n",
                strokesStarted(), measurements, int(container->graphs().size()),
                int(window.graphView()->chart()->graphSeries().size()), clock.elapsed() / 1000.0);
    int faults = 0;
    if (strokesStarted() != strokes || measurements != strokes || container->graphs().size() != strokes)
        faults += fail("not exactly one trace per stroke");
    for (qsizetype i = 0; i < container->graphs().size(); ++i) {
        if (container->graphs().at(i)->traceNumber() != int(i) + 1 ||
            container->graphs().at(i)->data(Imperial).points().size() < 100) {
            faults += fail("a trace is numbered out of order or incomplete");
            break;
        }
    }
    QString difference;
    const Units units = window.settings()->units;
    window.autosaveWriter()->waitForPendingWrites();
    if (!autosaveMatchesChart(window, units, &difference))
        faults += fail(qPrintable(difference));

    // What the batch holds on to is its traces: once they are cleared, the heap is back to about where
    // it stood before the first stroke (the press keeps streaming meanwhile). Qt's pixmap cache, which
    // keeps up to 10 MB of drawn icons and style pieces, is emptied first so it does not hide a growth.
    window.findChild<QCheckBox*>(QStringLiteral("autoRunCheckBox"))->setChecked(false);
    const long fullHeapKiB = liveHeapKiB();
    window.clearAllPlots();
    window.undoHistory()->waitForPendingWrites();
    QTest::qWait(500);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const long clearedHeapKiB = liveHeapKiB();
    QPixmapCache::clear();
    const long uncachedHeapKiB = liveHeapKiB();
    // SOAK_PROFILE=1: what the heap still holds, by allocating stack (ASan builds only; full stacks
    // need ASAN_OPTIONS=fast_unwind_on_malloc=0).
    if (qEnvironmentVariableIsSet("SOAK_PROFILE") && __sanitizer_print_memory_profile)
        __sanitizer_print_memory_profile(100, 60);
    std::printf(
        "soak: live heap %ld KiB with the traces, %ld KiB after Clear All, %ld KiB without Qt's pixmap "
        "cache (%ld KiB before the first stroke)\n",
        fullHeapKiB, clearedHeapKiB, uncachedHeapKiB, startHeapKiB);
    const double shownPerStroke = double(fullHeapKiB - startHeapKiB) / strokes;
    const double retainedPerStroke = double(uncachedHeapKiB - startHeapKiB) / strokes;
    std::printf("soak: %.1f KiB a stroke while shown, %.1f KiB a stroke left after clearing\n",
                shownPerStroke, retainedPerStroke);
    if (uncachedHeapKiB - startHeapKiB > kOnceKiB + kRetainedShare * (fullHeapKiB - startHeapKiB))
        faults += fail("clearing the traces did not give their memory back");
    std::printf("soak: %d log messages, %d expected warnings (no Bluetooth stack, headless platform), %d "
                "unexpected\n",
                g_messages, g_expectedWarnings, int(g_warnings.size()));
    if (!g_warnings.isEmpty())
        faults += fail("warnings were logged");
    bench.window.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::printf(faults == 0 ? "soak: passed\n" : "soak: %d checks failed\n", faults);
    return faults == 0 ? 0 : 1;
}
