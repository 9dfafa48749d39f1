// Damaged, hostile and future files: refused at open (null) or ended with 2, never a crash or
// a read out of bounds (run under AddressSanitizer in CI).
#include "CodecTestSupport.h"
#include "codec/TvqChunkIndex.h"
#include "codec/TvqReader.h"
#include "codec/TvqStreamDecoder.h"

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
        header.format = Format(32, 24, 2, 8000, 1, 8, tvq::kCodecRaw);
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

// Entry i of a good file's index: where chunk i starts; its size follows.
const uint8_t* IndexEntry(const std::vector<uint8_t>& good, uint32_t i) {
    return &good[tvq::GetU64(&good[72]) + 16 + 16 * i];
}

// Where each chunk ends.
std::vector<size_t> ChunkEnds(const std::vector<uint8_t>& good) {
    std::vector<size_t> ends;
    for (uint32_t i = 0; i < tvq::GetU32(&good[tvq::GetU64(&good[72]) + 4]); ++i)
        ends.push_back(tvq::GetU64(IndexEntry(good, i)) + tvq::GetU32(IndexEntry(good, i) + 8));
    return ends;
}

enum class Outcome { Refused, Played, EndedEarly };

// A little-endian value of 2, 4 or 8 bytes written at an offset.
struct Patch {
    size_t at;
    uint64_t value;
    int bytes = 4;
};

std::vector<uint8_t> Patched(std::vector<uint8_t> file, const Patch& p, size_t base = 0) {
    uint8_t* at = &file[base + p.at];
    if (p.bytes == 2)
        tvq::PutU16(at, static_cast<uint16_t>(p.value));
    else if (p.bytes == 8)
        tvq::PutU64(at, p.value);
    else
        tvq::PutU32(at, static_cast<uint32_t>(p.value));
    return file;
}

// What a writer stopped before its end leaves: the header's seconds count, index offset and
// length still 0.
void MakeUnfinished(std::vector<uint8_t>& file) {
    if (file.size() < tvq::kFileHeaderBytes)
        return;
    tvq::PutU32(&file[64], 0);
    tvq::PutU64(&file[72], 0);
    tvq::PutU32(&file[84], 0);
}

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
    const Patch patches[] = {
        {40, 0},    {40, 8193},        {40, 0x80000000u}, {44, 0},      {44, 8193},
        {36, 0},    {36, 121},         {48, 0},           {48, 192001}, {52, 0, 2},
        {52, 3, 2}, {54, 12, 2},       {54, 0, 2},        {68, 4},      {56, 0x4D504547},
        {28, 95},   {28, 0xFFFFFFFFu}, {34, 9, 2},        {32, 0, 2},
    };
    for (const Patch& p : patches)
        EXPECT_EQ(Play(Patched(good, p)), Outcome::Refused)
            << "offset " << p.at << " = " << p.value;
}

TEST_F(BadInput, DamagedIndexIsRebuiltFromTheChunks) {
    const auto good = ForgedMovie{}.Build();
    const size_t index = tvq::GetU64(&good[72]), entry1 = index + 16 + 16;
    const uint64_t size = good.size();
    // The second entry's offset and size; more entries than seconds, entries smaller than
    // version 1's, no index tag; the header's seconds count and index offset disagreeing.
    const Patch patches[] = {{entry1, 0, 8},
                             {entry1, 95, 8},
                             {entry1, size, 8},
                             {entry1, size + 1000, 8},
                             {entry1, ~uint64_t{0}, 8},
                             {entry1 + 8, 0},
                             {entry1 + 8, 23},
                             {entry1 + 8, size},
                             {entry1 + 8, 0xFFFFFFFFu},
                             {index + 4, 3},
                             {index + 8, 8},
                             {index, 0x41414141},
                             {64, 3},
                             {64, 0xFFFFFFFFu},
                             {72, 0, 8},
                             {72, 0xFFFFFFF0u, 8},
                             {72, uint64_t{1} << 32, 8},
                             {72, size - 8, 8}};
    for (const Patch& p : patches) {
        SCOPED_TRACE(testing::Message() << "offset " << p.at << " = " << p.value);
        const auto damaged = Patched(good, p);
        EXPECT_EQ(Play(damaged), Outcome::Played);
        EXPECT_EQ(tvq::FindMovieLength(path_), 2);
        tvq::TvqReader reader;
        ASSERT_TRUE(reader.OpenMemory(damaged.data(), damaged.size()));
        EXPECT_TRUE(reader.IndexRebuilt());
        EXPECT_EQ(reader.SecondsCount(), 2);
    }
    tvq::TvqReader reader;
    ASSERT_TRUE(reader.OpenMemory(good.data(), good.size()));
    EXPECT_FALSE(reader.IndexRebuilt());
}

TEST_F(BadInput, DamagedChunksEndTheStreamAtThatSecondAlsoInAnUnfinishedFile) {
    const auto good = ForgedMovie{}.Build();
    const size_t chunk1 = tvq::GetU64(IndexEntry(good, 1));
    auto unfinished = good;
    MakeUnfinished(unfinished);
    const Patch patches[] = {
        {0, 0x41414141},                            // tag
        {4, 0},          {4, 0xFFFFFFFFu},          // chunk header size
        {8, 0},          {8, 2},                    // claims to be another second
        {12, 8001},      {12, 0xFFFFFFF0u},         // more than one second of audio
        {12, 7999},                                 // less than one second, not the last
        {16, 3},         {16, 0xFFFFFFFFu},         // more frames than fps
        {24 + 8000, 5},  {24 + 8000, 0xFFFFFFFFu},  // a RAW frame of the wrong size
    };
    for (const Patch& p : patches) {
        SCOPED_TRACE(testing::Message() << "patch at " << p.at << " = " << p.value);
        // With its index the file is opened whole and ends at the damage.
        WriteFileBytes(path_, Patched(good, p, chunk1));
        {
            OpenMovie damaged(component_, path_);
            ASSERT_NE(damaged.info, nullptr);
            EXPECT_EQ(damaged.Next(), 1);
            EXPECT_EQ(damaged.frameCount, 2);
            EXPECT_EQ(damaged.Next(), kTvqEndOfFile);
            EXPECT_EQ(damaged.frameCount, 0);
            EXPECT_EQ(damaged.audioCount, 0);
        }
        // Without one the walk over the chunks stops there: one second long.
        WriteFileBytes(path_, Patched(unfinished, p, chunk1));
        EXPECT_EQ(tvq::FindMovieLength(path_), 1);
        OpenMovie movie(component_, path_);
        ASSERT_NE(movie.info, nullptr);
        EXPECT_EQ(tvq::UnpackLength(movie.info->packedLength), 1u);
        EXPECT_EQ(movie.Next(), kTvqEndOfFile);
        EXPECT_EQ(movie.frameCount, 2);
    }
    // Chunk 0 bad: nothing whole to play, refused like any file without a movie in it.
    const auto bytes = Patched(unfinished, {96 + 8, 1});
    EXPECT_EQ(Play(bytes), Outcome::Refused);
    WriteFileBytes(path_, bytes);
    EXPECT_EQ(tvq::FindMovieLength(path_), -1);
}

int WholeChunksBefore(const std::vector<size_t>& ends, size_t cut) {
    return static_cast<int>(
        std::count_if(ends.begin(), ends.end(), [&](size_t e) { return e <= cut; }));
}

TEST(CutMovie, EveryCutPlaysExactlyTheWholeChunksBeforeIt) {
    // Every offset of a small RAW movie, with the header as the finished writer left it (its
    // index now past the end) and as a writer stopped early left it.
    const auto good = ForgedMovie{.seconds = 3}.Build();
    const auto ends = ChunkEnds(good);
    ASSERT_EQ(ends.size(), 3u);
    auto unfinished = good;
    MakeUnfinished(unfinished);
    std::vector<uint8_t> audio(4 * 8000), frames(2 * 2 * 32 * 24 * 3);
    int32_t audioCount = 0, frameCount = 0;
    const TvqDecodeRequest request =
        RequestFor(audio.data(), &audioCount, frames.data(), &frameCount);
    const std::vector<uint8_t>* const files[] = {&good, &unfinished};
    for (size_t cut = 0; cut <= good.size(); ++cut) {
        for (const std::vector<uint8_t>* file : files) {
            SCOPED_TRACE(testing::Message()
                         << "cut at " << cut << (file == &good ? "" : ", unfinished"));
            const int whole =
                cut == good.size() && file == &good ? 3 : WholeChunksBefore(ends, cut);
            tvq::TvqStreamDecoder decoder;
            if (!decoder.OpenMemory(file->data(), cut)) {
                EXPECT_EQ(whole, 0);
                continue;
            }
            ASSERT_GT(whole, 0);
            ASSERT_EQ(tvq::UnpackLength(decoder.Info().packedLength), static_cast<uint32_t>(whole));
            for (int s = 0; s < whole; ++s) {
                ASSERT_EQ(decoder.DecodeNext(request), s + 1 == whole ? kTvqEndOfFile : 1);
                ASSERT_EQ(frameCount, 2);
                ASSERT_EQ(Marker(frames.data() + 2304, 32, 24), std::make_pair(s, 1));
            }
            ASSERT_EQ(decoder.DecodeNext(request), kTvqEndOfFile);
            ASSERT_EQ(frameCount, 0);
        }
    }
}

TEST_F(BadInput, CutJpegMoviesPlayTheirWholeSecondsWithPicturesAndSound) {
    // A stride of cuts through a JPEG movie, through the component and the playlist's measure.
    ASSERT_TRUE(WriteMarkedMovie(dir_.File("good.tvq"), Format(40, 30, 4, 8000, 1), 5));
    const auto good = ReadFileBytes(dir_.File("good.tvq"));
    const auto ends = ChunkEnds(good);
    ASSERT_EQ(ends.size(), 5u);
    for (size_t cut = 0; cut < good.size(); cut += 1 + good.size() / 61) {
        for (bool finished : {true, false}) {
            SCOPED_TRACE(testing::Message()
                         << "cut at " << cut << (finished ? "" : ", unfinished"));
            std::vector<uint8_t> part(good.begin(), good.begin() + static_cast<long>(cut));
            if (!finished)
                MakeUnfinished(part);
            WriteFileBytes(path_, part);
            const int whole = WholeChunksBefore(ends, cut);
            EXPECT_EQ(tvq::FindMovieLength(path_), whole > 0 ? whole : -1);
            OpenMovie movie(component_, path_);
            if (whole == 0) {
                EXPECT_EQ(movie.info, nullptr);
                continue;
            }
            ASSERT_NE(movie.info, nullptr);
            EXPECT_EQ(tvq::UnpackLength(movie.info->packedLength), static_cast<uint32_t>(whole));
            for (int s = 0; s < whole; ++s) {
                ASSERT_EQ(movie.Next(), s + 1 == whole ? kTvqEndOfFile : 1);
                ASSERT_EQ(movie.frameCount, 4);
                EXPECT_EQ(Marker(movie.Frame(3), 40, 30), std::make_pair(s, 3));
                EXPECT_EQ(tvq::DetectSecondFromPcm(movie.audio.data(), 2 * size_t(movie.audioCount),
                                                   8000, 1, 16),
                          s);
            }
        }
    }
}

TEST_F(BadInput, CorruptJpegFramesBecomeBlackOrRepeatedFrames) {
    ASSERT_TRUE(WriteMarkedMovie(dir_.File("good.tvq"), Format(64, 48, 6, 8000, 1), 2));
    auto bytes = ReadFileBytes(dir_.File("good.tvq"));
    // Frames 0 and 3 of second 1: one scribbled over, one turned into a JPEG of another size.
    size_t pos = tvq::GetU64(IndexEntry(bytes, 1)) + 24 + 16000;
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
    EXPECT_EQ(Marker(movie.Frame(5), 64, 48), std::make_pair(1, 5));
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
}

}  // namespace
