#pragma once
// One of our programs run as a program: a test's files in a folder of its own, removed after
// it, a shell command's exit status and output, and a movie read back frame by frame.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "FormatFields.h"
#include "TempFolder.h"
#include "codec/TestPattern.h"
#include "codec/TvqFormat.h"
#include "codec/TvqFrameDecoder.h"
#include "codec/TvqReader.h"

// What a movie holds, second by second, as the codec library reads it back.
struct Movie {
    tvq::TvqStreamFormat format;
    std::vector<std::vector<int>> markerSecond;  // per stored frame; -1 without a marker
    std::vector<std::vector<int>> markerFrame;
    std::vector<int> tone;  // detected second per chunk, -1 for silence
    std::vector<std::vector<uint8_t>> audio;
    std::vector<std::vector<std::vector<uint8_t>>> stored;    // the coded frames as stored
    std::vector<std::vector<std::vector<uint8_t>>> pictures;  // decoded, bottom-up BGR
};

// A named string, not `std::string(PATH) + ...` temporaries: GCC 12 misreads those as
// out-of-bounds copies (-Warray-bounds) in files built with the precompiled header.
inline const std::string kTvqMake = TVQ_MAKE_PATH;

class ToolTest : public ::testing::Test {
protected:
    std::string File(const std::string& name) const { return folder_.File(name); }
    // Runs tvq-make with `args` (shell words); returns its exit status.
    int Make(const std::string& args) { return Shell(kTvqMake + " " + args); }

    // Runs a shell command; returns the exit status and keeps its output in output_.
    int Shell(const std::string& command) {
        output_.clear();
        FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
        if (!pipe)
            return -1;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe)) output_ += buffer;
        const int status = ::pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static std::vector<uint8_t> ReadBytes(const std::string& path) {
        const std::string bytes = TempFolder::ReadAll(path);
        return {bytes.begin(), bytes.end()};
    }

    static bool Read(const std::string& path, Movie& m) {
        tvq::TvqReader reader;
        if (!reader.Open(path))
            return false;
        m.format = reader.Format();
        const tvq::TvqStreamFormat& f = m.format;
        tvq::TvqFrameDecoder decoder;
        for (int s = 0; s < reader.SecondsCount(); ++s) {
            tvq::TvqStoredSecond second;
            if (!reader.ReadSecond(s, second))
                return false;
            const int count = static_cast<int>(second.frames.size());
            std::vector<uint8_t> frames(f.FrameBytes() * std::max(count, 1));
            if (decoder.Decode(f, second, frames.data(), count) != count)
                return false;
            m.markerSecond.emplace_back();
            m.markerFrame.emplace_back();
            m.stored.emplace_back();
            m.pictures.emplace_back();
            for (int i = 0; i < count; ++i) {
                const uint8_t* picture = frames.data() + i * f.FrameBytes();
                int ms = -1, mf = -1;
                if (!tvq::ReadFrameMarker(picture, f.width, f.height, f.Stride(), ms, mf))
                    ms = mf = -1;
                m.markerSecond.back().push_back(ms);
                m.markerFrame.back().push_back(mf);
                m.stored.back().emplace_back(second.frames[i].begin(), second.frames[i].end());
                m.pictures.back().emplace_back(picture, picture + f.FrameBytes());
            }
            m.audio.emplace_back(second.audio.begin(), second.audio.end());
            m.tone.push_back(tvq::DetectSecondFromPcm(second.audio.data(), second.audio.size(),
                                                      f.sampleRate, f.channels, f.bitsPerSample));
        }
        return true;
    }

    // Every frame of every second carries the marker of the same second and frame of the
    // pattern (offset by `firstSecond`), and every second sounds its own tone.
    static void ExpectInPlace(const Movie& m, int firstSecond, bool tones = true) {
        for (size_t s = 0; s < m.markerSecond.size(); ++s) {
            for (size_t i = 0; i < m.markerSecond[s].size(); ++i) {
                EXPECT_EQ(m.markerSecond[s][i], static_cast<int>(s) + firstSecond)
                    << "second " << s << " frame " << i;
                EXPECT_EQ(m.markerFrame[s][i], static_cast<int>(i))
                    << "second " << s << " frame " << i;
            }
            if (tones) {
                EXPECT_EQ(m.tone[s], static_cast<int>(s) + firstSecond) << "second " << s;
            }
        }
    }

    TempFolder folder_{"tvq-tool"};
    std::string output_;
};
