// The playlist player with everything real below it (engine, decoder component, audio output on
// the virtual sound device, the headless video target): what it posts to the dialog while a
// list plays, moving in the list, seeking, pausing, the speed commands and the property box.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>

#include "PlaylistPlayerTestSupport.h"
#include "engine/PlaybackEngine.h"
#include "platform/MessageBox.h"

using namespace playlist_test;
using Record = win::RecordingMessageTarget::Record;

namespace {

const MovieSpec kShort{};  // 2 s
MovieSpec LongSpec() {
    MovieSpec m;
    m.seconds = 70;
    return m;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool Is(const Record& r, uint32_t m, uintptr_t w, intptr_t l) {
    return r.message == m && r.wParam == w && r.lParam == l;
}

std::string Describe(const std::vector<Record>& records) {
    std::string out;
    for (const Record& r : records) {
        out += std::to_string(r.message - win::WM_USER) + "(" + std::to_string(r.wParam) + "," +
               std::to_string(r.lParam) + ") ";
    }
    return out;
}

std::vector<Record> Without(std::vector<Record> records, uint32_t message) {
    std::erase_if(records, [&](const Record& r) { return r.message == message; });
    return records;
}

class PlaylistPlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new TempFolder();
        CTvqDecoder::SetLibraryPathForTesting(BinFolder() + CTvqDecoder::kLibraryName);
        for (const char* name : {"a.tvq", "b.tvq", "c.tvq"}) {
            ASSERT_TRUE(MakeMovie(Movie(name), kShort)) << "tvq-make failed for " << name;
        }
        ASSERT_TRUE(MakeMovie(Movie("long.tvq"), LongSpec()));
    }
    static void TearDownTestSuite() {
        CTvqDecoder::SetLibraryPathForTesting("");
        delete folder_;
        folder_ = nullptr;
    }
    static std::string Movie(const std::string& name) { return folder_->Path() + name; }

    void SetUp() override {
        win::EnsureMessageQueue();
        win::SetMessageBoxService(boxes_);
        view_.SetRepeat(false);
        // The re-alignment restarts the clock at whole seconds; these tests follow the clock
        // exactly, so it stays off here (the stress test runs with it).
        view_.SetAdjust(false);
        dialog_.Attach(&player_);
    }
    void TearDown() override {
        player_.Stop();
        card_.StopRunning();
        win::SetMessageBoxService(nullptr);
    }

    void Play(const std::vector<std::string>& names) {
        for (const std::string& n : names) player_.AddFile(Movie(n));
        ASSERT_EQ(player_.Init(&dialog_, &view_, 1), 1);
    }

    int EngineMode() {
        int mode = -1;
        player_.WithEngine([&](CPlaybackEngine& e) { mode = e.GetMode(); });
        return mode;
    }
    int EngineSpeedIndex() {
        int index = -1;
        player_.WithEngine([&](CPlaybackEngine& e) { index = e.GetSpeedIndex(); });
        return index;
    }

    static TempFolder* folder_;
    std::shared_ptr<win::RecordingMessageBoxService> boxes_ =
        std::make_shared<win::RecordingMessageBoxService>();
    VirtualSoundCard card_{ChunkBytes(kShort)};
    TempFolder settings_;
    TestView view_{settings_.Path() + "settings.ini"};
    DialogStandIn dialog_;
    // Last, so that it is destroyed first: it uses everything above.
    CPlaylistPlayer player_;
};

TempFolder* PlaylistPlayerTest::folder_ = nullptr;

// ---- playing a list -----------------------------------------------------------------------

TEST_F(PlaylistPlayerTest, PlaysTheListInOrderAndStopsAtItsEnd) {
    card_.StartRunning();
    // Counted once the sound card runs: a sanitizer's helper thread starts with the first
    // thread the process makes, and must not count as one the player left behind.
    const int threadsBefore = ThreadCount();
    Play({"a.tvq", "b.tvq", "c.tvq"});
    ASSERT_TRUE(dialog_.WaitFor(WM_PLAYLIST_STOPPED, 0, 0, 60000)) << Describe(dialog_.Messages());
    player_.Shutdown();  // waits for the playlist thread, which ended by itself

    EXPECT_EQ(dialog_.Started(),
              (std::vector<std::string>{Movie("a.tvq"), Movie("b.tvq"), Movie("c.tvq")}));
    const std::vector<Record> perFile = {
        {WM_PLAY_STATE, 0, 0}, {WM_SEEKBAR, 1, 1},       {WM_SEEKBAR, 2, kShort.seconds},
        {WM_SEEKBAR, 0, 0},    {WM_PLAY_STARTING, 0, 0}, {WM_PLAY_STATE, 1, 1},
    };
    std::vector<Record> expected;
    for (int i = 0; i < 3; ++i) expected.insert(expected.end(), perFile.begin(), perFile.end());
    expected.push_back({WM_PLAYLIST_STOPPED, 0, 0});
    expected.push_back({WM_PLAY_STATE, 1, 0});
    const std::vector<Record> got = Without(dialog_.Messages(), WM_PLAY_POSITION);
    ASSERT_EQ(got.size(), expected.size()) << Describe(got);
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_TRUE(Is(got[i], expected[i].message, expected[i].wParam, expected[i].lParam))
            << "message " << i << " of " << Describe(got);
    }

    // The position is reported only in even seconds, from second 0 of every file.
    const std::vector<Record> positions = dialog_.MessagesOf(WM_PLAY_POSITION);
    ASSERT_FALSE(positions.empty());
    for (const Record& r : positions) {
        EXPECT_EQ(r.wParam % 2, 0u);
        EXPECT_EQ(r.lParam, 0);
    }
    const std::vector<Record> all = dialog_.Messages();
    int filesWithSecondZero = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        if (!Is(all[i], WM_PLAY_STARTING, 0, 0))
            continue;
        for (size_t j = i + 1; j < all.size() && all[j].message != WM_PLAY_STARTING; ++j) {
            if (Is(all[j], WM_PLAY_POSITION, 0, 0)) {
                ++filesWithSecondZero;
                break;
            }
        }
    }
    EXPECT_EQ(filesWithSecondZero, 3);

    EXPECT_EQ(player_.GetFileCount(), 0);
    EXPECT_EQ(player_.IsRunning(), 0);
    EXPECT_EQ(player_.HasEngine(), 0);
    EXPECT_TRUE(boxes_->Boxes().empty());
    EXPECT_EQ(ThreadCount(), threadsBefore);

    // A second shutdown posts nothing; a new play command refills the list and plays again.
    player_.Stop();
    EXPECT_EQ(dialog_.MessagesOf(WM_PLAYLIST_STOPPED).size(), 1u);
    Play({"b.tvq"});
    ASSERT_TRUE(dialog_.WaitForStarts(4));
    EXPECT_EQ(dialog_.Started().back(), Movie("b.tvq"));
}

TEST_F(PlaylistPlayerTest, RepeatStartsAgainFromTheFirstEntry) {
    view_.SetRepeat(true);
    card_.StartRunning();
    Play({"a.tvq", "b.tvq"});
    ASSERT_TRUE(dialog_.WaitForStarts(3, 60000));
    const std::vector<std::string> started = dialog_.Started();
    EXPECT_EQ(started[0], Movie("a.tvq"));
    EXPECT_EQ(started[1], Movie("b.tvq"));
    EXPECT_EQ(started[2], Movie("a.tvq"));
    EXPECT_TRUE(dialog_.MessagesOf(WM_PLAYLIST_STOPPED).empty());
    player_.Stop();
    EXPECT_EQ(dialog_.MessagesOf(WM_PLAYLIST_STOPPED).size(), 1u);
    EXPECT_EQ(player_.GetFileCount(), 0);
}

TEST_F(PlaylistPlayerTest, AFileDeletedAfterItWasListedEndsTheListWithABox) {
    const std::string doomed = Movie("doomed.tvq");
    std::filesystem::copy_file(Movie("b.tvq"), doomed);
    card_.StartRunning();
    player_.AddFile(Movie("a.tvq"));
    player_.AddFile(doomed);
    player_.AddFile(Movie("c.tvq"));
    std::filesystem::remove(doomed);
    ASSERT_EQ(player_.Init(&dialog_, &view_, 1), 1);

    ASSERT_TRUE(dialog_.WaitFor(WM_PLAYLIST_STOPPED, 0, 0, 30000));
    ASSERT_TRUE(dialog_.WaitFor(WM_PLAY_STATE, 1, 0));
    EXPECT_EQ(dialog_.Started(), std::vector<std::string>{Movie("a.tvq")});
    const auto boxes = boxes_->Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Can not open file " + doomed + "!");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].flags, win::MB_ICONERROR);
    EXPECT_EQ(player_.GetFileCount(), 0);
}

// ---- moving in the list (the sound card stands still, so no file ends by itself) ------------

TEST_F(PlaylistPlayerTest, PreviousFromTheFirstPlaysTheLastAndNextFromTheLastTheFirst) {
    Play({"a.tvq", "b.tvq", "c.tvq"});
    ASSERT_TRUE(dialog_.WaitForStarts(1));
    EXPECT_EQ(player_.GetCurrentIndex(), 1);

    EXPECT_EQ(player_.Previous(), 1);
    ASSERT_TRUE(dialog_.WaitForStarts(2));
    EXPECT_EQ(dialog_.Started()[1], Movie("c.tvq"));

    // Repeat is off: Next still wraps.
    EXPECT_EQ(player_.Next(), 1);
    ASSERT_TRUE(dialog_.WaitForStarts(3));
    EXPECT_EQ(dialog_.Started()[2], Movie("a.tvq"));

    EXPECT_EQ(player_.Next(), 1);
    ASSERT_TRUE(dialog_.WaitForStarts(4));
    EXPECT_EQ(dialog_.Started()[3], Movie("b.tvq"));
    EXPECT_TRUE(dialog_.MessagesOf(WM_PLAYLIST_STOPPED).empty());
}

TEST_F(PlaylistPlayerTest, SelectFileFindsTheEntryWithoutRegardToCase) {
    Play({"a.tvq", "b.tvq", "c.tvq"});
    ASSERT_TRUE(dialog_.WaitForStarts(1));
    EXPECT_EQ(player_.SelectFile(Upper(Movie("c.tvq"))), 1);
    ASSERT_TRUE(dialog_.WaitForStarts(2));
    EXPECT_EQ(dialog_.Started()[1], Movie("c.tvq"));

    // Not in the list: nothing is stopped, the controls come back.
    dialog_.Clear();
    EXPECT_EQ(player_.SelectFile(Movie("nowhere.tvq")), 1);
    EXPECT_EQ(player_.SelectFile(""), 0);
    const auto states = dialog_.MessagesOf(WM_PLAY_STATE);
    ASSERT_EQ(states.size(), 2u);
    EXPECT_TRUE(Is(states[0], WM_PLAY_STATE, 1, 0));
    EXPECT_TRUE(Is(states[1], WM_PLAY_STATE, 1, 0));
    EXPECT_EQ(player_.HasEngine(), 1);
    EXPECT_EQ(player_.GetCurrentFile(), Movie("c.tvq"));
}

TEST_F(PlaylistPlayerTest, RemovingEntriesKeepsTheNextFileAndReportsThePlayingOne) {
    Play({"a.tvq", "b.tvq", "c.tvq"});
    ASSERT_TRUE(dialog_.WaitForStarts(1));
    ASSERT_EQ(player_.SelectFile(Movie("b.tvq")), 1);
    ASSERT_TRUE(dialog_.WaitForStarts(2));
    ASSERT_EQ(dialog_.Started()[1], Movie("b.tvq"));

    // An entry before the playing one: the file after it is still the next.
    EXPECT_EQ(player_.RemoveFiles({Movie("a.tvq")}), 0);
    EXPECT_EQ(player_.GetFileList(), (std::vector<std::string>{Movie("b.tvq"), Movie("c.tvq")}));
    EXPECT_EQ(player_.Next(), 1);
    ASSERT_TRUE(dialog_.WaitForStarts(3));
    EXPECT_EQ(dialog_.Started()[2], Movie("c.tvq"));

    // The playing entry, named in another case, among others and with a stranger.
    EXPECT_EQ(player_.RemoveFiles({Movie("zzz.tvq"), Upper(Movie("c.tvq")), Movie("b.tvq")}), 1);
    EXPECT_EQ(player_.GetFileCount(), 0);
    EXPECT_EQ(player_.GetCurrentIndex(), 0);
}

TEST_F(PlaylistPlayerTest, APathGivenTwiceRemovesOnlyItsOwnEntry) {
    for (const char* n : {"a.tvq", "b.tvq", "c.tvq"}) player_.AddFile(Movie(n));
    EXPECT_EQ(player_.RemoveFiles({Movie("b.tvq"), Upper(Movie("b.tvq")), Movie("b.tvq")}), 0);
    EXPECT_EQ(player_.GetFileList(), (std::vector<std::string>{Movie("a.tvq"), Movie("c.tvq")}));
}

TEST_F(PlaylistPlayerTest, NextAndPreviousOnAnEmptyListStopThePlayer) {
    Play({"a.tvq"});
    ASSERT_TRUE(dialog_.WaitForStarts(1));
    player_.ClearList();
    EXPECT_EQ(player_.Next(), 0);
    EXPECT_EQ(player_.Previous(), 0);
    EXPECT_EQ(dialog_.MessagesOf(WM_PLAYLIST_STOPPED).size(), 1u);
    const auto all = dialog_.Messages();
    ASSERT_FALSE(all.empty());
    EXPECT_TRUE(Is(all.back(), WM_PLAY_STATE, 1, 0));
    EXPECT_EQ(player_.HasEngine(), 0);
    EXPECT_EQ(player_.IsRunning(), 0);
}

// ---- seeking ------------------------------------------------------------------------------

TEST_F(PlaylistPlayerTest, ForwardSeekIsDoneByTheDecodeThreadAndKeepsTheListWhereItIs) {
    Play({"long.tvq", "a.tvq"});
    ASSERT_TRUE(dialog_.WaitForStarts(1));
    ASSERT_TRUE(card_.Play(40));  // one second heard
    dialog_.Clear();
    const size_t textsBefore = view_.SeekTexts().size();

    EXPECT_EQ(player_.SeekTo(30), 1);
    ASSERT_TRUE(dialog_.WaitFor(WM_PLAY_STATE, 1, 0));
    const std::vector<Record> expected = {
        {WM_PLAY_STATE, 0, 0}, {WM_SEEKBAR, 1, 1}, {WM_SEEKBAR, 0, 30}, {WM_PLAY_STATE, 1, 0}};
    const std::vector<Record> got = Without(dialog_.Messages(), WM_PLAY_POSITION);
    ASSERT_EQ(got.size(), expected.size()) << Describe(got);
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_TRUE(Is(got[i], expected[i].message, expected[i].wParam, expected[i].lParam))
            << Describe(got);
    }
    const std::vector<std::string> texts = view_.SeekTexts();
    EXPECT_EQ(std::vector<std::string>(texts.begin() + textsBefore, texts.end()),
              (std::vector<std::string>{"Seeking to 0:30", ""}));
    EXPECT_EQ(player_.GetCurrentIndex(), 1);
    EXPECT_EQ(player_.GetCurrentFile(), Movie("long.tvq"));
    EXPECT_EQ(player_.GetStartSecond(), 0);

    // The clock starts again at the target: the next frames shown belong to second 30.
    ASSERT_TRUE(card_.Play(1));
    ASSERT_TRUE(view_.WaitForSecond(30));
    EXPECT_EQ(view_.GetFramePosition().first, 30);
    ASSERT_TRUE(card_.Play(40));
    ASSERT_TRUE(view_.WaitForSecond(31));
    EXPECT_EQ(dialog_.Started().size(), 1u);
}

TEST_F(PlaylistPlayerTest, SeekBehindTheDecodePositionStaysInPlace) {
    Play({"long.tvq", "a.tvq"});
    ASSERT_TRUE(dialog_.WaitForStarts(1));
    ASSERT_EQ(player_.SeekTo(66), 1);
    ASSERT_TRUE(dialog_.WaitFor(WM_SEEKBAR, 0, 66));
    ASSERT_TRUE(dialog_.WaitFor(WM_PLAY_STATE, 1, 0));  // the last word of the seek
    ASSERT_TRUE(card_.Play(1));
    ASSERT_TRUE(view_.WaitForSecond(66));
    dialog_.Clear();

    // 65 lies behind the second being decoded (66 or later); the component repositions, so
    // the seek is the decode thread's, as a forward one, and the file is not opened again.
    EXPECT_EQ(player_.SeekTo(65), 1);
    ASSERT_TRUE(dialog_.WaitFor(WM_PLAY_STATE, 1, 0));
    const std::vector<std::string> texts = view_.SeekTexts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], "Seeking to 1:05");
    EXPECT_EQ(texts.back(), "");
    const std::vector<Record> got = Without(dialog_.Messages(), WM_PLAY_POSITION);
    const std::vector<Record> expected = {
        {WM_PLAY_STATE, 0, 0}, {WM_SEEKBAR, 1, 1}, {WM_SEEKBAR, 0, 65}, {WM_PLAY_STATE, 1, 0}};
    ASSERT_EQ(got.size(), expected.size()) << Describe(got);
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_TRUE(Is(got[i], expected[i].message, expected[i].wParam, expected[i].lParam))
            << Describe(got);
    }
    EXPECT_EQ(dialog_.Started().size(), 1u);
    EXPECT_EQ(player_.GetCurrentIndex(), 1);

    // The picture goes back with the clock rather than waiting for it to pass 66 again.
    for (int chunk = 0; chunk < 10 && view_.GetFramePosition().first != 65; ++chunk)
        ASSERT_TRUE(card_.Play(1));
    EXPECT_EQ(view_.GetFramePosition().first, 65);
}

TEST_F(PlaylistPlayerTest, ASeekBackFromTheDecodedEndPlaysOnFromThere) {
    Play({"long.tvq", "a.tvq"});
    ASSERT_TRUE(dialog_.WaitForStarts(1));
    // Near the end the decoder reports the end of the file within the first fills.
    ASSERT_EQ(player_.SeekTo(68), 1);
    ASSERT_TRUE(dialog_.WaitFor(WM_SEEKBAR, 0, 68));
    ASSERT_TRUE(dialog_.WaitFor(WM_PLAY_STATE, 1, 0));
    ASSERT_TRUE(card_.Play(1));
    ASSERT_TRUE(view_.WaitForSecond(68));
    dialog_.Clear();

    // Behind the shown picture and after the end was reached: the decoder goes back to 3 and
    // the file plays on from there.
    ASSERT_EQ(player_.SeekTo(3), 1);
    EXPECT_TRUE(dialog_.WaitFor(WM_SEEKBAR, 0, 3));
    ASSERT_TRUE(dialog_.WaitFor(WM_PLAY_STATE, 1, 0));
    // The clock restarts at 3: within a few chunks the frames shown are of second 3.
    for (int chunk = 0; chunk < 20 && view_.GetFramePosition().first != 3; ++chunk)
        ASSERT_TRUE(card_.Play(1));
    EXPECT_EQ(view_.GetFramePosition().first, 3);
    ASSERT_TRUE(card_.Play(45));
    ASSERT_TRUE(view_.WaitForSecond(4));
    EXPECT_EQ(view_.GetFramePosition().first, 4);
    EXPECT_EQ(dialog_.Started().size(), 1u);
}

TEST_F(PlaylistPlayerTest, SeeksOutsideTheMovieOrWithoutAFileAreRefused) {
    EXPECT_EQ(player_.SeekTo(0), 0);  // nothing plays yet
    Play({"a.tvq"});
    ASSERT_TRUE(dialog_.WaitForStarts(1));
    dialog_.Clear();
    const size_t texts = view_.SeekTexts().size();
    EXPECT_EQ(player_.SeekTo(kShort.seconds), 0);
    EXPECT_EQ(player_.SeekTo(1000), 0);
    EXPECT_EQ(player_.SeekTo(-1), 0);
    // The playing file's own position messages come on their clock; a refused seek adds none.
    EXPECT_TRUE(Without(dialog_.Messages(), WM_PLAY_POSITION).empty());
    EXPECT_EQ(view_.SeekTexts().size(), texts);
}

// ---- pause --------------------------------------------------------------------------------

TEST_F(PlaylistPlayerTest, PauseHoldsTheClockAndTheShownFrame) {
    Play({"long.tvq"});
    ASSERT_TRUE(dialog_.WaitForStarts(1));
    ASSERT_TRUE(card_.Play(50));

    player_.Pause();
    EXPECT_EQ(player_.IsPaused(), 1);
    const uint32_t clock = player_.AudioOutput().GetClock();
    const int bytesPerSecond = BytesPerSecond(kShort);
    const int32_t second = static_cast<int32_t>(clock / bytesPerSecond);
    const int32_t frame =
        static_cast<int32_t>(kShort.fps * (clock % bytesPerSecond) / bytesPerSecond);
    // The update of the last span played before the pause shows the frame of that clock.
    ASSERT_TRUE(view_.WaitForShowCalls(card_.Device().Unlocks()));
    ASSERT_EQ(view_.GetFramePosition(), std::make_pair(second, frame));
    const int shown = view_.Shown();
    const size_t positions = dialog_.MessagesOf(WM_PLAY_POSITION).size();

    const uint64_t unlocks = card_.Device().Unlocks();
    card_.Advance(80);
    EXPECT_FALSE(card_.Device().WaitForUnlocks(unlocks + 1, 300)) << "refilled while paused";
    EXPECT_EQ(player_.AudioOutput().GetClock(), clock);
    EXPECT_EQ(view_.GetFramePosition(), std::make_pair(second, frame));
    EXPECT_EQ(view_.Shown(), shown);
    EXPECT_EQ(dialog_.MessagesOf(WM_PLAY_POSITION).size(), positions);

    player_.Pause();  // resumes where it stood
    EXPECT_EQ(player_.IsPaused(), 0);
    ASSERT_TRUE(card_.Play(40));
    EXPECT_EQ(player_.AudioOutput().GetClock(), clock + 40u * ChunkBytes(kShort));
    ASSERT_TRUE(view_.WaitForSecond(second + 1));
}

// ---- speed commands -----------------------------------------------------------------------

TEST_F(PlaylistPlayerTest, SpeedCommandsSetTheSliderAndTheEngineMode) {
    bool sliderEnabled = true;
    player_.SetSeekBar([&] { return sliderEnabled; });

    // Before Init there is neither a window to tell nor an engine to change.
    EXPECT_EQ(player_.OnSpeedMessage(WM_SPEED_FORWARD_2X), 1);
    EXPECT_EQ(player_.OnSpeedMessage(WM_SHOW_PROPERTY), 0);
    EXPECT_TRUE(dialog_.Messages().empty());

    Play({"long.tvq"});
    ASSERT_TRUE(dialog_.WaitForStarts(1));
    // Room behind the position for backward play.
    ASSERT_EQ(player_.SeekTo(40), 1);
    ASSERT_TRUE(dialog_.WaitFor(WM_PLAY_STATE, 1, 0));

    struct Case {
        uint32_t message;
        intptr_t slider;  // WM_SEEKBAR (1, slider)
        int mode;         // engine mode afterwards
        int speedIndex;
    };
    const Case cases[] = {
        {WM_SPEED_FORWARD_2X, 0, 1, 1},  {WM_SPEED_FORWARD_4X, 0, 1, 2},
        {WM_SPEED_FORWARD_8X, 0, 1, 3},  {WM_SPEED_BACKWARD_2X, 0, 2, 1},
        {WM_SPEED_BACKWARD_4X, 0, 2, 2}, {WM_SPEED_BACKWARD_8X, 0, 2, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message - win::WM_USER);
        dialog_.Clear();
        EXPECT_EQ(player_.OnSpeedMessage(c.message), 1);
        auto bars = dialog_.MessagesOf(WM_SEEKBAR);
        ASSERT_EQ(bars.size(), 1u);
        EXPECT_TRUE(Is(bars[0], WM_SEEKBAR, 1, c.slider));
        EXPECT_EQ(EngineMode(), c.mode);
        EXPECT_EQ(EngineSpeedIndex(), c.speedIndex);

        // Forward 1x brings normal play back and the slider with it.
        dialog_.Clear();
        player_.SpeedForward1x();
        bars = dialog_.MessagesOf(WM_SEEKBAR);
        ASSERT_EQ(bars.size(), 1u);
        EXPECT_TRUE(Is(bars[0], WM_SEEKBAR, 1, 1));
        EXPECT_EQ(EngineMode(), CPlaybackEngine::kModeNormal);
        EXPECT_EQ(EngineSpeedIndex(), 0);
    }

    // Backward 1x is a switch, and the slider follows its state.
    dialog_.Clear();
    player_.SpeedBackward1x();
    EXPECT_EQ(EngineMode(), CPlaybackEngine::kModeBackward);
    EXPECT_EQ(EngineSpeedIndex(), 0);
    sliderEnabled = false;
    player_.SpeedBackward1x();
    EXPECT_EQ(EngineMode(), CPlaybackEngine::kModeNormal);
    const auto bars = dialog_.MessagesOf(WM_SEEKBAR);
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_TRUE(Is(bars[0], WM_SEEKBAR, 1, 0));
    EXPECT_TRUE(Is(bars[1], WM_SEEKBAR, 1, 1));
}

// ---- property box -------------------------------------------------------------------------

class FakePropertyBox : public IPropertyPresenter {
public:
    void RunModal(const EngineReader& withEngine) override {
        ++runs;
        found = withEngine([&](CPlaybackEngine& e) {
            fps = e.GetFramesPerSecond();
            length = e.GetLengthSeconds();
            width = e.GetPictureFormat().biWidth;
        });
        reader = withEngine;
    }
    int runs = 0;
    int found = -1;
    int fps = 0, length = 0, width = 0;
    EngineReader reader;
};

TEST_F(PlaylistPlayerTest, ThePropertyBoxReadsTheEngineOnlyThroughTheLock) {
    FakePropertyBox box;
    player_.SetPropertyPresenter(&box);
    player_.ShowProperties();
    EXPECT_EQ(box.runs, 0);  // no file

    Play({"a.tvq"});
    ASSERT_TRUE(dialog_.WaitForStarts(1));
    player_.ShowProperties();
    ASSERT_EQ(box.runs, 1);
    EXPECT_EQ(box.found, 1);
    EXPECT_EQ(box.fps, kShort.fps);
    EXPECT_EQ(box.length, kShort.seconds);
    EXPECT_EQ(box.width, kShort.width);

    // A box still open when playback stops finds no engine any more.
    player_.Stop();
    bool called = false;
    EXPECT_EQ(box.reader([&](CPlaybackEngine&) { called = true; }), 0);
    EXPECT_FALSE(called);
}

}  // namespace
