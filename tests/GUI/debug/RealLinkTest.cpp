// The IDE's poll timer on the real target link and the board stand-in: the polls reach the
// board over a pseudo-terminal and over loopback TCP, and a board that stops answering ends
// the run the way a link error does.
#include "GuiHarness.h"

#include <QLabel>

#include <algorithm>
#include <memory>

#include "BoardStandIn.h"
#include "driver/CC_GO.h"
#include "debugger/LinkFrame.h"
#include "SeamDoubles.h"
#include "link/TC.h"
#include "link/TSerialConnection.h"
#include "link/TcRequests.h"
#include "link/TcTargetOperations.h"
#include "settings/guiKXPreferences.h"
#include "settings/guiProjects.h"

namespace {

constexpr uint32_t kComPort = 11;

class RealLink : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        ShutdownLink();
        install_target_link();
        vsim::StandInConfig config;
        config.firmware.initial_phase = vsim::BoardPhase::bios;
        config.wait_timeout = std::chrono::milliseconds(3000);
        m_board = std::make_unique<vsim::BoardStandIn>(config);
        std::string error;
        ASSERT_TRUE(m_board->start(error)) << error;
        SetSerialDevice(kComPort, m_board->pty_path());
    }
    void TearDown() override
    {
        ShutdownLink();
        m_board.reset();
        SetSerialDevice(kComPort, "");
        GuiTest::TearDown();
        install_seam_doubles();
    }

    // The link open to the board, a program running with the poll timer on.
    void Run(bool tcp, uint32_t period)
    {
        TCOptionsType o;
        o.com_port = kComPort;
        o.serial_response_timeout = 300;
        o.tcp_response_timeout = 300;
        o.serial_retry_count = 0;
        o.tcp_retry_count = 0;
        o.verify_dsr = 0;
        o.serial_poll_period = period;
        o.tcp_poll_period = period;
        if (tcp) {
            o.link_kind = 1;
            ASSERT_TRUE(set_comm_text(o.network_address, "127.0.0.1"));
            o.control_port = m_board->tcp_port();
        }
        target_operations().SetCommSettings(o);
        TcOpenConnection(o, ReaderMode::threaded);
        TcRegisterHandlers();
        gPollEnabled = true;
        set_compile_mode(0);
        Main().SetDebugMode(2);
        ASSERT_TRUE(Main().IsPolling());
    }

    // The frames of one kind the board has received so far.
    size_t Received(uint8_t type, uint8_t subtype)
    {
        return m_board->with_firmware([&](vsim::BoardFirmware &f) {
            return size_t(std::count_if(f.frames().begin(), f.frames().end(), [&](const auto &r) {
                return r.type == type && (r.subtype & kLinkSubtypeMask) == subtype;
            }));
        });
    }
    bool BoardReceives(uint8_t type, uint8_t subtype, size_t count)
    {
        return m_board->wait_until([&](const vsim::BoardFirmware &f) {
            return size_t(std::count_if(f.frames().begin(), f.frames().end(), [&](const auto &r) {
                       return r.type == type && (r.subtype & kLinkSubtypeMask) == subtype;
                   })) >= count;
        });
    }

    std::unique_ptr<vsim::BoardStandIn> m_board;
};

struct PollCase {
    const char *name;
    bool tcp;
    uint32_t period;
    int ticks_per_poll;
    uint8_t type, subtype; // what a poll sends
};

const PollCase kPolls[] = {
    {"SerialSendsSysNoopEveryTenthTick", false, 1000, 10, kLinkSys, kSysNoop},
    {"TcpSendsDbgNoopEveryTwentiethTick", true, 2000, 20, kLinkDbg, kDbgNoop},
};

class RealLinkPolls : public RealLink, public ::testing::WithParamInterface<PollCase> {};

// Ticks are the handler called directly; the board's log says what reached it.
TEST_P(RealLinkPolls, ReachTheBoard)
{
    const PollCase &c = GetParam();
    Run(c.tcp, c.period);
    const size_t before = Received(c.type, c.subtype);
    for (int tick = 1; tick < c.ticks_per_poll; ++tick)
        Main().tmrPollTimer();
    EXPECT_EQ(Received(c.type, c.subtype), before) << "no poll before the period is up";
    Main().tmrPollTimer();
    EXPECT_TRUE(BoardReceives(c.type, c.subtype, before + 1));
    for (int tick = 0; tick < c.ticks_per_poll; ++tick)
        Main().tmrPollTimer();
    EXPECT_TRUE(BoardReceives(c.type, c.subtype, before + 2));
    EXPECT_TRUE(Main().IsPolling());
    EXPECT_EQ(Main().RunState(), 2);
    EXPECT_EQ(Main().StatusPanel(5)->text(), "Run Polled");
    EXPECT_TRUE(m_boxes.shown.empty()) << m_boxes.shown[0].text;
}

INSTANTIATE_TEST_SUITE_P(All, RealLinkPolls, ::testing::ValuesIn(kPolls),
                         [](const auto &i) { return std::string(i.param.name); });

// A board that is gone: the poll fails, the failure is shown once, debug mode is left, the
// link is closed and the timer stays off.
TEST_F(RealLink, ABoardThatStopsAnsweringEndsTheRunOnce)
{
    Run(false, 0);
    Main().tmrPollTimer();
    ASSERT_TRUE(BoardReceives(kLinkSys, kSysNoop, 1));
    m_board->stop();
    for (int tick = 0; tick < 5 && Main().IsPolling(); ++tick)
        Main().tmrPollTimer();
    EXPECT_FALSE(Main().IsPolling());
    EXPECT_EQ(Main().RunState(), 0);
    EXPECT_EQ(Main().StatusPanel(5)->text(), "Edit");
    EXPECT_FALSE(TcIsConnectionOpen());
    ASSERT_EQ(m_boxes.shown.size(), 1u) << "shown once";
    Main().tmrPollTimer();
    EXPECT_EQ(m_boxes.shown.size(), 1u);
}

} // namespace
