// CC_ADDR: target addresses (ADDR24) and the program's memory map.
// The processors see 64 KB logically; the XPC register maps the xmem window (from the window
// start up) onto a 20-bit physical space, while logical addresses below the window start are
// root addresses and equal their physical addresses. Every code and data address the compiler,
// linker, loader and debugger pass around is one ADDR24 word carrying offset and XPC together.
// This unit owns the word's conversions, arithmetic and comparisons, the window settings, the
// qualification of a bare logical address by the current origin, and the memory-map record.
// Std-only. The emit caches and origins (which know the current origin) join through a seam.
#pragma once

#include <cstdint>
#include <optional>

// ADDR24 word:
//   bits  0-15 logical address (offset)
//   bits 16-23 XPC value
//   bits 24-31 zero
// Stored in records as three bytes: offset low, offset high, XPC.
using ADDR24 = std::uint32_t;

// The word that stands for an address not yet placed: new symbols take it for their
// addresses, lookups return it for names without code, placeholder jumps go to it.
inline constexpr ADDR24 kDummyAddress = 0;

inline constexpr std::uint32_t kPhysicalMask = 0xFFFFF; // 20-bit physical space
inline constexpr std::uint32_t kPageSize = 4096;        // XPC granularity

// ---- window settings --------------------------------------------------------------------
// Window start: lowest logical address of the xmem window (0xE000 by default); the compile
// sequence sets it to "logx" x 4096 at the start of every compile.
void set_window_start(std::uint16_t start);
std::uint16_t window_start();
// Xpc base: the number of 4 KB pages below the window start ("logx", 0xE by default).
void set_xpc_base(std::uint16_t pages);
std::uint16_t xpc_base();
// Both from one "logx" value: window start = pages x 4096, xpc base = pages. Values above 15
// are refused (the window must start inside the 64 KB logical space); returns false then and
// changes nothing.
[[nodiscard]] bool set_xmem_window(std::uint16_t logx_pages);

// ---- the word ---------------------------------------------------------------------------
constexpr ADDR24 make_addr(std::uint8_t xpc, std::uint16_t offset) {
    return (static_cast<ADDR24>(xpc) << 16) | offset;
}
constexpr std::uint16_t addr_offset(ADDR24 a) { return static_cast<std::uint16_t>(a & 0xFFFF); }
constexpr std::uint8_t addr_xpc(ADDR24 a) { return static_cast<std::uint8_t>((a >> 16) & 0xFF); }

// Three stored bytes (offset low, offset high, XPC) to the word, and back.
ADDR24 addr_from_addr24(const std::uint8_t stored[3]);
void addr_to_addr24(ADDR24 a, std::uint8_t stored[3]);
// The same word (kept for callers that copy a word from a record).
ADDR24 addr_copy(ADDR24 a);

// Root when the offset is below the window start, whatever the XPC byte holds.
bool addr_is_root(ADDR24 a);

// Root: the offset. Xmem: (offset + XPC x 4096) masked to 20 bits.
std::uint32_t addr_to_physical(ADDR24 a);
// Always an xmem word: offset = (p & 0xFFF) + window start, XPC = (p >> 12) - xpc base
// (8 bits). The physical address is first masked to 20 bits.
ADDR24 physical_to_addr(std::uint32_t physical);

// Root: only the offset moves, wrapping in 16 bits. Xmem: through the physical address
// (wrapping in 20 bits), so a sum that leaves the window gets another XPC.
ADDR24 addr_add(ADDR24 a, std::int32_t displacement);
// physical(a) - physical(b), in bytes.
std::int32_t addr_diff(ADDR24 a, ADDR24 b);
// a xmem: all 24 bits compared; a root: only the offsets (the XPC byte of a root word
// carries nothing).
bool addr_equal(ADDR24 a, ADDR24 b);
// physical(a) < physical(b).
bool addr_less(ADDR24 a, ADDR24 b);

// ---- qualification by the current origin --------------------------------------------------
// The window of the origin the current emit cache is bound to.
struct OriginWindow {
    ADDR24 start = 0;          // start address word (offset and XPC)
    std::uint32_t size = 0;    // bytes
    bool ascending = true;     // grows upward from start, else downward
};
// Seam to the emit caches: answers the current origin's window, or nullopt when the current
// cache is bound to no origin (the provider reports the missing origin itself).
using CurrentOriginFn = std::optional<OriginWindow> (*)();
void set_current_origin_provider(CurrentOriginFn fn); // nullptr: no provider
CurrentOriginFn current_origin_provider();
// A logical address inside the current origin's window gets that origin's XPC; outside it
// XPC 0. Without a current origin (or without a provider) the result is 0.
ADDR24 logical_to_addr(std::uint16_t logical);

// ---- memory map ---------------------------------------------------------------------------
// first .. last inclusive; size 0 marks an empty range (first and last then say where it
// would have been).
struct AddrRange {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    std::uint32_t size = 0;
};

struct MemoryMap {
    // set by memory_map_defaults
    std::uint16_t root_code_start = 0;
    std::uint16_t root_code_size = 0;
    std::uint16_t first_root_range_size = 256;
    std::uint16_t root_page_setting = 2;
    // set by LayoutMemoryMap
    AddrRange root_code;       // the root code range
    AddrRange next_range;      // the range after it (the xmem code range on the second family)
    std::uint32_t data_top = 0;
    AddrRange free_area;       // "free": T - free + 1 .. T
    AddrRange astk_area;       // "astk": below the free area
    AddrRange heap_area;       // "heap": below the astk area
    // code limits of a compile: one below the last root code address, one above the first
    // free address (set after a program compile by the function-record unit)
    std::uint32_t code_limit_low = 0;
    std::uint32_t code_limit_high = 0;
    // Where a program compile starts its constants and its second data cache: recorded by the
    // BIOS compile when it places "prog_param"; kDummyAddress until then.
    std::uint32_t program_constant_start = 0;
    std::uint32_t program_second_data_start = 0;
    // set by the origin directives: the root variable cache's address after "#rvarorg", and
    // the 256-aligned base that the first "#xcodorg" of a BIOS gives the xmem code
    std::uint32_t root_data_base = 0;
    std::uint32_t xmem_code_base = 0;
    // the Z180's page-switch routine, which xmem code calls to move on to the next page
    std::uint16_t page_switch_routine = 0;
    // Where the BIOS part of a compile that goes on with the program ("#pragma CompileProgram")
    // ended: the highest code address of the origins (physical) and the root code address; 0
    // until such a compile gets there without errors.
    std::uint32_t bios_part_code_end = 0;
    std::uint16_t bios_part_root_end = 0;
};

// Inputs of LayoutMemoryMap that other units own ("kxw.cfg" sizes, processor selector, caches).
struct MemoryLayoutInputs {
    int processor_selector = 0;              // 1: second processor family
    std::uint16_t free_size = 0;             // "free"
    std::uint16_t astk_size = 0xD0;          // "astk"
    std::uint16_t heap_size = 0;             // "heap"
    std::uint32_t configured_top = 0;        // data top when none is given (other families)
    std::uint32_t data_cache_offset = 0;     // offset of the data cache (second family)
    AddrRange xmem_code_range;               // from the current code caches (second family)
};

// Memory-map defaults: root code start = given address + 256, raised to the next multiple of
// 256 (the driver's default address when none is given); root code size from the code
// generator; first root range 256; xpc base 14; root-page setting 2.
void memory_map_defaults(std::uint16_t given_address, std::uint16_t root_code_size);

// Lays out the memory map below the data top. `top` 0 means none given. The areas are carved
// downward; an area that would run below address 0 is cut at 0 (its size is reduced) so no
// range wraps around, and the function answers false then.
[[nodiscard]] bool LayoutMemoryMap(std::uint32_t top, const MemoryLayoutInputs &in);

const MemoryMap &memory_map();
// Code limits after a compile: last root code address and first free address (see MemoryMap).
void set_code_limits(std::uint32_t last_root_code, std::uint32_t first_free);
// The program's constant and second data-cache starts (see MemoryMap).
void set_program_start_words(std::uint32_t constant_start, std::uint32_t second_data_start);
void set_root_data_base(std::uint32_t address);
void set_xmem_code_base(std::uint32_t address);
void set_page_switch_routine(std::uint16_t address);
void set_bios_part_end(std::uint32_t physical_code_end, std::uint16_t root_code_end);
// Back to the start-up state (window 0xE000 / 14, empty map). The origin provider is a
// connection to the emit caches, not state of a compile: it stays installed.
void reset_addr_state();
