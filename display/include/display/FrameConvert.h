#pragma once
// Bottom-up 24- or 32-bit frames to the upright RGB32 image the video window paints, with the
// flips and mirrors of display modes 1 to 3 done in the same pass, from a frame that may lie in
// two pieces (a frame record that wraps at the end of the engine's video queue).
//
// The unscaled 24-bit rows go through an SSSE3 kernel (four pixels per shuffle) when the
// processor has it, otherwise through the plain loop; both read only the bytes of the row's
// own stride, so a row may end any buffer.
#include <QImage>
#include <QSize>
#include <cstddef>
#include <cstdint>

namespace frame_convert {

// One frame of `height` rows of `stride` bytes, bottom row first in memory, held as
// `first` followed by `second` (second may be empty). The two together hold stride × height
// bytes.
struct Source {
    const uint8_t* first = nullptr;
    size_t firstBytes = 0;
    const uint8_t* second = nullptr;
    size_t secondBytes = 0;
    int width = 0;
    int height = 0;
    int bytesPerPixel = 3;  // 3 or 4
    int64_t stride = 0;
};

// The turn done on the way, as display modes 1 to 3 do it in place on the bottom-up frame:
// rows exchanged top for bottom, pixels mirrored within each row, or both (the half turn).
enum class Turn { kNone, kUpDown, kLeftRight, kUpDownLeftRight };

// The turn of a display mode, or false for a mode this pass does not do (the quarter turns).
bool TurnOfMode(int displayMode, Turn* turn);

// The frame, turned, upright in RGB32 at `size`: each output pixel takes the source pixel
// under its centre, which at the frame's own size is every pixel once. `out` is reallocated
// only when its size or format differs; it is null afterwards for an unusable source or size.
void ToUprightRgb32(const Source& source, Turn turn, QSize size, QImage& out);

// One row of `width` BGR pixels (3 bytes each, `rowBytes` of them readable from src) to RGB32,
// in order or mirrored. The kernel chosen at run time and the plain loop; both give the same.
void BgrRowToRgb32(const uint8_t* src, int width, size_t rowBytes, bool mirror, uint32_t* dst);
void BgrRowToRgb32Plain(const uint8_t* src, int width, bool mirror, uint32_t* dst);
// True when BgrRowToRgb32 runs the SSSE3 kernel on this machine.
bool HasVectorKernel();

}  // namespace frame_convert
