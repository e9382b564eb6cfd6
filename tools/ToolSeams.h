// ToolSeams: what the command-line tools that drive the compiler share: the debugger's tables,
// which no tool keeps, and the one way the tools print the compiler's messages.
#pragma once

#include "core/CC_ER.h"
#include "core/SEAM_TARGET.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace kxtools {

// No debugger runs behind a tool: the source positions of the code are not kept.
class NoDebuggerTables : public BreakpointTables {
public:
    void clearBreakpoints() override {}
    void dumpBreakpoints(std::ostream &) override {}
    void beginSourceRange(const std::string &, int, int, uint32_t) override {}
    void endSourceRange(int, int, uint32_t) override {}
    void addSourceEntry(SourceTable, const std::string &, int, int, uint32_t) override {}
    void markStatementPosition(SourceTable, const std::string &, int, int, uint32_t) override {}
    bool lookupBreakpointByAddress(uint32_t, SourceTable, source_item &) override { return false; }
    bool getSourceItemsAtAddress(uint32_t, SourceTable, std::vector<source_item> &) override
    {
        return false;
    }
    uint32_t lookupAddressBySource(const std::string &, uint16_t, uint16_t) override { return 0; }
};

// One line per recorded message, in the order recorded:
//   error main.c:12:5: text        (warning ... for a warning; the file's name without folder)
inline void print_messages(std::FILE *to)
{
    for (sError *e = gMessageList; e; e = e->next) {
        const std::string &s = e->summary;
        const std::size_t cut = s.find("   : ");
        const std::string text = cut == std::string::npos ? s : s.substr(cut + 5);
        const std::string name = std::filesystem::path(e->file).filename().string();
        std::fprintf(to, "%s %s:%d:%d: %s\n", e->kind == 0 ? "error" : "warning", name.c_str(),
                     e->line, e->column, text.c_str());
    }
}

}  // namespace kxtools
