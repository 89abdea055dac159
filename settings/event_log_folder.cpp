#include "settings/event_log_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

bool IsWritableFolder(const fs::path& folder) {
    std::error_code error;
    return fs::is_directory(folder, error) && access(folder.c_str(), W_OK | X_OK) == 0;
}

// Creates each missing folder of path, readable by its owner only.
bool MakePrivateFolders(const fs::path& path) {
    fs::path partial;
    for (const fs::path& part : path) {
        partial /= part;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return IsWritableFolder(path);
}

fs::path StateHome() {
    // Relative values are invalid for XDG base directories and are ignored.
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') return state;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return fs::path(home) / ".local" / "state";
    return {};
}

}  // namespace

std::string ChooseEventLogFolder(const std::string& programPath) {
    fs::path programFolder = fs::path(programPath).parent_path();
    if (programFolder.empty()) programFolder = ".";
    const fs::path portable = programFolder / "logs";
    if (IsWritableFolder(portable)) return portable.string() + "/";
    const fs::path home = StateHome();
    if (home.empty()) return {};
    const fs::path folder = home / "kestrova-zizizada" / "logs";
    return MakePrivateFolders(folder) ? folder.string() + "/" : std::string();
}
