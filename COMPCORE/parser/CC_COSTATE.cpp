// CC_COSTATE: costatements, slices, waitfor, yield, abort, waitfordone and cofunctions (see
// CC_COSTATE.h). The runtime side of every sequence written here is COSTATE.LIB (TARGET/lib).
#include "CC_COSTATE.h"

#include "CC_CALL.h"
#include "CC_CHAIN.h"
#include "codegen/CC_CONV.h"
#include "CC_DECL.h"
#include "CC_DECLR.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_GLINE.h"
#include "CC_HIER.h"
#include "input/CC_IN.h"
#include "CC_LABELS.h"
#include "core/CC_OBJ.h"
#include "CC_PARSE.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"
#include "codegen/CC_Z80.h"
#include "codegen/CC_Z80CALL.h"
#include "codegen/CC_Z80FUNC.h"
#include "codegen/CC_Z80GEN.h"
#include "codegen/CC_Z80LOAD.h"
#include "linker/EMITCACHE.h"
#include "core/SEAM_CODEGEN.h"
#include "settings/guiKXPreferences.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---- state ------------------------------------------------------------------------------------

// Start kinds of a record: 0 a named costatement without option (stopped until started),
// 1 "init_on", 3 "always_on", unnamed costatements and slices (running from the start).
enum : uint8_t { kStartStopped = 0, kStartInitOn = 1, kStartRunning = 3 };

// The status bytes funcblk_exit leaves (and the start-up table's second byte): run again from
// the start, or stay stopped.
enum : uint8_t { kExitRestart = 2, kExitStop = 3 };

// Offsets in "FuncBlk".
constexpr int kResumeOffset = 1;
constexpr int kWaitforOffset = 5;
constexpr int kLockOffset = 6;   // then the number of calls at 8
constexpr int kDoneOffset = 11;  // the calls of a waitfordone that ended, one bit each
constexpr int kMaxWaitfordoneCalls = 16;
// Bytes in front of a cofunction instance's state block, kept by the cofunction runtime.
constexpr int kInstanceHeader = 6;
// Extra bytes of every cofunction instance: the header and the state block's 13 bytes.
constexpr int kInstanceExtra = 19;
// The largest "FuncBlk" an instance has room for.
constexpr int kMaxFuncBlk = kInstanceExtra - kInstanceHeader;

struct Record {
    ADDR24 address = kDummyAddress;
    uint8_t kind = kStartRunning;
};

// The innermost costatement, slice or cofunction; `symbol` is the named state variable, whose
// block is reached through its value when it is a pointer.
struct Context {
    uint32_t number = 0;
    ADDR24 state = kDummyAddress;
    symbol *sym = nullptr;
    bool pointer = false;
};

struct Cofunction {
    bool active = false;
    bool single_user = false;
    uint32_t instances = 0;
    uint32_t number = 0;
    ADDR24 everytime = kDummyAddress;
    ADDR24 abandon = kDummyAddress;
    bool everytime_seen = false;
    bool abandon_seen = false;
    ADDR24 last_instance = kDummyAddress;
    std::vector<uint16_t> instance_addresses;  // each instance's IX
    uint16_t parameter_bytes = 0;
    uint16_t automatic_bytes = 0;
    uint16_t block_bytes = 0;  // the deepest blocks' automatics of an indexed cofunction
    ADDR24 descriptor = kDummyAddress;
    ADDR24 descriptor_operand = kDummyAddress;  // in the prologue's "ld de", patched at the end
    Context context;
    Context *outer = nullptr;
};

struct State {
    std::vector<Record> records;
    // While a cofunction's body is compiled outside every costatement, records go nowhere: the
    // costatement level is what decides where waitfor, yield, abort and waitfordone leave to.
    bool at_cofunction_level = false;
    Context *context = nullptr;
    int construct = 0;  // 0 costatement, 1 slice
    int depth = 0;
    uint32_t next_number = 0;
    uint32_t next_cofunction = 0;
    bool in_everytime = false;
    Cofunction cofunction;
    uint32_t waitfordone_number = 0;
};
State g;

ADDR24 here() { return current_code_cache().current; }

char peek_blank()
{
    skip_blanks_across_lines();
    return *input_pointer();
}

bool indexed_cofunction() { return g.cofunction.active && g.cofunction.instances >= 2; }

// The "FuncBlk" typedef, or null.
const symbol *funcblk_type()
{
    const symbol *s = find_symbol("FuncBlk", false, kGlobalTable);
    if (!s || (s->kind != kStorageTypedefLocal && s->kind != kStorageTypedefGlobal))
        return nullptr;
    return s;
}

int funcblk_size(const symbol *type)
{
    const int32_t size = tag_size(type->type);
    return size > 0 ? size : type_size(type->type);
}

std::string label(const char *format, uint32_t number)
{
    char text[32];
    std::snprintf(text, sizeof text, format, static_cast<unsigned long>(number));
    return text;
}

// Zeroed bytes in the data area; its lowest address. A block that does not fit is reported
// (never wrapped around the address space).
ADDR24 allocate_data(uint32_t size)
{
    if (size > 0xFFFF) {
        error_here("%s", msg(kMsgCoDataSpace));
        return kDummyAddress;
    }
    return emit_zero_bytes(size, false);
}

// Whether the block can be written through its address as a constant operand.
bool static_block()
{
    const Context *c = g.context;
    return c && !c->pointer && !indexed_cofunction();
}

ADDR24 static_block_address()
{
    const Context *c = g.context;
    return c->sym ? c->sym->address[0] : c->state;
}

void emit_bytes_code(int offset, int count, const uint8_t *bytes)
{
    if (static_block()) {
        const uint16_t base = addr_offset(static_block_address());
        int i = 0;
        for (; i + 1 < count; i += 2) {
            outasm("ld hl, %d", bytes[i] | (bytes[i + 1] << 8));
            outasm("ld (%d), hl", static_cast<uint16_t>(base + offset + i));
        }
        if (i < count) {
            outasm("ld a, %d", bytes[i]);
            outasm("ld (%d), a", static_cast<uint16_t>(base + offset + i));
        }
        return;
    }
    if (!load_state_block_address())
        return;
    if (offset != 0) {
        outasm("ld de, %d", offset);
        outasm("add hl, de");
    }
    for (int i = 0; i < count; ++i) {
        if (i)
            outasm("inc hl");
        outasm("ld (hl), %d", bytes[i]);
    }
}

// The resume point's bytes: address, page, check byte (and the waitfor byte).
int resume_bytes(ADDR24 address, bool waitfor, uint8_t out[5])
{
    out[0] = static_cast<uint8_t>(addr_offset(address) & 0xFF);
    out[1] = static_cast<uint8_t>(addr_offset(address) >> 8);
    out[2] = addr_xpc(address);
    out[3] = static_cast<uint8_t>(out[0] ^ out[1] ^ out[2]);
    out[4] = 1;
    return waitfor ? 5 : 4;
}

// Stores a resume point that lies right behind the store code and `reserved` bytes after it:
// the code is measured first (its size does not depend on the address it stores), then
// written with the address it found. False without a context (reported).
bool store_resume_here(const char *construct, int reserved, bool cofunction, bool waitfor)
{
    if (!g.context) {
        (void)store_resume_point(construct, kDummyAddress, cofunction, waitfor);
        return false;
    }
    ADDR24 resume = kDummyAddress;
    {
        DiscardedCode measure;
        (void)store_resume_point(construct, kDummyAddress, cofunction, waitfor);
        for (int i = 0; i < reserved; ++i)
            emit_code_byte(0);
        resume = here();
    }
    (void)store_resume_point(construct, resume, cofunction, waitfor);
    return true;
}

// Where a suspended construct leaves to: the cofunction's return point, or the end of the
// costatement.
void jump_out_suspended()
{
    if (g.at_cofunction_level) {
        emit_code_byte(0xAF);  // xor a
        outasm("jp %s", label("cofr%04lx", g.cofunction.number).c_str());
    } else {
        outasm("jp %s", label("fbb%04lx", g.context->number).c_str());
    }
}

// The checks every construct that leaves or waits makes first; false after a report.
bool construct_allowed(const char *construct)
{
    if (refuse_in_everytime())
        return false;
    if (!g.context) {
        error_here(msg(kMsgCoNoEnclosing), construct);
        return false;
    }
    return true;
}

// Reads over the text of an abandoned statement: a braced block or up to its ";".
void skip_statement_text()
{
    int depth = 0;
    set_bracket_suppression(true);
    for (;;) {
        skip_blanks_across_lines();
        const char c = *input_pointer();
        if (c == 0)
            break;
        advance_input(1);
        if (c == '{')
            ++depth;
        else if (c == '}' && --depth <= 0)
            break;
        else if (c == ';' && depth == 0)
            break;
    }
    set_bracket_suppression(false);
}

// ---- the name of a costatement ------------------------------------------------------------------

struct Naming {
    bool named = false;
    bool usable = false;  // a variable that gives the block
    bool known = false;   // a name declared already (that gets no second declaration here)
    symbol *sym = nullptr;
    bool pointer = false;
    char name[kMaxIdentifier + 1] = {};
};

bool reserved_option(const char *word)
{
    return std::strcmp(word, "always_on") == 0 || std::strcmp(word, "init_on") == 0;
}

// The optional name after "costate" and the checks of its variable.
Naming read_costate_name(const symbol *type, bool &reserved_seen)
{
    Naming n;
    reserved_seen = false;
    const char c = peek_blank();
    if (!is_identifier_start(static_cast<unsigned char>(c)))
        return n;
    const LexerPlace place = lexer_place();
    char name[kMaxIdentifier + 1] = {};
    if (!scan_identifier(name, false, false)) {
        restore_lexer_place(place);
        return n;
    }
    if (reserved_option(name)) {
        // As options they follow a name: read as the name, they are refused and read again.
        error_here("%s", msg(kMsgCoReservedName));
        restore_lexer_place(place);
        reserved_seen = true;
        return n;
    }
    n.named = true;
    std::memcpy(n.name, name, sizeof n.name);
    symbol *s = find_symbol(name, false, kLocalTable);
    const bool local = s != nullptr;
    if (!s)
        s = find_symbol(name, false, kGlobalTable);
    if (!s)
        return n;
    n.known = s->kind != kStorageExtern;
    const uint32_t level = decl_level(s->declarator, 0);
    if (level == kDeclArray) {
        error_here(msg(kMsgCoArrayName), name);
        if (peek_blank() == '[') {
            advance_input(1);
            int depth = 1;
            while (depth > 0 && *input_pointer()) {
                if (*input_pointer() == '[')
                    ++depth;
                else if (*input_pointer() == ']')
                    --depth;
                advance_input(1);
            }
        }
        return n;
    }
    if (level != kDeclNone && level != kDeclPointer) {
        error_here(msg(kMsgCoShouldBeVariable), name, "FuncBlk");
        return n;
    }
    if (level == kDeclPointer && decl_level(s->declarator, 1) != kDeclNone) {
        error_here(msg(kMsgCoShouldBeVariable), name, "FuncBlk");
        return n;
    }
    if (s->type != type->type) {
        error_here(msg(kMsgCoNotOfType), name, "FuncBlk");
        return n;
    }
    if (local && level == kDeclNone && s->kind != kStorageStaticLocal)
        serious_warning_here(msg(kMsgCoCannotBeLocal), "FuncBlk", name);
    if (s->kind == kStorageExtern)
        return n;  // declared without storage: it gets its block here
    if (level == kDeclNone && s->kind == kStorageAuto)
        return n;  // a block on the stack would not outlive the call: it gets one of its own
    n.usable = true;
    n.sym = s;
    n.pointer = level == kDeclPointer;
    return n;
}

}  // namespace

// ---- set-up ---------------------------------------------------------------------------------------

void init_costate_tables()
{
    g = State{};
    // Calls inside a costatement or cofunction push its block for the runtime.
    set_cofunction_context_loader([] { return g.context != nullptr && load_state_block_address(); });
}

bool costate_records_pending()
{
    for (const Record &r : g.records)
        if (r.address != kDummyAddress)
            return true;
    return false;
}

bool refuse_in_everytime()
{
    if (!g.in_everytime)
        return false;
    error_here("%s", msg(kMsgCoInEverytime));
    return true;
}

bool compiling_cofunction() { return g.cofunction.active; }

bool costatement_block() { return !g.cofunction.active && g.depth > 0 && g.construct == 0; }

// ---- cofunction definitions ----------------------------------------------------------------------

void begin_cofunction(uint32_t flag_word)
{
    Cofunction &c = g.cofunction;
    c = Cofunction{};
    c.active = true;
    c.single_user = (flag_word & kDeclSingleUser) != 0;
    c.instances = cofunction_count(flag_word);
    if (c.instances == 0)
        c.instances = 1;
    c.everytime = 0;
    c.abandon = 0;
    c.outer = g.context;
}

// everytime = "everytime" "{" statement* "}"      abandon = "abandon" "{" statement* "}"
bool parse_cofunction_segment()
{
    Cofunction &c = g.cofunction;
    skip_blanks_across_lines();
    const bool everytime = match_keyword("everytime") != 0;
    if (!everytime && !match_keyword("abandon"))
        return false;
    if (peek_blank() != '{') {
        error_here("%s", msg(kMsgCoCloseBrace));
        return true;
    }
    bool &seen = everytime ? c.everytime_seen : c.abandon_seen;
    if (seen)
        error_here("%s", msg(everytime ? kMsgCoSecondEverytime : kMsgCoSecondAbandon));
    // Both blocks are entered by calls from the runtime, wherever the body lies.
    CodegenSeam &codegen = codegen_seam();
    const ADDR24 back = here();
    const bool moved = !addr_equal(back, root_code_cache().current);
    if (moved)
        codegen.set_code_address(root_code_cache().current);
    const ADDR24 start = here();
    g.in_everytime = everytime;
    set_stack_offset(0);
    (void)parse_statement();
    g.in_everytime = false;
    gen_return_instruction(false);
    set_stack_offset(0);
    if (!seen)
        (everytime ? c.everytime : c.abandon) = start;
    seen = true;
    if (moved)
        codegen.set_code_address(xmem_code_cache().current);
    return true;
}

namespace {
bool emit_instances();
}  // namespace

bool place_cofunction_instances(uint16_t automatic_bytes, uint16_t parameter_bytes)
{
    Cofunction &c = g.cofunction;
    c.parameter_bytes = parameter_bytes;
    c.automatic_bytes = automatic_bytes;
    c.context = Context{};
    c.context.number = ++g.next_cofunction;
    c.number = c.context.number;
    g.context = &c.context;
    g.at_cofunction_level = true;
    // An indexed cofunction reaches its block through IX: its instances can wait.
    if (indexed_cofunction())
        return true;
    return emit_instances();
}

namespace {

// The instances, zeroed, and the descriptor; the simple cofunction's block address.
bool emit_instances()
{
    Cofunction &c = g.cofunction;
    const uint16_t automatic_bytes = static_cast<uint16_t>(c.automatic_bytes + c.block_bytes);
    const uint16_t parameter_bytes = c.parameter_bytes;
    const uint32_t each = uint32_t(automatic_bytes) + parameter_bytes + kInstanceExtra;
    const uint32_t total = each * c.instances;
    const symbol *type = funcblk_type();
    if (!type)
        error_here("%s", msg(kMsgCoNoCoData));
    else if (funcblk_size(type) > kMaxFuncBlk)
        error_here("%s", msg(kMsgCoInvalidBlock));
    // The data area grows downward: a block that does not fit is refused, never wrapped.
    if (total > 0xFFFF || root_variable_cache().SpaceLeft() < static_cast<int32_t>(total)) {
        error_here("%s", msg(kMsgCoDataSpace));
        return false;
    }
    const ADDR24 block = emit_zero_bytes(total, false);
    const uint16_t first = static_cast<uint16_t>(addr_offset(block) + automatic_bytes);

    // The descriptor: instance count, parameter bytes, automatic bytes, each instance's address.
    EmitCache &constants = constant_cache();
    c.descriptor = constants.current;
    (void)constants.EmitByte(static_cast<uint8_t>(c.instances));
    for (const uint16_t word : {parameter_bytes, automatic_bytes}) {
        (void)constants.EmitByte(static_cast<uint8_t>(word & 0xFF));
        (void)constants.EmitByte(static_cast<uint8_t>(word >> 8));
    }
    for (uint32_t i = 0; i < c.instances; ++i) {
        const uint16_t at = static_cast<uint16_t>(first + i * each);
        (void)constants.EmitByte(static_cast<uint8_t>(at & 0xFF));
        (void)constants.EmitByte(static_cast<uint8_t>(at >> 8));
        c.last_instance = at;
        c.instance_addresses.push_back(at);
    }
    c.context.state = addr_add(block, automatic_bytes + parameter_bytes + kInstanceHeader);
    // The start-up table sets a single-user instance's block as it does a costatement's.
    if (c.single_user)
        g.records.push_back(Record{c.context.state, kStartRunning});
    if (c.descriptor_operand != kDummyAddress)
        patch_code_word(c.descriptor_operand, addr_offset(c.descriptor));
    return true;
}

}  // namespace

void gen_cofunction_prologue(bool xmem)
{
    Cofunction &c = g.cofunction;
    emit_code_byte(0xDD);  // push ix
    emit_code_byte(0xE5);
    // Room that makes the return address and it 5 bytes for every placement. The Z180 has no
    // "add sp, n" (its cofunctions lie in root).
    if (cpu_is_z180()) {
        emit_code_byte(0xF5);  // push af
        emit_code_byte(0x3B);  // dec sp
    } else if (!xmem) {
        emit_code_byte(0x27);  // add sp, -3
        emit_code_byte(0xFD);
    } else if (IdePreferences().root_stubs) {
        emit_code_byte(0x27);  // add sp, -2
        emit_code_byte(0xFE);
    }
    for (const ADDR24 word : {c.everytime, c.descriptor}) {
        const uint16_t value = word == kDummyAddress ? 0 : addr_offset(word);
        emit_code_byte(0x11);  // ld de, nn
        if (word == c.descriptor)
            c.descriptor_operand = here();
        emit_code_byte(static_cast<uint8_t>(value & 0xFF));
        emit_code_byte(static_cast<uint8_t>(value >> 8));
        emit_code_byte(0xD5);  // push de
    }
    (void)gen_call_named(c.single_user ? "scofprolog_" : "cofprolog_");
    if (!precompile_in_progress())
        outasm("jp %s", label("cofr%04lx", c.number).c_str());
}

namespace {

// A single-user cofunction's two chain segments, behind its epilogue. "_loophead" hands the
// runtime the instance, its abandon block and its state block, so that an instance whose holder
// stopped calling is released (and its abandon block run); "_loopinit" marks the instance free.
// Both end in "ret" whatever the function's placement: a chain calls an xmem member with a plain
// call after loading XPC, so a "lret" there would take a byte too many off the stack.
void gen_single_user_segments()
{
    Cofunction &c = g.cofunction;
    const bool abandon = c.abandon != kDummyAddress;
    // One pair per instance: an indexed cofunction's instances are held apart.
    for (const uint16_t instance : c.instance_addresses) {
        const int state = instance + c.parameter_bytes + kInstanceHeader;
        add_chain_address("_loophead", here());
        for (const int word : {int(instance), abandon ? int(addr_offset(c.abandon)) : 0,
                               abandon ? int(addr_xpc(c.abandon)) : 0, state}) {
            outasm("ld hl, %d", word);
            outasm("push hl");
        }
        if (cpu_is_z180()) {
            // Root code calls the runtime's root routine; the four words go as they came.
            outasm("call __scofabandon");
            for (int i = 0; i < 4; ++i)
                outasm("pop af");
        } else {
            outasm("lcall __scofabandon");
            outasm("add sp, 8");
        }
        outasm("ret");
        add_chain_address("_loopinit", here());
        outasm("ld hl, %d", state);
        outasm("dec hl");
        outasm("ld (hl), 0xff");
        outasm("ret");
    }
}

}  // namespace

void gen_cofunction_epilogue(bool single_user)
{
    Cofunction &c = g.cofunction;
    // Returned: the value kept in the alternate registers, the block stopped to start again.
    outasm("exx");
    outasm("ld a, 0x18");
    Context *const inner = g.context;
    g.context = &c.context;
    (void)load_state_block_address();
    outasm("set 0, (hl)");
    outasm("set 1, (hl)");
    define_label(label("cofr%04lx", c.number).c_str(), here(), kLabelLocal);
    (void)load_state_block_address();
    (void)gen_call_named(single_user ? "scofepilog_" : "cofepilog_");
    g.context = inner;
    const bool xmem = (current_decl_flags().word & kDeclXmem) != 0;
    if (cpu_is_z180()) {
        // The room and the two words go without touching the value in the registers.
        for (int i = 0; i < 7; ++i)
            outasm("inc sp");
        outasm("pop ix");
        outasm("ret");
    } else if (!xmem) {
        outasm("add sp, 7");
        outasm("pop ix");
        outasm("ret");
    } else {
        outasm("add sp, %d", IdePreferences().root_stubs ? 6 : 4);
        outasm("pop ix");
        outasm("lret");
    }
    // An indexed cofunction's instances are placed at its end, and its segments with them.
    if (single_user && !indexed_cofunction())
        gen_single_user_segments();
}

void end_cofunction()
{
    if (indexed_cofunction() && emit_instances() && g.cofunction.single_user)
        gen_single_user_segments();
    g.context = g.cofunction.outer;
    g.at_cofunction_level = false;
    g.cofunction = Cofunction{};
}

void note_cofunction_block_bytes(uint16_t bytes)
{
    g.cofunction.block_bytes = std::max(g.cofunction.block_bytes, bytes);
}

bool place_cofunction_block_variable(symbol *variable)
{
    if (indexed_cofunction())
        return false;
    const uint16_t size = variable->size ? variable->size : 1;
    if (root_variable_cache().SpaceLeft() < size) {
        error_here("%s", msg(kMsgCoDataSpace));
        return false;
    }
    variable->address[0] = emit_zero_bytes(size, false);
    variable->kind = kStorageStaticLocal;
    variable->value = 0;
    return true;
}

// ---- the state block --------------------------------------------------------------------------------

bool load_state_block_address()
{
    if (indexed_cofunction()) {
        // The instance frame lies at IX; its block behind the parameters.
        outasm("push bc");
        outasm("push ix");
        outasm("pop hl");
        outasm("ld bc, %d", g.cofunction.parameter_bytes + kInstanceHeader);
        outasm("add hl, bc");
        outasm("pop bc");
        return true;
    }
    const Context *c = g.context;
    if (!c) {
        error_here("%s", msg(kMsgCoInvalidBlock));
        return false;
    }
    if (!c->sym) {
        outasm("ld hl, %d", addr_offset(c->state));
        return true;
    }
    if (!c->pointer) {
        outasm("ld hl, %d", addr_offset(c->sym->address[0]));
        return true;
    }
    object value{};
    set_object(&value, c->sym->kind, static_cast<uint16_t>(c->sym->type), c->sym->declarator,
               c->sym, static_cast<uint32_t>(c->sym->value), nullptr, 0, true, false);
    gen_load_value(&value);
    flush_pending_value();
    return true;
}

void store_state_bytes(int offset, int count, const uint8_t *bytes)
{
    emit_bytes_code(offset, count, bytes);
}

int store_resume_point(const char *construct, ADDR24 address, bool cofunction, bool waitfor)
{
    if (!g.context) {
        error_here(msg(kMsgCoNoEnclosing), construct);
        return 0;
    }
    uint8_t bytes[5];
    const int count = resume_bytes(cofunction ? addr_add(address, 1) : address, waitfor, bytes);
    store_state_bytes(kResumeOffset, count, bytes);
    return 1;
}

// ---- costatements and slices --------------------------------------------------------------------------

int parse_costate_statement(int kind, ADDR24 state_address)
{
    if (indexed_cofunction()) {
        error_here("%s", msg(kMsgCoIndexedCofunction));
        (void)parse_statement();
        return kStatementOrdinary;
    }
    // A costatement inside a cofunction has a record of its own in the table.
    g.at_cofunction_level = false;

    const int outer_construct = g.construct;
    Context *const outer = g.context;
    g.construct = kind;
    ++g.depth;
    g.records.push_back(Record{});
    const std::size_t record = g.records.size() - 1;
    Context context;
    context.number = ++g.next_number;
    g.context = &context;
    struct Restore {
        int outer_construct;
        Context *outer;
        ~Restore()
        {
            --g.depth;
            if (g.depth == 0 && g.cofunction.active)
                g.at_cofunction_level = true;
            g.construct = outer_construct;
            g.context = outer;
        }
    } restore{outer_construct, outer};

    const symbol *type = funcblk_type();
    const bool complete = type && (tag_size(type->type) < 0 || tag_defined(type->type));
    if (!type || !complete) {
        error_here("%s", msg(kMsgCoNoCoData));
        g.records[record].address = kDummyAddress;
        (void)parse_statement();
        return kStatementOrdinary;
    }

    Naming naming;
    if (kind == 0) {
        bool reserved = false;
        naming = read_costate_name(type, reserved);
    }
    Record &r = g.records[record];
    if (kind == 1) {
        // The start-up table marks the slice's block to run from the top.
        context.state = state_address;
        r.address = state_address;
    } else if (naming.usable) {
        context.sym = naming.sym;
        context.pointer = naming.pointer;
        context.state = naming.sym->address[0];
        r.address = naming.pointer ? kDummyAddress : naming.sym->address[0];
    } else {
        const int size = funcblk_size(type);
        const ADDR24 block = allocate_data(static_cast<uint32_t>(size));
        context.state = block;
        r.address = block;
        if (naming.named && !naming.known) {
            // The name is a global variable at the block, whichever scope reads it.
            const bool scope = local_scope();
            set_local_scope(false);
            symbol *s = add_symbol(naming.name, 0, type->type, 0, kStorageNoneGlobal, nullptr, 0);
            set_local_scope(scope);
            s->address[0] = block;
            s->size = static_cast<uint16_t>(size);
            define_label(naming.name, block, kLabelGlobal);
        }
    }

    // Options follow a name (or a refused reserved word read as one).
    uint8_t start = kind == 1 ? kStartRunning : naming.named ? kStartStopped : kStartRunning;
    for (;;) {
        const char c = peek_blank();
        if (!is_identifier_start(static_cast<unsigned char>(c)))
            break;
        const LexerPlace place = lexer_place();
        char word[kMaxIdentifier + 1] = {};
        (void)scan_identifier(word, false, false);
        if (std::strcmp(word, "always_on") == 0) {
            start = kStartRunning;
        } else if (std::strcmp(word, "init_on") == 0) {
            start = kStartInitOn;
        } else if (is_keyword(word)) {
            restore_lexer_place(place);
            break;
        } else {
            error_here(msg(kMsgCoUnknownSymbol), word, word);
        }
    }
    g.records[record].kind = start;

    BranchRecord entry{};
    if (kind == 0) {
        (void)load_state_block_address();
        (void)gen_call_named("funcblk_entry");
        entry = gen_jump(kDummyAddress, 0xCA);  // jp z: not running
    } else {
        (void)gen_call_named("__slice_entry");
        entry = gen_jump(kDummyAddress, kOpJp);
    }

    (void)parse_statement();
    if (g.context != &context)
        error_here(msg(kMsgCoNoEnclosing), "PostStatement(internal)");

    define_label(label("fba%04lx", context.number).c_str(), here(), kLabelLocal);
    (void)load_state_block_address();
    emit_code_byte(0x06);  // ld b, n
    emit_code_byte(g.records[record].kind == kStartRunning ? kExitRestart : kExitStop);
    (void)gen_call_named(kind == 0 ? "funcblk_exit" : "__slice_exit");
    if (entry.opcode)
        patch_jump(entry, here());
    define_label(label("fbb%04lx", context.number).c_str(), here(), kLabelLocal);
    return kStatementOrdinary;
}

namespace {

// Bytes of a slice's context buffer in front of its state block: the runtime's notes of where
// the slice is left to and on which stack (COSTATE.LIB).
constexpr int kSliceHeader = 6;

// One expression of the slice header into `node` (no code for a constant or a variable).
void read_header_expression(object *node) { (void)parse_expression(node, 1, 0, 0); }

bool integer_constant(const object &node)
{
    return node.kind == 0 && node.declarator == 0 && node.type >= kTypeChar &&
           node.type <= kTypeUnsignedLong;
}

// The address of a buffer that lies in the data area: an array with static storage, or a pointer
// constant. The slice's code writes its state block through that address as a constant.
bool static_buffer_address(const object &node, uint16_t &address)
{
    const uint32_t level = decl_level(node.declarator, 0);
    if (level == kDeclPointer && node.kind == 0) {
        address = static_cast<uint16_t>(node.value);
        return true;
    }
    const symbol *s = node.sym;
    if (level != kDeclArray || !s || node.kind == 0)
        return false;
    if (s->kind != kStorageNoneGlobal && s->kind != kStorageStaticLocal &&
        s->kind != kStorageStaticGlobal)
        return false;
    address = static_cast<uint16_t>(addr_offset(s->address[0]) + node.value);
    return true;
}

bool expect_header_char(char c, uint32_t message)
{
    skip_blanks_across_lines();
    const char text[2] = {c, 0};
    if (match_text(text))
        return true;
    error_here("%s", msg(message));
    return false;
}

// Reads over the rest of a refused header (up to its ")") and the statement behind it.
int abandon_slice()
{
    for (int depth = 1; depth > 0;) {
        skip_blanks_across_lines();
        const char c = *input_pointer();
        if (c == 0)
            break;
        note_bracket(c, current_line(), current_column());  // the "(" read was noted
        advance_input(1);
        depth += c == '(' ? 1 : c == ')' ? -1 : 0;
    }
    skip_statement_text();
    return kStatementOrdinary;
}

}  // namespace

int parse_slice_statement()
{
    if (!expect_header_char('(', kMsgCoOpenParen)) {
        skip_statement_text();
        return kStatementOrdinary;
    }
    gObjectPool.push_mark();
    struct PoolMark {
        ~PoolMark() { gObjectPool.pop_mark(); }
    } pool_mark;
    object *first = gObjectPool.new_object();
    read_header_expression(first);

    // Either "(size, time)": a zeroed buffer of that size in the data area, or
    // "(buffer, size, time)" with a buffer of static storage.
    uint16_t buffer = 0;
    bool allocate = false;
    object *size = first;
    const uint32_t level = decl_level(first->declarator, 0);
    if (level == kDeclArray || level == kDeclPointer) {
        if (!static_buffer_address(*first, buffer)) {
            error_here("%s", msg(kMsgCoStaticBuffer));
            return abandon_slice();
        }
        if (!expect_header_char(',', kMsgCoComma))
            return abandon_slice();
        size = gObjectPool.new_object();
        read_header_expression(size);
    } else {
        allocate = true;
    }
    if (!integer_constant(*size) || static_cast<int32_t>(size->value) < 0 ||
        static_cast<int32_t>(size->value) > 0xFFFF) {
        error_here("%s", msg(kMsgCoBufferSize));
        return abandon_slice();
    }
    const int bytes = static_cast<int>(size->value);
    // An array holds no more than it was declared with, whatever size the header gives.
    int room = bytes;
    if (!allocate && first->sym && first->sym->size > 0 && first->kind != 0)
        room = std::min(room, int(first->sym->size) - int(first->value));
    const symbol *type = funcblk_type();
    const int needed = kSliceHeader + (type ? funcblk_size(type) : kMaxFuncBlk);
    if (room < needed) {
        // The compiled code would write the state block past the buffer.
        error_here(msg(kMsgCoSliceTooSmall), room, needed);
        return abandon_slice();
    }
    if (!expect_header_char(',', kMsgCoComma))
        return abandon_slice();
    if (allocate)
        buffer = addr_offset(allocate_data(static_cast<uint32_t>(bytes)));

    outasm("ld hl, %d", buffer);
    gen_push_register(kRidHL);
    outasm("ld hl, %d", bytes);
    gen_push_register(kRidHL);
    {
        // The time is computed above the two words pushed.
        const uint16_t allowance = expression_stack_allowance();
        set_expression_stack_allowance(static_cast<uint16_t>(allowance + 4));
        object *time = gObjectPool.new_object();
        read_header_expression(time);
        ConvertCCObject(time, kTypeInt, false, 0);
        gen_load_value(time);
        flush_pending_value();
        set_expression_stack_allowance(allowance);
    }
    gen_push_register(kRidHL);
    if (!expect_header_char(')', kMsgCoCloseParen))
        note_bracket(')', current_line(), current_column());  // read on as if it were there

    const HeldStatementBytes held = hold_statement_bytes(6);
    const int kind =
        parse_costate_statement(1, make_addr(0, static_cast<uint16_t>(buffer + kSliceHeader)));
    release_statement_bytes(held);
    return kind;
}

// ---- waitfor, yield, abort ------------------------------------------------------------------------------

int parse_waitfor_statement()
{
    if (!construct_allowed("waitfor")) {
        skip_statement_text();
        return kStatementOrdinary;
    }
    const bool slice = g.construct == 1 && !g.at_cofunction_level;
    (void)store_resume_here("waitfor", 0, false, true);
    if (peek_blank() != '(') {
        error_here("%s", msg(kMsgCoOpenParen));
        skip_statement_text();
        return kStatementOrdinary;
    }
    (void)match_text("(");
    mark_statement_here(0);
    const BranchRecord done = compile_condition_jump(kDummyAddress, 1, ")");
    if (slice) {
        (void)load_state_block_address();
        (void)gen_call_named("__slice_waitfor");
    } else {
        jump_out_suspended();
    }
    if (done.opcode)
        patch_jump(done, here());
    expect_semicolon();
    return kStatementOrdinary;
}

int parse_yield_statement()
{
    if (!construct_allowed("yield")) {
        skip_statement_text();
        return kStatementOrdinary;
    }
    if (g.construct == 1 && !g.at_cofunction_level) {
        (void)load_state_block_address();
        (void)gen_call_named("__slice_yield");
    } else {
        // A cofunction's suspension leaves through "xor a" before its jump: its resume point
        // lies one byte further, behind that jump.
        const bool cofunction = g.at_cofunction_level;
        (void)store_resume_here("yield", 3, cofunction, false);
        jump_out_suspended();
    }
    expect_semicolon();
    return kStatementOrdinary;
}

int parse_abort_statement()
{
    if (!construct_allowed("abort")) {
        skip_statement_text();
        return kStatementOrdinary;
    }
    if (g.at_cofunction_level) {
        emit_code_byte(0x3E);  // ld a, 0x10
        emit_code_byte(0x10);
        outasm("jp %s", label("cofr%04lx", g.cofunction.number).c_str());
    } else if (g.construct == 1) {
        (void)load_state_block_address();
        (void)gen_call_named("__slice_abort");
    } else {
        outasm("jp %s", label("fba%04lx", g.context->number).c_str());
    }
    expect_semicolon();
    return kStatementOrdinary;
}

// ---- waitfordone ---------------------------------------------------------------------------------------

namespace {

// The value the construct leaves: an int in the primary registers.
void waitfordone_value(object *result)
{
    set_object(result, 255, kTypeInt, 0, nullptr, 0, nullptr, 0, false, false);
}

// Reads over the text of a refused construct: a braced list, or up to the ";" of its statement.
void skip_waitfordone_text()
{
    if (peek_blank() == '{') {
        skip_statement_text();
        return;
    }
    int depth = 0;
    for (char c = peek_blank(); c != 0 && !(c == ';' && depth == 0); c = peek_blank()) {
        depth += (c == '(') - (c == ')');
        advance_input(1);
    }
}

// One call of a waitfordone, numbered `index` (from 0) in construct `number`:
//   [ variable "=" ] callee [ "[" index "]" ] "(" arguments ")"
// The assignment form lies out of line in front of the call, entered at "wfd%03x%03x_1" once
// the call returned its value (A 0 after the runtime's flags), which it stores; then it goes on
// behind the call, or (`assignment` 1) to the construct's end.
void compile_waitfordone_call(uint32_t number, int index, int assignment, const std::string &done)
{
    skip_blanks_across_lines();
    const LexerPlace place = lexer_place();
    char name[kMaxIdentifier + 1] = {};
    if (!is_identifier_start(static_cast<unsigned char>(*input_pointer())) ||
        !scan_identifier(name, false, false)) {
        error_here("%s", msg(kMsgCoUndefinedSymbol));
        error_recovery();
        return;
    }
    restore_lexer_place(place);
    const symbol *named = find_symbol(name, false, kLocalTable);
    if (!named)
        named = find_symbol(name, false, kGlobalTable);
    const bool variable = named && decl_level(named->declarator, 0) != kDeclFunction;

    char entry[40];
    std::snprintf(entry, sizeof entry, "wfd%03x%03x_1", number & 0xFFF, unsigned(index) & 0xFFF);
    object *target = nullptr;
    BranchRecord behind{};
    if (variable) {
        const BranchRecord over = gen_jump(kDummyAddress, kOpJp);
        define_label(entry, here(), kLabelLocal);
        // The value arrives in the primary registers; the alternate set keeps it while code
        // computes the target's address (an element, a member through a pointer), which is
        // then pushed and taken back by the store.
        outasm("exx");
        target = gObjectPool.new_object();
        (void)parse_postfix_expression(target, 0, nullptr);
        skip_blanks_across_lines();
        if (*input_pointer() == '=' && input_pointer()[1] != '=')
            advance_input(1);
        else
            report_missing_char('=');
        if (!is_directly_addressable(target)) {
            if (target->kind == 2)
                target->work[0] = 1;
            if (target->kind != 255)
                gen_load_address_hl(target);
            defer_load(target, true);
            flush_pending_value();
        }
        outasm("exx");
        (void)claim_pending_value(target);
        gen_store_registers(target);
        if (assignment == 0)
            behind = gen_jump(kDummyAddress, kOpJp);
        else
            outasm("jp %s", done.c_str());
        patch_jump(over, here());
        skip_blanks_across_lines();
    }

    // The callee: a cofunction (the runtime's flags follow its call) or a firsttime function.
    const LexerPlace callee_place = lexer_place();
    char callee[kMaxIdentifier + 1] = {};
    uint32_t word = 0;
    if (is_identifier_start(static_cast<unsigned char>(*input_pointer())) &&
        scan_identifier(callee, false, false))
        word = function_flag_word(callee);
    restore_lexer_place(callee_place);
    const bool cofunction = cofunction_count(word) != 0 || (word & kDeclSingleUser);
    const bool first_time = (word & kDeclFirstTime) != 0;
    if (!cofunction && !first_time)
        error_here("%s", msg(kMsgCoNotCofunction));
    object *call = gObjectPool.new_object();
    (void)parse_postfix_expression(call, 0, nullptr);
    if (!first_time) {
        outasm("or a");
        outasm("jp m, %s", done.c_str());
    }
    if (target) {
        const bool same = call->type == target->type && call->declarator == target->declarator;
        if (same) {
            outasm("jp z, %s", entry);
        } else {
            const BranchRecord skip = gen_jump(kDummyAddress, 0xC2);  // jp nz
            if (call->kind == 255)
                ConvertCCObject(call, decl_level(target->declarator, 0) != kDeclNone
                                          ? kTypeInt
                                          : static_cast<int>(target->type),
                                decl_level(target->declarator, 0) != kDeclNone, 0);
            outasm("jp %s", entry);
            patch_jump(skip, here());
        }
        if (behind.opcode)
            patch_jump(behind, here());
    }
    WaitfordoneCalls &wait = waitfordone_calls();
    if (wait.pending_jump != 0) {
        patch_code_word(wait.pending_jump, static_cast<uint16_t>(addr_offset(here())));
        wait.pending_jump = 0;
    }
}

}  // namespace

// waitfordone = ( "waitfordone" | "waitforfirstdone" ) ( call | "{" call { ";" call } [ ";" ] "}" )
//
// Every pass runs the calls; the construct is done once the runtime sets status bit 5 of the
// enclosing block (or a call was aborted, or, in "waitforfirstdone", one assigned its value).
// Before the loop-back point the block's bit 7 is set, so that the calls of each waitfordone
// start their cofunctions with their own arguments, and its record of ended calls is cleared.
// The loop-back point stores the two words the runtime reads into the block: the number of calls
// (bit 15 for "waitforfirstdone") and the lock byte of the last shared call; both are operands
// of instructions placed there, patched once the calls are compiled.
void parse_waitfordone(object *result, int assignment)
{
    waitfordone_value(result);
    if (refuse_in_everytime()) {
        skip_waitfordone_text();
        return;
    }
    if (!g.context) {
        error_here(msg(kMsgCoNoEnclosing), "waitfordone");
        skip_waitfordone_text();
        return;
    }
    flush_pending_value();
    const uint32_t number = ++g.waitfordone_number;
    WaitfordoneCalls &wait = waitfordone_calls();
    const WaitfordoneCalls outer = wait;
    char done[32];
    std::snprintf(done, sizeof done, "wfd%03x_done", number & 0xFFF);

    (void)load_state_block_address();
    outasm("set 7, (hl)");
    outasm("res 5, (hl)");
    outasm("ld de, %d", kDoneOffset);
    outasm("add hl, de");
    outasm("xor a");
    outasm("ld (hl), a");
    outasm("inc hl");
    outasm("ld (hl), a");

    const ADDR24 header = here();
    wait = WaitfordoneCalls{};
    wait.header = header;
    emit_code_byte(0x11);  // ld de, the number of calls
    const ADDR24 calls_word = here();
    emit_word(0);
    emit_code_byte(0x01);  // ld bc, the lock byte
    const ADDR24 lock_word = here();
    emit_word(0);
    (void)load_state_block_address();
    outasm("push de");
    outasm("ld de, %d", kLockOffset);
    outasm("add hl, de");
    outasm("pop de");
    outasm("ld (hl), c");
    outasm("inc hl");
    outasm("ld (hl), b");
    outasm("inc hl");
    outasm("ld (hl), e");
    outasm("inc hl");
    outasm("ld (hl), d");

    const bool braces = peek_blank() == '{';
    if (braces)
        (void)match_text("{");
    int calls = 0;
    for (;;) {
        if (braces) {
            const char c = peek_blank();
            if (c == '}' || c == 0)
                break;
        }
        const char *before = input_pointer();
        mark_statement_here(0);
        // The runtime keeps one bit per call of a waitfordone that has ended.
        if (calls == kMaxWaitfordoneCalls)
            error_here(msg(kMsgCoTooManyCalls), kMaxWaitfordoneCalls);
        wait.index = calls;
        compile_waitfordone_call(number, calls, assignment, done);
        ++calls;
        if (!braces)
            break;
        if (peek_blank() == ';')
            advance_input(1);
        else if (input_pointer() == before)
            break;  // nothing read: the list ends here (reported below)
    }
    if (braces) {
        if (peek_blank() == '}') {
            // The enclosing expression statement ends with the list.
            note_bracket('}', current_line(), current_column());
            const_cast<char *>(input_pointer())[0] = ';';
        } else {
            error_here("%s", msg(kMsgCoCloseBrace));
        }
    } else if (peek_blank() != ';') {
        error_here("%s", msg(kMsgCoExpectsSemicolon));
    }
    patch_code_word(calls_word, static_cast<uint16_t>(calls | (assignment ? 0x8000 : 0)));
    patch_code_word(lock_word, static_cast<uint16_t>(wait.lock_address & 0xFFFF));

    // Not done yet: suspended until the next pass.
    (void)load_state_block_address();
    outasm("res 7, (hl)");
    outasm("bit 5, (hl)");
    outasm("jp nz, %s", done);
    if (g.construct == 1 && !g.at_cofunction_level) {
        (void)load_state_block_address();
        (void)gen_call_named("__slice_yield");
    } else {
        (void)store_resume_here("waitfordone", 3, g.at_cofunction_level, false);
        jump_out_suspended();
    }
    (void)gen_jump(header, kOpJp);

    // Done: the value at offset 10, sign-extended.
    define_label(done, here(), kLabelLocal);
    (void)load_state_block_address();
    outasm("ld b, 0");
    outasm("ld c, 0xa");
    outasm("add hl, bc");
    outasm("ld l, (hl)");
    outasm("bit 7, l");
    outasm("ld h, 0");
    const std::string positive = make_unique_label("KXLAB");
    outasm("jr z, %s", positive.c_str());
    outasm("dec h");
    define_label(positive.c_str(), here(), kLabelLocal);
    char aborted[32];
    std::snprintf(aborted, sizeof aborted, "wfd%03x_abort", number & 0xFFF);
    define_label(aborted, here(), kLabelLocal);
    forget_hl_contents();
    wait = outer;
    waitfordone_value(result);
}

// ---- the start-up table ------------------------------------------------------------------------------

void emit_funcblk_init_table()
{
    if (!costate_records_pending())
        return;
    const bool separate = separate_instruction_data();
    if (separate) {
        const std::string table = make_unique_label("KXLAB");
        outasm("ld hl, %s", table.c_str());
        define_label(table.c_str(), constant_cache().current, kLabelLocal);
    }
    (void)gen_call_named("funcblk_init");
    EmitCache &cache = separate ? constant_cache() : current_code_cache();
    for (auto it = g.records.rbegin(); it != g.records.rend(); ++it) {
        if (it->address == kDummyAddress)
            continue;
        const uint16_t address = addr_offset(it->address);
        (void)cache.EmitByte(static_cast<uint8_t>(address & 0xFF));
        (void)cache.EmitByte(static_cast<uint8_t>(address >> 8));
        (void)cache.EmitByte(it->kind == kStartInitOn || it->kind == kStartRunning ? kExitRestart
                                                                                   : kExitStop);
    }
    for (int i = 0; i < 3; ++i)
        (void)cache.EmitByte(0);
}
