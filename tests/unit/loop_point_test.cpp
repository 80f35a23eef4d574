// Tunes with an intro: the loop= entry option, where an entry starts when it plays again
// right after itself, and the spare graphs that take over at the loop point.
#include <cstdio>
#include <string>
#include <vector>

#include "fixture.h"
#include "platform/media.h"

using ::testing::ElementsAreArray;

namespace {

constexpr int kF11 = 0x7A;

// Where the graph that plays now stands (in the sim it does not move on by itself).
std::string Position() {
    double seconds = -1.0;
    platform::get_CurrentPosition(MediaGraph.MediaPosition, &seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

// The tune reaches its stop time, and the hook hears of it.
void EndTune() {
    platform::put_CurrentPosition(MediaGraph.MediaPosition, 99999.0);
    sim::DeliverToHook(sim::kGameWindow, platform::kWmGraphNotify);
}

class LoopPoint : public ModuleTest {
  protected:
    void Begin(const std::string& settings, const std::string& entries, double length = 180) {
        // The spares the game's thread makes when tunes are not prepared on the worker.
        WriteSettings("InitRandom=0\r\n" + settings + "PrepareNextTune=0\r\n");
        sim::AddFile("a.mp3", "");
        sim::AddFile("b.mp3", "");
        sim::AddFile("l.txt", "[orvalin_bgmlist]\r\n[list]\r\n" + entries);
        sim::SetRenderedDuration(length);
        StartQuietly();
    }
};

struct LoopOptionCase {
    const char* entry;
    int hosei, beg, end, stop, loop;
    friend std::ostream& operator<<(std::ostream& os, const LoopOptionCase& c) {
        return os << c.entry;
    }
};

class LoopOption : public ModuleTest, public ::testing::WithParamInterface<LoopOptionCase> {};

// "loop=" holds none of the texts the other options are found by, and none of them
// holds it: each entry reads the same with or without it, but for its loop start.
TEST_P(LoopOption, IsReadBesideTheOtherOptions) {
    const LoopOptionCase& c = GetParam();
    const EntrySplit split = ParseEntry(c.entry);
    EXPECT_STREQ(split.name, "a.mp3");
    EXPECT_EQ(split.hosei, c.hosei);
    EXPECT_EQ(split.beg, c.beg);
    EXPECT_EQ(split.end, c.end);
    EXPECT_EQ(split.stop, c.stop);
    EXPECT_EQ(split.loop, c.loop);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Entries, LoopOption, ::testing::Values(
    LoopOptionCase{"a.mp3",                                     0,     0,    0,    0, 0},
    LoopOptionCase{"a.mp3,beg=1000,end=2000",                   0,     1000, 2000, 0, 0},
    LoopOptionCase{"a.mp3,loop=5000",                           0,     0,    0,    0, 5000},
    LoopOptionCase{"a.mp3,LOOP=5000",                           0,     0,    0,    0, 5000},
    LoopOptionCase{"a.mp3, Loop = 5000",                        0,     0,    0,    0, 5000},
    LoopOptionCase{"a.mp3,loop=\t5000",                         0,     0,    0,    0, 5000},
    LoopOptionCase{"a.mp3,vol=80,loop=5000,beg=1000",           10080, 1000, 0,    0, 5000},
    LoopOptionCase{"a.mp3,beg=1000,end=2000,loop=3500,stop=1",  0,     1000, 2000, 1, 3500},
    LoopOptionCase{"a.mp3,loop=3500,vol=-20,end=1000",          -20,   0,    1000, 0, 3500},
    LoopOptionCase{"a.mp3,loops=3500",                          0,     0,    0,    0, 0},
    LoopOptionCase{"a.mp3,loop",                                0,     0,    0,    0, 0}));
// clang-format on

TEST_F(LoopPoint, SavedListKeepsTheLoopOption) {
    const char* list = "sound\\list.txt";
    sim::AddFile(list, "[orvalin_bgmlist]\r\n[list]\r\nBattle.mp3,beg=2000,LOOP=61500\r\n");
    ASSERT_EQ(LoadPlaylist(list), 1);
    ASSERT_EQ(SaveMusicList(list), 1);
    EXPECT_EQ(sim::FileText(list), "[Orvalin_BGMList]\r\n[List]\r\nbattle.mp3,beg=2000,loop=61500");
}

struct RepeatCase {
    const char* what;
    const char* settings;
    const char* list;
    double length; // seconds
    bool nextKey;  // each end comes from F11
    // Where each play starts: the first play, then one after each end.
    std::vector<std::string> starts;
    friend std::ostream& operator<<(std::ostream& os, const RepeatCase& c) { return os << c.what; }
};

class LoopRepeat : public LoopPoint, public ::testing::WithParamInterface<RepeatCase> {};

TEST_P(LoopRepeat, StartsWhereTheRuleSays) {
    const RepeatCase& c = GetParam();
    Begin(c.settings, c.list, c.length);
    ASSERT_EQ(Module.Play("l.txt"), 0);
    std::vector<std::string> starts{Position()};
    while (starts.size() < c.starts.size()) {
        if (c.nextKey) {
            sim::PressKey(kF11); // past the end: the graph reports the end
            sim::DeliverToHook(sim::kGameWindow, platform::kWmGraphNotify);
        } else {
            EndTune();
        }
        starts.push_back(Position());
    }
    EXPECT_THAT(starts, ElementsAreArray(c.starts));
    EXPECT_TRUE(PlayerState.Playing);
}

const char* const kChange = "ChangeSoundOnLoop=1\r\n";
const char* const kInOrder = "ChangeSoundOnLoop=1\r\nLoopRandom=0\r\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Repeats, LoopRepeat, ::testing::Values(
    RepeatCase{"in place at the end", "", "a.mp3,beg=2000,loop=5500\r\n", 180, false,
               {"2", "5.5", "5.5", "5.5"}},
    RepeatCase{"in place at the end trim", "", "a.mp3,end=3000,loop=5500\r\n", 180, false,
               {"0", "5.5"}},
    RepeatCase{"in place by the next-tune key", "", "a.mp3,beg=1000,loop=61250\r\n", 180, true,
               {"1", "61.25", "61.25"}},
    RepeatCase{"one-entry list", kChange, "a.mp3,beg=2000,loop=5500\r\n", 180, false,
               {"2", "5.5", "5.5"}},
    RepeatCase{"one-entry list by the next-tune key", kChange, "a.mp3,beg=2000,loop=5500\r\n",
               180, true, {"2", "5.5"}},
    RepeatCase{"another entry between", kInOrder,
               "a.mp3,beg=2000,loop=5500\r\nb.mp3,beg=1000,loop=3000\r\n", 180, false,
               {"2", "1", "2"}},
    RepeatCase{"without the option in place", "", "a.mp3,beg=2000\r\n", 180, false, {"2", "0"}},
    RepeatCase{"without the option rendered anew", kChange, "a.mp3,beg=2000\r\n", 180, false,
               {"2", "2"}},
    RepeatCase{"just before the stop time", "", "a.mp3,loop=9999\r\n", 10, false,
               {"0", "9.999"}},
    RepeatCase{"at the stop time", "", "a.mp3,loop=10000\r\n", 10, false, {"0", "0"}},
    RepeatCase{"beyond the trimmed stop time", "", "a.mp3,end=3000,loop=7000\r\n", 10, false,
               {"0", "0"}},
    RepeatCase{"beyond the stop time rendered anew", kChange, "a.mp3,beg=2000,loop=20000\r\n",
               10, false, {"2", "2"}}));
// clang-format on

// A random pick that lands on the entry that just ended plays it from its loop start.
TEST_F(LoopPoint, RandomPickOfTheSameEntryStartsAtItsLoop) {
    Begin("ChangeSoundOnLoop=1\r\nLoopRandom=1\r\n", "a.mp3,loop=5500\r\nb.mp3\r\n");
    Module.Play("l.txt");
    uint32_t tick = sim::Now(); // one whose two draws both pick entry 0 again
    for (;; ++tick) {
        const auto draws = sim::RandSequence(tick, 2);
        if (draws[0] % 2 == 0 && draws[1] % 2 == 0) break;
    }
    sim::SetTickCount(tick);
    AdvanceAfterTune();
    ASSERT_EQ(PlayerState.CurrentEntry, 0);
    EXPECT_EQ(Position(), "5.5");
}

// Three graphs take turns: at each end the ready spare plays, the graph that ended is
// left to sound out (no longer heard by the hook), and the one that ended before is
// made ready at the loop start. No file is rendered at the loop point.
TEST_F(LoopPoint, SparesTakeTurnsAtTheLoopPoint) {
    Begin("", "a.mp3,beg=2000,end=3000,loop=5500\r\n");
    Module.SetVolume(200);
    Module.Play("l.txt");
    ASSERT_EQ(sim::GraphsCreated(), 3);
    const int renders = sim::Count("RenderFile");
    // The graph playing after each end, the one left to sound out, the one made ready.
    const int turns[][3] = {{2, 1, 3}, {3, 2, 1}, {1, 3, 2}, {2, 1, 3}};
    for (const auto& turn : turns) {
        Module.SetVolume(turn[0] * 50); // reaches the spare when it takes over
        EndTune();
        const sim::GraphView playing = sim::GraphNumber(turn[0]);
        const sim::GraphView ended = sim::GraphNumber(turn[1]);
        const sim::GraphView ready = sim::GraphNumber(turn[2]);
        EXPECT_EQ(playing.state, sim::GraphState::Running) << turn[0];
        EXPECT_EQ(playing.position, 5.5);
        EXPECT_EQ(playing.stopTime, 177);
        EXPECT_EQ(playing.notifyWindow, sim::kGameWindow);
        EXPECT_EQ(playing.volume, 16 * (turn[0] * 50 - 255));
        EXPECT_EQ(ended.notifyWindow, nullptr);
        EXPECT_EQ(ready.state, sim::GraphState::Paused);
        EXPECT_EQ(ready.position, 5.5);
        EXPECT_EQ(ready.stopTime, 177);
    }
    EXPECT_EQ(sim::GraphsCreated(), 3);
    EXPECT_EQ(sim::Count("RenderFile"), renders);
}

struct SpareCase {
    const char* what;
    const char* settings;
    const char* list;
    int graphs; // made by the request
    friend std::ostream& operator<<(std::ostream& os, const SpareCase& c) { return os << c.what; }
};

class SpareGraphs : public LoopPoint, public ::testing::WithParamInterface<SpareCase> {};

// Only an entry with a loop start that surely plays again right after itself gets spares.
TEST_P(SpareGraphs, OnlyForAnEntryThatLoops) {
    const SpareCase& c = GetParam();
    Begin(c.settings, c.list);
    Module.Play("l.txt");
    EXPECT_EQ(sim::GraphsCreated(), c.graphs);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Entries, SpareGraphs, ::testing::Values(
    SpareCase{"in place",                   "",      "a.mp3,loop=5500\r\n",              3},
    SpareCase{"one-entry list",             kChange, "a.mp3,loop=5500\r\n",              3},
    SpareCase{"without a loop start",       "",      "a.mp3,beg=2000\r\n",               1},
    SpareCase{"loop start past the end",    "",      "a.mp3,loop=200000\r\n",            1},
    SpareCase{"the list moves on",          kChange, "a.mp3,loop=5500\r\nb.mp3\r\n",     1},
    SpareCase{"its stop option ends play",  kChange, "a.mp3,loop=5500,stop=1\r\n",       1}));
// clang-format on

// A spare that cannot be made or made ready leaves the tune to restart in its own graph,
// silently.
TEST_F(LoopPoint, WithoutSparesTheTuneRestartsInItsOwnGraph) {
    Begin("MsgBoxOnError=1\r\nBeep=1\r\n", "a.mp3,loop=5500\r\n");
    sim::Script(sim::Op::RenderFile,
                {platform::kSOk, platform::kSOk, static_cast<platform::HResult>(0x80040218u)});
    Module.Play("l.txt");
    EXPECT_EQ(sim::GraphsCreated(), 3);
    EXPECT_FALSE(sim::GraphNumber(2).live);
    EXPECT_FALSE(sim::GraphNumber(3).live);
    sim::ClearHistory();
    EndTune();
    EXPECT_EQ(sim::GraphNumber(1).state, sim::GraphState::Running);
    EXPECT_EQ(Position(), "5.5");

    // Made, but refused at the first loop point: the next end restarts in place.
    Module.Play("b.mp3");
    Module.Play("l.txt");
    sim::Script(sim::Op::Pause, {static_cast<platform::HResult>(0x80004005u)});
    EndTune();
    const int playing = sim::GraphsCreated() - 1;
    EXPECT_EQ(sim::GraphNumber(playing).state, sim::GraphState::Running);
    EXPECT_FALSE(sim::GraphNumber(playing + 1).live);
    EXPECT_FALSE(sim::GraphNumber(playing - 1).live);
    EndTune();
    EXPECT_EQ(sim::GraphNumber(playing).state, sim::GraphState::Running);
    EXPECT_EQ(Position(), "5.5");
    EXPECT_TRUE(sim::Boxes().empty());
    EXPECT_TRUE(sim::Beeps().empty());
}

// Whatever ends the tune gives the spares back, with the last samples the graph that
// ended may still sound, and the files they hold.
TEST_F(LoopPoint, SparesGoWithTheTune) {
    const auto stop = [] { Module.Stop(); };
    const auto next = [] { Module.Play("b.mp3"); };
    const auto release = [] { ReleaseDS(0); };
    for (const auto& end : {+stop, +next, +release}) {
        Begin("", "a.mp3,loop=5500\r\n");
        const int first = sim::GraphsCreated(); // made by Init, plays the tune
        Module.Play("l.txt");
        EndTune();
        end();
        EXPECT_FALSE(sim::GraphNumber(first).live);     // ended at the loop point
        EXPECT_FALSE(sim::GraphNumber(first + 2).live); // the ready spare
        QuitModule();
    }
}

} // namespace
