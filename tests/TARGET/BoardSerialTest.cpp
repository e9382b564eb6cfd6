// The stand-in on its pseudo-terminal: the cold loader, the pilot BIOS and the framed phases,
// line speeds as the host sets them, strict line speed, pacing, a host that goes away, power
// cycles and bad input on the line.
#include "BoardHost.h"

#include <gtest/gtest.h>

#include <ostream>

#include <future>
#include <tuple>

using namespace boardtest;
using vsim::BoardFirmware;
using vsim::BoardPhase;
using vsim::BoardStandIn;
using vsim::StandInConfig;

namespace {

StandInConfig serial_config(BoardPhase phase = BoardPhase::cold)
{
    StandInConfig c;
    c.tcp = false;
    c.firmware.initial_phase = phase;
    return c;
}

struct SerialBoard {
    std::unique_ptr<BoardStandIn> board;
    std::unique_ptr<Host> host;

    explicit SerialBoard(const StandInConfig &c, uint32_t baud = 57600)
    {
        board = start_board(c);
        if (!board)
            return;
        host = open_serial(*board, baud);
        if (!host)
            ADD_FAILURE() << "cannot open " << board->pty_path();
    }
    template <class F>
    bool wait(F pred)
    {
        return board->wait_until(pred);
    }
    BoardPhase phase()
    {
        return board->with_firmware([](BoardFirmware &fw) { return fw.phase(); });
    }
    size_t raw_bytes()
    {
        return board->with_firmware([](BoardFirmware &fw) {
            size_t n = 0;
            for (const auto &r : fw.raw())
                n += r.bytes.size();
            return n;
        });
    }
    // Waits until the board has taken every byte sent so far; whatever it answered is then
    // already on the line.
    bool taken(size_t total) { return wait([&](const BoardFirmware &fw) {
        size_t n = 0;
        for (const auto &r : fw.raw())
            n += r.bytes.size();
        return n >= total;
    }); }
};

Bytes pilot_header(uint16_t image_length)
{
    Bytes h;
    put32(h, 16384);
    put16(h, image_length);
    uint8_t sum = 0;
    for (uint8_t b : h)
        sum = uint8_t(sum + b);
    h.push_back(sum);
    return h;
}

// The two stages a host sends to a bare board, with what the board answers.
TEST(BoardSerial, ColdLoaderThenPilotThenFramedSys)
{
    SerialBoard b(serial_config(), 2400);
    ASSERT_TRUE(b.host);
    Bytes cold = {0x80, 0x50, 0x40, 0x80, 0x0E, 0x20, 0x12, 0x34, 0x56, 0x7E, 0x7D, 0x00,
                  0x80, 0x0E, 0x30, 0x80, 0x24, 0x80};
    b.host->write_bytes(cold);
    ASSERT_TRUE(b.wait([](const BoardFirmware &fw) { return fw.loader().cold_complete; }));
    EXPECT_TRUE(b.host->pending().empty()) << "the cold loader stage answers nothing";
    auto records = b.board->with_firmware([](BoardFirmware &fw) { return fw.loader().cold_records; });
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[1], (std::array<uint8_t, 3>{0x7E, 0x7D, 0x00}));
    EXPECT_EQ(records[3], (std::array<uint8_t, 3>{0x80, 0x24, 0x80}));
    EXPECT_EQ(b.phase(), BoardPhase::pilot_load);

    set_line_speed(b.host->fd(), 57600);
    Bytes image = {0xCC, 0x01, 0x7E, 0x7D, 0xFF, 0x00, 0x42};
    Bytes header = pilot_header(uint16_t(image.size()));
    b.host->write_bytes(header);
    EXPECT_EQ(b.host->read_raw(1), Bytes{header[6]}) << "the header's sum comes back";
    b.host->write_bytes(image);
    uint16_t check = ComputeCheck(std::span<const uint8_t>(image).subspan(1), 0xCCCC);
    EXPECT_EQ(b.host->read_raw(2), (Bytes{uint8_t(check), uint8_t(check >> 8)}));
    EXPECT_EQ(b.phase(), BoardPhase::pilot);

    auto noop = b.host->request(kLinkSys, kSysNoop);
    ASSERT_TRUE(noop);
    EXPECT_EQ(noop->subtype, kSysNoop | kLinkAck);

    auto log = b.board->with_firmware([](BoardFirmware &fw) {
        return std::make_tuple(fw.loader().pilot_image, fw.loader().pilot_baud, fw.raw().front().baud,
                               fw.frames().back().baud, fw.agreed_baud());
    });
    EXPECT_EQ(std::get<0>(log), image);
    EXPECT_EQ(std::get<1>(log), 57600u);
    EXPECT_EQ(std::get<2>(log), 2400u) << "the cold loader's bytes came at the cold-loader speed";
    EXPECT_EQ(std::get<3>(log), 57600u);
    EXPECT_EQ(std::get<4>(log), 57600u) << "the pilot talks at the speed its image came at";
}

// A pilot header whose sum does not hold gets the sum the board computed; the board then
// waits for a new header, and a good one goes through.
TEST(BoardSerial, PilotHeaderWithWrongSumIsAnsweredAndForgotten)
{
    SerialBoard b(serial_config(BoardPhase::pilot_load));
    ASSERT_TRUE(b.host);
    Bytes bad = pilot_header(2);
    uint8_t right = bad[6];
    bad[6] ^= 0x11;
    b.host->write_bytes(bad);
    EXPECT_EQ(b.host->read_raw(1), Bytes{right});
    Bytes good = pilot_header(2);
    b.host->write_bytes(good);
    EXPECT_EQ(b.host->read_raw(1), Bytes{good[6]});
    b.host->write_bytes({0xCC, 0x99});
    uint16_t check = ComputeCheck(Bytes{0x99}, 0xCCCC);
    EXPECT_EQ(b.host->read_raw(2), (Bytes{uint8_t(check), uint8_t(check >> 8)}));
}

// A byte other than 0xCC after the header ends the load; the header is asked for again.
TEST(BoardSerial, PilotImageMustStartWithCc)
{
    SerialBoard b(serial_config(BoardPhase::pilot_load));
    ASSERT_TRUE(b.host);
    b.host->write_bytes(pilot_header(1));
    ASSERT_EQ(b.host->read_raw(1).size(), 1u);
    b.host->write_bytes({0x00});
    ASSERT_TRUE(b.taken(8));
    EXPECT_EQ(b.phase(), BoardPhase::pilot_load);
    b.host->write_bytes(pilot_header(1));
    ASSERT_EQ(b.host->read_raw(1).size(), 1u);
    b.host->write_bytes({0xCC});
    EXPECT_EQ(b.host->read_raw(2), (Bytes{0xCC, 0xCC})) << "an image of the start byte alone";
    EXPECT_EQ(b.phase(), BoardPhase::pilot);
}

// The bootstrap sequence resets a board in any phase; inside a frame it is only data.
TEST(BoardSerial, BootstrapSequenceResetsFromAnyPhaseButNotInsideAFrame)
{
    SerialBoard b(serial_config(BoardPhase::bios));
    ASSERT_TRUE(b.host);
    Bytes seq = {0x80, 0x50, 0x40, 0x80, 0x0E, 0x20};
    auto write = b.host->request(kLinkSys, kSysWrite, memory_payload(0, 0x80000, 6, 0, seq));
    ASSERT_TRUE(write && write->ack());
    EXPECT_EQ(b.phase(), BoardPhase::bios);
    auto bp = b.host->request(kLinkDbg, kDbgToggleBp, {0x10, 0, 0, 0, 0x02, 0, 0});
    ASSERT_TRUE(bp && bp->ack());

    b.host->write_bytes(seq);
    ASSERT_TRUE(b.wait([](const BoardFirmware &fw) { return fw.phase() == BoardPhase::cold; }));
    auto state = b.board->with_firmware([](BoardFirmware &fw) {
        return std::make_pair(fw.breakpoints().size(), fw.board().peek(0x80005));
    });
    EXPECT_EQ(state.first, 0u) << "the debug kernel's breakpoints went with the reset";
    EXPECT_EQ(state.second, 0x20) << "memory stays";
}

TEST(BoardSerial, PilotPhaseAnswersSysAndTheDebugTagOnly)
{
    SerialBoard b(serial_config(BoardPhase::pilot));
    ASSERT_TRUE(b.host);
    auto tag = b.host->request(kLinkDbg, kDbgSetDebugTag, {0x34, 0x12});
    ASSERT_TRUE(tag && tag->ack());
    b.host->send(kLinkDbg, kDbgNoop);
    b.host->send(kLinkDbg, kDbgEnabledOptions, {0, 0, 0});
    auto noop = b.host->request(kLinkSys, kSysNoop);
    ASSERT_TRUE(noop && noop->ack());
    EXPECT_TRUE(b.host->others.empty()) << describe(b.host->others.front());
    auto start = b.host->request(kLinkSys, kSysStartBios, {1});
    ASSERT_TRUE(start && start->ack());
    EXPECT_EQ(b.phase(), BoardPhase::bios);
    auto get = b.host->request(kLinkDbg, kDbgGetDebugTag, {0, 0});
    ASSERT_TRUE(get && get->ack());
    EXPECT_EQ(get->payload, (Bytes{0x34, 0x12}));
}

// Each frame is logged with the line speed the host's side of the pty was set to.
class LineSpeed : public ::testing::TestWithParam<uint32_t> {};

TEST_P(LineSpeed, FrameLoggedAtTheHostsSpeed)
{
    SerialBoard b(serial_config(BoardPhase::pilot), GetParam());
    ASSERT_TRUE(b.host);
    auto noop = b.host->request(kLinkSys, kSysNoop);
    ASSERT_TRUE(noop && noop->ack());
    auto baud = b.board->with_firmware([](BoardFirmware &fw) { return fw.frames().back().baud; });
    EXPECT_EQ(baud, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Rates, LineSpeed,
                         ::testing::Values(2400u, 4800u, 9600u, 19200u, 38400u, 57600u, 115200u,
                                           230400u, 460800u),
                         [](const auto &i) { return std::to_string(i.param); });

// Strict line speed: once a speed is agreed, what arrives at another speed is lost, and what
// the board says while the host listens at another speed is lost too.
TEST(BoardSerial, StrictLineSpeedLosesFramesAtOtherSpeeds)
{
    StandInConfig c = serial_config(BoardPhase::pilot);
    c.firmware.strict_line_speed = true;
    SerialBoard b(c, 57600);
    ASSERT_TRUE(b.host);
    Bytes rate;
    put32(rate, 115200);
    auto set = b.host->request(kLinkSys, kSysSetBaudRate, rate);
    ASSERT_TRUE(set && set->ack()) << "answered at the old speed";

    size_t before = b.raw_bytes();
    Bytes noop = build_link_frame(kLinkSys, kSysNoop, Bytes{}, true);
    b.host->write_bytes(noop);
    ASSERT_TRUE(b.taken(before + noop.size()));
    EXPECT_TRUE(b.host->pending().empty()) << "a frame at 57600 is garbled on a 115200 line";

    set_line_speed(b.host->fd(), 115200);
    auto ok = b.host->request(kLinkSys, kSysNoop);
    ASSERT_TRUE(ok && ok->ack());

    set_line_speed(b.host->fd(), 9600);
    b.board->with_firmware([](BoardFirmware &fw) { fw.inject_frame(kLinkDbg, kDbgStdio, {'x'}); });
    ASSERT_TRUE(b.wait([&](const BoardFirmware &) { return b.board->dropped_output() > 0; }));
    EXPECT_TRUE(b.host->pending().empty());
}

TEST(BoardSerial, SetBaudRateAcceptedUpToTheMaximum)
{
    StandInConfig c = serial_config(BoardPhase::pilot);
    c.firmware.max_baud = 230400;
    SerialBoard b(c);
    ASSERT_TRUE(b.host);
    struct Row {
        uint32_t rate;
        bool accepted;
    };
    for (Row r : {Row{460800, false}, Row{230400, true}, Row{115200, true}, Row{0, false}}) {
        Bytes p;
        put32(p, r.rate);
        auto a = b.host->request(kLinkSys, kSysSetBaudRate, p);
        ASSERT_TRUE(a) << r.rate;
        EXPECT_EQ(a->ack(), r.accepted) << r.rate;
        EXPECT_EQ(a->nak(), !r.accepted) << r.rate;
    }
    EXPECT_EQ(b.board->with_firmware([](BoardFirmware &fw) { return fw.agreed_baud(); }), 115200u);
}

// The board keeps its own end of the pty open: a host that closes the line, or vanishes in
// the middle of a frame, finds the board answering when it opens the line again.
TEST(BoardSerial, HostThatClosesOrVanishesMidFrameCanComeBack)
{
    SerialBoard b(serial_config(BoardPhase::pilot));
    ASSERT_TRUE(b.host);
    ASSERT_TRUE(b.host->request(kLinkSys, kSysNoop));
    Bytes half = build_link_frame(kLinkSys, kSysRead, memory_payload(0, 0, 4), true);
    half.resize(half.size() / 2);
    b.host->write_bytes(half);
    b.host->close();
    auto again = open_serial(*b.board, 57600);
    ASSERT_TRUE(again);
    auto noop = again->request(kLinkSys, kSysNoop);
    ASSERT_TRUE(noop && noop->ack());
}

// Payload bytes 0x7E and 0x7D survive the escaping both ways.
TEST(BoardSerial, EscapedBytesRoundTrip)
{
    SerialBoard b(serial_config(BoardPhase::pilot));
    ASSERT_TRUE(b.host);
    Bytes data = {0x7E, 0x7D, 0x7E, 0x5E, 0x5D, 0x20, 0x7D};
    auto w = b.host->request(kLinkSys, kSysWrite, memory_payload(0, 0x80100, uint16_t(data.size()), 0, data));
    ASSERT_TRUE(w && w->ack());
    auto r = b.host->request(kLinkSys, kSysRead, memory_payload(0, 0x80100, uint16_t(data.size())));
    ASSERT_TRUE(r && r->ack() && r->valid);
    EXPECT_EQ(Bytes(r->payload.begin() + 6, r->payload.end()), data);
}

// Bad input on the line: the board stays up, answers NAK or nothing, and the next request is
// answered as usual, with nothing before its answer but what the case expects.
struct BadInput {
    const char *name;
    Bytes wire;
    int naks; // NAK answers expected before the fence's answer
};
void PrintTo(const BadInput &c, std::ostream *os) { *os << c.name; }

Bytes frame_with(Bytes f, size_t at, uint8_t x)
{
    f.at(at) ^= x;
    return f;
}

const BadInput kBadInput[] = {
    {"noise", {0x00, 0xFF, 0x13, 0x55, 0xAA}, 0},
    {"lone_escape", {0x7D}, 0},
    {"lone_flag", {0x7E}, 0},
    {"escape_flag_escape", {0x7D, 0x7E, 0x7D}, 0},
    {"length_over_limit",
     [] {
         Bytes f{kLinkFlag};
         auto h = link_header(0, kSysWrite, 40000);
         escape_link_bytes(h, f);
         return f;
     }(),
     0},
    {"bad_header_check", frame_with(build_link_frame(0, kSysNoop, Bytes{}, true), 7, 0x01), 0},
    {"bad_frame_check", frame_with(build_link_frame(0, kSysNoop, Bytes{}, true), 10, 0x01), 0},
    {"short_read", build_link_frame(0, kSysRead, Bytes{0, 4, 0}, true), 1},
    {"read_over_128", build_link_frame(0, kSysRead, memory_payload(0, 0x80000, 129), true), 1},
    {"read_past_the_board", build_link_frame(0, kSysRead, memory_payload(0, 0xFFFF0, 32), true), 1},
    {"read_unknown_mode", build_link_frame(0, kSysRead, memory_payload(2, 0x80000, 4), true), 1},
    {"write_longer_than_payload",
     build_link_frame(0, kSysWrite, memory_payload(0, 0x80000, 8, 0, {1, 2, 3}), true), 1},
    {"write_outside_flash_and_ram",
     [] {
         Bytes p{0};
         put16(p, 2);
         put32(p, 0x100000);
         p.push_back(1);
         p.push_back(2);
         return build_link_frame(0, kSysWrite, p, true);
     }(),
     1},
    {"unknown_sys_subtype", build_link_frame(0, 42, Bytes{1, 2}, true), 0},
    {"setoptions_not_answered", build_link_frame(0, kSysSetOptions, Bytes{1}, true), 0},
    {"unknown_type", build_link_frame(7, 1, Bytes{}, true), 0},
    {"erase_past_flash", build_link_frame(0, kSysEraseFlash, Bytes{0x01, 0x00, 0x08, 0x00}, true), 1},
    {"flashdata_short", build_link_frame(0, kSysFlashData, Bytes{1, 2, 3}, true), 1},
    {"startbios_bad_mode", build_link_frame(0, kSysStartBios, Bytes{7}, true), 1},
};

class BoardSerialBadInput : public ::testing::TestWithParam<BadInput> {};

TEST_P(BoardSerialBadInput, StaysUpAndAnswersTheNextRequest)
{
    const BadInput &c = GetParam();
    SerialBoard b(serial_config(BoardPhase::pilot));
    ASSERT_TRUE(b.host);
    Bytes before(16);
    auto snapshot = [&] {
        return b.board->with_firmware([](BoardFirmware &fw) {
            Bytes m;
            for (uint32_t a = 0x80000; a < 0x80010; ++a)
                m.push_back(fw.board().peek(a));
            return m;
        });
    };
    before = snapshot();
    b.host->write_bytes(c.wire);
    auto fence = b.host->request(kLinkSys, kSysNoop);
    ASSERT_TRUE(fence && fence->ack());
    int naks = 0;
    for (const Frame &f : b.host->others) {
        EXPECT_TRUE(f.nak()) << describe(f);
        naks += f.nak();
    }
    EXPECT_EQ(naks, c.naks);
    EXPECT_EQ(snapshot(), before) << "bad input writes nothing";
    EXPECT_EQ(b.phase(), BoardPhase::pilot);
}

INSTANTIATE_TEST_SUITE_P(Cases, BoardSerialBadInput, ::testing::ValuesIn(kBadInput),
                         [](const auto &i) { return std::string(i.param.name); });

// Power off and on: RAM and the debug tag are lost, flash stays, the board is cold again
// and answers no frames.
TEST(BoardSerial, PowerCycleLosesRamAndTag)
{
    SerialBoard b(serial_config(BoardPhase::bios));
    ASSERT_TRUE(b.host);
    ASSERT_TRUE(b.host->request(kLinkSys, kSysWrite, memory_payload(0, 0x80010, 2, 0, {0xAB, 0xCD})));
    ASSERT_TRUE(b.host->request(kLinkSys, kSysWrite, memory_payload(0, 0x00010, 1, 0, {0x5A})));
    ASSERT_TRUE(b.host->request(kLinkDbg, kDbgSetDebugTag, {0x21, 0x43}));
    b.board->with_firmware([](BoardFirmware &fw) { fw.power_cycle(); });
    auto state = b.board->with_firmware([](BoardFirmware &fw) {
        return std::make_tuple(fw.board().peek(0x80010), fw.board().peek(0x00010), fw.debug_tag(), fw.phase());
    });
    EXPECT_EQ(std::get<0>(state), 0x00);
    EXPECT_EQ(std::get<1>(state), 0x5A);
    EXPECT_EQ(std::get<2>(state), 0xFFFF);
    EXPECT_EQ(std::get<3>(state), BoardPhase::cold);
    size_t before = b.raw_bytes();
    Bytes noop = build_link_frame(kLinkSys, kSysNoop, Bytes{}, true);
    b.host->write_bytes(noop);
    ASSERT_TRUE(b.taken(before + noop.size()));
    EXPECT_TRUE(b.host->pending().empty());
}

// Paced: the board takes the line's bytes no faster than the line carries them, a few at a
// time; the exchange itself is unchanged.
TEST(BoardSerial, PacedLineDeliversInSmallRuns)
{
    StandInConfig c = serial_config(BoardPhase::pilot);
    c.paced = true;
    SerialBoard b(c, 460800);
    ASSERT_TRUE(b.host);
    Bytes data(600, 0x11);
    auto w = b.host->request(kLinkSys, kSysWrite, memory_payload(0, 0x80000, uint16_t(data.size()), 0, data));
    ASSERT_TRUE(w && w->ack());
    auto runs = b.board->with_firmware([](BoardFirmware &fw) {
        std::vector<size_t> sizes;
        for (const auto &r : fw.raw())
            sizes.push_back(r.bytes.size());
        return sizes;
    });
    EXPECT_GT(runs.size(), 9u);
    for (size_t n : runs)
        EXPECT_LE(n, 64u);
}

TEST(BoardSerial, StopEndsTheThreadAtOnceWhileAProgramRuns)
{
    StandInConfig c = serial_config(BoardPhase::bios);
    auto board = std::make_unique<BoardStandIn>(c);
    Program loop = assemble("spin: jr spin\n");
    ASSERT_TRUE(loop.errors.empty()) << loop.errors;
    ASSERT_TRUE(board->with_firmware([&](BoardFirmware &fw) { return fw.board().load(0, loop.bytes); }));
    std::string error;
    ASSERT_TRUE(board->start(error)) << error;
    auto host = open_serial(*board, 115200);
    ASSERT_TRUE(host);
    ASSERT_TRUE(host->request(kLinkDbg, kDbgRunProgram));
    ASSERT_TRUE(board->with_firmware([](BoardFirmware &fw) { return fw.running(); }));
    auto stopped = std::async(std::launch::async, [&] { board->stop(); });
    EXPECT_EQ(stopped.wait_for(c.wait_timeout), std::future_status::ready);
}

} // namespace
