// Play requests and track choice: what a name means, which entry plays first, and what
// follows the end of a tune.
#include <string>
#include <vector>

#include "fixture.h"
#include "platform/system.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class SelectionTest : public ModuleTest {
  protected:
    void Begin(const std::string& settings = "") {
        // The change at a tune's end as made on the game's thread (next_tune_test.cpp has
        // the prepared one).
        WriteSettings("DisplayToWindowText=1\r\n" + settings + "PrepareNextTune=0\r\n");
        for (const char* f : {"a.mp3", "b.mp3", "c.mp3"})
            sim::AddFile(f, "");
        StartQuietly();
    }
    static void AddList(const char* name, const std::string& entries) {
        sim::AddFile(name, "[orvalin_bgmlist]\r\n[list]\r\n" + entries);
    }
    // The index the C runtime's generator gives right now, seeded with the tick count.
    static int RandomIndex(int n, int draw = 0) {
        return sim::RandSequence(sim::Now(), draw + 1)[static_cast<size_t>(draw)] % n;
    }
};

TEST_F(SelectionTest, PlaylistRequestFoldsOnlyTheExtension) {
    Begin("InitRandom=0\r\n");
    AddList("Stage1.TXT", "a.mp3\r\n");
    EXPECT_EQ(Module.Play("Stage1.TXT"), 0);
    EXPECT_EQ(PlayerState.PlayMode, PlaySource::Playlist);
    EXPECT_STREQ(PlayerState.RequestFile, "Stage1.txt");
    EXPECT_STREQ(PlayerState.MediaFile, "a.mp3");
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), "playing : a.mp3");
    EXPECT_THAT(TitleNotice::Queue.Texts,
                Contains(std::string("Using Playlist : \"Stage1.txt\" --- 1 Musics detected")));
}

TEST_F(SelectionTest, SingleFileKeepsItsCaseForTheGraph) {
    Begin();
    sim::AddFile("Battle.MP3", "");
    EXPECT_EQ(Module.Play("Battle.MP3"), 0);
    EXPECT_TRUE(sim::Called("RenderFile Battle.MP3"));
    EXPECT_STREQ(PlayerState.RequestFile, "Battle.mp3");
    EXPECT_STREQ(PlayerState.MediaFile, "Battle.MP3");
    EXPECT_EQ(PlayerState.PlayMode, PlaySource::SingleFile);
    EXPECT_EQ(PlayerState.CurrentEntry, 0);
}

TEST_F(SelectionTest, CallersNameIsNeverChanged) {
    Begin();
    sim::AddFile("Battle.MP3", "");
    const std::string name = "Battle.MP3";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    Module.Play(buffer.data());
    EXPECT_STREQ(buffer.data(), "Battle.MP3");
}

TEST_F(SelectionTest, NamesWithoutAnExtensionAreSingleFiles) {
    Begin();
    sim::AddFile("music", "");
    sim::AddFile(".txt", "not a list");
    EXPECT_EQ(Module.Play("music"), 0);
    EXPECT_TRUE(PlayerState.Playing);
    EXPECT_EQ(Module.Play(".txt"), 0);
    EXPECT_TRUE(sim::Called("RenderFile .txt"));
    EXPECT_EQ(PlayerState.PlayMode, PlaySource::SingleFile);
}

TEST_F(SelectionTest, MissingPlaylistIsRefusedAfterStoppingTheTune) {
    Begin();
    ASSERT_EQ(Module.Play("a.mp3"), 0);
    ASSERT_TRUE(PlayerState.Playing);
    EXPECT_EQ(Module.Play("nothing.txt"), -1);
    EXPECT_FALSE(PlayerState.Playing);
    EXPECT_EQ(PlayerState.PlayMode, PlaySource::SingleFile);
    EXPECT_EQ(PlayerState.Entries.Count(), 0);
    EXPECT_STREQ(PlayerState.RequestFile, "a.mp3"); // the refused request is not recorded
}

TEST_F(SelectionTest, PlaylistWithoutEntriesPlaysNothingButTellsSo) {
    Begin();
    AddList("empty.txt", "");
    EXPECT_EQ(Module.Play("empty.txt"), 0);
    EXPECT_EQ(PlayerState.PlayMode, PlaySource::EmptyPlaylist);
    EXPECT_FALSE(sim::Called("RenderFile"));
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow),
              "Using Playlist : \"empty.txt\" --- 0 Musics detected");
}

TEST_F(SelectionTest, FolderRequestWithoutFilesPlaysTheMarker) {
    Begin("MsgBoxOnError=1\r\n");
    sim::AddFile("bgm\\x.rnd", "");
    EXPECT_EQ(Module.Play("bgm\\x.rnd"), 0);
    EXPECT_EQ(PlayerState.PlayMode, PlaySource::SingleFile);
    EXPECT_TRUE(sim::Called("RenderFile bgm\\x.rnd"));
    for (const auto& title : sim::TitleHistory())
        EXPECT_EQ(title.find("Folder Play Mode"), std::string::npos);
}

TEST_F(SelectionTest, FolderRequestPlaysARandomFile) {
    Begin("InitRandom=0\r\n");
    for (const char* f : {"bgm\\t0.mp3", "bgm\\t1.mp3", "bgm\\t2.mp3", "bgm\\t3.mp3"})
        sim::AddFile(f, "");
    const int expected = RandomIndex(4);
    EXPECT_EQ(Module.Play("bgm\\x.rnd"), 0);
    EXPECT_EQ(PlayerState.PlayMode, PlaySource::Folder);
    EXPECT_EQ(PlayerState.Entries.Count(), 4);
    EXPECT_EQ(PlayerState.CurrentEntry, expected);
    EXPECT_STREQ(PlayerState.MediaFile, PlayerState.Entries[expected]);
    EXPECT_THAT(TitleNotice::Queue.Texts,
                Contains(std::string("Folder Play Mode : \"bgm\\x.rnd\" --- 4 Musics detected")));
}

TEST_F(SelectionTest, FirstEntryOptionsApplyToTheFirstTune) {
    Begin("InitRandom=0\r\n");
    AddList("l.txt", "a.mp3,beg=2000,vol=-20\r\nb.mp3\r\n");
    Module.Play("l.txt");
    EXPECT_THAT(sim::Lines("put_CurrentPosition"), ElementsAre("put_CurrentPosition 2"));
    EXPECT_EQ(PlayerState.Hosei, -20);
    EXPECT_EQ(sim::LastGraph().volume, -320);
}

TEST_F(SelectionTest, ExtraSoundLoopsBesideTheMusic) {
    Begin("InitRandom=0\r\n");
    AddList("l.txt", "a.mp3\r\n[ext]\r\nextsound=rain.wav\r\n");
    Module.Play("l.txt");
    EXPECT_EQ(sim::Sounds(),
              (std::vector<std::pair<std::string, unsigned>>{{"", 0}, {"rain.wav", 0x20009}}));
    EXPECT_LT(sim::Find("RenderFile a.mp3"), sim::Find("PlaySound rain.wav"));
    Module.Play("a.mp3"); // the next request silences it and has none
    EXPECT_EQ(sim::Sounds().back(), (std::pair<std::string, unsigned>{"", 0}));
    EXPECT_STREQ(PlayerState.ExtSound, "");
}

TEST_F(SelectionTest, RequestClearsThePause) {
    Begin();
    PlayerState.Paused = 3;
    Module.Play("a.mp3");
    EXPECT_EQ(Module.IsPaused(), 0);
}

TEST_F(SelectionTest, RequestWaitsForTheExtendedPauseToEnd) {
    Begin();
    PlayerState.ExPauseActive = true;
    platform::StartThread(
        [](void*) -> uint32_t {
            PlayerState.ExPauseActive = false;
            return 0;
        },
        nullptr);
    EXPECT_EQ(Module.Play("a.mp3"), 0);
    EXPECT_EQ(sim::Count("Sleep 10"), 1);
    EXPECT_LT(sim::Find("ThreadEnd"), sim::Find("RenderFile a.mp3"));
}

TEST_F(SelectionTest, DebugBoxNamesRequestAndMedia) {
    Begin("Debug=1\r\nInitRandom=0\r\n");
    AddList("L.TXT", "b.mp3\r\n");
    Module.Play("L.TXT");
    ASSERT_FALSE(sim::Boxes().empty());
    EXPECT_THAT(BoxTexts(), Contains("file = L.txt\nmedia = b.mp3"));
}

TEST_F(SelectionTest, SingleFileLeavesTheEntryTable) {
    Begin("InitRandom=0\r\n");
    AddList("l.txt", "a.mp3\r\nb.mp3\r\n");
    Module.Play("l.txt");
    Module.Play("c.mp3");
    EXPECT_EQ(PlayerState.Entries.Count(), 2);
    EXPECT_STREQ(PlayerState.Entries[1], "b.mp3");
    EXPECT_EQ(PlayerState.PlayMode, PlaySource::SingleFile);
}

struct StartCase {
    int initRandom, rndInitRandom, playMode;
    enum { Random, Fixed, First } expected;
    friend std::ostream& operator<<(std::ostream& os, const StartCase& c) {
        return os << "InitRandom " << c.initRandom << " RndInitRandom " << c.rndInitRandom
                  << " mode " << c.playMode;
    }
};

class StartEntry : public SelectionTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartEntry, ChosenBySettings) {
    const StartCase& c = GetParam();
    PluginSettings.InitRandom = c.initRandom;
    PluginSettings.RndInitRandom = c.rndInitRandom;
    PlayerState.PlayMode = static_cast<PlaySource>(c.playMode);
    FillEntries(10);
    PlayerState.StartupTick = 1234567; // fixed index 7
    sim::SetTickCount(5001);
    const int random = RandomIndex(10);
    ASSERT_NE(random, 7);
    ASSERT_NE(random, 0);
    const int expected = c.expected == StartCase::Random  ? random
                         : c.expected == StartCase::Fixed ? 7
                                                          : 0;
    EXPECT_EQ(ChooseStartEntry(), expected);
    EXPECT_EQ(sim::SeedCalls(), 1);
    EXPECT_EQ(sim::RandomState() != 5001u, c.expected == StartCase::Random);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartEntry,
    ::testing::Values(StartCase{1, 0, 1, StartCase::Random}, StartCase{1, 1, 2, StartCase::Random},
                      StartCase{2, 1, 1, StartCase::Fixed}, StartCase{2, 1, 2, StartCase::Random},
                      StartCase{2, 0, 2, StartCase::Fixed}, StartCase{0, 1, 1, StartCase::First},
                      StartCase{0, 1, 2, StartCase::Random}, StartCase{0, 0, 2, StartCase::First},
                      StartCase{3, 2, 2, StartCase::First}, StartCase{-1, 1, 1, StartCase::First}));

TEST_F(SelectionTest, FixedStartIsTheSameForListsOfTheSameLength) {
    WriteSettings("InitRandom=2\r\n");
    sim::SetTickCount(777773);
    AddList("one.txt", "a.mp3\r\nb.mp3\r\nc.mp3\r\n");
    AddList("two.txt", "c.mp3\r\nb.mp3\r\na.mp3\r\n");
    for (const char* f : {"a.mp3", "b.mp3", "c.mp3"})
        sim::AddFile(f, "");
    StartModule();
    Module.Play("one.txt");
    EXPECT_EQ(PlayerState.CurrentEntry, 777773 % 3);
    sim::SetTickCount(900001);
    Module.Play("two.txt");
    EXPECT_EQ(PlayerState.CurrentEntry, 777773 % 3);
}

// Ends of tunes in a list: which entries follow.
TEST_F(SelectionTest, InOrderTheListWrapsAround) {
    Begin("InitRandom=0\r\nChangeSoundOnLoop=1\r\nLoopRandom=0\r\n");
    AddList("l.txt", "a.mp3\r\nb.mp3\r\nc.mp3\r\n");
    Module.Play("l.txt");
    std::vector<int> order{PlayerState.CurrentEntry};
    for (int i = 0; i < 4; ++i) {
        AdvanceAfterTune();
        order.push_back(PlayerState.CurrentEntry);
    }
    EXPECT_THAT(order, ElementsAre(0, 1, 2, 0, 1));
    EXPECT_THAT(sim::Lines("RenderFile"),
                ElementsAre("RenderFile a.mp3", "RenderFile b.mp3", "RenderFile c.mp3",
                            "RenderFile a.mp3", "RenderFile b.mp3"));
}

TEST_F(SelectionTest, WithoutChangeOnLoopTheSameTuneRestarts) {
    Begin("InitRandom=0\r\nChangeSoundOnLoop=0\r\n");
    AddList("l.txt", "a.mp3,beg=3000\r\nb.mp3\r\n");
    Module.Play("l.txt");
    sim::ClearHistory();
    AdvanceAfterTune();
    AdvanceAfterTune();
    EXPECT_EQ(PlayerState.CurrentEntry, 0);
    EXPECT_THAT(sim::Log(), ElementsAre("put_CurrentPosition 0", "Run", "put_CurrentPosition 0",
                                        "Run")); // the start trim is not applied again
}

TEST_F(SelectionTest, SingleFileRestartsEvenWithChangeOnLoop) {
    Begin("ChangeSoundOnLoop=1\r\n");
    Module.Play("a.mp3");
    sim::ClearHistory();
    AdvanceAfterTune();
    EXPECT_THAT(sim::Log(), ElementsAre("put_CurrentPosition 0", "Run"));
}

TEST_F(SelectionTest, RandomNextDrawsOnceMoreWhenItHitsTheSameEntry) {
    Begin("InitRandom=0\r\nChangeSoundOnLoop=1\r\nLoopRandom=1\r\n");
    AddList("l.txt", "a.mp3\r\nb.mp3\r\nc.mp3\r\n");
    Module.Play("l.txt");
    for (int i = 0; i < 20; ++i) {
        sim::SetTickCount(sim::Now() + 17);
        const int current = PlayerState.CurrentEntry;
        int expected = RandomIndex(3);
        if (expected == current) expected = RandomIndex(3, 1);
        AdvanceAfterTune();
        EXPECT_EQ(PlayerState.CurrentEntry, expected) << i;
    }
}

TEST_F(SelectionTest, OneEntryListPlaysItsEntryAgain) {
    Begin("ChangeSoundOnLoop=1\r\nLoopRandom=1\r\n");
    AddList("l.txt", "a.mp3\r\n");
    Module.Play("l.txt");
    AdvanceAfterTune();
    EXPECT_EQ(sim::Count("RenderFile a.mp3"), 2);
}

TEST_F(SelectionTest, StopOptionEndsListPlayAfterItsTune) {
    Begin("InitRandom=0\r\nChangeSoundOnLoop=1\r\nLoopRandom=0\r\n");
    AddList("l.txt", "a.mp3,stop=1\r\nb.mp3\r\n");
    Module.Play("l.txt");
    sim::ClearHistory();
    AdvanceAfterTune();
    EXPECT_EQ(PlayerState.CurrentEntry, 1);
    EXPECT_FALSE(sim::Called("RenderFile"));
    EXPECT_FALSE(sim::Called("Run"));
}

TEST_F(SelectionTest, StopOptionIsIgnoredWithoutChangeOnLoop) {
    Begin("InitRandom=0\r\nChangeSoundOnLoop=0\r\n");
    AddList("l.txt", "a.mp3,stop=1\r\nb.mp3\r\n");
    Module.Play("l.txt");
    sim::ClearHistory();
    AdvanceAfterTune();
    EXPECT_THAT(sim::Log(), ElementsAre("put_CurrentPosition 0", "Run"));
}

TEST_F(SelectionTest, TuneChangeClickAndNextNameBox) {
    Begin("InitRandom=0\r\nChangeSoundOnLoop=1\r\nLoopRandom=0\r\nBeep=2\r\n");
    AddList("l.txt", "a.mp3\r\nb.mp3,vol=80\r\n");
    Module.Play("l.txt");
    PluginSettings.Debug = 1;
    sim::ClearHistory();
    AdvanceAfterTune();
    EXPECT_EQ(sim::Log()[0], "Sleep 120");
    EXPECT_EQ(sim::Log()[1], "Beep 1000 120");
    ASSERT_GE(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].caption, "Next Music Name");
    EXPECT_EQ(sim::Boxes()[0].text, "b.mp3,vol=80");
    EXPECT_EQ(PlayerState.Hosei, 10080);
}

TEST_F(SelectionTest, MissingNextEntryIsReported) {
    Begin("InitRandom=0\r\nChangeSoundOnLoop=1\r\nLoopRandom=0\r\nMsgBoxOnError=2\r\n");
    AddList("l.txt", "a.mp3\r\ngone.mp3\r\n\r\nc.mp3\r\n");
    Module.Play("l.txt");
    AdvanceAfterTune(); // a missing file
    AdvanceAfterTune(); // an empty entry
    EXPECT_THAT(BoxTexts(), ElementsAre("RenderAndRun Failed", "RenderAndRun Failed"));
    EXPECT_EQ(PlayerState.CurrentEntry, 2);
    EXPECT_FALSE(PlayerState.Playing);
}

TEST_F(SelectionTest, RenderErrorOfTheNextEntryIsNotTheFailureBox) {
    Begin("InitRandom=0\r\nChangeSoundOnLoop=1\r\nLoopRandom=0\r\nMsgBoxOnError=2\r\n");
    AddList("l.txt", "a.mp3\r\nb.mp3\r\n");
    Module.Play("l.txt");
    sim::Script(sim::Op::RenderFile, {static_cast<platform::HResult>(0x80040218u)});
    AdvanceAfterTune(); // -1, not 0
    EXPECT_THAT(sim::Boxes(), IsEmpty());
}
