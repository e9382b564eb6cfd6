// SEAM_LINKER: the built-in linker seam: every call is served by its unit, origins and labels
// (ORIGINS, CC_RELOC), the download writer, the image files and the listing (CC_ROM,
// list_files), the library index and the map file (LB_CAT, MAPFILE). Tests install doubles.
#include "SEAM_LINKER.h"

#include "driver/CC_GO.h"
#include "linker/CC_RELOC.h"
#include "linker/CC_ROM.h"
#include "linker/LB_CAT.h"
#include "linker/MAPFILE.h"
#include "linker/ORIGINS.h"
#include "linker/list_files.h"

namespace {

class BuiltInLinker : public LinkerSeam {
public:
    void create_library_index() override { ::create_library_index(); }
    // A program compile keeps the libraries indexed before; the BIOS compile rebuilds them.
    int load_library_index(const std::string &directory, bool register_modules) override
    {
        return ::load_library_index(directory, libraries_file(), register_modules, true);
    }
    // Before a program compile: the names the last program compile's "#use" lines entered go.
    void lib_index_register_all() override { lib_index_remove_used_modules(); }
    void lib_index_unmark_all() override { ::lib_index_unmark_all(); }
    void lib_index_reset() override { ::lib_index_reset(); }
    void set_library_index_bios_owned(bool bios_owned) override
    {
        set_library_index_recording(!bios_owned);
    }
    std::vector<std::string> library_files() override { return ::library_files(); }
    int ask_save_edited_library(const std::string &path) override
    {
        return ::lib_save_if_edited(path) ? 1 : 0;
    }
    int lib_save_if_edited(const std::string &path) override
    {
        return ::lib_save_if_edited(path) ? 1 : 0;
    }

    void origins_clear() override { origin_table().Clear(); }
    void resolve_origins() override { ::resolve_origins(); }
    uint32_t origins_lowest_address(uint8_t kind) override
    {
        return origin_table().LowestAddress(kind);
    }
    uint32_t origins_highest_address(uint8_t kind) override
    {
        return origin_table().HighestAddress(kind);
    }
    uint32_t origins_highest_code_address() override { return origin_table().HighestCodeAddress(); }
    bool check_origin_range(uint32_t addr) override { return ::check_origin_range(addr); }

    void init_label_tables() override { ::init_label_tables(); }
    void reset_labels(int bits) override { ::reset_labels(bits); }
    void define_label(const std::string &name, uint32_t addr, int scope) override
    {
        ::define_label(name.c_str(), addr, static_cast<uint32_t>(scope));
    }
    std::optional<uint32_t> global_label_address(const std::string &name) override
    {
        const QBFixupRec *label = find_label(name.c_str(), kLabelGlobal);
        if (!label || !label->defined)
            return std::nullopt;
        return label->address;
    }

    int open_object_file(const std::string &path, bool from_file) override
    {
        return ::open_object_file(path, from_file);
    }
    void close_object_file(bool) override { ::close_object_file(); }
    int build_rom_image(const std::string &path, const std::string &object_ext,
                        const std::string &hex_ext, const std::string &image_ext,
                        uint32_t *low_sector) override
    {
        return ::build_rom_image(path, object_ext, hex_ext, image_ext, nullptr, low_sector);
    }
    void init_map_file() override { ::init_map_file(); }
    void write_map_file() override { ::write_map_file(); }
    void mapfile_add_symbol(const symbol &record) override { ::mapfile_add_symbol(record); }
    void write_list_file(const std::string &path, uint32_t image_start) override
    {
        ListFile list;
        (void)::write_list_file(list, path, image_start);
    }
    void clear_list_records() override { ::clear_list_records(code_block_list()); }
    void add_list_record(ListTable, uint32_t start, uint32_t end, int kind) override
    {
        ::add_list_record(code_block_list(), start, end, kind);
    }
    bool write_bin_hex_files(const std::string &path, uint32_t bin_base) override
    {
        return ::write_bin_hex_files(path, bin_base);
    }
    bool write_hex_end(std::FILE *bin, std::FILE *hex) override { return ::write_hex_end(bin, hex); }
    bool pad_bin_file(std::FILE *bin, uint32_t first_sector, uint32_t last_sector) override
    {
        return ::pad_bin_file(bin, first_sector, last_sector);
    }

    uint32_t count_flash_sectors() override { return ::count_flash_sectors(); }
    bool flash_sector_marked(uint32_t offset, uint32_t size) override
    {
        return ::flash_sector_marked(offset, size);
    }
    void clear_flash_sector_map() override { ::clear_flash_sector_map(); }

    void ui_send_block(uint32_t count, uint32_t addr, const uint8_t *bytes) override
    {
        ::ui_send_block(count, addr, bytes);
    }
};

BuiltInLinker g_builtin;
LinkerSeam *g_seam = &g_builtin;

}  // namespace

void set_linker_seam(LinkerSeam *seam) { g_seam = seam ? seam : &g_builtin; }
LinkerSeam &linker_seam() { return *g_seam; }
LinkerSeam &builtin_linker_seam() { return g_builtin; }
