// frmKXMemoryDump: `TfrmMemoryDump`, a memory dump window. It shows target memory as lines of
// 16 bytes; only the lines that fit the visible rows stay in its list, and its own scroll bar
// covers every row of the address mode (the row layout is DumpRows'). The window never reads
// memory itself: it hands its start to the main window's dump request and asks the debugger
// for 128-byte blocks, whose formatted lines come back through its adapter (`cTextDump`) to
// `AddDumpLine`. Several dump windows can be open; the main window keeps their list and names
// the current one, which receives the lines. Changed bytes can be drawn inverted, and the
// address or the value under the mouse shown in a hint or after the caption.
#pragma once

#include <QPointer>

#include <functional>

#include <cstdint>
#include <string>

#include "core/guiInterface.h"
#include "debugger/DumpRows.h"
#include "settings/guiKXPreferences.h"
#include "shell/frmKXDockable.h"

class QAction;
class QComboBox;
class QLabel;
class QListWidget;
class QMenu;
class QScrollBar;
class QToolBar;
class QToolButton;

class TfrmMemoryDump : public TfrmDockable, public TMemoryDumpWindow {
    Q_OBJECT
public:
    // The three request flags of the main window's dump request.
    TfrmMemoryDump(TfrmMainWindow *main, uint8_t physical, uint8_t xpc_offset, uint8_t data_space);
    ~TfrmMemoryDump() override;

    // TMemoryDumpWindow: one formatted line (see the row rules in the source).
    void AddDumpLine(const std::string &line) override;
    void ClearLines();
    // Top line first, the scroll bar at the first received row, the XPC hints hidden.
    void ResetView();
    // Reads the rows at the scroll position (change marking as asked).
    void RequestDumpPage(bool change_marking);
    // Clear, request, reset: after scrolling, an XPC change, Update, a resize or new options.
    void ReRequest(bool change_marking = false);
    // 128-byte blocks the visible rows need.
    int BlockCountForView() const;
    int VisibleRows() const;
    void SetDumpAddress(const std::string &text);
    // After the main window's dump command filled the window: caption, address box and view.
    void DumpShown(const std::string &address_text);
    // The memory dump part of the settings: font, colour, updates, hints, caption, tool bar
    // and xpc range; then the rows are read again.
    void ApplyOptions(const DumpWindowSettings &options);
    // The list's look alone, as the Environment Options show a change at once.
    void SetTextColor(TColor colour);
    void SetBackgroundColor(TColor colour);
    void SetDumpFont(const QFont &font);
    // The dump command of the tool bar (and Enter in the address box).
    void actDoMemoryDumpExecute();
    // The XPC buttons and keys: +1 or -1, then the rows again.
    void ChangeXpc(int delta);
    // Scrolls by rows as a scroll step followed by the end of the scroll.
    void ScrollRows(int64_t delta);
    void SetScrollRow(int64_t row);

    // No close while a request runs.
    bool FormCloseQuery() override;
    CloseAction FormClose() override;

    // The value hint for a point of the list's viewport (empty: none there).
    std::string ValueHintAt(const QPoint &position) const;
    void ShowValueHint(const QPoint &position);
    void HideValueHint();

    TDumpInterface *Adapter() { return &m_adapter; }
    // The debug windows' table's row: a new window with the main window's dump request flags,
    // made current; the adapter of one; the main window's current one.
    static TfrmDockable *Make(TfrmMainWindow &main);
    static TGuiInterface *AdapterOf(TfrmDockable &window);
    static TfrmDockable *Current(TfrmMainWindow &main);
    const DumpLayout &Layout() const { return m_layout; }
    int64_t FirstRow() const { return m_first_row; }
    int64_t LastRow() const { return m_last_row; }
    int64_t RowLimit() const { return dump_row_limit(m_layout); }
    bool Updateable() const { return m_updateable; }
    bool ChangeHighlight() const;
    int ValueWidth() const;
    // Whether the list's line is drawn with the value group inverted.
    bool GroupChanged(int line, int group) const;
    // The process-wide flag: clear while a request of any dump window runs.
    static bool RequestDone();

    QToolBar *tbMemoryDump = nullptr;
    QComboBox *cboDumpAddress = nullptr;
    QListWidget *lbxMemoryDump = nullptr;
    QScrollBar *sbMemoryDump = nullptr;
    QToolButton *btnPrevXPC = nullptr, *btnNextXPC = nullptr;
    QLabel *m_address_hint = nullptr, *m_value_hint = nullptr;
    QMenu *puMemoryDump = nullptr;
    QAction *actUpdateable = nullptr, *actShowDumpMenu = nullptr, *actShowAddressInHint = nullptr,
            *actShowByteInHint = nullptr, *actShowByteInCaption = nullptr, *actUpdate = nullptr,
            *actDumpAtAddress = nullptr, *actDoMemoryDump = nullptr, *actCopy = nullptr,
            *actCopyOldStyle = nullptr, *actSaveToFile = nullptr, *actNextXPC = nullptr,
            *actPrevXPC = nullptr, *actShowAsBytes = nullptr, *actShowAsWords = nullptr,
            *actShowAsDwords = nullptr, *actDiffEnable = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildActions();
    void LayoutControls();
    void UpdateActions();
    void SetRowLimit();
    void ShowAddressHint();
    void ScrollEnded();
    void TrimToVisibleRows(int rows);
    void SetValueWidth(int width);
    // Runs a request under the error policy of the debug windows.
    void Guard(const std::function<void()> &work);

    cTextDump m_adapter;
    DumpLayout m_layout;
    uint8_t m_data_space = 1;
    int64_t m_first_row = -1;
    int64_t m_last_row = -1;
    bool m_updateable = true;
    bool m_show_tool_bar = true;
    bool m_show_address_in_hint = true;
    bool m_show_byte_in_hint = true;
    bool m_show_byte_in_caption = false;
    bool m_started = false;        // a dump has been asked for: there are rows to read again
    bool m_setting_scroll = false; // the scroll bar is moved by the window, not the user
    std::string m_caption_base = "Memory Dump - ";
};
