#include "engine/library_binder.h"

#include <dlfcn.h>

#include "engine/library_folder.h"
#include "settings/log.h"

TLibraryPlaces TLibraryPlaces::System() {
    return {LibrarySearchFolders, ::ProgramFolder, KnownInstallationFolder};
}

TLibraryBinder::TLibraryBinder(std::vector<TLibraryFile> files,
                               std::function<void(const TSymbolLookup&)> resolve,
                               std::function<void()> clear, TLibraryPlaces places)
    : FFiles(std::move(files)),
      FResolve(std::move(resolve)),
      FClear(std::move(clear)),
      FPlaces(std::move(places)) {}

bool TLibraryBinder::Bind() {
    std::lock_guard lock(FLock);
    if (FRefCount >= 1) {
        ++FRefCount;
        return true;
    }
    if (!LoadAll()) return false;
    FRefCount = 1;
    FResolve([this](const char* name) { return Symbol(name); });
    return true;
}

void TLibraryBinder::Unbind() {
    std::lock_guard lock(FLock);
    if (FRefCount <= 0) return;
    if (--FRefCount > 0) return;
    FClear();
    // Later files may use symbols of earlier ones: unload in reverse order.
    while (!FHandles.empty()) FHandles.pop_back();
    FPaths.clear();
}

int TLibraryBinder::RefCount() const {
    std::lock_guard lock(FLock);
    return FRefCount;
}

std::vector<std::string> TLibraryBinder::LoadedPaths() const {
    std::lock_guard lock(FLock);
    return FPaths;
}

std::string TLibraryBinder::PathOf(const TLibraryFile& file,
                                   const std::string& libraryFolder) const {
    if (file.Place == TLibraryFile::TPlace::ProgramFolder) {
        const std::string installation =
            FPlaces.InstallationFolder ? FPlaces.InstallationFolder() : std::string();
        return OwnLibraryFolder(FPlaces.ProgramFolder(), installation, file.Name) + file.Name;
    }
    return libraryFolder + file.Name;
}

bool TLibraryBinder::LoadAll() {
    const std::string libraryFolder =
        FirstFolderHolding(FPlaces.SearchFolders(), LibraryMarkerFile);
    std::vector<TLibraryHandle> handles;
    std::vector<std::string> paths;
    for (const TLibraryFile& file : FFiles) {
        std::string path = PathOf(file, libraryFolder);
        std::string error;
        const int flags = RTLD_NOW | (file.Global ? RTLD_GLOBAL : RTLD_LOCAL) |
                          (file.Resident ? RTLD_NODELETE : 0);
        TLibraryHandle handle = TLibraryHandle::Open(path, flags, &error);
        if (!handle.IsOpen()) {
            DebugLine("Cannot load " + path + ": " + error);
            // The files loaded so far go with handles, in reverse order.
            while (!handles.empty()) handles.pop_back();
            return false;
        }
        handles.push_back(std::move(handle));
        paths.push_back(std::move(path));
    }
    FHandles = std::move(handles);
    FPaths = std::move(paths);
    return true;
}

void* TLibraryBinder::Symbol(const char* name) const {
    for (const TLibraryHandle& handle : FHandles) {
        if (void* address = handle.Symbol(name)) return address;
    }
    return nullptr;
}
