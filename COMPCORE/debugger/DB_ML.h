// DB_ML: the text of the debug windows: the register window, the stack window, the
// disassembly window (instruction bytes and cycle counts) and the memory dump, to the window's
// adapter or to a file. Target memory is read through the target operations (SEAM_TARGET),
// instructions are decoded by the disassembler (DB_DA), and source positions come from the
// position tables. The address column and the instruction line are shared with the listing
// writer (list_files), so that a listing shows code exactly as the disassembly window does. The
// cycle figures are the disassembler's one cycle table, which the simulator counts by too.
// Called by run control, the main window's commands and the dump windows. Std-only.
#pragma once

#include "core/SEAM_TARGET.h"

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

class TGuiInterface;
class TRegisterInterface;
class TStackInterface;
class TAssemblyInterface;
class TDumpInterface;

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

// "SZXHXVNC" with a blank for each clear bit of F (bit 7 first).
std::string formatFlags(uint8_t f);

// "----------" and the source position of the address: "L: %u  C:%u" from the line table, or
// "PC@%02x:%04x" (xmem) / "PC@%04x" (root) when it has none; one line to the adapter.
void formatPositionLine(uint32_t address, TGuiInterface &adapter);

// The register window: the position of PC, the flags with XPC, then A and AF', BC, DE, HL with
// their alternates, IX and IY, PC and SP; each line cut to the adapter's line width.
void formatRegisterLines(TRegisterInterface &adapter, const TargetRegisterSet &registers);

// The stack window: `count` words read at SP (root), one "%04X: %04X" line each (address,
// little-endian word), after the position of PC.
void fillStackView(TStackInterface &adapter, const TargetRegisterSet &registers, uint16_t count);
// The same from the stack data the target sent: length / 2 words (a length below 2 lists none).
void fillStackFromData(TStackInterface &adapter, const TargetRegisterSet &registers,
                       const uint8_t *data, int16_t length);

// The size of the code the disassembly window reads at once and the most lines it lists.
inline constexpr uint32_t kDisassemblyBytes = 260;
inline constexpr int kDisassemblyLines = 64;

// The disassembly window. Reads 260 bytes at `address` when mode bit 0 is set or the address
// lies outside the instructions listed last (the compiler's separate-I&D option reads through
// the xmem form of the physical address), and lists up to 64 instructions from there: an
// instruction that would run past the bytes read is not listed. Then selects the line that
// holds `pc`, or with mode bit 1 the line that holds `address`.
void fillDisassemblyView(uint32_t address, int mode, TAssemblyInterface &adapter, uint32_t pc);
// Forgets the listed instructions, so that the next fill reads (a new compile or connection).
void forgetDisassemblyView();

// The memory dump: `chunk_count` blocks of 128 bytes from `address`, 16 bytes a line: the
// address column (physical, XPC:offset or offset by the main window's dump flags), the values
// by the dump window's format (bytes, words, double words) and the bytes as text (0x20 and
// below as blanks). Lines go to the adapter (with change marking against what it showed last)
// and to the file, when given.
void fillMemoryDumpView(uint32_t address, TDumpInterface *adapter, int chunk_count,
                        std::ostream *file, bool highlight_changes);
