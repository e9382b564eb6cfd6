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

// A style's look. Colours are 0xRRGGBB; a background of kMemoColour takes the editor's.
inline constexpr uint32_t kMemoColour = 0xFFFFFFFFu;
struct KorvexStyleInfo {
    const char *name;
    uint32_t background;
    uint32_t foreground;
    bool bold, italic, underline;
};
const KorvexStyleInfo &korvex_style(int style);

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
