// guiDebugWindows: the program's table of debug windows and the rows it makes them from.
#include "guiDebugWindows.h"

#include <cassert>

#include "frmKXDisassembly.h"
#include "frmKXMemoryDump.h"
#include "frmKXRegisters.h"
#include "frmKXStack.h"
#include "frmKXStdio.h"
#include "frmKXTrace.h"
#include "frmKXWatches.h"
#include "settings/guiKXPreferences.h"
#include "shell/frmKXDockable.h"
#include "shell/frmKXMain.h"
#include "core/guiExceptions.h"
#include "core/guiInterface.h"

namespace {

constexpr uint32_t kMsgNoDebugWindows = 7159; // "The debug windows are not part of this build."

ProgramDebugWindows &program_windows()
{
    static ProgramDebugWindows windows;
    return windows;
}

TDebugWindows *g_windows = nullptr;

std::size_t index_of(DebugWindow window) { return static_cast<std::size_t>(window); }

// Each window as its settings place it: in the workspace when "Child", else floating.
TfrmDockable *make_disassembly(TfrmMainWindow &main)
{
    const TIdePreferences &prefs = IdePreferences();
    return new TfrmDisassembly(&main, prefs.assembly.child, prefs.assembly.dockable);
}

TGuiInterface *disassembly_adapter(TfrmDockable &window)
{
    auto *disassembly = qobject_cast<TfrmDisassembly *>(&window);
    return disassembly ? disassembly->Adapter() : nullptr;
}

TfrmDockable *make_stack(TfrmMainWindow &main)
{
    const TIdePreferences &prefs = IdePreferences();
    return new TfrmStack(&main, prefs.stack.child, prefs.stack.dockable);
}

TGuiInterface *stack_adapter(TfrmDockable &window)
{
    auto *stack = qobject_cast<TfrmStack *>(&window);
    return stack ? stack->Adapter() : nullptr;
}

TfrmDockable *make_watches(TfrmMainWindow &main)
{
    const TIdePreferences &prefs = IdePreferences();
    return new TfrmWatches(&main, prefs.watch.child, prefs.watch.dockable);
}

TGuiInterface *watches_adapter(TfrmDockable &window)
{
    auto *watches = qobject_cast<TfrmWatches *>(&window);
    return watches ? watches->Adapter() : nullptr;
}

} // namespace

// A window is added to the build by filling its row: its maker and its adapter.
const std::array<DebugWindowKind, kDebugWindowCount> kProgramDebugWindows = {{
    {DebugWindow::Disassembly, &make_disassembly, &disassembly_adapter},
    {DebugWindow::Stdio, &TfrmStdio::Make, &TfrmStdio::AdapterOf},
    {DebugWindow::Registers, &TfrmRegisters::Make, &TfrmRegisters::AdapterOf},
    {DebugWindow::MemoryDump, &TfrmMemoryDump::Make, &TfrmMemoryDump::AdapterOf,
     &TfrmMemoryDump::Current},
    {DebugWindow::Watches, &make_watches, &watches_adapter},
    {DebugWindow::Stack, &make_stack, &stack_adapter},
    {DebugWindow::Trace, &TfrmTrace::Make, nullptr},
}};

const char *debug_window_name(DebugWindow window)
{
    switch (window) {
    case DebugWindow::Disassembly:
        return "Assembly";
    case DebugWindow::Stdio:
        return "Stdio";
    case DebugWindow::Registers:
        return "Registers";
    case DebugWindow::MemoryDump:
        return "Memory Dump";
    case DebugWindow::Watches:
        return "Watch";
    case DebugWindow::Stack:
        return "Stack";
    case DebugWindow::Trace:
        return "Trace";
    }
    return "";
}

ProgramDebugWindows::ProgramDebugWindows(std::span<const DebugWindowKind, kDebugWindowCount> kinds,
                                         TfrmMainWindow *main)
    : m_kinds(kinds), m_main(main)
{
    for (std::size_t i = 0; i < kDebugWindowCount; ++i)
        assert(m_kinds[i].window == kDebugWindows[i] && "rows follow the order of DebugWindow");
}

TfrmDockable *ProgramDebugWindows::Window(DebugWindow window)
{
    const DebugWindowKind &kind = m_kinds[index_of(window)];
    if (kind.current) {
        TfrmMainWindow *main = m_main ? m_main : frmMainWindow;
        return main ? kind.current(*main) : nullptr;
    }
    return m_windows[index_of(window)].data();
}

bool ProgramDebugWindows::Exists(DebugWindow window) { return Window(window) != nullptr; }

bool ProgramDebugWindows::IsShown(DebugWindow window)
{
    TfrmDockable *form = Window(window);
    return form && form->IsShown();
}

void ProgramDebugWindows::Toggle(DebugWindow window)
{
    const DebugWindowKind &kind = m_kinds[index_of(window)];
    TfrmDockable *form = Window(window);
    if (form && form->IsShown()) {
        form->CloseWindow();
        return;
    }
    if (!form) {
        TfrmMainWindow *main = m_main ? m_main : frmMainWindow;
        if (!kind.make || !main)
            throw xErr(kMsgNoDebugWindows, KX_HERE);
        form = kind.make(*main);
        m_windows[index_of(window)] = form;
    }
    form->ShowWindow();
    form->BringToFront();
}

TGuiInterface *ProgramDebugWindows::Adapter(DebugWindow window)
{
    const DebugWindowKind &kind = m_kinds[index_of(window)];
    TfrmDockable *form = Window(window);
    return form && kind.adapter ? kind.adapter(*form) : nullptr;
}

TStdioWindow *ProgramDebugWindows::StdioWindow()
{
    return dynamic_cast<TStdioWindow *>(Window(DebugWindow::Stdio));
}

TDebugWindows &debug_windows() { return g_windows ? *g_windows : program_windows(); }
void set_debug_windows(TDebugWindows *windows) { g_windows = windows; }
