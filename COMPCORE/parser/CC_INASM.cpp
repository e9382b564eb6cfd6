// CC_INASM: the block reader for "#asm" ... "#endasm" and for the generated lines of `outasm`.
// Every line is first taken whole, with the source line and column of each character, and then
// handed to the assembler statement by statement; a trial pass records the lines it measured and
// the real pass assembles those records again, so the input is read exactly once.
// Called through the parser seam (top-level loop, statement parser, `outasm`).
#include "CC_INASM.h"

#include "codegen/CC_ASM.h"
#include "CC_DECL.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_GLINE.h"
#include "CC_HIER.h"
#include "input/CC_IN.h"
#include "CC_LABELS.h"
#include "linker/CC_RELOC.h"
#include "codegen/CC_STUBS.h"
#include "codegen/CC_Z80.h"
#include "codegen/CC_Z80CALL.h"
#include "codegen/CC_Z80GEN.h"
#include "linker/MAPFILE.h"
#include "core/SEAM_PARSER.h"
#include "core/SEAM_TARGET.h"

#include <cstring>
#include <string>

namespace {

// ---- state ------------------------------------------------------------------------------------

uint32_t g_trial_depth = 0;
ADDR24 g_last_reserve = kDummyAddress;
uint16_t g_statement_marker = 0;
const char *g_statement_cursor = nullptr;

const AsmLineText g_no_line;
AsmLineText *g_line = nullptr;   // the line being assembled
std::size_t g_statement_offset = 0;  // where its current statement begins

std::function<void()> g_c_compiler;
LinePositionInstaller g_position_installer;

std::string file_name()
{
    const char *name = get_error_file_name();
    return name ? name : "";
}

// Source position of a column (1-based) of the current statement.
void position_of(int column, int &line, int &col)
{
    if (!g_line || g_line->lines.empty()) {
        line = current_line();
        col = current_column();
        return;
    }
    std::size_t index = g_statement_offset + static_cast<std::size_t>(column > 0 ? column - 1 : 0);
    if (index >= g_line->lines.size())
        index = g_line->lines.size() - 1;
    line = g_line->lines[index];
    col = g_line->columns[index];
}

// ---- the assembler's host while a line is assembled ----------------------------------------------

class CompileAsmHost : public AsmHost {
public:
    void asm_error(int, int column, const std::string &text) override
    {
        if (g_trial_depth)
            return;
        int line = 0, col = 0;
        position_of(column, line, col);
        report_error(line, col, "%s", text.c_str());
    }
    void asm_warning(int level, int, int column, const std::string &text) override
    {
        if (g_trial_depth)
            return;
        int line = 0, col = 0;
        position_of(column, line, col);
        report_warning(level, line, col, "%s", text.c_str());
    }
    int asm_source_line() override
    {
        int line = 0, col = 0;
        position_of(1, line, col);
        return line;
    }
    uint32_t asm_code_address() override { return current_code_cache().current; }
    void asm_emit_byte(uint8_t b) override { emit_code_byte(b); }
    // A defined label of the function, else of the program.
    std::optional<uint32_t> asm_lookup(const std::string &name) override
    {
        const QBFixupRec *label = find_label(name.c_str(), kLabelLocal | kLabelGlobal);
        if (!label || !label->defined)
            return std::nullopt;
        return label->address;
    }
    // A trial pass only measures: no fix-ups are queued and no labels defined.
    uint32_t asm_reference(const std::string &name, uint32_t address, uint16_t flags,
                           uint8_t opcode, int32_t addend, const LcallFixup *lcall) override
    {
        if (g_trial_depth)
            return kDummyAddress;
        return reference_label(name.c_str(), address, flags, static_cast<uint16_t>(addend), opcode,
                               lcall);
    }
    // A local label's record starts afresh as a plain local label once its references are
    // patched; a global label is a label of the program. A redefinition is reported by the
    // label tables, so the assembler is told nothing more.
    bool asm_define(const std::string &name, uint32_t value, bool global, bool) override
    {
        if (g_trial_depth)
            return true;
        if (global) {
            define_label(name.c_str(), value, kLabelGlobal);
        } else {
            define_asm_label(name.c_str(), value, kLabelLocal);
            define_label(name.c_str(), value, kLabelLocal);
        }
        return true;
    }
    bool asm_c_statement(const char *&cursor) override
    {
        if (!g_c_compiler || !g_line || g_line->text.empty())
            return false;
        const char *base = g_line->text.c_str();
        if (cursor <= base || cursor > base + g_line->text.size())
            return false;
        set_asm_context(2);
        wrap_line_in_braces(cursor - 1);
        // A measured block compiles its C statements twice; they report in the real pass only.
        struct BackToAssembly {
            bool reported = reporting();
            ~BackToAssembly()
            {
                set_reporting(reported);
                set_asm_context(0);
            }
        } back;
        if (g_trial_depth)
            set_reporting(false);
        g_c_compiler();
        cursor = g_line->text.c_str() + g_line->text.size();
        return true;
    }
    // "sizeof" in an operand: the C operand is read from the assembly text, within its line,
    // and compiled for its type only. A measured block reads it twice and reports once.
    std::optional<int32_t> asm_sizeof(const char *&cursor) override
    {
        const LexerPlace place = lexer_place();
        const bool crossing_off = no_line_crossing();
        const bool reported = reporting();
        struct Back {
            const LexerPlace &place;
            bool crossing_off;
            bool reported;
            ~Back()
            {
                restore_lexer_place(place);
                set_no_line_crossing(crossing_off);
                set_reporting(reported);
                gObjectPool.pop_mark();
            }
        } back{place, crossing_off, reported};
        gObjectPool.push_mark();
        set_no_line_crossing(true);
        if (g_trial_depth)
            set_reporting(false);
        set_input_pointer(cursor);
        object *node = gObjectPool.new_object();
        const std::optional<uint16_t> size = parse_sizeof_operand(node);
        cursor = input_pointer();
        if (!size)
            return std::nullopt;
        return *size;
    }
    // Jumps and calls go through the code generator's branch emitter (long forms, bouncers).
    bool asm_branch(uint8_t opcode, uint32_t target, const std::string &name, bool call) override
    {
        return assemble_branch(opcode, target, name, call);
    }
    // The block-move replacement calls through the named-call emitter, without its flush of the
    // pending value: HL, DE and BC are set up for the move, and nothing may come between them and
    // the call. A measuring pass takes the assembler's own bytes, which have the same size.
    bool asm_named_call(const std::string &name) override
    {
        if (g_trial_depth || asm_dry_run_depth() > 0)
            return false;
        (void)gen_call_routine(name.c_str());
        return true;
    }
    int32_t asm_stack_depth() override { return stack_depth_bytes(); }
    void asm_line_entry(uint32_t address) override
    {
        if (g_trial_depth)
            return;
        int line = 0, col = 0;
        position_of(1, line, col);
        breakpoint_tables().addSourceEntry(SourceTable::Line, file_name(), line, col, address);
    }
    // A global label opens a map entry and closes the one before it. The block is assembled
    // after it was read, so the label's own line comes from the recorded positions.
    void asm_function_label(const std::string &name, uint32_t address,
                            const std::string &previous) override
    {
        if (g_trial_depth)
            return;
        if (!previous.empty())
            mapfile_end_function(previous, address);
        int line = 0, col = 0;
        position_of(1, line, col);
        std::optional<MapSourcePosition> where;
        if (reading_input() && !input_file_name().empty())
            where = MapSourcePosition{input_file_name(), line};
        mapfile_add_function(name, address, false, where);
    }
    void asm_call_target(const std::string &name) override
    {
        if (!g_trial_depth)
            mapfile_add_call(name);
    }
};

CompileAsmHost g_host;

// ---- line capture -----------------------------------------------------------------------------

// The lexer's current line from its start, with the positions of the characters from the input
// pointer on (characters before it take the first position). Leaves the pointer at the line end.
AsmLineText capture_source_line()
{
    AsmLineText line;
    const char *start = line_start();
    const char *p = input_pointer();
    line.start = static_cast<std::size_t>(p - start);
    line.text.assign(start);
    line.text.reserve(line.text.size() + 2);  // room for the "}" of a C statement
    const std::size_t n = line.text.size();
    line.lines.assign(n, current_line());
    line.columns.assign(n, current_column());
    for (std::size_t i = line.start; i < n; ++i) {
        line.lines[i] = current_line();
        line.columns[i] = current_column();
        advance_input(1);
    }
    for (std::size_t i = 0; i < line.start && line.start < n; ++i) {
        line.lines[i] = line.lines[line.start];
        line.columns[i] = line.columns[line.start];
    }
    return line;
}

// Hands every statement of the line to the assembler.
void assemble_captured(AsmLineText &line, int asm_flag)
{
    AsmLineText *outer = g_line;
    const std::size_t outer_offset = g_statement_offset;
    struct Restore {
        AsmLineText *line;
        std::size_t offset;
        ~Restore()
        {
            g_line = line;
            g_statement_offset = offset;
        }
    } restore{outer, outer_offset};

    line.text.reserve(line.text.size() + 2);  // the "}" of a C statement must not move the text
    g_line = &line;
    g_statement_marker = 2;
    const char *cursor = line.text.c_str() + line.start;
    for (;;) {
        g_statement_offset = static_cast<std::size_t>(cursor - line.text.c_str());
        g_statement_cursor = cursor;
        if (!assemble_statement(cursor, asm_flag != 0))
            break;
    }
    clear_condition_state();
}

// ---- reading a block --------------------------------------------------------------------------

struct BlockEnd {
    bool found = false;
    uint16_t line = 0;
    uint16_t column = 0;
};

bool at_block_end(BlockEnd &end)
{
    while (is_blank_char(*input_pointer()))
        advance_input(1);
    const uint16_t line = current_line();
    const uint16_t column = current_column();
    if (!match_text("#endasm"))
        return false;
    end = BlockEnd{true, line, column};
    return true;
}

bool input_used_up() { return end_of_input() && !*input_pointer(); }

// Reads lines up to "#endasm" (or the end of input, which reports the open brackets, the "#asm"
// among them) and assembles them; with `record`, keeps every assembled line there.
void read_block(int asm_flag, std::vector<AsmLineText> *record, BlockEnd &end)
{
    for (;;) {
        next_active_line();
        if (input_used_up()) {
            report_unmatched_brackets();
            return;
        }
        if (static_cast<unsigned char>(*input_pointer()) <= ' ')
            skip_blanks_across_lines();
        if (input_used_up()) {
            report_unmatched_brackets();
            return;
        }
        if (at_block_end(end))
            return;
        // A directive line is run here; the line after it (which may end the block) comes back
        // macro-expanded.
        dispatch_directive();
        if (at_block_end(end))
            return;
        if (input_used_up()) {
            report_unmatched_brackets();
            return;
        }
        AsmLineText line = capture_source_line();
        if (record)
            record->push_back(line);  // as read: assembling may rewrite a C statement's line
        assemble_captured(line, asm_flag);
    }
}

// ---- the trial pass ---------------------------------------------------------------------------

// A copy of the xmem code cache that measures: what it would write out is dropped.
class TrialCache : public XmemCache {
public:
    void WriteOut(uint32_t, uint32_t, const uint8_t *) override {}
};

// Only for a block in the xmem code cache whose position lies within 4096 bytes of the last byte
// of its segment, when the segment names a follow-on origin that exists.
bool trial_wanted(EmitCache &cache, int single_line)
{
    if (single_line || &cache != &xmem_code_cache() || !cache.is_bound())
        return false;
    const EmitOriginExtent &o = cache.GetOrigin();
    const int32_t size = static_cast<int32_t>(o.size);
    const ADDR24 last = cache.direction > 0 ? addr_add(o.start, size - 1)
                                            : addr_add(o.start, 1 - size);
    if (addr_to_physical(cache.current) + 4096 <= addr_to_physical(last))
        return false;
    const EmitOriginTable *table = emit_origin_table();
    return table && table->origin_at(o.follower) != nullptr;
}

bool is_internal_error(const char *text)
{
    static constexpr char kPrefix[] = "Internal error:";
    return text && std::strncmp(text, kPrefix, sizeof kPrefix - 1) == 0;
}

uint32_t distance(ADDR24 from, ADDR24 to)
{
    return addr_to_physical(to) - addr_to_physical(from);
}

// ---- the parser seam ------------------------------------------------------------------------------

class AsmPathSeam : public ParserSeam {
public:
    ParserSeam *rest = nullptr;

    void parse_asm_block(int asm_flag, int single_line, int root_cache) override
    {
        ::parse_asm_block(asm_flag, single_line, root_cache);
    }
    void parse_program() override { parser().parse_program(); }
    void web_reset() override
    {
        if (rest)
            rest->web_reset();
    }
    void reset_declaration_defaults() override
    {
        if (rest)
            rest->reset_declaration_defaults();
    }
    int function_count() const override { return rest ? rest->function_count() : 0; }

    LexerInputPointers save_input() override
    {
        return LexerInputPointers{input_pointer(), g_statement_cursor, line_start()};
    }
    void point_input_at(const char *text) override
    {
        set_input_pointer(text);
        g_statement_cursor = text;
    }
    void restore_input(const LexerInputPointers &saved) override
    {
        if (!saved.line_start || !saved.input || saved.input < saved.line_start) {
            set_input_pointer(saved.input);
        } else {
            set_input_pointer(saved.line_start);
            advance_input(static_cast<std::size_t>(saved.input - saved.line_start));
        }
        g_statement_cursor = saved.statement;
    }
    void error_here(const char *text) override { ::error_here("%s", text); }
    // An internal error (its text begins "Internal error:") is reported and the compile goes
    // on; `outasm` then drops the line it refused. Anything else ends the compile.
    void fatal_here(const char *text) override
    {
        if (is_internal_error(text))
            ::error_here("%s", text);
        else
            ::fatal_here("%s", text);
    }

private:
    ParserSeam &parser()
    {
        if (!rest)
            refuse_missing_parser();
        return *rest;
    }
};

AsmPathSeam g_seam;

// The block reader serves `outasm`, with the top-level parser behind it, from the first
// compile on.
struct InstallAtStartUp {
    InstallAtStartUp() { install_asm_path(nullptr); }
} g_install_at_start_up;

}  // namespace

// ---- public state -----------------------------------------------------------------------------

uint32_t asm_trial_depth() { return g_trial_depth; }
ADDR24 last_reserve_address() { return g_last_reserve; }
void set_last_reserve_address(ADDR24 address) { g_last_reserve = address; }
uint16_t statement_context_marker() { return g_statement_marker; }
void set_statement_context_marker(uint16_t marker) { g_statement_marker = marker; }
const AsmLineText &current_asm_line() { return g_line ? *g_line : g_no_line; }
void set_c_statement_compiler(std::function<void()> compile) { g_c_compiler = std::move(compile); }
void set_line_position_installer(LinePositionInstaller install)
{
    g_position_installer = std::move(install);
}

void install_asm_path(ParserSeam *rest)
{
    g_seam.rest = rest && rest != &g_seam ? rest : &top_level_parser_seam();
    set_parser_seam(&g_seam);
}

ParserSeam &asm_path_parser_seam() { return g_seam; }

void reset_asm_path_state()
{
    reset_unique_labels();
    reset_statement_marks();
    reset_loop_stack();
    reset_pending_output();
    g_trial_depth = 0;
    g_last_reserve = kDummyAddress;
    g_statement_marker = 0;
    g_statement_cursor = nullptr;
    g_line = nullptr;
    g_statement_offset = 0;
}

// ---- C statements inside assembly ---------------------------------------------------------------

// "c x = 1;"  becomes  "{ x = 1;}"  with the positions of the line kept for every character.
const char *wrap_line_in_braces(const char *position)
{
    if (!g_line)
        return position;
    AsmLineText &line = *g_line;
    const char *base = line.text.c_str();
    if (position < base || position >= base + line.text.size())
        return position;
    const std::size_t at = static_cast<std::size_t>(position - base);
    line.text[at] = '{';
    line.text.push_back('}');
    const uint16_t last_line = line.lines.empty() ? current_line() : line.lines.back();
    const uint16_t last_column = line.columns.empty() ? current_column() : line.columns.back();
    line.lines.push_back(last_line);
    line.columns.push_back(static_cast<uint16_t>(last_column + 1));
    if (g_position_installer) {
        g_position_installer(line, at);
    } else {
        set_input_pointer(line.text.c_str());
        advance_input(at);
    }
    return line.text.c_str() + at;
}

// ---- the block reader -------------------------------------------------------------------------

void parse_asm_block(int asm_flag, int single_line, int root_cache)
{
    // 1. Remember what the block changes.
    AsmHost *outer_host = asm_host();
    EmitCache &entry_cache = current_code_cache();
    const uint16_t saved_mode = asm_context();
    struct Restore {
        AsmHost *host;
        EmitCache &cache;
        uint16_t mode;
        bool active = true;
        ~Restore()
        {
            if (!active)
                return;  // only on the way out by an exception
            set_asm_host(host);
            set_current_code_cache(cache);
            set_asm_context(mode);
        }
    } restore{outer_host, entry_cache, saved_mode};

    set_asm_host(&g_host);
    clear_condition_state();
    set_asm_context(0);
    const ADDR24 start = entry_cache.current;
    ADDR24 list_start = start;
    BlockEnd end;
    bool trial = false;
    bool moved = false;
    uint32_t measured = 0;

    // 2. The root code cache for the block.
    if (root_cache)
        set_current_code_cache(root_code_cache());

    // 3.-4. Measure first near the end of an xmem segment; then place the block.
    if (!root_cache && trial_wanted(entry_cache, single_line)) {
        trial = true;
        std::vector<AsmLineText> lines;
        {
            TrialCache scratch;
            static_cast<EmitCache &>(scratch) = xmem_code_cache();
            set_current_code_cache(scratch);
            ++g_trial_depth;
            struct EndTrial {
                ~EndTrial()
                {
                    if (g_trial_depth)
                        --g_trial_depth;
                    set_current_code_cache(xmem_code_cache());
                }
            } end_trial;
            read_block(asm_flag, &lines, end);
            measured = distance(start, scratch.current);
        }
        EmitCache &xmem = xmem_code_cache();
        g_last_reserve = xmem.current;
        set_asm_context(saved_mode);
        xmem.EnsureRoom(measured, true);
        moved = !addr_equal(xmem.current, g_last_reserve);
        set_asm_context(0);
        list_start = moved ? xmem.current : start;
        // A C statement points the lexer at its recorded line; what follows reads the input
        // where the block ended, not the records (which end with this scope).
        struct BackToBlockEnd {
            LexerPlace place = lexer_place();
            ~BackToBlockEnd() { restore_lexer_place(place); }
        } back_to_block_end;
        for (AsmLineText &line : lines)
            assemble_captured(line, asm_flag);
    }

    // 5. The block loop (or the one generated line).
    if (!trial) {
        if (single_line) {
            AsmLineText line;
            line.text = input_pointer();
            line.text.reserve(line.text.size() + 2);
            assemble_captured(line, asm_flag);
        } else {
            read_block(asm_flag, nullptr, end);
        }
    }
    if (end.found) {
        breakpoint_tables().addSourceEntry(SourceTable::AsmSource, file_name(), end.line, 1,
                                           current_code_cache().current);
        match_bracket(11, end.line, end.column);
    }

    // 6. A block larger than measured.
    EmitCache &xmem = xmem_code_cache();
    if (trial && &current_code_cache() == &xmem && !moved) {
        const uint32_t real = distance(start, xmem.current);
        if (real > measured)
            serious_warning_here(kAsmBlockMiscalculated, measured, real);
    }

    // 7. Back to the cache the block began in.
    g_last_reserve = xmem.current;
    if (root_cache)
        set_current_code_cache(entry_cache);
    set_asm_host(outer_host);
    restore.active = false;

    // 8. Code that ran past the end of the 64 KB logical space wrapped around.
    if (!moved && addr_offset(entry_cache.current) < addr_offset(start))
        error_here(msg(kMsgAsmOverranXmemPage));

    // 9. The block's lines are used up; a generated line belongs to its caller.
    if (!single_line)
        clear_line();
    set_asm_context(saved_mode);

    // 10.-12. Room for what follows, and the listing, unless this is a generated line.
    const bool generated = generated_line_active();
    if (!generated && g_trial_depth == 0)
        xmem.EnsureRoom(32, true);
    clear_condition_state();
    if (!generated && g_trial_depth == 0)
        record_listing_range(list_start, entry_cache.current,
                             IsCompilingBios() ? kListBiosCode : kListProgramCode);
}
