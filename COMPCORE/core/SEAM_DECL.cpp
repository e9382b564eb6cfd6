// SEAM_DECL: the declaration parser as the declaration seam, the function-definition compiler as
// the function seam.
#include "SEAM_DECL.h"

#include "parser/CC_DECLR.h"
#include "parser/CC_PARSE.h"

namespace {

DeclarationSeam *g_declarations = nullptr;  // the declaration parser
FunctionDefinitionSeam *g_functions = nullptr;  // the function-definition compiler

}  // namespace

void set_declaration_seam(DeclarationSeam *seam) { g_declarations = seam; }
DeclarationSeam &declaration_seam()
{
    return g_declarations ? *g_declarations : declaration_parser_seam();
}

void set_function_definition_seam(FunctionDefinitionSeam *seam) { g_functions = seam; }
FunctionDefinitionSeam &function_definition_seam()
{
    return g_functions ? *g_functions : function_definition_compiler();
}
