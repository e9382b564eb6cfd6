// The source and code position tables: statement ranges as the compiler marks them, the
// look-ups by address and by source position, the ".brk" text, and the seam that serves them.
#include <gtest/gtest.h>

#include "core/CC_ADDR.h"
#include "debugger/DB_SRC.h"
#include "SeamDoubles.h"

#include <sstream>
#include <string>
#include <vector>

namespace {

class SourceTables : public ::testing::Test {
protected:
    void SetUp() override
    {
        (void)set_xmem_window(0xE);
        clearBreakpoints();
    }
    void TearDown() override { clearBreakpoints(); }

    // A statement of `file` at (line, column) with its code at `address`.
    static void mark(const char *file, int line, int column, uint32_t address)
    {
        (void)markStatementPosition(file, line, column, address, gLineTable);
    }
    static std::string dump()
    {
        std::ostringstream out;
        dumpBreakpoints(out);
        return out.str();
    }
};

// A program of one file: statements at (3,5) and (3,12) share a line, (5,9) opens its line,
// and the file ends at line 8.
class OneFile : public SourceTables {
protected:
    void SetUp() override
    {
        SourceTables::SetUp();
        beginSourceRange("main.c", 0, 0, 0x0100);
        mark("main.c", 3, 5, 0x0100);
        mark("main.c", 3, 12, 0x0110);
        mark("main.c", 5, 9, 0x0120);
        endSourceRange(8, 1, 0x0130);
    }
};

struct SourceCase {
    const char *name;
    const char *file;
    uint16_t line, column;
    uint32_t address;  // 0: no statement there
};
void PrintTo(const SourceCase &c, std::ostream *os) { *os << c.name; }

const SourceCase kSourceCases[] = {
    {"first_statement_at_its_start", "main.c", 3, 5, 0x0100},
    {"first_statement_one_column_before_the_second", "main.c", 3, 11, 0x0100},
    {"second_statement_on_the_line", "main.c", 3, 12, 0x0110},
    {"lines_between_belong_to_the_statement_before", "main.c", 4, 30, 0x0110},
    {"a_statement_opening_its_line_owns_column_1", "main.c", 5, 1, 0x0120},
    {"the_last_statement_runs_to_the_line_after_the_end", "main.c", 9, 0, 0x0120},
    {"past_the_last_range", "main.c", 9, 1, 0},
    {"far_past_the_end", "main.c", 500, 1, 0},
    {"file_name_in_upper_case", "MAIN.C", 3, 12, 0x0110},
    {"unknown_file", "other.c", 3, 5, 0},
};

class BySource : public OneFile, public ::testing::WithParamInterface<SourceCase> {};

TEST_P(BySource, FindsTheStatementWhoseRangeHoldsThePosition)
{
    const SourceCase &c = GetParam();
    EXPECT_EQ(lookupAddressBySource(c.file, c.line, c.column), c.address);
}

INSTANTIATE_TEST_SUITE_P(All, BySource, ::testing::ValuesIn(kSourceCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(OneFile, DumpListsTheRangesInSourceOrder)
{
    EXPECT_EQ(dump(), "a total of 4 breakpoints\n"
                      "main.c([0,0],[3,0]@[0,0])->**: 100\n"
                      "main.c([3,1],[3,11]@[3,5])->**: 100\n"
                      "main.c([3,12],[5,0]@[3,12])->**: 110\n"
                      "main.c([5,1],[9,0]@[5,9])->**: 120\n");
}

TEST_F(OneFile, EveryStatementStartIsAPointByAddress)
{
    struct At { uint32_t address; uint16_t line, column; };
    for (const At at : {At{0x0100, 3, 5}, At{0x0110, 3, 12}, At{0x0120, 5, 9}}) {
        uint16_t line = 0, column = 0;
        std::string file;
        ASSERT_TRUE(lookupBreakpointByAddress(at.address, line, column, file, gStatementTable))
            << std::hex << at.address;
        EXPECT_EQ(file, "main.c");
        EXPECT_EQ(line, at.line);
        EXPECT_EQ(column, at.column);
    }
    uint16_t line = 0, column = 0;
    std::string file;
    EXPECT_FALSE(lookupBreakpointByAddress(0x0104, line, column, file, gStatementTable))
        << "no statement starts inside another's code";
    std::vector<source_item> items;
    EXPECT_FALSE(getSourceItemsAtAddress(0x0130, gStatementTable, items));
    EXPECT_TRUE(items.empty());
}

TEST_F(SourceTables, RangesNeverSpanTwoFiles)
{
    mark("a.c", 1, 1, 0x0200);
    mark("a.c", 2, 1, 0x0210);
    mark("b.lib", 7, 3, 0x0300);  // only becomes pending
    mark("b.lib", 9, 3, 0x0310);
    EXPECT_EQ(dump(), "a total of 2 breakpoints\n"
                      "a.c([1,1],[2,0]@[1,1])->**: 200\n"
                      "b.lib([7,1],[9,0]@[7,3])->**: 300\n");
    EXPECT_EQ(lookupAddressBySource("a.c", 2, 1), 0u) << "a.c's last statement never closed";
    EXPECT_EQ(lookupAddressBySource("b.lib", 8, 1), 0x0300u);
}

TEST_F(SourceTables, AFileWithoutStatementsHasNoRange)
{
    beginSourceRange("defs.h", 1, 0, 0x0400);
    endSourceRange(40, 0, 0x0400);
    EXPECT_EQ(gLineTable.size(), 0u);
    EXPECT_EQ(lookupAddressBySource("defs.h", 10, 1), 0u);
    EXPECT_EQ(dump(), "a total of 0 breakpoints\n");
}

// A range record takes the code address of the pending statement by the kind of memory its
// code lies in; the dump shows an xmem address with its XPC.
TEST_F(SourceTables, XmemStatementsKeepTheirPage)
{
    const uint32_t f = make_addr(0x12, 0xE345);
    mark("x.c", 1, 1, f);
    mark("x.c", 2, 1, make_addr(0x12, 0xE350));
    mark("x.c", 3, 1, 0x0500);
    EXPECT_EQ(lookupAddressBySource("x.c", 1, 4), f);
    EXPECT_EQ(dump(), "a total of 2 breakpoints\n"
                      "x.c([1,1],[2,0]@[1,1])->12:e345\n"
                      "x.c([2,1],[3,0]@[2,1])->12:e350\n");
    // The same physical address written with another XPC finds the same record.
    const uint32_t same = make_addr(0x11, 0xF345);
    ASSERT_EQ(addr_to_physical(same), addr_to_physical(f));
    std::vector<source_item> items;
    ASSERT_TRUE(getSourceItemsAtAddress(same, gLineTable, items));
    EXPECT_EQ(items.front().line, 1);
}

// Returning into a file opens a range at the resume point with the code address there, in
// root memory, even when the statement marked last lay in xmem.
TEST_F(SourceTables, AResumedFileRangeStartsAtTheResumeAddress)
{
    mark("lib.c", 4, 1, make_addr(0x20, 0xE000));
    beginSourceRange("main.c", 12, 1, 0x0600);
    mark("main.c", 14, 1, 0x0610);
    EXPECT_EQ(lookupAddressBySource("main.c", 13, 1), 0x0600u);
}

// Columns keep all 16 bits: 256 is not column 0 and 300 is not 44.
TEST_F(SourceTables, ColumnsPast255KeepTheirValue)
{
    mark("wide.c", 10, 256, 0x0700);
    mark("wide.c", 10, 300, 0x0710);
    mark("wide.c", 11, 1, 0x0720);
    uint16_t line = 0, column = 0;
    std::string file;
    ASSERT_TRUE(lookupBreakpointByAddress(0x0710, line, column, file, gLineTable));
    EXPECT_EQ(column, 300);
    ASSERT_TRUE(lookupBreakpointByAddress(0x0700, line, column, file, gStatementTable));
    EXPECT_EQ(column, 256);
    EXPECT_EQ(lookupAddressBySource("wide.c", 10, 299), 0x0700u);
    EXPECT_EQ(lookupAddressBySource("wide.c", 10, 300), 0x0710u);
    EXPECT_EQ(lookupAddressBySource("wide.c", 10, 44), 0x0700u);
}

// Positions beyond 16 bits are held at 65535 rather than wrapped onto a small line.
TEST_F(SourceTables, PositionsBeyondSixteenBitsAreHeldAtTheTop)
{
    mark("big.c", 70000, 1, 0x0800);
    mark("big.c", 70001, 5, 0x0810);
    uint16_t line = 0, column = 0;
    std::string file;
    ASSERT_TRUE(lookupBreakpointByAddress(0x0810, line, column, file, gStatementTable));
    EXPECT_EQ(line, 0xFFFF);
    EXPECT_EQ(lookupAddressBySource("big.c", 4464, 1), 0u) << "70000 is not line 4464";
}

// Thousands of statements, two on each line: every statement is found from each end.
TEST_F(SourceTables, ThousandsOfStatementsRoundTrip)
{
    constexpr int kLines = 4000;
    const auto code = [](int line, int second) {
        return physical_to_addr(uint32_t(0x40000 + 8 * line + 4 * second));
    };
    beginSourceRange("long.c", 0, 0, 0x1000);
    for (int line = 1; line <= kLines; ++line) {
        mark("long.c", line, 3, code(line, 0));
        mark("long.c", line, 40, code(line, 1));
    }
    endSourceRange(kLines, 50, code(kLines + 1, 0));
    EXPECT_EQ(gLineTable.size(), 2u * kLines + 1);
    for (int line = 1; line <= kLines; ++line) {
        const uint32_t first = code(line, 0);
        const uint32_t second = code(line, 1);
        ASSERT_EQ(lookupAddressBySource("long.c", uint16_t(line), 1), first) << line;
        ASSERT_EQ(lookupAddressBySource("long.c", uint16_t(line), 39), first) << line;
        ASSERT_EQ(lookupAddressBySource("long.c", uint16_t(line), 40), second) << line;
        uint16_t at_line = 0, at_column = 0;
        std::string file;
        ASSERT_TRUE(lookupBreakpointByAddress(second, at_line, at_column, file, gLineTable));
        ASSERT_EQ(at_line, line);
        ASSERT_EQ(at_column, 40);
    }
}

TEST_F(SourceTables, ClearingEmptiesEveryTable)
{
    mark("c.c", 1, 1, 0x10);
    mark("c.c", 2, 1, 0x20);
    (void)addSourceEntry("c.c", 2, 1, 0x20, gAsmSourceTable);
    clearBreakpoints();
    EXPECT_EQ(gLineTable.size() + gStatementTable.size() + gAsmSourceTable.size(), 0u);
    endSourceRange(5, 1, 0x30);
    EXPECT_EQ(gLineTable.size(), 0u) << "no statement pending after a clear";
}

// What the compiler and the debugger reach through the seam is these tables.
TEST_F(SourceTables, TheSeamServesTheTables)
{
    set_breakpoint_tables(nullptr);
    BreakpointTables &seam = breakpoint_tables();
    seam.beginSourceRange("s.c", 1, 0, 0x40);
    seam.markStatementPosition(SourceTable::Line, "s.c", 2, 300, 0x40);
    seam.markStatementPosition(SourceTable::Line, "s.c", 4, 1, 0x48);
    seam.addSourceEntry(SourceTable::AsmSource, "s.c", 2, 310, 0x44);
    seam.endSourceRange(6, 0, 0x50);
    EXPECT_EQ(seam.lookupAddressBySource("S.C", 3, 7), 0x40u);
    source_item item;
    ASSERT_TRUE(seam.lookupBreakpointByAddress(0x48, SourceTable::Line, item));
    EXPECT_EQ(item.line, 4);
    std::vector<source_item> items;
    ASSERT_TRUE(seam.getSourceItemsAtAddress(0x44, SourceTable::AsmSource, items));
    EXPECT_EQ(items.front().column, 310);
    EXPECT_FALSE(seam.lookupBreakpointByAddress(0x9999, SourceTable::Statement, item));
    std::ostringstream out;
    seam.dumpBreakpoints(out);
    EXPECT_EQ(out.str().substr(0, 25), "a total of 3 breakpoints\n");
    install_seam_doubles();
}

}  // namespace
