// Programs larger than root code space: a generated program whose functions mostly land in
// extended memory (the "anymem" placement moves them there once root code space runs short),
// compiled by kxcc and run to its end by kxrun --console. What it prints is checked against a
// host model of the same program (16-bit int, 32-bit long), so every way root code reaches an
// xmem function is exercised by a program that must print the right numbers: the start-up code
// calling main, calls compiled before their callee was placed (prototypes, leaves defined at
// the end of the file), a table of function pointers initialised before its functions exist,
// a pointer taken at run time and called from xmem and from root, and calls from xmem to root.
// The map's placement of each function is read to check that most of them are in xmem.
#include "KxccSupport.h"

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

namespace {

using namespace kxcc_test;

using i16 = int16_t;
using i32 = int32_t;
using u32 = uint32_t;

// The target's operators on the host: wrap-around 16-bit int and 32-bit long.
i16 wrap16(int32_t v) { return static_cast<i16>(static_cast<uint16_t>(v)); }
i32 wrap32(int64_t v) { return static_cast<i32>(static_cast<u32>(v)); }

// A small deterministic generator (the program and its model must not depend on the host's
// random library).
struct Lcg {
    uint32_t state;
    uint32_t next()
    {
        state = state * 1103515245u + 12345u;
        return (state >> 16) & 0x7FFF;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
};

// One generated function: f<i>(int a, long b) runs a loop whose body a switch picks, calls a
// function defined before it (the one at i / 2) and a leaf defined at the end of the file
// (h<i % leaves>: every xmem function costs root code space for its entry stub, so the leaves
// are shared).
constexpr int kMaxLeaves = 64;
struct Function {
    int loops;      // 3..8
    i16 mul;        // case 0: acc = acc * mul + s
    i16 sub;        // case 1: acc = acc - (long)s * sub
    i16 smul, sadd; // case 2: s = s * smul + sadd
    int shift;      // default: acc = acc ^ (acc >> shift)
    int leaf_add;   // the leaf: h<i>(v) = v + leaf_add
};

struct Program {
    std::vector<Function> functions;
    int table_size;  // entries of the pointer table
    int table_step;  // entry k points to f<k * table_step>
    int leaves;      // f<i> calls h<i % leaves>
    std::string text;
    std::string expected;
    int lines = 0;
};

// ---- the host model --------------------------------------------------------------------------

struct Model {
    const std::vector<Function> &fs;

    int leaves;

    i16 leaf(int i, i16 v) const { return wrap16(v + fs[i % leaves].leaf_add); }

    i32 call(int i, i16 a, i32 b) const
    {
        const Function &f = fs[i];
        i16 s = a;
        i32 acc = b;
        for (int k = 0; k < f.loops; ++k) {
            switch (wrap16(s + k) & 3) {
            case 0: acc = wrap32(int64_t(acc) * f.mul + s); break;
            case 1: acc = wrap32(int64_t(acc) - int64_t(s) * f.sub); break;
            case 2: s = wrap16(int32_t(s) * f.smul + f.sadd); break;
            default: acc = acc ^ (acc >> f.shift); break;
            }
        }
        if (i > 0)
            acc = wrap32(int64_t(acc) + call(i / 2, s, acc & 0x7FFFL));
        s = leaf(i, s);
        return wrap32(int64_t(acc) + s);
    }
};

// ---- the program's text -----------------------------------------------------------------------

void add_line(Program &p, const std::string &line)
{
    p.text += line;
    p.text += '\n';
    p.lines += 1 + static_cast<int>(std::count(line.begin(), line.end(), '\n'));
}

std::string function_text(int i, const Function &f, int leaf)
{
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer,
                  "long f%d(int a, long b)\n"
                  "{\n"
                  "    auto int k, s;\n"
                  "    auto long acc;\n"
                  "    s = a;\n"
                  "    acc = b;\n"
                  "    for (k = 0; k < %d; k++) {\n"
                  "        switch ((s + k) & 3) {\n"
                  "        case 0:\n"
                  "            acc = acc * %d + s;\n"
                  "            break;\n"
                  "        case 1:\n"
                  "            acc = acc - (long)s * %d;\n"
                  "            break;\n"
                  "        case 2:\n"
                  "            s = s * %d + %d;\n"
                  "            break;\n"
                  "        default:\n"
                  "            acc = acc ^ (acc >> %d);\n"
                  "            break;\n"
                  "        }\n"
                  "    }\n"
                  "%s"
                  "    s = h%d(s);\n"
                  "    return acc + s;\n"
                  "}",
                  i, f.loops, f.mul, f.sub, f.smul, f.sadd, f.shift,
                  i > 0 ? ("    acc = acc + f" + std::to_string(i / 2) + "(s, acc & 0x7FFFL);\n").c_str()
                        : "",
                  leaf);
    return buffer;
}

// A program of about `lines` lines. main prints f<i>(seed, running) for every function, calls
// a few through the pointer table and through a pointer held in a variable, and returns 0.
Program generate(int target_lines, uint32_t seed)
{
    Program p;
    Lcg rng{seed};
    const int count = target_lines / 25;
    for (int i = 0; i < count; ++i) {
        Function f;
        f.loops = 3 + rng.below(6);
        f.mul = static_cast<i16>(2 + rng.below(9));
        f.sub = static_cast<i16>(50 + rng.below(400));
        f.smul = static_cast<i16>(3 + rng.below(5));
        f.sadd = static_cast<i16>(rng.below(200) - 100);
        f.shift = 1 + rng.below(7);
        f.leaf_add = rng.below(1000) - 500;
        p.functions.push_back(f);
    }
    p.table_size = count < 16 ? count : 16;
    p.table_step = count / p.table_size;
    p.leaves = count < kMaxLeaves ? count : kMaxLeaves;
    const Model model{p.functions, p.leaves};
    const int last = count - 1;

    add_line(p, "/* generated: functions that mostly lie in extended memory */");
    for (int i = 0; i < p.leaves; ++i)
        add_line(p, "int h" + std::to_string(i) + "(int v);");
    for (int i = 0; i < count; ++i)
        add_line(p, function_text(i, p.functions[i], i % p.leaves));
    // A table of pointers spread over root and xmem functions (entry k is f<k * step>), and a
    // pointer to be set at run time.
    std::string table = "long (*const table[" + std::to_string(p.table_size) + "])(int, long) = {";
    for (int k = 0; k < p.table_size; ++k)
        table += (k ? ", f" : " f") + std::to_string(k * p.table_step);
    add_line(p, table + " };");
    add_line(p, "long (*held)(int, long);");

    // main: every function once, fed from the one before.
    add_line(p, "int main()");
    add_line(p, "{");
    add_line(p, "    auto long running;");
    add_line(p, "    auto int i;");
    add_line(p, "    running = 1;");
    i32 running = 1;
    char line[256];
    for (int i = 0; i < count; ++i) {
        const i16 a = wrap16(i * 37 % 1000 - 500);
        std::snprintf(line, sizeof line, "    running = f%d(%d, running);", i, a);
        add_line(p, line);
        add_line(p, "    printf(\"%ld\\n\", running);");
        running = model.call(i, a, running);
        char out[32];
        std::snprintf(out, sizeof out, "%" PRId32 "\n", running);
        p.expected += out;
    }
    // Through the table (its words were patched when the functions were placed).
    add_line(p, "    for (i = 0; i < " + std::to_string(p.table_size) + "; i++)");
    add_line(p, "        printf(\"%ld\\n\", table[i](i, 1000L));");
    for (int i = 0; i < p.table_size; ++i) {
        char out[32];
        std::snprintf(out, sizeof out, "%" PRId32 "\n",
                      model.call(i * p.table_step, wrap16(i), 1000));
        p.expected += out;
    }
    // Through a pointer taken at run time, to the last function (surely in xmem).
    add_line(p, "    held = f" + std::to_string(last) + ";");
    add_line(p, "    printf(\"%ld\\n\", held(7, 70000L));");
    {
        char out[32];
        std::snprintf(out, sizeof out, "%" PRId32 "\n", model.call(last, 7, 70000));
        p.expected += out;
    }
    add_line(p, "    return 0;");
    add_line(p, "}");

    // The leaves, defined after every call of them.
    for (int i = 0; i < p.leaves; ++i)
        add_line(p, "int h" + std::to_string(i) + "(int v) { return v + " +
                        std::to_string(p.functions[i].leaf_add) + "; }");
    return p;
}

// The map's function lines: name -> whether its address has a page ("02:e000").
std::map<std::string, bool> placements(const std::string &map)
{
    std::map<std::string, bool> out;
    std::istringstream in(map);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string address, size, name;
        if (!(words >> address >> size >> name))
            continue;
        if (address.size() == 4 || (address.size() == 7 && address[2] == ':'))
            out[name] = address.size() == 7;
    }
    return out;
}

// A code address as the map and the listing write it: "02d3" (root) or "02:e000" (xmem).
using CodeAddress = std::pair<int, uint32_t>;  // page (-1 for root), logical address

std::optional<CodeAddress> code_address(const std::string &text)
{
    unsigned page = 0, offset = 0;
    if (text.size() == 4 && std::sscanf(text.c_str(), "%4x", &offset) == 1)
        return CodeAddress{-1, offset};
    if (text.size() == 7 && text[2] == ':' &&
        std::sscanf(text.c_str(), "%2x:%4x", &page, &offset) == 2)
        return CodeAddress{static_cast<int>(page), offset};
    return std::nullopt;
}

// Where the calls of the program's own code go, checked against the map: every "call" and
// "lcall" in the lines the listing gives to big.c reaches a function or label the map lists,
// or a root stub (listed too) whose long call or jump reaches one. Returns the calls that do
// not, one a line.
std::string calls_the_map_does_not_explain(const std::string &map, const std::string &listing)
{
    std::set<CodeAddress> mapped;
    {
        std::istringstream in(map);
        for (std::string line; std::getline(in, line);) {
            std::istringstream words(line);
            std::string address, size, name;
            if (words >> address >> size >> name)
                if (const auto a = code_address(address))
                    mapped.insert(*a);
        }
    }
    struct Instruction {
        std::string mnemonic;
        std::string operand;
        bool own = false;  // in big.c's lines
    };
    std::map<CodeAddress, Instruction> code;
    {
        std::istringstream in(listing);
        bool own = false;
        for (std::string line; std::getline(in, line);) {
            if (line.starts_with("[") || line.starts_with("***")) {
                own = line.starts_with("[big.c(");
                continue;
            }
            std::istringstream words(line);
            std::string address, bytes, mnemonic, operand;
            if (!(words >> address >> bytes >> mnemonic))
                continue;
            words >> operand;
            if (const auto a = code_address(address))
                code[*a] = Instruction{mnemonic, operand, own};
        }
    }
    // "0x02E000" of a long call or jump, "0x02D3" of a call.
    const auto target = [](const std::string &operand, int page) -> std::optional<CodeAddress> {
        unsigned value = 0;
        if (std::sscanf(operand.c_str(), "0x%x", &value) != 1)
            return std::nullopt;
        if (operand.size() == 8)
            return CodeAddress{static_cast<int>(value >> 16), value & 0xFFFF};
        return CodeAddress{value >= 0xE000 ? page : -1, value};
    };
    const auto long_transfer_to_map = [&](const CodeAddress &at) {
        const auto it = code.find(at);
        if (it == code.end() || (it->second.mnemonic != "lcall" && it->second.mnemonic != "ljp"))
            return false;
        const auto to = target(it->second.operand, -1);
        return to && mapped.count(*to) != 0;
    };
    std::string unexplained;
    for (const auto &[at, instruction] : code) {
        if (!instruction.own || (instruction.mnemonic != "call" && instruction.mnemonic != "lcall"))
            continue;
        const auto to = target(instruction.operand, at.first);
        if (!to)
            continue;
        // A stub: "lcall f; ret", or "pop de ... ljp f" (its long jump 7 bytes in).
        const bool explained = mapped.count(*to) != 0 || long_transfer_to_map(*to) ||
                               long_transfer_to_map(CodeAddress{to->first, to->second + 7});
        if (!explained) {
            char text[96];
            std::snprintf(text, sizeof text, "%d:%04x %s %s\n", at.first, at.second,
                          instruction.mnemonic.c_str(), instruction.operand.c_str());
            unexplained += text;
        }
    }
    return unexplained;
}

struct SizeCase {
    const char *name;
    int lines;
    const char *cpu;  // kxcc's and kxrun's "--cpu"
};

// Root code space runs short after a few dozen functions: main, most functions, every leaf
// and most of the pointer table lie in xmem, and functions and main cross xmem pages.
// On the Z180 common area 1 is the window and CBR the page: the same program runs there, its
// xmem functions entered through the universal bouncer and its pages crossed through the BIOS.
const SizeCase kSizes[] = {
    {"lines5000", 5000, "2000"},
    {"lines20000", 20000, "2000"},
    {"lines5000_z180", 5000, "z180"},
    {"lines20000_z180", 20000, "z180"},
};

class XmemProgram : public Folder, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(XmemProgram, PrintsWhatTheHostModelComputes)
{
    const Program p = generate(GetParam().lines, 58);
    ASSERT_GE(p.lines, GetParam().lines * 9 / 10);
    const fs::path source = dir / "big.c", image = dir / "big.bin";
    write_file(source, p.text);
    const std::string cpu = std::string("--cpu ") + GetParam().cpu + " ";
    const bool z180 = std::string(GetParam().cpu) == "z180";
    const ToolRun cc = run(dir, tool("kxcc"), cpu + "--list '" + source.string() + "'");
    ASSERT_EQ(cc.status, 0) << cc.err;
    // The Vireon's long calls and stubs name their targets; the Z180's stubs hand theirs to
    // the bouncer as data.
    if (!z180) {
        EXPECT_EQ(calls_the_map_does_not_explain(read_file(dir / "big.map"),
                                                 read_file(dir / "big.lst")),
                  "");
    }

    const auto placed = placements(read_file(dir / "big.map"));
    int in_xmem = 0, functions = 0;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < p.functions.size(); ++i)
        names.push_back("f" + std::to_string(i));
    for (int i = 0; i < p.leaves; ++i)
        names.push_back("h" + std::to_string(i));
    for (const std::string &name : names) {
        const auto it = placed.find(name);
        ASSERT_NE(it, placed.end()) << name << " is not in the map";
        ++functions;
        in_xmem += it->second ? 1 : 0;
    }
    EXPECT_GT(in_xmem * 4, functions * 3) << in_xmem << " of " << functions << " in xmem";
    ASSERT_TRUE(placed.count("main"));
    EXPECT_TRUE(placed.at("main")) << "main is in xmem";

    // The 20,000-line program runs some 30 million instructions.
    const ToolRun program =
        run(dir, tool("kxrun"), cpu + "--console --max 200000000 '" + image.string() + "'");
    EXPECT_EQ(program.status, 0) << program.err;
    // The first differing line is enough to see what went wrong.
    std::istringstream got(program.out), want(p.expected);
    std::string g, w;
    for (int line = 1; std::getline(want, w); ++line) {
        if (!std::getline(got, g)) {
            ADD_FAILURE() << "the run ends before line " << line << " (" << program.err << ")";
            return;
        }
        if (g != w) {
            ADD_FAILURE() << "line " << line << ": " << g << " (expected " << w << ")";
            return;
        }
    }
    EXPECT_FALSE(std::getline(got, g)) << "more printed than expected: " << g;
}
INSTANTIATE_TEST_SUITE_P(All, XmemProgram, ::testing::ValuesIn(kSizes),
                         [](const auto &i) { return std::string(i.param.name); });

}  // namespace
