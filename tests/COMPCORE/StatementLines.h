// Top-level lines for the compile-and-run fixture until the statement parser exists: a line that
// begins with a declaration word goes to the declaration parser, and every other one is compiled
// as a statement. Used by the unary, postfix and assignment tests.
#pragma once

#include "parser/CC_DECLR.h"
#include "driver/CC_FIOZ8.h"
#include "parser/CC_HIER.h"
#include "input/CC_IN.h"
#include "parser/CC_LABELS.h"
#include "core/CC_STAB.h"
#include "core/SEAM_DECL.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>

// The top-level lines of the programs here:
//   a line that begins with a type word or a typedef name   the declaration parser reads it
//   "function" name address [instances] ";"                 a function entered with its address
//                                                           (and cofunction instance count)
//   "value" "(" expression ")" ";"                          a loop condition's value
//   expression ";"                                          an expression statement
// The code of the statements runs from `first_code` to `code_end`; `before_statements` runs
// once, before the first statement is compiled.
class DeclarationsAndStatements : public DeclarationSeam {
public:
    std::optional<uint32_t> first_code;
    uint32_t code_end = 0;
    std::function<void()> before_statements;

    bool parse_external_declaration() override
    {
        skip_blanks_across_lines();
        if (starts_declaration())
            return declaration_parser_seam().parse_external_declaration();
        if (match_keyword("function")) {
            enter_function();
            return true;
        }
        if (!first_code) {
            if (before_statements)
                before_statements();
            first_code = current_code_cache().current;
        }
        if (match_keyword("value")) {
            expect_text("(");
            parse_value_expression(1);
            expect_text(")");
        } else {
            parse_expression_statement();
        }
        skip_blanks_across_lines();
        if (!match_text(";")) {
            report_missing(";");
            clear_line();
        }
        code_end = current_code_cache().current;
        return true;
    }

private:
    static bool starts_declaration()
    {
        static const char *const kWords[] = {"int",    "char",   "long",    "unsigned", "float",
                                             "struct", "union",  "typedef", "extern",   "const",
                                             "static", "void",   "enum",    "short",    "double"};
        const LexerPlace start = lexer_place();
        char name[kMaxIdentifier + 1];
        const bool word = scan_identifier(name, false, false) != 0;
        restore_lexer_place(start);
        if (!word)
            return false;
        for (const char *w : kWords)
            if (std::strcmp(name, w) == 0)
                return true;
        const symbol *s = find_symbol(name, false, kGlobalTable);
        return s && (s->kind == kStorageTypedefGlobal || s->kind == kStorageTypedefLocal);
    }

    // "function" name address [instances] ";": an int function at the address; the instance
    // count goes where the declaration parser keeps a cofunction's.
    static void enter_function()
    {
        char name[kMaxIdentifier + 1];
        (void)scan_identifier(name, false, false);
        const uint16_t address = parse_constant_expression();
        uint32_t instances = 0;
        skip_blanks_across_lines();
        if (*input_pointer() != ';')
            instances = parse_constant_expression();
        symbol *f = add_symbol(name, kDeclFunction, 2, 0, 1, nullptr, 0);
        f->address[0] = make_addr(address >= 0xE000 ? 2 : 0, address);
        const uint32_t word = (static_cast<uint32_t>(f->flags[0]) | (f->flags[1] << 8)) |
                              (instances << 7);
        f->flags[0] = static_cast<uint8_t>(word);
        f->flags[1] = static_cast<uint8_t>(word >> 8);
        expect_text(";");
    }
};
