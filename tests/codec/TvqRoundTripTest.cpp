// The writer and the reader against each other, and the bytes the player itself reads.
#include "CodecTestSupport.h"
#include "codec/TvqFrameDecoder.h"
#include "codec/TvqReader.h"

using namespace tvqtest;

namespace {

TEST(TvqRoundTrip, RawFramesAndPcmComeBackExactlyAndShortSecondsArePadded) {
    TempFolder dir;
    const auto f = Format(97, 61, 7, 11025, 1, 8, tvq::kCodecRaw, 0);  // RAW keeps no quality
    std::mt19937 rng(1);
    std::vector<std::vector<uint8_t>> frames, audio;
    tvq::TvqWriter writer;
    ASSERT_TRUE(writer.Open(dir.File("raw.tvq"), f));
    const int frameCounts[] = {7, 7, 3};
    const size_t audioBytes[] = {11025, 11025, 5001};
    for (int s = 0; s < 3; ++s) {
        std::vector<uint8_t> all;
        for (int i = 0; i < frameCounts[s]; ++i) {
            frames.push_back(NoisyFrame(f.width, f.height, static_cast<unsigned>(s * 10 + i)));
            all.insert(all.end(), frames.back().begin(), frames.back().end());
        }
        audio.emplace_back(audioBytes[s]);
        for (auto& b : audio.back()) b = static_cast<uint8_t>(rng());
        ASSERT_TRUE(writer.WriteSecond(all.data(), frameCounts[s], audio.back().data(),
                                       audio.back().size()));
    }
    ASSERT_TRUE(writer.Close());

    tvq::TvqReader reader;
    ASSERT_TRUE(reader.Open(dir.File("raw.tvq")));
    EXPECT_EQ(Fields(reader.Format()), Fields(f));
    ASSERT_EQ(reader.SecondsCount(), 3);
    tvq::TvqFrameDecoder decoder;
    std::vector<uint8_t> out(f.FrameBytes() * 7);
    size_t next = 0;
    for (int s = 0; s < 3; ++s) {
        tvq::TvqStoredSecond second;
        ASSERT_TRUE(reader.ReadSecond(s, second));
        EXPECT_EQ(std::vector<uint8_t>(second.audio.begin(), second.audio.end()), audio[s]);
        ASSERT_EQ(second.frames.size(), static_cast<size_t>(frameCounts[s]));
        EXPECT_EQ(decoder.Decode(f, second, out.data(), 7), frameCounts[s]);
        for (int i = 0; i < 7; ++i) {
            const auto& expected = frames[next + std::min(i, frameCounts[s] - 1)];
            ASSERT_EQ(std::memcmp(out.data() + i * f.FrameBytes(), expected.data(), f.FrameBytes()),
                      0)
                << "second " << s << " frame " << i;
        }
        next += frameCounts[s];
    }
    tvq::TvqStoredSecond none;
    EXPECT_FALSE(reader.ReadSecond(3, none));
    EXPECT_FALSE(reader.ReadSecond(-1, none));
}

TEST(TvqRoundTrip, JpegFramesKeepTheirMarkersAtEveryQuality) {
    TempFolder dir;
    for (int quality : {50, 85, 100}) {
        const auto f = Format(321, 239, 25, 8000, 2, 16, tvq::kCodecJpeg, quality);
        const std::string path = dir.File("q" + std::to_string(quality) + ".tvq");
        ASSERT_TRUE(WriteMarkedMovie(path, f, 2));
        tvq::TvqReader reader;
        ASSERT_TRUE(reader.Open(path));
        EXPECT_EQ(reader.Format().jpegQuality, quality);
        // One decoder for every pass: its second thread must take each new second, size and
        // buffer, not the one before.
        tvq::TvqFrameDecoder decoder;
        struct Pass {
            int second, framesOut;
        };
        for (const Pass pass : {Pass{0, 25}, Pass{1, 25}, Pass{0, 13}, Pass{1, 4}}) {
            const int s = pass.second;
            std::vector<uint8_t> out(f.FrameBytes() * static_cast<size_t>(pass.framesOut));
            tvq::TvqStoredSecond second;
            ASSERT_TRUE(reader.ReadSecond(s, second));
            ASSERT_EQ(decoder.Decode(f, second, out.data(), pass.framesOut), pass.framesOut);
            for (int i = 0; i < pass.framesOut; ++i)
                EXPECT_EQ(Marker(out.data() + i * f.FrameBytes(), f.width, f.height),
                          std::make_pair(s, i));
            EXPECT_EQ(
                tvq::DetectSecondFromPcm(second.audio.data(), second.audio.size(), 8000, 2, 16), s);
        }
    }
}

TEST(TvqFormat, FixedHeaderBytesAndPackedLengthAtOffset84) {
    TempFolder dir;
    const auto f = Format(32, 24, 2, 8000, 1, 8, tvq::kCodecJpeg, 60);
    ASSERT_TRUE(WriteMarkedMovie(dir.File("m.tvq"), f, 75));
    const auto bytes = ReadFileBytes(dir.File("m.tvq"));
    ASSERT_GE(bytes.size(), 96u);
    const uint8_t fixed[28] = {'R', 'I', 'F', 'F', 0, 0, 0,   0,   'T', 'V', 'Q', ' ', 'L', 'I',
                               'S', 'T', 0,   0,   0, 0, 'h', 'd', 'r', 'l', 't', 'v', 'q', 'h'};
    EXPECT_EQ(std::memcmp(bytes.data(), fixed, 28), 0);
    // The stream header fields where docs/tvq-format.md puts them; 75 s = 0 h 1 min 15 s.
    const struct {
        size_t at;
        uint32_t value;
        int bytes;
    } fields[] = {{28, 96, 4},   {32, 1, 2}, {36, 2, 4}, {40, 32, 4}, {44, 24, 4},
                  {48, 8000, 4}, {52, 1, 2}, {54, 8, 2}, {64, 75, 4}, {68, 3, 4},
                  {84, 15, 1},   {85, 1, 1}, {86, 0, 2}};
    for (const auto& field : fields)
        EXPECT_EQ(field.bytes == 4   ? tvq::GetU32(&bytes[field.at])
                  : field.bytes == 2 ? tvq::GetU16(&bytes[field.at])
                                     : bytes[field.at],
                  field.value)
            << "offset " << field.at;
    EXPECT_EQ(std::memcmp(&bytes[56], "JPEG", 4), 0);
}

TEST(TvqFormat, PackedLengthSplitsHoursMinutesSeconds) {
    EXPECT_EQ(tvq::PackLength(3723), 0x00010203);
    EXPECT_EQ(tvq::UnpackLength(0x00010203), 3723u);
    EXPECT_EQ(tvq::PackLength(59), 59);
    EXPECT_EQ(tvq::PackLength(60), 0x100);
    for (uint32_t s : {0u, 1u, 3599u, 3600u, 86399u, 32767u * 3600u + 3599u})
        EXPECT_EQ(tvq::UnpackLength(tvq::PackLength(s)), s) << s;
    EXPECT_EQ(tvq::UnpackLength(static_cast<int32_t>(0xFFFF0000u)), 0u);  // negative hours
}

TEST(TvqWriter, RefusesWhatNoReaderWouldAcceptAndKeepsTheMovieUsable) {
    TempFolder dir;
    tvq::TvqWriter writer;
    const uint32_t raw = tvq::kCodecRaw;
    for (const tvq::TvqStreamFormat& bad :
         {Format(0, 24, 2, 8000, 1, 16, raw), Format(32, 8193, 2, 8000, 1, 16, raw),
          Format(32, 24, 121, 8000, 1, 16, raw), Format(32, 24, 2, 0, 1, 16, raw),
          Format(32, 24, 2, 8000, 3, 16, raw), Format(32, 24, 2, 8000, 1, 12, raw),
          Format(32, 24, 2, 8000, 1, 16, tvq::FourCc('M', 'P', 'G', '4')),
          Format(32, 24, 2, 8000, 1, 16, tvq::kCodecJpeg, 0)})
        EXPECT_FALSE(writer.Open(dir.File("bad.tvq"), bad)) << testing::PrintToString(Fields(bad));
    const auto good = Format(32, 24, 2, 8000, 1, 16, raw);
    EXPECT_FALSE(writer.Open(dir.File("no/such/folder.tvq"), good));

    ASSERT_TRUE(writer.Open(dir.File("m.tvq"), good));
    std::vector<uint8_t> frames(good.FrameBytes() * 3), pcm(good.AudioBytesPerSecond() + 2);
    EXPECT_TRUE(writer.WriteSecond(frames.data(), 2, pcm.data(), 16000));
    EXPECT_FALSE(writer.WriteSecond(frames.data(), 3, pcm.data(), 16000));  // > fps frames
    EXPECT_FALSE(writer.WriteSecond(frames.data(), 2, pcm.data(), 16002));  // > one second
    EXPECT_FALSE(writer.WriteSecond(frames.data(), 2, pcm.data(), 15999));  // half a sample
    EXPECT_FALSE(writer.WriteSecond(nullptr, 2, pcm.data(), 16000));
    EXPECT_TRUE(writer.WriteSecond(frames.data(), 1, pcm.data(), 8000));
    ASSERT_TRUE(writer.Close());
    tvq::TvqReader reader;
    ASSERT_TRUE(reader.Open(dir.File("m.tvq")));
    EXPECT_EQ(reader.SecondsCount(), 2);
}

}  // namespace
