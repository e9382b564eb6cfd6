// CC_RELOC: the label tables and their fix-ups. Everything here runs inside one compile on the
// GUI thread; the tables are created once and emptied when their scope closes.
#include "CC_RELOC.h"

#include "codegen/CC_ASM.h"
#include "codegen/CC_ASMDIR.h"
#include "codegen/CC_ASMTAB.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_GLINE.h"
#include "input/CC_IN.h"
#include "core/CC_MISC.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"
#include "EMITCACHE.h"
#include "LB_CAT.h"
#include "core/guiExceptions.h"
#include "settings/guiKXPreferences.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// ---- state -------------------------------------------------------------------------------------

LabelTable *g_global = nullptr;
LabelTable *g_local = nullptr;
// Pairs of the global table that references created, newest first (shared with the table).
Ta1LIFO<LabelPair *> g_pending;
// The defined labels of the global scope closed last.
std::vector<CarriedLabel> g_closed_globals;

bool g_recording = true;
int (*g_nesting_reader)() = nullptr;
bool g_patching = false;
bool g_undefined_found = false;
std::string g_watch_message;  // the last "Cannot link %s in watch expression."

// The fix-up whose opcode the next byte emitted before its operand fills in.
const QBFixupItem *g_marked_fixup = nullptr;

constexpr const char *kUnitPath = "CC_RELOC";
constexpr uint32_t kWatchThrowLine = 398;

void patch_jump_builtin(ADDR24 position, uint8_t opcode, ADDR24 target, uint32_t flags);
JumpPatcher g_jump_patcher = &patch_jump_builtin;

// The tables exist from the first use on (the compiler set-up makes them first).
void make_tables()
{
    if (g_global)
        return;
    g_global = new LabelTable(500, 0.8f);
    g_local = new LabelTable(100, 0.8f);
}

LabelTable &global_table()
{
    make_tables();
    return *g_global;
}

LabelTable &local_table()
{
    make_tables();
    return *g_local;
}

bool no_bouncers() { return IdePreferences().no_bouncers; }
bool vireon_family() { return asm_target().cpu_flag == 1; }
bool in_xmem(ADDR24 a) { return addr_offset(a) >= window_start(); }
int expression_nesting() { return g_nesting_reader ? g_nesting_reader() : 0; }

bool repeatable(uint32_t flags) { return (flags & kLabelRepeatable) && no_bouncers(); }

// Drops the marker when the fix-up it names goes away.
void forget_fixup(const QBFixupItem &item)
{
    if (g_marked_fixup == &item)
        clear_label_reference_marker();
}

void delete_fixups(QBFixupRec &rec)
{
    for (const QBFixupItem &item : rec.fixups)
        forget_fixup(item);
    rec.fixups.clear();
    rec.count = 0;
}

std::unique_ptr<LongCallRecord> copy_record(const LongCallRecord *record)
{
    return record ? std::make_unique<LongCallRecord>(*record) : nullptr;
}

// ---- applying one fix-up -----------------------------------------------------------------------

// Reports at the long call's own line, in its own file (the current file is put back after).
void warn_label_in_xmem(const LongCallRecord &record)
{
    const std::string previous = get_error_file_name() ? get_error_file_name() : "";
    const uint8_t previous_flag = get_error_file_flag();
    set_error_file_name(record.file.empty() ? nullptr : record.file.c_str(), 0);
    report_warning(1, record.line, 1, "%s", msg(kMsgLabelInXmemByLcall));
    set_error_file_name(previous.c_str(), previous_flag);
}

// Without bouncers an xmem function is entered through its root entry stub: a 16-bit word that
// names it (in xmem, or a function placed there) takes the stub's address once it has one.
ADDR24 root_entry_under_no_bouncers(const char *name, ADDR24 v)
{
    if (!name || std::strlen(name) > kMaxIdentifier)
        return v;
    const symbol *s = find_symbol(name, false, kGlobalTable);
    if (!s || s->address[kRootStubAddressSlot] == kDummyAddress)
        return v;
    if (in_xmem(v) || (s->flags[0] & 1))
        return s->address[kRootStubAddressSlot];
    return v;
}

// An address moved by d within its own page while the offset stays in the xmem window; else
// as addr_add does it (root addresses, or a move out of the window).
ADDR24 addr_move_in_page(ADDR24 a, int32_t d)
{
    if (d == 0)
        return a;
    const int32_t offset = int32_t(addr_offset(a)) + d;
    if (in_xmem(a) && offset >= int32_t(window_start()) && offset <= 0xFFFF)
        return make_addr(addr_xpc(a), static_cast<uint16_t>(offset));
    return addr_add(a, d);
}

// Fix-up kinds, in the order they are tried:
//   relative     byte  d = A + addend - (position + 1), -128..127
//   byte         byte  A + addend, at most 255
//   unchecked    byte  low byte of A + addend
//   page byte    byte  page of translate(A) + addend
//   page word    word  page of translate(A) + addend
//   jump / call        the jump patcher (root-only labels checked first)
//   word         word  A (translated for the long and translated kinds; under "No Bouncers" an
//                      xmem function's root entry stub) + addend [, page byte]
void apply_fixup(const QBFixupItem &f, ADDR24 a, const char *name)
{
    if (f.lcall && in_xmem(a)) {
        warn_label_in_xmem(*f.lcall);
        a = make_addr(f.lcall->page, addr_offset(a));
    }
    if (f.flags & kFixDisabled)
        return;
    const uint16_t value = static_cast<uint16_t>(addr_offset(a) + f.addend);
    if (f.flags & kFixRelative) {
        const int16_t d = static_cast<int16_t>(value - addr_offset(f.position) - 1);
        if (d < -128 || d > 127) {
            error_here("%s", msg(kMsgJumpOutOfRange));
            return;
        }
        patch_code_byte(f.position, static_cast<uint8_t>(d));
        return;
    }
    if (f.flags & kFixByteInRange) {
        if (value > 255) {
            error_here("%s", msg(kMsgByteValueRange));
            return;
        }
        patch_code_byte(f.position, static_cast<uint8_t>(value));
        return;
    }
    if (f.flags & kFixByteUnchecked) {
        patch_code_byte(f.position, static_cast<uint8_t>(value));
        return;
    }
    if (f.flags & (kFixPageByte | kFixPageWord)) {
        const uint8_t page = addr_xpc(translate_root_address(a));
        if (f.flags & kFixPageByte)
            patch_code_byte(f.position, static_cast<uint8_t>(page + (f.addend & 0xFF)));
        else
            patch_code_word(f.position, static_cast<uint16_t>(page + f.addend));
        return;
    }
    if ((f.flags & kFixRootOnly) && in_xmem(a)) {
        error_here(msg(kMsgLabelNeedsRoot), name);
        return;
    }
    if (f.opcode != 0) {
        // The target the operand names: the label's address moved by the addend, in the page
        // the label was given. Code in the second 4 KB of the xmem window runs with the page it
        // was entered with; a branch that named the same bytes through the next page (the same
        // physical address) would load another XPC under the code that follows it.
        g_jump_patcher(f.position, f.opcode, addr_move_in_page(a, static_cast<int16_t>(f.addend)),
                       f.flags);
        return;
    }
    ADDR24 v = a;
    if (vireon_family()) {
        if (f.flags & (kFixTranslate | kFixPageByte | kFixPageWord)) {
            v = translate_root_address(v);
        } else if ((f.flags & kFixLongAddress) && !in_xmem(v)) {
            const ADDR24 t = translate_root_address(v);
            if (in_xmem(t))
                v = t;
        }
    }
    if (no_bouncers())
        v = root_entry_under_no_bouncers(name, v);
    patch_code_word(f.position, static_cast<uint16_t>(addr_offset(v) + f.addend));
    if (vireon_family() && (f.flags & kFixLongAddress))
        patch_code_byte(addr_add(f.position, 2), addr_xpc(v));
}

// The operand of a branch that needs no rewriting: a root target, a long jump or call (page
// byte after the word), or a target in the page of the branch itself. Anything else needs a
// bouncer or a long form, which only the code generator's patcher can write.
void patch_jump_builtin(ADDR24 position, uint8_t opcode, ADDR24 target, uint32_t)
{
    constexpr uint8_t kLjp = 0xC7, kLcall = 0xCF;
    if (opcode == kLjp || opcode == kLcall) {
        patch_code_word(position, addr_offset(target));
        patch_code_byte(addr_add(position, 2), addr_xpc(target));
        return;
    }
    if (!in_xmem(target) || (in_xmem(position) && addr_xpc(position) == addr_xpc(target))) {
        patch_code_word(position, addr_offset(target));
        return;
    }
    error_here("%s", msg(kMsgNoXmemJumpPatcher));
}

// ---- references ---------------------------------------------------------------------------------

LabelPair *find_pair(const QBString &key, uint32_t flags)
{
    LabelPair *pair = nullptr;
    if (flags & kLabelLocal)
        pair = local_table().find(key);
    if (!pair && (flags & kLabelGlobal))
        pair = global_table().find(key);
    return pair;
}

// Makes an undefined record in the local table (kLabelLocal) or the global one; a global label
// that a reference made is wanted, unless a watch expression made it.
LabelPair *create_label(const QBString &key, uint32_t flags, bool by_reference)
{
    LabelTable &table = (flags & kLabelLocal) ? local_table() : global_table();
    auto *rec = new QBFixupRec;
    if (!label_table_insert(table, key, rec)) {
        delete rec;
        return table.find(key);
    }
    LabelPair *pair = table.find(key);
    if (!(flags & kLabelLocal) && by_reference && !watch_compile())
        g_pending.push_front(pair);
    return pair;
}

ADDR24 reference(const char *name, ADDR24 position, uint32_t flags, uint16_t addend,
                 uint8_t opcode, const LongCallRecord *lcall)
{
    if (!g_recording || code_suppression_counter() != 0 || expression_nesting() > 0)
        return kDummyAddress;
    const QBString key(name ? name : "");
    LabelPair *pair = find_pair(key, flags);
    if (pair) {
        const QBFixupRec &rec = *pair->value;
        if (!repeatable(flags)) {
            if (rec.defined)
                return rec.address;
            if (flags & kLabelProbe)
                return kDummyAddress;
        }
    } else {
        if (flags & kLabelProbe)
            return kDummyAddress;
        pair = create_label(key, flags, true);
    }
    QBFixupRec &rec = *pair->value;
    rec.fixups.push_front(QBFixupItem{position, addend, flags, opcode, copy_record(lcall)});
    ++rec.count;
    if (flags & kFixOpcodeFollows) {
        QBFixupItem &item = rec.fixups.front();
        g_marked_fixup = &item;
        arm_byte_capture(addr_add(position, -1), &item.opcode);
    } else {
        clear_label_reference_marker();
    }
    return kDummyAddress;
}

// ---- closing scopes -------------------------------------------------------------------------------

void note_undefined(const char *name)
{
    char text[256];
    std::snprintf(text, sizeof text, msg(kMsgCannotLinkInWatch), name);
    g_watch_message = text;
    clear_label_reference_marker();
}

// A local label at line 1; a global one at the symbol's declaration when the program declares
// it, in the symbol's file. A watch expression keeps the text for its one xWatch instead.
void report_undefined(const char *name, bool silent, bool global)
{
    g_undefined_found = true;
    if (silent)
        return;
    if (watch_compile()) {
        note_undefined(name);
        return;
    }
    const symbol *s = global ? find_symbol(name, false, kGlobalTable) : nullptr;
    const uint32_t id = global ? kMsgUndefinedGlobal : kMsgUndefinedLocal;
    if (!s) {
        report_error(1, 1, msg(id), name);
        return;
    }
    report_error_in_file(s->line, s->column, s->file ? s->file : "ERROR", msg(id), name);
}

std::vector<LabelPair *> pairs_of(LabelTable &table)
{
    std::vector<LabelPair *> pairs;
    label_table_for_each(
        table, [](LabelPair *p, void *out) { static_cast<std::vector<LabelPair *> *>(out)->push_back(p); },
        &pairs);
    return pairs;
}

// An undefined local label may be a global one of the program: every fix-up that allows the
// global scope is referenced again there (patched now when that label is defined, else queued
// on it). The others are the local label's own: reported once.
void close_local_scope(bool silent)
{
    for (LabelPair *pair : pairs_of(local_table())) {
        QBFixupRec &rec = *pair->value;
        if (rec.defined)
            continue;
        const char *name = pair->key.c_str();
        int own = 0;
        for (const QBFixupItem &f : rec.fixups) {
            if (!(f.flags & kLabelGlobal)) {
                ++own;
                continue;
            }
            const uint32_t flags = f.flags & ~uint32_t(kLabelLocal);
            reference(name, f.position, flags, f.addend, f.opcode, f.lcall.get());
            clear_label_reference_marker();
            const LabelPair *global = global_table().find(pair->key);
            // A global label at logical 0 (a reset entry) is as defined as any other.
            if (global && global->value->defined)
                apply_fixup(f, global->value->address, name);
        }
        delete_fixups(rec);
        if (own != 0)
            report_undefined(name, silent, false);
    }
    label_table_clear(local_table());
}

void close_global_scope(bool silent)
{
    g_pending.clear();
    g_closed_globals.clear();
    for (LabelPair *pair : pairs_of(global_table())) {
        QBFixupRec &rec = *pair->value;
        if (rec.defined) {
            g_closed_globals.push_back(CarriedLabel{pair->key.c_str(), rec.address});
            continue;
        }
        // A label only wanted, never referred to, was used by nobody.
        if (!rec.fixups.empty())
            report_undefined(pair->key.c_str(), silent, true);
        delete_fixups(rec);
    }
    label_table_clear(global_table());
}

}  // namespace

// ---- label services ---------------------------------------------------------------------------------

void init_label_tables()
{
    make_tables();
    clear_label_reference_marker();
}

ADDR24 reference_label(const char *name, ADDR24 position, uint32_t flags, uint16_t addend,
                       uint8_t opcode, const LcallFixup *lcall)
{
    if (!lcall)
        return reference(name, position, flags, addend, opcode, nullptr);
    const char *file = get_error_file_name();
    const LongCallRecord record{lcall->source_line, file ? file : "", lcall->flag_byte};
    return reference(name, position, flags, addend, opcode, &record);
}

ADDR24 reference_label(const char *name, EmitCache &cache, uint32_t flags, uint16_t addend,
                       uint8_t opcode, const LcallFixup *lcall)
{
    return reference_label(name, cache.current, flags, addend, opcode, lcall);
}

const QBFixupRec *find_label(const char *name, uint32_t flags)
{
    const LabelPair *pair = find_pair(QBString(name ? name : ""), flags);
    return pair ? pair->value : nullptr;
}

namespace {

// The program's own definition of a name that a library it uses lists: the program's wins, with
// a serious warning ("main" is the program's whatever its case).
void warn_if_overriding_library(const char *name)
{
    if (line_input_state() != LineInputState::program || equal_ignoring_case(name, "main"))
        return;
    const ZModEntry *module = lib_find_module(name);
    if (!module)
        return;
    const std::string &path = module->library->path;
    if (path.empty()) {
        serious_warning_here(msg(kMsgUserCodeOverrides), name);
        return;
    }
    const std::size_t slash = path.find_last_of("/\\");
    const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    serious_warning_here(msg(kMsgUserSymbolOverrides), name, name, module->header_line + 1,
                         file.c_str());
}

}  // namespace

void define_label(const char *name, ADDR24 address, uint32_t flags)
{
    // A label of code that is thrown away would name an address other code takes.
    if (expression_nesting() > 0 || code_suppression_counter() != 0)
        return;
    const QBString key(name ? name : "");
    LabelPair *pair = nullptr;
    if (flags & kLabelLocal) {
        pair = local_table().find(key);
        if (pair && pair->value->defined && !repeatable(flags))
            report_error(1, 1, msg(kMsgRedefiningLocal), key.c_str());
    }
    if (!pair && (flags & kLabelGlobal)) {
        pair = global_table().find(key);
        if (pair && pair->value->defined && !repeatable(flags))
            report_error(1, 1, msg(kMsgRedefiningGlobal), key.c_str());
    }
    if (!pair)
        pair = create_label(key, flags, false);
    QBFixupRec &rec = *pair->value;
    if (rec.defined && !repeatable(flags))
        return;
    warn_if_overriding_library(key.c_str());

    // The label is defined before its fix-ups are applied: whatever the patching emits (a
    // bouncer, a long jump) may refer to it and then gets its address at once.
    Ta1LIFO<QBFixupItem> due = std::move(rec.fixups);
    rec.fixups.clear();
    rec.count = 0;
    rec.defined = 1;
    rec.address = address;
    struct Patching {
        bool outer = g_patching;
        ~Patching() { g_patching = outer; }
    } patching;
    g_patching = true;
    for (const QBFixupItem &f : due) {
        forget_fixup(f);
        apply_fixup(f, address, key.c_str());
    }
}

void define_asm_label(const char *name, ADDR24 address, uint32_t flags)
{
    define_label(name, address, flags);
    const QBString key(name ? name : "");
    if (flags & kLabelLocal) {
        QBFixupRec *rec = label_table_remove(local_table(), key);
        if (rec)
            delete_fixups(*rec);
        delete rec;
    }
    if (flags & kLabelGlobal) {
        prune_pending_globals();
        QBFixupRec *rec = label_table_remove(global_table(), key);
        if (rec)
            delete_fixups(*rec);
        delete rec;
    }
}

void reset_labels(int mode)
{
    const bool silent = (mode & kCloseSilent) != 0;
    g_undefined_found = false;
    if (mode & kCloseLocal)
        close_local_scope(silent);
    if (mode & kCloseGlobal)
        close_global_scope(silent);
    if (!silent && g_undefined_found && watch_compile())
        throw xWatch(g_watch_message.c_str(), kUnitPath, kWatchThrowLine);
}

int prune_pending_globals()
{
    int removed = 0;
    g_pending.remove_if([&removed](const LabelPair *pair) {
        const bool defined = pair->value->defined != 0;
        removed += defined ? 1 : 0;
        return defined;
    });
    return removed;
}

std::size_t pending_global_count()
{
    return static_cast<std::size_t>(std::distance(g_pending.begin(), g_pending.end()));
}

std::string pending_global_head() { return g_pending.empty() ? "" : g_pending.front()->key.c_str(); }

void pop_pending_global()
{
    if (!g_pending.empty())
        g_pending.pop_front();
}

// ---- labels carried between compiles ---------------------------------------------------------------

const std::vector<CarriedLabel> &last_closed_global_labels() { return g_closed_globals; }

void start_global_scope_with(const std::vector<CarriedLabel> &labels)
{
    // The copy first: closing the scope replaces the list the caller may have passed.
    const std::vector<CarriedLabel> carried = labels;
    g_pending.clear();
    label_table_clear(global_table());
    for (const CarriedLabel &label : carried) {
        LabelPair *pair = create_label(QBString(label.name.c_str()), kLabelGlobal, false);
        pair->value->defined = 1;
        pair->value->address = label.address;
    }
}

void want_global_label(const char *name)
{
    if (!name || !*name || watch_compile())
        return;
    const QBString key(name);
    if (LabelPair *pair = global_table().find(key)) {
        if (!pair->value->defined &&
            std::find(g_pending.begin(), g_pending.end(), pair) == g_pending.end())
            g_pending.push_front(pair);
        return;
    }
    (void)create_label(key, kLabelGlobal, true);
}

// ---- table operations -------------------------------------------------------------------------------

LabelTable &global_label_table() { return global_table(); }
LabelTable &local_label_table() { return local_table(); }

LabelPair *label_table_find(LabelTable &table, const QBString &name) { return table.find(name); }

bool label_table_insert(LabelTable &table, const QBString &name, QBFixupRec *record)
{
    auto *pair = new LabelPair{name, record};
    if (table.insert(pair))
        return true;
    delete pair;
    return false;
}

QBFixupRec *label_table_remove(LabelTable &table, const QBString &name) { return table.remove(name); }

void label_table_for_each(LabelTable &table, void (*visit)(LabelPair *, void *), void *context)
{
    table.forEach(visit, context);
}

void label_table_clear(LabelTable &table)
{
    for (LabelPair *pair : pairs_of(table)) {
        const QBString key = pair->key;
        QBFixupRec *rec = table.remove(key);
        if (rec)
            delete_fixups(*rec);
        delete rec;
    }
}

// ---- state read by neighbours ----------------------------------------------------------------------

bool check_origin_range(ADDR24 address) { return current_code_cache().OriginHolds(address); }

void set_label_recording(bool on) { g_recording = on; }
bool label_recording() { return g_recording; }
void set_expression_nesting_reader(int (*reader)()) { g_nesting_reader = reader; }

void clear_label_reference_marker()
{
    if (g_marked_fixup)
        disarm_byte_capture();
    g_marked_fixup = nullptr;
}

bool label_patching_in_progress() { return g_patching; }
bool undefined_label_found() { return g_undefined_found; }

void set_jump_patcher(JumpPatcher patcher) { g_jump_patcher = patcher ? patcher : &patch_jump_builtin; }
