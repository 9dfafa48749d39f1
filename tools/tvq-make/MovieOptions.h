#pragma once
// The command line of tvq-make.
#include "MoviePattern.h"
#include "codec/TvqFormat.h"

#include <string>

namespace tvqmake {

struct MovieOptions {
    std::string output;
    tvq::TvqStreamFormat format;
    int seconds = 10;
    PatternKind pattern = PatternKind::Test;
    int shortLastSecondMs = 0;  // 0: the last second is whole
};

// Fills `options` from argv; on a bad command line returns false with the reason in `error`.
bool ParseMovieOptions(int argc, char** argv, MovieOptions& options, std::string& error);

extern const char* const kMovieUsage;

}  // namespace tvqmake
