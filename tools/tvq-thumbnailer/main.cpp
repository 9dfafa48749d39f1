// tvq-thumbnailer -s SIZE INPUT OUTPUT.png: a file manager's thumbnail of a .tvq movie.
#include "Thumbnail.h"

#include <cstdio>
#include <string>
#include <vector>

#include "options/OptionParser.h"

namespace {

// Larger thumbnails than this are no use to a file manager and cost a full decode.
constexpr int kMaxSize = 4096;

const char* const kUsage = "usage: tvq-thumbnailer -s SIZE INPUT OUTPUT.png\n";

// Fills `size`, `input` and `output` from argv; false on a bad command line.
bool ParseCommandLine(int argc, char** argv, int& size, std::string& input, std::string& output) {
    tvqtools::OptionParser parser;
    parser.AddValue("-s", tvqtools::Int(1, kMaxSize, size));
    std::vector<std::string> files;
    std::string error;
    if (!parser.Parse(argc, argv, files, error) || size == 0 || files.size() != 2)
        return false;
    input = files[0];
    output = files[1];
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int size = 0;
    std::string input, output;
    if (!ParseCommandLine(argc, argv, size, input, output)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    tvqthumb::RgbImage image;
    std::string error;
    if (!tvqthumb::MakeThumbnail(input, size, image, error) ||
        !tvqthumb::WritePng(image, output, error)) {
        std::fprintf(stderr, "tvq-thumbnailer: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
