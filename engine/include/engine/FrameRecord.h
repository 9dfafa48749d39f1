#pragma once
// The layout of one frame record in the engine's video queue: the frame's bytes, then the
// second it belongs to and its index within that second, each an int32 in host order. Writer
// and readers take the layout from here so that they cannot drift apart.
#include <cstdint>

struct FrameRecordLabel {
    int32_t second;
    int32_t index;
};

// Bytes of the labels after each frame.
constexpr int32_t kRecordLabelBytes = static_cast<int32_t>(sizeof(FrameRecordLabel));
static_assert(kRecordLabelBytes == 8, "the labels are two packed int32");

// Bytes of one record holding a frame of `imageBytes`, in 64 bits so that no size overflows
// before it is checked against what a queue can hold.
constexpr int64_t FrameRecordBytes(int64_t imageBytes) {
    return imageBytes + kRecordLabelBytes;
}
