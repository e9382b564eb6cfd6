// CC_IMPORT: the top-level directives "#ximport" and "#zimport", which place the contents of a
// host file in xmem code space and give the program its address.
//
//   import = ("#ximport" | "#zimport") '"' file name '"' identifier
//
// The placed data: a 32-bit length word (low 16-bit word first, each low byte first; bit 31 set
// for "#zimport") and then the file's bytes, continuing on the next xpc page without a physical
// gap where they run past the first 4 KB of the xmem window. The identifier becomes a macro
// whose text is "0x%lxL" of the length word's physical address, and the import is recorded for
// the map file (flag bits 3-4: 1 "#ximport", 2 "#zimport") and the listing (data).
//
// The file is looked for as written, beside the current source file, then in the program
// directory ("/" and "\" alike); only an ordinary file is read, whole, at most the 1 MB of the
// physical address space. "#zimport" first has the compression utility (the project's
// "Compression Utility", in the program directory) write "<file>.KXZ" beside the file, unless a
// ".KXZ" newer than the file is there, and places that file's bytes. The utility is started
// directly with its path and the file's as its two arguments; while it runs the status box is
// pumped, so Cancel ends the compile (`xUserCancel`) and the utility is killed.
//
// Called by the whole-program parse (CC_DECL) after the directive word.
#pragma once

#include <string>
#include <vector>

// The rest of an import directive after its word ("#zimport": `compressed`).
void import_data_file(bool compressed);

// Runs the utility (argv[0], its path) with the arguments that follow, waiting for its end while
// the status box is pumped; true only when it started and ended with exit code 0. A cancel in the
// status box throws `xUserCancel` out of here after the utility was killed.
[[nodiscard]] bool run_compression_utility(const std::vector<std::string> &argv);

// True only when both names are given, both files exist and the input file was last written
// strictly before the compressed one.
[[nodiscard]] bool compressed_file_is_current(const std::string &input_name,
                                              const std::string &compressed_name);

// Message ids of this unit.
enum : uint32_t {
    kMsgImportUnclosedName = 2013,
    kMsgImportCannotOpen = 2014,
    kMsgImportInvalidSymbol = 2015,
    kMsgCompressionFailed = 2149,
    kMsgCompressionNoOutput = 2150,
};
