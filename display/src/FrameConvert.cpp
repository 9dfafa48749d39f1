#include "display/FrameConvert.h"

#include "engine/PlaybackState.h"

#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TVQ_BGR_VECTOR_KERNEL 1
#endif

namespace frame_convert {
namespace {

constexpr uint32_t kOpaque = 0xFF000000u;
// Bytes one vector load reads, of which it uses the first 12 (four BGR pixels).
constexpr size_t kLoadBytes = 16;
constexpr int kPixelsPerLoad = 4;

inline uint32_t Bgr(const uint8_t* p) {
    return kOpaque | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

#ifdef TVQ_BGR_VECTOR_KERNEL
// The pixels from the row's start that it converted: a multiple of four, stopping where the
// next 16-byte load would reach past rowBytes.
__attribute__((target("ssse3"))) int BgrRowSsse3(const uint8_t* src, int width, size_t rowBytes,
                                                 bool mirror, uint32_t* dst) {
    // Byte i of the result takes byte mask[i] of the load; -1 gives 0, which the alpha or
    // fills.
    const __m128i inOrder = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i reversed = _mm_setr_epi8(9, 10, 11, -1, 6, 7, 8, -1, 3, 4, 5, -1, 0, 1, 2, -1);
    const __m128i mask = mirror ? reversed : inOrder;
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(kOpaque));
    int x = 0;
    for (; x + kPixelsPerLoad <= width && size_t(x) * 3 + kLoadBytes <= rowBytes;
         x += kPixelsPerLoad) {
        const __m128i bgr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x * 3));
        const __m128i rgb32 = _mm_or_si128(_mm_shuffle_epi8(bgr, mask), alpha);
        uint32_t* d = mirror ? dst + (width - kPixelsPerLoad - x) : dst + x;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), rgb32);
    }
    return x;
}
#endif

// Rows of a source by their index in memory. A row that straddles the two pieces is joined
// in a buffer of its own.
class RowReader {
public:
    explicit RowReader(const Source& s) : s_(s) {}
    const uint8_t* Row(int64_t memoryRow) {
        const size_t stride = static_cast<size_t>(s_.stride);
        const size_t start = static_cast<size_t>(memoryRow) * stride;
        if (start + stride <= s_.firstBytes)
            return s_.first + start;
        if (start >= s_.firstBytes)
            return s_.second + (start - s_.firstBytes);
        joined_.resize(stride);
        const size_t head = s_.firstBytes - start;
        std::memcpy(joined_.data(), s_.first + start, head);
        std::memcpy(joined_.data() + head, s_.second, stride - head);
        return joined_.data();
    }

private:
    const Source& s_;
    std::vector<uint8_t> joined_;
};

bool Usable(const Source& s, QSize size) {
    if (!s.first || s.width <= 0 || s.height <= 0 || size.width() <= 0 || size.height() <= 0)
        return false;
    if (s.bytesPerPixel != 3 && s.bytesPerPixel != 4)
        return false;
    if (s.stride < int64_t(s.width) * s.bytesPerPixel || (s.secondBytes > 0 && !s.second))
        return false;
    return s.firstBytes + s.secondBytes >= static_cast<size_t>(s.stride) * size_t(s.height);
}

// Source column or row under the centre of output column or row i of n, over a source of m.
inline int64_t Under(int64_t i, int64_t n, int64_t m) {
    return (2 * i + 1) * m / (2 * n);
}

void ConvertUnscaled(const Source& s, bool upDown, bool mirror, QImage& out) {
    RowReader rows(s);
    const int w = s.width, h = s.height;
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = rows.Row(upDown ? y : h - 1 - y);
        auto* dst = reinterpret_cast<uint32_t*>(out.scanLine(y));
        if (s.bytesPerPixel == 3) {
            BgrRowToRgb32(src, w, static_cast<size_t>(s.stride), mirror, dst);
            continue;
        }
        for (int x = 0; x < w; ++x) dst[mirror ? w - 1 - x : x] = kOpaque | Load32(src + 4 * x);
    }
}

void ConvertScaled(const Source& s, bool upDown, bool mirror, QImage& out) {
    const int w = s.width, h = s.height, ow = out.width(), oh = out.height();
    const int bytes = s.bytesPerPixel;
    // Byte offsets within a row of the column under each output column, in order and mirrored.
    std::vector<int32_t> columns(static_cast<size_t>(ow)), mirrored;
    for (int x = 0; x < ow; ++x) columns[size_t(x)] = int32_t(Under(x, ow, w) * bytes);
    if (mirror) {
        mirrored.resize(size_t(ow));
        for (int x = 0; x < ow; ++x)
            mirrored[size_t(x)] = int32_t((w - 1 - Under(x, ow, w)) * bytes);
    }
    RowReader rows(s);
    for (int y = 0; y < oh; ++y) {
        const int64_t top = Under(y, oh, h);  // row from the top
        const uint8_t* src = rows.Row(upDown ? top : h - 1 - top);
        const int32_t* cols = mirror ? mirrored.data() : columns.data();
        auto* dst = reinterpret_cast<uint32_t*>(out.scanLine(y));
        if (bytes == 4) {
            for (int x = 0; x < ow; ++x) dst[x] = kOpaque | Load32(src + cols[x]);
            continue;
        }
        // A 4-byte load of a 3-byte pixel reads one byte on, which only the row's last pixel
        // may not have.
        for (int x = 0; x < ow; ++x) {
            const int32_t at = cols[x];
            dst[x] =
                at + 4 <= s.stride ? kOpaque | (Load32(src + at) & 0x00FFFFFFu) : Bgr(src + at);
        }
    }
}

}  // namespace

bool HasVectorKernel() {
#ifdef TVQ_BGR_VECTOR_KERNEL
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
#else
    return false;
#endif
}

void BgrRowToRgb32Plain(const uint8_t* src, int width, bool mirror, uint32_t* dst) {
    if (mirror) {
        for (int x = 0; x < width; ++x) dst[width - 1 - x] = Bgr(src + 3 * x);
        return;
    }
    for (int x = 0; x < width; ++x) dst[x] = Bgr(src + 3 * x);
}

void BgrRowToRgb32(const uint8_t* src, int width, size_t rowBytes, bool mirror, uint32_t* dst) {
    int done = 0;
#ifdef TVQ_BGR_VECTOR_KERNEL
    if (HasVectorKernel())
        done = BgrRowSsse3(src, width, rowBytes, mirror, dst);
#else
    (void)rowBytes;
#endif
    for (int x = done; x < width; ++x) dst[mirror ? width - 1 - x : x] = Bgr(src + 3 * x);
}

bool TurnOfMode(int displayMode, Turn* turn) {
    switch (DisplayMode{displayMode}) {
        case DisplayMode::UpDown:
            *turn = Turn::kUpDown;
            return true;
        case DisplayMode::LeftRight:
            *turn = Turn::kLeftRight;
            return true;
        case DisplayMode::UpDownLeftRight:
            *turn = Turn::kUpDownLeftRight;
            return true;
        case DisplayMode::Rotate90:
        case DisplayMode::Rotate270:
            return false;
        default:
            // 0, and values out of range from a hand-edited settings file, show the frame
            // as it is.
            *turn = Turn::kNone;
            return true;
    }
}

void ToUprightRgb32(const Source& source, Turn turn, QSize size, QImage& out) {
    if (!Usable(source, size)) {
        out = QImage();
        return;
    }
    if (out.size() != size || out.format() != QImage::Format_RGB32)
        out = QImage(size, QImage::Format_RGB32);
    if (out.isNull())
        return;  // no memory for it: the paint shows black
    const bool upDown = turn == Turn::kUpDown || turn == Turn::kUpDownLeftRight;
    const bool mirror = turn == Turn::kLeftRight || turn == Turn::kUpDownLeftRight;
    if (size.width() == source.width && size.height() == source.height)
        ConvertUnscaled(source, upDown, mirror, out);
    else
        ConvertScaled(source, upDown, mirror, out);
}

}  // namespace frame_convert
