// Folder play: the music files beside a .rnd marker become the entry table.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {
std::vector<std::string> Entries(int count) {
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i)
        out.emplace_back(PlayerState.Entries[i]);
    return out;
}
} // namespace

using FolderScan = ModuleTest;

TEST_F(FolderScan, SearchesEachExtensionInTurn) {
    sim::AddFile("sound\\bgm\\a.mp3", "");
    sim::AddFile("sound\\bgm\\b.wma", "");
    sim::AddFile("sound\\bgm\\c.MP3", "");
    sim::AddFile("sound\\bgm\\d.ogg", "");
    const int found = FindMusic("sound\\bgm\\random.rnd");
    EXPECT_EQ(found, 3);
    EXPECT_THAT(Entries(found),
                ElementsAre("sound\\bgm\\a.mp3", "sound\\bgm\\c.MP3", "sound\\bgm\\b.wma"));
    EXPECT_THAT(sim::Lines("FindFirstFile"),
                ElementsAre("FindFirstFile sound\\bgm\\*.mp3", "FindFirstFile sound\\bgm\\*.wma"));
    EXPECT_EQ(sim::OpenSearches(), 0);
    EXPECT_FALSE(sim::Called("OpenFileForRead")); // the marker is never opened
}

TEST_F(FolderScan, ForwardSlashesBecomeBackslashes) {
    sim::AddFile("sound\\bgm\\a.mp3", "");
    ASSERT_EQ(FindMusic("sound/bgm/random.rnd"), 1);
    EXPECT_THAT(sim::Lines("FindFirstFile"),
                ::testing::Contains("FindFirstFile sound\\bgm\\*.mp3"));
    EXPECT_STREQ(PlayerState.Entries[0], "sound\\bgm\\a.mp3");
}

// In code page 932 "\x95\x5C" and "\x83\x5C" are one character each, whose second byte
// has the backslash's value: the marker's folder ends at a separator between characters.
TEST_F(FolderScan, MarkerIsCutBetweenCharacters) {
    const std::string kanji = "\x95\x5C", kana = "\x83\x5C";
    sim::SetCodePage932(true);
    sim::AddFile("sound\\" + kanji + "\\a.mp3", "");
    sim::AddFile("sound\\" + kana + ".mp3", "");
    const struct {
        std::string request, folder;
    } cases[] = {
        {"sound\\" + kanji + "\\random.rnd", "sound\\" + kanji},
        {"sound\\" + kanji + "\\" + kanji + ".rnd", "sound\\" + kanji},
        {"sound/" + kanji + "/" + kana + ".rnd", "sound\\" + kanji},
        {"sound\\" + kana + ".rnd", "sound"},
    };
    for (const auto& c : cases) {
        sim::ClearHistory();
        const int found = FindMusic(c.request.c_str());
        EXPECT_THAT(sim::Lines("FindFirstFile"),
                    ElementsAre("FindFirstFile " + c.folder + "\\*.mp3",
                                "FindFirstFile " + c.folder + "\\*.wma"))
            << c.request;
        const std::string file = c.folder == "sound" ? kana + ".mp3" : "a.mp3";
        EXPECT_THAT(Entries(found), ElementsAre(c.folder + "\\" + file)) << c.request;
    }
}

TEST_F(FolderScan, NameWithoutFolderStopsAtThePathError) {
    sim::AddFile("a.mp3", "");
    PluginSettings.Debug = 1;
    EXPECT_EQ(FindMusic("random.rnd"), 0);
    EXPECT_THAT(sim::Lines("FindFirstFile"), ElementsAre("FindFirstFile random.rnd\\*.mp3"));
    ASSERT_EQ(sim::Boxes().size(), 2u);
    EXPECT_EQ(sim::Boxes()[0].caption, "To Find");
    EXPECT_EQ(sim::Boxes()[1].caption, "Error Message");
    EXPECT_EQ(sim::Boxes()[1].text, "FindMusic ERROR\n\nErrorExt = mp3\nErrorCode = 3");
}

TEST_F(FolderScan, PathErrorIsShownOnlyWithDebug) {
    EXPECT_EQ(FindMusic("missing\\random.rnd"), 0);
    EXPECT_THAT(sim::Boxes(), IsEmpty());
    EXPECT_EQ(sim::Count("FindFirstFile"), 1);
}

TEST_F(FolderScan, SettingsNameTheExtensions) {
    sim::AddFile("sound\\bgm\\a.mp3", "");
    sim::AddFile("sound\\bgm\\b.flac", "");
    sim::AddFile("sound\\bgm\\c.wma", "");
    std::strcpy(PluginSettings.RndMusicExt[1], "flac");
    std::strcpy(PluginSettings.RndMusicExt[2], "MP3"); // listed twice
    const int found = FindMusic("sound\\bgm\\x.rnd");
    EXPECT_THAT(Entries(found),
                ElementsAre("sound\\bgm\\a.mp3", "sound\\bgm\\b.flac", "sound\\bgm\\a.mp3"));
}

TEST_F(FolderScan, EmptyExtensionsAreSkipped) {
    sim::AddFile("sound\\bgm\\a.mp3", "");
    PluginSettings.RndMusicExt[0][0] = '\0';
    PluginSettings.RndMusicExt[1][0] = '\0';
    EXPECT_EQ(FindMusic("sound\\bgm\\x.rnd"), 0);
    EXPECT_FALSE(sim::Called("FindFirstFile"));
}

TEST_F(FolderScan, MatchingFoldersAreListedToo) {
    sim::AddFolder("sound\\bgm\\old.mp3");
    EXPECT_EQ(FindMusic("sound\\bgm\\x.rnd"), 1);
    EXPECT_STREQ(PlayerState.Entries[0], "sound\\bgm\\old.mp3");
}

TEST_F(FolderScan, TableGrowsByTwentySlots) {
    for (int i = 0; i < 41; ++i)
        sim::AddFile("bgm\\t" + std::to_string(i) + ".mp3", "");
    const int found = FindMusic("bgm\\x.rnd");
    EXPECT_EQ(found, 41);
    EXPECT_EQ(PlayerState.EntryCapacity, 60);
    EXPECT_STREQ(PlayerState.Entries[0], "bgm\\t0.mp3");
    EXPECT_STREQ(PlayerState.Entries[40], "bgm\\t40.mp3");
    EXPECT_EQ(sim::LiveAllocations(), 1);
}

// However the memory behind it grows, the table shows the capacity and entries of one grown
// by twenty slots; when the larger memory can't be had, the scan gets by with less.
TEST_F(FolderScan, ManyFilesKeepTheTwentySlotCapacity) {
    struct Case {
        int files;
        int failing; // the allocation from the scan's start that fails, or -1
        int capacity;
    };
    for (const Case c : {Case{1001, -1, 1020}, Case{61, 1, 80}, Case{41, 2, 60}}) {
        sim::Reset();
        char name[32];
        for (int i = 0; i < c.files; ++i) {
            std::snprintf(name, sizeof name, "bgm\\t%04d.mp3", i);
            sim::AddFile(name, "");
        }
        if (c.failing >= 0) sim::FailAllocation(c.failing);
        ASSERT_EQ(FindMusic("bgm\\x.rnd"), c.files) << c.files;
        EXPECT_EQ(PlayerState.EntryCapacity, c.capacity) << c.files;
        for (int i = 0; i < c.files; ++i) {
            std::snprintf(name, sizeof name, "bgm\\t%04d.mp3", i);
            ASSERT_STREQ(PlayerState.Entries[i], name) << c.files;
        }
        EXPECT_EQ(sim::LiveAllocations(), 1) << c.files;
        FreeEntryTable();
    }
}

TEST_F(FolderScan, FortyFilesFitTheFirstTable) {
    for (int i = 0; i < 40; ++i)
        sim::AddFile("bgm\\t" + std::to_string(i) + ".mp3", "");
    EXPECT_EQ(FindMusic("bgm\\x.rnd"), 40);
    EXPECT_EQ(PlayerState.EntryCapacity, 40);
}

TEST_F(FolderScan, NoMatchingFileIsSilent) {
    sim::AddFile("sound\\bgm\\a.ogg", "");
    PluginSettings.Debug = 1;
    PluginSettings.Beep = 1;
    EXPECT_EQ(FindMusic("sound\\bgm\\x.rnd"), 0);
    for (const auto& box : sim::Boxes())
        EXPECT_EQ(box.caption, "To Find");
    EXPECT_THAT(sim::Beeps(), IsEmpty());
    EXPECT_EQ(PlayerState.EntryCapacity, 40);
}

TEST_F(FolderScan, EnumerationErrorBeepsAndKeepsWhatWasFound) {
    sim::AddFile("bgm\\a.mp3", "");
    sim::AddFile("bgm\\b.mp3", "");
    sim::AddFile("bgm\\c.wma", "");
    sim::SetSearchEndError(sim::kErrorAccessDenied);
    PluginSettings.Beep = 1;
    EXPECT_EQ(FindMusic("bgm\\x.rnd"), 3);
    EXPECT_EQ(sim::Beeps(), (BeepList{{1400, 200}, {500, 800}}));
    EXPECT_EQ(sim::OpenSearches(), 0);
}

TEST_F(FolderScan, AddedBoxesByDebugLevel) {
    sim::AddFile("bgm\\a.mp3", "");
    sim::AddFile("bgm\\b.mp3", "");
    for (int debug : {1, 2}) {
        sim::ClearHistory();
        PluginSettings.Debug = debug;
        FindMusic("bgm\\x.rnd");
        std::vector<std::string> added;
        for (const auto& box : sim::Boxes())
            if (box.caption == "Added") added.push_back(box.text);
        if (debug == 1)
            EXPECT_THAT(added, ElementsAre("a.mp3"));
        else
            EXPECT_THAT(added, ElementsAre("a.mp3", "b.mp3"));
    }
}

TEST_F(FolderScan, RescanReplacesTheTable) {
    sim::AddFile("bgm\\a.mp3", "");
    ASSERT_EQ(FindMusic("bgm\\x.rnd"), 1);
    sim::AddFile("bgm\\b.mp3", "");
    ASSERT_EQ(FindMusic("bgm\\x.rnd"), 2);
    EXPECT_EQ(sim::LiveAllocations(), 1);
}
