// tvq-convert run as a program on sources that ffmpeg makes from tvq-make's test pattern, so
// that every converted frame and second can be told apart by its marker and its tone.
#include "ToolTest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

class Convert : public ToolTest {
protected:
    void SetUp() override {
        if (std::system("ffmpeg -version >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "the ffmpeg tool is not installed";
    }

    int Convert_(const std::string& in, const std::string& out, const std::string& args = "") {
        return Shell(std::string(TVQ_CONVERT_PATH) + " " + in + " " + out + " " + args);
    }

    // A tvq-make test-pattern movie exported by ffmpeg as `name` with `encode` (ffmpeg output
    // options). The raw frames go in the right way up, the tones as they are.
    void MakeSource(const std::string& name, const std::string& makeArgs,
                    const std::string& encode) {
        const std::string tvq = File("pattern.tvq");
        ASSERT_EQ(Make(tvq + " " + makeArgs), 0) << output_;
        Movie m;
        ASSERT_TRUE(Read(tvq, m));
        const tvq::TvqStreamFormat& f = m.format;
        std::ofstream video(File("v.raw"), std::ios::binary),
            audio(File("a.raw"), std::ios::binary);
        for (size_t s = 0; s < m.pictures.size(); ++s) {
            for (const std::vector<uint8_t>& picture : m.pictures[s])
                for (int y = f.height - 1; y >= 0; --y)
                    video.write(reinterpret_cast<const char*>(picture.data()) + y * f.Stride(),
                                f.width * 3);
            audio.write(reinterpret_cast<const char*>(m.audio[s].data()),
                        static_cast<std::streamsize>(m.audio[s].size()));
        }
        video.close();
        audio.close();
        const std::string pcm = f.bitsPerSample == 8 ? "u8" : "s16le";
        ASSERT_EQ(
            Shell("ffmpeg -hide_banner -loglevel error -y -f rawvideo -pix_fmt bgr24 -s " +
                  std::to_string(f.width) + "x" + std::to_string(f.height) + " -r " +
                  std::to_string(f.framesPerSecond) + " -i " + File("v.raw") + " -f " + pcm +
                  " -ar " + std::to_string(f.sampleRate) + " -ac " + std::to_string(f.channels) +
                  " -i " + File("a.raw") + " " + encode + " " + File(name)),
            0)
            << output_;
    }

    // An ffmpeg lavfi source (no pattern), e.g. for sources without sound or of odd sizes.
    void MakeLavfi(const std::string& name, const std::string& args) {
        ASSERT_EQ(Shell("ffmpeg -hide_banner -loglevel error -y " + args + " " + File(name)), 0)
            << output_;
    }

    // Converts `in` to `out` (names in the folder) and reads the movie back; empty on failure.
    Movie Converted(const std::string& in, const std::string& out, const std::string& args = "") {
        Movie m;
        EXPECT_EQ(Convert_(File(in), File(out), args), 0) << output_;
        EXPECT_TRUE(Read(File(out), m)) << out;
        return m;
    }

    // Bytes that no container reads as a movie.
    void MakeJunk(const std::string& name) {
        std::ofstream junk(File(name), std::ios::binary);
        for (int i = 0; i < 5000; ++i) junk.put(static_cast<char>(i * 7919 % 251));
    }
};

TEST_F(Convert, H264AndVp9KeepEveryFrameAndToneInItsSecondAndTakeTheSoundOptions) {
    struct Case {
        const char* source;
        const char* make;
        const char* encode;
        const char* args;
        std::vector<int> fields;  // the movie's format, the source's 48000 Hz capped
        int seconds;
    };
    const Case cases[] = {
        {"in.mp4", "--size 192x144 --fps 25 --rate 22050 --seconds 3",
         "-c:v libx264 -preset veryfast -qp 12 -pix_fmt yuv420p -c:a aac -b:a 128k", "",
         Fields({25, 192, 144, 22050, 2, 16, tvq::kCodecJpeg, 85}), 3},
        {"in.webm", "--size 160x120 --fps 12 --rate 48000 --seconds 2",
         "-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -crf 10 -b:v 0 -c:a libopus",
         "--rate 16000 --channels 1 --bits 8 --quality 70",
         Fields({12, 160, 120, 16000, 1, 8, tvq::kCodecJpeg, 70}), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        MakeSource(c.source, c.make, c.encode);
        const Movie m = Converted(c.source, "out.tvq", c.args);
        EXPECT_EQ(Fields(m.format), c.fields);
        ASSERT_EQ(m.markerSecond.size(), static_cast<size_t>(c.seconds));
        for (int s = 0; s < c.seconds; ++s) {
            EXPECT_EQ(m.markerSecond[s].size(), static_cast<size_t>(m.format.framesPerSecond));
            EXPECT_EQ(m.audio[s].size(), static_cast<size_t>(m.format.AudioBytesPerSecond()));
        }
        ExpectInPlace(m, 0);
        // Nothing but the movie is left in the folder.
        EXPECT_FALSE(std::filesystem::exists(File("out.tvq.part")));
        int files = 0;
        for (const auto& e : std::filesystem::directory_iterator(folder_.Path()))
            files += e.path().filename().string().starts_with("out.tvq") ? 1 : 0;
        EXPECT_EQ(files, 1);
    }
}

TEST_F(Convert, MjpegAviFramesAreCopiedUnlessTheyMustChange) {
    MakeSource("in.avi", "--size 160x120 --fps 10 --rate 11025 --seconds 2",
               "-c:v mjpeg -pix_fmt yuvj420p -q:v 3 -c:a pcm_s16le");
    const Movie copied = Converted("in.avi", "copy.tvq");
    EXPECT_NE(output_.find("20 pictures copied"), std::string::npos) << output_;
    ASSERT_EQ(copied.markerSecond.size(), 2u);
    ExpectInPlace(copied, 0);
    // The very bytes of the source's pictures: what ffmpeg reads back from the AVI.
    ASSERT_EQ(Shell("ffmpeg -hide_banner -loglevel error -y -i " + File("in.avi") +
                    " -c:v copy -f image2 " + File("f%03d.jpg")),
              0)
        << output_;
    for (int n = 0; n < 20; ++n) {
        char name[24];  // room for any int, which GCC checks at -O0
        std::snprintf(name, sizeof name, "f%03d.jpg", n + 1);
        EXPECT_EQ(copied.stored[n / 10][n % 10], ReadBytes(File(name))) << "frame " << n;
    }
    // PCM at the source's rate passes unchanged too.
    std::vector<uint8_t> stored = copied.audio[0];
    stored.insert(stored.end(), copied.audio[1].begin(), copied.audio[1].end());
    EXPECT_EQ(stored, ReadBytes(File("a.raw")));

    // Re-coded when asked, or when the size or the rate changes.
    for (const char* args : {"--copy-jpeg never", "--size 128x96", "--fps 5"}) {
        const Movie coded = Converted("in.avi", "coded.tvq", args);
        EXPECT_NE(output_.find(" 0 pictures copied"), std::string::npos) << args << output_;
        ASSERT_EQ(coded.markerSecond.size(), 2u) << args;
        EXPECT_NE(coded.stored[0][0], copied.stored[0][0]) << args;
    }
    // 4:2:2 pictures are not what the movie stores: decoded and coded again.
    MakeSource("in422.avi", "--size 160x120 --fps 10 --rate 11025 --seconds 2",
               "-c:v mjpeg -pix_fmt yuvj422p -q:v 3 -c:a pcm_s16le");
    const Movie m422 = Converted("in422.avi", "422.tvq");
    EXPECT_NE(output_.find(" 0 pictures copied"), std::string::npos) << output_;
    ASSERT_EQ(m422.markerSecond.size(), 2u);
    ExpectInPlace(m422, 0);
}

TEST_F(Convert, FramesAreRetimedByTimeAlsoFromAVariableFrameRateSource) {
    // Second 0 whole, then only every third frame, each kept at its own time, and the last.
    MakeSource(
        "in.mp4", "--size 160x120 --fps 25 --rate 22050 --seconds 3",
        "-vf \"select='lt(n\\,25)+not(mod(n\\,3))+eq(n\\,74)'\" -fps_mode vfr -c:v libx264 -preset "
        "veryfast -qp 12 -pix_fmt yuv420p -c:a aac");
    // Each movie frame shows the source frame on screen at its time: fewer frames drop some,
    // more repeat them.
    for (int fps : {25, 12, 50}) {
        SCOPED_TRACE(testing::Message() << fps << " fps");
        const Movie m = Converted("in.mp4", "out.tvq", "--fps " + std::to_string(fps));
        ASSERT_EQ(m.markerSecond.size(), 3u);
        for (int s = 0; s < 3; ++s) {
            ASSERT_EQ(m.markerSecond[s].size(), static_cast<size_t>(fps)) << "second " << s;
            for (int i = 0; i < fps; ++i) {
                const int n = (s * fps + i) * 25 / fps;  // on screen in a source without gaps
                const int shown = n < 25 || n == 74 ? n : n - n % 3;
                EXPECT_EQ(m.markerSecond[s][i], shown / 25) << "second " << s << " frame " << i;
                EXPECT_EQ(m.markerFrame[s][i], shown % 25) << "second " << s << " frame " << i;
            }
            EXPECT_EQ(m.tone[s], s);
        }
    }
}

TEST_F(Convert, MonoEightKilohertzAndAShortLastSecond) {
    MakeSource("in.mkv",
               "--size 160x120 --fps 10 --rate 8000 --channels 1 --seconds 3 "
               "--short-last-second 500",
               "-c:v libx264 -preset veryfast -qp 12 -pix_fmt yuv420p -c:a pcm_s16le");
    const Movie m = Converted("in.mkv", "out.tvq");
    EXPECT_EQ(std::make_pair(m.format.sampleRate, m.format.channels), std::make_pair(8000, 2));
    ASSERT_EQ(m.markerSecond.size(), 3u);
    EXPECT_EQ(m.markerSecond[2].size(), 5u);
    EXPECT_EQ(m.audio[0].size(), 8000u * 4);
    EXPECT_EQ(m.audio[2].size(), 4000u * 4);  // half a second, as the pictures
    ExpectInPlace(m, 0);
}

TEST_F(Convert, SnippetAndSubstituteSound) {
    MakeSource("in.mkv", "--size 160x120 --fps 10 --rate 22050 --seconds 5",
               "-c:v libx264 -preset veryfast -qp 12 -pix_fmt yuv420p -c:a pcm_s16le");
    const Movie cut = Converted("in.mkv", "cut.tvq", "--start 1 --end 0:03.5");
    ASSERT_EQ(cut.markerSecond.size(), 3u);
    EXPECT_EQ(cut.markerSecond[2].size(), 5u);
    EXPECT_EQ(cut.audio[2].size(), 22050u * 2);  // 0.5 s, stereo 16-bit
    ExpectInPlace(cut, 1);

    // Another file's sound replaces the source's from the snippet's start.
    MakeLavfi("tone.wav", "-f lavfi -i sine=frequency=1000:sample_rate=44100 -t 10");
    const Movie dub = Converted("in.mkv", "dub.tvq", "--start 2 --audio " + File("tone.wav"));
    ASSERT_EQ(dub.markerSecond.size(), 3u);
    EXPECT_EQ(dub.format.sampleRate, 44100);
    ExpectInPlace(dub, 2, false);
    for (int s = 0; s < 3; ++s) EXPECT_NE(dub.tone[s], s + 2);  // the pattern's tones are gone

    // A sound file shorter than the pictures ends in silence.
    MakeLavfi("short.wav", "-f lavfi -i sine=frequency=1000:sample_rate=8000 -t 1");
    const Movie shortSound = Converted("in.mkv", "short.tvq", "--audio " + File("short.wav"));
    ASSERT_EQ(shortSound.audio.size(), 5u);
    EXPECT_EQ(shortSound.tone[4], -1);
}

TEST_F(Convert, SourceWithoutSoundAndOddSize) {
    MakeLavfi("in.mkv", "-f lavfi -i testsrc=size=161x97:rate=15 -t 2 -c:v ffv1");
    const Movie m = Converted("in.mkv", "out.tvq");
    EXPECT_EQ(m.format.width % 2, 0);
    EXPECT_EQ(m.format.height % 2, 0);
    EXPECT_LE(std::abs(m.format.width - 161), 1);
    EXPECT_LE(std::abs(m.format.height - 97), 1);
    EXPECT_EQ(m.format.framesPerSecond, 15);
    ASSERT_EQ(m.audio.size(), 2u);
    for (const auto& second : m.audio) {
        ASSERT_EQ(second.size(), static_cast<size_t>(m.format.sampleRate) * 4);
        EXPECT_EQ(std::count(second.begin(), second.end(), 0), static_cast<long>(second.size()));
    }
    // An explicit size is taken as it is.
    const Movie odd = Converted("in.mkv", "odd.tvq", "--size 99x75");
    EXPECT_EQ(std::make_pair(odd.format.width, odd.format.height), std::make_pair(99, 75));
}

TEST_F(Convert, SidewaysPhoneVideoIsTurnedUpright) {
    // Stored landscape with a display matrix turning it a quarter; ffmpeg's own decoding,
    // which honours the matrix, shows what upright means.
    MakeLavfi("plain.mp4",
              "-f lavfi -i testsrc=size=160x120:rate=10 -t 1 -c:v libx264 -qp 4 -pix_fmt yuv444p");
    for (const char* turn : {"90", "270", "180"}) {
        MakeLavfi("turned.mp4",
                  "-i " + File("plain.mp4") + " -c copy -metadata:s:v:0 rotate=" + turn);
        MakeLavfi("upright.bgr",
                  "-i " + File("turned.mp4") + " -frames:v 1 -f rawvideo -pix_fmt bgr24");
        ASSERT_EQ(Convert_(File("turned.mp4"), File("out.tvq"), "--quality 95"), 0) << output_;
        Movie m;
        ASSERT_TRUE(Read(File("out.tvq"), m));
        const tvq::TvqStreamFormat& f = m.format;
        const bool sideways = std::string(turn) != "180";
        EXPECT_EQ(f.width, sideways ? 120 : 160) << turn;
        EXPECT_EQ(f.height, sideways ? 160 : 120) << turn;
        const std::vector<uint8_t>& frame = m.pictures.at(0).at(0);
        const std::vector<uint8_t> upright = ReadBytes(File("upright.bgr"));
        ASSERT_EQ(upright.size(), static_cast<size_t>(f.width) * f.height * 3) << turn;
        long difference = 0;
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width * 3; ++x)
                difference +=
                    std::abs(frame[static_cast<size_t>(f.height - 1 - y) * f.Stride() + x] -
                             upright[static_cast<size_t>(y) * f.width * 3 + x]);
        EXPECT_LT(difference / static_cast<double>(upright.size()), 10.0) << turn;
    }
}

TEST_F(Convert, BadInputsFailWithOneLineAndLeaveNoMovie) {
    const std::string out = File("out.tvq");
    auto expectFailure = [&](const std::string& in, const std::string& args, int status,
                             const std::string& text) {
        EXPECT_EQ(Convert_(in, out, args), status) << in << " " << args;
        EXPECT_NE(output_.find(text), std::string::npos) << output_;
        if (status == 1) {
            EXPECT_EQ(std::count(output_.begin(), output_.end(), '\n'), 1) << output_;
        }
        EXPECT_TRUE(output_.starts_with("tvq-convert: ")) << output_;
        EXPECT_FALSE(std::filesystem::exists(out)) << in << " " << args;
    };
    MakeJunk("junk.mp4");
    expectFailure(File("junk.mp4"), "", 1, "Can not open file");
    expectFailure(File("missing.mp4"), "", 1, "Can not open file");
    MakeLavfi("good.mp4",
              "-f lavfi -i testsrc=size=160x120:rate=10 -f lavfi -i sine=sample_rate=8000 -t 2 "
              "-c:v libx264 -preset veryfast -c:a aac");
    const auto size = std::filesystem::file_size(File("good.mp4"));
    std::filesystem::copy_file(File("good.mp4"), File("cut.mp4"));
    std::filesystem::resize_file(File("cut.mp4"), size / 2);
    expectFailure(File("cut.mp4"), "", 1, "Can not open file");
    MakeLavfi("sound.wav", "-f lavfi -i sine=sample_rate=8000 -t 1");
    expectFailure(File("sound.wav"), "", 1, "has no video stream");
    expectFailure(File("good.mp4"), "--start 5", 1,
                  "The start time of snippet is invalid, the total time of source video is 2 "
                  "seconds!");
    expectFailure(File("good.mp4"), "--end 9", 1,
                  "The end time of snippet is invalid, the total time of source video is 2 "
                  "seconds!");
    expectFailure(File("good.mp4"), "--audio " + File("junk.mp4"), 1,
                  "The type of user audio file isn't right");
    for (const char* bad :
         {"--fps 0", "--size 0x10", "--bits 12", "--channels 3", "--quality 101", "--start x",
          "--start 3 --end 2", "--size 9000x10", "--copy-jpeg always", "--rate"})
        expectFailure(File("good.mp4"), bad, 2, "usage: tvq-convert");
    // A write that fails (here the file size limit) removes the partial movie.
    EXPECT_EQ(Shell("ulimit -f 20; " + std::string(TVQ_CONVERT_PATH) + " " + File("good.mp4") +
                    " " + out),
              1);
    EXPECT_NE(output_.find("writing " + out + " failed"), std::string::npos) << output_;
    EXPECT_FALSE(std::filesystem::exists(out));
    for (const auto& e : std::filesystem::directory_iterator(folder_.Path()))
        EXPECT_FALSE(e.path().filename().string().starts_with("out.tvq")) << e.path();
}

// Several inputs into a folder: a bad one fails on its own line and does not stop the next.
TEST_F(Convert, FolderBatchConvertsEachAndCountsFailures) {
    MakeSource("first.mp4", "--seconds 2 --size 160x120 --fps 10",
               "-c:v libx264 -preset veryfast -c:a aac");
    MakeJunk("junk.mp4");
    const std::string out = File("out");
    std::filesystem::create_directories(out);
    const std::string tool = std::string(TVQ_CONVERT_PATH) + " -o " + out + " ";
    EXPECT_EQ(Shell(tool + File("junk.mp4") + " " + File("first.mp4") + " " + File("gone.mp4")), 2)
        << output_;
    EXPECT_NE(output_.find("tvq-convert: " + File("junk.mp4") + ": Can not open file"),
              std::string::npos)
        << output_;
    EXPECT_NE(output_.find("tvq-convert: " + File("gone.mp4") + ": "), std::string::npos)
        << output_;
    EXPECT_FALSE(std::filesystem::exists(out + "/junk.tvq"));
    Movie m;
    ASSERT_TRUE(Read(out + "/first.tvq", m));
    EXPECT_EQ(m.markerSecond.size(), 2u);
    ExpectInPlace(m, 0);
    EXPECT_EQ(Shell(tool + File("first.mp4")), 0) << output_;
    EXPECT_EQ(Shell(tool), 2) << output_;  // no input is a bad command line
    EXPECT_NE(output_.find("usage: tvq-convert"), std::string::npos) << output_;
}

}  // namespace
