// Our BIOS through the real compile entry: it compiles alone as a BIOS compile without an error
// or a missing origin (its origins declared by its own directives), and the code the
// compile sends runs on the board stand-in from reset through its set-up to the jump that
// "#pragma CompileProgram" leaves.
#include "CompileRunFixture.h"
#include "RuntimeLibrary.h"
#include "core/CC_ER.h"
#include "core/SEAM_TARGET.h"
#include "driver/CC_GO.h"

#include <fstream>
#include <sstream>

using namespace compile_run;

namespace {

// The messages but the exit hook's: the pragma looks "__xexit__" up in the symbol table,
// which the compile's assembly labels do not reach yet, so it warns although the BIOS defines
// the label before the pragma.
std::string messages_but_exit_hook()
{
    std::string out;
    for (const Message &m : messages())
        if (m.summary.find("__xexit__ is not defined") == std::string::npos)
            out += std::to_string(m.line) + ": " + m.summary + "\n";
    return out;
}

} // namespace

TEST_F(CompileRun, OurBiosCompilesAloneAndSetsTheBoardUp)
{
    parser.declare_layout = false;            // the BIOS declares the origins itself
    gTargetlessCompile = 1;  // no board to read
    std::ifstream in(rtlib::target_dir() / "bios" / "Vireonbios.c");
    std::ostringstream text;
    text << in.rdbuf();
    ASSERT_EQ(compile_bios(text.str()) & 2, 0) << messages_text();
    EXPECT_EQ(messages_but_exit_hook(), "");
    for (uint32_t a = 0x80000; a < 0x85000; a += 0x101)
        (void)board.poke(a, 0xAA);
    run(0, 200000);
    EXPECT_EQ(last_run.reason, vsim::StopReason::breakpoint) << "reached the end of the BIOS's code";
    EXPECT_TRUE(reg("SP", 0xE000));
    EXPECT_EQ(board.segsize(), 0xD8);
    EXPECT_EQ(board.dataseg(), 0x78);
    EXPECT_EQ(board.stackseg(), 0x80);
    EXPECT_EQ(cpu.iir, 0x01) << "the vector page follows the reset jump";
    EXPECT_EQ(cpu.ip & 3, 0);
    EXPECT_EQ(physical(0x80000), 0);
    EXPECT_EQ(physical(0x84FFF), 0);
}

// The BIOS and every library compiled as one BIOS compile give the image the library tests
// assemble: the same bytes at the same addresses (so every label and every reference between
// the blocks is where the tests' assembler put it).
TEST_F(CompileRun, OurLibrariesCompileToTheImageTheTestsRun)
{
    parser.declare_layout = false;
    gTargetlessCompile = 1;
    std::string text;
    for (const auto &file : rtlib::runtime_sources()) {
        std::ifstream in(file);
        std::ostringstream t;
        t << in.rdbuf();
        text += t.str() + "\n";
    }
    const std::string tail = "#asm\nmain::\n ret\nend_of_code::\n#endasm\n";
    ASSERT_EQ(compile_bios(text + tail) & 2, 0) << messages_text();
    EXPECT_EQ(messages_but_exit_hook(), "");

    // The same sources for the tests' assembler, with a jump where the pragma leaves one.
    const std::filesystem::path jump = path("jump.c"), end = path("tail.c");
    write("jump.c", "#asm\n jp end_of_code\n#endasm\n");
    // The end of the compile adds the routine of premain's chain, which has no members.
    write("tail.c", "#asm\nmain::\n ret\nend_of_code::\n_GLOBAL_INIT::\n ld a, xpc\n push af\n"
                    " pop af\n ld xpc, a\n ret\n#endasm\n");
    std::vector<std::filesystem::path> files = rtlib::runtime_sources();
    files.insert(files.begin() + 1, jump);
    files.push_back(end);
    const rtlib::Image image = rtlib::assemble(files, 0, {});
    ASSERT_TRUE(image.messages.empty()) << image.messages.front();
    // Where the pragma's jump leads is the compile's to choose: its target is not compared.
    const size_t target = image.at("bios_ready") + 1;
    std::vector<uint8_t> sent = sent_at(0, image.bytes.size());
    for (size_t i = 0; i < image.bytes.size(); ++i) {
        if (i == target || i == target + 1)
            continue;
        ASSERT_EQ(sent[i], image.bytes[i]) << "the byte at " << std::hex << i;
    }
}

// Several programs in one process after our BIOS: programs that start without the BIOS's state
// (their own origins, no watch-code area among them) compile and run one after the other. The
// BIOS's watch-code origin goes with its table; its cache must not stay at the old place and
// leave every later compile out of code space.
TEST_F(CompileRun, ProgramsAfterOurBiosStartFromTheirOwnOrigins)
{
    parser.declare_layout = false;
    gTargetlessCompile = 1;
    std::ifstream in(rtlib::target_dir() / "bios" / "Vireonbios.c");
    std::ostringstream text;
    text << in.rdbuf();
    ASSERT_NE(text.str().find("#wcodorg"), std::string::npos) << "our BIOS gives the watch code its area";
    ASSERT_EQ(compile_bios(text.str()) & 2, 0) << messages_text();

    bios_compile_info_cache().forget();
    set_bios_root_code_end(0);
    parser.declare_layout = true;
    gTargetlessCompile = 0;
    for (int value : {5, 7, 9}) {
        SCOPED_TRACE(value);
        reset_errors();
        ASSERT_EQ(compile("#asm\n ld a, " + std::to_string(value) + "\n#endasm\n"), 0)
            << messages_text();
        run(kRootCode);
        EXPECT_TRUE(reg("A", uint32_t(value)));
    }
}
