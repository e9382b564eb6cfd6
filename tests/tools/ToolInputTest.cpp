// The tools given an input that is no ordinary file: a FIFO without a writer (which a plain open
// would wait on for ever) and a link to /dev/zero (which a plain read would never finish). Each
// tool names the file and ends with its own error status at once; the input stays as it was.
#include "KxccSupport.h"

#include <sys/stat.h>

#include <string>

namespace {

using namespace kxcc_test;

struct ToolInputCase {
    const char *name;
    const char *tool;
    const char *arguments;  // before the input's path
    int status;             // the tool's exit status for an input it cannot read
};

const ToolInputCase kToolInputs[] = {
    {"kxcc", "kxcc", "", 1},
    {"kxpp", "kxpp", "", 1},
    {"kxasm", "kxasm", "", 2},
    {"kxdis", "kxdis", "", 2},
    {"kxrun", "kxrun", "", 1},
    {"kxreg", "kxreg", "", 1},
};

void PrintTo(const ToolInputCase &c, std::ostream *os) { *os << c.name; }

class ToolInput : public Folder, public ::testing::WithParamInterface<ToolInputCase> {};

TEST_P(ToolInput, NoOrdinaryFileIsNamedAndNeverWaitedFor)
{
    const ToolInputCase &c = GetParam();
    const fs::path fifo = dir / "input.fifo", device = dir / "input.zero";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", device);
    for (const fs::path &input : {fifo, device}) {
        // A tool that waits or reads on is stopped after 30 s and fails with status 124.
        const ToolRun r = run(dir, "timeout", "30 '" + tool(c.tool) + "' " + c.arguments + " '" +
                                                  input.string() + "'");
        EXPECT_EQ(r.status, c.status) << input << "\n" << r.err;
        EXPECT_NE((r.out + r.err).find(input.string()), std::string::npos)
            << input << " is not named:\n" << r.out << r.err;
    }
    EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
    EXPECT_TRUE(fs::is_symlink(device));
}

INSTANTIATE_TEST_SUITE_P(Tools, ToolInput, ::testing::ValuesIn(kToolInputs),
                         [](const auto &i) { return std::string(i.param.name); });

}  // namespace
