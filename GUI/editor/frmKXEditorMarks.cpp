// frmKXEditor: the editor's marks, its breakpoint toggles and its bookmarks. The debugger sets
// and clears marks through the adapters (`cTextEdit`); the toggles ask the debugger, which
// reads the caret and the file name back through the same adapter.
#include "frmKXEditor.h"

#include <charconv>
#include <filesystem>
#include <sstream>
#include <optional>
#include <string_view>

#include "driver/CC_GO.h"
#include "core/CC_MISC.h"
#include "FileReplace.h"
#include "RegularFile.h"
#include "core/SEAM_TARGET.h"
#include "shell/frmKXMain.h"
#include "shell/guiHosts.h"

namespace {

namespace fs = std::filesystem;

constexpr const char *kNoBreakpointSupport = "Breakpoint support not enabled on target.";
constexpr const char *kNoMoreBreakpoints =
    "Cannot add any more breakpoints.\nRemove a breakpoint, or increase the number of "
    "breakpoints\n  supported in the debugger options";

constexpr int kPackedMax = static_cast<int>(kPackedPositionMax);

TTextPosition position_of(uint32_t packed)
{
    return {static_cast<int>(position_line(packed)), static_cast<int>(position_column(packed))};
}

void error_box(const std::string &text)
{
    ShowAppMessageBox(text, GetResString(kMsgErrorCaption), kMbOk | kMbIconError);
}

// A ".bmk" field: a whole decimal number in 32 bits, nothing around it.
std::optional<int> bookmark_field(std::string_view text)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// number "," column "," line, each a whole number; the number 0 to 10, the place not negative.
// Why the line cannot be read, or nothing when it can.
std::optional<std::string> parse_bookmark(std::string_view line, int &number,
                                          TTextPosition &at)
{
    std::string_view fields[3];
    std::size_t count = 0;
    for (std::size_t start = 0;;) {
        const std::size_t comma = line.find(',', start);
        if (count == 3)
            return "it holds more than three fields";
        const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
        fields[count++] = line.substr(start, end - start);
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    if (count < 3)
        return "it needs three numbers: the bookmark, its column and its line";
    int values[3] = {};
    for (std::size_t i = 0; i < 3; ++i) {
        const std::optional<int> value = bookmark_field(fields[i]);
        if (!value)
            return "'" + std::string(fields[i]) + "' is not a whole number";
        values[i] = *value;
    }
    if (values[0] < 0 || values[0] >= TMemoSourceTag::kBookmarkCount)
        return "there is no bookmark " + std::to_string(values[0]);
    if (values[1] < 0 || values[2] < 0)
        return "a column or line cannot be negative";
    number = values[0];
    at = {values[2], values[1]};
    return std::nullopt;
}

} // namespace

// ---- marks -----------------------------------------------------------------------------------

// The execution point takes the caret to its byte (as near as the line allows) even when its
// column lies past the line's end, where nothing is drawn.
void TfrmEdit::SetLineMark(uint32_t packed, const TMarkKind &kind)
{
    TFlagScope marking(m_marking);
    const TTextPosition at = position_of(packed);
    if (same_mark_kind(kind, kExecutionPointMark)) {
        m_tag->SetMark(TMemoSourceTag::Mark::ExecutionPoint, at);
        if (at.line < m_editor->lines()) {
            const int length = static_cast<int>(GetLineText(at.line).size());
            m_editor->setCursorPosition(at.line, std::min(at.column, length));
            m_editor->ensureLineVisible(at.line);
        }
    } else if (same_mark_kind(kind, kBreakpointMark)) {
        m_tag->SetMark(TMemoSourceTag::Mark::Breakpoint, at);
    }
}

void TfrmEdit::ClearLineMark(uint32_t packed)
{
    TFlagScope marking(m_marking);
    m_tag->ClearMarksAt(position_of(packed));
}

void TfrmEdit::ClearExecutionPoint()
{
    TFlagScope marking(m_marking);
    m_tag->ClearExecutionPoint();
}

// The marks go first, so that they are gone even when the debugger cannot be told.
void TfrmEdit::ClearDebugMarks()
{
    TFlagScope marking(m_marking);
    int line = 0, column = 0;
    m_editor->getCursorPosition(&line, &column);
    m_tag->ClearAllMarks();
    m_editor->setCursorPosition(line, column);
    target_operations().forgetBreakpoints();
}

void TfrmEdit::JoinMemoSource(TfrmEdit *other)
{
    if (!other || other == this || other->m_tag == m_tag)
        return;
    m_tag->Detach(m_editor);
    m_editor->setDocument(other->m_editor->document());
    m_tag = other->m_tag;
    m_tag->Attach(m_editor);
    UpdateCaption();
}

// A caret past line or column 65534 has no source position a compile records (they count from
// 1 in 16 bits there), so there is nothing to toggle. A mark of the statement under the caret
// goes before the toggle, which may then put it back.
void TfrmEdit::ToggleBreakpointAtCursor()
{
    TargetOperations &debugger = target_operations();
    if (!debugger.areBreakpointsEnabled()) {
        error_box(kNoBreakpointSupport);
        return;
    }
    int line = 0, column = 0;
    m_editor->getCursorPosition(&line, &column);
    if (line >= kPackedMax || column >= kPackedMax)
        return;
    if (!m_tag->Breakpoints().empty()) {
        BreakpointTables &tables = breakpoint_tables();
        const uint32_t address =
            tables.lookupAddressBySource(upper_case(m_file_name), static_cast<uint16_t>(line + 1),
                                         static_cast<uint16_t>(column + 1));
        source_item item;
        if ((address & 0xFFFF) != 0 &&
            tables.lookupBreakpointByAddress(address, SourceTable::Line, item) && item.line > 0 &&
            item.column > 0)
            ClearLineMark(pack_position(item.line - 1u, item.column - 1u));
    }
    if (debugger.toggleBreakpoint(m_text_edit))
        m_main->ResumePolling();
    else
        error_box(kNoMoreBreakpoints);
}

// A refusal is told as the soft toggle's is. A failure on the way resets the compile state
// (the status box closes with it), is shown, and ends debugging, whose target can no longer be
// trusted to hold the breakpoints the editor shows. What fails while debugging ends tells
// nothing beyond the error already shown.
void TfrmEdit::ToggleHardBreakpointAtCursor()
{
    try {
        if (!target_operations().toggleHardBreakpoint(m_text_edit)) {
            error_box(kNoMoreBreakpoints);
            return;
        }
        m_main->ResumePolling();
    } catch (xErr &error) {
        reset_compile_mode();
        gDialogControl.CloseStatusBox();
        error.ShowError();
        if (m_main->DebugMode() != 0) {
            try {
                m_main->SetDebugMode(0);
            } catch (xErr &) {
            }
        }
    }
}

// ---- bookmarks -------------------------------------------------------------------------------

std::string TfrmEdit::BookmarkFileName() const
{
    return fs::path(normalize_separators(m_file_name)).replace_extension(".bmk").string();
}

// One "number,column,line" a line; the caret is left at the last bookmark read. Blank lines
// are passed over.
void TfrmEdit::LoadBookmarks()
{
    const std::string name = BookmarkFileName();
    // Only an ordinary file: a FIFO in its place would hold the editor's opening, a device
    // would be read without end. Ten bookmarks never fill a megabyte.
    std::string bytes;
    if (read_regular_text(name, std::size_t(1) << 20, bytes) != RegularFileStatus::Read)
        return;
    std::istringstream in(bytes);
    int line_number = 0;
    for (std::string text; std::getline(in, text);) {
        ++line_number;
        while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
            text.pop_back();
        if (text.empty())
            continue;
        int number = 0;
        TTextPosition at;
        if (const std::optional<std::string> why = parse_bookmark(text, number, at)) {
            ShowAppMessageBox("The bookmarks of '" + name + "' stop at its line " +
                                  std::to_string(line_number) + ": " + *why +
                                  ". The bookmarks before that line are kept.",
                              GetResString(kMsgWarningCaption), kMbOk | kMbIconWarning);
            return;
        }
        m_tag->SetBookmark(number, at);
        if (const std::optional<TTextPosition> set = m_tag->Bookmark(number))
            m_editor->setCursorPosition(set->line, set->column);
    }
}

// The new file goes beside the old one and then takes its place, so a failed write leaves the
// old bookmarks; a failure is not told.
void TfrmEdit::SaveBookmarks()
{
    std::error_code ec;
    if (!fs::is_regular_file(normalize_separators(m_file_name), ec))
        return;
    std::string text;
    for (int number = 0; number < TMemoSourceTag::kBookmarkCount; ++number)
        if (const std::optional<TTextPosition> at = m_tag->Bookmark(number))
            text += std::to_string(number) + "," + std::to_string(at->column) + "," +
                    std::to_string(at->line) + "\r\n";
    const std::string name = BookmarkFileName();
    if (text.empty()) {
        fs::remove(name, ec);
        return;
    }
    std::string reason;
    (void)replace_file_contents(name, text, reason);
}

void TfrmEdit::ToggleBookmarkClick(int number)
{
    int line = 0, column = 0;
    m_editor->getCursorPosition(&line, &column);
    m_tag->ToggleBookmark(number, {line, column});
}

void TfrmEdit::GotoBookmarkClick(int number)
{
    const std::optional<TTextPosition> at = m_tag->Bookmark(number);
    if (!at)
        return;
    m_editor->setCursorPosition(at->line, at->column);
    m_editor->ensureLineVisible(at->line);
}
