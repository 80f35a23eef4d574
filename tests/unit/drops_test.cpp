// Files dropped on the game window join the current playlist: names relative to the
// host's folder, duplicates skipped, a notice, and the list written now or at the stop.
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {
constexpr const char* kList = "C:\\Game\\sound\\stage.txt";
const std::string kFive = "a.mp3\r\nb.mp3\r\nc.mp3\r\nd.mp3\r\ne.mp3\r\n";
const std::vector<std::string> kFiveEntries = {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"};
const std::string kDefaultHost = "C:\\Game\\host.exe";

std::vector<std::string> Entries() {
    std::vector<std::string> out;
    for (int i = 0; i < PlayerState.EntryCount; ++i)
        out.emplace_back(PlayerState.Entries[i]);
    return out;
}
// A name of exactly `n` bytes outside the host's folder.
std::string NameOfLength(size_t n) {
    return "D:\\" + std::string(n - 3, 'm');
}
// The host program's path of exactly `n` bytes, in C:\Game.
std::string HostOfLength(size_t n) {
    return "C:\\Game\\" + std::string(n - 12, 'h') + ".exe";
}
std::vector<std::string> Plus(std::vector<std::string> list, const std::vector<std::string>& more) {
    list.insert(list.end(), more.begin(), more.end());
    return list;
}
} // namespace

class DropTest : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        PluginSettings.DisplayToWindowText = 1;
        PlayerState.HostThreadId = sim::kHostThreadId;
    }
    // The playlist holding these lines, read as the current request (its table full).
    static void ReadList(const std::string& lines) {
        sim::AddFile(kList, "[orvalin_bgmlist]\r\n[list]\r\n" + lines);
        ASSERT_EQ(ReadPlaylist(kList), 1);
        std::strcpy(PlayerState.RequestFile, kList);
    }
    // Drops the names and checks that the drop was released exactly once.
    static void Drop(const std::vector<std::string>& names) {
        const uintptr_t drop = sim::MakeDrop(names);
        AddDroppedFiles(drop);
        EXPECT_TRUE(sim::DropFinished(drop));
        EXPECT_EQ(sim::Count("DragFinish"), 1);
    }
    static std::string Title() { return sim::WindowTitle(sim::kGameWindow); }
};

struct DropCase {
    const char* name;
    std::string list;
    std::vector<std::string> dropped;
    std::vector<std::string> entries; // afterwards
    const char* notice;
    std::string host = kDefaultHost;
    int debug = 0;
    std::vector<std::string> toAdd = {}; // "To Add" boxes
    friend std::ostream& operator<<(std::ostream& os, const DropCase& c) { return os << c.name; }
};

class DropOnList : public DropTest, public ::testing::WithParamInterface<DropCase> {};

TEST_P(DropOnList, AddsNewNames) {
    const DropCase& c = GetParam();
    sim::SetHostProgramPath(c.host);
    PluginSettings.Debug = c.debug;
    ReadList(c.list);
    const int before = PlayerState.EntryCount;
    std::strcpy(PlayerState.MediaFile, "a.mp3");
    sim::ClearHistory();
    Drop(c.dropped);
    EXPECT_EQ(Entries(), c.entries);
    EXPECT_EQ(Title(), c.notice);
    EXPECT_EQ(PlayerState.ListModified, PlayerState.EntryCount > before);
    EXPECT_EQ(BoxTexts(), c.toAdd);
    for (const auto& box : sim::Boxes())
        EXPECT_EQ(box.caption, "To Add");
    EXPECT_TRUE(sim::Called("BringWindowToFront"));
    EXPECT_STREQ(PlayerState.MediaFile, "");
    // The additions wait in memory for the next stop.
    EXPECT_EQ(sim::FileText(kList), "[orvalin_bgmlist]\r\n[list]\r\n" + c.list);
    EXPECT_EQ(PlayerState.PlayMode, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Drops, DropOnList,
    ::testing::Values(
        DropCase{"TwoNewFilesOnFive",
                 kFive,
                 {"C:\\Game\\sound\\x.mp3", "C:\\Game\\sound\\y.mp3"},
                 Plus(kFiveEntries, {"sound\\x.mp3", "sound\\y.mp3"}),
                 "2 Files Added"},
        DropCase{"OneNewFile",
                 kFive,
                 {"C:\\Game\\f.mp3"},
                 Plus(kFiveEntries, {"f.mp3"}),
                 "1 File Added"},
        DropCase{"FileAlreadyListed", kFive, {"C:\\Game\\c.mp3"}, kFiveEntries, "0 Files Added"},
        DropCase{"PrefixOfAnEntryCountsAsListed",
                 "battle.mp3,vol=80\r\n",
                 {"C:\\Game\\battle.mp3", "C:\\Game\\bat"},
                 {"battle.mp3,vol=80"},
                 "0 Files Added"},
        DropCase{"CapitalsAreNotTheirFoldedTwin",
                 "sound\\a.mp3\r\n",
                 {"C:\\Game\\Sound\\A.mp3"},
                 {"sound\\a.mp3", "Sound\\A.mp3"},
                 "1 File Added"},
        DropCase{"OutsideTheHostFolderKeepsTheFullPath",
                 kFive,
                 {"D:\\Music\\b.mp3"},
                 Plus(kFiveEntries, {"D:\\Music\\b.mp3"}),
                 "1 File Added"},
        DropCase{"HostFolderMatchedByteForByte",
                 kFive,
                 {"c:\\game\\g.mp3"},
                 Plus(kFiveEntries, {"c:\\game\\g.mp3"}),
                 "1 File Added"},
        DropCase{"SameFileTwiceInOneDrop",
                 kFive,
                 {"C:\\Game\\g.mp3", "C:\\Game\\g.mp3"},
                 Plus(kFiveEntries, {"g.mp3"}),
                 "1 File Added"},
        DropCase{"NamesOf255Then256And4096Bytes",
                 kFive,
                 {NameOfLength(255), NameOfLength(256), NameOfLength(4096)},
                 Plus(kFiveEntries, {NameOfLength(255)}),
                 "1 File Added"},
        DropCase{"HostPathOf255Bytes",
                 kFive,
                 {"C:\\Game\\g.mp3"},
                 Plus(kFiveEntries, {"g.mp3"}),
                 "1 File Added",
                 HostOfLength(255)},
        DropCase{"HostPathOf256BytesLeavesNamesWhole",
                 kFive,
                 {"C:\\Game\\g.mp3"},
                 Plus(kFiveEntries, {"C:\\Game\\g.mp3"}),
                 "1 File Added",
                 HostOfLength(256)},
        DropCase{"DebugShowsEachAddition",
                 kFive,
                 {"C:\\Game\\x.mp3", "C:\\Game\\a.mp3", "C:\\Game\\y.mp3"},
                 Plus(kFiveEntries, {"x.mp3", "y.mp3"}),
                 "2 Files Added",
                 kDefaultHost,
                 1,
                 {"x.mp3", "y.mp3"}}));

struct RefusedCase {
    const char* name;
    int playMode;
    friend std::ostream& operator<<(std::ostream& os, const RefusedCase& c) { return os << c.name; }
};

class DropRefused : public DropTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(DropRefused, OnlyTheNotice) {
    ReadList(kFive);
    PlayerState.PlayMode = GetParam().playMode;
    std::strcpy(PlayerState.MediaFile, "a.mp3");
    sim::ClearHistory();
    Drop({"C:\\Game\\x.mp3"});
    EXPECT_EQ(Title(), "Current Music is not txt Format.");
    EXPECT_EQ(Entries(), kFiveEntries);
    EXPECT_FALSE(PlayerState.ListModified);
    EXPECT_FALSE(sim::Called("DragQueryFile"));
    EXPECT_FALSE(sim::Called("BringWindowToFront"));
    EXPECT_STREQ(PlayerState.MediaFile, "a.mp3");
}

INSTANTIATE_TEST_SUITE_P(Requests, DropRefused,
                         ::testing::Values(RefusedCase{"SingleFile", 0},
                                           RefusedCase{"FolderPlay", 2}));

TEST_F(DropTest, ThirtyFilesOnAFullTableGrowItWithTwentySpare) {
    ReadList(kFive);
    ASSERT_EQ(PlayerState.EntryCapacity, 5);
    std::vector<std::string> dropped, added;
    for (int i = 0; i < 30; ++i) {
        dropped.push_back("C:\\Game\\sound\\t" + std::to_string(i) + ".mp3");
        added.push_back("sound\\t" + std::to_string(i) + ".mp3");
    }
    Drop(dropped);
    EXPECT_EQ(Entries(), Plus(kFiveEntries, added));
    EXPECT_EQ(PlayerState.EntryCapacity, 55);
    EXPECT_EQ(Title(), "30 Files Added");
    EXPECT_EQ(sim::LiveAllocations(), 1); // the old table was given back
}

TEST_F(DropTest, TableThatCannotGrowAddsNothing) {
    ReadList(kFive);
    sim::FailAllocation();
    Drop({"C:\\Game\\x.mp3"});
    EXPECT_EQ(Entries(), kFiveEntries);
    EXPECT_THAT(BoxTexts(), ElementsAre("Failed to allocate memory."));
    EXPECT_EQ(Title(), "0 Files Added");
    EXPECT_FALSE(PlayerState.ListModified);
}

// A list without entries is written at once; the last dropped file then plays alone.
struct EmptyListCase {
    int autosave;
    bool asked; // by the stop that ends the list
    friend std::ostream& operator<<(std::ostream& os, const EmptyListCase& c) {
        return os << "AutosaveTxtFile " << c.autosave;
    }
};

class DropOnEmptyList : public DropTest, public ::testing::WithParamInterface<EmptyListCase> {};

TEST_P(DropOnEmptyList, WritesTheListAndPlaysTheLastFile) {
    const EmptyListCase& c = GetParam();
    WriteSettings("DisplayToWindowText=1\r\nAutosaveTxtFile=" + std::to_string(c.autosave) +
                  "\r\n");
    sim::AddFile("sound\\stage.txt", "[Orvalin_BGMList]\r\n[List]\r\n");
    sim::AddFile("sound\\x.mp3", "");
    sim::AddFile("sound\\y.mp3", "");
    StartQuietly();
    ASSERT_EQ(Module.Play("sound\\stage.txt"), 0);
    ASSERT_EQ(PlayerState.PlayMode, -1);
    sim::ClearHistory();
    sim::AnswerBoxes({platform::kIdNo});
    Drop({"C:\\Game\\sound\\x.mp3", "C:\\Game\\sound\\y.mp3", "C:\\Game\\sound\\x.mp3"});
    EXPECT_EQ(sim::FileText("sound\\stage.txt"),
              "[Orvalin_BGMList]\r\n[List]\r\nsound\\x.mp3\r\nsound\\y.mp3");
    const int written = sim::Find("WriteFile");
    const int stopped = sim::Find("Stop", written);
    ASSERT_GE(written, 0);
    ASSERT_GT(stopped, written);
    // The last file read plays, even though it was a duplicate.
    EXPECT_GT(sim::Find("RenderFile sound\\x.mp3", stopped), stopped);
    EXPECT_EQ(PlayerState.PlayMode, 0);
    EXPECT_STREQ(PlayerState.RequestFile, "sound\\x.mp3");
    EXPECT_FALSE(PlayerState.ListModified);
    EXPECT_EQ(sim::Count("MessageBox OrvalinMUGENBGM|MusicList has been modified. Overwrite it?"),
              c.asked ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Settings, DropOnEmptyList,
                         ::testing::Values(EmptyListCase{1, false}, EmptyListCase{-1, true},
                                           EmptyListCase{0, false}));

TEST_F(DropTest, EmptyListGainingNothingStaysAsItIs) {
    ReadList("");
    ASSERT_EQ(PlayerState.PlayMode, -1);
    sim::SetHostProgramPath(HostOfLength(300));
    Drop({NameOfLength(300)});
    EXPECT_EQ(Title(), "0 Files Added");
    EXPECT_EQ(sim::FileText(kList), "[orvalin_bgmlist]\r\n[list]\r\n");
    EXPECT_FALSE(sim::Called("RenderFile"));
}

// The list is written back with its extra sound after the entries.
struct SaveCase {
    const char* name;
    std::string file;
    std::string saved;
    friend std::ostream& operator<<(std::ostream& os, const SaveCase& c) { return os << c.name; }
};

class SaveAfterDrop : public DropTest, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(SaveAfterDrop, WritesTheseBytes) {
    const SaveCase& c = GetParam();
    sim::AddFile(kList, c.file);
    ASSERT_EQ(ReadPlaylist(kList), 1);
    std::strcpy(PlayerState.RequestFile, kList);
    Drop({"C:\\Game\\new.mp3"});
    SaveIfModified();
    EXPECT_EQ(sim::FileText(kList), c.saved);
    EXPECT_THAT(sim::ListFolder("sound"), ElementsAre("stage.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Lists, SaveAfterDrop,
    ::testing::Values(
        SaveCase{"NoExtraSound", "[orvalin_bgmlist]\r\n[list]\r\na.mp3\r\n",
                 "[Orvalin_BGMList]\r\n[List]\r\na.mp3\r\nnew.mp3"},
        SaveCase{"ExtraSoundAfterTheList",
                 "[orvalin_bgmlist]\r\n[list]\r\na.mp3\r\n[ext]\r\nextsound = rain.wav\r\n",
                 "[Orvalin_BGMList]\r\n[List]\r\na.mp3\r\nnew.mp3\r\n[EXT]\r\nextsound=rain.wav"},
        SaveCase{
            "ExtraSoundBeforeTheList",
            "[orvalin_bgmlist]\r\n[EXT]\r\nExtSound=Storm.WAV\r\n[LIST]\r\na.mp3",
            "[Orvalin_BGMList]\r\n[List]\r\na.mp3\r\nnew.mp3\r\n[EXT]\r\nextsound=Storm.WAV"}));
