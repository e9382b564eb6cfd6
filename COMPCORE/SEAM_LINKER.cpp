// SEAM_LINKER: the built-in linker seam, used until the linker installs its own. It keeps no
// tables, so resets have nothing to do; every call that would have to produce a file or load an
// index fails, so a compile without a linker can never end as a success.
#include "SEAM_LINKER.h"

namespace {

class MissingLinker : public LinkerSeam {
public:
    void create_library_index() override {}
    int load_library_index(const std::string &, bool) override { return -1; }
    void lib_index_register_all() override {}
    void lib_index_reset() override {}
    void set_library_index_bios_owned(bool) override {}
    std::vector<std::string> library_files() override { return {}; }
    int ask_save_edited_library(const std::string &) override { return 0; }
    int lib_save_if_edited(const std::string &) override { return 0; }

    void origins_clear() override {}
    void resolve_origins() override {}
    uint32_t origins_lowest_address(uint8_t) override { return 0; }
    uint32_t origins_highest_address(uint8_t) override { return 0; }
    uint32_t origins_highest_code_address() override { return 0; }
    bool check_origin_range(uint32_t) override { return false; }

    void init_label_tables() override {}
    void reset_labels(int) override {}
    void define_label(const std::string &, uint32_t, int) override {}
    std::optional<uint32_t> global_label_address(const std::string &) override
    {
        return std::nullopt;
    }

    int open_object_file(const std::string &, bool) override { return 1; }
    void close_object_file(bool) override {}
    int build_rom_image(const std::string &, int, int, const std::string &, const std::string &,
                        const std::string &, uint32_t *size_kb) override
    {
        if (size_kb)
            *size_kb = 0;
        return 1;
    }
    void write_map_file() override {}
    void write_list_file(const std::string &, uint32_t) override {}
    void clear_list_records() override {}
    void add_list_record(ListTable, uint32_t, uint32_t, int) override {}
    void write_bin_hex_files(const std::string &) override {}
    void write_hex_end(std::FILE *, std::FILE *) override {}
    void pad_bin_file(std::FILE *, uint32_t, uint32_t) override {}

    uint32_t count_flash_sectors() override { return 0; }
    bool flash_sector_marked(uint32_t, uint32_t) override { return false; }
    void clear_flash_sector_map() override {}

    void ui_send_block(uint32_t, uint32_t, const uint8_t *) override {}
};

MissingLinker g_missing;
LinkerSeam *g_seam = &g_missing;

}  // namespace

void set_linker_seam(LinkerSeam *seam) { g_seam = seam ? seam : &g_missing; }
LinkerSeam &linker_seam() { return *g_seam; }
