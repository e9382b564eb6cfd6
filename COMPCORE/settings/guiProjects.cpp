// guiProjects: the project file, its sections, and the hand-over of a loaded project.
#include "guiProjects.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cerrno>
#include <climits>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <utility>

#include "core/CC_ER.h"
#include "driver/CC_GO.h"
#include "core/CC_MISC.h"
#include "FileReplace.h"
#include "IniFile.h"
#include "RegistryStore.h"
#include "RegularFile.h"
#include "core/guiExceptions.h"
#include "core/guiInterface.h"

namespace fs = std::filesystem;

std::unique_ptr<TKXProject> gProject;
std::string gFactoryProjectPath;
std::string gDefaultProjectPath;
TCOptionsType gProjectCommDefaults;
std::array<uint32_t, 3> gLoaderBaudRates{2400, 57600, 115200};
bool gPollEnabled = true;

namespace {

// Message ids of this unit.
enum : uint32_t {
    kMsgProjectReadOnlyCaption = 1201,
    kMsgProjectReadOnly = 1202,
    kMsgDefineErrorCaption = 2136,
    kMsgInvalidMacroName = 2138,
    kMsgProjectNotSaved = 7340,
    kMsgProjectValueRefused = 7341,
    kMsgTcpPortRange = 7342,
    kMsgNetAddressLength = 7343,
    kMsgTcpNameLength = 7344,
    kMsgBoardValueRange = 7345,
    kMsgCrystalRange = 7346,
    kMsgPortDeviceLength = 7352,
    kMsgMaximumRange = 7347,
    kMsgWarningLetter = 7348,
};

ProjectCompilerChoices g_choices;

// The compiler takes the current project's committed definitions.
const ProjectDefines *current_project_defines()
{
    return gProject ? &gProject->CommittedDefines() : nullptr;
}
const bool g_provider_installed = (set_project_defines_provider(&current_project_defines), true);

bool flag_of(const IniFile &ini, const char *section, const char *key, bool fallback)
{
    return ini.read_integer(section, key, fallback ? 1 : 0) != 0;
}

uint32_t u32_of(const IniFile &ini, const char *section, const char *key, uint32_t fallback)
{
    return static_cast<uint32_t>(ini.read_integer(section, key, fallback));
}

std::string lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A folder followed by a relative location (stored paths may use "\"), as a path of this host.
std::string joined(const std::string &folder, const std::string &relative)
{
    std::string dir = folder;
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\')
        dir += '/';
    return normalize_separators(dir + relative);
}

bool is_file(const std::string &path)
{
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

// The project file's own resolution of a stored path: the program directory followed by the
// text when that names an existing file, else the text.
std::string resolved(const std::string &text)
{
    const std::string joined_path = joined(program_directory(), text);
    return !text.empty() && is_file(joined_path) ? joined_path : text;
}

// "%.4f" of a frequency in MHz, whatever the locale's decimal separator.
std::string megahertz_text(uint32_t hz)
{
    char text[32];
    const auto result =
        std::to_chars(text, text + sizeof text, hz * 0.000001, std::chars_format::fixed, 4);
    return std::string(text, result.ptr);
}

std::string hex_text(const char *format, uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(value));
    return text;
}

// ---- the defines text in the file ---------------------------------------------------------------

// Line breaks (CR LF, or a lone CR or LF) are kept in the file as one byte 0xFF each.
std::string defines_to_file(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += '\xFF';
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string defines_from_file(const std::string &value)
{
    std::string out;
    for (char c : value) {
        if (c == '\xFF')
            out += "\r\n";
        else
            out += c;
    }
    return out;
}

bool name_start_char(char c)
{
    return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool name_char(char c) { return name_start_char(c) || (c >= '0' && c <= '9'); }
bool blank(char c) { return c == ' ' || c == '\t'; }
bool line_end(char c) { return c == '\r' || c == '\n'; }

// Leading spaces and tabs; trailing spaces, tabs, CR and LF.
std::string trimmed_define(const std::string &text)
{
    std::size_t from = 0, to = text.size();
    while (from < to && blank(text[from]))
        ++from;
    while (to > from && (blank(text[to - 1]) || line_end(text[to - 1])))
        --to;
    return text.substr(from, to - from);
}

// ---- the board-parameter string -----------------------------------------------------------------

// A decimal (or, for base 16, hexadecimal) integer at p, as strtoll reads it; nothing without
// digits or beyond the range.
std::optional<long long> integer_at(const char *&p, int base, long long low, long long high)
{
    char *end = nullptr;
    errno = 0;
    const long long value = std::strtoll(p, &end, base);
    if (end == p)
        return std::nullopt;
    p = end;
    if (errno == ERANGE || value < low || value > high)
        return std::nullopt;
    return value;
}

// A decimal fraction at p (blanks and a "+" before it allowed), read the same in every locale.
std::optional<double> fraction_at(const char *&p)
{
    const char *q = p;
    while (*q == ' ' || *q == '\t')
        ++q;
    if (*q == '+')
        ++q;
    double value = 0;
    const char *end = q + std::char_traits<char>::length(q);
    const auto result = std::from_chars(q, end, value, std::chars_format::general);
    if (result.ec == std::errc::invalid_argument)
        return std::nullopt;
    p = result.ptr;
    if (result.ec != std::errc() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// The separator between two fields: one character of any kind, none at the end of the text.
void skip_separator(const char *&p)
{
    if (*p != '\0')
        ++p;
}

// ---- the defaults of a new project file ------------------------------------------------------

constexpr const char *kHeaderLines[] = {
    "This is a machine generated file.",
    "Modifications by hand must be made carefully at one's own risk.",
    "Deleting an entry will result in factory default for that entry.",
};

struct DefaultKey {
    const char *section;
    const char *key;
    const char *value;  // null: from elsewhere (see WriteWholeFile)
};

// The keys of a new project file, in the order written.
constexpr DefaultKey kDefaultKeys[] = {
    {kSectionComm, "port", nullptr},
    {kSectionComm, "coldload baud", "2400"},
    {kSectionComm, "pilot baud", "57600"},
    {kSectionComm, "bios baud", "115200"},
    {kSectionComm, "Max Negotiated Baud", "460800"},
    {kSectionComm, "stop bits", "2"},
    {kSectionComm, "use TCP", "0"},
    {kSectionComm, "TCP Port", "0"},
    {kSectionComm, "TCP Name", ""},
    {kSectionComm, "Net Address", ""},
    {kSectionComm, "Serial Response Timeout", "200"},
    {kSectionComm, "Ethernet Response Timeout", "8000"},
    {kSectionComm, "Serial Retry Count", "10"},
    {kSectionComm, "Ethernet Retry Count", "0"},
    {kSectionComm, "Serial Poll Interval", "3000"},
    {kSectionComm, "Ethernet Poll Interval", "30000"},
    {kSectionComm, "Verify DSR", "1"},
    {kSectionComm, "Use USB to Serial Converter", "0"},
    {kSectionComm, "Disable Baud Negotiation", "0"},
    {kSectionComm, "USB to Serial Delay", "2000"},
    {kSectionComm, "Pilot Bios Physical Address", "16384"},
    {kSectionComm, "Flash erase timeout", "10000"},
    {kSectionCompilerOptions, "Max Errors Shown", "10"},
    {kSectionCompilerOptions, "Max Warnings Shown", "10"},
    {kSectionCompilerOptions, "All Serious None", "A"},
    {kSectionCompilerOptions, "RTC Indices", "1"},
    {kSectionCompilerOptions, "RTC Pointers", "1"},
    {kSectionCompilerOptions, "Optimize For Size", "0"},
    {kSectionCompilerOptions, "Prototypes", "1"},
    {kSectionCompilerOptions, "Demotion", "1"},
    {kSectionCompilerOptions, "Pointers", "1"},
    {kSectionCompilerOptions, "BIOS Memory Mode", "0"},
    {kSectionCompilerOptions, "Restrict Watch Expressions", "0"},
    {kSectionCompilerOptions, "Separate Instruction and Data", "0"},
    {kSectionCompilerOptions, "Generate List Files", "0"},
    {kSectionCompilerOptions, "Inline Internal IO Functions", "1"},
    {kSectionCompilerOptions, "Default Compile Mode", "0"},
    {kSectionDebugOptions, "Enable Breakpoints", "1"},
    {kSectionDebugOptions, "Enable Instruction Level Single Step", "1"},
    {kSectionDebugOptions, "Enable Watch Expressions", "1"},
    {kSectionDebugOptions, "Max Breakpoints", "32"},
    {kSectionDebugOptions, "Max Watch Expressions", "8"},
    {kSectionIncludeRst, "Include RST", "1"},
    {kSectionIncludeBios, "Include BIOS", "1"},
    {kSectionPollTarget, "Poll target while running", "1"},
    {kSectionTargetless, "Board ID", "257"},
    {kSectionTargetless, "CPU ID", "2000"},
    {kSectionTargetless, "CPU Revision", "0"},
    {kSectionTargetless, "Crystal Speed MHz", "29.4912"},
    {kSectionTargetless, "RAM Size KBytes", "128"},
    {kSectionTargetless, "Flash Size KBytes", "256"},
    {kSectionTargetless, "Description", kDefaultBoardDescription},
    {kSectionOutputFile, "Auto open STDIO", "1"},
    {kSectionOutputFile, "Append", "0"},
    {kSectionOutputFile, "Log STDIO", "0"},
    {kSectionOutputFile, "Output File Name", "KX.OUT"},
    {kSectionKorvexFiles, "Use Lib File", "0"},
    {kSectionKorvexFiles, "Use BIOS File", "0"},
    {kSectionKorvexFiles, "Use Default Source File", "0"},
    {kSectionKorvexFiles, "LIB File", ""},
    {kSectionKorvexFiles, "BIOS File", ""},
    {kSectionDefines, "Defines", ""},
    {kSectionKorvexFiles, "Cold Loader File", "bios\\coldload.bin"},
    {kSectionKorvexFiles, "Pilot BIOS File", "bios\\pilot.bin"},
    {kSectionCompression, "Zimport External Utility", kDefaultZimportUtility},
    {kSectionMruFiles, "FileCount", "0"},
    {kSectionOpenFiles, "Number Open", "0"},
};

} // namespace

// ---- the report of one operation --------------------------------------------------------------

struct TKXProject::Refused {
    std::string section, key;
    std::string used;  // the text a writer would write for the value used instead
};

class TKXProject::Report {
public:
    explicit Report(TKXProject &project) : m_project(project)
    {
        if (m_project.m_report_depth++ == 0) {
            m_project.m_report_lines.clear();
            m_project.m_report_error = false;
        }
    }
    ~Report()
    {
        if (--m_project.m_report_depth != 0 || m_project.m_report_lines.empty())
            return;
        std::string text;
        for (const std::string &line : m_project.m_report_lines)
            text += (text.empty() ? "" : "\n\n") + line;
        const bool error = m_project.m_report_error;
        m_project.m_report_lines.clear();
        try {
            ShowAppMessageBox(text, GetResString(error ? kMsgErrorCaption : kMsgWarningCaption),
                              kMbOk | (error ? kMbIconError : kMbIconWarning));
        } catch (...) {
            // Nobody to tell: the box itself failed.
        }
    }
    Report(const Report &) = delete;
    Report &operator=(const Report &) = delete;

    // The project file for the Write functions: the outermost writer holds every change made
    // under it and writes the file once when it ends.
    class Writer;

private:
    TKXProject &m_project;
    // The outermost writer's copy of the file and its project (the IDE saves one at a time).
    struct Held {
        const TKXProject *project;
        IniFile *ini;
    };
    static inline Held g_held{nullptr, nullptr};
};

// A save, or one section's write, replaces the file once: each key written into it on its own
// would replace the whole file each time (forty-odd times a save), and a failure half-way would
// leave a file of old and new values. Writers inside the outermost one change its copy; a
// writer for another file (the open files written into a copy) holds its own.
class TKXProject::Report::Writer {
public:
    Writer(TKXProject &project, const std::string &file) : m_project(project)
    {
        if (g_held.project == &project && g_held.ini->path() == file) {
            m_ini = g_held.ini;
            return;
        }
        m_own.emplace(file);
        m_own->hold_writes();
        m_ini = &*m_own;
        if (!g_held.project) {
            g_held = {&project, m_ini};
            m_outermost = true;
        }
    }
    ~Writer()
    {
        if (!m_own)
            return;
        if (m_outermost)
            g_held = Held{nullptr, nullptr};
        if (!m_own->commit())
            m_project.note(GetResString(kMsgProjectNotSaved, m_own->path().c_str(),
                                        m_own->error().c_str()),
                           true);
    }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    IniFile &ini() { return *m_ini; }

private:
    TKXProject &m_project;
    std::optional<IniFile> m_own;
    IniFile *m_ini = nullptr;
    bool m_outermost = false;
};

void TKXProject::note(const std::string &line, bool error)
{
    if (std::find(m_report_lines.begin(), m_report_lines.end(), line) == m_report_lines.end())
        m_report_lines.push_back(line);
    m_report_error = m_report_error || error;
}

template <class Call>
bool TKXProject::with_target_link(Call call)
{
    try {
        call(target_operations());
        return true;
    } catch (xErr &e) {
        note(e.GetText(), true);
        return false;
    }
}

void TKXProject::refuse(const char *section, const char *key, const std::string &text,
                        const std::string &used, uint32_t reason_id)
{
    m_refused.push_back({section, key, used});
    note(GetResString(kMsgProjectValueRefused, m_file_name.c_str(), text.c_str(), key, section,
                      GetResString(reason_id).c_str(), used.c_str()),
         false);
}

void TKXProject::put(IniFile &ini, const char *section, const char *key, const std::string &text)
{
    const auto refused = std::find_if(m_refused.begin(), m_refused.end(), [&](const Refused &r) {
        return lower(r.section) == lower(section) && lower(r.key) == lower(key);
    });
    if (refused != m_refused.end()) {
        if (refused->used == text)
            return;  // unchanged since the load: the file keeps the user's text
        m_refused.erase(refused);
    }
    if (!ini.write_string(section, key, text))
        note(GetResString(kMsgProjectNotSaved, m_file_name.c_str(), ini.error().c_str()), true);
}

void TKXProject::put_flag(IniFile &ini, const char *section, const char *key, bool on)
{
    put(ini, section, key, on ? "1" : "0");
}

// ---- construction -------------------------------------------------------------------------------

ProjectCompilerChoices &project_compiler_choices() { return g_choices; }

int warning_level_of(char letter)
{
    switch (letter) {
    case 'A':
    case 'a':
        return 2;
    case 'S':
    case 's':
        return 1;
    default:
        return 0;
    }
}

TKXProject::TKXProject(std::string file_name) : m_file_name(std::move(file_name))
{
    (void)g_provider_installed;
    const std::size_t slash = m_file_name.find_last_of("/\\");
    if (slash != std::string::npos)
        m_directory = m_file_name.substr(0, slash + 1);
}

TKXProject::~TKXProject() = default;

bool TKXProject::IsFactoryProject() const
{
    return equal_ignoring_case(m_file_name, gFactoryProjectPath);
}

bool TKXProject::IsDefaultProject() const
{
    return equal_ignoring_case(m_file_name, gDefaultProjectPath);
}

std::string TKXProject::ProjectBaseName(const std::string &path)
{
    const std::size_t folder = path.find_last_of("/\\:");
    std::string name = folder == std::string::npos ? path : path.substr(folder + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

// ---- definitions --------------------------------------------------------------------------------

void TKXProject::CommitDefines() { m_committed = m_parsed; }

void TKXProject::AddDefine(std::string name, std::string value)
{
    for (std::size_t at = value.find("\\;"); at != std::string::npos; at = value.find("\\;", at))
        value.erase(at, 1);
    m_parsed[trimmed_define(name)] = trimmed_define(value);
}

// A scan of five states (and one after a backslash) up to the end of the text or a NUL byte:
//   between     blanks, line ends and ";" skipped; a name starts with "_" or a letter
//   name        letters, digits, "_"; ends at a blank (after-name), at ";", a line end or the end
//               (defined empty), at "=" (before-value). A line end ends the definition whether it
//               is CR LF or a lone LF, as texts of this host have them.
//   after-name  blanks skipped; a line end, ";" or the end defines it empty; "=" leads on
//   before-value  blanks and line ends skipped (the value may start on a later line); the end
//               defines the name empty; any other character starts the value
//   value       up to ";", a line end or the end; "\" takes the next character as it stands
// Anything else where a name is expected is an invalid name: from where the name started
// through the offending character (a character alone between definitions).
void TKXProject::ParseDefines(const std::string &text, std::string &invalid_name)
{
    enum class State { Between, Name, AfterName, BeforeValue, Value, Escaped };
    m_parsed.clear();
    invalid_name.clear();
    const std::size_t size = std::min(text.size(), text.find('\0'));
    State state = State::Between;
    std::size_t name_start = 0, name_end = 0, value_start = 0;
    const auto name = [&] { return text.substr(name_start, name_end - name_start); };
    const auto value_to = [&](std::size_t i) { return text.substr(value_start, i - value_start); };
    const auto invalid = [&](std::size_t from, std::size_t through) {
        invalid_name = text.substr(from, through - from + 1);
    };
    for (std::size_t i = 0; i <= size; ++i) {
        const bool end = i == size;
        const char c = end ? '\0' : text[i];
        switch (state) {
        case State::Between:
            if (end || blank(c) || line_end(c) || c == ';')
                break;
            if (!name_start_char(c))
                return invalid(i, i);
            name_start = i;
            state = State::Name;
            break;
        case State::Name:
            if (!end && name_char(c))
                break;
            name_end = i;
            if (end || c == ';' || line_end(c)) {
                AddDefine(name(), "");
                state = State::Between;
            } else if (blank(c)) {
                state = State::AfterName;
            } else if (c == '=') {
                state = State::BeforeValue;
            } else {
                return invalid(name_start, i);
            }
            break;
        case State::AfterName:
            if (!end && blank(c))
                break;
            if (end || line_end(c) || c == ';') {
                AddDefine(name(), "");
                state = State::Between;
            } else if (c == '=') {
                state = State::BeforeValue;
            } else {
                return invalid(name_start, i);
            }
            break;
        case State::BeforeValue:
            if (end) {
                AddDefine(name(), "");  // "NAME=" at the very end: defined, empty
            } else if (!blank(c) && !line_end(c)) {
                value_start = i;
                state = State::Value;
            }
            break;
        case State::Value:
            if (end || c == ';' || line_end(c)) {
                AddDefine(name(), value_to(i));
                state = State::Between;
            } else if (c == '\\') {
                state = State::Escaped;
            }
            break;
        case State::Escaped:
            if (end)
                AddDefine(name(), value_to(i));  // a lone "\" at the end stays in the value
            state = State::Value;
            break;
        }
    }
}

bool TKXProject::CheckDefines(const std::string &text)
{
    std::string invalid;
    ParseDefines(text, invalid);
    if (invalid.empty() || gStatusBoxShown)
        return true;
    const int answer =
        ShowAppMessageBox(GetResString(kMsgInvalidMacroName, invalid.c_str()),
                          GetResString(kMsgDefineErrorCaption), kMbYesNo | kMbIconError);
    return answer != kIdYes;
}

// The text is parsed here too: the parsed map may be older than the text (a dialog that closes
// without its defines page losing the focus), and the committed map must match the text.
void TKXProject::SetDefines(const std::string &text)
{
    Report report(*this);
    m_defines_text = text;
    std::string invalid;
    ParseDefines(text, invalid);
    CommitDefines();
    WriteDefines();
}

void TKXProject::ReadDefines()
{
    const IniFile ini(m_file_name);
    m_defines_text = defines_from_file(ini.read_string(kSectionDefines, "Defines", ""));
}

void TKXProject::WriteDefines()
{
    if (IsFactoryProject())
        return;
    Report report(*this);
    Report::Writer writer(*this, m_file_name);
    IniFile &ini = writer.ini();
    put(ini, kSectionDefines, "Defines", defines_to_file(m_defines_text));
}

// ---- "COMM" -------------------------------------------------------------------------------------

void TKXProject::ReadComm()
{
    const IniFile ini(m_file_name);
    const char *s = kSectionComm;
    TCOptionsType &r = gProjectCommDefaults;
    r.com_port = u32_of(ini, s, "port", 1);
    r.baud_rate = u32_of(ini, s, "bios baud", 115200);
    r.stop_bits = u32_of(ini, s, "stop bits", 2);
    r.link_kind = u32_of(ini, s, "use TCP", 0);
    const int64_t port = ini.read_integer(s, "TCP Port", 0);
    r.control_port = 0;
    if (port >= 0 && port <= 0xFFFF)
        r.control_port = static_cast<uint16_t>(port);
    else
        refuse(s, "TCP Port", ini.read_string(s, "TCP Port", ""), "0", kMsgTcpPortRange);
    r.serial_response_timeout = u32_of(ini, s, "Serial Response Timeout", 200);
    r.tcp_response_timeout = u32_of(ini, s, "Ethernet Response Timeout", 8000);
    r.serial_retry_count = u32_of(ini, s, "Serial Retry Count", 10);
    r.tcp_retry_count = u32_of(ini, s, "Ethernet Retry Count", 0);
    r.serial_poll_period = u32_of(ini, s, "Serial Poll Interval", 3000);
    r.tcp_poll_period = u32_of(ini, s, "Ethernet Poll Interval", 30000);
    r.verify_dsr = u32_of(ini, s, "Verify DSR", 1);
    r.pilot_bios_address = u32_of(ini, s, "Pilot Bios Physical Address", 0x4000);
    r.flash_erase_timeout = u32_of(ini, s, "Flash erase timeout", 10000);
    r.max_download_baud = u32_of(ini, s, "Max Negotiated Baud", 460800);
    r.disable_baud_negotiation = u32_of(ini, s, "Disable Baud Negotiation", 0);
    if (r.stop_bits != 2)
        r.stop_bits = 0;

    const std::string name = ini.read_string(s, "TCP Name", "");
    if (!set_comm_text(r.controller_name, name)) {
        (void)set_comm_text(r.controller_name, "");
        refuse(s, "TCP Name", name, "", kMsgTcpNameLength);
    }
    const std::string device = ini.read_string(s, "port device", "");
    if (!set_comm_text(r.serial_device, device)) {
        (void)set_comm_text(r.serial_device, "");
        refuse(s, "port device", device, "", kMsgPortDeviceLength);
    }
    const std::string address = ini.read_string(s, "Net Address", "");
    if (!set_comm_text(r.network_address, address)) {
        (void)set_comm_text(r.network_address, "");
        refuse(s, "Net Address", address, "", kMsgNetAddressLength);
    }

    gLoaderBaudRates = {u32_of(ini, s, "coldload baud", 2400), u32_of(ini, s, "pilot baud", 57600),
                        u32_of(ini, s, "bios baud", 115200)};
    const bool usb = flag_of(ini, s, "Use USB to Serial Converter", false);
    const uint32_t delay = u32_of(ini, s, "USB to Serial Delay", 2000);
    with_target_link([&](TargetOperations &t) { t.TcSetUsbSerialDelay(usb ? 1 : 0, delay); });
    IdePreferences().serial_port_list =
        ini.read_string(s, "port list", "COM1,COM2,COM3,COM4,COM5,COM6,COM7,COM8");
}

// The values come from the target link's current settings: what the Project Options dialog put
// there is what gets saved.
bool TKXProject::WriteComm()
{
    if (IsFactoryProject())
        return false;
    Report report(*this);
    TCOptionsType r;
    std::array<uint32_t, 3> rates{};
    uint8_t usb = 0;
    uint32_t delay = 0;
    if (!with_target_link([&](TargetOperations &t) {
            r = t.GetCommSettings();
            rates = t.GetLoaderBaudRates();
        }))
        return false;
    if (rates[2] == 0)
        return false;
    if (!with_target_link([&](TargetOperations &t) { t.TcGetUsbSerialDelay(usb, delay); }))
        return false;

    Report::Writer writer(*this, m_file_name);
    IniFile &ini = writer.ini();
    const char *s = kSectionComm;
    const auto number = [&](const char *key, uint32_t value) {
        put(ini, s, key, std::to_string(value));
    };
    number("port", r.com_port);
    put(ini, s, "port device", comm_text(r.serial_device));
    number("coldload baud", rates[0]);
    number("pilot baud", rates[1]);
    number("bios baud", rates[2]);
    number("Max Negotiated Baud", r.max_download_baud);
    number("stop bits", r.stop_bits);
    number("use TCP", r.link_kind);
    number("TCP Port", r.control_port);
    number("Serial Response Timeout", r.serial_response_timeout);
    number("Ethernet Response Timeout", r.tcp_response_timeout);
    number("Serial Retry Count", r.serial_retry_count);
    number("Ethernet Retry Count", r.tcp_retry_count);
    number("Serial Poll Interval", r.serial_poll_period);
    number("Ethernet Poll Interval", r.tcp_poll_period);
    number("Disable Baud Negotiation", r.disable_baud_negotiation);
    number("Verify DSR", r.verify_dsr);
    put_flag(ini, s, "Use USB to Serial Converter", usb != 0);
    number("USB to Serial Delay", delay);
    number("Flash erase timeout", r.flash_erase_timeout);
    put(ini, s, "TCP Name", comm_text(r.controller_name));
    put(ini, s, "Net Address", comm_text(r.network_address));
    put(ini, s, "Pilot Bios Physical Address", hex_text("0x%x", r.pilot_bios_address));
    put(ini, s, "port list", IdePreferences().serial_port_list);
    return true;
}

// ---- "Targetless Compile" -----------------------------------------------------------------------

bool ParseBoardParameters(const std::string &text, BoardParameters &record, std::string *bad_field)
{
    BoardParameters parsed = record;
    const char *p = text.c_str();
    const auto bad = [&](const char *field) {
        std::printf("RTI PARAMETERS ERROR: %s\n", field);
        if (bad_field)
            *bad_field = field;
        return false;
    };
    const int base = p[0] != '\0' && (p[1] == 'x' || p[1] == 'X') ? 16 : 10;
    const auto board = integer_at(p, base, 0, 0xFFFFFFFFLL);
    if (!board)
        return bad("boardType");
    parsed.boardType = static_cast<uint32_t>(*board);

    skip_separator(p);
    const auto cpu = integer_at(p, 10, INT32_MIN, INT32_MAX);
    if (!cpu)
        return bad("cpuId");
    long long revision = 0;
    if (*p != ':' && (*p == 'r' || *p == 'R')) {
        ++p;
        const char *digits = p;
        const auto read = integer_at(p, 10, INT32_MIN, INT32_MAX);
        if (!read && p != digits)
            return bad("cpuId");
        revision = read.value_or(0);
    }
    const long long cpu_id = revision + (*cpu / 1000) * 256 - 512;
    if (cpu_id < INT32_MIN || cpu_id > INT32_MAX)
        return bad("cpuId");
    parsed.cpuId = static_cast<int32_t>(cpu_id);

    skip_separator(p);
    const auto mhz = fraction_at(p);
    const double hz = mhz ? *mhz * 1000000.0 + 0.5 : -1;
    if (!mhz || *mhz < 0 || hz >= 4294967296.0)
        return bad("crystalSpeed");
    parsed.crystalSpeed = static_cast<uint32_t>(hz);

    skip_separator(p);
    const auto ram = integer_at(p, 10, INT32_MIN, INT32_MAX);
    if (!ram)
        return bad("ramSize");
    parsed.ramSize = static_cast<int32_t>(*ram);

    skip_separator(p);
    const auto flash = integer_at(p, 10, INT32_MIN, INT32_MAX);
    if (!flash)
        return bad("flashSize");
    parsed.flashSize = static_cast<int32_t>(*flash);

    record = parsed;
    return true;
}

// The keys go through the board-parameter string as the board files do. Each key's text is
// checked on its own first: one that the string cannot carry, or that would be written back as
// another value, takes the default board's value (the others keep what the file holds), and the
// user hears of it once, by the key's name. The string made of checked texts then parses.
void TKXProject::ReadTargetless()
{
    const IniFile ini(m_file_name);
    const char *s = kSectionTargetless;
    // An integer key: its value, the fallback when missing, nothing when its text is unusable.
    const auto integer = [&](const char *key, long long fallback, long long low,
                             long long high) -> std::optional<long long> {
        const std::optional<std::string> text = ini.read_string(s, key);
        if (!text || text->empty())
            return fallback;
        const std::optional<int64_t> value = parse_ini_integer(*text);
        if (!value || *value < low || *value > high)
            return std::nullopt;
        return *value;
    };
    const auto checked = [&](const char *key, long long fallback, long long low, long long high,
                             const char *used, bool (*fits)(long long)) {
        std::optional<long long> value = integer(key, fallback, low, high);
        if (value && fits && !fits(*value))
            value.reset();
        if (value)
            return *value;
        refuse(s, key, ini.read_string(s, key, ""), used, kMsgBoardValueRange);
        return fallback;
    };
    const long long board_id = checked("Board ID", 257, 0, 0xFFFFFFFFLL, "0x0101", nullptr);
    // A CPU ID is a model number: written back as (cpuId / 256) * 1000 + 2000, it must be a
    // multiple of 1000 from 2000 up, and the revision one byte, or the save would change them.
    const long long cpu = checked("CPU ID", 2000, 2000, INT32_MAX, "2000",
                                  [](long long v) { return v % 1000 == 0; });
    const long long revision = checked("CPU Revision", 0, 0, 255, "0", nullptr);
    std::string crystal = ini.read_string(s, "Crystal Speed MHz", "29.4912");
    {
        const char *p = crystal.c_str();
        const auto mhz = fraction_at(p);
        while (*p == ' ' || *p == '\t')
            ++p;
        if (!mhz || *mhz < 0 || *mhz * 1000000.0 + 0.5 >= 4294967296.0 || *p != '\0') {
            refuse(s, "Crystal Speed MHz", crystal, "29.4912", kMsgCrystalRange);
            crystal = "29.4912";
        }
    }
    const long long ram = checked("RAM Size KBytes", 128, INT32_MIN, INT32_MAX, "128", nullptr);
    const long long flash =
        checked("Flash Size KBytes", 256, INT32_MIN, INT32_MAX, "256", nullptr);

    BoardParameters board;
    board.description = ini.read_string(s, "Description", kDefaultBoardDescription);
    const std::string text = std::to_string(board_id) + ":" + std::to_string(cpu) + "r" +
                             std::to_string(revision) + ":" + crystal + ":" +
                             std::to_string(ram) + ":" + std::to_string(flash);
    const bool parsed = ParseBoardParameters(text, board);
    assert(parsed && "every field was checked before the string was made");
    (void)parsed;
    gBoardParameters = board;
}

void TKXProject::WriteTargetless()
{
    Report report(*this);
    Report::Writer writer(*this, m_file_name);
    IniFile &ini = writer.ini();
    const char *s = kSectionTargetless;
    const BoardParameters &b = gBoardParameters;
    put(ini, s, "Board ID", hex_text("0x%04x", b.boardType));
    put(ini, s, "CPU ID", std::to_string((b.cpuId / 256) * 1000 + 2000));
    put(ini, s, "CPU Revision", std::to_string(b.cpuId % 256));
    put(ini, s, "Crystal Speed MHz", megahertz_text(b.crystalSpeed));
    put(ini, s, "RAM Size KBytes", std::to_string(b.ramSize));
    put(ini, s, "Flash Size KBytes", std::to_string(b.flashSize));
    put(ini, s, "Description", b.description);
}

// ---- "Compiler Options" -------------------------------------------------------------------------

// A maximum is held in 16 bits and counts messages: a text that is no such count would be saved
// as another number, so it takes the default and the user is told.
void TKXProject::ReadMaxErrors()
{
    const IniFile ini(m_file_name);
    const char *s = kSectionCompilerOptions;
    const auto maximum = [&](const char *key) {
        const std::optional<std::string> text = ini.read_string(s, key);
        if (!text || text->empty())
            return 10;
        const std::optional<int64_t> value = parse_ini_integer(*text);
        if (value && *value >= 0 && *value <= INT16_MAX)
            return static_cast<int>(*value);
        refuse(s, key, *text, "10", kMsgMaximumRange);
        return 10;
    };
    set_max_errors_shown(maximum("Max Errors Shown"));
    set_max_warnings_shown(maximum("Max Warnings Shown"));
}

void TKXProject::WriteMaxErrors()
{
    Report report(*this);
    Report::Writer writer(*this, m_file_name);
    IniFile &ini = writer.ini();
    put(ini, kSectionCompilerOptions, "Max Errors Shown", std::to_string(max_errors_shown()));
    put(ini, kSectionCompilerOptions, "Max Warnings Shown", std::to_string(max_warnings_shown()));
}

void TKXProject::ReadCompilerOptions()
{
    const IniFile ini(m_file_name);
    const char *s = kSectionCompilerOptions;
    ProjectCompilerChoices &c = g_choices;
    c.rtc_indices = flag_of(ini, s, "RTC Indices", true);
    c.rtc_pointers = flag_of(ini, s, "RTC Pointers", true);
    c.optimize_size = flag_of(ini, s, "Optimize For Size", false);
    c.prototypes = flag_of(ini, s, "Prototypes", true);
    c.demotion = flag_of(ini, s, "Demotion", true);
    c.pointers = flag_of(ini, s, "Pointers", true);
    c.separate_id = flag_of(ini, s, "Separate Instruction and Data", false);
    c.list_files = flag_of(ini, s, "Generate List Files", false);
    c.inline_io = flag_of(ini, s, "Inline Internal IO Functions", true);
    // An empty value has no first character: the default letter then. Any other first letter
    // than these three means no warnings, as it always has; it is saved as "N", so the user
    // hears of it.
    const std::string letter = ini.read_string(s, "All Serious None", "A");
    c.warning_letter = letter.empty() ? 'A' : letter[0];
    if (!std::strchr("AaSsNn", c.warning_letter) || c.warning_letter == '\0')
        refuse(s, "All Serious None", letter, "N", kMsgWarningLetter);
    TIdePreferences &p = IdePreferences();
    p.compile_to_target = p.compile_targetless_to_bin = p.compile_to_bin_with_target = false;
    switch (ini.read_integer(s, "Default Compile Mode", 0)) {
    case 0: p.compile_to_target = true; break;
    case 1: p.compile_targetless_to_bin = true; break;
    case 2: p.compile_to_bin_with_target = true; break;
    default: break;
    }
}

void TKXProject::WriteCompilerOptions()
{
    if (IsFactoryProject())
        return;
    Report report(*this);
    Report::Writer writer(*this, m_file_name);
    uint16_t level = 0, rtc_indices = 0, rtc_pointers = 0, optimize_size = 0;
    TypeCheckOptions type_check;
    uint8_t separate_id = 0, list_files = 0, inline_io = 0;
    get_compiler_options(&level, &rtc_indices, &rtc_pointers, nullptr, &optimize_size, nullptr,
                         nullptr, nullptr, nullptr, nullptr, &type_check, nullptr, &separate_id,
                         &list_files, &inline_io);
    static constexpr char kLetters[] = {'N', 'S', 'A'};
    if (level < 3)
        g_choices.warning_letter = kLetters[level];
    const TIdePreferences &p = IdePreferences();
    {
        IniFile &ini = writer.ini();
        const char *s = kSectionCompilerOptions;
        put(ini, s, "All Serious None", std::string(1, g_choices.warning_letter));
        put_flag(ini, s, "RTC Indices", rtc_indices != 0);
        put_flag(ini, s, "RTC Pointers", rtc_pointers != 0);
        put_flag(ini, s, "Optimize For Size", optimize_size != 0);
        put_flag(ini, s, "Prototypes", type_check.prototypes != 0);
        put_flag(ini, s, "Demotion", type_check.demotion != 0);
        put_flag(ini, s, "Pointers", type_check.pointers != 0);
        put(ini, s, "Default Compile Mode",
            p.compile_to_target ? "0" : p.compile_targetless_to_bin ? "1" : "2");
        put_flag(ini, s, "Separate Instruction and Data", separate_id != 0);
        put_flag(ini, s, "Generate List Files", list_files != 0);
        put_flag(ini, s, "Inline Internal IO Functions", inline_io != 0);
    }
    WriteMaxErrors();
    WriteBiosMemoryMode();
    WriteRestrictWatch();
    WriteFiles();
}

void TKXProject::ReadBiosMemoryMode()
{
    const IniFile ini(m_file_name);
    IdePreferences().output_mode =
        static_cast<uint16_t>(ini.read_integer(kSectionCompilerOptions, "BIOS Memory Mode", 0));
}

void TKXProject::WriteBiosMemoryMode()
{
    Report report(*this);
    Report::Writer writer(*this, m_file_name);
    IniFile &ini = writer.ini();
    put(ini, kSectionCompilerOptions, "BIOS Memory Mode",
        std::to_string(IdePreferences().output_mode));
}

void TKXProject::ReadRestrictWatch()
{
    const IniFile ini(m_file_name);
    IdePreferences().restrict_watch_expressions =
        flag_of(ini, kSectionCompilerOptions, "Restrict Watch Expressions", false);
}

void TKXProject::WriteRestrictWatch()
{
    Report report(*this);
    Report::Writer writer(*this, m_file_name);
    IniFile &ini = writer.ini();
    put_flag(ini, kSectionCompilerOptions, "Restrict Watch Expressions",
             IdePreferences().restrict_watch_expressions);
}

// ---- "Debug Options" ----------------------------------------------------------------------------

void TKXProject::ReadDebugOptions()
{
    const IniFile ini(m_file_name);
    const char *s = kSectionDebugOptions;
    TIdePreferences &p = IdePreferences();
    const auto integer = [&](const char *key, int32_t fallback) {
        return static_cast<int32_t>(ini.read_integer(s, key, fallback));
    };
    p.enable_breakpoints = flag_of(ini, s, "Enable Breakpoints", true);
    p.asm_single_step = flag_of(ini, s, "Enable Instruction Level Single Step", true);
    p.enable_watch_expressions = flag_of(ini, s, "Enable Watch Expressions", true);
    p.max_breakpoints = integer("Max Breakpoints", 32);
    p.max_watches = integer("Max Watch Expressions", 8);
    p.watch_memory = integer("Watch Memory for Structs", 512);
    p.tracing = flag_of(ini, s, "Tracing", false);
    p.enable_tracing = flag_of(ini, s, "Enable Tracing", false);
    p.trace_buf_size = integer("Trace Buf Size", 8);
    p.enable_trace_buf_wrap = flag_of(ini, s, "Enable Trace Buf Wrap", false);
    p.trace_info_func = flag_of(ini, s, "Trace Info Func", true);
    p.trace_info_action = flag_of(ini, s, "Trace Info Action", true);
    p.trace_info_time = flag_of(ini, s, "Trace Info Time", true);
    p.trace_info_file = flag_of(ini, s, "Trace Info File", true);
    p.trace_info_line_col = flag_of(ini, s, "Trace Info Line/Col", true);
    p.trace_info_repeat = flag_of(ini, s, "Trace Info Repeat", false);
    p.trace_info_reg = flag_of(ini, s, "Trace Info Reg", true);
    p.enable_trace_rst = flag_of(ini, s, "Enable Trace RST", true);
    p.enable_trace_functions = flag_of(ini, s, "Enable Trace Functions", true);
    p.enable_trace_auto_save = flag_of(ini, s, "Enable Trace Auto Save", false);
    p.trace_auto_save_file = ini.read_string(s, "Trace Auto Save File", "");
}

// Written for the factory project too: the Project Options dialog changes these there.
void TKXProject::WriteDebugOptions()
{
    Report report(*this);
    Report::Writer writer(*this, m_file_name);
    IniFile &ini = writer.ini();
    const char *s = kSectionDebugOptions;
    const TIdePreferences &p = IdePreferences();
    put_flag(ini, s, "Enable Breakpoints", p.enable_breakpoints);
    put_flag(ini, s, "Enable Instruction Level Single Step", p.asm_single_step);
    put_flag(ini, s, "Enable Watch Expressions", p.enable_watch_expressions);
    put(ini, s, "Max Breakpoints", std::to_string(p.max_breakpoints));
    put(ini, s, "Max Watch Expressions", std::to_string(p.max_watches));
}

// ---- one-key sections ---------------------------------------------------------------------------

// A one-key section's flag, never written into the factory project.
void TKXProject::write_switch(const char *section, const char *key, bool on)
{
    if (IsFactoryProject())
        return;
    Report report(*this);
    Report::Writer writer(*this, m_file_name);
    IniFile &ini = writer.ini();
    put_flag(ini, section, key, on);
}

void TKXProject::ReadIncludeRST()
{
    IdePreferences().include_rst28 = flag_of(IniFile(m_file_name), kSectionIncludeRst,
                                             "Include RST", true);
}

void TKXProject::WriteIncludeRST()
{
    write_switch(kSectionIncludeRst, "Include RST", IdePreferences().include_rst28);
}

void TKXProject::ReadIncludeBIOS()
{
    IdePreferences().include_bios = flag_of(IniFile(m_file_name), kSectionIncludeBios,
                                            "Include BIOS", true);
}

void TKXProject::WriteIncludeBIOS()
{
    write_switch(kSectionIncludeBios, "Include BIOS", IdePreferences().include_bios);
}

void TKXProject::ReadPollTarget()
{
    gPollEnabled = flag_of(IniFile(m_file_name), kSectionPollTarget, "Poll target while running",
                           true);
}

void TKXProject::WritePollTarget()
{
    write_switch(kSectionPollTarget, "Poll target while running", gPollEnabled);
}

// ---- "Korvex Files" and "Compression Utility" --------------------------------------------------

void TKXProject::ReadFiles()
{
    const IniFile ini(m_file_name);
    const char *s = kSectionKorvexFiles;
    TIdePreferences &p = IdePreferences();
    p.default_source_file = ini.read_string(s, "Default Source File", "");
    p.use_default_source_file = flag_of(ini, s, "Use Default Source File", false);
    p.lib_file_name = ini.read_string(s, "LIB File", "");
    p.use_lib_file = flag_of(ini, s, "Use Lib File", false);
    m_lib_file = resolved(p.lib_file_name);
    p.bios_file_name = ini.read_string(s, "BIOS File", "");
    p.use_bios_file = flag_of(ini, s, "Use BIOS File", false);
    m_bios_file = resolved(p.bios_file_name);
    // The loader images stay named as below the program directory (the load resolves them
    // there), so that neither the project nor the settings keep the program's folder of one
    // run: a path into that folder is taken back to its name below it, and a stored path that
    // names no file any more (the program moved) gives the default.
    const auto image = [&](const char *key, const char *fallback) {
        const std::string value = ini.read_string(s, key, "");
        const std::string path = normalize_separators(value);
        std::string folder = normalize_separators(program_directory());
        if (!folder.empty() && folder.back() != '/')
            folder += '/';
        if (folder.size() > 1 && path.rfind(folder, 0) == 0)
            return path.substr(folder.size());
        if (value.empty() || (fs::path(path).is_absolute() && !is_file(path)))
            return std::string(fallback);
        return value;
    };
    p.cold_loader_file = image("Cold Loader File", "bios\\coldload.bin");
    p.pilot_bios_file = image("Pilot BIOS File", "bios\\pilot.bin");
}

void TKXProject::WriteFiles()
{
    Report report(*this);
    Report::Writer writer(*this, m_file_name);
    IniFile &ini = writer.ini();
    const char *s = kSectionKorvexFiles;
    const TIdePreferences &p = IdePreferences();
    put(ini, s, "LIB File", p.lib_file_name);
    put(ini, s, "BIOS File", p.bios_file_name);
    put(ini, s, "Default Source File", p.default_source_file);
    put_flag(ini, s, "Use Lib File", p.use_lib_file);
    put_flag(ini, s, "Use BIOS File", p.use_bios_file);
    put_flag(ini, s, "Use Default Source File", p.use_default_source_file);
    put(ini, s, "Cold Loader File", p.cold_loader_file);
    put(ini, s, "Pilot BIOS File", p.pilot_bios_file);
}

void TKXProject::ReadCompression()
{
    gZimportUtility = IniFile(m_file_name).read_string(kSectionCompression,
                                                       "Zimport External Utility",
                                                       kDefaultZimportUtility);
}

void TKXProject::WriteCompression()
{
    Report report(*this);
    Report::Writer writer(*this, m_file_name);
    IniFile &ini = writer.ini();
    put(ini, kSectionCompression, "Zimport External Utility", gZimportUtility);
}

// ---- "MRU Files" and "Open Files" ---------------------------------------------------------------

namespace {

class WindowlessProjectWindow : public TProjectWindowHost {
public:
    std::vector<sEditInfo> OpenEditors() override { return {}; }
    void OpenFileFromEditInfo(const sEditInfo &) override {}
};

TProjectWindowHost *g_project_window_host = nullptr;

// The keys of one numbered section, in the order the readers take them.
struct EntryKeys {
    std::string section;
    explicit EntryKeys(const char *prefix, int k) : section(numbered_section(prefix, k)) {}
    std::string operator()(const char *name) const { return section + " " + name; }
};

int32_t int_of(const IniFile &ini, const EntryKeys &keys, const char *name)
{
    return static_cast<int32_t>(ini.read_integer(keys.section, keys(name), 0));
}

// One remembered editor of a numbered section, or nothing when the group ends (no path) or the
// file is gone. The two key names of the top line and the left column differ between the
// recently-used and the open-file groups.
enum class EntryRead { End, Skip, Read };

EntryRead read_edit_entry(const IniFile &ini, const EntryKeys &keys, const char *top_line_key,
                          const char *left_column_key, sEditInfo &info)
{
    info.path = ini.read_string(keys.section, keys("Path"), "");
    if (info.path.empty())
        return EntryRead::End;
    if (!is_file(normalize_separators(info.path)))
        return EntryRead::Skip;
    info.left = int_of(ini, keys, "X");
    info.top = int_of(ini, keys, "Y");
    info.width = int_of(ini, keys, "W");
    info.height = int_of(ini, keys, "H");
    info.top_line = int_of(ini, keys, top_line_key);
    if (left_column_key)
        info.left_column = int_of(ini, keys, left_column_key);
    info.window_state = int_of(ini, keys, "WindowState");
    info.caret_line = int_of(ini, keys, "Cursor Row");
    info.caret_column = int_of(ini, keys, "Cursor Col");
    return EntryRead::Read;
}

} // namespace

void set_project_window_host(TProjectWindowHost *host) { g_project_window_host = host; }

TProjectWindowHost &project_window_host()
{
    static WindowlessProjectWindow windowless;
    return g_project_window_host ? *g_project_window_host : windowless;
}

// "%2d" gives a blank and the digit below 10 and the whole number from 10 on.
std::string numbered_section(const char *prefix, int k)
{
    char number[16];
    std::snprintf(number, sizeof number, "%2d", k);
    return std::string(prefix) + number;
}

// A count larger than the entries present costs nothing: the first missing path ends the group.
void TKXProject::ReadMruOpenFiles()
{
    const IniFile ini(m_file_name);
    const int64_t count = ini.read_integer(kSectionMruFiles, "FileCount", 0);
    const int64_t limit = std::min<int64_t>(count, IdePreferences().mru_file_limit);
    MruClear();
    for (int64_t k = limit; k >= 1; --k) {
        const EntryKeys keys("MRU", static_cast<int>(k));
        sEditInfo info;
        const EntryRead got = read_edit_entry(ini, keys, "Top Row", nullptr, info);
        if (got == EntryRead::End)
            break;
        if (got == EntryRead::Read)
            MruAddEntry(std::move(info));
    }
    const int64_t open = ini.read_integer(kSectionOpenFiles, "Number Open", 0);
    for (int64_t k = std::min<int64_t>(open, INT32_MAX); k >= 1; --k) {
        const EntryKeys keys("OpenFile", static_cast<int>(k));
        sEditInfo info;
        // These two keys of an open file hold the top line in "Top Col" and the left column in
        // "Top Row"; the writer pairs them the same way.
        const EntryRead got = read_edit_entry(ini, keys, "Top Col", "Top Row", info);
        if (got == EntryRead::End)
            break;
        if (got == EntryRead::Read)
            project_window_host().OpenFileFromEditInfo(info);
    }
}

void TKXProject::WriteMru()
{
    Report report(*this);
    Report::Writer writer(*this, m_file_name);
    {
        IniFile &ini = writer.ini();
        const int16_t count = MruCount();
        put(ini, kSectionMruFiles, "FileCount", std::to_string(count));
        for (int i = 0; i < count; ++i) {
            const std::optional<sEditInfo> info = MruGetEntry(i, false);
            if (!info)
                break;
            const EntryKeys keys("MRU", i + 1);
            const auto number = [&](const char *name, int32_t value) {
                put(ini, keys.section.c_str(), keys(name).c_str(), std::to_string(value));
            };
            put(ini, keys.section.c_str(), keys("Path").c_str(), info->path);
            number("X", info->left);
            number("Y", info->top);
            number("W", info->width);
            number("H", info->height);
            number("Top Row", info->top_line);
            number("WindowState", info->window_state);
            number("Cursor Row", info->caret_line);
            number("Cursor Col", info->caret_column);
        }
    }
    int counter = 0;
    for (const sEditInfo &editor : project_window_host().OpenEditors())
        WriteOpenFile(editor, m_file_name, counter);
    put(writer.ini(), kSectionOpenFiles, "Number Open", std::to_string(counter));
}

void TKXProject::WriteOpenFile(const sEditInfo &editor, const std::string &file_name,
                               int &counter)
{
    Report report(*this);
    Report::Writer writer(*this, file_name);
    IniFile &ini = writer.ini();
    const EntryKeys keys("OpenFile", ++counter);
    const auto number = [&](const char *name, int32_t value) {
        put(ini, keys.section.c_str(), keys(name).c_str(), std::to_string(value));
    };
    put(ini, keys.section.c_str(), keys("Path").c_str(), editor.path);
    number("X", editor.left);
    number("Y", editor.top);
    number("W", editor.width);
    number("H", editor.height);
    number("Top Row", editor.left_column);
    number("Top Col", editor.top_line);
    number("WindowState", editor.window_state);
    number("Cursor Row", editor.caret_line);
    number("Cursor Col", editor.caret_column);
}

// ---- the file as a whole ----------------------------------------------------------------------

// Built whole in memory and written at once: a failure leaves no half-written project.
void TKXProject::WriteWholeFile()
{
    Report report(*this);
    std::string header;
    for (const char *line : kHeaderLines)
        header += std::string(line) + "\r\n";
    header += std::string(64, '-') + "\r\n\r\n";
    IniFile ini;
    ini.load_text(header);
    for (const DefaultKey &k : kDefaultKeys) {
        const std::string value = k.value ? k.value : std::to_string(IdePreferences().port);
        const bool written = ini.write_string(k.section, k.key, value);
        assert(written && "the default keys are plain names and values");
        (void)written;
    }
    std::string reason;
    if (!replace_file_contents(m_file_name, ini.text(), reason))
        note(GetResString(kMsgProjectNotSaved, m_file_name.c_str(), reason.c_str()), true);
}

void TKXProject::ask_to_clear_read_only()
{
    const bool box_up = gStatusBoxShown;
    if (box_up)
        gDialogControl.CloseStatusBox();
    const int answer = ShowAppMessageBox(GetResString(kMsgProjectReadOnly, m_file_name.c_str()),
                                         GetResString(kMsgProjectReadOnlyCaption),
                                         kMbYesNo | kMbIconExclamation);
    if (answer == kIdYes && !clear_read_only(m_file_name))
        note(GetResString(kMsgProjectNotSaved, m_file_name.c_str(), "The file is read-only."),
             true);
    if (box_up)
        gDialogControl.ShowStatusBox(false, "", "");
}

bool TKXProject::CheckWritable()
{
    if (!is_file(m_file_name))
        return false;
    Report report(*this);
    m_refused.clear();
    if (!IsFactoryProject() && file_is_read_only(m_file_name))
        ask_to_clear_read_only();
    ReadTargetless();
    ReadComm();
    ReadMaxErrors();
    ReadCompilerOptions();
    ReadDebugOptions();
    ReadBiosMemoryMode();
    ReadIncludeBIOS();
    ReadPollTarget();
    ReadRestrictWatch();
    ReadFiles();
    ReadCompression();
    ReadMruOpenFiles();
    ReadIncludeRST();
    ReadDefines();
    if (CheckDefines(m_defines_text))
        CommitDefines();
    return ApplyProjectSettings();
}

bool TKXProject::Update()
{
    Report report(*this);
    WriteWholeFile();
    return CheckWritable();
}

void TKXProject::SaveAs(const std::string &file_name)
{
    // Another file does not hold the texts the load refused: it gets the values in use.
    if (file_name != m_file_name)
        m_refused.clear();
    m_file_name = file_name;
    if (IsFactoryProject())
        return;
    Report report(*this);
    Report::Writer writer(*this, m_file_name);
    // A "COMM" section that cannot be written is skipped; the other sections are still saved.
    (void)WriteComm();
    WriteCompilerOptions();
    WriteIncludeBIOS();
    WriteMru();
    WriteIncludeRST();
    WriteDebugOptions();
    WritePollTarget();
    WriteCompression();
    WriteDefines();
    WriteTargetless();
}

void TKXProject::Save() { SaveAs(m_file_name); }

bool TKXProject::ApplyProjectSettings()
{
    Report report(*this);
    TIdePreferences &p = IdePreferences();

    // Communications: the record and the loader rates to the target link, texts to the settings.
    const TCOptionsType &r = gProjectCommDefaults;
    with_target_link([&](TargetOperations &t) {
        t.SetCommSettings(r);
        t.SetLoaderBaudRates(gLoaderBaudRates);
    });
    p.use_tcpip = r.link_kind != 0;
    p.verify_dsr = r.verify_dsr != 0;
    p.network_address = comm_text(r.network_address);
    p.tcp_name = comm_text(r.controller_name);
    p.tcp_port = std::to_string(r.control_port);
    p.serial_port = serial_port_text(r);
    p.bios_baud_rate = std::to_string(r.baud_rate);
    p.stop_bits = std::to_string(r.stop_bits);
    p.disable_baud_negotiation = r.disable_baud_negotiation != 0;
    p.max_baud_rate = std::to_string(r.max_download_baud);
    p.serial_timeout = std::to_string(r.serial_response_timeout);
    p.network_timeout = std::to_string(r.tcp_response_timeout);
    p.serial_poll_interval = std::to_string(r.serial_poll_period);
    p.network_poll_interval = std::to_string(r.tcp_poll_period);
    p.serial_retries = std::to_string(r.serial_retry_count);
    p.network_retries = std::to_string(r.tcp_retry_count);
    p.comm_text_1 = std::to_string(r.dtr_control);
    p.comm_text_2 = std::to_string(r.rts_control);

    // The compiler: options (the values the project does not own keep the compiler's), then
    // the libraries list and the BIOS file, never cut.
    const ProjectCompilerChoices &c = g_choices;
    const int level = warning_level_of(c.warning_letter);
    p.warn_all = level == 2;
    p.warn_serious = level == 1;
    p.warn_none = level == 0;
    p.rtc_indices = c.rtc_indices;
    p.rtc_pointers = c.rtc_pointers;
    p.optimize_size = c.optimize_size;
    p.function_prototypes = c.prototypes;
    p.type_demotion = c.demotion;
    p.pointer_checks = c.pointers;
    const CompilerOptions now = compiler_options();
    const TypeCheckOptions type_check{uint16_t(c.prototypes), uint16_t(c.pointers),
                                      uint16_t(c.demotion)};
    set_compiler_options(static_cast<uint16_t>(level), c.rtc_indices, c.rtc_pointers, now.option4,
                         c.optimize_size, now.lit, now.mac, now.sym, 0, &now.hex_output,
                         &type_check, c.separate_id, c.list_files, c.inline_io);
    set_libraries_file(libraries_file_in_use(p));
    set_bios_file(bios_file_in_use(p));
    if (p.enable_tracing)
        with_target_link([](TargetOperations &t) { t.SetTraceOptions(); });
    return true;
}

// ---- paths ------------------------------------------------------------------------------------

std::string program_directory_path(const std::string &relative)
{
    return joined(program_directory(), relative);
}

std::string libraries_file_in_use(const TIdePreferences &prefs)
{
    return prefs.use_lib_file && !prefs.lib_file_name.empty()
               ? resolved(prefs.lib_file_name)
               : joined(program_directory(), prefs.lib_dir_file);
}

std::string bios_file_in_use(const TIdePreferences &prefs)
{
    return prefs.use_bios_file && !prefs.bios_file_name.empty()
               ? resolved(prefs.bios_file_name)
               : joined(program_directory(), "bios/" + prefs.default_bios);
}

// ---- start-up ---------------------------------------------------------------------------------

std::string project_folder() { return fs::path(default_registry_path()).parent_path().string(); }

void SetProjectPaths()
{
    const TIdePreferences &p = IdePreferences();
    const auto in_folder = [](const std::string &name) {
        return fs::path(name).is_absolute() ? name : joined(project_folder(), name);
    };
    gFactoryProjectPath = in_folder(p.factory_project);
    gDefaultProjectPath = in_folder(p.default_project);
}

void LoadStartUpProject(const std::string &command_line_project)
{
    SetProjectPaths();
    std::error_code ec;
    fs::create_directories(project_folder(), ec);
    // Only a missing file is made: whatever else stands at the name (a folder, a FIFO) stays.
    for (const std::string &path : {gFactoryProjectPath, gDefaultProjectPath}) {
        if (!fs::exists(fs::symlink_status(path, ec)))
            (void)TKXProject(path).Update();
    }
    TIdePreferences &p = IdePreferences();
    std::string chosen = gDefaultProjectPath;
    if (!command_line_project.empty())
        chosen = command_line_project;
    else if (is_file(p.project))
        chosen = p.project;
    // A project that is there but cannot be read would load as nothing but defaults and be
    // saved over at the end; one that is no ordinary file (a FIFO, a device, a folder) is never
    // opened. The user hears of it once and gets the default project.
    if (chosen != gDefaultProjectPath && fs::exists(chosen, ec)) {
        std::string why;
        if (!is_regular_file_path(chosen))
            why = fs::is_directory(chosen, ec) ? "it is a folder, not a file"
                                               : "it is not an ordinary file";
        else if (!std::ifstream(chosen))
            why = std::strerror(errno);
        if (!why.empty()) {
            ShowAppMessageBox("The project file " + chosen + " cannot be read (" + why +
                                  "). The default project is opened.",
                              GetResString(kMsgErrorCaption), kMbOk | kMbIconError);
            chosen = gDefaultProjectPath;
        }
    }
    p.project = chosen;
    gProject = std::make_unique<TKXProject>(chosen);
    if (gProject->CheckWritable())
        return;
    gProject = std::make_unique<TKXProject>(gDefaultProjectPath);
    p.project = gDefaultProjectPath;
    (void)gProject->CheckWritable();
}

void reset_projects()
{
    gProject.reset();
    gFactoryProjectPath.clear();
    gDefaultProjectPath.clear();
    gProjectCommDefaults = TCOptionsType{};
    gLoaderBaudRates = {2400, 57600, 115200};
    gPollEnabled = true;
    g_choices = ProjectCompilerChoices{};
    MruClear();
}
