// frmKXEditProperties: the Environment Options dialog.
#include "frmKXEditProperties.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "controls/ColorCombo.h"
#include "controls/QBSpinEdit.h"
#include "editor/KorvexLexer.h"
#include "debug/frmKXDisassembly.h"
#include "debug/frmKXMemoryDump.h"
#include "debug/frmKXRegisters.h"
#include "debug/frmKXStack.h"
#include "debug/frmKXStdio.h"
#include "debug/frmKXWatches.h"
#include "debug/guiDebugWindows.h"
#include "FontRecord.h"
#include "shell/frmKXMessages.h"
#include "editor/frmKXEditor.h"
#include "frmKXAddCodeTemplate.h"
#include "guiOptionsHost.h"
#include "shell/frmKXMain.h"
#include "shell/guiHosts.h"
#include "shell/guiStore.h"

namespace {

// The pages, in the page control's order.
enum Page : int { kPageEditor, kPageGutter, kPageDisplay, kPageColors, kPageTemplates,
                  kPageDebugWindows, kPagePrint };

// What an Editor-page toggle writes.
enum class ToggleTarget { Source, Env, KeepTrailingBlanks, UndoAfterSave };

struct ToggleRow {
    const char *action;
    const char *caption;
    const char *box;
    ToggleTarget target;
    int bit;
    bool inverted; // the bit is set while the box is clear
};
constexpr ToggleRow kToggles[] = {
    {"actAutoIndentMode", "&Auto indent mode", "AutoIndentChk", ToggleTarget::Source, soAutoIndent, false},
    {"actUsePrevIndent", "Use previous inden&tion", "chkUsePrevIndent", ToggleTarget::Source, soUsePrevIndent, false},
    {"actCursorThruTabs", "Cursor through tabs (&Q)", "chkCursorThroughTabs", ToggleTarget::Source, soCursorThroughTabs, false},
    {"actBackspaceUnindents", "&Backspace unindents", "BackUnindentChk", ToggleTarget::Source, soBackspaceUnindents, false},
    {"actShowLineNumbers", "Show &line numbers", "MemoEnvOptions", ToggleTarget::Env, moLineNumbers, false},
    {"actShowNumbersOnGutter", "Show line numbers &on gutter", "MemoEnvOptions1", ToggleTarget::Env, moLineNumbersOnGutter, false},
    {"actGroupUndo", "G&roup undo", "GroupUndoChk", ToggleTarget::Source, soGroupUndo, false},
    {"actCursorBeyondEOF", "Cursor beyond EO&F", "CursorEofChk", ToggleTarget::Source, soCaretBeyondEof, false},
    {"actCursorBeyondEOL", "Cursor be&yond EOL", "BeyondEolChk", ToggleTarget::Source, soCaretInsideLines, true},
    {"actSelectBeyondEOL", "Selection beyo&nd EOL", "SelectEolChk", ToggleTarget::Env, moSelectionInsideLines, true},
    {"actKeepTrailingBlanks", "&Keep trailing blanks", "KeepTrailingBlanksChk", ToggleTarget::KeepTrailingBlanks, 0, false},
    {"actPersistentBlocks", "&Persistent blocks", "PersistentBlockChk", ToggleTarget::Source, soPersistentBlocks, false},
    {"actOverWriteBlocks", "Over&write blocks", "OverwriteBlockChk", ToggleTarget::Source, soOverwriteBlocks, false},
    {"actDblClickEdit", "&Double click line", "DblClickEdit", ToggleTarget::Env, moDblClickLine, false},
    {"actFindTextAtCursor", "Find text at cursor (&2)", "FindTextChk", ToggleTarget::Source, soFindTextAtCursor, false},
    {"actSelectFoundText", "S&elect found text", "chkSelectFoundText", ToggleTarget::Source, soSelectFoundText, false},
    {"actUseSyntaxHighlight", "&Use syntax highlight", "SyntaxHighlightChk", ToggleTarget::Env, moColorSyntax, false},
    {"actBlockOverwriteCursor", "Block o&verwrite cursor", "OverCaretChk", ToggleTarget::Env, moOverwriteBlockCaret, false},
    {"actDisableDragging", "Disable dra&gging", "DisDragChk", ToggleTarget::Env, moDisableDrag, false},
    {"actUndoAfterSave", "Undo after save (&Z)", "chkUndoAfterSave", ToggleTarget::UndoAfterSave, 0, false},
    {"actNotepadStyleCursor", "Notepad style cursor (&1)", "chkNotepadStyle", ToggleTarget::Env, moNotepadCaret, false},
    {"actCenterBookmarks", "Center Bookmarks (&3)", "chkCenterBookmarks", ToggleTarget::Env, moCenterBookmarks, false},
};
static_assert(std::size(kToggles) == 22, "the Editor page has 22 toggles");

// The syntax elements the Syntax Colors page lists, in its order.
constexpr const char *kElementNames[] = {
    "Whitespace", "String",  "Comment",   "Integer",    "Float",          "Reserved words",
    "Defines",    "Identifier", "Delimiters", "Assembler", "Registers", "BreakPoint",
    "ExecutionPoint", "Error line", "Marked Block", "Search Match"};
static_assert(std::size(kElementNames) == 16, "sixteen syntax elements");

// The font sizes offered (the size box takes any other typed).
constexpr int kStdFontSizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72};

// The sample program the four sample memos show.
constexpr const char *kSampleText =
    "#define N 1000\n"
    "const float SQRT_PI = 1.77245385;  // the square root of pi\n"
    "const char *label = \"sqrt(pi) =\";\n"
    "\n"
    "main()\n"
    "{\n"
    "   int i;\n"
    "   for (i = 0; i < N; i++)\n"
    "   {\n"
    "      printf(\"%s %f\\n\", label, SQRT_PI);\n"
    "   }\n"
    "}\n";

// The debug windows' option panels by window name.
struct PanelRow {
    const char *window;
    QWidget *TfrmEditProperties::*panel;
};
const PanelRow kPanels[] = {
    {"Stdio", &TfrmEditProperties::pnlStdio},
    {"Assembly", &TfrmEditProperties::pnlAsm},
    {"Stack", &TfrmEditProperties::pnlBlank},
    {"Registers", &TfrmEditProperties::pnlRegister},
    {"Memory Dump", &TfrmEditProperties::pnlMemoryDump},
    {"Watch", &TfrmEditProperties::pnlWatches},
    {"Trace", &TfrmEditProperties::pnlTrace},
    {"Messages", &TfrmEditProperties::pnlBlank},
};

// The assembly panel's boxes: each is one of the disassembly window's commands, run in an open
// window (it flips the command, stores the setting and redraws) or stored when none is open.
} // namespace

struct TfrmEditProperties::AsmToggle {
    QCheckBox *TfrmEditProperties::*box;
    QAction *TfrmDisassembly::*action;
    void (TfrmDisassembly::*run)();
    bool AssemblyWindowSettings::*setting;
};

namespace {

const TfrmEditProperties::AsmToggle kAsmToggles[] = {
    {&TfrmEditProperties::chkShowAddress, &TfrmDisassembly::actShowAddress,
     &TfrmDisassembly::actShowAddressExecute, &AssemblyWindowSettings::show_address},
    {&TfrmEditProperties::chkShowMachine, &TfrmDisassembly::actShowMachine,
     &TfrmDisassembly::actShowMachineExecute, &AssemblyWindowSettings::show_machine},
    {&TfrmEditProperties::chkShowCycles, &TfrmDisassembly::actShowCycles,
     &TfrmDisassembly::actShowCyclesExecute, &AssemblyWindowSettings::show_cycles},
    {&TfrmEditProperties::chkShowSource, &TfrmDisassembly::actShowSource,
     &TfrmDisassembly::actShowSourceExecute, &AssemblyWindowSettings::show_source},
    {&TfrmEditProperties::chkShowFileName, &TfrmDisassembly::actShowFileName,
     &TfrmDisassembly::actShowFileNameExecute, &AssemblyWindowSettings::show_file_name_in_source},
    {&TfrmEditProperties::chkSumClockCycles, &TfrmDisassembly::actSumCycles,
     &TfrmDisassembly::actSumCyclesExecute, &AssemblyWindowSettings::sum_cycles},
    {&TfrmEditProperties::chkSyntaxHighlight, &TfrmDisassembly::actSyntaxHighlight,
     &TfrmDisassembly::actSyntaxHighlightExecute, &AssemblyWindowSettings::syntax_highlight},
};

// The code panel's height on the Code Templates page: at least this, at most the dialog's
// height less the reserve.
constexpr int kCodePanelMinimum = 100;
constexpr int kCodePanelReserve = 164;

// The print margins' minimums (inches), left, right, top, bottom.
constexpr double kMarginMinimum[] = {0.183, 0.181, 0.18, 0.183};

FontDialogRunner &font_runner()
{
    static FontDialogRunner runner;
    return runner;
}

AddTemplateRunner &add_template_runner()
{
    static AddTemplateRunner runner;
    return runner;
}

int run_add_template(TfrmAddCodeTemplate &dialog)
{
    if (add_template_runner())
        return add_template_runner()(dialog);
    return dialog.exec();
}

ColorDialogRunner &color_runner()
{
    static ColorDialogRunner runner;
    return runner;
}

// A decimal integer: optional blanks before, an optional sign, digits, within 32 bits.
std::optional<int> decimal(const QString &text) { return spin_edit_integer(text.toStdString()); }

// A finite number, as the margins take them.
std::optional<double> finite_number(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// The general floating-point format with up to 15 significant digits.
QString float_text(double value) { return QString::number(value, 'g', 15); }

void set_checked_silently(QAbstractButton *box, bool checked)
{
    const QSignalBlocker quiet(box);
    box->setChecked(checked);
}

std::string error_caption() { return "Error"; }

// The open stdio window, which takes its colours, font and scroll modes through its setters.
TfrmStdio *open_stdio() { return dynamic_cast<TfrmStdio *>(debug_windows().StdioWindow()); }

} // namespace

void set_color_dialog_runner(ColorDialogRunner runner) { color_runner() = std::move(runner); }
void set_font_dialog_runner(FontDialogRunner runner) { font_runner() = std::move(runner); }

std::optional<QFont> run_font_dialog(const QFont &initial, bool fixed_only)
{
    if (font_runner())
        return font_runner()(initial, fixed_only);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(
        &ok, initial, QApplication::activeWindow(), QString(),
        fixed_only ? QFontDialog::MonospacedFonts : QFontDialog::FontDialogOptions());
    if (!ok)
        return std::nullopt;
    return chosen;
}

void set_add_template_runner(AddTemplateRunner runner)
{
    add_template_runner() = std::move(runner);
}

std::optional<TColor> run_color_dialog(TColor initial)
{
    if (color_runner())
        return color_runner()(initial);
    const QColor chosen = QColorDialog::getColor(colour_of(initial), QApplication::activeWindow());
    if (!chosen.isValid())
        return std::nullopt;
    return static_cast<TColor>(chosen.red()) | (static_cast<TColor>(chosen.green()) << 8) |
           (static_cast<TColor>(chosen.blue()) << 16);
}

// ---- construction ------------------------------------------------------------------------------

// A memory dump window's look when the dialog was shown: with "Apply changes to all " the
// page changes every open one, and Cancel (or OK without that box) gives each its own back.
struct TfrmEditProperties::ShownDumpLook {
    QPointer<TfrmMemoryDump> window;
    QFont font;
    QPalette palette;
};

TfrmEditProperties::TfrmEditProperties(QWidget *owner)
    : QDialog(owner), CodeTemplates(TemplatesSource().CodeTemplates),
      EnvOptions(GlobalMemoOptions()), SourceOptions(GlobalMemoSourceOptions())
{
    setObjectName(QStringLiteral("frmEditProperties"));
    setWindowTitle(tr("Environment Options"));
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setMinimumSize(517, 562);
    resize(640, 760); // room for every page's tab
    m_main = frmMainWindow;
    CancelKey = 27;
    TFlagScope loading(m_loading);

    EnvOptions.BeginUpdate();
    for (const char *name : kElementNames)
        ElementStyles.push_back(EnvOptions.IndexOfName(name));
    UndoAfterSave = IdePreferences().undo_after_save;

    auto *layout = new QVBoxLayout(this);
    EditPropertiesPgCtrl = named_control<QTabWidget>(this, "EditPropertiesPgCtrl");
    layout->addWidget(EditPropertiesPgCtrl);
    BuildEditorPage();
    BuildGutterMarginPage();
    BuildDisplayPage();
    BuildColorsPage();
    BuildCodeTemplatesPage();
    BuildDebugWindowsPage();
    BuildPrintPage();

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    OkEditButton = named_control<QPushButton>(this, "OkEditButton", "&OK");
    OkEditButton->setDefault(true);
    CancelEditButton = named_control<QPushButton>(this, "CancelEditButton", "&Cancel");
    btnHelp = named_control<QPushButton>(this, "btnHelp", "&Help");
    buttons->addWidget(OkEditButton);
    buttons->addWidget(CancelEditButton);
    buttons->addWidget(btnHelp);
    layout->addLayout(buttons);
    connect(OkEditButton, &QPushButton::clicked, this, [this] { accept(); });
    connect(CancelEditButton, &QPushButton::clicked, this,
            [this] { guarded([&] { actCancelExecute(); }); });
    connect(btnHelp, &QPushButton::clicked, this,
            [this] { guarded([&] { options_shell().ShowHelpContext(this, 4); }); });

    BuildElementList();
    FillFontList(false);
    for (int size : kStdFontSizes)
        FontSizeEdit->addItem(QString::number(size));

    // The special symbols as they are now, for Cancel.
    m_symbols_used = EnvOptions.Options[moDrawSpecialSymbols];
    pcbUseSpecSymbs->setChecked(m_symbols_used);
    edtSSEOL->setText(QString::fromStdString(EnvOptions.EolSymbol));
    edtSSEOF->setText(QString::fromStdString(EnvOptions.EofSymbol));
    edtSSSpace->setText(EnvOptions.SpaceSymbol ? QString(QChar(EnvOptions.SpaceSymbol)) : QString());
    edtSSTab->setText(EnvOptions.TabSymbol ? QString(QChar(EnvOptions.TabSymbol)) : QString());
    for (QLineEdit *edit : {edtSSEOL, edtSSEOF, edtSSSpace, edtSSTab})
        edit->setEnabled(m_symbols_used);
    m_symbol_texts[0] = edtSSEOL->text();
    m_symbol_texts[1] = edtSSEOF->text();
    m_symbol_texts[2] = edtSSSpace->text();
    m_symbol_texts[3] = edtSSTab->text();

    const TIdePreferences &prefs = IdePreferences();
    const int page = std::clamp(prefs.edit_options_pg, 0, EditPropertiesPgCtrl->count() - 1);
    EditPropertiesPgCtrl->setCurrentIndex(page);
    move(prefs.ct_left, prefs.ct_top);

    // The debug windows' records, from the settings.
    TIdePreferences &writable = IdePreferences();
    const auto blocks = debug_window_blocks(writable);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const DebugWindowSettings &block = *blocks[i];
        DebugWindowRecords[i] = {block.window_name, block.show,     block.font,
                                 block.background_colour, block.dockable, block.child};
        lbxWindow->addItem(QString::fromStdString(block.window_name));
    }
    for (const QString &family : QFontDatabase::families())
        cboFont->addItem(family);
    EnvOptions.EndUpdate();
}

TfrmEditProperties::~TfrmEditProperties()
{
    if (m_shown_once)
        guarded([&] { FormDestroy(); });
}

QsciScintilla *TfrmEditProperties::SampleMemo(QWidget *page, const char *name)
{
    auto *memo = named_control<QsciScintilla>(page, name);
    memo->setUtf8(false);
    memo->setText(QString::fromLatin1(kSampleText));
    memo->setMinimumHeight(120);
    auto lexer = std::make_unique<TKorvexLexer>(memo);
    memo->setLexer(lexer.get());
    QsciScintilla *shown = memo;
    m_sample_links.push_back(std::make_unique<TMemoOptionsLink>(memo, lexer.get()));
    lexer.release(); // the memo owns it
    return shown;
}

QAction *TfrmEditProperties::Action(const char *name) const
{
    for (QAction *action : CTActionList)
        if (action->objectName() == QLatin1String(name))
            return action;
    return nullptr;
}

QCheckBox *TfrmEditProperties::Toggle(const char *action_name) const
{
    for (std::size_t i = 0; i < CTActionList.size(); ++i)
        if (CTActionList[i]->objectName() == QLatin1String(action_name))
            return EditorToggles[i];
    return nullptr;
}

void TfrmEditProperties::BuildEditorPage()
{
    EditPg = named_control<QWidget>(this, "EditPg");
    EditPropertiesPgCtrl->addTab(EditPg, tr("Editor"));
    auto *layout = new QVBoxLayout(EditPg);
    auto *group = new QGroupBox(tr(" Editor Options "), EditPg);
    auto *grid = new QGridLayout(group);
    for (std::size_t i = 0; i < std::size(kToggles); ++i) {
        const ToggleRow &row = kToggles[i];
        auto *action = new QAction(QString::fromUtf8(row.caption), this);
        action->setObjectName(QString::fromLatin1(row.action));
        action->setCheckable(true);
        CTActionList.push_back(action);
        auto *box = named_control<QCheckBox>(group, row.box, row.caption);
        EditorToggles.push_back(box);
        grid->addWidget(box, static_cast<int>(i % 11), static_cast<int>(i / 11));
        connect(box, &QCheckBox::clicked, this, [this, i] { guarded([&] { ToggleExecute(i); }); });
    }
    layout->addWidget(group);

    auto *fields = new QGridLayout;
    BlockIndentEdit = named_control<QLineEdit>(EditPg, "BlockIndentEdit");
    TabStopsEdit = named_control<QLineEdit>(EditPg, "TabStopsEdit");
    KeymapEdit = named_control<QComboBox>(EditPg, "KeymapEdit");
    for (const char *name : kKeyMappings)
        KeymapEdit->addItem(QString::fromLatin1(name));
    SyntaxFileTypesEdit = named_control<QLineEdit>(EditPg, "SyntaxFileTypesEdit");
    const auto add_field = [&](int row, const char *caption, QWidget *field) {
        auto *label = new QLabel(tr(caption), EditPg);
        label->setBuddy(field);
        fields->addWidget(label, row, 0);
        fields->addWidget(field, row, 1);
    };
    add_field(0, "Block &indent:", BlockIndentEdit);
    add_field(1, "&Tab stops:", TabStopsEdit);
    add_field(2, "&Keystroke mapping:", KeymapEdit);
    add_field(3, "S&yntax extensions:", SyntaxFileTypesEdit);
    layout->addLayout(fields);
    EditMemo = SampleMemo(EditPg, "EditMemo");
    layout->addWidget(EditMemo, 1);

    connect(BlockIndentEdit, &QLineEdit::textEdited, this,
            [this] { guarded([&] { BlockIndentEditChange(); }); });
    connect(TabStopsEdit, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (text.toStdString() != SourceOptions.TabStops())
            Modified = true;
    });
    connect(KeymapEdit, &QComboBox::activated, this, [this] {
        EnvOptions.KeyMapping = KeymapEdit->currentText().toStdString();
        Modified = true;
    });
}

void TfrmEditProperties::BuildGutterMarginPage()
{
    GutterMarginPg = named_control<QWidget>(this, "GutterMarginPg");
    EditPropertiesPgCtrl->addTab(GutterMarginPg, tr("Gutter && Margin"));
    auto *layout = new QVBoxLayout(GutterMarginPg);

    auto *gutter = new QGroupBox(tr(" Gutter "), GutterMarginPg);
    auto *g = new QGridLayout(gutter);
    GutterVisible = named_control<QCheckBox>(gutter, "GutterVisible", "&Visible");
    GutterWidthEdit = named_control<TQBSpinEdit>(gutter, "GutterWidthEdit");
    GutterWidthEdit->SetMinValue(1);
    GutterWidthEdit->SetMaxValue(100);
    btnRefreshGutter = named_control<QToolButton>(gutter, "btnRefreshGutter");
    btnRefreshGutter->setText(QStringLiteral("↻"));
    btnRefreshGutter->setToolTip(tr("Update Gutter Width"));
    GutterColorEdit = named_control<TColorCombo>(gutter, "GutterColorEdit");
    GutterColorBtn = named_control<QToolButton>(gutter, "GutterColorBtn");
    GutterColorBtn->setText(QStringLiteral("..."));
    g->addWidget(GutterVisible, 0, 0);
    g->addWidget(new QLabel(tr("Width:"), gutter), 1, 0);
    g->addWidget(GutterWidthEdit, 1, 1);
    g->addWidget(btnRefreshGutter, 1, 2);
    g->addWidget(new QLabel(tr("Color:"), gutter), 2, 0);
    g->addWidget(GutterColorEdit, 2, 1);
    g->addWidget(GutterColorBtn, 2, 2);
    layout->addWidget(gutter);

    auto *margin = new QGroupBox(tr(" Margin "), GutterMarginPg);
    auto *m = new QGridLayout(margin);
    MarginVisible = named_control<QCheckBox>(margin, "MarginVisible", "V&isible");
    MarginColorEdit = named_control<TColorCombo>(margin, "MarginColorEdit");
    MarginColorBtn = named_control<QToolButton>(margin, "MarginColorBtn");
    MarginColorBtn->setText(QStringLiteral("..."));
    MarginStyleEdit = named_control<QComboBox>(margin, "MarginStyleEdit");
    for (const char *style : kMarginPenStyles)
        MarginStyleEdit->addItem(QString::fromLatin1(style));
    MarginWidthEdit = named_control<TQBSpinEdit>(margin, "MarginWidthEdit");
    MarginWidthEdit->SetMinValue(1);
    MarginWidthEdit->SetMaxValue(2);
    MarginWidthEdit->SetEditorEnabled(false);
    MarginPosEdit = named_control<TQBSpinEdit>(margin, "MarginPosEdit");
    MarginPosEdit->SetMinValue(1);
    MarginPosEdit->SetMaxValue(500);
    m->addWidget(MarginVisible, 0, 0);
    m->addWidget(new QLabel(tr("Color:"), margin), 1, 0);
    m->addWidget(MarginColorEdit, 1, 1);
    m->addWidget(MarginColorBtn, 1, 2);
    m->addWidget(new QLabel(tr("Style:"), margin), 2, 0);
    m->addWidget(MarginStyleEdit, 2, 1);
    m->addWidget(new QLabel(tr("Width:"), margin), 3, 0);
    m->addWidget(MarginWidthEdit, 3, 1);
    m->addWidget(new QLabel(tr("Position:"), margin), 4, 0);
    m->addWidget(MarginPosEdit, 4, 1);
    layout->addWidget(margin);

    auto *numbers = new QGroupBox(tr(" Line Numbers Colors "), GutterMarginPg);
    auto *n = new QGridLayout(numbers);
    clrFgLineNumber = named_control<TColorCombo>(numbers, "clrFgLineNumber");
    clrBgLineNumber = named_control<TColorCombo>(numbers, "clrBgLineNumber");
    btnFgLineNumber = named_control<QToolButton>(numbers, "btnFgLineNumber");
    btnBgLineNumber = named_control<QToolButton>(numbers, "btnBgLineNumber");
    btnFgLineNumber->setText(QStringLiteral("..."));
    btnBgLineNumber->setText(QStringLiteral("..."));
    auto *fg = new QLabel(tr("&Foreground:"), numbers);
    fg->setBuddy(clrFgLineNumber);
    auto *bg = new QLabel(tr("&Background:"), numbers);
    bg->setBuddy(clrBgLineNumber);
    n->addWidget(fg, 0, 0);
    n->addWidget(clrFgLineNumber, 0, 1);
    n->addWidget(btnFgLineNumber, 0, 2);
    n->addWidget(bg, 1, 0);
    n->addWidget(clrBgLineNumber, 1, 1);
    n->addWidget(btnBgLineNumber, 1, 2);
    layout->addWidget(numbers);
    GMMemo = SampleMemo(GutterMarginPg, "GMMemo");
    layout->addWidget(GMMemo, 1);

    // The visible boxes write their bit both ways, so clearing one hides the gutter or margin.
    connect(GutterVisible, &QCheckBox::clicked, this, [this](bool on) {
        EnvOptions.Options.set(moDrawGutter, on);
        EnvOptions.Changed();
        Modified = true;
    });
    connect(MarginVisible, &QCheckBox::clicked, this, [this](bool on) {
        EnvOptions.Options.set(moDrawMargin, on);
        EnvOptions.Changed();
        Modified = true;
    });
    connect(btnRefreshGutter, &QToolButton::clicked, this, [this] {
        EnvOptions.GutterWidth = GutterWidthEdit->GetValue();
        EnvOptions.Changed();
        Modified = true;
    });
    connect(GutterColorEdit, &TColorCombo::colorChanged, this, [this](TColor c) {
        EnvOptions.GutterColor = c;
        EnvOptions.Changed();
        Modified = true;
    });
    connect(MarginColorEdit, &TColorCombo::colorChanged, this, [this](TColor c) {
        EnvOptions.MarginColor = c;
        EnvOptions.Changed();
        Modified = true;
    });
    ColorButton(GutterColorBtn, GutterColorEdit);
    ColorButton(MarginColorBtn, MarginColorEdit);
    connect(MarginStyleEdit, &QComboBox::activated, this, [this](int index) {
        EnvOptions.MarginStyle = index;
        Modified = true;
    });
    connect(MarginWidthEdit, &QLineEdit::textChanged, this, [this] {
        if (m_loading)
            return;
        EnvOptions.MarginWidth = MarginWidthEdit->GetValue();
        EnvOptions.Changed();
        Modified = true;
    });
    connect(MarginPosEdit, &QLineEdit::textEdited, this,
            [this] { guarded([&] { MarginPosEditChange(); }); });
    for (TColorCombo *combo : {clrFgLineNumber, clrBgLineNumber})
        connect(combo, &TColorCombo::colorChanged, this,
                [this] { guarded([&] { LineNumberColorChange(); }); });
    ColorButton(btnFgLineNumber, clrFgLineNumber);
    ColorButton(btnBgLineNumber, clrBgLineNumber);
}

void TfrmEditProperties::BuildDisplayPage()
{
    DisplayPg = named_control<QWidget>(this, "DisplayPg");
    EditPropertiesPgCtrl->addTab(DisplayPg, tr("Display"));
    auto *layout = new QVBoxLayout(DisplayPg);

    auto *font = new QGroupBox(tr(" Editor Font "), DisplayPg);
    auto *f = new QGridLayout(font);
    FontNameEdit = named_control<QComboBox>(font, "FontNameEdit");
    FontSizeEdit = named_control<QComboBox>(font, "FontSizeEdit");
    FontSizeEdit->setEditable(true);
    FontSizeEdit->setInsertPolicy(QComboBox::NoInsert);
    pcbUseMonoFont = named_control<QCheckBox>(font, "pcbUseMonoFont", "&Use mono font");
    f->addWidget(new QLabel(tr("Font:"), font), 0, 0);
    f->addWidget(FontNameEdit, 0, 1);
    f->addWidget(new QLabel(tr("Size:"), font), 1, 0);
    f->addWidget(FontSizeEdit, 1, 1);
    f->addWidget(pcbUseMonoFont, 2, 1);
    layout->addWidget(font);

    auto *colours = new QGroupBox(tr(" Background Colors "), DisplayPg);
    auto *c = new QGridLayout(colours);
    const auto colour_row = [&](QGridLayout *grid, QWidget *parent, int row, const char *caption,
                                const char *combo_name, const char *button_name,
                                TColorCombo *&combo, QToolButton *&button) {
        combo = named_control<TColorCombo>(parent, combo_name);
        button = named_control<QToolButton>(parent, button_name);
        button->setText(QStringLiteral("..."));
        auto *label = new QLabel(tr(caption), parent);
        label->setBuddy(combo);
        grid->addWidget(label, row, 0);
        grid->addWidget(combo, row, 1);
        grid->addWidget(button, row, 2);
        ColorButton(button, combo);
    };
    colour_row(c, colours, 0, "Ed&itor (Edit Mode):", "EditorBackColor", "EditBackColorBtn",
               EditorBackColor, EditBackColorBtn);
    colour_row(c, colours, 1, "Edito&r (Debug Mode):", "ReadOnlyColorEd", "ReadOnlyColorBtn",
               ReadOnlyColorEd, ReadOnlyColorBtn);
    colour_row(c, colours, 2, "&Workspace:", "WorkspaceColor", "WorkspaceColorBtn",
               WorkspaceColor, WorkspaceColorBtn);
    layout->addWidget(colours);
    auto *foreground = new QGroupBox(tr(" Foreground Color (non-syntax) "), DisplayPg);
    auto *fg = new QGridLayout(foreground);
    colour_row(fg, foreground, 0, "Text:", "ForegroundColor", "ForegroundColorBtn",
               ForegroundColor, ForegroundColorBtn);
    layout->addWidget(foreground);

    auto *symbols = new QGroupBox(tr(" Special Symbols "), DisplayPg);
    auto *s = new QGridLayout(symbols);
    pcbUseSpecSymbs = named_control<QCheckBox>(symbols, "pcbUseSpecSymbs", "Us&e");
    s->addWidget(pcbUseSpecSymbs, 0, 0);
    const auto symbol = [&](int column, const char *caption, const char *name, QLabel *&label,
                            QLineEdit *&edit) {
        edit = named_control<QLineEdit>(symbols, name);
        label = new QLabel(tr(caption), symbols);
        label->setBuddy(edit);
        s->addWidget(label, 0, 1 + 2 * column);
        s->addWidget(edit, 0, 2 + 2 * column);
    };
    symbol(0, "EOL:", "edtSSEOL", EOLLbl, edtSSEOL);
    symbol(1, "EOF:", "edtSSEOF", EOFLbl, edtSSEOF);
    symbol(2, "Space:", "edtSSSpace", SpaceLbl, edtSSSpace);
    symbol(3, "Tab:", "edtSSTab", TabLbl, edtSSTab);
    edtSSSpace->setMaxLength(1);
    edtSSTab->setMaxLength(1);
    layout->addWidget(symbols);
    DisplayMemo = SampleMemo(DisplayPg, "DisplayMemo");
    layout->addWidget(DisplayMemo, 1);

    connect(FontNameEdit, &QComboBox::activated, this,
            [this] { guarded([&] { FontNameEditChange(); }); });
    connect(FontSizeEdit, &QComboBox::currentTextChanged, this, [this] {
        if (!m_loading)
            guarded([&] { FontSizeEditChange(); });
    });
    connect(pcbUseMonoFont, &QCheckBox::clicked, this, [this](bool on) {
        guarded([&] {
            EnvOptions.UseMonoFont = on;
            FillFontList(on);
            Modified = true;
        });
    });
    connect(ReadOnlyColorEd, &TColorCombo::colorChanged, this, [this](TColor colour) {
        EnvOptions.ReadOnlyColor = colour;
        EnvOptions.Changed();
        Modified = true;
    });
    connect(WorkspaceColor, &TColorCombo::colorChanged, this,
            [this] { guarded([&] { WorkspaceColorChange(); }); });
    connect(EditorBackColor, &TColorCombo::colorChanged, this,
            [this] { guarded([&] { EditorBackColorChange(); }); });
    connect(ForegroundColor, &TColorCombo::colorChanged, this,
            [this] { guarded([&] { ForegroundColorChange(); }); });
    connect(pcbUseSpecSymbs, &QCheckBox::clicked, this,
            [this] { guarded([&] { SpecialSymbolsClick(); }); });
    connect(edtSSEOL, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (m_loading)
            return;
        EnvOptions.EolSymbol = text.toStdString();
        EnvOptions.Changed();
        Modified = true;
    });
    connect(edtSSEOF, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (m_loading)
            return;
        EnvOptions.EofSymbol = text.toStdString();
        EnvOptions.Changed();
        Modified = true;
    });
    connect(edtSSSpace, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (m_loading)
            return;
        EnvOptions.SpaceSymbol = text.isEmpty() ? 0 : text.front().unicode();
        EnvOptions.Changed();
        Modified = true;
    });
    connect(edtSSTab, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (m_loading)
            return;
        EnvOptions.TabSymbol = text.isEmpty() ? 0 : text.front().unicode();
        EnvOptions.Changed();
        Modified = true;
    });
}

void TfrmEditProperties::BuildColorsPage()
{
    ColorsPg = named_control<QWidget>(this, "ColorsPg");
    EditPropertiesPgCtrl->addTab(ColorsPg, tr("Syntax Colors"));
    auto *layout = new QGridLayout(ColorsPg);
    Elements = named_control<QListWidget>(ColorsPg, "Elements");
    layout->addWidget(new QLabel(tr("Element:"), ColorsPg), 0, 0);
    layout->addWidget(Elements, 1, 0, 6, 1);

    auto *colours = new QGroupBox(tr(" Color "), ColorsPg);
    auto *c = new QGridLayout(colours);
    SyntaxForeColor = named_control<TColorCombo>(colours, "SyntaxForeColor");
    SyntaxBackColor = named_control<TColorCombo>(colours, "SyntaxBackColor");
    ForeColorBtn = named_control<QToolButton>(colours, "ForeColorBtn");
    BackColorBtn = named_control<QToolButton>(colours, "BackColorBtn");
    ForeColorBtn->setText(QStringLiteral("..."));
    BackColorBtn->setText(QStringLiteral("..."));
    lblForeColor = new QLabel(tr("Foreground:"), colours);
    lblBackColor = new QLabel(tr("Background:"), colours);
    c->addWidget(lblForeColor, 0, 0);
    c->addWidget(SyntaxForeColor, 0, 1);
    c->addWidget(ForeColorBtn, 0, 2);
    c->addWidget(lblBackColor, 1, 0);
    c->addWidget(SyntaxBackColor, 1, 1);
    c->addWidget(BackColorBtn, 1, 2);
    layout->addWidget(colours, 1, 1);
    ColorButton(ForeColorBtn, SyntaxForeColor);
    ColorButton(BackColorBtn, SyntaxBackColor);

    auto *defaults = new QGroupBox(tr(" Use Defaults For "), ColorsPg);
    auto *d = new QVBoxLayout(defaults);
    chkDefFore = named_control<QCheckBox>(defaults, "chkDefFore", "Fo&reground");
    chkDefBack = named_control<QCheckBox>(defaults, "chkDefBack", "B&ackground");
    d->addWidget(chkDefFore);
    d->addWidget(chkDefBack);
    layout->addWidget(defaults, 2, 1);

    auto *attributes = new QGroupBox(tr(" Text Attributes "), ColorsPg);
    auto *a = new QVBoxLayout(attributes);
    BoldChk = named_control<QCheckBox>(attributes, "BoldChk", "&Bold");
    ItalicChk = named_control<QCheckBox>(attributes, "ItalicChk", "&Italic");
    UnderLineChk = named_control<QCheckBox>(attributes, "UnderLineChk", "&Underline");
    a->addWidget(BoldChk);
    a->addWidget(ItalicChk);
    a->addWidget(UnderLineChk);
    layout->addWidget(attributes, 3, 1);

    auto *files = new QHBoxLayout;
    SaveButton = named_control<QPushButton>(ColorsPg, "SaveButton", "&Save");
    OpenButton = named_control<QPushButton>(ColorsPg, "OpenButton", "O&pen");
    files->addWidget(SaveButton);
    files->addWidget(OpenButton);
    layout->addLayout(files, 4, 1);
    ColorsMemo = SampleMemo(ColorsPg, "ColorsMemo");
    layout->addWidget(ColorsMemo, 7, 0, 1, 2);
    layout->setRowStretch(7, 1);

    connect(Elements, &QListWidget::currentRowChanged, this,
            [this] { guarded([&] { ElementsClick(); }); });
    connect(SyntaxForeColor, &TColorCombo::colorChanged, this,
            [this](TColor colour) { guarded([&] { ApplyForeground(colour); }); });
    connect(SyntaxBackColor, &TColorCombo::colorChanged, this,
            [this](TColor colour) { guarded([&] { ApplyBackground(colour); }); });
    connect(chkDefFore, &QCheckBox::clicked, this, [this] { guarded([&] { chkDefForeClick(); }); });
    connect(chkDefBack, &QCheckBox::clicked, this, [this] { guarded([&] { chkDefBackClick(); }); });
    for (QCheckBox *box : {BoldChk, ItalicChk, UnderLineChk})
        connect(box, &QCheckBox::clicked, this, [this] { guarded([&] { FontStyleClick(); }); });
    connect(SaveButton, &QPushButton::clicked, this, [this] { guarded([&] { SaveButtonClick(); }); });
    connect(OpenButton, &QPushButton::clicked, this, [this] { guarded([&] { OpenButtonClick(); }); });
}

void TfrmEditProperties::BuildCodeTemplatesPage()
{
    CodeTemplatesPg = named_control<QWidget>(this, "CodeTemplatesPg");
    EditPropertiesPgCtrl->addTab(CodeTemplatesPg, tr("Code Templates"));
    auto *layout = new QVBoxLayout(CodeTemplatesPg);
    auto *splitter = named_control<QSplitter>(CodeTemplatesPg, "Splitter1");
    splitter->setOrientation(Qt::Vertical);
    splitter->setToolTip(tr("Resize Templates and code windows"));
    layout->addWidget(splitter);

    auto *templates = named_control<QWidget>(splitter, "TemplatesPanel");
    auto *t = new QGridLayout(templates);
    t->setContentsMargins(0, 0, 0, 0);
    t->addWidget(new QLabel(tr("Templates"), templates), 0, 0);
    TemplateGrid = named_control<QTableWidget>(templates, "TemplateGrid");
    TemplateGrid->setColumnCount(2);
    TemplateGrid->setHorizontalHeaderLabels({tr("Name"), tr("Description")});
    TemplateGrid->verticalHeader()->hide();
    TemplateGrid->verticalHeader()->setDefaultSectionSize(18);
    TemplateGrid->horizontalHeader()->setStretchLastSection(true);
    TemplateGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    TemplateGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    TemplateGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TemplateGrid->setColumnWidth(0, std::max(20, IdePreferences().ct_name_width));
    t->addWidget(TemplateGrid, 1, 0, 4, 1);
    actAdd = new QAction(tr("&Add"), this);
    actAdd->setObjectName(QStringLiteral("actAdd"));
    actAdd->setToolTip(tr("Add a new template"));
    actEdit = new QAction(tr("&Edit"), this);
    actEdit->setObjectName(QStringLiteral("actEdit"));
    actDelete = new QAction(tr("&Delete"), this);
    actDelete->setObjectName(QStringLiteral("actDelete"));
    AddButton = named_control<QPushButton>(templates, "AddButton", "&Add...");
    AddButton->setToolTip(actAdd->toolTip());
    EditButton = named_control<QPushButton>(templates, "EditButton", "&Edit");
    DeleteButton = named_control<QPushButton>(templates, "DeleteButton", "&Delete");
    t->addWidget(AddButton, 1, 1);
    t->addWidget(EditButton, 2, 1);
    t->addWidget(DeleteButton, 3, 1);
    t->setRowStretch(4, 1);
    connect(AddButton, &QPushButton::clicked, actAdd, &QAction::trigger);
    connect(EditButton, &QPushButton::clicked, actEdit, &QAction::trigger);
    connect(DeleteButton, &QPushButton::clicked, actDelete, &QAction::trigger);
    connect(actAdd, &QAction::triggered, this, [this] { guarded([&] { actAddExecute(); }); });
    connect(actEdit, &QAction::triggered, this, [this] { guarded([&] { actEditExecute(); }); });
    connect(actDelete, &QAction::triggered, this,
            [this] { guarded([&] { actDeleteExecute(); }); });
    // A column dragged wider or narrower: the description column follows.
    connect(TemplateGrid->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section) {
                if (section == 0)
                    guarded([&] { FormResize(); });
            });
    connect(TemplateGrid, &QTableWidget::currentCellChanged, this,
            [this](int row, int column, int, int) {
                if (!m_filling_grid)
                    guarded([&] { TemplateGridSelectCell(column, row); });
            });

    auto *code = named_control<QWidget>(splitter, "CodePanel");
    auto *c = new QVBoxLayout(code);
    c->setContentsMargins(0, 0, 0, 0);
    c->addWidget(new QLabel(tr("Code"), code));
    CodeMemo = named_control<QsciScintilla>(code, "CodeMemo");
    CodeMemo->setUtf8(false);
    code->setMinimumHeight(kCodePanelMinimum);
    m_sample_links.push_back(std::make_unique<TMemoOptionsLink>(CodeMemo, nullptr));
    c->addWidget(CodeMemo, 1);
    CodeMemo->installEventFilter(this);
    CodePanel = code;
    splitter->setChildrenCollapsible(false);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);

    // The code memo's own popup: cut, copy and paste in the template's code. The memo takes the
    // keys itself; the menu shows them.
    TemplatesPopupMenu = new QMenu(CodeMemo);
    TemplatesPopupMenu->setObjectName(QStringLiteral("TemplatesPopupMenu"));
    const auto edit_action = [&](const char *name, const char *caption, QKeySequence keys,
                                 void (QsciScintilla::*run)()) {
        auto *action = TemplatesPopupMenu->addAction(tr(caption));
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, [this, action, run] {
            guarded([&] {
                EditUpdate();
                if (!action->isEnabled())
                    return;
                (CodeMemo->*run)();
                CodeMemoExit(); // the changed code stays with its template
            });
        });
        return action;
    };
    EditCut1 = edit_action("EditCut1", "Cu&t", QKeySequence(Qt::CTRL | Qt::Key_X),
                           &QsciScintilla::cut);
    EditCopy1 = edit_action("EditCopy1", "&Copy", QKeySequence(Qt::CTRL | Qt::Key_C),
                            &QsciScintilla::copy);
    EditPaste1 = edit_action("EditPaste1", "&Paste", QKeySequence(Qt::CTRL | Qt::Key_V),
                             &QsciScintilla::paste);
    CodeMemo->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(CodeMemo, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        guarded([&] {
            EditUpdate();
            TemplatesPopupMenu->popup(CodeMemo->mapToGlobal(at));
        });
    });
}

// Cut and copy while the template's code has a selection; paste while it can take one.
void TfrmEditProperties::EditUpdate()
{
    const bool editable = CodeMemo->isEnabled() && !CodeMemo->isReadOnly();
    EditCut1->setEnabled(editable && CodeMemo->hasSelectedText());
    EditCopy1->setEnabled(CodeMemo->isEnabled() && CodeMemo->hasSelectedText());
    const QMimeData *clipboard = QApplication::clipboard()->mimeData();
    EditPaste1->setEnabled(editable && clipboard && clipboard->hasText() &&
                           CodeMemo->SendScintilla(QsciScintillaBase::SCI_CANPASTE) != 0);
}

void TfrmEditProperties::BuildDebugWindowsPage()
{
    DebugWindowsPg = named_control<QWidget>(this, "DebugWindowsPg");
    EditPropertiesPgCtrl->addTab(DebugWindowsPg, tr("Debug Windows"));
    auto *layout = new QVBoxLayout(DebugWindowsPg);

    auto *general = new QGroupBox(tr(" General Preferences "), DebugWindowsPg);
    auto *g = new QGridLayout(general);
    rdbOpenNone = named_control<QRadioButton>(general, "rdbOpenNone", "&Do not automatically open");
    rdbOpenLast = named_control<QRadioButton>(general, "rdbOpenLast", "Open &last used windows");
    rdbOpenAll = named_control<QRadioButton>(general, "rdbOpenAll", "Open &all debug windows");
    rdbOpenSelected = named_control<QRadioButton>(general, "rdbOpenSelected", "Open &selected");
    g->addWidget(rdbOpenNone, 0, 0);
    g->addWidget(rdbOpenLast, 1, 0);
    g->addWidget(rdbOpenAll, 2, 0);
    g->addWidget(rdbOpenSelected, 3, 0);
    chkAssembly = named_control<QCheckBox>(general, "chkAssembly", "Asse&mbly");
    chkRegisters = named_control<QCheckBox>(general, "chkRegisters", "&Registers");
    chkWatch = named_control<QCheckBox>(general, "chkWatch", "&Watch");
    chkStdio = named_control<QCheckBox>(general, "chkStdio", "Std&io");
    chkStack = named_control<QCheckBox>(general, "chkStack", "Stac&k");
    int row = 0;
    for (QCheckBox *box : {chkAssembly, chkRegisters, chkWatch, chkStdio, chkStack})
        g->addWidget(box, row++, 1);
    layout->addWidget(general);
    for (QRadioButton *radio : {rdbOpenNone, rdbOpenLast, rdbOpenAll, rdbOpenSelected})
        connect(radio, &QRadioButton::clicked, this,
                [this] { guarded([&] { rdbDebugBehaviorClick(); Modified = true; }); });
    const std::pair<QCheckBox *, const char *> shows[] = {
        {chkAssembly, "Assembly"}, {chkRegisters, "Registers"}, {chkWatch, "Watch"},
        {chkStdio, "Stdio"},       {chkStack, "Stack"}};
    for (const auto &[box, name] : shows) {
        connect(box, &QCheckBox::clicked, this, [this, name = std::string(name)](bool on) {
            for (DebugWindowRecord &record : DebugWindowRecords) {
                if (record.Name == name) {
                    record.Show = on;
                    Modified = true;
                    return;
                }
            }
        });
    }

    auto *specific = new QGroupBox(tr(" Specific Preferences "), DebugWindowsPg);
    auto *s = new QGridLayout(specific);
    lbxWindow = named_control<QListWidget>(specific, "lbxWindow");
    auto *list_label = new QLabel(tr("D&ebug Windows"), specific);
    list_label->setBuddy(lbxWindow);
    s->addWidget(list_label, 0, 0);
    s->addWidget(lbxWindow, 1, 0, 2, 1);
    auto *fonts = new QGroupBox(tr(" Fonts and Colors "), specific);
    auto *f = new QGridLayout(fonts);
    cboFont = named_control<QComboBox>(fonts, "cboFont");
    btnChooseFont = named_control<QToolButton>(fonts, "btnChooseFont");
    btnChooseFont->setText(QStringLiteral("..."));
    chkUseFixedPitch = named_control<QCheckBox>(fonts, "chkUseFixedPitch", "Use fi&xed pitch");
    cboForeground = named_control<TColorCombo>(fonts, "cboForeground");
    btnChooseForeground = named_control<QToolButton>(fonts, "btnChooseForeground");
    btnChooseForeground->setText(QStringLiteral("..."));
    cboBackground = named_control<TColorCombo>(fonts, "cboBackground");
    btnChooseBackground = named_control<QToolButton>(fonts, "btnChooseBackground");
    btnChooseBackground->setText(QStringLiteral("..."));
    btnApplyFontAndColor = named_control<QPushButton>(fonts, "btnApplyFontAndColor",
                                                      "Apply Settings &to All");
    const auto label = [&](const char *caption, QWidget *buddy) {
        auto *text = new QLabel(tr(caption), fonts);
        text->setBuddy(buddy);
        return text;
    };
    lblFont = label("Fo&nt", cboFont);
    f->addWidget(lblFont, 0, 0);
    f->addWidget(cboFont, 0, 1);
    f->addWidget(btnChooseFont, 0, 2);
    f->addWidget(chkUseFixedPitch, 1, 1);
    lblForeground = label("&Foreground Color", cboForeground);
    f->addWidget(lblForeground, 2, 0);
    f->addWidget(cboForeground, 2, 1);
    f->addWidget(btnChooseForeground, 2, 2);
    f->addWidget(label("&Background Color", cboBackground), 3, 0);
    f->addWidget(cboBackground, 3, 1);
    f->addWidget(btnChooseBackground, 3, 2);
    f->addWidget(btnApplyFontAndColor, 4, 1);
    s->addWidget(fonts, 1, 1);

    auto *options = new QGroupBox(tr(" O&ptions "), specific);
    auto *o = new QVBoxLayout(options);
    pnlOptions = named_control<QStackedWidget>(options, "pnlOptions");
    o->addWidget(pnlOptions);
    s->addWidget(options, 2, 1);
    layout->addWidget(specific, 1);

    const auto panel = [&](const char *name) {
        auto *widget = named_control<QWidget>(pnlOptions, name);
        pnlOptions->addWidget(widget);
        return widget;
    };
    pnlBlank = panel("pnlBlank");

    pnlStdio = panel("pnlStdio");
    auto *st = new QGridLayout(pnlStdio);
    chkForceOpenStdio = named_control<QCheckBox>(pnlStdio, "chkForceOpenStdio", "Automatic open ");
    chkAutoVScrollStdio = named_control<QCheckBox>(pnlStdio, "chkAutoVScrollStdio",
                                                   "Automatic Vertical Scroll");
    chkAutoHScrollStdio = named_control<QCheckBox>(pnlStdio, "chkAutoHScrollStdio",
                                                   "Automatic Horizontal Scroll");
    chkLogStdio = named_control<QCheckBox>(pnlStdio, "chkLogStdio", "Log to File");
    edtStdioLog = named_control<QLineEdit>(pnlStdio, "edtStdioLog");
    btnStdioLog = named_control<QToolButton>(pnlStdio, "btnStdioLog");
    btnStdioLog->setText(QStringLiteral("..."));
    chkAppendStdio = named_control<QCheckBox>(pnlStdio, "chkAppendStdio", "Append");
    edtRows = named_control<QLineEdit>(pnlStdio, "edtRows");
    edtColumns = named_control<QLineEdit>(pnlStdio, "edtColumns");
    edtSpacesInTab = named_control<QLineEdit>(pnlStdio, "edtSpacesInTab");
    st->addWidget(chkForceOpenStdio, 0, 0, 1, 2);
    st->addWidget(chkAutoVScrollStdio, 1, 0, 1, 2);
    st->addWidget(chkAutoHScrollStdio, 2, 0, 1, 2);
    st->addWidget(chkLogStdio, 3, 0);
    st->addWidget(edtStdioLog, 3, 1);
    st->addWidget(btnStdioLog, 3, 2);
    st->addWidget(chkAppendStdio, 4, 1);
    st->addWidget(new QLabel(tr("Row:"), pnlStdio), 5, 0);
    st->addWidget(edtRows, 5, 1);
    st->addWidget(new QLabel(tr("Columns:"), pnlStdio), 6, 0);
    st->addWidget(edtColumns, 6, 1);
    st->addWidget(new QLabel(tr("Spaces In Tab:"), pnlStdio), 7, 0);
    st->addWidget(edtSpacesInTab, 7, 1);
    connect(chkLogStdio, &QCheckBox::clicked, this, [this] { chkLogStdioClick(); Modified = true; });
    connect(btnStdioLog, &QToolButton::clicked, this,
            [this] { guarded([&] { btnStdioLogClick(); }); });
    connect(chkAutoVScrollStdio, &QCheckBox::clicked, this, [](bool on) {
        guarded([&] {
            if (TfrmStdio *stdio = open_stdio())
                stdio->SetAutoVScroll(on);
        });
    });
    connect(chkAutoHScrollStdio, &QCheckBox::clicked, this, [](bool on) {
        guarded([&] {
            if (TfrmStdio *stdio = open_stdio())
                stdio->SetAutoHScroll(on);
        });
    });

    pnlAsm = panel("pnlAsm");
    auto *as = new QVBoxLayout(pnlAsm);
    chkShowAddress = named_control<QCheckBox>(pnlAsm, "chkShowAddress", "Show Addresses");
    chkShowMachine = named_control<QCheckBox>(pnlAsm, "chkShowMachine", "Show Machine Code");
    chkShowCycles = named_control<QCheckBox>(pnlAsm, "chkShowCycles", "Show Clock Cycles");
    chkSumClockCycles = named_control<QCheckBox>(pnlAsm, "chkSumClockCycles", "Sum Clock Cycles");
    chkSyntaxHighlight = named_control<QCheckBox>(pnlAsm, "chkSyntaxHighlight",
                                                  "Use Syntax Highlighting");
    chkShowSource = named_control<QCheckBox>(pnlAsm, "chkShowSource", "Show Source");
    chkShowFileName = named_control<QCheckBox>(pnlAsm, "chkShowFileName",
                                               "Show File Name in Source Line");
    for (QCheckBox *box : {chkShowAddress, chkShowMachine, chkShowCycles, chkSumClockCycles,
                           chkSyntaxHighlight, chkShowSource, chkShowFileName})
        as->addWidget(box);
    connect(chkShowSource, &QCheckBox::toggled, chkShowFileName, &QWidget::setEnabled);

    pnlRegister = panel("pnlRegister");
    auto *re = new QVBoxLayout(pnlRegister);
    rdbRegShowHistory = named_control<QRadioButton>(pnlRegister, "rdbRegShowHistory",
                                                    "Show register history");
    rdbRegShowEditable = named_control<QRadioButton>(pnlRegister, "rdbRegShowEditable",
                                                     "Show registers as editable");
    re->addWidget(rdbRegShowHistory);
    re->addWidget(rdbRegShowEditable);
    connect(rdbRegShowHistory, &QRadioButton::clicked, this,
            [this] { guarded([&] { RegisterViewClick(false); }); });
    connect(rdbRegShowEditable, &QRadioButton::clicked, this,
            [this] { guarded([&] { RegisterViewClick(true); }); });

    pnlMemoryDump = panel("pnlMemoryDump");
    auto *du = new QGridLayout(pnlMemoryDump);
    chkDumpApplyAll = named_control<QCheckBox>(pnlMemoryDump, "chkDumpApplyAll", "Apply changes to all ");
    chkDumpAllowUpdate = named_control<QCheckBox>(pnlMemoryDump, "chkDumpAllowUpdate",
                                                  "Allow automatic updates");
    chkShowDumpMenu = named_control<QCheckBox>(pnlMemoryDump, "chkShowDumpMenu", "Show tool bar");
    chkShowAddressInHint = named_control<QCheckBox>(pnlMemoryDump, "chkShowAddressInHint",
                                                    "Show address while scrolling");
    chkShowByteInHint = named_control<QCheckBox>(pnlMemoryDump, "chkShowByteInHint",
                                                 "Show current byte in hint");
    chkShowByteInCaption = named_control<QCheckBox>(pnlMemoryDump, "chkShowByteInCaption",
                                                    "Show current byte in title bar");
    row = 0;
    for (QCheckBox *box : {chkDumpApplyAll, chkDumpAllowUpdate, chkShowDumpMenu,
                           chkShowAddressInHint, chkShowByteInHint, chkShowByteInCaption})
        du->addWidget(box, row++, 0, 1, 4);
    du->addWidget(new QLabel(tr("Segmented Dump Range : "), pnlMemoryDump), row, 0);
    rdb4k = named_control<QRadioButton>(pnlMemoryDump, "rdb4k", "4k");
    rdb64k = named_control<QRadioButton>(pnlMemoryDump, "rdb64k", "64k");
    rdbFullRange = named_control<QRadioButton>(pnlMemoryDump, "rdbFullRange", "Full Range");
    du->addWidget(rdb4k, row, 1);
    du->addWidget(rdb64k, row, 2);
    du->addWidget(rdbFullRange, row, 3);

    pnlWatches = panel("pnlWatches");
    auto *wa = new QVBoxLayout(pnlWatches);
    chkEnableFlyoverWatch = named_control<QCheckBox>(
        pnlWatches, "chkEnableFlyoverWatch", "Enable watch expression evaluation in flyover hint");
    chkShowErrorInFlyover = named_control<QCheckBox>(
        pnlWatches, "chkShowErrorInFlyover",
        "Show watch expression evaluation errors in flyover hint");
    wa->addWidget(chkEnableFlyoverWatch);
    wa->addWidget(chkShowErrorInFlyover);

    pnlTrace = panel("pnlTrace");
    auto *tr_layout = new QVBoxLayout(pnlTrace);
    chkTraceAutoScroll = named_control<QCheckBox>(
        pnlTrace, "chkTraceAutoScroll", "Automatically scroll trace entries to bottom of window");
    chkTraceAutoScroll->setToolTip(tr("Scroll to bottom with each new trace "));
    chkTraceFullPath = named_control<QCheckBox>(pnlTrace, "chkTraceFullPath",
                                                "Show file name with full path");
    tr_layout->addWidget(chkTraceAutoScroll);
    tr_layout->addWidget(chkTraceFullPath);

    connect(chkEnableFlyoverWatch, &QCheckBox::clicked, this, [this](bool on) {
        IdePreferences().watch.watches_in_flyover = on;
        chkShowErrorInFlyover->setEnabled(on);
    });
    connect(chkShowErrorInFlyover, &QCheckBox::clicked, this,
            [](bool on) { IdePreferences().watch.errors_in_flyover = on; });
    connect(lbxWindow, &QListWidget::currentRowChanged, this,
            [this] { guarded([&] { lbxWindowClick(); }); });
    // Every other control of the page only marks the dialog changed; OK takes its value.
    for (QAbstractButton *button : DebugWindowsPg->findChildren<QAbstractButton *>())
        if (button != chkLogStdio && button != btnApplyFontAndColor && button != btnStdioLog &&
            button != btnChooseFont && button != btnChooseForeground &&
            button != btnChooseBackground)
            connect(button, &QAbstractButton::clicked, this, [this] { Modified = true; });
    connect(cboForeground, &TColorCombo::colorChanged, this, [this] {
        guarded([&] {
            if (m_loading || m_applying_record)
                return;
            ApplyWindowForeground(lbxWindow->currentRow());
            Modified = true;
        });
    });
    connect(cboBackground, &TColorCombo::colorChanged, this, [this] {
        guarded([&] {
            if (m_loading || m_applying_record)
                return;
            ApplyWindowBackground(lbxWindow->currentRow());
            Modified = true;
        });
    });
    connect(cboFont, &QComboBox::currentTextChanged, this, [this] {
        guarded([&] {
            if (m_loading || m_applying_record)
                return;
            ApplyWindowFont(lbxWindow->currentRow());
            Modified = true;
        });
    });
    ColorButton(btnChooseForeground, cboForeground);
    ColorButton(btnChooseBackground, cboBackground);
    connect(btnChooseFont, &QToolButton::clicked, this,
            [this] { guarded([&] { btnChooseFontClick(); }); });
    connect(chkUseFixedPitch, &QCheckBox::clicked, this, [this] {
        guarded([&] {
            TFlagScope quiet(m_applying_record);
            const QString shown = cboFont->currentText();
            cboFont->clear();
            for (const QString &family : QFontDatabase::families())
                if (!chkUseFixedPitch->isChecked() || QFontInfo(QFont(family)).fixedPitch())
                    cboFont->addItem(family);
            if (chkUseFixedPitch->isChecked())
                cboFont->setCurrentIndex(0);
            else
                cboFont->setCurrentIndex(std::max(0, cboFont->findText(shown)));
            Modified = true;
        });
    });
    connect(btnApplyFontAndColor, &QPushButton::clicked, this,
            [this] { guarded([&] { btnApplyFontAndColorClick(); }); });
    for (const AsmToggle &toggle : kAsmToggles)
        connect(this->*toggle.box, &QCheckBox::clicked, this,
                [this, &toggle](bool on) { guarded([&] { AsmToggleClick(toggle, on); }); });
    for (QLineEdit *edit : {edtStdioLog, edtRows, edtColumns, edtSpacesInTab})
        connect(edit, &QLineEdit::textEdited, this, [this] { Modified = true; });
}

void TfrmEditProperties::BuildPrintPage()
{
    PrintOptionsPg = named_control<QWidget>(this, "PrintOptionsPg");
    EditPropertiesPgCtrl->addTab(PrintOptionsPg, tr("Print / Alerts"));
    auto *layout = new QVBoxLayout(PrintOptionsPg);

    auto *print = new QGroupBox(tr(" Print Options "), PrintOptionsPg);
    auto *p = new QGridLayout(print);
    cbHeader = named_control<QCheckBox>(print, "cbHeader", "Use &Header");
    cbFooter = named_control<QCheckBox>(print, "cbFooter", "Use &Footer");
    cbPages = named_control<QCheckBox>(print, "cbPages", "N&umber Pages");
    cbSyntax = named_control<QCheckBox>(print, "cbSyntax", "S&yntax Print");
    cbWrap = named_control<QCheckBox>(print, "cbWrap", "&Wrap Lines");
    int row = 0;
    for (QCheckBox *box : {cbHeader, cbFooter, cbPages, cbSyntax, cbWrap})
        p->addWidget(box, row++, 0);
    cbLeft = named_control<QCheckBox>(print, "cbLeft", "Use &Left Margin");
    cbRight = named_control<QCheckBox>(print, "cbRight", "Use &Right Margin");
    cbTop = named_control<QCheckBox>(print, "cbTop", "Use &Top Margin");
    cbBottom = named_control<QCheckBox>(print, "cbBottom", "Use &Bottom Margin");
    edLeft = named_control<QLineEdit>(print, "edLeft");
    edRight = named_control<QLineEdit>(print, "edRight");
    edTop = named_control<QLineEdit>(print, "edTop");
    edBottom = named_control<QLineEdit>(print, "edBottom");
    row = 0;
    const std::pair<QCheckBox *, QLineEdit *> margins[] = {
        {cbLeft, edLeft}, {cbRight, edRight}, {cbTop, edTop}, {cbBottom, edBottom}};
    for (const auto &[box, edit] : margins) {
        p->addWidget(box, row, 1);
        p->addWidget(edit, row++, 2);
    }
    btnPrintSetup = named_control<QPushButton>(print, "btnPrintSetup", "Setu&p");
    btnPreview = named_control<QPushButton>(print, "btnPreview", "Pre&view");
    btnPreview->setToolTip(tr("Print Preview "));
    p->addWidget(btnPrintSetup, 4, 1);
    p->addWidget(btnPreview, 4, 2);
    layout->addWidget(print);

    auto *font = new QGroupBox(tr("Print Font "), PrintOptionsPg);
    auto *f = new QHBoxLayout(font);
    edtPrintFontName = named_control<QLineEdit>(font, "edtPrintFontName");
    edtPrintFontName->setReadOnly(true);
    BitBtn1 = named_control<QToolButton>(font, "BitBtn1");
    BitBtn1->setText(QStringLiteral("..."));
    f->addWidget(edtPrintFontName);
    f->addWidget(BitBtn1);
    layout->addWidget(font);

    auto *alerts = new QGroupBox(tr(" Alerts "), PrintOptionsPg);
    auto *a = new QVBoxLayout(alerts);
    chkFlashAfterCompile = named_control<QCheckBox>(
        alerts, "chkFlashAfterCompile", "Flash &icon in taskbar after successful compile and download");
    chkBeepAfterCompile = named_control<QCheckBox>(
        alerts, "chkBeepAfterCompile", "B&eep after successful compile and download");
    chkDetectChanges = named_control<QCheckBox>(
        alerts, "chkDetectChanges",
        "&Detect changes made to open file outside of IDE and prompt for reload");
    chkConfirmLibCompile = named_control<QCheckBox>(alerts, "chkConfirmLibCompile",
                                                    "Confir&m compilation of library files");
    for (QCheckBox *box : {chkFlashAfterCompile, chkBeepAfterCompile, chkDetectChanges,
                           chkConfirmLibCompile})
        a->addWidget(box);
    layout->addWidget(alerts);

    auto *backup = new QGroupBox(tr(" Backup / Auto Save"), PrintOptionsPg);
    auto *b = new QVBoxLayout(backup);
    chkBackup = named_control<QCheckBox>(backup, "chkBackup",
                                         "&Create back up file before compilation");
    chkAutoSave = named_control<QCheckBox>(
        backup, "chkAutoSave", "&Automatically save all open editors before compilation");
    b->addWidget(chkBackup);
    b->addWidget(chkAutoSave);
    layout->addWidget(backup);
    layout->addStretch();

    // The print options are the main window's, edited in place (Cancel puts them back).
    const auto print_box = [this](QCheckBox *box, bool TTextOptions::*option) {
        connect(box, &QCheckBox::clicked, this, [this, option](bool on) {
            guarded([&] {
                if (m_main)
                    m_main->PrintSetup().TextOptions.*option = on;
                Modified = true;
            });
        });
    };
    print_box(cbHeader, &TTextOptions::UseHeader);
    print_box(cbFooter, &TTextOptions::UseFooter);
    print_box(cbLeft, &TTextOptions::UseMarginLeft);
    print_box(cbRight, &TTextOptions::UseMarginRight);
    print_box(cbTop, &TTextOptions::UseMarginTop);
    print_box(cbBottom, &TTextOptions::UseMarginBottom);
    print_box(cbSyntax, &TTextOptions::ColorSyntax);
    print_box(cbWrap, &TTextOptions::WrapLines);
    connect(cbPages, &QCheckBox::clicked, this, [this] { guarded([&] { cbPagesClick(); }); });
    for (std::size_t i = 0; i < 4; ++i) {
        QLineEdit *edit = margins[i].second;
        connect(edit, &QLineEdit::editingFinished, this,
                [this, i] { guarded([&] { MarginExit(i); }); });
    }
    connect(btnPrintSetup, &QPushButton::clicked, this,
            [this] { guarded([&] { btnPrintSetupClick(); }); });
    connect(btnPreview, &QPushButton::clicked, this, [this] {
        guarded([&] {
            if (m_main && m_main->ActiveEditorWindow())
                m_main->actPrintPreviewExecute();
        });
    });
    connect(BitBtn1, &QToolButton::clicked, this, [this] { guarded([&] { BitBtn1Click(); }); });
    for (QCheckBox *box : {chkFlashAfterCompile, chkBeepAfterCompile, chkDetectChanges,
                           chkConfirmLibCompile, chkBackup, chkAutoSave})
        connect(box, &QCheckBox::clicked, this, [this] { Modified = true; });
}

// The margin fields: a number above the margin's minimum is taken, one at or below it becomes
// the minimum, and anything else (no number, not finite) shows the margin again.
void TfrmEditProperties::MarginExit(std::size_t which)
{
    if (!m_main)
        return;
    TTextOptions &text = m_main->PrintSetup().TextOptions;
    double *const options[] = {&text.MarginLeft, &text.MarginRight, &text.MarginTop,
                               &text.MarginBottom};
    QLineEdit *const fields[] = {edLeft, edRight, edTop, edBottom};
    double value = *options[which];
    if (const std::optional<double> typed = finite_number(fields[which]->text()))
        value = *typed;
    if (value <= kMarginMinimum[which])
        value = kMarginMinimum[which];
    if (value != *options[which]) {
        *options[which] = value;
        Modified = true;
    }
    fields[which]->setText(float_text(value));
}

void TfrmEditProperties::cbPagesClick()
{
    if (m_main) {
        TTextOptions &text = m_main->PrintSetup().TextOptions;
        text.UsePageNumbers = cbPages->isChecked();
        text.PrintPageNumber = cbPages->isChecked()
                                   ? static_cast<TPageNumberPosition>(
                                         std::min<int>(IdePreferences().PrintPagePosition, 1))
                                   : TPageNumberPosition::pnNone;
    }
    Modified = true;
}

void TfrmEditProperties::btnPrintSetupClick()
{
    if (!m_main)
        return;
    m_main->actPrintSetupExecute();
    LoadPrintPage();
    set_checked_silently(cbPages, m_main->PrintSetup().TextOptions.PrintPageNumber !=
                                      TPageNumberPosition::pnNone);
}

// The print font: the settings' font takes the chosen one at once (Cancel puts the shown one back).
void TfrmEditProperties::BitBtn1Click()
{
    TPrinterFont &print = IdePreferences().PrintFont;
    QFont font(QString::fromStdString(print.name));
    if (print.size > 0)
        font.setPointSize(print.size);
    font.setBold(print.bold);
    font.setItalic(print.italic);
    font.setUnderline(print.underline);
    font.setStrikeOut(print.strikeout);
    const std::optional<QFont> chosen = run_font_dialog(font, false);
    if (!chosen)
        return;
    print.name = chosen->family().toStdString();
    if (chosen->pointSize() > 0)
        print.size = chosen->pointSize();
    print.bold = chosen->bold();
    print.italic = chosen->italic();
    print.underline = chosen->underline();
    print.strikeout = chosen->strikeOut();
    edtPrintFontName->setText(QString::fromStdString(print.name));
    Modified = true;
}

void TfrmEditProperties::btnStdioLogClick()
{
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Open;
    request.title = "Select a Stdio log file";
    request.filter = "Stdio log files (*.out)|*.out|";
    request.directory = IdePreferences().stdio_log_dir;
    request.must_exist = false;
    std::unique_ptr<TFileDialog> dialog = make_file_dialog(request);
    if (!dialog->Execute())
        return;
    const std::string chosen = dialog->FileName();
    const std::size_t slash = chosen.find_last_of("/\\");
    IdePreferences().stdio_log_dir = slash == std::string::npos ? std::string() : chosen.substr(0, slash + 1);
    edtStdioLog->setText(QString::fromStdString(chosen));
    Modified = true;
}

// ---- the code templates page -------------------------------------------------------------------

void TfrmEditProperties::FillCodeTemplateGrid(const TMemoCodeTemplates &templates)
{
    TFlagScope filling(m_filling_grid);
    TemplateGrid->setRowCount(templates.Count());
    for (int i = 0; i < templates.Count(); ++i) {
        const TCodeTemplate &item = templates.Items[static_cast<std::size_t>(i)];
        TemplateGrid->setItem(i, 0, new QTableWidgetItem(QString::fromStdString(item.Name)));
        TemplateGrid->setItem(i, 1, new QTableWidgetItem(QString::fromStdString(item.Description)));
    }
}

int TfrmEditProperties::SelectedTemplate() const
{
    const int row = TemplateGrid->currentRow();
    return row >= 0 && row < CodeTemplates.Count() ? row : -1;
}

// The code memo shows a template's code (its pending edit when there is one); the Edit and
// Delete hints name it. With no template the memo is empty and the hints bare.
void TfrmEditProperties::ShowTemplateCode(int item)
{
    if (item < 0 || item >= CodeTemplates.Count()) {
        m_shown_template = -1;
        m_shown_code.clear();
        CodeMemo->setCursorPosition(0, 0);
        CodeMemo->clear();
        actEdit->setToolTip(tr("Edit"));
        actDelete->setToolTip(tr("Delete"));
    } else {
        const TCodeTemplate &tpl = CodeTemplates.Items[static_cast<std::size_t>(item)];
        const auto edited = EditedCode.find(m_template_keys[static_cast<std::size_t>(item)]);
        m_shown_template = item;
        m_shown_code = edited != EditedCode.end() ? edited->second : tpl.Code;
        CodeMemo->setCursorPosition(0, 0);
        CodeMemo->setText(QString::fromLatin1(m_shown_code.data(),
                                              static_cast<qsizetype>(m_shown_code.size())));
        actEdit->setToolTip(tr("Edit ") + QString::fromStdString(tpl.Name));
        actDelete->setToolTip(tr("Delete ") + QString::fromStdString(tpl.Name));
    }
    CodeMemo->setEnabled(m_shown_template >= 0);
    EditButton->setToolTip(actEdit->toolTip());
    DeleteButton->setToolTip(actDelete->toolTip());
}

void TfrmEditProperties::TemplateGridSelectCell(int, int row)
{
    CodeMemoExit(); // what was typed for the template shown before stays with it
    ShowTemplateCode(row);
}

void TfrmEditProperties::CodeMemoEnter()
{
    CodeMemoFocused = true;
    CodeTextOnEnter = CodeMemo->text().toLatin1().toStdString();
}

// The memo's text, kept for the template it shows until the dialog closes (Modified stays).
void TfrmEditProperties::CodeMemoExit()
{
    CodeMemoFocused = false;
    if (m_shown_template < 0 || m_shown_template >= CodeTemplates.Count())
        return;
    const QByteArray bytes = CodeMemo->text().toLatin1();
    std::string text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const int key = m_template_keys[static_cast<std::size_t>(m_shown_template)];
    if (text != m_shown_code || EditedCode.count(key))
        EditedCode[key] = std::move(text);
}

bool TfrmEditProperties::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == CodeMemo) {
        if (event->type() == QEvent::FocusIn)
            guarded([&] { CodeMemoEnter(); });
        else if (event->type() == QEvent::FocusOut)
            guarded([&] { CodeMemoExit(); });
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmEditProperties::actAddExecute()
{
    TfrmAddCodeTemplate dialog(this);
    dialog.Name->clear();
    dialog.Description->clear();
    if (run_add_template(dialog) != QDialog::Accepted)
        return;
    CodeMemoExit();
    CodeTemplates.Items.push_back({dialog.Name->text().toStdString(),
                                   dialog.Description->text().toStdString(), {}});
    m_template_keys.push_back(m_next_template_key++);
    FillCodeTemplateGrid(CodeTemplates);
    TemplateGrid->setCurrentCell(CodeTemplates.Count() - 1, 0);
    ShowTemplateCode(CodeTemplates.Count() - 1);
    CodeMemo->setFocus();
    Modified = true;
    actDeleteUpdate();
}

void TfrmEditProperties::actEditExecute()
{
    const int item = SelectedTemplate();
    if (item < 0)
        return;
    TCodeTemplate &tpl = CodeTemplates.Items[static_cast<std::size_t>(item)];
    TfrmAddCodeTemplate dialog(this);
    dialog.Name->setText(QString::fromStdString(tpl.Name));
    dialog.Description->setText(QString::fromStdString(tpl.Description));
    if (run_add_template(dialog) != QDialog::Accepted)
        return;
    const std::string name = dialog.Name->text().toStdString();
    const std::string description = dialog.Description->text().toStdString();
    if (name != tpl.Name || description != tpl.Description) {
        tpl.Name = name;
        tpl.Description = description;
        TemplateGrid->item(item, 0)->setText(QString::fromStdString(name));
        TemplateGrid->item(item, 1)->setText(QString::fromStdString(description));
        actEdit->setToolTip(tr("Edit ") + QString::fromStdString(name));
        actDelete->setToolTip(tr("Delete ") + QString::fromStdString(name));
        EditButton->setToolTip(actEdit->toolTip());
        DeleteButton->setToolTip(actDelete->toolTip());
        Modified = true;
    }
    CodeMemo->setFocus();
}

// The list is rebuilt without the item; the pending code edits of the others stay with them,
// the deleted one's goes.
void TfrmEditProperties::actDeleteExecute()
{
    const int item = SelectedTemplate();
    if (item < 0)
        return;
    const auto index = static_cast<std::size_t>(item);
    const std::string question = "Delete " + CodeTemplates.Items[index].Name + "?";
    if (ShowAppMessageBox(question, "Delete a code template", kMbOkCancel) != kIdOk)
        return;
    CodeMemoExit();
    const TMemoCodeTemplates scratch = CodeTemplates;
    CodeTemplates.Items.clear();
    for (std::size_t i = 0; i < scratch.Items.size(); ++i)
        if (i != index)
            CodeTemplates.Items.push_back(scratch.Items[i]);
    EditedCode.erase(m_template_keys[index]);
    m_template_keys.erase(m_template_keys.begin() + item);
    m_shown_template = -1;
    FillCodeTemplateGrid(CodeTemplates);
    const int next = std::min(item, CodeTemplates.Count() - 1);
    {
        TFlagScope filling(m_filling_grid);
        TemplateGrid->setCurrentCell(next, 0);
    }
    ShowTemplateCode(next);
    Modified = true;
    actDeleteUpdate();
}

void TfrmEditProperties::actDeleteUpdate()
{
    const bool any = TemplateGrid->rowCount() > 0;
    actDelete->setEnabled(any);
    DeleteButton->setEnabled(any);
}

// Every code edit into its template (OK).
void TfrmEditProperties::ApplyCodeEdits()
{
    CodeMemoExit();
    for (std::size_t i = 0; i < m_template_keys.size(); ++i)
        if (const auto edited = EditedCode.find(m_template_keys[i]); edited != EditedCode.end())
            CodeTemplates.Items[i].Code = edited->second;
}

void TfrmEditProperties::FormDestroy()
{
    std::string message;
    if (!TemplatesSource().Save(message))
        ShowAppMessageBox(message, error_caption(), kMbOk | kMbIconError);
}

// ---- the editor pages --------------------------------------------------------------------------

void TfrmEditProperties::ColorButton(QToolButton *button, TColorCombo *combo)
{
    connect(button, &QToolButton::clicked, this, [this, combo] {
        guarded([&] {
            if (const std::optional<TColor> chosen = run_color_dialog(combo->SelectedColor()))
                combo->ChooseColor(*chosen);
        });
    });
}

// Executing a toggle: its action takes the box's state, and the state goes into its bit (or
// the other way round for the inverted ones).
void TfrmEditProperties::ToggleExecute(std::size_t row)
{
    const ToggleRow &toggle = kToggles[row];
    const bool on = EditorToggles[row]->isChecked();
    CTActionList[row]->setChecked(on);
    const bool bit = toggle.inverted ? !on : on;
    switch (toggle.target) {
    case ToggleTarget::Source:
        SourceOptions.Options.set(static_cast<std::size_t>(toggle.bit), bit);
        SourceOptions.Changed();
        break;
    case ToggleTarget::Env:
        EnvOptions.Options.set(static_cast<std::size_t>(toggle.bit), bit);
        EnvOptions.Changed();
        break;
    case ToggleTarget::KeepTrailingBlanks:
        SourceOptions.KeepTrailingBlanks = on;
        break;
    case ToggleTarget::UndoAfterSave:
        IdePreferences().undo_after_save = on;
        break;
    }
    Modified = true;
    UpdateToggles();
}

// The actions' update: every box shows its option; the line numbers' place only matters while
// line numbers are shown.
void TfrmEditProperties::UpdateToggles()
{
    for (std::size_t i = 0; i < std::size(kToggles); ++i) {
        const ToggleRow &toggle = kToggles[i];
        bool on = false;
        switch (toggle.target) {
        case ToggleTarget::Source:
            on = SourceOptions.Options[static_cast<std::size_t>(toggle.bit)];
            break;
        case ToggleTarget::Env:
            on = EnvOptions.Options[static_cast<std::size_t>(toggle.bit)];
            break;
        case ToggleTarget::KeepTrailingBlanks:
            on = SourceOptions.KeepTrailingBlanks;
            break;
        case ToggleTarget::UndoAfterSave:
            on = IdePreferences().undo_after_save;
            break;
        }
        if (toggle.inverted)
            on = !on;
        CTActionList[i]->setChecked(on);
        set_checked_silently(EditorToggles[i], on);
    }
    const bool numbers = Toggle("actShowLineNumbers")->isChecked();
    Toggle("actShowNumbersOnGutter")->setEnabled(numbers);
    Action("actShowNumbersOnGutter")->setEnabled(numbers);
}

// A number the user typed into a field: the value, or the "is not a valid number" message
// (which puts the focus back) and nothing.
std::optional<int> TfrmEditProperties::TypedNumber(QLineEdit *field, int low, int high)
{
    const QString text = field->text();
    const std::optional<int> value = decimal(text);
    if (value && *value >= low && *value <= high)
        return value;
    ShowAppMessageBox(text.toStdString() + " is not a valid number", error_caption(),
                      kMbOk | kMbIconError);
    field->setFocus();
    return std::nullopt;
}

void TfrmEditProperties::BlockIndentEditChange()
{
    Modified = true;
    if (BlockIndentEdit->text().isEmpty())
        return;
    if (const std::optional<int> indent = TypedNumber(BlockIndentEdit, 1, kMaxBlockIndent)) {
        SourceOptions.BlockIndent = *indent;
        SourceOptions.Changed();
    }
}

void TfrmEditProperties::MarginPosEditChange()
{
    if (MarginPosEdit->text().isEmpty())
        return;
    if (const std::optional<int> column = TypedNumber(MarginPosEdit, 1, 500)) {
        EnvOptions.MarginPos = *column;
        EnvOptions.Changed();
        Modified = true;
    }
}

void TfrmEditProperties::FontSizeEditChange()
{
    Modified = true;
    QLineEdit *edit = FontSizeEdit->lineEdit();
    if (FontSizeEdit->currentText().isEmpty())
        return;
    const QString text = FontSizeEdit->currentText();
    const std::optional<int> size = decimal(text);
    if (!size || *size < 1 || *size > kMaxMemoFontSize) {
        ShowAppMessageBox(text.toStdString() + " is not a valid number", error_caption(),
                          kMbOk | kMbIconError);
        FontSizeEdit->setFocus();
        (void)edit;
        return;
    }
    EnvOptions.FontSize = *size;
    EnvOptions.Changed();
}

void TfrmEditProperties::FontNameEditChange()
{
    EnvOptions.FontName = FontNameEdit->currentText().toStdString();
    EnvOptions.Changed();
    Modified = true;
}

// The font names, all or the fixed-pitch ones. The editors' font stays selected: when it is
// not among the names (not installed, or not fixed pitch) it is listed first rather than
// replaced, so that showing the list changes no option.
void TfrmEditProperties::FillFontList(bool mono_only)
{
    const QSignalBlocker quiet(FontNameEdit);
    FontNameEdit->clear();
    QStringList names;
    for (const QString &family : QFontDatabase::families())
        if (!mono_only || QFontInfo(QFont(family)).fixedPitch())
            names.push_back(family);
    names.sort();
    const QString current = QString::fromStdString(EnvOptions.FontName);
    if (!names.contains(current))
        names.prepend(current);
    FontNameEdit->addItems(names);
    FontNameEdit->setCurrentText(current);
}

void TfrmEditProperties::WorkspaceColorChange()
{
    if (m_main && m_main->Workspace())
        m_main->Workspace()->setBackground(colour_of(WorkspaceColor->SelectedColor()));
    Modified = true;
}

void TfrmEditProperties::ForegroundColorChange()
{
    EnvOptions.BeginUpdate();
    EnvOptions.FontColor = ForegroundColor->SelectedColor();
    EnvOptions.Changed();
    EnvOptions.EndUpdate();
    Modified = true;
}

// Every element that uses the editor's background takes the new one.
void TfrmEditProperties::EditorBackColorChange()
{
    const TColor colour = EditorBackColor->SelectedColor();
    EnvOptions.BeginUpdate();
    EnvOptions.Color = colour;
    for (std::size_t i = 0; i < ElementWrappers.size(); ++i) {
        TTextStyleWrapper &wrapper = *ElementWrappers[i];
        wrapper.DefaultBackColor = colour;
        if (wrapper.UseDefaultBackColor)
            ElementStyle(i).Color = colour;
    }
    EnvOptions.Changed();
    EnvOptions.EndUpdate();
    ElementsClick();
    Modified = true;
}

// Line-number colours go to every editor and the sample memos at once; with no editor open
// the change alone does not count as one.
void TfrmEditProperties::LineNumberColorChange()
{
    EnvOptions.LineNumberColor = clrFgLineNumber->SelectedColor();
    EnvOptions.LineNumberBackgroundColor = clrBgLineNumber->SelectedColor();
    EnvOptions.Changed();
    if (m_main && !m_main->EditorsFrontFirst().empty())
        Modified = true;
}

void TfrmEditProperties::SpecialSymbolsClick()
{
    const bool on = pcbUseSpecSymbs->isChecked();
    for (QWidget *control : std::initializer_list<QWidget *>{EOLLbl, edtSSEOL, EOFLbl, edtSSEOF,
                                                             SpaceLbl, edtSSSpace, TabLbl, edtSSTab})
        control->setEnabled(on);
    EnvOptions.Options.set(moDrawSpecialSymbols, on);
    EnvOptions.Changed();
    Modified = true;
}

TTextStyle &TfrmEditProperties::ElementStyle(std::size_t element)
{
    return EnvOptions.TextStyles[static_cast<std::size_t>(ElementStyles[element])];
}

// One record per element: its colours as the style has them, then what the store keeps for it.
// An element counts as using the editor's colours only where it has them: taking every element
// for a user of the defaults would give breakpoints and blocks the editor's background at the
// first change of it.
void TfrmEditProperties::BuildElementList()
{
    const QSignalBlocker quiet(Elements);
    Elements->clear();
    ElementWrappers.clear();
    for (std::size_t i = 0; i < ElementStyles.size(); ++i) {
        const TTextStyle &style = ElementStyle(i);
        auto wrapper = std::make_unique<TTextStyleWrapper>(&ElementStyle(i));
        wrapper->DefaultBackColor = EnvOptions.Color;
        wrapper->DefaultForeColor = EnvOptions.FontColor;
        wrapper->UseDefaultBackColor = style.Color == EnvOptions.Color;
        wrapper->UseDefaultForeColor = style.FontColor == EnvOptions.FontColor;
        LoadEnvironmentFlags(wrapper.get());
        Elements->addItem(QString::fromStdString(ElementStyle(i).Name));
        ElementWrappers.push_back(std::move(wrapper));
    }
    Elements->setCurrentRow(0);
}

TTextStyleWrapper *TfrmEditProperties::SelectedElement()
{
    const int row = Elements->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= ElementWrappers.size())
        return nullptr;
    // The styles may have been given back whole since the record was made.
    ElementWrappers[static_cast<std::size_t>(row)]->Style = &ElementStyle(static_cast<std::size_t>(row));
    return ElementWrappers[static_cast<std::size_t>(row)].get();
}

void TfrmEditProperties::ElementsClick()
{
    TTextStyleWrapper *wrapper = SelectedElement();
    if (!wrapper)
        return;
    const TTextStyle &style = *wrapper->Style;
    set_checked_silently(BoldChk, style.Bold);
    set_checked_silently(ItalicChk, style.Italic);
    set_checked_silently(UnderLineChk, style.Underline);
    SyntaxForeColor->SetSelectedColor(wrapper->CustomForeColor);
    SyntaxBackColor->SetSelectedColor(wrapper->CustomBackColor);
    set_checked_silently(chkDefBack, wrapper->UseDefaultBackColor);
    set_checked_silently(chkDefFore, wrapper->UseDefaultForeColor);
    for (QWidget *control : std::initializer_list<QWidget *>{SyntaxBackColor, lblBackColor, BackColorBtn})
        control->setEnabled(!wrapper->UseDefaultBackColor);
    for (QWidget *control : std::initializer_list<QWidget *>{SyntaxForeColor, lblForeColor, ForeColorBtn})
        control->setEnabled(!wrapper->UseDefaultForeColor);
}

static bool is_marker_element(const TTextStyle &style)
{
    return style.Name == "BreakPoint" || style.Name == "ExecutionPoint";
}

void TfrmEditProperties::ApplyForeground(TColor colour)
{
    Modified = true;
    TTextStyleWrapper *wrapper = SelectedElement();
    if (!wrapper || chkDefFore->isChecked())
        return;
    EnvOptions.BeginUpdate();
    wrapper->CustomForeColor = colour;
    wrapper->Style->FontColor = colour;
    if (is_marker_element(*wrapper->Style))
        UpdateMarkerStyles();
    EnvOptions.Changed();
    EnvOptions.EndUpdate();
}

void TfrmEditProperties::ApplyBackground(TColor colour)
{
    Modified = true;
    TTextStyleWrapper *wrapper = SelectedElement();
    if (!wrapper || chkDefBack->isChecked())
        return;
    EnvOptions.BeginUpdate();
    wrapper->CustomBackColor = colour;
    wrapper->Style->Color = colour;
    wrapper->Style->UseMemoColor = false;
    if (is_marker_element(*wrapper->Style))
        UpdateMarkerStyles();
    EnvOptions.Changed();
    EnvOptions.EndUpdate();
}

void TfrmEditProperties::chkDefForeClick()
{
    TTextStyleWrapper *wrapper = SelectedElement();
    if (!wrapper)
        return;
    Modified = true;
    wrapper->UseDefaultForeColor = chkDefFore->isChecked();
    if (wrapper->UseDefaultForeColor) {
        EnvOptions.BeginUpdate();
        wrapper->Style->FontColor = wrapper->DefaultForeColor;
        if (is_marker_element(*wrapper->Style))
            UpdateMarkerStyles();
        EnvOptions.Changed();
        EnvOptions.EndUpdate();
    } else {
        ApplyForeground(SyntaxForeColor->SelectedColor());
    }
    for (QWidget *control : std::initializer_list<QWidget *>{SyntaxForeColor, lblForeColor, ForeColorBtn})
        control->setEnabled(!wrapper->UseDefaultForeColor);
}

void TfrmEditProperties::chkDefBackClick()
{
    TTextStyleWrapper *wrapper = SelectedElement();
    if (!wrapper)
        return;
    Modified = true;
    wrapper->UseDefaultBackColor = chkDefBack->isChecked();
    if (wrapper->UseDefaultBackColor) {
        EnvOptions.BeginUpdate();
        wrapper->Style->Color = wrapper->DefaultBackColor;
        if (is_marker_element(*wrapper->Style))
            UpdateMarkerStyles();
        EnvOptions.Changed();
        EnvOptions.EndUpdate();
    } else {
        ApplyBackground(SyntaxBackColor->SelectedColor());
    }
    for (QWidget *control : std::initializer_list<QWidget *>{SyntaxBackColor, lblBackColor, BackColorBtn})
        control->setEnabled(!wrapper->UseDefaultBackColor);
}

void TfrmEditProperties::FontStyleClick()
{
    TTextStyleWrapper *wrapper = SelectedElement();
    if (!wrapper)
        return;
    Modified = true;
    wrapper->Style->Bold = BoldChk->isChecked();
    wrapper->Style->Italic = ItalicChk->isChecked();
    wrapper->Style->Underline = UnderLineChk->isChecked();
    EnvOptions.Changed();
}

void TfrmEditProperties::SaveButtonClick()
{
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Save;
    request.title = "Save Colour Styles";
    request.filter = "Colour styles (*.kxc)|*.kxc|All files (*)|*|";
    request.must_exist = false;
    std::unique_ptr<TFileDialog> dialog = make_file_dialog(request);
    if (!dialog || !dialog->Execute())
        return;
    std::string error;
    if (!SaveColorStyles(dialog->FileName(), EnvOptions.TextStyles, error))
        ShowAppMessageBox("Cannot save the colour styles to '" + dialog->FileName() + "': " + error,
                          error_caption(), kMbOk | kMbIconError);
}

// A loaded style file sets every element back to its own colours, none using a default.
void TfrmEditProperties::OpenButtonClick()
{
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Open;
    request.title = "Open Colour Styles";
    request.filter = "Colour styles (*.kxc)|*.kxc|All files (*)|*|";
    std::unique_ptr<TFileDialog> dialog = make_file_dialog(request);
    if (!dialog || !dialog->Execute())
        return;
    std::string error;
    std::vector<TTextStyle> styles = EnvOptions.TextStyles;
    if (!LoadColorStyles(dialog->FileName(), styles, error)) {
        ShowAppMessageBox("Cannot load the colour styles of '" + dialog->FileName() + "': " + error,
                          error_caption(), kMbOk | kMbIconError);
        return;
    }
    EnvOptions.BeginUpdate();
    EnvOptions.TextStyles = std::move(styles);
    EnvOptions.Color = EnvOptions.TextStyles.front().Color;
    for (std::size_t i = 0; i < ElementWrappers.size(); ++i) {
        TTextStyleWrapper &wrapper = *ElementWrappers[i];
        wrapper.Style = &ElementStyle(i);
        wrapper.CustomBackColor = wrapper.DefaultBackColor = wrapper.Style->Color;
        wrapper.CustomForeColor = wrapper.DefaultForeColor = wrapper.Style->FontColor;
        wrapper.UseDefaultBackColor = wrapper.UseDefaultForeColor = true;
    }
    EnvOptions.Changed();
    EnvOptions.EndUpdate();
    Modified = true;
    ElementsClick();
}

void TfrmEditProperties::UpdateMarkerStyles()
{
    static constexpr const char *kBreakpointStyles[] = {"Bp___", "BpB__", "Bp_I_", "Bp__U",
                                                        "BpBI_", "BpB_U", "Bp_IU", "BpBIU"};
    static constexpr const char *kExecutionStyles[] = {"Exe___", "ExeB__", "Exe_I_", "Exe__U",
                                                       "ExeBI_", "ExeB_U", "Exe_IU", "ExeBIU"};
    EnvOptions.BeginUpdate();
    const auto copy = [&](const char *element, const char *const(&family)[8]) {
        const TTextStyle *source = EnvOptions.StyleNamed(element);
        if (!source)
            return;
        const TTextStyle look = *source;
        for (const char *name : family) {
            if (TTextStyle *marker = EnvOptions.StyleNamed(name)) {
                marker->Color = look.Color;
                marker->FontColor = look.FontColor;
            }
        }
    };
    copy("BreakPoint", kBreakpointStyles);
    copy("ExecutionPoint", kExecutionStyles);
    EnvOptions.Changed();
    EnvOptions.EndUpdate();
}

// ---- the debug windows and print pages ---------------------------------------------------------

void TfrmEditProperties::rdbDebugBehaviorClick()
{
    const bool selected = rdbOpenSelected->isChecked();
    for (QCheckBox *box : {chkStack, chkStdio, chkAssembly, chkWatch, chkRegisters})
        box->setEnabled(selected);
}

static TfrmDisassembly *open_disassembly()
{
    return qobject_cast<TfrmDisassembly *>(debug_windows().Window(DebugWindow::Disassembly));
}

// One assembly box as its window's command: the open window shows the change at once.
void TfrmEditProperties::AsmToggleClick(const AsmToggle &toggle, bool on)
{
    AssemblyWindowSettings &settings = IdePreferences().assembly;
    if (TfrmDisassembly *window = open_disassembly()) {
        (window->*toggle.action)->setChecked(!on);
        (window->*toggle.run)();
        if (toggle.setting == &AssemblyWindowSettings::syntax_highlight && !on) {
            // Without highlighting the window draws in the page's font for it.
            const TFontProperties kept = settings.font;
            for (const DebugWindowRecord &record : DebugWindowRecords)
                if (record.Name == "Assembly")
                    settings.font = record.Font;
            window->RefreshDisplay();
            settings.font = kept;
        }
    }
    settings.*toggle.setting = on;
    if (toggle.setting == &AssemblyWindowSettings::syntax_highlight)
        EnableAsmFontControls(!on);
    Modified = true;
}

// Cancel: every assembly setting the page changed goes back, and an open window with it.
void TfrmEditProperties::RestoreAsmToggles()
{
    AssemblyWindowSettings &settings = IdePreferences().assembly;
    for (const AsmToggle &toggle : kAsmToggles) {
        const bool shown = m_shown_prefs.assembly.*toggle.setting;
        set_checked_silently(this->*toggle.box, shown);
        if (settings.*toggle.setting == shown)
            continue;
        settings.*toggle.setting = shown;
        if (TfrmDisassembly *window = open_disassembly()) {
            (window->*toggle.action)->setChecked(!shown);
            (window->*toggle.run)();
        }
    }
}

// The register display radios switch an open registers window at once (its switch stores the
// mode in the settings); Cancel switches it back.
void TfrmEditProperties::RegisterViewClick(bool editable)
{
    RegisterWindowSettings &settings = IdePreferences().registers;
    settings.show_editable = editable;
    settings.show_history = !editable;
    if (auto *window = qobject_cast<TfrmRegisters *>(debug_windows().Window(DebugWindow::Registers))) {
        if (editable)
            window->actSwitchEditableExecute();
        else
            window->actSwitchHistoryExecute();
    }
    Modified = true;
}

void TfrmEditProperties::lbxWindowClick()
{
    const int row = lbxWindow->currentRow();
    if (row < 0 || row >= static_cast<int>(DebugWindowRecords.size()))
        return;
    const DebugWindowRecord &record = DebugWindowRecords[static_cast<std::size_t>(row)];
    {
        // A font the record names but the screen lacks is still shown.
        const QSignalBlocker quiet(cboFont);
        const QString name = QString::fromStdString(record.Font.name);
        if (cboFont->findText(name) < 0)
            cboFont->insertItem(0, name);
        cboFont->setCurrentIndex(cboFont->findText(name));
    }
    {
        TFlagScope quiet(m_applying_record);
        cboForeground->SetSelectedColor(record.Font.colour);
        cboBackground->SetSelectedColor(record.BackgroundColor);
    }
    EnableAsmFontControls(!(record.Name == "Assembly" && chkSyntaxHighlight->isChecked()));
    QWidget *shown = pnlBlank;
    for (const PanelRow &panel : kPanels)
        if (record.Name == panel.window)
            shown = this->*panel.panel;
    pnlOptions->setCurrentWidget(shown);
}

// The debug window a record's name stands for (the messages window and the memory dump
// windows are not among them: the main window keeps those).
static std::optional<DebugWindow> debug_window_named(const std::string &name)
{
    for (DebugWindow window : kDebugWindows)
        if (name == debug_window_name(window))
            return window;
    return std::nullopt;
}

// The lists of an open debug window that show its text: their colours and font are the
// record's. The memory dump windows take theirs from the main window (`ApplyDumpLook`); the
// stdio window through its setters; the trace window takes nothing live.
static std::vector<QAbstractItemView *> open_window_views(TfrmMainWindow *main,
                                                          const std::string &name)
{
    if (name == "Messages") {
        auto *window = main ? main->findChild<TfrmMessages *>() : nullptr;
        if (window)
            return {window->lbxMessages};
        return {};
    }
    const std::optional<DebugWindow> which = debug_window_named(name);
    if (!which)
        return {};
    TfrmDockable *form = debug_windows().Window(*which);
    switch (*which) {
    case DebugWindow::Stack:
        if (auto *window = qobject_cast<TfrmStack *>(form))
            return {window->lbxStack};
        return {};
    case DebugWindow::Watches:
        if (auto *window = qobject_cast<TfrmWatches *>(form))
            return {window->lbxWatches};
        return {};
    case DebugWindow::Disassembly:
        if (auto *window = qobject_cast<TfrmDisassembly *>(form))
            return {window->lbxDisassembled};
        return {};
    case DebugWindow::Registers:
        if (auto *window = qobject_cast<TfrmRegisters *>(form))
            return {window->lbxRegisters, window->lbxMainRegisters, window->lbxFlags};
        return {};
    case DebugWindow::Stdio:
    case DebugWindow::MemoryDump:
    case DebugWindow::Trace:
        return {};
    }
    return {};
}

static void apply_colours(QAbstractItemView *view, std::optional<TColor> text,
                          std::optional<TColor> background)
{
    QPalette palette = view->palette();
    if (text)
        palette.setColor(QPalette::Text, colour_of(*text));
    if (background)
        palette.setColor(QPalette::Base, colour_of(*background));
    view->setPalette(palette);
    view->viewport()->update();
}

// A record's font into the open windows of its name, as the font column of the page says.
void TfrmEditProperties::ApplyFontToWindows(const DebugWindowRecord &record, const QFont &font)
{
    // The disassembly's font is the syntax styles' while it highlights.
    if (record.Name == "Assembly" && chkSyntaxHighlight->isChecked())
        return;
    if (record.Name == "Stdio")
        if (TfrmStdio *stdio = open_stdio()) {
            TFont console;
            ApplyFontRecord(console, record.Font);
            console.font = font;
            stdio->SetConsoleFont(console);
        }
    if (record.Name == "Memory Dump" && m_main && chkDumpApplyAll->isChecked())
        m_main->SetDumpWindowsFont(font);
    for (QAbstractItemView *view : open_window_views(m_main, record.Name)) {
        view->setFont(font);
        view->viewport()->update();
    }
}

void TfrmEditProperties::ApplyWindowForeground(int index)
{
    if (index < 0 || index >= static_cast<int>(DebugWindowRecords.size()))
        return;
    DebugWindowRecord &record = DebugWindowRecords[static_cast<std::size_t>(index)];
    record.Font.colour = cboForeground->SelectedColor();
    if (record.Name == "Stdio")
        if (TfrmStdio *stdio = open_stdio())
            stdio->SetForegroundColor(record.Font.colour);
    if (record.Name == "Memory Dump" && m_main && chkDumpApplyAll->isChecked())
        m_main->SetDumpWindowsTextColor(record.Font.colour);
    for (QAbstractItemView *view : open_window_views(m_main, record.Name))
        apply_colours(view, record.Font.colour, std::nullopt);
}

void TfrmEditProperties::ApplyWindowBackground(int index)
{
    if (index < 0 || index >= static_cast<int>(DebugWindowRecords.size()))
        return;
    DebugWindowRecord &record = DebugWindowRecords[static_cast<std::size_t>(index)];
    record.BackgroundColor = cboBackground->SelectedColor();
    if (record.Name == "Stdio")
        if (TfrmStdio *stdio = open_stdio())
            stdio->SetBackgroundColor(record.BackgroundColor);
    if (record.Name == "Memory Dump" && m_main && chkDumpApplyAll->isChecked())
        m_main->SetDumpWindowsColor(record.BackgroundColor);
    for (QAbstractItemView *view : open_window_views(m_main, record.Name))
        apply_colours(view, std::nullopt, record.BackgroundColor);
}

void TfrmEditProperties::ApplyWindowFont(int index)
{
    if (index < 0 || index >= static_cast<int>(DebugWindowRecords.size()))
        return;
    DebugWindowRecord &record = DebugWindowRecords[static_cast<std::size_t>(index)];
    const int selected = lbxWindow->currentRow();
    if (index != selected && selected >= 0)
        record.Font = DebugWindowRecords[static_cast<std::size_t>(selected)].Font;
    record.Font.name = cboFont->currentText().toStdString();
    TFont font;
    ApplyFontRecord(font, record.Font);
    ApplyFontToWindows(record, font.font);
}

void TfrmEditProperties::btnApplyFontAndColorClick()
{
    for (int i = 0; i < static_cast<int>(DebugWindowRecords.size()); ++i)
        ApplyWindowForeground(i);
    for (int i = 0; i < static_cast<int>(DebugWindowRecords.size()); ++i)
        ApplyWindowBackground(i);
    for (int i = 0; i < static_cast<int>(DebugWindowRecords.size()); ++i)
        ApplyWindowFont(i);
    Modified = true;
}

void TfrmEditProperties::btnChooseFontClick()
{
    const int index = lbxWindow->currentRow();
    if (index < 0 || index >= static_cast<int>(DebugWindowRecords.size()))
        return;
    DebugWindowRecord &record = DebugWindowRecords[static_cast<std::size_t>(index)];
    TFont font;
    ApplyFontRecord(font, record.Font);
    const std::optional<QFont> chosen = run_font_dialog(font.font, chkUseFixedPitch->isChecked());
    if (!chosen)
        return;
    font.font = *chosen;
    ReadFontRecord(record.Font, font);
    {
        TFlagScope quiet(m_applying_record);
        const QString name = QString::fromStdString(record.Font.name);
        if (cboFont->findText(name) < 0)
            cboFont->insertItem(0, name);
        cboFont->setCurrentIndex(cboFont->findText(name));
    }
    ApplyFontToWindows(record, font.font);
    Modified = true;
}

// With syntax highlighting the disassembly's colours and font are the syntax styles'.
void TfrmEditProperties::EnableAsmFontControls(bool enabled)
{
    for (QWidget *control : std::initializer_list<QWidget *>{
             cboFont, cboForeground, btnChooseFont, btnChooseForeground, lblForeground, lblFont,
             chkUseFixedPitch})
        if (control)
            control->setEnabled(enabled);
}

void TfrmEditProperties::KeepDumpLooks()
{
    m_shown_dump_looks.clear();
    if (!m_main)
        return;
    for (TfrmMemoryDump *window : m_main->DumpWindows())
        m_shown_dump_looks.push_back(
            {window, window->lbxMemoryDump->font(), window->lbxMemoryDump->palette()});
}

void TfrmEditProperties::RestoreDumpLooks()
{
    for (const ShownDumpLook &look : m_shown_dump_looks) {
        if (!look.window)
            continue;
        look.window->lbxMemoryDump->setPalette(look.palette);
        look.window->SetDumpFont(look.font);
        look.window->lbxMemoryDump->viewport()->update();
    }
}

// The stored fonts and colours back into the open windows (Cancel).
void TfrmEditProperties::RestoreWindowLooks()
{
    const auto blocks = debug_window_blocks(IdePreferences());
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const DebugWindowSettings &block = *blocks[i];
        DebugWindowRecords[i].Font = block.font;
        DebugWindowRecords[i].BackgroundColor = block.background_colour;
        if (block.window_name == "Stdio")
            if (TfrmStdio *stdio = open_stdio()) {
                TFont font;
                ApplyFontRecord(font, block.font);
                stdio->SetForegroundColor(block.font.colour);
                stdio->SetBackgroundColor(block.background_colour);
                stdio->SetConsoleFont(font);
            }
        for (QAbstractItemView *view : open_window_views(m_main, block.window_name)) {
            apply_colours(view, block.font.colour, block.background_colour);
            if (block.window_name == "Assembly" && IdePreferences().assembly.syntax_highlight)
                continue;
            TFont font;
            ApplyFontRecord(font, block.font);
            view->setFont(font.font);
        }
    }
    RestoreDumpLooks();
}

void TfrmEditProperties::chkLogStdioClick()
{
    const bool on = chkLogStdio->isChecked();
    for (QWidget *control : std::initializer_list<QWidget *>{edtStdioLog, btnStdioLog, chkAppendStdio})
        control->setEnabled(on);
}

void TfrmEditProperties::LoadPrintPage()
{
    const TTextOptions &text = m_main ? m_main->PrintSetup().TextOptions : m_shown_print;
    set_checked_silently(cbHeader, text.UseHeader);
    set_checked_silently(cbFooter, text.UseFooter);
    set_checked_silently(cbPages, text.PrintPageNumber != TPageNumberPosition::pnNone);
    set_checked_silently(cbLeft, text.UseMarginLeft);
    set_checked_silently(cbRight, text.UseMarginRight);
    set_checked_silently(cbTop, text.UseMarginTop);
    set_checked_silently(cbBottom, text.UseMarginBottom);
    set_checked_silently(cbWrap, text.WrapLines);
    set_checked_silently(cbSyntax, text.ColorSyntax);
    edLeft->setText(float_text(text.MarginLeft));
    edRight->setText(float_text(text.MarginRight));
    edTop->setText(float_text(text.MarginTop));
    edBottom->setText(float_text(text.MarginBottom));
}

// ---- the frame ---------------------------------------------------------------------------------

void TfrmEditProperties::SetEditor(QsciScintilla *memo)
{
    m_target_memo = memo ? memo : DisplayMemo;
}

void TfrmEditProperties::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_shown_once)
        return;
    m_shown_once = true;
    guarded([&] { FormShow(); });
}

// Every page from the options and settings as they are now; the copies Cancel goes back to.
void TfrmEditProperties::FormShow()
{
    TFlagScope loading(m_loading);
    EnvOptions.BeginUpdate();
    setResult(QDialog::Rejected);
    const TIdePreferences &prefs = IdePreferences();
    m_shown_prefs = prefs;
    KeepDumpLooks();
    m_shown_workspace = prefs.workspace_color;
    if (m_main)
        m_shown_print = m_main->PrintSetup().TextOptions;

    // Editor
    KeymapEdit->setCurrentIndex(std::max(0, KeymapEdit->findText(QString::fromStdString(EnvOptions.KeyMapping))));
    BlockIndentEdit->setText(QString::number(SourceOptions.BlockIndent));
    TabStopsEdit->setText(QString::fromStdString(SourceOptions.TabStops()));
    SyntaxFileTypesEdit->setText(QString::fromStdString(prefs.syntax_file_types));
    UpdateToggles();

    // Gutter && Margin
    GutterWidthEdit->SetValue(EnvOptions.GutterWidth);
    GutterColorEdit->SetSelectedColor(EnvOptions.GutterColor);
    set_checked_silently(GutterVisible, EnvOptions.Options[moDrawGutter]);
    set_checked_silently(MarginVisible, EnvOptions.Options[moDrawMargin]);
    MarginWidthEdit->SetValue(EnvOptions.MarginWidth);
    MarginColorEdit->SetSelectedColor(EnvOptions.MarginColor);
    MarginStyleEdit->setCurrentIndex(EnvOptions.MarginStyle);
    MarginPosEdit->SetValue(EnvOptions.MarginPos);
    clrFgLineNumber->SetSelectedColor(prefs.line_number_color);
    clrBgLineNumber->SetSelectedColor(prefs.line_number_background_color);
    EnvOptions.LineNumberColor = prefs.line_number_color;
    EnvOptions.LineNumberBackgroundColor = prefs.line_number_background_color;
    EnvOptions.Changed();
    edtPrintFontName->setText(QString::fromStdString(prefs.PrintFont.name));

    // Display
    FontSizeEdit->setCurrentIndex(FontSizeEdit->findText(QString::number(EnvOptions.FontSize)));
    FontSizeEdit->setEditText(QString::number(EnvOptions.FontSize));
    ReadOnlyColorEd->SetSelectedColor(EnvOptions.ReadOnlyColor);
    WorkspaceColor->SetSelectedColor(prefs.workspace_color);
    ForegroundColor->SetSelectedColor(EnvOptions.FontColor);
    EditorBackColor->SetSelectedColor(EnvOptions.Color);
    set_checked_silently(pcbUseMonoFont, EnvOptions.UseMonoFont);
    FillFontList(EnvOptions.UseMonoFont);

    // Code Templates: the list as it is now, which Cancel puts back; template 0 shown.
    m_shown_templates = CodeTemplates;
    EditedCode.clear();
    m_template_keys.clear();
    for (int i = 0; i < CodeTemplates.Count(); ++i)
        m_template_keys.push_back(m_next_template_key++);
    FillCodeTemplateGrid(CodeTemplates);
    {
        TFlagScope filling(m_filling_grid);
        TemplateGrid->setCurrentCell(CodeTemplates.Count() > 0 ? 0 : -1, 0);
    }
    ShowTemplateCode(CodeTemplates.Count() > 0 ? 0 : -1);
    actDeleteUpdate();

    // Syntax Colors
    Elements->setCurrentRow(0);

    // The state Cancel goes back to.
    SavedEnvOptions.Assign(EnvOptions);
    SavedSourceOptions.Assign(SourceOptions);
    ElementsClick();

    // Debug Windows
    set_checked_silently(chkEnableFlyoverWatch, prefs.watch.watches_in_flyover);
    set_checked_silently(chkShowErrorInFlyover, prefs.watch.errors_in_flyover);
    chkShowErrorInFlyover->setEnabled(prefs.watch.watches_in_flyover);
    const AssemblyWindowSettings &assembly = prefs.assembly;
    set_checked_silently(chkShowAddress, assembly.show_address);
    set_checked_silently(chkShowMachine, assembly.show_machine);
    set_checked_silently(chkShowCycles, assembly.show_cycles);
    set_checked_silently(chkShowSource, assembly.show_source);
    set_checked_silently(chkSumClockCycles, assembly.sum_cycles);
    set_checked_silently(chkSyntaxHighlight, assembly.syntax_highlight);
    set_checked_silently(chkShowFileName, assembly.show_file_name_in_source);
    chkShowFileName->setEnabled(assembly.show_source);
    set_checked_silently(rdbRegShowEditable, prefs.registers.show_editable);
    set_checked_silently(rdbRegShowHistory, prefs.registers.show_history);
    const StdioWindowSettings &stdio = prefs.stdio;
    set_checked_silently(chkLogStdio, stdio.log_stdio);
    edtStdioLog->setText(QString::fromStdString(stdio.log_file));
    set_checked_silently(chkAppendStdio, stdio.append);
    set_checked_silently(chkForceOpenStdio, stdio.auto_open);
    set_checked_silently(chkAutoVScrollStdio, stdio.vertical_scroll);
    set_checked_silently(chkAutoHScrollStdio, stdio.horizontal_scroll);
    edtRows->setText(QString::number(stdio.rows));
    edtColumns->setText(QString::number(stdio.columns));
    edtSpacesInTab->setText(QString::number(stdio.spaces_in_tab));
    chkLogStdioClick();
    const bool stdio_open = debug_windows().Exists(DebugWindow::Stdio);
    edtRows->setEnabled(!stdio_open);
    edtColumns->setEnabled(!stdio_open);
    const DumpWindowSettings &dump = prefs.memory_dump;
    set_checked_silently(chkDumpApplyAll, dump.apply_to_all);
    set_checked_silently(chkDumpAllowUpdate, dump.allow_updates);
    set_checked_silently(chkShowDumpMenu, dump.display_flags[kDumpShowToolBar]);
    set_checked_silently(chkShowAddressInHint, dump.display_flags[kDumpShowAddressInHint]);
    set_checked_silently(chkShowByteInHint, dump.display_flags[kDumpShowByteInHint]);
    set_checked_silently(chkShowByteInCaption, dump.display_flags[kDumpShowByteInCaption]);
    set_checked_silently(rdb4k, dump.range == 0);
    set_checked_silently(rdb64k, dump.range == 1);
    set_checked_silently(rdbFullRange, dump.range == 2);
    set_checked_silently(chkTraceAutoScroll, prefs.trace.auto_scroll);
    set_checked_silently(chkTraceFullPath, prefs.trace.full_path);
    set_checked_silently(chkStack, prefs.stack.show);
    set_checked_silently(chkRegisters, prefs.registers.show);
    set_checked_silently(chkAssembly, prefs.assembly.show);
    set_checked_silently(chkWatch, prefs.watch.show);
    set_checked_silently(chkStdio, prefs.stdio.show);
    set_checked_silently(rdbOpenNone, prefs.open_none);
    set_checked_silently(rdbOpenLast, prefs.open_last);
    set_checked_silently(rdbOpenAll, prefs.open_all);
    set_checked_silently(rdbOpenSelected, prefs.open_selected);
    rdbDebugBehaviorClick();
    if (lbxWindow->currentRow() < 0)
        lbxWindow->setCurrentRow(0);
    lbxWindowClick();

    // Print / Alerts
    set_checked_silently(chkBackup, prefs.create_backup_file);
    set_checked_silently(chkAutoSave, prefs.auto_save);
    set_checked_silently(chkFlashAfterCompile, prefs.flash_after_compile);
    set_checked_silently(chkBeepAfterCompile, prefs.beep_after_compile);
    set_checked_silently(chkDetectChanges, prefs.detect_outside_changes);
    set_checked_silently(chkConfirmLibCompile, prefs.confirm_lib_compile);
    LoadPrintPage();
    btnPreview->setEnabled(m_main && m_main->ActiveEditorWindow());

    EnvOptions.EndUpdate();
    Modified = false;
}

// A failed check: the message, the field's page, the focus on the field; the close is refused.
bool TfrmEditProperties::Refuse(const std::string &text, QWidget *page, QWidget *field)
{
    ShowAppMessageBox(text, error_caption(), kMbOk | kMbIconError);
    EditPropertiesPgCtrl->setCurrentWidget(page);
    field->setFocus();
    return false;
}

// Cancel asks after changes; OK checks the fields in the form's order and stores the stdio
// sizes only when every check has passed.
bool TfrmEditProperties::FormCloseQuery(int result)
{
    if (result != QDialog::Accepted) {
        if (!Modified)
            return true;
        return ShowAppMessageBox("Quit without saving changes?", "",
                                 kMbYesNo | kMbIconWarning | kMbDefButton2) == kIdYes;
    }
    if (!Modified)
        return true;

    const QString tab_stops = TabStopsEdit->text();
    if (!tab_stops.isEmpty() && !SourceOptions.SetTabStops(tab_stops.toStdString())) {
        ShowAppMessageBox("Second value must be > first, 3,5 etc.", error_caption(),
                          kMbOk | kMbIconError);
        TabStopsEdit->setText(QString::fromStdString(SourceOptions.TabStops()));
        EditPropertiesPgCtrl->setCurrentWidget(EditPg);
        TabStopsEdit->setFocus();
        return false;
    }
    if (!tab_stops.isEmpty())
        SourceOptions.Changed();

    const auto not_a_number = [](const QString &text) {
        return text.toStdString() + " is not a valid number";
    };
    if (BlockIndentEdit->text().isEmpty())
        return Refuse("Block indent cannot be blank", EditPg, BlockIndentEdit);
    const std::optional<int> indent = decimal(BlockIndentEdit->text());
    if (!indent || *indent < 1 || *indent > kMaxBlockIndent)
        return Refuse(not_a_number(BlockIndentEdit->text()), EditPg, BlockIndentEdit);
    if (TabStopsEdit->text().isEmpty())
        return Refuse("Tab stops cannot be blank", EditPg, TabStopsEdit);
    if (FontSizeEdit->currentText().isEmpty())
        return Refuse("Font size cannot be blank", DisplayPg, FontSizeEdit);
    const std::optional<int> size = decimal(FontSizeEdit->currentText());
    if (!size || *size < 1 || *size > kMaxMemoFontSize)
        return Refuse(not_a_number(FontSizeEdit->currentText()), DisplayPg, FontSizeEdit);
    const QString margin = MarginPosEdit->text();
    const std::optional<int> margin_pos = decimal(margin);
    if (!margin.isEmpty() && (!margin_pos || *margin_pos < 1 || *margin_pos > 500))
        return Refuse(not_a_number(margin), GutterMarginPg, MarginPosEdit);

    // The stdio sizes: a value out of its range is told and the checks go on; the close is
    // refused, and nothing is stored, when any failed.
    const auto show_stdio = [this] {
        for (int i = 0; i < lbxWindow->count(); ++i)
            if (lbxWindow->item(i)->text() == QLatin1String("Stdio"))
                lbxWindow->setCurrentRow(i);
    };
    const auto stdio_refuse = [&](const std::string &text, QLineEdit *field) {
        show_stdio();
        return Refuse(text, DebugWindowsPg, field);
    };
    bool in_range = true;
    const auto stdio_value = [&](QLineEdit *field, const char *what, int low, int high,
                                 std::optional<int> &value) {
        const QString text = field->text();
        if (text.isEmpty())
            return stdio_refuse(std::string("Stdio ") + what + " cannot be blank", field);
        value = decimal(text);
        if (!value || text.trimmed() != text)
            return stdio_refuse(std::string("Stdio ") + what + " must be an integer value", field);
        if (*value < low || *value > high) {
            (void)stdio_refuse(std::string("Stdio ") + what + " must be between " +
                                   std::to_string(low) + " and " + std::to_string(high),
                               field);
            in_range = false;
        }
        return true;
    };
    std::optional<int> rows, columns, spaces;
    if (!stdio_value(edtRows, "row count", 1, StdioWindowSettings::kMaxRows, rows))
        return false;
    if (!stdio_value(edtColumns, "column count", 2, StdioWindowSettings::kMaxColumns, columns))
        return false;
    const int columns_now = in_range ? *columns : IdePreferences().stdio.columns;
    if (!stdio_value(edtSpacesInTab, "spaces in tab", 1, columns_now - 1, spaces) || !in_range)
        return false;

    if (chkLogStdio->isChecked() && edtStdioLog->text().trimmed().isEmpty())
        return stdio_refuse("Stdio log file not specified", edtStdioLog);
    for (QLineEdit *field : {edLeft, edRight, edTop, edBottom})
        if (!finite_number(field->text()))
            return Refuse(not_a_number(field->text()), PrintOptionsPg, field);

    StdioWindowSettings &stdio = IdePreferences().stdio;
    stdio.rows = *rows;
    stdio.columns = *columns;
    stdio.spaces_in_tab = *spaces;
    if (TfrmStdio *window = open_stdio())
        window->SetSpacesInTab(*spaces);
    return true;
}

void TfrmEditProperties::done(int result)
{
    if (m_closing)
        return;
    bool closes = false;
    guarded([&] { closes = FormCloseQuery(result); });
    if (!closes)
        return;
    m_closing = true;
    guarded([&] { FormClose(result); });
    QDialog::done(result);
}

void TfrmEditProperties::FormClose(int result)
{
    if (result == QDialog::Accepted)
        OkPath();
    else if (Modified)
        CancelPath();
    CommonEnd();
}

// Every page value into the settings; the syntax-element records into the store at once.
void TfrmEditProperties::OkPath()
{
    ApplyCodeEdits();
    TIdePreferences &prefs = IdePreferences();
    const auto blocks = debug_window_blocks(prefs);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const DebugWindowRecord &record = DebugWindowRecords[i];
        DebugWindowSettings &block = *blocks[i];
        block.window_name = record.Name;
        block.show = record.Show;
        block.font = record.Font;
        block.background_colour = record.BackgroundColor;
        block.dockable = record.Dockable;
        block.child = record.Child;
    }
    prefs.open_none = rdbOpenNone->isChecked();
    prefs.open_last = rdbOpenLast->isChecked();
    prefs.open_all = rdbOpenAll->isChecked();
    prefs.open_selected = rdbOpenSelected->isChecked();

    AssemblyWindowSettings &assembly = prefs.assembly;
    assembly.show_address = chkShowAddress->isChecked();
    assembly.show_machine = chkShowMachine->isChecked();
    assembly.show_cycles = chkShowCycles->isChecked();
    assembly.show_source = chkShowSource->isChecked();
    assembly.sum_cycles = chkSumClockCycles->isChecked();
    assembly.show_file_name_in_source = chkShowFileName->isChecked();
    assembly.syntax_highlight = chkSyntaxHighlight->isChecked();
    prefs.registers.show_editable = rdbRegShowEditable->isChecked();
    prefs.registers.show_history = rdbRegShowHistory->isChecked();

    StdioWindowSettings &stdio = prefs.stdio;
    stdio.log_stdio = chkLogStdio->isChecked();
    stdio.log_file = edtStdioLog->text().toStdString();
    stdio.append = chkAppendStdio->isChecked();
    stdio.vertical_scroll = chkAutoVScrollStdio->isChecked();
    stdio.horizontal_scroll = chkAutoHScrollStdio->isChecked();
    stdio.auto_open = chkForceOpenStdio->isChecked();

    DumpWindowSettings &dump = prefs.memory_dump;
    dump.apply_to_all = chkDumpApplyAll->isChecked();
    dump.allow_updates = chkDumpAllowUpdate->isChecked();
    dump.display_flags[kDumpShowToolBar] = chkShowDumpMenu->isChecked();
    dump.display_flags[kDumpShowAddressInHint] = chkShowAddressInHint->isChecked();
    dump.display_flags[kDumpShowByteInHint] = chkShowByteInHint->isChecked();
    dump.display_flags[kDumpShowByteInCaption] = chkShowByteInCaption->isChecked();
    if (rdb4k->isChecked())
        dump.range = 0;
    else if (rdb64k->isChecked())
        dump.range = 1;
    else if (rdbFullRange->isChecked())
        dump.range = 2;
    // Every open dump window takes the dump settings, or each keeps the look it had.
    if (dump.apply_to_all && m_main)
        m_main->ApplyDumpWindowOptions(dump);
    else
        RestoreDumpLooks();
    prefs.watch.watches_in_flyover = chkEnableFlyoverWatch->isChecked();
    prefs.watch.errors_in_flyover = chkShowErrorInFlyover->isChecked();
    prefs.trace.full_path = chkTraceFullPath->isChecked();
    prefs.trace.auto_scroll = chkTraceAutoScroll->isChecked();

    EnvOptions.BeginUpdate();
    EnvOptions.Changed();
    SourceOptions.Changed();
    UpdateMarkerStyles();
    EnvOptions.EndUpdate();

    prefs.workspace_color = WorkspaceColor->SelectedColor();

    if (m_main) {
        TTextOptions &text = m_main->PrintSetup().TextOptions;
        text.UseHeader = cbHeader->isChecked();
        text.UseFooter = cbFooter->isChecked();
        text.UsePageNumbers = cbPages->isChecked();
        text.UseMarginLeft = cbLeft->isChecked();
        text.UseMarginRight = cbRight->isChecked();
        text.UseMarginTop = cbTop->isChecked();
        text.UseMarginBottom = cbBottom->isChecked();
        text.WrapLines = cbWrap->isChecked();
        text.ColorSyntax = cbSyntax->isChecked();
        // FormCloseQuery has seen that each is a number.
        text.MarginLeft = finite_number(edLeft->text()).value_or(text.MarginLeft);
        text.MarginRight = finite_number(edRight->text()).value_or(text.MarginRight);
        text.MarginTop = finite_number(edTop->text()).value_or(text.MarginTop);
        text.MarginBottom = finite_number(edBottom->text()).value_or(text.MarginBottom);
    }

    prefs.create_backup_file = chkBackup->isChecked();
    prefs.auto_save = chkAutoSave->isChecked();
    prefs.flash_after_compile = chkFlashAfterCompile->isChecked();
    prefs.beep_after_compile = chkBeepAfterCompile->isChecked();
    prefs.detect_outside_changes = chkDetectChanges->isChecked();
    prefs.confirm_lib_compile = chkConfirmLibCompile->isChecked();
    prefs.line_number_color = clrFgLineNumber->SelectedColor();
    prefs.line_number_background_color = clrBgLineNumber->SelectedColor();

    const std::string types = SyntaxFileTypesEdit->text().toStdString();
    if (types != prefs.syntax_file_types) {
        prefs.syntax_file_types = types;
        ide_store().SetSourceExtensions(types);
        if (m_main) {
            const std::vector<TfrmEdit *> editors = m_main->EditorsFrontFirst();
            for (auto it = editors.rbegin(); it != editors.rend(); ++it)
                (*it)->SelectSyntaxParser();
        }
    }
    for (const std::unique_ptr<TTextStyleWrapper> &wrapper : ElementWrappers)
        SaveEnvironmentFlags(wrapper.get());
}

// Everything the pages applied live goes back to what it was at show.
void TfrmEditProperties::CancelPath()
{
    TIdePreferences &prefs = IdePreferences();
    prefs.undo_after_save = UndoAfterSave;
    EnvOptions.BeginUpdate();
    // The list as it was at show: adds, renames and deletes go (the pending code edits were
    // never applied).
    CodeTemplates = m_shown_templates;
    EnvOptions.Assign(SavedEnvOptions);
    SourceOptions.Assign(SavedSourceOptions);
    EnvOptions.Changed();
    prefs.PrintFont = m_shown_prefs.PrintFont;
    for (std::size_t i = 0; i < ElementWrappers.size(); ++i) {
        TTextStyleWrapper &wrapper = *ElementWrappers[i];
        const TTextStyle &style = ElementStyle(i);
        wrapper.Style = &ElementStyle(i);
        wrapper.DefaultBackColor = EnvOptions.Color;
        wrapper.DefaultForeColor = EnvOptions.FontColor;
        wrapper.CustomBackColor = style.Color;
        wrapper.CustomForeColor = style.FontColor;
        wrapper.UseDefaultBackColor = style.Color == EnvOptions.Color;
        wrapper.UseDefaultForeColor = style.FontColor == EnvOptions.FontColor;
    }
    EnvOptions.EndUpdate();

    RestoreAsmToggles();
    RestoreWindowLooks();
    set_checked_silently(rdbRegShowEditable, m_shown_prefs.registers.show_editable);
    set_checked_silently(rdbRegShowHistory, m_shown_prefs.registers.show_history);
    if (prefs.registers.show_editable != m_shown_prefs.registers.show_editable ||
        prefs.registers.show_history != m_shown_prefs.registers.show_history)
        RegisterViewClick(m_shown_prefs.registers.show_editable);
    prefs.registers.show_editable = m_shown_prefs.registers.show_editable;
    prefs.registers.show_history = m_shown_prefs.registers.show_history;
    if (TfrmStdio *window = open_stdio()) {
        window->SetAutoVScroll(prefs.stdio.vertical_scroll);
        window->SetAutoHScroll(prefs.stdio.horizontal_scroll);
    }
    prefs.watch.watches_in_flyover = m_shown_prefs.watch.watches_in_flyover;
    prefs.watch.errors_in_flyover = m_shown_prefs.watch.errors_in_flyover;
    set_checked_silently(chkEnableFlyoverWatch, prefs.watch.watches_in_flyover);
    set_checked_silently(chkShowErrorInFlyover, prefs.watch.errors_in_flyover);
    if (m_main && m_main->Workspace()) {
        m_main->Workspace()->setBackground(colour_of(m_shown_workspace));
        m_main->PrintSetup().TextOptions = m_shown_print;
    }
}

void TfrmEditProperties::CommonEnd()
{
    IdePreferences().edit_options_pg = EditPropertiesPgCtrl->currentIndex();
}

void TfrmEditProperties::actCancelExecute()
{
    CancelEditButtonClick();
    reject();
}

void TfrmEditProperties::CancelEditButtonClick() { setResult(QDialog::Rejected); }

// Escape cancels the dialog (it asks first when something was changed).
void TfrmEditProperties::keyPressEvent(QKeyEvent *event)
{
    const bool cancel_key = event->key() == Qt::Key_Escape ||
                            (!event->text().isEmpty() && event->text().front() == QChar(CancelKey));
    if (cancel_key) {
        event->accept();
        guarded([&] { actCancelExecute(); });
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmEditProperties::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    guarded([&] { FormResize(); });
}

// The code panel keeps between 100 pixels and the dialog's height less 164, so neither pane of
// the Code Templates page is squeezed away; the description column takes the grid's width
// beside the name column.
void TfrmEditProperties::FormResize()
{
    if (CodePanel) {
        CodePanel->setMinimumHeight(kCodePanelMinimum);
        CodePanel->setMaximumHeight(std::max(kCodePanelMinimum, height() - kCodePanelReserve));
    }
    if (!TemplateGrid)
        return;
    const int name_width = TemplateGrid->columnWidth(0);
    const int scroll = TemplateGrid->verticalScrollBar()->isVisible() ? 23 : 5;
    TemplateGrid->setColumnWidth(1, std::max(0, TemplateGrid->width() - name_width - scroll));
}

// ---- the commands ------------------------------------------------------------------------------

void actEnvOptionsExecute(TfrmMainWindow *main, QsciScintilla *memo, bool first_page)
{
    TfrmEditProperties *dialog = main->CreateEditPropertiesForm();
    dialog->SetEditor(memo);
    if (first_page)
        dialog->EditPropertiesPgCtrl->setCurrentIndex(0);
    options_shell().ExecModal(*dialog);
    main->FreeEditPropertiesForm();
}
