// MAPFILE: the map file and its call graph. While a program is compiled, every function, code
// label and macro defined, every variable declared and every call made is recorded; at the end
// of the compile the record is written beside the main source as "<base>.map": memory layout,
// functions and labels, global and static data, parameters and autos, macros, and the call graph
// from "premain". The same recording keeps `gAddressNameMap` (code address to name), which the
// execution-trace store reads, and enters each function's and label's source position into the
// debugger's assembly-source table. Nothing is recorded while a watch expression is compiled.
// Called by the compile set-up and top (through the linker seam), the assembler's host, the
// macro table and the declaration parser.
#pragma once

#include "core/CC_ADDR.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct symbol;

// One recorded function, label or macro.
struct MapFileEntry {
    int32_t size = 0;         // bytes from its address to where it was closed; 0 until then
    bool size_known = false;  // functions; labels and macros show "*"
    std::string name;
    std::string file;         // the source file being read when it was recorded, or ""
    int32_t line = 0;
    ADDR24 address = kDummyAddress;
    std::set<std::string> callees;  // unique, in unsigned byte order
    bool expanded = false;          // its callees were written in the call graph
};

// What the map keeps of a declared variable (a copy of its symbol record).
struct MapSymbol {
    std::string name;
    uint8_t flags = 0;         // bit 1: frame offset relative to IX (else SP); bits 3-4: 1
                               // "#ximport", 2 "#zimport"
    int32_t type = 0;          // type code
    uint8_t storage = 0;       // 2: a parameter or auto, addressed by frame offset
    uint32_t declarator = 0;
    ADDR24 address = kDummyAddress;
    int16_t frame_offset = 0;
    uint16_t line = 0;
    std::string file;          // declaration file
    int16_t size = 0;
};

// Code address to the name first recorded there, by physical address. Kept across compiles;
// only the trace store empties it.
struct AddressName {
    ADDR24 address = kDummyAddress;
    std::string name;
};
extern std::map<uint32_t, AddressName> gAddressNameMap;
// The name recorded at a code address word (by its physical address), or nothing: the symbol
// lookup the IDE gives the disassembler.
std::optional<std::string> map_address_name(uint32_t address);

// Compiler set-up: closes a map left open, empties the tables and opens "<base>.map" for the
// compile's source (its extension replaced, or ".map" added). A file that cannot be created is
// reported on the status line ("Cannot open file '%s'."); the compile goes on without a map.
void init_map_file();
// The same for a given main source (`init_map_file` names the compile's own).
void init_map_file(const std::string &source_path);

// Where a definition was read, when the caller knows better than the current input line.
struct MapSourcePosition {
    std::string file;
    int line = 0;
};

// Records a function (`size_known`) or a code label at a code address; it becomes the current
// entry, which calls are recorded into.
void mapfile_add_function(const std::string &name, ADDR24 address, bool size_known,
                          const std::optional<MapSourcePosition> &where = std::nullopt);
// Closes the entry recorded under the name at the address (its size); an entry closed with size
// 0 takes the size of the next entry closed with another size.
void mapfile_end_function(const std::string &name, ADDR24 address);
// A call from the current entry's code.
void mapfile_add_call(const std::string &name);
// A macro definition.
void mapfile_add_macro(const std::string &name);
// A declared global, static, parameter or auto variable (copied).
void mapfile_add_symbol(const MapSymbol &symbol);
// The same from a symbol record: its name and file are copied; the first flag byte gives the
// flags, the kind the storage byte, the value the frame offset.
void mapfile_add_symbol(const symbol &record);

// Writes every section, closes the file and empties the tables.
void write_map_file();
// Empties the tables (not `gAddressNameMap`).
void clear_map_tables();

// The C declaration text of a symbol's type in the type and symbol columns. Until the
// expression unit's type-name formatter is installed a plain one serves.
using TypeNameFormatter =
    std::function<std::string(int32_t type, uint32_t declarator, const std::string &name)>;
void set_type_name_formatter(TypeNameFormatter formatter);
