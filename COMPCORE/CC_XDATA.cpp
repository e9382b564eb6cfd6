// CC_XDATA: the xmem code-space allocator and the separate xdata area.
// Every reservation starts where the xmem code cache stands, so data and the xmem code that
// follows share one running end; only the origin decides whether there is room.
#include "CC_XDATA.h"

#include "CC_FIOZ8.h"
#include "CC_IN.h"
#include "EMITCACHE.h"
#include "SEAM_CODEGEN.h"

#include <algorithm>
#include <vector>

namespace {

uint32_t g_xmem_pointer = 0;  // physical start of the last reservation
uint32_t g_xdata_pointer = 0;  // next free physical address of the separate xdata area
uint32_t g_xdata_bound = 0;
bool g_separate = false;

// True when `count` bytes from the physical address `at` lie inside the origin. Data always
// grows upward; an origin that a falling cache fills has no room for it.
bool origin_has_room(const EmitOriginExtent &o, int direction, uint32_t at, uint32_t count)
{
    if (o.size == 0 || direction < 0)
        return false;
    const uint64_t low = addr_to_physical(o.start);
    const uint64_t end = low + o.size;  // one past the last byte
    return at >= low && uint64_t(at) + count <= end;
}

}  // namespace

void init_xdata_allocator(uint32_t bound, std::optional<uint32_t> separate_start)
{
    g_xdata_bound = bound;
    g_separate = separate_start.has_value();
    g_xmem_pointer = addr_to_physical(xmem_code_cache().current);
    g_xdata_pointer = g_separate ? (*separate_start & kPhysicalMask) : g_xmem_pointer;
}

uint32_t next_xdata_address()
{
    return g_separate ? g_xdata_pointer : addr_to_physical(xmem_code_cache().current);
}

std::optional<ADDR24> allocCodeSpace(uint32_t count)
{
    EmitCache &cache = xmem_code_cache();
    EmitOriginTable *table = emit_origin_table();
    // A chain of followers that leads back to an origin already tried has no room either.
    std::vector<int32_t> tried;
    for (;;) {
        g_xmem_pointer = addr_to_physical(cache.current);
        const EmitOriginExtent *origin = table ? table->origin_at(cache.origin_index) : nullptr;
        if (origin && origin_has_room(*origin, cache.direction, g_xmem_pointer, count)) {
            const ADDR24 at = physical_to_addr(g_xmem_pointer);
            codegen_seam().set_code_address(at);
            return at;
        }
        tried.push_back(cache.origin_index);
        const int32_t next = origin ? origin->follower : -1;
        if (!table || !table->origin_at(next) ||
            std::find(tried.begin(), tried.end(), next) != tried.end())
            break;
        table->select_origin(next);
    }
    error_here("%s", msg(kMsgOutOfXmemCode));
    return std::nullopt;
}

std::optional<uint32_t> reserve_xdata_space(uint32_t count)
{
    if (!g_separate) {
        const std::optional<ADDR24> at = allocCodeSpace(count);
        if (!at)
            return std::nullopt;
        return addr_to_physical(*at);
    }
    if (uint64_t(g_xdata_pointer) + count > g_xdata_bound) {
        error_here("%s", msg(kMsgOutOfXmemRam));
        return std::nullopt;
    }
    const uint32_t at = g_xdata_pointer;
    g_xdata_pointer += count;
    return at;
}

uint32_t xmem_allocation_pointer() { return g_xmem_pointer; }
uint32_t xdata_bound() { return g_xdata_bound; }
bool separate_xdata_mode() { return g_separate; }
