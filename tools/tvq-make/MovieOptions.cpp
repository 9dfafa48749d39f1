#include "MovieOptions.h"

#include <string_view>
#include <utility>
#include <vector>

#include "options/OptionParser.h"

namespace tvqmake {
namespace {

// Longest movie: the packed length holds at most 32767 hours, far beyond any test's need.
constexpr int kMaxSeconds = 24 * 3600;

using tvqtools::Choice;
using tvqtools::Int;
using tvqtools::ParseInt;

void AddOptions(tvqtools::OptionParser& parser, MovieOptions& o) {
    tvq::TvqStreamFormat& f = o.format;
    parser.AddValue("--size", [&f](std::string_view v) {
        return tvqtools::ParseSize(v, tvq::kMaxPictureSide, f.width, f.height);
    });
    parser.AddValue("--fps", Int(1, tvq::kMaxFramesPerSecond, f.framesPerSecond));
    parser.AddValue("--rate", Int(1, tvq::kMaxSampleRate, f.sampleRate));
    parser.AddValue("--channels", Int(1, 2, f.channels));
    parser.AddValue("--bits", [&f](std::string_view v) {
        return ParseInt(v, 8, 16, f.bitsPerSample) &&
               (f.bitsPerSample == 8 || f.bitsPerSample == 16);
    });
    parser.AddValue("--seconds", Int(1, kMaxSeconds, o.seconds));
    parser.AddValue("--quality", Int(1, 100, f.jpegQuality));
    parser.AddValue("--short-last-second", Int(1, 999, o.shortLastSecondMs));
    parser.AddValue("--codec",
                    Choice<uint32_t>("jpeg", tvq::kCodecJpeg, "raw", tvq::kCodecRaw, f.videoCodec));
    parser.AddValue("--pattern", [&o](std::string_view v) {
        constexpr std::pair<std::string_view, PatternKind> kPatterns[] = {
            {"test", PatternKind::Test}, {"demo", PatternKind::Demo}, {"sync", PatternKind::Sync}};
        for (const auto& [name, kind] : kPatterns) {
            if (v == name) {
                o.pattern = kind;
                return true;
            }
        }
        return false;
    });
}

}  // namespace

const char* const kMovieUsage =
    "usage: tvq-make OUT.tvq [--size WxH] [--fps N] [--rate HZ] [--channels 1|2]\n"
    "                [--bits 8|16] [--seconds N] [--codec jpeg|raw] [--quality 1-100]\n"
    "                [--pattern test|demo|sync] [--short-last-second MS]\n"
    "defaults: --size 320x240 --fps 25 --rate 22050 --channels 2 --bits 16 --seconds 10\n"
    "          --codec jpeg --quality 85 --pattern test\n";

bool ParseMovieOptions(int argc, char** argv, MovieOptions& options, std::string& error) {
    tvqtools::OptionParser parser;
    AddOptions(parser, options);
    std::vector<std::string> files;
    if (!parser.Parse(argc, argv, files, error))
        return false;
    if (files.empty()) {
        error = "no output file";
        return false;
    }
    if (files.size() > 1) {
        error = "more than one output file";
        return false;
    }
    options.output = files[0];
    return true;
}

}  // namespace tvqmake
