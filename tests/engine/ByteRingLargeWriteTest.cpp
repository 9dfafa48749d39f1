// Frame-sized writes, which bypass the caches on their way into the ring: every byte arrives,
// whatever the alignment of either side, also across the buffer's end, and the bytes around
// them are left alone.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/ByteRing.h"

namespace {

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
