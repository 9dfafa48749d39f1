// tvq-make: writes synthetic .tvq movies for tests, benchmarks and the demo.
#include "MovieBuilder.h"
#include "MovieOptions.h"

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    tvqmake::MovieOptions options;
    std::string error;
    if (!tvqmake::ParseMovieOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "tvq-make: %s\n%s", error.c_str(), tvqmake::kMovieUsage);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    tvqmake::MovieBuilder builder(options);
    if (!builder.Run())
        return 1;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("tvq-make: wrote %s (%d s of %dx%d at %d fps) in %.1f s\n", options.output.c_str(),
                options.seconds, options.format.width, options.format.height,
                options.format.framesPerSecond, seconds);
    return 0;
}
