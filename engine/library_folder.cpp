#include "engine/library_folder.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace {

std::atomic<TInstallationFolderLookup> InstallationFolderLookup{nullptr};

std::string InstallationFolder() {
    const TInstallationFolderLookup lookup = InstallationFolderLookup.load();
    return lookup ? lookup() : std::string();
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
    std::string installation = WithTrailingSlash(InstallationFolder());
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
