// The start-up block: its bytes in order, the measure that reserves its room, the check of the
// run-time symbols with its messages, the time stamp, and programs started by it on the board
// stand-in through the whole compile.
#include "CompileRunFixture.h"
#include "FrameDoubles.h"
#include "InputHarness.h"

#include "core/CC_ER.h"
#include "linker/CC_ROM.h"
#include "core/CC_STAB.h"
#include "driver/CC_VER.h"
#include "codegen/CC_Z80CPU.h"
#include "codegen/CC_Z80START.h"
#include "core/SEAM_LINKER.h"
#include "core/SEAM_SETTINGS.h"
#include "settings/guiKXPreferences.h"

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>

namespace {

// Labels by name, and every block sent.
class StartUpLinker : public RecordingLinker {
public:
    std::map<std::string, uint32_t> labels;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> sent;
    std::optional<uint32_t> global_label_address(const std::string &name) override
    {
        note("label " + name);
        auto it = labels.find(name);
        return it == labels.end() ? std::nullopt : std::optional<uint32_t>(it->second);
    }
    void ui_send_block(uint32_t count, uint32_t addr, const uint8_t *bytes) override
    {
        sent.emplace_back(addr, std::vector<uint8_t>(bytes, bytes + count));
    }
};

std::vector<uint8_t> le(uint16_t w) { return {uint8_t(w), uint8_t(w >> 8)}; }
std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class StartUp : public ::testing::Test {
protected:
    StartUpLinker linker;
    StartUpLayout layout;

    void SetUp() override
    {
        set_linker_seam(&linker);
        reset_errors();
        allocate_symbol_tables(256);
        (void)select_target_cpu(0, 0);
        reset_settings_to_defaults();
        IdePreferences().include_time_stamp = false;
        IdePreferences().no_bouncers = false;
        reset_start_up_state();
        layout.start = 0x0200;
        layout.program_info.fill(0x11);
        linker.labels = {{"dkStartup", 0x0100}, {"main", 0x0300}, {"__xexit", 0x0110}};
    }
    void TearDown() override
    {
        set_linker_seam(nullptr);
        reset_settings_to_defaults();
        (void)select_target_cpu(0, 0);
        set_start_up_record_offsets(std::nullopt);
        set_start_up_layout({});
        reset_start_up_state();
        reset_errors();
    }

    // Measure, note the labels, write: true when written.
    bool write()
    {
        set_start_up_layout(layout);
        (void)measure_start_up_block(nullptr);
        note_required_symbols();
        return link_required_symbols(0);
    }
    std::vector<std::string> summaries() const
    {
        std::vector<std::string> out;
        for (const input_test::Message &m : input_test::collect_messages())
            out.push_back(m.summary);
        return out;
    }
    static std::vector<uint8_t> tail_without_stamp()
    {
        return std::vector<uint8_t>(96, 0x11) + std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    }
};

const std::vector<uint8_t> kVersion = std::vector<uint8_t>{0x21} + le(version_word()) + std::vector<uint8_t>{0xE5};
// main's value (HL) is pushed as the exit code.
const std::vector<uint8_t> kExit = {0xE5, 0xCD, 0x10, 0x01};
const std::vector<uint8_t> kNoAllocH(6, 0x00);  // the room measured for "ld (alloc_h), 0"

TEST_F(StartUp, F80BlockCallsDkStartupMainAndXexit)
{
    ASSERT_TRUE(write()) << summaries().front();
    ASSERT_EQ(linker.sent.size(), 1u);
    EXPECT_EQ(linker.sent[0].first, 0x0200u);
    EXPECT_EQ(linker.sent[0].second, (std::vector<uint8_t>{0xCD, 0x00, 0x01} + kVersion +
                                         std::vector<uint8_t>{0xCD, 0x00, 0x03} + kExit +
                                         kNoAllocH + tail_without_stamp()));
}

TEST_F(StartUp, DebugCompileCallsDkInitDebugAndPremain)
{
    layout.debug = true;
    linker.labels["dkInitDebug"] = 0x0120;
    linker.labels["premain"] = 0x0400;
    ASSERT_TRUE(write()) << summaries().front();
    EXPECT_EQ(linker.sent[0].second, (std::vector<uint8_t>{0xCD, 0x00, 0x01} + kVersion +
                                         std::vector<uint8_t>{0xCD, 0x20, 0x01, 0xCD, 0x00, 0x04} +
                                         kExit + kNoAllocH + tail_without_stamp()));
}

TEST_F(StartUp, HeapStepsOnlyWithAllocHAndAHeap)
{
    linker.labels["alloc_h"] = 0x9000;
    linker.labels["bfree"] = 0x0130;
    const std::vector<uint8_t> clear = {0x21, 0x00, 0x00, 0x22, 0x00, 0x90};
    ASSERT_TRUE(write()) << summaries().front();
    EXPECT_EQ(linker.sent[0].second, (std::vector<uint8_t>{0xCD, 0x00, 0x01} + clear + kVersion +
                                         std::vector<uint8_t>{0xCD, 0x00, 0x03} + kExit +
                                         tail_without_stamp()));
    linker.sent.clear();
    layout.heap = 0x400;
    layout.heap_low = 0xA000;
    layout.heap_high = 0xA3FF;
    ASSERT_TRUE(write()) << summaries().front();
    const std::vector<uint8_t> bfree = {0x21, 0x00, 0xA0, 0xE5, 0x21, 0xFF, 0xA3, 0xE5, 0xCD, 0x30, 0x01};
    EXPECT_EQ(linker.sent[0].second, (std::vector<uint8_t>{0xCD, 0x00, 0x01} + clear + bfree +
                                         kVersion + std::vector<uint8_t>{0xCD, 0x00, 0x03} + kExit +
                                         tail_without_stamp()));
}

TEST_F(StartUp, MeasureLooksNothingUpAndReservesTheLargestBlock)
{
    linker.labels.clear();
    layout.heap = 0x400;
    set_start_up_layout(layout);
    uint16_t second = 7;
    // dkStartup 3, heap 6 + 11, version 4, main 3, exit 4, record 96 + 2 + 4
    EXPECT_EQ(measure_start_up_block(&second), 3 + 17 + 4 + 3 + 4 + 102);
    EXPECT_EQ(second, 0);
    EXPECT_TRUE(linker.calls.empty()) << linker.calls.front();
    EXPECT_TRUE(summaries().empty());
    EXPECT_EQ(start_up_block_size(), 3 + 17 + 4 + 3 + 4 + 102);
}

TEST_F(StartUp, TwoBlocksPutTheRecordInTheSecond)
{
    layout.two_blocks = true;
    layout.second_start = 0x6000;
    set_start_up_layout(layout);
    uint16_t second = 0;
    EXPECT_EQ(measure_start_up_block(&second), 3 + 6 + 4 + 3 + 4);
    EXPECT_EQ(second, 102);
    note_required_symbols();
    ASSERT_TRUE(link_required_symbols(0));
    ASSERT_EQ(linker.sent.size(), 2u);
    EXPECT_EQ(linker.sent[0].second.size(), 20u);
    EXPECT_EQ(linker.sent[1].first, 0x6000u);
    EXPECT_EQ(linker.sent[1].second, tail_without_stamp());
}

TEST_F(StartUp, TimeStampWhenIncluded)
{
    IdePreferences().include_time_stamp = true;
    const uint32_t before = start_up_time_stamp(std::time(nullptr));
    ASSERT_TRUE(write());
    const std::vector<uint8_t> &b = linker.sent[0].second;
    const size_t at = b.size() - 4;
    const uint32_t stamp = b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, before + 5);
}

// Local seconds since 1980: the zone's offset (daylight saving included) is added.
TEST_F(StartUp, TimeStampCountsLocalSecondsFrom1980)
{
    const char *saved = std::getenv("TZ");
    const std::string keep = saved ? saved : "";
    setenv("TZ", "UTC0", 1);
    tzset();
    EXPECT_EQ(start_up_time_stamp(315532800), 0u);
    EXPECT_EQ(start_up_time_stamp(315532800 + 86400), 86400u);
    setenv("TZ", "XST-2", 1);  // two hours east
    tzset();
    EXPECT_EQ(start_up_time_stamp(315532800), 7200u);
    if (saved)
        setenv("TZ", keep.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

// ---- failures --------------------------------------------------------------------------------------

struct FailureCase {
    const char *name;
    std::function<void(StartUpLinker &, StartUpLayout &)> arrange;
    std::vector<std::string> messages;
};

const FailureCase kFailures[] = {
    {"no_main", [](StartUpLinker &l, StartUpLayout &) { l.labels.erase("main"); },
     {"a function named main is required."}},
    {"main_in_xmem", [](StartUpLinker &l, StartUpLayout &) { l.labels["main"] = 0x12E100; },
     {"main must not be in xmem"}},
    {"no_xexit", [](StartUpLinker &l, StartUpLayout &) { l.labels.erase("__xexit"); },
     {"__xexit undefined"}},
    {"no_dkstartup", [](StartUpLinker &l, StartUpLayout &) { l.labels.erase("dkStartup"); },
     {"dkStartup undefined"}},
    {"debug_without_premain",
     [](StartUpLinker &l, StartUpLayout &s) {
         s.debug = true;
         l.labels["dkInitDebug"] = 0x0120;
     },
     {"premain undefined"}},
    {"heap_without_bfree",
     [](StartUpLinker &l, StartUpLayout &s) {
         l.labels["alloc_h"] = 0x9000;
         s.heap = 0x100;
     },
     {"bfree() undefined"}},
    {"alloc_h_without_address",
     [](StartUpLinker &, StartUpLayout &) { (void)add_symbol("alloc_h", 0, 2, 0, 7, nullptr, 0); },
     {"alloc_h undefined"}},
    {"z180_no_universal_bouncer",
     [](StartUpLinker &l, StartUpLayout &s) {
         (void)select_target_cpu(0, 1);
         s.vectors_differ = true;
         l.labels["vrst30"] = 0x0066;
     },
     {"No Universal Bouncer"}},
    {"z180_no_rst30_vector",
     [](StartUpLinker &l, StartUpLayout &s) {
         (void)select_target_cpu(0, 1);
         s.vectors_differ = true;
         l.labels["_b_all"] = 0x0070;
     },
     {"No RST30 Jump Vec"}},
};

class StartUpFailure : public StartUp, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(StartUpFailure, IsRecordedAndSendsNothing)
{
    GetParam().arrange(linker, layout);
    EXPECT_FALSE(write());
    EXPECT_EQ(summaries(), GetParam().messages);
    EXPECT_TRUE(linker.sent.empty());
}

INSTANTIATE_TEST_SUITE_P(All, StartUpFailure, ::testing::ValuesIn(kFailures),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(StartUp, MainInXmemIsAllowedWithoutBouncers)
{
    IdePreferences().no_bouncers = true;
    linker.labels["main"] = 0x12E100;
    EXPECT_TRUE(write()) << summaries().front();
}

TEST_F(StartUp, Z180BlockSetsTheMachineUpBeforeDkStartup)
{
    (void)select_target_cpu(0, 1);
    layout.vector_base = 0x1200;
    layout.map_word = 0x6000;
    layout.rams = 0x80;
    layout.logr = 0x02;
    layout.stack_top = 0xDFFF;
    layout.vectors_differ = true;
    linker.labels["_b_all"] = 0x0070;
    linker.labels["vrst30"] = 0x0066;
    ASSERT_TRUE(write()) << summaries().front();
    const std::vector<uint8_t> expected =
        std::vector<uint8_t>{0x3E, 0x12, 0xED, 0x47, 0x21, 0x00, 0x00, 0xE5, 0xEB, 0x21, 0x00, 0x60,
                             0xE5, 0x06, 0x7E, 0x0E, 0xE6, 0xCD, 0x00, 0x01, 0x31, 0x00, 0xE0, 0xFB,
                             0x21, 0x66, 0x00, 0x36, 0xC3, 0x23, 0x36, 0x70, 0x23, 0x36, 0x00} +
        kVersion + std::vector<uint8_t>{0xCD, 0x00, 0x03} + kExit + kNoAllocH + tail_without_stamp();
    EXPECT_EQ(linker.sent[0].second, (expected));
}

// The Z180's "ld a, n; ld i, a": the vector base's high byte, or 0 when the vector flag asks for
// it, the driver does not keep the base and the program information record was not made for
// this RAM ("rams" - "logr" in its named byte).
struct VectorCase {
    const char *name;
    int flag;
    bool keep;
    std::optional<size_t> byte;
    uint8_t recorded;
    uint8_t expected;
};

const VectorCase kVectorCases[] = {
    {"no_flag_keeps_the_base", 0, false, std::nullopt, 0, 0x12},
    {"flag_starts_at_zero", 1, false, std::nullopt, 0, 0x00},
    {"flag_but_driver_keeps_the_base", 1, true, std::nullopt, 0, 0x12},
    {"flag_record_made_for_this_ram", 1, false, 5, 0x7E, 0x12},
    {"flag_record_made_for_other_ram", 1, false, 5, 0x40, 0x00},
};

class StartUpVector : public StartUp, public ::testing::WithParamInterface<VectorCase> {};

TEST_P(StartUpVector, BaseOrZero)
{
    const VectorCase &c = GetParam();
    (void)select_target_cpu(0, 1);
    layout.vector_base = 0x1200;
    layout.rams = 0x80;
    layout.logr = 0x02;
    layout.keep_vector_base = c.keep;
    layout.ram_difference_byte = c.byte;
    if (c.byte)
        layout.program_info[*c.byte] = c.recorded;
    set_start_up_layout(layout);
    (void)measure_start_up_block(nullptr);
    note_required_symbols();
    ASSERT_TRUE(link_required_symbols(c.flag)) << summaries().front();
    EXPECT_EQ(std::vector<uint8_t>(linker.sent[0].second.begin(), linker.sent[0].second.begin() + 4),
              (std::vector<uint8_t>{0x3E, c.expected, 0xED, 0x47}));
}

INSTANTIATE_TEST_SUITE_P(All, StartUpVector, ::testing::ValuesIn(kVectorCases),
                         [](const auto &i) { return std::string(i.param.name); });

}  // namespace

// ---- through the compile ------------------------------------------------------------------------------

namespace {

using namespace compile_run;

// The program's own dkStartup, main and __xexit: main stores 0x42 at 0x9000 and returns 0x0203,
// __xexit stores its argument (the exit code: main's value) at 0x9002 (0xFFFF until then) and
// stops in a loop.
const char *const kProgram =
    "#asm\n"
    "dkStartup::\n ld hl,0xFFFF\n ld (0x9002),hl\n ret\n"
    "main::\n ld a,0x42\n ld (0x9000),a\n ld hl,0x0203\n ret\n"
    "dkInitDebug::\n ld a,0x77\n ld (0x9004),a\n ret\n"
    "premain::\n call main\n ret\n"
    "__xexit::\n pop de\n pop hl\n ld (0x9002),hl\nxexit_stop::\n jr xexit_stop\n"
    "#endasm\n";

class StartUpRun : public CompileRun {
protected:
    uint8_t saved_kernel = 0;
    void SetUp() override
    {
        CompileRun::SetUp();
        codegen.start_up = true;
        IdePreferences().include_time_stamp = false;
        ASSERT_EQ(compile_bios("#asm\n nop\n#endasm\n#pragma CompileProgram\n") & 2, 0)
            << messages_text();
        saved_kernel = gDebugRstState;
        IdePreferences().include_time_stamp = false;
    }
    void TearDown() override
    {
        gDebugRstState = saved_kernel;
        CompileRun::TearDown();
    }
};

TEST_F(StartUpRun, MainRunsAndXexitReceivesItsValue)
{
    gDebugRstState = 1;  // not compiled for debugging
    ASSERT_EQ(compile(kProgram) & 2, 0) << messages_text();
    const uint16_t block = addr_offset(start_up_layout().start);
    EXPECT_EQ(block, 4) << "behind the BIOS's nop and its last jump";
    EXPECT_EQ(sent_at(block, 3), (std::vector<uint8_t>{0xCD, uint8_t(block + start_up_block_size()), 0x00}))
        << "dkStartup, the program's first code, lies behind the block";
    (void)run(kRootCode, 2000);  // the BIOS's last jump leads to the block
    EXPECT_TRUE(memory(0x9000, {0x42}));
    EXPECT_TRUE(memory(0x9002, {0x03, 0x02}));
    EXPECT_TRUE(memory(0x9004, {0xFF})) << "dkInitDebug not called";
}

TEST_F(StartUpRun, DebugCompileRunsDkInitDebugAndPremain)
{
    gDebugRstState = 0;
    ASSERT_EQ(compile(kProgram) & 2, 0) << messages_text();
    (void)run(kRootCode, 2000);
    EXPECT_TRUE(memory(0x9000, {0x42}));
    EXPECT_TRUE(memory(0x9004, {0x77}));
    EXPECT_TRUE(memory(0x9002, {0x03, 0x02}));
}

// The image carries its CRC-16/XMODEM in the 0xFFFF word behind the program information record,
// summed with that word and the time stamp behind it counted as zeros.
TEST_F(StartUpRun, ImageCrcGoesInTheWordBehindTheProgramRecord)
{
    gDebugRstState = 1;
    struct StampOff {
        ~StampOff() { IdePreferences().include_time_stamp = false; }
    } stamp_off;
    IdePreferences().include_time_stamp = true;
    ASSERT_EQ(compile(kProgram) & 2, 0) << messages_text();
    const std::optional<BuiltImage> built = last_built_image();
    ASSERT_TRUE(built.has_value());
    std::ifstream in(built->image_path, std::ios::binary);
    const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    // The block ends with the record (96 bytes), the CRC word and the time stamp (4 bytes).
    const uint32_t crc_at = addr_offset(start_up_layout().start) + start_up_block_size() - 6u;
    ASSERT_GE(crc_at, built->first_address);
    const uint32_t p = crc_at - built->first_address;
    ASSERT_LT(p + 6, image.size());
    uint16_t crc = 0;
    for (uint32_t i = 0; i < image.size(); ++i) {
        const uint8_t byte = (i >= p && i < p + 6) ? 0 : image[i];
        crc ^= uint16_t(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
    }
    EXPECT_EQ(image[p] | image[p + 1] << 8, crc);
    const uint32_t stamp = uint32_t(image[p + 2]) | uint32_t(image[p + 3]) << 8 |
                           uint32_t(image[p + 4]) << 16 | uint32_t(image[p + 5]) << 24;
    EXPECT_NE(stamp, 0xFFFFFFFFu) << "the time stamp is there, left out of the sum";
}

TEST_F(StartUpRun, MissingMainEndsTheCompileWithoutTheBlock)
{
    ASSERT_EQ(compile("#asm\ndkStartup::\n ret\n#endasm\n") & 2, 2);
    EXPECT_NE(messages_text().find("a function named main is required."), std::string::npos)
        << messages_text();
    const uint16_t block = addr_offset(start_up_layout().start);
    EXPECT_EQ(sent_at(block, 3), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF}));
}

}  // namespace
