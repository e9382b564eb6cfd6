#include "MemoCodeTemplates.h"

#include <cstdlib>
#include <filesystem>

#include "FileReplace.h"
#include "HexDigit.h"
#include "RegularFile.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kHeader = "Korvex code templates 1";
constexpr std::string_view kTemplate = "template ";
constexpr std::string_view kDescription = "description ";
constexpr std::string_view kCode = "code ";
constexpr std::string_view kEnd = "end";

constexpr char kHex[] = "0123456789ABCDEF";

std::string escaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\0': out += "\\0"; break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                out += "\\x";
                out += kHex[byte >> 4];
                out += kHex[byte & 0xF];
            } else {
                out += c;
            }
        }
    }
    return out;
}

// The text of an escaped field; nothing when an escape is broken or a raw control byte stands
// in it (a file we did not write, or a damaged one).
std::optional<std::string> unescaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return std::nullopt;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        switch (text[i]) {
        case '\\': out += '\\'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case '0': out += '\0'; break;
        case 'x': {
            if (i + 2 >= text.size())
                return std::nullopt;
            const int high = hex_digit(text[i + 1]);
            const int low = hex_digit(text[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            out += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default: return std::nullopt;
        }
    }
    return out;
}

// The lines of a file, ended by LF, CR LF or a lone CR (a file saved by another editor).
std::vector<std::string_view> split_lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

bool starts_with(std::string_view line, std::string_view word) { return line.starts_with(word); }

} // namespace

std::string code_templates_text(const TMemoCodeTemplates &templates)
{
    std::string text(kHeader);
    text += '\n';
    for (const TCodeTemplate &item : templates.Items) {
        text.append(kTemplate).append(escaped(item.Name)).append("\n");
        text.append(kDescription).append(escaped(item.Description)).append("\n");
        text.append(kCode).append(escaped(item.Code)).append("\n");
        text.append(kEnd).append("\n");
    }
    return text;
}

TCodeTemplateLoad parse_code_templates(std::string_view text, const std::string &file)
{
    TCodeTemplateLoad load;
    if (text.empty())
        return load;
    const std::vector<std::string_view> lines = split_lines(text);
    const auto fault = [&](std::size_t index, const std::string &what) {
        if (load.Problem.empty())
            load.Problem = file + "(" + std::to_string(index + 1) + "): " + what;
    };
    std::size_t i = 0;
    if (lines.empty() || lines[0] != kHeader)
        fault(0, "not a code template file");
    else
        i = 1;
    // The fields of the template being read, in the file's order.
    std::optional<TCodeTemplate> current;
    int fields = 0; // 1 after the name, 2 after the description, 3 after the code
    for (; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const auto field = [&](std::string_view word, int expected, std::string TCodeTemplate::*into) {
            if (!current || fields != expected) {
                fault(i, "\"" + std::string(word.substr(0, word.size() - 1)) + "\" out of place");
                current.reset();
                return;
            }
            std::optional<std::string> value = unescaped(line.substr(word.size()));
            if (!value) {
                fault(i, "damaged text");
                current.reset();
                return;
            }
            (*current).*into = std::move(*value);
            ++fields;
        };
        if (starts_with(line, kTemplate)) {
            if (current)
                fault(i, "template without an end");
            current = TCodeTemplate{};
            fields = 0;
            std::optional<std::string> name = unescaped(line.substr(kTemplate.size()));
            if (!name) {
                fault(i, "damaged text");
                current.reset();
                continue;
            }
            current->Name = std::move(*name);
            fields = 1;
        } else if (starts_with(line, kDescription)) {
            field(kDescription, 1, &TCodeTemplate::Description);
        } else if (starts_with(line, kCode)) {
            field(kCode, 2, &TCodeTemplate::Code);
        } else if (line == kEnd) {
            if (current && fields == 3)
                load.Templates.Items.push_back(std::move(*current));
            else
                fault(i, "\"end\" out of place");
            current.reset();
        } else {
            fault(i, "unknown line");
            current.reset();
        }
    }
    if (current)
        fault(lines.size() - 1, "the file ends inside a template");
    return load;
}

std::string TTemplatesSource::DefaultPath()
{
    std::string base;
    if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char *home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = ".";
    return base + "/korvex/kxwd.ctx";
}

std::string TTemplatesSource::Load(const std::string &path, const std::string &seed)
{
    m_path = path;
    m_damaged.reset();
    m_unread = false;
    CodeTemplates = {};
    std::error_code ec;
    std::string from = path;
    if (!fs::exists(path, ec)) {
        if (seed.empty() || !fs::exists(seed, ec))
            return {};
        from = seed;
    }
    // A FIFO or a device at the path is never read (it could wait or never end), nor replaced
    // on save; a file past the limit is no list we wrote.
    std::string bytes;
    const RegularFileStatus status = read_regular_text(from, kCodeTemplatesMaxFileBytes, bytes);
    if (status != RegularFileStatus::Read) {
        m_unread = from == path;
        return "Cannot read the code templates file " + from + ": " +
               regular_file_refusal(from, status, kCodeTemplatesMaxFileBytes) + ".";
    }
    TCodeTemplateLoad load = parse_code_templates(bytes, from);
    CodeTemplates = std::move(load.Templates);
    if (!load.Problem.empty() && from == path)
        m_damaged = bytes;
    return load.Problem;
}

bool TTemplatesSource::Save(std::string &message)
{
    if (m_path.empty())
        m_path = DefaultPath();
    if (m_unread) {
        message = "Cannot write " + m_path + ": it could not be read, so it is left as it is.";
        return false;
    }
    std::error_code ec;
    fs::create_directories(fs::path(m_path).parent_path(), ec);
    std::string reason;
    if (m_damaged) {
        if (!replace_file_contents(m_path + ".bak", *m_damaged, reason)) {
            message = "Cannot write " + m_path + ".bak: " + reason;
            return false;
        }
        m_damaged.reset();
    }
    if (!replace_file_contents(m_path, code_templates_text(CodeTemplates), reason)) {
        message = "Cannot write " + m_path + ": " + reason;
        return false;
    }
    return true;
}

TTemplatesSource &TemplatesSource()
{
    static TTemplatesSource source;
    return source;
}
