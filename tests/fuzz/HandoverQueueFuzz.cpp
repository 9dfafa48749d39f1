// The hand-over queue on a block in this process's memory, sized by the input so wrapping is
// reached at once. From a fresh header, every operation is checked against a plain FIFO
// model; from a header another process scribbled over, the operations must stay inside the
// block and keep a sane header sane.
#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

#include "FuzzSupport.h"
#include "support/SharedFileMap.h"

namespace {

class MemoryBlock : public CSharedFileMap {
public:
    // The block sits in its own heap allocation of exactly its size, so the sanitizer sees
    // any access past its end.
    explicit MemoryBlock(size_t bytes) : block_(bytes) { AttachView(block_.data(), bytes); }
    int32_t* Header() { return m_pHeader; }

private:
    std::vector<uint8_t> block_;
};

bool IsSane(const int32_t* h) {
    const int32_t r = h[0], w = h[1], count = h[2], cap = h[3];
    return r >= -1 && r < cap && w >= -1 && w < cap && count >= 0 && count <= cap;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Folder();  // the block's mutex is named; keep it private
    size_t at = 0;
    const auto byte = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    const int32_t capacity = 1 + byte() % 200;
    MemoryBlock block(static_cast<size_t>(capacity) + kShareHeaderBytes);
    int32_t* header = block.Header();
    const bool damaged = byte() & 1;
    if (damaged) {
        for (int field = 0; field < 4; ++field) {
            int32_t value = 0;
            for (int b = 0; b < 4; ++b) value |= static_cast<int32_t>(byte()) << (8 * b);
            header[field] = value;
        }
    } else {
        const int32_t fresh[4] = {-1, -1, 0, capacity};
        std::memcpy(header, fresh, sizeof fresh);
    }

    std::deque<uint8_t> model;
    uint8_t next = 0;
    while (at < size) {
        const uint8_t op = byte();
        const int32_t length = byte() % (capacity + 3);
        const bool wasSane = header[3] > 0 && header[3] <= capacity && IsSane(header);
        if (op & 1) {
            std::vector<uint8_t> bytes(static_cast<size_t>(length));
            for (uint8_t& b : bytes) b = next++;
            // In 64 bits: a damaged header may hold any count and capacity.
            const bool fits =
                static_cast<int64_t>(header[2]) + length < static_cast<int64_t>(header[3]) - 1;
            const bool canWrite = block.CanWrite(length);
            const bool written = block.Write(bytes.data(), length);
            if (!damaged) {
                fuzz::Check(written == fits, "a write succeeds exactly when it leaves room");
                fuzz::Check(!written || canWrite, "CanWrite is never stricter than Write");
                if (written)
                    model.insert(model.end(), bytes.begin(), bytes.end());
            }
        } else {
            std::vector<uint8_t> buffer(static_cast<size_t>(length) + 1, 0xA5);
            int32_t got = length;
            const bool read = block.Read(buffer.data(), got);
            fuzz::Check(buffer[static_cast<size_t>(length)] == 0xA5, "a read stays in its buffer");
            if (!damaged) {
                fuzz::Check(read == !model.empty(), "a read succeeds exactly when bytes wait");
                if (read) {
                    fuzz::Check(
                        got == std::min<int32_t>(length, static_cast<int32_t>(model.size())),
                        "a read copies what was asked, at most what waits");
                    for (int32_t i = 0; i < got; ++i) {
                        fuzz::Check(buffer[static_cast<size_t>(i)] == model.front(),
                                    "bytes come out in the order they went in");
                        model.pop_front();
                    }
                }
            }
        }
        if (wasSane)
            fuzz::Check(IsSane(header), "a sane header stays sane");
        if (!damaged) {
            fuzz::Check(block.GetCount() == static_cast<int32_t>(model.size()),
                        "the count is the bytes waiting");
            // (An empty write into an empty queue sets the read index alone, so only waiting
            // bytes pin both indices.)
            fuzz::Check(model.empty() || (header[0] >= 0 && header[1] >= 0),
                        "waiting bytes have both indices");
            fuzz::Check(static_cast<int32_t>(model.size()) <= std::max(0, capacity - 2),
                        "the queue holds at most capacity - 2 bytes");
        }
    }
    return 0;
}
