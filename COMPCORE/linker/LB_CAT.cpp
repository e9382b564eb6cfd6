// LB_CAT: the library function index, its index files and the readers of module text.
// Loading walks the libraries list; each library is read from its two index files when they
// are whole and as new as the library, else scanned and its index files written again. Module
// records enter the module table only when the program "#use"s their library; descriptions
// enter the description table at once. The readers deliver header and body lines to CC_GLINE.
#include "LB_CAT.h"

#include "driver/CC_DUM.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_IN.h"
#include "CC_RELOC.h"
#include "core/CC_MISC.h"
#include "core/CC_STAB.h"
#include "FileReplace.h"
#include "RegularFile.h"
#include "core/SEAM_TARGET.h"
#include "StringResources.h"
#include "core/guiExceptions.h"
#include "core/guiInterface.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// Message ids of this unit.
enum : uint32_t {
    kMsgLoading = 7260,          // "Loading information from libraries."
    kMsgScanning = 7261,         // "Scanning Libraries"
    kMsgRescanning = 7262,       // "Rescanning library %s due to update."
    kMsgCannotOpenLibrary = 7263,  // "Cannot open library file %s."
    kMsgCannotRead = 7264,       // "Cannot open %s for reading"
    kMsgNestedHeaders = 7265,    // "Module headers cannot be nested."
    kMsgMissingBegin = 7266,     // "Module is missing a BeginHeader."
    kMsgMissingEnd = 7267,       // "Module is missing an EndHeader."
    kMsgDuplicate = 7268,        // "Duplicate %s found in file %s (previous one ignored)."
    kMsgCompilingModule = 7269,  // "Compiling module %s in file %s."
    kMsgNotDefined = 7270,       // "Symbol %s is not defined in file %s."
    kMsgEdited = 7271,           // "%s has been edited. Save?"
    kMsgProductName = 16,
};

constexpr std::size_t kMaxName = 32;
constexpr const char *kDescriptionMark = "/* START FUNCTION DESCRIPTION";
constexpr const char *kBeginHeaderMark = "/*** beginheader";
constexpr const char *kEndHeaderMark = "/*** endheader";

std::string g_index_folder;  // empty: index files beside their libraries
std::unique_ptr<ZLibMaster> g_modules;
std::unique_ptr<ZLibMaster> g_descriptions;
std::optional<uint32_t> g_list_time;
uint16_t g_pending = 0;
LbRegLnkThread g_bodies;

std::string text_of(uint32_t id) { return std::string(string_resource(id)); }

// The file's modification time in seconds, as its status gives it.
std::optional<uint32_t> file_time(const std::string &path)
{
    struct stat st {};
    if (path.empty() || ::stat(normalize_separators(path).c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<uint32_t>(st.st_mtime);
}

bool same_path(const std::string &a, const std::string &b)
{
    return equal_ignoring_case(normalize_separators(a), normalize_separators(b));
}

std::string file_name_part(const std::string &path)
{
    const std::string p = normalize_separators(path);
    const std::size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && equal_ignoring_case(text.substr(0, prefix.size()), prefix);
}

std::string_view skip_blanks_and_tabs(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    return text.substr(i);
}

// A run of identifier characters, cut to 32 characters.
std::size_t identifier_run(std::string_view text, std::size_t from, std::string &name)
{
    std::size_t i = from;
    while (i < text.size() && is_identifier_char(static_cast<unsigned char>(text[i])))
        ++i;
    name.assign(text.substr(from, std::min(i - from, kMaxName)));
    return i;
}

// A structure error of a library: recorded as an error of the library's file at its line, then
// the compile ends. Recorded directly (not through the fatal reporter's once-per-compile latch):
// the index is loaded before the compile's set-up clears that latch.
[[noreturn]] void library_structure_error(const std::string &path, int line, uint32_t id)
{
    report_error_in_file(line, 1, path.c_str(), "%s", text_of(id).c_str());
    set_fatal_error_flag(true);
    throw xCCErrOvflo(KX_HERE);
}

// ---- tables --------------------------------------------------------------------------------------

// Takes every name of the library's records out of the index's table (only entries that lead to
// this library's modules), and forgets its modules wherever else they are remembered.
void drop_records(ZLibEntry &library, ZLibMaster &index, bool qualified)
{
    for (const auto &module : library.modules) {
        for (const QBString &name : module->names) {
            const ModName key{name, qualified ? &library : nullptr};
            ZModTable::Entry *e = index.table.find(key);
            if (e && e->value->module && e->value->module->library == &library)
                delete index.table.remove(key);
        }
        std::erase(index.recorded, module.get());
    }
}

void drop_library(ZLibEntry &modules, ZLibEntry &descriptions)
{
    g_bodies.Reset();
    drop_records(modules, *g_modules, false);
    drop_records(descriptions, *g_descriptions, true);
}

void drop_everything()
{
    for (std::size_t i = 0; i < g_modules->libraries.size(); ++i)
        drop_library(*g_modules->libraries[i], *g_descriptions->libraries[i]);
    g_modules->libraries.clear();
    g_descriptions->libraries.clear();
    g_modules->recorded.clear();
    g_descriptions->recorded.clear();
    clear_protected_files();
}

void set_owner(ZLibEntry &library)
{
    for (auto &module : library.modules)
        module->library = &library;
}

// ---- the scanner ---------------------------------------------------------------------------------

struct Scanner {
    LibReader &reader;
    std::string line;
    uint32_t lines = 0;  // lines read so far; the 0-based number of the last one is lines - 1

    bool next()
    {
        if (!lib_reader_get_line(reader, line))
            return false;
        ++lines;
        return true;
    }
    // Reads on until a line holds "*/" (the current line is looked at first from `from`).
    void skip_comment(std::size_t from)
    {
        if (from <= line.size() && line.find("*/", from) != std::string::npos)
            return;
        while (next())
            if (line.find("*/") != std::string::npos)
                return;
    }
};

// header symbol list = name { "," name } "*/"
// Blanks between items; a "*" not followed by "/" is skipped; at any other character the list
// goes on with the next line, unless the rest of the line closes the comment.
void read_symbol_list(Scanner &s, std::size_t from, ZModEntry &module)
{
    for (;;) {
        const std::string_view text = s.line;
        std::size_t i = from;
        for (;;) {
            while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
                ++i;
            if (i < text.size() && is_identifier_char(static_cast<unsigned char>(text[i]))) {
                std::string name;
                i = identifier_run(text, i, name);
                module.names.emplace_back(name);
                continue;
            }
            if (text.substr(i, 2) == "*/")
                return;
            if (i < text.size() && (text[i] == '*' || text[i] == ',')) {
                ++i;
                continue;
            }
            if (text.find("*/", i) != std::string_view::npos)
                return;
            break;
        }
        if (!s.next())
            return;
        from = 0;
    }
}

// A description: the line after the mark starts it; the first line that is not blank names
// the function; it ends after the line holding the comment's "*/".
void read_description(Scanner &s, ZLibEntry &descriptions)
{
    auto record = std::make_unique<ZModEntry>();
    record->body_start = s.reader.position;
    std::string name;
    bool have_line = false;
    while (s.next()) {
        const std::string_view text = skip_blanks_and_tabs(s.line);
        if (text.empty() || text == "\r")
            continue;
        have_line = true;
        identifier_run(text, 0, name);
        break;
    }
    if (have_line)
        s.skip_comment(0);
    record->module_end = s.reader.position;
    if (name.empty())
        return;
    record->names.emplace_back(name);
    record->library = &descriptions;
    descriptions.modules.push_back(std::move(record));
}

void scan_library(LibReader &reader, ZLibEntry &modules, ZLibEntry &descriptions)
{
    const uint32_t first = reader.position;
    Scanner s{reader, {}, 0};
    std::unique_ptr<ZModEntry> current;
    bool header_open = false;
    const auto fail = [&](int line, uint32_t id) {
        modules.modules.clear();
        descriptions.modules.clear();
        library_structure_error(modules.path, line, id);
    };
    while (s.next()) {
        const uint32_t line_start = reader.line_start;
        const uint32_t line_number = s.lines - 1;
        const std::string_view text = skip_blanks_and_tabs(s.line);
        if (starts_with_ignoring_case(text, kDescriptionMark)) {
            read_description(s, descriptions);
            continue;
        }
        if (starts_with_ignoring_case(text, kBeginHeaderMark)) {
            if (header_open)
                fail(static_cast<int>(line_number + 1), kMsgNestedHeaders);
            if (current) {
                current->module_end = line_start;
                modules.modules.push_back(std::move(current));
            }
            current = std::make_unique<ZModEntry>();
            current->library = &modules;
            const std::size_t list = (text.data() - s.line.data()) + std::strlen(kBeginHeaderMark);
            read_symbol_list(s, list, *current);
            current->header_start = reader.position;
            current->header_line = static_cast<uint16_t>(s.lines - 1);
            header_open = true;
            continue;
        }
        if (starts_with_ignoring_case(text, kEndHeaderMark)) {
            if (!header_open)
                fail(static_cast<int>(line_number + 1), kMsgMissingBegin);
            current->header_end = current->body_start = line_start;
            current->end_header_line = static_cast<uint16_t>(line_number);
            s.skip_comment((text.data() - s.line.data()) + std::strlen(kEndHeaderMark));
            header_open = false;
        }
    }
    if (header_open)
        fail(current->header_line + 1, kMsgMissingEnd);
    if (current) {
        current->module_end = reader.end;
        modules.modules.push_back(std::move(current));
        return;
    }
    if (!modules.modules.empty())
        return;
    // A file without modules (a header file such as "default.h") is one header, read whole by
    // "#use", with no body and no names.
    auto whole = std::make_unique<ZModEntry>();
    whole->library = &modules;
    whole->header_start = first;
    whole->header_end = whole->body_start = whole->module_end = reader.end;
    modules.modules.push_back(std::move(whole));
}

// ---- index files ---------------------------------------------------------------------------------
// u32 library time | u16 n | n bytes path with its zero | u16 records |
// records: u32 header start, u32 header end, u16 header line, 2 reserved, u32 body start,
//          u32 module end, u16 end-header line, 2 reserved | u16 names | per name: u16 n, n bytes
//          with the zero. Little-endian.

void put16(std::string &out, uint32_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string &out, uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void put_text(std::string &out, std::string_view text)
{
    put16(out, static_cast<uint32_t>(text.size() + 1));
    out.append(text);
    out += '\0';
}

class IndexBytes {
public:
    explicit IndexBytes(const std::string &bytes) : m_bytes(bytes) {}
    bool u16(uint32_t &v)
    {
        if (m_bytes.size() - m_pos < 2)
            return false;
        v = byte(0) | byte(1) << 8;
        m_pos += 2;
        return true;
    }
    bool u32(uint32_t &v)
    {
        uint32_t lo = 0, hi = 0;
        if (m_bytes.size() - m_pos < 4 || !u16(lo) || !u16(hi))
            return false;
        v = lo | hi << 16;
        return true;
    }
    bool skip(std::size_t n)
    {
        if (m_bytes.size() - m_pos < n)
            return false;
        m_pos += n;
        return true;
    }
    // A text of `max` characters at most, with its zero and no zero inside.
    bool text(std::string &out, uint32_t max)
    {
        uint32_t n = 0;
        if (!u16(n) || n < 2 || n > max + 1 || m_bytes.size() - m_pos < n)
            return false;
        out.assign(m_bytes, m_pos, n - 1);
        if (m_bytes[m_pos + n - 1] != '\0' || out.find('\0') != std::string::npos)
            return false;
        m_pos += n;
        return true;
    }
    bool at_end() const { return m_pos == m_bytes.size(); }

private:
    uint32_t byte(std::size_t i) const { return static_cast<unsigned char>(m_bytes[m_pos + i]); }
    const std::string &m_bytes;
    std::size_t m_pos = 0;
};

// A library or an index file, whole: nothing when it is no ordinary file or is larger than any
// program the compiler reads.
std::optional<std::string> read_whole_file(const std::string &path)
{
    constexpr std::size_t kMaxLibraryFileBytes = std::size_t(64) << 20;
    std::string bytes;
    if (read_regular_text(normalize_separators(path), kMaxLibraryFileBytes, bytes) !=
        RegularFileStatus::Read)
        return std::nullopt;
    return bytes;
}

// One index file into `entry`: false when it is missing, unreadable (reported), damaged, not
// this library's, or pointing past the library's end.
bool read_index_file(const std::string &library_path, const char *kind, uint64_t library_size,
                     ZLibEntry &entry)
{
    const std::string path = library_index_file(library_path, kind);
    std::error_code ec;
    if (!fs::exists(normalize_separators(path), ec))
        return false;
    std::optional<std::string> bytes = read_whole_file(path);
    if (!bytes) {
        // The index is rebuilt and the compile goes on; the user is told why it is slow.
        report_warning(1, 1, 1, "%s", GetResString(kMsgCannotOpenLibrary, path.c_str()).c_str());
        return false;
    }
    ZLibEntry read;
    if (!decode_library_index(*bytes, read) || !same_path(read.path, library_path))
        return false;
    for (const auto &m : read.modules) {
        const uint32_t ends[] = {m->header_start, m->header_end, m->body_start, m->module_end};
        for (uint32_t at : ends)
            if (at > library_size)
                return false;
    }
    entry.time = read.time;
    entry.modules = std::move(read.modules);
    set_owner(entry);
    return true;
}

// Both index files of a library, when they are whole and as new as the library.
bool read_index_files(ZLibEntry &modules, ZLibEntry &descriptions, bool ask)
{
    std::error_code ec;
    const uint64_t size = fs::file_size(normalize_separators(modules.path), ec);
    if (ec)
        return false;
    ZLibEntry m, d;
    if (!read_index_file(modules.path, "MD1", size, m) ||
        !read_index_file(modules.path, "HX1", size, d) || m.time != d.time)
        return false;
    uint32_t time = m.time;
    if (ask_save_edited_library(modules.path, time, ask))
        return false;
    modules.time = descriptions.time = time;
    modules.modules = std::move(m.modules);
    descriptions.modules = std::move(d.modules);
    set_owner(modules);
    set_owner(descriptions);
    return true;
}

void write_index_files(const ZLibEntry &modules, const ZLibEntry &descriptions)
{
    // The index files only spare a scan: one that cannot be written is scanned again next time.
    std::string reason;
    if (!g_index_folder.empty()) {
        std::error_code ignored;
        fs::create_directories(g_index_folder, ignored);
    }
    (void)replace_file_contents(normalize_separators(library_index_file(modules.path, "MD1")),
                                encode_library_index(modules), reason);
    (void)replace_file_contents(normalize_separators(library_index_file(modules.path, "HX1")),
                                encode_library_index(descriptions), reason);
}

// Indexing one library: from its index files, else by a scan that writes them again.
void index_library(ZLibEntry &modules, ZLibEntry &descriptions, bool rescan, bool ask)
{
    ShowMessageLine(false, "%s", text_of(kMsgScanning).c_str());
    if (rescan)
        examine_library_file(modules.path, true);
    drop_library(modules, descriptions);
    if (!read_index_files(modules, descriptions, ask)) {
        drop_library(modules, descriptions);
        modules.modules.clear();
        descriptions.modules.clear();
        if (!LibIndexBuild(modules, descriptions))
            return;
        write_index_files(modules, descriptions);
    }
    lib_index_add_modules(descriptions, *g_descriptions, true, true);
}

// The libraries the list names, as found, in list order. Each line is cut at a tab or ";";
// lines that begin with "*" or end at once are skipped. Names are matched without regard to
// case, a file of the name as written first; a missing one is reported upper-cased.
std::vector<std::string> listed_libraries(std::istream &list, const std::string &directory)
{
    std::vector<std::string> found;
    for (std::string line; std::getline(list, line);) {
        if (line.empty() || line[0] == '*' || line[0] == '\r')
            continue;
        line = line.substr(0, line.find_first_of("\t;\r"));
        const std::size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos)
            continue;
        line = line.substr(first, line.find_last_not_of(' ') - first + 1);
        if (std::optional<std::string> library = find_file_ignoring_case(line, directory, "lib")) {
            found.push_back(*library);
            continue;
        }
        ShowMessageLine(false, "%s",
                        GetResString(kMsgCannotOpenLibrary, upper_case(line).c_str()).c_str());
    }
    return found;
}

bool list_changed(const std::string &list_path, bool save_time)
{
    const std::optional<uint32_t> now = file_time(list_path);
    const bool changed = !now || !g_list_time || *now != *g_list_time;
    if (save_time)
        g_list_time = now;
    return changed;
}

bool same_libraries(const std::vector<std::string> &found)
{
    if (found.size() != g_modules->libraries.size())
        return false;
    for (std::size_t i = 0; i < found.size(); ++i)
        if (g_modules->libraries[i]->path != found[i])
            return false;
    return true;
}

// ---- the catalogue of "#use" ------------------------------------------------------------------------

class Catalogue : public LibraryIndex {
public:
    std::size_t entry_count() override { return g_modules ? g_modules->libraries.size() : 0; }
    LibraryEntry &entry(std::size_t index) override { return *g_modules->libraries.at(index); }
    void add_modules(std::size_t index) override
    {
        ZLibEntry &library = *g_modules->libraries.at(index);
        lib_index_add_modules(library, *g_modules, false, false);
        library.flags |= 0x01;
        g_pending = static_cast<uint16_t>(
            std::min<std::size_t>(0xFFFF, g_pending + library.modules.size()));
    }
    std::unique_ptr<InThread> open_header_stream(std::size_t index) override
    {
        return std::make_unique<OneLbHdrThread>(*g_modules->libraries.at(index));
    }
    InThread &module_bodies() override { return g_bodies; }
    uint16_t pending_item_count() override { return g_pending; }
    void set_pending_item_count(uint16_t count) override { g_pending = count; }
};

Catalogue g_catalogue;

}  // namespace

// ---- creating and loading ------------------------------------------------------------------------

ZLibMaster *module_index() { return g_modules.get(); }
ZLibMaster *description_index() { return g_descriptions.get(); }
LibraryIndex &library_catalogue() { return g_catalogue; }

void create_library_index()
{
    if (!g_modules) {
        g_modules = std::make_unique<ZLibMaster>();
        g_descriptions = std::make_unique<ZLibMaster>();
    }
    set_library_index(&g_catalogue);
}

int load_library_index(const std::string &directory, const std::string &list_file, bool keep,
                       bool save_time)
{
    create_library_index();
    ShowMessageLine(false, "%s", text_of(kMsgLoading).c_str());
    const std::optional<std::string> list_path = find_file_ignoring_case(list_file, directory, "");
    if (!list_path)
        return 1;
    // An ordinary file within its limit only: a FIFO would hold the compile, a device would be
    // read without end. The compile names a list it cannot read.
    std::string text;
    if (read_regular_text(*list_path, kLibrariesListMaxBytes, text) != RegularFileStatus::Read)
        return 1;
    std::istringstream list(text);
    const std::vector<std::string> found = listed_libraries(list, directory);

    bool rebuild = false;
    if (!keep)
        rebuild = IsCompilingBios() || list_changed(*list_path, save_time);
    // Libraries added, dropped or reordered: entries cannot be walked in step with the list.
    if (!same_libraries(found))
        rebuild = true;
    if (!keep)
        for (const auto &library : g_modules->libraries)
            for (const auto &module : library->modules)
                module->compiled = false;

    if (rebuild) {
        drop_everything();
        for (const std::string &path : found) {
            auto modules = std::make_unique<ZLibEntry>();
            auto descriptions = std::make_unique<ZLibEntry>();
            modules->path = descriptions->path = path;
            g_modules->libraries.push_back(std::move(modules));
            g_descriptions->libraries.push_back(std::move(descriptions));
            index_library(*g_modules->libraries.back(), *g_descriptions->libraries.back(), true,
                          true);
        }
        return 0;
    }
    for (std::size_t i = 0; i < g_modules->libraries.size(); ++i) {
        ZLibEntry &modules = *g_modules->libraries[i];
        ZLibEntry &descriptions = *g_descriptions->libraries[i];
        if (!ask_save_edited_library(modules.path, modules.time))
            continue;
        ShowMessageLine(false, "%s",
                        GetResString(kMsgRescanning, modules.path.c_str()).c_str());
        index_library(modules, descriptions, true, false);
    }
    return 0;
}

bool LibIndexBuild(ZLibEntry &modules, ZLibEntry &descriptions)
{
    modules.modules.clear();
    descriptions.modules.clear();
    LibReader reader;
    if (!lib_reader_next_file(reader, modules)) {
        ShowMessageLine(false, "%s", GetResString(kMsgCannotRead, modules.path.c_str()).c_str());
        return false;
    }
    const uint32_t time = file_time(modules.path).value_or(0);
    modules.time = descriptions.time = time;
    scan_library(reader, modules, descriptions);
    reader.open = false;  // nothing of the compile was read from it
    return true;
}

std::string library_index_file(const std::string &library_path, const char *kind)
{
    if (g_index_folder.empty())
        return library_path + "." + kind;
    std::error_code ec;
    const fs::path absolute = fs::absolute(normalize_separators(library_path), ec);
    const std::string key = (ec ? fs::path(library_path) : absolute).lexically_normal().string();
    uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
    for (unsigned char c : key) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    char name[40];
    std::snprintf(name, sizeof name, "-%016llx.", static_cast<unsigned long long>(hash));
    return (fs::path(g_index_folder) / (fs::path(key).filename().string() + name + kind))
        .string();
}

void set_library_index_folder(const std::string &folder) { g_index_folder = folder; }

std::string encode_library_index(const ZLibEntry &entry)
{
    std::string out;
    put32(out, entry.time);
    put_text(out, entry.path);
    put16(out, static_cast<uint32_t>(entry.modules.size()));
    for (const auto &m : entry.modules) {
        put32(out, m->header_start);
        put32(out, m->header_end);
        put16(out, m->header_line);
        put16(out, 0);
        put32(out, m->body_start);
        put32(out, m->module_end);
        put16(out, m->end_header_line);
        put16(out, 0);
        put16(out, static_cast<uint32_t>(m->names.size()));
        for (const QBString &name : m->names)
            put_text(out, name.view());
    }
    return out;
}

bool decode_library_index(const std::string &bytes, ZLibEntry &entry)
{
    IndexBytes in(bytes);
    ZLibEntry read;
    uint32_t count = 0;
    if (!in.u32(read.time) || !in.text(read.path, 0xFFFE) || !in.u16(count))
        return false;
    for (uint32_t r = 0; r < count; ++r) {
        auto m = std::make_unique<ZModEntry>();
        uint32_t header_line = 0, end_header_line = 0, names = 0;
        if (!in.u32(m->header_start) || !in.u32(m->header_end) || !in.u16(header_line) ||
            !in.skip(2) || !in.u32(m->body_start) || !in.u32(m->module_end) ||
            !in.u16(end_header_line) || !in.skip(2) || !in.u16(names))
            return false;
        if (m->header_start > m->header_end || m->body_start > m->module_end)
            return false;
        m->header_line = static_cast<uint16_t>(header_line);
        m->end_header_line = static_cast<uint16_t>(end_header_line);
        for (uint32_t n = 0; n < names; ++n) {
            std::string name;
            if (!in.text(name, kMaxName))
                return false;
            m->names.emplace_back(name);
        }
        read.modules.push_back(std::move(m));
    }
    if (!in.at_end())
        return false;
    entry.time = read.time;
    entry.path = read.path;
    entry.modules = std::move(read.modules);
    set_owner(entry);
    return true;
}

// ---- the tables ---------------------------------------------------------------------------------

void lib_index_add_modules(ZLibEntry &library, ZLibMaster &index, bool qualify, bool quiet)
{
    for (const auto &module : library.modules) {
        bool entered = false;
        for (const QBString &name : module->names) {
            const ModName key{name, qualify ? &library : nullptr};
            if (ZModTable::Entry *e = index.table.find(key)) {
                if (e->value->module == module.get())
                    continue;  // in already (a BIOS library the program uses too)
                if (!quiet)
                    fatal_here(msg(kMsgDuplicate), name.c_str(),
                               library.path.empty() ? "UnKnown" : library.path.c_str());
                e->value->module = module.get();
            } else {
                auto *entry = new ZModTable::Entry{key, new ZModRef{module.get()}};
                if (!index.table.insert(entry)) {
                    delete entry->value;
                    delete entry;
                    continue;
                }
            }
            entered = true;
        }
        if (entered && index.recording &&
            std::find(index.recorded.begin(), index.recorded.end(), module.get()) ==
                index.recorded.end())
            index.recorded.push_back(module.get());
    }
}

void lib_index_remove_used_modules()
{
    if (!g_modules)
        return;
    for (ZModEntry *module : g_modules->recorded) {
        for (const QBString &name : module->names) {
            const ModName key{name, module->library};
            ZModTable::Entry *e = g_modules->table.find(key);
            if (e && e->value->module == module)
                delete g_modules->table.remove(key);
        }
    }
    g_modules->recorded.clear();
}

void lib_index_unmark_all()
{
    g_pending = 0;
    g_bodies.Reset();
    for (ZLibMaster *index : {g_modules.get(), g_descriptions.get()}) {
        if (!index)
            continue;
        for (const auto &library : index->libraries) {
            library->flags = 0;
            for (const auto &module : library->modules)
                module->compiled = false;
        }
    }
}

void lib_index_reset()
{
    if (g_modules)
        g_modules->recorded.clear();
}

void set_library_index_recording(bool on)
{
    create_library_index();
    g_modules->recording = on;
}

std::vector<std::string> library_files()
{
    std::vector<std::string> paths;
    if (g_modules)
        for (const auto &library : g_modules->libraries)
            paths.push_back(library->path);
    return paths;
}

bool lib_find_function(const std::string &text, const ZModEntry **found,
                       const char *library_filter)
{
    if (!g_descriptions)
        return false;
    std::string name = text;
    std::string file = library_filter ? library_filter : "";
    if (const std::size_t in = text.find(" in "); in != std::string::npos) {
        name = text.substr(0, in);
        file = text.substr(in + 4);
    }
    const auto trim = [](std::string &s) {
        const std::size_t first = s.find_first_not_of(" \t");
        s = first == std::string::npos ? "" : s.substr(first, s.find_last_not_of(" \t") - first + 1);
    };
    trim(name);
    trim(file);
    const bool whole_path = file.find_first_of("/\\") != std::string::npos;
    int hits = 0;
    for (const auto &library : g_descriptions->libraries) {
        if (!file.empty() && !(whole_path ? same_path(library->path, file)
                                          : equal_ignoring_case(file_name_part(library->path), file)))
            continue;
        ZModTable::Entry *e = g_descriptions->table.find(ModName{QBString(name), library.get()});
        if (!e)
            continue;
        ++hits;
        if (found)
            *found = e->value->module;
    }
    return hits == 1;
}

void lib_for_each_function(
    const std::function<void(const std::string &name, const std::string &library)> &callback)
{
    if (!g_descriptions)
        return;
    using Callback = std::function<void(const std::string &, const std::string &)>;
    g_descriptions->table.forEach(
        [](ZModTable::Entry *e, void *context) {
            const ZModEntry *module = e->value->module;
            (*static_cast<const Callback *>(context))(e->key.name.c_str(), module->library->path);
        },
        const_cast<Callback *>(&callback));
}

std::optional<std::string> lib_description_text(const ZModEntry &description)
{
    if (!description.library)
        return std::nullopt;
    LibReader reader;
    if (!lib_reader_next_file(reader, *description.library))
        return std::nullopt;
    // Nothing of a compile is read here: the file closes without the compile's bookkeeping.
    const auto close = [&reader] {
        reader.open = false;
        reader.text.clear();
        reader.container.Close();
    };
    const uint32_t end = description.module_end;
    if (description.body_start >= reader.end || end > reader.end) {
        close();
        return std::nullopt;
    }
    lib_reader_set_position(reader, description.body_start, 0);
    std::string text, line;
    bool started = false;
    while (reader.position < end && lib_reader_get_line(reader, line)) {
        if (!started && line.find_first_not_of(" \t") == std::string::npos)
            continue;
        if (reader.position >= end)
            break;
        if (started)
            text += '\n';
        started = true;
        text += line;
    }
    close();
    return text;
}

const ZModEntry *lib_find_module(const std::string &name)
{
    if (!g_modules)
        return nullptr;
    const ZModTable::Entry *e = g_modules->table.find(ModName{QBString(name), nullptr});
    return e ? e->value->module : nullptr;
}

ZModEntry *next_library_module()
{
    // After an error the compile only runs to its end: no library text is added to it.
    if (!g_modules || errors_seen() != 0)
        return nullptr;
    // The newest global label still wanted first; a name no used library lists is dropped.
    prune_pending_globals();
    for (std::string name = pending_global_head(); !name.empty(); name = pending_global_head()) {
        ZModTable::Entry *e = g_modules->table.find(ModName{QBString(name), nullptr});
        if (!e) {
            pop_pending_global();
            continue;
        }
        ZModEntry *module = e->value->module;
        const std::string &path = module->library->path;
        if (module->compiled) {
            // Its body was read and did not define the name: reading it again cannot help.
            report_error_in_file(module->header_line + 1, 1, path.c_str(), msg(kMsgNotDefined),
                                 name.c_str(), path.c_str());
            return nullptr;
        }
        module->compiled = true;
        examine_library_file(path, false);
        ShowMessageLine(false, "%s",
                        GetResString(kMsgCompilingModule, name.c_str(), path.c_str()).c_str());
        return module;
    }
    return nullptr;
}

// ---- libraries open in an editor ----------------------------------------------------------------

bool lib_save_if_edited(const std::string &path)
{
    TEditorInterface *editor = GetEditorInterfaceForFile(path);
    if (!editor || !editor->IsModified())
        return false;
    const int answer = ShowAppMessageBox(GetResString(kMsgEdited, path.c_str()),
                                         GetResString(kMsgProductName),
                                         kMbYesNoCancel | kMbIconQuestion);
    return answer == kIdYes && editor->Save();
}

bool ask_save_edited_library(const std::string &path, uint32_t &stored_time, bool ask)
{
    if (ask)
        lib_save_if_edited(path);
    const std::optional<uint32_t> now = file_time(path);
    if (!now)
        return true;
    if (*now == stored_time)
        return false;
    stored_time = *now;
    return true;
}

// ---- reading module text ------------------------------------------------------------------------

bool lib_reader_next_file(LibReader &reader, ZLibEntry &library)
{
    if (reader.open)
        close_input_file(reader);
    reader.library = &library;
    reader.path = library.path;
    reader.text.clear();
    reader.is_protected = open_library_container(reader.container, library.path);
    if (reader.is_protected) {
        reader.open = true;
        lib_reader_set_position(reader, 0, 0);
        return true;
    }
    std::optional<std::string> bytes = read_whole_file(library.path);
    if (!bytes)
        return false;
    reader.text = std::move(*bytes);
    reader.open = true;
    lib_reader_set_position(reader, 0, 0);
    return true;
}

void lib_reader_set_position(LibReader &reader, uint32_t start, uint32_t end)
{
    const uint32_t size = reader.is_protected ? reader.container.FileLength()
                                              : static_cast<uint32_t>(reader.text.size());
    if (reader.is_protected)
        start = std::max(start, reader.container.ContentStart());
    reader.end = end == 0 || end > size ? size : end;
    reader.position = std::min(start, reader.end);
    reader.line_start = reader.position;
}

bool lib_reader_at_eof(const LibReader &reader) { return !reader.open || reader.position >= reader.end; }

bool lib_reader_get_line(LibReader &reader, std::string &line)
{
    line.clear();
    if (lib_reader_at_eof(reader))
        return false;
    reader.line_start = reader.position;
    if (reader.is_protected) {
        reader.container.Seek(reader.position);
        char piece[512];
        while (reader.container.Tell() < reader.end && reader.container.GetLine(piece, sizeof piece)) {
            line += piece;
            if (!line.empty() && line.back() == '\n')
                break;
        }
        reader.position = std::min(reader.container.Tell(), reader.end);
    } else {
        std::size_t stop = reader.text.find('\n', reader.position);
        stop = stop == std::string::npos || stop >= reader.end ? reader.end : stop + 1;
        line.assign(reader.text, reader.position, stop - reader.position);
        reader.position = static_cast<uint32_t>(stop);
    }
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    // A zero byte would end the line early for the readers behind: it is read as a blank.
    std::replace(line.begin(), line.end(), '\0', ' ');
    return true;
}

void close_input_file(LibReader &reader)
{
    if (!reader.open)
        return;
    reader.open = false;
    reader.text.clear();
    reader.container.Close();
    report_unmatched_brackets();
    if (reader.library)
        reader.library->code_address = current_code_cache().current;
}

// ---- the streams --------------------------------------------------------------------------------

void ModThread::Close() { close_input_file(m_reader); }

bool ModThread::read_next(std::string &out)
{
    if (!lib_reader_get_line(m_reader, out))
        return false;
    ++line;
    column = 0;
    return true;
}

void OneLbHdrThread::Open()
{
    m_started = true;
    m_module = 0;
    line = 0;
    column = 0;
    if (!lib_reader_next_file(m_reader, m_library)) {
        error_here(msg(kMsgCannotRead), m_library.path.c_str());
        return;
    }
    enter_module();
}

// Positions the reader at the header of the current module, or of the next one that has one.
bool OneLbHdrThread::enter_module()
{
    for (; m_module < m_library.modules.size(); ++m_module) {
        const ZModEntry &module = *m_library.modules[m_module];
        if (module.header_start >= module.header_end)
            continue;
        lib_reader_set_position(m_reader, module.header_start, module.header_end);
        // A whole-file header starts at the first line; a module's after its symbol list.
        const uint32_t file_start = m_reader.is_protected ? m_reader.container.ContentStart() : 0;
        line = module.header_start == file_start ? 0 : static_cast<uint16_t>(module.header_line + 1);
        return true;
    }
    lib_reader_set_position(m_reader, 0, 0);
    m_reader.position = m_reader.end;
    return false;
}

bool OneLbHdrThread::HasLine()
{
    if (!m_started || !m_reader.open)
        return false;
    while (lib_reader_at_eof(m_reader)) {
        if (m_module >= m_library.modules.size())
            return false;
        ++m_module;
        if (!enter_module())
            return false;
    }
    return true;
}

void LbRegLnkThread::Open()
{
    if (m_module)
        end_module();
    m_module = nullptr;
    start(next_library_module());
}

bool LbRegLnkThread::start(ZModEntry *module)
{
    m_module = nullptr;
    if (!module)
        return false;
    ZLibEntry &library = *module->library;
    if (!m_reader.open || m_reader.library != &library) {
        if (!lib_reader_next_file(m_reader, library)) {
            error_here(msg(kMsgCannotRead), library.path.c_str());
            return false;
        }
    }
    set_input_file_name(library.path, 0);
    lib_reader_set_position(m_reader, module->body_start, module->module_end);
    line = module->end_header_line;
    column = 0;
    breakpoint_tables().beginSourceRange(library.path, line, 0, current_code_cache().current);
    m_module = module;
    return true;
}

void LbRegLnkThread::end_module()
{
    breakpoint_tables().endSourceRange(line, 0, current_code_cache().current);
}

bool LbRegLnkThread::HasLine()
{
    while (m_module) {
        if (!lib_reader_at_eof(m_reader))
            return true;
        end_module();
        m_module = nullptr;
        if (!start(next_library_module()))
            return false;
    }
    return false;
}

void LbRegLnkThread::Close()
{
    if (m_module)
        end_module();
    m_module = nullptr;
    ModThread::Close();
}

void LbRegLnkThread::Reset()
{
    m_module = nullptr;
    m_reader.open = false;
    m_reader.text.clear();
    m_reader.container.Close();
    m_reader.library = nullptr;
}
