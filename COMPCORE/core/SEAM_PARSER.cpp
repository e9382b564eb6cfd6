// SEAM_PARSER: the built-in parser seam, used until the parser installs its own; its reporters
// are the front end's own. Once the assembly-block reader has started it takes the seam's place
// (it serves the assembly lines and hands the rest on).
#include "SEAM_PARSER.h"

#include "input/CC_IN.h"
#include "parser/CC_INASM.h"

#include "guiExceptions.h"

namespace {

constexpr uint32_t kMsgNoParser = 7154;  // "The language parser is not part of this build."

class MissingParser : public ParserSeam {
public:
    void parse_asm_block(int, int, int) override { refuse_missing_parser(); }
    void parse_program() override { refuse_missing_parser(); }
    void web_reset() override {}
    void reset_declaration_defaults() override {}
    int function_count() const override { return 0; }
    LexerInputPointers save_input() override { return {}; }
    void point_input_at(const char *) override {}
    void restore_input(const LexerInputPointers &) override {}
    // The reporters exist already: they record at the current position (and a fatal one throws).
    void error_here(const char *text) override { ::error_here("%s", text); }
    void fatal_here(const char *text) override { ::fatal_here("%s", text); }
};

MissingParser g_missing;
ParserSeam *g_seam = &g_missing;

}  // namespace

[[noreturn]] void refuse_missing_parser() { throw xErr(kMsgNoParser, KX_HERE); }

// nullptr goes back to the assembly-block reader, which serves `outasm` and refuses the
// whole-program parse as the built-in seam does; naming it here also links it in.
void set_parser_seam(ParserSeam *seam) { g_seam = seam ? seam : &asm_path_parser_seam(); }
ParserSeam &parser_seam() { return *g_seam; }
