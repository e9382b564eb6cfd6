// Runs a built test tool (kxrun, kxasm) and captures its output and exit status.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace simtest {

struct RunOutput {
    int status = -1;
    std::string text; // stdout and stderr together
};

// `command` starts with the tool's name; it is run from the built tools' folder.
inline RunOutput run_tool(const std::string &command)
{
    RunOutput out;
    std::string full = std::string(KX_TOOLS_DIR) + "/" + command + " 2>&1";
    FILE *pipe = popen(full.c_str(), "r");
    if (!pipe)
        return out;
    std::array<char, 4096> buf;
    size_t n = 0;
    while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0)
        out.text.append(buf.data(), n);
    int raw = pclose(pipe);
    out.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

} // namespace simtest
