// frmKXTrace: `TfrmTrace`, the trace window. It lists the execution trace the debug kernel
// sends while tracing is on, one row per entry (or per group of repeated statements), in
// columns under a header, with the registers and flags of the selected entry beside it. The
// entries live in the trace store (guiTrace), which records, resolves and formats them; the
// window draws what the store gives it, opens an entry's source, copies selected entries as
// text and saves the whole trace. It is the store's `TTraceWindow` while it exists.
#pragma once

#include <QPointer>

#include <string>
#include <vector>

#include "link/guiTrace.h"
#include "shell/frmKXDockable.h"

class QAction;
class QHeaderView;
class QListWidget;
class QMenu;
class QSplitter;
class QTimer;
class QWidget;

class TfrmTrace : public TfrmDockable, public TTraceWindow {
    Q_OBJECT
public:
    // The columns a row may show, in header order.
    enum class Field { Action, Function, File, LineCol, Time, Repeat };

    TfrmTrace(TfrmMainWindow *main, bool as_child, bool dockable);
    ~TfrmTrace() override;
    // The window as the debug windows' table makes it: child or floating, dockable or not, as
    // the trace window's settings say.
    static TfrmDockable *Make(TfrmMainWindow &main);

    // TTraceWindow.
    void AddLine(const std::string &text) override;
    void ClearLists() override;
    void BeginUpdate() override;
    void EndUpdate() override;
    void SetRegisterPanelVisible(bool visible) override;
    bool ShowRepeats() const override { return m_show_repeats; }
    void SetShowRepeats(bool on) override;
    bool FullPath() const override;
    void BringToFront() override { TfrmDockable::BringToFront(); }
    void SetBusyCursor(bool busy) override;

    // The header's sections, in order.
    const std::vector<Field> &Sections() const { return m_sections; }
    static const char *SectionTitle(Field field);
    // The text a row shows in a column (what the drawing puts there).
    std::string CellText(int row, Field field);
    // The register and flag lines of a row.
    void FillRegisterLists(int row);
    // The first timer's work: the register panel and the rows of entries already stored.
    void FirstTimeTimerTimer();

    void actEnableRepeatsExecute();
    void actShowRepeatsExecute();
    void actOpenSourceExecute();
    void actWriteToFileExecute();
    // The selected entries as text, one line each, after the header when asked.
    std::string SelectionText(bool with_header);
    void CopySelection(bool with_header);
    void UpdateActions();

    CloseAction FormClose() override;

    QHeaderView *hcTrace = nullptr;
    QListWidget *lbxTrace = nullptr, *lbxMainRegisters = nullptr, *lbxFlags = nullptr;
    QSplitter *splTrace = nullptr, *splRegister = nullptr;
    QWidget *pnlInfo = nullptr, *pnlRegisters = nullptr;
    QMenu *puTrace = nullptr;
    QTimer *FirstTimeTimer = nullptr;
    QAction *actEnableRepeats = nullptr, *actShowRepeats = nullptr, *actOpenSource = nullptr,
            *actWriteToFile = nullptr, *actCopy = nullptr, *actCopyWithHeader = nullptr,
            *actAutoScroll = nullptr, *actFullPath = nullptr;

private:
    void BuildSections();
    void StoreWidths();
    void SendFlagOff();
    int32_t *WidthSetting(Field field);

    std::vector<Field> m_sections;
    bool m_show_repeats = true;
    bool m_repeat_section = false;
    bool m_force_full_path = false;
};

// The trace window while it exists.
extern QPointer<TfrmTrace> frmTrace;
