// SEAM_DECL: what the top-level parse and the chain directives use of the declaration parser
// and of the function chains, until those units exist. Each has a built-in stand-in that refuses
// to work with one clear "... is not part of this build." (thrown as `xErr`); the real units,
// and tests, install their own.
// Std-only.
#pragma once

#include <string>

// External declarations and function definitions at top level.
class DeclarationSeam {
public:
    virtual ~DeclarationSeam() = default;
    // Parses one external declaration or function definition at the input pointer; false when
    // nothing could be parsed there (the caller reports the garbage and skips it).
    [[nodiscard]] virtual bool parse_external_declaration() = 0;
};
// nullptr restores the built-in stand-in.
void set_declaration_seam(DeclarationSeam *seam);
DeclarationSeam &declaration_seam();

// Function chains: collected by "#makechain" and "#funcchain" (and by function definitions),
// emitted as one routine per chain after the last top-level item.
class ChainSeam {
public:
    virtual ~ChainSeam() = default;
    virtual void declare_chain(const std::string &chain) = 0;
    virtual void add_chain_function(const std::string &chain, const std::string &function) = 0;
    // Emits the collected chains at the current code address and empties the collection.
    virtual void emit_function_chains() = 0;
};
// nullptr restores the built-in stand-in (which refuses to collect, so it never has anything
// to emit).
void set_chain_seam(ChainSeam *seam);
ChainSeam &chain_seam();
