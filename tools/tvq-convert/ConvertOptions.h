#pragma once
// The command line of tvq-convert.
#include <string>
#include <vector>

namespace tvqconvert {

enum class CopyJpeg { Auto, Never };

struct ConvertOptions {
    std::string input;
    std::string output;
    // With -o DIR: every file named on the line, each converted to DIR/<its stem>.tvq.
    std::vector<std::string> inputs;
    std::string outputDir;
    std::string audioFile;  // empty: the input's own sound
    int width = 0;          // 0: from the source
    int height = 0;
    int framesPerSecond = 0;  // 0: the source's, rounded
    int maxSampleRate = 48000;
    int channels = 2;
    int bitsPerSample = 16;
    int quality = 85;
    double start = 0;  // seconds into the source
    double end = -1;   // negative: to the end of the source
    CopyJpeg copyJpeg = CopyJpeg::Auto;
    bool progress = false;
};

// Fills `options` from argv; on a bad command line returns false with the reason in `error`.
bool ParseConvertOptions(int argc, char** argv, ConvertOptions& options, std::string& error);

// Reads a time as seconds ("90", "12.5") or [h:]m:s ("1:30", "0:01:30.5"); false when malformed.
bool ParseTime(const std::string& text, double& seconds);

// Where a batch conversion writes `input`: the output folder and the input's stem plus ".tvq".
std::string BatchOutputPath(const std::string& outputDir, const std::string& input);

extern const char* const kConvertUsage;

}  // namespace tvqconvert
