// CC_BOARD: board and processor set-up at the start of the whole-program parse.
#include "CC_BOARD.h"

#include "codegen/CC_ASM.h"
#include "codegen/CC_ASMTAB.h"
#include "core/CC_ER.h"
#include "CC_FIOZ8.h"
#include "CC_GO.h"
#include "input/CC_IN.h"
#include "core/CC_MISC.h"
#include "IniFile.h"
#include "core/SEAM_CODEGEN.h"
#include "core/SEAM_SETTINGS.h"
#include "core/SEAM_TARGET.h"
#include "core/guiInterface.h"

#include <cstdio>
#include <string>

namespace {

CompileBoard g_board;

constexpr uint32_t kDividerBaud = 614400;  // crystal frequency per unit of the divider

bool watch() { return watch_compile(); }

void define_decimal(const char *name, long long value)
{
    define_macro(name, std::to_string(value));
}

// An ID block's area: the signed 16-bit size at 122-123 plus the 32-bit size at 116-119; it
// ends at the top of the flash (bytes 19-20: flash size in 4096-byte units).
void take_id_block(const TcBoardInfo &info, bool valid)
{
    const auto &b = info.id_block;
    g_board.board_type = info.board_type;
    g_board.ram_size_code = static_cast<int8_t>(info.ram_size_code);
    g_board.flash_id = info.flash_id;
    g_board.cpu_id = info.cpu_id;
    g_board.freq_divider = static_cast<uint8_t>(info.freq_divider);
    g_board.board_type_valid = valid;
    g_board.flash_size = static_cast<int16_t>(b[19] | b[20] << 8);
    g_board.id_block_size = 0;
    g_board.id_block_ptr = 0;
    if (!valid)
        return;
    const int32_t user = static_cast<int16_t>(b[122] | b[123] << 8);
    const uint32_t id_size = uint32_t(b[116]) | uint32_t(b[117]) << 8 | uint32_t(b[118]) << 16 |
                             uint32_t(b[119]) << 24;
    g_board.id_block_size = user + static_cast<int32_t>(id_size);
    g_board.id_block_ptr = g_board.flash_size * 4096 - g_board.id_block_size;
}

// A targetless value that does not fit the width it is kept in is reported, not wrapped: the
// macros carry the value as given.
int32_t targetless_value(const char *name, uint32_t value, uint32_t limit)
{
    if (value > limit)
        error_here(msg(kMsgTargetlessRange), name, static_cast<unsigned long>(value));
    return static_cast<int32_t>(value);
}

// The sizes in the units the macros take, truncated: RAM in 32 KB, flash in 4 KB, the crystal
// in 614400 Hz.
void take_targetless_settings()
{
    const BoardParameters &p = gBoardParameters;
    g_board.board_type = static_cast<uint16_t>(p.boardType);
    g_board.ram_size_code =
        targetless_value("RAM size code", static_cast<uint32_t>(p.ramSize / 32), 127);
    g_board.flash_size =
        targetless_value("flash size", static_cast<uint32_t>(p.flashSize / 4), 32767);
    g_board.freq_divider =
        targetless_value("frequency divider", p.crystalSpeed / kDividerBaud, 255);
    g_board.cpu_id = static_cast<uint16_t>(p.cpuId);
    g_board.board_type_valid = true;
}

void send_flash_parameters(const FlashParameters &f)
{
    target_operations().TcSendFlashParameters(f.flash_size, f.sector_size, f.sector_count,
                                              f.write_mode);
}

bool owed_one_piece() { return IdePreferences().tcp_all_in_one; }

void bios_board_set_up()
{
    TargetOperations &target = target_operations();
    if (!gTargetlessCompile || gBiosLoadFlag) {
        const TcBoardInfo info = target.TcReadBoardInfo();
        take_id_block(info, target.TcValidateIdBlock(info.id_block));
        char text[32];
        std::snprintf(text, sizeof text, "%dL", static_cast<int>(g_board.id_block_size));
        define_macro("_ID_BLOCK_SIZE_", text);
        std::snprintf(text, sizeof text, "%dL", static_cast<int>(g_board.id_block_ptr));
        define_macro("_ID_BLOCK_PTR_", text);
        compile_conditions().erase = false;
        const FlashParameters flash = read_flash_info_file(g_board.flash_id);
        send_flash_parameters(flash);
        define_decimal("_SECTOR_SIZE_", flash.sector_size);
        if (gBiosLoadFlag)
            target.ShowCompileStatusCaption();
    } else {
        compile_conditions().flash_info = false;  // no flash information without a board
        take_targetless_settings();
    }
    if (download_mode() == 1)
        compile_conditions().erase = false;
    if (owed_one_piece())
        compile_conditions().erase = true;

    std::array<uint32_t, 3> rates = target.GetLoaderBaudRates();
    uint32_t lowered = 0;
    const std::string baud =
        bios_baud_text(g_board.board_type, g_board.freq_divider, rates[2], &lowered);
    if (lowered) {
        rates[2] = lowered;
        target.SetLoaderBaudRates(rates);
    }
    if (!baud.empty())
        define_macro("_BIOSBAUD_", baud);

    switch (download_mode()) {
    case 1: define_macro("_RAM_", "1"); break;
    case 2: define_macro("_FAST_RAM_", "1"); break;
    default: define_macro("_FLASH_", "1"); break;
    }
    define_decimal("_CRYSTAL_SPEED_", static_cast<long long>(g_board.freq_divider) * kDividerBaud);
    define_decimal("_FREQ_DIV_19200_", g_board.freq_divider);
    define_decimal("_RAM_SIZE_", static_cast<long long>(g_board.ram_size_code) * 8);
    define_decimal("_FLASH_SIZE_", g_board.flash_size);
    if (g_board.board_type_valid) {
        set_board_type_permission(true);
        define_decimal("_BOARD_TYPE_", g_board.board_type);
        set_board_type_permission(false);
    }
    define_decimal("_CPU_ID_", g_board.cpu_id);
    // Libraries choose their forms by it (the start-up table of COSTATE.LIB's funcblk_init): it
    // says 1 only when this compile lays the spaces out apart, as the option asks.
    define_decimal("__SEPARATE_INST_DATA__",
                   compiler_options().separate_id && separate_instruction_data() ? 1 : 0);
}

void program_board_set_up()
{
    if (watch() || gTargetlessCompile || download_mode() == 1 ||
        !compile_conditions().erase)
        return;
    send_flash_parameters(read_flash_info_file(g_board.flash_id));
}

// One key of a flash chip's section: its default when missing, reported and its default when
// it is no number or does not fit 16 bits.
uint16_t flash_key(const IniFile &ini, const std::string &section, const char *key,
                   uint16_t fallback)
{
    const std::optional<std::string> text = ini.read_string(section, key);
    if (!text)
        return fallback;
    const std::optional<int64_t> value = parse_ini_integer(*text);
    if (!value || *value < 0 || *value > 0xFFFF) {
        serious_warning_here(msg(kMsgFlashValueBad), key, section.c_str(), text->c_str(),
                             int(fallback));
        return fallback;
    }
    return static_cast<uint16_t>(*value);
}

}  // namespace

const CompileBoard &compile_board() { return g_board; }
void reset_board_parameters() { g_board = CompileBoard{}; }
void clear_compile_board_type() { g_board.board_type = 0; }

std::string flash_info_path()
{
    std::string dir = program_directory();
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\')
        dir += '/';
    return normalize_separators(dir + IdePreferences().flash_info_file);
}

FlashParameters read_flash_info_file(uint16_t flash_id)
{
    const std::string path = flash_info_path();
    IniFile ini;
    if (!ini.load(path))
        fatal_here(msg(kMsgFlashFileMissing), path.c_str());
    char section[8];
    std::snprintf(section, sizeof section, "%04x", unsigned(flash_id));
    FlashParameters f;
    // An unknown chip gets default geometry: the user must hear of it whatever the level.
    if (!ini.section_has_keys(section))
        serious_warning_here("%s", msg(kMsgNoFlashParameters));
    f.sector_size = flash_key(ini, section, "sector size", f.sector_size);
    f.sector_count = flash_key(ini, section, "num sectors", f.sector_count);
    f.flash_size = flash_key(ini, section, "flash size", f.flash_size);
    f.write_mode = flash_key(ini, section, "write mode", f.write_mode);
    compile_conditions().erase = f.write_mode != 2 || owed_one_piece();
    compile_conditions().flash_info = f.write_mode != 2;
    return f;
}

const char *cpu_status_text(uint16_t cpu_id)
{
    if (cpu_id < 4)
        return "CPU: V2000";
    if (cpu_id == 0x100 || cpu_id == 0x101)
        return "CPU: V3000";
    return "Unknown CPU type";
}

std::string bios_baud_text(uint16_t board_type, int32_t freq_divider, uint32_t rate,
                           uint32_t *lowered)
{
    const auto exact = [rate](std::initializer_list<uint32_t> known) {
        for (uint32_t k : known)
            if (k == rate)
                return std::to_string(rate);
        return std::string();
    };
    if (board_type == 0x1200 || board_type == 0x1201) {
        if (rate <= 38400)
            return exact({2400, 4800, 9600, 19200, 38400});
        if (lowered)
            *lowered = 38400;
        return "38400";
    }
    if (freq_divider < 12 && rate >= 57600)
        return "57600";
    const std::string text = exact({2400, 4800, 9600, 19200, 38400, 57600, 115200});
    return text.empty() ? "0" : text;
}

void set_up_board_and_processor()
{
    if (IsCompilingBios())
        bios_board_set_up();
    else
        program_board_set_up();

    // The revision word 257 (CPU id 0x101) enables the extended mnemonic rows.
    set_asm_target(codegen_seam().cpu_flag(), g_board.cpu_id);
    // The first revisions of the 2000 (ids 0 to 2) need a no-operation before the byte that
    // completes an I/O-prefixed read-modify-write; every 3000 (0x100 up) is past that.
    set_processor_revision(g_board.cpu_id);
    init_asm_mnemonics();
    if (TMainWindowHost *host = gMainWindowInterface->Host())
        host->SetStatusText(cpu_status_text(g_board.cpu_id));
    define_macro("_RESTRICT_WATCHCODE_", IsWatchCodeRestricted() ? "1" : "0");
}
