#include "app/PreviewDecoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/TvqDecoder.h"

namespace {

// The request's buffers are sized as the engine sizes its own: the component may write up to
// four seconds of sound and two seconds of frames in one call.
constexpr int64_t kAudioSecondsPerCall = 4;
constexpr int kFramesSecondsPerCall = 2;

}  // namespace

CPreviewDecoder::CPreviewDecoder(const std::string& path) {
    TvqOpenBlock block{};
    std::strncpy(block.path, path.c_str(), sizeof block.path - 1);
    m_decoder = std::make_unique<CTvqDecoder>(block);
    if (!HasPictures())
        return;
    const win::BITMAPINFOHEADER& picture = m_decoder->GetPictureFormat();
    m_pictureSize = QSize(picture.biWidth, std::abs(picture.biHeight));
    m_lengthSeconds = m_decoder->GetLengthSeconds();
    const int fps = std::max(1, m_decoder->GetFramesPerSecond());
    m_audio.resize(
        static_cast<size_t>(kAudioSecondsPerCall * m_decoder->GetAudioFormat().nAvgBytesPerSec));
    m_frames.resize(static_cast<size_t>(kFramesSecondsPerCall) * static_cast<size_t>(fps));
    m_request.audioBuffer = reinterpret_cast<uintptr_t>(m_audio.data());
    m_request.audioCount = reinterpret_cast<uintptr_t>(&m_audioCount);
    m_request.frames = reinterpret_cast<uintptr_t>(m_frames.data());
    m_request.frameCount = reinterpret_cast<uintptr_t>(&m_frameCount);
    m_request.codec = reinterpret_cast<uintptr_t>(&m_codec);
}

CPreviewDecoder::~CPreviewDecoder() = default;

bool CPreviewDecoder::HasPictures() const {
    return m_decoder && m_decoder->HasSeek() && m_decoder->HasStoredFrames();
}

QSize CPreviewDecoder::FitInto(QSize picture, QSize box) {
    if (picture.isEmpty() || box.isEmpty())
        return QSize(1, 1);
    return picture.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QImage CPreviewDecoder::Picture(int32_t second, QSize box) {
    if (!HasPictures() || second < 0 || second >= m_lengthSeconds || m_pictureSize.isEmpty())
        return {};
    StoredFrame frame;
    if (!ReadFirstFrame(second, frame))
        return {};
    return Decode(frame, FitInto(m_pictureSize, box));
}

bool CPreviewDecoder::ReadFirstFrame(int32_t second, StoredFrame& frame) {
    if (m_decoder->Seek(second) != 1)
        return false;
    m_frameCount = 0;
    const int result = m_decoder->ReadStored(&m_request);
    if ((result != 1 && result != kTvqEndOfFile) || m_frameCount <= 0 ||
        m_frameCount > static_cast<int32_t>(m_frames.size()))
        return false;
    const TvqStoredFrame& first = m_frames[0];
    if (!first.data || first.size == 0)
        return false;
    // The component's bytes last only until its next call on this handle.
    frame.second = second;
    frame.index = 0;
    frame.codec = m_codec;
    frame.bytes = std::make_shared<const std::vector<uint8_t>>(first.data, first.data + first.size);
    return true;
}

QImage CPreviewDecoder::Decode(const StoredFrame& frame, QSize shown) {
    const CStoredFrameDecoder::Size full{m_pictureSize.width(), m_pictureSize.height()};
    QImage picture;
    if (frame.codec == kTvqCodecJpeg) {
        const CStoredFrameDecoder::Size size =
            CStoredFrameDecoder::ScaledSize(full, {shown.width(), shown.height()});
        picture = QImage(size.width, size.height, QImage::Format_RGB32);
        if (picture.isNull() ||
            !m_jpeg.Decode(frame, full, size, CStoredFrameDecoder::Layout::Bgrx32TopDown,
                           picture.bits(), picture.bytesPerLine()))
            return {};
    } else {
        // Raw pictures come only whole and bottom-up.
        QImage bottomUp(full.width, full.height, QImage::Format_BGR888);
        if (bottomUp.isNull() ||
            !m_jpeg.Decode(frame, full, full, CStoredFrameDecoder::Layout::Bgr24BottomUp,
                           bottomUp.bits(), bottomUp.bytesPerLine()))
            return {};
        picture = bottomUp.mirrored(false, true).convertToFormat(QImage::Format_RGB32);
    }
    if (picture.size() == shown)
        return picture;
    return picture.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}
