#include "engine/library_folder.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

// Where an installed program's own libraries lie, relative to the program's folder; the
// install rules set it (empty: not known).
#ifndef KZ_INSTALLATION_FOLDER
#define KZ_INSTALLATION_FOLDER ""
#endif

namespace {

std::atomic<TInstallationFolderLookup> InstallationFolderLookup{nullptr};

std::string InstallationFolder() {
    const TInstallationFolderLookup lookup = InstallationFolderLookup.load();
    return lookup ? lookup() : std::string();
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::string CurrentFolder() {
    char path[PATH_MAX];
    return getcwd(path, sizeof path) ? WithTrailingSlash(path) : std::string();
}

}  // namespace

void SetInstallationFolderLookup(TInstallationFolderLookup lookup) {
    InstallationFolderLookup.store(lookup);
}

std::string WithTrailingSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

std::string ProgramFolder() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    std::string program(path, static_cast<size_t>(length));
    return program.substr(0, program.rfind('/') + 1);
}

std::vector<std::string> LibrarySearchFolders() {
    std::vector<std::string> folders;
    std::string installation = KnownInstallationFolder();
    if (!installation.empty()) folders.push_back(installation);
    std::string program = ProgramFolder();
    if (!program.empty()) {
        folders.push_back(program);
        folders.push_back(program + "../");
    }
    std::string current = CurrentFolder();
    if (!current.empty()) folders.push_back(current);
    return folders;
}

std::string KnownInstallationFolder() {
    std::string recorded = WithTrailingSlash(InstallationFolder());
    if (!recorded.empty()) return recorded;
    const std::string builtIn = KZ_INSTALLATION_FOLDER;
    const std::string program = ProgramFolder();
    if (builtIn.empty() || program.empty()) return {};
    const std::string folder = WithTrailingSlash(program + builtIn);
    return IsFolder(folder) ? folder : std::string();
}

std::string OwnLibraryFolder(const std::string& program, const std::string& installation,
                             const std::string& fileName) {
    const std::string found = FirstFolderHolding({program, installation}, fileName);
    return found.empty() ? WithTrailingSlash(program) : found;
}

std::string FirstFolderHolding(const std::vector<std::string>& folders,
                               const std::string& fileName) {
    for (const std::string& folder : folders) {
        if (!folder.empty() && FileExists(WithTrailingSlash(folder) + fileName)) {
            return WithTrailingSlash(folder);
        }
    }
    return {};
}

std::string LibraryFolder() {
    return FirstFolderHolding(LibrarySearchFolders(), LibraryMarkerFile);
}
