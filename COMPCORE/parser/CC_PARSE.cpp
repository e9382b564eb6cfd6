// CC_PARSE: function definitions and statements, compiled straight into code as they are read.
// One function at a time: its state (frame sizes, the one epilogue, the loop and switch state of
// its statements) lives here and is reset at the start and end of every definition. Prototypes
// live in one program-wide area of 8-byte entries; a program compile starts from the area the
// BIOS compile left, so the BIOS's functions keep their prototypes.
#include "CC_PARSE.h"

#include "codegen/CC_ASMDIR.h"
#include "CC_CHAIN.h"
#include "CC_COSTATE.h"
#include "CC_DECL.h"
#include "CC_DECLR.h"
#include "CC_DIRECT.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_GLINE.h"
#include "CC_HIER.h"
#include "input/CC_IN.h"
#include "CC_INASM.h"
#include "driver/CC_INIT.h"
#include "CC_LABELS.h"
#include "core/CC_MOD.h"
#include "core/CC_OBJ.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"
#include "codegen/CC_CONV.h"
#include "codegen/CC_Z80.h"
#include "codegen/CC_Z80BLT.h"
#include "codegen/CC_Z80CALL.h"
#include "codegen/CC_Z80FUNC.h"
#include "codegen/CC_Z80GEN.h"
#include "codegen/CC_Z80LOAD.h"
#include "codegen/CC_Z80PIO.h"
#include "linker/EMITCACHE.h"
#include "linker/MAPFILE.h"
#include "linker/ORIGINS.h"
#include "core/SEAM_CODEGEN.h"
#include "core/SEAM_DECL.h"
#include "core/SEAM_PARSER.h"
#include "core/SEAM_TARGET.h"
#include "core/guiExceptions.h"
#include "settings/guiKXPreferences.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <vector>

namespace {

// ---- prototypes and what is known of each function ----------------------------------------------

enum : uint8_t { kPassWord = 2, kPassLong = 4, kPassOther = 253, kEndVarargs = 254, kEnd = 255 };

// Placement words of a function: 0 root, 2 xmem, 4 not said.
enum : uint8_t { kPlacedRoot = 0, kPlacedXmem = 2, kPlacedUnsaid = 4 };

// The declaration-flag bits a function keeps from its first declaration.
constexpr uint32_t kKeptFlagBits = kDeclTyped | kDeclFirstTime | kDeclCofuncMask | kDeclSingleUser |
                                   kDeclLongCall;

struct FunctionInfo {
    uint16_t prototype = 0;  // offset of its list; 0 none
    uint8_t placement = kPlacedUnsaid;
    bool defined = false;
    uint32_t flags = 0;  // the kept bits
};

struct Tables {
    std::vector<PrototypeEntry> prototypes = std::vector<PrototypeEntry>(1);  // entry 0 unused
    std::map<std::string, FunctionInfo> functions;
    std::vector<LocalVariableRecord> locals;
};
Tables g_tables;
Tables g_bios_tables;  // what the last BIOS compile left

// ---- the function being compiled -------------------------------------------------------------------

struct CurrentFunction {
    std::string name = "GLOBAL";
    symbol *sym = nullptr;
    int32_t return_type = 0;
    uint32_t return_word = 0;   // the declarator levels of the returned value
    int parameters = 0;         // the first local symbols
    uint16_t parameter_bytes = 0;
    uint16_t auto_bytes = 0;
    // The register variables: their bytes, saved below the automatics while the function runs
    // and restored when it returns, so that a recursive call leaves the caller's as they were;
    // and the end of the one area they share.
    uint16_t register_bytes = 0;
    uint16_t register_area_end = 0;
    uint16_t struct_slot = 0;
    bool ix_frame = false;
    bool varargs = false;
    bool in_body = false;
    bool epilogue_emitted = false;
    ADDR24 epilogue = kDummyAddress;
    uint16_t closing_line = 0, closing_column = 0;
    // Where the definition stands, kept in its function record: the debugger binds a watch to
    // the function by it.
    uint16_t source_line = 0;
    uint8_t source_column = 0;
    // Nested blocks take their automatics on the stack below the function's frame while they
    // run: the bytes the open blocks hold now, the depth each label was defined at and the
    // depths forward gotos left from, per label name.
    uint16_t block_bytes = 0;
    // A cofunction's blocks keep theirs in its instances instead, below its own automatics.
    uint16_t instance_block_bytes = 0;
    std::map<std::string, uint16_t> label_depths;
    std::map<std::string, std::set<uint16_t>> forward_gotos;
};
CurrentFunction g_fn;
int g_nesting = 0;
int g_bodies = 0;          // function bodies compiled in this compile
bool g_body_read = false;  // the last definition's body was read (compiled or refused)

// ---- statement state -----------------------------------------------------------------------------------

// The loop contexts: continue and break allowed. The code generator's loop stack keeps the limit
// and its messages; this copy is walked by break and continue.
std::vector<LoopEntry> g_loops;
// The block depth of each loop context: a break or continue leaving deeper blocks releases them.
std::vector<uint16_t> g_loop_depths;

// Pending "jp" of breaks and continues; a loop or switch patches what was added since it began.
std::vector<BranchRecord> g_breaks, g_continues;

struct CaseEntry {
    int16_t value;
    ADDR24 target;
};
std::vector<CaseEntry> g_cases;

// The switch being compiled: its stretch of the case table and its default.
struct SwitchState {
    bool open = false;
    std::size_t start = 0;
    int count = 0;
    ADDR24 default_address = kDummyAddress;
    bool default_seen = false;
    uint16_t depth = 0;  // the block depth its dispatch runs at
};
SwitchState g_switch;

// ---- small helpers -----------------------------------------------------------------------------------

ADDR24 here() { return current_code_cache().current; }

bool debug_code() { return (current_decl_flags().word & kDeclDebug) != 0; }
bool debug_record() { return (current_decl_flags().word & kDeclDebugRst) != 0; }
bool interrupt_function() { return (current_decl_flags().word & kDeclInterruptMask) != 0; }
bool compiling_bios() { return compile_conditions().bios_marker != 0; }

bool returns_void() { return g_fn.return_type == kTypeVoid && g_fn.return_word == 0; }
// The bytes between the stack pointer and the frame base once the prologue ran: the automatics
// and, below them, the saved register variables.
uint16_t frame_bytes() { return static_cast<uint16_t>(g_fn.auto_bytes + g_fn.register_bytes); }
bool returns_struct() { return g_fn.return_type >= kTypeFirstTag && g_fn.return_word == 0; }

void patch_here(const BranchRecord &branch)
{
    if (branch.opcode)
        patch_jump(branch, here());
}

char peek_here()
{
    skip_blanks_across_lines();
    return *input_pointer();
}

bool input_finished() { return end_of_input() && *input_pointer() == 0; }

// A character the statement needs: consumed, or reported and taken as if it were there.
void expect_char(char c)
{
    const char text[2] = {c, 0};
    skip_blanks_across_lines();
    if (!match_text(text))
        report_missing_char(c);
}

bool at_word(const char *word)
{
    skip_blanks_across_lines();
    return match_keyword(word) != 0;
}

void nop_after_label()
{
    if (debug_code() && !precompile_in_progress())
        outasm("nop");
}

uint8_t passing_class(int32_t type, uint32_t word)
{
    if (decl_level(word, 0) != kDeclNone || type < 4)
        return kPassWord;
    if (type == kTypeLong || type == kTypeUnsignedLong)
        return kPassLong;
    return kPassOther;
}

FunctionInfo &info_of(const char *name) { return g_tables.functions[name]; }

// Reads over a group whose opening character was consumed (a refused body).
void skip_group(char open, char close)
{
    int depth = 1;
    set_bracket_suppression(true);
    while (depth > 0) {
        skip_blanks_across_lines();
        const char c = *input_pointer();
        if (c == 0)
            break;
        if (c == open)
            ++depth;
        else if (c == close)
            --depth;
        advance_input(1);
    }
    set_bracket_suppression(false);
}

// ---- saved expression text (the for statement) ----------------------------------------------------------

// The text of an expression with each character's source line and column: owned here, so a
// second reading never goes through a line buffer the input may have moved or refilled since.
struct SavedText {
    AsmLineText line;
    bool present = false;
};

// Reads the expression at the input up to `terminator` at bracket depth 0 (not consumed), across
// lines, into `out` with the terminator appended. False at the end of the input.
bool capture_expression(char terminator, SavedText &out)
{
    out = SavedText{};
    int depth = 0;
    char quote = 0;
    for (;;) {
        if (*input_pointer() == 0) {
            if (quote)
                return false;
            skip_blanks_across_lines();
            if (*input_pointer() == 0)
                return false;
            out.line.text += ' ';
            out.line.lines.push_back(current_line());
            out.line.columns.push_back(current_column());
            continue;
        }
        const char c = *input_pointer();
        if (!quote && depth == 0 && c == terminator)
            break;
        if (quote) {
            if (c == '\\' && input_pointer()[1]) {
                out.line.text += c;
                out.line.lines.push_back(current_line());
                out.line.columns.push_back(current_column());
                advance_input(1);
            } else if (c == quote) {
                quote = 0;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(' || c == '[' || c == '{') {
            ++depth;
        } else if (c == ')' || c == ']' || c == '}') {
            if (depth == 0)
                break;  // the expression ends at an unmatched closer: reported by the caller
            --depth;
        }
        out.line.text += *input_pointer();
        out.line.lines.push_back(current_line());
        out.line.columns.push_back(current_column());
        advance_input(1);
    }
    out.line.text += terminator;
    out.line.lines.push_back(current_line());
    out.line.columns.push_back(current_column());
    out.present = true;
    return true;
}

// Runs `compile` with the lexer on the saved text; the input is where it was afterwards.
template <class F> void on_saved_text(const SavedText &text, F compile)
{
    const LexerPlace place = lexer_place();
    const bool crossing_off = no_line_crossing();
    set_no_line_crossing(true);
    point_lexer_at_recorded_line(text.line, 0);
    compile();
    set_no_line_crossing(crossing_off);
    restore_lexer_place(place);
}

// ---- loop contexts and pending jumps ------------------------------------------------------------------

struct LoopMarks {
    std::size_t breaks, continues;
    bool pushed;
};

LoopMarks open_loop(uint16_t continue_allowed, uint16_t break_allowed)
{
    const int before = loop_depth();
    const uint16_t pair[2] = {continue_allowed, break_allowed};
    push_loop(pair);
    const bool pushed = loop_depth() > before;
    if (pushed) {
        g_loops.push_back({continue_allowed, break_allowed});
        g_loop_depths.push_back(g_fn.block_bytes);
    }
    return {g_breaks.size(), g_continues.size(), pushed};
}

void patch_list(std::vector<BranchRecord> &list, std::size_t from, ADDR24 target)
{
    for (std::size_t i = from; i < list.size(); ++i)
        patch_jump(list[i], target);
    list.resize(from);
}

void close_loop(const LoopMarks &marks, ADDR24 break_target)
{
    patch_list(g_breaks, marks.breaks, break_target);
    if (marks.pushed) {
        (void)pop_loop();
        g_loops.pop_back();
        g_loop_depths.pop_back();
    }
}

// ---- nested blocks ------------------------------------------------------------------------------------

// A jump from here to code at block depth `depth` first releases what the blocks it leaves hold
// (or reserves what the blocks it enters hold); the code behind the jump runs at the depth it had.
void adjust_to_depth(uint16_t depth, bool keep_result = false)
{
    const int bytes = int(g_fn.block_bytes) - int(depth);
    if (bytes != 0)
        gen_adjust_stack(static_cast<int16_t>(bytes), keep_result);
}

// An entry point here for jumps made at block depth `from`: it brings the stack to this depth,
// and code running on into it passes over that adjustment.
ADDR24 entry_from_depth(uint16_t from)
{
    if (from == g_fn.block_bytes)
        return here();
    const BranchRecord over = gen_jump(kDummyAddress, kOpJp);
    const ADDR24 entry = here();
    gen_adjust_stack(static_cast<int16_t>(int(from) - int(g_fn.block_bytes)), false);
    patch_here(over);
    return entry;
}

// The label a goto made at block depth `depth` jumps to: the statement label itself at depth 0,
// else a name of its own that the label's definition places in front of an adjustment.
std::string goto_label(const std::string &name, uint16_t depth)
{
    return depth == 0 ? name : name + "`" + std::to_string(depth);
}

// The debugger's record of a frame variable: "function:name".
void add_local_record(const symbol &s)
{
    const char *file = get_error_file_name();
    LocalVariableRecord r;
    r.name = g_fn.name + ":" + s.name;
    r.offset = s.value;
    r.type = s.type;
    r.word = s.declarator;
    r.file = file ? file : "";
    r.ix_frame = g_fn.ix_frame;
    g_tables.locals.push_back(std::move(r));
}

// ---- code-generator context of the function ------------------------------------------------------------

uint32_t function_options() { return g_nesting > 0 ? current_decl_flags().word : 0; }

void install_contexts()
{
    CodegenFunctionContext codegen;
    codegen.function_options = &function_options;
    codegen.ix_frame = [] { return g_nesting > 0 && g_fn.ix_frame; };
    codegen.long_call_nesting = &builtin_long_call_nesting;
    codegen.long_call_function = [](const symbol *s) {
        if (!s || !s->name)
            return false;
        const auto it = g_tables.functions.find(s->name);
        return it != g_tables.functions.end() && (it->second.flags & kDeclLongCall) != 0;
    };
    set_codegen_function_context(std::move(codegen));

    FunctionFrameContext frame;
    frame.set_function_options = [](uint32_t word) {
        if (g_nesting > 0)
            current_decl_flags().word = word;
    };
    frame.register_area_end = [] { return g_fn.register_area_end; };
    set_function_frame_context(std::move(frame));

    StatementMarkContext marks;
    marks.function_options = &function_options;
    marks.compiling_bios = &compiling_bios;
    set_statement_mark_context(std::move(marks));
}

// ---- the prototype area ------------------------------------------------------------------------------------

// Appends one entry; past the area's end the compile ends.
void append_prototype_entry(const PrototypeEntry &entry)
{
    if (g_tables.prototypes.size() >= prototype_table_size()) {
        error_here("%s", msg(kMsgParseTooManyPrototypes));
        throw xInternal("COMPCORE\\CC_PARSE", __LINE__);
    }
    g_tables.prototypes.push_back(entry);
}

struct Parameter {
    int32_t type;
    uint32_t word;
};

// The declared parameters in order; a lone `void` declares none (it must stand alone).
std::vector<Parameter> declared_parameters(int count)
{
    std::vector<Parameter> out;
    for (int i = 0; i < count; ++i) {
        const symbol *s = symbol_entry(kLocalTable, static_cast<std::size_t>(i));
        if (!s)
            break;
        if (s->type == kTypeVoid && s->declarator == 0) {
            if (count > 1 && IdePreferences().function_prototypes)
                trivial_warning_here("%s", msg(kMsgParseVoidArgumentList));
            break;
        }
        out.push_back({s->type, s->declarator});
    }
    return out;
}

// ---- the xmem entry stub and the offsets -----------------------------------------------------------------

bool root_stub_option() { return IdePreferences().root_stubs; }

// A function of its own while it is compiled (a definition, a web guard, a watch expression):
// its locals, tags and scope go when it ends, also when a report ends the compile, and the
// function around it comes back.
class FunctionScope {
public:
    FunctionScope() : m_outer(g_fn)
    {
        g_fn = CurrentFunction{};
        ++g_nesting;
        m_scope = local_scope();
    }
    ~FunctionScope()
    {
        clear_local_symbols();
        clear_local_tags();
        set_local_scope(m_scope);
        --g_nesting;
        g_fn = m_outer;
    }
    FunctionScope(const FunctionScope &) = delete;
    FunctionScope &operator=(const FunctionScope &) = delete;

private:
    CurrentFunction m_outer;
    bool m_scope = false;
};

}  // namespace

// ---- function definitions ---------------------------------------------------------------------------------

const std::string &current_function_name() { return g_fn.name; }
int function_nesting() { return g_nesting; }
int compiled_function_count() { return g_bodies; }

std::vector<PrototypeEntry> function_prototype(const char *name)
{
    std::vector<PrototypeEntry> out;
    const auto it = g_tables.functions.find(name);
    if (it == g_tables.functions.end() || it->second.prototype == 0)
        return out;
    for (std::size_t i = it->second.prototype; i < g_tables.prototypes.size(); ++i) {
        out.push_back(g_tables.prototypes[i]);
        if (g_tables.prototypes[i].passing >= kEndVarargs)
            break;
    }
    return out;
}

uint16_t prototype_offset(const char *name)
{
    const auto it = g_tables.functions.find(name);
    return it == g_tables.functions.end() ? 0 : it->second.prototype;
}

uint32_t function_flag_word(const char *name)
{
    const auto it = g_tables.functions.find(name);
    return it == g_tables.functions.end() ? 0 : it->second.flags;
}

const std::vector<LocalVariableRecord> &local_variable_records() { return g_tables.locals; }

int check_prototype(int parameter_count, bool new_style, symbol *function, bool has_body)
{
    FunctionInfo &info = info_of(function->name);
    std::vector<Parameter> declared = declared_parameters(parameter_count);
    if ((info.flags & kDeclFirstTime) && has_body && !declared.empty())
        declared.erase(declared.begin());
    int faults = 0;

    if (new_style && info.prototype == 0) {
        const std::size_t start = g_tables.prototypes.size();
        for (const Parameter &p : declared)
            append_prototype_entry({passing_class(p.type, p.word), static_cast<uint16_t>(p.type),
                                    p.word});
        append_prototype_entry({g_fn.varargs ? kEndVarargs : kEnd, 0, 0});
        info.prototype = static_cast<uint16_t>(start);
        return 0;
    }
    if (info.prototype == 0)
        return 0;  // nothing recorded to compare with

    std::size_t at = info.prototype;
    for (std::size_t i = 0; i < declared.size(); ++i, ++at) {
        const PrototypeEntry &e = g_tables.prototypes[at];
        if (e.passing == kEndVarargs && (!new_style && has_body))
            return faults;
        if (e.passing >= kEndVarargs) {
            error_here("%s", msg(kMsgParsePrototypeDiffers));
            return 1;
        }
        if (e.type != static_cast<uint16_t>(declared[i].type) || e.word != declared[i].word) {
            error_here(msg(kMsgParseParameterDiffers), static_cast<int>(i + 1));
            ++faults;
        }
    }
    if (new_style) {
        const uint8_t end = g_tables.prototypes[at].passing;
        if (end < kEndVarargs || (end == kEndVarargs) != g_fn.varargs) {
            error_here("%s", msg(kMsgParsePrototypeDiffers));
            ++faults;
        }
    }
    return faults;
}

int first_parameter_offset()
{
    const bool xmem = (current_decl_flags().word & kDeclXmem) != 0;
    const bool cofunction = cofunction_count(current_decl_flags().word) != 0 ||
                            (current_decl_flags().word & kDeclSingleUser);
    int offset = 2;
    if (xmem && !cofunction) {
        const bool vireon = codegen_seam().cpu_flag() == 1;
        if (root_stub_option())
            offset = vireon ? 3 : 4;
        else
            offset = 2 + (vireon ? 3 : 4);
    }
    return g_fn.ix_frame ? offset + 2 : offset;
}

void assign_parameter_offsets()
{
    const int first = first_parameter_offset();
    uint16_t bytes = 0;
    for (int i = 0; i < g_fn.parameters; ++i) {
        symbol *s = symbol_entry(kLocalTable, static_cast<std::size_t>(i));
        if (!s || (s->type == kTypeVoid && s->declarator == 0))
            continue;
        s->value = static_cast<int16_t>(first + bytes);
        bytes = static_cast<uint16_t>(bytes + std::max<uint16_t>(s->size, 2));
    }
    g_fn.parameter_bytes = bytes;
    g_fn.struct_slot = static_cast<uint16_t>(first + bytes);

    // The register variables get their storage together, one after the other in the variable
    // area, so that the prologue and the epilogue move them as one block: its end is the far end
    // of the first placed (the area falls) or of the last (it rises).
    g_fn.register_bytes = 0;
    g_fn.register_area_end = 0;
    for (std::size_t i = 0; symbol *s = symbol_entry(kLocalTable, i); ++i) {
        if (s->kind != kStorageRegister)
            continue;
        const ADDR24 at = emit_zero_bytes(s->size, false);
        s->address[0] = at;
        g_fn.register_area_end = std::max<uint16_t>(
            g_fn.register_area_end, static_cast<uint16_t>(addr_offset(at) + s->size));
        g_fn.register_bytes = static_cast<uint16_t>(g_fn.register_bytes + s->size);
    }
    // A watch expression's function saves nothing (its locals are static anyway).
    if (watch_compile())
        g_fn.register_bytes = 0;

    // Without an IX frame everything is addressed from SP, which lies below the automatics and
    // the saved register variables.
    for (std::size_t i = 0; symbol *s = symbol_entry(kLocalTable, i); ++i) {
        if (s->kind != 2)
            continue;
        if (!g_fn.ix_frame)
            s->value = static_cast<int16_t>(s->value + frame_bytes());
        add_local_record(*s);
    }
}

void gen_xmem_call_stub(symbol *function)
{
    if (precompile_in_progress())
        return;
    CodegenSeam &codegen = codegen_seam();
    const ADDR24 xmem = xmem_code_cache().current;
    if (root_stub_option()) {
        if (function->address[kRootStubAddressSlot] != kDummyAddress)
            return;
        const bool from_xmem = &current_code_cache() == &xmem_code_cache();
        codegen.set_code_address(root_code_cache().current);
        function->address[kRootStubAddressSlot] = here();
        // The caller's return address goes back on top of its XPC.
        outasm("pop de");
        outasm("ld a, xpc");
        outasm("ld h, a");
        outasm("push hl");
        outasm("inc sp");
        outasm("push de");
        if (from_xmem) {
            outasm("ljp %d", static_cast<int>(xmem));
            record_xmem_stub(function->address[kRootStubAddressSlot], xmem);
            record_listing_range(function->address[kRootStubAddressSlot],
                                 root_code_cache().current, kListProgramCode);
            codegen.set_code_address(xmem_code_cache().current);
        }
        return;
    }
    codegen.set_code_address(root_code_cache().current);
    const ADDR24 stub = here();
    function->address[kRootStubAddressSlot] = stub;
    if (codegen.cpu_flag() == 1) {
        // lcall function; ret
        emit_code_byte(kOpLcall);
        emit_word(addr_offset(xmem));
        emit_code_byte(addr_xpc(xmem));
        emit_code_byte(0xC9);
    } else {
        (void)reference_label("_b_all", here(), kLabelGlobal | kFixOpcodeFollows);
        emit_code_byte(0xF7);  // rst 0x30
        emit_code_byte(addr_xpc(xmem));
        emit_word(addr_offset(xmem));
    }
    record_xmem_stub(stub, xmem);
    // The listing shows the stub: a call of its root address is seen to reach the function.
    record_listing_range(stub, root_code_cache().current, kListProgramCode);
    codegen.set_code_address(xmem_code_cache().current);
}

int check_call_argument(uint16_t list, int argument_index, int entry_count, object *value,
                        bool no_code)
{
    skip_blanks_across_lines();
    if (*input_pointer() == ')' || *input_pointer() == 0)
        return 1;
    if (no_code) {
        (void)parse_call_argument(value);
    } else {
        DiscardedCode discard;
        (void)parse_call_argument(value);
    }
    if (list == 0 || !IdePreferences().function_prototypes)
        return 0;
    // Arguments are read last first: the entry is counted from the end.
    const int entry = entry_count - 1 - argument_index;
    if (entry < 0 || list + entry >= static_cast<int>(g_tables.prototypes.size()))
        return 0;
    const PrototypeEntry &e = g_tables.prototypes[list + entry];
    if (e.passing >= kEndVarargs)
        return 0;
    const int number = entry + 1;
    const bool value_pointer = decl_level(value->declarator, 0) != kDeclNone;
    const bool entry_pointer = decl_level(e.word, 0) != kDeclNone;
    if (value->type == kTypeVoid && !value_pointer)
        error_here(msg(kMsgParseVoidParameter), number);
    else if (value_pointer != entry_pointer)
        trivial_warning_here(msg(kMsgParseWrongParameterType), number);
    else if (value_pointer && (value->type != e.type || value->declarator != e.word))
        trivial_warning_here(msg(kMsgParseWrongParameterModifier), number);
    return 0;
}

namespace {

// The function's symbol, entered or completed.
symbol *enter_function(const DeclaratorResult &r, int32_t return_type, int kind, int placement)
{
    uint32_t &word = current_decl_flags().word;
    symbol *fn = find_symbol(r.name, false, kGlobalTable);
    const bool known = g_tables.functions.count(r.name) != 0;
    FunctionInfo &info = info_of(r.name);
    if (!fn) {
        fn = add_symbol(r.name, r.word, return_type, 0, static_cast<uint8_t>(kind), r.dims,
                        r.dim_count);
    } else if (decl_level(fn->declarator, 0) == kDeclFunction) {
        fn->type = return_type;
        fn->declarator = r.word;
        fn->kind = static_cast<uint8_t>(kind);
    }
    if (!known) {
        info.placement = static_cast<uint8_t>(placement == kFnPlaceNone ? int(kPlacedUnsaid)
                                                                        : placement);
        info.flags = word & kKeptFlagBits;
        if (word & kDeclTyped)
            fn->flags[kSymTyped.byte] |= kSymTyped.mask;
    } else if ((info.flags & kDeclTyped) && !(word & kDeclTyped)) {
        serious_warning_here("%s", msg(kMsgParseNotTyped));
    }

    // A function compiled while "#precompile" is in force goes with the BIOS as it stands: without
    // debug code, and in xmem unless "root" was written.
    if (precompile_in_progress()) {
        if ((word & kDeclDebugRst) && fn->precompile_mark)
            trivial_warning_here(msg(kMsgParsePrecompilingDebug), r.name);
        fn->precompile_mark = 1;
        select_xmem_code_cache(current_decl_flags(), 0);
        if (placement != kFnPlaceRoot && info.placement != kPlacedRoot) {
            placement = kFnPlaceXmem;
            info.placement = kPlacedXmem;
        }
    }

    // Placement against an earlier prototype.
    if (placement == kFnPlaceRoot && info.placement == kPlacedXmem) {
        error_here(msg(kMsgParseMemmapPrefix), "root", r.name);
    } else if (placement == kFnPlaceXmem && info.placement == kPlacedRoot) {
        error_here(msg(kMsgParseMemmapPrefix), "xmem", r.name);
    } else if (placement == kFnPlaceRoot) {
        word &= ~kDeclXmem;
    } else if (placement == kFnPlaceXmem) {
        word |= kDeclXmem;
    } else if (fn->address[kFunctionAddressSlot] != kDummyAddress && info.defined) {
        if (addr_is_root(fn->address[kFunctionAddressSlot]))
            word &= ~kDeclXmem;
        else
            word |= kDeclXmem;
    } else if (info.placement == kPlacedXmem) {
        word |= kDeclXmem;
    } else if (info.placement == kPlacedRoot) {
        word &= ~kDeclXmem;
    }
    return fn;
}

// Whether a declared parameter name is unusable (a keyword).
bool invalid_parameter_names(int count)
{
    for (int i = 0; i < count; ++i) {
        const symbol *s = symbol_entry(kLocalTable, static_cast<std::size_t>(i));
        if (s && s->name && is_keyword(s->name))
            return true;
    }
    return false;
}

// The first local symbols are the parameters.
int count_locals()
{
    int n = 0;
    while (symbol_entry(kLocalTable, static_cast<std::size_t>(n)))
        ++n;
    return n;
}

// ---- chain segments ------------------------------------------------------------------------------

// segment = ( "#GLOBAL_INIT" | "segchain" name ) statement
// Segments lie in front of the function's own code, each a statement closed by a return and
// entered only through its chain. The function's frame does not exist there, so automatic
// variables and parameters cannot be reached; "_GLOBAL_INIT" runs before the debug kernel does,
// so its segments carry no debug hooks. A segment that cannot join a chain (no name, or a
// program that made itself a BIOS) is still compiled, for its messages, and left out.
void compile_chain_segments()
{
    for (;;) {
        skip_blanks_across_lines();
        std::string chain;
        bool named = true;
        if (match_text("#GLOBAL_INIT")) {
            chain = "_GLOBAL_INIT";
        } else if (match_keyword("segchain")) {
            char name[kMaxIdentifier + 1] = {};
            if (is_identifier_start(static_cast<unsigned char>(skip_blanks())) &&
                scan_identifier(name, false, false)) {
                chain = name;
            } else {
                error_here("%s", msg(kMsgChainNoName));
                named = false;
            }
        } else {
            return;
        }
        const bool allowed = chains_allowed();
        if (!allowed)
            error_here("%s", msg(kMsgChainsInBios));

        uint32_t &word = current_decl_flags().word;
        const uint32_t function_word = word;
        if (chain == "_GLOBAL_INIT")
            word &= ~(kDeclDebug | kDeclDebugRst);
        const ADDR24 start = here();
        set_stack_offset(0);
        block_auto_references(true);
        (void)parse_statement();
        block_auto_references(false);
        gen_return_instruction(false);
        set_stack_offset(0);
        word = function_word;
        if (named && allowed)
            add_chain_address(chain, start);
    }
}

void compile_body(symbol *fn)
{
    uint32_t &word = current_decl_flags().word;
    FunctionInfo &info = info_of(fn->name);
    g_fn.in_body = true;
    if (info.defined)
        report_previously_defined(fn->name);
    info.defined = true;
    // Interrupt routines lie in root; so do the Z180's cofunctions, whose runtime enters and
    // leaves them with plain calls and returns.
    const bool z180_cofunction = codegen_seam().cpu_flag() == 0 &&
                                 (cofunction_count(word) != 0 || (word & kDeclSingleUser));
    if ((word & kDeclInterruptMask) || z180_cofunction)
        word &= ~kDeclXmem;
    const bool xmem = (word & kDeclXmem) != 0;
    CodegenSeam &codegen = codegen_seam();
    const ADDR24 root_at_entry = root_code_cache().current;
    codegen.set_code_address(xmem ? xmem_code_cache().current : root_at_entry);
    add_function_start(here());

    // The local declarations, with the frame counter from 0.
    // The local declarations start from the persistent flags: the function's own come back after.
    local_declaration_scope() = LocalDeclarationScope{g_fn.name, false, 0};
    local_declaration_scope().registers = cofunction_count(word) == 0 && !(word & kDeclSingleUser);
    const uint32_t function_word = word;
    (void)parse_declarations(0);
    word = function_word;
    g_fn.auto_bytes = static_cast<uint16_t>(-local_declaration_scope().frame);
    g_fn.ix_frame = (word & kDeclUseIx) && (g_fn.auto_bytes != 0 || g_fn.parameters != 0);
    assign_parameter_offsets();
    if ((word & kDeclInterruptMask) && debug_record() && g_fn.parameter_bytes != 0)
        trivial_warning_here("%s", msg(kMsgParseIsrParameters));
    // A cofunction's "everytime" and "abandon" blocks may stand among the chain segments.
    const bool cofunction = cofunction_count(word) != 0 || (word & kDeclSingleUser);
    if (cofunction)
        begin_cofunction(word);
    do
        compile_chain_segments();
    while (cofunction && parse_cofunction_segment());
    if (cofunction)
        (void)place_cofunction_instances(g_fn.auto_bytes, g_fn.parameter_bytes);

    if (xmem || (word & kDeclLongCall))
        gen_xmem_call_stub(fn);
    if (xmem)
        codegen.set_code_address(xmem_code_cache().current);
    const ADDR24 start = here();
    fn->address[kFunctionAddressSlot] = start;
    fn->flags[0] = static_cast<uint8_t>((fn->flags[0] & ~1u) | (xmem ? 1u : 0u));
    define_label(fn->name, start, kLabelGlobal);
    const char *file = get_error_file_name();
    mapfile_add_function(fn->name, start, true,
                         MapSourcePosition{file ? file : "", static_cast<int>(fn->line)});

    set_stack_offset(0);
    if (cofunction) {
        gen_cofunction_prologue(xmem);
    } else {
        FunctionProlog prolog(g_fn.auto_bytes, g_fn.register_bytes);
    }
    set_stack_offset(0);
    record_listing_range(start, here(), compiling_bios() ? kListBiosCode : kListProgramCode);

    const int kind = parse_compound_statement();
    if (kind != kStatementReturn) {
        record_statement(g_fn.closing_line, g_fn.closing_column);
        (void)parse_return_statement(0);
    }
    if (cofunction)
        end_cofunction();

    // A goto from inside a block to a label never defined: reported under the label's own name
    // (the label layer reports those made at depth 0) and its jump left to the placeholder.
    for (const auto &[label, depths] : g_fn.forward_gotos) {
        for (const uint16_t depth : depths)
            if (depth != 0)
                define_label(goto_label(label, depth).c_str(), kDummyAddress, kLabelLocal);
        if (!depths.count(0))
            report_error(1, 1, msg(kMsgUndefinedLocal), label.c_str());
    }

    const ADDR24 end = here();
    if (debug_record()) {
        const ADDR24 last = addr_equal(end, start) ? start : addr_add(end, -1);
        (void)add_function_record(g_fn.source_line, g_fn.source_column, 0, start, last,
                                  root_at_entry, 0, 0, fn->name);
    }
    mapfile_end_function(fn->name, end);
    const int16_t left = stack_offset();
    if (left < 0)
        error_here("%s", msg(kMsgParseTemporariesLeft));
    else if (left > 0)
        error_here("%s", msg(kMsgParseTemporariesRemoved));
    set_stack_offset(0);
}

}  // namespace

int parse_function_definition(int list_follows, int32_t return_type, int kind, int placement)
{
    const DeclaratorResult r = declarator_result();  // parameters overwrite it
    const AsmLineText held = held_parameter_list();
    // Where the definition stands: the debugger binds a watch to the function by it.
    const uint16_t source_line = current_line();
    const uint8_t source_column =
        static_cast<uint8_t>(std::clamp<uint16_t>(current_column(), 1, 255));
    if (kind == 3)
        kind = kStorageStaticGlobal;
    install_contexts();

    const FunctionScope function_scope;
    g_fn.name = r.name;
    g_fn.source_line = source_line;
    g_fn.source_column = source_column;
    g_fn.return_type = return_type;
    g_fn.return_word = r.word >> 4;

    symbol *fn = enter_function(r, return_type, kind, placement);

    clear_local_symbols();
    clear_local_tags();
    set_local_scope(true);
    local_declaration_scope() = LocalDeclarationScope{g_fn.name, false, 0};

    int count = -1;
    bool invalid = false;
    if (list_follows == 2 && !held.text.empty()) {
        // The declarator kept the list (it went on after it): read there, at its own positions.
        const LexerPlace place = lexer_place();
        const bool crossing_was_off = no_line_crossing();
        set_no_line_crossing(true);
        point_lexer_at_recorded_line(held, 0);
        const int reports = errors_seen();
        count = parse_parameter_list();
        if (peek_here() == ')')
            advance_input(1);
        else
            invalid = true;
        if (!invalid && peek_here() != 0)
            invalid = true;
        set_no_line_crossing(crossing_was_off);
        restore_lexer_place(place);
        g_fn.varargs = count == 1;
        if (invalid && errors_seen() == reports)
            report_missing_char(')');
    } else if (list_follows == 2) {
        count = parse_parameter_list();
        skip_blanks_across_lines();
        if (*input_pointer() != ')')
            invalid = true;
        // The declarator consumed the "(" without noting it: so goes its ")".
        if (*input_pointer() == ')') {
            advance_input(1);
        } else {
            report_missing_char(')');
            // What the parameter parser could not read goes up to the list's end.
            while (*input_pointer() && *input_pointer() != ')' && *input_pointer() != '{' &&
                   *input_pointer() != ';')
                advance_input(1);
            if (*input_pointer() == ')')
                advance_input(1);
        }
        g_fn.varargs = count == 1;
        const char c = peek_here();
        if (count <= 0 && c != '{' && c != ';' && c != ',' && c != 0) {
            const uint32_t word = current_decl_flags().word;
            if (cofunction_count(word) != 0 || (word & kDeclSingleUser))
                error_here("%s", msg(kMsgParseOldStyleCofunction));
            (void)parse_old_style_parameters();
        }
    }
    g_fn.parameters = count_locals();
    invalid = invalid || invalid_parameter_names(g_fn.parameters);

    const char c = peek_here();
    const bool body = c == '{';
    if (!body && c != ';' && c != ',')
        error_here("%s", msg(kMsgParseExpectsSemicolon));

    const int unusable = check_prototype(g_fn.parameters, count >= 1, fn, body);
    g_body_read = body;
    if (!body) {
        output_pending_stubs();
        return (count >= 1 && g_fn.parameters > 0) || list_follows != 2 ? 0 : 1;
    }
    (void)match_text("{");
    if (unusable || invalid) {
        if (invalid)
            error_here("%s", msg(kMsgParseInvalidArgumentName));
        skip_group('{', '}');
        output_pending_stubs();
        reset_labels(kCloseLocal);
        return 1;
    }
    compile_body(fn);
    ++g_bodies;
    output_pending_stubs();
    reset_labels(kCloseLocal);
    return 1;
}

// ---- statements ------------------------------------------------------------------------------------------

void expect_semicolon() { expect_char(';'); }

int parse_compound_statement()
{
    int kind = kStatementOrdinary;
    for (;;) {
        skip_blanks_across_lines();
        if (*input_pointer() == '}') {
            g_fn.closing_line = current_line();
            g_fn.closing_column = current_column();
            (void)match_text("}");
            return kind;
        }
        if (input_finished()) {
            error_here(msg(kMsgParseOpenAtEnd), "A block");
            return kind;
        }
        const char *before = input_pointer();
        const uint16_t line = current_line();
        const int k = parse_statement();
        if (k == kStatementEnd)
            return kind;
        kind = k;
        // A statement that reported its fault without reading anything (a stray ")" left by
        // an earlier fault) would be met again at once: what stands there goes, a character that
        // no token takes alone, so that every report is followed by progress.
        if (input_pointer() == before && current_line() == line && *before) {
            set_bracket_suppression(true);
            skip_token();
            set_bracket_suppression(false);
            if (input_pointer() == before)
                advance_input(1);
        }
    }
}

HeldStatementBytes hold_statement_bytes(uint16_t bytes)
{
    const HeldStatementBytes held{bytes, g_fn.block_bytes, expression_stack_allowance()};
    g_fn.block_bytes = static_cast<uint16_t>(held.outer_block + bytes);
    set_expression_stack_allowance(static_cast<uint16_t>(held.outer_allowance + bytes));
    return held;
}

void release_statement_bytes(const HeldStatementBytes &held)
{
    g_fn.block_bytes = held.outer_block;
    set_expression_stack_allowance(held.outer_allowance);
    gen_stack_adjust_tracked(static_cast<int16_t>(held.bytes));
}

namespace {

// block = "{" declaration* statement* "}"   (the "{" is consumed)
// A block's automatics lie below the function's frame and the blocks around it, reserved when
// the block is entered and released when it is left; its names hide the outer ones meanwhile.
int parse_block()
{
    LocalDeclarationScope &scope = local_declaration_scope();
    const uint16_t outer = g_fn.block_bytes;
    const uint16_t instance_outer = g_fn.instance_block_bytes;
    open_local_block();
    scope.frame = static_cast<int16_t>(-(frame_bytes() + outer + instance_outer));
    uint32_t &word = current_decl_flags().word;
    const uint32_t function_word = word;
    const bool registers = scope.registers;
    scope.registers = false;  // the prologue is behind us
    (void)parse_declarations(0);
    scope.registers = registers;
    word = function_word;
    const int declared =
        -int(scope.frame) - int(frame_bytes()) - int(outer) - int(instance_outer);
    // The stack does not outlive a cofunction's or a costatement's yield: their blocks'
    // automatics lie in a cofunction's instances below the function's own, or have storage of
    // their own.
    const bool off_stack = compiling_cofunction() || costatement_block();
    const int bytes = off_stack ? 0 : declared;
    bool in_instance = false;
    for (symbol *s : local_block_symbols()) {
        if (s->kind != 2)
            continue;
        if (off_stack && place_cofunction_block_variable(s))
            continue;
        in_instance = in_instance || compiling_cofunction();
        if (!g_fn.ix_frame)
            s->value = static_cast<int16_t>(s->value + frame_bytes());
        else  // from SP the debugger cannot tell how deep the blocks are; from IX it can
            add_local_record(*s);
    }
    // Every expression of the block finds them below its temporaries.
    struct Allowance {
        uint16_t outer = expression_stack_allowance();
        ~Allowance() { set_expression_stack_allowance(outer); }
    } allowance;
    if (bytes > 0) {
        gen_stack_adjust_tracked(static_cast<int16_t>(-bytes));
        g_fn.block_bytes = static_cast<uint16_t>(outer + bytes);
        set_expression_stack_allowance(static_cast<uint16_t>(allowance.outer + bytes));
    }
    if (in_instance && declared > 0) {
        g_fn.instance_block_bytes = static_cast<uint16_t>(instance_outer + declared);
        note_cofunction_block_bytes(g_fn.instance_block_bytes);
    }
    const int kind = parse_compound_statement();
    g_fn.instance_block_bytes = instance_outer;
    if (bytes > 0) {
        g_fn.block_bytes = outer;
        // Behind a return or jump nothing runs on: they took their own stack along.
        if (kind != kStatementReturn && kind != kStatementJump)
            gen_adjust_stack(static_cast<int16_t>(bytes), false);
        add_stack_offset(static_cast<int16_t>(bytes));
    }
    close_local_block();
    return kind;
}

// "#asm" [option ...] inside a function: the block up to "#endasm".
void asm_statement(uint16_t line, uint16_t column, bool hash_form)
{
    if (hash_form)
        match_bracket(10, line, column);
    bool constant = false, xmemok = false, marked_debug = false;
    int debug = debug_record() ? 1 : 0;
    for (;;) {
        (void)skip_blanks();
        const unsigned char c = static_cast<unsigned char>(*input_pointer());
        if (c == 0)
            break;
        if (match_text("const")) {
            constant = true;
        } else if (match_text("nodebug")) {
            debug = 0;
        } else if (match_text("debug")) {
            debug = 1;
            marked_debug = true;
        } else if (match_text("xmemok")) {
            xmemok = true;
        } else if (match_text("xmem")) {
            trivial_warning_here("%s", msg(kMsgParseXmemInAsm));
        } else if (!hash_form) {
            break;
        } else {
            std::string word;
            if (is_identifier_start(c)) {
                while (is_identifier_char(static_cast<unsigned char>(*input_pointer()))) {
                    word += *input_pointer();
                    advance_input(1);
                }
            } else {
                word = static_cast<char>(c);
                advance_input(1);
            }
            error_here(msg(kMsgUnknownAsmDirective), word.c_str());
        }
    }
    (void)xmemok;  // the block stays with the function's code wherever that lies
    const char *file = get_error_file_name();
    breakpoint_tables().addSourceEntry(SourceTable::AsmSource, file ? file : "", line, column,
                                       here());
    parser_seam().parse_asm_block(debug, 0, constant ? 1 : 0);
    if (marked_debug && !debug_record())
        breakpoint_tables().addSourceEntry(SourceTable::Line, file ? file : "", line, column,
                                           here());
}

bool at_label_word(const char *word)
{
    const LexerPlace place = lexer_place();
    if (!match_keyword(word))
        return false;
    restore_lexer_place(place);
    return true;
}

}  // namespace

int parse_statement()
{
    skip_blanks_across_lines();
    if (input_finished())
        return kStatementEnd;
    static int depth = 0;
    if (depth >= kMaxStatementNesting)
        fatal_here(msg(kMsgParseStatementsTooDeep), kMaxStatementNesting);
    ++depth;
    struct Nesting {
        ~Nesting() { --depth; }
    } nesting;
    gObjectPool.push_mark();
    struct PopMark {
        ~PopMark() { gObjectPool.pop_mark(); }
    } pop_mark;
    // Code in the xmem window goes on in the next page before it runs past the window's first
    // 4 KB: a long jump to the same bytes through the next XPC page.
    // (Only an xmem code cache crosses: the live one or a "debug"/"nodebug" one.)
    (void)current_code_cache().CrossPage(0, true);
    const ADDR24 start = here();
    int kind = kStatementOrdinary;

    const uint16_t line = current_line();
    const uint16_t column = current_column();
    if (*input_pointer() == '{') {
        (void)match_text("{");
        kind = parse_block();
    } else if (at_label_word("case") || at_label_word("default")) {
        while (at_label_word("case") || at_label_word("default")) {
            if (match_keyword("case"))
                parse_case_label();
            else if (match_keyword("default"))
                parse_default_label();
            skip_blanks_across_lines();
        }
        record_statement(line, column);
        nop_after_label();
    } else if (parse_label_definition()) {
        record_statement(line, column);
        nop_after_label();
    } else if (match_text("#asm")) {
        asm_statement(line, column, true);
    } else if (match_keyword("asm")) {
        asm_statement(line, column, false);
    } else {
        record_statement(line, column);
        if (match_keyword("if")) {
            kind = parse_if_statement();
        } else if (match_keyword("while")) {
            kind = parse_loop_statement(0);
        } else if (match_keyword("for")) {
            kind = debug_code() ? parse_loop_statement(1) : parse_for_statement();
        } else if (match_keyword("return")) {
            (void)parse_return_statement(1);
            expect_semicolon();
            kind = kStatementReturn;
        } else if (match_keyword("break")) {
            kind = parse_break_continue(1);
            expect_semicolon();
        } else if (match_keyword("switch")) {
            kind = parse_switch_statement();
        } else if (match_keyword("goto")) {
            kind = parse_goto_statement();
        } else if (match_keyword("interrupt_vector")) {
            current_code_cache().Flush();
            (void)do_interrupt_vector();
        } else if (match_keyword("do")) {
            kind = parse_loop_statement(2);
        } else if (match_keyword("continue")) {
            kind = parse_break_continue(0);
            expect_semicolon();
        } else if (*input_pointer() == ';') {
            (void)match_text(";");
        } else {
            if (match_keyword("costate") || match_keyword("funcblk")) {
                kind = parse_costate_statement(0, kDummyAddress);
            } else if (match_keyword("slice")) {
                kind = parse_slice_statement();
            } else if (match_keyword("waitfor")) {
                kind = parse_waitfor_statement();
            } else if (match_keyword("yield")) {
                kind = parse_yield_statement();
            } else if (match_keyword("abort")) {
                kind = parse_abort_statement();
            } else {
                parse_expression_statement();
                expect_semicolon();
            }
        }
    }
    if (!addr_equal(here(), start))
        record_listing_range(start, here(), compiling_bios() ? kListBiosCode : kListProgramCode);
    return kind;
}

// if_stmt = "if" "(" expr ")" stmt [ "else" stmt ]
int parse_if_statement()
{
    expect_char('(');
    const BranchRecord to_else = compile_condition_jump(kDummyAddress, 0, ")");
    const int then_kind = parse_statement();
    if (!at_word("else")) {
        patch_here(to_else);
        return kStatementOrdinary;
    }
    BranchRecord over{};
    if (then_kind != kStatementReturn && then_kind != kStatementJump)
        over = gen_jump(kDummyAddress, kOpJp);
    patch_here(to_else);
    (void)parse_statement();
    patch_here(over);
    return kStatementOrdinary;
}

// while_stmt = "while" "(" expr ")" stmt
// for_stmt   = "for" "(" [expr] ";" [expr] ";" [expr] ")" stmt      (with debug hooks)
// do_stmt    = "do" stmt "while" "(" expr ")" ";"
int parse_loop_statement(int mode)
{
    ADDR24 top = kDummyAddress;
    ADDR24 continue_target = kDummyAddress;
    BranchRecord exit{};
    if (mode == 0) {
        if (debug_code() && !precompile_in_progress())
            outasm("nop");
        top = here();
        expect_char('(');
        mark_statement_here(0);
        exit = compile_condition_jump(kDummyAddress, 0, ")");
        continue_target = top;
    } else if (mode == 1) {
        expect_char('(');
        if (peek_here() != ';')
            parse_expression_statement();
        expect_semicolon();
        top = here();
        if (peek_here() != ';') {
            record_statement(current_line(), current_column());
            exit = compile_condition_jump(kDummyAddress, 0, ";");
        } else {
            expect_semicolon();
        }
        if (peek_here() == ')') {
            continue_target = top;
        } else {
            const BranchRecord over = gen_jump(kDummyAddress, kOpJp);
            continue_target = here();
            record_statement(current_line(), current_column());
            parse_expression_statement();
            (void)gen_jump(top, kOpJp);
            patch_here(over);
        }
        expect_char(')');
    } else {
        top = here();
    }

    const LoopMarks marks = open_loop(1, 1);
    (void)parse_statement();
    if (mode == 2) {
        if (!at_word("while")) {
            error_here(msg(kMsgMissingExpected), "while");
        } else {
            patch_list(g_continues, marks.continues, here());
            expect_char('(');
            mark_statement_here(0);
            (void)compile_condition_jump(top, 1, ")");
            expect_semicolon();
        }
        patch_list(g_continues, marks.continues, here());
    } else {
        (void)gen_jump(continue_target, kOpJp);
        patch_list(g_continues, marks.continues, continue_target);
        patch_here(exit);
    }
    close_loop(marks, here());
    return kStatementOrdinary;
}

// for_stmt = "for" "(" [expr] ";" [expr] ";" [expr] ")" stmt
// The condition is compiled before the body and again behind it (the loop closes with one
// conditional jump); the increment is read before the body but its code goes behind it.
int parse_for_statement()
{
    expect_char('(');
    if (peek_here() != ';')
        parse_expression_statement();
    expect_semicolon();

    SavedText condition, increment;
    BranchRecord exit{};
    if (peek_here() != ';') {
        if (!capture_expression(';', condition)) {
            error_here(msg(kMsgParseOpenAtEnd), "A for statement");
            return kStatementOrdinary;
        }
        on_saved_text(condition, [&] { exit = compile_condition_jump(kDummyAddress, 0, ";"); });
    }
    expect_semicolon();

    const ADDR24 body = here();
    if (peek_here() != ')') {
        if (!capture_expression(')', increment)) {
            error_here(msg(kMsgParseOpenAtEnd), "A for statement");
            patch_here(exit);
            return kStatementOrdinary;
        }
        // Read once for its diagnostics; its code is thrown away and made again behind the body.
        on_saved_text(increment, [] {
            DiscardedCode discard;
            parse_expression_statement();
        });
    }
    expect_char(')');

    const LoopMarks marks = open_loop(1, 1);
    (void)parse_statement();
    const ADDR24 continue_target = here();
    set_reporting(false);
    if (increment.present)
        on_saved_text(increment, [] { parse_expression_statement(); });
    if (condition.present)
        on_saved_text(condition, [&] { (void)compile_condition_jump(body, 1, ";"); });
    else
        (void)gen_jump(body, kOpJp);
    set_reporting(true);

    patch_list(g_continues, marks.continues, continue_target);
    patch_here(exit);
    close_loop(marks, here());
    return kStatementOrdinary;
}

// switch_stmt = "switch" "(" expr ")" stmt
int parse_switch_statement()
{
    const SwitchState outer = g_switch;
    g_switch = SwitchState{};
    g_switch.open = true;
    g_switch.start = g_cases.size();
    g_switch.depth = g_fn.block_bytes;
    const LoopMarks marks = open_loop(0, 1);

    expect_char('(');
    {
        gObjectPool.push_mark();
        object *value = gObjectPool.new_object();
        parse_expression_list(value, 1, 0, 0);
        ConvertCCObject(value, kTypeInt, false, 0);
        gen_load_value(value);
        gObjectPool.pop_mark();
    }
    expect_char(')');

    const BranchRecord to_dispatch = gen_jump(kDummyAddress, kOpJp);
    (void)parse_statement();
    const BranchRecord exit = gen_jump(kDummyAddress, kOpJp);
    patch_here(to_dispatch);

    std::vector<SwitchCase> cases;
    for (std::size_t i = g_switch.start; i < g_cases.size(); ++i)
        cases.push_back({g_cases[i].value, g_cases[i].target});
    EmitCache &table =
        &current_code_cache() == &xmem_code_cache() ? xmem_code_cache() : constant_cache();
    gen_switch_dispatch(table, cases.data(), static_cast<int>(cases.size()));
    if (g_switch.default_seen)
        (void)gen_jump(g_switch.default_address, kOpJp);

    patch_here(exit);
    g_cases.resize(g_switch.start);
    g_switch = outer;
    close_loop(marks, here());
    return kStatementOrdinary;
}

// case_label = "case" constant ":"
void parse_case_label()
{
    if (!g_switch.open)
        error_here("%s", msg(kMsgParseMisplacedCase));
    const uint16_t value = parse_constant_expression();
    const uint16_t type = last_constant_type();
    expect_char(':');
    if (!g_switch.open)
        return;
    if (g_switch.count >= kMaxCases || g_cases.size() >= static_cast<std::size_t>(kMaxCases)) {
        error_here("%s", msg(kMsgParseTooManyCases));
        return;
    }
    ++g_switch.count;
    for (std::size_t i = g_switch.start; i < g_cases.size(); ++i) {
        if (g_cases[i].value == static_cast<int16_t>(value)) {
            error_here("%s", msg(kMsgParseDuplicateCase));
            return;
        }
    }
    g_cases.push_back({static_cast<int16_t>(value), entry_from_depth(g_switch.depth)});
    if (type >= kTypeLong && type < kTypeVoid)
        error_here("%s", msg(kMsgParseCaseTooWide));
}

// default_label = "default" ":"
void parse_default_label()
{
    expect_char(':');
    if (!g_switch.open || g_switch.default_seen) {
        error_here("%s", msg(kMsgParseSecondDefault));
        return;
    }
    g_switch.default_seen = true;
    g_switch.default_address = entry_from_depth(g_switch.depth);
}

// label = identifier ":"
int parse_label_definition()
{
    const LexerPlace place = lexer_place();
    char name[kMaxIdentifier + 1] = {};
    if (!is_identifier_start(static_cast<unsigned char>(*input_pointer())) ||
        !scan_identifier(name, false, false) || is_keyword(name)) {
        restore_lexer_place(place);
        return 0;
    }
    (void)skip_blanks();
    if (*input_pointer() != ':' || input_pointer()[1] == ':') {
        restore_lexer_place(place);
        return 0;
    }
    (void)match_text(":");
    symbol *s = find_symbol(name, false, kLocalTable);
    if (!s) {
        s = add_symbol(name, 0, 0, -1, 11, nullptr, 0);
        s->value = -1;
    } else if (s->kind != 11 || s->value != -1) {
        report_previously_defined(name);
    }
    s->value = 0;
    // Gotos that came before from other block depths enter through their own adjustments.
    const std::string label(name);
    const uint16_t depth = g_fn.block_bytes;
    bool plain_name_taken = false;
    if (const auto pending = g_fn.forward_gotos.find(label); pending != g_fn.forward_gotos.end()) {
        for (const uint16_t from : pending->second) {
            if (from == depth)
                continue;
            define_label(goto_label(label, from).c_str(), entry_from_depth(from), kLabelLocal);
            plain_name_taken = plain_name_taken || from == 0;
        }
        g_fn.forward_gotos.erase(pending);
    }
    g_fn.label_depths[label] = depth;
    // A label right behind a debug hook is placed at the hook, so a jump to it passes the hook.
    ADDR24 at = here();
    const StatementMark mark = last_statement_mark();
    if (mark.address != kDummyAddress && debug_code() && addr_diff(at, mark.address) == 1)
        at = mark.address;
    s->address[0] = at;
    define_label(goto_label(label, depth).c_str(), at, kLabelLocal);
    if (depth != 0 && !plain_name_taken)
        define_label(name, at, kLabelLocal);  // for "#asm" blocks that name it
    return 1;
}

// goto_stmt = "goto" identifier ";"
int parse_goto_statement()
{
    if (refuse_in_everytime()) {
        error_recovery();
        expect_semicolon();
        return kStatementOrdinary;
    }
    skip_blanks_across_lines();
    char name[kMaxIdentifier + 1] = {};
    if (!is_identifier_start(static_cast<unsigned char>(*input_pointer())) ||
        !scan_identifier(name, false, false) || is_keyword(name)) {
        error_here("%s", msg(kMsgParseBadGotoLabel));
        error_recovery();
        expect_semicolon();
        return kStatementJump;
    }
    if (!find_symbol(name, false, kLocalTable)) {
        symbol *s = add_symbol(name, 0, 0, -1, 11, nullptr, 0);
        s->value = -1;
    }
    const std::string label(name);
    uint16_t depth = g_fn.block_bytes;
    if (const auto known = g_fn.label_depths.find(label); known != g_fn.label_depths.end()) {
        depth = known->second;
        adjust_to_depth(depth);
    } else {
        g_fn.forward_gotos[label].insert(depth);
    }
    const ADDR24 target = reference_label(goto_label(label, depth).c_str(), addr_add(here(), 1),
                                          kLabelLocal | kFixOpcodeFollows);
    (void)gen_jump(target, kOpJp);
    expect_semicolon();
    return kStatementJump;
}

int parse_break_continue(int is_break)
{
    auto it = std::find_if(g_loops.rbegin(), g_loops.rend(), [&](const LoopEntry &e) {
        return is_break ? e.second != 0 : e.first != 0;
    });
    if (it == g_loops.rend()) {
        // Nothing encloses it: a jump here would go somewhere the program never meant.
        error_here("%s", msg(kMsgNoActiveWhiles));
        return kStatementJump;
    }
    std::vector<BranchRecord> &list = is_break ? g_breaks : g_continues;
    if (list.size() >= static_cast<std::size_t>(kMaxBreaks)) {
        error_here("%s", msg(kMsgParseTooManyBreaks));
        return kStatementJump;
    }
    adjust_to_depth(g_loop_depths[static_cast<std::size_t>(std::distance(it, g_loops.rend())) - 1]);
    list.push_back(gen_jump(kDummyAddress, kOpJp));
    return kStatementJump;
}

int32_t frame_offset_of_stack_place(int32_t offset)
{
    return g_fn.ix_frame ? offset - frame_bytes() : offset;
}

// return_stmt = "return" [ expr ] ";"
namespace {

// A structure result goes where the caller reserved it, above the parameters; HL then holds
// its address. A structure another call left on the stack is copied from there and released.
void return_structure(object *value)
{
    // A structure of another type (warned about) fills no more than the space the caller
    // reserved for the function's own.
    const uint16_t size = static_cast<uint16_t>(tag_size(value->type));
    const uint16_t copied = std::min(size, static_cast<uint16_t>(tag_size(g_fn.return_type)));
    object slot{};
    set_object(&slot, 2, static_cast<uint16_t>(value->type), 0, nullptr,
               static_cast<uint32_t>(g_fn.struct_slot + (g_fn.ix_frame ? 0 : frame_bytes())),
               nullptr, 0, true, false);
    if (value->kind != 254) {
        gen_block_copy(value, &slot, copied);
        return;
    }
    ObjHost &host = value_model_obj_host();
    const int depth = std::abs(stack_offset()) + host.pending_adjust_1() +
                      std::abs(host.pending_adjust_2());
    object source{};
    set_object(&source, 2, static_cast<uint16_t>(value->type), 0, nullptr,
               static_cast<uint32_t>(frame_offset_of_stack_place(-depth)), nullptr, 0, true, false);
    gen_block_copy(&source, &slot, copied);
    gen_stack_adjust_tracked(static_cast<int16_t>(size));
}

}  // namespace

int parse_return_statement(int explicit_return)
{
    if (explicit_return && refuse_in_everytime()) {
        // The value is read over without code, up to the statement's ";".
        int depth = 0;
        for (char c = peek_here(); c != 0 && !(c == ';' && depth == 0); c = peek_here()) {
            depth += (c == '(') - (c == ')');
            advance_input(1);
        }
        return kStatementOrdinary;
    }
    bool value = false;
    if (explicit_return && peek_here() != ';') {
        object *node = gObjectPool.new_object();
        // No look-ahead tree: its comparison hint would leave a returned comparison in the flags
        // alone, while the caller needs its value.
        parse_expression_list(node, 1, 0, 0);
        value = true;
        const bool structure = node->type >= kTypeFirstTag && node->declarator == 0;
        // A constant 0 is the null pointer of every pointer type.
        const bool null_pointer = decl_level(g_fn.return_word, 0) == kDeclPointer &&
                                  node->kind == 0 && !node->literal && node->declarator == 0 &&
                                  node->value == 0 && type_class(node->type) <= kClassUnsignedLong;
        if (!returns_void() && IdePreferences().function_prototypes && !null_pointer &&
            classify_assignment(g_fn.return_type, node->type, g_fn.return_word,
                                node->declarator) != kAssignCompatible)
            trivial_warning_here("%s", msg(kMsgParseReturnIncompatible));
        if (returns_void()) {
            trivial_warning_here("%s", msg(kMsgParseVoidReturns));
            if (!structure)
                gen_load_value(node);
        } else if (structure) {
            if (!returns_struct())
                error_here("%s", msg(kMsgParseNotStructFunction));
            else if (g_fn.varargs)
                error_here("%s", msg(kMsgParseVarargsStruct));
            else
                return_structure(node);
        } else {
            if (interrupt_function())
                trivial_warning_here("%s", msg(kMsgParseIsrReturnsValue));
            if (g_fn.return_word == 0 && g_fn.return_type < kTypeVoid)
                ConvertCCObject(node, g_fn.return_type, false, 0);
            gen_load_value(node);
        }
    } else if (!returns_void()) {
        trivial_warning_here("%s", msg(kMsgParseShouldReturn));
    }
    // main's value is the program's exit code: running off its end, or a return without a
    // value, ends the program with 0, as C has it.
    const bool main_function = g_fn.name == "main" && !compiling_cofunction();
    if (!value && main_function)
        outasm("ld hl, 0");
    // The code behind the return still runs inside the blocks and the frame it takes down.
    const int16_t stack = stack_offset();
    if (g_fn.block_bytes != 0) {
        adjust_to_depth(0, true);
        add_stack_offset(static_cast<int16_t>(g_fn.block_bytes));
    }
    if (g_fn.epilogue_emitted) {
        (void)gen_jump(g_fn.epilogue, kOpJp);
        set_stack_offset(stack);
        return kStatementReturn;
    }
    g_fn.epilogue_emitted = true;
    g_fn.epilogue = here();
    if (compiling_cofunction()) {
        gen_cofunction_epilogue((current_decl_flags().word & kDeclSingleUser) != 0);
        set_stack_offset(stack);
        return kStatementReturn;
    }
    {
        // Every return reaches this one epilogue: the result survives it whenever the function
        // has one, whichever return came first.
        FunctionEpilog epilog(!returns_void() || main_function);
    }
    set_stack_offset(stack);
    return kStatementReturn;
}

// ---- the compile around it ---------------------------------------------------------------------------------

void reset_function_parser(bool bios_compile)
{
    g_tables = bios_compile ? Tables{} : g_bios_tables;
    g_fn = CurrentFunction{};
    g_nesting = 0;
    g_bodies = 0;
    g_loops.clear();
    g_loop_depths.clear();
    g_breaks.clear();
    g_continues.clear();
    g_cases.clear();
    g_switch = SwitchState{};
    init_costate_tables();
}

void save_function_parser_state() { g_bios_tables = g_tables; }
void forget_function_parser_state() { g_bios_tables = Tables{}; }

void install_function_parser()
{
    install_contexts();
    set_c_statement_compiler([] { (void)parse_statement(); });
}

// ---- web guard functions ---------------------------------------------------------------------------------------

ADDR24 compile_web_guard(bool debug, bool wildcard)
{
    install_contexts();
    // The guard is a function of its own, with the declaration flags of its own too: they come
    // back after the function's scope has gone.
    uint32_t &word = current_decl_flags().word;
    struct RestoreWord {
        uint32_t &word;
        uint32_t outer_word;
        ~RestoreWord() { word = outer_word; }
    } restore_word{word, word};
    const FunctionScope function_scope;
    g_fn.name = make_unique_label("_web_guard");
    g_fn.return_type = kTypeInt;

    word &= ~(kDeclInterruptMask | kDeclCofuncMask | kDeclSingleUser | kDeclLongCall);
    select_xmem_code_cache(current_decl_flags(), debug ? 1 : 0);
    clear_local_symbols();
    clear_local_tags();
    set_local_scope(true);
    // The library passes the wildcard's index as the one parameter; "@" names it.
    if (wildcard)
        (void)add_symbol("@", 0, kTypeInt, 0, kStorageAuto, nullptr, 0);
    g_fn.parameters = count_locals();
    g_fn.in_body = true;

    const bool xmem = (word & kDeclXmem) != 0;
    CodegenSeam &codegen = codegen_seam();
    const ADDR24 root_at_entry = root_code_cache().current;
    ADDR24 entry = kDummyAddress;
    if (xmem) {
        symbol owner{};
        gen_xmem_call_stub(&owner);
        entry = owner.address[kRootStubAddressSlot];
        codegen.set_code_address(xmem_code_cache().current);
    } else {
        codegen.set_code_address(root_at_entry);
        entry = here();
    }
    const ADDR24 start = here();
    add_function_start(start);
    assign_parameter_offsets();
    set_stack_offset(0);
    {
        FunctionProlog prolog(0, 0);
    }
    set_stack_offset(0);
    record_listing_range(start, here(), compiling_bios() ? kListBiosCode : kListProgramCode);
    record_statement(current_line(), current_column());
    (void)parse_return_statement(1);
    if (debug_record()) {
        const ADDR24 end = here();
        const ADDR24 last = addr_equal(end, start) ? start : addr_add(end, -1);
        (void)add_function_record(0, 0, 0, start, last, root_at_entry, 0, 0, g_fn.name.c_str());
    }
    set_stack_offset(0);
    return entry;
}

// ---- watch expressions ---------------------------------------------------------------------------------

namespace {

int g_watch_result = 0;        // of the last watch compile: 0 none, 1 globals only, 2 locals
std::string g_watch_scope;     // the function whose locals a watch expression may read

// Whether the expression's text names one of the locals as a variable: an identifier outside
// character and string literals that is no member name (after "." or "->").
bool names_a_local(const char *from, const char *to, const std::vector<symbol *> &locals)
{
    if (!from || !to || to < from)
        return false;
    const std::string text(from, to);
    bool member = false;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\'') {
            for (++i; i < text.size() && text[i] != char(c); ++i)
                if (text[i] == '\\')
                    ++i;
            ++i;
            member = false;
            continue;
        }
        if (std::isalpha(c) || c == '_') {
            std::size_t end = i;
            while (end < text.size() &&
                   (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_'))
                ++end;
            const std::string word = text.substr(i, end - i);
            if (!member)
                for (const symbol *local : locals)
                    if (word == local->name)
                        return true;
            member = false;
            i = end;
            continue;
        }
        if (std::isdigit(c)) {
            while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) ||
                                       text[i] == '.'))
                ++i;
            member = false;
            continue;
        }
        if (c == '.' || (c == '-' && i + 1 < text.size() && text[i + 1] == '>')) {
            member = true;
            i += c == '.' ? 1 : 2;
            continue;
        }
        if (!std::isspace(c))
            member = false;
        ++i;
    }
    return false;
}

}  // namespace

void set_watch_scope(const std::string &function) { g_watch_scope = function; }
int watch_expression_result() { return g_watch_result; }
void reset_watch_expression_result() { g_watch_result = 0; }

// dkDoWatchExpression "(" expr ")" ";"  (the name already read)
// The watch's code: the value loaded, then the result block pushed as the arguments of the
// kernel's dkDoWatchExpression, which returns HL at it; the block stays where it was pushed
// while the code removes it and returns, so the kernel reads it right behind the return:
//   SP+2 word 0, SP+4 type code, SP+6 declarator word (4 bytes), SP+10 value (4: a 16-bit
//   value, a char widened, in the low word; nothing read of a structure)
void compile_watch_expression()
{
    install_contexts();
    // The watch mode ends after the function's scope has gone.
    struct EndWatchCompile {
        ~EndWatchCompile() { set_watch_function_compile(false); }
    } end_watch_compile;
    const FunctionScope function_scope;
    g_fn.name = "_watch";
    g_fn.return_type = kTypeInt;

    set_watch_function_compile(true);
    clear_local_symbols();
    clear_local_tags();
    set_local_scope(true);
    // The scope function's frame variables, where they lie while the program stands in it: the
    // kernel calls the watch's code from the stop, so a variable addressed from SP lies 2 bytes
    // further up (the return address); one addressed from IX stays where it is.
    std::vector<symbol *> scope_locals;
    if (!g_watch_scope.empty()) {
        const std::string prefix = g_watch_scope + ":";
        for (const LocalVariableRecord &r : g_tables.locals) {
            if (r.name.compare(0, prefix.size(), prefix) != 0)
                continue;
            const std::string name = r.name.substr(prefix.size());
            const int16_t offset = static_cast<int16_t>(r.ix_frame ? r.offset : r.offset + 2);
            symbol *local = add_symbol(name.c_str(), r.word, r.type, offset, kStorageAuto,
                                       nullptr, 0);
            local->value = offset;
            g_fn.ix_frame = r.ix_frame;
            scope_locals.push_back(local);
        }
    }
    g_fn.parameters = count_locals();
    g_fn.in_body = true;
    codegen_seam().set_code_address(watch_code_cache().current);
    set_stack_offset(0);

    if (!match_text("(")) {
        report_missing_char('(');
        return;
    }
    const char *const expression_start = input_pointer();
    gObjectPool.push_mark();
    struct PopMark {
        ~PopMark() { gObjectPool.pop_mark(); }
    } pop_mark;
    object *node = gObjectPool.new_object();
    parse_expression_list(node, 1, 0, 0);
    const char *const expression_end = input_pointer();
    require_closing(')');
    const uint16_t type = node->type;
    const uint32_t word = node->declarator;
    if (word == 0 && type >= 16) {
        if (node->kind == 254)
            discard_stack_value(node);
        outasm("ld hl, 0");
        outasm("push hl");
        outasm("push hl");
    } else if (word == 0 && (type == 4 || type == 5 || type == 7)) {
        gen_load_value(node);
        outasm("push bc");
        outasm("push de");
    } else {
        gen_load_value(node);
        if (node->flags[0] & 0x02)
            gen_widen_a_to_hl();
        outasm("push hl");
        outasm("push hl");
    }
    outasm("ld hl, %u", unsigned(word >> 16));
    outasm("push hl");
    outasm("ld hl, %u", unsigned(word & 0xFFFF));
    outasm("push hl");
    outasm("ld hl, %u", unsigned(type));
    outasm("push hl");
    outasm("ld hl, 0");
    outasm("push hl");
    outasm("call dkDoWatchExpression");
    for (int i = 0; i < 6; ++i)
        outasm("pop de");
    outasm("ret");
    expect_semicolon();
    g_watch_result = 1;
    if (names_a_local(expression_start, expression_end, scope_locals))
        g_watch_result = 2;
}

// ---- the declaration parser's seam ---------------------------------------------------------------------------

namespace {

class FunctionDefinitions : public FunctionDefinitionSeam {
public:
    bool parse_function_definition(int result, int32_t type, int32_t storage,
                                   uint16_t placement) override
    {
        const int placed = placement == kPlaceRoot   ? kFnPlaceRoot
                           : placement == kPlaceXmem ? kFnPlaceXmem
                                                     : kFnPlaceNone;
        g_body_read = false;
        (void)::parse_function_definition(result, type, storage, placed);
        return g_body_read;
    }
};

}  // namespace

FunctionDefinitionSeam &function_definition_compiler()
{
    static FunctionDefinitions compiler;
    return compiler;
}
