// The circular byte queue: growth at the fill mark, wrapped writes and reads, the -1 indexes
// of an empty queue, one writer against one reader on two threads; records taken where they
// lie (in one piece or two, trailing parts copied, nothing taken unless all there); and
// frame-sized writes, which bypass the caches, arriving whole at any alignment.
#include "engine/ByteRing.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(int n, uint8_t first) {
    std::vector<uint8_t> v(static_cast<size_t>(n));
    std::iota(v.begin(), v.end(), first);
    return v;
}

std::vector<uint8_t> ReadAll(CByteRing& ring, int32_t n) {
    std::vector<uint8_t> out(static_cast<size_t>(n));
    int32_t length = n;
    if (!ring.Read(out.data(), &length))
        return {};
    out.resize(static_cast<size_t>(length));
    return out;
}

bool Put(CByteRing& ring, const std::vector<uint8_t>& bytes) {
    return ring.Write(bytes.data(), static_cast<int32_t>(bytes.size())) == 1;
}

// Moves an empty queue's read index to n, one zero byte still queued there (an emptied queue
// starts over at index 0), so that what is written next runs on from n + 1.
void Advance(CByteRing& ring, int32_t n) {
    ASSERT_TRUE(Put(ring, std::vector<uint8_t>(static_cast<size_t>(n) + 1)));
    ASSERT_EQ(ReadAll(ring, n).size(), static_cast<size_t>(n));
}

TEST(ByteRing, GrowsOnlyWhenAWriteWouldReachTheLastByte) {
    CByteRing ring, other;
    ASSERT_EQ(ring.Allocate(10), 1);
    ASSERT_EQ(other.Allocate(10), 1);
    EXPECT_TRUE(Put(ring, Bytes(8, 1)));
    EXPECT_EQ(ring.GetCapacity(), 10);
    EXPECT_EQ(ring.GetCount(), 8);
    EXPECT_TRUE(Put(other, Bytes(9, 1)));
    EXPECT_EQ(other.GetCapacity(), 20);
    EXPECT_EQ(ReadAll(other, 9), Bytes(9, 1));
    // A write larger than the doubled capacity still fits.
    CByteRing small;
    ASSERT_EQ(small.Allocate(4), 1);
    ASSERT_TRUE(Put(small, Bytes(40, 0)));
    EXPECT_GE(small.GetCapacity(), 42);
    EXPECT_EQ(ReadAll(small, 40), Bytes(40, 0));
}

TEST(ByteRing, GrowthKeepsWrappedContentsInOrder) {
    CByteRing ring;
    ASSERT_EQ(ring.Allocate(10), 1);
    ASSERT_TRUE(Put(ring, Bytes(6, 0)));
    EXPECT_EQ(ReadAll(ring, 4), Bytes(4, 0));
    ASSERT_TRUE(Put(ring, Bytes(5, 6)));  // wraps: 4 bytes up to the end, 1 from the start
    EXPECT_EQ(ring.GetCapacity(), 10);
    EXPECT_EQ(ring.GetWriteIndex(), 0);
    ASSERT_TRUE(Put(ring, Bytes(4, 11)));  // 7 + 4 >= 9: doubles first
    EXPECT_EQ(ring.GetCapacity(), 20);
    EXPECT_EQ(ring.GetReadIndex(), 0);
    EXPECT_EQ(ReadAll(ring, 100), Bytes(11, 4));
}

TEST(ByteRing, WrappedReadReturnsBytesInOrderAndIndexIsTheWrappedPart) {
    CByteRing ring;
    ASSERT_EQ(ring.Allocate(10), 1);
    ASSERT_TRUE(Put(ring, Bytes(7, 0)));
    ASSERT_EQ(ReadAll(ring, 6).size(), 6u);  // read index 6, one byte left
    ASSERT_TRUE(Put(ring, Bytes(5, 7)));     // bytes 7..9 at the end, 10..11 at 0..1
    ASSERT_EQ(ring.GetCapacity(), 10);
    EXPECT_EQ(ReadAll(ring, 5), Bytes(5, 6));
    EXPECT_EQ(ring.GetReadIndex(), 1);  // one byte taken from the start
    EXPECT_EQ(ReadAll(ring, 5), Bytes(1, 11));
    EXPECT_EQ(ring.GetReadIndex(), -1);
}

TEST(ByteRing, EmptyQueueHasMinusOneIndexesAndRefusesReads) {
    CByteRing ring;
    uint8_t byte = 0;
    int32_t length = 1;
    EXPECT_EQ(ring.Read(&byte, &length), 0);  // no buffer
    EXPECT_EQ(ring.Write(&byte, 1), 0);
    ASSERT_EQ(ring.Allocate(16), 1);
    EXPECT_EQ(ring.GetReadIndex(), -1);
    EXPECT_EQ(ring.GetWriteIndex(), -1);
    EXPECT_EQ(ring.Read(&byte, &length), 0);

    const auto a = Bytes(5, 1);
    ASSERT_TRUE(Put(ring, a));
    EXPECT_EQ(ring.GetReadIndex(), 0);
    EXPECT_EQ(ring.GetWriteIndex(), 4);
    EXPECT_EQ(ReadAll(ring, 50), a);  // clipped to the count
    EXPECT_EQ(ring.GetReadIndex(), -1);
    EXPECT_EQ(ring.GetWriteIndex(), -1);

    ASSERT_TRUE(Put(ring, a));
    ring.Reset();
    EXPECT_EQ(ring.GetCount(), 0);
    EXPECT_EQ(ring.GetReadIndex(), -1);
    EXPECT_EQ(ring.GetCapacity(), 16);  // the buffer stays
    EXPECT_EQ(ring.Read(&byte, &length), 0);
    ASSERT_TRUE(Put(ring, a));
    EXPECT_EQ(ReadAll(ring, 5), a);
}

TEST(ByteRing, KeepNewestDropsTheOldestBytes) {
    CByteRing ring;
    ASSERT_EQ(ring.Allocate(8), 1);
    ASSERT_TRUE(Put(ring, Bytes(6, 0)));
    ASSERT_EQ(ReadAll(ring, 4).size(), 4u);
    ASSERT_TRUE(Put(ring, Bytes(4, 6)));  // wraps
    EXPECT_EQ(ring.KeepNewest(10), 0);    // holds less: keeps what it has
    EXPECT_EQ(ring.KeepNewest(3), 3);
    EXPECT_EQ(ReadAll(ring, 10), Bytes(3, 7));
}

// One writer and one reader on two threads, as the decode thread and the audio output use a
// queue: every byte arrives once and in order, across wraps and growths.
TEST(ByteRing, OneWriterOneReaderSeeTheSameStream) {
    CByteRing ring;
    ASSERT_EQ(ring.Allocate(64), 1);
    constexpr int kTotal = 200000;
    std::thread writer([&] {
        std::vector<uint8_t> chunk;
        int sent = 0;
        while (sent < kTotal) {
            const int n = std::min(1 + sent % 97, kTotal - sent);
            chunk.resize(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i)
                chunk[static_cast<size_t>(i)] = static_cast<uint8_t>((sent + i) % 251);
            // Keep the queue bounded so it wraps instead of growing for ever.
            while (ring.GetCount() > 4000) std::this_thread::yield();
            ASSERT_EQ(ring.Write(chunk.data(), n), 1);
            sent += n;
        }
    });
    int received = 0;
    bool inOrder = true;
    std::vector<uint8_t> buffer(333);
    while (received < kTotal) {
        int32_t length = 1 + received % 333;
        if (!ring.Read(buffer.data(), &length)) {
            std::this_thread::yield();
            continue;
        }
        for (int i = 0; i < length; ++i)
            inOrder = inOrder &&
                      buffer[static_cast<size_t>(i)] == static_cast<uint8_t>((received + i) % 251);
        received += length;
    }
    writer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(received, kTotal);
    EXPECT_EQ(ring.GetCount(), 0);
}

// ---- records taken where they lie --------------------------------------------------

using Use = CByteRing::InPlaceUse;

std::vector<uint8_t> Joined(CByteRing::Span a, CByteRing::Span b) {
    std::vector<uint8_t> v(a.data, a.data + a.length);
    if (b.length > 0)
        v.insert(v.end(), b.data, b.data + b.length);
    return v;
}

TEST(ByteRingInPlace, RecordsAnywhereInTheBufferComeInOrderWithTheirTrailer) {
    // Records of 10 bytes + 4 label bytes pass through a 20-byte buffer with 3 bytes always
    // queued around them, so the queue never empties and each record starts 17 bytes on from
    // the last: over 20 records it starts at every index, in one piece, ending exactly at
    // the buffer's end, split in the first part and split in the trailer.
    CByteRing ring;
    ASSERT_EQ(ring.Allocate(20), 1);
    auto tail = Bytes(3, static_cast<uint8_t>(90));
    ASSERT_TRUE(Put(ring, tail));
    int splits = 0;
    for (int k = 0; k < 20; ++k) {
        const auto frame = Bytes(10, static_cast<uint8_t>(k * 10));
        const uint8_t label[4] = {uint8_t(k), 0xA2, 0xA3, 0xA4};
        ASSERT_TRUE(Put(ring, frame));
        ASSERT_EQ(ring.Write(label, 4), 1);
        EXPECT_EQ(ReadAll(ring, 3), tail) << "record " << k;
        tail = Bytes(3, static_cast<uint8_t>(100 + k));
        ASSERT_TRUE(Put(ring, tail));
        ASSERT_EQ(ring.GetCapacity(), 20) << "must not have grown";

        uint8_t got[4] = {};
        int calls = 0;
        std::vector<uint8_t> seen;
        ASSERT_EQ(ring.ReadAllInPlace(10, {{got, 4}},
                                      [&](CByteRing::Span a, CByteRing::Span b, int32_t after) {
                                          ++calls;
                                          EXPECT_EQ(after, 3);
                                          // The labels are out before the frame is handed on.
                                          EXPECT_EQ(std::memcmp(got, label, 4), 0);
                                          EXPECT_GT(a.length, 0);
                                          EXPECT_EQ(a.length + b.length, 10);
                                          splits += b.length > 0;
                                          seen = Joined(a, b);
                                      }),
                  1)
            << "record " << k;
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(seen, frame) << "record " << k;
        EXPECT_EQ(ring.GetCount(), 3) << "record " << k;
    }
    EXPECT_GE(splits, 5) << "the records did not cross the buffer's end as planned";
}

TEST(ByteRingInPlace, SpansAreSplitOnlyAtTheBufferEnd) {
    CByteRing ring;
    ASSERT_EQ(ring.Allocate(20), 1);
    // One byte left at index 14, the record after it: once that byte is taken the record
    // starts at index 15.
    Advance(ring, 14);
    ASSERT_TRUE(Put(ring, Bytes(10, 1)));
    ASSERT_EQ(ReadAll(ring, 1).size(), 1u);
    ASSERT_EQ(ring.GetReadIndex(), 15);
    int32_t first = 0, second = 0, after = -1;
    ASSERT_EQ(ring.ReadAllInPlace(10, {},
                                  [&](CByteRing::Span a, CByteRing::Span b, int32_t left) {
                                      first = a.length;
                                      second = b.length;
                                      after = left;
                                  }),
              1);
    EXPECT_EQ(first, 5);
    EXPECT_EQ(second, 5);
    EXPECT_EQ(after, 0);
    EXPECT_EQ(ring.GetCount(), 0);
    EXPECT_EQ(ring.GetReadIndex(), -1) << "an emptied queue starts over";
}

TEST(ByteRingInPlace, AnIncompleteRecordOrBadPartsTakeNothing) {
    CByteRing ring;
    ASSERT_EQ(ring.Allocate(32), 1);
    const auto frame = Bytes(12, static_cast<uint8_t>(1));
    ASSERT_TRUE(Put(ring, frame));
    int calls = 0;
    const Use count = [&](CByteRing::Span, CByteRing::Span, int32_t) { ++calls; };
    uint8_t label[4];
    EXPECT_EQ(ring.ReadAllInPlace(10, {{label, 4}}, count), 0) << "13 bytes wanted, 12 queued";
    EXPECT_EQ(ring.ReadAllInPlace(-1, {}, count), 0);
    EXPECT_EQ(ring.ReadAllInPlace(4, {{nullptr, 4}}, count), 0);
    EXPECT_EQ(ring.ReadAllInPlace(4, {{label, -1}}, count), 0);
    EXPECT_EQ(ring.ReadAllInPlace(0, {}, count), 0) << "nothing to take";
    EXPECT_EQ(ring.ReadAllInPlace(4, {}, Use()), 0);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(ring.GetCount(), 12);
    EXPECT_EQ(ReadAll(ring, 12), frame);  // all of it still there, in order

    CByteRing none;
    EXPECT_EQ(none.ReadAllInPlace(1, {}, count), 0);
    EXPECT_EQ(calls, 0);
}

// ---- frame-sized writes ------------------------------------------------------------

std::vector<uint8_t> Noise(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(gen());
    return v;
}

TEST(ByteRingLargeWrite, EveryByteArrivesAtAnyAlignmentAndAcrossTheEnd) {
    // Lengths around a frame's, odd and even; sources shifted off their alignment; the ring
    // started at shifted indexes and filled so that later writes wrap.
    constexpr int32_t kCapacity = 3 * 1024 * 1024 + 7;
    const int32_t lengths[] = {256 * 1024, 256 * 1024 + 1, 921601, 1 << 20};
    unsigned seed = 5;
    for (const int32_t shift : {0, 1, 5, 13}) {
        CByteRing ring;
        ASSERT_EQ(ring.Allocate(kCapacity), 1);
        const auto lead = Noise(static_cast<size_t>(shift) + 1, seed++);
        ASSERT_EQ(ring.Write(lead.data(), shift + 1), 1);
        std::vector<uint8_t> skip(lead.size());
        int32_t n = shift;
        if (shift > 0) {
            ASSERT_EQ(ring.Read(skip.data(), &n), 1);
        }
        std::vector<std::vector<uint8_t>> written{{lead.back()}};
        for (int round = 0; round < 3; ++round) {
            for (const int32_t length : lengths) {
                const auto bytes = Noise(static_cast<size_t>(length) + 16, seed++);
                const uint8_t* source = bytes.data() + (shift + round) % 16;
                while (ring.GetCount() + length >= kCapacity - 1) {
                    // Take the oldest write out to make room, checking it on the way.
                    const auto& oldest = written.front();
                    std::vector<uint8_t> out(oldest.size());
                    int32_t got = static_cast<int32_t>(out.size());
                    ASSERT_EQ(ring.Read(out.data(), &got), 1);
                    ASSERT_EQ(out, oldest) << "shift " << shift << " round " << round;
                    written.erase(written.begin());
                }
                ASSERT_EQ(ring.Write(source, length), 1);
                written.emplace_back(source, source + length);
            }
        }
        EXPECT_EQ(ring.GetCapacity(), kCapacity) << "must not have grown";
        for (const auto& w : written) {
            std::vector<uint8_t> out(w.size());
            int32_t got = static_cast<int32_t>(out.size());
            ASSERT_EQ(ring.Read(out.data(), &got), 1);
            EXPECT_EQ(out, w) << "shift " << shift;
        }
        EXPECT_EQ(ring.GetCount(), 0);
    }
}

}  // namespace

// A frame and its two labels come out together or not at all, also across the buffer's end.
TEST(ByteRing, WriteAllQueuesEveryPieceOrNothing) {
    CByteRing ring;
    ASSERT_EQ(ring.Allocate(16), 1);
    Advance(ring, 10);  // the pieces below start at index 11 and wrap round the end

    const auto frame = Bytes(5, 1);
    const auto label = Bytes(4, 6);
    // A piece that cannot be written, and pieces too long for a queue to count, are refused
    // before the first piece goes in, so no later record is read out of step.
    EXPECT_EQ(ring.WriteAll({{frame.data(), 5}, {nullptr, 4}}), 0);
    EXPECT_EQ(ring.WriteAll({{frame.data(), 5}, {label.data(), INT32_MAX}}), 0);
    EXPECT_EQ(ring.GetCount(), 1);

    ASSERT_EQ(ring.WriteAll({{frame.data(), 5}, {label.data(), 4}}), 1);
    EXPECT_EQ(ring.GetCapacity(), 16);
    EXPECT_EQ(ring.GetWriteIndex(), 3) << "the record did not wrap";
    // 1 + 9 + 9 reaches the last byte of 16: grown once, before the first piece.
    ASSERT_EQ(ring.WriteAll({{frame.data(), 5}, {label.data(), 4}}), 1);
    EXPECT_EQ(ring.GetCapacity(), 32);
    const auto record = Bytes(9, 1);
    EXPECT_EQ(ReadAll(ring, 1), Bytes(1, 0));
    EXPECT_EQ(ReadAll(ring, 9), record);
    EXPECT_EQ(ReadAll(ring, 100), record);
}

TEST(ByteRing, ReadAllTakesEveryPartOrNothing) {
    CByteRing ring;
    ASSERT_EQ(ring.Allocate(16), 1);
    Advance(ring, 10);
    const uint8_t record[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_EQ(ring.Write(record, 7), 1);
    ASSERT_EQ(ReadAll(ring, 1), Bytes(1, 0));  // the record now starts at 11 and wraps

    uint8_t frame[5] = {}, label[4] = {};
    EXPECT_EQ(ring.ReadAll({{frame, 5}, {label, 4}}), 0) << "only 7 of 9 bytes are queued";
    EXPECT_EQ(ring.GetCount(), 7) << "a refused read takes nothing";

    ASSERT_EQ(ring.Write(record + 7, 2), 1);
    ASSERT_EQ(ring.ReadAll({{frame, 5}, {label, 4}}), 1);
    EXPECT_EQ(std::vector<uint8_t>(frame, frame + 5), Bytes(5, 1));
    EXPECT_EQ(std::vector<uint8_t>(label, label + 4), Bytes(4, 6));
    EXPECT_EQ(ring.GetCount(), 0);
    EXPECT_EQ(ring.GetReadIndex(), -1);
}
