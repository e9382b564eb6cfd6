// Doubles of the option dialogs' neighbours.
#include "OptionsDoubles.h"

#include <QDialog>

#include "IniFile.h"
#include "core/SEAM_SETTINGS.h"
#include "settings/guiEnvironment.h"
#include "core/guiExceptions.h"

namespace {
std::string numbers(std::initializer_list<long long> values)
{
    std::string text;
    for (long long v : values)
        text += " " + std::to_string(v);
    return text;
}
} // namespace

void RecordingCompiler::SetCompilerOptions(const CompilerOptions &o)
{
    m_journal.push_back("SetCompilerOptions");
    options = o;
}

uint8_t RecordingCompiler::SetCompileMode(uint8_t mode)
{
    m_journal.push_back("SetCompileMode" + numbers({mode}));
    compile_modes.push_back(mode);
    return mode;
}

void RecordingCompiler::SetMessageLimits(const MessageLimits &l)
{
    m_journal.push_back("SetMessageLimits" +
                        numbers({l.errors, l.warnings_low, l.warnings_high, l.total}));
    limits = l;
    max_errors = l.errors;
    max_warnings = l.warnings_low + l.warnings_high;
}

void RecordingCompiler::SetBiosFile(const std::string &path)
{
    m_journal.push_back("SetBiosFile " + path);
    bios_file = path;
}

void RecordingCompiler::SetLibrariesFile(const std::string &path)
{
    m_journal.push_back("SetLibrariesFile " + path);
    libraries_file = path;
}

void RecordingShell::CloseConnection()
{
    m_journal.push_back("CloseConnection");
    ++connections_closed;
}

void RecordingShell::RefreshConnectionPanel()
{
    m_journal.push_back("RefreshConnectionPanel");
    ++panel_refreshes;
}

int RecordingShell::ExecModal(QDialog &dialog)
{
    dialog.setResult(QDialog::Rejected);
    dialog.show();
    if (modal)
        modal(dialog);
    if (!dialog.isVisible())
        return dialog.result();
    dialog.hide();
    return QDialog::Rejected;
}

void RecordingTrace::SetTraceOptions()
{
    if (fail)
        throw xErr(7152, KX_HERE);
    ++options_set;
}

std::optional<uint32_t> RecordingTrace::Capacity()
{
    if (fail)
        throw xErr(7152, KX_HERE);
    return capacity;
}

void RecordingTrace::SendTraceFlags()
{
    if (fail)
        throw xErr(7152, KX_HERE);
    m_journal.push_back("SendTraceFlags");
}

void FakeDiscovery::TcInitDiscovery(uint16_t port)
{
    if (fail_start)
        throw xErr(7151, KX_HERE);
    started.push_back(port);
}

bool FakeDiscovery::TcDiscoverLoaders(DiscoveredBoard &board)
{
    ++polls;
    if (polls == fail_at_poll)
        throw xErr(7151, KX_HERE);
    if (answers.empty())
        return false;
    const std::optional<DiscoveredBoard> answer = answers.front();
    answers.pop_front();
    if (!answer)
        return false;
    board = *answer;
    return true;
}

void JournalLink::SetCommSettings(TCOptionsType settings)
{
    m_journal.push_back("SetCommSettings");
    HeadlessTargetOperations::SetCommSettings(settings);
}

void JournalLink::SetLoaderBaudRates(const std::array<uint32_t, 3> &rates)
{
    m_journal.push_back("SetLoaderBaudRates" + numbers({rates[0], rates[1], rates[2]}));
    HeadlessTargetOperations::SetLoaderBaudRates(rates);
}

void JournalLink::TcSetUsbSerialDelay(uint8_t use_converter, uint32_t delay_ms)
{
    m_journal.push_back("TcSetUsbSerialDelay" + numbers({use_converter, delay_ms}));
    HeadlessTargetOperations::TcSetUsbSerialDelay(use_converter, delay_ms);
}

bool RecordingProject::WriteComm()
{
    m_journal.push_back("WriteComm");
    return TKXProject::WriteComm();
}
void RecordingProject::WriteTargetless()
{
    m_journal.push_back("WriteTargetless");
    TKXProject::WriteTargetless();
}
void RecordingProject::WriteCompilerOptions()
{
    m_journal.push_back("WriteCompilerOptions");
    TKXProject::WriteCompilerOptions();
}
void RecordingProject::WriteDebugOptions()
{
    m_journal.push_back("WriteDebugOptions");
    TKXProject::WriteDebugOptions();
}
void RecordingProject::SetDefines(const std::string &text)
{
    m_journal.push_back("SetDefines");
    TKXProject::SetDefines(text);
}
void RecordingProject::WriteIncludeBIOS()
{
    m_journal.push_back("WriteIncludeBIOS");
    TKXProject::WriteIncludeBIOS();
}
void RecordingProject::WriteIncludeRST()
{
    m_journal.push_back("WriteIncludeRST");
    TKXProject::WriteIncludeRST();
}

void OptionsTest::SetUp()
{
    GuiTest::SetUp();
    set_settings_registry_path(Path("registry.kxreg"));
    gBoardParameters = BoardParameters();
    link.settings.baud_rate = 115200;
    link.settings.com_port = 2;
    link.settings.stop_bits = 0;
    link.settings.max_download_baud = 460800;
    link.settings.verify_dsr = 1;
    link.settings.link_kind = 0;
    link.loader_rates = {2400, 57600, 115200};
    link.usb_serial_delay = 2000;
    set_target_operations(&link);
    set_options_compiler(&compiler);
    set_options_shell(&shell);
    set_options_trace(&trace);
    set_discovery_link(&discovery);
    reset_projects();
    gFactoryProjectPath = Path("factory.kxp");
    gProject = std::make_unique<RecordingProject>(ProjectFile(), journal);
    gProject->WriteWholeFile();
    // The settings the link double holds, as a project load would have put them.
    TIdePreferences &p = IdePreferences();
    p.use_tcpip = false;
    p.serial_port = "COM2";
    p.bios_baud_rate = "115200";
    p.max_baud_rate = "460800";
    p.stop_bits = "1";
    p.tcp_port = "0";
    p.enable_tracing = false;
    p.trace_buf_size = 8;
    journal.clear();
}

void OptionsTest::TearDown()
{
    set_options_compiler(nullptr);
    set_options_shell(nullptr);
    set_options_trace(nullptr);
    set_discovery_link(nullptr);
    install_seam_doubles();
    reset_projects();
    gBoardParameters = BoardParameters();
    set_settings_registry_path("");
    GuiTest::TearDown();
}

std::string OptionsTest::ProjectValue(const char *section, const char *key) const
{
    return IniFile(ProjectFile()).read_string(section, key, "<none>");
}

std::vector<std::string> OptionsTest::TakeBoxes()
{
    std::vector<std::string> boxes;
    for (const ScriptedBoxes::Shown &box : m_boxes.shown)
        boxes.push_back(box.caption + ": " + box.text);
    m_boxes.shown.clear();
    return boxes;
}
