// Output files of whole compiles: the listing of a compiled program, and a program compiled to
// a file that runs alike from its "bin" and its "hex" file.
#include "CompileRunFixture.h"

#include "driver/CC_FIOZ8.h"
#include "driver/CC_GO.h"
#include "SimImage.h"
#include "linker/list_files.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace {

using namespace compile_run;

std::string read_text(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

class OutputCompile : public CompileRun {
protected:
    void TearDown() override
    {
        compiler_options().list_files = 0;
        CompileRun::TearDown();
    }
    // Loads the bytes of a board's physical memory (as a loader left them) for `run`.
    void take_memory(const vsim::SimBoard &from)
    {
        for (uint32_t a = 0; a < linker.image.size(); ++a)
            linker.image[a] = from.peek(a);
    }
};

constexpr const char *kProgram = "#asm\n"
                                 "main::\n"
                                 " ld hl,0x1234\n"
                                 " ld a,(data)\n"
                                 " ld b,a\n"
                                 " jr done\n"
                                 "data:\n"
                                 " db 0x5A\n"
                                 "done:\n"
                                 "#endasm\n";

TEST_F(OutputCompile, ListingShowsTheRootCodeAndNoXmem)
{
    compiler_options().list_files = 1;
    ASSERT_EQ(compile(kProgram), 0) << messages_text();
    const std::vector<std::string> lines = lines_of(read_text(dir / "prog" / "main.lst"));
    ASSERT_GE(lines.size(), 5u) << read_text(dir / "prog" / "main.lst");
    EXPECT_EQ(lines[0], "*** Begin Root ***");
    EXPECT_EQ(lines[1].rfind("Start: 0x", 0), 0u);
    EXPECT_EQ(lines[2].rfind("End: 0x", 0), 0u);
    std::vector<std::string> code;
    for (const std::string &l : lines)
        if (l.size() > 8 && l.rfind("   0", 0) == 0)
            code.push_back(l.substr(8, 8));
    // The block's instructions, then (listed as code, as the block recorded it) the data byte.
    ASSERT_GE(code.size(), 5u);
    EXPECT_EQ(code[0], "213412  ");
    EXPECT_EQ(code[1].substr(0, 2), "3A");
    EXPECT_EQ(code[2], "47      ");
    EXPECT_EQ(code[3].substr(0, 2), "18");
    EXPECT_EQ(code[4].substr(0, 2), "5A");
    EXPECT_EQ(lines[lines.size() - 2], "");
    EXPECT_EQ(lines.back(), "Xmem not used.");
    code_block_list().normalise();
    EXPECT_EQ(code_block_list().kind_at(0x0000), 5) << "the listing empties the code-block map";
}

TEST_F(OutputCompile, WithoutListFilesNoListingAndAnEmptyMap)
{
    ASSERT_EQ(compile(kProgram), 0) << messages_text();
    EXPECT_FALSE(std::filesystem::exists(dir / "prog" / "main.lst"));
    code_block_list().normalise();
    EXPECT_EQ(code_block_list().kind_at(0x0000), 5);
}

// The image the program was compiled into, from the "bin" file and from the "hex" file, runs
// the same way.
TEST_F(OutputCompile, ProgramCompiledToAFileRunsAlikeFromBinAndHex)
{
    compile_conditions().to_file = true;
    ASSERT_EQ(compile(kProgram), 0) << messages_text();
    std::string bin, hex;
    ASSERT_TRUE(vsim::read_file((dir / "prog" / "main.bin").string(), bin));
    ASSERT_TRUE(vsim::read_file((dir / "prog" / "main.hex").string(), hex));
    ASSERT_FALSE(bin.empty());

    vsim::SimBoard from_bin;
    const vsim::LoadResult b = vsim::load_bin_image(from_bin, bin, 0);
    ASSERT_TRUE(b.ok) << b.error;
    take_memory(from_bin);
    run(kRootCode);
    EXPECT_TRUE(reg("HL", 0x1234));
    EXPECT_TRUE(reg("B", 0x5A));

    vsim::SimBoard from_hex;
    const vsim::LoadResult h = vsim::load_hex_image(from_hex, hex);
    ASSERT_TRUE(h.ok) << h.error;
    EXPECT_EQ(h.bytes, bin.size()) << "the hex file holds every byte of the bin file";
    take_memory(from_hex);
    run(kRootCode);
    EXPECT_TRUE(reg("HL", 0x1234));
    EXPECT_TRUE(reg("B", 0x5A));
}

// What a compile to the target sends is what its download image holds: the headless target's
// memory after the download equals the bytes the program compiled to.
TEST_F(OutputCompile, DownloadSendsTheImagesBytesToTheirPhysicalAddresses)
{
    ASSERT_EQ(compile(kProgram), 0) << messages_text();
    const std::vector<uint8_t> &memory = headless_target_operations().memory;
    const std::vector<uint8_t> expected = sent_at(kRootCode, 12);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(memory[i], expected[i]) << "byte " << i;
}

}  // namespace
