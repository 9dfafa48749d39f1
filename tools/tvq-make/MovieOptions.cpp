#include "MovieOptions.h"

#include <charconv>
#include <string_view>

namespace tvqmake {
namespace {

// Longest movie: the packed length holds at most 32767 hours, far beyond any test's need.
constexpr int kMaxSeconds = 24 * 3600;

bool ParseInt(std::string_view text, int low, int high, int& out) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return false;
    out = value;
    return true;
}

bool ParseSize(std::string_view text, tvq::TvqStreamFormat& f) {
    const size_t x = text.find('x');
    return x != std::string_view::npos &&
           ParseInt(text.substr(0, x), 1, tvq::kMaxPictureSide, f.width) &&
           ParseInt(text.substr(x + 1), 1, tvq::kMaxPictureSide, f.height);
}

bool ApplyOption(std::string_view name, std::string_view value, MovieOptions& o) {
    tvq::TvqStreamFormat& f = o.format;
    if (name == "--size")
        return ParseSize(value, f);
    if (name == "--fps")
        return ParseInt(value, 1, tvq::kMaxFramesPerSecond, f.framesPerSecond);
    if (name == "--rate")
        return ParseInt(value, 1, tvq::kMaxSampleRate, f.sampleRate);
    if (name == "--channels")
        return ParseInt(value, 1, 2, f.channels);
    if (name == "--bits")
        return ParseInt(value, 8, 16, f.bitsPerSample) &&
               (f.bitsPerSample == 8 || f.bitsPerSample == 16);
    if (name == "--seconds")
        return ParseInt(value, 1, kMaxSeconds, o.seconds);
    if (name == "--quality")
        return ParseInt(value, 1, 100, f.jpegQuality);
    if (name == "--short-last-second")
        return ParseInt(value, 1, 999, o.shortLastSecondMs);
    if (name == "--codec") {
        if (value != "jpeg" && value != "raw")
            return false;
        f.videoCodec = value == "jpeg" ? tvq::kCodecJpeg : tvq::kCodecRaw;
        return true;
    }
    if (name == "--pattern") {
        if (value != "test" && value != "demo")
            return false;
        o.pattern = value == "test" ? PatternKind::Test : PatternKind::Demo;
        return true;
    }
    return false;
}

}  // namespace

const char* const kMovieUsage =
    "usage: tvq-make OUT.tvq [--size WxH] [--fps N] [--rate HZ] [--channels 1|2]\n"
    "                [--bits 8|16] [--seconds N] [--codec jpeg|raw] [--quality 1-100]\n"
    "                [--pattern test|demo] [--short-last-second MS]\n"
    "defaults: --size 320x240 --fps 25 --rate 22050 --channels 2 --bits 16 --seconds 10\n"
    "          --codec jpeg --quality 85 --pattern test\n";

bool ParseMovieOptions(int argc, char** argv, MovieOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.starts_with("--")) {
            if (i + 1 >= argc) {
                error = "missing value for " + std::string(arg);
                return false;
            }
            if (!ApplyOption(arg, argv[i + 1], options)) {
                error = "bad option " + std::string(arg) + " " + argv[i + 1];
                return false;
            }
            ++i;
        } else if (options.output.empty()) {
            options.output = arg;
        } else {
            error = "more than one output file";
            return false;
        }
    }
    if (options.output.empty()) {
        error = "no output file";
        return false;
    }
    return true;
}

}  // namespace tvqmake
