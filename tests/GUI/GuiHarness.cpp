// The GUI test harness.
#include "GuiHarness.h"

#include <QApplication>
#include <cstdlib>
#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#include <unistd.h>

#include "core/CC_ER.h"
#include "driver/CC_GO.h"
#include "input/CC_IN.h"
#include "driver/Temporaryglobals.h"
#include "settings/guiEnvironment.h"
#include "settings/guiProjects.h"
#include "settings/guiKXPreferences.h"
#include "shell/kxwStartup.h"

namespace fs = std::filesystem;

namespace {

int g_argc = 1;
char g_arg0[] = "test_gui";
char *g_argv[] = {g_arg0, nullptr};
QApplication *g_app = nullptr;
std::string g_config_home;

// A QApplication cannot come up without a display: with none set, it runs offscreen. Each run
// of the program writes its settings under a temporary XDG_CONFIG_HOME, never the user's.
class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        const char *platform = std::getenv("QT_QPA_PLATFORM");
        const char *display = std::getenv("DISPLAY");
        const char *wayland = std::getenv("WAYLAND_DISPLAY");
        if ((!platform || !*platform) && (!display || !*display) && (!wayland || !*wayland))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        char pattern[] = "/tmp/kx_gui_config_XXXXXX";
        if (const char *made = mkdtemp(pattern))
            g_config_home = made;
        setenv("XDG_CONFIG_HOME", g_config_home.c_str(), 1);
        g_app = new QApplication(g_argc, g_argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override
    {
        delete g_app;
        g_app = nullptr;
        std::error_code ec;
        if (!g_config_home.empty())
            fs::remove_all(g_config_home, ec);
    }
};

[[maybe_unused]] ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

} // namespace

QApplication &test_application() { return *g_app; }
const std::string &test_config_home() { return g_config_home; }

XScreenshot screenshot_under_x(const std::string &child_filter, const std::string &kept_name)
{
    XScreenshot result;
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    if (xvfb.isEmpty()) {
        result.skipped = true;
        return result;
    }
    QProcess server;
    server.start(xvfb, {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    if (!server.waitForStarted(10000)) {
        result.failure = "Xvfb did not start";
        return result;
    }
    QByteArray display;
    for (int i = 0; i < 100 && !display.contains('\n'); ++i) {
        server.waitForReadyRead(100);
        display += server.readAllStandardOutput();
    }
    display = display.trimmed();
    const fs::path shot_path = fs::temp_directory_path() / ("kx_screenshot_" + std::to_string(getpid()) +
                                                           "_" + kept_name);
    QByteArray output;
    bool finished = false;
    if (!display.isEmpty()) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", ":" + QString::fromLatin1(display));
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("KX_SCREENSHOT", QString::fromStdString(shot_path.string()));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_also_run_disabled_tests",
                     QString::fromStdString("--gtest_filter=" + child_filter)});
        finished = child.waitForFinished(120000);
        output = child.readAll();
        if (!finished)
            child.kill();
        else if (child.exitCode() != 0)
            finished = false;
    }
    server.terminate();
    if (!server.waitForFinished(5000))
        server.kill();
    if (display.isEmpty()) {
        result.failure = "Xvfb named no display";
        return result;
    }
    if (!finished) {
        result.failure = output.toStdString();
        return result;
    }
    result.image = QImage(QString::fromStdString(shot_path.string()));
    if (result.image.isNull()) {
        result.failure = "no screenshot at " + shot_path.string();
        return result;
    }
    std::error_code ec;
    const fs::path kept = fs::path(KX_TOOLS_DIR).parent_path() / "screenshots" / kept_name;
    fs::create_directories(kept.parent_path(), ec);
    fs::copy_file(shot_path, kept, fs::copy_options::overwrite_existing, ec);
    fs::remove(shot_path, ec);
    return result;
}

int count_pixels(const QImage &image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

int count_pixels_near(const QImage &image, QRgb colour, int tolerance)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            n += std::abs(qRed(p) - qRed(colour)) <= tolerance &&
                 std::abs(qGreen(p) - qGreen(colour)) <= tolerance &&
                 std::abs(qBlue(p) - qBlue(colour)) <= tolerance;
        }
    return n;
}

int ScriptedBoxes::ShowMessageBox(const std::string &text, const std::string &caption,
                                  unsigned flags)
{
    shown.push_back({text, caption, flags});
    if (answers.empty())
        return unattended_answer(flags);
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

namespace {
class ScriptedDialog : public TFileDialog {
public:
    explicit ScriptedDialog(std::vector<std::string> choice) : m_choice(std::move(choice)) {}
    bool Execute() override { return !m_choice.empty(); }
    std::string FileName() const override { return m_choice.empty() ? "" : m_choice.front(); }
    std::vector<std::string> FileNames() const override { return m_choice; }

private:
    std::vector<std::string> m_choice;
};
} // namespace

FileDialogFactory ScriptedDialogs::Factory()
{
    return [this](const FileDialogRequest &request) {
        requests.push_back(request);
        std::vector<std::string> choice;
        if (!choices.empty()) {
            choice = choices.front();
            choices.pop_front();
        }
        return std::make_unique<ScriptedDialog>(choice);
    };
}

void RecordingStore::Note(const std::string &call)
{
    calls.push_back(call);
    if (fail)
        fail(call);
}

void RecordingStore::LoadEnvironment()
{
    ++loads;
    Note("LoadEnvironment");
}
void RecordingStore::SaveEnvironment()
{
    ++saves;
    Note("SaveEnvironment");
}
void RecordingStore::SetSourceExtensions(const std::string &list)
{
    source_extensions = list;
    ::SetSourceExtensions(list);
    Note("SetSourceExtensions");
}
void RecordingStore::SaveProject()
{
    ++project_saves;
    Note("SaveProject");
}
int RecordingStore::MruFindFile(const std::string &path)
{
    Note("MruFindFile");
    for (std::size_t i = 0; i < mru.size(); ++i)
        if (mru[i].path == path)
            return static_cast<int>(i);
    return -1;
}
std::optional<EditorState> RecordingStore::MruGetEntry(int index)
{
    Note("MruGetEntry");
    if (index < 0 || static_cast<std::size_t>(index) >= mru.size())
        return std::nullopt;
    return mru[static_cast<std::size_t>(index)];
}
void RecordingStore::MruRemoveEntry(int index)
{
    Note("MruRemoveEntry");
    if (index >= 0 && static_cast<std::size_t>(index) < mru.size())
        mru.erase(mru.begin() + index);
}
void RecordingStore::MruAddEditor(const EditorState &state)
{
    Note("MruAddEditor");
    mru.push_back(state);
}
void RecordingStore::MruSetSeparatorIndex(int index)
{
    Note("MruSetSeparatorIndex");
    separator_index = index;
}
std::vector<std::string> RecordingStore::MruMenuPaths()
{
    Note("MruMenuPaths");
    std::vector<std::string> paths;
    for (const EditorState &state : mru)
        if (paths.size() < 10)
            paths.push_back(state.path);
    return paths;
}

void RecordingDebugWindows::Toggle(DebugWindow window)
{
    calls.push_back(std::string("Toggle ") + debug_window_name(window));
    if (fail)
        fail(window);
    const std::size_t i = Index(window);
    exists[i] = true;
    shown[i] = !shown[i];
}

void GuiTest::SetUp()
{
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char &c : name)
        if (c == '/')
            c = '_';
    m_dir = fs::temp_directory_path() / ("kx_gui_" + std::to_string(getpid()) + "_" + name);
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    m_old_cwd = fs::current_path();
    fs::current_path(m_dir);
    reset_preferences_to_defaults();
    ::SetSourceExtensions(IdePreferences().syntax_file_types);
    reset_temporary_globals();
    gStartupErrorText.clear();
    set_program_directory(m_dir.string() + "/");
    // Each test its own settings file: what one test's windows store, the next never loads.
    set_settings_registry_path((m_dir / "registry.kxreg").string());
    set_ide_store(&m_store);
    set_debug_windows(&m_windows);
    set_linker_seam(&m_linker);
    set_message_box_host(&m_boxes);
    set_file_dialog_factory(m_dialogs.Factory());
    reset_errors();
    reset_start_up_stage();
    macro_table().clear(); // a project load defines macros once the compiler is joined
}

void GuiTest::TearDown()
{
    if (frmMainWindow)
        FinishIde();
    Settle();
    restore_windowless_hosts();
    set_ide_store(nullptr);
    set_debug_windows(nullptr);
    set_linker_seam(nullptr);
    reset_errors();
    reset_start_up_stage();
    reset_projects();
    reset_preferences_to_defaults();
    reset_temporary_globals();
    gStartupErrorText.clear();
    set_program_directory("");
    set_settings_registry_path("");
    set_settings_window_host(nullptr);
    fs::current_path(m_old_cwd);
    std::error_code ec;
    fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_dir, ec);
}

TfrmMainWindow &GuiTest::Main()
{
    if (!m_main) {
        m_main = new TfrmMainWindow;
        m_main->FormCreate();
        set_main_window_interface(m_main->Adapter());
        m_main->show();
    }
    return *m_main;
}

std::string GuiTest::Path(const std::string &name) const { return (m_dir / name).string(); }

std::string GuiTest::Write(const std::string &name, const std::string &bytes)
{
    const fs::path path = m_dir / name;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

std::string GuiTest::Read(const std::string &path) const
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void GuiTest::Type(TfrmEdit *editor, const QString &text)
{
    const QStringList lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(editor->Editor(), Qt::Key_Return);
        QTest::keyClicks(editor->Editor(), lines[i]);
    }
}

void GuiTest::Settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}
