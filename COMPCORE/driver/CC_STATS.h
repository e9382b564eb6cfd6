// CC_STATS: the statistics of the last compile, for the IDE's compile statistics window: where
// root code, extended-memory code, root data, root constants, the stack and the watch code lie
// in the target's memory, how many source lines the compile read, the millisecond ticks at its
// start and end, and the ID of the board it was for. `compile_and_load` records them; every
// value is 0 before the first compile.
// Std-only.
#pragma once

#include <cstdint>

struct CompileStatistics {
    uint16_t root_code_base = 0, root_code_top = 0;
    // Target addresses (XPC << 16 | offset).
    uint32_t xmem_code_base = 0, xmem_code_top = 0;
    // Root data is allocated downwards: the base is the higher address.
    uint16_t root_data_base = 0, root_data_top = 0;
    // Target addresses; only with separate instruction and data space.
    uint32_t root_constants_base = 0, root_constants_top = 0;
    uint16_t stack_base = 0, stack_top = 0;
    uint16_t watch_code_base = 0, watch_code_top = 0;
    uint32_t lines_compiled = 0;
    uint32_t start_tick = 0, end_tick = 0;
    uint16_t board_id = 0;
    // Set by the first compile: before it there is no area at all.
    bool recorded = false;
    bool operator==(const CompileStatistics &) const = default;
};

const CompileStatistics &compile_statistics();
// Replaces the record whole (tests, and a host that shows a record of its own).
void set_compile_statistics(const CompileStatistics &statistics);

// Records the statistics of one compile: the clock is read when it is made, and again, with
// the areas the caches reached, the line count and the board, when it goes out of scope,
// whichever way the compile ends. `root_code_base` and `root_data_base` are where the
// compile's root code and root data began (a BIOS compile takes its caches' own windows).
class CompileStatisticsScope {
public:
    CompileStatisticsScope();
    ~CompileStatisticsScope();
    CompileStatisticsScope(const CompileStatisticsScope &) = delete;
    CompileStatisticsScope &operator=(const CompileStatisticsScope &) = delete;
    void SetBases(uint32_t root_code_base, uint32_t root_data_base);

private:
    void Record();
    uint32_t m_start;
    bool m_bases = false;
    uint32_t m_root_code_base = 0, m_root_data_base = 0;
};
