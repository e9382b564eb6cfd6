// DB_DA: disassembler and instruction lengths. The opcode pages, the length tables and the
// cycle tables are expanded once from the assembler's instruction forms (CC_ASMTAB): every form
// is walked over the values of its register, condition and bit fields, and each concrete opcode
// byte is given to the first form that produces it on the page set's CPU.
#include "DB_DA.h"

#include "codegen/CC_ASMTAB.h"

#include <cstdio>

namespace {

// ---- expansion of the forms -----------------------------------------------------------------

// Where a field of a format code sits in the opcode byte, and how many values it has.
struct FieldShape {
    int count;  // 1: no field
    int shift;
};

FieldShape field_shape(uint16_t fmt)
{
    switch (fmt & kFmtCodeMask) {
    case kFmtEirIir: return {2, 3};
    case kFmtR8Hi: return {8, 3};
    case kFmtR8Lo: return {8, 0};
    case kFmtPair:
    case kFmtPushPair:
    case kFmtPairAlt: return {4, 4};
    case kFmtBcDeInd: return {2, 4};
    case kFmtRst:
    case kFmtCond8:
    case kFmtBitNo: return {8, 3};
    case kFmtCond4: return {4, 3};
    case kFmtIpset: return {4, 0};
    case kFmtImMode: return {3, 0};
    default: return {1, 0};
    }
}

// The opcode bits of value v in a field of this format.
uint8_t field_bits(uint16_t fmt, int v)
{
    if ((fmt & kFmtCodeMask) == kFmtIpset) {
        // ipset 0..3: 0x46, 0x56, 0x4E, 0x5E
        static constexpr uint8_t kIpset[4] = {0x00, 0x10, 0x08, 0x18};
        return kIpset[v & 3];
    }
    if ((fmt & kFmtCodeMask) == kFmtImMode) {
        // im 0..2: 0x46, 0x56, 0x5E
        static constexpr uint8_t kIm[3] = {0x00, 0x10, 0x18};
        return kIm[v % 3];
    }
    FieldShape s = field_shape(fmt);
    if (s.count == 1)
        return 0;
    return static_cast<uint8_t>(v << s.shift);
}

bool field_value_allowed(const AsmForm &f, uint16_t fmt, int v)
{
    switch (fmt & kFmtCodeMask) {
    case kFmtPair:
    case kFmtPushPair:
    case kFmtPairAlt: return (f.field_mask >> v) & 1;
    case kFmtR8Hi:
    case kFmtR8Lo: return f.indexable || ((f.field_mask >> v) & 1);
    default: return true;
    }
}

bool is_register_format(uint16_t code)
{
    switch (code) {
    case kFmtAF: case kFmtDE: case kFmtHLX: case kFmtA: case kFmtR8Hi: case kFmtR8Lo:
    case kFmtPair: case kFmtPushPair: case kFmtHL: case kFmtBC: case kFmtXPC: case kFmtSP:
        return true;
    default: return false;
    }
}

// Whether the concrete instruction (field values v1, v2) names hl in a way that 0xDD/0xFD turns
// into the index register.
bool takes_index_prefix(const AsmForm &f, int v1, int v2)
{
    if (!f.indexable)
        return false;
    auto names_hl = [](uint16_t fmt, int v) {
        switch (fmt & kFmtCodeMask) {
        case kFmtHLX: case kFmtHLXInd: return true;
        case kFmtPair: case kFmtPushPair: return v == 2;
        case kFmtR8Hi: case kFmtR8Lo: return (fmt & kFmtIndexed) && v == 6;
        default: return false;
        }
    };
    return names_hl(f.fmt1, v1) || names_hl(f.fmt2, v2);
}

// Operand bytes that follow the opcode (without prefix and displacement of an indexed form).
int data_bytes(const AsmForm &f, uint16_t fmt)
{
    switch (fmt & kFmtCodeMask) {
    case kFmtImm8: case kFmtRel: case kFmtSPDisp: case kFmtDispSwap: case kFmtDisp: case kFmtPortN:
        return 1;
    case kFmtImm16: return (f.opcode == 0xC7 || f.opcode == 0xCF) && f.page == AsmPage::Main ? 3 : 2;
    case kFmtMem: return 2;
    default: return 0;
    }
}

int hl_cycles(const AsmForm &f, int v1, int v2)
{
    bool hl1 = (f.fmt1 & kFmtCodeMask) == kFmtR8Hi && v1 == 6;
    bool hl2 = (f.fmt2 & kFmtCodeMask) == kFmtR8Lo && v2 == 6;
    bool hl_single = (f.fmt1 & kFmtCodeMask) == kFmtR8Lo && v1 == 6;
    if (f.page == AsmPage::CB)
        return (hl2 || hl_single) ? (f.mnemonic == kMnBit ? 7 : 10) : f.cycles;
    switch (f.mnemonic) {
    case kMnLd:
        if (f.opcode == 0x06) return hl1 ? 7 : f.cycles;
        return hl1 ? 6 : hl2 ? 5 : f.cycles;
    case kMnInc: case kMnDec: return hl1 ? 8 : f.cycles;
    default: return (hl2 || hl_single) ? 5 : f.cycles;
    }
}

struct Slot {
    int16_t form = -1;
};

struct BuiltSet {
    DisasmPages pages;
    std::array<int16_t, 256> main_form, ed_form, cb_form, index_form;
};

DisasmEntry make_entry(const AsmForm &f)
{
    DisasmEntry e;
    e.mnemonic = f.mnemonic;
    e.fmt1 = f.fmt1;
    e.fmt2 = f.fmt2;
    bool two = f.fmt2 != kFmtNone;
    if (two && f.mnemonic == kMnEx) {
        e.fmt1 |= kFmtNoAltFirst;  // ex takes its alternate mark on the second operand
    } else if (two) {
        if (!is_register_format(f.fmt1 & kFmtCodeMask))
            e.fmt1 |= kFmtNoAltFirst;
        e.fmt2 |= kFmtNoAlt;
    } else if (f.fmt1 != kFmtNone && !is_register_format(f.fmt1 & kFmtCodeMask)) {
        e.fmt1 |= kFmtNoAlt;
    }
    return e;
}

BuiltSet build_set(int cpu_flag, int revision)
{
    BuiltSet b;
    b.main_form.fill(-1);
    b.ed_form.fill(-1);
    b.cb_form.fill(-1);
    b.index_form.fill(-1);
    for (auto &e : b.pages.index)
        e.mnemonic = kIndexPageUseMain;
    for (int i = 0; i < kAsmFormCount; ++i) {
        const AsmForm &f = kAsmForms[i];
        if (!asm_form_available(f, cpu_flag, revision))
            continue;
        FieldShape s1 = field_shape(f.fmt1), s2 = field_shape(f.fmt2);
        for (int v1 = 0; v1 < s1.count; ++v1) {
            if (!field_value_allowed(f, f.fmt1, v1)) continue;
            for (int v2 = 0; v2 < s2.count; ++v2) {
                if (!field_value_allowed(f, f.fmt2, v2)) continue;
                uint8_t op = static_cast<uint8_t>(f.opcode | field_bits(f.fmt1, v1) | field_bits(f.fmt2, v2));
                std::array<int16_t, 256> *owner = nullptr;
                std::array<DisasmEntry, 256> *page = nullptr;
                switch (f.page) {
                case AsmPage::Main: owner = &b.main_form; page = &b.pages.main; break;
                case AsmPage::ED: owner = &b.ed_form; page = &b.pages.ed; break;
                case AsmPage::CB: owner = &b.cb_form; page = &b.pages.cb; break;
                case AsmPage::Index: owner = &b.index_form; page = &b.pages.index; break;
                }
                if ((*owner)[op] >= 0)
                    continue;
                (*owner)[op] = static_cast<int16_t>(i);
                (*page)[op] = make_entry(f);
                if (f.page == AsmPage::Main)
                    b.pages.main_indexable[op] = takes_index_prefix(f, v1, v2);
                if (f.page == AsmPage::CB)
                    b.pages.cb_indexable[op] = takes_index_prefix(f, v1, v2);
            }
        }
    }
    return b;
}

const BuiltSet &built(DisasmPageSet set)
{
    static const BuiltSet a = build_set(1, 0);
    static const BuiltSet bset = build_set(1, 257);
    static const BuiltSet z = build_set(0, 0);
    switch (set) {
    case DisasmPageSet::A: return a;
    case DisasmPageSet::B: return bset;
    case DisasmPageSet::Z180: return z;
    }
    return a;
}

uint8_t flow_of(const AsmForm &f)
{
    switch (f.mnemonic) {
    case kMnJp: case kMnJr: case kMnDjnz: case kMnLjp: return kFlowJump;
    case kMnRet: return kFlowReturn;
    case kMnCall: case kMnLcall: return kFlowCall;
    case kMnRst: return kFlowRestart;
    default: return kFlowNone;
    }
}

LengthTables build_lengths(const BuiltSet &b)
{
    LengthTables t;
    t.le.fill(2);
    for (int op = 0; op < 256; ++op) {
        int fi = b.main_form[op];
        uint8_t len = 1, flow = 0;
        if (fi >= 0) {
            const AsmForm &f = kAsmForms[fi];
            len = static_cast<uint8_t>(1 + data_bytes(f, f.fmt1) + data_bytes(f, f.fmt2));
            flow = flow_of(f);
            if (b.pages.main_indexable[op]) {
                bool disp = ((f.fmt1 & kFmtIndexed) || (f.fmt2 & kFmtIndexed)) &&
                            (((f.fmt1 & kFmtCodeMask) == kFmtR8Hi && ((op >> 3) & 7) == 6) ||
                             ((f.fmt1 & kFmtCodeMask) == kFmtR8Lo && (op & 7) == 6) ||
                             ((f.fmt2 & kFmtCodeMask) == kFmtR8Lo && (op & 7) == 6));
                t.lx[op] = disp ? 2 : 1;
            }
        }
        if (op == 0xED) len = 7;
        if (op == 0xDD) len = 8;
        if (op == 0xFD) len = 9;
        if (op == 0xCB) { len = 2; t.lx[op] = 2; }
        t.l0[op] = static_cast<uint8_t>(flow << 4 | len);
        int xi = b.index_form[op];
        if (xi >= 0) {
            const AsmForm &f = kAsmForms[xi];
            int total = 2 + data_bytes(f, f.fmt1) + data_bytes(f, f.fmt2);
            t.lx[op] = static_cast<uint8_t>(total - (t.l0[op] & 15));
        }
        int ei = b.ed_form[op];
        if (ei >= 0) {
            const AsmForm &f = kAsmForms[ei];
            t.le[op] = static_cast<uint8_t>(2 + data_bytes(f, f.fmt1) + data_bytes(f, f.fmt2));
        }
    }
    return t;
}

// Current selections.
DisasmPageSet g_set = DisasmPageSet::A;
bool g_z180_lengths = false;
DisasmSymbolLookup g_symbols = nullptr;

const char *const kReg8[8] = {"b", "c", "d", "e", "h", "l", "(hl)", "a"};
const char *const kConditions[8] = {"nz", "z", "nc", "c", "lz", "lo", "p", "m"};

uint8_t byte_at(std::span<const uint8_t> bytes, size_t i) { return i < bytes.size() ? bytes[i] : 0; }

}  // namespace

const DisasmPages &disasmPages(DisasmPageSet set) { return built(set).pages; }

const LengthTables &lengthTables(bool z180)
{
    static const LengthTables f80 = build_lengths(built(DisasmPageSet::B));
    static const LengthTables z = build_lengths(built(DisasmPageSet::Z180));
    return z180 ? z : f80;
}

void selectDisasmTables()
{
    if (asm_target().cpu_flag != 1)
        return;
    g_set = asm_target().revision == 257 ? DisasmPageSet::B : DisasmPageSet::A;
}

void selectLengthTables()
{
    if (asm_target().cpu_flag == 1)
        g_z180_lengths = false;
}

void selectDisasmPageSet(DisasmPageSet set)
{
    g_set = set;
    g_z180_lengths = set == DisasmPageSet::Z180;
}

DisasmPageSet currentDisasmPageSet() { return g_set; }

void setDisasmSymbolLookup(DisasmSymbolLookup lookup) { g_symbols = lookup; }

uint16_t instructionLength(std::span<const uint8_t> bytes, bool follow_prefixes)
{
    const LengthTables &t = lengthTables(g_z180_lengths);
    uint8_t b0 = byte_at(bytes, 0);
    uint8_t v = t.l0[b0] & 15;
    if (v == 7)
        return t.le[byte_at(bytes, 1)];
    if (v == 8 || v == 9) {
        uint8_t b1 = byte_at(bytes, 1);
        return t.lx[b1] ? static_cast<uint16_t>((t.l0[b1] & 15) + t.lx[b1]) : 1;
    }
    if (follow_prefixes && !g_z180_lengths && (b0 == 0x76 || b0 == 0xD3 || b0 == 0xDB) &&
        bytes.size() > 1)
        return static_cast<uint16_t>(1 + instructionLength(bytes.subspan(1), true));
    return v;
}

DisasmFlow instructionFlow(std::span<const uint8_t> bytes)
{
    const LengthTables &t = lengthTables(g_z180_lengths);
    return static_cast<DisasmFlow>(t.l0[byte_at(bytes, 0)] >> 4);
}

namespace {

// An operand whose format word asks for it shows the name that the installed lookup gives its
// address (in `form`, "%s" or "(%s)"); false when there is no lookup or no name.
bool symbol_named(uint16_t word, uint32_t address, const char *form, std::string &out)
{
    if (!(word & kFmtSymbol) || !g_symbols)
        return false;
    const std::optional<std::string> name = g_symbols(address);
    if (!name)
        return false;
    const std::string_view f(form);
    const std::size_t at = f.find("%s");
    out.append(f.substr(0, at));
    out += *name;
    out.append(f.substr(at + 2));
    return true;
}

// Decoder state of one call.
struct Decoder {
    uint32_t address = 0;
    std::span<const uint8_t> bytes;
    int prefix = 0;       // 0 none, 0xDD, 0xFD
    int disp = 0;         // signed displacement of an index prefix
    size_t data = 0;      // offset of the first operand byte after the opcode
    uint8_t opcode = 0;
    bool alt = false;     // altd pending
    bool plain = true;

    const char *index_name() const { return prefix == 0xDD ? "ix" : prefix == 0xFD ? "iy" : "hl"; }
    uint8_t at(size_t i) const { return byte_at(bytes, i); }

    // Formats one operand; returns whether it was a register that can carry the alternate mark.
    bool format(uint16_t word, std::string &out, bool &op_plain)
    {
        char buf[48];
        uint16_t code = word & kFmtCodeMask;
        uint8_t op = opcode;
        op_plain = true;
        switch (code) {
        case kFmtAF: out += "af"; return true;
        case kFmtAFAlt: out += "af'"; return false;
        case kFmtDE: out += "de"; return true;
        case kFmtHLX:
            out += index_name();
            if (prefix == 0) op_plain = false;
            return true;
        case kFmtA: out += "a"; return true;
        case kFmtSPInd: out += "(sp)"; op_plain = false; return false;
        case kFmtImm8: {
            // after the displacement with an index prefix on a displaced form (ld (ix+d),n)
            size_t at_i = data;
            std::snprintf(buf, sizeof buf, "0x%02X", at(at_i));
            out += buf;
            return false;
        }
        case kFmtRel: {
            int8_t d = static_cast<int8_t>(at(data));
            uint16_t target = static_cast<uint16_t>(address + d + 2);
            std::snprintf(buf, sizeof buf, "0x%04X", target);
            out += buf;
            return false;
        }
        case kFmtImm16: {
            uint16_t v = static_cast<uint16_t>(at(data) | at(data + 1) << 8);
            // ljp and lcall carry the page byte too: the name goes by the whole address word.
            if (prefix == 0 && (op == 0xC7 || op == 0xCF) && !g_z180_lengths) {
                op_plain = false;
                const uint32_t word24 = static_cast<uint32_t>(at(data + 2)) << 16 | v;
                if (symbol_named(word, word24, "%s", out))
                    return false;
                std::snprintf(buf, sizeof buf, "0x%02X%04X", at(data + 2), v);
                out += buf;
                return false;
            }
            if (symbol_named(word, v, "%s", out))
                return false;
            std::snprintf(buf, sizeof buf, "0x%s%04X", "", v);
            out += buf;
            return false;
        }
        case kFmtMem: {
            uint16_t v = static_cast<uint16_t>(at(data) | at(data + 1) << 8);
            op_plain = false;
            if (symbol_named(word, v, "(%s)", out))
                return false;
            std::snprintf(buf, sizeof buf, "(0x%04X)", v);
            out += buf;
            return false;
        }
        case kFmtEirIir: out += (op & 0x08) ? "iir" : "eir"; return true;
        case kFmtR8Hi:
        case kFmtR8Lo: {
            int r = code == kFmtR8Hi ? (op >> 3) & 7 : op & 7;
            if (r == 6 && (word & kFmtIndexed) && prefix != 0) {
                std::snprintf(buf, sizeof buf, "(%s%+d)", index_name(), disp);
                out += buf;
                op_plain = false;
                return false;
            }
            out += kReg8[r];
            if (r == 4 || r == 5 || r == 6) op_plain = false;
            return r != 6;
        }
        case kFmtPair: {
            int p = (op >> 4) & 3;
            out += p == 0 ? "bc" : p == 1 ? "de" : p == 2 ? index_name() : "sp";
            return true;
        }
        case kFmtPushPair: {
            int p = (op >> 4) & 3;
            out += p == 0 ? "bc" : p == 1 ? "de" : p == 2 ? index_name() : "af";
            op_plain = false;
            return true;
        }
        case kFmtBcDeInd: out += (op & 0x10) ? "(de)" : "(bc)"; op_plain = false; return false;
        case kFmtRst: std::snprintf(buf, sizeof buf, "0x%02X", op & 0x38); out += buf; return false;
        case kFmtCond8: out += kConditions[(op >> 3) & 7]; return false;
        case kFmtCond4: out += kConditions[(op >> 3) & 3]; return false;
        case kFmtBitNo: out += static_cast<char>('0' + ((op >> 3) & 7)); return false;
        case kFmtSP: out += "sp"; return true;
        case kFmtDEAlt:
            if (prefix != 0) { out += "(sp)"; op_plain = false; return false; }
            out += "de'";
            return false;
        case kFmtIpset:
            switch (op) {
            case 0x46: out += "0"; break;
            case 0x56: out += "1"; break;
            case 0x4E: out += "2"; break;
            case 0x5E: out += "3"; break;
            default: out += "?"; break;
            }
            return false;
        case kFmtIP: out += "ip"; return false;
        case kFmtXPC: out += "xpc"; return true;
        case kFmtDisp:
            std::snprintf(buf, sizeof buf, "(%s%+d)", index_name(), disp);
            out += buf;
            op_plain = false;
            return false;
        case kFmtSPDisp:
            std::snprintf(buf, sizeof buf, "(sp+%d)", at(data));
            out += buf;
            op_plain = false;
            return false;
        case kFmtHL: out += "hl"; op_plain = false; return true;
        case kFmtHLXInd:
            out += "(";
            out += index_name();
            out += ")";
            op_plain = false;
            return false;
        case kFmtPairAlt: {
            int p = (op >> 4) & 3;
            out += p == 0 ? "bc'" : p == 1 ? "de'" : p == 2 ? "hl'" : "sp'";
            return false;
        }
        case kFmtBC: out += "bc"; return true;
        case kFmtDispSwap: {
            const char *name = prefix == 0 ? "ix" : prefix == 0xDD ? "hl" : "iy";
            std::snprintf(buf, sizeof buf, "(%s%+d)", name, static_cast<int8_t>(at(data)));
            out += buf;
            op_plain = false;
            return false;
        }
        case kFmtSU: out += "su"; return false;
        case kFmtPortN:
            std::snprintf(buf, sizeof buf, "(0x%02X)", at(data));
            out += buf;
            op_plain = false;
            return false;
        case kFmtCInd: out += "(c)"; op_plain = false; return false;
        case kFmtI: out += "i"; return false;
        case kFmtR: out += "r"; return false;
        case kFmtImMode: out += static_cast<char>('0' + ((op >> 4) & 1) + ((op >> 3) & 1)); return false;
        default: out += "?"; return false;
        }
    }
};

bool decode(uint32_t address, std::span<const uint8_t> bytes, uint16_t &length, std::string &text,
            bool alt_in, bool &alt_placed);

}  // namespace

bool disassembleOne(uint32_t address, std::span<const uint8_t> bytes, uint16_t &length,
                    std::string &text)
{
    bool placed = false;
    return decode(address, bytes, length, text, false, placed);
}

namespace {

std::string padded(std::string_view mn)
{
    std::string s(mn);
    while (s.size() < 7) s += ' ';
    return s;
}

bool decode(uint32_t address, std::span<const uint8_t> bytes, uint16_t &length, std::string &text,
            bool alt_in, bool &alt_placed)
{
    const BuiltSet &set = built(g_set);
    const DisasmPages &pages = set.pages;
    bool vireon = g_set != DisasmPageSet::Z180;
    Decoder d;
    d.address = address;
    d.bytes = bytes;
    d.alt = alt_in;
    text.clear();
    length = instructionLength(bytes, false);

    size_t pos = 0;
    uint8_t b0 = d.at(0);
    if (b0 == 0xDD || b0 == 0xFD) {
        d.prefix = b0;
        pos = 1;
    }
    uint8_t op = d.at(pos);
    const DisasmEntry *entry = nullptr;
    if (d.prefix != 0 && length == 1) {
        // a prefix that makes no defined instruction
        text = padded("???");
        return false;
    }
    if (op == 0xCB) {
        if (d.prefix != 0) {
            d.disp = static_cast<int8_t>(d.at(pos + 1));
            d.opcode = d.at(pos + 2);
            if (!pages.cb_indexable[d.opcode]) { text = padded("???"); return false; }
        } else {
            d.opcode = d.at(pos + 1);
        }
        entry = &pages.cb[d.opcode];
        d.data = pos + 3;
    } else if (d.prefix != 0) {
        d.opcode = op;
        const DisasmEntry &x = pages.index[op];
        if (x.mnemonic != kIndexPageUseMain) {
            entry = &x;
            d.data = pos + 1;
        } else {
            entry = &pages.main[op];
            if (!pages.main_indexable[op]) { text = padded("???"); return false; }
            bool displaced = ((entry->fmt1 & kFmtIndexed) && (entry->fmt1 & kFmtCodeMask) == kFmtR8Hi && ((op >> 3) & 7) == 6) ||
                             ((entry->fmt1 & kFmtIndexed) && (entry->fmt1 & kFmtCodeMask) == kFmtR8Lo && (op & 7) == 6) ||
                             ((entry->fmt2 & kFmtIndexed) && (entry->fmt2 & kFmtCodeMask) == kFmtR8Lo && (op & 7) == 6);
            if (displaced) {
                d.disp = static_cast<int8_t>(d.at(pos + 1));
                d.data = pos + 2;
            } else {
                d.data = pos + 1;
            }
        }
    } else if (op == 0xED) {
        d.opcode = d.at(1);
        entry = &pages.ed[d.opcode];
        d.data = 2;
    } else {
        d.opcode = op;
        entry = &pages.main[op];
        d.data = 1;
    }
    if (vireon && (op == 0xD4 || op == 0xE4 || op == 0xF4) && d.opcode == op)
        d.plain = false;

    std::string_view mn = asm_mnemonic_name(entry->mnemonic);
    text = padded(mn);
    // The mark takes the mnemonic's first blank; a mnemonic of the full seven characters has
    // none, so the mark stays unplaced and the text reads "altd" before the instruction.
    const std::size_t blank = text.find(' ');
    if (d.alt && vireon && mn != "ex" && mn != "ld" && blank != std::string::npos) {
        text[blank] = '`';
        d.alt = false;
        alt_placed = true;
    }
    bool any_plain = true;
    if (entry->fmt1 != kFmtNone) {
        bool p1 = true;
        bool reg = d.format(entry->fmt1, text, p1);
        if (reg && d.alt && !(entry->fmt1 & (kFmtNoAltFirst | kFmtNoAlt))) {
            text += "'";
            d.alt = false;
            alt_placed = true;
        }
        any_plain = p1;
        if (entry->fmt2 != kFmtNone) {
            text += ",";
            bool p2 = true;
            reg = d.format(entry->fmt2, text, p2);
            if (reg && d.alt && !(entry->fmt2 & kFmtNoAlt)) {
                text += "'";
                d.alt = false;
                alt_placed = true;
            }
            if (mn == "ex" || mn == "res" || mn == "set")
                any_plain = any_plain && p2;
        }
    }
    d.plain = d.plain && any_plain;
    static constexpr std::string_view kNotPlain[] = {"call", "mul", "djnz", "exx", "jp", "jr",
        "ldd", "lddr", "ldi", "ldir", "lret", "lcall", "ljp", "push", "ret", "reti", "rst"};
    for (auto n : kNotPlain)
        if (mn == n) d.plain = false;
    if (entry->mnemonic == kMnInvalid)
        d.plain = false;

    // Prefixes of the Vireon family decode the instruction that follows.
    if (vireon && length == 1 && d.prefix == 0 && bytes.size() > 1) {
        if (op == 0x76) {
            std::string inner;
            uint16_t inner_len = 0;
            bool placed = false;
            bool plain = decode(address + 1, bytes.subspan(1), inner_len, inner, true, placed);
            length = static_cast<uint16_t>(1 + inner_len);
            text = placed ? inner : padded("altd") + inner;
            return plain;
        }
        if (op == 0xD3 || op == 0xDB) {
            std::string inner;
            uint16_t inner_len = 0;
            bool placed = false;
            bool plain = decode(address + 1, bytes.subspan(1), inner_len, inner, alt_in, placed);
            alt_placed = alt_placed || placed;
            length = static_cast<uint16_t>(1 + inner_len);
            text = std::string(op == 0xD3 ? "ioi " : "ioe ") + inner;
            return plain;
        }
    }
    return d.plain;
}

}  // namespace

std::vector<std::vector<uint8_t>> enumerateInstructions(DisasmPageSet set)
{
    const BuiltSet &b = built(set);
    std::vector<std::vector<uint8_t>> out;
    auto operand_bytes = [](const AsmForm &f, std::vector<uint8_t> &v) {
        for (uint16_t fmt : {f.fmt1, f.fmt2}) {
            switch (fmt & kFmtCodeMask) {
            case kFmtImm8: v.push_back(0x12); break;
            case kFmtPortN: v.push_back(0x40); break;
            case kFmtRel: v.push_back(0x10); break;
            case kFmtSPDisp: case kFmtDispSwap: case kFmtDisp: v.push_back(0x05); break;
            case kFmtImm16: case kFmtMem:
                v.push_back(0x56);
                v.push_back(0x34);
                if (data_bytes(f, fmt) == 3) v.push_back(0x0A);
                break;
            default: break;
            }
        }
    };
    for (int op = 0; op < 256; ++op) {
        int fi = b.main_form[op];
        if (fi < 0 || kAsmForms[fi].mnemonic == kMnInvalid) continue;
        if (op == 0xCB || op == 0xED || op == 0xDD || op == 0xFD) continue;
        std::vector<uint8_t> v{static_cast<uint8_t>(op)};
        operand_bytes(kAsmForms[fi], v);
        out.push_back(v);
    }
    for (int op = 0; op < 256; ++op) {
        int fi = b.ed_form[op];
        if (fi < 0) continue;
        std::vector<uint8_t> v{0xED, static_cast<uint8_t>(op)};
        operand_bytes(kAsmForms[fi], v);
        out.push_back(v);
    }
    for (int op = 0; op < 256; ++op) {
        if (b.cb_form[op] < 0) continue;
        out.push_back({0xCB, static_cast<uint8_t>(op)});
    }
    for (uint8_t prefix : {uint8_t{0xDD}, uint8_t{0xFD}}) {
        for (int op = 0; op < 256; ++op) {
            int xi = b.index_form[op];
            if (xi >= 0) {
                std::vector<uint8_t> v{prefix, static_cast<uint8_t>(op)};
                operand_bytes(kAsmForms[xi], v);
                out.push_back(v);
                continue;
            }
            int fi = b.main_form[op];
            if (fi < 0 || !b.pages.main_indexable[op]) continue;
            const AsmForm &f = kAsmForms[fi];
            std::vector<uint8_t> v{prefix, static_cast<uint8_t>(op)};
            const LengthTables &t = lengthTables(set == DisasmPageSet::Z180);
            if (t.lx[op] == 2) v.push_back(0x05);  // displacement
            operand_bytes(f, v);
            out.push_back(v);
        }
        for (int op = 0; op < 256; ++op) {
            if (b.cb_form[op] < 0 || !b.pages.cb_indexable[op]) continue;
            out.push_back({prefix, 0xCB, 0x05, static_cast<uint8_t>(op)});
        }
    }
    return out;
}

// ---- cycle tables ---------------------------------------------------------------------------------

namespace {

CycleTables build_cycles()
{
    CycleTables c;
    const BuiltSet &b = built(DisasmPageSet::B);
    for (int op = 0; op < 256; ++op) {
        if (int fi = b.main_form[op]; fi >= 0) {
            const AsmForm &f = kAsmForms[fi];
            c.main[op] = static_cast<uint8_t>(hl_cycles(f, (op >> 3) & 7, op & 7));
            if (f.page == AsmPage::Main && (f.fmt1 & kFmtCodeMask) == kFmtR8Lo)
                c.main[op] = static_cast<uint8_t>(hl_cycles(f, op & 7, 0));
            if (b.pages.main_indexable[op]) {
                uint8_t ic = f.index_cycles;
                if (f.mnemonic == kMnLd && f.opcode == 0x40 && ((op >> 3) & 7) == 6)
                    ic = 10;  // ld (ix+d),r
                c.dd[op] = c.fd[op] = ic;
            }
        }
        if (int xi = b.index_form[op]; xi >= 0)
            c.dd[op] = c.fd[op] = kAsmForms[xi].index_cycles;
        if (int ei = b.ed_form[op]; ei >= 0)
            c.ed[op] = kAsmForms[ei].cycles;
        if (int ci = b.cb_form[op]; ci >= 0)
            c.cb[op] = (op & 7) == 6 ? (kAsmForms[ci].mnemonic == kMnBit ? 7 : 10) : kAsmForms[ci].cycles;
    }
    c.main[0xCB] = c.main[0xDD] = c.main[0xED] = c.main[0xFD] = 0;
    c.dd[0xCB] = c.fd[0xCB] = 13;
    return c;
}

// ioi timing patterns: (required bits, forbidden bits) of the four bytes after the prefix.
constexpr uint32_t kIoiPatterns[12][2] = {
    {0x30000000, 0xC8000000}, {0xDD300000, 0x02C00000}, {0x02000000, 0x0D000000},
    {0x70000000, 0x88000000}, {0xDD700000, 0x02880000}, {0xF4000000, 0x0B000000},
    {0x22000000, 0xCD000000}, {0xDD220000, 0x02DD0000}, {0xED430000, 0x128C0000},
    {0xED800000, 0x12470000}, {0xDDCB0000, 0x02340040}, {0xCB000000, 0x00400000},
};

}  // namespace

const CycleTables &cycleTables()
{
    static const CycleTables c = build_cycles();
    return c;
}

int ioiExtraCycles(uint32_t next4)
{
    for (const auto &p : kIoiPatterns)
        if ((next4 & p[0]) == p[0] && (next4 & p[1]) == 0)
            return 1;
    return 2;
}

int instructionCycles(std::span<const uint8_t> bytes)
{
    const CycleTables &c = cycleTables();
    size_t i = 0;
    int extra = 0;
    uint8_t b0 = byte_at(bytes, 0);
    bool ioi = false, ioe = false;
    if (b0 == 0xD3 || b0 == 0xDB || b0 == 0x76) {
        i = 1;
        if (b0 == 0xD3) {
            ioi = true;
            extra = ioiExtraCycles(static_cast<uint32_t>(byte_at(bytes, 1)) << 24 |
                                   static_cast<uint32_t>(byte_at(bytes, 2)) << 16 |
                                   static_cast<uint32_t>(byte_at(bytes, 3)) << 8 | byte_at(bytes, 4));
        } else {
            ioe = b0 == 0xDB;
            extra = 2;
        }
    }
    uint8_t op = byte_at(bytes, i);
    uint8_t next = byte_at(bytes, i + 1);
    int value = c.main[op];
    if (value != 0 && op != 0x76)
        return value == 255 ? 255 : value + extra;
    switch (op) {
    case 0xED:
        if (next == 0xB0 || next == 0xB8)
            return ioi ? 101 : ioe ? 102 : 100;
        value = c.ed[next];
        break;
    case 0xDD:
    case 0xFD:
        if (next == 0xCB && byte_at(bytes, i + 3) >= 0x40 && byte_at(bytes, i + 3) <= 0x7F)
            value = 10;
        else
            value = op == 0xDD ? c.dd[next] : c.fd[next];
        break;
    case 0xCB: value = c.cb[next]; break;
    case 0x76: value = next == 0xE3 ? 4 : c.main[op]; break;
    default: break;
    }
    return value + extra;
}
