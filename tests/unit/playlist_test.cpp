// The playlist format: reading a list into the entry table, splitting an entry into
// name and options, and writing the table back.
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"
#include "platform/files.h"
#include "platform/system.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {
constexpr const char* kList = "C:\\Game\\sound\\list.txt";

std::vector<std::string> Entries() {
    return TableNames(PlayerState.Entries);
}
} // namespace

using Playlist = ModuleTest;

struct ReadCase {
    const char* name;
    std::string text;
    ListRefusal refusal;
    std::vector<std::string> entries;
    const char* extSound;
    friend std::ostream& operator<<(std::ostream& os, const ReadCase& c) { return os << c.name; }
};

class ReadPlaylistCase : public ModuleTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadPlaylistCase, Reads) {
    const ReadCase& c = GetParam();
    sim::AddFile(kList, c.text);
    const PlaylistRead read = ReadPlaylist("sound\\list.txt");
    EXPECT_EQ(read.refusal, c.refusal);
    EXPECT_EQ(TableNames(read.entries), c.entries);
    EXPECT_STREQ(read.extSound, c.extSound);
    EXPECT_EQ(sim::OpenFileHandles(), 0);
    EXPECT_THAT(sim::Boxes(), IsEmpty());
}

const std::string kHead = "[orvalin_bgmlist]\r\n[list]\r\n";
constexpr ListRefusal kRead = ListRefusal::None, kRefused = ListRefusal::NotAPlaylist;

INSTANTIATE_TEST_SUITE_P(
    Files, ReadPlaylistCase,
    ::testing::Values(
        ReadCase{"AllocationToolOutput", "[Orvalin_BGMList]\r\n[List]\r\n", kRead, {}, ""},
        ReadCase{"CapitalsAfterSpaces",
                 "  [ORVALIN_BGMLIST]\r\n[LIST]\r\na.mp3\r\nb.mp3\r\n",
                 kRead,
                 {"a.mp3", "b.mp3"},
                 ""},
        ReadCase{
            "FortySixSpaces", std::string(46, ' ') + kHead + "a.mp3\r\n", kRead, {"a.mp3"}, ""},
        ReadCase{"FortySevenSpaces", std::string(47, ' ') + kHead + "a.mp3\r\n", kRefused, {}, ""},
        ReadCase{"TabBeforeHeader", "\t" + kHead + "a.mp3\r\n", kRefused, {}, ""},
        ReadCase{"SpaceAfterHeader", "[orvalin_bgmlist] \r\n[list]\r\na.mp3\r\n", kRefused, {}, ""},
        ReadCase{"ZeroByteAfterHeader",
                 std::string("[orvalin_bgmlist]\0\r\n[list]\r\na\r\n", 31),
                 kRefused,
                 {},
                 ""},
        ReadCase{"BareLineFeeds", "[orvalin_bgmlist]\n[list]\na.mp3\n", kRefused, {}, ""},
        ReadCase{"ByteOrderMark", "\xEF\xBB\xBF" + kHead + "a.mp3\r\n", kRefused, {}, ""},
        ReadCase{"NoHeader", "[list]\r\na.mp3\r\n", kRefused, {}, ""},
        ReadCase{"HeaderOnly", "[orvalin_bgmlist]", kRead, {}, ""},
        ReadCase{"LastLineWithoutEnd", kHead + "a.mp3\r\nb.mp3", kRead, {"a.mp3", "b.mp3"}, ""},
        ReadCase{"OneTrailingBlankLine", kHead + "a.mp3\r\n\r\n", kRead, {"a.mp3"}, ""},
        ReadCase{
            "BlankLineInside", kHead + "a.mp3\r\n\r\nb.mp3\r\n", kRead, {"a.mp3", "", "b.mp3"}, ""},
        ReadCase{"OnlyABlankLine", kHead + "\r\n", kRead, {}, ""},
        ReadCase{"BareLineFeedInsideAnEntry", kHead + "a\nb.mp3\r\n", kRead, {"a\nb.mp3"}, ""},
        ReadCase{"LinesBeforeTheListIgnored",
                 "[orvalin_bgmlist]\r\nnote.mp3\r\n[list]\r\na.mp3\r\n",
                 kRead,
                 {"a.mp3"},
                 ""},
        ReadCase{"ExtAfterList",
                 kHead + "a.mp3\r\n[ext]\r\nextsound=rain.wav\r\n",
                 kRead,
                 {"a.mp3"},
                 "rain.wav"},
        ReadCase{"ExtBeforeList",
                 "[orvalin_bgmlist]\r\n[EXT]\r\nExtSound = rain.wav\r\n[LIST]\r\na.mp3\r\n",
                 kRead,
                 {"a.mp3"},
                 "rain.wav"},
        ReadCase{"ExtWithTabs",
                 kHead + "a.mp3\r\n[ext]\r\n\textsound\t=\tstorm.wav\r\n",
                 kRead,
                 {"a.mp3"},
                 "storm.wav"},
        ReadCase{"ExtValueEndsAtABlank",
                 kHead + "a.mp3\r\n[ext]\r\nextsound=my rain.wav\r\n",
                 kRead,
                 {"a.mp3"},
                 "my"},
        ReadCase{"LastExtKeyCounts",
                 kHead + "a.mp3\r\n[ext]\r\nextsound=one.wav\r\nextsound=two.wav\r\n",
                 kRead,
                 {"a.mp3"},
                 "two.wav"},
        ReadCase{"LettersFolded",
                 kHead + "Battle.MP3,VOL=80\r\nSOUND\\B.Mp3\r\n",
                 kRead,
                 {"battle.mp3,vol=80", "sound\\b.mp3"},
                 ""}));

TEST_F(Playlist, MissingFileIsRefused) {
    EXPECT_EQ(ReadPlaylist("sound\\none.txt").refusal, ListRefusal::Missing);
    FillEntries(4);
    EXPECT_EQ(LoadPlaylist("sound\\none.txt"), 0);
    EXPECT_EQ(PlayerState.Entries.Count(), 0);
    EXPECT_EQ(PlayerState.PlayMode, PlaySource::SingleFile);
}

TEST_F(Playlist, DoubleByteCharactersKeepTheirSecondByte) {
    const std::string text = kHead + "\x83\x41"
                                     "B.MP3\r\n";
    sim::AddFile(kList, text);
    sim::SetCodePage932(true);
    EXPECT_THAT(TableNames(ReadPlaylist(kList).entries), ElementsAre("\x83\x41"
                                                                     "b.mp3"));
    sim::SetCodePage932(false);
    EXPECT_THAT(TableNames(ReadPlaylist(kList).entries), ElementsAre("\x83\x61"
                                                                     "b.mp3"));
}

TEST_F(Playlist, MoreThanTenThousandLinesAreCut) {
    std::string text = kHead;
    for (int i = 0; i <= 10000; ++i)
        text += "t" + std::to_string(i) + ".mp3\r\n";
    sim::AddFile(kList, text);
    PlaylistRead read = ReadPlaylist(kList);
    EXPECT_TRUE(read.Cut());
    EXPECT_EQ(read.entries.Count(), 10000);
    EXPECT_STREQ(read.entries[9999], "t9999.mp3");
    PluginSettings.Beep = -1;
    ASSERT_EQ(UsePlaylist(std::move(read)), 1);
    EXPECT_EQ(sim::Beeps(), (BeepList{{1500, 2000}}));
}

TEST_F(Playlist, ExactlyTenThousandLinesNeedNoCut) {
    std::string text = kHead;
    for (int i = 0; i < 10000; ++i)
        text += "t.mp3\r\n";
    sim::AddFile(kList, text);
    PluginSettings.Beep = 1;
    ASSERT_EQ(LoadPlaylist(kList), 1);
    EXPECT_EQ(PlayerState.Entries.Count(), 10000);
    EXPECT_THAT(sim::Beeps(), IsEmpty());
}

// A list of nearly 4 GiB or more can't be had in memory: it is refused whole, never read
// by the low 32 bits of its size.
TEST_F(Playlist, ListsOfNearly4GiBOrMoreAreRefused) {
    sim::AddFile(kList, kHead + "a.mp3\r\n");
    const uint64_t k4GiB = uint64_t{1} << 32;
    for (const uint64_t size : {k4GiB - 256, k4GiB, k4GiB + 1, k4GiB + 40}) {
        sim::ReportFileSize(kList, size);
        EXPECT_EQ(ReadPlaylist(kList).refusal, ListRefusal::OutOfMemory) << size;
        EXPECT_EQ(LoadPlaylist(kList), 0) << size;
    }
    EXPECT_EQ(BoxTexts(), std::vector<std::string>(4, "Failed to allocate memory."));
    EXPECT_EQ(PlayerState.Entries.Count(), 0);
    EXPECT_EQ(sim::OpenFileHandles(), 0);
    EXPECT_EQ(sim::LiveAllocations(), 0);
}

TEST_F(Playlist, NewTableReplacesTheOld) {
    sim::AddFile(kList, kHead + "a.mp3\r\nb.mp3\r\n");
    ASSERT_EQ(LoadPlaylist(kList), 1);
    ASSERT_EQ(LoadPlaylist(kList), 1);
    EXPECT_EQ(sim::LiveAllocations(), 2); // one table: its text and where each name begins
    sim::AddFile(kList, kHead);
    ASSERT_EQ(LoadPlaylist(kList), 1);
    EXPECT_EQ(PlayerState.PlayMode, PlaySource::EmptyPlaylist);
    EXPECT_EQ(PlayerState.Entries.Count(), 0);
    EXPECT_EQ(sim::LiveAllocations(), 0);
}

TEST_F(Playlist, AllocationFailureIsShownAlways) {
    sim::AddFile(kList, kHead + "a.mp3\r\n");
    for (int nth : {0, 1}) {
        sim::FailAllocation(nth);
        EXPECT_EQ(LoadPlaylist(kList), 0) << nth;
        EXPECT_EQ(sim::LiveAllocations(), 0);
    }
    EXPECT_THAT(BoxTexts(),
                ElementsAre("Failed to allocate memory.", "Failed to allocate memory."));
    EXPECT_EQ(sim::OpenFileHandles(), 0);
}

TEST_F(Playlist, SummaryBoxOnlyAtDebugOne) {
    sim::AddFile(kList, kHead + "a.mp3\r\nb.mp3");
    PluginSettings.Debug = 2;
    ASSERT_EQ(LoadPlaylist(kList), 1);
    EXPECT_THAT(sim::Boxes(), IsEmpty());
    PluginSettings.Debug = 1;
    ASSERT_EQ(LoadPlaylist(kList), 1);
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].caption, "txt info");
    // File size, number of tunes and tunes 1 to 3 under Japanese labels.
    EXPECT_EQ(sim::Boxes()[0].text, "FileSize\x81\x46"
                                    "41\n\x8b\xc8\x90\x94\x81\x46"
                                    "2\n"
                                    "\x8b\xc8"
                                    "1:a.mp3\n\x8b\xc8"
                                    "2:b.mp3\n\x8b\xc8"
                                    "3:\n");
}

struct EntryCase {
    const char* entry;
    const char* name;
    int hosei, beg, end, stop;
    friend std::ostream& operator<<(std::ostream& os, const EntryCase& c) { return os << c.entry; }
};

class ParseEntryCase : public ModuleTest, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(ParseEntryCase, Splits) {
    const EntryCase& c = GetParam();
    const EntrySplit split = ParseEntry(c.entry);
    EXPECT_STREQ(split.name, c.name);
    EXPECT_EQ(split.hosei, c.hosei);
    EXPECT_EQ(split.beg, c.beg);
    EXPECT_EQ(split.end, c.end);
    EXPECT_EQ(split.stop, c.stop);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ParseEntryCase,
    ::testing::Values(EntryCase{"battle.mp3,vol=80", "battle.mp3", 10080, 0, 0, 0},
                      EntryCase{"a.mp3,vol=-15", "a.mp3", -15, 0, 0, 0},
                      EntryCase{"a.mp3,vol=+15", "a.mp3", 15, 0, 0, 0},
                      EntryCase{"a.mp3,beg=15500", "a.mp3", 0, 15500, 0, 0},
                      EntryCase{"a.mp3, stop = 1", "a.mp3", 0, 0, 0, 1},
                      EntryCase{"a.mp3", "a.mp3", 0, 0, 0, 0}, EntryCase{"", "", 0, 0, 0, 0},
                      EntryCase{"battle.mp3,vol=80,beg=15000", "battle.mp3", 10080, 15000, 0, 0},
                      EntryCase{"my song.mp3,end=3000", "my song.mp3", 0, 0, 3000, 0},
                      EntryCase{"a.mp3,begin=1500", "a.mp3", 0, 1500, 0, 0},
                      EntryCase{"a.mp3,beg=\t\t2000", "a.mp3", 0, 2000, 0, 0},
                      EntryCase{"a.mp3,beg=1000,end=2000,stop=1", "a.mp3", 0, 1000, 2000, 1},
                      EntryCase{"a.mp3,,vol=50", "a.mp3", 10050, 0, 0, 0},
                      EntryCase{"a.mp3,vol=", "a.mp3", 10000, 0, 0, 0},
                      EntryCase{"a.mp3,vol=80,vol=5", "a.mp3", 10805, 0, 0, 0},
                      EntryCase{"a.mp3,x", "a.mp3", 0, 0, 0, 0},
                      EntryCase{"a.mp3,beg", "a.mp3", 0, 0, 0, 0}));

// Playing an entry shows its split and sets its options, none carried over from before.
TEST_F(Playlist, EntryForPlayingShowsItsSplit) {
    PluginSettings.Debug = 3;
    PlayerState.EntryStop = 9;
    PlayerState.EntryLoop = 9;
    char name[kNameSize];
    UseEntry("a.mp3,vol=-15", name);
    EXPECT_STREQ(name, "a.mp3");
    EXPECT_EQ(PlayerState.Hosei, -15);
    EXPECT_EQ(PlayerState.EntryStop, 0);
    EXPECT_EQ(PlayerState.EntryLoop, 0);
    std::vector<std::string> captions;
    for (const auto& box : sim::Boxes())
        captions.push_back(box.caption);
    EXPECT_THAT(captions,
                ElementsAre("Input", "Return String", "Additional String", "HoseiVolume"));
    EXPECT_THAT(BoxTexts(),
                ElementsAre("a.mp3,vol=-15", "a.mp3", "vol=-15", "Hoseivolume=-15\n(volvalue=15)"));
}

TEST_F(Playlist, SaveWritesHeaderAndEntriesExactly) {
    sim::AddFile(kList, "[orvalin_bgmlist]\r\n[LIST]\r\nBattle.MP3,VOL=80\r\n\r\nb.mp3\r\n"
                        "[EXT]\r\nextsound=rain.wav\r\n");
    ASSERT_EQ(LoadPlaylist(kList), 1);
    EXPECT_EQ(SaveMusicList(kList), 1);
    EXPECT_EQ(sim::FileText(kList),
              "[Orvalin_BGMList]\r\n[List]\r\nbattle.mp3,vol=80\r\n\r\nb.mp3\r\n[EXT]\r\n"
              "extsound=rain.wav");
    EXPECT_EQ(sim::OpenFileHandles(), 0);
    EXPECT_EQ(sim::LiveAllocations(), 2); // the table only
    EXPECT_THAT(sim::ListFolder("sound"), ElementsAre("list.txt"));
}

TEST_F(Playlist, SavedListReadsBackTheSame) {
    sim::AddFile(kList, kHead + "a.mp3,beg=1000\r\nb.mp3\r\n");
    ASSERT_EQ(LoadPlaylist(kList), 1);
    ASSERT_EQ(SaveMusicList(kList), 1);
    ASSERT_EQ(LoadPlaylist(kList), 1);
    EXPECT_THAT(Entries(), ElementsAre("a.mp3,beg=1000", "b.mp3"));
}

TEST_F(Playlist, SaveWithoutEntriesWritesNothing) {
    EXPECT_EQ(SaveMusicList(kList), 0);
    EXPECT_FALSE(sim::HasFile(kList));
}

TEST_F(Playlist, FailedWriteReturnsZeroAndKeepsTheErrorCode) {
    sim::AddFile(kList, kHead + "a.mp3\r\nb.mp3\r\n");
    ASSERT_EQ(LoadPlaylist(kList), 1);
    sim::FailWritesAfter(10);
    EXPECT_EQ(SaveMusicList(kList), 0);
    EXPECT_EQ(platform::GetLastError(), sim::kErrorDiskFull);
    EXPECT_EQ(sim::OpenFileHandles(), 0);
    EXPECT_EQ(sim::LiveAllocations(), 2);
    // The user's list is untouched and no half-written file is left beside it.
    EXPECT_EQ(sim::FileText(kList), kHead + "a.mp3\r\nb.mp3\r\n");
    EXPECT_THAT(sim::ListFolder("sound"), ElementsAre("list.txt"));
}

TEST_F(Playlist, ListThatCannotBeReplacedIsKept) {
    sim::AddFile(kList, kHead + "a.mp3\r\n");
    ASSERT_EQ(LoadPlaylist(kList), 1);
    sim::SetReadOnly(kList);
    EXPECT_EQ(SaveMusicList(kList), 0);
    EXPECT_EQ(sim::FileText(kList), kHead + "a.mp3\r\n");
    EXPECT_THAT(sim::ListFolder("sound"), ElementsAre("list.txt"));
}

TEST_F(Playlist, OverlongLinesAreCutToTheirSlot) {
    const std::string longName(400, 'a');
    sim::AddFile(kList, kHead + longName + "\r\nextsound\r\n[EXT]\r\nextsound=" +
                            std::string(300, 'w') + ".wav\r\n");
    ASSERT_EQ(LoadPlaylist(kList), 1);
    EXPECT_THAT(Entries(), ElementsAre(std::string(255, 'a'), "extsound"));
    EXPECT_EQ(std::strlen(PlayerState.ExtSound), 255u);

    const std::string entry =
        std::string(300, 'n') + ",beg=1000," + std::string(300, ' ') + "end=2000";
    const EntrySplit split = ParseEntry(entry.c_str());
    EXPECT_EQ(std::string(split.name), std::string(255, 'n'));
    EXPECT_EQ(split.beg, 1000);
    EXPECT_EQ(split.end, 2000); // blanks in the options take no room
}

TEST_F(Playlist, HugeOptionNumbersSaturate) {
    const struct {
        const char* entry;
        int hosei, beg, end, stop;
    } cases[] = {
        {"a.mp3,vol=99999999999999999999", INT32_MAX, 0, 0, 0},
        {"a.mp3,vol=-99999999999999999999", -INT32_MAX, 0, 0, 0},
        {"a.mp3,vol=+12345678901234567890", INT32_MAX, 0, 0, 0},
        {"a.mp3,beg=12345678901234567890,end=98765432109876543210,stop=11111111111111111111", 0,
         INT32_MAX, INT32_MAX, INT32_MAX},
        {"a.mp3,vol=2147483647", INT32_MAX, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const EntrySplit split = ParseEntry(c.entry);
        EXPECT_EQ(split.hosei, c.hosei) << c.entry;
        EXPECT_EQ(split.beg, c.beg) << c.entry;
        EXPECT_EQ(split.end, c.end) << c.entry;
        EXPECT_EQ(split.stop, c.stop) << c.entry;
    }
}

TEST_F(Playlist, ListThatCannotBeCreatedIsNotSaved) {
    sim::AddFile(kList, kHead + "a.mp3\r\n");
    ASSERT_EQ(LoadPlaylist(kList), 1);
    EXPECT_EQ(SaveMusicList("nofolder\\list.txt"), 0);
    EXPECT_EQ(sim::OpenFileHandles(), 0);
}

struct AutosaveCase {
    int setting;
    int answer; // to the question, when asked
    bool asked, saved;
    friend std::ostream& operator<<(std::ostream& os, const AutosaveCase& c) {
        return os << "AutosaveTxtFile " << c.setting << " answer " << c.answer;
    }
};

class Autosave : public ModuleTest, public ::testing::WithParamInterface<AutosaveCase> {};

TEST_P(Autosave, ModifiedListAtStop) {
    const AutosaveCase& c = GetParam();
    sim::AddFile(kList, kHead + "a.mp3\r\n");
    ASSERT_EQ(LoadPlaylist(kList), 1);
    std::strcpy(PlayerState.ModifiedList, kList);
    FillEntries(1, "changed.mp3");
    PlayerState.ListModified = true;
    PlayerState.HostThreadId = sim::kHostThreadId;
    PluginSettings.AutosaveTxtFile = c.setting;
    sim::AnswerBoxes({c.answer});
    SaveIfModified();
    EXPECT_EQ(sim::Boxes().size(), c.asked ? 1u : 0u);
    if (c.asked) {
        EXPECT_EQ(sim::Boxes()[0].text, "MusicList has been modified. Overwrite it?");
        EXPECT_EQ(sim::Boxes()[0].flags, platform::kMbYesNo);
        EXPECT_EQ(sim::Boxes()[0].caption, "OrvalinMUGENBGM");
    }
    EXPECT_EQ(sim::FileText(kList) == "[Orvalin_BGMList]\r\n[List]\r\nchanged.mp3", c.saved);
    EXPECT_FALSE(PlayerState.ListModified);
}

INSTANTIATE_TEST_SUITE_P(Settings, Autosave,
                         ::testing::Values(AutosaveCase{1, platform::kIdNo, false, true},
                                           AutosaveCase{-1, platform::kIdYes, true, true},
                                           AutosaveCase{-1, platform::kIdNo, true, false},
                                           AutosaveCase{0, platform::kIdYes, false, false},
                                           AutosaveCase{2, platform::kIdYes, false, false}));

TEST_F(Playlist, ModifiedListWaitsForTheHostThread) {
    sim::AddFile(kList, kHead + "a.mp3\r\n");
    ASSERT_EQ(LoadPlaylist(kList), 1);
    PlayerState.ListModified = true;
    PlayerState.HostThreadId = sim::kHostThreadId;
    sim::SetCurrentThreadId(2001);
    SaveIfModified();
    EXPECT_TRUE(PlayerState.ListModified);
    EXPECT_FALSE(sim::Called("WriteFile"));
}

TEST_F(Playlist, UnmodifiedListIsLeftAlone) {
    PlayerState.HostThreadId = sim::kHostThreadId;
    SaveIfModified();
    EXPECT_THAT(sim::Log(), IsEmpty());
}
