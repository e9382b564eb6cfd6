// The host's frame reader on both links: good frames, spoiled ones (checks, lengths, flags
// that cut a frame, a lone escape), bytes between frames, the drop of a partly received
// answer, and random and mutated byte streams.
#include "debugger/LinkFrame.h"

#include "AsmTestSupport.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Event = LinkFrameReader::Event;

Bytes frame(uint8_t type, uint8_t subtype, const Bytes &payload, bool serial)
{
    return build_link_frame(type, subtype, payload, serial);
}
Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes first(const Bytes &b, size_t n) { return Bytes(b.begin(), b.begin() + long(n)); }
Bytes spoiled(Bytes b, size_t at)
{
    b.at(at) ^= 0x01;
    return b;
}
// A serial header (with flag) that announces `length` payload bytes, its header check right.
Bytes header_announcing(size_t length, bool serial)
{
    auto h = link_header(1, 21, uint16_t(length));
    Bytes out;
    if (serial)
        out.push_back(kLinkFlag);
    escape_link_bytes(h, out);
    if (!serial)
        out.assign(h.begin(), h.end());
    return out;
}

// What the reader reports for a stream, one text per frame that ended.
std::vector<std::string> read_all(LinkFrameReader &r, const Bytes &stream)
{
    std::vector<std::string> out;
    for (uint8_t b : stream) {
        Event e = r.take(b);
        if (e == Event::none)
            continue;
        std::string s = e == Event::good ? "good " : "bad ";
        s += std::to_string(r.type()) + "/" + std::to_string(r.subtype());
        if (e == Event::good)
            s += " [" + asm_hex(Bytes(r.payload().begin(), r.payload().end())) + "]";
        out.push_back(s);
    }
    return out;
}

struct ReadCase {
    const char *name;
    bool serial;
    Bytes stream;
    std::vector<std::string> frames;
};
void PrintTo(const ReadCase &c, std::ostream *os) { *os << c.name; }

const Bytes kA = frame(1, 21, {0x41, 0x7E, 0x7D}, true);
const Bytes kB = frame(0, 0x81, {}, true);
const Bytes kTa = frame(1, 21, {0x41, 0x7E, 0x7D}, false);
const Bytes kTb = frame(0, 0x81, {}, false);

const ReadCase kReadCases[] = {
    {"serial_escaped_payload", true, kA, {"good 1/21 [41 7E 7D]"}},
    {"serial_empty_payload", true, kB, {"good 0/129 []"}},
    {"serial_two_frames", true, cat({kA, kB}), {"good 1/21 [41 7E 7D]", "good 0/129 []"}},
    {"serial_bytes_between_frames_are_skipped", true,
     cat({{0x11, 0x7D, 0x22}, kA, {0x00, 0x7D}, kB}),
     {"good 1/21 [41 7E 7D]", "good 0/129 []"}},
    {"serial_flag_inside_a_header_restarts", true, cat({first(kA, 5), kB}),
     {"bad 1/21", "good 0/129 []"}},
    {"serial_flag_inside_a_payload_restarts", true, cat({first(kA, 11), kB}),
     {"bad 1/21", "good 0/129 []"}},
    {"serial_lone_escape_at_the_end", true, cat({first(kA, kA.size() - 2), {0x7D}, kB}),
     {"bad 1/21", "good 0/129 []"}},
    {"serial_bad_frame_check", true, cat({spoiled(kA, kA.size() - 1), kB}),
     {"bad 1/21", "good 0/129 []"}},
    {"serial_bad_payload_byte", true, cat({spoiled(kA, 9), kB}), {"bad 1/21", "good 0/129 []"}},
    {"serial_bad_header_check", true, cat({spoiled(kA, 7), kB}), {"bad 1/21", "good 0/129 []"}},
    {"serial_length_over_the_limit", true, cat({header_announcing(32769, true), {1, 2, 3}, kB}),
     {"bad 1/21", "good 0/129 []"}},
    {"serial_frame_cut_at_the_end", true, first(kA, 9), {}},
    {"tcp_one_frame", false, kTa, {"good 1/21 [41 7E 7D]"}},
    {"tcp_empty_payload_is_ten_bytes", false, kTb, {"good 0/129 []"}},
    {"tcp_frames_back_to_back", false, cat({kTa, kTb, kTa}),
     {"good 1/21 [41 7E 7D]", "good 0/129 []", "good 1/21 [41 7E 7D]"}},
    {"tcp_bad_frame_check_then_next", false, cat({spoiled(kTa, kTa.size() - 1), kTb}),
     {"bad 1/21", "good 0/129 []"}},
    {"tcp_bad_header_then_version_byte_starts_a_frame", false,
     cat({{0x11, 0x22, 0x01, 0x05, 0x00, 0x00, 0x00, 0x00}, kTb}), {"bad 1/5", "good 0/129 []"}},
    {"tcp_bad_header_then_another_byte_is_dropped", false,
     cat({{0x11, 0x22, 0x01, 0x05, 0x00, 0x00, 0x00, 0x00}, {0x33}, kTb}),
     {"bad 1/5", "good 0/129 []"}},
    {"tcp_length_over_the_limit", false, cat({header_announcing(40000, false), kTb}),
     {"bad 1/21", "good 0/129 []"}},
};

class ReadFrames : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadFrames, Events)
{
    const ReadCase &c = GetParam();
    LinkFrameReader r(c.serial);
    EXPECT_EQ(read_all(r, c.stream), c.frames);
}

INSTANTIATE_TEST_SUITE_P(Streams, ReadFrames, ::testing::ValuesIn(kReadCases),
                         [](const auto &i) { return std::string(i.param.name); });

// The bytes of a frame are recorded as they came on the link: the flag and the escapes on the
// serial link, the plain stream over TCP.
TEST(ReadFrames, RawRecordIsTheFrameAsItCame)
{
    for (bool serial : {true, false}) {
        Bytes f = frame(1, 21, {0x7E, 0x00, 0x7D}, serial);
        LinkFrameReader r(serial);
        Event last = Event::none;
        for (uint8_t b : f)
            last = r.take(b);
        ASSERT_EQ(last, Event::good);
        EXPECT_EQ(asm_hex(Bytes(r.raw().begin(), r.raw().end())), asm_hex(f)) << serial;
    }
}

// A payload of the full 32,768 bytes is read; every single-byte payload round-trips, whatever
// its escapes do to the check bytes.
TEST(ReadFrames, LargestPayloadAndEveryByteValue)
{
    Bytes big(kLinkMaxReceivePayload);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i * 7);
    for (bool serial : {true, false}) {
        LinkFrameReader r(serial);
        auto events = read_all(r, frame(1, 21, big, serial));
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].substr(0, 9), "good 1/21");
        EXPECT_EQ(r.payload().size(), big.size());
        for (int v = 0; v < 256; ++v) {
            Bytes one{uint8_t(v)};
            EXPECT_EQ(read_all(r, frame(0, 2, one, serial)),
                      std::vector<std::string>{"good 0/2 [" + asm_hex(one) + "]"})
                << "value " << v << (serial ? " serial" : " tcp");
        }
    }
}

// A retry forgets the partly received answer: the byte after the drop is lost, nothing is
// reported, and the next frame is read.
TEST(ReadFrames, DropForgetsAPartlyReceivedAnswer)
{
    LinkFrameReader r(true);
    EXPECT_TRUE(read_all(r, first(kA, 10)).empty());
    EXPECT_TRUE(r.in_frame());
    EXPECT_TRUE(r.receiving(1, 21));
    EXPECT_TRUE(r.receiving(1, 0x95)) << "only bits 0-5 of the subtype count";
    EXPECT_FALSE(r.receiving(1, 20));
    EXPECT_FALSE(r.receiving(0, 21));
    r.drop();
    EXPECT_EQ(r.state(), LinkFrameReader::State::drop);
    EXPECT_EQ(read_all(r, cat({Bytes(kA.begin() + 10, kA.end()), kB})),
              std::vector<std::string>{"good 0/129 []"});
}

// A link that goes away in the middle of a frame leaves a bad frame with what its header said.
TEST(ReadFrames, AbandonEndsAPartlyReceivedFrameAsBad)
{
    LinkFrameReader r(false);
    EXPECT_EQ(r.abandon(), Event::none) << "nothing being received";
    read_all(r, first(kTa, 11));
    EXPECT_EQ(r.abandon(), Event::bad);
    EXPECT_EQ(r.type(), 1);
    EXPECT_EQ(r.subtype(), 21);
    EXPECT_FALSE(r.in_frame());
    EXPECT_EQ(read_all(r, kTb), std::vector<std::string>{"good 0/129 []"});
}

TEST(ReadFrames, ReceivingOnlyOnceTheHeaderHeld)
{
    LinkFrameReader r(false);
    read_all(r, first(kTa, 5));
    EXPECT_TRUE(r.in_frame());
    EXPECT_FALSE(r.receiving(1, 21)) << "the header is not complete";
    read_all(r, Bytes(kTa.begin() + 5, kTa.begin() + 9));
    EXPECT_TRUE(r.receiving(1, 21));
}

// Random streams and mutated frame sequences: the reader never fails, never reports more
// payload than the limit, and every frame it calls good is one the codec would have sent.
TEST(ReadFramesFuzz, RandomAndMutatedStreams)
{
    std::mt19937 rng(20240611);
    auto byte = [&] { return uint8_t(rng()); };
    for (bool serial : {true, false}) {
        LinkFrameReader r(serial);
        size_t good = 0, bad = 0;
        auto feed = [&](const Bytes &stream) {
            for (uint8_t b : stream) {
                Event e = r.take(b);
                if (e == Event::bad)
                    ++bad;
                if (e != Event::good)
                    continue;
                ++good;
                ASSERT_LE(r.payload().size(), kLinkMaxReceivePayload);
                Bytes payload(r.payload().begin(), r.payload().end());
                ASSERT_EQ(asm_hex(frame(r.type(), r.subtype(), payload, serial)),
                          asm_hex(Bytes(r.raw().begin(), r.raw().end())));
            }
        };
        for (int round = 0; round < 300; ++round) {
            Bytes noise(rng() % 600);
            for (uint8_t &b : noise)
                b = rng() % 4 == 0 ? (rng() % 2 ? kLinkFlag : kLinkEscape) : byte();
            feed(noise);

            Bytes stream;
            for (int n = int(rng() % 5); n >= 0; --n) {
                Bytes payload(rng() % 300);
                for (uint8_t &b : payload)
                    b = byte();
                Bytes f = frame(uint8_t(rng() % 3), byte(), payload, serial);
                stream.insert(stream.end(), f.begin(), f.end());
            }
            for (int m = int(rng() % 4); m > 0 && !stream.empty(); --m) {
                size_t at = rng() % stream.size();
                switch (rng() % 3) {
                case 0: stream[at] = byte(); break;
                case 1: stream.erase(stream.begin() + long(at)); break;
                default: stream.insert(stream.begin() + long(at), byte()); break;
                }
            }
            feed(stream);
            if (rng() % 7 == 0)
                r.drop();
        }
        EXPECT_GT(good, 100u) << "the mutations left most frames whole";
        EXPECT_GT(bad, 50u);
        // Whatever came before, a clean frame after a reset is read.
        r.reset();
        auto events = read_all(r, frame(1, 21, {1, 2}, serial));
        EXPECT_EQ(events, std::vector<std::string>{"good 1/21 [01 02]"});
    }
}

} // namespace
