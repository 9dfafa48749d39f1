// Damaged, hostile and future files: refused at open (null) or ended with 2, never a crash or
// a read out of bounds (run under AddressSanitizer in CI).
#include "CodecTestSupport.h"
#include "codec/TestPattern.h"
#include "codec/TvqReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace tvqtest;

namespace {

// Builds a RAW 32 x 24, 2 fps, 8000 Hz mono 8-bit movie by hand, with every size the format
// lets a later version grow.
struct ForgedMovie {
    uint32_t headerBytes = 96;
    uint16_t version = 1, readerVersion = 1;
    uint32_t chunkHeaderBytes = 24;
    uint32_t entryBytes = 16;
    int seconds = 2;

    std::vector<uint8_t> Build() const {
        tvq::TvqFileHeader header;
        header.format.width = 32;
        header.format.height = 24;
        header.format.framesPerSecond = 2;
        header.format.sampleRate = 8000;
        header.format.channels = 1;
        header.format.bitsPerSample = 8;
        header.format.videoCodec = tvq::kCodecRaw;
        const tvq::TvqStreamFormat& f = header.format;
        std::vector<uint8_t> file(headerBytes, 0xAB);
        std::vector<std::pair<uint64_t, uint32_t>> index;
        for (int s = 0; s < seconds; ++s) {
            const size_t start = file.size();
            std::vector<uint8_t> head(chunkHeaderBytes, 0xCD);
            tvq::PutU32(&head[0], tvq::kChunkTag);
            tvq::PutU32(&head[4], chunkHeaderBytes);
            tvq::PutU32(&head[8], static_cast<uint32_t>(s));
            tvq::PutU32(&head[12], 8000);
            tvq::PutU32(&head[16], 2);
            file.insert(file.end(), head.begin(), head.end());
            std::vector<uint8_t> pcm(8000);
            tvq::WriteToneForSecond(pcm.data(), s, 0, 8000, 8000, 1, 8);
            file.insert(file.end(), pcm.begin(), pcm.end());
            for (int i = 0; i < 2; ++i) {
                std::vector<uint8_t> frame(f.FrameBytes(), 0x40);
                tvq::WriteFrameMarker(frame.data(), 32, 24, f.Stride(), s, i);
                uint8_t size[4];
                tvq::PutU32(size, static_cast<uint32_t>(frame.size()));
                file.insert(file.end(), size, size + 4);
                file.insert(file.end(), frame.begin(), frame.end());
            }
            index.emplace_back(start, static_cast<uint32_t>(file.size() - start));
        }
        header.indexOffset = file.size();
        header.secondsCount = static_cast<uint32_t>(seconds);
        header.packedLength = tvq::PackLength(header.secondsCount);
        std::vector<uint8_t> indexBytes(16 + entryBytes * index.size(), 0xEF);
        tvq::PutU32(&indexBytes[0], tvq::kIndexTag);
        tvq::PutU32(&indexBytes[4], static_cast<uint32_t>(index.size()));
        tvq::PutU32(&indexBytes[8], entryBytes);
        for (size_t i = 0; i < index.size(); ++i) {
            tvq::PutU64(&indexBytes[16 + i * entryBytes], index[i].first);
            tvq::PutU32(&indexBytes[16 + i * entryBytes + 8], index[i].second);
        }
        file.insert(file.end(), indexBytes.begin(), indexBytes.end());
        tvq::EncodeFileHeader(header, file.data());
        tvq::PutU32(&file[28], headerBytes);
        tvq::PutU16(&file[32], version);
        tvq::PutU16(&file[34], readerVersion);
        return file;
    }
};

enum class Outcome { Refused, Played, EndedEarly };

// Opens the file through the component and plays it to its end. Fails the test if the stream
// does not end within its announced length plus one call.
Outcome PlayThrough(const Component& component, const std::string& path) {
    OpenMovie movie(component, path);
    if (!movie.info)
        return Outcome::Refused;
    const int announced = static_cast<int>(tvq::UnpackLength(movie.info->packedLength));
    for (int call = 0; call <= announced; ++call) {
        const int result = movie.Next();
        EXPECT_GE(movie.audioCount, 0);
        EXPECT_GE(movie.frameCount, 0);
        if (result == kTvqEndOfFile)
            return movie.frameCount > 0 && call + 1 == announced ? Outcome::Played
                                                                 : Outcome::EndedEarly;
    }
    ADD_FAILURE() << "stream did not end: " << path;
    return Outcome::Played;
}

class BadInput : public ::testing::Test {
protected:
    Outcome Play(const std::vector<uint8_t>& bytes) {
        WriteFileBytes(path_, bytes);
        return PlayThrough(component_, path_);
    }
    Component component_;
    TempFolder dir_;
    std::string path_ = dir_.File("bad.tvq");
};

TEST_F(BadInput, LaterVersionsWithLargerRecordsAreReadByTheirSizes) {
    ForgedMovie future;
    future.headerBytes = 160;
    future.version = 3;
    future.chunkHeaderBytes = 40;
    future.entryBytes = 32;
    EXPECT_EQ(Play(future.Build()), Outcome::Played);
    future.readerVersion = 2;  // "readers older than 2 must not try"
    EXPECT_EQ(Play(future.Build()), Outcome::Refused);
    EXPECT_EQ(Play(ForgedMovie{}.Build()), Outcome::Played);
}

TEST_F(BadInput, TruncatedAnywhereIsRefusedOrEndsEarly) {
    tvq::TvqStreamFormat f;
    f.width = 40, f.height = 30, f.framesPerSecond = 4, f.sampleRate = 8000, f.channels = 1;
    ASSERT_TRUE(WriteMarkedMovie(dir_.File("good.tvq"), f, 3));
    const auto good = ReadFileBytes(dir_.File("good.tvq"));
    ASSERT_EQ(Play(good), Outcome::Played);
    for (size_t cut = 0; cut < good.size(); cut += (cut < 200 ? 1 : good.size() / 97)) {
        const std::vector<uint8_t> part(good.begin(), good.begin() + static_cast<long>(cut));
        EXPECT_NE(Play(part), Outcome::Played) << "cut at " << cut;
    }
    std::vector<uint8_t> lastByteMissing(good.begin(), good.end() - 1);
    EXPECT_NE(Play(lastByteMissing), Outcome::Played);
}

TEST_F(BadInput, WrongMagicInAnyOfTheFirst28BytesIsRefused) {
    const auto good = ForgedMovie{}.Build();
    for (size_t i = 0; i < 28; ++i) {
        auto bytes = good;
        bytes[i] ^= 0x20;
        EXPECT_EQ(Play(bytes), Outcome::Refused) << "byte " << i;
    }
}

TEST_F(BadInput, AbsurdStreamHeadersAreRefused) {
    const auto good = ForgedMovie{}.Build();
    struct Patch {
        size_t offset;
        uint32_t value;
        int bytes;
    };
    const Patch patches[] = {
        {40, 0, 4},           {40, 8193, 4}, {40, 0x80000000u, 4}, {44, 0, 4},
        {44, 8193, 4},        {36, 0, 4},    {36, 121, 4},         {48, 0, 4},
        {48, 192001, 4},      {52, 0, 2},    {52, 3, 2},           {54, 12, 2},
        {54, 0, 2},           {68, 4, 4},    {56, 0x4D504547, 4},  {28, 95, 4},
        {28, 0xFFFFFFFFu, 4}, {64, 3, 4},    {64, 0xFFFFFFFFu, 4}, {72, 0, 4},
        {72, 0xFFFFFFF0u, 4}, {76, 1, 4},    {34, 9, 2},           {32, 0, 2},
    };
    for (const Patch& p : patches) {
        auto bytes = good;
        if (p.bytes == 2)
            tvq::PutU16(&bytes[p.offset], static_cast<uint16_t>(p.value));
        else
            tvq::PutU32(&bytes[p.offset], p.value);
        EXPECT_EQ(Play(bytes), Outcome::Refused) << "offset " << p.offset << " = " << p.value;
    }
}

TEST_F(BadInput, IndexEntriesOutsideTheFileAreRefused) {
    const auto good = ForgedMovie{}.Build();
    const size_t index = tvq::GetU64(&good[72]);
    const size_t entry1 = index + 16 + 16;
    for (uint64_t offset : {uint64_t{0}, uint64_t{95}, uint64_t{good.size()},
                            uint64_t{good.size()} + 1000, ~uint64_t{0}}) {
        auto bytes = good;
        tvq::PutU64(&bytes[entry1], offset);
        EXPECT_EQ(Play(bytes), Outcome::Refused) << offset;
    }
    for (uint32_t size : {0u, 23u, static_cast<uint32_t>(good.size()), 0xFFFFFFFFu}) {
        auto bytes = good;
        tvq::PutU32(&bytes[entry1 + 8], size);
        EXPECT_EQ(Play(bytes), Outcome::Refused) << size;
    }
    auto bytes = good;
    tvq::PutU32(&bytes[index + 4], 3);  // more entries than seconds
    EXPECT_EQ(Play(bytes), Outcome::Refused);
    bytes = good;
    tvq::PutU32(&bytes[index + 8], 8);  // entries smaller than version 1's
    EXPECT_EQ(Play(bytes), Outcome::Refused);
}

TEST_F(BadInput, DamagedChunksEndTheStreamAtThatSecond) {
    const auto good = ForgedMovie{}.Build();
    const size_t index = tvq::GetU64(&good[72]);
    const size_t chunk1 = tvq::GetU64(&good[index + 16 + 16]);
    struct Patch {
        size_t at;
        uint32_t value;
    };
    const Patch patches[] = {
        {0, 0x41414141},                            // tag
        {4, 0},          {4, 0xFFFFFFFFu},          // chunk header size
        {8, 0},                                     // claims to be second 0
        {12, 8001},      {12, 0xFFFFFFF0u},         // more than one second of audio
        {16, 3},         {16, 0xFFFFFFFFu},         // more frames than fps
        {24 + 8000, 5},  {24 + 8000, 0xFFFFFFFFu},  // a RAW frame of the wrong size
    };
    for (const Patch& p : patches) {
        auto bytes = good;
        tvq::PutU32(&bytes[chunk1 + p.at], p.value);
        WriteFileBytes(path_, bytes);
        OpenMovie damaged(component_, path_);
        ASSERT_NE(damaged.info, nullptr);
        EXPECT_EQ(damaged.Next(), 1);
        EXPECT_EQ(damaged.frameCount, 2);
        EXPECT_EQ(damaged.Next(), kTvqEndOfFile) << "patch at " << p.at;
        EXPECT_EQ(damaged.frameCount, 0);
        EXPECT_EQ(damaged.audioCount, 0);
    }
}

TEST_F(BadInput, CorruptJpegFramesBecomeBlackOrRepeatedFrames) {
    tvq::TvqStreamFormat f;
    f.width = 64, f.height = 48, f.framesPerSecond = 6, f.sampleRate = 8000, f.channels = 1;
    f.videoCodec = tvq::kCodecJpeg;
    ASSERT_TRUE(WriteMarkedMovie(dir_.File("good.tvq"), f, 2));
    auto bytes = ReadFileBytes(dir_.File("good.tvq"));
    // Frames 0 and 3 of second 1: one scribbled over, one turned into a JPEG of another size.
    const size_t index = tvq::GetU64(&bytes[72]);
    size_t pos = tvq::GetU64(&bytes[index + 16 + 16]) + 24 + 16000;
    std::vector<size_t> frameAt;
    for (int i = 0; i < 6; ++i) {
        frameAt.push_back(pos + 4);
        pos += 4 + tvq::GetU32(&bytes[pos]);
    }
    std::memset(&bytes[frameAt[0]], 0x5A, 200);
    bytes[frameAt[3] + 0xA3] ^= 0xFF;  // somewhere in the frame header's size fields
    for (size_t i = frameAt[3]; i + 8 < frameAt[4]; ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {  // start of frame: make it 16 x 48
            tvq::PutU16(&bytes[i + 7], 0x1000);
            break;
        }
    WriteFileBytes(path_, bytes);
    OpenMovie movie(component_, path_);
    ASSERT_NE(movie.info, nullptr);
    EXPECT_EQ(movie.Next(), 1);
    EXPECT_EQ(movie.Next(), kTvqEndOfFile);
    ASSERT_EQ(movie.frameCount, 6);
    const uint8_t* frame0 = movie.Frame(0);
    EXPECT_TRUE(std::all_of(frame0, frame0 + movie.FrameBytes(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(std::memcmp(movie.Frame(3), movie.Frame(2), movie.FrameBytes()), 0);
    int s = -1, fr = -1;
    ASSERT_TRUE(tvq::ReadFrameMarker(movie.Frame(5), 64, 48, f.Stride(), s, fr));
    EXPECT_EQ(s, 1);
    EXPECT_EQ(fr, 5);
}

TEST_F(BadInput, EmptyFilesFoldersMissingFilesAndOverlongPathsAreRefused) {
    ASSERT_TRUE(component_.Loaded());
    EXPECT_EQ(Play({}), Outcome::Refused);
    EXPECT_EQ(component_.Init(dir_.Path()), nullptr);
    EXPECT_EQ(component_.Init(dir_.File("missing.tvq")), nullptr);
    EXPECT_EQ(component_.Init(""), nullptr);
    // A block without a terminator must not be read past its 264 bytes.
    TvqOpenBlock block;
    std::memset(block.path, 'a', sizeof block.path);
    EXPECT_EQ(component_.InitBlock(&block), nullptr);
    EXPECT_EQ(component_.InitBlock(nullptr), nullptr);
    tvq::TvqReader reader;
    EXPECT_FALSE(reader.OpenMemory(nullptr, 0));
    const auto forged = ForgedMovie{}.Build();
    EXPECT_TRUE(reader.OpenMemory(forged.data(), forged.size()));
    EXPECT_FALSE(reader.OpenMemory(forged.data(), 95));
}

}  // namespace
