/* default.h: read before every program. It brings in the libraries every program has without
   a "#use" of its own: the runtime routines that generated code calls, the console (printf),
   the string functions, exit, the bit and port functions, the runtime of costatements, the
   routines of published variables ("#web") and the reads and writes of extended memory. A
   compile takes from them only the modules the program uses, so a program without float links
   no float routine. */
/* The Z180 set has no stack-relative loads: its functions reach their arguments and locals
   through an IX frame. */
#if TARGETCPU == Z180
#useix
#endif

/* The null pointer constant. */
#ifndef NULL
#define NULL ((void *)0)
#endif

#use "INT16.LIB"
#use "INT32.LIB"
#use "FLOAT.LIB"
#use "RUNTIME.LIB"
#use "BITIO.LIB"
#use "STDIO.LIB"
#use "STRING.LIB"
#use "SYS.LIB"
#use "COSTATE.LIB"
#use "WEB.LIB"
#use "Z180.LIB"
#use "XMEM.LIB"
