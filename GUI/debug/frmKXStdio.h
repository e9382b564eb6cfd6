// frmKXStdio: `TfrmStdio`, the target program's console (caption "Stdio"), and the stdio unit
// the debugger core reaches through StdioWrite, StdioReset and StdioReadChar: every block the
// program prints is logged (when asked), shown through the window's escape machine, and the
// characters typed into the window wait in its key buffer until the program reads them.
//
// The escape machine (`TStdioEscapeMachine`) is plain C++ over the console model: ESC [ params
// final (cursor moves, clears, colours), ESC = column row, ESC G attribute, ESC t, ESC T.
// Every byte the machine does not take is written as text; a byte of 0x80 and above is its
// Latin-1 character.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "controls/ColorConsole.h"
#include "shell/frmKXDockable.h"
#include "core/guiInterface.h"

class QAction;
class QMenu;
class TColorConsoleView;
struct TFont;

// The sixteen console colours of the SGR codes 30-37 and 40-47 (entries 8-15 the bright half).
inline constexpr std::array<TColor, 16> kStdioPalette = {
    0x000000, 0x0000AA, 0x00AA00, 0x0056AA, 0xAA0000, 0xAA00AA, 0xAAAA00, 0xAAAAAA,
    0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};

class TStdioEscapeMachine {
public:
    // The machine writes into the console; `clear_screen` is the window's ClearScreen.
    TStdioEscapeMachine(TColorConsole &console, std::function<void()> clear_screen);
    // Feeds the bytes in order; a sequence may end in a later call.
    void Feed(const uint8_t *bytes, std::size_t count);
    int Attributes() const { return m_attributes; }
    bool InSequence() const { return m_state != State::Text; }

    // At most this many parameter characters are kept; the next one ends the sequence.
    static constexpr std::size_t kMaxParameters = 29;

private:
    enum class State : uint8_t { Text, Escape, Sequence, PositionColumn, PositionRow, Attribute };
    void Step(uint8_t c);
    void Final(uint8_t c);
    void SelectGraphicRendition(std::string_view text);

    TColorConsole &m_console;
    std::function<void()> m_clear_screen;
    State m_state = State::Text;
    std::array<char, kMaxParameters> m_parameters{};
    std::size_t m_count = 0;
    uint8_t m_kept = 0;
    int m_attributes = 0; // bit 0: bold, the bright half of the palette for text
    std::optional<TColor> m_foreground, m_background;
    TConsolePoint m_saved;
};

// The key buffer: a ring of 80 typed bytes.
class TStdioKeyBuffer {
public:
    static constexpr int kSize = 80;
    // False (the byte dropped) when 80 are waiting.
    bool Put(uint8_t key);
    // The number waiting before the take (0: none, c unchanged).
    uint16_t Take(char &c);
    int Waiting() const { return m_count; }

private:
    std::array<uint8_t, kSize> m_ring{};
    int m_count = 0;
    uint32_t m_read = 0;
};

class TfrmStdio : public TfrmDockable, public TStdioWindow {
    Q_OBJECT
public:
    TfrmStdio(TfrmMainWindow *main, bool as_child, bool dockable);
    ~TfrmStdio() override;

    TColorConsoleView *console = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *actCopy = nullptr;
    QAction *actCopyOldStyle = nullptr;

    // "Background Color" as the console font's background, then a clear screen.
    void ClearScreen();
    void SetForegroundColor(TColor colour);
    void SetBackgroundColor(TColor colour);
    void SetConsoleFont(const TFont &font);
    void SetAutoHScroll(bool on);
    void SetAutoVScroll(bool on);
    void SetSpacesInTab(int spaces);

    // The console hands every run it writes to the escape machine.
    void consoleProcessControlCodes(const uint8_t *bytes, std::size_t count);
    // A typed character goes into the key buffer (never onto the screen) and is announced.
    void consoleKeyPress(uint8_t &key);
    // Without Ctrl, an arrow key puts its PC scan code into the key buffer and is announced.
    void consoleKeyDown(int key, Qt::KeyboardModifiers shift);
    bool actCopyUpdate() const;
    void actCopyExecute();

    // TStdioWindow: the window's part of a block (to the front the first time, every byte
    // written), the unit's session start, and the next typed character.
    void StdioOutput(const char *text, int length) override;
    void StdioBeginSession() override;
    bool StdioInputChar(char &c) override;
    uint16_t TakeInputChar(char &c) { return m_keys.Take(c); }
    int WaitingKeys() const { return m_keys.Waiting(); }

    TColorConsole &Model();
    TStdioEscapeMachine &Escapes() { return m_escapes; }
    cTextStdio &Sink() { return m_sink; }

    // The debug windows' table makes the window through these.
    static TfrmDockable *Make(TfrmMainWindow &main);
    static TGuiInterface *AdapterOf(TfrmDockable &window);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void NotifyPendingInput();

    cTextStdio m_sink;
    TStdioEscapeMachine m_escapes;
    TStdioKeyBuffer m_keys;
    TColor m_text_colour = clBlack;
    bool m_bring_to_front = true;
};

// The stdio unit (one for the program).
// One block of target output: logged, then shown (see the header).
void StdioOutput(const char *text, uint16_t length);
// A program run begins: the next block clears the window (and with "Auto Open" opens it), and
// with "Append" off truncates the log.
void StdioBeginSession();
// The next typed character into c: the number waiting before it, 0 when none (c unchanged).
uint16_t StdioInputChar(char &c);
// Makes StdioWrite, StdioReset and StdioReadChar reach this unit (the IDE at start-up): the
// main window then answers the stdio unit for its stdio window, also while no window is there.
void install_stdio_unit();
void remove_stdio_unit();
// The unit as the main window hands it to the debugger core; null while not installed.
TStdioWindow *installed_stdio_unit();
// The stdio window, shown first when forced (flag bit 0) or when the main window's auto-show
// flag for it is on.
TStdioWindow *show_stdio_window(int flags);
