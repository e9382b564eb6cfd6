// CC_XDATA: the allocator of xmem code space for constant data. Data that a program places in
// extended memory (the files of "#ximport" and "#zimport", later the "xstring" and "xdata"
// tables) goes into xmem code space at the current end of the xmem code: the allocator checks
// that it fits in the origin the xmem code cache is bound to, moves on to the origin's follower
// when it does not, and leaves the xmem code cache current at the reserved space. Beside it the
// bounds of the separate xdata area (the separate-data mode, where xdata has a RAM area of its
// own up to a bound).
// The two declarations that place constant tables there:
//
//   xstring = "xstring" name "{" string {"," string} "}" ";"
//   xdata   = "xdata" name "{" value {"," value} "}" ";"
//
// An xstring table is its strings (each with its zero byte, without gaps) followed by a table of
// their 32-bit physical addresses; an xdata block is its values, little-endian, without gaps
// (char 1 byte, int and unsigned 2, long, unsigned long and float 4, a string its characters and
// a zero byte, the address of a function, object or label, plus a constant, its 2-byte logical
// address). The name becomes a 4-byte root variable (unsigned long, in root code space) that
// holds the physical address of the table or block; 0 when nothing could be placed.
// The compile sequence (CC_FIOZ8) sets the allocator up once the emit caches are placed; the
// import directives (CC_IMPORT) and the declarations allocate; the declarations reader (CC_DECLR)
// offers each declaration to `parse_xmem_declaration`. Reports go through CC_IN's reporters at
// the input.
#pragma once

#include "core/CC_ADDR.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class EmitCache;

// Start of a compile: the xdata bound (the end page of the xdata area times 4096); in
// separate-data mode the physical address the xdata area starts at, else nothing, and xdata
// goes into xmem code space. The xmem allocation pointer starts at the xmem code cache's
// position.
void init_xdata_allocator(uint32_t bound, std::optional<uint32_t> separate_start = std::nullopt);

// The next free physical address for xdata: the xdata pointer in separate-data mode, else the
// physical address of the xmem code cache's position.
uint32_t next_xdata_address();

// Reserves `count` bytes of xmem code space at the xmem code cache's position (re-read at each
// call), moving the cache on to the follower of its origin, and to that one's follower, while
// the bytes do not fit; the reserved space may end exactly at the origin's last byte. The xmem
// code cache is made current at the start of the space, whose address word is returned.
// When no origin has room, error 433 "Out of xmem code space, use a larger ROM/RAM." and
// nothing: the caller places nothing, since whatever lies past the origin is not the data's.
[[nodiscard]] std::optional<ADDR24> allocCodeSpace(uint32_t count);

// Reserves `count` bytes for xdata and gives the physical address of the first: in
// separate-data mode from the xdata pointer, while the block ends at or below the bound (else
// error 500 "Out of XMEM-RAM, try a bigger RAM and/or use deluxe verion." and nothing, the
// pointer left); otherwise through `allocCodeSpace`.
[[nodiscard]] std::optional<uint32_t> reserve_xdata_space(uint32_t count);

// Writes bytes through an xmem cache from its position on; a byte at the last address of the
// window's first 4 KB moves the cache on to the next xpc page, where the same physical address
// goes on, so data placed there has no physical gap.
void emit_xmem_bytes(EmitCache &cache, const uint8_t *bytes, std::size_t count);

// An "xstring" or "xdata" declaration at the input: 0 and nothing consumed when neither word
// stands there, else the whole declaration is read (up to and with its ";") and 1 returned.
// Inside a function body (`in_function_body`) the code jumps over what the declaration places
// in the function's path. Failures are compile errors; the name is still entered (value 0 when
// nothing was placed), so that later uses do not cascade.
int parse_xmem_declaration(bool in_function_body = false);

// A 2-byte address in an xdata block whose label is not defined yet: the label reference made
// once the block has its place (`reference_label` with `kind`, the label's logical address plus
// `addend` then written at `offset`, now or when the label is defined).
struct xFixInfo {
    std::string name;
    uint32_t offset = 0;
    uint32_t kind = 0;  // 3, or 0x403 for an xmem function not placed yet
    uint16_t addend = 0;
};

// The allocator's state, as the last call left it.
uint32_t xmem_allocation_pointer();  // physical start of the last reservation
uint32_t xdata_bound();
bool separate_xdata_mode();

// Message ids of this unit.
enum : uint32_t {
    kMsgOutOfXmemRam = 500,
    kMsgXdataTypeNotAllowed = 501,
    kMsgTooManyXstrings = 614,
    kMsgXdataNotConstant = 2055,
};
// At most this many strings are kept of one xstring table.
inline constexpr std::size_t kMaxXstrings = 1024;
