#include "codec/JpegCodec.h"

#include <turbojpeg.h>

#include <climits>

namespace tvq {

JpegCodec::~JpegCodec() {
    if (compressor_)
        tjDestroy(compressor_);
    if (decompressor_)
        tjDestroy(decompressor_);
}

bool JpegCodec::Encode(const uint8_t* bottomUpBgr, int width, int height, int stride, int quality,
                       std::vector<uint8_t>& out) {
    if (!bottomUpBgr || width <= 0 || height <= 0 || stride < width * 3 || quality < 1 ||
        quality > 100)
        return false;
    if (!compressor_)
        compressor_ = tjInitCompress();
    if (!compressor_)
        return false;
    // A worst-case buffer kept between calls, so libjpeg-turbo never reallocates and the
    // pages are not faulted in and zeroed again for every frame.
    const unsigned long worst = tjBufSize(width, height, TJSAMP_420);
    if (encodeBuffer_.size() < worst)
        encodeBuffer_.resize(worst);
    unsigned char* buffer = encodeBuffer_.data();
    unsigned long size = encodeBuffer_.size();
    out.clear();
    if (tjCompress2(compressor_, bottomUpBgr, width, stride, height, TJPF_BGR, &buffer, &size,
                    TJSAMP_420, quality, TJFLAG_BOTTOMUP | TJFLAG_NOREALLOC) != 0)
        return false;
    out.assign(encodeBuffer_.data(), encodeBuffer_.data() + size);
    return true;
}

bool JpegCodec::Decode(const uint8_t* jpeg, size_t size, uint8_t* bottomUpBgr, int width,
                       int height, int stride) {
    if (!jpeg || size == 0 || size > ULONG_MAX || !bottomUpBgr || stride < width * 3)
        return false;
    if (!decompressor_)
        decompressor_ = tjInitDecompress();
    if (!decompressor_)
        return false;
    int jpegWidth = 0, jpegHeight = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(decompressor_, jpeg, static_cast<unsigned long>(size), &jpegWidth,
                            &jpegHeight, &subsampling, &colorspace) != 0)
        return false;
    if (jpegWidth != width || jpegHeight != height)
        return false;
    // LIMITSCANS stops hostile progressive files that would take seconds to decode. The fast
    // inverse DCT and the plain chroma upsampling (which lets libjpeg-turbo colour-convert and
    // upsample in one merged pass) save about a tenth of the decode of a 720p frame; what they
    // change stays far below what the encoder's own quantisation changes (checked by a PSNR
    // test against the source picture).
    const int flags = TJFLAG_BOTTOMUP | TJFLAG_LIMITSCANS | TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE;
    if (tjDecompress2(decompressor_, jpeg, static_cast<unsigned long>(size), bottomUpBgr, width,
                      stride, height, TJPF_BGR, flags) != 0) {
        // A warning (e.g. data cut short) still fills the whole picture; an error does not.
        return tjGetErrorCode(decompressor_) == TJERR_WARNING;
    }
    return true;
}

}  // namespace tvq
