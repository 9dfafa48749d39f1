// The display menu (items, texts, check marks, posted messages), the zoom rules and full
// screen's way there and back.
#include <QMenu>
#include <fstream>
#include <sstream>

#include "DisplayTestUtil.h"
#include "engine/Messages.h"

namespace {

struct Item {
    std::string text;  // "-" for a separator
    int id;            // 0 for separators and popups
    bool checked;
};

std::vector<Item> Items(const QMenu& menu) {
    std::vector<Item> items;
    for (const QAction* a : menu.actions()) {
        if (a->isSeparator())
            items.push_back({"-", 0, false});
        else
            items.push_back(
                {a->text().toStdString(), a->menu() ? 0 : a->data().toInt(), a->isChecked()});
    }
    return items;
}

const QMenu* Popup(const QMenu& menu, int position) {
    return menu.actions().at(position)->menu();
}

std::vector<int> CheckedIds(const QMenu& menu) {
    std::vector<int> ids;
    for (const Item& i : Items(menu))
        if (i.checked)
            ids.push_back(i.id);
    return ids;
}

void ExpectItems(const std::vector<Item>& got, const std::vector<Item>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].text, want[i].text) << "position " << i + 1;
        EXPECT_EQ(got[i].id, want[i].id) << "position " << i + 1;
        EXPECT_EQ(got[i].checked, want[i].checked) << "position " << i + 1;
    }
}

TEST_F(VideoWindowTest, MenuHasTheItemsInOrderWithTheirChecks) {
    settings_.SetAdjust(false);
    const auto menu = video_->BuildContextMenu();
    ExpectItems(Items(*menu), {{"Amplify", 32781, false},
                               {"Reduce", 32782, false},
                               {"Equal", 32783, false},
                               {"-", 0, false},
                               {"Repeat", 32786, true},
                               {"Full screen", 32787, false},
                               {"Adjust", 32801, false},
                               {"-", 0, false},
                               {"Forward", 0, false},
                               {"Display", 0, false},
                               {"-", 0, false},
                               {"Property", 32800, false}});
    // Nothing playing: the engine's speed reads as 0, so 1X is checked.
    ExpectItems(
        Items(*Popup(*menu, 8)),
        {{"1X", 32793, true}, {"2X", 32794, false}, {"4X", 32790, false}, {"8X", 32795, false}});
    ExpectItems(Items(*Popup(*menu, 9)), {{"Normal", 32796, true},
                                          {"UpDown", 32797, false},
                                          {"LeftRight", 32798, false},
                                          {"UpDown-LeftRight", 32799, false},
                                          {"90 Degree Circle", 32802, false},
                                          {"270 Degree Circle", 32803, false}});
}

TEST(DisplayMenu, SpeedChecksFollowIndexAndModeAndOddModesCheckNothing) {
    using display_menu::MenuState;
    const auto forwardChecks = [](MenuState s) {
        return CheckedIds(*Popup(*display_menu::Build(s, nullptr), 8));
    };
    EXPECT_EQ(forwardChecks({.speed = Speed::X4, .speedMode = SpeedMode::Forward}),
              std::vector<int>{32790});
    EXPECT_EQ(forwardChecks({.speed = Speed::X8, .speedMode = SpeedMode::Forward}),
              std::vector<int>{32795});
    EXPECT_EQ(forwardChecks({.speed = Speed::X4, .speedMode = SpeedMode::Backward}),
              std::vector<int>{});
    EXPECT_EQ(forwardChecks({.speed = Speed::X1, .speedMode = SpeedMode::Backward}),
              std::vector<int>{32793});
    EXPECT_EQ(CheckedIds(
                  *Popup(*display_menu::Build({.displayMode = DisplayMode::Rotate90}, nullptr), 9)),
              std::vector<int>{32802});
    EXPECT_EQ(CheckedIds(*Popup(*display_menu::Build({.displayMode = DisplayMode{9}}, nullptr), 9)),
              std::vector<int>{});
}

TEST_F(VideoWindowTest, CommandsPostToTheDialogOrChangeAndSaveTheOptions) {
    for (int id : {32793, 32794, 32790, 32795, 32800}) video_->OnCommand(id);
    std::vector<uint32_t> posted;
    for (const auto& r : messages_.Messages()) {
        posted.push_back(r.message);
        EXPECT_EQ(r.wParam, 0u);
        EXPECT_EQ(r.lParam, 0);
    }
    EXPECT_EQ(posted,
              (std::vector<uint32_t>{WM_SPEED_FORWARD_1X, WM_SPEED_FORWARD_2X, WM_SPEED_FORWARD_4X,
                                     WM_SPEED_FORWARD_8X, WM_SHOW_PROPERTY}));

    // The options kept in the settings file change there, and the owner is asked to save.
    int saves = 0;
    video_->SetSettingsChanged([&] { ++saves; });
    video_->OnCommand(32786);  // Repeat
    video_->OnCommand(32803);  // 270 Degree Circle
    EXPECT_FALSE(settings_.Repeat());
    EXPECT_EQ(settings_.GetDisplayMode(), DisplayMode::Rotate270);
    EXPECT_EQ(video_->GetDisplayMode(), DisplayMode::Rotate270);  // the frames turn by it
    video_->OnCommand(32801);                                     // Adjust
    EXPECT_FALSE(video_->GetAdjust());
    EXPECT_EQ(saves, 3);
}

TEST_F(VideoWindowTest, AmplifyStopsBelowTheFitAndReduceNeverGoesUnderOne) {
    ASSERT_NO_FATAL_FAILURE(Play(0, 0));
    if (IsSkipped())
        return;
    video_->resize(400, 320);
    video_->SetVideoAreaBottom(0);
    video_->ZoomIn();  // no scope strip drawn yet: nothing to fit against
    EXPECT_EQ(video_->GetZoom(), 1.0f);

    video_->SetVideoAreaBottom(300);  // limit min(400/96, 300/64) = 4.17
    const float expected[] = {1.25f,      1.5625f,    1.953125f, 2.4414062f,
                              3.0517578f, 3.8146973f, 3.8146973f};
    for (float z : expected) {
        video_->OnCommand(32781);
        EXPECT_FLOAT_EQ(video_->GetZoom(), z);
    }
    video_->SetZoom(1.2f);
    video_->OnCommand(32782);
    EXPECT_EQ(video_->GetZoom(), 1.0f);  // 0.9 raised to 1
    video_->OnCommand(32782);
    EXPECT_EQ(video_->GetZoom(), 1.0f);
    video_->SetZoom(2.0f);
    video_->OnCommand(32782);
    EXPECT_FLOAT_EQ(video_->GetZoom(), 1.5f);
    video_->OnCommand(32783);
    EXPECT_EQ(video_->GetZoom(), 1.0f);
}

TEST_F(VideoWindowTest, FitZoomShrinksAnOversizedPictureAfterAResize) {
    ASSERT_NO_FATAL_FAILURE(Play(0, 0));
    if (IsSkipped())
        return;
    dialog_->show();
    video_->SetZoom(3.0f);  // 288 x 192
    video_->SetVideoAreaBottom(150);
    video_->resize(200, 150);  // the resize handler fits: min(200/288, 150/192) = 0.694
    EXPECT_NEAR(video_->GetZoom(), 2.0833f, 1e-3);
    video_->FitZoom();  // 200 x 133 now fits: no change
    EXPECT_NEAR(video_->GetZoom(), 2.0833f, 1e-3);

    video_->SetVideoAreaBottom(0);  // nothing measured yet: the zoom falls back to 1
    video_->FitZoom();
    EXPECT_EQ(video_->GetZoom(), 1.0f);
}

TEST_F(VideoWindowTest, FullScreenTwiceReturnsToTheCentredWindow) {
    dialog_->show();
    const QSize screen = video_->ScreenSize();
    dialog_->move(-50, -40);  // partly off the screen
    const QRect videoBefore = video_->geometry();

    video_->OnCommand(32787);
    ASSERT_TRUE(video_->IsFullScreen());
    EXPECT_TRUE(dialog_->isFullScreen());
    EXPECT_EQ(video_->size(), screen);
    video_->SetZoom(2.0f);
    video_->ZoomReset();  // zoom commands are ignored in full screen
    video_->ZoomOut();
    EXPECT_EQ(video_->GetZoom(), 2.0f);
    EXPECT_TRUE(video_->BuildContextMenu()->actions().at(5)->isChecked());

    video_->ToggleFullScreen();
    EXPECT_FALSE(video_->IsFullScreen());
    EXPECT_FALSE(dialog_->isFullScreen());
    const QRect centred((screen.width() - 420) / 2, (screen.height() - 320) / 2, 420, 320);
    EXPECT_EQ(dialog_->geometry(), centred);
    EXPECT_EQ(video_->geometry(), videoBefore);

    video_->LeaveFullScreen();  // not in full screen: nothing happens
    EXPECT_EQ(dialog_->geometry(), centred);
}

TEST_F(VideoWindowTest, TitleStripFollowsTheWindowAndStepsOnTheTimer) {
    video_->resize(100, 150);  // narrower than the room kept for the time text
    ASSERT_TRUE(video_->LayoutTitle());
    EXPECT_EQ(video_->TitleStrip().AreaRight(), 20);
    video_->resize(400, 150);
    ASSERT_TRUE(video_->LayoutTitle());
    const int right = video_->TitleStrip().AreaRight();
    EXPECT_GT(right, 20);
    EXPECT_EQ(video_->TitleStrip().DestinationX(), right);
    video_->Tick(CVideoWnd::kTitleTimerId);
    video_->Tick(CVideoWnd::kTitleTimerId);
    EXPECT_EQ(video_->TitleStrip().DestinationX(), right - 10);
    EXPECT_EQ(video_->TitleStrip().VisibleWidth(), 15);
}

}  // namespace
