// CC_Z80PIO: the port built-ins, inline or as calls.
#include "CC_Z80PIO.h"

#include "CC_ASM.h"
#include "driver/CC_FIOZ8.h"
#include "parser/CC_HIER.h"
#include "input/CC_IN.h"
#include "parser/CC_LABELS.h"
#include "core/CC_OBJ.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"
#include "CC_STUBS.h"
#include "CC_Z80.h"
#include "CC_Z80BLT.h"
#include "CC_Z80CALL.h"
#include "CC_Z80GEN.h"
#include "CC_Z80LOAD.h"
#include "linker/EMITCACHE.h"

#include <cstring>
#include <string>

namespace {

uint32_t here() { return current_code_cache().current; }

// An argument's value at compile time: a number, or an address whose label is not placed yet
// (written as 0 with a label reference carrying the offset).
struct KnownValue {
    bool known = false;
    int32_t value = 0;
    std::string label;  // set while the address is pending
    int32_t offset = 0;
};

KnownValue compile_time_value(const object *node)
{
    KnownValue k;
    if (node->kind == 0) {
        k.known = true;
        if (node->type == 7) {
            float f;
            std::memcpy(&f, &node->value, sizeof f);
            k.value = static_cast<int32_t>(f);
        } else {
            k.value = static_cast<int32_t>(node->value);
        }
        return k;
    }
    const bool address = (node->address_of || decl_level(node->declarator, 0) == kDeclArray) &&
                         node->kind != 2 && node->kind != 255 && !node->dereferenced;
    if (!address)
        return k;
    k.known = true;
    const int32_t offset = static_cast<int16_t>(node->value & 0xFFFF);
    const symbol *s = node->sym;
    const char *name = obj_name(node);
    if (s == placeholder_symbol()) {  // a string literal: its own label
        if (name && *name) {
            k.label = name;
            k.offset = offset;
        } else {
            k.value = offset;
        }
        return k;
    }
    if (!s || !name || !*name) {
        k.value = offset;
        return k;
    }
    if (obj_address_known(node) && s->address[0] != kDummyAddress) {
        k.value = addr_offset(s->address[0]) + offset;
        return k;
    }
    k.label = name;
    k.offset = offset;
    return k;
}

// One line with an address operand in its last two bytes: the number, or 0 and a label
// reference on those bytes. The line starts where the cache stands (each line before it left
// room for it), so its operand lies at start + length - 2.
void address_line(const char *format, const KnownValue &k, int length)
{
    const uint32_t start = here();
    if (k.label.empty()) {
        outasm(format, static_cast<int>(static_cast<uint16_t>(k.value)));
        return;
    }
    outasm(format, 0);
    (void)reference_label(k.label.c_str(), addr_add(start, length - 2), kLabelGlobal,
                          static_cast<uint16_t>(k.offset));
}

int arguments_of(int code)
{
    switch (code) {
    case kBuiltinWrPortI: return 3;
    case kBuiltinRdPortI: return 1;
    case kBuiltinBitRdPortI: return 2;
    case kBuiltinBitWrPortI: return 4;
    default: return 0;
    }
}

const char *function_of(int code)
{
    switch (code) {
    case kBuiltinWrPortI: return "WrPortI";
    case kBuiltinRdPortI: return "RdPortI";
    case kBuiltinBitRdPortI: return "BitRdPortI";
    default: return "BitWrPortI";
    }
}

int g_long_call_nesting = 0;

// Raised for one trial reading; lowered again however the reading ends, never below 0.
struct LongCallNesting {
    LongCallNesting() { ++g_long_call_nesting; }
    ~LongCallNesting() { g_long_call_nesting = g_long_call_nesting > 0 ? g_long_call_nesting - 1 : 0; }
    LongCallNesting(const LongCallNesting &) = delete;
    LongCallNesting &operator=(const LongCallNesting &) = delete;
};

// The arguments read once for their knowledge, everything they compiled thrown away, messages
// held back (the real reading reports them) and the input put back. WrPortI's value, read
// first, may compile code; every other argument must be known without any.
bool arguments_known(int code)
{
    const LexerPlace start = lexer_place();
    const bool was_reporting = reporting();
    const LiteralPool pooled = literal_pool();
    bool known = true, emitted = false;
    {
        DiscardedCode discarded;
        const LongCallNesting nesting;
        set_asm_dry_run_depth(asm_dry_run_depth() + 1);
        set_reporting(false);
        uint32_t mark = here();
        for (int i = 0; i < arguments_of(code) && known; ++i) {
            (void)skip_blanks();
            if (i > 0 && !match_text(",")) {
                known = false;
                break;
            }
            object argument{};
            (void)parse_call_argument(&argument);
            if (code == kBuiltinWrPortI && i == 0) {
                mark = here();
                continue;
            }
            known = compile_time_value(&argument).known;
        }
        emitted = here() != mark;
        set_reporting(was_reporting);
        set_asm_dry_run_depth(asm_dry_run_depth() - 1);
    }
    restore_literal_pool(pooled);
    restore_lexer_place(start);
    return known && !emitted;
}

// The ordinary call: every argument in the reversed order converted to int (the shadow to a char
// pointer), loaded and pushed; the call; the arguments released with HL kept.
void gen_call_form(int code, BuiltinArguments &args, object *first_read = nullptr)
{
    const int count = arguments_of(code);
    const bool has_shadow = code == kBuiltinWrPortI || code == kBuiltinBitWrPortI;
    for (int i = 0; i < count; ++i) {
        object argument{};
        object *node = &argument;
        if (i == 0 && first_read) {
            node = first_read;
        } else {
            if (i > 0 && !args.next()) {
                gen_stack_adjust_tracked(static_cast<int16_t>(2 * i));
                return;
            }
            (void)parse_call_argument(node);
        }
        const bool shadow = has_shadow && i == count - 2;  // the second argument of the call
        gen_load_argument(node, shadow ? 1 : 2, shadow);
        gen_push_value(node);
    }
    args.close();
    (void)gen_call_named(function_of(code));
    gen_adjust_stack(static_cast<int16_t>(2 * count), true);
    add_stack_offset(static_cast<int16_t>(2 * count));
}

// The next argument, read for real (known, as the trial found).
KnownValue next_known(BuiltinArguments &args, bool first)
{
    if (!first && !args.next())
        return {};
    object argument{};
    (void)parse_call_argument(&argument);
    return compile_time_value(&argument);
}

// A bit number of a port built-in: its mask, or 0 after 487 for one outside the byte.
int bit_mask(const KnownValue &bit)
{
    if (!bit.label.empty() || bit.value < 0 || bit.value > 7) {
        error_here("%s", msg(kMsgCgBitTooLarge));
        return 0;
    }
    return 1 << bit.value;
}

void gen_wr_port_inline(BuiltinArguments &args)
{
    object value{};
    (void)parse_call_argument(&value);
    gen_load_argument(&value, 2, false);
    const KnownValue shadow = next_known(args, false);
    const KnownValue port = next_known(args, false);
    args.close();
    outasm("ld a,l");
    const bool no_shadow = shadow.label.empty() && shadow.value == 0;
    if (!no_shadow)
        outasm("ipset 1");
    address_line("ioi ld (%d),a", port, 4);
    if (no_shadow)
        return;
    address_line("ld (%d),a", shadow, 3);
    outasm("ipres");
}

void gen_bit_wr_port_inline(BuiltinArguments &args)
{
    const KnownValue bit = next_known(args, true);
    const KnownValue value = next_known(args, false);
    const KnownValue shadow = next_known(args, false);
    const KnownValue port = next_known(args, false);
    args.close();
    const int mask = bit_mask(bit);
    if (mask == 0)
        return;
    const bool set = !value.label.empty() || value.value != 0;
    outasm("ld a, %d", set ? mask : static_cast<int>(static_cast<int16_t>(~mask)));
    outasm("ipset 1");
    if (shadow.label.empty() && shadow.value == 0)
        error_here("%s", msg(kMsgCgShadowRequired));
    address_line("ld hl,%d", shadow, 3);
    outasm(set ? "or (hl)" : "and (hl)");
    outasm("ld (hl),a");
    address_line("ioi ld (%d),a", port, 4);
    outasm("ipres");
}

void gen_bit_rd_port_inline(BuiltinArguments &args)
{
    const KnownValue bit = next_known(args, true);
    const KnownValue port = next_known(args, false);
    args.close();
    const int mask = bit_mask(bit);
    if (mask == 0)
        return;
    address_line("ioi ld a,(%d)", port, 4);
    outasm("and %d", mask);
    outasm("bool hl");
    outasm("ld l,a");
    outasm("bool hl");
}

void gen_rd_port(BuiltinArguments &args)
{
    const uint32_t before = here();
    object port{};
    (void)parse_call_argument(&port);
    const KnownValue k = compile_time_value(&port);
    if (!cpu_is_f80() || !k.known || here() != before) {
        gen_call_form(kBuiltinRdPortI, args, &port);
        return;
    }
    args.close();
    address_line("ioi ld a, (%d)", k, 4);
    outasm("bool hl");
    outasm("ld l,a");
}

}  // namespace

int builtin_long_call_nesting() { return g_long_call_nesting; }

void gen_io_builtin_call(int code)
{
    if (arguments_of(code) == 0)
        return;
    BuiltinArguments args;
    if (!args.ok())
        return;
    if (code == kBuiltinRdPortI) {
        gen_rd_port(args);
        return;
    }
    // The prefixes and "ipset" are the F80's: the Z180 always calls.
    if (!cpu_is_f80() || !arguments_known(code)) {
        gen_call_form(code, args);
        return;
    }
    switch (code) {
    case kBuiltinWrPortI: gen_wr_port_inline(args); break;
    case kBuiltinBitWrPortI: gen_bit_wr_port_inline(args); break;
    default: gen_bit_rd_port_inline(args); break;
    }
}
