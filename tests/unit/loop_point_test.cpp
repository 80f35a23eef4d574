// Tunes with an intro: the loop= entry option and where an entry starts when it plays
// again right after itself.
#include <string>
#include <vector>

#include "fixture.h"
#include "platform/media.h"

using ::testing::ElementsAreArray;

namespace {

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
    PlayerState.EntryLoop = 9; // an earlier entry's loop start never carries over
    char name[kNameSize];
    ParseEntry(c.entry, name);
    EXPECT_STREQ(name, "a.mp3");
    EXPECT_EQ(PlayerState.Hosei, c.hosei);
    EXPECT_EQ(PlayerState.EntryBeg, c.beg);
    EXPECT_EQ(PlayerState.EntryEnd, c.end);
    EXPECT_EQ(PlayerState.EntryStop, c.stop);
    EXPECT_EQ(PlayerState.EntryLoop, c.loop);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, LoopOption,
    ::testing::Values(LoopOptionCase{"a.mp3", 0, 0, 0, 0, 0},
                      LoopOptionCase{"a.mp3,beg=1000,end=2000", 0, 1000, 2000, 0, 0},
                      LoopOptionCase{"a.mp3,loop=5000", 0, 0, 0, 0, 5000},
                      LoopOptionCase{"a.mp3,LOOP=5000", 0, 0, 0, 0, 5000},
                      LoopOptionCase{"a.mp3, Loop = 5000", 0, 0, 0, 0, 5000},
                      LoopOptionCase{"a.mp3,loop=\t5000", 0, 0, 0, 0, 5000},
                      LoopOptionCase{"a.mp3,vol=80,loop=5000,beg=1000", 10080, 1000, 0, 0, 5000},
                      LoopOptionCase{"a.mp3,beg=1000,end=2000,loop=3500,stop=1", 0, 1000, 2000, 1,
                                     3500},
                      LoopOptionCase{"a.mp3,loop=3500,vol=-20,end=1000", -20, 0, 1000, 0, 3500},
                      LoopOptionCase{"a.mp3,loops=3500", 0, 0, 0, 0, 0},
                      LoopOptionCase{"a.mp3,loop", 0, 0, 0, 0, 0}));

class LoopPoint : public ModuleTest {};

TEST_F(LoopPoint, SavedListKeepsTheLoopOption) {
    const char* list = "sound\\list.txt";
    sim::AddFile(list, "[orvalin_bgmlist]\r\n[list]\r\nBattle.mp3,beg=2000,LOOP=61500\r\n");
    ASSERT_EQ(ReadPlaylist(list), 1);
    ASSERT_EQ(SaveMusicList(list), 1);
    EXPECT_EQ(sim::FileText(list), "[Orvalin_BGMList]\r\n[List]\r\nbattle.mp3,beg=2000,loop=61500");
}

// How the tune ends before it plays again.
enum class Ending { Natural, NextKey };

struct RepeatCase {
    const char* what;
    const char* settings;
    const char* list;
    double length; // seconds
    Ending ending;
    int ends;
    // Where each play starts: the first play, then one per end.
    std::vector<std::string> starts;
    friend std::ostream& operator<<(std::ostream& os, const RepeatCase& c) { return os << c.what; }
};

class LoopRepeat : public ModuleTest, public ::testing::WithParamInterface<RepeatCase> {};

TEST_P(LoopRepeat, StartsWhereTheRuleSays) {
    const RepeatCase& c = GetParam();
    WriteSettings(std::string("InitRandom=0\r\n") + c.settings);
    sim::AddFile("a.mp3", "");
    sim::AddFile("b.mp3", "");
    sim::AddFile("l.txt", std::string("[orvalin_bgmlist]\r\n[list]\r\n") + c.list);
    sim::SetRenderedDuration(c.length);
    StartQuietly();
    ASSERT_EQ(Module.Play("l.txt"), 0);
    for (int i = 0; i < c.ends; ++i) {
        if (c.ending == Ending::NextKey) {
            sim::PressKey(0x7A); // F11: past the end, and the graph reports the end
        } else {
            platform::put_CurrentPosition(MediaGraph.MediaPosition, 99999.0);
        }
        sim::DeliverToHook(sim::kGameWindow, platform::kWmGraphNotify);
    }
    std::vector<std::string> starts;
    for (const std::string& line : sim::Lines("put_CurrentPosition"))
        if (line != "put_CurrentPosition 99999") starts.push_back(line.substr(20));
    EXPECT_THAT(starts, ElementsAreArray(c.starts));
    EXPECT_TRUE(PlayerState.Playing);
}

INSTANTIATE_TEST_SUITE_P(
    Repeats, LoopRepeat,
    ::testing::Values(
        RepeatCase{"in place at the end",
                   "",
                   "a.mp3,beg=2000,loop=5500\r\n",
                   180,
                   Ending::Natural,
                   2,
                   {"2", "5.5", "5.5"}},
        RepeatCase{"in place at the end trim",
                   "",
                   "a.mp3,end=3000,loop=5500\r\n",
                   180,
                   Ending::Natural,
                   1,
                   {"0", "5.5"}},
        RepeatCase{"in place by the next-tune key",
                   "",
                   "a.mp3,beg=1000,loop=61250\r\n",
                   180,
                   Ending::NextKey,
                   2,
                   {"1", "61.25", "61.25"}},
        RepeatCase{"one-entry list rendered anew",
                   "ChangeSoundOnLoop=1\r\n",
                   "a.mp3,beg=2000,loop=5500\r\n",
                   180,
                   Ending::Natural,
                   2,
                   {"2", "5.5", "5.5"}},
        RepeatCase{"by the next-tune key in a one-entry list",
                   "ChangeSoundOnLoop=1\r\n",
                   "a.mp3,beg=2000,loop=5500\r\n",
                   180,
                   Ending::NextKey,
                   1,
                   {"2", "5.5"}},
        RepeatCase{"another entry between: first play again",
                   "ChangeSoundOnLoop=1\r\nLoopRandom=0\r\n",
                   "a.mp3,beg=2000,loop=5500\r\nb.mp3,beg=1000,loop=3000\r\n",
                   180,
                   Ending::Natural,
                   2,
                   {"2", "1", "2"}},
        RepeatCase{"without the option in place",
                   "",
                   "a.mp3,beg=2000\r\n",
                   180,
                   Ending::Natural,
                   1,
                   {"2", "0"}},
        RepeatCase{"without the option rendered anew",
                   "ChangeSoundOnLoop=1\r\n",
                   "a.mp3,beg=2000\r\n",
                   180,
                   Ending::Natural,
                   1,
                   {"2", "2"}},
        RepeatCase{"just before the stop time",
                   "",
                   "a.mp3,loop=9999\r\n",
                   10,
                   Ending::Natural,
                   1,
                   {"0", "9.999"}},
        RepeatCase{
            "at the stop time", "", "a.mp3,loop=10000\r\n", 10, Ending::Natural, 1, {"0", "0"}},
        RepeatCase{"beyond the trimmed stop time",
                   "",
                   "a.mp3,end=3000,loop=7000\r\n",
                   10,
                   Ending::Natural,
                   1,
                   {"0", "0"}},
        RepeatCase{"beyond the stop time rendered anew",
                   "ChangeSoundOnLoop=1\r\n",
                   "a.mp3,beg=2000,loop=20000\r\n",
                   10,
                   Ending::Natural,
                   1,
                   {"2", "2"}}));

// A random pick that lands on the entry that just ended plays it from its loop start.
TEST_F(LoopPoint, RandomPickOfTheSameEntryStartsAtItsLoop) {
    WriteSettings("InitRandom=0\r\nChangeSoundOnLoop=1\r\nLoopRandom=1\r\n");
    sim::AddFile("a.mp3", "");
    sim::AddFile("b.mp3", "");
    sim::AddFile("l.txt", "[orvalin_bgmlist]\r\n[list]\r\na.mp3,loop=5500\r\nb.mp3\r\n");
    StartQuietly();
    Module.Play("l.txt");
    // A tick count whose two draws both pick entry 0 again.
    uint32_t tick = sim::Now();
    for (;; ++tick) {
        const auto draws = sim::RandSequence(tick, 2);
        if (draws[0] % 2 == 0 && draws[1] % 2 == 0) break;
    }
    sim::SetTickCount(tick);
    sim::ClearHistory();
    AdvanceAfterTune();
    ASSERT_EQ(PlayerState.CurrentEntry, 0);
    EXPECT_THAT(sim::Lines("put_CurrentPosition"), ElementsAreArray({"put_CurrentPosition 5.5"}));
}

} // namespace
