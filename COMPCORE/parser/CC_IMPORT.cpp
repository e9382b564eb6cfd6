// CC_IMPORT: "#ximport" and "#zimport". Reads the directive, finds and reads the file (or the
// utility's output), reserves xmem code space through the allocator (CC_XDATA) and sends the
// length word and the bytes through the xmem code cache.
// Every failure is a compile error at the directive that ends it; the parse goes on with the
// next item. No file stays open past the directive, and what was measured is what is placed.
#include "CC_IMPORT.h"

#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_GLINE.h"
#include "driver/CC_GO.h"
#include "input/CC_IN.h"
#include "CC_LABELS.h"
#include "core/CC_MISC.h"
#include "core/CC_STAB.h"
#include "CC_XDATA.h"
#include "ProcessRunner.h"
#include "RegularFile.h"
#include "core/SEAM_LINKER.h"
#include "core/SEAM_SETTINGS.h"
#include "core/guiInterface.h"

#include <cstdio>
#include <filesystem>
#include <optional>

namespace {

// The longest file name the directive reads (the host's path buffers hold 260 bytes).
constexpr std::size_t kMaxNameLength = 259;
// Nothing larger than the physical address space can be placed.
constexpr std::size_t kMaxImportBytes = std::size_t(kPhysicalMask) + 1;
constexpr uint32_t kCompressedBit = 0x80000000u;
// The import kind in bits 3-4 of the first flag byte of the map's record.
constexpr uint8_t kImportFlagShift = 3;
constexpr uint8_t kImportXimport = 1;
constexpr uint8_t kImportZimport = 2;

// "directory/name"; a name that is a full path stays as it is, and no directory adds nothing.
std::string join_path(const std::string &dir, const std::string &name)
{
    if (dir.empty() || name.starts_with('/'))
        return name;
    return dir.ends_with('/') ? dir + name : dir + "/" + name;
}

std::string directory_of(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A directive that failed takes the rest of its line with it (the identifier and whatever
// follows): one report, not a second one for what the directive would have read.
void drop_rest_of_line() { clear_line(); }

// '"' name '"': the name after an optional opening quote, up to the closing one. The end of the
// line or a name longer than the path buffers is 2013.
std::optional<std::string> read_file_name()
{
    (void)skip_blanks();
    if (*input_pointer() == '"')
        advance_input(1);
    std::string name;
    for (;;) {
        const char c = *input_pointer();
        if (name.size() > kMaxNameLength || c == '\0' || c == '\r' || c == '\n') {
            error_here("%s", msg(kMsgImportUnclosedName));
            drop_rest_of_line();
            return std::nullopt;
        }
        advance_input(1);
        if (c == '"')
            return name;
        name += c == '\\' ? '/' : c;
    }
}

// Where the file is looked for: as written, beside the current source file, in the program
// directory. A name written relative is taken as written from the program directory, the
// compile's working folder (the process's own working folder is the user's and stays so).
std::vector<std::string> candidate_paths(const std::string &name)
{
    const std::string source = normalize_separators(input_file_name());
    const std::string program = join_path(normalize_separators(program_directory()), name);
    return {program, join_path(directory_of(source), name), program};
}

// The identifier that names the data; 2015 with the text that stands there instead, or when it is
// a keyword (a macro of that name would take the keyword from the rest of the program).
std::optional<std::string> read_identifier()
{
    (void)skip_blanks();
    const char *before = input_pointer();
    char name[kMaxIdentifier + 1];
    if (scan_identifier(name, false, true) && !is_keyword(name))
        return std::string(name);
    std::string shown(before, input_pointer());
    if (shown.empty() && static_cast<unsigned char>(*before) > ' ')
        shown = *before;
    error_here(msg(kMsgImportInvalidSymbol), shown.c_str());
    drop_rest_of_line();
    return std::nullopt;
}

// The bytes to place, or nothing after the report that ended the directive. `too_large` is set
// for a file beyond the physical address space, which is reported as the allocator reports
// space that is not there.
struct ImportBytes {
    std::vector<uint8_t> bytes;
    bool too_large = false;
};

std::optional<ImportBytes> read_plain(const std::vector<std::string> &candidates)
{
    ImportBytes in;
    for (const std::string &path : candidates) {
        const RegularFileStatus status = read_regular_file(path, kMaxImportBytes, in.bytes);
        if (status == RegularFileStatus::Read)
            return in;
        if (status == RegularFileStatus::TooLarge) {
            in.too_large = true;
            return in;
        }
    }
    error_here(msg(kMsgImportCannotOpen), candidates[1].c_str());
    drop_rest_of_line();
    return std::nullopt;
}

std::optional<ImportBytes> read_compressed(const std::vector<std::string> &candidates)
{
    const std::string *chosen = nullptr;
    for (const std::string &path : candidates) {
        if (is_regular_file_path(path)) {
            chosen = &path;
            break;
        }
    }
    if (!chosen) {
        error_here(msg(kMsgImportCannotOpen), candidates[1].c_str());
        drop_rest_of_line();
        return std::nullopt;
    }
    const std::string output = *chosen + ".KXZ";
    if (!compressed_file_is_current(*chosen, output)) {
        const std::string utility =
            join_path(normalize_separators(program_directory()),
                      normalize_separators(gZimportUtility));
        if (gZimportUtility.empty() || !run_compression_utility({utility, *chosen})) {
            error_here("%s", msg(kMsgCompressionFailed));
            drop_rest_of_line();
            return std::nullopt;
        }
    }
    ImportBytes in;
    const RegularFileStatus status = read_regular_file(output, kMaxImportBytes, in.bytes);
    if (status == RegularFileStatus::TooLarge) {
        in.too_large = true;
        return in;
    }
    if (status != RegularFileStatus::Read) {
        error_here("%s", msg(kMsgCompressionNoOutput));
        drop_rest_of_line();
        return std::nullopt;
    }
    return in;
}

// The map's record of the import: name, address of the length word, size (low 16 bits of the
// length), where the directive stands, and its kind in flag bits 3-4.
void record_import(const std::string &name, ADDR24 at, std::size_t length, bool compressed,
                   uint16_t line)
{
    std::string copy = name;  // the list copies the record and its name
    symbol record;
    record.name = copy.data();
    record.address[0] = at;
    record.size = static_cast<uint16_t>(length);
    record.line = line;
    record.file = get_error_file_name();
    record.flags[0] = static_cast<uint8_t>((compressed ? kImportZimport : kImportXimport)
                                           << kImportFlagShift);
    linker_seam().mapfile_add_symbol(record);
}

// Length word, then the bytes.
void place(EmitCache &cache, const std::vector<uint8_t> &bytes, bool compressed)
{
    const uint32_t length = static_cast<uint32_t>(bytes.size()) | (compressed ? kCompressedBit : 0);
    for (int shift = 0; shift < 32; shift += 8)
        cache.EmitByte(static_cast<uint8_t>(length >> shift));
    emit_xmem_bytes(cache, bytes.data(), bytes.size());
}

// Steps after the bytes are known: the space, the name, the map's record, the bytes.
void allocate_and_place(const ImportBytes &in, bool compressed, uint16_t line)
{
    std::optional<ADDR24> at;
    if (in.too_large)
        error_here("%s", msg(kMsgOutOfXmemCode));
    else
        at = allocCodeSpace(static_cast<uint32_t>(in.bytes.size()) + 4);
    const std::optional<std::string> identifier = read_identifier();
    if (!identifier)
        return;
    // Without room nothing is placed; the name still stands for an address, 0.
    char value[32];
    std::snprintf(value, sizeof value, "0x%lxL",
                  at ? static_cast<unsigned long>(addr_to_physical(*at)) : 0ul);
    (void)define_macro(*identifier, value);
    if (!at)
        return;

    record_import(*identifier, *at, in.bytes.size(), compressed, line);
    EmitCache &cache = xmem_code_cache();
    cache.SetAddress(*at);
    place(cache, in.bytes, compressed);
    record_listing_range(*at, cache.current, kListData);
}

}  // namespace

void import_data_file(bool compressed)
{
    const uint16_t line = current_line();
    const std::optional<std::string> name = read_file_name();
    if (!name)
        return;
    const std::vector<std::string> candidates = candidate_paths(*name);
    const std::optional<ImportBytes> in =
        compressed ? read_compressed(candidates) : read_plain(candidates);
    if (!in)
        return;
    // The allocator makes the xmem code cache current; the directive leaves current what was.
    EmitCache &previous = current_code_cache();
    allocate_and_place(*in, compressed, line);
    set_current_code_cache(previous);
}

bool run_compression_utility(const std::vector<std::string> &argv)
{
    ProcessOptions options;
    options.pump = [] { gDialogControl.PumpStatusBoxMessages(); };
    return run_process(argv, options).succeeded();
}

bool compressed_file_is_current(const std::string &input_name, const std::string &compressed_name)
{
    if (input_name.empty() || compressed_name.empty())
        return false;
    std::error_code ec;
    const std::string input = normalize_separators(input_name);
    const std::string output = normalize_separators(compressed_name);
    if (!std::filesystem::exists(input, ec) || !std::filesystem::exists(output, ec))
        return false;
    return file_write_time(input) < file_write_time(output);
}
