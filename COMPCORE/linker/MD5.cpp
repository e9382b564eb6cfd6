// MD5: the RFC 1321 digest (see MD5.h). Written from the algorithm's description: four rounds
// of sixteen steps over a 64-byte block read as sixteen little-endian words.
#include "MD5.h"

#include <cstring>

namespace {

// Step constants: floor(abs(sin(i + 1)) * 2^32), i = 0..63.
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left-rotation amounts, four per round.
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

void transform(uint32_t state[4], const uint8_t block[64])
{
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = uint32_t(block[4 * i]) | uint32_t(block[4 * i + 1]) << 8 |
               uint32_t(block[4 * i + 2]) << 16 | uint32_t(block[4 * i + 3]) << 24;

    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        int round = i / 16;
        uint32_t f = 0;
        int g = 0;
        switch (round) {
        case 0: f = (b & c) | (~b & d); g = i; break;
        case 1: f = (d & b) | (~d & c); g = (5 * i + 1) % 16; break;
        case 2: f = b ^ c ^ d; g = (3 * i + 5) % 16; break;
        default: f = c ^ (b | ~d); g = (7 * i) % 16; break;
        }
        uint32_t next = b + rotl(a + f + kSine[i] + m[g], kShift[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

} // namespace

void MD5Init(MD5Context &context)
{
    context.bits[0] = context.bits[1] = 0;
    context.state[0] = 0x67452301;
    context.state[1] = 0xefcdab89;
    context.state[2] = 0x98badcfe;
    context.state[3] = 0x10325476;
}

void MD5Update(MD5Context &context, const uint8_t *bytes, int count)
{
    if (count <= 0)
        return;
    uint32_t used = (context.bits[0] >> 3) & 63; // bytes already in the block buffer
    uint32_t added_bits = uint32_t(count) << 3;
    context.bits[0] += added_bits;
    if (context.bits[0] < added_bits)
        ++context.bits[1];
    context.bits[1] += uint32_t(count) >> 29;

    size_t left = size_t(count);
    if (used) {
        size_t room = 64 - used;
        if (left < room) {
            std::memcpy(context.block + used, bytes, left);
            return;
        }
        std::memcpy(context.block + used, bytes, room);
        transform(context.state, context.block);
        bytes += room;
        left -= room;
    }
    for (; left >= 64; bytes += 64, left -= 64)
        transform(context.state, bytes);
    std::memcpy(context.block, bytes, left);
}

void MD5Final(MD5Context &context, uint8_t out[16])
{
    uint8_t length[8];
    for (int i = 0; i < 4; ++i) {
        length[i] = uint8_t(context.bits[0] >> (8 * i));
        length[4 + i] = uint8_t(context.bits[1] >> (8 * i));
    }
    uint32_t used = (context.bits[0] >> 3) & 63;
    uint32_t pad = used < 56 ? 56 - used : 120 - used;
    static const uint8_t kPadding[64] = {0x80};
    MD5Update(context, kPadding, int(pad));
    MD5Update(context, length, 8);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out[4 * i + j] = uint8_t(context.state[i] >> (8 * j));
}

std::array<uint8_t, 16> md5_digest(std::span<const uint8_t> bytes)
{
    MD5Context context;
    MD5Init(context);
    // Large inputs go in pieces that fit the int count.
    constexpr size_t kPiece = size_t(1) << 30;
    for (size_t at = 0; at < bytes.size(); at += kPiece) {
        size_t n = bytes.size() - at < kPiece ? bytes.size() - at : kPiece;
        MD5Update(context, bytes.data() + at, int(n));
    }
    std::array<uint8_t, 16> out{};
    MD5Final(context, out.data());
    return out;
}
