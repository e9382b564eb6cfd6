// "kxw.cfg": defaults, every key, bad lines reported by number with the value kept, and the
// tables sized from "sym".
#include <gtest/gtest.h>

#include "FifoGuard.h"
#include "driver/CC_INIT.h"

#include <sys/stat.h>

#include <cfenv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class FrameConfig : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("kx-frame-cfg-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string write(const std::string &text)
    {
        const fs::path p = dir / "kxw.cfg";
        std::ofstream(p, std::ios::binary) << text;
        return p.string();
    }
};

TEST_F(FrameConfig, MissingAndEmptyFilesGiveTheDefaults)
{
    compiler_config().sym = 1;
    EXPECT_EQ(ReadCompilerConfig((dir / "none.cfg").string()), 0);
    EXPECT_EQ(compiler_config().sym, 4000);
    EXPECT_EQ(compiler_config().lit, 15000);
    EXPECT_EQ(ReadCompilerConfig(write("")), 0);
    EXPECT_EQ(compiler_config().logx, 0xE);
    EXPECT_EQ(compiler_config().rams, 0x80);
    EXPECT_EQ(compiler_config().rame, 0xA0);
    EXPECT_EQ(compiler_config().ustk, 0x800);
    EXPECT_EQ(compiler_config().error, 1);
    EXPECT_EQ(compiler_config().ramcfg, 1);
    EXPECT_TRUE(config_problems().empty());
}

struct KeyCase {
    const char *name;
    const char *line;
    uint16_t CompilerConfig::*member;
    uint16_t value;
};

const KeyCase kKeys[] = {
    {"error", "error = 3", &CompilerConfig::error, 3},
    {"lit", "lit   = 200", &CompilerConfig::lit, 200},
    {"mac", "mac   = 12", &CompilerConfig::mac, 12},
    {"sym", "sym   = 100", &CompilerConfig::sym, 100},
    {"ustk", "ustk  = 400", &CompilerConfig::ustk, 0x400},
    {"astk", "astk  = E0", &CompilerConfig::astk, 0xE0},
    {"heap", "heap  = 1000", &CompilerConfig::heap, 0x1000},
    {"free", "free  = 10", &CompilerConfig::free, 0x10},
    {"logr", "logr  = 3", &CompilerConfig::logr, 3},
    {"logx", "logx  = d", &CompilerConfig::logx, 0xD},
    {"logxs", "logxs = 700", &CompilerConfig::logxs, 0x700},
    {"logrs", "logrs = 900", &CompilerConfig::logrs, 0x900},
    {"roms", "roms  = 4", &CompilerConfig::roms, 4},
    {"rome", "rome  = 1F", &CompilerConfig::rome, 0x1F},
    {"romx", "romx  = c", &CompilerConfig::romx, 0xC},
    {"romg", "romg  = 1", &CompilerConfig::romg, 1},
    {"ramcfgWithoutBlank", "ramcfg= 2", &CompilerConfig::ramcfg, 2},
    {"rams", "rams  = 40", &CompilerConfig::rams, 0x40},
    {"rame", "rame  = 60", &CompilerConfig::rame, 0x60},
    {"ramx", "ramx  = D", &CompilerConfig::ramx, 0xD},
    {"ramg", "ramg  = 7", &CompilerConfig::ramg, 7},
    {"romc", "romc  = 1", &CompilerConfig::romc, 1},
    {"cchexf", "cchexf= 1", &CompilerConfig::cchexf, 1},
    {"ccsvrm", "ccsvrm= 1", &CompilerConfig::ccsvrm, 1},
    {"KeyAgainstEquals", "sym=250", &CompilerConfig::sym, 250},
    {"HexWithPrefix", "heap = 0x20", &CompilerConfig::heap, 0x20},
    {"RemarkAfterBlank", "lit = 300 the literal pool", &CompilerConfig::lit, 300},
    {"CrLfLineEnd", "mac = 5\r", &CompilerConfig::mac, 5},
};

class FrameConfigKey : public FrameConfig, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(FrameConfigKey, SetsItsValueOnly)
{
    const KeyCase &c = GetParam();
    ReadCompilerConfig(write(std::string(c.line) + "\n"));
    EXPECT_TRUE(config_problems().empty()) << config_problems()[0].text;
    EXPECT_EQ(compiler_config().*c.member, c.value);
    CompilerConfig expected;
    expected.*c.member = c.value;
    EXPECT_EQ(std::memcmp(&expected, &compiler_config(), sizeof expected), 0)
        << "no other key changes";
}

INSTANTIATE_TEST_SUITE_P(All, FrameConfigKey, ::testing::ValuesIn(kKeys),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(FrameConfig, LaterLineWins)
{
    ReadCompilerConfig(write("sym = 100\nlit = 5\nsym = 200\n"));
    EXPECT_EQ(compiler_config().sym, 200);
    EXPECT_EQ(compiler_config().lit, 5);
}

struct BadCase {
    const char *name;
    std::string line;
    const char *fragment;  // part of the reported text
};

const BadCase kBad[] = {
    {"UnknownKey", "stack = 10", "sets no known key"},
    {"Junk", "%%% ???", "sets no known key"},
    {"MissingEquals", "sym 100", "sets no known key"},
    {"NotANumber", "sym = lots", "is not a number"},
    {"TrailingJunk", "sym = 12abc", "is not a number"},
    {"EmptyValue", "sym =", "is not a number"},
    {"Zero", "lit = 0", "must lie between 1 and 32767"},
    {"Negative", "sym = -5", "must lie between 4 and 32767"},
    {"TooLargeDecimal", "sym = 40000", "must lie between"},
    {"TooLargeHex", "heap = 12345", "must lie between"},
    {"WindowPastLogicalSpace", "logx = 10", "must lie between 1 and 15"},
    {"WindowZero", "logx = 0", "must lie between 1 and 15"},
    {"OutputModeUnknown", "romc = 3", "must lie between 0 and 2"},
    {"Binary", std::string("sym = 1\x01\x02", 9), "binary characters"},
    {"NulByte", std::string("sym\0= 5", 7), "binary characters"},
    {"OverLong", "sym = 100" + std::string(80, ' '), "too long"},
};

class FrameConfigBad : public FrameConfig, public ::testing::WithParamInterface<BadCase> {};

TEST_P(FrameConfigBad, IsReportedByLineAndKeepsTheValue)
{
    const BadCase &c = GetParam();
    ReadCompilerConfig(write("lit = 77\n\n" + c.line + "\nmac = 9\n"));
    ASSERT_EQ(config_problems().size(), 1u);
    EXPECT_EQ(config_problems()[0].line, 3);
    EXPECT_NE(config_problems()[0].text.find("Line 3 "), std::string::npos)
        << config_problems()[0].text;
    EXPECT_NE(config_problems()[0].text.find(c.fragment), std::string::npos)
        << config_problems()[0].text;
    const CompilerConfig d;
    EXPECT_EQ(compiler_config().sym, d.sym);
    EXPECT_EQ(compiler_config().heap, d.heap);
    EXPECT_EQ(compiler_config().logx, d.logx);
    EXPECT_EQ(compiler_config().romc, d.romc);
    EXPECT_EQ(compiler_config().lit, 77) << "lines before and after still count";
    EXPECT_EQ(compiler_config().mac, 9);
}

INSTANTIATE_TEST_SUITE_P(All, FrameConfigBad, ::testing::ValuesIn(kBad),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(FrameConfig, ReporterReceivesEveryProblem)
{
    static std::vector<int> lines;
    lines.clear();
    set_config_reporter([](const ConfigProblem &p) { lines.push_back(p.line); });
    ReadCompilerConfig(write("x\nsym = 100\ny = 1\n"));
    set_config_reporter(nullptr);
    EXPECT_EQ(lines, (std::vector<int>{1, 3}));
}

// What can stand at "kxw.cfg" besides a file: none of it is read (a FIFO without a writer would
// hold the start-up, a device would be read without end); one problem names it and the defaults
// stand.
struct NotAConfigCase {
    const char *name;
    void (*make)(const fs::path &path);
    const char *why;
};

const NotAConfigCase kNotAConfig[] = {
    {"folder", [](const fs::path &p) { fs::create_directory(p); }, "it is a folder"},
    {"fifo", [](const fs::path &p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
     "it is not an ordinary file (a FIFO, socket or device)"},
    {"link_to_dev_zero", [](const fs::path &p) { fs::create_symlink("/dev/zero", p); },
     "it is not an ordinary file (a FIFO, socket or device)"},
    {"too_large",
     [](const fs::path &p) {
         std::ofstream(p) << "sym = 100\n";
         fs::resize_file(p, kCompilerConfigMaxBytes + 1);
     },
     "it is larger than 16 MB"},
};

class FrameConfigNotAFile : public FrameConfig,
                            public ::testing::WithParamInterface<NotAConfigCase> {};

TEST_P(FrameConfigNotAFile, IsNamedOnceAndTheDefaultsStand)
{
    const fs::path path = dir / "kxw.cfg";
    GetParam().make(path);
    compiler_config().sym = 1;
    FifoGuard guard(path.string());
    EXPECT_EQ(ReadCompilerConfig(path.string()), 0);
    EXPECT_TRUE(guard.Stop()) << "the read waited for a writer";
    EXPECT_EQ(compiler_config().sym, 4000);
    ASSERT_EQ(config_problems().size(), 1u);
    EXPECT_EQ(config_problems()[0].line, 0);
    EXPECT_EQ(config_problems()[0].text, "Cannot read " + path.string() + ": " + GetParam().why +
                                             "; the defaults are used.");
}

INSTANTIATE_TEST_SUITE_P(All, FrameConfigNotAFile, ::testing::ValuesIn(kNotAConfig),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(FrameTables, SymbolValueSizesTheTables)
{
    const CompilerTableSizes s = compiler_table_sizes(100, 50);
    EXPECT_EQ(s.symbol_records, 100u);
    EXPECT_EQ(s.global_records, 75u);
    EXPECT_EQ(s.local_records, 25u);
    EXPECT_EQ(s.global_hash_slots, 125u);
    EXPECT_EQ(s.local_hash_slots, 128u);
    EXPECT_EQ(s.recorded_slots, 125u);
    EXPECT_EQ(s.name_bytes, 3300u);
    EXPECT_EQ(s.local_names_offset, 2475u);
    const CompilerTableSizes big = compiler_table_sizes(4000, 0);
    EXPECT_EQ(big.local_hash_slots, 1000u);
    EXPECT_EQ(big.global_hash_slots, 5000u);
}

TEST(FrameTables, AllocatedOnceThenOnlyReset)
{
    allocate_compiler_tables(true);
    const int rounds = compiler_table_allocations();
    const uint32_t records = allocated_table_sizes().symbol_records;
    compiler_config().sym = 123;  // later changes take effect at the next program start only
    allocate_compiler_tables(false);
    EXPECT_TRUE(compiler_tables_allocated());
    EXPECT_EQ(compiler_table_allocations(), rounds);
    EXPECT_EQ(allocated_table_sizes().symbol_records, records);
    compiler_config() = CompilerConfig{};
}

}  // namespace

// Every reset leaves the numeric state as a compile expects it: rounding to nearest and no
// floating-point flag left over from before.
TEST(FrameTables, NumericStateIsReset)
{
    std::fesetround(FE_UPWARD);
    std::feraiseexcept(FE_INEXACT | FE_DIVBYZERO);
    reset_numeric_state();
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);
    EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), 0);
}
