// list_files: the code-block map and the listing file. While a program is compiled, every
// emitter that places code or constant data records the range it filled and its kind in the
// code-block map. After the image was built, the listing (".lst" beside the program) walks the
// download image (".bdl") of this compile in address order: code disassembled as the
// disassembly window shows it (DB_ML), constant data dumped, protected and unknown bytes as one
// marker line per run, each record under the source lines that produced it (the position
// tables, reached through the breakpoint-tables seam).
// Called by the emitters (through the linker seam), the compile sequence (CC_FIOZ8). Std-only.
#pragma once

#include "core/CC_ADDR.h"

#include <cstdint>
#include <fstream>
#include <list>
#include <span>
#include <string>
#include <vector>

// ---- code-block map -------------------------------------------------------------------------------

// Kinds: where two recorded ranges overlap the lower kind wins. Look-ups add 5 (no block at
// all) and 6 (the address lies in no block); those are never stored.
enum CodeBlockKind : uint8_t {
    kBlockProtected = 1,  // compiled from a protected library file
    kBlockConstant = 2,
    kBlockBiosCode = 3,
    kBlockProgramCode = 4,
    kBlockMapEmpty = 5,
    kBlockNone = 6,
};

// One recorded range [start, end) of address words; start not below end: empty.
struct CodeBlock {
    ADDR24 start = 0;
    ADDR24 end = 0;
    uint8_t kind = 0;
};

class CodeBlockList {
public:
    virtual ~CodeBlockList() = default;

    // Resolves the blocks into disjoint ranges in address order, each byte to the lowest kind
    // that claimed it, neighbours of one kind joined. Only when a recording or clearing came
    // since the last time.
    void normalise();
    // The kind at an address: 1 to 4, or 5 for an empty map, 6 between blocks. Does not
    // normalise: the caller does that first.
    uint8_t kind_at(ADDR24 address);

    const std::list<CodeBlock> &blocks() const { return m_blocks; }

private:
    friend void add_list_record(CodeBlockList &list, ADDR24 start, ADDR24 end, int kind);
    friend void clear_list_records(CodeBlockList &list);

    std::list<CodeBlock> m_blocks;
    std::list<CodeBlock>::iterator m_found = m_blocks.end();  // the block of the last look-up
    bool m_normalised = false;
};

// The program's map.
CodeBlockList &code_block_list();

// Records [start, end) with a kind of 2 to 4. Stored as kind 1 while the source file being
// compiled is protected, as 3 for kind 4 while the BIOS is compiled; an empty or inverted range
// is not recorded.
void add_list_record(CodeBlockList &list, ADDR24 start, ADDR24 end, int kind);
// Removes every block.
void clear_list_records(CodeBlockList &list);

// Whether a source file is a protected library file: the library container's table
// (`is_encrypted_file`) unless another test is installed; nullptr puts that one back.
using ProtectedFileTest = bool (*)(const std::string &path);
void set_protected_file_test(ProtectedFileTest test);
// The installed test: what the listing and the debugger ask before they show a file's code.
[[nodiscard]] bool is_protected_source(const std::string &path);

// ---- the listing ---------------------------------------------------------------------------------

// One record of the listing: a source position (line -1 and offset -1 when there is none), the
// address, the text and its kind (1 protected, 2 constant data, 4 code, 6 unknown).
struct DisInfo {
    int32_t line = -1;
    int32_t column = 0;
    std::string file;
    int32_t offset = -1;
    ADDR24 address = 0;
    std::string text;
    uint8_t kind = 5;
};
using DisInfoList = std::vector<DisInfo>;

// The writer's state for one listing.
class ListFile {
public:
    virtual ~ListFile();

    // Fills `records` for the chunk of `length` bytes at `start`; `bytes` holds the chunk and,
    // beyond it, the image bytes that follow (an instruction near the end is decoded from
    // them). Returns the address at which the next chunk begins.
    ADDR24 list_chunk(ADDR24 start, std::span<const uint8_t> bytes, uint32_t length,
                      DisInfoList &records);
    // The dump of the constant data that begins at `start`: on entry `count` is the number of
    // bytes available, on return the number the dump covers.
    std::string constant_data_text(const uint8_t *bytes, uint32_t &count, ADDR24 start);
    // One echo line, without its line end: "[name(line:column)]: " and the source text from
    // that column to the end of the line (at most 255 characters).
    std::string source_echo(const std::string &file, int line, int column, int32_t offset);

    std::ifstream reader;         // the source file being echoed, when it is not the program
    std::string current_source;   // the file the reader was last asked for
    std::string base_name;        // the program
    bool success = true;          // false once a source file could not be opened

private:
    uint8_t m_last_kind = 0;      // kind of the last record made; none at the start
};

// Writes "<base>.lst" from "<base>.bdl", whose first byte is the physical address
// `image_start`. False without writing for a watch compile, when the listing cannot be created
// or the image is not the one this compile built (each with its message), and when a source
// file could not be echoed (the listing then completes). Empties the code-block map once the
// files were opened.
bool write_list_file(ListFile &list, const std::string &base_name, uint32_t image_start);
