// MemoSourceTag: `TMemoSourceTag`, the marker state of one text that one or more editor windows
// show (the views of one QsciDocument): the debugger's breakpoint marks and its execution
// point, and the numbered bookmarks.
//
// A mark covers one byte (the editors keep Latin-1 text, one byte a character). It is a pair
// of indicators on that byte: a box under the text in the kind's background colour and the
// kind's text colour over the character, so the character keeps the bold, italic or underline
// of its own style. Indicators live in the document, so every view shows them, they move with
// the text when it is edited, and setting them neither changes the text nor its modified flag
// and works on read-only text. The execution point's indicators come after the breakpoint's,
// so on one byte the execution point is what shows. At most one execution point exists.
//
// A bookmark is a marker on its line (so it follows the line when text above it changes) and
// the column within that line; columns past the line's end count as its end.
#pragma once

#include <array>
#include <optional>
#include <vector>

class QsciScintilla;

// A place in the text: line and byte column, both from 0.
struct TTextPosition {
    int line = 0;
    int column = 0;
    bool operator==(const TTextPosition &) const = default;
};

class TMemoSourceTag {
public:
    enum class Mark { Breakpoint, ExecutionPoint };
    // Bookmark numbers 0 to 10 (the menus' "Bookmark &0" is 10).
    static constexpr int kBookmarkCount = 11;

    // A window's view joins the text: it gets the marks' and bookmarks' looks. The views
    // share one document; the tag works through the first one that is still attached.
    void Attach(QsciScintilla *view);
    void Detach(QsciScintilla *view);
    // The marks' looks from the style table (again after the styles changed).
    static void DefineLooks(QsciScintilla *view);
    // How many further views show the text (0 when one window does).
    int ShareCount() const { return static_cast<int>(m_views.size()) - 1; }
    const std::vector<QsciScintilla *> &Views() const { return m_views; }

    // Marks the byte; false (nothing marked) when the column is not inside the line. An
    // execution point replaces the one before it.
    bool SetMark(Mark kind, TTextPosition at);
    // Takes both kinds of mark off the byte.
    void ClearMarksAt(TTextPosition at);
    void ClearExecutionPoint();
    void ClearAllMarks();
    std::optional<TTextPosition> ExecutionPoint() const;
    // The bytes with a breakpoint mark, in text order.
    std::vector<TTextPosition> Breakpoints() const;
    // The mark that shows on the byte: the execution point over a breakpoint.
    std::optional<Mark> ShownAt(TTextPosition at) const;

    // A number outside 0 to 10 does nothing (or has no bookmark). A position outside the text
    // is taken to its nearest place in it.
    void SetBookmark(int number, TTextPosition at);
    void ClearBookmark(int number);
    // Sets the bookmark at the place, or clears it when it is already there.
    void ToggleBookmark(int number, TTextPosition at);
    std::optional<TTextPosition> Bookmark(int number) const;

private:
    QsciScintilla *View() const { return m_views.empty() ? nullptr : m_views.front(); }
    // The byte offset of a position inside its line, or -1.
    long ByteAt(TTextPosition at) const;
    std::vector<long> MarkedBytes(int box_indicator) const;
    TTextPosition PositionOf(long byte) const;
    TTextPosition Nearest(TTextPosition at) const;

    struct BookmarkPlace {
        int handle = -1; // the marker's handle, -1 when the bookmark is not set
        int column = 0;
    };
    std::vector<QsciScintilla *> m_views;
    std::array<BookmarkPlace, kBookmarkCount> m_bookmarks{};
};
