// The playlist player under a storm of user commands: one "UI" thread fires random commands
// while files play, end and restart underneath. Nothing may deadlock, every thread the player
// started must be gone after the final Stop, and the player must end in its idle state. Run
// under ThreadSanitizer and AddressSanitizer this also covers races and leaks.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <random>

#include "PlaylistPlayerTestSupport.h"
#include "engine/PlaybackEngine.h"
#include "platform/MessageBox.h"

using namespace playlist_test;

namespace {

constexpr int kCommands = 2000;
// Far beyond what the run takes even under a sanitizer; only a deadlock gets there.
constexpr auto kDeadlockLimit = std::chrono::minutes(4);

class PropertyReader : public IPropertyPresenter {
public:
    void RunModal(const EngineReader& withEngine) override {
        withEngine([&](CPlaybackEngine& e) { lengths_ += e.GetLengthSeconds(); });
    }
    long lengths_ = 0;
};

// One UI thread's worth of random commands, in the way the main dialog issues them.
class CommandStorm {
public:
    CommandStorm(CPlaylistPlayer& player, DialogStandIn& dialog, TestView& view,
                 std::vector<std::string> files, unsigned seed)
        : player_(player), dialog_(dialog), view_(view), files_(std::move(files)), rng_(seed) {
        player_.SetPropertyPresenter(&box_);
        player_.SetSeekBar([this] { return Pick(2) == 0; });
    }

    void Run(int commands) {
        win::EnsureMessageQueue();
        for (int i = 0; i < commands; ++i) {
            RunOne();
        }
        player_.Stop();
    }

private:
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    const std::string& AnyFile() { return files_[Pick(static_cast<int>(files_.size()))]; }

    void StartPlaylist() {
        player_.ClearList();
        for (const std::string& f : files_) player_.AddFile(f);
        player_.Init(&dialog_, &view_, 1);
        if (Pick(2))
            player_.SelectFile(AnyFile());
    }

    void RunOne() {
        const int c = Pick(32);
        if (c < 4) {
            // Play: a fresh start once the last run has shut down, else a chosen entry.
            if (!started_ || player_.IsClosing()) {
                StartPlaylist();
                started_ = true;
            } else {
                player_.SelectFile(AnyFile());
            }
        } else if (c < 5) {
            player_.Pause();
        } else if (c < 9) {
            player_.SeekTo(Pick(80) - 3);
        } else if (c < 11) {
            player_.Next();
        } else if (c < 13) {
            player_.Previous();
        } else if (c < 17) {
            player_.OnSpeedMessage(WM_SPEED_FORWARD_1X + Pick(8));
        } else if (c < 18) {
            player_.Stop();
        } else if (c < 19) {
            player_.RemoveFiles({AnyFile()});
        } else if (c < 21) {
            player_.AddFile(AnyFile());
        } else if (c < 22) {
            player_.ShowProperties();
        } else if (c < 23) {
            view_.SetRepeat(Pick(2) == 0);
        } else if (c < 26) {
            player_.SelectFile(AnyFile());
        } else {
            // The user watches for a while; files play, end and start meanwhile.
            std::this_thread::sleep_for(std::chrono::milliseconds(5 + Pick(25)));
        }
    }

    CPlaylistPlayer& player_;
    DialogStandIn& dialog_;
    TestView& view_;
    const std::vector<std::string> files_;
    std::mt19937 rng_;
    PropertyReader box_;
    bool started_ = false;
};

TEST(PlaylistPlayerStressTest, RandomCommandsWhileFilesPlayNeitherHangNorLeaveThreads) {
    TempFolder movies;
    CTvqDecoder::SetLibraryPathForTesting(BinFolder() + CTvqDecoder::kLibraryName);
    MovieSpec shortMovie;
    shortMovie.seconds = 2;
    MovieSpec longMovie;
    longMovie.seconds = 70;
    std::vector<std::string> files;
    for (const char* name : {"one.tvq", "two.tvq", "three.tvq"}) {
        files.push_back(movies.Path() + name);
        ASSERT_TRUE(MakeMovie(files.back(), shortMovie));
    }
    files.push_back(movies.Path() + "long.tvq");
    ASSERT_TRUE(MakeMovie(files.back(), longMovie));

    auto boxes = std::make_shared<win::RecordingMessageBoxService>();
    win::SetMessageBoxService(boxes);
    VirtualSoundCard card(ChunkBytes(shortMovie));
    TempFolder settings;
    TestView view(settings.Path() + "settings.ini");
    DialogStandIn dialog;
    auto player = std::make_unique<CPlaylistPlayer>();
    dialog.Attach(player.get());

    card.StartRunning();
    const int threadsBefore = ThreadCount();
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    CommandStorm storm(*player, dialog, view, files, seed);

    std::packaged_task<void()> ui([&] { storm.Run(kCommands); });
    std::future<void> done = ui.get_future();
    std::thread uiThread(std::move(ui));
    if (done.wait_for(kDeadlockLimit) != std::future_status::ready) {
        std::fprintf(stderr, "playlist player deadlocked (seed %u)\n", seed);
        std::abort();  // the threads cannot be taken back; end the run with the report
    }
    uiThread.join();

    std::printf("%zu files started, %zu list ends, %zu messages, %zu seek texts\n",
                dialog.Started().size(), dialog.MessagesOf(WM_PLAYLIST_STOPPED).size(),
                dialog.Messages().size(), view.SeekTexts().size());
    EXPECT_EQ(ThreadCount(), threadsBefore);
    EXPECT_EQ(player->IsRunning(), 0);
    EXPECT_EQ(player->HasEngine(), 0);
    // (The list itself is not checked: a Stop empties it only when it is the one that shuts
    // the player down, and a file added after the list ran out by itself stays listed.)
    EXPECT_FALSE(player->AudioOutput().IsThreadRunning());
    EXPECT_FALSE(dialog.Started().empty());
    EXPECT_FALSE(dialog.MessagesOf(WM_PLAYLIST_STOPPED).empty());
    EXPECT_TRUE(boxes->Boxes().empty());  // every file stayed readable
    for (const auto& r : dialog.MessagesOf(WM_PLAY_POSITION)) EXPECT_EQ(r.wParam % 2, 0u);

    player.reset();
    card.StopRunning();
    win::SetMessageBoxService(nullptr);
    CTvqDecoder::SetLibraryPathForTesting("");
}

}  // namespace
