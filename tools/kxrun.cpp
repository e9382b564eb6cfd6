// kxrun: runs a program image on the Vireon CPU simulator and prints where it stopped.
// Loads "bin" images (at a physical address) and Intel HEX images (known by name or by
// content), runs from a start address for at most N instructions or until a breakpoint or an
// undefined opcode, then prints the registers (main and alternate, IX, IY, SP, PC, XPC) and the memory ranges asked for.
// Exit status: 0 stopped at the limit or a breakpoint, 2 undefined opcode, 1 bad arguments
// or image.
// With --console it runs a program to its end instead: the console port's output goes to the
// standard output and nothing else does; the exit port ends the run with the program's exit
// code as kxrun's status, and the way the run ended is one line on the standard error.
#include "SimBoard.h"
#include "SimCpu.h"
#include "SimImage.h"
#include "SimZ180.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace vsim;

namespace {

// The usage text lists every option the argument loop below accepts.
void usage(std::FILE *to)
{
    std::fprintf(to,
                 "usage: kxrun [options] IMAGE...\n"
                 "  IMAGE            FILE@PHYS (bin at a physical address), or FILE: Intel HEX\n"
                 "                   when named .hex or when its text is HEX records (.ihx,\n"
                 "                   .hdl), else bin at physical 0\n"
                 "  --cpu 2000|3000|z180  instruction set (default 2000); the Z180 maps memory\n"
                 "                   through its own MMU (CBAR, CBR, BBR) and ignores --xpc\n"
                 "  --z180           the same as --cpu z180\n"
                 "  --start ADDR     logical start address (default 0)\n"
                 "  --xpc N          XPC at the start (default 0)\n"
                 "  --sp ADDR        SP at the start (default 0)\n"
                 "  --max N          at most N instructions (default 10000000); a repeating\n"
                 "                   instruction counts each of its iterations\n"
                 "  --break ADDR     stop before the instruction at logical ADDR, or XPC:ADDR\n"
                 "                   (repeatable)\n"
                 "  --dump PHYS:LEN  print LEN bytes of physical memory, within 1 MB (repeatable)\n"
                 "  --flash SIZE     flash size in bytes (default 0x80000, at physical 0)\n"
                 "  --ram SIZE       RAM size in bytes (default 0x80000, at physical 0x80000)\n"
                 "  --console        run the program to its end: its console output on the\n"
                 "                   standard output (input from the standard input), how it\n"
                 "                   ended on the standard error, its exit code as the status\n"
                 "  -h, --help       print this text\n"
                 "Numbers are decimal, 0x hexadecimal or 0 octal.\n"
                 "Exit status: 0 stopped at the limit or a breakpoint, 2 undefined opcode,\n"
                 "1 bad arguments or image. With --console: the program's exit code (0-255),\n"
                 "254 when it stopped before its end (instruction limit or breakpoint), 255 at\n"
                 "an undefined opcode.\n");
}

bool parse_number(std::string_view text, uint64_t &out)
{
    if (text.empty())
        return false;
    std::string s(text);
    char *end = nullptr;
    out = std::strtoull(s.c_str(), &end, 0);
    return end && *end == '\0' && s[0] != '-';
}

bool parse_limited(std::string_view text, uint64_t limit, uint64_t &out)
{
    return parse_number(text, out) && out <= limit;
}

struct Dump {
    uint32_t address;
    uint32_t length;
};

void print_registers(const CpuState &s)
{
    std::printf("AF   %04X  AF'  %04X\n", s.af(), s.af2());
    std::printf("BC   %04X  BC'  %04X\n", s.bc(), s.bc2());
    std::printf("DE   %04X  DE'  %04X\n", s.de(), s.de2());
    std::printf("HL   %04X  HL'  %04X\n", s.hl(), s.hl2());
    std::printf("IX   %04X  IY   %04X\n", s.ix, s.iy);
    std::printf("SP   %04X  PC   %04X\n", s.sp, s.pc);
    std::printf("XPC  %02X    IP   %02X\n", s.xpc, s.ip);
}

void print_dump(std::FILE *to, const SimBoard &board, const Dump &d)
{
    for (uint32_t line = 0; line < d.length; line += 16) {
        std::fprintf(to, "%05X:", d.address + line);
        for (uint32_t i = line; i < d.length && i < line + 16; ++i)
            std::fprintf(to, " %02X", board.peek(d.address + i));
        std::fprintf(to, "\n");
    }
}

// The console and exit ports for --console: output to the standard output as it comes, input
// from the standard input one character at a time when the program asks for it, the first
// write to the exit port the program's end.
class StdioConsole : public ConsoleDevice {
public:
    bool exited = false;
    uint8_t exit_code = 0;

    uint8_t console_read(uint16_t port) override
    {
        if (port == kPortConsoleStatus) {
            if (!m_pending && !m_eof) {
                const int c = std::getchar();
                m_eof = c == EOF;
                if (!m_eof) {
                    m_pending = true;
                    m_input = uint8_t(c);
                }
            }
            return uint8_t(kConsoleOutputReady | (m_pending ? kConsoleInputReady : 0));
        }
        if (port == kPortConsoleData && m_pending) {
            m_pending = false;
            return m_input;
        }
        return 0;
    }

    void console_write(uint16_t port, uint8_t value) override
    {
        if (port == kPortConsoleData && !exited) {
            std::fputc(value, stdout);
        } else if (port == kPortExit && !exited) {
            exited = true;
            exit_code = value;
            std::fflush(stdout);
        }
    }

private:
    bool m_pending = false, m_eof = false;
    uint8_t m_input = 0;
};

// The physical address of the faulting instruction, through the MMU of the CPU's set.
uint32_t physical_pc(const CpuState &s, const SimBoard &board)
{
    if (s.model == CpuModel::z180)
        return z180_physical(s, s.fault_pc);
    return board.to_physical(s.fault_pc, s.fault_xpc);
}

// Runs to the program's end (the exit port), a breakpoint, an undefined opcode or the limit,
// reports the end on the standard error and returns kxrun's status.
int run_console(CpuState &s, SimBoard &board, StdioConsole &console, uint64_t max,
                const std::vector<Breakpoint> &breakpoints)
{
    uint64_t count = 0;
    for (; count < max && !console.exited; ++count) {
        const bool continuing = s.repeating && s.repeat_pc == s.pc && s.repeat_xpc == s.xpc;
        if (count > 0 && !continuing) {
            for (const Breakpoint &b : breakpoints) {
                if (b.pc == s.pc && (b.xpc < 0 || b.xpc == s.xpc)) {
                    std::fprintf(stderr, "breakpoint at %02X:%04X\n", s.xpc, s.pc);
                    return 254;
                }
            }
        }
        cpu_step(s, board);
        if (s.fault != CpuFault::none) {
            std::fprintf(stderr, "undefined opcode at %02X:%04X (physical %05X)\n", s.fault_xpc,
                         s.fault_pc, physical_pc(s, board));
            return 255;
        }
    }
    if (!console.exited) {
        std::fprintf(stderr, "instruction limit (%llu instructions)\n", (unsigned long long)count);
        return 254;
    }
    // The exit routine leaves the code in L, the XPC in H and the address of its call (or of a
    // run-time error's fault) in HL'.
    std::fprintf(stderr, "exit %u", console.exit_code);
    if (console.exit_code >= 224 && console.exit_code <= 253)
        std::fprintf(stderr, " (run-time error at %02X:%04X)", s.main[rH], s.hl2());
    std::fprintf(stderr, "\n");
    return console.exit_code;
}

} // namespace

int main(int argc, char **argv)
{
    BoardConfig config;
    CpuModel model = CpuModel::r2000;
    uint64_t start = 0, xpc = 0, sp = 0, max = 10000000;
    std::vector<Breakpoint> breakpoints;
    std::vector<Dump> dumps;
    std::vector<std::string> images;
    bool console_mode = false;

    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto value = [&](std::string_view &out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string_view v;
        uint64_t n = 0;
        bool ok = true;
        if (arg == "--cpu") {
            ok = value(v) && (v == "2000" || v == "3000" || v == "z180" || v == "Z180");
            if (ok)
                model = v == "3000" ? CpuModel::r3000 : v == "2000" ? CpuModel::r2000 : CpuModel::z180;
        } else if (arg == "--z180") {
            model = CpuModel::z180;
        } else if (arg == "--start") {
            ok = value(v) && parse_limited(v, 0xFFFF, start);
        } else if (arg == "--xpc") {
            ok = value(v) && parse_limited(v, 0xFF, xpc);
        } else if (arg == "--sp") {
            ok = value(v) && parse_limited(v, 0xFFFF, sp);
        } else if (arg == "--max") {
            ok = value(v) && parse_number(v, max);
        } else if (arg == "--break") {
            ok = value(v);
            if (ok) {
                Breakpoint b;
                size_t colon = v.find(':');
                uint64_t page = 0;
                if (colon != std::string_view::npos) {
                    ok = parse_limited(v.substr(0, colon), 0xFF, page);
                    b.xpc = int(page);
                    v = v.substr(colon + 1);
                }
                ok = ok && parse_limited(v, 0xFFFF, n);
                b.pc = uint16_t(n);
                breakpoints.push_back(b);
            }
        } else if (arg == "--dump") {
            ok = value(v);
            size_t colon = v.find(':');
            uint64_t len = 0;
            ok = ok && colon != std::string_view::npos && parse_limited(v.substr(0, colon), 0xFFFFF, n) &&
                 parse_limited(v.substr(colon + 1), 0x100000 - n, len);
            if (ok)
                dumps.push_back({uint32_t(n), uint32_t(len)});
        } else if (arg == "--flash") {
            ok = value(v) && parse_limited(v, 0x100000, n);
            config.flash_size = uint32_t(n);
        } else if (arg == "--ram") {
            ok = value(v) && parse_limited(v, 0x100000, n);
            config.ram_size = uint32_t(n);
        } else if (arg == "--console") {
            console_mode = true;
        } else if (arg == "-h" || arg == "--help") {
            usage(stdout);
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            ok = false;
        } else {
            images.emplace_back(arg);
        }
        if (!ok) {
            std::fprintf(stderr, "kxrun: bad argument near '%s'\n", argv[i]);
            usage(stderr);
            return 1;
        }
    }
    if (images.empty()) {
        usage(stderr);
        return 1;
    }

    SimBoard board(config);
    if (board.config().flash_size != config.flash_size || board.config().ram_size != config.ram_size) {
        std::fprintf(stderr, "kxrun: flash and RAM sizes must be multiples of 4 KB that fit "
                             "the 1 MB space without overlapping\n");
        return 1;
    }
    for (const std::string &image_arg : images) {
        LoadResult r = load_image_argument(board, image_arg);
        if (!r.ok) {
            std::fprintf(stderr, "kxrun: %s\n", r.error.c_str());
            return 1;
        }
        for (const std::string &warning : r.warnings)
            std::fprintf(stderr, "kxrun: warning: %s\n", warning.c_str());
    }

    CpuState s;
    cpu_reset(s, model);
    s.pc = uint16_t(start);
    s.xpc = uint8_t(xpc);
    s.sp = uint16_t(sp);
    if (console_mode) {
        StdioConsole console;
        board.attach_console(&console);
        const int status = run_console(s, board, console, max, breakpoints);
        board.attach_console(nullptr);
        std::fflush(stdout);
        for (const Dump &d : dumps)
            print_dump(stderr, board, d);
        return status;
    }
    RunResult run = cpu_run(s, board, max, breakpoints);

    switch (run.reason) {
    case StopReason::limit: std::printf("stop: instruction limit\n"); break;
    case StopReason::breakpoint: std::printf("stop: breakpoint at %02X:%04X\n", s.xpc, s.pc); break;
    case StopReason::undefined_opcode:
        std::printf("stop: undefined opcode at %02X:%04X (physical %05X)\n", s.fault_xpc, s.fault_pc,
                    physical_pc(s, board));
        break;
    }
    std::printf("instructions: %llu\ncycles: %llu\n", (unsigned long long)run.instructions,
                (unsigned long long)run.cycles);
    print_registers(s);
    for (const Dump &d : dumps)
        print_dump(stdout, board, d);
    return run.reason == StopReason::undefined_opcode ? 2 : 0;
}
