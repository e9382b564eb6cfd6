#use "util.lib"
#useix
#include "x.h"
#undef __DATE__
#undef _BOARD_TYPE_
#pragma nowarn end
#pragma DATAWAITSUSED maybe
#pragma Frobnicate Zilog180
#define HL 1
#define X 1
#define X 2
X;
#define G(a,b) a+b
G(1);
G(1,
  2) tail;
#if 0
#error "skipped"
#endif
#pragma nowarn start junk
#define HL 2
G(3, 4) open_args_at_end G(5,
