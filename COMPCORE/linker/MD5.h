// MD5: the message digest of RFC 1321 (initial chaining values, the 64 sine-derived step
// constants, the standard message extension and a little-endian 16-byte result).
// The target link answers a TCP/IP board's digest challenge with it and turns a pass phrase
// into 16 bytes; the board stand-in checks that answer with the same code. Std-only.
#pragma once

#include <array>
#include <cstdint>
#include <span>

struct MD5Context {
    uint32_t bits[2] = {0, 0};        // message length in bits, low word first
    uint32_t state[4] = {0, 0, 0, 0}; // chaining words A, B, C, D
    uint8_t block[64] = {};           // the part of a 64-byte block not yet transformed
};

// Bit count 0; chaining words set to the initial values of RFC 1321.
void MD5Init(MD5Context &context);

// Adds count bytes: transforms every complete 64-byte block and keeps the remainder.
// A count of 0 or less does nothing.
void MD5Update(MD5Context &context, const uint8_t *bytes, int count);

// Extends the message (0x80, zeros to 56 bytes modulo 64, the 64-bit bit count) and writes
// the four chaining words as 16 little-endian bytes. The context is spent afterwards.
void MD5Final(MD5Context &context, uint8_t out[16]);

// The digest of one byte string, for callers that hold the whole message.
std::array<uint8_t, 16> md5_digest(std::span<const uint8_t> bytes);
