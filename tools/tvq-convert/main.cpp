// tvq-convert: makes a .tvq movie from a video file that FFmpeg reads.
#include "ConvertOptions.h"
#include "Converter.h"

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace {

// Exit statuses above this are reserved by shells for signals.
constexpr int kMaxFailureStatus = 125;

void OnStopSignal(int) {
    tvqconvert::RequestStop();
}

int ConvertOne(const tvqconvert::ConvertOptions& options, const char* errorPrefix) {
    tvqconvert::Converter converter(options);
    const int status = converter.Run();
    if (status != 0)
        std::fprintf(stderr, "tvq-convert: %s%s\n", errorPrefix, converter.Error().c_str());
    return status;
}

// One after another, each with its own progress line and error; returns how many failed.
int ConvertEach(const tvqconvert::ConvertOptions& batch) {
    int failed = 0;
    for (const std::string& input : batch.inputs) {
        if (tvqconvert::StopRequested()) {
            ++failed;
            continue;
        }
        tvqconvert::ConvertOptions one = batch;
        one.input = input;
        one.output = tvqconvert::BatchOutputPath(batch.outputDir, input);
        std::fprintf(stderr, "%s -> %s\n", one.input.c_str(), one.output.c_str());
        if (ConvertOne(one, (input + ": ").c_str()) != 0)
            ++failed;
    }
    return std::min(failed, kMaxFailureStatus);
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
    if (!options.outputDir.empty())
        return ConvertEach(options);
    return ConvertOne(options, "");
}
