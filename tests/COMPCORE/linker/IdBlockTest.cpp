// The ID block check: the marker and the CRC-16/XMODEM over the block without its reserved byte
// and with the CRC field counted as 0.
#include <gtest/gtest.h>

#include "core/SEAM_TARGET.h"

#include <array>

namespace {

std::array<uint8_t, 132> valid_block()
{
    std::array<uint8_t, 132> b{};
    for (std::size_t i = 0; i < 126; ++i)
        b[i] = static_cast<uint8_t>(i * 7 + 3);
    for (int i = 0; i < 6; ++i)
        b[126 + i] = (i % 2) ? 0xAA : 0x55;
    const uint16_t crc = id_block_crc(b);
    b[124] = uint8_t(crc);
    b[125] = uint8_t(crc >> 8);
    return b;
}

}  // namespace

// The CRC of the check value "123456789" is 0x31C3; here over a block holding those digits.
TEST(IdBlock, CrcIsXmodemOverTheBlockWithoutReservedAndCrcBytes)
{
    std::array<uint8_t, 132> b{};
    const char digits[] = "123456789";
    for (int i = 0; i < 9; ++i)
        b[i] = static_cast<uint8_t>(digits[i]);
    std::array<uint8_t, 132> zeros_after = b;
    // 131 bytes take part; appending zero bytes to a CRC of a message changes it, so compare
    // against the same computation done by hand over the 131 bytes.
    uint16_t crc = 0;
    for (std::size_t i = 0; i < 132; ++i) {
        if (i == 115)
            continue;
        uint16_t v = static_cast<uint16_t>(((i == 124 || i == 125) ? 0 : b[i]) << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<uint16_t>(((v ^ crc) & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
            v = static_cast<uint16_t>(v << 1);
        }
    }
    EXPECT_EQ(id_block_crc(b), crc);
    zeros_after[115] = 0x99;  // the reserved byte does not count
    zeros_after[124] = 0x12;  // nor the CRC field
    EXPECT_EQ(id_block_crc(zeros_after), crc);
}

TEST(IdBlock, CrcOfTheCheckString)
{
    // Nine digits then zeros: the CRC-16/XMODEM of "123456789" is 0x31C3, and each zero byte
    // after it is one more step of the register.
    std::array<uint8_t, 132> b{};
    const char digits[] = "123456789";
    for (int i = 0; i < 9; ++i)
        b[i] = static_cast<uint8_t>(digits[i]);
    uint16_t crc = 0x31C3;
    for (int zero = 0; zero < 131 - 9; ++zero)
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    EXPECT_EQ(id_block_crc(b), crc);
}

struct Damage {
    const char *name;
    std::size_t index;
    bool still_valid;
};

const Damage kDamage[] = {
    {"first_marker", 126, false}, {"last_marker", 131, false}, {"crc_low", 124, false},
    {"crc_high", 125, false},     {"first_byte", 0, false},    {"flash_size", 19, false},
    {"reserved", 115, true},
};

class IdBlockDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(IdBlockDamage, OneChangedByte)
{
    std::array<uint8_t, 132> b = valid_block();
    ASSERT_TRUE(id_block_is_valid(b));
    b[GetParam().index] ^= 0x40;
    EXPECT_EQ(id_block_is_valid(b), GetParam().still_valid);
}

INSTANTIATE_TEST_SUITE_P(All, IdBlockDamage, ::testing::ValuesIn(kDamage),
                         [](const auto &i) { return std::string(i.param.name); });
