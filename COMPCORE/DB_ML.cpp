// DB_ML: the text of the debug windows (see the header).
#include "DB_ML.h"

#include "CC_ADDR.h"
#include "DB_DA.h"

#include <array>
#include <cstdio>

std::string formatCodeAddress(uint32_t address)
{
    char text[16];
    if (addr_offset(address) >= window_start())
        std::snprintf(text, sizeof text, "%02x:%04x ", addr_xpc(address), addr_offset(address));
    else
        std::snprintf(text, sizeof text, "   %04x ", addr_offset(address));
    return text;
}

namespace {

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

int computeCycles(std::string_view line)
{
    // Bytes 0-3 of the line's byte column (characters 8-15).
    std::array<uint8_t, 4> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::size_t at = 8 + 2 * i;
        if (at + 1 >= line.size())
            break;
        const int hi = hex_digit(line[at]), lo = hex_digit(line[at + 1]);
        if (hi >= 0 && lo >= 0)
            bytes[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    return instructionCycles(bytes);
}

int formatInstructionLine(uint32_t address, std::span<const uint8_t> bytes, uint16_t length,
                          std::string_view mnemonic, std::string &text)
{
    text = formatCodeAddress(address);
    char cell[8];
    for (std::size_t i = 0; i < 4; ++i) {
        if (i < length && i < bytes.size()) {
            std::snprintf(cell, sizeof cell, "%02X", bytes[i]);
            text += cell;
        } else {
            text += "  ";
        }
    }
    std::string name(mnemonic.substr(0, 23));
    name.resize(23, ' ');
    text += ' ';
    text += name;
    const int cycles = computeCycles(text);
    switch (cycles) {
    case 100: text += "6+7n"; return 0;
    case 101: text += "8+6n"; return 0;
    case 102: text += "8+7n"; return 0;
    default: break;
    }
    if ((cycles & 0xFF) == 255) {
        text += " 8/2";
        return 0;
    }
    std::snprintf(cell, sizeof cell, "%4d", cycles);
    text += cell;
    return cycles;
}
