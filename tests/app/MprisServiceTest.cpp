// The bus side of the player without a bus: what MPRIS reads and what its commands do to the
// dialog's recording playlist player, and which changes are announced.
#include <gtest/gtest.h>

#include <QDBusObjectPath>

#include "AppTestSupport.h"
#include "app/MprisService.h"
#include "app/PlayerDlg.h"
#include "engine/Messages.h"
#include "platform/MessageBox.h"
#include "support/SkinSliderCtrl.h"

namespace {

class MprisServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        win::SetMessageBoxService(std::make_shared<win::RecordingMessageBoxService>());
        auto fake = std::make_unique<FakePlayer>();
        player = fake.get();
        CPlayerDlg::Options options;
        options.programFolder = dir.Folder() + "/";
        options.player = std::move(fake);
        options.listenForCopies = false;
        options.tickCount = [this] { return now; };
        options.chooseFiles = [this] { return chosen; };
        dlg = std::make_unique<CPlayerDlg>(std::move(options));
        mpris = std::make_unique<CMprisService>(*dlg);
    }
    void TearDown() override {
        mpris.reset();
        dlg.reset();
        win::SetMessageBoxService(nullptr);
    }
    void AddMovies() {
        chosen = {WriteMovieHeader(dir.Path("first movie.tvq"), 75),
                  WriteMovieHeader(dir.Path("b.tvq"), 75)};
        dlg->OnAdd();
    }
    // What the playing file's messages do to the dialog: controls on, a 200 s range, at 30 s.
    void Started() {
        player->currentFile = dir.Path("first movie.tvq");
        dlg->OnWinMessage(WM_PLAY_STATE, 1, 1);
        dlg->OnWinMessage(WM_SEEKBAR, 1, 1);
        dlg->OnWinMessage(WM_SEEKBAR, 2, 200);
        dlg->OnWinMessage(WM_PLAY_POSITION, 30, 0);
    }

    TempFolder dir;
    FakePlayer* player = nullptr;
    uint32_t now = 5000;
    std::vector<std::string> chosen;
    std::unique_ptr<CPlayerDlg> dlg;
    std::unique_ptr<CMprisService> mpris;
};

TEST_F(MprisServiceTest, StatusFollowsPlayPauseAndStopThroughTheDialogsCommands) {
    EXPECT_EQ(mpris->PlaybackStatus(), "Stopped");
    EXPECT_FALSE(mpris->CanPlay());  // an empty list
    mpris->Play();
    EXPECT_TRUE(player->inits.empty());
    mpris->PlayPause();  // nothing to play: still nothing
    EXPECT_TRUE(player->inits.empty());

    AddMovies();
    EXPECT_TRUE(mpris->CanPlay());
    mpris->PlayPause();
    EXPECT_EQ(player->inits, std::vector<int>{1});  // the play button's reset start
    EXPECT_EQ(mpris->PlaybackStatus(), "Playing");
    Started();

    mpris->PlayPause();
    EXPECT_EQ(player->pauses, 1);
    EXPECT_EQ(mpris->PlaybackStatus(), "Paused");
    mpris->Pause();  // paused already: no second toggle, which would resume
    EXPECT_EQ(player->pauses, 1);
    mpris->Play();  // resumes
    EXPECT_EQ(player->pauses, 2);
    EXPECT_EQ(mpris->PlaybackStatus(), "Playing");
    mpris->Play();  // playing already
    EXPECT_EQ(player->pauses, 2);
    EXPECT_EQ(player->inits.size(), 1u);

    mpris->Next();
    mpris->Previous();
    EXPECT_EQ(player->nexts, 1);
    EXPECT_EQ(player->previouses, 1);
    mpris->Stop();
    EXPECT_EQ(player->stops, 1);
    dlg->OnWinMessage(WM_PLAYLIST_STOPPED, 0, 0);
    EXPECT_EQ(mpris->PlaybackStatus(), "Stopped");
    mpris->Stop();  // idle: not passed on
    EXPECT_EQ(player->stops, 1);
}

TEST_F(MprisServiceTest, MetadataAndPositionDescribeThePlayingFile) {
    const QVariantMap idle = mpris->Metadata();
    EXPECT_EQ(idle.value("mpris:trackid").value<QDBusObjectPath>().path(),
              "/org/mpris/MediaPlayer2/TrackList/NoTrack");
    EXPECT_FALSE(idle.contains("xesam:url"));
    EXPECT_EQ(mpris->Position(), 0);

    AddMovies();
    dlg->OnPlay();
    Started();
    const QVariantMap m = mpris->Metadata();
    EXPECT_EQ(m.value("xesam:title").toString(), "first movie");
    EXPECT_EQ(m.value("xesam:url").toString().toStdString(),
              "file://" + dir.Path("first%20movie.tvq"));
    EXPECT_EQ(m.value("mpris:length").toLongLong(), 200'000'000LL);
    EXPECT_EQ(mpris->Position(), 30'000'000LL);
    const QString track = m.value("mpris:trackid").value<QDBusObjectPath>().path();
    EXPECT_TRUE(track.startsWith("/org/tvqplayer/track/"));
    player->currentFile = dir.Path("b.tvq");
    EXPECT_NE(mpris->Metadata().value("mpris:trackid").value<QDBusObjectPath>().path(), track);
}

TEST_F(MprisServiceTest, SeeksTakeTheSlidersPathAndSetPositionChecksTheTrack) {
    AddMovies();
    dlg->OnPlay();
    Started();
    mpris->Seek(15'000'000);  // 30 s + 15 s
    EXPECT_EQ(player->seeks, std::vector<int32_t>{45});
    mpris->Seek(5'000'000);  // the slider waits for the first seek to finish
    EXPECT_EQ(player->seeks.size(), 1u);
    dlg->OnWinMessage(WM_SEEKBAR, 1, 1);
    now += 2000;
    mpris->Seek(-100'000'000);  // before the start: from the start
    EXPECT_EQ(player->seeks.back(), 0);

    dlg->OnWinMessage(WM_SEEKBAR, 1, 1);
    now += 2000;
    const QString track = mpris->Metadata().value("mpris:trackid").value<QDBusObjectPath>().path();
    mpris->SetPosition("/org/tvqplayer/track/other", 10'000'000);
    mpris->SetPosition(track, 201'000'000);  // past the end
    mpris->SetPosition(track, -1);
    EXPECT_EQ(player->seeks.size(), 2u);
    mpris->SetPosition(track, 120'500'000);
    EXPECT_EQ(player->seeks.back(), 120);
}

TEST_F(MprisServiceTest, OnlyChangedPropertiesAreAnnounced) {
    EXPECT_EQ(mpris->PublishChanges().size(), 8);  // the first announcement has everything
    EXPECT_TRUE(mpris->PublishChanges().isEmpty());
    AddMovies();
    EXPECT_EQ(mpris->PublishChanges(), QStringList{"CanPlay"});
    dlg->OnPlay();
    Started();
    const QStringList started = mpris->PublishChanges();
    EXPECT_TRUE(started.contains("PlaybackStatus"));
    EXPECT_TRUE(started.contains("Metadata"));
    EXPECT_TRUE(started.contains("CanSeek"));
    dlg->OnWinMessage(WM_PLAY_POSITION, 31, 0);  // the position is read, never announced
    EXPECT_TRUE(mpris->PublishChanges().isEmpty());
    dlg->OnPause();
    EXPECT_EQ(mpris->PublishChanges(), QStringList{"PlaybackStatus"});
}

TEST_F(MprisServiceTest, RatesRunTheSpeedCommandsAndAnewFileStartsAtNormalSpeed) {
    mpris->SetRate(2.0);  // nothing plays: nothing to speed up
    EXPECT_TRUE(player->speeds.empty());
    AddMovies();
    dlg->OnPlay();
    Started();
    mpris->PublishChanges();
    mpris->SetRate(4.0);
    mpris->SetRate(4.0);  // already at that speed
    mpris->SetRate(3.0);  // no such speed
    mpris->SetRate(-2.0);
    mpris->SetRate(-1.0);  // backward 1x toggles, so normal play comes first
    mpris->SetRate(1.0);
    const std::vector<uint32_t> expected = {WM_SPEED_FORWARD_4X, WM_SPEED_BACKWARD_2X,
                                            WM_SPEED_FORWARD_1X, WM_SPEED_BACKWARD_1X,
                                            WM_SPEED_FORWARD_1X};
    EXPECT_EQ(player->speeds, expected);
    mpris->SetRate(-8.0);
    EXPECT_EQ(mpris->Rate(), -8.0);
    EXPECT_TRUE(mpris->PublishChanges().isEmpty());  // the change went out with the command
    player->currentFile = dir.Path("b.tvq");         // the list moved on
    EXPECT_EQ(mpris->Rate(), 1.0);
    EXPECT_TRUE(mpris->PublishChanges().contains("Rate"));
}

TEST_F(MprisServiceTest, WithoutASessionBusNothingIsRegistered) {
    // The connection is made once per process, from this variable: with a bus set for the
    // test run a missing one cannot be shown here.
    if (!qgetenv("DBUS_SESSION_BUS_ADDRESS").isEmpty())
        GTEST_SKIP() << "a session bus is set for this process";
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tvqplayer-test-bus");
    EXPECT_FALSE(mpris->Register());
    mpris->PlayPause();  // still works locally
    EXPECT_EQ(mpris->PlaybackStatus(), "Stopped");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

}  // namespace
