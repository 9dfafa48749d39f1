// tvq-make run as a program, its movies read back through the codec library.
#include "codec/TestPattern.h"
#include "codec/TvqFrameDecoder.h"
#include "codec/TvqReader.h"

#include "ToolTest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace {

class TvqMake : public ToolTest {
protected:
    // Runs tvq-make with `args` (shell words); returns its exit status.
    int Run(const std::string& args) { return Shell(std::string(TVQ_MAKE_PATH) + " " + args); }
};

TEST_F(TvqMake, TestPatternCarriesMarkersTonesAndAShortLastSecond) {
    const std::string path = File("t.tvq");
    ASSERT_EQ(Run(path + " --size 97x61 --fps 10 --rate 11025 --channels 1 --bits 8 --seconds 3"
                         " --codec jpeg --quality 60 --short-last-second 300"),
              0);
    tvq::TvqReader reader;
    ASSERT_TRUE(reader.Open(path));
    const tvq::TvqStreamFormat& f = reader.Format();
    EXPECT_EQ(Fields(f), Fields({10, 97, 61, 11025, 1, 8, tvq::kCodecJpeg, 60}));
    ASSERT_EQ(reader.SecondsCount(), 3);
    tvq::TvqFrameDecoder decoder;
    std::vector<uint8_t> frames(f.FrameBytes() * 10);
    for (int s = 0; s < 3; ++s) {
        tvq::TvqStoredSecond second;
        ASSERT_TRUE(reader.ReadSecond(s, second));
        const int stored = s == 2 ? 3 : 10;
        ASSERT_EQ(second.frames.size(), static_cast<size_t>(stored));
        EXPECT_EQ(second.audio.size(), s == 2 ? 3307u : 11025u);
        ASSERT_EQ(decoder.Decode(f, second, frames.data(), stored), stored);
        for (int i = 0; i < stored; ++i) {
            int ms = -1, mf = -1;
            EXPECT_TRUE(tvq::ReadFrameMarker(frames.data() + i * f.FrameBytes(), 97, 61, f.Stride(),
                                             ms, mf) &&
                        ms == s && mf == i)
                << "second " << s << " frame " << i << " marked " << ms << "," << mf;
        }
        EXPECT_EQ(tvq::DetectSecondFromPcm(second.audio.data(), second.audio.size(), 11025, 1, 8),
                  s);
    }
}

TEST_F(TvqMake, DemoMovesAndPlaysAMelodyWithMarkers) {
    const std::string path = File("d.tvq");
    ASSERT_EQ(Run(path + " --pattern demo --size 160x120 --fps 8 --seconds 2 --codec raw"), 0);
    tvq::TvqReader reader;
    ASSERT_TRUE(reader.Open(path));
    const tvq::TvqStreamFormat& f = reader.Format();
    tvq::TvqStoredSecond second;
    ASSERT_TRUE(reader.ReadSecond(1, second));
    ASSERT_EQ(second.frames.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        int ms = -1, mf = -1;
        EXPECT_TRUE(tvq::ReadFrameMarker(second.frames[i].data(), 160, 120, f.Stride(), ms, mf) &&
                    ms == 1 && mf == i)
            << "frame " << i << " marked " << ms << "," << mf;
    }
    // Something moves: consecutive frames differ outside the marker.
    const auto& a = second.frames[2];
    const auto& b = second.frames[3];
    EXPECT_FALSE(std::equal(a.begin(), a.begin() + f.FrameBytes() / 2, b.begin()));
    // The melody is audible: well above silence, below clipping.
    double sum = 0;
    int peak = 0;
    for (size_t i = 0; i + 1 < second.audio.size(); i += 2) {
        const int v = static_cast<int16_t>(second.audio[i] | second.audio[i + 1] << 8);
        sum += double(v) * v;
        peak = std::max(peak, std::abs(v));
    }
    const double rms = std::sqrt(sum / (second.audio.size() / 2)) / 32768;
    EXPECT_GT(rms, 0.03);
    EXPECT_LT(peak, 32767);
}

TEST_F(TvqMake, SyncBurstsStartOnEachFrameWithThePitchOfItsIndex) {
    const std::string path = File("s.tvq");
    ASSERT_EQ(Run(path + " --pattern sync --size 64x48 --fps 25 --rate 44100 --channels 1"
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
        EXPECT_EQ(Run(out + " " + args), 2) << args;
        EXPECT_FALSE(std::filesystem::exists(out)) << args;
    }
    EXPECT_EQ(Run("--seconds 1"), 2);  // no output file
    EXPECT_EQ(Run(File("no/such/folder/x.tvq") + " --seconds 1"), 1);
}

}  // namespace
