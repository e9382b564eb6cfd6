// CC_GLINE: the one line reader behind the whole compiler input.
// get_source_line runs the preamble, the program text, the "#use" header stack, the library
// module bodies and the in-memory lines of an expression compile, one physical line per call.
// Lines are handed out whole, however long: cutting a line into pieces would shift the number
// of every later line. The bracket stack checks "{" "(" "[", comments and "#asm" blocks.
// Called by the logical-line reader (CC_IN), the top-level loop and the "#use" handling.
#include "CC_GLINE.h"

#include "parser/CC_DECL.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "CC_IN.h"
#include "core/CC_MISC.h"
#include "core/SEAM_TARGET.h"
#include "RegularFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <vector>

namespace {

constexpr std::size_t kMaxFileName = 259;
constexpr int kPreambleStart = 5;
// A program's source file is read whole; none comes near this.
constexpr std::size_t kMaxProgramFileBytes = std::size_t(64) << 20;
constexpr uint32_t kMsgSourceNotAFile = 7833;
constexpr uint32_t kMsgSourceTooLarge = 7834;

struct HeaderStackItem {
    LineInputState saved_state;
    uint16_t saved_line;
    uint16_t saved_column;
    std::unique_ptr<InThread> stream;
    std::string saved_file_name;
    uint16_t saved_file_flag;
};

struct LineInput {
    LineInputState state = LineInputState::preamble;
    uint16_t line = 0;
    uint16_t column = 0;
    uint16_t delivered_offset = 0; // column offset of the line last delivered
    int preamble_counter = kPreambleStart;
    bool progress = false;
    uint16_t progress_countdown = 0;
    std::string file_name;
    uint16_t file_flag = 0;
    std::string buffer;
    uint32_t fetch_count = 0;
    uint32_t line_offset = 0;
    bool reading = false;  // from the start of a compile to the end of all input
    // "#linenum" renumbers the program text: added to the program stream's own count.
    int32_t program_line_shift = 0;
    std::vector<const char *> memory_lines;
    // The three words of the xmem code-cache selection saved while pending modules compile.
    DeclFlags saved_selection;
    std::vector<HeaderStackItem> header_stack;
    // Lines read per file number (the file-name list of the message records).
    std::map<std::size_t, uint16_t> line_counts;
};

LineInput g_in;
ProgThread g_prog;
std::string g_program_file;
std::optional<std::string> g_program_text; // an open editor's text in place of the file
SourceEditorText *g_editor = nullptr;
LibraryIndex *g_index = nullptr;

bool g_compiling_bios = false;
uint16_t g_version = 0x851;
bool g_rom_bit = false;

std::deque<MatchBlockInfo> g_brackets;
bool g_bracket_suppressed = false;

void save_position(InThread &t) {
    t.line = g_in.line;
    t.column = g_in.column;
}

void restore_position(const InThread &t) {
    g_in.line = t.line;
    g_in.column = t.column;
}

void save_program_position() {
    save_position(g_prog);
    g_prog.line = static_cast<uint16_t>(g_in.line - g_in.program_line_shift);
}

void restore_program_position() {
    restore_position(g_prog);
    g_in.line = static_cast<uint16_t>(g_prog.line + g_in.program_line_shift);
}

// The number of the file being read: its place in the message records' file-name list.
std::size_t current_file_number() {
    const std::size_t count = error_file_name_count();
    return count ? count - 1 : 0;
}

void note_line_count() { g_in.line_counts[current_file_number()] = g_in.line; }

// The debugger's source ranges: each span of source text read without a change of file maps
// onto the code emitted meanwhile, from the current code cache's address.
void open_source_range(const std::string &file, int line, int column) {
    breakpoint_tables().beginSourceRange(file, line, column, current_code_cache().current);
}

void close_source_range() {
    breakpoint_tables().endSourceRange(g_in.line, g_in.column, current_code_cache().current);
}

const char *deliver(std::size_t column_offset) {
    note_line_count();
    std::size_t off = std::min<std::size_t>(column_offset, g_in.buffer.size());
    g_in.column = 0;
    g_in.delivered_offset = static_cast<uint16_t>(off);
    check_nowarn_line_limit(g_in.line);
    return g_in.buffer.c_str() + off;
}

void show_progress() {
    if (!g_in.progress || g_in.state != LineInputState::program)
        return;
    if (g_in.progress_countdown-- != 0)
        return;
    g_in.progress_countdown = 9;
    show_compile_progress(g_in.line);
}

void pop_header_item() {
    HeaderStackItem item = std::move(g_in.header_stack.back());
    g_in.header_stack.pop_back();
    close_source_range();
    g_in.state = item.saved_state;
    g_in.line = item.saved_line;
    g_in.column = item.saved_column;
    // The preamble is no source text: the program text opens its own range when it starts.
    if (item.saved_state != LineInputState::preamble)
        open_source_range(item.saved_file_name, item.saved_line, item.saved_column);
    set_input_file_name(item.saved_file_name, item.saved_file_flag);
    if (item.stream)
        item.stream->Close();
}

// The last file has ended: a "#pragma nowarn" region left open in it is reported, as a change
// of file would have reported it.
const char *end_of_all_input() {
    g_in.reading = false;
    report_unclosed_nowarn_region();
    return nullptr;
}

// File name with extension, without directories (both separators accepted).
std::string base_name(std::string_view path) {
    std::size_t cut = path.find_last_of("/\\");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

const char *bracket_text(int kind) {
    switch (kind) {
    case 3: return "}";
    case 5: return "]";
    case 7: return ")";
    case 9: return "*/";
    case 11: return "#endasm";
    default: return nullptr;
    }
}

uint32_t unmatched_message(int kind) {
    switch (kind) {
    case 2: return 2080;
    case 3: return 2081;
    case 4: return 2082;
    case 5: return 2083;
    case 6: return 2084;
    case 7: return 2086;
    case 8: return 2087;
    case 9: return 2088;
    case 10: return 2089;
    case 11: return 2090;
    default: return 2091;
    }
}

void report_unmatched(const MatchBlockInfo &b) {
    uint32_t id = unmatched_message(b.kind);
    if (id == 2091) {
        report_bracket_error(current_line(), current_column(), msg(id));
        return;
    }
    report_bracket_error(b.line, b.column, msg(id));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The program text.

std::vector<std::string> split_source_lines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(pos));
            break;
        }
        lines.emplace_back(text.substr(pos, end - pos));
        pos = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

void set_program_file(std::string_view path) {
    g_program_file = std::string(path);
    g_program_text.reset();
    g_prog = ProgThread();
}

void set_program_text(std::string text) {
    g_program_text = std::move(text);
    g_prog = ProgThread();
}

bool program_text_from_editor() { return g_program_text.has_value(); }

const std::string &program_file() { return g_program_file; }

void set_source_editor_text(SourceEditorText *editor) { g_editor = editor; }
SourceEditorText *source_editor_text() { return g_editor; }

// Open: report the brackets still open, start at line 0, switch progress on, make the program
// file the current input file.
void ProgThread::Open() {
    report_unmatched_brackets();
    select_xmem_code_cache(persistent_decl_flags(), 1);  // program text: debug code
    g_in.line_counts[current_file_number()] = 0;
    line = 0;
    column = 0;
    g_in.line = 0;
    g_in.column = 0;
    g_in.progress_countdown = 0;
    g_in.progress = true;
    set_input_file_name(g_program_file, 1);
    open_source_range(g_program_file, 0, 0);
    m_pos = 0;
    if (compile_mode_word() != 0 || m_loaded)
        return;
    m_loaded = true;
    if (g_program_text) {
        m_text = *g_program_text;
        return;
    }
    // Only an ordinary file is read, and only up to a limit: a FIFO would wait for a writer
    // and a device would be read without end.
    std::vector<uint8_t> bytes;
    switch (read_regular_file(g_program_file, kMaxProgramFileBytes, bytes)) {
    case RegularFileStatus::Read:
        m_text.assign(bytes.begin(), bytes.end());
        return;
    case RegularFileStatus::NotRegular:
        m_missing = true;
        error_here(msg(kMsgSourceNotAFile), g_program_file.c_str());
        return;
    case RegularFileStatus::TooLarge:
        m_missing = true;
        error_here(msg(kMsgSourceTooLarge), g_program_file.c_str(),
                   static_cast<int>(kMaxProgramFileBytes >> 20));
        return;
    case RegularFileStatus::NotOpened:
    case RegularFileStatus::ReadError:
        break;
    }
    m_missing = true;
    error_here(msg(2079), g_program_file.c_str());
}

bool ProgThread::HasLine() {
    if (g_in.state != LineInputState::program)
        return false;
    if (compile_mode_word() == 0)
        return !m_missing && m_pos < m_text.size();
    return g_editor && line < g_editor->GetSourceLineCount();
}

// A line ends at LF, CR LF or a lone CR; NUL bytes become blanks and are reported.
bool ProgThread::ReadLine(std::string &out) {
    out.clear();
    if (compile_mode_word() != 0) {
        if (!g_editor || line >= g_editor->GetSourceLineCount())
            return false;
        out = g_editor->GetSourceLine(line);
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
            out.pop_back();
    } else {
        if (m_pos >= m_text.size())
            return false;
        m_line_offset = static_cast<uint32_t>(m_pos);
        std::size_t end = m_text.find_first_of("\r\n", m_pos);
        if (end == std::string::npos)
            end = m_text.size();
        out.assign(m_text, m_pos, end - m_pos);
        m_pos = end;
        if (m_pos < m_text.size() && m_text[m_pos] == '\r')
            ++m_pos;
        if (m_pos < m_text.size() && m_text[m_pos] == '\n' && m_text[end] == '\r')
            ++m_pos;
        else if (m_pos < m_text.size() && m_text[end] == '\n')
            ++m_pos;
    }
    ++line;
    column = 0;
    if (out.find('\0') != std::string::npos) {
        std::replace(out.begin(), out.end(), '\0', ' ');
        report_bracket_error(line, 1, msg(2078));
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Catalogue, preamble context and module state.

void set_library_index(LibraryIndex *index) { g_index = index; }
LibraryIndex *library_index() { return g_index; }

void set_preamble_context(bool compiling_bios, uint16_t version, bool rom_output_bit) {
    g_compiling_bios = compiling_bios;
    g_version = version;
    g_rom_bit = rom_output_bit;
}

void set_input_file_name(std::string_view name, uint16_t flag) {
    g_in.file_name = std::string(name.substr(0, std::min(name.size(), kMaxFileName)));
    g_in.file_flag = flag;
    input_file_changed(g_in.file_name, flag);
}

const std::string &input_file_name() { return g_in.file_name; }
uint16_t input_file_flag() { return g_in.file_flag; }
LineInputState line_input_state() { return g_in.state; }
bool reading_input() { return g_in.reading; }
uint16_t input_line_number() { return g_in.line; }
// In the program text the new number holds for the lines that follow; in a library stream it
// holds until that stream delivers its next line.
void set_input_line_number(uint16_t line) {
    if (g_in.state == LineInputState::program)
        g_in.program_line_shift = static_cast<int32_t>(line) - static_cast<int32_t>(g_prog.line);
    g_in.line = line;
}
uint16_t input_column_offset() { return g_in.delivered_offset; }
uint32_t source_line_offset() { return g_prog.line_offset(); }
const std::string &compiled_program_text() { return g_prog.text(); }
uint32_t line_fetch_count() { return g_in.fetch_count; }
uint16_t file_line_count(std::size_t file_number) {
    auto it = g_in.line_counts.find(file_number);
    return it == g_in.line_counts.end() ? 0 : it->second;
}

void set_in_memory_lines(const char *const *lines, std::size_t count) {
    g_in.memory_lines.assign(lines, lines + std::min<std::size_t>(count, 16));
}

// ---------------------------------------------------------------------------------------------
// get_source_line

const char *get_source_line() {
    for (;;) {
        ++g_in.fetch_count;
        switch (g_in.state) {
        case LineInputState::preamble: {
            int n = g_in.preamble_counter;
            if (n >= 2 && n <= 5) {
                char text[64] = "";
                if (g_compiling_bios) {
                    if (n == 5)
                        std::snprintf(text, sizeof text, "#define ROM %d", g_rom_bit ? 0 : 1);
                    else if (n == 4)
                        std::snprintf(text, sizeof text, "#define CC_VER 0x%x", g_version);
                    else if (n == 2)
                        std::snprintf(text, sizeof text, "#define __Korvex__ 0x%x", g_version);
                } else if (n == 3) {
                    std::snprintf(text, sizeof text, "#use %s", "default.h");
                }
                --g_in.preamble_counter;
                g_in.buffer = text;
                g_in.column = 0;
                g_in.delivered_offset = 0;
                return g_in.buffer.c_str();
            }
            --g_in.preamble_counter;
            g_in.state = LineInputState::program;
            g_prog.Open();
            g_in.column = 0;
            continue;
        }
        case LineInputState::program: {
            if (g_prog.HasLine()) {
                restore_program_position();
                std::size_t offset = g_in.column;
                if (!g_prog.ReadLine(g_in.buffer))
                    continue;
                restore_program_position();
                const char *text = deliver(offset);
                show_progress();
                return text;
            }
            close_source_range();
            // What the program leaves open (a brace, a comment, an "#asm", an "#if") is its own
            // error, reported now while its file is the current one; the library bodies that
            // follow would only be read as part of the unfinished program, into messages that
            // name the libraries, so they are not read then.
            const bool left_open =
                !watch_compile() && (bracket_depth() != 0 || !ifdef_stack().empty());
            if (left_open) {
                report_unmatched_brackets();
                check_open_conditionals();
            }
            g_in.progress = false;
            if (left_open)
                return end_of_all_input();
            g_in.state = LineInputState::module_bodies;
            if (g_index)
                g_index->module_bodies().Open();
            continue;
        }
        case LineInputState::module_bodies:
        case LineInputState::pending_modules: {
            if (!g_index)
                return end_of_all_input();
            InThread &bodies = g_index->module_bodies();
            if (bodies.HasLine() && bodies.ReadLine(g_in.buffer)) {
                restore_position(bodies);
                return deliver(0);
            }
            if (g_in.state == LineInputState::pending_modules)
                return nullptr;
            bodies.Close();
            report_unmatched_brackets();
            return end_of_all_input();
        }
        case LineInputState::library_header: {
            if (g_in.header_stack.empty()) {
                g_in.state = LineInputState::program;
                continue;
            }
            InThread &s = *g_in.header_stack.back().stream;
            if (s.HasLine() && s.ReadLine(g_in.buffer)) {
                restore_position(s);
                return deliver(0);
            }
            report_unmatched_brackets();
            pop_header_item();
            continue;
        }
        case LineInputState::in_memory: {
            if (g_in.line >= g_in.memory_lines.size() || !g_in.memory_lines[g_in.line])
                return nullptr;
            const char *text = g_in.memory_lines[g_in.line++];
            std::size_t off = std::min<std::size_t>(g_in.column, std::strlen(text));
            g_in.column = 0;
            g_in.delivered_offset = static_cast<uint16_t>(off);
            return text + off;
        }
        }
        return nullptr;
    }
}

void reset_line_position(int line, int column) {
    while (!g_in.header_stack.empty())
        pop_header_item();
    g_in.fetch_count = 0;
    g_in.reading = true;
    g_in.progress = false;
    g_in.program_line_shift = 0;
    g_in.line_counts.clear();
    g_prog = ProgThread();
    if (compile_mode_word() == 0) {
        g_in.state = LineInputState::preamble;
        g_in.line = 0;
        g_in.column = 0;
        g_in.preamble_counter = kPreambleStart;
        // The preamble is no source text: what the set-up defines belongs to no file, not to the
        // file the last compile read last.
        set_input_file_name("", 0);
        return;
    }
    g_in.state = LineInputState::program;
    g_in.line = static_cast<uint16_t>(line > 0 ? line - 1 : 0);
    g_in.column = static_cast<uint16_t>(column > 0 ? column - 1 : 0);
    g_in.preamble_counter = 0;
    set_input_file_name(g_program_file, 1);
    open_source_range(g_program_file, g_in.line, g_in.column);
    save_program_position();
}

void clear_line_position() {
    g_in.state = LineInputState::in_memory;
    g_in.line = 0;
    g_in.column = 0;
}

void close_line_input() {
    g_in.reading = false;
    while (!g_in.header_stack.empty())
        pop_header_item();
    if (g_index)
        g_index->module_bodies().Close();
}

// ---------------------------------------------------------------------------------------------
// "#use" and pending library modules.

// The catalogue is searched by file name and extension without regard to case; an entry whose
// headers were entered or whose modules are indexed already is skipped silently, so repeated
// and circular "#use" lines end at once.
void find_use_library(std::string name) {
    name = upper_case(name);                 // the message names it as written, path included
    std::string wanted = base_name(name);
    if (!g_index) {
        error_here(msg(2002), name.c_str());
        return;
    }
    std::size_t count = g_index->entry_count();
    std::size_t found = count;
    for (std::size_t i = 0; i < count; ++i) {
        if (equal_ignoring_case(base_name(g_index->entry(i).path), wanted)) {
            found = i;
            break;
        }
    }
    if (found == count) {
        error_here(msg(2002), name.c_str());
        return;
    }
    LibraryEntry &e = g_index->entry(found);
    if (e.flags & 0x03)
        return;
    HeaderStackItem item{g_in.state, g_in.line, g_in.column, nullptr, g_in.file_name,
                         g_in.file_flag};
    if (g_in.state == LineInputState::program)
        save_program_position();
    g_index->add_modules(found);
    e.flags |= 0x02;
    item.stream = g_index->open_header_stream(found);
    if (!item.stream) {
        error_here(msg(2002), name.c_str());
        return;
    }
    item.stream->Open();
    close_source_range();
    set_input_file_name(e.path, 0);
    g_in.header_stack.push_back(std::move(item));
    g_in.state = LineInputState::library_header;
    g_in.line = 0;
    g_in.column = 0;
    open_source_range(e.path, 0, 0);
}

void compile_pending_modules(bool force) {
    if (!g_index)
        return;
    static uint16_t saved_line = 0;
    if (g_in.state == LineInputState::program && (g_index->pending_item_count() > 64 || force)) {
        save_program_position();
        saved_line = g_in.line;
        // The program text's range ends here: the bodies' code is not the program's.
        close_source_range();
        // Library bodies compile without debug code; the program's selection comes back after.
        g_in.saved_selection = persistent_decl_flags();
        persistent_decl_flags().word &= ~uint32_t(0x10);
        g_in.progress = false;
        g_in.state = LineInputState::pending_modules;
        g_index->module_bodies().Open();
        fetch_next_line();
        if (!end_of_input())
            dispatch_directive();
        return;
    }
    if (g_in.state == LineInputState::pending_modules && !g_index->module_bodies().HasLine()) {
        g_index->module_bodies().Close();
        report_unmatched_brackets();
        restore_program_position();
        g_in.line = saved_line;
        open_source_range(g_program_file, g_in.line, g_in.column);
        set_input_file_name(g_program_file, 1);
        g_in.state = LineInputState::program;
        note_line_count();
        persistent_decl_flags() = g_in.saved_selection;
        g_in.progress = true;
        g_index->set_pending_item_count(0);
        clear_end_of_input();
        fetch_next_line();
        if (!end_of_input())
            dispatch_directive();
    }
}

// ---------------------------------------------------------------------------------------------
// Bracket matching.

void set_bracket_suppression(bool on) { g_bracket_suppressed = on; }
std::size_t bracket_depth() { return g_brackets.size(); }
void clear_brackets() { g_brackets.clear(); }

void note_bracket(char c, int line, int column) {
    static constexpr char kBrackets[] = "{}[]()";
    const char *p = c ? std::strchr(kBrackets, c) : nullptr;
    if (!p)
        return;
    match_bracket(static_cast<int>(p - kBrackets) + 2, line, column);
}

void match_bracket(int kind, int line, int column) {
    if (g_bracket_suppressed)
        return;
    if (kind % 2 == 0) {
        g_brackets.push_back({line, column, kind});
        return;
    }
    if (g_brackets.empty()) {
        report_unmatched({line, column, kind});
        return;
    }
    MatchBlockInfo top = g_brackets.back();
    if (top.kind == kind - 1) {
        g_brackets.pop_back();
        return;
    }
    if (compile_mode_word() != 0) {
        report_unmatched({line, column, kind});
    } else if (const char *text = bracket_text(kind)) {
        report_bracket_error(line, column, msg(2092), text, top.line);
    } else {
        report_bracket_error(line, column, msg(2093), top.line);
    }
    g_brackets.pop_back();
}

void report_unmatched_brackets() {
    while (!g_brackets.empty()) {
        MatchBlockInfo b = g_brackets.back();
        g_brackets.pop_back();
        report_unmatched(b);
    }
}
