// The recording double of what the declaration parser hands on: the function-definition
// compiler. A test installs it after the compile-and-run fixture's set-up and removes it
// (nullptr) in its tear-down.
#pragma once

#include "parser/CC_DECL.h"
#include "parser/CC_DECLR.h"
#include "input/CC_IN.h"
#include "core/CC_OBJ.h"
#include "core/SEAM_DECL.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Each function declarator is recorded (name, declarator word, type, storage class, result
// code, cofunction instance count); its parameter list is read over up to its ")", and a body
// in braces is read over and counted as compiled. `body`, when set, reads the start of a body
// first (after its "{").
class RecordingFunctionDefinitions : public FunctionDefinitionSeam {
public:
    struct Call {
        std::string name;
        uint32_t word;
        int32_t type;
        int32_t storage;
        int result;
        uint32_t instances;
        uint16_t placement;
    };
    std::vector<Call> calls;
    std::function<void()> body;

    bool parse_function_definition(int result, int32_t type, int32_t storage,
                                   uint16_t placement) override
    {
        const DeclaratorResult &r = declarator_result();
        calls.push_back({r.name, r.word, type, storage, result,
                         cofunction_count(current_decl_flags().word), placement});
        if (result == 2)
            skip_group('(', ')', 1);
        skip_blanks_across_lines();
        if (*input_pointer() != '{')
            return false;
        advance_input(1);
        if (body)
            body();
        skip_group('{', '}', 1);
        return true;
    }

private:
    // Reads over a group whose opening character was consumed.
    static void skip_group(char open, char close, int depth)
    {
        while (depth > 0) {
            skip_blanks_across_lines();
            const char c = *input_pointer();
            if (c == 0)
                return;
            if (c == open)
                ++depth;
            else if (c == close)
                --depth;
            advance_input(1);
        }
    }
};
