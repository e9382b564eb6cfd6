// The MD5 digest against the RFC 1321 test suite, whole and fed in pieces of every size.
#include "linker/MD5.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include <unistd.h>

namespace {

struct Case {
    const char *name;
    const char *message;
    const char *digest;
};
void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

const Case kSuite[] = {
    {"empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message_digest", "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"alphabet", "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"alphanumeric", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"eighty_digits",
     "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

std::string hex(const uint8_t *d)
{
    std::string s;
    char b[3];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(b, sizeof b, "%02x", d[i]);
        s += b;
    }
    return s;
}

const uint8_t *bytes_of(const char *s) { return reinterpret_cast<const uint8_t *>(s); }

class Md5Suite : public ::testing::TestWithParam<Case> {};

TEST_P(Md5Suite, WholeMessage)
{
    const Case &c = GetParam();
    MD5Context ctx;
    MD5Init(ctx);
    MD5Update(ctx, bytes_of(c.message), int(std::string(c.message).size()));
    uint8_t out[16];
    MD5Final(ctx, out);
    EXPECT_EQ(hex(out), c.digest);
}

TEST_P(Md5Suite, PiecesOfEverySize)
{
    const Case &c = GetParam();
    std::string m = c.message;
    for (size_t piece = 1; piece <= m.size(); ++piece) {
        MD5Context ctx;
        MD5Init(ctx);
        for (size_t at = 0; at < m.size(); at += piece)
            MD5Update(ctx, bytes_of(m.c_str()) + at, int(std::min(piece, m.size() - at)));
        uint8_t out[16];
        MD5Final(ctx, out);
        EXPECT_EQ(hex(out), c.digest) << "pieces of " << piece;
    }
}

INSTANTIATE_TEST_SUITE_P(Rfc1321, Md5Suite, ::testing::ValuesIn(kSuite),
                         [](const auto &i) { return std::string(i.param.name); });

// Messages around the block and padding boundaries (55, 56, 63, 64, 65 bytes...) give the same
// digest fed at once, byte by byte and in uneven pieces.
TEST(Md5, BoundaryLengthsAgreeWholeAndSplit)
{
    for (size_t len : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 200u}) {
        std::vector<uint8_t> m(len);
        for (size_t i = 0; i < len; ++i)
            m[i] = uint8_t(i * 7 + 3);
        auto whole = md5_digest(m);
        MD5Context ctx;
        MD5Init(ctx);
        size_t at = 0, piece = 1;
        while (at < len) {
            size_t n = std::min(piece, len - at);
            MD5Update(ctx, m.data() + at, int(n));
            at += n;
            piece = piece * 3 % 17 + 1;
        }
        uint8_t split[16];
        MD5Final(ctx, split);
        EXPECT_EQ(hex(split), hex(whole.data())) << "length " << len;
    }
}

TEST(Md5, CountOfZeroOrLessAddsNothing)
{
    MD5Context ctx;
    MD5Init(ctx);
    MD5Update(ctx, bytes_of("abc"), 3);
    MD5Update(ctx, bytes_of("xyz"), 0);
    MD5Update(ctx, bytes_of("xyz"), -5);
    uint8_t out[16];
    MD5Final(ctx, out);
    EXPECT_EQ(hex(out), "900150983cd24fb0d6963f7d28e17f72");
}

// The digest of a file equals what the system's md5sum says of it, whatever the pieces.
TEST(Md5, EqualsMd5sumOfAFile)
{
    if (std::system("md5sum --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "md5sum is not installed";
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("kx-md5-" + std::to_string(::getpid()) + ".bin"))
                                 .string();
    std::vector<uint8_t> m(100000);
    for (size_t i = 0; i < m.size(); ++i)
        m[i] = uint8_t((i * 131 + i / 7) & 0xFF);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(m.data()), std::streamsize(m.size()));
    std::string expected;
    if (std::FILE *p = ::popen(("md5sum '" + path + "'").c_str(), "r")) {
        char line[128] = {};
        if (std::fgets(line, sizeof line, p))
            expected = std::string(line).substr(0, 32);
        ::pclose(p);
    }
    std::filesystem::remove(path);
    MD5Context ctx;
    MD5Init(ctx);
    for (size_t at = 0, piece = 1; at < m.size(); at += piece, piece = piece * 7 % 1000 + 1)
        MD5Update(ctx, m.data() + at, int(std::min(piece, m.size() - at)));
    uint8_t out[16];
    MD5Final(ctx, out);
    EXPECT_EQ(hex(out), expected);
}

// The bit count carries from its low word into its high word.
TEST(Md5, BitCountCarriesIntoHighWord)
{
    MD5Context ctx;
    MD5Init(ctx);
    ctx.bits[0] = 0xFFFFFFF8;
    MD5Update(ctx, bytes_of("a"), 1);
    EXPECT_EQ(ctx.bits[0], 0u);
    EXPECT_EQ(ctx.bits[1], 1u);
}

} // namespace
