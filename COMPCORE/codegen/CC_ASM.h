// CC_ASM: the inline assembler. Scans one assembly statement (`next_asm_token`), defines its
// labels, evaluates operand expressions and encodes the instruction by matching its operands
// against the instruction forms of CC_ASMTAB; the statement's bytes are built in a small buffer
// and then handed, one by one, to the code-byte emitter of the host.
// What it needs of the rest of the compiler (diagnostics, the emit cache, labels and fix-ups,
// symbols, the debugger's source tables, C statements inside assembly) it reaches through the
// `AsmHost` seam below; `AsmImageHost` is a complete standalone host (an image in memory with
// its own label table) used by the test tools and tests. Std-only.
#pragma once

#include "CC_ASMTAB.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// ---- label and fix-up records --------------------------------------------------------------------

// Operand-expression flags (also the fix-up patch kind for the label layer).
constexpr uint16_t kAsmFlagLocals = 0x0001, kAsmFlagGlobals = 0x0002;
constexpr uint16_t kAsmFlagLogical = 0x0008;
constexpr uint16_t kAsmFlagRelByte = 0x0010;
constexpr uint16_t kAsmFlagByte = 0x0020;
constexpr uint16_t kAsmFlagPlaceholder = 0x0040;
constexpr uint16_t kAsmFlagValue = 0x0000;  // a 16-bit value: the plain word fix-up
constexpr uint16_t kAsmFlagWord = 0x0100;   // the 16-bit target of a jump or call only
constexpr uint16_t kAsmFlagLong = 0x0180;
constexpr uint16_t kAsmFlagBase = 0x2000;
constexpr uint16_t kAsmFlagNoStub = 0x8000;

// A long-call fix-up record: goes with the label reference of an "lcall" page byte.
struct LcallFixup {
    int kind = 0;
    std::string target;
    uint8_t flag_byte = 0;
    int source_line = 0;
};

// What assembly text reads of a C symbol.
struct AsmSymbol {
    uint8_t kind = 0;            // 2 code label or automatic variable, 3 function, 253/255 member
    int32_t type = 0;            // 16 and above: a structure or union tag
    uint32_t address = 0;        // target address word; `kAsmPlaceholder` while unassigned
    uint32_t stub_address = 0;   // root entry stub of an xmem function, or `kAsmPlaceholder`
    int16_t value = 0;           // offset of a member or automatic variable
    uint16_t size = 0;           // bytes of the declared object
    bool xmem = false;           // placed in extended memory
    bool is_function = false;    // its outermost declarator level is a function
    int line = 0;                // declaration position
    std::string file;
    void *handle = nullptr;      // the table entry, for the services that act on it
};
// The address of a name not yet placed.
constexpr uint32_t kAsmPlaceholder = 0;

// ---- the host seam ----------------------------------------------------------------------------------

class AsmHost {
public:
    virtual ~AsmHost() = default;

    // Diagnostics at a source position (column 1-based). `level` 1 serious, 0 trivial.
    virtual void asm_error(int line, int column, const std::string &text) = 0;
    virtual void asm_warning(int level, int line, int column, const std::string &text) = 0;
    // The source line of the statement being assembled.
    virtual int asm_source_line() = 0;

    // The current emit cache: its address (target address word) and the byte emitter.
    virtual uint32_t asm_code_address() = 0;
    virtual void asm_emit_byte(uint8_t b) = 0;

    // Names: the value of a defined symbol or label (locals before globals), or nothing.
    virtual std::optional<uint32_t> asm_lookup(const std::string &name) = 0;
    // A reference to a name not yet defined: queue a fix-up at `address` patched by `flags`
    // with `addend`; returns the value to emit now (the placeholder).
    virtual uint32_t asm_reference(const std::string &name, uint32_t address, uint16_t flags,
                                   uint8_t opcode, int32_t addend, const LcallFixup *lcall) = 0;
    // Defines a code label (global or local) or an "equ" value; false when it was defined
    // already (the assembler then reports it).
    [[nodiscard]] virtual bool asm_define(const std::string &name, uint32_t value, bool global,
                                          bool equ) = 0;

    // The compiler's tables. The defaults reach the real ones (symbol and tag tables, the
    // macro table, the pending root stubs, the generated-line flag of `outasm`); a standalone
    // host may keep them out.
    // A C symbol of the name in the local (true) or global table.
    virtual std::optional<AsmSymbol> asm_symbol(const std::string &name, bool local);
    // Queues the root entry stub of an xmem function that assembly text uses as a value.
    virtual void asm_queue_root_stub(const AsmSymbol &function);
    // The definition text of a macro, or nothing.
    virtual std::optional<std::string> asm_macro_text(const std::string &name);
    // A structure tag, or a variable of structure type: its tag type code.
    virtual std::optional<int> asm_struct_tag(const std::string &name);
    // A member of a tag: its offset.
    virtual std::optional<int32_t> asm_struct_member(int tag, const std::string &name);
    virtual int32_t asm_struct_size(int tag);
    // True while the line being assembled was written by the code generator.
    virtual bool asm_generated_line();

    // Services of units still to come; the defaults do without them.
    // A global label opened an assembly function (`previous` is the one it closes, or empty):
    // the map file's function records and, in xmem, the function's root entry stub.
    virtual void asm_function_label(const std::string &, uint32_t, const std::string &) {}
    // A call to a named target, for the map file's call graph.
    virtual void asm_call_target(const std::string &) {}
    // "@SP" and "@RETVAL".
    virtual int32_t asm_stack_depth() { return 0; }
    virtual int32_t asm_return_value_offset() { return 0; }
    // "sizeof ..." at the cursor: consumes the C unary expression and gives its constant.
    virtual std::optional<int32_t> asm_sizeof(const char *&) { return std::nullopt; }
    // A C statement inside assembly (line beginning with the word "c"); false when not possible.
    virtual bool asm_c_statement(const char *&) { return false; }
    // A source position with its code address for the debugger's line table.
    virtual void asm_line_entry(uint32_t) {}
    // A jump or call whose whole statement is the opcode and an address operand ("jp", "jp cc",
    // "ljp", "call", "call cc", "lcall", and the block-move replacement's call): the host's
    // branch emitter may write it instead of the assembler (true), choosing the long form or a
    // bouncer by where the target lies. `target` is the address word (0 for a name still
    // undefined, whose fix-up the assembler queues at the statement address plus 1); `name`
    // is the operand as written when it is a single word.
    virtual bool asm_branch(uint8_t /*opcode*/, uint32_t /*target*/, const std::string & /*name*/,
                            bool /*call*/)
    {
        return false;
    }
    // The call of a runtime routine that the assembler writes in place of an instruction (the
    // block-move replacement's "ldir_func" and "lddr_func"): the host's named-call emitter may
    // write it with its own fix-up (true); otherwise the assembler writes "call name".
    virtual bool asm_named_call(const std::string & /*name*/) { return false; }
};

// The host in use (never null once set; the assembler asserts it).
void set_asm_host(AsmHost *host);
AsmHost *asm_host();

// ---- vocabulary and scanner ------------------------------------------------------------------

// A hash of keywords: a 65,536-bit presence map and the 16-bit hash of each keyword.
class KeywordHash {
public:
    // Builds over the texts; false (after the internal error 669) on a hash collision.
    bool build(const std::vector<std::string> &keywords);
    // Index of the word, or -1.
    int keyword_index(std::string_view word) const;
    static uint16_t keyword_hash_value(std::string_view word);
    int size() const { return static_cast<int>(m_keywords.size()); }

private:
    std::vector<uint8_t> m_bitmap = std::vector<uint8_t>(8192, 0);
    std::vector<std::string> m_keywords;
    std::vector<uint16_t> m_hashes;
};

// Makes the active mnemonic table for the current target (61 rows, 74 with revision 257), for
// both CPUs, and points the disassembler at the F80 condition names.
void init_asm_mnemonics();
// The active mnemonic rows.
int asm_active_mnemonic_count();

// Token codes of the scanner.
constexpr int kTokEnd = 128, kTokWord = 129, kTokNumber = 130, kTokString = 131;
// The longest word or string the scanner keeps.
constexpr int kAsmMaxWord = 33;

// Scanner entry points over the current statement (module state).
void asm_scan_begin(const char *text);
int next_asm_token();
int asm_token();
const std::string &asm_token_text();
int32_t asm_token_value();
int asm_register_code();        // register code of the current word, or -1
bool is_condition_word();       // current word is a condition (nv/v rewritten)
int condition_number();         // 0..7, or 766 reported and -1

// ---- statements -----------------------------------------------------------------------------------

// Assembles one statement at `input` and emits its bytes. Returns true with `input` moved past
// a "$" when another statement follows on the same line.
bool assemble_statement(const char *&input, bool debug_flag);
// Assembles every statement of one line.
void assemble_line(const char *text, bool debug_flag = false);

// The value of a macro whose text is a number (C rules: 0x hexadecimal, leading 0 octal, else
// decimal), ending there or at a blank; false for any other macro or none.
[[nodiscard]] bool macro_numeric_value(const std::string &name, int32_t &value);

// The I/O-prefix watch over emitted bytes (called by the code-byte emitter for every byte).
bool check_emitted_io_prefix(uint8_t b);

// Module switches.
void set_asm_generated_line(bool on);    // lines written by the code generator
void set_asm_dry_run_depth(int depth);   // > 0: measure only
int asm_dry_run_depth();
void set_asm_block_move_replacement(bool on);
void set_asm_redefinition_allowed(bool on);

// Resets the statement state between compiles (prefix counters, open assembly function).
// The global code label recorded last (the map's previous-name text), emptied by the call: the
// end of the program closes its map entry.
std::string take_previous_map_name();
void reset_asm_state();

// Message ids of the assembler.
enum AsmMsg : uint32_t {
    kMsgSyntaxGarbage = 408, kMsgInvalidExpression = 452, kMsgInvalidOperand = 461,
    kMsgPreviouslyDefined = 491, kMsgMultiplePrefixes = 540, kMsgAltdNotAllowed = 541,
    kMsgIoNotAllowed = 542, kMsgKeywordCollision = 669, kMsgMissingComma = 756,
    kMsgMissingOpenParen = 757, kMsgMissingCloseParen = 758, kMsgMissingColon = 759,
    kMsgRegisterExpected = 760, kMsgInvalidRegister = 761, kMsgIntegerExpected = 762,
    kMsgInvalidString = 763, kMsgIndexRange = 764, kMsgByteRange = 765, kMsgInvalidFlag = 766,
    kMsgBadAt = 768, kMsgUnrecognizedToken = 769, kMsgInvalidRst = 770, kMsgJumpRange = 771,
    kMsgBadBitNumber = 773, kMsgBadOpcode = 774, kMsgBadStructField = 775,
    kMsgMissingBracket = 776, kMsgOneUndefinedLabel = 777, kMsgDemotion = 807,
    kMsgUnsupportedOperator = 2023, kMsgMappingMismatch = 2152, kMsgWaitStateOp = 3032,
    kMsgLabelOverridesVariable = 3035, kMsgRetInXmem = 3040,
};

// ---- a standalone host: an image in memory with its own labels -------------------------------------

class AsmImageHost : public AsmHost {
public:
    struct Message {
        bool error;
        int line, column;
        std::string text;
    };
    struct Fixup {
        std::string name;
        uint32_t address;
        uint16_t flags;
        int32_t addend;
        int line;
    };

    explicit AsmImageHost(uint32_t origin = 0) : address(origin) {}

    uint32_t address;                       // next emit address (wraps after 0xFFFF)
    std::map<uint32_t, uint8_t> image;      // address -> byte
    std::vector<Message> messages;
    std::map<std::string, uint32_t> labels;
    std::vector<Fixup> fixups;              // still pending
    std::vector<uint32_t> line_entries;
    std::vector<std::string> calls;         // named call targets
    int line = 1;
    // Off: the compiler's symbol, tag and macro tables stay out of the assembly (the tools);
    // on: names that are no labels are looked up there as in a compile.
    bool use_compiler_tables = false;

    void asm_error(int line, int column, const std::string &text) override;
    void asm_warning(int level, int line, int column, const std::string &text) override;
    int asm_source_line() override { return line; }
    uint32_t asm_code_address() override { return address; }
    void asm_emit_byte(uint8_t b) override;
    std::optional<uint32_t> asm_lookup(const std::string &name) override;
    uint32_t asm_reference(const std::string &name, uint32_t address, uint16_t flags,
                           uint8_t opcode, int32_t addend, const LcallFixup *lcall) override;
    [[nodiscard]] bool asm_define(const std::string &name, uint32_t value, bool global,
                                  bool equ) override;
    void asm_line_entry(uint32_t a) override { line_entries.push_back(a); }
    std::optional<AsmSymbol> asm_symbol(const std::string &name, bool local) override;
    void asm_queue_root_stub(const AsmSymbol &function) override;
    std::optional<std::string> asm_macro_text(const std::string &name) override;
    std::optional<int> asm_struct_tag(const std::string &name) override;
    std::optional<int32_t> asm_struct_member(int tag, const std::string &name) override;
    int32_t asm_struct_size(int tag) override;
    bool asm_generated_line() override { return false; }
    void asm_call_target(const std::string &name) override { calls.push_back(name); }

    // Reports every fix-up still pending ("Undefined (but used) local symbol %s").
    void finish();
    int error_count() const;
    // The bytes from `from` up to (not including) `to`, across the wrap from 0xFFFF to 0x0000.
    std::vector<uint8_t> bytes(uint32_t from, uint32_t to) const;
};
