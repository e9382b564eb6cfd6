// CC_STAB: symbol tables, keywords, character classes, the identifier scanner and tag tables.
// Every name the compiler declares lives in one of two open-addressing hash tables (global, and
// local to the function being compiled) whose `symbol` entries share one symbol area and whose
// names share one name area, both sized from the "sym" limit. Beside them: the tag tables of
// structures, unions and enumerations with their member lists, the 60-word keyword table, and
// the 256-entry character-class table the lexer uses.
// The parser gives kinds, flags and attributes their meaning; this unit only stores and finds.
// Reports go through the reporters at the current position; overflow of an area ends the
// compile with xCCErrOvflo before anything is written past it.
#pragma once

#include "CC_ADDR.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// ---- character classes ------------------------------------------------------------------------
// One class byte per character code. On this platform no byte is a double-byte lead byte, and
// every byte above 127 is a letter: identifiers may hold such bytes, which are stored and
// compared byte for byte and count one each toward the 32-character limit.
enum : uint8_t {
    kClassLead = 0x01,       // lead byte of a double-byte character (never set here)
    kClassLetter = 0x02,     // ASCII letters, bytes above 127, control codes 1-31 but 9 10 12 13 26 27
    kClassDigit = 0x04,      // "0" to "9"
    kClassBlank = 0x08,      // space, tab, form feed, code 26
    kClassLineEnd = 0x10,    // codes 10 and 13
    kClassUnderscore = 0x20, // "_"
    kClassPeriod = 0x40,     // "."
    kClassIdentStart = kClassLead | kClassLetter | kClassUnderscore,           // 0x23
    kClassIdentChar = kClassIdentStart | kClassDigit,                           // 0x27
};
// Builds the table (start-up; idempotent). char_class works before it too.
void build_char_classes();
uint8_t char_class(unsigned char c);
inline bool is_identifier_start(unsigned char c) { return char_class(c) & kClassIdentStart; }
inline bool is_identifier_char(unsigned char c) { return char_class(c) & kClassIdentChar; }

inline constexpr std::size_t kMaxIdentifier = 32; // characters kept of a name

// ---- keywords -----------------------------------------------------------------------------------
// The language's 60 keywords, hashed h = h * 17 + c (signed char) over at most 16 characters.
bool is_keyword(const char *name);
int keyword_index(const char *name); // 0..59, or -1
uint16_t keyword_hash_value(const char *text);
const char *keyword_text(int index);  // nullptr out of range
inline constexpr int kKeywordCount = 60;

// ---- the identifier scanner ---------------------------------------------------------------------
// Reads an identifier at the lexer's input pointer (CC_IN) into `buffer`, which must hold at
// least kMaxIdentifier + 1 bytes. Blanks before it are skipped (across lines with
// `across_lines`). Keeps at most 32 characters and consumes the rest of the identifier.
// Returns 1 when an identifier start was found. Without one it returns 0 with an empty buffer;
// `accept_other` then consumes the run of identifier characters at the pointer (none when the
// pointer is not at one), so a caller can step over a bad token.
int scan_identifier(char *buffer, bool across_lines, bool accept_other);

// ---- symbols ------------------------------------------------------------------------------------
struct symbol {
    char *name = nullptr;             // in the name area, at most 32 characters
    uint32_t end_offset = 0;          // entries from the area start to the end of this entry
    uint8_t flags[3] = {0, 0, 0};     // bit 0 of [0]: placement switch; bit 5 of [1]: made
    uint16_t attribute = 0;           // 4 when made
    int32_t type = 0;                 // signed 16-bit type code (16 + n: tag n)
    uint8_t kind = 0;
    uint32_t declarator = 0;          // one 4-bit group per level, outermost lowest
    ADDR24 address[3] = {kDummyAddress, kDummyAddress, kDummyAddress};
    int16_t value = 0;
    uint8_t reference_state = 0;      // 0 unreferenced; "#precompile" makes any other state 2
    uint16_t line = 0;                // declaration position
    uint16_t column = 0;
    const char *file = nullptr;       // declaration file (stable text)
    uint16_t size = 0;                // bytes of the declared object
    uint16_t cleared_word = 0;
    uint8_t precompile_mark = 0;      // "#precompile" named it
    // dimension list: one entry per array level given (at most 7)
    static constexpr int kMaxDims = 7;
    uint8_t dim_count = 0;
    uint16_t dims[kMaxDims] = {0, 0, 0, 0, 0, 0, 0};
};

enum SymbolTableId { kGlobalTable = 0, kLocalTable = 1 };

// Sizes every area from the "sym" limit (at least 16) and resets both tables. Called once at the
// first compiler start-up; later calls re-size (tests) and drop every symbol.
void allocate_symbol_tables(uint16_t sym_limit);
// Per-compile reset of the local table placement (entries and names from three quarters).
void place_local_symbol_table();
// Empties the global table (BIOS compile): entries, slots, names, hashfix list.
void reset_global_symbols();
// Empties the local table (start of every function, after the top level).
void clear_local_symbols();
// At global scope before each insertion: slides the global/local boundary up behind the globals.
void reserve_symbol_areas();

// Nested blocks of a function body. Names declared inside a block hide the same names of the
// function and of the blocks around it, and are gone once the block ends; labels and structure
// members keep the whole function as their scope. Blocks nest; `clear_local_symbols` ends them all.
void open_local_block();
void close_local_block();
// Local entries declared since the innermost block opened, in order (empty outside blocks).
std::vector<symbol *> local_block_symbols();

// Lookup. `kind_filter` returns only entries of kind 253 or 255. The hit is also kept as the
// last entry found.
symbol *find_symbol(const char *name, bool kind_filter, SymbolTableId table);
symbol *last_symbol_found();
// The n-th entry of a table in the order the names were entered (0 the first), or nullptr past
// the last one: the frame code walks the function's locals this way.
symbol *symbol_entry(SymbolTableId table, std::size_t n);
// Declares or completes a name (see the kinds table of the design). Never null.
symbol *add_symbol(const char *name, uint32_t declarator, int32_t type, int16_t value,
                   uint8_t kind, const uint16_t *dims, int dim_count);
// Appends "_" and two letters made from `number` to a name held in a buffer of at least 33 bytes,
// first cutting it to 29 characters (its last character kept at position 29). Returns 1.
int mangle_local_name(char *name, unsigned number);

// Scope switch of the parser (false: global scope).
void set_local_scope(bool local);
bool local_scope();
// Placement switch copied into bit 0 of the first flag byte of new entries.
void set_placement_switch(bool xmem);
// Option: a name that starts with "@" is stored as that one character.
void set_at_sign_names(bool on);

// Watch compiles: the global mark, and rolling the global table back to it afterwards.
void set_global_symbol_mark();
void rollback_global_symbols();
void clear_hashfix_list();
std::size_t hashfix_count();

// The global table (entries, names, slots, bounds and the global mark) as the BIOS compile
// leaves it; every program compile starts from it. Restoring needs the areas of the size they
// were saved with: false (and nothing changed) when they were re-sized since.
struct GlobalSymbolSnapshot;
std::shared_ptr<const GlobalSymbolSnapshot> save_global_symbols();
[[nodiscard]] bool restore_global_symbols(const GlobalSymbolSnapshot &snapshot);

// Geometry and fill, for tests and the BIOS compile-state cache.
struct SymbolTableInfo {
    std::size_t slot_count;
    std::size_t entry_start, entry_limit, next_entry;
    std::size_t name_start, name_limit, next_name;
};
SymbolTableInfo symbol_table_info(SymbolTableId table);
std::size_t symbol_area_size();
std::size_t name_area_size();

// ---- tag tables ---------------------------------------------------------------------------------
enum TagKind : int16_t { kTagStruct = 0, kTagUnion = 1, kTagEnum = 2 };
inline constexpr int32_t kTagRefused = 65534; // -2 as an unsigned 16-bit value

struct TagRecord {
    int16_t kind = 0;
    char name[kMaxIdentifier + 1] = {};
    uint16_t size = 0;
    int32_t first_member = -1;
    int32_t last_member = -1;
    uint8_t defined = 0;
};
struct TagMember {
    symbol *member = nullptr;
    int32_t next = -1;
};

// A new tag of the current scope: its type code; -1 when the name is already a tag of this
// scope; kTagRefused for a bad kind or when type codes run out.
int32_t add_tag(int kind, const char *name);
int32_t find_tag(const char *name);
int tag_scope(int32_t code);        // 0 global, 1 local, -1 not a tag
int tag_kind(int32_t code);         // -1 not a tag
int32_t tag_size(int32_t code);     // -1 not a tag
const char *tag_name(int32_t code); // nullptr not a tag
int tag_defined(int32_t code);      // 0 not a tag
int set_tag_size(int32_t code, uint16_t size);    // -1 refused (enum or not a tag), else 0
int set_tag_defined(int32_t code, uint8_t defined);
int add_tag_member(int32_t code, symbol *member);
// Members in declaration order: cursor -1 gives the first; the cursor is advanced to the member
// returned; nullptr at the end.
symbol *next_tag_member(int32_t code, int32_t &cursor);
bool is_tag_type(int32_t code);
void clear_local_tags();
void clear_global_tags();

// Global tags saved and restored with the BIOS compile state (caller-owned storage).
struct TagTableSnapshot {
    std::vector<TagRecord> tags;
    std::vector<TagMember> members;
};
void save_global_tags(TagTableSnapshot &out);
void restore_global_tags(const TagTableSnapshot &in);
