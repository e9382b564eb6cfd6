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

namespace {

// name, background, font colour, bold, italic, underline
constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kMaroon = 0x800000, kGray = 0x808080,
                   kGreen = 0x008000, kBlue = 0x0000FF, kNavy = 0x000080, kRed = 0xFF0000,
                   kLime = 0x00FF00, kTeal = 0x008080;
constexpr KorvexStyleInfo kStyles[] = {
    {"Whitespace", kWhite, kBlack, false, false, false},
    {"String", kWhite, kMaroon, false, false, false},
    {"Comment", kWhite, kGray, false, true, false},
    {"Identifier", kWhite, kBlack, false, false, false},
    {"Integer", kWhite, kGreen, false, false, false},
    {"Float", kWhite, kGreen, false, false, false},
    {"Reserved words", kWhite, kBlue, true, false, false},
    {"Delimiters", kWhite, kBlack, false, false, false},
    {"Defines", kWhite, kGreen, false, false, false},
    {"Assembler", kWhite, kBlack, true, false, false},
    {"Html tags", kMemoColour, kBlue, false, false, false},
    {"Html params", kMemoColour, kBlue, false, false, false},
    {"Url", kMemoColour, kBlue, false, false, true},
    {"Registers", kWhite, kBlue, false, false, false},
    {"BreakPoint", kRed, kWhite, false, false, false},
    {"Error line", kMaroon, kWhite, false, false, false},
    {"Marked Block", kNavy, kWhite, false, false, false},
    {"Search Match", kNavy, kWhite, false, false, false},
    {"Emphasis", kMemoColour, kBlack, true, false, false},
    {"System Variable", kMemoColour, kBlue, false, false, false},
    {"Script Whitespace", kMemoColour, kTeal, false, false, false},
    {"Script Delimiters", kMemoColour, kBlack, false, false, false},
    {"Script Comment", kMemoColour, kGray, false, true, false},
    {"Script String", kMemoColour, kMaroon, false, false, false},
    {"Script Number", kMemoColour, kBlue, false, false, false},
    {"Script ResWord", kMemoColour, kBlack, true, false, false},
    {"ExecutionPoint", kLime, kBlack, false, false, false},
};
static_assert(sizeof kStyles / sizeof kStyles[0] == kKorvexStyleCount, "one row per style");

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

QColor colour_of(uint32_t rgb) { return QColor::fromRgb(rgb); }

} // namespace

const KorvexStyleInfo &korvex_style(int style)
{
    return kStyles[style >= 0 && style < kKorvexStyleCount ? style : kStyleWhitespace];
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
    return QString::fromLatin1(kStyles[style].name);
}

QColor TKorvexLexer::defaultColor(int style) const
{
    return colour_of(korvex_style(style).foreground);
}

QColor TKorvexLexer::defaultPaper(int style) const
{
    const uint32_t background = korvex_style(style).background;
    return background == kMemoColour ? QsciLexerCustom::defaultPaper(style)
                                     : colour_of(background);
}

QFont TKorvexLexer::defaultFont(int style) const
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPointSize(10);
    const KorvexStyleInfo &info = korvex_style(style);
    font.setBold(info.bold);
    font.setItalic(info.italic);
    font.setUnderline(info.underline);
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
