// The playlist: which files it takes, what it shows, and how it keeps the playlist player's
// copy and the playing mark in step.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "AppTestSupport.h"
#include "app/PlaylistView.h"
#include "platform/MessageBox.h"
#include "support/OwnerDrawListCtrl.h"

namespace {

class FakeHost : public CPlaylistView::Host {
public:
    bool IsPlaying() const override { return playing; }
    IPlayerControl& Player() override { return player; }
    void SetSliderUsable(bool usable) override { sliderUsable.push_back(usable); }
    void OnNext() override { ++nexts; }
    void Trace(const std::string& line) override { traces.push_back(line); }

    bool playing = false;
    FakePlayer player;
    std::vector<bool> sliderUsable;
    std::vector<std::string> traces;
    int nexts = 0;
};

class PlaylistViewTest : public ::testing::Test {
protected:
    TempFolder dir;
    COwnerDrawListCtrl list;
    FakeHost host;
    CPlaylistView view{list, host};

    void SetUp() override { view.SetupColumns(); }
    std::string Movie(const std::string& name, int32_t seconds = 75) {
        return WriteMovieHeader(dir.Path(name), seconds);
    }
    void Add(std::initializer_list<const char*> names) {
        for (const char* name : names) view.AddFileToList(Movie(name));
    }
    std::vector<std::string> Column0() const {
        std::vector<std::string> out;
        for (int r = 0; r < list.GetItemCount(); ++r) out.push_back(list.GetItemText(r, 0));
        return out;
    }
};

TEST_F(PlaylistViewTest, HeaderMustMatchAllTwentyEightBytes) {
    uint8_t header[28] = {'R', 'I', 'F', 'F', 0, 0, 0,   0,   'T', 'V', 'Q', ' ', 'L', 'I',
                          'S', 'T', 0,   0,   0, 0, 'h', 'd', 'r', 'l', 't', 'v', 'q', 'h'};
    EXPECT_TRUE(CPlaylistView::IsTvqHeader(header));
    header[4] = 1;  // RIFF size
    EXPECT_FALSE(CPlaylistView::IsTvqHeader(header));
    header[4] = 0;
    header[16] = 8;  // LIST size
    EXPECT_FALSE(CPlaylistView::IsTvqHeader(header));
    header[16] = 0;
    header[11] = 'X';  // "TVQX"
    EXPECT_FALSE(CPlaylistView::IsTvqHeader(header));
}

TEST_F(PlaylistViewTest, LengthIsReadFromTheHeaderAndShownAsMinutes) {
    EXPECT_EQ(CPlaylistView::ReadMovieLength(Movie("long.tvq", 90 * 60)), 5400);
    EXPECT_EQ(CPlaylistView::ReadMovieLength(Movie("short.tvq", 59)), 59);
    EXPECT_EQ(CPlaylistView::ReadMovieLength(Movie("hours.tvq", 2 * 3600 + 61)), 7261);
    view.AddFileToList(dir.Path("long.tvq"));
    view.AddFileToList(dir.Path("short.tvq"));
    view.AddFileToList(dir.Path("hours.tvq"));
    EXPECT_EQ(list.GetItemText(0, 1), "90:00");
    EXPECT_EQ(list.GetItemText(1, 1), "0:59");
    EXPECT_EQ(list.GetItemText(2, 1), "121:01");  // minutes are not split into hours
}

TEST_F(PlaylistViewTest, FilesThatAreNotOurMoviesAreNotAdded) {
    WriteMovieHeader(dir.Path("riff.tvq"), 75, 1234);
    Movie("empty.tvq", 0);
    std::ofstream(dir.Path("short.tvq")) << "RIFF";
    {  // a correct header, but the file ends before the length
        std::ofstream out(dir.Path("cut.tvq"), std::ios::binary);
        std::string bytes(28, '\0');
        std::memcpy(bytes.data(), "RIFF\0\0\0\0TVQ LIST\0\0\0\0hdrltvqh", 28);
        out << bytes;
    }
    for (const char* name : {"riff.tvq", "empty.tvq", "short.tvq", "cut.tvq", "missing.tvq"}) {
        EXPECT_LT(CPlaylistView::ReadMovieLength(dir.Path(name)), 1) << name;
        view.AddFileToList(dir.Path(name));
    }
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_TRUE(host.sliderUsable.empty());
}

TEST_F(PlaylistViewTest, AGivenFileThatIsNoMovieIsNamedOnStandardErrorOnce) {
    std::ofstream(dir.Path("notes.txt")) << "not a movie";
    const std::string movie = Movie("a.tvq");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(view.AddGivenFile(dir.Path("notes.txt")));
    EXPECT_FALSE(CPlaylistView::CheckGivenFile(dir.Path("gone.tvq")));
    EXPECT_TRUE(view.AddGivenFile(movie));
    EXPECT_TRUE(view.AddGivenFile(movie));  // listed already: selected, no word
    EXPECT_TRUE(CPlaylistView::CheckGivenFile(movie));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "tvqplayer: " + dir.Path("notes.txt") + ": not a .tvq movie\n" +
                        "tvqplayer: " + dir.Path("gone.tvq") + ": no such file\n");
    EXPECT_EQ(Column0(), std::vector<std::string>{movie});
}

TEST_F(PlaylistViewTest, ADuplicateInAnotherCaseSelectsTheExistingRow) {
    const std::string lower = Movie("a.tvq");
    view.AddFileToList(Movie("b.tvq"));
    view.AddFileToList(lower);
    view.AddFileToList(Movie("c.tvq"));
    ASSERT_EQ(list.GetItemCount(), 3);
    // The upper-case spelling does not exist on disk: the row is only selected.
    std::string upper = lower;
    upper.replace(upper.size() - 5, 5, "A.TVQ");
    view.AddFileToList(upper);
    EXPECT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(list.GetSelectedRows(), std::vector<int>{1});
    EXPECT_EQ(list.GetItemText(1, 0), lower);
}

TEST_F(PlaylistViewTest, AddingSelectsTheNewRowAndFeedsARunningPlaylist) {
    view.AddFileToList(Movie("a.tvq"));
    EXPECT_TRUE(host.player.files.empty());  // idle: only the view grows
    host.playing = true;
    view.AddFileToList(Movie("b.tvq"));
    EXPECT_EQ(host.player.files, std::vector<std::string>{dir.Path("b.tvq")});
    EXPECT_EQ(list.GetSelectedRows(), std::vector<int>{1});
    EXPECT_EQ(host.sliderUsable, (std::vector<bool>{true, true}));
    EXPECT_EQ(host.traces.back(), "added " + dir.Path("b.tvq"));
}

TEST_F(PlaylistViewTest, DeletingRowsOneAndThreeKeepsTheOrderAndMovesTheMark) {
    Add({"0.tvq", "1.tvq", "2.tvq", "3.tvq", "4.tvq"});
    host.playing = true;
    host.player.currentFile = dir.Path("4.tvq");
    view.MarkPlayingItem(host.player.currentFile);
    ASSERT_EQ(list.GetCurrentRow(), 4);

    list.ClearSelection();
    list.SetSelected(1, true);
    list.SetSelected(3, true);
    EXPECT_TRUE(view.DeleteSelected());
    EXPECT_EQ(Column0(),
              (std::vector<std::string>{dir.Path("0.tvq"), dir.Path("2.tvq"), dir.Path("4.tvq")}));
    EXPECT_EQ(host.player.removed,
              (std::vector<std::string>{dir.Path("1.tvq"), dir.Path("3.tvq")}));
    EXPECT_EQ(list.GetCurrentRow(), 2);  // the mark followed its file
    EXPECT_EQ(host.nexts, 0);
}

TEST_F(PlaylistViewTest, DeletingThePlayingRowMovesToTheNextFile) {
    Add({"a.tvq", "b.tvq"});
    host.playing = true;
    view.MarkPlayingItem(dir.Path("a.tvq"));
    host.player.removeResult = 1;
    list.ClearSelection();
    list.SetSelected(0, true);
    EXPECT_TRUE(view.DeleteSelected());
    EXPECT_EQ(host.nexts, 1);
    EXPECT_EQ(list.GetCurrentRow(), -1);
    list.SetSelected(0, true);
    EXPECT_FALSE(view.DeleteSelected());  // the list is empty now
}

TEST_F(PlaylistViewTest, DeletingAfterTheListHasEndedMarksNoRow) {
    Add({"a.tvq", "b.tvq", "c.tvq"});
    // The list played to its end: the player still names its last file, the mark is gone.
    host.player.currentFile = dir.Path("c.tvq");
    list.ClearSelection();
    list.SetSelected(0, true);
    EXPECT_TRUE(view.DeleteSelected());
    EXPECT_EQ(list.GetCurrentRow(), -1);
    EXPECT_TRUE(host.player.removed.empty());  // an idle player's list is rebuilt at play
}

TEST_F(PlaylistViewTest, OnlyDroppedFilesEndingInTvqAreTaken) {
    Movie("clip.avi");  // a movie header, but the wrong extension
    const int taken = view.AddDroppedFiles(
        {Movie("ONE.TVQ"), dir.Path("clip.avi"), Movie("two.Tvq"), dir.Path("noextension")});
    EXPECT_EQ(taken, 2);
    EXPECT_EQ(Column0(), (std::vector<std::string>{dir.Path("ONE.TVQ"), dir.Path("two.Tvq")}));
}

TEST_F(PlaylistViewTest, CopyingIntoThePlayerStopsAtAVanishedFile) {
    auto boxes = std::make_shared<win::RecordingMessageBoxService>();
    win::SetMessageBoxService(boxes);
    Add({"a.tvq", "b.tvq", "c.tvq"});
    view.LoadPlayerList();
    EXPECT_EQ(host.player.files.size(), 3u);

    std::filesystem::remove(dir.Path("b.tvq"));
    view.LoadPlayerList();
    EXPECT_TRUE(host.player.files.empty());
    ASSERT_EQ(boxes->Boxes().size(), 1u);
    EXPECT_EQ(boxes->Boxes()[0].text, "Can not open file " + dir.Path("b.tvq") + "!");
    EXPECT_EQ(boxes->Boxes()[0].caption, "Error");
    win::SetMessageBoxService(nullptr);
}

TEST_F(PlaylistViewTest, MarkingAnUnknownNameKeepsTheMark) {
    Add({"a.tvq", "b.tvq"});
    view.MarkPlayingItem(dir.Path("B.TVQ"));
    EXPECT_EQ(list.GetCurrentRow(), 1);
    view.MarkPlayingItem(dir.Path("other.tvq"));
    EXPECT_EQ(list.GetCurrentRow(), 1);
}

}  // namespace
