// MemoSourceTag: marks and bookmarks of one text.
#include "MemoSourceTag.h"

#include <Qsci/qsciscintilla.h>

#include <algorithm>

#include "KorvexLexer.h"
#include "shell/guiHosts.h"

namespace {

// Indicator numbers (the container's range, 8-31). Drawing and the text colour go in number
// order, so the execution point's pair, after the breakpoint's, wins on a shared byte.
constexpr int kBreakpointBox = 20;
constexpr int kBreakpointText = 21;
constexpr int kExecutionBox = 22;
constexpr int kExecutionText = 23;
// The bookmarks' marker (the error line has 20, the fold markers 25-31), in the symbol margin
// beside the line numbers.
constexpr int kBookmarkMarker = 19;
constexpr int kBookmarkMargin = 1;
constexpr int kBookmarkMarginWidth = 12;

int box_of(TMemoSourceTag::Mark kind)
{
    return kind == TMemoSourceTag::Mark::Breakpoint ? kBreakpointBox : kExecutionBox;
}

void define_mark(QsciScintilla *view, int box, int text, int style)
{
    const TTextStyle &look = korvex_style(style);
    view->indicatorDefine(QsciScintilla::FullBoxIndicator, box);
    view->setIndicatorForegroundColor(colour_of(look.Color), box);
    view->setIndicatorDrawUnder(true, box);
    view->SendScintilla(QsciScintillaBase::SCI_INDICSETALPHA, box, 255L);
    view->SendScintilla(QsciScintillaBase::SCI_INDICSETOUTLINEALPHA, box, 255L);
    view->indicatorDefine(QsciScintilla::TextColorIndicator, text);
    view->setIndicatorForegroundColor(colour_of(look.FontColor), text);
}

} // namespace

void TMemoSourceTag::Attach(QsciScintilla *view)
{
    if (std::find(m_views.begin(), m_views.end(), view) != m_views.end())
        return;
    DefineLooks(view);
    view->markerDefine(QsciScintilla::Bookmark, kBookmarkMarker);
    view->setMarkerBackgroundColor(QColor(0x00, 0x00, 0x80), kBookmarkMarker);
    view->setMarkerForegroundColor(QColor(0x00, 0x00, 0x80), kBookmarkMarker);
    view->setMarginType(kBookmarkMargin, QsciScintilla::SymbolMargin);
    view->setMarginWidth(kBookmarkMargin, kBookmarkMarginWidth);
    view->setMarginMarkerMask(kBookmarkMargin, 1 << kBookmarkMarker);
    m_views.push_back(view);
}

void TMemoSourceTag::Detach(QsciScintilla *view) { std::erase(m_views, view); }

void TMemoSourceTag::DefineLooks(QsciScintilla *view)
{
    define_mark(view, kBreakpointBox, kBreakpointText, kStyleBreakpointMarks);
    define_mark(view, kExecutionBox, kExecutionText, kStyleExecutionMarks);
}

long TMemoSourceTag::ByteAt(TTextPosition at) const
{
    QsciScintilla *view = View();
    if (!view || at.line < 0 || at.column < 0 || at.line >= view->lines())
        return -1;
    const long start = view->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, at.line);
    const long end = view->SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, at.line);
    return at.column < end - start ? start + at.column : -1;
}

TTextPosition TMemoSourceTag::PositionOf(long byte) const
{
    QsciScintilla *view = View();
    const long line = view->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, byte);
    const long start = view->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line);
    return {static_cast<int>(line), static_cast<int>(byte - start)};
}

bool TMemoSourceTag::SetMark(Mark kind, TTextPosition at)
{
    const long byte = ByteAt(at);
    if (byte < 0)
        return false;
    if (kind == Mark::ExecutionPoint)
        ClearExecutionPoint();
    QsciScintilla *view = View();
    const int box = box_of(kind);
    for (int indicator : {box, box + 1}) {
        view->SendScintilla(QsciScintillaBase::SCI_SETINDICATORCURRENT, indicator);
        view->SendScintilla(QsciScintillaBase::SCI_INDICATORFILLRANGE, byte, 1L);
    }
    return true;
}

void TMemoSourceTag::ClearMarksAt(TTextPosition at)
{
    const long byte = ByteAt(at);
    if (byte < 0)
        return;
    for (int indicator : {kBreakpointBox, kBreakpointText, kExecutionBox, kExecutionText}) {
        View()->SendScintilla(QsciScintillaBase::SCI_SETINDICATORCURRENT, indicator);
        View()->SendScintilla(QsciScintillaBase::SCI_INDICATORCLEARRANGE, byte, 1L);
    }
}

namespace {
void clear_indicators(QsciScintilla *view, std::initializer_list<int> indicators)
{
    const long length = view->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
    for (int indicator : indicators) {
        view->SendScintilla(QsciScintillaBase::SCI_SETINDICATORCURRENT, indicator);
        view->SendScintilla(QsciScintillaBase::SCI_INDICATORCLEARRANGE, 0L, length);
    }
}
} // namespace

void TMemoSourceTag::ClearExecutionPoint()
{
    if (View())
        clear_indicators(View(), {kExecutionBox, kExecutionText});
}

void TMemoSourceTag::ClearAllMarks()
{
    if (View())
        clear_indicators(View(), {kBreakpointBox, kBreakpointText, kExecutionBox, kExecutionText});
}

// Every byte an indicator covers, walking its runs.
std::vector<long> TMemoSourceTag::MarkedBytes(int box_indicator) const
{
    std::vector<long> bytes;
    QsciScintilla *view = View();
    if (!view)
        return bytes;
    const long length = view->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
    long at = 0;
    while (at < length) {
        const long end =
            view->SendScintilla(QsciScintillaBase::SCI_INDICATOREND, box_indicator, at);
        const long run_end = end > at ? std::min(end, length) : length;
        if (view->SendScintilla(QsciScintillaBase::SCI_INDICATORVALUEAT, box_indicator, at))
            for (long b = at; b < run_end; ++b)
                bytes.push_back(b);
        at = run_end;
    }
    return bytes;
}

std::optional<TTextPosition> TMemoSourceTag::ExecutionPoint() const
{
    const std::vector<long> bytes = MarkedBytes(kExecutionBox);
    if (bytes.empty())
        return std::nullopt;
    return PositionOf(bytes.front());
}

std::vector<TTextPosition> TMemoSourceTag::Breakpoints() const
{
    std::vector<TTextPosition> marks;
    for (long byte : MarkedBytes(kBreakpointBox))
        marks.push_back(PositionOf(byte));
    return marks;
}

std::optional<TMemoSourceTag::Mark> TMemoSourceTag::ShownAt(TTextPosition at) const
{
    const long byte = ByteAt(at);
    if (byte < 0)
        return std::nullopt;
    if (View()->SendScintilla(QsciScintillaBase::SCI_INDICATORVALUEAT, kExecutionBox, byte))
        return Mark::ExecutionPoint;
    if (View()->SendScintilla(QsciScintillaBase::SCI_INDICATORVALUEAT, kBreakpointBox, byte))
        return Mark::Breakpoint;
    return std::nullopt;
}

TTextPosition TMemoSourceTag::Nearest(TTextPosition at) const
{
    QsciScintilla *view = View();
    const int line = std::clamp(at.line, 0, std::max(0, view->lines() - 1));
    const long start = view->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line);
    const long end = view->SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, line);
    return {line, static_cast<int>(std::clamp<long>(at.column, 0, end - start))};
}

void TMemoSourceTag::SetBookmark(int number, TTextPosition at)
{
    if (number < 0 || number >= kBookmarkCount || !View())
        return;
    ClearBookmark(number);
    const TTextPosition place = Nearest(at);
    BookmarkPlace &mark = m_bookmarks[static_cast<std::size_t>(number)];
    mark.handle = View()->markerAdd(place.line, kBookmarkMarker);
    mark.column = place.column;
}

void TMemoSourceTag::ClearBookmark(int number)
{
    if (number < 0 || number >= kBookmarkCount)
        return;
    BookmarkPlace &mark = m_bookmarks[static_cast<std::size_t>(number)];
    if (mark.handle >= 0 && View())
        View()->markerDeleteHandle(mark.handle);
    mark = BookmarkPlace{};
}

void TMemoSourceTag::ToggleBookmark(int number, TTextPosition at)
{
    const std::optional<TTextPosition> old = Bookmark(number);
    if (old && *old == Nearest(at))
        ClearBookmark(number);
    else
        SetBookmark(number, at);
}

std::optional<TTextPosition> TMemoSourceTag::Bookmark(int number) const
{
    if (number < 0 || number >= kBookmarkCount || !View())
        return std::nullopt;
    const BookmarkPlace &mark = m_bookmarks[static_cast<std::size_t>(number)];
    if (mark.handle < 0)
        return std::nullopt;
    const int line = View()->markerLine(mark.handle);
    if (line < 0)
        return std::nullopt; // the text it marked is gone
    return Nearest({line, mark.column});
}
