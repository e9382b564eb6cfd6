// Find in Files: the expression syntax and its error codes, whole words and case, the search list
// built from the masks, the shown line of a match, the setup dialog's checks, a search over
// files and over the open editors, cancelling, folders reached twice through a link, and going
// to a result. Dialogs run through a scripted modal runner; the program directory is the test's
// folder.
#include "CommandTestSupport.h"
#include "OptionsDoubles.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <Qsci/qsciscintilla.h>

#include <sys/stat.h>

#include "FifoGuard.h"
#include "editor/RegularExpression.h"
#include "editor/frmKXEditor.h"
#include "editor/frmKXGrepProgress.h"
#include "editor/frmKXGrepResults.h"
#include "editor/frmKXGrepSetup.h"
#include "settings/guiKXPreferences.h"

namespace {

// ---- the expression syntax -----------------------------------------------------------------------

struct ParseCase {
    const char *name;
    std::string expression;
    int code;
};

const ParseCase kParseCases[] = {
    {"empty", "", 1},
    {"open_group", "(a", 7},
    {"unmatched_right", "a)", 16},
    {"open_interval", "a{2", 9},
    {"bad_interval", "a{3,2}", 10},
    {"interval_not_a_number", "a{x}", 10},
    {"reversed_range", "[z-a]", 11},
    {"repeat_at_start", "*a", 13},
    {"repeat_after_alternation", "a|*b", 13},
    {"trailing_escape", "a\\", 5},
    {"reference_to_no_group", "(a)\\2", 6},
    {"unknown_class", "[[:foo:]]", 4},
    {"unclosed_set", "[abc", 2},
    {"empty_group", "()", 17},
    {"empty_alternative", "a|", 17},
    {"plain_text", "count", 0},
    {"word_edges", "\\<count\\>", 0},
    {"classes_and_intervals", "[[:alpha:]_][[:alnum:]_]{2,}", 0},
    {"back_reference", "(ab)\\1", 0},
    {"escape_in_set", "[\\]x]", 0},
    {"alternation", "foo|bar", 0},
};

class ExpressionParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ExpressionParse, GivesItsCode)
{
    RegularExpression regex;
    regex.SetExpression(GetParam().expression);
    EXPECT_EQ(regex.ParseExpression(), GetParam().code) << regex.TranslatedPattern().toStdString();
}

INSTANTIATE_TEST_SUITE_P(All, ExpressionParse, ::testing::ValuesIn(kParseCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(ExpressionTexts, EachCodeHasItsText)
{
    EXPECT_EQ(expression_error_text(1), "Expression cannot be empty");
    EXPECT_EQ(expression_error_text(7), "A \"(\" was encountered with no matching \")\"");
    EXPECT_EQ(expression_error_text(9), "A \"{\" was encountered with no matching \"}\"");
    EXPECT_EQ(expression_error_text(16), "Unmatched right parenthesis");
    EXPECT_EQ(expression_error_text(19), "An unknown error occurred");
    EXPECT_EQ(expression_error_text(0), "");
}

struct MatchCase {
    const char *name;
    std::string expression;
    bool whole_words;
    bool ignore_case;
    std::string subject;
    std::vector<uint32_t> starts;
};

const MatchCase kMatchCases[] = {
    {"whole_word_matches_the_word", "count", true, false, "count counter recount count", {0, 22}},
    {"whole_words_alternation_is_one_group", "a|b", true, false, "ab a b xa", {3, 5}},
    {"word_edges_written", "\\<ab", false, false, "ab xab ab", {0, 7}},
    {"case_ignored", "Total", false, true, "total TOTAL", {0, 6}},
    {"case_kept", "Total", false, false, "total TOTAL Total", {12}},
    {"dot_matches_no_nul", "a.b", false, false, std::string("a\0b axb", 7), {4}},
    {"class_and_interval", "[[:digit:]]{2,3}", false, false, "1 22 4444", {2, 5}},
    {"back_reference", "(ab)\\1", false, false, "abab ab", {0}},
    {"escaped_bracket_in_set", "[\\]]", false, false, "a]b", {1}},
    {"special_characters_are_text", "a+b", false, false, "aab a+b", {0}},
};

class ExpressionMatch : public ::testing::TestWithParam<MatchCase> {};

TEST_P(ExpressionMatch, FindsItsMatches)
{
    const MatchCase &c = GetParam();
    RegularExpression regex;
    regex.SetExpression(c.expression);
    regex.SetWholeWords(c.whole_words);
    regex.SetIgnoreCase(c.ignore_case);
    ASSERT_EQ(regex.ParseExpression(), 0);
    regex.SetSubject(c.subject);
    std::vector<uint32_t> starts;
    const int count = regex.Grep([&](uint32_t position, uint32_t) {
        starts.push_back(position);
        return true;
    });
    EXPECT_EQ(starts, c.starts) << regex.TranslatedPattern().toStdString();
    EXPECT_EQ(count, static_cast<int>(c.starts.size()));
}

INSTANTIATE_TEST_SUITE_P(All, ExpressionMatch, ::testing::ValuesIn(kMatchCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(ExpressionDisplay, WholeWordsShowTheWordEdges)
{
    RegularExpression regex;
    regex.SetExpression("count");
    regex.SetWholeWords(true);
    EXPECT_EQ(regex.DisplayExpression(), "\\<count\\>");
}

// ---- the shown line --------------------------------------------------------------------------------

TEST(GrepDisplayLine, TabsAreThreeBlanksAndTheMatchIsPlaced)
{
    TgrepListItem item;
    const std::string text = grep_display_line("a.c", 12, "\tx = ", "to\ttal", ";\t// n", item);
    EXPECT_EQ(text, "a.c(12):    x = to   tal;   // n");
    EXPECT_EQ(item.start, 17u);
    EXPECT_EQ(item.length, 8u);
    EXPECT_EQ(text.substr(item.start - 1, item.length), "to   tal");
}

// ---- the search list -------------------------------------------------------------------------------

class SearchListTest : public GuiTest {};

TEST_F(SearchListTest, MasksAreResolvedAgainstTheProgramDirectory)
{
    std::filesystem::create_directories(m_dir / "src");
    const std::string pd = m_dir.string() + "/";
    EXPECT_EQ(BuildSearchList("src;other/x*.c", pd),
              (std::vector<std::string>{pd + "src/*.c", "other/x*.c"}));
    EXPECT_EQ(BuildSearchList("*.c", pd), (std::vector<std::string>{pd + "*.c"}));
    EXPECT_EQ(BuildSearchList("src\\*.lib", pd), (std::vector<std::string>{pd + "src/*.lib"}));
    EXPECT_EQ(BuildSearchList(pd + "src/*.h", pd), (std::vector<std::string>{pd + "src/*.h"}))
        << "an absolute folder is never put behind the program directory";
    EXPECT_EQ(BuildSearchList(";; ;", pd), std::vector<std::string>{});
}

// ---- the dialogs and the search --------------------------------------------------------------------

class FindInFiles : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        set_options_shell(&m_shell);
    }
    void TearDown() override
    {
        TfrmGrepSetup::SetFolderChooser(nullptr);
        set_options_shell(nullptr);
        CommandTest::TearDown();
    }
    // Runs Find in Files with the setup filled in by `fill` and OK pressed.
    void Run(const std::function<void(TfrmGrepSetup &)> &fill)
    {
        m_shell.modal = [&](QDialog &dialog) {
            auto *setup = qobject_cast<TfrmGrepSetup *>(&dialog);
            ASSERT_NE(setup, nullptr);
            fill(*setup);
            setup->btnSearch->click();
        };
        Main().actGrep->trigger();
    }
    TfrmGrepResults *Results()
    {
        TfrmGrepResults *found = nullptr;
        for (QMdiSubWindow *window : Main().Workspace()->subWindowList())
            if (auto *results = qobject_cast<TfrmGrepResults *>(window))
                found = results;
        return found;
    }
    static void Fill(TfrmGrepSetup &setup, const QString &text, const QString &mask)
    {
        setup.cboSearch->setEditText(text);
        setup.rdbSearchDirectories->setChecked(true);
        setup.cboFileName->setEditText(mask);
    }

    Journal m_shell_journal;
    RecordingShell m_shell{m_shell_journal};
};

TEST_F(FindInFiles, TheSetupTakesTheSelectionAndStartsInTheProgramDirectory)
{
    TfrmEdit *editor = Open("sel.c", "int total;\n");
    editor->Editor()->setSelection(0, 4, 0, 9);
    QString text, mask;
    m_shell.modal = [&](QDialog &dialog) {
        auto *setup = qobject_cast<TfrmGrepSetup *>(&dialog);
        ASSERT_NE(setup, nullptr);
        text = setup->cboSearch->currentText();
        mask = setup->cboFileName->currentText();
        EXPECT_EQ(setup->windowTitle(), "Find Text");
    };
    Main().actGrep->trigger();
    EXPECT_EQ(text, "total");
    EXPECT_EQ(mask.toStdString(), m_dir.string() + "/*.c");
}

TEST_F(FindInFiles, BadExpressionsAndABlankMaskKeepTheDialogOpen)
{
    const std::vector<std::pair<QString, std::string>> cases = {
        {"", "Expression cannot be empty"},
        {"(a", "A \"(\" was encountered with no matching \")\""},
        {"a)", "Unmatched right parenthesis"},
        {"*a", "A repetition operator was preceded by a sub-expression that cannot be repeated"},
    };
    TfrmGrepSetup setup;
    for (const auto &[text, message] : cases) {
        m_boxes.shown.clear();
        setup.cboSearch->setEditText(text);
        EXPECT_FALSE(setup.btnSearchClick()) << text.toStdString();
        EXPECT_EQ(Texts(), std::vector<std::string>{message});
        EXPECT_EQ(Captions(), std::vector<std::string>{"Expression error"});
    }
    m_boxes.shown.clear();
    setup.cboSearch->setEditText("ok");
    setup.rdbSearchDirectories->setChecked(true);
    setup.cboFileName->setEditText("");
    EXPECT_FALSE(setup.btnSearchClick());
    EXPECT_EQ(Texts(), std::vector<std::string>{"Directory path cannot be blank"});
    EXPECT_EQ(Captions(), std::vector<std::string>{"Error"});
    m_boxes.shown.clear();
    setup.rdbSearchOpen->setChecked(true);
    EXPECT_TRUE(setup.btnSearchClick()) << "open files need no mask";
}

TEST_F(FindInFiles, MatchesInFilesAreListedWithTheirLineAndTheMatchPlaced)
{
    const std::string a = Write("a.c", "int total;\nint x;\n\tx = total + 1;\n");
    const std::string b = Write("b.c", "// totally\nint t = total;\n");
    Write("c.h", "int total;\n"); // not a C file
    Run([&](TfrmGrepSetup &setup) {
        Fill(setup, "total", QString::fromStdString(m_dir.string() + "/*.c"));
        setup.chkWholeWords->setChecked(true);
    });
    TfrmGrepResults *results = Results();
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(results->windowTitle(), "Search Results - 3 Matches found");
    ASSERT_EQ(results->Count(), 3);
    EXPECT_EQ(results->lbxResults->item(0)->text().toStdString(), a + "(1): int total;");
    EXPECT_EQ(results->lbxResults->item(1)->text().toStdString(), a + "(3):    x = total + 1;");
    const TgrepListItem *item = results->Item(1);
    EXPECT_EQ(item->line, 3u);
    EXPECT_EQ(item->column, 6u);
    EXPECT_EQ(results->lbxResults->item(1)->text().mid(item->start - 1, item->length), "total");
    EXPECT_EQ(results->Item(2)->file, b);
    EXPECT_TRUE(IdePreferences().grep_whole_words);
}

TEST_F(FindInFiles, ALongLineShowsTheLast360CharactersBeforeTheMatch)
{
    Write("long.c", std::string(500, 'y') + "needle tail\n");
    Run([&](TfrmGrepSetup &setup) { Fill(setup, "needle", QString::fromStdString(m_dir.string() + "/*.c")); });
    TfrmGrepResults *results = Results();
    ASSERT_NE(results, nullptr);
    const QString shown = results->lbxResults->item(0)->text();
    EXPECT_TRUE(shown.endsWith(QString(360, 'y') + "needle tail")) << shown.toStdString();
    EXPECT_FALSE(shown.contains(QString(361, 'y')));
}

TEST_F(FindInFiles, NothingFoundIsSaidAndAMaskWithoutExtensionIsTriedAsACFile)
{
    Write("main.c", "int nowhere_else;\n");
    Run([&](TfrmGrepSetup &setup) { Fill(setup, "zebra", QString::fromStdString(m_dir.string() + "/*.c")); });
    EXPECT_EQ(Results(), nullptr);
    EXPECT_EQ(Texts(), std::vector<std::string>{"No matches found for zebra"});
    EXPECT_EQ(Captions(), std::vector<std::string>{"Grep Results"});

    Run([&](TfrmGrepSetup &setup) { Fill(setup, "nowhere_else", "main"); });
    ASSERT_NE(Results(), nullptr);
    EXPECT_EQ(Results()->Count(), 1);
}

TEST_F(FindInFiles, OpenTextsAreSearchedOnceEach)
{
    Open("one.c", "int hit;\nint hit2;\n");
    Open("two.c", "x = hit;\n");
    Run([&](TfrmGrepSetup &setup) {
        setup.cboSearch->setEditText("hit");
        setup.cboFileName->setEditText("one.c;two.c");
        setup.rdbSearchOpen->setChecked(true);
    });
    ASSERT_NE(Results(), nullptr);
    EXPECT_EQ(Results()->Count(), 3);
    EXPECT_EQ(Results()->Item(2)->line, 1u);
}

TEST_F(FindInFiles, CancelStopsTheListing)
{
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "hit\n";
    Write("many.c", text);
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *progress = qobject_cast<TfrmGrepProgress *>(widget); progress && progress->isVisible())
                if (progress->Results() && progress->Results()->Count() >= 5)
                    progress->btnCancel->click();
    });
    cancel.start(0);
    Run([&](TfrmGrepSetup &setup) { Fill(setup, "hit", QString::fromStdString(m_dir.string() + "/*.c")); });
    ASSERT_NE(Results(), nullptr);
    EXPECT_GE(Results()->Count(), 5);
    EXPECT_LT(Results()->Count(), 200);
}

// A FIFO, a link to a device and a folder that the mask selects are passed over: the search
// neither waits for a writer nor reads without end.
TEST_F(FindInFiles, FifosDevicesAndFoldersAmongTheFilesArePassedOver)
{
    const std::string a = Write("a.c", "int hit;\n");
    ASSERT_EQ(::mkfifo((m_dir / "b.c").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", m_dir / "c.c");
    std::filesystem::create_directory(m_dir / "d.c");
    FifoGuard guard((m_dir / "b.c").string());
    Run([&](TfrmGrepSetup &setup) { Fill(setup, "hit", QString::fromStdString(m_dir.string() + "/*.c")); });
    EXPECT_TRUE(guard.Stop()) << "the search waited for a writer";
    ASSERT_NE(Results(), nullptr);
    ASSERT_EQ(Results()->Count(), 1);
    EXPECT_EQ(Results()->Item(0)->file, a);
    EXPECT_EQ(std::filesystem::symlink_status(m_dir / "b.c").type(), std::filesystem::file_type::fifo);
}

TEST_F(FindInFiles, FoldersReachedTwiceThroughALinkAreSearchedOnce)
{
    Write("tree/a.c", "int hit;\n");
    Write("tree/sub/b.c", "int hit;\n");
    std::filesystem::create_directory_symlink(m_dir / "tree", m_dir / "tree" / "sub" / "loop");
    Run([&](TfrmGrepSetup &setup) {
        Fill(setup, "hit", QString::fromStdString((m_dir / "tree").string() + "/*.c"));
        setup.chkRecurse->setChecked(true);
    });
    ASSERT_NE(Results(), nullptr);
    EXPECT_EQ(Results()->Count(), 2);
}

TEST_F(FindInFiles, AClickGoesToAnOpenFileADoubleClickOpensOne)
{
    const std::string path = Write("go.c", "int a;\n\tint total;\n");
    Run([&](TfrmGrepSetup &setup) { Fill(setup, "total", QString::fromStdString(m_dir.string() + "/*.c")); });
    TfrmGrepResults *results = Results();
    ASSERT_NE(results, nullptr);
    results->OpenResult(0, false);
    EXPECT_EQ(Main().FindEditor(path), nullptr) << "a click opens nothing";
    results->OpenResult(0, true);
    TfrmEdit *editor = Main().FindEditor(path);
    ASSERT_NE(editor, nullptr);
    int line = 0, index = 0;
    editor->Editor()->getCursorPosition(&line, &index);
    EXPECT_EQ(line, 1);
    EXPECT_EQ(index, 5) << "the caret is on the match's byte, after the tab";
    EXPECT_EQ(editor->SearchMatchLine(), 1);
    // The line is drawn in the "Search Match" look, not only marked: its far end (past the text)
    // shows a colour the line above does not have.
    QsciScintilla *memo = editor->Editor();
    const auto y_of = [memo](int of_line) {
        const long start = memo->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, of_line);
        return static_cast<int>(memo->SendScintilla(QsciScintilla::SCI_POINTYFROMPOSITION, 0UL, start)) + 2;
    };
    const QImage drawn = memo->viewport()->grab().toImage();
    const int x = drawn.width() - 12;
    EXPECT_NE(drawn.pixel(x, y_of(1)), drawn.pixel(x, y_of(0))) << "the search match line is not drawn";

    std::filesystem::remove(path);
    editor->close();
    Settle();
    m_boxes.shown.clear();
    results->OpenResult(0, true);
    EXPECT_EQ(Main().FindEditor(path), nullptr) << "no empty editor for a deleted file";
    EXPECT_EQ(Texts(), std::vector<std::string>{"File not found: " + path});
}

TEST_F(FindInFiles, TheChoicesAndHistoriesAreKeptNewestFirst)
{
    for (int i = 0; i < 12; ++i)
        Run([&](TfrmGrepSetup &setup) {
            Fill(setup, QString("word%1").arg(i), QString::fromStdString(m_dir.string() + "/*.c"));
            setup.chkCaseSensitive->setChecked(true);
        });
    TfrmGrepSetup setup;
    ASSERT_EQ(setup.cboSearch->count(), 10);
    EXPECT_EQ(setup.cboSearch->itemText(0), "word11");
    EXPECT_TRUE(setup.chkCaseSensitive->isChecked());
    EXPECT_EQ(setup.cboFileName->currentText().toStdString(), m_dir.string() + "/*.c");
}

TEST_F(FindInFiles, BrowseGivesTheFolderWithACMask)
{
    TfrmGrepSetup::SetFolderChooser([](QWidget *, const QString &title, const QString &) {
        EXPECT_EQ(title, "Select directory to search");
        return QString("/some/folder");
    });
    TfrmGrepSetup setup;
    setup.btnBrowseClick();
    EXPECT_EQ(setup.cboFileName->currentText(), "/some/folder/*.c");
}

TEST_F(FindInFiles, AlternateFindNextRepeatsTheLastSearchOnly)
{
    TfrmEdit *editor = Open("alt.c", "abc abc abc\n");
    editor->Editor()->setCursorPosition(0, 0);
    Main().actAltFindNext->trigger();
    EXPECT_FALSE(editor->Editor()->hasSelectedText()) << "nothing before a search";
}

TEST_F(FindInFiles, TheIORegisterReferenceIsAFileOfTheProgramDirectory)
{
    Main().actIORegisters->trigger();
    EXPECT_EQ(Texts(), std::vector<std::string>{"File not found"});
    EXPECT_EQ(Captions(), std::vector<std::string>{"Error"});
}

} // namespace
