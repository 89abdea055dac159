#pragma once
// Where the event log files go. An installed program cannot write beside itself (/usr/bin),
// so the logs live in the user's state folder; a "logs" folder that already exists beside the
// program and can be written is used instead, so a portable copy keeps its logs with it.

#include <string>

// The "logs" folder beside programPath when it exists and can be written; else
// $XDG_STATE_HOME/kestrova-zizizada/logs, or ~/.local/state/kestrova-zizizada/logs when
// XDG_STATE_HOME is unset or not absolute, created (missing folders with mode 0700, as the XDG
// base directory rules ask) when needed. Ends with '/'; empty when neither can be written.
std::string ChooseEventLogFolder(const std::string& programPath);
