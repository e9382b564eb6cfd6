// kxboard as a user runs it: it prints its links, answers on them, loads the images it is
// given, refuses bad arguments, and ends on an interrupt.
#include "BoardHost.h"
#include "SimKxrun.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

using namespace boardtest;

namespace {

// A running kxboard with its stdout on a pipe.
struct Running {
    pid_t pid = -1;
    int out = -1;
    std::string text;

    explicit Running(std::vector<std::string> args)
    {
        int p[2];
        if (pipe(p) != 0)
            return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, p[1], 1);
        posix_spawn_file_actions_addclose(&fa, p[0]);
        std::string tool = std::string(KX_TOOLS_DIR) + "/kxboard";
        args.insert(args.begin(), tool);
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, tool.c_str(), &fa, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&fa);
        ::close(p[1]);
        out = p[0];
    }
    ~Running()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (out >= 0)
            ::close(out);
    }
    // Reads stdout until `line_start` has been printed (bounded wait, generous for a loaded
    // machine; it returns as soon as the line is there); returns the line's rest.
    std::string line(const std::string &line_start)
    {
        for (int round = 0; round < 300; ++round) {
            size_t at = text.find(line_start);
            size_t end = at == std::string::npos ? at : text.find('\n', at);
            if (end != std::string::npos)
                return text.substr(at + line_start.size(), end - at - line_start.size());
            pollfd p{out, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                char buf[512];
                ssize_t n = ::read(out, buf, sizeof buf);
                if (n <= 0)
                    return "";
                text.append(buf, size_t(n));
            }
        }
        return "";
    }
    int interrupt()
    {
        kill(pid, SIGINT);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST(Kxboard, PrintsItsLinksAnswersAndEndsOnInterrupt)
{
    auto dir = std::filesystem::temp_directory_path() / ("kxboard_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::string image = (dir / "img.bin").string();
    {
        std::ofstream f(image, std::ios::binary);
        f.write("\x11\x22\x33", 3);
    }
    Running board({"--phase", "bios", "--image", image + "@0x80010"});
    ASSERT_GT(board.pid, 0);
    std::string pty = board.line("serial: ");
    std::string tcp = board.line("tcp: 127.0.0.1:");
    ASSERT_FALSE(pty.empty()) << board.text;
    ASSERT_FALSE(tcp.empty()) << board.text;

    int fd = ::open(pty.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << pty;
    set_line_speed(fd, 115200);
    Host host(fd, true, Ms(20000));
    auto read = host.request(kLinkSys, kSysRead, memory_payload(0, 0x80010, 3));
    ASSERT_TRUE(acked(read));
    EXPECT_EQ(Bytes(read->payload.begin() + 6, read->payload.end()), (Bytes{0x11, 0x22, 0x33}));

    EXPECT_EQ(board.interrupt(), 0);
    std::filesystem::remove_all(dir);
}

struct BadArgs {
    const char *name;
    const char *args;
    const char *says;
};
void PrintTo(const BadArgs &c, std::ostream *os) { *os << c.name; }

const BadArgs kBadArgs[] = {
    {"unknown_option", "--frobnicate", "bad argument near '--frobnicate'"},
    {"bad_phase", "--phase warm", "bad argument near 'warm'"},
    {"missing_value", "--tcp-port", "bad argument near '--tcp-port'"},
    {"port_too_large", "--tcp-port 70000", "bad argument near '70000'"},
    {"missing_image", "--image /nonexistent/x.bin", "cannot read '/nonexistent/x.bin'"},
    {"image_address_beyond_1mb", "--image x.bin@0x100000", "bad load address"},
};

class KxboardArgs : public ::testing::TestWithParam<BadArgs> {};

TEST_P(KxboardArgs, RefusedWithAMessage)
{
    simtest::RunOutput r = simtest::run_tool(std::string("kxboard ") + GetParam().args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.text.find(GetParam().says), std::string::npos) << r.text;
}

INSTANTIATE_TEST_SUITE_P(Cases, KxboardArgs, ::testing::ValuesIn(kBadArgs),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
