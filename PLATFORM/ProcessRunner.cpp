// ProcessRunner: start with posix_spawn, wait on a process descriptor (or by polling where the
// kernel has none), kill the process group on the way out of an abandoned wait.
#include "ProcessRunner.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

// The start-up record of the child: input from /dev/null, nothing of ours open beyond the
// three standard descriptors, a process group of its own, no blocked signals, and every signal
// we ignore back to its default.
class SpawnSetup {
public:
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
        ok = posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) ==
                 0 &&
             posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1) == 0;
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int sig = 1; sig < SIGRTMIN; ++sig)
            if (sig != SIGKILL && sig != SIGSTOP)
                (void)sigaddset(&defaults, sig);
        ok = ok && posix_spawnattr_setpgroup(&attr, 0) == 0 &&
             posix_spawnattr_setsigmask(&attr, &none) == 0 &&
             posix_spawnattr_setsigdefault(&attr, &defaults) == 0 &&
             posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                 POSIX_SPAWN_SETSIGDEF) == 0;
    }
    ~SpawnSetup()
    {
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&actions);
    }
    SpawnSetup(const SpawnSetup &) = delete;
    SpawnSetup &operator=(const SpawnSetup &) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    bool ok = false;
};

// The running child: its descriptor for waiting, and the kill that a wait given up owes it.
class Child {
public:
    // A process descriptor wakes the wait the moment the child ends; without one (an older
    // kernel) the wait is only the poll interval.
    explicit Child(pid_t pid) : m_pid(pid), m_fd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)))
    {
    }
    ~Child()
    {
        if (!m_reaped)
            kill_and_reap();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    // The status once the child has ended, without waiting.
    std::optional<int> poll_status(int &error)
    {
        int status = 0;
        for (;;) {
            const pid_t got = ::waitpid(m_pid, &status, WNOHANG);
            if (got == m_pid) {
                m_reaped = true;
                return status;
            }
            if (got == 0)
                return std::nullopt;
            if (errno != EINTR) {
                // Someone else took the child's end (a handler of ours that reaps everything):
                // it is gone, but its status with it.
                error = errno;
                m_reaped = true;
                return std::nullopt;
            }
        }
    }

    // Sleeps until the child ends or the time is up.
    void wait_for(std::chrono::milliseconds time) const
    {
        const int ms = static_cast<int>(time.count() < 0 ? 0 : time.count());
        if (m_fd < 0) {
            (void)::poll(nullptr, 0, ms);
            return;
        }
        pollfd p{m_fd, POLLIN, 0};
        (void)::poll(&p, 1, ms);
    }

    // The program and everything it started in its group are killed; the child is reaped.
    void kill_and_reap()
    {
        (void)::kill(-m_pid, SIGKILL);
        (void)::kill(m_pid, SIGKILL);  // it may have left its group
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_reaped = true;
    }

    bool reaped() const { return m_reaped; }

private:
    pid_t m_pid;
    int m_fd;
    bool m_reaped = false;
};

ProcessResult from_status(ProcessResult r, int status)
{
    if (WIFEXITED(status)) {
        r.outcome = ProcessOutcome::Exited;
        r.exit_code = WEXITSTATUS(status);
    } else {
        r.outcome = ProcessOutcome::Killed;
        r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    return r;
}

}  // namespace

ProcessResult run_process(const std::vector<std::string> &argv, const ProcessOptions &options)
{
    ProcessResult r;
    if (argv.empty() || argv.front().empty()) {
        r.error = EINVAL;
        return r;
    }
    std::vector<char *> args;
    args.reserve(argv.size() + 1);
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);

    SpawnSetup setup;
    if (!setup.ok) {
        r.error = ENOMEM;
        return r;
    }
    pid_t pid = 0;
    const int started = ::posix_spawn(&pid, args[0], &setup.actions, &setup.attr, args.data(),
                                      environ);
    if (started != 0) {
        r.error = started;
        return r;
    }
    r.pid = pid;

    Child child(pid);  // from here on, every way out leaves no child behind
    const auto deadline =
        options.timeout ? std::optional(Clock::now() + *options.timeout) : std::nullopt;
    for (;;) {
        int error = 0;
        if (const std::optional<int> status = child.poll_status(error))
            return from_status(r, *status);
        if (child.reaped()) {
            r.outcome = ProcessOutcome::Lost;
            r.error = error;
            return r;
        }
        std::chrono::milliseconds nap = options.poll_interval;
        if (deadline) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
            if (left.count() <= 0) {
                child.kill_and_reap();
                r.outcome = ProcessOutcome::TimedOut;
                return r;
            }
            nap = std::min(nap, left);
        }
        if (options.pump)
            options.pump();  // a throw unwinds through `child`, which kills and reaps
        child.wait_for(nap);
    }
}

std::string describe_process_result(const ProcessResult &result)
{
    switch (result.outcome) {
    case ProcessOutcome::Exited:
        return "exit code " + std::to_string(result.exit_code);
    case ProcessOutcome::NotStarted:
        return "not started: " + std::string(std::strerror(result.error));
    case ProcessOutcome::Killed:
        return "killed by signal " + std::to_string(result.signal);
    case ProcessOutcome::TimedOut:
        return "timed out and killed";
    case ProcessOutcome::Lost:
        return "ended without a status: " + std::string(std::strerror(result.error));
    }
    return {};
}
