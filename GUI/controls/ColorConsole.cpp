// ColorConsole: the console model's screen, cursor, colours and selection.
#include "ColorConsole.h"

#include <algorithm>

TColorConsole::TColorConsole() { Resize(); }

void TColorConsole::Resize()
{
    m_cells.assign(static_cast<std::size_t>(m_rows), {});
    m_cursor = {};
    m_wrap_pending = false;
    m_has_selection = false;
    Touch();
}

void TColorConsole::SetRows(int rows)
{
    m_rows = std::clamp(rows, 1, kMaxRows);
    Resize();
}

void TColorConsole::SetCols(int cols)
{
    m_cols = std::clamp(cols, 1, kMaxCols);
    Resize();
}

void TColorConsole::SetSpacesInTab(int spaces) { m_spaces_in_tab = std::max(spaces, 1); }

void TColorConsole::WriteString(const uint8_t *bytes, std::size_t count)
{
    if (count == 0)
        return;
    if (m_hook)
        m_hook(bytes, count);
    else
        DefaultProcessControlCodes(bytes, count);
}

void TColorConsole::DefaultProcessControlCodes(const uint8_t *bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        PutByte(bytes[i]);
    Touch();
}

std::vector<TConsoleCell> &TColorConsole::RowCells(int row)
{
    return m_cells[static_cast<std::size_t>(row)];
}

void TColorConsole::LineFeed()
{
    m_wrap_pending = false;
    m_cursor.X = 0;
    if (m_cursor.Y + 1 < m_rows) {
        ++m_cursor.Y;
        return;
    }
    m_cells.pop_front();
    m_cells.emplace_back();
    if (m_has_selection) {
        --m_anchor.Y;
        --m_extent.Y;
        if (m_anchor.Y < 0 && m_extent.Y < 0)
            m_has_selection = false;
        m_anchor.Y = std::max(m_anchor.Y, 0);
        m_extent.Y = std::max(m_extent.Y, 0);
    }
}

void TColorConsole::PutByte(uint8_t byte)
{
    switch (byte) {
    case 0x00:
    case 0x07:
        return;
    case 0x08:
        m_wrap_pending = false;
        m_cursor.X = std::max(m_cursor.X - 1, 0);
        return;
    case 0x09: {
        const int next = (m_cursor.X / m_spaces_in_tab + 1) * m_spaces_in_tab;
        if (next >= m_cols)
            LineFeed();
        else
            m_cursor.X = next;
        return;
    }
    case 0x0A:
        LineFeed();
        return;
    case 0x0D:
        m_wrap_pending = false;
        m_cursor.X = 0;
        return;
    default:
        break;
    }
    if (m_wrap_pending)
        LineFeed();
    std::vector<TConsoleCell> &row = RowCells(m_cursor.Y);
    const auto col = static_cast<std::size_t>(m_cursor.X);
    if (row.size() <= col)
        row.resize(col + 1, TConsoleCell{' ', m_font.Color, m_screen_bk});
    row[col] = TConsoleCell{byte, m_font.Color, m_font.BkColor};
    // At the last column the cursor waits there: the next character wraps, a line feed or a
    // move does not add an empty line.
    if (m_cursor.X + 1 < m_cols)
        ++m_cursor.X;
    else
        m_wrap_pending = true;
}

void TColorConsole::SetCursor(TConsolePoint at)
{
    m_wrap_pending = false;
    m_cursor.X = std::clamp(at.X, 0, m_cols - 1);
    m_cursor.Y = std::clamp(at.Y, 0, m_rows - 1);
    Touch();
}

void TColorConsole::ClrScr()
{
    m_screen_bk = m_font.BkColor;
    for (auto &row : m_cells)
        row.clear();
    m_cursor = {};
    m_wrap_pending = false;
    m_has_selection = false;
    Touch();
}

void TColorConsole::ClrEol()
{
    std::vector<TConsoleCell> &row = RowCells(m_cursor.Y);
    const auto col = static_cast<std::size_t>(m_cursor.X);
    const TConsoleCell blank{' ', m_font.Color, m_font.BkColor};
    if (row.size() <= col)
        row.resize(col, TConsoleCell{' ', m_font.Color, m_screen_bk});
    row.resize(static_cast<std::size_t>(m_cols), blank);
    std::fill(row.begin() + static_cast<std::ptrdiff_t>(col), row.end(), blank);
    Touch();
}

void TColorConsole::ChangeFgColorTo(TColor old_colour, TColor new_colour)
{
    for (auto &row : m_cells)
        for (TConsoleCell &cell : row)
            if (cell.color == old_colour)
                cell.color = new_colour;
    Touch();
}

void TColorConsole::ChangeBkColorTo(TColor old_colour, TColor new_colour)
{
    for (auto &row : m_cells)
        for (TConsoleCell &cell : row)
            if (cell.bk_color == old_colour)
                cell.bk_color = new_colour;
    if (m_screen_bk == old_colour)
        m_screen_bk = new_colour;
    Touch();
}

TConsoleCell TColorConsole::Cell(int col, int row) const
{
    const TConsoleCell blank{' ', m_font.Color, m_screen_bk};
    if (row < 0 || row >= m_rows || col < 0)
        return blank;
    const auto &cells = m_cells[static_cast<std::size_t>(row)];
    return static_cast<std::size_t>(col) < cells.size() ? cells[static_cast<std::size_t>(col)]
                                                        : blank;
}

std::string TColorConsole::RowText(int row) const
{
    if (row < 0 || row >= m_rows)
        return {};
    std::string text;
    for (const TConsoleCell &cell : m_cells[static_cast<std::size_t>(row)])
        text.push_back(static_cast<char>(cell.ch));
    return text;
}

int TColorConsole::UsedRows() const
{
    for (int row = m_rows - 1; row >= 0; --row)
        if (!m_cells[static_cast<std::size_t>(row)].empty())
            return std::max(row, m_cursor.Y) + 1;
    return m_cursor.Y + 1;
}

namespace {
bool before(TConsolePoint a, TConsolePoint b) { return a.Y < b.Y || (a.Y == b.Y && a.X < b.X); }
} // namespace

void TColorConsole::SetSelection(TConsolePoint anchor, TConsolePoint extent)
{
    auto inside = [this](TConsolePoint p) {
        return TConsolePoint{std::clamp(p.X, 0, m_cols - 1), std::clamp(p.Y, 0, m_rows - 1)};
    };
    m_anchor = inside(anchor);
    m_extent = inside(extent);
    m_has_selection = true;
    Touch();
}

bool TColorConsole::IsSelected(int col, int row) const
{
    if (!m_has_selection)
        return false;
    TConsolePoint first = m_anchor, last = m_extent;
    if (before(last, first))
        std::swap(first, last);
    const TConsolePoint at{col, row};
    return !before(at, first) && !before(last, at);
}

std::string TColorConsole::SelectedText() const
{
    if (!m_has_selection)
        return {};
    TConsolePoint first = m_anchor, last = m_extent;
    if (before(last, first))
        std::swap(first, last);
    std::string text;
    for (int row = first.Y; row <= last.Y; ++row) {
        const std::string line = RowText(row);
        const int from = row == first.Y ? first.X : 0;
        const int to = row == last.Y ? last.X + 1 : m_cols;
        std::string part;
        if (static_cast<std::size_t>(from) < line.size())
            part = line.substr(static_cast<std::size_t>(from),
                               static_cast<std::size_t>(std::max(to - from, 0)));
        while (!part.empty() && part.back() == ' ')
            part.pop_back();
        if (row != first.Y)
            text += '\n';
        text += part;
    }
    return text;
}
