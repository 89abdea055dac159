#include "tests/support/temp_folder.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

fs::path ProgramTempRoot() {
    return fs::temp_directory_path() / ("kz_tests_" + std::to_string(getpid()));
}

// Removes the folders of MakeTempFolder when the test program ends.
struct TProgramTempCleanup {
    ~TProgramTempCleanup() {
        std::error_code ignored;
        fs::remove_all(ProgramTempRoot(), ignored);
    }
} ProgramTempCleanup;

}  // namespace

TTempFolder::TTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "kz_test_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    FPath = pattern;
}

TTempFolder::~TTempFolder() {
    std::error_code ignored;
    fs::remove_all(FPath, ignored);
}

std::string MakeTempFolder(const std::string& name) {
    const fs::path folder = ProgramTempRoot() / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder.string() + "/";
}
