// DB_ML: the text of the debug windows. Here: the address column and the instruction line of
// the disassembly window with its cycle column, which the listing writer (list_files) shares,
// so that a listing shows code exactly as the disassembly window does. The cycle figures are
// the disassembler's one cycle table (DB_DA), which the simulator counts by too. Std-only.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// "%02x:%04x " (XPC, offset) for an offset at or above the xmem window start, else
// "   %04x " (offset): 8 characters either way.
std::string formatCodeAddress(uint32_t address);

// One disassembly line into `text`: the address column; the first four instruction bytes as
// "%02X", with "  " for each byte beyond the instruction's length; a blank and the mnemonic
// left-justified in 23 characters (cut at 23); the cycle column (computeCycles on the line):
// "%4d", or "6+7n", "8+6n", "8+7n" for a block move (plain, after ioi, after ioe) and " 8/2"
// for a conditional return. Returns the numeric cycle count, 0 for those notations.
int formatInstructionLine(uint32_t address, std::span<const uint8_t> bytes, uint16_t length,
                          std::string_view mnemonic, std::string &text);

// The cycle value of the instruction whose bytes an instruction line shows (characters 8
// onwards, two hexadecimal digits a byte; a position without digits reads as 0): a count, or
// 100, 101, 102 (block moves) or 255 (conditional return).
int computeCycles(std::string_view line);
