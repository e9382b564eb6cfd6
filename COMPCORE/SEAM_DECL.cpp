// SEAM_DECL: the declaration parser as the declaration seam, and the stand-ins for the
// function-definition compiler and the function chains.
#include "SEAM_DECL.h"

#include "CC_DECLR.h"

#include "guiExceptions.h"

namespace {

constexpr uint32_t kMsgNoChains = 7158;        // "Function chains are not part of this build."
constexpr uint32_t kMsgNoFunctions = 7170;     // "Function definitions are not part of this build."

[[noreturn]] void missing(uint32_t id) { throw xErr(id, KX_HERE); }

// A body is never read over: the compile ends here.
class MissingFunctions : public FunctionDefinitionSeam {
public:
    bool parse_function_definition(int, int32_t, int32_t) override { missing(kMsgNoFunctions); }
};

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
MissingFunctions g_missing_functions;
DeclarationSeam *g_declarations = nullptr;  // the declaration parser
ChainSeam *g_chains = &g_missing_chains;
FunctionDefinitionSeam *g_functions = &g_missing_functions;

}  // namespace

void set_declaration_seam(DeclarationSeam *seam) { g_declarations = seam; }
DeclarationSeam &declaration_seam()
{
    return g_declarations ? *g_declarations : declaration_parser_seam();
}

void set_function_definition_seam(FunctionDefinitionSeam *seam)
{
    g_functions = seam ? seam : &g_missing_functions;
}
FunctionDefinitionSeam &function_definition_seam() { return *g_functions; }

void set_chain_seam(ChainSeam *seam) { g_chains = seam ? seam : &g_missing_chains; }
ChainSeam &chain_seam() { return *g_chains; }
