// Simulator speed: runs long loops on the CPU core and reports simulated instructions and
// clock cycles per second of host time (counters "instr/s" and "cycles/s"). The board's clock
// is in the tens of MHz, so cycles/s above 30 M means faster than the real board.
#include "SimBoard.h"
#include "SimCpu.h"

#include <benchmark/benchmark.h>

#include <vector>

using namespace vsim;

namespace {

// A mix typical of compiled code: loads through hl and ix, 8- and 16-bit arithmetic, a
// call and return, push/pop and a conditional jump. The loop never ends; each benchmark
// iteration runs a fixed number of instructions.
//   0x0000: ld sp,0xDFF0 ; ld ix,0x8100 ; ld hl,0x8100 ; ld de,0
//   loop:   ld a,(hl) ; add a,(ix+1) ; ld (hl),a ; inc hl ; ld bc,3 ; add hl,bc ;
//           push hl ; call sub ; pop hl ; ld a,h ; cp 0xC0 ; jp c,loop ; ld h,0x81 ; jp loop
//   sub:    ex de,hl ; inc de ; ex de,hl ; ret
const std::vector<uint8_t> kMixed{
    0x31, 0xF0, 0xDF, 0xDD, 0x21, 0x00, 0x81, 0x21, 0x00, 0x81, 0x11, 0x00, 0x00,
    // loop at 0x000D
    0x7E, 0xDD, 0x86, 0x01, 0x77, 0x23, 0x01, 0x03, 0x00, 0x09, 0xE5, 0xCD, 0x30, 0x00,
    0xE1, 0x7C, 0xFE, 0xC0, 0xDA, 0x0D, 0x00, 0x26, 0x81, 0xC3, 0x0D, 0x00,
};
const std::vector<uint8_t> kSub{0xEB, 0x13, 0xEB, 0xC9}; // at 0x0030

// A tight register loop: ld b,0 ; loop: add a,b ; inc c ; djnz loop ; jr loop(start)
//   0x0000: ld b,0 ; 0x0002: add a,b ; inc c ; djnz 0x0002 ; jr 0x0000
const std::vector<uint8_t> kTight{0x06, 0x00, 0x80, 0x0C, 0x10, 0xFC, 0x18, 0xF8};

void set_up(SimBoard &board, CpuState &s, const std::vector<uint8_t> &code, bool with_sub)
{
    board.io_write(IoSpace::internal, kPortSegSize, 0xD8);
    board.io_write(IoSpace::internal, kPortDataSeg, 0x78);
    board.io_write(IoSpace::internal, kPortStackSeg, 0x80);
    (void)board.load(0, code);
    if (with_sub)
        (void)board.load(0x30, kSub);
    cpu_reset(s);
}

void run_loop(benchmark::State &state, const std::vector<uint8_t> &code, bool with_sub)
{
    SimBoard board;
    CpuState s;
    set_up(board, s, code, with_sub);
    constexpr uint64_t kPerIteration = 1000000;
    uint64_t instructions = 0, cycles = 0;
    for (auto _ : state) {
        RunResult r = cpu_run(s, board, kPerIteration);
        instructions += r.instructions;
        cycles += r.cycles;
        if (r.reason != StopReason::limit) {
            state.SkipWithError("the loop stopped");
            break;
        }
    }
    state.counters["instr/s"] =
        benchmark::Counter(double(instructions), benchmark::Counter::kIsRate);
    state.counters["cycles/s"] = benchmark::Counter(double(cycles), benchmark::Counter::kIsRate);
}

void BM_SimMixedLoop(benchmark::State &state)
{
    run_loop(state, kMixed, true);
}
BENCHMARK(BM_SimMixedLoop)->Unit(benchmark::kMillisecond);

void BM_SimTightLoop(benchmark::State &state)
{
    run_loop(state, kTight, false);
}
BENCHMARK(BM_SimTightLoop)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
