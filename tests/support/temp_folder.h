#pragma once
// A fresh folder under /tmp for one test, removed with everything in it afterwards.

#include <cstdlib>
#include <filesystem>
#include <string>

class TTempFolder {
  public:
    TTempFolder() {
        char pattern[] = "/tmp/kz_settings_test_XXXXXX";
        if (mkdtemp(pattern)) FPath = pattern;
    }
    ~TTempFolder() {
        std::error_code error;
        if (!FPath.empty()) std::filesystem::remove_all(FPath, error);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    // Empty when no folder could be made.
    const std::string& Path() const { return FPath; }

  private:
    std::string FPath;
};
