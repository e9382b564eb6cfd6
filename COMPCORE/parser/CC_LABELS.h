// CC_LABELS: small services of the statement and expression parsers.
// Unique internal label names, the statement marks that tie source positions to code addresses
// for the debugger (with the debug hook when debugging code is generated), the stack of active
// loops, and scanner utilities over the lexer's input pointer (CC_IN).
// What it reads of the function being compiled (its option word, whether source positions are
// suppressed) comes through `StatementMarkContext`, installed by the function-definition parser;
// listing ranges go to the installed listing recorder (`set_listing_recorder`; the compile
// joins send them to the linker seam).
// Called by the statement parser, the code generator and the "#asm" block reader (CC_INASM).
#pragma once

#include "core/CC_ADDR.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// ---- unique labels ----------------------------------------------------------------------------

// The prefix cut to 20 characters, then "__QB%08X" of the label counter (which then goes up by
// one): at most 32 characters, every counter digit kept. Returned by value: two labels taken for one expression never share storage.
std::string make_unique_label(const char *prefix);
// The counter is 0 at the start of every compile.
void reset_unique_labels();
uint32_t unique_label_counter();

// ---- statement marks --------------------------------------------------------------------------

// What a statement mark reads of the function being compiled. Unset entries read as "not
// suppressed" and an option word of 0.
struct StatementMarkContext {
    std::function<bool()> source_positions_suppressed;
    std::function<uint32_t()> function_options;  // bit 4 (16): debugging code with hooks
    std::function<bool()> compiling_bios;        // listing kind 3 instead of 4
};
void set_statement_mark_context(StatementMarkContext context);

// Places a statement mark at a line and column (column 0: the current column). With debugging
// code on, the statement begins with "rst 0x28" (and a "nop" before it when the previous
// statement ended at the same address) and enters the line table; otherwise it enters the
// statement table. A mark at the previous mark's line and column only moves its address.
void record_statement(uint16_t line, uint16_t column);
// While statement marking is on: skips blanks (across lines) and marks the current line.
void mark_statement_here(uint16_t column);
void set_statement_marking(bool on);
[[nodiscard]] bool statement_marking();

struct StatementMark {
    uint16_t line = 0;
    uint16_t column = 0;
    ADDR24 address = kDummyAddress;
};
StatementMark last_statement_mark();
// Start of a compile: forgets the last mark.
void reset_statement_marks();

// The restart that enters the debug kernel: "rst 0x28".
constexpr uint8_t kDebugRstOpcode = 0xEF;

// ---- listing records --------------------------------------------------------------------------

// Listing kinds of an emitted range.
enum ListingKind : int { kListData = 2, kListBiosCode = 3, kListProgramCode = 4 };
// Records an emitted range for the listing file through the installed recorder (nothing when
// none is installed).
void record_listing_range(ADDR24 start, ADDR24 end, int kind);
void set_listing_recorder(std::function<void(ADDR24 start, ADDR24 end, int kind)> recorder);

// ---- loop stack -------------------------------------------------------------------------------

struct LoopEntry {
    uint16_t first = 0;   // continue allowed
    uint16_t second = 0;  // break allowed
};
inline constexpr int kMaxActiveLoops = 19;

// Error 612 and nothing pushed when 19 entries are there already.
void push_loop(const uint16_t pair[2]);
// The top entry; error 495 and nothing on an empty stack.
std::optional<LoopEntry> top_loop();
// The top entry (as top_loop), removed.
std::optional<LoopEntry> pop_loop();
int loop_depth();
void reset_loop_stack();

// ---- scanner utilities ------------------------------------------------------------------------

// Skips blanks across lines; non-zero when the input begins with ";" or the line is used up.
int at_statement_end();
// The prefix's length when the text begins with it, else 0.
std::size_t prefix_length(const char *text, const char *prefix);
// Skips spaces and tabs at the input pointer; returns the character then under it.
char skip_blanks();
// The character after the current one; 0 at the end of the line.
char peek_next_char();
// Skips one token for error recovery, noting every consumed character for bracket matching.
void skip_token();
// Consumes the text at the input pointer (a text ending in an identifier character must not
// run on into one), noting its brackets; non-zero when it was there.
int match_text(const char *text);
// Skips blanks across lines and consumes the text; error 492 when it is missing.
void expect_text(const char *text);
void report_missing(const char *text);               // 492
void report_previously_defined(const char *name);    // 491
void report_missing_char(char c);                    // 2051
uint16_t statement_column();

// Message ids of this unit.
enum : uint32_t {
    kMsgPreviouslyDefinedName = 491,
    kMsgMissingExpected = 492,
    kMsgNoActiveWhiles = 495,
    kMsgTooManyActiveWhiles = 612,
    kMsgMissingCharacter = 2051,
};
