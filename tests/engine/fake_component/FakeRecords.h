#pragma once
// Reading frame records of a fake-component movie back out of an engine, and an audio output
// that records every call in order ("Stop", "Mute(1)", "FillAt(12)").
#include <cstring>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "FakeTvq.h"
#include "engine/IAudioOutput.h"
#include "engine/PlaybackEngine.h"

struct FakeRecord {
    int32_t second = -1, index = -1;          // the labels the engine gave the record
    int32_t markSecond = -1, markIndex = -1;  // what the component wrote into the frame
    bool bodyIntact = false;                  // the rest of the frame is the fill of (mark)
};

inline bool operator==(const FakeRecord& a, const FakeRecord& b) {
    return a.second == b.second && a.index == b.index && a.markSecond == b.markSecond &&
           a.markIndex == b.markIndex && a.bodyIntact == b.bodyIntact;
}

// Takes one record with ReadFrame; false when none was queued. With `ensure` it first asks
// EnsureFrame, as the video window does (which may decode a second itself).
inline bool TakeRecord(CPlaybackEngine& engine, FakeRecord* out, bool ensure = false) {
    const int32_t image = static_cast<int32_t>(engine.GetPictureFormat().biSizeImage);
    if (ensure && !engine.EnsureFrame(image + 8))
        return false;
    std::vector<uint8_t> frame(static_cast<size_t>(image));
    FakeRecord r;
    if (engine.ReadFrame(frame.data(), image, &r.second, &r.index) != image)
        return false;
    std::memcpy(&r.markSecond, frame.data(), 4);
    std::memcpy(&r.markIndex, frame.data() + 4, 4);
    const uint8_t fill = FakeFrameByte(r.markSecond, r.markIndex);
    r.bodyIntact = true;
    for (size_t i = 8; i < frame.size(); ++i) r.bodyIntact = r.bodyIntact && frame[i] == fill;
    *out = r;
    return true;
}

inline std::vector<FakeRecord> TakeRecords(CPlaybackEngine& engine, int n) {
    std::vector<FakeRecord> out;
    FakeRecord r;
    while (static_cast<int>(out.size()) < n && TakeRecord(engine, &r)) out.push_back(r);
    return out;
}

inline FakeRecord Expected(int32_t second, int32_t index, int32_t markSecond) {
    FakeRecord r;
    r.second = second;
    r.index = index;
    r.markSecond = markSecond;
    r.markIndex = index;
    r.bodyIntact = true;
    return r;
}

// The records of `count` seconds labelled from `second` (going down when `backward`), each
// second's frames in forward or reverse order; the frames' own second starts at `mark` and
// always goes up, as the component only ever decodes forward.
inline std::vector<FakeRecord> ExpectedSeconds(int32_t second, int32_t mark, int count, int fps,
                                               bool backward) {
    std::vector<FakeRecord> out;
    for (int s = 0; s < count; ++s) {
        for (int n = 0; n < fps; ++n) {
            const int32_t i = backward ? fps - 1 - n : n;
            out.push_back(Expected(backward ? second - s : second + s, i, mark + s));
        }
    }
    return out;
}

inline std::ostream& operator<<(std::ostream& os, const FakeRecord& r) {
    return os << "(" << r.second << "," << r.index << " mark " << r.markSecond << "," << r.markIndex
              << (r.bodyIntact ? "" : " torn") << ")";
}

class RecordingAudioOutput : public IAudioOutput {
public:
    int Stop() override {
        Record("Stop");
        return 1;
    }
    int FillAt(int32_t second) override {
        Record("FillAt(" + std::to_string(second) + ")");
        return 1;
    }
    void Mute(int flag) override { Record("Mute(" + std::to_string(flag) + ")"); }

    std::vector<std::string> Calls() const {
        std::lock_guard lk(mutex_);
        return calls_;
    }
    void Clear() {
        std::lock_guard lk(mutex_);
        calls_.clear();
    }

private:
    void Record(const std::string& call) {
        std::lock_guard lk(mutex_);
        calls_.push_back(call);
    }
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};
