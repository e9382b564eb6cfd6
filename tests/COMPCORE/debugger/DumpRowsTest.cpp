// The memory dump window's row layout: row limits, the row of a received line, the address a
// row stands for (the three modes and the three xpc ranges), the hint texts and the value
// group under a character column.
#include <gtest/gtest.h>

#include "core/CC_ADDR.h"
#include "debugger/DumpRows.h"

#include <string>

namespace {

DumpLayout layout(DumpMode mode, int range = 0, uint8_t xpc = 0, uint16_t page_base = 0)
{
    DumpLayout l;
    l.mode = mode;
    l.range = range;
    l.xpc = xpc;
    l.page_base = page_base;
    return l;
}

struct LimitCase {
    const char *name;
    DumpLayout layout;
    int64_t rows;
};
const LimitCase kLimits[] = {
    {"physical", layout(DumpMode::Physical), 65536},
    {"logical", layout(DumpMode::Logical), 4096},
    {"xpc_page", layout(DumpMode::XpcOffset, 0), 256},
    {"xpc_logical_space", layout(DumpMode::XpcOffset, 1), 4096},
    {"xpc_all", layout(DumpMode::XpcOffset, 2), 1048576},
};
class DumpRowLimit : public ::testing::TestWithParam<LimitCase> {};
TEST_P(DumpRowLimit, CoversTheMode) { EXPECT_EQ(dump_row_limit(GetParam().layout), GetParam().rows); }
INSTANTIATE_TEST_SUITE_P(All, DumpRowLimit, ::testing::ValuesIn(kLimits),
                         [](const auto &i) { return std::string(i.param.name); });

// Received lines: the address column decides the address; bad columns are no address.
struct LineCase {
    const char *name;
    const char *line;
    bool valid;
    uint32_t address;
    uint32_t physical;
    int width;
};
const LineCase kLines[] = {
    {"logical", "2340 00 01", true, 0x2340, 0x2340, 4},
    {"logical_upper", "2A4F 00", true, 0x2A4F, 0x2A4F, 4},
    {"physical", "01a2b0 00", true, 0x1A2B0, 0x1A2B0, 6},
    {"xpc_offset", "1e:e120 00", true, make_addr(0x1E, 0xE120), 0x2C120, 7},
    {"empty_column", " 00 01", false, 0, 0, 0},
    {"five_characters", "12345 00", false, 0, 0, 0},
    {"eight_characters", "12345678 00", false, 0, 0, 0},
    {"not_hex", "23g0 00", false, 0, 0, 0},
    {"xpc_without_colon", "1e-e120 00", false, 0, 0, 0},
    {"physical_past_20_bits", "1fffff 00", false, 0, 0, 0},
    {"no_blank", "2340", false, 0, 0, 0},
};
class DumpLineColumn : public ::testing::TestWithParam<LineCase> {};
TEST_P(DumpLineColumn, Parses)
{
    const LineCase &c = GetParam();
    const std::optional<DumpLineAddress> got = parse_dump_line_address(c.line);
    ASSERT_EQ(got.has_value(), c.valid);
    if (!got)
        return;
    EXPECT_EQ(got->address, c.address);
    EXPECT_EQ(got->physical, c.physical);
    EXPECT_EQ(got->column_width, c.width);
}
INSTANTIATE_TEST_SUITE_P(All, DumpLineColumn, ::testing::ValuesIn(kLines),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(DumpLineColumn, TenKilobytesOfTextIsNoAddress)
{
    EXPECT_FALSE(parse_dump_line_address(std::string(10240, '7')).has_value());
    EXPECT_FALSE(parse_dump_line_address(std::string(10240, '7') + " 00").has_value());
}

// A row stands for an address, and a line of that address goes back to the row.
struct RowCase {
    const char *name;
    DumpLayout layout;
    int64_t row;
    uint32_t address;   // ADDR24 (physical mode: the physical address)
    uint32_t physical;  // where the read starts
    const char *hint;
};
const RowCase kRows[] = {
    {"physical", layout(DumpMode::Physical), 0x1A2B, 0x1A2B0, 0x1A2B0, "1A2B0"},
    {"logical", layout(DumpMode::Logical), 0x234, 0x2340, 0x2340, "2340"},
    // Range 0 wraps every 4 KB; the offset adds the page base.
    {"page_first_row", layout(DumpMode::XpcOffset, 0, 0x1E, 0xE000), 0x12,
     make_addr(0x1E, 0xE120), 0x2C120, "1E:E120"},
    {"page_last_row", layout(DumpMode::XpcOffset, 0, 0x1E, 0xE000), 255,
     make_addr(0x1E, 0xEFF0), 0x2CFF0, "1E:EFF0"},
    {"space_row", layout(DumpMode::XpcOffset, 1, 0x1E, 0xE000), 0xE12,
     make_addr(0x1E, 0xE120), 0x2C120, "1E:E120"},
    // Range 2: past offset FFF0 the next XPC begins.
    {"all_last_of_xpc", layout(DumpMode::XpcOffset, 2), 4095, make_addr(0x00, 0xFFF0), 0xFFF0,
     "00:FFF0"},
    {"all_next_xpc", layout(DumpMode::XpcOffset, 2), 4096, make_addr(0x01, 0x0000), 0x1000,
     "01:0000"},
    {"all_high", layout(DumpMode::XpcOffset, 2), 0x1EE12, make_addr(0x1E, 0xE120), 0x2C120,
     "1E:E120"},
};
class DumpRowAddress : public ::testing::TestWithParam<RowCase> {};
TEST_P(DumpRowAddress, BothWays)
{
    const RowCase &c = GetParam();
    const uint32_t address = dump_address_of_row(c.layout, c.row);
    EXPECT_EQ(address, c.address);
    EXPECT_EQ(dump_physical_of_row(c.layout, c.row), c.physical);
    EXPECT_EQ(dump_address_text(c.layout.mode, address), c.hint);
    DumpLineAddress line;
    line.address = address;
    line.physical = c.layout.mode == DumpMode::Physical ? address : addr_to_physical(address);
    EXPECT_EQ(dump_row_of(c.layout, line), c.row);
}
INSTANTIATE_TEST_SUITE_P(All, DumpRowAddress, ::testing::ValuesIn(kRows),
                         [](const auto &i) { return std::string(i.param.name); });

// "2340 " then groups one blank apart: bytes from column 5, words of 4, double words of 8.
struct GroupCase {
    const char *name;
    int address_width;
    int value_width;
    int column;
    int group; // -1: none
};
const GroupCase kGroups[] = {
    {"over_address", 4, 0, 2, -1},
    {"blank_after_address", 4, 0, 4, -1},
    {"first_byte", 4, 0, 5, 0},
    {"second_digit_of_first_byte", 4, 0, 6, 0},
    {"blank_belongs_before", 4, 0, 7, 0},
    {"second_byte", 4, 0, 8, 1},
    {"last_byte", 4, 0, 5 + 15 * 3 + 1, 15},
    {"past_last_byte", 4, 0, 5 + 16 * 3, -1},
    {"word_second", 4, 1, 5 + 5, 1},
    {"dword_last", 7, 2, 8 + 3 * 9 + 7, 3},
    {"dword_past", 7, 2, 8 + 4 * 9, -1},
};
class DumpGroupColumn : public ::testing::TestWithParam<GroupCase> {};
TEST_P(DumpGroupColumn, UnderTheMouse)
{
    const GroupCase &c = GetParam();
    const std::optional<int> got = dump_group_at(c.address_width, c.value_width, c.column);
    EXPECT_EQ(got.value_or(-1), c.group);
}
INSTANTIATE_TEST_SUITE_P(All, DumpGroupColumn, ::testing::ValuesIn(kGroups),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
