// The runtime library assembled without the compiler and run on the simulator (see the
// header). The assembler host here keeps a local label table per block and one global table,
// and resolves a forward reference by the first label of its name defined in its own block or
// globally, as the label layer of a compile does.
#include "RuntimeLibrary.h"

#include "codegen/CC_ASM.h"
#include "codegen/CC_ASMTAB.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <fstream>

namespace fs = std::filesystem;

namespace rtlib {

fs::path target_dir()
{
    // KX_TEST_DATA is <sources>/tests/data.
    return fs::path(KX_TEST_DATA).parent_path().parent_path() / "TARGET";
}

std::vector<fs::path> runtime_sources()
{
    std::vector<fs::path> files{target_dir() / "bios" / "Vireonbios.c"};
    std::vector<fs::path> libs;
    for (const auto &entry : fs::directory_iterator(target_dir() / "lib"))
        if (entry.path().extension() == ".LIB")
            libs.push_back(entry.path());
    std::sort(libs.begin(), libs.end());
    files.insert(files.end(), libs.begin(), libs.end());
    return files;
}

namespace {

std::string trim_left(const std::string &s)
{
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    return s.substr(i);
}

bool starts_with_word(const std::string &s, const std::string &word)
{
    if (s.compare(0, word.size(), word) != 0)
        return false;
    return s.size() == word.size() || !(std::isalnum(static_cast<unsigned char>(s[word.size()])) ||
                                        s[word.size()] == '_');
}

// The text without its blanks.
std::string squeeze(const std::string &s)
{
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\t')
            out += c;
    return out;
}

// The blocks of a file; `z180`: "#if TARGETCPU == Z180" holds, as in a Z180 compile.
std::vector<AsmBlock> read_asm_blocks(const fs::path &file, std::vector<std::string> &problems,
                                      bool z180)
{
    std::ifstream in(file);
    std::vector<AsmBlock> blocks;
    if (!in) {
        problems.push_back(file.string() + ": cannot be read");
        return blocks;
    }
    const std::string name = file.filename().string();
    bool in_comment = false, in_block = false;
    int number = 0;
    int block_line = 0;
    // Conditionals read as a compile without the board's macros reads them: "#ifdef" and "#if"
    // do not hold, "#ifndef" does. A block in a part that does not hold is passed over.
    struct Conditional {
        bool outer, holds;
    };
    std::vector<Conditional> conditionals;
    bool skipping = false;
    const auto active = [&] { return conditionals.empty() || conditionals.back().holds; };
    // "#if", "#else" and "#endif" (a library's Z180 lines beside its Vireon lines).
    const auto conditional = [&](const std::string &directive) {
        if (starts_with_word(directive, "#ifdef") || starts_with_word(directive, "#if") ||
            starts_with_word(directive, "#ifndef")) {
            const bool outer = active();
            // The one test on the board's macros read here: the Z180's part of a library.
            const bool z180_part = squeeze(directive) == "#ifTARGETCPU==Z180";
            conditionals.push_back(
                {outer, outer && (starts_with_word(directive, "#ifndef") || (z180_part && z180))});
        } else if (starts_with_word(directive, "#else") && !conditionals.empty()) {
            conditionals.back().holds = conditionals.back().outer && !conditionals.back().holds;
        } else if (starts_with_word(directive, "#endif") && !conditionals.empty()) {
            conditionals.pop_back();
        } else {
            return false;
        }
        return true;
    };
    for (std::string text; std::getline(in, text);) {
        ++number;
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (in_block) {
            const std::string t = trim_left(text);
            if (starts_with_word(t, "#endasm")) {
                in_block = false;
                continue;
            }
            if (!t.empty() && t[0] == '#') {
                if (!conditional(t))
                    problems.push_back(name + ":" + std::to_string(number) +
                                       ": a directive inside an assembly block");
                continue;
            }
            if (!skipping && active())
                blocks.back().push_back({name, number, text});
            continue;
        }
        // C text: skip comments, find a line that opens a block.
        std::string code;
        for (size_t i = 0; i < text.size(); ++i) {
            if (in_comment) {
                if (text.compare(i, 2, "*/") == 0) {
                    in_comment = false;
                    ++i;
                }
                continue;
            }
            if (text.compare(i, 2, "/*") == 0) {
                in_comment = true;
                ++i;
                continue;
            }
            if (text.compare(i, 2, "//") == 0)
                break;
            code += text[i];
        }
        const std::string directive = trim_left(code);
        (void)conditional(directive);
        if (starts_with_word(directive, "#asm")) {
            in_block = true;
            block_line = number;
            skipping = !active();
            if (!skipping)
                blocks.emplace_back();
        }
    }
    if (in_block)
        problems.push_back(name + ":" + std::to_string(block_line) + ": \"#asm\" without \"#endasm\"");
    return blocks;
}

} // namespace

std::vector<AsmBlock> asm_blocks(const fs::path &file, std::vector<std::string> &problems)
{
    return read_asm_blocks(file, problems, false);
}

uint16_t Image::at(const std::string &name) const
{
    auto it = globals.find(name);
    assert(it != globals.end() && "a runtime label the image does not have");
    return it == globals.end() ? 0 : it->second;
}

namespace {

// Local labels per block, global labels for all; references resolved as labels come.
class ScopedHost : public AsmImageHost {
public:
    explicit ScopedHost(uint32_t origin) : AsmImageHost(origin) {}

    struct Pending {
        std::string name;
        uint32_t at;
        uint16_t flags;
        int32_t addend;
        int block;  // -1 once its block has ended: then only a global label resolves it
        std::string where;
    };

    int block = 0;
    std::string where;  // "file:line" of the line being assembled
    std::map<std::string, uint32_t> globals, locals;
    std::vector<Pending> pending;
    std::vector<std::string> problems;

    std::optional<uint32_t> asm_lookup(const std::string &name) override
    {
        if (auto it = locals.find(name); it != locals.end())
            return it->second;
        if (auto it = globals.find(name); it != globals.end())
            return it->second;
        return std::nullopt;
    }

    uint32_t asm_reference(const std::string &name, uint32_t at, uint16_t flags, uint8_t,
                           int32_t addend, const LcallFixup *) override
    {
        pending.push_back({name, at, flags, addend, block, where});
        return 0;
    }

    bool asm_define(const std::string &name, uint32_t value, bool global, bool) override
    {
        auto &table = global ? globals : locals;
        if (table.count(name) || (global && locals.count(name)) || (!global && globals.count(name)))
            return false;
        table[name] = value;
        for (size_t i = 0; i < pending.size();) {
            const Pending p = pending[i];
            if (p.name == name && (global || p.block == block)) {
                patch(p, value);
                pending.erase(pending.begin() + static_cast<long>(i));
            } else {
                ++i;
            }
        }
        return true;
    }

    // A call to a name not yet defined leaves room for the page byte of an "lcall" after its
    // address, as the compile's branch emitter does with "No Bouncers" on (its default); every
    // other jump and call the assembler writes as it stands.
    bool asm_branch(uint8_t opcode, uint32_t target, const std::string &, bool call) override
    {
        if (!call || opcode != 0xCD || target != 0)
            return false;
        for (uint8_t b : {uint8_t(0xCD), uint8_t(0), uint8_t(0), uint8_t(0)})
            asm_emit_byte(b);
        return true;
    }

    void end_block()
    {
        locals.clear();
        for (Pending &p : pending)
            if (p.block == block)
                p.block = -1;
        ++block;
    }

private:
    void patch(const Pending &p, uint32_t value)
    {
        if ((p.flags & kAsmFlagRelByte) && !(p.flags & kAsmFlagWord)) {
            const int32_t d = static_cast<int16_t>(
                static_cast<uint16_t>((value & 0xFFFF) + p.addend - p.at - 1));
            if (d < -128 || d > 127)
                problems.push_back(p.where + ": Jump out of Range to " + p.name);
            else
                image[p.at] = static_cast<uint8_t>(d & 0xFF);
        } else if ((p.flags & kAsmFlagByte) && !(p.flags & kAsmFlagWord)) {
            const uint32_t b = ((value & 0xFFFF) + p.addend) & 0xFFFF;
            if (b > 255)
                problems.push_back(p.where + ": byte out of range: " + p.name);
            else
                image[p.at] = static_cast<uint8_t>(b);
        } else {
            const int64_t v = static_cast<int64_t>(value) + p.addend;
            image[p.at] = static_cast<uint8_t>(v & 0xFF);
            image[(p.at & 0xFFFF0000u) | ((p.at + 1) & 0xFFFF)] = static_cast<uint8_t>((v >> 8) & 0xFF);
            if ((p.flags & kAsmFlagLong) == kAsmFlagLong)
                image[(p.at & 0xFFFF0000u) | ((p.at + 2) & 0xFFFF)] =
                    static_cast<uint8_t>((value >> 16) & 0xFF);
        }
    }
};

} // namespace

namespace {

Image assemble_blocks(const std::vector<std::vector<AsmBlock>> &files, uint16_t origin,
                      const std::map<std::string, uint16_t> &externals, bool externals_first,
                      bool r3000, std::vector<std::string> problems, bool z180 = false)
{
    Image out;
    out.origin = origin;
    out.messages = std::move(problems);
    set_asm_target(z180 ? 0 : 1, r3000 ? 257 : 0);
    init_asm_mnemonics();
    ScopedHost host(origin);
    AsmHost *previous = asm_host();
    set_asm_host(&host);
    auto define_externals = [&] {
        for (const auto &[name, address] : externals)
            if (!host.asm_define(name, address, true, false))
                out.messages.push_back("external " + name + " is defined by the sources too");
    };
    if (externals_first)
        define_externals();
    for (const std::vector<AsmBlock> &blocks : files) {
        for (const AsmBlock &block : blocks) {
            for (const AsmLine &line : block) {
                host.where = line.file + ":" + std::to_string(line.line);
                const size_t before = host.messages.size();
                host.line = line.line;
                assemble_line(line.text.c_str(), false);
                for (size_t m = before; m < host.messages.size(); ++m)
                    out.messages.push_back(host.where + ": " + host.messages[m].text);
            }
            host.end_block();
        }
    }
    if (!externals_first)
        define_externals();
    for (const ScopedHost::Pending &p : host.pending)
        out.messages.push_back(p.where + ": Undefined (but used) global label " + p.name);
    for (const std::string &problem : host.problems)
        out.messages.push_back(problem);
    set_asm_host(previous);

    const uint32_t end = host.address & 0xFFFF;
    out.bytes = host.bytes(origin, end);
    for (const auto &[name, address] : host.globals)
        out.globals[name] = static_cast<uint16_t>(address & 0xFFFF);
    return out;
}

} // namespace

Image assemble(const std::vector<fs::path> &files, uint16_t origin,
               const std::map<std::string, uint16_t> &externals, bool r3000)
{
    std::vector<std::string> problems;
    std::vector<std::vector<AsmBlock>> blocks;
    for (const fs::path &file : files)
        blocks.push_back(asm_blocks(file, problems));
    return assemble_blocks(blocks, origin, externals, false, r3000, problems);
}

Image assemble_z180(const std::vector<fs::path> &files, uint16_t origin)
{
    std::vector<std::string> problems;
    std::vector<std::vector<AsmBlock>> blocks;
    for (const fs::path &file : files)
        blocks.push_back(read_asm_blocks(file, problems, true));
    Image out = assemble_blocks(blocks, origin, {}, false, false, problems, true);
    set_asm_target(1, 0); // the Vireon set again for whoever assembles next
    init_asm_mnemonics();
    return out;
}

Image assemble_lines(const std::vector<std::string> &lines, uint16_t origin, const Image &with)
{
    AsmBlock block;
    int number = 0;
    for (const std::string &line : lines)
        block.push_back({"test", ++number, line});
    Image out = assemble_blocks({{block}}, origin, with.globals, true, false, {});
    for (const auto &[name, address] : with.globals)
        out.globals.erase(name);
    return out;
}

const Image &runtime_image()
{
    static const Image image =
        assemble(runtime_sources(), 0, {{"main", kMainStub}, {"_GLOBAL_INIT", kInitStub}});
    return image;
}

Machine::Machine(const Image &img) : image(img)
{
    (void)board.load(img.origin, img.bytes);
    board.attach_console(&console);
    board.io_write(vsim::IoSpace::internal, vsim::kPortSegSize, 0xD8);
    board.io_write(vsim::IoSpace::internal, vsim::kPortDataSeg, 0x78);
    board.io_write(vsim::IoSpace::internal, vsim::kPortStackSeg, 0x80);
    // The stand-ins of the program's chain and main: the chain counts its runs in 0x8000, main
    // copies that count to 0x8001 (so the order shows), and both return.
    code(kInitStub, {0x21, 0x00, 0x80, 0x34, 0xC9});
    code(kMainStub, {0x3A, 0x00, 0x80, 0x32, 0x01, 0x80, 0xC9});
}

vsim::CpuState Machine::pattern(uint32_t seed)
{
    vsim::CpuState s;
    vsim::cpu_reset(s);
    uint32_t x = seed * 2654435761u + 0x9E3779B9u;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return static_cast<uint8_t>(x >> 8);
    };
    for (auto &r : s.main)
        r = next();
    for (auto &r : s.alt)
        r = next();
    s.ix = static_cast<uint16_t>(next() << 8 | next());
    s.iy = static_cast<uint16_t>(next() << 8 | next());
    s.xpc = 0;
    s.ip = 0;
    return s;
}

CallResult Machine::call(const std::string &routine, const vsim::CpuState &regs,
                         const std::vector<uint8_t> &stacked, uint64_t limit)
{
    return call_address(image.at(routine), regs, stacked, limit);
}

CallResult Machine::call_address(uint16_t address, const vsim::CpuState &regs,
                                 const std::vector<uint8_t> &stacked, uint64_t limit)
{
    CallResult r;
    vsim::CpuState s = regs;
    s.fault = vsim::CpuFault::none;
    s.repeating = false;
    uint16_t sp = kStackTop;
    r.entry_sp = sp;
    for (size_t i = stacked.size(); i-- > 0;)
        board.write(--sp, s.xpc, stacked[i]);
    board.write(--sp, s.xpc, static_cast<uint8_t>(kReturn >> 8));
    board.write(--sp, s.xpc, static_cast<uint8_t>(kReturn & 0xFF));
    s.sp = sp;
    s.pc = address;
    r.before = s;
    const uint16_t trap = image.globals.count("__xexit__") ? image.at("__xexit__") : 0;
    std::vector<vsim::Breakpoint> stops{{kReturn, -1}};
    if (trap)
        stops.push_back({trap, -1});
    const vsim::RunResult run = vsim::cpu_run(s, board, limit, stops);
    r.instructions = run.instructions;
    r.after = s;
    switch (run.reason) {
    case vsim::StopReason::breakpoint:
        r.end = s.pc == kReturn ? End::returned : End::exited;
        if (r.end == End::exited) {
            vsim::CpuState trap = s;  // the trap's own write to the exit port
            vsim::cpu_step(trap, board);
        }
        break;
    case vsim::StopReason::undefined_opcode: r.end = End::fault; break;
    case vsim::StopReason::limit: r.end = End::limit; break;
    }
    return r;
}

uint8_t Machine::peek(uint16_t logical) { return board.read(logical, 0); }

uint16_t Machine::peek16(uint16_t logical)
{
    return static_cast<uint16_t>(peek(logical) | peek(static_cast<uint16_t>(logical + 1)) << 8);
}

void Machine::poke(uint16_t logical, const std::vector<uint8_t> &bytes)
{
    for (size_t i = 0; i < bytes.size(); ++i)
        board.write(static_cast<uint16_t>(logical + i), 0, bytes[i]);
}

void Machine::code(uint16_t logical, const std::vector<uint8_t> &bytes)
{
    (void)board.load(board.to_physical(logical, 0), bytes);
}

std::vector<uint8_t> le16(uint16_t v) { return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }

std::vector<uint8_t> le32(uint32_t v)
{
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

} // namespace rtlib
