// MemoOptions: the editors' program-wide options, one object for how every source editor and
// every sample memo looks (`TMemoEnvOptions`: font, colours, gutter, margin, key mapping,
// special symbols, the text styles) and one for how they edit (`TMemoSourceOptions`: block
// indent, tab stops, the editing switches). The Environment Options dialog edits them in
// place; each memo that is linked to them (`TMemoOptionsLink`) follows every change, once per
// outermost `BeginUpdate`/`EndUpdate`.
//
// Each toggle of the dialog owns one bit of a set. Where QScintilla has an equivalent the bit
// drives it (virtual space, block caret, edge line, line numbers, whitespace symbols, colouring,
// auto indent, backspace unindents); the others are kept and stored so that they come back as
// the user left them (README lists which).
//
// Stored under "Environment\Editor Options" when the IDE closes (`SaveEditorOptions`) and read
// back by the settings load (`LoadEditorOptions`, the window host's editor adjustment).
// GUI thread only.
#pragma once

#include <bitset>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/guiEnvironment.h"

class QsciScintilla;
class TKorvexLexer;

// Environment option bits.
enum MemoEnvBit : int {
    moDrawMargin = 0,
    moDrawGutter = 1,
    moDrawSpecialSymbols = 2,
    moDblClickLine = 3,
    moColorSyntax = 4,
    moLineNumbers = 5,
    moOverwriteBlockCaret = 6,
    moDisableDrag = 8,
    moSelectionInsideLines = 9, // set: a selection ends at the line ends
    moLineNumbersOnGutter = 10,
    moNotepadCaret = 11,
    moCenterBookmarks = 22,
};
inline constexpr int kMemoEnvBits = 25;

// Source option bits.
enum MemoSourceBit : int {
    soBackspaceUnindents = 0,
    soGroupUndo = 1,
    soCaretBeyondEof = 2,
    soAutoIndent = 4,
    soFindTextAtCursor = 6,
    soPersistentBlocks = 8,
    soOverwriteBlocks = 9,
    soCaretInsideLines = 10, // set: the caret stops at the line ends
    soCursorThroughTabs = 12,
    soSelectFoundText = 14,
    soUsePrevIndent = 17,
};
inline constexpr int kMemoSourceBits = 18;

// The key mappings the dialog offers, in its list order.
inline constexpr const char *kKeyMappings[] = {"Default", "Classic", "Brief", "Epsilon",
                                               "Visual Studio"};
// Pen styles of the margin line, in the dialog's list order.
inline constexpr const char *kMarginPenStyles[] = {"psSolid", "psDash", "psDot", "psDashDot",
                                                   "psDashDotDot"};
// The largest font size a memo takes (points), as the print setup's load limits it.
inline constexpr int kMaxMemoFontSize = 1638;
// The widest block indent (columns).
inline constexpr int kMaxBlockIndent = 32;

// Change notification shared by both objects: a change inside an update is told once, at the
// end of the outermost update.
class TOptionExt {
public:
    void BeginUpdate();
    void EndUpdate();
    // Tells every linked memo now, or at the end of the update in progress.
    void Changed();
};

class TMemoEnvOptions : public TOptionExt {
public:
    TMemoEnvOptions();
    // Every value, the text styles included (what a snapshot takes and gives back).
    void Assign(const TMemoEnvOptions &other);

    std::string FontName = "Courier New";
    int FontSize = 10;           // points
    TColor FontColor = clBlack;  // text outside the syntax styles
    TColor Color = clWhite;      // the editor's background
    TColor ReadOnlyColor = 15201274;
    bool UseMonoFont = true;
    TColor GutterColor = 0xF0F0F0;
    int GutterWidth = 12;        // pixels
    std::string KeyMapping = "Default";
    TColor MarginColor = 0xC0C0C0;
    int MarginWidth = 1;
    int MarginStyle = 0;         // index into kMarginPenStyles
    int MarginPos = 80;          // the column the margin line stands at
    std::bitset<kMemoEnvBits> Options;
    std::string EolSymbol = "\xC2\xB6";  // UTF-8
    std::string EofSymbol = "<EOF>";
    char16_t SpaceSymbol = 0x00B7;       // 0: none
    char16_t TabSymbol = 0x00BB;
    TColor LineNumberColor = clBlack;    // the settings' colours while the editors show them
    TColor LineNumberBackgroundColor = clWhite;
    // The syntax styles (KorvexStyle order) and the 16 breakpoint and execution-point marker
    // styles after them. The global object's list is the lexers' style table (KorvexParser).
    std::vector<TTextStyle> TextStyles;

    int IndexOfName(const std::string &name) const;
    TTextStyle *StyleNamed(const std::string &name);
};

class TMemoSourceOptions : public TOptionExt {
public:
    TMemoSourceOptions();
    void Assign(const TMemoSourceOptions &other) { *this = other; }

    std::bitset<kMemoSourceBits> Options;
    int BlockIndent = 3;
    bool KeepTrailingBlanks = false;
    const std::string &TabStops() const { return m_tab_stops; }
    // Takes a list of columns ("3", "3,5"), each a whole number from 1 to 999 above the one
    // before; false (nothing changed) for anything else.
    [[nodiscard]] bool SetTabStops(const std::string &text);
    // The first stop is the tab width the memos use.
    int TabWidth() const;

private:
    std::string m_tab_stops = "3";
};

// The columns of a tab-stop list, or nothing when it is not one.
std::optional<std::vector<int>> parse_tab_stops(const std::string &text);

TMemoEnvOptions &GlobalMemoOptions();
TMemoSourceOptions &GlobalMemoSourceOptions();
// Both back to their defaults (tests; the styles from the built-in table), telling the memos.
void reset_memo_options();

// ---- memos that follow the options -------------------------------------------------------------

// Applies both objects to a memo and its lexer (the lexer may be null or not installed): font,
// colours (the read-only colour while the memo is read-only), margins, caret, indentation,
// virtual space, symbols, the marker colours.
void ApplyMemoOptions(QsciScintilla *memo, TKorvexLexer *lexer);
// The caret alone: a block in overwrite mode when the options ask for one, else a line.
void ApplyCaretStyle(QsciScintilla *memo);

// Keeps a memo on the options for as long as it lives: applies them now and after every change.
// `extra` runs after each application (a window's own adjustments).
class TMemoOptionsLink {
public:
    TMemoOptionsLink(QsciScintilla *memo, TKorvexLexer *lexer, std::function<void()> extra = {});
    ~TMemoOptionsLink();
    TMemoOptionsLink(const TMemoOptionsLink &) = delete;
    TMemoOptionsLink &operator=(const TMemoOptionsLink &) = delete;
    void Apply();

private:
    QsciScintilla *m_memo;
    TKorvexLexer *m_lexer;
    std::function<void()> m_extra;
    int m_id = 0;
};
// How many times the linked memos were told (tests see one per update).
int memo_options_notifications();

// ---- kept between runs -------------------------------------------------------------------------

// Reads "Environment\Editor Options" over the global objects; a missing value, one of another
// type or one out of its range keeps the default.
void LoadEditorOptions();
void SaveEditorOptions();

// ---- colour-style files ------------------------------------------------------------------------
//
// A text file: the line "Korvex colour styles 1", then one line per style
//   <name>=<background>,<text colour>,<attributes>
// the colours as six hex digits RRGGBB, the attributes any of "B", "I", "U" or "-".
[[nodiscard]] bool SaveColorStyles(const std::string &path, const std::vector<TTextStyle> &styles,
                                   std::string &error);
// Every line must name a style of the list and be well formed; on any fault nothing changes and
// `error` says what and where.
[[nodiscard]] bool LoadColorStyles(const std::string &path, std::vector<TTextStyle> &styles,
                                   std::string &error);
