// Running the compile tool (kxcc) and the board stand-in's runner (kxrun) from tests: each
// run's standard output, standard error and exit status apart, in a temporary folder per test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace kxcc_test {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out, err;
};

inline std::string read_file(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void write_file(const fs::path &p, const std::string &text)
{
    std::ofstream(p, std::ios::binary) << text;
}

// `program` is a path; the arguments are passed through the shell as they stand.
inline ToolRun run(const fs::path &dir, const std::string &program, const std::string &arguments)
{
    const fs::path out = dir / "run.out", err = dir / "run.err";
    const std::string command = "'" + program + "' " + arguments + " > '" + out.string() +
                                "' 2> '" + err.string() + "' < /dev/null";
    const int raw = std::system(command.c_str());
    ToolRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = read_file(out);
    r.err = read_file(err);
    fs::remove(out);
    fs::remove(err);
    return r;
}

inline std::string tool(const char *name) { return std::string(KX_TOOLS_DIR) + "/" + name; }

// A fresh temporary folder named after the running test.
class Folder : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "-" + info->name();
        for (char &c : name)
            if (c == '/')
                c = '_';
        dir = fs::temp_directory_path() / ("kxcc-test-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

}  // namespace kxcc_test
