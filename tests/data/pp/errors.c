#define
#define 9bad 1
#define F(a, a) a
#define G(a,) a
#define H(a b) a
#define I(a)x a
#define __LINE__ 2
#include "stdio.h"
#undef
#undef __TIME__
#undef NOT_A_MACRO
#define TWO(a, b) a b
TWO(1);
TWO(1, 2, 3);
x = "open;
y = "ends line"
"continues";
#pragma DATAWAITSUSED on
#pragma DATAWAITSUSED sometimes
#pragma nowarn end
#pragma nowarn
#define HL 1
#define BC 1
#pragma nowarn warns start
#warns "serious suppressed"
#pragma nowarn start
#pragma nowarn end
#pragma nowarn warnt bogus
#define DE 1
#warnt "trivial"
#pragma Vireon nowarn start
#define IX 1
