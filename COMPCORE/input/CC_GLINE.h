// CC_GLINE: the one line reader behind the whole compiler input.
// Streams (the preamble, the program text, in-memory lines, "#use" library headers and library
// module bodies) feed get_source_line one physical line at a time; the logical-line reader of
// CC_IN is its only caller. Also keeps the bracket stack that checks "{", "(", "[", comments and
// "#asm" blocks for balance. The library catalogue and the module readers belong to the library
// index; they are reached through the installable LibraryIndex interface below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One input stream. Positions are saved into a stream while another stream feeds the reader.
class InThread {
public:
    uint32_t stream_word = 0;
    uint16_t column = 0;
    uint16_t line = 0; // lines delivered so far (the 1-based number of the last line read)

    virtual ~InThread() = default;
    // Starts the stream from its beginning.
    virtual void Open() = 0;
    // True while a further line can be read.
    [[nodiscard]] virtual bool HasLine() = 0;
    // Reads the next physical line, whole, without its line end. False when none is left.
    [[nodiscard]] virtual bool ReadLine(std::string &out) = 0;
    // Closes the stream's file (library streams); reporting open brackets is the reader's job.
    virtual void Close() {}
};

// A stream over lines held in memory (library readers, tools and tests).
class LineListThread : public InThread {
public:
    explicit LineListThread(std::vector<std::string> lines) : m_lines(std::move(lines)) {}
    void Open() override { line = 0; }
    [[nodiscard]] bool HasLine() override { return line < m_lines.size(); }
    [[nodiscard]] bool ReadLine(std::string &out) override {
        if (line >= m_lines.size())
            return false;
        out = m_lines[line++];
        return true;
    }

private:
    std::vector<std::string> m_lines;
};

// The lines of a text: LF, CR LF and a lone CR each end a line; a last line without a line
// end is kept.
std::vector<std::string> split_source_lines(std::string_view text);

// The program's own source text: from the program file in a program compile, from the open
// editor's text (the main-window adapter) while an expression is compiled for the debugger.
// CR LF, LF and CR-only line ends all give the same lines; a last line without a line end
// is kept; a NUL byte inside a line is replaced by a blank and reported once per line.
class ProgThread : public InThread {
public:
    void Open() override;
    [[nodiscard]] bool HasLine() override;
    [[nodiscard]] bool ReadLine(std::string &out) override;

    // Byte offset in the file of the start of the last line read (program compile).
    [[nodiscard]] uint32_t line_offset() const { return m_line_offset; }
    // The whole program text as it was read (program compile).
    [[nodiscard]] const std::string &text() const { return m_text; }

private:
    bool m_loaded = false;
    bool m_missing = false;
    std::string m_text;
    std::size_t m_pos = 0;
    uint32_t m_line_offset = 0;
};

// Where the program's text comes from. The driver sets the file before a compile; the editor
// seam answers for the watch and unsaved-editor cases.
void set_program_file(std::string_view path);
const std::string &program_file();
// The program compile reads this text (an open editor's unsaved text) under the program file's
// name instead of the file, until the next set_program_file.
void set_program_text(std::string text);
bool program_text_from_editor();

// Editor text of the current source file (the main window's open editor). Installed by the host;
// when none is installed, a compile mode other than 0 reads no program lines.
class SourceEditorText {
public:
    virtual ~SourceEditorText() = default;
    [[nodiscard]] virtual int GetSourceLineCount() = 0;
    [[nodiscard]] virtual std::string GetSourceLine(int line) = 0; // 0-based line index
};
void set_source_editor_text(SourceEditorText *editor);
SourceEditorText *source_editor_text();

// The library catalogue and module readers of the library index. Entry flags: bit 0 the
// entry's modules are in the library index, bit 1 its headers have been entered.
struct LibraryEntry {
    std::string path;
    uint8_t flags = 0;
};

class LibraryIndex {
public:
    virtual ~LibraryIndex() = default;
    [[nodiscard]] virtual std::size_t entry_count() = 0;
    [[nodiscard]] virtual LibraryEntry &entry(std::size_t index) = 0;
    // Adds the entry's modules to the index (records them as available; sets bit 0).
    virtual void add_modules(std::size_t index) = 0;
    // A fresh stream over the headers of the entry's library file.
    [[nodiscard]] virtual std::unique_ptr<InThread> open_header_stream(std::size_t index) = 0;
    // The bodies of the modules registered for linking, file after file. Open binds and starts
    // it; Close closes its current file. The reader sets the input file name
    // (set_input_file_name) whenever it moves to another file.
    [[nodiscard]] virtual InThread &module_bodies() = 0;
    // Library items registered and not yet compiled.
    [[nodiscard]] virtual uint16_t pending_item_count() = 0;
    virtual void set_pending_item_count(uint16_t count) = 0;
};
// Installs the library index for the following compiles (null: no libraries).
void set_library_index(LibraryIndex *index);
LibraryIndex *library_index();

// Line-input states (which stream feeds the next line).
enum class LineInputState : uint16_t {
    program = 0,
    in_memory = 1,
    preamble = 2,
    module_bodies = 3,
    pending_modules = 4,
    library_header = 5,
};

// Program-wide BIOS flag and version word as the preamble sees them (set by the driver).
void set_preamble_context(bool compiling_bios, uint16_t version, bool rom_output_bit);

// The next physical line, or null at the end of all input. Only the logical-line reader calls it.
const char *get_source_line();
// Start of a compile: the preamble in a program compile; the program text at a 1-based source
// position while an expression is compiled for the debugger.
void reset_line_position(int line, int column);
// The in-memory lines are read next (state 1).
void clear_line_position();
// In-memory line table (at most 16 texts; a null entry ends the input).
void set_in_memory_lines(const char *const *lines, std::size_t count);
// End of a compile: closes every header-stack item, then the module-body reader.
void close_line_input();
// Between two top-level declarations: compiles the pending library module bodies.
void compile_pending_modules(bool force);
// Enters the headers of a "#use" library.
void find_use_library(std::string name);
// Sets the current input file name (cut to 259 characters) and the message records' name.
void set_input_file_name(std::string_view name, uint16_t flag);
const std::string &input_file_name();
uint16_t input_file_flag();

LineInputState line_input_state();
// True while a compile reads its input: from the start of a compile to the end of all input.
bool reading_input();
// 1-based number of the current physical line of the current input level.
uint16_t input_line_number();
// Moves the current input level's line counter ("#linenum").
void set_input_line_number(uint16_t line);
// The column at which the line last delivered starts in its physical line (non-zero only for the
// first line of an expression compiled at a source position).
uint16_t input_column_offset();
// Byte offset of the start of the last program line read.
uint32_t source_line_offset();
// The program text the last program compile read (the editor's text when it came from there),
// kept until the next compile names its program file; the listing echoes source lines from it.
const std::string &compiled_program_text();
// Line fetch count of this compile.
uint32_t line_fetch_count();
// Lines read of a file, by its number in the message records' file-name list (0 when none).
uint16_t file_line_count(std::size_t file_number);

// Bracket matching. Kinds: 2 "{" 3 "}" 4 "[" 5 "]" 6 "(" 7 ")" 8 comment open 9 "*/"
// 10 "#asm" 11 "#endasm"; even kinds open, odd kinds close.
struct MatchBlockInfo {
    int32_t line;
    int32_t column;
    int32_t kind;
};
void note_bracket(char c, int line, int column);
void match_bracket(int kind, int line, int column);
void report_unmatched_brackets();
// While set, noting and matching do nothing.
void set_bracket_suppression(bool on);
std::size_t bracket_depth();
// Forgets the bracket stack without reports (start of a compile).
void clear_brackets();
