// Board and processor set-up at the start of the parse: the board macros of a BIOS compile (from
// the target's ID block or the targetless settings), the flash information file and the flash
// parameters, "_BIOSBAUD_", the processor's status text and instruction rows.
#include "CompileRunFixture.h"

#include "driver/CC_BOARD.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "driver/CC_GO.h"
#include "input/CC_IN.h"
#include "core/SEAM_SETTINGS.h"
#include "core/SEAM_TARGET.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace compile_run;

namespace {

// The text of a macro, or "(undefined)".
std::string macro(const char *name)
{
    const macroinfo *m = find_macro_value(name);
    return m ? m->text : "(undefined)";
}

bool target_called(const std::string &call)
{
    const auto &calls = headless_target_operations().calls;
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

bool target_called_like(const std::string &prefix)
{
    for (const std::string &c : headless_target_operations().calls)
        if (c.rfind(prefix, 0) == 0)
            return true;
    return false;
}

// A board without a target: 512 KB RAM, 256 KB flash, 22.1184 MHz.
void targetless_board(int32_t cpu_id = 0x100)
{
    gTargetlessCompile = 1;
    BoardParameters &p = gBoardParameters;
    p.boardType = 0x2100;
    p.cpuId = cpu_id;
    p.crystalSpeed = 22118400;
    p.ramSize = 512;
    p.flashSize = 256;
}

// An ID block of a 256 KB flash whose ID block area is 128 + 4096 bytes, valid (marker and CRC).
std::array<uint8_t, 132> valid_id_block()
{
    std::array<uint8_t, 132> b{};
    b[19] = 64;  // flash size: 64 x 4096
    b[116] = 0x80;
    b[122] = 0x00;
    b[123] = 0x10;
    for (int i = 0; i < 6; ++i)
        b[126 + i] = (i % 2) ? 0xAA : 0x55;
    const uint16_t crc = id_block_crc(b);
    b[124] = uint8_t(crc);
    b[125] = uint8_t(crc >> 8);
    return b;
}

}  // namespace

class BoardSetup : public CompileRun {
protected:
    void SetUp() override
    {
        CompileRun::SetUp();
        gBiosLoadFlag = 0;
    }
    // A BIOS compile against the headless target, whose board has flash id 0x01A4.
    void board_on_target(const std::array<uint8_t, 132> &id_block)
    {
        TcBoardInfo &board = headless_target_operations().board;
        board.id_block = id_block;
        board.board_type = 0x2100;
        board.ram_size_code = 16;
        board.flash_id = 0x01A4;
        board.cpu_id = 0x101;
        board.freq_divider = 36;
    }
    void flash_ini(const std::string &text) { write("Flash.ini", text); }
};

TEST_F(BoardSetup, TargetlessBiosCompileDefinesTheBoardFromTheSettings)
{
    targetless_board();
    ASSERT_EQ(compile_bios(""), 0) << messages_text();
    EXPECT_EQ(macro("_RAM_SIZE_"), "128");
    EXPECT_EQ(macro("_FREQ_DIV_19200_"), "36");
    EXPECT_EQ(macro("_CRYSTAL_SPEED_"), "22118400");
    EXPECT_EQ(macro("_FLASH_SIZE_"), "64");
    EXPECT_EQ(macro("_BOARD_TYPE_"), std::to_string(0x2100));
    EXPECT_EQ(macro("_CPU_ID_"), std::to_string(0x100));
    EXPECT_EQ(macro("_FLASH_"), "1");
    EXPECT_EQ(macro("_RESTRICT_WATCHCODE_"), "0");
    EXPECT_EQ(macro("_SECTOR_SIZE_"), "(undefined)");
    EXPECT_EQ(macro("_ID_BLOCK_PTR_"), "(undefined)");
    EXPECT_FALSE(target_called("TcReadBoardInfo")) << "no target is asked";
    EXPECT_FALSE(target_called_like("TcSendFlashParameters"));
}

// Sizes too large for the codes they are kept in are reported, and the macros keep the true
// values instead of wrapped ones.
TEST_F(BoardSetup, TargetlessSizesThatOverflowAreReportedNotWrapped)
{
    targetless_board();
    gBoardParameters.ramSize = 8192;                // RAM code 256, beyond 127
    gBoardParameters.crystalSpeed = 614400u * 300u; // divider 300, beyond 255
    EXPECT_EQ(compile_bios("") & 2, 2);
    EXPECT_EQ(messages_text(), "1: Targetless board: the RAM size code 256 is out of range.\n"
                               "1: Targetless board: the frequency divider 300 is out of range.\n");
    EXPECT_EQ(macro("_RAM_SIZE_"), "2048");
    EXPECT_EQ(macro("_FREQ_DIV_19200_"), "300");
}

struct CpuCase {
    const char *name;
    int32_t cpu_id;
    const char *status;
};

const CpuCase kCpus[] = {
    {"r2000_0", 0, "CPU: V2000"},       {"r2000_3", 3, "CPU: V2000"},
    {"four", 4, "Unknown CPU type"},    {"r3000_0", 0x100, "CPU: V3000"},
    {"r3000_1", 0x101, "CPU: V3000"},   {"r3000_2", 0x102, "Unknown CPU type"},
};

class CpuStatus : public BoardSetup, public ::testing::WithParamInterface<CpuCase> {};

TEST_P(CpuStatus, ShowsTheProcessorInTheStatusBar)
{
    targetless_board(GetParam().cpu_id);
    ASSERT_EQ(compile_bios(""), 0) << messages_text();
    EXPECT_EQ(headless_main_window().status_text, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(All, CpuStatus, ::testing::ValuesIn(kCpus),
                         [](const auto &i) { return std::string(i.param.name); });

// The revision-257 rows ("rdmode" among them) assemble only for CPU id 0x101.
TEST_F(BoardSetup, ExtendedMnemonicsOnlyForCpuId0x101)
{
    targetless_board(0x101);
    ASSERT_EQ(compile_bios("#asm\n rdmode\n#endasm\n"), 0) << messages_text();
    EXPECT_EQ(sent_at(kRootCode, 2), (std::vector<uint8_t>{0xED, 0x7F}));

    linker.sent.clear();
    targetless_board(0x100);
    EXPECT_EQ(compile_bios("#asm\n rdmode\n#endasm\n") & 2, 2);
    EXPECT_EQ(messages().size(), 1u) << messages_text();
    EXPECT_EQ(sent_at(kRootCode, 1), std::vector<uint8_t>{0xFF});
}

struct BaudCase {
    const char *name;
    uint32_t board_type;
    uint32_t divider;
    uint32_t rate;
    const char *macro;
    uint32_t stored_rate;  // the loader rate afterwards
};

const BaudCase kBauds[] = {
    {"fast_rate_slow_crystal", 0x2100, 8, 115200, "57600", 115200},
    {"fast_rate_fast_crystal", 0x2100, 12, 115200, "115200", 115200},
    {"slow_board_lowered", 0x1201, 36, 57600, "38400", 38400},
    {"slow_board_exact", 0x1200, 36, 9600, "9600", 9600},
    {"slow_board_odd_rate", 0x1200, 36, 14400, "(undefined)", 14400},
    {"odd_rate", 0x2100, 36, 14400, "0", 14400},
    {"exact_rate", 0x2100, 36, 19200, "19200", 19200},
};

class BiosBaud : public BoardSetup, public ::testing::WithParamInterface<BaudCase> {};

TEST_P(BiosBaud, FollowsTheLoaderRateTheBoardAndTheCrystal)
{
    targetless_board();
    gBoardParameters.boardType = GetParam().board_type;
    gBoardParameters.crystalSpeed = GetParam().divider * 614400u;
    headless_target_operations().loader_rates[2] = GetParam().rate;
    ASSERT_EQ(compile_bios(""), 0) << messages_text();
    EXPECT_EQ(macro("_BIOSBAUD_"), GetParam().macro);
    EXPECT_EQ(headless_target_operations().loader_rates[2], GetParam().stored_rate);
}

INSTANTIATE_TEST_SUITE_P(All, BiosBaud, ::testing::ValuesIn(kBauds),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(BoardSetup, ValidIdBlockPlacesTheIdBlockAndSendsTheFlashSection)
{
    board_on_target(valid_id_block());
    flash_ini("[0100]\nsector size = 1\n[01A4]\n"
              "sector size = 4096\nnum sectors = 64\nflash size = 64\nwrite mode = 1\n");
    ASSERT_EQ(compile_bios(""), 0) << messages_text();
    EXPECT_EQ(macro("_ID_BLOCK_SIZE_"), "4224L");
    EXPECT_EQ(macro("_ID_BLOCK_PTR_"), std::to_string(64 * 4096 - 4224) + "L");
    EXPECT_EQ(macro("_BOARD_TYPE_"), std::to_string(0x2100));
    EXPECT_EQ(macro("_SECTOR_SIZE_"), "4096");
    EXPECT_EQ(macro("_RAM_SIZE_"), "128");
    EXPECT_EQ(headless_main_window().status_text, "CPU: V3000");
    EXPECT_TRUE(target_called("TcSendFlashParameters 0x40 0x1000 64 1"))
        << ::testing::PrintToString(headless_target_operations().calls);
    EXPECT_TRUE(compile_conditions().erase) << "write mode 1: the parameters stay owed";
}

TEST_F(BoardSetup, ChangedMarkerByteMakesTheIdBlockInvalid)
{
    std::array<uint8_t, 132> block = valid_id_block();
    block[129] ^= 0x01;
    board_on_target(block);
    flash_ini("[01a4]\nwrite mode = 2\n");
    ASSERT_EQ(compile_bios(""), 0) << messages_text();
    EXPECT_EQ(macro("_ID_BLOCK_SIZE_"), "0L");
    EXPECT_EQ(macro("_ID_BLOCK_PTR_"), "0L");
    EXPECT_EQ(macro("_BOARD_TYPE_"), "(undefined)");
    EXPECT_FALSE(compile_conditions().erase) << "write mode 2: nothing owed";
}

TEST_F(BoardSetup, MissingFlashFileEndsTheCompile)
{
    board_on_target(valid_id_block());
    std::filesystem::remove(dir / "Flash.ini");
    EXPECT_EQ(compile_bios("#error \"not reached\"\n") & 2, 2);
    EXPECT_EQ(messages_text(),
              "1: Flash information file (" + path("Flash.ini") + ") not found\n");
    EXPECT_FALSE(target_called_like("TcSendFlashParameters"));
}

// An unknown chip gets the default geometry; the user hears of it even at "serious only".
TEST_F(BoardSetup, UnknownFlashIdWarnsSeriouslyAndSendsTheDefaults)
{
    board_on_target(valid_id_block());
    flash_ini("[0100]\nsector size = 1\n");
    compiler_options().warning_level = 1;
    EXPECT_EQ(compile_bios("") & 2, 0);
    const std::vector<Message> got = messages();
    ASSERT_EQ(got.size(), 1u) << messages_text();
    EXPECT_EQ(got[0].kind, kMsgKindSerious);
    EXPECT_EQ(got[0].summary, "No parameters found for flash id received from pilot bios -  "
                              "using default parameters.");
    EXPECT_TRUE(target_called("TcSendFlashParameters 0x10 0x80 1 2"));
    compiler_options().warning_level = 2;
}

TEST_F(BoardSetup, FlashValuesThatAreNoSixteenBitNumbersGiveTheirDefaults)
{
    board_on_target(valid_id_block());
    flash_ini("[01a4]\nsector size = abc\nnum sectors = 70000\nflash size = 0x20\n");
    (void)compile_bios("");
    EXPECT_EQ(messages_text(),
              "1: Flash information file: \"sector size\" in section [01a4] is \"abc\", not a "
              "16-bit number; using 128.\n"
              "1: Flash information file: \"num sectors\" in section [01a4] is \"70000\", not a "
              "16-bit number; using 1.\n");
    EXPECT_TRUE(target_called("TcSendFlashParameters 0x20 0x80 1 2"));
}

struct OwedCase {
    const char *name;
    uint8_t output_mode;
    bool owed;
    bool sent;
};

const OwedCase kOwed[] = {
    {"flash_owed", 0, true, true},
    {"flash_not_owed", 0, false, false},
    {"ram_owed", 1, true, false},
};

class ProgramFlashParameters : public BoardSetup, public ::testing::WithParamInterface<OwedCase> {};

// A program compile sends the flash parameters only while they are owed, and never in RAM mode.
TEST_P(ProgramFlashParameters, SentOnlyWhenOwedAndNotInRam)
{
    flash_ini("[0000]\nwrite mode = 1\n");
    IdePreferences().output_mode = GetParam().output_mode;
    compile_conditions().erase = GetParam().owed;
    ASSERT_EQ(compile(""), 0) << messages_text();
    EXPECT_EQ(target_called_like("TcSendFlashParameters"), GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(All, ProgramFlashParameters, ::testing::ValuesIn(kOwed),
                         [](const auto &i) { return std::string(i.param.name); });

// The board's processor revision decides the no-operation between an I/O-prefixed access and a
// memory access through HL right behind it; only the instruction right behind is looked at.
struct RevisionCase {
    const char *name;
    int32_t cpu_id;
    const char *next;            // the line after "ioi ld a,(hl)"
    std::vector<uint8_t> bytes;  // from the first byte of "ioi ld a,(hl)"
};
const RevisionCase kRevisions[] = {
    {"v2000_revision_2_gets_a_nop", 2, "ld (hl),a", {0xD3, 0x7E, 0x00, 0x77}},
    {"v2000_revision_3", 3, "ld (hl),a", {0xD3, 0x7E, 0x77, 0xFF}},
    {"v3000", 0x100, "ld (hl),a", {0xD3, 0x7E, 0x77, 0xFF}},
    {"other_instruction_behind", 2, "ld hl,0x7E00", {0xD3, 0x7E, 0x21, 0x00, 0x7E, 0xFF}},
    {"data_behind", 2, "db 0x77, 0x77", {0xD3, 0x7E, 0x00, 0x77, 0x77, 0xFF}},
};

class BoardRevision : public BoardSetup, public ::testing::WithParamInterface<RevisionCase> {};

TEST_P(BoardRevision, DecidesTheNopBeforeAnIoPrefixedAccess)
{
    targetless_board(GetParam().cpu_id);
    ASSERT_EQ(compile_bios(std::string("#asm\n ioi ld a,(hl)\n ") + GetParam().next + "\n#endasm\n") & 2,
              0)
        << messages_text();
    EXPECT_EQ(sent_at(kRootCode, GetParam().bytes.size()), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(All, BoardRevision, ::testing::ValuesIn(kRevisions),
                         [](const auto &i) { return std::string(i.param.name); });
