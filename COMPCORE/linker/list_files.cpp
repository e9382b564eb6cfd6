// list_files: the code-block map and the listing file (see the header).
#include "list_files.h"

#include "parser/CC_DECL.h"
#include "driver/CC_DUM.h"
#include "core/CC_ER.h"
#include "input/CC_GLINE.h"
#include "core/CC_MISC.h"
#include "CC_ROM.h"
#include "debugger/DB_DA.h"
#include "debugger/DB_ML.h"
#include "Lb_encr.h"
#include "core/SEAM_TARGET.h"
#include "StringResources.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdio>
#include <iterator>

namespace {

constexpr uint32_t kMsgListUnopened = 7402;   // "Could not open list file "%s" for output."
constexpr uint32_t kMsgListNoImage = 7403;    // "Internal error: Could not find input file ..."
constexpr uint32_t kMsgSourceUnopened = 7404; // "Internal Error: Could not open source file."

constexpr uint32_t kChunk = 256;      // image bytes listed at a time
constexpr uint32_t kLookahead = 16;   // image bytes read beyond a chunk for its last instruction
constexpr std::size_t kMaxEcho = 255; // characters of a source line echoed

CodeBlockList g_code_blocks;
ProtectedFileTest g_protected = &is_encrypted_file;

bool empty(const CodeBlock &b) { return !addr_less(b.start, b.end); }
bool holds(const CodeBlock &b, ADDR24 a) { return !addr_less(a, b.start) && addr_less(a, b.end); }

std::string text_of(uint32_t id) { return std::string(string_resource(id)); }

}  // namespace

// ---- code-block map -------------------------------------------------------------------------------

CodeBlockList &code_block_list() { return g_code_blocks; }
void set_protected_file_test(ProtectedFileTest test)
{
    g_protected = test ? test : &is_encrypted_file;
}

bool is_protected_source(const std::string &path) { return g_protected(path); }

void add_list_record(CodeBlockList &list, ADDR24 start, ADDR24 end, int kind)
{
    assert(kind >= kBlockConstant && kind <= kBlockProgramCode && "emitters record kinds 2 to 4");
    if (g_protected(input_file_name()))
        kind = kBlockProtected;
    else if (IsCompilingBios() && kind == kBlockProgramCode)
        kind = kBlockBiosCode;
    if (!addr_less(start, end))
        return;
    list.m_blocks.push_back({start, end, static_cast<uint8_t>(kind)});
    list.m_found = std::prev(list.m_blocks.end());
    list.m_normalised = false;
}

void clear_list_records(CodeBlockList &list)
{
    list.m_blocks.clear();
    list.m_found = list.m_blocks.end();
    list.m_normalised = false;
}

// One sweep over the block edges in address order: between two neighbouring edges the bytes
// belong to the lowest kind of the blocks open there (none open: no block); neighbouring
// pieces of one kind are one block.
void CodeBlockList::normalise()
{
    if (m_normalised)
        return;
    struct Edge {
        ADDR24 at;
        uint8_t kind;
        bool opens;
    };
    std::vector<Edge> edges;
    for (const CodeBlock &b : m_blocks) {
        if (empty(b))
            continue;
        edges.push_back({b.start, b.kind, true});
        edges.push_back({b.end, b.kind, false});
    }
    std::stable_sort(edges.begin(), edges.end(),
                     [](const Edge &x, const Edge &y) { return addr_less(x.at, y.at); });
    std::list<CodeBlock> resolved;
    std::array<uint32_t, kBlockProgramCode + 1> open{};  // blocks open, by kind
    for (std::size_t i = 0; i < edges.size();) {
        const ADDR24 here = edges[i].at;
        for (; i < edges.size() && !addr_less(here, edges[i].at); ++i) {
            uint32_t &n = open[edges[i].kind];
            n = edges[i].opens ? n + 1 : n - 1;
        }
        if (i == edges.size())
            break;
        const auto lowest = std::find_if(open.begin() + 1, open.end(), [](uint32_t n) { return n > 0; });
        if (lowest == open.end())
            continue;
        const uint8_t kind = static_cast<uint8_t>(lowest - open.begin());
        if (!resolved.empty() && resolved.back().kind == kind &&
            !addr_less(resolved.back().end, here))
            resolved.back().end = edges[i].at;
        else
            resolved.push_back({here, edges[i].at, kind});
    }
    m_blocks = std::move(resolved);
    m_found = m_blocks.end();
    m_normalised = true;
}

uint8_t CodeBlockList::kind_at(ADDR24 address)
{
    if (m_blocks.empty())
        return kBlockMapEmpty;
    if (m_found != m_blocks.end()) {
        if (holds(*m_found, address))
            return m_found->kind;
        // The listing walks in address order: the block after the last one answers next.
        const auto next = std::next(m_found);
        if (next != m_blocks.end() && holds(*next, address)) {
            m_found = next;
            return m_found->kind;
        }
    }
    m_found = std::find_if(m_blocks.begin(), m_blocks.end(),
                           [&](const CodeBlock &b) { return holds(b, address); });
    return m_found == m_blocks.end() ? uint8_t{kBlockNone} : m_found->kind;
}

// ---- the listing ----------------------------------------------------------------------------------

namespace {

std::string base_file_name(const std::string &path)
{
    const std::size_t cut = path.find_last_of("/\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool same_file(const std::string &a, const std::string &b)
{
    return normalize_separators(a) == normalize_separators(b);
}

// One line of a constant dump: the address column, the bytes as "%02X " (missing ones as three
// blanks), then the characters after a tab (a full line) or a blank (the last one).
std::string dump_line(ADDR24 address, const uint8_t *bytes, uint32_t n, bool full)
{
    std::string hex = formatCodeAddress(address), chars;
    char cell[4];
    for (uint32_t i = 0; i < 16; ++i) {
        if (i < n) {
            std::snprintf(cell, sizeof cell, "%02X ", bytes[i]);
            hex += cell;
            chars += bytes[i] > 0x20 && bytes[i] < 0x80 ? static_cast<char>(bytes[i]) : ' ';
        } else {
            hex += "   ";
        }
    }
    return hex + (full ? "\t" : " ") + chars;
}

}  // namespace

ListFile::~ListFile()
{
    if (reader.is_open())
        reader.close();
    current_source.clear();
}

std::string ListFile::constant_data_text(const uint8_t *bytes, uint32_t &count, ADDR24 start)
{
    CodeBlockList &map = code_block_list();
    uint32_t n = 0;
    while (n < count && map.kind_at(addr_add(start, static_cast<int32_t>(n))) == kBlockConstant)
        ++n;
    count = n;
    std::string text = "*** Constant Data ***";
    uint32_t at = 0;
    for (; at + 16 <= n; at += 16)
        text += "\n" + dump_line(addr_add(start, static_cast<int32_t>(at)), bytes + at, 16, true);
    text += "\n" + dump_line(addr_add(start, static_cast<int32_t>(at)), bytes + at, n - at, false);
    return text + "\n*** End Constant Data ***";
}

std::string ListFile::source_echo(const std::string &file, int line, int column, int32_t offset)
{
    char prefix[300];
    std::snprintf(prefix, sizeof prefix, "[%s(%d:%d)]: ", base_file_name(file).c_str(), line,
                  column);
    const bool program = same_file(file, base_name);
    if (file != current_source) {
        if (reader.is_open())
            reader.close();
        reader.clear();
        current_source = file;
        if (!program)
            reader.open(file, std::ios::binary);
        if (!program && !reader.is_open()) {
            success = false;
            return text_of(kMsgSourceUnopened);
        }
    }
    if (!program && !reader.is_open()) {  // an earlier open of this file failed
        success = false;
        return text_of(kMsgSourceUnopened);
    }
    if (offset < 0)
        return prefix;
    const int64_t at = int64_t(offset) + std::max(column, 1) - 1;
    std::string text;
    if (program) {
        const std::string &source = compiled_program_text();
        if (at < int64_t(source.size())) {
            const std::size_t end = source.find('\n', static_cast<std::size_t>(at));
            text = source.substr(static_cast<std::size_t>(at),
                                 (end == std::string::npos ? source.size() : end) -
                                     static_cast<std::size_t>(at));
        }
    } else {
        reader.clear();
        reader.seekg(at);
        std::getline(reader, text);
        reader.clear();
    }
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    if (text.size() > kMaxEcho)
        text.resize(kMaxEcho);
    return prefix + text;
}

ADDR24 ListFile::list_chunk(ADDR24 start, std::span<const uint8_t> bytes, uint32_t length,
                            DisInfoList &records)
{
    records.clear();
    CodeBlockList &map = code_block_list();
    map.normalise();
    BreakpointTables &tables = breakpoint_tables();
    ADDR24 a = start;
    for (int32_t off; (off = addr_diff(a, start)) >= 0 && uint32_t(off) < length;) {
        DisInfo r;
        r.address = a;
        source_item at;
        if (tables.lookupBreakpointByAddress(a, SourceTable::Line, at) ||
            tables.lookupBreakpointByAddress(a, SourceTable::Statement, at)) {
            r.line = at.line;
            r.column = at.column;
            r.file = at.file;
            r.offset = static_cast<int32_t>(at.line_offset);
        }
        const std::span<const uint8_t> here = bytes.subspan(static_cast<std::size_t>(off));
        uint16_t size = 0;
        std::string mnemonic, line;
        disassembleOne(a, here, size, mnemonic);
        formatInstructionLine(a, here, size, mnemonic, line);
        uint32_t step = std::max<uint16_t>(size, 1);
        bool repeat = false;
        switch (map.kind_at(a)) {
        case kBlockProtected:
            r.line = -1;
            r.text = "*** Encrypted library code ***";
            r.kind = kBlockProtected;
            break;
        case kBlockConstant:
            step = length - uint32_t(off);
            r.text = constant_data_text(here.data(), step, a);
            r.kind = kBlockConstant;
            break;
        case kBlockBiosCode:
        case kBlockProgramCode:
            r.text = line;
            r.kind = kBlockProgramCode;
            break;
        default:
            r.text = "*** Unknown Code or Data ***";
            r.kind = kBlockNone;
            break;
        }
        repeat = (r.kind == kBlockProtected || r.kind == kBlockNone) && r.kind == m_last_kind;
        m_last_kind = r.kind;
        a = addr_add(a, static_cast<int32_t>(step));
        if (!repeat)
            records.push_back(std::move(r));
    }
    return a;
}

bool write_list_file(ListFile &list, const std::string &base_name, uint32_t image_start)
{
    if (watch_compile())
        return false;
    list.base_name = base_name;
    std::string image_path = base_name, list_path = base_name;
    make_path(image_path, "", "bdl", kPathReplaceExt);
    make_path(list_path, "", "lst", kPathReplaceExt);

    std::ofstream out(list_path, std::ios::out | std::ios::trunc);
    if (!out) {
        ShowMessageLine(true, text_of(kMsgListUnopened).c_str(), list_path.c_str());
        return false;
    }
    // Only the image this compile built is listed, never one left by an earlier compile.
    const std::optional<BuiltImage> built = last_built_image();
    std::ifstream image;
    if (built && same_file(built->image_path, image_path))
        image.open(image_path, std::ios::binary);
    if (!image.is_open()) {
        ShowMessageLine(true, text_of(kMsgListNoImage).c_str(), image_path.c_str());
        return false;
    }

    const ProgramExtent &extent = program_extent();
    const auto header = [&](const char *title, ADDR24 from, ADDR24 to) {
        char text[96];
        std::snprintf(text, sizeof text, "%s\nStart: 0x%x\nEnd: 0x%x\n", title,
                      addr_to_physical(from), addr_to_physical(to));
        out << text;
    };
    const bool xmem_used = addr_less(extent.xmem_start, extent.xmem_end);
    // One section: its chunks in address order, each written before the next is read. False
    // when the image ended before the section did.
    DisInfoList records;
    std::vector<uint8_t> chunk;
    BreakpointTables &tables = breakpoint_tables();
    const auto list_section = [&](ADDR24 current, ADDR24 end) {
        while (addr_less(current, end)) {
            const int64_t at = int64_t(addr_to_physical(current)) - image_start;
            const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(addr_diff(end, current)), kChunk);
            chunk.assign(n + kLookahead, 0);
            image.clear();
            if (at < 0 || !image.seekg(at))
                return false;
            image.read(reinterpret_cast<char *>(chunk.data()), n + kLookahead);
            if (image.gcount() < std::streamsize(n))
                return false;
            current = list.list_chunk(current, chunk, n, records);
            for (const DisInfo &r : records) {
                std::vector<source_item> items;
                tables.getSourceItemsAtAddress(r.address, SourceTable::AsmSource, items);
                for (const source_item &i : items)
                    out << list.source_echo(i.file, i.line, i.column,
                                            static_cast<int32_t>(i.line_offset))
                        << '\n';
                if (r.line > 0)
                    out << list.source_echo(r.file, r.line, r.column, r.offset) << '\n';
                out << r.text << '\n';
            }
            records.clear();
        }
        return true;
    };

    header("*** Begin Root ***", extent.root_start, extent.root_end);
    if (list_section(extent.root_start, extent.root_end)) {
        if (xmem_used) {
            out << '\n';
            header("*** Begin Xmem ***", extent.xmem_start, extent.xmem_end);
            list_section(extent.xmem_start, extent.xmem_end);
        } else {
            out << "\nXmem not used.\n";
        }
    }
    out.close();
    image.close();
    clear_list_records(code_block_list());
    return list.success;
}
