// The seek slider's preview: its worker on movies made by tvq-make, read back by their frame
// markers, and the dialog's popup driven by the slider's mouse events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "AppTestSupport.h"
#include "app/PreviewDecoder.h"
#include "app/SeekPreview.h"
#include "app/SeekPreviewPopup.h"
#include "codec/TestPattern.h"
#include "display/VideoWnd.h"
#include "engine/Messages.h"
#include "engine/TvqDecoder.h"
#include "platform/Paths.h"

namespace {

// 16-pixel marker cells, halved exactly by the 1/2 DCT scale a 256 x 192 box asks for.
constexpr int kWidth = 512, kHeight = 384, kSeconds = 12;
const QSize kHalfBox(kWidth / 2, kHeight / 2);

std::string BinFolder() {
    return win::ProgramFolder() + "../bin/";
}

bool MakeMovie(const std::string& path, const char* codec, int seconds = kSeconds) {
    char command[1024];
    std::snprintf(command, sizeof command,
                  "'%stvq-make' '%s' --size %dx%d --fps 10 --rate 8000 --channels 1 "
                  "--seconds %d --codec %s --quality 80 >/dev/null",
                  BinFolder().c_str(), path.c_str(), kWidth, kHeight, seconds, codec);
    return std::system(command) == 0;
}

// The second the picture's marker names; -1 without a readable one.
int MarkedSecond(const QImage& picture) {
    int second = -1, frame = -1;
    if (picture.isNull() ||
        !tvq::ReadFrameMarkerAt(picture.constBits(), picture.width(), picture.height(),
                                picture.bytesPerLine(), 4, second, frame))
        return -1;
    return frame == 0 ? second : -1;
}

class SeekPreviewTest : public ::testing::Test {
protected:
    void SetUp() override {
        CTvqDecoder::SetLibraryPathForTesting(BinFolder() + CTvqDecoder::kLibraryName);
        win::SetMessageBoxService(boxes);
    }
    void TearDown() override {
        win::SetMessageBoxService(nullptr);
        CTvqDecoder::SetLibraryPathForTesting("");
    }

    // Collects the worker's deliveries; Wait returns once `count` have come.
    struct Deliveries {
        std::mutex lock;
        std::condition_variable arrived;
        std::vector<CSeekPreview::Picture> pictures;
        std::function<void()> onFirst;  // runs on the worker before the first is recorded;
                                        // set before the worker starts

        CSeekPreview::Delivery Sink() {
            return [this](CSeekPreview::Picture picture) {
                if (onFirst)
                    std::exchange(onFirst, nullptr)();
                std::lock_guard l(lock);
                pictures.push_back(std::move(picture));
                arrived.notify_all();
            };
        }
        bool Wait(size_t count) {
            std::unique_lock l(lock);
            return arrived.wait_for(l, std::chrono::seconds(20),
                                    [&] { return pictures.size() >= count; });
        }
    };

    TempFolder dir;
    std::shared_ptr<win::RecordingMessageBoxService> boxes =
        std::make_shared<win::RecordingMessageBoxService>();
};

TEST_F(SeekPreviewTest, PictureIsTheFirstFrameOfTheAskedSecond) {
    for (const char* codec : {"jpeg", "raw"}) {
        SCOPED_TRACE(codec);
        const std::string movie = dir.Path(std::string(codec) + ".tvq");
        ASSERT_TRUE(MakeMovie(movie, codec));
        CPreviewDecoder decoder(movie);
        ASSERT_TRUE(decoder.HasPictures());
        EXPECT_EQ(decoder.LengthSeconds(), kSeconds);
        // Out of order, last second included: each is a seek, not the next second read.
        for (int second : {7, 0, kSeconds - 1, 3}) {
            const QImage picture = decoder.Picture(second, kHalfBox);
            EXPECT_EQ(picture.size(), kHalfBox) << second;
            EXPECT_EQ(MarkedSecond(picture), second);
        }
        EXPECT_TRUE(decoder.Picture(kSeconds, kHalfBox).isNull());
        EXPECT_TRUE(decoder.Picture(-1, kHalfBox).isNull());
        // A box of another shape keeps the picture's aspect.
        EXPECT_EQ(decoder.Picture(1, QSize(160, 90)).size(), QSize(120, 90));
    }
}

TEST_F(SeekPreviewTest, ANewerRequestReplacesAPendingOneAndCloseEndsTheWorker) {
    const std::string movie = dir.Path("a.tvq");
    ASSERT_TRUE(MakeMovie(movie, "jpeg"));
    Deliveries got;
    std::mutex gate;
    std::unique_lock held(gate);
    CSeekPreview preview(kHalfBox, got.Sink());
    // The worker waits inside its first delivery until the next two requests are in.
    std::atomic<bool> firstTaken{false};
    got.onFirst = [&] {
        firstTaken = true;
        std::lock_guard pass(gate);
    };
    preview.Request(1);  // no file yet: ignored
    preview.Open(movie);
    preview.Request(2);
    // Once 2 is taken up, the worker blocks on the gate while 5 is replaced by 9.
    for (int i = 0; i < 2000 && !firstTaken; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(firstTaken) << "the first request was never taken up";
    preview.Request(5);
    preview.Request(9);
    held.unlock();
    ASSERT_TRUE(got.Wait(2));
    preview.Close();
    ASSERT_EQ(got.pictures.size(), 2u);
    for (const CSeekPreview::Picture& p : got.pictures) EXPECT_EQ(MarkedSecond(p.image), p.second);
    EXPECT_EQ(std::make_pair(got.pictures[0].second, got.pictures[1].second), std::make_pair(2, 9));
    EXPECT_EQ(got.pictures[1].generation, preview.Generation());
    // Closed: nothing more is taken up.
    preview.Request(4);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(got.pictures.size(), 2u);
    EXPECT_TRUE(boxes->Boxes().empty());
}

TEST_F(SeekPreviewTest, DamagedFilesGiveNoPicture) {
    const std::string good = dir.Path("good.tvq");
    ASSERT_TRUE(MakeMovie(good, "jpeg"));
    const std::vector<char> bytes = [&] {
        std::ifstream in(good, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in), {});
    }();
    // Cut in the middle: the index still names every second, the later ones are gone.
    const std::string cut = dir.Path("cut.tvq");
    std::ofstream(cut, std::ios::binary).write(bytes.data(), bytes.size() / 2);
    // Every byte after the headers overwritten: the frames no longer decode.
    std::vector<char> spoilt = bytes;
    for (size_t i = 4096; i < spoilt.size(); i += 7) spoilt[i] = static_cast<char>(0xFF);
    const std::string noise = dir.Path("noise.tvq");
    std::ofstream(noise, std::ios::binary).write(spoilt.data(), spoilt.size());

    {
        CPreviewDecoder decoder(cut);
        EXPECT_TRUE(decoder.Picture(kSeconds - 1, kHalfBox).isNull());
        EXPECT_EQ(MarkedSecond(decoder.Picture(1, kHalfBox)), 1);  // before the cut
    }
    for (const std::string& path :
         {noise, WriteMovieHeader(dir.Path("header.tvq"), 30), dir.Path("missing.tvq")}) {
        SCOPED_TRACE(path);
        CPreviewDecoder decoder(path);
        for (int second : {0, 5, kSeconds - 1})
            EXPECT_EQ(MarkedSecond(decoder.Picture(second, kHalfBox)), -1);
    }
    EXPECT_TRUE(boxes->Boxes().empty());
}

// The dialog with a recording playlist player whose "playing" file is a real movie.
class SeekPreviewDlgTest : public DialogTest {
protected:
    void SetUp() override {
        CTvqDecoder::SetLibraryPathForTesting(BinFolder() + CTvqDecoder::kLibraryName);
        DialogTest::SetUp();
    }
    void TearDown() override {
        DialogTest::TearDown();
        CTvqDecoder::SetLibraryPathForTesting("");
    }
    void Play(const std::string& movie) {
        chosen = {movie};
        dlg->OnAdd();
        dlg->OnPlay();
        player->currentFile = movie;
        player->length = kSeconds;
        dlg->OnWinMessage(WM_PLAY_STATE, 1, 1);
        dlg->OnWinMessage(WM_SEEKBAR, 2, kSeconds - 1);
        dlg->OnWinMessage(WM_SEEKBAR, 1, 1);
    }
    CSeekPreviewPopup* Popup() { return dlg->SeekPreview(); }
    // The x in the slider whose click seeks to `second`.
    int XFor(int second) {
        for (int x = 0; x < Slider()->width(); ++x)
            if (dlg->ClickPosition(x) == second)
                return x;
        ADD_FAILURE() << "no x for second " << second;
        return 0;
    }
    void Hover(int x) {
        const QPointF at(x, Slider()->height() / 2);
        QMouseEvent move(QEvent::MouseMove, at, Slider()->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(Slider(), &move);
    }
    void Leave() {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(Slider(), &leave);
    }
    // Waits for the picture of `second` (or a report that it has none).
    bool WaitForPicture(int second) {
        QSignalSpy spy(Popup(), &CSeekPreviewPopup::PictureArrived);
        for (int i = 0; i < 200; ++i) {
            for (const QList<QVariant>& args : spy)
                if (args.at(0).toInt() == second)
                    return true;
            spy.wait(100);
        }
        return false;
    }
};

TEST_F(SeekPreviewDlgTest, HoverShowsTheSecondUnderTheMouseAboveTheSlider) {
    const std::string movie = dir.Path("a.tvq");
    ASSERT_TRUE(MakeMovie(movie, "jpeg"));
    dlg->show();
    Hover(Slider()->width() / 2);  // idle: nothing to preview
    EXPECT_FALSE(Popup()->HasFile());
    EXPECT_FALSE(Popup()->isVisible());

    Play(movie);
    for (int second : {4, 9}) {
        const int x = XFor(second);
        Hover(x);
        ASSERT_TRUE(WaitForPicture(second));
        EXPECT_TRUE(Popup()->isVisible());
        EXPECT_EQ(Popup()->PictureSecond(), second);
        EXPECT_FALSE(Popup()->Picture().isNull());
        const QRect shown = Popup()->geometry();
        const QRect slider = Slider()->geometry();
        EXPECT_LE(shown.bottom(), slider.top()) << "covers the slider";
        EXPECT_LE(std::abs(shown.center().x() - (slider.left() + x)), 1) << "not over the mouse";
    }
    Leave();
    EXPECT_FALSE(Popup()->isVisible());

    // Full screen covers the slider: a hover there shows nothing.
    dlg->VideoWindow()->ToggleFullScreen();
    ASSERT_TRUE(dlg->VideoWindow()->IsFullScreen());
    Hover(XFor(5));
    EXPECT_FALSE(Popup()->isVisible());
    dlg->VideoWindow()->LeaveFullScreen();

    // Stopped: the worker ends and a hover shows nothing.
    dlg->OnWinMessage(WM_PLAYLIST_STOPPED, 0, 0);
    EXPECT_FALSE(Popup()->HasFile());
    Hover(XFor(6));
    EXPECT_FALSE(Popup()->isVisible());
}

TEST_F(SeekPreviewDlgTest, ADamagedFileShowsNoPreviewAndANewFileReplacesTheOld) {
    const std::string damaged = WriteMovieHeader(dir.Path("damaged.tvq"), kSeconds);
    Play(damaged);
    dlg->show();
    Hover(XFor(4));
    ASSERT_TRUE(WaitForPicture(4));
    EXPECT_FALSE(Popup()->isVisible());
    EXPECT_TRUE(Popup()->Picture().isNull());

    // The next file of the list gets a handle of its own.
    const std::string good = dir.Path("good.tvq");
    ASSERT_TRUE(MakeMovie(good, "jpeg"));
    player->currentFile = good;
    dlg->OnWinMessage(WM_PLAY_STATE, 0, 0);
    dlg->OnWinMessage(WM_PLAY_STATE, 1, 1);
    Hover(XFor(4));
    ASSERT_TRUE(WaitForPicture(4));
    EXPECT_TRUE(Popup()->isVisible());
    EXPECT_EQ(Popup()->PictureSecond(), 4);
}

}  // namespace
