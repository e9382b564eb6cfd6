// DB_DA: the disassembler and the instruction lengths. Four opcode pages of 256 entries (main,
// after 0xED, after 0xCB, the index page after 0xDD/0xFD) per page set, three length tables and
// the cycle tables of the disassembly text, all expanded from the instruction forms of CC_ASMTAB
// (the assembler's table), so that decoding and encoding agree.
// Called by the disassembly window text, the listing writer, the code generator's check and the
// board stand-in's tests. Std-only.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Page sets: A the Vireon 2000 set, B the Vireon 3000 set (revision 257), and the Z180 set.
enum class DisasmPageSet : uint8_t { A, B, Z180 };

// One page entry: mnemonic number (kDisasmMnemonics; 91 in the index page: not defined there,
// decode from the main page with the prefix in force) and the two operand format words.
struct DisasmEntry {
    uint8_t mnemonic = 90;
    uint16_t fmt1 = 0;
    uint16_t fmt2 = 0;
};
constexpr uint8_t kIndexPageUseMain = 91;

struct DisasmPages {
    std::array<DisasmEntry, 256> main, ed, cb, index;
    // Whether 0xDD/0xFD in front of a main-page (or 0xCB-page) opcode makes a defined instruction.
    std::array<bool, 256> main_indexable{}, cb_indexable{};
};
const DisasmPages &disasmPages(DisasmPageSet set);

// Length tables: L0 by first byte (low 4 bits the length, 7 an 0xED prefix, 8/9 0xDD/0xFD; high
// 4 bits the flow class), LX extra bytes of index-prefixed instructions, LE full length of 0xED
// instructions.
struct LengthTables {
    std::array<uint8_t, 256> l0{}, lx{}, le{};
};
// One set serves both Vireon page sets; the Z180 has its own.
const LengthTables &lengthTables(bool z180);

// Flow classes (high nibble of L0).
enum DisasmFlow : uint8_t { kFlowNone = 0, kFlowJump = 5, kFlowReturn = 6, kFlowCall = 7,
                            kFlowRestart = 10 };

// Picks the current page set and length tables from the CPU flag and revision (asm_target()).
// With the Z180 flag they stay as they are.
void selectDisasmTables();
void selectLengthTables();
// Explicit choice (tools, tests, the Z180 listing).
void selectDisasmPageSet(DisasmPageSet set);
DisasmPageSet currentDisasmPageSet();

// Length in bytes of the instruction at `bytes` with the current length tables. Bytes past the
// end of the span read as 0. With follow_prefixes on the Vireon sets, altd/ioi/ioe add the
// length of the instruction they prefix.
uint16_t instructionLength(std::span<const uint8_t> bytes, bool follow_prefixes);
// The flow class of the instruction (jump, return, call, restart, none).
DisasmFlow instructionFlow(std::span<const uint8_t> bytes);

// Decodes one instruction at target address `address` (16-bit offset used for relative
// targets). Writes the whole instruction's length (prefixes included) and its text: the
// mnemonic padded to 7 characters, then the operands separated by ",". Returns the
// plain-instruction flag.
bool disassembleOne(uint32_t address, std::span<const uint8_t> bytes, uint16_t &length,
                    std::string &text);

// Symbol names for operands with the symbol flag (16-bit addresses and immediates, memory
// operands "(name)", and ljp/lcall by their whole address word with the page): the debugger
// installs a lookup (address word -> name) over the linker's names; none by default, and an
// address without a name stays a number.
using DisasmSymbolLookup = std::optional<std::string> (*)(uint32_t address);
void setDisasmSymbolLookup(DisasmSymbolLookup lookup);

// Every defined instruction of a page set, each as bytes with sample operand values (8-bit
// immediate 0x12, word 0x3456, page 0x0A, displacement +5, relative +0x10), in page order.
std::vector<std::vector<uint8_t>> enumerateInstructions(DisasmPageSet set);

// Cycle tables of the disassembly text (Vireon timings): main page and the pages after 0xCB,
// 0xDD, 0xED and 0xFD. Special values: 100 block move, 101/102 block move after ioi/ioe,
// 255 conditional return.
struct CycleTables {
    std::array<uint8_t, 256> main{}, cb{}, dd{}, ed{}, fd{};
};
const CycleTables &cycleTables();
// The cycle value of one instruction (prefixes included) by the disassembly window's rules.
int instructionCycles(std::span<const uint8_t> bytes);
// Extra cycles of an ioi prefix before the four bytes `next4` (first byte in bits 24-31): 1 for
// the access patterns the bus serves at once, otherwise 2.
int ioiExtraCycles(uint32_t next4);
