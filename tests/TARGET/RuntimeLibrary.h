// The runtime library on the simulator, without the compiler: the top-level "#asm" blocks of
// the BIOS and the libraries (TARGET/bios, TARGET/lib) are assembled into one image, each block
// with its own local labels as a compile gives them, the global labels shared; the image runs
// on a board whose memory is laid out as the BIOS lays it out, and `call` runs one routine with
// its operands in place and reports the registers, the stack and how it ended.
#pragma once

#include "SimBoard.h"
#include "SimCpu.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace rtlib {

// TARGET/ of the sources.
std::filesystem::path target_dir();
// The BIOS first, then every library of TARGET/lib in name order.
std::vector<std::filesystem::path> runtime_sources();

// One line of a top-level assembly block, with where it stands.
struct AsmLine {
    std::string file;
    int line = 0;
    std::string text;
};
using AsmBlock = std::vector<AsmLine>;

// The top-level "#asm" ... "#endasm" blocks of a source, in order. C text, comments and
// directives outside the blocks are passed over, but for the conditionals, read as a compile
// without the board's macros reads them (a block where "#if" or "#ifdef" holds is left out); `problems` gets one line per block that is
// not closed, or per directive inside a block (the blocks here are plain assembly).
std::vector<AsmBlock> asm_blocks(const std::filesystem::path &file,
                                 std::vector<std::string> &problems);

struct Image {
    uint16_t origin = 0;
    std::vector<uint8_t> bytes;                 // from origin on
    std::map<std::string, uint16_t> globals;    // the global labels
    std::vector<std::string> messages;          // "file:line: text", errors and warnings
    uint16_t at(const std::string &name) const; // asserts the label exists
};

// Assembles the blocks of the files in order from `origin` (the Vireon set, revision of the
// r2000 unless `r3000`). `externals` are names defined outside the blocks (the program's main,
// the chain routines a compile generates), placed where the caller says.
Image assemble(const std::vector<std::filesystem::path> &files, uint16_t origin,
               const std::map<std::string, uint16_t> &externals, bool r3000 = false);

// Assembles the Z180 parts of the files ("#if TARGETCPU == Z180" holds) with the Z180 set at
// `origin`; the Vireon set is the assembler's again afterwards.
Image assemble_z180(const std::vector<std::filesystem::path> &files, uint16_t origin);

// Assembles lines given here (one block) at `origin`, the globals of `with` known before it:
// a test's own caller or callee around the runtime routines.
Image assemble_lines(const std::vector<std::string> &lines, uint16_t origin, const Image &with);

// The image of every runtime source at 0, with `main` and `_GLOBAL_INIT` pointing at small
// test routines that the image does not have: kMainStub and kInitStub.
const Image &runtime_image();
inline constexpr uint16_t kInitStub = 0x7E00;   // in root constants' flash: set by the machine
inline constexpr uint16_t kMainStub = 0x7E10;

// The board's console and exit ports (TARGET/SimBoard.h) with what the program writes
// there recorded; reads take the typed input in order and are logged ("S" status, "D" data).
class RecordingConsole : public vsim::ConsoleDevice {
public:
    std::string output;
    std::vector<uint8_t> exits;
    std::string input;
    std::string reads;
    uint8_t console_read(uint16_t port) override
    {
        if (port == vsim::kPortConsoleStatus) {
            reads += 'S';
            return uint8_t(vsim::kConsoleOutputReady |
                           (input.empty() ? 0 : vsim::kConsoleInputReady));
        }
        if (port != vsim::kPortConsoleData)
            return 0;
        reads += 'D';
        if (input.empty())
            return 0;
        const auto c = static_cast<uint8_t>(input.front());
        input.erase(0, 1);
        return c;
    }
    void console_write(uint16_t port, uint8_t value) override
    {
        if (port == vsim::kPortConsoleData)
            output += static_cast<char>(value);
        else if (port == vsim::kPortExit)
            exits.push_back(value);
    }
};

// Where a call ended.
enum class End { returned, exited, limit, fault };

struct CallResult {
    End end = End::limit;
    vsim::CpuState before;      // at the routine's first instruction
    vsim::CpuState after;
    uint16_t entry_sp = 0;      // SP before the stacked operands were pushed
    uint64_t instructions = 0;
    // The exit trap's report: code in L, XPC in H, the fault address in HL'.
    uint8_t exit_code() const { return after.main[vsim::rL]; }
    uint16_t fault() const { return after.hl2(); }
};

// The board with the runtime image, the MMU set as the BIOS sets it, the variables at
// logical 0x8000 (RAM 0x80000) and the stack at 0xD000-0xDFFF.
class Machine {
public:
    explicit Machine(const Image &image = runtime_image());
    Machine(const Machine &) = delete;
    Machine &operator=(const Machine &) = delete;
    ~Machine() { board.attach_console(nullptr); }

    vsim::SimBoard board;
    RecordingConsole console;
    const Image &image;

    // Every register filled with a pattern (different for each seed) so that a routine that
    // changes one it should keep shows it; XPC 0 and IP 0 (priority 0, nothing stacked).
    static vsim::CpuState pattern(uint32_t seed);

    // Calls `routine` (a label, or a logical address with `call_address`) with the registers
    // of `regs`, the bytes of `stacked` pushed first (stacked[0] ends at the lowest address,
    // just above the return address), and runs it until it returns, reaches the exit trap or
    // `limit` instructions.
    CallResult call(const std::string &routine, const vsim::CpuState &regs,
                    const std::vector<uint8_t> &stacked = {}, uint64_t limit = 2000000);
    CallResult call_address(uint16_t address, const vsim::CpuState &regs,
                            const std::vector<uint8_t> &stacked = {}, uint64_t limit = 2000000);

    uint8_t peek(uint16_t logical);
    uint16_t peek16(uint16_t logical);
    void poke(uint16_t logical, const std::vector<uint8_t> &bytes);
    // Code placed in flash for a test (a stand-in caller or callee).
    void code(uint16_t logical, const std::vector<uint8_t> &bytes);

    static constexpr uint16_t kReturn = 0x7FF0;    // the sentinel return address
    static constexpr uint16_t kStackTop = 0xDF00;  // SP before the operands
};

// The bytes of a value, least significant first.
std::vector<uint8_t> le16(uint16_t v);
std::vector<uint8_t> le32(uint32_t v);

} // namespace rtlib
