#pragma once
// A circular byte queue that grows by doubling when a write would fill it.
//
// Thread safety: the engine writes a queue under its decode lock and reads it under its data
// lock, so one writer and one reader may run at the same time. The ring therefore guards its
// indexes, count, capacity and buffer with its own small mutex, held for the whole of each
// operation (copy included); growth and reset happen under it too. The copy of one frame is
// the longest hold, so neither side waits long.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>

class CByteRing {
public:
    CByteRing() = default;
    ~CByteRing() = default;
    CByteRing(const CByteRing&) = delete;
    CByteRing& operator=(const CByteRing&) = delete;

    // Replaces the buffer with one of `capacity` bytes and empties the queue. 1, or 0 when the
    // capacity is not positive or the memory is not available (the queue then has no buffer).
    int Allocate(int32_t capacity);
    // Drops the buffer; every later write and read reports 0 until the next Allocate.
    void Free();

    // Appends `length` bytes; grows first when count + length would reach capacity - 1.
    // 0 without a buffer, for a negative length, or when growing fails.
    int Write(const uint8_t* source, int32_t length);
    struct Piece {
        const uint8_t* source;
        int32_t length;
    };
    // Appends the pieces one after another in one step, growing once for all of them, or none
    // of them: a record is never left half written, which would put every later record out of
    // step. 0 like Write, and also when the pieces add up to more than a queue can count.
    int WriteAll(std::initializer_list<Piece> pieces);
    // Takes up to *length bytes (clipped to the count) and stores the number taken in *length.
    // 0 when there is no buffer or nothing is queued.
    int Read(uint8_t* destination, int32_t* length);
    struct Part {
        uint8_t* destination;
        int32_t length;
    };
    // Takes the parts one after another in one step, and only when all of them are queued, so
    // a reset made by the writer's side can never fall between the parts of one record.
    // 1, or 0 with nothing taken.
    int ReadAll(std::initializer_list<Part> parts);
    // Queued bytes where they lie in the ring's memory.
    struct Span {
        const uint8_t* data = nullptr;
        int32_t length = 0;
    };
    // Like ReadAll with a first part of `inPlace` bytes that is not copied: the trailing parts
    // are copied out first, then `use` gets the first part where it lies, as one span or two
    // (the second from the buffer's start when the bytes wrap), with the count of bytes queued
    // behind them, and the whole is taken. The ring's lock is held during `use`, so the writer
    // waits for it: keep it short, and do not call back into the ring. 1, or 0 with nothing
    // taken and `use` not called.
    using InPlaceUse = std::function<void(Span first, Span second, int32_t queuedAfter)>;
    int ReadAllInPlace(int32_t inPlace, std::initializer_list<Part> trailer, const InPlaceUse& use);
    // Drops the oldest bytes until at most `keep` remain. Returns the bytes dropped.
    int32_t KeepNewest(int32_t keep);
    // Empties the queue; the buffer stays.
    void Reset();

    int32_t GetCount() const;
    int32_t GetCapacity() const;
    int32_t GetReadIndex() const;   // -1 when empty
    int32_t GetWriteIndex() const;  // index of the last byte written, -1 when empty
    bool HasBuffer() const;

private:
    int WriteLocked(const uint8_t* source, int32_t length);
    void TakeLocked(uint8_t* destination, int32_t length);  // destination may be null: drop
    int GrowLocked();
    void ResetLocked();

    mutable std::mutex mutex_;  // guards everything below
    int32_t readIndex_ = -1;
    int32_t writeIndex_ = -1;
    int32_t count_ = 0;
    int32_t capacity_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;
};
