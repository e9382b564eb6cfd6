// KorvexLexer: syntax colouring of Korvex sources for the editor windows. The styles are the
// editor's 27 text styles; reserved words come from the compiler's own keyword table and
// register names in "#asm" blocks from the assembler's register table, so the colours follow the
// language the compiler accepts. The shell keeps one style table (`KorvexParser` of the main
// window); each editor runs its own lexer over it, because a lexer serves one editor at a time.
#pragma once

#include <Qsci/qscilexercustom.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "settings/guiEnvironment.h"

// The text styles in the editor's list order; the number is the style's index.
enum KorvexStyle : int {
    kStyleWhitespace, kStyleString, kStyleComment, kStyleIdentifier, kStyleInteger,
    kStyleFloat, kStyleReservedWord, kStyleDelimiter, kStyleDefine, kStyleAssembler,
    kStyleHtmlTag, kStyleHtmlParam, kStyleUrl, kStyleRegister, kStyleBreakPoint,
    kStyleErrorLine, kStyleMarkedBlock, kStyleSearchMatch, kStyleEmphasis,
    kStyleSystemVariable, kStyleScriptWhitespace, kStyleScriptDelimiter, kStyleScriptComment,
    kStyleScriptString, kStyleScriptNumber, kStyleScriptResWord, kStyleExecutionPoint,
    kKorvexStyleCount
};

// The style table: the syntax styles in KorvexStyle order, then the breakpoint marks' eight
// styles ("Bp___" to "BpBIU") and the execution point's eight ("Exe___" to "ExeBIU"), whose
// colours follow the "BreakPoint" and "ExecutionPoint" styles. The editors' marks take the
// first of each family.
inline constexpr int kStyleBreakpointMarks = kKorvexStyleCount;
inline constexpr int kStyleExecutionMarks = kKorvexStyleCount + 8;
inline constexpr int kKorvexTableSize = kKorvexStyleCount + 16;
// The built-in table.
std::vector<TTextStyle> korvex_default_styles();
// The table every lexer and every editor's marks read: the program-wide editor options' text
// styles, which the Environment Options dialog edits.
std::vector<TTextStyle> &KorvexParser();
// One style of the table (the "Whitespace" style for an index outside it).
const TTextStyle &korvex_style(int style);

// What a line leaves open for the next one.
inline constexpr uint8_t kLexInComment = 1; // inside "/* ... */"
inline constexpr uint8_t kLexInAsm = 2;     // between "#asm" and "#endasm"

// Styles one line (without its line end): one style per byte into `styles`; `state` is what
// the previous line left open and becomes what this line leaves open.
void style_korvex_line(std::string_view line, uint8_t &state, std::vector<uint8_t> &styles);

class TKorvexLexer : public QsciLexerCustom {
    Q_OBJECT
public:
    explicit TKorvexLexer(QObject *parent = nullptr);
    const char *language() const override { return "Korvex"; }
    QString description(int style) const override;
    QColor defaultColor(int style) const override;
    QColor defaultPaper(int style) const override;
    QFont defaultFont(int style) const override;
    bool defaultEolFill(int style) const override;
    void styleText(int start, int end) override;
};
