#pragma once
// Temporary folders for tests, under the system's temporary folder.

#include <string>

// A fresh folder, removed with everything in it when the object goes. Throws
// std::runtime_error when no folder can be made.
class TTempFolder {
  public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    // Without a trailing '/'.
    const std::string& Path() const { return FPath; }
    // The path of name inside the folder.
    std::string File(const std::string& name) const { return FPath + "/" + name; }

  private:
    std::string FPath;
};

// A fresh empty folder named name, ending in '/', that lasts until the test program ends
// (then all such folders are removed). A second call with the same name empties it.
std::string MakeTempFolder(const std::string& name);
