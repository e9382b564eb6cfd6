// kxdocs: writes the reference pages of the help at build time, so they always say what this
// build does.
//   kxdocs instructions OUT.html        the instruction set: every mnemonic and operand form
//                                        of the assembler's table (CC_ASMTAB), its bytes, and
//                                        its clock cycles on the Vireon 2000, the Vireon 3000
//                                        and the Z180, one page with an index
//   kxdocs library OUTDIR LIB...         the function reference: one page per library from the
//                                        description blocks that Function Lookup reads (LB_CAT),
//                                        and OUTDIR/index.html over all of them
// The Vireon cycles are the disassembly window's (DB_DA, expanded from the same table); the
// Z180's are those of the board stand-in's Z180 core, found by running the instruction on it.
// Exit status 0, or 1 with a message on stderr when a page cannot be written or a library
// cannot be read.
#include "ToolSeams.h"
#include "codegen/CC_ASMTAB.h"
#include "debugger/DB_DA.h"
#include "linker/LB_CAT.h"
#include "SimCpu.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string escape(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c; break;
        }
    }
    return out;
}

// A name as an anchor: letters, digits and "_" kept, anything else as "-".
std::string anchor(std::string_view prefix, std::string_view name)
{
    std::string out(prefix);
    for (char c : name)
        out += std::isalnum(static_cast<unsigned char>(c)) || c == '_' ? c : '-';
    return out;
}

const char *kStyle =
    "<style>\n"
    "body { font-family: sans-serif; margin: 1.5em; max-width: 70em; }\n"
    "table { border-collapse: collapse; margin-bottom: 1em; }\n"
    "th, td { border: 1px solid #bbb; padding: 2px 8px; text-align: left; }\n"
    "th { background: #e8eef6; }\n"
    "code, pre, td.code { font-family: monospace; }\n"
    "pre { background: #f6f6f6; padding: 0.5em; }\n"
    "p.nav { font-size: small; }\n"
    "</style>\n";

std::string page_head(const std::string &title)
{
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
           escape(title) + "</title>\n" + kStyle + "</head>\n<body>\n";
}

bool write_file(const fs::path &path, const std::string &text)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (out)
        return true;
    std::fprintf(stderr, "kxdocs: cannot write %s\n", path.string().c_str());
    return false;
}

// ---- the instruction set ------------------------------------------------------------------------

// A field of an opcode byte: how many values it has, where it sits and the letters that stand
// for it in the bit pattern.
struct Field {
    int count = 1;  // 1: no field
    int shift = 0;
    int width = 0;
};

Field field_of(uint16_t fmt)
{
    switch (fmt & kFmtCodeMask) {
    case kFmtEirIir: return {2, 3, 1};
    case kFmtR8Hi: return {8, 3, 3};
    case kFmtR8Lo: return {8, 0, 3};
    case kFmtPair:
    case kFmtPushPair:
    case kFmtPairAlt: return {4, 4, 2};
    case kFmtBcDeInd: return {2, 4, 1};
    case kFmtRst:
    case kFmtCond8:
    case kFmtBitNo: return {8, 3, 3};
    case kFmtCond4: return {4, 3, 2};
    case kFmtIpset: return {4, 3, 2};
    case kFmtImMode: return {3, 3, 2};
    default: return {};
    }
}

// The opcode bits of value v of the field.
uint8_t field_bits(uint16_t fmt, int v)
{
    if ((fmt & kFmtCodeMask) == kFmtIpset) {
        static constexpr uint8_t kLevels[4] = {0x00, 0x10, 0x08, 0x18};
        return kLevels[v & 3];
    }
    if ((fmt & kFmtCodeMask) == kFmtImMode) {
        static constexpr uint8_t kModes[3] = {0x00, 0x10, 0x18};
        return kModes[v % 3];
    }
    const Field f = field_of(fmt);
    return f.count == 1 ? 0 : static_cast<uint8_t>(v << f.shift);
}

bool is_r8(uint16_t fmt)
{
    const uint16_t code = fmt & kFmtCodeMask;
    return code == kFmtR8Hi || code == kFmtR8Lo;
}

// Small fields get one row per value: the operand is then written out.
bool spelled_out(uint16_t fmt)
{
    const uint16_t code = fmt & kFmtCodeMask;
    return code == kFmtBcDeInd || code == kFmtEirIir;
}

// One row of the reference: a form with its field values fixed where the row fixes them.
struct Variant {
    const AsmForm *form = nullptr;
    uint8_t prefix = 0;        // 0, or 0xDD (the iy row with 0xFD is the same)
    int value[2] = {-1, -1};   // per operand: -1 generic, else the field value
};

uint16_t fmt_at(const AsmForm &f, int i) { return i == 0 ? f.fmt1 : f.fmt2; }

bool allowed(const AsmForm &f, uint16_t fmt, int v)
{
    switch (fmt & kFmtCodeMask) {
    case kFmtPair:
    case kFmtPushPair:
    case kFmtPairAlt: return ((f.field_mask >> v) & 1) != 0;
    case kFmtR8Hi:
    case kFmtR8Lo: return f.indexable || ((f.field_mask >> v) & 1) != 0;
    default: return true;
    }
}

int first_allowed(const AsmForm &f, uint16_t fmt)
{
    const Field field = field_of(fmt);
    for (int v = 0; v < field.count; ++v)
        if (allowed(f, fmt, v))
            return v;
    return 0;
}

// Whether the prefix makes sense for the form's operands without a fixed value: an hl-type
// operand that becomes ix/iy.
bool names_hl_always(uint16_t fmt)
{
    switch (fmt & kFmtCodeMask) {
    case kFmtHLX: case kFmtHLXInd: case kFmtDisp: case kFmtDEAlt: return true;
    default: return false;
    }
}

std::vector<Variant> variants_of(const AsmForm &f)
{
    std::vector<Variant> out;
    // Rows per written-out value.
    std::vector<Variant> base{Variant{&f, 0, {-1, -1}}};
    for (int i = 0; i < 2; ++i) {
        if (!spelled_out(fmt_at(f, i)))
            continue;
        std::vector<Variant> next;
        for (const Variant &v : base)
            for (int value = 0; value < field_of(fmt_at(f, i)).count; ++value) {
                Variant w = v;
                w.value[i] = value;
                next.push_back(w);
            }
        base = next;
    }
    if (f.page == AsmPage::Index) {
        for (Variant v : base) {
            v.prefix = 0xDD;
            out.push_back(v);
        }
        return out;
    }
    for (const Variant &v : base) {
        out.push_back(v);
        // The (hl) row of an 8-bit register field: its cycles are its own.
        for (int i = 0; i < 2; ++i) {
            if (!is_r8(fmt_at(f, i)) || !allowed(f, fmt_at(f, i), 6))
                continue;
            Variant w = v;
            w.value[i] = 6;
            out.push_back(w);
        }
    }
    if (!f.indexable)
        return out;
    for (const Variant &v : base) {
        bool any_r8 = false;
        for (int i = 0; i < 2; ++i) {
            if (!(is_r8(fmt_at(f, i)) && (fmt_at(f, i) & kFmtIndexed)))
                continue;
            any_r8 = true;
            Variant w = v;
            w.prefix = 0xDD;
            w.value[i] = 6;
            out.push_back(w);
        }
        if (any_r8)
            continue;
        Variant w = v;
        w.prefix = 0xDD;
        if (!names_hl_always(f.fmt1) && !names_hl_always(f.fmt2)) {
            // Only the hl value of a pair field becomes ix.
            for (int i = 0; i < 2; ++i) {
                const uint16_t code = fmt_at(f, i) & kFmtCodeMask;
                if (code == kFmtPair || code == kFmtPushPair)
                    w.value[i] = 2;
            }
        }
        out.push_back(w);
    }
    return out;
}

int value_of(const Variant &v, int i)
{
    return v.value[i] >= 0 ? v.value[i] : first_allowed(*v.form, fmt_at(*v.form, i));
}

uint8_t opcode_of(const Variant &v)
{
    return static_cast<uint8_t>(v.form->opcode | field_bits(v.form->fmt1, value_of(v, 0)) |
                                field_bits(v.form->fmt2, value_of(v, 1)));
}

bool ljp_like(const AsmForm &f)
{
    return f.page == AsmPage::Main && (f.opcode == 0xC7 || f.opcode == 0xCF) &&
           (f.fmt1 & kFmtCodeMask) == kFmtImm16;
}

// Whether the prefixed row takes a displacement byte right after the opcode.
bool has_displacement(const Variant &v)
{
    if (!v.prefix)
        return false;
    for (int i = 0; i < 2; ++i)
        if (is_r8(fmt_at(*v.form, i)) && (fmt_at(*v.form, i) & kFmtIndexed) && v.value[i] == 6)
            return true;
    return false;
}

// The bytes of one instance (sample operands: n 0x12, mn 0x3456, page 0x0A, d +5, e +0x10),
// and beside them the pattern the reference shows ("DD", "01rrr110", "d", "lo", ...).
struct Encoding {
    std::vector<uint8_t> bytes;
    std::vector<std::string> pattern;
};

std::string bit_pattern(const Variant &v)
{
    const uint8_t op = opcode_of(v);
    std::string bits;
    for (int bit = 7; bit >= 0; --bit) {
        char c = (op >> bit) & 1 ? '1' : '0';
        for (int i = 0; i < 2; ++i) {
            const uint16_t fmt = fmt_at(*v.form, i);
            const Field field = field_of(fmt);
            if (field.count == 1 || v.value[i] >= 0)
                continue;
            if (bit < field.shift || bit >= field.shift + field.width)
                continue;
            switch (fmt & kFmtCodeMask) {
            case kFmtR8Hi: c = i == 0 && is_r8(v.form->fmt2) && v.value[1] < 0 ? 'd' : 'r'; break;
            case kFmtR8Lo: c = i == 1 && is_r8(v.form->fmt1) && v.value[0] < 0 ? 's' : 'r'; break;
            case kFmtPair: case kFmtPairAlt: c = 's'; break;
            case kFmtPushPair: c = 'q'; break;
            case kFmtRst: c = 'v'; break;
            case kFmtCond8: case kFmtCond4: c = 'c'; break;
            case kFmtBitNo: c = 'b'; break;
            case kFmtIpset: c = 'l'; break;
            case kFmtImMode: c = 'm'; break;
            default: c = 'x'; break;
            }
        }
        bits += c;
    }
    const bool generic = bits.find_first_not_of("01") != std::string::npos;
    if (!generic) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", op);
        return hex;
    }
    return bits;
}

Encoding encode(const Variant &v)
{
    Encoding e;
    auto put = [&e](uint8_t byte, std::string shown) {
        e.bytes.push_back(byte);
        e.pattern.push_back(std::move(shown));
    };
    const AsmForm &f = *v.form;
    if (v.prefix)
        put(v.prefix, "DD");
    if (f.page == AsmPage::ED)
        put(0xED, "ED");
    if (f.page == AsmPage::CB)
        put(0xCB, "CB");
    if (f.page == AsmPage::CB && has_displacement(v)) {
        // The indexed bit, shift and rotate rows: the displacement comes before the opcode.
        put(0x05, "d");
        put(opcode_of(v), bit_pattern(v));
        return e;
    }
    put(opcode_of(v), bit_pattern(v));
    if (has_displacement(v))
        put(0x05, "d");
    for (int i = 0; i < 2; ++i) {
        switch (fmt_at(f, i) & kFmtCodeMask) {
        case kFmtImm8: put(0x12, "n"); break;
        case kFmtPortN: put(0x40, "n"); break;
        case kFmtRel: put(0x10, "e"); break;
        case kFmtSPDisp: put(0x05, "n"); break;
        case kFmtDisp: case kFmtDispSwap: put(0x05, "d"); break;
        case kFmtImm16:
        case kFmtMem:
            put(0x56, "lo");
            put(0x34, "hi");
            if (ljp_like(f))
                put(0x0A, "xpc");
            break;
        default: break;
        }
    }
    return e;
}

// The operand as the reference writes it.
std::string operand_text(const Variant &v, int i)
{
    const AsmForm &f = *v.form;
    const uint16_t fmt = fmt_at(f, i);
    const int value = v.value[i];
    const bool ix = v.prefix != 0;
    static constexpr const char *kReg8[8] = {"b", "c", "d", "e", "h", "l", "(hl)", "a"};
    switch (fmt & kFmtCodeMask) {
    case kFmtNone: return "";
    case kFmtAF: return "af";
    case kFmtAFAlt: return "af'";
    case kFmtDE: return "de";
    case kFmtHLX: return ix ? "ix" : "hl";
    case kFmtA: return "a";
    case kFmtSPInd: return "(sp)";
    case kFmtImm8: return "n";
    case kFmtRel: return "e";
    case kFmtImm16: return ljp_like(f) ? "xpc:mn" : "mn";
    case kFmtMem: return "(mn)";
    case kFmtEirIir: return value == 1 ? "iir" : "eir";
    case kFmtR8Hi:
    case kFmtR8Lo:
        if (value == 6)
            return ix ? "(ix+d)" : "(hl)";
        if (value >= 0)
            return kReg8[value];
        return i == 1 && is_r8(f.fmt1) && v.value[0] < 0 ? "r'" : "r";
    case kFmtPair: return value == 2 && ix ? "ix" : "ss";
    case kFmtPushPair: return value == 2 && ix ? "ix" : "qq";
    case kFmtBcDeInd: return value == 1 ? "(de)" : "(bc)";
    case kFmtRst: return "v";
    case kFmtCond8:
    case kFmtCond4: return "cc";
    case kFmtBitNo: return "b";
    case kFmtSP: return "sp";
    case kFmtDEAlt: return ix ? "(sp)" : "de'";
    case kFmtIpset: return "l";
    case kFmtIP: return "ip";
    case kFmtXPC: return "xpc";
    case kFmtDisp: return ix ? "(ix+d)" : "(hl+d)";
    case kFmtSPDisp: return "(sp+n)";
    case kFmtHL: return "hl";
    case kFmtHLXInd: return ix ? "(ix)" : "(hl)";
    case kFmtPairAlt: return "ss'";
    case kFmtBC: return "bc";
    case kFmtDispSwap: return ix ? "(hl+d)" : "(ix+d)";
    case kFmtSU: return "su";
    case kFmtPortN: return "(n)";
    case kFmtCInd: return "(c)";
    case kFmtI: return "i";
    case kFmtR: return "r";
    case kFmtImMode: return "m";
    }
    return "?";
}

std::string instruction_text(const Variant &v)
{
    std::string text(asm_mnemonic_name(v.form->mnemonic));
    const std::string a = operand_text(v, 0), b = operand_text(v, 1);
    if (!a.empty())
        text += " " + a;
    if (!b.empty())
        text += "," + b;
    return text;
}

// The Vireon figure of the disassembly window: a count, "6+7n" for a block move (6 plus 7 per
// byte), "8/2" for a conditional return (taken / not taken).
std::string vireon_cycles(const std::vector<uint8_t> &bytes)
{
    const int cycles = instructionCycles(bytes);
    switch (cycles) {
    case 100: return "6+7n";
    case 101: return "8+6n";
    case 102: return "8+7n";
    default: break;
    }
    if ((cycles & 0xFF) == 255)
        return "8/2";
    return std::to_string(cycles);
}

// 64 KB of memory and idle ports: enough for one instruction.
class FlatBus : public vsim::Bus {
public:
    std::vector<uint8_t> memory = std::vector<uint8_t>(0x10000, 0);
    uint8_t read(uint16_t logical, uint8_t) override { return memory[logical]; }
    void write(uint16_t logical, uint8_t, uint8_t value) override { memory[logical] = value; }
    uint8_t read_physical(uint32_t physical) override { return memory[physical & 0xFFFF]; }
    void write_physical(uint32_t physical, uint8_t value) override
    {
        memory[physical & 0xFFFF] = value;
    }
    uint8_t io_read(vsim::IoSpace, uint16_t) override { return 0xFF; }
    void io_write(vsim::IoSpace, uint16_t, uint8_t) override {}
};

// The Z180's figures: the instruction run once on the Z180 core from each of three states
// (flags clear or set, BC 2, 1 or 0x0101), so that a condition is met and missed, djnz loops
// and stops, and a repeating move repeats and ends; the different counts, largest first. "-"
// when the core does not take the instruction.
std::string z180_cycles(const std::vector<uint8_t> &bytes)
{
    struct Start {
        uint8_t f;
        uint16_t bc;
    };
    std::set<uint32_t, std::greater<>> seen;
    for (const Start start : {Start{0x00, 0x0002}, Start{0xFF, 0x0001}, Start{0x00, 0x0101}}) {
        FlatBus bus;
        std::copy(bytes.begin(), bytes.end(), bus.memory.begin() + 0x4000);
        vsim::CpuState s;
        vsim::cpu_reset(s, vsim::CpuModel::z180);
        s.pc = 0x4000;
        s.sp = 0xC000;
        s.main[vsim::rF] = start.f;
        s.set_bc(start.bc);
        s.set_de(0x9000);
        s.set_hl(0x8000);
        s.ix = s.iy = 0xA000;
        const uint32_t cycles = vsim::cpu_step(s, bus);
        if (s.fault != vsim::CpuFault::none)
            return "-";
        seen.insert(cycles);
    }
    std::string text;
    for (uint32_t c : seen)
        text += (text.empty() ? "" : "/") + std::to_string(c);
    return text;
}

// The form owns its opcode on the CPU: no earlier row of the table takes the same bytes there.
bool owns_opcode(const Variant &v, int cpu_flag, int revision)
{
    if (!asm_form_available(*v.form, cpu_flag, revision))
        return false;
    const uint8_t op = opcode_of(v);
    for (int i = 0; i < kAsmFormCount; ++i) {
        const AsmForm &other = kAsmForms[i];
        if (&other == v.form)
            return true;
        if (other.page != v.form->page || !asm_form_available(other, cpu_flag, revision))
            continue;
        // The other row's opcodes: its fixed bits and every value of its fields.
        const Field f1 = field_of(other.fmt1), f2 = field_of(other.fmt2);
        for (int a = 0; a < f1.count; ++a)
            for (int b = 0; b < f2.count; ++b)
                if (allowed(other, other.fmt1, a) && allowed(other, other.fmt2, b) &&
                    static_cast<uint8_t>(other.opcode | field_bits(other.fmt1, a) |
                                         field_bits(other.fmt2, b)) == op)
                    return false;
    }
    return true;
}

// An instance of the row that the CPU gives to this form: its generic fields tried value by
// value (rst 0x00 and 0x08 are ljp and lcall on the Vireon, the others are rst). Nothing when
// the CPU has none.
std::optional<Variant> owned_instance(const Variant &v, int cpu_flag, int revision)
{
    const Field f1 = v.value[0] < 0 ? field_of(v.form->fmt1) : Field{};
    const Field f2 = v.value[1] < 0 ? field_of(v.form->fmt2) : Field{};
    for (int a = 0; a < f1.count; ++a)
        for (int b = 0; b < f2.count; ++b) {
            Variant w = v;
            if (f1.count > 1)
                w.value[0] = a;
            if (f2.count > 1)
                w.value[1] = b;
            if (!allowed(*v.form, v.form->fmt1, value_of(w, 0)) ||
                !allowed(*v.form, v.form->fmt2, value_of(w, 1)))
                continue;
            if (owns_opcode(w, cpu_flag, revision))
                return w;
        }
    return std::nullopt;
}

struct Row {
    std::string instruction, bytes, example;
    std::string cycles[3];  // Vireon 2000, Vireon 3000, Z180
};

Row make_row(const Variant &v)
{
    const Encoding e = encode(v);
    Row row;
    row.instruction = instruction_text(v);
    for (const std::string &p : e.pattern)
        row.bytes += (row.bytes.empty() ? "" : " ") + p;
    struct Cpu {
        int flag, revision;
        DisasmPageSet set;
    };
    const Cpu cpus[3] = {{1, 0, DisasmPageSet::A}, {1, 257, DisasmPageSet::B},
                         {0, 0, DisasmPageSet::Z180}};
    for (int c = 0; c < 3; ++c) {
        const std::optional<Variant> instance = owned_instance(v, cpus[c].flag, cpus[c].revision);
        if (!instance) {
            row.cycles[c] = "-";
            continue;
        }
        const std::vector<uint8_t> bytes = encode(*instance).bytes;
        row.cycles[c] = c == 2 ? z180_cycles(bytes) : vireon_cycles(bytes);
        if (row.example.empty()) {
            selectDisasmPageSet(cpus[c].set);
            uint16_t length = 0;
            std::string text;
            disassembleOne(0, bytes, length, text);
            // The disassembler pads the mnemonic: one blank is enough here.
            const std::size_t gap = text.find(' ');
            if (gap != std::string::npos) {
                const std::size_t rest = text.find_first_not_of(' ', gap);
                text = text.substr(0, gap) + (rest == std::string::npos ? "" : " " + text.substr(rest));
            }
            row.example = text;
        }
    }
    return row;
}

struct Directive {
    const char *mnemonic;
    const char *syntax;
    const char *text;
};
// What the mnemonic rows without an instruction form do.
constexpr Directive kDirectives[] = {
    {"db", "db expr|\"text\" {, ...}", "Bytes: each expression one byte, each string its characters."},
    {"dw", "dw expr {, ...}", "Words: each expression two bytes, low byte first."},
    {"align", "align even|odd|n", "No-operation bytes up to the boundary."},
    {"equ", "name: equ expr", "Gives the label the value of the expression, which must be known at that point."},
    {"sjp", "sjp mn", "The jp forms; the assembler may choose a shorter jump."},
};

bool write_instructions(const fs::path &out)
{
    std::map<std::string, std::vector<Row>> by_mnemonic;
    for (int i = 0; i < kAsmFormCount; ++i) {
        const AsmForm &f = kAsmForms[i];
        if (f.mnemonic == kMnInvalid)
            continue;
        std::vector<Row> &rows = by_mnemonic[std::string(asm_mnemonic_name(f.mnemonic))];
        for (const Variant &v : variants_of(f)) {
            Row row = make_row(v);
            if (row.cycles[0] == "-" && row.cycles[1] == "-" && row.cycles[2] == "-")
                continue;  // every CPU gives these bytes to another row
            rows.push_back(std::move(row));
        }
    }
    std::set<std::string> directives;
    for (int i = 0; i < kAsmMnemonicRows; ++i)
        if (!by_mnemonic.count(kAsmMnemonicTable[i].mnemonic))
            directives.insert(kAsmMnemonicTable[i].mnemonic);

    std::ostringstream html;
    html << page_head("Vireon instruction set reference");
    html << "<p class=\"nav\"><a href=\"index.html\">Documentation contents</a></p>\n"
            "<h1 id=\"top\">Vireon instruction set reference</h1>\n"
            "<p>Every instruction the assembler takes (in <code>#asm</code> blocks and library "
            "code), one row per operand form, with its bytes and its clock cycles on each "
            "processor. A \"-\" means the processor does not have that form. Made from the "
            "assembler's own instruction table when the program was built.</p>\n"
            "<p>Cycles: a count; <code>6+7n</code> for a block move (6, and 7 per byte "
            "moved); <code>8/2</code> and similar for a conditional instruction or a repeating "
            "one: the figure when the condition holds (or the move goes on), then when it "
            "does not.</p>\n"
            "<p>Rows with <code>ix</code> or <code>(ix+d)</code> start with the byte DD; the "
            "same instruction with FD in its place uses <code>iy</code>.</p>\n";
    html << "<h2 id=\"index\">Index</h2>\n<p>\n";
    for (const auto &[mnemonic, rows] : by_mnemonic)
        html << "<a href=\"#" << anchor("mn-", mnemonic) << "\">" << escape(mnemonic) << "</a>\n";
    for (const std::string &d : directives)
        html << "<a href=\"#" << anchor("mn-", d) << "\">" << escape(d) << "</a>\n";
    html << "</p>\n<p><a href=\"#fields\">Operands and opcode fields</a> &middot; "
            "<a href=\"#directives\">Directives</a></p>\n";

    html << "<h2 id=\"fields\">Operands and opcode fields</h2>\n<table>\n"
            "<tr><th>Operand</th><th>Bits</th><th>Values</th></tr>\n"
            "<tr><td class=\"code\">r, r'</td><td class=\"code\">rrr, ddd, sss</td>"
            "<td>b 000, c 001, d 010, e 011, h 100, l 101, a 111; (hl) 110 has rows of its "
            "own</td></tr>\n"
            "<tr><td class=\"code\">ss</td><td class=\"code\">ss</td><td>bc 00, de 01, hl 10, "
            "sp 11 (ss': bc' de' hl')</td></tr>\n"
            "<tr><td class=\"code\">qq</td><td class=\"code\">qq</td><td>bc 00, de 01, hl 10, "
            "af 11</td></tr>\n"
            "<tr><td class=\"code\">cc</td><td class=\"code\">ccc, cc</td><td>nz 000, z 001, "
            "nc 010, c 011, lz 100, lo 101, p 110, m 111 (cc: the first four)</td></tr>\n"
            "<tr><td class=\"code\">b</td><td class=\"code\">bbb</td><td>bit number 0 to 7"
            "</td></tr>\n"
            "<tr><td class=\"code\">v</td><td class=\"code\">vvv</td><td>restart vector "
            "8 &times; vvv (0x00 to 0x38; on the Vireon 0x10 to 0x38, as C7 and CF are ljp "
            "and lcall)</td></tr>\n"
            "<tr><td class=\"code\">l</td><td class=\"code\">ll</td><td>ipset level: 0 00, "
            "1 10, 2 01, 3 11</td></tr>\n"
            "<tr><td class=\"code\">m</td><td class=\"code\">mm</td><td>im mode: 0 00, "
            "1 10, 2 11</td></tr>\n"
            "<tr><td class=\"code\">i, r</td><td></td><td>in rows whose bytes are fixed: "
            "the Z180's interrupt vector and refresh registers</td></tr>\n"
            "<tr><td class=\"code\">(n), (c)</td><td class=\"code\">n</td><td>an I/O port: "
            "the byte n, or the port in BC</td></tr>\n"
            "<tr><td class=\"code\">n, d, e</td><td class=\"code\">n, d, e</td><td>a byte: "
            "value, signed displacement, relative jump distance</td></tr>\n"
            "<tr><td class=\"code\">mn, (mn)</td><td class=\"code\">lo hi</td><td>a 16-bit "
            "value or address, low byte first</td></tr>\n"
            "<tr><td class=\"code\">xpc:mn</td><td class=\"code\">lo hi xpc</td><td>an "
            "address in extended memory: the 16-bit address and its XPC page</td></tr>\n"
            "</table>\n";

    for (const auto &[mnemonic, rows] : by_mnemonic) {
        html << "<h2 id=\"" << anchor("mn-", mnemonic) << "\">" << escape(mnemonic) << "</h2>\n"
             << "<table>\n<tr><th>Instruction</th><th>Bytes</th><th>Vireon 2000</th>"
                "<th>Vireon 3000</th><th>Z180</th><th>Example</th></tr>\n";
        for (const Row &row : rows) {
            html << "<tr><td class=\"code\">" << escape(row.instruction) << "</td><td class=\"code\">"
                 << escape(row.bytes) << "</td>";
            for (const std::string &c : row.cycles)
                html << "<td>" << escape(c) << "</td>";
            html << "<td class=\"code\">" << escape(row.example) << "</td></tr>\n";
        }
        html << "</table>\n<p class=\"nav\"><a href=\"#index\">Index</a></p>\n";
    }

    html << "<h2 id=\"directives\">Directives</h2>\n"
            "<p>Mnemonics of the assembler that make no single instruction.</p>\n";
    for (const std::string &d : directives) {
        const Directive *known = nullptr;
        for (const Directive &k : kDirectives)
            if (d == k.mnemonic)
                known = &k;
        html << "<h3 id=\"" << anchor("mn-", d) << "\">" << escape(d) << "</h3>\n";
        if (known)
            html << "<p><code>" << escape(known->syntax) << "</code></p>\n<p>"
                 << escape(known->text) << "</p>\n";
    }
    html << "<p class=\"nav\"><a href=\"#index\">Index</a></p>\n</body>\n</html>\n";
    return write_file(out, html.str());
}

// ---- the function reference ---------------------------------------------------------------------

struct Described {
    std::string name, text;
};

struct Library {
    std::string file;  // "STRING.LIB"
    std::string page;  // "STRING.html"
    std::vector<Described> functions;
};

bool read_library(const std::string &path, Library &library)
{
    ZLibEntry modules, descriptions;
    modules.path = descriptions.path = path;
    try {
        if (!LibIndexBuild(modules, descriptions)) {
            std::fprintf(stderr, "kxdocs: cannot read %s\n", path.c_str());
            return false;
        }
    } catch (...) {
        kxtools::print_messages(stderr);
        std::fprintf(stderr, "kxdocs: the library %s is not well formed\n", path.c_str());
        return false;
    }
    library.file = fs::path(path).filename().string();
    library.page = fs::path(path).stem().string() + ".html";
    for (const auto &entry : descriptions.modules) {
        const std::optional<std::string> text = lib_description_text(*entry);
        if (!text) {
            std::fprintf(stderr, "kxdocs: cannot read the descriptions of %s\n", path.c_str());
            return false;
        }
        library.functions.push_back({entry->names.front().c_str(), *text});
    }
    return true;
}

std::string library_page(const Library &library)
{
    std::ostringstream html;
    html << page_head(library.file + " functions");
    html << "<p class=\"nav\"><a href=\"../index.html\">Documentation contents</a> &middot; "
            "<a href=\"index.html\">All functions</a></p>\n"
         << "<h1 id=\"top\">" << escape(library.file) << "</h1>\n";
    if (library.functions.empty()) {
        html << "<p>This library describes no functions of its own: its routines serve the "
                "code the compiler generates, and a program does not call them by name.</p>\n";
    } else {
        html << "<p>\n";
        for (const Described &f : library.functions)
            html << "<a href=\"#" << anchor("fn-", f.name) << "\">" << escape(f.name) << "</a>\n";
        html << "</p>\n";
        for (const Described &f : library.functions)
            html << "<h2 id=\"" << anchor("fn-", f.name) << "\">" << escape(f.name) << "</h2>\n"
                 << "<pre>" << escape(f.text) << "</pre>\n"
                 << "<p class=\"nav\"><a href=\"#top\">Top</a></p>\n";
    }
    html << "</body>\n</html>\n";
    return html.str();
}

std::string function_index(const std::vector<Library> &libraries)
{
    struct Entry {
        std::string name;
        const Library *library;
    };
    std::vector<Entry> all;
    for (const Library &library : libraries)
        for (const Described &f : library.functions)
            all.push_back({f.name, &library});
    std::stable_sort(all.begin(), all.end(), [](const Entry &a, const Entry &b) {
        std::string x = a.name, y = b.name;
        for (char &c : x) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (char &c : y) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return x < y;
    });
    std::ostringstream html;
    html << page_head("Library function reference");
    html << "<p class=\"nav\"><a href=\"../index.html\">Documentation contents</a></p>\n"
            "<h1 id=\"top\">Library function reference</h1>\n"
            "<p>The functions of the libraries every program can use, as the descriptions in "
            "the library files give them: the same text that Function Lookup (Ctrl+H, Help "
            "menu) shows.</p>\n<h2 id=\"libraries\">Libraries</h2>\n<ul>\n";
    for (const Library &library : libraries)
        html << "<li><a href=\"" << escape(library.page) << "\">" << escape(library.file)
             << "</a> ("
             << (library.functions.empty() ? std::string("no described functions")
                                           : std::to_string(library.functions.size()) +
                                                 " functions")
             << ")</li>\n";
    html << "</ul>\n<h2 id=\"functions\">Functions</h2>\n<table>\n"
            "<tr><th>Function</th><th>Library</th></tr>\n";
    for (const Entry &e : all)
        html << "<tr><td class=\"code\"><a href=\"" << escape(e.library->page) << "#"
             << anchor("fn-", e.name) << "\">" << escape(e.name) << "</a></td><td>"
             << escape(e.library->file) << "</td></tr>\n";
    html << "</table>\n</body>\n</html>\n";
    return html.str();
}

bool write_library_reference(const fs::path &dir, const std::vector<std::string> &files)
{
    std::vector<Library> libraries;
    for (const std::string &path : files) {
        Library library;
        if (!read_library(path, library))
            return false;
        libraries.push_back(std::move(library));
    }
    std::sort(libraries.begin(), libraries.end(),
              [](const Library &a, const Library &b) { return a.file < b.file; });
    for (const Library &library : libraries)
        if (!write_file(dir / library.page, library_page(library)))
            return false;
    return write_file(dir / "index.html", function_index(libraries));
}

int usage()
{
    std::fprintf(stderr, "usage: kxdocs instructions OUT.html\n"
                         "       kxdocs library OUTDIR LIBRARY...\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return usage();
    const std::string what = argv[1];
    if (what == "instructions" && argc == 3)
        return write_instructions(argv[2]) ? 0 : 1;
    if (what == "library" && argc >= 4)
        return write_library_reference(argv[2], std::vector<std::string>(argv + 3, argv + argc))
                   ? 0
                   : 1;
    return usage();
}
