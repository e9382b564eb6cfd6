// Doubles of the option dialogs' neighbours (guiOptionsHost, the target link's settings and the
// project), all writing into one journal so that a test sees the order of what OK does, and a
// fixture that puts them in place with a project file and a settings store of its own.
#pragma once

#include <QDialog>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "GuiHarness.h"
#include "SeamDoubles.h"
#include "options/guiOptionsHost.h"
#include "settings/guiProjects.h"

using Journal = std::vector<std::string>;

// The compiler: options and limits kept here, every change journaled.
class RecordingCompiler : public TOptionsCompiler {
public:
    explicit RecordingCompiler(Journal &journal) : m_journal(journal) {}
    CompilerOptions options;
    int max_errors = 10;
    int max_warnings = 10;
    MessageLimits limits;
    std::vector<int> compile_modes;
    std::string bios_file = "unchanged.c";
    std::string libraries_file = "unchanged.dir";

    CompilerOptions GetCompilerOptions() override { return options; }
    void SetCompilerOptions(const CompilerOptions &o) override;
    uint8_t SetCompileMode(uint8_t mode) override;
    int MaxErrorsShown() override { return max_errors; }
    int MaxWarningsShown() override { return max_warnings; }
    void SetMessageLimits(const MessageLimits &l) override;
    void SetBiosFile(const std::string &path) override;
    void SetLibrariesFile(const std::string &path) override;

private:
    Journal &m_journal;
};

// The main window: a scripted run state and trace window, the help topics asked for, the open
// files, and modal dialogs shown (never exec()) and handed to `modal`, which drives them.
class RecordingShell : public TOptionsShell {
public:
    explicit RecordingShell(Journal &journal) : m_journal(journal) {}
    int run_state = 0;
    bool trace_window = false;
    std::vector<uint32_t> help;
    std::vector<std::string> open_files;
    int connections_closed = 0;
    int panel_refreshes = 0;
    // Drives the shown dialog; its result is what the dialog ended with (Rejected while it is
    // still open).
    std::function<void(QDialog &)> modal;

    int RunState() override { return run_state; }
    bool TraceWindowExists() override { return trace_window; }
    void ShowHelpContext(QWidget *, uint32_t context) override { help.push_back(context); }
    std::vector<std::string> OpenFileNames() override { return open_files; }
    void CloseConnection() override;
    void RefreshConnectionPanel() override;
    int ExecModal(QDialog &dialog) override;

private:
    Journal &m_journal;
};

class RecordingTrace : public TOptionsTrace {
public:
    explicit RecordingTrace(Journal &journal) : m_journal(journal) {}
    std::optional<uint32_t> capacity = 1234567;
    int options_set = 0;
    bool fail = false;  // every call throws the debugger core's refusal

    void SetTraceOptions() override;
    std::optional<uint32_t> Capacity() override;
    void SendTraceFlags() override;

private:
    Journal &m_journal;
};

// Discovery: each poll takes the next scripted answer (nothing once they run out); a failure
// can be scripted for the start or for a poll.
class FakeDiscovery : public TDiscoveryLink {
public:
    std::deque<std::optional<DiscoveredBoard>> answers;
    std::vector<uint16_t> started;
    int polls = 0;
    int ended = 0;
    bool fail_start = false;
    int fail_at_poll = -1;  // the poll (from 1) that throws

    void TcInitDiscovery(uint16_t port) override;
    bool TcDiscoverLoaders(DiscoveredBoard &board) override;
    void TcEndDiscovery() override { ++ended; }
};

// The link's settings: the headless double, with its writes journaled.
class JournalLink : public HeadlessTargetOperations {
public:
    explicit JournalLink(Journal &journal) : m_journal(journal) {}
    void SetCommSettings(TCOptionsType settings) override;
    void SetLoaderBaudRates(const std::array<uint32_t, 3> &rates) override;
    void TcSetUsbSerialDelay(uint8_t use_converter, uint32_t delay_ms) override;

private:
    Journal &m_journal;
};

// The project file, its writers journaled before they write.
class RecordingProject : public TKXProject {
public:
    RecordingProject(std::string file, Journal &journal)
        : TKXProject(std::move(file)), m_journal(journal)
    {
    }
    bool WriteComm() override;
    void WriteTargetless() override;
    void WriteCompilerOptions() override;
    void WriteDebugOptions() override;
    void SetDefines(const std::string &text) override;
    void WriteIncludeBIOS() override;
    void WriteIncludeRST() override;

private:
    Journal &m_journal;
};

// The doubles in place, the settings store and a project file ("test.kxp", written whole from
// the defaults) in the test's folder, the board record at its default.
class OptionsTest : public GuiTest {
protected:
    Journal journal;
    RecordingCompiler compiler{journal};
    RecordingShell shell{journal};
    RecordingTrace trace{journal};
    FakeDiscovery discovery;
    JournalLink link{journal};

    void SetUp() override;
    void TearDown() override;
    // The project's file, as the project writes it.
    std::string ProjectFile() const { return Path("test.kxp"); }
    // A value of the project file.
    std::string ProjectValue(const char *section, const char *key) const;
    // The boxes shown since the last call, as "caption: text".
    std::vector<std::string> TakeBoxes();
};
