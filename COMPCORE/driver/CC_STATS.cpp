#include "CC_STATS.h"

#include "core/CC_ADDR.h"
#include "CC_BOARD.h"
#include "CC_FIOZ8.h"
#include "input/CC_GLINE.h"
#include "core/SEAM_TARGET.h"

namespace {

CompileStatistics g_statistics;

// The last address a cache wrote: below its next position for a rising cache, above it for a
// falling one. A cache that wrote nothing gives the address before its start, so that its
// size comes out 0.
uint32_t last_written(const EmitCache &cache)
{
    return addr_add(cache.current & 0xFFFFFF, cache.direction > 0 ? -1 : 1);
}

} // namespace

const CompileStatistics &compile_statistics() { return g_statistics; }

void set_compile_statistics(const CompileStatistics &statistics) { g_statistics = statistics; }

CompileStatisticsScope::CompileStatisticsScope() : m_start(GetMillisecondClock())
{
    g_statistics.start_tick = m_start;
}

void CompileStatisticsScope::SetBases(uint32_t root_code_base, uint32_t root_data_base)
{
    m_bases = true;
    m_root_code_base = root_code_base;
    m_root_data_base = root_data_base;
}

CompileStatisticsScope::~CompileStatisticsScope()
{
    try {
        Record();
    } catch (...) {
        // The statistics are for showing; a compile never fails over them.
    }
}

void CompileStatisticsScope::Record()
{
    CompileStatistics s;
    s.recorded = true;
    s.start_tick = m_start;
    const EmitCache &root = root_code_cache();
    s.root_code_base = addr_offset(m_bases ? m_root_code_base : root.window_start);
    s.root_code_top = addr_offset(last_written(root));
    const EmitCache &xmem = xmem_code_cache();
    s.xmem_code_base = memory_summary().xmem_code_start & 0xFFFFFF;
    s.xmem_code_top = last_written(xmem);
    const EmitCache &data = data_cache();
    s.root_data_base = addr_offset(m_bases ? m_root_data_base : data.window_start);
    s.root_data_top = addr_offset(last_written(data));
    if (separate_instruction_data()) {
        const EmitCache &constants = constant_cache();
        s.root_constants_base = constants.window_start & 0xFFFFFF;
        s.root_constants_top = last_written(constants);
    }
    s.stack_base = addr_offset(memory_summary().stack_origin);
    s.stack_top = addr_offset(memory_summary().stack_top);
    s.watch_code_base = addr_offset(memory_summary().watch_first);
    s.watch_code_top = addr_offset(memory_summary().watch_last);
    s.lines_compiled = line_fetch_count();
    s.board_id = compile_board().board_type;
    s.end_tick = GetMillisecondClock();
    g_statistics = s;
}
