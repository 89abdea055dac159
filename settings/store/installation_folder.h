#pragma once
// The machine-wide installation folder the installer records, or empty when none is recorded.
// Plain C++ so the engine can ask without seeing Qt.

#include <string>

std::string InstallationFolder();
