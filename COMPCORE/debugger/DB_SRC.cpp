// DB_SRC: the source and code position tables (see the header).
#include "DB_SRC.h"

#include "core/CC_ADDR.h"
#include "input/CC_GLINE.h"
#include "core/CC_MISC.h"
#include "linker/Lb_encr.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

ZBrkptTable gLineTable;
ZBrkptTable gStatementTable;
ZBrkptTable gAsmSourceTable;

namespace {

// Positions arrive as ints from the compiler; a record holds 16 bits and keeps every one of
// them. Anything outside 0..65535 is held at the nearest end rather than wrapped onto another
// line or column.
uint16_t to16(int value) { return static_cast<uint16_t>(std::clamp(value, 0, 0xFFFF)); }
uint16_t next_line(uint16_t line) { return line == 0xFFFF ? line : uint16_t(line + 1); }

bool in_xmem(uint32_t address) { return addr_offset(address) >= window_start(); }

// The statement marked last, waiting for the next mark (or the end of its file) to close its
// range.
struct PendingStatement {
    bool file_made = false;  // by the first clearBreakpoints
    QBString file;
    uint16_t line = 0;
    uint16_t column = 0;
    uint16_t previous_line = 0;  // line of the statement before the pending one
    uint32_t root_start = 0;
    uint32_t xmem_start = 0;
    uint32_t last_address = 0;
    uint32_t line_offset = 0;
    uint16_t count = 0;  // statements since the file was entered

    void set_start(uint32_t address) { (in_xmem(address) ? xmem_start : root_start) = address; }
    uint32_t start_for(uint32_t address) const { return in_xmem(address) ? xmem_start : root_start; }
};
PendingStatement g_pending;

// The record of the pending statement's range, up to `end` (whose column is stored one less).
ZBrkptInfo pending_range(const QBString &file, uint16_t end_line, uint16_t end_column,
                         uint32_t address)
{
    ZBrkptInfo r;
    r.position_line = g_pending.line;
    r.position_column = g_pending.column;
    r.begin_line = g_pending.line;
    // A statement that opens its line owns the line from its first column.
    r.begin_column = g_pending.line == g_pending.previous_line ? g_pending.column : 1;
    r.end_line = end_line;
    r.end_column = end_column > 0 ? uint16_t(end_column - 1) : 0;
    r.file = file;
    r.line_offset = g_pending.line_offset;
    r.address = address;
    return r;
}

bool before(uint16_t line_a, uint16_t column_a, uint16_t line_b, uint16_t column_b)
{
    return line_a < line_b || (line_a == line_b && column_a < column_b);
}

}  // namespace

// ---- ZBrkptTable ----------------------------------------------------------------------------

const ZBrkptInfo &ZBrkptTable::add(ZBrkptInfo record)
{
    m_records.push_back(std::make_unique<ZBrkptInfo>(std::move(record)));
    const ZBrkptInfo *r = m_records.back().get();
    m_by_source.emplace(ZBrkptSrcKey{upper_case(r->file.c_str()), r->begin_line, r->begin_column,
                                     r->end_line, r->end_column},
                        r);
    m_by_address.emplace(addr_to_physical(r->address), r);
    if (r->end_line > r->begin_line)
        m_widest = std::max<uint16_t>(m_widest, uint16_t(r->end_line - r->begin_line));
    return *r;
}

void ZBrkptTable::clear()
{
    m_by_source.clear();
    m_by_address.clear();
    m_records.clear();
    m_widest = 0;
}

const ZBrkptInfo *ZBrkptTable::find_source(const std::string &file, uint16_t line,
                                           uint16_t column) const
{
    const std::string name = upper_case(file);
    // Every record that begins at or before the position lies before this bound; only those
    // that begin within the widest span of it can reach it.
    auto it = m_by_source.upper_bound(ZBrkptSrcKey{name, line, column, 0xFFFF, 0xFFFF});
    const ZBrkptInfo *found = nullptr;
    while (it != m_by_source.begin()) {
        --it;
        const auto &[key_file, begin_line, begin_column, end_line, end_column] = it->first;
        if (key_file != name || int(begin_line) + m_widest < int(line))
            break;
        if (!before(end_line, end_column, line, column))
            found = it->second;
    }
    return found;
}

// ---- filling ----------------------------------------------------------------------------------

void clearBreakpoints()
{
    gLineTable.clear();
    gStatementTable.clear();
    gAsmSourceTable.clear();
    g_pending.count = 0;
    g_pending.file_made = true;
}

const ZBrkptInfo *addSourceEntry(const std::string &file, int line, int column, uint32_t address,
                                 ZBrkptTable &table)
{
    if (is_encrypted_file(file))
        return nullptr;
    ZBrkptInfo r;
    r.position_line = r.begin_line = r.end_line = to16(line);
    r.position_column = r.begin_column = to16(column);
    r.end_column = r.begin_column > 0 ? uint16_t(r.begin_column - 1) : 0;
    r.file = file;
    r.line_offset = source_line_offset();
    r.address = address;
    return &table.add(std::move(r));
}

void beginSourceRange(const std::string &file, int line, int column, uint32_t address)
{
    g_pending.file_made = true;
    g_pending.file = file;
    g_pending.line = g_pending.previous_line = to16(line);
    g_pending.column = to16(column);
    g_pending.set_start(address);
    // The range that opens here gets its code address by this address's kind of memory, and
    // echoes the line the input stands on now, not those of the file it came from.
    g_pending.last_address = address;
    g_pending.line_offset = source_line_offset();
    g_pending.count = 0;
}

const ZBrkptInfo *markStatementPosition(const std::string &file, int line, int column,
                                        uint32_t address, ZBrkptTable &table)
{
    ++g_pending.count;
    (void)addSourceEntry(file, line, column, address, gStatementTable);
    const uint16_t at_line = to16(line);
    const uint16_t at_column = to16(column);
    const ZBrkptInfo *added = nullptr;
    const QBString name(file);
    if (g_pending.file_made && g_pending.file == name) {
        const uint16_t end_column = at_line == g_pending.line ? at_column : 0;
        added = &table.add(pending_range(name, at_line, end_column,
                                         g_pending.start_for(g_pending.last_address)));
    } else {
        // A range never spans two files: the first statement of another file only waits.
        g_pending.file = name;
        g_pending.file_made = true;
    }
    g_pending.last_address = address;
    g_pending.previous_line = g_pending.line;
    g_pending.line = at_line;
    g_pending.column = at_column;
    g_pending.line_offset = source_line_offset();
    g_pending.set_start(address);
    return added;
}

void endSourceRange(int line, int column, uint32_t address)
{
    if (g_pending.count == 0 || !g_pending.file_made)
        return;
    gLineTable.add(pending_range(g_pending.file, next_line(to16(line)), to16(column),
                                 g_pending.start_for(address)));
    g_pending.count = 0;
}

// ---- look-ups ---------------------------------------------------------------------------------

bool lookupBreakpointByAddress(uint32_t address, uint16_t &line, uint16_t &column,
                               std::string &file, const ZBrkptTable &table, uint32_t *line_offset)
{
    const auto it = table.by_address().find(addr_to_physical(address));
    if (it == table.by_address().end())
        return false;
    const ZBrkptInfo &r = *it->second;
    file = r.file.c_str();
    line = r.position_line;
    column = r.position_column;
    if (line_offset)
        *line_offset = r.line_offset;
    return true;
}

uint32_t lookupAddressBySource(const std::string &file, uint16_t line, uint16_t column)
{
    const ZBrkptInfo *r = gLineTable.find_source(file, line, column);
    return r ? r->address : 0;
}

bool getSourceItemsAtAddress(uint32_t address, const ZBrkptTable &table,
                             std::vector<source_item> &items)
{
    const auto [from, to] = table.by_address().equal_range(addr_to_physical(address));
    for (auto it = from; it != to; ++it) {
        const ZBrkptInfo &r = *it->second;
        items.push_back({r.file.c_str(), r.position_line, r.position_column, r.line_offset});
    }
    return !items.empty();
}

// "a total of N breakpoints", then per record in source order:
//   file([begin line,begin column],[end line,end column]@[line,column])->XX:OOOO
// with "**" for the XPC of a root address.
void dumpBreakpoints(std::ostream &out)
{
    char text[64];
    std::snprintf(text, sizeof text, "a total of %u breakpoints\n",
                  static_cast<unsigned>(gLineTable.by_source().size()));
    out << text;
    for (const auto &[key, r] : gLineTable.by_source()) {
        out << r->file.c_str();
        std::snprintf(text, sizeof text, "([%u,%u],[%u,%u]@[%u,%u])->", r->begin_line,
                      r->begin_column, r->end_line, r->end_column, r->position_line,
                      r->position_column);
        out << text;
        if (in_xmem(r->address))
            std::snprintf(text, sizeof text, "%2x", addr_xpc(r->address));
        else
            std::snprintf(text, sizeof text, "**");
        out << text;
        std::snprintf(text, sizeof text, ":%4x\n", addr_offset(r->address));
        out << text;
    }
}

// ---- the seam ---------------------------------------------------------------------------------

namespace {

ZBrkptTable &table_of(SourceTable table)
{
    switch (table) {
    case SourceTable::Line: return gLineTable;
    case SourceTable::Statement: return gStatementTable;
    case SourceTable::AsmSource: return gAsmSourceTable;
    }
    return gLineTable;
}

class DbSourceTables : public BreakpointTables {
public:
    void clearBreakpoints() override { ::clearBreakpoints(); }
    void dumpBreakpoints(std::ostream &out) override { ::dumpBreakpoints(out); }
    void beginSourceRange(const std::string &file, int line, int column,
                          uint32_t address) override
    {
        ::beginSourceRange(file, line, column, address);
    }
    void endSourceRange(int line, int column, uint32_t address) override
    {
        ::endSourceRange(line, column, address);
    }
    void addSourceEntry(SourceTable table, const std::string &file, int line, int column,
                        uint32_t address) override
    {
        (void)::addSourceEntry(file, line, column, address, table_of(table));
    }
    void markStatementPosition(SourceTable table, const std::string &file, int line, int column,
                               uint32_t address) override
    {
        (void)::markStatementPosition(file, line, column, address, table_of(table));
    }
    bool lookupBreakpointByAddress(uint32_t address, SourceTable table,
                                   source_item &found) override
    {
        return ::lookupBreakpointByAddress(address, found.line, found.column, found.file,
                                           table_of(table), &found.line_offset);
    }
    bool getSourceItemsAtAddress(uint32_t address, SourceTable table,
                                 std::vector<source_item> &items) override
    {
        const std::size_t before = items.size();
        (void)::getSourceItemsAtAddress(address, table_of(table), items);
        return items.size() > before;
    }
    uint32_t lookupAddressBySource(const std::string &file, uint16_t line,
                                   uint16_t column) override
    {
        return ::lookupAddressBySource(file, line, column);
    }
};

DbSourceTables g_seam_tables;

}  // namespace

BreakpointTables &db_source_tables() { return g_seam_tables; }
