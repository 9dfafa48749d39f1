// The bus side of the player without a bus: what MPRIS reads and what its commands do to the
// dialog's recording playlist player, and which changes are announced.
#include <gtest/gtest.h>

#include <signal.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QTest>
#include <cstdio>

#include "AppTestSupport.h"
#include "app/MprisService.h"
#include "engine/Messages.h"

namespace {

class MprisServiceTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        mpris = std::make_unique<CMprisService>(*dlg);
    }
    void TearDown() override {
        mpris.reset();
        DialogTest::TearDown();
    }
    // The service after the dialog's queued state has reached it: what the bus reads then.
    CMprisService& Bus() {
        QCoreApplication::processEvents();
        return *mpris;
    }
    void AddMovies() {
        chosen = {Movie("first movie.tvq"), Movie("b.tvq")};
        dlg->OnAdd();
    }
    // What the playing file's messages do to the dialog, in the player's order: a 200 s range,
    // controls on for the new file, at 30 s.
    void Started() {
        player->currentFile = dir.Path("first movie.tvq");
        player->positionMs = 30'000;
        dlg->OnWinMessage(WM_SEEKBAR, 1, 1);
        dlg->OnWinMessage(WM_SEEKBAR, 2, 200);
        dlg->OnWinMessage(WM_PLAY_STATE, 1, 1);
        dlg->OnWinMessage(WM_PLAY_POSITION, 30, 0);
    }
    void PlayFirst() {
        AddMovies();
        dlg->OnPlay();
        Started();
    }

    std::unique_ptr<CMprisService> mpris;
};

TEST_F(MprisServiceTest, StatusFollowsPlayPauseAndStopThroughTheDialogsCommands) {
    EXPECT_EQ(Bus().PlaybackStatus(), "Stopped");
    EXPECT_FALSE(Bus().CanPlay());  // an empty list
    mpris->Play();
    EXPECT_TRUE(player->inits.empty());
    mpris->PlayPause();  // nothing to play: still nothing
    EXPECT_TRUE(player->inits.empty());

    AddMovies();
    EXPECT_TRUE(Bus().CanPlay());
    mpris->PlayPause();
    EXPECT_EQ(player->inits, std::vector<int>{1});  // the play button's reset start
    EXPECT_EQ(Bus().PlaybackStatus(), "Playing");
    Started();

    mpris->PlayPause();
    EXPECT_EQ(player->pauses, 1);
    EXPECT_EQ(Bus().PlaybackStatus(), "Paused");
    mpris->Pause();  // paused already: no second toggle, which would resume
    EXPECT_EQ(player->pauses, 1);
    mpris->Play();  // resumes
    EXPECT_EQ(player->pauses, 2);
    EXPECT_EQ(Bus().PlaybackStatus(), "Playing");
    mpris->Play();  // playing already
    EXPECT_EQ(player->pauses, 2);
    EXPECT_EQ(player->inits.size(), 1u);

    mpris->Pause();
    EXPECT_EQ(player->pauses, 3);
    mpris->Previous();  // the player starts the file before unpaused, and says so
    dlg->OnWinMessage(WM_PLAY_STATE, 0, 0);
    dlg->OnWinMessage(WM_PLAY_STATE, 1, 1);
    EXPECT_EQ(Bus().PlaybackStatus(), "Playing");
    mpris->Play();  // playing: a toggle here would pause the new file
    EXPECT_EQ(player->pauses, 3);

    mpris->Next();
    EXPECT_EQ(player->nexts, 1);
    EXPECT_EQ(player->previouses, 1);
    mpris->Stop();
    EXPECT_EQ(player->stops, 1);
    dlg->OnWinMessage(WM_PLAYLIST_STOPPED, 0, 0);
    EXPECT_EQ(Bus().PlaybackStatus(), "Stopped");
    mpris->Stop();  // idle: not passed on
    EXPECT_EQ(player->stops, 1);
}

TEST_F(MprisServiceTest, MetadataAndPositionDescribeThePlayingFile) {
    const QVariantMap idle = Bus().Metadata();
    EXPECT_EQ(idle.value("mpris:trackid").value<QDBusObjectPath>().path(),
              "/org/mpris/MediaPlayer2/TrackList/NoTrack");
    EXPECT_FALSE(idle.contains("xesam:url"));
    EXPECT_EQ(Bus().Position(), 0);

    PlayFirst();
    const QVariantMap m = Bus().Metadata();
    EXPECT_EQ(m.value("xesam:title").toString(), "first movie");
    EXPECT_EQ(m.value("xesam:url").toString().toStdString(),
              "file://" + dir.Path("first%20movie.tvq"));
    EXPECT_EQ(m.value("mpris:length").toLongLong(), 200'000'000LL);
    EXPECT_EQ(Bus().Position(), 30'000'000LL);
    // The length as the player reported it, the position from its clock, neither from the
    // slider.
    dlg->OnWinMessage(WM_SEEKBAR, 2, 150);
    Slider()->setRange(0, 90);
    player->positionMs = 42'250;
    EXPECT_EQ(Bus().Metadata().value("mpris:length").toLongLong(), 150'000'000LL);
    EXPECT_EQ(Bus().Position(), 42'250'000LL);
    const QString track = m.value("mpris:trackid").value<QDBusObjectPath>().path();
    EXPECT_TRUE(track.startsWith("/org/tvqplayer/track/"));
    player->currentFile = dir.Path("b.tvq");
    dlg->OnWinMessage(WM_PLAY_STATE, 1, 1);
    EXPECT_NE(Bus().Metadata().value("mpris:trackid").value<QDBusObjectPath>().path(), track);
}

TEST_F(MprisServiceTest, SeeksTakeTheSlidersPathAndSetPositionChecksTheTrack) {
    PlayFirst();
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
    const QString track = Bus().Metadata().value("mpris:trackid").value<QDBusObjectPath>().path();
    mpris->SetPosition("/org/tvqplayer/track/other", 10'000'000);
    mpris->SetPosition(track, 201'000'000);  // past the end
    mpris->SetPosition(track, -1);
    EXPECT_EQ(player->seeks.size(), 2u);
    mpris->SetPosition(track, 120'500'000);
    EXPECT_EQ(player->seeks.back(), 120);
}

TEST_F(MprisServiceTest, TheDialogsChangesAreAnnouncedOnceAndOnlyWhatChanged) {
    EXPECT_TRUE(mpris->PublishChanges().contains("PlaybackStatus"));
    EXPECT_TRUE(mpris->PublishChanges().isEmpty());
    // From here on the dialog asks for each announcement itself; nothing polls.
    QSignalSpy announced(mpris.get(), &CMprisService::Announced);
    const auto announcedNames = [&] {
        QCoreApplication::processEvents();
        QStringList names;
        for (const QList<QVariant>& call : announced) names += call.at(0).toStringList();
        announced.clear();
        return names;
    };
    AddMovies();
    EXPECT_EQ(announcedNames(), QStringList{"CanPlay"});
    dlg->OnPlay();
    Started();
    const QStringList started = announcedNames();
    EXPECT_TRUE(started.contains("PlaybackStatus"));
    EXPECT_TRUE(started.contains("Metadata"));
    EXPECT_TRUE(started.contains("CanSeek"));
    EXPECT_EQ(started.count("Metadata"), 1);
    dlg->OnWinMessage(WM_PLAY_POSITION, 31, 0);  // the position is read, never announced
    EXPECT_TRUE(announcedNames().isEmpty());
    dlg->OnPause();
    EXPECT_TRUE(announced.isEmpty());  // queued: the command's caller is answered first
    EXPECT_EQ(announcedNames(), QStringList{"PlaybackStatus"});
    dlg->SetVolumePercent(40);
    EXPECT_EQ(announcedNames(), QStringList{"Volume"});
    dlg->OnWinMessage(WM_PLAYLIST_STOPPED, 0, 0);
    EXPECT_TRUE(announcedNames().contains("PlaybackStatus"));
    EXPECT_TRUE(mpris->PublishChanges().isEmpty());  // nothing was left for a poll to find
}

TEST_F(MprisServiceTest, RatesRunTheSpeedCommandsAndAnewFileStartsAtNormalSpeed) {
    mpris->SetRate(2.0);  // nothing plays: nothing to speed up
    EXPECT_TRUE(player->speeds.empty());
    PlayFirst();
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
    EXPECT_EQ(Bus().Rate(), -8.0);
    EXPECT_TRUE(mpris->PublishChanges().isEmpty());  // the change went out with its state
    QSignalSpy announced(mpris.get(), &CMprisService::Announced);
    player->currentFile = dir.Path("b.tvq");  // the list moved on, in an engine of its own
    player->speed = {};
    dlg->OnWinMessage(WM_PLAY_STATE, 1, 1);
    EXPECT_EQ(Bus().Rate(), 1.0);
    ASSERT_EQ(announced.size(), 1);
    EXPECT_TRUE(announced[0].at(0).toStringList().contains("Rate"));
}

// A session bus of one test: a dbus-daemon of its own, gone with the object.
class PrivateBus {
public:
    PrivateBus() {
        FILE* out =
            popen("dbus-daemon --session --fork --print-address=1 --print-pid=1 2>/dev/null", "r");
        if (!out)
            return;
        char line[512] = {};
        if (std::fgets(line, sizeof line, out))
            address_ = QString::fromUtf8(line).trimmed();
        if (std::fgets(line, sizeof line, out))
            pid_ = static_cast<pid_t>(std::atoi(line));
        pclose(out);
    }
    ~PrivateBus() {
        if (pid_ > 0)
            kill(pid_, SIGTERM);
    }
    bool Running() const { return pid_ > 0 && !address_.isEmpty(); }
    QDBusConnection Connect(const QString& name) const {
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QString address_;
    pid_t pid_ = 0;
};

// What a desktop's media widget hears from the player.
class BusListener : public QObject {
    Q_OBJECT

public:
    QList<qlonglong> seeked;
    QList<QVariantMap> changed;

public slots:
    void OnSeeked(qlonglong position) { seeked << position; }
    void OnPropertiesChanged(const QString&, const QVariantMap& properties, const QStringList&) {
        changed << properties;
    }
};

class MprisBusTest : public MprisServiceTest {
protected:
    void SetUp() override {
        MprisServiceTest::SetUp();
        if (!bus.Running())
            GTEST_SKIP() << "no dbus-daemon to start a private bus";
        ASSERT_TRUE(mpris->Register(bus.Connect("tvq-service")));
        client = std::make_unique<QDBusConnection>(bus.Connect("tvq-client"));
        ASSERT_TRUE(client->isConnected());
        client->connect(QString(), CMprisService::kObjectPath, kPlayer, "Seeked", &listener,
                        SLOT(OnSeeked(qlonglong)));
        client->connect(QString(), CMprisService::kObjectPath, "org.freedesktop.DBus.Properties",
                        "PropertiesChanged", &listener,
                        SLOT(OnPropertiesChanged(QString, QVariantMap, QStringList)));
    }
    void TearDown() override {
        client.reset();
        MprisServiceTest::TearDown();
        QDBusConnection::disconnectFromBus("tvq-client");
        QDBusConnection::disconnectFromBus("tvq-service");
    }
    // A call answered by the player on this thread: the wait runs the event loop.
    QDBusMessage Call(const QString& interface, const QString& method, const QVariantList& args) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            CMprisService::kServiceName, CMprisService::kObjectPath, interface, method);
        call.setArguments(args);
        return client->call(call, QDBus::BlockWithGui, 5000);
    }
    QVariant Get(const QString& property) {
        const QDBusMessage reply =
            Call("org.freedesktop.DBus.Properties", "Get", {QString(kPlayer), property});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    bool Announced(const QString& property, const QVariant& value) {
        return QTest::qWaitFor([&] {
            for (const QVariantMap& m : listener.changed)
                if (m.value(property) == value)
                    return true;
            return false;
        });
    }

    static constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";
    PrivateBus bus;
    std::unique_ptr<QDBusConnection> client;
    BusListener listener;
};

TEST_F(MprisBusTest, VolumeRoundTripsAndIsAnnounced) {
    EXPECT_EQ(Get("Volume").toDouble(), 1.0);
    const QDBusMessage set =
        Call("org.freedesktop.DBus.Properties", "Set",
             {QString(kPlayer), QString("Volume"), QVariant::fromValue(QDBusVariant(0.354))});
    ASSERT_NE(set.type(), QDBusMessage::ErrorMessage) << set.errorMessage().toStdString();
    EXPECT_EQ(dlg->VolumePercent(), 35);
    EXPECT_EQ(player->volumes.back(), std::make_pair(35, false));
    EXPECT_DOUBLE_EQ(Get("Volume").toDouble(), 0.35);
    EXPECT_TRUE(Announced("Volume", 0.35));
    Call("org.freedesktop.DBus.Properties", "Set",
         {QString(kPlayer), QString("Volume"), QVariant::fromValue(QDBusVariant(3.0))});
    EXPECT_EQ(dlg->VolumePercent(), 100);  // no level beyond full
}

TEST_F(MprisBusTest, SeekedFollowsAnAcceptedSeekAndPauseIsAnnounced) {
    PlayFirst();
    Call(kPlayer, "Seek", {QVariant::fromValue(qlonglong{15'000'000})});
    EXPECT_EQ(player->seeks, std::vector<int32_t>{45});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !listener.seeked.isEmpty(); }));
    EXPECT_EQ(listener.seeked, QList<qlonglong>{45'000'000});
    // Refused while the first seek runs: no second Seeked.
    Call(kPlayer, "Seek", {QVariant::fromValue(qlonglong{5'000'000})});
    EXPECT_EQ(player->seeks.size(), 1u);

    Call(kPlayer, "Pause", {});
    EXPECT_EQ(player->pauses, 1);
    EXPECT_TRUE(Announced("PlaybackStatus", QString("Paused")));
    // The playlist's end reaches the bus without being asked.
    dlg->OnWinMessage(WM_PLAYLIST_STOPPED, 0, 0);
    EXPECT_TRUE(Announced("PlaybackStatus", QString("Stopped")));
    EXPECT_EQ(listener.seeked.size(), 1);
}

}  // namespace

#include "MprisServiceTest.moc"
