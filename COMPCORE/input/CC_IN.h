// CC_IN: from physical lines to the characters the lexer reads.
// Logical lines (comments, blanks, continuation lines), conditional sections, the directive
// dispatcher, the macro table with definition and expansion, the lexer's input pointer with its
// per-character line and column maps, and the diagnostic reporters that take their positions
// from those maps. Physical lines come from CC_GLINE; message records are kept by CC_ER.
#pragma once

#include <cassert>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Growable buffers. Elements are appended; a terminator (T{}) always follows the last one.
// Growth goes in steps of at least 512 elements; a buffer that would reach 65532 bytes reports
// the fatal "Not enough memory for long line." and refuses the element.

[[nodiscard]] bool expandable_buffer_limit_reached(); // reports the fatal message; always false

template <typename T>
class ExpandableBuffer {
public:
    static constexpr std::size_t kMaxBytes = 65532;
    static constexpr std::size_t kMinStep = 512;

    ExpandableBuffer() { m_data.assign(1, T{}); }

    void reset() {
        m_length = 0;
        m_position = 0;
        m_data.assign(m_data.size() ? m_data.size() : 1, T{});
        m_data[0] = T{};
    }
    // Appends one element; false when the buffer may not grow any more.
    [[nodiscard]] bool append(T value) {
        if (m_length + 2 >= m_data.size() && !grow(1))
            return false;
        m_data[m_length++] = value;
        m_data[m_length] = T{};
        m_position = m_length;
        return true;
    }
    [[nodiscard]] bool append(const T *values, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            if (!append(values[i]))
                return false;
        return true;
    }
    // Makes room for `request` more elements.
    [[nodiscard]] bool grow(std::size_t request) {
        std::size_t step = request < kMinStep ? kMinStep : request;
        std::size_t bytes = (m_data.size() + step) * sizeof(T);
        if (bytes >= kMaxBytes)
            return expandable_buffer_limit_reached();
        m_data.resize(m_data.size() + step, T{});
        return true;
    }
    void truncate(std::size_t length) {
        if (length >= m_length)
            return;
        m_length = length;
        m_data[m_length] = T{};
        if (m_position > m_length)
            m_position = m_length;
    }

    [[nodiscard]] std::size_t length() const { return m_length; }
    [[nodiscard]] std::size_t capacity() const { return m_data.size(); }
    [[nodiscard]] const T *data() const { return m_data.data(); }
    [[nodiscard]] T *data() { return m_data.data(); }
    [[nodiscard]] T operator[](std::size_t i) const { return i < m_length ? m_data[i] : T{}; }
    [[nodiscard]] T back() const { return m_length ? m_data[m_length - 1] : T{}; }
    [[nodiscard]] std::size_t position() const { return m_position; }
    void set_position(std::size_t p) { m_position = p > m_length ? m_length : p; }

private:
    std::vector<T> m_data;
    std::size_t m_length = 0;
    std::size_t m_position = 0;
};

// Pool of buffers kept for reuse by the macro expansion.
template <typename T>
class ReuseExpandableBuffers {
public:
    explicit ReuseExpandableBuffers(std::size_t capacity) : m_capacity(capacity) {}
    std::unique_ptr<ExpandableBuffer<T>> take() {
        if (m_pool.empty())
            return std::make_unique<ExpandableBuffer<T>>();
        auto b = std::move(m_pool.back());
        m_pool.pop_back();
        b->reset();
        return b;
    }
    void give_back(std::unique_ptr<ExpandableBuffer<T>> b) {
        if (b && m_pool.size() < m_capacity)
            m_pool.push_back(std::move(b));
    }
    [[nodiscard]] std::size_t count() const { return m_pool.size(); }

private:
    std::size_t m_capacity;
    std::vector<std::unique_ptr<ExpandableBuffer<T>>> m_pool;
};

// ---------------------------------------------------------------------------------------------
// Lexer input state: one program-wide input pointer into the current (expanded) line.

const char *input_pointer();
void set_input_pointer(const char *p); // also the line start
void advance_input(std::size_t count); // pointer and column
const char *line_start();
uint16_t input_column();
[[nodiscard]] bool end_of_input();
void set_no_line_crossing(bool on);
[[nodiscard]] bool no_line_crossing();

// Skips blanks; at the end of the line fetches the next active line and runs a directive that
// begins it, unless line crossing is switched off or the input has ended.
void skip_blanks_across_lines();
// The next character (crossing lines as above); 0 at the end of input or of an uncrossable line.
char next_char();
// 1 when the input begins with the word at a word boundary; consumes it then.
[[nodiscard]] int match_keyword(const char *word);
// Points at the line buffer and empties it.
void clear_line();
// Fetches the next active line and points at its start.
void fetch_next_line();
// Reads the input to its end as the top-level loop does (directives run, macros expanded) and
// hands `each` every line that has characters left, the lexer at its start; then reports the
// conditionals and brackets still open. The preprocessor tool and the tests read input so.
void read_all_lines(const std::function<void(const char *line)> &each);

// Where the lexer stands: its input pointer, line start and column, and the position maps it
// reads. A C statement inside a replayed assembly line moves the lexer away from the input; the
// block reader puts it back afterwards.
struct LexerPlace {
    const char *ptr = "";
    const char *line_start = "";
    uint16_t column = 0;
    const ExpandableBuffer<unsigned short> *line_map = nullptr;
    const ExpandableBuffer<unsigned short> *column_map = nullptr;
};
[[nodiscard]] LexerPlace lexer_place();
void restore_lexer_place(const LexerPlace &place);

// Points the lexer at `line.text` + `at` with the line's own source positions (copied into maps
// the input keeps), so that a C statement inside an assembly line, even one replayed from a
// record after its block was measured, reports at its own line and column. A line whose maps do
// not cover its text keeps the current maps. Installed as the block reader's line-position
// installer by `install_compiler_joins`.
struct AsmLineText;
void point_lexer_at_recorded_line(const AsmLineText &line, std::size_t at);

// Character classes (identifier characters, blanks).
[[nodiscard]] bool is_ident_start(char c);
[[nodiscard]] bool is_ident_char(char c);
[[nodiscard]] bool is_blank_char(char c);

// ---------------------------------------------------------------------------------------------
// Logical lines and conditional sections.

struct CharRecord {
    char ch = 0;
    uint16_t line = 0;
    uint16_t column = 0;
};

CharRecord &read_raw_char(CharRecord &rec);
void read_logical_line();
void next_active_line();
[[nodiscard]] int is_register_apostrophe(std::string_view text_up_to_apostrophe);
void set_line_hold();

// The logical line just built and its position maps (one entry per character).
const ExpandableBuffer<char> &logical_line();
const ExpandableBuffer<unsigned short> &logical_line_map();
const ExpandableBuffer<unsigned short> &logical_column_map();

// Assembly-context word: 0 inside an "#asm" block, 2 in a C statement inside assembly, 1 else.
uint16_t asm_context();
void set_asm_context(uint16_t word);

// One open conditional group branch.
struct Ifdef_Info {
    uint8_t state = 0;    // 1 active, 0 inactive
    uint8_t taken = 0;    // a branch of the group has been active
    int32_t line = 0;     // of the directive that opened the branch
    int32_t column = 0;
    std::shared_ptr<const std::string> file;
    Ifdef_Info() = default;
    explicit Ifdef_Info(uint8_t st); // position and file from the current input
};
using ifdef_stack_t = std::deque<Ifdef_Info>;
ifdef_stack_t &ifdef_stack();
// Reports every conditional still open, innermost first, and empties the stack.
void check_open_conditionals();

// ---------------------------------------------------------------------------------------------
// Macro table.

struct macroinfo {
    int16_t nesting = 0;       // > 0 while text produced by this macro is read
    uint16_t param_count = 0;
    uint8_t function_like = 0;
    std::string text;          // encoded body; parameters as ESC index ESC
};

// The macro table's name hash (PJW over signed bytes): h = h * 16 + c, folding the top nibble
// back in. The assembler's named-object table spreads its names with it too.
[[nodiscard]] uint32_t macro_name_hash(std::string_view name);

template <typename Info>
struct MacroSymbol {
    std::string name;
    std::unique_ptr<Info> info;
};

template <typename Info>
class MacroSymbolTable {
public:
    static constexpr std::size_t kBuckets = 4001;
    static std::size_t bucket_of(std::string_view name); // macro_name_hash % kBuckets
    Info *find(std::string_view name);
    Info *add(std::string_view name, std::unique_ptr<Info> info);
    bool remove(std::string_view name);
    void clear();
    [[nodiscard]] std::size_t size() const { return m_count; }
    MacroSymbolTable() : m_buckets(kBuckets) {}
    MacroSymbolTable(const MacroSymbolTable &other);
    MacroSymbolTable &operator=(const MacroSymbolTable &other);

private:
    std::vector<std::vector<MacroSymbol<Info>>> m_buckets;
    std::size_t m_count = 0;
};

MacroSymbolTable<macroinfo> &macro_table();
// True when the table holds this definition afterwards.
bool define_macro(std::string_view name, std::string_view text, uint16_t param_count = 0,
                  uint8_t function_like = 0);
void undefine_macro(std::string_view name);
// Replaces the text of a defined macro, installing it when undefined.
void replace_macro_text(std::string_view name, std::string_view text);
macroinfo *find_macro_value(std::string_view name);

// Values the predefined macros of a BIOS compile are made from.
struct PredefinedMacroContext {
    bool bios_compile = false;
    int cpu_selector = 1;       // 0..5: Z180 F80 I8086 I80186 I80286 I80386
    bool bios_present = true;
    int debug_rst_state = 0;
    bool targetless = false;
};
void install_predefined_macros(const PredefinedMacroContext &ctx);

// Name recorder for the map file's macro listing (installed by the map writer).
void set_macro_listing_recorder(std::function<void(std::string_view name)> recorder);

// ---------------------------------------------------------------------------------------------
// Macro definition and expansion.

void handle_define_directive();
// Expands the current line from the input pointer; the result becomes the current line.
void expand_macros();
void reset_macro_expansion();

// ---------------------------------------------------------------------------------------------
// Directives.

void dispatch_directive();
int32_t expect_const_expr(uint8_t severity);

// Handlers of directives whose work belongs to other units. Unset entries: the directive is
// read and nothing more is done; "#use" and the message directives fall back to CC_DIRECT's,
// the origin directives to the origin table's own handler (ORIGINS).
struct DirectiveHandlers {
    std::function<void()> use;                     // rest of a "#use" line
    std::function<void(uint16_t kind)> message;    // "#error" 0, "#warns" 1, "#warnt" 2, "#fatal" 3
    std::function<void()> funcchain, makechain, memmap, klass, corg, dorg;
    std::function<void(int debug_state)> select_xmem_code_cache; // "#debug" 1, "#nodebug" 0
    // The origin directives, with their kind (1 rcod, 2 xcod, 3 wcod, 4 rvar and wvar, 7 rcon)
    // and word; unset: the origin table's own handler (ORIGINS).
    std::function<void(int kind, std::string_view word)> origin;
    std::function<void(int cpu)> select_target_cpu; // 0 Vireon, 1 Z180
    std::function<void()> compile_bios, compile_program;
};
void set_directive_handlers(DirectiveHandlers handlers);

// The flag word of the persistent declaration flags record (CC_DECL), which "#useix",
// "#nouseix", "#step" and "#nostep" change, and related words.
uint32_t decl_flag_word();
void set_decl_flag_word(uint32_t word);
uint16_t no_ix_word();
uint16_t function_number();
void set_function_number(uint16_t n);
uint8_t data_wait_flag();
void set_data_wait_flag(uint8_t on);  // as "#pragma DATAWAITSUSED on/off" does
void set_origin_switch(uint8_t on);
uint8_t origin_switch();
void set_board_type_permission(bool on);

// "#pragma nowarn" state read by the line input and the message records.
// Called with the 1-based number of each line delivered.
void check_nowarn_line_limit(uint16_t delivered_line_number);
[[nodiscard]] bool nowarn_region_open();
std::string nowarn_region_file();
uint16_t nowarn_region_line();
uint16_t nowarn_region_column();
void close_nowarn_region();
// A region still open when the input ends reports 2160 at its start (a change of file reports it
// through the message records).
void report_unclosed_nowarn_region();

// ---------------------------------------------------------------------------------------------
// Diagnostic reporters. Positions come from the current line's maps.

uint16_t current_line();
uint16_t current_column();
void serious_warning_here(const char *format, ...);
void trivial_warning_here(const char *format, ...);
void error_here(const char *format, ...);
// An error at a given source position (a character of the expanded line whose position is known).
void error_at(int line, int column, const char *format, ...);
void error_at_v(int line, int column, const char *format, va_list args);
void fatal_here(const char *format, ...);
void fatal_error_at(int line, int column, const char *format, ...);
// Message text by id (summary, BEL pair, detail).
const char *msg(uint32_t id);

// 0 program compile, 1 expression compiled for the debugger, 2 inside such a compile's
// function-definition parser.
uint16_t compile_mode_word();
void set_compile_mode_word(uint16_t mode);
void set_reporting(bool on);
[[nodiscard]] bool reporting();
void set_warning_switches(uint16_t serious, uint16_t trivial);
uint16_t serious_warning_switch();
uint16_t trivial_warning_switch();
uint16_t fatal_flag();
// An error at a given position that is recorded past the record limit (bracket reports).
void report_bracket_error(int line, int column, const char *format, ...);

void update_builtin_macros(bool line_only, int line, bool from_file_change);

// ---------------------------------------------------------------------------------------------
// Seams of the line input: the current input file changed; the compile status line; the end
// of input is cleared by the library-module loop.
void input_file_changed(const std::string &name, uint16_t flag);
void show_compile_progress(uint16_t line);
void set_progress_reporter(std::function<void(uint16_t line)> reporter);
std::function<void(uint16_t line)> progress_reporter();
void clear_end_of_input();

// Per-compile state: clears the lexer, logical-line, conditional, macro-expansion and
// reporter state. `bios_compile` empties the macro table and installs the predefined macros.
void reset_input_state();
