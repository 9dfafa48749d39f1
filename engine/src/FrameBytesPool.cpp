#include "engine/FrameBytesPool.h"

#include <utility>

CFrameBytesPool::Bytes CFrameBytesPool::Copy(const uint8_t* data, size_t size) {
    std::unique_ptr<std::vector<uint8_t>> buffer;
    {
        std::lock_guard lock(shelf_->mutex);
        if (!shelf_->free.empty()) {
            buffer = std::move(shelf_->free.back());
            shelf_->free.pop_back();
        }
    }
    if (!buffer)
        buffer = std::make_unique<std::vector<uint8_t>>();
    buffer->assign(data, data + size);  // keeps the buffer's room when the frame fits in it
    std::weak_ptr<Shelf> home = shelf_;
    auto giveBack = [home](const std::vector<uint8_t>* bytes) {
        std::unique_ptr<std::vector<uint8_t>> owned(const_cast<std::vector<uint8_t>*>(bytes));
        const std::shared_ptr<Shelf> shelf = home.lock();
        if (!shelf)
            return;
        std::lock_guard lock(shelf->mutex);
        if (shelf->free.size() < kKeptBuffers)
            shelf->free.push_back(std::move(owned));
    };
    // The deleter owns the buffer from here on, also when making the shared count throws.
    return Bytes(buffer.release(), giveBack);
}
