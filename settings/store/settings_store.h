#pragma once
// The per-user settings store: four groups of 44 text values under "Hadrel Forge/Palunet",
// plus the group "Zizizada/VideoModes" (one capture mode per video device) once a mode was
// chosen.
// Plain C++ so callers need not see Qt. Main thread only, while no run is active (the About
// box's debug switch excepted: DebugMode is atomic).

#include <string>

// Reads every value into Settings. A value that is missing, unreadable, not a decimal integer
// where one is expected, or outside the range its users can honour (FPS 1..120, picture sides
// 1..4096, port 1..65535, announced bitrate 1..100000, overlay alpha 0..255, a sample-rate
// index outside the table), a request text (mount point, stream name, genre, description, URL)
// holding control characters, a mount point over 1024 bytes or a path the system cannot take
// takes its default, with a log line when a value was stored. Longer stream texts are cut.
void LoadSettings();

// Writes every value from Settings as text. The file is readable by its owner only, at every
// moment (it holds the server password). False when the file could not be written; the store
// then keeps its previous contents.
bool SaveSettings();

// The file that holds the store.
std::string SettingsFilePath();
