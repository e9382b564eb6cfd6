// What the compiler reads of an open editor: its unsaved text, through the real compile entry,
// run on the board stand-in.
#include "IdeCompileRun.h"

#include <QTest>

#include "driver/CC_GO.h"

namespace {

using namespace compile_run;

class EditorCompile : public IdeCompileRun {};

// a.c loads 5 into A; its editor says 7 and is not saved: the compile runs the editor's 7. Once
// the editor is closed without saving, the file's 5 is compiled.
TEST_F(EditorCompile, UnsavedEditorTextIsWhatCompiles)
{
    const std::string program = "#asm\n ld a, 5\n#endasm\n";
    write("prog/main.c", program);
    TfrmEdit *editor = m_main->OpenFile(source);
    ASSERT_NE(editor, nullptr);
    editor->Editor()->setCursorPosition(1, 7);
    QTest::keyClick(editor->Editor(), Qt::Key_Delete);
    QTest::keyClicks(editor->Editor(), "7");
    ASSERT_TRUE(editor->IsModified());
    ASSERT_EQ(editor->Text(), "#asm\n ld a, 7\n#endasm\n");

    set_current_source(source);
    ASSERT_EQ(compile_file(), 0) << messages_text();
    run(kRootCode);
    EXPECT_TRUE(reg("A", 7));

    m_boxes.answers = {kIdNo};
    EXPECT_TRUE(editor->close());
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "Save changes to '" + source + "'?");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(m_main->Editors().empty());

    linker.image.assign(linker.image.size(), 0xFF);
    set_current_source(source);
    ASSERT_EQ(compile_file(), 0) << messages_text();
    run(kRootCode);
    EXPECT_TRUE(reg("A", 5));
}

// Saved with Save All and closed, the editors' text is what the files give: the compile runs
// as it ran with the editors open.
TEST_F(EditorCompile, SavedAllAndClosedCompilesAsTheEditorsDid)
{
    write("prog/main.c", "#asm\n ld a, 5\n#endasm\n");
    TfrmEdit *editor = m_main->OpenFile(source);
    ASSERT_NE(editor, nullptr);
    editor->Editor()->setCursorPosition(1, 7);
    QTest::keyClick(editor->Editor(), Qt::Key_Delete);
    QTest::keyClicks(editor->Editor(), "9");
    set_current_source(source);
    ASSERT_EQ(compile_file(), 0) << messages_text();
    run(kRootCode);
    EXPECT_TRUE(reg("A", 9));

    m_main->actFileSaveAllExecute();
    EXPECT_FALSE(editor->IsModified());
    ASSERT_TRUE(m_main->CloseAllWindows());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(m_main->Editors().empty());
    EXPECT_TRUE(m_boxes.shown.empty()) << "nothing was left to ask about";

    linker.image.assign(linker.image.size(), 0xFF);
    set_current_source(source);
    ASSERT_EQ(compile_file(), 0) << messages_text();
    run(kRootCode);
    EXPECT_TRUE(reg("A", 9));
}

} // namespace
