// The playlist player over the fake decoder components, for what the real component cannot
// show: a file the decoder refuses, a decoder that only goes forward (seeks behind its
// position, user commands during a long opening skip) and one that repositions (seeks back in
// place). The fake takes its stream's shape from the file name, so each movie is an empty file
// whose name carries the options.
#include <gtest/gtest.h>

#include <atomic>

#include <cstring>
#include <fstream>
#include <future>

#include "FakeTvq.h"
#include "PlaylistPlayerTestSupport.h"
#include "engine/PlaybackEngine.h"
#include "platform/MessageBox.h"

using namespace playlist_test;

namespace {

// 10 frames a second, 2500 Hz stereo 16-bit: 10000 bytes a second, 248 a notification span.
constexpr const char* kShape = "fake:fps=10:rate=2500:ch=2";
MovieSpec FakeSpec() {
    MovieSpec m;
    m.fps = 10;
    m.rate = 2500;
    m.channels = 2;
    return m;
}

class PlaylistPlayerFakeTest : public ::testing::Test {
protected:
    void SetUp() override {
        win::EnsureMessageQueue();
        win::SetMessageBoxService(boxes_);
        view_.SetRepeat(false);
        view_.SetAdjust(false);
        dialog_.Attach(&player_);
    }
    void TearDown() override {
        library_->ReleaseHold();
        player_.Stop();
        card_.StopRunning();
        win::SetMessageBoxService(nullptr);
        CTvqDecoder::SetLibraryPathForTesting("");
    }
    void UseComponent(const char* path) {
        library_ = std::make_unique<FakeTvqLibrary>(path);
        ASSERT_TRUE(library_->Loaded());
        CTvqDecoder::SetLibraryPathForTesting(path);
    }
    // An empty file whose name gives the fake its options.
    std::string Movie(const std::string& options) {
        const std::string path = folder_.Path() + kShape + ":" + options;
        std::ofstream(path).put('\0');
        return path;
    }
    void Play(const std::vector<std::string>& paths) {
        for (const std::string& p : paths) player_.AddFile(p);
        ASSERT_EQ(player_.Init(&dialog_, &view_, 1), 1);
    }
    int32_t EnginePosition() {
        int32_t position = -1;
        player_.WithEngine(
            [&](CPlaybackEngine& e) { position = e.GetBaseSecond() + e.GetDecodedSeconds(); });
        return position;
    }
    // The second the shown picture was made for (the fake writes it into the frame).
    int32_t ShownFrameSecond() const {
        int32_t second = -1;
        view_.WithShownFrame([&](const CFrameView::ShownFrame& f) {
            if (f.bits)
                std::memcpy(&second, f.bits, sizeof second);
        });
        return second;
    }
    // Plays one span and waits until its time update has shown its frame: the update runs
    // under the engine lock from before the refill the card waits for until after the show.
    bool PlaySpan() {
        if (!card_.Play(1))
            return false;
        player_.WithEngine([](CPlaybackEngine&) {});
        return true;
    }
    // Plays until the picture of `second` is on show; false when it does not come within
    // `spans`.
    bool PlayUntilSecond(int32_t second, int spans = 200) {
        for (int i = 0; i < spans; ++i) {
            if (ShownFrameSecond() == second && view_.GetFramePosition().first == second)
                return true;
            if (!PlaySpan())
                return false;
        }
        return ShownFrameSecond() == second;
    }
    // Seeks and waits for the seek's last word to the dialog.
    void SeekInPlace(int32_t second) {
        dialog_.Clear();
        ASSERT_EQ(player_.SeekTo(second), 1);
        ASSERT_TRUE(dialog_.WaitFor(WM_SEEKBAR, 0, second));
        ASSERT_TRUE(dialog_.WaitFor(WM_PLAY_STATE, 1, 0));
    }

    std::unique_ptr<FakeTvqLibrary> library_ = std::make_unique<FakeTvqLibrary>(FAKE_TVQ_COMPONENT);
    std::shared_ptr<win::RecordingMessageBoxService> boxes_ =
        std::make_shared<win::RecordingMessageBoxService>();
    TempFolder folder_;
    VirtualSoundCard card_{ChunkBytes(FakeSpec())};
    TestView view_{folder_.Path() + "settings.ini"};
    DialogStandIn dialog_;
    CPlaylistPlayer player_;
};

TEST_F(PlaylistPlayerFakeTest, AFileTheDecoderRefusesEndsAndTheNextOnePlays) {
    UseComponent(FAKE_TVQ_COMPONENT);
    const std::string refused = Movie("refuse=1");
    const std::string good = Movie("len=3");
    card_.StartRunning();
    Play({refused, good});
    // The refused file plays the engine's silent default second and ends by itself.
    const bool bothStarted = dialog_.WaitForStarts(2, 30000);
    std::string posted;
    for (const auto& r : dialog_.Messages())
        if (r.message != WM_PLAY_POSITION)
            posted += std::to_string(r.message - win::WM_USER) + "(" + std::to_string(r.wParam) +
                      "," + std::to_string(r.lParam) + ") ";
    ASSERT_TRUE(bothStarted) << "the list stalled on the refused file: " << posted;
    EXPECT_EQ(dialog_.Started()[0], refused);
    EXPECT_EQ(dialog_.Started()[1], good);
    ASSERT_TRUE(view_.WaitForSecond(1, 20000)) << "the good file's frames must come";
    EXPECT_TRUE(dialog_.WaitFor(WM_PLAYLIST_STOPPED, 0, 0, 30000)) << "the good file must end too";
    EXPECT_TRUE(boxes_->Boxes().empty());
}

// ---- seeking back -----------------------------------------------------------------------

TEST_F(PlaylistPlayerFakeTest, ARepositioningDecoderSeeksBackInPlace) {
    UseComponent(FAKE_TVQ_SEEK);
    Play({Movie("len=100")});
    ASSERT_TRUE(dialog_.WaitForStarts(1));
    SeekInPlace(60);
    ASSERT_TRUE(PlayUntilSecond(60));

    // Far behind the picture: the same engine goes there, and the picture follows at once
    // instead of waiting for the clock to come back to second 60.
    SeekInPlace(10);
    ASSERT_TRUE(PlayUntilSecond(10, 20))
        << "the picture stayed at " << view_.GetFramePosition().first;
    EXPECT_EQ(dialog_.Started().size(), 1u) << "the file must not be opened again";
    EXPECT_GE(library_->Stats().seekCalls, 2);
    // And plays on from there: a second later (40 spans) the picture is of second 11.
    ASSERT_TRUE(card_.Play(38));
    EXPECT_TRUE(PlayUntilSecond(11, 10)) << "the picture is of " << ShownFrameSecond();
}

TEST_F(PlaylistPlayerFakeTest, AForwardOnlyDecoderOpensTheFileAgainToSeekBack) {
    UseComponent(FAKE_TVQ_COMPONENT);
    const std::string movie = Movie("len=100");
    // The list's own start of a file asks where to begin; the reopenings for a seek do not.
    std::atomic<int> asked{0};
    player_.SetStartQuery([&](const std::string& path) {
        ++asked;
        return path == movie ? 50 : 0;
    });
    Play({movie});
    ASSERT_TRUE(dialog_.WaitForStarts(1));
    EXPECT_TRUE(dialog_.WaitFor(WM_SEEKBAR, 0, 50));
    ASSERT_TRUE(PlayUntilSecond(50));
    SeekInPlace(60);
    ASSERT_TRUE(PlayUntilSecond(60));

    ASSERT_EQ(player_.SeekTo(10), 1);
    ASSERT_TRUE(dialog_.WaitForStarts(2));
    EXPECT_EQ(dialog_.Started()[1], movie);
    ASSERT_TRUE(PlayUntilSecond(10, 20));
    ASSERT_EQ(player_.SeekTo(0), 1);
    ASSERT_TRUE(dialog_.WaitForStarts(3));
    ASSERT_TRUE(PlayUntilSecond(0, 20)) << "the picture is of " << ShownFrameSecond();
    EXPECT_EQ(asked.load(), 1);
}

// ---- commands during a long opening -------------------------------------------------------

TEST_F(PlaylistPlayerFakeTest, PauseAndSpeedCommandsDoNotWaitForTheOpeningSkip) {
    // Without a seek entry a seek behind the position opens the file again, and the opening
    // decodes its way to the target while the playlist thread holds its thread lock.
    UseComponent(FAKE_TVQ_COMPONENT);
    Play({Movie("len=1000")});
    ASSERT_TRUE(dialog_.WaitForStarts(1));
    SeekInPlace(600);
    library_->HoldNextStream();
    ASSERT_EQ(player_.SeekTo(300), 1);
    ASSERT_TRUE(library_->WaitUntilHeld(20000)) << "the file was not opened again";

    auto commands = std::async(std::launch::async, [&] {
        player_.SpeedForward2x();
        player_.Pause();
    });
    const bool returned = commands.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    library_->ReleaseHold();
    commands.wait();
    EXPECT_TRUE(returned) << "a command waited for the skip";

    // Both were kept and run in their order once the file played.
    ASSERT_TRUE(dialog_.WaitForStarts(2));
    EXPECT_EQ(player_.SeekTo(-1), 0);  // takes the thread lock: the opening is over
    int mode = -1, speedIndex = -1;
    int32_t base = -1;
    player_.WithEngine([&](CPlaybackEngine& e) {
        mode = e.GetMode();
        speedIndex = e.GetSpeedIndex();
        base = e.GetBaseSecond();
    });
    EXPECT_EQ(base, 300);
    EXPECT_EQ(mode, CPlaybackEngine::kModeForward);
    EXPECT_EQ(speedIndex, 1);
    EXPECT_EQ(player_.IsPaused(), 1);
    const uint64_t unlocks = card_.Device().Unlocks();
    card_.Advance(20);
    EXPECT_FALSE(card_.Device().WaitForUnlocks(unlocks + 1, 300)) << "played while paused";

    // A command outside an opening runs at once.
    player_.Pause();
    EXPECT_EQ(player_.IsPaused(), 0);
}

}  // namespace
