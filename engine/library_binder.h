#pragma once
// A reference-counted group of shared libraries loaded at run time. The first Bind loads
// every file of the group and fills the caller's function table; later binds only count.
// The group is unloaded, and the table cleared, when the last reference is released.
// Bind and Unbind may be called from any thread (one mutex); the table itself is read
// without a lock, so users call through it only while they hold a reference.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/library_handle.h"

struct TLibraryFile {
    // LibraryFolder: the codec library folder. ProgramFolder: the program's own libraries, from
    // the program's folder, else from the installation folder.
    enum class TPlace { LibraryFolder, ProgramFolder };
    std::string Name;
    TPlace Place = TPlace::LibraryFolder;
    // Loaded with RTLD_GLOBAL, so files loaded after it can use its symbols.
    bool Global = true;
    // Stays mapped once loaded, also after the group is unloaded (RTLD_NODELETE): for files
    // whose dependencies cannot be unloaded without leaking.
    bool Resident = false;
};

// Where the binder looks. Tests replace these to point at folders of their own.
struct TLibraryPlaces {
    std::function<std::vector<std::string>()> SearchFolders;
    std::function<std::string()> ProgramFolder;
    // Empty function: no installation folder.
    std::function<std::string()> InstallationFolder;
    static TLibraryPlaces System();
};

// Gives the address of an exported name from the first file of the group that has it, or
// nullptr.
using TSymbolLookup = std::function<void*(const char* name)>;

class TLibraryBinder {
  public:
    // resolve fills the table right after loading; clear empties it after unloading. Both
    // run under the binder's mutex.
    TLibraryBinder(std::vector<TLibraryFile> files,
                   std::function<void(const TSymbolLookup&)> resolve, std::function<void()> clear,
                   TLibraryPlaces places = TLibraryPlaces::System());
    TLibraryBinder(const TLibraryBinder&) = delete;
    TLibraryBinder& operator=(const TLibraryBinder&) = delete;

    // True when the group is bound (now or already). A failed load leaves nothing loaded and
    // the count at 0, so the next call tries again.
    bool Bind();
    // Releases one reference; nothing when none is held.
    void Unbind();

    int RefCount() const;
    // The paths the group was loaded from, in load order; empty while unbound.
    std::vector<std::string> LoadedPaths() const;

  private:
    std::string PathOf(const TLibraryFile& file, const std::string& libraryFolder) const;
    bool LoadAll();
    void* Symbol(const char* name) const;

    const std::vector<TLibraryFile> FFiles;
    const std::function<void(const TSymbolLookup&)> FResolve;
    const std::function<void()> FClear;
    const TLibraryPlaces FPlaces;
    mutable std::mutex FLock;
    int FRefCount = 0;                     // guarded by FLock
    std::vector<TLibraryHandle> FHandles;  // guarded by FLock
    std::vector<std::string> FPaths;       // guarded by FLock
};

// Binds at construction and releases at destruction only when the bind succeeded, so a
// user whose bind failed never releases a reference that another user holds.
class TLibraryUse {
  public:
    TLibraryUse(bool (*bind)(), void (*unbind)()) : FUnbind(unbind), FReady(bind()) {}
    ~TLibraryUse() { Release(); }
    TLibraryUse(const TLibraryUse&) = delete;
    TLibraryUse& operator=(const TLibraryUse&) = delete;
    TLibraryUse(TLibraryUse&& other) noexcept : FUnbind(other.FUnbind), FReady(other.FReady) {
        other.FReady = false;
    }
    TLibraryUse& operator=(TLibraryUse&&) = delete;

    bool Ready() const { return FReady; }
    void Release() {
        if (FReady) FUnbind();
        FReady = false;
    }

  private:
    void (*FUnbind)();
    bool FReady;
};
