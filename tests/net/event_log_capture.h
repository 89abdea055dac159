#pragma once
// The net tests write their event log into a temporary folder of their own; this reads it.

#include <string>

// Everything written to the event log file of this test run so far.
std::string EventLogText();
