// A C program compiled through the real compile entry behind a small driver in "#asm" that
// calls f and then jumps to `kDriverStop`: the run ends when f returns, and SP must be back at
// `kStackTop`. Each suite writes its own driver (`program_text`) and names its libraries.
#pragma once

#include <gtest/gtest.h>

#include "CodegenFixture.h"
#include "CompileRunFixture.h"
#include "OutputTestSupport.h"

#include "core/CC_ADDR.h"
#include "parser/CC_PARSE.h"
#include "core/CC_STAB.h"
#include "core/SEAM_DECL.h"
#include "core/SEAM_PARSER.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace compile_run {

constexpr uint16_t kDriverStop = 0x5F00;
constexpr uint16_t kStackTop = 0xE000;

class DrivenRun : public CompileRun {
protected:
    // Every generated line's text; the rest goes the assembly-line path to the fixture's parser.
    codegen_test::OutasmRecorder recorder;

    // The real function parser, the recorder, and the runtime libraries of TARGET/lib named.
    void set_up_with(std::initializer_list<const char *> libraries)
    {
        CompileRun::SetUp();
        set_declaration_seam(nullptr);
        install_function_parser();
        set_parser_seam(&recorder);
        const std::string lib = std::string(KX_TEST_DATA) + "/../../TARGET/lib/";
        for (const char *name : libraries)
            add_library(name, output_test::read_text(lib + name));
    }

    // The driver and the globals every program of the suite has, in front of the program.
    virtual std::string program_text(const std::string &program) const = 0;

    // Compiles the program behind the driver and runs it; f must return to the driver with SP
    // where it was.
    ::testing::AssertionResult compile_and_call(const std::string &program,
                                                uint32_t instructions = 2000000)
    {
        const uint16_t status = compile(program_text(program));
        if (status != 0)
            return ::testing::AssertionFailure() << "status " << status << "\n" << messages_text();
        const vsim::RunResult r = run(kRootCode, instructions, vsim::Breakpoint{kDriverStop, -1});
        if (r.reason != vsim::StopReason::breakpoint)
            return ::testing::AssertionFailure()
                   << "f did not return (PC " << std::hex << cpu.pc << ")\n" << messages_text();
        return reg("SP", kStackTop);
    }

    // The summaries of what compiling the program reported, in the order reported.
    std::vector<std::string> compile_messages(const std::string &program)
    {
        (void)compile(program_text(program));
        std::vector<std::string> out;
        for (const Message &m : messages())
            out.push_back(m.summary);
        return out;
    }

    uint16_t global_address(const char *name) const
    {
        const symbol *s = find_symbol(name, false, kGlobalTable);
        return s ? addr_offset(s->address[0]) : 0;
    }
};

}  // namespace compile_run
