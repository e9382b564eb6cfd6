// SEAM_LINKER: what the compile frame uses of the linker and output files: the library index,
// origins, labels, the object file, the image builder, the map and list files, the flash-sector
// map and the download writer. The built-in implementation serves every call from its unit
// (ORIGINS, CC_RELOC, CC_ROM, list_files, LB_CAT, MAPFILE). Tests install doubles.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

struct symbol;

// The linker's record lists that `add_list_record` writes to. The listing reads one list of
// code and constant-data ranges for the whole program.
enum class ListTable : uint8_t { CodeBlocks };

class LinkerSeam {
public:
    virtual ~LinkerSeam() = default;

    // Library index.
    virtual void create_library_index() = 0;
    // 0 on success.
    virtual int load_library_index(const std::string &directory, bool register_modules) = 0;
    virtual void lib_index_register_all() = 0;
    // Compiler set-up: the per-compile marks of every library and module cleared.
    virtual void lib_index_unmark_all() = 0;
    virtual void lib_index_reset() = 0;
    virtual void set_library_index_bios_owned(bool bios_owned) = 0;
    // The library files of the index (paths as stored; either separator).
    virtual std::vector<std::string> library_files() = 0;
    // Non-zero when the library was saved (after asking).
    virtual int ask_save_edited_library(const std::string &path) = 0;
    virtual int lib_save_if_edited(const std::string &path) = 0;

    // Origins.
    virtual void origins_clear() = 0;
    virtual void resolve_origins() = 0;
    virtual uint32_t origins_lowest_address(uint8_t kind) = 0;
    virtual uint32_t origins_highest_address(uint8_t kind) = 0;
    virtual uint32_t origins_highest_code_address() = 0;
    // True when the address lies in the origin range of one of the two caches it examines.
    virtual bool check_origin_range(uint32_t addr) = 0;

    // Labels.
    virtual void init_label_tables() = 0;
    // 1 local labels, 2 global labels, 4 report the references left unresolved.
    virtual void reset_labels(int bits) = 0;
    virtual void define_label(const std::string &name, uint32_t addr, int scope) = 0;
    // The address of a global label, or nothing while it is undefined.
    virtual std::optional<uint32_t> global_label_address(const std::string &name) = 0;

    // Output files. Non-zero results are failures.
    virtual int open_object_file(const std::string &source_path, bool second_form) = 0;
    virtual void close_object_file(bool second_form) = 0;
    // The image from the object file; 0 on success, with the image's low sector (its first byte
    // is physical low * 1024).
    virtual int build_rom_image(const std::string &path, const std::string &object_ext,
                                const std::string &hex_ext, const std::string &image_ext,
                                uint32_t *low_sector) = 0;
    // Compiler set-up: the map file of the compile opened, its tables emptied.
    virtual void init_map_file() = 0;
    virtual void write_map_file() = 0;
    // Appends a global data item to the list the map file's global and static data section
    // shows: the list keeps its own copy of the record and of its name. Flag bits 3-4 of the
    // first flag byte: 1 placed by "#ximport", 2 by "#zimport".
    virtual void mapfile_add_symbol(const symbol &record) = 0;
    // The listing from this compile's download image, whose first byte is physical
    // `image_start`.
    virtual void write_list_file(const std::string &path, uint32_t image_start) = 0;
    virtual void clear_list_records() = 0;
    // Records an emitted range [start, end) of the given kind (2 data, 3 BIOS code, 4 program
    // code) for the listing file; an empty or inverted range is not recorded.
    virtual void add_list_record(ListTable table, uint32_t start, uint32_t end, int kind) = 0;
    // Cuts the "bin" file (its byte 0 at physical `bin_base`) at the "splitbin" origins; false
    // when a piece could not be written.
    virtual bool write_bin_hex_files(const std::string &path, uint32_t bin_base) = 0;
    // The HEX file of a whole image and its end record; false when a read or write failed.
    virtual bool write_hex_end(std::FILE *bin, std::FILE *hex) = 0;
    // Sectors [first, last) of 0xFF at the stream's position; false when a write failed.
    virtual bool pad_bin_file(std::FILE *bin, uint32_t first_sector, uint32_t last_sector) = 0;

    // Flash-sector map.
    virtual uint32_t count_flash_sectors() = 0;
    virtual bool flash_sector_marked(uint32_t offset, uint32_t size) = 0;
    virtual void clear_flash_sector_map() = 0;

    // The download writer: code bytes for an address, to the target loader and/or object file.
    virtual void ui_send_block(uint32_t count, uint32_t addr, const uint8_t *bytes) = 0;
};

// nullptr restores the built-in seam.
void set_linker_seam(LinkerSeam *seam);
LinkerSeam &linker_seam();
// The built-in seam, whatever is installed (a double that uses the real library index and map).
LinkerSeam &builtin_linker_seam();
