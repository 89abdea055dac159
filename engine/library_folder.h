#pragma once
// Where the codec libraries are loaded from. Every folder returned ends in '/'; an empty
// folder means "none": the libraries then go by bare name through the system search.

#include <string>
#include <vector>

// The file whose presence makes a folder the library folder, for every library group.
inline constexpr const char* LibraryMarkerFile = "libogg.so.0";

// Reads the machine-wide installation folder the installer records ("" when none). The
// program hands in the settings store's lookup at start-up, before any run, so the engine need
// not see the store; without one (or with nullptr) no installation folder is searched.
using TInstallationFolderLookup = std::string (*)();
void SetInstallationFolderLookup(TInstallationFolderLookup lookup);

// The candidates in search order: the installation folder (when one is known), the program's
// folder, its parent, the current working directory.
std::vector<std::string> LibrarySearchFolders();

// The first of folders that holds fileName, or empty.
std::string FirstFolderHolding(const std::vector<std::string>& folders,
                               const std::string& fileName);

// FirstFolderHolding(LibrarySearchFolders(), LibraryMarkerFile).
std::string LibraryFolder();

// The machine-wide installation folder when one is recorded; else, for an installed program,
// the folder its own libraries were installed to (found relative to the program's folder);
// else empty.
std::string KnownInstallationFolder();

// The first of program and installation (tried in that order) that holds fileName; program
// when neither does. For the program's own libraries.
std::string OwnLibraryFolder(const std::string& program, const std::string& installation,
                             const std::string& fileName);

// The folder of the running program (from /proc/self/exe), or empty when it cannot be read.
std::string ProgramFolder();

// folder with a '/' appended when it has none; empty stays empty.
std::string WithTrailingSlash(std::string folder);
