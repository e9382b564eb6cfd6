// Test doubles of the compile frame: an emit-cache host that records output and reports, an
// origin table, a parser whose one-line assembler records the lines it is given, and a linker
// that records the calls of the compile sequence.
#pragma once

#include <gtest/gtest.h>

#include "driver/CC_FIOZ8.h"
#include "core/CC_STAB.h"
#include "linker/EMITCACHE.h"
#include "core/SEAM_LINKER.h"
#include "core/SEAM_PARSER.h"

#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct FatalStop : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct SentBlock {
    uint32_t addr;
    std::vector<uint8_t> bytes;
};

class RecordingCacheHost : public EmitCacheHost {
public:
    std::vector<SentBlock> sent;
    std::vector<std::string> errors, fatals, lines;
    int32_t no_output = 0;
    int placement = 1;
    bool z180 = false;
    uint32_t marker = 0xFFFFFFFFu;
    EmitCache *emitter = nullptr;
    std::map<uint32_t, uint8_t> target_memory;

    void send_block(uint32_t addr, uint32_t count, const uint8_t *bytes) override
    {
        sent.push_back({addr, std::vector<uint8_t>(bytes, bytes + count)});
    }
    void read_target(uint32_t addr, uint32_t count, uint8_t *bytes) override
    {
        for (uint32_t i = 0; i < count; ++i)
            bytes[i] = target_memory.count(addr + i) ? target_memory[addr + i] : 0xFF;
    }
    void error(const char *text) override { errors.emplace_back(text); }
    void fatal(const char *text) override
    {
        fatals.emplace_back(text);
        throw FatalStop(text);
    }
    // Each assembled line becomes one recorded line and, for "ljp", four bytes in the emitter.
    void assemble_line(const char *line) override
    {
        lines.emplace_back(line);
        if (emitter && std::strncmp(line, "ljp", 3) == 0)
            emitter->EmitRepeat(0xC7, 4);
        if (emitter && std::strncmp(line, "ld a,", 5) == 0)
            emitter->EmitRepeat(0x3E, 2);
        if (emitter && std::strncmp(line, "call", 4) == 0)
            emitter->EmitRepeat(0xCD, 3);
    }
    int32_t no_output_counter() const override { return no_output; }
    bool output_suppressed() const override { return false; }
    int32_t expression_trial() const override { return 0; }
    int code_placement() const override { return placement; }
    bool watch_code_option() const override { return false; }
    bool cpu_is_z180() const override { return z180; }
    uint16_t page_switch_routine() const override { return 0x1234; }
    uint32_t code_start_marker() const override { return marker; }
    EmitCache *current_emitter() const override { return emitter; }
};

// Origins by index; select_origin binds the origin's cache as the origin table does.
class TestOrigins : public EmitOriginTable {
public:
    struct Entry {
        EmitOriginExtent extent;
        EmitCache *cache;
    };
    std::vector<Entry> entries;

    int32_t add(uint32_t start, uint32_t size, EmitCache *cache, int32_t follower = -1)
    {
        EmitOriginExtent e;
        e.start = e.end = start;
        e.size = size;
        e.follower = follower;
        entries.push_back({e, cache});
        return static_cast<int32_t>(entries.size() - 1);
    }
    const EmitOriginExtent *origin_at(int32_t index) const override
    {
        if (index < 0 || static_cast<size_t>(index) >= entries.size())
            return nullptr;
        return &entries[static_cast<size_t>(index)].extent;
    }
    void select_origin(int32_t index) override
    {
        Entry &e = entries.at(static_cast<size_t>(index));
        if (e.cache->origin_index >= 0 &&
            static_cast<size_t>(e.cache->origin_index) < entries.size())
            entries[static_cast<size_t>(e.cache->origin_index)].extent.end = e.cache->current;
        e.cache->Flush();
        e.cache->origin_index = index;
        e.cache->SetAddress(e.extent.end);
    }
    const char *kind_name(uint8_t) const override { return "test"; }
};

// A one-line assembler: records the text at the input pointer and emits one byte per line
// (the line's length, low byte) through emit_code_byte.
class RecordingParser : public ParserSeam {
public:
    std::vector<std::string> assembled;
    std::vector<std::string> fatals, errors;
    std::vector<int> debug_flags;
    const char *input = "original";
    void (*during_assembly)() = nullptr;
    bool throw_in_assembly = false;
    bool fatal_throws = false;
    int programs_parsed = 0;
    int functions = 0;
    void (*during_parse)() = nullptr;

    void parse_asm_block(int debug, int one_line, int) override
    {
        EXPECT_EQ(one_line, 1);
        debug_flags.push_back(debug);
        assembled.emplace_back(input);
        if (during_assembly)
            during_assembly();
        if (throw_in_assembly)
            throw std::runtime_error("assembler failed");
        emit_code_byte(static_cast<uint8_t>(std::strlen(input)));
    }
    void parse_program() override
    {
        ++programs_parsed;
        if (during_parse)
            during_parse();
    }
    void web_reset() override {}
    void reset_declaration_defaults() override {}
    int function_count() const override { return functions; }
    LexerInputPointers save_input() override { return {input, input, input}; }
    void point_input_at(const char *text) override { input = text; }
    void restore_input(const LexerInputPointers &saved) override { input = saved.input; }
    void error_here(const char *text) override { errors.emplace_back(text); }
    void fatal_here(const char *text) override
    {
        fatals.emplace_back(text);
        if (fatal_throws)
            throw FatalStop(text);
    }
};

// Records the calls the compile sequence makes of the linker, with scriptable results.
class RecordingLinker : public LinkerSeam {
public:
    std::vector<std::string> calls;
    int index_result = 0;
    int build_result = 0;
    std::vector<std::string> libraries;
    std::vector<std::string> saved;
    struct ListRecord {
        ListTable table;
        uint32_t start, end;
        int kind;
        bool operator==(const ListRecord &) const = default;
    };
    std::vector<ListRecord> list_records;  // apart from `calls`: emitters record many

    void note(const std::string &c) { calls.push_back(c); }
    void create_library_index() override { note("create_library_index"); }
    int load_library_index(const std::string &, bool) override
    {
        note("load_library_index");
        return index_result;
    }
    void lib_index_register_all() override { note("lib_index_register_all"); }
    void lib_index_unmark_all() override { note("lib_index_unmark_all"); }
    void lib_index_reset() override { note("lib_index_reset"); }
    void set_library_index_bios_owned(bool bios) override
    {
        note(bios ? "library index BIOS-owned" : "library index program-owned");
    }
    std::vector<std::string> library_files() override { return libraries; }
    int ask_save_edited_library(const std::string &) override { return 0; }
    int lib_save_if_edited(const std::string &path) override
    {
        saved.push_back(path);
        return 1;
    }
    void origins_clear() override { note("origins_clear"); }
    void resolve_origins() override { note("resolve_origins"); }
    uint32_t origins_lowest_address(uint8_t) override { return 0; }
    uint32_t origins_highest_address(uint8_t) override { return 0; }
    bool check_origin_range(uint32_t) override { return false; }
    void init_label_tables() override {}
    void reset_labels(int bits) override { note("reset_labels " + std::to_string(bits)); }
    std::map<std::string, uint32_t> defined;  // global labels defined, apart from `calls`
    void define_label(const std::string &name, uint32_t addr, int scope) override
    {
        if (scope == 2)
            defined[name] = addr;
    }
    std::optional<uint32_t> global_label_address(const std::string &name) override
    {
        note("label " + name);
        return 0x1234;
    }
    int open_object_file(const std::string &, bool) override
    {
        note("open_object_file");
        return 0;
    }
    void close_object_file(bool) override { note("close_object_file"); }
    // Writes the download image beside the source, as the image builder does.
    int build_rom_image(const std::string &path, const std::string &obj, const std::string &hex,
                        const std::string &img, uint32_t *low_sector) override
    {
        note("build_rom_image " + obj + " " + hex + " " + img);
        *low_sector = image_low_sector;
        if (build_result == 0 && write_image) {
            std::ofstream out(path_with_extension(path, img.c_str()), std::ios::binary);
            out.write(reinterpret_cast<const char *>(image.data()),
                      static_cast<std::streamsize>(image.size()));
        }
        return build_result;
    }
    void init_map_file() override { note("init_map_file"); }
    void write_map_file() override { note("write_map_file"); }
    // The map file's global data items, apart from `calls`: copies, names with them.
    struct DataItem {
        std::string name, file;
        symbol record;  // its name and file pointers are not kept
    };
    std::vector<DataItem> data_items;
    void mapfile_add_symbol(const symbol &record) override
    {
        DataItem item{record.name ? record.name : "", record.file ? record.file : "", record};
        item.record.name = nullptr;
        item.record.file = nullptr;
        data_items.push_back(item);
    }
    uint32_t list_image_start = 0;  // of the last listing asked for
    void write_list_file(const std::string &, uint32_t image_start) override
    {
        note("write_list_file");
        list_image_start = image_start;
    }
    void clear_list_records() override { note("clear_list_records"); }
    void add_list_record(ListTable table, uint32_t start, uint32_t end, int kind) override
    {
        list_records.push_back({table, start, end, kind});
    }
    bool write_bin_hex_files(const std::string &, uint32_t bin_base) override
    {
        note("write_bin_hex_files " + std::to_string(bin_base));
        return true;
    }
    bool pad_bin_file(std::FILE *, uint32_t first, uint32_t last) override
    {
        note("pad_bin_file " + std::to_string(first) + " " + std::to_string(last));
        return true;
    }
    uint32_t count_flash_sectors() override { return marked_sectors; }
    bool flash_sector_marked(uint32_t offset, uint32_t) override
    {
        return offset >= marked_from && offset < marked_to;
    }
    void clear_flash_sector_map() override { note("clear_flash_sector_map"); }
    void ui_send_block(uint32_t, uint32_t, const uint8_t *) override {}
    bool write_hex_end(std::FILE *, std::FILE *) override
    {
        note("write_hex_end");
        return true;
    }
    uint32_t origins_highest_code_address() override { return highest_code; }

    // The download image, its first byte's sector and its marked blocks (physical addresses
    // from, up to but not including).
    std::vector<uint8_t> image = std::vector<uint8_t>(300, 0x5A);
    uint32_t image_low_sector = 0;
    bool write_image = true;
    uint32_t marked_from = 0, marked_to = 0xFFFFFFFFu;
    uint32_t marked_sectors = 3;
    uint32_t highest_code = 0;
};
