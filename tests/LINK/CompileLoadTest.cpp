// The compile-and-load sequence end to end: "#asm" programs compiled through the compile entry
// and loaded over the real target link into the board stand-in, on a pseudo-terminal and on
// loopback TCP: what goes at which line speed, when the BIOS is loaded again and when not, the
// baud-rate negotiation, compiling to a file, the status box's caption, and how a cancel or a
// failure ends a compile.
#include "CompileRunFixture.h"
#include "TcHarness.h"

#include "driver/BiosCache.h"
#include "driver/CC_BOARD.h"
#include "core/CC_ER.h"
#include "driver/CC_GO.h"
#include "parser/CC_HIER.h"
#include "core/CC_MOD.h"
#include "codegen/CC_Z80START.h"
#include "core/SEAM_SETTINGS.h"
#include "link/TcTargetOperations.h"
#include "link/guiCompilerInterface.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include <sys/ioctl.h>

using namespace tctest;
using namespace compile_run;
using vsim::LoaderLog;
namespace fs = std::filesystem;

namespace {

// A BIOS whose part ends at the pragma, as our BIOS ends.
constexpr const char *kBios = "#asm\n ld a, 1\n#endasm\n#pragma CompileProgram\n";
constexpr const char *kProgram = "#asm\n ld hl, 0x1234\n ld de, 0x5678\n#endasm\n";

// One frame as the stand-in logged it.
struct Logged {
    uint8_t type, subtype;
    uint32_t baud;
    std::vector<uint8_t> payload;
};

uint32_t le32(const std::vector<uint8_t> &p)
{
    return p.size() < 4 ? 0 : uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
}

class CompileLoad : public CompileRun {
protected:
    RecordingEvents events;
    linktest::TimingGuard timings;
    std::unique_ptr<BoardStandIn> board;
    TCOptionsType settings;

    void SetUp() override
    {
        CompileRun::SetUp();
        ShutdownLink();
        TcSetDebuggerEvents(&events);
        TLinkTimings &t = link_timings();
        t.cold_dtr_ms = t.cold_start_ms = t.cold_end_ms = t.cold_drain_ms = 1;
        t.usb_serial_delay_ms = 0;
        t.sync_read_ms = 2000;
        t.sync_poll_ms = 100;
        t.bios_start_ms = 0;
        TIdePreferences &p = IdePreferences();
        p.cold_loader_file = KX_TARGET_BIOS "/coldload.bin";
        p.pilot_bios_file = KX_TARGET_BIOS "/pilot.bin";
        p.output_mode = 0;
        p.enable_tracing = false;
        fs::create_directories(dir / "bios");
        write("bios/bios.c", kBios);
        set_bios_file(path("bios/bios.c"));
        write("prog/main.c", kProgram);
        // A bound on the board's answers, not a wait: a loaded machine may be slow to answer.
        settings = serial_settings(5000);
        settings.max_download_baud = 460800;
        SetCommSettings(settings);
        SetLoaderBaudRates(2400, 57600, 115200);
        gPilotLoad = 1;
        gBiosTimeStamp = 0;
        gDebugTag = 0;
        ClearCompileFlags();
        reset_compile_mode();
        install_target_link();
    }

    void TearDown() override
    {
        ShutdownLink();
        board.reset();
        TcSetDebuggerEvents(nullptr);
        SetSerialDevice(kComPort, "");
        SetModemStatusService({});
        ClearCompileFlags();
        gPilotLoad = 1;
        gBiosCompileFlag = 0;
        gTCState = 0;
        CompileRun::TearDown();
    }

    // The stand-in, cold, on a pty and TCP.
    void start_board(StandInConfig config = {})
    {
        config.firmware.initial_phase = BoardPhase::cold;
        config.wait_timeout = std::chrono::milliseconds(3000);
        board = std::make_unique<BoardStandIn>(config);
        std::string error;
        ASSERT_TRUE(board->start(error)) << error;
        if (config.serial)
            SetSerialDevice(kComPort, board->pty_path());
    }

    void use_tcp()
    {
        settings = tcp_settings(board->tcp_port(), 2000);
        settings.max_download_baud = 460800;
        SetCommSettings(settings);
    }

    std::vector<Logged> frames()
    {
        return board->with_firmware([](BoardFirmware &f) {
            std::vector<Logged> out;
            for (const auto &r : f.frames())
                out.push_back({r.type, uint8_t(r.subtype & kLinkSubtypeMask), r.baud, r.payload});
            return out;
        });
    }
    std::vector<Logged> frames(uint8_t type, uint8_t subtype)
    {
        std::vector<Logged> out;
        for (const Logged &f : frames())
            if (f.type == type && f.subtype == subtype)
                out.push_back(f);
        return out;
    }
    // The rates asked for with SETBAUDRATE, in order.
    std::vector<uint32_t> rates_asked()
    {
        std::vector<uint32_t> out;
        for (const Logged &f : frames(kLinkSys, kSysSetBaudRate))
            out.push_back(le32(f.payload));
        return out;
    }
    // The line speeds the write packets came at, before STARTBIOS and after it.
    std::pair<std::set<uint32_t>, std::set<uint32_t>> write_rates()
    {
        std::pair<std::set<uint32_t>, std::set<uint32_t>> out;
        bool started = false;
        for (const Logged &f : frames()) {
            if (f.type == kLinkSys && f.subtype == kSysStartBios)
                started = true;
            if (f.type == kLinkSys && f.subtype == kSysWrite)
                (started ? out.second : out.first).insert(f.baud);
        }
        return out;
    }
    LoaderLog loader() { return board->with_firmware([](BoardFirmware &f) { return f.loader(); }); }
    void clear_log() { board->with_firmware([](BoardFirmware &f) { f.clear_log(); }); }
    size_t raw_runs() { return board->with_firmware([](BoardFirmware &f) { return f.raw().size(); }); }

    // Bytes of the stand-in that differ from the image the compiles built, from 0 up to the
    // image's last programmed byte: "0x0012: 0xFF (expected 0x21)", the first few.
    std::string memory_differences(uint32_t extent = 0x8000)
    {
        std::string out;
        int shown = 0;
        board->with_firmware([&](BoardFirmware &f) {
            for (uint32_t a = 0; a < extent && shown < 4; ++a) {
                const uint8_t got = f.board().peek(a), want = linker.image[a];
                if (got == want)
                    continue;
                char line[64];
                std::snprintf(line, sizeof line, "0x%04X: 0x%02X (expected 0x%02X)\n", a, got,
                              want);
                out += line;
                ++shown;
            }
        });
        return out;
    }
    // The sequence's entry points, an escaping error reported as a failure of the test.
    int compile_to_target() { return entry([&] { return CompileWithBiosCheck(source); }); }
    int reset_and_load() { return entry([] { return ResetAndLoadBios(); }); }
    int entry(const std::function<int()> &call)
    {
        try {
            return call();
        } catch (xErr &e) {
            ADD_FAILURE() << "thrown: " << e.GetText() << "\n" << said();
            return 2;
        }
    }

    // The compiler's messages and the boxes shown: what a failed compile said.
    std::string said()
    {
        std::string out = messages_text();
        for (const auto &box : headless_message_box_host().shown)
            out += "box: " + box.text + "\n";
        return out;
    }
    HeadlessStatusBox *status_box()
    {
        return static_cast<HeadlessStatusBox *>(gDialogControl.Box());
    }
};

// ---- the first compile ------------------------------------------------------------------------

TEST_F(CompileLoad, AMissingBiosSourceSendsNothing)
{
    start_board();
    set_bios_file(path("bios/none.c"));
    std::string text;
    try {
        (void)CompileWithBiosCheck(source);
    } catch (xErr &e) {
        text = e.GetText();
    }
    EXPECT_EQ(text, "Cannot open file '" + path("bios/none.c") + "'.");
    EXPECT_EQ(raw_runs(), 0u);
    EXPECT_TRUE(frames().empty());
    EXPECT_EQ(CurrentConnection(), nullptr) << "nothing connected";
}

TEST_F(CompileLoad, TheFirstCompileOnTheSerialLineLoadsLoadersBiosAndProgram)
{
    StandInConfig config;
    config.firmware.max_baud = 230400;
    start_board(config);
    link_timings().cold_drain_ms = 250;

    const int status = compile_to_target();

    EXPECT_GE(status, 0);
    EXPECT_EQ(status & 2, 0) << said();
    const LoaderLog log = loader();
    EXPECT_TRUE(log.cold_complete);
    // The cold loader's bytes came at 2400 (the stand-in reads the line's speed when it takes
    // bytes in: the drain after the loader gives it the time to take them before the pilot's
    // speed is set).
    const size_t at_2400 = board->with_firmware([](BoardFirmware &f) {
        size_t n = 0;
        for (const auto &r : f.raw())
            n += r.baud == 2400 ? r.bytes.size() : 0;
        return n;
    });
    EXPECT_GT(at_2400, 0u) << "the cold loader at its own rate";
    EXPECT_FALSE(log.cold_records.empty());
    EXPECT_TRUE(log.pilot_complete);
    EXPECT_EQ(log.pilot_baud, 57600u);
    EXPECT_EQ(rates_asked(), (std::vector<uint32_t>{460800, 230400}))
        << "460800 refused by a board that goes to 230400";
    const auto [bios, program] = write_rates();
    EXPECT_EQ(bios, std::set<uint32_t>{230400}) << "the BIOS at the agreed rate";
    EXPECT_EQ(program, std::set<uint32_t>{115200}) << "the program at the debug rate";

    const std::vector<Logged> tags = frames(kLinkDbg, kDbgSetDebugTag);
    ASSERT_FALSE(tags.empty());
    ASSERT_EQ(tags.front().payload.size(), 2u);
    const uint16_t tag = uint16_t(tags.front().payload[0] | tags.front().payload[1] << 8);
    EXPECT_LE(tag, 32767);
    EXPECT_EQ(tag, gDebugTag);
    EXPECT_EQ(board->with_firmware([](BoardFirmware &f) { return f.debug_tag(); }), gDebugTag);
    const std::vector<Logged> starts = frames(kLinkSys, kSysStartBios);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].payload, std::vector<uint8_t>{2}) << "flash";
    EXPECT_EQ(get_compile_mode(), 0);
    EXPECT_EQ(gTCState, 0);
    EXPECT_EQ(gBiosCompileFlag, 0);
    EXPECT_FALSE(IsCompilingBios());
    EXPECT_EQ(gPilotLoad, 0) << "a flash written without erasing keeps the BIOS";
}

// The BIOS's own files (breakpoint dump, map, object trace, download image) go to the user's
// cache folder, in the set of this BIOS source and board; nothing lands beside the BIOS source,
// whose folder may be one nobody may write.
TEST_F(CompileLoad, TheBiosFilesGoToTheCacheNotBesideTheBios)
{
    start_board();
    ASSERT_EQ(compile_to_target() & 2, 0) << said();
    std::vector<std::string> beside;
    for (const auto &e : fs::directory_iterator(dir / "bios"))
        beside.push_back(e.path().filename().string());
    EXPECT_EQ(beside, std::vector<std::string>{"bios.c"});
    const std::string set = bios_cache_set_folder(bios_file(), compile_board().board_type);
    EXPECT_EQ(last_bios_cache_set(), set);
    const char *cache = std::getenv("XDG_CACHE_HOME");
    ASSERT_NE(cache, nullptr) << "the tests keep the cache below the build folder";
    EXPECT_EQ(set.rfind(std::string(cache) + "/korvex/bios/bios-", 0), 0u) << set;
    for (const char *name : {"bios.brk", "bios.map"})
        EXPECT_TRUE(fs::is_regular_file(fs::path(set) / name)) << name;
    std::vector<std::string> sets;
    for (const auto &e : fs::directory_iterator(fs::path(set).parent_path()))
        sets.push_back(e.path().filename().string());
    EXPECT_EQ(sets, std::vector<std::string>{fs::path(set).filename().string()})
        << "no compile's own folder left";
}

// A cache folder that cannot be made (a file stands where it would go): one box names it, the
// compile stops before anything reaches the board, and nothing is written.
TEST_F(CompileLoad, ACacheFolderThatCannotBeMadeStopsTheCompileBeforeTheBoard)
{
    start_board();
    const std::string saved = std::getenv("XDG_CACHE_HOME") ? std::getenv("XDG_CACHE_HOME") : "";
    write("blocked", "a file where the cache folder would be");
    setenv("XDG_CACHE_HOME", path("blocked").c_str(), 1);
    const int status = compile_to_target();
    if (saved.empty())
        unsetenv("XDG_CACHE_HOME");
    else
        setenv("XDG_CACHE_HOME", saved.c_str(), 1);

    EXPECT_NE(status & 2, 0);
    const auto &boxes = headless_message_box_host().shown;
    ASSERT_EQ(boxes.size(), 1u) << said();
    EXPECT_EQ(boxes[0].text, "The cache folder " + path("blocked") +
                                 " cannot be created: something that is not a folder has its "
                                 "name.\nThe BIOS is not compiled and nothing is loaded.");
    EXPECT_TRUE(loader().cold_records.empty()) << "nothing reached the board";
    EXPECT_TRUE(frames().empty());
    for (const char *folder : {"bios", "prog"}) {
        std::vector<std::string> files;
        for (const auto &e : fs::directory_iterator(dir / folder))
            files.push_back(e.path().filename().string());
        EXPECT_EQ(files.size(), 1u) << folder << ": only the source";
    }
    EXPECT_TRUE(BiosNeedsRecompiling());
}

// Compiled for RAM, every block goes to its own physical address: the stand-in then holds the
// image the compiles built, BIOS and program.
TEST_F(CompileLoad, TheBoardHoldsTheImage)
{
    IdePreferences().output_mode = 1;
    start_board();
    ASSERT_EQ(compile_to_target() & 2, 0) << said();
    const std::vector<Logged> starts = frames(kLinkSys, kSysStartBios);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].payload, std::vector<uint8_t>{1}) << "RAM";
    EXPECT_EQ(memory_differences(), "");
    EXPECT_NE(linker.image[0], 0xFF) << "something was built";
}

// A run-time error is placed among the functions of the program that runs: the start list of an
// earlier compile is gone once a compile begins.
TEST_F(CompileLoad, EachCompileStartsAFreshFunctionStartList)
{
    start_board();
    add_function_start(make_addr(0, 0x1234));
    ASSERT_EQ(compile_to_target() & 2, 0) << said();
    EXPECT_TRUE(function_starts().empty()) << "neither the BIOS nor the program defines a function";
}

TEST_F(CompileLoad, OverTcpTheBiosAndTheProgramGoAsFileTransfers)
{
    IdePreferences().output_mode = 1;
    StandInConfig config;
    config.serial = false;
    start_board(config);
    use_tcp();
    ASSERT_EQ(compile_to_target() & 2, 0) << said();
    const LoaderLog log = loader();
    EXPECT_FALSE(log.tcp_cold_loader.empty());
    EXPECT_FALSE(log.tcp_pilot_image.empty());
    EXPECT_FALSE(frames(kLinkDbg, kDbgSetTargetBaud).empty()) << "the debug rate told";
    EXPECT_TRUE(frames(kLinkDbg, kDbgSetDebugTag).empty()) << "the tag is a serial link's";
    EXPECT_EQ(memory_differences(), "");

    // The BIOS survives a power cycle as far as the host can tell: over TCP no tag is read.
    board->with_firmware([](BoardFirmware &f) { f.power_cycle(); });
    EXPECT_FALSE(BiosNeedsRecompiling());
}

// ---- the second compile -----------------------------------------------------------------------

TEST_F(CompileLoad, ASecondCompileKeepsTheBios)
{
    StandInConfig config;
    config.firmware.max_baud = 230400;
    start_board(config);
    ASSERT_EQ(compile_to_target() & 2, 0) << said();

    clear_log();
    ASSERT_EQ(compile_to_target() & 2, 0) << said();
    EXPECT_TRUE(loader().cold_records.empty()) << "no loader";
    EXPECT_FALSE(loader().pilot_complete);
    EXPECT_TRUE(frames(kLinkSys, kSysStartBios).empty());
    EXPECT_TRUE(rates_asked().empty());
    const auto [before, after] = write_rates();
    EXPECT_EQ(before, std::set<uint32_t>{115200}) << "only the program, at the debug rate";

    // With the pilot to load first, the program goes at the rate negotiated with it.
    gPilotLoad = 1;
    clear_log();
    ASSERT_EQ(compile_to_target() & 2, 0) << said();
    EXPECT_TRUE(loader().pilot_complete);
    EXPECT_EQ(rates_asked(), (std::vector<uint32_t>{460800, 230400}));
    EXPECT_EQ(write_rates().first, std::set<uint32_t>{230400});
    EXPECT_TRUE(frames(kLinkSys, kSysStartBios).empty()) << "the BIOS was not loaded again";
}

TEST_F(CompileLoad, APowerCycledBoardGetsTheBiosAgainOnTheSerialLine)
{
    settings.serial_response_timeout = 300;
    SetCommSettings(settings);
    start_board();
    ASSERT_EQ(compile_to_target() & 2, 0) << said();

    board->with_firmware([](BoardFirmware &f) { f.power_cycle(); });
    clear_log();
    ASSERT_EQ(compile_to_target() & 2, 0) << said();
    EXPECT_TRUE(loader().cold_complete) << "the tag check found the BIOS gone";
    EXPECT_EQ(frames(kLinkSys, kSysStartBios).size(), 1u);
    EXPECT_EQ(board->with_firmware([](BoardFirmware &f) { return f.debug_tag(); }), gDebugTag);
}

struct ReloadCase {
    const char *name;
    void (*change)(CompileRun &);
    bool reload;
};
void PrintTo(const ReloadCase &c, std::ostream *out) { *out << c.name; }
const ReloadCase kReloads[] = {
    {"nothing_changed", [](CompileRun &) {}, false},
    {"new_bios_time_stamp",
     [](CompileRun &) {
         const fs::path bios = bios_file();
         fs::last_write_time(bios, fs::last_write_time(bios) + std::chrono::seconds(10));
     },
     true},
    {"compile_mode", [](CompileRun &) { set_compile_mode(1); }, true},
    {"settings_snapshot", [](CompileRun &) { compiler_options().optimize_size ^= 1; }, true},
    {"include_rst28", [](CompileRun &) { IdePreferences().include_rst28 ^= true; }, true},
    // The BIOS's debug kernel is compiled from these.
    {"enable_tracing", [](CompileRun &) { IdePreferences().enable_tracing ^= true; }, true},
    {"max_watches", [](CompileRun &) { IdePreferences().max_watches += 1; }, true},
    {"watch_memory", [](CompileRun &) { IdePreferences().watch_memory += 16; }, true},
    {"bios_files_gone_from_the_cache",
     [](CompileRun &) { fs::remove_all(last_bios_cache_set()); }, true},
};

class BiosReload : public CompileLoad, public ::testing::WithParamInterface<ReloadCase> {};

TEST_P(BiosReload, FollowsWhatChanged)
{
    start_board();
    ASSERT_EQ(compile_to_target() & 2, 0) << said();
    GetParam().change(*this);
    EXPECT_EQ(BiosNeedsRecompiling(), GetParam().reload);
}

// A program compiled against the BIOS's macro table would meet the old debug-kernel values
// there as a redefinition.
TEST_F(CompileLoad, TracingSwitchedAfterTheBiosCompilesTheBiosAgain)
{
    start_board();
    ASSERT_EQ(compile_to_target() & 2, 0) << said();
    IdePreferences().enable_tracing ^= true;
    clear_log();
    ASSERT_EQ(compile_to_target() & 2, 0) << said();
    EXPECT_EQ(frames(kLinkSys, kSysStartBios).size(), 1u) << "the BIOS was loaded again";
    EXPECT_FALSE(BiosNeedsRecompiling());
}

INSTANTIATE_TEST_SUITE_P(All, BiosReload, ::testing::ValuesIn(kReloads),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- baud-rate negotiation --------------------------------------------------------------------

struct NegotiationCase {
    const char *name;
    uint32_t board_max;     // the stand-in accepts up to this rate
    uint32_t host_max;      // the maximum download rate of the settings
    uint32_t bios_baud;
    bool disabled;
    std::vector<uint32_t> asked;
    uint32_t bios_sent_at;
};
void PrintTo(const NegotiationCase &c, std::ostream *out) { *out << c.name; }
const NegotiationCase kNegotiations[] = {
    {"board_goes_to_230400", 230400, 460800, 57600, false, {460800, 230400}, 230400},
    {"refusing_460800_and_230400", 115200, 460800, 57600, false, {460800, 230400, 115200},
     115200},
    {"refusing_all_stays_at_the_bios_rate", 38400, 460800, 57600, false,
     {460800, 230400, 115200}, 57600},
    {"disabled_asks_the_debug_rate_only", 460800, 460800, 57600, true, {115200}, 115200},
    {"disabled_and_refused", 38400, 460800, 57600, true, {115200}, 57600},
    // Halving from 460800 passes below a BIOS rate of 38400 at 28800: a rate nobody agreed to.
    {"never_below_an_odd_bios_rate", 19200, 460800, 38400, false,
     {460800, 230400, 115200, 57600}, 38400},
    {"maximum_0_asks_nothing", 460800, 0, 57600, false, {}, 57600},
};

class Negotiation : public CompileLoad, public ::testing::WithParamInterface<NegotiationCase> {};

TEST_P(Negotiation, EndsAtARateBothSidesAgreed)
{
    const NegotiationCase &c = GetParam();
    StandInConfig config;
    config.firmware.max_baud = c.board_max;
    start_board(config);
    settings.max_download_baud = c.host_max;
    settings.disable_baud_negotiation = c.disabled;
    SetCommSettings(settings);
    SetLoaderBaudRates(2400, c.bios_baud, 115200);

    ASSERT_EQ(reset_and_load() & 2, 0) << said();

    EXPECT_EQ(loader().pilot_baud, c.bios_baud);
    EXPECT_EQ(rates_asked(), c.asked);
    EXPECT_EQ(write_rates().first, std::set<uint32_t>{c.bios_sent_at});
}

INSTANTIATE_TEST_SUITE_P(All, Negotiation, ::testing::ValuesIn(kNegotiations),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CompileLoad, ASlowClockRunsTheProgramLinkAt57600)
{
    StandInConfig config;
    config.firmware.freq_divider = 10;
    start_board(config);
    ASSERT_EQ(compile_to_target() & 2, 0) << said();
    EXPECT_EQ(compile_board().freq_divider, 10);
    EXPECT_EQ(write_rates().second, std::set<uint32_t>{57600});
    EXPECT_EQ(ProgramLinkBaud(), 57600u);
}

// ---- compiling to a file ----------------------------------------------------------------------

TEST_F(CompileLoad, ATargetlessCompileToAFileOpensNoPortAndStillCompilesTheBios)
{
    SetSerialDevice(kComPort, path("no-such-port"));  // any open would fail
    gBoardParameters.boardType = 0x2A00;
    gBoardParameters.description = "Test board";

    const int status = CompileFile(source, false);

    EXPECT_EQ(status & 2, 0) << said();
    EXPECT_EQ(CurrentConnection(), nullptr);
    EXPECT_NE(std::find(codegen.calls.begin(), codegen.calls.end(), "set_bios_compile"),
              codegen.calls.end())
        << "the BIOS was compiled";
    EXPECT_TRUE(fs::exists(path("prog/main.bin")));
    EXPECT_EQ(gIncludeBiosInImage, 1);
}

// A program compiled to a file calls into the BIOS compiled before it: its own code calls the
// BIOS's "#asm" entry points, and so does its start-up block (dkStartup, dkInitDebug, __xexit),
// while premain comes from a library because only the block calls it. Run from the BIOS's last
// jump, main gives 7 to __xexit, which keeps it at 0x8000 and stops.
constexpr const char *kBiosWithEntries =
    "#asm\n jp bios_main\n"
    "__xexit::\n pop de\n pop hl\n ld (0x8000),hl\nbios_stop::\n jr bios_stop\n"
    "dkStartup::\n ld a,0x11\n ld (0x8002),a\n ret\n"
    "dkInitDebug::\n ld a,0x22\n ld (0x8003),a\n ret\n"
    "bios_main::\n"
    "#endasm\n#pragma CompileProgram\n";
constexpr uint16_t kBiosStop = 8;  // behind the jump, pop, pop and the store
constexpr const char *kProgramIntoBios =
    "#use SYS.LIB\n#asm\nmain::\n ld hl,7\n push hl\n call __xexit\n#endasm\n";
constexpr const char *kPremainLibrary =
    "/*** BeginHeader premain */\n/*** EndHeader */\n#asm\npremain::\n call main\n ret\n#endasm\n";

struct BiosEntryCase {
    const char *name;
    bool debug;           // "Include RST 28": the block calls dkInitDebug and premain
    uint8_t init_debug;   // what dkInitDebug leaves at 0x8003 (0xFF: not called)
};
const BiosEntryCase kBiosEntryCases[] = {
    {"debugging", true, 0x22},
    {"without_debug_kernel", false, 0xFF},
};
class BiosEntries : public CompileLoad, public ::testing::WithParamInterface<BiosEntryCase> {};

TEST_P(BiosEntries, ATargetlessProgramReachesTheBiosLabels)
{
    const BiosEntryCase &c = GetParam();
    struct KeepKernel {
        bool saved = IdePreferences().include_rst28;
        ~KeepKernel() { IdePreferences().include_rst28 = saved; }
    } keep;
    IdePreferences().include_rst28 = c.debug;
    IdePreferences().include_time_stamp = false;
    codegen.start_up = true;  // the block as a real compile measures, checks and writes it
    write("bios/bios.c", kBiosWithEntries);
    write("prog/main.c", kProgramIntoBios);
    add_library("SYS.LIB", kPremainLibrary);

    ASSERT_EQ(CompileFile(source, false) & 2, 0) << said() << messages_text();
    for (const Message &m : messages())
        EXPECT_EQ(m.summary.find("ndefined"), std::string::npos) << m.summary;
    preset = {{0x8000, 0xFF}, {0x8001, 0xFF}, {0x8002, 0xFF}, {0x8003, 0xFF}};
    (void)run(kRootCode, 2000, vsim::Breakpoint{kBiosStop, -1});
    EXPECT_TRUE(reg("PC", kBiosStop));
    EXPECT_TRUE(memory(0x8000, {0x07, 0x00, 0x11, c.init_debug}));
}
INSTANTIATE_TEST_SUITE_P(All, BiosEntries, ::testing::ValuesIn(kBiosEntryCases),
                         [](const auto &i) { return std::string(i.param.name); });

// A compile to a file takes the run-time pointer check from its settings: with them on (and
// the compiler's pointer checks and debug code) the write-permission table lies behind the
// start-up block on a 256-byte boundary, marking the data pages up to the stack writable; with
// them off there is none. Either way the program-wide switch is on again afterwards.
struct PointerSettingCase {
    const char *name;
    bool setting;
};
const PointerSettingCase kPointerSettings[] = {{"on", true}, {"off", false}};
class PointerSettings : public CompileLoad,
                        public ::testing::WithParamInterface<PointerSettingCase> {};

TEST_P(PointerSettings, DecideTheWritePermissionTable)
{
    struct Keep {
        bool rst28 = IdePreferences().include_rst28;
        bool checks = IdePreferences().rtc_pointers;
        uint16_t option = compiler_options().rtc_pointers;
        ~Keep()
        {
            IdePreferences().include_rst28 = rst28;
            IdePreferences().rtc_pointers = checks;
            compiler_options().rtc_pointers = option;
        }
    } keep;
    IdePreferences().include_rst28 = true;
    IdePreferences().rtc_pointers = GetParam().setting;
    compiler_options().rtc_pointers = 1;
    codegen.start_up = true;
    write("bios/bios.c", kBiosWithEntries);
    write("prog/main.c", kProgramIntoBios);
    add_library("SYS.LIB", kPremainLibrary);

    ASSERT_EQ(CompileFile(source, false) & 2, 0) << said() << messages_text();
    const StartUpLayout &layout = start_up_layout();
    EXPECT_EQ(layout.page_map, GetParam().setting);
    EXPECT_TRUE(pointer_checking());
    if (!GetParam().setting)
        return;
    ASSERT_NE(layout.page_map_address, kDummyAddress);
    EXPECT_EQ(addr_offset(layout.page_map_address) & 0xFF, 0);
    EXPECT_GT(addr_offset(layout.page_map_address), addr_offset(layout.start));
    const std::vector<uint8_t> table = sent_at(layout.page_map_address, 256);
    EXPECT_EQ(table[addr_offset(layout.page_map_address) >> 8], 0)
        << "the table's own page (flash) may not be written";
    EXPECT_EQ(table[(layout.stack_top >> 8) & 0xFF], 1);
    EXPECT_EQ(table[(layout.data_far_end >> 8) & 0xFF], 1);
    EXPECT_NE(layout.data_far_end, layout.stack_top);
}
INSTANTIATE_TEST_SUITE_P(All, PointerSettings, ::testing::ValuesIn(kPointerSettings),
                         [](const auto &i) { return std::string(i.param.name); });

struct CaptionCase {
    const char *name;
    bool to_file, attached;
    uint16_t output_mode;
    const char *caption, *text;
};
void PrintTo(const CaptionCase &c, std::ostream *out) { *out << c.name; }
const CaptionCase kCaptions[] = {
    {"attached_flash", true, true, 0, "Using attached target to compile to file",
     "Discovering board type..."},
    {"attached_flash_run_in_ram", true, true, 2,
     "Using attached target to compile to file for load flash/run in RAM",
     "Discovering board type..."},
    {"attached_ram", true, true, 1, "Using attached target to compile to file",
     "Discovering board type..."},
    {"targetless_flash", true, false, 0, "Targetless compile to file", "Board: 0x2a00 - Test board"},
    {"targetless_flash_run_in_ram", true, false, 2,
     "Targetless compile to file for load flash/run in RAM", "Board: 0x2a00 - Test board"},
    {"targetless_ram", true, false, 1, "Targetless compile to file", "Board: 0x2a00 - Test board"},
    {"target_flash", false, false, 0, "Compiling to flash", ""},
    {"target_flash_run_in_ram", false, false, 2, "Compiling to flash for running in RAM", ""},
    {"target_ram", false, false, 1, "Compiling to RAM", ""},
};

class Caption : public CompileLoad, public ::testing::WithParamInterface<CaptionCase> {};

TEST_P(Caption, NamesTheCompileAndTheBoard)
{
    const CaptionCase &c = GetParam();
    gCompileToFile = c.to_file;
    gUseAttachedTarget = c.attached;
    IdePreferences().output_mode = c.output_mode;
    gBoardParameters.boardType = 0x2A00;
    gBoardParameters.description = "Test board";
    clear_compile_board_type();
    ShowCompileStatusCaption();
    ASSERT_NE(status_box(), nullptr);
    EXPECT_EQ(status_box()->title, c.caption);
    EXPECT_EQ(status_box()->message_text, c.text);
}

INSTANTIATE_TEST_SUITE_P(All, Caption, ::testing::ValuesIn(kCaptions),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- the TCP pass phrase ----------------------------------------------------------------------

class ScriptedPassPhrase : public TPassPhraseDialog {
public:
    ScriptedPassPhrase(bool accept, std::string phrase)
        : m_accept(accept), m_phrase(std::move(phrase))
    {
    }
    bool Execute() override { return m_accept; }
    std::string Phrase() const override { return m_phrase; }
    bool Remember() const override { return false; }

private:
    bool m_accept;
    std::string m_phrase;
};

struct PassPhraseCase {
    const char *name;
    bool accept;
};
void PrintTo(const PassPhraseCase &c, std::ostream *out) { *out << c.name; }
const PassPhraseCase kPassPhrases[] = {{"given", true}, {"cancelled", false}};

class PassPhrase : public CompileLoad, public ::testing::WithParamInterface<PassPhraseCase> {
protected:
    void TearDown() override
    {
        gTCPPassPhraseControl.SetDialogFactory({});
        gTCPPassPhraseControl.Reset();
        CompileLoad::TearDown();
    }
};

// The board's challenge asks the user once per connection; a cancelled dialog cancels the
// connect, so nothing is loaded with a phrase the user did not give.
TEST_P(PassPhrase, AnswersTheChallengeOrCancelsTheConnect)
{
    StandInConfig config;
    config.serial = false;
    config.firmware.challenge_method = 1;
    config.firmware.pass_phrase = "secret";
    start_board(config);
    use_tcp();
    int asked = 0;
    const bool accept = GetParam().accept;
    gTCPPassPhraseControl.Reset();
    gTCPPassPhraseControl.SetDialogFactory([&asked, accept] {
        ++asked;
        return std::make_unique<ScriptedPassPhrase>(accept, "secret");
    });

    if (GetParam().accept) {
        ASSERT_EQ(reset_and_load() & 2, 0) << said();
        EXPECT_TRUE(board->with_firmware([](BoardFirmware &f) { return f.tcp_authenticated(); }));
        EXPECT_EQ(gPassPhraseDigest, digest_of("secret"));
        EXPECT_FALSE(loader().tcp_pilot_image.empty());
    } else {
        EXPECT_THROW((void)ResetAndLoadBios(), xUserCancel);
        EXPECT_TRUE(loader().tcp_cold_loader.empty());
        EXPECT_NE(gPassPhraseDigest, digest_of("secret"));
    }
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(gTCPPassPhraseControl.DialogUp()) << "closed after the answer";
}

INSTANTIATE_TEST_SUITE_P(All, PassPhrase, ::testing::ValuesIn(kPassPhrases),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- cancel and failure -----------------------------------------------------------------------

struct CancelCase {
    const char *name;
    bool tcp;
};
void PrintTo(const CancelCase &c, std::ostream *out) { *out << c.name; }
const CancelCase kCancels[] = {{"serial", false}, {"tcp", true}};

class CancelLoad : public CompileLoad, public ::testing::WithParamInterface<CancelCase> {};

// The status box closed while the program loads: the compile ends as cancelled; a network link
// is closed and the BIOS counts as lost.
TEST_P(CancelLoad, ClosingTheStatusBoxEndsTheCompile)
{
    StandInConfig config;
    config.serial = !GetParam().tcp;
    start_board(config);
    if (GetParam().tcp)
        use_tcp();
    ASSERT_EQ(compile_to_target() & 2, 0) << said();

    bool armed = true;
    gDialogControl.SetBoxFactory([&armed] {
        auto box = std::make_unique<HeadlessStatusBox>();
        box->on_message = [&armed](HeadlessStatusBox &b) {
            if (armed)
                b.closed_by_user = true;
        };
        return box;
    });
    gDialogControl.CloseStatusBox();
    const int status = CompileWithBiosCheck(source);
    armed = false;
    EXPECT_EQ(status, -1);
    EXPECT_EQ(gCompileToFile, 0);
    EXPECT_EQ(gTCState, 0);
    if (GetParam().tcp) {
        EXPECT_FALSE(TcIsConnectionOpen()) << "the network link is closed";
        EXPECT_EQ(get_compile_mode(), 1);
    } else {
        EXPECT_EQ(get_compile_mode(), 0) << "the BIOS on a serial board is still ours";
    }
    reset_host_services();
}

INSTANTIATE_TEST_SUITE_P(All, CancelLoad, ::testing::ValuesIn(kCancels),
                         [](const auto &i) { return std::string(i.param.name); });

// A refused write packet while the BIOS loads: the error is shown, the status says failed, no
// program is compiled, and the BIOS counts as not loaded.
TEST_F(CompileLoad, AFailedBiosLoadIsShownAndLeavesTheBiosToLoad)
{
    start_board();
    board->with_firmware([](BoardFirmware &f) { f.nak_next(kLinkSys, kSysWrite, 1); });

    const int status = CompileWithBiosCheck(source);

    EXPECT_EQ(status, 2);
    EXPECT_NE(last_box(), "");
    EXPECT_EQ(get_compile_mode(), 1);
    EXPECT_EQ(gBiosCompileFlag, 0);
    EXPECT_EQ(frames(kLinkSys, kSysWrite).size(), 1u) << "nothing after the refusal";
    EXPECT_TRUE(BiosNeedsRecompiling());
}

// A board that shows no processor (its line reports modem status, DSR never toggles): the cold
// loader's failure ends the load before the pilot, and the BIOS counts as not loaded.
TEST_F(CompileLoad, NoProcessorEndsTheLoadBeforeThePilot)
{
    settings.verify_dsr = 1;
    SetCommSettings(settings);
    SetModemStatusService([](uint32_t) -> uint32_t { return TIOCM_CTS; });
    start_board();
    std::string text;
    try {
        (void)ResetAndLoadBios();
    } catch (xErr &e) {
        text = GetResString(e.message_id());
    }
    EXPECT_EQ(text, "No Vireon Processor Detected.");
    EXPECT_FALSE(loader().pilot_complete);
    EXPECT_EQ(get_compile_mode(), 1);
    EXPECT_EQ(gBiosCompileFlag, 0);
}

// The board stand-in's pseudo-terminal has no modem-status lines: with verification on, the
// load says once that the port cannot verify the processor and goes on to the pilot.
TEST_F(CompileLoad, ALineWithoutModemStatusLoadsWithVerificationOn)
{
    settings.verify_dsr = 1;
    SetCommSettings(settings);
    start_board();
    EXPECT_EQ(ResetAndLoadBios() & 2, 0);
    EXPECT_TRUE(loader().pilot_complete);
    const std::vector<std::string> &history = headless_main_window().status_history;
    EXPECT_EQ(std::count_if(history.begin(), history.end(),
                            [](const std::string &s) {
                                return s.find("cannot be verified through DSR") !=
                                       std::string::npos;
                            }),
              1);
}

} // namespace
