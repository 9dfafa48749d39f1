// The main dialog with a recording playlist player: its commands, the seek slider and the
// messages of the playback side and of a second copy.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <fstream>
#include <thread>

#include "AppTestSupport.h"
#include "app/QtMessageTarget.h"
#include "display/VideoWnd.h"
#include "engine/Messages.h"
#include "skin/SkinButton.h"
#include "support/LanguageTable.h"
#include "support/ResumeStore.h"
#include "support/SharedFileMap.h"

namespace {

class PlayerDlgTest : public DialogTest {
protected:
    void StartPlaying() {
        dlg->OnPlay();
        dlg->OnWinMessage(WM_SEEKBAR, 1, 1);
        dlg->OnWinMessage(WM_SEEKBAR, 2, 200);
    }
    void Add(const std::vector<std::string>& names) {
        chosen.clear();
        for (const std::string& n : names) chosen.push_back(Movie(n));
        dlg->OnAdd();
    }
    // The player's word that `path` plays, with the controls on.
    void Playing(const std::string& path) {
        player->currentFile = path;
        dlg->OnWinMessage(WM_PLAY_STATE, 1, 1);
    }
    // The seek reported done, and the slider's throttle passed.
    void SeekDone() {
        dlg->OnWinMessage(WM_SEEKBAR, 1, 1);
        now += 1500;
    }
    void HandOver(const std::vector<std::string>& paths) {
        std::string bytes;
        for (const std::string& p : paths) bytes += p + '\0';
        ASSERT_TRUE(secondCopy.Write(bytes.data(), static_cast<int32_t>(bytes.size())));
    }
    void Focus(QWidget* widget) {
        dlg->activateWindow();
        QApplication::setActiveWindow(dlg.get());
        widget->setFocus();
    }
    // Widens the slider until its channel is a multiple of four, so that 25 % is a whole pixel.
    QRect QuarterableChannel() {
        QRect channel = Slider()->GetChannelRect();
        for (int w = Slider()->width(); channel.width() % 4 != 0; ++w) {
            Slider()->resize(w, Slider()->height());
            channel = Slider()->GetChannelRect();
        }
        return channel;
    }

    // The block a second copy writes into; it exists before the dialog opens it.
    CSharedFileMapCreator secondCopy;
};

TEST_F(PlayerDlgTest, ARightClickOnTheFrameLeavesItsMenuToTheFrame) {
    dlg->show();
    // As with a skinned frame: the client sits inside a caption and borders.
    dlg->Client()->setGeometry(4, 20, dlg->width() - 8, dlg->height() - 24);
    const auto popupAfter = [&](QPoint at) {
        bool opened = false;
        QTimer::singleShot(0, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                opened = true;
                popup->close();
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, dlg->mapToGlobal(at));
        QApplication::sendEvent(dlg.get(), &event);
        QCoreApplication::processEvents();
        return opened;
    };
    EXPECT_FALSE(popupAfter(QPoint(dlg->width() / 2, 10)));  // the caption
    // In the client, beside the picture, the window menu still opens.
    const QRect list = List()->geometry().translated(dlg->Client()->pos());
    EXPECT_TRUE(popupAfter(QPoint(list.left() + 2, list.top() - 2)));
}

TEST_F(PlayerDlgTest, PlayCopiesTheListAndStartsAtTheSelectedEntry) {
    chosen = {Movie("a.tvq"), dir.Path("missing.tvq"), Movie("b.tvq")};
    dlg->OnAdd();
    EXPECT_EQ(List()->GetItemCount(), 2);
    EXPECT_TRUE(player->inits.empty());  // adding does not start playback
    dlg->OnPlay();
    EXPECT_EQ(player->files, (std::vector<std::string>{dir.Path("a.tvq"), dir.Path("b.tvq")}));
    EXPECT_EQ(player->inits, std::vector<int>{1});
    EXPECT_EQ(player->selected, std::vector<std::string>{dir.Path("b.tvq")});  // last added
    EXPECT_TRUE(dlg->IsPlaying());
    EXPECT_FALSE(dlg->Button(IDC_PLAY)->isEnabled());
    EXPECT_FALSE(dlg->Button(IDC_STYLE)->isEnabled());
}

TEST_F(PlayerDlgTest, PlayStateMessagesSwitchTheControlsAndMarkThePlayingRow) {
    Add({"a.tvq", "b.tvq"});
    StartPlaying();
    dlg->OnWinMessage(WM_PLAY_STATE, 0, 0);
    EXPECT_TRUE(dlg->IsBusy());
    EXPECT_FALSE(dlg->Button(IDC_PAUSE)->isEnabled());
    Playing(dir.Path("A.TVQ"));
    EXPECT_FALSE(dlg->IsBusy());
    EXPECT_TRUE(dlg->Button(IDC_NEXT)->isEnabled());
    EXPECT_EQ(List()->GetCurrentRow(), 0);

    dlg->OnWinMessage(WM_PLAYLIST_STOPPED, 0, 0);
    EXPECT_FALSE(dlg->IsPlaying());
    EXPECT_TRUE(dlg->Button(IDC_PLAY)->isEnabled());
    EXPECT_EQ(List()->GetCurrentRow(), -1);
    EXPECT_EQ(Slider()->value(), 0);
}

TEST_F(PlayerDlgTest, SliderSeeksCloserThanASecondAreDropped) {
    StartPlaying();
    dlg->OnHScroll(CPlayerDlg::SB_THUMBPOSITION, 30, 0);
    EXPECT_EQ(player->seeks, std::vector<int32_t>{30});
    EXPECT_FALSE(Slider()->isEnabled());  // until the playlist player reports the seek done
    dlg->OnWinMessage(WM_SEEKBAR, 1, 1);
    EXPECT_TRUE(Slider()->isEnabled());

    now += 600;
    dlg->OnHScroll(CPlayerDlg::SB_THUMBPOSITION, 40, 0);
    EXPECT_EQ(player->seeks.size(), 1u);
    now += 1200;
    dlg->OnHScroll(CPlayerDlg::SB_THUMBPOSITION, 50, 0);
    EXPECT_EQ(player->seeks, (std::vector<int32_t>{30, 50}));
}

TEST_F(PlayerDlgTest, ReleasingTheThumbAtTheEndMovesToTheNextFile) {
    StartPlaying();
    dlg->OnHScroll(CPlayerDlg::SB_THUMBTRACK, 200, 0);
    EXPECT_TRUE(dlg->IsDragging());
    dlg->OnHScroll(CPlayerDlg::SB_THUMBPOSITION, 200, 0);
    EXPECT_EQ(player->seeks, std::vector<int32_t>{200});
    EXPECT_EQ(player->nexts, 1);
    EXPECT_TRUE(dlg->IsBusy());
    EXPECT_FALSE(dlg->IsDragging());
}

TEST_F(PlayerDlgTest, AClickInTheChannelSeeksInProportion) {
    StartPlaying();
    const QRect channel = QuarterableChannel();
    const int x = channel.left() + channel.width() / 4;
    EXPECT_EQ(dlg->ClickPosition(x), 50);
    EXPECT_EQ(dlg->ClickPosition(channel.left() - 40), 0);  // clamped to the range
    EXPECT_EQ(dlg->ClickPosition(channel.right() + 40), 200);

    // A real click beside the thumb, where the cursor is, arrives as a page step there.
    const QPoint click(x, Slider()->height() / 2);
    QCursor::setPos(Slider()->mapToGlobal(click));
    QTest::mouseClick(Slider(), Qt::LeftButton, {}, click);
    ASSERT_EQ(player->seeks.size(), 1u);
    EXPECT_EQ(player->seeks[0], 50);
}

TEST_F(PlayerDlgTest, PositionsWaitWhileTheThumbIsHeld) {
    StartPlaying();
    dlg->OnWinMessage(WM_PLAY_POSITION, 20, 0);
    EXPECT_EQ(Slider()->value(), 20);
    dlg->OnHScroll(CPlayerDlg::SB_THUMBTRACK, 90, 0);
    Slider()->setSliderPosition(90);
    dlg->OnWinMessage(WM_PLAY_POSITION, 22, 0);
    EXPECT_EQ(Slider()->sliderPosition(), 90);
    dlg->OnHScroll(CPlayerDlg::SB_OTHER, 90, 0);
    dlg->OnWinMessage(WM_PLAY_POSITION, 24, 0);
    EXPECT_EQ(Slider()->value(), 24);
}

TEST_F(PlayerDlgTest, PlaybackMessagesSetTheSliderAndReachThePlayerThroughTheEventQueue) {
    dlg->OnWinMessage(WM_SEEKBAR, 2, 200);
    dlg->OnHScroll(CPlayerDlg::SB_THUMBPOSITION, 30, 0);  // idle: the slider does nothing
    dlg->OnHScroll(CPlayerDlg::SB_THUMBTRACK, 30, 0);
    EXPECT_TRUE(player->seeks.empty());
    EXPECT_FALSE(dlg->IsDragging());

    dlg->OnWinMessage(WM_SEEKBAR, 2, 75);
    EXPECT_EQ(Slider()->maximum(), 75);
    EXPECT_EQ(Slider()->pageStep(), 0);
    dlg->OnWinMessage(WM_SEEKBAR, 0, 33);
    EXPECT_EQ(Slider()->value(), 33);
    dlg->OnWinMessage(WM_SEEKBAR, 1, 1);
    EXPECT_TRUE(Slider()->isEnabled());
    dlg->OnWinMessage(WM_SEEKBAR, 1, 0);
    EXPECT_FALSE(Slider()->isEnabled());
    dlg->OnWinMessage(WM_SEEKBAR, 3, 10);  // no such command
    EXPECT_EQ(Slider()->value(), 33);

    for (uint32_t m = WM_SPEED_FORWARD_1X; m <= WM_SPEED_BACKWARD_8X; ++m)
        EXPECT_TRUE(dlg->OnWinMessage(m, 0, 0));
    EXPECT_EQ(player->speeds.size(), 8u);
    EXPECT_TRUE(dlg->OnWinMessage(WM_SHOW_PROPERTY, 0, 0));
    EXPECT_EQ(player->properties, 1);

    CQtMessageTarget target(dlg.get());
    std::thread worker([&] { target.PostMessage(WM_SEEKBAR, 2, 42); });
    worker.join();
    EXPECT_EQ(Slider()->maximum(), 75);  // not before the user-interface thread handles it
    QCoreApplication::processEvents();
    EXPECT_EQ(Slider()->maximum(), 42);
}

TEST_F(PlayerDlgTest, TwoHandedOverNamesAreAddedAndTheSecondPlayed) {
    const std::string a = Movie("a.tvq"), b = Movie("b.tvq");
    HandOver({a, b});
    dlg->OnWinMessage(WM_HANDOVER_FILES, 0, 0);
    EXPECT_EQ(List()->GetItemCount(), 2);
    EXPECT_EQ(player->inits.size(), 1u);
    ASSERT_FALSE(player->selected.empty());
    EXPECT_EQ(player->selected.back(), b);
    EXPECT_EQ(secondCopy.GetCount(), 0);

    // While playing, a further name only joins the list.
    const std::string c = Movie("c.tvq");
    HandOver({c});
    dlg->OnHandoverFiles();
    EXPECT_EQ(List()->GetItemCount(), 3);
    EXPECT_EQ(player->inits.size(), 1u);
    EXPECT_EQ(player->files.back(), c);
}

TEST_F(PlayerDlgTest, CommandLineFilesAreAllListedInOrderAndTheFirstPlays) {
    const std::string a = Movie("a.tvq"), b = Movie("b.tvq");
    std::ofstream(dir.Path("notes.txt")) << "text";
    testing::internal::CaptureStderr();
    Open({dir.Path("notes.txt"), a, b});
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "tvqplayer: " + dir.Path("notes.txt") + ": not a .tvq movie\n");
    ASSERT_EQ(List()->GetItemCount(), 2);
    EXPECT_EQ(List()->GetItemText(0, 0), a);
    EXPECT_EQ(List()->GetItemText(1, 0), b);
    EXPECT_EQ(player->files, (std::vector<std::string>{a, b}));
    EXPECT_EQ(player->inits, std::vector<int>{1});
    EXPECT_TRUE(player->selected.empty());  // the reset list starts with a

    // Nothing that is a movie: an idle, empty player.
    Open({dir.Path("notes.txt")});
    EXPECT_EQ(List()->GetItemCount(), 0);
    EXPECT_TRUE(player->inits.empty());
}

TEST_F(PlayerDlgTest, AHandedOverNameThatIsNoMovieIsNamedAndNotPlayedAnEmptyOneDoesNothing) {
    std::ofstream(dir.Path("notes.tvq")) << "text";
    HandOver({dir.Path("notes.tvq")});
    testing::internal::CaptureStderr();
    dlg->OnHandoverFiles();
    // The platform may add its own warnings after ours (raising the window offscreen).
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.substr(0, said.find('\n') + 1),
              "tvqplayer: " + dir.Path("notes.tvq") + ": not a .tvq movie\n");
    EXPECT_EQ(List()->GetItemCount(), 0);
    EXPECT_TRUE(player->inits.empty());
    // An empty hand-over only brings the window forward.
    dlg->OnHandoverFiles();
    EXPECT_EQ(List()->GetItemCount(), 0);
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(PlayerDlgTest, DroppingStartsPlaybackWhenIdle) {
    EXPECT_EQ(dlg->OnDropFiles({Movie("x.TVQ"), Movie("y.avi")}), 1);
    EXPECT_EQ(List()->GetItemCount(), 1);
    EXPECT_EQ(player->inits, std::vector<int>{1});
    // The reset playlist starts with that file: it is not selected again (no restart).
    EXPECT_TRUE(player->selected.empty());
    EXPECT_EQ(dlg->OnDropFiles({Movie("z.avi")}), 0);
    EXPECT_EQ(player->inits.size(), 1u);
}

TEST_F(PlayerDlgTest, DoubleClickPlaysTheSelectedEntryUnlessBusy) {
    Add({"a.tvq", "b.tvq"});
    List()->ClearSelection();
    dlg->PlaySelected();  // nothing selected: nothing happens
    EXPECT_FALSE(dlg->IsBusy());
    List()->SetSelected(0, true);
    dlg->PlaySelected();
    EXPECT_EQ(player->inits, std::vector<int>{0});
    EXPECT_EQ(player->selected.back(), dir.Path("a.tvq"));
    EXPECT_TRUE(dlg->IsBusy());
    const size_t selections = player->selected.size();
    dlg->PlaySelected();  // busy: ignored
    EXPECT_EQ(player->selected.size(), selections);
}

TEST_F(PlayerDlgTest, DeleteCommandResetsTheSliderWhenTheListEmpties) {
    Add({"a.tvq"});
    EXPECT_TRUE(Slider()->isEnabled());
    List()->SetSelected(0, true);
    dlg->OnCommand(CPlayerDlg::kDeleteCommand);
    EXPECT_EQ(List()->GetItemCount(), 0);
    EXPECT_FALSE(Slider()->isEnabled());
}

TEST_F(PlayerDlgTest, EnterAndEscDoNothingAndTheCloseBoxStops) {
    dlg->show();
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    QTest::keyClick(dlg.get(), Qt::Key_Return);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(player->stops, 0);
    dlg->close();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(player->stops, 1);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
}

// Keys go to the focus widget first (the slider, once the skin gave it the focus).
QWidget* KeyTarget(CPlayerDlg& dlg) {
    return QApplication::focusWidget() ? QApplication::focusWidget() : &dlg;
}
void Press(CPlayerDlg& dlg, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(KeyTarget(dlg), key, modifiers);
}
void Wheel(QWidget* widget, int delta) {
    QWheelEvent e(QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta),
                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &e);
}

TEST_F(PlayerDlgTest, TypingTheCreditsWordShowsTheCredits) {
    dlg->show();
    const size_t before = boxes->Boxes().size();
    QWidget* target = KeyTarget(*dlg);
    QTest::keyClicks(target, "thaxnks");  // a wrong letter restarts the count
    EXPECT_EQ(boxes->Boxes().size(), before);
    QTest::keyClicks(target, "THANKS");  // the shift state does not matter
    ASSERT_EQ(boxes->Boxes().size(), before + 1);
    EXPECT_EQ(boxes->Boxes().back().caption, "Information");
    EXPECT_EQ(dlg->CreditsIndex(), 0);

    setenv("TVQ_LANGID", "2052", 1);
    dlg->ShowCredits();
    setenv("TVQ_LANGID", "1033", 1);
    EXPECT_EQ(boxes->Boxes().back().caption, "信息");

    // A shortcut key is a wrong letter for the word, and the word's last letter still counts.
    QTest::keyClicks(target, "THAN");
    EXPECT_EQ(dlg->CreditsIndex(), 4);
    QTest::keyClick(target, Qt::Key_F);
    EXPECT_EQ(dlg->CreditsIndex(), 0);
    QTest::keyClicks(target, "THANK");
    QTest::keyClick(target, Qt::Key_S);
    EXPECT_EQ(boxes->Boxes().back().caption, "Information");
}

TEST_F(PlayerDlgTest, KeyboardAddsPlaysPausesAndSeeksThroughTheControlsPaths) {
    dlg->show();
    chosen = {Movie("a.tvq"), Movie("b.tvq"), Movie("c.tvq")};
    Press(*dlg, Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(List()->GetItemCount(), 3);
    Press(*dlg, Qt::Key_O);  // without Ctrl it is no command
    EXPECT_EQ(List()->GetItemCount(), 3);

    Press(*dlg, Qt::Key_Right);  // idle: no seek
    EXPECT_TRUE(player->seeks.empty());

    List()->SetSelected(1, true);
    Press(*dlg, Qt::Key_Return);  // Enter neither plays the row nor closes the dialog
    Press(*dlg, Qt::Key_Enter);
    EXPECT_TRUE(player->inits.empty());
    EXPECT_TRUE(dlg->isVisible());
    dlg->PlaySelected();
    EXPECT_EQ(player->selected.back(), dir.Path("b.tvq"));

    dlg->OnWinMessage(WM_PLAY_STATE, 1, 0);
    dlg->OnWinMessage(WM_SEEKBAR, 1, 1);
    dlg->OnWinMessage(WM_SEEKBAR, 2, 200);
    dlg->OnWinMessage(WM_PLAY_POSITION, 50, 0);
    // Space presses the focused button, and nothing else.
    Focus(Slider());
    Press(*dlg, Qt::Key_Space);
    EXPECT_EQ(player->pauses, 0);
    dlg->Button(IDC_PAUSE)->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), dlg->Button(IDC_PAUSE));
    Press(*dlg, Qt::Key_Space);
    EXPECT_EQ(player->pauses, 1);
    EXPECT_TRUE(dlg->IsPaused());
    dlg->Button(IDC_STOP)->setFocus();
    Press(*dlg, Qt::Key_Space);
    EXPECT_EQ(player->stops, 1);
    EXPECT_EQ(player->pauses, 1);
    Slider()->setFocus();

    Press(*dlg, Qt::Key_Right);
    EXPECT_EQ(player->seeks, std::vector<int32_t>{60});
    EXPECT_FALSE(Slider()->isEnabled());  // as after a slider seek, until it is reported done
    Press(*dlg, Qt::Key_Left);            // the slider is disabled meanwhile: nothing
    EXPECT_EQ(player->seeks.size(), 1u);
    dlg->OnWinMessage(WM_SEEKBAR, 1, 1);
    now += 300;
    Press(*dlg, Qt::Key_Left);  // within the slider's throttle: dropped as a drag would be
    EXPECT_EQ(player->seeks.size(), 1u);
    now += 1500;
    dlg->OnWinMessage(WM_PLAY_POSITION, 4, 0);
    Press(*dlg, Qt::Key_Left);  // 4 - 10 stops at the start
    EXPECT_EQ(player->seeks, (std::vector<int32_t>{60, 0}));
    SeekDone();
    dlg->OnWinMessage(WM_PLAY_POSITION, 195, 0);
    Press(*dlg, Qt::Key_Right);  // and 195 + 10 at the end of the range
    EXPECT_EQ(player->seeks.back(), 200);
}

TEST_F(PlayerDlgTest, PageKeysSeekToTheCursorAndTheWheelSeeksWithTheThumbOrNotAtAll) {
    dlg->show();
    StartPlaying();
    const QRect channel = QuarterableChannel();
    Focus(Slider());
    // No click on the slider yet: the page keys take the cursor's place over the channel.
    const int threeQuarters = channel.left() + channel.width() * 3 / 4;
    QCursor::setPos(Slider()->mapToGlobal(QPoint(threeQuarters, Slider()->height() / 2)));
    Press(*dlg, Qt::Key_PageDown);
    EXPECT_EQ(player->seeks, std::vector<int32_t>{150});
    SeekDone();
    Slider()->setFocus();  // the seek disabled it, which took the focus away
    QCursor::setPos(Slider()->mapToGlobal(QPoint(channel.left(), Slider()->height() / 2)));
    Press(*dlg, Qt::Key_PageUp);
    EXPECT_EQ(player->seeks, (std::vector<int32_t>{150, 0}));

    SeekDone();
    dlg->OnWinMessage(WM_PLAY_POSITION, 100, 0);
    Wheel(Slider(), 60);  // half a notch: nothing yet
    EXPECT_EQ(player->seeks.size(), 2u);
    Wheel(Slider(), 60);
    EXPECT_EQ(player->seeks.back(), 110);
    EXPECT_EQ(Slider()->value(), 100);  // the thumb follows the seek's report, not the wheel
    dlg->OnWinMessage(WM_SEEKBAR, 1, 1);
    now += 300;
    Wheel(Slider(), -240);  // within the throttle: no seek, and the thumb stays
    EXPECT_EQ(player->seeks.size(), 3u);
    EXPECT_EQ(Slider()->value(), 100);
}

TEST_F(PlayerDlgTest, KeyboardZoomsSwitchesFullScreenAndDeletesRows) {
    dlg->show();
    CVideoWnd* video = dlg->VideoWindow();
    video->SetZoom(2.0f);
    Press(*dlg, Qt::Key_Minus);
    EXPECT_FLOAT_EQ(video->GetZoom(), 1.5f);
    Press(*dlg, Qt::Key_0);
    EXPECT_EQ(video->GetZoom(), 1.0f);

    Press(*dlg, Qt::Key_F);  // only while a file plays, as the double click
    EXPECT_FALSE(video->IsFullScreen());
    Add({"a.tvq", "b.tvq"});
    StartPlaying();
    Press(*dlg, Qt::Key_F);
    EXPECT_TRUE(video->IsFullScreen());
    Press(*dlg, Qt::Key_Escape);
    EXPECT_FALSE(video->IsFullScreen());
    EXPECT_TRUE(dlg->isVisible());

    List()->ClearSelection();
    List()->SetSelected(0, true);
    Press(*dlg, Qt::Key_Delete);
    ASSERT_EQ(List()->GetItemCount(), 1);
    EXPECT_EQ(player->removed, std::vector<std::string>{dir.Path("a.tvq")});
}

TEST_F(PlayerDlgTest, ADoubleClickOnThePlayingPictureSwitchesFullScreenOnce) {
    dlg->show();
    CVideoWnd* video = dlg->VideoWindow();
    const QPoint middle = video->rect().center();
    QTest::mouseDClick(video, Qt::LeftButton, {}, middle);
    EXPECT_FALSE(video->IsFullScreen());  // idle: nothing to show full screen
    Add({"a.tvq"});
    StartPlaying();
    QTest::mouseDClick(video, Qt::LeftButton, {}, middle);
    EXPECT_TRUE(video->IsFullScreen());
    QTest::mouseDClick(video, Qt::LeftButton, {}, video->rect().center());
    EXPECT_FALSE(video->IsFullScreen());
}

TEST_F(PlayerDlgTest, EveryTooltipIsAWordOfTheLanguageTable) {
    dlg->show();
    const CLanguageTable& table = LanguageTable();
    int tips = 0;
    for (QWidget* widget : dlg->findChildren<QWidget*>()) {
        const std::string tip = widget->toolTip().toStdString();
        if (tip.empty())
            continue;
        ++tips;
        bool fromTable = false;
        for (int i = 0; i < CLanguageTable::kUIInfoSize && !fromTable; ++i)
            fromTable = table.UIInfo(i) == tip;
        EXPECT_TRUE(fromTable) << widget->objectName().toStdString() << ": " << tip;
    }
    EXPECT_EQ(dlg->Button(IDC_PAUSE)->toolTip(), QString::fromStdString(table.UIInfo(46)));
    EXPECT_GE(tips, 6);  // the buttons' own
    // Nothing pops up over the picture.
    EXPECT_TRUE(dlg->VideoWindow()->toolTip().isEmpty());
}

TEST_F(PlayerDlgTest, VolumeKeysAndTheWheelStepTheLevelThatTheNextStartReads) {
    dlg->show();
    EXPECT_EQ(player->volumes, (std::vector<std::pair<int, bool>>{{100, false}}));  // at start
    Press(*dlg, Qt::Key_Down);
    Press(*dlg, Qt::Key_Down);
    EXPECT_EQ(player->volumes.back(), std::make_pair(90, false));
    EXPECT_EQ(dlg->VideoWindow()->GetOverlay().noticeText, "Volume 90%");
    Press(*dlg, Qt::Key_Up);
    for (int i = 0; i < 5; ++i) Press(*dlg, Qt::Key_Up);  // stops at full
    EXPECT_EQ(dlg->VolumePercent(), 100);
    // Over the picture: whole notches only, a touchpad's fractions add up.
    for (const int delta : {-120, -60}) Wheel(dlg->VideoWindow(), delta);
    EXPECT_EQ(dlg->VolumePercent(), 95);
    for (const int delta : {-60, -240}) Wheel(dlg->VideoWindow(), delta);
    EXPECT_EQ(dlg->VolumePercent(), 80);
    Press(*dlg, Qt::Key_M);
    EXPECT_EQ(player->volumes.back(), std::make_pair(80, true));
    EXPECT_EQ(dlg->VideoWindow()->GetOverlay().noticeText, "Muted");
    Press(*dlg, Qt::Key_Down);  // the level moves under the mute and stays muted
    EXPECT_EQ(player->volumes.back(), std::make_pair(75, true));

    // In the playlist the arrows are the list's.
    Focus(List());
    ASSERT_EQ(QApplication::focusWidget(), List());
    Press(*dlg, Qt::Key_Up);
    EXPECT_EQ(dlg->VolumePercent(), 75);

    Open({});
    EXPECT_EQ(player->volumes, (std::vector<std::pair<int, bool>>{{75, true}}));
}

TEST_F(PlayerDlgTest, TheLevelNoticeIsInTheWordsOfTheLanguageTable) {
    CLanguageTable& table = LanguageTable();
    const CLanguageTable saved = table;
    std::ofstream(dir.Path(CLanguageTable::kFileName))
        << "[Option]\nUIInfoCount=77\n[LanguageMap]\ndefault=Test\n[Test]\nTitleInfo00=E\n"
           "UIInfo75=Lautstärke\nUIInfo76=Stumm\n";
    table.LoadLanguageFile(dir.Folder() + "/");
    Open({});
    dlg->show();
    Press(*dlg, Qt::Key_Down);
    const std::string level = dlg->VideoWindow()->GetOverlay().noticeText;
    Press(*dlg, Qt::Key_M);
    const std::string muted = dlg->VideoWindow()->GetOverlay().noticeText;
    table = saved;
    EXPECT_EQ(level, "Lautstärke 95%");
    EXPECT_EQ(muted, "Stumm");
}

TEST_F(PlayerDlgTest, AMovieLeftByStopOrCloseIsKeptForItsNextStart) {
    const std::string a = Movie("a.tvq", 100), b = Movie("b.tvq", 100);
    ASSERT_TRUE(player->startQuery);
    chosen = {a, b};
    dlg->OnAdd();
    StartPlaying();
    player->length = 100;
    Playing(a);
    dlg->OnWinMessage(WM_PLAY_POSITION, 30, 0);
    // The list moves on: the position last reported is kept.
    Playing(b);
    EXPECT_EQ(player->startQuery(a), 30);
    // Stop keeps where the picture is now.
    player->positionMs = 55'900;
    dlg->OnStop();
    dlg->OnWinMessage(WM_PLAYLIST_STOPPED, 0, 0);
    EXPECT_EQ(player->startQuery(b), 55);

    // Played to its end: forgotten. And the close box keeps the file playing then.
    StartPlaying();
    Playing(a);
    dlg->OnWinMessage(WM_PLAY_POSITION, 98, 0);
    Playing(b);
    player->positionMs = 42'000;
    dlg->close();
    EXPECT_EQ(player->startQuery(a), 0);
    EXPECT_EQ(CResumeStore(dir.Path(CResumeStore::kFileName)).StartSecond(b, 100), 42);
}

TEST_F(PlayerDlgTest, ResumeOffInTheSettingsStartsEveryFileAtZero) {
    dlg.reset();
    std::ofstream(dir.Path("settings.ini")) << "[PlayerSetup]\nresume=FALSE\n";
    Open({});
    EXPECT_FALSE(player->startQuery);
    const std::string a = Movie("a.tvq", 100);
    chosen = {a};
    dlg->OnAdd();
    StartPlaying();
    Playing(a);
    player->positionMs = 50'000;
    dlg->OnStop();
    EXPECT_EQ(CResumeStore(dir.Path(CResumeStore::kFileName)).StartSecond(a, 100), 0);
}

TEST(CreditsCheck, AWrongKeyIsNotTakenAsAFirstLetter) {
    CCreditsCheck check;
    for (char c : std::string("THANK")) EXPECT_FALSE(check.OnKeyDown(static_cast<uint32_t>(c)));
    EXPECT_EQ(check.Index(), 5);
    EXPECT_FALSE(check.OnKeyDown('T'));  // wrong: resets, and does not count as the first 't'
    EXPECT_EQ(check.Index(), 0);
    bool shown = false;
    for (char c : std::string("THANKS")) shown = check.OnKeyDown(static_cast<uint32_t>(c));
    EXPECT_TRUE(shown);
    EXPECT_EQ(check.Index(), 0);
}

}  // namespace
