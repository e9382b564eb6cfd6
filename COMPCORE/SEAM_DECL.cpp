// SEAM_DECL: the stand-ins for the declaration parser and the function chains.
#include "SEAM_DECL.h"

#include "guiExceptions.h"

namespace {

constexpr uint32_t kMsgNoDeclarations = 7157;  // "The declaration parser is not part of this build."
constexpr uint32_t kMsgNoChains = 7158;        // "Function chains are not part of this build."

[[noreturn]] void missing(uint32_t id) { throw xErr(id, KX_HERE); }

class MissingDeclarations : public DeclarationSeam {
public:
    bool parse_external_declaration() override { missing(kMsgNoDeclarations); }
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
