// Drives the main window through arbitrary sequences of the user's trace commands (select, Go, Remove,
// Clear Last, Clear All, Renumber, Undo, legend edits, Edit Plot, comparison files, New Session, units,
// dark mode, zoom, pan, clicks, resizes, exports, Save As) and aborts at the first command after which
// the chart, the legend, the selection or the undo button no longer agree with the traces. Two bytes a
// command: which command, then its argument (see WindowCommands.h). AddressSanitizer catches a paint of
// a line whose trace is gone.
#include "WindowCommands.h"

#include <QApplication>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Commands per input at most: a window's worth of state, not a season's.
constexpr std::size_t kMaxCommands = 128;
// Commands run so far in this process, reported every so often: what a long run covered.
std::uint64_t g_steps = 0;
constexpr std::uint64_t kReportEvery = 20000;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QStandardPaths::setTestModeEnabled(true);
    // Undo snapshots are written (and synced) to the temporary folder at nearly every command: in
    // memory they cost the run nothing.
    if (qEnvironmentVariableIsEmpty("TMPDIR") && QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        qputenv("TMPDIR", "/dev/shm");
    new QApplication(*argc, *argv);
    std::atexit([] {
        std::fprintf(stderr, "fuzz_window: %llu commands run in all\n",
                     static_cast<unsigned long long>(g_steps));
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    size = std::min(size, 2 * kMaxCommands);
    WindowCommands commands;
    const QString broken =
        commands.run(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (!broken.isEmpty()) {
        std::fprintf(stderr, "fuzz_window: %s\n", qPrintable(broken));
        std::abort();
    }
    const std::uint64_t before = g_steps;
    g_steps += static_cast<std::uint64_t>(commands.stepsRun());
    if (g_steps / kReportEvery != before / kReportEvery)
        std::fprintf(stderr, "fuzz_window: %llu commands run\n", static_cast<unsigned long long>(g_steps));
    return 0;
}
