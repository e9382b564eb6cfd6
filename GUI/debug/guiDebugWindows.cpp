// guiDebugWindows: the program's own table of debug windows, which holds none yet.
#include "guiDebugWindows.h"

#include "core/guiExceptions.h"

namespace {

constexpr uint32_t kMsgNoDebugWindows = 7159; // "The debug windows are not part of this build."

class MissingDebugWindows : public TDebugWindows {
public:
    bool Exists(DebugWindow) override { return false; }
    bool IsShown(DebugWindow) override { return false; }
    void Toggle(DebugWindow) override { throw xErr(kMsgNoDebugWindows, KX_HERE); }
    TGuiInterface *Adapter(DebugWindow) override { return nullptr; }
    TStdioWindow *StdioWindow() override { return nullptr; }
};

MissingDebugWindows g_missing;
TDebugWindows *g_windows = &g_missing;

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
void set_debug_windows(TDebugWindows *windows) { g_windows = windows ? windows : &g_missing; }
