// SEAM_DECL: the declaration parser as the declaration seam, the function-definition compiler as
// the function seam, and the stand-in for the function chains.
#include "SEAM_DECL.h"

#include "CC_DECLR.h"
#include "CC_PARSE.h"

#include "guiExceptions.h"

namespace {

constexpr uint32_t kMsgNoChains = 7158;        // "Function chains are not part of this build."

[[noreturn]] void missing(uint32_t id) { throw xErr(id, KX_HERE); }

// Nothing can be added, so there is never a chain to emit.
class MissingChains : public ChainSeam {
public:
    void declare_chain(const std::string &) override { missing(kMsgNoChains); }
    void add_chain_function(const std::string &, const std::string &) override
    {
        missing(kMsgNoChains);
    }
    void emit_function_chains() override {}
};

MissingChains g_missing_chains;
DeclarationSeam *g_declarations = nullptr;  // the declaration parser
ChainSeam *g_chains = &g_missing_chains;
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

void set_chain_seam(ChainSeam *seam) { g_chains = seam ? seam : &g_missing_chains; }
ChainSeam &chain_seam() { return *g_chains; }
