#include "engine/StoredFrameDecoder.h"

#include <turbojpeg.h>

#include <climits>
#include <cstring>

#include "codec/TvqComponentApi.h"
#include "platform/WinTypes.h"

namespace {

int PixelFormatOf(CStoredFrameDecoder::Layout layout) {
    return layout == CStoredFrameDecoder::Layout::Bgr24BottomUp ? TJPF_BGR : TJPF_BGRX;
}

int BytesPerPixel(CStoredFrameDecoder::Layout layout) {
    return layout == CStoredFrameDecoder::Layout::Bgr24BottomUp ? 3 : 4;
}

}  // namespace

CStoredFrameDecoder::~CStoredFrameDecoder() {
    if (decompressor_)
        tjDestroy(decompressor_);
}

CStoredFrameDecoder::Size CStoredFrameDecoder::ScaledSize(Size full, Size wanted) {
    if (wanted.width <= 0 || wanted.height <= 0 || full.width <= 0 || full.height <= 0)
        return full;
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    Size best = full;
    for (int n = 0; factors && n < count; ++n) {
        const Size scaled{TJSCALED(full.width, factors[n]), TJSCALED(full.height, factors[n])};
        // Only scales down: above the full size the paint scales up just as well.
        if (factors[n].num >= factors[n].denom)
            continue;
        if (scaled.width >= wanted.width && scaled.height >= wanted.height &&
            int64_t{scaled.width} * scaled.height < int64_t{best.width} * best.height)
            best = scaled;
    }
    return best;
}

bool CStoredFrameDecoder::Scales(const StoredFrame& frame) {
    return frame.codec == kTvqCodecJpeg;
}

bool CStoredFrameDecoder::Decode(const StoredFrame& frame, Size full, Size size, Layout layout,
                                 uint8_t* out, int64_t stride) {
    if (frame.IsEmpty() || !out || size.width <= 0 || size.height <= 0 ||
        stride < int64_t{size.width} * BytesPerPixel(layout) || stride > INT_MAX)
        return false;
    if (frame.codec == kTvqCodecJpeg)
        return DecodeJpeg(frame, full, size, layout, out, stride);
    if (frame.codec != kTvqCodecRaw || layout != Layout::Bgr24BottomUp || !(size == full))
        return false;
    // A stored RAW frame is already the picture, rows padded to the DIB stride.
    const int64_t rawStride = win::DibStride(full.width, 24);
    if (static_cast<int64_t>(frame.bytes->size()) != rawStride * full.height)
        return false;
    for (int row = 0; row < full.height; ++row)
        std::memcpy(out + row * stride, frame.bytes->data() + row * rawStride,
                    static_cast<size_t>(rawStride));
    return true;
}

bool CStoredFrameDecoder::DecodeJpeg(const StoredFrame& frame, Size full, Size size, Layout layout,
                                     uint8_t* out, int64_t stride) {
    if (frame.bytes->size() > ULONG_MAX)
        return false;
    if (!decompressor_)
        decompressor_ = tjInitDecompress();
    if (!decompressor_)
        return false;
    const auto* jpeg = frame.bytes->data();
    const auto bytes = static_cast<unsigned long>(frame.bytes->size());
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(decompressor_, jpeg, bytes, &width, &height, &subsampling,
                            &colorspace) != 0)
        return false;
    // A frame of other dimensions does not belong to this stream: shown, it would be cut or
    // written past the picture.
    if (width != full.width || height != full.height)
        return false;
    // The same speed flags as the component's own decoder, so both paths show the same
    // pixels; LIMITSCANS stops hostile progressive files that would take seconds.
    int flags = TJFLAG_LIMITSCANS | TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE;
    if (layout != Layout::Bgrx32TopDown)
        flags |= TJFLAG_BOTTOMUP;
    // Asked for the exact scaled size, libjpeg-turbo picks that scale.
    if (tjDecompress2(decompressor_, jpeg, bytes, out, size.width, static_cast<int>(stride),
                      size.height, PixelFormatOf(layout), flags) != 0) {
        // A warning (data cut short, say) still fills the whole picture; an error does not.
        return tjGetErrorCode(decompressor_) == TJERR_WARNING;
    }
    return true;
}
