// The property box's four lines.
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/MoviePropertyDlg.h"

namespace {

CMoviePropertyDlg::MovieFacts SmallMovie() {
    CMoviePropertyDlg::MovieFacts facts;
    facts.framesPerSecond = 12;
    facts.width = 160;
    facts.height = 120;
    facts.samplesPerSecond = 22050;
    facts.channels = 1;
    facts.lengthSeconds = 75;
    return facts;
}

TEST(MoviePropertyDlg, LabelsArePaddedToThirtyColumnsBeforeTheValues) {
    const auto lines = CMoviePropertyDlg::BuildLines(SmallMovie(), 0);
    EXPECT_EQ(lines[0], "Vedio frames per second:       12");
    EXPECT_EQ(lines[1], "Video size:                    160x120");
    EXPECT_EQ(lines[2], "Audio sample rate:             22050,1 channel");
    EXPECT_EQ(lines[3], "Movie time:                    1:15");
    for (const std::string& line : lines) EXPECT_EQ(line[30], ' ') << line;
}

TEST(MoviePropertyDlg, TheLanguageFilesFrameRateWins) {
    EXPECT_EQ(CMoviePropertyDlg::BuildLines(SmallMovie(), 25)[0],
              "Vedio frames per second:       25");
}

TEST(MoviePropertyDlg, WithoutAnEngineTheLabelsKeepTheirTexts) {
    CMoviePropertyDlg box([](const std::function<void(CPlaybackEngine&)>&) { return 0; });
    EXPECT_EQ(box.windowTitle(), "Movie property");
    for (int i = 0; i < 4; ++i) EXPECT_EQ(box.LabelText(i), "");
}

}  // namespace
