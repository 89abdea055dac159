#pragma once
// The window log: time-stamped lines that any thread appends and the main window (or the
// headless runner) takes on a timer. The lock is held for one append or one swap only.

#include <ctime>
#include <string>

// Always written: local time "ddddd hh:nn:ss", a blank, the message, CR LF.
void LogLine(const std::string& message);

// Written only while Settings.DebugMode is set; costs one atomic load otherwise.
void DebugLine(const std::string& message);

// Hands over everything pending and empties the buffer.
std::string TakeLog();

// The time stamp of a log line for the given moment (short date, 24-hour time).
std::string FormatLogTime(std::time_t when);
