// frmKXDisassembly: `TfrmDisassembly`, the disassembly window ("Disassembled Code"). The
// debugger core (DB_ML's `fillDisassemblyView`) disassembles and hands each instruction to the
// window as one text line through its sink (`cTextAssembly`); the window splits the line into
// four columns (address, machine code, assembly, clock cycles), puts the C source line an
// instruction starts in front of it, marks the execution point, sums the clock cycles of the
// selected lines, copies and saves lines, and moves to another address or back to the
// execution point. The list is a QListView under a QHeaderView: each column's text is drawn
// inside its header section, so the user's column widths are the header's.
//
// The line model (splitting, source text, formatting, cycle sums) is plain C++ below the
// window class and is tested without the widget.
#pragma once

#include <QAbstractListModel>
#include <QPointer>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/guiInterface.h"
#include "shell/frmKXDockable.h"

class QAction;
class QHeaderView;
class QLabel;
class QListView;
class QMenu;
class QStandardItemModel;
class QStatusBar;
class TdasmItemDelegate;

// ---- the line model ---------------------------------------------------------------------------

// The four columns in their display order; the captions are the header sections' and the
// item layout's.
enum class DasmColumn : uint8_t { Address, Machine, Opcode, Cycles };
inline constexpr std::size_t kDasmColumnCount = 4;
inline constexpr std::array<const char *, kDasmColumnCount> kDasmCaptions = {
    "Address", "Machine Code", "Opcode", "Cycles"};

// One list line: an instruction (the four column texts, each with one blank in front) or a
// source line (its label and its text).
struct TdasmListObject {
    std::array<std::string, kDasmColumnCount> columns;
    std::string source_label;
    std::string source_text;
    int instruction = -1; // the debugger core's instruction number; -1 for a source line

    bool IsSource() const { return instruction < 0; }
    const std::string &Column(DasmColumn column) const
    {
        return columns[static_cast<std::size_t>(column)];
    }
};

// An instruction line as the debugger core writes it ("   0100 3E05     ld     a,0x05    4"):
// the word after the last blank is the cycles, the first word the address, the next the
// machine code, the rest the assembly text. Any text splits without failing.
TdasmListObject SplitDisassemblyLine(std::string_view line);

// A source line as the window shows it: blanks cut at both ends, and a "//" comment cut when
// its text holds no further '/' (a '/' in the comment keeps the line whole: it may be a path).
std::string SourceTextForDisplay(std::string_view text);

// Line `line` (from 1) of a file, whole whatever its length; empty when the file cannot be
// read or is shorter. Line ends: LF, CR LF or a lone CR.
std::string ReadSourceFileLine(const std::string &path, int line);

// The label of a source line: "[prog.c(8)]: " (the file's name without folders) or "[8]: ".
std::string SourceLabel(const std::string &file, int line, bool with_file_name);

// How the columns are laid out as text: which are shown and the longest text of each.
struct TdasmLayout {
    std::array<bool, kDasmColumnCount> shown{true, true, true, true};
    std::array<std::size_t, kDasmColumnCount> longest{};
    bool show_source = true;
};

// An item as text (list strings, Copy and Save): a source line gives its text without the
// label (nothing while source lines are off); an instruction each shown column's text, cut or
// padded to its longest length plus 2 (plus 10 for the cycles), joined without separators.
std::string FormatDasmItem(const TdasmListObject &item, const TdasmLayout &layout);

// A cycles text read as a whole number (blanks around it allowed); nothing for "6+7n", "8/2"
// and the like.
std::optional<int> CyclesValue(std::string_view text);

// The cycle-sum panel: " Selected Clock Cycles Sum: " and the sum when it is not 0.
std::string CycleSumText(long long sum);

// ---- the window -------------------------------------------------------------------------------

class TdasmListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    void Append(TdasmListObject item);
    void RemoveAll();
    // The lines' texts changed (a column came or went).
    void Relayout();

    std::vector<TdasmListObject> items;
    const TdasmLayout *layout = nullptr;
};

class TfrmDisassembly : public TfrmDockable, public TDisassemblyWindow {
    Q_OBJECT
public:
    // In the workspace when `as_child`, else floating (docking when `dockable`); left and top
    // 0, 600 x 600.
    TfrmDisassembly(TfrmMainWindow *main, bool as_child, bool dockable);
    ~TfrmDisassembly() override;

    // The sink the debugger core writes into.
    TAssemblyInterface *Adapter() { return &m_adapter; }

    // TDisassemblyWindow.
    void AddDisassemblyLines(const std::string &text) override;
    void BeginUpdate() override;
    void EndUpdate() override;
    // Selects the line of instruction `instruction_index` (the low 16 bits of the packed
    // value) and scrolls it into view; it is kept as the execution line only when its address
    // is the PC's.
    void MarkExecutionLine(int instruction_index, int second) override;
    void Clear() override;

    // Font, colours and line height from the settings.
    void RefreshDisplay();
    // The cycle-sum panel empties (a step moved on).
    void ResetCycleSumStatus();
    // Lists the code at `address` (a target address word): selects its line when the list
    // holds it, else disassembles from it.
    void ShowAddress(uint32_t address);

    // The actions' handlers. A toggle's handler flips its action and stores the setting.
    void actCopyExecute();
    void actSaveExecute();
    bool actCopySaveUpdate() const;
    void actMoveExecute();
    bool doUpdateActions() const;
    void actMoveToExePointExecute();
    void actShowAddressExecute();
    void actShowMachineExecute();
    void actShowCyclesExecute();
    void actShowSourceExecute();
    void actShowFileNameExecute();
    void actSumCyclesExecute();
    void actSyntaxHighlightExecute();

    void FormHide();
    CloseAction FormClose() override;

    // What the window shows.
    int LineCount() const;
    const TdasmListObject &Item(int row) const;
    std::string LineText(int row) const;
    // The selected lines' rows in list order.
    std::vector<int> SelectedRows() const;
    void SelectRows(const std::vector<int> &rows);
    int ExecutionLine() const { return m_execution_line; }
    // The captions of the header's sections after the mark's, in order.
    std::vector<std::string> SectionCaptions() const;
    int SectionWidth(DasmColumn column) const; // -1 when the column has no section
    const TdasmLayout &Layout() const { return m_layout; }
    QString CycleSumPanel() const;

    // The list's lines, drawn by the window's delegate.
    void lbxDisassembledDrawItem(class QPainter *painter, const QRect &rect, int row,
                                 bool selected) const;
    void hcDisassemblySectionResize();

    QWidget *pnlListBoxAndHeader = nullptr;
    QHeaderView *hcDisassembly = nullptr;
    QListView *lbxDisassembled = nullptr;
    QStatusBar *StatusBar = nullptr;
    QMenu *dasmContextMenu = nullptr;
    QAction *actCopy = nullptr, *actCopyOldStyle = nullptr, *actSave = nullptr,
            *actMove = nullptr, *actMoveToExePoint = nullptr, *actShowAddress = nullptr,
            *actShowMachine = nullptr, *actShowCycles = nullptr, *actSumCycles = nullptr,
            *actShowSource = nullptr, *actShowFileName = nullptr,
            *actSyntaxHighlight = nullptr;

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void ColumnToggled(DasmColumn column);
    void SourceToggled();
    int SectionOf(DasmColumn column) const;
    void InsertSection(int position, DasmColumn column);
    bool ColumnShown(DasmColumn column) const
    {
        return m_layout.shown[static_cast<std::size_t>(column)];
    }
    void Redisassemble(uint32_t address);
    // The address of a line's instruction, when its text reads as one.
    std::optional<uint32_t> LineAddress(int row) const;
    void AddSourceLine(uint32_t address);
    void UpdateCycleSum();
    void UpdateActions();
    void StopAssemblyReports();

    cTextAssembly m_adapter;
    TdasmListModel *m_model = nullptr;
    QStandardItemModel *m_sections = nullptr;
    QLabel *m_sum_panel = nullptr;
    TdasmLayout m_layout;
    std::array<int, kDasmColumnCount> m_pixels{}; // the longest texts' widths
    std::vector<int> m_instruction_rows;          // instruction number -> row
    int m_execution_line = -1;
    int m_update_depth = 0;
    int m_mark_width = 16;
};
