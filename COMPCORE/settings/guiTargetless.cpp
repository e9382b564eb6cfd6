// guiTargetless: the Targetless page's state and handlers, its checks and messages, and RTI
// board files. The Qt page mirrors the state; the dialog runs Startup from its show and
// FillBoardParameters and SaveTargetlessLists from its OK.
#include "guiTargetless.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <system_error>
#include <utility>

#include "FileReplace.h"
#include "IniFile.h"
#include "RegularFile.h"
#include "core/guiInterface.h"
#include "guiKXPreferences.h"
#include "guiProjects.h"

namespace {

// The section of a board file.
constexpr const char *kRtiSection = "Parameters";
// The CPU combo boxes' family bits of a revision ID.
constexpr int64_t kCpuFamilyMask = 0x1F00;
// A description fits the record's 256-byte field with its terminating zero.
constexpr std::size_t kMaxDescription = 255;
// Board files larger than this are no board files.
constexpr std::size_t kMaxRtiFileBytes = 1u << 20;

constexpr const char *kRtiSaveFilter = "RTI Files|*.RTI|Text Files|*.txt|Any File|*.*|";
constexpr const char *kRtiOpenFilter = "RTI  (*.rti)|*.rti|Text (*.txt)|*.txt|All (*.*)|*.*|";

std::string trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return std::string(s);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// "%.4f" of a frequency, with the locale's separator.
std::string four_decimals(double mhz, char decimal_separator)
{
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, mhz, std::chars_format::fixed, 4);
    std::string out(text, result.ptr);
    for (char &c : out)
        if (c == '.')
            c = decimal_separator;
    return out;
}

// At most `limit` bytes, never ending inside a UTF-8 sequence.
std::string cut_text(const std::string &text, std::size_t limit)
{
    if (text.size() <= limit)
        return text;
    std::size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return text.substr(0, n);
}

std::string folder_of(const std::string &path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Lines as a string list saves them: each ended by CR LF.
std::string memo_file_text(const std::string &memo)
{
    std::string out;
    std::size_t start = 0;
    while (start < memo.size()) {
        std::size_t end = memo.find('\n', start);
        if (end == std::string::npos)
            end = memo.size();
        out.append(memo, start, end - start);
        out += "\r\n";
        start = end + 1;
    }
    return out;
}

// CR LF and lone CR become LF.
std::string memo_text(const std::string &bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r') {
            out += bytes[i];
            continue;
        }
        out += '\n';
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
    }
    return out;
}

// Text files hold no control bytes but tab, line ends, form feed and end-of-file.
bool looks_like_text(const std::string &bytes)
{
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1A)
            return false;
    }
    return true;
}

// A board file: an ordinary file no larger than any board file is (a FIFO would hold the
// dialog, a device would be read without end).
RegularFileStatus read_board_file(const std::string &path, std::string &bytes)
{
    return read_regular_text(path, kMaxRtiFileBytes, bytes);
}

PageMessage cpu_missing() { return {"Choose the board's CPU.", "CPU Error", kMbOk}; }

PageMessage unknown_cpu(std::string_view ident)
{
    return {"The CPU \"" + std::string(ident) + "\" is not one of the CPU revisions.",
            "CPU Error", kMbOk};
}

} // namespace

// ---- support operations ------------------------------------------------------------------------

std::string FormatHexId(int width, int64_t value)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*X", width < 0 ? 0 : width,
                  static_cast<unsigned>(static_cast<uint32_t>(value)));
    return text;
}

std::string FormatIdText(std::string_view text, int width)
{
    const std::optional<int64_t> value = parse_id(text);
    return value ? FormatHexId(width, *value) : std::string();
}

std::optional<int64_t> parse_id(std::string_view text) { return parse_ini_integer(text); }

// number = [ "+" | "-" ] digits [ sep digits ] [ ( "e" | "E" ) [ "+" | "-" ] digits ]
// (at least one digit before the exponent)
std::optional<double> text_to_float(std::string_view text, char decimal_separator)
{
    const std::string t = trimmed(text);
    std::string number;
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        number += t[i++] == '-' ? "-" : "";
    int digits = 0;
    for (; i < t.size() && is_digit(t[i]); ++i, ++digits)
        number += t[i];
    if (i < t.size() && t[i] == decimal_separator) {
        number += '.';
        for (++i; i < t.size() && is_digit(t[i]); ++i, ++digits)
            number += t[i];
    }
    if (digits == 0)
        return std::nullopt;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        number += 'e';
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            number += t[i++];
        int exponent_digits = 0;
        for (; i < t.size() && is_digit(t[i]); ++i, ++exponent_digits)
            number += t[i];
        if (exponent_digits == 0)
            return std::nullopt;
    }
    if (i != t.size())
        return std::nullopt;
    double value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec != std::errc() || result.ptr != number.data() + number.size())
        return std::nullopt;
    return value;
}

std::optional<double> ParseFrequency(std::string &text, char decimal_separator)
{
    if (std::optional<double> value = text_to_float(text, decimal_separator))
        return value;
    std::string second = text;
    std::size_t i = 0;
    while (i < second.size() && is_digit(second[i]))
        ++i;
    if (i == second.size())
        return std::nullopt;
    second[i] = decimal_separator;
    std::optional<double> value = text_to_float(second, decimal_separator);
    if (value)
        text = std::move(second);
    return value;
}

std::optional<uint32_t> frequency_hz(double mhz)
{
    const double hz = mhz * 1000000.0 + 0.5;
    if (!(hz >= 1.0 && hz < 4294967296.0))
        return std::nullopt;
    return static_cast<uint32_t>(hz);
}

std::optional<int32_t> parse_size(std::string_view text)
{
    const std::optional<int64_t> value = parse_id(text);
    if (!value || *value < 0 || *value > INT32_MAX)
        return std::nullopt;
    return static_cast<int32_t>(*value);
}

// ---- messages ----------------------------------------------------------------------------------

PageMessage crystal_speed_error(char decimal_separator)
{
    return {std::string("Enter crystal speed in MHz, 29") + decimal_separator + "4912 etc.",
            "Crystal Speed Error", kMbOk};
}

PageMessage ram_size_error() { return {"Enter RAM size in KBytes, 128 etc.", "RAM Size Error", kMbOk}; }

PageMessage flash_size_error()
{
    return {"Enter Flash size in KBytes, 128 etc.", "Flash Size Error", kMbOk};
}

PageMessage not_valid_entry(std::string_view field)
{
    return {"Not a valid entry", std::string(field) + " Error", kMbOk};
}

std::optional<PageMessage> board_id_refusal(std::string_view id)
{
    const std::optional<int64_t> value = parse_id(id);
    if (value && *value >= 0 && *value <= kLastBoardId)
        return std::nullopt;
    return PageMessage{"Enter a numeric code, user defined ID codes are in the format 0xFFnn",
                       "Board ID Code", kMbOk};
}

std::optional<PageMessage> board_id_question(int64_t value, std::string_view id)
{
    if (value >= kFirstUserBoardId && value <= kLastBoardId)
        return std::nullopt;
    return PageMessage{"User defined ID Codes are in the format 0xFFnn\nUse this anyway?",
                       "Board ID: " + FormatIdText(id, 4), kMbYesNo};
}

PageMessage board_id_taken(std::string_view row_text, std::string_view id)
{
    return {std::string(row_text) + " already has this board ID",
            "Board ID: " + FormatIdText(id, 4), kMbOk};
}

std::optional<PageMessage> board_description_refusal(std::string_view description,
                                                     std::string_view id)
{
    if (!description.empty())
        return std::nullopt;
    return PageMessage{"Enter a board description", "Board ID: " + FormatIdText(id, 4), kMbOk};
}

// ---- RTI board files ---------------------------------------------------------------------------

std::string rti_value(std::string_view text, std::string_view key)
{
    const std::string wanted = trimmed(key);
    if (wanted.empty())
        return {};
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(start, end - start);
        const std::size_t eq = line.find('=');
        if (eq != std::string_view::npos && same_line_name(trimmed(line.substr(0, eq)), wanted))
            return trimmed(line.substr(eq + 1));
        start = end + 1;
    }
    return {};
}

bool write_rti_file(const std::string &path, const TRtiFields &fields, const RtiBoard &board,
                    std::string &reason)
{
    IniFile ini;
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        std::string bytes;
        if (read_board_file(path, bytes) != RegularFileStatus::Read) {
            reason = "The file cannot be read.";
            return false;
        }
        ini.load_text(bytes);
    }
    const std::pair<const char *, const std::string &> keys[] = {
        {"BI", board.board_id}, {"BN", board.board_name}, {"CN", board.cpu_name},
        {"CI", board.cpu_id},   {"CV", board.cpu_revision}, {"CS", board.crystal},
        {"RS", board.ram},      {"FS", board.flash},
    };
    for (const auto &[code, value] : keys) {
        const std::string key = fields.key(code);
        if (key.empty()) {
            reason = std::string("The board file field \"") + code + "\" has no key name.";
            return false;
        }
        if (!ini.write_string(kRtiSection, key, value)) {
            reason = ini.error();
            return false;
        }
    }
    return replace_file_contents(path, ini.text(), reason);
}

// ---- the combo lists ---------------------------------------------------------------------------

int TComboList::find(std::string_view value) const
{
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i] == value)
            return static_cast<int>(i);
    return -1;
}

void TComboList::select_text(std::string_view value)
{
    index = find(value);
    text = index >= 0 ? items[static_cast<std::size_t>(index)] : std::string();
}

// ---- the page: start-up ------------------------------------------------------------------------

TTargetlessModel::TTargetlessModel(char decimal_separator, std::string base_path)
    : m_sep(decimal_separator), m_base_path(std::move(base_path))
{
}

TTargetlessModel::~TTargetlessModel() = default;

TTargetlessStore &TTargetlessModel::store()
{
    if (!m_store)
        m_store = std::make_unique<TTargetlessStore>(m_base_path);
    return *m_store;
}

int TTargetlessModel::show(const PageMessage &message) const
{
    return ShowAppMessageBox(message.text, message.caption, message.flags);
}

std::vector<std::string> TTargetlessModel::read_list(const char *name, const char *fallback)
{
    const std::string text = ReadTargetlessValue(store(), "", name);
    std::optional<TStringList> list = TStringList::from_comma_text(text);
    if (text.empty() || !list)
        list = TStringList::from_comma_text(fallback);
    return list ? list->lines : std::vector<std::string>();
}

void TTargetlessModel::Startup(const BoardParameters &board)
{
    m_store = std::make_unique<TTargetlessStore>(m_base_path);
    TTargetlessStore &s = *m_store;
    seed_targetless_store(s, m_sep);

    m_ram_size = TComboList{read_list(kRamSizesValue, kDefaultRamSizes), -1, {}};
    m_flash_size = TComboList{read_list(kFlashSizesValue, kDefaultFlashSizes), -1, {}};
    const std::optional<TStringList> fields =
        TStringList::from_comma_text(ReadTargetlessValue(s, "", kRtiFieldsValue));
    m_rti_fields = fields && !fields->empty() ? TRtiFields(*fields) : TRtiFields();
    m_base_freq = TComboList{
        read_list(kCrystalSpeedsValue, default_crystal_speeds(m_sep).c_str()), -1, {}};
    // Each entry in the form of the current separator (the list may come from another locale).
    for (std::string &entry : m_base_freq.items)
        (void)ParseFrequency(entry, m_sep);

    m_rows.clear();
    m_id_to_row.clear();
    std::vector<std::string> names;
    ListTargetlessValueNames(s, kBoardsSubKey, names);
    for (const std::string &name : names) {
        std::optional<TStringList> record =
            TStringList::from_comma_text(ReadTargetlessValue(s, kBoardsSubKey, name));
        if (record && !record->empty())
            add_row(std::move(*record));
    }
    for (TBoardRow &row : m_rows) {
        if (row.record.index_of_name(kBoardCrystal) < 0)
            continue;
        std::string crystal = row.record.value(kBoardCrystal);
        const std::string before = crystal;
        if (ParseFrequency(crystal, m_sep) && crystal != before)
            row.record.set_value(kBoardCrystal, crystal);
    }

    m_cpus.clear();
    ListTargetlessValueNames(s, kCpusSubKey, names);
    for (const std::string &name : names) {
        std::optional<TStringList> record =
            TStringList::from_comma_text(ReadTargetlessValue(s, kCpusSubKey, name));
        if (record && !record->empty())
            m_cpus.push_back({record->value(kCpuName), std::move(*record)});
    }
    m_cpu_index = -1;

    m_selected = -1;
    for (std::size_t i = 0; i < m_rows.size() && m_selected < 0; ++i)
        if (parse_id(m_rows[i].record.value(kBoardId)) == static_cast<int64_t>(board.boardType))
            m_selected = static_cast<int>(i);
    if (m_selected < 0 && !m_rows.empty())
        m_selected = 0;
    lbBoardTypeChange();
    if (m_selected >= 0)
        m_lbl_id = m_rows[static_cast<std::size_t>(m_selected)].record.value(kBoardId);
}

void TTargetlessModel::add_row(TStringList record)
{
    const int index = static_cast<int>(m_rows.size());
    if (const std::optional<int64_t> id = parse_id(record.value(kBoardId)))
        m_id_to_row.emplace(*id, index);
    std::string text = record.value(kBoardName);
    m_rows.push_back({std::move(text), std::move(record)});
    ++m_rows_version;
}

void TTargetlessModel::rebuild_id_map()
{
    m_id_to_row.clear();
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (const std::optional<int64_t> id = parse_id(m_rows[i].record.value(kBoardId)))
            m_id_to_row.emplace(*id, static_cast<int>(i));
}

// A board added on the page: its record in the order the page writes it, a row that is
// selected and shown.
void TTargetlessModel::add_board(int64_t id, const std::string &name, const std::string &cpu,
                                 const std::string &ram, const std::string &crystal,
                                 const std::string &flash)
{
    TStringList record;
    record.add(kBoardId, FormatHexId(1, id));
    record.add(kBoardName, name);
    record.add(kBoardCpu, cpu);
    record.add(kBoardRam, ram);
    record.add(kBoardCrystal, crystal);
    record.add(kBoardFlash, flash);
    add_row(std::move(record));
    m_selected = static_cast<int>(m_rows.size()) - 1;
    lbBoardTypeChange();
}

int TTargetlessModel::row_of_id(int64_t id) const
{
    const auto it = m_id_to_row.find(id);
    return it == m_id_to_row.end() ? -1 : it->second;
}

bool TTargetlessModel::user_board(const TBoardRow &row) const
{
    const std::optional<int64_t> id = parse_id(row.record.value(kBoardId));
    return id && *id >= kFirstUserBoardId;
}

// ---- showing a board and choosing a CPU --------------------------------------------------------

int TTargetlessModel::cpu_of(std::string_view ident) const
{
    for (std::size_t i = 0; i < m_cpus.size(); ++i)
        if (m_cpus[i].record.value(kCpuIdent) == ident)
            return static_cast<int>(i);
    return -1;
}

const TStringList *TTargetlessModel::chosen_cpu(CpuCombo combo) const
{
    switch (combo) {
    case CpuCombo::CPUId:
        return m_cpu_index >= 0 ? &m_cpus[static_cast<std::size_t>(m_cpu_index)].record : nullptr;
    case CpuCombo::cboCPUId:
        if (m_select_cpu_index < 0)
            return nullptr;
        return &m_cpus[static_cast<std::size_t>(
                           m_select_cpus[static_cast<std::size_t>(m_select_cpu_index)])]
                    .record;
    }
    return nullptr;
}

void TTargetlessModel::SelectRow(int row)
{
    m_selected = row >= 0 && static_cast<std::size_t>(row) < m_rows.size() ? row : -1;
}

void TTargetlessModel::lbBoardTypeChange()
{
    if (m_selected < 0) {
        m_board_menu = false;
        return;
    }
    const TStringList &record = m_rows[static_cast<std::size_t>(m_selected)].record;
    const std::string cpu_ident = record.value(kBoardCpu);
    int revision = -1;
    // Without a CPU revision of that name the board has no revision ID: none is kept from the
    // board shown before.
    m_current_cpu_revision.clear();
    if (const int cpu = cpu_of(cpu_ident); cpu >= 0) {
        const TStringList &cpu_record = m_cpus[static_cast<std::size_t>(cpu)].record;
        m_current_cpu_revision = cpu_record.value(kCpuRevision);
        if (const std::optional<int64_t> id = parse_id(m_current_cpu_revision))
            revision = static_cast<int>(*id);
    }
    FillCpuRevisions(revision);
    SelectCpuByRevision(revision);

    const std::string id_text = record.value(kBoardId);
    m_current_board_id = id_text;
    m_current_cpu_id = cpu_ident;
    m_lbl_id = FormatIdText(id_text, 4);
    m_lbl_ram = record.value(kBoardRam);
    m_lbl_flash = record.value(kBoardFlash);
    m_lbl_base_freq = record.value(kBoardCrystal);
    m_board_menu = user_board(m_rows[static_cast<std::size_t>(m_selected)]);

    // The Specify page shows the same board.
    m_cpu_index = m_select_cpu_index >= 0
                      ? m_select_cpus[static_cast<std::size_t>(m_select_cpu_index)]
                      : -1;
    m_ram_size.select_text(m_lbl_ram);
    m_flash_size.select_text(m_lbl_flash);
    m_base_freq.select_text(m_lbl_base_freq);
}

void TTargetlessModel::FillCpuRevisions(int id)
{
    m_select_cpus.clear();
    m_select_cpu_index = -1;
    for (std::size_t i = 0; i < m_cpus.size(); ++i) {
        const std::optional<int64_t> revision = parse_id(m_cpus[i].record.value(kCpuRevision));
        if (id == -1 || (revision && ((*revision ^ id) & kCpuFamilyMask) == 0))
            m_select_cpus.push_back(static_cast<int>(i));
    }
}

void TTargetlessModel::SelectCpuByRevision(int revision)
{
    m_select_cpu_index = -1;
    for (std::size_t k = 0; k < m_select_cpus.size(); ++k) {
        const TStringList &record =
            m_cpus[static_cast<std::size_t>(m_select_cpus[k])].record;
        if (parse_id(record.value(kCpuRevision)) == revision) {
            m_select_cpu_index = static_cast<int>(k);
            return;
        }
    }
}

void TTargetlessModel::SelectCpuByName(std::string_view ident) { m_cpu_index = cpu_of(ident); }

void TTargetlessModel::CPUIdChange(CpuCombo combo, int index)
{
    switch (combo) {
    case CpuCombo::CPUId:
        m_cpu_index =
            index >= 0 && static_cast<std::size_t>(index) < m_cpus.size() ? index : -1;
        break;
    case CpuCombo::cboCPUId:
        m_select_cpu_index =
            index >= 0 && static_cast<std::size_t>(index) < m_select_cpus.size() ? index : -1;
        break;
    }
    const TStringList *record = chosen_cpu(combo);
    if (!record) {
        m_current_cpu_id.clear();
        return;
    }
    m_current_cpu_id = record->value(kCpuIdent);
    m_current_cpu_revision = record->value(kCpuRevision);
    if (m_tab == TargetlessTab::Select && m_selected >= 0)
        m_rows[static_cast<std::size_t>(m_selected)].record.set_value(kBoardCpu,
                                                                       m_current_cpu_id);
}

// ---- the combo boxes ---------------------------------------------------------------------------

TComboList &TTargetlessModel::combo_ref(SizeCombo combo)
{
    switch (combo) {
    case SizeCombo::BaseFreq:
        return m_base_freq;
    case SizeCombo::RAMSize:
        return m_ram_size;
    case SizeCombo::FlashSize:
        return m_flash_size;
    }
    return m_base_freq;
}

const TComboList &TTargetlessModel::combo(SizeCombo combo) const
{
    return const_cast<TTargetlessModel *>(this)->combo_ref(combo);
}

void TTargetlessModel::SetComboText(SizeCombo combo, std::string text)
{
    TComboList &list = combo_ref(combo);
    list.text = std::move(text);
    list.index = list.find(list.text);
}

void TTargetlessModel::SelectCombo(SizeCombo combo, int index)
{
    TComboList &list = combo_ref(combo);
    if (index < 0 || static_cast<std::size_t>(index) >= list.items.size()) {
        list.index = -1;
        return;
    }
    list.index = index;
    list.text = list.items[static_cast<std::size_t>(index)];
}

// Before the first entry whose value is greater; not at all when none is.
void TTargetlessModel::InsertComboValue(SizeCombo combo)
{
    TComboList &list = combo_ref(combo);
    if (list.find(list.text) >= 0)
        return;
    std::string text = list.text;
    const std::optional<double> value = ParseFrequency(text, m_sep);
    if (!value)
        return;
    for (std::size_t i = 0; i < list.items.size(); ++i) {
        const std::optional<double> entry = text_to_float(list.items[i], m_sep);
        if (entry && *entry > *value) {
            list.items.insert(list.items.begin() + static_cast<std::ptrdiff_t>(i), list.text);
            list.index = static_cast<int>(i);
            return;
        }
    }
}

// ---- checks ------------------------------------------------------------------------------------

std::string TTargetlessModel::id_under_test() const
{
    if (m_tab == TargetlessTab::Rti)
        return rti_value(m_memo, m_rti_fields.key("BI"));
    return trimmed(m_id_text);
}

bool TTargetlessModel::CheckBoardId()
{
    const std::string id = id_under_test();
    auto refuse = [this](const PageMessage &message) {
        show(message);
        if (m_tab == TargetlessTab::Specify)
            m_focus = PageFocus::ID;
        return false;
    };
    if (std::optional<PageMessage> refusal = board_id_refusal(id))
        return refuse(*refusal);
    const int64_t value = *parse_id(id);
    if (std::optional<PageMessage> question = board_id_question(value, id)) {
        if (show(*question) != kIdYes) {
            if (m_tab == TargetlessTab::Specify)
                m_focus = PageFocus::ID;
            return false;
        }
    }
    if (const int row = row_of_id(value); row >= 0)
        return refuse(board_id_taken(m_rows[static_cast<std::size_t>(row)].text, id));
    return true;
}

bool TTargetlessModel::CheckBoardDescription()
{
    const std::string description =
        m_tab == TargetlessTab::Rti ? rti_value(m_memo, m_rti_fields.key("BN")) : m_name_text;
    std::optional<PageMessage> refusal = board_description_refusal(description, id_under_test());
    if (!refusal)
        return true;
    show(*refusal);
    if (m_tab == TargetlessTab::Specify)
        m_focus = PageFocus::Name;
    return false;
}

// ---- adding a board ----------------------------------------------------------------------------

void TTargetlessModel::btnUpdateClick()
{
    if (!CheckBoardId() || !CheckBoardDescription())
        return;
    switch (m_tab) {
    case TargetlessTab::Specify:
        ApplySpecifiedBoard();
        return;
    case TargetlessTab::Rti:
        ApplyRtiBoard();
        return;
    case TargetlessTab::Select:
        return;
    }
}

bool TTargetlessModel::NameKeyPress(char key)
{
    if (key != '\r')
        return false;
    btnUpdateClick();
    return true;
}

void TTargetlessModel::ApplySpecifiedBoard()
{
    // Each field is checked and, when new, put into its list before the next is looked at.
    m_base_freq.text = trimmed(m_base_freq.text);
    const std::optional<double> mhz = text_to_float(m_base_freq.text, m_sep);
    if (!mhz || !frequency_hz(*mhz)) {
        show(crystal_speed_error(m_sep));
        return;
    }
    InsertComboValue(SizeCombo::BaseFreq);
    m_ram_size.text = trimmed(m_ram_size.text);
    if (!parse_size(m_ram_size.text)) {
        show(ram_size_error());
        return;
    }
    InsertComboValue(SizeCombo::RAMSize);
    m_flash_size.text = trimmed(m_flash_size.text);
    if (!parse_size(m_flash_size.text)) {
        show(flash_size_error());
        return;
    }
    InsertComboValue(SizeCombo::FlashSize);
    const TStringList *cpu = chosen_cpu(CpuCombo::CPUId);
    if (!cpu) {
        show(cpu_missing());
        return;
    }
    const std::optional<int64_t> id = parse_id(trimmed(m_id_text));
    if (!id)
        return;
    SelectRow(row_of_id(*id));
    add_board(*id, m_name_text, cpu->value(kCpuIdent), m_ram_size.text, m_base_freq.text,
              m_flash_size.text);
}

void TTargetlessModel::ApplyRtiBoard()
{
    auto field = [this](const char *code) { return rti_value(m_memo, m_rti_fields.key(code)); };
    const std::string board_id = field("BI");
    const std::string board_name = field("BN");
    const std::string cpu_revision = field("CV");
    const std::string cpu_ident = field("CI") + "r" + (cpu_revision.empty() ? "0" : cpu_revision);
    std::string crystal = field("CS");
    const std::string ram = field("RS");
    const std::string flash = field("FS");

    const std::optional<int64_t> id = parse_id(board_id);
    if (!id || *id < 0 || *id > kLastBoardId) {
        show(not_valid_entry("Board ID"));
        return;
    }
    if (!parse_size(ram)) {
        show(not_valid_entry("RAM Size"));
        return;
    }
    const std::optional<double> mhz = ParseFrequency(crystal, m_sep);
    if (!mhz || !frequency_hz(*mhz)) {
        show(crystal_speed_error(m_sep));
        return;
    }
    if (!parse_size(flash)) {
        show(not_valid_entry("Flash Size"));
        return;
    }
    if (cpu_of(cpu_ident) < 0) {
        show(unknown_cpu(cpu_ident));
        return;
    }
    m_current_board_id = board_id;
    m_current_cpu_id = cpu_ident;
    SelectRow(row_of_id(*id));

    // The Specify page takes the file's values.
    m_id_text = board_id;
    m_name_text = board_name;
    if (const int entry = m_base_freq.find(four_decimals(*mhz, m_sep)); entry >= 0)
        SelectCombo(SizeCombo::BaseFreq, entry);
    else
        m_base_freq = TComboList{m_base_freq.items, -1, crystal};
    SelectCpuByName(cpu_ident);
    for (auto [combo, value] : {std::pair{SizeCombo::RAMSize, &ram},
                                std::pair{SizeCombo::FlashSize, &flash}}) {
        TComboList &list = combo_ref(combo);
        if (const int entry = list.find(*value); entry >= 0)
            SelectCombo(combo, entry);
        else
            list = TComboList{list.items, -1, *value};
    }
    add_board(*id, board_name, cpu_ident, ram, crystal, flash);
}

// ---- deleting a user board ---------------------------------------------------------------------

void TTargetlessModel::BoardIDMenuPopup()
{
    if (m_selected >= 0)
        m_delete_caption = "Delete: " + m_rows[static_cast<std::size_t>(m_selected)].text;
}

void TTargetlessModel::Delete1Click()
{
    if (m_selected < 0 || !user_board(m_rows[static_cast<std::size_t>(m_selected)]))
        return;
    const auto at = m_rows.begin() + m_selected;
    const PageMessage question{"Permanently Delete: " + at->text + "?",
                               "Delete Item From Boards List", kMbYesNo};
    if (show(question) != kIdYes)
        return;
    const std::string id_text = at->record.value(kBoardId);
    const std::string text = at->text;
    m_rows.erase(at);
    ++m_rows_version;
    rebuild_id_map();
    SelectRow(0);
    lbBoardTypeChange();
    // At once, whatever the dialog's end.
    TTargetlessStore &s = store();
    if (s.remove(kBoardsSubKey, id_text) && !s.save())
        report_store_failure(s, "\"" + text + "\" could not be deleted from the board store.");
}

// ---- tabs --------------------------------------------------------------------------------------

void TTargetlessModel::tsSpecifyShow()
{
    if (m_id_text.empty())
        m_id_text = "0xFF";
}

void TTargetlessModel::tsRTIShow() { m_focus = PageFocus::btnRtiOpen; }

PageFocus TTargetlessModel::take_focus() { return std::exchange(m_focus, PageFocus::None); }

// ---- RTI files ---------------------------------------------------------------------------------

void TTargetlessModel::btnRTISaveClick()
{
    const bool selection = m_tab == TargetlessTab::Select;
    const TStringList *cpu = chosen_cpu(selection ? CpuCombo::cboCPUId : CpuCombo::CPUId);
    const std::optional<int64_t> revision =
        cpu ? parse_id(cpu->value(kCpuRevision)) : std::nullopt;
    if (!revision) {
        show(cpu_missing());
        return;
    }
    RtiBoard board;
    if (selection) {
        board.board_id = m_lbl_id;
        board.board_name =
            m_selected >= 0 ? m_rows[static_cast<std::size_t>(m_selected)].text : std::string();
        board.crystal = m_lbl_base_freq;
        board.ram = m_lbl_ram;
        board.flash = m_lbl_flash;
    } else {
        board.board_id = m_id_text;
        board.board_name = m_name_text;
        board.crystal = m_base_freq.text;
        board.ram = m_ram_size.text;
        board.flash = m_flash_size.text;
    }
    board.cpu_name = cpu->value(kCpuName);
    board.cpu_id = cpu->value(kCpuIdent).substr(0, 4);
    board.cpu_revision = std::to_string(*revision & 0xFF);

    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Save;
    request.title = "Save As";
    request.directory = IdePreferences().board_file_dir;
    request.filter = kRtiSaveFilter;
    request.must_exist = false;
    std::unique_ptr<TFileDialog> dialog = make_file_dialog(request);
    if (!dialog->Execute() || dialog->FileName().empty())
        return;
    const std::string path = dialog->FileName();
    IdePreferences().board_file_dir = folder_of(path);
    std::string reason;
    if (!write_rti_file(path, m_rti_fields, board, reason))
        ShowAppMessageBox("Unable to save file \"" + path + "\"\n" + reason, "File Save Error",
                          kMbOk | kMbIconError);
}

void TTargetlessModel::btnRtiOpenClick()
{
    m_save_changes_visible = false;
    m_memo.clear();
    m_memo_modified = false;
    m_rti_file.clear();

    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Open;
    request.title = "Open";
    request.directory = IdePreferences().board_file_dir;
    request.filter = kRtiOpenFilter;
    request.must_exist = true;
    std::unique_ptr<TFileDialog> dialog = make_file_dialog(request);
    if (!dialog->Execute() || dialog->FileName().empty())
        return;
    const std::string path = dialog->FileName();
    IdePreferences().board_file_dir = folder_of(path);
    std::string bytes;
    std::string refusal;
    const RegularFileStatus status = read_board_file(path, bytes);
    if (status == RegularFileStatus::NotOpened || status == RegularFileStatus::ReadError)
        refusal = "Unable to open file \"" + path + "\"";
    else if (status == RegularFileStatus::TooLarge)
        refusal = "\"" + path + "\" is too large for a board file.";
    else if (status == RegularFileStatus::NotRegular)
        refusal = "\"" + path + "\": " + regular_file_refusal(path, status, kMaxRtiFileBytes) + ".";
    else if (!looks_like_text(bytes))
        refusal = "\"" + path + "\" is not a text file.";
    if (!refusal.empty()) {
        ShowAppMessageBox(refusal, "File Open Error", kMbOk | kMbIconError);
        return;
    }
    m_memo = memo_text(bytes);
    m_rti_file = path;

    // The Specify page shows the file's CPU and sizes where its lists hold them.
    const std::string cpu_name = rti_value(m_memo, m_rti_fields.key("CN"));
    m_cpu_index = -1;
    for (std::size_t i = 0; i < m_cpus.size() && m_cpu_index < 0; ++i)
        if (m_cpus[i].text == cpu_name)
            m_cpu_index = static_cast<int>(i);
    m_ram_size.select_text(rti_value(m_memo, m_rti_fields.key("RS")));
    m_flash_size.select_text(rti_value(m_memo, m_rti_fields.key("FS")));
    m_base_freq.select_text(rti_value(m_memo, m_rti_fields.key("CS")));
}

void TTargetlessModel::SetMemoText(std::string text)
{
    if (text == m_memo)
        return;
    m_memo = std::move(text);
    m_memo_modified = true;
    if (!m_rti_file.empty())
        m_save_changes_visible = true;
}

void TTargetlessModel::btnRtiSaveChangesClick()
{
    if (m_rti_file.empty() || !m_memo_modified) {
        m_save_changes_visible = false;
        return;
    }
    std::string reason;
    if (!replace_file_contents(m_rti_file, memo_file_text(m_memo), reason)) {
        ShowAppMessageBox("Unable to save file \"" + m_rti_file + "\"\n" + reason,
                          "File Save Error", kMbOk | kMbIconError);
        return;
    }
    m_memo_modified = false;
    m_save_changes_visible = false;
}

// ---- OK ----------------------------------------------------------------------------------------

std::optional<PageMessage> TTargetlessModel::BoardParametersResult(BoardParameters &record) const
{
    if (m_selected < 0)
        return std::nullopt;
    const TBoardRow &row = m_rows[static_cast<std::size_t>(m_selected)];
    BoardParameters board = record;
    const std::optional<int64_t> id = parse_id(m_lbl_id);
    if (!id || *id < 0 || *id > kLastBoardId)
        return not_valid_entry("Board ID");
    board.boardType = static_cast<uint32_t>(*id);
    const std::string cpu_ident = row.record.value(kBoardCpu);
    const int cpu = cpu_of(cpu_ident);
    const std::optional<int64_t> revision =
        cpu >= 0 ? parse_id(m_cpus[static_cast<std::size_t>(cpu)].record.value(kCpuRevision))
                 : std::nullopt;
    if (!revision || *revision < 0 || *revision > 0xFFFF)
        return unknown_cpu(cpu_ident);
    board.cpuId = static_cast<int32_t>(*revision);
    std::string crystal = m_lbl_base_freq;
    const std::optional<double> mhz = ParseFrequency(crystal, m_sep);
    const std::optional<uint32_t> hz = mhz ? frequency_hz(*mhz) : std::nullopt;
    if (!hz)
        return crystal_speed_error(m_sep);
    board.crystalSpeed = *hz;
    const std::optional<int32_t> ram = parse_size(m_lbl_ram);
    if (!ram)
        return ram_size_error();
    board.ramSize = *ram;
    const std::optional<int32_t> flash = parse_size(m_lbl_flash);
    if (!flash)
        return flash_size_error();
    board.flashSize = *flash;
    board.description = cut_text(row.text, kMaxDescription);
    record = board;
    return std::nullopt;
}

bool TTargetlessModel::FillBoardParameters(BoardParameters &record)
{
    if (std::optional<PageMessage> refusal = BoardParametersResult(record)) {
        show(*refusal);
        return false;
    }
    // The project writes the program-wide record; another record is the caller's own.
    if (gProject && &record == &gBoardParameters)
        gProject->WriteTargetless();
    return true;
}

bool TTargetlessModel::SaveTargetlessLists()
{
    TTargetlessStore &s = store();
    bool written = true;
    // A value whose lines are already stored (in whatever quoting) is left as it is.
    auto put = [&](std::string_view sub_key, const std::string &name, const TStringList &list) {
        if (name.empty() ||
            TStringList::from_comma_text(ReadTargetlessValue(s, sub_key, name)) == list)
            return;
        written = WriteTargetlessValue(s, sub_key, name, list.comma_text()) && written;
    };
    for (const TBoardRow &row : m_rows)
        put(kBoardsSubKey, row.record.value(kBoardId), row.record);
    for (const TCpuEntry &cpu : m_cpus)
        put(kCpusSubKey, cpu.record.value(kCpuIdent), cpu.record);
    put("", kCrystalSpeedsValue, TStringList(m_base_freq.items));
    put("", kRamSizesValue, TStringList(m_ram_size.items));
    put("", kFlashSizesValue, TStringList(m_flash_size.items));
    if (!written)
        report_store_failure(s, "Some boards could not be written to the board store.");
    if (!s.save()) {
        report_store_failure(s, "The board store could not be saved.");
        return false;
    }
    return written;
}
