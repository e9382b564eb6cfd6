// CC_RELOC: labels and fix-ups. The compiler emits code in one pass, so a jump, call or address
// operand often names a label that is not placed yet. Every label lives in one of two tables,
// the local one (labels of the function being compiled) and the global one (the whole program);
// a reference made before the label is defined queues a fix-up on it, and the definition
// patches every queued fix-up into the code already emitted, each by its own kind. The local
// scope closes at the end of every function, the global one at the end of the compile; what is
// still undefined then is reported.
// Patches go through the patch routine of the compile frame (CC_FIOZ8); a jump or call operand
// goes to the jump patcher of the code generator (`set_jump_patcher`).
// Called by the inline assembler's host (CC_INASM), the stub and literal output (CC_STUBS), the
// node pool (CC_OBJ), the compile sequence, and later the parsers and the library loader.
#pragma once

#include "core/CC_ADDR.h"
#include "core/QBSTRING.h"

#include <cstdint>
#include <forward_list>
#include <memory>
#include <string>
#include <vector>

struct LcallFixup;
class EmitCache;

// The label tables are keyed by interned names, compared byte-wise without sign.
template <> struct TaHashKeyTraits<QBString> {
    static uint32_t hash(const QBString &k) noexcept { return hashQBSZ(k); }
    static int compare(const QBString &a, const QBString &b) noexcept
    {
        return a.entry() == b.entry() ? 0 : compare_unsigned(a.c_str(), b.c_str());
    }
};

// ---- flags of a reference and of a definition ---------------------------------------------------
// The scope and option bits are read by reference and definition, the kind bits only when a
// fix-up is applied. Kinds are tried in the order of the table (the first that matches wins).
enum : uint32_t {
    kLabelLocal = 0x1,          // look in, and create in, the local table
    kLabelGlobal = 0x2,         // look in the global table; create there without kLabelLocal
    kFixTranslate = 0x8,        // word: mapped through the root address directory first
    kFixRelative = 0x10,        // byte: signed displacement of a relative jump
    kFixByteInRange = 0x20,     // byte: value that must not exceed 255
    kLabelProbe = 0x40,         // never create a label or a fix-up
    kFixLongAddress = 0x80,     // word, then the page byte at position + 2
    kFixOpcodeFollows = 0x100,  // a jump or call operand: its opcode goes with the fix-up
    kFixRootOnly = 0x200,       // the label must lie below the xmem window
    kLabelRepeatable = 0x400,   // with "No Bouncers": always queue, define again silently
    kFixPageByte = 0x2000,      // byte: page byte of the translated address plus the addend
    kFixPageWord = 0x4000,      // word: that page byte, zero-extended, plus the addend
    kFixDisabled = 0x8000,      // skipped when applied
    kFixByteUnchecked = 0x80000 // byte: low byte of the address plus the addend, unchecked
};

// ---- records -----------------------------------------------------------------------------------

// What a long call's fix-up keeps of it: where the call was written and the page byte it was
// emitted with.
struct LongCallRecord {
    int line = 0;
    std::string file;
    uint8_t page = 0;
};

// One reference made while its label was undefined.
struct QBFixupItem {
    ADDR24 position = kDummyAddress;  // first byte of the operand to patch
    uint16_t addend = 0;              // added to the label's logical address
    uint32_t flags = 0;
    uint8_t opcode = 0;               // jump or call opcode; 0 for a plain operand
    std::unique_ptr<LongCallRecord> lcall;
};

// Newest first.
template <class T> using Ta1LIFO = std::forward_list<T>;

// One label of one scope. Undefined (with a growing fix-up list) until its definition, then
// defined with an empty list.
struct QBFixupRec {
    Ta1LIFO<QBFixupItem> fixups;
    uint16_t count = 0;
    uint8_t defined = 0;
    ADDR24 address = kDummyAddress;  // meaningless while undefined
};

using LabelTable = TaDUniqueHash<QBString, QBFixupRec>;
using LabelPair = TaPAssoc<QBString, QBFixupRec>;

// ---- the label services ------------------------------------------------------------------------

// Creates both tables on the first call (the global one with 500 buckets requested, the local
// one with 100); always clears the label-reference marker. Called at every compiler set-up.
void init_label_tables();

// The label's address when it is defined, else the dummy address; while it is undefined (and
// kLabelProbe is clear) queues a fix-up on it. Records nothing while label recording is off,
// the code-suppression counter is non-zero or the expression parser is nested.
ADDR24 reference_label(const char *name, ADDR24 position, uint32_t flags, uint16_t addend = 0,
                       uint8_t opcode = 0, const LcallFixup *lcall = nullptr);
// The same for an operand that `cache` writes next: the fix-up lies at its current address.
ADDR24 reference_label(const char *name, EmitCache &cache, uint32_t flags, uint16_t addend = 0,
                       uint8_t opcode = 0, const LcallFixup *lcall = nullptr);
// The lookup form: the label record (local first with kLabelLocal, then global with
// kLabelGlobal), or nullptr. Creates and records nothing.
const QBFixupRec *find_label(const char *name, uint32_t flags);

// Defines a local (kLabelLocal) or global (kLabelGlobal) label and patches its queued fix-ups,
// newest first. A second definition is reported and keeps the first address, unless it is
// repeatable (kLabelRepeatable with "No Bouncers" on). Nothing is defined while code is thrown
// away (the code-suppression counter is raised).
void define_label(const char *name, ADDR24 address, uint32_t flags);
// `define_label`, then the label leaves the table of each scope named in the flags.
void define_asm_label(const char *name, ADDR24 address, uint32_t flags);

// Closes scopes: bit 1 the local table, bit 2 the global table, bit 4 silent (no undefined-label
// report). While a watch expression is compiled, undefined labels end (unless silent) in one
// `xWatch` "Cannot link %s in watch expression." after the scopes are cleared.
enum : int { kCloseLocal = 1, kCloseGlobal = 2, kCloseSilent = 4 };
void reset_labels(int mode);

// ---- labels carried from one compile into the next ----------------------------------------------
// A program compile follows the BIOS compile and calls and jumps into it: the BIOS's global
// labels (its "#asm" entry points and functions) must be defined in the program's global scope
// too, although every compile closes its scope at its end.

struct CarriedLabel {
    std::string name;
    ADDR24 address = kDummyAddress;
};
// The global labels the last close of the global scope found defined, in no set order.
const std::vector<CarriedLabel> &last_closed_global_labels();
// Starts the global scope afresh (silently, whatever it held) with every label of the list
// defined at its address; none of them is wanted from a library.
void start_global_scope_with(const std::vector<CarriedLabel> &labels);
// A global label the compile needs although nothing refers to it yet (a routine the start-up
// block calls): put on the wanted list, so that the library module that defines it comes in.
// Nothing happens when the label is defined. Unless a reference is made as well, it is not
// reported when it stays undefined (whoever wanted it reports that).
void want_global_label(const char *name);

// The global labels that references created and that are still wanted, newest first.
// Removes every defined one; returns how many it removed.
int prune_pending_globals();
std::size_t pending_global_count();
// The newest pending name, or "" when none; `pop` takes it off the list.
std::string pending_global_head();
void pop_pending_global();

// ---- the table operations ----------------------------------------------------------------------

LabelTable &global_label_table();
LabelTable &local_label_table();
LabelPair *label_table_find(LabelTable &table, const QBString &name);
// False (nothing changed, the caller keeps the record) when the name is there already.
[[nodiscard]] bool label_table_insert(LabelTable &table, const QBString &name, QBFixupRec *record);
// Unlinks the pair; returns the record (the caller owns it), or nullptr.
QBFixupRec *label_table_remove(LabelTable &table, const QBString &name);
void label_table_for_each(LabelTable &table, void (*visit)(LabelPair *pair, void *context),
                          void *context);
// Destroys every pair with its record.
void label_table_clear(LabelTable &table);

// ---- state read by neighbours --------------------------------------------------------------------

// True when the address lies in the range of the origin that the current code cache is bound
// to (physical addresses, both ends included).
[[nodiscard]] bool check_origin_range(ADDR24 address);

// Label recording: set at the start of a compile; cleared around a trial parse whose code is
// thrown away.
void set_label_recording(bool on);
[[nodiscard]] bool label_recording();
// The expression parser's nesting counter (its owner installs the reader; none reads 0).
void set_expression_nesting_reader(int (*reader)());
// The label-reference marker: a jump or call reference leaves the opcode of its fix-up to be
// taken from the next byte emitted at the operand's address - 1; callers may clear it.
void clear_label_reference_marker();
// Set while the fix-ups of a definition are applied.
[[nodiscard]] bool label_patching_in_progress();
// Whether the last scope close found an undefined label.
[[nodiscard]] bool undefined_label_found();

// The code generator's jump patcher: completes the jump or call whose operand lies at
// `position` now that its target is known. Until one is installed (nullptr restores it) the
// built-in one patches the operand of every branch that needs no rewriting (a root target, a
// long jump or call, a target in the page of the branch) and refuses the others with
// "The jump patcher for xmem targets is not part of this build.".
using JumpPatcher = void (*)(ADDR24 position, uint8_t opcode, ADDR24 target, uint32_t flags);
void set_jump_patcher(JumpPatcher patcher);

// Message ids of this unit.
enum : uint32_t {
    kMsgJumpOutOfRange = 771,
    kMsgRedefiningLocal = 7200,
    kMsgRedefiningGlobal = 7201,
    kMsgLabelInXmemByLcall = 7202,
    kMsgByteValueRange = 7203,
    kMsgLabelNeedsRoot = 7204,
    kMsgUndefinedLocal = 7205,
    kMsgUndefinedGlobal = 7206,
    kMsgCannotLinkInWatch = 7207,
    kMsgNoXmemJumpPatcher = 7208,
    kMsgUserSymbolOverrides = 7272,
    kMsgUserCodeOverrides = 7273,
};
