// The debug windows' text over target memory: the register and stack lines, the disassembly
// window (compared with kxdis over the same memory, with its reads counted) and the memory dump
// with its change marking.
#include <gtest/gtest.h>

#include "core/CC_ADDR.h"
#include "driver/CC_GO.h"
#include "debugger/DB_DA.h"
#include "debugger/DB_ML.h"
#include "debugger/DB_SRC.h"
#include "SeamDoubles.h"
#include "SimBoard.h"
#include "core/guiInterface.h"
#include "settings/guiKXPreferences.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

class RecordingRegisters : public TRegisterInterface {
public:
    std::vector<std::string> lines;
    std::vector<std::string> events;
    void AddLine(const char *text) override { lines.push_back(text), events.push_back("line"); }
    void BeginUpdate() override { events.push_back("begin"); }
    void EndUpdate() override { events.push_back("end"); }
};

class RecordingStack : public TStackInterface {
public:
    std::vector<std::string> lines;
    void AddLine(const char *text) override { lines.push_back(text); }
};

class RecordingAssembly : public TAssemblyInterface {
public:
    std::vector<std::string> lines;
    std::vector<uint32_t> marks;
    void AddLine(const char *text) override { lines.push_back(text); }
    void MarkExecutionLine(uint32_t packed) override { marks.push_back(packed); }
    void Clear() override { lines.clear(); }
};

class RecordingDump : public TDumpInterface {
public:
    std::vector<std::string> lines;
    std::vector<uint32_t> addresses;
    void AddDumpLine(const char *line) override { lines.push_back(line); }
    void AddDumpLineAt(const char *line, uint32_t address) override
    {
        AddDumpLine(line);
        addresses.push_back(address);
    }
};

// Target memory is the board stand-in's: reads go through its MMU as the firmware's would.
class StandInMemory : public HeadlessTargetOperations {
public:
    vsim::SimBoard board;
    std::vector<std::pair<uint32_t, uint32_t>> reads;  // address word, count
    void TcReadMemory(uint32_t address_word, uint8_t *buffer, uint32_t count) override
    {
        reads.emplace_back(address_word, count);
        for (uint32_t i = 0; i < count; ++i)
            buffer[i] = board.read(uint16_t(addr_offset(address_word) + i), addr_xpc(address_word));
    }
};

class DebugViews : public ::testing::Test {
protected:
    void SetUp() override
    {
        (void)set_xmem_window(0xE);
        set_target_operations(&target);
        set_breakpoint_tables(nullptr);
        forgetDisassemblyView();
        clearBreakpoints();
    }
    void TearDown() override
    {
        forgetDisassemblyView();
        clearBreakpoints();
        install_seam_doubles();
        IdePreferences().memory_dump.format = 0;
        compiler_options().separate_id = 0;
    }
    void load(uint32_t physical, const std::vector<uint8_t> &bytes)
    {
        ASSERT_TRUE(target.board.load(physical, bytes));
    }
    StandInMemory target;
};

// ---- registers and stack ----------------------------------------------------------------------

TEST(Flags, ClearBitsShowAsBlanks)
{
    EXPECT_EQ(formatFlags(0x41), " Z     C");
    EXPECT_EQ(formatFlags(0xFF), "SZXHXVNC");
    EXPECT_EQ(formatFlags(0x00), "        ");
    EXPECT_EQ(formatFlags(0x80), "S       ");
}

TEST_F(DebugViews, RegisterLines)
{
    TargetRegisterSet r;
    r.AF = 0x1241;
    r.BC = 0x0BC0;
    r.DE = 0xDE00;
    r.HL = 0x4321;
    r.SP = 0xD000;
    r.PC = make_addr(0x0A, 0xE123);
    r.IX = 0x1111;
    r.IY = 0x2222;
    r.AF2 = 0xAF22;
    r.BC2 = 0xBC22;
    r.DE2 = 0xDE22;
    r.HL2 = 0x4422;
    RecordingRegisters window;
    formatRegisterLines(window, r);
    EXPECT_EQ(window.lines, (std::vector<std::string>{
                                "----------PC@0a:e123", " Z     C  XPC 0A",
                                "A   12    AF' AF22", "BC  0BC0  BC' BC22", "DE  DE00  DE' DE22",
                                "HL  4321  HL' 4422", "IX  1111  IY  2222", "PC  E123  SP  D000"}));
    EXPECT_EQ(window.events.front(), "begin");
    EXPECT_EQ(window.events.back(), "end");
}

TEST_F(DebugViews, PositionLineNamesTheStatementOrTheAddress)
{
    (void)markStatementPosition("p.c", 7, 300, 0x0100, gLineTable);
    (void)markStatementPosition("p.c", 8, 1, 0x0108, gLineTable);
    (void)markStatementPosition("p.c", 9, 1, 0x0110, gLineTable);
    RecordingStack window;
    formatPositionLine(0x0100, window);
    formatPositionLine(0x0200, window);
    EXPECT_EQ(window.lines, (std::vector<std::string>{"----------L: 7  C:300",
                                                      "----------PC@0200"}));
}

TEST_F(DebugViews, StackWordsAreReadAtSp)
{
    load(0xC000, {0x34, 0x12, 0x78, 0x56, 0xFF, 0x00});
    TargetRegisterSet r;
    r.SP = 0xC000;
    r.PC = 0x0300;
    RecordingStack window;
    fillStackView(window, r, 3);
    ASSERT_EQ(target.reads.size(), 1u);
    EXPECT_EQ(target.reads[0], (std::pair<uint32_t, uint32_t>{0xC000, 6}));
    EXPECT_EQ(window.lines, (std::vector<std::string>{"----------PC@0300", "C000: 1234",
                                                      "C002: 5678", "C004: 00FF"}));
}

struct StackDataCase {
    const char *name;
    int16_t length;
    std::size_t words;
};
void PrintTo(const StackDataCase &c, std::ostream *os) { *os << c.name; }
const StackDataCase kStackData[] = {
    {"five_bytes_list_two_words", 5, 2}, {"one_byte_lists_none", 1, 0},
    {"nothing", 0, 0},                   {"negative_length_lists_none", -3, 0},
    {"sixteen_bytes", 16, 8},
};
class StackData : public ::testing::TestWithParam<StackDataCase> {};
TEST_P(StackData, ListsWholeWords)
{
    const uint8_t data[16] = {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0};
    TargetRegisterSet r;
    r.SP = 0xFFFE;
    RecordingStack window;
    fillStackFromData(window, r, data, GetParam().length);
    ASSERT_EQ(window.lines.size(), GetParam().words + 1);
    if (GetParam().words >= 2) {
        EXPECT_EQ(window.lines[1], "FFFE: 0001");
        EXPECT_EQ(window.lines[2], "0000: 0002") << "the stack address wraps in 16 bits";
    }
}
INSTANTIATE_TEST_SUITE_P(All, StackData, ::testing::ValuesIn(kStackData),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- disassembly ------------------------------------------------------------------------------

std::string trimmed(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

struct KxdisLine {
    uint32_t address;
    std::string bytes;
    std::string text;
};

// kxdis's listing of the bytes, from `org`.
std::vector<KxdisLine> kxdis(const std::vector<uint8_t> &code, uint32_t org)
{
    const std::filesystem::path bin =
        std::filesystem::temp_directory_path() / ("debugviews_" + std::to_string(::getpid()) + ".bin");
    {
        std::ofstream out(bin, std::ios::binary);
        out.write(reinterpret_cast<const char *>(code.data()), std::streamsize(code.size()));
    }
    char org_text[16];
    std::snprintf(org_text, sizeof org_text, "0x%X", org);
    const std::string cmd = std::string(KX_TOOLS_DIR "/kxdis --cpu 2000 --org ") + org_text + " " +
                            bin.string();
    std::vector<KxdisLine> lines;
    FILE *p = popen(cmd.c_str(), "r");
    char buf[256];
    while (p && std::fgets(buf, sizeof buf, p)) {
        std::string line(buf);
        while (!line.empty() && (line.back() == '\n' || line.back() == ' '))
            line.pop_back();
        // "AAAA  B1 B2 B3 B4  text"
        KxdisLine l;
        l.address = uint32_t(std::stoul(line.substr(0, 4), nullptr, 16));
        for (std::size_t i = 0; i < 4; ++i) {
            const std::string cell = line.substr(6 + 3 * i, 2);
            l.bytes += cell == "  " ? "" : cell;
        }
        l.text = line.size() > 19 ? line.substr(19) : "";
        lines.push_back(l);
    }
    if (p)
        pclose(p);
    std::filesystem::remove(bin);
    return lines;
}

// Every instruction of the Vireon 2000 set in a row, 0x4000 onwards, listed window by window:
// each line shows what kxdis shows for the same memory, and a read happens only when the
// address leaves the instructions listed.
TEST_F(DebugViews, DisassemblyOfStandInMemoryMatchesKxdis)
{
    selectDisasmPageSet(DisasmPageSet::A);
    std::vector<uint8_t> code;
    for (const std::vector<uint8_t> &i : enumerateInstructions(DisasmPageSet::A))
        code.insert(code.end(), i.begin(), i.end());
    constexpr uint32_t kOrg = 0x4000;
    load(kOrg, code);
    const std::vector<KxdisLine> expected = kxdis(code, kOrg);
    ASSERT_GT(expected.size(), 200u);

    RecordingAssembly window;
    std::size_t next = 0;
    int fills = 0;
    while (next < expected.size()) {
        const uint32_t at = expected[next].address;
        fillDisassemblyView(at, 0, window, at);
        ++fills;
        ASSERT_EQ(target.reads.size(), std::size_t(fills));
        EXPECT_EQ(target.reads.back(), (std::pair<uint32_t, uint32_t>{at, kDisassemblyBytes}));
        ASSERT_FALSE(window.lines.empty());
        ASSERT_LE(window.lines.size(), std::size_t(kDisassemblyLines));
        ASSERT_EQ(window.cycles.size(), window.lines.size());
        std::size_t compared = 0;
        for (const std::string &line : window.lines) {
            if (next == expected.size())
                break;  // past the code: whatever the memory holds
            const KxdisLine &k = expected[next++];
            ++compared;
            char address[16];
            std::snprintf(address, sizeof address, "   %04x ", k.address);
            EXPECT_EQ(line.substr(0, 8), address);
            EXPECT_EQ(trimmed(line.substr(8, 8)), k.bytes.substr(0, 8)) << line;
            EXPECT_EQ(trimmed(line.substr(17, 23)), trimmed(k.text.substr(0, 23))) << line;
        }
        if (compared < 2)
            continue;
        // The PC moving inside the listed instructions only moves the selection.
        const std::size_t lines = window.lines.size();
        fillDisassemblyView(expected[next - 1].address, 0, window, expected[next - 2].address);
        EXPECT_EQ(target.reads.size(), std::size_t(fills)) << "no read inside the listed range";
        EXPECT_EQ(window.lines.size(), lines);
        EXPECT_EQ(window.marks.back(), compared - 2);
    }
    EXPECT_GT(fills, 3);
    selectDisasmTables();
}

TEST_F(DebugViews, ModeBitsForceTheReadAndChooseTheSelectedLine)
{
    load(0x5000, {0x00, 0x3E, 0x12, 0xCD, 0x00, 0x60, 0xC9});  // nop; ld a,0x12; call; ret
    RecordingAssembly window;
    fillDisassemblyView(0x5000, 0, window, 0x5003);
    EXPECT_EQ(window.marks.back(), 2u) << "the PC's line";
    fillDisassemblyView(0x5001, 2, window, 0x5003);
    EXPECT_EQ(target.reads.size(), 1u);
    EXPECT_EQ(window.marks.back(), 1u) << "mode bit 1: the address's line";
    fillDisassemblyView(0x5000, 1, window, 0x5000);
    EXPECT_EQ(target.reads.size(), 2u) << "mode bit 0 reads again";
    EXPECT_EQ(window.marks.back(), 0u);
    EXPECT_EQ(window.cycles[0], 2);
    EXPECT_EQ(window.cycles[2], 12);
    EXPECT_EQ(window.lines[1].substr(8, 8), "3E12    ") << "two bytes and two fillers";
}

// An instruction that would need bytes past the 260 read is not listed (nor anything after
// it): the next fill reads from it.
TEST_F(DebugViews, DisassemblyStopsBeforeAnInstructionCutByTheBuffer)
{
    std::vector<uint8_t> code;
    for (int i = 0; i < 51; ++i)
        code.insert(code.end(), {0xD3, 0xDD, 0x36, 0x05, 0x12});  // ioi ld (ix+5),0x12: 255 bytes
    code.insert(code.end(), {0x21, 0x34, 0x12});                    // ld hl,0x1234: to 258
    code.insert(code.end(), {0xDD, 0x21, 0x78, 0x56});              // ld ix,0x5678: to 262
    load(0x7000, code);
    RecordingAssembly window;
    fillDisassemblyView(0x7000, 0, window, 0x7000);
    ASSERT_EQ(target.reads.size(), 1u);
    EXPECT_EQ(target.reads[0].second, kDisassemblyBytes);
    ASSERT_EQ(window.lines.size(), 52u);
    EXPECT_EQ(window.lines.back().substr(0, 16), "   70ff 213412  ");
    fillDisassemblyView(0x7000 + 258, 0, window, 0x7000 + 258);
    EXPECT_EQ(target.reads.size(), 2u) << "the cut instruction lies outside what was listed";
    EXPECT_EQ(window.lines.front().substr(0, 16), "   7102 DD217856");
}

// ---- memory dump ------------------------------------------------------------------------------

TEST_F(DebugViews, DumpLineShowsValuesAndTextWithBlanksUpTo0x20)
{
    std::vector<uint8_t> bytes(128, 0x41);
    const uint8_t line0[16] = {0x00, 0x1F, 0x20, 0x21, 'A', 'z', 0x7E, 0x7F,
                               0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80};
    std::copy(line0, line0 + 16, bytes.begin());
    load(0x8000, bytes);
    RecordingDump window;
    std::ostringstream file;
    fillMemoryDumpView(0x8000, &window, 1, &file, false);
    ASSERT_EQ(window.lines.size(), 8u);
    EXPECT_EQ(window.lines[0],
              "8000 00 1F 20 21 41 7A 7E 7F 10 20 30 40 50 60 70 80    !Az~\x7f  0@P`p\x80");
    EXPECT_EQ(window.lines[1].substr(0, 5), "8010 ");
    EXPECT_EQ(window.addresses[1], 0x8010u);
    const std::string written = file.str();
    EXPECT_EQ(written.substr(0, window.lines[0].size() + 1), window.lines[0] + "\n");
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 8);
}

struct FormatCase {
    const char *name;
    int format;
    uint8_t physical, xpc_offset;
    uint32_t address;
    const char *start;  // of the first line
};
void PrintTo(const FormatCase &c, std::ostream *os) { *os << c.name; }
const FormatCase kFormats[] = {
    {"bytes", 0, 0, 0, 0x8000, "8000 01 02 03 04 05 06 07 08 "},
    {"words_little_endian", 1, 0, 0, 0x8000, "8000 0201 0403 0605 0807 "},
    {"double_words", 2, 0, 0, 0x8000, "8000 04030201 08070605 0C0B0A09 100F0E0D "},
    {"xpc_and_offset", 0, 0, 1, make_addr(0x72, 0xE000), "72:e000 01 02 "},
    {"physical", 0, 1, 0, make_addr(0x72, 0xE000), "080000 01 02 "},
};
class DumpFormat : public DebugViews, public ::testing::WithParamInterface<FormatCase> {};
TEST_P(DumpFormat, FirstLine)
{
    const FormatCase &c = GetParam();
    std::vector<uint8_t> bytes(128);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i + 1);
    load(0x8000, bytes);
    load(0x80000, bytes);
    IdePreferences().memory_dump.format = c.format;
    gMainWindowInterface->dump_physical = c.physical;
    gMainWindowInterface->dump_xpc_offset = c.xpc_offset;
    RecordingDump window;
    fillMemoryDumpView(c.address, &window, 1, nullptr, false);
    gMainWindowInterface->dump_physical = 0;
    gMainWindowInterface->dump_xpc_offset = 0;
    ASSERT_FALSE(window.lines.empty());
    EXPECT_EQ(window.lines[0].substr(0, std::string(c.start).size()), c.start);
}
INSTANTIATE_TEST_SUITE_P(All, DumpFormat, ::testing::ValuesIn(kFormats),
                         [](const auto &i) { return std::string(i.param.name); });

// Change marking: bytes that differ from what the window showed last are marked; a window that
// grew gets room for its new lines, which count as unchanged the first time.
TEST_F(DebugViews, ChangeMarkingSurvivesAGrowingWindow)
{
    load(0x9000, std::vector<uint8_t>(512, 0x11));
    RecordingDump window;
    fillMemoryDumpView(0x9003, &window, 1, nullptr, true);
    EXPECT_EQ(window.start_column, 3);
    EXPECT_TRUE(window.changed.empty());
    ASSERT_TRUE(target.board.poke(0x9003 + 5, 0x22));
    ASSERT_TRUE(target.board.poke(0x9003 + 200, 0x33));
    fillMemoryDumpView(0x9003, &window, 3, nullptr, true);
    EXPECT_EQ(window.lines.size(), 8u + 24u);
    EXPECT_EQ(window.changed, (std::set<uint32_t>{0x9008})) << "new lines count as unchanged";
    EXPECT_EQ(window.previous.size(), 3u * 128u);
    ASSERT_TRUE(target.board.poke(0x9003 + 200, 0x44));
    fillMemoryDumpView(0x9003, &window, 3, nullptr, true);
    EXPECT_EQ(window.changed, (std::set<uint32_t>{0x9003 + 200}));
    fillMemoryDumpView(0x9003, &window, 1, nullptr, false);
    EXPECT_TRUE(window.changed.empty()) << "nothing is marked with marking off";
    EXPECT_EQ(window.previous.size(), 128u);
}

}  // namespace
