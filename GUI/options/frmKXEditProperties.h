// frmKXEditProperties: `TfrmEditProperties`, the "Environment Options" dialog, where the user
// changes how the source editors look and behave and how the debug windows, printing, alerts and
// backups behave. The editor pages edit the program-wide editor options (MemoOptions) live, so
// every open editor and the sample memos show each change at once; the dialog keeps copies taken
// when it is shown and puts them back on Cancel after changes, or moves every page value into
// the settings object on OK. The syntax-element colours are written to the settings store at
// OK; everything else reaches it when the IDE closes.
//
// The main window's "&Environment Options" command and the editor popup's "&Options..." open
// it (`actEnvOptionsExecute`, through the main window's `CreateEditPropertiesForm` and
// `FreeEditPropertiesForm`); it is shown through the options shell's modal runner, so tests
// drive it without a nested event loop.
#pragma once

#include <QDialog>
#include <QFont>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editor/MemoCodeTemplates.h"
#include "editor/MemoOptions.h"
#include "settings/guiEnvironment.h"
#include "settings/guiKXPreferences.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabWidget;
class QTableWidget;
class QToolButton;
class QsciScintilla;
class TColorCombo;
class TKorvexLexer;
class TQBSpinEdit;
class TfrmAddCodeTemplate;
class TfrmMainWindow;

// The colour dialog the colour buttons open: the chosen colour, or nothing when cancelled.
// Tests install a scripted one; null restores Qt's.
using ColorDialogRunner = std::function<std::optional<TColor>(TColor initial)>;
void set_color_dialog_runner(ColorDialogRunner runner);
std::optional<TColor> run_color_dialog(TColor initial);

// The font dialog behind the "..." font buttons: the chosen font, or nothing when cancelled.
using FontDialogRunner = std::function<std::optional<QFont>(const QFont &initial, bool fixed_only)>;
void set_font_dialog_runner(FontDialogRunner runner);
std::optional<QFont> run_font_dialog(const QFont &initial, bool fixed_only);

// The add-template dialog, shown modally: its result (QDialog::Accepted or Rejected). Tests
// install a scripted one; null restores exec().
using AddTemplateRunner = std::function<int(TfrmAddCodeTemplate &dialog)>;
void set_add_template_runner(AddTemplateRunner runner);

// The dialog's working copy of one debug window's settings.
struct DebugWindowRecord {
    std::string Name;
    bool Show = false;
    TFontProperties Font;
    TColor BackgroundColor = clWhite;
    bool Dockable = false;
    bool Child = true;
};

class TfrmEditProperties : public QDialog {
    Q_OBJECT
public:
    // One box of the assembly panel and the disassembly window's command it stands for.
    struct AsmToggle;

    explicit TfrmEditProperties(QWidget *owner);
    ~TfrmEditProperties() override;

    // The memo the dialog was opened for (the Display sample when null).
    void SetEditor(QsciScintilla *memo);

    // ---- the frame ----
    void FormShow();
    // OK or Cancel (QDialog's results); false keeps the dialog open.
    bool FormCloseQuery(int result);
    void FormClose(int result);
    void FormResize();
    void actCancelExecute();
    void CancelEditButtonClick();
    // The "BreakPoint" and "ExecutionPoint" colours into their 16 marker styles.
    void UpdateMarkerStyles();

    // ---- the code templates page ----
    void FillCodeTemplateGrid(const TMemoCodeTemplates &templates);
    void TemplateGridSelectCell(int column, int row);
    void CodeMemoEnter();
    void CodeMemoExit();
    void actAddExecute();
    void actEditExecute();
    void actDeleteExecute();
    void actDeleteUpdate();
    // Writes the template file (every time the dialog goes, OK or Cancel).
    void FormDestroy();

    // ---- the editor pages ----
    void ElementsClick();
    void FillFontList(bool mono_only);
    void OpenButtonClick();
    void SaveButtonClick();

    bool Modified = false;
    char CancelKey = 27;
    // Indices into the text styles of the 16 syntax elements, in the list's order.
    std::vector<int> ElementStyles;
    // The element list's records, one per entry of `Elements`.
    std::vector<std::unique_ptr<TTextStyleWrapper>> ElementWrappers;
    std::array<DebugWindowRecord, 8> DebugWindowRecords;

    // ---- controls (named as the form names them) ----
    QTabWidget *EditPropertiesPgCtrl = nullptr;
    QWidget *EditPg = nullptr, *GutterMarginPg = nullptr, *DisplayPg = nullptr,
            *ColorsPg = nullptr, *CodeTemplatesPg = nullptr, *DebugWindowsPg = nullptr,
            *PrintOptionsPg = nullptr;
    QPushButton *OkEditButton = nullptr, *CancelEditButton = nullptr, *btnHelp = nullptr;

    // Editor
    std::vector<QAction *> CTActionList;  // the 22 toggles, in the page's order
    std::vector<QCheckBox *> EditorToggles; // their boxes, in the same order
    QAction *Action(const char *name) const;
    QCheckBox *Toggle(const char *action_name) const;
    QLineEdit *BlockIndentEdit = nullptr, *TabStopsEdit = nullptr, *SyntaxFileTypesEdit = nullptr;
    QComboBox *KeymapEdit = nullptr;
    QsciScintilla *EditMemo = nullptr;

    // Gutter && Margin
    QCheckBox *GutterVisible = nullptr, *MarginVisible = nullptr;
    TQBSpinEdit *GutterWidthEdit = nullptr, *MarginWidthEdit = nullptr, *MarginPosEdit = nullptr;
    QToolButton *btnRefreshGutter = nullptr;
    TColorCombo *GutterColorEdit = nullptr, *MarginColorEdit = nullptr;
    QToolButton *GutterColorBtn = nullptr, *MarginColorBtn = nullptr;
    QComboBox *MarginStyleEdit = nullptr;
    TColorCombo *clrFgLineNumber = nullptr, *clrBgLineNumber = nullptr;
    QToolButton *btnFgLineNumber = nullptr, *btnBgLineNumber = nullptr;
    QsciScintilla *GMMemo = nullptr;

    // Display
    QComboBox *FontNameEdit = nullptr, *FontSizeEdit = nullptr;
    QCheckBox *pcbUseMonoFont = nullptr, *pcbUseSpecSymbs = nullptr;
    TColorCombo *ReadOnlyColorEd = nullptr, *WorkspaceColor = nullptr, *EditorBackColor = nullptr,
                *ForegroundColor = nullptr;
    QToolButton *ReadOnlyColorBtn = nullptr, *WorkspaceColorBtn = nullptr,
                *EditBackColorBtn = nullptr, *ForegroundColorBtn = nullptr;
    QLabel *EOLLbl = nullptr, *EOFLbl = nullptr, *SpaceLbl = nullptr, *TabLbl = nullptr;
    QLineEdit *edtSSEOL = nullptr, *edtSSEOF = nullptr, *edtSSSpace = nullptr, *edtSSTab = nullptr;
    QsciScintilla *DisplayMemo = nullptr;

    // Syntax Colors
    QListWidget *Elements = nullptr;
    TColorCombo *SyntaxForeColor = nullptr, *SyntaxBackColor = nullptr;
    QLabel *lblForeColor = nullptr, *lblBackColor = nullptr;
    QToolButton *ForeColorBtn = nullptr, *BackColorBtn = nullptr;
    QCheckBox *BoldChk = nullptr, *ItalicChk = nullptr, *UnderLineChk = nullptr;
    QCheckBox *chkDefFore = nullptr, *chkDefBack = nullptr;
    QPushButton *SaveButton = nullptr, *OpenButton = nullptr;
    QsciScintilla *ColorsMemo = nullptr;

    // Code Templates
    QTableWidget *TemplateGrid = nullptr;
    QsciScintilla *CodeMemo = nullptr;
    QPushButton *AddButton = nullptr, *EditButton = nullptr, *DeleteButton = nullptr;
    QAction *actAdd = nullptr, *actEdit = nullptr, *actDelete = nullptr;
    QWidget *CodePanel = nullptr;
    // The code memo's popup and its clipboard actions.
    QMenu *TemplatesPopupMenu = nullptr;
    QAction *EditCut1 = nullptr, *EditCopy1 = nullptr, *EditPaste1 = nullptr;
    void EditUpdate();
    // The program-wide list the page edits in place.
    TMemoCodeTemplates &CodeTemplates;
    // Code typed for a template, by the template's key (see m_template_keys), until the close.
    std::map<int, std::string> EditedCode;
    bool CodeMemoFocused = false;
    std::string CodeTextOnEnter;

    // Debug Windows
    QRadioButton *rdbOpenNone = nullptr, *rdbOpenLast = nullptr, *rdbOpenAll = nullptr,
                 *rdbOpenSelected = nullptr;
    QCheckBox *chkAssembly = nullptr, *chkRegisters = nullptr, *chkWatch = nullptr,
              *chkStdio = nullptr, *chkStack = nullptr;
    QListWidget *lbxWindow = nullptr;
    QComboBox *cboFont = nullptr;
    QToolButton *btnChooseFont = nullptr, *btnChooseForeground = nullptr,
                *btnChooseBackground = nullptr;
    QCheckBox *chkUseFixedPitch = nullptr;
    QLabel *lblFont = nullptr, *lblForeground = nullptr;
    TColorCombo *cboForeground = nullptr, *cboBackground = nullptr;
    QPushButton *btnApplyFontAndColor = nullptr;
    QStackedWidget *pnlOptions = nullptr;
    QWidget *pnlBlank = nullptr, *pnlStdio = nullptr, *pnlAsm = nullptr, *pnlRegister = nullptr,
            *pnlMemoryDump = nullptr, *pnlWatches = nullptr, *pnlTrace = nullptr;
    QCheckBox *chkForceOpenStdio = nullptr, *chkAutoVScrollStdio = nullptr,
              *chkAutoHScrollStdio = nullptr, *chkLogStdio = nullptr, *chkAppendStdio = nullptr;
    QLineEdit *edtStdioLog = nullptr, *edtRows = nullptr, *edtColumns = nullptr,
              *edtSpacesInTab = nullptr;
    QToolButton *btnStdioLog = nullptr;
    QCheckBox *chkShowAddress = nullptr, *chkShowMachine = nullptr, *chkShowCycles = nullptr,
              *chkSumClockCycles = nullptr, *chkSyntaxHighlight = nullptr,
              *chkShowSource = nullptr, *chkShowFileName = nullptr;
    QRadioButton *rdbRegShowHistory = nullptr, *rdbRegShowEditable = nullptr;
    QCheckBox *chkDumpApplyAll = nullptr, *chkDumpAllowUpdate = nullptr,
              *chkShowDumpMenu = nullptr, *chkShowAddressInHint = nullptr,
              *chkShowByteInHint = nullptr, *chkShowByteInCaption = nullptr;
    QRadioButton *rdb4k = nullptr, *rdb64k = nullptr, *rdbFullRange = nullptr;
    QCheckBox *chkEnableFlyoverWatch = nullptr, *chkShowErrorInFlyover = nullptr;
    QCheckBox *chkTraceAutoScroll = nullptr, *chkTraceFullPath = nullptr;

    // Print / Alerts
    QCheckBox *cbHeader = nullptr, *cbFooter = nullptr, *cbPages = nullptr, *cbSyntax = nullptr,
              *cbWrap = nullptr, *cbLeft = nullptr, *cbRight = nullptr, *cbTop = nullptr,
              *cbBottom = nullptr;
    QLineEdit *edLeft = nullptr, *edRight = nullptr, *edTop = nullptr, *edBottom = nullptr;
    QPushButton *btnPrintSetup = nullptr, *btnPreview = nullptr;
    QLineEdit *edtPrintFontName = nullptr;
    QToolButton *BitBtn1 = nullptr;
    QCheckBox *chkFlashAfterCompile = nullptr, *chkBeepAfterCompile = nullptr,
              *chkDetectChanges = nullptr, *chkConfirmLibCompile = nullptr,
              *chkBackup = nullptr, *chkAutoSave = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildEditorPage();
    void BuildGutterMarginPage();
    void BuildDisplayPage();
    void BuildColorsPage();
    void BuildCodeTemplatesPage();
    void BuildDebugWindowsPage();
    void BuildPrintPage();
    QsciScintilla *SampleMemo(QWidget *page, const char *name);

    void ShowTemplateCode(int item);
    int SelectedTemplate() const;
    void ApplyCodeEdits();

    void ToggleExecute(std::size_t row);
    void UpdateToggles();
    std::optional<int> TypedNumber(QLineEdit *field, int low, int high);
    void BlockIndentEditChange();
    void MarginPosEditChange();
    void FontSizeEditChange();
    void FontNameEditChange();
    void EditorBackColorChange();
    void ForegroundColorChange();
    void WorkspaceColorChange();
    void LineNumberColorChange();
    void SpecialSymbolsClick();
    void ApplyForeground(TColor colour);
    void ApplyBackground(TColor colour);
    void chkDefForeClick();
    void chkDefBackClick();
    void FontStyleClick();
    void BuildElementList();
    TTextStyle &ElementStyle(std::size_t element);
    TTextStyleWrapper *SelectedElement();
    // The colour dialog behind a "..." button: a confirmed colour is chosen in the combo.
    void ColorButton(QToolButton *button, TColorCombo *combo);
    void rdbDebugBehaviorClick();
    void lbxWindowClick();
    void chkLogStdioClick();
    void btnStdioLogClick();
    void ApplyWindowForeground(int index);
    void ApplyWindowBackground(int index);
    void ApplyWindowFont(int index);
    void ApplyFontToWindows(const DebugWindowRecord &record, const QFont &font);
    void RegisterViewClick(bool editable);
    void AsmToggleClick(const AsmToggle &toggle, bool on);
    void RestoreAsmToggles();
    void KeepDumpLooks();
    void RestoreDumpLooks();
    void btnApplyFontAndColorClick();
    void btnChooseFontClick();
    void EnableAsmFontControls(bool enabled);
    void RestoreWindowLooks();
    void LoadPrintPage();
    void MarginExit(std::size_t which);
    void cbPagesClick();
    void btnPrintSetupClick();
    void BitBtn1Click();
    [[nodiscard]] bool Refuse(const std::string &text, QWidget *page, QWidget *field);
    void OkPath();
    void CancelPath();
    void CommonEnd();

    TfrmMainWindow *m_main = nullptr;
    QsciScintilla *m_target_memo = nullptr;
    TMemoEnvOptions &EnvOptions;
    TMemoSourceOptions &SourceOptions;
    TMemoEnvOptions SavedEnvOptions;
    TMemoSourceOptions SavedSourceOptions;
    bool m_closing = false;
    bool m_shown_once = false;
    bool m_loading = false; // FormShow fills the pages
    bool UndoAfterSave = false;
    // Show-time copies the Cancel path goes back to.
    TIdePreferences m_shown_prefs;
    TTextOptions m_shown_print;
    TColor m_shown_workspace = clAppWorkSpace;
    // The special symbols as they were when the dialog was made.
    bool m_symbols_used = false;
    QString m_symbol_texts[4];
    std::vector<std::unique_ptr<TMemoOptionsLink>> m_sample_links;
    // The list as it was at show, which Cancel puts back.
    TMemoCodeTemplates m_shown_templates;
    // One key per template, following adds and deletes, for EditedCode.
    std::vector<int> m_template_keys;
    int m_next_template_key = 0;
    // The template whose code the code memo shows (-1: none) and the text it was shown with.
    int m_shown_template = -1;
    std::string m_shown_code;
    bool m_filling_grid = false;
    bool m_applying_record = false; // the font and colour boxes show a record
    struct ShownDumpLook;
    std::vector<ShownDumpLook> m_shown_dump_looks;
};

// The Options menu's "&Environment Options" (the active editor's memo, the stored page) and an
// editor popup's "&Options..." (its memo, the first page).
void actEnvOptionsExecute(TfrmMainWindow *main, QsciScintilla *memo, bool first_page);
