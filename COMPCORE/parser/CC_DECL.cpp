// CC_DECL: the whole-program parse and its top-level directives, the "#memmap" and "#class"
// option stacks, and the declaration flags records.
// One run of `parse_program` reads the program item by item until the input streams report the
// end of all input: a top-level directive of its own, an "interrupt_vector", or a
// declaration or function definition (handed to the declaration parser). Between items it
// writes pending xmem call stubs, lets the xmem code cache move on to the next page where no
// jump is needed, and offers pending library modules to the input.
#include "CC_DECL.h"

#include "codegen/CC_ASM.h"
#include "driver/CC_BOARD.h"
#include "CC_CHAIN.h"
#include "CC_DIRECT.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_GLINE.h"
#include "driver/CC_GO.h"
#include "CC_IMPORT.h"
#include "input/CC_IN.h"
#include "CC_INASM.h"
#include "CC_LABELS.h"
#include "core/CC_MOD.h"
#include "core/CC_OBJ.h"
#include "CC_PARSE.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"
#include "CC_WEB.h"
#include "linker/ORIGINS.h"
#include "linker/MAPFILE.h"
#include "core/SEAM_CODEGEN.h"
#include "core/SEAM_DECL.h"
#include "core/SEAM_LINKER.h"
#include "core/SEAM_PARSER.h"
#include "core/SEAM_TARGET.h"

#include <cctype>
#include <cstring>
#include <string>

namespace {

DeclFlags g_persistent, g_current, g_saved;

// Option stacks: entry 0 is the base; the index names the top entry.
uint16_t g_placement[kOptionStackSize] = {kPlaceAnymem};
uint16_t g_class[kOptionStackSize] = {kClassAuto};
int g_placement_top = 0;
int g_class_top = 0;
uint32_t g_threshold = kDefaultAnymemThreshold;

bool g_watch_function = false;
ProgramExtent g_extent;
ADDR24 g_bios_end_jump = kDummyAddress;
bool g_precompile = false;

// "#begincommon" ... "#endcommon": where the variable-data cache returns to.
struct CommonArea {
    bool open = false;
    ADDR24 resume = kDummyAddress;
    ADDR24 end = kDummyAddress;
} g_common;

constexpr uint32_t kMsgCommonNested = 2181;
constexpr uint32_t kMsgConstantExpected = 427;

bool watch() { return watch_compile(); }
bool bios_compile() { return compile_conditions().bios_marker != 0; }

bool input_used_up() { return end_of_input() && !*input_pointer(); }

// ---- option stacks ---------------------------------------------------------------------------

// The value after "anymem", when one follows: 0 to 65536, else 2012 and the threshold stays.
void read_anymem_threshold()
{
    (void)skip_blanks();
    const unsigned char c = static_cast<unsigned char>(*input_pointer());
    if (c == 0 || is_identifier_start(c))
        return;
    // Only what can begin a constant goes to the evaluator; anything else is one report.
    if (!std::isdigit(c) && !std::strchr("(-+~!'", c)) {
        error_here("%s", msg(kMsgConstantExpected));
        advance_input(1);
        return;
    }
    const int reports = errors_seen();
    const int32_t value = directive_long_constant_value(0);
    if (errors_seen() != reports)
        return;  // a faulty constant was reported; the threshold stays
    if (value < 0 || value > 65536) {
        error_here("%s", msg(kMsgThresholdRange));
        return;
    }
    g_threshold = static_cast<uint32_t>(value);
}

// placement = "root" | "xmem" | "anymem" [threshold]; nothing gives kPlaceNone.
uint16_t parse_placement_word()
{
    (void)skip_blanks();
    if (match_text("root"))
        return kPlaceRoot;
    if (match_text("xmem"))
        return kPlaceXmem;
    if (match_text("anymem")) {
        read_anymem_threshold();
        return kPlaceAnymem;
    }
    return kPlaceNone;
}

// class = "auto" | "static"; anything else is 2158 and kClassBad.
uint16_t parse_class_word()
{
    (void)skip_blanks();
    if (match_text("auto"))
        return kClassAuto;
    if (match_text("static"))
        return kClassStatic;
    error_here("%s", msg(kMsgBadClassOption));
    // The bad word (or character) is the option: it goes with its report.
    if (!is_identifier_start(static_cast<unsigned char>(*input_pointer()))) {
        if (*input_pointer())
            advance_input(1);
        return kClassBad;
    }
    while (is_identifier_char(static_cast<unsigned char>(*input_pointer())))
        advance_input(1);
    return kClassBad;
}

// stack option = "push" word | "pop" | word
void read_option_stack(uint16_t (*word)(), uint16_t *stack, int &top, uint16_t fallback)
{
    (void)skip_blanks();
    if (match_text("push")) {
        (void)skip_blanks();
        if (top >= kOptionStackSize - 1) {
            error_here("%s", msg(kMsgTooManyOptions));
            return;
        }
        const uint16_t v = word();
        stack[++top] = v == kPlaceNone ? fallback : v;
        return;
    }
    if (match_text("pop")) {
        (void)skip_blanks();
        if (top == 0) {
            error_here("%s", msg(kMsgNoOptionsToPop));
            return;
        }
        --top;
        return;
    }
    const uint16_t v = word();
    stack[top] = v == kPlaceNone ? fallback : v;
}

// ---- "#begincommon" / "#endcommon" -------------------------------------------------------------

// The common data area starts at the lowest variable address of the layout, with the current
// origin's page.
void begin_common()
{
    if (g_common.open) {
        error_here("%s", msg(kMsgCommonNested));
        return;
    }
    EmitCache &data = data_cache();
    g_common.open = true;
    g_common.resume = data.current;
    data.SetAddress(logical_to_addr(static_cast<uint16_t>(memory_map().data_top)));
}

// Back to where the variables stood before "#begincommon". Without an open common area there is
// nowhere sound to go back to: that is an error and nothing moves.
void end_common()
{
    if (!g_common.open) {
        error_here("%s", msg(kMsgCommonUnmatched));
        return;
    }
    EmitCache &data = data_cache();
    g_common.open = false;
    g_common.end = data.current;
    data.SetAddress(g_common.resume);
    if (addr_offset(g_common.end) < memory_map().heap_area.first)
        error_here("%s", msg(kMsgNoDeclarationSpace));
}

// ---- the top-level "#asm" block ----------------------------------------------------------------

// asm option = "const" | "nodebug" | "debug" | placement; anything else is 524.
struct AsmOptions {
    bool constant = false;
    bool xmem = false;
};

AsmOptions read_asm_options()
{
    AsmOptions o;
    for (;;) {
        (void)skip_blanks();
        const unsigned char c = static_cast<unsigned char>(*input_pointer());
        if (c == 0)
            return o;
        if (match_text("const")) {
            o.constant = true;
        } else if (match_text("nodebug")) {
            select_xmem_code_cache(g_current, 0);
        } else if (match_text("debug")) {
            select_xmem_code_cache(g_current, 1);
        } else if (const uint16_t p = parse_placement_word(); p != kPlaceNone) {
            apply_placement(p);
            if (p == kPlaceXmem)
                o.xmem = true;
        } else if (is_identifier_start(c)) {
            std::string word;
            while (is_identifier_char(static_cast<unsigned char>(*input_pointer()))) {
                word += *input_pointer();
                advance_input(1);
            }
            error_here(msg(kMsgUnknownAsmDirective), word.c_str());
        } else {
            // Reported as the option it stands for, not as a bracket of its own.
            const char text[2] = {static_cast<char>(c), 0};
            advance_input(1);
            error_here(msg(kMsgUnknownAsmDirective), text);
        }
    }
}

// "#asm" [option ...] at (line, column); the block up to "#endasm" follows.
void top_level_asm_block(uint16_t line, uint16_t column)
{
    match_bracket(10, line, column);
    g_persistent.word |= kDeclTopAsm;
    g_current = g_persistent;
    select_xmem_code_cache(g_current, 0);
    const AsmOptions options = read_asm_options();

    CodegenSeam &codegen = codegen_seam();
    codegen.set_code_address(root_code_cache().current);
    g_current.word &= ~kDeclXmem;
    if (options.xmem) {
        codegen.set_code_address(xmem_code_cache().current);
        g_current.word |= kDeclXmem;
        xmem_code_cache().Flush();
    }
    const char *file = get_error_file_name();
    breakpoint_tables().addSourceEntry(SourceTable::AsmSource, file ? file : "", current_line(),
                                       current_column(), current_code_cache().current);
    g_saved = g_current;
    parser_seam().parse_asm_block((g_current.word & kDeclDebugRst) ? 1 : 0, 0,
                                  options.constant ? 1 : 0);
    output_pending_stubs();
    reset_labels(kCloseLocal);
    clear_local_symbols();
}

// ---- one top-level item ----------------------------------------------------------------------

// Returns false when no top-level directive of this unit stands at the cursor.
bool top_level_directive(bool &interleave)
{
    const uint16_t line = current_line();
    const uint16_t column = current_column();
    if (match_text("#interleave")) {
        interleave = true;
    } else if (match_text("#nointerleave")) {
        interleave = false;
    } else if (match_text("#precompile")) {
        (void)skip_blanks();
        output_pending_stubs();
        // The list stands on this line: it is read before the modules take the input over.
        handle_precompile_directive();
        compile_pending_modules(true);
    } else if (match_text("#flushlib")) {
        (void)skip_blanks();
        output_pending_stubs();
        compile_pending_modules(true);
    } else if (match_text("#ximport")) {
        import_data_file(false);
    } else if (match_text("#zimport")) {
        import_data_file(true);
    } else if (match_text("#asm")) {
        top_level_asm_block(line, column);
    } else if (match_text("#rst") || match_text("#step")) {
        g_persistent.word |= kDeclDebug;
        clear_line();  // on to the next active line
    } else if (match_text("#norst") || match_text("#nostep")) {
        g_persistent.word &= ~kDeclDebug;
        clear_line();
    } else if (match_text("#begincommon")) {
        begin_common();
    } else if (match_text("#endcommon")) {
        end_common();
    } else if (match_text("#web_groups")) {
        parse_web_groups();
    } else if (match_text("#web_update")) {
        parse_web_update();
    } else if (match_text("#web")) {
        parse_web_declaration();
    } else {
        return false;
    }
    return true;
}

void parse_item(bool &interleave)
{
    if (*input_pointer() == '#' && top_level_directive(interleave))
        return;
    if (match_text("interrupt_vector")) {
        current_code_cache().Flush();
        (void)do_interrupt_vector();
        return;
    }
    // The one line of a watch compile.
    if (watch() && match_keyword("dkDoWatchExpression")) {
        compile_watch_expression();
        return;
    }
    if (declaration_seam().parse_external_declaration())
        return;
    error_here("%s", msg(kMsgGarbageAtEnd));
    // One run of characters goes; a character that no run takes goes alone, so that every
    // report is followed by progress.
    // The skipped run is garbage, not brackets to be matched later.
    const char *before = input_pointer();
    set_bracket_suppression(true);
    skip_token();
    set_bracket_suppression(false);
    if (input_pointer() == before && *before)
        advance_input(1);
}

// What follows every item: pending stubs, a page change where no jump is needed, and pending
// library modules.
void after_item(bool interleave)
{
    output_pending_stubs();
    xmem_code_cache().CrossPage(0, false);
    if (*input_pointer() && static_cast<unsigned char>(*input_pointer()) <= ' ')
        skip_blanks_across_lines();
    // The program text goes on from its next line after the library bodies: what is left of
    // this line ("int a; int b;") is read first, and the bodies wait for the line's end.
    if (*input_pointer() && !end_of_input())
        return;
    if (interleave || end_of_input())
        compile_pending_modules(false);
}

// Makes the jump left at the end of the BIOS code lead to the current (root) code address.
void complete_bios_end_jump()
{
    if (g_bios_end_jump == kDummyAddress || !bios_compile() || !IsCompilingBios())
        return;
    patch_code_word(addr_add(g_bios_end_jump, 1), addr_offset(root_code_cache().current));
    g_bios_end_jump = kDummyAddress;
}

}  // namespace

// ---- declaration flags ---------------------------------------------------------------------------

DeclFlags &persistent_decl_flags() { return g_persistent; }
DeclFlags &current_decl_flags() { return g_current; }
DeclFlags &saved_decl_flags() { return g_saved; }

// ---- placement and storage class -----------------------------------------------------------------

uint16_t current_placement() { return g_placement[g_placement_top]; }
uint16_t current_storage_class() { return g_class[g_class_top]; }
void set_storage_class(uint16_t code) { g_class[g_class_top] = code; }
int placement_stack_index() { return g_placement_top; }
int storage_class_stack_index() { return g_class_top; }
uint32_t anymem_threshold() { return g_threshold; }

void handle_memmap_directive()
{
    read_option_stack(&parse_placement_word, g_placement, g_placement_top, kPlaceRoot);
}

void handle_class_directive()
{
    read_option_stack(&parse_class_word, g_class, g_class_top, kClassAuto);
}

// Pushes left unbalanced by one compile must not shift the stacks of the next: both indexes
// go back to the base entry.
void reset_declaration_defaults()
{
    g_placement_top = 0;
    g_class_top = 0;
    g_placement[0] = kPlaceAnymem;
    g_class[0] = kClassAuto;
    g_threshold = kDefaultAnymemThreshold;
    g_persistent.word &= ~kDeclUseIx;
    g_watch_function = false;
    g_common = CommonArea{};
}

// Anymem: the room left in root code space is measured in 32 bits, so a threshold of 65536 and
// a sum beyond 0xFFFF mean what they say.
void apply_placement(uint16_t code)
{
    uint32_t &w = g_current.word;
    if (g_watch_function) {
        w &= ~kDeclXmem;
        return;
    }
    if (code & 0x04) {
        EmitCache &root = root_code_cache();
        const EmitOriginExtent &o = root.GetOrigin();
        // A Z180 compile without its BIOS's fixed origins has no root code origin: root code
        // may fill the logical space below the bank area the Z180 BIOS maps its RAM into.
        constexpr uint32_t kZ180RootCodeEnd = 0x8000;
        const uint32_t end = o.size != 0 || origin_switch() != 0
                                 ? uint32_t(addr_offset(o.start)) + o.size
                                 : kZ180RootCodeEnd;
        const uint32_t wanted = uint32_t(addr_offset(root.current)) + g_threshold;
        if (!bios_compile() && end < wanted)
            w |= kDeclXmem;
        else
            w &= ~kDeclXmem;
        return;
    }
    if (code & 0x02)
        w |= kDeclXmem;
    else
        w &= ~kDeclXmem;
}

namespace {

// Whether the cache of a "debug" (1) or "nodebug" (2) origin option is bound to an xmem code
// origin of that option: only then does it take xmem code (a root code origin may carry the
// option too).
bool serves_xmem_code(const EmitCache *cache, uint8_t option)
{
    if (!cache)
        return false;
    const OriginDirective *o = origin_table().at(cache->origin_index);
    return o && o->cache == cache && o->kind == kOriginXmemCode && o->debug == option;
}

// Xmem code goes to the cache of its kind of origin when the program declared one, else to the
// xmem code cache of all code. The cache left closes its block; what is being emitted right now
// stays where it is until the code address is set again.
void use_xmem_code_cache(EmitCache *alternative, uint8_t option)
{
    EmitCache *wanted = &live_caches().xmem_code;
    if (serves_xmem_code(alternative, option))
        wanted = alternative;
    if (&xmem_code_cache() == wanted)
        return;
    xmem_code_cache().Flush();
    set_xmem_code_cache(*wanted);
}

}  // namespace

// Debug code in effect (requested, with the RST 28 kernel) sets bits 4 and 5 and goes to the
// xmem code of a "debug" origin; anything else clears them and goes to a "nodebug" origin's.
void select_xmem_code_cache(DeclFlags &flags, int debug)
{
    if (debug && gDebugRstState == 0) {
        flags.word |= kDeclDebug | kDeclDebugRst;
        use_xmem_code_cache(debug_code_cache(), 1);
    } else {
        flags.word &= ~(kDeclDebug | kDeclDebugRst);
        use_xmem_code_cache(nodebug_code_cache(), 2);
    }
}

void set_watch_function_compile(bool on) { g_watch_function = on; }

const ProgramExtent &program_extent() { return g_extent; }

void reset_program_extent()
{
    g_extent.root_start = 0;
    g_extent.xmem_start = 0;
    g_extent.root_end = 0x80000;
    g_extent.xmem_end = 0x80000;
}
void set_bios_end_jump(ADDR24 site) { g_bios_end_jump = site; }
ADDR24 bios_end_jump() { return g_bios_end_jump; }
void pragma_compile_program()
{
    if (!bios_compile())
        return;
    CodegenSeam &codegen = codegen_seam();
    const bool in_xmem = &current_code_cache() == &xmem_code_cache();
    if (in_xmem)
        codegen.set_code_address(root_code_cache().current);
    // jp 0: completed at the end of the parse
    g_bios_end_jump = current_code_cache().current;
    emit_code_byte(0xC3);
    emit_code_byte(0x00);
    emit_code_byte(0x00);
    if (in_xmem)
        codegen.set_code_address(xmem_code_cache().current);
    root_code_cache().Flush();
    xmem_code_cache().Flush();
    root_variable_cache().Flush();
    constant_cache().Flush();
    if (gTargetlessCompile || errors_seen() == 0) {
        if (gTargetlessCompile)
            init_exit_hook();
        SetCompilingBios(1);
        set_compile_mode(0);
    }
    // Where the BIOS part ends, in the memory map: its highest code (page * 4096 + offset) and
    // its root code address.
    if (errors_seen() == 0) {
        const ADDR24 highest = origin_table().HighestCodeAddress();
        const uint32_t physical = (uint32_t(addr_xpc(highest)) * 0x1000u + addr_offset(highest)) &
                                  kPhysicalMask;
        set_bios_part_end(physical, addr_offset(root_code_cache().current));
    }
}

bool precompile_in_progress() { return g_precompile; }
void set_precompile_in_progress(bool on) { g_precompile = on; }

// ---- the whole-program parse -----------------------------------------------------------------------

void parse_program()
{
    gObjectPool.push_mark();
    struct PopMark {
        ~PopMark() { gObjectPool.pop_mark(); }
    } pop_mark;
    g_extent.root_start = root_code_cache().current;
    g_extent.xmem_start = xmem_code_cache().current;
    g_bios_end_jump = kDummyAddress;  // a site left by a compile that ended early is stale
    set_bios_part_end(0, 0);

    set_up_board_and_processor();
    select_xmem_code_cache(g_persistent, 1);

    bool interleave = true;
    while (!end_of_input()) {
        // The blanks and lines before the item are read first: the directives on them
        // ("#step", "#memmap", "#useix", ...) belong to this item, not the one after it.
        if (static_cast<unsigned char>(*input_pointer()) <= ' ')
            skip_blanks_across_lines();
        g_persistent.word &= ~kDeclPerItemMask;
        g_current = g_persistent;
        apply_placement(current_placement());
        g_saved = g_current;
        select_xmem_code_cache(g_saved, (g_saved.word & kDeclDebug) ? 1 : 0);
        reserve_symbol_areas();
        clear_local_symbols();
        if (!input_used_up())
            parse_item(interleave);
        after_item(interleave);
    }

    g_precompile = false;
    // The last function or label of the program ends here.
    if (const std::string last = take_previous_map_name(); !last.empty() && !watch())
        mapfile_end_function(last, current_code_cache().current);
    if (!watch()) {
        // Chain routines load XPC and call into the window: they run from root code.
        codegen_seam().set_code_address(root_code_cache().current);
        const ADDR24 before = root_code_cache().current;
        emit_function_chains();
        if (!addr_equal(root_code_cache().current, before))
            record_listing_range(before, root_code_cache().current, kListProgramCode);
        emit_web_tables();
    }
    complete_bios_end_jump();
    if (!watch())
        check_open_conditionals();
    // The compile finishes the xmem code cache of all code and each origin option's cache.
    use_xmem_code_cache(nullptr, 0);
    g_extent.root_end = root_code_cache().current;
    g_extent.xmem_end = xmem_code_cache().current;
}

// ---- the parser seam ------------------------------------------------------------------------------

namespace {

class TopLevelParser : public ParserSeam {
public:
    // Assembly and the lexer's pointers belong to the block reader in front of this seam.
    void parse_asm_block(int asm_flag, int single_line, int root_cache) override
    {
        ::parse_asm_block(asm_flag, single_line, root_cache);
    }
    void parse_program() override { ::parse_program(); }
    void web_reset() override { ::web_reset(); }
    void reset_declaration_defaults() override { ::reset_declaration_defaults(); }
    int function_count() const override { return compiled_function_count(); }
    LexerInputPointers save_input() override { return {input_pointer(), input_pointer(), line_start()}; }
    void point_input_at(const char *text) override { set_input_pointer(text); }
    void restore_input(const LexerInputPointers &saved) override { set_input_pointer(saved.input); }
    void error_here(const char *text) override { ::error_here("%s", text); }
    void fatal_here(const char *text) override { ::fatal_here("%s", text); }
};

}  // namespace

ParserSeam &top_level_parser_seam()
{
    static TopLevelParser parser;
    return parser;
}
