// SEAM_LINKER: the built-in linker seam. Origins, labels, the download writer, the image files
// and the listing are served by their units (ORIGINS, CC_RELOC, CC_ROM, list_files); every
// other call that would have to load an index, save a library or write the map file throws
// `xErr` "The linker is not part of this build.", so a compile without those units fails with
// that message (at its first step, the library index) and never ends as a success.
#include "SEAM_LINKER.h"

#include "CC_RELOC.h"
#include "CC_ROM.h"
#include "ORIGINS.h"
#include "list_files.h"
#include "guiExceptions.h"

namespace {

constexpr uint32_t kMsgNoLinker = 7153;  // "The linker is not part of this build."

[[noreturn]] void missing() { throw xErr(kMsgNoLinker, KX_HERE); }

class MissingLinker : public LinkerSeam {
public:
    void create_library_index() override {}
    int load_library_index(const std::string &, bool) override { missing(); }
    void lib_index_register_all() override {}
    void lib_index_reset() override {}
    void set_library_index_bios_owned(bool) override {}
    std::vector<std::string> library_files() override { missing(); }
    int ask_save_edited_library(const std::string &) override { missing(); }
    int lib_save_if_edited(const std::string &) override { missing(); }

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
    void write_map_file() override { missing(); }
    void mapfile_add_symbol(const symbol &) override { missing(); }
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

MissingLinker g_missing;
LinkerSeam *g_seam = &g_missing;

}  // namespace

void set_linker_seam(LinkerSeam *seam) { g_seam = seam ? seam : &g_missing; }
LinkerSeam &linker_seam() { return *g_seam; }
