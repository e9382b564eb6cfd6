// kxasm: assembles a file of assembly lines for a chosen CPU at a given origin and prints, per
// source line, the address and the bytes in hex ("0100  3E 05"), with each diagnostic on its own
// line after the line it belongs to. Exit status 1 when an error was reported.
// Usage: kxasm [--cpu 2000|3000] [--z180] [--org ADDR] [--debug] FILE
#include "codegen/CC_ASM.h"
#include "RegularFile.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

int usage()
{
    std::cerr << "usage: kxasm [--cpu 2000|3000] [--z180] [--org ADDR] [--debug] FILE\n";
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
    int cpu = 1, revision = 0;
    uint32_t org = 0;
    bool debug = false;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--cpu" && i + 1 < argc) {
            std::string v = argv[++i];
            if (v == "2000") revision = 0;
            else if (v == "3000") revision = 257;
            else return usage();
            cpu = 1;
        } else if (a == "--z180") {
            cpu = 0;
        } else if (a == "--org" && i + 1 < argc) {
            org = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
        } else if (a == "--debug") {
            debug = true;
        } else if (!a.empty() && a[0] != '-' && path.empty()) {
            path = a;
        } else {
            return usage();
        }
    }
    if (path.empty())
        return usage();
    // Only an ordinary file, and not past a limit: a FIFO or a device would block or never end.
    std::vector<uint8_t> bytes;
    const RegularFileStatus status = read_regular_file(path, std::size_t(64) << 20, bytes);
    if (status != RegularFileStatus::Read) {
        std::cerr << "kxasm: cannot open " << path
                  << (status == RegularFileStatus::NotRegular ? ": not an ordinary file"
                      : status == RegularFileStatus::TooLarge ? ": larger than 64 MB"
                                                              : "")
                  << "\n";
        return 2;
    }
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    set_asm_target(cpu, revision);
    init_asm_mnemonics();
    AsmImageHost host(org);
    set_asm_host(&host);

    struct Line { uint32_t from, to; size_t first_message, end_message; };
    std::vector<Line> lines;
    std::string text;
    while (std::getline(in, text)) {
        if (!text.empty() && text.back() == '\r') text.pop_back();
        Line l{host.address, 0, host.messages.size(), 0};
        assemble_line(text.c_str(), debug);
        l.to = host.address;
        l.end_message = host.messages.size();
        lines.push_back(l);
        ++host.line;
    }
    size_t before_finish = host.messages.size();
    host.finish();

    for (const Line &l : lines) {
        std::printf("%04X ", l.from & 0xFFFF);
        for (uint8_t b : host.bytes(l.from, l.to))
            std::printf(" %02X", b);
        std::printf("\n");
        for (size_t m = l.first_message; m < l.end_message; ++m) {
            const auto &msg = host.messages[m];
            std::printf("%s %d:%d: %s\n", msg.error ? "error" : "warning", msg.line, msg.column,
                        msg.text.c_str());
        }
    }
    for (size_t m = before_finish; m < host.messages.size(); ++m) {
        const auto &msg = host.messages[m];
        std::printf("error %d:%d: %s\n", msg.line, msg.column, msg.text.c_str());
    }
    set_asm_host(nullptr);
    return host.error_count() > 0 ? 1 : 0;
}
