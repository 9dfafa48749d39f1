#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstdio>

namespace win {

int DynamicLibrary::Load(const std::string& path) {
    Free();
    errno = 0;
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_) {
        lastError_ = 0;
        return 1;
    }
    lastError_ = errno != 0 ? errno : kLoadFailed;
    const char* reason = dlerror();
    std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), reason ? reason : "unknown");
    return 0;
}

void* DynamicLibrary::Resolve(const char* name) {
    if (!handle_)
        return nullptr;
    dlerror();
    void* symbol = dlsym(handle_, name);
    if (!symbol) {
        lastError_ = kSymbolMissing;
        std::fprintf(stderr, "missing entry point %s\n", name);
    }
    return symbol;
}

void* DynamicLibrary::ResolveOptional(const char* name) {
    if (!handle_)
        return nullptr;
    dlerror();
    return dlsym(handle_, name);
}

void DynamicLibrary::Free() {
    if (!handle_)
        return;
    dlclose(handle_);
    handle_ = nullptr;
}

}  // namespace win
