// The circular byte queue: growth at the fill mark, wrapped writes and reads, the -1 indexes
// of an empty queue, and one writer against one reader on two threads.
#include "engine/ByteRing.h"

#include <gtest/gtest.h>

#include <climits>
#include <numeric>
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

TEST(ByteRing, GrowsOnlyWhenAWriteWouldReachTheLastByte) {
    CByteRing ring;
    ASSERT_EQ(ring.Allocate(10), 1);
    auto eight = Bytes(8, 1);
    EXPECT_EQ(ring.Write(eight.data(), 8), 1);
    EXPECT_EQ(ring.GetCapacity(), 10);
    EXPECT_EQ(ring.GetCount(), 8);

    CByteRing other;
    ASSERT_EQ(other.Allocate(10), 1);
    auto nine = Bytes(9, 1);
    EXPECT_EQ(other.Write(nine.data(), 9), 1);
    EXPECT_EQ(other.GetCapacity(), 20);
    EXPECT_EQ(ReadAll(other, 9), nine);
}

TEST(ByteRing, GrowthKeepsWrappedContentsInOrder) {
    CByteRing ring;
    ASSERT_EQ(ring.Allocate(10), 1);
    auto a = Bytes(6, 0);
    ASSERT_EQ(ring.Write(a.data(), 6), 1);
    EXPECT_EQ(ReadAll(ring, 4), Bytes(4, 0));
    auto b = Bytes(5, 6);  // wraps: 4 bytes up to the end, 1 from the start
    ASSERT_EQ(ring.Write(b.data(), 5), 1);
    EXPECT_EQ(ring.GetCapacity(), 10);
    EXPECT_EQ(ring.GetWriteIndex(), 0);
    auto c = Bytes(4, 11);  // 7 + 4 >= 9: doubles first
    ASSERT_EQ(ring.Write(c.data(), 4), 1);
    EXPECT_EQ(ring.GetCapacity(), 20);
    EXPECT_EQ(ring.GetReadIndex(), 0);
    EXPECT_EQ(ReadAll(ring, 100), Bytes(11, 4));
}

TEST(ByteRing, WrappedReadReturnsBytesInOrderAndIndexIsTheWrappedPart) {
    CByteRing ring;
    ASSERT_EQ(ring.Allocate(10), 1);
    auto a = Bytes(7, 0);
    ASSERT_EQ(ring.Write(a.data(), 7), 1);
    ASSERT_EQ(ReadAll(ring, 6).size(), 6u);  // read index 6, one byte left
    auto b = Bytes(5, 7);                    // bytes 7..9 at the end, 10..11 at 0..1
    ASSERT_EQ(ring.Write(b.data(), 5), 1);
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

    auto a = Bytes(5, 1);
    ASSERT_EQ(ring.Write(a.data(), 5), 1);
    EXPECT_EQ(ring.GetReadIndex(), 0);
    EXPECT_EQ(ring.GetWriteIndex(), 4);
    EXPECT_EQ(ReadAll(ring, 50), a);  // clipped to the count
    EXPECT_EQ(ring.GetReadIndex(), -1);
    EXPECT_EQ(ring.GetWriteIndex(), -1);

    ASSERT_EQ(ring.Write(a.data(), 5), 1);
    ring.Reset();
    EXPECT_EQ(ring.GetCount(), 0);
    EXPECT_EQ(ring.GetReadIndex(), -1);
    EXPECT_EQ(ring.GetCapacity(), 16);  // the buffer stays
    EXPECT_EQ(ring.Read(&byte, &length), 0);
    ASSERT_EQ(ring.Write(a.data(), 5), 1);
    EXPECT_EQ(ReadAll(ring, 5), a);
}

TEST(ByteRing, KeepNewestDropsTheOldestBytes) {
    CByteRing ring;
    ASSERT_EQ(ring.Allocate(8), 1);
    auto a = Bytes(6, 0);
    ASSERT_EQ(ring.Write(a.data(), 6), 1);
    ASSERT_EQ(ReadAll(ring, 4).size(), 4u);
    auto b = Bytes(4, 6);  // wraps
    ASSERT_EQ(ring.Write(b.data(), 4), 1);
    EXPECT_EQ(ring.KeepNewest(10), 0);  // holds less: keeps what it has
    EXPECT_EQ(ring.KeepNewest(3), 3);
    EXPECT_EQ(ReadAll(ring, 10), Bytes(3, 7));
}

TEST(ByteRing, AWriteLargerThanTheDoubledCapacityStillFits) {
    CByteRing ring;
    ASSERT_EQ(ring.Allocate(4), 1);
    auto big = Bytes(40, 0);
    ASSERT_EQ(ring.Write(big.data(), 40), 1);
    EXPECT_GE(ring.GetCapacity(), 42);
    EXPECT_EQ(ReadAll(ring, 40), big);
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

}  // namespace

// A frame and its two labels come out together or not at all, also across the buffer's end.
TEST(ByteRing, WriteAllQueuesEveryPieceOrNothing) {
    CByteRing ring;
    ASSERT_EQ(ring.Allocate(16), 1);
    const uint8_t filler[10] = {};
    ASSERT_EQ(ring.Write(filler, 10), 1);
    uint8_t sink[10];
    int32_t n = 10;
    ASSERT_EQ(ring.Read(sink, &n), 1);  // the pieces below wrap round the end

    const auto frame = Bytes(5, 1);
    const auto label = Bytes(4, 6);
    // A piece that cannot be written, and pieces too long for a queue to count, are refused
    // before the first piece goes in, so no later record is read out of step.
    EXPECT_EQ(ring.WriteAll({{frame.data(), 5}, {nullptr, 4}}), 0);
    EXPECT_EQ(ring.WriteAll({{frame.data(), 5}, {label.data(), INT32_MAX}}), 0);
    EXPECT_EQ(ring.GetCount(), 0);

    // 9 + 9 reaches the last byte of 16: grown once, before the first piece.
    ASSERT_EQ(ring.WriteAll({{frame.data(), 5}, {label.data(), 4}}), 1);
    ASSERT_EQ(ring.WriteAll({{frame.data(), 5}, {label.data(), 4}}), 1);
    EXPECT_EQ(ring.GetCapacity(), 32);
    const auto record = Bytes(9, 1);
    EXPECT_EQ(ReadAll(ring, 9), record);
    EXPECT_EQ(ReadAll(ring, 100), record);
}

TEST(ByteRing, ReadAllTakesEveryPartOrNothing) {
    CByteRing ring;
    ASSERT_EQ(ring.Allocate(16), 1);
    const uint8_t filler[10] = {};
    ASSERT_EQ(ring.Write(filler, 10), 1);
    int32_t n = 10;
    uint8_t sink[10];
    ASSERT_EQ(ring.Read(sink, &n), 1);  // the next write wraps round the end
    const uint8_t record[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_EQ(ring.Write(record, 7), 1);

    uint8_t frame[5] = {}, label[4] = {};
    EXPECT_EQ(ring.ReadAll({{frame, 5}, {label, 4}}), 0) << "only 7 of 9 bytes are queued";
    EXPECT_EQ(ring.GetCount(), 7) << "a refused read takes nothing";

    ASSERT_EQ(ring.Write(record + 7, 2), 1);
    ASSERT_EQ(ring.ReadAll({{frame, 5}, {label, 4}}), 1);
    EXPECT_EQ(std::vector<uint8_t>(frame, frame + 5), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(std::vector<uint8_t>(label, label + 4), (std::vector<uint8_t>{6, 7, 8, 9}));
    EXPECT_EQ(ring.GetCount(), 0);
    EXPECT_EQ(ring.GetReadIndex(), -1);
}
