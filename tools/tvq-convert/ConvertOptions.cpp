#include "ConvertOptions.h"

#include "codec/TvqFormat.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <string_view>

namespace tvqconvert {
namespace {

struct SizePreset {
    std::string_view name;
    int width, height;
};

constexpr SizePreset kSizePresets[] = {
    {"qvga", 320, 240}, {"vga", 640, 480}, {"720p", 1280, 720}, {"1080p", 1920, 1080}};

bool ParseInt(std::string_view text, int low, int high, int& out) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return false;
    out = value;
    return true;
}

bool ParseSize(std::string_view text, ConvertOptions& o) {
    for (const SizePreset& p : kSizePresets) {
        if (text == p.name) {
            o.width = p.width;
            o.height = p.height;
            return true;
        }
    }
    if (text == "source") {
        o.width = o.height = 0;
        return true;
    }
    const size_t x = text.find('x');
    return x != std::string_view::npos &&
           ParseInt(text.substr(0, x), 1, tvq::kMaxPictureSide, o.width) &&
           ParseInt(text.substr(x + 1), 1, tvq::kMaxPictureSide, o.height);
}

bool ParseSeconds(std::string_view text, double& out) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value < 0)
        return false;
    out = value;
    return true;
}

bool ApplyOption(std::string_view name, std::string_view value, ConvertOptions& o) {
    if (name == "--size")
        return ParseSize(value, o);
    if (name == "--fps")
        return ParseInt(value, 1, tvq::kMaxFramesPerSecond, o.framesPerSecond);
    if (name == "--rate")
        return ParseInt(value, 1, tvq::kMaxSampleRate, o.maxSampleRate);
    if (name == "--channels")
        return ParseInt(value, 1, 2, o.channels);
    if (name == "--bits")
        return ParseInt(value, 8, 16, o.bitsPerSample) &&
               (o.bitsPerSample == 8 || o.bitsPerSample == 16);
    if (name == "--quality")
        return ParseInt(value, 1, 100, o.quality);
    if (name == "--start")
        return ParseTime(std::string(value), o.start);
    if (name == "--end")
        return ParseTime(std::string(value), o.end);
    if (name == "--audio") {
        o.audioFile = value;
        return !value.empty();
    }
    if (name == "--copy-jpeg") {
        if (value != "auto" && value != "never")
            return false;
        o.copyJpeg = value == "auto" ? CopyJpeg::Auto : CopyJpeg::Never;
        return true;
    }
    return false;
}

}  // namespace

bool ParseTime(const std::string& text, double& seconds) {
    std::string_view rest = text;
    double total = 0;
    int fields = 0;
    for (;;) {
        const size_t colon = rest.find(':');
        if (colon == std::string_view::npos)
            break;
        int part = 0;
        // Hours and minutes are whole; minutes and seconds after a colon stay below 60.
        if (++fields > 2 || !ParseInt(rest.substr(0, colon), 0, fields == 1 ? 1000000 : 59, part))
            return false;
        total = total * 60 + part;
        rest = rest.substr(colon + 1);
    }
    double last = 0;
    if (!ParseSeconds(rest, last) || (fields > 0 && last >= 60))
        return false;
    seconds = total * 60 + last;
    return true;
}

std::string BatchOutputPath(const std::string& outputDir, const std::string& input) {
    const std::filesystem::path stem = std::filesystem::path(input).stem();
    return (std::filesystem::path(outputDir) / stem).string() + ".tvq";
}

const char* const kConvertUsage =
    "usage: tvq-convert IN OUT.tvq [options]\n"
    "       tvq-convert -o DIR IN... [options]   (each IN to DIR/NAME.tvq; the exit status is\n"
    "                        the number of inputs that failed)\n"
    "  --size WxH|qvga|vga|720p|1080p|source\n"
    "                        Select screen width and height (default: the source's)\n"
    "  --fps N               Frames per second, 1-120 (default: the source's, rounded)\n"
    "  --rate HZ             audio max resample rate (default 48000)\n"
    "  --channels 1|2        audio channels (default 2)\n"
    "  --bits 8|16           bits per audio sample (default 16)\n"
    "  --quality 1-100       JPEG quality of re-coded pictures (default 85)\n"
    "  --start T, --end T    Cut source video snippet: Start time, End time\n"
    "                        (seconds or [h:]m:s)\n"
    "  --audio FILE          Substitute new audio for old audio: The new audio file for\n"
    "                        substituting old\n"
    "  --copy-jpeg auto|never  keep MJPEG pictures that need no change as they are\n"
    "                        (default auto)\n"
    "  --progress            show progress even when stderr is not a terminal\n";

bool ParseConvertOptions(int argc, char** argv, ConvertOptions& options, std::string& error) {
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--progress") {
            options.progress = true;
        } else if (arg == "-o") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                error = "missing folder for -o";
                return false;
            }
            options.outputDir = argv[++i];
        } else if (arg.starts_with("--")) {
            if (i + 1 >= argc) {
                error = "missing value for " + std::string(arg);
                return false;
            }
            if (!ApplyOption(arg, argv[i + 1], options)) {
                error = "bad option " + std::string(arg) + " " + argv[i + 1];
                return false;
            }
            ++i;
        } else {
            options.inputs.emplace_back(arg);
            ++positional;
        }
    }
    if (!options.outputDir.empty()) {
        if (positional == 0) {
            error = "no input file";
            return false;
        }
    } else if (positional != 2) {
        error = positional == 0   ? "no input file"
                : positional == 1 ? "no output file"
                                  : "more than one output file";
        return false;
    } else {
        options.input = options.inputs[0];
        options.output = options.inputs[1];
        options.inputs.clear();
    }
    if (options.end >= 0 && options.end <= options.start) {
        error = "the end time must come after the start time";
        return false;
    }
    return true;
}

}  // namespace tvqconvert
