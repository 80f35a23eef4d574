// Title-bar notices: a queue of at most 20 texts shown in turn, each for a number of
// timer ticks, with the game's own title restored when the last one has run out.
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class TitleNoticeTest : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        PluginSettings.DisplayToWindowText = 1;
        PluginSettings.DispWindowTime = 5;
        std::strcpy(TitleNotice::Queue.SavedTitle, "Game Window");
    }
    // The title after each of `n` ticks.
    static std::vector<std::string> Ticks(int n) {
        std::vector<std::string> titles;
        for (int i = 0; i < n; ++i) {
            TitleNotice::Tick(sim::kGameWindow);
            titles.push_back(sim::WindowTitle(sim::kGameWindow));
        }
        return titles;
    }
    static std::vector<std::string> Repeat(const std::string& title, int n) {
        return std::vector<std::string>(static_cast<size_t>(n), title);
    }
    static std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
        std::vector<std::string> all;
        for (const auto& part : parts)
            all.insert(all.end(), part.begin(), part.end());
        return all;
    }
};

TEST_F(TitleNoticeTest, NoticesOffChangeNothing) {
    PluginSettings.DisplayToWindowText = 0;
    EXPECT_EQ(TitleNotice::Show("hello", 5, 0), 0);
    EXPECT_EQ(TitleNotice::Queue.Count, 0);
    EXPECT_THAT(sim::Log(), IsEmpty());
}

TEST_F(TitleNoticeTest, ANoticeStaysItsDurationPlusOneTick) {
    EXPECT_EQ(TitleNotice::Show("hello", 5, 0), 1);
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), "hello");
    EXPECT_EQ(sim::TimerPeriod(sim::kGameWindow, TitleNotice::kTimerId), 333u);
    sim::SetWindowTitle(sim::kGameWindow, "changed by the game");
    EXPECT_EQ(Ticks(6), Join({{"hello"}, Repeat("hello", 4), {"Game Window"}}));
    EXPECT_EQ(TitleNotice::Queue.Count, 0);
    EXPECT_FALSE(sim::TimerRunning(sim::kGameWindow, TitleNotice::kTimerId));
}

TEST_F(TitleNoticeTest, DurationZeroEndsAtTheFirstTick) {
    TitleNotice::Show("hello", 0, 0);
    EXPECT_THAT(Ticks(1), ElementsAre("Game Window"));
}

TEST_F(TitleNoticeTest, QueuedNoticeFollowsOneTickAfterTheFirstRunsOut) {
    TitleNotice::Show("one", 1, 0);
    TitleNotice::Show("two", 1, 0);
    EXPECT_EQ(TitleNotice::Queue.Count, 2);
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), "one");
    // The next notice's text is written one tick after the first ran out, and that tick
    // already counts it down.
    EXPECT_THAT(Ticks(4), ElementsAre("one", "one", "two", "Game Window"));
}

TEST_F(TitleNoticeTest, RepeatedVolumeNoticesShareOneSlot) {
    for (int level = 1; level <= 5; ++level) {
        EXPECT_EQ(TitleNotice::Show(("Volume " + std::to_string(level)).c_str(), 5, 3), 1);
        EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), "Volume " + std::to_string(level));
        Ticks(2);
    }
    EXPECT_EQ(TitleNotice::Queue.Count, 1);
    EXPECT_EQ(TitleNotice::Queue.Ticks[TitleNotice::Queue.Head],
              3); // full time from the last press
}

TEST_F(TitleNoticeTest, VolumeNoticeGoesInFrontOfThePlayingNotice) {
    TitleNotice::Show("playing : a.mp3", 5, 8);
    Ticks(3);
    TitleNotice::Show("Volume : 203", 2, 3);
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), "Volume : 203");
    EXPECT_EQ(TitleNotice::Queue.Count, 2);
    // The playing notice comes back for its full time again.
    EXPECT_EQ(Ticks(9),
              Join({Repeat("Volume : 203", 3), Repeat("playing : a.mp3", 5), {"Game Window"}}));
}

TEST_F(TitleNoticeTest, NewPlayingNoticeTakesTheQueuedOnesPlace) {
    TitleNotice::Show("other", 1, 0);
    TitleNotice::Show("playing : a.mp3", 1, 8);
    TitleNotice::Show("Using Playlist", 1, 16);
    TitleNotice::Show("playing : b.mp3", 1, 8);
    EXPECT_EQ(TitleNotice::Queue.Count, 3);
    EXPECT_THAT(Ticks(6), ElementsAre("other", "other", "playing : b.mp3", "playing : b.mp3",
                                      "Using Playlist", "Game Window"));
}

TEST_F(TitleNoticeTest, PlayingNoticeReplacingTheShownOneWaitsForItsTurn) {
    TitleNotice::Show("playing : a.mp3", 2, 8);
    TitleNotice::Show("playing : b.mp3", 2, 8);
    EXPECT_EQ(TitleNotice::Queue.Count, 1);
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), "playing : a.mp3");
    EXPECT_STREQ(TitleNotice::Queue.Texts[TitleNotice::Queue.Head], "playing : b.mp3");
}

TEST_F(TitleNoticeTest, ShownAtOnceNoticesComeBackNewestFirst) {
    TitleNotice::Show("first", 1, 1);
    TitleNotice::Show("second", 1, 1);
    TitleNotice::Show("third", 1, 1);
    EXPECT_EQ(sim::TitleHistory(), (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ(Ticks(14),
              Join({Repeat("third", 2), Repeat("second", 6), Repeat("first", 5), {"Game Window"}}));
}

TEST_F(TitleNoticeTest, TheTwentyFirstNoticeIsDropped) {
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(TitleNotice::Show("n", 5, 0), 1);
    EXPECT_EQ(TitleNotice::Show("dropped", 5, 1), 0);
    EXPECT_EQ(TitleNotice::Queue.Count, 20);
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), "n");
}

TEST_F(TitleNoticeTest, CollapseKeepsOnlyTheShownNotice) {
    TitleNotice::Collapse();
    EXPECT_EQ(TitleNotice::Queue.Count, 0);
    for (const char* t : {"a", "b", "c"})
        TitleNotice::Show(t, 5, 0);
    TitleNotice::Collapse();
    EXPECT_EQ(TitleNotice::Queue.Count, 1);
    EXPECT_THAT(Ticks(1), ElementsAre("Game Window"));
}

TEST_F(TitleNoticeTest, FollowUpIsShownRightAfterTheErrorItExplains) {
    TitleNotice::Show("playing : a.mp3", 5, 8);
    TitleNotice::Show("Using Playlist", 5, 16);
    TitleNotice::Collapse();
    TitleNotice::Show("error", 1, 1);
    TitleNotice::Show("follow-up", 1, 4);
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), "error");
    EXPECT_EQ(Ticks(10), Join({{"error", "error", "follow-up", "follow-up"},
                               Repeat("playing : a.mp3", 5),
                               {"Game Window"}}));
}

TEST_F(TitleNoticeTest, LongTextsAreCutInTheQueueOnly) {
    const std::string text(300, 'x');
    TitleNotice::Show(text.c_str(), 5, 0);
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), text);
    EXPECT_EQ(std::string(TitleNotice::Queue.Texts[TitleNotice::Queue.Head]), text.substr(0, 255));
}

// Stray ticks: before any notice, and after a notice shown at once has run out (its
// slot moved the old head back, which kept a full period of its own).
TEST_F(TitleNoticeTest, StrayTickRestoresTheTitle) {
    for (const bool shownBefore : {false, true}) {
        SCOPED_TRACE(shownBefore);
        if (shownBefore) {
            TitleNotice::Show("error", 1, TitleNotice::kShowNow);
            Ticks(2);
        }
        sim::ClearHistory();
        EXPECT_EQ(Ticks(1), Repeat("Game Window", 1));
        EXPECT_EQ(TitleNotice::Queue.Count, 0);
        EXPECT_EQ(sim::Count("KillTimer 77777"), 1);
    }
}
