#pragma once
// One dlopen handle with one owner: closing happens exactly once, in the destructor or Close().

#include <string>

class TLibraryHandle {
  public:
    TLibraryHandle() = default;
    ~TLibraryHandle() { Close(); }
    TLibraryHandle(const TLibraryHandle&) = delete;
    TLibraryHandle& operator=(const TLibraryHandle&) = delete;
    TLibraryHandle(TLibraryHandle&& other) noexcept : FHandle(other.FHandle) {
        other.FHandle = nullptr;
    }
    TLibraryHandle& operator=(TLibraryHandle&& other) noexcept;

    // Loads path with dlopen flags (RTLD_NOW and friends). An empty handle when it fails;
    // errorText then holds dlerror()'s text.
    static TLibraryHandle Open(const std::string& path, int flags,
                               std::string* errorText = nullptr);

    bool IsOpen() const { return FHandle != nullptr; }
    // The address the library exports under name (also through its dependencies), or nullptr.
    void* Symbol(const char* name) const;
    void Close();

  private:
    explicit TLibraryHandle(void* handle) : FHandle(handle) {}
    void* FHandle = nullptr;
};
