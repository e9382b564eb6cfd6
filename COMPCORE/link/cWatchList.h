// cWatchList: the debugger's watch expressions. Each watch is compiled by the compiler into a
// small piece of code in the watch-code area, the call "dkDoWatchExpression(expr);", and handed
// to the debug kernel (DBG ADDWATCH), which runs every watch on request and returns one 12-byte
// block per watch: a word, the type code, the declarator word and the value. This unit binds a
// watch to the function whose locals it may use, compiles it, keeps the list, turns a result
// into a display line and evaluates an expression once. The watches window, the Evaluate
// Expression dialog and the editor's fly-over hint use it; they show what it returns.
// GUI thread only; target failures come out as xTCErr, compile failures as xWatch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/CC_ADDR.h"
#include "core/guiInterface.h"

// ---- the display line, without a target ---------------------------------------------------------

// The base type names by shown type code (0-16).
inline constexpr const char *kWatchTypeNames[17] = {
    "null",   "char",   "int",     "unsigned int", "long",    "unsigned long",
    "type 6", "float",  "type 8",  "type 9",       "type 10", "label",
    "void",   "type 13", "type 14", "type 15",     "struct"};
inline constexpr uint16_t kWatchTagType = 16;

// The C spelling of a result type. Declarator levels from bit 0 upwards, four bits a level:
// low two bits 0 end, 1 array, 2 pointer, 3 function; bit 2 of a level marks it const, bit 2 of
// the nibble that ends the chain marks the base type const. `tag` names a tag type's tag.
std::string watch_type_text(uint16_t type_code, uint32_t declarator, const char *tag);

// A character or a string as C writes it: 'A', '\n', '\x9C'; a string stops at its first zero
// byte or after the escape that takes it past 31 characters.
std::string quote_watch_char(uint8_t c);
std::string quote_watch_string(const uint8_t *bytes, std::size_t count);

// The value text of a result. `read_string` gives the bytes a char pointer points at (none when
// they cannot be read).
using WatchStringReader = std::function<std::optional<std::vector<uint8_t>>(uint16_t pointer)>;
std::string watch_value_text(uint16_t type_code, uint32_t declarator, uint32_t value,
                             const WatchStringReader &read_string);

// "%-30.30s %-16.16s %-29.29s": expression, type text ("????" without one) and value.
std::string watch_line(const std::string &expression, const std::string *type_text,
                       const std::string &value);

// A stored watch line "expression:scope" split at its last colon (a function name holds none;
// an expression may). A line without one is an expression without a scope.
std::pair<std::string, std::string> split_watch_history_line(const std::string &line);

// Message ids of the watches.
inline constexpr uint32_t kMsgNoWatchContext = 5064;  // "No context found for watch expression."
inline constexpr uint32_t kMsgInvalidWatch = 5065;    // "Invalid watch expression."

// ---- the watch list -------------------------------------------------------------------------------

class cWatchList {
public:
    // One watch. The first four fields are overwritten by the target's result when it is
    // fetched.
    struct cWatch {
        uint16_t result_word = 0;
        uint16_t type_code = 0;
        uint32_t declarator = 0;
        uint32_t value = 0;
        std::string expression;
        std::optional<std::string> type_text;  // built when a result is fetched
        ADDR24 scope_start = kDummyAddress;    // start of the scope function
        ADDR24 code_address = kDummyAddress;   // where the watch's code begins
        uint16_t code_offset = 0;
        uint16_t shown_type = 0;               // type code limited to 16
        uint16_t scope_kind = 0;               // 0 globals only, 1 the scope's locals, 4 failed
        uint16_t compiled = 0;                 // compiled and handed to the target
        std::string spare;
        std::string scope_name;                // empty: none
        std::optional<std::string> error_text; // the last compile error
        uint8_t compilable = 0;                // copied from the list's kind
        ADDR24 scope_record[4] = {kDummyAddress, kDummyAddress, kDummyAddress, kDummyAddress};
        ADDR24 scope_address = kDummyAddress;  // selects the scope function
        uint32_t saved_options[3] = {0, 0, 0};
        uint16_t source_line = 0;
        uint8_t source_column = 0;
        uint8_t storage_class = 0;
        // Entry of the target's result table that holds this watch's result; -1 while the
        // target holds no code of it. Watches that failed to compile take no entry, so the
        // entries of the others stay in step with the target's table.
        int target_slot = -1;
    };
    struct cNode {
        cWatch *watch = nullptr;
        cNode *prev = nullptr;
        cNode *next = nullptr;
    };

    // Kind 1 lists compile their watches; kind 0 lists (scratch copies) never do.
    explicit cWatchList(uint8_t kind);
    ~cWatchList();
    cWatchList(const cWatchList &) = delete;
    cWatchList &operator=(const cWatchList &) = delete;

    int GetCount() const;
    bool IsActive() const { return m_active != 0; }
    uint8_t Kind() const { return m_kind; }
    const cWatch *At(int index) const;

    // Makes a watch of the expression with the scope function named (empty: the function
    // holding the program counter). In an active list it is bound and compiled first; a
    // duplicate (same scope name and expression) is dropped and false returned. Inserted before
    // the watch at `position` (negative or past the end: appended). Throws xWatch / xTCErr; a
    // watch that failed is not inserted.
    bool Add(int position, const std::string &expression, const std::string &scope_name);
    // A copy of the watch; compiled (without binding again) when the list is active.
    void InsertCopy(int position, const cWatch &watch);
    // An index out of range does nothing.
    void Delete(int index);
    std::string ExpressionText(int index) const;
    std::string ScopeName(int index) const;
    // The display line of the watch at the index, its result fetched from the target.
    std::string FormatLine(int index);
    // Compiles one watch behind this list's ones, runs every watch and formats its result. On an
    // error, `error_text` gets the watch's error text and the error is passed on.
    std::string EvaluateOnce(const std::string &expression, std::string &error_text);
    void Activate();
    void Deactivate();
    void CopyRange(int from, cWatchList &into) const;
    void InsertRange(int at, const cWatchList &from);
    void Clear();

    // The target's table rebuilt from this list: every watch on the target deleted, the
    // watch-code area rewound, each compilable watch compiled again in list order. A watch that
    // no longer compiles keeps its place (shown "????"); target failures are passed on.
    void RebuildTarget();

private:
    cNode *NodeAt(int index) const;
    void InsertNode(int position, cWatch *watch);

    cNode m_head;
    cNode m_tail;
    uint16_t m_active = 0;
    uint8_t m_kind = 0;
};

// ---- what the watches do on the target ------------------------------------------------------------

// DBG DELETEALLWATCHES, then the watch-code area rewound to its origin's start.
void delete_target_watches();
// The target's table went without a request (leaving debug mode resets the target or closes the
// link): the next watch added is its first entry again, its code at the area's start.
void forget_target_watches();
// The number of watches the target holds, as this unit added them.
int target_watch_count();
// Binding and compiling one watch (for tests and the list).
void bind_watch_scope(cWatchList::cWatch &watch);
void compile_watch(cWatchList::cWatch &watch);

// A watch list of its own for one evaluation (the fly-over hint and Evaluate without a watches
// window). Making it deletes the target's watches when the target has watches enabled; each
// evaluation deletes them again afterwards, however it ends.
class cFlyOverWatch : public TFlyOverWatch {
public:
    cFlyOverWatch();
    std::string Evaluate(const std::string &expression, bool keep_error) override;

private:
    cWatchList m_list{1};
};

// The IDE's fly-over watches: `set_flyover_watch_factory` with cFlyOverWatch.
void install_flyover_watches();
