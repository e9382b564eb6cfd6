// kxdis: disassembles a binary file from a given address and prints one line per instruction:
// address, bytes in hex, the instruction text.
// Usage: kxdis [--cpu 2000|3000] [--z180] [--org ADDR] FILE.bin
#include "codegen/CC_ASMTAB.h"
#include "debugger/DB_DA.h"
#include "RegularFile.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    DisasmPageSet set = DisasmPageSet::A;
    uint32_t org = 0;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--cpu" && i + 1 < argc) {
            std::string v = argv[++i];
            if (v == "2000") set = DisasmPageSet::A;
            else if (v == "3000") set = DisasmPageSet::B;
            else { std::cerr << "kxdis: unknown cpu " << v << "\n"; return 2; }
        } else if (a == "--z180") {
            set = DisasmPageSet::Z180;
        } else if (a == "--org" && i + 1 < argc) {
            org = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
        } else if (!a.empty() && a[0] != '-' && path.empty()) {
            path = a;
        } else {
            std::cerr << "usage: kxdis [--cpu 2000|3000] [--z180] [--org ADDR] FILE.bin\n";
            return 2;
        }
    }
    if (path.empty()) {
        std::cerr << "usage: kxdis [--cpu 2000|3000] [--z180] [--org ADDR] FILE.bin\n";
        return 2;
    }
    // Only an ordinary file, and not past a limit: a FIFO or a device would block or never end.
    std::vector<uint8_t> code;
    const RegularFileStatus status = read_regular_file(path, std::size_t(16) << 20, code);
    if (status != RegularFileStatus::Read) {
        std::cerr << "kxdis: cannot open " << path
                  << (status == RegularFileStatus::NotRegular ? ": not an ordinary file"
                      : status == RegularFileStatus::TooLarge ? ": larger than 16 MB"
                                                              : "")
                  << "\n";
        return 2;
    }
    set_asm_target(set == DisasmPageSet::Z180 ? 0 : 1, set == DisasmPageSet::B ? 257 : 0);
    selectDisasmPageSet(set);
    size_t pos = 0;
    while (pos < code.size()) {
        std::span<const uint8_t> rest(code.data() + pos, code.size() - pos);
        uint16_t len = 0;
        std::string text;
        disassembleOne(static_cast<uint32_t>(org + pos), rest, len, text);
        if (len == 0) len = 1;
        std::printf("%04X ", static_cast<unsigned>((org + pos) & 0xFFFF));
        for (size_t i = 0; i < 4; ++i) {
            if (i < len && pos + i < code.size()) std::printf(" %02X", code[pos + i]);
            else std::printf("   ");
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        std::printf("  %s\n", text.c_str());
        pos += len;
    }
    return 0;
}
