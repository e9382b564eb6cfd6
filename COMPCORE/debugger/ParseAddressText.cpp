// ParseAddressText: typed target addresses (see the header).
#include "debugger/ParseAddressText.h"

#include "core/CC_ADDR.h"

#include <optional>

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool has_hex_prefix(std::string_view text)
{
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

} // namespace

std::optional<uint32_t> HexDigitsValue(std::string_view digits)
{
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    uint32_t value = 0;
    for (char c : digits) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value << 4 | uint32_t(digit);
    }
    return value;
}

TAddressParseResult ParseAddressText(std::string_view text, uint32_t &address, bool allow_colon,
                                     TAddressParseResult &result, bool allow_physical,
                                     bool allow_logical)
{
    result = TAddressParseResult{};
    const std::string_view t = trimmed(text);
    if (t.size() < 4 || t.size() > 7)
        return result;

    // mm:nnnn (the separator itself is not looked at)
    if (allow_colon && t.find(':') != std::string_view::npos) {
        if (t.size() != 7)
            return result;
        const std::optional<uint32_t> xpc = HexDigitsValue(t.substr(0, 2));
        const std::optional<uint32_t> offset = HexDigitsValue(t.substr(3, 4));
        if (!xpc || !offset)
            return result;
        address = make_addr(uint8_t(*xpc), uint16_t(*offset));
        result.kind = kAddressXpcOffset;
        result.text = std::string(t);
        return result;
    }

    const std::string prefixed = has_hex_prefix(t) ? std::string(t) : "0x" + std::string(t);
    const std::optional<uint32_t> value = HexDigitsValue(std::string_view(prefixed).substr(2));
    if (!value)
        return result;
    if (prefixed.size() == 6 && allow_logical) {
        const uint16_t offset = uint16_t(*value);
        address = make_addr(0, offset);
        result.kind = offset < kFirstXmemLogical ? kAddressLogical : kAddressHighLogical;
    } else if (prefixed.size() == 7 && allow_physical) {
        address = physical_to_addr(*value & kPhysicalMask);
        result.kind = kAddressPhysical;
    } else {
        return result;
    }
    result.text = prefixed;
    return result;
}
