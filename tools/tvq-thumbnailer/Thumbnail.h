#pragma once
// One picture of a movie, about a tenth of the way in, made to fit a square of `size` pixels
// (its longest side is `size`), as top-down RGB.
#include <cstdint>
#include <string>
#include <vector>

namespace tvqthumb {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // width * 3 bytes per row, top row first
};

// False with a one-line reason in `error` when the movie or its picture cannot be read.
bool MakeThumbnail(const std::string& moviePath, int size, RgbImage& out, std::string& error);

// Writes `image` as PNG to `path` by way of a temporary file, so that a failure leaves nothing.
bool WritePng(const RgbImage& image, const std::string& path, std::string& error);

}  // namespace tvqthumb
