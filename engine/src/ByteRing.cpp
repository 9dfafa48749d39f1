#include "engine/ByteRing.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#if defined(__x86_64__)
#include <emmintrin.h>
#define TVQ_STREAMING_STORES 1
#endif

namespace {

// A write at least this large (a frame, not a slice of sound) goes into the buffer past the
// caches. A queued frame is read a second or more later, long after the caches have let it
// go, so a plain copy would only load each destination line before overwriting it and push
// out what the decoder is working on.
constexpr size_t kStreamingWriteBytes = 256 * 1024;
constexpr size_t kStreamAlign = 16;

// Bytes the parts ask for in all; -1 when one of them has no destination or a negative length.
int64_t PartsLength(std::initializer_list<CByteRing::Part> parts) {
    int64_t total = 0;
    for (const CByteRing::Part& p : parts) {
        if (!p.destination || p.length < 0)
            return -1;
        total += p.length;
    }
    return total;
}

void CopyIn(uint8_t* dst, const uint8_t* src, size_t n) {
#ifdef TVQ_STREAMING_STORES
    if (n >= kStreamingWriteBytes) {
        const size_t head =
            (kStreamAlign - reinterpret_cast<uintptr_t>(dst) % kStreamAlign) % kStreamAlign;
        std::memcpy(dst, src, head);
        dst += head;
        src += head;
        n -= head;
        size_t i = 0;
        for (; i + 64 <= n; i += 64) {
            const auto* s = reinterpret_cast<const __m128i*>(src + i);
            auto* d = reinterpret_cast<__m128i*>(dst + i);
            const __m128i a = _mm_loadu_si128(s), b = _mm_loadu_si128(s + 1);
            const __m128i c = _mm_loadu_si128(s + 2), e = _mm_loadu_si128(s + 3);
            _mm_stream_si128(d, a);
            _mm_stream_si128(d + 1, b);
            _mm_stream_si128(d + 2, c);
            _mm_stream_si128(d + 3, e);
        }
        std::memcpy(dst + i, src + i, n - i);
        // Streaming stores are not ordered with the unlock that publishes them to the reader.
        _mm_sfence();
        return;
    }
#endif
    std::memcpy(dst, src, n);
}

}  // namespace

int CByteRing::Allocate(int32_t capacity) {
    std::lock_guard lk(mutex_);
    buffer_.reset();
    capacity_ = 0;
    ResetLocked();
    if (capacity <= 0)
        return 0;
    buffer_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(capacity)]);
    if (!buffer_)
        return 0;
    capacity_ = capacity;
    return 1;
}

void CByteRing::Free() {
    std::lock_guard lk(mutex_);
    buffer_.reset();
    capacity_ = 0;
    ResetLocked();
}

int CByteRing::Write(const uint8_t* source, int32_t length) {
    std::lock_guard lk(mutex_);
    return WriteLocked(source, length);
}

int CByteRing::WriteAll(std::initializer_list<Piece> pieces) {
    int64_t total = 0;
    for (const Piece& piece : pieces) {
        if (piece.length < 0 || (piece.length > 0 && !piece.source))
            return 0;
        total += piece.length;
    }
    if (total > std::numeric_limits<int32_t>::max())
        return 0;
    std::lock_guard lk(mutex_);
    if (!buffer_)
        return 0;
    // Grown for the whole first, so the pieces below never fail half way.
    while (static_cast<int64_t>(count_) + total >= static_cast<int64_t>(capacity_) - 1) {
        if (!GrowLocked())
            return 0;
    }
    for (const Piece& piece : pieces) WriteLocked(piece.source, piece.length);
    return 1;
}

int CByteRing::WriteLocked(const uint8_t* source, int32_t length) {
    if (!buffer_ || length < 0 || (length > 0 && !source))
        return 0;
    if (length == 0)
        return 1;
    // A write larger than the doubled capacity keeps doubling until it fits.
    while (static_cast<int64_t>(count_) + length >= static_cast<int64_t>(capacity_) - 1) {
        if (!GrowLocked())
            return 0;
    }
    if (writeIndex_ + length <= capacity_ - 1) {
        CopyIn(buffer_.get() + writeIndex_ + 1, source, static_cast<size_t>(length));
        writeIndex_ += length;
    } else {
        const int32_t toEnd = capacity_ - writeIndex_ - 1;
        if (toEnd > 0)
            CopyIn(buffer_.get() + writeIndex_ + 1, source, static_cast<size_t>(toEnd));
        const int32_t rest = length - toEnd;
        CopyIn(buffer_.get(), source + toEnd, static_cast<size_t>(rest));
        writeIndex_ = rest - 1;
    }
    count_ += length;
    if (readIndex_ == -1)
        readIndex_ = 0;
    return 1;
}

int CByteRing::Read(uint8_t* destination, int32_t* length) {
    if (!length || !destination)
        return 0;
    std::lock_guard lk(mutex_);
    if (!buffer_ || readIndex_ == -1 || count_ <= 0 || *length < 0)
        return 0;
    if (*length > count_)
        *length = count_;
    TakeLocked(destination, *length);
    return 1;
}

int CByteRing::ReadAll(std::initializer_list<Part> parts) {
    const int64_t wanted = PartsLength(parts);
    if (wanted < 0)
        return 0;
    std::lock_guard lk(mutex_);
    if (!buffer_ || readIndex_ == -1 || wanted == 0 || count_ < wanted)
        return 0;
    for (const Part& p : parts) TakeLocked(p.destination, p.length);
    return 1;
}

int CByteRing::ReadAllInPlace(int32_t inPlace, std::initializer_list<Part> trailer,
                              const InPlaceUse& use) {
    if (inPlace < 0 || !use)
        return 0;
    const int64_t trailerLength = PartsLength(trailer);
    if (trailerLength < 0)
        return 0;
    const int64_t wanted = inPlace + trailerLength;
    std::lock_guard lk(mutex_);
    if (!buffer_ || readIndex_ == -1 || wanted == 0 || count_ < wanted)
        return 0;
    const int32_t toEnd = capacity_ - readIndex_;
    const Span first{buffer_.get() + readIndex_, inPlace < toEnd ? inPlace : toEnd};
    const Span second{buffer_.get(), inPlace - first.length};
    // Only the indexes move here; the bytes stay as they are until the lock is let go, as
    // only a write could change them.
    TakeLocked(nullptr, inPlace);
    for (const Part& p : trailer) TakeLocked(p.destination, p.length);
    use(first, second, count_);
    return 1;
}

int32_t CByteRing::KeepNewest(int32_t keep) {
    std::lock_guard lk(mutex_);
    if (!buffer_ || readIndex_ == -1 || count_ <= 0)
        return 0;
    if (keep < 0)
        keep = 0;
    if (count_ <= keep)
        return 0;
    const int32_t drop = count_ - keep;
    TakeLocked(nullptr, drop);
    return drop;
}

void CByteRing::TakeLocked(uint8_t* destination, int32_t length) {
    if (readIndex_ + length > capacity_ - 1) {
        const int32_t toEnd = capacity_ - readIndex_;
        const int32_t rest = length - toEnd;
        if (destination) {
            std::memcpy(destination, buffer_.get() + readIndex_, static_cast<size_t>(toEnd));
            std::memcpy(destination + toEnd, buffer_.get(), static_cast<size_t>(rest));
        }
        readIndex_ = rest;
    } else {
        if (destination)
            std::memcpy(destination, buffer_.get() + readIndex_, static_cast<size_t>(length));
        readIndex_ += length;
    }
    count_ -= length;
    if (count_ == 0)
        ResetLocked();
}

int CByteRing::GrowLocked() {
    if (capacity_ > std::numeric_limits<int32_t>::max() / 2)
        return 0;
    std::unique_ptr<uint8_t[]> bigger(new (std::nothrow)
                                          uint8_t[static_cast<size_t>(capacity_) * 2]);
    if (!bigger)
        return 0;
    // The queued bytes move to the start of the new buffer, oldest first; copying straight
    // across spares a temporary block of the whole queue.
    const int32_t held = count_;
    if (held > 0 && readIndex_ != -1)
        TakeLocked(bigger.get(), held);
    buffer_ = std::move(bigger);
    capacity_ *= 2;
    ResetLocked();
    if (held > 0) {
        writeIndex_ = held - 1;
        readIndex_ = 0;
        count_ = held;
    }
    return 1;
}

void CByteRing::Reset() {
    std::lock_guard lk(mutex_);
    ResetLocked();
}

void CByteRing::ResetLocked() {
    count_ = 0;
    readIndex_ = -1;
    writeIndex_ = -1;
}

int32_t CByteRing::GetCount() const {
    std::lock_guard lk(mutex_);
    return count_;
}

int32_t CByteRing::GetCapacity() const {
    std::lock_guard lk(mutex_);
    return capacity_;
}

int32_t CByteRing::GetReadIndex() const {
    std::lock_guard lk(mutex_);
    return readIndex_;
}

int32_t CByteRing::GetWriteIndex() const {
    std::lock_guard lk(mutex_);
    return writeIndex_;
}

bool CByteRing::HasBuffer() const {
    std::lock_guard lk(mutex_);
    return buffer_ != nullptr;
}
