// The speed modes (forward and backward play at factors 1 to 8) and the re-alignment of audio
// and video. Both work in whole decoded seconds, like the rest of the engine.
//
// Each of them restarts the audio output, which pulls audio under the data lock while the
// decode lock is held. So they take the data lock first themselves: every path then nests
// data -> decode -> decoder mutex, the same order as EnsureFrame, and no two threads can ever
// wait for each other's lock, whatever the callers' engine lock does.
#include <algorithm>
#include <cmath>
#include <mutex>

#include "engine/FrameRecord.h"
#include "engine/PlaybackEngine.h"
#include "engine/TvqDecoder.h"

namespace {

// No re-alignment this close to the end: the queues there run down by design.
constexpr int32_t kNoResyncTailSeconds = 10;
// Calibration watches the smallest lead for this long after its first call.
constexpr uint32_t kCalibrationMs = 1000;
// Video may lead audio by at most this many seconds before the queues are cut back.
constexpr float kMaxLeadSeconds = 1.0f;
// The calibrated threshold sits this far below the smallest lead seen.
constexpr float kThresholdMarginSeconds = 0.1f;
constexpr float kSmallLeadSeconds = 1.0f;

}  // namespace

int CPlaybackEngine::FillQueuesBackward() {
    // Second by second, each under its own hold of the decode lock: a mode change or a frame
    // fetch waits for one second's decode at most, never for the whole fill.
    for (;;) {
        const int result = BackwardPass();
        if (result != kPassAgain)
            return result;
        if (LetWaitersIn())
            return 1;
    }
}

int CPlaybackEngine::BackwardPass() {
    win::ScopedLock decode(decodeLock_);
    // Left between two seconds: the fill of the new mode takes over at the next step.
    if (mode_ != SpeedMode::Backward)
        return 1;
    if (!HasDecodeBuffers())
        return 0;
    // Numbered down through second 0, or nothing more to decode: what is queued still plays.
    // The picture takes the last records once the display has run past the start, and the
    // emptied queue then ends the decode thread, which ends the file.
    if (baseSecond_ < decodedSeconds_ || atEnd_)
        return DrainedResult(true);
    if (QueuedVideo() > videoHighWater_)
        return 1;
    const int32_t label = baseSecond_ - decodedSeconds_;
    // A decoder that can reposition delivers the very second the label names, so the
    // picture really runs backward; otherwise it goes on forward and only the numbering
    // and the order go backward.
    const bool repositioned = decoder_->HasSeek() && decoder_->Seek(label);
    const int result = CallDecoder();
    if (frameCountOut_ > 0)
        QueueFrames(label, true);
    // A repositioned second that yields nothing (a damaged chunk) is passed over, so the
    // numbering still reaches the start instead of asking for that second forever.
    if (frameCountOut_ > 0 || repositioned)
        ++decodedSeconds_;
    // The last second of the file says so, but going backward more seconds lie before it.
    if (result == kTvqEndOfFile && !repositioned)
        atEnd_ = 1;
    if (audioCountOut_ < 1 || frameCountOut_ < 1) {
        ClearCounts();
        return 1;
    }
    ClearCounts();
    return !atEnd_ && baseSecond_ >= decodedSeconds_ && QueuedVideo() <= videoHighWater_
               ? kPassAgain
               : 1;
}

// Where backward play begins: the position, kept inside the movie when the decoder can go
// there (after the last second has been decoded the position lies one past the end).
int32_t CPlaybackEngine::BackwardStartAt(int32_t position) {
    if (!decoder_ || !decoder_->HasSeek())
        return position;
    const int32_t length = decoder_->GetLengthSeconds();
    if (length > 0 && position >= length)
        position = length - 1;
    // It repositions for every second it delivers, so an end reached going forward is no end.
    atEnd_ = 0;
    return std::max(position, 0);
}

int CPlaybackEngine::SetSpeed(Speed speed, IAudioOutput* output, SpeedDirection direction) {
    if (SpeedToNormal(speed, output, direction))
        return 1;
    if (SpeedToBackward(speed, output, direction))
        return 1;
    if (SpeedToForward(speed, output, direction))
        return 1;
    // Nothing applied: the request names what is already in force (normal play, or the
    // current factor and direction), so everything keeps running as it is.
    return 0;
}

int CPlaybackEngine::SpeedToNormal(Speed speed, IAudioOutput* output, SpeedDirection direction) {
    if (speed != Speed::X1)
        return 0;
    if (!(speed_ != Speed::X1 ||
          (mode_ == SpeedMode::Backward && direction == SpeedDirection::Backward)))
        return 0;
    win::ScopedLock data(dataLock_);
    DecodeTurn decode(*this);
    const bool wasForward = mode_ == SpeedMode::Forward;
    mode_ = SpeedMode::Normal;
    speed_ = Speed::X1;
    if (wasForward)
        LeaveForward(output, 1);
    else
        LeaveBackward(output, 1);
    return 1;
}

int CPlaybackEngine::SpeedToBackward(Speed speed, IAudioOutput* output, SpeedDirection direction) {
    if (direction != SpeedDirection::Backward)
        return 0;
    if (output)
        output->Mute(1);
    win::ScopedLock data(dataLock_);
    DecodeTurn decode(*this);
    if (mode_ == SpeedMode::Normal) {
        mode_ = SpeedMode::Backward;
        speed_ = speed;
        StartBackward();
        return 1;
    }
    if (mode_ == SpeedMode::Forward) {
        mode_ = SpeedMode::Backward;
        speed_ = speed;
        ForwardToBackward(output);
        return 1;
    }
    // Already backward: another factor only changes the display's pace. Falling back to
    // normal numbers here would leave the picture frozen and the sound muted.
    return ChangeFactor(speed);
}

// Another factor in the direction already in force: the queues, the numbering and the muted
// output stay as they are; the audio output's display applies the new factor from its next
// update. 1 when the factor changed, 0 (nothing touched) when it was already in force.
int CPlaybackEngine::ChangeFactor(Speed speed) {
    if (speed_ == speed)
        return 0;
    speed_ = speed;
    return 1;
}

int CPlaybackEngine::SpeedToForward(Speed speed, IAudioOutput* output, SpeedDirection direction) {
    if (direction != SpeedDirection::Forward || speed == Speed::X1)
        return 0;
    if (output)
        output->Mute(1);
    win::ScopedLock data(dataLock_);
    DecodeTurn decode(*this);
    if (mode_ == SpeedMode::Normal) {
        // The queued audio plays out muted; the fill queues no more of it.
        mode_ = SpeedMode::Forward;
        speed_ = speed;
        return 1;
    }
    if (mode_ == SpeedMode::Backward) {
        mode_ = SpeedMode::Forward;
        speed_ = speed;
        LeaveBackward(output, 1);
        return 1;
    }
    return ChangeFactor(speed);
}

void CPlaybackEngine::LeaveForward(IAudioOutput* output, int decode) {
    win::ScopedLock data(dataLock_);
    win::ScopedLock lock(decodeLock_);
    const int32_t position = baseSecond_ + decodedSeconds_;
    audioQueue_.Reset();
    ResetVideo();
    baseSecond_ = position;
    decodedSeconds_ = 0;
    if (output)
        output->Stop();
    if (decode)
        DecodeOneSecond();
    if (output) {
        output->Mute(0);
        output->FillAt(position);
    }
}

void CPlaybackEngine::LeaveBackward(IAudioOutput* output, int decode) {
    win::ScopedLock data(dataLock_);
    win::ScopedLock lock(decodeLock_);
    // Backward play numbers down through second 0, so the count may pass the start by one.
    const int32_t position = std::max(backwardStart_ - decodedSeconds_, 0);
    decodedSeconds_ = 0;
    baseSecond_ = position;
    audioQueue_.Reset();
    ResetVideo();
    // Backward play left the decoder ahead; one that can reposition resumes where the picture
    // is, so sound and picture carry on from the same second.
    if (decoder_ && decoder_->HasSeek() && decoder_->Seek(position))
        atEnd_ = 0;
    if (output)
        output->Stop();
    if (decode)
        DecodeOneSecond();
    if (output) {
        output->Mute(0);
        output->FillAt(position);
    }
}

void CPlaybackEngine::StartBackward() {
    win::ScopedLock data(dataLock_);
    win::ScopedLock lock(decodeLock_);
    const int32_t position = BackwardStartAt(baseSecond_ + decodedSeconds_);
    backwardStart_ = position;
    baseSecond_ = position;
    decodedSeconds_ = 0;
    audioQueue_.Reset();
    ResetVideo();
    FirstBackwardSecond();
}

void CPlaybackEngine::ForwardToBackward(IAudioOutput* output) {
    win::ScopedLock data(dataLock_);
    win::ScopedLock lock(decodeLock_);
    LeaveForward(output, 0);
    const int32_t position = BackwardStartAt(baseSecond_ + decodedSeconds_);
    backwardStart_ = position;
    baseSecond_ = position;
    decodedSeconds_ = 0;
    FirstBackwardSecond();
}

// The mode change queues only the second its first picture needs and leaves the rest of the
// fill to the decode thread: the user's command, which holds the engine lock and so stops the
// sound thread too, then waits for one second's decode instead of a whole fill.
void CPlaybackEngine::FirstBackwardSecond() {
    BackwardPass();
}

// Seconds of video and audio queued, and the lead of video over audio.
float CPlaybackEngine::MeasureLead(float* videoSeconds, float* audioSeconds) {
    win::ScopedLock decode(decodeLock_);
    const float bytesPerSecond = static_cast<float>(audioFormat_.nAvgBytesPerSec);
    *videoSeconds = QueuedVideoSeconds();
    *audioSeconds =
        bytesPerSecond > 0 ? static_cast<float>(audioQueue_.GetCount()) / bytesPerSecond : 0.0f;
    return *videoSeconds - *audioSeconds;
}

// Learns, once per engine, how far video normally leads audio on this machine, so that the
// usual small lead of a busy decoder does not count as drift.
void CPlaybackEngine::Calibrate(float lead) {
    if (!calibrating_)
        return;
    const uint32_t now = tickSource_();
    if (calibrationStart_ == 0)
        calibrationStart_ = now;
    if (now - calibrationStart_ <= kCalibrationMs) {
        smallestLead_ = std::min(smallestLead_, lead);
        return;
    }
    if (lead > leadThreshold_ + kThresholdMarginSeconds)
        leadThreshold_ =
            (smallestLead_ < kSmallLeadSeconds ? smallestLead_ : lead) - kThresholdMarginSeconds;
    calibrating_ = 0;
}

int CPlaybackEngine::Resync(IAudioOutput* output) {
    // A seek empties the queues on purpose; that is no drift.
    if (mode_ != SpeedMode::Normal || atEnd_ || skipping_)
        return 0;
    if (GetLengthSeconds() - baseSecond_ - decodedSeconds_ < kNoResyncTailSeconds)
        return 0;
    win::ScopedLock data(dataLock_);
    // Called by the sound thread under the engine lock at every time update: while the decode
    // thread is queueing a second the counts are half-written anyway, and waiting for it
    // would hold up the engine lock and every command behind it. The next update looks again.
    std::unique_lock decode(decodeLock_, std::try_to_lock);
    if (!decode.owns_lock())
        return 0;
    float videoSeconds = 0, audioSeconds = 0;
    // The picture waits for what is heard, so the frames of the device's latency are queued
    // on purpose; counted as lead they would pass the one-second limit of a one-second sound
    // buffer at every notification and re-align (skip ahead) again and again.
    const float lag = output ? output->PictureLagSeconds() : 0.0f;
    const float lead = MeasureLead(&videoSeconds, &audioSeconds) - lag;
    Calibrate(lead);
    const int32_t position = baseSecond_ + decodedSeconds_;
    if (!(lead > kMaxLeadSeconds || lead < leadThreshold_))
        return 0;
    Realign(videoSeconds, audioSeconds, position, output);
    return 1;
}

// Cuts both queues back to the same whole number of seconds (the newest ones) and restarts the
// output at the first second still queued.
void CPlaybackEngine::Realign(float videoSeconds, float audioSeconds, int32_t position,
                              IAudioOutput* output) {
    win::ScopedLock data(dataLock_);
    win::ScopedLock decode(decodeLock_);
    if (output)
        output->Stop();
    int32_t whole =
        static_cast<int32_t>(std::min(std::floor(videoSeconds), std::floor(audioSeconds)));
    const int64_t recordSecond =
        FrameRecordBytes(static_cast<int64_t>(pictureFormat_.biSizeImage)) * framesPerSecond_;
    audioQueue_.KeepNewest(
        static_cast<int32_t>(std::max<int64_t>(0, int64_t{whole} * audioFormat_.nAvgBytesPerSec)));
    if (storedFrames_)
        storedQueue_.KeepNewest(std::max(whole, 0) * framesPerSecond_);
    else
        videoQueue_.KeepNewest(
            static_cast<int32_t>(std::max<int64_t>(0, int64_t{whole} * recordSecond)));
    if (whole < 1) {
        DecodeOneSecond();
        whole = 0;
    }
    if (output)
        output->FillAt(std::max(position - whole, 0));
}
