// The communication settings record: its defaults, the bounded copy of its texts, and the
// comparison that decides whether an open link can be kept.
#include "debugger/TCOptions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

TEST(CommSettings, DefaultsAreThoseOfAProjectWithoutComm)
{
    TCOptionsType r;
    EXPECT_EQ(r.serial_response_timeout, 200u);
    EXPECT_EQ(r.tcp_response_timeout, 8000u);
    EXPECT_EQ(r.serial_poll_period, 3000u);
    EXPECT_EQ(r.tcp_poll_period, 30000u);
    EXPECT_EQ(r.serial_retry_count, 10u);
    EXPECT_EQ(r.tcp_retry_count, 0u);
    EXPECT_EQ(r.com_port, 1u);
    EXPECT_EQ(r.baud_rate, 115200u);
    EXPECT_EQ(r.stop_bits, 2u);
    EXPECT_EQ(r.max_download_baud, 460800u);
    EXPECT_EQ(r.disable_baud_negotiation, 0u);
    EXPECT_EQ(r.pilot_bios_address, 16384u);
    EXPECT_EQ(r.flash_erase_timeout, 10000u);
    EXPECT_EQ(r.link_kind, 0u);
    EXPECT_EQ(r.verify_dsr, 1u);
    EXPECT_EQ(comm_text(r.network_address), "");
    EXPECT_EQ(r.control_port, 0u);
    EXPECT_EQ(comm_text(r.controller_name), "");
}

TCOptionsType filled()
{
    TCOptionsType r;
    r.serial_response_timeout = 1;
    r.tcp_response_timeout = 2;
    r.serial_poll_period = 3;
    r.tcp_poll_period = 4;
    r.serial_retry_count = 5;
    r.tcp_retry_count = 6;
    r.com_port = 7;
    r.baud_rate = 8;
    r.dtr_control = 9;
    r.rts_control = 10;
    r.stop_bits = 11;
    r.max_download_baud = 12;
    r.disable_baud_negotiation = 13;
    r.pilot_bios_address = 14;
    r.flash_erase_timeout = 15;
    r.link_kind = 16;
    r.verify_dsr = 17;
    EXPECT_TRUE(set_comm_text(r.network_address, "10.0.0.18"));
    r.control_port = 19;
    EXPECT_TRUE(set_comm_text(r.controller_name, "board twenty"));
    return r;
}

TEST(CommSettings, CopyTakesEveryField)
{
    TCOptionsType from = filled();
    TCOptionsType to;
    copy_comm_settings(to, from);
    EXPECT_EQ(to, from);
}

TEST(CommSettings, CopyOntoItselfChangesNothing)
{
    TCOptionsType r = filled();
    // An unterminated name: a copy would terminate it, a self-copy must leave it alone.
    std::memset(r.controller_name.data(), 'n', r.controller_name.size());
    TCOptionsType before = r;
    copy_comm_settings(r, r);
    EXPECT_EQ(r, before);
}

// Texts that fill their whole field without a NUL are cut to 15 and 255 characters in the copy
// and end in a NUL; nothing behind the field is read or written.
TEST(CommSettings, CopyBoundsAndTerminatesUnterminatedTexts)
{
    TCOptionsType from = filled();
    std::memset(from.network_address.data(), '1', from.network_address.size());
    std::memset(from.controller_name.data(), 'x', from.controller_name.size());
    TCOptionsType to;
    copy_comm_settings(to, from);
    EXPECT_EQ(comm_text(to.network_address), std::string(15, '1'));
    EXPECT_EQ(to.network_address.back(), '\0');
    EXPECT_EQ(comm_text(to.controller_name), std::string(255, 'x'));
    EXPECT_EQ(to.controller_name.back(), '\0');
    EXPECT_EQ(to.control_port, 19u);
}

// A shorter text replaces a longer one whole: no tail of the old text stays behind its NUL.
TEST(CommSettings, CopyLeavesNoTailOfTheOldText)
{
    TCOptionsType to;
    ASSERT_TRUE(set_comm_text(to.controller_name, "a long old name"));
    TCOptionsType from;
    ASSERT_TRUE(set_comm_text(from.controller_name, "new"));
    copy_comm_settings(to, from);
    EXPECT_EQ(to, from);
}

TEST(CommSettings, TextsThatDoNotFitAreRefusedNotCut)
{
    TCOptionsType r;
    ASSERT_TRUE(set_comm_text(r.network_address, "1.2.3.4"));
    EXPECT_FALSE(set_comm_text(r.network_address, "123.123.123.1234"));
    EXPECT_FALSE(set_comm_text(r.network_address, std::string("1.2\0.3", 6)));
    EXPECT_EQ(comm_text(r.network_address), "1.2.3.4");
    EXPECT_TRUE(set_comm_text(r.network_address, "123.123.123.123"));
    EXPECT_TRUE(set_comm_text(r.controller_name, std::string(255, 'c')));
    EXPECT_FALSE(set_comm_text(r.controller_name, std::string(256, 'c')));
}

struct SameLinkCase {
    const char *name;
    uint32_t link_kind;
    std::function<void(TCOptionsType &)> change;
    bool same;
};

const SameLinkCase kSameLinkCases[] = {
    {"serial_unchanged", 0, [](TCOptionsType &) {}, true},
    {"serial_com_port", 0, [](TCOptionsType &r) { r.com_port = 2; }, false},
    {"serial_baud_rate", 0, [](TCOptionsType &r) { r.baud_rate = 57600; }, false},
    {"serial_dtr", 0, [](TCOptionsType &r) { r.dtr_control = 1; }, false},
    {"serial_rts", 0, [](TCOptionsType &r) { r.rts_control = 1; }, false},
    {"serial_stop_bits", 0, [](TCOptionsType &r) { r.stop_bits = 0; }, false},
    {"serial_ignores_timeout", 0, [](TCOptionsType &r) { r.serial_response_timeout = 9; }, true},
    {"serial_ignores_address", 0, [](TCOptionsType &r) { (void)set_comm_text(r.network_address, "1.1.1.1"); }, true},
    {"serial_to_tcp", 0, [](TCOptionsType &r) { r.link_kind = 1; }, false},
    {"tcp_unchanged", 1, [](TCOptionsType &) {}, true},
    {"tcp_address", 1, [](TCOptionsType &r) { (void)set_comm_text(r.network_address, "10.0.0.3"); }, false},
    {"tcp_port", 1, [](TCOptionsType &r) { r.control_port = 4243; }, false},
    {"tcp_name", 1, [](TCOptionsType &r) { (void)set_comm_text(r.controller_name, "other"); }, false},
    {"tcp_ignores_com_port", 1, [](TCOptionsType &r) { r.com_port = 4; }, true},
    {"tcp_ignores_baud_rate", 1, [](TCOptionsType &r) { r.baud_rate = 2400; }, true},
    {"tcp_any_non_zero_kind", 1, [](TCOptionsType &r) { r.link_kind = 2; }, true},
    {"tcp_to_serial", 1, [](TCOptionsType &r) { r.link_kind = 0; }, false},
};

class CommSettingsSameLink : public ::testing::TestWithParam<SameLinkCase> {};

TEST_P(CommSettingsSameLink, Decides)
{
    const SameLinkCase &c = GetParam();
    TCOptionsType a;
    a.link_kind = c.link_kind;
    ASSERT_TRUE(set_comm_text(a.network_address, "10.0.0.2"));
    a.control_port = 4242;
    ASSERT_TRUE(set_comm_text(a.controller_name, "bench"));
    TCOptionsType b = a;
    c.change(b);
    EXPECT_EQ(comm_settings_same_link(a, b), c.same);
    EXPECT_EQ(comm_settings_same_link(b, a), c.same);
}

INSTANTIATE_TEST_SUITE_P(All, CommSettingsSameLink, ::testing::ValuesIn(kSameLinkCases),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
