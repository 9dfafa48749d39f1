#pragma once
// What the fuzz targets share: a private folder for the files they hand to the code under test
// (and for the named objects, so a player the developer has open is never touched), and a
// check that turns a broken promise into a crash the fuzzer records.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace fuzz {

inline void Check(bool condition, const char* what) {
    if (condition)
        return;
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

// Made once per process; XDG_RUNTIME_DIR points into it from then on. The name is a leaked
// object so that the clean-up at exit can still read it after static destruction has begun
// (libFuzzer ends with exit(), which runs both).
inline const std::string& Folder() {
    static const std::string* const folder = [] {
        char pattern[] = "/tmp/tvq-fuzz-XXXXXX";
        Check(mkdtemp(pattern) != nullptr, "a private folder can be made");
        const auto* made = new std::string(pattern);
        setenv("XDG_RUNTIME_DIR", made->c_str(), 1);
        std::atexit([] {
            const std::string command = "rm -rf '" + Folder() + "'";
            if (std::system(command.c_str()) != 0)
                std::fprintf(stderr, "could not remove %s\n", Folder().c_str());
        });
        return made;
    }();
    return *folder;
}

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    Check(file != nullptr, "the input file can be written");
    Check(size == 0 || std::fwrite(data, 1, size, file) == size, "the whole input is written");
    std::fclose(file);
}

}  // namespace fuzz
