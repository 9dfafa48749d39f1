// The playlist player on the SDL backend in real time (the dummy driver consumes the sound at
// the device's pace without a sound card): a short list plays through, file after file, and the
// player shuts itself down at its end.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "PlaylistPlayerTestSupport.h"
#include "platform/MessageBox.h"

using namespace playlist_test;

namespace {

TEST(PlaylistPlayerSdlTest, AListPlaysThroughInRealTimeOnTheDummyDriver) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    win::SetSoundDeviceFactory({});  // the default: SDL
    TempFolder movies;
    CTvqDecoder::SetLibraryPathForTesting(BinFolder() + CTvqDecoder::kLibraryName);
    MovieSpec spec;
    spec.seconds = 2;
    spec.rate = 22050;
    spec.channels = 2;
    const std::vector<std::string> files = {movies.Path() + "first.tvq",
                                            movies.Path() + "second.tvq"};
    for (const std::string& f : files) ASSERT_TRUE(MakeMovie(f, spec));
    auto boxes = std::make_shared<win::RecordingMessageBoxService>();
    win::SetMessageBoxService(boxes);

    TempFolder settings;
    TestView view(settings.Path() + "settings.ini");
    view.SetRepeat(false);
    DialogStandIn dialog;
    {
        CPlaylistPlayer player;
        dialog.Attach(&player);
        for (const std::string& f : files) player.AddFile(f);
        ASSERT_EQ(player.Init(&dialog, &view, 1), 1);
        // Two seconds of each file, the pause between them and the end: well inside this.
        ASSERT_TRUE(dialog.WaitFor(WM_PLAYLIST_STOPPED, 0, 0, 30000));
        player.Shutdown();
        EXPECT_EQ(dialog.Started(), files);
        EXPECT_EQ(player.GetFileCount(), 0);
        EXPECT_FALSE(player.AudioOutput().IsThreadRunning());
    }
    // The clock ran on the device: each file reported its second 0, only even seconds came,
    // and frames reached the screen.
    const auto all = dialog.Messages();
    int filesAtZero = 0;
    bool sawZero = false;
    for (const auto& r : all) {
        if (r.message == WM_PLAY_STARTING)
            sawZero = false;
        if (r.message != WM_PLAY_POSITION)
            continue;
        EXPECT_EQ(r.wParam % 2, 0u);
        if (r.wParam == 0 && !sawZero) {
            sawZero = true;
            ++filesAtZero;
        }
    }
    EXPECT_EQ(filesAtZero, 2);
    EXPECT_GT(view.Shown(), 2 * spec.fps);
    EXPECT_TRUE(boxes->Boxes().empty());

    win::SetMessageBoxService(nullptr);
    CTvqDecoder::SetLibraryPathForTesting("");
}

}  // namespace
