// CC_INASM: "#asm" ... "#endasm" blocks and the path every generated assembly line takes.
// `parse_asm_block` reads the lines of a block (or the one line `outasm` points the lexer at),
// runs preprocessor directives and conditionals on the way, and hands each line to the inline
// assembler (`assemble_statement`), whose bytes go through the current emit cache. A block that
// starts in the last 4096 bytes of an xmem code segment with a follow-on origin is first measured
// by a trial pass (into a scratch cache, so the trial's bytes never leave the compiler) and moved
// whole to the follow-on segment when it would not fit.
// While it runs it is the assembler's host (`AsmHost`): diagnostics, code bytes, labels and
// fix-ups (CC_RELOC), debugger line entries and C statements inside assembly. It is installed
// as the implementation of `ParserSeam::parse_asm_block`; the seam's other services go to the
// parser.
#pragma once

#include "core/CC_ADDR.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class ParserSeam;

// asm_flag: passed to every `assemble_statement`; single_line: 1 for the `outasm` path;
// root_cache: 1 makes the root code cache current for the block (no trial pass then).
void parse_asm_block(int asm_flag, int single_line, int root_cache);

// One assembly line as the block reader holds it: the text of the whole line and, per character,
// its source line and column. `start` is where the assembly text begins.
struct AsmLineText {
    std::string text;
    std::vector<uint16_t> lines;
    std::vector<uint16_t> columns;
    std::size_t start = 0;
};
// The line being assembled (empty outside a block).
const AsmLineText &current_asm_line();

// A C statement inside assembly text: writes "{" over the character at `position` (the word c)
// of the line being assembled, appends "}" at its end with one more entry in each position map
// (the last line again, the last column plus one), and points the lexer at the "{".
// Returns the position of the "{" in the wrapped line.
const char *wrap_line_in_braces(const char *position);

// Points the lexer at `line.text` + `at` with the line's own positions, so that what the C
// statement compiler reports carries them (the input unit's service; it owns the lexer's
// position maps). Without one the lexer is pointed at the text and keeps the maps of the input's
// current line, which are the line's own except when a measured block is assembled again.
using LinePositionInstaller = std::function<void(const AsmLineText &line, std::size_t at)>;
void set_line_position_installer(LinePositionInstaller install);

// Compiles the C statement at the lexer's input pointer (the parser's `parse_statement`);
// without one, a line that begins with the word c is left to the assembler, which reports it.
void set_c_statement_compiler(std::function<void()> compile);

// Trial-pass depth: above 0 while a block is measured. Emit caches make no room reservations,
// and nothing is reported, defined or entered in debugger tables, while it is above 0.
uint32_t asm_trial_depth();
// The xmem code cache's address as it stood before the latest room reservation.
ADDR24 last_reserve_address();
void set_last_reserve_address(ADDR24 address);
// The statement-context marker: 2 while assembly lines are handed to the assembler.
uint16_t statement_context_marker();
void set_statement_context_marker(uint16_t marker);

// Makes the block reader the implementation of `ParserSeam::parse_asm_block`; every other
// service of the seam goes to `rest` (nullptr: the top-level parser of CC_DECL). Done once at
// start-up with `rest` nullptr.
void install_asm_path(ParserSeam *rest);
ParserSeam &asm_path_parser_seam();

// Start of a compile: unique labels, statement marks, pending output and the block reader's
// state (the label tables close their scopes themselves).
void reset_asm_path_state();

// Message ids of the block reader.
enum : uint32_t { kMsgAsmOverranXmemPage = 2047 };
// Reported without an id, as a serious warning.
inline constexpr const char *kAsmBlockMiscalculated =
    "Internal error: assembly block miscalculated. %x > %x";
