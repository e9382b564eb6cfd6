// CC_DIRECT: "#use", "#precompile", "#funcchain", "#makechain", the message directives and the
// constants after a directive word. Each handler reads the rest of its line at the lexer's input
// pointer and reports through the reporters of CC_IN; none reads past its line.
#include "CC_DIRECT.h"

#include "codegen/CC_ASMDIR.h"
#include "CC_CHAIN.h"
#include "CC_DECL.h"
#include "driver/CC_DUM.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_GLINE.h"
#include "driver/CC_GO.h"
#include "CC_HIER.h"
#include "CC_LABELS.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"
#include "codegen/CC_Z80CALL.h"
#include "core/SEAM_CODEGEN.h"
#include "core/SEAM_TARGET.h"

#include <string>

namespace {

char at() { return *input_pointer(); }

void skip_spaces()
{
    while (at() == ' ' || at() == '\t')
        advance_input(1);
}

// An identifier at the cursor (blanks skipped first); empty when none starts there.
std::string read_name()
{
    skip_spaces();
    std::string name;
    if (!is_identifier_start(static_cast<unsigned char>(at())))
        return name;
    while (is_identifier_char(static_cast<unsigned char>(at()))) {
        name += at();
        advance_input(1);
    }
    return name;
}

// A text up to the closing double quote when it opens with one (the opening quote consumed, the
// cursor left on the closing one, where a report about the text points), else up to a blank
// (`stop_at_blank`) or the end of the line. At most `limit` characters are kept; the rest is
// read and dropped, and `cut` tells whether that happened.
std::string read_directive_text(std::size_t limit, bool stop_at_blank, bool &cut)
{
    skip_spaces();
    cut = false;
    const bool quoted = at() == '"';
    if (quoted)
        advance_input(1);
    std::string text;
    while (at()) {
        if (quoted ? at() == '"' : (stop_at_blank && is_blank_char(at())))
            break;
        if (text.size() < limit)
            text += at();
        else
            cut = true;
        advance_input(1);
    }
    return text;
}

// "#pragma CompileBIOS": the rest of this compile is the BIOS's.
void pragma_compile_bios()
{
    codegen_seam().set_bios_compile(&compile_conditions().bios_marker);
    emit_cache_table().clear();
}

}  // namespace

void handle_use_directive()
{
    expand_macros();
    bool cut = false;
    const std::string name = read_directive_text(kMaxLibraryName, true, cut);
    if (cut)
        serious_warning_here("%s", msg(kMsgLiteralTooLong));
    remember_bios_library(name);
    find_use_library(name);
}

void remember_bios_library(const std::string &name)
{
    if (IsCompilingBios() && !name.empty())
        record_bios_library_name(name);
}

namespace {

// One name of the list: marked, and its label requested so that the library module that defines
// it is compiled with the BIOS even when nothing calls it. The request's fix-up is a disabled
// one: only the wanted label counts.
void precompile_function(const std::string &name)
{
    symbol *function = find_symbol(name.c_str(), false, kGlobalTable);
    if (!function) {
        error_here(msg(kMsgPrecompileUndefined), name.c_str());
        return;
    }
    function->precompile_mark = 1;
    if (function->reference_state != 0)
        function->reference_state = 2;
    (void)resolve_label_address(name.c_str(), kFixDisabled, 0);
    ShowMessageLine(false, msg(kMsgPrecompiling), name.c_str());
}

}  // namespace

void handle_precompile_directive()
{
    if (!IsCompilingBios())
        trivial_warning_here("%s", msg(kMsgPrecompileOutsideBios));
    set_precompile_in_progress(true);
    for (;;) {
        const std::string name = read_name();
        if (name.empty()) {
            error_here("%s", msg(kMsgPrecompileNoArguments));
            break;
        }
        precompile_function(name);
        skip_spaces();
        if (at() != ',')
            break;
        advance_input(1);
    }
    // The label requests leave no reference for the next emitted operand.
    clear_label_reference_marker();
}

void handle_funcchain_directive()
{
    if (!chains_allowed()) {
        error_here("%s", msg(kMsgChainsInBios));
        return;
    }
    const std::string chain = read_name();
    if (chain.empty()) {
        error_here("%s", msg(kMsgChainNoName));
        return;
    }
    const std::string function = read_name();
    if (function.empty()) {
        error_here("%s", msg(kMsgMissingFunctionName));
        return;
    }
    (void)add_chain_function(chain, function);
}

void handle_makechain_directive()
{
    const std::string chain = read_name();
    if (chain.empty()) {
        error_here("%s", msg(kMsgChainNoName));
        return;
    }
    // A name already given to something else is reported here, at the directive.
    if (!chain_name_free(chain)) {
        report_previously_defined(chain.c_str());
        return;
    }
    declare_chain(chain);
}

void handle_message_directive(uint16_t kind)
{
    expand_macros();
    bool cut = false;
    const std::string text = read_directive_text(kMaxMessageText, false, cut);
    switch (kind) {
    case 0: error_here("%s", text.c_str()); break;
    case 1: serious_warning_here("%s", text.c_str()); break;
    case 2: trivial_warning_here("%s", text.c_str()); break;
    default: fatal_here("%s", text.c_str()); break;  // recorded, then the compile ends (616)
    }
}

namespace {

// Skips `length` characters and reads the constant expression behind them, which may not cross
// the line. Code that a faulty expression compiles is thrown away.
template <typename Read>
auto directive_constant(std::size_t length, Read read)
{
    advance_input(length);
    const bool crossing_off = no_line_crossing();
    set_no_line_crossing(true);
    DiscardedCode discarded;
    const auto value = read();
    set_no_line_crossing(crossing_off);
    return value;
}

}  // namespace

int32_t directive_long_constant_value(std::size_t length)
{
    return static_cast<int32_t>(directive_constant(length, &parse_long_constant_expression));
}

int16_t directive_constant_value(std::size_t length)
{
    return static_cast<int16_t>(directive_constant(length, &parse_constant_expression));
}

DirectiveHandlers parser_directive_handlers()
{
    DirectiveHandlers h;
    h.use = &handle_use_directive;
    h.message = &handle_message_directive;
    h.funcchain = &handle_funcchain_directive;
    h.makechain = &handle_makechain_directive;
    h.memmap = &handle_memmap_directive;
    h.klass = &handle_class_directive;
    h.select_xmem_code_cache = [](int debug) { select_xmem_code_cache(persistent_decl_flags(), debug); };
    h.compile_bios = &pragma_compile_bios;
    h.compile_program = &pragma_compile_program;
    return h;
}
