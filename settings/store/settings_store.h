#pragma once
// The per-user settings store: four groups of 44 text values under "Hadrel Forge/Palunet",
// plus the group "Zizizada/VideoModes" (one capture mode per video device) once a mode was
// chosen.
// Plain C++ so callers need not see Qt. Main thread only, while no run is active (the About
// box's debug switch excepted: DebugMode is atomic).

#include <string>

// Reads every value into Settings. A value that is missing, unreadable, not a decimal integer
// where one is expected, or one that would break its users (FPS below 1, a sample-rate index
// outside the table) takes its default.
void LoadSettings();

// Writes every value from Settings as text. The file is readable by its owner only, at every
// moment (it holds the server password). False when the file could not be written; the store
// then keeps its previous contents.
bool SaveSettings();

// The file that holds the store.
std::string SettingsFilePath();
