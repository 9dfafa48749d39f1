#pragma once
// One stream of a media file, demuxed and decoded by FFmpeg: either decoded frames or, for
// pictures that can be stored as they are, the undecoded packets. Times are in seconds from
// an origin, normally where the file's pictures begin, so that its sound and pictures share
// one clock.
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace tvqconvert {

enum class OpenResult { Opened, Unreadable, NoStream, Unusable };

class MediaSource {
public:
    MediaSource() = default;
    ~MediaSource();
    MediaSource(const MediaSource&) = delete;
    MediaSource& operator=(const MediaSource&) = delete;

    // Opens `path` and its main stream of `type`. Otherwise a one-line reason in `error`: for
    // Unreadable, only FFmpeg's words, so the caller can say which file it could not open.
    OpenResult Open(const std::string& path, AVMediaType type, std::string& error);

    // Moves to a key frame at or before `seconds`; the caller drops what comes before.
    void SeekTo(double seconds);

    // The next packet of the stream (caller unrefs it); false at the end.
    bool NextPacket(AVPacket* packet);
    // Decodes one packet into `frame` when it gives a picture/sound at once (intra codecs).
    bool DecodePacket(const AVPacket* packet, AVFrame* frame);
    // The next decoded frame; false at the end of the stream.
    bool NextFrame(AVFrame* frame);

    const AVStream* Stream() const { return stream_; }
    const AVCodecContext* Codec() const { return codec_; }
    // The stream's (or else the file's) length in seconds from the file's start; 0 if unknown.
    double Duration() const;
    // A timestamp in the stream's time base as seconds from the origin.
    double Seconds(int64_t timestamp) const;
    // Where this stream starts, in seconds of the file's own timestamps.
    double StreamStart() const;
    // Makes `fileSeconds` (the file's own timestamps) time 0. The movie starts with the first
    // picture, and a file's sound keeps its place against it (codec delays make them differ).
    void SetOrigin(double fileSeconds) { origin_ = fileSeconds; }
    // Packets or frames the decoder refused; corrupt data shows here.
    int Errors() const { return errors_; }

private:
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVStream* stream_ = nullptr;
    AVPacket* packet_ = nullptr;
    int streamIndex_ = -1;
    bool flushed_ = false;
    int errors_ = 0;
    double origin_ = 0;
};

}  // namespace tvqconvert
