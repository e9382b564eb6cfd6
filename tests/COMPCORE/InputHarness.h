// Test harness of the source input: an in-memory library catalogue, a temporary program file,
// and a driver that runs the line input, the directives and the macro expansion like the lexer
// does, collecting each resulting line with the source position of its first character.
#pragma once

#include "core/CC_ER.h"
#include "input/CC_GLINE.h"
#include "input/CC_IN.h"
#include "core/guiExceptions.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <unistd.h>
#include <string>
#include <vector>

namespace input_test {

inline std::vector<std::string> split_lines(const std::string &text) { return split_source_lines(text); }

// A header stream that counts how often it was closed.
class LinesThread : public LineListThread {
public:
    using LineListThread::LineListThread;
    void Close() override { ++closed; }
    int closed = 0;
};

// Module bodies: the bodies of every library whose modules were added, in catalogue order.
class BodiesThread : public InThread {
public:
    std::vector<std::pair<std::string, std::vector<std::string>>> files;
    std::size_t file = 0;
    std::size_t index = 0;
    // Bodies compiled once (between declarations) are not read again after the program text.
    void Open() override {
        line = static_cast<uint16_t>(index);
        next_file();
    }
    bool HasLine() override {
        next_file();
        return file < files.size();
    }
    bool ReadLine(std::string &out) override {
        if (!HasLine())
            return false;
        out = files[file].second[index++];
        line = static_cast<uint16_t>(index);
        return true;
    }

private:
    void next_file() {
        while (file < files.size() && index >= files[file].second.size()) {
            ++file;
            index = 0;
            line = 0;
            if (file < files.size())
                set_input_file_name(files[file].first, 0);
        }
        if (file < files.size() && index == 0 && line == 0)
            set_input_file_name(files[file].first, 0);
    }
};

struct Library {
    std::string path;
    std::string headers;
    std::string bodies;
};

class FakeLibraryIndex : public LibraryIndex {
public:
    std::vector<LibraryEntry> entries;
    std::vector<Library> libs;
    BodiesThread body_thread;
    uint16_t pending = 0;
    std::vector<std::string> added;

    void add(Library lib) {
        entries.push_back({lib.path, 0});
        libs.push_back(std::move(lib));
    }
    std::size_t entry_count() override { return entries.size(); }
    LibraryEntry &entry(std::size_t i) override { return entries[i]; }
    void add_modules(std::size_t i) override {
        entries[i].flags |= 1;
        added.push_back(entries[i].path);
        auto body = split_lines(libs[i].bodies);
        if (!body.empty())
            body_thread.files.push_back({entries[i].path, body});
        ++pending;
    }
    std::unique_ptr<InThread> open_header_stream(std::size_t i) override {
        return std::make_unique<LinesThread>(split_lines(libs[i].headers));
    }
    InThread &module_bodies() override { return body_thread; }
    uint16_t pending_item_count() override { return pending; }
    void set_pending_item_count(uint16_t n) override { pending = n; }
};

// Puts back the seams that the compiler driver installs once (editor text, progress line,
// library index), so that a test that replaces them leaves later compiles as it found them.
class InputSeamsGuard {
public:
    InputSeamsGuard()
        : m_editor(source_editor_text()), m_progress(progress_reporter()), m_index(library_index()) {}
    ~InputSeamsGuard() {
        set_source_editor_text(m_editor);
        set_progress_reporter(m_progress);
        set_library_index(m_index);
        set_compile_mode_word(0);
    }
    InputSeamsGuard(const InputSeamsGuard &) = delete;
    InputSeamsGuard &operator=(const InputSeamsGuard &) = delete;

private:
    SourceEditorText *m_editor;
    std::function<void(uint16_t)> m_progress;
    LibraryIndex *m_index;
};

struct OutLine {
    std::string text;
    int line;
    int column;
    std::string file;
};

struct Message {
    int16_t kind;
    int line;
    int column;
    std::string summary;
    std::string file;
};

struct Result {
    std::vector<OutLine> lines;
    std::vector<Message> messages;
    bool stopped = false; // the compile ended by xCCErrOvflo
    std::string texts() const {
        std::string s;
        for (const auto &l : lines)
            s += l.text + "\n";
        return s;
    }
};

// The summary without the "ERROR name   : " prefix of the record line.
inline std::string message_text(const std::string &summary) {
    std::size_t p = summary.find("   : ");
    return p == std::string::npos ? summary : summary.substr(p + 5);
}

inline std::vector<Message> collect_messages() {
    std::vector<Message> out;
    for (sError *e = gMessageList; e; e = e->next)
        out.push_back({e->kind, e->line, e->column, message_text(e->summary), e->file});
    return out;
}

// Runs a whole program compile's input over `path` (lines with no characters are left out).
inline Result run_input(const std::string &path, LibraryIndex *index,
                        const std::function<void()> &setup = {}) {
    Result r;
    InputSeamsGuard seams;
    macro_table().clear();
    reset_errors();
    reset_error_seen_and_fatal();
    set_compile_mode_word(0);
    set_library_index(index);
    set_program_file(path);
    set_preamble_context(false, 0x851, false);
    reset_input_state();
    set_warning_switches(1, 1);
    if (setup)
        setup();
    reset_line_position(0, 0);
    update_builtin_macros(false, 0, false);
    try {
        read_all_lines([&r](const char *line) {
            r.lines.push_back({line, current_line(), current_column(), input_file_name()});
        });
    } catch (const xCCErrOvflo &) {
        r.stopped = true;
    }
    close_line_input();
    r.messages = collect_messages();
    return r;
}

inline std::vector<std::string> summaries(const Result &r) {
    std::vector<std::string> s;
    for (const auto &m : r.messages)
        s.push_back(m.summary);
    return s;
}

inline bool has_message(const Result &r, const std::string &text, int line = -1) {
    for (const auto &m : r.messages)
        if (m.summary == text && (line < 0 || m.line == line))
            return true;
    return false;
}

// The lines and then the messages with their positions, for failure output.
inline std::string dump(const Result &r) {
    std::string s = r.texts();
    for (const auto &m : r.messages)
        s += "MSG " + m.file + ":" + std::to_string(m.line) + ":" + std::to_string(m.column) + " " +
             m.summary + "\n";
    return s;
}

class TempSource {
public:
    explicit TempSource(const std::string &text, const std::string &name = "prog.c") {
        m_dir = std::filesystem::temp_directory_path() /
                ("kx-input-" + std::to_string(::getpid()) + "-" + std::to_string(++counter()));
        std::filesystem::create_directories(m_dir);
        m_path = (m_dir / name).string();
        std::ofstream(m_path, std::ios::binary) << text;
    }
    ~TempSource() {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    const std::string &path() const { return m_path; }

private:
    static int &counter() {
        static int n = 0;
        return n;
    }
    std::filesystem::path m_dir;
    std::string m_path;
};

// A catalogue that holds an empty default.h, as every program compile "#use"s it.
inline FakeLibraryIndex default_index() {
    FakeLibraryIndex idx;
    idx.add({"LIB/DEFAULT.H", "", ""});
    return idx;
}

inline Result run_text(const std::string &text, const std::function<void()> &setup = {}) {
    TempSource src(text);
    FakeLibraryIndex idx = default_index();
    return run_input(src.path(), &idx, setup);
}

} // namespace input_test
