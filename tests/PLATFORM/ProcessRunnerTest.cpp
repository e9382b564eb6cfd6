// The process runner: what a started program gets (its arguments whole, no descriptors of ours,
// no input, a group of its own), how its end is reported, and that a wait given up by the pump
// or the time allowed leaves no process behind. The programs are small shell lines run through
// /bin/sh as an ordinary program.
#include "ProcessRunner.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

class ProcessRunner : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
                ("kx_process_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string path(const std::string &name) const { return (m_dir / name).string(); }

    // The process id a program wrote to a file, once the file is there (0 until then).
    static int read_pid(const std::string &file)
    {
        std::ifstream in(file);
        int pid = 0;
        in >> pid;
        return pid;
    }

    fs::path m_dir;
};

std::vector<std::string> shell(const std::string &line, std::vector<std::string> args = {})
{
    std::vector<std::string> argv{"/bin/sh", "-c", line, "sh"};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

// True while the process exists and is not a zombie (a process killed after its parent ended
// waits for the system to reap it; it runs no more).
bool running(int pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    if (!stat)
        return false;
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

// A killed process needs a moment to end; this waits for it, but not for ever (a loaded machine
// may take a while to let it go).
bool ends_soon(int pid)
{
    for (int i = 0; i < 5000 && running(pid); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return !running(pid);
}

// ---- how a run ends ------------------------------------------------------------------------------

struct EndCase {
    const char *name;
    std::vector<std::string> argv;
    ProcessOutcome outcome;
    int exit_code;
    int signal;
    int error;
    const char *described;
};

const EndCase kEnds[] = {
    {"exit_zero", {"/bin/true"}, ProcessOutcome::Exited, 0, 0, 0, "exit code 0"},
    {"exit_code", shell("exit 3"), ProcessOutcome::Exited, 3, 0, 0, "exit code 3"},
    {"killed", shell("kill -9 $$"), ProcessOutcome::Killed, -1, SIGKILL, 0, "killed by signal 9"},
    {"missing_program", {"/nonexistent/kx-no-such-program"}, ProcessOutcome::NotStarted, -1, 0,
     ENOENT, "not started: No such file or directory"},
    {"not_executable", {"@text"}, ProcessOutcome::NotStarted, -1, 0, EACCES,
     "not started: Permission denied"},
    {"not_a_program", {"@garbage"}, ProcessOutcome::NotStarted, -1, 0, ENOEXEC,
     "not started: Exec format error"},
    {"no_program", {}, ProcessOutcome::NotStarted, -1, 0, EINVAL, "not started: Invalid argument"},
    {"empty_path", {""}, ProcessOutcome::NotStarted, -1, 0, EINVAL,
     "not started: Invalid argument"},
    // A bare name is a path, not something to look for in PATH.
    {"no_path_search", {"true"}, ProcessOutcome::NotStarted, -1, 0, ENOENT,
     "not started: No such file or directory"},
};

class RunEnd : public ProcessRunner, public ::testing::WithParamInterface<EndCase> {};

// "@name": a file of the test's folder, "text" without the right to run it, "garbage" with it.
TEST_P(RunEnd, IsReportedAsItHappened)
{
    const EndCase &c = GetParam();
    std::ofstream(path("text")) << "plain text\n";
    std::ofstream(path("garbage")) << "\x7F\x01\x02 not a program\n";
    fs::permissions(path("garbage"), fs::perms::owner_all);
    std::vector<std::string> argv = c.argv;
    for (std::string &a : argv)
        if (a.starts_with('@'))
            a = path(a.substr(1));
    const ProcessResult r = run_process(argv);
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_EQ(r.exit_code, c.exit_code);
    EXPECT_EQ(r.signal, c.signal);
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(describe_process_result(r), c.described);
    EXPECT_EQ(r.succeeded(), c.outcome == ProcessOutcome::Exited && c.exit_code == 0);
    if (r.pid != 0) {
        EXPECT_FALSE(running(r.pid)) << "reaped";
    }
}

INSTANTIATE_TEST_SUITE_P(All, RunEnd, ::testing::ValuesIn(kEnds),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- what the program gets -----------------------------------------------------------------------

// Blanks and quotes in the program's path and in an argument are only characters of one
// argument: nothing splits or interprets them.
TEST_F(ProcessRunner, BlanksAndQuotesStayInsideTheirArgument)
{
    fs::create_directories(m_dir / "a dir \"quoted\"");
    const std::string program = path("a dir \"quoted\"/s h");
    fs::copy_file("/bin/sh", program);
    const std::string arg = "one \"two\" 'three' $HOME;x", out = path("out file");
    const ProcessResult r =
        run_process({program, "-c", "test $# -eq 2 && printf %s \"$1\" > \"$2\"", "sh", arg, out});
    ASSERT_TRUE(r.succeeded()) << describe_process_result(r);
    std::ifstream in(out);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
              arg);
}

// The program starts with none of our descriptors, its input from /dev/null, in a process group
// of its own (so that killing the group reaches what it starts), and with our environment and
// working directory.
TEST_F(ProcessRunner, ProgramRunsDetachedWithOurEnvironment)
{
    const int inherited = ::open("/dev/null", O_RDONLY);  // no close-on-exec
    ASSERT_GE(inherited, 0);
    const std::string fd = std::to_string(inherited);
    ::setenv("KX_RUNNER_CHECK", "present", 1);
    struct Cleanup {
        int fd;
        ~Cleanup()
        {
            ::close(fd);
            ::unsetenv("KX_RUNNER_CHECK");
        }
    } cleanup{inherited};

    const struct {
        const char *what;
        std::string line;
    } checks[] = {
        {"no inherited descriptor", "test ! -e /proc/$$/fd/" + fd},
        {"input from /dev/null", "! read line"},
        {"own process group", "set -- $(cat /proc/$$/stat); test \"$5\" = \"$$\""},
        {"our environment", "test \"$KX_RUNNER_CHECK\" = present"},
        {"our working directory", "test \"$(pwd -P)\" = \"" + fs::current_path().string() + "\""},
    };
    for (const auto &check : checks) {
        const ProcessResult r = run_process(shell(check.line));
        EXPECT_TRUE(r.succeeded()) << check.what << ": " << describe_process_result(r);
    }
}

// ---- waiting -------------------------------------------------------------------------------------

TEST_F(ProcessRunner, PumpIsCalledWhileTheProgramRuns)
{
    const std::string done = path("done");
    int pumps = 0;
    ProcessOptions options;
    options.poll_interval = std::chrono::milliseconds(1);
    // The program ends only once the pump has run a few times.
    options.pump = [&] {
        if (++pumps == 3)
            std::ofstream(done) << "go";
    };
    const ProcessResult r = run_process(shell("while [ ! -e \"$1\" ]; do :; done", {done}), options);
    EXPECT_TRUE(r.succeeded()) << describe_process_result(r);
    EXPECT_GE(pumps, 3);
}

struct Cancelled : std::runtime_error {
    Cancelled() : std::runtime_error("cancelled") {}
};

// A pump that throws (the user closed the status box) stops the wait: the program and what it
// started are killed and the program is reaped before the exception goes on.
TEST_F(ProcessRunner, ThrowingPumpKillsTheProgramAndWhatItStarted)
{
    const std::string pid_file = path("pid"), child_file = path("child");
    ProcessOptions options;
    options.poll_interval = std::chrono::milliseconds(1);
    options.pump = [&] {
        if (read_pid(pid_file) != 0 && read_pid(child_file) != 0)
            throw Cancelled();
    };
    EXPECT_THROW(run_process(shell("sleep 1000 & echo $! > \"$2.part\"; mv \"$2.part\" \"$2\";"
                                   " echo $$ > \"$1.part\"; mv \"$1.part\" \"$1\"; wait",
                                   {pid_file, child_file}),
                             options),
                 Cancelled);
    const int pid = read_pid(pid_file);
    ASSERT_NE(pid, 0);
    EXPECT_EQ(::kill(pid, 0), -1) << "the program is gone, reaped too";
    EXPECT_EQ(errno, ESRCH);
    EXPECT_TRUE(ends_soon(read_pid(child_file))) << "what it started is killed with it";
}

TEST_F(ProcessRunner, TimeOutKillsTheProgram)
{
    const std::string pid_file = path("pid");
    ProcessOptions options;
    options.poll_interval = std::chrono::milliseconds(1);
    options.timeout = std::chrono::milliseconds(30);
    const ProcessResult r =
        run_process(shell("echo $$ > \"$1\"; exec sleep 1000", {pid_file}), options);
    EXPECT_EQ(r.outcome, ProcessOutcome::TimedOut);
    EXPECT_EQ(describe_process_result(r), "timed out and killed");
    ASSERT_NE(r.pid, 0);
    EXPECT_EQ(::kill(r.pid, 0), -1) << "reaped";
    EXPECT_EQ(errno, ESRCH);
}

// A program that ends before the time allowed is not affected by it.
TEST_F(ProcessRunner, QuickProgramEndsWithinItsTime)
{
    ProcessOptions options;
    options.timeout = std::chrono::milliseconds(10000);
    EXPECT_TRUE(run_process({"/bin/true"}, options).succeeded());
}

}  // namespace
