// CC_CALL: function and cofunction calls (see CC_CALL.h).
#include "CC_CALL.h"

#include "CC_ARGREV.h"
#include "CC_DECL.h"
#include "CC_DECLR.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_GLINE.h"
#include "CC_HIER.h"
#include "input/CC_IN.h"
#include "CC_LABELS.h"
#include "core/CC_OBJ.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"
#include "codegen/CC_CONV.h"
#include "codegen/CC_Z80.h"
#include "codegen/CC_Z80BLT.h"
#include "codegen/CC_Z80CALL.h"
#include "codegen/CC_Z80GEN.h"
#include "codegen/CC_Z80LOAD.h"
#include "linker/MAPFILE.h"
#include "settings/guiKXPreferences.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void release_keeping_hl(int16_t n) { gen_adjust_stack(n, true); }

// The Z180 releases words with "pop af", which would lose A: single bytes with "inc sp", or
// through HL in the other register set.
void release_keeping_a(int16_t n)
{
    if (!cpu_is_z180()) {
        gen_adjust_stack(n, true);
        return;
    }
    if (n <= 8) {
        for (int i = 0; i < n; ++i)
            outasm("inc sp");
        return;
    }
    outasm("exx");
    outasm("ld hl, %d", int(n));
    outasm("add hl, sp");
    outasm("ld sp, hl");
    outasm("exx");
}


WaitfordoneCalls g_waitfordone;
std::function<bool()> g_context_loader;

uint32_t here() { return current_code_cache().current; }

bool prototype_checks() { return IdePreferences().function_prototypes; }

// What a called function keeps from its declaration: its cofunction instance count, whether it
// is shared ("scofunc") and whether it carries the "firsttime" mark.
struct CalleeTraits {
    uint32_t instances = 0;
    bool shared = false;
    bool first_time = false;
};

CalleeTraits traits_of(const symbol *function)
{
    CalleeTraits t;
    if (!function || function == placeholder_symbol() || !function->name)
        return t;
    const uint32_t word = function_flag_word(function->name);
    t.instances = cofunction_count(word);
    t.shared = (word & kDeclSingleUser) != 0;
    t.first_time = (word & kDeclFirstTime) != 0;
    return t;
}

bool called_by_name(const object *callee)
{
    return (callee->kind == 1 || callee->kind == 3 || callee->kind == 252) && callee->sym &&
           callee->sym != placeholder_symbol() && decl_level(callee->declarator, 0) == kDeclFunction;
}

// A structure returned by value: a tag type with no level behind the function's own.
bool returns_structure(const object *callee)
{
    return callee->type >= kTypeFirstTag && decl_level(callee->declarator, 1) == kDeclNone;
}

bool is_structure_value(const object *node)
{
    return node->type >= kTypeFirstTag && decl_level(node->declarator, 0) == kDeclNone;
}

// The bytes an argument occupies on the stack: its type's size, at least 2; a pointer or an
// array (its address) 2.
uint16_t pushed_size(const object *node)
{
    if (decl_level(node->declarator, 0) != kDeclNone)
        return 2;
    const uint16_t size = is_structure_value(node) ? static_cast<uint16_t>(tag_size(node->type))
                                                   : type_size(node->type);
    return size < 2 ? 2 : size;
}

void skip_argument_blanks()
{
    while (is_blank_char(*input_pointer()))
        advance_input(1);
}

// The cofunction runtime's words of the context: the address of the enclosing costatement's
// or cofunction's context into HL and pushed.
void push_cofunction_context()
{
    load_cofunction_context();
    outasm("push hl");
}

// A structure argument: its size reserved on the stack (what the registers hold survives) and
// the structure copied into it. A structure a call left on the stack is the argument already.
void push_structure_argument(object *node, uint16_t size)
{
    if (node->kind == 254)
        return;
    gen_adjust_stack(static_cast<int16_t>(-size), true);
    add_stack_offset(static_cast<int16_t>(-size));
    if (!(node->kind == 255 && obj_flag(node, addressInRegisters)))
        gen_load_address_hl(node);
    // HL the source, DE the reserved space at the stack top.
    outasm("ex de, hl");
    outasm("ld hl, 0");
    outasm("add hl, sp");
    outasm("ex de, hl");
    gen_load_register_const(kRidBC, size);
    object destination{};
    destination.flags[0] = static_cast<uint8_t>(obj_storage_bits(node) << 2);
    gen_block_move(&destination, size);
    node->kind = 254;
}

// The function-pointer slot that lies `above` bytes above the stack top, pushed again on top.
void push_pointer_slot(uint16_t above)
{
    outasm("ld hl, %d", above);
    outasm("add hl, sp");
    outasm("ld a, (hl)");
    outasm("inc hl");
    outasm("ld h, (hl)");
    outasm("ld l, a");
    gen_push_register(kRidHL);
}

}  // namespace

WaitfordoneCalls &waitfordone_calls() { return g_waitfordone; }

void set_cofunction_context_loader(std::function<bool()> loader) { g_context_loader = std::move(loader); }

// Set while a cofunction call outside any "waitfordone" is compiled: 2049 said so already, so
// the missing context is not reported again by each load of it.
static bool g_outside_waitfordone = false;

void load_cofunction_context()
{
    if ((!g_context_loader || !g_context_loader()) && !g_outside_waitfordone)
        error_here("%s", msg(kMsgCallNoContext));
}

void reset_call_state()
{
    g_waitfordone = WaitfordoneCalls{};
}

// ---- the argument list ------------------------------------------------------------------------------

void check_argument_count(int arguments, int parameters)
{
    if (arguments < parameters && prototype_checks())
        serious_warning_here("%s", msg(kMsgCallTooFewArguments));
}

int convert_argument(object *node, const PrototypeEntry *entry, bool push)
{
    int compatibility = -1;
    if (entry) {
        compatibility = classify_assignment(entry->type, node->type, entry->word, node->declarator);
        const bool convertible = compatibility == kAssignCompatible ||
                                 compatibility == kAssignLevels ||
                                 compatibility == kAssignScalarPointer;
        const bool as_pointer = decl_level(entry->word, 0) != kDeclNone;
        // Only a constant converts without code when nothing is to be pushed: the checking pass
        // of a built-in must leave no code behind.
        if (convertible && (push || node->kind == 0)) {
            if (push && node->kind != 0)
                gen_load_value(node);
            ConvertCCObject(node, as_pointer ? 12 : entry->type, as_pointer, 0);
        }
    }
    // An argument whose address is what the registers hold (an element, a member reached
    // through a pointer) is pushed as the value there, with a prototype or without one.
    const bool address_held = node->kind == 255 && obj_flag(node, addressInRegisters);
    if (push && (node->kind != 255 || address_held))
        gen_load_value(node);
    return compatibility;
}

int push_argument_list(const std::vector<PrototypeEntry> &prototype, object *callee, object *node,
                       uint16_t &bytes, bool push)
{
    const int given = reversed_argument_count();
    // A cofunction's arguments are evaluated only when it starts: the code that pushes them is
    // skipped while the context says it runs already.
    const CalleeTraits traits = called_by_name(callee) ? traits_of(callee->sym) : CalleeTraits{};
    uint32_t skip_operand = 0;
    if (push && given > 0 && (traits.shared || traits.instances > 0)) {
        load_cofunction_context();
        outasm(traits.shared ? "bit 0, (hl)" : "bit 7, (hl)");
        emit_code_byte(traits.shared ? 0xC2 : 0xCA);
        skip_operand = here();
        emit_word(0);
    }
    int parameters = 0;
    while (parameters < static_cast<int>(prototype.size()) &&
           prototype[static_cast<std::size_t>(parameters)].passing < 254)
        ++parameters;
    int read = 0;
    for (;;) {
        skip_argument_blanks();
        if (*input_pointer() == ')' || *input_pointer() == '\0')
            break;
        (void)parse_call_argument(node);
        // The reversed text holds the last argument first: its parameter is counted from the end.
        const int source_index = given - 1 - read;
        const PrototypeEntry *entry =
            source_index >= 0 && source_index < parameters
                ? &prototype[static_cast<std::size_t>(source_index)]
                : nullptr;
        if (is_structure_value(node)) {
            const uint16_t size = pushed_size(node);
            if (push)
                push_structure_argument(node, size);
            bytes = static_cast<uint16_t>(bytes + size);
        } else {
            (void)convert_argument(node, entry, push);
            const uint16_t size = pushed_size(node);
            if (push)
                gen_push_value(node);
            bytes = static_cast<uint16_t>(bytes + size);
        }
        ++read;
        skip_argument_blanks();
        if (*input_pointer() != ',')
            break;
        advance_input(1);
    }
    skip_argument_blanks();
    if (*input_pointer() == ')')
        advance_input(1);
    else
        error_here(msg(kMsgCallMissing), ")");
    // The list's own ")" was read with it, whatever stands here.
    note_bracket(')', current_line(), current_column());
    if (skip_operand != 0)
        patch_code_word(skip_operand, static_cast<uint16_t>(addr_offset(here())));
    return read;
}

std::vector<PrototypeEntry> checked_prototype(object *callee, bool push)
{
    std::vector<PrototypeEntry> prototype;
    if (!(callee->kind == 254 && !push) && callee->sym && callee->sym != placeholder_symbol() &&
        callee->sym->name && decl_level(callee->declarator, 0) == kDeclFunction)
        prototype = function_prototype(callee->sym->name);
    if (prototype.empty())
        return prototype;
    std::size_t parameters = 0;
    while (prototype[parameters].passing < 254)
        ++parameters;
    const bool variadic = prototype[parameters].passing == 254;
    const std::size_t given = static_cast<std::size_t>(reversed_argument_count());
    if (given > parameters && !variadic) {
        if (prototype_checks())
            serious_warning_here("%s", msg(kMsgCallTooManyArguments));
        prototype.clear();
    } else if (!variadic) {
        check_argument_count(static_cast<int>(given), static_cast<int>(parameters));
    }
    return prototype;
}

uint16_t push_call_arguments(object *callee, uint16_t pushed, object *node, bool push)
{
    (void)push_argument_list(checked_prototype(callee, push), callee, node, pushed, push);
    return pushed;
}

// ---- the call -----------------------------------------------------------------------------------------

int emit_call_instruction(const char *name, uint16_t &counter, ADDR24 known, const symbol *function)
{
    if (std::strncmp(name, "FPUSH", 5) == 0 || std::strncmp(name, "FNULL", 5) == 0)
        return 0;
    flush_pending_value();
    mapfile_add_call(name);
    if (traits_of(function).first_time) {
        if (!g_context_loader || !g_context_loader()) {
            error_here(msg(kMsgCallNoCostate), "First Time Func");
        } else {
            outasm("push hl");
            add_stack_offset(-2);
            counter = static_cast<uint16_t>(counter + 2);
        }
    }
    if (cofunction_count(current_decl_flags().word) != 0)
        mark_statement_here(input_column());
    // An xmem function is entered through its root stub: the frame it sets up counts the stub's
    // return address, whichever code calls it.
    if (known != kDummyAddress && function && addr_offset(known) >= window_start() &&
        function->address[kRootStubAddressSlot] != kDummyAddress)
        known = function->address[kRootStubAddressSlot];
    uint32_t target = known;
    if (target == kDummyAddress) {
        const uint32_t flags = fixup_flags_for_opcode(kOpCall) | kFixOpcodeFollows | kLabelGlobal;
        const int kind = fixup_kind_from_flags(true, fixup_flags_for_opcode(kOpCall));
        target = reference_label(name, addr_add(here(), kind), flags);
    }
    uint32_t operand = 0;
    emit_branch_instruction(target, kOpCall, &operand, function);
    forget_hl_contents();
    return 1;
}

void gen_function_call(object *callee)
{
    object *node = gObjectPool.new_object();
    const int saved_count = reversed_argument_count();
    skip_argument_blanks();

    const bool by_name = called_by_name(callee);
    const CalleeTraits traits = by_name ? traits_of(callee->sym) : CalleeTraits{};
    const bool cofunction = traits.instances > 0;
    WaitfordoneCalls &wait = g_waitfordone;
    struct OutsideWaitfordone {
        bool was = g_outside_waitfordone;
        ~OutsideWaitfordone() { g_outside_waitfordone = was; }
    } outside;
    if (cofunction && wait.header == kDummyAddress) {
        error_here("%s", msg(kMsgCallCofuncOutside));
        g_outside_waitfordone = true;
    }
    flush_pending_value();

    const char *name = by_name ? callee->sym->name : "";
    uint16_t pushed = 0;
    std::string lock_skip;
    uint32_t lock_byte = 0;
    if (cofunction && traits.shared) {
        // One caller at a time: the lock byte says whether the cofunction is busy.
        lock_skip = make_unique_label("KXLAB");
        lock_byte = emit_zero_bytes(1, false);
        gen_load_register_const(kRidHL, static_cast<int32_t>(lock_byte & 0xFFFF));
        outasm("ld a, (hl)");
        outasm("cp 0xff");
        outasm("ld b, a");
        outasm("jp nz, %s", lock_skip.c_str());
        wait.lock_address = lock_byte;
        ++wait.lock_count;
        outasm("push hl");
        push_cofunction_context();
        uint16_t ignored = 0;
        (void)emit_call_instruction(name, ignored, callee->sym->address[kFunctionAddressSlot],
                                    callee->sym);
        outasm("pop bc");
        outasm("pop hl");
        outasm("or a");
        emit_code_byte(0xC2);  // jp nz: the waitfordone statement completes it
        wait.pending_jump = here();
        emit_word(0);
        define_label(lock_skip.c_str(), here(), kLabelLocal);
    }

    const bool structure = returns_structure(callee) && !(callee->kind == 254 || callee->kind == 255);
    uint16_t structure_size = 0;
    if (returns_structure(callee)) {
        if (!by_name) {
            error_here("%s", msg(kMsgCallIndirectStruct));
        } else if (structure) {
            structure_size = static_cast<uint16_t>(tag_size(callee->type));
            gen_adjust_stack(static_cast<int16_t>(-structure_size), true);
            add_stack_offset(static_cast<int16_t>(-structure_size));
        }
    }

    const bool through_pointer = !by_name && callee->kind != 1 && callee->kind != 3 &&
                                 callee->kind != 252;
    if (through_pointer) {
        if (callee->kind == 255) {
            gen_push_value(callee);
        } else if (callee->kind != 254) {
            gen_load_value(callee);
            gen_push_value(callee);
        }
        callee->kind = 254;
    }

    uint16_t arguments = 0;
    {
        ReverseFunctionArguments reversed;
        if (!reversed.active())
            note_bracket(')', current_line(), current_column());  // the list was read over
        if (reversed.active()) {
            if (reversed_argument_count() > 0)
                arguments = push_call_arguments(callee, 0, node, true);
            else
                (void)push_argument_list({}, callee, node, arguments, true);
        }
    }
    pushed = arguments;

    int result_flag = 1;
    if (by_name) {
        if (traits.instances == 1) {
            emit_code_byte(0x06);  // ld b, 0
            emit_code_byte(0x00);
            outasm("ld c, %d", wait.index);
            outasm("push bc");
            if (traits.shared) {
                outasm("ld hl, %d", static_cast<int>(lock_byte & 0xFFFF));
                outasm("push hl");
                outasm("ld a, (hl)");
            }
            push_cofunction_context();
        } else if (traits.instances >= 2) {
            const uint16_t index = cofunction_index_counter();
            char label[32];
            std::snprintf(label, sizeof label, "cofif_%04x_1", index);
            outasm("jp %s", label);
            std::snprintf(label, sizeof label, "cofif_%04x_2", index);
            define_label(label, here(), kLabelGlobal);
            outasm("ld b, l");
            outasm("ld c, %d", wait.index);
            outasm("push bc");
            if (traits.shared) {
                outasm("ld hl, %d", static_cast<int>(lock_byte & 0xFFFF));
                outasm("push hl");
            }
            push_cofunction_context();
        }
        result_flag = emit_call_instruction(name, pushed, callee->sym->address[kFunctionAddressSlot],
                                            callee->sym);
    } else if (through_pointer) {
        uint32_t &options = current_decl_flags().word;
        const uint32_t cofunction_field = options & kDeclCofuncMask;
        options &= ~kDeclCofuncMask;
        object pointer{};
        set_object(&pointer, 254, 12, kDeclPointer, nullptr, 0, nullptr, 0, false, false);
        if (pushed != 0) {
            // The pointer lies under the arguments: a copy of it goes on top, the slot stays in
            // what is released after the call.
            push_pointer_slot(pushed);
            pushed = static_cast<uint16_t>(pushed + 2);
        }
        gen_indirect_call(&pointer);
        options |= cofunction_field;
        forget_hl_contents();
    } else {
        error_here("%s", msg(kMsgCallInvalid));
    }

    if (result_flag == 0) {
        set_condition_state(false, false);
    } else {
        std::string after;
        if (cofunction) {
            outasm("ex af,af'");
            outasm("rla");
            if (traits.shared || pushed != 0) {
                after = make_unique_label("KXLAB");
                outasm("jp c, %s", after.c_str());
            }
        }
        // A cofunction's runtime hands its verdict back in A: the release keeps it.
        const auto release = cofunction ? &release_keeping_a : &release_keeping_hl;
        if (pushed != 0)
            release(static_cast<int16_t>(pushed));
        if (!after.empty())
            define_label(after.c_str(), here(), kLabelLocal);
        if (cofunction) {
            const int16_t extra = traits.shared ? 6 : 4;
            release(extra);
        }
    }
    // What "FPUSH" pushed stays on the stack for code that knows of it: the tracker counts
    // only what the expression itself left.
    add_stack_offset(static_cast<int16_t>(pushed));
    set_reversed_argument_count(saved_count);
}
