// IniFile: the profile-file reader.
#include "IniFile.h"

#include <cctype>
#include <fstream>
#include <sstream>

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

// Calls each(key, value) for the key lines of the section until it returns true.
template <typename Each>
void for_each_key(const std::vector<std::string> &lines, std::string_view section, Each each)
{
    bool inside = false;
    for (const std::string &line : lines) {
        if (auto name = section_name(line)) {
            inside = same_name(*name, section);
            continue;
        }
        if (!inside || is_comment(line))
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string_view view(line);
        if (each(trim(view.substr(0, eq)), trim(view.substr(eq + 1))))
            return;
    }
}

}  // namespace

bool IniFile::load(const std::string &path)
{
    m_lines.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream text;
    text << in.rdbuf();
    load_text(text.str());
    return true;
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
    bool found = false;
    for_each_key(m_lines, section, [&](std::string_view, std::string_view) {
        found = true;
        return true;
    });
    return found;
}

std::optional<std::string> IniFile::read_string(std::string_view section,
                                                std::string_view key) const
{
    std::optional<std::string> value;
    for_each_key(m_lines, section, [&](std::string_view k, std::string_view v) {
        if (!same_name(k, key))
            return false;
        value = std::string(v);
        return true;
    });
    return value;
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
