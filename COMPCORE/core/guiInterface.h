// guiInterface: the host services. The compiler core, the target link and the debugger core
// reach the user interface only through this unit: message texts by id, the application's
// message box, the status box with its message pump and cancel, the compile-settings snapshot,
// the pass-phrase control, and the adapter objects (`cMainWindow`, the `TGuiInterface` family)
// through which the debugger core writes into the windows.
//
// The windows themselves (main window, status box form, splash, editors, debug windows, message
// box, file dialogs) are abstract interfaces here; the IDE installs its Qt implementations. Until
// something is installed, a window-less host serves each one, as a tool without windows needs:
// boxes go to the standard error stream and ask nothing, the status box has no window, and the
// main window has no editors and reads the source being compiled from disk.
// Std-only; GUI thread only.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <iosfwd>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "QBSTRING.h"
#include "guiExceptions.h"

// ================================ Message text by id ==========================================

// Loads the id's text into buf: at most size - 1 bytes and a zero; returns the length. An id
// without text gives the empty text. Size 0 writes nothing.
uint32_t LoadResString(uint32_t id, char *buf, uint32_t size);
// The id's text (at most 1023 bytes); empty for an id without text. Returned by value, so
// nested calls cannot overwrite each other. Without arguments the text comes back as it stands
// (a text holding conversions is never formatted against missing arguments); with arguments it
// is formatted by the bounded formatting rules.
std::string GetResString(uint32_t id);
// For a message that is shown to the user: the id's text as LoadResString loads it, but an id
// without text gives "Message <id> has no text." (cut to size), so a box never appears blank.
uint32_t LoadShownResString(uint32_t id, char *buf, uint32_t size);
// Formatting form behind the template below (C variadic).
std::string GetResStringFormatted(uint32_t id, ...);
template <class... Args>
    requires(sizeof...(Args) > 0)
std::string GetResString(uint32_t id, Args... args)
{
    static_assert(((std::is_arithmetic_v<Args> || std::is_pointer_v<Args> ||
                    std::is_null_pointer_v<Args>) && ...),
                  "message arguments are numbers or C texts");
    return GetResStringFormatted(id, args...);
}

// ================================ Message box =================================================

// Flags: the buttons in the low four bits, the icon in the next four.
inline constexpr unsigned kMbOk = 0x0;          // OK button only
inline constexpr unsigned kMbOkCancel = 0x1;
inline constexpr unsigned kMbYesNoCancel = 0x3;
inline constexpr unsigned kMbYesNo = 0x4;
inline constexpr unsigned kMbButtonsMask = 0xF;
inline constexpr unsigned kMbIconError = 0x10;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconWarning = 0x30;
inline constexpr unsigned kMbIconExclamation = kMbIconWarning;
inline constexpr unsigned kMbIconInformation = 0x40;
inline constexpr unsigned kMbIconMask = 0xF0;
inline constexpr unsigned kMbDefButton2 = 0x100; // the second button is the default
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

class TMessageBoxHost {
public:
    virtual ~TMessageBoxHost() = default;
    // Shows a modal box owned by the application; returns the button chosen.
    virtual int ShowMessageBox(const std::string &text, const std::string &caption,
                               unsigned flags) = 0;
};

// Without windows: writes "caption: text" to the standard error stream and answers with the
// choice that changes nothing: OK for a plain box, else Cancel when offered, else No.
class WindowlessMessageBoxHost : public TMessageBoxHost {
public:
    int ShowMessageBox(const std::string &text, const std::string &caption,
                       unsigned flags) override;
};
// The answer a box without anyone to ask gives for its flags.
int unattended_answer(unsigned flags);

TMessageBoxHost &message_box_host();
void set_message_box_host(TMessageBoxHost *host); // not owned; null restores the window-less one

// The application's message box (used by the exceptions and ShowCompilerMessageBox).
int ShowAppMessageBox(const std::string &text, const std::string &caption, unsigned flags);

// ================================ Splash window ===============================================

class TSplashHost {
public:
    virtual ~TSplashHost() = default;
    virtual bool IsVisible() const = 0;
    virtual void Hide() = 0;
    virtual void SetText(const std::string &text) = 0; // the splash label
    virtual void Repaint() = 0;
};

TSplashHost &splash_host(); // without an installed splash: one that is never visible
void set_splash_host(TSplashHost *host); // not owned; null restores the window-less one

// ================================ Status box ==================================================

// The status box form: a title, a Cancel button, a panel with the message label, a file-name
// label, and a closed-by-user flag set by Cancel or Esc. Sizes are in pixels.
class TStatusBox {
public:
    virtual ~TStatusBox() = default;
    virtual void SetTitle(const std::string &title) = 0;
    virtual void SetCancelVisible(bool visible) = 0;
    virtual void Show() = 0;
    virtual bool IsVisible() const = 0;
    virtual void Close() = 0;
    virtual bool ClosedByUser() const = 0;
    virtual int PanelWidth() const = 0;
    virtual int PanelHeight() const = 0;
    // Width and height of the text on the message label's canvas.
    virtual void MeasureText(const std::string &text, int &width, int &height) const = 0;
    virtual void SetMessageLabel(const std::string &text, int left, int top, int width,
                                 int height) = 0;
    // Shortens a path with an ellipsis in its middle so that it fits the width on one line;
    // gives the width of the result.
    virtual std::string FitPath(const std::string &path, int width, int &result_width) const = 0;
    virtual void SetFileNameLabel(const std::string &text, int width) = 0;
    virtual void Repaint() = 0;
    // Takes one pending window message of the thread, if any, and dispatches it.
    virtual void ProcessOneMessage() = 0;
    // The error a request in progress ended with when the user cancelled (kept by the box so
    // that it is thrown by the next pump, not out of the cancel's own handler); taking clears it.
    virtual std::exception_ptr TakeCancelError() { return nullptr; }
};

// Path ellipsis for text of fixed-width characters: keeps the root part and as many trailing
// components as fit, joined by "..."; when even the last component does not fit, keeps its
// tail behind "...". Gives the width of the result.
std::string fit_path_in_characters(const std::string &path, int width, int char_width,
                                   int &result_width);

// The status box of a program without windows: a 320 x 64 panel of 8 x 16 characters that
// shows nothing and is never cancelled.
class WindowlessStatusBox : public TStatusBox {
public:
    void SetTitle(const std::string &) override {}
    void SetCancelVisible(bool) override {}
    void Show() override { m_visible = true; }
    bool IsVisible() const override { return m_visible; }
    void Close() override { m_visible = false; }
    bool ClosedByUser() const override { return false; }
    int PanelWidth() const override { return 320; }
    int PanelHeight() const override { return 64; }
    void MeasureText(const std::string &text, int &width, int &height) const override;
    void SetMessageLabel(const std::string &, int, int, int, int) override {}
    std::string FitPath(const std::string &path, int width, int &result_width) const override;
    void SetFileNameLabel(const std::string &, int) override {}
    void Repaint() override {}
    void ProcessOneMessage() override {}

private:
    bool m_visible = false;
};

using StatusBoxFactory = std::function<std::unique_ptr<TStatusBox>()>;

// The holder of the status box (one program-wide instance, `gDialogControl`).
class cDialogControl {
public:
    cDialogControl();
    ~cDialogControl();

    // Unless in splash mode: makes the box when there is none, stores the prefix, sets
    // gStatusBoxShown, sets the title, shows or hides Cancel, and shows the box.
    void ShowStatusBox(bool show_cancel, const std::string &title, const std::string &prefix);
    // Puts the text into the box (or the splash label in splash mode) and fits the label to it.
    void SizeStatusBoxToText(const std::string &text);
    // Fits a path into the file-name label with an ellipsis in its middle.
    void SetStatusBoxPathText(const std::string &text);
    void SetStatusBoxText(const std::string &title);
    // Dispatches one pending message; when the user closed the box (the box is gone by then)
    // throws the error the cancelled request ended with, else xUserCancel. Without a box it
    // does nothing.
    void PumpStatusBoxMessages();
    // Clears gStatusBoxShown; closes and destroys the box when it is up. Harmless otherwise.
    void CloseStatusBox();

    void SetSplashMode(bool on) { m_splash_mode = on; }
    bool SplashMode() const { return m_splash_mode; }
    bool Pumping() const { return m_pumping; }
    const std::string &Prefix() const { return m_prefix; }
    TStatusBox *Box() const { return m_box.get(); }
    // The maker of the box (the IDE installs its form); null restores the window-less box.
    void SetBoxFactory(StatusBoxFactory factory);

private:
    std::unique_ptr<TStatusBox> m_box;
    bool m_pumping = false;
    bool m_splash_mode = false;
    std::string m_prefix;
    StatusBoxFactory m_factory;
};

extern cDialogControl gDialogControl;
extern bool gStatusBoxShown;

// ================================ Pass phrase =================================================

class TPassPhraseDialog {
public:
    virtual ~TPassPhraseDialog() = default;
    // Shows the dialog modally; true when the user accepted.
    virtual bool Execute() = 0;
    virtual std::string Phrase() const = 0;
    virtual bool Remember() const = 0;
};
using PassPhraseDialogFactory = std::function<std::unique_ptr<TPassPhraseDialog>()>;

class cTCPPassPhraseControl {
public:
    // Unless a phrase is remembered or the dialog is up: clears the accepted flag, makes and
    // shows the dialog, and when the user accepted keeps the phrase (cut to 255 bytes).
    void Ask();
    // When the dialog exists: takes its remember choice and destroys it.
    void Close();

    const char *Phrase() const { return m_phrase.data(); }
    bool Accepted() const { return m_accepted; }
    bool Remembered() const { return m_remember; }
    bool DialogUp() const { return m_dialog != nullptr; }
    // The IDE installs its dialog; without a factory Ask accepts nothing.
    void SetDialogFactory(PassPhraseDialogFactory factory) { m_factory = std::move(factory); }
    // Forgets phrase, flags and dialog (tests, and a new connection without remembering).
    void Reset();

private:
    std::array<char, 256> m_phrase{};
    bool m_accepted = false;
    bool m_remember = false;
    std::unique_ptr<TPassPhraseDialog> m_dialog;
    PassPhraseDialogFactory m_factory;
};

extern cTCPPassPhraseControl gTCPPassPhraseControl;

// ================================ Windows the adapters serve ==================================

// Base of every window an adapter can serve.
class TGuiWindow {
public:
    virtual ~TGuiWindow() = default;
};

class TEditorInterface;

// A packed source position: line in the high 16 bits, column in the low 16 bits.
inline constexpr uint32_t pack_position(uint32_t line, uint32_t column)
{
    return (line << 16) | (column & 0xFFFFu);
}
inline constexpr uint32_t position_line(uint32_t packed) { return packed >> 16; }
inline constexpr uint32_t position_column(uint32_t packed) { return packed & 0xFFFFu; }
// The highest line or column a packed position holds.
inline constexpr uint32_t kPackedPositionMax = 0xFFFF;

// The kind of a line mark the debugger sets: two (flag, colour) records, of which the editor
// compares only the colours. Colours are 0x00BBGGRR.
struct TMarkColour {
    bool flag = false;
    uint32_t colour = 0;
};
struct TMarkKind {
    TMarkColour first, second;
};
inline constexpr TMarkKind kExecutionPointMark{{false, 0xFF0000}, {false, 0x00FF00}};
inline constexpr TMarkKind kBreakpointMark{{false, 0x0000FF}, {false, 0xFF0000}};
inline constexpr bool same_mark_kind(const TMarkKind &a, const TMarkKind &b)
{
    return a.first.colour == b.first.colour && a.second.colour == b.second.colour;
}

// The source editor window.
class TEditWindow : public virtual TGuiWindow {
public:
    virtual std::string FileName() const = 0;
    virtual bool IsModified() const = 0;
    virtual void WriteText(std::ostream &out) const = 0;
    virtual uint32_t GetCaretPosition() const = 0;
    virtual uint32_t GetNextPosition(uint32_t packed) const = 0;
    // 0-based; every byte of the line without its line end.
    virtual std::string GetLineText(int line) const = 0;
    // A mark of another kind than the two above marks nothing.
    virtual void SetLineMark(uint32_t packed, const TMarkKind &kind) = 0;
    virtual void ClearLineMark(uint32_t packed) = 0;
    virtual void ClearExecutionPoint() = 0;
    virtual TEditorInterface *GetTextEdit() = 0;
    virtual TEditorInterface *GetEditFrame() = 0;
    // Writes the text to its own file; true when it got there. By default the file's contents
    // are replaced by the text; an editor window saves through its own command.
    virtual bool Save();
};

class TRegistersWindow : public virtual TGuiWindow {
public:
    virtual void AddLine(const std::string &text) = 0;
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
};
class TDisassemblyWindow : public virtual TGuiWindow {
public:
    virtual void AddDisassemblyLines(const std::string &text) = 0;
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
    virtual void MarkExecutionLine(int instruction_index, int second) = 0;
    virtual void Clear() = 0;
};
class TStackWindow : public virtual TGuiWindow {
public:
    virtual void AddLine(const std::string &text) = 0;
};
class TMemoryDumpWindow : public virtual TGuiWindow {
public:
    virtual void AddDumpLine(const std::string &line) = 0;
};
class TWatchesWindow : public virtual TGuiWindow {
public:
    virtual void UpdateResults(int argument) = 0;
    // The number of watches the window holds.
    virtual int WatchCount() = 0;
    // One evaluation with the window's watch list: the result line; on an error the error's
    // text with `keep_error`, else nothing.
    virtual std::string EvaluateExpression(const std::string &expression, bool keep_error) = 0;
};

// A watch list of its own for one evaluation, made when no watches window is there (the
// editor's fly-over hint): `Evaluate` answers as the watches window's EvaluateExpression.
class TFlyOverWatch {
public:
    virtual ~TFlyOverWatch() = default;
    virtual std::string Evaluate(const std::string &expression, bool keep_error) = 0;
};
using FlyOverWatchFactory = std::function<std::unique_ptr<TFlyOverWatch>()>;
// The watches install their maker; null restores the built-in one, whose watch throws xErr
// ("The debugger core is not part of this build.") for every evaluation.
void set_flyover_watch_factory(FlyOverWatchFactory factory);
std::unique_ptr<TFlyOverWatch> make_flyover_watch();

class TStdioWindow : public virtual TGuiWindow {
public:
    virtual void StdioOutput(const char *text, int length) = 0;
    virtual void StdioBeginSession() = 0;
    // Next input character into c; false when none is waiting.
    virtual bool StdioInputChar(char &c) = 0;
};

// ================================ Adapters ====================================================

class TGuiInterface {
public:
    TGuiInterface() = default;
    TGuiInterface(const TGuiInterface &) = delete;
    TGuiInterface &operator=(const TGuiInterface &) = delete;
    virtual ~TGuiInterface() = default;
    virtual void AddLine(const char *text);
    virtual void BeginUpdate();
    virtual void EndUpdate();
    // The position after a packed position, through the window (the base answers it unchanged).
    virtual uint32_t GetNextPosition(uint32_t packed);
    virtual void SetWindow(TGuiWindow *window);
    TGuiWindow *Window() const { return m_window; }

protected:
    TGuiWindow *m_window = nullptr;
};

// Editor adapters.
class TEditorInterface : public TGuiInterface {
public:
    TEditorInterface();
    ~TEditorInterface() override;
    uint32_t GetNextPosition(uint32_t packed) override;
    void SetWindow(TGuiWindow *window) override;
    virtual bool IsModified();
    // The window's file name, whole (kept by the adapter until the next call).
    virtual const char *GetFileName();
    virtual uint32_t GetCaretPosition();
    virtual void Reserved1() {}
    virtual void ClearExecutionPoint();
    virtual void SetLineMark(uint32_t packed, const TMarkKind &kind);
    virtual void Reserved2() {}
    // The text of one line (from 0), in a buffer owned by the adapter until FreeLineText:
    // every byte, NUL included, then a zero; LineTextLength tells how many.
    virtual const char *GetLineText(int line);
    virtual void FreeLineText();
    virtual void GetZeroPosition(uint32_t &out) { out = 0; }
    virtual int Reserved3() { return 0; }
    virtual int Reserved4() { return 0; }
    virtual void WriteText(std::ostream &out);
    // Saves the window's text to its file; false when it is not saved.
    virtual bool Save();

    void UpdateMarkers(uint32_t packed);
    TEditorInterface *GetWindowInterface();
    TEditWindow *Editor() const { return m_editor; }
    std::size_t LineTextLength() const { return m_line_length; }

private:
    TEditWindow *m_editor = nullptr;
    std::string m_file_name;
    std::unique_ptr<char[]> m_line_text;
    std::size_t m_line_length = 0;
};
class cEditFrame : public TEditorInterface {};
class cTextEdit : public TEditorInterface {};

class TMessageInterface : public TGuiInterface {};
class cTextMessage : public TMessageInterface {};

class TStdioInterface : public TGuiInterface {};
class cTextStdio : public TStdioInterface {};

class TRegisterInterface : public TGuiInterface {
public:
    virtual int GetLineWidth() { return 40; }
};
class cTextRegister : public TRegisterInterface {
public:
    void AddLine(const char *text) override;
    void BeginUpdate() override;
    void EndUpdate() override;
};

class TAssemblyInterface : public TGuiInterface {
public:
    virtual void Reserved1() {}
    virtual void Reserved2() {}
    virtual int Reserved3() { return 0; }
    // Instruction index in the low 16 bits, a second value in the high 16 bits.
    virtual void MarkExecutionLine(uint32_t packed) = 0;
    virtual void Clear() = 0;

    // The cycle count of each listed line (0 for a block move or a conditional return), which
    // the window sums over a selection.
    std::vector<int> cycles;
};
class cTextAssembly : public TAssemblyInterface {
public:
    void AddLine(const char *text) override;
    void BeginUpdate() override;
    void EndUpdate() override;
    void MarkExecutionLine(uint32_t packed) override;
    void Clear() override;
};

class TStackInterface : public TGuiInterface {
public:
    uint16_t line_width = 40;
    virtual int GetLineWidth() { return line_width; }
};
class cTextStack : public TStackInterface {
public:
    void AddLine(const char *text) override;
};

class TDumpInterface : public TGuiInterface {
public:
    virtual void AddDumpLine(const char *line) = 0;
    virtual void Reserved1() {}
    // A line with the address (word) of its first byte; the window may keep it for its hints.
    virtual void AddDumpLineAt(const char *line, uint32_t address)
    {
        (void)address;
        AddDumpLine(line);
    }

    // What the dump text keeps between fills: the column of the first byte asked for, the
    // bytes last shown (16 a line; a line never shown before has none, so nothing in it counts
    // as changed) and, with change marking, the physical addresses whose bytes differ from them.
    uint8_t start_column = 0;
    std::vector<uint8_t> previous;
    std::vector<bool> previous_shown;
    std::set<uint32_t> changed;
};
class cTextDump : public TDumpInterface {
public:
    void AddDumpLine(const char *line) override;
};

class TWatchInterface : public TGuiInterface {};
class cTextWatch : public TWatchInterface {};

// ================================ Main window =================================================

// What the adapters ask of the main window.
class TMainWindowHost : public virtual TGuiWindow {
public:
    virtual void SetCurrentFile(const std::string &file) = 0;
    virtual int GetSourceLineCount() = 0;
    virtual std::string GetSourceLine(int line) = 0;
    virtual TEditWindow *FindEditor(const std::string &file) = 0;
    virtual TEditWindow *GetEditorForFile(const std::string &file, int flags) = 0;
    // Show the window when its auto-show option is on or when forced; its adapter, or null.
    virtual TRegisterInterface *ShowRegistersWindow(bool force) = 0;
    virtual TAssemblyInterface *ShowDisassemblyWindow(bool force) = 0;
    virtual TStackInterface *ShowStackWindow(bool force) = 0;
    virtual TWatchInterface *ShowWatchesWindow(bool force) = 0;
    virtual TDumpInterface *ShowDumpWindow(bool force) = 0;
    virtual TStdioWindow *ShowStdioWindow(int flags) = 0;
    virtual TWatchesWindow *WatchesWindow() = 0;
    virtual void RefreshDumpWindows() = 0;
    virtual bool IsStopped() = 0;
    // 0 edit, 1 stopped, 2 running: sets the status text and the communication state.
    virtual void SetRunState(int state) = 0;
    virtual bool IsPolling() = 0;
    virtual void PausePolling() = 0;
    virtual void ResumePolling() = 0;
    virtual void SetStatusPanelText(const std::string &text, int panel) = 0;
    virtual void SetStatusText(const std::string &text) = 0;
    virtual void BringToFront() = 0;
};

// The communication state for a run state: 7 stopped, 6 running with polling, 7 running without
// polling, 0 in edit mode.
uint8_t comm_state_for_run_state(int state, bool polling);

// The main window's adapter (one object, `gMainWindowInterface`).
class TMainWindowInterface : public TGuiInterface {};

class cMainWindow : public TMainWindowInterface {
public:
    explicit cMainWindow(TMainWindowHost *host);
    void SetHost(TMainWindowHost *host);
    TMainWindowHost *Host() const { return m_host; }

    void SetCurrentSourceFile(const QBString &file);
    const QBString &GetCurrentSourceFile() const { return m_current_file; }
    int GetSourceLineCount();
    // The line's text (empty when none). Returned by value: a later call cannot change the
    // text an earlier caller still holds.
    std::string GetSourceLine(int line);
    TEditorInterface *GetEditorInterface(const std::string &file, int flags);
    TEditorInterface *FindEditorInterface(const std::string &file);
    TRegisterInterface *GetRegisterInterface(bool force);
    TAssemblyInterface *GetAssemblyInterface(bool force);
    TStackInterface *GetStackInterface(bool force);
    TWatchInterface *GetWatchInterface(bool force);
    TDumpInterface *GetDumpInterface();
    void RefreshDumpWindows();
    void RefreshWatches(int argument);
    uint32_t &GetSourcePosition() { return m_source_position; }
    bool IsStopped();
    void SetRunState(int state);
    // Status panel 6 shows "IP = %02x".
    void ShowIP(uint8_t ip);
    // The value shown last (the interrupt-priority toggle starts from it).
    uint8_t ShownIP() const { return m_shown_ip; }
    bool IsPollingEnabled();
    void ResumePolling();
    void PausePolling();

    // Memory-dump request fields.
    uint8_t dump_physical = 0;
    uint8_t dump_xpc_offset = 0;
    uint8_t dump_data_space = 1;
    uint32_t dump_start = 0;

private:
    uint8_t m_shown_ip = 0;
    TMainWindowHost *m_host;
    QBString m_current_file;
    uint32_t m_source_position = 0;
};

// Never null: starts on a cMainWindow over the window-less main window; the IDE points it at its
// own adapter.
extern cMainWindow *gMainWindowInterface;
void set_main_window_interface(cMainWindow *main); // null restores the window-less one

// The lines of a source file as the compiler reads them: split at LF, CR LF or a lone CR, the
// line ends dropped, every other byte kept. The file is read again only when its path, size or
// time stamp changes, so a compile that asks for every line reads it once.
class SourceFileLines {
public:
    // The lines of the file; none when it cannot be read.
    const std::vector<std::string> &Lines(const std::string &path);
    // How often a file was read (tests).
    int Loads() const { return m_loads; }
    void Forget();

private:
    std::string m_path;
    std::uintmax_t m_size = 0;
    std::int64_t m_time = 0;
    bool m_valid = false;
    std::vector<std::string> m_lines;
    int m_loads = 0;
};

// The main window of a program without windows: no editors and no debug windows; the source
// being compiled comes from disk.
class WindowlessMainWindow : public TMainWindowHost {
public:
    void SetCurrentFile(const std::string &file) override { m_file = file; }
    int GetSourceLineCount() override;
    std::string GetSourceLine(int line) override;
    TEditWindow *FindEditor(const std::string &) override { return nullptr; }
    TEditWindow *GetEditorForFile(const std::string &, int) override { return nullptr; }
    TRegisterInterface *ShowRegistersWindow(bool) override { return nullptr; }
    TAssemblyInterface *ShowDisassemblyWindow(bool) override { return nullptr; }
    TStackInterface *ShowStackWindow(bool) override { return nullptr; }
    TWatchInterface *ShowWatchesWindow(bool) override { return nullptr; }
    TDumpInterface *ShowDumpWindow(bool) override { return nullptr; }
    TStdioWindow *ShowStdioWindow(int) override { return nullptr; }
    TWatchesWindow *WatchesWindow() override { return nullptr; }
    void RefreshDumpWindows() override {}
    bool IsStopped() override { return m_run_state == 1; }
    void SetRunState(int state) override;
    bool IsPolling() override { return false; }
    void PausePolling() override {}
    void ResumePolling() override {}
    void SetStatusPanelText(const std::string &, int) override {}
    void SetStatusText(const std::string &) override {}
    void BringToFront() override {}

private:
    std::string m_file;
    int m_run_state = 0;
    SourceFileLines m_lines;
};

// Back to the window-less hosts: a fresh window-less main window behind the one adapter, no
// status box or box factory, no splash mode, a fresh pass phrase, no message box, splash or file
// dialog host installed. For tools at start and for tests.
void restore_windowless_hosts();

// ================================ Free functions ==============================================

TEditorInterface *GetEditorInterfaceForFile(const std::string &file);
void StdioWrite(const char *text, uint16_t length);
void StdioReset();
// Next character of target stdio input into c; returns it, 0 when none.
char StdioReadChar(char &c);
void EmptyWatchHook();
void NullHook();
uint8_t GetTargetOutputMode();
uint8_t IsWatchCodeRestricted();
void BringMainWindowToFront();

// The compile-settings snapshot that decides whether the BIOS must be compiled again.
struct CompileSettings {
    std::array<int32_t, 15> compiler_options{};
    uint16_t option_word = 0;
    std::array<uint8_t, 5> option_bytes{}; // output mode, restrict watch, include BIOS,
                                           // include RST 28, targetless compile
    std::string text1; // BIOS file
    std::string text2; // libraries file
    std::vector<std::pair<std::string, std::string>> defines;
    // The BIOS's debug kernel is compiled from these: a program compiled against a BIOS built
    // with other values would meet the BIOS's own definitions of them.
    std::vector<std::pair<std::string, std::string>> debug_kernel;
};
// The 15 compiler options come from the compiler facade, which installs its getter.
using CompilerOptionsGetter = std::array<int32_t, 15> (*)();
void set_compiler_options_getter(CompilerOptionsGetter getter);

void SaveCompileSettings(CompileSettings &record);
// True at the first difference: an option, an option byte, the defines (count, any name or
// value), or either text compared without regard to case.
[[nodiscard]] bool CompileSettingsChanged(const CompileSettings &record);

// The open or save file dialog: runs it, then checks that its directory can be written.
class TFileDialog {
public:
    virtual ~TFileDialog() = default;
    virtual bool Execute() = 0;
    virtual std::string FileName() const = 0;
    // Every file chosen, in the order given (an open dialog that allows several).
    virtual std::vector<std::string> FileNames() const { return {FileName()}; }
};

// What a file dialog is made for. The filter is a list of "description|patterns|" pairs; the
// index of the filter shown first counts from 1.
struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    std::string title;
    std::string directory;
    std::string file_name;
    std::string filter;
    int filter_index = 1;
    bool multi_select = false;
    bool must_exist = true;
};
using FileDialogFactory = std::function<std::unique_ptr<TFileDialog>(const FileDialogRequest &)>;
// The IDE installs its dialogs; null restores the window-less ones, which choose nothing.
void set_file_dialog_factory(FileDialogFactory factory);
std::unique_ptr<TFileDialog> make_file_dialog(const FileDialogRequest &request);
// Returns whether the user confirmed (the probe's outcome does not change the result).
bool ProbeDialogDirectory(TFileDialog &dialog);
