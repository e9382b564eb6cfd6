// CC_ADDR: target addresses (ADDR24) and the program's memory map.
// Conversions go through the 20-bit physical address; the window settings are module state
// that the compile sequence sets per compile. The current origin comes from the emit caches
// through a provider installed by their owner.
#include "CC_ADDR.h"

namespace {

std::uint16_t g_window_start = 0xE000;
std::uint16_t g_xpc_base = 14;
CurrentOriginFn g_origin_provider = nullptr;
MemoryMap g_memory_map;

} // namespace

void set_window_start(std::uint16_t start) { g_window_start = start; }
std::uint16_t window_start() { return g_window_start; }
void set_xpc_base(std::uint16_t pages) { g_xpc_base = pages; }
std::uint16_t xpc_base() { return g_xpc_base; }

bool set_xmem_window(std::uint16_t logx_pages) {
    if (logx_pages > 15)
        return false;
    g_window_start = static_cast<std::uint16_t>(logx_pages * kPageSize);
    g_xpc_base = logx_pages;
    return true;
}

ADDR24 addr_from_addr24(const std::uint8_t stored[3]) {
    return make_addr(stored[2], static_cast<std::uint16_t>(stored[0] | (stored[1] << 8)));
}

void addr_to_addr24(ADDR24 a, std::uint8_t stored[3]) {
    stored[0] = static_cast<std::uint8_t>(a & 0xFF);
    stored[1] = static_cast<std::uint8_t>((a >> 8) & 0xFF);
    stored[2] = addr_xpc(a);
}

ADDR24 addr_copy(ADDR24 a) { return a; }

bool addr_is_root(ADDR24 a) { return addr_offset(a) < g_window_start; }

std::uint32_t addr_to_physical(ADDR24 a) {
    if (addr_is_root(a))
        return addr_offset(a);
    return (addr_offset(a) + static_cast<std::uint32_t>(addr_xpc(a)) * kPageSize) & kPhysicalMask;
}

ADDR24 physical_to_addr(std::uint32_t physical) {
    physical &= kPhysicalMask;
    auto offset = static_cast<std::uint16_t>((physical & 0xFFF) + g_window_start);
    auto xpc = static_cast<std::uint8_t>((physical >> 12) - g_xpc_base);
    return make_addr(xpc, offset);
}

ADDR24 addr_add(ADDR24 a, std::int32_t displacement) {
    if (addr_is_root(a)) {
        auto offset = static_cast<std::uint16_t>(addr_offset(a) + displacement);
        return make_addr(addr_xpc(a), offset);
    }
    std::uint32_t p = addr_to_physical(a) + static_cast<std::uint32_t>(displacement);
    return physical_to_addr(p);
}

std::int32_t addr_diff(ADDR24 a, ADDR24 b) {
    return static_cast<std::int32_t>(addr_to_physical(a)) - static_cast<std::int32_t>(addr_to_physical(b));
}

bool addr_equal(ADDR24 a, ADDR24 b) {
    if (addr_is_root(a))
        return addr_offset(a) == addr_offset(b);
    return (a & 0xFFFFFF) == (b & 0xFFFFFF);
}

bool addr_less(ADDR24 a, ADDR24 b) { return addr_to_physical(a) < addr_to_physical(b); }

void set_current_origin_provider(CurrentOriginFn fn) { g_origin_provider = fn; }
CurrentOriginFn current_origin_provider() { return g_origin_provider; }

// Ascending origin: offsets start .. start + size - 1. Descending: start - size + 1 .. start.
ADDR24 logical_to_addr(std::uint16_t logical) {
    if (!g_origin_provider)
        return 0;
    std::optional<OriginWindow> w = g_origin_provider();
    if (!w)
        return 0;
    std::int64_t start = addr_offset(w->start);
    std::int64_t first = w->ascending ? start : start - static_cast<std::int64_t>(w->size) + 1;
    std::int64_t last = w->ascending ? start + static_cast<std::int64_t>(w->size) - 1 : start;
    if (w->size == 0 || logical < first || logical > last)
        return make_addr(0, logical);
    return make_addr(addr_xpc(w->start), logical);
}

void memory_map_defaults(std::uint16_t given_address, std::uint16_t root_code_size) {
    std::uint32_t start = static_cast<std::uint32_t>(given_address) + 256;
    start = (start + 255) & ~0xFFu;
    g_memory_map.root_code_start = static_cast<std::uint16_t>(start); // 0x10000 wraps to 0
    g_memory_map.root_code_size = root_code_size;
    g_memory_map.first_root_range_size = 256;
    g_memory_map.root_page_setting = 2;
    g_xpc_base = 14;
}

// One area of `size` bytes whose last address is `next_last`; `next_last` becomes the
// address below it. An area that would run below 0 is cut there (false).
static bool carve_down(std::int64_t &next_last, std::uint16_t size, AddrRange &out) {
    std::int64_t last = next_last;
    std::int64_t first = last - size + 1;
    if (last < 0) { // nothing left below
        out = AddrRange{0, 0, 0};
        return size == 0;
    }
    bool fits = first >= 0;
    if (!fits)
        first = 0;
    out = AddrRange{static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(last),
                    static_cast<std::uint32_t>(last - first + 1)};
    next_last = first - 1;
    return fits;
}

static AddrRange range_of(std::uint32_t first, std::uint32_t size) {
    return AddrRange{first, size ? first + size - 1 : first, size};
}

bool LayoutMemoryMap(std::uint32_t top, const MemoryLayoutInputs &in) {
    MemoryMap &m = g_memory_map;
    const std::uint32_t start = m.root_code_start;
    if (in.processor_selector == 1) {
        m.root_code = range_of(start, m.root_code_size);
        m.next_range = in.xmem_code_range;
    } else {
        m.root_code = range_of(start, m.first_root_range_size);
        std::uint32_t rest = m.root_code_size > m.first_root_range_size
                                 ? m.root_code_size - m.first_root_range_size
                                 : 0;
        m.next_range = range_of(start + m.first_root_range_size, rest);
    }

    std::uint32_t t;
    if (top != 0)
        t = top - 1;
    else
        t = in.processor_selector == 1 ? in.data_cache_offset : in.configured_top;
    m.data_top = t;

    std::int64_t next_last = t;
    bool ok = carve_down(next_last, in.free_size, m.free_area);
    ok = carve_down(next_last, in.astk_size, m.astk_area) && ok;
    ok = carve_down(next_last, in.heap_size, m.heap_area) && ok;
    return ok;
}

const MemoryMap &memory_map() { return g_memory_map; }

void set_code_limits(std::uint32_t last_root_code, std::uint32_t first_free) {
    g_memory_map.code_limit_low = last_root_code - 1;
    g_memory_map.code_limit_high = first_free + 1;
}

void set_program_start_words(std::uint32_t constant_start, std::uint32_t second_data_start) {
    g_memory_map.program_constant_start = constant_start;
    g_memory_map.program_second_data_start = second_data_start;
}
void set_root_data_base(std::uint32_t address) { g_memory_map.root_data_base = address; }
void set_xmem_code_base(std::uint32_t address) { g_memory_map.xmem_code_base = address; }
void set_page_switch_routine(std::uint16_t address) { g_memory_map.page_switch_routine = address; }
void set_bios_part_end(std::uint32_t physical_code_end, std::uint16_t root_code_end)
{
    g_memory_map.bios_part_code_end = physical_code_end;
    g_memory_map.bios_part_root_end = root_code_end;
}

void reset_addr_state() {
    g_window_start = 0xE000;
    g_xpc_base = 14;
    g_memory_map = MemoryMap{};
}
