// DB_SRC: the source and code position tables. The compiler fills them while it emits code
// (statement marks, the assembler's lines, the source input's file changes); the debugger, the
// editor, the disassembly and trace windows and the listing writer read them. Three tables of
// one class live for the whole run: `gLineTable` (one range of source text per statement, from
// its start to the next statement's), `gStatementTable` (one point per statement start) and
// `gAsmSourceTable` (one point per assembled line and per function or label). Lines and
// columns count from 1 and keep all 16 bits everywhere (a column past 255 is a column like any
// other). `db_source_tables()` serves the breakpoint-tables seam (SEAM_TARGET). Std-only.
#pragma once

#include "core/QBSTRING.h"
#include "core/SEAM_TARGET.h"

#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

// One record. A range record covers begin..end of its file (end column stored one less than
// given when that is above 0); a point record has begin = end = its position, so with a column
// above 0 it covers nothing and is found only by address.
struct ZBrkptInfo {
    uint16_t position_line = 0;
    uint16_t position_column = 0;
    uint16_t begin_line = 0;
    uint16_t begin_column = 0;
    uint16_t end_line = 0;
    uint16_t end_column = 0;
    QBString file;
    uint32_t line_offset = 0;  // of the source line current when the record was made
    uint32_t address = 0;      // ADDR24 word
};

// A table: the records, an index by source position and an index by physical code address.
// File names of the source index compare without regard to case (the editor asks by the
// upper-cased name, the compile records the name as written).
class ZBrkptTable {
public:
    // The source index key: file name (upper-cased), begin, end.
    using ZBrkptSrcKey = std::tuple<std::string, uint16_t, uint16_t, uint16_t, uint16_t>;
    // The address index key: the 20-bit physical address.
    using ZBrkptObjKey = uint32_t;
    using ZSrc2ObjCode = std::multimap<ZBrkptSrcKey, const ZBrkptInfo *>;
    using ZObjCode2Src = std::multimap<ZBrkptObjKey, const ZBrkptInfo *>;

    ZBrkptTable() = default;
    ZBrkptTable(const ZBrkptTable &) = delete;
    ZBrkptTable &operator=(const ZBrkptTable &) = delete;

    // Takes the record and enters it in both indexes.
    const ZBrkptInfo &add(ZBrkptInfo record);
    void clear();

    std::size_t size() const { return m_records.size(); }
    const ZSrc2ObjCode &by_source() const { return m_by_source; }
    const ZObjCode2Src &by_address() const { return m_by_address; }

    // The record whose range holds the position: of the records of that file that begin at or
    // before it and end at or after it, the one that begins first. Null when none does.
    const ZBrkptInfo *find_source(const std::string &file, uint16_t line, uint16_t column) const;

private:
    std::vector<std::unique_ptr<ZBrkptInfo>> m_records;
    ZSrc2ObjCode m_by_source;
    ZObjCode2Src m_by_address;
    // The most lines one record spans: a search by position looks back no further.
    uint16_t m_widest = 0;
};

extern ZBrkptTable gLineTable;
extern ZBrkptTable gStatementTable;
extern ZBrkptTable gAsmSourceTable;

// ---- filling ----------------------------------------------------------------------------------

// Empties the three tables and the pending statement (before each compile).
void clearBreakpoints();
// A point record with the current source line offset; none for an encrypted library file.
const ZBrkptInfo *addSourceEntry(const std::string &file, int line, int column, uint32_t address,
                                 ZBrkptTable &table);
// The source input entered (or came back to) `file` at that position with code at `address`.
void beginSourceRange(const std::string &file, int line, int column, uint32_t address);
// A statement begins: a point record in the statement table, and in `table` the range of the
// statement pending until now (when it is of the same file); this one becomes pending.
const ZBrkptInfo *markStatementPosition(const std::string &file, int line, int column,
                                        uint32_t address, ZBrkptTable &table);
// The source input leaves the file: the pending statement's range runs to the line after.
void endSourceRange(int line, int column, uint32_t address);

// ---- look-ups ---------------------------------------------------------------------------------

// The first record of the table at the physical address of `address`: its file, position line
// and column, and when asked its line offset. False when there is none.
bool lookupBreakpointByAddress(uint32_t address, uint16_t &line, uint16_t &column,
                               std::string &file, const ZBrkptTable &table,
                               uint32_t *line_offset = nullptr);
// The code address of the line table's statement whose range holds the position, or 0.
uint32_t lookupAddressBySource(const std::string &file, uint16_t line, uint16_t column);
// Appends every record at the physical address (index order); true when the list is not empty.
bool getSourceItemsAtAddress(uint32_t address, const ZBrkptTable &table,
                             std::vector<source_item> &items);
// The ".brk" text of the line table.
void dumpBreakpoints(std::ostream &out);

// The tables as the breakpoint-tables seam serves them (what the seam holds by default).
BreakpointTables &db_source_tables();
