// SEAM_DECL: what the top-level parse uses of the declaration parser and what the declaration
// parser uses of the function-definition compiler. The declaration parser (CC_DECLR) is the
// built-in declaration seam and the function-definition compiler (CC_PARSE) the built-in
// function seam. Tests install their own.
// Std-only.
#pragma once

#include <cstdint>
#include <string>

// External declarations and function definitions at top level.
class DeclarationSeam {
public:
    virtual ~DeclarationSeam() = default;
    // Parses one external declaration or function definition at the input pointer; false when
    // nothing could be parsed there (the caller reports the garbage and skips it).
    [[nodiscard]] virtual bool parse_external_declaration() = 0;
};
// nullptr restores the declaration parser.
void set_declaration_seam(DeclarationSeam *seam);
DeclarationSeam &declaration_seam();

// Function declarators at global scope, with the declarator results of the declaration parser
// (CC_DECLR `declarator_result`) describing the function.
class FunctionDefinitionSeam {
public:
    virtual ~FunctionDefinitionSeam() = default;
    // `result`: 1 the "()" was read, 2 the parameter list starts at the input pointer.
    // `placement`: the memory word written before it (CC_DECL kPlaceRoot, kPlaceXmem), else
    // kPlaceNone. Enters the function and, when a body follows, compiles it (or reads over it
    // when the definition is refused): true then. A declaration only: false.
    [[nodiscard]] virtual bool parse_function_definition(int result, int32_t type, int32_t storage,
                                                         uint16_t placement) = 0;
};
// nullptr restores the function-definition compiler.
void set_function_definition_seam(FunctionDefinitionSeam *seam);
FunctionDefinitionSeam &function_definition_seam();
