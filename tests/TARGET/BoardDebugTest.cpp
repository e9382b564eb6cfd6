// The debug kernel of the stand-in, driven over loopback TCP with programs assembled here:
// start, breakpoints, run and stop, the four kinds of step, the stop report and its send
// flags, registers, watches, tracing, the console and the exit trap.
#include "BoardHost.h"

#include <gtest/gtest.h>

#include <ostream>

#include <functional>

using namespace boardtest;
using vsim::BoardFirmware;
using vsim::StandInConfig;

namespace {

// Statements begin with the hook ("rst 0x28"); each label names the address after its hook,
// as the line table does. subr is called from s1.
const char *kMain = R"(
        rst 0x28
s0:     ld hl, 0x1234
        rst 0x28
s1:     call subr
        rst 0x28
s2:     ld a, 0x55
        ld (0x8100), a
        rst 0x28
s3:     jr s3
subr:   rst 0x28
sub1:   ld de, 0x4321
        ret
)";

Bytes word(uint32_t v)
{
    Bytes b;
    put32(b, v);
    return b;
}

// TOGGLEBP payload: the hook's address word (a statement's address minus one), flags, 0.
Bytes toggle(uint32_t hook_word, uint8_t flags)
{
    Bytes b = word(hook_word);
    b.push_back(flags);
    put16(b, 0);
    return b;
}
constexpr uint8_t kAdd = 0x02;
constexpr uint8_t kAddHard = 0x12;
constexpr uint8_t kRemove = 0x04;

struct Session : DebugBoard {
    // STARTPROGRAM: the program runs to its first hook.
    std::vector<Frame> start_program()
    {
        host->send(kLinkDbg, kDbgStartProgram);
        return until_stop();
    }
    // Runs from a stop to the hook in front of `label` (a breakpoint there, then removed).
    std::vector<Frame> run_to(const std::string &label)
    {
        uint32_t hook = program.at(label) - 1u;
        EXPECT_TRUE(acked(host->request(kLinkDbg, kDbgToggleBp, toggle(hook, kAdd))));
        EXPECT_TRUE(acked(host->request(kLinkDbg, kDbgRunProgram)));
        auto report = until_stop();
        EXPECT_TRUE(acked(host->request(kLinkDbg, kDbgToggleBp, toggle(hook, kRemove))));
        return report;
    }
    uint16_t pc_after(const std::vector<Frame> &report)
    {
        auto r = stop_registers(report);
        EXPECT_TRUE(r) << "no REGDATA in the stop report";
        return r ? r->pc : 0;
    }
    Registers read_registers()
    {
        auto r = host->request(kLinkDbg, kDbgRegData);
        if (!acked(r) || r->payload.size() != vsim::kRegisterBlockSize) {
            ADD_FAILURE() << "no register block";
            return {};
        }
        return registers_of(r->payload);
    }
};

TEST(BoardDebug, StartRunsToTheFirstHookAndAnswersAfterRegdata)
{
    Session s;
    ASSERT_TRUE(s.start(kMain));
    auto report = s.start_program();
    EXPECT_EQ(names(report), (std::vector<std::string>{"REGDATA", "STARTPROGRAM+ACK"}));
    auto r = DebugBoard::stop_registers(report);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->pc, s.program.at("s0")) << "the PC is the address after the hook";
    EXPECT_EQ(r->sp, 0xE000);
    EXPECT_EQ(r->status, 0xFF) << "status: the interrupt priority after reset";
}

TEST(BoardDebug, StartsFromTheConfiguredAddress)
{
    std::string text = std::string(kMain) + "entry:  ld bc, 0x0BB0\n        jp 0\n";
    Program p = assemble(kProgramPrologue + text);
    ASSERT_TRUE(p.errors.empty()) << p.errors;
    StandInConfig c = debug_config();
    c.firmware.start_pc = p.at("entry");
    Session s;
    ASSERT_TRUE(s.start(text, c));
    auto report = s.start_program();
    EXPECT_EQ(s.pc_after(report), s.program.at("s0"));
    auto r = DebugBoard::stop_registers(report);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->bc, 0x0BB0) << "the start address ran first";
}

TEST(BoardDebug, BreakpointStopsTheRunAtItsStatement)
{
    Session s;
    ASSERT_TRUE(s.start(kMain));
    s.start_program();
    auto bp = s.host->request(kLinkDbg, kDbgToggleBp, toggle(s.program.at("s2") - 1u, kAddHard));
    ASSERT_TRUE(bp && bp->ack());
    auto run = s.host->request(kLinkDbg, kDbgRunProgram);
    ASSERT_TRUE(run && run->ack()) << "RUNPROGRAM is acknowledged at once";
    auto report = s.until_stop();
    EXPECT_EQ(names(report), (std::vector<std::string>{"REGDATA", "ATBP"}));
    EXPECT_EQ(s.pc_after(report), s.program.at("s2"));
    EXPECT_EQ(DebugBoard::stop_registers(report)->de, 0x4321) << "subr ran on the way";
    EXPECT_EQ(s.board->with_firmware([](BoardFirmware &fw) { return fw.board().peek(0x80100); }), 0)
        << "s2 has not run yet";
}

TEST(BoardDebug, StopProgramStopsARunningLoop)
{
    Session s;
    ASSERT_TRUE(s.start(kMain));
    s.start_program();
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgRunProgram)));
    ASSERT_TRUE(s.board->wait_until([](const BoardFirmware &fw) { return fw.board().peek(0x80100) == 0x55; }));
    auto again = s.host->request(kLinkDbg, kDbgRunProgram);
    ASSERT_TRUE(again && again->ack()) << "running already: acknowledged, nothing changes";
    auto step = s.host->request(kLinkDbg, kDbgSingleStep, {0x09});
    ASSERT_TRUE(step && step->nak()) << "no step while it runs";
    auto stop = s.host->request(kLinkDbg, kDbgStopProgram);
    ASSERT_TRUE(stop && stop->ack());
    auto report = s.until_stop();
    EXPECT_EQ(names(report), (std::vector<std::string>{"REGDATA", "ATBP"}));
    uint16_t pc = s.pc_after(report);
    EXPECT_TRUE(pc == s.program.at("s3")) << pc;
    auto idle = s.host->request(kLinkDbg, kDbgStopProgram);
    ASSERT_TRUE(idle && idle->ack());
    auto noop = s.host->request(kLinkDbg, kDbgNoop);
    ASSERT_TRUE(noop && noop->ack());
    EXPECT_TRUE(s.host->others.empty()) << "a stopped board reports no second stop";
}

// Each step starts at a statement and is acknowledged at once; its stop report follows.
struct StepCase {
    const char *name;
    const char *from; // the statement it starts at
    uint8_t how;      // SINGLESTEP byte
    const char *to;   // where it stops
    std::function<void(const Registers &)> check;
};
void PrintTo(const StepCase &c, std::ostream *os) { *os << c.name; }

const StepCase kSteps[] = {
    {"source_into_next_statement", "s0", 0x09, "s1", [](const Registers &r) { EXPECT_EQ(r.hl, 0x1234); }},
    {"source_into_enters_the_call", "s1", 0x09, "sub1", [](const Registers &r) { EXPECT_EQ(r.sp, 0xDFFE); }},
    {"source_over_passes_the_call", "s1", 0x0A, "s2",
     [](const Registers &r) { EXPECT_EQ(r.de, 0x4321); EXPECT_EQ(r.sp, 0xE000); }},
    {"source_over_returns_to_the_caller", "sub1", 0x0A, "s2", [](const Registers &r) { EXPECT_EQ(r.sp, 0xE000); }},
    {"instruction_into_one_instruction", "s0", 0x05, "s1", [](const Registers &r) { EXPECT_EQ(r.hl, 0x1234); }},
    {"instruction_into_the_call", "s1", 0x05, "sub1", [](const Registers &r) { EXPECT_EQ(r.sp, 0xDFFE); }},
    {"instruction_over_the_call", "s1", 0x06, "s2",
     [](const Registers &r) { EXPECT_EQ(r.de, 0x4321); EXPECT_EQ(r.sp, 0xE000); }},
};

class Step : public ::testing::TestWithParam<StepCase> {};

TEST_P(Step, StopsWhereItShould)
{
    const StepCase &c = GetParam();
    Session s;
    ASSERT_TRUE(s.start(kMain));
    s.start_program();
    if (std::string(c.from) != "s0") {
        ASSERT_EQ(s.pc_after(s.run_to(c.from)), s.program.at(c.from));
    }
    auto ack = s.host->request(kLinkDbg, kDbgSingleStep, {c.how});
    ASSERT_TRUE(ack && ack->ack());
    auto report = s.until_stop();
    EXPECT_EQ(names(report), (std::vector<std::string>{"REGDATA", "ATBP"}));
    auto r = DebugBoard::stop_registers(report);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->pc, s.program.at(c.to));
    c.check(*r);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Step, ::testing::ValuesIn(kSteps),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(BoardDebug, StepRequestsTheKernelRefuses)
{
    StandInConfig c = debug_config();
    c.firmware.enabled_options = 0x05; // no instruction stepping
    Session s;
    ASSERT_TRUE(s.start(kMain, c));
    s.start_program();
    for (uint8_t how : {uint8_t(0x05), uint8_t(0x06), uint8_t(0x00), uint8_t(0x0C), uint8_t(0x01)}) {
        auto a = s.host->request(kLinkDbg, kDbgSingleStep, {how});
        ASSERT_TRUE(a);
        EXPECT_TRUE(a->nak()) << int(how);
    }
    auto empty = s.host->request(kLinkDbg, kDbgSingleStep);
    ASSERT_TRUE(empty && empty->nak());
    auto source = s.host->request(kLinkDbg, kDbgSingleStep, {0x09});
    ASSERT_TRUE(source && source->ack());
}

// Breakpoints are kept by physical address: one added in the xmem form of a root address
// (XPC and an offset in the window) stops the root code, and its root form removes it.
TEST(BoardDebug, BreakpointsKeyedByPhysicalAddress)
{
    Session s;
    ASSERT_TRUE(s.start(kMain));
    s.start_program();
    uint32_t root = s.program.at("s2") - 1u;
    uint32_t offset = 0xE000 | (root & 0x0FFF);
    uint32_t xpc = ((root + 0x100000 - offset) >> 12) & 0xFF;
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgToggleBp, toggle(xpc << 16 | offset, kAdd))));
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgRunProgram)));
    EXPECT_EQ(s.pc_after(s.until_stop()), s.program.at("s2"));
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgToggleBp, toggle(root, kRemove))));
    EXPECT_TRUE(s.board->with_firmware([](BoardFirmware &fw) { return fw.breakpoints().empty(); }));
}

TEST(BoardDebug, BreakpointLimitAndClear)
{
    StandInConfig c = debug_config();
    c.firmware.max_breakpoints = 2;
    Session s;
    ASSERT_TRUE(s.start(kMain, c));
    auto add = [&](const char *label) {
        return s.host->request(kLinkDbg, kDbgToggleBp, toggle(s.program.at(label) - 1u, kAdd));
    };
    EXPECT_TRUE(acked(add("s0")));
    EXPECT_TRUE(acked(add("s1")));
    EXPECT_TRUE(refused(add("s2"))) << "past the maximum";
    EXPECT_TRUE(acked(add("s1"))) << "the same address again takes no new place";
    auto removed = s.host->request(kLinkDbg, kDbgToggleBp, toggle(s.program.at("s3") - 1u, kRemove));
    EXPECT_TRUE(acked(removed)) << "removing one that is not there is no error";
    EXPECT_TRUE(refused(s.host->request(kLinkDbg, kDbgToggleBp, toggle(0x00, 0x01)))) << "neither add nor remove";
    EXPECT_TRUE(refused(s.host->request(kLinkDbg, kDbgToggleBp, {0x01, 0x02}))) << "short payload";
    EXPECT_TRUE(refused(s.host->request(kLinkDbg, kDbgToggleBp, toggle(0x040000, kAdd)))) << "no memory there";
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgClearBps)));
    EXPECT_TRUE(acked(s.host->request(kLinkDbg, kDbgToggleBp, toggle(0x00, kAdd))));
    EXPECT_TRUE(acked(add("s2")));
    EXPECT_EQ(s.board->with_firmware([](BoardFirmware &fw) { return fw.breakpoints().size(); }), 2u);
}

// The send flags choose the stop report: REGDATA, STACKDATA (words at SP), ASMDATA (code at
// PC), WATCHDATA, always in this order and before ATBP.
TEST(BoardDebug, SendFlagsShapeTheStopReport)
{
    StandInConfig c = debug_config();
    c.firmware.stack_data_words = 4;
    c.firmware.asm_data_bytes = 3;
    Session s;
    ASSERT_TRUE(s.start(kMain, c));
    s.start_program();
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgSetSendFlags, {0x0F})));
    auto report = s.run_to("sub1");
    EXPECT_EQ(names(report), (std::vector<std::string>{"REGDATA", "STACKDATA", "ASMDATA", "WATCHDATA", "ATBP"}));
    Bytes ret_address;
    put16(ret_address, s.program.at("s2") - 1u);
    EXPECT_EQ(Bytes(report[1].payload.begin(), report[1].payload.begin() + 2), ret_address)
        << "the top of the stack is the return address";
    EXPECT_EQ(report[1].payload.size(), 8u);
    EXPECT_EQ(report[2].payload, (Bytes{0x11, 0x21, 0x43})) << "ld de, 0x4321";
    EXPECT_TRUE(report[3].payload.empty()) << "no watches";

    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgSetSendFlags, {0x00})));
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgSingleStep, {0x0A})));
    EXPECT_EQ(names(s.until_stop()), (std::vector<std::string>{"ATBP"}));
    EXPECT_EQ(s.board->with_firmware([](BoardFirmware &fw) { return fw.send_flags(); }), 0x00);
}

TEST(BoardDebug, WriteRegistersThenReadThemBack)
{
    Session s;
    ASSERT_TRUE(s.start(kMain));
    s.start_program();
    auto before = s.host->request(kLinkDbg, kDbgRegData);
    ASSERT_TRUE(before && before->ack());
    Bytes block = before->payload;
    block[18] = 0xEF, block[19] = 0xBE; // HL
    block[20] = 0x11, block[21] = 0x11; // IX
    block[10] = 0x22, block[11] = 0x33; // HL'
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgWriteRegData, block)));
    Registers r = s.read_registers();
    EXPECT_EQ(r.hl, 0xBEEF);
    EXPECT_EQ(r.ix, 0x1111);
    EXPECT_EQ(r.hl2, 0x3322);
    EXPECT_EQ(r.pc, s.program.at("s0"));
    EXPECT_TRUE(refused(s.host->request(kLinkDbg, kDbgWriteRegData, Bytes(26, 0)))) << "short";
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgRunProgram)));
    EXPECT_TRUE(refused(s.host->request(kLinkDbg, kDbgWriteRegData, block))) << "while running";
}

TEST(BoardDebug, KernelRequestsWithSmallAnswers)
{
    StandInConfig c = debug_config();
    c.firmware.enabled_options = 0x05;
    c.firmware.max_watches = 3;
    c.firmware.max_breakpoints = 7;
    Session s;
    ASSERT_TRUE(s.start(kMain, c));
    auto options = s.host->request(kLinkDbg, kDbgEnabledOptions, {0, 0, 0});
    ASSERT_TRUE(options && options->ack());
    EXPECT_EQ(options->payload, (Bytes{0x05, 3, 7}));
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgSetDebugTag, {0xCD, 0x2B})));
    auto tag = s.host->request(kLinkDbg, kDbgGetDebugTag, {0, 0});
    ASSERT_TRUE(tag && tag->ack());
    EXPECT_EQ(tag->payload, (Bytes{0xCD, 0x2B}));
    EXPECT_TRUE(refused(s.host->request(kLinkDbg, kDbgSetDebugTag, {0x01})));
    EXPECT_TRUE(acked(s.host->request(kLinkDbg, kDbgNoop)));
    EXPECT_TRUE(acked(s.host->request(kLinkDbg, kDbgCharReady, {5})));
    EXPECT_EQ(s.board->with_firmware([](BoardFirmware &fw) { return fw.chars_ready(); }), 5);

    s.start_program();
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgToggleBp, toggle(s.program.at("s1") - 1u, kAdd))));
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgReset)));
    auto after = s.board->with_firmware([](BoardFirmware &fw) {
        return std::make_tuple(fw.running(), fw.cpu().pc, fw.breakpoints().size(), fw.debug_tag());
    });
    EXPECT_FALSE(std::get<0>(after));
    EXPECT_EQ(std::get<1>(after), 0) << "back at the start address";
    EXPECT_EQ(std::get<2>(after), 1u) << "breakpoints outlive a reset";
    EXPECT_EQ(std::get<3>(after), 0x2BCD);
}

// Watches are subroutines; the board calls each with the registers of the stop, keeps the
// 12 bytes HL points to when it returns, and puts the registers back.
const char *kWatches = R"(
        rst 0x28
s0:     ld hl, 0x7777
        ld bc, 0x0B0C
        rst 0x28
s1:     jr s1
w1:     ld hl, 0x8200
        ret
w2:     ld hl, 0x8210
        ld bc, 0x9999
        ret
w3:     jr w3
w4:     db 0xED, 0x00
)";

TEST(BoardDebug, WatchesRunAsSubroutinesWithStateRestored)
{
    StandInConfig c = debug_config();
    c.firmware.max_watches = 3;
    c.firmware.watch_instruction_limit = 1000;
    Session s;
    ASSERT_TRUE(s.start(kWatches, c));
    s.board->with_firmware([](BoardFirmware &fw) {
        for (uint32_t i = 0; i < 12; ++i) {
            (void)fw.board().poke(0x80200 + i, uint8_t(i + 1));
            (void)fw.board().poke(0x80210 + i, uint8_t(0xA0 + i));
        }
    });
    s.start_program();
    s.run_to("s1");
    Registers before = s.read_registers();
    auto add = [&](const char *label) {
        Bytes p = word(s.program.at(label));
        p.push_back(8);
        return s.host->request(kLinkDbg, kDbgAddWatch, p);
    };
    ASSERT_TRUE(acked(add("w1")));
    ASSERT_TRUE(acked(add("w2")));
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgExecAllWatches)));
    auto data = s.host->request(kLinkDbg, kDbgWatchData);
    ASSERT_TRUE(data && data->ack());
    ASSERT_EQ(data->payload.size(), 36u);
    EXPECT_EQ(Bytes(data->payload.begin(), data->payload.begin() + 12),
              (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(data->payload[12], vsim::kWatchReturned);
    EXPECT_EQ(le16(data->payload, 14), 0x8200);
    EXPECT_EQ(data->payload[18], 0xA0) << "second entry, in ADDWATCH order";
    Registers after = s.read_registers();
    EXPECT_EQ(after.hl, before.hl);
    EXPECT_EQ(after.bc, 0x0B0C);
    EXPECT_EQ(after.sp, before.sp);
    EXPECT_EQ(after.pc, before.pc);

    ASSERT_TRUE(acked(add("w3")));
    EXPECT_TRUE(refused(add("w4"))) << "past the maximum";
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgExecWatch, {2})));
    data = s.host->request(kLinkDbg, kDbgWatchData);
    ASSERT_TRUE(acked(data));
    ASSERT_EQ(data->payload.size(), 54u);
    EXPECT_EQ(data->payload[36 + 12], vsim::kWatchTooLong);
    EXPECT_EQ(s.read_registers().pc, before.pc) << "a watch that never returns is cut off";

    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgDeleteWatch, {0})));
    EXPECT_TRUE(refused(s.host->request(kLinkDbg, kDbgDeleteWatch, {5})));
    EXPECT_TRUE(refused(s.host->request(kLinkDbg, kDbgExecWatch, {2})));
    ASSERT_TRUE(acked(add("w4")));
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgExecAllWatches)));
    data = s.host->request(kLinkDbg, kDbgWatchData);
    ASSERT_TRUE(acked(data));
    ASSERT_EQ(data->payload.size(), 54u);
    EXPECT_EQ(data->payload[12], vsim::kWatchReturned) << "w2 moved to the front";
    EXPECT_EQ(data->payload[18 + 12], vsim::kWatchTooLong);
    EXPECT_EQ(data->payload[36 + 12], vsim::kWatchBadOpcode);

    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgDeleteAllWatches)));
    data = s.host->request(kLinkDbg, kDbgWatchData);
    ASSERT_TRUE(data && data->ack());
    EXPECT_TRUE(data->payload.empty());
}

TEST(BoardDebug, WatchesRefusedWhenNotEnabled)
{
    StandInConfig c = debug_config();
    c.firmware.enabled_options = 0x03;
    Session s;
    ASSERT_TRUE(s.start(kMain, c));
    EXPECT_TRUE(refused(s.host->request(kLinkDbg, kDbgAddWatch, {0, 0, 0, 0, 4})));
    c.firmware.enabled_options = 0x06;
    Session t;
    ASSERT_TRUE(t.start(kMain, c));
    EXPECT_TRUE(refused(t.host->request(kLinkDbg, kDbgToggleBp, toggle(0x10, kAdd)))) << "no breakpoints";
}

// Tracing: bit 7 on, bit 6 off, each answered and followed by a one-byte REGDATA status;
// while on, every hook sends an "Execute" packet, bit 0 set while the program runs on.
TEST(BoardDebug, TracePacketsAtEveryHook)
{
    Session s;
    ASSERT_TRUE(s.start(kMain));
    s.start_program();
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgSetTraceFlags, {0x81})));
    auto status = s.host->message();
    ASSERT_TRUE(status);
    EXPECT_EQ(status->kind(), kDbgRegData);
    EXPECT_EQ(status->payload, Bytes{0x80});

    auto report = s.run_to("s2");
    EXPECT_EQ(names(report), (std::vector<std::string>{"28", "28", "28", "REGDATA", "ATBP"}));
    struct Want {
        uint8_t flags;
        const char *pc;
    };
    const Want want[] = {{0x09, "s1"}, {0x09, "sub1"}, {0x08, "s2"}};
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(report[i].payload.size(), vsim::kTracePacketSize);
        EXPECT_EQ(report[i].payload[0], want[i].flags) << i;
        EXPECT_EQ(le16(report[i].payload, 26), s.program.at(want[i].pc)) << i;
    }
    EXPECT_EQ(s.board->with_firmware([](BoardFirmware &fw) { return fw.trace_flags(); }), 0x01);

    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgSetTraceFlags, {0x40})));
    status = s.host->message();
    ASSERT_TRUE(status);
    EXPECT_EQ(status->payload, Bytes{0x00});
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgSingleStep, {0x09})));
    EXPECT_EQ(names(s.until_stop()), (std::vector<std::string>{"REGDATA", "ATBP"}));
}

// Program stdio: output through the console port arrives as STDIO; a status read without
// input asks the host with SENDCHAR and the program waits for the character.
const char *kConsole = R"(
        ld a, 'h'
        ioe ld (0xFFF0), a
        ld a, 'i'
        ioe ld (0xFFF0), a
wait:   ioe ld a, (0xFFF1)
        and 1
        jr z, wait
        ioe ld a, (0xFFF0)
        ld (0x8100), a
        rst 0x28
done:   jr done
)";

TEST(BoardDebug, ConsoleOutputAndInput)
{
    Session s;
    ASSERT_TRUE(s.start(kConsole));
    s.host->send(kLinkDbg, kDbgStartProgram);
    auto out = s.host->message();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->kind(), kDbgStdio);
    EXPECT_EQ(out->payload, (Bytes{'h', 'i'}));
    s.host->send(kLinkDbg, kDbgStdio | kLinkAck);
    auto ask = s.host->message();
    ASSERT_TRUE(ask);
    EXPECT_EQ(ask->kind(), kDbgSendChar);
    EXPECT_TRUE(s.board->wait_until([](const BoardFirmware &fw) { return fw.waiting_for_input(); }));
    auto give = s.host->request(kLinkDbg, kDbgSendChar, {'x'});
    ASSERT_TRUE(give && give->ack());
    auto report = s.until_stop();
    EXPECT_EQ(names(report), (std::vector<std::string>{"REGDATA", "STARTPROGRAM+ACK"}));
    EXPECT_EQ(s.pc_after(report), s.program.at("done"));
    auto seen = s.board->with_firmware([](BoardFirmware &fw) {
        return std::make_pair(fw.board().peek(0x80100), fw.stdio_acks());
    });
    EXPECT_EQ(seen.first, 'x');
    EXPECT_EQ(seen.second, 1u) << "the host's STDIO acknowledgement is taken, not answered";
}

TEST(BoardDebug, StopWhileWaitingForInput)
{
    Session s;
    ASSERT_TRUE(s.start(kConsole));
    s.host->send(kLinkDbg, kDbgStartProgram);
    ASSERT_TRUE(s.board->wait_until([](const BoardFirmware &fw) { return fw.waiting_for_input(); }));
    auto stop = s.host->request(kLinkDbg, kDbgStopProgram);
    ASSERT_TRUE(stop && stop->ack());
    auto report = s.until_stop();
    EXPECT_EQ(names(report).back(), "STARTPROGRAM+ACK") << "the stop ends the start";
    EXPECT_FALSE(s.board->with_firmware([](BoardFirmware &fw) { return fw.waiting_for_input(); }));
}

// The exit trap: the instruction that writes the exit port is `__xexit__`; the program stops
// there with the registers `__xexit` left (exit code in L), and stays there.
TEST(BoardDebug, ExitTrapStopsAtXexit)
{
    const char *text = R"(
        rst 0x28
s0:     exx
        ld hl, 0x4567
        exx
        ld hl, 0x00E5
__xexit__: ioe ld (0xFFF2), a
        jr __xexit__
)";
    Session s;
    ASSERT_TRUE(s.start(text));
    s.start_program();
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgRunProgram)));
    auto report = s.until_stop();
    EXPECT_EQ(names(report), (std::vector<std::string>{"REGDATA", "ATBP"}));
    auto r = DebugBoard::stop_registers(report);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->pc, s.program.at("__xexit__"));
    EXPECT_EQ(r->hl, 0x00E5);
    EXPECT_EQ(r->hl2, 0x4567);
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgRunProgram)));
    EXPECT_EQ(s.pc_after(s.until_stop()), s.program.at("__xexit__")) << "an ended program stays ended";
}

TEST(BoardDebug, ExitDuringStartAnswersTheStart)
{
    Session s;
    ASSERT_TRUE(s.start("__xexit__: ioe ld (0xFFF2), a\n"));
    auto report = s.start_program();
    EXPECT_EQ(names(report), (std::vector<std::string>{"REGDATA", "STARTPROGRAM+ACK"}));
    EXPECT_EQ(s.pc_after(report), s.program.at("__xexit__"));
}

TEST(BoardDebug, UndefinedOpcodeStopsThere)
{
    Session s;
    ASSERT_TRUE(s.start("        rst 0x28\ns0:     nop\nbad:    db 0xED, 0x00\n"));
    s.start_program();
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgRunProgram)));
    EXPECT_EQ(s.pc_after(s.until_stop()), s.program.at("bad"));
}

// STARTPROGRAM while the program runs starts it again.
TEST(BoardDebug, StartWhileRunningRestarts)
{
    Session s;
    ASSERT_TRUE(s.start(kMain));
    s.start_program();
    ASSERT_TRUE(acked(s.host->request(kLinkDbg, kDbgRunProgram)));
    auto report = s.start_program();
    EXPECT_EQ(names(report), (std::vector<std::string>{"REGDATA", "STARTPROGRAM+ACK"}));
    EXPECT_EQ(s.pc_after(report), s.program.at("s0"));
}

// --- faults scripted by a test ----------------------------------------------------------------

TEST(BoardFaults, NakAGivenRequest)
{
    Session s;
    ASSERT_TRUE(s.start(kMain));
    s.board->with_firmware([](BoardFirmware &fw) { fw.nak_next(kLinkDbg, kDbgSetDebugTag, 2); });
    EXPECT_TRUE(acked(s.host->request(kLinkDbg, kDbgNoop))) << "other requests are answered";
    EXPECT_TRUE(refused(s.host->request(kLinkDbg, kDbgSetDebugTag, {1, 0})));
    EXPECT_TRUE(refused(s.host->request(kLinkDbg, kDbgSetDebugTag, {2, 0})));
    EXPECT_EQ(s.board->with_firmware([](BoardFirmware &fw) { return fw.debug_tag(); }), 0xFFFF)
        << "a NAKed request does nothing";
    EXPECT_TRUE(acked(s.host->request(kLinkDbg, kDbgSetDebugTag, {3, 0})));
}

TEST(BoardFaults, StaySilentForSomeRequests)
{
    Session s;
    ASSERT_TRUE(s.start(kMain));
    s.board->with_firmware([](BoardFirmware &fw) { fw.stay_silent(2); });
    s.host->send(kLinkDbg, kDbgSetDebugTag, {7, 0});
    s.host->send(kLinkDbg, kDbgNoop);
    auto third = s.host->request(kLinkDbg, kDbgNoop);
    ASSERT_TRUE(third && third->ack());
    EXPECT_TRUE(s.host->others.empty());
    auto seen = s.board->with_firmware([](BoardFirmware &fw) { return std::make_pair(fw.frames().size(), fw.debug_tag()); });
    EXPECT_EQ(seen.first, 2u + 3u) << "challenge answer, link request and the three";
    EXPECT_EQ(seen.second, 0xFFFF) << "a request taken in silence does nothing";
}

TEST(BoardFaults, CorruptTheNextCheck)
{
    Session s;
    ASSERT_TRUE(s.start(kMain));
    s.board->with_firmware([](BoardFirmware &fw) { fw.corrupt_next_check(); });
    auto bad = s.host->request(kLinkDbg, kDbgNoop);
    ASSERT_TRUE(bad);
    EXPECT_FALSE(bad->valid);
    auto good = s.host->request(kLinkDbg, kDbgNoop);
    ASSERT_TRUE(good);
    EXPECT_TRUE(good->valid);
}

// Frames the board sends when a test asks: each arrives as scripted.
struct Injection {
    const char *name;
    std::function<void(BoardFirmware &)> script;
    uint8_t type, subtype;
    Bytes payload; // empty: not compared
};
void PrintTo(const Injection &c, std::ostream *os) { *os << c.name; }

const Injection kInjections[] = {
    {"unregistered_subtype", [](BoardFirmware &fw) { fw.inject_frame(kLinkSys, kSysSetOptions, {1}); },
     kLinkSys, kSysSetOptions, {1}},
    {"toggle_all_bps", [](BoardFirmware &fw) { fw.inject_frame(kLinkDbg, kDbgToggleAllBps, {}); },
     kLinkDbg, kDbgToggleAllBps, {}},
    {"text_message", [](BoardFirmware &fw) { fw.inject_text("hello"); }, kLinkSys, kSysText,
     {0, 0, 6, 0, 'h', 'e', 'l', 'l', 'o', 0}},
    {"system_nak", [](BoardFirmware &fw) { fw.inject_frame(kLinkSys, kSysNak, {3, 1, 2}); }, kLinkSys,
     kSysNak, {3, 1, 2}},
    {"loader_dropped", [](BoardFirmware &fw) { fw.inject_frame(kLinkDbg, kDbgLoaderDropped, {}); },
     kLinkDbg, kDbgLoaderDropped, {}},
    {"stdio", [](BoardFirmware &fw) { fw.inject_frame(kLinkDbg, kDbgStdio, {'o', 'k'}); }, kLinkDbg,
     kDbgStdio, {'o', 'k'}},
    {"sendchar", [](BoardFirmware &fw) { fw.inject_frame(kLinkDbg, kDbgSendChar, {}); }, kLinkDbg,
     kDbgSendChar, {}},
    {"one_byte_regdata", [](BoardFirmware &fw) { fw.inject_status(0x80); }, kLinkDbg, kDbgRegData, {0x80}},
    {"trace_enter", [](BoardFirmware &fw) { fw.inject_trace(vsim::kTraceEnter | vsim::kTraceRunsOn); },
     kLinkDbg, kDbgTrace, {}},
    {"trace_macro_stop", [](BoardFirmware &fw) { fw.inject_trace(vsim::kTraceMacro); }, kLinkDbg,
     kDbgTrace, {}},
};

class Inject : public ::testing::TestWithParam<Injection> {};

TEST_P(Inject, HostReceivesIt)
{
    const Injection &c = GetParam();
    Session s;
    ASSERT_TRUE(s.start(kMain));
    s.board->with_firmware(c.script);
    auto f = s.host->message();
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->valid);
    EXPECT_EQ(f->type, c.type);
    EXPECT_EQ(f->subtype, c.subtype);
    if (!c.payload.empty()) {
        EXPECT_EQ(f->payload, c.payload);
    }
    if (c.type == kLinkDbg && c.subtype == kDbgTrace) {
        ASSERT_EQ(f->payload.size(), vsim::kTracePacketSize);
        EXPECT_EQ(le16(f->payload, 26), 0) << "PC of the register block";
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, Inject, ::testing::ValuesIn(kInjections),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
