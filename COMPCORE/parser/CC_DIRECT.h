// CC_DIRECT: the library, chain, precompile and message directives, and the constants that
// follow a directive word. The directive dispatcher of CC_IN hands the rest of a "#use",
// "#funcchain", "#makechain", "#error", "#warns", "#warnt" or "#fatal" line to these handlers;
// the top-level parse (CC_DECL) hands it "#precompile". `parser_directive_handlers` gathers the
// dispatcher's handlers that the parser serves (these, "#memmap", "#class", "#debug",
// "#nodebug" and the "CompileBIOS"/"CompileProgram" pragmas); the compile joins install them.
#pragma once

#include "input/CC_IN.h"

#include <cstddef>
#include <cstdint>
#include <string>

// "#use" "name" | name: the library name (at most 259 characters kept) is queued.
void handle_use_directive();
// While the BIOS is compiled: the upper-cased name, once, in the BIOS's library list.
void remember_bios_library(const std::string &name);
// "#precompile" name { "," name }: marks the named global functions for precompiling and asks
// for their labels, so that the library modules that define them are compiled.
void handle_precompile_directive();
// "#funcchain" chain function
void handle_funcchain_directive();
// "#makechain" chain
void handle_makechain_directive();
// kind 0 "#error", 1 "#warns", 2 "#warnt", 3 "#fatal" (an error that ends the compile).
// The text is the quoted text without its quotes, else the rest of the line.
void handle_message_directive(uint16_t kind);
// Skips `length` characters, then evaluates the constant expression on the rest of the line.
int16_t directive_constant_value(std::size_t length);
int32_t directive_long_constant_value(std::size_t length);

// The dispatcher's handlers that the parser serves; the caller may add others before it
// installs them with `set_directive_handlers`.
DirectiveHandlers parser_directive_handlers();

// The longest library name kept.
inline constexpr std::size_t kMaxLibraryName = 259;
// The longest message text kept.
inline constexpr std::size_t kMaxMessageText = 249;

// Message ids of this unit.
enum : uint32_t {
    kMsgLiteralTooLong = 455,
    kMsgChainsInBios = 2029,
    kMsgChainNoName = 2030,
    kMsgMissingFunctionName = 2048,
    kMsgPrecompileUndefined = 2130,
    kMsgPrecompileNoArguments = 2131,
    kMsgPrecompileOutsideBios = 3039,
    kMsgPrecompiling = 4006,
};
