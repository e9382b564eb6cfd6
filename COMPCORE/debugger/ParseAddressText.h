// ParseAddressText: a target address as the user types it, or as a debug window shows it,
// read into an ADDR24 word. Three forms: "[0x]nnnn" (a logical address, four hexadecimal
// digits), "mm:nnnn" (XPC and offset, two and four digits) and "[0x]nnnnn" (a 20-bit physical
// address, five digits). Bad input is a kind, never an exception: the callers (the disassembly
// window, the address dialogs, the memory dump) report it in their own words. Std-only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What a text was read as.
enum AddressKind : uint8_t {
    kAddressBad = 0,
    kAddressXpcOffset = 1,   // "mm:nnnn"
    kAddressLogical = 2,     // below 0xE000
    kAddressPhysical = 3,    // five digits
    kAddressHighLogical = 4, // logical at or above 0xE000: needs an XPC to mean anything
};

// The kind and the text accepted: the trimmed input, with "0x" put in front for the logical
// and physical forms when it had none; empty for kAddressBad.
struct TAddressParseResult {
    uint8_t kind = kAddressBad;
    std::string text;
};

// The value of a run of hexadecimal digits (at least one, at most 8); nothing else is read.
std::optional<uint32_t> HexDigitsValue(std::string_view digits);

// The first logical address a bare four-digit text cannot name without an XPC.
inline constexpr uint16_t kFirstXmemLogical = 0xE000;

// Reads `text` (blanks around it ignored; 4 to 7 characters) in the forms allowed. The colon
// form takes exactly 7 characters: two digits, any one character, four digits. Without a
// colon, "0x" (either case) is put in front when missing; then 6 characters are a logical
// address (XPC 0) and 7 a physical one (turned into an xmem word by physical_to_addr). Only
// hexadecimal digits are read: anything else is kAddressBad. `address` is filled for every
// other kind and left alone for kAddressBad. Fills `result` and returns it.
TAddressParseResult ParseAddressText(std::string_view text, uint32_t &address, bool allow_colon,
                                     TAddressParseResult &result, bool allow_physical,
                                     bool allow_logical);
