// The window under sequences of trace commands: the sequences that once broke it, every input of the
// command fuzzer's committed corpus, and a seeded run of random commands. After each command the chart,
// the legend, the selection and the undo button must agree with the traces (WindowCommands::brokenRule),
// and nothing may touch freed memory (the suite runs under AddressSanitizer).
#include "WindowCommands.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <random>

using C = WindowCommands;

class tst_WindowCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void sequencesThatBrokeTheWindow_data();
    void sequencesThatBrokeTheWindow();
    void committedFuzzCorpus();
    void seededRandomCommands();
};

void tst_WindowCommands::sequencesThatBrokeTheWindow_data() {
    QTest::addColumn<QByteArray>("commands");
    // Bringing the selected trace to the top took its line off the chart and added it again; the old
    // drawing item, still waiting for deletion while the legend's context menu ran, was shown again when
    // Remove Plot emptied the line and then painted after the line had left the chart.
    QTest::newRow("open three, remove the second from its menu, undo, renumber, undo, clear last, undo")
        << C::encode({{C::OpenSession, 0},
                      {C::ContextMenu, 2 << 2},
                      {C::Undo, 0},
                      {C::Renumber, 0},
                      {C::Undo, 0},
                      {C::ClearLastPlot, 0},
                      {C::Undo, 0}});
    QTest::newRow("strokes selected by clicks, then the file closed under them")
        << C::encode({{C::Go, 3},
                      {C::Go, 90},
                      {C::LoadCompare, 0},
                      {C::SelectRow, 6},
                      {C::ClickChart, 0x77},
                      {C::CloseCompare, 0},
                      {C::Undo, 0},
                      {C::ClearAllPlots, 1},
                      {C::Undo, 0}});
    // The status line named the latest stroke by the number it had when it was judged.
    QTest::newRow("limits set, the first of two strokes removed, renumber") << C::encode({{C::SetLimits, 3},
                                                                                          {C::Go, 3},
                                                                                          {C::Go, 90},
                                                                                          {C::SelectRow, 1},
                                                                                          {C::RemovePlot, 0},
                                                                                          {C::Renumber, 0}});
}

void tst_WindowCommands::sequencesThatBrokeTheWindow() {
    QFETCH(QByteArray, commands);
    WindowCommands driver;
    QCOMPARE(driver.run(commands), QString());
    QCOMPARE(driver.stepsRun(), commands.size() / 2);
}

void tst_WindowCommands::committedFuzzCorpus() {
    const QDir corpus(QStringLiteral(ZELPRESS_SOURCE_DIR "/fuzz/corpus/fuzz_window"));
    const auto files = corpus.entryInfoList(QDir::Files, QDir::Name);
    QVERIFY2(!files.isEmpty(), qPrintable(corpus.path()));
    for (const QFileInfo& file : files) {
        QFile input(file.filePath());
        QVERIFY(input.open(QIODevice::ReadOnly));
        WindowCommands driver;
        // The fuzz target reads at most 128 commands of an input.
        const QString broken = driver.run(input.readAll().left(256));
        QVERIFY2(broken.isEmpty(), qPrintable(file.fileName() + QStringLiteral(": ") + broken));
    }
}

void tst_WindowCommands::seededRandomCommands() {
    // Windows of 48 commands each, as the fuzz target runs them; a fixed seed, so a failure repeats.
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int window = 0; window < 12; ++window) {
        QByteArray commands;
        for (int i = 0; i < 2 * 48; ++i)
            commands.append(static_cast<char>(byte(random)));
        WindowCommands driver;
        const QString broken = driver.run(commands);
        QVERIFY2(broken.isEmpty(), qPrintable(QStringLiteral("window %1, commands %2: %3")
                                                  .arg(window)
                                                  .arg(QString::fromLatin1(commands.toHex()), broken)));
    }
}

QTEST_MAIN(tst_WindowCommands)
#include "tst_windowcommands.moc"
