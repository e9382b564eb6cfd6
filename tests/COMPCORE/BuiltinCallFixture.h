// Fixture of the built-in calls: expressions compiled by the expression parser over a text, with
// the bit and port built-ins declared as the library declares them, and the runtime library below
// the code (its "bit_test_", "bit_set_" and "bit_res_" under the C names "BIT", "SET" and "RES",
// as the library's C bodies only jump there). The names are declared without their parameter
// lists, so the prototype check of the built-ins is off here (CallsRunTest checks it).
#pragma once

#include "CodegenFixture.h"

#include "driver/CC_GO.h"
#include "parser/CC_HIER.h"
#include "settings/guiKXPreferences.h"

#include <string>

namespace codegen_test {

class BuiltinCallTest : public RuntimeCodegenTest {
protected:
    std::string text;  // what the lexer reads

    void SetUp() override
    {
        RuntimeCodegenTest::SetUp();
        allocate_symbol_tables(256);
        set_local_scope(false);
        reset_expression_parser();
        compiler_options().inline_io = 1;
        IdePreferences().function_prototypes = false;
        for (const char *name :
             {"BIT", "SET", "RES", "WrPortI", "RdPortI", "BitWrPortI", "BitRdPortI"})
            (void)add_symbol(name, kDeclFunction, 2, 0, 1, nullptr, 0);
        const rtlib::Image &runtime = rtlib::runtime_image();
        for (const auto &[c_name, routine] :
             {std::pair{"BIT", "bit_test_"}, std::pair{"SET", "bit_set_"}, std::pair{"RES", "bit_res_"}})
            define_label(c_name, make_addr(0, runtime.at(routine)), kLabelGlobal);
    }
    void TearDown() override
    {
        compiler_options().inline_io = 0;
        IdePreferences().function_prototypes = true;
        reset_expression_parser();
        RuntimeCodegenTest::TearDown();
    }

    // A global variable at a fixed address (an array with `count` elements when given).
    symbol *global(const char *name, int32_t type, uint16_t address, uint32_t declarator = 0)
    {
        symbol *s = add_symbol(name, declarator, type, 0, 1, nullptr, 0);
        s->address[0] = address;
        return s;
    }
    // A global array not placed yet (its address pending).
    symbol *unplaced(const char *name, int32_t type)
    {
        static const uint16_t dims[1] = {4};
        return add_symbol(name, kDeclArray, type, 0, 1, dims, 1);
    }
    symbol *array(const char *name, int32_t type, uint16_t address)
    {
        static const uint16_t dims[1] = {4};
        symbol *s = add_symbol(name, kDeclArray, type, 0, 1, dims, 1);
        s->address[0] = address;
        return s;
    }

    // Compiles one expression at the input pointer; the lexer stops behind it (the text is the
    // whole input: the lexer does not go on to another line).
    object compile(const std::string &expression)
    {
        text = expression;
        set_input_pointer(text.c_str());
        object result{};
        set_no_line_crossing(true);
        (void)parse_expression(&result, 1, 0, 0);
        set_no_line_crossing(false);
        return result;
    }
    // Where the lexer stands in the text.
    std::string rest() const { return input_pointer(); }
};

}  // namespace codegen_test
