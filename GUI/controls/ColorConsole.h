// ColorConsole: `TColorConsole`, the model of a character console: a screen of Rows x Cols cells,
// each a byte with its text and background colour, a cursor, a selection, a tab width and the
// tracking options. No Qt: the stdio window draws it (`TColorConsoleView`) and feeds it, and
// its escape machine drives it through the operations below.
//
// Writing: `WriteString` hands the whole run to the control-code hook when one is set (the
// window's escape machine), which passes the bytes it keeps through
// `DefaultProcessControlCodes`; without a hook the bytes go there directly. There a byte is
// written at the cursor in the font's colours and the cursor moves on, wrapping at the last
// column (the wrap happens when the next character comes); LF ends the line (the line break is LF alone), CR goes to column 0, BS one column
// back, TAB to the next multiple of the tab width, BEL and NUL show nothing. A line feed on the
// last row scrolls the screen up one row; the top row is lost.
//
// The cursor always lies on the screen: every move is kept inside 0..Cols-1 and 0..Rows-1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "settings/guiKXPreferences.h"

// The console's options, a set of bits.
enum TConsoleOption : uint8_t {
    coLazyWrite = 1,     // repaint once after a run of writes, not after each byte
    coAutoTrackingX = 2, // the view scrolls sideways to keep the cursor in sight
    coAutoTrackingY = 4, // ... and up or down
};

// The colours the console writes with: text and background.
struct TFixedFont {
    TColor Color = clBlack;
    TColor BkColor = clWhite;
    void SetColor(TColor colour) { Color = colour; }
    void SetBkColor(TColor colour) { BkColor = colour; }
};

struct TConsoleCell {
    uint8_t ch = ' ';
    TColor color = clBlack;
    TColor bk_color = clWhite;
    bool operator==(const TConsoleCell &) const = default;
};

struct TConsolePoint {
    int X = 0; // column from 0
    int Y = 0; // row from 0
    bool operator==(const TConsolePoint &) const = default;
};

class TColorConsole {
public:
    // The limits of the screen; counts outside are brought inside.
    static constexpr int kMaxCols = 512;
    static constexpr int kMaxRows = 10000;

    TColorConsole();

    int Rows() const { return m_rows; }
    int Cols() const { return m_cols; }
    // A new size empties the screen and puts the cursor home.
    void SetRows(int rows);
    void SetCols(int cols);
    uint8_t Options() const { return m_options; }
    void SetOptions(uint8_t options) { m_options = options; }
    int SpacesInTab() const { return m_spaces_in_tab; }
    void SetSpacesInTab(int spaces);

    // The control's own colour (the screen behind the cells) and text colour.
    TColor Color() const { return m_color; }
    void SetColor(TColor colour) { m_color = colour; }
    TColor TextColor() const { return m_text_color; }
    void SetTextColor(TColor colour) { m_text_color = colour; }
    TFixedFont &Font() { return m_font; }
    const TFixedFont &Font() const { return m_font; }

    // Every run of text written goes to the hook (when set) instead of the default handling.
    using ControlCodeHook = std::function<void(const uint8_t *bytes, std::size_t count)>;
    void SetProcessControlCodes(ControlCodeHook hook) { m_hook = std::move(hook); }
    void WriteString(const uint8_t *bytes, std::size_t count);
    void WriteString(const std::string &text)
    {
        WriteString(reinterpret_cast<const uint8_t *>(text.data()), text.size());
    }
    void DefaultProcessControlCodes(const uint8_t *bytes, std::size_t count);

    TConsolePoint GetCursor() const { return m_cursor; }
    // Kept on the screen.
    void SetCursor(TConsolePoint at);
    // Every cell blank in the font's background colour, which becomes the screen's; cursor home.
    void ClrScr();
    // Blank from the cursor to the end of its row in the font's background colour.
    void ClrEol();
    // Text already shown in the old colour takes the new one.
    void ChangeFgColorTo(TColor old_colour, TColor new_colour);
    void ChangeBkColorTo(TColor old_colour, TColor new_colour);

    // The cell at a position (a blank in the screen's colour where nothing was written).
    TConsoleCell Cell(int col, int row) const;
    // Row text without trailing blanks that were never written.
    std::string RowText(int row) const;
    // The rows that hold anything (the last written row + 1), for the view's extent.
    int UsedRows() const;

    // The selection runs from the anchor to the extent, in reading order, both cells included.
    void SetSelection(TConsolePoint anchor, TConsolePoint extent);
    void ClearSelection() { m_has_selection = false; }
    bool HasSelection() const { return m_has_selection; }
    bool IsSelected(int col, int row) const;
    // The selected text, rows joined by "\n", trailing blanks of each row dropped.
    std::string SelectedText() const;

    // Raised by every change; the view repaints when it moved.
    uint64_t Revision() const { return m_revision; }

private:
    void PutByte(uint8_t byte);
    void LineFeed();
    void Touch() { ++m_revision; }
    std::vector<TConsoleCell> &RowCells(int row);
    void Resize();

    int m_rows = 25;
    int m_cols = 80;
    uint8_t m_options = coLazyWrite;
    int m_spaces_in_tab = 8;
    TColor m_color = clWhite;
    TColor m_text_color = clBlack;
    TFixedFont m_font;
    TColor m_screen_bk = clWhite;
    ControlCodeHook m_hook;
    TConsolePoint m_cursor;
    bool m_wrap_pending = false; // the last column was written: the next character wraps
    // Only written cells are kept: a row is as long as its last written cell.
    std::deque<std::vector<TConsoleCell>> m_cells;
    bool m_has_selection = false;
    TConsolePoint m_anchor, m_extent;
    uint64_t m_revision = 0;
};
