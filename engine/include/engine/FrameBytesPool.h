#pragma once
// Keeps the byte buffers of stored frames for the next frames instead of freeing them. A frame
// is a few hundred KB, made on the decode thread and let go on another; at 25 (or, in fast
// play, 200) a second that churn either fragments the heaps, so that the resident size creeps
// up over a long session, or, with such blocks kept out of the heaps, costs a fresh mapping
// and its page faults per frame. Buffers come back when the last holder of a frame lets go,
// on whatever thread that is; the pool may go first (the engine closes while the window still
// shows a frame), and then they are simply freed.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CFrameBytesPool {
public:
    using Bytes = std::shared_ptr<const std::vector<uint8_t>>;

    // A copy of size bytes at data, in a kept buffer when one is free. Throws std::bad_alloc.
    Bytes Copy(const uint8_t* data, size_t size);

private:
    // About a second and a half of frames at 25 a second: the queue's churn, not its length.
    static constexpr size_t kKeptBuffers = 40;

    struct Shelf {
        std::mutex mutex;
        std::vector<std::unique_ptr<std::vector<uint8_t>>> free;  // under mutex
    };
    const std::shared_ptr<Shelf> shelf_ = std::make_shared<Shelf>();
};
