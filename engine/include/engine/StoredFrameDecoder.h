#pragma once
// Decodes one stored frame where the picture is made: into the view's bottom-up BGR frame, or,
// for a window that paints RGB32, straight into its 32-bit image at the size it is drawn, using
// libjpeg-turbo's DCT scaling (1/2, 1/4, 1/8, ...) so that a picture drawn small is never
// decoded whole first. Not thread-safe: one decoder per thread that decodes.
#include <cstdint>

#include "engine/StoredFrame.h"

class CStoredFrameDecoder {
public:
    enum class Layout {
        Bgr24BottomUp,   // the stream's own picture layout
        Bgrx32BottomUp,  // 32-bit, rows bottom-up (for a further turn or scale)
        Bgrx32TopDown,   // the upright RGB32 image a window paints
    };
    struct Size {
        int width = 0;
        int height = 0;
        bool operator==(const Size&) const = default;
    };

    CStoredFrameDecoder() = default;
    ~CStoredFrameDecoder();
    CStoredFrameDecoder(const CStoredFrameDecoder&) = delete;
    CStoredFrameDecoder& operator=(const CStoredFrameDecoder&) = delete;

    // The smallest picture libjpeg-turbo's scaling makes of `full` that still covers `wanted`
    // in both directions; `full` itself when only it does (or `wanted` is empty).
    static Size ScaledSize(Size full, Size wanted);
    // True when the frame decodes at ScaledSize sizes and into every layout (a JPEG); a RAW
    // frame decodes only whole into Bgr24BottomUp.
    static bool Scales(const StoredFrame& frame);

    // Decodes `frame` of a `full`-sized stream into `out` (rows `stride` bytes apart) at
    // `size`, which must be `full` or one of its ScaledSize results. JPEG decodes in every
    // layout; RAW only into Bgr24BottomUp at the full size. False for a frame that does not
    // decode to `full` (damaged, other dimensions, other codec): `out` is then unspecified.
    bool Decode(const StoredFrame& frame, Size full, Size size, Layout layout, uint8_t* out,
                int64_t stride);

private:
    bool DecodeJpeg(const StoredFrame& frame, Size full, Size size, Layout layout, uint8_t* out,
                    int64_t stride);
    void* decompressor_ = nullptr;  // tjhandle, made on first use
};
