#include "engine/library_handle.h"

#include <dlfcn.h>

TLibraryHandle& TLibraryHandle::operator=(TLibraryHandle&& other) noexcept {
    if (this != &other) {
        Close();
        FHandle = other.FHandle;
        other.FHandle = nullptr;
    }
    return *this;
}

TLibraryHandle TLibraryHandle::Open(const std::string& path, int flags, std::string* errorText) {
    void* handle = dlopen(path.c_str(), flags);
    if (!handle && errorText) {
        const char* text = dlerror();
        *errorText = text ? text : "unknown error";
    }
    return TLibraryHandle(handle);
}

void* TLibraryHandle::Symbol(const char* name) const {
    return FHandle ? dlsym(FHandle, name) : nullptr;
}

void TLibraryHandle::Close() {
    if (FHandle) dlclose(FHandle);
    FHandle = nullptr;
}
