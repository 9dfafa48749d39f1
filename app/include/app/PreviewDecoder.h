#pragma once
// One movie opened a second time, apart from the one that plays, to make small pictures of any
// of its seconds: the component's TvqSeek goes straight to the second, TvqReadStored hands out
// its frames as stored, and the first of them is decoded at the smallest DCT scale that still
// covers the picture's place, then scaled once to fit it.
//
// Only movies whose component can seek and hand out stored frames give pictures: reaching a
// second by decoding every second before it would cost more than the preview is worth.
//
// Threads: not thread-safe; one thread opens it and asks for pictures (the preview's worker).
// It shares nothing with the playing engine, so it takes none of the playback side's locks.
#include <QImage>
#include <QSize>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codec/TvqComponentApi.h"
#include "engine/StoredFrameDecoder.h"

class CTvqDecoder;

class CPreviewDecoder {
public:
    // Opens `path` through the decoder component; a file the component refuses leaves the
    // decoder without pictures (every Picture call then returns a null image).
    explicit CPreviewDecoder(const std::string& path);
    ~CPreviewDecoder();
    CPreviewDecoder(const CPreviewDecoder&) = delete;
    CPreviewDecoder& operator=(const CPreviewDecoder&) = delete;

    // True when the file is open and the component can seek and hand out stored frames.
    bool HasPictures() const;
    int32_t LengthSeconds() const { return m_lengthSeconds; }
    QSize PictureSize() const { return m_pictureSize; }

    // The first frame of `second`, upright RGB32, scaled to fit inside `box` with the
    // picture's aspect. A null image for a second outside the movie, a second that cannot be
    // read, or a frame that does not decode.
    QImage Picture(int32_t second, QSize box);

    // The size a picture of `picture` takes inside `box`, aspect kept (at least 1 x 1).
    static QSize FitInto(QSize picture, QSize box);

private:
    bool ReadFirstFrame(int32_t second, StoredFrame& frame);
    QImage Decode(const StoredFrame& frame, QSize shown);

    std::unique_ptr<CTvqDecoder> m_decoder;
    QSize m_pictureSize;
    int32_t m_lengthSeconds = 0;
    // The component's stored-frame request and what it fills; the second's sound lands in
    // m_audio and is not used, the call has nowhere else to put it.
    std::vector<uint8_t> m_audio;
    std::vector<TvqStoredFrame> m_frames;
    int32_t m_audioCount = 0;
    int32_t m_frameCount = 0;
    uint32_t m_codec = 0;
    TvqStoredRequest m_request{};
    CStoredFrameDecoder m_jpeg;
};
