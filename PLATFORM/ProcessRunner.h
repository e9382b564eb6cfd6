// ProcessRunner: runs an external program and waits for it to end. The program is started
// directly from an argument vector (no shell, no search of PATH), so blanks and quotes in a path
// are only characters of one argument. It runs detached from us: in a process group of its own,
// its input from /dev/null, with none of our open files, our environment and our working
// directory. While it runs, the caller's pump is called between short waits; when the pump
// throws (the user cancelled) or the time allowed has passed, the whole process group is killed
// and reaped before the runner returns or the exception goes on, so no child is ever left.
// Std + POSIX; any thread, one run at a time per caller.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct ProcessOptions {
    // How long one wait lasts before the pump is called again.
    std::chrono::milliseconds poll_interval{20};
    // No value: wait until the program ends (or the pump throws).
    std::optional<std::chrono::milliseconds> timeout;
    // Called before each wait; may throw to stop waiting (the program is killed first).
    std::function<void()> pump;
};

enum class ProcessOutcome {
    Exited,      // ended by itself; exit_code holds its status
    NotStarted,  // could not be started; error holds the reason (errno)
    Killed,      // ended by a signal; signal holds it
    TimedOut,    // ran past the time allowed and was killed
    Lost,        // something else reaped it: it is gone, its status unknown (error holds why)
};

struct ProcessResult {
    ProcessOutcome outcome = ProcessOutcome::NotStarted;
    int exit_code = -1;
    int signal = 0;
    int error = 0;
    // The process id it had (0 when it never started), so a caller can check it is gone.
    int pid = 0;
    [[nodiscard]] bool succeeded() const
    {
        return outcome == ProcessOutcome::Exited && exit_code == 0;
    }
};

// Runs argv[0] (a path) with the arguments argv[1..]. An empty vector or an empty program path
// does not start anything (NotStarted, EINVAL).
ProcessResult run_process(const std::vector<std::string> &argv, const ProcessOptions &options = {});

// The text of a run's outcome for messages: "exit code 3", "killed by signal 9", ...
std::string describe_process_result(const ProcessResult &result);
