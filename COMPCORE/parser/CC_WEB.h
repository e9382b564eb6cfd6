// CC_WEB: the "#web" extension, which publishes program variables to the target's web server
// library. "#web" names a variable, one of its members or elements (a reference such as
// "cfg.port" or "tbl[@]") with the groups that may see and change it, the authentication methods
// it accepts, an optional list of named choices ("select") and an optional guard: a small int
// function made from an expression, which the library calls before it takes a new value and
// which reads that value through "$" references. "#web_groups" names the groups (one bit each),
// "#web_update" attaches a program function to variables through a root entry stub that runs it
// once until the library clears the stub's flag byte. Every published variable is kept in one
// registry for the compile; after the program the tables the library reads are laid down in the
// constant area, reached through the symbols the library declares: `_web_var_info`,
// `_web_update_entry_ary` and `_web_update_entry_ary_sz`.
//
// Target format (little-endian 16-bit words; an address is a logical address, 0 for none):
//   address list    one word per entry, then 0 (guard functions, update stubs)
//   dimension list  one word per array level of a declarator, outermost first, then 0
//   member record   name text, offset, type, dimension list (8 bytes); a list ends with 0
//   structure head  size, member list (4 bytes)
//   variable record name text of the first path element, base variable, type, dimension list,
//                   guard list, update list, authentication byte (bit 0 none, 1 basic, 2 digest,
//                   3 ssl), groups, write permissions, selection list (19 bytes, no padding)
//   selection list  per option its label text and its value (16-bit for int and unsigned,
//                   32-bit for long and unsigned long), then 0
// A type is a basic type code (1 char, 2 int, 3 unsigned, 4 long, 5 unsigned long, 7 float,
// 9 a char array (text), 12 a pointer) or the address of a structure head.
#pragma once

#include "core/CC_OBJ.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct symbol;

// One step of a reference: the variable or member and its subscripts. A subscript of 0 or more
// is a fixed index; -1 is the wildcard "[@]"; -2 - n the wildcard with offset n, "[@[n]]".
struct WebPathElement {
    symbol *sym = nullptr;
    std::vector<int32_t> subscripts;
};
using WebPath = std::vector<WebPathElement>;

// At most this many subscripts on one element of a reference.
inline constexpr std::size_t kMaxWebSubscripts = 8;
// At most this many web groups (one bit of a 16-bit mask each).
inline constexpr int kMaxWebGroups = 16;

// One published variable, under its reference text.
struct WebVariable {
    std::vector<uint16_t> guards;   // guard function addresses, in declaration order
    uint16_t guard_table = 0;
    std::vector<uint16_t> updates;  // "#web_update" stub addresses
    uint16_t update_table = 0;
    uint16_t index = 0;             // position in `_web_var_info`
    uint16_t type_descriptor = 0;
    uint16_t dimension_list = 0;
    uint16_t groups = 0;
    uint16_t write = 0;
    uint8_t auth = 0;
    uint16_t selection = 0;
    WebPath path;
};

// The extension's own node pool (64 nodes), so that it never disturbs the compiler's.
extern ObjectPool gWebPool;

// ---- references -------------------------------------------------------------------------------
//   reference = name { "." member | "[" ( constant | "@" [ "[" constant "]" ] ) "]" }
// Parses a reference at the input pointer, appending to `path`; `node` (or a fresh node of
// gWebPool) ends up standing for the referenced variable, member or element (its offset moved,
// no code emitted). `allow_offset` permits "[@[n]]". `wildcard` tells whether a wildcard
// occurred. False after a report: 2177 (no name), 449 (bad member), 444 (a ninth subscript),
// 448 (a constant index below 0 or past the dimension), 447 (a subscript on no array).
bool parse_web_reference(WebPath &path, object *node, bool allow_offset, bool &wildcard);
// The canonical text of a path ("cfg.port[2]", "tbl[@]", "tbl[@[3]]"): the registry's key and
// the names the tables carry.
void web_reference_text(std::string &text, const WebPath &path);
// One element: a member's own name (not its scope-unique one), its subscripts, and "." when it
// is `not_last` and a structure.
void append_path_element_text(std::string &text, const WebPathElement &element, bool not_last);

// ---- declarations -----------------------------------------------------------------------------
//   web line = "#web" ( "debug" | "nodebug" | reference [ select | "(" guard ")" ] clauses )
//   select   = "select" "(" literal [ "=" constant ] { "," literal [ "=" constant ] } ")"
//   clauses  = { "auth" [ "=" ] method { "," method } | "groups" [ "=" ] item { "," item } }
//   item     = ( "all" | group ) [ "(" ( "ro" | "rw" ) ")" ]
// The rest of a "#web" line (the word consumed).
void parse_web_declaration();
// The "auth" and "groups" clauses into `record`; a redeclaration that changes them reports
// 2166 (groups), 2167 (write permissions) or 2168 (methods).
void parse_web_clauses(const std::string &key, WebVariable &record, bool is_new);
// The option list after "select" for a variable of `type_code`, laid down in the constant
// area; its address.
uint16_t parse_select_list(int32_t type_code);
// Start of every compile that is not a watch compile: an empty registry, no groups, no update
// stubs, guards without debug code, a fresh pool.
void web_reset();

// ---- groups, update stubs, new values ---------------------------------------------------------
//   groups line = "#web_groups" name { "," name }
//   update line = "#web_update" reference { "," reference } function
void parse_web_groups();
void parse_web_update();
// A reference after "$" in a guard expression: fetches the new value through the library and
// leaves `node` standing for it (452 outside a guard, 2173 for an undeclared reference).
void compile_web_value_reference(object *node);

// ---- tables -------------------------------------------------------------------------------------
// After the program (not in a BIOS or watch compile): lays the tables down when the program
// declares their symbols, then empties the registry.
void emit_web_tables();
// An address list; its address (0 for an empty list, which is not laid down). Empties the list.
uint16_t emit_address_list(std::vector<uint16_t> &list);
// The dimension list of a symbol whose first level is an array; else 0.
uint16_t emit_dimension_list(const symbol *sym);
// The descriptor of a structure (or array of structures) symbol, nested ones first; the
// address of its head, or 0 for any other symbol.
uint16_t emit_struct_descriptor(const symbol *sym);
// The heads that lead from the path's base variable to its last element, listing only the
// members along it; the outermost head, or what `emit_struct_descriptor` gives for a path of
// one element.
uint16_t emit_path_descriptor(const WebPath &path);
// A text as a pooled string literal of the program: a node of gWebPool naming it.
object *web_string_literal(const std::string &text);

// Message ids of this unit.
enum : uint32_t {
    kMsgWebTooManyDimensions = 444,
    kMsgWebCannotSubscript = 447,
    kMsgWebIndexOutOfBounds = 448,
    kMsgWebBadMember = 449,
    kMsgWebInvalidExpression = 452,
    kMsgWebExpectingParen = 2038,
    kMsgWebUnmatchedParen = 2086,
    kMsgWebGroupsDiffer = 2166,
    kMsgWebPermissionsDiffer = 2167,
    kMsgWebAuthDiffer = 2168,
    kMsgWebGroupMissing = 2169,
    kMsgWebGroupUnknown = 2170,
    kMsgWebPermissionExpected = 2171,
    kMsgWebAuthMissing = 2172,
    kMsgWebNotDeclared = 2173,
    kMsgWebNoUpdateFunction = 2174,
    kMsgWebTooManyGroups = 2175,
    kMsgWebGroupExpected = 2176,
    kMsgWebNameExpected = 2177,
    kMsgWebSelectType = 2178,
};
