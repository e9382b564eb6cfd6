// CC_FIOZ8: generated assembly lines into the emit caches, and the compile sequence.
// `outasm` formats a line and has the assembly-line parser (reached through the parser seam)
// assemble it at once; the assembler's bytes go through `emit_code_byte` into the current code
// cache. Owns the static emit caches and the program-wide pointers that name them.
#include "CC_FIOZ8.h"
#include "parser/CC_PARSE.h"

#include "codegen/CC_ASMDIR.h"
#include "codegen/CC_ASMTAB.h"
#include "parser/CC_DECL.h"
#include "parser/CC_DECLR.h"
#include "CC_DUM.h"
#include "core/CC_ER.h"
#include "input/CC_GLINE.h"
#include "CC_GO.h"
#include "parser/CC_HIER.h"
#include "input/CC_IN.h"
#include "CC_INIT.h"
#include "core/CC_MISC.h"
#include "core/CC_MOD.h"
#include "core/CC_STAB.h"
#include "CC_STATS.h"
#include "CC_VER.h"
#include "parser/CC_XDATA.h"
#include "codegen/CC_Z80START.h"
#include "core/QBSTRING.h"
#include "parser/CC_INASM.h"
#include "linker/CC_RELOC.h"
#include "linker/ORIGINS.h"
#include "core/SEAM_CODEGEN.h"
#include "core/SEAM_LINKER.h"
#include "core/SEAM_PARSER.h"
#include "core/SEAM_SETTINGS.h"
#include "core/SEAM_TARGET.h"
#include "StringResources.h"
#include "core/guiExceptions.h"
#include "core/guiInterface.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

// ---- message ids ---------------------------------------------------------------------------

namespace {
constexpr uint32_t kMsgAsmBufferExceeded = 666;  // "Internal error: internal assembly buffer exceeded"
constexpr uint32_t kMsgOutasmRecursion = 667;    // "Internal error: recursion on outasm"
constexpr uint32_t kMsgCannotOpenFile = 5023;    // "Cannot open file '%s'."
constexpr uint32_t kMsgCannotWriteFile = 7146;   // "Unable to write file '%s'."

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
    EmitCache *battery_backed = &g_live.root_variables;
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
void set_xmem_code_cache(EmitCache &cache) { g_ptr.xmem_code = &cache; }

void set_extra_code_cache(int which, EmitCache *cache)
{
    if (which == 0 || which == 1)
        g_ptr.extra[which] = cache;
}

EmitCache *extra_code_cache(int which)
{
    return (which == 0 || which == 1) ? g_ptr.extra[which] : nullptr;
}

EmitCache &battery_backed_cache() { return *g_ptr.battery_backed; }
void set_battery_backed_cache(EmitCache &cache) { g_ptr.battery_backed = &cache; }
void make_constant_cache_the_constant_target() { g_ptr.constants_in_code = g_ptr.constants; }

void flush_emit_caches()
{
    root_code_cache().Flush();
    xmem_code_cache().Flush();
    constants_in_code_cache().Flush();
}

void point_caches_at_live_set(bool separate_id)
{
    g_separate_id = separate_id;
    g_ptr.root_code = &g_live.root_code;
    g_ptr.xmem_code = &g_live.xmem_code;
    g_ptr.watch_code = &g_live.watch_code;
    // A target without origin directives (the Z180) has no constants origin: its constants go
    // with the root code.
    g_ptr.constants = origin_switch() != 0 || separate_id
                          ? static_cast<EmitCache *>(&g_live.constants)
                          : static_cast<EmitCache *>(&g_live.root_code);
    g_ptr.root_variables = &g_live.root_variables;
    g_ptr.kind6_variables = &g_live.kind6_variables;
    g_ptr.data = &g_live.root_variables;
    g_ptr.constants_in_code = separate_id ? static_cast<EmitCache *>(&g_live.constants)
                                          : static_cast<EmitCache *>(&g_live.root_code);
    g_ptr.current = &g_live.root_code;
    g_ptr.battery_backed = &g_live.root_variables;
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

bool watch_code_generation() { return g_watch_compile; }
bool separate_instruction_data() { return g_separate_id; }

void set_io_prefix_watch(bool (*watch)(uint8_t)) { g_io_prefix_watch = watch; }
void set_processor_revision(int revision) { g_processor_revision = revision; }
void set_codegen_options_byte(uint8_t options) { g_codegen_options = options; }
uint8_t codegen_options_byte() { return g_codegen_options; }
bool generated_line_active() { return g_generated_line; }
uint32_t last_generated_address() { return g_last_generated; }

// ---- outasm and the byte emitters --------------------------------------------------------------

// One generated line: format it into a 1024-byte buffer (1023 characters and the terminator),
// point the lexer at it, and let the assembly-line parser assemble exactly that line.
void outasm(const char *format, ...)
{
    // Code compiled only for its type writes nothing, and leaves the assembler alone: the
    // "sizeof" of an "#asm" operand is read in the middle of an assembly line.
    if (emit_blocked())
        return;
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
    // Gives the lexer back and frees the assembler: after the line, or when it throws.
    struct Restore {
        ParserSeam &parser;
        const LexerInputPointers &saved;
        bool done = false;
        void now()
        {
            if (done)
                return;
            done = true;
            g_generated_line = false;
            parser.restore_input(saved);
            g_outasm_busy = false;
        }
        ~Restore() { now(); }
    } restore{parser, saved};

    parser.point_input_at(line);
    g_generated_line = true;
    parser.parse_asm_block((g_codegen_options & 0x20) ? 1 : 0, 1, 0);
    restore.now();

    // Only now, with the assembler free again: the room check may move the code on to the
    // follow-on xmem segment, and the jump that bridges to it is itself a generated line.
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
        // Constants in code lie in their own cache only where its origin says so.
        if (constants_in_code_cache().OriginHolds(addr))
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
        if (extra->OriginHolds(addr))
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

// ---- the "bin" output ------------------------------------------------------------------------

namespace {
std::FILE *g_bin = nullptr;
std::string g_bin_path;
bool g_bin_failed = false;  // a seek or write went wrong: the file is not the image
}

std::string path_with_extension(const std::string &source_path, const char *extension)
{
    std::string path = source_path;
    make_path(path, "", extension, kPathReplaceExt);
    return path;
}

bool open_bin_output(const std::string &source_path, uint32_t pad_sectors)
{
    const std::string path = path_with_extension(source_path, "bin");
    close_bin_output();
    g_bin = std::fopen(path.c_str(), "w+b");
    g_bin_path = path;
    g_bin_failed = false;
    if (!g_bin) {
        ShowMessageLine(true, std::string(string_resource(kMsgCannotOpenFile)).c_str(),
                        path.c_str());
        return false;
    }
    // With the BIOS in the image the file is flash as a whole: what no block covers reads as
    // erased flash, never as the zeros of a gap.
    if (compile_conditions().bios_present && !linker_seam().pad_bin_file(g_bin, 0, pad_sectors))
        g_bin_failed = true;
    return true;
}

void write_bin_block(uint32_t count, uint32_t file_offset, const uint8_t *bytes)
{
    if (!g_bin)
        return;
    // A failure is remembered rather than dropped: a short image must fail the compile when the
    // file is finished, never pass as a written "bin" file.
    if (std::fseek(g_bin, static_cast<long>(file_offset), SEEK_SET) != 0 ||
        std::fwrite(bytes, 1, count, g_bin) != count)
        g_bin_failed = true;
}

void close_bin_output()
{
    if (g_bin)
        std::fclose(g_bin);
    g_bin = nullptr;
}

bool finish_bin_output()
{
    if (!g_bin)
        return true;
    const bool flushed = std::fflush(g_bin) == 0;
    const bool closed = std::fclose(g_bin) == 0;
    g_bin = nullptr;
    if (flushed && closed && !g_bin_failed)
        return true;
    ShowMessageLine(true, std::string(string_resource(kMsgCannotWriteFile)).c_str(),
                    g_bin_path.c_str());
    return false;
}

// ---- the compile frame's cache host ------------------------------------------------------------

namespace {

// The bytes a compile without a target has sent, by address, in pages made as they are first
// written; what was never sent reads as erased flash.
class SentImage {
public:
    void write(uint32_t addr, uint32_t count, const uint8_t *bytes)
    {
        for (uint32_t i = 0; i < count; ++i) {
            std::vector<uint8_t> &page = m_pages[(addr + i) / kPage];
            if (page.empty())
                page.assign(kPage, 0xFF);
            page[(addr + i) % kPage] = bytes[i];
        }
    }
    void read(uint32_t addr, uint32_t count, uint8_t *bytes) const
    {
        for (uint32_t i = 0; i < count; ++i) {
            const auto page = m_pages.find((addr + i) / kPage);
            bytes[i] = page == m_pages.end() ? 0xFF : page->second[(addr + i) % kPage];
        }
    }

private:
    static constexpr uint32_t kPage = 4096;
    std::unordered_map<uint32_t, std::vector<uint8_t>> m_pages;
};

class FrameCacheHost : public EmitCacheHost {
public:
    void send_block(uint32_t addr, uint32_t count, const uint8_t *bytes) override
    {
        if (gTargetlessCompile)
            m_image.write(addr, count, bytes);
        linker_seam().ui_send_block(count, addr, bytes);
    }
    // Bytes that already left the compiler are read back from the target's memory; a compile
    // without a target reads them from the image it is building.
    void read_target(uint32_t addr, uint32_t count, uint8_t *bytes) override
    {
        if (gTargetlessCompile) {
            m_image.read(addr, count, bytes);
            return;
        }
        target_operations().TcReadMemory(addr, bytes, count);
    }
    void error(const char *text) override { parser_seam().error_here(text); }
    void fatal(const char *text) override { parser_seam().fatal_here(text); }
    void assemble_line(const char *line) override { outasm("%s", line); }
    int32_t no_output_counter() const override { return code_suppression_counter(); }
    // While an "#asm" block is measured its bytes go to a scratch copy and nothing may move the
    // real caches: no room is reserved then.
    bool output_suppressed() const override { return asm_trial_depth() > 0; }
    // The expression parser's condition-inversion count: -1 while a condition is only tried.
    int32_t expression_trial() const override { return condition_inversion_count(); }
    // 2 while a C statement inside assembly text is compiled; 1 while code goes to an xmem code
    // cache (the live one, an extra "debug"/"nodebug" one, or the block reader's scratch copy).
    int code_placement() const override
    {
        if (asm_context() == 2)
            return 2;
        return current_code_cache().kind == 2 ? 1 : 0;
    }
    // Watch code needs its own origin only while the settings restrict watch code to one.
    bool watch_code_option() const override { return IdePreferences().restrict_watch_expressions; }
    bool cpu_is_z180() const override { return asm_target().cpu_flag == 0; }
    // The BIOS compile of this run names it in the memory map; a program compiled on a BIOS
    // state kept from before finds the BIOS's label among the global labels it starts with.
    uint16_t page_switch_routine() const override
    {
        if (const uint16_t routine = memory_map().page_switch_routine)
            return routine;
        const std::optional<ADDR24> label = linker_seam().global_label_address("_b_page");
        return label ? addr_offset(*label) : 0;
    }
    // A block moves to the follow-on origin only from where the block reader last reserved room.
    uint32_t code_start_marker() const override { return last_reserve_address(); }
    EmitCache *current_emitter() const override { return &current_code_cache(); }

private:
    SentImage m_image;
};

FrameCacheHost g_frame_host;

struct InstallFrameHost {
    InstallFrameHost() { set_default_emit_cache_host(&g_frame_host); }
} g_install_frame_host;

}  // namespace

// ---- the compile sequence ----------------------------------------------------------------------

namespace {

constexpr uint32_t kMsgCompilingToTarget = 7131;   // "Compiling to Target."
constexpr uint32_t kMsgUnableToOpenObject = 7132;  // "Unable to Open Object File."
constexpr uint32_t kMsgObjectCreated = 7133;       // "Object file created successfully"
constexpr uint32_t kMsgTempReadOnly = 7134;
constexpr uint32_t kMsgTempNoAccess = 7135;
constexpr uint32_t kMsgGeneratingList = 7136;      // "Generating List File"
constexpr uint32_t kMsgErasingFlash = 7137;        // "Erasing flash..."
constexpr uint32_t kMsgLoadingFlash = 7138;        // "Loading to flash"
constexpr uint32_t kMsgLoadingFlashRam = 7139;     // "Loading to flash to run in RAM"
constexpr uint32_t kMsgLoadingRam = 7140;          // "Loading to RAM"
constexpr uint32_t kMsgProgress = 7141;            // "%lu/%lu"
constexpr uint32_t kMsgSendingProgram = 7142;      // "Sending Program: %lu/%lu"
constexpr uint32_t kMsgSendingBios = 7143;         // "Sending Bios: %lu/%lu"
constexpr uint32_t kMsgNoBuffer = 7144;            // "Cannot allocate buffer."
constexpr uint32_t kMsgEraseFailed = 7145;         // "Unable to erase the flash."

// One spelling per file: what the image builder writes is what the download reads.
constexpr const char *kObjectExt = "rom";
constexpr const char *kImageExt = "bdl";
constexpr const char *kImageHexExt = "hdl";

constexpr uint32_t kFlashBase = 0x80000;

uint8_t g_output_flags = 0x31;
std::string g_compile_source;
std::string g_output_folder;  // empty: outputs beside the source
uint8_t g_download_mode = 0;
uint32_t g_bios_root_end = 0;
CompileConditions g_conditions;
int g_processor_selector = 1;
MemorySummary g_summary;
MemoryWords g_memory_words;
std::vector<JumpFixupTable> g_jump_fixups;
std::optional<StartUpRecordOffsets> g_start_up_offsets;

// Step 6 of a compile: the memory words from the configuration's ROM and RAM keys, in pages of
// 4096 bytes, as physical addresses (a RAM base below page 0 wraps in the 20 bits).
void set_memory_words(const CompilerConfig &cfg)
{
    constexpr uint32_t kPage = 4096;
    MemoryWords &w = g_memory_words;
    w.data_segment = cfg.ramg;
    w.xmem_code_base = ((uint32_t(cfg.roms) + cfg.romx) * kPage) & kPhysicalMask;
    w.code_limit = (uint32_t(cfg.rome) * kPage) & kPhysicalMask;
    w.ram_base = ((int64_t(cfg.rams) + cfg.logx - cfg.logr) * int64_t(kPage)) & kPhysicalMask;
    w.xmem_data_bound = (uint32_t(cfg.rame) * kPage) & kPhysicalMask;
}

// A BIOS compile gives the program information record and the build time stamp their names:
// "prog_param" and "kx_timestamp", declared by the BIOS, lie where the start-up block keeps them,
// behind the constants in code. The program compile then starts its constants and its second
// data cache where the BIOS left them.
void place_start_up_symbols()
{
    symbol *program_info = find_symbol("prog_param", false, kGlobalTable);
    symbol *time_stamp = find_symbol("kx_timestamp", false, kGlobalTable);
    if (!program_info && !time_stamp)
        return;
    if (!g_start_up_offsets)
        (void)codegen_seam().measure_start_up_block(nullptr);  // hands the offsets over
    if (!g_start_up_offsets)
        refuse_missing_codegen();  // only the code generator knows the block's layout
    const uint32_t base = constants_in_code_cache().current;
    if (program_info)
        set_program_start_words(base, data_cache().current);
    const std::pair<symbol *, uint16_t> placed[] = {
        {program_info, g_start_up_offsets->program_info},
        {time_stamp, g_start_up_offsets->time_stamp}};
    for (const auto &[sym, offset] : placed) {
        if (!sym)
            continue;
        const uint32_t address = addr_add(base, offset);
        sym->address[0] = address;
        sym->flags[kSymDefined.byte] |= kSymDefined.mask;
        linker_seam().define_label(sym->name, address, 2);
    }
}

// Flags spread from the options word by compile_program.
uint8_t g_codegen_flags = 0;
uint8_t g_codegen_flags2 = 0;
uint16_t g_warn_serious = 0;
uint16_t g_warn_trivial = 0;

// "STACKORG" when its text is a number, else 0xD000.
uint32_t stack_origin()
{
    const macroinfo *m = find_macro_value("STACKORG");
    if (!m || m->text.empty())
        return 0xD000;
    char *end = nullptr;
    const unsigned long v = std::strtoul(m->text.c_str(), &end, 0);
    return (end && *end == '\0') ? static_cast<uint32_t>(v & 0xFFFF) : 0xD000;
}

bool same_path_ignoring_case(const std::string &a, const std::string &b)
{
    return equal_ignoring_case(normalize_separators(a), normalize_separators(b));
}

// The program text the line input reads: the text of an open editor that holds the source (so
// unsaved edits are compiled), else the file. The builtin macros name the file and the time.
void open_program_source(const std::string &path)
{
    set_program_file(path);
    TEditorInterface *editor = gMainWindowInterface->FindEditorInterface(path);
    if (editor && same_path_ignoring_case(editor->GetFileName(), path)) {
        std::ostringstream text;
        editor->WriteText(text);
        set_program_text(text.str());
    }
    update_builtin_macros(false, 0, false);
}

// The stack words and the origin extents, for the debugger and the map; refreshed after every
// compile, also one that failed.
void fill_memory_summary()
{
    LinkerSeam &linker = linker_seam();
    MemorySummary &m = g_summary;
    m.stack_top = 0xDFFF;
    m.stack_origin = stack_origin();
    m.root_code_end = root_code_cache().current & 0xFFFFFF;
    const uint32_t page = (addr_offset(m.root_code_end) + 0xFFu) & ~0xFFu;
    m.root_code_end_page = make_addr(addr_xpc(m.root_code_end), static_cast<uint16_t>(page));
    m.root_code_end_page_last = addr_add(m.root_code_end_page, -1);
    const EmitOriginExtent &xmem_origin = xmem_code_cache().GetOrigin();
    m.xmem_code_start = xmem_origin.size ? xmem_origin.start : xmem_code_cache().window_start;
    const EmitOriginExtent &w = watch_code_cache().GetOrigin();
    m.watch_first = w.start;
    m.watch_last = watch_code_cache().direction > 0
                       ? addr_add(w.start, static_cast<int32_t>(w.size) - 1)
                       : addr_add(w.start, 1 - static_cast<int32_t>(w.size));
    m.kind2_low = xmem_origin.size ? xmem_origin.start : linker.origins_lowest_address(2);
    m.kind2_high = linker.origins_highest_address(2);
    m.kind7_low = linker.origins_lowest_address(7);
    m.kind7_high = linker.origins_highest_address(7);
    m.highest_code = linker.origins_highest_code_address();
    m.data_position = data_cache().current & 0xFFFFFF;
    m.xdata_position = root_variable_cache().current & 0xFFFFFF;
}

void finish_quietly_all()
{
    EmitCache *caches[] = {&root_code_cache(), &xmem_code_cache(), &watch_code_cache(),
                           &data_cache(), &constant_cache(), &root_variable_cache()};
    for (EmitCache *c : caches)
        c->Reset();
}

// What the download does with the built image: where it goes and how.
struct DownloadPlan {
    bool to_file, bios_marker, erase, one_piece, serial, program;
    uint8_t mode;  // 0 flash, 1 RAM, 2 flash then run in RAM
    uint32_t image_start;  // physical address of the image file's first byte
};

bool flash_mode(uint8_t mode) { return mode == 0 || mode == 2; }

// Erases the flash up to the end of the code, with the transport's retries off meanwhile.
void erase_flash(TargetOperations &target)
{
    const uint32_t retries = target.TcGetRetryCount();
    const uint32_t timeout = target.TcGetResponseTimeout();
    target.TcSetRetryCount(0);
    target.TcSetResponseTimeout(target.GetCommSettings().flash_erase_timeout);
    ShowMessageLine(false, "%s", text_of(kMsgErasingFlash).c_str());
    const bool failed =
        target.TcEraseFlash(kFlashBase + addr_to_physical(linker_seam().origins_highest_code_address()));
    target.TcSetRetryCount(retries);
    target.TcSetResponseTimeout(timeout);
    if (failed)
        throw xTCErr(kMsgEraseFailed, KX_HERE);  // nothing may be written over an unerased flash
}

// The "hex" twin of the "bin" file of a compile to a file: written anew from the "bin" file.
bool write_hex_end_record(const std::string &source_path)
{
    const std::string hex_path = path_with_extension(source_path, "hex");
    const std::string bin_path = path_with_extension(source_path, "bin");
    std::FILE *bin = std::fopen(bin_path.c_str(), "rb");
    std::FILE *hex = bin ? std::fopen(hex_path.c_str(), "w") : nullptr;
    bool ok = bin && hex;
    if (ok) {
        ok = linker_seam().write_hex_end(bin, hex);
        ok = std::fclose(hex) == 0 && ok;
        hex = nullptr;
        if (!ok)
            ShowMessageLine(true, text_of(kMsgCannotWriteFile).c_str(), hex_path.c_str());
    } else {
        ShowMessageLine(true, text_of(kMsgCannotOpenFile).c_str(),
                        (bin ? hex_path : bin_path).c_str());
    }
    if (bin)
        std::fclose(bin);
    if (hex)
        std::fclose(hex);
    return ok;
}

// Sends the whole image as one file transfer (network links): the marked blocks of the first
// `length` bytes, the file's byte 0 at `address_offset`.
void send_image_file(TargetOperations &target, const std::string &source_path, uint32_t text_id,
                     uint32_t address_offset, uint32_t length, uint32_t image_start,
                     uint32_t total)
{
    const uint32_t retries = target.TcGetRetryCount();
    target.TcSetRetryCount(0);
    ShowMessageLine(false, text_of(text_id).c_str(), 0ul, static_cast<unsigned long>(total));
    struct RestoreRetries {
        TargetOperations &target;
        uint32_t retries;
        ~RestoreRetries() { target.TcSetRetryCount(retries); }
    } restore{target, retries};
    target.TcDownloadFile(source_path, kImageExt, address_offset, length, image_start,
                          download_block_size());
}

// The download image goes to the target (block by block on a serial link, as one file on a
// network link) or, compiling to a file, into the "bin" output. Every block is taken at its
// physical address: the image start plus its place in the file. Returns false when the image
// could not be read, so that nothing is reported as loaded that was not; *bin_base is the
// physical address of the "bin" file's first byte.
bool download_image(const std::string &source_path, const DownloadPlan &plan, uint32_t *bin_base)
{
    LinkerSeam &linker = linker_seam();
    TargetOperations &target = target_operations();
    if (get_error_status() & 1)
        BringMainWindowToFront();
    const std::string image_path = path_with_extension(source_path, kImageExt);
    std::FILE *image = std::fopen(image_path.c_str(), "rb");
    if (!image) {
        ShowMessageLine(true, text_of(kMsgCannotOpenFile).c_str(), image_path.c_str());
        return false;
    }
    struct CloseImage {
        std::FILE *f;
        ~CloseImage()
        {
            std::fclose(f);
            close_bin_output();
        }
    } close_image{image};

    bool reconnect_pending = plan.bios_marker != 0;
    if (!plan.to_file && plan.erase && (!plan.one_piece || flash_mode(plan.mode))) {
        reconnect_pending = true;
        erase_flash(target);
    }

    const uint32_t block = download_block_size();
    uint32_t base = 0;
    if (plan.one_piece)
        base = flash_mode(plan.mode) ? kFlashBase : 0;
    else if (plan.erase || (plan.bios_marker && flash_mode(plan.mode)))
        base = kFlashBase;

    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[512]);
    if (!buffer) {
        ShowMessageLine(true, "%s", text_of(kMsgNoBuffer).c_str());
        return false;
    }
    const unsigned long total = static_cast<unsigned long>(linker.count_flash_sectors()) * block;
    gTCState = 4;
    const bool zero_pad = IdePreferences().zero_pad_bin_file;
    bool reading = true;
    if (plan.to_file && plan.program) {
        std::fseek(image, 0, SEEK_END);
        const long size = std::ftell(image);
        std::rewind(image);
        const uint64_t span = uint64_t(size > 0 ? size : 0) + (zero_pad ? plan.image_start : 0);
        reading = open_bin_output(source_path, static_cast<uint32_t>((span + 1023) / 1024));
    }
    if (!plan.to_file) {
        const uint32_t text = plan.mode == 0 ? kMsgLoadingFlash
                              : plan.mode == 2 ? kMsgLoadingFlashRam
                                               : kMsgLoadingRam;
        ShowMessageLine(false, "%s", text_of(text).c_str());
    }

    const uint32_t bios_end = addr_to_physical(g_bios_root_end);
    unsigned long progress = 0;
    uint32_t offset = 0;
    std::optional<uint32_t> first_block;  // physical address of the first block sent
    while (reading) {
        std::memset(buffer.get(), 0xFF, block);
        const std::size_t got = std::fread(buffer.get(), 1, block, image);
        if (got == 0)
            break;
        gDialogControl.PumpStatusBoxMessages();
        const uint32_t physical = plan.image_start + offset;
        if (linker.flash_sector_marked(physical, block)) {
            if (!first_block)
                first_block = physical;
            if (!plan.one_piece && reconnect_pending && physical > bios_end) {
                reconnect_pending = false;
                if (!plan.erase) {
                    target.ReconnectAtDebugBaud();
                    base = 0;
                } else {
                    base = kFlashBase;
                }
            }
            if (!plan.to_file) {
                progress += block;
                ShowMessageLine(false, text_of(kMsgProgress).c_str(), progress, total);
            }
            if (plan.to_file && plan.program)
                write_bin_block(static_cast<uint32_t>(got),
                                zero_pad ? physical : physical - *first_block, buffer.get());
            if (!plan.to_file && plan.serial)
                target.TcWritePhysicalMemory(base + physical, buffer.get(),
                                             static_cast<uint32_t>(got));
        }
        offset += static_cast<uint32_t>(got);
    }
    *bin_base = zero_pad ? 0 : first_block.value_or(plan.image_start);

    // A whole-file transfer places the file's byte 0 at the image start above the base. Once
    // the image is in, the loader starts the BIOS and the link goes to the debug rate: after a
    // BIOS whose blocks a serial link wrote one by one as much as after a file transfer, and
    // after an image written into the erased flash; only a serial program load over a running
    // BIOS leaves the link as it is.
    const uint32_t file_base = base + plan.image_start;
    const auto send_file = [&](uint32_t text_id) {
        send_image_file(target, source_path, text_id, file_base, offset, plan.image_start,
                        static_cast<uint32_t>(total));
    };
    if (plan.to_file) {
        // nothing goes to a target
    } else if (plan.one_piece) {
        if (!plan.serial) {
            send_file(kMsgSendingProgram);
            target.ReconnectAtDebugBaud();
        }
    } else if (plan.bios_marker && !plan.erase && reconnect_pending) {
        if (!plan.serial)
            send_file(kMsgSendingBios);
        target.ReconnectAtDebugBaud();
    } else if (!plan.serial || plan.erase) {
        if (!plan.serial)
            send_file(kMsgSendingProgram);
        target.ReconnectAtDebugBaud();
    }

    bool written = reading;
    if (plan.to_file && plan.program && reading) {
        written = finish_bin_output() && write_hex_end_record(source_path);
        if (written)
            ShowMessageLine(true, "%s", text_of(kMsgObjectCreated).c_str());
    }
    linker.clear_flash_sector_map();
    return written;
}

}  // namespace

uint8_t output_flags() { return g_output_flags; }
void set_output_flags(uint8_t flags) { g_output_flags = flags; }
const std::string &compile_source_path() { return g_compile_source; }
void set_output_folder(const std::string &folder) { g_output_folder = folder; }
const std::string &output_folder() { return g_output_folder; }

std::string output_base_path(const std::string &source_path)
{
    if (g_output_folder.empty())
        return source_path;
    const std::filesystem::path name =
        std::filesystem::path(normalize_separators(source_path)).filename();
    return (std::filesystem::path(normalize_separators(g_output_folder)) / name).string();
}

std::string compile_output_path() { return output_base_path(g_compile_source); }
void set_download_mode(uint8_t mode) { g_download_mode = mode; }
uint8_t download_mode() { return g_download_mode; }
uint32_t bios_root_code_end() { return g_bios_root_end; }
void set_bios_root_code_end(uint32_t addr) { g_bios_root_end = addr; }
CompileConditions &compile_conditions() { return g_conditions; }
void set_processor_selector(int selector) { g_processor_selector = selector; }
int processor_selector() { return g_processor_selector; }
const MemoryWords &memory_words() { return g_memory_words; }
JumpFixupTable *jump_fixups() { return g_jump_fixups.empty() ? nullptr : &g_jump_fixups.back(); }

JumpFixupScope::JumpFixupScope()
{
    if (g_jump_fixups.empty()) {
        g_jump_fixups.emplace_back();
        pushed = true;
    }
}

JumpFixupScope::~JumpFixupScope()
{
    if (pushed && !g_jump_fixups.empty())
        g_jump_fixups.pop_back();
}
JumpFixupLevel::JumpFixupLevel() { g_jump_fixups.emplace_back(); }
JumpFixupLevel::~JumpFixupLevel()
{
    if (!g_jump_fixups.empty())
        g_jump_fixups.pop_back();
}
std::size_t jump_fixup_depth() { return g_jump_fixups.size(); }
void set_start_up_record_offsets(std::optional<StartUpRecordOffsets> offsets)
{
    g_start_up_offsets = offsets;
}
const MemorySummary &memory_summary() { return g_summary; }

namespace {
// The global labels the last program compile left: the scope every watch compile starts with.
std::vector<CarriedLabel> g_program_labels;
}  // namespace

int16_t compile_program(uint32_t root_code_start, uint32_t data_start, uint32_t constant_start,
                        uint32_t second_data_start, uint32_t, uint32_t, uint16_t options)
{
    ensure_compiler_joins();
    const bool watch = options & 0x01;
    const bool bios = IsCompilingBios();
    ParserSeam &parser = parser_seam();
    LinkerSeam &linker = linker_seam();
    const CompilerConfig &cfg = compiler_config();
    const bool object_file = !watch && (g_output_flags & 0x10);
    const JumpFixupScope fixups;

    if (!watch)
        parser.web_reset();
    set_label_recording(true);
    (void)set_xmem_window(cfg.logx);
    g_codegen_flags = static_cast<uint8_t>(((options & 0x02) ? 0x04 : 0) |
                                           ((options & 0x04) ? 0x08 : 0) |
                                           ((options & 0x08) ? 0x02 : 0));
    g_codegen_flags2 = (options & 0x10) ? 0x10 : 0;
    // The run-time pointer checks ride in the declaration flag word, which every item copies.
    set_decl_flag_word((decl_flag_word() & ~kDeclPointerChecks) |
                       ((options & 0x04) ? uint32_t(kDeclPointerChecks) : 0u));
    g_warn_serious = (options & 0x20) ? 1 : 0;
    g_warn_trivial = (options & 0x40) ? 1 : 0;
    set_warning_switches(g_warn_serious, g_warn_trivial);
    set_watch_code_generation(watch, watch);
    if (watch) {
        reset_compile_state();
        reset_watch_expression_result();
        // A watch expression calls into the program: its routines, the runtime's and the BIOS's
        // (the debug kernel's dkDoWatchExpression) are defined in its scope.
        start_global_scope_with(g_program_labels);
    }
    if (bios)
        codegen_seam().set_bios_compile(&g_conditions.bios_marker);

    if (!watch)
        set_memory_words(cfg);
    root_code_cache().SetAddress(root_code_start);
    data_cache().SetAddress(data_start);
    root_variable_cache().SetAddress(second_data_start);
    if (g_separate_id)
        constant_cache().SetAddress(constant_start);

    point_caches_at_live_set(g_separate_id);
    codegen_seam().select_cache_set(bios ? 0 : 1);
    if (bios) {
        EmitCache *all[] = {&root_code_cache(), &xmem_code_cache(), &watch_code_cache(),
                            &constant_cache(), &root_variable_cache(), &kind6_variable_cache()};
        for (EmitCache *c : all)
            c->Unbind();
        // The Z180 has no origin directives: its BIOS starts from the fixed layout.
        if (origin_switch() == 0)
            lay_out_z180_origins();
    }
    // Xmem data goes on from where the caches now stand, up to the "rame" bound.
    if (!watch)
        init_xdata_allocator(g_memory_words.xmem_data_bound);
    // Without its object file the compile cannot produce anything: it fails, with the message.
    if (object_file &&
        linker.open_object_file(compile_output_path(), (options & 0x80) != 0) != 0) {
        ShowMessageLine(true, "%s", text_of(kMsgUnableToOpenObject).c_str());
        return 0;
    }
    if (!watch)
        parser.reset_declaration_defaults();
    root_address_directory().clear();
    xmem_address_directory().clear();
    set_current_code_cache(root_code_cache());
    if (!watch)
        open_program_source(g_compile_source);

    // Common clean-up of a compile left by an exception.
    const auto clean_up = [&] {
        close_line_input();
        finish_quietly_all();
        if (!watch)
            fill_memory_summary();
        set_error_file_name("ERROR", 0);
        linker.reset_labels(7);
        if (watch)
            teardown_compile();
        if (object_file)
            linker.close_object_file((options & 0x80) != 0);
    };
    try {
        parser.parse_program();
        if (!watch)
            linker.resolve_origins();
        if (!watch && (xmem_code_cache().current & 1))
            xmem_code_cache().EmitByte(0);
        root_code_cache().Finish();
        xmem_code_cache().Finish();
        watch_code_cache().Finish();
        if (!watch) {
            data_cache().Finish();
            root_variable_cache().Finish();
        }
        constant_cache().Finish();
        // An origin option's cache that no origin binds took no code: nothing to finish.
        for (int which = 0; which < 2; ++which)
            if (EmitCache *extra = extra_code_cache(which); extra && extra->is_bound())
                extra->Finish();
        set_current_code_cache(root_code_cache());
        // The code limits: from the last root code byte up to the lowest byte of the data.
        set_compile_code_limits(root_code_cache().current, data_cache().current, watch);
        if (g_conditions.bios_marker)
            g_bios_root_end = root_code_cache().current;
        set_error_file_name("ERROR", 0);
        if (bios) {
            EmitCache *checked[] = {&xmem_code_cache(), &root_code_cache(), &data_cache(),
                                    &root_variable_cache()};
            for (EmitCache *c : checked)
                c->EnsureRoom(0x80, true);
        }
        if (!watch) {
            fill_memory_summary();
            g_summary.compile_time_stamp =
                IdePreferences().include_time_stamp ? GetMillisecondClock() : 0xFFFFFFFFu;
            if (!bios) {
                const char *entry = g_conditions.bios_marker ? "biosmain" : "main";
                if (auto addr = linker.global_label_address(entry))
                    g_summary.entry_point = *addr;
                set_current_code_cache(root_code_cache());
            } else {
                place_start_up_symbols();
                // The Z180's xmem code moves on to its next page through the BIOS's routine.
                if (codegen_seam().cpu_flag() == 0)
                    if (auto a = linker.global_label_address("_b_page"))
                        set_page_switch_routine(addr_offset(*a));
            }
        }
        if (!watch)
            codegen_seam().note_required_symbols();  // the start-up block's names, asm labels too
        linker.reset_labels(errors_seen() ? 7 : 3);
        if (!watch)
            g_program_labels = last_closed_global_labels();
        set_global_symbol_mark();
    } catch (const xCCErrOvflo &) {
        clean_up();
        return 0;
    } catch (...) {
        clean_up();
        throw;
    }
    // A watch compile answers what its one line was: 0 no watch call, 1 the expression read
    // only globals, 2 it read a local of its scope function.
    if (watch)
        return static_cast<int16_t>(watch_expression_result());
    return static_cast<int16_t>(parser.function_count() + 1);
}

namespace {

// A program compiled with the run-time pointer checks and with debug code, for the Vireon set
// (the Z180 set gets no check), while the program-wide switch is on, gets a write-permission
// table to check its stores against.
bool write_permission_table_wanted(uint16_t options, bool debug)
{
    return (options & 0x04) != 0 && debug && pointer_checking() &&
           codegen_seam().cpu_flag() == 1;
}

// The pages the table marks writable: from the far end of the data origin (by the direction the
// data fills it) up to the stack's page. Known once the data cache is bound to its origin.
void note_writable_data_pages()
{
    StartUpLayout layout = start_up_layout();
    if (!layout.page_map)
        return;
    const EmitCache &data = data_cache();
    const EmitOriginExtent &origin = data.GetOrigin();
    int32_t far_end = addr_offset(origin.start);
    if (origin.size != 0)
        far_end += data.direction < 0 ? -static_cast<int32_t>(origin.size - 1)
                                      : static_cast<int32_t>(origin.size - 1);
    layout.data_far_end = static_cast<uint16_t>(std::clamp(far_end, 0, 0xFFFF));
    set_start_up_layout(layout);
}

}  // namespace

uint16_t compile_and_load(const std::string &source)
{
    // Every file the compile writes is named from here; the source is read from `source`.
    const std::string source_path = output_base_path(source);
    CompilerConfig &cfg = compiler_config();
    LinkerSeam &linker = linker_seam();
    const uint16_t saved_rams = cfg.rams, saved_rame = cfg.rame, saved_ramg = cfg.ramg,
                   saved_rome = cfg.rome;
    struct RestoreMemoryValues {
        CompilerConfig &cfg;
        uint16_t rams, rame, ramg, rome;
        ~RestoreMemoryValues()
        {
            cfg.rams = rams;
            cfg.rame = rame;
            cfg.ramg = ramg;
            cfg.rome = rome;
        }
    } restore{cfg, saved_rams, saved_rame, saved_ramg, saved_rome};

    g_compile_source = source;
    codegen_seam().reset_compile_state();  // forgets the last code label defined
    purgeStringPool();
    // The code generator knows two families: the Z180 (selector 0) and the Vireon one.
    (void)codegen_seam().select_target_cpu(0, g_processor_selector == 0 ? 1 : 0);
    if (prepare_compile() != 0)
        return static_cast<uint16_t>(get_error_status() | 2);
    // The statistics window's record, whichever way the compile ends from here.
    CompileStatisticsScope statistics;

    // The memory map: root code from the page after the BIOS's root code (a BIOS compile gives
    // no address: 0), over the code generator's root code size. On the Vireon family the data
    // top is the data cache's offset, the xmem code range that of the xmem code cache's origin
    // (empty while no origin is bound).
    memory_map_defaults(IsCompilingBios() ? 0 : addr_offset(g_bios_root_end),
                        codegen_seam().root_code_size());
    MemoryLayoutInputs layout;
    layout.processor_selector = g_processor_selector;
    layout.free_size = cfg.free;
    layout.astk_size = cfg.astk;
    layout.heap_size = cfg.heap;
    layout.data_cache_offset = addr_offset(data_cache().current);
    const EmitOriginExtent &xmem_origin = xmem_code_cache().GetOrigin();
    layout.xmem_code_range.first = addr_to_physical(xmem_origin.start);
    layout.xmem_code_range.size = xmem_origin.size;
    layout.xmem_code_range.last =
        xmem_origin.size ? layout.xmem_code_range.first + xmem_origin.size - 1
                         : layout.xmem_code_range.first;
    (void)LayoutMemoryMap(0, layout);

    g_output_flags = 0x31;
    ShowMessageLine(false, "%s", text_of(kMsgCompilingToTarget).c_str());
    const bool bios = IsCompilingBios();
    set_watch_compile(false);
    set_preamble_context(bios, version_word(), (g_output_flags & 0x20) != 0);
    reset_line_position(1, 1);
    breakpoint_tables().clearBreakpoints();
    free_function_records();
    if (bios)
        linker.origins_clear();
    const uint16_t options = pack_compile_options();
    g_summary.compile_time_stamp =
        IdePreferences().include_time_stamp ? GetMillisecondClock() : 0xFFFFFFFFu;

    uint32_t root_start = kDummyAddress, data_start = kDummyAddress;
    uint32_t constant_start = kDummyAddress, second_start = kDummyAddress;
    if (!bios) {
        // Root code goes on where the BIOS's ended; constants and the second data cache where
        // the BIOS left them when it placed "prog_param" (else with the root code and the data).
        const MemoryMap &map = memory_map();
        root_start = g_bios_root_end;
        data_start = bios_compile_info_cache().program_data_start;
        statistics.SetBases(root_start, data_start);
        second_start = map.program_second_data_start != kDummyAddress
                           ? map.program_second_data_start
                           : data_start;
        constant_start = map.program_constant_start != kDummyAddress ? map.program_constant_start
                                                                     : root_start;
        // The start-up block goes where the BIOS's last jump leads; the program follows it.
        StartUpLayout start_up;
        start_up.start = root_start;
        start_up.two_blocks = separate_instruction_data();
        start_up.second_start = constant_start;
        start_up.debug = gDebugRstState == 0;
        start_up.heap = cfg.heap;
        start_up.heap_low = static_cast<uint16_t>(map.heap_area.first);
        start_up.heap_high = static_cast<uint16_t>(map.heap_area.last);
        start_up.rams = cfg.rams;
        start_up.logr = cfg.logr;
        // The Z180's "rst 0x30" jumps through the RAM vector "vrst30": the block arms it with
        // "jp _b_all" before any xmem function is called through its root stub.
        start_up.vectors_differ = codegen_seam().cpu_flag() == 0;
        set_start_up_layout(start_up);
        uint16_t second_size = 0;
        const uint16_t block_size = codegen_seam().measure_start_up_block(&second_size);
        codegen_seam().want_start_up_routines();
        root_start = addr_add(root_start, block_size);
        if (write_permission_table_wanted(options, start_up.debug)) {
            // The table the run-time pointer checks read lies behind the block, on a 256-byte
            // boundary (a page index is its low address byte); the program's code follows it.
            const uint32_t offset = addr_offset(root_start);
            const uint32_t aligned = (offset + 0xFFu) & ~0xFFu;
            start_up.page_map = true;
            start_up.page_map_address = addr_add(root_start, static_cast<int32_t>(aligned - offset));
            start_up.stack_page_end = start_up.stack_top;
            set_start_up_layout(start_up);
            root_start = addr_add(start_up.page_map_address, 256);
        }
        if (start_up.two_blocks)
            constant_start = addr_add(constant_start, second_size);
    }

    // The BIOS marker is the code generator's to set, for this compile only.
    g_conditions.bios_marker = 0;
    if (bios)  // what an earlier BIOS recorded for the program is not this BIOS's
        set_program_start_words(kDummyAddress, kDummyAddress);
    // The breakpoint dump beside the source; written during every compile.
    const std::string brk_path = path_with_extension(source_path, "brk");
    std::ofstream brk(brk_path, std::ios::out | std::ios::trunc);
    if (!brk) {
        // Only a file of that name is a write-protected copy; a folder in its place is not.
        std::error_code ec;
        if (std::filesystem::is_regular_file(brk_path, ec))
            throw xFileOpen(kMsgTempReadOnly, brk_path.c_str(), KX_HERE);
        const std::string dir = std::filesystem::path(brk_path).parent_path().string();
        throw xFileOpen(kMsgTempNoAccess, dir.c_str(), KX_HERE);
    }

    int16_t compiled = 0;
    try {
        compiled = compile_program(root_start, data_start, constant_start, second_start,
                                   kDummyAddress, kDummyAddress, options);
    } catch (...) {
        breakpoint_tables().dumpBreakpoints(brk);
        brk.close();
        close_line_input();
        linker.write_map_file();
        g_summary.stack_origin = 0xD000;
        g_summary.stack_top = 0xDFFF;
        throw;
    }
    unmute_messages();
    breakpoint_tables().dumpBreakpoints(brk);
    brk.close();
    close_line_input();
    linker.write_map_file();
    set_current_code_cache(root_code_cache());
    fill_memory_summary();

    const auto failed = [] { return static_cast<uint16_t>(get_error_status() | 2); };
    if (compiled == 0)
        return failed();
    if (!bios)
        note_writable_data_pages();
    // A program that did not compile reports its own errors only: the start-up block's names
    // (the libraries' premain) are missing then because the compile stopped short of them.
    if (get_error_status() & 2)
        return failed();
    if (!bios && !codegen_seam().link_required_symbols(0))
        return failed();

    linker.close_object_file(false);
    uint32_t low_sector = 0;
    const bool built =
        linker.build_rom_image(source_path, kObjectExt, kImageHexExt, kImageExt, &low_sector) == 0;
    if (!built) {
        ShowMessageLine(true, "%s", text_of(kMsgUnableToOpenObject).c_str());
        return failed();
    }
    const uint32_t image_start = low_sector * 1024;
    if (compiler_options().list_files) {
        ShowMessageLine(false, "%s", text_of(kMsgGeneratingList).c_str());
        linker.write_list_file(source_path, image_start);
    } else {
        linker.clear_list_records();
    }
    bool bin_written = false;
    uint32_t bin_base = 0;
    if (g_conditions.erase && g_conditions.bios_marker) {
        if (!bios)
            ShowMessageLine(true, "%s", text_of(kMsgObjectCreated).c_str());
    } else {
        DownloadPlan plan;
        plan.to_file = g_conditions.to_file;
        plan.bios_marker = g_conditions.bios_marker != 0;
        plan.erase = g_conditions.erase;
        plan.one_piece = g_conditions.one_piece;
        plan.serial = target_operations().GetCommSettings().link_kind == 0;
        plan.program = !bios;
        plan.mode = g_download_mode;
        plan.image_start = image_start;
        if (!download_image(source_path, plan, &bin_base))
            return failed();
        bin_written = plan.to_file && plan.program;
    }
    // Only a "bin" file that this compile wrote is cut at the "splitbin" origins.
    if (!g_conditions.erase && bin_written && !linker.write_bin_hex_files(source_path, bin_base))
        return failed();
    return get_error_status();
}
