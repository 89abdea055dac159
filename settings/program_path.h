#pragma once
// The program file's own path, for the event log's name and its portable folder beside it:
// /proc/self/exe resolved, or argv0 made absolute where that link cannot be read.

#include <string>

std::string ProgramPath(const char* argv0);
