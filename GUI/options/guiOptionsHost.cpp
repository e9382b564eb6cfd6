// guiOptionsHost: the program's own neighbours of the option dialogs.
#include "guiOptionsHost.h"

#include <QDialog>

#include "core/CC_ER.h"
#include "core/SEAM_TARGET.h"
#include "link/TC.h"
#include "driver/Temporaryglobals.h"
#include "shell/frmKXMain.h"
#include "debug/guiDebugWindows.h"
#include "core/guiExceptions.h"
#include "shell/guiHosts.h"
#include "link/guiTrace.h"

namespace {

constexpr uint32_t kMsgNoHelp = 7162;         // "Help is not part of this build."

class ProgramCompiler : public TOptionsCompiler {
public:
    CompilerOptions GetCompilerOptions() override
    {
        CompilerOptions o;
        get_compiler_options(&o.warning_level, &o.rtc_indices, &o.rtc_pointers, &o.option4,
                             &o.optimize_size, &o.lit, &o.mac, &o.sym, nullptr, &o.hex_output,
                             &o.type_check, &o.output_mode, &o.separate_id, &o.list_files,
                             &o.inline_io);
        return o;
    }
    void SetCompilerOptions(const CompilerOptions &o) override
    {
        set_compiler_options(o.warning_level, o.rtc_indices, o.rtc_pointers, o.option4,
                             o.optimize_size, o.lit, o.mac, o.sym, 0, &o.hex_output,
                             &o.type_check, o.separate_id, o.list_files, o.inline_io);
    }
    uint8_t SetCompileMode(uint8_t mode) override { return set_compile_mode(mode); }
    int MaxErrorsShown() override { return max_errors_shown(); }
    int MaxWarningsShown() override { return max_warnings_shown(); }
    void SetMessageLimits(const MessageLimits &limits) override
    {
        set_max_errors_shown(limits.errors);
        set_max_warnings_shown(limits.warnings_low + limits.warnings_high);
        set_message_list_capacity(limits.total);
    }
    void SetBiosFile(const std::string &path) override { set_bios_file(path); }
    void SetLibrariesFile(const std::string &path) override { set_libraries_file(path); }
};

// The main window as it stands.
class ProgramShell : public TOptionsShell {
public:
    int RunState() override
    {
        if (!frmMainWindow || frmMainWindow->IsEditMode())
            return 0;
        return frmMainWindow->IsStopped() ? 1 : 2;
    }
    bool TraceWindowExists() override { return debug_windows().Exists(DebugWindow::Trace); }
    void ShowHelpContext(QWidget *, uint32_t context) override
    {
        if (!frmMainWindow)
            throw xErr(kMsgNoHelp, KX_HERE);
        frmMainWindow->ShowHelpContext(context);
    }
    std::vector<std::string> OpenFileNames() override
    {
        std::vector<std::string> names;
        if (frmMainWindow)
            for (TfrmEdit *editor : frmMainWindow->Editors())
                names.push_back(editor->FileName());
        return names;
    }
    void CloseConnection() override { TcCloseConnection(); }
    void RefreshConnectionPanel() override
    {
        if (frmMainWindow)
            frmMainWindow->SetStatusPanelText(
                connection_panel_text(target_operations().GetCommSettings()), 7);
    }
    int ExecModal(QDialog &dialog) override { return dialog.exec(); }
};

// The one trace store of the process.
class ProgramTrace : public TOptionsTrace {
public:
    void SetTraceOptions() override { target_operations().SetTraceOptions(); }
    std::optional<uint32_t> Capacity() override { return uint32_t(trace_buf().Capacity()); }
    void SendTraceFlags() override { trace_buf().SendTraceFlags(); }
};

// The target link's discovery, on the settings' discovery address.
class ProgramDiscovery : public TDiscoveryLink {
public:
    void TcInitDiscovery(uint16_t port) override { ::TcInitDiscovery(port); }
    bool TcDiscoverLoaders(DiscoveredBoard &board) override
    {
        DiscoveryReply reply;
        if (!::TcDiscoverLoaders(reply))
            return false;
        board = {reply.name, reply.address, reply.port, reply.status, reply.mac};
        return true;
    }
    void TcEndDiscovery() override { ::TcEndDiscovery(); }
};

ProgramCompiler g_program_compiler;
ProgramShell g_program_shell;
ProgramTrace g_program_trace;
ProgramDiscovery g_program_discovery;
TOptionsCompiler *g_compiler = &g_program_compiler;
TOptionsShell *g_shell = &g_program_shell;
TOptionsTrace *g_trace = &g_program_trace;
TDiscoveryLink *g_discovery = &g_program_discovery;

} // namespace

TOptionsCompiler &options_compiler() { return *g_compiler; }
void set_options_compiler(TOptionsCompiler *compiler)
{
    g_compiler = compiler ? compiler : &g_program_compiler;
}

TOptionsShell &options_shell() { return *g_shell; }
void set_options_shell(TOptionsShell *shell) { g_shell = shell ? shell : &g_program_shell; }

TOptionsTrace &options_trace() { return *g_trace; }
void set_options_trace(TOptionsTrace *trace) { g_trace = trace ? trace : &g_program_trace; }

TDiscoveryLink &discovery_link() { return *g_discovery; }
void set_discovery_link(TDiscoveryLink *link)
{
    g_discovery = link ? link : &g_program_discovery;
}

bool option_dialog_closes(int result, const std::function<bool()> &close_query,
                          const std::function<void(int)> &close)
{
    bool closes = result != QDialog::Accepted;
    guarded([&] {
        if (result == QDialog::Accepted)
            closes = close_query();
    });
    if (closes)
        guarded([&] { close(result); });
    return closes;
}
