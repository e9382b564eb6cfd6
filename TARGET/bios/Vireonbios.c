/* Vireonbios.c: the BIOS of the board stand-in, compiled before every program.

   Memory (flash at physical 0, 512 KB; RAM at 0x80000, 512 KB):
     root code       logical 0x0000-0x5FFF   flash 0x00000
     root constants  logical 0x6000-0x7FFF   flash 0x06000
     root variables  logical 0x8000-0xCFFF   RAM   0x80000   (DATASEG 0x78, from the top down)
     stack           logical 0xD000-0xDFFF   RAM   0x8D000   (STACKSEG 0x80)
     xmem code       XPC window 0xE000       flash 0x10000 on (XPC 0x02 at its start)
     watch code      XPC window 0xE000       RAM   0xF0000   (XPC 0xE2; the debugger's watches)

   At reset the processor runs from 0: the BIOS sets the MMU, the stack and the interrupt
   vectors, clears the variables and the stack, runs the initialisation chain, and then takes
   the jump that the compiler completes at "#pragma CompileProgram" to the program's start-up
   block (which calls dkStartup, main or dkInitDebug and premain, and __xexit).

   The program ends through __xexit (exit): the exit code goes to L, the XPC to H and the
   address of the call to HL', and the instruction labelled __xexit__ writes the code to the
   exit port, which ends the run on the stand-in. Run-time errors end the same way with their
   code (rterror_). Until the debug kernel exists, its entry points return at once and the
   debugger's "rst 0x28" hook returns with every register and flag intact.

   The Z180 target ("#pragma Zilog180", TARGETCPU Z180) has no origin directives and no
   vector page: the compiler gives its BIOS a fixed layout, which the Z180 blocks below map with
   the MMU (CBAR 0xE8):
     logical 0x0000-0x7FFF   common area 0   flash 0x00000   code and constants
     logical 0x8000-0xCFFF   bank area       RAM   0x80000   (BBR 0x78) variables, from the top
     logical 0xD000-0xDFFF   bank area       RAM   0x85000   the stack
     logical 0xE000-0xFFFF   common area 1   the xmem window: CBR is the page, as XPC is on the
                                             Vireon (xmem code from flash 0x10000, watch code
                                             in RAM at 0xF0000)
   The restarts sit at their Z80 addresses: "rst 0x28" (the debugger's hook) returns at once,
   "rst 0x30" jumps through the vector "vrst30" (to the universal bouncer "_b_all", which an
   xmem function's root stub calls), "rst 0x38" is run-time error 242, every other one run-time
   error 241. The console and exit ports are the board's external I/O addresses, written with
   "out (c),a". */

#if TARGETCPU == F80
#rcodorg rootcode 0x0 0x0000 0x6000 apply
#rconorg rootconst 0x0 0x6000 0x2000 apply
#rvarorg rootdata 0x0 0xCFFF 0x5000 apply
#xcodorg xmemcode 0x2 0xE000 0x70000 apply
#wcodorg watchcode 0xE2 0xE000 0x1000 apply
#endif

/* The program's information record and its build time stamp, which the start-up block keeps
   behind the root constants. Naming them here also hands the program compile the places where
   the BIOS's constants and variables end, so that the program's go on below them. */
extern char prog_param;
extern unsigned long kx_timestamp;

#if TARGETCPU == Z180
/* "jp _b_all", written by the start-up (and by the program's start-up block again). */
char vrst30[3];
#endif

/*** the reset entry and the interrupt vectors ***/
#if TARGETCPU == Z180
#asm
; The Z180 restarts: "rst v" calls address v.
bios_reset::
        jp biosmain             ; 0x00 reset
        align 8
        ld a,241                ; 0x08 rst 0x08
        jp bios_vector_error
        align 8
        ld a,241                ; 0x10 rst 0x10
        jp bios_vector_error
        align 8
        ld a,241                ; 0x18 rst 0x18
        jp bios_vector_error
        align 8
        ld a,241                ; 0x20 rst 0x20
        jp bios_vector_error
        align 8
        ret                     ; 0x28 rst 0x28: the debugger's hook
        align 8
        jp vrst30               ; 0x30 rst 0x30: an xmem function's root stub
        align 8
        ld a,242                ; 0x38 rst 0x38 (and interrupt mode 1)
        jp bios_vector_error

bios_vector_error:
        pop hl
        dec hl
        jp rterror_

; _b_ret: the return of an xmem function entered through _b_all: the caller's CBR back, every
; register as the function left it.
_b_ret::
        ex (sp),hl              ; L: the caller's CBR
        push af
        ld a,l
        out0 (0x38),a
        pop af
        pop hl
        ret

; _b_jump: a jump into xmem code of another page: "call _b_jump" is followed by the page and the
; offset. CBR takes the page and the jump goes on; every register and flag stays as it was.
_b_jump::
        ex (sp),hl              ; HL: the page byte behind the call
        push af
        ld a,(hl)
        out0 (0x38),a
        inc hl
        ld a,(hl)
        inc hl
        ld h,(hl)
        ld l,a
        pop af
        ex (sp),hl              ; the target on the stack, HL as it was
        ret

; _b_page: xmem code that runs past the window's first 4 KB calls this with the next page in A:
; CBR moves on by one page and the call returns 4 KB lower in the window, to the same physical
; address behind the call. Changes A and F.
_b_page::
        out0 (0x38),a
        ex (sp),hl
        ld a,h
        sub 0x10
        ld h,a
        ex (sp),hl
        ret

; _b_all: the universal bouncer, entered through "rst 0x30" from an xmem function's root stub
; (rst 0x30; the page; the function's offset). The function is entered with the caller's
; registers and the stack [_b_ret] [the caller's CBR] [the caller's return] [the arguments]: the
; 4 bytes above the caller's return that the function's frame counts. Its "ret" reaches _b_ret,
; which puts the caller's CBR back and returns to the caller.
_b_all::
        push hl                 ; room for _b_ret
        push hl                 ; room for the function's address
        push af
        push hl
        push de                 ; [DE] [HL] [AF] [fn] [_b_ret] [stub] [the caller's return]
        ld hl,10
        add hl,sp               ; HL: the stub's slot, which gets the caller's CBR
        ld e,(hl)
        inc hl
        ld d,(hl)               ; DE: the stub's page byte
        ld (hl),0
        dec hl
        in0 a,(0x38)
        ld (hl),a               ; the caller's CBR
        dec hl
        ld (hl),_b_ret >> 8
        dec hl
        ld (hl),_b_ret & 0xFF
        ld a,(de)
        out0 (0x38),a           ; CBR: the function's page
        inc de
        inc de
        ld a,(de)
        dec hl
        ld (hl),a               ; the function's offset, high byte
        dec de
        ld a,(de)
        dec hl
        ld (hl),a               ; and low byte
        pop de
        pop hl
        pop af
        ret                     ; into the function
#endasm
#else
#asm
bios_reset::
        jp biosmain

; The vector page (IIR and EIR point at it): 16 entries of 16 bytes. "rst v" calls entry
; 2 * v; "syscall" entry 0x60. The debugger's hook "rst 0x28" returns at once; "rst 0x38"
; (also what unprogrammed flash, 0xFF, executes) is run-time error 242; every other entry is
; an unexpected interrupt, run-time error 241.
        align 256
bios_vectors::
        ld a,241                ; 0x00 periodic interrupt
        jp bios_vector_error
        align 16
        ld a,241                ; 0x10
        jp bios_vector_error
        align 16
        ld a,241                ; 0x20 rst 0x10
        jp bios_vector_error
        align 16
        ld a,241                ; 0x30 rst 0x18
        jp bios_vector_error
        align 16
        ld a,241                ; 0x40 rst 0x20
        jp bios_vector_error
        align 16
        ret                     ; 0x50 rst 0x28: the debugger's hook
        align 16
        ld a,241                ; 0x60 syscall
        jp bios_vector_error
        align 16
        ld a,242                ; 0x70 rst 0x38
        jp bios_vector_error
        align 16
        ld a,241                ; 0x80
        jp bios_vector_error
        align 16
        ld a,241                ; 0x90
        jp bios_vector_error
        align 16
        ld a,241                ; 0xA0
        jp bios_vector_error
        align 16
        ld a,241                ; 0xB0
        jp bios_vector_error
        align 16
        ld a,241                ; 0xC0
        jp bios_vector_error
        align 16
        ld a,241                ; 0xD0
        jp bios_vector_error
        align 16
        ld a,241                ; 0xE0
        jp bios_vector_error
        align 16
        ld a,241                ; 0xF0
        jp bios_vector_error

; The fault is the instruction before the pushed return address ("rst" is one byte).
bios_vector_error:
        pop hl
        dec hl
        jp rterror_
#endasm
#endif

/*** the exit and the run-time errors ***/
#if TARGETCPU == Z180
#asm
; __xexit (also exit): ends the program with the code stacked as a C argument. H is the
; common area 1 bank (CBR), the Z180's nearest to the Vireon's XPC.
__xexit::
exit::
        pop de                  ; the return address: the call is the 3 bytes before it
        pop hl                  ; the code
        dec de
        dec de
        dec de
        push de
        exx
        pop hl                  ; HL' = the call
        exx
        in0 a,(0x38)
        ld h,a
        jr bios_exit_trap

; rterror_: ends the program with run-time error A at the fault address HL.
rterror_::
        push hl
        exx
        pop hl                  ; HL' = the fault
        exx
        ld l,a
        in0 a,(0x38)
        ld h,a
bios_exit_trap:
        ld a,l
        ld bc,0xFFF2
__xexit__::
        out (c),a               ; the exit port: the stand-in ends the run here
        jr __xexit__
#endasm
#else
#asm
; __xexit (also exit): ends the program with the code stacked as a C argument.
__xexit::
exit::
        pop de                  ; the return address: the call is the 3 bytes before it
        pop hl                  ; the code
        dec de
        dec de
        dec de
        push de
        exx
        pop hl                  ; HL' = the call
        exx
        ld a,xpc
        ld h,a
        jr bios_exit_trap

; rterror_: ends the program with run-time error A at the fault address HL.
rterror_::
        push hl
        exx
        pop hl                  ; HL' = the fault
        exx
        ld l,a
        ld a,xpc
        ld h,a
bios_exit_trap:
        ld a,l
__xexit__::
        ioe ld (0xFFF2),a       ; the exit port: the stand-in ends the run here
        jr __xexit__
#endasm
#endif

/*** the debug kernel's entry points ***/
#asm
; dkStartup: called first by the program's start-up block; dkInitDebug before premain when
; the program is compiled for debugging. Nothing to set up until the debug kernel exists.
dkStartup::
        ret

dkInitDebug::
        ret
#endasm

#asm
; dkDoWatchExpression: where every watch's code ends (the debugger compiles a watch expression
; into a call of it). The watch's code pushes the result block as the routine's arguments, so
; that at the entry SP+2 holds it: word 0, the type code, the declarator word, the value (a
; 16-bit value in its low word). The routine returns HL at the block, through which the debug
; kernel reads the result as soon as the watch's code has returned.
dkDoWatchExpression::
        ld hl,2
        add hl,sp
        ret
#endasm

/*** the initialisation chain ***/
/* Every program's "#GLOBAL_INIT" segments and chained functions join this chain (the program's
   compile links its part onto the end of the BIOS's routine), so the start-up runs them once
   before the program's start-up block, whichever routine that block calls. */
#makechain _GLOBAL_INIT

/*** the start-up: the last code before the jump to the program ***/
#if TARGETCPU == Z180
#asm
biosmain::
        ld a,0xE8               ; first the areas (BBR and CBR are 0: every page as it was),
        out0 (0x3A),a           ; CBAR: the bank area from 0x8000, common area 1 from 0xE000
        ld a,0x78               ; then their banks
        out0 (0x39),a           ; BBR: logical 0x8000 at physical 0x80000
        ld a,0x02
        out0 (0x38),a           ; CBR: the window at the first page of xmem code
        ld sp,0xE000
        ld hl,0x8000            ; the variables and the stack are cleared
        ld de,0x8001
        ld bc,0x5FFF
        ld (hl),0
        ldir
        ld a,0xC3               ; "rst 0x30" reaches the universal bouncer from here on
        ld (vrst30),a
        ld hl,_b_all
        ld (vrst30+1),hl
        im 1
        call _GLOBAL_INIT       ; the program's initialisation, with or without debug hooks
bios_ready::
#endasm
#else
#asm
biosmain::
        ld a,0xD8
        ioi ld (0x13),a         ; SEGSIZE: the data segment from 0x8000, the stack from 0xD000
        ld a,0x78
        ioi ld (0x12),a         ; DATASEG: logical 0x8000 at physical 0x80000
        ld a,0x80
        ioi ld (0x11),a         ; STACKSEG: logical 0xD000 at physical 0x8D000
        ld sp,0xE000
        ld a,bios_vectors >> 8
        ld iir,a
        ld eir,a
        ld hl,0x8000            ; the variables and the stack are cleared
        ld de,0x8001
        ld bc,0x5FFF
        ld (hl),0
        ldir
        ipset 0                 ; interrupts on: the program runs at priority 0
        call _GLOBAL_INIT       ; the program's initialisation, with or without debug hooks
bios_ready::
#endasm
#endif

#pragma CompileProgram
