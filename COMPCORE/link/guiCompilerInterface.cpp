// guiCompilerInterface: the compile-and-load sequence (see the header).
//
// States of the link during a load (`gTCState`): 1 connect and cold loader -> 2 pilot BIOS and
// negotiation -> 3 BIOS compile -> 0 after any compile (the download sets 4 meanwhile).
#include "guiCompilerInterface.h"

#include "driver/BiosCache.h"
#include "driver/CC_BOARD.h"
#include "parser/CC_DECL.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "driver/CC_GO.h"
#include "parser/CC_HIER.h"
#include "core/CC_MISC.h"
#include "core/CC_MOD.h"
#include "linker/CC_ROM.h"
#include "linker/LB_CAT.h"
#include "linker/MD5.h"
#include "core/SEAM_SETTINGS.h"
#include "core/SEAM_TARGET.h"
#include "TC.h"
#include "core/guiInterface.h"
#include "settings/guiKXPreferences.h"
#include "guiTrace.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <random>
#include <thread>

uint8_t gCompileToFile = 0;
uint8_t gUseAttachedTarget = 0;
uint8_t gPilotLoad = 1;
uint8_t gIncludeBiosInImage = 1;
uint16_t gDebugTag = 0;
uint32_t gBiosTimeStamp = 0;
std::array<uint8_t, 16> gPassPhraseDigest{};

namespace {

constexpr uint32_t kMsgCannotOpenFile = 5023;    // "Cannot open file '%s'."
constexpr uint32_t kMsgNoProcessor = 7606;       // "No Vireon Processor Detected."
constexpr uint32_t kMsgBoxCaption = 7626;        // "error"
constexpr uint32_t kMsgOpeningConnection = 7700; // "Opening connection to %s:%d"
constexpr uint32_t kMsgLoadingColdLoader = 7701;
constexpr uint32_t kMsgSendingPilot = 7702;
constexpr uint32_t kMsgNegotiating = 7703;
constexpr uint32_t kMsgCompilingFile = 7704;     // "Compiling File: %s."
constexpr uint32_t kMsgDiscoveringBoard = 7712;
constexpr uint32_t kMsgBoard = 7713;             // "Board: 0x%04x"
constexpr uint32_t kMsgBoardNamed = 7714;        // "Board: 0x%04x - %s"
constexpr uint32_t kMsgCacheFolder = 7353;       // "The cache folder %s cannot be created: %s. ..."

// Captions by kind of compile (rows) and output mode (columns: 0 flash, 1 RAM, 2 flash and
// run in RAM).
constexpr uint32_t kCaptions[3][3] = {
    {7705, 7705, 7706}, // to a file with an attached target
    {7707, 7707, 7708}, // to a file without a target
    {7709, 7711, 7710}, // to the target
};

// The phrase a cancelled pass-phrase dialog leaves: 14 printable characters.
constexpr char kDefaultPassPhrase[] = "Kx#Vireon-2000";
static_assert(sizeof kDefaultPassPhrase == 15);

// The slowest rate the program's link runs at on a board with a slow clock.
constexpr uint32_t kSlowClockBaud = 57600;
constexpr int32_t kSlowClockDivider = 12;

// What a compile left open of the object trace file is closed (its trailer written) before the
// BIOS compile opens its own, and after it.
void close_leftover_object_file()
{
    if (object_file_open())
        close_object_file();
}

TCOptionsType g_comm_settings;
uint32_t g_cold_loader_baud = 2400;
uint32_t g_bios_baud = 57600;
uint32_t g_debug_baud = 115200;

bool is_tcp() { return g_comm_settings.link_kind != 0; }

// A target takes part unless compiling to a file without one.
bool target_involved() { return !gCompileToFile || gUseAttachedTarget; }

void set_status_line(const std::string &text)
{
    if (TMainWindowHost *host = gMainWindowInterface->Host())
        host->SetStatusText(text);
}

// Every open of the sequence: a copy of the settings at the rate the field holds now, then the
// handlers and the trace writers on the connection.
void open_link(ReaderMode mode, bool with_pass_phrase)
{
    TcOpenConnection(g_comm_settings, mode,
                     with_pass_phrase ? TcPassPhraseCallback(PassPhraseDigestCallback)
                                      : TcPassPhraseCallback{});
    TcRegisterHandlers();
    TcRegisterTraceCallbacks();
}

void open_at(uint32_t baud, ReaderMode mode = ReaderMode::threaded)
{
    g_comm_settings.baud_rate = baud;
    open_link(mode, true);
}

// While it lives, the compile writes its own files into the folder given.
class OutputFolderScope {
public:
    explicit OutputFolderScope(const std::string &folder) : m_saved(output_folder())
    {
        set_output_folder(folder);
    }
    ~OutputFolderScope() { set_output_folder(m_saved); }
    OutputFolderScope(const OutputFolderScope &) = delete;
    OutputFolderScope &operator=(const OutputFolderScope &) = delete;

private:
    std::string m_saved;
};

// A loader file as the settings name it, else the same name below the program directory.
std::string loader_file(const std::string &setting)
{
    const std::string name = normalize_separators(setting);
    std::error_code ec;
    if (name.empty() || std::filesystem::is_regular_file(name, ec))
        return name;
    return (std::filesystem::path(program_directory()) / name).string();
}

std::optional<uint32_t> modification_time(const std::string &path)
{
    struct stat st{};
    if (path.empty() || ::stat(normalize_separators(path).c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<uint32_t>(st.st_mtime);
}

uint16_t new_debug_tag()
{
    static std::mt19937 generator{std::random_device{}()};
    return static_cast<uint16_t>(std::uniform_int_distribution<int>(0, 32767)(generator));
}

void check_bios_file()
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(normalize_separators(bios_file()), ec))
        throw xFileOpen(kMsgCannotOpenFile, bios_file().c_str(), KX_HERE);
}

void connect_for_load()
{
    gTCState = 1;
    TcCloseConnection();
    gDialogControl.ShowStatusBox(false, "", "");
    if (is_tcp())
        TcSetRetryCount(0);
    // The snapshot holds the kind of compile as the compile will read it.
    gTargetlessCompile = gCompileToFile;
    save_compile_settings();
    SetCompilingBios(0);
    if (!target_involved())
        return;
    g_comm_settings.baud_rate = g_bios_baud;
    gDialogControl.ShowStatusBox(false, "", "");
    if (is_tcp())
        gDialogControl.SizeStatusBoxToText(GetResString(
            kMsgOpeningConnection, comm_text(g_comm_settings.network_address).c_str(),
            int(g_comm_settings.control_port)));
    open_link(ReaderMode::synchronous, true);
}

// True when the cold loader went (or no target takes part).
bool load_initial_loader()
{
    if (!target_involved())
        return true;
    TIdePreferences &prefs = IdePreferences();
    // The target is about to be reset: whatever tracing ran there ends with it.
    if (prefs.enable_tracing && prefs.tracing)
        prefs.tracing = false;
    set_status_line(GetResString(kMsgLoadingColdLoader));
    gDialogControl.PumpStatusBoxMessages();
    const bool sent = TcSendColdLoader(loader_file(prefs.cold_loader_file), g_cold_loader_baud);
    gDialogControl.PumpStatusBoxMessages();
    return sent;
}

void reload_pilot_bios()
{
    connect_for_load();
    if (load_initial_loader())
        LoadPilotBiosAndNegotiateBaud();
}

// The file of the compile, as the status box shows it.
void show_compile_file(const std::string &file)
{
    set_current_source(file);
    gDialogControl.SetStatusBoxPathText(file);
    gDialogControl.SizeStatusBoxToText(GetResString(kMsgCompilingFile, file.c_str()));
}

} // namespace

// ---- settings ----------------------------------------------------------------------------------

void SetCommSettings(const TCOptionsType &settings) { copy_comm_settings(g_comm_settings, settings); }
void GetCommSettings(TCOptionsType &settings) { copy_comm_settings(settings, g_comm_settings); }

void SetLoaderBaudRates(uint32_t cold_loader, uint32_t bios, uint32_t debug)
{
    g_cold_loader_baud = cold_loader;
    g_bios_baud = bios;
    g_debug_baud = debug;
}

void GetLoaderBaudRates(uint32_t &cold_loader, uint32_t &bios, uint32_t &debug)
{
    cold_loader = g_cold_loader_baud;
    bios = g_bios_baud;
    debug = g_debug_baud;
}

void ClearCompileFlags()
{
    gCompileToFile = 0;
    gUseAttachedTarget = 0;
}

bool IsAttachedTargetCompile() { return gUseAttachedTarget != 0; }

uint32_t ProgramLinkBaud()
{
    if (g_debug_baud > kSlowClockBaud && compile_board().freq_divider < kSlowClockDivider)
        return kSlowClockBaud;
    return g_debug_baud;
}

// ---- entry points ------------------------------------------------------------------------------

int CompileWithBiosCheck(const std::string &file)
{
    check_bios_file();
    ClearCompileFlags();
    reset_errors();
    int status = 0;
    if (BiosNeedsRecompiling())
        status = ResetAndLoadBios();
    else if (gPilotLoad)
        reload_pilot_bios();
    if (status >= 0 && !(status & 2))
        status = CompileAndLoad(file);
    return status;
}

namespace {

// A compile to a file checks stores through pointers as its settings say, for its own duration;
// every other compile finds the switch on.
class PointerCheckingFromSettings {
public:
    PointerCheckingFromSettings() { set_pointer_checking(IdePreferences().rtc_pointers); }
    ~PointerCheckingFromSettings() { set_pointer_checking(true); }
    PointerCheckingFromSettings(const PointerCheckingFromSettings &) = delete;
    PointerCheckingFromSettings &operator=(const PointerCheckingFromSettings &) = delete;
};

}  // namespace

int CompileFile(const std::string &file, bool use_attached_target)
{
    PointerCheckingFromSettings pointer_checking;
    clear_compile_board_type();
    reset_errors();
    gCompileToFile = 1;
    gUseAttachedTarget = use_attached_target ? 1 : 0;
    int status = ResetAndLoadBios();
    if (status >= 0 && !(status & 2)) {
        gIncludeBiosInImage = IdePreferences().include_bios ? 1 : 0;
        status = CompileAndLoad(file);
        gIncludeBiosInImage = 1;
    }
    return status;
}

int ResetAndLoadBios()
{
    gTCState = 1;
    connect_for_load();
    const int status = LoadBios();
    if (status > 0 && (status & 1))
        BringMainWindowToFront();
    return status;
}

// ---- the steps ---------------------------------------------------------------------------------

bool BiosNeedsRecompiling()
{
    if (const std::optional<uint32_t> stamp = modification_time(bios_file())) {
        const bool changed = *stamp != gBiosTimeStamp;
        gBiosTimeStamp = *stamp;
        if (changed)
            return true;
    }
    // The BIOS's files in the cache are gone (the cache was cleared, or another BIOS compile
    // failed to replace them): the BIOS is compiled again.
    if (!bios_cache_set_complete(last_bios_cache_set(), bios_file()))
        return true;
    lib_index_remove_used_modules();
    if (get_compile_mode() != 0)
        return true;
    if (save_edited_bios_libraries() != 0)
        return true;
    if (compile_settings_changed())
        return true;
    // A target that answers nothing keeps the tag one below ours: it counts as reset.
    if (!is_tcp()) {
        uint16_t tag = static_cast<uint16_t>(gDebugTag - 1);
        TcGetDebugTag(tag);
        if (tag != gDebugTag)
            return true;
    }
    return false;
}

int LoadBios()
{
    // The BIOS's own files go under the user's cache folder, never beside the BIOS source (the
    // program's resources may be read-only). That folder is made before the target is touched:
    // without it nothing is compiled, loaded or written.
    BiosCompileOutputs outputs;
    std::string failed_folder, reason;
    if (!outputs.open(bios_file(), failed_folder, reason)) {
        ShowAppMessageBox(GetResString(kMsgCacheFolder, failed_folder.c_str(), reason.c_str()),
                          GetResString(kMsgBoxCaption), kMbOk | kMbIconError);
        set_compile_mode(1);
        return 2;
    }
    gBiosCompileFlag = 1;
    gDebugTag = new_debug_tag();
    try {
        if (!load_initial_loader()) {
            // Nothing was loaded: the program must not go to a board without our BIOS.
            ShowAppMessageBox(GetResString(kMsgNoProcessor), GetResString(kMsgBoxCaption),
                              kMbOk | kMbIconError);
            set_compile_mode(1);
            gBiosCompileFlag = 0;
            return 2;
        }
        LoadPilotBiosAndNegotiateBaud();
        if (const std::optional<uint32_t> stamp = modification_time(bios_file()))
            gBiosTimeStamp = *stamp;
        gDebugRstState = IdePreferences().include_rst28 ? 0 : 1;
        gTCState = 3;
        close_leftover_object_file();
        reset_program_extent();
        // The one-time warning of a missing runtime library may come again for this BIOS.
        (void)runtime_library_missing();
        // A BIOS compile: its image is kept for the program images that include the BIOS.
        compile_conditions().bios_kept_in_memory = true;
        int status = 2;
        {
            const OutputFolderScope into_cache(outputs.folder());
            status = CompileAndLoad(bios_file());
        }
        compile_conditions().bios_kept_in_memory = false;
        close_leftover_object_file();
        // Only a whole compile takes the set's place; a set that cannot be kept is compiled
        // again next time.
        if (status >= 0 && !(status & 2))
            (void)outputs.publish(compile_board().board_type);
        // A flash written without erasing keeps the BIOS: the pilot need not come first.
        if (target_involved() && !compile_conditions().flash_info)
            gPilotLoad = 0;
        SetCompilingBios(0);
        gBiosCompileFlag = 0;
        return status;
    } catch (...) {
        close_leftover_object_file();
        compile_conditions().bios_kept_in_memory = false;
        SetCompilingBios(0);
        gBiosCompileFlag = 0;
        set_compile_mode(1);
        throw;
    }
}

void LoadPilotBiosAndNegotiateBaud()
{
    if (!target_involved())
        return;
    gTCState = 2;
    const std::string pilot = loader_file(IdePreferences().pilot_bios_file);
    gDialogControl.ShowStatusBox(false, "", "");
    set_status_line(GetResString(kMsgSendingPilot));
    gDialogControl.PumpStatusBoxMessages();
    TcSendPilotBios(pilot, g_bios_baud);
    gDialogControl.PumpStatusBoxMessages();
    open_at(g_bios_baud);

    if (g_comm_settings.disable_baud_negotiation) {
        if (TcSetBaudRate(g_debug_baud))
            open_at(g_debug_baud);
    } else {
        set_status_line(GetResString(kMsgNegotiating));
        uint32_t candidate = g_comm_settings.max_download_baud;
        bool accepted = false;
        while (!accepted && candidate > g_bios_baud) {
            // An open that fails says the local port cannot run at the rate.
            try {
                open_at(candidate);
            } catch (const xUserCancel &) {
                throw;
            } catch (xErr &) {
                candidate /= 2;
                continue;
            }
            open_at(g_bios_baud);
            if (!TcSetBaudRate(candidate)) {
                candidate /= 2;
                continue;
            }
            accepted = true;
        }
        // Only a rate the target agreed to: with none, the link stays at the BIOS rate.
        open_at(accepted ? candidate : g_bios_baud);
    }
    if (!is_tcp())
        TcSetDebugTag(gDebugTag);
    SetCompilingBios(0);
}

int CompileAndLoad(const std::string &file)
{
    const bool bios = gBiosCompileFlag != 0;
    gDebugRstState = IdePreferences().include_rst28 ? 0 : 1;
    int status = 2;
    try {
        if (!gCompileToFile && !gPilotLoad) {
            if (bios)
                g_comm_settings.baud_rate = g_bios_baud; // the link stays as negotiated
            else
                open_at(ProgramLinkBaud());
        }
        // What the compile reads of this sequence.
        gTargetlessCompile = gCompileToFile;
        gBiosLoadFlag = target_involved() ? 1 : 0;
        compile_conditions().to_file = gCompileToFile != 0;
        compile_conditions().bios_present = gIncludeBiosInImage != 0;
        ShowCompileStatusCaption();
        show_compile_file(file);
        // The functions this compile defines are the ones a run-time error is placed in.
        clear_function_starts();
        SetCompilingBios(bios ? 1 : 0);
        // A program for the target starts a new trace: the compile fills the names again.
        if (!bios && !gCompileToFile && IdePreferences().enable_tracing)
            trace_buf().PrepareTraceForCompile();
        status = compile_file();
    } catch (const xUserCancel &) {
        close_bin_output();
        if (bios)
            set_compile_mode(1);
        gCompileToFile = 0;
        if (is_tcp()) {
            set_compile_mode(1);
            TcCancelRequest();
            TcCloseConnection();
        }
        gDialogControl.CloseStatusBox();
        status = -1;
    } catch (xErr &e) {
        close_bin_output();
        e.ShowError();
        reset_compile_mode();
        if (bios)
            set_compile_mode(1);
        status = 2;
    } catch (...) {
        status = 2;
    }
    gTCState = 0;
    gIncludeBiosInImage = 1;
    compile_conditions().bios_present = true;
    return status;
}

void ShowCompileStatusCaption()
{
    const int kind = !gCompileToFile ? 2 : gUseAttachedTarget ? 0 : 1;
    const unsigned mode = IdePreferences().output_mode;
    const uint32_t caption = kCaptions[kind][mode < 3 ? mode : 0];
    std::string text;
    if (kind == 0) {
        const uint16_t board = compile_board().board_type;
        text = board == 0 ? GetResString(kMsgDiscoveringBoard)
                          : GetResString(kMsgBoard, unsigned(board));
    } else if (kind == 1) {
        text = GetResString(kMsgBoardNamed, unsigned(gBoardParameters.boardType & 0xFFFF),
                            gBoardParameters.description.c_str());
    }
    gDialogControl.ShowStatusBox(true, GetResString(caption), "");
    gDialogControl.SizeStatusBoxToText(text);
}

void ReconnectAtDebugBaud()
{
    if (!gCompileToFile) {
        TcStartBios(IdePreferences().output_mode == 1 ? 1 : 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(link_timings().bios_start_ms));
        g_comm_settings.baud_rate = ProgramLinkBaud();
        if (gPilotLoad)
            open_link(ReaderMode::threaded, true);
        if (is_tcp())
            TcSetTargetBaud(g_debug_baud);
        open_link(ReaderMode::threaded, false);
        if (!is_tcp())
            TcSetDebugTag(gDebugTag);
    }
    init_exit_hook();
}

std::array<uint8_t, 16> PassPhraseDigestCallback()
{
    TcRegisterHandlers();
    gTCPPassPhraseControl.Ask();
    std::string phrase = kDefaultPassPhrase;
    if (gTCPPassPhraseControl.Accepted())
        phrase = gTCPPassPhraseControl.Phrase();
    else
        TcCancelRequest();
    gPassPhraseDigest = md5_digest(std::span<const uint8_t>(
        reinterpret_cast<const uint8_t *>(phrase.data()), phrase.size()));
    gTCPPassPhraseControl.Close();
    return gPassPhraseDigest;
}
