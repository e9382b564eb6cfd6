// guiDebugWindows: the program's own table of debug windows: the disassembly and stack
// windows; the others are not built yet and refuse.
#include "guiDebugWindows.h"

#include <QPointer>

#include "core/guiExceptions.h"
#include "frmKXDisassembly.h"
#include "frmKXStack.h"
#include "settings/guiKXPreferences.h"
#include "shell/frmKXMain.h"

namespace {

constexpr uint32_t kMsgNoDebugWindows = 7159; // "The debug windows are not part of this build."

// The windows built so far are made here; a toggle of any other refuses.
class ProgramDebugWindows : public TDebugWindows {
public:
    bool Exists(DebugWindow window) override { return Form(window) != nullptr; }
    bool IsShown(DebugWindow window) override
    {
        TfrmDockable *form = Form(window);
        return form && form->IsShown();
    }
    void Toggle(DebugWindow window) override
    {
        TfrmDockable *form = Form(window);
        if (form && form->IsShown()) {
            form->CloseWindow();
            return;
        }
        if (!form)
            form = Make(window);
        form->ShowWindow();
        form->BringToFront();
    }
    TGuiInterface *Adapter(DebugWindow window) override
    {
        switch (window) {
        case DebugWindow::Disassembly:
            return m_disassembly ? m_disassembly->Adapter() : nullptr;
        case DebugWindow::Stack:
            return m_stack ? m_stack->Adapter() : nullptr;
        case DebugWindow::Stdio:
        case DebugWindow::Registers:
        case DebugWindow::MemoryDump:
        case DebugWindow::Watches:
        case DebugWindow::Trace:
            return nullptr;
        }
        return nullptr;
    }
    TStdioWindow *StdioWindow() override { return nullptr; }

private:
    TfrmDockable *Form(DebugWindow window)
    {
        switch (window) {
        case DebugWindow::Disassembly:
            return m_disassembly;
        case DebugWindow::Stack:
            return m_stack;
        case DebugWindow::Stdio:
        case DebugWindow::Registers:
        case DebugWindow::MemoryDump:
        case DebugWindow::Watches:
        case DebugWindow::Trace:
            return nullptr;
        }
        return nullptr;
    }
    // A window as its settings place it: in the workspace when "Child", else floating.
    TfrmDockable *Make(DebugWindow window)
    {
        const TIdePreferences &prefs = IdePreferences();
        switch (window) {
        case DebugWindow::Disassembly:
            m_disassembly = new TfrmDisassembly(frmMainWindow, prefs.assembly.child,
                                                prefs.assembly.dockable);
            return m_disassembly;
        case DebugWindow::Stack:
            m_stack = new TfrmStack(frmMainWindow, prefs.stack.child, prefs.stack.dockable);
            return m_stack;
        case DebugWindow::Stdio:
        case DebugWindow::Registers:
        case DebugWindow::MemoryDump:
        case DebugWindow::Watches:
        case DebugWindow::Trace:
            break;
        }
        throw xErr(kMsgNoDebugWindows, KX_HERE);
    }

    QPointer<TfrmDisassembly> m_disassembly;
    QPointer<TfrmStack> m_stack;
};

ProgramDebugWindows g_program;
TDebugWindows *g_windows = &g_program;

} // namespace

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

TDebugWindows &debug_windows() { return *g_windows; }
void set_debug_windows(TDebugWindows *windows) { g_windows = windows ? windows : &g_program; }
