// CC_FIOZ8: generated assembly lines into the emit caches, and the compile sequence.
// `outasm` formats a line and has the assembly-line parser (reached through the parser seam)
// assemble it at once; the assembler's bytes go through `emit_code_byte` into the current code
// cache. Owns the static emit caches and the program-wide pointers that name them.
#include "CC_FIOZ8.h"

#include "SEAM_LINKER.h"
#include "SEAM_PARSER.h"
#include "StringResources.h"

#include <cstdarg>
#include <cstdio>
#include <string>

// ---- message ids ---------------------------------------------------------------------------

namespace {
constexpr uint32_t kMsgAsmBufferExceeded = 666;  // "Internal error: internal assembly buffer exceeded"
constexpr uint32_t kMsgOutasmRecursion = 667;    // "Internal error: recursion on outasm"

std::string text_of(uint32_t id) { return std::string(string_resource(id)); }
}  // namespace

// ---- cache objects and pointers ----------------------------------------------------------------

namespace {

// Created at program start in this order (null cache, live set, saved set), destroyed in reverse.
NullCache g_null_cache;
EmitCacheSet g_live;
EmitCacheSet g_saved;

struct CachePointers {
    EmitCache *root_code = &g_live.root_code;
    EmitCache *xmem_code = &g_live.xmem_code;
    EmitCache *watch_code = &g_live.watch_code;
    EmitCache *constants = &g_live.constants;
    EmitCache *root_variables = &g_live.root_variables;
    EmitCache *kind6_variables = &g_live.kind6_variables;
    EmitCache *data = &g_live.root_variables;
    EmitCache *constants_in_code = &g_live.root_code;
    EmitCache *current = &g_live.root_code;
    EmitCache *extra[2] = {nullptr, nullptr};
} g_ptr;

bool g_separate_id = false;
bool g_watch_compile = false;
bool g_generating_watch_code = false;

// outasm state
bool g_outasm_busy = false;
bool g_generated_line = false;
uint32_t g_last_generated = 0;
uint8_t g_codegen_options = 0;

bool (*g_io_prefix_watch)(uint8_t) = nullptr;
int g_processor_revision = 3;

}  // namespace

NullCache &null_cache() { return g_null_cache; }
EmitCacheSet &live_caches() { return g_live; }
EmitCacheSet &saved_caches() { return g_saved; }

EmitCache &root_code_cache() { return *g_ptr.root_code; }
EmitCache &xmem_code_cache() { return *g_ptr.xmem_code; }
EmitCache &watch_code_cache() { return *g_ptr.watch_code; }
EmitCache &constant_cache() { return *g_ptr.constants; }
EmitCache &root_variable_cache() { return *g_ptr.root_variables; }
EmitCache &kind6_variable_cache() { return *g_ptr.kind6_variables; }
EmitCache &data_cache() { return *g_ptr.data; }
EmitCache &constants_in_code_cache() { return *g_ptr.constants_in_code; }
EmitCache &current_code_cache() { return *g_ptr.current; }
void set_current_code_cache(EmitCache &cache) { g_ptr.current = &cache; }

void set_extra_code_cache(int which, EmitCache *cache)
{
    if (which == 0 || which == 1)
        g_ptr.extra[which] = cache;
}

EmitCache *extra_code_cache(int which)
{
    return (which == 0 || which == 1) ? g_ptr.extra[which] : nullptr;
}

void point_caches_at_live_set(bool separate_id)
{
    g_separate_id = separate_id;
    g_ptr.root_code = &g_live.root_code;
    g_ptr.xmem_code = &g_live.xmem_code;
    g_ptr.watch_code = &g_live.watch_code;
    g_ptr.constants = &g_live.constants;
    g_ptr.root_variables = &g_live.root_variables;
    g_ptr.kind6_variables = &g_live.kind6_variables;
    g_ptr.data = &g_live.root_variables;
    g_ptr.constants_in_code = separate_id ? static_cast<EmitCache *>(&g_live.constants)
                                          : static_cast<EmitCache *>(&g_live.root_code);
    g_ptr.current = &g_live.root_code;
}

void set_separate_instruction_data(bool on)
{
    g_separate_id = on;
    g_ptr.constants_in_code = on ? g_ptr.constants : g_ptr.root_code;
}

void set_watch_code_generation(bool watch_compile, bool generating_watch_code)
{
    g_watch_compile = watch_compile;
    g_generating_watch_code = generating_watch_code;
}

void set_io_prefix_watch(bool (*watch)(uint8_t)) { g_io_prefix_watch = watch; }
void set_processor_revision(int revision) { g_processor_revision = revision; }
void set_codegen_options_byte(uint8_t options) { g_codegen_options = options; }
bool generated_line_active() { return g_generated_line; }
uint32_t last_generated_address() { return g_last_generated; }

// ---- outasm and the byte emitters --------------------------------------------------------------

// One generated line: format it into a 1024-byte buffer (1023 characters and the terminator),
// point the lexer at it, and let the assembly-line parser assemble exactly that line.
void outasm(const char *format, ...)
{
    ParserSeam &parser = parser_seam();
    if (g_outasm_busy) {
        parser.fatal_here(text_of(kMsgOutasmRecursion).c_str());
        return;  // a reporter that does not throw must still not re-enter the assembler
    }
    char line[1024];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (length < 0 || length > 1023) {
        parser.fatal_here(text_of(kMsgAsmBufferExceeded).c_str());
        return;
    }

    g_outasm_busy = true;
    const LexerInputPointers saved = parser.save_input();
    struct Restore {
        ParserSeam &parser;
        const LexerInputPointers &saved;
        ~Restore()
        {
            g_generated_line = false;
            parser.restore_input(saved);
            g_outasm_busy = false;
        }
    } restore{parser, saved};

    parser.point_input_at(line);
    g_generated_line = true;
    parser.parse_asm_block((g_codegen_options & 0x20) ? 1 : 0, 1, 0);
    g_generated_line = false;

    g_last_generated = xmem_code_cache().current;
    xmem_code_cache().EnsureRoom(0x20, false);
}

void emit_code_byte(uint8_t b)
{
    if (g_io_prefix_watch && g_io_prefix_watch(b) && g_processor_revision < 3)
        current_code_cache().EmitByte(0x00);
    current_code_cache().EmitByte(b);
}

uint32_t emit_zero_bytes(uint32_t n, bool second)
{
    EmitCache &cache = second ? data_cache() : root_variable_cache();
    for (uint32_t i = 0; i < n; ++i) {
        cache.EmitByte(0);
        if (i >= 32768)
            cache.EnsureRoom(0x80, true);
    }
    cache.EnsureRoom(0x80, true);
    return addr_add(cache.current, 1);
}

// The cache that holds an already emitted address.
static EmitCache &cache_for_patch(uint32_t addr)
{
    if (g_separate_id && g_watch_compile)
        return watch_code_cache();
    if ((addr & 0xFFFF) < window_start()) {
        if (linker_seam().check_origin_range(addr))
            return constants_in_code_cache();
        if (g_generating_watch_code)
            return watch_code_cache();
        return root_code_cache();
    }
    EmitCache *chosen = &xmem_code_cache();
    for (int which = 0; which < 2; ++which) {
        EmitCache *extra = g_ptr.extra[which];
        if (!extra)
            continue;
        const EmitOriginExtent &o = extra->GetOrigin();
        if (o.size == 0)
            continue;
        const uint32_t pa = addr_to_physical(addr);
        const uint32_t ps = addr_to_physical(o.start);
        const bool inside = extra->direction > 0 ? (pa >= ps && pa < ps + o.size)
                                                 : (pa + o.size > ps && pa <= ps);
        if (inside)
            chosen = extra;  // the second extra cache, checked last, takes precedence
    }
    return *chosen;
}

static void patch_bytes(uint32_t addr, const uint8_t *bytes, int n)
{
    EmitCache &cache = cache_for_patch(addr);
    cache.Flush();
    for (int i = 0; i < n; ++i) {
        cache.EmitByteAt(addr, bytes[i]);
        addr = addr_add(addr, 1);
    }
}

void patch_code_byte(uint32_t addr, uint8_t b) { patch_bytes(addr, &b, 1); }

void patch_code_word(uint32_t addr, uint16_t w)
{
    const uint8_t bytes[2] = {static_cast<uint8_t>(w & 0xFF), static_cast<uint8_t>(w >> 8)};
    patch_bytes(addr, bytes, 2);
}

uint32_t download_block_size() { return 128; }
