// SEAM_DECL: the stand-ins for the declaration parser and the function chains.
#include "SEAM_DECL.h"

#include <stdexcept>

namespace {

[[noreturn]] void missing(const char *what)
{
    throw std::logic_error(std::string(what) + " is not part of this build.");
}

class MissingDeclarations : public DeclarationSeam {
public:
    bool parse_external_declaration() override { missing("The declaration parser"); }
};

// Nothing can be added, so there is never a chain to emit.
class MissingChains : public ChainSeam {
public:
    void declare_chain(const std::string &) override { missing("Function chains"); }
    void add_chain_function(const std::string &, const std::string &) override
    {
        missing("Function chains");
    }
    void emit_function_chains() override {}
};

MissingDeclarations g_missing_declarations;
MissingChains g_missing_chains;
DeclarationSeam *g_declarations = &g_missing_declarations;
ChainSeam *g_chains = &g_missing_chains;

}  // namespace

void set_declaration_seam(DeclarationSeam *seam)
{
    g_declarations = seam ? seam : &g_missing_declarations;
}
DeclarationSeam &declaration_seam() { return *g_declarations; }

void set_chain_seam(ChainSeam *seam) { g_chains = seam ? seam : &g_missing_chains; }
ChainSeam &chain_seam() { return *g_chains; }
