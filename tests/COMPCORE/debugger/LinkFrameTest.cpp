// The target link's frame codec, pinned by fixed vectors: the two-sum check with end-around
// carry, whole frames for both link kinds, the serial escaping, the message names and the CRC
// of the ID block.
#include "debugger/LinkFrame.h"

#include "AsmTestSupport.h"

#include <gtest/gtest.h>

#include <ostream>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::string hex(const Bytes &b) { return asm_hex(b); }

struct CheckCase {
    const char *name;
    Bytes bytes;
    uint16_t start;
    uint16_t check;
};
void PrintTo(const CheckCase &c, std::ostream *os) { *os << c.name; }

const CheckCase kChecks[] = {
    {"one_two_three", {0x01, 0x02, 0x03}, 0x0000, 0x060A},
    {"nothing", {}, 0x0000, 0x0000},
    {"a_carries_around", {0x80, 0x80}, 0x0000, 0x0181},
    {"both_saturate", {0xFF, 0xFF}, 0x0000, 0xFFFF},
    {"both_carry_around", {0xF0, 0x20}, 0x0000, 0x1102},
    {"pilot_start_state", {0x01}, 0xCCCC, 0xCD9A},
};

class Check : public ::testing::TestWithParam<CheckCase> {};

TEST_P(Check, Value)
{
    const CheckCase &c = GetParam();
    EXPECT_EQ(ComputeCheck(c.bytes, c.start), c.check);
}

INSTANTIATE_TEST_SUITE_P(Vectors, Check, ::testing::ValuesIn(kChecks),
                         [](const auto &i) { return std::string(i.param.name); });

// A running check over two pieces equals the check over both at once.
TEST(Check, RunsOnFromAState)
{
    Bytes all = {0x10, 0xF7, 0x7E, 0x00, 0xFF, 0x31};
    uint16_t first = ComputeCheck(std::span<const uint8_t>(all.data(), 2));
    EXPECT_EQ(ComputeCheck(std::span<const uint8_t>(all.data() + 2, 4), first), ComputeCheck(all));
}

struct FrameCase {
    const char *name;
    uint8_t type, subtype;
    Bytes payload;
    bool serial;
    const char *wire;
};
void PrintTo(const FrameCase &c, std::ostream *os) { *os << c.name; }

const FrameCase kFrames[] = {
    {"noop_serial", 0, 1, {}, true, "7E 02 00 00 01 00 00 0F 03 36 15"},
    {"noop_tcp", 0, 1, {}, false, "02 00 00 01 00 00 0F 03 36 15"},
    {"ack_with_payload_tcp", 1, 0x98, {0x01, 0x02, 0x03}, false,
     "02 00 01 98 03 00 DF 9E 01 02 03 DC 23"},
    {"flag_and_escape_in_payload", 1, 21, {0x7E, 0x7D}, true,
     "7E 02 00 01 15 02 00 53 1A 7D 5E 7D 5D D1 83"},
};

class Frames : public ::testing::TestWithParam<FrameCase> {};

TEST_P(Frames, Wire)
{
    const FrameCase &c = GetParam();
    EXPECT_EQ(hex(build_link_frame(c.type, c.subtype, c.payload, c.serial)), c.wire);
}

INSTANTIATE_TEST_SUITE_P(Vectors, Frames, ::testing::ValuesIn(kFrames),
                         [](const auto &i) { return std::string(i.param.name); });

// Whatever the payload, the serial form holds exactly one flag, never a bare 0x7D at its end,
// and undoing the escapes gives the TCP form back.
TEST(Frames, SerialFormUnescapesToTheStreamForm)
{
    for (int v = 0; v < 256; ++v) {
        Bytes payload = {uint8_t(v), uint8_t(255 - v), 0x7E};
        Bytes serial = build_link_frame(1, 21, payload, true);
        Bytes plain = build_link_frame(1, 21, payload, false);
        ASSERT_EQ(serial[0], kLinkFlag);
        Bytes undone;
        bool escape = false;
        for (size_t i = 1; i < serial.size(); ++i) {
            ASSERT_NE(serial[i], kLinkFlag) << "value " << v;
            if (serial[i] == kLinkEscape && !escape) {
                escape = true;
                continue;
            }
            undone.push_back(escape ? uint8_t(serial[i] ^ kLinkEscapeXor) : serial[i]);
            escape = false;
        }
        EXPECT_FALSE(escape) << "value " << v;
        EXPECT_EQ(hex(undone), hex(plain)) << "value " << v;
    }
}

TEST(Frames, HeaderCarriesLengthAndCheck)
{
    auto h = link_header(1, 0x91, 27);
    EXPECT_EQ(hex(Bytes(h.begin(), h.end())).substr(0, 17), "02 00 01 91 1B 00");
    uint16_t check = ComputeCheck(std::span<const uint8_t>(h.data(), 6));
    EXPECT_EQ(h[6], uint8_t(check));
    EXPECT_EQ(h[7], uint8_t(check >> 8));
}

struct NameCase {
    const char *name;
    uint8_t type, subtype;
    const char *text; // null: no name in the table
};
void PrintTo(const NameCase &c, std::ostream *os) { *os << c.name; }

const NameCase kNames[] = {
    {"sys_nak", 0, 0, "NAK"},
    {"sys_flashdata", 0, 10, "FLASHDATA"},
    {"dbg_regdata_ack", 1, 0x91, "REGDATA"},
    {"dbg_settraceflags_nak", 1, 0x5D, "SETTRACEFLAGS"},
    {"dbg_trace_packet_unnamed", 1, 28, nullptr},
    {"sys_text_unnamed", 0, 63, nullptr},
    {"other_type", 2, 1, nullptr},
};

class Names : public ::testing::TestWithParam<NameCase> {};

TEST_P(Names, Table)
{
    const NameCase &c = GetParam();
    const char *got = link_subtype_name(c.type, c.subtype);
    if (!c.text)
        EXPECT_EQ(got, nullptr);
    else
        EXPECT_STREQ(got, c.text);
}

INSTANTIATE_TEST_SUITE_P(Table, Names, ::testing::ValuesIn(kNames),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(Crc, XmodemCheckValue)
{
    const char *text = "123456789";
    EXPECT_EQ(crc16_xmodem(std::span<const uint8_t>(reinterpret_cast<const uint8_t *>(text), 9)), 0x31C3);
    EXPECT_EQ(crc16_xmodem({}), 0x0000);
}

TEST(IdBlock, SealedBlockHoldsMarkerAndCrc)
{
    std::array<uint8_t, kIdBlockSize> block{};
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = uint8_t(i * 13);
    seal_id_block(block);
    EXPECT_TRUE(id_block_marker_ok(block));
    EXPECT_EQ(hex(Bytes(block.begin() + 126, block.end())), "55 AA 55 AA 55 AA");
    EXPECT_EQ(block[124] | block[125] << 8, id_block_crc(block));
}

// The CRC leaves out byte 115 and counts bytes 124-125 as zero; every other byte counts.
TEST(IdBlock, CrcCoversTheRightBytes)
{
    std::array<uint8_t, kIdBlockSize> block{};
    seal_id_block(block);
    uint16_t sealed = id_block_crc(block);
    auto changed = [&](size_t at) {
        auto copy = block;
        copy[at] ^= 0x5A;
        return id_block_crc(copy) != sealed;
    };
    EXPECT_FALSE(changed(115));
    EXPECT_FALSE(changed(124));
    EXPECT_FALSE(changed(125));
    EXPECT_TRUE(changed(0));
    EXPECT_TRUE(changed(114));
    EXPECT_TRUE(changed(116));
    EXPECT_TRUE(changed(131));
}

TEST(IdBlock, MarkerMismatchIsSeen)
{
    std::array<uint8_t, kIdBlockSize> block{};
    seal_id_block(block);
    for (size_t at = 126; at < 132; ++at) {
        auto copy = block;
        copy[at] ^= 0xFF;
        EXPECT_FALSE(id_block_marker_ok(copy)) << "byte " << at;
    }
}

} // namespace
