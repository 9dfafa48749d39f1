// settings.ini: the four options read back as written, the defaults of a missing file or key,
// the values taken unchecked, and the other lines of the file kept; the dialog writes it at
// each change from the video window's menu.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "AppTestSupport.h"
#include "app/SettingsFile.h"
#include "display/VideoWnd.h"
#include "platform/MessageBox.h"

namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    void Write(const std::string& text) { std::ofstream(path) << text; }
    std::string Read() {
        std::stringstream s;
        s << std::ifstream(path).rdbuf();
        return s.str();
    }
    TempFolder dir;
    std::string path = dir.Path("settings.ini");
    CSettingsFile file{path};
    CPlayerSettings settings;
};

TEST_F(SettingsFileTest, AMissingFileKeepsTheDefaultsAndTheFirstSaveMakesIt) {
    settings.SetDisplayMode(DisplayMode::UpDownLeftRight);
    EXPECT_FALSE(file.Load(settings));
    EXPECT_TRUE(settings.Repeat());
    EXPECT_TRUE(settings.Adjust());
    EXPECT_EQ(settings.GetDisplayMode(), DisplayMode::UpDownLeftRight);  // nothing read
    settings.SetRepeat(false);
    file.Save(settings);
    EXPECT_EQ(Read(), "[PlayerSetup]\nrepeat=FALSE\nadjust=TRUE\nbmpdir=3\nSkin=0\n");
}

TEST_F(SettingsFileTest, FlagsAreOnOnlyForTrueInAnyCaseAndNumbersAreTakenUnchecked) {
    Write("[PlayerSetup]\nrepeat=true\nadjust=1\nbmpdir= 4 \n");
    ASSERT_TRUE(file.Load(settings));
    EXPECT_TRUE(settings.Repeat());
    EXPECT_FALSE(settings.Adjust());
    EXPECT_EQ(settings.GetDisplayMode(), DisplayMode::Rotate90);
    EXPECT_EQ(settings.SkinIndex(), 0);  // key missing: "0"

    Write("[playersetup]\nREPEAT=yes\nbmpdir=9\nSkin=7\n");
    ASSERT_TRUE(file.Load(settings));
    EXPECT_FALSE(settings.Repeat());
    EXPECT_TRUE(settings.Adjust());  // key missing: "TRUE"
    EXPECT_EQ(settings.GetDisplayMode(), DisplayMode{9});
    EXPECT_EQ(settings.SkinIndex(), 7);  // the skin list decides what it means
    file.Save(settings);
    EXPECT_NE(Read().find("bmpdir=9\nSkin=7\n"), std::string::npos) << Read();

    Write("[PlayerSetup]\nbmpdir=abc\nSkin=-3x\n");
    ASSERT_TRUE(file.Load(settings));
    EXPECT_EQ(settings.GetDisplayMode(), DisplayMode::Normal);
    EXPECT_EQ(settings.SkinIndex(), -3);
}

TEST_F(SettingsFileTest, SaveKeepsTheFilesOtherLines) {
    Write("; mine\n[Other]\nx=1\n[PlayerSetup]\nSkin=5\nrepeat=TRUE\n");
    ASSERT_TRUE(file.Load(settings));
    settings.SetAdjust(false);
    file.Save(settings);
    const std::string text = Read();
    EXPECT_NE(text.find("; mine\n[Other]\nx=1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Skin=5"), std::string::npos) << text;
    EXPECT_NE(text.find("adjust=FALSE"), std::string::npos) << text;
}

TEST_F(SettingsFileTest, TheDialogReadsItAtStartAndWritesEachMenuChange) {
    Write("[PlayerSetup]\nrepeat=FALSE\nbmpdir=2\n");
    win::SetMessageBoxService(std::make_shared<win::RecordingMessageBoxService>());
    CPlayerDlg dlg(TestDialogOptions(dir, std::make_unique<FakePlayer>()));
    EXPECT_FALSE(dlg.VideoWindow()->GetRepeat());
    EXPECT_EQ(dlg.VideoWindow()->GetDisplayMode(), DisplayMode::LeftRight);
    dlg.VideoWindow()->OnCommand(32803);  // 270 Degree Circle
    const std::string text = Read();
    EXPECT_NE(text.find("repeat=FALSE"), std::string::npos) << text;
    EXPECT_NE(text.find("bmpdir=5"), std::string::npos) << text;
    win::SetMessageBoxService(nullptr);
}

}  // namespace
