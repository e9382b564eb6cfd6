// DumpRows: the row layout of a memory dump window, without a widget. A dump window shows
// target memory as lines of 16 bytes; its scroll bar counts 16-byte rows over the whole range
// the window's address mode covers. This unit says which row a received line belongs to, which
// address a row stands for, how a row's address is written in the hints, and which value group
// of a line lies under a character column. The window (frmKXMemoryDump) keeps the state; the
// line text itself comes from the debug windows' text (DB_ML). Std-only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Physical: 20-bit addresses. XpcOffset: an XPC value and a 16-bit offset. Logical: 16-bit.
enum class DumpMode : uint8_t { Logical, Physical, XpcOffset };

// The part of a dump window's state the layout reads.
//   range (xpc:offset mode only): 0 one 4 KB page at the current XPC, 1 the 64 KB logical
//   space at the current XPC, 2 every XPC value (256 x 4096 rows).
//   page_base: offset & 0xF000 of the address the dump started at; range 0 adds it.
struct DumpLayout {
    DumpMode mode = DumpMode::Logical;
    int range = 0;
    uint8_t xpc = 0;
    uint16_t page_base = 0;
};

inline constexpr int kDumpRowBytes = 16;
inline constexpr int kDumpBlockBytes = 128;

// Rows the scroll bar covers: physical 65536, logical 4096, xpc:offset 256 / 4096 / 1048576.
int64_t dump_row_limit(const DumpLayout &layout);

// The address column of a received line (the text before its first blank): 4 hex digits a
// logical address, 6 a physical one, "xx:xxxx" an XPC and an offset. Anything else (another
// length, a character that is not a hex digit, a physical address past 20 bits) is no address.
struct DumpLineAddress {
    uint32_t address = 0;  // ADDR24: offset in bits 0-15, XPC in bits 16-23
    uint32_t physical = 0; // 20 bits, as the change marks name bytes
    int column_width = 0;  // characters of the address column
};
std::optional<DumpLineAddress> parse_dump_line_address(std::string_view line);

// The row a line of that address belongs to (may be at or past the row limit).
int64_t dump_row_of(const DumpLayout &layout, const DumpLineAddress &line);

// The address a row stands for (ADDR24; in physical mode the physical address itself).
uint32_t dump_address_of_row(const DumpLayout &layout, int64_t row);
// The 20-bit start the debugger reads a row from: the physical address, else XPC x 4096 +
// offset.
uint32_t dump_physical_of_row(const DumpLayout &layout, int64_t row);

// A row's address as the hints write it: "1A2B0" (physical), "1E:E120", "2340" (logical).
std::string dump_address_text(DumpMode mode, uint32_t address);

// The value groups of a line: 16 of 2 digits (bytes, width 0), 8 of 4 (words, 1) or 4 of 8
// (double words, 2), beginning one character after the address column, one blank apart.
int dump_group_count(int value_width);
int dump_group_digits(int value_width);
int dump_group_bytes(int value_width);
// The character where group `index` starts.
int dump_group_column(int address_width, int value_width, int index);

// The group under a character column; none over the address column, the blank after it or
// past the last group. A blank between two groups belongs to the group before it.
std::optional<int> dump_group_at(int address_width, int value_width, int column);
