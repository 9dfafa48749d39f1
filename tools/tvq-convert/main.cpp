// tvq-convert: makes a .tvq movie from a video file that FFmpeg reads.
#include "ConvertOptions.h"
#include "Converter.h"

extern "C" {
#include <libavutil/log.h>
}

#include <csignal>
#include <cstdio>

namespace {
void OnStopSignal(int) {
    tvqconvert::RequestStop();
}
}  // namespace

int main(int argc, char** argv) {
    tvqconvert::ConvertOptions options;
    std::string error;
    if (!tvqconvert::ParseConvertOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "tvq-convert: %s\n%s", error.c_str(), tvqconvert::kConvertUsage);
        return 2;
    }
    // FFmpeg's own chatter would bury the one line that says what went wrong.
    av_log_set_level(AV_LOG_QUIET);
    // A file size limit makes the write fail (and the partial movie go) instead of killing us.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    tvqconvert::Converter converter(options);
    const int status = converter.Run();
    if (status != 0)
        std::fprintf(stderr, "tvq-convert: %s\n", converter.Error().c_str());
    return status;
}
