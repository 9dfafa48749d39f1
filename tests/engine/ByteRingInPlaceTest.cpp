// Taking a record without copying its first part: the part where it lies in the ring (in one
// piece or, across the buffer's end, in two), the trailing parts copied, the whole taken; and
// nothing taken when the record is not all there.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <numeric>
#include <vector>

#include "engine/ByteRing.h"

namespace {

std::vector<uint8_t> Bytes(int from, int count) {
    std::vector<uint8_t> v(static_cast<size_t>(count));
    std::iota(v.begin(), v.end(), static_cast<uint8_t>(from));
    return v;
}

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
    auto tail = Bytes(90, 3);
    ASSERT_EQ(ring.Write(tail.data(), 3), 1);
    int splits = 0;
    for (int k = 0; k < 20; ++k) {
        const auto frame = Bytes(k * 10, 10);
        const uint8_t label[4] = {uint8_t(k), 0xA2, 0xA3, 0xA4};
        ASSERT_EQ(ring.Write(frame.data(), 10), 1);
        ASSERT_EQ(ring.Write(label, 4), 1);
        uint8_t old[3];
        int32_t n = 3;
        ASSERT_EQ(ring.Read(old, &n), 1);
        EXPECT_EQ(std::vector<uint8_t>(old, old + 3), tail) << "record " << k;
        tail = Bytes(100 + k, 3);
        ASSERT_EQ(ring.Write(tail.data(), 3), 1);
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
    // 15 bytes, of which 14 are taken: the record then starts at index 15.
    const auto filler = Bytes(200, 15);
    ASSERT_EQ(ring.Write(filler.data(), 15), 1);
    std::vector<uint8_t> sink(14);
    int32_t taken = 14;
    ASSERT_EQ(ring.Read(sink.data(), &taken), 1);
    const auto frame = Bytes(1, 10);
    ASSERT_EQ(ring.Write(frame.data(), 10), 1);
    uint8_t last = 0;
    int32_t one = 1;
    ASSERT_EQ(ring.Read(&last, &one), 1);
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
    const auto frame = Bytes(1, 12);
    ASSERT_EQ(ring.Write(frame.data(), 12), 1);
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
    // All of it still there, in order.
    std::vector<uint8_t> out(12);
    int32_t n = 12;
    ASSERT_EQ(ring.Read(out.data(), &n), 1);
    EXPECT_EQ(out, frame);

    CByteRing none;
    EXPECT_EQ(none.ReadAllInPlace(1, {}, count), 0);
    EXPECT_EQ(calls, 0);
}

}  // namespace
