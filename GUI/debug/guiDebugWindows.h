// guiDebugWindows: the debug windows as the main window opens and closes them. The main window
// decides when a debug window comes up (entering debug mode, the debugger asking for its
// output) and keeps one auto-show flag for each; the windows themselves, their toggle commands
// and their adapters sit behind this table. The program's own table makes each window from its
// row of `kProgramDebugWindows` (guiDebugWindows.cpp); a window whose row has no maker yet does
// not exist, is never shown, and its toggle refuses with one clear error.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include <QPointer>

class TGuiInterface;
class TStdioWindow;
class TfrmDockable;
class TfrmMainWindow;

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
    // The window itself (for the memory dump, the current one); null while it does not exist.
    // The Environment Options hand their fonts, colours and display modes to it.
    virtual TfrmDockable *Window(DebugWindow window) = 0;
};

// One row of the program's table: how a debug window is made and what it answers.
struct DebugWindowKind {
    DebugWindow window;
    // Makes the window, not shown yet, for the main window (its settings say child or
    // floating, dockable or not); null while the window is not part of this build.
    TfrmDockable *(*make)(TfrmMainWindow &main);
    // The adapter of a window this row made.
    TGuiInterface *(*adapter)(TfrmDockable &window);
    // For a window the main window keeps itself (several memory dump windows, one of them
    // current): the one the table answers for; null for a window the table keeps.
    TfrmDockable *(*current)(TfrmMainWindow &main) = nullptr;
};

// The program's rows, one per debug window in the order of `DebugWindow`.
extern const std::array<DebugWindowKind, kDebugWindowCount> kProgramDebugWindows;

// A table over rows: each window is made by its row's maker the first time it is toggled and
// lives until it is freed (a child window freed by its close is made again by the next toggle).
// The toggle of a shown window closes it as the user's close does. A row without a maker
// refuses with "The debug windows are not part of this build.". The windows belong to the main
// window (`frmMainWindow` unless one is given).
class ProgramDebugWindows : public TDebugWindows {
public:
    explicit ProgramDebugWindows(std::span<const DebugWindowKind, kDebugWindowCount> kinds =
                                     kProgramDebugWindows,
                                 TfrmMainWindow *main = nullptr);
    bool Exists(DebugWindow window) override;
    bool IsShown(DebugWindow window) override;
    void Toggle(DebugWindow window) override;
    TGuiInterface *Adapter(DebugWindow window) override;
    TStdioWindow *StdioWindow() override;
    TfrmDockable *Window(DebugWindow window) override;

private:
    std::span<const DebugWindowKind, kDebugWindowCount> m_kinds;
    TfrmMainWindow *m_main;
    std::array<QPointer<TfrmDockable>, kDebugWindowCount> m_windows;
};

// The table in use (never null: the program's own until another is installed).
TDebugWindows &debug_windows();
// Not owned; null restores the program's own.
void set_debug_windows(TDebugWindows *windows);
