// Start-up to connected: from the top of main to the window shown and its status reading
// "Connection established on port "ComEmulation"", on the emulated press, as `zelpress --emulated-press`
// starts. Prints the median of several runs in this process and the first run alone (cold caches).
#include "app/ZelPress.h"
#include "bench/AnsweringBoxes.h"
#include "core/IMessageBoxes.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

int main(int argc, char** argv) {
    QElapsedTimer sinceMain;
    sinceMain.start();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::vector<char*> args(argv, argv + argc);
    char emulated[] = "--emulated-press";
    args.push_back(emulated);
    int count = static_cast<int>(args.size());
    QApplication app(count, args.data());
    QStandardPaths::setTestModeEnabled(true);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const QString connected = QStringLiteral("Connection established on port \"ComEmulation\"");

    std::vector<double> runs;
    double shown = 0.0;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        const qint64 offset = i == 0 ? sinceMain.nsecsElapsed() - timer.nsecsElapsed() : 0;
        ZelPress window(
            ZelPress::Seams{std::make_shared<AnsweringBoxes>(QMessageBox::Cancel), nullptr, nullptr});
        window.show();
        if (i == 0)
            shown = static_cast<double>(sinceMain.nsecsElapsed()) / 1e6;
        QElapsedTimer limit;
        limit.start();
        while (window.statusMessage() != connected) {
            if (limit.hasExpired(10000))
                return 1;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        runs.push_back(static_cast<double>(timer.nsecsElapsed() + offset) / 1e6);
    }
    std::printf("main to window shown (first run): %.0f ms\n", shown);
    std::printf("main to connected to the emulated press (first run): %.0f ms\n", runs.front());
    std::sort(runs.begin() + 1, runs.end());
    std::printf("window created to connected (median of 4 more): %.0f ms\n", runs.at(3));
    return 0;
}
