#pragma once
// A video window inside a parent dialog stand-in, playing a movie of the engine's fake
// decoder component (frame i of second s is filled with FakeFrameByte(s, i), its first 8
// bytes hold s and i), with its settings in a temporary folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QWidget>
#include <filesystem>
#include <memory>
#include <string>

#include "FakeTvq.h"
#include "display/VideoWnd.h"
#include "engine/PlaybackEngine.h"
#include "engine/TvqDecoder.h"

class VideoWindowTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/videownd-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = std::string(pattern) + "/";
        dialog_ = std::make_unique<QWidget>();
        QFont font = dialog_->font();
        font.setPixelSize(12);
        dialog_->setFont(font);
        dialog_->resize(420, 320);
        video_ = new CVideoWnd(&messages_, settings_, dialog_.get());
        video_->SetProgramFolder(dir_);
        video_->setGeometry(10, 10, 400, 150);
    }
    void TearDown() override {
        if (video_)
            video_->FreeBuffers();
        engine_.reset();
        dialog_.reset();
        CTvqDecoder::SetLibraryPathForTesting("");
        std::filesystem::remove_all(dir_);
    }

    // Opens a movie of 10 frames per second (96 x 64 unless named) and shows (second, index).
    void Play(int32_t second, int32_t index, const char* movie = "fake:fps=10:w=96:h=64:len=125") {
#ifndef FAKE_TVQ_COMPONENT
        GTEST_SKIP() << "the engine's fake decoder component is not built";
#else
        CTvqDecoder::SetLibraryPathForTesting(FAKE_TVQ_COMPONENT);
        engine_ = std::make_unique<CPlaybackEngine>(movie, 0);
        ASSERT_TRUE(video_->OpenStream(engine_.get(), &engineLock_, nullptr));
        ASSERT_EQ(video_->ShowFrameAt(second, index), 1);
#endif
    }

    std::string dir_;
    win::RecordingMessageTarget messages_;
    CPlayerSettings settings_;
    std::unique_ptr<QWidget> dialog_;
    CVideoWnd* video_ = nullptr;  // owned by dialog_
    win::RecursiveMutex engineLock_;
    std::unique_ptr<CPlaybackEngine> engine_;
};
