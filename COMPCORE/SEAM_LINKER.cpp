// SEAM_LINKER: the built-in linker seam, used until the linker installs its own. Origins and
// labels are served by their units (ORIGINS, CC_RELOC); every other call that would have to
// load an index, save a library, record a listing range, send code or write a file throws
// `xErr` "The linker is not part of this build.", so a compile without a linker fails with that
// message (at its first step, the library index) and never ends as a success.
#include "SEAM_LINKER.h"

#include "CC_RELOC.h"
#include "ORIGINS.h"
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

    int open_object_file(const std::string &, bool) override { missing(); }
    void close_object_file(bool) override {}
    int build_rom_image(const std::string &, int, int, const std::string &, const std::string &,
                        const std::string &, uint32_t *) override
    {
        missing();
    }
    void write_map_file() override { missing(); }
    void write_list_file(const std::string &, uint32_t) override { missing(); }
    void clear_list_records() override {}
    void add_list_record(ListTable, uint32_t, uint32_t, int) override { missing(); }
    void write_bin_hex_files(const std::string &) override { missing(); }
    void write_hex_end(std::FILE *, std::FILE *) override { missing(); }
    void pad_bin_file(std::FILE *, uint32_t, uint32_t) override { missing(); }

    uint32_t count_flash_sectors() override { missing(); }
    bool flash_sector_marked(uint32_t, uint32_t) override { missing(); }
    void clear_flash_sector_map() override {}

    void ui_send_block(uint32_t, uint32_t, const uint8_t *) override { missing(); }
};

MissingLinker g_missing;
LinkerSeam *g_seam = &g_missing;

}  // namespace

void set_linker_seam(LinkerSeam *seam) { g_seam = seam ? seam : &g_missing; }
LinkerSeam &linker_seam() { return *g_seam; }
