// The playlist player with the engine, the audio output on the virtual sound device and the
// headless video target below it: what it posts to the dialog while a list plays, moving in
// the list, seeking, pausing, the speed commands and the property box, through the real
// decoder component; through the fake ones what the real one cannot show (a file the decoder
// refuses, a decoder that only goes forward, commands during a long opening); and a storm of
// random commands.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <random>
#include <tuple>

#include "FakeTvq.h"
#include "PlaylistPlayerTestSupport.h"
#include "engine/PlaybackEngine.h"
#include "platform/MessageBox.h"

using namespace playlist_test;
using Record = win::RecordingMessageTarget::Record;

namespace {

const MovieSpec kShort{};  // 2 s
const MovieSpec kLong{.seconds = 70};

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// "n(w,l) " per record, n counted from WM_USER, without the position messages (they come on
// the clock's own pace).
std::string Describe(const std::vector<Record>& records) {
    std::string out;
    for (const Record& r : records) {
        if (r.message != WM_PLAY_POSITION)
            out += std::to_string(r.message - win::WM_USER) + "(" + std::to_string(r.wParam) + "," +
                   std::to_string(r.lParam) + ") ";
    }
    return out;
}

// How many files reported their second 0 between their WM_PLAY_STARTING and the next one;
// every position must be an even second.
int FilesReportingSecondZero(const std::vector<Record>& records) {
    int files = 0;
    bool seen = true;
    for (const Record& r : records) {
        if (r.message == WM_PLAY_STARTING)
            seen = false;
        if (r.message != WM_PLAY_POSITION)
            continue;
        EXPECT_EQ(r.wParam % 2, 0u);
        EXPECT_EQ(r.lParam, 0);
        if (r.wParam == 0 && !seen) {
            seen = true;
            ++files;
        }
    }
    return files;
}

// A player with the dialog's stand-in, the headless view and a sound card that plays spans of
// `chunkBytes`.
class PlayerFixture : public ::testing::Test {
protected:
    explicit PlayerFixture(uint32_t chunkBytes) : card_(chunkBytes) {}
    void SetUp() override {
        win::EnsureMessageQueue();
        win::SetMessageBoxService(boxes_);
        options_.SetRepeat(false);
        // The re-alignment restarts the clock at whole seconds; these tests follow the clock
        // exactly, so it stays off here (the storm turns it on).
        options_.SetAdjust(false);
        dialog_.Attach(&player_);
    }
    void TearDown() override {
        player_.Stop();
        card_.StopRunning();
        win::SetMessageBoxService(nullptr);
    }
    void PlayPaths(const std::vector<std::string>& paths) {
        for (const std::string& p : paths) player_.AddFile(p);
        ASSERT_EQ(player_.Init(&dialog_, &view_, 1), 1);
    }
    void StartPaths(const std::vector<std::string>& paths) {
        PlayPaths(paths);
        ASSERT_TRUE(dialog_.WaitForStarts(1));
    }
    std::pair<SpeedMode, Speed> EngineSpeed() {
        std::pair<SpeedMode, Speed> speed{SpeedMode::Normal, Speed::X1};
        player_.WithEngine([&](CPlaybackEngine& e) { speed = {e.GetMode(), e.GetSpeed()}; });
        return speed;
    }

    std::shared_ptr<win::RecordingMessageBoxService> boxes_ =
        std::make_shared<win::RecordingMessageBoxService>();
    VirtualSoundCard card_;
    TempFolder scratch_;
    CPlayerSettings options_;
    TestView view_{&options_};
    DialogStandIn dialog_;
    // Last, so that it is destroyed first: it uses everything above.
    CPlaylistPlayer player_;
};

// Movies made by tvq-make, played by the real component.
class PlaylistPlayerTest : public PlayerFixture {
protected:
    PlaylistPlayerTest() : PlayerFixture(ChunkBytes(kShort)) {}
    static void SetUpTestSuite() {
        folder_ = new TempFolder();
        CTvqDecoder::SetLibraryPathForTesting(BinFolder() + CTvqDecoder::kLibraryName);
        for (const char* name : {"a.tvq", "b.tvq", "c.tvq"}) {
            ASSERT_TRUE(MakeMovie(Movie(name), kShort)) << "tvq-make failed for " << name;
        }
        ASSERT_TRUE(MakeMovie(Movie("long.tvq"), kLong));
    }
    static void TearDownTestSuite() {
        CTvqDecoder::SetLibraryPathForTesting("");
        delete folder_;
        folder_ = nullptr;
    }
    static std::string Movie(const std::string& name) { return folder_->Path() + name; }
    // Seeks in the file, waits for the target's first picture and forgets the messages so far.
    void SeekAndShow(int32_t second) {
        ASSERT_NO_FATAL_FAILURE(SeekInFile(second));
        ASSERT_TRUE(card_.Play(1));
        ASSERT_TRUE(view_.WaitForSecond(second));
        dialog_.Clear();
    }
    // A seek the decode thread does in the playing file: the dialog hears of its start and end,
    // and the view shows its text until the end.
    void SeekInFile(int32_t second) {
        dialog_.Clear();
        const size_t textsBefore = view_.SeekTexts().size();
        ASSERT_EQ(player_.SeekTo(second), 1);
        ASSERT_TRUE(dialog_.WaitFor(WM_PLAY_STATE, 1, 0));
        EXPECT_EQ(Describe(dialog_.Messages()),
                  "3(0,0) 15(1,1) 15(0," + std::to_string(second) + ") 3(1,0) ");
        const std::vector<std::string> texts = view_.SeekTexts();
        const std::string text = "Seeking to " + std::to_string(second / 60) +
                                 (second % 60 < 10 ? ":0" : ":") + std::to_string(second % 60);
        EXPECT_EQ(std::vector<std::string>(texts.begin() + textsBefore, texts.end()),
                  (std::vector<std::string>{text, ""}));
    }
    void Play(const std::vector<std::string>& names) {
        std::vector<std::string> paths;
        for (const std::string& n : names) paths.push_back(Movie(n));
        PlayPaths(paths);
    }
    void Start(const std::vector<std::string>& names) {
        Play(names);
        ASSERT_TRUE(dialog_.WaitForStarts(1));
    }

    static TempFolder* folder_;
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
    EXPECT_EQ(Describe(dialog_.Messages()), Describe(expected));
    // The position is reported only in even seconds, from second 0 of every file.
    EXPECT_EQ(FilesReportingSecondZero(dialog_.Messages()), 3);

    EXPECT_EQ(std::make_tuple(player_.GetFileCount(), player_.IsRunning(), player_.HasEngine()),
              std::make_tuple(0, 0, 0));
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
    options_.SetRepeat(true);
    card_.StartRunning();
    Play({"a.tvq", "b.tvq"});
    ASSERT_TRUE(dialog_.WaitForStarts(3, 60000));
    const std::vector<std::string> started = dialog_.Started();
    EXPECT_EQ(std::vector<std::string>(started.begin(), started.begin() + 3),
              (std::vector<std::string>{Movie("a.tvq"), Movie("b.tvq"), Movie("a.tvq")}));
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

TEST_F(PlaylistPlayerTest, PreviousAndNextWrapAroundAndSelectFileIgnoresCase) {
    ASSERT_NO_FATAL_FAILURE(Start({"a.tvq", "b.tvq", "c.tvq"}));
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

    // SelectFile finds the entry without regard to case.
    EXPECT_EQ(player_.SelectFile(Upper(Movie("c.tvq"))), 1);
    ASSERT_TRUE(dialog_.WaitForStarts(5));
    EXPECT_EQ(dialog_.Started()[4], Movie("c.tvq"));

    // Not in the list: nothing is stopped, the controls come back.
    dialog_.Clear();
    EXPECT_EQ(player_.SelectFile(Movie("nowhere.tvq")), 1);
    EXPECT_EQ(player_.SelectFile(""), 0);
    EXPECT_EQ(Describe(dialog_.MessagesOf(WM_PLAY_STATE)), "3(1,0) 3(1,0) ");
    EXPECT_EQ(player_.HasEngine(), 1);
    EXPECT_EQ(player_.GetCurrentFile(), Movie("c.tvq"));
}

TEST_F(PlaylistPlayerTest, RemovingEntriesKeepsTheNextFileAndReportsThePlayingOne) {
    ASSERT_NO_FATAL_FAILURE(Start({"a.tvq", "b.tvq", "c.tvq"}));
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

    // A path given twice names the same entry once, not its neighbour as well.
    for (const char* n : {"a.tvq", "b.tvq", "c.tvq"}) player_.AddFile(Movie(n));
    EXPECT_EQ(player_.RemoveFiles({Movie("b.tvq"), Upper(Movie("b.tvq")), Movie("b.tvq")}), 0);
    EXPECT_EQ(player_.GetFileList(), (std::vector<std::string>{Movie("a.tvq"), Movie("c.tvq")}));
}

TEST_F(PlaylistPlayerTest, NextAndPreviousOnAnEmptyListStopThePlayer) {
    ASSERT_NO_FATAL_FAILURE(Start({"a.tvq"}));
    player_.ClearList();
    EXPECT_EQ(player_.Next(), 0);
    EXPECT_EQ(player_.Previous(), 0);
    EXPECT_EQ(dialog_.MessagesOf(WM_PLAYLIST_STOPPED).size(), 1u);
    const auto all = dialog_.Messages();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(Describe({all.back()}), "3(1,0) ");
    EXPECT_EQ(std::make_pair(player_.IsRunning(), player_.HasEngine()), std::make_pair(0, 0));
}

// ---- seeking ------------------------------------------------------------------------------

// Forward, behind the second being decoded and back from the decoded end: the real component
// repositions, so each seek is the decode thread's in the open file (SeekInFile checks its
// messages), the file is not opened again and the list stays where it is.
TEST_F(PlaylistPlayerTest, SeeksForwardAndBackAreDoneInTheOpenFile) {
    ASSERT_NO_FATAL_FAILURE(Start({"long.tvq", "a.tvq"}));
    ASSERT_TRUE(card_.Play(40));  // one second heard
    ASSERT_NO_FATAL_FAILURE(SeekInFile(30));
    EXPECT_EQ(player_.GetStartSecond(), 0);
    // The clock starts again at the target: the next frames shown belong to second 30.
    ASSERT_TRUE(card_.Play(1));
    ASSERT_TRUE(view_.WaitForSecond(30));
    EXPECT_EQ(view_.GetFramePosition().first, 30);
    ASSERT_TRUE(card_.Play(40));
    ASSERT_TRUE(view_.WaitForSecond(31));

    // 65 lies behind the second being decoded (66 or later); near the end the decoder reports
    // the end of the file within the first fills, and 3 lies behind that.
    for (const auto& [shown, back] : {std::pair{66, 65}, std::pair{68, 3}}) {
        SCOPED_TRACE(back);
        ASSERT_NO_FATAL_FAILURE(SeekAndShow(shown));
        ASSERT_NO_FATAL_FAILURE(SeekInFile(back));
        // The picture goes back with the clock rather than waiting for it to pass the second
        // shown again (40 chunks a second).
        for (int chunk = 0; chunk < 20 && view_.GetFramePosition().first != back; ++chunk)
            ASSERT_TRUE(card_.Play(1));
        EXPECT_EQ(view_.GetFramePosition().first, back);
    }
    // The file plays on from there.
    ASSERT_TRUE(card_.Play(45));
    ASSERT_TRUE(view_.WaitForSecond(4));
    EXPECT_EQ(view_.GetFramePosition().first, 4);
    EXPECT_EQ(dialog_.Started().size(), 1u);
    EXPECT_EQ(player_.GetCurrentIndex(), 1);
    EXPECT_EQ(player_.GetCurrentFile(), Movie("long.tvq"));
}

TEST_F(PlaylistPlayerTest, SeeksOutsideTheMovieOrWithoutAFileAreRefused) {
    EXPECT_EQ(player_.SeekTo(0), 0);  // nothing plays yet
    ASSERT_NO_FATAL_FAILURE(Start({"a.tvq"}));
    dialog_.Clear();
    const size_t texts = view_.SeekTexts().size();
    EXPECT_EQ(player_.SeekTo(kShort.seconds), 0);
    EXPECT_EQ(player_.SeekTo(1000), 0);
    EXPECT_EQ(player_.SeekTo(-1), 0);
    // The playing file's own position messages come on their clock; a refused seek adds none.
    EXPECT_EQ(Describe(dialog_.Messages()), "");
    EXPECT_EQ(view_.SeekTexts().size(), texts);
}

// ---- pause --------------------------------------------------------------------------------

TEST_F(PlaylistPlayerTest, PauseHoldsTheClockAndTheShownFrame) {
    ASSERT_NO_FATAL_FAILURE(Start({"long.tvq"}));
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

    ASSERT_NO_FATAL_FAILURE(Start({"long.tvq"}));
    // Room behind the position for backward play.
    ASSERT_EQ(player_.SeekTo(40), 1);
    ASSERT_TRUE(dialog_.WaitFor(WM_PLAY_STATE, 1, 0));

    // Each fast speed takes the slider away (WM_SEEKBAR 1, 0), and the engine's mode after.
    const std::pair<uint32_t, std::pair<SpeedMode, Speed>> cases[] = {
        {WM_SPEED_FORWARD_2X, {SpeedMode::Forward, Speed::X2}},
        {WM_SPEED_FORWARD_4X, {SpeedMode::Forward, Speed::X4}},
        {WM_SPEED_FORWARD_8X, {SpeedMode::Forward, Speed::X8}},
        {WM_SPEED_BACKWARD_2X, {SpeedMode::Backward, Speed::X2}},
        {WM_SPEED_BACKWARD_4X, {SpeedMode::Backward, Speed::X4}},
        {WM_SPEED_BACKWARD_8X, {SpeedMode::Backward, Speed::X8}},
    };
    for (const auto& [message, speed] : cases) {
        SCOPED_TRACE(message - win::WM_USER);
        dialog_.Clear();
        EXPECT_EQ(player_.OnSpeedMessage(message), 1);
        EXPECT_EQ(Describe(dialog_.MessagesOf(WM_SEEKBAR)), "15(1,0) ");
        EXPECT_EQ(EngineSpeed(), speed);

        // Forward 1x brings normal play back and the slider with it.
        dialog_.Clear();
        player_.SpeedForward1x();
        EXPECT_EQ(Describe(dialog_.MessagesOf(WM_SEEKBAR)), "15(1,1) ");
        EXPECT_EQ(EngineSpeed(), std::make_pair(SpeedMode::Normal, Speed::X1));
    }

    // Backward 1x is a switch, and the slider follows its state.
    dialog_.Clear();
    player_.SpeedBackward1x();
    EXPECT_EQ(EngineSpeed(), std::make_pair(SpeedMode::Backward, Speed::X1));
    sliderEnabled = false;
    player_.SpeedBackward1x();
    EXPECT_EQ(EngineSpeed().first, SpeedMode::Normal);
    EXPECT_EQ(Describe(dialog_.MessagesOf(WM_SEEKBAR)), "15(1,0) 15(1,1) ");
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

    ASSERT_NO_FATAL_FAILURE(Start({"a.tvq"}));
    player_.ShowProperties();
    ASSERT_EQ(box.runs, 1);
    EXPECT_EQ(std::make_tuple(box.found, box.fps, box.length, box.width),
              std::make_tuple(1, kShort.fps, kShort.seconds, kShort.width));

    // A box still open when playback stops finds no engine any more.
    player_.Stop();
    bool called = false;
    EXPECT_EQ(box.reader([&](CPlaybackEngine&) { called = true; }), 0);
    EXPECT_FALSE(called);
}

// ---- the fake components ----------------------------------------------------------------

// 10 frames a second, 2500 Hz stereo 16-bit: 10000 bytes a second, 248 a notification span.
constexpr const char* kShape = "fake:fps=10:rate=2500:ch=2";
const MovieSpec kFakeSpec{.fps = 10, .rate = 2500, .channels = 2};

class PlaylistPlayerFakeTest : public PlayerFixture {
protected:
    PlaylistPlayerFakeTest() : PlayerFixture(ChunkBytes(kFakeSpec)) {}
    void SetUp() override {
        PlayerFixture::SetUp();
        ASSERT_TRUE(library_.Loaded());
        CTvqDecoder::SetLibraryPathForTesting(library_.Path());
    }
    void TearDown() override {
        library_.ReleaseHold();
        PlayerFixture::TearDown();
        CTvqDecoder::SetLibraryPathForTesting("");
    }
    // An empty file whose name gives the fake its options.
    std::string Movie(const std::string& options) {
        const std::string path = scratch_.Path() + kShape + ":" + options;
        std::ofstream(path).put('\0');
        return path;
    }
    // The second the shown picture was made for (the fake writes it into the frame).
    int32_t ShownFrameSecond() const {
        int32_t second = -1;
        view_.WithShownFrame([&](const CFrameView::ShownFrame& f) {
            if (f.bits)
                std::memcpy(&second, f.bits, sizeof second);
        });
        return second;
    }
    // Plays one span and waits until its time update has shown its frame: the update runs
    // under the engine lock from before the refill the card waits for until after the show.
    bool PlaySpan() {
        if (!card_.Play(1))
            return false;
        player_.WithEngine([](CPlaybackEngine&) {});
        return true;
    }
    // Plays until the picture of `second` is on show; false when it does not come within
    // `spans`.
    bool PlayUntilSecond(int32_t second, int spans = 200) {
        for (int i = 0; i < spans; ++i) {
            if (ShownFrameSecond() == second && view_.GetFramePosition().first == second)
                return true;
            if (!PlaySpan())
                return false;
        }
        return ShownFrameSecond() == second;
    }
    // Seeks and waits for the seek's last word to the dialog.
    void SeekInPlace(int32_t second) {
        dialog_.Clear();
        ASSERT_EQ(player_.SeekTo(second), 1);
        ASSERT_TRUE(dialog_.WaitFor(WM_SEEKBAR, 0, second));
        ASSERT_TRUE(dialog_.WaitFor(WM_PLAY_STATE, 1, 0));
    }

    FakeTvqLibrary library_{FAKE_TVQ_COMPONENT};
};

TEST_F(PlaylistPlayerFakeTest, AFileTheDecoderRefusesEndsAndTheNextOnePlays) {
    const std::string refused = Movie("refuse=1");
    const std::string good = Movie("len=3");
    card_.StartRunning();
    PlayPaths({refused, good});
    // The refused file plays the engine's silent default second and ends by itself.
    ASSERT_TRUE(dialog_.WaitForStarts(2, 30000))
        << "the list stalled on the refused file: " << Describe(dialog_.Messages());
    EXPECT_EQ(dialog_.Started(), (std::vector<std::string>{refused, good}));
    ASSERT_TRUE(view_.WaitForSecond(1, 20000)) << "the good file's frames must come";
    EXPECT_TRUE(dialog_.WaitFor(WM_PLAYLIST_STOPPED, 0, 0, 30000)) << "the good file must end too";
    EXPECT_TRUE(boxes_->Boxes().empty());
}

// ---- seeking back -----------------------------------------------------------------------

TEST_F(PlaylistPlayerFakeTest, AForwardOnlyDecoderOpensTheFileAgainToSeekBack) {
    const std::string movie = Movie("len=100");
    // The list's own start of a file asks where to begin; the reopenings for a seek do not.
    std::atomic<int> asked{0};
    player_.SetStartQuery([&](const std::string& path) {
        ++asked;
        return path == movie ? 50 : 0;
    });
    ASSERT_NO_FATAL_FAILURE(StartPaths({movie}));
    EXPECT_TRUE(dialog_.WaitFor(WM_SEEKBAR, 0, 50));
    ASSERT_TRUE(PlayUntilSecond(50));
    SeekInPlace(60);
    ASSERT_TRUE(PlayUntilSecond(60));

    ASSERT_EQ(player_.SeekTo(10), 1);
    ASSERT_TRUE(dialog_.WaitForStarts(2));
    EXPECT_EQ(dialog_.Started()[1], movie);
    ASSERT_TRUE(PlayUntilSecond(10, 20));
    ASSERT_EQ(player_.SeekTo(0), 1);
    ASSERT_TRUE(dialog_.WaitForStarts(3));
    ASSERT_TRUE(PlayUntilSecond(0, 20)) << "the picture is of " << ShownFrameSecond();
    EXPECT_EQ(asked.load(), 1);
}

// ---- commands during a long opening -------------------------------------------------------

TEST_F(PlaylistPlayerFakeTest, PauseAndSpeedCommandsDoNotWaitForTheOpeningSkip) {
    // Without a seek entry a seek behind the position opens the file again, and the opening
    // decodes its way to the target while the playlist thread holds its thread lock.
    ASSERT_NO_FATAL_FAILURE(StartPaths({Movie("len=1000")}));
    SeekInPlace(600);
    library_.HoldNextStream();
    ASSERT_EQ(player_.SeekTo(300), 1);
    ASSERT_TRUE(library_.WaitUntilHeld(20000)) << "the file was not opened again";

    auto commands = std::async(std::launch::async, [&] {
        player_.SpeedForward2x();
        player_.Pause();
    });
    const bool returned = commands.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    library_.ReleaseHold();
    commands.wait();
    EXPECT_TRUE(returned) << "a command waited for the skip";

    // Both were kept and run in their order once the file played.
    ASSERT_TRUE(dialog_.WaitForStarts(2));
    EXPECT_EQ(player_.SeekTo(-1), 0);  // takes the thread lock: the opening is over
    int32_t base = -1;
    player_.WithEngine([&](CPlaybackEngine& e) { base = e.GetBaseSecond(); });
    EXPECT_EQ(base, 300);
    EXPECT_EQ(EngineSpeed(), std::make_pair(SpeedMode::Forward, Speed::X2));
    EXPECT_EQ(player_.IsPaused(), 1);
    const uint64_t unlocks = card_.Device().Unlocks();
    card_.Advance(20);
    EXPECT_FALSE(card_.Device().WaitForUnlocks(unlocks + 1, 300)) << "played while paused";

    // A command outside an opening runs at once.
    player_.Pause();
    EXPECT_EQ(player_.IsPaused(), 0);
}

// ---- a storm of commands ----------------------------------------------------------------
// Nothing may deadlock, every thread the player started must be gone after the final Stop, and
// the player must end idle. Under ThreadSanitizer and AddressSanitizer this also covers races
// and leaks.

constexpr int kCommands = 2000;
// Far beyond what the run takes even under a sanitizer; only a deadlock gets there.
constexpr auto kDeadlockLimit = std::chrono::minutes(4);

TEST_F(PlaylistPlayerTest, RandomCommandsWhileFilesPlayNeitherHangNorLeaveThreads) {
    options_.SetAdjust(true);
    std::vector<std::string> files;
    for (const char* name : {"a.tvq", "b.tvq", "c.tvq", "long.tvq"}) files.push_back(Movie(name));
    card_.StartRunning();
    const int threadsBefore = ThreadCount();
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    // One UI thread's worth of random commands, in the way the main dialog issues them. The
    // generator is the UI thread's alone: the seek bar is asked from the speed commands.
    std::mt19937 rng(seed);
    const auto pick = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    const auto anyFile = [&]() -> const std::string& {
        return files[pick(static_cast<int>(files.size()))];
    };
    FakePropertyBox box;
    player_.SetPropertyPresenter(&box);
    player_.SetSeekBar([&] { return pick(2) == 0; });
    auto runOne = [&, started = false]() mutable {
        const int c = pick(32);
        if (c < 4) {
            // Play: a fresh start once the last run has shut down, else a chosen entry.
            if (!started || player_.IsClosing()) {
                player_.ClearList();
                for (const std::string& f : files) player_.AddFile(f);
                player_.Init(&dialog_, &view_, 1);
                if (pick(2))
                    player_.SelectFile(anyFile());
                started = true;
            } else {
                player_.SelectFile(anyFile());
            }
        } else if (c < 5) {
            player_.Pause();
        } else if (c < 9) {
            player_.SeekTo(pick(80) - 3);
        } else if (c < 11) {
            player_.Next();
        } else if (c < 13) {
            player_.Previous();
        } else if (c < 17) {
            player_.OnSpeedMessage(WM_SPEED_FORWARD_1X + pick(8));
        } else if (c < 18) {
            player_.Stop();
        } else if (c < 19) {
            player_.RemoveFiles({anyFile()});
        } else if (c < 21) {
            player_.AddFile(anyFile());
        } else if (c < 22) {
            player_.ShowProperties();
        } else if (c < 23) {
            options_.SetRepeat(pick(2) == 0);
        } else if (c < 26) {
            player_.SelectFile(anyFile());
        } else {
            // The user watches for a while; files play, end and start meanwhile.
            std::this_thread::sleep_for(std::chrono::milliseconds(5 + pick(25)));
        }
    };

    std::packaged_task<void()> ui([&] {
        win::EnsureMessageQueue();
        for (int i = 0; i < kCommands; ++i) runOne();
        player_.Stop();
    });
    std::future<void> done = ui.get_future();
    std::thread uiThread(std::move(ui));
    if (done.wait_for(kDeadlockLimit) != std::future_status::ready) {
        std::fprintf(stderr, "playlist player deadlocked (seed %u)\n", seed);
        std::abort();  // the threads cannot be taken back; end the run with the report
    }
    uiThread.join();

    std::printf("%zu files started, %zu list ends, %zu messages, %zu seek texts\n",
                dialog_.Started().size(), dialog_.MessagesOf(WM_PLAYLIST_STOPPED).size(),
                dialog_.Messages().size(), view_.SeekTexts().size());
    EXPECT_EQ(ThreadCount(), threadsBefore);
    EXPECT_EQ(std::make_pair(player_.IsRunning(), player_.HasEngine()), std::make_pair(0, 0));
    // (The list itself is not checked: a Stop empties it only when it is the one that shuts
    // the player down, and a file added after the list ran out by itself stays listed.)
    EXPECT_FALSE(player_.AudioOutput().IsThreadRunning());
    EXPECT_FALSE(dialog_.Started().empty());
    EXPECT_FALSE(dialog_.MessagesOf(WM_PLAYLIST_STOPPED).empty());
    EXPECT_TRUE(boxes_->Boxes().empty());  // every file stayed readable
    for (const auto& r : dialog_.MessagesOf(WM_PLAY_POSITION)) EXPECT_EQ(r.wParam % 2, 0u);
}

}  // namespace
