#pragma once
// One frame as the movie stores it (a JPEG, or the bottom-up picture itself), on its way from
// the engine's queue to the picture. It is decoded only when it is about to be shown, and only
// if it is: frames passed over in fast play or on the way to a seek's target never are.
#include <cstdint>
#include <memory>
#include <vector>

struct StoredFrame {
    int32_t second = 0;  // the second it belongs to
    int32_t index = 0;   // its index within that second
    uint32_t codec = 0;  // kTvqCodecJpeg or kTvqCodecRaw
    // Shared: a short second repeats its last frame, and the repeats share one copy.
    std::shared_ptr<const std::vector<uint8_t>> bytes;

    bool IsEmpty() const { return !bytes || bytes->empty(); }
};
