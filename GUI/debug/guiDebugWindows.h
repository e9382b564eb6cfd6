// guiDebugWindows: the debug windows as the main window opens and closes them. The main window
// decides when a debug window comes up (entering debug mode, the debugger asking for its
// output) and keeps one auto-show flag for each; the windows themselves, their toggle commands
// and their adapters sit behind this table. Until they are built, the program's own table has no
// window: nothing exists, nothing is shown, and a toggle refuses with one clear error.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

class TGuiInterface;
class TStdioWindow;

// The debug windows in the order of the main window's auto-show flags.
enum class DebugWindow : uint8_t { Disassembly, Stdio, Registers, MemoryDump, Watches, Stack, Trace };
inline constexpr std::size_t kDebugWindowCount = 7;
inline constexpr std::array<DebugWindow, kDebugWindowCount> kDebugWindows = {
    DebugWindow::Disassembly, DebugWindow::Stdio, DebugWindow::Registers, DebugWindow::MemoryDump,
    DebugWindow::Watches,     DebugWindow::Stack, DebugWindow::Trace};

// The window's name in texts ("Stdio", "Registers", ...).
const char *debug_window_name(DebugWindow window);

class TDebugWindows {
public:
    virtual ~TDebugWindows() = default;
    virtual bool Exists(DebugWindow window) = 0;
    virtual bool IsShown(DebugWindow window) = 0;
    // The window's toggle command: shows the window (making it when needed) or closes it.
    virtual void Toggle(DebugWindow window) = 0;
    // The adapter through which the debugger core writes into the window (for the memory dump,
    // the current dump window's); null while the window does not exist.
    virtual TGuiInterface *Adapter(DebugWindow window) = 0;
    // The stdio window itself; null while it does not exist.
    virtual TStdioWindow *StdioWindow() = 0;
};

// The table in use (never null: the program's own until another is installed).
TDebugWindows &debug_windows();
// Not owned; null restores the program's own.
void set_debug_windows(TDebugWindows *windows);
