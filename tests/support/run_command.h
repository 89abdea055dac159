#pragma once
// Runs shell commands (the real tools the suites judge output with: ffprobe, ffmpeg, ogginfo,
// nm, the programs under test) and collects what they print.

#include <string>

struct TCommandResult {
    int ExitCode = -1;  // -1 when the command did not end normally
    std::string Output;
};

// A command still running after this long is stopped (exit code 124): a hung tool fails its
// test instead of holding the whole suite.
inline constexpr int CommandTimeoutSec = 300;

// Runs command with /bin/sh; Output holds its standard output and standard error, merged.
TCommandResult RunCommand(const std::string& command, int timeoutSec = CommandTimeoutSec);

// The same with standard output alone in Output (byte for byte); standard error goes where
// the test's own goes.
TCommandResult CommandOutput(const std::string& command, int timeoutSec = CommandTimeoutSec);

// text as one shell word, in single quotes.
std::string Quote(const std::string& text);
