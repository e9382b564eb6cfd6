// The shared compile-and-run fixture (see the header).
#include "CompileRunFixture.h"

#include "codegen/CC_ASM.h"
#include "codegen/CC_ASMTAB.h"
#include "driver/CC_BOARD.h"
#include "parser/CC_DECL.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "driver/CC_GO.h"
#include "input/CC_IN.h"
#include "parser/CC_INASM.h"
#include "driver/CC_INIT.h"
#include "linker/CC_RELOC.h"
#include "linker/CC_ROM.h"
#include "codegen/CC_Z80CPU.h"
#include "core/SEAM_LINKER.h"
#include "core/SEAM_SETTINGS.h"
#include "core/SEAM_TARGET.h"
#include "core/guiInterface.h"
#include "linker/list_files.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace compile_run {

namespace fs = std::filesystem;

// ---- library catalogue and linker -------------------------------------------------------------

void ImageLinker::create_library_index()
{
    RecordingLinker::create_library_index();
    builtin_linker_seam().create_library_index();
}

int ImageLinker::load_library_index(const std::string &dir, bool register_modules)
{
    RecordingLinker::load_library_index(dir, register_modules);
    return builtin_linker_seam().load_library_index(dir, register_modules);
}

void ImageLinker::lib_index_register_all()
{
    RecordingLinker::lib_index_register_all();
    builtin_linker_seam().lib_index_register_all();
}

void ImageLinker::lib_index_unmark_all()
{
    RecordingLinker::lib_index_unmark_all();
    builtin_linker_seam().lib_index_unmark_all();
}

void ImageLinker::lib_index_reset()
{
    RecordingLinker::lib_index_reset();
    builtin_linker_seam().lib_index_reset();
}

void ImageLinker::set_library_index_bios_owned(bool bios_owned)
{
    RecordingLinker::set_library_index_bios_owned(bios_owned);
    builtin_linker_seam().set_library_index_bios_owned(bios_owned);
}

std::vector<std::string> ImageLinker::library_files()
{
    return builtin_linker_seam().library_files();
}

int ImageLinker::ask_save_edited_library(const std::string &path)
{
    return builtin_linker_seam().ask_save_edited_library(path);
}

int ImageLinker::lib_save_if_edited(const std::string &path)
{
    return builtin_linker_seam().lib_save_if_edited(path);
}

void ImageLinker::init_map_file()
{
    RecordingLinker::init_map_file();
    builtin_linker_seam().init_map_file();
}

void ImageLinker::write_map_file()
{
    RecordingLinker::write_map_file();
    builtin_linker_seam().write_map_file();
}

void ImageLinker::mapfile_add_symbol(const symbol &record)
{
    RecordingLinker::mapfile_add_symbol(record);
    builtin_linker_seam().mapfile_add_symbol(record);
}

void ImageLinker::ui_send_block(uint32_t count, uint32_t addr, const uint8_t *bytes)
{
    for (uint32_t i = 0; i < count; ++i)
        sent[addr_add(addr, static_cast<int32_t>(i))] = bytes[i];
    ::ui_send_block(count, addr, bytes);
}

int ImageLinker::open_object_file(const std::string &path, bool from_file)
{
    RecordingLinker::open_object_file(path, from_file);
    return ::open_object_file(path, from_file);
}

void ImageLinker::close_object_file(bool from_file)
{
    RecordingLinker::close_object_file(from_file);
    ::close_object_file();
}

// The real image; the bytes of its records (the ranges the builder reports) go into `image`.
int ImageLinker::build_rom_image(const std::string &path, const std::string &obj,
                                 const std::string &hex, const std::string &img,
                                 uint32_t *low_sector)
{
    note("build_rom_image " + obj + " " + hex + " " + img);
    DLSegmentList segments;
    const int result = ::build_rom_image(path, obj, hex, img, &segments, low_sector);
    const std::optional<BuiltImage> built = last_built_image();
    if (result != 0 || !built)
        return result;
    std::ifstream in(built->image_path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    for (const DLSegment &s : segments.segments())
        for (uint32_t a = s.start; a < s.start + s.length; ++a)
            image[a & kPhysicalMask] = bytes.at(a - built->first_address);
    return result;
}

void ImageLinker::write_list_file(const std::string &path, uint32_t image_start)
{
    RecordingLinker::write_list_file(path, image_start);
    ListFile list;
    (void)::write_list_file(list, path, image_start);
}

void ImageLinker::clear_list_records()
{
    RecordingLinker::clear_list_records();
    ::clear_list_records(code_block_list());
}

void ImageLinker::add_list_record(ListTable table, uint32_t start, uint32_t end, int kind)
{
    RecordingLinker::add_list_record(table, start, end, kind);
    ::add_list_record(code_block_list(), start, end, kind);
}

uint32_t ImageLinker::count_flash_sectors() { return ::count_flash_sectors(); }

bool ImageLinker::flash_sector_marked(uint32_t physical, uint32_t block_size)
{
    return ::flash_sector_marked(physical, block_size);
}

void ImageLinker::clear_flash_sector_map()
{
    RecordingLinker::clear_flash_sector_map();
    ::clear_flash_sector_map();
}

bool ImageLinker::write_bin_hex_files(const std::string &path, uint32_t bin_base)
{
    RecordingLinker::write_bin_hex_files(path, bin_base);
    return ::write_bin_hex_files(path, bin_base);
}

bool ImageLinker::write_hex_end(std::FILE *bin, std::FILE *hex)
{
    RecordingLinker::write_hex_end(bin, hex);
    return ::write_hex_end(bin, hex);
}

bool ImageLinker::pad_bin_file(std::FILE *bin, uint32_t first_sector, uint32_t last_sector)
{
    RecordingLinker::pad_bin_file(bin, first_sector, last_sector);
    return ::pad_bin_file(bin, first_sector, last_sector);
}

void ImageLinker::origins_clear()
{
    RecordingLinker::origins_clear();
    origin_table().Clear();
}

void ImageLinker::resolve_origins()
{
    RecordingLinker::resolve_origins();
    ::resolve_origins();
}

uint32_t ImageLinker::origins_lowest_address(uint8_t kind)
{
    return origin_table().LowestAddress(kind);
}

uint32_t ImageLinker::origins_highest_address(uint8_t kind)
{
    return origin_table().HighestAddress(kind);
}

uint32_t ImageLinker::origins_highest_code_address()
{
    return origin_table().HighestCodeAddress();
}

bool ImageLinker::check_origin_range(uint32_t addr) { return ::check_origin_range(addr); }
void ImageLinker::init_label_tables() { ::init_label_tables(); }

void ImageLinker::reset_labels(int bits)
{
    RecordingLinker::reset_labels(bits);
    ::reset_labels(bits);
}

void ImageLinker::define_label(const std::string &name, uint32_t addr, int scope)
{
    ::define_label(name.c_str(), addr, static_cast<uint32_t>(scope));
}

std::optional<uint32_t> ImageLinker::global_label_address(const std::string &name)
{
    RecordingLinker::global_label_address(name);
    const QBFixupRec *label = find_label(name.c_str(), kLabelGlobal);
    if (!label || !label->defined)
        return std::nullopt;
    return label->address;
}

int32_t add_origin(const char *name, uint8_t kind, ADDR24 start, uint32_t size, EmitCache &cache,
                   int32_t follower)
{
    OriginContainer &table = origin_table();
    OriginDirective o;
    o.name = name;
    o.kind = kind;
    o.start = o.end = start;
    o.size = size;
    o.cache = &cache;
    if (const OriginDirective *next = table.at(follower)) {
        o.next = next->name;
        o.follower = follower;
    }
    table.origins.push_back(o);
    return static_cast<int32_t>(table.origins.size() - 1);
}

// ---- code generator, declarations, parser ------------------------------------------------------

uint16_t FixtureCodegen::select_target_cpu(uint16_t word, uint8_t cpu_id)
{
    (void)HeadlessCodegen::select_target_cpu(word, cpu_id);
    return code_generator_seam().select_target_cpu(word, cpu_id);
}

uint8_t FixtureCodegen::cpu_flag() const { return code_generator_seam().cpu_flag(); }

void FixtureCodegen::set_bios_compile(uint8_t *bios_marker)
{
    HeadlessCodegen::set_bios_compile(bios_marker);
    code_generator_seam().set_bios_compile(bios_marker);
}

void FixtureCodegen::set_program_compile(uint8_t *program_flag)
{
    HeadlessCodegen::set_program_compile(program_flag);
    code_generator_seam().set_program_compile(program_flag);
}

void FixtureCodegen::select_cache_set(int program_flag)
{
    HeadlessCodegen::select_cache_set(program_flag);
    code_generator_seam().select_cache_set(program_flag);
}

void FixtureCodegen::set_code_address(uint32_t address_word)
{
    HeadlessCodegen::set_code_address(address_word);
    code_generator_seam().set_code_address(address_word);
}

uint32_t FixtureCodegen::xmem_cache_address() const
{
    return code_generator_seam().xmem_cache_address();
}

uint16_t FixtureCodegen::root_code_size() const
{
    return start_up ? code_generator_seam().root_code_size() : HeadlessCodegen::root_code_size();
}

bool FixtureCodegen::link_required_symbols(int mode)
{
    const bool recorded = HeadlessCodegen::link_required_symbols(mode);
    return start_up ? code_generator_seam().link_required_symbols(mode) : recorded;
}

uint16_t FixtureCodegen::measure_start_up_block(uint16_t *second_size)
{
    const uint16_t recorded = HeadlessCodegen::measure_start_up_block(second_size);
    return start_up ? code_generator_seam().measure_start_up_block(second_size) : recorded;
}

void FixtureCodegen::note_required_symbols()
{
    HeadlessCodegen::note_required_symbols();
    if (start_up)
        code_generator_seam().note_required_symbols();
}

void FixtureCodegen::want_start_up_routines()
{
    if (start_up)
        code_generator_seam().want_start_up_routines();
}

void FixtureCodegen::reset_compile_state()
{
    HeadlessCodegen::reset_compile_state();
    reset_code_generator();
}

void prepare_board(vsim::SimBoard &board, const std::vector<uint8_t> &image)
{
    board.reset();
    (void)board.load(0, image);
    board.io_write(vsim::IoSpace::internal, vsim::kPortSegSize, 0xD8);
    board.io_write(vsim::IoSpace::internal, vsim::kPortDataSeg, 0x78);
    board.io_write(vsim::IoSpace::internal, vsim::kPortStackSeg, 0x80);
}

bool RecordingDeclarations::parse_external_declaration()
{
    if (refuse)
        return false;
    lines.push_back({input_pointer(), current_line(), input_file_name(),
                     current_decl_flags().word});
    if (on_line)
        on_line(lines.back().text);
    clear_line();
    return true;
}

std::vector<std::string> RecordingDeclarations::texts() const
{
    std::vector<std::string> out;
    for (const Line &l : lines)
        out.push_back(l.text);
    return out;
}

ParserSeam &OriginBindingParser::real() { return top_level_parser_seam(); }

void OriginBindingParser::parse_program()
{
    OriginContainer &origins = origin_table();
    if (declare_layout && origins.origins.empty()) {
        const int32_t root =
            add_origin("rootcode", kOriginRootCode, kRootCode, kRootCodeSize, root_code_cache());
        const int32_t constants =
            add_origin("consts", kOriginRootConst, kConstants, kConstantsSize, constant_cache());
        const int32_t variables = add_origin("vars", kOriginRootVars, kVariables, kVariablesSize,
                                             root_variable_cache());
        for (int32_t o : {root, constants, variables})
            origins.select_origin(o);
        if (layout)
            layout(origins);
        else
            origins.select_origin(
                add_origin("xmemcode", kOriginXmemCode, kXmemCode, kXmemCodeSize, xmem_code_cache()));
    }
    set_current_code_cache(root_code_cache());
    real().parse_program();
}

// ---- messages -----------------------------------------------------------------------------------

std::vector<Message> messages()
{
    std::vector<Message> out;
    for (const sError *e = gMessageList; e; e = e->next) {
        std::string s = e->summary;
        const std::size_t p = s.find("   : ");  // the summary follows the "ERROR name   : " prefix
        out.push_back({e->kind, e->line, p == std::string::npos ? s : s.substr(p + 5), e->file});
    }
    return out;
}

std::string messages_text()
{
    std::string text;
    for (const Message &m : messages())
        text += std::to_string(m.line) + ": " + m.summary + "\n";
    return text;
}

}  // namespace compile_run

// ---- the fixture -----------------------------------------------------------------------------------

using namespace compile_run;

void CompileRun::SetUp()
{
    saved_cwd = fs::current_path();  // the compile entry moves into the program directory
    // A short folder name: a message that names a file below it must fit a message's summary
    // (179 bytes) from any build folder, so the name holds no test name, only the process and
    // the test's number in it.
    static int tests_in_this_process = 0;
    dir = fs::temp_directory_path() /
          ("kxcr-" + std::to_string(::getpid()) + "-" + std::to_string(++tests_in_this_process));
    fs::remove_all(dir);
    fs::create_directories(dir / "prog");
    fs::create_directories(dir / "lib");
    source = (dir / "prog" / "main.c").string();
    write("lib/default.h", "");
    // Our flash information file in the program directory; the headless board reports the flash
    // id of the board stand-in.
    fs::copy_file(fs::path(KX_TEST_DATA) / ".." / ".." / "TARGET" / "Flash.ini", dir / "Flash.ini");
    m_libraries = {"default.h"};
    write_library_list();

    set_compiler_directories(dir.string(), "", {});
    set_libraries_file(path("lib.dir"));
    set_current_source(source);
    set_linker_seam(&linker);
    set_codegen_seam(&codegen);
    set_declaration_seam(&declarations);
    set_emit_cache_host(nullptr);  // the compile frame's own host
    install_compiler_joins();      // an earlier test may have replaced one of them
    install_origin_table();
    origin_table().Clear();
    // A BIOS that an earlier test compiled (the IDE's tests compile ours) is not this test's.
    bios_compile_info_cache().forget();
    set_bios_root_code_end(0);
    install_asm_path(&parser);
    set_parser_seam(nullptr);
    headless_target_operations() = HeadlessTargetOperations();
    headless_target_operations().board.flash_id = vsim::BoardConfig{}.flash_id;
    // The processor is the stand-in's (a 2000 past the revisions that need a no-operation after
    // an I/O-prefixed access), read from the target or given by the targetless settings.
    headless_target_operations().board.cpu_id = kStandInCpuId;
    reset_start_up_stage();
    release_compiler_tables();
    reset_settings_to_defaults();
    gBoardParameters.cpuId = kStandInCpuId;
    SetCompilingBios(0);
    compile_conditions() = CompileConditions{};
    reset_host_services();
    reset_errors();
}

void CompileRun::TearDown()
{
    origin_table().Clear();  // unbinds the caches from this test's origins
    reset_labels(kCloseLocal | kCloseGlobal | kCloseSilent);
    bios_compile_info_cache().forget();
    set_bios_root_code_end(0);  // the next test's program starts without this test's BIOS
    set_current_code_cache(root_code_cache());
    install_asm_path(nullptr);
    set_parser_seam(nullptr);
    reset_board_parameters();  // the next compile's processor is the default one again
    set_asm_target(1, 0);
    init_asm_mnemonics();
    set_linker_seam(nullptr);
    install_seam_doubles();
    set_declaration_seam(nullptr);
    compiler_config() = CompilerConfig{};
    reset_start_up_stage();
    release_compiler_tables();
    SetCompilingBios(0);
    reset_errors();
    reset_host_services();
    reset_settings_to_defaults();
    fs::current_path(saved_cwd);
    std::error_code ec;
    fs::remove_all(dir, ec);
}

void CompileRun::write(const std::string &name, const std::string &text)
{
    std::ofstream(dir / name, std::ios::binary) << text;
}

std::string CompileRun::path(const std::string &name) const { return (dir / name).string(); }

void CompileRun::write_library_list()
{
    std::string list;
    for (const std::string &lib : m_libraries)
        list += (dir / "lib" / lib).string() + "\n";
    write("lib.dir", list);
}

void CompileRun::add_library(const std::string &name, const std::string &text)
{
    write("lib/" + name, text);
    m_libraries.push_back(name);
    write_library_list();
}

uint16_t CompileRun::compile(const std::string &program)
{
    write("prog/main.c", program);
    set_current_source(source);
    return compile_file();
}

uint16_t CompileRun::compile_bios(const std::string &program)
{
    SetCompilingBios(1);
    const uint16_t status = compile(program);
    SetCompilingBios(0);
    return status;
}

vsim::RunResult CompileRun::run(uint16_t start, uint64_t budget,
                                std::optional<vsim::Breakpoint> stop, uint8_t xpc)
{
    compile_run::prepare_board(board, linker.image);
    for (const auto &[logical, byte] : preset)
        EXPECT_TRUE(board.poke(board.to_physical(logical, 0), byte));
    vsim::cpu_reset(cpu, vsim::CpuModel::r3000);
    cpu.sp = 0xE000;
    cpu.pc = start;
    cpu.xpc = xpc;
    const vsim::Breakpoint end =
        stop ? *stop : vsim::Breakpoint{addr_offset(memory_summary().root_code_end), -1};
    last_run = vsim::cpu_run(cpu, board, budget, {end});
    return last_run;
}

::testing::AssertionResult CompileRun::reg(const std::string &name, uint32_t expected) const
{
    const vsim::CpuState &s = cpu;
    static const struct {
        const char *name;
        uint32_t (*get)(const vsim::CpuState &);
    } kRegs[] = {
        {"A", [](const vsim::CpuState &c) -> uint32_t { return c.main[vsim::rA]; }},
        {"B", [](const vsim::CpuState &c) -> uint32_t { return c.main[vsim::rB]; }},
        {"C", [](const vsim::CpuState &c) -> uint32_t { return c.main[vsim::rC]; }},
        {"D", [](const vsim::CpuState &c) -> uint32_t { return c.main[vsim::rD]; }},
        {"E", [](const vsim::CpuState &c) -> uint32_t { return c.main[vsim::rE]; }},
        {"H", [](const vsim::CpuState &c) -> uint32_t { return c.main[vsim::rH]; }},
        {"L", [](const vsim::CpuState &c) -> uint32_t { return c.main[vsim::rL]; }},
        {"F", [](const vsim::CpuState &c) -> uint32_t { return c.main[vsim::rF]; }},
        {"AF", [](const vsim::CpuState &c) -> uint32_t { return c.af(); }},
        {"BC", [](const vsim::CpuState &c) -> uint32_t { return c.bc(); }},
        {"DE", [](const vsim::CpuState &c) -> uint32_t { return c.de(); }},
        {"HL", [](const vsim::CpuState &c) -> uint32_t { return c.hl(); }},
        {"IX", [](const vsim::CpuState &c) -> uint32_t { return c.ix; }},
        {"IY", [](const vsim::CpuState &c) -> uint32_t { return c.iy; }},
        {"SP", [](const vsim::CpuState &c) -> uint32_t { return c.sp; }},
        {"PC", [](const vsim::CpuState &c) -> uint32_t { return c.pc; }},
        {"XPC", [](const vsim::CpuState &c) -> uint32_t { return c.xpc; }},
    };
    for (const auto &r : kRegs) {
        if (name != r.name)
            continue;
        const uint32_t got = r.get(s);
        char text[64];
        const int digits = name.size() == 1 || name == "XPC" ? 2 : 4;
        std::snprintf(text, sizeof text, "%s: 0x%0*X (expected 0x%0*X)", name.c_str(), digits,
                      got, digits, expected);
        if (got == expected)
            return ::testing::AssertionSuccess() << text;
        return ::testing::AssertionFailure() << text;
    }
    return ::testing::AssertionFailure() << "no register named " << name;
}

::testing::AssertionResult CompileRun::memory(uint16_t logical, const std::vector<uint8_t> &expected)
{
    std::string got_text, expected_text;
    bool same = true;
    char byte[4];
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const uint8_t got = board.read(static_cast<uint16_t>(logical + i), cpu.xpc);
        same = same && got == expected[i];
        std::snprintf(byte, sizeof byte, " %02X", got);
        got_text += byte;
        std::snprintf(byte, sizeof byte, " %02X", expected[i]);
        expected_text += byte;
    }
    char at[16];
    std::snprintf(at, sizeof at, "0x%04X:", logical);
    if (same)
        return ::testing::AssertionSuccess() << at << got_text;
    return ::testing::AssertionFailure() << at << got_text << " (expected" << expected_text << ")";
}

std::vector<uint8_t> CompileRun::sent_at(ADDR24 from, std::size_t n) const
{
    std::vector<uint8_t> v;
    for (std::size_t i = 0; i < n; ++i) {
        auto it = linker.sent.find(addr_add(from, static_cast<int32_t>(i)));
        v.push_back(it == linker.sent.end() ? 0xFF : it->second);
    }
    return v;
}
