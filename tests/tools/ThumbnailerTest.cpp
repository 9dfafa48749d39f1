// tvq-thumbnailer run as a program on movies made by tvq-make; its PNG read back with libpng.
#include "ToolTest.h"

#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>

namespace {

// Named as kTvqMake is (ToolTest.h).
const std::string kThumbnailer = TVQ_THUMBNAILER_PATH;

struct Png {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

bool ReadPng(const std::string& path, Png& out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr) != 0;
}

class Thumbnailer : public ToolTest {
protected:
    int Thumb(int size, const std::string& movie, const std::string& png) {
        return Shell(kThumbnailer + " -s " + std::to_string(size) + " " + movie + " " + png);
    }

    // Mean colour of each quarter of a top-down RGB picture, `at(x, y)` giving a pixel.
    template <typename At>
    static std::vector<double> Quarters(int width, int height, At at) {
        std::vector<double> sums(12, 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int q = (y * 2 / height) * 2 + x * 2 / width;
                for (int c = 0; c < 3; ++c) sums[q * 3 + c] += at(x, y)[c];
            }
        for (double& s : sums) s /= width * height / 4.0;
        return sums;
    }
    // The same of the movie's first frame of `second`.
    static std::vector<double> FrameQuarters(const std::string& movie, int second) {
        tvq::TvqReader reader;
        EXPECT_TRUE(reader.Open(movie));
        const tvq::TvqStreamFormat& f = reader.Format();
        tvq::TvqStoredSecond stored;
        EXPECT_TRUE(reader.ReadSecond(second, stored));
        std::vector<uint8_t> frame(f.FrameBytes() * stored.frames.size());
        tvq::TvqFrameDecoder decoder;
        decoder.Decode(f, stored, frame.data(), static_cast<int>(stored.frames.size()));
        return Quarters(f.width, f.height, [&](int x, int y) {
            const uint8_t* p =
                frame.data() + static_cast<size_t>(f.height - 1 - y) * f.Stride() + x * 3;
            return std::array<uint8_t, 3>{p[2], p[1], p[0]};
        });
    }
    static std::vector<double> PngQuarters(const Png& png) {
        return Quarters(png.width, png.height, [&](int x, int y) {
            return png.rgb.data() + (static_cast<size_t>(y) * png.width + x) * 3;
        });
    }
};

TEST_F(Thumbnailer, FitsTheSizeAndShowsTheFrameATenthIn) {
    for (const char* codec : {"jpeg", "raw"}) {
        const std::string movie = File(std::string(codec) + ".tvq");
        ASSERT_EQ(Make(movie + " --size 640x360 --seconds 10 --codec " + codec), 0);
        for (int size : {128, 256, 1000}) {
            const std::string png = File("t.png");
            ASSERT_EQ(Thumb(size, movie, png), 0) << codec << " " << size;
            Png image;
            ASSERT_TRUE(ReadPng(png, image)) << codec << " " << size;
            EXPECT_EQ(image.width, size) << codec;
            EXPECT_EQ(image.height, size * 360 / 640) << codec;
            const std::vector<double> want = FrameQuarters(movie, 1);
            const std::vector<double> got = PngQuarters(image);
            for (size_t i = 0; i < want.size(); ++i)
                EXPECT_NEAR(got[i], want[i], 8.0) << codec << " " << size << " value " << i;
        }
    }
}

TEST_F(Thumbnailer, DamagedOrCutMoviesFailFastAndWriteNothing) {
    const std::string movie = File("m.tvq");
    ASSERT_EQ(Make(movie + " --seconds 10"), 0);
    const auto size = std::filesystem::file_size(movie);
    std::filesystem::copy_file(movie, File("cut.tvq"));
    std::filesystem::resize_file(File("cut.tvq"), 100);
    std::filesystem::copy_file(movie, File("zeroed.tvq"));
    // Zeros over the middle of the file: the pictures of the early seconds are gone.
    std::fstream(File("zeroed.tvq"), std::ios::in | std::ios::out | std::ios::binary)
        .seekp(static_cast<std::streamoff>(size / 20))
        .write(std::string(size * 8 / 10, '\0').data(),
               static_cast<std::streamsize>(size * 8 / 10));
    for (const std::string& bad :
         {File("cut.tvq"), File("zeroed.tvq"), File("missing.tvq"), File("m.tvq -s 0")}) {
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_NE(Thumb(128, bad, File("t.png")), 0) << bad;
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(1)) << bad;
        EXPECT_FALSE(std::filesystem::exists(File("t.png"))) << bad;
        for (const auto& e : std::filesystem::directory_iterator(folder_.Path()))
            EXPECT_FALSE(e.path().filename().string().starts_with("t.png")) << e.path();
    }
    EXPECT_NE(Thumb(128, movie, "/nonexistent-folder/t.png"), 0);
    // A bad command line is told apart from a bad movie by its status, and writes nothing.
    const std::string tool = kThumbnailer + " ";
    for (const std::string& args : {movie + " " + File("t.png"), "-s 128 " + movie,
                                    "-s 128 " + movie + " " + File("t.png") + " extra",
                                    "-s 4097 " + movie + " " + File("t.png"), movie + " -s"}) {
        EXPECT_EQ(Shell(tool + args), 2) << args;
        EXPECT_FALSE(std::filesystem::exists(File("t.png"))) << args;
    }
}

}  // namespace
