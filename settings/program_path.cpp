#include "settings/program_path.h"

#include <filesystem>

std::string ProgramPath(const char* argv0) {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || path.empty()) {
        path = std::filesystem::absolute(argv0 ? argv0 : "kestrova_zizizada", error);
    }
    return path.string();
}
