#pragma once
// Shared pieces of the front-end tests: a recording playlist player, a private folder for each
// test, movie files with just the header the playlist reads, and the dialog on the player.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/PlayerControl.h"
#include "app/PlayerDlg.h"
#include "platform/MessageBox.h"
#include "support/OwnerDrawListCtrl.h"
#include "support/SkinSliderCtrl.h"

class FakePlayer : public IPlayerControl {
public:
    int Init(win::MessageTarget*, IVideoTarget*, int resetIndex) override {
        inits.push_back(resetIndex);
        return 1;
    }
    void AddFile(const std::string& path) override { files.push_back(path); }
    void ClearList() override {
        files.clear();
        ++clears;
    }
    int RemoveFiles(const std::vector<std::string>& paths) override {
        removed = paths;
        return removeResult;
    }
    int SelectFile(const std::string& path) override {
        selected.push_back(path);
        return 1;
    }
    int Next() override { return ++nexts, 1; }
    int Previous() override { return ++previouses, 1; }
    void Pause() override { ++pauses; }
    void Stop() override { ++stops; }
    int SeekTo(int32_t second) override {
        seeks.push_back(second);
        return second >= 0 && second < length ? 1 : 0;
    }
    // Speeds change as the engine's do in the cases the tests take: 1x forward is normal
    // play, and 1x backward leaves backward play for normal play.
    void OnSpeedMessage(uint32_t message) override {
        speeds.push_back(message);
        SpeedCommand asked;
        SpeedCommand::From(message, &asked);
        const bool backward = asked.direction == SpeedDirection::Backward;
        if (asked.speed == Speed::X1 && (!backward || speed.mode == SpeedMode::Backward))
            speed = {};
        else
            speed = {backward ? SpeedMode::Backward : SpeedMode::Forward, asked.speed};
    }
    PlaySpeed GetSpeed() override { return speed; }
    void ShowProperties() override { ++properties; }
    void Shutdown() override { ++shutdowns; }
    std::string GetCurrentFile() const override { return currentFile; }
    void SetVolume(int percent, bool muted) override { volumes.emplace_back(percent, muted); }
    int64_t GetPositionMs() override { return positionMs; }
    int32_t GetLengthSeconds() override { return length; }
    void SetStartQuery(std::function<int32_t(const std::string&)> query) override {
        startQuery = std::move(query);
    }

    std::vector<int> inits;
    std::vector<std::string> files, selected, removed;
    std::vector<int32_t> seeks;
    std::vector<uint32_t> speeds;
    int clears = 0, nexts = 0, previouses = 0, pauses = 0, stops = 0, properties = 0, shutdowns = 0;
    int removeResult = 0;
    int32_t length = 200;  // seconds of the "playing" file
    std::string currentFile;
    std::vector<std::pair<int, bool>> volumes;  // every level handed on, with its mute
    int64_t positionMs = 0;
    PlaySpeed speed;
    std::function<int32_t(const std::string&)> startQuery;
};

// A private folder, removed with the object.
class TempFolder {
public:
    std::string Path(const std::string& name) const { return Folder() + "/" + name; }
    std::string Folder() const { return dir_.path().toStdString(); }

private:
    QTemporaryDir dir_{"/tmp/tvq-app-test-XXXXXX"};
};

// A file with the 28-byte movie header and the packed length at 84; riffSize != 0 spoils it.
std::string WriteMovieHeader(const std::string& path, int32_t seconds, uint32_t riffSize = 0);

// The main dialog as the front-end tests build it: a private program folder, a recording
// player in place of the real one, and no listening for other copies of the program.
inline CPlayerDlg::Options TestDialogOptions(const TempFolder& dir,
                                             std::unique_ptr<IPlayerControl> player) {
    CPlayerDlg::Options options;
    options.programFolder = dir.Folder() + "/";
    options.player = std::move(player);
    options.listenForCopies = false;
    return options;
}

// The main dialog on a recording player, with the tick count and the files the open dialog
// returns in the test's hands and the message boxes recorded.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        win::SetMessageBoxService(boxes);
        Open({});
    }
    void TearDown() override {
        dlg.reset();
        win::SetMessageBoxService(nullptr);
    }
    // What a suite sets in the dialog's options besides these.
    virtual void Configure(CPlayerDlg::Options&) {}
    // A new dialog, as started with these files on its command line.
    void Open(std::vector<std::string> commandLineFiles) {
        dlg.reset();
        auto fake = std::make_unique<FakePlayer>();
        player = fake.get();
        auto options = TestDialogOptions(dir, std::move(fake));
        options.commandLineFiles = std::move(commandLineFiles);
        options.tickCount = [this] { return now; };
        options.chooseFiles = [this] { return chosen; };
        Configure(options);
        dlg = std::make_unique<CPlayerDlg>(std::move(options));
    }
    std::string Movie(const std::string& name, int32_t seconds = 75) {
        return WriteMovieHeader(dir.Path(name), seconds);
    }
    CSkinSliderCtrl* Slider() { return dlg->SkinSlider(); }
    COwnerDrawListCtrl* List() { return dlg->SkinPlaylist(); }

    TempFolder dir;
    std::shared_ptr<win::RecordingMessageBoxService> boxes =
        std::make_shared<win::RecordingMessageBoxService>();
    FakePlayer* player = nullptr;
    uint32_t now = 5000;
    std::vector<std::string> chosen;
    std::unique_ptr<CPlayerDlg> dlg;
};

#ifdef TVQ_SHIPPED_SKINS
// The shipped skins in the test's program folder, as an installed program has them.
inline void CopyShippedSkins(const TempFolder& dir) {
    std::filesystem::copy(TVQ_SHIPPED_SKINS, dir.Path("skin"),
                          std::filesystem::copy_options::recursive);
}
#endif
