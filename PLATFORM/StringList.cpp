// StringList: the line list and its comma text.
#include "StringList.h"

#include "AsciiCase.h"

namespace {

// Blanks and control bytes: they separate lines and force quoting.
bool is_blank(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool needs_quotes(std::string_view line)
{
    for (char c : line)
        if (is_blank(c) || c == '"' || c == ',')
            return true;
    return false;
}

} // namespace

bool same_line_name(std::string_view a, std::string_view b) { return same_ascii_without_case(a, b); }

std::string TStringList::comma_text() const
{
    if (lines.size() == 1 && lines.front().empty())
        return "\"\"";
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            out += ',';
        const std::string &line = lines[i];
        if (!needs_quotes(line)) {
            out += line;
            continue;
        }
        out += '"';
        for (char c : line) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

// comma_text = { blank } [ line { { blank } [ "," { blank } ] line } ]
// line       = '"' { char | '""' } '"' | { char other than blank and "," }
std::optional<TStringList> TStringList::from_comma_text(std::string_view text)
{
    TStringList list;
    std::size_t pos = 0;
    const std::size_t n = text.size();
    auto skip_blanks = [&] {
        while (pos < n && is_blank(text[pos]))
            ++pos;
    };
    skip_blanks();
    while (pos < n) {
        std::string line;
        if (text[pos] == '"') {
            ++pos;
            bool closed = false;
            while (pos < n) {
                if (text[pos] != '"') {
                    line += text[pos++];
                    continue;
                }
                if (pos + 1 < n && text[pos + 1] == '"') {
                    line += '"';
                    pos += 2;
                    continue;
                }
                ++pos;
                closed = true;
                break;
            }
            if (!closed)
                return std::nullopt;
        } else {
            const std::size_t start = pos;
            while (pos < n && !is_blank(text[pos]) && text[pos] != ',')
                ++pos;
            line.assign(text.substr(start, pos - start));
        }
        list.lines.push_back(std::move(line));
        skip_blanks();
        if (pos < n && text[pos] == ',') {
            if (pos + 1 == n)
                list.lines.emplace_back();
            ++pos;
            skip_blanks();
        }
    }
    return list;
}

int TStringList::index_of_name(std::string_view name) const
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::size_t eq = line.find('=');
        if (eq != std::string_view::npos && same_line_name(line.substr(0, eq), name))
            return static_cast<int>(i);
    }
    return -1;
}

std::string TStringList::value(std::string_view name) const
{
    const int i = index_of_name(name);
    if (i < 0)
        return {};
    const std::string &line = lines[static_cast<std::size_t>(i)];
    return line.substr(line.find('=') + 1);
}

void TStringList::set_value(std::string_view name, std::string_view value)
{
    const int i = index_of_name(name);
    if (i < 0) {
        add(name, value);
        return;
    }
    lines[static_cast<std::size_t>(i)] = std::string(name) + "=" + std::string(value);
}

void TStringList::add(std::string_view name, std::string_view value)
{
    lines.push_back(std::string(name) + "=" + std::string(value));
}
