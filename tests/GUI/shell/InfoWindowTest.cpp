// The compile statistics window: the texts for a record and the options, and the window that
// shows them.
#include "GuiHarness.h"

#include <QLabel>
#include <QPushButton>

#include "driver/CC_GO.h"
#include "driver/CC_STATS.h"
#include "shell/frmKXInfo.h"
#include "settings/guiKXPreferences.h"

namespace {

// A compile of 100,000 lines in 90 s: root code 0x4000-0x5FFF, xmem 0x0E:E000 (physical 1C000)
// up to 0x0F:EFFF (1DFFF), data from 0xBFFF down to 0xA000, the stack D000-DFFF, watch code
// 0x9000-0x90FF, board 0x1234.
CompileStatistics sample()
{
    CompileStatistics s;
    s.recorded = true;
    s.root_code_base = 0x4000;
    s.root_code_top = 0x5FFF;
    s.xmem_code_base = 0x0EE000;
    s.xmem_code_top = 0x0FEFFF;
    s.root_data_base = 0xBFFF;
    s.root_data_top = 0xA000;
    s.stack_base = 0xD000;
    s.stack_top = 0xDFFF;
    s.watch_code_base = 0x9000;
    s.watch_code_top = 0x90FF;
    s.lines_compiled = 100000;
    s.start_tick = 5000;
    s.end_tick = 95000;
    s.board_id = 0x1234;
    return s;
}

TEST(InfoTexts, CompiledProgram)
{
    const TInfoTexts t = info_texts(sample(), true, false);
    EXPECT_EQ(t.rootBase, "4000");
    EXPECT_EQ(t.rootTop, "5FFF");
    EXPECT_EQ(t.rootSize, "2000");
    EXPECT_EQ(t.xmemBase, "1C000");
    EXPECT_EQ(t.xmemTop, "1DFFF");
    EXPECT_EQ(t.xmemSize, "02000");
    EXPECT_EQ(t.rootdataBase, "BFFF");
    EXPECT_EQ(t.rootdataTop, "A000");
    EXPECT_EQ(t.rootdataSize, "2000");
    EXPECT_EQ(t.stackSize, "1000");
    EXPECT_EQ(t.watchBase, "9000");
    EXPECT_EQ(t.watchSize, "0100");
    EXPECT_EQ(t.totalCode, "16384 bytes");
    EXPECT_EQ(t.totalData, "8192 bytes");
    EXPECT_EQ(t.linesCompiled, "100000");
    EXPECT_EQ(t.compileTime, "90 seconds");
    EXPECT_EQ(t.compileSpeed, "66666 lines/minute") << "past 71,582 lines 32 bits overflow";
    EXPECT_EQ(t.boardID, "0x1234");
}

struct InfoCase {
    const char *name;
    std::function<void(CompileStatistics &)> change;
    bool watches, separate_id;
    std::vector<std::pair<std::string TInfoTexts::*, std::string>> expected;
};

const InfoCase kCases[] = {
    {"BeforeAnyCompile", [](CompileStatistics &s) { s = CompileStatistics{}; }, true, false,
     {{&TInfoTexts::boardID, "compile to detect"},
      {&TInfoTexts::compileSpeed, "N/A"},
      {&TInfoTexts::compileTime, "0 seconds"},
      {&TInfoTexts::rootSize, "0000"},
      {&TInfoTexts::rootdataSize, "0000"},
      {&TInfoTexts::totalCode, "0 bytes"},
      {&TInfoTexts::totalData, "0 bytes"}}},
    {"WatchesOff", nullptr, false, false,
     {{&TInfoTexts::watchBase, "  -------"},
      {&TInfoTexts::watchTop, "  -------"},
      {&TInfoTexts::watchSize, "  0000"}}},
    {"NoSeparateInstructionAndData", nullptr, true, false,
     {{&TInfoTexts::rootconstBase, "Only in Separate I&D"}}},
    {"SeparateInstructionAndData",
     [](CompileStatistics &s) {
         s.root_constants_base = 0x6000;
         s.root_constants_top = 0x67FF;
     },
     true, true,
     {{&TInfoTexts::rootconstBase, "06000"},
      {&TInfoTexts::rootconstTop, "067FF"},
      {&TInfoTexts::rootconstSize, "00800"}}},
    {"UnderOneSecond", [](CompileStatistics &s) { s.end_tick = s.start_tick + 999; }, true, false,
     {{&TInfoTexts::compileTime, "0 seconds"}, {&TInfoTexts::compileSpeed, "6006006 lines/minute"}}},
    {"SameTick", [](CompileStatistics &s) { s.end_tick = s.start_tick; }, true, false,
     {{&TInfoTexts::compileSpeed, "N/A"}, {&TInfoTexts::compileTime, "0 seconds"}}},
    {"TicksWrapped",
     [](CompileStatistics &s) {
         s.start_tick = 0xFFFFF000u;
         s.end_tick = 0x00001000u; // 8192 ms later
         s.lines_compiled = 8192;
     },
     true, false,
     {{&TInfoTexts::compileTime, "8 seconds"}, {&TInfoTexts::compileSpeed, "60000 lines/minute"}}},
    {"EmptyAreas",
     [](CompileStatistics &s) {
         s.xmem_code_top = s.xmem_code_base - 1; // nothing written
         s.watch_code_top = s.watch_code_base - 1;
         s.root_data_top = s.root_data_base + 1;
     },
     true, false,
     {{&TInfoTexts::xmemSize, "00000"},
      {&TInfoTexts::watchSize, "0000"},
      {&TInfoTexts::rootdataSize, "0000"},
      {&TInfoTexts::totalData, "0 bytes"},
      {&TInfoTexts::totalCode, "8192 bytes"}}},
};

class InfoCases : public ::testing::TestWithParam<InfoCase> {};

TEST_P(InfoCases, Texts)
{
    const InfoCase &c = GetParam();
    CompileStatistics s = sample();
    if (c.change)
        c.change(s);
    const TInfoTexts t = info_texts(s, c.watches, c.separate_id);
    for (const auto &[field, text] : c.expected)
        EXPECT_EQ(t.*field, text);
    EXPECT_EQ(t.rootconst_shown, c.separate_id);
}

INSTANTIATE_TEST_SUITE_P(Records, InfoCases, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

using InfoWindow = GuiTest;

TEST_F(InfoWindow, ShowsTheLastCompilesRecordWithTheOptionsInForce)
{
    set_compile_statistics(sample());
    IdePreferences().enable_watch_expressions = false;
    compiler_options().separate_id = 0;
    TfrmInfo info(&Main());
    EXPECT_EQ(info.windowTitle().toStdString(), "Information");
    info.show();
    EXPECT_EQ(info.linesCompiled->text().toStdString(), "100000");
    EXPECT_EQ(info.compileSpeed->text().toStdString(), "66666 lines/minute");
    EXPECT_EQ(info.watchSize->text().toStdString(), "  0000");
    EXPECT_EQ(info.rootconstBase->text().toStdString(), "Only in Separate I&D");
    EXPECT_FALSE(info.rootconstTop->isVisible());
    EXPECT_FALSE(info.rootconstSize->isVisible());
    EXPECT_TRUE(info.rootSize->isVisible());
    info.btnOK->click();
    EXPECT_FALSE(info.isVisible());
    set_compile_statistics(CompileStatistics{});
}

} // namespace
