// CC_HIER: the one-pass expression parser (see CC_HIER.h). Read from the bottom up: characters,
// numbers and character constants, string literals and the literal pool, the look-ahead bundle,
// the primaries, the node operations and type spellings, the unary and postfix levels with
// "sizeof", the binary levels, the conditional, the assignment frame, the entries and the
// constant expressions.
#include "CC_HIER.h"
#include "CC_PARSE.h"

#include "CC_COSTATE.h"

#include "core/CC_ADDR.h"
#include "CC_ARGREV.h"
#include "codegen/CC_ASM.h"
#include "CC_CALL.h"
#include "codegen/CC_CONV.h"
#include "CC_DECL.h"
#include "CC_DECLR.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_GLINE.h"
#include "driver/CC_GO.h"
#include "CC_IEXPR.h"
#include "input/CC_IN.h"
#include "CC_LABELS.h"
#include "linker/CC_RELOC.h"
#include "CC_SIZEOF.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"
#include "codegen/CC_Z80.h"
#include "codegen/CC_Z80BLT.h"
#include "codegen/CC_Z80CALL.h"
#include "codegen/CC_Z80EX.h"
#include "codegen/CC_Z80GEN.h"
#include "codegen/CC_Z80LOAD.h"
#include "codegen/CC_Z80PIO.h"
#include "codegen/CC_Z80START.h"
#include "codegen/CC_Z80UN.h"
#include "CC_WEB.h"
#include "parser/cparser/CParserFrame.h"
#include "core/SEAM_CODEGEN.h"
#include "settings/guiKXPreferences.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <algorithm>
#include <exception>
#include <initializer_list>
#include <optional>
#include <vector>

namespace {

// ---- module state (reset at the start of every compile) ------------------------------------------

bool g_comparison_hint = false;
bool g_assignment_hint = false;
uint16_t g_nesting = 0;
bool g_last_was_assignment = false;
bool g_stack_reset_requested = false;
uint16_t g_stack_allowance = 0;
uint16_t g_last_constant_type = 0;
uint32_t g_last_constant_value = 0;
// Set while a comparison that is not the top one of the condition is compiled.
bool g_inner_comparison = false;
// Parentheses open in the primary level: the descent costs host stack per level, so a text
// nested deeper than this is refused instead of exhausting it.
int g_paren_depth = 0;
constexpr int kMaxParenDepth = 100;
// Set when a nesting past that bound was refused, until the next expression starts.
bool g_nesting_refused = false;
int16_t g_condition_inversion = 0;
uint16_t g_auto_references = 0;
bool g_auto_blocked = false;
uint8_t g_expression_flag = 0;

// The text of the number being read: every character `scan_number` consumes.
std::string g_number_text;
// The last string literal read.
std::string g_current_literal;

// A literal as its nodes see it: its own text, its label and its one dimension (length plus
// one). Nodes point into these records, which live until the next compile starts: a literal read
// later never changes a node made earlier.
struct LiteralRecord {
    std::string text;
    std::string label;
    uint16_t dimension = 0;
};
std::deque<LiteralRecord> g_literal_records;

// ---- reading the input ------------------------------------------------------------------------------

char at() { return *input_pointer(); }

// Consumes the character under the input pointer, noting it for bracket matching.
void consume()
{
    note_bracket(at(), current_line(), current_column());
    advance_input(1);
}

// Consumes a character of a number and appends it to the number text.
void take_number_char()
{
    g_number_text += at();
    consume();
}

bool is_decimal_digit(char c) { return c >= '0' && c <= '9'; }

// While literal text is read, brackets inside it are not noted.
class InLiteral {
public:
    InLiteral() { set_bracket_suppression(true); }
    ~InLiteral() { set_bracket_suppression(false); }
    InLiteral(const InLiteral &) = delete;
    InLiteral &operator=(const InLiteral &) = delete;
};

void set_constant(object *node, uint16_t type, uint32_t value)
{
    set_object(node, 0, type, 0, nullptr, value, nullptr, 0, true, false);
}

void set_float_constant(object *node, float f)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    set_constant(node, 7, bits);
}

// ---- escapes --------------------------------------------------------------------------------------

// The letters after a backslash that have an entry; "x" has none (a hexadecimal escape), "u"
// stands for "x".
struct Escape {
    char letter;
    char byte;
};
constexpr Escape kEscapes[] = {
    {'a', 0x07}, {'b', 0x08}, {'c', 'c'}, {'d', 'd'}, {'e', 'e'}, {'f', 0x0C}, {'g', 'g'},
    {'h', 'h'},  {'i', 'i'},  {'j', 'j'}, {'k', 'k'}, {'l', 'l'}, {'m', 'm'}, {'n', 0x0A},
    {'o', 'o'},  {'p', 'p'},  {'q', 'q'}, {'r', 0x0D}, {'s', 's'}, {'t', 0x09}, {'u', 'x'},
    {'v', 0x0B}, {'w', 'w'},  {'y', 'y'}, {'z', 'z'},
};

bool is_hex_digit(char c) { return is_decimal_digit(c) || (to_upper_char(c) >= 'A' && to_upper_char(c) <= 'F'); }

// "\" digit {digit}: the first digit and up to three more, 8 bits kept; 8 and 9 report 454.
char octal_escape()
{
    uint8_t value = 0;
    for (int digits = 0; digits < 4 && is_decimal_digit(at()); ++digits) {
        const int digit = at() - '0';
        if (digit > 7)
            error_here(msg(kMsgExprNotOctal));
        consume();
        value = static_cast<uint8_t>((value << 3) + digit);
    }
    return static_cast<char>(value);
}

// "\x" (or "\X") with one or two hexadecimal digits.
char hex_escape()
{
    if (!is_hex_digit(at())) {
        error_here(msg(kMsgExprBadHex));
        return 0;
    }
    uint8_t value = 0;
    for (int digits = 0; digits < 2 && is_hex_digit(at()); ++digits) {
        value = static_cast<uint8_t>((value << 4) + digit_value(at()));
        consume();
    }
    return static_cast<char>(value);
}

// "\B" and every binary digit after it, 8 bits kept.
char binary_escape()
{
    if (at() != '0' && at() != '1') {
        error_here(msg(kMsgExprBadBinary));
        return 0;
    }
    uint8_t value = 0;
    while (at() == '0' || at() == '1') {
        value = static_cast<uint8_t>((value << 1) + (at() - '0'));
        consume();
    }
    return static_cast<char>(value);
}

// ---- numbers --------------------------------------------------------------------------------------

// exponent = "E" [ ( "+" | "-" | digit ) digits ]
void scan_exponent()
{
    take_number_char();  // "E"
    if (at() == '+' || at() == '-' || is_decimal_digit(at())) {
        take_number_char();
        scan_digits();
    }
}

// fraction = "." digits [ exponent ]
void scan_fraction()
{
    take_number_char();  // "."
    if (to_upper_char(scan_digits()) == 'E')
        scan_exponent();
}

// The number text as a float constant. Above 3e+38 it is out of range (453) and becomes 0.
void finish_floating_number(object *node)
{
    double value = 0.0;
    const char *first = g_number_text.data();
    const char *last = first + g_number_text.size();
    const auto [end, ec] = std::from_chars(first, last, value);
    (void)end;
    if (ec == std::errc::result_out_of_range)
        value = g_number_text.find('-') == std::string::npos ? HUGE_VAL : 0.0;
    else if (ec != std::errc())
        value = 0.0;
    if (value > 3e+38) {
        error_here(msg(kMsgExprFloatRange));
        value = 0.0;
    }
    set_float_constant(node, static_cast<float>(value));
}

// The type of an integer number without a suffix: int below 0x8000; a decimal number, or any
// number above 0xFFFF, long below 0x80000000 and unsigned long from there; an octal or
// hexadecimal number from 0x8000 to 0xFFFF unsigned int.
uint16_t plain_integer_type(uint32_t value, int base)
{
    if (value < 0x8000)
        return 2;
    if (base == 10 || value > 0xFFFF)
        return value < 0x80000000u ? 4 : 5;
    return 3;
}

}  // namespace

// ---- characters -------------------------------------------------------------------------------------

char to_upper_char(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool is_number_digit(char c)
{
    const char u = to_upper_char(c);
    return is_decimal_digit(c) || (u >= 'A' && u <= 'F');
}

int digit_value(char c) { return is_decimal_digit(c) ? c - '0' : to_upper_char(c) - 55; }

// ---- numbers and character constants ---------------------------------------------------------------

char scan_digits()
{
    while (is_decimal_digit(at()))
        take_number_char();
    return at();
}

int scan_number(object *node)
{
    g_number_text.clear();
    if (at() == '.') {
        scan_fraction();
        finish_floating_number(node);
        return 1;
    }
    if (!is_decimal_digit(at()))
        return 0;

    int base = 10;
    if (at() == '0') {
        base = 8;
        take_number_char();
        if (to_upper_char(at()) == 'X') {
            base = 16;
            take_number_char();
        }
    }
    // Overflow wraps: the value is kept in 32 bits.
    uint32_t value = 0;
    while (is_number_digit(at())) {
        const int digit = digit_value(at());
        if (digit > 9 && base != 16)
            break;
        if (base == 8 && digit > 7) {
            error_here(msg(kMsgExprNotOctal));
            // The rest of the bad number goes with it, so that it is not read as another token.
            while (is_decimal_digit(at()))
                consume();
            break;
        }
        take_number_char();
        value = base == 10 ? value * 10 + static_cast<uint32_t>(digit)
                           : (value << (base == 8 ? 3 : 4)) + static_cast<uint32_t>(digit);
    }

    switch (to_upper_char(at())) {
    case 'F':
        consume();
        set_float_constant(node, static_cast<float>(value));
        return 1;
    case 'L': {
        consume();
        uint16_t type = 4;
        if (to_upper_char(at()) == 'U') {
            consume();
            type = 5;
        } else if (value >= 0x80000000u) {
            type = 5;
        }
        set_constant(node, type, value);
        return 1;
    }
    case 'U': {
        consume();
        uint16_t type = 3;
        if (to_upper_char(at()) == 'L') {
            consume();
            type = 5;
        } else if (value > 0xFFFF) {
            type = 5;
        }
        set_constant(node, type, value);
        return 1;
    }
    case '.':
        scan_fraction();
        finish_floating_number(node);
        return 1;
    case 'E':
        scan_exponent();
        finish_floating_number(node);
        return 1;
    default:
        set_constant(node, plain_integer_type(value, base), value);
        return 1;
    }
}

char parse_char_escape()
{
    const char c = at();
    if (c == '\0')
        return 0;
    consume();
    if (c != '\\')
        return c;
    const char e = at();
    if (e == '\0')  // a backslash that ends the text stands for itself
        return c;
    for (const Escape &entry : kEscapes)
        if (entry.letter == e) {
            consume();
            return entry.byte;
        }
    if (is_decimal_digit(e))
        return octal_escape();
    consume();
    if (e == 'x' || e == 'X')
        return hex_escape();
    if (e == 'B')
        return binary_escape();
    return e;
}

int scan_char_constant(object *node)
{
    while (is_blank_char(at()))
        advance_input(1);
    if (at() != '\'')
        return 0;
    consume();
    char c = 0;
    {
        InLiteral literal;
        c = parse_char_escape();
    }
    set_constant(node, 1, static_cast<uint8_t>(c));
    if (at() == '\'')
        consume();
    else
        report_missing_char('\'');
    return 1;
}

int scan_number_or_char(object *node) { return scan_number(node) || scan_char_constant(node) ? 1 : 0; }

// ---- string literals and the literal pool ------------------------------------------------------------

std::size_t read_literal_text(std::string &out, std::size_t size, char delimiter)
{
    InLiteral literal;
    out.clear();
    const auto at_end = [delimiter] {
        return at() == '\0' || (delimiter ? at() == delimiter : is_blank_char(at()));
    };
    const std::size_t room = size ? size - 1 : 0;
    bool cut = false;
    while (!at_end()) {
        const char c = parse_char_escape();
        if (out.size() < room)
            out += c;
        else
            cut = true;  // read and dropped
    }
    if (cut)
        serious_warning_here(msg(kMsgExprLiteralCut));
    if (delimiter && at() == delimiter)
        consume();
    return out.size();
}

const std::string &current_literal() { return g_current_literal; }

uint16_t literal_length(const object *node)
{
    if (node->sym != placeholder_symbol() || !node->literal || !node->dims || node->dim_count < 1)
        return 0;
    return static_cast<uint16_t>(node->dims[0] - 1);
}

uint16_t parse_string_literal(object *node, bool pool)
{
    while (is_blank_char(at()))
        advance_input(1);
    if (at() != '"')
        return 0;
    consume();
    read_literal_text(g_current_literal, kMaxLiteralLength + 1, '"');

    LiteralRecord &record = g_literal_records.emplace_back();
    record.text = g_current_literal;
    record.dimension = static_cast<uint16_t>(record.text.size() + 1);
    symbol *placeholder = placeholder_symbol();

    if (!pool) {
        record.label = make_unique_label("__STR");
        (void)add_symbol(record.label.c_str(), kDeclArray, 11, 0, 11, nullptr, 0);
        set_object(node, 0, 1, kDeclArray, placeholder, 0, &record.dimension, 1, false, false);
    } else {
        lit_map_entry *entry = nullptr;
        if (IdePreferences().string_literal_optimization)
            entry = find_pooled_literal(record.text);
        const uint16_t mode = compile_mode_word();
        if (entry && mode != 0) {
            // The debugger's expressions add no labels: the copy is reached by its address.
            record.label = entry->label;
            set_object(node, 0, 1, kDeclPointer, nullptr, entry->address, nullptr, 0, true, false);
            node->name = record.label.c_str();
            node->literal = record.text.data();
            return record.dimension;
        }
        if (entry) {
            record.label = entry->label;
        } else if (mode == 0 || mode == 2) {
            record.label = make_unique_label("__STR");
            (void)add_symbol(record.label.c_str(), kDeclPointer, 11, 0, 11, nullptr, 0);
            pool_literal(record.label, record.text);
        }
        // A pooled literal stays an array of its own dimension, written or not: "sizeof" and
        // subscripts see the same object wherever it lies.
        set_object(node, 3, 1, kDeclArray, placeholder, 0, &record.dimension, 1, false, false);
    }
    node->name = record.label.c_str();
    node->literal = record.text.data();
    return record.dimension;
}

// ---- the look-ahead bundle ---------------------------------------------------------------------------

StringParserBlackBox::StringParserBlackBox()
    : m_set(std::make_unique<CParserSet>()), m_previous(setCurrentParserSet(m_set.get()))
{
}

StringParserBlackBox::~StringParserBlackBox()
{
    // The set's nodes (and the tree handed out) go with it.
    setCurrentParserSet(m_previous);
}

AST *StringParserBlackBox::parse(const char *text) { return parseExpressionTree(text); }

bool is_comparison_tree(const AST *tree)
{
    if (!tree)
        return false;
    const int token = tree->token_type();
    return token >= ctok::EQUAL && token <= ctok::GREATERTHANOREQUALTO;
}

// ---- the look-ahead tree in the levels ----------------------------------------------------------------

namespace {

// A level steps down over the tree nodes of its own operators, so that its first operand gets the
// leftmost subtree and the right operand of each operator, in the order of the text, the subtree
// beside the left one of that operator. Each node stepped over hands its mark down.
class LevelTree {
public:
    LevelTree(AST *tree, std::initializer_list<int> tokens)
    {
        while (tree && is_one_of(tree->token_type(), tokens)) {
            m_steps.push_back(tree);
            AST *down = tree->first_child();
            if (down)
                down->mark = tree->mark;
            tree = down;
        }
        m_first = tree;
        m_next = m_steps.size();
    }
    AST *first() const { return m_first; }
    // The operator node whose right operand `next_right` handed out last.
    AST *last_operator() const { return m_next < m_steps.size() ? m_steps[m_next] : nullptr; }
    AST *next_right()
    {
        if (m_next == 0)
            return nullptr;
        AST *left = m_steps[--m_next]->first_child();
        AST *right = left ? left->right_sibling() : nullptr;
        if (right)
            right->mark = m_steps[m_next]->mark;
        return right;
    }

private:
    static bool is_one_of(int token, std::initializer_list<int> tokens)
    {
        for (int t : tokens)
            if (t == token)
                return true;
        return false;
    }
    std::vector<AST *> m_steps;
    AST *m_first = nullptr;
    std::size_t m_next = 0;
};

// ---- small helpers of the levels ----------------------------------------------------------------------

object *fresh_node() { return gObjectPool.new_object(); }
uint32_t code_here() { return current_code_cache().current; }

// Before each operator test: a blank or control character under the pointer is skipped, across
// lines unless the expression may not cross them.
void skip_white()
{
    if (static_cast<unsigned char>(at()) < '!')
        skip_blanks_across_lines();
}

// Nothing is left of the node's value but a harmless constant.
void make_int_zero(object *node) { set_constant(node, 2, 0); }
void make_unsigned_zero(object *node) { set_constant(node, 3, 0); }

// A constant becomes the int 1 when it is true, else 0.
void make_truth_constant(object *node)
{
    const bool truth = !obj_const_equals(node, 0.0);
    set_constant(node, 2, truth ? 1 : 0);
}

// A structure or union itself (a const one too: the const flag is no declarator level).
bool is_struct_value(const object *node)
{
    return decl_level(node->declarator, 0) == kDeclNone && node->type >= 16;
}

// Consumes a bracketed group: from the opener under the pointer (or, with `depth` 1, from just
// behind an opener already consumed) to its closer, across lines where the expression may cross
// them. A group in parentheses or square brackets ends at a ";" too: no expression holds one.
void skip_group(char open, char close, int depth = 0)
{
    do {
        skip_white();
        const char c = at();
        if (c == '\0' || (c == ';' && open != '{'))
            return;
        consume();
        if (c == open)
            ++depth;
        else if (c == close)
            --depth;
    } while (depth > 0);
}


// ---- the stack check at the end of an outermost expression ----------------------------------------------

// The temporary and automatic stack counted from nothing again: from what every expression of
// the statement has below it.
void restart_stack_tracking()
{
    g_stack_reset_requested = false;
    set_stack_offset(static_cast<int16_t>(-g_stack_allowance));
    set_pending_stack_adjustments(0, value_model_obj_host().pending_adjust_2());
}

void check_expression_stack(const object *node)
{
    if (g_stack_reset_requested) {
        restart_stack_tracking();
        return;
    }
    int expected = g_stack_allowance;
    if (node->kind == 254 && is_struct_value(node))
        expected += type_size(node->type);
    const int tracked = stack_offset();
    if (expected != (tracked < 0 ? -tracked : tracked)) {
        set_stack_offset(static_cast<int16_t>(-expected));
        error_here(msg(kMsgExprTemporaryStack));
    }
    const int16_t automatic = value_model_obj_host().pending_adjust_1();
    if (automatic < 0) {
        set_pending_stack_adjustments(0, value_model_obj_host().pending_adjust_2());
        error_here(msg(kMsgExprAutomaticStack));
    }
}

// One assignment level open: counted while it runs. When an exception leaves the outermost one,
// the stack tracking starts afresh.
class NestingLevel {
public:
    NestingLevel() : m_exceptions(std::uncaught_exceptions()) { ++g_nesting; }
    ~NestingLevel()
    {
        --g_nesting;
        if (std::uncaught_exceptions() > m_exceptions && g_nesting == 0)
            restart_stack_tracking();
    }
    NestingLevel(const NestingLevel &) = delete;
    NestingLevel &operator=(const NestingLevel &) = delete;

private:
    int m_exceptions;
};

// The first of the operator texts that stands at the input pointer, consumed; nullptr when none.
const char *match_operator(std::initializer_list<const char *> texts)
{
    for (const char *text : texts)
        if (match_text(text))
            return text;
    return nullptr;
}

bool is_commutative_operator(const char *op)
{
    return op[0] == '&' || op[0] == '*' || op[0] == '+' || op[0] == '^' || op[0] == '|';
}

// The const flag of every declarator level (bit 2 of each group).
constexpr uint32_t kConstFlags = 0x44444444u;

}  // namespace

// ---- primaries ----------------------------------------------------------------------------------------

bool is_builtin_call(const char *name)
{
    while (is_blank_char(at()))
        advance_input(1);
    const LexerPlace start = lexer_place();
    if (match_text(name)) {
        while (is_blank_char(at()))
            advance_input(1);
        if (at() == '(' && !find_symbol(name, false, kLocalTable)) {
            const symbol *entry = find_symbol(name, false, kGlobalTable);
            if (entry && decl_level(entry->declarator, 0) == kDeclFunction &&
                entry->address[0] == kDummyAddress)
                return true;
        }
    }
    restore_lexer_place(start);
    return false;
}

int builtin_function_code()
{
    enum Condition { kAlways, kInlineIo, kIpset };
    struct Builtin {
        const char *name;
        int code;
        Condition condition;
    };
    static constexpr Builtin kBuiltins[] = {
        {"CofuncMaxInstance", 1, kAlways}, {"BIT", 4, kAlways},      {"bit", 4, kAlways},
        {"SET", 5, kAlways},               {"set", 5, kAlways},      {"RES", 6, kAlways},
        {"res", 6, kAlways},               {"WrPortI", 32, kInlineIo}, {"RdPortI", 33, kInlineIo},
        {"BitRdPortI", 34, kInlineIo},     {"BitWrPortI", 35, kInlineIo},
        {"ipset", 17, kIpset},             {"ipres", 18, kIpset},
    };
    for (const Builtin &b : kBuiltins) {
        if (b.condition == kInlineIo && compiler_options().inline_io == 0)
            continue;
        if (b.condition == kIpset && cpu_flag() != 1)
            continue;
        if (is_builtin_call(b.name))
            return b.code;
    }
    return 0;
}

void error_recovery()
{
    for (;;) {
        const char c = at();
        if (c == '\0' || std::strchr(";,)]}", c))
            return;
        if (is_identifier_char(static_cast<unsigned char>(c))) {
            while (is_identifier_char(static_cast<unsigned char>(at())))
                consume();
        } else {
            consume();
        }
    }
}

object *name_primary(object *node, const char *name)
{
    symbol *entry = find_symbol(name, false, kLocalTable);
    if (entry && entry->kind == 2 && g_auto_references == 0)
        g_auto_references = 1;
    if (!entry)
        entry = find_symbol(name, false, kGlobalTable);
    if (!entry) {
        skip_white();
        if (at() != '(') {
            error_here(msg(kMsgExprNotDeclared), name);
            make_unsigned_zero(node);
            return node;
        }
        entry = add_symbol(name, kDeclFunction, 2, 0, 1, nullptr, 0);
    }
    entry->flags[0] |= 0x02;  // referenced

    uint8_t kind = entry->kind;
    uint32_t offset = 0;
    switch (entry->kind) {
    case 1:
    case 252:
        break;
    case 254:  // a static function or variable: stored by name as any global
        kind = 1;
        break;
    case 2:
        if (g_auto_blocked) {
            error_here(msg(kMsgExprAutoNotAllowed));
            make_unsigned_zero(node);
            return node;
        }
        offset = static_cast<uint32_t>(static_cast<int32_t>(entry->value));
        break;
    case 3:
    case 4:
    case 5:
        kind = 3;
        break;
    case 8:
    case 9:  // enumeration constants
        set_constant(node, 2, static_cast<uint32_t>(static_cast<int32_t>(entry->value)));
        return node;
    default:
        error_here(msg(kMsgExprNotAName));
        make_unsigned_zero(node);
        return node;
    }
    const uint32_t first = decl_level(entry->declarator, 0);
    set_object(node, kind, static_cast<uint16_t>(entry->type), entry->declarator, entry, offset,
               entry->dims, entry->dim_count, first == kDeclNone || first == kDeclPointer, false);
    node->flags[1] = static_cast<uint8_t>((node->flags[1] & ~0x40) | ((entry->flags[1] & 0x20) << 1));
    obj_take_io_space(node, entry);
    return node;
}

object *parse_primary(object *node, uint16_t already_open, AST *tree)
{
    LevelTree t(tree, {ctok::IDENTIFIER, ctok::STRING, ctok::OCTALINT, ctok::DECIMALINT,
                       ctok::HEXADECIMALINT, ctok::CHARACTER, ctok::FLOATONE, ctok::FLOATTWO});
    skip_white();
    if (already_open || at() == '(') {
        if (!already_open)
            consume();
        if (g_paren_depth >= kMaxParenDepth) {
            if (!g_nesting_refused)
                error_here(msg(kMsgExprTooDeep), kMaxParenDepth);
            g_nesting_refused = true;
            make_int_zero(node);
            skip_group('(', ')', 1);  // the rest of the group whose "(" was consumed
            return node;
        }
        ++g_paren_depth;
        struct Depth {
            ~Depth() { --g_paren_depth; }
        } depth;
        const std::size_t brackets = bracket_depth();
        const int reports = errors_seen();
        parse_comma_level(node, 1, t.first());
        skip_white();
        if (at() == ')') {
            consume();
            return node;
        }
        // The parse goes on as if the ")" were there; an expression that already reported
        // what is wrong inside gets no second report for it.
        if (errors_seen() == reports)
            report_missing_char(')');
        if (bracket_depth() == brackets)
            note_bracket(')', current_line(), current_column());
        return node;
    }
    if (const int code = builtin_function_code()) {
        node->builtin_id = static_cast<uint8_t>(code);
        return node;
    }
    char name[kMaxIdentifier + 1];
    if (scan_identifier(name, false, false))
        return name_primary(node, name);
    if (scan_number_or_char(node))
        return node;
    if (parse_string_literal(node, g_expression_flag == 0))
        return node;
    error_here(msg(kMsgExprInvalid));
    make_int_zero(node);
    error_recovery();
    return node;
}

// ---- built-in calls -------------------------------------------------------------------------------------

namespace {

// The bit and port built-ins: the prototype their arguments are checked against, how many they
// take and the type of their value.
struct BuiltinShape {
    int code;
    const char *prototype;
    int arguments;
    uint16_t result_type;
};
constexpr BuiltinShape kBuiltinShapes[] = {
    {4, "bit", 2, 3},
    {5, "set", 2, 12},
    {6, "res", 2, 12},
    {kBuiltinWrPortI, "WrPortI", 3, 12},
    {kBuiltinRdPortI, "RdPortI", 1, 2},
    {kBuiltinBitRdPortI, "BitRdPortI", 2, 2},
    {kBuiltinBitWrPortI, "BitWrPortI", 4, 12},
};

const BuiltinShape *builtin_shape(int code)
{
    for (const BuiltinShape &shape : kBuiltinShapes)
        if (shape.code == code)
            return &shape;
    return nullptr;
}

// "CofuncMaxInstance(name)": the instance count of a cofunction as an int constant. Anything
// else is reported and the expression goes on with a value of no type.
void compile_cofunction_max_instance(object *node)
{
    skip_white();
    bool open = false;
    if (match_text("(")) {
        open = true;
        skip_white();
        char name[kMaxIdentifier + 1];
        if (scan_identifier(name, false, false) && find_symbol(name, false, kGlobalTable)) {
            const uint32_t instances = cofunction_count(function_flag_word(name));
            skip_white();
            if (instances != 0 && match_text(")")) {
                set_constant(node, 2, instances);
                return;
            }
        }
    }
    error_here("%s", msg(kMsgExprCofuncMaxInstance));
    error_recovery();
    if (open && at() == ')')
        consume();
    // The expression goes on with a harmless int: no register holds a value for it.
    make_int_zero(node);
}

// The ")" of a built-in's list; a missing one is reported and taken as read.
void close_builtin_list()
{
    skip_white();
    if (at() == ')') {
        consume();
        return;
    }
    report_missing_char(')');
    note_bracket(')', current_line(), current_column());
}

}  // namespace

bool check_builtin_arguments(object *node, int code)
{
    const BuiltinShape *shape = builtin_shape(code);
    if (!shape)
        return false;
    bool counted = false;
    const int saved_count = reversed_argument_count();
    skip_white();
    if (!match_text("(")) {
        report_missing_char('(');
        return false;
    }
    {
        ReverseFunctionArguments reversed;
        symbol *own = node->sym;
        // The libraries may declare the bit functions in their upper-case spelling only.
        symbol *prototype = find_symbol(shape->prototype, false, kGlobalTable);
        if (!prototype && code <= 6) {
            std::string upper = shape->prototype;
            for (char &ch : upper)
                ch = to_upper_char(ch);
            prototype = find_symbol(upper.c_str(), false, kGlobalTable);
        }
        if (prototype)
            node->sym = prototype;
        if (IdePreferences().function_prototypes) {
            if (!node->sym)
                error_here(msg(kMsgExprBuiltinPrototype), "unknown");
            else if (function_prototype(node->sym->name).empty())
                error_here(msg(kMsgExprBuiltinPrototype), node->sym->name);
        }
        object callee = *node;
        callee.kind = 1;
        callee.declarator = kDeclFunction;
        const std::vector<PrototypeEntry> parameters = checked_prototype(&callee, false);
        object *argument = fresh_node();
        uint16_t bytes = 0;
        // The arguments report what is wrong with them when they are compiled for real.
        const bool was_reporting = reporting();
        set_reporting(false);
        (void)push_argument_list(parameters, &callee, argument, bytes, false);
        set_reporting(was_reporting);
        node->sym = own;
        counted = reversed_argument_count() == shape->arguments;
        if (!counted)
            error_here("%s", msg(kMsgExprBuiltinArguments));
    }
    set_reversed_argument_count(saved_count);
    return counted;
}

bool compile_builtin_call(object *node)
{
    const int code = node->builtin_id;
    node->builtin_id = 0;
    const int saved_count = reversed_argument_count();
    skip_white();
    if (code == 1) {
        compile_cofunction_max_instance(node);
        set_reversed_argument_count(saved_count);
        return true;
    }
    if (at() != '(')
        return false;
    if (code == 17) {
        consume();
        const uint16_t level = parse_constant_expression();
        close_builtin_list();
        gen_ipset(static_cast<int16_t>(level));
    } else if (code == 18) {
        consume();
        skip_white();
        close_builtin_list();
        gen_ipres();
    } else if (const BuiltinShape *shape = builtin_shape(code)) {
        flush_pending_value();
        // The list is read once and kept: the checking pass and the expansion read the same
        // characters, over as many lines as it spans.
        ArgumentListCopy list;
        const uint32_t start = code_here();
        bool emitted = false, counted = false;
        {
            const LiteralPool pooled = literal_pool();
            DiscardedCode discarded;
            set_asm_dry_run_depth(asm_dry_run_depth() + 1);
            counted = check_builtin_arguments(node, code);
            set_asm_dry_run_depth(asm_dry_run_depth() - 1);
            emitted = code_here() != start;
            restore_literal_pool(pooled);
        }
        if (emitted)
            error_here("%s", msg(kMsgExprBuiltinCode));
        // An expansion of the wrong number of arguments would only add reports of its own: the
        // list is left as read.
        list.rewind();
        if (!counted) {
        } else if (code <= 6) {
            gen_bit_builtin(code == 4 ? kBitTest : code == 5 ? kBitSet : kBitReset, kBitMemory);
        } else {
            gen_io_builtin_call(code);
        }
        obj_set(node, 255, shape->result_type, 0, false);
        node->sym = nullptr;
    } else {
        return false;
    }
    if (code == 17 || code == 18) {
        obj_set(node, 255, 12, 0, false);
        node->sym = nullptr;
    }
    set_reversed_argument_count(saved_count);
    return true;
}

// ---- node operations shared by the levels --------------------------------------------------------------

namespace {

bool g_bare_increment = false;

constexpr uint8_t kValueNotNeeded = 0x10;  // flags[1]
constexpr uint8_t kAddressKept = 0x20;     // flags[1]
constexpr uint8_t kWritable = 0x40;        // flags[1]

bool has_lvalue_flag(const object *node) { return (node->flags[0] & 0x01) != 0; }

// The lvalue flag and the lvalue byte beside it.
void set_lvalue(object *node, bool on)
{
    node->flags[0] = static_cast<uint8_t>(on ? node->flags[0] | 0x01 : node->flags[0] & ~0x01);
    node->flags[3] = on ? 1 : 0;
}


uint32_t first_level(const object *node) { return decl_level(node->declarator, 0); }

// A level in front of the node's levels (the new first level).
void push_level(object *node, uint32_t level) { node->declarator = (node->declarator << 4) | level; }

}  // namespace

void set_writable(object *node) { node->flags[1] |= kWritable; }
bool is_writable(const object *node) { return (node->flags[1] & kWritable) != 0; }

void dereference_node(object *node)
{
    node->dereferenced = 1;
    uint32_t first = first_level(node);
    if (first != kDeclArray && first != kDeclPointer) {
        error_here(msg(kMsgExprNotAPointer));
        first = kDeclArray;
    }
    if (first == kDeclArray) {
        if (node->dim_count == 0 || !node->dims) {
            node->declarator >>= 4;
            set_lvalue(node, true);
            return;
        }
        ++node->dims;
        --node->dim_count;
    }
    if (node->kind == 0)
        gen_load_value(node);
    node->declarator >>= 4;
    set_lvalue(node, first_level(node) != kDeclArray);
}

int require_lvalue(const object *node)
{
    bool lvalue = false;
    switch (node->kind) {
    case 255:
        lvalue = has_lvalue_flag(node);
        break;
    case 1:
    case 2:
    case 3:
    case 4:
    case 252:
        lvalue = has_lvalue_flag(node) || (node->declarator == 0 && node->type < 16) ||
                 first_level(node) == kDeclPointer;
        break;
    default:
        // A constant carries the lvalue flag of a plain value, and a stacked value is no place.
        break;
    }
    if (lvalue)
        return 1;
    error_here(msg(kMsgExprNeedLvalue));
    return 0;
}

int is_directly_addressable(const object *node)
{
    switch (node->kind) {
    case 0:
    case 1:
    case 3:
    case 4:
    case 252:
        return 1;
    case 2:
    case 5:
        if (obj_short_offset(node) != 0)
            return 1;
        return obj_size(node, 1) == 2 && obj_stack_offset(node) + 2 < 256 ? 1 : 0;
    default:
        return 0;
    }
}

void add_int_constant(const char *op, object *node, int32_t value)
{
    object *constant = fresh_node();
    set_constant(constant, 2, static_cast<uint32_t>(value));
    gen_binary_operation(op, node, constant);
}

void add_char_constant(const char *op, object *node, int32_t value)
{
    object *constant = fresh_node();
    set_constant(constant, 1, static_cast<uint32_t>(value) & 0xFF);
    gen_binary_operation(op, node, constant);
}

int is_bare_increment()
{
    const char *p = input_pointer();
    while (is_blank_char(*p))
        ++p;
    if (!is_identifier_start(static_cast<unsigned char>(*p)))
        return 0;
    for (int n = 0; n < 31 && is_identifier_char(static_cast<unsigned char>(*p)); ++n) {
        if (char_class(static_cast<unsigned char>(*p)) & kClassLead)
            ++p;  // the second byte of a double-byte character
        if (*p)
            ++p;
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    if ((p[0] != '+' && p[0] != '-') || p[1] != p[0])
        return 0;
    p += 2;
    return *p == ')' || *p == ';' || *p == '\0' ? 1 : 0;
}

void set_bare_increment_hint(bool on) { g_bare_increment = on; }
bool bare_increment_hint() { return g_bare_increment; }

// ---- type spellings ------------------------------------------------------------------------------------

std::string format_type_name(uint16_t type, uint32_t declarator, const char *tag)
{
    static constexpr const char *kBaseNames[16] = {
        "null",   "char",   "int",     "unsigned int", "long",    "unsigned long",
        "type 6", "float",  "type 8",  "type 9",       "type 10", "label",
        "void",   "type 13", "type 14", "type 15",
    };
    std::string base = type < 16 ? kBaseNames[type] : "struct";
    std::string levels;
    uint32_t previous = kDeclNone;
    int level = 0;
    for (; level < 8; ++level) {
        const uint32_t group = declarator >> (4 * level);
        const uint32_t kind = group & 3;
        if (kind == kDeclNone)
            break;
        const bool constant = (group & 4) != 0;
        if (kind == kDeclArray)
            levels = "[]" + levels;
        else if (kind == kDeclPointer)
            levels = (constant ? "* const " : "*") + levels;
        else
            levels = "(" + levels + (previous == kDeclPointer ? ")()" : ")");
        previous = kind;
    }
    if (level < 8 && ((declarator >> (4 * level)) & 4))
        base = "const " + base;
    if (type >= 17 && tag)
        base += std::string(" ") + tag;
    return base + levels;
}

// ---- unary and postfix levels --------------------------------------------------------------------------

// Operators, casts and subscripts nest by recursion, each costing host stack: they count toward
// the same bound as open parentheses. A refused nesting makes the levels above it leave their
// operators unapplied, so one report stands for the whole text.
NestedOperand::NestedOperand() : m_entered(g_paren_depth < kMaxParenDepth)
{
    if (m_entered)
        ++g_paren_depth;
    else if (!g_nesting_refused)
        error_here(msg(kMsgExprTooDeep), kMaxParenDepth);
    if (!m_entered)
        g_nesting_refused = true;
}

NestedOperand::~NestedOperand()
{
    if (m_entered)
        --g_paren_depth;
}

bool nesting_refused() { return g_nesting_refused; }

namespace {

// The numbering of the index stubs of indexed cofunction accesses.
uint16_t g_cofunction_index = 0;

// The dimension list of a function's address: one element.
constexpr uint16_t kFunctionAddressDims[1] = {1};

}  // namespace

uint32_t cofunction_instances(const object *node)
{
    const uint32_t own = (static_cast<uint32_t>(node->flags[0]) >> 4) | ((node->flags[1] & 0x03u) << 4);
    if (own != 0 || !node->sym || node->sym == placeholder_symbol() || !node->sym->name ||
        first_level(node) != kDeclFunction)
        return own;
    // A function's declaration keeps the count in what the function-definition parser records.
    return cofunction_count(function_flag_word(node->sym->name));
}

void skip_operand()
{
    int depth = 0;
    for (;;) {
        skip_white();
        const char c = at();
        if (c == '\0' || c == ';')
            return;
        if (depth == 0 && (c == ',' || c == ')' || c == ']' || c == '}'))
            return;
        consume();
        if (c == '(' || c == '[')
            ++depth;
        else if (c == ')' || c == ']')
            --depth;
    }
}

void require_closing(char c)
{
    skip_white();
    if (at() == c) {
        consume();
        return;
    }
    report_missing_char(c);
    note_bracket(c, current_line(), current_column());
}

namespace {

// A program-wide declaration being read (a dimension holding a cast or "sizeof") keeps its
// declarator context through a type name read here.
class DeclaratorContextKept {
public:
    DeclaratorContextKept() : m_saved(save_declarator_context()) {}
    ~DeclaratorContextKept() { restore_declarator_context(m_saved); }
    DeclaratorContextKept(const DeclaratorContextKept &) = delete;
    DeclaratorContextKept &operator=(const DeclaratorContextKept &) = delete;

private:
    DeclaratorContext m_saved;
};

// While one lives, what the code generator tracks for the expression around an operand of
// "sizeof" (the pending value, the stack offset, the condition state, the HL contents) is put
// back as it was when it ends: the type evaluator emits nothing, but it clears the condition
// state at the start of its operand as any expression does.
class OuterExpressionKept {
public:
    OuterExpressionKept()
        : m_pending(pending_value()), m_keep(pending_keep_as_address()), m_stack(stack_offset()),
          m_result_in_registers(comparison_result_in_registers()),
          m_flags_set(comparison_flags_set())
    {
    }
    ~OuterExpressionKept()
    {
        set_stack_offset(m_stack);
        clear_pending_value();
        if (m_pending)
            set_pending_value(m_pending, m_keep);
        set_condition_state(m_result_in_registers, m_flags_set);
    }
    OuterExpressionKept(const OuterExpressionKept &) = delete;
    OuterExpressionKept &operator=(const OuterExpressionKept &) = delete;

private:
    object *m_pending;
    bool m_keep;
    int16_t m_stack;
    bool m_result_in_registers;
    bool m_flags_set;
};

// The operand of "sizeof" evaluated for its type alone (CC_SIZEOF): code emitted on the way is
// a fault of the evaluator, told as such.
template <typename Evaluate>
void evaluate_type_only(Evaluate evaluate)
{
    const uint32_t before = code_here();
    {
        OuterExpressionKept outer;
        evaluate();
    }
    if (code_here() != before)
        error_here("%s", "Internal Error: code emitted during sizeof.");
}

// A type name at the input pointer (a type specifier, else a typedef name): its type code,
// consumed; 0 and nothing consumed when none stands there.
int32_t read_type_name()
{
    skip_white();
    return parse_type_or_typedef();
}

// ---- prefix operators ----

// "*": the operand's value is the address of the result.
void apply_indirection(object *node)
{
    if (!check_not_void(node))
        return;
    if (has_lvalue_flag(node))
        gen_load_value(node);
    dereference_node(node);
    set_writable(node);
}

// "&": a static object's address is a constant (an array level in front); any other address is
// computed into HL (a pointer level in front). A function's address stays as it is.
void apply_address_of(object *node, bool was_lvalue)
{
    if (!check_not_void(node))
        return;
    const uint32_t first = first_level(node);
    if (!is_struct_value(node) && first != kDeclArray && first != kDeclFunction &&
        !require_lvalue(node)) {
        make_int_zero(node);
        return;
    }
    const bool function_address = first == kDeclArray &&
                                  decl_level(node->declarator, 1) == kDeclFunction;
    if (!function_address) {
        if (first == kDeclArray ||
            (node->sym && node->kind != 2 && node->kind != 254 && node->kind != 255)) {
            push_level(node, kDeclArray);
            node->address_of = 1;
        } else {
            gen_load_address_hl(node);
            set_obj_flag(node, addressInRegisters, false);
            push_level(node, kDeclPointer);
        }
    }
    node->flags[0] = static_cast<uint8_t>(node->flags[0] & ~0x01);
    node->flags[3] = was_lvalue ? 1 : 0;
}

// "+", "-", "~" and "!" on a compiled operand.
void apply_arithmetic_prefix(char c, object *node)
{
    if (!check_not_void(node))
        return;
    if (node->kind == 0) {
        switch (c) {
        case '!':
            set_constant(node, 2, obj_const_equals(node, 0.0) ? 1 : 0);
            break;
        case '-':
            if (node->type == 7) {
                float f;
                std::memcpy(&f, &node->value, sizeof f);
                f = -f;
                std::memcpy(&node->value, &f, sizeof f);
            } else {
                node->value = 0u - node->value;
            }
            break;
        case '~':
            node->value = ~node->value;
            break;
        default:  // "+"
            break;
        }
        return;
    }
    const uint16_t type = node->declarator != 0 ? uint16_t(12) : node->type;
    gen_load_value(node);
    if (type == 4 || type == 5 || type == 7) {
        switch (c) {
        case '!':
            if (type == 7)
                gen_logical_not_float();
            else
                gen_logical_not_long();
            node->type = 2;
            node->declarator = 0;
            break;
        case '-':
            if (type == 7)
                gen_negate_float();
            else
                gen_negate_long();
            break;
        case '~':
            if (type == 7)
                error_here(msg(kMsgCgIncompatible));
            else
                gen_complement_long();
            break;
        default:
            break;
        }
        return;
    }
    if (c == '+')
        return;
    if (type == 1)
        ConvertCCObject(node, 2, false, 0);
    if (c == '!') {
        gen_logical_not_int();
        node->type = 2;
        node->declarator = 0;
        return;
    }
    if (c == '-')
        gen_negate_int();
    else
        gen_complement_int();
    if (type == 1)
        ConvertCCObject(node, 1, false, kConvMaskChar);
}

// "(" type-name abstract-declarator ")" unary, after the type name was read.
void compile_cast(int32_t type, object *node, AST *tree)
{
    (void)parse_abstract_declarator(type);
    const DeclaratorResult declarator = declarator_result();
    require_closing(')');
    if (declarator.dim_count > 1)
        error_here(msg(kMsgExprTooManyDimensions), kMaxDimensions);
    uint32_t word = declarator.word;
    if ((word & 3) == kDeclArray)
        word = (word & ~3u) | kDeclPointer;
    const uint32_t cast_first = word & 3;

    parse_unary_expression(node, tree);
    if (g_nesting_refused || !check_not_void(node))
        return;
    const uint32_t operand_first = first_level(node);
    const uint16_t cast_type = static_cast<uint16_t>(type < 0 ? 0 : type);
    ConvertCCObject(node, cast_type, cast_first != kDeclNone,
                    kConvWarnLostDigits | kConvMaskChar);

    if (cast_type == 12 && word == 0) {
        node->type = 12;
        node->declarator = 0;
        return;
    }
    node->type = cast_type;
    if (cast_first == kDeclPointer && operand_first == kDeclArray) {
        node->declarator = (word & ~3u) | kDeclArray;
        return;
    }
    if (node->declarator == ((kDeclFunction << 4) | kDeclArray))
        gen_load_value(node);
    node->declarator = word;
}

// ---- increments ----

// The value of a float operand before an increment, kept on the stack while the new value is
// computed and stored: an undo by the opposite operator would not give it back exactly. With
// the address of the operand on the stack (`address_kept`), the old value goes below it.
object *keep_float_value(object *node, bool address_kept)
{
    gen_load_value(node);
    if (address_kept)
        gen_pop_register(kRidHL);
    object *saved = fresh_node();
    *saved = *node;
    gen_push_value(saved);
    if (address_kept)
        gen_push_register(kRidHL);
    return saved;
}

// "++" or "--" (`op` "+" or "-") on a compiled operand, before (`pre`) or after it.
void compile_increment(object *node, const char *op, bool pre)
{
    const bool bare = g_bare_increment;
    g_bare_increment = false;
    if (g_nesting_refused)
        return;
    if (!is_writable(node))
        error_here(msg(kMsgExprReadOnly));
    if (!require_lvalue(node)) {
        set_lvalue(node, false);
        return;
    }
    bool address_kept = false;
    if (!is_directly_addressable(node) && node->kind != 254) {
        gen_load_address_hl(node);
        set_pending_value(node, true);
        flush_pending_value();
        address_kept = true;
    }
    object *target = fresh_node();
    *target = *node;
    if (node->kind == 254) {
        node->kind = 255;
        set_obj_flag(node, addressInRegisters, address_kept);
    }
    const bool value_needed = !bare && (node->flags[1] & kValueNotNeeded) == 0;
    const bool is_float = node->type == 7 && node->declarator == 0;
    object *saved = nullptr;
    if (!pre && value_needed && is_float)
        saved = keep_float_value(node, address_kept);

    if (node->type == 1 && node->declarator == 0)
        add_char_constant(op, node, 1);
    else
        add_int_constant(op, node, 1);

    target->flags[0] = static_cast<uint8_t>((target->flags[0] & ~0x02) | (node->flags[0] & 0x02));
    target->flags[1] = static_cast<uint8_t>((target->flags[1] & ~kAddressKept) |
                                            (node->flags[1] & kAddressKept));
    gen_store_registers(target);
    node->flags[1] &= static_cast<uint8_t>(~kAddressKept);

    if (bare) {
        node->flags[1] |= kValueNotNeeded;
    } else if (value_needed && !pre) {
        if (saved) {
            gen_load_value(saved);
            *node = *saved;
        } else if (node->type == 1 && node->declarator == 0) {
            add_char_constant(op[0] == '+' ? "-" : "+", node, 1);
        } else {
            add_int_constant(op[0] == '+' ? "-" : "+", node, 1);
        }
        node->computed = 1;
    } else if (!value_needed && pre) {
        node->flags[1] &= static_cast<uint8_t>(~kValueNotNeeded);
        gen_load_value(node);
    }
    set_obj_flag(node, addressInRegisters, false);
}

// ---- postfix operators ----

}  // namespace

symbol *find_member(const char *name, uint16_t type)
{
    char mangled[kMaxIdentifier + 1] = {};
    std::snprintf(mangled, sizeof mangled, "%.32s", name);
    (void)mangle_local_name(mangled, type);
    if (symbol *m = find_symbol(mangled, true, kLocalTable))
        return m;
    return find_symbol(mangled, true, kGlobalTable);
}

namespace {

// The node becomes the member: its type, levels, dimensions and storage bits; an lvalue.
void take_member_description(object *node, const symbol *member)
{
    node->type = static_cast<uint16_t>(member->type);
    node->declarator = member->declarator;
    node->dims = member->dims;
    node->dim_count = member->dim_count;
    node->flags[0] = static_cast<uint8_t>((node->flags[0] & ~0x0C) | (member->flags[0] & 0x0C));
    set_lvalue(node, true);
}

// A member of the structure whose address the registers hold (or whose value is a pointer in
// them): the offset is added at run time; any other node moves its own offset.
void apply_member(object *node, const symbol *member)
{
    const int32_t offset = static_cast<int16_t>(member->value);
    if (node->kind == 255 && (has_lvalue_flag(node) || first_level(node) == kDeclPointer)) {
        const uint16_t type = node->type;
        set_obj_flag(node, addressInRegisters, false);
        node->type = 1;
        node->declarator = kDeclPointer;
        add_int_constant("+", node, offset);
        node->type = type;
        node->declarator = 0;
    } else {
        node->value += static_cast<uint32_t>(offset);
    }
    set_writable(node);
    take_member_description(node, member);
}

// The member name after "." or "->": its entry for the node's structure type, else nullptr
// (nothing read when no name stands there).
symbol *read_member_name(const object *node)
{
    skip_white();
    char name[kMaxIdentifier + 1];
    if (!scan_identifier(name, false, false))
        return nullptr;
    return find_member(name, node->type);
}

void report_bad_member_access(object *node)
{
    error_here(msg(kMsgExprBadStructReference));
    error_recovery();
    make_int_zero(node);
}

// "->" member, the arrow consumed.
void compile_arrow(object *node)
{
    const uint32_t first = first_level(node);
    symbol *member = first == kDeclPointer || first == kDeclArray ? read_member_name(node) : nullptr;
    if (!member) {
        report_bad_member_access(node);
        return;
    }
    gen_load_value(node);
    set_obj_flag(node, addressInRegisters, false);
    apply_member(node, member);
}

// "." member, the period consumed. A structure value on the stack (a returned one) gives up
// the member's bytes and releases the rest.
void compile_dot(object *node)
{
    symbol *member = is_struct_value(node) ? read_member_name(node) : nullptr;
    if (!member) {
        report_bad_member_access(node);
        return;
    }
    if (node->kind == 255 && has_lvalue_flag(node)) {
        apply_member(node, member);
        return;
    }
    if (node->kind != 254) {
        node->value += static_cast<uint32_t>(static_cast<int32_t>(member->value));
        take_member_description(node, member);
        return;
    }
    object *part = fresh_node();
    obj_from_symbol(part, member);
    if (is_struct_value(part)) {
        report_bad_member_access(node);
        return;
    }
    const uint16_t whole = type_size(node->type);
    const uint16_t offset = static_cast<uint16_t>(member->value);
    const uint16_t size = static_cast<uint16_t>(obj_size(part, 1));
    gen_adjust_stack(static_cast<int16_t>(offset), false);
    part->declarator &= ~0xFu;
    part->kind = 254;
    set_lvalue(part, false);
    gen_load_value(part);
    gen_adjust_stack(static_cast<int16_t>(whole - offset - size), true);
    add_stack_offset(static_cast<int16_t>(whole - size));
    set_object(node, 255, static_cast<uint16_t>(member->type), member->declarator, nullptr, 0,
               member->dims, member->dim_count, false, false);
}

// The dimension a subscript is checked against (0: none).
uint16_t subscript_dimension(const object *node)
{
    if (first_level(node) != kDeclArray)
        return 0;
    if (node->dims && node->dim_count > 0)
        return node->dims[0];
    if (node->sym == placeholder_symbol() && node->literal)
        return static_cast<uint16_t>(std::strlen(node->literal) + 1);
    return 0;
}

// A run-time index at or above the dimension (taken unsigned, so a negative one too) calls
// "abound_e": HL = -dimension + index sets the carry exactly then. HL holds the index after.
void gen_index_check(object *index, uint16_t dimension)
{
    flush_pending_value();
    const bool word = index->declarator == 0 && (index->type == 2 || index->type == 3);
    if (word) {
        MoveObject m(index);
        m.load(kRidDE, false, false);
    } else {
        gen_load_value(index);
        ConvertCCObject(index, 2, false, 0);
        gen_exchange_de_hl();
    }
    outasm("ld hl, %d", -static_cast<int32_t>(dimension));
    gen_add_hl_de();
    gen_exchange_de_hl();
    if (cpu_flag() == 1) {
        const std::string past = make_unique_label("KXLAB");
        outasm("jp nc, %s", past.c_str());
        (void)gen_call_named("abound_e");
        define_label(past.c_str(), current_code_cache().current, kLabelLocal);
    } else {
        (void)gen_conditional_call("abound_e", 3);
    }
    obj_set(index, 255, 2, 0, false);
}

// "[" index "]", the bracket consumed.
void compile_subscript(object *node)
{
    NestedOperand nested;
    if (!nested.entered()) {
        skip_group('[', ']', 1);
        return;
    }
    const uint32_t first = first_level(node);
    const bool indexable = first == kDeclArray || first == kDeclPointer;
    if (!indexable && !g_nesting_refused) {
        const char *name = obj_name(node);
        const char *tag = node->sym && node->sym != placeholder_symbol() ? node->sym->name : nullptr;
        error_here(msg(kMsgExprCannotSubscript), name ? name : "unknown",
                   format_type_name(node->type, node->declarator, tag).c_str());
    }
    const uint16_t dimension = subscript_dimension(node);
    if (indexable && node->kind == 255)
        defer_load(node, false);
    object *index = fresh_node();
    parse_comma_level(index, 0, nullptr);
    if (!indexable || g_nesting_refused) {
        (void)claim_pending_value(node);
        require_closing(']');
        return;
    }
    if (dimension != 0) {
        if (index->kind == 0) {
            ConvertCCObject(index, 2, false, 0);
            if (static_cast<int16_t>(index->value) >= static_cast<int32_t>(dimension))
                error_here(msg(kMsgExprIndexOutOfBounds));
        } else if (compiler_options().rtc_indices != 0) {
            gen_index_check(index, dimension);
        }
        node->work[0] = 1;  // the checked-subscript word
    }
    (void)claim_pending_value(node);
    gen_binary_operation("+", node, index);
    if (first_level(node) == kDeclPointer && (node->kind != 255 || has_lvalue_flag(node)))
        gen_load_value(node);
    dereference_node(node);
    set_writable(node);
    require_closing(']');
}

// An indexed cofunction's "[" index "]": the index code lies out of line, between a jump over it
// and a jump back to where the call continues; the call enters it at "cofif_%04x_1".
void compile_cofunction_index(object *node)
{
    if (cofunction_instances(node) == 1)
        error_here(msg(kMsgExprIndexedSimpleCofunc));
    const std::string past = make_unique_label("KXLAB");
    outasm("jp %s", past.c_str());
    ++g_cofunction_index;
    char entry[32];
    std::snprintf(entry, sizeof entry, "cofif_%04x_1", g_cofunction_index);
    define_label(entry, current_code_cache().current, kLabelGlobal);
    object *index = fresh_node();
    parse_comma_level(index, 0, nullptr);
    ConvertCCObject(index, 2, false, 0);
    gen_load_value(index);
    require_closing(']');
    outasm("jp cofif_%04x_2", g_cofunction_index);
    define_label(past.c_str(), current_code_cache().current, kLabelLocal);
}

// A value followed by "(": a function, or a pointer to one, is called (CC_CALL) and the node
// becomes the result: in the registers, or a structure lying on the stack. Anything else is
// reported (445) and the list is read over.
void compile_call(object *node)
{
    if (first_level(node) == kDeclPointer && decl_level(node->declarator, 1) == kDeclFunction) {
        gen_load_value(node);
        node->kind = 255;
        node->declarator >>= 4;
        set_obj_flag(node, addressInRegisters, false);
    }
    if (first_level(node) != kDeclFunction) {
        error_here("%s", msg(kMsgExprNeedFunction));
        skip_group('(', ')', 1);
        make_int_zero(node);
        return;
    }
    gen_function_call(node);
    node->computed = 1;
    const bool structure = node->type >= 16 && decl_level(node->declarator, 1) == kDeclNone;
    node->declarator >>= 4;
    node->kind = structure ? 254 : 255;
    node->sym = nullptr;
    node->dims = nullptr;
    node->dim_count = 0;
    set_lvalue(node, false);
    set_obj_flag(node, inByteRegister, false);
    set_obj_flag(node, noLoadNeeded, false);
}

}  // namespace

// A function name left without a call stands for the function's address.
void finish_function_designator(object *node, bool address_taken)
{
    node->declarator = (node->declarator << 4) | kDeclArray;
    node->dims = kFunctionAddressDims;
    node->dim_count = 1;
    symbol *function = node->sym;
    if (!function || function == placeholder_symbol())
        return;
    if (no_bouncers()) {
        if (address_taken)
            function->flags[2] |= 0x01;
        return;
    }
    const ADDR24 address = function->address[0];
    if (address != kDummyAddress && addr_offset(address) >= window_start())
        error_here(msg(kMsgExprXmemFunction), function->name);
}

uint16_t cofunction_index_counter() { return g_cofunction_index; }

object *parse_postfix_expression(object *node, uint16_t already_open, AST *tree)
{
    LevelTree t(tree, {ctok::DOT, ctok::POINTERTO, ctok::LSQUAREBRACKET, ctok::LPARENTHESIS});
    parse_primary(node, already_open, t.first());
    if (node->builtin_id) {
        if (compile_builtin_call(node))
            return node;
        // Only a built-in's name followed by "(" is taken for one: nothing else comes here.
        error_here("%s", msg(kMsgExprInvalid));
        make_int_zero(node);
        return node;
    }
    for (;;) {
        skip_white();
        if (first_level(node) == kDeclFunction && cofunction_instances(node) != 0) {
            if (at() == '[') {
                consume();
                compile_cofunction_index(node);
                skip_white();
            } else if (cofunction_instances(node) != 1) {
                error_here(msg(kMsgExprSimpleIndexedCofunc));
            }
        }
        const char c = at();
        if (c == '(') {
            consume();
            compile_call(node);
            continue;
        }
        if (c == '-') {
            if (input_pointer()[1] != '>')
                break;
            consume();
            consume();
            compile_arrow(node);
        } else if (c == '.') {
            consume();
            compile_dot(node);
        } else if (c == '[') {
            consume();
            compile_subscript(node);
        } else {
            break;
        }
    }
    if (first_level(node) == kDeclFunction)
        finish_function_designator(node, true);
    return node;
}

object *parse_unary_expression(object *node, AST *tree)
{
    LevelTree t(tree, {ctok::SIZEOF, ctok::PLUSPLUS, ctok::MINUSMINUS, ctok::ONESCOMPLEMENT,
                       ctok::NOT, ctok::MINUS, ctok::STAR, ctok::AMPERSAND, ctok::WAITFORDONE,
                       ctok::Eof});
    skip_white();
    if (match_keyword("waitfordone")) {
        parse_waitfordone(node, 0);
        return node;
    }
    if (match_keyword("waitforfirstdone")) {
        parse_waitfordone(node, 1);
        return node;
    }
    if (match_keyword("sizeof")) {
        (void)parse_sizeof_operand(node);
        return node;
    }
    const char c = at();
    const bool increment = (c == '+' || c == '-') && input_pointer()[1] == c;
    if (c == '$') {
        consume();
        compile_web_value_reference(node);
        return node;
    }
    if (increment || c == '*' || c == '&' || c == '+' || c == '-' || c == '~' || c == '!') {
        NestedOperand nested;
        if (!nested.entered()) {
            make_int_zero(node);
            skip_operand();
            return node;
        }
        if (increment) {
            const char *op = scan_increment_operator();
            parse_unary_expression(node, t.first());
            compile_increment(node, op, true);
            return node;
        }
        const bool was_lvalue = c == '&' && has_lvalue_flag(node);
        consume();
        parse_unary_expression(node, t.first());
        if (g_nesting_refused)
            return node;
        if (c == '*')
            apply_indirection(node);
        else if (c == '&')
            apply_address_of(node, was_lvalue);
        else
            apply_arithmetic_prefix(c, node);
        return node;
    }
    if (c == '(') {
        consume();
        DeclaratorContextKept context;
        if (const int32_t type = read_type_name()) {
            NestedOperand nested;
            if (!nested.entered()) {
                make_int_zero(node);
                skip_group('(', ')', 1);  // the rest of the type name
                skip_operand();
                return node;
            }
            compile_cast(type, node, t.first());
            return node;
        }
        parse_postfix_expression(node, 1, t.first());
    } else {
        parse_postfix_expression(node, 0, t.first());
    }
    skip_white();
    if (const char *op = scan_increment_operator())
        compile_increment(node, op, false);
    return node;
}

uint32_t operand_size(const object *node)
{
    if (!check_not_void(node))
        return 0;
    const bool function = obj_is_function(node) && node->declarator != 0 &&
                          first_level(node) != kDeclPointer;
    uint32_t size = 0;
    if (node->address_of) {
        size = 2;  // "&" made a constant address
    } else if (!function && node->type != 11) {
        object pointer = *node;
        push_level(&pointer, kDeclPointer);
        size = array_object_size(&pointer);
    }
    if (size == 0 && node->type != 12) {
        if (const char *name = obj_name(node))
            error_here(msg(kMsgExprSizeUnknown), name);
        else
            error_here("%s", "The size of this object cannot be determined.");
    }
    return size;
}

// "sizeof" operand = "(" type-name abstract-declarator ")" | "(" expression ")" | unary
std::optional<uint16_t> parse_sizeof_operand(object *node)
{
    DeclaratorContextKept context;
    NestedOperand nested;
    if (!nested.entered()) {
        make_unsigned_zero(node);
        skip_operand();
        return std::nullopt;
    }
    const int reports = errors_seen();
    uint32_t size = 0;
    bool by_type = false;
    skip_white();
    if (at() == '(') {
        consume();
        if (const int32_t type = read_type_name()) {
            (void)parse_abstract_declarator(type);
            size = declarator_result().size;
            by_type = true;
        } else {
            node->computed = 0;
            evaluate_type_only([node] { sizeof_comma_expression(node, 1); });
        }
        // An operand that already reported what is wrong inside gets no second report for a
        // missing ")".
        skip_white();
        if (at() == ')')
            consume();
        else if (errors_seen() == reports)
            require_closing(')');
        else
            note_bracket(')', current_line(), current_column());
    } else {
        evaluate_type_only([node] { sizeof_unary(node); });
    }
    if (!by_type)
        size = operand_size(node);
    if (size >= 0x8000) {
        error_here(msg(kMsgExprSizeTooLarge));
        size = 0;
    }
    set_constant(node, 3, size);
    if (errors_seen() != reports)
        return std::nullopt;
    return static_cast<uint16_t>(size);
}

// ---- binary levels ------------------------------------------------------------------------------------

void binary_step(const char *op, LevelRoutine next, object *left, AST *tree)
{
    set_condition_inversion_count(0);
    object *right = fresh_node();
    if (!(is_commutative_operator(op) && left->kind != 255))
        defer_load(left, false);
    next(right, tree);
    (void)claim_pending_value(left);
    gen_binary_operation(op, left, right);
    skip_white();
}

namespace {

// A level of one-character operators (`texts`) over the level below it (`operand`); an operator
// character that begins a compound assignment ends the level.
object *character_level(object *node, AST *tree, const char *texts,
                        std::initializer_list<int> tokens, LevelRoutine operand)
{
    LevelTree t(tree, tokens);
    operand(node, t.first());
    for (;;) {
        skip_white();
        const char c = at();
        if (c == '\0' || !std::strchr(texts, c) || compound_assignment_length())
            return node;
        consume();
        const char op[2] = {c, '\0'};
        binary_step(op, operand, node, t.next_right());
    }
}

}  // namespace

object *parse_multiplicative(object *node, AST *tree)
{
    return character_level(node, tree, "*/%", {ctok::STAR, ctok::DIVIDE, ctok::MOD},
                           &parse_unary_expression);
}

object *parse_additive(object *node, AST *tree)
{
    return character_level(node, tree, "+-", {ctok::PLUS, ctok::MINUS}, &parse_multiplicative);
}

object *parse_shift(object *node, AST *tree)
{
    LevelTree t(tree, {ctok::SHIFTLEFT, ctok::SHIFTRIGHT});
    parse_additive(node, t.first());
    for (;;) {
        skip_white();
        if ((at() != '<' && at() != '>') || compound_assignment_length())
            return node;
        const char *op = match_operator({"<<", ">>"});
        if (!op)
            return node;
        binary_step(op, &parse_additive, node, t.next_right());
    }
}

namespace {

// One comparison whose text was consumed: the left operand waits while the right one is
// compiled by `next`. Only the comparison at the top of the look-ahead tree may leave its truth
// in the flags alone; any other is an operand whose value is needed.
void comparison_step(const char *op, LevelRoutine next, object *left, LevelTree &tree)
{
    set_condition_inversion_count(0);
    defer_load(left, false);
    object *right = fresh_node();
    next(right, tree.next_right());
    (void)claim_pending_value(left);
    const AST *node = tree.last_operator();
    const bool saved = g_inner_comparison;
    g_inner_comparison = !node || node->parent() != nullptr;
    gen_binary_operation(op, left, right);
    g_inner_comparison = saved;
}

}  // namespace

object *parse_relational(object *node, AST *tree)
{
    LevelTree t(tree, {ctok::LESSTHAN, ctok::GREATERTHAN, ctok::LESSTHANOREQUALTO,
                       ctok::GREATERTHANOREQUALTO});
    parse_shift(node, t.first());
    for (;;) {
        skip_white();
        const char c = at();
        if ((c != '<' && c != '>') || input_pointer()[1] == c)
            return node;
        const char *op = match_operator({"<=", ">=", "<", ">"});
        if (!op)
            return node;
        comparison_step(op, &parse_shift, node, t);
    }
}

object *parse_equality(object *node, AST *tree)
{
    LevelTree t(tree, {ctok::EQUAL, ctok::NOTEQUAL});
    parse_relational(node, t.first());
    for (;;) {
        skip_white();
        const char *op = match_operator({"==", "!="});
        if (!op)
            return node;
        comparison_step(op, &parse_relational, node, t);
    }
}

namespace {

struct LogicalLevel {
    const char *text;
    int token;
};
constexpr LogicalLevel kLogicalLevels[5] = {
    {"||", ctok::OR}, {"&&", ctok::AND}, {"|", ctok::BITWISEOR}, {"^", ctok::BITWISEXOR},
    {"&", ctok::AMPERSAND},
};

// "||" (level 0) and "&&" (level 1) after their text was consumed. The value is the int 0 or 1 on
// every path: a constant left operand decides alone or hands over to the right one; otherwise a
// jump on the left value leads past the right operand to the value that decides.
void short_circuit_step(int level, object *left, AST *right_tree)
{
    // A void left operand has no truth: reported once, it counts as 0.
    if (!check_not_void(left))
        make_int_zero(left);
    const bool left_constant = left->kind == 0;
    BranchRecord decided{};
    if (left_constant) {
        make_truth_constant(left);
    } else {
        g_comparison_hint = false;
        decided = gen_conditional_jump(left, kDummyAddress, level, false);
    }
    const bool dead = left_constant && (level == 0 ? left->value != 0 : left->value == 0);

    object *right = fresh_node();
    {
        DiscardedCode guard(dead);
        parse_logical_level(right, level + 1, right_tree);
    }
    if (!check_not_void(right))
        make_int_zero(right);
    if (right->kind == 0)
        make_truth_constant(right);

    if (!left_constant) {
        gen_truth_test(right);
        const BranchRecord joined = gen_jump(kDummyAddress, kOpJp);
        patch_jump(decided, code_here());
        gen_load_new_value(level == 0 ? 1 : 0);
        patch_jump(joined, code_here());
        (void)clear_condition_state();
        set_object(left, 255, 2, 0, nullptr, 0, nullptr, 0, false, false);
        return;
    }
    if (right->kind == 0) {
        gen_binary_operation(kLogicalLevels[level].text, left, right);
        return;
    }
    if (dead) {
        gen_load_value(left);
        (void)clear_condition_state();
        return;
    }
    gen_truth_test(right);
    *left = *right;
}

}  // namespace

object *parse_logical_level(object *node, int level, AST *tree)
{
    if (level >= 5)
        return parse_equality(node, tree);
    const LogicalLevel &row = kLogicalLevels[level];
    LevelTree t(tree, {row.token});
    parse_logical_level(node, level + 1, t.first());
    for (;;) {
        skip_white();
        if (at() != row.text[0])
            return node;
        if (row.text[1] == '\0' && input_pointer()[1] == row.text[0])
            return node;  // "|" is not taken from "||", nor "&" from "&&"
        set_condition_inversion_count(0);
        if (compound_assignment_length() || !match_text(row.text))
            return node;
        if (level <= 1) {
            short_circuit_step(level, node, t.next_right());
            continue;
        }
        defer_load(node, false);
        object *right = fresh_node();
        parse_logical_level(right, level + 1, t.next_right());
        (void)clear_condition_state();
        (void)claim_pending_value(node);
        gen_binary_operation(row.text, node, right);
        (void)clear_condition_state();
    }
}

// ---- the conditional ------------------------------------------------------------------------------------

object *parse_conditional(object *node, AST *tree)
{
    const bool question = tree && tree->token_type() == ctok::QUESTIONMARK;
    AST *condition_tree = question ? tree->first_child() : tree;
    AST *second_tree = condition_tree && question ? condition_tree->right_sibling() : nullptr;
    AST *third_tree = second_tree ? second_tree->right_sibling() : nullptr;

    parse_logical_level(node, 0, condition_tree);
    skip_white();
    if (at() != '?')
        return node;
    consume();
    set_condition_inversion_count(0);
    gen_load_value(node);
    g_comparison_hint = false;
    const BranchRecord to_third = gen_conditional_jump(node, kDummyAddress, 1, false);

    object *second = fresh_node();
    parse_conditional(second, second_tree);
    const bool second_zero = obj_const_equals(second, 0.0);
    gen_load_value(second);
    skip_white();
    if (at() == ':')
        consume();
    else
        report_missing_char(':');
    BranchRecord to_end = gen_jump(kDummyAddress, kOpJp);
    patch_jump(to_third, code_here());

    object *third = fresh_node();
    parse_conditional(third, third_tree);
    const bool third_zero = obj_const_equals(third, 0.0);
    gen_load_value(third);

    // Whole declarator words are compared, but a const flag is no declarator level.
    const uint32_t second_levels = second->declarator & ~kConstFlags;
    const uint32_t third_levels = third->declarator & ~kConstFlags;
    uint16_t type = second->type;
    uint32_t declarator = second->declarator;
    if (second_levels == 0 && third_levels == 0) {
        if (second->type != third->type) {
            type = std::max(second->type, third->type);
            if (type > 3) {
                if (third->type == type) {
                    // The second branch's value is converted behind the third branch.
                    const BranchRecord past = gen_jump(kDummyAddress, kOpJp);
                    patch_jump(to_end, code_here());
                    object converted = *second;
                    ConvertCCObject(&converted, type, false, 0);
                    to_end = past;
                } else {
                    ConvertCCObject(third, type, false, 0);
                }
            }
        }
    } else if (third_levels == 0) {
        if (!third_zero)
            report_incompatible_operands();
    } else if (second_levels != third_levels || second->type != third->type) {
        if (second_zero) {
            type = third->type;
            declarator = third->declarator;
        } else {
            report_incompatible_operands();
        }
    }
    *node = *third;
    node->type = type;
    node->declarator = declarator;
    patch_jump(to_end, code_here());
    return node;
}

// ---- assignment -----------------------------------------------------------------------------------------

int scan_operator_chars(char *buffer)
{
    const char *p = input_pointer();
    int n = 0;
    if ((p[0] == '<' || p[0] == '>') && p[1] == p[0])
        n = 2;
    else if (p[0] && std::strchr("%&*+-/^|", p[0]))
        n = 1;
    for (int i = 0; i < n; ++i)
        buffer[i] = p[i];
    buffer[n] = '\0';
    return n;
}

int compound_assignment_length()
{
    char op[3];
    const int n = scan_operator_chars(op);
    return n > 0 && input_pointer()[n] == '=' ? n + 1 : 0;
}

int scan_assignment_operator(char *buffer)
{
    skip_white();
    const int length = compound_assignment_length();
    if (length) {
        (void)scan_operator_chars(buffer);
        for (int i = 0; i < length; ++i)
            consume();
    } else if (at() == '=' && input_pointer()[1] != '=') {
        buffer[0] = '\0';
        consume();
    } else {
        return 0;
    }
    set_condition_inversion_count(0);
    return 1;
}

const char *scan_increment_operator()
{
    const char c = at();
    if ((c != '+' && c != '-') || input_pointer()[1] != c)
        return nullptr;
    consume();
    consume();
    return c == '+' ? "+" : "-";
}

namespace {

// Assignments open inside one another ("a = b = c = ..."): each costs host stack, so a longer
// chain is refused.
int g_assignment_depth = 0;
constexpr int kMaxAssignmentDepth = 100;
// The program-wide switch of the run-time pointer check (a compile to a file sets it from its
// settings for its own duration).
bool g_pointer_checking = true;

bool has_level(const object *node) { return first_level(node) != kDeclNone; }

// The rest of a refused expression, across its lines: up to the ";" (or the closer) that ends
// it, not consumed.
void skip_rest_of_expression()
{
    for (;;) {
        error_recovery();
        if (at() != '\0')
            return;
        skip_white();
        if (at() == '\0')
            return;
    }
}

bool is_indirect_level(uint32_t level) { return level == kDeclArray || level == kDeclPointer; }

// A store through a pointer is checked at run time when the item is compiled with the checks
// and with debug code, the target is no automatic variable or checked subscript (its counter
// field is 0), and the program-wide switch is on. Without a write-permission table placed by
// the link there is nothing to check against, and no check.
bool pointer_check_wanted(const object *target)
{
    const uint32_t word = saved_decl_flags().word;
    return (word & kDeclPointerChecks) && (word & kDeclDebugRst) && target->work[0] == 0 &&
           g_pointer_checking && start_up_layout().page_map_address != kDummyAddress;
}

// The spelling of a node's type in a message; a tag is spelled by its own name.
std::string spelled_type(const object *node)
{
    const char *tag = node->type >= kTypeFirstTag ? tag_name(node->type) : nullptr;
    return format_type_name(node->type, node->declarator, tag);
}

// One assignment open: counted while it runs.
class AssignmentDepth {
public:
    AssignmentDepth() { ++g_assignment_depth; }
    ~AssignmentDepth() { --g_assignment_depth; }
    AssignmentDepth(const AssignmentDepth &) = delete;
    AssignmentDepth &operator=(const AssignmentDepth &) = delete;
};

// The copy of an equal-sized structure value into the target, whose address the caller pushed.
// A value lying on the stack (a structure a call returned) is copied where it lies: the source
// is the stack top, the destination the address pushed below it; both are released afterwards.
void copy_structure(object *target, object *value, uint16_t size)
{
    if (value->kind != 254) {
        gen_block_copy(value, target, size);
        return;
    }
    ObjHost &host = value_model_obj_host();
    const int depth = std::abs(stack_offset()) + host.pending_adjust_1() +
                      std::abs(host.pending_adjust_2());
    object source{}, destination{};
    set_object(&source, 2, value->type, 0, nullptr,
               static_cast<uint32_t>(frame_offset_of_stack_place(-depth)), nullptr, 0, true, false);
    set_object(&destination, 2, 12, kDeclPointer, nullptr,
               static_cast<uint32_t>(frame_offset_of_stack_place(size - depth)), nullptr, 0, true,
               false);
    source.flags[0] = static_cast<uint8_t>((source.flags[0] & ~0x0C) | (target->flags[0] & 0x0C));
    destination.flags[0] =
        static_cast<uint8_t>((destination.flags[0] & ~0x0C) | (value->flags[0] & 0x0C));
    gen_block_copy(&source, &destination, size);
    gen_stack_adjust_tracked(static_cast<int16_t>(size + 2));
    *target = destination;
}

}  // namespace

// ---- the run-time pointer check -------------------------------------------------------------------------
// The address the store goes to is in HL. The table holds one byte per 256-byte page of the
// logical space at physical address P (on a 256-byte boundary): A, H and L address the page's
// entry (P plus the address's high byte), and bit 0 of the entry ends in the carry. A page that
// may not be written calls "bound_e". The lines use the Vireon set's "bool", "ldp" and "rr hl";
// the Z180 set has none of them, so it gets no check.
//   ex de, hl ; bool hl | ld h, P[15:8] ; ld l, d ; xor a | ld a, P[23:16] ; ldp hl, (hl)
//   rr hl ; ex de, hl ; jp c, past ; call bound_e ; past:
void gen_pointer_check()
{
    if (cpu_flag() != 1)
        return;
    const uint32_t table = addr_to_physical(start_up_layout().page_map_address);
    outasm("ex de, hl");
    const unsigned high = (table >> 8) & 0xFF;
    if (high == 0)
        outasm("bool hl");
    else
        outasm("ld h, %u", high);
    outasm("ld l, d");
    if (table < 0xFFFF)
        outasm("xor a");
    else
        outasm("ld a, %u", (table >> 16) & 0xFF);
    outasm("ldp hl, (hl)");
    outasm("rr hl");
    outasm("ex de, hl");
    const std::string past = make_unique_label("KXLAB");
    outasm("jp c, %s", past.c_str());
    outasm("call bound_e");
    define_label(past.c_str(), current_code_cache().current, kLabelLocal);
}

void set_pointer_checking(bool on) { g_pointer_checking = on; }
bool pointer_checking() { return g_pointer_checking; }

// ---- type checks of an assignment -------------------------------------------------------------------------

int classify_assignment(int32_t target_type, int32_t value_type, uint32_t target_word,
                        uint32_t value_word)
{
    const uint32_t target_first = decl_level(target_word, 0);
    const uint32_t value_first = decl_level(value_word, 0);
    if (is_indirect_level(target_first) && is_indirect_level(value_first) &&
        (target_type == kTypeVoid || value_type == kTypeVoid ||
         compiler_options().type_check.pointers == 0))
        return kAssignCompatible;
    if ((target_type == kTypeVoid && target_first == kDeclNone) ||
        (value_type == kTypeVoid && value_first == kDeclNone))
        return kAssignVoid;
    if (target_type == value_type) {
        // Array and pointer levels match each other; const flags are not compared.
        for (int level = 0; level < 8; ++level) {
            const uint32_t t = decl_level(target_word, level);
            const uint32_t v = decl_level(value_word, level);
            if (t == kDeclNone || v == kDeclNone)
                return t == v ? kAssignCompatible : kAssignLevels;
            if (t != v && !(is_indirect_level(t) && is_indirect_level(v)))
                return kAssignLevels;
        }
        return kAssignCompatible;
    }
    if (target_type < kTypeFirstTag && value_type < kTypeFirstTag)
        return target_first == kDeclNone && value_first == kDeclNone ? kAssignCompatible
                                                                     : kAssignScalarPointer;
    return kAssignStructure;
}

void report_assignment_mismatch(int mismatch, const object *target, const object *value)
{
    switch (mismatch) {
    case kAssignStructure:
        trivial_warning_here("%s", msg(kMsgAssignStructType));
        return;
    case kAssignLevels:
        trivial_warning_here(msg(kMsgAssignTypeMismatch), spelled_type(value).c_str(),
                             spelled_type(target).c_str());
        return;
    case kAssignVoid:
        error_here("%s", msg(kMsgAssignVoid));
        return;
    case kAssignScalarPointer:
        trivial_warning_here(msg(kMsgAssignIncompatible), spelled_type(target).c_str(),
                             spelled_type(value).c_str());
        return;
    default:
        return;
    }
}

// ---- the assignment level ----------------------------------------------------------------------------------

object *parse_assignment(object *node, uint16_t mode, AST *tree)
{
    NestingLevel level;
    const bool assigns = tree && tree->token_type() >= ctok::ASSIGNEQUAL &&
                         tree->token_type() <= ctok::BITWISEOREQUAL;
    AST *target_tree = assigns ? tree->first_child() : tree;
    node->work[0] = 0;  // the assignment's counter field
    parse_conditional(node, target_tree);
    char op[3];
    bool assigned = false;
    if (scan_assignment_operator(op)) {
        assigned = true;
        gen_assignment(node, op, mode, target_tree ? target_tree->right_sibling() : nullptr);
    }
    g_last_was_assignment = assigned;
    if (g_nesting == 1)
        check_expression_stack(node);
    return node;
}

object *parse_assignment_value(object *node, AST *tree) { return parse_assignment(node, 1, tree); }

object *gen_assignment(object *target, const char *op, uint16_t mode, AST *tree)
{
    object *value = fresh_node();
    if (g_assignment_depth >= kMaxAssignmentDepth) {
        error_here(msg(kMsgAssignChainTooLong), kMaxAssignmentDepth);
        skip_rest_of_expression();
        make_int_zero(target);
        return target;
    }
    AssignmentDepth depth;

    if (!require_lvalue(target)) {
        // Nothing can be stored: the value is read for its own effects.
        parse_assignment(value, 1, tree);
        *target = *value;
        return target;
    }
    if (!is_directly_addressable(target) && target->kind != 255) {
        if (target->kind == 2)
            target->work[0] = 1;
        gen_load_address_hl(target);
    }
    if (target->kind == 255) {
        if (pointer_check_wanted(target))
            gen_pointer_check();
        defer_load(target, true);
    }

    const bool target_struct = is_struct_value(target);
    {
        const JumpFixupLevel fixups;
        if (op[0] == '\0') {
            if (target_struct) {
                if (target->kind == 255)
                    (void)claim_pending_value(target);
                else
                    gen_load_address_hl(target);
                gen_push_value(target);
            }
            parse_assignment(value, 1, tree);
        } else {
            *value = *target;
            binary_step(op, &parse_assignment_value, value, tree);
        }
        resolve_jump_fixups(static_cast<int16_t>(g_nesting));
    }

    report_assignment_mismatch(
        classify_assignment(target->type, value->type, target->declarator, value->declarator),
        target, value);
    if (decl_level(value->declarator, 1) == kDeclFunction && cofunction_instances(value) != 0)
        error_here("%s", msg(kMsgAssignCofunction));

    // A target reached through a pointer was checked where the pointer was made; any other
    // must be writable (initialised data lies among the constants).
    const bool through_pointer =
        has_level(target) ||
        (target->kind == 255 &&
         (obj_flag(target, addressInRegisters) || first_level(target) == kDeclPointer));
    if (!(through_pointer && target->dereferenced) && !is_writable(target))
        error_here("%s", msg(kMsgExprReadOnly));

    const bool value_struct = is_struct_value(value);
    if (target_struct || value_struct) {
        if (op[0] != '\0') {
            // The operator has refused the structure already.
        } else if (target_struct && value_struct) {
            const int32_t target_size = tag_size(target->type);
            if (target_size == tag_size(value->type)) {
                copy_structure(target, value, static_cast<uint16_t>(target_size));
                target->kind = 255;
                return target;
            }
            error_here("%s", msg(kMsgAssignStructSize));
        } else {
            error_here("%s", msg(kMsgCgIncompatible));
        }
        // No store of the wrong size: the target's address, pushed or still waiting, is given
        // up, and a structure value left on the stack is released.
        if (value->kind == 254 && value_struct)
            discard_stack_value(value);
        (void)claim_pending_value(target);
        if (target->kind == 254)
            gen_stack_adjust_tracked(2);
        make_int_zero(target);
        return target;
    }

    const bool target_pointer = has_level(target);
    if (mode == 0 && value->kind == 0 &&
        (target->kind == 1 || target->kind == 2 || target->kind == 3 || target->kind == 252 ||
         target->kind == 255)) {
        (void)claim_pending_value(target);
        ConvertCCObject(value, target->type, target_pointer, 0);
        gen_store(target, value);
        *target = *value;
        return target;
    }
    if (value->kind != 255 || obj_flag(value, addressInRegisters)) {
        if (target->type == kTypeChar && !target_pointer)
            gen_load_value_as_int(value);
        else
            gen_load_value(value);
    }
    (void)claim_pending_value(target);
    ConvertCCObject(value, target->type, target_pointer, 0);
    set_obj_flag(target, inByteRegister, obj_flag(value, inByteRegister));
    gen_store_registers(target);
    return target;
}

// ---- the comma level and the entries ------------------------------------------------------------------------

object *parse_comma_level(object *node, uint16_t mode, AST *tree)
{
    (void)clear_condition_state();
    LevelTree t(tree, {ctok::COMMA});
    parse_assignment(node, mode, t.first());
    for (;;) {
        skip_white();
        if (at() != ',')
            return node;
        consume();
        if (node->kind == 254 && is_struct_value(node))
            discard_stack_value(node);
        parse_assignment(node, mode, t.next_right());
    }
}

namespace {

// One expression entry: the node pool's mark, the generated parser's bundle and, when asked for,
// its tree with the two hints. Everything is given back when the entry ends, also by exception.
// The comparison hint stays as the entry set it: the jump that the condition compiler emits on
// the value after the entry reads it too.
class ExpressionEntry {
public:
    ExpressionEntry(uint16_t mode, uint8_t lookahead)
    {
        gObjectPool.push_mark();
        g_nesting_refused = false;
        if (mode == 1 && lookahead)
            m_tree = m_box.parse(input_pointer());
        g_comparison_hint = is_comparison_tree(m_tree);
        g_assignment_hint = false;
        if (m_tree && m_tree->token_type() == ctok::ASSIGNEQUAL && m_tree->first_child()) {
            const AST *value = m_tree->first_child()->right_sibling();
            const int token = value ? value->token_type() : 0;
            g_assignment_hint = token == ctok::OCTALINT || token == ctok::DECIMALINT ||
                                token == ctok::HEXADECIMALINT;
        }
    }
    ~ExpressionEntry()
    {
        g_assignment_hint = false;
        gObjectPool.pop_mark();
    }
    ExpressionEntry(const ExpressionEntry &) = delete;
    ExpressionEntry &operator=(const ExpressionEntry &) = delete;

    AST *tree() const { return m_tree; }

private:
    StringParserBlackBox m_box;
    AST *m_tree = nullptr;
};

}  // namespace

object *parse_expression(object *result, uint16_t mode, uint8_t flag, uint8_t lookahead)
{
    ExpressionEntry entry(mode, lookahead);
    g_expression_flag = flag;
    object *node = fresh_node();
    parse_assignment(node, mode, entry.tree());
    *result = *node;
    return result;
}

object *parse_call_argument(object *result)
{
    NestingLevel level;
    gObjectPool.push_mark();
    object *node = fresh_node();
    parse_assignment(node, 1, nullptr);
    *result = *node;
    gObjectPool.pop_mark();
    return result;
}

object *parse_expression_list(object *result, uint16_t mode, uint8_t /*flag*/, uint8_t lookahead)
{
    ExpressionEntry entry(mode, lookahead);
    object *node = fresh_node();
    parse_comma_level(node, mode, entry.tree());
    *result = *node;
    return result;
}

void discard_stack_value(object *node)
{
    gen_stack_adjust_tracked(static_cast<int16_t>(obj_size(node, 1)));
    node->kind = 255;
}

void parse_value_expression(uint16_t mode)
{
    gObjectPool.push_mark();
    object *node = fresh_node();
    // An increment alone needs no undo only where its value is not read: a loop condition
    // "n--)" tests the value.
    g_bare_increment = mode == 0 && is_bare_increment();
    parse_expression_list(node, mode, 0, 0);
    g_bare_increment = false;
    if (node->type < 16 || node->declarator != 0) {
        if (mode != 0 || node->kind != 0)
            gen_load_value_as_int(node);
    } else if (node->kind == 254) {
        discard_stack_value(node);
    }
    gObjectPool.pop_mark();
}

void parse_expression_statement()
{
    gObjectPool.push_mark();
    object *node = fresh_node();
    g_bare_increment = is_bare_increment();
    parse_expression_list(node, 0, 0, 0);
    g_bare_increment = false;
    if (!g_last_was_assignment) {
        if (is_struct_value(node)) {
            if (node->kind == 254)
                discard_stack_value(node);
            else
                gen_load_address_hl(node);
        } else {
            gen_load_value(node);
        }
    }
    gObjectPool.pop_mark();
}

// ---- constant expressions ---------------------------------------------------------------------------------

namespace {

// The constant expression at the input pointer: its node, or nullopt after 427.
std::optional<object> constant_expression()
{
    gObjectPool.push_mark();
    object *node = fresh_node();
    parse_expression(node, 1, 0, 0);
    const object result = *node;
    gObjectPool.pop_mark();
    if (result.kind == 0)
        return result;
    error_here(msg(kMsgExprNotConstant));
    return std::nullopt;
}

}  // namespace

uint16_t parse_constant_expression()
{
    const std::optional<object> node = constant_expression();
    if (!node)
        return 0;
    g_last_constant_type = node->type;
    g_last_constant_value = node->value;
    return static_cast<uint16_t>(node->value);
}

uint32_t parse_long_constant_expression()
{
    const std::optional<object> node = constant_expression();
    if (!node)
        return 0;
    g_last_constant_type = node->type;
    return node->value;
}

uint16_t last_constant_type() { return g_last_constant_type; }
uint32_t last_constant_value() { return g_last_constant_value; }

// ---- code that is thrown away ------------------------------------------------------------------------

DiscardedCode::DiscardedCode(bool active) : m_active(active)
{
    if (!m_active)
        return;
    if (pending_value())
        flush_pending_value();
    // What the cache holds so far leaves before the suppression: the rewind flushes.
    m_cache = &current_code_cache();
    if (m_cache->positioned)
        m_cache->Flush();
    m_start = m_cache->current;
    m_stack = stack_offset();
    raise_code_suppression();
}

DiscardedCode::~DiscardedCode()
{
    if (!m_active)
        return;
    if (m_cache->current != m_start)
        m_cache->SetAddress(m_start);
    set_stack_offset(m_stack);
    lower_code_suppression();
}

// ---- state read by other units ----------------------------------------------------------------------

bool comparison_hint() { return g_comparison_hint; }
bool condition_flag_tracking()
{
    return g_comparison_hint && g_nesting <= 1 && !g_inner_comparison;
}
bool assignment_hint() { return g_assignment_hint; }
uint16_t expression_nesting_count() { return g_nesting; }
int16_t condition_inversion_count() { return g_condition_inversion; }
void set_condition_inversion_count(int16_t count) { g_condition_inversion = count; }
uint16_t automatic_reference_count() { return g_auto_references; }
void block_auto_references(bool blocked) { g_auto_blocked = blocked; }
uint8_t expression_flag() { return g_expression_flag; }
bool last_was_assignment() { return g_last_was_assignment; }
void request_stack_tracking_reset() { g_stack_reset_requested = true; }
void set_expression_stack_allowance(uint16_t bytes) { g_stack_allowance = bytes; }
uint16_t expression_stack_allowance() { return g_stack_allowance; }

void reset_expression_parser()
{
    reset_call_state();
    g_comparison_hint = g_assignment_hint = false;
    g_nesting = 0;
    g_last_was_assignment = false;
    g_stack_reset_requested = false;
    g_stack_allowance = 0;
    g_last_constant_type = 0;
    g_last_constant_value = 0;
    g_paren_depth = 0;
    g_inner_comparison = false;
    g_condition_inversion = 0;
    g_auto_references = 0;
    g_auto_blocked = false;
    g_expression_flag = 0;
    g_bare_increment = false;
    g_assignment_depth = 0;
    g_nesting_refused = false;
    g_cofunction_index = 0;
    g_number_text.clear();
    g_current_literal.clear();
    g_literal_records.clear();
    reset_sizeof_evaluator();
}

// ---- condition jumps ------------------------------------------------------------------------------

namespace {

// The relative jumps "jr nz/z/nc/c" and the absolute jump of the same condition.
uint8_t absolute_form(uint8_t relative_opcode)
{
    switch (relative_opcode) {
    case 0x20: return 0xC2;
    case 0x28: return 0xCA;
    case 0x30: return 0xD2;
    case 0x38: return 0xDA;
    default: return 0;
    }
}

}  // namespace

BranchRecord compile_condition_jump(uint32_t target, int condition, const char *closing)
{
    object *node = gObjectPool.new_object();
    set_condition_inversion_count(-1);
    parse_expression_list(node, 1, 0, 1);
    expect_text(closing);
    int16_t count = static_cast<int16_t>(condition_inversion_count() - 1);
    if (count < 0)
        count = 1;
    const int jump_condition = condition ^ count;

    // Only a known target is reached relatively: a placeholder is the dummy address 0, which code
    // near physical 0 would otherwise reach with a displacement that the patch then overwrites.
    const ADDR24 at = current_code_cache().current;
    const int32_t distance = addr_diff(target, at) - 2;
    const bool relative = target != kDummyAddress && addr_xpc(target) == addr_xpc(at) &&
                          distance < 0 && distance >= -128;
    BranchRecord jump;
    if (relative) {
        jump = gen_conditional_jump(node, static_cast<uint32_t>(distance) & 0xFFFF, jump_condition,
                                    true);
        // The truth test the code generator puts before the jump moves it away from the target:
        // beyond the reach of a displacement it becomes the absolute jump.
        const uint8_t absolute = absolute_form(jump.opcode);
        if (absolute && addr_diff(target, addr_add(jump.operand, 1)) < -128) {
            codegen_seam().set_code_address(addr_add(jump.operand, -1));
            jump = gen_jump(target, absolute);
        }
    } else {
        jump = gen_conditional_jump(node, target, jump_condition, false);
    }
    set_condition_inversion_count(0);
    return jump;
}
