// CC_HIER: the one-pass expression parser (see CC_HIER.h). Read from the bottom up: characters,
// numbers and character constants, string literals and the literal pool, the look-ahead bundle,
// and the state the code generator and the other parsers read.
#include "CC_HIER.h"

#include "CC_GLINE.h"
#include "CC_IN.h"
#include "CC_LABELS.h"
#include "CC_STAB.h"
#include "CC_STUBS.h"
#include "CParserFrame.h"
#include "guiKXPreferences.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>

namespace {

// ---- module state (reset at the start of every compile) ------------------------------------------

bool g_comparison_hint = false;
bool g_assignment_hint = false;
uint16_t g_nesting = 0;
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

// ---- state read by other units ----------------------------------------------------------------------

bool comparison_hint() { return g_comparison_hint; }
bool assignment_hint() { return g_assignment_hint; }
uint16_t expression_nesting_count() { return g_nesting; }
int16_t condition_inversion_count() { return g_condition_inversion; }
void set_condition_inversion_count(int16_t count) { g_condition_inversion = count; }
uint16_t automatic_reference_count() { return g_auto_references; }
void block_auto_references(bool blocked) { g_auto_blocked = blocked; }
uint8_t expression_flag() { return g_expression_flag; }

void reset_expression_parser()
{
    g_comparison_hint = g_assignment_hint = false;
    g_nesting = 0;
    g_condition_inversion = 0;
    g_auto_references = 0;
    g_auto_blocked = false;
    g_expression_flag = 0;
    g_number_text.clear();
    g_current_literal.clear();
    g_literal_records.clear();
}
