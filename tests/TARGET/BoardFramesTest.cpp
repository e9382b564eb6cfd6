// The stand-in's own frame readers: good frames, noise, lone escape and flag bytes, bad
// checks, over-long announced lengths, frames split anywhere.
#include "BoardFrames.h"
#include "debugger/LinkFrame.h"

#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using vsim::LinkMessage;

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes serial(uint8_t type, uint8_t subtype, Bytes payload = {})
{
    return build_link_frame(type, subtype, payload, true);
}
Bytes stream(uint8_t type, uint8_t subtype, Bytes payload = {})
{
    return build_link_frame(type, subtype, payload, false);
}

// Serial frame whose header announces `length` with a header check that holds.
Bytes announcing(uint16_t length)
{
    auto h = link_header(0, 3, length);
    Bytes out{kLinkFlag};
    escape_link_bytes(h, out);
    return out;
}

struct Seen {
    bool valid;
    uint8_t subtype;
    Bytes payload;
};

std::vector<Seen> read_serial(const Bytes &wire)
{
    vsim::SerialFrameReader r;
    std::vector<Seen> out;
    for (uint8_t b : wire)
        if (auto m = r.feed(b))
            out.push_back({m->valid, m->subtype, m->payload});
    return out;
}

struct SerialCase {
    const char *name;
    Bytes wire;
    std::vector<Seen> frames;
};
void PrintTo(const SerialCase &c, std::ostream *os) { *os << c.name; }

const Bytes kNoop = serial(0, 1);
const Bytes kEscaped = serial(1, 21, {0x7E, 0x7D, 0x20});

Bytes spoiled_frame_check()
{
    Bytes f = serial(0, 2, {1, 2, 3});
    f.back() ^= 0x01;
    return f;
}
Bytes spoiled_header_check()
{
    Bytes f = serial(0, 2, {1, 2, 3});
    f[7] ^= 0x01;
    return f;
}

const SerialCase kSerial[] = {
    {"good", kNoop, {{true, 1, {}}}},
    {"escaped_payload", kEscaped, {{true, 21, {0x7E, 0x7D, 0x20}}}},
    {"noise_before", cat({{0x00, 0x55, 0x7D, 0xAA}, kNoop}), {{true, 1, {}}}},
    {"lone_escape_before_flag", cat({{0x7D}, kNoop}), {{true, 1, {}}}},
    {"lone_flags", cat({{0x7E, 0x7E, 0x7E}, kNoop}), {{true, 1, {}}}},
    {"flag_restarts_a_frame", cat({Bytes(kEscaped.begin(), kEscaped.begin() + 6), kNoop}), {{true, 1, {}}}},
    {"escape_then_flag_restarts", cat({Bytes(kNoop.begin(), kNoop.begin() + 4), {0x7D}, kNoop}),
     {{true, 1, {}}}},
    {"bad_frame_check", spoiled_frame_check(), {{false, 2, {1, 2, 3}}}},
    {"bad_header_check_then_good", cat({spoiled_header_check(), kNoop}), {{false, 2, {}}, {true, 1, {}}}},
    {"length_over_limit", cat({announcing(32769), kNoop}), {{false, 3, {}}, {true, 1, {}}}},
    {"two_back_to_back", cat({kNoop, kEscaped}), {{true, 1, {}}, {true, 21, {0x7E, 0x7D, 0x20}}}},
};

class SerialReader : public ::testing::TestWithParam<SerialCase> {};

TEST_P(SerialReader, Frames)
{
    const SerialCase &c = GetParam();
    auto got = read_serial(c.wire);
    ASSERT_EQ(got.size(), c.frames.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].valid, c.frames[i].valid) << "frame " << i;
        EXPECT_EQ(got[i].subtype, c.frames[i].subtype) << "frame " << i;
        EXPECT_EQ(got[i].payload, c.frames[i].payload) << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SerialReader, ::testing::ValuesIn(kSerial),
                         [](const auto &i) { return std::string(i.param.name); });

// A frame announcing the largest payload is read to its end and no further: the next frame
// is the next frame.
TEST(SerialReader, LargestPayloadThenNext)
{
    Bytes big(kLinkMaxReceivePayload, 0x7E);
    auto got = read_serial(cat({serial(0, 3, big), kNoop}));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[0].valid);
    EXPECT_EQ(got[0].payload.size(), kLinkMaxReceivePayload);
    EXPECT_EQ(got[1].subtype, 1);
}

TEST(SerialReader, InsideFrameOnlyAfterHeaderHolds)
{
    vsim::SerialFrameReader r;
    Bytes f = serial(0, 3, {9, 9});
    for (size_t i = 0; i < 9; ++i)
        (void)r.feed(f[i]);
    EXPECT_TRUE(r.inside_frame());
    r.reset();
    EXPECT_FALSE(r.inside_frame());
    (void)r.feed(kLinkFlag);
    EXPECT_FALSE(r.inside_frame());
}

std::vector<LinkMessage> read_stream_split(const Bytes &wire, size_t piece)
{
    vsim::StreamFrameReader r;
    std::vector<LinkMessage> out;
    for (size_t at = 0; at < wire.size(); at += piece) {
        size_t n = std::min(piece, wire.size() - at);
        for (auto &m : r.feed(std::span<const uint8_t>(wire.data() + at, n)))
            out.push_back(std::move(m));
    }
    return out;
}

TEST(StreamReader, BackToBackFramesSplitAnywhere)
{
    Bytes wire = cat({stream(0, 1), stream(1, 0x91, {0x7E, 1, 2}), stream(0, 2, Bytes(300, 0xAB))});
    for (size_t piece = 1; piece <= wire.size(); ++piece) {
        auto got = read_stream_split(wire, piece);
        ASSERT_EQ(got.size(), 3u) << "pieces of " << piece;
        EXPECT_TRUE(got[0].valid && got[1].valid && got[2].valid);
        EXPECT_EQ(got[1].subtype, 0x91);
        EXPECT_EQ(got[1].payload, (Bytes{0x7E, 1, 2}));
        EXPECT_EQ(got[2].payload.size(), 300u);
    }
}

// Noise is reported once as a bad frame; the reader slides back into step on the next header.
TEST(StreamReader, NoiseReportedOnceThenInStep)
{
    Bytes wire = cat({{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99}, stream(0, 1)});
    auto got = read_stream_split(wire, wire.size());
    ASSERT_EQ(got.size(), 2u);
    EXPECT_FALSE(got[0].valid);
    EXPECT_TRUE(got[1].valid);
    EXPECT_EQ(got[1].subtype, 1);
}

TEST(StreamReader, BadFrameCheckIsReportedAndSkipped)
{
    Bytes bad = stream(0, 2, {1, 2, 3});
    bad.back() ^= 0x40;
    auto got = read_stream_split(cat({bad, stream(0, 1)}), 5);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_FALSE(got[0].valid);
    EXPECT_EQ(got[0].payload, (Bytes{1, 2, 3}));
    EXPECT_TRUE(got[1].valid);
}

TEST(StreamReader, PartialFrameWaitsForTheRest)
{
    vsim::StreamFrameReader r;
    Bytes f = stream(0, 3, Bytes(40, 1));
    EXPECT_TRUE(r.feed(std::span<const uint8_t>(f.data(), 20)).empty());
    EXPECT_EQ(r.pending(), 20u);
    EXPECT_EQ(r.feed(std::span<const uint8_t>(f.data() + 20, f.size() - 20)).size(), 1u);
    EXPECT_EQ(r.pending(), 0u);
}

} // namespace
