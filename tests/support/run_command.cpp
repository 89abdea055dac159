#include "tests/support/run_command.h"

#include <stdio.h>
#include <sys/wait.h>

#include <array>

namespace {

TCommandResult RunShell(const std::string& command, bool withErrors, int timeoutSec) {
    TCommandResult result;
    // -k: a tool that ignores SIGTERM is killed a little later.
    std::string line =
        "timeout -k 10 " + std::to_string(timeoutSec) + " /bin/sh -c " + Quote(command);
    if (withErrors) line += " 2>&1";
    FILE* pipe = popen(line.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 65536> chunk;
    size_t count;
    while ((count = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        result.Output.append(chunk.data(), count);
    const int status = pclose(pipe);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace

TCommandResult RunCommand(const std::string& command, int timeoutSec) {
    return RunShell(command, true, timeoutSec);
}

TCommandResult CommandOutput(const std::string& command, int timeoutSec) {
    return RunShell(command, false, timeoutSec);
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}
