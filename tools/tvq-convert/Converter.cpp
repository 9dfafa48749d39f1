#include "Converter.h"

#include "AudioTrack.h"
#include "EncoderPool.h"
#include "MediaSource.h"
#include "Progress.h"
#include "VideoTrack.h"
#include "codec/TvqWriter.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace tvqconvert {
namespace {

constexpr int kWorkers = 2;
// Seconds coded ahead of the writer: enough to keep both cores busy, bounded for 1080p.
constexpr int kMaxSecondsAhead = 4;
// The sample rate of the silence given to a source without sound.
constexpr int kSilenceRate = 22050;

std::atomic<bool> g_stop{false};

int EvenAtLeastTwo(double v) {
    return std::max(2, static_cast<int>(std::lround(v / 2)) * 2);
}

// The source's picture size as it is meant to be seen (non-square pixels widened), inside the
// format's limits with the aspect kept, in even numbers for 4:2:0.
void DefaultSize(const AVCodecContext& codec, const AVStream& stream, int& width, int& height) {
    double w = codec.width, h = codec.height;
    AVRational sar =
        stream.sample_aspect_ratio.num > 0 ? stream.sample_aspect_ratio : codec.sample_aspect_ratio;
    if (sar.num > 0 && sar.den > 0 && sar.num != sar.den)
        w = w * sar.num / sar.den;
    const double fit = std::min(1.0, tvq::kMaxPictureSide / std::max(w, h));
    width = std::min(EvenAtLeastTwo(w * fit), tvq::kMaxPictureSide);
    height = std::min(EvenAtLeastTwo(h * fit), tvq::kMaxPictureSide);
}

AVRational SourceRate(const AVStream& stream) {
    if (stream.avg_frame_rate.num > 0 && stream.avg_frame_rate.den > 0)
        return stream.avg_frame_rate;
    return stream.r_frame_rate;
}

int DefaultFramesPerSecond(const AVStream& stream) {
    const AVRational rate = SourceRate(stream);
    if (rate.num <= 0 || rate.den <= 0)
        return 25;
    return std::clamp(static_cast<int>(std::lround(av_q2d(rate))), 1, tvq::kMaxFramesPerSecond);
}

std::string Format(const char* pattern, int value) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

}  // namespace

void RequestStop() {
    g_stop = true;
}

bool StopRequested() {
    return g_stop;
}

int Converter::Run() {
    const ConvertOptions& o = options_;
    MediaSource video;
    const OpenResult opened = video.Open(o.input, AVMEDIA_TYPE_VIDEO, error_);
    if (opened == OpenResult::Unreadable)
        error_ = "Can not open file " + o.input + "! (" + error_ + ")";
    if (opened != OpenResult::Opened)
        return 1;
    const double duration = video.Duration();
    const int wholeSeconds = static_cast<int>(std::ceil(duration));
    if (duration > 0 && o.start >= duration) {
        error_ = Format(
            "The start time of snippet is invalid, the total time of source video is %d seconds!",
            wholeSeconds);
        return 1;
    }
    if (duration > 0 && o.end > wholeSeconds) {
        error_ = Format(
            "The end time of snippet is invalid, the total time of source video is %d seconds!",
            wholeSeconds);
        return 1;
    }

    tvq::TvqStreamFormat format;
    format.videoCodec = tvq::kCodecJpeg;
    format.jpegQuality = o.quality;
    format.width = o.width;
    format.height = o.height;
    const int rotation = UprightRotation(*video.Stream());
    if (o.width == 0) {
        DefaultSize(*video.Codec(), *video.Stream(), format.width, format.height);
        if (rotation == 90 || rotation == 270)
            std::swap(format.width, format.height);
    }
    format.framesPerSecond =
        o.framesPerSecond > 0 ? o.framesPerSecond : DefaultFramesPerSecond(*video.Stream());
    const AVRational sourceRate = SourceRate(*video.Stream());
    const bool copyJpeg =
        o.copyJpeg == CopyJpeg::Auto && video.Codec()->codec_id == AV_CODEC_ID_MJPEG &&
        video.Codec()->width == format.width && video.Codec()->height == format.height &&
        sourceRate.den > 0 && sourceRate.num == format.framesPerSecond * sourceRate.den;

    MediaSource audioSource;
    const bool ownSound = o.audioFile.empty();
    const std::string& soundPath = ownSound ? o.input : o.audioFile;
    std::string audioError;
    const OpenResult sound = audioSource.Open(soundPath, AVMEDIA_TYPE_AUDIO, audioError);
    if (sound == OpenResult::Unreadable)
        audioError = "cannot read " + soundPath + ": " + audioError;
    const bool haveSound = sound == OpenResult::Opened;
    if (!haveSound && (!ownSound || sound != OpenResult::NoStream)) {
        error_ = ownSound ? audioError : "The type of user audio file isn't right: " + audioError;
        return 1;
    }
    format.sampleRate =
        std::min(haveSound ? audioSource.Codec()->sample_rate : kSilenceRate, o.maxSampleRate);
    format.channels = o.channels;
    format.bitsPerSample = o.bitsPerSample;
    if (!format.IsValid()) {
        error_ = "the source's format cannot be stored (size " + std::to_string(format.width) +
                 "x" + std::to_string(format.height) + ")";
        return 1;
    }
    // The sound of another file starts with the snippet; the file's own keeps its place.
    AudioTrack audio(haveSound ? &audioSource : nullptr, format.sampleRate, format.channels,
                     format.bitsPerSample, ownSound ? o.start : 0);

    const std::string temp = o.output + ".part" + std::to_string(getpid());
    tvq::TvqWriter writer;
    if (!writer.Open(temp, format)) {
        error_ = "Failed to create " + o.output + " (" + std::strerror(errno) + ")";
        return 1;
    }
    int writeErrno = 0;
    EncoderPool pool(format, rotation, kWorkers, kMaxSecondsAhead,
                     [&](const tvq::TvqEncodedSecond& second) {
                         errno = 0;
                         const bool ok = writer.WriteEncodedSecond(second);
                         if (!ok)
                             writeErrno = errno;
                         return ok;
                     });

    const double end = o.end >= 0 ? o.end : -1;
    const double total = (end >= 0 ? end : duration) - o.start;
    Progress progress(o.progress || isatty(STDERR_FILENO), total);
    video.SeekTo(o.start);
    VideoTrack pictures(video, copyJpeg);
    const int fps = format.framesPerSecond;
    bool ok = true;
    int seconds = 0;
    double length = 0;
    for (int s = 0; ok && !g_stop; ++s) {
        SecondJob job;
        bool finished = false;
        for (int i = 0; i < fps; ++i) {
            const double t = o.start + s + static_cast<double>(i) / fps;
            Picture picture;
            if ((end >= 0 && t >= end - 1e-9) || !pictures.PictureAt(t, picture)) {
                finished = true;
                break;
            }
            job.pictures.push_back(std::move(picture));
        }
        if (job.pictures.empty())
            break;
        // A short last second holds sound up to where the pictures end.
        long samples = format.sampleRate;
        if (finished) {
            const double stop = end >= 0 && (pictures.EndTime() <= 0 || end < pictures.EndTime())
                                    ? end
                                    : pictures.EndTime();
            const double part = std::clamp(stop - o.start - s, 0.0, 1.0);
            samples = std::min<long>(format.sampleRate, std::lround(part * format.sampleRate));
            // The clock may have ended before the last picture's slot: keep a whole second then.
            if (static_cast<int>(job.pictures.size()) == fps && samples == 0)
                samples = format.sampleRate;
            length = s + part;
        } else {
            length = s + 1;
        }
        audio.Read(samples, job.pcm);
        ok = pool.Submit(std::move(job));
        ++seconds;
        progress.Update(pool.SecondsWritten());
        if (finished)
            break;
    }
    ok = pool.Finish() && ok;
    progress.Update(seconds);
    progress.Done();
    if (seconds == 0 && ok && !g_stop) {
        error_ = "no picture of " + o.input + " could be decoded";
        ok = false;
    }
    errno = 0;
    const bool closed = writer.Close();
    if (!closed && !writeErrno)
        writeErrno = errno;
    if (!ok || !closed || g_stop) {
        std::remove(temp.c_str());
        if (g_stop)
            error_ = "stopped; " + o.output + " not written";
        else if (error_.empty())
            error_ = "writing " + o.output + " failed" +
                     (writeErrno ? std::string(" (") + std::strerror(writeErrno) + ")" : "");
        return 1;
    }
    if (std::rename(temp.c_str(), o.output.c_str()) != 0) {
        error_ = "Failed to create " + o.output + " (" + std::strerror(errno) + ")";
        std::remove(temp.c_str());
        return 1;
    }
    const int damaged = video.Errors() + (haveSound ? audioSource.Errors() : 0);
    if (damaged > 0)
        std::fprintf(stderr, "tvq-convert: %d damaged packets of %s skipped\n", damaged,
                     o.input.c_str());
    std::printf(
        "tvq-convert: wrote %s: %d s (%.2f s) of %dx%d at %d fps, %d Hz, %d pictures "
        "copied, in %.1f s (%.1fx real time)\n",
        o.output.c_str(), seconds, length, format.width, format.height, fps, format.sampleRate,
        pictures.PicturesCopied(), progress.Elapsed(),
        progress.Elapsed() > 0 ? length / progress.Elapsed() : 0.0);
    return 0;
}

}  // namespace tvqconvert
