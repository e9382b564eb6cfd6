// CC_LABELS: unique internal labels, statement marks, the loop stack and scanner utilities.
// Statement marks feed the debugger's source tables (SEAM_TARGET) and, with debugging code on,
// put the debug hook in front of every statement. Diagnostics go through CC_IN's reporters at the
// lexer's position; nothing here prints.
#include "CC_LABELS.h"

#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_GLINE.h"
#include "input/CC_IN.h"
#include "core/CC_STAB.h"
#include "core/SEAM_TARGET.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// ---- state (reset at the start of every compile) -----------------------------------------------

uint32_t g_label_counter = 0;

StatementMarkContext g_mark_context;
bool g_marking = true;
bool g_have_mark = false;
StatementMark g_last_mark;

std::function<void(ADDR24, ADDR24, int)> g_listing;

std::vector<LoopEntry> g_loops;

bool positions_suppressed()
{
    return g_mark_context.source_positions_suppressed &&
           g_mark_context.source_positions_suppressed();
}

bool debugging_code_on()
{
    return g_mark_context.function_options && (g_mark_context.function_options() & 0x10) != 0;
}

int code_listing_kind()
{
    const bool bios = g_mark_context.compiling_bios ? g_mark_context.compiling_bios()
                                                    : IsCompilingBios();
    return bios ? kListBiosCode : kListProgramCode;
}

ADDR24 code_address() { return current_code_cache().current; }

std::string file_name()
{
    const char *name = get_error_file_name();
    return name ? name : "";
}

}  // namespace

// ---- unique labels ----------------------------------------------------------------------------

// prefix, "__QB", eight hex digits of the counter: at most 32 characters, so the prefix keeps
// at most 20 (a longer prefix would cost digits of the counter, and with them uniqueness).
std::string make_unique_label(const char *prefix)
{
    char label[kMaxIdentifier + 1];
    std::snprintf(label, sizeof label, "%.20s__QB%08X", prefix ? prefix : "",
                  static_cast<unsigned>(g_label_counter));
    ++g_label_counter;
    return label;
}

void reset_unique_labels() { g_label_counter = 0; }
uint32_t unique_label_counter() { return g_label_counter; }

// ---- statement marks --------------------------------------------------------------------------

void set_statement_mark_context(StatementMarkContext context) { g_mark_context = std::move(context); }
void set_statement_marking(bool on) { g_marking = on; }
bool statement_marking() { return g_marking; }
StatementMark last_statement_mark() { return g_last_mark; }

void reset_statement_marks()
{
    g_have_mark = false;
    g_last_mark = StatementMark{};
}

void record_statement(uint16_t line, uint16_t column)
{
    if (column == 0)
        column = current_column();
    if (g_have_mark && line == g_last_mark.line && column == g_last_mark.column) {
        g_last_mark.address = code_address();
        return;
    }
    if (!positions_suppressed()) {
        if (!debugging_code_on()) {
            breakpoint_tables().addSourceEntry(SourceTable::Statement, file_name(), line, column,
                                               code_address());
        } else {
            // Two statements must never share one hook address.
            if (g_have_mark && addr_equal(code_address(), g_last_mark.address))
                outasm("nop");
            const ADDR24 start = code_address();
            emit_code_byte(kDebugRstOpcode);
            record_listing_range(start, code_address(), code_listing_kind());
            breakpoint_tables().markStatementPosition(SourceTable::Line, file_name(), line,
                                                      column, code_address());
        }
    }
    g_have_mark = true;
    g_last_mark = StatementMark{line, column, code_address()};
}

void mark_statement_here(uint16_t column)
{
    if (!g_marking)
        return;
    skip_blanks_across_lines();
    record_statement(current_line(), column);
}

// ---- listing records --------------------------------------------------------------------------

void record_listing_range(ADDR24 start, ADDR24 end, int kind)
{
    if (g_listing)
        g_listing(start, end, kind);
}

void set_listing_recorder(std::function<void(ADDR24, ADDR24, int)> recorder)
{
    g_listing = std::move(recorder);
}

// ---- loop stack -------------------------------------------------------------------------------

void push_loop(const uint16_t pair[2])
{
    if (static_cast<int>(g_loops.size()) >= kMaxActiveLoops) {
        error_here(msg(kMsgTooManyActiveWhiles));
        return;
    }
    g_loops.push_back(LoopEntry{pair[0], pair[1]});
}

std::optional<LoopEntry> top_loop()
{
    if (g_loops.empty()) {
        error_here(msg(kMsgNoActiveWhiles));
        return std::nullopt;
    }
    return g_loops.back();
}

std::optional<LoopEntry> pop_loop()
{
    std::optional<LoopEntry> top = top_loop();
    if (top)
        g_loops.pop_back();
    return top;
}

int loop_depth() { return static_cast<int>(g_loops.size()); }
void reset_loop_stack() { g_loops.clear(); }

// ---- scanner utilities ------------------------------------------------------------------------

int at_statement_end()
{
    skip_blanks_across_lines();
    const char c = *input_pointer();
    return c == ';' || c == '\0';
}

std::size_t prefix_length(const char *text, const char *prefix)
{
    if (!text || !prefix)
        return 0;
    const std::size_t n = std::strlen(prefix);
    return std::strncmp(text, prefix, n) == 0 ? n : 0;
}

char skip_blanks()
{
    while (*input_pointer() == ' ' || *input_pointer() == '\t')
        advance_input(1);
    return *input_pointer();
}

char peek_next_char()
{
    const char *p = input_pointer();
    return *p ? p[1] : '\0';
}

namespace {

// Consumes the character under the pointer, noting it for bracket matching.
void consume_noted()
{
    note_bracket(*input_pointer(), current_line(), current_column());
    advance_input(1);
}

bool token_class(unsigned char c) { return char_class(c) & (kClassIdentChar | kClassPeriod); }

}  // namespace

// A name or number runs over the token classes (a lead byte takes its trail byte along);
// anything else runs up to the next token character. Blanks after it are skipped.
void skip_token()
{
    const auto at = [] { return static_cast<unsigned char>(*input_pointer()); };
    if (at() && (char_class(at()) & kClassIdentChar)) {
        while (at() && token_class(at())) {
            const bool lead = char_class(at()) & kClassLead;
            consume_noted();
            if (lead && at())
                consume_noted();
        }
    } else {
        while (at() && !token_class(at()))
            consume_noted();
    }
    if (at() && at() <= ' ')
        skip_blanks_across_lines();
}

int match_text(const char *text)
{
    const std::size_t n = text ? std::strlen(text) : 0;
    const char *p = input_pointer();
    if (n == 0 || std::strncmp(p, text, n) != 0)
        return 0;
    if (is_identifier_char(static_cast<unsigned char>(text[n - 1])) &&
        is_identifier_char(static_cast<unsigned char>(p[n])))
        return 0;
    for (std::size_t i = 0; i < n; ++i)
        consume_noted();
    return 1;
}

void expect_text(const char *text)
{
    skip_blanks_across_lines();
    if (!match_text(text))
        report_missing(text);
}

void report_missing(const char *text) { error_here(msg(kMsgMissingExpected), text); }
void report_previously_defined(const char *name) { error_here(msg(kMsgPreviouslyDefinedName), name); }
void report_missing_char(char c) { error_here(msg(kMsgMissingCharacter), c); }
uint16_t statement_column() { return current_column(); }
