#pragma once
// The event log files: comma-separated records in a "logs" folder, one file per program run
// and a new one every 10001 records. Writers are serialised by a mutex with a 1000 ms bound;
// the event log never reports its own failures.

#include <cstdint>
#include <string>

// Chooses the folder (the program's folder + "logs/", or the per-user state folder when that
// is not writable), creates it, and writes the start record (code 100).
void EventLogStart(const std::string& programPath);

// Writes the end record (code 101) and closes the file.
void EventLogEnd();

// Appends one record: "dd-mm-yyyy","hh:nn:ss",code,"text" in UTC, CR LF, flushed at once.
void WriteEvent(uint16_t code, const std::string& text);
