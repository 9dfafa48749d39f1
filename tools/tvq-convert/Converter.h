#pragma once
// Converts one source file into a .tvq movie: reads the pictures and sound, re-times and
// resamples them, codes the seconds on both cores and writes them in order. The movie appears
// under its name only when it is complete.
#include "ConvertOptions.h"

#include <string>

namespace tvqconvert {

class Converter {
public:
    explicit Converter(const ConvertOptions& options) : options_(options) {}

    // 0 when the movie was written; 1 with a one-line reason in Error() otherwise.
    int Run();
    const std::string& Error() const { return error_; }

private:
    const ConvertOptions& options_;
    std::string error_;
};

// Asks a running conversion to stop (from a signal handler); the partial movie is removed.
void RequestStop();
bool StopRequested();

}  // namespace tvqconvert
