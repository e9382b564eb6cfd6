// SEAM_PARSER: what the compile frame uses of the language parser's other share (assembly
// blocks, the whole-program parse, the "#web" reset, declaration defaults) and of the front
// end's lexer pointers and reporters. The parser installs its implementation; until it does,
// the built-in one refuses every parser service by throwing `xErr` "The language parser is not
// part of this build." (its resets do nothing). Tests install doubles.
#pragma once

#include <cstdint>

// The lexer's three input pointers, saved and restored around a generated line.
struct LexerInputPointers {
    const char *input = nullptr;
    const char *statement = nullptr;
    const char *line_start = nullptr;
};

class ParserSeam {
public:
    virtual ~ParserSeam() = default;

    // Assembles the assembly text at the lexer's input pointers into the current code cache;
    // with `one_line` exactly one generated line.
    virtual void parse_asm_block(int debug, int one_line, int constant) = 0;
    // The whole-program parse.
    virtual void parse_program() = 0;
    // Empties the "#web" tables at the start of a compile that is not a watch compile.
    virtual void web_reset() = 0;
    // Resets the declaration defaults at the start of a program compile.
    virtual void reset_declaration_defaults() = 0;
    // The count kept by the function-definition parser.
    virtual int function_count() const = 0;

    // The lexer's input pointers.
    virtual LexerInputPointers save_input() = 0;
    virtual void point_input_at(const char *text) = 0;
    virtual void restore_input(const LexerInputPointers &saved) = 0;

    // Reporters at the current position. An error is recorded and the compile goes on; a fatal
    // error is recorded and ends the compile by throwing.
    virtual void error_here(const char *text) = 0;
    virtual void fatal_here(const char *text) = 0;
};

// nullptr restores the built-in seam: the assembly-block reader for assembly lines and the input
// pointers, with the parser's own services refused.
void set_parser_seam(ParserSeam *seam);
ParserSeam &parser_seam();

// The built-in refusal of a parser service: throws `xErr` "The language parser is not part of
// this build."
[[noreturn]] void refuse_missing_parser();
