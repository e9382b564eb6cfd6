// CC_INIT: "kxw.cfg", the compiler's tables sized from its limits, and the per-compile resets.
// Every value of the file is checked against its key's range; a bad line is reported with its
// number and changes nothing. The tables are allocated once (through the counting allocator)
// and only reset afterwards; the resets of tables owned by other units run through hooks.
#include "CC_INIT.h"

#include "core/CC_MISC.h"
#include "core/CC_STAB.h"
#include "RegularFile.h"
#include "StringResources.h"

#include <algorithm>
#include <cfenv>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <cstdlib>
#include <memory>
#include <optional>

namespace {

constexpr uint32_t kMsgCfgTooLong = 7120;
constexpr uint32_t kMsgCfgBinary = 7121;
constexpr uint32_t kMsgCfgUnknown = 7122;
constexpr uint32_t kMsgCfgNotNumber = 7123;
constexpr uint32_t kMsgCfgRange = 7124;

CompilerConfig g_config;
std::vector<ConfigProblem> g_problems;
ConfigReporter g_reporter = nullptr;

// One row per key, in the order the file reader tries them.
//   name   base  low   high    member
struct KeyRow {
    const char *name;
    int base;  // 10 ("%hd") or 16 ("%hx")
    long low;
    long high;
    uint16_t CompilerConfig::*member;
};

constexpr KeyRow kKeys[] = {
    {"error", 10, 0, 32767, &CompilerConfig::error},
    {"lit", 10, 1, 32767, &CompilerConfig::lit},
    {"mac", 10, 0, 32767, &CompilerConfig::mac},
    {"sym", 10, 4, 32767, &CompilerConfig::sym},
    {"ustk", 16, 0, 0xFFFF, &CompilerConfig::ustk},
    {"astk", 16, 0, 0xFFFF, &CompilerConfig::astk},
    {"heap", 16, 0, 0xFFFF, &CompilerConfig::heap},
    {"free", 16, 0, 0xFFFF, &CompilerConfig::free},
    {"logr", 16, 0, 0xF, &CompilerConfig::logr},
    {"logx", 16, 1, 0xF, &CompilerConfig::logx},  // the window must start inside 64 KB
    {"logxs", 16, 0, 0xFFFF, &CompilerConfig::logxs},
    {"logrs", 16, 0, 0xFFFF, &CompilerConfig::logrs},
    {"roms", 16, 0, 0xFF, &CompilerConfig::roms},  // pages of the 1 MB physical space
    {"rome", 16, 0, 0xFF, &CompilerConfig::rome},
    {"romx", 16, 0, 0xFF, &CompilerConfig::romx},
    {"romg", 16, 0, 0xFF, &CompilerConfig::romg},
    {"ramcfg", 10, 0, 32767, &CompilerConfig::ramcfg},
    {"rams", 16, 0, 0xFF, &CompilerConfig::rams},
    {"rame", 16, 0, 0x100, &CompilerConfig::rame},  // a bound: one past the last page
    {"ramx", 16, 0, 0xFF, &CompilerConfig::ramx},
    {"ramg", 16, 0, 0xFF, &CompilerConfig::ramg},
    {"romc", 16, 0, 2, &CompilerConfig::romc},  // output mode 0, 1 or 2
    {"cchexf", 10, 0, 1, &CompilerConfig::cchexf},
    {"ccsvrm", 10, 0, 1, &CompilerConfig::ccsvrm},
};
static_assert(sizeof(kKeys) / sizeof(kKeys[0]) == 24, "kxw.cfg knows 24 keys");

void report(int line, const std::string &text)
{
    ConfigProblem p{line, text};
    g_problems.push_back(p);
    if (g_reporter)
        g_reporter(p);
}

std::string format_message(uint32_t id, int line, const char *key = "", long low = 0,
                           long high = 0)
{
    const std::string format(string_resource(id));
    char buf[512];
    if (id == kMsgCfgRange)
        std::snprintf(buf, sizeof buf, format.c_str(), line, key, int(low), int(high));
    else if (id == kMsgCfgNotNumber)
        std::snprintf(buf, sizeof buf, format.c_str(), line, key);
    else
        std::snprintf(buf, sizeof buf, format.c_str(), line);
    return buf;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// value = ["+" | "-"] digits   (base 10)
//       | ["0x"] hexdigits      (base 16)
// followed by nothing or by a blank (anything after a blank is a remark).
std::optional<long> parse_value(const std::string &text, int base)
{
    size_t i = 0;
    bool negative = false;
    if (base == 10 && i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (base == 16 && i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X'))
        i += 2;
    long value = 0;
    size_t digits = 0;
    for (; i < text.size() && !is_blank(text[i]); ++i, ++digits) {
        const char c = text[i];
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0)
            return std::nullopt;
        if (value < 0x10000000L)
            value = value * base + d;
    }
    if (digits == 0)
        return std::nullopt;
    return negative ? -value : value;
}

// One line: "key = value". Reports what is wrong with it; blank lines are passed over.
void read_line(const std::string &raw, int number)
{
    if (raw.size() > kConfigLineMax) {
        report(number, format_message(kMsgCfgTooLong, number));
        return;
    }
    for (unsigned char c : raw) {
        if ((c < 0x20 && c != '\t') || c >= 0x7F) {
            report(number, format_message(kMsgCfgBinary, number));
            return;
        }
    }
    size_t i = 0;
    while (i < raw.size() && is_blank(raw[i]))
        ++i;
    if (i == raw.size())
        return;
    const size_t key_start = i;
    while (i < raw.size() && !is_blank(raw[i]) && raw[i] != '=')
        ++i;
    const std::string key = raw.substr(key_start, i - key_start);
    while (i < raw.size() && is_blank(raw[i]))
        ++i;
    const KeyRow *row = nullptr;
    for (const KeyRow &r : kKeys)
        if (key == r.name)
            row = &r;
    if (!row || i == raw.size() || raw[i] != '=') {
        report(number, format_message(kMsgCfgUnknown, number));
        return;
    }
    ++i;
    while (i < raw.size() && is_blank(raw[i]))
        ++i;
    const std::optional<long> value = parse_value(raw.substr(i), row->base);
    if (!value) {
        report(number, format_message(kMsgCfgNotNumber, number, row->name));
        return;
    }
    if (*value < row->low || *value > row->high) {
        report(number, format_message(kMsgCfgRange, number, row->name, row->low, row->high));
        return;
    }
    g_config.*(row->member) = static_cast<uint16_t>(*value);
}

}  // namespace

CompilerConfig &compiler_config() { return g_config; }
void set_config_reporter(ConfigReporter reporter) { g_reporter = reporter; }
const std::vector<ConfigProblem> &config_problems() { return g_problems; }

int ReadCompilerConfig(const std::string &path)
{
    g_config = CompilerConfig{};
    g_problems.clear();
    // Only an ordinary file is read, up to a limit: a FIFO would hold the start-up, a device
    // would be read without end. A missing file gives the defaults; any other is reported.
    std::string text;
    const RegularFileStatus status = read_regular_text(path, kCompilerConfigMaxBytes, text);
    if (status != RegularFileStatus::Read) {
        const std::string why = regular_file_refusal(path, status, kCompilerConfigMaxBytes);
        if (why != "it is missing")
            report(0, "Cannot read " + path + ": " + why + "; the defaults are used.");
        return 0;
    }
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        read_line(line, number);
    }
    return 0;
}

// ---- tables ------------------------------------------------------------------------------------

namespace {

uint32_t g_prototype_entries = kDefaultPrototypeTableSize;
CompileResetHooks g_hooks;

// The tables themselves. Other units reach their parts through their own functions once they
// are joined; this unit owns the blocks and their sizes.
struct FreeBlock {
    void operator()(uint8_t *p) const { std::free(p); }
};
using Block = std::unique_ptr<uint8_t[], FreeBlock>;

// The symbol entries, both hash tables, the recorded-slot list and the name area are the symbol
// tables' own (CC_STAB), sized here from "sym" on the first allocation.
struct Tables {
    CompilerTableSizes sizes;
    Block tokens, line_buffer, prototypes, word_table_a, word_table_b, scratch;
} g_tables;
bool g_allocated = false;
int g_allocations = 0;

Block block(uint32_t bytes)
{
    return Block(static_cast<uint8_t *>(counted_malloc(bytes ? bytes : 1)));
}

}  // namespace

CompilerTableSizes compiler_table_sizes(uint16_t sym, uint32_t prototype_entries)
{
    CompilerTableSizes s;
    const uint32_t S = sym;
    s.symbol_records = S;
    s.global_records = S * 3 / 4;
    s.local_records = S - s.global_records;
    s.global_hash_slots = S + S / 4;
    s.local_hash_slots = std::max<uint32_t>(S / 4, 128);
    s.recorded_slots = S + S / 4;
    s.name_bytes = S * 33;
    s.local_names_offset = s.name_bytes * 3 / 4;
    s.prototype_entries = prototype_entries;
    return s;
}

void set_prototype_table_size(uint32_t entries) { g_prototype_entries = entries; }
uint32_t prototype_table_size() { return g_prototype_entries; }
void set_compile_reset_hooks(const CompileResetHooks &hooks) { g_hooks = hooks; }

void allocate_compiler_tables(bool bios_compile)
{
    if (!g_allocated) {
        CompilerTableSizes s = compiler_table_sizes(g_config.sym, g_prototype_entries);
        g_tables.sizes = s;
        g_tables.tokens = block(s.token_entries * 6);
        g_tables.line_buffer = block(s.line_buffer_bytes);
        allocate_symbol_tables(g_config.sym);
        g_tables.prototypes = block(s.prototype_entries * 8);
        g_tables.word_table_a = block(s.word_table_words * 2);
        g_tables.word_table_b = block(s.word_table_words * 2);
        g_tables.scratch = block(s.scratch_bytes);
        g_allocated = true;
        ++g_allocations;
    }
    std::memset(g_tables.line_buffer.get(), 0, g_tables.sizes.line_buffer_bytes);
    std::memset(g_tables.tokens.get(), 0, g_tables.sizes.token_entries * 6);
    if (bios_compile)
        std::memset(g_tables.prototypes.get(), 0, g_tables.sizes.prototype_entries * 8);
    if (g_hooks.reset_tables)
        g_hooks.reset_tables(bios_compile);
    reset_numeric_state();
}

bool compiler_tables_allocated() { return g_allocated; }
const CompilerTableSizes &allocated_table_sizes() { return g_tables.sizes; }
int compiler_table_allocations() { return g_allocations; }

void release_compiler_tables()
{
    g_tables = Tables{};
    g_allocated = false;
}

void reset_compile_state()
{
    if (g_allocated) {
        std::memset(g_tables.line_buffer.get(), 0, g_tables.sizes.line_buffer_bytes);
        std::memset(g_tables.tokens.get(), 0, g_tables.sizes.token_entries * 6);
    }
    if (g_hooks.reset_for_watch)
        g_hooks.reset_for_watch();
    reset_numeric_state();
}

void teardown_compile()
{
    if (g_hooks.teardown)
        g_hooks.teardown();
}

// Round to nearest with every floating-point exception flag cleared. Exceptions stay masked:
// an invalid operation in a constant must become a diagnostic of the numeric parser, never a
// trap that ends the IDE.
void reset_numeric_state()
{
    std::fesetround(FE_TONEAREST);
    std::feclearexcept(FE_ALL_EXCEPT);
}
