// The editor's marks as the debugger sets them through the adapter, the breakpoint toggles,
// and what the adapter reads of the text.
#include "GuiHarness.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "core/CC_MISC.h"
#include "editor/KorvexLexer.h"
#include "PollRecordingMain.h"
#include "core/SEAM_TARGET.h"
#include "SeamDoubles.h"
#include "core/guiExceptions.h"
#include "shell/guiHosts.h"

namespace {

using Mark = TMemoSourceTag::Mark;

constexpr const char *kSource = "int a;\n"
                                "while (a) {\n"
                                "    a = a - 1;\n"
                                "}\n";

class EditorMarks : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        headless_target_operations() = HeadlessTargetOperations();
        headless_breakpoint_tables() = HeadlessBreakpointTables();
        main = &PollRecordingMain::Make(m_main);
    }
    PollRecordingMain *main = nullptr;
    TfrmEdit *Open(const std::string &name = "m.c", const std::string &text = kSource)
    {
        TfrmEdit *editor = Main().OpenFile(Write(name, text));
        EXPECT_NE(editor, nullptr);
        return editor;
    }
    static std::vector<TTextPosition> Breakpoints(TfrmEdit *editor)
    {
        return editor->MarkerState().Breakpoints();
    }
    std::vector<std::string> &Calls() { return headless_target_operations().calls; }
    bool Called(const std::string &prefix)
    {
        for (const std::string &call : Calls())
            if (call.rfind(prefix, 0) == 0)
                return true;
        return false;
    }
    // The colour drawn behind the byte's character in the editor's view.
    // A settings colour as the pixels show it.
    static QRgb rgb(TColor colour) { return colour_of(colour).rgb() & 0xFFFFFF; }
    static QRgb BehindByte(TfrmEdit *editor, TTextPosition at)
    {
        QsciScintilla *memo = editor->Editor();
        const long start = memo->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, at.line);
        const long pos = start + at.column;
        const int x = static_cast<int>(
            memo->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL, pos));
        const int y = static_cast<int>(
            memo->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0UL, pos));
        const QImage image = memo->viewport()->grab().toImage();
        return image.pixel(x + 1, y + 1) & 0xFFFFFF;
    }
};

// Every mark change leaves the text's modified state, the caption and panel 3 as they were,
// whichever that state is.
class EditorMarksModified : public EditorMarks, public ::testing::WithParamInterface<bool> {};

TEST_P(EditorMarksModified, BreakpointMarksItsByteOnlyAndChangesNothingElse)
{
    TfrmEdit *editor = Open();
    if (GetParam())
        Type(editor, "x");
    Settle();
    const QString caption = editor->windowTitle();
    const QString panel = Main().StatusPanel(3)->text();
    TEditorInterface *edit = editor->GetTextEdit();
    edit->SetLineMark(pack_position(2, 4), kBreakpointMark);
    edit->SetLineMark(pack_position(2, 4), kBreakpointMark);
    Settle();
    EXPECT_EQ(Breakpoints(editor), (std::vector<TTextPosition>{{2, 4}}));
    EXPECT_EQ(editor->MarkerState().ShownAt({2, 4}), Mark::Breakpoint);
    EXPECT_EQ(editor->MarkerState().ShownAt({2, 3}), std::nullopt);
    EXPECT_EQ(editor->MarkerState().ShownAt({2, 5}), std::nullopt);
    EXPECT_EQ(editor->IsModified(), GetParam());
    EXPECT_EQ(editor->windowTitle(), caption);
    EXPECT_EQ(Main().StatusPanel(3)->text(), panel);
    edit->UpdateMarkers(pack_position(2, 4));
    Settle();
    EXPECT_TRUE(Breakpoints(editor).empty()) << "one clear takes a mark set twice";
    EXPECT_EQ(editor->IsModified(), GetParam());
    EXPECT_EQ(editor->windowTitle(), caption);
    EXPECT_FALSE(editor->Marking());
}
INSTANTIATE_TEST_SUITE_P(All, EditorMarksModified, ::testing::Bool(),
                         [](const auto &i) { return i.param ? "Modified" : "Unmodified"; });

// Marks are drawn behind the character in the kind's colour; on a byte with both kinds the
// execution point shows. The character keeps its own style (bold for a reserved word).
TEST_F(EditorMarks, DrawnInTheKindsColourWithTheExecutionPointOnTop)
{
    TfrmEdit *editor = Open();
    editor->GetTextEdit()->SetLineMark(pack_position(1, 0), kBreakpointMark);
    editor->GetTextEdit()->SetLineMark(pack_position(1, 7), kBreakpointMark);
    editor->GetTextEdit()->SetLineMark(pack_position(1, 7), kExecutionPointMark);
    Settle();
    EXPECT_EQ(editor->MarkerState().ShownAt({1, 7}), Mark::ExecutionPoint);
    EXPECT_EQ(BehindByte(editor, {1, 0}), rgb(korvex_style(kStyleBreakPoint).Color));
    EXPECT_EQ(BehindByte(editor, {1, 7}), rgb(korvex_style(kStyleExecutionPoint).Color));
    EXPECT_EQ(BehindByte(editor, {1, 1}), 0xFFFFFFu);
    EXPECT_EQ(editor->Editor()->SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT,
                                              editor->Editor()->positionFromLineIndex(1, 0)),
              kStyleReservedWord);
}

TEST_F(EditorMarks, MarkOfAnotherKindOrPastTheLineEndMarksNothing)
{
    TfrmEdit *editor = Open();
    editor->GetTextEdit()->SetLineMark(pack_position(0, 6), kBreakpointMark); // the line end
    editor->GetTextEdit()->SetLineMark(pack_position(0, 40), kBreakpointMark);
    editor->GetTextEdit()->SetLineMark(pack_position(9, 0), kBreakpointMark); // no such line
    editor->GetTextEdit()->SetLineMark(pack_position(0, 1), TMarkKind{{false, 1}, {false, 2}});
    EXPECT_TRUE(Breakpoints(editor).empty());
    EXPECT_EQ(editor->MarkerState().ExecutionPoint(), std::nullopt);
}

// The execution point takes the caret to its byte; a new one replaces the old.
TEST_F(EditorMarks, ExecutionPointMovesTheCaretAndIsOnlyOne)
{
    TfrmEdit *editor = Open();
    editor->GetTextEdit()->SetLineMark(pack_position(2, 4), kExecutionPointMark);
    EXPECT_EQ(editor->GetCaretPosition(), pack_position(2, 4));
    editor->GetTextEdit()->SetLineMark(pack_position(1, 3), kExecutionPointMark);
    EXPECT_EQ(editor->GetCaretPosition(), pack_position(1, 3));
    EXPECT_EQ(editor->MarkerState().ExecutionPoint(), (TTextPosition{1, 3}));
    EXPECT_EQ(editor->MarkerState().ShownAt({2, 4}), std::nullopt);
    editor->GetTextEdit()->ClearExecutionPoint();
    EXPECT_EQ(editor->MarkerState().ExecutionPoint(), std::nullopt);
}

TEST_F(EditorMarks, ClearDebugMarksTakesAllAndTellsTheDebugger)
{
    TfrmEdit *editor = Open();
    editor->GetTextEdit()->SetLineMark(pack_position(0, 0), kBreakpointMark);
    editor->GetTextEdit()->SetLineMark(pack_position(2, 4), kBreakpointMark);
    editor->GetTextEdit()->SetLineMark(pack_position(1, 2), kExecutionPointMark);
    editor->Editor()->setCursorPosition(3, 1);
    editor->ClearDebugMarks();
    EXPECT_TRUE(Breakpoints(editor).empty());
    EXPECT_EQ(editor->MarkerState().ExecutionPoint(), std::nullopt);
    EXPECT_EQ(editor->GetCaretPosition(), pack_position(3, 1));
    EXPECT_TRUE(Called("forgetBreakpoints"));
    EXPECT_FALSE(editor->IsModified());
}

// A second window on the file shares the text: the marks show in both views, drawn in both.
TEST_F(EditorMarks, BothViewsOfAFileShowTheMarks)
{
    TfrmEdit *first = Open();
    TfrmEdit *second = Main().OpenFile(Path("m.c"));
    ASSERT_NE(second, first);
    EXPECT_EQ(&second->MarkerState(), &first->MarkerState());
    EXPECT_EQ(first->MarkerState().ShareCount(), 1);
    first->GetTextEdit()->SetLineMark(pack_position(1, 2), kBreakpointMark);
    second->GetTextEdit()->SetLineMark(pack_position(2, 4), kExecutionPointMark);
    Settle();
    for (TfrmEdit *view : {first, second}) {
        EXPECT_EQ(BehindByte(view, {1, 2}), rgb(korvex_style(kStyleBreakPoint).Color));
        EXPECT_EQ(BehindByte(view, {2, 4}), rgb(korvex_style(kStyleExecutionPoint).Color));
    }
    second->CloseDecided();
    Settle();
    EXPECT_EQ(first->MarkerState().ShareCount(), 0);
    EXPECT_EQ(Breakpoints(first), (std::vector<TTextPosition>{{1, 2}}));
}

// Marks stay with their character when text is put in before it, also on read-only text.
TEST_F(EditorMarks, MarksMoveWithTheTextAndWorkReadOnly)
{
    TfrmEdit *editor = Open();
    editor->actReadOnly->trigger();
    ASSERT_TRUE(editor->Editor()->isReadOnly());
    editor->GetTextEdit()->SetLineMark(pack_position(2, 4), kBreakpointMark);
    EXPECT_EQ(Breakpoints(editor), (std::vector<TTextPosition>{{2, 4}}));
    editor->actReadOnly->trigger();
    editor->Editor()->setCursorPosition(2, 0);
    Type(editor, "  ");
    editor->Editor()->setCursorPosition(0, 0);
    Type(editor, "// top\n");
    EXPECT_EQ(Breakpoints(editor), (std::vector<TTextPosition>{{3, 6}}));
    EXPECT_EQ(editor->GetLineText(3).substr(6, 1), "a");
}

// ---- texts that stretch the packed positions ------------------------------------------------

TEST_F(EditorMarks, NulBytesHighBytesAndLoneCarriageReturns)
{
    const std::string text = std::string("a\0b\xE9\r", 5) + "cd\xFF" + "\r" + "e";
    TfrmEdit *editor = Open("odd.c", text);
    EXPECT_EQ(editor->GetLineText(0), std::string("a\0b\xE9", 4));
    EXPECT_EQ(editor->GetLineText(1), "cd\xFF");
    TEditorInterface *edit = editor->GetTextEdit();
    const char *line = edit->GetLineText(0);
    ASSERT_EQ(edit->LineTextLength(), 4u);
    EXPECT_EQ(std::memcmp(line, "a\0b\xE9", 5), 0) << "every byte, then a zero";
    edit->FreeLineText();
    std::ostringstream out;
    edit->WriteText(out);
    EXPECT_EQ(out.str(), text);
    edit->SetLineMark(pack_position(0, 3), kBreakpointMark);
    edit->SetLineMark(pack_position(1, 2), kBreakpointMark);
    EXPECT_EQ(Breakpoints(editor), (std::vector<TTextPosition>{{0, 3}, {1, 2}}));
    EXPECT_EQ(edit->GetNextPosition(pack_position(0, 4)), pack_position(1, 0));
}

// A line of 70,000 bytes and 70,000 lines: nothing past 65535 can be packed, so no position
// wraps to line or column 0, and a caret out there has nothing the debugger could toggle.
TEST_F(EditorMarks, PositionsBeyondWhatPacksNeverWrap)
{
    std::string text = std::string(70000, 'y') + "\n";
    for (int i = 1; i < 70000; ++i)
        text += i == 65535 ? "last packable\n" : "x\n";
    TfrmEdit *editor = Open("big.c", text);
    TEditorInterface *edit = editor->GetTextEdit();
    edit->SetLineMark(pack_position(0, 65535), kBreakpointMark);
    edit->SetLineMark(pack_position(65535, 0), kBreakpointMark);
    EXPECT_EQ(Breakpoints(editor), (std::vector<TTextPosition>{{0, 65535}, {65535, 0}}));
    EXPECT_EQ(edit->GetNextPosition(pack_position(0, 65534)), pack_position(0, 65535));
    EXPECT_EQ(edit->GetNextPosition(pack_position(0, 65535)), pack_position(0, 65535));
    EXPECT_EQ(edit->GetNextPosition(pack_position(65535, 13)), pack_position(65535, 13));
    editor->Editor()->setCursorPosition(0, 68000);
    EXPECT_EQ(edit->GetCaretPosition(), pack_position(0, 0xFFFF));
    editor->ToggleBreakpointAtCursor();
    editor->Editor()->setCursorPosition(69999, 0);
    EXPECT_EQ(edit->GetCaretPosition(), pack_position(0xFFFF, 0));
    editor->ToggleBreakpointAtCursor();
    EXPECT_FALSE(Called("toggleBreakpoint")) << "no compile records a place out there";
    EXPECT_TRUE(m_boxes.shown.empty());
}

struct NextCase {
    const char *name;
    const char *text;
    uint32_t line, column;
    uint32_t next_line, next_column;
};
const NextCase kNext[] = {
    {"InsideTheLine", "ab\ncd\n", 0, 0, 0, 1},
    {"LastByteOfTheLine", "ab\ncd\n", 0, 1, 0, 2},
    {"LineEndGoesToTheNextLine", "ab\ncd\n", 0, 2, 1, 0},
    {"PastTheLineEnd", "ab\ncd\n", 0, 9, 1, 0},
    {"LastLineEndIsItself", "ab\ncd\n", 1, 2, 1, 2},
    {"LastLineWithoutLineEnd", "ab\ncd", 1, 2, 1, 2},
    {"EmptyLineGoesOn", "ab\n\ncd\n", 1, 0, 2, 0},
    {"WindowsLineEnds", "ab\r\ncd\r\n", 0, 2, 1, 0},
    {"NoSuchLine", "ab\n", 5, 0, 5, 0},
};
class EditorNextPosition : public EditorMarks, public ::testing::WithParamInterface<NextCase> {};
TEST_P(EditorNextPosition, AsTheDebuggerSteps)
{
    const NextCase &c = GetParam();
    TfrmEdit *editor = Open("n.c", c.text);
    EXPECT_EQ(editor->GetTextEdit()->GetNextPosition(pack_position(c.line, c.column)),
              pack_position(c.next_line, c.next_column));
}
INSTANTIATE_TEST_SUITE_P(All, EditorNextPosition, ::testing::ValuesIn(kNext),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- breakpoint toggles -------------------------------------------------------------------------

// The debugger reads the caret (line << 16 | byte column) and the whole path, however long,
// through the adapter and marks through it; a second toggle takes the breakpoint away.
TEST_F(EditorMarks, ToggleAsksTheDebuggerWithCaretAndWholePath)
{
    const std::string name = std::string(150, 'd') + "/" + std::string(150, 'e') + "/Main.c";
    TfrmEdit *editor = Open(name);
    ASSERT_GT(editor->FileName().size(), 300u);
    editor->Editor()->setCursorPosition(2, 4);
    editor->ToggleBreakpointAtCursor();
    // (The polling pause around it refreshes the status bar through the link as well.)
    EXPECT_TRUE(Called("toggleBreakpoint 0x20004 " + editor->FileName()));
    EXPECT_EQ(Breakpoints(editor), (std::vector<TTextPosition>{{2, 4}}));
    EXPECT_TRUE(m_boxes.shown.empty());
    EXPECT_EQ(main->resumes, 1) << "a toggle that succeeded resumes polling";
    editor->ToggleBreakpointAtCursor();
    EXPECT_TRUE(Breakpoints(editor).empty());
    EXPECT_FALSE(editor->IsModified());
}

struct RefusalCase {
    const char *name;
    bool supported;
    bool room;
    const char *text;
};
const RefusalCase kRefusals[] = {
    {"NoBreakpointSupport", false, true, "Breakpoint support not enabled on target."},
    {"NoMoreBreakpoints", true, false,
     "Cannot add any more breakpoints.\nRemove a breakpoint, or increase the number of "
     "breakpoints\n  supported in the debugger options"},
};
class EditorToggleRefused : public EditorMarks, public ::testing::WithParamInterface<RefusalCase> {
};
TEST_P(EditorToggleRefused, ErrorBoxAndTheMarksStay)
{
    const RefusalCase &c = GetParam();
    TfrmEdit *editor = Open();
    editor->GetTextEdit()->SetLineMark(pack_position(0, 0), kBreakpointMark);
    headless_target_operations().breakpoints_enabled = c.supported;
    headless_target_operations().toggle_result = c.room;
    editor->Editor()->setCursorPosition(2, 4);
    editor->ToggleBreakpointAtCursor();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, c.text);
    EXPECT_EQ(m_boxes.shown[0].caption, "Error");
    EXPECT_EQ(m_boxes.shown[0].flags & kMbIconMask, kMbIconError);
    EXPECT_EQ(Breakpoints(editor), (std::vector<TTextPosition>{{0, 0}}));
    EXPECT_EQ(Called("toggleBreakpoint"), c.supported);
    EXPECT_EQ(main->resumes, 0);
}
INSTANTIATE_TEST_SUITE_P(All, EditorToggleRefused, ::testing::ValuesIn(kRefusals),
                         [](const auto &i) { return std::string(i.param.name); });

// A mark at the start of the statement under the caret goes before the debugger is asked: the
// line table holds the statement at line 3, column 5 (from 1) and the caret is inside it.
TEST_F(EditorMarks, MarkOfTheStatementUnderTheCaretGoesFirst)
{
    TfrmEdit *editor = Open();
    const std::string file = upper_case(editor->FileName());
    headless_breakpoint_tables().addSourceEntry(SourceTable::Line, file, 3, 5, 0x1234);
    editor->GetTextEdit()->SetLineMark(pack_position(2, 4), kBreakpointMark);
    editor->Editor()->setCursorPosition(2, 8);
    editor->ToggleBreakpointAtCursor();
    EXPECT_EQ(Breakpoints(editor), (std::vector<TTextPosition>{{2, 8}}));
}

// A debugger failure of the hard toggle is shown, nothing is marked, and debugging (when it was
// on) ends, taking the marks it showed with it.
class EditorHardToggleFails : public EditorMarks, public ::testing::WithParamInterface<int> {};

TEST_P(EditorHardToggleFails, ShownAndDebuggingEnds)
{
    struct FailingHard : HeadlessTargetOperations {
        bool toggleHardBreakpoint(TEditorInterface &) override { throw xErr(5016, KX_HERE); }
    } failing;
    set_target_operations(&failing);
    TfrmEdit *editor = Open();
    if (GetParam() != 0)
        Main().SetDebugMode(GetParam());
    editor->GetTextEdit()->SetLineMark(pack_position(0, 0), kExecutionPointMark);
    editor->ToggleHardBreakpointAtCursor();
    const int mode_after = Main().DebugMode();
    const std::vector<std::string> calls = failing.calls;
    install_seam_doubles();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "Operation canceled by user.");
    EXPECT_EQ(m_boxes.shown[0].caption, "Error");
    EXPECT_TRUE(Breakpoints(editor).empty());
    EXPECT_EQ(mode_after, 0);
    const bool forgot =
        std::find(calls.begin(), calls.end(), "forgetBreakpoints") != calls.end();
    EXPECT_EQ(forgot, GetParam() != 0) << "leaving debugging clears the editors' marks";
    EXPECT_EQ(editor->MarkerState().ExecutionPoint().has_value(), GetParam() == 0);
}
INSTANTIATE_TEST_SUITE_P(All, EditorHardToggleFails, ::testing::Values(0, 2),
                         [](const auto &i) { return i.param ? "Debugging" : "Editing"; });

TEST_F(EditorMarks, HardToggleMarksAndARefusalIsTold)
{
    TfrmEdit *editor = Open();
    editor->Editor()->setCursorPosition(1, 0);
    editor->ToggleHardBreakpointAtCursor();
    EXPECT_TRUE(Called("toggleHardBreakpoint 0x10000 " + editor->FileName()));
    EXPECT_EQ(Breakpoints(editor), (std::vector<TTextPosition>{{1, 0}}));
    headless_target_operations().toggle_result = false;
    editor->Editor()->setCursorPosition(2, 0);
    editor->ToggleHardBreakpointAtCursor();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text.rfind("Cannot add any more breakpoints.", 0), 0u);
}

} // namespace
