// ParseAddressText: the three typed address forms, the flags that allow them, and bad texts
// that must come back as kind 0 with the caller's address untouched.
#include <gtest/gtest.h>

#include "core/CC_ADDR.h"
#include "debugger/ParseAddressText.h"

namespace {

constexpr uint32_t kUntouched = 0xDEADBEEF;

struct AddressCase {
    const char *name;
    std::string_view text;
    uint8_t kind;
    uint32_t address; // kUntouched: left alone; for a physical kind, the physical address
    const char *accepted;
    bool colon = true, physical = true, logical = true;
};

const AddressCase kCases[] = {
    {"four_digits", "1234", kAddressLogical, make_addr(0, 0x1234), "0x1234"},
    {"prefix_with_blanks", "  0x1234 ", kAddressLogical, make_addr(0, 0x1234), "0x1234"},
    {"upper_prefix_with_tabs", "\t0X1234\t", kAddressLogical, make_addr(0, 0x1234), "0X1234"},
    {"lower_case_digits", "abcd", kAddressLogical, make_addr(0, 0xABCD), "0xabcd"},
    {"window_start_needs_xpc", "E000", kAddressHighLogical, make_addr(0, 0xE000), "0xE000"},
    {"last_root_address", "0xDFFF", kAddressLogical, make_addr(0, 0xDFFF), "0xDFFF"},
    {"xpc_and_offset", "1e:E123", kAddressXpcOffset, make_addr(0x1E, 0xE123), "1e:E123"},
    {"xpc_separator_not_looked_at", " 0e:0100", kAddressXpcOffset, make_addr(0x0E, 0x0100),
     "0e:0100"},
    {"short_offset_after_colon", "1e:E12", kAddressBad, kUntouched, ""},
    {"three_digits", "123", kAddressBad, kUntouched, ""},
    {"three_digits_with_prefix", "0x123", kAddressBad, kUntouched, ""},
    {"five_digits_physical", "12345", kAddressPhysical, 0x12345, "0x12345"},
    {"physical_with_prefix", "0x12345", kAddressPhysical, 0x12345, "0x12345"},
    {"letters_after_prefix", "0xWXYZ", kAddressBad, kUntouched, ""},
    {"empty", "", kAddressBad, kUntouched, ""},
    {"blanks_only", "       ", kAddressBad, kUntouched, ""},
    {"eight_characters", "12345678", kAddressBad, kUntouched, ""},
    {"seven_digits", "1234567", kAddressBad, kUntouched, ""},
    {"colon_first", ":1234", kAddressBad, kUntouched, ""},
    {"prefix_alone", "0x", kAddressBad, kUntouched, ""},
    {"non_ascii_bytes", "\xC3\xA9\xC3\xA9", kAddressBad, kUntouched, ""},
    {"sign", "-123", kAddressBad, kUntouched, ""},
    {"bad_xpc_digit", "1g:E123", kAddressBad, kUntouched, ""},
    {"bad_offset_digit", "1e:E1x3", kAddressBad, kUntouched, ""},
    {"colon_not_allowed", "1e:E123", kAddressBad, kUntouched, "", false},
    {"physical_not_allowed", "12345", kAddressBad, kUntouched, "", true, false},
    {"logical_not_allowed", "1234", kAddressBad, kUntouched, "", true, true, false},
};

class ParseAddress : public ::testing::TestWithParam<AddressCase> {};

TEST_P(ParseAddress, KindAddressAndText)
{
    const AddressCase &c = GetParam();
    uint32_t address = kUntouched;
    TAddressParseResult record;
    record.text = "left over";
    const TAddressParseResult returned =
        ParseAddressText(c.text, address, c.colon, record, c.physical, c.logical);
    EXPECT_EQ(int(record.kind), int(c.kind));
    // A physical address becomes an xmem word by the window settings of the day.
    const uint32_t expected = c.kind == kAddressPhysical ? physical_to_addr(c.address) : c.address;
    EXPECT_EQ(address, expected) << std::hex << "0x" << address;
    EXPECT_EQ(record.text, c.accepted);
    EXPECT_EQ(int(returned.kind), int(record.kind));
    EXPECT_EQ(returned.text, record.text);
}

INSTANTIATE_TEST_SUITE_P(All, ParseAddress, ::testing::ValuesIn(kCases),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
