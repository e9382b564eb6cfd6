// The Environment Options dialog driven as the user drives it: where it opens, what closing it
// asks and refuses, what the editor pages change at once in open editors and what Cancel puts
// back, what OK stores and when, and the editor options kept from one run to the next.
#include "OptionsDoubles.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QStackedWidget>
#include <QToolBar>
#include <QMdiArea>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <Qsci/qsciscintilla.h>

#include <fstream>

#include "controls/ColorCombo.h"
#include "controls/QBSpinEdit.h"
#include "editor/KorvexLexer.h"
#include "editor/MemoOptions.h"
#include "editor/frmKXEditor.h"
#include "options/frmKXEditProperties.h"
#include "settings/guiEnvironment.h"

namespace {

using Script = std::function<void(TfrmEditProperties &)>;

class EditProperties : public GuiTest {
protected:
    Journal journal;
    RecordingShell shell{journal};
    std::deque<std::optional<TColor>> colours; // what the colour dialog answers, in turn
    bool closed = false;                       // the dialog closed itself

    void SetUp() override
    {
        GuiTest::SetUp();
        reset_memo_options();
        set_options_shell(&shell);
        set_color_dialog_runner([this](TColor) -> std::optional<TColor> {
            if (colours.empty())
                return std::nullopt;
            const std::optional<TColor> answer = colours.front();
            colours.pop_front();
            return answer;
        });
    }
    void TearDown() override
    {
        set_color_dialog_runner(nullptr);
        set_options_shell(nullptr);
        GuiTest::TearDown();
        reset_memo_options();
    }

    // The dialog as the Options menu opens it (or the editor's popup, with its memo), handed
    // to the script while it is shown; whether it closed is kept.
    void Run(const Script &script, TfrmEdit *editor = nullptr)
    {
        shell.modal = [&](QDialog &dialog) {
            script(static_cast<TfrmEditProperties &>(dialog));
            closed = !dialog.isVisible();
        };
        if (editor)
            editor->actEditorProperties->trigger();
        else
            Main().actEnvOptions->trigger();
    }
    TfrmEdit *OpenC(const std::string &name = "prog.c")
    {
        Write(name, "/* note */\nint main() { return 0; }\n");
        Main().OpenFile(Path(name));
        Settle();
        const std::vector<TfrmEdit *> editors = Main().Editors();
        return editors.empty() ? nullptr : editors.back();
    }
    // Typing into a field: the text as one edit.
    static void Enter(QLineEdit *field, const QString &text)
    {
        field->setText(text);
        emit field->textEdited(text);
    }
    static void EnterSize(TfrmEditProperties &d, const QString &text)
    {
        d.FontSizeEdit->setEditText(text);
    }
    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> texts;
        for (const auto &box : m_boxes.shown)
            texts.push_back(box.text);
        return texts;
    }
    static long StyleSize(QsciScintilla *memo, int style)
    {
        return memo->SendScintilla(QsciScintillaBase::SCI_STYLEGETSIZE, style);
    }
    static long StyleBack(QsciScintilla *memo, int style)
    {
        return memo->SendScintilla(QsciScintillaBase::SCI_STYLEGETBACK, style);
    }
    static long StyleFore(QsciScintilla *memo, int style)
    {
        return memo->SendScintilla(QsciScintillaBase::SCI_STYLEGETFORE, style);
    }
};

// ---- where it opens and how it closes ----------------------------------------------------------

TEST_F(EditProperties, PagesInOrderOpeningOnTheStoredPageOrTheEditorPage)
{
    IdePreferences().edit_options_pg = 3;
    QStringList tabs;
    int page = -1;
    Run([&](TfrmEditProperties &d) {
        for (int i = 0; i < d.EditPropertiesPgCtrl->count(); ++i)
            tabs << d.EditPropertiesPgCtrl->tabText(i);
        page = d.EditPropertiesPgCtrl->currentIndex();
        d.EditPropertiesPgCtrl->setCurrentIndex(5);
        d.reject();
    });
    EXPECT_EQ(tabs, QStringList({"Editor", "Gutter && Margin", "Display", "Syntax Colors",
                                 "Code Templates", "Debug Windows", "Print / Alerts"}));
    EXPECT_EQ(page, 3);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(m_boxes.shown.empty()) << "Cancel without a change asks nothing";
    EXPECT_EQ(IdePreferences().edit_options_pg, 5) << "the page is stored after Cancel too";

    TfrmEdit *editor = OpenC();
    Run([&](TfrmEditProperties &d) {
        page = d.EditPropertiesPgCtrl->currentIndex();
        d.reject();
    },
        editor);
    EXPECT_EQ(page, 0) << "the editor's popup opens the Editor page";
}

struct CancelCase {
    const char *name;
    bool change;
    std::deque<int> answers;
    bool closes;
};
class EditPropertiesCancel : public EditProperties,
                             public ::testing::WithParamInterface<CancelCase> {};

TEST_P(EditPropertiesCancel, AsksOnlyAfterAChange)
{
    const CancelCase &c = GetParam();
    m_boxes.answers = c.answers;
    Run([&](TfrmEditProperties &d) {
        if (c.change)
            d.Toggle("actGroupUndo")->click();
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    EXPECT_EQ(closed, c.closes);
    if (!c.change) {
        EXPECT_TRUE(m_boxes.shown.empty());
        return;
    }
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "Quit without saving changes?");
    EXPECT_EQ(m_boxes.shown[0].caption, "");
    EXPECT_EQ(m_boxes.shown[0].flags, kMbYesNo | kMbIconWarning | kMbDefButton2);
}

INSTANTIATE_TEST_SUITE_P(
    All, EditPropertiesCancel,
    ::testing::Values(CancelCase{"unchanged", false, {}, true},
                      CancelCase{"changed_no_keeps_the_dialog", true, {kIdNo}, false},
                      CancelCase{"changed_yes_closes", true, {kIdYes}, true}),
    [](const auto &i) { return std::string(i.param.name); });

TEST_F(EditProperties, OkWithoutAChangeChecksNothing)
{
    Run([&](TfrmEditProperties &d) {
        d.BlockIndentEdit->clear();
        d.edtRows->setText("1x");
        d.accept();
    });
    EXPECT_TRUE(closed);
    EXPECT_TRUE(m_boxes.shown.empty());
}

// ---- what OK refuses ---------------------------------------------------------------------------

struct Refusal {
    const char *name;
    std::function<void(TfrmEditProperties &)> enter;
    std::string message;
    int page;
    const char *focus;
};
void PrintTo(const Refusal &c, std::ostream *out) { *out << c.name; }

class EditPropertiesRefusal : public EditProperties,
                              public ::testing::WithParamInterface<Refusal> {};

TEST_P(EditPropertiesRefusal, KeepsTheDialogOnThePageAndFieldAndStoresNothing)
{
    const Refusal &c = GetParam();
    const TIdePreferences before = IdePreferences();
    const int indent = GlobalMemoSourceOptions().BlockIndent;
    Run([&](TfrmEditProperties &d) {
        d.Modified = true;
        c.enter(d);
        m_boxes.shown.clear();
        d.accept();
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(d.EditPropertiesPgCtrl->currentIndex(), c.page);
        QWidget *focus = d.focusWidget();
        ASSERT_NE(focus, nullptr);
        EXPECT_TRUE(focus->objectName() == c.focus ||
                    (focus->parentWidget() && focus->parentWidget()->objectName() == c.focus))
            << focus->objectName().toStdString();
    });
    ASSERT_FALSE(m_boxes.shown.empty());
    EXPECT_EQ(m_boxes.shown.back().text, c.message);
    EXPECT_EQ(m_boxes.shown.back().caption, "Error");
    EXPECT_EQ(IdePreferences().stdio, before.stdio) << "nothing half-applied";
    EXPECT_EQ(GlobalMemoSourceOptions().BlockIndent, indent);
}

void text(QLineEdit *field, const char *value) { field->setText(value); }

INSTANTIATE_TEST_SUITE_P(
    All, EditPropertiesRefusal,
    ::testing::Values(
        Refusal{"blank_block_indent", [](auto &d) { text(d.BlockIndentEdit, ""); },
                "Block indent cannot be blank", 0, "BlockIndentEdit"},
        Refusal{"blank_tab_stops", [](auto &d) { text(d.TabStopsEdit, ""); },
                "Tab stops cannot be blank", 0, "TabStopsEdit"},
        Refusal{"blank_font_size", [](auto &d) { d.FontSizeEdit->setEditText(""); },
                "Font size cannot be blank", 2, "FontSizeEdit"},
        Refusal{"rows_1x", [](auto &d) { text(d.edtRows, "1x"); },
                "Stdio row count must be an integer value", 5, "edtRows"},
        Refusal{"rows_blank_first", [](auto &d) { text(d.edtRows, " 12"); },
                "Stdio row count must be an integer value", 5, "edtRows"},
        Refusal{"rows_exponent", [](auto &d) { text(d.edtRows, "1e3"); },
                "Stdio row count must be an integer value", 5, "edtRows"},
        Refusal{"rows_zero", [](auto &d) { text(d.edtRows, "0"); },
                "Stdio row count must be between 1 and 10000", 5, "edtRows"},
        Refusal{"one_column", [](auto &d) { text(d.edtColumns, "1"); },
                "Stdio column count must be between 2 and 512", 5, "edtColumns"},
        Refusal{"spaces_in_tab_equal_to_columns", [](auto &d) { text(d.edtSpacesInTab, "80"); },
                "Stdio spaces in tab must be between 1 and 79", 5, "edtSpacesInTab"},
        Refusal{"log_without_a_file",
                [](auto &d) {
                    if (!d.chkLogStdio->isChecked())
                        d.chkLogStdio->click();
                    text(d.edtStdioLog, "");
                },
                "Stdio log file not specified", 5, "edtStdioLog"},
        Refusal{"block_indent_3a", [](auto &d) { text(d.BlockIndentEdit, "3a"); },
                "3a is not a valid number", 0, "BlockIndentEdit"},
        Refusal{"block_indent_minus", [](auto &d) { text(d.BlockIndentEdit, "-"); },
                "- is not a valid number", 0, "BlockIndentEdit"},
        Refusal{"block_indent_huge", [](auto &d) { text(d.BlockIndentEdit, "99999999999"); },
                "99999999999 is not a valid number", 0, "BlockIndentEdit"},
        Refusal{"font_size_zero", [](auto &d) { d.FontSizeEdit->setEditText("0"); },
                "0 is not a valid number", 2, "FontSizeEdit"},
        Refusal{"margin_position_3a", [](auto &d) { text(d.MarginPosEdit, "3a"); },
                "3a is not a valid number", 1, "MarginPosEdit"},
        Refusal{"print_margin_nan", [](auto &d) { text(d.edLeft, "nan"); },
                "nan is not a valid number", 6, "edLeft"},
        Refusal{"print_margin_text", [](auto &d) { text(d.edTop, "abc"); },
                "abc is not a valid number", 6, "edTop"}),
    [](const auto &i) { return std::string(i.param.name); });

// Tab stops the editor cannot take: the message, and the field shows the stops in force.
TEST_F(EditProperties, TabStopsTheEditorCannotTake)
{
    for (const char *stops : {"6,3", "a,b", "3,,6", "0", "3,3"}) {
        SCOPED_TRACE(stops);
        m_boxes.shown.clear();
        Run([&](TfrmEditProperties &d) {
            Enter(d.TabStopsEdit, stops);
            d.accept();
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(d.TabStopsEdit->text(), "3");
        });
        ASSERT_EQ(BoxTexts(), std::vector<std::string>{"Second value must be > first, 3,5 etc."});
        EXPECT_EQ(GlobalMemoSourceOptions().TabStops(), "3");
    }
    Run([&](TfrmEditProperties &d) {
        Enter(d.TabStopsEdit, "4, 8");
        d.accept();
    });
    EXPECT_TRUE(closed);
    EXPECT_EQ(GlobalMemoSourceOptions().TabStops(), "4, 8");
    EXPECT_EQ(GlobalMemoSourceOptions().TabWidth(), 4);
}

TEST_F(EditProperties, RowsAndColumnsOutOfRangeAreBothToldAndNeitherStored)
{
    Run([&](TfrmEditProperties &d) {
        Enter(d.edtRows, "20000");
        Enter(d.edtColumns, "600");
        d.accept();
        EXPECT_TRUE(d.isVisible());
    });
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Stdio row count must be between 1 and 10000",
                                                    "Stdio column count must be between 2 and 512"}));
    EXPECT_EQ(IdePreferences().stdio.rows, 10000);
    EXPECT_EQ(IdePreferences().stdio.columns, 80);

    m_boxes.shown.clear();
    Run([&](TfrmEditProperties &d) {
        Enter(d.edtRows, "200");
        Enter(d.edtColumns, "100");
        Enter(d.edtSpacesInTab, "79");
        d.accept();
    });
    EXPECT_TRUE(closed);
    EXPECT_TRUE(m_boxes.shown.empty());
    EXPECT_EQ(IdePreferences().stdio.rows, 200);
    EXPECT_EQ(IdePreferences().stdio.columns, 100);
    EXPECT_EQ(IdePreferences().stdio.spaces_in_tab, 79);
}

// ---- typed numbers -----------------------------------------------------------------------------

TEST_F(EditProperties, FontSizeThatIsNoNumberIsToldAndAppliesNothing)
{
    TfrmEdit *editor = OpenC();
    Run([&](TfrmEditProperties &d) {
        d.EditPropertiesPgCtrl->setCurrentWidget(d.DisplayPg);
        d.FontSizeEdit->setEditText("abc");
        ASSERT_EQ(m_boxes.shown.size(), 1u);
        EXPECT_EQ(m_boxes.shown[0].text, "abc is not a valid number");
        EXPECT_EQ(m_boxes.shown[0].flags & kMbIconMask, kMbIconError);
        EXPECT_EQ(GlobalMemoOptions().FontSize, 10);
        EXPECT_TRUE(d.focusWidget() == d.FontSizeEdit ||
                    d.FontSizeEdit->isAncestorOf(d.focusWidget()));
        d.FontSizeEdit->setEditText("13");
        EXPECT_EQ(StyleSize(editor->Editor(), kStyleComment), 13) << "applied at once";
        d.accept();
    });
    EXPECT_TRUE(closed);
    QString shown;
    Run([&](TfrmEditProperties &d) {
        shown = d.FontSizeEdit->currentText();
        d.reject();
    });
    EXPECT_EQ(shown, "13") << "a size not in the list still shows";
}

TEST_F(EditProperties, TypedBlockIndentAndMarginThatAreNoNumberApplyNothing)
{
    for (const char *typed : {"3a", "-", "99999999999"}) {
        SCOPED_TRACE(typed);
        m_boxes.shown.clear();
        m_boxes.answers = {kIdOk, kIdOk, kIdYes};
        std::vector<std::string> told;
        Run([&](TfrmEditProperties &d) {
            Enter(d.BlockIndentEdit, typed);
            Enter(d.MarginPosEdit, typed);
            told = BoxTexts();
            d.reject();
        });
        EXPECT_EQ(told, std::vector<std::string>(2, std::string(typed) + " is not a valid number"));
        EXPECT_EQ(GlobalMemoSourceOptions().BlockIndent, 3);
        EXPECT_EQ(GlobalMemoOptions().MarginPos, 80);
    }
}

// ---- the editor pages change open editors at once; Cancel puts each back --------------------

TEST_F(EditProperties, LiveChangesReachEditorsSamplesAndWorkspaceAndCancelPutsThemBack)
{
    TfrmEdit *editor = OpenC();
    QsciScintilla *memo = editor->Editor();
    const long paper = StyleBack(memo, kStyleIdentifier);
    const int gutter = memo->marginWidth(1);
    const QBrush workspace = Main().Workspace()->background();
    m_boxes.answers = {kIdYes};
    Run([&](TfrmEditProperties &d) {
        d.FontSizeEdit->setEditText("16");
        d.EditorBackColor->ChooseColor(0x00FFFF); // yellow
        d.ForegroundColor->ChooseColor(0x0000FF);
        d.GutterWidthEdit->setText("40");
        EXPECT_EQ(memo->marginWidth(1), gutter) << "typing the width changes nothing yet";
        d.btnRefreshGutter->click();
        d.MarginVisible->click();
        d.pcbUseSpecSymbs->click();
        d.WorkspaceColor->ChooseColor(0x808080);
        d.clrFgLineNumber->ChooseColor(0x0000FF);

        EXPECT_EQ(StyleSize(memo, kStyleIdentifier), 16);
        EXPECT_EQ(StyleSize(d.DisplayMemo, kStyleIdentifier), 16);
        EXPECT_EQ(StyleBack(memo, kStyleIdentifier), 0x00FFFF);
        EXPECT_EQ(GlobalMemoOptions().FontColor, 0x0000FFu);
        EXPECT_EQ(memo->marginWidth(1), 40);
        EXPECT_EQ(memo->edgeMode(), QsciScintilla::EdgeLine);
        EXPECT_EQ(memo->whitespaceVisibility(), QsciScintilla::WsVisible);
        EXPECT_EQ(Main().Workspace()->background().color(), QColor(0x80, 0x80, 0x80));
        EXPECT_EQ(memo->SendScintilla(QsciScintillaBase::SCI_STYLEGETFORE,
                                      QsciScintillaBase::STYLE_LINENUMBER),
                  0x0000FF);
        d.reject();
    });
    EXPECT_TRUE(closed);
    EXPECT_EQ(StyleSize(memo, kStyleIdentifier), 10);
    EXPECT_EQ(StyleBack(memo, kStyleIdentifier), paper);
    EXPECT_EQ(memo->marginWidth(1), gutter);
    EXPECT_EQ(memo->edgeMode(), QsciScintilla::EdgeNone);
    EXPECT_EQ(memo->whitespaceVisibility(), QsciScintilla::WsInvisible);
    EXPECT_EQ(Main().Workspace()->background(), workspace);
    EXPECT_EQ(memo->SendScintilla(QsciScintillaBase::SCI_STYLEGETFORE,
                                  QsciScintillaBase::STYLE_LINENUMBER),
              0x000000);
    EXPECT_EQ(IdePreferences().line_number_color, clBlack);
}

TEST_F(EditProperties, OneRepaintPerUpdate)
{
    TMemoEnvOptions &env = GlobalMemoOptions();
    const int before = memo_options_notifications();
    env.BeginUpdate();
    env.FontSize = 12;
    env.Changed();
    GlobalMemoSourceOptions().BeginUpdate();
    GlobalMemoSourceOptions().BlockIndent = 4;
    GlobalMemoSourceOptions().Changed();
    GlobalMemoSourceOptions().EndUpdate();
    EXPECT_EQ(memo_options_notifications(), before);
    env.EndUpdate();
    EXPECT_EQ(memo_options_notifications(), before + 1);
    env.BeginUpdate();
    env.EndUpdate();
    EXPECT_EQ(memo_options_notifications(), before + 1) << "no change, no repaint";
}

// Each toggle owns one bit (or setting): clicking it changes exactly that, clicking again puts
// it back.
struct ToggleCase {
    const char *action;
    bool source; // the source options' bit, else the environment options'
    int bit;
    bool inverted;
};
class EditPropertiesToggle : public EditProperties,
                             public ::testing::WithParamInterface<ToggleCase> {};

TEST_P(EditPropertiesToggle, OwnsItsBit)
{
    const ToggleCase &c = GetParam();
    const auto bits = [&] {
        return c.source ? GlobalMemoSourceOptions().Options.to_ulong()
                        : GlobalMemoOptions().Options.to_ulong();
    };
    const unsigned long before = bits();
    Run([&](TfrmEditProperties &d) {
        QCheckBox *box = d.Toggle(c.action);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->isChecked(), ((before >> c.bit) & 1) != c.inverted);
        box->click();
        EXPECT_EQ(bits(), before ^ (1ul << c.bit));
        EXPECT_EQ(box->isChecked(), ((bits() >> c.bit) & 1) != c.inverted);
        EXPECT_TRUE(d.Modified);
        box->click();
        EXPECT_EQ(bits(), before);
        d.reject();
    });
}

INSTANTIATE_TEST_SUITE_P(
    All, EditPropertiesToggle,
    ::testing::Values(ToggleCase{"actAutoIndentMode", true, 4, false},
                      ToggleCase{"actUsePrevIndent", true, 17, false},
                      ToggleCase{"actCursorThruTabs", true, 12, false},
                      ToggleCase{"actBackspaceUnindents", true, 0, false},
                      ToggleCase{"actShowLineNumbers", false, 5, false},
                      ToggleCase{"actGroupUndo", true, 1, false},
                      ToggleCase{"actCursorBeyondEOF", true, 2, false},
                      ToggleCase{"actCursorBeyondEOL", true, 10, true},
                      ToggleCase{"actSelectBeyondEOL", false, 9, true},
                      ToggleCase{"actPersistentBlocks", true, 8, false},
                      ToggleCase{"actOverWriteBlocks", true, 9, false},
                      ToggleCase{"actDblClickEdit", false, 3, false},
                      ToggleCase{"actFindTextAtCursor", true, 6, false},
                      ToggleCase{"actSelectFoundText", true, 14, false},
                      ToggleCase{"actUseSyntaxHighlight", false, 4, false},
                      ToggleCase{"actBlockOverwriteCursor", false, 6, false},
                      ToggleCase{"actDisableDragging", false, 8, false},
                      ToggleCase{"actNotepadStyleCursor", false, 11, false},
                      ToggleCase{"actCenterBookmarks", false, 22, false}),
    [](const auto &i) { return std::string(i.param.action); });

TEST_F(EditProperties, CursorBeyondEolClearedStopsTheCaretAtLineEnds)
{
    TfrmEdit *editor = OpenC();
    QsciScintilla *memo = editor->Editor();
    const auto virtual_space = [&] {
        return memo->SendScintilla(QsciScintillaBase::SCI_GETVIRTUALSPACEOPTIONS);
    };
    EXPECT_EQ(virtual_space() & QsciScintillaBase::SCVS_USERACCESSIBLE, 0);
    Run([&](TfrmEditProperties &d) {
        d.Toggle("actCursorBeyondEOL")->click();
        EXPECT_FALSE(GlobalMemoSourceOptions().Options[soCaretInsideLines]);
        EXPECT_NE(virtual_space() & QsciScintillaBase::SCVS_USERACCESSIBLE, 0);
        d.Toggle("actCursorBeyondEOL")->click();
        EXPECT_TRUE(GlobalMemoSourceOptions().Options[soCaretInsideLines]);
        EXPECT_EQ(virtual_space() & QsciScintillaBase::SCVS_USERACCESSIBLE, 0);
        d.reject();
    });
}

TEST_F(EditProperties, NumbersOnGutterOnlyWhileLineNumbersShowAndUndoAfterSaveAtOnce)
{
    m_boxes.answers = {kIdYes};
    Run([&](TfrmEditProperties &d) {
        QCheckBox *gutter = d.Toggle("actShowNumbersOnGutter");
        EXPECT_TRUE(gutter->isEnabled());
        d.Toggle("actShowLineNumbers")->click();
        EXPECT_FALSE(gutter->isEnabled());
        d.Toggle("actShowLineNumbers")->click();
        EXPECT_TRUE(gutter->isEnabled());

        d.Toggle("actUndoAfterSave")->click();
        EXPECT_TRUE(IdePreferences().undo_after_save) << "written at once";
        d.Toggle("actKeepTrailingBlanks")->click();
        EXPECT_TRUE(GlobalMemoSourceOptions().KeepTrailingBlanks);
        d.reject();
    });
    EXPECT_FALSE(IdePreferences().undo_after_save) << "Cancel restores it";
    EXPECT_FALSE(GlobalMemoSourceOptions().KeepTrailingBlanks);
}

TEST_F(EditProperties, EmptySpaceOrTabSymbolIsCharacterZero)
{
    Run([&](TfrmEditProperties &d) {
        d.pcbUseSpecSymbs->click();
        EXPECT_TRUE(d.edtSSSpace->isEnabled());
        d.edtSSSpace->clear();
        d.edtSSTab->clear();
        EXPECT_EQ(GlobalMemoOptions().SpaceSymbol, 0);
        EXPECT_EQ(GlobalMemoOptions().TabSymbol, 0);
        d.edtSSTab->setText("~");
        EXPECT_EQ(GlobalMemoOptions().TabSymbol, u'~');
        d.accept();
    });
    EXPECT_TRUE(closed);
    EXPECT_TRUE(GlobalMemoOptions().Options[moDrawSpecialSymbols]);
}

// ---- the commands ------------------------------------------------------------------------------

TEST_F(EditProperties, OptionsMenuToolbarAndEditorPopupOpenIt)
{
    QAction *command = Main().actEnvOptions;
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->text(), "&Environment Options");
    EXPECT_EQ(command->objectName(), "actEnvOptions");
    QMenu *menu = nullptr;
    for (QAction *entry : Main().menuBar()->actions())
        if (entry->text() == "&Options")
            menu = entry->menu();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->actions().contains(command));
    auto *toolbar = Main().findChild<QToolBar *>("tbarOptions");
    ASSERT_NE(toolbar, nullptr);
    EXPECT_TRUE(toolbar->actions().contains(command));

    TfrmEdit *editor = OpenC();
    const QList<QAction *> popup = editor->Popup()->actions();
    ASSERT_FALSE(popup.isEmpty());
    EXPECT_EQ(popup.back(), editor->actEditorProperties);
    EXPECT_EQ(popup.back()->text(), "&Options...");
    EXPECT_TRUE(popup[popup.size() - 2]->isSeparator());
    bool shown = false;
    Run([&](TfrmEditProperties &d) {
        shown = true;
        EXPECT_EQ(Main().EditPropertiesForm(), &d);
        d.reject();
    });
    EXPECT_TRUE(shown);
    EXPECT_EQ(Main().EditPropertiesForm(), nullptr) << "freed after its showing";
}

// ---- the debug windows page --------------------------------------------------------------------

TEST_F(EditProperties, FlyoverWatchesChangeAtOnceAndCancelPutsThemBack)
{
    m_boxes.answers = {kIdYes};
    Run([&](TfrmEditProperties &d) {
        d.lbxWindow->setCurrentRow(5);
        EXPECT_EQ(d.pnlOptions->currentWidget(), d.pnlWatches);
        d.chkEnableFlyoverWatch->click();
        EXPECT_FALSE(IdePreferences().watch.watches_in_flyover);
        EXPECT_FALSE(d.chkShowErrorInFlyover->isEnabled());
        d.reject();
        EXPECT_TRUE(d.chkEnableFlyoverWatch->isChecked());
        EXPECT_TRUE(d.chkShowErrorInFlyover->isEnabled() || !d.isVisible());
    });
    EXPECT_TRUE(closed);
    EXPECT_TRUE(IdePreferences().watch.watches_in_flyover);
}

TEST_F(EditProperties, WindowBoxesOnlyWithOpenSelectedButStoredAtOk)
{
    Run([&](TfrmEditProperties &d) {
        EXPECT_TRUE(d.rdbOpenLast->isChecked());
        for (QCheckBox *box : {d.chkAssembly, d.chkRegisters, d.chkWatch, d.chkStdio, d.chkStack})
            EXPECT_FALSE(box->isEnabled());
        d.rdbOpenSelected->click();
        EXPECT_TRUE(d.chkStack->isEnabled());
        d.chkStack->click();
        d.chkStdio->click();
        d.rdbOpenAll->click();
        EXPECT_FALSE(d.chkStack->isEnabled());
        d.chkTraceAutoScroll->click();
        d.rdb64k->click();
        d.accept();
    });
    ASSERT_TRUE(closed);
    const TIdePreferences &p = IdePreferences();
    EXPECT_TRUE(p.open_all);
    EXPECT_FALSE(p.open_last);
    EXPECT_TRUE(p.stack.show);
    EXPECT_TRUE(p.stdio.show);
    EXPECT_FALSE(p.trace.auto_scroll) << "the trace's auto scroll is stored too";
    EXPECT_EQ(p.memory_dump.range, 1);
}

// ---- syntax colours ----------------------------------------------------------------------------

TEST_F(EditProperties, SyntaxColorsListsTheSixteenElementsInOrder)
{
    QStringList names;
    Run([&](TfrmEditProperties &d) {
        for (int i = 0; i < d.Elements->count(); ++i)
            names << d.Elements->item(i)->text();
        d.reject();
    });
    EXPECT_EQ(names, QStringList({"Whitespace", "String", "Comment", "Integer", "Float",
                                  "Reserved words", "Defines", "Identifier", "Delimiters",
                                  "Assembler", "Registers", "BreakPoint", "ExecutionPoint",
                                  "Error line", "Marked Block", "Search Match"}));
}

TEST_F(EditProperties, ElementColoursFollowTheirUseDefaultBoxes)
{
    TfrmEdit *editor = OpenC();
    QsciScintilla *memo = editor->Editor();
    Run([&](TfrmEditProperties &d) {
        d.Elements->setCurrentRow(7); // Identifier, black on white as the editor
        ASSERT_TRUE(d.chkDefFore->isChecked());
        EXPECT_FALSE(d.SyntaxForeColor->isEnabled());
        d.Modified = false;
        d.SyntaxForeColor->ChooseColor(0x0000FF);
        EXPECT_EQ(GlobalMemoOptions().TextStyles[kStyleIdentifier].FontColor, clBlack)
            << "with the default in use a colour changes nothing";
        EXPECT_TRUE(d.Modified);

        d.Elements->setCurrentRow(2); // Comment has a colour of its own
        EXPECT_FALSE(d.chkDefFore->isChecked());
        d.SyntaxForeColor->ChooseColor(0x0000FF);
        EXPECT_EQ(StyleFore(memo, kStyleComment), 0x0000FF);
        d.chkDefFore->click();
        EXPECT_EQ(StyleFore(memo, kStyleComment), 0x000000) << "back on the editor's colour";

        // A new editor background: the elements on the default background take it.
        d.Elements->setCurrentRow(0); // Whitespace, on the default background
        d.Elements->setCurrentRow(1);
        d.chkDefBack->click();        // String keeps its own
        d.SyntaxBackColor->ChooseColor(0xC0C0C0);
        d.EditorBackColor->ChooseColor(0xF0FFFF);
        EXPECT_EQ(StyleBack(memo, kStyleWhitespace), 0xF0FFFF);
        EXPECT_EQ(StyleBack(memo, kStyleString), 0xC0C0C0);
        d.accept();
    });
    EXPECT_TRUE(closed);
}

TEST_F(EditProperties, BreakPointColourRecoloursMarksInOpenEditors)
{
    TfrmEdit *editor = OpenC();
    QsciScintilla *memo = editor->Editor();
    const auto mark_colour = [&] {
        return memo->SendScintilla(QsciScintillaBase::SCI_INDICGETFORE, 20L);
    };
    EXPECT_EQ(mark_colour(), 0x0000FF) << "red";
    Run([&](TfrmEditProperties &d) {
        d.Elements->setCurrentRow(11);
        ASSERT_EQ(d.Elements->currentItem()->text(), "BreakPoint");
        ASSERT_FALSE(d.chkDefBack->isChecked()) << "a breakpoint has its own background";
        d.SyntaxBackColor->ChooseColor(0xFF00FF);
        EXPECT_EQ(mark_colour(), 0xFF00FF);
        d.accept();
    });
    EXPECT_EQ(GlobalMemoOptions().StyleNamed("BpBIU")->Color, 0xFF00FFu);
}

TEST_F(EditProperties, OkWritesTheSixteenElementKeysAtOnce)
{
    Run([&](TfrmEditProperties &d) {
        d.Elements->setCurrentRow(2);
        d.SyntaxForeColor->ChooseColor(0x0000FF);
        d.accept();
    });
    ASSERT_TRUE(closed);
    EXPECT_EQ(m_store.saves, 0) << "the other settings wait for the IDE to close";
    TKXRegistry reg;
    for (const char *name : {"Whitespace", "Comment", "Search Match"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(reg.open_key(settings_key(std::string("Environment\\TextStyles\\") + name), false));
        EXPECT_TRUE(reg.read_integer("UseDefaultBackColor").has_value());
        reg.close_key();
    }
    ASSERT_TRUE(reg.open_key(settings_key("Environment\\TextStyles\\Comment"), false));
    EXPECT_EQ(reg.read_integer("UseDefaultForeColor"), 0);
    EXPECT_EQ(reg.read_integer("CustomForeColor"), 0x0000FF);
}

TEST_F(EditProperties, OkWithoutCInTheSyntaxTypesUncoloursOpenCEditors)
{
    TfrmEdit *editor = OpenC();
    ASSERT_TRUE(editor->HasSyntaxParser());
    Run([&](TfrmEditProperties &d) {
        d.SyntaxFileTypesEdit->setText("lib;h");
        d.Modified = true;
        d.accept();
    });
    EXPECT_EQ(IdePreferences().syntax_file_types, "lib;h");
    EXPECT_FALSE(editor->HasSyntaxParser());
}

// ---- colour-style files ------------------------------------------------------------------------

struct StyleFile {
    const char *name;
    std::string bytes;
    std::string error;
};
class ColorStyleFiles : public ::testing::TestWithParam<StyleFile> {};

TEST_P(ColorStyleFiles, RefusedWholeWithTheLine)
{
    const std::string path =
        (std::filesystem::temp_directory_path() / ("kx_styles_" + std::to_string(getpid()))).string();
    {
        std::ofstream out(path, std::ios::binary);
        out << GetParam().bytes;
    }
    std::vector<TTextStyle> styles = korvex_default_styles();
    const std::vector<TTextStyle> before = styles;
    std::string error;
    EXPECT_FALSE(LoadColorStyles(path, styles, error));
    EXPECT_EQ(error, GetParam().error);
    EXPECT_EQ(styles, before);
    std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(
    All, ColorStyleFiles,
    ::testing::Values(
        StyleFile{"empty", "", "it is not a colour-style file"},
        StyleFile{"binary", std::string("\x7f" "ELF\0\1\2", 7), "it is not a colour-style file"},
        StyleFile{"truncated", "Korvex colour styles 1\nComment=FF0000,00FF", 
                  "line 2: a style needs two colours and its attributes"},
        StyleFile{"bad_colour", "Korvex colour styles 1\nString=FFFFFF,GG0000,-\n",
                  "line 2: a colour is six hex digits RRGGBB"},
        StyleFile{"unknown_name", "Korvex colour styles 1\nComment=FFFFFF,FF0000,I\nNope=FFFFFF,000000,-\n",
                  "line 3: no style is named \"Nope\""},
        StyleFile{"twice", "Korvex colour styles 1\nComment=FFFFFF,FF0000,I\nComment=FFFFFF,FF0000,I\n",
                  "line 3: \"Comment\" is given twice"},
        StyleFile{"bad_attributes", "Korvex colour styles 1\nComment=FFFFFF,FF0000,BB\n",
                  "line 2: the attributes are \"-\" or any of \"B\", \"I\", \"U\""}),
    [](const auto &i) { return std::string(i.param.name); });

TEST_F(EditProperties, ColourStylesSavedAndOpenedAgainResetTheDefaults)
{
    const std::string file = Path("styles.kxc");
    std::vector<TTextStyle> styles = GlobalMemoOptions().TextStyles;
    styles[kStyleComment].FontColor = 0x0000FF;
    styles[kStyleComment].Bold = true;
    std::string error;
    ASSERT_TRUE(SaveColorStyles(file, styles, error)) << error;
    m_dialogs.choices = {{file}};
    Run([&](TfrmEditProperties &d) {
        d.Elements->setCurrentRow(2);
        EXPECT_FALSE(d.chkDefFore->isChecked());
        d.OpenButton->click();
        EXPECT_TRUE(d.chkDefFore->isChecked()) << "every element back on its defaults";
        EXPECT_EQ(GlobalMemoOptions().TextStyles[kStyleComment].FontColor, 0x0000FFu);
        EXPECT_TRUE(GlobalMemoOptions().TextStyles[kStyleComment].Bold);
        d.accept();
    });
    EXPECT_TRUE(m_boxes.shown.empty());

    Write("bad.kxc", "Korvex colour styles 1\nComment=zz\n");
    m_dialogs.choices = {{Path("bad.kxc")}};
    const std::vector<TTextStyle> kept = GlobalMemoOptions().TextStyles;
    Run([&](TfrmEditProperties &d) {
        d.OpenButton->click();
        d.reject();
    });
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_NE(m_boxes.shown[0].text.find(Path("bad.kxc")), std::string::npos);
    EXPECT_EQ(GlobalMemoOptions().TextStyles, kept);
}

// ---- kept between runs -------------------------------------------------------------------------

TEST_F(EditProperties, ARestartShowsTheChosenOptions)
{
    Run([&](TfrmEditProperties &d) {
        d.FontSizeEdit->setEditText("14");
        Enter(d.TabStopsEdit, "4,8");
        d.Toggle("actCursorBeyondEOL")->click();
        d.ReadOnlyColorEd->ChooseColor(0xE0FFFF);
        d.Elements->setCurrentRow(2);
        d.SyntaxForeColor->ChooseColor(0x0000FF);
        d.accept();
    });
    ASSERT_TRUE(closed);
    const TMemoEnvOptions chosen = GlobalMemoOptions();
    Main().close(); // the IDE closes: the options reach the store
    Settle();
    reset_memo_options();
    ASSERT_EQ(GlobalMemoOptions().FontSize, 10);
    LoadEditorOptions();
    EXPECT_EQ(GlobalMemoOptions().FontSize, 14);
    EXPECT_EQ(GlobalMemoSourceOptions().TabStops(), "4,8");
    EXPECT_FALSE(GlobalMemoSourceOptions().Options[soCaretInsideLines]);
    EXPECT_EQ(GlobalMemoOptions().ReadOnlyColor, 0xE0FFFFu);
    EXPECT_EQ(GlobalMemoOptions().TextStyles, chosen.TextStyles);
}

TEST_F(EditProperties, StoredValuesOfTheWrongTypeOrRangeGiveDefaults)
{
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(settings_key("Environment\\Editor Options"), true));
        WriteRegString(reg, "Font Size", "big");
        WriteRegInteger(reg, "Font Name", 3);
        WriteRegInteger(reg, "Gutter Width", 0);
        WriteRegString(reg, "Tab Stops", "6,3");
        WriteRegString(reg, "Key Mapping", "Emacs");
        WriteRegInteger(reg, "Margin Position", 9999);
        WriteRegInteger(reg, "Block Indent", 7);
        reg.close_key();
        ASSERT_TRUE(reg.open_key(settings_key("Environment\\Editor Options\\Styles"), true));
        WriteRegString(reg, "Comment Color", "red");
        WriteRegInteger(reg, "Comment Style", 99);
        reg.close_key();
        ASSERT_TRUE(reg.save());
    }
    const TMemoEnvOptions defaults;
    LoadEditorOptions();
    const TMemoEnvOptions &env = GlobalMemoOptions();
    EXPECT_EQ(env.FontSize, defaults.FontSize);
    EXPECT_EQ(env.FontName, defaults.FontName);
    EXPECT_EQ(env.GutterWidth, defaults.GutterWidth);
    EXPECT_EQ(env.KeyMapping, defaults.KeyMapping);
    EXPECT_EQ(env.MarginPos, defaults.MarginPos);
    EXPECT_EQ(GlobalMemoSourceOptions().TabStops(), "3");
    EXPECT_EQ(GlobalMemoSourceOptions().BlockIndent, 7) << "a good value among bad ones is kept";
    EXPECT_EQ(env.TextStyles, defaults.TextStyles);
}

} // namespace
