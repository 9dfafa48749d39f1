#pragma once
// LoadLibrary / GetProcAddress / FreeLibrary over dlopen.
#include <string>

namespace win {

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary() { Free(); }
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // 1 on success; 0 with LastError() set (errno, or kLoadFailed when dlopen gives none).
    // The reason is written to stderr.
    int Load(const std::string& path);
    // Null when not loaded or the name is missing (LastError() is then kSymbolMissing).
    void* Resolve(const char* name);
    // For entry points a library may lack: null without a trace and without touching LastError().
    void* ResolveOptional(const char* name);
    void Free();
    bool IsLoaded() const { return handle_ != nullptr; }
    int LastError() const { return lastError_; }

    static constexpr int kLoadFailed = 126;     // ERROR_MOD_NOT_FOUND
    static constexpr int kSymbolMissing = 127;  // ERROR_PROC_NOT_FOUND

private:
    void* handle_ = nullptr;
    int lastError_ = 0;
};

}  // namespace win
