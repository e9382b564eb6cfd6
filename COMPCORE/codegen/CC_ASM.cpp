// CC_ASM: the inline assembler: keyword hashes, the token scanner, statements and labels, the
// operand-expression evaluator, and the encoder that matches parsed operands against the
// instruction forms of CC_ASMTAB. A statement's bytes are collected in a small buffer first and
// reach the host's byte emitter only when the statement had no error, so a bad line emits
// nothing and the next line starts clean.
// Called by the assembly-line path of the parser (every "#asm" line and every generated line)
// and by the test tools; reaches the rest of the compiler only through `AsmHost`.
#include "CC_ASM.h"

#include "CC_ASMDIR.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_IN.h"
#include "core/CC_MISC.h"
#include "core/CC_STAB.h"
#include "CC_STUBS.h"
#include "debugger/DB_DA.h"
#include "StringResources.h"

#include <cassert>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// ---- module state -----------------------------------------------------------------------------------

AsmHost *g_host = nullptr;

// Active mnemonic rows and the two keyword hashes.
std::vector<ia_sym> g_rows;
KeywordHash g_mnemonic_hash;
KeywordHash g_register_hash;
bool g_register_hash_built = false;

// Scanner state; a copy is a snapshot to look ahead and back out.
struct ScanState {
    const char *p = "";
    int token = kTokEnd;
    std::string text;
    int32_t value = 0;
    int column = 0;
    int row = -1;  // current mnemonic row
};
const char *g_line_start = "";
ScanState g_s;
bool g_quiet = false;  // no diagnostics while skipping a bad statement

// Statement state.
int g_alt_count = 0;         // alternate-destination prefixes of the statement
int g_io_count = 0;          // I/O prefixes of the statement
bool g_dest_parsed = false;
bool g_step_allowed = true;
bool g_mem_access = false;
bool g_stmt_error = false;
bool g_io_watch = false;
bool g_generated = false;
int g_dry_run = 0;
bool g_block_move_replacement = false;
bool g_redefinition_allowed = false;
std::string g_open_function;

// Operand-expression state: the current structure tag (-1 none) and the size of the last symbol
// looked up, for "@LENGTH".
int g_tag = -1;
int32_t g_last_size = 0;

// A reference to a name not yet defined. The fix-ups of a statement are queued only once its
// bytes are emitted, so a bad line leaves none behind.
struct PendingReference {
    std::string name;
    uint32_t address;
    uint16_t flags;
    uint8_t opcode;
    int32_t addend;
    bool has_lcall;
    LcallFixup lcall;
};
std::vector<PendingReference> g_references;

// Thrown after a diagnostic that ends the statement.
struct StatementAbort {};

AsmHost &host()
{
    assert(g_host && "the assembler needs a host (set_asm_host)");
    return *g_host;
}

// Lines written by the code generator get no stepping byte and no xmem "ret" warning.
bool generated_line() { return g_generated || host().asm_generated_line(); }

// ---- diagnostics -----------------------------------------------------------------------------------

std::string summary_of(uint32_t id)
{
    std::string text(string_resource(id));
    size_t bel = text.find("\a\a");
    if (bel != std::string::npos)
        text.resize(bel);
    return text;
}

// A dry run is followed by the real pass, which reports.
void report_text(const std::string &text)
{
    g_stmt_error = true;
    if (g_quiet || g_dry_run > 0)
        return;
    host().asm_error(host().asm_source_line(), g_s.column + 1, text);
}

void report(uint32_t id) { report_text(summary_of(id)); }

void report_name(uint32_t id, const std::string &name)
{
    std::string fmt = summary_of(id);
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt.c_str(), name.c_str());
    report_text(buf);
}

void report_two_names(uint32_t id, const std::string &first, const std::string &second)
{
    std::string fmt = summary_of(id);
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt.c_str(), first.c_str(), second.c_str());
    report_text(buf);
}

[[noreturn]] void fail(uint32_t id)
{
    report(id);
    throw StatementAbort{};
}

void warn_text(int level, const std::string &text)
{
    if (g_quiet || g_dry_run > 0)
        return;
    host().asm_warning(level, host().asm_source_line(), g_s.column + 1, text);
}

// ---- scanner ------------------------------------------------------------------------------------------

bool ident_start(unsigned char c) { return std::isalpha(c) || c == '_' || c == '@' || c >= 0x80; }
bool ident_char(unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80; }

void skip_blanks()
{
    while (*g_s.p == ' ' || *g_s.p == '\t' || *g_s.p == '\r' || *g_s.p == '\n' || *g_s.p == '\f' ||
           *g_s.p == '\v')
        ++g_s.p;
}

void keep_word(std::string &out, const char *from, size_t n)
{
    if (n > static_cast<size_t>(kAsmMaxWord)) {
        report_text("Word or string longer than 33 characters.");
        n = kAsmMaxWord;
    }
    out.assign(from, n);
}

// C rules: 0x hexadecimal, leading 0 octal, else decimal. Returns the characters used.
size_t convert_c_number(const std::string &text, uint64_t &value)
{
    const char *s = text.c_str();
    char *end = nullptr;
    value = std::strtoull(s, &end, 0);
    return static_cast<size_t>(end - s);
}

void scan_number()
{
    const char *start = g_s.p;
    const char *q = g_s.p;
    if (q[0] == '0' && (q[1] == 'x' || q[1] == 'X'))
        q += 2;
    while (std::isxdigit(static_cast<unsigned char>(*q)))
        ++q;
    std::string text(start, q);
    if (*q == 'u' || *q == 'U')
        ++q;
    g_s.token = kTokNumber;
    if (*q == 'H' || *q == 'h') {
        const char *digits = text.c_str();
        if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
            digits += 2;
        g_s.value = static_cast<int32_t>(std::strtoull(digits, nullptr, 16) & 0xFFFF);
        g_s.p = q + 1;
        return;
    }
    if (*q == 'L' || *q == 'l') {
        warn_text(0, summary_of(kMsgDemotion));
        uint64_t v = 0;
        convert_c_number(text, v);
        g_s.value = static_cast<int32_t>(v & 0xFFFFFFFF);
        g_s.p = q + 1;
        return;
    }
    size_t first = 0;
    while (first < text.size() && std::isdigit(static_cast<unsigned char>(text[first])))
        ++first;
    if (first < text.size() && (text[first] == 'b' || text[first] == 'B') && first > 0 &&
        text.find_first_not_of("01") >= first) {
        uint32_t v = 0;
        for (size_t i = 0; i < first; ++i)
            v = (v * 2 + static_cast<uint32_t>(text[i] - '0')) & 0xFFFF;
        g_s.value = static_cast<int32_t>(v);
        g_s.p = start + first + 1;
        return;
    }
    uint64_t v = 0;
    size_t used = convert_c_number(text, v);
    if (used == 0)
        used = 1;
    g_s.value = static_cast<int32_t>(v & 0xFFFFFFFF);
    // the characters the conversion did not use go back to the input; a "u" after a fully
    // used number stays consumed
    g_s.p = used == text.size() ? q : start + used;
}

int scan_token()
{
    skip_blanks();
    g_s.column = static_cast<int>(g_s.p - g_line_start);
    g_s.text.clear();
    const char *p = g_s.p;
    if (*p == 0 || *p == ';' || (p[0] == '/' && p[1] == '/'))
        return g_s.token = kTokEnd;
    if (std::strncmp(p, "sizeof", 6) == 0 && !ident_char(static_cast<unsigned char>(p[6]))) {
        const char *cursor = p + 6;
        if (auto v = host().asm_sizeof(cursor)) {
            g_s.p = cursor;
            g_s.value = *v;
            return g_s.token = kTokNumber;
        }
        report_text("Bad input to sizeof in asm code");
        g_s.p = p + 6;
        throw StatementAbort{};
    }
    unsigned char c = static_cast<unsigned char>(*p);
    if (ident_start(c)) {
        const char *q = p + 1;
        while (ident_char(static_cast<unsigned char>(*q)))
            ++q;
        keep_word(g_s.text, p, static_cast<size_t>(q - p));
        g_s.p = q;
        return g_s.token = kTokWord;
    }
    if (c == '"') {
        const char *q = p + 1;
        while (*q && *q != '"')
            ++q;
        if (*q != '"') {
            g_s.p = q;
            fail(kMsgInvalidString);
        }
        keep_word(g_s.text, p + 1, static_cast<size_t>(q - p - 1));
        g_s.p = q + 1;
        return g_s.token = kTokString;
    }
    if (std::isdigit(c)) {
        scan_number();
        return g_s.token;
    }
    if (std::ispunct(c)) {
        g_s.p = p + 1;
        return g_s.token = c;
    }
    g_s.p = p + 1;
    fail(kMsgUnrecognizedToken);
}

bool at_statement_end() { return g_s.token == kTokEnd || g_s.token == '$'; }

int register_code_of(const std::string &word)
{
    int i = g_register_hash.keyword_index(word);
    if (i < 0)
        return -1;
    const int code = kAsmRegisterTable[i].code;
    // "i" names a register on the Z180 set alone; on the Vireon set it stays a name.
    if (code == kRegI && asm_target().cpu_flag == 1)
        return -1;
    return code;
}

// The condition number of a word (exact slot spelling; nv/v synonyms), or -1.
int condition_of(std::string word)
{
    std::string l = lower_case(word);
    if (l == "nv") word = word[0] == 'N' ? "LZ" : "lz";
    if (l == "v") word = word[0] == 'V' ? "LO" : "lo";
    if (word.size() > 2 || word.empty())
        return -1;
    std::string key = "*" + word + "|";
    const char *hit = std::strstr(kAsmConditionText, key.c_str());
    if (!hit)
        return -1;
    return static_cast<int>(hit - kAsmConditionText) / 8;
}

int mnemonic_row(const std::string &word)
{
    if (g_rows.empty())
        return -1;
    return g_mnemonic_hash.keyword_index(lower_case(word));
}

// Reads a character constant after its opening apostrophe: one character gives its code, two
// give first * 256 + second.
int32_t read_char_constant()
{
    int32_t value = 0;
    int count = 0;
    const char *q = g_s.p;
    while (*q && *q != '\'') {
        int ch = static_cast<unsigned char>(*q++);
        if (ch == '\\' && *q) {
            int e = static_cast<unsigned char>(*q++);
            switch (e) {
            case 'n': ch = '\n'; break;
            case 't': ch = '\t'; break;
            case 'r': ch = '\r'; break;
            case '0': ch = 0; break;
            case 'a': ch = 7; break;
            case 'b': ch = 8; break;
            case 'f': ch = 12; break;
            case 'v': ch = 11; break;
            default: ch = e; break;
            }
        }
        // Two characters are the longest valid constant: the value stops growing past them
        // (the count alone decides the error below), so a long text cannot overflow it.
        if (count < 2)
            value = value * 256 + ch;
        ++count;
    }
    if (*q != '\'' || count < 1 || count > 2) {
        g_s.p = *q ? q + 1 : q;
        fail(kMsgInvalidString);
    }
    g_s.p = q + 1;
    return value;
}

// ---- operand expressions ---------------------------------------------------------------------------

struct ExprValue {
    int64_t value = 0;
    bool pending = false;   // an undefined name was referenced (fix-up queued)
    bool has_name = false;  // an address (symbol or label) took part
    std::string undefined;  // the pending name
};

struct OpEntry {
    char op;  // '+', '-', '*', '/', '%', '&', '|', '^', '<', '>', 'n' (negate), '~', 'p' (plus)
    int prec;
};

bool is_unary(char op) { return op == 'n' || op == '~' || op == 'p'; }

void apply(std::vector<int64_t> &values, char op)
{
    if (is_unary(op)) {
        if (values.empty())
            fail(kMsgInvalidExpression);
        int64_t &v = values.back();
        v = op == 'n' ? -v : op == '~' ? ~v : v;
        return;
    }
    if (values.size() < 2)
        fail(kMsgInvalidExpression);
    int64_t b = values.back();
    values.pop_back();
    int64_t a = values.back();
    int64_t r = 0;
    switch (op) {
    case '+': r = a + b; break;
    case '-': r = a - b; break;
    case '*': r = a * b; break;
    case '/':
    case '%':
        if (b == 0) {
            report_text("Division by zero in an operand expression.");
            throw StatementAbort{};
        }
        r = op == '/' ? a / b : a % b;
        break;
    case '&': r = a & b; break;
    case '|': r = a | b; break;
    case '^': r = a ^ b; break;
    case '<': r = (b >= 0 && b < 32) ? static_cast<int64_t>(static_cast<uint64_t>(a) << b) : 0; break;
    case '>': r = (b >= 0 && b < 32) ? (a >> b) : 0; break;
    default: break;
    }
    // values keep 24 bits of address and a marker byte; arithmetic is done wide and cut by
    // the consumer of the value, so a range check still sees the true result
    values.back() = r;
}

int binary_prec(int token)
{
    switch (token) {
    case '*': case '/': case '%': case '&': return 3;
    case '+': case '-': case '|': case '^': return 2;
    case '<': case '>': return 1;
    default: return -1;
    }
}

ExprValue eval_expression(uint32_t fix_address, uint16_t flags, uint8_t opcode,
                          const LcallFixup *lcall);

// The value a C symbol gives in assembly text: the offset of a member or an automatic variable,
// else its address; nothing while it has no address (it is then referenced as a label).
std::optional<int64_t> symbol_value(const AsmSymbol &s)
{
    const bool offset = s.kind == 253 || s.kind == 255 || (s.kind == 2 && s.type != 11 && !s.is_function);
    if (offset)
        return s.value;
    if (s.address == kAsmPlaceholder)
        return std::nullopt;
    return s.address;
}

// A function in extended memory taken as a value (no jump or call target) is entered through
// its root entry stub.
bool xmem_function_value(const AsmSymbol &s, uint8_t opcode, uint16_t flags)
{
    if (!s.is_function || opcode != 0 || (flags & kAsmFlagNoStub) || s.address == kAsmPlaceholder)
        return false;
    return s.xmem || (s.address & 0xFFFF) >= asm_target().xmem_window_start;
}

// A name in an expression, in this order: an "@" name, base_addr/logical_addr, a member of the
// current structure tag, a local C symbol, a label, a global C symbol, a structure tag, a
// numeric macro; any other name is the expression's one pending label.
void eval_name(ExprValue &ev, std::vector<int64_t> &values, std::string &pending_name,
               uint32_t fix_address, uint16_t flags, uint8_t opcode)
{
    const std::string name = g_s.text;
    if (name[0] == '@') {
        const std::string rest = upper_case(name.substr(1));
        if (rest == "SP") values.push_back(static_cast<int16_t>(host().asm_stack_depth()));
        else if (rest == "PC") values.push_back(host().asm_code_address());
        else if (rest == "RETVAL") values.push_back(host().asm_return_value_offset());
        else if (rest == "LENGTH") values.push_back(g_tag >= 0 ? host().asm_struct_size(g_tag) : g_last_size);
        else fail(kMsgBadAt);
        next_asm_token();
        return;
    }
    if (name == "base_addr" || name == "logical_addr") {
        next_asm_token();
        uint16_t f = name == "base_addr" ? static_cast<uint16_t>((flags | kAsmFlagBase) & ~kAsmFlagByte)
                                         : static_cast<uint16_t>(flags | kAsmFlagLogical);
        ExprValue inner = eval_expression(fix_address, f, 0, nullptr);
        ev.pending = ev.pending || inner.pending;
        ev.has_name = true;
        values.push_back(name == "base_addr" ? (inner.value >> 16) & 0xFF : inner.value);
        return;
    }
    next_asm_token();
    if (g_tag >= 0) {
        if (auto offset = host().asm_struct_member(g_tag, name)) {
            values.push_back(*offset);
            return;
        }
    }
    std::optional<AsmSymbol> sym = host().asm_symbol(name, true);
    const bool local = sym.has_value();
    if (!local)
        sym = host().asm_symbol(name, false);
    if (sym) {
        g_last_size = sym->size;
        if (sym->type >= 16)
            g_tag = sym->type;
    }
    std::optional<int64_t> value;
    if (sym && xmem_function_value(*sym, opcode, flags)) {
        if (sym->stub_address != kAsmPlaceholder)
            value = sym->stub_address;
        else if (g_dry_run == 0)
            host().asm_queue_root_stub(*sym);  // the stub defines the name as a label
    } else {
        if (sym && local)
            value = symbol_value(*sym);
        if (!value) {
            if (auto v = host().asm_lookup(name))
                value = *v;
            else if (sym)
                value = symbol_value(*sym);
        }
    }
    if (value) {
        ev.has_name = true;
        values.push_back(*value);
        return;
    }
    if (auto tag = host().asm_struct_tag(name); tag && !sym) {
        g_tag = *tag;
        values.push_back(0);
        return;
    }
    int32_t number = 0;
    if (!sym && macro_numeric_value(name, number)) {
        values.push_back(number);
        return;
    }
    if (!pending_name.empty())
        fail(kMsgOneUndefinedLabel);
    pending_name = name;
    ev.has_name = true;
    values.push_back(0);
}

// Evaluates the expression at the current token (operator precedence over two stacks; "("
// raises the precedence base by 5). Stops at a token that cannot continue it.
ExprValue eval_expression(uint32_t fix_address, uint16_t flags, uint8_t opcode,
                          const LcallFixup *lcall)
{
    ExprValue ev;
    std::vector<int64_t> values;
    std::vector<OpEntry> ops;
    std::string pending_name;
    int base = 0;
    g_tag = -1;
    g_last_size = 0;
    bool after_operand = false;
    bool any = false;

    auto push_operand_check = [&]() {
        if (after_operand)
            fail(kMsgInvalidExpression);
        after_operand = true;
        any = true;
    };

    for (;;) {
        int t = g_s.token;
        if (t == kTokNumber) {
            push_operand_check();
            values.push_back(g_s.value);
            next_asm_token();
        } else if (t == '\'') {
            push_operand_check();
            values.push_back(read_char_constant());
            next_asm_token();
        } else if (t == kTokWord) {
            push_operand_check();
            eval_name(ev, values, pending_name, fix_address, flags, opcode);
        } else if (t == '[') {
            // "[" name "]": the structure-field prefix; the name's tag becomes current
            next_asm_token();
            std::optional<int> tag;
            if (g_s.token == kTokWord)
                tag = host().asm_struct_tag(g_s.text);
            if (!tag)
                fail(kMsgBadStructField);
            g_tag = *tag;
            next_asm_token();
            if (g_s.token != ']')
                fail(kMsgMissingBracket);
            next_asm_token();
        } else if (t == '(') {
            if (after_operand)
                fail(kMsgInvalidExpression);
            base += 5;
            next_asm_token();
        } else if (t == ')') {
            if (base < 5)
                break;
            if (!after_operand)
                fail(kMsgInvalidExpression);
            base -= 5;
            next_asm_token();
        } else if (!after_operand && (t == '-' || t == '+' || t == '~')) {
            ops.push_back({t == '-' ? 'n' : t == '~' ? '~' : 'p', base + 4});
            next_asm_token();
        } else if (after_operand && binary_prec(t) >= 0) {
            char op = static_cast<char>(t);
            if (t == '<' || t == '>') {
                if (*g_s.p != t) {
                    next_asm_token();
                    fail(kMsgUnsupportedOperator);
                }
                ++g_s.p;
            }
            int prec = base + binary_prec(t);
            while (!ops.empty() && ops.back().prec >= prec) {
                apply(values, ops.back().op);
                ops.pop_back();
            }
            ops.push_back({op, prec});
            after_operand = false;
            next_asm_token();
        } else {
            if (t == '~')
                fail(kMsgInvalidExpression);
            break;
        }
    }
    if (!any || !after_operand)
        fail(kMsgInvalidExpression);
    if (base > 0)
        fail(kMsgMissingCloseParen);
    while (!ops.empty()) {
        apply(values, ops.back().op);
        ops.pop_back();
    }
    if (values.size() != 1)
        fail(kMsgInvalidExpression);
    ev.value = values.back();
    if (!pending_name.empty()) {
        ev.pending = true;
        ev.undefined = pending_name;
        // an expression that asks for no stub (equ, constants, align) queues no fix-up either
        if (g_dry_run == 0 && !(flags & kAsmFlagNoStub)) {
            g_references.push_back({pending_name, fix_address,
                                    static_cast<uint16_t>(flags | kAsmFlagLocals | kAsmFlagGlobals), opcode,
                                    static_cast<int32_t>(ev.value), lcall != nullptr,
                                    lcall ? *lcall : LcallFixup{}});
        }
        ev.value = kAsmPlaceholder;
    }
    if (flags & (kAsmFlagLogical | 0x0080 | kAsmFlagBase | 0x4000))
        ev.value = translate_root_address(static_cast<uint32_t>(ev.value & 0xFFFFFF));
    return ev;
}

// ---- operands ----------------------------------------------------------------------------------------

struct Operand {
    enum Kind { None, Reg, Ind, Disp, Mem, Imm } kind = None;
    int reg = -1;
    bool alt = false;
    int column = 0;
    std::string word;   // a lone word operand, as written
    ScanState expr;     // where the expression of Imm/Mem starts
    int32_t disp = 0;   // Disp
    bool minus = false; // Disp written with "-"
};

// Skips an expression up to a "," (or the end, or an unmatched ")") at depth 0.
void skip_expression()
{
    int depth = 0;
    for (;;) {
        int t = g_s.token;
        if (t == kTokEnd || t == '$')
            return;
        if (depth == 0 && (t == ',' || t == ')'))
            return;
        if (t == '(') ++depth;
        if (t == ')') --depth;
        if (t == '\'') read_char_constant();
        next_asm_token();
    }
}

Operand parse_operand()
{
    Operand o;
    o.column = g_s.column;
    if (at_statement_end() || g_s.token == ',')
        return o;
    if (g_s.token == '(') {
        next_asm_token();
        ScanState after_paren = g_s;
        if (g_s.token == kTokWord) {
            int r = register_code_of(g_s.text);
            if (r == kRegBC || r == kRegDE || r == kRegHL || r == kRegSP || r == kRegIX || r == kRegIY) {
                next_asm_token();
                if (g_s.token == ')') {
                    next_asm_token();
                    o.kind = Operand::Ind;
                    o.reg = r;
                    g_mem_access = true;
                    return o;
                }
                if ((g_s.token == '+' || g_s.token == '-') && r != kRegBC && r != kRegDE) {
                    o.minus = g_s.token == '-';
                    if (r == kRegSP && o.minus)
                        fail(kMsgIndexRange);
                    ExprValue v = eval_expression(0, 0, 0, nullptr);
                    if (v.pending)
                        fail(kMsgInvalidExpression);
                    if (g_s.token != ')')
                        fail(kMsgMissingCloseParen);
                    next_asm_token();
                    if (r == kRegSP ? (v.value < 0 || v.value > 255) : (v.value < -128 || v.value > 127))
                        fail(kMsgIndexRange);
                    o.kind = Operand::Disp;
                    o.reg = r;
                    o.disp = static_cast<int32_t>(v.value);
                    g_mem_access = true;
                    return o;
                }
            }
        }
        g_s = after_paren;
        o.expr = g_s;
        skip_expression();
        if (g_s.token != ')')
            fail(kMsgMissingCloseParen);
        next_asm_token();
        o.kind = Operand::Mem;
        g_mem_access = true;
        return o;
    }
    if (g_s.token == kTokWord) {
        int r = register_code_of(g_s.text);
        if (r >= 0) {
            o.kind = Operand::Reg;
            o.reg = r;
            o.word = g_s.text;
            next_asm_token();
            if (g_s.token == '\'') {
                o.alt = true;
                next_asm_token();
            }
            return o;
        }
        o.word = g_s.text;
    }
    o.kind = Operand::Imm;
    o.expr = g_s;
    int tokens_before = 0;
    {
        ScanState probe = g_s;
        next_asm_token();
        tokens_before = (g_s.token == ',' || at_statement_end()) ? 1 : 2;
        g_s = probe;
    }
    if (tokens_before != 1)
        o.word.clear();
    skip_expression();
    return o;
}

// ---- matching operands against the instruction forms -------------------------------------------

struct Encoding {
    const AsmForm *form = nullptr;
    int prefix = 0;   // 0, 0xDD or 0xFD
    uint8_t opcode = 0;
    bool alt_taken[2] = {false, false};  // the apostrophe belongs to the form
};

int index_prefix_of(int reg) { return reg == kRegIX ? 0xDD : reg == kRegIY ? 0xFD : 0; }

bool is_numeric_token_operand(const Operand &o)
{
    return o.kind == Operand::Imm && o.expr.token == kTokNumber;
}

// Evaluates an operand that must be a constant now (rst, bit number, ipset).
std::optional<int64_t> constant_of(const Operand &o)
{
    if (o.kind != Operand::Imm)
        return std::nullopt;
    ScanState saved = g_s;
    g_s = o.expr;
    ExprValue v;
    bool ok = true;
    bool quiet = g_quiet;
    g_quiet = true;
    try {
        v = eval_expression(0, kAsmFlagNoStub, 0, nullptr);
    } catch (StatementAbort &) {
        ok = false;
    }
    g_quiet = quiet;
    g_s = saved;
    if (!ok || v.pending || v.has_name)
        return std::nullopt;
    return v.value;
}

// "(c)" reads as a memory operand: the word c alone between the parentheses.
bool names_port_c(const Operand &o)
{
    if (o.kind != Operand::Mem || o.expr.token != kTokWord || lower_case(o.expr.text) != "c")
        return false;
    ScanState saved = g_s;
    g_s = o.expr;
    next_asm_token();
    const bool alone = g_s.token == ')';
    g_s = saved;
    return alone;
}

// Fits one operand to one format; sets the field value, the prefix and whether the operand's
// apostrophe is part of the form.
bool fit(const AsmForm &f, uint16_t word, const Operand &o, int &field, int &prefix, bool &alt_taken,
         bool other_is_index)
{
    uint16_t code = word & kFmtCodeMask;
    field = 0;
    alt_taken = false;
    auto need_prefix = [&](int p) {
        if (prefix != 0 && prefix != p) return false;
        prefix = p;
        return true;
    };
    auto is_reg = [&](int r) { return o.kind == Operand::Reg && o.reg == r; };
    switch (code) {
    case kFmtNone: return o.kind == Operand::None;
    case kFmtA: return is_reg(kRegA);
    case kFmtDE: return is_reg(kRegDE);
    case kFmtBC: return is_reg(kRegBC);
    case kFmtSP: return is_reg(kRegSP);
    case kFmtHL: return is_reg(kRegHL);
    case kFmtXPC: return is_reg(kRegXPC);
    case kFmtAF: return is_reg(kRegAF) && !o.alt;
    case kFmtAFAlt: alt_taken = true; return is_reg(kRegAF) && o.alt;
    case kFmtIP: return o.kind == Operand::Imm && lower_case(o.word) == "ip";
    case kFmtSU: return o.kind == Operand::Imm && lower_case(o.word) == "su";
    case kFmtSPInd: return o.kind == Operand::Ind && o.reg == kRegSP;
    case kFmtDEAlt:
        if (is_reg(kRegDE) && o.alt) { alt_taken = true; return true; }
        return o.kind == Operand::Ind && o.reg == kRegSP && other_is_index;
    case kFmtHLX:
        if (is_reg(kRegHL)) return prefix == 0;
        if (o.kind == Operand::Reg && (o.reg == kRegIX || o.reg == kRegIY))
            return (f.indexable || f.page == AsmPage::Index) && need_prefix(index_prefix_of(o.reg));
        return false;
    case kFmtHLXInd:
        if (o.kind != Operand::Ind) return false;
        if (o.reg == kRegHL) return prefix == 0;
        if (o.reg == kRegIX || o.reg == kRegIY)
            return (f.indexable || f.page == AsmPage::Index) && need_prefix(index_prefix_of(o.reg));
        return false;
    case kFmtPair:
    case kFmtPushPair: {
        if (o.kind != Operand::Reg) return false;
        int last = code == kFmtPair ? kRegSP : kRegAF;
        if (o.reg == kRegBC) field = 0;
        else if (o.reg == kRegDE) field = 1;
        else if (o.reg == kRegHL) { field = 2; if (prefix) return false; }
        else if (o.reg == last) field = 3;
        else if ((o.reg == kRegIX || o.reg == kRegIY) && f.indexable) {
            field = 2;
            if (!need_prefix(index_prefix_of(o.reg))) return false;
        } else return false;
        return (f.field_mask >> field) & 1;
    }
    case kFmtPairAlt:
        if (o.kind != Operand::Reg || !o.alt) return false;
        alt_taken = true;
        field = o.reg == kRegBC ? 0 : o.reg == kRegDE ? 1 : o.reg == kRegHL ? 2 : -1;
        return field >= 0 && ((f.field_mask >> field) & 1);
    case kFmtEirIir:
        if (o.kind != Operand::Reg) return false;
        if (o.reg == kRegEIR) { field = 0; return true; }
        if (o.reg == kRegIIR) { field = 1; return true; }
        return false;
    case kFmtR8Hi:
    case kFmtR8Lo:
        if (o.kind == Operand::Reg && o.reg <= kRegA && o.reg != kRegMemHL) { field = o.reg; return true; }
        if (o.kind == Operand::Ind && o.reg == kRegHL) {
            field = 6;
            return prefix == 0 && (f.indexable || ((f.field_mask >> 6) & 1));
        }
        if (o.kind == Operand::Disp && (word & kFmtIndexed) && f.indexable &&
            (o.reg == kRegIX || o.reg == kRegIY)) {
            field = 6;
            return need_prefix(index_prefix_of(o.reg));
        }
        return false;
    case kFmtBcDeInd:
        if (o.kind != Operand::Ind) return false;
        if (o.reg == kRegBC) { field = 0; return true; }
        if (o.reg == kRegDE) { field = 1; return true; }
        return false;
    case kFmtCond8:
    case kFmtCond4: {
        int cc = -1;
        if (o.kind == Operand::Reg && o.reg == kRegC && !o.alt) cc = condition_of(o.word);
        else if (o.kind == Operand::Imm && !o.word.empty()) cc = condition_of(o.word);
        if (cc < 0) return false;
        if (code == kFmtCond4 && cc > 3) fail(kMsgInvalidFlag);
        field = cc;
        return true;
    }
    case kFmtRst: {
        if (!is_numeric_token_operand(o)) fail(kMsgIntegerExpected);
        auto v = constant_of(o);
        bool ok = v && (*v & ~0x38) == 0;
        bool f80 = asm_target().cpu_flag == 1;
        if (ok && f80 && (*v == 0x00 || *v == 0x08 || *v == 0x30)) ok = false;
        if (!ok) fail(kMsgInvalidRst);
        field = static_cast<int>(*v >> 3);
        return true;
    }
    case kFmtBitNo: {
        auto v = constant_of(o);
        if (!v || *v < 0 || *v > 7) fail(kMsgBadBitNumber);
        field = static_cast<int>(*v);
        return true;
    }
    case kFmtIpset: {
        if (!is_numeric_token_operand(o)) fail(kMsgIntegerExpected);
        auto v = constant_of(o);
        if (!v || *v < 0 || *v > 3) fail(kMsgByteRange);
        field = static_cast<int>(*v);
        return true;
    }
    case kFmtImm8:
    case kFmtRel:
    case kFmtImm16:
        return o.kind == Operand::Imm && !(o.word.size() && condition_of(o.word) >= 0 && code != kFmtImm16 && false);
    case kFmtMem: return o.kind == Operand::Mem;
    case kFmtSPDisp: return o.kind == Operand::Disp && o.reg == kRegSP;
    case kFmtDispSwap:
        if (o.kind != Operand::Disp) return false;
        if (f.page == AsmPage::Main) return o.reg == kRegIX && prefix == 0;
        if (o.reg == kRegHL) return need_prefix(0xDD);
        if (o.reg == kRegIY) return need_prefix(0xFD);
        return false;
    case kFmtDisp: return false;
    case kFmtPortN: return o.kind == Operand::Mem && !names_port_c(o);
    case kFmtCInd: return names_port_c(o);
    case kFmtI: return is_reg(kRegI);
    case kFmtR: return is_reg(kRegEIR) && lower_case(o.word) == "r";
    case kFmtImMode: {
        if (!is_numeric_token_operand(o)) fail(kMsgIntegerExpected);
        auto v = constant_of(o);
        if (!v || *v < 0 || *v > 2) fail(kMsgByteRange);
        field = static_cast<int>(*v);
        return true;
    }
    }
    return false;
}

bool uses_index(const Operand &o)
{
    return (o.reg == kRegIX || o.reg == kRegIY) && o.kind != Operand::None && o.kind != Operand::Imm &&
           o.kind != Operand::Mem;
}

std::optional<Encoding> match_form(const AsmForm &f, const Operand ops[2], const DisasmPages &pages)
{
    Encoding e;
    e.form = &f;
    int prefix = 0;
    int f1 = 0, f2 = 0;
    bool a1 = false, a2 = false;
    // the second operand first when the first depends on its prefix ("ex (sp),ix")
    if (!fit(f, f.fmt2, ops[1], f2, prefix, a2, false))
        return std::nullopt;
    if (!fit(f, f.fmt1, ops[0], f1, prefix, a1, uses_index(ops[1])))
        return std::nullopt;
    if (f.page == AsmPage::Index && prefix == 0)
        return std::nullopt;
    // under an index prefix every hl-type operand names the index register ("add ix,hl" is no
    // instruction)
    if (prefix != 0) {
        for (int i = 0; i < 2; ++i) {
            uint16_t code = (i == 0 ? f.fmt1 : f.fmt2) & kFmtCodeMask;
            bool hl_slot = code == kFmtHLX || code == kFmtPair || code == kFmtPushPair ||
                           code == kFmtHLXInd || code == kFmtR8Hi || code == kFmtR8Lo;
            if (hl_slot && (ops[i].kind == Operand::Reg || ops[i].kind == Operand::Ind) && ops[i].reg == kRegHL)
                return std::nullopt;
        }
    }
    if ((f.fmt1 & kFmtCodeMask) == kFmtDEAlt && ops[0].kind == Operand::Ind && prefix == 0)
        return std::nullopt;
    // an indexed ld r,r' takes the index register on one side only
    if (prefix != 0 && f.mnemonic == kMnLd && f.opcode == 0x40 && f1 != 6 && f2 != 6)
        return std::nullopt;
    auto field_bits = [](uint16_t fmt, int v) -> uint8_t {
        switch (fmt & kFmtCodeMask) {
        case kFmtEirIir: case kFmtR8Hi: case kFmtRst: case kFmtCond8: case kFmtCond4: case kFmtBitNo:
            return static_cast<uint8_t>(v << 3);
        case kFmtR8Lo: return static_cast<uint8_t>(v);
        case kFmtPair: case kFmtPushPair: case kFmtPairAlt: case kFmtBcDeInd:
            return static_cast<uint8_t>(v << 4);
        case kFmtIpset: {
            static constexpr uint8_t kIpset[4] = {0x00, 0x10, 0x08, 0x18};
            return kIpset[v & 3];
        }
        case kFmtImMode: {
            static constexpr uint8_t kIm[3] = {0x00, 0x10, 0x18};
            return kIm[v % 3];
        }
        default: return 0;
        }
    };
    e.opcode = static_cast<uint8_t>(f.opcode | field_bits(f.fmt1, f1) | field_bits(f.fmt2, f2));
    e.prefix = prefix;
    e.alt_taken[0] = a1;
    e.alt_taken[1] = a2;
    // the concrete opcode must belong to this form on this CPU
    const DisasmEntry *slot = nullptr;
    switch (f.page) {
    case AsmPage::Main:
        slot = &pages.main[e.opcode];
        if (prefix != 0 && !pages.main_indexable[e.opcode]) return std::nullopt;
        break;
    case AsmPage::ED: slot = &pages.ed[e.opcode]; break;
    case AsmPage::CB:
        slot = &pages.cb[e.opcode];
        if (prefix != 0 && !pages.cb_indexable[e.opcode]) return std::nullopt;
        break;
    case AsmPage::Index: slot = &pages.index[e.opcode]; break;
    }
    if (slot->mnemonic != f.mnemonic || (slot->fmt1 & kFmtCodeMask) != (f.fmt1 & kFmtCodeMask) ||
        (slot->fmt2 & kFmtCodeMask) != (f.fmt2 & kFmtCodeMask))
        return std::nullopt;
    return e;
}

// ---- the statement ---------------------------------------------------------------------------------

struct Context {
    uint32_t address = 0;     // address of buf[0]
    std::vector<uint8_t> buf;
    const ia_sym *row = nullptr;
    // A jump or call that is the whole statement: offered to the host's branch emitter.
    struct Branch {
        bool set = false;
        uint8_t opcode = 0;
        uint32_t target = 0;
        std::string name;
        bool call = false;
        size_t at = 0;  // the opcode's place in the statement's bytes (after a stepping byte)
    } branch;
    std::string named_call;  // a runtime routine called in place of the instruction

    uint32_t address_at(size_t offset) const
    {
        return (address & 0xFFFF0000u) | ((address + static_cast<uint32_t>(offset)) & 0xFFFF);
    }
};

int disasm_mnemonic_of(const ia_sym &row)
{
    std::string_view name = row.mnemonic;
    if (name == "sjp") name = "jp";
    for (int i = 0; i < kDisasmMnemonicCount; ++i)
        if (kDisasmMnemonics[static_cast<size_t>(i)] == name)
            return i;
    return -1;
}

const DisasmPages &pages_for_target()
{
    const AsmTargetConfig &t = asm_target();
    if (t.cpu_flag != 1) return disasmPages(DisasmPageSet::Z180);
    return disasmPages(t.revision == 257 ? DisasmPageSet::B : DisasmPageSet::A);
}

int64_t emit_value(Context &ctx, const Operand &o, uint16_t flags, uint8_t opcode, int size,
                   const LcallFixup *lcall = nullptr)
{
    size_t pos = ctx.buf.size();
    ScanState saved = g_s;
    g_s = o.expr;
    ExprValue v = eval_expression(ctx.address_at(pos), flags, opcode, lcall);
    g_s = saved;
    int64_t x = v.value;
    if (size == 1) {
        if (!v.pending && (x < -128 || x > 255))
            report(kMsgByteRange);
        ctx.buf.push_back(static_cast<uint8_t>(x & 0xFF));
        return x;
    }
    if (!v.pending && !v.has_name && (x < -32768 || x > 0xFFFF) && size == 2)
        report(kMsgByteRange);
    ctx.buf.push_back(static_cast<uint8_t>(x & 0xFF));
    ctx.buf.push_back(static_cast<uint8_t>((x >> 8) & 0xFF));
    if (size == 3)
        ctx.buf.push_back(static_cast<uint8_t>((x >> 16) & 0xFF));
    return x;
}

// Notes a jump or call that makes up the whole statement for the host's branch emitter.
void note_branch(Context &ctx, uint8_t opcode, int64_t target, const std::string &name, bool call)
{
    if (ctx.buf.size() != 3 && ctx.buf.size() != 4)
        return;
    ctx.branch.set = true;
    ctx.branch.opcode = opcode;
    // The operand (a 24-bit one for "ljp" and "lcall") ends the bytes; the opcode is before it.
    const size_t operand = (opcode == 0xC7 || opcode == 0xCF) ? 3 : 2;
    ctx.branch.at = ctx.buf.size() - operand - 1;
    ctx.branch.target = static_cast<uint32_t>(target) & 0xFFFFFF;
    ctx.branch.name = name;
    ctx.branch.call = call;
}

// Writes the bytes of a matched form: [0xDD/0xFD] [0xED|0xCB] [d] opcode [d] [data...].
void emit_encoding(Context &ctx, const Encoding &e, const Operand ops[2], size_t start)
{
    const AsmForm &f = *e.form;
    if (e.prefix) ctx.buf.push_back(static_cast<uint8_t>(e.prefix));
    int displaced = -1;
    for (int i = 0; i < 2; ++i)
        if (ops[i].kind == Operand::Disp && (ops[i].reg == kRegIX || ops[i].reg == kRegIY) &&
            (((i == 0 ? f.fmt1 : f.fmt2) & kFmtIndexed)))
            displaced = i;
    if (f.page == AsmPage::ED) ctx.buf.push_back(0xED);
    if (f.page == AsmPage::CB) {
        ctx.buf.push_back(0xCB);
        if (displaced >= 0) ctx.buf.push_back(static_cast<uint8_t>(ops[displaced].disp));
    }
    ctx.buf.push_back(e.opcode);
    if (f.page != AsmPage::CB && displaced >= 0)
        ctx.buf.push_back(static_cast<uint8_t>(ops[displaced].disp));
    for (int i = 0; i < 2; ++i) {
        uint16_t code = (i == 0 ? f.fmt1 : f.fmt2) & kFmtCodeMask;
        const Operand &o = ops[i];
        switch (code) {
        // only a jump or call target hands its opcode on; any other operand is a value
        case kFmtImm8: emit_value(ctx, o, kAsmFlagByte, 0, 1); break;
        case kFmtImm16: {
            const bool is_long = f.mnemonic == kMnLjp || f.mnemonic == kMnLcall;
            if (is_long || f.mnemonic == kMnJp || f.mnemonic == kMnCall) {
                const int64_t target = emit_value(ctx, o, is_long ? kAsmFlagLong : kAsmFlagWord,
                                                  e.opcode, is_long ? 3 : 2);
                if (ctx.buf.size() == start + 1 + (is_long ? 3u : 2u))
                    note_branch(ctx, e.opcode, target, o.word,
                                f.mnemonic == kMnCall || f.mnemonic == kMnLcall);
            } else {
                emit_value(ctx, o, kAsmFlagValue, 0, 2);
            }
            break;
        }
        case kFmtMem: emit_value(ctx, o, kAsmFlagValue, 0, 2); break;
        case kFmtPortN: emit_value(ctx, o, kAsmFlagByte, 0, 1); break;
        case kFmtSPDisp:
        case kFmtDispSwap: ctx.buf.push_back(static_cast<uint8_t>(o.disp)); break;
        case kFmtRel: {
            size_t pos = ctx.buf.size();
            ScanState saved = g_s;
            g_s = o.expr;
            ExprValue v = eval_expression(ctx.address_at(pos), kAsmFlagRelByte, e.opcode, nullptr);
            g_s = saved;
            if (v.pending || g_dry_run > 0) {
                ctx.buf.push_back(0);
                break;
            }
            int32_t d = static_cast<int16_t>(static_cast<uint16_t>(v.value - (ctx.address_at(pos) + 1)));
            if (d < -128 || d > 127)
                report(kMsgJumpRange);
            ctx.buf.push_back(static_cast<uint8_t>(d & 0xFF));
            break;
        }
        default: break;
        }
    }
}

bool is_register_operand(const Operand &o) { return o.kind == Operand::Reg || o.kind == Operand::Ind || o.kind == Operand::Disp; }

// The rows whose encoders read a number as their first operand.
void check_wait_state(const AsmForm &f, const Encoding &e)
{
    if (e.prefix == 0 || f.page != AsmPage::CB)
        return;
    if (asm_target().revision >= 3)
        return;
    std::string form = std::string(asm_mnemonic_name(f.mnemonic)) +
                       (f.mnemonic == kMnBit || f.mnemonic == kMnRes || f.mnemonic == kMnSet ? " b, " : " ") +
                       (e.prefix == 0xDD ? "(ix+d)" : "(iy+d)");
    char buf[200];
    std::snprintf(buf, sizeof buf, summary_of(kMsgWaitStateOp).c_str(), form.c_str());
    warn_text(0, buf);
}

// "call name" for a routine of the target libraries: 0xCD and the routine's address (a fix-up
// while it is not yet defined), written by the host's branch emitter like any call.
void emit_named_call(Context &ctx, const char *name)
{
    ctx.buf.push_back(0xCD);
    const ScanState saved = g_s;
    const char *saved_line = g_line_start;
    g_line_start = name;
    g_s.p = name;
    next_asm_token();
    Operand o;
    o.kind = Operand::Imm;
    o.expr = g_s;
    g_s = saved;
    g_line_start = saved_line;
    note_branch(ctx, 0xCD, emit_value(ctx, o, kAsmFlagWord, 0xCD, 2), name, true);
    host().asm_call_target(name);
    ctx.named_call = name;
}

// Encodes one instruction (not a prefix, not a directive) into ctx.
void encode_instruction(Context &ctx)
{
    const ia_sym &row = *ctx.row;
    int mn = disasm_mnemonic_of(row);
    const AsmTargetConfig &target = asm_target();
    const DisasmPages &pages = pages_for_target();
    bool f80 = target.cpu_flag == 1;

    // forms of this mnemonic on this CPU
    std::vector<const AsmForm *> forms;
    bool any_cpu = false;
    for (int i = 0; i < kAsmFormCount; ++i) {
        const AsmForm &f = kAsmForms[i];
        if (f.mnemonic != mn) continue;
        any_cpu = true;
        if (asm_form_available(f, target.cpu_flag, target.revision)) forms.push_back(&f);
    }
    if (forms.empty()) {
        (void)any_cpu;
        fail(kMsgBadOpcode);
    }

    if (row.encoder == AsmEncoder::Ret && !generated_line() && (ctx.address & 0xFFFF) >= target.xmem_window_start)
        warn_text(1, summary_of(kMsgRetInXmem));
    if (row.code == kCodeMemImplied2)
        g_mem_access = true;

    // With the block-move replacement on, lddr and ldir (without an I/O prefix) call the
    // library's routines instead.
    if (g_block_move_replacement && row.encoder == AsmEncoder::BlockMove && row.first == 0xED &&
        (row.second == 0xB8 || row.second == 0xB0) && g_io_count == 0) {
        if (!at_statement_end())
            fail(kMsgSyntaxGarbage);
        emit_named_call(ctx, row.second == 0xB8 ? "lddr_func" : "ldir_func");
        return;
    }

    // call/lcall: an optional placement word
    std::string placement;
    if ((row.encoder == AsmEncoder::Call) && g_s.token == kTokWord &&
        (g_s.text == "xmem" || g_s.text == "root")) {
        placement = g_s.text;
        next_asm_token();
    }

    // operands
    Operand ops[3];
    int count = 0;
    if (!at_statement_end()) {
        for (;;) {
            if (count == 3) fail(kMsgSyntaxGarbage);
            ops[count++] = parse_operand();
            if (g_s.token != ',') break;
            next_asm_token();
        }
    }
    if (!at_statement_end()) {
        if (count == 1 && (row.encoder == AsmEncoder::Ld || row.encoder == AsmEncoder::Ex || row.encoder == AsmEncoder::Ldp))
            fail(kMsgMissingComma);
        fail(kMsgSyntaxGarbage);
    }
    if (count >= 1 && ops[0].kind == Operand::Reg)
        g_dest_parsed = true;

    // lcall with a numeric target: page and offset, or one address with "xmem"/"root"
    if (f80 && mn == kMnLcall) {
        if (count == 2) {
            // The page is the caller's: the offset is a plain word whose long-call record
            // keeps that page for a label that turns out to lie in xmem.
            ctx.buf.push_back(0xCF);
            const Operand &page = ops[0];
            const uint8_t page_byte = static_cast<uint8_t>(constant_of(page).value_or(0) & 0xFF);
            LcallFixup rec{1, "", page_byte, host().asm_source_line()};
            emit_value(ctx, ops[1], kAsmFlagValue, 0, 2, &rec);
            emit_value(ctx, page, kAsmFlagByte, 0, 1);
            return;
        }
        if (count == 1 && ops[0].kind == Operand::Imm && !constant_of(ops[0]).has_value()) {
            // a name: its address word gives the page
        } else if (count == 1 && ops[0].kind == Operand::Imm) {
            int64_t v = *constant_of(ops[0]);
            uint32_t word = 0;
            if (placement == "xmem") {
                uint32_t phys = static_cast<uint32_t>(v) & 0xFFFFF;
                uint16_t window = target.xmem_window_start;
                word = (((phys >> 12) - (window >> 12)) & 0xFF) << 16 | ((phys & 0xFFF) + window);
            } else if (placement == "root") {
                word = static_cast<uint32_t>(v) & 0xFFFF;
            } else {
                report_text("Must specify destination as logical or physical address using root or xmem keyword.");
                throw StatementAbort{};
            }
            ctx.buf.push_back(0xCF);
            ctx.buf.push_back(static_cast<uint8_t>(word & 0xFF));
            ctx.buf.push_back(static_cast<uint8_t>((word >> 8) & 0xFF));
            ctx.buf.push_back(static_cast<uint8_t>((word >> 16) & 0xFF));
            return;
        }
    }
    if (count == 3)
        fail(kMsgSyntaxGarbage);

    // "a," in front of the one-operand alu forms
    if (count == 2 && ops[0].kind == Operand::Reg && ops[0].reg == kRegA &&
        (mn == kMnSub || mn == kMnAnd || mn == kMnOr || mn == kMnXor || mn == kMnCp)) {
        bool alt = ops[0].alt;
        ops[0] = ops[1];
        ops[0].alt = ops[0].alt || alt;
        if (alt && ops[0].kind != Operand::Reg) {
            // the apostrophe of "a'" is the destination's
            ops[0].alt = false;
            ops[2].alt = true;
        }
        ops[1] = Operand{};
        count = 1;
    }
    // on the F80, ld hl,(hl) is ld hl,(hl+0)
    if (f80 && mn == kMnLd && count == 2 && ops[0].kind == Operand::Reg && ops[0].reg == kRegHL &&
        ops[1].kind == Operand::Ind && ops[1].reg == kRegHL) {
        ops[1].kind = Operand::Disp;
        ops[1].disp = 0;
    }

    std::optional<Encoding> enc;
    for (const AsmForm *f : forms) {
        enc = match_form(*f, ops, pages);
        if (enc) break;
    }
    if (!enc) {
        if (mn == kMnLdp) fail(kMsgInvalidOperand);
        if (mn == kMnBit || mn == kMnRes || mn == kMnSet) fail(kMsgBadOpcode);
        if (count == 1 && forms.front()->fmt2 != kFmtNone && !(forms.size() > 1 && forms.back()->fmt2 == kFmtNone)) {
            bool all_two = true;
            for (auto *f : forms) all_two = all_two && f->fmt2 != kFmtNone;
            if (all_two) fail(kMsgMissingComma);
        }
        bool register_only = row.encoder == AsmEncoder::PushPop || row.encoder == AsmEncoder::IncDec ||
                             row.encoder == AsmEncoder::ShiftRotate || row.encoder == AsmEncoder::Ex;
        if (register_only && ((count >= 1 && ops[0].kind == Operand::Imm) || (count >= 2 && ops[1].kind == Operand::Imm)))
            fail(kMsgRegisterExpected);
        if ((count >= 1 && is_register_operand(ops[0])) || (count >= 2 && is_register_operand(ops[1])))
            fail(kMsgInvalidRegister);
        if (count == 0 && row.encoder == AsmEncoder::Ld) fail(kMsgRegisterExpected);
        fail(kMsgBadOpcode);
    }

    // apostrophes that the form does not take: the alternate destination
    bool alt_dest = ops[2].alt;
    for (int i = 0; i < 2; ++i) {
        if (!ops[i].alt || enc->alt_taken[i]) continue;
        int dest = mn == kMnEx ? 1 : 0;
        if (i != dest) fail(kMsgInvalidRegister);
        alt_dest = true;
    }
    if (alt_dest || g_alt_count > 0) {
        int dest = mn == kMnEx ? 1 : 0;
        const Operand &d = ops[dest];
        if (d.kind == Operand::Reg) {
            if (d.reg == kRegIIR || d.reg == kRegEIR || d.reg == kRegSP) fail(kMsgInvalidRegister);
            if ((d.reg == kRegIX || d.reg == kRegIY) && !(row.flags & 2)) fail(kMsgInvalidRegister);
        }
    }
    if (alt_dest) {
        if (!f80) fail(kMsgInvalidRegister);
        if (g_alt_count >= 2) fail(kMsgMultiplePrefixes);
        ctx.buf.push_back(0x76);
    }
    size_t start = ctx.buf.size();
    emit_encoding(ctx, *enc, ops, start);
    check_wait_state(*enc->form, *enc);
    if ((mn == kMnCall || mn == kMnLcall) && g_dry_run == 0) {
        const Operand &target = count == 2 ? ops[1] : ops[0];
        if (target.kind == Operand::Imm && !target.word.empty())
            host().asm_call_target(target.word);
    }
}

// db (size 1): strings and byte expressions; dw (size 2): 16-bit expressions, low byte first.
// Items are separated by ",".
void encode_data(Context &ctx, int size)
{
    if (at_statement_end()) fail(kMsgInvalidExpression);
    for (;;) {
        if (size == 1 && g_s.token == kTokString) {
            for (char ch : g_s.text) ctx.buf.push_back(static_cast<uint8_t>(ch));
            next_asm_token();
        } else {
            Operand o;
            o.kind = Operand::Imm;
            o.expr = g_s;
            skip_expression();
            emit_value(ctx, o, size == 1 ? kAsmFlagByte : kAsmFlagValue, 0, size);
        }
        if (g_s.token != ',') break;
        next_asm_token();
    }
}

// align even | odd | n: no-operation bytes up to the boundary.
void encode_align(Context &ctx)
{
    uint32_t here = ctx.address_at(ctx.buf.size()) & 0xFFFF;
    int64_t n = 0;
    if (g_s.token == kTokWord && lower_case(g_s.text) == "even") {
        n = (here & 1) ? 1 : 0;
        next_asm_token();
    } else if (g_s.token == kTokWord && lower_case(g_s.text) == "odd") {
        n = (here & 1) ? 0 : 1;
        next_asm_token();
    } else {
        ExprValue v = eval_expression(ctx.address_at(ctx.buf.size()), kAsmFlagNoStub, 0, nullptr);
        if (v.pending || v.value <= 0) {
            report_text("Alignment value must be positive.");
            throw StatementAbort{};
        }
        n = (v.value - static_cast<int64_t>(here) % v.value) % v.value;
    }
    for (int64_t i = 0; i < n; ++i)
        ctx.buf.push_back(0x00);
}

std::string without_directory(const std::string &path)
{
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A code label at the statement's address. A C variable or function of the name that already
// has an address is overridden (3035); a global label opens an assembly function, whose
// placement must agree with a C prototype of the name (2152).
void define_code_label(const std::string &name, uint32_t address, bool global)
{
    if (g_dry_run > 0 || name == "asm")
        return;
    std::optional<AsmSymbol> sym = host().asm_symbol(name, true);
    if (!sym)
        sym = host().asm_symbol(name, false);
    if (sym && sym->address != kAsmPlaceholder && !g_redefinition_allowed) {
        char buf[512];
        std::snprintf(buf, sizeof buf, summary_of(kMsgLabelOverridesVariable).c_str(), name.c_str(),
                      name.c_str(), sym->line, without_directory(sym->file).c_str());
        report_text(buf);
    }
    if (!host().asm_define(name, address, global, false) && !g_redefinition_allowed)
        report_name(kMsgPreviouslyDefined, name);
    if (!global)
        return;
    const bool in_xmem = (address & 0xFFFF) >= asm_target().xmem_window_start;
    if (sym && sym->is_function && sym->xmem != in_xmem) {
        const char *mapping = in_xmem ? "xmem" : "root";
        if (in_xmem) {
            report_two_names(kMsgMappingMismatch, mapping, name);
        } else {
            char buf[256];
            std::snprintf(buf, sizeof buf, summary_of(kMsgMappingMismatch).c_str(), mapping, name.c_str());
            warn_text(1, buf);
        }
    }
    host().asm_function_label(name, address, g_open_function);
    g_open_function = name;
}

// label: equ expression. The value must be known now: an undefined name cannot be patched
// into it later.
void define_equ_label(const std::string &name, bool global)
{
    next_asm_token();  // past "equ"
    if (at_statement_end())
        fail(kMsgInvalidExpression);
    ExprValue v = eval_expression(0, kAsmFlagNoStub, 0, nullptr);
    if (v.pending && g_dry_run == 0) {
        char buf[128];
        std::snprintf(buf, sizeof buf, "Undefined (but used) local symbol %s", v.undefined.c_str());
        report_text(buf);
        throw StatementAbort{};
    }
    if (g_dry_run > 0)
        return;
    if (!host().asm_define(name, static_cast<uint32_t>(v.value & 0xFFFFFFFF), global, true))
        report_name(kMsgPreviouslyDefined, name);
}

bool is_prefix_row(const ia_sym &row)
{
    return row.code == kCodeImplied1 && (row.first == 0x76 || row.first == 0xD3 || row.first == 0xDB);
}

// The statement body: label, prefixes, mnemonic, operands.
void assemble_instruction(Context &ctx, bool debug)
{
    next_asm_token();
    if (at_statement_end())
        return;
    // a label
    if (g_s.token == kTokWord && mnemonic_row(g_s.text) < 0) {
        std::string name = g_s.text;
        next_asm_token();
        bool global = false;
        if (g_s.token == ':') {
            next_asm_token();
            if (g_s.token == ':') {
                global = true;
                next_asm_token();
            }
        } else if (name != "asm") {
            report(kMsgMissingColon);
        }
        if (g_s.token == kTokWord && lower_case(g_s.text) == "equ") {
            define_equ_label(name, global);
            if (!at_statement_end()) fail(kMsgSyntaxGarbage);
            return;
        }
        define_code_label(name, ctx.address, global);
        if (at_statement_end())
            return;
    }
    for (;;) {
        if (g_s.token != kTokWord)
            fail(kMsgBadOpcode);
        int row_index = mnemonic_row(g_s.text);
        if (row_index < 0)
            fail(kMsgBadOpcode);
        const ia_sym &row = g_rows[static_cast<size_t>(row_index)];
        g_s.row = row_index;
        ctx.row = &row;
        next_asm_token();
        bool f80 = asm_target().cpu_flag == 1;
        if (row.code == kCodeEqu)
            fail(kMsgBadOpcode);
        if (f80 && g_s.token == '`') {
            if (g_alt_count >= 2) fail(kMsgMultiplePrefixes);
            ctx.buf.push_back(0x76);
            ++g_alt_count;
            next_asm_token();
        }
        bool data_row = row.code == kCodeDb || row.code == kCodeDw || row.code == kCodeAlign;
        if (data_row)
            g_step_allowed = false;
        if (!generated_line() && debug && !data_row && g_alt_count == 0 && g_io_count == 0)
            ctx.buf.push_back(0xEF);  // rst 0x28: the debug kernel's stepping point

        if (row.code == kCodeDb) { encode_data(ctx, 1); break; }
        if (row.code == kCodeDw) { encode_data(ctx, 2); break; }
        if (row.code == kCodeAlign) { encode_align(ctx); break; }

        if (is_prefix_row(row)) {
            if (!f80) fail(kMsgBadOpcode);
            if (row.first == 0x76) ++g_alt_count; else ++g_io_count;
            ctx.buf.push_back(row.first);
            if (g_io_count > 1 || g_alt_count >= 2 || (g_io_count >= 1 && g_alt_count >= 1))
                fail(kMsgMultiplePrefixes);
            if (at_statement_end())
                break;
            g_dest_parsed = false;
            g_mem_access = false;
            continue;
        }
        size_t before = ctx.buf.size();
        int alt_prefixes = g_alt_count;
        encode_instruction(ctx);
        int leading76 = 0;  // alternate-destination prefixes; 0x76 is halt on the Z180
        for (size_t i = before; f80 && i < ctx.buf.size() && ctx.buf[i] == 0x76; ++i)
            ++leading76;
        if (leading76 > 0 && alt_prefixes > 0)
            fail(kMsgMultiplePrefixes);
        if ((alt_prefixes > 0 || leading76 > 0) && !g_dest_parsed && (row.flags & 3) == 0)
            report(kMsgAltdNotAllowed);
        if (leading76 > 0 && (row.flags & 3) == 0)
            report(kMsgAltdNotAllowed);
        if (g_io_count > 0 && !g_mem_access)
            report(kMsgIoNotAllowed);
        if (alt_prefixes + leading76 + g_io_count >= 2)
            report(kMsgMultiplePrefixes);
        break;
    }
    if (!at_statement_end())
        fail(kMsgSyntaxGarbage);
}

}  // namespace

// ---- public interface ---------------------------------------------------------------------------------

void set_asm_host(AsmHost *h) { g_host = h; }
AsmHost *asm_host() { return g_host; }

uint16_t KeywordHash::keyword_hash_value(std::string_view word)
{
    uint32_t h = 0;
    size_t n = word.size() < 16 ? word.size() : 16;
    for (size_t i = 0; i < n; ++i)
        h = (h * 17 + static_cast<uint32_t>(static_cast<int8_t>(word[i]))) & 0xFFFF;
    return static_cast<uint16_t>(h);
}

bool KeywordHash::build(const std::vector<std::string> &keywords)
{
    std::fill(m_bitmap.begin(), m_bitmap.end(), 0);
    m_keywords = keywords;
    m_hashes.clear();
    bool ok = true;
    for (const std::string &k : keywords) {
        uint16_t h = keyword_hash_value(k);
        uint8_t &byte = m_bitmap[h >> 3];
        uint8_t bit = static_cast<uint8_t>(1u << (h & 7));
        if (byte & bit) {
            ok = false;
            if (g_host)
                g_host->asm_error(g_host->asm_source_line(), 1, summary_of(kMsgKeywordCollision));
        }
        byte |= bit;
        m_hashes.push_back(h);
    }
    return ok;
}

int KeywordHash::keyword_index(std::string_view word) const
{
    uint16_t h = keyword_hash_value(word);
    if (!(m_bitmap[h >> 3] & (1u << (h & 7))))
        return -1;
    for (size_t i = 0; i < m_hashes.size(); ++i) {
        if (m_hashes[i] != h) continue;
        return m_keywords[i] == word ? static_cast<int>(i) : -1;
    }
    return -1;
}

void init_asm_mnemonics()
{
    const bool z180 = asm_target().cpu_flag != 1;
    int count = !z180 && asm_target().revision == 257 ? kAsmF80MnemonicRows : kAsmBaseMnemonicRows;
    g_rows.assign(kAsmMnemonicTable, kAsmMnemonicTable + count);
    if (z180)
        g_rows.insert(g_rows.end(), kAsmMnemonicTable + kAsmF80MnemonicRows,
                      kAsmMnemonicTable + kAsmMnemonicRows);
    std::vector<std::string> names;
    for (const ia_sym &r : g_rows) names.emplace_back(r.mnemonic);
    g_mnemonic_hash.build(names);
    if (!g_register_hash_built) {
        std::vector<std::string> regs;
        for (const reg_type &r : kAsmRegisterTable) regs.emplace_back(r.name);
        regs.pop_back();  // the empty row ends the table
        g_register_hash.build(regs);
        g_register_hash_built = true;
    }
    selectDisasmTables();
    selectLengthTables();
}

int asm_active_mnemonic_count() { return static_cast<int>(g_rows.size()); }

void asm_scan_begin(const char *text)
{
    if (!g_register_hash_built)
        init_asm_mnemonics();
    g_line_start = text;
    g_s = ScanState{};
    g_s.p = text;
}

int next_asm_token() { return scan_token(); }
int asm_token() { return g_s.token; }
const std::string &asm_token_text() { return g_s.text; }
int32_t asm_token_value() { return g_s.value; }
int asm_register_code() { return g_s.token == kTokWord ? register_code_of(g_s.text) : -1; }

bool is_condition_word()
{
    return g_s.token == kTokWord && condition_of(g_s.text) >= 0;
}

int condition_number()
{
    int cc = g_s.token == kTokWord ? condition_of(g_s.text) : -1;
    if (cc < 0)
        report(kMsgInvalidFlag);
    return cc;
}

bool check_emitted_io_prefix(uint8_t b)
{
    if (!g_io_watch)
        return false;
    bool hit = (b >= 0x70 && b <= 0x77) || (b & 0xC7) == 0x46;
    for (uint8_t c : kIoPrefixCheckBytes)
        hit = hit || b == c;
    // Only the first byte of the code that follows is looked at: an operand or data byte
    // further on that happens to read like one of these opcodes gets nothing put before it.
    g_io_watch = false;
    return hit;
}

void set_asm_generated_line(bool on) { g_generated = on; }
void set_asm_dry_run_depth(int depth) { g_dry_run = depth; }
int asm_dry_run_depth() { return g_dry_run; }
void set_asm_block_move_replacement(bool on) { g_block_move_replacement = on; }
void set_asm_redefinition_allowed(bool on) { g_redefinition_allowed = on; }

std::string take_previous_map_name()
{
    std::string name = std::move(g_open_function);
    g_open_function.clear();
    return name;
}

void reset_asm_state()
{
    g_alt_count = g_io_count = 0;
    g_io_watch = false;
    g_open_function.clear();
    g_tag = -1;
    g_last_size = 0;
}

bool assemble_statement(const char *&input, bool debug_flag)
{
    if (g_rows.empty())
        init_asm_mnemonics();
    g_line_start = input;
    g_s = ScanState{};
    g_s.p = input;
    g_alt_count = g_io_count = 0;
    g_dest_parsed = false;
    g_step_allowed = true;
    g_mem_access = false;
    g_stmt_error = false;
    g_references.clear();

    Context ctx;
    ctx.address = host().asm_code_address();

    // a C statement inside assembly
    {
        const char *q = input;
        while (*q == ' ' || *q == '\t') ++q;
        if ((q[0] == 'c' || q[0] == 'C') && !ident_char(static_cast<unsigned char>(q[1])) && q[1] != ':') {
            const char *cursor = q + 1;
            if (host().asm_c_statement(cursor)) {
                input = cursor + std::strlen(cursor);
                return false;
            }
        }
    }

    try {
        assemble_instruction(ctx, debug_flag);
    } catch (StatementAbort &) {
        g_stmt_error = true;
        g_quiet = true;
        try {
            while (!at_statement_end()) next_asm_token();
        } catch (StatementAbort &) {
            // a bad token while skipping: give up on the rest of the line
            g_s.token = kTokEnd;
        }
        g_quiet = false;
    }
    bool io_used = g_io_count > 0;
    g_alt_count = g_io_count = 0;
    // a dry run emits the bytes too (its caller measures them) but records nothing
    if (!g_stmt_error && !ctx.buf.empty()) {
        if (!generated_line() && debug_flag && g_dry_run == 0)
            host().asm_line_entry(ctx.address);
        const Context::Branch &branch = ctx.branch;
        // A routine call the host writes brings its own fix-up.
        const bool host_call = !ctx.named_call.empty() && host().asm_named_call(ctx.named_call);
        // The bytes before a branch (the debug stepping byte) go first, so that the branch
        // the host writes stands where its operand's fix-up was recorded.
        if (!host_call && branch.set)
            for (size_t i = 0; i < branch.at; ++i)
                host().asm_emit_byte(ctx.buf[i]);
        if (!host_call &&
            (!branch.set || !host().asm_branch(branch.opcode, branch.target, branch.name, branch.call)))
            for (size_t i = branch.set ? branch.at : 0; i < ctx.buf.size(); ++i)
                host().asm_emit_byte(ctx.buf[i]);
        if (io_used)
            g_io_watch = true;
        if (!host_call)
            for (const PendingReference &r : g_references)
                (void)host().asm_reference(r.name, r.address, r.flags, r.opcode, r.addend,
                                           r.has_lcall ? &r.lcall : nullptr);
    }
    g_references.clear();
    if (g_s.token == '$') {
        input = g_s.p;
        return true;
    }
    input = g_s.p;
    return false;
}

void assemble_line(const char *text, bool debug_flag)
{
    const char *p = text;
    while (assemble_statement(p, debug_flag)) {
    }
}

bool macro_numeric_value(const std::string &name, int32_t &value)
{
    AsmHost *h = asm_host();
    std::optional<std::string> text = h ? h->asm_macro_text(name) : std::nullopt;
    if (!text)
        return false;
    const char *s = text->c_str();
    while (*s == ' ' || *s == '\t')
        ++s;
    if (!std::isdigit(static_cast<unsigned char>(*s)))
        return false;
    char *end = nullptr;
    unsigned long long v = std::strtoull(s, &end, 0);
    if (*end != 0 && *end != ' ' && *end != '\t')
        return false;
    value = static_cast<int32_t>(v & 0xFFFFFFFF);
    return true;
}

// ---- the compile's tables: the default host services ------------------------------------------

std::optional<AsmSymbol> AsmHost::asm_symbol(const std::string &name, bool local)
{
    if (name.empty() || name.size() > kMaxIdentifier)
        return std::nullopt;
    symbol *s = find_symbol(name.c_str(), false, local ? kLocalTable : kGlobalTable);
    if (!s)
        return std::nullopt;
    AsmSymbol out;
    out.kind = s->kind;
    out.type = s->type;
    out.address = s->address[kFunctionAddressSlot];
    out.stub_address = s->address[kRootStubAddressSlot];
    out.value = s->value;
    out.size = s->size;
    out.xmem = (s->flags[0] & 1) != 0;
    out.is_function = s->kind == 3 || (s->declarator & 0xF) == 3;
    out.line = s->line;
    out.file = s->file ? s->file : "";
    out.handle = s;
    return out;
}

void AsmHost::asm_queue_root_stub(const AsmSymbol &function)
{
    push_pending_stub(static_cast<symbol *>(function.handle));
}

std::optional<std::string> AsmHost::asm_macro_text(const std::string &name)
{
    const macroinfo *m = find_macro_value(name);
    if (!m || m->function_like)
        return std::nullopt;
    return m->text;
}

std::optional<int> AsmHost::asm_struct_tag(const std::string &name)
{
    if (name.empty() || name.size() > kMaxIdentifier)
        return std::nullopt;
    for (SymbolTableId table : {kLocalTable, kGlobalTable}) {
        if (symbol *s = find_symbol(name.c_str(), false, table); s && is_tag_type(s->type))
            return s->type;
    }
    int32_t tag = find_tag(name.c_str());
    if (tag >= 0 && is_tag_type(tag))
        return tag;
    return std::nullopt;
}

std::optional<int32_t> AsmHost::asm_struct_member(int tag, const std::string &name)
{
    int32_t cursor = -1;
    while (symbol *m = next_tag_member(tag, cursor)) {
        if (!m->name)
            continue;
        std::string member = m->name;
        // members may be stored in their scope-unique form: the name, "_" and two letters
        if (member == name || (member.size() == name.size() + 3 && member.compare(0, name.size(), name) == 0 &&
                               member[name.size()] == '_'))
            return m->value;
    }
    return std::nullopt;
}

int32_t AsmHost::asm_struct_size(int tag)
{
    int32_t size = tag_size(tag);
    return size < 0 ? 0 : size;
}

bool AsmHost::asm_generated_line() { return generated_line_active(); }

// ---- the standalone host ---------------------------------------------------------------------------

std::optional<AsmSymbol> AsmImageHost::asm_symbol(const std::string &name, bool local)
{
    return use_compiler_tables ? AsmHost::asm_symbol(name, local) : std::nullopt;
}

void AsmImageHost::asm_queue_root_stub(const AsmSymbol &function)
{
    if (use_compiler_tables)
        AsmHost::asm_queue_root_stub(function);
}

std::optional<std::string> AsmImageHost::asm_macro_text(const std::string &name)
{
    return use_compiler_tables ? AsmHost::asm_macro_text(name) : std::nullopt;
}

std::optional<int> AsmImageHost::asm_struct_tag(const std::string &name)
{
    return use_compiler_tables ? AsmHost::asm_struct_tag(name) : std::nullopt;
}

std::optional<int32_t> AsmImageHost::asm_struct_member(int tag, const std::string &name)
{
    return use_compiler_tables ? AsmHost::asm_struct_member(tag, name) : std::nullopt;
}

int32_t AsmImageHost::asm_struct_size(int tag)
{
    return use_compiler_tables ? AsmHost::asm_struct_size(tag) : 0;
}

void AsmImageHost::asm_error(int l, int column, const std::string &text)
{
    messages.push_back({true, l, column, text});
}

void AsmImageHost::asm_warning(int, int l, int column, const std::string &text)
{
    messages.push_back({false, l, column, text});
}

namespace {
// The image's next address: the logical part wraps within its 64 KB, the page stays.
uint32_t image_next(uint32_t address)
{
    return (address & 0xFFFF0000u) | ((address + 1) & 0xFFFF);
}
}  // namespace

void AsmImageHost::asm_emit_byte(uint8_t b)
{
    image[address] = b;
    address = image_next(address);
}

std::optional<uint32_t> AsmImageHost::asm_lookup(const std::string &name)
{
    auto it = labels.find(name);
    if (it == labels.end())
        return std::nullopt;
    return it->second;
}

uint32_t AsmImageHost::asm_reference(const std::string &name, uint32_t at, uint16_t flags, uint8_t,
                                     int32_t addend, const LcallFixup *)
{
    fixups.push_back({name, at, flags, addend, line});
    return 0;
}

bool AsmImageHost::asm_define(const std::string &name, uint32_t value, bool, bool)
{
    if (labels.count(name))
        return false;
    labels[name] = value;
    for (size_t i = 0; i < fixups.size();) {
        Fixup f = fixups[i];
        if (f.name != name) { ++i; continue; }
        fixups.erase(fixups.begin() + static_cast<long>(i));
        int64_t v = static_cast<int64_t>(value) + f.addend;
        if ((f.flags & kAsmFlagRelByte) && !(f.flags & kAsmFlagWord)) {
            int32_t d = static_cast<int16_t>(static_cast<uint16_t>((value & 0xFFFF) + f.addend - f.address - 1));
            if (d < -128 || d > 127)
                messages.push_back({true, f.line, 1, summary_of(kMsgJumpRange)});
            else
                image[f.address] = static_cast<uint8_t>(d & 0xFF);
        } else if ((f.flags & kAsmFlagByte) && !(f.flags & kAsmFlagWord)) {
            uint32_t b = static_cast<uint32_t>((value & 0xFFFF) + f.addend) & 0xFFFF;
            if (b > 255)
                messages.push_back({true, f.line, 1, "8 bit value out of range."});
            else
                image[f.address] = static_cast<uint8_t>(b);
        } else {
            const uint32_t second = image_next(f.address);
            image[f.address] = static_cast<uint8_t>(v & 0xFF);
            image[second] = static_cast<uint8_t>((v >> 8) & 0xFF);
            if ((f.flags & kAsmFlagLong) == kAsmFlagLong)
                image[image_next(second)] = static_cast<uint8_t>((value >> 16) & 0xFF);
        }
    }
    return true;
}

void AsmImageHost::finish()
{
    for (const Fixup &f : fixups) {
        char buf[128];
        std::snprintf(buf, sizeof buf, "Undefined (but used) local symbol %s", f.name.c_str());
        messages.push_back({true, f.line, 1, buf});
    }
    fixups.clear();
}

int AsmImageHost::error_count() const
{
    int n = 0;
    for (const Message &m : messages) n += m.error ? 1 : 0;
    return n;
}

std::vector<uint8_t> AsmImageHost::bytes(uint32_t from, uint32_t to) const
{
    // Emitting wraps at the end of the logical space, so `to` may lie below `from`.
    std::vector<uint8_t> out;
    for (uint32_t a = from; a != to && out.size() < 0x10000; a = image_next(a)) {
        auto it = image.find(a);
        out.push_back(it == image.end() ? 0 : it->second);
    }
    return out;
}
