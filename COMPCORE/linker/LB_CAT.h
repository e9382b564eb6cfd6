// LB_CAT: the library function index. For every library named in the libraries list it keeps an
// index of the library's modules (the symbols each module's header lists, and where header and
// body lie in the file) and an index of its function descriptions (where each
// "/* START FUNCTION DESCRIPTION" block lies). Both are cached beside the library in two index
// files, "<library>.MD1" and "<library>.HX1", and rebuilt when the library changes. The compile
// takes from the module index the module that defines a global label still wanted and reads its
// body; the library function look-up asks the description index where a description is.
// The input streams of the line reader (CC_GLINE) read module headers and bodies through the
// readers here; this unit serves CC_GLINE's `LibraryIndex` (the catalogue of "#use").
// Called by the compile entry and set-up (through the linker seam), the line reader, the label
// tables (module look-up, pending globals) and the map file (function look-up).
#pragma once

#include "core/CC_ADDR.h"
#include "input/CC_GLINE.h"
#include "Lb_encr.h"
#include "core/QBSTRING.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct ZLibEntry;

// One module, or one function description. Stored fields first (as the index files keep them),
// then the run-time ones.
struct ZModEntry {
    uint32_t header_start = 0;     // module: just after the header's symbol list; description: 0
    uint32_t header_end = 0;       // module: start of the "EndHeader" line; description: 0
    uint16_t header_line = 0;      // module: 0-based line on which the symbol list ends
    uint32_t body_start = 0;       // module: start of the "EndHeader" line; description: the
                                   // line after "/* START FUNCTION DESCRIPTION"
    uint32_t module_end = 0;       // module: start of the next "BeginHeader" line or the end of
                                   // the file; description: after the line holding its "*/"
    uint16_t end_header_line = 0;  // module: 0-based line of the "EndHeader"; description: 0
    ZLibEntry *library = nullptr;
    std::vector<QBString> names;   // header symbols, or the described function (32 characters)
    bool compiled = false;         // queued for compiling in this compile
};

// One library in one index. `path` is the library file as found (its own case); the flags are
// the two per-compile marks of the catalogue: bit 0 its modules are in the module index, bit 1
// its headers were entered.
struct ZLibEntry : LibraryEntry {
    uint32_t time = 0;  // the library file's modification time when indexed (seconds)
    std::vector<std::unique_ptr<ZModEntry>> modules;
    ADDR24 code_address = kDummyAddress;  // the code address when its file was last closed
};

// The key of both index tables: two keys match when the names are the same and either library
// is none (any library) or both are the same.
struct ModName {
    QBString name;
    const ZLibEntry *library = nullptr;
};
template <> struct TaHashKeyTraits<ModName> {
    static uint32_t hash(const ModName &k) noexcept { return hashQBSZ(k.name); }
    static int compare(const ModName &a, const ModName &b) noexcept
    {
        const int c = a.name.entry() == b.name.entry() ? 0
                                                       : compare_unsigned(a.name.c_str(),
                                                                          b.name.c_str());
        if (c != 0 || !a.library || !b.library || a.library == b.library)
            return c;
        return a.library < b.library ? -1 : 1;
    }
};

// A table value: the module a name leads to (the module itself belongs to its library entry).
struct ZModRef {
    ZModEntry *module = nullptr;
};
using ZModTable = TaDUniqueHash<ModName, ZModRef>;

// One index: its table (1021 buckets requested: 2039), its libraries in the order of the
// libraries list, and, while recording, the modules "#use" entered into the table.
class ZLibMaster {
public:
    ZLibMaster() : table(1021, 0.8f) {}
    ZModTable table;
    std::vector<std::unique_ptr<ZLibEntry>> libraries;
    bool recording = false;
    std::vector<ZModEntry *> recorded;
};

// The two indexes (made by `create_library_index`; null before).
ZLibMaster *module_index();
ZLibMaster *description_index();

// ---- building and loading ------------------------------------------------------------------------

// Creates both indexes (a second call does nothing) and makes the module index the catalogue
// that "#use" reads.
void create_library_index();

// Brings both indexes up to date from the libraries list (one library per line; "*" lines
// skipped, a line cut at a tab or ";"; relative names found from `directory`, without regard to
// case, "lib" added when a name has none). `keep` keeps the libraries indexed before (only a
// changed library, or a changed list of libraries, is indexed again); without it the whole index
// is rebuilt while the BIOS is compiled or when the list file changed (`save_time`: remember the
// list file's time). Never changes the working directory. 0, or 1 when the list cannot be opened.
// A library with a broken module structure is a fatal compile error naming the library and line.
int load_library_index(const std::string &directory, const std::string &list_file, bool keep,
                       bool save_time);

// Scans one library into its module entry and its description entry (records replaced). False
// after the structure error has been recorded (the records are then empty).
bool LibIndexBuild(ZLibEntry &modules, ZLibEntry &descriptions);

// The index file of a library: its path followed by "." and the kind ("MD1" or "HX1"); with an
// index folder set, that folder's file named after the library's name and a hash of its path
// ("STDIO.LIB-<16 hex digits>.MD1").
std::string library_index_file(const std::string &library_path, const char *kind);
// The folder the index files are kept in; empty (the default) keeps them beside each library.
// The IDE keeps them in the user's cache: the staged libraries may lie in a folder nobody may
// write. The folder is made when the first index file is written.
void set_library_index_folder(const std::string &folder);
// Index file bytes of an entry, and back. Reading checks every length and count against the
// data; false (the entry untouched) for anything that does not fit.
std::string encode_library_index(const ZLibEntry &entry);
[[nodiscard]] bool decode_library_index(const std::string &bytes, ZLibEntry &entry);

// ---- the tables ---------------------------------------------------------------------------------

// Enters every name of every module of the library: key {name, library} with `qualify`, else
// {name, none}; an entry of that key from another module is replaced, which (unless `quiet`) is
// the fatal error "Duplicate %s found in file %s (previous one ignored).". While the index
// records, the module is noted as entered by the program.
void lib_index_add_modules(ZLibEntry &library, ZLibMaster &index, bool qualify, bool quiet);
// Takes out of the module index every name the program's "#use" lines entered.
void lib_index_remove_used_modules();
// Clears the per-compile marks of every library and module (compiler set-up).
void lib_index_unmark_all();
// Forgets which modules the program entered (compiler set-up).
void lib_index_reset();
// The module index records what "#use" enters, except while the BIOS is compiled.
void set_library_index_recording(bool on);
// The libraries of the module index, in list order.
std::vector<std::string> library_files();

// True when exactly one library describes the function. The text is "name" or
// "name in library"; the library (or `library_filter`) is the library's path or its file name,
// compared without regard to case. `found` gets the (last) description.
bool lib_find_function(const std::string &text, const ZModEntry **found,
                       const char *library_filter);
// Calls back with (function name, library path) for every description, bucket by bucket.
void lib_for_each_function(
    const std::function<void(const std::string &name, const std::string &library)> &callback);
// The text of a function description: its lines from the line after the mark, without the
// blank lines that open it and without the line that closes the comment ("END DESCRIPTION
// ...*/"), joined by "\n". Nothing when the library cannot be read or no longer holds the
// description (it shrank since it was indexed). The description window and the function
// reference pages read descriptions through it.
std::optional<std::string> lib_description_text(const ZModEntry &description);
// The module that lists the name, from any library the program uses; null when none.
const ZModEntry *lib_find_module(const std::string &name);

// The next module whose body the compile reads: the module of the newest global label still
// wanted. None once an error was recorded in the compile. A module offered before whose body did
// not define the name is the error "Symbol %s is not defined in file %s." (none is offered).
ZModEntry *next_library_module();

// ---- libraries open in an editor ----------------------------------------------------------------

// When the file is open in an editor with unsaved changes: asks "%s has been edited. Save?" and
// saves it on Yes. True when it was saved.
bool lib_save_if_edited(const std::string &path);
// The change test: after offering to save an edited library (`ask`), true when the file's
// modification time differs from `stored_time` (which then takes the file's time) or the file's
// status cannot be read.
bool ask_save_edited_library(const std::string &path, uint32_t &stored_time, bool ask = true);

// ---- reading module text ------------------------------------------------------------------------

// One library file read from index positions: through its container when it is protected, else
// from its text. Lines are delivered whole, without their line end.
struct LibReader {
    ZLibEntry *library = nullptr;
    std::string path;
    LibContainer container;
    bool is_protected = false;
    bool open = false;
    std::string text;  // a plain file's bytes
    uint32_t position = 0;
    uint32_t end = 0;
    uint32_t line_start = 0;  // where the last line read began
};
// Opens the library's file (closing the one open before); false when it cannot be read.
bool lib_reader_next_file(LibReader &reader, ZLibEntry &library);
// Reads from `start` up to `end` (the end of the file when 0).
void lib_reader_set_position(LibReader &reader, uint32_t start, uint32_t end);
[[nodiscard]] bool lib_reader_at_eof(const LibReader &reader);
[[nodiscard]] bool lib_reader_get_line(LibReader &reader, std::string &line);
// Closes the file: its open brackets are reported and the current code address noted in its
// library entry.
void close_input_file(LibReader &reader);

// A stream of library module text, read through its own reader.
class ModThread : public InThread {
public:
    void Close() override;

protected:
    // The next line of the current range (the line count advanced); false at its end.
    bool read_next(std::string &out);
    LibReader m_reader;
};

// The headers of one library, module after module (what "#use" enters).
class OneLbHdrThread : public ModThread {
public:
    explicit OneLbHdrThread(ZLibEntry &library) : m_library(library) {}
    void Open() override;
    [[nodiscard]] bool HasLine() override;
    [[nodiscard]] bool ReadLine(std::string &out) override { return HasLine() && read_next(out); }

private:
    bool enter_module();
    ZLibEntry &m_library;
    std::size_t m_module = 0;
    bool m_started = false;
};

// The bodies of the modules the compile needs, as `next_library_module` offers them.
class LbRegLnkThread : public ModThread {
public:
    void Open() override;
    [[nodiscard]] bool HasLine() override;
    [[nodiscard]] bool ReadLine(std::string &out) override { return HasLine() && read_next(out); }
    void Close() override;
    // Forgets the module being read (set-up of a compile).
    void Reset();

private:
    bool start(ZModEntry *module);
    void end_module();
    ZModEntry *m_module = nullptr;
};

// The catalogue "#use" reads: the libraries of the module index.
LibraryIndex &library_catalogue();
