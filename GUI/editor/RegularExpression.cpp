// RegularExpression: syntax translation, text matching and the file walk (see the header).
#include "RegularExpression.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <set>
#include <vector>

#include "RegularFile.h"
#include "shell/guiHosts.h"

namespace {

// Parse result codes.
enum ParseCode {
    kValid = 0,
    kEmpty = 1,
    kInvalidPattern = 2,
    kBadCollating = 3,
    kBadClass = 4,
    kTrailingEscape = 5,
    kBadBackReference = 6,
    kOpenParen = 7,
    kOpenBrace = 9,
    kBadInterval = 10,
    kBadRange = 11,
    kBadRepeat = 13,
    kUnmatchedRight = 16,
    kEmptySub = 17,
    kUnknown = 19,
};

constexpr std::array<const char *, 20> kErrorTexts = {
    "",
    "Expression cannot be empty",
    "Expression is an invalid pattern",
    "Invalid collating name",
    "Invalid character class name",
    "Expression contains trailing escape character",
    "Expression contains invalid back-reference",
    "A \"(\" was encountered with no matching \")\"",
    "\"(\" and \")\" do not balance",
    "A \"{\" was encountered with no matching \"}\"",
    "The contents of a bounded repetition were invalid",
    "The endpoint of a range was invalid",
    "Ran out of memory trying to compile the expression",
    "A repetition operator was preceded by a sub-expression that cannot be repeated",
    "Unexpected end of expression",
    "The expression is too big",
    "Unmatched right parenthesis",
    "An empty expression or sub-expression was encountered",
    "Ran out of memory trying to compile the expression",
    "An unknown error occurred",
};

// The named classes a set may hold, with their meaning in the translated pattern.
struct NamedClass {
    const char *name;
    const char *pattern;
};
constexpr NamedClass kClasses[] = {
    {"alpha", "a-zA-Z"}, {"digit", "0-9"},       {"alnum", "a-zA-Z0-9"},
    {"upper", "A-Z"},    {"lower", "a-z"},       {"space", " \\t\\n\\r\\f\\v"},
    {"blank", " \\t"},   {"punct", "!-/:-@\\[-`{-~"}, {"print", " -~"},
    {"graph", "!-~"},    {"cntrl", "\\x00-\\x1f\\x7f"}, {"xdigit", "0-9A-Fa-f"},
};

// A set member as text inside a translated class.
QString set_char(unsigned char c)
{
    return QStringLiteral("\\x{%1}").arg(c, 0, 16);
}

// "[...]" from `at` (just after "["); appends the class to `out` and leaves `at` after "]".
int translate_set(const std::string &text, std::size_t &at, QString &out)
{
    QString body;
    if (at < text.size() && text[at] == '^') {
        body += '^';
        ++at;
    }
    bool first = true;
    int previous = -1; // the last single character, a range's possible start
    while (true) {
        if (at >= text.size())
            return kInvalidPattern;
        unsigned char c = static_cast<unsigned char>(text[at]);
        if (c == ']' && !first)
            break;
        first = false;
        if (c == '[' && at + 1 < text.size() &&
            (text[at + 1] == ':' || text[at + 1] == '.' || text[at + 1] == '=')) {
            const char kind = text[at + 1];
            const std::string close = std::string(1, kind) + "]";
            const std::size_t end = text.find(close, at + 2);
            if (end == std::string::npos)
                return kInvalidPattern;
            const std::string name = text.substr(at + 2, end - at - 2);
            at = end + 2;
            if (kind == ':') {
                const auto it = std::find_if(std::begin(kClasses), std::end(kClasses),
                                             [&](const NamedClass &k) { return name == k.name; });
                if (it == std::end(kClasses))
                    return kBadClass;
                body += QString::fromLatin1(it->pattern);
                previous = -1;
                continue;
            }
            // A collating element or an equivalence class: one character names itself.
            if (name.size() != 1)
                return kBadCollating;
            c = static_cast<unsigned char>(name[0]);
            body += set_char(c);
            previous = c;
            continue;
        }
        if (c == '\\') {
            if (at + 1 >= text.size())
                return kTrailingEscape;
            c = static_cast<unsigned char>(text[at + 1]);
            at += 2;
        } else {
            ++at;
        }
        // A range: the previous single character, "-", and an end that is not "]".
        if (c == '-' && previous >= 0 && at < text.size() && text[at] != ']') {
            unsigned char last = static_cast<unsigned char>(text[at]);
            if (last == '\\') {
                if (at + 1 >= text.size())
                    return kTrailingEscape;
                last = static_cast<unsigned char>(text[at + 1]);
                at += 2;
            } else if (last == '[') {
                return kBadRange;
            } else {
                ++at;
            }
            if (last < previous)
                return kBadRange;
            body += '-';
            body += set_char(last);
            previous = -1;
            continue;
        }
        body += set_char(c);
        previous = c;
    }
    ++at; // the "]"
    if (body.isEmpty() || body == QStringLiteral("^"))
        return kInvalidPattern;
    out += '[' + body + ']';
    return kValid;
}

} // namespace

std::string expression_error_text(int code)
{
    if (code < 0 || code >= static_cast<int>(kErrorTexts.size()))
        return kErrorTexts[kUnknown];
    return kErrorTexts[static_cast<std::size_t>(code)];
}

// The syntax, read left to right: an atom (a character, ".", a set, a group, an escape, a
// back reference, "^" or "$") may be followed by "*", "+", "?" or "{m[,[n]]}"; "|" separates
// alternatives. A repetition with nothing repeatable before it, an empty group or alternative,
// and a back reference to a group not closed yet are faults.
int translate_expression(const std::string &text, QString &pattern)
{
    pattern.clear();
    if (text.empty())
        return kEmpty;
    std::vector<int> open_groups;   // the number of each group still open
    std::vector<bool> group_has_atom;
    int groups_closed = 0, groups_opened = 0;
    std::set<int> closed;
    bool repeatable = false; // an atom that a repetition may follow stands just before
    bool alternative_has_atom = false;
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        switch (c) {
        case '\\': {
            if (at + 1 >= text.size())
                return kTrailingEscape;
            const unsigned char e = static_cast<unsigned char>(text[at + 1]);
            at += 2;
            if (e == '<') {
                pattern += QStringLiteral("\\b(?=\\w)");
                repeatable = false;
            } else if (e == '>') {
                pattern += QStringLiteral("\\b(?<=\\w)");
                repeatable = false;
            } else if (e >= '1' && e <= '9') {
                const int n = e - '0';
                if (!closed.count(n))
                    return kBadBackReference;
                pattern += QStringLiteral("\\g{%1}").arg(n);
                repeatable = true;
            } else if (e == 'w' || e == 'W' || e == 's' || e == 'S' || e == 'd' || e == 'D') {
                pattern += '\\';
                pattern += QChar(e);
                repeatable = true;
            } else if (e == 'b' || e == 'B') {
                pattern += '\\';
                pattern += QChar(e);
                repeatable = false;
            } else if (e == 't') {
                pattern += QStringLiteral("\\t");
                repeatable = true;
            } else if (e == 'n') {
                pattern += QStringLiteral("\\n");
                repeatable = true;
            } else {
                pattern += set_char(e).prepend('[').append(']');
                repeatable = true;
            }
            alternative_has_atom = true;
            break;
        }
        case '(':
            open_groups.push_back(++groups_opened);
            group_has_atom.push_back(false);
            pattern += '(';
            repeatable = false;
            alternative_has_atom = false;
            ++at;
            break;
        case ')':
            if (open_groups.empty())
                return kUnmatchedRight;
            if (!alternative_has_atom)
                return kEmptySub;
            closed.insert(open_groups.back());
            open_groups.pop_back();
            group_has_atom.pop_back();
            ++groups_closed;
            pattern += ')';
            repeatable = true;
            alternative_has_atom = true;
            ++at;
            break;
        case '|':
            if (!alternative_has_atom)
                return kEmptySub;
            pattern += '|';
            repeatable = false;
            alternative_has_atom = false;
            ++at;
            if (at >= text.size() || text[at] == ')')
                return kEmptySub;
            break;
        case '*':
        case '+':
        case '?':
            if (!repeatable)
                return kBadRepeat;
            pattern += QChar(c);
            repeatable = false;
            ++at;
            break;
        case '{': {
            if (!repeatable)
                return kBadRepeat;
            const std::size_t close = text.find('}', at);
            if (close == std::string::npos)
                return kOpenBrace;
            const std::string inside = text.substr(at + 1, close - at - 1);
            unsigned low = 0, high = 0;
            bool has_high = false, open_high = false;
            const std::size_t comma = inside.find(',');
            const std::string first = inside.substr(0, comma);
            const std::string second = comma == std::string::npos ? "" : inside.substr(comma + 1);
            auto digits = [](const std::string &s) {
                return !s.empty() && s.size() <= 4 &&
                       std::all_of(s.begin(), s.end(), [](char d) { return d >= '0' && d <= '9'; });
            };
            if (!digits(first))
                return kBadInterval;
            low = static_cast<unsigned>(std::stoul(first));
            if (comma != std::string::npos) {
                if (second.empty()) {
                    open_high = true;
                } else {
                    if (!digits(second))
                        return kBadInterval;
                    high = static_cast<unsigned>(std::stoul(second));
                    has_high = true;
                    if (high < low)
                        return kBadInterval;
                }
            }
            if (has_high)
                pattern += QStringLiteral("{%1,%2}").arg(low).arg(high);
            else if (open_high)
                pattern += QStringLiteral("{%1,}").arg(low);
            else
                pattern += QStringLiteral("{%1}").arg(low);
            repeatable = false;
            at = close + 1;
            break;
        }
        case '[': {
            ++at;
            const int result = translate_set(text, at, pattern);
            if (result != kValid)
                return result;
            repeatable = true;
            alternative_has_atom = true;
            break;
        }
        case '.':
            pattern += QStringLiteral("[^\\n\\x{0}]");
            repeatable = true;
            alternative_has_atom = true;
            ++at;
            break;
        case '^':
        case '$':
            pattern += QChar(c);
            repeatable = false;
            alternative_has_atom = true;
            ++at;
            break;
        default:
            pattern += QRegularExpression::escape(QString(QChar(c)));
            repeatable = true;
            alternative_has_atom = true;
            ++at;
            break;
        }
    }
    if (!open_groups.empty())
        return kOpenParen;
    if (!QRegularExpression(pattern).isValid())
        return kInvalidPattern;
    return kValid;
}

std::string RegularExpression::DisplayExpression() const
{
    return m_whole_words ? "\\<" + m_expression + "\\>" : m_expression;
}

void RegularExpression::CopySettings(const RegularExpression &other)
{
    m_expression = other.m_expression;
    m_whole_words = other.m_whole_words;
    m_ignore_case = other.m_ignore_case;
    m_subdirectories = other.m_subdirectories;
    m_file_mask = other.m_file_mask;
    m_parsed = false;
}

int RegularExpression::ParseExpression()
{
    QString pattern;
    m_parse_result = translate_expression(m_expression, pattern);
    if (m_parse_result == kValid && m_whole_words)
        pattern = QStringLiteral("\\b(?=\\w)(?:") + pattern + QStringLiteral(")\\b(?<=\\w)");
    QRegularExpression::PatternOptions options = QRegularExpression::NoPatternOption;
    if (m_ignore_case)
        options |= QRegularExpression::CaseInsensitiveOption;
    m_regex = QRegularExpression(m_parse_result == kValid ? pattern : QString(), options);
    m_parsed = true;
    return m_parse_result;
}

bool RegularExpression::ready()
{
    if (!m_parsed)
        ParseExpression();
    return m_parse_result == kValid;
}

int RegularExpression::Grep(const TextMatch &report)
{
    if (!ready())
        return 0;
    const QString subject = QString::fromLatin1(m_subject.data(), static_cast<qsizetype>(m_subject.size()));
    int count = 0;
    QRegularExpressionMatchIterator it = m_regex.globalMatch(subject);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        if (match.capturedLength() == 0)
            continue;
        ++count;
        if (!report(static_cast<uint32_t>(match.capturedStart()),
                    static_cast<uint32_t>(match.capturedLength())))
            break;
    }
    return count;
}

namespace {

// Lines longer than this are matched in pieces, so that a file without line ends (a binary, a
// huge log) is never held whole.
constexpr std::size_t kPieceLimit = 64 * 1024;

} // namespace

bool RegularExpression::grep_file(const std::string &path, const FileMatch &report, int &count)
{
    // A FIFO or a device among the files searched is passed over: it could wait for a writer
    // or never end.
    std::FILE *file = open_regular_file_stream(path);
    if (!file)
        return true;
    std::string line;
    uint64_t line_start = 0, offset = 0;
    uint32_t line_number = 1;
    bool go_on = true;
    auto match_line = [&] {
        const QString subject = QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
        QRegularExpressionMatchIterator it = m_regex.globalMatch(subject);
        while (it.hasNext()) {
            const QRegularExpressionMatch match = it.next();
            if (match.capturedLength() == 0)
                continue;
            ++count;
            const auto column = static_cast<uint32_t>(match.capturedStart());
            if (!report(path, line_number, line_start + column, column,
                        static_cast<uint32_t>(match.capturedLength())))
                return false;
        }
        return true;
    };
    char buffer[16384];
    std::size_t got = 0;
    bool after_cr = false;
    while (go_on && (got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        for (std::size_t i = 0; i < got && go_on; ++i) {
            const char ch = buffer[i];
            ++offset;
            if (ch == '\n' && after_cr) { // CR LF is one line end
                after_cr = false;
                line_start = offset;
                continue;
            }
            after_cr = false;
            if (ch == '\n' || ch == '\r') {
                go_on = match_line();
                line.clear();
                ++line_number;
                line_start = offset;
                after_cr = ch == '\r';
                continue;
            }
            line += ch;
            if (line.size() >= kPieceLimit) {
                go_on = match_line();
                line.clear();
                line_start = offset;
            }
        }
    }
    if (go_on && !line.empty())
        go_on = match_line();
    std::fclose(file);
    return go_on;
}

int RegularExpression::GrepFiles(const FileMatch &report)
{
    if (!ready())
        return 0;
    std::string path_mask = m_file_mask;
    std::replace(path_mask.begin(), path_mask.end(), '\\', '/');
    const std::size_t slash = path_mask.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path_mask.substr(0, slash + 1);
    const std::string mask = slash == std::string::npos ? path_mask : path_mask.substr(slash + 1);
    if (mask.empty())
        return 0;
    int count = 0;
    std::set<QString> visited;
    std::vector<QString> pending{qpath(folder)};
    while (!pending.empty()) {
        const QString dir_path = pending.back();
        pending.pop_back();
        QDir dir(dir_path);
        const QString canonical = dir.canonicalPath();
        if (canonical.isEmpty() || !visited.insert(canonical).second)
            continue;
        const QFileInfoList files =
            dir.entryInfoList({qpath(mask)}, QDir::Files | QDir::Readable | QDir::Hidden, QDir::Name);
        for (const QFileInfo &info : files) {
            if (!info.isFile())
                continue;
            std::string name = spath(dir_path);
            if (!name.empty() && name.back() != '/')
                name += '/';
            name += spath(info.fileName());
            if (!grep_file(name, report, count))
                return count;
        }
        if (!m_subdirectories)
            continue;
        const QFileInfoList subdirs =
            dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable | QDir::Hidden,
                              QDir::Name | QDir::Reversed);
        for (const QFileInfo &info : subdirs) {
            QString sub = dir_path;
            if (!sub.endsWith('/'))
                sub += '/';
            pending.push_back(sub + info.fileName());
        }
    }
    return count;
}
