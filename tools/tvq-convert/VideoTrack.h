#pragma once
// The source's pictures re-timed to a constant frame rate: for each moment of the movie, the
// picture that is on screen then (frames of a variable-rate source are dropped or repeated by
// their presentation times). Pictures that are already baseline 4:2:0 JPEG of the movie's size
// can be handed on undecoded.
#include "MediaSource.h"

#include <cstdint>
#include <memory>
#include <vector>

struct SwsContext;

namespace tvqconvert {

// One picture of the source: a decoded frame, or JPEG data to store unchanged.
struct Picture {
    std::shared_ptr<AVFrame> frame;
    std::shared_ptr<const std::vector<uint8_t>> jpeg;
    bool SameAs(const Picture& other) const {
        return frame ? frame == other.frame : jpeg && jpeg == other.jpeg;
    }
};

// True when `data` is a baseline, 3-component 4:2:0 JPEG of exactly width x height with its
// own Huffman tables: what the movie stores and every reader decodes.
bool IsStorableJpeg(const uint8_t* data, size_t size, int width, int height);

class VideoTrack {
public:
    // `copyJpeg`: hand on storable JPEG packets of an MJPEG source at (width, height).
    VideoTrack(MediaSource& source, bool copyJpeg);

    // The picture on screen at `seconds` on the source's clock; false once the source's last
    // picture has ended before then.
    bool PictureAt(double seconds, Picture& out);
    // Where the last picture ends (valid once PictureAt returned false).
    double EndTime() const { return endTime_; }
    int PicturesCopied() const { return copied_; }

private:
    struct Timed {
        Picture picture;
        double start = 0;
        double duration = 0;
    };
    bool Load(Timed& out);

    MediaSource& source_;
    bool copyJpeg_;
    Timed current_, next_;
    bool haveCurrent_ = false, haveNext_ = false, ended_ = false;
    double endTime_ = 0;
    double lastStart_ = -1;
    int copied_ = 0;
    double slack_;
};

// Clockwise turn, in degrees (0, 90, 180 or 270), that shows the stream's pictures upright:
// phones store portrait videos sideways with a display matrix saying so.
int UprightRotation(const AVStream& stream);

// Turns decoded pictures into the movie's padded bottom-up BGR frames at its size, turned by
// `rotation` degrees clockwise. One per thread.
class Scaler {
public:
    explicit Scaler(int rotation = 0) : rotation_(rotation) {}
    ~Scaler();
    Scaler(const Scaler&) = delete;
    Scaler& operator=(const Scaler&) = delete;
    bool Scale(const AVFrame& frame, int width, int height, uint8_t* bottomUpBgr);

private:
    SwsContext* context_ = nullptr;
    int rotation_;
    std::vector<uint8_t> upright_;  // the scaled picture before it is turned
};

}  // namespace tvqconvert
