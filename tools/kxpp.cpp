// kxpp: runs the source input and the preprocessor over a file and prints the resulting lines,
// one per line, then the messages. Libraries for "#use" are the files of the -L folder (an
// empty "default.h" stands in when the folder has none).
//   kxpp [-p] [-L folder] file      -p: prefix every line with "line:column: "
#include "core/CC_ER.h"
#include "input/CC_GLINE.h"
#include "driver/CC_GO.h"
#include "parser/CC_HIER.h"
#include "input/CC_IN.h"
#include "core/CC_STAB.h"
#include "linker/EMITCACHE.h"
#include "core/SEAM_TARGET.h"
#include "core/guiExceptions.h"
#include "RegularFile.h"
#include "ToolSeams.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A library's lines; none when it is no ordinary file or larger than a program may be.
std::vector<std::string> file_lines(const std::string &path) {
    std::string text;
    if (read_regular_text(path, std::size_t(64) << 20, text) != RegularFileStatus::Read)
        return {};
    return split_source_lines(text);
}

// A folder of library files; each file is all header, with no module bodies.
class FolderIndex : public LibraryIndex {
public:
    explicit FolderIndex(const std::string &folder) : m_bodies({}) {
        std::error_code ec;
        if (!folder.empty())
            for (const auto &e : std::filesystem::directory_iterator(folder, ec))
                if (e.is_regular_file())
                    m_entries.push_back({e.path().string(), 0});
        std::sort(m_entries.begin(), m_entries.end(),
                  [](const auto &a, const auto &b) { return a.path < b.path; });
        bool has_default = std::any_of(m_entries.begin(), m_entries.end(), [](const auto &e) {
            return std::filesystem::path(e.path).filename() == "default.h";
        });
        if (!has_default)
            m_entries.push_back({"default.h", 0});
    }
    std::size_t entry_count() override { return m_entries.size(); }
    LibraryEntry &entry(std::size_t i) override { return m_entries[i]; }
    void add_modules(std::size_t i) override { m_entries[i].flags |= 1; }
    std::unique_ptr<InThread> open_header_stream(std::size_t i) override {
        return std::make_unique<LineListThread>(file_lines(m_entries[i].path));
    }
    InThread &module_bodies() override { return m_bodies; }
    uint16_t pending_item_count() override { return 0; }
    void set_pending_item_count(uint16_t) override {}

private:
    std::vector<LibraryEntry> m_entries;
    LineListThread m_bodies;
};

} // namespace

int main(int argc, char **argv) {
    bool positions = false;
    std::string folder;
    std::string file;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-p") == 0)
            positions = true;
        else if (std::strcmp(argv[i], "-L") == 0 && i + 1 < argc)
            folder = argv[++i];
        else
            file = argv[i];
    }
    if (file.empty()) {
        std::fprintf(stderr, "usage: kxpp [-p] [-L folder] file\n");
        return 2;
    }
    FolderIndex index(folder);
    // Only the preprocessor runs here: a processor pragma has no code generator to switch.
    DirectiveHandlers handlers;
    handlers.select_target_cpu = [](int) {};
    set_directive_handlers(handlers);
    kxtools::NoDebuggerTables no_debugger;
    set_breakpoint_tables(&no_debugger);
    reset_errors();
    reset_error_seen_and_fatal();
    set_compile_mode_word(0);
    set_library_index(&index);
    set_program_file(file);
    set_preamble_context(false, 0x851, false);
    reset_input_state();
    // "#if" conditions are compiled as expressions: a name in them is looked up in the (empty)
    // symbol tables.
    allocate_symbol_tables(compiler_options().sym);
    reset_expression_parser();
    // Nor is there an origin table: what a faulty condition compiles is thrown away unplaced.
    set_emit_origin_table(nullptr);
    reset_line_position(0, 0);
    update_builtin_macros(false, 0, false);
    try {
        read_all_lines([positions](const char *line) {
            if (positions)
                std::printf("%d:%d: ", current_line(), current_column());
            std::printf("%s\n", line);
        });
    } catch (const xCCErrOvflo &) {
        std::printf("(compile stopped)\n");
    }
    close_line_input();
    kxtools::print_messages(stdout);
    set_library_index(nullptr);
    return get_error_status() & 2 ? 1 : 0;
}
