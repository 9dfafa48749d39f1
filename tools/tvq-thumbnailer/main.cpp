// tvq-thumbnailer -s SIZE INPUT OUTPUT.png: a file manager's thumbnail of a .tvq movie.
#include "Thumbnail.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Larger thumbnails than this are no use to a file manager and cost a full decode.
constexpr int kMaxSize = 4096;

const char* const kUsage = "usage: tvq-thumbnailer -s SIZE INPUT OUTPUT.png\n";

bool ParseSize(std::string_view text, int& size) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), size);
    return ec == std::errc() && end == text.data() + text.size() && size >= 1 && size <= kMaxSize;
}

}  // namespace

int main(int argc, char** argv) {
    int size = 0;
    if (argc != 5 || std::strcmp(argv[1], "-s") != 0 || !ParseSize(argv[2], size)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    tvqthumb::RgbImage image;
    std::string error;
    if (!tvqthumb::MakeThumbnail(argv[3], size, image, error) ||
        !tvqthumb::WritePng(image, argv[4], error)) {
        std::fprintf(stderr, "tvq-thumbnailer: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
