// tvq-make run as a program, its movies read back through the codec library.
#include "codec/TestPattern.h"
#include "codec/TvqFrameDecoder.h"
#include "codec/TvqReader.h"

#include "ScratchFolderTest.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace {

class TvqMake : public ScratchFolderTest {
protected:
    TvqMake() : ScratchFolderTest("tvq-make") {}

    // Runs tvq-make with `args` (shell words); returns its exit status.
    int Run(const std::string& args) {
        const std::string command = std::string(TVQ_MAKE_PATH) + " " + args + " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string File(const std::string& name) const { return dir_ + "/" + name; }
};

TEST_F(TvqMake, TestPatternCarriesMarkersTonesAndAShortLastSecond) {
    const std::string path = File("t.tvq");
    ASSERT_EQ(Run(path + " --size 97x61 --fps 10 --rate 11025 --channels 1 --bits 8 --seconds 3"
                         " --codec jpeg --quality 60 --short-last-second 300"),
              0);
    tvq::TvqReader reader;
    ASSERT_TRUE(reader.Open(path));
    const tvq::TvqStreamFormat& f = reader.Format();
    EXPECT_EQ(f.width, 97);
    EXPECT_EQ(f.height, 61);
    EXPECT_EQ(f.framesPerSecond, 10);
    EXPECT_EQ(f.sampleRate, 11025);
    EXPECT_EQ(f.channels, 1);
    EXPECT_EQ(f.bitsPerSample, 8);
    EXPECT_EQ(f.videoCodec, tvq::kCodecJpeg);
    EXPECT_EQ(f.jpegQuality, 60);
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
            ASSERT_TRUE(tvq::ReadFrameMarker(frames.data() + i * f.FrameBytes(), 97, 61, f.Stride(),
                                             ms, mf));
            EXPECT_EQ(ms, s);
            EXPECT_EQ(mf, i);
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
        ASSERT_TRUE(tvq::ReadFrameMarker(second.frames[i].data(), 160, 120, f.Stride(), ms, mf));
        EXPECT_EQ(ms, 1);
        EXPECT_EQ(mf, i);
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

TEST_F(TvqMake, DefaultsAreA10SecondQvgaJpegMovie) {
    const std::string path = File("default.tvq");
    ASSERT_EQ(Run(path), 0);
    tvq::TvqReader reader;
    ASSERT_TRUE(reader.Open(path));
    EXPECT_EQ(reader.Format().width, 320);
    EXPECT_EQ(reader.Format().height, 240);
    EXPECT_EQ(reader.Format().framesPerSecond, 25);
    EXPECT_EQ(reader.Format().sampleRate, 22050);
    EXPECT_EQ(reader.Format().channels, 2);
    EXPECT_EQ(reader.Format().bitsPerSample, 16);
    EXPECT_EQ(reader.Format().videoCodec, tvq::kCodecJpeg);
    EXPECT_EQ(reader.Format().jpegQuality, 85);
    EXPECT_EQ(reader.SecondsCount(), 10);
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
