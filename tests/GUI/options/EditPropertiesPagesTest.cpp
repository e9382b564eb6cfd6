// The "Debug Windows" and "Print / Alerts" pages of the Environment Options: what each control
// changes at once (open windows, the main window's print options), what OK stores and what
// Cancel puts back.
#include "OptionsDoubles.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>

#include <Qsci/qsciscintilla.h>

#include "controls/ColorCombo.h"
#include "controls/ColorConsole.h"
#include "controls/ColorConsoleView.h"
#include "debug/frmKXMemoryDump.h"
#include "debug/frmKXRegisters.h"
#include "debug/frmKXStdio.h"
#include "debug/guiDebugWindows.h"
#include "editor/MemoOptions.h"
#include "editor/frmKXEditor.h"
#include "options/frmKXEditProperties.h"
#include "settings/guiKXPreferences.h"
#include "shell/frmKXMessages.h"

namespace {

using Script = std::function<void(TfrmEditProperties &)>;

class EnvironmentPages : public GuiTest {
protected:
    Journal journal;
    RecordingShell shell{journal};
    std::deque<std::optional<TColor>> colours;
    std::deque<std::optional<QFont>> fonts;

    void SetUp() override
    {
        GuiTest::SetUp();
        reset_memo_options();
        set_options_shell(&shell);
        set_color_dialog_runner([this](TColor) -> std::optional<TColor> {
            if (colours.empty())
                return std::nullopt;
            auto answer = colours.front();
            colours.pop_front();
            return answer;
        });
        set_font_dialog_runner([this](const QFont &, bool) -> std::optional<QFont> {
            if (fonts.empty())
                return std::nullopt;
            auto answer = fonts.front();
            fonts.pop_front();
            return answer;
        });
    }
    void TearDown() override
    {
        set_font_dialog_runner(nullptr);
        set_color_dialog_runner(nullptr);
        set_options_shell(nullptr);
        GuiTest::TearDown();
        reset_memo_options();
    }
    void Run(const Script &script, int page)
    {
        Main();
        IdePreferences().edit_options_pg = page;
        shell.modal = [&](QDialog &dialog) { script(static_cast<TfrmEditProperties &>(dialog)); };
        Main().actEnvOptions->trigger();
    }
    void Window(TfrmEditProperties &d, const char *name)
    {
        d.lbxWindow->setCurrentRow(d.lbxWindow->row(d.lbxWindow->findItems(name, Qt::MatchExactly).front()));
    }
    static void Leave(QLineEdit *field, const QString &text)
    {
        field->setText(text);
        emit field->editingFinished();
    }
    TTextOptions &Print() { return Main().PrintSetup().TextOptions; }
};

constexpr int kGutterPage = 1;
constexpr int kDebugPage = 5;
constexpr int kPrintPage = 6;

// ---- Print / Alerts ----------------------------------------------------------------------------

struct MarginRow {
    const char *name;
    int field;          // left, right, top, bottom
    const char *typed;
    const char *shown;  // what the field shows after leaving it
    bool modified;
};

const MarginRow kMargins[] = {
    {"NotANumberShowsThePrevious", 0, "abc", "0.5", false},
    {"EmptyShowsThePrevious", 0, "", "0.5", false},
    {"NanIsNoNumber", 1, "nan", "0.5", false},
    {"InfIsNoNumber", 2, "inf", "0.5", false},
    {"HugeIsNoNumber", 3, "1e999", "0.5", false},
    {"BelowTheMinimumTakesIt", 2, "0.1", "0.18", true},
    {"NegativeTakesTheMinimum", 0, "-1", "0.183", true},
    {"ANumberIsTaken", 1, "1.25", "1.25", true},
    {"TheSameIsNoChange", 3, "0.50", "0.5", false},
};

class PrintMargins : public EnvironmentPages, public ::testing::WithParamInterface<MarginRow> {};

TEST_P(PrintMargins, LeavingTheFieldChecksIt)
{
    const MarginRow &row = GetParam();
    Main();
    Print().MarginLeft = Print().MarginRight = Print().MarginTop = Print().MarginBottom = 0.5;
    QString shown;
    bool modified = false;
    double stored = 0;
    Run([&](TfrmEditProperties &d) {
        QLineEdit *fields[] = {d.edLeft, d.edRight, d.edTop, d.edBottom};
        Leave(fields[row.field], row.typed);
        shown = fields[row.field]->text();
        modified = d.Modified;
        d.accept();
    }, kPrintPage);
    double *options[] = {&Print().MarginLeft, &Print().MarginRight, &Print().MarginTop,
                         &Print().MarginBottom};
    stored = *options[row.field];
    EXPECT_EQ(shown, row.shown);
    EXPECT_EQ(modified, row.modified);
    EXPECT_EQ(stored, QString(row.shown).toDouble());
}

INSTANTIATE_TEST_SUITE_P(, PrintMargins, ::testing::ValuesIn(kMargins),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_F(EnvironmentPages, NumberPagesStoresNoneOrTheRememberedPosition)
{
    Main();
    IdePreferences().PrintPagePosition = 1;
    Print().PrintPageNumber = TPageNumberPosition::pnBottom;
    Run([&](TfrmEditProperties &d) {
        ASSERT_TRUE(d.cbPages->isChecked());
        d.cbPages->click();
        EXPECT_EQ(Print().PrintPageNumber, TPageNumberPosition::pnNone);
        d.cbPages->click();
        EXPECT_EQ(Print().PrintPageNumber, TPageNumberPosition::pnTop);
        d.cbHeader->click();
        EXPECT_EQ(Print().UseHeader, d.cbHeader->isChecked());
        m_boxes.answers.push_back(kIdYes);
        d.reject();
    }, kPrintPage);
    EXPECT_EQ(Print().PrintPageNumber, TPageNumberPosition::pnBottom) << "Cancel puts it back";
}

// The line-number colours reach the samples always, the editors when there are some; only a
// change an editor shows marks the dialog changed.
TEST_F(EnvironmentPages, LineNumberColoursMarkTheDialogOnlyWithEditorsOpen)
{
    auto number_back = [](QsciScintilla *memo) {
        return memo->SendScintilla(QsciScintillaBase::SCI_STYLEGETBACK,
                                   QsciScintillaBase::STYLE_LINENUMBER);
    };
    Run([&](TfrmEditProperties &d) {
        d.clrBgLineNumber->ChooseColor(0x00FFFF);
        EXPECT_EQ(number_back(d.GMMemo), 0x00FFFF);
        EXPECT_EQ(number_back(d.CodeMemo), 0x00FFFF);
        EXPECT_FALSE(d.Modified) << "no editor shows it";
        d.reject();
    }, kGutterPage);
    EXPECT_TRUE(m_boxes.shown.empty()) << "Cancel asks nothing";

    TfrmEdit *editor = Main().OpenFile(Write("numbers.c", "int i;\n"));
    ASSERT_NE(editor, nullptr);
    Run([&](TfrmEditProperties &d) {
        d.clrBgLineNumber->ChooseColor(0x00FFFF);
        EXPECT_EQ(number_back(editor->Editor()), 0x00FFFF);
        EXPECT_TRUE(d.Modified);
        d.accept();
    }, kGutterPage);
    EXPECT_EQ(IdePreferences().line_number_background_color, 0x00FFFFu);
    EXPECT_EQ(number_back(editor->Editor()), 0x00FFFF);
}

TEST_F(EnvironmentPages, PreviewOnlyWithAnActiveEditorAndThePrintFontChooser)
{
    const std::string font_before = IdePreferences().PrintFont.name;
    Run([&](TfrmEditProperties &d) {
        EXPECT_FALSE(d.btnPreview->isEnabled());
        d.BitBtn1->click(); // cancelled
        EXPECT_FALSE(d.Modified);
        EXPECT_EQ(IdePreferences().PrintFont.name, font_before);
        QFont chosen("DejaVu Sans Mono");
        chosen.setPointSize(13);
        fonts.push_back(chosen);
        d.BitBtn1->click();
        EXPECT_EQ(d.edtPrintFontName->text(), chosen.family());
        EXPECT_EQ(IdePreferences().PrintFont.size, 13);
        m_boxes.answers.push_back(kIdYes);
        d.reject();
    }, kPrintPage);
    EXPECT_EQ(IdePreferences().PrintFont.name, font_before) << "Cancel puts the shown font back";

    Write("a.c", "int x;\n");
    Main().OpenFile(Path("a.c"));
    Settle();
    Run([&](TfrmEditProperties &d) {
        EXPECT_TRUE(d.btnPreview->isEnabled());
        d.reject();
    }, kPrintPage);
}

// ---- Stdio -------------------------------------------------------------------------------------

TEST_F(EnvironmentPages, LogToFileEnablesItsFieldsAndTheChooserNamesTheFile)
{
    Run([&](TfrmEditProperties &d) {
        Window(d, "Stdio");
        EXPECT_FALSE(d.edtStdioLog->isEnabled());
        d.chkLogStdio->click();
        EXPECT_TRUE(d.edtStdioLog->isEnabled());
        EXPECT_TRUE(d.btnStdioLog->isEnabled());
        EXPECT_TRUE(d.chkAppendStdio->isEnabled());

        d.Modified = false;
        const QString before = d.edtStdioLog->text();
        d.btnStdioLog->click(); // cancelled
        ASSERT_EQ(m_dialogs.requests.size(), 1u);
        EXPECT_EQ(m_dialogs.requests[0].title, "Select a Stdio log file");
        EXPECT_EQ(m_dialogs.requests[0].filter, "Stdio log files (*.out)|*.out|");
        EXPECT_FALSE(d.Modified);
        EXPECT_EQ(d.edtStdioLog->text(), before);

        m_dialogs.choices.push_back({"/tmp/logs/run.out"});
        d.btnStdioLog->click();
        EXPECT_EQ(d.edtStdioLog->text(), "/tmp/logs/run.out");
        EXPECT_EQ(IdePreferences().stdio_log_dir, "/tmp/logs/");
        EXPECT_TRUE(d.Modified);
        d.accept();
    }, kDebugPage);
    EXPECT_TRUE(IdePreferences().stdio.log_stdio);
    EXPECT_EQ(IdePreferences().stdio.log_file, "/tmp/logs/run.out");
}

// The real stdio window: colours, scroll modes and the tab width reach it; Cancel takes the
// colours and scroll modes back.
TEST_F(EnvironmentPages, TheOpenStdioWindowFollowsItsPanel)
{
    set_debug_windows(nullptr);
    install_stdio_unit();
    Main();
    StdioWindowSettings &stdio = IdePreferences().stdio;
    stdio.font.colour = clBlack;
    stdio.background_colour = clWhite;
    stdio.vertical_scroll = true;
    stdio.columns = 80;
    debug_windows().Toggle(DebugWindow::Stdio);
    auto *window = dynamic_cast<TfrmStdio *>(debug_windows().StdioWindow());
    ASSERT_NE(window, nullptr);
    TColorConsole &model = window->console->Model();
    Run([&](TfrmEditProperties &d) {
        Window(d, "Stdio");
        d.cboBackground->ChooseColor(0x00FFFF);
        EXPECT_EQ(model.Color(), 0x00FFFFu);
        d.chkAutoVScrollStdio->click();
        EXPECT_FALSE(model.Options() & coAutoTrackingY);
        m_boxes.answers.push_back(kIdYes);
        d.reject();
    }, kDebugPage);
    EXPECT_EQ(model.Color(), clWhite);
    EXPECT_TRUE(model.Options() & coAutoTrackingY);

    Run([&](TfrmEditProperties &d) {
        Window(d, "Stdio");
        d.edtSpacesInTab->setText("79");
        emit d.edtSpacesInTab->textEdited("79");
        d.accept();
    }, kDebugPage);
    EXPECT_EQ(IdePreferences().stdio.spaces_in_tab, 79);
    EXPECT_EQ(model.SpacesInTab(), 79);
    debug_windows().Toggle(DebugWindow::Stdio);
    remove_stdio_unit();
}

// ---- Debug Windows -----------------------------------------------------------------------------

TEST_F(EnvironmentPages, WindowBoxesOnlyForOpenSelectedButStoredAtOk)
{
    Main();
    IdePreferences().open_selected = true;
    IdePreferences().open_none = IdePreferences().open_last = IdePreferences().open_all = false;
    IdePreferences().stack.show = false;
    Run([&](TfrmEditProperties &d) {
        EXPECT_TRUE(d.chkStack->isEnabled());
        d.chkStack->click();
        d.rdbOpenNone->click();
        for (QCheckBox *box : {d.chkAssembly, d.chkRegisters, d.chkWatch, d.chkStdio, d.chkStack})
            EXPECT_FALSE(box->isEnabled()) << box->text().toStdString();
        EXPECT_TRUE(d.chkStack->isChecked());
        d.accept();
    }, kDebugPage);
    EXPECT_TRUE(IdePreferences().open_none);
    EXPECT_TRUE(IdePreferences().stack.show);
}

TEST_F(EnvironmentPages, ApplySettingsToAllGivesEveryRecordTheFontAndColoursShown)
{
    Run([&](TfrmEditProperties &d) {
        Window(d, "Stack");
        d.cboForeground->ChooseColor(0x0000FF);
        d.cboBackground->ChooseColor(0xE0FFFF);
        d.btnApplyFontAndColor->click();
        d.accept();
    }, kDebugPage);
    const std::string font = IdePreferences().stack.font.name;
    for (DebugWindowSettings *block : debug_window_blocks(IdePreferences())) {
        EXPECT_EQ(block->font.colour, 0x0000FFu) << block->window_name;
        EXPECT_EQ(block->background_colour, 0xE0FFFFu) << block->window_name;
        EXPECT_EQ(block->font.name, font) << block->window_name;
    }
}

TEST_F(EnvironmentPages, AssemblyWithSyntaxHighlightingGreysTheFontAndForeground)
{
    Main();
    IdePreferences().assembly.syntax_highlight = true;
    Run([&](TfrmEditProperties &d) {
        Window(d, "Assembly");
        EXPECT_FALSE(d.cboFont->isEnabled());
        EXPECT_FALSE(d.cboForeground->isEnabled());
        EXPECT_FALSE(d.btnChooseFont->isEnabled());
        EXPECT_TRUE(d.cboBackground->isEnabled());
        d.chkSyntaxHighlight->click();
        EXPECT_TRUE(d.cboFont->isEnabled());
        EXPECT_TRUE(d.cboForeground->isEnabled());
        d.chkSyntaxHighlight->click();
        EXPECT_FALSE(d.cboFont->isEnabled());
        Window(d, "Stack");
        EXPECT_TRUE(d.cboFont->isEnabled()) << "only the assembly window's controls";
        d.reject();
    }, kDebugPage);
}

TEST_F(EnvironmentPages, MessagesColoursReachTheOpenWindowAndCancelPutsThemBack)
{
    TfrmMessages *messages = Main().ShowMessagesWindow();
    ASSERT_NE(messages, nullptr);
    const QColor text = messages->lbxMessages->palette().color(QPalette::Text);
    const QColor base = messages->lbxMessages->palette().color(QPalette::Base);
    Main();
    IdePreferences().messages.font.colour = clBlack;
    IdePreferences().messages.background_colour = clWhite;
    Run([&](TfrmEditProperties &d) {
        Window(d, "Messages");
        d.cboForeground->ChooseColor(0x0000FF);
        d.cboBackground->ChooseColor(0x00FFFF);
        EXPECT_EQ(messages->lbxMessages->palette().color(QPalette::Text), QColor(255, 0, 0));
        EXPECT_EQ(messages->lbxMessages->palette().color(QPalette::Base), QColor(255, 255, 0));
        m_boxes.answers.push_back(kIdYes);
        d.reject();
    }, kDebugPage);
    EXPECT_EQ(messages->lbxMessages->palette().color(QPalette::Text), QColor(0, 0, 0));
    EXPECT_EQ(messages->lbxMessages->palette().color(QPalette::Base), QColor(255, 255, 255));
    (void)text;
    (void)base;
}

// The registers window's three lists take the colours and the font at once; its view follows
// the display radios; Cancel puts every one back, OK keeps them and stores them.
TEST_F(EnvironmentPages, RegistersWindowFollowsThePageAndCancelPutsItBack)
{
    set_debug_windows(nullptr);
    Main();
    RegisterWindowSettings &stored = IdePreferences().registers;
    stored.font.colour = clBlack;
    stored.background_colour = clWhite;
    stored.show_editable = true;
    stored.show_history = false;
    debug_windows().Toggle(DebugWindow::Registers);
    auto *window = qobject_cast<TfrmRegisters *>(debug_windows().Window(DebugWindow::Registers));
    ASSERT_NE(window, nullptr);
    const QFont shown_font = window->lbxMainRegisters->font();
    const std::vector<QListWidget *> lists = {window->lbxRegisters, window->lbxMainRegisters,
                                              window->lbxFlags};
    auto expect_look = [&](QColor text, QColor base, const QString &family, const char *when) {
        for (QListWidget *list : lists) {
            EXPECT_EQ(list->palette().color(QPalette::Text), text) << when;
            EXPECT_EQ(list->palette().color(QPalette::Base), base) << when;
            EXPECT_EQ(list->font().family(), family) << when;
        }
    };
    expect_look(Qt::black, Qt::white, shown_font.family(), "as made from the settings");
    QFont chosen(QString::fromLatin1(kScreenshotFont));
    chosen.setPointSize(15);

    Run([&](TfrmEditProperties &d) {
        Window(d, "Registers");
        d.cboForeground->ChooseColor(0x0000FF);
        d.cboBackground->ChooseColor(0xCCFFFF);
        fonts.push_back(chosen);
        d.btnChooseFont->click();
        expect_look(QColor(255, 0, 0), QColor(255, 255, 204), chosen.family(), "at once");
        EXPECT_EQ(window->lbxMainRegisters->font().pointSize(), 15);
        d.rdbRegShowHistory->click();
        EXPECT_TRUE(window->lbxRegisters->isVisibleTo(window));
        EXPECT_FALSE(window->pnlRegister->isVisibleTo(window));
        m_boxes.answers.push_back(kIdYes);
        d.reject();
    }, kDebugPage);
    expect_look(Qt::black, Qt::white, shown_font.family(), "after Cancel");
    EXPECT_FALSE(window->lbxRegisters->isVisibleTo(window)) << "the editable view again";
    EXPECT_TRUE(window->pnlRegister->isVisibleTo(window));
    EXPECT_TRUE(stored.show_editable);
    EXPECT_FALSE(stored.show_history);
    EXPECT_EQ(stored.background_colour, clWhite);

    Run([&](TfrmEditProperties &d) {
        Window(d, "Registers");
        d.cboBackground->ChooseColor(0xCCFFFF);
        d.rdbRegShowHistory->click();
        d.accept();
    }, kDebugPage);
    expect_look(Qt::black, QColor(255, 255, 204), shown_font.family(), "after OK");
    EXPECT_TRUE(window->lbxRegisters->isVisibleTo(window));
    EXPECT_EQ(stored.background_colour, 0xCCFFFFu);
    EXPECT_TRUE(stored.show_history);
    debug_windows().Toggle(DebugWindow::Registers);
}

// Open memory dump windows change only with "Apply changes to all ": their look at once, their
// display flags and range at OK. Cancel, or OK with the box clear, gives each its own look back.
TEST_F(EnvironmentPages, DumpWindowsChangeOnlyWithApplyToAll)
{
    set_debug_windows(nullptr);
    Main().SetRunState(1);
    DumpWindowSettings &stored = IdePreferences().memory_dump;
    stored.font.colour = clBlack;
    stored.background_colour = clWhite;
    stored.apply_to_all = false;
    stored.display_flags[kDumpShowByteInCaption] = false;
    stored.range = 0;
    std::vector<TfrmMemoryDump *> windows;
    for (int i = 0; i < 2; ++i) {
        windows.push_back(qobject_cast<TfrmMemoryDump *>(TfrmMemoryDump::Make(Main())));
        ASSERT_NE(windows.back(), nullptr);
        windows.back()->ShowWindow();
    }
    ASSERT_EQ(Main().DumpWindows().size(), 2u);
    auto base = [](TfrmMemoryDump *w) { return w->lbxMemoryDump->palette().color(QPalette::Base); };
    auto text = [](TfrmMemoryDump *w) { return w->lbxMemoryDump->palette().color(QPalette::Text); };

    Run([&](TfrmEditProperties &d) {
        Window(d, "Memory Dump");
        d.cboBackground->ChooseColor(0xCCFFFF);
        for (TfrmMemoryDump *window : windows)
            EXPECT_EQ(base(window), Qt::white) << "the box is clear";
        d.chkDumpApplyAll->click();
        d.cboBackground->ChooseColor(0xFFCCCC);
        d.cboForeground->ChooseColor(0x0000FF);
        for (TfrmMemoryDump *window : windows) {
            EXPECT_EQ(base(window), QColor(204, 204, 255)) << "every open one at once";
            EXPECT_EQ(text(window), QColor(255, 0, 0));
        }
        m_boxes.answers.push_back(kIdYes);
        d.reject();
    }, kDebugPage);
    for (TfrmMemoryDump *window : windows) {
        EXPECT_EQ(base(window), Qt::white) << "Cancel";
        EXPECT_EQ(text(window), Qt::black);
    }
    EXPECT_FALSE(stored.apply_to_all);

    // Checked, changed, cleared again: OK stores the colour, the windows keep their own.
    Run([&](TfrmEditProperties &d) {
        Window(d, "Memory Dump");
        d.chkDumpApplyAll->click();
        d.cboBackground->ChooseColor(0xFFCCCC);
        d.chkDumpApplyAll->click();
        d.accept();
    }, kDebugPage);
    for (TfrmMemoryDump *window : windows)
        EXPECT_EQ(base(window), Qt::white) << "OK with the box clear";
    EXPECT_EQ(stored.background_colour, 0xFFCCCCu);

    Run([&](TfrmEditProperties &d) {
        Window(d, "Memory Dump");
        d.chkDumpApplyAll->click();
        d.chkShowByteInCaption->click();
        d.rdbFullRange->click();
        d.cboBackground->ChooseColor(0xCCFFCC);
        EXPECT_FALSE(windows[0]->actShowByteInCaption->isChecked()) << "flags wait for OK";
        d.accept();
    }, kDebugPage);
    for (TfrmMemoryDump *window : windows) {
        EXPECT_EQ(base(window), QColor(204, 255, 204));
        EXPECT_TRUE(window->actShowByteInCaption->isChecked());
        EXPECT_EQ(window->Layout().range, 2);
    }
    EXPECT_TRUE(stored.display_flags[kDumpShowByteInCaption]);
    EXPECT_EQ(stored.range, 2);
    for (TfrmMemoryDump *window : windows)
        window->CloseWindow();
}

TEST_F(EnvironmentPages, FlyoverBoxStopsHintsAtOnceAndCancelRestoresIt)
{
    Main();
    IdePreferences().watch.watches_in_flyover = true;
    IdePreferences().watch.errors_in_flyover = true;
    Run([&](TfrmEditProperties &d) {
        Window(d, "Watch");
        d.chkEnableFlyoverWatch->click();
        EXPECT_FALSE(IdePreferences().watch.watches_in_flyover);
        EXPECT_FALSE(d.chkShowErrorInFlyover->isEnabled());
        m_boxes.answers.push_back(kIdYes);
        d.reject();
    }, kDebugPage);
    EXPECT_TRUE(IdePreferences().watch.watches_in_flyover);
    EXPECT_TRUE(IdePreferences().watch.errors_in_flyover);
}

} // namespace
