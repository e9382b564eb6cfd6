// KorvexLexer: the editor's text styles and the line scanner behind the colouring.
#include "KorvexLexer.h"

#include <Qsci/qsciscintilla.h>

#include <QColor>
#include <QFont>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "codegen/CC_ASMTAB.h"
#include "core/CC_STAB.h"
#include "MemoOptions.h"
#include "shell/guiHosts.h"

namespace {

// The built-in looks: name, background and text colour (0xRRGGBB as written here), bold,
// italic, underline, and whether the background is the editor's own.
struct StyleRow {
    const char *name;
    uint32_t background, foreground;
    bool bold, italic, underline, memo_background;
};
constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kMaroon = 0x800000, kGray = 0x808080,
                   kGreen = 0x008000, kBlue = 0x0000FF, kNavy = 0x000080, kRed = 0xFF0000,
                   kLime = 0x00FF00, kTeal = 0x008080;
constexpr StyleRow kStyles[] = {
    {"Whitespace", kWhite, kBlack, false, false, false, false},
    {"String", kWhite, kMaroon, false, false, false, false},
    {"Comment", kWhite, kGray, false, true, false, false},
    {"Identifier", kWhite, kBlack, false, false, false, false},
    {"Integer", kWhite, kGreen, false, false, false, false},
    {"Float", kWhite, kGreen, false, false, false, false},
    {"Reserved words", kWhite, kBlue, true, false, false, false},
    {"Delimiters", kWhite, kBlack, false, false, false, false},
    {"Defines", kWhite, kGreen, false, false, false, false},
    {"Assembler", kWhite, kBlack, true, false, false, false},
    {"Html tags", kWhite, kBlue, false, false, false, true},
    {"Html params", kWhite, kBlue, false, false, false, true},
    {"Url", kWhite, kBlue, false, false, true, true},
    {"Registers", kWhite, kBlue, false, false, false, false},
    {"BreakPoint", kRed, kWhite, false, false, false, false},
    {"Error line", kMaroon, kWhite, false, false, false, false},
    {"Marked Block", kNavy, kWhite, false, false, false, false},
    {"Search Match", kNavy, kWhite, false, false, false, false},
    {"Emphasis", kWhite, kBlack, true, false, false, true},
    {"System Variable", kWhite, kBlue, false, false, false, true},
    {"Script Whitespace", kWhite, kTeal, false, false, false, true},
    {"Script Delimiters", kWhite, kBlack, false, false, false, true},
    {"Script Comment", kWhite, kGray, false, true, false, true},
    {"Script String", kWhite, kMaroon, false, false, false, true},
    {"Script Number", kWhite, kBlue, false, false, false, true},
    {"Script ResWord", kWhite, kBlack, true, false, false, true},
    {"ExecutionPoint", kLime, kBlack, false, false, false, false},
};
static_assert(sizeof kStyles / sizeof kStyles[0] == kKorvexStyleCount, "one row per style");

// The marks' families: the attribute letters after the family's prefix.
constexpr const char *kMarkAttributes[] = {"___", "B__", "_I_", "__U", "BI_", "B_U", "_IU", "BIU"};

// 0xRRGGBB as a settings colour, 0x00BBGGRR.
constexpr TColor tcolor(uint32_t rgb)
{
    return ((rgb >> 16) & 0xFFu) | (rgb & 0xFF00u) | ((rgb & 0xFFu) << 16);
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }
bool is_word_start(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool is_word_char(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}
bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string lower(std::string_view text)
{
    std::string s(text);
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool is_register_name(std::string_view word)
{
    static const std::set<std::string> names = [] {
        std::set<std::string> s;
        for (const reg_type &r : kAsmRegisterTable)
            if (r.name && *r.name)
                s.insert(lower(r.name));
        return s;
    }();
    return names.count(lower(word)) != 0;
}

// The end of a number that starts at `i`: a "0x" hex run, or digits with a fraction and an
// exponent, each followed by letters (suffixes, or an assembler radix letter).
std::size_t number_end(std::string_view line, std::size_t i, bool &is_float)
{
    const std::size_t n = line.size();
    is_float = false;
    if (line[i] == '0' && i + 1 < n && (line[i + 1] == 'x' || line[i + 1] == 'X')) {
        i += 2;
        while (i < n && is_word_char(line[i]))
            ++i;
        return i;
    }
    while (i < n && is_digit(line[i]))
        ++i;
    if (i < n && line[i] == '.') {
        is_float = true;
        ++i;
        while (i < n && is_digit(line[i]))
            ++i;
    }
    if (i < n && (line[i] == 'e' || line[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (line[j] == '+' || line[j] == '-'))
            ++j;
        if (j < n && is_digit(line[j])) {
            is_float = true;
            i = j;
            while (i < n && is_digit(line[i]))
                ++i;
        }
    }
    while (i < n && is_word_char(line[i]))
        ++i;
    return i;
}

// The end of a quoted text that starts at `i`; a backslash takes the next byte with it. An
// unclosed quote runs to the end of the line.
std::size_t quoted_end(std::string_view line, std::size_t i)
{
    const char quote = line[i++];
    while (i < line.size()) {
        if (line[i] == '\\') {
            i += 2;
            continue;
        }
        if (line[i++] == quote)
            return i;
    }
    return line.size();
}

} // namespace

std::vector<TTextStyle> korvex_default_styles()
{
    std::vector<TTextStyle> styles;
    for (const StyleRow &row : kStyles) {
        TTextStyle style{row.name, tcolor(row.background), tcolor(row.foreground)};
        style.Bold = row.bold;
        style.Italic = row.italic;
        style.Underline = row.underline;
        style.UseMemoColor = row.memo_background;
        styles.push_back(style);
    }
    const auto family = [&](const char *prefix, int like) {
        for (const char *attributes : kMarkAttributes) {
            TTextStyle mark = styles[static_cast<std::size_t>(like)];
            mark.Name = std::string(prefix) + attributes;
            mark.Bold = attributes[0] == 'B';
            mark.Italic = attributes[1] == 'I';
            mark.Underline = attributes[2] == 'U';
            styles.push_back(mark);
        }
    };
    family("Bp", kStyleBreakPoint);
    family("Exe", kStyleExecutionPoint);
    return styles;
}

std::vector<TTextStyle> &KorvexParser() { return GlobalMemoOptions().TextStyles; }

const TTextStyle &korvex_style(int style)
{
    const std::vector<TTextStyle> &table = KorvexParser();
    return table[style >= 0 && static_cast<std::size_t>(style) < table.size()
                     ? static_cast<std::size_t>(style)
                     : 0];
}

// line = [ blanks "#" blanks directive-word ] tokens
// A directive line's word is a define; "#asm" opens an assembly block for the lines after it and
// "#endasm" closes it. In a block, ';' starts a comment, register names are registers and every
// other word or sign is assembler. Comments "/* */" may span lines; "//" ends the line.
void style_korvex_line(std::string_view line, uint8_t &state, std::vector<uint8_t> &styles)
{
    const std::size_t n = line.size();
    styles.assign(n, kStyleWhitespace);
    auto fill = [&](std::size_t from, std::size_t to, int style) {
        std::fill(styles.begin() + static_cast<std::ptrdiff_t>(from),
                  styles.begin() + static_cast<std::ptrdiff_t>(std::min(to, n)),
                  static_cast<uint8_t>(style));
    };

    std::size_t i = 0;
    bool directive = false;
    uint8_t after = state;
    if (!(state & kLexInComment)) {
        std::size_t first = 0;
        while (first < n && is_blank(line[first]))
            ++first;
        if (first < n && line[first] == '#') {
            std::size_t word = first + 1;
            while (word < n && is_blank(line[word]))
                ++word;
            std::size_t end = word;
            while (end < n && is_word_char(line[end]))
                ++end;
            const std::string name = lower(line.substr(word, end - word));
            fill(first, end, kStyleDefine);
            if (name == "asm")
                after |= kLexInAsm;
            else if (name == "endasm")
                after &= static_cast<uint8_t>(~kLexInAsm);
            directive = true;
            i = end;
        }
    }
    const bool in_asm = (state & kLexInAsm) && !directive;

    while (i < n) {
        if (state & kLexInComment) {
            const std::size_t close = line.find("*/", i);
            const std::size_t end = close == std::string_view::npos ? n : close + 2;
            fill(i, end, kStyleComment);
            if (close != std::string_view::npos)
                state &= static_cast<uint8_t>(~kLexInComment);
            i = end;
            continue;
        }
        const char c = line[i];
        const char next = i + 1 < n ? line[i + 1] : '\0';
        if (is_blank(c)) {
            ++i;
        } else if (c == '/' && next == '*') {
            fill(i, i + 2, kStyleComment);
            state |= kLexInComment;
            i += 2;
        } else if ((c == '/' && next == '/') || (in_asm && c == ';')) {
            fill(i, n, kStyleComment);
            i = n;
        } else if (c == '"' || c == '\'') {
            const std::size_t end = quoted_end(line, i);
            fill(i, end, kStyleString);
            i = end;
        } else if (is_digit(c) || (c == '.' && is_digit(next))) {
            bool is_float = false;
            const std::size_t end = number_end(line, i, is_float);
            fill(i, end, is_float && !in_asm ? kStyleFloat : kStyleInteger);
            i = end;
        } else if (is_word_start(c)) {
            std::size_t end = i;
            while (end < n && is_word_char(line[end]))
                ++end;
            const std::string word(line.substr(i, end - i));
            int style = kStyleIdentifier;
            if (in_asm)
                style = is_register_name(word) ? kStyleRegister : kStyleAssembler;
            else if (is_keyword(word.c_str()))
                style = kStyleReservedWord;
            fill(i, end, style);
            i = end;
        } else {
            fill(i, i + 1, in_asm ? kStyleAssembler : kStyleDelimiter);
            ++i;
        }
    }
    state = static_cast<uint8_t>((state & kLexInComment) | (after & kLexInAsm));
}

TKorvexLexer::TKorvexLexer(QObject *parent) : QsciLexerCustom(parent) {}

QString TKorvexLexer::description(int style) const
{
    if (style < 0 || style >= kKorvexStyleCount)
        return {};
    return QString::fromStdString(korvex_style(style).Name);
}

QColor TKorvexLexer::defaultColor(int style) const
{
    return colour_of(korvex_style(style).FontColor);
}

QColor TKorvexLexer::defaultPaper(int style) const
{
    const TTextStyle &look = korvex_style(style);
    return colour_of(look.UseMemoColor ? GlobalMemoOptions().Color : look.Color);
}

QFont TKorvexLexer::defaultFont(int style) const
{
    const TMemoEnvOptions &options = GlobalMemoOptions();
    QFont font(QString::fromStdString(options.FontName));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPointSize(options.FontSize);
    const TTextStyle &look = korvex_style(style);
    font.setBold(look.Bold);
    font.setItalic(look.Italic);
    font.setUnderline(look.Underline);
    return font;
}

bool TKorvexLexer::defaultEolFill(int) const { return false; }

// Styling always starts at a line start; each line takes the state its predecessor left in the
// line state, and leaves its own there for the next call.
void TKorvexLexer::styleText(int start, int end)
{
    QsciScintilla *ed = editor();
    if (!ed || end <= start)
        return;
    const long length = ed->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
    const long first = ed->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, start);
    const long last = ed->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, end - 1);
    uint8_t state = first > 0 ? static_cast<uint8_t>(ed->SendScintilla(
                                    QsciScintillaBase::SCI_GETLINESTATE, first - 1))
                              : 0;
    startStyling(static_cast<int>(
        ed->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, first)));
    std::vector<uint8_t> styles;
    std::string text;
    for (long line = first; line <= last; ++line) {
        const long from = ed->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line);
        const long to = ed->SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, line);
        long next = ed->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line + 1);
        if (next < to)
            next = length;
        text.assign(static_cast<std::size_t>(to - from) + 1, '\0');
        ed->SendScintilla(QsciScintillaBase::SCI_GETTEXTRANGE, from, to, text.data());
        text.resize(static_cast<std::size_t>(to - from));
        style_korvex_line(text, state, styles);
        std::size_t run = 0;
        for (std::size_t k = 1; k <= styles.size(); ++k) {
            if (k == styles.size() || styles[k] != styles[run]) {
                setStyling(static_cast<int>(k - run), styles[run]);
                run = k;
            }
        }
        if (next > to)
            setStyling(static_cast<int>(next - to), kStyleWhitespace);
        ed->SendScintilla(QsciScintillaBase::SCI_SETLINESTATE, line, static_cast<long>(state));
    }
}
