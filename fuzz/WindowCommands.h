#pragma once

// Drives the real main window, headless and without a press, through a sequence of the user's trace
// commands decoded from bytes, and checks after every command that the chart, the legend, the selection
// and the undo button still agree with the traces. Shared by the window's command fuzz target and the
// test that replays a seeded run and the sequences that once broke the window.

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

class FakeMessageBoxes;
class MemoryFileSystem;
class ZelPress;

class WindowCommands {
public:
    // One command of the user's; each takes one argument byte (which row, which answer, which file...).
    enum Command : std::uint8_t {
        SelectRow,        // the legend row arg % rows (containers and traces alike)
        SelectNone,       // no current row
        Go,               // a stroke from the press ends: a new trace of arg's shape
        RemovePlot,       // Edit > Remove Plot on the current row
        ClearLastPlot,    // Edit > Clear Last Plot
        ClearAllPlots,    // Edit > Clear All Plots, the unsaved-changes question answered by arg's bit 0
        Renumber,         // Renumber Plots
        Undo,             // Edit > Undo
        EditVelocity,     // types a velocity into the legend row arg % rows
        ToggleFlyer,      // ticks or unticks the flyer box of a legend row
        ToggleVisibility, // clicks the eye of a legend row
        EditPlot,         // Edit Plot on the current row, the dialog answered Ok (arg odd) or Cancel
        LoadCompare,      // loads one of the prepared session files as a comparison
        CloseCompare,     // the cross of comparison file arg % files
        NewSession,       // File > New Session, the question answered by arg's bit 0
        OpenSession,      // File > Open Session with one of the prepared files
        SwitchUnits,      // metric for an odd arg, imperial for an even one
        DarkMode,         // View > Dark Mode toggled
        Autoscale,        // View > Autoscale
        WheelZoom,        // one wheel step in (arg's bit 0) or out at a point of the chart
        Pan,              // a drag across the chart
        ClickChart,       // a click at a point of the chart: on a line or on empty space
        Resize,           // the window resized
        Export,           // one of the four exports, to a file in memory
        SaveAs,           // File > Save As to a file in memory
        ColorBy,          // View > colour by a measurement, or highlight flyers
        ContextMenu,      // a right click on legend row arg / 4 selects it, and its menu's Remove Plot,
                          // Edit Plot, Renumber or Export (arg % 4) runs in the menu's own event loop
        SetLimits,        // Setup > Tolerance Limits answered with limits arg spells, or none (arg % 8 == 0)
        CommandCount
    };

    WindowCommands();
    ~WindowCommands();
    WindowCommands(const WindowCommands&) = delete;
    WindowCommands& operator=(const WindowCommands&) = delete;

    // Runs the commands the bytes spell (two bytes a command: the command modulo CommandCount, then its
    // argument); stops at the first broken rule and returns its description, or an empty string.
    QString run(const QByteArray& bytes);
    // Runs one command, lets the window settle (posted events, deferred deletions, a paint of the chart)
    // and checks the rules.
    QString step(Command command, std::uint8_t argument);
    // The rules that must hold between any two commands; an empty string when they do.
    QString brokenRule() const;

    // The bytes of a written sequence of commands, for regression cases.
    static QByteArray encode(const QList<std::pair<Command, std::uint8_t>>& commands);
    static const char* name(Command command);
    int stepsRun() const { return m_steps; }
    ZelPress& window() { return *m_window; }

private:
    void settle();
    // Runs the command as the window's event loop would deliver it: from inside a running loop, so
    // deferred deletions wait for that loop as they do in the program.
    void runInEventLoop(const std::function<void()>& command);
    void perform(Command command, std::uint8_t argument);
    int legendRowCount() const;

    std::shared_ptr<FakeMessageBoxes> m_boxes;
    std::shared_ptr<MemoryFileSystem> m_files;
    class Dialog;
    std::shared_ptr<Dialog> m_dialog;
    std::unique_ptr<ZelPress> m_window;
    int m_steps = 0;
    std::uint8_t m_editAnswer = 0;
    std::uint8_t m_limitsAnswer = 0;
};
