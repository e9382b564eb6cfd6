// IniFile: the line-preserving profile file.
#include "IniFile.h"

#include "FileReplace.h"
#include "RegularFile.h"

#include <cctype>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool same_name(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// "[name]" gives the name; anything else nothing.
std::optional<std::string_view> section_name(std::string_view line)
{
    line = trim(line);
    if (line.size() < 2 || line.front() != '[')
        return std::nullopt;
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return trim(line.substr(1, close - 1));
}

bool is_comment(std::string_view line)
{
    line = trim(line);
    return line.empty() || line.front() == ';' || line.front() == '#';
}

// The key of a key line: the text before "=", trimmed; nothing for other lines.
std::optional<std::string_view> key_name(std::string_view line)
{
    if (is_comment(line))
        return std::nullopt;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return trim(line.substr(0, eq));
}

// Where a section's lines lie: its header and the line after its last line.
struct SectionSpan {
    std::size_t header;
    std::size_t end;
};

// The first section of that name.
std::optional<SectionSpan> find_section(const std::vector<std::string> &lines,
                                        std::string_view section)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = section_name(lines[i]);
        if (!name || !same_name(*name, section))
            continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !section_name(lines[end]))
            ++end;
        return SectionSpan{i, end};
    }
    return std::nullopt;
}

// The line of the key in the first section of that name.
std::optional<std::size_t> find_key(const std::vector<std::string> &lines,
                                    std::string_view section, std::string_view key)
{
    const auto span = find_section(lines, section);
    if (!span)
        return std::nullopt;
    for (std::size_t i = span->header + 1; i < span->end; ++i)
        if (const auto name = key_name(lines[i]); name && same_name(*name, key))
            return i;
    return std::nullopt;
}

// The value of a key line: after "=", trimmed, up to a NUL byte.
std::string value_of(std::string_view line)
{
    std::string_view value = trim(line.substr(line.find('=') + 1));
    return std::string(value.substr(0, value.find('\0')));
}

// Sets the key in the lines (see the header for where lines go).
void set_key(std::vector<std::string> &lines, std::string_view section, std::string_view key,
             std::string_view value)
{
    const auto span = find_section(lines, section);
    if (!span) {
        if (!lines.empty() && !trim(lines.back()).empty())
            lines.emplace_back();
        lines.push_back("[" + std::string(section) + "]");
        lines.push_back(std::string(key) + "=" + std::string(value));
        return;
    }
    std::size_t last_key = span->header;
    for (std::size_t i = span->header + 1; i < span->end; ++i) {
        const auto name = key_name(lines[i]);
        if (!name)
            continue;
        if (same_name(*name, key)) {
            std::string &line = lines[i];
            std::size_t keep = line.find('=') + 1;
            while (keep < line.size() && (line[keep] == ' ' || line[keep] == '\t'))
                ++keep;
            line = line.substr(0, keep) + std::string(value);
            return;
        }
        last_key = i;
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last_key + 1),
                 std::string(key) + "=" + std::string(value));
}

// Why names or a value cannot go into a profile file; empty when they can.
std::string refusal(std::string_view section, std::string_view key, std::string_view value)
{
    const auto has_any = [](std::string_view text, std::string_view bytes) {
        return text.find_first_of(bytes) != std::string_view::npos;
    };
    static constexpr std::string_view kBreaks("\r\n\0", 3);
    if (trim(section).empty() || has_any(section, kBreaks) || has_any(section, "]"))
        return "The section name \"" + std::string(section) + "\" cannot be written.";
    if (trim(key).empty() || has_any(key, kBreaks) || has_any(key, "=") ||
        section_name(key) || is_comment(key))
        return "The key name \"" + std::string(key) + "\" cannot be written.";
    if (has_any(value, kBreaks))
        return "The value of \"" + std::string(key) + "\" holds a line break or NUL byte.";
    return {};
}

} // namespace

// ---- reading -----------------------------------------------------------------------------------

IniFile::IniFile(std::string path)
{
    (void)load(path);
}

bool IniFile::load(const std::string &path)
{
    m_path = path;
    m_state = read_file();
    return m_state == FileState::Read;
}

IniFile::FileState IniFile::read_file()
{
    m_lines.clear();
    std::error_code ec;
    const fs::file_status status = fs::status(m_path, ec);
    if (!fs::exists(status))
        return FileState::Missing;
    // A FIFO, a device or a folder is never read (nor written over), and a file is read only
    // up to a limit: no profile is that large, and reading one cannot wait or eat memory.
    std::vector<uint8_t> bytes;
    if (read_regular_file(m_path, kIniMaxFileBytes, bytes) != RegularFileStatus::Read)
        return FileState::Unreadable;
    load_text(std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()));
    return FileState::Read;
}

void IniFile::load_text(std::string_view text)
{
    m_lines.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        m_lines.emplace_back(line);
        start = end + 1;
    }
}

bool IniFile::section_has_keys(std::string_view section) const
{
    const auto span = find_section(m_lines, section);
    if (!span)
        return false;
    for (std::size_t i = span->header + 1; i < span->end; ++i)
        if (key_name(m_lines[i]))
            return true;
    return false;
}

std::optional<std::string> IniFile::read_string(std::string_view section,
                                                std::string_view key) const
{
    const auto line = find_key(m_lines, section, key);
    if (!line)
        return std::nullopt;
    return value_of(m_lines[*line]);
}

std::string IniFile::read_string(std::string_view section, std::string_view key,
                                 std::string_view fallback) const
{
    return read_string(section, key).value_or(std::string(fallback));
}

int64_t IniFile::read_integer(std::string_view section, std::string_view key,
                              int64_t fallback) const
{
    const auto text = read_string(section, key);
    if (!text)
        return fallback;
    return parse_ini_integer(*text).value_or(fallback);
}

std::string IniFile::text() const
{
    std::string out;
    for (const std::string &line : m_lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

// ---- writing -----------------------------------------------------------------------------------

bool IniFile::fail(std::string why)
{
    m_error = std::move(why);
    return false;
}

bool IniFile::write_string(std::string_view section, std::string_view key,
                           std::string_view value)
{
    if (std::string why = refusal(section, key, value); !why.empty())
        return fail(std::move(why));
    section = trim(section);
    key = trim(key);
    if (m_path.empty()) {
        set_key(m_lines, section, key, value);
        return true;
    }
    if (m_holding) {
        if (m_state == FileState::Unreadable)
            return fail("The file cannot be read.");
        if (m_state == FileState::Read && file_is_read_only(m_path))
            return fail("The file is read-only.");
        set_key(m_lines, section, key, value);
        m_held_changes = true;
        return true;
    }
    // The file as it is now, so that what others wrote since stays.
    const FileState state = m_state = read_file();
    if (state == FileState::Unreadable)
        return fail("The file cannot be read.");
    if (state == FileState::Read && file_is_read_only(m_path))
        return fail("The file is read-only.");
    std::vector<std::string> lines = m_lines;
    set_key(lines, section, key, value);
    const std::vector<std::string> before = std::move(m_lines);
    m_lines = std::move(lines);
    std::string reason;
    if (!replace_file_contents(m_path, text(), reason)) {
        m_lines = before;
        return fail("The file cannot be written: " + reason + ".");
    }
    return true;
}

bool IniFile::commit()
{
    const bool changed = m_held_changes;
    m_holding = m_held_changes = false;
    if (!changed || m_path.empty())
        return true;
    std::string reason;
    if (!replace_file_contents(m_path, text(), reason))
        return fail("The file cannot be written: " + reason + ".");
    m_state = FileState::Read;
    return true;
}

bool IniFile::write_integer(std::string_view section, std::string_view key, int64_t value)
{
    return write_string(section, key, std::to_string(value));
}

// ---- files -------------------------------------------------------------------------------------

bool file_is_read_only(const std::string &path)
{
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    return fs::exists(status) &&
           (status.permissions() & fs::perms::owner_write) == fs::perms::none;
}

bool clear_read_only(const std::string &path)
{
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ec);
    return !ec;
}

std::optional<int64_t> parse_ini_integer(std::string_view text)
{
    text = trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : base == 16 && std::isxdigit(static_cast<unsigned char>(c))
                              ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                              : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFFFFFLL)
            return std::nullopt;
    }
    return negative ? -value : value;
}
