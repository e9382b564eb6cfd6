// CC_BOARD: the board and the processor a compile is for, fixed before the first top-level
// item. A BIOS compile learns the board from the target's ID block (or, compiled without a
// target, from the project's targetless board, `gBoardParameters`), defines the board macros
// for the BIOS and its libraries and sends the flash parameters to the loader; a program compile only sends the
// flash parameters while they are owed. Every compile then selects the processor's instruction
// tables and shows the processor in the status bar.
// Reads the flash information file ("Flash.ini" in the program directory) with IniFile.
// Called by the whole-program parse (CC_DECL).
#pragma once

#include <cstdint>
#include <string>

// The board of the last BIOS compile, kept for the program compiles after it.
struct CompileBoard {
    uint16_t board_type = 0;
    int32_t ram_size_code = 0;   // RAM size in 32 KB units
    int32_t flash_size = 0;      // flash size in 4096-byte units
    uint16_t flash_id = 0;
    uint16_t cpu_id = 0;
    int32_t freq_divider = 0;    // crystal frequency / 614400
    bool board_type_valid = false;
    int32_t id_block_size = 0;
    int32_t id_block_ptr = 0;
};
const CompileBoard &compile_board();
void reset_board_parameters();  // tests
// Forgets the board type, so that a compile to a file with a target attached shows the board
// as still to be discovered until its BIOS compile reads the ID block.
void clear_compile_board_type();

// The whole set-up (see the unit comment).
void set_up_board_and_processor();

// Flash parameters of a flash chip, from its section ("%04x" of the id) of the flash
// information file, each key with its default. A missing file ends the compile (fatal 2143);
// an empty or missing section is warned about (577) and gives the defaults; a value that is no
// number or does not fit 16 bits is reported and gives its default. Owes the flash parameters
// (`compile_conditions().erase`) unless the write mode is 2; always with "TCP all in one".
struct FlashParameters {
    uint16_t flash_size = 16;  // 4096-byte units
    uint16_t sector_size = 128;
    uint16_t sector_count = 1;
    uint16_t write_mode = 2;
};
FlashParameters read_flash_info_file(uint16_t flash_id);
// Program directory followed by the configured file name.
std::string flash_info_path();

// "CPU: V2000" (CPU id below 4), "CPU: V3000" (0x100, 0x101), else "Unknown CPU type".
const char *cpu_status_text(uint16_t cpu_id);
// "_BIOSBAUD_" for a loader rate; empty: nothing is defined. Lowers the stored loader rate of
// the boards that cannot run faster than 38400 (through `lowered`).
std::string bios_baud_text(uint16_t board_type, int32_t freq_divider, uint32_t rate,
                           uint32_t *lowered);

// Message ids of this unit.
enum : uint32_t {
    kMsgNoFlashParameters = 577,
    kMsgFlashFileMissing = 2143,
    kMsgFlashValueBad = 2185,
    kMsgTargetlessRange = 2186,
};
