// The main dialog's skin: its layout values, the controls placed and grown by them, the
// background split, and skin switches.
#include <gtest/gtest.h>

#include <QPainter>
#include <algorithm>
#include <iterator>
#include <memory>
#include <string>

#include "SkinTestSupport.h"
#include "platform/MessageBox.h"
#include "platform/WinTypes.h"
#include "skin/MainSkin.h"
#include "skin/SkinButton.h"
#include "skin/SkinHeader.h"
#include "skin/SkinList.h"
#include "support/OwnerDrawListCtrl.h"
#include "support/SkinSliderCtrl.h"

namespace {

const int kButtonIds[] = {IDC_PREV, IDC_PLAY, IDC_STOP, IDC_PAUSE, IDC_NEXT, IDC_ADD, IDC_STYLE};
const char* const kButtonFiles[] = {
    "prev_normal",    "prev_click",      "prev_disable", "play_normal_p",  "play_click_p",
    "play_disable_p", "stop_normal_p",   "stop_click_p", "stop_disable_p", "pause_normal_p",
    "pause_click_p",  "pause_disable_p", "next_normal",  "next_click",     "next_disable",
    "open_normal",    "open_click",      "open_disable", "style1",         "style2",
    "style3"};

const char* const kFullLayout =
    "[PLAYPOSITION]\nDISPLAY1=(5,6)\nDISPLAY2=(95,40)\nSLIDER1=(5,42)\nSLIDER2=(95,50)\n"
    "PREVBUTTON=(1,52)\nPLAYBUTTON=(11,52)\nSTOPBUTTON=(21,52)\nPAUSEBUTTON=(31,52)\n"
    "NEXTBUTTON=(41,52)\nADDBUTTON=(51,52)\nLIST1=(2,60)\nLIST2=(98,78)\nSTYLEBUTTON=(61,52)\n"
    "LISTBKCOLOR=(10,20,30)\nLISTSELCOLOR=(255,0,0)\n";

class FakeMainDialog : public ISkinnedMainDialog {
public:
    FakeMainDialog() : client(new QWidget(&window)) {
        window.setWindowFlags(Qt::Dialog | Qt::WindowMinimizeButtonHint);
        window.setGeometry(100, 100, 300, 250);
        client->setGeometry(0, 0, 300, 250);
        for (int i = 0; i < 7; ++i)
            (buttons[i] = new CSkinButton(client))->setGeometry(200, 10 + 20 * i, 20, 15);
        slider = new CSkinSliderCtrl(client);
        slider->setGeometry(3, 180, 250, 20);
        list = new COwnerDrawListCtrl(client);
        list->setGeometry(3, 200, 250, 40);
        video = new QWidget(client);
        video->setGeometry(3, 3, 190, 170);
    }

    QWidget* SkinWindow() override { return &window; }
    QWidget* SkinClient() override { return client; }
    CSkinButton* SkinButton(int id) override {
        for (int i = 0; i < 7; ++i)
            if (kButtonIds[i] == id)
                return buttons[i];
        return nullptr;
    }
    CSkinSliderCtrl* SkinSlider() override { return slider; }
    COwnerDrawListCtrl* SkinPlaylist() override { return list; }
    QWidget* SkinVideoWindow() override { return video; }
    void ReloadScope(const std::string& folder) override { scopeFolder = folder; }
    void SaveSettings() override { ++saves; }
    QWidget window;
    QWidget* client;
    CSkinButton* buttons[7];
    CSkinSliderCtrl* slider;
    COwnerDrawListCtrl* list;
    QWidget* video;
    std::string scopeFolder;
    int saves = 0;
};

class MainSkinTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        program = dir.path().toStdString() + "/";
        boxes = std::make_shared<win::RecordingMessageBoxService>();
        win::SetMessageBoxService(boxes);
    }
    void TearDown() override {
        win::SetMessageBoxService(nullptr);
        DeleteSkinList();
    }

    // A complete skin in program/sub with buttons of the given size and a caption of caption/2.
    void MakeSkin(const std::string& sub, QSize buttonSize, int captionBitmapHeight,
                  const std::string& layout = kFullLayout) {
        QDir().mkpath(QString::fromStdString(program + sub));
        TestSkin skin(program + sub);
        SaveBmp(Filled(60, captionBitmapHeight, kActiveCaption), skin.folder + "top.bmp");
        skin.extra = layout;
        skin.Write();
        for (const char* name : kButtonFiles)
            SaveBmp(Filled(buttonSize.width(), buttonSize.height(), Qt::darkCyan),
                    skin.folder + name + ".bmp");
        SaveBmp(Filled(TestSkin::kBackgroundW, TestSkin::kBackgroundH, kBackgroundColour),
                skin.folder + "dialog-p.bmp");
        SaveBmp(Filled(8, 8, Qt::white), skin.folder + "thumb-p.bmp");
    }

    QTemporaryDir dir;
    std::string program;
    std::shared_ptr<win::RecordingMessageBoxService> boxes;
    FakeMainDialog dialog;
};

TEST_F(MainSkinTest, FullSkinPlacesControlsFitsTheFrameAndLoadsEverything) {
    CreateSkinList("(A,skinA\\);(B,skinB\\);");
    MakeSkin("skinA", QSize(9, 8), 40);
    CMainSkin skin(dialog, program);
    const QPoint before = dialog.window.pos();
    skin.ApplyMainSkin();
    EXPECT_TRUE(boxes->Boxes().empty());
    EXPECT_EQ(dialog.SkinButton(IDC_PLAY)->geometry(), QRect(11, 52, 9, 8));
    EXPECT_EQ(dialog.slider->geometry(), QRect(5, 42, 90, 8));
    EXPECT_EQ(dialog.list->geometry(), QRect(2, 60, 96, 18));
    EXPECT_EQ(dialog.video->geometry(), QRect(5, 6, 90, 34));
    EXPECT_TRUE(skin.Frame().IsAttached());
    EXPECT_FALSE(skin.AttachPending());
    EXPECT_EQ(dialog.window.size(),
              QSize(8 + TestSkin::kBackgroundW, 20 + 4 + TestSkin::kBackgroundH));
    EXPECT_EQ(dialog.window.pos(), before + QPoint(0, 1));
    for (int id : kButtonIds) EXPECT_TRUE(dialog.SkinButton(id)->IsLoaded()) << id;
    EXPECT_FALSE(dialog.SkinButton(IDC_STYLE)->isHidden());
    EXPECT_TRUE(dialog.slider->IsSkinned());
    EXPECT_FALSE(dialog.slider->isEnabled());
    EXPECT_EQ(dialog.list->GetBkColor(), 0x1E140Au);
    EXPECT_EQ(dialog.list->GetCurrentRowColor(), 0x0000FFu);
    const auto* header = dynamic_cast<CSkinHeader*>(dialog.list->header());
    EXPECT_TRUE(header != nullptr && header->SkinFolder() == "skinA\\");
    EXPECT_EQ(dialog.scopeFolder, program + "skinA/");
}

TEST_F(MainSkinTest, OneMissingPointMovesNothing) {
    std::string layout = kFullLayout;
    layout.replace(layout.find("STYLEBUTTON=(61,52)\n"), 20, "");
    layout.replace(layout.find("LISTBKCOLOR=(10,20,30)"), 22, "LISTBKCOLOR=(10,20)");
    CreateSkinList("");
    MakeSkin("skin/xpstyle", QSize(9, 8), 40, layout);
    CMainSkin skin(dialog, program);
    skin.ApplyMainSkin();
    EXPECT_FALSE(skin.Layout().layoutValid);
    EXPECT_EQ(dialog.SkinButton(IDC_PLAY)->pos(), QPoint(200, 30));
    EXPECT_EQ(dialog.video->geometry(), QRect(3, 3, 190, 170));
    // The frame still loads, and a malformed list colour is black.
    EXPECT_TRUE(skin.Frame().IsAttached());
    EXPECT_EQ(dialog.list->GetBkColor(), 0u);
    // The well-formed selection colour is still read.
    EXPECT_EQ(dialog.list->GetCurrentRowColor(), 0x0000FFu);
    EXPECT_TRUE(dialog.SkinButton(IDC_STYLE)->isHidden());  // one skin: nothing to choose
}

TEST_F(MainSkinTest, MissingThemeFileIsReportedWithItsFullPath) {
    CreateSkinList("");
    CMainSkin skin(dialog, program);
    skin.ApplyMainSkin();
    const auto shown = boxes->Boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Can not open file " + program + "skin/xpstyle/theme.ini!");
    EXPECT_EQ(shown[0].caption, "Error");
    EXPECT_EQ(shown[0].flags, win::MB_ICONERROR);
    EXPECT_TRUE(skin.AttachPending());
    EXPECT_FALSE(dialog.SkinButton(IDC_PLAY)->IsLoaded());
    EXPECT_EQ(dialog.SkinButton(IDC_PLAY)->size(), QSize(20, 15));
    EXPECT_EQ(dialog.list->GetBkColor(), 0u);
}

TEST_F(MainSkinTest, SkinSwitchSavesAndReloadsInPlace) {
    CreateSkinList("(A,skinA\\);(B,skinB\\);");
    MakeSkin("skinA", QSize(9, 8), 40);
    MakeSkin("skinB", QSize(12, 10), 60);
    CMainSkin skin(dialog, program);
    skin.ApplyMainSkin();
    EXPECT_EQ(dialog.window.contentsMargins().top(), 20);
    skin.OnSkinCommand(0x8001);
    EXPECT_EQ(GetSkinList()->GetCurrent(), 1);
    EXPECT_EQ(dialog.saves, 1);
    EXPECT_EQ(dialog.window.contentsMargins().top(), 30);
    EXPECT_EQ(dialog.SkinButton(IDC_PLAY)->size(), QSize(12, 10));
    EXPECT_EQ(dialog.scopeFolder, program + "skinB/");
    // Choosing the skin in use does nothing.
    skin.OnSkinCommand(0x8001);
    EXPECT_EQ(dialog.saves, 1);
}

TEST(GrownLayout, PointsBeyondTheVideoMiddleFollowTheFarEdges) {
    MainLayout layout;
    // The video at the top left, the list beside it, the buttons below.
    const QPoint points[MainLayout::kPointCount] = {
        {10, 10},  {210, 110}, {10, 120},  {210, 130}, {20, 140},  {40, 140}, {60, 140},
        {80, 140}, {100, 140}, {190, 140}, {220, 10},  {300, 150}, {120, 140}};
    std::copy(std::begin(points), std::end(points), layout.Points());
    layout.layoutValid = true;
    // A client of the skin's size, or smaller, keeps the layout as drawn.
    EXPECT_EQ(GrownLayout(layout, QSize(310, 160), QSize(310, 160)).list2, layout.list2);
    EXPECT_EQ(GrownLayout(layout, QSize(310, 160), QSize(200, 100)).display2, layout.display2);
    const MainLayout g = GrownLayout(layout, QSize(310, 160), QSize(310 + 400, 160 + 300));
    EXPECT_EQ(g.display2, QPoint(610, 410));
    EXPECT_EQ(g.slider1, QPoint(10, 420));      // the left end stays, the slider stretches
    EXPECT_EQ(g.nextButton, QPoint(100, 440));  // left of the middle: stays with the left edge
    EXPECT_EQ(g.addButton, QPoint(590, 440));   // right of it: with the right edge
    EXPECT_EQ(g.list1, QPoint(620, 10));        // beside the video: keeps the top, moves right
    EXPECT_EQ(g.list2, QPoint(700, 450));
    // Without a drawn size nothing grows.
    EXPECT_EQ(GrownLayout(layout, QSize(), QSize(900, 900)).display2, layout.display2);
}

// A picture whose every pixel tells where it came from.
QImage CoordinatePicture(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgb(x * 2, y * 3, 77));
    return image;
}

TEST(SplitBackground, CornersKeepTheirPlaceAndTheSplitLinesStretch) {
    const QImage picture = CoordinatePicture(100, 80);
    const auto draw = [&](QSize size) {
        QImage image = Filled(size.width(), size.height(), Qt::black);
        QPainter p(&image);
        CSkinWnd::DrawSplitBackground(p, picture, QPoint(50, 23), image.rect());
        return image;
    };
    EXPECT_EQ(draw(picture.size()), picture);
    const QImage grown = draw(QSize(300, 180));
    EXPECT_EQ(grown.pixel(0, 0), picture.pixel(0, 0));
    EXPECT_EQ(grown.pixel(299, 179), picture.pixel(99, 79));
    EXPECT_EQ(grown.pixel(251, 124), picture.pixel(51, 24));  // first pixel past the stretch
    EXPECT_EQ(grown.pixel(150, 100), picture.pixel(50, 23));  // inside both stretches
    EXPECT_EQ(grown.pixel(260, 10), picture.pixel(60, 10));
    EXPECT_EQ(grown.pixel(10, 100), picture.pixel(10, 23));
}

TEST_F(MainSkinTest, AGrownClientMovesTheControlsAndTheSliderBackdropWithIt) {
    CreateSkinList("");
    MakeSkin("skin/xpstyle", QSize(9, 8), 40);
    const QImage background = CoordinatePicture(TestSkin::kBackgroundW, TestSkin::kBackgroundH);
    SaveBmp(background, program + "skin/xpstyle/dialog-p.bmp");
    CMainSkin skin(dialog, program);
    skin.ApplyMainSkin();
    ASSERT_EQ(skin.DrawnSize(), QSize(TestSkin::kBackgroundW, TestSkin::kBackgroundH));
    const QImage drawnSnapshot = dialog.slider->BackgroundSnapshot();
    ASSERT_EQ(drawnSnapshot.size(), QSize(90, 8));
    EXPECT_EQ(drawnSnapshot.pixel(0, 0), background.pixel(5, 42));
    dialog.client->resize(TestSkin::kBackgroundW + 200, TestSkin::kBackgroundH + 100);
    skin.MoveControls();
    EXPECT_EQ(dialog.video->geometry(), QRect(5, 6, 290, 134));
    EXPECT_EQ(dialog.slider->geometry(), QRect(5, 142, 290, 8));
    EXPECT_EQ(dialog.SkinButton(IDC_STYLE)->pos(), QPoint(261, 152));
    // The slider shows the grown background under its new place: its ends as drawn, the
    // middle stretched from the split column.
    const QImage grown = dialog.slider->BackgroundSnapshot();
    ASSERT_EQ(grown.size(), QSize(290, 8));
    EXPECT_EQ(grown.pixel(0, 0), background.pixel(5, 42));
    EXPECT_EQ(grown.pixel(289, 7), background.pixel(94, 49));
    EXPECT_EQ(grown.pixel(145, 3), background.pixel(50, 45));
    dialog.client->resize(TestSkin::kBackgroundW, TestSkin::kBackgroundH);
    skin.MoveControls();
    EXPECT_EQ(dialog.video->geometry(), QRect(5, 6, 90, 34));
    EXPECT_EQ(dialog.SkinButton(IDC_STYLE)->pos(), QPoint(61, 52));
    EXPECT_EQ(dialog.slider->BackgroundSnapshot(), drawnSnapshot);
}

TEST(LayoutValuesTest, PointsParseDigitsCommaAndParenthesesAndNothingElse) {
    const struct {
        const char* text;
        int x, y;
    } good[] = {{"(10,20)", 10, 20}, {"(,7)", 0, 7}, {"(10,20)xyz", 10, 20}};
    for (const auto& g : good) {
        int x = -1, y = -1;
        EXPECT_TRUE(ReadLayoutPoint(g.text, &x, &y)) << g.text;
        EXPECT_EQ(QPoint(x, y), QPoint(g.x, g.y)) << g.text;
    }
    int x = 0, y = 0;
    for (const char* bad : {"(10, 20)", "(-5,3)", "(10,20", "10,20", "", "(10,", "(10", "(1;2)"})
        EXPECT_FALSE(ReadLayoutPoint(bad, &x, &y)) << bad;
    const std::string tooLong = "(1," + std::string(300, '2') + ")";
    EXPECT_FALSE(ReadLayoutPoint(tooLong.c_str(), &x, &y));
    EXPECT_FALSE(ReadLayoutPoint(nullptr, &x, &y));
}

TEST(LayoutValuesTest, NumbersBeyondAnyWindowAreHeldAtTheLargestCoordinate) {
    int x = -1, y = -1;
    EXPECT_TRUE(ReadLayoutPoint("(99999999999,4294967296)", &x, &y));
    EXPECT_EQ(QPoint(x, y), QPoint(kMaxLayoutCoordinate, kMaxLayoutCoordinate));
    const std::string digits(100, '9');
    EXPECT_TRUE(ReadLayoutPoint(("(" + digits + "," + digits + ")").c_str(), &x, &y));
    EXPECT_EQ(x, kMaxLayoutCoordinate);
    // A colour number past the int range is taken at its largest, whose low byte is 255.
    COLORREF colour = 0;
    EXPECT_TRUE(ReadLayoutColor("(99999999999,0,0)", &colour));
    EXPECT_EQ(colour, 0x0000FFu);
}

TEST(LayoutValuesTest, ColoursTakeTheLowByteAndLeaveTheColourOnFailure) {
    COLORREF colour = 0;
    EXPECT_TRUE(ReadLayoutColor("(255,0,0)", &colour));
    EXPECT_EQ(colour, 0x0000FFu);
    EXPECT_TRUE(ReadLayoutColor("(300,0,0)", &colour));
    EXPECT_EQ(colour, 44u);
    EXPECT_TRUE(ReadLayoutColor("(1,2,3)", &colour));
    EXPECT_EQ(colour, 0x030201u);
    colour = 0;
    for (const char* bad : {"(0,0,255", "(0,0)", "(0 0 255)"})
        EXPECT_FALSE(ReadLayoutColor(bad, &colour)) << bad;
    EXPECT_EQ(colour, 0u);
}

}  // namespace
