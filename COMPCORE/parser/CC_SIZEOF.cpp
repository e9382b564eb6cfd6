// CC_SIZEOF: the type evaluator for the operand of "sizeof" (see CC_SIZEOF.h). Read from the
// bottom up: the comma and assignment levels, the conditional, the binary levels, the unary
// level with casts, the postfix level with calls, built-ins, subscripts and members, the
// primaries.
#include "CC_SIZEOF.h"

#include "codegen/CC_CONV.h"
#include "CC_DECLR.h"
#include "core/CC_ER.h"
#include "input/CC_GLINE.h"
#include "CC_HIER.h"
#include "CC_IEXPR.h"
#include "input/CC_IN.h"
#include "CC_LABELS.h"
#include "core/CC_OBJ.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"
#include "codegen/CC_Z80EX.h"
#include "codegen/CC_Z80OP.h"
#include "codegen/CC_Z80PIO.h"
#include "settings/guiKXPreferences.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <vector>

namespace {

// The dimension lists that "&" puts in front of an object's own: they live until the next
// compile, as the nodes that point into them are gone by then.
std::deque<std::vector<uint16_t>> g_address_dims;

// The chain of assignments open to the right, for the right operand of a compound one.
int g_chain = 0;

constexpr int kMaxChain = 100;
// The const flag of every declarator level: it is no level of its own.
constexpr uint32_t kConstFlags = 0x44444444u;

// ---- reading ------------------------------------------------------------------------------------

char at() { return *input_pointer(); }

void consume()
{
    note_bracket(at(), current_line(), current_column());
    advance_input(1);
}

void skip_white()
{
    if (static_cast<unsigned char>(at()) < '!')
        skip_blanks_across_lines();
}

object *fresh_node() { return gObjectPool.new_object(); }

// ---- node shapes ----------------------------------------------------------------------------------

uint32_t first_level(const object *node) { return decl_level(node->declarator, 0); }
bool plain(const object *node) { return node->declarator == 0; }
bool is_constant(const object *node) { return node->kind == 0 && plain(node); }
bool is_struct_value(const object *node) { return plain(node) && node->type >= 16; }

void make_constant(object *node, uint16_t type, uint32_t value)
{
    set_object(node, 0, type, 0, nullptr, value, nullptr, 0, true, false);
}

// A value the code generator would hold in its registers: only its type is known.
void make_value(object *node, uint16_t type, uint32_t declarator = 0)
{
    set_object(node, 255, type, declarator, nullptr, 0, nullptr, 0, false, false);
}

// The lvalue flag and the lvalue byte beside it, as the levels of CC_HIER keep them.
void set_lvalue(object *node, bool on)
{
    node->flags[0] = static_cast<uint8_t>(on ? node->flags[0] | 0x01 : node->flags[0] & ~0x01);
    node->flags[3] = on ? 1 : 0;
}

void clear_writable(object *node) { node->flags[1] = static_cast<uint8_t>(node->flags[1] & ~0x40); }

// A conversion for its type alone: the node passes as a constant, so that the constant
// conversion runs and no code is made; a stored node keeps its own value (its offset).
void type_only_conversion(object *node, int type, bool as_pointer, uint8_t options)
{
    const uint8_t kind = node->kind;
    const uint32_t value = node->value;
    node->kind = 0;
    ConvertCCObject(node, type, as_pointer, options);
    node->kind = kind;
    if (kind != 0)
        node->value = value;
}

// Two constants fold as the code generator folds them (their types as it gives them); true
// when it did.
bool fold_constants(const char *op, object *left, object *right)
{
    if (!is_constant(left) || !is_constant(right))
        return false;
    gen_binary_operation(op, left, right);
    return true;
}

// Refused nesting: the rest of the operand is skipped and the node is a harmless int.
object *refuse_nesting(object *node)
{
    make_constant(node, 2, 0);
    skip_operand();
    return node;
}

// The first of the texts at the input pointer, consumed; nullptr when none stands there.
const char *match_operator(std::initializer_list<const char *> texts)
{
    for (const char *text : texts)
        if (match_text(text))
            return text;
    return nullptr;
}

// The declarator context of a declaration being read (a dimension holding "sizeof") is put
// back when the unary level ends: a type name read inside leaves it as it was.
class DeclaratorContextKept {
public:
    DeclaratorContextKept() : m_saved(save_declarator_context()) {}
    ~DeclaratorContextKept() { restore_declarator_context(m_saved); }
    DeclaratorContextKept(const DeclaratorContextKept &) = delete;
    DeclaratorContextKept &operator=(const DeclaratorContextKept &) = delete;

private:
    DeclaratorContext m_saved;
};

// ---- assignment checks ------------------------------------------------------------------------------

void check_assignment(object *target, object *value)
{
    if (decl_level(value->declarator, 1) == kDeclFunction && cofunction_instances(value) != 0)
        error_here(msg(kMsgAssignCofunction));
    if (is_struct_value(target) && is_struct_value(value) &&
        type_size(target->type) != type_size(value->type))
        error_here(msg(kMsgAssignStructSize));
    if (!is_writable(target))
        error_here(msg(kMsgExprReadOnly));
    const bool scalars = plain(target) && plain(value) && target->type < 12 &&
                         value->type < 12 && target->type != 0 && value->type != 0;
    if (scalars)
        type_only_conversion(value, target->type, false, 0);
}

// The right operand of a compound assignment: the assignment level one further in the chain.
object *compound_value(object *node) { return sizeof_assignment(node, g_chain); }

// ---- comparisons --------------------------------------------------------------------------------

void comparison_result(const char *op, object *left, object *right)
{
    (void)check_not_void(left);
    (void)check_not_void(right);
    if (fold_constants(op, left, right))
        return;
    make_value(left, 2);
}

}  // namespace

// ---- comma and assignment ---------------------------------------------------------------------------

object *sizeof_comma_expression(object *node, int flag)
{
    if (flag)
        (void)clear_condition_state();
    for (;;) {
        sizeof_assignment(node, 0);
        skip_white();
        if (at() != ',')
            return node;
        consume();
    }
}

object *sizeof_assignment(object *node, int flag)
{
    if (flag >= kMaxChain) {
        error_here(msg(kMsgAssignChainTooLong), kMaxChain);
        return refuse_nesting(node);
    }
    sizeof_conditional(node);
    char op[3];
    if (!scan_assignment_operator(op))
        return node;
    const object target = *node;
    object *value = nullptr;
    if (op[0] != '\0') {
        g_chain = flag + 1;
        value = sizeof_widening_operand(op, &compound_value, node);
    } else {
        value = fresh_node();
        sizeof_assignment(value, flag + 1);
    }
    *node = target;
    check_assignment(node, value);
    return node;
}

// ---- the conditional ------------------------------------------------------------------------------

object *sizeof_conditional(object *node)
{
    sizeof_logical_level(node, 0);
    skip_white();
    if (at() != '?')
        return node;
    consume();
    NestedOperand nested;
    if (!nested.entered())
        return refuse_nesting(node);

    sizeof_conditional(node);
    const uint16_t second_type = node->type;
    const uint32_t second_word = node->declarator;
    const bool second_zero = is_constant(node) && obj_const_equals(node, 0.0);
    if (nesting_refused())
        return node;
    skip_white();
    if (at() != ':') {
        report_missing_char(':');
        return node;  // no third operand: the second one stands for the result
    }
    consume();
    sizeof_conditional(node);

    const uint32_t second_levels = second_word & ~kConstFlags;
    const uint32_t third_levels = node->declarator & ~kConstFlags;
    const bool third_zero = is_constant(node) && obj_const_equals(node, 0.0);
    if (third_levels != 0) {
        if (third_levels == second_levels && node->type == second_type) {
            node->declarator = second_word;
        } else if (!second_zero) {
            report_incompatible_operands();
        }
    } else if (second_levels == 0) {
        node->type = std::max(second_type, node->type);
    } else if (third_zero) {
        node->type = second_type;
        node->declarator = second_word;
    } else {
        report_incompatible_operands();
    }
    if (node->kind == 0)
        node->kind = 255;  // both branches are loaded: the result is no constant
    return node;
}

// ---- the binary levels ------------------------------------------------------------------------------

object *sizeof_logical_level(object *node, int level)
{
    static constexpr const char *kTexts[5] = {"||", "&&", "|", "^", "&"};
    if (level >= 5)
        return sizeof_equality(node);
    const char *text = kTexts[level];
    sizeof_logical_level(node, level + 1);
    for (;;) {
        skip_white();
        if (at() != text[0])
            return node;
        if (text[1] == '\0' && input_pointer()[1] == text[0])
            return node;  // "|" is not taken from "||", nor "&" from "&&"
        if (compound_assignment_length() || !match_text(text))
            return node;
        object *right = fresh_node();
        sizeof_logical_level(right, level + 1);
        if (!check_not_void(node))
            make_constant(node, 2, 0);
        if (!check_not_void(right))
            make_constant(right, 2, 0);
        if (level <= 1) {
            if (is_constant(node)) {
                const bool truth = !obj_const_equals(node, 0.0);
                make_constant(node, 2, truth ? 1 : 0);
                const bool decided = level == 0 ? truth : !truth;
                if (!decided) {
                    if (is_constant(right))
                        make_constant(node, 2, obj_const_equals(right, 0.0) ? 0 : 1);
                    else
                        make_value(node, 2);
                }
                continue;
            }
            make_value(node, 2);
            continue;
        }
        if (!fold_constants(text, node, right))
            make_value(node, 2);
        node->type = 2;
    }
}

object *sizeof_equality(object *node)
{
    sizeof_relational(node);
    for (;;) {
        skip_white();
        const char *op = match_operator({"==", "!="});
        if (!op)
            return node;
        object *right = fresh_node();
        sizeof_relational(right);
        comparison_result(op, node, right);
    }
}

object *sizeof_relational(object *node)
{
    sizeof_shift(node);
    for (;;) {
        skip_white();
        const char c = at();
        if ((c != '<' && c != '>') || input_pointer()[1] == c)
            return node;
        const char *op = match_operator({"<=", ">=", "<", ">"});
        if (!op)
            return node;
        object *right = fresh_node();
        sizeof_shift(right);
        comparison_result(op, node, right);
    }
}

object *sizeof_shift(object *node)
{
    sizeof_additive(node);
    for (;;) {
        skip_white();
        const char c = at();
        if ((c != '<' && c != '>') || input_pointer()[1] != c || compound_assignment_length())
            return node;
        const char *op = match_operator({"<<", ">>"});
        if (!op)
            return node;
        sizeof_widening_operand(op, &sizeof_additive, node);
    }
}

namespace {

// A level of one-character operators over `operand`; an operator that begins a compound
// assignment ends it.
object *character_level(object *node, const char *texts, SizeofLevel operand)
{
    operand(node);
    for (;;) {
        skip_white();
        const char c = at();
        if (c == '\0' || !std::strchr(texts, c) || compound_assignment_length())
            return node;
        consume();
        const char op[2] = {c, '\0'};
        sizeof_widening_operand(op, operand, node);
    }
}

}  // namespace

object *sizeof_additive(object *node) { return character_level(node, "+-", &sizeof_multiplicative); }

object *sizeof_multiplicative(object *node) { return character_level(node, "*/%", &sizeof_unary); }

object *sizeof_widening_operand(const char *op, SizeofLevel level, object *node)
{
    object *right = fresh_node();
    level(right);
    if (!plain(node) && !plain(right) && op[0] == '-' && op[1] == '\0') {
        make_value(node, 2);  // a pointer difference counts elements
        return right;
    }
    if (!plain(node))
        return right;  // pointer arithmetic keeps the pointer
    if (!plain(right)) {
        const uint16_t type = node->type;
        *node = *right;
        if (type >= 16 || right->type >= 16)
            report_incompatible_operands();
        node->kind = 255;
        return right;
    }
    const uint16_t larger = std::max(node->type, right->type);
    if (!fold_constants(op, node, right))
        make_value(node, larger);
    node->type = larger;
    return right;
}

// ---- the unary level ------------------------------------------------------------------------------

namespace {

// "&": the node becomes the address of what it named.
void take_address(object *node)
{
    if (!check_not_void(node))
        return;
    if (!node->sym || node->kind == 2 || node->kind == 255 || node->kind == 254) {
        node->declarator = (node->declarator << 4) | kDeclPointer;
    } else if (first_level(node) == kDeclArray && decl_level(node->declarator, 1) == kDeclFunction) {
        node->declarator = (node->declarator & ~3u) | kDeclPointer;
    } else {
        std::vector<uint16_t> &dims = g_address_dims.emplace_back(1, uint16_t(1));
        if (node->dims)
            dims.insert(dims.end(), node->dims, node->dims + node->dim_count);
        node->declarator = (node->declarator << 4) | kDeclArray;
        node->dims = dims.data();
        node->dim_count = static_cast<uint8_t>(std::min<std::size_t>(dims.size(), 255));
        node->address_of = 1;
    }
    set_lvalue(node, false);
    clear_writable(node);
}

// "+", "-", "~" and "!" after their operand was evaluated.
void arithmetic_prefix(char c, object *node)
{
    if (!check_not_void(node))
        return;
    if (c == '!') {
        if (is_constant(node))
            make_constant(node, 2, obj_const_equals(node, 0.0) ? 1 : 0);
        else
            make_value(node, 2);
        return;
    }
    if (is_constant(node)) {
        if (c == '-' && node->type == 7) {
            float f;
            std::memcpy(&f, &node->value, sizeof f);
            f = -f;
            std::memcpy(&node->value, &f, sizeof f);
        } else if (c == '-') {
            node->value = 0u - node->value;
        } else if (c == '~') {
            node->value = ~node->value;
        }
        return;
    }
    if (c != '+' && plain(node) && node->type == 1) {
        // The code generator widens the char and narrows the result again.
        type_only_conversion(node, 2, false, 0);
        type_only_conversion(node, 1, false, kConvMaskChar);
    }
    set_lvalue(node, false);
    clear_writable(node);
}

// "(" type-name abstract-declarator ")" unary, after the type name was read.
void cast(int32_t type, object *node)
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

    sizeof_unary(node);
    if (nesting_refused() || !check_not_void(node))
        return;
    const uint32_t operand_first = first_level(node);
    const uint16_t cast_type = static_cast<uint16_t>(type < 0 ? 0 : type);
    type_only_conversion(node, cast_type, cast_first != kDeclNone,
                         kConvWarnLostDigits | kConvMaskChar);
    if (cast_type == 12 && word == 0) {
        node->type = 12;
        node->declarator = 0;
        return;
    }
    node->type = cast_type;
    if (cast_first == kDeclPointer && operand_first == kDeclArray)
        node->declarator = (word & ~3u) | kDeclArray;
    else
        node->declarator = word;
}

}  // namespace

object *sizeof_unary(object *node)
{
    skip_white();
    for (const char *word : {"waitfordone", "waitforfirstdone"})
        if (match_keyword(word))
            return node;
    if (match_keyword("sizeof")) {
        (void)parse_sizeof_operand(node);
        return node;
    }
    NestedOperand nested;
    if (!nested.entered())
        return refuse_nesting(node);
    DeclaratorContextKept context;

    const char c = at();
    if ((c == '+' || c == '-') && input_pointer()[1] == c) {
        (void)scan_increment_operator();
        sizeof_unary(node);
        if (!is_writable(node))
            error_here(msg(kMsgExprReadOnly));
        return node;
    }
    if (c == '*' || c == '&' || c == '+' || c == '-' || c == '~' || c == '!') {
        consume();
        sizeof_unary(node);
        if (nesting_refused())
            return node;
        if (c == '*') {
            if (check_not_void(node))
                sizeof_dereference(node);
        } else if (c == '&') {
            take_address(node);
        } else {
            arithmetic_prefix(c, node);
        }
        return node;
    }
    if (c == '(') {
        consume();
        skip_white();
        if (const int32_t type = parse_type_or_typedef()) {
            cast(type, node);
            return node;
        }
        return sizeof_postfix(node, 1);
    }
    return sizeof_postfix(node, 0);
}

void sizeof_dereference(object *node)
{
    const uint32_t first = first_level(node);
    if (first == kDeclArray) {
        if (node->dims && node->dim_count > 0) {
            ++node->dims;
            --node->dim_count;
        }
    } else if (first != kDeclPointer) {
        error_here(msg(kMsgExprNotAPointer));
        return;
    }
    node->declarator >>= 4;
    node->dereferenced = 1;
    node->address_of = 0;  // what the address named is an object again
    set_lvalue(node, first_level(node) != kDeclArray);
    set_writable(node);
}

// ---- the postfix level ------------------------------------------------------------------------------

namespace {

// Skips to the ")" that closes a group whose "(" was read, and consumes it.
void skip_to_group_end()
{
    for (int depth = 1;;) {
        skip_white();
        const char c = at();
        if (c == '\0' || c == ';')
            return;
        consume();
        if (c == '(')
            ++depth;
        else if (c == ')' && --depth == 0)
            return;
    }
}

// "CofuncMaxInstance" "(" cofunction-name ")": the cofunction's instance count.
void cofunc_max_instance(object *node)
{
    skip_white();
    bool open = false;
    if (at() == '(') {
        consume();
        open = true;
        skip_white();
        char name[kMaxIdentifier + 1];
        if (scan_identifier(name, false, false)) {
            if (symbol *entry = find_symbol(name, false, kGlobalTable)) {
                object named{};
                obj_from_symbol(&named, entry);
                const uint32_t instances = cofunction_instances(&named);
                skip_white();
                if (instances != 0 && at() == ')') {
                    consume();
                    make_constant(node, 2, instances);
                    return;
                }
            }
        }
    }
    error_here(msg(kMsgSizeofCofuncMaxInstance));
    if (open)
        skip_to_group_end();
    make_constant(node, 2, 0);
}

// A built-in named by the primary: its result type. True when its argument list stays at the
// cursor for the call that follows.
bool builtin(object *node, int code)
{
    switch (code) {
    case 1:
        cofunc_max_instance(node);
        return false;
    case 18:  // "ipres" "(" ")"
        skip_white();
        if (at() == '(')
            consume();
        require_closing(')');
        make_value(node, 12);
        return false;
    case 4:
        make_value(node, 3);
        return true;
    case kBuiltinRdPortI:
    case kBuiltinBitRdPortI:
        make_value(node, 2);
        return true;
    default:  // "SET", "RES", "WrPortI", "BitWrPortI", "ipset"
        make_value(node, 12);
        return true;
    }
}

// "(" arguments ")" after a callee, the "(" consumed.
void call(object *node)
{
    bool through_pointer = false;
    if (first_level(node) == kDeclPointer && decl_level(node->declarator, 1) == kDeclFunction) {
        node->declarator >>= 4;
        through_pointer = true;
    }
    int count = 0;
    if (first_level(node) != kDeclFunction) {
        error_here(msg(kMsgSizeofNeedCall));
        sizeof_call_arguments({}, count);
        make_value(node, 2);
        return;
    }
    const bool direct = !through_pointer && obj_is_function(node);
    const bool indirect = through_pointer || node->kind == 254 || node->kind == 255;
    if (cofunction_instances(node) != 0)
        error_here(msg(kMsgSizeofCofunctionCall));
    if (indirect && node->type >= 16 && decl_level(node->declarator, 1) == kDeclNone)
        error_here(msg(kMsgSizeofIndirectStructure));
    if (!direct && !indirect)
        error_here(msg(kMsgSizeofInvalidCall));
    std::vector<PrototypeEntry> prototype;
    if (direct && node->sym != placeholder_symbol())
        prototype = function_prototype(node->sym->name);
    sizeof_call_arguments(prototype, count);
    make_value(node, node->type, node->declarator >> 4);
}

// "." or "->" and the member name: the node becomes the member.
void member(object *node, bool arrow)
{
    const uint32_t first = first_level(node);
    const bool fits = arrow ? first == kDeclPointer || first == kDeclArray : is_struct_value(node);
    symbol *found = nullptr;
    if (fits) {
        skip_white();
        char name[kMaxIdentifier + 1];
        if (scan_identifier(name, false, false))
            found = find_member(name, node->type);
    }
    if (!found) {
        error_here(msg(kMsgExprBadStructReference));
        error_recovery();
        make_constant(node, 2, 0);
        return;
    }
    node->type = static_cast<uint16_t>(found->type);
    node->declarator = found->declarator;
    node->dims = found->dims;
    node->dim_count = found->dim_count;
    set_lvalue(node, true);
    set_writable(node);
}

// "[" index "]", the bracket consumed.
void subscript(object *node)
{
    const uint32_t first = first_level(node);
    const bool indexable = first == kDeclArray || first == kDeclPointer;
    if (!indexable) {
        const char *name = obj_name(node);
        const char *tag = node->sym && node->sym != placeholder_symbol() ? node->sym->name : nullptr;
        error_here(msg(kMsgExprCannotSubscript), name ? name : "unknown",
                   format_type_name(node->type, node->declarator, tag).c_str());
    }
    object *index = fresh_node();
    sizeof_comma_expression(index, 0);
    if (indexable)
        sizeof_dereference(node);
    require_closing(']');
}

// An indexed cofunction's "[" index "]", or its absence.
void cofunction_index(object *node)
{
    const uint32_t instances = cofunction_instances(node);
    if (at() != '[') {
        if (instances != 1)
            error_here(msg(kMsgExprSimpleIndexedCofunc));
        return;
    }
    if (instances == 1)
        error_here(msg(kMsgExprIndexedSimpleCofunc));
    consume();
    object *index = fresh_node();
    sizeof_comma_expression(index, 0);
    if (plain(index) && index->type != 0 && index->type < 12)
        type_only_conversion(index, 2, false, 0);
    require_closing(']');
    skip_white();
}

}  // namespace

object *sizeof_postfix(object *node, int flag)
{
    sizeof_primary(node, flag);
    bool arguments_follow = false;
    if (node->builtin_id) {
        const int code = node->builtin_id;
        node->builtin_id = 0;
        arguments_follow = builtin(node, code);
    }
    for (;;) {
        skip_white();
        if (!arguments_follow && first_level(node) == kDeclFunction &&
            cofunction_instances(node) != 0)
            cofunction_index(node);
        const char c = at();
        if (c == '(') {
            consume();
            if (arguments_follow) {
                int count = 0;
                sizeof_call_arguments({}, count);
                arguments_follow = false;
            } else {
                call(node);
            }
        } else if (c == '[') {
            consume();
            subscript(node);
        } else if (c == '.') {
            consume();
            member(node, false);
        } else if (c == '-' && input_pointer()[1] == '>') {
            consume();
            consume();
            member(node, true);
        } else if ((c == '+' || c == '-') && input_pointer()[1] == c) {
            (void)scan_increment_operator();
            if (!is_writable(node))
                error_here(msg(kMsgExprReadOnly));
            set_lvalue(node, false);
            clear_writable(node);
        } else {
            break;
        }
    }
    if (first_level(node) == kDeclFunction)
        finish_function_designator(node, false);
    return node;
}

void sizeof_call_arguments(const std::vector<PrototypeEntry> &prototype, int &count)
{
    count = 0;
    skip_white();
    if (at() != ')') {
        for (;;) {
            object *argument = fresh_node();
            sizeof_assignment(argument, 0);
            ++count;
            skip_white();
            if (at() != ',')
                break;
            consume();
        }
    }
    if (!prototype.empty() && IdePreferences().function_prototypes) {
        const bool variadic = prototype.back().passing == 254;
        const int parameters = static_cast<int>(prototype.size()) - 1;
        if (count > parameters && !variadic)
            serious_warning_here("%s", msg(kMsgSizeofTooManyArguments));
        else if (count < parameters)
            trivial_warning_here("%s", msg(kMsgSizeofTooFewArguments));
    }
    skip_white();
    if (at() == ')') {
        consume();
        return;
    }
    report_missing(")");
    note_bracket(')', current_line(), current_column());
}

// ---- primaries ------------------------------------------------------------------------------------

object *sizeof_primary(object *node, int flag)
{
    skip_white();
    if (flag || at() == '(') {
        if (!flag)
            consume();
        sizeof_comma_expression(node, 0);
        require_closing(')');
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
    if (parse_string_literal(node, false))
        return node;
    error_here(msg(kMsgExprInvalid));
    make_constant(node, 2, 0);
    error_recovery();
    return node;
}

void reset_sizeof_evaluator()
{
    g_address_dims.clear();
    g_chain = 0;
}
