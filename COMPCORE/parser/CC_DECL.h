// CC_DECL: the whole-program parse (`parse_program`) and the top-level directives it reads
// itself ("#asm" blocks, "#interleave", "#precompile", "#flushlib", "#rst"/"#step",
// "#begincommon"/"#endcommon", ...), the two option stacks behind "#memmap" and "#class", and
// the declaration flags records that carry placement and debug mode into the parsers of
// declarations and functions. Board and processor set-up before the first item is CC_BOARD.
// Declarations and function definitions at top level go to the declaration parser through
// `DeclarationSeam` (SEAM_DECL.h); the function chains (CC_CHAIN) emitted at the end.
// Called by the compile sequence (CC_FIOZ8) through the parser seam, and by the directive
// dispatcher (CC_IN) for "#memmap", "#class", "#debug" and "#nodebug".
#pragma once

#include "core/CC_ADDR.h"

#include <cstdint>

// ---- declaration flags ---------------------------------------------------------------------------

// Flag word bits. Before each top-level item bits 6-10 and 13-21 of the persistent word are
// cleared; the others carry over from item to item.
enum : uint32_t {
    kDeclXmem = 0x0001,         // the item's code goes to xmem
    kDeclPointerChecks = 0x0008,  // stores through pointers are checked at run time
    kDeclDebug = 0x0010,        // debug code requested ("#rst"/"#step", "debug")
    kDeclDebugRst = 0x0020,     // debug code in effect (the RST 28 debug kernel)
    kDeclUseIx = 0x0800,        // "#useix"
    kDeclTopAsm = 0x2000,       // the item is a top-level "#asm" block
    kDeclPerItemMask = 0x003FE7C0,  // bits 6-10 and 13-21
};

// Three words; only the first (the flag word) is interpreted here, the others travel with it.
struct DeclFlags {
    uint32_t word = 0;
    uint32_t second = 0;
    uint32_t third = 0;
};

// The persistent record survives from item to item ("#rst", "#norst", "#step", "#nostep",
// "#useix" act on it); the current one compiles the item; the saved one is the copy taken
// before the item is dispatched.
DeclFlags &persistent_decl_flags();
DeclFlags &current_decl_flags();
DeclFlags &saved_decl_flags();

// ---- placement and storage class -----------------------------------------------------------------

// Placement codes.
enum : uint16_t { kPlaceRoot = 0, kPlaceXmem = 2, kPlaceAnymem = 4, kPlaceNone = 0x80 };
// Storage-class codes of the "#class" stack.
enum : uint16_t { kClassAuto = 2, kClassStatic = 3, kClassBad = 0x80 };
// Each stack holds its base entry and at most 19 pushed values.
inline constexpr int kOptionStackSize = 20;

uint16_t current_placement();
uint16_t current_storage_class();
// Overwrites the top entry (the watch-expression compile).
void set_storage_class(uint16_t code);
int placement_stack_index();
int storage_class_stack_index();

// "anymem": code goes to xmem once less than this many bytes are left in root code space.
// 0 to 65536; counted in 32 bits so that 65536 is 65536 and the sum never wraps.
inline constexpr uint32_t kDefaultAnymemThreshold = 0x2000;
uint32_t anymem_threshold();

// The bodies of "#memmap" and "#class" after the directive word (the dispatcher calls them).
//   "#memmap" [push|pop] [root|xmem|anymem [threshold]]
//   "#class"  [push|pop] auto|static
void handle_memmap_directive();
void handle_class_directive();

// Compile start: both stacks back to their base entry, anymem and auto on top, the default
// threshold, bit 11 of the persistent word cleared.
void reset_declaration_defaults();

// Sets bit 0 of the current flag word from a placement code: root, xmem, or for anymem xmem
// when less than the threshold is left in root code space (root on a BIOS compile).
void apply_placement(uint16_t code);

// Sets (debug requested with the RST 28 kernel) or clears bits 4 and 5 of the record, and makes
// the xmem code cache of an xmem origin declared "debug" ("nodebug") the xmem code cache; without
// such an origin the one xmem code cache takes both kinds.
void select_xmem_code_cache(DeclFlags &flags, int debug);

// While the function of a watch expression is compiled its code goes to root whatever the
// placement says (set by the function-definition parser).
void set_watch_function_compile(bool on);

// ---- the whole-program parse -----------------------------------------------------------------------

void parse_program();

// The parser as the compile frame sees it: the whole-program parse, the declaration defaults
// and the reporters (assembly blocks and the lexer's pointers are served by the block reader,
// which puts this seam behind itself: `install_asm_path`).
class ParserSeam;
ParserSeam &top_level_parser_seam();

// Root and xmem code cache addresses when the parse started and when it ended.
struct ProgramExtent {
    ADDR24 root_start = 0, xmem_start = 0;
    ADDR24 root_end = 0, xmem_end = 0;
};
const ProgramExtent &program_extent();
// Before a BIOS compile: starts 0, ends at the top of the 20-bit space, so nothing a compile that
// ends before its parse leaves behind reads as the previous program's code.
void reset_program_extent();

// "#pragma CompileProgram" leaves a jump at the end of the BIOS code; the end of the parse
// makes it lead to the code that follows. No site: kDummyAddress.
void set_bios_end_jump(ADDR24 site);
ADDR24 bios_end_jump();

// "#pragma CompileProgram" in a BIOS compile: the BIOS part ends with a jump (completed at the
// end of the parse), the caches are flushed and, without errors, the program part begins and
// the memory map records where the BIOS part ended (`MemoryMap::bios_part_code_end`).
void pragma_compile_program();

// Set by "#precompile", cleared at the end of the parse.
bool precompile_in_progress();
void set_precompile_in_progress(bool on);

// Message ids of this unit.
enum : uint32_t {
    kMsgNoDeclarationSpace = 407,
    kMsgGarbageAtEnd = 408,
    kMsgTooManyOptions = 428,
    kMsgNoOptionsToPop = 429,
    kMsgUnknownAsmDirective = 524,
    kMsgThresholdRange = 2012,
    kMsgBadClassOption = 2158,
    kMsgCommonUnmatched = 2180,
};
