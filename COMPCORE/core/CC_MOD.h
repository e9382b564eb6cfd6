// CC_MOD: function records and the address-to-function lookups.
// Every function a compile produces leaves one FunctionRecord in a program-wide list (name, code
// range and the words the function-definition parser hands over). After the compile the debug
// windows name the function that holds a target address and find a function's start by name.
// The unit also resolves the target's exit hook "__xexit__" for the debugger.
#pragma once

#include "CC_ADDR.h"

#include <cstdint>
#include <string>
#include <vector>

struct FunctionRecord {
    std::string name;
    ADDR24 start = kDummyAddress;
    uint32_t word_a = 0;
    uint32_t word_c = 0;
    uint32_t word_d = 0;
    uint32_t word_b = 0;          // given by reference, copied when the record is made
    ADDR24 end = kDummyAddress;   // start == end: the record holds no code
    uint32_t options[3] = {0, 0, 0};
    uint16_t id16 = 0;
    uint8_t id8 = 0;
    uint8_t storage_class = 0;
    FunctionRecord *next = nullptr;
};

// Appends a record at the tail; the three option words and the storage class are taken from
// the current values (set_function_record_context).
FunctionRecord *add_function_record(uint16_t id16, uint8_t id8, uint32_t word_a, ADDR24 start,
                                    ADDR24 end, const uint32_t &word_b, uint32_t word_c,
                                    uint32_t word_d, const char *name);
// The compiler's code-option words and default storage class in force for new records.
void set_function_record_context(const uint32_t options[3], uint8_t storage_class);

const FunctionRecord *function_records(); // head
void free_function_records();

// Start of the first record of that name that holds code; kDummyAddress when none.
ADDR24 function_address(const char *name);
// Name of the first record with start <= address <= end and start != end; nullptr when none.
const char *function_name_at(ADDR24 address);
// The same search; the outputs stay unchanged when no record holds the address.
bool function_ids_at(ADDR24 address, uint16_t *id16, uint8_t *id8);
// The first record whose range holds the address; of consecutive records with one start the
// last answers. No output changes when no record holds it. `options` (three words) and
// `storage_class` may be null.
bool function_info_at(ADDR24 address, uint32_t *word_a, ADDR24 *start, uint32_t *word_b,
                      uint32_t *word_c, uint32_t *word_d, uint32_t *options,
                      uint8_t *storage_class);

// The start list: the start address of every function body in compile order, whether or not it
// leaves a record (a "nodebug" function leaves none, yet code inside it is not its neighbour's).
// The compile-and-load sequence empties it before each compile.
void add_function_start(ADDR24 start);
const std::vector<ADDR24> &function_starts();
void clear_function_starts();
// The index in the start list of the function whose code holds the address: the first whose start
// is not above it and whose successor's start is above it (physically), else the last; -1 when
// the list is empty.
int function_start_index(ADDR24 address);

// Exit hook: resolves "__xexit__" (serious warning when it is not defined).
void init_exit_hook();
uint16_t exit_hook_address();
// The exit routine's address as a program image gives it (an image loaded without a compile).
void set_exit_hook(uint16_t address);
bool exit_hook_initialised();
// Resolves a global symbol's logical address qualified by the current origin into `out`, else
// the address of an "#asm" global label of the name (while the compile runs, or as its closed
// scope left it); false (with the serious warning) when neither is defined.
bool resolve_target_symbol(const char *name, uint16_t &out);

// Sets a one-time switch and returns 1; the caller reports "Unable to open runtime library.".
int runtime_library_missing();
bool runtime_library_missing_flag();

// Code-limit fields of the memory map from a compile's last root code address and first free
// address; nothing while a watch expression is compiled.
void set_compile_code_limits(uint32_t last_root_code, uint32_t first_free, bool watch_compile);

void reset_function_records_state(); // tests: lists, hook and switches back to start-up
