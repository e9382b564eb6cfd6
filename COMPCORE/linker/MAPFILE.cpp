// MAPFILE: recording and writing the map file.
// Map file layout (each line ends with one line feed; L(n)/R(n) a field of n characters, text
// left/right aligned, a longer text written whole):
//   [protection note]
//   memory layout: root code, root data, xmem code            + 3 empty lines
//   functions and labels: root list, then xmem list           + 2 empty lines
//   global and static data                                    + 1 empty line
//   parameters and autos                                      + 2 empty lines
//   macros                                                    + 2 empty lines
//   call graph from "premain"
// Called by the compile set-up and top (linker seam), the assembler's host (labels and calls),
// the macro table and the declaration parser (symbols).
#include "MAPFILE.h"

#include "driver/CC_DUM.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_GLINE.h"
#include "core/CC_STAB.h"
#include "LB_CAT.h"
#include "Lb_encr.h"
#include "core/SEAM_TARGET.h"
#include "core/guiInterface.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>

std::map<uint32_t, AddressName> gAddressNameMap;

namespace {

constexpr uint32_t kMsgCannotOpenFile = 5023;  // "Cannot open file '%s'."
// The bound of the two function lists, whatever the xmem window start is.
constexpr uint16_t kXmemListBound = 0xE000;
constexpr std::size_t kShortFileName = 31;

std::vector<std::unique_ptr<MapFileEntry>> g_root_functions;
std::vector<std::unique_ptr<MapFileEntry>> g_xmem_functions;
std::vector<std::unique_ptr<MapFileEntry>> g_macros;
std::map<std::string, MapFileEntry *> g_index;  // the first entry of a name stays
std::vector<MapSymbol> g_symbols;
std::vector<MapFileEntry *> g_pending_size;
MapFileEntry *g_current = nullptr;
std::vector<std::string> g_call_path;
int g_call_depth = 0;
std::ofstream g_stream;

TypeNameFormatter g_type_name;

bool recording() { return !watch_compile(); }

// ---- the plain type text --------------------------------------------------------------------------
// Declarator word: one 4-bit group per level, outermost lowest; bits 0-1 of a group 0 none,
// 1 array, 2 pointer, 3 function; bit 2 the level is const.

std::string base_type_text(int32_t type)
{
    switch (type) {
    case 1: return "char";
    case 2: return "int";
    case 3: return "unsigned int";
    case 4: return "long";
    case 5: return "unsigned long";
    case 7: return "float";
    case 12: return "void";
    default: return type >= 16 ? "struct" : "int";
    }
}

std::string plain_type_text(int32_t type, uint32_t declarator, const std::string &name)
{
    std::string decl = name;
    for (int level = 0; level < 8; ++level) {
        const uint32_t group = (declarator >> (4 * level)) & 0xF;
        const uint32_t form = group & 3;
        if (form == 0)
            break;
        if (form == 2) {
            decl = ((group & 4) ? "* const " : "*") + decl;
            continue;
        }
        if (!decl.empty() && decl[0] == '*')
            decl = "(" + decl + ")";
        decl += form == 1 ? "[]" : "()";
    }
    const std::string base = base_type_text(type);
    return decl.empty() ? base : base + " " + decl;
}

// ---- fields -----------------------------------------------------------------------------------------

std::string left(const std::string &text, std::size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string right(const std::string &text, std::size_t width)
{
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string hex(uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", digits, value);
    return text;
}

// 7 characters: "xx:oooo" for an xmem address (offset at or above the window start, or an XPC
// byte), "   oooo" for a root one.
std::string address_field(ADDR24 address)
{
    if (addr_offset(address) >= window_start() || addr_xpc(address) != 0)
        return hex(addr_xpc(address), 2) + ":" + hex(addr_offset(address), 4);
    return "   " + hex(addr_offset(address), 4);
}

// The last 31 characters, then from the last separator on (the separator kept).
std::string short_file_name(const std::string &file)
{
    std::string name = file.size() > kShortFileName ? file.substr(file.size() - kShortFileName) : file;
    const std::size_t slash = name.find_last_of("\\/");
    return slash == std::string::npos ? name : name.substr(slash);
}

// A name of a protected library file is shown only when the index describes exactly one
// function of that name.
bool hidden(const std::string &name, const std::string &file)
{
    return !file.empty() && is_encrypted_file(file) && !lib_find_function(name, nullptr, nullptr);
}

std::string shown_name(const std::string &name, const std::string &file)
{
    return hidden(name, file) ? "####" : name;
}

std::string type_text(const MapSymbol &s)
{
    switch ((s.flags >> 3) & 3) {
    case 1: return "#ximport";
    case 2: return "#zimport";
    default: return (g_type_name ? g_type_name : plain_type_text)(s.type, s.declarator, s.name);
    }
}

// ---- sections -----------------------------------------------------------------------------------------

void write_layout_row(std::ostream &out, const char *segment, ADDR24 origin, uint32_t size)
{
    out << left(segment, 20) << hex(addr_xpc(origin), 2) << ":" << hex(addr_offset(origin), 4)
        << "    " << hex(size, 6) << "\n";
}

// The layout of the compile: each segment's origin (where its cache was bound) and how far its
// cache got. The data cache falls from its origin, so its row starts at the end reached.
void write_layout(std::ostream &out)
{
    out << "// Compilers view of MMU. Note these values are determined by the origin statements "
           "in the BIOS.\n";
    out << left("//Segment ", 20) << left("Origin", 11) << "Size\n";
    EmitCache &root = root_code_cache();
    const ADDR24 root_start = root.is_bound() ? root.GetOrigin().start : kDummyAddress;
    write_layout_row(out, "Root Code", root_start, root.current - root_start);

    EmitCache &data = data_cache();
    const ADDR24 data_start = data.is_bound() ? data.GetOrigin().start : data.current;
    const ADDR24 data_end = data.current;
    const uint32_t data_size = data.direction < 0 ? data_start - data_end : data_end - data_start;
    write_layout_row(out, "Root Data", data_end, data_size);

    EmitCache &xmem = xmem_code_cache();
    const ADDR24 xmem_start = xmem.is_bound() ? xmem.GetOrigin().start : xmem.window_start;
    const auto physical = [](ADDR24 a) {
        return addr_to_physical(physical_to_addr(addr_to_physical(a)));
    };
    const int32_t xmem_size =
        static_cast<int32_t>(physical(xmem.current)) - static_cast<int32_t>(physical(xmem_start));
    write_layout_row(out, "Xmem Code", xmem_start, static_cast<uint32_t>(xmem_size));
    out << "\n\n\n";
}

void write_function_line(std::ostream &out, const MapFileEntry &e)
{
    const bool star = !e.size_known || e.size == 0;
    out << " " << address_field(e.address) << right(star ? "*" : std::to_string(e.size), 9)
        << "   " << left(shown_name(e.name, e.file), 31) << " ";
    if (!e.file.empty())
        out << left(short_file_name(e.file), 31) << " " << right(std::to_string(e.line), 5);
    out << "\n";
}

void write_functions(std::ostream &out)
{
    out << "// Function mapping and source reference.\n";
    out << "// * The size of labels is indeterminate and so is denoted with an asterisk.\n";
    out << left("//  Addr", 8) << right("Size", 9) << "   " << left("Function", 32)
        << left("File", 29) << "Line Num\n";
    for (const auto &e : g_root_functions)
        write_function_line(out, *e);
    for (const auto &e : g_xmem_functions)
        write_function_line(out, *e);
    out << "\n\n";
}

void write_symbol_columns(std::ostream &out, const MapSymbol &s)
{
    out << right(std::to_string(s.size), 9) << "   " << left(shown_name(s.name, s.file), 31)
        << " " << left(short_file_name(s.file), 31) << " " << right(std::to_string(s.line), 5)
        << "  " << left(type_text(s), 16) << "\n";
}

void write_symbols(std::ostream &out)
{
    out << "// Global/static data symbol mapping and source reference.\n";
    out << left("//  Addr", 8) << right("Size", 9) << "   " << left("Symbol", 32)
        << left("File", 29) << "Line Num" << "  " << "Type\n";
    for (const MapSymbol &s : g_symbols) {
        if (s.storage == 2)
            continue;
        out << " " << address_field(s.address);
        write_symbol_columns(out, s);
    }
    out << "\n";

    out << "// Parameter and local auto symbol mapping and source reference.\n";
    out << left("//Offset", 8) << right("Rel. to", 8) << right("Size", 9) << "   "
        << left("Symbol", 32) << left("File", 29) << "Line Num" << "  " << "Type\n";
    for (const MapSymbol &s : g_symbols) {
        if (s.storage != 2)
            continue;
        out << "   " << right(std::to_string(s.frame_offset), 5)
            << right((s.flags & 0x02) ? "IX" : "SP", 8);
        write_symbol_columns(out, s);
    }
    out << "\n\n";
}

void write_macros(std::ostream &out)
{
    out << "// Macro listing and source reference.\n";
    out << left("//  Name", 35) << left("File", 29) << "Line Num\n";
    for (const auto &e : g_macros) {
        out << "   " << left(shown_name(e->name, e->file), 31) << " ";
        if (!e->file.empty())
            out << left(short_file_name(e->file), 31) << " " << right(std::to_string(e->line), 5);
        out << "\n";
    }
    out << "\n\n";
}

// One entry of the call graph and, the first time it is reached, its callees below it.
void write_call_tree(std::ostream &out, MapFileEntry &e)
{
    out << std::string(3 * static_cast<std::size_t>(g_call_depth), ' ') << shown_name(e.name, e.file);
    if (std::find(g_call_path.begin(), g_call_path.end(), e.name) != g_call_path.end()) {
        out << "->***recurses***\n";
        return;
    }
    if (e.expanded && !e.callees.empty()) {
        out << "->**see above**\n";
        return;
    }
    e.expanded = true;
    g_call_path.push_back(e.name);
    out << "\n";
    for (const std::string &callee : e.callees) {
        ++g_call_depth;
        if (auto it = g_index.find(callee); it != g_index.end())
            write_call_tree(out, *it->second);
        --g_call_depth;
    }
    g_call_path.pop_back();
}

void write_call_graph(std::ostream &out)
{
    out << "// Function call graph.\n";
    auto premain = g_index.find("premain");
    if (premain == g_index.end()) {
        out << "No call graph information available.\n";
        return;
    }
    g_call_depth = 0;
    g_call_path.clear();
    write_call_tree(out, *premain->second);
    g_call_path.clear();
}

// The source position of a definition: the given one, else the line being read.
std::optional<MapSourcePosition> definition_position()
{
    if (!reading_input() || input_file_name().empty())
        return std::nullopt;
    return MapSourcePosition{input_file_name(), input_line_number()};
}

}  // namespace

std::optional<std::string> map_address_name(uint32_t address)
{
    const auto it = gAddressNameMap.find(addr_to_physical(address));
    if (it == gAddressNameMap.end())
        return std::nullopt;
    return it->second.name;
}

void set_type_name_formatter(TypeNameFormatter formatter) { g_type_name = std::move(formatter); }

void init_map_file() { init_map_file(compile_output_path()); }

void init_map_file(const std::string &source_path)
{
    if (g_stream.is_open())
        g_stream.close();
    clear_map_tables();
    if (source_path.empty())
        return;
    const std::string path = change_extension(source_path, "map");
    g_stream.clear();
    g_stream.open(path, std::ios::out | std::ios::trunc);
    if (!g_stream)
        ShowMessageLine(false, "%s", GetResString(kMsgCannotOpenFile, path.c_str()).c_str());
}

void mapfile_add_function(const std::string &name, ADDR24 address, bool size_known,
                          const std::optional<MapSourcePosition> &where)
{
    if (!recording())
        return;
    gAddressNameMap.try_emplace(addr_to_physical(address), AddressName{address, name});
    auto entry = std::make_unique<MapFileEntry>();
    entry->size_known = size_known;
    entry->name = name;
    entry->address = address;
    if (std::optional<MapSourcePosition> at = where ? where : definition_position()) {
        entry->file = at->file;
        entry->line = at->line - (size_known && !where ? 1 : 0);
        breakpoint_tables().addSourceEntry(SourceTable::AsmSource, entry->file, entry->line, 1,
                                           current_code_cache().current);
    }
    g_current = entry.get();
    g_index.try_emplace(name, entry.get());
    (addr_offset(address) < kXmemListBound ? g_root_functions : g_xmem_functions)
        .push_back(std::move(entry));
}

void mapfile_end_function(const std::string &name, ADDR24 address)
{
    auto it = g_index.find(name);
    if (it == g_index.end())
        return;
    MapFileEntry &e = *it->second;
    e.size = addr_diff(address, e.address);
    if (e.size == 0) {
        g_pending_size.push_back(&e);
        return;
    }
    for (MapFileEntry *waiting : g_pending_size)
        waiting->size = e.size;
    g_pending_size.clear();
}

void mapfile_add_call(const std::string &name)
{
    if (recording() && g_current)
        g_current->callees.insert(name);
}

void mapfile_add_macro(const std::string &name)
{
    if (!recording())
        return;
    auto entry = std::make_unique<MapFileEntry>();
    entry->name = name;
    if (std::optional<MapSourcePosition> at = definition_position()) {
        entry->file = at->file;
        entry->line = at->line;
    }
    g_current = entry.get();
    g_macros.push_back(std::move(entry));
}

void mapfile_add_symbol(const MapSymbol &symbol)
{
    if (recording())
        g_symbols.push_back(symbol);
}

void mapfile_add_symbol(const symbol &record)
{
    MapSymbol copy;
    copy.name = record.name ? record.name : "";
    copy.flags = record.flags[0];
    copy.type = record.type;
    copy.storage = record.kind;
    copy.declarator = record.declarator;
    copy.address = record.address[0];
    copy.frame_offset = record.value;
    copy.line = record.line;
    copy.file = record.file ? record.file : "";
    copy.size = static_cast<int16_t>(record.size);
    mapfile_add_symbol(copy);
}

void write_map_file()
{
    if (g_stream.is_open()) {
        std::ostream &out = g_stream;
        for (const MapSymbol &s : g_symbols) {
            if (!s.file.empty() && is_encrypted_file(s.file)) {
                out << "Encrypted file symbols will show as \"####\"\n";
                break;
            }
        }
        write_layout(out);
        write_functions(out);
        write_symbols(out);
        write_macros(out);
        write_call_graph(out);
        g_stream.close();
    }
    clear_map_tables();
}

void clear_map_tables()
{
    g_current = nullptr;
    g_root_functions.clear();
    g_xmem_functions.clear();
    g_macros.clear();
    g_index.clear();
    g_symbols.clear();
    g_pending_size.clear();
    g_call_path.clear();
    g_call_depth = 0;
}
