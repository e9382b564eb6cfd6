// guiOptionsHost: what the Project Options dialog, the Advanced Compiler Options dialog and the
// discovery dialog use of their neighbours, besides the settings object, the current project
// (`gProject`) and the target link's settings (SEAM_TARGET's `target_operations`): the compiler's
// options and message limits, the main window (run state, trace window, help, open files,
// connection, modal showing), the trace store, and network discovery. Each is a narrow
// interface; the program's own implementation serves it until a test installs a double
// (tests/GUI/OptionsDoubles.h). A neighbour that is not built yet refuses with its "... is not
// part of this build." error, never with a made-up answer.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "driver/CC_GO.h"
#include "settings/guiEnvOptions.h"

class QDialog;
class QWidget;

// ---- the compiler ----------------------------------------------------------------------------

class TOptionsCompiler {
public:
    virtual ~TOptionsCompiler() = default;
    // The fifteen options as get_compiler_options gives them; SetCompilerOptions hands them to
    // set_compiler_options (which ignores the ninth and clears the output mode).
    virtual CompilerOptions GetCompilerOptions() = 0;
    virtual void SetCompilerOptions(const CompilerOptions &options) = 0;
    virtual uint8_t SetCompileMode(uint8_t mode) = 0;
    virtual int MaxErrorsShown() = 0;
    // The sum of the two warning limits.
    virtual int MaxWarningsShown() = 0;
    // The error limit, the two warning limits and the capacity of the message list.
    virtual void SetMessageLimits(const MessageLimits &limits) = 0;
    virtual void SetBiosFile(const std::string &path) = 0;
    virtual void SetLibrariesFile(const std::string &path) = 0;
};
TOptionsCompiler &options_compiler();
void set_options_compiler(TOptionsCompiler *compiler); // not owned; null: the program's own

// ---- the main window -------------------------------------------------------------------------

class TOptionsShell {
public:
    virtual ~TOptionsShell() = default;
    // 0 "Edit", 1 "Stopped", 2 running.
    virtual int RunState() = 0;
    // The trace window exists.
    virtual bool TraceWindowExists() = 0;
    // Opens the help topic (0 closes help, 1 the contents).
    virtual void ShowHelpContext(QWidget *owner, uint32_t context) = 0;
    // The files of the open editor windows, in the main window's order.
    virtual std::vector<std::string> OpenFileNames() = 0;
    // The main window's close-connection command.
    virtual void CloseConnection() = 0;
    // The connection status panel shows the link settings in force.
    virtual void RefreshConnectionPanel() = 0;
    // Shows the dialog modally and gives its result (the program runs exec(); a test shows the
    // dialog, drives it and gives what it ended with).
    virtual int ExecModal(QDialog &dialog) = 0;
};
TOptionsShell &options_shell();
void set_options_shell(TOptionsShell *shell); // not owned; null: the program's own

// ---- the trace store -------------------------------------------------------------------------

class TOptionsTrace {
public:
    virtual ~TOptionsTrace() = default;
    // The store takes its record layout and capacity from the trace options of the settings.
    virtual void SetTraceOptions() = 0;
    // Its capacity in entries; nothing while there is no store to ask.
    virtual std::optional<uint32_t> Capacity() = 0;
    // Sends the trace flags to the target again (full trace or functions only).
    virtual void SendTraceFlags() = 0;
};
TOptionsTrace &options_trace();
void set_options_trace(TOptionsTrace *trace); // not owned; null: the program's own

// ---- network discovery -----------------------------------------------------------------------

// One board's answer, as the discovery dialog lists it.
struct DiscoveredBoard {
    std::string name;
    std::string address;
    std::string port;
    std::string status;
    std::string mac;
};

class TDiscoveryLink {
public:
    virtual ~TDiscoveryLink() = default;
    // Opens the discovery socket for the UDP port and broadcasts the first request.
    virtual void TcInitDiscovery(uint16_t port) = 0;
    // Broadcasts again when one is due, then takes at most one reply: true with `board` filled,
    // false (and `board` untouched) when none waits.
    virtual bool TcDiscoverLoaders(DiscoveredBoard &board) = 0;
    virtual void TcEndDiscovery() = 0;
};
TDiscoveryLink &discovery_link();
void set_discovery_link(TDiscoveryLink *link); // not owned; null: the program's own

// ---- closing an option dialog ------------------------------------------------------------------

// With the result OK the dialog's close query runs first and may keep it open; then its close
// steps run, whatever the result. Both inside the slot guard. True when the dialog may close.
bool option_dialog_closes(int result, const std::function<bool()> &close_query,
                          const std::function<void(int)> &close);
