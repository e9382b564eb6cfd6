// The target-communication operations: status texts, the result codes' messages, the send
// and trace flags, requests skipped while another is in progress, and the handlers of the
// target's own messages (register data, watch data, texts, NAK reports, the loader dropping
// the link, stops, stdio and trace packets).
#include "TcHarness.h"

#include <QTimer>

using namespace tctest;

namespace {

// Waits (running events) until f holds.
bool until(const std::function<bool()> &f) { return linktest::pump_until(f, 3000); }

// --- status texts ---------------------------------------------------------------------------

struct StatusCase {
    const char *name;
    std::function<void()> op;
    const char *text;
};

const StatusCase kStatusTexts[] = {
    {"sys_poll", [] { TcSendSysPoll(); }, "Sending Poll"},
    {"dbg_poll", [] { TcSendDbgPoll(); }, "Sending Poll"},
    {"read_registers", [] { TcReadRegisters(); }, "Reading registers"},
    {"reset", [] { TcResetTarget(); }, "Reseting target"},
    {"set_tag", [] { TcSetDebugTag(0x1234); }, "Setting debug tag"},
    {"get_tag", [] { uint16_t t = 0; TcGetDebugTag(t); }, "Getting debug tag"},
    {"enabled_options",
     [] {
         uint8_t a, b, c;
         TcGetEnabledOptions(a, b, c);
     },
     "Getting enabled options"},
    {"remove_breakpoints", [] { TcRemoveAllBreakpoints(); }, "Removing all breakpoints"},
    {"delete_watches", [] { TcDeleteAllWatches(); }, "Deleting watches"},
    {"char_count", [] { TcSendStdioCharCount(2); }, "Sending stdio char count"},
    {"flash_parameters", [] { TcSendFlashParameters(512, 4096, 128, 1); }, "Sending flash parameters"},
    {"board_info", [] { (void)TcReadBoardInfo(); }, "Reading board info"},
    {"read_memory",
     [] {
         uint8_t b[4];
         TcReadPhysicalMemory(0, 4, b);
     },
     "Sending Read Request"},
};

class StatusText : public TcTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusText, ShownThenCleared)
{
    auto board = open_board(200);
    status_history().clear();
    GetParam().op();
    EXPECT_EQ(status_history(), (std::vector<std::string>{GetParam().text, ""}));

    board->with_firmware([](BoardFirmware &f) { f.stay_silent(1); });
    status_history().clear();
    try {
        GetParam().op();
    } catch (const xTCErr &) {
    }
    const bool reported = GetParam().text != std::string("Getting debug tag");
    EXPECT_EQ(status_history().back(), reported ? "Communication error" : "");
}

INSTANTIATE_TEST_SUITE_P(All, StatusText, ::testing::ValuesIn(kStatusTexts),
                         [](const auto &i) { return std::string(i.param.name); });

// --- result codes --------------------------------------------------------------------------------

struct CodeCase {
    const char *name;
    int code;
    const char *thrown; // "" when the operation returns
    const char *box;    // "" when none is shown
    const char *status;
};

const CodeCase kCodes[] = {
    {"no_watches", 253, "", "Watch support not enabled on target.", ""},
    {"no_instruction_step", 254, "", "Instruction level single step support not enabled on target.", ""},
    {"no_breakpoints", 255, "", "Breakpoint support not enabled on target.", ""},
    {"port_open", 2000, "Could not open serial port.", "", "Communication error"},
    {"port_setup", 2001, "Could not set up serial port.", "", "Communication error"},
    {"timeout", 4105, "Timeout while waiting for response from target.", "", "Communication error"},
    {"cancel", 4124, "cancel", "", ""},
    {"no_processor", 5000, "No Vireon Processor Detected.", "", "Communication error"},
    {"cold_file", 5001, "Could not open cold loader file.", "", "Communication error"},
    {"id_block", 6000, "ID block not present.", "", "Communication error"},
    {"id_crc", 6001, "ID block CRC failed.", "", "Communication error"},
    {"pilot_file", 6007, "Could not open pilot bios file.", "", "Communication error"},
    {"pilot_failed", 6008, "Target communication error.", "", "Communication error"},
    {"pilot_too_large", 6009, "The pilot bios image is too large to send.", "", "Communication error"},
    {"discovery_receive", 3011, "Target communication error.", "", "Communication error"},
    {"refused", 4122, "Target communication error.", "", "Communication error"},
};

class ResultCode : public TcTest, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(ResultCode, Message)
{
    const CodeCase &c = GetParam();
    EXPECT_EQ(failure_of([&] { TcThrowError(c.code); }), c.thrown);
    EXPECT_EQ(last_box(), c.box);
    EXPECT_EQ(headless_main_window().status_text, c.status);
}

INSTANTIATE_TEST_SUITE_P(All, ResultCode, ::testing::ValuesIn(kCodes),
                         [](const auto &i) { return std::string(i.param.name); });

struct LinkErrorCase {
    const char *name;
    uint8_t kind;
    const char *text;
};

const LinkErrorCase kLinkErrors[] = {
    {"nak", 0, "NAK received - type: 001, subtype: 02a"},
    {"no_callback", 1, "No Callback registered - type: 001, subtype: 02a"},
    {"bad_packet", 2, "Bad packet - type: 001, subtype: 02a"},
    {"dropped", 3, "Loader dropped connection with Korvex"},
};

class LinkErrorText : public TcTest, public ::testing::WithParamInterface<LinkErrorCase> {};

TEST_P(LinkErrorText, Shown)
{
    TcShowLinkError(GetParam().kind, 1, 0x2A);
    EXPECT_EQ(last_box(), GetParam().text);
    EXPECT_EQ(headless_message_box_host().shown.back().caption, "error");
}

INSTANTIATE_TEST_SUITE_P(All, LinkErrorText, ::testing::ValuesIn(kLinkErrors),
                         [](const auto &i) { return std::string(i.param.name); });

// --- flags and requests in progress --------------------------------------------------------------

TEST_F(TcTest, SendFlagsStartAtRegisterDataAtEveryOpen)
{
    auto board = open_board();
    TcSetSendFlag(2, true);
    TcSetSendFlag(3, false);
    TcSetTraceFlag(7, true);
    auto sends = frames_of(*board, kLinkDbg, kDbgSetSendFlags);
    ASSERT_EQ(sends.size(), 2u);
    EXPECT_EQ(sends[0].payload, Bytes{0x0C});
    EXPECT_EQ(sends[1].payload, Bytes{0x04});
    EXPECT_EQ(frames_of(*board, kLinkDbg, kDbgSetTraceFlags).at(0).payload, Bytes{0x80});
    TcCloseConnection();
    TcOpenConnection(serial_settings(), ReaderMode::threaded);
    TcRegisterHandlers();
    EXPECT_EQ(TcSendFlags(), 0x08);
}

TEST_F(TcTest, RequestsInsideARequestSendNothing)
{
    auto peer = open_peer();
    uint8_t watch_entry[18] = {0x41, 0x42};
    peer->respond([&](const linktest::PeerFrame &f) -> Bytes {
        if (f.subtype & (kLinkAck | kLinkNak))
            return {};
        if (f.type == kLinkDbg && f.subtype == kDbgExecAllWatches)
            return {}; // answered by the test, later
        if (f.type == kLinkDbg && f.subtype == kDbgWatchData)
            return peer->frame(kLinkDbg, kDbgWatchData | kLinkAck, Bytes(watch_entry, watch_entry + 18));
        return peer->frame(f.type, uint8_t(f.subtype | kLinkAck));
    });
    std::vector<std::string> inner_status;
    QTimer::singleShot(30, [&] {
        const size_t before = status_history().size();
        TcRunWatches();  // a run is pending
        TcSendDbgPoll(); // a request is in progress
        inner_status.assign(status_history().begin() + long(before), status_history().end());
        peer->write(peer->frame(kLinkDbg, kDbgExecAllWatches | kLinkAck));
    });
    TcRunWatches();
    EXPECT_TRUE(inner_status.empty());
    size_t exec = 0, polls = 0;
    for (const auto &f : peer->frames()) {
        exec += f.type == kLinkDbg && f.subtype == kDbgExecAllWatches;
        polls += f.type == kLinkDbg && f.subtype == kDbgNoop;
    }
    EXPECT_EQ(exec, 1u);
    EXPECT_EQ(polls, 0u);
    EXPECT_FALSE(TcWatchesRunning()) << "the watch data ended the run";
    uint8_t value[12] = {};
    TcGetWatchResult(0, value);
    EXPECT_EQ(value[0], 0x41);
    EXPECT_EQ(value[1], 0x42);
    EXPECT_EQ(CurrentConnection()->GetHandlerEntry(kLinkDbg, kDbgWatchData).waits, false)
        << "WATCHDATA's registration is back";
}

// --- register data -------------------------------------------------------------------------------

TEST_F(TcTest, RegisterDataFillsTheRegisterSet)
{
    auto board = open_board();
    board->with_firmware([](BoardFirmware &f) {
        vsim::CpuState &c = f.cpu();
        c.main = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xF1, 0xA1}; // b c d e h l f a
        c.alt = {0x21, 0x43, 0x65, 0x87, 0xA9, 0xCB, 0x1F, 0x1A};
        c.ix = 0x1111;
        c.iy = 0x2222;
        c.sp = 0xD000;
        c.pc = 0xE123;
        c.xpc = 0x7C;
        c.ip = 0x03;
    });
    TcReadRegisters();
    TargetRegisterSet expected;
    expected.AF = 0xA1F1;
    expected.BC = 0x1234;
    expected.DE = 0x5678;
    expected.HL = 0x9ABC;
    expected.SP = 0xD000;
    expected.PC = 0x7CE123;
    expected.IX = 0x1111;
    expected.IY = 0x2222;
    expected.AF2 = 0x1A1F;
    expected.BC2 = 0x2143;
    expected.DE2 = 0x6587;
    expected.HL2 = 0xA9CB;
    EXPECT_EQ(gTargetRegisters, expected);
    EXPECT_EQ(TcStopReason(), 0x03);

    // Written back: the argument's registers, the XPC, PC and status of the last read.
    TargetRegisterSet changed = expected;
    changed.HL = 0x4242;
    changed.PC = 0x010000;
    TcWriteRegisters(changed);
    auto writes = frames_of(*board, kLinkDbg, kDbgWriteRegData);
    ASSERT_EQ(writes.size(), 1u);
    const Bytes &p = writes[0].payload;
    ASSERT_EQ(p.size(), 27u);
    EXPECT_EQ(p[2], 0x7C);
    EXPECT_EQ(p[18] | p[19] << 8, 0x4242);
    EXPECT_EQ(p[24], 0x03);
    EXPECT_EQ(p[25] | p[26] << 8, 0xE123);
}

struct RegDataCase {
    const char *name;
    Bytes payload;
    bool status_byte;
    bool bad_packet;
};

const RegDataCase kRegData[] = {
    {"status_byte", {0x80}, true, false},
    {"five_bytes", Bytes(5, 0x55), false, true},
    {"twenty_eight_bytes", Bytes(28, 0x55), false, true},
};

class RegisterData : public TcTest, public ::testing::WithParamInterface<RegDataCase> {};

TEST_P(RegisterData, OnlyTheTwoLengthsAreUsed)
{
    const RegDataCase &c = GetParam();
    auto peer = open_peer();
    gTargetRegisters = TargetRegisterSet{};
    peer->write(peer->frame(kLinkDbg, kDbgRegData, c.payload));
    ASSERT_TRUE(until([&] {
        return !events.status_bytes.empty() || CurrentConnection()->GetArrived(kLinkDbg, kDbgRegData);
    }));
    EXPECT_EQ(events.status_bytes.size(), c.status_byte ? 1u : 0u);
    EXPECT_EQ(gTargetRegisters, TargetRegisterSet{}) << "nothing read into the registers";
    const LinkErrorRecord e = TcGetLinkError();
    EXPECT_EQ(e.pending, c.bad_packet);
    if (c.bad_packet) {
        EXPECT_EQ(e.kind, kLinkErrorBadPacket);
        EXPECT_EQ(e.subtype, kDbgRegData);
    }
}

INSTANTIATE_TEST_SUITE_P(All, RegisterData, ::testing::ValuesIn(kRegData),
                         [](const auto &i) { return std::string(i.param.name); });

// --- watch data ---------------------------------------------------------------------------------

TEST_F(TcTest, WatchDataKeepsTheWholeEntriesThatFit)
{
    auto peer = open_peer();
    auto send_watch_data = [&](size_t bytes, uint8_t seed) {
        Bytes p(bytes);
        for (size_t i = 0; i < bytes; ++i)
            p[i] = uint8_t(seed + i / 18);
        peer->write(peer->frame(kLinkDbg, kDbgWatchData, p));
        CurrentConnection()->SetArrived(kLinkDbg, kDbgWatchData, false);
        return until([] { return CurrentConnection()->GetArrived(kLinkDbg, kDbgWatchData); });
    };
    uint8_t value[12];
    ASSERT_TRUE(send_watch_data(300 * 18, 0)) << "more entries than the area holds";
    TcGetWatchResult(255, value);
    EXPECT_EQ(value[0], 255);
    ASSERT_TRUE(send_watch_data(18 + 9, 0x80)) << "one entry and a half";
    TcGetWatchResult(0, value);
    EXPECT_EQ(value[0], 0x80);
    TcGetWatchResult(1, value);
    EXPECT_EQ(value[0], 1) << "the half entry is not taken";
}

// --- texts and reports ----------------------------------------------------------------------------

TEST_F(TcTest, ATextFromTheTargetCancelsTheRequestThenShows)
{
    auto board = open_board(3000);
    board->with_firmware([](BoardFirmware &f) { f.stay_silent(1); });
    QTimer::singleShot(30, [&] {
        board->with_firmware([](BoardFirmware &f) { f.inject_text("Flash is write protected"); });
    });
    EXPECT_EQ(failure_of([] { TcSendSysPoll(); }), "cancel");
    EXPECT_EQ(last_box(), "Flash is write protected");
    EXPECT_EQ(headless_message_box_host().shown.back().caption, "error");
}

struct TextCase {
    const char *name;
    Bytes payload;
    const char *text;
};

const TextCase kTexts[] = {
    {"ends_at_its_zero", {0, 0, 10, 0, 'o', 'k', 0, 'x'}, "ok"},
    {"ends_with_the_payload", {0, 0, 0xFF, 0xFF, 'a', 'b', 'c'}, "abc"},
    {"ends_with_its_buffer", {0, 0, 2, 0, 'a', 'b', 'c', 0}, "ab"},
    {"payload_too_short_for_a_text", {0, 0, 5}, ""},
};

class TargetText : public TcTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(TargetText, Bounded)
{
    auto peer = open_peer();
    peer->write(peer->frame(kLinkSys, kSysText, GetParam().payload));
    ASSERT_TRUE(until([] { return CurrentConnection()->GetArrived(kLinkSys, kSysText); }));
    EXPECT_EQ(last_box(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(All, TargetText, ::testing::ValuesIn(kTexts),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(TcTest, ASystemNakIsReported)
{
    auto peer = open_peer();
    peer->write(peer->frame(kLinkSys, kSysNak, {0x12, 0x01, 0x02}));
    ASSERT_TRUE(until([] { return !headless_message_box_host().shown.empty(); }));
    EXPECT_EQ(last_box(), "System Nak - reason: 12 type: 01, subtype: 02");
}

TEST_F(TcTest, TheLoaderDroppingTheLinkWaitsAsALinkError)
{
    auto peer = open_peer();
    peer->write(peer->frame(kLinkDbg, kDbgLoaderDropped));
    ASSERT_TRUE(until([] { return CurrentConnection()->GetArrived(kLinkDbg, kDbgLoaderDropped); }));
    EXPECT_TRUE(headless_message_box_host().shown.empty()) << "not thrown, not shown";
    const LinkErrorRecord e = TcGetLinkError();
    ASSERT_TRUE(e.pending);
    TcShowLinkError(e.kind, e.type, e.subtype);
    EXPECT_EQ(last_box(), "Loader dropped connection with Korvex");
    EXPECT_FALSE(TcGetLinkError().pending);
}

// --- the target's own messages to the debugger ------------------------------------------------------

TEST_F(TcTest, TheTargetsMessagesReachTheDebugger)
{
    auto peer = open_peer();
    Bytes regs(27, 0);
    regs[24] = 0x02; // the stop reason
    peer->write(peer->frame(kLinkDbg, kDbgRegData, regs));
    peer->write(peer->frame(kLinkDbg, kDbgStackData, {1, 2, 3, 4}));
    peer->write(peer->frame(kLinkDbg, kDbgAsmData, {0xEF, 0x00}));
    peer->write(peer->frame(kLinkDbg, kDbgAtBp));
    peer->write(peer->frame(kLinkDbg, kDbgStdio, {'h', 'i'}));
    peer->write(peer->frame(kLinkDbg, kDbgSendChar));
    peer->write(peer->frame(kLinkDbg, kDbgTrace, Bytes(28, 0x08)));
    ASSERT_TRUE(until([&] { return events.trace_packets.size() == 1; }));
    EXPECT_EQ(events.stops, std::vector<uint16_t>{2});
    EXPECT_EQ(events.stack, (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(events.assembly, (Bytes{0xEF, 0x00}));
    EXPECT_EQ(events.stdio, (Bytes{'h', 'i'}));
    EXPECT_EQ(events.send_char_requests, 1);
    EXPECT_FALSE(TcProgramRunning());
    ASSERT_TRUE(peer->wait_frames(1)) << "the trace packet is acknowledged";
    EXPECT_EQ(peer->frames()[0].subtype, kDbgStdio | kLinkAck);

    EXPECT_TRUE(TcStdioPending());
    TcAckStdio();
    EXPECT_FALSE(TcStdioPending());
    ASSERT_TRUE(peer->wait_frames(2));
    EXPECT_EQ(peer->frames()[1].subtype, kDbgStdio | kLinkAck);
    EXPECT_TRUE(peer->frames()[1].payload.empty());
    TcAckStdio();
    linktest::pump_for(20);
    EXPECT_EQ(peer->frame_count(), 2u) << "nothing pending: nothing sent";
}

TEST_F(TcTest, WithoutADebuggerCoreAStopIsRefusedAloud)
{
    TcSetDebuggerEvents(nullptr);
    auto peer = open_peer();
    peer->write(peer->frame(kLinkDbg, kDbgAtBp));
    ASSERT_TRUE(until([] { return !headless_message_box_host().shown.empty(); }));
    EXPECT_NE(last_box().find("The debugger core is not part of this build."), std::string::npos);
    peer->write(peer->frame(kLinkDbg, kDbgRegData, {0x80}));
    ASSERT_TRUE(until([] { return CurrentConnection()->GetArrived(kLinkDbg, kDbgRegData); }));
    EXPECT_TRUE(IdePreferences().tracing) << "a status byte's bit 7 is the tracing state";
}

} // namespace
