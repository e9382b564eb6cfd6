// DB_ML: the text of the debug windows (see the header).
#include "DB_ML.h"

#include "CC_ADDR.h"
#include "DB_DA.h"

#include <array>
#include <charconv>
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

int computeCycles(std::string_view line)
{
    // Bytes 0-3 of the line's byte column (characters 8-15).
    std::array<uint8_t, 4> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::size_t at = 8 + 2 * i;
        if (at + 1 >= line.size())
            break;
        uint8_t value = 0;
        const auto [end, error] = std::from_chars(line.data() + at, line.data() + at + 2, value, 16);
        if (error == std::errc() && end == line.data() + at + 2)
            bytes[i] = value;
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
