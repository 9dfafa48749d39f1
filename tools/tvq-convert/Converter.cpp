#include "Converter.h"

#include "AudioTrack.h"
#include "EncoderPool.h"
#include "MediaSource.h"
#include "Progress.h"
#include "VideoTrack.h"

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

// Takes the pictures of the second from `from` into `job`; true when the source or the snippet
// ends within it. `end` is negative when the snippet runs to the end of the source.
bool TakeSecond(VideoTrack& pictures, double from, double end, int fps, SecondJob& job) {
    for (int i = 0; i < fps; ++i) {
        const double t = from + static_cast<double>(i) / fps;
        Picture picture;
        if ((end >= 0 && t >= end - 1e-9) || !pictures.PictureAt(t, picture))
            return true;
        job.pictures.push_back(std::move(picture));
    }
    return false;
}

}  // namespace

void RequestStop() {
    g_stop = true;
}

bool StopRequested() {
    return g_stop;
}

int Converter::Run() {
    if (!OpenPictures())
        return 1;
    ChooseFormat();
    if (!OpenSound())
        return 1;
    const std::string temp = options_.output + ".part" + std::to_string(getpid());
    tvq::TvqWriter writer;
    if (!writer.Open(temp, format_)) {
        error_ = "Failed to create " + options_.output + " (" + std::strerror(errno) + ")";
        return 1;
    }
    Written written;
    const bool ok = WriteSeconds(writer, written);
    if (!PublishMovie(writer, temp, ok))
        return 1;
    Report(written);
    return 0;
}

bool Converter::OpenPictures() {
    const ConvertOptions& o = options_;
    const OpenResult opened = video_.Open(o.input, AVMEDIA_TYPE_VIDEO, error_);
    if (opened == OpenResult::Unreadable)
        error_ = "Can not open file " + o.input + "! (" + error_ + ")";
    if (opened != OpenResult::Opened)
        return false;
    duration_ = video_.Duration();
    const int wholeSeconds = static_cast<int>(std::ceil(duration_));
    if (duration_ > 0 && o.start >= duration_) {
        error_ = Format(
            "The start time of snippet is invalid, the total time of source video is %d seconds!",
            wholeSeconds);
        return false;
    }
    if (duration_ > 0 && o.end > wholeSeconds) {
        error_ = Format(
            "The end time of snippet is invalid, the total time of source video is %d seconds!",
            wholeSeconds);
        return false;
    }
    return true;
}

void Converter::ChooseFormat() {
    const ConvertOptions& o = options_;
    format_.videoCodec = tvq::kCodecJpeg;
    format_.jpegQuality = o.quality;
    format_.width = o.width;
    format_.height = o.height;
    rotation_ = UprightRotation(*video_.Stream());
    if (o.width == 0) {
        DefaultSize(*video_.Codec(), *video_.Stream(), format_.width, format_.height);
        if (rotation_ == 90 || rotation_ == 270)
            std::swap(format_.width, format_.height);
    }
    format_.framesPerSecond =
        o.framesPerSecond > 0 ? o.framesPerSecond : DefaultFramesPerSecond(*video_.Stream());
    // Pictures already coded as JPEG at the movie's size and rate go in as they are.
    const AVRational sourceRate = SourceRate(*video_.Stream());
    copyJpeg_ = o.copyJpeg == CopyJpeg::Auto && video_.Codec()->codec_id == AV_CODEC_ID_MJPEG &&
                video_.Codec()->width == format_.width &&
                video_.Codec()->height == format_.height && sourceRate.den > 0 &&
                sourceRate.num == format_.framesPerSecond * sourceRate.den;
}

bool Converter::OpenSound() {
    const ConvertOptions& o = options_;
    const bool ownSound = o.audioFile.empty();
    const std::string& soundPath = ownSound ? o.input : o.audioFile;
    std::string soundError;
    const OpenResult sound = sound_.Open(soundPath, AVMEDIA_TYPE_AUDIO, soundError);
    if (sound == OpenResult::Unreadable)
        soundError = "cannot read " + soundPath + ": " + soundError;
    haveSound_ = sound == OpenResult::Opened;
    // A source without sound gets silence; another file named for the sound must have some.
    if (!haveSound_ && (!ownSound || sound != OpenResult::NoStream)) {
        error_ = ownSound ? soundError : "The type of user audio file isn't right: " + soundError;
        return false;
    }
    format_.sampleRate =
        std::min(haveSound_ ? sound_.Codec()->sample_rate : kSilenceRate, o.maxSampleRate);
    format_.channels = o.channels;
    format_.bitsPerSample = o.bitsPerSample;
    if (!format_.IsValid()) {
        error_ = "the source's format cannot be stored (size " + std::to_string(format_.width) +
                 "x" + std::to_string(format_.height) + ")";
        return false;
    }
    return true;
}

bool Converter::WriteSeconds(tvq::TvqWriter& writer, Written& written) {
    const ConvertOptions& o = options_;
    // The sound of another file starts with the snippet; the file's own keeps its place.
    AudioTrack audio(haveSound_ ? &sound_ : nullptr, format_.sampleRate, format_.channels,
                     format_.bitsPerSample, o.audioFile.empty() ? o.start : 0);
    EncoderPool pool(format_, rotation_, kWorkers, kMaxSecondsAhead,
                     [&](const tvq::TvqEncodedSecond& second) {
                         errno = 0;
                         const bool ok = writer.WriteEncodedSecond(second);
                         if (!ok)
                             writeErrno_ = errno;
                         return ok;
                     });
    const double end = o.end >= 0 ? o.end : -1;
    Progress progress(o.progress || isatty(STDERR_FILENO), (end >= 0 ? end : duration_) - o.start);
    video_.SeekTo(o.start);
    VideoTrack pictures(video_, copyJpeg_);
    const int fps = format_.framesPerSecond;
    bool ok = true;
    for (int s = 0; ok && !g_stop; ++s) {
        SecondJob job;
        const bool finished = TakeSecond(pictures, o.start + s, end, fps, job);
        if (job.pictures.empty())
            break;
        // A short last second holds sound up to where the pictures end.
        long samples = format_.sampleRate;
        if (finished) {
            const double stop = end >= 0 && (pictures.EndTime() <= 0 || end < pictures.EndTime())
                                    ? end
                                    : pictures.EndTime();
            const double part = std::clamp(stop - o.start - s, 0.0, 1.0);
            samples = std::min<long>(format_.sampleRate, std::lround(part * format_.sampleRate));
            // The clock may have ended before the last picture's slot: keep a whole second then.
            if (static_cast<int>(job.pictures.size()) == fps && samples == 0)
                samples = format_.sampleRate;
            written.length = s + part;
        } else {
            written.length = s + 1;
        }
        audio.Read(samples, job.pcm);
        ok = pool.Submit(std::move(job));
        ++written.seconds;
        progress.Update(pool.SecondsWritten());
        if (finished)
            break;
    }
    ok = pool.Finish() && ok;
    progress.Update(written.seconds);
    progress.Done();
    written.elapsed = progress.Elapsed();
    picturesCopied_ = pictures.PicturesCopied();
    if (written.seconds == 0 && ok && !g_stop) {
        error_ = "no picture of " + o.input + " could be decoded";
        ok = false;
    }
    return ok;
}

// Closes the movie and gives it its name, or removes it when anything went wrong.
bool Converter::PublishMovie(tvq::TvqWriter& writer, const std::string& temp, bool written) {
    const std::string& output = options_.output;
    errno = 0;
    const bool closed = writer.Close();
    if (!closed && !writeErrno_)
        writeErrno_ = errno;
    if (!written || !closed || g_stop) {
        std::remove(temp.c_str());
        if (g_stop)
            error_ = "stopped; " + output + " not written";
        else if (error_.empty())
            error_ = "writing " + output + " failed" +
                     (writeErrno_ ? std::string(" (") + std::strerror(writeErrno_) + ")" : "");
        return false;
    }
    if (std::rename(temp.c_str(), output.c_str()) != 0) {
        error_ = "Failed to create " + output + " (" + std::strerror(errno) + ")";
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

void Converter::Report(const Written& written) const {
    const ConvertOptions& o = options_;
    const int damaged = video_.Errors() + (haveSound_ ? sound_.Errors() : 0);
    if (damaged > 0)
        std::fprintf(stderr, "tvq-convert: %d damaged packets of %s skipped\n", damaged,
                     o.input.c_str());
    std::printf(
        "tvq-convert: wrote %s: %d s (%.2f s) of %dx%d at %d fps, %d Hz, %d pictures "
        "copied, in %.1f s (%.1fx real time)\n",
        o.output.c_str(), written.seconds, written.length, format_.width, format_.height,
        format_.framesPerSecond, format_.sampleRate, picturesCopied_, written.elapsed,
        written.elapsed > 0 ? written.length / written.elapsed : 0.0);
}

}  // namespace tvqconvert
