// The "Code Templates" page of the Environment Options, the add-template dialog, the template
// file written at every close, and Insert Code Template in the editors.
#include "OptionsDoubles.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTabWidget>
#include <QTest>

#include <Qsci/qsciscintilla.h>

#include <filesystem>

#include "editor/CodeTemplateList.h"
#include "editor/MemoCodeTemplates.h"
#include "editor/MemoOptions.h"
#include "editor/frmKXEditor.h"
#include "options/frmKXAddCodeTemplate.h"
#include "options/frmKXEditProperties.h"

namespace fs = std::filesystem;

namespace {

using Script = std::function<void(TfrmEditProperties &)>;
using AddScript = std::function<int(TfrmAddCodeTemplate &)>;

TCodeTemplate tpl(const std::string &name, const std::string &code = {})
{
    return {name, name + " loop", code.empty() ? "/* " + name + " */\n" : code};
}

class CodeTemplatesPage : public GuiTest {
protected:
    Journal journal;
    RecordingShell shell{journal};
    std::deque<AddScript> adds; // how the add-template dialog is answered, in turn
    int add_dialogs = 0;

    void SetUp() override
    {
        GuiTest::SetUp();
        reset_memo_options();
        fs::remove(TTemplatesSource::DefaultPath());
        fs::remove(TTemplatesSource::DefaultPath() + ".bak");
        set_options_shell(&shell);
        set_add_template_runner([this](TfrmAddCodeTemplate &dialog) {
            ++add_dialogs;
            dialog.show();
            if (adds.empty()) {
                dialog.reject();
                return int(QDialog::Rejected);
            }
            const AddScript script = adds.front();
            adds.pop_front();
            const int result = script(dialog);
            return dialog.isVisible() ? int(QDialog::Rejected) : result;
        });
    }
    void TearDown() override
    {
        set_add_template_runner(nullptr);
        set_options_shell(nullptr);
        GuiTest::TearDown();
        TemplatesSource().CodeTemplates = {};
        fs::remove(TTemplatesSource::DefaultPath());
        fs::remove(TTemplatesSource::DefaultPath() + ".bak");
        reset_memo_options();
    }

    // The main window made, then the list the program holds.
    void Templates(std::vector<TCodeTemplate> items)
    {
        Main();
        TemplatesSource().CodeTemplates.Items = std::move(items);
    }
    void Run(const Script &script)
    {
        Main();
        IdePreferences().edit_options_pg = 4;
        shell.modal = [&](QDialog &dialog) { script(static_cast<TfrmEditProperties &>(dialog)); };
        Main().actEnvOptions->trigger();
    }
    static QStringList Rows(TfrmEditProperties &d)
    {
        QStringList rows;
        for (int r = 0; r < d.TemplateGrid->rowCount(); ++r)
            rows << d.TemplateGrid->item(r, 0)->text() + "|" + d.TemplateGrid->item(r, 1)->text();
        return rows;
    }
    static void Select(TfrmEditProperties &d, int row) { d.TemplateGrid->setCurrentCell(row, 0); }
    static void TypeCode(TfrmEditProperties &d, const QString &text)
    {
        d.CodeMemo->setFocus();
        d.CodeMemoEnter();
        d.CodeMemo->setText(text);
    }
    static AddScript Answer(const QString &name, const QString &description)
    {
        return [=](TfrmAddCodeTemplate &dialog) {
            dialog.Name->setText(name);
            dialog.Description->setText(description);
            dialog.OkButton->click();
            return int(QDialog::Accepted);
        };
    }
    std::vector<std::string> Names(const TMemoCodeTemplates &list)
    {
        std::vector<std::string> names;
        for (const TCodeTemplate &item : list.Items)
            names.push_back(item.Name);
        return names;
    }
    TMemoCodeTemplates OnDisk()
    {
        TTemplatesSource read;
        EXPECT_EQ(read.Load(TTemplatesSource::DefaultPath()), "");
        return read.CodeTemplates;
    }
};

// ---- the grid, the code memo and the hints -----------------------------------------------------

TEST_F(CodeTemplatesPage, GridShowsEveryTemplateAndTheSelectedOnesCode)
{
    Templates({tpl("fori", "for (i = 0; i < 10; i++)\n"), tpl("whilei")});
    Run([&](TfrmEditProperties &d) {
        EXPECT_EQ(d.EditPropertiesPgCtrl->currentWidget(), d.CodeTemplatesPg);
        EXPECT_EQ(d.TemplateGrid->horizontalHeaderItem(0)->text(), "Name");
        EXPECT_EQ(d.TemplateGrid->horizontalHeaderItem(1)->text(), "Description");
        EXPECT_EQ(Rows(d), QStringList({"fori|fori loop", "whilei|whilei loop"}));
        EXPECT_EQ(d.CodeMemo->text(), "for (i = 0; i < 10; i++)\n");
        EXPECT_EQ(d.EditButton->toolTip(), "Edit fori");
        EXPECT_EQ(d.DeleteButton->toolTip(), "Delete fori");
        Select(d, 1);
        EXPECT_EQ(d.CodeMemo->text(), "/* whilei */\n");
        EXPECT_EQ(d.actDelete->toolTip(), "Delete whilei");
        d.reject();
    });
}

TEST_F(CodeTemplatesPage, WithoutTemplatesEditAndDeleteDoNothing)
{
    Templates({});
    Run([&](TfrmEditProperties &d) {
        EXPECT_EQ(d.TemplateGrid->rowCount(), 0);
        EXPECT_EQ(d.CodeMemo->text(), "");
        EXPECT_EQ(d.EditButton->toolTip(), "Edit");
        EXPECT_EQ(d.DeleteButton->toolTip(), "Delete");
        EXPECT_FALSE(d.DeleteButton->isEnabled());
        d.actEditExecute();
        d.actDeleteExecute();
        EXPECT_EQ(add_dialogs, 0);
        EXPECT_TRUE(m_boxes.shown.empty());
        EXPECT_FALSE(d.Modified);
        d.reject();
    });
}

TEST_F(CodeTemplatesPage, TypedCodeWaitsForOkAndCancelDropsIt)
{
    Templates({tpl("fori"), tpl("whilei")});
    Run([&](TfrmEditProperties &d) {
        TypeCode(d, "typed\r\n");
        Select(d, 1);
        EXPECT_EQ(d.CodeMemo->text(), "/* whilei */\n");
        Select(d, 0);
        EXPECT_EQ(d.CodeMemo->text(), "typed\r\n") << "the typed text, not the stored code";
        EXPECT_EQ(TemplatesSource().CodeTemplates.Items[0].Code, "/* fori */\n")
            << "the list keeps its code until OK";
        EXPECT_FALSE(d.Modified);
        d.reject();
    });
    EXPECT_EQ(TemplatesSource().CodeTemplates.Items[0].Code, "/* fori */\n");
    EXPECT_EQ(OnDisk().Items[0].Code, "/* fori */\n") << "the file is written after Cancel too";

    Run([&](TfrmEditProperties &d) {
        Select(d, 1);
        TypeCode(d, "while (1) ;\n");
        d.accept();
    });
    EXPECT_EQ(TemplatesSource().CodeTemplates.Items[1].Code, "while (1) ;\n");
    EXPECT_EQ(OnDisk().Items[1].Code, "while (1) ;\n");
}

// ---- add, edit, delete -------------------------------------------------------------------------

TEST_F(CodeTemplatesPage, AddDialogRefusesOnlyAnEmptyName)
{
    TfrmAddCodeTemplate dialog(nullptr);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Add a Code Template");
    dialog.OkButton->click();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "Name cannot be blank");
    EXPECT_EQ(m_boxes.shown[0].caption, "Error");
    EXPECT_EQ(dialog.focusWidget(), dialog.Name);

    dialog.CancelButton->click();
    EXPECT_FALSE(dialog.isVisible()) << "Cancel with an empty name closes silently";
    EXPECT_EQ(m_boxes.shown.size(), 1u);

    dialog.show();
    dialog.Name->setText("   ");
    dialog.OkButton->click();
    EXPECT_FALSE(dialog.isVisible()) << "blanks are a name";
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(CodeTemplatesPage, AddSelectsTheNewRowAndCancelAddsNothing)
{
    Templates({tpl("fori")});
    Run([&](TfrmEditProperties &d) {
        d.actAddExecute(); // cancelled
        EXPECT_EQ(d.TemplateGrid->rowCount(), 1);
        EXPECT_FALSE(d.Modified);

        adds.push_back(Answer("sw", "switch; \"case\"\t"));
        d.AddButton->click();
        EXPECT_EQ(Rows(d), QStringList({"fori|fori loop", "sw|switch; \"case\"\t"}));
        EXPECT_EQ(d.TemplateGrid->currentRow(), 1);
        EXPECT_EQ(d.CodeMemo->text(), "");
        EXPECT_EQ(d.focusWidget(), d.CodeMemo);
        EXPECT_TRUE(d.Modified);
        TypeCode(d, "switch (x) {\n}\n");
        d.accept();
    });
    ASSERT_EQ(TemplatesSource().CodeTemplates.Count(), 2);
    EXPECT_EQ(TemplatesSource().CodeTemplates.Items[1],
              (TCodeTemplate{"sw", "switch; \"case\"\t", "switch (x) {\n}\n"}));
    EXPECT_EQ(OnDisk(), TemplatesSource().CodeTemplates) << "a restart lists it";
}

TEST_F(CodeTemplatesPage, EditChangesNameAndDescriptionOnlyWhenTheyDiffer)
{
    Templates({tpl("fori"), tpl("whilei")});
    Run([&](TfrmEditProperties &d) {
        Select(d, 1);
        adds.push_back([](TfrmAddCodeTemplate &dialog) {
            EXPECT_EQ(dialog.Name->text(), "whilei");
            EXPECT_EQ(dialog.Description->text(), "whilei loop");
            dialog.OkButton->click();
            return int(QDialog::Accepted);
        });
        d.EditButton->click();
        EXPECT_FALSE(d.Modified) << "unchanged texts";
        EXPECT_EQ(d.focusWidget(), d.CodeMemo);

        adds.push_back(Answer("wh", "while"));
        d.EditButton->click();
        EXPECT_TRUE(d.Modified);
        EXPECT_EQ(Rows(d).last(), "wh|while");
        EXPECT_EQ(d.EditButton->toolTip(), "Edit wh");
        d.reject();
    });
}

TEST_F(CodeTemplatesPage, DeleteAsksAndKeepsTheOthersPendingCode)
{
    Templates({tpl("a"), tpl("b"), tpl("c")});
    Run([&](TfrmEditProperties &d) {
        Select(d, 2);
        TypeCode(d, "edited c\n");
        Select(d, 0);
        m_boxes.answers.push_back(kIdCancel);
        d.DeleteButton->click();
        ASSERT_EQ(m_boxes.shown.size(), 1u);
        EXPECT_EQ(m_boxes.shown[0].text, "Delete a?");
        EXPECT_EQ(m_boxes.shown[0].caption, "Delete a code template");
        EXPECT_EQ(m_boxes.shown[0].flags & 0xF, kMbOkCancel);
        EXPECT_EQ(d.TemplateGrid->rowCount(), 3);
        EXPECT_FALSE(d.Modified);

        m_boxes.answers.push_back(kIdOk);
        d.DeleteButton->click();
        EXPECT_EQ(Rows(d), QStringList({"b|b loop", "c|c loop"}));
        EXPECT_TRUE(d.Modified);
        d.accept();
    });
    EXPECT_EQ(Names(TemplatesSource().CodeTemplates), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(TemplatesSource().CodeTemplates.Items[1].Code, "edited c\n");
}

TEST_F(CodeTemplatesPage, DeletingTheLastOfThreeLeavesTwo)
{
    Templates({tpl("a"), tpl("b"), tpl("c")});
    Run([&](TfrmEditProperties &d) {
        Select(d, 2);
        m_boxes.answers.push_back(kIdOk);
        d.actDeleteExecute();
        EXPECT_EQ(Rows(d), QStringList({"a|a loop", "b|b loop"}));
        EXPECT_EQ(d.CodeMemo->text(), "/* b */\n");
        d.accept();
    });
    EXPECT_EQ(OnDisk().Count(), 2);
}

// Cancel puts back the list as it was at show, whatever another editor's copy holds; the file
// then holds what it held at show.
TEST_F(CodeTemplatesPage, CancelPutsBackTheListOfTheShow)
{
    Templates({tpl("a"), tpl("b")});
    Run([&](TfrmEditProperties &d) { d.accept(); });
    const TMemoCodeTemplates at_show = OnDisk();
    ASSERT_EQ(at_show.Count(), 2);
    Run([&](TfrmEditProperties &d) {
        adds.push_back(Answer("n", ""));
        d.actAddExecute();
        Select(d, 0);
        m_boxes.answers.push_back(kIdOk);
        d.actDeleteExecute();
        m_boxes.answers.push_back(kIdYes); // quit without saving
        d.reject();
    });
    EXPECT_EQ(TemplatesSource().CodeTemplates, at_show);
    EXPECT_EQ(OnDisk(), at_show);
}

// ---- the code memo's popup and the page's sizes -------------------------------------------------

TEST_F(CodeTemplatesPage, CodePopupCutsCopiesAndPastesTheTemplatesCode)
{
    Templates({tpl("fori", "for (;;) ;\n"), tpl("whilei")});
    QApplication::clipboard()->clear();
    Run([&](TfrmEditProperties &d) {
        ASSERT_NE(d.TemplatesPopupMenu, nullptr);
        QStringList captions;
        for (QAction *action : d.TemplatesPopupMenu->actions())
            captions << action->text() + " " + action->shortcut().toString();
        EXPECT_EQ(captions, QStringList({"Cu&t Ctrl+X", "&Copy Ctrl+C", "&Paste Ctrl+V"}));
        EXPECT_EQ(d.CodeMemo->contextMenuPolicy(), Qt::CustomContextMenu) << "ours, not the memo's";

        d.EditUpdate();
        EXPECT_FALSE(d.EditCut1->isEnabled()) << "nothing selected";
        EXPECT_FALSE(d.EditCopy1->isEnabled());
        EXPECT_FALSE(d.EditPaste1->isEnabled()) << "nothing on the clipboard";

        // The popup is set up as it opens.
        d.CodeMemo->setSelection(0, 0, 0, 3);
        d.EditUpdate();
        d.EditCopy1->trigger();
        EXPECT_EQ(QApplication::clipboard()->text(), "for");
        EXPECT_EQ(d.CodeMemo->text(), "for (;;) ;\n");
        d.EditCut1->trigger();
        EXPECT_EQ(d.CodeMemo->text(), " (;;) ;\n");
        d.EditUpdate();
        EXPECT_FALSE(d.EditCut1->isEnabled()) << "the selection went with the cut";
        EXPECT_TRUE(d.EditPaste1->isEnabled());
        d.CodeMemo->setCursorPosition(0, 7); // the end of the line
        d.EditUpdate();
        d.EditPaste1->trigger();
        EXPECT_EQ(d.CodeMemo->text(), " (;;) ;for\n");

        Select(d, 1);
        Select(d, 0);
        EXPECT_EQ(d.CodeMemo->text(), " (;;) ;for\n") << "the edit stays with its template";
        d.accept();
    });
    EXPECT_EQ(TemplatesSource().CodeTemplates.Items[0].Code, " (;;) ;for\n");
}

TEST_F(CodeTemplatesPage, PopupPastesNothingWithoutATemplate)
{
    Templates({});
    QApplication::clipboard()->setText("lost");
    Run([&](TfrmEditProperties &d) {
        d.EditUpdate();
        EXPECT_FALSE(d.EditPaste1->isEnabled());
        d.EditPaste1->trigger();
        EXPECT_EQ(d.CodeMemo->text(), "");
        d.reject();
    });
    EXPECT_TRUE(TemplatesSource().CodeTemplates.Items.empty());
}

// The code panel keeps at least 100 pixels and leaves the dialog's height less 164 to the rest,
// whatever the dialog's size; a wider name column narrows the description column.
TEST_F(CodeTemplatesPage, ResizingKeepsBothPanesAndTheColumnsFollow)
{
    Templates({tpl("fori")});
    Run([&](TfrmEditProperties &d) {
        d.show();
        for (int height : {700, 500, 120}) {
            d.resize(d.width(), height);
            QApplication::processEvents();
            EXPECT_EQ(d.CodePanel->minimumHeight(), 100) << height;
            EXPECT_EQ(d.CodePanel->maximumHeight(), std::max(100, d.height() - 164)) << height;
            EXPECT_GE(d.CodePanel->height(), 100) << height;
            EXPECT_LE(d.CodePanel->height(), std::max(100, d.height() - 164)) << height;
        }
        d.resize(700, 600);
        QApplication::processEvents();
        const int description = d.TemplateGrid->columnWidth(1);
        d.TemplateGrid->setColumnWidth(0, d.TemplateGrid->columnWidth(0) + 40);
        EXPECT_EQ(d.TemplateGrid->columnWidth(1), description - 40);
        d.reject();
    });
}

TEST_F(CodeTemplatesPage, DamagedFileLoadsWhatIsWholeAndIsSetAside)
{
    fs::create_directories(fs::path(TTemplatesSource::DefaultPath()).parent_path());
    TMemoCodeTemplates list;
    list.Items = {tpl("a")};
    const std::string damaged = code_templates_text(list) + "template b\ndescr";
    {
        std::ofstream(TTemplatesSource::DefaultPath(), std::ios::binary) << damaged;
    }
    Main();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, TTemplatesSource::DefaultPath() + "(7): unknown line");
    EXPECT_EQ(Names(TemplatesSource().CodeTemplates), std::vector<std::string>{"a"});
    Run([&](TfrmEditProperties &d) { d.reject(); });
    EXPECT_EQ(Read(TTemplatesSource::DefaultPath() + ".bak"), damaged);
    EXPECT_EQ(OnDisk(), list);
}

// ---- Insert Code Template ----------------------------------------------------------------------

class InsertCodeTemplate : public CodeTemplatesPage {
protected:
    TfrmEdit *OpenC()
    {
        Write("prog.c", "int sum;\nmain() {\n}\n");
        Main().OpenFile(Path("prog.c"));
        Settle();
        return Main().ActiveEditorWindow();
    }
    static TCodeTemplateList *List(TfrmEdit *editor)
    {
        return editor->Editor()->findChild<TCodeTemplateList *>();
    }
};

TEST_F(InsertCodeTemplate, EnterInsertsTheChosenCodeAtTheCaretAsOneUndoStep)
{
    Main().UpdateActions();
    EXPECT_FALSE(Main().actShowCodeTemplates->isEnabled()) << "no editor";
    Templates({tpl("fori", "for (i = 0; i < 10; i++)\n   sum += i;\n"), tpl("nul", std::string("a\0b", 3))});
    TfrmEdit *editor = OpenC();
    ASSERT_NE(editor, nullptr);
    Main().UpdateActions();
    EXPECT_TRUE(Main().actShowCodeTemplates->isEnabled());
    QsciScintilla *memo = editor->Editor();
    memo->setCursorPosition(2, 0);

    // The popup's item sits after Close and a separator.
    const QList<QAction *> items = editor->Popup()->actions();
    const int at = int(items.indexOf(editor->actShowCodeTemplates));
    ASSERT_GE(at, 2);
    EXPECT_TRUE(items[at - 1]->isSeparator());
    EXPECT_EQ(items[at - 2], Main().actFileClose);
    EXPECT_EQ(editor->actShowCodeTemplates->text(), "&Insert Code Template...");

    Main().actShowCodeTemplates->trigger();
    TCodeTemplateList *list = List(editor);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "fori");
    EXPECT_EQ(list->topLevelItem(0)->text(1), "fori loop");
    QTest::keyClick(list, Qt::Key_Return);
    Settle();
    EXPECT_EQ(List(editor), nullptr);
    EXPECT_EQ(memo->text(), "int sum;\nmain() {\nfor (i = 0; i < 10; i++)\n   sum += i;\n}\n");
    int line = 0, index = 0;
    memo->getCursorPosition(&line, &index);
    EXPECT_EQ(line, 4) << "the caret after the code";
    memo->undo();
    EXPECT_EQ(memo->text(), "int sum;\nmain() {\n}\n") << "one undo step";

    editor->actShowCodeTemplates->trigger();
    QTest::keyClick(List(editor), Qt::Key_Down);
    QTest::keyClick(List(editor), Qt::Key_Return);
    EXPECT_EQ(memo->SendScintilla(QsciScintillaBase::SCI_GETLENGTH), 20 + 3) << "the NUL went in";
}

TEST_F(InsertCodeTemplate, EscapeAndReadOnlyInsertNothing)
{
    Templates({tpl("fori")});
    TfrmEdit *editor = OpenC();
    ASSERT_NE(editor, nullptr);
    editor->actShowCodeTemplates->trigger();
    ASSERT_NE(List(editor), nullptr);
    QTest::keyClick(List(editor), Qt::Key_Escape);
    Settle();
    EXPECT_EQ(List(editor), nullptr);
    EXPECT_EQ(editor->Editor()->text(), "int sum;\nmain() {\n}\n");

    editor->SetReadOnly(true);
    editor->actShowCodeTemplates->trigger();
    EXPECT_EQ(List(editor), nullptr);
    insert_code_template(editor->Editor(), "x");
    EXPECT_EQ(editor->Editor()->text(), "int sum;\nmain() {\n}\n");
}

} // namespace
