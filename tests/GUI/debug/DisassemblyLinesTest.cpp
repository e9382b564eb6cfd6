// The disassembly window's line model without the widget: splitting the debugger core's
// instruction lines into columns, the source text shown above an instruction, reading a source
// line from a file, formatting lines as text and reading cycle counts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "FifoGuard.h"
#include "shell/frmKXMain.h"
#include "debug/frmKXDisassembly.h"

namespace {

namespace fs = std::filesystem;

struct SplitCase {
    const char *name;
    std::string line;
    std::array<std::string, 4> columns; // address, machine code, assembly, cycles
};

const SplitCase kSplits[] = {
    {"root_instruction", "   0100 3E05     ld     a,0x05             4",
     {" 0100", " 3E05", " ld     a,0x05", " 4"}},
    {"xmem_address", "e0:e123 213412   ld     hl,0x1234          6",
     {" e0:e123", " 213412", " ld     hl,0x1234", " 6"}},
    {"block_move", "   0105 EDB0     ldir                   6+7n",
     {" 0105", " EDB0", " ldir", " 6+7n"}},
    {"conditional_return", "   0107 C0       ret    nz               8/2",
     {" 0107", " C0", " ret    nz", " 8/2"}},
    {"empty", "", {" ", " ", " ", " "}},
    {"blanks_only", "        ", {" ", " ", " ", " "}},
    {"one_word", "nop", {" ", " ", " ", " nop"}},
    {"no_cycles", "   0100 00       nop", {" 0100", " 00", " ", " nop"}},
};

class SplitLine : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitLine, Columns)
{
    const TdasmListObject item = SplitDisassemblyLine(GetParam().line);
    EXPECT_EQ(item.columns, GetParam().columns);
    EXPECT_FALSE(item.source_label.size() + item.source_text.size());
}

INSTANTIATE_TEST_SUITE_P(All, SplitLine, ::testing::ValuesIn(kSplits),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(SplitLineLong, TenKilobytesSplitWhole)
{
    const std::string line = "   0100 00 " + std::string(10240, 'x') + " 4";
    const TdasmListObject item = SplitDisassemblyLine(line);
    EXPECT_EQ(item.columns[0], " 0100");
    EXPECT_EQ(item.columns[2].size(), 10241u);
    EXPECT_EQ(item.columns[3], " 4");
}

struct SourceCase {
    const char *name;
    const char *text;
    const char *shown;
};

const SourceCase kSources[] = {
    {"trimmed", "    total = total + i;  ", "total = total + i;"},
    {"comment_cut", "x = 1; // one", "x = 1;"},
    {"comment_with_slash_kept", "x = 1; // a/b", "x = 1; // a/b"},
    {"division_kept", "x = a / b;", "x = a / b;"},
    {"comment_only", "// all of it", ""},
    {"empty", "", ""},
};

class SourceText : public ::testing::TestWithParam<SourceCase> {};

TEST_P(SourceText, AsShown) { EXPECT_EQ(SourceTextForDisplay(GetParam().text), GetParam().shown); }

INSTANTIATE_TEST_SUITE_P(All, SourceText, ::testing::ValuesIn(kSources),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(SourceLabel, WithAndWithoutTheFileName)
{
    EXPECT_EQ(SourceLabel("/home/u/work/prog.c", 8, true), "[prog.c(8)]: ");
    EXPECT_EQ(SourceLabel("C:\\work\\prog.c", 12, true), "[prog.c(12)]: ");
    EXPECT_EQ(SourceLabel("/home/u/work/prog.c", 8, false), "[8]: ");
}

class SourceFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("kx_dasm_" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string Write(const std::string &name, const std::string &bytes)
    {
        const fs::path path = m_dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    fs::path m_dir;
};

// A line longer than any buffer counts as one line: the lines after it are the right ones.
TEST_F(SourceFile, LongLinesCountOnce)
{
    const std::string long_line(10000, 'a');
    const std::string path = Write("long.c", long_line + "\n" + long_line + "\r\nthird\rfourth");
    EXPECT_EQ(ReadSourceFileLine(path, 1), long_line);
    EXPECT_EQ(ReadSourceFileLine(path, 2), long_line);
    EXPECT_EQ(ReadSourceFileLine(path, 3), "third");
    EXPECT_EQ(ReadSourceFileLine(path, 4), "fourth");
    EXPECT_EQ(ReadSourceFileLine(path, 5), "");
    EXPECT_EQ(ReadSourceFileLine(path, 0), "");
}

// A FIFO or a device named as the source gives no line, without waiting for a writer or
// reading without end.
TEST_F(SourceFile, FifoOrDeviceGivesNoLine)
{
    const std::string fifo = (m_dir / "pipe.c").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    FifoGuard guard(fifo);
    EXPECT_EQ(ReadSourceFileLine(fifo, 1), "");
    EXPECT_TRUE(guard.Stop()) << "the line waited for a writer";
    EXPECT_EQ(ReadSourceFileLine("/dev/zero", 2), "");
}

TEST_F(SourceFile, MissingOrBinaryFiles)
{
    EXPECT_EQ(ReadSourceFileLine((m_dir / "missing.c").string(), 1), "");
    EXPECT_EQ(ReadSourceFileLine(m_dir.string(), 1), "") << "a folder";
    const std::string path = Write("binary.bin", std::string("\x00\x01\xFF\n\x7F", 5));
    EXPECT_EQ(ReadSourceFileLine(path, 1), std::string("\x00\x01\xFF", 3));
    EXPECT_EQ(ReadSourceFileLine(path, 2), "\x7F");
}

TEST(FormatItem, ColumnsPaddedToTheirLongestText)
{
    TdasmListObject item = SplitDisassemblyLine("   0100 3E05     ld     a,0x05             4");
    item.instruction = 0;
    TdasmLayout layout;
    layout.longest = {7, 12, 14, 6};
    auto pad = [](std::string text, std::size_t width) {
        text.resize(width, ' ');
        return text;
    };
    EXPECT_EQ(FormatDasmItem(item, layout),
              pad(" 0100", 9) + pad(" 3E05", 14) + pad(" ld     a,0x05", 16) + pad(" 4", 16));
    layout.longest[2] = 3;
    EXPECT_EQ(FormatDasmItem(item, layout).substr(23, 5), " ld  ") << "cut to 3 + 2";
    layout.shown = {false, false, false, false};
    EXPECT_EQ(FormatDasmItem(item, layout), "") << "all four columns off";
    layout.shown = {true, false, false, true};
    EXPECT_EQ(FormatDasmItem(item, layout), pad(" 0100", 9) + pad(" 4", 16));

    TdasmListObject source;
    source.source_label = "[prog.c(8)]: ";
    source.source_text = "total = total + i;";
    EXPECT_EQ(FormatDasmItem(source, layout), "total = total + i;") << "without its label";
    layout.show_source = false;
    EXPECT_EQ(FormatDasmItem(source, layout), "");
}

TEST(Cycles, OnlyWholeNumbersCount)
{
    EXPECT_EQ(CyclesValue(" 4"), 4);
    EXPECT_EQ(CyclesValue("  12 "), 12);
    EXPECT_EQ(CyclesValue(" 6+7n"), std::nullopt);
    EXPECT_EQ(CyclesValue(" 8/2"), std::nullopt);
    EXPECT_EQ(CyclesValue(" "), std::nullopt);
    EXPECT_EQ(CyclesValue(" 99999999999999"), std::nullopt);
    EXPECT_EQ(CycleSumText(10), " Selected Clock Cycles Sum: 10");
    EXPECT_EQ(CycleSumText(0), " Selected Clock Cycles Sum: ");
}

} // namespace
