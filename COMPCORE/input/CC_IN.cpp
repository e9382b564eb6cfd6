// CC_IN: from physical lines to the characters the lexer reads.
// read_raw_char -> read_logical_line (comments, blanks, continuation lines, literals) ->
// next_active_line (conditional sections) -> dispatch_directive (directive lines) ->
// expand_macros (the rest), leaving the lexer's input pointer on a line whose every character
// has its source line and column in two parallel maps. The reporters read those maps.
// Macro expansion keeps its entry and exit markers out of band, in cells beside the characters,
// so no byte of the user's text can be taken for one.
#include "CC_IN.h"

#include "codegen/CC_ASM.h"
#include "codegen/CC_ASMTAB.h"
#include "parser/CC_DECL.h"
#include "parser/CC_DIRECT.h"
#include "driver/CC_DUM.h"
#include "core/CC_ER.h"
#include "CC_GLINE.h"
#include "parser/CC_HIER.h"
#include "parser/CC_INASM.h"
#include "core/CC_STAB.h"
#include "linker/ORIGINS.h"
#include "core/SEAM_CODEGEN.h"
#include "BoundedFormat.h"
#include "StringResources.h"
#include "core/guiExceptions.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <exception>
#include <string>

namespace {

constexpr const char *kUnitName = "COMPCORE\\CC_IN";
constexpr char kEsc = 27;

// ---------------------------------------------------------------------------------------------
// Lexer state and the current line.

struct Lexer {
    const char *ptr = "";
    const char *line_start = "";
    uint16_t column = 0;
    bool eoi = false;
    bool no_cross = false;
    const ExpandableBuffer<unsigned short> *line_map = nullptr;
    const ExpandableBuffer<unsigned short> *column_map = nullptr;
};
Lexer g_lex;

ExpandableBuffer<char> g_line;                 // the logical line
ExpandableBuffer<unsigned short> g_line_map;   // its source lines
ExpandableBuffer<unsigned short> g_col_map;    // its source columns
ExpandableBuffer<char> g_exp;                  // the expanded line
ExpandableBuffer<unsigned short> g_exp_lines;
ExpandableBuffer<unsigned short> g_exp_cols;
ExpandableBuffer<unsigned short> g_recorded_lines;  // positions of a recorded assembly line
ExpandableBuffer<unsigned short> g_recorded_cols;

// Raw-line state of read_raw_char.
struct RawLine {
    bool have = false;
    std::string text;
    std::size_t index = 0;
    uint16_t line = 0;
    uint16_t column_base = 0;
};
RawLine g_raw;
bool g_hold = false;
uint16_t g_asm_context = 1;

ifdef_stack_t g_ifdefs;

// Reporter state.
uint16_t g_compile_mode = 0;
bool g_reporting = true;
uint16_t g_serious_on = 1;
uint16_t g_trivial_on = 1;
uint16_t g_fatal = 0;

// Directive state.
DirectiveHandlers g_handlers;
uint16_t g_no_ix = 0;
uint16_t g_function_number = 0;
uint8_t g_data_wait = 0;
uint8_t g_origin_switch = 1;
bool g_board_type_permission = false;
struct NowarnRecord {
    uint16_t saved_trivial = 1;
    uint16_t saved_serious = 1;
    uint16_t end_line = 0;
    bool region_open = false;
    std::string file;
    uint16_t line = 0;
    uint16_t column = 0;
};
NowarnRecord g_nowarn;

MacroSymbolTable<macroinfo> g_macros;
std::function<void(std::string_view)> g_macro_recorder;
std::function<void(uint16_t)> g_progress;

void set_current_maps(const ExpandableBuffer<unsigned short> *lines,
                      const ExpandableBuffer<unsigned short> *cols) {
    g_lex.line_map = lines;
    g_lex.column_map = cols;
}

// ---------------------------------------------------------------------------------------------
// Reporting.

[[noreturn]] void throw_watch(const std::string &text) {
    std::string summary;
    split_message(text.c_str(), summary, nullptr);
    throw xWatch(summary.c_str(), kUnitName, __LINE__);
}

void warning_v(int level, const char *format, va_list args) {
    if (!g_reporting)
        return;
    std::string text;
    if (level == 1) {
        text = bounded_vformat(format, args);
    } else {
        // Trivial warnings use the standard formatter (it knows "%.*s").
        char buf[1024];
        std::vsnprintf(buf, sizeof buf, format, args);
        text = buf;
    }
    if (level == 1 ? !g_serious_on : !g_trivial_on)
        return;
    if (g_compile_mode == 0) {
        report_warning(level, current_line(), current_column(), "%s", text.c_str());
        return;
    }
    if (g_compile_mode == 2) {
        note_error_seen();
        throw_watch(text);
    }
}

// Identifier at p (letters, digits, underscore); returns its length.
std::size_t ident_length(const char *p) {
    if (!is_ident_start(*p))
        return 0;
    std::size_t n = 1;
    while (is_ident_char(p[n]))
        ++n;
    return n;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Buffers

bool expandable_buffer_limit_reached() {
    fatal_here(msg(463));
    return false;
}

// ---------------------------------------------------------------------------------------------
// Character classes and lexer primitives.

// One identifier rule for the preprocessor and the scanner: the character classes of the symbol
// tables, where bytes from 128 up (and most control codes) are letters.
bool is_ident_start(char c) { return is_identifier_start(static_cast<unsigned char>(c)); }
bool is_ident_char(char c) { return is_identifier_char(static_cast<unsigned char>(c)); }
bool is_blank_char(char c) { return c == ' ' || c == '\t' || c == '\f' || c == 0x1A; }

const char *input_pointer() { return g_lex.ptr; }
void set_input_pointer(const char *p) {
    g_lex.ptr = p ? p : "";
    g_lex.line_start = g_lex.ptr;
    g_lex.column = 0;
}
void advance_input(std::size_t count) {
    for (std::size_t i = 0; i < count && *g_lex.ptr; ++i) {
        ++g_lex.ptr;
        ++g_lex.column;
    }
}
const char *line_start() { return g_lex.line_start; }
uint16_t input_column() { return g_lex.column; }
bool end_of_input() { return g_lex.eoi; }
void clear_end_of_input() { g_lex.eoi = false; }
void set_no_line_crossing(bool on) { g_lex.no_cross = on; }
bool no_line_crossing() { return g_lex.no_cross; }

void clear_line() {
    g_line.reset();
    g_line_map.reset();
    g_col_map.reset();
    set_current_maps(&g_line_map, &g_col_map);
    set_input_pointer(g_line.data());
}

void fetch_next_line() {
    next_active_line();
}

void read_all_lines(const std::function<void(const char *line)> &each) {
    for (;;) {
        fetch_next_line();
        dispatch_directive();
        if (*g_lex.ptr)
            each(g_lex.ptr);
        if (g_lex.eoi)
            break;
    }
    check_open_conditionals();
    report_unmatched_brackets();
}

LexerPlace lexer_place() {
    return LexerPlace{g_lex.ptr, g_lex.line_start, g_lex.column, g_lex.line_map, g_lex.column_map};
}

void restore_lexer_place(const LexerPlace &place) {
    g_lex.ptr = place.ptr;
    g_lex.line_start = place.line_start;
    g_lex.column = place.column;
    set_current_maps(place.line_map, place.column_map);
}

void point_lexer_at_recorded_line(const AsmLineText &line, std::size_t at) {
    const std::size_t n = line.text.size();
    if (line.lines.size() == n && line.columns.size() == n && n > 0) {
        g_recorded_lines.reset();
        g_recorded_cols.reset();
        if (g_recorded_lines.append(line.lines.data(), n) &&
            g_recorded_cols.append(line.columns.data(), n))
            set_current_maps(&g_recorded_lines, &g_recorded_cols);
    }
    set_input_pointer(line.text.c_str());
    advance_input(at);
}

void skip_blanks_across_lines() {
    for (;;) {
        while (is_blank_char(*g_lex.ptr))
            advance_input(1);
        if (*g_lex.ptr || g_lex.no_cross || g_lex.eoi)
            return;
        fetch_next_line();
        if (g_lex.eoi)
            return;
        dispatch_directive();
    }
}

char next_char() {
    if (!*g_lex.ptr) {
        if (g_lex.no_cross || g_lex.eoi)
            return 0;
        skip_blanks_across_lines();
        if (!*g_lex.ptr)
            return 0;
    }
    char c = *g_lex.ptr;
    note_bracket(c, current_line(), current_column());
    advance_input(1);
    return c;
}

int match_keyword(const char *word) {
    std::size_t n = std::strlen(word);
    if (n == 0 || std::strncmp(g_lex.ptr, word, n) != 0)
        return 0;
    if (is_ident_char(word[n - 1]) && is_ident_char(g_lex.ptr[n]))
        return 0;
    advance_input(n);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Reporters.

const char *msg(uint32_t id) {
    std::string_view text = string_resource(id);
    return text.empty() ? "" : text.data();
}

namespace {

// The map entry of the character at the input pointer (the last entry past the end); 1 when
// there is no map or the entry is 0.
uint16_t map_entry_here(const ExpandableBuffer<unsigned short> *map) {
    if (!map || map->length() == 0)
        return 1;
    std::size_t index = static_cast<std::size_t>(g_lex.ptr - g_lex.line_start);
    if (index >= map->length())
        index = map->length() - 1;
    unsigned short v = (*map)[index];
    return v ? v : 1;
}

} // namespace

uint16_t current_line() { return map_entry_here(g_lex.line_map); }
uint16_t current_column() { return map_entry_here(g_lex.column_map); }

void serious_warning_here(const char *format, ...) {
    va_list args;
    va_start(args, format);
    warning_v(1, format, args);
    va_end(args);
}

void trivial_warning_here(const char *format, ...) {
    va_list args;
    va_start(args, format);
    warning_v(0, format, args);
    va_end(args);
}

void error_here(const char *format, ...) {
    va_list args;
    va_start(args, format);
    error_at_v(current_line(), current_column(), format, args);
    va_end(args);
}

void error_at(int line, int column, const char *format, ...) {
    va_list args;
    va_start(args, format);
    error_at_v(line, column, format, args);
    va_end(args);
}

void error_at_v(int line, int column, const char *format, va_list args) {
    if (!g_reporting)
        return;
    std::string text = bounded_vformat(format, args);
    if (g_compile_mode != 0) {
        note_error_seen();
        throw_watch(text);
    }
    if (report_error(line, column, "%s", text.c_str()) &&
        message_record_count() >= kMaxMessageRecords)
        throw xCCErrOvflo(kUnitName, __LINE__);
}

void fatal_here(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = bounded_vformat(format, args);
    va_end(args);
    fatal_error_at(current_line(), current_column(), "%s", text.c_str());
}

void fatal_error_at(int line, int column, const char *format, ...) {
    if (g_fatal)
        return;
    va_list args;
    va_start(args, format);
    std::string text = bounded_vformat(format, args);
    va_end(args);
    ++g_fatal;
    if (g_compile_mode != 0) {
        note_error_seen();
        throw_watch(text);
    }
    report_error(line, column, "%s", text.c_str());
    set_fatal_error_flag(true);
    throw xCCErrOvflo(kUnitName, __LINE__);
}

void report_bracket_error(int line, int column, const char *format, ...) {
    if (!g_reporting)
        return;
    va_list args;
    va_start(args, format);
    std::string text = bounded_vformat(format, args);
    va_end(args);
    if (g_compile_mode != 0) {
        note_error_seen();
        throw_watch(text);
    }
    bool was = always_record();
    set_always_record(true);
    report_error(line, column, "%s", text.c_str());
    set_always_record(was);
}

uint16_t compile_mode_word() { return g_compile_mode; }
void set_compile_mode_word(uint16_t mode) { g_compile_mode = mode; }
void set_reporting(bool on) { g_reporting = on; }
bool reporting() { return g_reporting; }
void set_warning_switches(uint16_t serious, uint16_t trivial) {
    g_serious_on = serious;
    g_trivial_on = trivial;
}
uint16_t serious_warning_switch() { return g_serious_on; }
uint16_t trivial_warning_switch() { return g_trivial_on; }
uint16_t fatal_flag() { return g_fatal; }

void input_file_changed(const std::string &name, uint16_t flag) {
    set_error_file_name(name.empty() ? nullptr : name.c_str(), static_cast<uint8_t>(flag & 1));
}

void set_progress_reporter(std::function<void(uint16_t)> reporter) {
    g_progress = std::move(reporter);
}
std::function<void(uint16_t)> progress_reporter() { return g_progress; }
void show_compile_progress(uint16_t line) {
    if (g_progress)
        g_progress(line);
}

// "__FILE__" holds the name between double quotes with every backslash doubled.
static std::string quoted_file_name(const char *name) {
    std::string text = "\"";
    for (const char *p = name ? name : ""; *p; ++p) {
        text += *p;
        if (*p == '\\')
            text += '\\';
    }
    return text + "\"";
}

void update_builtin_macros(bool line_only, int line, bool from_file_change) {
    if (line_only) {
        replace_macro_text("__LINE__", std::to_string(line));
        return;
    }
    if (!from_file_change) {
        std::time_t now = std::time(nullptr);
        std::tm local{};
        char date[64] = "";
        char time_text[64] = "";
        bool ok = localtime_r(&now, &local) != nullptr;
        if (!ok || std::strftime(date, sizeof date, "\"%b %d %Y\"", &local) == 0)
            std::strcpy(date, "\"\"");
        if (!ok || std::strftime(time_text, sizeof time_text, "\"%H:%M:%S\"", &local) == 0)
            std::strcpy(time_text, "\"\"");
        replace_macro_text("__DATE__", date);
        replace_macro_text("__TIME__", time_text);
        replace_macro_text("__FILE__", quoted_file_name(program_file().c_str()));
        return;
    }
    const char *name = get_compiled_file_name();
    replace_macro_text("__FILE__", quoted_file_name(name));
}

// ---------------------------------------------------------------------------------------------
// Logical lines.

void set_asm_context(uint16_t word) { g_asm_context = word; }
uint16_t asm_context() { return g_asm_context; }
void set_line_hold() { g_hold = true; }
const ExpandableBuffer<char> &logical_line() { return g_line; }
const ExpandableBuffer<unsigned short> &logical_line_map() { return g_line_map; }
const ExpandableBuffer<unsigned short> &logical_column_map() { return g_col_map; }

// Every physical line yields its characters (trailing blanks cut) and then one character 0.
CharRecord &read_raw_char(CharRecord &rec) {
    if (!g_raw.have) {
        if (g_lex.eoi) {
            rec = {0, g_raw.line, static_cast<uint16_t>(g_raw.index + 1 + g_raw.column_base)};
            return rec;
        }
        const char *text = get_source_line();
        if (!text) {
            g_lex.eoi = true;
            rec = {0, g_raw.line, static_cast<uint16_t>(g_raw.index + 1 + g_raw.column_base)};
            return rec;
        }
        g_raw.text = text;
        while (!g_raw.text.empty() && is_blank_char(g_raw.text.back()))
            g_raw.text.pop_back();
        g_raw.have = true;
        g_raw.index = 0;
        g_raw.line = input_line_number();
        g_raw.column_base = input_column_offset();
        update_builtin_macros(true, g_raw.line, false);
    }
    char c = g_raw.index < g_raw.text.size() ? g_raw.text[g_raw.index] : 0;
    rec = {c, g_raw.line, static_cast<uint16_t>(g_raw.index + 1 + g_raw.column_base)};
    if (c == 0)
        g_raw.have = false;
    else
        ++g_raw.index;
    return rec;
}

namespace {

bool append_char(const CharRecord &r) {
    return g_line.append(r.ch) && g_line_map.append(r.line) && g_col_map.append(r.column);
}

bool append_char(char c, const CharRecord &pos) {
    CharRecord r = pos;
    r.ch = c;
    return append_char(r);
}

bool line_starts_c_statement() {
    return g_line.length() >= 2 && (g_line[0] == 'c' || g_line[0] == 'C') && !is_ident_char(g_line[1]);
}

} // namespace

void read_logical_line() {
    if (g_hold) {
        g_hold = false;
        return;
    }
    g_line.reset();
    g_line_map.reset();
    g_col_map.reset();
    char prev = ' ';
    bool asm_line = false;
    int nonblank = 0;
    char first3[3] = {0, 0, 0};
    CharRecord r;
    CharRecord next;
    bool pending = false; // `next` holds a character read ahead
    auto get = [&](CharRecord &out) -> CharRecord & {
        if (pending) {
            pending = false;
            out = next;
            return out;
        }
        return read_raw_char(out);
    };
    for (;;) {
        get(r);
        if (r.ch == 0)
            break;
        char c = r.ch;
        bool in_asm = g_asm_context == 0;
        if (c == '/') {
            CharRecord n;
            read_raw_char(n);
            if (n.ch == '*') {
                match_bracket(8, r.line, r.column);
                (void)append_char(' ', r);
                char last = 0;
                CharRecord k;
                bool closed = false;
                while (!g_lex.eoi) {
                    read_raw_char(k);
                    if (last == '*' && k.ch == '/') {
                        closed = true;
                        break;
                    }
                    last = k.ch;
                }
                if (closed)
                    match_bracket(9, k.line, k.column);
                prev = ' ';
                continue;
            }
            if (n.ch == '/') {
                (void)append_char(' ', r);
                CharRecord k;
                for (;;) {
                    read_raw_char(k);
                    if (k.ch == 0)
                        break;
                    if (k.ch == '\\') {
                        read_raw_char(k); // the escaped character, possibly the line end
                    }
                }
                break;
            }
            (void)append_char(r);
            prev = '/';
            if (n.ch == 0)
                break;
            next = n;
            pending = true;
            continue;
        }
        if ((c == '"' || c == '\'') && prev != '\\') {
            (void)append_char(r);
            prev = c;
            if (c == '\'' && (in_asm || asm_line)) {
                std::string_view so_far(g_line.data(), g_line.length());
                if (is_register_apostrophe(so_far))
                    continue;
            }
            bool line_ended = false;
            CharRecord k;
            for (;;) {
                read_raw_char(k);
                if (k.ch == 0) {
                    line_ended = true;
                    break;
                }
                if (k.ch == '\\') {
                    CharRecord e;
                    read_raw_char(e);
                    if (e.ch == 0)
                        continue; // a backslash at the line end joins the next physical line
                    (void)append_char(k);
                    (void)append_char(e);
                    continue;
                }
                (void)append_char(k);
                if (k.ch == c)
                    break;
            }
            if (line_ended)
                break;
            prev = c;
            continue;
        }
        if (c == ';' && in_asm && !line_starts_c_statement()) {
            CharRecord k;
            do
                read_raw_char(k);
            while (k.ch != 0);
            break;
        }
        if (c == '\\') {
            CharRecord n;
            read_raw_char(n);
            if (n.ch == 0)
                continue; // continuation: the line goes on with the next physical line
            (void)append_char(r);
            (void)append_char(n);
            prev = n.ch;
            continue;
        }
        if (is_blank_char(c)) {
            if (!is_blank_char(prev))
                (void)append_char(' ', r);
            prev = c;
            continue;
        }
        (void)append_char(r);
        prev = c;
        if (nonblank < 3) {
            first3[nonblank++] = c;
        } else if (nonblank == 3) {
            ++nonblank;
        }
        if (nonblank == 3 && first3[0] == 'a' && first3[1] == 's' && first3[2] == 'm') {
            CharRecord n;
            read_raw_char(n);
            if (is_blank_char(n.ch) || n.ch == 0)
                asm_line = true;
            if (n.ch == 0)
                break;
            next = n;
            pending = true;
            ++nonblank;
        }
    }
    set_current_maps(&g_line_map, &g_col_map);
    set_input_pointer(g_line.data());
}

// The operand before the apostrophe starts after the last blank or comma. The assembler's own
// scanner reads it: an apostrophe right after a register name ("af'") belongs to the register.
// The scanner reports and gives up on bytes it cannot read and takes a digit for a number, so
// operands that cannot be a register are answered here without it.
int is_register_apostrophe(std::string_view text) {
    if (text.empty() || text.back() != '\'')
        return 0;
    std::size_t start = text.find_last_of(" \t,", text.size() - 1);
    start = start == std::string_view::npos ? 0 : start + 1;
    std::string operand(text.substr(start));
    if (operand.size() == 1)
        return 0; // the apostrophe itself: a literal opens
    for (char c : operand)
        if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E)
            return 0;
    if (!is_ident_start(operand[0]) && operand[0] != '(')
        return 0; // a number, a string or an operator is no register
    if (operand.find(';') != std::string::npos || operand.find("//") != std::string::npos)
        return 0; // the scanner would stop there: no register stands right before the apostrophe
    asm_scan_begin(operand.c_str());
    int token = next_asm_token();
    if (token == '\'')
        return 0;
    int code = asm_register_code();
    token = next_asm_token();
    if (token == '\'')
        return code >= 0 ? 1 : 0;
    // An apostrophe further on ("c ch='x';", "(hl)'") does not follow a register: it opens a
    // literal. Only a scan that lost the apostrophe altogether is our fault.
    if (token == kTokEnd)
        error_here(msg(665));
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Conditional sections.

Ifdef_Info::Ifdef_Info(uint8_t st) : state(st) {
    line = current_line();
    column = current_column();
    file = std::make_shared<const std::string>(input_file_name());
}

ifdef_stack_t &ifdef_stack() { return g_ifdefs; }

void check_open_conditionals() {
    ifdef_stack_t copy = g_ifdefs;
    g_ifdefs.clear();
    while (!copy.empty()) {
        const Ifdef_Info &rec = copy.back();
        report_error_in_file(rec.line, rec.column, rec.file ? rec.file->c_str() : "", "%s",
                             msg(2145));
        copy.pop_back();
    }
}

namespace {

// The condition of "#if" or "#elif": the constant expression on the rest of the line, after its
// macros are expanded; all 32 bits of it count. Text left behind it is an error of its own when
// the expression reported none. Code that a faulty condition compiles is thrown away.
bool directive_condition() {
    set_no_line_crossing(true);
    expand_macros();
    const int reports = errors_seen();
    uint32_t value = 0;
    {
        DiscardedCode discarded;
        value = parse_long_constant_expression();
    }
    while (is_blank_char(*g_lex.ptr))
        advance_input(1);
    if (*g_lex.ptr && errors_seen() == reports)
        error_here(msg(kMsgExprInvalid));
    set_no_line_crossing(false);
    return value != 0;
}

bool top_inactive() { return !g_ifdefs.empty() && g_ifdefs.back().state == 0; }

std::string read_identifier_here() {
    while (is_blank_char(*g_lex.ptr))
        advance_input(1);
    std::size_t n = ident_length(g_lex.ptr);
    std::string name(g_lex.ptr, n);
    advance_input(n);
    return name;
}

// A record of the group branch that the directive at the start of the current line opens.
Ifdef_Info directive_record(uint8_t state) {
    const char *at = g_lex.ptr;
    g_lex.ptr = g_lex.line_start;
    Ifdef_Info rec(state);
    g_lex.ptr = at;
    return rec;
}

// "#else" and "#elif": the group's next branch.
void next_branch(bool is_elif) {
    if (g_ifdefs.empty()) {
        error_here(msg(430));
        return;
    }
    Ifdef_Info popped = g_ifdefs.back();
    g_ifdefs.pop_back();
    if (top_inactive()) {
        Ifdef_Info rec = directive_record(0);
        rec.taken = 1;
        g_ifdefs.push_back(rec);
        return;
    }
    if (popped.state == 1 || popped.taken) {
        Ifdef_Info rec = directive_record(0);
        rec.taken = 1;
        g_ifdefs.push_back(rec);
        return;
    }
    if (!is_elif) {
        Ifdef_Info rec = directive_record(1);
        rec.taken = 1;
        g_ifdefs.push_back(rec);
        return;
    }
    Ifdef_Info rec = directive_record(0);
    bool on = directive_condition();
    rec.state = on ? 1 : 0;
    rec.taken = on ? 1 : 0;
    g_ifdefs.push_back(rec);
}

} // namespace

void next_active_line() {
    for (;;) {
        read_logical_line();
        set_current_maps(&g_line_map, &g_col_map);
        set_input_pointer(g_line.data());
        if (*g_lex.ptr != '#') {
            if (!top_inactive() || g_lex.eoi)
                return;
            continue;
        }
        if (g_lex.eoi)
            return;
        bool inactive = top_inactive();
        bool ifdef = match_keyword("#ifdef");
        if (ifdef || match_keyword("#ifndef")) {
            if (inactive) {
                g_ifdefs.push_back(directive_record(0));
                continue;
            }
            Ifdef_Info rec = directive_record(0);
            std::string name = read_identifier_here();
            if (name.empty()) {
                error_here(msg(573));
                rec.state = ifdef ? 0 : 1;
            } else {
                bool defined = find_macro_value(name) != nullptr;
                rec.state = (defined == ifdef) ? 1 : 0;
            }
            rec.taken = rec.state;
            g_ifdefs.push_back(rec);
            continue;
        }
        if (match_keyword("#if")) {
            Ifdef_Info rec = directive_record(0);
            if (!inactive) {
                rec.state = directive_condition() ? 1 : 0;
                rec.taken = rec.state;
            }
            g_ifdefs.push_back(rec);
            continue;
        }
        if (match_keyword("#else")) {
            next_branch(false);
            continue;
        }
        if (match_keyword("#elif")) {
            next_branch(true);
            continue;
        }
        if (match_keyword("#endif")) {
            if (g_ifdefs.empty()) {
                if (g_compile_mode == 0)
                    error_here(msg(430));
            } else {
                g_ifdefs.pop_back();
            }
            continue;
        }
        set_input_pointer(g_line.data());
        if (!inactive)
            return;
    }
}

// ---------------------------------------------------------------------------------------------
// Macro table.

uint32_t macro_name_hash(std::string_view name) {
    uint32_t h = 0;
    for (char c : name) {
        h = (h << 4) + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
        uint32_t g = h & 0xF0000000u;
        if (g)
            h ^= g >> 24;
        h &= ~g;
    }
    return h;
}

template <typename Info>
std::size_t MacroSymbolTable<Info>::bucket_of(std::string_view name) {
    return macro_name_hash(name) % kBuckets;
}

template <typename Info>
Info *MacroSymbolTable<Info>::find(std::string_view name) {
    for (auto &sym : m_buckets[bucket_of(name)])
        if (sym.name == name)
            return sym.info.get();
    return nullptr;
}

template <typename Info>
Info *MacroSymbolTable<Info>::add(std::string_view name, std::unique_ptr<Info> info) {
    auto &bucket = m_buckets[bucket_of(name)];
    bucket.push_back({std::string(name), std::move(info)});
    ++m_count;
    return bucket.back().info.get();
}

template <typename Info>
bool MacroSymbolTable<Info>::remove(std::string_view name) {
    auto &bucket = m_buckets[bucket_of(name)];
    for (auto it = bucket.begin(); it != bucket.end(); ++it) {
        if (it->name == name) {
            bucket.erase(it);
            --m_count;
            return true;
        }
    }
    return false;
}

template <typename Info>
void MacroSymbolTable<Info>::clear() {
    for (auto &bucket : m_buckets)
        bucket.clear();
    m_count = 0;
}

template <typename Info>
MacroSymbolTable<Info>::MacroSymbolTable(const MacroSymbolTable &other) : m_buckets(kBuckets) {
    *this = other;
}

template <typename Info>
MacroSymbolTable<Info> &MacroSymbolTable<Info>::operator=(const MacroSymbolTable &other) {
    if (this == &other)
        return *this;
    clear();
    for (std::size_t b = 0; b < kBuckets; ++b)
        for (const auto &sym : other.m_buckets[b])
            m_buckets[b].push_back({sym.name, std::make_unique<Info>(*sym.info)});
    m_count = other.m_count;
    return *this;
}

template class MacroSymbolTable<macroinfo>;

MacroSymbolTable<macroinfo> &macro_table() { return g_macros; }

void set_macro_listing_recorder(std::function<void(std::string_view)> recorder) {
    g_macro_recorder = std::move(recorder);
}

namespace {

// A macro named like one of the assembler's registers hides that register in "#asm" text.
bool is_register_name(std::string_view name) {
    for (const reg_type &r : kAsmRegisterTable)
        if (*r.name && name == r.name)
            return true;
    return false;
}

std::string_view trim_blanks(std::string_view text) {
    while (!text.empty() && is_blank_char(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank_char(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

bool define_macro(std::string_view name, std::string_view text, uint16_t param_count,
                  uint8_t function_like) {
    if (g_macro_recorder)
        g_macro_recorder(name);
    std::string name_text(name);
    if (is_register_name(name))
        trivial_warning_here(msg(2097), name_text.c_str());
    text = trim_blanks(text);
    if (macroinfo *old = g_macros.find(name)) {
        if (old->text == text && old->param_count == param_count &&
            old->function_like == function_like)
            return true;
        trivial_warning_here(msg(2098), name_text.c_str());
        return false;
    }
    auto info = std::make_unique<macroinfo>();
    info->param_count = param_count;
    info->function_like = function_like;
    info->text = std::string(text);
    g_macros.add(name, std::move(info));
    return true;
}

void undefine_macro(std::string_view name) {
    if (name == "__LINE__" || name == "__FILE__" || name == "__TIME__" || name == "__DATE__") {
        error_here(msg(2099), std::string(name).c_str());
        return;
    }
    g_macros.remove(name);
}

void replace_macro_text(std::string_view name, std::string_view text) {
    macroinfo *info = g_macros.find(name);
    if (!info) {
        auto fresh = std::make_unique<macroinfo>();
        fresh->text = std::string(text);
        g_macros.add(name, std::move(fresh));
        return;
    }
    info->param_count = 0;
    info->function_like = 0;
    info->text = std::string(text);
}

macroinfo *find_macro_value(std::string_view name) { return g_macros.find(name); }

void install_predefined_macros(const PredefinedMacroContext &ctx) {
    reset_macro_expansion();
    if (!ctx.bios_compile)
        return;
    g_macros.clear();
    static constexpr const char *kCpus[] = {"Z180", "F80", "I8086", "I80186", "I80286", "I80386"};
    for (int i = 0; i < 6; ++i)
        define_macro(kCpus[i], std::to_string(i));
    int cpu = ctx.cpu_selector >= 0 && ctx.cpu_selector < 6 ? ctx.cpu_selector : 1;
    define_macro("TARGETCPU", kCpus[cpu]);
    define_macro("NO_BIOS", ctx.bios_present ? "0" : "1");
    define_macro("DEBUG_RST", ctx.debug_rst_state == 1 ? "0" : "1");
    define_macro("_TARGETLESS_COMPILE_", ctx.targetless ? "1" : "0");
}

// ---------------------------------------------------------------------------------------------
// Macro definition.

void handle_define_directive() {
    if (g_asm_context != 1)
        error_here(msg(2095));
    while (is_blank_char(*g_lex.ptr))
        advance_input(1);
    std::size_t n = ident_length(g_lex.ptr);
    std::string name(g_lex.ptr, n);
    if (n == 0) {
        std::string bad;
        for (const char *p = g_lex.ptr; *p && !is_blank_char(*p) && bad.size() < 32; ++p)
            bad += *p;
        error_here(msg(490), bad.c_str());
        return;
    }
    advance_input(n);
    if (name == "__FILE__" || name == "__LINE__" || name == "__DATE__" || name == "__TIME__") {
        error_here(msg(490), name.c_str());
        return;
    }
    if (name == "_BOARD_TYPE_" && !g_board_type_permission)
        error_here(msg(2165));
    std::vector<std::string> params;
    uint8_t function_like = 0;
    if (*g_lex.ptr == '(') {
        function_like = 1;
        advance_input(1);
        for (;;) {
            while (is_blank_char(*g_lex.ptr))
                advance_input(1);
            std::size_t len = ident_length(g_lex.ptr);
            if (len == 0) {
                if (*g_lex.ptr == ')' && params.empty())
                    break;
                error_here(msg(534));
                while (*g_lex.ptr && *g_lex.ptr != ',' && *g_lex.ptr != ')')
                    advance_input(1);
            } else {
                std::string param(g_lex.ptr, len);
                if (params.size() >= 32) {
                    error_here(msg(533), 32);
                    return;
                }
                if (std::find(params.begin(), params.end(), param) != params.end()) {
                    error_here(msg(491), param.c_str());
                    return;
                }
                params.push_back(param);
                advance_input(len);
                while (is_blank_char(*g_lex.ptr))
                    advance_input(1);
            }
            if (*g_lex.ptr == ',') {
                advance_input(1);
                continue;
            }
            break;
        }
        if (*g_lex.ptr != ')') {
            error_here(msg(758));
            return;
        }
        advance_input(1);
    }
    if (*g_lex.ptr && !is_blank_char(*g_lex.ptr)) {
        error_here(msg(2108), *g_lex.ptr);
        return;
    }
    while (is_blank_char(*g_lex.ptr))
        advance_input(1);
    std::string body;
    if (params.empty()) {
        body = g_lex.ptr;
    } else {
        // Parameters become ESC index ESC; a user ESC byte would be taken for one.
        for (const char *p = g_lex.ptr; *p;) {
            if (*p == kEsc) {
                error_here(msg(2077));
                return;
            }
            if (std::size_t len = ident_length(p)) {
                std::string word(p, len);
                auto it = std::find(params.begin(), params.end(), word);
                if (it != params.end()) {
                    body += kEsc;
                    body += std::to_string(it - params.begin());
                    body += kEsc;
                } else {
                    body += word;
                }
                p += len;
                continue;
            }
            if ((*p == '"' || *p == '\'') && !(p > g_lex.ptr && p[-1] == '\\')) {
                char q = *p;
                body += *p++;
                if (q == '\'' && is_register_apostrophe(body))
                    continue;
                while (*p && *p != q) {
                    if (*p == '\\' && p[1])
                        body += *p++;
                    body += *p++;
                }
                if (*p)
                    body += *p++;
                continue;
            }
            if (*p == '0' && (p[1] == 'x' || p[1] == 'X')) {
                body += *p++;
                body += *p++;
                while (is_ident_char(*p))
                    body += *p++;
                continue;
            }
            if (std::isdigit(static_cast<unsigned char>(*p))) {
                while (is_ident_char(*p))
                    body += *p++;
                continue;
            }
            body += *p++;
        }
    }
    advance_input(std::strlen(g_lex.ptr));
    define_macro(name, body, static_cast<uint16_t>(params.size()), function_like);
}

// ---------------------------------------------------------------------------------------------
// Macro expansion. The text being expanded is a queue of cells; each cell is a character with
// its source line and column, or an entry or exit marker of an active macro (mark -slot and
// +slot). Reading past a marker opens or closes its macro, which is not expanded while open.

namespace {

struct Cell {
    char c = 0;
    uint16_t line = 0;
    uint16_t col = 0;
    int16_t mark = 0;
};
using CellQueue = std::deque<Cell>;

constexpr int kSlots = 128;
constexpr int kMaxNestedMacroArguments = 64;
constexpr std::size_t kMaxArguments = 32;
// The position maps hold two bytes per character and may not reach 65532 bytes.
constexpr std::size_t kMaxLineCells = ExpandableBuffer<unsigned short>::kMaxBytes / 2 - 2;
// Characters produced for one source line before the expansion is taken for a runaway.
constexpr std::size_t kMaxProduced = 4'000'000;

struct ExpansionState {
    int depth = 0;
    macroinfo *slots[kSlots] = {};
    int highest = 0;
    bool prev_ended_quote = false;
    bool ordinary_line = false;
    std::size_t produced = 0;
    bool aborted = false;
};
ExpansionState g_x;

void apply_marker(int16_t mark) {
    int slot = mark < 0 ? -mark : mark;
    if (slot <= 0 || slot >= kSlots || !g_x.slots[slot])
        return;
    g_x.slots[slot]->nesting = static_cast<int16_t>(g_x.slots[slot]->nesting + (mark < 0 ? 1 : -1));
}

void clear_active_macros() {
    for (int s = g_x.highest; s > 0; --s) {
        if (g_x.slots[s])
            g_x.slots[s]->nesting = 0;
        g_x.slots[s] = nullptr;
    }
    g_x.highest = 0;
}

bool too_long(std::size_t cells) {
    if (g_x.aborted)
        return true;
    if (cells <= kMaxLineCells && g_x.produced <= kMaxProduced)
        return false;
    g_x.aborted = true;
    fatal_here(msg(463));
    return true;
}

// Appends the next logical line to the text being expanded (a macro call's argument list or the
// "(" after a function-like name may continue there). A directive line is left for the reader.
bool pull_next_line(CellQueue &in) {
    if (g_x.depth != 1 || g_lex.no_cross || g_lex.eoi)
        return false;
    read_logical_line();
    if (g_line.length() && g_line[0] == '#') {
        set_line_hold();
        return false;
    }
    if (g_lex.eoi && g_line.length() == 0)
        return false;
    Cell blank{' ', g_line_map[0], g_col_map[0], 0};
    in.push_back(blank);
    for (std::size_t i = 0; i < g_line.length(); ++i)
        in.push_back({g_line[i], g_line_map[i], g_col_map[i], 0});
    return !too_long(in.size());
}

// Takes the next character cell; markers on the way are applied and, below depth 1, copied to
// `out` so that the caller's rescan sees them again.
bool take(CellQueue &in, Cell &c, std::vector<Cell> *out, bool may_pull) {
    for (;;) {
        if (in.empty() && !(may_pull && pull_next_line(in)))
            return false;
        c = in.front();
        in.pop_front();
        if (c.mark == 0)
            return true;
        apply_marker(c.mark);
        if (out && g_x.depth > 1)
            out->push_back(c);
    }
}

// True (and "(" consumed) when the next non-blank character is "(".
bool open_paren_follows(CellQueue &in) {
    for (;;) {
        std::size_t i = 0;
        while (i < in.size() && (in[i].mark != 0 || is_blank_char(in[i].c)))
            ++i;
        if (i == in.size()) {
            if (pull_next_line(in))
                continue;
            return false;
        }
        if (in[i].c != '(')
            return false;
        for (std::size_t k = 0; k <= i; ++k) {
            if (in.front().mark)
                apply_marker(in.front().mark);
            in.pop_front();
        }
        return true;
    }
}

void copy_literal(CellQueue &in, std::vector<Cell> &out, const Cell &open, bool may_pull,
                  bool &closed) {
    out.push_back(open);
    closed = false;
    Cell c;
    while (take(in, c, &out, may_pull)) {
        out.push_back(c);
        if (c.c == '\\') {
            if (take(in, c, &out, may_pull))
                out.push_back(c);
            continue;
        }
        if (c.c == open.c) {
            closed = true;
            return;
        }
    }
}

using Argument = std::vector<Cell>;

// Collects the arguments after "(" up to the matching ")". False when the list never closes.
bool collect_arguments(CellQueue &in, std::vector<Argument> &args, bool &too_many) {
    args.assign(1, Argument{});
    int depth = 1;
    too_many = false;
    Cell c;
    while (take(in, c, nullptr, true)) {
        Argument &arg = args.back();
        if (c.c == '"' || c.c == '\'') {
            bool closed = false;
            std::vector<Cell> lit;
            copy_literal(in, lit, c, true, closed);
            if (!too_many)
                arg.insert(arg.end(), lit.begin(), lit.end());
            continue;
        }
        if (c.c == '(')
            ++depth;
        if (c.c == ')' && --depth == 0)
            break;
        if (c.c == ',' && depth == 1) {
            if (too_many)
                continue;
            if (args.size() >= kMaxArguments) {
                error_here(msg(535));
                too_many = true;
                continue;
            }
            args.emplace_back();
            continue;
        }
        if (too_many)
            continue;
        if (is_blank_char(c.c) || c.c == 0) {
            if (arg.empty() || is_blank_char(arg.back().c))
                continue;
            c.c = ' ';
        }
        arg.push_back(c);
    }
    if (depth != 0)
        return false;
    for (Argument &a : args)
        while (!a.empty() && a.back().c == ' ')
            a.pop_back();
    return !too_many;
}

void expand_cells(CellQueue &in, std::vector<Cell> &out);

// An argument is expanded one call deeper than the macro call that holds it, so the depth of
// macro calls nested in arguments is bounded like that of the calls themselves: past the
// limit the expansion stops with the language's own error.
Argument expand_argument(const Argument &arg) {
    if (g_x.depth > kMaxNestedMacroArguments) {
        if (!g_x.aborted)
            error_here(msg(539), kMaxNestedMacroArguments);
        g_x.aborted = true;
        return arg;
    }
    CellQueue q(arg.begin(), arg.end());
    std::vector<Cell> result;
    ++g_x.depth;
    expand_cells(q, result);
    --g_x.depth;
    return result;
}

// "#" before a parameter: the argument as a string literal.
void stringize(const Argument &arg, std::vector<Cell> &out, const Cell &pos) {
    auto put = [&](char ch) {
        Cell c = pos;
        c.c = ch;
        out.push_back(c);
    };
    put('"');
    char quote = 0;
    for (std::size_t i = 0; i < arg.size(); ++i) {
        char ch = arg[i].c;
        if (quote == 0) {
            if (ch == '"' || ch == '\'')
                quote = ch;
        } else if (ch == '\\') {
            put('\\');
            put(ch);
            if (i + 1 < arg.size()) {
                char e = arg[++i].c;
                if (e == '"' || e == '\\')
                    put('\\');
                put(e);
            }
            continue;
        } else if (ch == quote) {
            quote = 0;
        }
        if (ch == '"')
            put('\\');
        put(ch);
    }
    put('"');
}

// Reads "ESC index ESC" at body[i]; the parameter index, or -1.
int parameter_at(const std::string &body, std::size_t &i) {
    if (body[i] != kEsc)
        return -1;
    std::size_t k = i + 1;
    int index = 0;
    while (k < body.size() && std::isdigit(static_cast<unsigned char>(body[k])))
        index = index * 10 + (body[k++] - '0');
    if (k >= body.size() || body[k] != kEsc || k == i + 1)
        return -1;
    i = k + 1;
    return index;
}

bool paste_follows(const std::string &body, std::size_t i) {
    while (i < body.size() && is_blank_char(body[i]))
        ++i;
    return body.compare(i, 2, "##") == 0;
}

// Expands one macro call; the produced text goes back to the front of `in` to be read again.
void expand_macro_call(CellQueue &in, macroinfo *info, const Cell &name_pos) {
    std::vector<Argument> args;
    if (info->function_like) {
        bool too_many = false;
        if (!collect_arguments(in, args, too_many)) {
            if (!g_x.aborted && !too_many) {
                // Reported at the macro name: the list may have run to the end of the input.
                error_at(name_pos.line, name_pos.col, msg(492), "')'");
            }
            return;
        }
        bool fits = args.size() == info->param_count ||
                    (info->param_count == 0 && args.size() == 1 && args[0].empty());
        if (!fits) {
            error_here(msg(536));
            return;
        }
    }
    int slot = 0;
    for (int s = 1; s < kSlots; ++s) {
        if (!g_x.slots[s] || g_x.slots[s] == info) {
            slot = s;
            break;
        }
    }
    if (slot == 0) {
        error_here(msg(539), kSlots - 1);
        return;
    }
    g_x.slots[slot] = info;
    g_x.highest = std::max(g_x.highest, slot);

    std::vector<Cell> exp;
    Cell mark = name_pos;
    mark.mark = static_cast<int16_t>(-slot);
    exp.push_back(mark);
    auto put = [&](char ch) {
        Cell c = name_pos;
        c.c = ch;
        c.mark = 0;
        exp.push_back(c);
    };
    // An argument's characters keep their own source positions, so that a message about a
    // mistake inside an argument points at it rather than at the macro name.
    auto put_cells = [&](const std::vector<Cell> &cells) { exp.insert(exp.end(), cells.begin(), cells.end()); };
    const std::string &body = info->text;
    bool after_paste = false;
    for (std::size_t i = 0; i < body.size();) {
        if (body.compare(i, 2, "##") == 0) {
            while (!exp.empty() && exp.back().mark == 0 && is_blank_char(exp.back().c))
                exp.pop_back();
            i += 2;
            while (i < body.size() && is_blank_char(body[i]))
                ++i;
            after_paste = true;
            continue;
        }
        if (body[i] == '#' && info->param_count) {
            std::size_t k = i + 1;
            while (k < body.size() && is_blank_char(body[k]))
                ++k;
            int p = k < body.size() ? parameter_at(body, k) : -1;
            if (p >= 0 && static_cast<std::size_t>(p) < args.size()) {
                stringize(args[p], exp, name_pos);
                i = k;
                after_paste = false;
                continue;
            }
        }
        std::size_t k = i;
        // Only a body with parameters holds references; any other body is text as written.
        int p = info->param_count ? parameter_at(body, k) : -1;
        if (p >= 0) {
            if (static_cast<std::size_t>(p) < args.size()) {
                if (after_paste || paste_follows(body, k))
                    put_cells(args[p]);
                else
                    put_cells(expand_argument(args[p]));
            }
            i = k;
            after_paste = false;
            continue;
        }
        if (body[i] == '"' || body[i] == '\'') {
            char q = body[i];
            put(body[i++]);
            while (i < body.size() && body[i] != q) {
                if (body[i] == '\\' && i + 1 < body.size())
                    put(body[i++]);
                put(body[i++]);
            }
            if (i < body.size())
                put(body[i++]);
            after_paste = false;
            continue;
        }
        put(body[i++]);
        after_paste = false;
    }
    mark.mark = static_cast<int16_t>(slot);
    exp.push_back(mark);
    g_x.produced += exp.size();
    if (too_long(in.size() + exp.size()))
        return;
    in.insert(in.begin(), exp.begin(), exp.end());
}

void expand_cells(CellQueue &in, std::vector<Cell> &out) {
    Cell c;
    while (!g_x.aborted && take(in, c, &out, false)) {
        if (too_long(out.size()))
            return;
        char ch = c.c;
        if (std::isdigit(static_cast<unsigned char>(ch))) {
            out.push_back(c);
            while (!in.empty() && in.front().mark == 0 && is_ident_char(in.front().c)) {
                out.push_back(in.front());
                in.pop_front();
            }
            continue;
        }
        if ((ch == '"' || ch == '\'') && !(out.size() && out.back().c == '\\')) {
            bool closed = false;
            copy_literal(in, out, c, false, closed);
            if (!closed && g_x.depth == 1 && g_asm_context != 0 &&
                std::strncmp(g_lex.line_start, "asm", 3) != 0) {
                char quote[2] = {ch, 0};
                error_at(c.line, c.col, msg(492), quote);
            }
            continue;
        }
        if (is_ident_start(ch)) {
            std::vector<Cell> name{c};
            while (!in.empty() && in.front().mark == 0 && is_ident_char(in.front().c)) {
                name.push_back(in.front());
                in.pop_front();
            }
            std::string text;
            for (const Cell &n : name)
                text += n.c;
            macroinfo *info = find_macro_value(text);
            if (!info || info->nesting > 0 || (info->function_like && !open_paren_follows(in))) {
                out.insert(out.end(), name.begin(), name.end());
                continue;
            }
            expand_macro_call(in, info, c);
            continue;
        }
        out.push_back(c);
    }
}

// Adjacent double-quoted literals, separated by blanks only, become one.
void join_string_literals(std::vector<Cell> &cells) {
    std::vector<Cell> joined;
    joined.reserve(cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const Cell &c = cells[i];
        if (c.mark != 0 || (c.c != '"' && c.c != '\'') || (i > 0 && cells[i - 1].c == '\\')) {
            joined.push_back(c);
            continue;
        }
        char q = c.c;
        joined.push_back(c);
        std::size_t k = i + 1;
        for (;;) {
            while (k < cells.size() && cells[k].c != q) {
                if (cells[k].c == '\\' && k + 1 < cells.size())
                    joined.push_back(cells[k++]);
                joined.push_back(cells[k++]);
            }
            if (k >= cells.size()) {
                i = k;
                break;
            }
            std::size_t n = k + 1;
            while (n < cells.size() && is_blank_char(cells[n].c))
                ++n;
            if (q == '"' && n < cells.size() && cells[n].c == '"') {
                k = n + 1; // drop the closing quote, the blanks and the opening quote
                continue;
            }
            joined.push_back(cells[k]);
            i = k;
            break;
        }
    }
    cells.swap(joined);
}

} // namespace

void reset_macro_expansion() {
    clear_active_macros();
    g_x.depth = 0;
    g_x.aborted = false;
}

void expand_macros() {
    ++g_x.depth;
    // A fatal error thrown out of the expansion must not leave slots pointing at macros that a
    // later compile may delete.
    struct DepthGuard {
        ~DepthGuard() {
            if (std::uncaught_exceptions() > 0) {
                clear_active_macros();
                g_x.depth = 0;
            }
        }
    } guard;
    while (is_blank_char(*g_lex.ptr))
        advance_input(1);
    const ExpandableBuffer<unsigned short> *lines = g_lex.line_map;
    const ExpandableBuffer<unsigned short> *cols = g_lex.column_map;
    std::size_t start = static_cast<std::size_t>(g_lex.ptr - g_lex.line_start);
    CellQueue in;
    for (std::size_t i = 0; g_lex.ptr[i]; ++i) {
        std::size_t at = start + i;
        uint16_t ln = lines && lines->length() ? (*lines)[std::min(at, lines->length() - 1)] : 1;
        uint16_t cl = cols && cols->length() ? (*cols)[std::min(at, cols->length() - 1)] : 1;
        in.push_back({g_lex.ptr[i], ln, cl, 0});
    }
    // Only ordinary lines take part in the check for a literal continued on the next line;
    // directive operands ("#use "a.lib"") are no program text.
    bool ordinary = g_x.ordinary_line;
    g_x.ordinary_line = false;
    bool begins_quote = !in.empty() && in.front().c == '"';
    if (ordinary && begins_quote && g_x.prev_ended_quote) {
        Cell semi = in.front();
        semi.c = ';';
        in.assign(1, semi);
        error_here(msg(3043));
    }
    while (!in.empty() && is_blank_char(in.back().c))
        in.pop_back();
    if (ordinary)
        g_x.prev_ended_quote = !in.empty() && in.back().c == '"';
    // The position just past the text, kept after the last map entry: a message at the end of
    // the expanded line (or on an empty one) still names the source line.
    Cell end_pos{0, 1, 1, 0};
    if (!in.empty()) {
        end_pos = in.back();
        ++end_pos.col;
    } else if (lines && lines->length() && cols && cols->length()) {
        end_pos.line = (*lines)[std::min(start, lines->length() - 1)];
        end_pos.col = (*cols)[std::min(start, cols->length() - 1)];
    }
    g_x.produced = 0;
    g_x.aborted = false;
    std::vector<Cell> out;
    expand_cells(in, out);
    std::size_t literals = 0;
    for (const Cell &c : out)
        literals += c.c == '"';
    if (literals >= 4)
        join_string_literals(out);
    clear_active_macros();
    g_exp.reset();
    g_exp_lines.reset();
    g_exp_cols.reset();
    for (const Cell &c : out) {
        if (c.mark != 0)
            continue;
        if (!g_exp.append(c.c) || !g_exp_lines.append(c.line) || !g_exp_cols.append(c.col))
            break;
    }
    if (g_exp_lines.length() == g_exp.length()) {
        (void)g_exp_lines.append(end_pos.line);
        (void)g_exp_cols.append(end_pos.col);
    }
    set_current_maps(&g_exp_lines, &g_exp_cols);
    set_input_pointer(g_exp.data());
    --g_x.depth;
}

// ---------------------------------------------------------------------------------------------
// Directives.

void set_directive_handlers(DirectiveHandlers handlers) { g_handlers = std::move(handlers); }
uint32_t decl_flag_word() { return persistent_decl_flags().word; }
void set_decl_flag_word(uint32_t word) { persistent_decl_flags().word = word; }
uint16_t no_ix_word() { return g_no_ix; }
uint16_t function_number() { return g_function_number; }
void set_function_number(uint16_t n) { g_function_number = n; }
uint8_t data_wait_flag() { return g_data_wait; }
void set_data_wait_flag(uint8_t on) { g_data_wait = on ? 1 : 0; }
void set_origin_switch(uint8_t on) { g_origin_switch = on; }
uint8_t origin_switch() { return g_origin_switch; }
void set_board_type_permission(bool on) { g_board_type_permission = on; }

// The one-line form covers the line after the directive: the switches come back when a line
// past it is delivered.
void check_nowarn_line_limit(uint16_t delivered_line_number) {
    if (g_nowarn.end_line == 0 || delivered_line_number <= g_nowarn.end_line)
        return;
    g_trivial_on = g_nowarn.saved_trivial;
    g_serious_on = g_nowarn.saved_serious;
    g_nowarn.end_line = 0;
}
bool nowarn_region_open() { return g_nowarn.region_open; }
std::string nowarn_region_file() { return g_nowarn.file; }
uint16_t nowarn_region_line() { return g_nowarn.line; }
uint16_t nowarn_region_column() { return g_nowarn.column; }
// A region closed because its file ended gives the warnings back, as its "end" would have:
// it must not silence the files that follow.
void close_nowarn_region() {
    if (!g_nowarn.region_open)
        return;
    g_nowarn.region_open = false;
    g_trivial_on = g_nowarn.saved_trivial;
    g_serious_on = g_nowarn.saved_serious;
}
void report_unclosed_nowarn_region() {
    if (!g_nowarn.region_open)
        return;
    close_nowarn_region();
    report_error_in_file(g_nowarn.line, g_nowarn.column, g_nowarn.file.c_str(), "%s", msg(2160));
}

int32_t expect_const_expr(uint8_t severity) {
    while (is_blank_char(*g_lex.ptr))
        advance_input(1);
    if (is_ident_start(*g_lex.ptr)) {
        switch (severity) {
        case 0: fatal_here(msg(427)); break;
        case 1: error_here(msg(427)); break;
        case 2: trivial_warning_here(msg(427)); break;
        default: break;
        }
        return 0;
    }
    return directive_long_constant_value(0);
}

namespace {

void skip_blanks_here() {
    while (is_blank_char(*g_lex.ptr))
        advance_input(1);
}

void pragma_nowarn() {
    skip_blanks_here();
    if (match_keyword("end")) {
        g_trivial_on = g_nowarn.saved_trivial;
        g_serious_on = g_nowarn.saved_serious;
        g_nowarn.end_line = 0;
        if (!g_nowarn.region_open)
            error_here(msg(2161));
        g_nowarn.region_open = false;
    } else {
        bool nested = g_nowarn.end_line != 0 || g_nowarn.region_open;
        g_nowarn.saved_trivial = g_trivial_on;
        g_nowarn.saved_serious = g_serious_on;
        g_trivial_on = 0;
        if (nested)
            error_here(msg(2162));
        skip_blanks_here();
        if (match_keyword("warns"))
            g_serious_on = 0;
        else
            (void)match_keyword("warnt");
        skip_blanks_here();
        if (match_keyword("start")) {
            g_nowarn.end_line = 0;
            g_nowarn.region_open = true;
            g_nowarn.file = input_file_name().empty() ? program_file() : input_file_name();
            g_nowarn.line = current_line();
            g_nowarn.column = current_column();
        } else {
            g_nowarn.end_line = static_cast<uint16_t>(input_line_number() + 1);
        }
    }
    skip_blanks_here();
    if (*g_lex.ptr) {
        error_here(msg(2163), g_lex.ptr);
        advance_input(std::strlen(g_lex.ptr));
    }
}

// 0 the Vireon family, 1 the Z180: the code generator switches its tables.
void select_cpu(int cpu) {
    if (g_handlers.select_target_cpu)
        g_handlers.select_target_cpu(cpu);
    else
        (void)codegen_seam().select_target_cpu(0, static_cast<uint8_t>(cpu));
}

void pragma_directive() {
    expand_macros();
    for (;;) {
        skip_blanks_here();
        if (!*g_lex.ptr)
            return;
        if (match_keyword("Zilog180")) {
            set_origin_switch(0);
            replace_macro_text("TARGETCPU", "Z180");
            select_cpu(1);
        } else if (match_keyword("Vireon")) {
            set_origin_switch(1);
            replace_macro_text("TARGETCPU", "F80");
            select_cpu(0);
        } else if (match_keyword("CompileBIOS")) {
            if (g_handlers.compile_bios)
                g_handlers.compile_bios();
        } else if (match_keyword("CompileProgram")) {
            if (g_handlers.compile_program)
                g_handlers.compile_program();
        } else if (match_keyword("DATAWAITSUSED")) {
            skip_blanks_here();
            if (match_keyword("on"))
                g_data_wait = 1;
            else if (match_keyword("off"))
                g_data_wait = 0;
            else {
                trivial_warning_here(msg(3008));
                advance_input(ident_length(g_lex.ptr));
            }
        } else if (match_keyword("nowarn")) {
            pragma_nowarn();
            return;
        } else {
            trivial_warning_here(msg(2096), 223, g_lex.ptr);
            advance_input(std::strlen(g_lex.ptr));
            return;
        }
    }
}

void run_handler(const std::function<void()> &handler, bool expand) {
    if (expand)
        expand_macros();
    if (handler)
        handler();
}

bool g_stop_after_directive = false;

// One directive line; false when the line is no directive of the table.
bool run_directive() {
    g_stop_after_directive = false;
    if (match_keyword("#undef")) {
        // The lexer reads the rest of an "#undef" line as ordinary text.
        g_stop_after_directive = true;
        std::string name = read_identifier_here();
        if (name.empty()) {
            std::string bad;
            for (const char *p = g_lex.ptr; *p && !is_blank_char(*p) && bad.size() < 32; ++p)
                bad += *p;
            error_here(msg(490), bad.c_str());
        } else if (name == "_BOARD_TYPE_" && !g_board_type_permission) {
            error_here(msg(2165));
        } else {
            undefine_macro(name);
        }
        return true;
    }
    if (match_keyword("#pragma")) {
        pragma_directive();
    } else if (match_keyword("#include")) {
        refuse_include();
    } else if (match_keyword("#use")) {
        g_handlers.use ? g_handlers.use() : handle_use_directive();
    } else if (match_keyword("#define")) {
        handle_define_directive();
    } else if (match_keyword("#error") || match_keyword("#warns") || match_keyword("#warnt") ||
               match_keyword("#fatal")) {
        const char *word = g_lex.line_start + 1;
        uint16_t kind = word[0] == 'e' ? 0 : word[0] == 'f' ? 3 : word[4] == 's' ? 1 : 2;
        g_handlers.message ? g_handlers.message(kind) : handle_message_directive(kind);
    } else if (match_keyword("#useix")) {
        persistent_decl_flags().word |= kDeclUseIx;
        g_no_ix = 0;
    } else if (match_keyword("#nouseix")) {
        persistent_decl_flags().word &= ~kDeclUseIx;
        g_no_ix = 1;
    } else if (match_keyword("#linenum")) {
        expand_macros();
        // "#linenum n" names its own line n, so the next line read is n + 1 (the counter holds
        // the number of the line last read).
        int32_t n = expect_const_expr(1);
        set_input_line_number(static_cast<uint16_t>(n));
    } else if (match_keyword("#functnum")) {
        expand_macros();
        g_function_number = static_cast<uint16_t>(expect_const_expr(1) - 1);
    } else if (match_keyword("#funcchain")) {
        run_handler(g_handlers.funcchain, false);
    } else if (match_keyword("#makechain")) {
        run_handler(g_handlers.makechain, false);
    } else if (match_keyword("#debug")) {
        if (g_handlers.select_xmem_code_cache)
            g_handlers.select_xmem_code_cache(1);
    } else if (match_keyword("#nodebug")) {
        if (g_handlers.select_xmem_code_cache)
            g_handlers.select_xmem_code_cache(0);
    } else if (match_keyword("#step")) {
        persistent_decl_flags().word |= kDeclDebug;
    } else if (match_keyword("#nostep")) {
        persistent_decl_flags().word &= ~kDeclDebug;
    } else if (match_keyword("#memmap")) {
        run_handler(g_handlers.memmap, true);
    } else if (match_keyword("#class")) {
        run_handler(g_handlers.klass, true);
        skip_blanks_here();
        if (*g_lex.ptr)
            error_here(msg(2159));
    } else if (match_keyword("#corg")) {
        serious_warning_here(msg(2110));
        run_handler(g_handlers.corg, true);
    } else if (match_keyword("#dorg")) {
        serious_warning_here(msg(2109));
        run_handler(g_handlers.dorg, true);
    } else if (g_origin_switch == 1) {
        static constexpr struct {
            const char *word;
            int kind;
        } kOrigins[] = {{"#rcodorg", 1}, {"#xcodorg", 2}, {"#wcodorg", 3},
                        {"#rconorg", 7}, {"#rvarorg", 4}, {"#wvarorg", 4}};
        for (const auto &o : kOrigins) {
            if (match_keyword(o.word)) {
                if (g_handlers.origin)
                    g_handlers.origin(o.kind, o.word);
                else
                    origin_directive_line(static_cast<uint8_t>(o.kind), o.word);
                return true;
            }
        }
        return false;
    } else {
        return false;
    }
    return true;
}

} // namespace

void dispatch_directive() {
    for (;;) {
        if (g_lex.eoi && !*g_lex.ptr)
            return;
        if (*g_lex.ptr != '#') {
            g_x.ordinary_line = true;
            expand_macros();
            return;
        }
        const char *before = g_lex.ptr;
        if (!run_directive()) {
            set_input_pointer(before);
            expand_macros();
            return;
        }
        if (g_stop_after_directive)
            return;
        if (g_lex.eoi)
            return;
        fetch_next_line();
    }
}

// ---------------------------------------------------------------------------------------------
// Per-compile reset.

void reset_input_state() {
    g_lex = Lexer{};
    g_line.reset();
    g_line_map.reset();
    g_col_map.reset();
    g_exp.reset();
    g_exp_lines.reset();
    g_exp_cols.reset();
    g_recorded_lines.reset();
    g_recorded_cols.reset();
    set_current_maps(&g_line_map, &g_col_map);
    set_input_pointer(g_line.data());
    g_raw = RawLine{};
    g_hold = false;
    g_asm_context = 1;
    g_ifdefs.clear();
    g_fatal = 0;
    g_nowarn = NowarnRecord{};
    g_data_wait = 0;
    reset_macro_expansion();
    g_x.prev_ended_quote = false;
    clear_brackets();
    ErrorFileHooks hooks;
    hooks.redefine_file_macro = [](const char *) { update_builtin_macros(false, 0, true); };
    hooks.nowarn_region = [](std::string &file, int &line, int &column) {
        if (!g_nowarn.region_open)
            return false;
        file = g_nowarn.file;
        line = g_nowarn.line;
        column = g_nowarn.column;
        return true;
    };
    hooks.close_nowarn_region = [] { close_nowarn_region(); };
    set_error_file_hooks(hooks);
}
