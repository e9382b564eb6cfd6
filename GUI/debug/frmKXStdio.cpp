// frmKXStdio: the stdio window, its escape machine and key buffer, and the stdio unit.
#include "frmKXStdio.h"

#include <QAction>
#include <QMenu>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <filesystem>
#include <system_error>

#include <unistd.h>

#include "core/CC_MISC.h"
#include "driver/CC_GO.h"
#include "debugger/TcTrace.h"
#include "controls/ColorConsoleView.h"
#include "guiDebugWindows.h"
#include "shell/frmKXMain.h"
#include "guiDebugger.h"
#include "core/guiExceptions.h"
#include "shell/guiHosts.h"
#include "FontRecord.h"
#include "RegularFile.h"

// ---- the escape machine ---------------------------------------------------------------------------

namespace {

constexpr uint8_t kEsc = 0x1B;

// A decimal value at the start of a text, as the C library's atol reads it (the parameter text
// holds only digits, ';' and '='), held within 32 bits: a run of digits longer than that stays
// at the limit instead of wrapping.
int64_t leading_value(std::string_view text)
{
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = std::min<int64_t>(value * 10 + (c - '0'), INT32_MAX);
    }
    return value;
}

bool is_parameter_byte(uint8_t c) { return (c >= '0' && c <= '9') || c == ';' || c == '='; }

} // namespace

TStdioEscapeMachine::TStdioEscapeMachine(TColorConsole &console, std::function<void()> clear_screen)
    : m_console(console), m_clear_screen(std::move(clear_screen))
{
}

void TStdioEscapeMachine::Feed(const uint8_t *bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        Step(bytes[i]);
}

void TStdioEscapeMachine::Step(uint8_t c)
{
    const State state = m_state;
    m_state = State::Text;
    switch (state) {
    case State::Text:
        if (c == kEsc)
            m_state = State::Escape;
        else
            m_console.DefaultProcessControlCodes(&c, 1);
        return;
    case State::Escape:
        switch (c) {
        case '[':
            m_count = 0;
            m_state = State::Sequence;
            return;
        case '=':
            m_state = State::PositionColumn;
            return;
        case 'G':
            m_state = State::Attribute;
            return;
        case 't':
            m_clear_screen();
            return;
        case 'T':
            m_console.ClrEol();
            return;
        default:
            return; // dropped with its ESC
        }
    case State::Sequence:
        if (is_parameter_byte(c) && m_count < kMaxParameters) {
            m_parameters[m_count++] = static_cast<char>(c);
            m_state = State::Sequence;
            return;
        }
        Final(c);
        return;
    case State::PositionColumn:
        m_kept = c;
        m_state = State::PositionRow;
        return;
    case State::PositionRow:
        m_console.SetCursor({static_cast<int8_t>(m_kept) - 32, static_cast<int8_t>(c) - 32});
        return;
    case State::Attribute:
        if (c == '0')
            m_attributes = 0;
        else
            m_attributes |= c - '0';
        return;
    }
}

// final = 'A' | 'B' | 'C' | 'D' | 'H' | 'J' | 'K' | 'm' | 's' | 'u'; any other ends the
// sequence with no effect.
void TStdioEscapeMachine::Final(uint8_t c)
{
    const std::string_view text(m_parameters.data(), m_count);
    const int64_t n = leading_value(text);
    const int64_t step = m_count == 0 ? 1 : n;
    TConsolePoint at = m_console.GetCursor();
    auto move = [&](int64_t col, int64_t row) {
        m_console.SetCursor({static_cast<int>(std::clamp<int64_t>(col, INT32_MIN, INT32_MAX)),
                             static_cast<int>(std::clamp<int64_t>(row, INT32_MIN, INT32_MAX))});
    };
    switch (c) {
    case 'A':
        move(at.X, at.Y - step);
        return;
    case 'B':
        move(at.X, at.Y + step);
        return;
    case 'C':
        move(at.X + step, at.Y);
        return;
    case 'D':
        move(at.X - step, at.Y);
        return;
    case 'H': {
        const int16_t row = static_cast<int16_t>(n - 1);
        int64_t col = 0;
        if (const auto semi = text.find(';'); semi != std::string_view::npos)
            col = std::max<int64_t>(leading_value(text.substr(semi + 1)) - 1, 0);
        move(col, row < 0 ? at.Y : row);
        return;
    }
    case 'J':
        if (text == "2")
            m_clear_screen();
        return;
    case 'K':
        if (m_count == 0)
            m_console.ClrEol();
        return;
    case 'm':
        SelectGraphicRendition(text);
        return;
    case 's':
        m_saved = at;
        return;
    case 'u':
        m_console.SetCursor(m_saved);
        return;
    default:
        return;
    }
}

// sgr = [ p { ";" p } ]: each p handled in turn, its choices applied to the font before the next.
void TStdioEscapeMachine::SelectGraphicRendition(std::string_view text)
{
    std::size_t start = 0;
    while (start < text.size()) {
        const auto p = static_cast<int16_t>(leading_value(text.substr(start)));
        if (p == 0) {
            m_attributes = 0;
            m_background = clWhite;
            m_foreground = clBlack;
        } else if (p == 1) {
            m_attributes |= 1;
        } else if (p == 7) {
            m_background = clBlack;
            m_foreground = clWhite;
        } else if (p == 8) {
            m_background = clWhite;
            m_foreground = clWhite;
        } else if (p >= 30 && p <= 37) {
            m_foreground = kStdioPalette[static_cast<std::size_t>(
                (m_attributes & 1) ? p - 22 : p - 30)];
        } else if (p >= 40 && p <= 47) {
            m_background = kStdioPalette[static_cast<std::size_t>(p - 40)];
        }
        if (m_background)
            m_console.Font().SetBkColor(*m_background);
        if (m_foreground)
            m_console.Font().SetColor(*m_foreground);
        const auto semi = text.find(';', start);
        if (semi == std::string_view::npos)
            return;
        start = semi + 1;
    }
}

// ---- the key buffer -------------------------------------------------------------------------------

bool TStdioKeyBuffer::Put(uint8_t key)
{
    if (m_count >= kSize)
        return false;
    m_ring[(m_read + static_cast<uint32_t>(m_count)) % kSize] = key;
    ++m_count;
    return true;
}

uint16_t TStdioKeyBuffer::Take(char &c)
{
    if (m_count == 0)
        return 0;
    c = static_cast<char>(m_ring[m_read % kSize]);
    ++m_read;
    const auto waiting = static_cast<uint16_t>(m_count);
    --m_count;
    return waiting;
}

// ---- the unit's state ------------------------------------------------------------------------------

namespace {

// Set by StdioBeginSession; cleared by the next output or by showing the window.
bool g_new_run = false;
// The next log write truncates the file.
bool g_log_truncate = false;
// The log could not be written in this run: it is left alone until the next run.
bool g_log_failed = false;
// A pending-input notification is being sent.
bool g_notifying = false;

const QRect kFormBounds(0, 0, 500, 500);

TfrmStdio *stdio_form(TStdioWindow *window) { return dynamic_cast<TfrmStdio *>(window); }

// A system colour of the settings as the console draws it.
TColor console_colour(TColor colour)
{
    if (!(colour & 0x80000000u))
        return colour;
    return (colour & 0xFFu) == 0x05 ? clWhite : clBlack; // the window colour, else its text
}

// Where the log goes: an absolute name as it is, a relative one under the program's state
// folder (never the current folder, never the program's).
std::filesystem::path log_path(const std::string &name)
{
    const std::filesystem::path path(normalize_separators(name));
    if (path.is_absolute() || name.empty())
        return path;
    return std::filesystem::path(TcTraceFolder()) / path;
}

// Appends (or, first in a run without "Append", replaces) the block; false with the reason.
bool write_log(const std::string &name, const char *text, uint16_t length, std::string &reason)
{
    if (name.empty()) {
        reason = "no file is named";
        return false;
    }
    const std::filesystem::path path = log_path(name);
    std::error_code ec;
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path(), ec);
    if (std::filesystem::is_directory(path, ec)) {
        reason = "it is a folder";
        return false;
    }
    // A FIFO would hold the IDE until something read it, and a device is no log: neither is
    // written into nor replaced.
    const int fd = open_regular_for_writing(path.string(), !g_log_truncate, reason);
    if (fd < 0)
        return false;
    bool whole = true;
    for (std::size_t done = 0; whole && done < length;) {
        const ssize_t wrote = ::write(fd, text + done, length - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        whole = wrote > 0;
        done += whole ? static_cast<std::size_t>(wrote) : 0;
    }
    const bool closed = ::close(fd) == 0;
    g_log_truncate = false;
    if (!whole || !closed) {
        reason = "not every byte could be written";
        return false;
    }
    return true;
}

void log_block(const char *text, uint16_t length)
{
    const StdioWindowSettings &settings = IdePreferences().stdio;
    if (!settings.log_stdio || g_log_failed)
        return;
    std::string reason;
    if (write_log(settings.log_file, text, length, reason))
        return;
    // The text still shows; the user learns once why the log stopped, and the next run tries
    // again (the setting itself is the user's and stays).
    g_log_failed = true;
    const std::string shown = settings.log_file.empty() ? std::string("(none)")
                                                        : log_path(settings.log_file).string();
    ShowAppMessageBox("The stdio log file " + shown + " cannot be written (" + reason +
                          "): logging stops for this run.",
                      "Warning", kMbOk | kMbIconWarning);
}

// A target-communication failure while announcing input ends the debugging session as a failed
// command does; any other error is only shown.
void report_notification_failure(TfrmMainWindow *main)
{
    try {
        throw;
    } catch (xTCErr &error) {
        try {
            debugger_operations().TcCloseConnection();
        } catch (xErr &) {
            // The connection is given up either way.
        }
        reset_compile_mode();
        gDialogControl.CloseStatusBox();
        error.ShowError();
        if (main && !main->IsEditMode())
            guarded([&] { main->SetDebugMode(0); });
    } catch (xErr &error) {
        error.ShowError();
    } catch (...) {
        xInternal(KX_HERE).ShowError();
    }
}

} // namespace

// ---- the window ----------------------------------------------------------------------------------

TfrmStdio::TfrmStdio(TfrmMainWindow *main, bool as_child, bool dockable)
    : TfrmDockable(main, QStringLiteral("frmStdio"), as_child, dockable, kFormBounds),
      console(new TColorConsoleView(this)),
      m_escapes(console->Model(), [this] { ClearScreen(); })
{
    SetCaption(QStringLiteral("Stdio"));
    m_sink.SetWindow(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(console);
    console->Model().SetProcessControlCodes(
        [this](const uint8_t *bytes, std::size_t count) { consoleProcessControlCodes(bytes, count); });
    console->onKeyPress = [this](uint8_t &key) { consoleKeyPress(key); };
    console->onKeyDown = [this](int key, Qt::KeyboardModifiers shift) {
        consoleKeyDown(key, shift);
    };

    actCopy = new QAction(tr("&Copy"), this);
    actCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    actCopyOldStyle = new QAction(this);
    actCopyOldStyle->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert));
    // Ctrl+Insert copies here as in the other debug windows.
    for (QAction *action : {actCopy, actCopyOldStyle}) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, [this] {
            guarded([&] {
                if (actCopyUpdate())
                    actCopyExecute();
            });
        });
    }
    PopupMenu1 = new QMenu(this);
    PopupMenu1->addAction(actCopy);
    console->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(console, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        actCopy->setEnabled(actCopyUpdate());
        PopupMenu1->popup(console->viewport()->mapToGlobal(at));
    });
    // A Ctrl+C without a selection is a typed character: the action only takes it with one.
    connect(PopupMenu1, &QMenu::aboutToHide, this, [this] { actCopy->setEnabled(true); });

    const StdioWindowSettings &settings = IdePreferences().stdio;
    if (Host())
        Host()->setGeometry(kFormBounds);
    TColorConsole &model = console->Model();
    model.SetSpacesInTab(settings.spaces_in_tab);
    model.SetRows(settings.rows);
    model.SetCols(settings.columns);
    uint8_t options = coLazyWrite;
    if (settings.horizontal_scroll)
        options |= coAutoTrackingX;
    if (settings.vertical_scroll)
        options |= coAutoTrackingY;
    model.SetOptions(options);
    TFont font;
    ApplyFontRecord(font, settings.font);
    model.Font().SetBkColor(console_colour(settings.background_colour));
    model.ClrScr();
    SetConsoleFont(font);
    SetBackgroundColor(settings.background_colour);
    m_text_colour = console_colour(font.colour);
    model.SetTextColor(m_text_colour);
    model.Font().SetColor(m_text_colour);
    m_bring_to_front = true;
    console->Refresh();
}

TfrmStdio::~TfrmStdio() { m_sink.SetWindow(nullptr); }

TfrmDockable *TfrmStdio::Make(TfrmMainWindow &main)
{
    const StdioWindowSettings &settings = IdePreferences().stdio;
    return new TfrmStdio(&main, settings.child, settings.dockable);
}

TGuiInterface *TfrmStdio::AdapterOf(TfrmDockable &window)
{
    auto *stdio = qobject_cast<TfrmStdio *>(&window);
    return stdio ? &stdio->Sink() : nullptr;
}

TColorConsole &TfrmStdio::Model() { return console->Model(); }

void TfrmStdio::ClearScreen()
{
    TColorConsole &model = console->Model();
    model.Font().SetBkColor(console_colour(IdePreferences().stdio.background_colour));
    model.ClrScr();
    console->Refresh();
}

void TfrmStdio::SetForegroundColor(TColor colour)
{
    colour = console_colour(colour);
    TColorConsole &model = console->Model();
    model.ChangeFgColorTo(m_text_colour, colour);
    m_text_colour = colour;
    model.Font().SetColor(colour);
    model.SetTextColor(colour);
    console->Refresh();
}

void TfrmStdio::SetBackgroundColor(TColor colour)
{
    colour = console_colour(colour);
    TColorConsole &model = console->Model();
    const TColor old = model.Color();
    model.Font().SetBkColor(colour);
    model.SetColor(colour);
    model.ChangeBkColorTo(old, colour);
    console->Refresh();
}

void TfrmStdio::SetConsoleFont(const TFont &font) { console->ChangeFontTo(font.font); }

void TfrmStdio::SetAutoHScroll(bool on)
{
    TColorConsole &model = console->Model();
    model.SetOptions(on ? (model.Options() | coAutoTrackingX) : (model.Options() & ~coAutoTrackingX));
    console->Refresh();
}

void TfrmStdio::SetAutoVScroll(bool on)
{
    TColorConsole &model = console->Model();
    model.SetOptions(on ? (model.Options() | coAutoTrackingY) : (model.Options() & ~coAutoTrackingY));
    console->Refresh();
}

void TfrmStdio::SetSpacesInTab(int spaces) { console->Model().SetSpacesInTab(spaces); }

void TfrmStdio::consoleProcessControlCodes(const uint8_t *bytes, std::size_t count)
{
    m_escapes.Feed(bytes, count);
}

void TfrmStdio::consoleKeyPress(uint8_t &key)
{
    m_keys.Put(key);
    key = 0;
    NotifyPendingInput();
}

void TfrmStdio::consoleKeyDown(int key, Qt::KeyboardModifiers shift)
{
    if (shift & Qt::ControlModifier)
        return;
    uint8_t scan = 0;
    switch (key) {
    case Qt::Key_Up:
        scan = 0x48;
        break;
    case Qt::Key_Down:
        scan = 0x50;
        break;
    case Qt::Key_Right:
        scan = 0x4D;
        break;
    case Qt::Key_Left:
        scan = 0x4B;
        break;
    default:
        return;
    }
    m_keys.Put(scan);
    NotifyPendingInput();
}

// The target learns how many characters wait, with polling paused around the request; never
// while the debugger core is itself fetching one, and never twice at once (a request pumps
// events, and keys typed meanwhile only go into the buffer).
void TfrmStdio::NotifyPendingInput()
{
    TDebuggerOperations &dbg = debugger_operations();
    if (g_notifying)
        return;
    TfrmMainWindow *main = MainWindow();
    TFlagScope guard(g_notifying);
    try {
        if (dbg.isWaitingForStdioChar())
            return;
        if (main)
            main->PausePolling();
        struct Resume {
            TfrmMainWindow *main;
            ~Resume()
            {
                if (main)
                    main->ResumePolling();
            }
        } resume{main};
        dbg.TcSendStdioCharCount(static_cast<uint8_t>(m_keys.Waiting() & 0xFF));
    } catch (...) {
        report_notification_failure(main);
    }
}

bool TfrmStdio::actCopyUpdate() const { return console->Model().HasSelection(); }

void TfrmStdio::actCopyExecute()
{
    if (console->Model().HasSelection())
        console->Copy();
}

void TfrmStdio::StdioOutput(const char *text, int length)
{
    if (m_bring_to_front) {
        m_bring_to_front = false;
        BringToFront();
    }
    if (length > 0)
        console->WriteString(reinterpret_cast<const uint8_t *>(text),
                             static_cast<std::size_t>(length));
}

void TfrmStdio::StdioBeginSession() { ::StdioBeginSession(); }

bool TfrmStdio::StdioInputChar(char &c) { return m_keys.Take(c) != 0; }

void TfrmStdio::showEvent(QShowEvent *event)
{
    TfrmDockable::showEvent(event);
    if (g_new_run) {
        console->Model().ClrScr();
        console->Refresh();
        g_new_run = false;
    }
}

// ---- the unit -----------------------------------------------------------------------------------

void StdioOutput(const char *text, uint16_t length)
{
    TfrmMainWindow *main = frmMainWindow;
    if (!main || main->IsEditMode())
        return;
    log_block(text, length);
    const bool new_run = g_new_run;
    const bool auto_open = IdePreferences().stdio.auto_open;
    TfrmStdio *window = stdio_form(show_stdio_window(auto_open && new_run ? 3 : 0));
    // Opening the window may have shown it (and cleared it): the run's first block clears it
    // all the same.
    if (window && new_run)
        window->ClearScreen();
    g_new_run = false;
    if (window)
        window->StdioOutput(text, length);
}

void StdioBeginSession()
{
    if (!IdePreferences().stdio.append)
        g_log_truncate = true;
    g_log_failed = false;
    g_new_run = true;
}

uint16_t StdioInputChar(char &c)
{
    TfrmMainWindow *main = frmMainWindow;
    TfrmStdio *window = main ? stdio_form(debug_windows().StdioWindow()) : nullptr;
    return window ? window->TakeInputChar(c) : 0;
}

namespace {

// What the debugger core reaches through StdioWrite, StdioReset and StdioReadChar.
class TStdioUnitEndpoint : public TStdioWindow {
public:
    void StdioOutput(const char *text, int length) override
    {
        ::StdioOutput(text, static_cast<uint16_t>(std::clamp(length, 0, 0xFFFF)));
    }
    void StdioBeginSession() override { ::StdioBeginSession(); }
    bool StdioInputChar(char &c) override { return ::StdioInputChar(c) != 0; }
};

TStdioUnitEndpoint g_endpoint;
bool g_installed = false;

} // namespace

void install_stdio_unit() { g_installed = true; }
void remove_stdio_unit() { g_installed = false; }
TStdioWindow *installed_stdio_unit() { return g_installed ? &g_endpoint : nullptr; }

TStdioWindow *show_stdio_window(int flags)
{
    TfrmMainWindow *main = frmMainWindow;
    if (!main)
        return nullptr;
    const bool wanted = (main->AutoShow(DebugWindow::Stdio) && !IdePreferences().open_none) ||
                        (flags & 1) != 0;
    TDebugWindows &windows = debug_windows();
    if (wanted && (!windows.Exists(DebugWindow::Stdio) || !windows.IsShown(DebugWindow::Stdio)))
        windows.Toggle(DebugWindow::Stdio);
    return windows.StdioWindow();
}
