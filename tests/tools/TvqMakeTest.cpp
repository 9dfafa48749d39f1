// tvq-make run as a program, its movies read back through the codec library.
#include "ToolTest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace {

using TvqMake = ToolTest;

TEST_F(TvqMake, TestPatternCarriesMarkersTonesAndAShortLastSecond) {
    const std::string path = File("t.tvq");
    ASSERT_EQ(Make(path + " --size 97x61 --fps 10 --rate 11025 --channels 1 --bits 8 --seconds 3"
                          " --codec jpeg --quality 60 --short-last-second 300"),
              0);
    Movie m;
    ASSERT_TRUE(Read(path, m));
    EXPECT_EQ(Fields(m.format), Fields({10, 97, 61, 11025, 1, 8, tvq::kCodecJpeg, 60}));
    ASSERT_EQ(m.markerSecond.size(), 3u);
    for (int s = 0; s < 3; ++s) {
        EXPECT_EQ(m.markerSecond[s].size(), s == 2 ? 3u : 10u);
        EXPECT_EQ(m.audio[s].size(), s == 2 ? 3307u : 11025u);
    }
    ExpectInPlace(m, 0);
}

TEST_F(TvqMake, DemoMovesAndPlaysAMelodyWithMarkers) {
    const std::string path = File("d.tvq");
    ASSERT_EQ(Make(path + " --pattern demo --size 160x120 --fps 8 --seconds 2 --codec raw"), 0);
    Movie m;
    ASSERT_TRUE(Read(path, m));
    ASSERT_EQ(m.markerSecond.size(), 2u);
    EXPECT_EQ(m.markerSecond[1], std::vector<int>(8, 1));
    EXPECT_EQ(m.markerFrame[1], (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    // Something moves: consecutive frames differ outside the marker.
    const auto& a = m.stored[1][2];
    const auto& b = m.stored[1][3];
    EXPECT_FALSE(std::equal(a.begin(), a.begin() + m.format.FrameBytes() / 2, b.begin()));
    const std::vector<uint8_t>& audio = m.audio[1];
    // The melody is audible: well above silence, below clipping.
    double sum = 0;
    int peak = 0;
    for (size_t i = 0; i + 1 < audio.size(); i += 2) {
        const int v = static_cast<int16_t>(audio[i] | audio[i + 1] << 8);
        sum += double(v) * v;
        peak = std::max(peak, std::abs(v));
    }
    const double rms = std::sqrt(sum / (audio.size() / 2)) / 32768;
    EXPECT_GT(rms, 0.03);
    EXPECT_LT(peak, 32767);
}

TEST_F(TvqMake, SyncBurstsStartOnEachFrameWithThePitchOfItsIndex) {
    const std::string path = File("s.tvq");
    ASSERT_EQ(Make(path + " --pattern sync --size 64x48 --fps 25 --rate 44100 --channels 1"
                          " --seconds 2 --codec raw"),
              0);
    tvq::TvqReader reader;
    ASSERT_TRUE(reader.Open(path));
    tvq::TvqStoredSecond second;
    ASSERT_TRUE(reader.ReadSecond(1, second));
    ASSERT_EQ(second.audio.size(), 2u * 44100);
    const auto sample = [&](long i) {
        return static_cast<int16_t>(second.audio[2 * i] | second.audio[2 * i + 1] << 8);
    };
    for (long k = 0; k < 25; ++k) {
        const long start = k * 1764, burst = 882;  // 40 ms frames, 20 ms bursts
        EXPECT_EQ(sample(start), 0);
        EXPECT_GT(sample(start + 1), 0) << "frame " << k << " starts silent";
        int crossings = 0;
        for (long i = start + 1; i < start + burst; ++i)
            crossings += (sample(i) >= 0) != (sample(i - 1) >= 0);
        EXPECT_NEAR(crossings, 2 * (600 + 120 * k) * burst / 44100, 2) << "frame " << k;
        for (long i = start + burst; i < start + 1764; ++i)
            ASSERT_EQ(sample(i), 0) << "frame " << k << " sounds at " << i - start;
    }
}

TEST_F(TvqMake, BadCommandLinesExitWith2AndWriteNothing) {
    const std::string out = File("x.tvq");
    for (const char* args :
         {"--size 0x10", "--size 320", "--size 9000x10", "--bits 12", "--channels 3", "--fps 0",
          "--fps 121", "--rate 0", "--seconds 0", "--codec mpeg", "--quality 101", "--pattern bars",
          "--short-last-second 1000", "--seconds", "--fps 2x", "--frobnicate 1", "second.tvq"}) {
        EXPECT_EQ(Make(out + " " + args), 2) << args;
        EXPECT_FALSE(std::filesystem::exists(out)) << args;
    }
    EXPECT_EQ(Make("--seconds 1"), 2);  // no output file
    EXPECT_EQ(Make(File("no/such/folder/x.tvq") + " --seconds 1"), 1);
}

}  // namespace
