#include "ConvertOptions.h"

#include "codec/TvqFormat.h"
#include "options/OptionParser.h"

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

using tvqtools::Int;
using tvqtools::ParseInt;

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
    return tvqtools::ParseSize(text, tvq::kMaxPictureSide, o.width, o.height);
}

bool ParseSeconds(std::string_view text, double& out) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value < 0)
        return false;
    out = value;
    return true;
}

void AddOptions(tvqtools::OptionParser& parser, ConvertOptions& o) {
    parser.AddValue("--size", [&o](std::string_view v) { return ParseSize(v, o); });
    parser.AddValue("--fps", Int(1, tvq::kMaxFramesPerSecond, o.framesPerSecond));
    parser.AddValue("--rate", Int(1, tvq::kMaxSampleRate, o.maxSampleRate));
    parser.AddValue("--channels", Int(1, 2, o.channels));
    parser.AddValue("--bits", [&o](std::string_view v) {
        return ParseInt(v, 8, 16, o.bitsPerSample) &&
               (o.bitsPerSample == 8 || o.bitsPerSample == 16);
    });
    parser.AddValue("--quality", Int(1, 100, o.quality));
    parser.AddValue("--start",
                    [&o](std::string_view v) { return ParseTime(std::string(v), o.start); });
    parser.AddValue("--end", [&o](std::string_view v) { return ParseTime(std::string(v), o.end); });
    parser.AddValue("--audio", [&o](std::string_view v) {
        o.audioFile = v;
        return !v.empty();
    });
    parser.AddValue("--copy-jpeg",
                    tvqtools::Choice("auto", CopyJpeg::Auto, "never", CopyJpeg::Never, o.copyJpeg));
    parser.AddValue(
        "-o",
        [&o](std::string_view v) {
            o.outputDir = v;
            return !v.empty();
        },
        "folder");
    parser.AddFlag("--progress", [&o] { o.progress = true; });
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
    tvqtools::OptionParser parser;
    AddOptions(parser, options);
    if (!parser.Parse(argc, argv, options.inputs, error))
        return false;
    const size_t positional = options.inputs.size();
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
