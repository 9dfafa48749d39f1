#include "Thumbnail.h"

#include "codec/TvqFormat.h"
#include "codec/TvqReader.h"

#include <png.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <span>

namespace tvqthumb {
namespace {

// The picture is taken this far into the movie: past titles and fades, early enough to exist.
constexpr int kTenthsIn = 1;

struct TjHandle {
    tjhandle handle = tjInitDecompress();
    ~TjHandle() {
        if (handle)
            tjDestroy(handle);
    }
};

// Decodes at the smallest DCT scale whose longest side still covers `size`.
bool DecodeJpeg(std::span<const uint8_t> jpeg, int size, RgbImage& out) {
    TjHandle tj;
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (!tj.handle || tjDecompressHeader3(tj.handle, jpeg.data(), jpeg.size(), &width, &height,
                                          &subsampling, &colorspace) != 0)
        return false;
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    tjscalingfactor best{1, 1};
    int bestSide = std::max(width, height);
    for (int i = 0; factors && i < count; ++i) {
        const int side = TJSCALED(std::max(width, height), factors[i]);
        if (side >= size && side < bestSide) {
            bestSide = side;
            best = factors[i];
        }
    }
    out.width = TJSCALED(width, best);
    out.height = TJSCALED(height, best);
    out.rgb.resize(static_cast<size_t>(out.width) * out.height * 3);
    return tjDecompress2(tj.handle, jpeg.data(), jpeg.size(), out.rgb.data(), out.width, 0,
                         out.height, TJPF_RGB, TJFLAG_ACCURATEDCT) == 0;
}

// Stored raw frames are bottom-up BGR rows padded to the format's stride.
bool CopyRaw(std::span<const uint8_t> frame, const tvq::TvqStreamFormat& f, RgbImage& out) {
    if (frame.size() != f.FrameBytes())
        return false;
    out.width = f.width;
    out.height = f.height;
    out.rgb.resize(static_cast<size_t>(f.width) * f.height * 3);
    for (int y = 0; y < f.height; ++y) {
        const uint8_t* src = frame.data() + static_cast<size_t>(f.height - 1 - y) * f.Stride();
        uint8_t* dst = out.rgb.data() + static_cast<size_t>(y) * f.width * 3;
        for (int x = 0; x < f.width; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    return true;
}

// Area average: every source pixel counts once, so small markers keep their colour.
RgbImage FitInto(const RgbImage& in, int size) {
    const int longest = std::max(in.width, in.height);
    RgbImage out;
    out.width = std::max(1, static_cast<int>(static_cast<int64_t>(in.width) * size / longest));
    out.height = std::max(1, static_cast<int>(static_cast<int64_t>(in.height) * size / longest));
    out.rgb.resize(static_cast<size_t>(out.width) * out.height * 3);
    for (int y = 0; y < out.height; ++y) {
        const int y0 = y * in.height / out.height;
        const int y1 = std::max(y0 + 1, (y + 1) * in.height / out.height);
        for (int x = 0; x < out.width; ++x) {
            const int x0 = x * in.width / out.width;
            const int x1 = std::max(x0 + 1, (x + 1) * in.width / out.width);
            for (int c = 0; c < 3; ++c) {
                int64_t sum = 0;
                for (int sy = y0; sy < y1; ++sy)
                    for (int sx = x0; sx < x1; ++sx)
                        sum += in.rgb[(static_cast<size_t>(sy) * in.width + sx) * 3 + c];
                const int64_t n = static_cast<int64_t>(y1 - y0) * (x1 - x0);
                out.rgb[(static_cast<size_t>(y) * out.width + x) * 3 + c] =
                    static_cast<uint8_t>((sum + n / 2) / n);
            }
        }
    }
    return out;
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

bool EncodePng(const RgbImage& image, FILE* file) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y)
        png_write_row(png, image.rgb.data() + static_cast<size_t>(y) * image.width * 3);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool MakeThumbnail(const std::string& moviePath, int size, RgbImage& out, std::string& error) {
    tvq::TvqReader reader;
    if (!reader.Open(moviePath) || reader.SecondsCount() == 0) {
        error = moviePath + " is not a readable movie";
        return false;
    }
    const int second = reader.SecondsCount() * kTenthsIn / 10;
    tvq::TvqStoredSecond stored;
    if (!reader.ReadSecond(second, stored) || stored.frames.empty()) {
        error = "second " + std::to_string(second) + " of " + moviePath + " cannot be read";
        return false;
    }
    const tvq::TvqStreamFormat& f = reader.Format();
    RgbImage frame;
    const bool decoded = f.videoCodec == tvq::kCodecRaw ? CopyRaw(stored.frames[0], f, frame)
                                                        : DecodeJpeg(stored.frames[0], size, frame);
    if (!decoded) {
        error = "the picture at second " + std::to_string(second) + " is damaged";
        return false;
    }
    out = FitInto(frame, size);
    return true;
}

bool WritePng(const RgbImage& image, const std::string& path, std::string& error) {
    const std::string temporary = path + ".part-" + std::to_string(::getpid());
    bool ok = false;
    {
        std::unique_ptr<FILE, FileCloser> file(std::fopen(temporary.c_str(), "wb"));
        ok = file && EncodePng(image, file.get());
        ok = file && std::fclose(file.release()) == 0 && ok;
    }
    std::error_code ec;
    if (ok)
        std::filesystem::rename(temporary, path, ec);
    if (!ok || ec) {
        std::filesystem::remove(temporary, ec);
        error = "writing " + path + " failed";
        return false;
    }
    return true;
}

}  // namespace tvqthumb
