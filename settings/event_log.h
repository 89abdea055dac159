#pragma once
// The event log files: comma-separated records in a "logs" folder, one file per program run
// and a new one every 10001 records. Writers are serialised by a mutex with a 1000 ms bound;
// the event log never reports its own failures.

#include <cstdint>
#include <string>

// Chooses the folder (ChooseEventLogFolder: the per-user state folder, or an existing writable
// "logs" folder beside the program), and writes the start record (code 100). Called on the main
// thread before any other thread writes; a second call ends the previous log first.
void EventLogStart(const std::string& programPath);

// Writes the end record (code 101) and closes the file. Records written afterwards are
// dropped until the next EventLogStart.
void EventLogEnd();

// Appends one record: "dd-mm-yyyy","hh:nn:ss",code,"text" in UTC, CR LF, handed to the
// system at once. Any thread.
void WriteEvent(uint16_t code, const std::string& text);

// The file written last (still open or already closed), or empty when none could be created.
std::string EventLogFilePath();

// The folder chosen by EventLogStart, ending with '/'.
std::string EventLogFolder();
