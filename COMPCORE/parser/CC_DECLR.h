// CC_DECLR: C declarations. The front of every declaration (function attributes, storage class,
// qualifiers, memory words, the type specifier or typedef name), each declarator with its
// pointer, array and function levels, prototype and old-style parameter lists (CC_DECLR.cpp);
// structures, unions and enumerations (CC_STRUCT.cpp); and the definer that enters each
// declarator, places globals and statics, gives autos their frame offsets and writes initialised
// data into the constant area and zeroed space into the variable area (CC_DEFINE.cpp).
// The whole-program parse (CC_DECL) reads each top-level item through `parse_declarations(1)`;
// the statement parser reads the declarations at the start of a block with `parse_declarations(0)`.
// A function declarator at global scope goes on to the function-definition compiler and an
// initialiser's type check to the assignment check, both through SEAM_DECL.
// Dimensions and enumeration values are constant expressions (CC_HIER), initialisers expressions
// in initialiser mode; constants are converted by CC_CONV.
#pragma once

#include <cstdint>
#include <string>

// ---- codes ---------------------------------------------------------------------------------------

// Type codes as the type-specifier reader returns them.
enum : int32_t {
    kTypeNone = 0,
    kTypeChar = 1,          // characters are unsigned
    kTypeInt = 2,           // also every enumeration
    kTypeUnsigned = 3,
    kTypeLong = 4,
    kTypeUnsignedLong = 5,
    kTypeFloat = 7,         // float and double are one 4-byte type
    kTypeVoid = 12,
    kTypeFirstTag = 16,     // 16 + n: the structure or union with tag n
    kTypeBadStruct = -1,    // a structure whose member list failed
};

// Storage-class codes.
enum : int32_t {
    kStorageNoneLocal = 0,
    kStorageNoneGlobal = 1,
    kStorageAuto = 2,
    kStorageStaticLocal = 3,   // also "bbram" at local scope
    kStorageRegister = 4,
    kStorageTypedefLocal = 6,
    kStorageTypedefGlobal = 7,
    kStorageExtern = 252,
    kStorageStaticGlobal = 254,  // also "bbram" at global scope
    kStorageOldParameter = -1,   // read by the old-style parameter declarations
    kStorageParameter = -2,      // read by a prototype parameter list
};

// Definer contexts.
enum : int { kContextLocal = 0, kContextGlobal = 1, kContextOldParameter = -1, kContextParameter = -2 };

// Declaration flag word bits this parser sets (the word of CC_DECL's `DeclFlags`).
enum : uint32_t {
    kDeclTyped = 1u << 6,
    kDeclFirstTime = 1u << 7,
    kDeclInterruptShift = 8,            // 1 "reti", 2 "ret", 3 "retn"
    kDeclInterruptMask = 7u << 8,
    kDeclSize = 1u << 12,               // optimise for size (clear: speed)
    kDeclCofuncShift = 14,              // cofunction instance count
    kDeclCofuncMask = 0x3Fu << 14,
    kDeclSingleUser = 1u << 20,         // "scofunc"
    kDeclLongCall = 1u << 21,           // "__lcall__"
};
// The instance count of a cofunction whose count is not given yet.
inline constexpr uint32_t kCofuncCountPending = 63;
// The instance count of the flag word (0: no cofunction).
inline uint32_t cofunction_count(uint32_t flag_word)
{
    return (flag_word & kDeclCofuncMask) >> kDeclCofuncShift;
}

// Where the definer keeps its marks in a symbol's flag bytes (the expression nodes copy the
// sharing marker as their storage-space code, and the not-initialised bit as the writable mark:
// initialised data lies among the constants).
struct SymbolFlagBit {
    uint8_t byte;
    uint8_t mask;
};
inline constexpr SymbolFlagBit kSymDefined{0, 0x10};         // a definition, not a declaration
inline constexpr SymbolFlagBit kSymNotInitialised{1, 0x20};  // in the variable area
inline constexpr SymbolFlagBit kSymTyped{2, 0x04};           // a "Typed" function
inline constexpr int kSymSharingShift = 2;                    // flags[0] bits 2-3: 0, 1 shared, 2 protected
inline constexpr int kSymIoShift = 0;                         // flags[2] bits 0-1: the I/O attribute

// Sharing markers.
enum : uint16_t { kShareNone = 0, kShareShared = 1, kShareProtected = 2 };

// ---- declarator results --------------------------------------------------------------------------

inline constexpr int kMaxDeclaratorLevels = 7;
inline constexpr int kMaxDimensions = 7;
inline constexpr int32_t kMaxDimension = 32767;  // one dimension, and the product of all

// What the last declarator read: overwritten by the next one, so the definer takes what it needs
// first.
struct DeclaratorResult {
    char name[33] = {};
    uint32_t word = 0;                      // one 4-bit group per level, outermost lowest
    uint16_t dims[kMaxDimensions] = {};     // outermost array level first; 0 for "[]"
    int dim_count = 0;
    uint32_t size = 0;                      // bytes of the whole object
    uint32_t element_size = 0;              // bytes of what the array levels hold
    int result = 0;  // 0 no function; 1 a function whose "()" was read; 2 its parameters follow
};
const DeclaratorResult &declarator_result();
// The parameter list of the last declarator read when its function level stands inside
// parentheses ("int (*f(int a))(int)"), with the list's ")" and each character's source
// position; empty when the parameters (result 2) follow in the input instead.
struct AsmLineText;
const AsmLineText &held_parameter_list();

// The number of levels of a declarator word (groups from the lowest whose level is not 0).
int declarator_levels(uint32_t word);
// The bytes of an object: walks the levels from the outermost (arrays multiply by their
// dimension, a pointer or function level gives 2, else the base type's size). 545 when the
// product of the dimensions passes 32767 (`report`).
uint32_t declarator_size(uint32_t word, int32_t type, const uint16_t *dims, int dim_count,
                         uint32_t *element_size = nullptr, bool report = false);

// ---- the readers ---------------------------------------------------------------------------------

// Reads declarations at the cursor: one per pass at global scope (`global` 1), all that start a
// block at local scope (0). Non-zero when at least one was read.
int parse_declarations(int global);
// A type specifier at the cursor: a type code (0 none).
int32_t parse_type_specifier();
// One declarator into the results; `with_name`: the declared name is read too. The result code.
int parse_declarator(int32_t type, bool with_name);
// One declarator without a name (casts, "sizeof").
int parse_abstract_declarator(int32_t type);
// A prototype parameter list after "(": -1 none read, 0 old style, above 0 the typed count (1
// also after "...").
int parse_parameter_list();
// Old-style parameter declarations between ")" and "{": 1 when at least one was read.
int parse_old_style_parameters();

// A type specifier, else a typedef name (local table first), which the declarators of the
// declaration then take their levels and dimensions from. 0 when neither stands there.
int32_t parse_type_or_typedef();
// What a declaration read so far keeps for its declarators (its typedef and const flag): a
// nested declaration (the members of a structure defined in it) saves and restores it.
struct symbol;
struct DeclarationFrontState {
    const symbol *typedef_entry = nullptr;
    bool constant = false;
};
DeclarationFrontState save_declaration_front();
void restore_declaration_front(const DeclarationFrontState &state);
// Everything a declarator read keeps program-wide (its results, the declaration's typedef and
// const flag, the reading guard). A type name read inside a declaration (a cast or "sizeof" in a
// dimension) saves it, reads with a fresh one, and puts the declaration's back.
struct DeclaratorContext {
    DeclaratorResult result;
    DeclarationFrontState front;
    bool reading = false;
};
// Returns the context and leaves a fresh one.
DeclaratorContext save_declarator_context();
void restore_declarator_context(const DeclaratorContext &context);

// Structures and enumerations, after the word "struct" (kind 0), "union" (1) or "enum".
int32_t parse_struct_or_union(int kind);
int32_t parse_enum();
// 1 when the list ended at "}", 0 after an error.
int parse_enumerator_list();

// The definer: reads the declarator list of one declaration and defines each name. At local
// scope returns the block's frame accumulator; 1 when a function body was compiled; 2 after 517;
// else 0.
int32_t define_declarators(int32_t type, int32_t storage, int context, bool implicit,
                           bool protect);
// One object's initialised data (or zeroed space). `mode` 2 the outer call, 1 an element without
// braces, -1 an element inside braces, 0 no value left. -1 when the enclosing list goes on.
int emit_initialized_data(uint32_t word, int32_t type, uint16_t *dims, int dim_count, int mode,
                          bool initialised, bool protect);

// The sharing marker ("shared", "protected") of the declaration the definer reads.
void set_sharing_marker(uint16_t marker);

// The I/O attribute of the declaration the definer reads: the leading word "ioi" (internal I/O
// space) or "ioe" (external), the names of the assembler's prefixes. Each object of such a
// declaration is a port at the address "@" gives it (a definition without one is refused), and
// every access of it carries the space's prefix. It lasts for the whole declarator list; an
// object at local scope is static (a port has one fixed address). The definer copies it into
// bits 0-1 of the symbol's third flag byte (kSymIoShift).
enum : uint8_t { kIoNone = 0, kIoInternal = 1, kIoExternal = 2 };
void set_io_attribute(uint8_t space);

// ---- local scope ---------------------------------------------------------------------------------

// What the definer reads of the function being compiled (set by the function-definition parser).
struct LocalDeclarationScope {
    std::string function;   // "func:var" names of static locals
    bool cofunction = false;  // locals default to "auto"
    int16_t frame = 0;        // the block's frame accumulator (autos count downward)
    // Register variables are saved and restored around the function only when they are
    // declared at the top of an ordinary function's body; the function places them together
    // once its declarations are read. Anywhere else (a nested block, a cofunction) "register"
    // declares an automatic variable, which recursion cannot overwrite.
    bool registers = false;
};
LocalDeclarationScope &local_declaration_scope();

// The memory word ("root", "xmem", "anymem": CC_DECL's placement code) written in front of the
// declaration being read; kPlaceNone when none was.
uint16_t declared_memory_word();

// Start of every compile: the remembered typedef, the nesting guards and the local scope.
void reset_declaration_parser();

// The declaration seam served by this parser.
class DeclarationSeam;
DeclarationSeam &declaration_parser_seam();

// Message ids of the declaration parser.
enum : uint32_t {
    kMsgDeclVoidObject = 410,
    kMsgDeclRegisterSize = 411,
    kMsgDeclAutoInit = 412,
    kMsgDeclSharedPlacement = 413,
    kMsgDeclImproperArgument = 414,
    kMsgDeclDimensionMissing = 415,
    kMsgDeclTooComplicated = 416,
    kMsgDeclBadType = 421,
    kMsgDeclContainsItself = 422,
    kMsgDeclStringTooLong = 424,
    kMsgDeclConstantExpected = 427,
    kMsgDeclTooManyDims = 444,
    kMsgDeclIllegalName = 490,
    kMsgDeclPreviouslyDefined = 491,
    kMsgDeclNeedFunction = 517,
    kMsgDeclAutoGlobal = 525,
    kMsgDeclRegisterGlobal = 526,
    kMsgDeclSharedInconsistent = 532,
    kMsgDeclDimensionTooLarge = 544,
    kMsgDeclProductTooLarge = 545,
    kMsgDeclConstantInitializer = 546,
    kMsgDeclInitializedInFlash = 548,
    kMsgDeclConstNeedsInit = 549,
    kMsgDeclDuplicateConst = 560,
    kMsgDeclClassWarning = 561,
    kMsgDeclConstLocal = 564,
    kMsgDeclConstPointer = 565,
    kMsgDeclNotTerminated = 566,
    kMsgDeclTagKind = 567,
    kMsgDeclEnumUndefined = 568,
    kMsgDeclEnumSeparator = 569,
    kMsgDeclEnumName = 570,
    kMsgDeclEnumType = 571,
    kMsgDeclEnumTypeWarning = 572,
    kMsgDeclBadOperandType = 623,
    kMsgDeclUnsupportedInit = 662,
    kMsgDeclNonAnsiAfterAnsi = 702,
    kMsgDeclAnsiAfterNonAnsi = 703,
    kMsgDeclIoConstant = 2003,
    kMsgDeclIoPointer = 2004,
    kMsgDeclParenExpected = 2006,
    kMsgDeclBracketExpected = 2007,
    kMsgDeclIndexedFunction = 2009,
    kMsgDeclIoInitializer = 2011,
    kMsgDeclBadDeclaration = 2100,
    kMsgDeclOldStyleMissing = 2135,
    kMsgDeclAutoBbram = 2140,
    kMsgDeclIndexedVarargs = 2146,
    kMsgDeclClassAutoInit = 2147,
    kMsgDeclStructBeforeDefinition = 2153,
    kMsgDeclLcallCofunc = 2157,
    kMsgDeclNouseixCofunc = 3000,
    kMsgDeclDimensionTooSmall = 7163,
    kMsgDeclInstanceCount = 7164,
    kMsgDeclStructTooLarge = 7165,
    kMsgDeclFrameTooLarge = 7166,
    kMsgDeclUnsizedTooLarge = 7167,
};
