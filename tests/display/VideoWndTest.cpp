// The video window inside a parent dialog stand-in, playing movies of the engine's fake decoder
// component (frame i of second s is filled with FakeFrameByte(s, i), its first 8 bytes hold s
// and i), with its settings in a temporary folder: what the paint composes (the picture's place,
// size and orientation, the texts and the scope strip, the full-screen picture without them);
// the display menu, the zoom rules and full screen's way there and back.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFontMetrics>
#include <QImage>
#include <QMenu>
#include <QTemporaryDir>
#include <QWidget>
#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>

#include "FakeTvq.h"
#include "display/VideoWnd.h"
#include "engine/Messages.h"
#include "engine/PlaybackEngine.h"
#include "engine/TvqDecoder.h"

namespace {

class VideoWindowTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp_.isValid());
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
    }

    QTemporaryDir tmp_;
    std::string dir_ = tmp_.path().toStdString() + "/";
    win::RecordingMessageTarget messages_;
    CPlayerSettings settings_;
    std::unique_ptr<QWidget> dialog_;
    CVideoWnd* video_ = nullptr;  // owned by dialog_
    win::RecursiveMutex engineLock_;
    std::unique_ptr<CPlaybackEngine> engine_;
};

// The tests that show frames, skipped where the fake decoder component is not built.
class PlayingVideoWindowTest : public VideoWindowTest {
protected:
    void SetUp() override {
        VideoWindowTest::SetUp();
#ifdef FAKE_TVQ_COMPONENT
        CTvqDecoder::SetLibraryPathForTesting(FAKE_TVQ_COMPONENT);
#else
        GTEST_SKIP() << "the engine's fake decoder component is not built";
#endif
    }
    // Opens a movie of 10 frames per second (96 x 64 unless named) and shows (second, index).
    void Play(int32_t second, int32_t index, const char* movie = "fake:fps=10:w=96:h=64:len=125") {
        engine_ = std::make_unique<CPlaybackEngine>(movie, 0);
        ASSERT_TRUE(video_->OpenStream(engine_.get(), &engineLock_, nullptr));
        ASSERT_EQ(video_->ShowFrameAt(second, index), 1);
    }
};

constexpr QRgb kBlack = 0xFF000000;

bool IsGreen(QRgb c) {
    return qGreen(c) > 150 && qRed(c) < 60 && qBlue(c) < 60;
}

// The points' colour in the image; a point of another colour is named.
void ExpectPixels(const QImage& image, QRgb colour, std::initializer_list<QPoint> points) {
    for (const QPoint p : points) EXPECT_EQ(image.pixel(p), colour) << p.x() << "," << p.y();
}

QRgb Gray(uint8_t v) {
    return qRgb(v, v, v);
}

int GreenPixelsIn(const QImage& image, const QRect& area) {
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += IsGreen(image.pixel(x, y));
    return n;
}

void WriteScope(const std::string& programFolder, int width, int height, QColor colour) {
    std::filesystem::create_directories(programFolder + "skin/xpstyle");
    QImage scope(width, height, QImage::Format_RGB32);
    scope.fill(colour);
    ASSERT_TRUE(scope.save(QString::fromStdString(programFolder + "skin/xpstyle/scope.bmp")));
}

TEST_F(PlayingVideoWindowTest, ZoomedPictureIsCentredInTheVideoAreaAndUpright) {
    for (auto blit : {CVideoWnd::FrameBlit::Converted, CVideoWnd::FrameBlit::RowByRow,
                      CVideoWnd::FrameBlit::PainterFlip}) {
        // The blit is chosen before the frame is pulled: a converting window takes its frames
        // from the queue and keeps no bottom-up copy for the others.
        video_->SetFrameBlit(blit);
        ASSERT_NO_FATAL_FAILURE(Play(3, 5));
        const QRgb fill = Gray(FakeFrameByte(3, 5));
        // Unzoomed (each blit's 1:1 path): 96 x 64 at (152, 43), the first memory row at the
        // bottom.
        const QImage natural = video_->RenderScene();
        EXPECT_EQ(natural.pixel(152, 43 + 63), qRgb(0, 0, 3));
        EXPECT_EQ(natural.pixel(152, 43), fill);
        video_->SetZoom(2.0f);
        const QImage scene = video_->RenderScene();
        // 192 x 128 in a 400 x 150 area: left (400 - 192) / 2 = 104, top (150 - 128) / 2 = 11.
        ExpectPixels(scene, fill, {{104, 11}, {295, 11}});
        ExpectPixels(scene, kBlack, {{103, 11}, {104, 10}, {296, 40}, {150, 139}});
        // The first memory row is the bottom line: its first pixel holds the bytes 3, 0, 0
        // (blue 3) and its second 0, 5, 0 (green 5), each 2 x 2 at this zoom.
        ExpectPixels(scene, qRgb(0, 0, 3), {{104, 138}, {105, 137}});
        EXPECT_EQ(scene.pixel(106, 138), qRgb(0, 5, 0));
        EXPECT_EQ(scene.pixel(104, 136), fill);
    }
}

TEST_F(PlayingVideoWindowTest, TimeTextIsGreenAtTheBottomRight) {
    ASSERT_NO_FATAL_FAILURE(Play(65, 0));
    const QFontMetrics metrics(dialog_->font());
    const QString time = "1:05/2:05";
    const int tw = metrics.horizontalAdvance(time), th = metrics.height();
    const QRect place(400 - tw - 5, 150 - th - 5, tw, th);
    const QImage scene = video_->RenderScene();
    EXPECT_GT(GreenPixelsIn(scene, place), 10);
    EXPECT_EQ(GreenPixelsIn(scene, QRect(place.right() + 1, 0, 400, 150)), 0);
    EXPECT_EQ(GreenPixelsIn(scene, QRect(0, place.bottom() + 1, 400, 150)), 0);

    // While the slider is dragged the drag text replaces the length.
    video_->SetDragText("0:30");
    const QString drag = "0:30/1:05";
    const QRect dragPlace(400 - metrics.horizontalAdvance(drag) - 5, 150 - th - 5,
                          metrics.horizontalAdvance(drag), th);
    const QImage dragged = video_->RenderScene();
    EXPECT_GT(GreenPixelsIn(dragged, dragPlace), 10);
    EXPECT_EQ(GreenPixelsIn(dragged, QRect(0, 0, dragPlace.left(), 150 - th - 8)), 0);
}

TEST_F(PlayingVideoWindowTest, SeekTextHidesTheTimeAndNarrowsTheTitleStrip) {
    ASSERT_NO_FATAL_FAILURE(Play(1, 0));
    const QFontMetrics metrics(dialog_->font());
    const std::string seek = "Seeking to 1:40";
    video_->SetSeekText(seek);
    ASSERT_TRUE(video_->LayoutTitle());
    const CScrollText& strip = video_->TitleStrip();
    EXPECT_EQ(strip.AreaLeft(), 10);
    EXPECT_EQ(strip.AreaRight(),
              400 - metrics.horizontalAdvance(QString::fromStdString(seek + "            ")) - 5);
    EXPECT_EQ(strip.AreaTop(), 150 - metrics.height() - 7);
    EXPECT_EQ(strip.AreaBottom(), 145);
    EXPECT_EQ(strip.Text(), "fake:fps=10:w=96:h=64:len=125");

    const int sw = metrics.horizontalAdvance(QString::fromStdString(seek));
    const QImage scene = video_->RenderScene();
    EXPECT_GT(
        GreenPixelsIn(scene, QRect(400 - sw - 5, 150 - metrics.height() - 5, sw, metrics.height())),
        10);

    video_->SetSeekText("");
    ASSERT_TRUE(video_->LayoutTitle());
    EXPECT_EQ(video_->TitleStrip().AreaRight(),
              400 - metrics.horizontalAdvance("        seeking to 88:88  ") - 5);
}

TEST_F(VideoWindowTest, ScopeStripSitsAboveTheTextLineAndEndsTheVideoArea) {
    ASSERT_NO_FATAL_FAILURE(WriteScope(dir_, 300, 12, QColor(255, 0, 0)));
    video_->LoadScopeBitmap();
    ASSERT_TRUE(video_->HasScope());
    const int th = QFontMetrics(dialog_->font()).height();
    const int scopeTop = 150 - th - 5 - 12 - 5;

    // Without a stream the first paint finds the video-area bottom still 0, and centres
    // "HELLO" on it; the scope strip then sets it.
    EXPECT_EQ(video_->GetVideoAreaBottom(), 0);
    QImage scene = video_->RenderScene();
    ExpectPixels(scene, qRgb(255, 0, 0), {{0, scopeTop}, {299, scopeTop + 11}});
    ExpectPixels(scene, kBlack, {{0, scopeTop - 1}, {300, scopeTop}});
    EXPECT_EQ(video_->GetVideoAreaBottom(), scopeTop - 1);
    scene = video_->RenderScene();
    const QRect hello(150, (scopeTop - 1 - th) / 2, 100, th);
    EXPECT_GT(GreenPixelsIn(scene, hello), 10);

    // A missing file leaves no strip; the area keeps its bottom.
    std::filesystem::remove(dir_ + "skin/xpstyle/scope.bmp");
    video_->LoadScopeBitmap();
    EXPECT_FALSE(video_->HasScope());
    scene = video_->RenderScene();
    EXPECT_EQ(scene.pixel(0, scopeTop), kBlack);
    EXPECT_EQ(video_->GetVideoAreaBottom(), scopeTop - 1);
}

TEST_F(PlayingVideoWindowTest, TurnedPictureUsesTheTurnedFormat) {
    video_->SetDisplayModeValue(DisplayMode::Rotate90);
    ASSERT_NO_FATAL_FAILURE(Play(0, 7));
    const QImage scene = video_->RenderScene();
    // 64 x 96 upright in a 400 x 150 area: left 168, top 27.
    const QRgb fill = Gray(FakeFrameByte(0, 7));
    ExpectPixels(scene, fill, {{169, 27}, {231, 122}});
    ExpectPixels(scene, kBlack, {{167, 27}, {232, 27}, {168, 26}, {168, 123}});
    // A quarter turn clockwise brings the bottom line of the picture (the record's bytes:
    // pixels (0,0,0), (0,7,0), (0,0,fill) in memory order) to the left edge, top down.
    EXPECT_EQ(scene.pixel(168, 27), qRgb(0, 0, 0));
    EXPECT_EQ(scene.pixel(168, 28), qRgb(0, 7, 0));
    EXPECT_EQ(scene.pixel(168, 29), qRgb(FakeFrameByte(0, 7), 0, 0));
}

TEST_F(PlayingVideoWindowTest, PictureLargerThanTheAreaIsShownWholeScaledDown) {
    ASSERT_NO_FATAL_FAILURE(Play(1, 3, "fake:fps=10:w=1280:h=720:len=5"));
    // 1280 x 720 in a 400 x 150 area: 150 / 720 is the tighter factor, giving 266 x 150,
    // left (400 - 266) / 2 = 67. Shown at 1:1 it would cover the whole area.
    const QImage scene = video_->RenderScene();
    const QRgb fill = Gray(FakeFrameByte(1, 3));
    ExpectPixels(scene, kBlack, {{66, 75}, {333, 75}});
    ExpectPixels(scene, fill, {{67, 75}, {332, 75}, {200, 0}});
    EXPECT_EQ(video_->GetZoom(), 1.0f);  // the zoom value itself is left alone
}

TEST_F(PlayingVideoWindowTest,
       PictureAreaIsWhatThePaintLeavesAboveTheScopeAndTheShownPicturesSize) {
    // Without a stream there is no picture to make room for.
    EXPECT_TRUE(video_->ShownPictureSize().isEmpty());
    // No scope strip: the whole window.
    EXPECT_EQ(video_->PictureArea(), video_->size());
    ASSERT_NO_FATAL_FAILURE(WriteScope(dir_, 300, 12, QColor(255, 0, 0)));
    video_->LoadScopeBitmap();
    ASSERT_NO_FATAL_FAILURE(Play(1, 3, "fake:fps=10:w=1280:h=720:len=5"));
    EXPECT_EQ(video_->ShownPictureSize(), QSize(1280, 720));
    video_->SetDisplayModeValue(DisplayMode::Rotate270);
    EXPECT_EQ(video_->ShownPictureSize(), QSize(720, 1280));
    video_->SetDisplayModeValue(DisplayMode::Normal);
    // The paint ends the video area where the room was worked out, at this size and at any
    // other the window is given.
    for (QSize size : {QSize(400, 150), QSize(1280, 800)}) {
        video_->resize(size);
        video_->RenderScene();
        const QSize area = video_->PictureArea();
        EXPECT_EQ(area.width(), size.width());
        EXPECT_EQ(area.height(), video_->GetVideoAreaBottom()) << size.height();
        EXPECT_EQ(video_->PictureArea(size), area);
    }
}

TEST(VideoWndShownSize, FittingPicturesKeepTheZoomAndLargerOnesFitTheArea) {
    const QSize area(400, 300);
    // Fits: exactly the zoomed size, also when it then touches the edges.
    EXPECT_EQ(CVideoWnd::ShownSize({96, 64}, 1.0f, area), QSize(96, 64));
    EXPECT_EQ(CVideoWnd::ShownSize({96, 64}, 2.5f, area), QSize(240, 160));
    EXPECT_EQ(CVideoWnd::ShownSize({400, 300}, 1.0f, area), QSize(400, 300));
    // Too wide, too tall, both: the tighter side decides, the aspect stays.
    EXPECT_EQ(CVideoWnd::ShownSize({1280, 720}, 1.0f, area), QSize(400, 225));
    EXPECT_EQ(CVideoWnd::ShownSize({200, 600}, 1.0f, area), QSize(100, 300));
    EXPECT_EQ(CVideoWnd::ShownSize({401, 300}, 1.0f, area), QSize(400, 299));
    // A turned 720p picture (720 x 1280) in the same area.
    EXPECT_EQ(CVideoWnd::ShownSize({720, 1280}, 1.0f, area), QSize(168, 300));
    // Nothing measured (an empty area) or an empty picture: the zoomed size, no division.
    EXPECT_EQ(CVideoWnd::ShownSize({1280, 720}, 1.0f, QSize(0, 0)), QSize(1280, 720));
    EXPECT_EQ(CVideoWnd::ShownSize({0, 0}, 1.0f, area), QSize(0, 0));
    // A very thin picture never shrinks to nothing.
    EXPECT_EQ(CVideoWnd::ShownSize({4000, 1}, 1.0f, area), QSize(400, 1));
}

// Runs the event loop until the window has had a paint (or a second has passed); the region
// that paint covered.
QRegion NextPaint(CVideoWnd& video) {
    const int before = video.PaintCount();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (video.PaintCount() == before && std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return video.PaintCount() == before ? QRegion() : video.LastPaintRegion();
}

TEST_F(PlayingVideoWindowTest, ANewFrameRepaintsOnlyThePictureUnlessATextMovesOrTheLayoutChanges) {
    ASSERT_NO_FATAL_FAILURE(Play(3, 5));
    const auto whole = [&](const QRegion& painted) {
        return (QRegion(video_->rect()) - painted).isEmpty();
    };
    dialog_->show();
    ASSERT_TRUE(whole(NextPaint(*video_)));
    // The 96 x 64 picture at (152, 43), and nothing of the black beside it.
    ASSERT_EQ(video_->ShowFrameAt(3, 6), 1);
    EXPECT_EQ(NextPaint(*video_), QRegion(152, 43, 96, 64));
    // A new second changes the time text.
    ASSERT_EQ(video_->ShowFrameAt(4, 0), 1);
    EXPECT_TRUE(whole(NextPaint(*video_)));
    // A notice changes the layout: the partial paint finds it and the whole window follows.
    video_->SetNoticeText("Skin could not be loaded");
    const QRegion first = NextPaint(*video_);
    EXPECT_TRUE(whole(first) || whole(NextPaint(*video_)));
}

TEST_F(PlayingVideoWindowTest, FullScreenStretchesOnlyThePictureOverTheScreen) {
    ASSERT_NO_FATAL_FAILURE(WriteScope(dir_, 300, 12, QColor(255, 0, 0)));
    video_->LoadScopeBitmap();
    ASSERT_NO_FATAL_FAILURE(Play(4, 2));
    dialog_->show();
    const QSize screen = video_->ScreenSize();
    ASSERT_FALSE(screen.isEmpty());
    video_->ToggleFullScreen();
    ASSERT_TRUE(video_->IsFullScreen());
    EXPECT_EQ(video_->size(), screen);
    EXPECT_EQ(video_->mapTo(dialog_.get(), QPoint(0, 0)), QPoint(0, 0));

    const QImage scene = video_->RenderScene();
    const QRgb fill = Gray(FakeFrameByte(4, 2));
    const int right = screen.width() - 1, bottom = screen.height() - 1;
    ExpectPixels(scene, fill, {{0, 0}, {right, 0}, {right, bottom}});
    EXPECT_EQ(scene.pixel(0, screen.height() - 1), qRgb(0, 0, 4));
    EXPECT_EQ(GreenPixelsIn(scene, scene.rect()), 0);
    int red = 0;
    for (int y = 0; y < scene.height(); ++y) red += scene.pixel(0, y) == qRgb(255, 0, 0);
    EXPECT_EQ(red, 0);
    video_->SetSeekText("Seeking to 0:09");
    EXPECT_EQ(GreenPixelsIn(video_->RenderScene(), scene.rect()), 0);
}

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

TEST_F(PlayingVideoWindowTest, AmplifyStopsBelowTheFitAndReduceNeverGoesUnderOne) {
    ASSERT_NO_FATAL_FAILURE(Play(0, 0));
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

TEST_F(PlayingVideoWindowTest, FitZoomShrinksAnOversizedPictureAfterAResize) {
    ASSERT_NO_FATAL_FAILURE(Play(0, 0));
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
