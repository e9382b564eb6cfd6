// CC_XDATA: the allocator of xmem code space for constant data. Data that a program places in
// extended memory (the files of "#ximport" and "#zimport", later the "xstring" and "xdata"
// tables) goes into xmem code space at the current end of the xmem code: the allocator checks
// that it fits in the origin the xmem code cache is bound to, moves on to the origin's follower
// when it does not, and leaves the xmem code cache current at the reserved space. Beside it the
// bounds of the separate xdata area (the separate-data mode, where xdata has a RAM area of its
// own up to a bound).
// The compile sequence (CC_FIOZ8) sets the allocator up once the emit caches are placed; the
// import directives (CC_IMPORT) allocate. Reports go through CC_IN's reporters at the input.
#pragma once

#include "CC_ADDR.h"

#include <cstdint>
#include <optional>

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

// The allocator's state, as the last call left it.
uint32_t xmem_allocation_pointer();  // physical start of the last reservation
uint32_t xdata_bound();
bool separate_xdata_mode();

// Message ids of this unit.
enum : uint32_t {
    kMsgOutOfXmemRam = 500,
};
