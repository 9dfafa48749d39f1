#pragma once
// Drawing onto one padded bottom-up BGR frame in screen coordinates (y = 0 is the top row as
// seen), clipped to the frame.
#include <cstdint>
#include <string_view>

namespace tvqmake {

struct Colour {
    uint8_t r, g, b;
};

class Canvas {
public:
    Canvas(uint8_t* bottomUpBgr, int width, int height, int stride)
        : pixels_(bottomUpBgr), width_(width), height_(height), stride_(stride) {}

    int Width() const { return width_; }
    int Height() const { return height_; }
    uint8_t* Row(int y) { return pixels_ + static_cast<long>(height_ - 1 - y) * stride_; }

    void FillRect(int x, int y, int w, int h, Colour c);
    void FillCircle(int cx, int cy, int radius, Colour c);
    // Text in the built-in 5 x 7 font, each font pixel `scale` pixels wide; characters without
    // a glyph leave a gap. Returns the width drawn.
    int DrawText(int x, int y, int scale, std::string_view text, Colour c);
    static int TextWidth(int scale, std::string_view text);
    static int TextHeight(int scale);

private:
    uint8_t* pixels_;
    int width_, height_, stride_;
};

}  // namespace tvqmake
