// kxwStartup: start-up and command line of the IDE.
#include "kxwStartup.h"

#include <QAction>
#include <QApplication>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>

#include "driver/BiosCache.h"
#include "driver/CC_GO.h"
#include "core/CC_MISC.h"
#include "debugger/DB_DA.h"
#include "linker/LB_CAT.h"
#include "linker/MAPFILE.h"
#include "core/QBSTRING.h"
#include "link/TcRequests.h"
#include "link/cWatchList.h"
#include "link/TcTargetOperations.h"
#include "driver/Temporaryglobals.h"
#include "editor/MemoOptions.h"
#include "frmKXMain.h"
#include "frmKXMessages.h"
#include "options/frmKXPassPhrase.h"
#include "frmKXSplash.h"
#include "debug/frmKXStdio.h"
#include "debug/guiDebugger.h"
#include "settings/guiEnvironment.h"
#include "core/guiExceptions.h"
#include "guiHosts.h"
#include "settings/guiKXPreferences.h"
#include "guiStore.h"

std::string gStartupErrorText;
const char *const gStartupErrorCaption = "Korvex unable to open";
TfrmSplash *frmSplash = nullptr;

namespace {

namespace fs = std::filesystem;

// "/debug" is a switch only as the whole word.
bool is_debug_switch(const std::string &arg) { return equal_ignoring_case(arg, "/debug"); }

// What the settings ask of the main window: its toolbar switches and dialog folders once it
// exists, the values the settings hold before.
class TShellSettingsHost : public TSettingsWindowHost {
public:
    bool MenuButtonsVisible() override
    {
        if (frmMainWindow && frmMainWindow->actViewToolBars)
            return frmMainWindow->actViewToolBars->isChecked();
        return IdePreferences().show_menu_buttons;
    }
    bool ConsolidateChecked() override
    {
        if (frmMainWindow && frmMainWindow->actConsolidate)
            return frmMainWindow->ConsolidatedToolBar() != nullptr;
        return IdePreferences().consolidate_buttons != 0;
    }
    // The folder Open and Save As last used; none yet, nothing: never the program's folder,
    // which the settings would keep past a move of the program.
    std::string OpenDialogInitDir() override
    {
        return frmMainWindow ? frmMainWindow->LastFileDir() : std::string();
    }
    std::string SaveDialogInitDir() override
    {
        return frmMainWindow ? frmMainWindow->LastFileDir() : std::string();
    }
    // The end of the settings load: the editors' program-wide options as the user left them.
    void AdjustEditorOptions() override { LoadEditorOptions(); }
};

TShellSettingsHost g_settings_host;

constexpr uint32_t kMsgNotAnOrdinaryFile = 7349;  // "The file %s is not an ordinary file ..."

} // namespace

// index = 1; "/debug" first moves it to 2; with at least two arguments, "-c" at the index
// takes the next argument as its value and moves it by 2; the argument at the index, if any,
// is the file.
CommandLine ParseCommandLine(const std::vector<std::string> &args)
{
    CommandLine line;
    std::size_t index = 1;
    if (args.size() > 1 && is_debug_switch(args[1])) {
        line.debug_switch = true;
        index = 2;
    }
    if (args.size() > 2 && index < args.size() && args[index] == "-c" &&
        index + 1 < args.size()) {
        line.c_value = args[index + 1];
        index += 2;
    }
    if (index < args.size()) {
        line.has_file = true;
        line.file = args[index];
    }
    return line;
}

void ClassifyCommandLineFile(const std::string &name)
{
    const std::string project_ext = fs::path("default.kxp").extension().string();
    const fs::path given(normalize_separators(name));
    std::error_code ec;
    fs::path completed = given.has_parent_path() ? given : fs::current_path(ec) / given;
    if (!given.has_extension())
        completed += project_ext;
    if (fs::is_directory(completed, ec))
        return;
    // A FIFO or a device would block the probe below, or feed the editor without end: it is
    // named once and not opened.
    const fs::file_status status = fs::status(completed, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        ShowAppMessageBox(GetResString(kMsgNotAnOrdinaryFile, completed.string().c_str()),
                          GetResString(kMsgErrorCaption), kMbOk | kMbIconError);
        return;
    }
    std::ifstream probe(completed, std::ios::binary);
    if (!probe)
        return;
    probe.close();
    const std::string path = completed.string();
    if (equal_ignoring_case(completed.extension().string(), project_ext))
        gCmdLineProject = path;
    else
        gCmdLineSource = path;
}

// The compiler messages window is made here when its "Child" setting is off (as a child it is
// made when first shown), or when it was up as the IDE last closed (the main window's first show
// brings it back). The other debug windows are made by the debug windows table when first shown.
void CreateDebugWindows()
{
    const MessageWindowSettings &messages = IdePreferences().messages;
    TDockPlacement last;
    ReadDockState(DockStateSection("frmMessages"), last);
    if ((!messages.child || last.visible) && frmMainWindow && !frmMessages)
        new TfrmMessages(frmMainWindow, messages.child, messages.dockable);
}

TfrmMainWindow *StartIde(const std::vector<std::string> &args, const std::string &program_path)
{
    gStartupErrorText.clear();
    const CommandLine line = ParseCommandLine(args);
    set_exception_debug_mode(line.debug_switch);
    if (const std::optional<std::string> refused = set_settings_version_key(line.c_value))
        ShowAppMessageBox(*refused, GetResString(kMsgErrorCaption), kMbOk | kMbIconError);
    set_program_directory(resource_directory_of(program_path));

    set_settings_window_host(&g_settings_host);
    ide_store().LoadEnvironment();
    ide_store().SetSourceExtensions(IdePreferences().syntax_file_types);
    // The libraries list: the setting's name as it is written, below the program directory.
    std::string libraries = program_directory();
    if (!libraries.empty() && libraries.back() != '/')
        libraries.push_back('/');
    set_libraries_file(libraries + IdePreferences().lib_dir_file);
    // The libraries' index files go to the user's cache: the program's folder stays as staged.
    set_library_index_folder((std::filesystem::path(user_cache_folder()) / "libindex").string());

    const bool splash = IdePreferences().show_splash_screen;
    if (splash) {
        frmSplash = new TfrmSplash;
        frmSplash->SetText("Loading...");
        frmSplash->show();
        frmSplash->repaint();
        set_splash_host(frmSplash);
        gDialogControl.SetSplashMode(true);
    }
    createStringPool();
    // The disassembly names code addresses by the functions and labels compiles recorded.
    setDisasmSymbolLookup(&map_address_name);
    auto *main = new TfrmMainWindow;
    main->FormCreate();
    if (frmSplash)
        frmSplash->StepIt();
    CreateDebugWindows();
    if (frmSplash) {
        gDialogControl.SetSplashMode(false);
        set_splash_host(nullptr);
        delete frmSplash;
        frmSplash = nullptr;
    }
    if (line.has_file)
        ClassifyCommandLineFile(line.file);
    set_main_window_interface(main->Adapter());
    // A TCP/IP board's challenge asks for its pass phrase on the IDE's form.
    gTCPPassPhraseControl.SetDialogFactory(qt_pass_phrase_dialogs(main));
    main->show();
    main->FirstTimeOnly()->start();
    return main;
}

void FinishIde()
{
    setDisasmSymbolLookup(nullptr);
    set_main_window_interface(nullptr);
    gDialogControl.CloseStatusBox();
    gDialogControl.SetBoxFactory(nullptr);
    gTCPPassPhraseControl.Reset();
    gTCPPassPhraseControl.SetDialogFactory(nullptr);
    delete frmMainWindow;
    set_settings_window_host(nullptr);
    if (!gStartupErrorText.empty())
        ShowAppMessageBox(gStartupErrorText, gStartupErrorCaption, kMbOk | kMbIconError);
}

int WinMain(int argc, char **argv)
{
    QApplication app(argc, argv);
    TQtMessageBoxHost boxes;
    set_message_box_host(&boxes);
    set_file_dialog_factory(qt_file_dialogs());
    // The target link serves the compiler, the project's link settings and the options dialog
    // from the first project load on.
    install_target_link();
    install_debugger_link();
    // The editor's fly-over hint evaluates through real watches.
    install_flyover_watches();
    install_stdio_unit();
    try {
        std::vector<std::string> args(argv, argv + argc);
        StartIde(args, QCoreApplication::applicationFilePath().toStdString());
        QApplication::exec();
        FinishIde();
    } catch (xErr &e) {
        e.ShowError();
    } catch (const std::exception &e) {
        ShowAppMessageBox(e.what(), gStartupErrorCaption, kMbOk | kMbIconError);
    } catch (...) {
        ShowAppMessageBox(gStartupErrorCaption, "", kMbOk | kMbIconError);
    }
    ShutdownLink();
    set_debugger_operations(nullptr);
    set_flyover_watch_factory(nullptr);
    set_target_operations(nullptr);
    restore_windowless_hosts();
    return 0;
}
