// Recording doubles of the host services' windows, installed for every test of this program by
// a global test environment.
#include "HostDoubles.h"

#include <gtest/gtest.h>

#include <ostream>

#include "core/CC_MISC.h"
#include "core/SEAM_TARGET.h"

void HeadlessDebugWindow::StdioOutput(const char *text, int length)
{
    if (text && length > 0)
        output.append(text, static_cast<std::size_t>(length));
}

std::string HeadlessDebugWindow::EvaluateExpression(const std::string &expression,
                                                    bool keep_error)
{
    evaluated.push_back(expression);
    return evaluate ? evaluate(expression, keep_error) : expression + " = 1";
}

bool HeadlessDebugWindow::StdioInputChar(char &c)
{
    if (input.empty())
        return false;
    c = input.front();
    input.erase(input.begin());
    return true;
}

HeadlessEditWindow::HeadlessEditWindow()
{
    text_edit.SetWindow(this);
    edit_frame.SetWindow(this);
}

void HeadlessEditWindow::WriteText(std::ostream &out) const
{
    for (const std::string &line : text_lines)
        out << line << '\n';
}

bool HeadlessEditWindow::Save()
{
    ++saves;
    if (!TEditWindow::Save())
        return false;
    modified = false;
    return true;
}

uint32_t HeadlessEditWindow::GetNextPosition(uint32_t packed) const
{
    const uint32_t line = position_line(packed);
    const uint32_t column = position_column(packed);
    if (column < GetLineText(static_cast<int>(line)).size())
        return pack_position(line, column + 1);
    if (line + 1 < text_lines.size())
        return pack_position(line + 1, 0);
    return packed;
}

std::string HeadlessEditWindow::GetLineText(int line) const
{
    if (line < 0 || static_cast<std::size_t>(line) >= text_lines.size())
        return {};
    return text_lines[static_cast<std::size_t>(line)];
}

void HeadlessEditWindow::ClearLineMark(uint32_t packed)
{
    std::erase_if(line_marks, [packed](const auto &m) { return m.first == packed; });
}

HeadlessMainWindow::HeadlessMainWindow()
{
    registers.SetWindow(static_cast<TRegistersWindow *>(&debug_window));
    assembly.SetWindow(static_cast<TDisassemblyWindow *>(&debug_window));
    stack.SetWindow(static_cast<TStackWindow *>(&debug_window));
    dump.SetWindow(static_cast<TMemoryDumpWindow *>(&debug_window));
    watches.SetWindow(static_cast<TWatchesWindow *>(&debug_window));
}

HeadlessEditWindow &HeadlessMainWindow::OpenEditor(const std::string &file)
{
    if (TEditWindow *e = FindEditor(file))
        return static_cast<HeadlessEditWindow &>(*e);
    editors.push_back(std::make_unique<HeadlessEditWindow>());
    editors.back()->file_name = file;
    return *editors.back();
}

std::string HeadlessMainWindow::GetSourceLine(int line)
{
    if (line < 1 || static_cast<std::size_t>(line) > source_lines.size())
        return {};
    return source_lines[static_cast<std::size_t>(line) - 1];
}

TEditWindow *HeadlessMainWindow::FindEditor(const std::string &file)
{
    for (auto &e : editors)
        if (equal_ignoring_case(e->file_name, file))
            return e.get();
    return nullptr;
}

TEditWindow *HeadlessMainWindow::GetEditorForFile(const std::string &file, int flags)
{
    if (TEditWindow *e = FindEditor(file))
        return e;
    return flags ? &OpenEditor(file) : nullptr;
}

TRegisterInterface *HeadlessMainWindow::ShowRegistersWindow(bool force)
{
    if (auto_show || force)
        shown.push_back("registers");
    return &registers;
}
TAssemblyInterface *HeadlessMainWindow::ShowDisassemblyWindow(bool force)
{
    if (auto_show || force)
        shown.push_back("disassembly");
    return &assembly;
}
TStackInterface *HeadlessMainWindow::ShowStackWindow(bool force)
{
    if (auto_show || force)
        shown.push_back("stack");
    return &stack;
}
TWatchInterface *HeadlessMainWindow::ShowWatchesWindow(bool force)
{
    if (auto_show || force)
        shown.push_back("watches");
    return &watches;
}
TDumpInterface *HeadlessMainWindow::ShowDumpWindow(bool force)
{
    if (auto_show || force)
        shown.push_back("dump");
    return &dump;
}
TStdioWindow *HeadlessMainWindow::ShowStdioWindow(int)
{
    shown.push_back("stdio");
    return &debug_window;
}

void HeadlessMainWindow::SetRunState(int state)
{
    run_state = state;
    static const char *const kTexts[] = {"Edit", "Stopped", "Running"};
    status_text = state >= 0 && state <= 2 ? kTexts[state] : "";
    gTCState = comm_state_for_run_state(state, polling);
}

namespace {
HeadlessMessageBoxHost g_box;
HeadlessSplashHost g_splash;
std::unique_ptr<HeadlessMainWindow> g_main;
std::unique_ptr<cMainWindow> g_adapter;

// Installs the recording doubles before the first test runs.
class RecordingHostsEnvironment : public ::testing::Environment {
public:
    void SetUp() override { reset_host_services(); }
};
[[maybe_unused]] ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(new RecordingHostsEnvironment);
} // namespace

HeadlessMessageBoxHost &headless_message_box_host() { return g_box; }
HeadlessSplashHost &headless_splash_host() { return g_splash; }

HeadlessMainWindow &headless_main_window()
{
    if (!g_main)
        reset_host_services();
    return *g_main;
}

void reset_host_services()
{
    restore_windowless_hosts();
    g_main = std::make_unique<HeadlessMainWindow>();
    if (!g_adapter)
        g_adapter = std::make_unique<cMainWindow>(g_main.get());
    g_adapter->SetHost(g_main.get());
    g_adapter->SetCurrentSourceFile(QBString());
    g_adapter->GetSourcePosition() = 0;
    set_main_window_interface(g_adapter.get());
    g_box = HeadlessMessageBoxHost();
    g_splash = HeadlessSplashHost();
    set_message_box_host(&g_box);
    set_splash_host(&g_splash);
    gDialogControl.SetBoxFactory([] { return std::make_unique<HeadlessStatusBox>(); });
}
