// The GUI test programs' harness: the QApplication made inside a global test environment
// (offscreen when no display is set; test discovery never makes it), a temporary
// XDG_CONFIG_HOME for the whole program, scripted message boxes and file dialogs, a recording
// settings-and-project store, and a fixture with a main window and a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "FrameDoubles.h"
#include "shell/frmKXMain.h"
#include "debug/guiDebugWindows.h"
#include "core/guiInterface.h"
#include "shell/guiStore.h"

class QApplication;

#include <QImage>
#include <QString>
#include <ostream>

// Test output shows a QString as its text.
inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }
// And a place in an editor's text as (line, column).
inline void PrintTo(const TTextPosition &at, std::ostream *out)
{
    *out << '(' << at.line << ", " << at.column << ')';
}

// Boxes answer from a queue (then as nobody would: OK, else Cancel, else No) and are recorded.
class ScriptedBoxes : public TMessageBoxHost {
public:
    struct Shown {
        std::string text, caption;
        unsigned flags;
    };
    std::vector<Shown> shown;
    std::deque<int> answers;
    int ShowMessageBox(const std::string &text, const std::string &caption,
                       unsigned flags) override;
};

// File dialogs: each request is recorded and answered by the next scripted choice (an empty
// choice is a Cancel).
class ScriptedDialogs {
public:
    std::vector<FileDialogRequest> requests;
    std::deque<std::vector<std::string>> choices;
    FileDialogFactory Factory();
};

// The store double: counts every call, keeps a recently-used list, and can be made to fail.
class RecordingStore : public TIdeStore {
public:
    int loads = 0, saves = 0, project_saves = 0;
    std::string source_extensions;
    std::vector<EditorState> mru;
    std::vector<std::string> calls;
    std::function<void(const std::string &call)> fail; // may throw for a call

    void LoadEnvironment() override;
    void SaveEnvironment() override;
    void SetSourceExtensions(const std::string &list) override;
    void SaveProject() override;
    int MruFindFile(const std::string &path) override;
    std::optional<EditorState> MruGetEntry(int index) override;
    void MruRemoveEntry(int index) override;
    void MruAddEditor(const EditorState &state) override;
    // The list's indices stay list positions; the separator is only kept.
    int separator_index = -2;
    void MruSetSeparatorIndex(int index) override;
    std::vector<std::string> MruMenuPaths() override;

private:
    void Note(const std::string &call);
};

// The debug windows as the main window sees them: each toggle flips the window's shown flag
// (making it when it does not exist) and is recorded as "Toggle <name>"; a toggle can be made to
// throw.
class RecordingDebugWindows : public TDebugWindows {
public:
    std::array<bool, kDebugWindowCount> exists{};
    std::array<bool, kDebugWindowCount> shown{};
    std::vector<std::string> calls;
    std::function<void(DebugWindow)> fail;
    // The adapter each window answers with while it exists (none by default).
    std::array<TGuiInterface *, kDebugWindowCount> adapters{};

    bool Exists(DebugWindow window) override { return exists[Index(window)]; }
    bool IsShown(DebugWindow window) override { return shown[Index(window)]; }
    void Toggle(DebugWindow window) override;
    TGuiInterface *Adapter(DebugWindow window) override
    {
        return exists[Index(window)] ? adapters[Index(window)] : nullptr;
    }
    TStdioWindow *StdioWindow() override { return nullptr; }
    // A real window a test hands in, answered while the window exists (none by default).
    std::array<TfrmDockable *, kDebugWindowCount> windows{};
    TfrmDockable *Window(DebugWindow window) override
    {
        return exists[Index(window)] ? windows[Index(window)] : nullptr;
    }
    static std::size_t Index(DebugWindow window) { return static_cast<std::size_t>(window); }
};

// A screenshot taken by one disabled case of this test program, run again as a child on a fresh
// Xvfb server (DISPLAY set, QT_QPA_PLATFORM xcb); the case saves the picture at the path in
// KX_SCREENSHOT. The picture is also kept as <build>/screenshots/<kept_name> for a look.
struct XScreenshot {
    bool skipped = false;  // no Xvfb on this machine
    std::string failure;   // why there is no picture (the child's output when it failed)
    QImage image;
};
XScreenshot screenshot_under_x(const std::string &child_filter, const std::string &kept_name);
// The pixels of exactly that colour (alpha ignored).
int count_pixels(const QImage &image, QRgb colour);
// The pixels whose red, green and blue each lie within the tolerance of the colour's: text
// drawn with antialiasing or another machine's font rendering has few pixels of exactly it.
int count_pixels_near(const QImage &image, QRgb colour, int tolerance);
// The monospaced font ./kx installs (fonts-dejavu-core): screenshot tests draw the editor in it
// so that their pictures do not depend on the fonts a machine has besides.
inline constexpr const char *kScreenshotFont = "DejaVu Sans Mono";

// The program's QApplication (made by the environment).
QApplication &test_application();
// The temporary XDG_CONFIG_HOME of this test program.
const std::string &test_config_home();

// A main window over fresh doubles and a temporary folder that is the current folder (with the
// settings store's file, "registry.kxreg", in it); the settings object at its defaults with the source extensions built; a linker double whose
// library index loads, so that the compiler starts as in a whole build; nothing recorded in the
// message list and the compiler's start-up not yet run.
class GuiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a file (bytes exactly) under the temporary folder; its path.
    std::string Write(const std::string &name, const std::string &bytes);
    std::string Read(const std::string &path) const;
    std::string Path(const std::string &name) const;
    // Makes the main window (FormCreate, shown) unless the test started the IDE itself.
    TfrmMainWindow &Main();
    // Types at the caret as the user would ("\n" presses Return).
    void Type(TfrmEdit *editor, const QString &text);
    // Lets the event loop run briefly (posted events, deferred deletes).
    static void Settle();

    std::filesystem::path m_dir;
    std::filesystem::path m_old_cwd;
    ScriptedBoxes m_boxes;
    ScriptedDialogs m_dialogs;
    RecordingStore m_store;
    RecordingDebugWindows m_windows;
    RecordingLinker m_linker;
    TfrmMainWindow *m_main = nullptr;
};
