// CC_Z80PIO: the port built-ins `WrPortI` (port, shadow, value), `RdPortI` (port),
// `BitWrPortI` (port, shadow, value, bit) and `BitRdPortI` (port, bit) on the internal I/O
// registers. When every argument that must be known at compile time is (a constant, or the
// address of a static object), the F80 gets them inline with the "ioi" prefix, a write to a
// shadow byte held together with the port write between "ipset 1" and "ipres"; otherwise, and
// always on the Z180, they are ordinary calls of the runtime library's functions of those names
// (TARGET/lib/BITIO.LIB). An address not placed yet is written as 0 with a label reference on
// its two bytes, which the linker completes.
// Called by the call level of the expression compiler with the built-in's code; the argument
// list stands at the input pointer.
#pragma once

#include <cstdint>

enum : int {
    kBuiltinWrPortI = 32,
    kBuiltinRdPortI = 33,
    kBuiltinBitRdPortI = 34,
    kBuiltinBitWrPortI = 35,
};

// Compiles the built-in of the code (any other code compiles nothing). Whether the arguments are
// known is found by reading them once with their code thrown away (no label, fix-up or listing
// survives it), then they are read again for real. RdPortI and BitRdPortI leave the byte read
// or the bit's 0/1 in HL.
void gen_io_builtin_call(int code);
// Above 0 while a port built-in's arguments are read on trial: calls compiled then are "lcall",
// the longest form, so the trial never finds less code than the real reading will emit.
int builtin_long_call_nesting();

enum : uint32_t { kMsgCgShadowRequired = 2156 };  // "Shadow register required for this operation."
