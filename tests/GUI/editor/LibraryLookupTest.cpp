// The library function lookup and description windows over a real library function index (our
// STRING.LIB and STDIO.LIB, copied into the test's folder and indexed there): the entry list and
// tree, the closest-entry search, the keys of the name field, opening a description, its text,
// "Edit library file" on a saved and on an edited library, and Function Lookup (Ctrl+H) with
// the program's own windows.
#include "CommandTestSupport.h"
#include "OptionsDoubles.h"

#include <QApplication>
#include <QPointer>
#include <QLineEdit>
#include <QListWidget>
#include <QPrintDialog>
#include <QPrinter>
#include <QMdiArea>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <Qsci/qsciscintilla.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "editor/frmKXEditor.h"
#include "editor/frmKXFunctionDesc.h"
#include "editor/frmKXLibraryLookup.h"
#include "linker/LB_CAT.h"
#include "shell/guiHelpHost.h"

namespace {

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// ---- the closest entry -----------------------------------------------------------------------------

struct SearchCase {
    const char *name;
    std::string typed;
    int expected;
};

const std::vector<std::string> kEntries = {"abs in A.LIB", "Bit in B.LIB", "putchar in S.LIB",
                                           "puts in S.LIB", "strcat in T.LIB", "strlen in T.LIB"};

const SearchCase kSearchCases[] = {
    {"exact_small", "strlen", 5},
    {"exact_capitals", "STRLEN", 5},
    {"mixed_case_entry", "bit", 1},
    {"between_longer_prefix_after", "strb", 4},   // "str" with strcat, nothing with puts
    {"between_longer_prefix_before", "putcz", 2}, // "putc" with putchar, "put" with puts
    {"between_prefix_before_only", "putt", 3},    // "put" with puts, nothing with strcat
    {"tie_takes_the_earlier", "strd", 4},         // "str" with both neighbours
    {"before_the_first", "aaa", 0},
    {"after_the_last", "zzz", 5},
};

class SearchNamesCase : public ::testing::TestWithParam<SearchCase> {};

TEST_P(SearchNamesCase, SelectsTheClosestEntry)
{
    EXPECT_EQ(SearchNames(GetParam().typed, kEntries), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(All, SearchNamesCase, ::testing::ValuesIn(kSearchCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(SearchNamesEmpty, AnEmptyListSelectsNothing)
{
    EXPECT_EQ(SearchNames("strlen", {}), -1);
    EXPECT_EQ(SearchNames("x", {"only in A.LIB"}), 0);
}

// ---- the windows over a real index ----------------------------------------------------------------

class LibraryWindows : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        set_options_shell(&m_shell);
        m_string_lib = Write("lib/STRING.LIB", slurp(KX_TEST_DATA "/../../TARGET/lib/STRING.LIB"));
        m_stdio_lib = Write("lib/STDIO.LIB", slurp(KX_TEST_DATA "/../../TARGET/lib/STDIO.LIB"));
        Write("Lib.dir", "lib/STRING.LIB\nlib/STDIO.LIB\n");
        ASSERT_EQ(load_library_index(m_dir.string(), "Lib.dir", false, false), 0);
    }
    void TearDown() override
    {
        // Deleting one window may delete another: each is held by a guarded pointer first.
        std::vector<QPointer<QWidget>> windows;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (qobject_cast<TfrmFunctionDesc *>(widget) || qobject_cast<TfrmLibraryLookup *>(widget))
                windows.emplace_back(widget);
        for (const QPointer<QWidget> &window : windows)
            delete window.data();
        set_options_shell(nullptr);
        CommandTest::TearDown();
    }
    static std::vector<std::string> ListTexts(const QListWidget *list)
    {
        std::vector<std::string> texts;
        for (int i = 0; i < list->count(); ++i)
            texts.push_back(list->item(i)->text().toStdString());
        return texts;
    }
    static TfrmFunctionDesc *OpenDescription()
    {
        TfrmFunctionDesc *found = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *desc = qobject_cast<TfrmFunctionDesc *>(widget); desc && desc->isVisible())
                found = desc;
        return found;
    }
    static void Key(QWidget *widget, Qt::Key key) { QTest::keyClick(widget, key); }

    Journal m_shell_journal;
    RecordingShell m_shell{m_shell_journal};
    std::string m_string_lib, m_stdio_lib;
};

TEST_F(LibraryWindows, EntriesAreSortedWithoutCaseAndTheTreeHoldsEachLibrary)
{
    TfrmLibraryLookup lookup(&Main());
    lookup.Populate("");
    const std::vector<std::string> texts = ListTexts(lookup.Names);
    ASSERT_FALSE(texts.empty());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "strlen in " + m_string_lib), texts.end());
    EXPECT_TRUE(std::is_sorted(texts.begin(), texts.end(), [](const std::string &a, const std::string &b) {
        return QString::fromStdString(a).toLower() < QString::fromStdString(b).toLower();
    }));
    ASSERT_EQ(lookup.TreeView->topLevelItemCount(), 2);
    EXPECT_EQ(lookup.TreeView->topLevelItem(0)->text(0), "STDIO.LIB");
    EXPECT_EQ(lookup.TreeView->topLevelItem(1)->text(0), "STRING.LIB");
    EXPECT_FALSE(lookup.TreeView->topLevelItem(1)->isExpanded());
    EXPECT_EQ(lookup.TreeView->currentItem(), lookup.TreeView->topLevelItem(0));
    EXPECT_EQ(lookup.TreeView->topLevelItem(1)->childCount(), 5);
}

TEST_F(LibraryWindows, TypingSelectsTheEntryAndItsNode)
{
    TfrmLibraryLookup lookup(&Main());
    lookup.Populate("");
    lookup.show();
    QTest::keyClicks(lookup.FunctionName, "STRL");
    ASSERT_NE(lookup.Names->currentItem(), nullptr);
    EXPECT_EQ(lookup.Names->currentItem()->text().toStdString(), "strlen in " + m_string_lib);
    ASSERT_NE(lookup.TreeView->currentItem(), nullptr);
    EXPECT_EQ(lookup.TreeView->currentItem()->text(0), "strlen");
    EXPECT_EQ(lookup.FunctionName->text(), "STRL") << "typing keeps what was typed";
}

TEST_F(LibraryWindows, NavigationKeysStayInsideTheListAndShowTheEntry)
{
    TfrmLibraryLookup lookup(&Main());
    lookup.Populate("");
    lookup.show();
    const int last = lookup.Names->count() - 1;
    Key(lookup.FunctionName, Qt::Key_Home);
    Key(lookup.FunctionName, Qt::Key_Up);
    EXPECT_EQ(lookup.Names->currentRow(), 0);
    EXPECT_EQ(lookup.FunctionName->text(), lookup.Names->item(0)->text());
    EXPECT_EQ(lookup.FunctionName->selectedText(), lookup.FunctionName->text());
    Key(lookup.FunctionName, Qt::Key_PageUp);
    EXPECT_EQ(lookup.Names->currentRow(), 0);
    Key(lookup.FunctionName, Qt::Key_End);
    Key(lookup.FunctionName, Qt::Key_Down);
    EXPECT_EQ(lookup.Names->currentRow(), last);
    Key(lookup.FunctionName, Qt::Key_Up);
    Key(lookup.FunctionName, Qt::Key_PageDown);
    EXPECT_EQ(lookup.Names->currentRow(), last);
    EXPECT_EQ(lookup.FunctionName->text(), lookup.Names->item(last)->text());
}

TEST_F(LibraryWindows, ADoubleClickOnALibraryExpandsItAndOkOpensTheDescription)
{
    TfrmLibraryLookup lookup(&Main());
    lookup.Populate("");
    lookup.show();
    QTreeWidgetItem *library = lookup.TreeView->topLevelItem(1);
    lookup.TreeView->setCurrentItem(library);
    emit lookup.TreeView->itemDoubleClicked(library, 0);
    EXPECT_TRUE(library->isExpanded());
    EXPECT_EQ(OpenDescription(), nullptr) << "a library node opens no description";

    QTest::keyClicks(lookup.FunctionName, "strlen");
    lookup.btnOk->click();
    TfrmFunctionDesc *desc = OpenDescription();
    ASSERT_NE(desc, nullptr);
    EXPECT_EQ(desc->windowTitle().toStdString(), "strlen in " + m_string_lib);
    EXPECT_FALSE(lookup.isVisible()) << "the description closes the lookup";
}

TEST_F(LibraryWindows, EscClosesTheDescriptionFromTheMemoAndFromAButton)
{
    for (const char *control : {"FncDescBig", "btnBrowse"}) {
        QPointer<TfrmFunctionDesc> desc = new TfrmFunctionDesc(&Main(), nullptr, "strlen");
        desc->show();
        QWidget *focus = desc->findChild<QWidget *>(control);
        ASSERT_NE(focus, nullptr) << control;
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Escape);
        Settle();
        EXPECT_TRUE(desc.isNull() || !desc->isVisible()) << "Esc in " << control << " leaves the window open";
    }
}

// Print asks for a printer first; the description's text goes to the one chosen, under the
// window's own title, and Cancel in the printer dialog prints nothing.
TEST_F(LibraryWindows, PrintSendsTheDescriptionToTheChosenPrinter)
{
    TfrmFunctionDesc desc(&Main(), nullptr, "strlen");
    const std::string pdf = Path("strlen.pdf");
    bool accept = false;
    int asked = 0;
    m_shell.modal = [&](QDialog &dialog) {
        ++asked;
        auto *chooser = qobject_cast<QPrintDialog *>(&dialog);
        ASSERT_NE(chooser, nullptr) << "the printer dialog comes first";
        chooser->printer()->setOutputFormat(QPrinter::PdfFormat);
        chooser->printer()->setOutputFileName(QString::fromStdString(pdf));
        if (accept)
            dialog.accept();
        else
            dialog.reject();
    };
    desc.btnPrint->click();
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(std::filesystem::exists(pdf)) << "Cancel prints nothing";

    accept = true;
    desc.btnPrint->click();
    EXPECT_EQ(asked, 2);
    const std::string bytes = slurp(pdf);
    EXPECT_NE(bytes.find("%PDF"), std::string::npos);
    EXPECT_NE(bytes.find("/Type /Page"), std::string::npos) << "a page was printed";
}

TEST_F(LibraryWindows, TheDescriptionShowsItsLinesWithoutTheClosingLine)
{
    TfrmFunctionDesc desc(&Main(), nullptr, "strlen");
    const QString text = desc.Memo()->text();
    const QStringList lines = text.split('\n');
    ASSERT_EQ(lines.size(), 7) << text.toStdString();
    EXPECT_TRUE(lines.front().startsWith("strlen ")) << lines.front().toStdString();
    EXPECT_TRUE(lines.front().endsWith("<STRING.LIB>"));
    EXPECT_EQ(lines.back(), "RETURN VALUE: The length of s.");
    EXPECT_FALSE(text.contains("END DESCRIPTION"));
    EXPECT_TRUE(desc.Memo()->isReadOnly());
    EXPECT_FALSE(desc.actCopy->isEnabled());
    desc.Memo()->setSelection(0, 0, 0, 6);
    EXPECT_TRUE(desc.actCopy->isEnabled());
}

TEST_F(LibraryWindows, LeadingBlankLinesGoLongLinesStayWhole)
{
    const std::string long_line(300, 'x');
    const std::string lib = Write("lib/MINE.LIB",
                                  "/* START FUNCTION DESCRIPTION ***\r\n\r\n\r\nmine <MINE.LIB>\r\n\r\n" +
                                      long_line + "\r\nEND DESCRIPTION ***/\r\n");
    Write("Lib.dir", "lib/MINE.LIB\n");
    ASSERT_EQ(load_library_index(m_dir.string(), "Lib.dir", false, false), 0);
    TfrmFunctionDesc desc(&Main(), nullptr, "mine");
    EXPECT_EQ(desc.Memo()->text().toStdString(), "mine <MINE.LIB>\n\n" + long_line);
}

TEST_F(LibraryWindows, ALibraryGoneSinceIndexingIsAnErrorNamingIt)
{
    std::filesystem::remove(m_string_lib);
    try {
        TfrmFunctionDesc desc(&Main(), nullptr, "strlen");
        FAIL() << "no error";
    } catch (const xFileOpen &e) {
        EXPECT_EQ(e.argument(), m_string_lib);
    }
}

TEST_F(LibraryWindows, EditLibraryFileGoesToTheNameLineWithTwoLinesAbove)
{
    auto *desc = new TfrmFunctionDesc(&Main(), nullptr, "strlen");
    desc->show();
    desc->actEditExecute();
    TfrmEdit *editor = Main().FindEditor(m_string_lib);
    ASSERT_NE(editor, nullptr);
    int line = 0, index = 0;
    editor->Editor()->getCursorPosition(&line, &index);
    EXPECT_EQ(line + 1, 10);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(editor->Editor()->firstVisibleLine() + 1, 8);
    EXPECT_EQ(Main().Workspace()->activeSubWindow(), editor);
}

TEST_F(LibraryWindows, EditLibraryFileFindsTheDescriptionInAnEditedText)
{
    TfrmEdit *editor = Main().OpenFile(m_string_lib);
    ASSERT_NE(editor, nullptr);
    editor->Editor()->insertAt("// one\n// two\n// three\n// four\n// five\n", 0, 0);
    ASSERT_TRUE(editor->IsModified());
    auto *desc = new TfrmFunctionDesc(&Main(), nullptr, "strlen in " + m_string_lib);
    desc->show();
    desc->actEditExecute();
    int line = 0, index = 0;
    editor->Editor()->getCursorPosition(&line, &index);
    EXPECT_EQ(line + 1, 15);
}

TEST_F(LibraryWindows, CtrlHOnAFunctionShowsItsDescription)
{
    TfrmEdit *editor = Open("prog.c", "void main(){ strlen(\"x\"); }\n");
    editor->Editor()->setCursorPosition(0, 15);
    Main().actFunctionLookup->trigger();
    TfrmFunctionDesc *desc = OpenDescription();
    ASSERT_NE(desc, nullptr) << ::testing::PrintToString(Texts());
    EXPECT_EQ(desc->windowTitle(), "strlen");
}

TEST_F(LibraryWindows, CtrlHOnAPrefixShowsTheLookupAtTheClosestEntry)
{
    TfrmEdit *editor = Open("prog.c", "str\n");
    std::vector<std::string> listed;
    m_shell.modal = [&](QDialog &dialog) {
        auto *lookup = qobject_cast<TfrmLibraryLookup *>(&dialog);
        ASSERT_NE(lookup, nullptr);
        listed = ListTexts(lookup->Names);
        ASSERT_NE(lookup->Names->currentItem(), nullptr);
        EXPECT_TRUE(lookup->Names->currentItem()->text().startsWith("str"));
    };
    editor->Editor()->setCursorPosition(0, 1);
    Main().actFunctionLookup->trigger();
    EXPECT_FALSE(listed.empty());
}

} // namespace
