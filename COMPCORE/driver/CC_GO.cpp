// CC_GO: the compile entry and the compiler facade. Checks the libraries list, carries the BIOS
// compile's state into every program compile, runs the compile sequence (CC_FIOZ8), and keeps
// the compiler options and the staged start-up ("kxw.cfg", then the library index).
// Called by the compile-and-load sequence and by the IDE's start-up timer.
#include "CC_GO.h"

#include "core/CC_ADDR.h"
#include "codegen/CC_ASM.h"
#include "parser/CC_CHAIN.h"
#include "parser/CC_DIRECT.h"
#include "CC_DUM.h"
#include "core/CC_ER.h"
#include "input/CC_GLINE.h"
#include "parser/CC_HIER.h"
#include "input/CC_IN.h"
#include "parser/CC_INASM.h"
#include "CC_INIT.h"
#include "parser/CC_LABELS.h"
#include "core/CC_MISC.h"
#include "core/CC_OBJ.h"
#include "parser/CC_PARSE.h"
#include "linker/CC_RELOC.h"
#include "linker/CC_ROM.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"
#include "codegen/CC_Z80.h"
#include "codegen/CC_Z80CALL.h"
#include "codegen/CC_Z80GEN.h"
#include "linker/MAPFILE.h"
#include "core/SEAM_LINKER.h"
#include "core/SEAM_SETTINGS.h"
#include "core/SEAM_TARGET.h"
#include "RegularFile.h"
#include "StringResources.h"
#include "core/guiExceptions.h"
#include "core/guiInterface.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kMsgNoLibrariesFile = 7130;  // "Could not find Libraries file: %s"

std::string g_program_dir;
std::string g_startup_dir;
std::vector<std::string> g_system_dirs;
std::string g_config_path;
std::string g_libraries_file;
std::string g_bios_file;
std::string g_source;

uint8_t g_stage = 0;
uint8_t g_compile_mode = 1;
uint16_t g_pending_error = 0;
CompilerOptions g_options;
CompileSettings g_ccopts;
std::vector<std::string> g_bios_libraries;
BIOSCompileInfoCache g_bios_cache;

std::string join_dir(const std::string &dir, const char *name)
{
    if (dir.empty())
        return name;
    const std::string d = normalize_separators(dir);
    return d.back() == '/' ? d + name : d + "/" + name;
}

// Opens for reading and writing without creating: the file exists and may be updated.
bool usable_config(const std::string &path)
{
    if (!is_regular_file_path(path))
        return false;
    std::FILE *f = std::fopen(path.c_str(), "r+");
    if (!f)
        return false;
    std::fclose(f);
    return true;
}

std::array<int32_t, 15> options_getter() { return compiler_options_array(); }

// A bad "kxw.cfg" line becomes a serious warning naming the line.
void report_config_problem(const ConfigProblem &problem)
{
    report_warning(1, problem.line, 1, "%s", problem.text.c_str());
}

// The file name after the last separator, upper-cased.
std::string upper_file_name(const std::string &path)
{
    const std::string p = normalize_separators(path);
    return upper_case(p.substr(p.rfind('/') == std::string::npos ? 0 : p.rfind('/') + 1));
}

}  // namespace

// ---- directories -------------------------------------------------------------------------------

void set_compiler_directories(const std::string &program_dir, const std::string &startup_dir,
                              const std::vector<std::string> &system_dirs)
{
    g_program_dir = normalize_separators(program_dir);
    g_startup_dir = normalize_separators(startup_dir);
    g_system_dirs = system_dirs;
}

std::vector<std::string> default_system_config_dirs()
{
    std::vector<std::string> dirs;
    if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        dirs.push_back(std::string(xdg) + "/korvex");
    else if (const char *home = std::getenv("HOME"); home && *home)
        dirs.push_back(std::string(home) + "/.config/korvex");
    dirs.push_back("/etc/korvex");
    return dirs;
}

const std::string &program_directory() { return g_program_dir; }
void set_program_directory(const std::string &dir) { g_program_dir = normalize_separators(dir); }
const std::string &config_path() { return g_config_path; }
void set_libraries_file(const std::string &path) { g_libraries_file = path; }
const std::string &libraries_file() { return g_libraries_file; }
void set_bios_file(const std::string &path) { g_bios_file = path; }
const std::string &bios_file() { return g_bios_file; }
void set_current_source(const std::string &path) { g_source = path; }
const std::string &current_source() { return g_source; }

// ---- start-up ----------------------------------------------------------------------------------

uint8_t start_up_stage() { return g_stage; }
void reset_start_up_stage() { g_stage = 0; }

// Stage 0 reads "kxw.cfg" from the first directory where it exists and may be updated; stage 1
// loads the library index. Whatever happens, the tables are (re)allocated from the limits.
int16_t start_compiler()
{
    ensure_compiler_joins();
    struct Reallocate {
        ~Reallocate() { allocate_compiler_tables(IsCompilingBios()); }
    } reallocate;

    int16_t result = 1;
    if (g_stage == 0) {
        std::vector<std::string> dirs = {g_program_dir, g_startup_dir};
        dirs.insert(dirs.end(), g_system_dirs.begin(), g_system_dirs.end());
        g_config_path = join_dir(g_program_dir, "kxw.cfg");
        for (const std::string &dir : dirs) {
            if (dir.empty())
                continue;
            const std::string candidate = join_dir(dir, "kxw.cfg");
            if (usable_config(candidate)) {
                g_config_path = candidate;
                break;
            }
        }
        set_config_reporter(&report_config_problem);
        ReadCompilerConfig(g_config_path);
        set_config_reporter(nullptr);
        const CompilerConfig &cfg = compiler_config();
        g_options.lit = cfg.lit;
        g_options.mac = cfg.mac;
        g_options.sym = cfg.sym;
        g_options.hex_output = cfg.cchexf;
        g_options.output_mode = cfg.romc;
        g_stage = 1;
    }
    if (g_stage == 1) {
        linker_seam().create_library_index();
        if (linker_seam().load_library_index(g_program_dir, !IsCompilingBios()) != 0)
            return 1;
        g_stage = 3;
        result = 0;
    } else if (g_stage == 2) {
        g_stage = 3;
        result = 0;
    } else {
        result = 0;
    }
    return result;
}

// A failure inside yields 1. The reason of a failure we can name is kept as an error message,
// so the failed compile says why (a unit that is not part of this build, a file that would not
// open) instead of failing silently.
int16_t prepare_compile()
{
    g_pending_error = 0;
    // A fatal error left by the last compile must not silence the library index's reports.
    reset_error_seen_and_fatal();
    try {
        linker_seam().load_library_index(g_program_dir, !IsCompilingBios());
        return start_compiler();
    } catch (const xCCErrOvflo &) {
        return 1;  // the fatal error is recorded already
    } catch (xErr &e) {
        char text[kErrBoxTextSize];
        e.GetMessage(text, sizeof text);
        new_message_record(kMsgKindError, 1, 1, "%s", text);
        return 1;
    } catch (...) {
        return 1;
    }
}

int16_t reinit_compiler()
{
    allocate_compiler_tables(IsCompilingBios());
    return 1;
}

namespace {

// The libraries list as a path to open: a relative name is taken from the program directory,
// as the library index takes it; the compile never changes the process's working folder, so
// that names the user gives relative to it (the source's, the outputs') keep their meaning.
std::string libraries_list_path()
{
    const std::string file = normalize_separators(g_libraries_file);
    if (g_program_dir.empty() || file.empty() || file[0] == '/')
        return file;
    return (fs::path(normalize_separators(g_program_dir)) / file).string();
}

}  // namespace

int16_t save_edited_bios_libraries()
{
    if (!is_regular_file_path(libraries_list_path()))
        return 1;
    if (linker_seam().ask_save_edited_library(g_libraries_file) != 0) {
        linker_seam().load_library_index(g_program_dir, !IsCompilingBios());
        return 1;
    }
    // Every edited BIOS library is offered, not only the first: one left unsaved would be
    // compiled into the BIOS from its old text.
    int16_t saved = 0;
    for (const std::string &lib : linker_seam().library_files()) {
        const std::string name = upper_file_name(lib);
        if (std::find(g_bios_libraries.begin(), g_bios_libraries.end(), name) ==
            g_bios_libraries.end())
            continue;
        if (linker_seam().lib_save_if_edited(lib) != 0)
            saved = 1;
    }
    return saved;
}

// ---- the compile entry -------------------------------------------------------------------------

uint16_t compile_file()
{
    ensure_compiler_joins();
    // The list is read only when it is an ordinary file within its limit: a FIFO there would
    // hold the compile until something wrote to it.
    std::string list;
    const RegularFileStatus status =
        read_regular_text(libraries_list_path(), kLibrariesListMaxBytes, list);
    if (status != RegularFileStatus::Read) {
        char text[1024];
        std::snprintf(text, sizeof text, std::string(string_resource(kMsgNoLibrariesFile)).c_str(),
                      g_libraries_file.c_str());
        const std::string why =
            regular_file_refusal(libraries_list_path(), status, kLibrariesListMaxBytes);
        const std::string message =
            why == "it is missing"
                ? std::string(text)
                : "Cannot read the libraries file " + g_libraries_file + ": " + why + ".";
        gDialogControl.CloseStatusBox();
        ShowAppMessageBox(message, std::string(string_resource(5000)), kMbIconError);
        return 2;
    }

    set_download_mode(static_cast<uint8_t>(IdePreferences().output_mode));
    if (!gStatusBoxShown)
        gDialogControl.ShowStatusBox(false, "", "");
    const bool bios = IsCompilingBios();
    if (bios) {
        g_bios_libraries.clear();
        reset_errors();
    }
    unmute_messages();
    if (!bios) {
        linker_seam().lib_index_register_all();
        g_bios_cache.restore();
    }
    const uint16_t result = compile_and_load(g_source);
    if (bios)
        g_bios_cache.save();
    return result;
}

// ---- options -----------------------------------------------------------------------------------

CompilerOptions &compiler_options() { return g_options; }

void get_compiler_options(uint16_t *warning_level, uint16_t *rtc_indices, uint16_t *rtc_pointers,
                          uint16_t *option4, uint16_t *optimize_size, uint16_t *lit, uint16_t *mac,
                          uint16_t *sym, void *, uint16_t *hex_output,
                          TypeCheckOptions *type_check, uint16_t *output_mode,
                          uint8_t *separate_id, uint8_t *list_files, uint8_t *inline_io)
{
    if (warning_level) *warning_level = g_options.warning_level;
    if (rtc_indices) *rtc_indices = g_options.rtc_indices;
    if (rtc_pointers) *rtc_pointers = g_options.rtc_pointers;
    if (option4) *option4 = g_options.option4;
    if (optimize_size) *optimize_size = g_options.optimize_size;
    if (lit) *lit = g_options.lit;
    if (mac) *mac = g_options.mac;
    if (sym) *sym = g_options.sym;
    if (hex_output) *hex_output = g_options.hex_output;
    if (type_check) *type_check = g_options.type_check;
    if (output_mode) *output_mode = g_options.output_mode;
    if (separate_id) *separate_id = g_options.separate_id;
    if (list_files) *list_files = g_options.list_files;
    if (inline_io) *inline_io = g_options.inline_io;
}

void set_compiler_options(uint16_t warning_level, uint16_t rtc_indices, uint16_t rtc_pointers,
                          uint16_t option4, uint16_t optimize_size, uint16_t lit, uint16_t mac,
                          uint16_t sym, uint16_t, const uint16_t *hex_output,
                          const TypeCheckOptions *type_check, uint8_t separate_id,
                          uint8_t list_files, uint8_t inline_io)
{
    g_options.warning_level = warning_level;
    g_options.rtc_indices = rtc_indices;
    g_options.rtc_pointers = rtc_pointers;
    g_options.option4 = option4;
    g_options.optimize_size = optimize_size;
    g_options.lit = lit;
    g_options.mac = mac;
    g_options.sym = sym;
    if (hex_output)
        g_options.hex_output = *hex_output;
    if (type_check)
        g_options.type_check = *type_check;
    g_options.output_mode = 0;
    g_options.separate_id = separate_id;
    g_options.list_files = list_files;
    g_options.inline_io = inline_io;
}

std::array<int32_t, 15> compiler_options_array()
{
    const CompilerOptions &o = g_options;
    return {o.warning_level, o.rtc_indices, o.rtc_pointers, o.option4, o.optimize_size, o.lit,
            o.mac, o.sym, 0, o.hex_output,
            int32_t(o.type_check.prototypes | (o.type_check.pointers << 1) |
                    (o.type_check.demotion << 2)),
            o.output_mode, o.separate_id, o.list_files, o.inline_io};
}

// bit 1 index checks, 2 pointer checks, 3 option 4, 4 size, 5 warnings wanted, 6 all warnings
uint16_t pack_compile_options()
{
    const CompilerOptions &o = g_options;
    uint16_t w = 0;
    if (o.rtc_indices) w |= 0x02;
    if (o.rtc_pointers) w |= 0x04;
    if (o.option4) w |= 0x08;
    if (o.optimize_size) w |= 0x10;
    if (o.warning_level != 0) w |= 0x20;
    if (o.warning_level == 2) w |= 0x40;
    return w;
}

// ---- compile mode and settings -----------------------------------------------------------------

uint8_t set_compile_mode(uint8_t mode)
{
    g_compile_mode = mode;
    return mode;
}

uint8_t get_compile_mode() { return g_compile_mode; }

void reset_compile_mode()
{
    g_compile_mode = 1;
    SetCompilingBios(0);
    gDialogControl.CloseStatusBox();
}

void save_compile_settings()
{
    set_compiler_options_getter(&options_getter);
    SaveCompileSettings(g_ccopts);
}

bool compile_settings_changed()
{
    set_compiler_options_getter(&options_getter);
    return CompileSettingsChanged(g_ccopts);
}

void record_bios_library_name(const std::string &name)
{
    const std::string upper = upper_case(name);
    if (std::find(g_bios_libraries.begin(), g_bios_libraries.end(), upper) == g_bios_libraries.end())
        g_bios_libraries.push_back(upper);
}

const std::vector<std::string> &bios_library_names() { return g_bios_libraries; }

// ---- BIOS state --------------------------------------------------------------------------------

namespace {
// Every cache of one set into the other (buffers copied); the xmem code cache only when asked.
void copy_cache_set(EmitCacheSet &to, const EmitCacheSet &from, bool with_xmem)
{
    to.root_code = from.root_code;
    if (with_xmem)
        to.xmem_code = from.xmem_code;
    to.watch_code = from.watch_code;
    to.constants = from.constants;
    to.root_variables = from.root_variables;
    to.kind6_variables = from.kind6_variables;
    to.second_variables = from.second_variables;
}
}  // namespace

void BIOSCompileInfoCache::save()
{
    bios_code_end = bios_root_code_end();
    const MemoryMap &map = memory_map();
    program_root_code_start = map.root_code_start;
    program_data_start = static_cast<uint16_t>(map.data_top);
    origins = copy_origin_table();
    labels = last_closed_global_labels();
    // The live xmem code cache is kept only while it is the current one.
    copy_cache_set(saved_caches(), live_caches(),
                   &xmem_code_cache() == &live_caches().xmem_code);
    if (hooks_.save)
        hooks_.save();
    saved_ = true;
}

void BIOSCompileInfoCache::restore()
{
    if (!saved_) {
        origin_table().Clear();
        if (hooks_.start_fresh)
            hooks_.start_fresh();
        return;
    }
    // The caches' copies name origins by index: the table is back before they are.
    restore_origin_table(origins);
    copy_cache_set(live_caches(), saved_caches(), true);
    set_bios_root_code_end(bios_code_end);
    start_global_scope_with(labels);
    if (hooks_.restore)
        hooks_.restore();
}

BIOSCompileInfoCache &bios_compile_info_cache() { return g_bios_cache; }

// ---- the units joined into one compile ----------------------------------------------------------

namespace {

// Full per-compile reset of the tables other units own (`allocate_compiler_tables`, every
// program and BIOS compile). A BIOS compile starts from empty global tables and installs the
// predefined macros; a program compile keeps the globals and macros the BIOS state gave it.
void reset_unit_tables(bool bios_compile)
{
    // The map and the library marks first: the predefined macros below enter the map.
    LinkerSeam &linker = linker_seam();
    linker.init_map_file();
    linker.lib_index_unmark_all();
    linker.lib_index_reset();
    linker.set_library_index_bios_owned(bios_compile);
    if (bios_compile) {
        reset_global_symbols();
        clear_global_tags();
    }
    set_local_scope(false);
    clear_local_symbols();
    clear_local_tags();
    place_local_symbol_table();
    reset_input_state();
    set_compile_mode_word(0);
    PredefinedMacroContext predefined;
    predefined.bios_compile = bios_compile;
    predefined.cpu_selector = processor_selector();
    predefined.bios_present = compile_conditions().bios_present;
    predefined.debug_rst_state = gDebugRstState;
    predefined.targetless = gTargetlessCompile != 0;
    install_predefined_macros(predefined);
    DefineProjectMacros();
    gObjectPool.reset();
    reset_expression_parser();
    reset_function_parser(bios_compile);
    reset_function_chains(bios_compile);
    reset_error_seen_and_fatal();
    reset_asm_state();
    reset_asm_path_state();
    init_label_tables();
    reset_labels(kCloseLocal);
    clear_flash_sector_map();  // the blocks this compile writes, from none
}

// The lighter reset before an expression is compiled for the debugger.
void reset_for_expression()
{
    set_local_scope(false);
    clear_local_symbols();
    clear_local_tags();
    clear_hashfix_list();
    reset_labels(kCloseLocal);
    ifdef_stack().clear();
    reset_macro_expansion();
    gObjectPool.reset();
    reset_expression_parser();
    reset_asm_state();
}

// After a failed expression compile: drop the globals it added and close its input.
void teardown_expression()
{
    rollback_global_symbols();
    clear_hashfix_list();
    ifdef_stack().clear();
    close_line_input();
}

// The BIOS compile's global symbols, tags and macros, carried into every program compile.
struct BiosUnitState {
    std::shared_ptr<const GlobalSymbolSnapshot> symbols;
    TagTableSnapshot tags;
    MacroSymbolTable<macroinfo> macros;
};

BiosUnitState &bios_unit_state()
{
    static BiosUnitState state;
    return state;
}

void start_with_empty_globals()
{
    reset_global_symbols();
    place_local_symbol_table();
    clear_global_tags();
}

void save_bios_units()
{
    BiosUnitState &state = bios_unit_state();
    state.symbols = save_global_symbols();
    save_global_tags(state.tags);
    state.macros = macro_table();
    save_function_parser_state();
    save_function_chain_state();
}

void restore_bios_units()
{
    BiosUnitState &state = bios_unit_state();
    if (!state.symbols || !restore_global_symbols(*state.symbols))
        start_with_empty_globals();  // the tables were sized anew since: nothing fits them
    else
        restore_global_tags(state.tags);
    macro_table() = state.macros;
}

void start_without_bios_state()
{
    start_with_empty_globals();
    macro_table().clear();
    forget_function_parser_state();
    forget_function_chain_state();
}

// Logical addresses are qualified by the origin the current code cache is bound to.
std::optional<OriginWindow> current_code_origin()
{
    EmitCache &cache = current_code_cache();
    if (!cache.is_bound()) {
        if (emit_origin_table())
            cache.CheckOrigin();  // origins exist, but none was given for this kind
        return std::nullopt;
    }
    const EmitOriginExtent &origin = cache.GetOrigin();
    return OriginWindow{origin.start, origin.size, cache.direction > 0};
}

// "%d lines compiled" in the status box, every tenth program line.
void show_lines_compiled(uint16_t line)
{
    ShowMessageLine(false, std::string(string_resource(2094)).c_str(), int(line));
}

// The current source's lines as the main window has them (its open editor, else the file).
class MainWindowSourceText : public SourceEditorText {
public:
    int GetSourceLineCount() override { return gMainWindowInterface->GetSourceLineCount(); }
    std::string GetSourceLine(int line) override
    {
        return gMainWindowInterface->GetSourceLine(line + 1);  // the window counts from 1
    }
};

MainWindowSourceText g_main_window_source;
bool g_joined = false;

}  // namespace

void install_compiler_joins()
{
    CompileResetHooks resets;
    resets.reset_tables = &reset_unit_tables;
    resets.reset_for_watch = &reset_for_expression;
    resets.teardown = &teardown_expression;
    set_compile_reset_hooks(resets);

    BiosStateHooks bios;
    bios.save = &save_bios_units;
    bios.restore = &restore_bios_units;
    bios.start_fresh = &start_without_bios_state;
    g_bios_cache.set_hooks(bios);

    set_current_origin_provider(&current_code_origin);
    set_progress_reporter(&show_lines_compiled);
    set_source_editor_text(&g_main_window_source);
    set_project_macro_definer([](const char *name, const char *value) { define_macro(name, value); });
    set_io_prefix_watch(&check_emitted_io_prefix);
    set_obj_host(&value_model_obj_host());
    set_jump_patcher(&patch_jump_fixup);
    // A comparison whose value only decides a condition leaves its truth in the flags.
    set_flag_tracking(&condition_flag_tracking);
    set_line_position_installer(&point_lexer_at_recorded_line);
    // Function bodies: the code generator's, the statement marks' and the "#asm" block reader's
    // view of the function being compiled.
    install_function_parser();
    // The stub flush: root entry stubs in the stub-call mode, none in a watch compile; a fresh
    // value is loaded and pushed by the code generator.
    StubOutputContext stubs;
    stubs.stub_call_mode = [] { return stub_call_mode(); };
    stubs.watch_compile = [] { return watch_compile(); };
    stubs.load_and_push = [](object *node, int register_set) {
        const uint8_t set = static_cast<uint8_t>(register_set);
        MoveObject load(node);
        load.load(set, false, false);
        MoveObject push(node);
        push.push(set);
    };
    set_stub_output_context(stubs);
    set_listing_recorder([](ADDR24 start, ADDR24 end, int kind) {
        linker_seam().add_list_record(ListTable::CodeBlocks, start, end, kind);
    });
    set_macro_listing_recorder([](std::string_view name) { mapfile_add_macro(std::string(name)); });
    DirectiveHandlers handlers = parser_directive_handlers();
    set_directive_handlers(std::move(handlers));
    g_joined = true;
}

void ensure_compiler_joins()
{
    if (!g_joined)
        install_compiler_joins();
}
